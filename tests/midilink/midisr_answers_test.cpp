// What the program makes of its input: messages queued as wire bytes on the unit's input port come
// through PortMidi (which packs System Exclusive four bytes per event) and the MIDI window's poller
// to midisr, which assembles them, interprets the unit's answers and writes the "Input Events" rows.
// Packets PortMidi never produces are handed to the poller's packet handler directly.

#include "midilink/midisr.h"
#include "rbframework/testseam.h"
#include "tests/common/program_fixture.h"

#include <optional>

using namespace korvanetest;
namespace midisr = korvane::midisr;

namespace
{

std::vector<QString> rowsOf(const rb::Listbox &list)
{
    std::vector<QString> rows;
    for (int i = 0; i < list.ListCount(); ++i)
        rows.push_back(list.List(i));
    return rows;
}

// Everything an answer can change outside the lists.
struct Effects {
    QString corerev, mainrev, ipaddr;
    bool ipaddrEnabled = false, ksetipEnabled = false;
    int32_t ackcnt = 0;
    QString ackcount;
    bool operator==(const Effects &) const = default;
};

void PrintTo(const Effects &e, std::ostream *os)
{
    *os << "corerev ";
    PrintTo(e.corerev, os);
    *os << ", mainrev ";
    PrintTo(e.mainrev, os);
    *os << ", ipaddr ";
    PrintTo(e.ipaddr, os);
    *os << (e.ipaddrEnabled ? " enabled" : " disabled") << ", ksetip"
        << (e.ksetipEnabled ? " enabled" : " disabled") << ", ackcnt " << e.ackcnt << ", ackcount ";
    PrintTo(e.ackcount, os);
}

class MidisrAnswers : public ProgramTest
{
  protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        saveUnitPorts();
        openProgram();
        ASSERT_TRUE(io().midiin1().portopen);
    }

    static Effects effects()
    {
        korvane::main &w = mainWindow();
        return {w.corerev().Caption(), w.mainrev().Caption(), w.ipaddr().Text(),     w.ipaddr().Enabled(),
                w.ksetip().Enabled(),  io().ackcnt,           io().ackcount().Text()};
    }

    // Wire bytes on the unit's input port, read by one tick of the poller.
    void receive(const Bytes &wire)
    {
        sim::queueBytes(UnitIn, wire);
        poll();
        EXPECT_EQ(sim::pendingInput(UnitIn), 0u);
    }

    static void feed(const std::vector<Bytes> &packets)
    {
        for (const Bytes &p : packets)
            io().miditimer1_newdata(memoryBlock(p));
    }
};

// ---- The answer table ---------------------------------------------------------------------------

struct AnswerCase {
    const char *name = "";
    Bytes wire = {};                 // queued on the unit's input port, or else
    std::vector<Bytes> packets = {}; // packets PortMidi never produces, handed to the poller's handler
    std::vector<QString> rows = {};  // "Input Events" from the top while the MIDI window is shown
    std::optional<QString> corerev = {}, mainrev = {}, ipaddr = {};
    int32_t acks = 0;
    std::vector<QString> blocks =
        {}; // "Input Blocks" while shown, where it tells how PortMidi packed the input
};

void PrintTo(const AnswerCase &c, std::ostream *os)
{
    *os << c.name;
}

// A System Exclusive message of the given length: F0 41, data bytes, F7.
Bytes foreignMessage(std::size_t length)
{
    Bytes m(length, 0x11);
    m.front() = 0xF0;
    m[1] = 0x41;
    m.back() = 0xF7;
    return m;
}

QString foreignRow(std::size_t length)
{
    return QStringLiteral("parsesysx: F0 41 ") + QStringLiteral("11 ").repeated(qsizetype(length) - 3) +
           QStringLiteral("F7 ");
}

const Bytes addressAnswer = {0xF0, 0x7E, 0x7F, 0x43, 0x04, 0x0A, 0x01, 0x00, 0x7F, 0x03, 0xF7};
const QString addressRow = QStringLiteral("parsesysx: F0 7E 7F 43 04 0A 01 00 7F 03 F7 IP Address ");

