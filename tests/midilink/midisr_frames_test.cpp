// The unit message frames as they reach the unit's port: every command, the firmware blocks with
// their progress display, and the seven-into-eight packing and its inverse. Each frame goes the
// whole way: midisr -> midiio.outlong -> output selector -> plug-in entries -> PortMidi -> unit.

#include "midilink/midisr.h"
#include "rbframework/testseam.h"
#include "rbframework/text.h"
#include "tests/common/program_fixture.h"

#include <optional>
#include <random>

using namespace korvanetest;
namespace midisr = korvane::midisr;

namespace korvane::midisr
{
void PrintTo(const UnitFrame &f, std::ostream *os)
{
    *os << "device " << (f.device ? std::to_string(*f.device) : "?") << ", command "
        << (f.command ? std::to_string(*f.command) : "?") << (f.wellFormed ? ", well formed" : ", malformed");
}
} // namespace korvane::midisr

namespace
{

Bytes bytesOf(const rb::MemoryBlock &b)
{
    return Bytes(b.data(), b.data() + b.Size());
}

Bytes range(int first, int count)
{
    Bytes b;
    for (int i = 0; i < count; ++i)
        b.push_back(std::uint8_t(first + i));
    return b;
}

Bytes slice(const Bytes &b, std::size_t from, std::size_t count)
{
    return Bytes(b.begin() + std::ptrdiff_t(from), b.begin() + std::ptrdiff_t(from + count));
}

class MidisrFrames : public ProgramTest
{
  protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        saveUnitPorts();
        openProgram();
        ASSERT_TRUE(io().midiout1().portopen);
    }
};

// ---- Every frame the program sends, byte for byte --------------------------------------------

struct FrameCase {
    const char *name;
    Bytes image; // the firmware file, opened before send runs
    void (*send)();
    std::vector<Bytes> frames;
    int32_t sentlen; // firmware bytes counted afterwards
};

void PrintTo(const FrameCase &c, std::ostream *os)
{
    *os << c.name;
}

const Bytes fullBlock = range(0x80, 22);
const Bytes twoGroups = {0xFF, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x81};
const Bytes twoBlocks = range(0x00, 44);
const Bytes emptyBlock = {0xF0, 0x7E, 0x7F, 0x04, 0x00, 0xF7};

const FrameCase frameCases[] = {
    {"Reset", {}, [] { midisr::cmd7e(midisr::cmdReset); }, {{0xF0, 0x7E, 0x7F, 0x03, 0x00, 0xF7}}, 0},
    {"EnableUpdate",
     {},
     [] { midisr::cmd7e(midisr::cmdEnableUpdate); },
     {{0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7}},
     0},
    {"ReadRevision",
     {},
     [] { midisr::cmd7e(midisr::cmdReadRevision); },
     {{0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7}},
     0},
    {"FactoryReset",
     {},
     [] { midisr::cmd7e(midisr::cmdFactoryReset); },
     {{0xF0, 0x7E, 0x7F, 0x32, 0x00, 0xF7}},
     0},
    {"ReadAddress",
     {},
     [] { midisr::cmd7e(midisr::cmdReadAddress); },
     {{0xF0, 0x7E, 0x7F, 0x33, 0x00, 0xF7}},
     0},
    {"DownloadEnableSendsEnableThenRevisionRequest",
     {},
     [] { midisr::download_enable(); },
     {{0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7}, {0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7}},
     0},
    {"SetAddress10_1_128_255",
     {},
     [] {
         midisr::mb7esend(midisr::cmdSetAddress, memoryBlock({10, 1, 128, 255}));
     },
     {{0xF0, 0x7E, 0x7F, 0x34, 0x04, 0x0A, 0x01, 0x00, 0x7F, 0x03, 0xF7}},
     0},
    {"FullBlockPacksIntoFourGroups",
     fullBlock,
     [] { midisr::binsend(); },
     {{0xF0, 0x7E, 0x7F, 0x04, 0x16, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x7F, 0x07, 0x08, 0x09,
       0x0A, 0x0B, 0x0C, 0x0D, 0x7F, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x7F, 0x15, 0x01, 0xF7}},
     22},
    {"EightBytesPackIntoTwoGroups",
     twoGroups,
     [] { midisr::binsend(); },
     {{0xF0, 0x7E, 0x7F, 0x04, 0x08, 0x7F, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x40, 0x01, 0x01, 0xF7}},
     8},
    {"EndOfImageSendsTheEmptyBlockAndCountsNothing",
     twoGroups,
     [] {
         midisr::binsend();
         midisr::binsend();
     },
     {{0xF0, 0x7E, 0x7F, 0x04, 0x08, 0x7F, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x40, 0x01, 0x01, 0xF7},
      emptyBlock},
     8},
    {"ImageOfTwoFullBlocksStillEndsWithTheEmptyBlock",
     twoBlocks,
     [] {
         for (int i = 0; i < 3; ++i)
             midisr::binsend();
     },
     {sim::packFrame(0x04, slice(twoBlocks, 0, 22)), sim::packFrame(0x04, slice(twoBlocks, 22, 22)),
      emptyBlock},
     44},
    {"EmptyImageSendsOnlyTheEmptyBlock", {}, [] { midisr::binsend(); }, {emptyBlock}, 0},
};

