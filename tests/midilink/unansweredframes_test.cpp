// The record of unanswered frames on its own, with no window: its rule against the two kinds of unit
// that it must hold with (one that acknowledges every command, one that acknowledges firmware blocks
// only), answering at once or many steps late, and its limit.

#include "midilink/unansweredframes.h"

#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <vector>

namespace
{

using korvane::UnansweredFrames;
using Frame = UnansweredFrames::Frame;

// ---- The rule, case by case

TEST(UnansweredFrames, AnAcknowledgementAnswersTheBlockOnlyWhenNothingBeforeItMayBeAcknowledged)
{
    UnansweredFrames record;
    EXPECT_TRUE(record.quiet());
    const UnansweredFrames::Id block = record.sent(Frame::Block);
    EXPECT_FALSE(record.quiet());
    EXPECT_EQ(record.acknowledged(), block);
    EXPECT_TRUE(record.quiet());
    EXPECT_EQ(record.acknowledged(), std::nullopt) << "nothing left to answer";

    // A command before the block: the acknowledgement may be the command's.
    record.sent(Frame::Command);
    record.sent(Frame::Block);
    EXPECT_EQ(record.acknowledged(), std::nullopt);
    EXPECT_EQ(record.acknowledged(), std::nullopt);
    EXPECT_FALSE(record.quiet());

    // Requests are never acknowledged: a block behind one still gets its acknowledgement.
    record.clear();
    record.sent(Frame::RevisionRequest);
    EXPECT_TRUE(record.quiet()) << "a request is never acknowledged";
    const UnansweredFrames::Id behind = record.sent(Frame::Block);
    EXPECT_EQ(record.acknowledged(), behind);
    EXPECT_TRUE(record.quiet());
}

TEST(UnansweredFrames, TheAnswerToARequestSettlesEverythingSentBeforeIt)
{
    UnansweredFrames record;
    record.sent(Frame::Block);
    record.sent(Frame::Command);
    record.sent(Frame::RevisionRequest);
    EXPECT_FALSE(record.quiet());
    EXPECT_TRUE(record.quietOnAnswer());
    record.sent(Frame::Command);
    EXPECT_FALSE(record.quietOnAnswer()) << "the command after the request stays unsettled";

    record.requestAnswered(Frame::AddressRequest);
    EXPECT_FALSE(record.quiet()) << "no address request was sent";
    record.requestAnswered(Frame::RevisionRequest);
    EXPECT_FALSE(record.quiet()) << "the command sent after the request";
    record.sent(Frame::AddressRequest);
    EXPECT_TRUE(record.quietOnAnswer());
    record.requestAnswered(Frame::AddressRequest);
    EXPECT_TRUE(record.quiet());
    EXPECT_FALSE(record.quietOnAnswer()) << "no request under way";
}

// Beyond the limit the oldest frames are let go, but not forgotten.
TEST(UnansweredFrames, FramesLetGoBeyondTheLimitStillCount)
{
    // A command let go keeps the record from being quiet until a request still held is answered.
    UnansweredFrames record;
    record.sent(Frame::Command);
    for (std::size_t i = 0; i < UnansweredFrames::limit; ++i)
        record.sent(Frame::AddressRequest);
    EXPECT_FALSE(record.quiet());
    record.sent(Frame::RevisionRequest);
    record.requestAnswered(Frame::RevisionRequest);
    EXPECT_TRUE(record.quiet());

    // A request let go takes the next answer of its kind: taken for the request held, that answer
    // would settle the command before it.
    record.clear();
    record.sent(Frame::RevisionRequest);
    for (std::size_t i = 1; i < UnansweredFrames::limit; ++i)
        record.sent(Frame::Command);
    record.sent(Frame::RevisionRequest);
    record.requestAnswered(Frame::RevisionRequest);
    EXPECT_FALSE(record.quiet());
    record.requestAnswered(Frame::RevisionRequest);
    EXPECT_TRUE(record.quiet());
}

// ---- The download's pacing against both kinds of unit

// A unit as the record takes it to be: it answers its frames in order, each answer `latency` steps
// after it heard the frame or after the answer before, whichever is later.
class ModelUnit
{
  public:
    enum Answer { Acknowledgement, Revision, Address };

    ModelUnit(bool acknowledgesEveryCommand, int latency)
        : acknowledgesEveryCommand_(acknowledgesEveryCommand), latency_(latency)
    {
    }

    // Answers whether it held blocks unanswered when this one came.
    bool hears(Frame frame)
    {
        const bool blockAhead = frame == Frame::Block && unansweredBlocks_ > 0;
        std::optional<Answer> answer;
        switch (frame) {
        case Frame::Block:
            ++unansweredBlocks_;
            answer = Acknowledgement;
            break;
        case Frame::RevisionRequest:
            answer = Revision;
            break;
        case Frame::AddressRequest:
            answer = Address;
            break;
        case Frame::Command:
            if (acknowledgesEveryCommand_)
                answer = Acknowledgement;
            break;
        }
        if (answer) {
            last_ = std::max(last_, now_) + latency_;
            pending_.push_back({last_, *answer, frame == Frame::Block});
        }
        return blockAhead;
    }