// A 200-byte revision answer, too long for the receive buffer (interpreted, it would change both
// revision labels), then an address answer.
Bytes longAnswerThenAddress()
{
    Bytes m = {0xF0, 0x7E, 0x7F, 0x21, 0x0A, 0x01, 0x00, 0x02, 0x05,
               0x00, 0x1A, 0x03, 0x00, 0x01, 0x00, 0x2C, 0x00};
    m.resize(199, 0x55);
    m.push_back(0xF7);
    m.insert(m.end(), addressAnswer.begin(), addressAnswer.end());
    return m;
}

// A complete answer followed by more data packets than the buffer has room for, then one with F7.
std::vector<Bytes> floodAfterAnswer()
{
    std::vector<Bytes> packets = {
        {0xF0, 0x7E, 0x7F, 0x43}, {0x04, 0x0A, 0x01, 0x00}, {0x7F, 0x03, 0xF7, 0x00}};
    packets.insert(packets.end(), 40, Bytes{0x01, 0x02, 0x03, 0x04});
    packets.push_back({0x05, 0xF7, 0x00, 0x00});
    return packets;
}

const AnswerCase answerCases[] = {
    // Unit answers.
    {.name = "Acknowledgement", .wire = {0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7}, .acks = 1},
    {.name = "NegativeAcknowledgement", .wire = {0xF0, 0x7E, 0x7F, 0x7E, 0x00, 0xF7}},
    // The sequencer makes no event of an F7 that ends no message: the answer is not taken again.
    {.name = "StrayF7AfterAnAcknowledgement", .wire = {0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7, 0xF7}, .acks = 1},
    {.name = "RevisionOfTenBytes",
     .wire = {0xF0, 0x7E, 0x7F, 0x21, 0x0A, 0x01, 0x00, 0x02, 0x05, 0x00, 0x1A, 0x03, 0x00, 0x01, 0x00, 0x2C,
              0x00, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 21 0A 01 00 02 05 00 1A 03 00 01 00 2C 00 F7  revision data "},
     .corerev = "Core 02.05 Build 00.1A HW 01.00",
     .mainrev = "Main 03.01 Build 00.2C"},
    // Thirteen bytes: PortMidi hands the F7 over as the first byte of a packet of its own.
    {.name = "RevisionOfSixBytesWithHighBits",
     .wire = {0xF0, 0x7E, 0x7F, 0x21, 0x06, 0x01, 0x00, 0x12, 0x05, 0x00, 0x7A, 0x29, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 21 06 01 00 12 05 00 7A 29 F7  revision data "},
     .corerev = "Core 92.05 Build 00.FA HW 81.00",
     .mainrev = "",
     .blocks = {"F0 7E 7F 21 ", "06 01 00 12 ", "05 00 7A 29 ", "F7 00 00 00 "}},
    {.name = "IpAddress", .wire = addressAnswer, .rows = {addressRow}, .ipaddr = "10.1.128.255"},
    {.name = "UnknownCodeEndsInABlank",
     .wire = {0xF0, 0x7E, 0x7F, 0x50, 0x00, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 50 00 F7  "}},
    {.name = "UnitConfigShownAsReceived",
     .wire = {0xF0, 0x7E, 0x7F, 0x25, 0x01, 0x00, 0x01, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 25 01 00 01 F7  unit config "}},
    {.name = "InterfaceConfig",
     .wire = {0xF0, 0x7E, 0x7F, 0x26, 0x00, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 26 00 F7  interface config data "}},
    {.name = "MidiConfig",
     .wire = {0xF0, 0x7E, 0x7F, 0x2C, 0x00, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 2C 00 F7  midi config data "}},
    {.name = "SyncError",
     .wire = {0xF0, 0x7E, 0x7F, 0x27, 0x00, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 27 00 F7  Sync Error "}},
    {.name = "SystemStatus",
     .wire = {0xF0, 0x7E, 0x7F, 0x28, 0x00, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 28 00 F7  System Status "}},
    {.name = "ErrorMessage",
     .wire = {0xF0, 0x7E, 0x7F, 0x29, 0x00, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 29 00 F7  Error Message "}},
    {.name = "Rs422Status",
     .wire = {0xF0, 0x7E, 0x7F, 0x2A, 0x00, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 2A 00 F7  RS422 Status "}},
    {.name = "Rs422ReceiveReady",
     .wire = {0xF0, 0x7E, 0x7F, 0x2B, 0x00, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 2B 00 F7  RS422 Rec Rdy "}},
    {.name = "MidiReceiveReady",
     .wire = {0xF0, 0x7E, 0x7F, 0x2D, 0x00, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 2D 00 F7  Midi Rec Rdy "}},
    {.name = "FrontPanelLeds",
     .wire = {0xF0, 0x7E, 0x7F, 0x2E, 0x00, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 2E 00 F7 Front panel LED data "}},

    // Universal real-time messages and foreign messages.
    {.name = "TimeCodeFullMessage",
     .wire = {0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x21, 0x3B, 0x2A, 0x10, 0xF7},
     .rows = {"parsesysx: F0 7F 7F 01 01 21 3B 2A 10 F7  Full Position"}},
    {.name = "MachineControlCommand",
     .wire = {0xF0, 0x7F, 0x7F, 0x06, 0x02, 0xF7},
     .rows = {"parsesysx: F0 7F 7F 06 02 F7  Midi Command"}},
    {.name = "MachineControlResponse",
     .wire = {0xF0, 0x7F, 0x7F, 0x07, 0x01, 0x00, 0xF7},
     .rows = {"parsesysx: F0 7F 7F 07 01 00 F7  Midi Tally"}},
    {.name = "OtherUniversalRealtime",
     .wire = {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x7F, 0xF7},
     .rows = {"parsesysx: F0 7F 7F 04 01 00 7F F7 "}},
    {.name = "ForeignMessage",
     .wire = {0xF0, 0x41, 0x10, 0x42, 0xF7},
     .rows = {"parsesysx: F0 41 10 42 F7 "}},
    {.name = "ZeroAfterF0IsDropped", .wire = {0xF0, 0x00, 0x20, 0x33, 0xF7}},

    // Channel, system common and real-time messages.
    {.name = "NoteOff", .wire = {0x80, 0x3C, 0x40}, .rows = {"note off: 80 3C 40 00 "}},
    {.name = "NoteOnHasNoRow", .wire = {0x90, 0x3C, 0x40}},
    {.name = "PolyKeyPressure", .wire = {0xA0, 0x3C, 0x10}, .rows = {"poly key pressure: A0 3C 10 00 "}},
    {.name = "ControlChange", .wire = {0xB0, 0x07, 0x64}, .rows = {"control change: B0 07 64 00 "}},
    {.name = "ProgramChange", .wire = {0xC0, 0x05}, .rows = {"program change: C0 05 00 00 "}},
    {.name = "ChannelPressure", .wire = {0xD0, 0x20}, .rows = {"Channel Pressure: D0 20 00 00 "}},
    {.name = "PitchWheel", .wire = {0xE0, 0x00, 0x40}, .rows = {"Pitch Wheel: E0 00 40 00 "}},
    {.name = "ClockAndReset",
     .wire = {0xF8, 0xFF},
     .rows = {"realtime: FF 00 00 00 ", "realtime: F8 00 00 00 "}},
    // PortMidi filters active sensing by default.
    {.name = "ActiveSensing", .packets = {{0xFE, 0x00, 0x00, 0x00}}, .rows = {"realtime: FE 00 00 00 "}},
    {.name = "SystemCommonIsIgnored", .wire = {0xF1, 0x10, 0xF2, 0x01, 0x02, 0xF3, 0x05, 0xF6}},

    // Assembly.
    {.name = "DataAndF7BeforeAnyF0AreIgnored",
     .packets = {{0x01, 0x02, 0x03, 0x04}, {0xF7, 0x00, 0x00, 0x00}}},
    {.name = "IncompleteMessageIsDiscardedAtTheNextF0Packet",
     .wire = {0xF0, 0x7E, 0x7F, 0x21, 0x0A, 0x01, 0x00, 0x02, 0xF0, 0x7E, 0x7F, 0x50, 0x00, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 50 00 F7  "},
     .blocks = {"F0 7E 7F 50 ", "00 F7 00 00 "}},
    // PortMidi packs the new F0 into the unfinished message's packet.
    {.name = "IncompleteMessageIsDiscardedAtAnF0InsideAPacket",
     .wire = {0xF0, 0x7E, 0x7F, 0x21, 0x06, 0x01, 0xF0, 0x7E, 0x7F, 0x50, 0x00, 0xF7},
     .rows = {"parsesysx: F0 7E 7F 50 00 F7  "},
     .blocks = {"F0 7E 7F 21 ", "06 01 F0 7E ", "7F 50 00 F7 "}},
    // PortMidi packs clocks that come inside a message into the message's own packets, one of them
    // as a packet's first byte. Each is shown as a real-time message; the answer stays whole.
    {.name = "ClocksInsideAnAnswer",
     .wire = {0xF0, 0x7E, 0xF8, 0x7F, 0x43, 0xF8, 0x04, 0x0A, 0xF8, 0x01, 0x00, 0xF8, 0x7F, 0x03, 0xF8, 0xF7},
     .rows = {addressRow, "realtime: F8 00 00 00 ", "realtime: F8 00 00 00 ", "realtime: F8 00 00 00 ",
              "realtime: F8 00 00 00 ", "realtime: F8 00 00 00 "},
     .ipaddr = "10.1.128.255",
     .blocks = {"F0 7E F8 7F ", "43 F8 04 0A ", "F8 01 00 F8 ", "7F 03 F8 F7 "}},
    {.name = "ChannelMessageBetweenPacketsLeavesTheMessageWhole",
     .packets = {{0xF0, 0x7E, 0x7F, 0x43},
                 {0x80, 0x3C, 0x40, 0x00},
                 {0x04, 0x0A, 0x01, 0x00},
                 {0x7F, 0x03, 0xF7, 0x00}},
     .rows = {addressRow, "note off: 80 3C 40 00 "},
     .ipaddr = "10.1.128.255"},

    // The 128-byte receive buffer.
    {.name = "MessageFillingTheBufferIsInterpreted", .wire = foreignMessage(128), .rows = {foreignRow(128)}},
    {.name = "MessageOneByteTooLongIsDiscarded", .wire = foreignMessage(129)},
    {.name = "LongMessageIsDiscardedAndTheNextOneUnderstood",
     .wire = longAnswerThenAddress(),
     .rows = {addressRow},
     .ipaddr = "10.1.128.255"},
    // Stored, the last F7 would interpret the answer a second time from its unpacked bytes.
    {.name = "DataFloodAfterAnAnswerStopsAtTheBufferEnd",
     .packets = floodAfterAnswer(),
     .rows = {addressRow},
     .ipaddr = "10.1.128.255"},
};

class AnswerTable : public MidisrAnswers, public ::testing::WithParamInterface<std::tuple<AnswerCase, bool>>
{
};

TEST_P(AnswerTable, RowsAndEffects)
{
    const auto &[c, shown] = GetParam();
    if (shown)
        click(mainWindow().kview());
    ASSERT_EQ(io().fvisible, shown);
    ASSERT_EQ(io().eListin().ListCount(), 0);
    Effects expected = effects();
    if (c.corerev)
        expected.corerev = *c.corerev;
    if (c.mainrev)
        expected.mainrev = *c.mainrev;
    if (c.ipaddr) {
        expected.ipaddr = *c.ipaddr;
        expected.ipaddrEnabled = expected.ksetipEnabled = true;
    }
    expected.ackcnt += c.acks;
    expected.ackcount = QString::number(expected.ackcnt);

    if (!c.wire.empty())
        receive(c.wire);
    feed(c.packets);

    // Hidden, the window keeps only the rows of channel and real-time messages.
    std::vector<QString> rows;
    for (const QString &row : c.rows)
        if (shown || !row.startsWith(QStringLiteral("parsesysx: ")))
            rows.push_back(row);
    EXPECT_EQ(rowsOf(io().eListin()), rows);
    EXPECT_EQ(effects(), expected);
    if (shown && !c.blocks.empty()) {
        EXPECT_EQ(rowsOf(io().eListblk()), c.blocks);
    }
    EXPECT_TRUE(framesSent().empty());
    EXPECT_FALSE(midisr::downfw);
    EXPECT_LE(midisr::sysxlen, midisr::sysxSize);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty())
        << rb::testseam::shownMessages().join("|").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Midisr, AnswerTable,
                         ::testing::Combine(::testing::ValuesIn(answerCases), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<AnswerCase, bool>> &info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_Shown" : "_Hidden");
                         });

// ---- Acknowledgements during a download ---------------------------------------------------------

// The next block goes out before the acknowledgement is counted: when the port refuses that block,
// its error message finds the counter still at 0.
TEST_F(MidisrAnswers, AcknowledgementSendsTheNextBlockBeforeItIsCounted)
{
    openImage(Bytes(30, 0x42));
    midisr::downfw = true;
    mainWindow().rxdatarq(); // the first block; the unit acknowledges it
    ASSERT_EQ(framesSent().size(), 1u);

    sim::failWrites(UnitOut, "cable pulled");
    std::vector<std::pair<int32_t, QString>> seen;
    rb::testseam::onMsgBox(
        [&seen](const QString &) { seen.emplace_back(io().ackcnt, io().ackcount().Text()); });
    poll();
    rb::testseam::onMsgBox({});

    ASSERT_EQ(seen.size(), 1u) << "the second block was not sent";
    EXPECT_EQ(seen[0], std::make_pair(int32_t(0), QStringLiteral("0")));
    EXPECT_TRUE(rb::testseam::shownMessages().front().startsWith(QStringLiteral("outlong error:")));
    EXPECT_EQ(midisr::sentlen, 30);
    EXPECT_EQ(io().ackcnt, 1);
    EXPECT_EQ(io().ackcount().Text(), QStringLiteral("1"));
}

// A block the unit refuses leaves a hole in its image: the download ends as Abort ends it. The
// refusal is not counted and nothing is sent again.
TEST_F(MidisrAnswers, NegativeAcknowledgementOfTheDownloadsBlockEndsIt)
{
    sim::setUnitMode(sim::Mode::Nak);
    openImage(Bytes(30, 0x42));
    midisr::downfw = true;
    mainWindow().rxdatarq();
    poll();
    EXPECT_EQ(sim::unitAnswers(), (std::vector<Bytes>{{0xF0, 0x7E, 0x7F, 0x7E, 0x00, 0xF7}}));
    EXPECT_EQ(framesSent().size(), 1u);
    EXPECT_EQ(midisr::sentlen, 22);
    EXPECT_EQ(io().ackcnt, 0);
    EXPECT_FALSE(midisr::downfw);
    EXPECT_EQ(mainWindow().lcount().Caption(), QStringLiteral("Aborted"));
}

// ---- The unit's answers with clocks inside them -------------------------------------------------

TEST_F(MidisrAnswers, UnitAnswersWithClocksInsideAreUnderstood)
{
    sim::setUnitInterleave(0xF8, 2);
    midisr::cmd7e(midisr::cmdReadRevision);
    poll();
    EXPECT_EQ(mainWindow().corerev().Caption(), QStringLiteral("Core 02.05 Build 00.1A HW 01.00"));
    EXPECT_EQ(mainWindow().mainrev().Caption(), QStringLiteral("Main 03.01 Build 00.2C"));
    EXPECT_EQ(io().ackcnt, 0);

    midisr::cmd7e(midisr::cmdReadAddress);
    poll();
    EXPECT_EQ(mainWindow().ipaddr().Text(), QStringLiteral("10.1.128.255"));

    midisr::cmd7e(midisr::cmdFactoryReset);
    poll();
    EXPECT_EQ(io().ackcnt, 1);

    // Hidden, the window shows only the clocks, each as a real-time message of its own.
    const std::vector<QString> rows = rowsOf(io().eListin());
    EXPECT_FALSE(rows.empty());
    for (const QString &row : rows)
        EXPECT_EQ(row, QStringLiteral("realtime: F8 00 00 00 "));
}

} // namespace
