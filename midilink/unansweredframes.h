#pragma once
// The frames sent to the unit that it has not answered yet, and the rule by which each of its
// answers is matched to the frame it answers.
//
// What the unit is taken to do, and nothing more:
// - it handles its frames one at a time, in the order they arrive, and answers in that order;
// - a firmware block gets an acknowledgement or a negative one;
// - the revision request gets the revision data, the address request the address, and nothing else;
// - any other frame may get an acknowledgement or nothing: some units acknowledge every command,
//   others firmware blocks only;
// - an acknowledgement, negative or not, carries nothing that tells which frame it answers.
//
// So the answer to a request shows that the unit has handled everything sent before the request: it
// settles the request and every frame before it. An acknowledgement settles the oldest unanswered
// block, but only when no frame that may or may not be acknowledged was sent before that block;
// otherwise nobody can tell what it answers, and it settles nothing. A frame that is never answered
// stays until the answer to a request sent after it settles it: until then the record is not quiet,
// and a block sent then could be taken for the frame the next acknowledgement answers.
//
// The record holds at most `limit` frames. Beyond it the oldest is let go, but not forgotten: a
// request let go still takes the next answer of its kind, so that its late answer is not taken for
// the answer to a later request; any other frame let go keeps the record from being quiet until a
// request still held is answered.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

namespace korvane
{

class UnansweredFrames
{
  public:
    enum class Frame : uint8_t {
        Block,           // a firmware block: acknowledged, or refused
        RevisionRequest, // answered by the revision data
        AddressRequest,  // answered by the address
        Command,         // anything else: acknowledged or not, as the unit does it
    };
    using Id = uint64_t; // the frames recorded, counted from 1

    static constexpr std::size_t limit = 64;

    // Records a frame written to the unit; answers its id.
    Id sent(Frame frame);
    // An acknowledgement, or a negative one, has arrived. Answers the block it settles, none when it
    // cannot be placed.
    std::optional<Id> acknowledged();
    // The answer to a request of this kind (RevisionRequest or AddressRequest) has arrived.
    void requestAnswered(Frame request);
    // Nothing unanswered that may still be acknowledged: an acknowledgement can only answer a block
    // sent from now on.
    bool quiet() const;
    // A request is under way whose answer makes the record quiet.
    bool quietOnAnswer() const;
    void clear();

  private:
    struct Entry {
        Id id;
        Frame frame;
    };
    static bool mayBeAcknowledged(const Entry &e)
    {
        return e.frame == Frame::Block || e.frame == Frame::Command;
    }
    // Settles the entries up to and including the given position, and what was let go before them.
    void settleUpTo(std::deque<Entry>::iterator last);

    std::deque<Entry> entries_; // oldest first
    Id lastId_ = 0;
    // Let go beyond the limit: requests of each kind whose answers are still to come, and whether a
    // frame that may be acknowledged was among them.
    std::size_t revisionsLetGo_ = 0;
    std::size_t addressesLetGo_ = 0;
    bool unsettledLetGo_ = false;
};

} // namespace korvane