    // The next answer due by now, if any; time moves on by one step when there is none.
    std::optional<Answer> next()
    {
        if (pending_.empty() || pending_.front().at > now_) {
            ++now_;
            return std::nullopt;
        }
        const Pending p = pending_.front();
        pending_.erase(pending_.begin());
        if (p.toBlock)
            --unansweredBlocks_;
        return p.answer;
    }

    bool idle() const { return pending_.empty(); }

  private:
    struct Pending {
        long at;
        Answer answer;
        bool toBlock;
    };
    bool acknowledgesEveryCommand_;
    int latency_;
    long now_ = 0, last_ = 0;
    int unansweredBlocks_ = 0;
    std::vector<Pending> pending_;
};

struct Sequence {
    const char *name;
    std::vector<Frame> beforeStart; // what the user sent before Start, oldest first
};

void PrintTo(const Sequence &s, std::ostream *os)
{
    *os << s.name;
}

// The download as the program runs it: Start asks for the revisions when something sent before may
// still be acknowledged and no request is under way; a block goes out when one is due and the
// record is quiet; the acknowledgement of the download's block makes the next one due.
class Pacing : public ::testing::TestWithParam<std::tuple<Sequence, bool, int, bool>>
{
};

TEST_P(Pacing, EveryBlockGoesOutAloneAndTheDownloadEnds)
{
    const auto &[sequence, acknowledgesEveryCommand, latency, answersReadBeforeStart] = GetParam();
    ModelUnit unit(acknowledgesEveryCommand, latency);
    UnansweredFrames record;
    int blocksAhead = 0;
    const auto send = [&](Frame frame) {
        blocksAhead += unit.hears(frame);
        return record.sent(frame);
    };
    const auto deliver = [&](ModelUnit::Answer answer) -> std::optional<UnansweredFrames::Id> {
        switch (answer) {
        case ModelUnit::Acknowledgement:
            return record.acknowledged();
        case ModelUnit::Revision:
            record.requestAnswered(Frame::RevisionRequest);
            break;
        case ModelUnit::Address:
            record.requestAnswered(Frame::AddressRequest);
            break;
        }
        return std::nullopt;
    };

    for (const Frame frame : sequence.beforeStart)
        send(frame);
    while (answersReadBeforeStart && !unit.idle())
        if (const auto answer = unit.next())
            deliver(*answer);

    constexpr int blocks = 8;
    int sent = 0;
    UnansweredFrames::Id blockOut = 0; // none: ids count from 1
    if (!record.quiet() && !record.quietOnAnswer())
        send(Frame::RevisionRequest);
    for (long step = 0; step < 100000 && sent <= blocks; ++step) {
        if (blockOut == 0 && record.quiet()) {
            blockOut = send(Frame::Block);
            ++sent;
            continue;
        }
        const auto answer = unit.next();
        if (answer && deliver(*answer) == blockOut)
            blockOut = 0;
    }
    EXPECT_EQ(blocksAhead, 0) << "a block sent while another was unanswered";
    EXPECT_GT(sent, blocks) << "the download stalled after " << sent << " blocks";
}

const Sequence sequences[] = {
    {"Nothing", {}},
    {"Enable", {Frame::Command, Frame::RevisionRequest}},
    {"EnableThenSet", {Frame::Command, Frame::RevisionRequest, Frame::AddressRequest, Frame::Command}},
    {"ResetThenEnable", {Frame::Command, Frame::Command, Frame::RevisionRequest}},
    {"AbortedBlockThenEnable", {Frame::Block, Frame::Command, Frame::RevisionRequest}},
    {"AbortedBlockAlone", {Frame::Block}},
    {"CommandsBeyondTheLimit", std::vector<Frame>(UnansweredFrames::limit + 6, Frame::Command)},
    {"RequestsBeyondTheLimit", std::vector<Frame>(UnansweredFrames::limit + 6, Frame::RevisionRequest)},
};

INSTANTIATE_TEST_SUITE_P(UnansweredFrames, Pacing,
                         ::testing::Combine(::testing::ValuesIn(sequences), ::testing::Bool(),
                                            ::testing::Values(0, 1, 20), ::testing::Bool()),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_UnitAcknowledgesEveryCommand"
                                                             : "_UnitAcknowledgesBlocksOnly") +
                                    "_Latency" + std::to_string(std::get<2>(info.param)) +
                                    (std::get<3>(info.param) ? "_AnsweredBeforeStart" : "_StartAtOnce");
                         });

} // namespace