class FrameTable : public MidisrFrames, public ::testing::WithParamInterface<FrameCase>
{
};

TEST_P(FrameTable, ReachesTheUnitByteForByte)
{
    const FrameCase &c = GetParam();
    openImage(c.image);
    c.send();

    EXPECT_EQ(framesSent(), c.frames);
    for (const sim::Command &command : sim::unitCommands())
        EXPECT_TRUE(command.valid) << command.error;
    EXPECT_EQ(midisr::sentlen, c.sentlen);
    EXPECT_EQ(mainWindow().DCount().Caption(), rb::Str(c.sentlen));
    EXPECT_EQ(mainWindow().pbar().Value(), c.sentlen);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty())
        << rb::testseam::shownMessages().join("|").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Midisr, FrameTable, ::testing::ValuesIn(frameCases),
                         [](const ::testing::TestParamInfo<FrameCase> &info) {
                             return std::string(info.param.name);
                         });

// The progress display moves before the block is handed to the port: when the port refuses the
// block, its error message already finds the new count on screen.
TEST_F(MidisrFrames, BlockShowsItsProgressBeforeItLeaves)
{
    openImage(range(0x00, 30));
    sim::failWrites(UnitOut, "cable pulled");
    struct Seen {
        QString message;
        int32_t sentlen;
        int bar;
        QString count;
    };
    std::vector<Seen> seen;
    rb::testseam::onMsgBox([&seen](const QString &message) {
        seen.push_back(
            {message, midisr::sentlen, mainWindow().pbar().Value(), mainWindow().DCount().Caption()});
    });
    midisr::binsend();
    rb::testseam::onMsgBox({});

    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].message.startsWith(QStringLiteral("outlong error:")))
        << seen[0].message.toStdString();
    EXPECT_EQ(seen[0].sentlen, 22);
    EXPECT_EQ(seen[0].bar, 22);
    EXPECT_EQ(seen[0].count, QStringLiteral("22"));
    EXPECT_TRUE(framesSent().empty());
}

// ---- Packing and unpacking ----------------------------------------------------------------------

// Every payload length a frame can carry, random bytes: the unit's own unpacking gives the payload
// back, and so does m72h8 on the frame as it arrived.
TEST_F(MidisrFrames, EveryPayloadLengthRoundTrips)
{
    constexpr std::uint8_t code = 0x40; // not a unit command: the unit only unpacks and records it
    sim::setUnitMode(sim::Mode::Silent);
    std::mt19937 random(20240611);
    std::vector<Bytes> payloads;
    for (int n = 0; n <= 127; ++n) {
        Bytes payload(std::size_t(n), 0);
        for (std::uint8_t &b : payload)
            b = std::uint8_t(random());
        payloads.push_back(payload);
        midisr::mb7esend(code, memoryBlock(payload));
    }

    const std::vector<Bytes> frames = framesSent();
    const std::vector<sim::Command> heard = sim::unitCommands();
    ASSERT_EQ(frames.size(), payloads.size());
    ASSERT_EQ(heard.size(), payloads.size());
    for (std::size_t n = 0; n < payloads.size(); ++n) {
        SCOPED_TRACE("payload of " + std::to_string(n) + " bytes");
        const Bytes &payload = payloads[n];
        EXPECT_EQ(frames[n], sim::packFrame(code, payload));
        EXPECT_EQ(std::int32_t(frames[n].size()), midisr::frameLength(std::int32_t(n)));
        EXPECT_EQ(heard[n].payload, payload) << heard[n].error;

        rb::MemoryBlock received = memoryBlock(frames[n]);
        midisr::m72h8(received);
        const Bytes unpacked = bytesOf(received);
        EXPECT_EQ(unpacked[4], n);
        EXPECT_EQ(slice(unpacked, 5, n), payload);
        EXPECT_EQ(unpacked.back(), 0xF7);
    }
}

// A group whose high-bit byte lies at or beyond the end of the block is left packed; the groups
// before it are unpacked, and the bytes behind the unpacked payload keep what they held.
TEST_F(MidisrFrames, UnpackingLeavesAGroupCutOffByTheBlockEndPacked)
{
    std::mt19937 random(7);
    Bytes payload(127, 0);
    for (std::uint8_t &b : payload)
        b = std::uint8_t(random() | 0x80); // every byte needs its high bit back
    const Bytes frame = sim::packFrame(0x21, payload);
    ASSERT_EQ(frame.size(), 152u);

    // The first 128 bytes, as a receive buffer holds them: 15 groups end before offset 128.
    rb::MemoryBlock buffer = memoryBlock(slice(frame, 0, 128));
    midisr::m72h8(buffer);
    const Bytes unpacked = bytesOf(buffer);
    ASSERT_EQ(unpacked.size(), 128u);
    EXPECT_EQ(slice(unpacked, 0, 5), slice(frame, 0, 5));
    EXPECT_EQ(slice(unpacked, 5, 105), slice(payload, 0, 105));
    EXPECT_EQ(slice(unpacked, 110, 18), slice(frame, 110, 18)) << "packed bytes from the 16th group on";

    // A short last group whose high-bit byte is missing.
    rb::MemoryBlock cut = memoryBlock({0xF0, 0x7E, 0x7F, 0x21, 0x03, 0x0A, 0x01, 0x00});
    midisr::m72h8(cut);
    EXPECT_EQ(bytesOf(cut), (Bytes{0xF0, 0x7E, 0x7F, 0x21, 0x03, 0x0A, 0x01, 0x00}));
}

// ---- What a message written on the output port is to the unit ---------------------------------

struct SeenCase {
    const char *name;
    Bytes message;
    std::optional<midisr::UnitFrame> frame; // none: nothing the unit may take as its frame
};

void PrintTo(const SeenCase &c, std::ostream *os)
{
    *os << c.name;
}

class UnitFrameSeen : public ::testing::TestWithParam<SeenCase>
{
};

TEST_P(UnitFrameSeen, AsThePortWritesIt)
{
    const QByteArray message(reinterpret_cast<const char *>(GetParam().message.data()),
                             qsizetype(GetParam().message.size()));
    EXPECT_EQ(midisr::unitFrameIn(message), GetParam().frame);
}

const SeenCase seenCases[] = {
    {"Block", {0xF0, 0x7E, 0x7F, 0x04, 0x01, 0x41, 0x00, 0xF7}, midisr::UnitFrame{0x7F, 0x04, true}},
    {"BlockForAnotherDevice",
     {0xF0, 0x7E, 0x00, 0x04, 0x01, 0x41, 0x00, 0xF7},
     midisr::UnitFrame{0x00, 0x04, true}},
    {"RequestAfterDataBytes",
     {0x00, 0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7},
     midisr::UnitFrame{0x7F, 0x11, true}},
    {"LengthWithoutItsPayload", {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, midisr::UnitFrame{0x7F, 0x06, false}},
    {"WithoutF7", {0xF0, 0x7E, 0x7F, 0x04}, midisr::UnitFrame{0x7F, 0x04, false}},
    {"StatusByteInThePayload",
     {0xF0, 0x7E, 0x7F, 0x04, 0x01, 0xC1, 0x00, 0xF7},
     midisr::UnitFrame{0x7F, 0x04, false}},
    {"HighBitsBeyondTheGroup",
     {0xF0, 0x7E, 0x7F, 0x04, 0x01, 0x41, 0x02, 0xF7},
     midisr::UnitFrame{0x7F, 0x04, false}},
    {"OnlyTheFrameStart", {0xF0, 0x7E}, midisr::UnitFrame{std::nullopt, std::nullopt, false}},
    // Data bytes first may complete a frame written before without its F7.
    {"DataBytesFirst", {0x7F, 0x04, 0x01, 0x41, 0x00, 0xF7}, midisr::UnitFrame{}},
    {"AnotherMakersMessage", {0xF0, 0x41, 0x10, 0x42, 0xF7}, std::nullopt},
    // The port stops at the first F7: the frame behind it is not written.
    {"UnitFrameBehindAnF7", {0xF0, 0x01, 0xF7, 0xF0, 0x7E, 0x7F, 0x04, 0x00, 0xF7}, std::nullopt},
    {"NoteOn", {0x90, 0x3C, 0x40}, std::nullopt},
    {"Nothing", {}, std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Midisr, UnitFrameSeen, ::testing::ValuesIn(seenCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
