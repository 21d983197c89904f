// The simulated MIDI service and unit, seen through the real PortMidi API.

#include "simmidi.h"

#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <portmidi.h>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

// Bytes of a list of PortMidi events, four per SysEx event (least significant first).
Bytes eventBytes(const std::vector<PmEvent> &events)
{
    Bytes b;
    for (const PmEvent &e : events)
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(e.message >> (8 * i)));
    return b;
}

// An input and an output wired to the unit, plus a second pair.
class SimTest : public ::testing::Test
{
  protected:
    static constexpr int unitIn = 0;
    static constexpr int unitOut = 1;
    static constexpr int keysIn = 2;
    static constexpr int synthOut = 3;

    void SetUp() override
    {
        sim::reset();
        sim::setDevices({{"Unit In", "ALSA", true},
                         {"Unit Out", "ALSA", false},
                         {"Keys", "Simulated", true},
                         {"Synth", "Simulated", false}});
        ASSERT_EQ(Pm_Initialize(), pmNoError);
    }

    void TearDown() override
    {
        if (in_)
            Pm_Close(in_);
        if (out_)
            Pm_Close(out_);
        Pm_Terminate();
        sim::reset();
    }

    void openIn(int device)
    {
        ASSERT_EQ(Pm_OpenInput(&in_, device, nullptr, 100, nullptr, nullptr), pmNoError);
    }
    void openOut(int device)
    {
        ASSERT_EQ(Pm_OpenOutput(&out_, device, nullptr, 100, nullptr, nullptr, 0), pmNoError);
    }
    void openUnit()
    {
        sim::attachUnit(unitOut, unitIn);
        openIn(unitIn);
        openOut(unitOut);
    }
    void sendSysEx(Bytes frame) { ASSERT_EQ(Pm_WriteSysEx(out_, 0, frame.data()), pmNoError); }
    // An answer's bytes as PortMidi's events hold them: four to an event, the last one padded.
    static Bytes asEvents(Bytes answer)
    {
        while (answer.size() % 4)
            answer.push_back(0);
        return answer;
    }

    // Reads every event waiting now, polling as the program does.
    std::vector<PmEvent> readAll()
    {
        std::vector<PmEvent> events;
        while (Pm_Poll(in_) == 1) {
            PmEvent e{};
            if (Pm_Read(in_, &e, 1) != 1)
                break;
            events.push_back(e);
        }
        return events;
    }

    PortMidiStream *in_ = nullptr;
    PortMidiStream *out_ = nullptr;
};

// ---- Devices ----

TEST_F(SimTest, ListsTheConfiguredDevicesWithNamesAndDirections)
{
    ASSERT_TRUE(sim::installed());
    ASSERT_EQ(Pm_CountDevices(), 4);
    struct Expected {
        const char *name;
        const char *interf;
        bool input;
    };
    const Expected expected[] = {{"Unit In", "ALSA", true},
                                 {"Unit Out", "ALSA", false},
                                 {"Keys", "Simulated", true},
                                 {"Synth", "Simulated", false}};
    for (int i = 0; i < 4; ++i) {
        const PmDeviceInfo *info = Pm_GetDeviceInfo(i);
        ASSERT_NE(info, nullptr);
        EXPECT_STREQ(info->name, expected[i].name);
        EXPECT_STREQ(info->interf, expected[i].interf);
        EXPECT_EQ(info->input, expected[i].input ? 1 : 0);
        EXPECT_EQ(info->output, expected[i].input ? 0 : 1);
    }
    EXPECT_EQ(sim::findDevice("Synth", false), synthOut);
    EXPECT_EQ(sim::findDevice("Synth", true), -1);
    EXPECT_EQ(Pm_GetDefaultInputDeviceID(), unitIn);
    EXPECT_EQ(Pm_GetDefaultOutputDeviceID(), unitOut);
}

TEST_F(SimTest, ReinitialiseSeesTheListSetBeforeIt)
{
    Pm_Terminate();
    sim::setDevices({{"Only In", "Simulated", true}});
    ASSERT_EQ(Pm_Initialize(), pmNoError);
    ASSERT_EQ(Pm_CountDevices(), 1);
    EXPECT_STREQ(Pm_GetDeviceInfo(0)->name, "Only In");
    EXPECT_EQ(Pm_GetDefaultInputDeviceID(), 0);
    EXPECT_EQ(Pm_GetDefaultOutputDeviceID(), pmNoDevice);

    // The list persists across a terminate and a later initialise.
    Pm_Terminate();
    ASSERT_EQ(Pm_Initialize(), pmNoError);
    ASSERT_EQ(Pm_CountDevices(), 1);
    EXPECT_STREQ(Pm_GetDeviceInfo(0)->name, "Only In");
    openIn(0);
    sim::queueShort(0, Pm_Message(0x90, 0x3C, 0x40));
    EXPECT_EQ(readAll().size(), 1u);
}

TEST_F(SimTest, OpenAndCloseAreSeen)
{
    EXPECT_FALSE(sim::isOpen(synthOut));
    openOut(synthOut);
    EXPECT_TRUE(sim::isOpen(synthOut));
    Pm_Close(out_);
    out_ = nullptr;
    EXPECT_FALSE(sim::isOpen(synthOut));
    openOut(synthOut);
    EXPECT_EQ(sim::openCount(synthOut), 2);
}

TEST_F(SimTest, FailedOpenReportsTheHostErrorText)
{
    sim::failOpen(synthOut, "device is busy");
    EXPECT_EQ(Pm_OpenOutput(&out_, synthOut, nullptr, 100, nullptr, nullptr, 0), pmHostError);
    EXPECT_EQ(out_, nullptr);
    char text[PM_HOST_ERROR_MSG_LEN] = {};
    Pm_GetHostErrorText(text, sizeof text);
    EXPECT_STREQ(text, "device is busy");
    EXPECT_FALSE(sim::isOpen(synthOut));

    sim::failOpen(synthOut, "");
    openOut(synthOut);
}

TEST_F(SimTest, FailedWriteReportsTheHostErrorOfTheStream)
{
    openOut(synthOut);
    sim::failWrites(synthOut, "cable pulled");
    EXPECT_EQ(Pm_WriteShort(out_, 0, Pm_Message(0x90, 0x3C, 0x40)), pmHostError);
    char text[PM_HOST_ERROR_MSG_LEN] = {};
    Pm_GetHostErrorText(text, sizeof text);
    EXPECT_STREQ(text, "cable pulled");
    EXPECT_TRUE(sim::received(synthOut).empty());

    sim::failWrites(synthOut, "");
    EXPECT_EQ(Pm_WriteShort(out_, 0, Pm_Message(0x90, 0x3C, 0x40)), pmNoError);
    EXPECT_EQ(sim::received(synthOut).size(), 1u);
}

// ---- Output ----

TEST_F(SimTest, OutputReceivesShortMessagesWithTheirLengths)
{
    openOut(synthOut);
    struct Case {
        std::uint32_t message;
        Bytes bytes;
    };
    const Case cases[] = {
        {Pm_Message(0x90, 0x3C, 0x40), {0x90, 0x3C, 0x40}},
        {Pm_Message(0xC2, 0x05, 0x00), {0xC2, 0x05}},
        {Pm_Message(0xE0, 0x00, 0x40), {0xE0, 0x00, 0x40}},
        {Pm_Message(0xF3, 0x01, 0x00), {0xF3, 0x01}},
        {Pm_Message(0xF8, 0x00, 0x00), {0xF8}},
    };
    Bytes wire;
    for (const Case &c : cases) {
        ASSERT_EQ(Pm_WriteShort(out_, 0, c.message), pmNoError);
        wire.insert(wire.end(), c.bytes.begin(), c.bytes.end());
    }
    const std::vector<sim::Message> got = sim::received(synthOut);
    ASSERT_EQ(got.size(), std::size(cases));
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].kind, sim::Kind::Short) << i;
        EXPECT_EQ(got[i].bytes, cases[i].bytes) << i;
    }
    EXPECT_EQ(sim::receivedBytes(synthOut), wire);
    EXPECT_TRUE(sim::received(unitOut).empty());
}

TEST_F(SimTest, OutputReceivesASysExExactlyAndStopsAtF7)
{
    openOut(synthOut);
    const Bytes frame{0xF0, 0x7E, 0x7F, 0x34, 0x04, 0x0A, 0x01, 0x00, 0x7F, 0x03, 0xF7};
    Bytes withTail = frame;
    withTail.insert(withTail.end(), {0x11, 0x22}); // PortMidi stops at the F7
    ASSERT_EQ(Pm_WriteSysEx(out_, 0, withTail.data()), pmNoError);
    ASSERT_EQ(Pm_WriteShort(out_, 0, Pm_Message(0x80, 0x3C, 0x00)), pmNoError);
    const std::vector<sim::Message> got = sim::received(synthOut);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, sim::Kind::SysEx);
    EXPECT_EQ(got[0].bytes, frame);
    EXPECT_EQ(got[1].kind, sim::Kind::Short);
    Bytes wire = frame;
    wire.insert(wire.end(), {0x80, 0x3C, 0x00});
    EXPECT_EQ(sim::receivedBytes(synthOut), wire);
}

TEST_F(SimTest, RealtimeWrittenInsideASysExStandsWhereItWasSent)
{
    openOut(synthOut);
    // F0 7E 7F 11, then a clock, then 00 F7. PortMidi 217 sends the clock through write_realtime
    // and then also writes its event's four bytes as SysEx data; the record shows both.
    std::vector<PmEvent> events = {{static_cast<PmMessage>(0x117F7EF0), 0},
                                   {static_cast<PmMessage>(0xF8), 0},
                                   {static_cast<PmMessage>(0x0000F700), 0}};
    ASSERT_EQ(Pm_Write(out_, events.data(), static_cast<int32_t>(events.size())), pmNoError);
    const std::vector<sim::Message> got = sim::received(synthOut);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, sim::Kind::Realtime);
    EXPECT_EQ(got[0].bytes, Bytes{0xF8});
    EXPECT_EQ(got[1].kind, sim::Kind::SysEx);
    EXPECT_EQ(got[1].bytes, (Bytes{0xF0, 0x7E, 0x7F, 0x11, 0xF8, 0x00, 0x00, 0x00, 0x00, 0xF7}));
    EXPECT_EQ(sim::receivedBytes(synthOut),
              (Bytes{0xF0, 0x7E, 0x7F, 0x11, 0xF8, 0xF8, 0x00, 0x00, 0x00, 0x00, 0xF7}));
}

TEST_F(SimTest, SysExCutOffByCloseIsPartial)
{
    openOut(synthOut);
    PmEvent start{static_cast<PmMessage>(0x117F7EF0), 0};
    ASSERT_EQ(Pm_Write(out_, &start, 1), pmNoError);
    Pm_Close(out_);
    out_ = nullptr;
    const std::vector<sim::Message> got = sim::received(synthOut);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, sim::Kind::Partial);
    EXPECT_EQ(got[0].bytes, (Bytes{0xF0, 0x7E, 0x7F, 0x11}));
}

// ---- Input ----

TEST_F(SimTest, InputDeliversASysExFourBytesPerEvent)
{
    openIn(keysIn);
    sim::queueBytes(keysIn, {0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7});
    EXPECT_EQ(sim::pendingInput(keysIn), 1u);
    const std::vector<PmEvent> events = readAll();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(static_cast<std::uint32_t>(events[0].message), 0x7F7F7EF0u);
    EXPECT_EQ(static_cast<std::uint32_t>(events[1].message), 0x0000F700u);
    EXPECT_EQ(sim::pendingInput(keysIn), 0u);
}

TEST_F(SimTest, InputWaitsForTheOpenAndIsDroppedAtClose)
{
    sim::queueShort(keysIn, Pm_Message(0x90, 0x3C, 0x40));
    openIn(keysIn);
    std::vector<PmEvent> events = readAll();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(static_cast<std::uint32_t>(events[0].message),
              static_cast<std::uint32_t>(Pm_Message(0x90, 0x3C, 0x40)));

    sim::queueShort(keysIn, Pm_Message(0x80, 0x3C, 0x40));
    Pm_Close(in_);
    in_ = nullptr;
    EXPECT_EQ(sim::pendingInput(keysIn), 0u);
    openIn(keysIn);
    EXPECT_TRUE(readAll().empty());
}

// A message word queued on its own reaches PortMidi as its bytes on the wire would: nothing for a
// byte the sequencer makes no event of, and an F7 only as the end of a SysEx.
TEST_F(SimTest, QueuedShortMessagesArriveAsTheWireDeliversThem)
{
    openIn(keysIn);
    for (const std::uint32_t lone : {0xF7u, 0xF4u, 0xF5u, 0xF9u, 0xFDu})
        sim::queueShort(keysIn, lone);
    sim::queueShort(keysIn, Pm_Message(0x90, 0x3C, 0x40));
    EXPECT_EQ(eventBytes(readAll()), (Bytes{0x90, 0x3C, 0x40, 0x00}));

    sim::queueBytes(keysIn, {0xF0, 0x7E, 0x7F, 0x7F, 0x00});
    sim::queueShort(keysIn, 0xF8);
    sim::queueShort(keysIn, 0xF7);
    EXPECT_EQ(eventBytes(readAll()), (Bytes{0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF8, 0xF7, 0x00}));
}

TEST_F(SimTest, InputSysExQueuedInPiecesArrivesWhole)
{
    openIn(keysIn);
    sim::queueBytes(keysIn, {0xF0, 0x7E, 0x7F, 0x21, 0x06});
    EXPECT_EQ(eventBytes(readAll()), (Bytes{0xF0, 0x7E, 0x7F, 0x21}));
    sim::queueBytes(keysIn, {0x01, 0x00, 0x02, 0x05, 0x00, 0x1A, 0x00, 0xF7});
    EXPECT_EQ(eventBytes(readAll()), (Bytes{0x06, 0x01, 0x00, 0x02, 0x05, 0x00, 0x1A, 0x00, 0xF7, 0, 0, 0}));
    // Once the SysEx has ended, data bytes are stray again.
    sim::queueBytes(keysIn, {0x01, 0x02});
    EXPECT_TRUE(readAll().empty());
}

TEST_F(SimTest, AStreamOfInputArrivesOneMessageAtEverySecondPoll)
{
    openIn(keysIn);
    sim::queueStream(keysIn, {Pm_Message(0xB0, 1, 1), Pm_Message(0xB0, 1, 2), Pm_Message(0xB0, 1, 3)});
    EXPECT_EQ(Pm_Poll(in_), 0);
    EXPECT_EQ(Pm_Poll(in_), 1);
    EXPECT_EQ(sim::pendingInput(keysIn), 2u);
    // Each read polls the device as well: the stream keeps coming while it is read.
    EXPECT_EQ(readAll().size(), 3u);
    EXPECT_EQ(sim::pendingInput(keysIn), 0u);
}

// What the program reads for a wire byte string, through PortMidi's default filter (active sensing
// dropped) and with no filter at all.
TEST_F(SimTest, InputBytesThroughPortMidiFilters)
{
    struct Case {
        const char *name;
        Bytes wire;
        std::int32_t filter;
        Bytes expected; // the events' bytes, four per event
    };
    const Case cases[] = {
        {"active sensing dropped by default",
         {0xFE, 0x90, 0x3C, 0x40, 0xFE},
         PM_FILT_ACTIVE,
         {0x90, 0x3C, 0x40, 0x00}},
        {"active sensing kept without a filter",
         {0xFE, 0x90, 0x3C, 0x40},
         0,
         {0xFE, 0x00, 0x00, 0x00, 0x90, 0x3C, 0x40, 0x00}},
        {"clock inside a SysEx takes a place in its events",
         {0xF0, 0x7E, 0xF8, 0x7F, 0x7F, 0x00, 0xF7},
         PM_FILT_ACTIVE,
         {0xF0, 0x7E, 0xF8, 0x7F, 0x7F, 0x00, 0xF7, 0x00}},
        {"clock inside a SysEx dropped by the clock filter",
         {0xF0, 0x7E, 0xF8, 0x7F, 0x7F, 0x00, 0xF7},
         PM_FILT_ACTIVE | PM_FILT_CLOCK,
         {0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7, 0x00, 0x00}},
        // PortMidi drops the data but still hands on the F0 as an event of its own.
        {"SysEx data dropped by the SysEx filter",
         {0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7, 0xC1, 0x07},
         PM_FILT_SYSEX,
         {0xF0, 0x00, 0x00, 0x00, 0xC1, 0x07, 0x00, 0x00}},
        {"stray data bytes are dropped",
         {0x01, 0x02, 0xB0, 0x07, 0x64},
         PM_FILT_ACTIVE,
         {0xB0, 0x07, 0x64, 0x00}},
        // The sequencer has no event for them.
        {"an F7 outside a SysEx gives nothing", {0xF7, 0xC1, 0x07, 0xF7}, 0, {0xC1, 0x07, 0x00, 0x00}},
        {"undefined status bytes give nothing",
         {0xF4, 0xF5, 0xF9, 0xFD, 0xF0, 0x7E, 0xF9, 0xFD, 0x7F, 0xF7},
         0,
         {0xF0, 0x7E, 0x7F, 0xF7}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        openIn(keysIn);
        ASSERT_EQ(Pm_SetFilter(in_, c.filter), pmNoError);
        sim::queueBytes(keysIn, c.wire);
        EXPECT_EQ(eventBytes(readAll()), c.expected);
        Pm_Close(in_);
        in_ = nullptr;
    }
}

// ---- The unit ----

TEST_F(SimTest, FramesArePackedSevenIntoEight)
{
    Bytes block;
    for (int b = 0x80; b <= 0x95; ++b)
        block.push_back(static_cast<std::uint8_t>(b));
    EXPECT_EQ(sim::packFrame(0x04, block),
              (Bytes{0xF0, 0x7E, 0x7F, 0x04, 0x16, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05,
                     0x06, 0x7F, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x7F, 0x0E,
                     0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x7F, 0x15, 0x01, 0xF7}));
    EXPECT_EQ(sim::packFrame(0x04, {0xFF, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x81}),
              (Bytes{0xF0, 0x7E, 0x7F, 0x04, 0x08, 0x7F, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x40, 0x01, 0x01,
                     0xF7}));
    EXPECT_EQ(sim::packFrame(0x11, {}), (Bytes{0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7}));
}

TEST_F(SimTest, UnitDecodesAPackedBlockAndAcknowledgesIt)
{
    openUnit();
    sendSysEx(
        {0xF0, 0x7E, 0x7F, 0x04, 0x08, 0x7F, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x40, 0x01, 0x01, 0xF7});
    const std::vector<sim::Command> commands = sim::unitCommands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_TRUE(commands[0].valid) << commands[0].error;
    EXPECT_EQ(commands[0].code, 0x04);
    EXPECT_EQ(commands[0].payload, (Bytes{0xFF, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x81}));
    EXPECT_EQ(sim::unitImage(), commands[0].payload);
    EXPECT_FALSE(sim::unitImageComplete());
    // The acknowledgement F0 7E 7F 7F 00 F7 arrives as two events.
    EXPECT_EQ(eventBytes(readAll()), (Bytes{0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7, 0x00, 0x00}));
}

TEST_F(SimTest, UnitAnswersEachCommand)
{
    openUnit();
    struct Case {
        const char *name;
        Bytes frame;
        Bytes answer; // empty: no answer
    };
    const Bytes ack{0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7};
    const Bytes nak{0xF0, 0x7E, 0x7F, 0x7E, 0x00, 0xF7};
    const Case cases[] = {
        {"enable update", {0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7}, ack},
        {"revisions",
         {0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7},
         {0xF0, 0x7E, 0x7F, 0x21, 0x0A, 0x01, 0x00, 0x02, 0x05, 0x00, 0x1A, 0x03, 0x00, 0x01, 0x00, 0x2C,
          0x00, 0xF7}},
        {"read address",
         {0xF0, 0x7E, 0x7F, 0x33, 0x00, 0xF7},
         {0xF0, 0x7E, 0x7F, 0x43, 0x04, 0x0A, 0x01, 0x00, 0x7F, 0x03, 0xF7}},
        {"set address", {0xF0, 0x7E, 0x7F, 0x34, 0x04, 0x0C, 0x22, 0x38, 0x4E, 0x00, 0xF7}, ack},
        {"read the new address",
         {0xF0, 0x7E, 0x7F, 0x33, 0x00, 0xF7},
         {0xF0, 0x7E, 0x7F, 0x43, 0x04, 0x0C, 0x22, 0x38, 0x4E, 0x00, 0xF7}},
        {"reset", {0xF0, 0x7E, 0x7F, 0x03, 0x00, 0xF7}, ack},
        {"factory settings", {0xF0, 0x7E, 0x7F, 0x32, 0x00, 0xF7}, ack},
        {"unknown command", {0xF0, 0x7E, 0x7F, 0x50, 0x00, 0xF7}, nak},
        {"length larger than the frame", {0xF0, 0x7E, 0x7F, 0x04, 0x02, 0x01, 0x00, 0xF7}, nak},
        {"length smaller than the frame", {0xF0, 0x7E, 0x7F, 0x04, 0x01, 0x01, 0x00, 0x00, 0xF7}, nak},
        {"high-bit byte beyond its group", {0xF0, 0x7E, 0x7F, 0x04, 0x01, 0x01, 0x02, 0xF7}, nak},
        {"set address with three bytes", {0xF0, 0x7E, 0x7F, 0x34, 0x03, 0x01, 0x02, 0x03, 0x00, 0xF7}, nak},
        {"payload on a plain command", {0xF0, 0x7E, 0x7F, 0x03, 0x01, 0x01, 0x00, 0xF7}, nak},
        {"another device byte", {0xF0, 0x7E, 0x10, 0x11, 0x00, 0xF7}, {}},
        {"not a unit frame", {0xF0, 0x41, 0x10, 0x42, 0x12, 0xF7}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sendSysEx(c.frame);
        EXPECT_EQ(eventBytes(readAll()), asEvents(c.answer));
        const std::vector<sim::Command> commands = sim::unitCommands();
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.back().frame, c.frame);
        EXPECT_EQ(commands.back().valid, c.answer == ack || (c.answer.size() > 6 && c.answer[3] != 0x7E));
    }
    EXPECT_EQ(sim::unitAddress(), (Bytes{12, 34, 56, 78}));
}

// A unit that acknowledges firmware blocks only: the requests get their answers, a block its
// acknowledgement (a negative one when malformed), and every other frame nothing at all. It takes
// the frames as the other kind does.
TEST_F(SimTest, BlocksOnlyUnitAcknowledgesNothingButBlocks)
{
    openUnit();
    sim::setUnitMode(sim::Mode::BlocksOnly);
    const Bytes ack{0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7};
    const Bytes nak{0xF0, 0x7E, 0x7F, 0x7E, 0x00, 0xF7};
    const struct {
        const char *name;
        Bytes frame;
        Bytes answer; // empty: no answer
    } cases[] = {
        {"enable update", {0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7}, {}},
        {"block", sim::packFrame(0x04, {0xC1}), ack},
        {"malformed block", {0xF0, 0x7E, 0x7F, 0x04, 0x02, 0x01, 0x00, 0xF7}, nak},
        {"set address", sim::packFrame(0x34, {12, 34, 56, 78}), {}},
        {"read address", {0xF0, 0x7E, 0x7F, 0x33, 0x00, 0xF7}, sim::packFrame(0x43, {12, 34, 56, 78})},
        {"revisions",
         {0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7},
         sim::packFrame(0x21, {1, 0, 2, 5, 0, 0x1A, 3, 1, 0, 0x2C})},
        {"reset", {0xF0, 0x7E, 0x7F, 0x03, 0x00, 0xF7}, {}},
        {"unknown command", {0xF0, 0x7E, 0x7F, 0x50, 0x00, 0xF7}, {}},
        {"payload on a plain command", {0xF0, 0x7E, 0x7F, 0x03, 0x01, 0x01, 0x00, 0xF7}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sendSysEx(c.frame);
        EXPECT_EQ(eventBytes(readAll()), asEvents(c.answer));
    }
    EXPECT_EQ(sim::unitImage(), Bytes{0xC1});
    EXPECT_EQ(sim::unitAddress(), (Bytes{12, 34, 56, 78}));
}

// A unit that does not examine the device byte takes and answers frames for any device.
TEST_F(SimTest, UnitThatTakesAnyDeviceByteAnswersFramesForOtherDevices)
{
    openUnit();
    sim::setUnitTakesAnyDevice(true);
    sendSysEx(sim::packFrame(0x04, {0x41}, 0x00));
    EXPECT_EQ(eventBytes(readAll()), (Bytes{0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7, 0x00, 0x00}));
    EXPECT_EQ(sim::unitImage(), Bytes{0x41});
    sim::setUnitTakesAnyDevice(false);
    sendSysEx(sim::packFrame(0x04, {0x42}, 0x00));
    EXPECT_TRUE(readAll().empty());
    EXPECT_EQ(sim::unitImage(), Bytes{0x41});
}

TEST_F(SimTest, UnitRejectsABlockLongerThanTwentyTwoBytes)
{
    openUnit();
    sendSysEx(sim::packFrame(0x04, Bytes(23, 0x55)));
    EXPECT_EQ(eventBytes(readAll()), (Bytes{0xF0, 0x7E, 0x7F, 0x7E, 0x00, 0xF7, 0x00, 0x00}));
    EXPECT_TRUE(sim::unitImage().empty());
}

TEST_F(SimTest, UnitShortRevisionAnswer)
{
    openUnit();
    sim::setUnitRevision({0x01, 0x00, 0x02, 0x05, 0x00, 0x1A});
    sendSysEx({0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7});
    EXPECT_EQ(eventBytes(readAll()), (Bytes{0xF0, 0x7E, 0x7F, 0x21, 0x06, 0x01, 0x00, 0x02, 0x05, 0x00, 0x1A,
                                            0x00, 0xF7, 0x00, 0x00, 0x00}));
}

TEST_F(SimTest, UnitKeepsTheImageUntilTheEmptyBlock)
{
    openUnit();
    Bytes image;
    for (int i = 0; i < 23; ++i)
        image.push_back(static_cast<std::uint8_t>(0x70 + i * 7)); // crosses 0x80
    sendSysEx({0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7});
    sendSysEx(sim::packFrame(0x04, Bytes(image.begin(), image.begin() + 22)));
    sendSysEx(sim::packFrame(0x04, Bytes(image.begin() + 22, image.end())));
    EXPECT_FALSE(sim::unitImageComplete());
    sendSysEx(sim::packFrame(0x04, {}));
    EXPECT_TRUE(sim::unitImageComplete());
    EXPECT_EQ(sim::unitImage(), image);
    EXPECT_EQ(sim::unitBlockSizes(), (std::vector<std::size_t>{22, 1, 0}));
    EXPECT_EQ(readAll().size(), 4u * 2u) << "four acknowledgements of two events each";

    // A block after the end starts a new image; so does an enable.
    sendSysEx(sim::packFrame(0x04, {0x01}));
    EXPECT_EQ(sim::unitImage(), Bytes{0x01});
    EXPECT_FALSE(sim::unitImageComplete());
    sendSysEx({0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7});
    EXPECT_TRUE(sim::unitImage().empty());
}

// Checking the image only: the unit answers as before, keeps nothing of the traffic, and tells
// whether the blocks made up exactly the expected image.
TEST_F(SimTest, UnitThatChecksTheImageOnlyKeepsNothingAndTellsWhetherItIsIntact)
{
    const Bytes expected{0x01, 0x82, 0x03, 0x84, 0x05};
    struct Case {
        const char *what;
        std::vector<Bytes> blocks; // before the empty block
        bool intact;
    };
    const Case cases[] = {
        {"the image whole", {{0x01, 0x82, 0x03}, {0x84, 0x05}}, true},
        {"one byte differs", {{0x01, 0x82, 0x03}, {0x84, 0x06}}, false},
        {"one byte short", {{0x01, 0x82, 0x03}, {0x84}}, false},
        {"one byte over", {{0x01, 0x82, 0x03}, {0x84, 0x05, 0x00}}, false},
    };
    openUnit();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sim::checkImageOnly(expected);
        sendSysEx({0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7});
        for (const Bytes &block : c.blocks)
            sendSysEx(sim::packFrame(0x04, block));
        EXPECT_FALSE(sim::unitImageCheck().complete);
        sendSysEx(sim::packFrame(0x04, {}));
        const sim::ImageCheck check = sim::unitImageCheck();
        EXPECT_TRUE(check.complete);
        EXPECT_EQ(check.intact, c.intact);
        EXPECT_EQ(check.blocks, c.blocks.size() + 1);
        EXPECT_EQ(readAll().size(), (c.blocks.size() + 2) * 2u) << "every frame acknowledged";
        EXPECT_TRUE(sim::received(unitOut).empty());
        EXPECT_TRUE(sim::receivedBytes(unitOut).empty());
        EXPECT_TRUE(sim::unitCommands().empty());
        EXPECT_TRUE(sim::unitAnswers().empty());
        EXPECT_TRUE(sim::unitImage().empty());
        EXPECT_TRUE(sim::unitBlockSizes().empty());
    }
}

// Blocks of every length up to 22, their bytes using bit 7 in every place of a group, come out whole
// and in order: the groups of seven end at 7, 14 and 21 bytes.
TEST_F(SimTest, UnitTakesBlocksOfEveryLength)
{
    openUnit();
    Bytes image;
    std::vector<std::size_t> sizes;
    for (std::size_t n = 1; n <= 22; ++n) {
        Bytes block;
        for (std::size_t i = 0; i < n; ++i)
            block.push_back(static_cast<std::uint8_t>(n * 37 + i * 101));
        sendSysEx(sim::packFrame(0x04, block));
        image.insert(image.end(), block.begin(), block.end());
        sizes.push_back(n);
    }
    sendSysEx(sim::packFrame(0x04, {}));
    sizes.push_back(0);
    for (const sim::Command &c : sim::unitCommands())
        EXPECT_TRUE(c.valid) << c.error;
    EXPECT_EQ(sim::unitImage(), image);
    EXPECT_EQ(sim::unitBlockSizes(), sizes);
    EXPECT_TRUE(sim::unitImageComplete());
    EXPECT_EQ(readAll().size(), 23u * 2u) << "an acknowledgement of two events for each block";
}

TEST_F(SimTest, LaggingUnitAnswersAfterItsPolls)
{
    openUnit();
    sim::setUnitLag(3);
    sendSysEx({0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7});
    for (int poll = 1; poll <= 3; ++poll)
        EXPECT_EQ(Pm_Poll(in_), 0) << "poll " << poll;
    EXPECT_EQ(Pm_Poll(in_), 1);
    EXPECT_EQ(eventBytes(readAll()), (Bytes{0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7, 0x00, 0x00}));

    // Two frames at once: the unit takes its polls for the second after the first.
    sendSysEx({0xF0, 0x7E, 0x7F, 0x03, 0x00, 0xF7});
    sendSysEx({0xF0, 0x7E, 0x7F, 0x32, 0x00, 0xF7});
    for (int poll = 1; poll <= 3; ++poll)
        EXPECT_EQ(Pm_Poll(in_), 0) << "poll " << poll;
    EXPECT_EQ(Pm_Poll(in_), 1);
    PmEvent events[4];
    EXPECT_EQ(Pm_Read(in_, events, 4), 2) << "the first answer only";
    for (int poll = 1; poll <= 2; ++poll)
        EXPECT_EQ(Pm_Poll(in_), 0) << "poll " << poll;
    EXPECT_EQ(Pm_Poll(in_), 1);
}

// Blocks sent ahead of their acknowledgements are seen; an Enable begins a new image and a new count.
TEST_F(SimTest, UnitCountsTheBlocksStillUnansweredAtEachBlock)
{
    openUnit();
    sim::setUnitLag(3);
    sendSysEx(sim::packFrame(0x04, {1}));
    sendSysEx(sim::packFrame(0x04, {2}));
    readAll(); // not yet: the answers are held back
    sendSysEx(sim::packFrame(0x04, {3}));
    for (int poll = 0; poll < 5; ++poll)
        readAll();
    sendSysEx(sim::packFrame(0x04, {4}));
    EXPECT_EQ(sim::unitUnansweredBeforeEachBlock(), (std::vector<std::size_t>{0, 1, 2, 0}));

    sendSysEx({0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7});
    sendSysEx(sim::packFrame(0x04, {1}));
    EXPECT_EQ(sim::unitUnansweredBeforeEachBlock(), std::vector<std::size_t>{0})
        << "the answer to the last block of the image before does not count";
}

// An answer is never readable before the delay has passed since the frame went out, however often
// the input is polled; it comes once the delay has passed (bounded generously).
TEST_F(SimTest, DelayedUnitAnswersNoSoonerThanItsDelay)
{
    openUnit();
    constexpr auto delay = std::chrono::milliseconds(30);
    sim::setUnitDelay(delay);
    const auto sent = std::chrono::steady_clock::now();
    sendSysEx({0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7});
    while (Pm_Poll(in_) == 0 && std::chrono::steady_clock::now() - sent < std::chrono::seconds(10)) {
    }
    EXPECT_GE(std::chrono::steady_clock::now() - sent, delay);
    EXPECT_EQ(eventBytes(readAll()), (Bytes{0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7, 0x00, 0x00}));
}

TEST_F(SimTest, SilentUnitTakesBlocksButNeverAnswers)
{
    openUnit();
    sim::setUnitMode(sim::Mode::Silent);
    sendSysEx(sim::packFrame(0x04, {0x81, 0x02}));
    sendSysEx({0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7});
    for (int poll = 0; poll < 50; ++poll)
        EXPECT_EQ(Pm_Poll(in_), 0);
    EXPECT_EQ(sim::unitImage(), (Bytes{0x81, 0x02}));
    EXPECT_EQ(sim::unitCommands().size(), 2u);
    EXPECT_TRUE(sim::unitAnswers().empty());
}

TEST_F(SimTest, NakUnitRejectsEverythingAndKeepsNothing)
{
    openUnit();
    sim::setUnitMode(sim::Mode::Nak);
    sendSysEx(sim::packFrame(0x04, {0x01}));
    sendSysEx({0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7});
    sendSysEx(sim::packFrame(0x34, {12, 34, 56, 78}));
    sendSysEx(sim::packFrame(0x04, {}));
    const Bytes nak{0xF0, 0x7E, 0x7F, 0x7E, 0x00, 0xF7, 0x00, 0x00};
    Bytes expected;
    for (int i = 0; i < 4; ++i)
        expected.insert(expected.end(), nak.begin(), nak.end());
    EXPECT_EQ(eventBytes(readAll()), expected);
    EXPECT_EQ(sim::unitCommands().size(), 4u);
    EXPECT_TRUE(sim::unitImage().empty());
    EXPECT_TRUE(sim::unitBlockSizes().empty());
    EXPECT_FALSE(sim::unitImageComplete());
    EXPECT_EQ(sim::unitAddress(), (Bytes{10, 1, 128, 255}));
}

// Four blocks, `before` of them sent before the count is set: the unit answers `answered` of them,
// with the clock it sends ahead of each answer, and takes all four.
TEST_F(SimTest, UnitFallsSilentAfterItsFrames)
{
    struct Case {
        const char *name;
        int before;
        int silentAfter;
        std::size_t answered;
    };
    const Case cases[] = {
        {"never", 0, -1, 4},
        {"any negative count is never", 0, -7, 4},
        {"at once", 0, 0, 0},
        {"after two frames", 0, 2, 2},
        {"counted from the call", 1, 2, 3},
        {"a count beyond the frames sent", 0, 9, 4},
    };
    const Bytes clockAndAck{0xF8, 0x00, 0x00, 0x00, 0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7, 0x00, 0x00};
    openUnit();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim::reset();
        sim::attachUnit(unitOut, unitIn);
        ASSERT_TRUE(sim::setUnitRealtimeBetween({0xF8}));
        Bytes image;
        for (int block = 0; block < 4; ++block) {
            if (block == c.before)
                sim::setUnitSilentAfter(c.silentAfter);
            const Bytes data{static_cast<std::uint8_t>(0x80 | block), static_cast<std::uint8_t>(block)};
            sendSysEx(sim::packFrame(0x04, data));
            image.insert(image.end(), data.begin(), data.end());
        }
        Bytes expected;
        for (std::size_t i = 0; i < c.answered; ++i)
            expected.insert(expected.end(), clockAndAck.begin(), clockAndAck.end());
        EXPECT_EQ(eventBytes(readAll()), expected);
        EXPECT_EQ(sim::unitAnswers().size(), c.answered);
        EXPECT_EQ(sim::unitImage(), image);
    }
}

TEST_F(SimTest, UnitInterleavesRealtimeInItsAnswers)
{
    openUnit();
    sim::setUnitInterleave(0xF8, 2);
    sendSysEx({0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7});
    // On the wire: F0 7E F8 7F 7F F8 00 F7; PortMidi keeps each clock in its place in the events.
    EXPECT_EQ(eventBytes(readAll()), (Bytes{0xF0, 0x7E, 0xF8, 0x7F, 0x7F, 0xF8, 0x00, 0xF7}));
    ASSERT_EQ(sim::unitAnswers().size(), 1u);
    EXPECT_EQ(sim::unitAnswers()[0], (Bytes{0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7}));
}

// Real-time bytes between the unit's answers arrive as events of their own ahead of each answer;
// those inside an answer stay in its SysEx events.
TEST_F(SimTest, UnitSendsRealtimeBetweenItsAnswers)
{
    struct Case {
        const char *name;
        Bytes between;
        int every; // a clock inside each answer after every this many bytes (0: none)
        std::int32_t filter;
        Bytes perAnswer; // the events' bytes read for each answer, four per event
    };
    const Case cases[] = {
        {"clock and active sensing, nothing filtered",
         {0xF8, 0xFE},
         0,
         0,
         {0xF8, 0x00, 0x00, 0x00, 0xFE, 0x00, 0x00, 0x00, 0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7, 0x00, 0x00}},
        {"active sensing dropped by the default filter",
         {0xFE, 0xF8, 0xFE},
         0,
         PM_FILT_ACTIVE,
         {0xF8, 0x00, 0x00, 0x00, 0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7, 0x00, 0x00}},
        {"between the answers and inside them",
         {0xFE},
         2,
         0,
         {0xFE, 0x00, 0x00, 0x00, 0xF0, 0x7E, 0xF8, 0x7F, 0x7F, 0xF8, 0x00, 0xF7}},
    };
    openUnit();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim::reset();
        sim::attachUnit(unitOut, unitIn);
        ASSERT_TRUE(sim::setUnitRealtimeBetween(c.between));
        sim::setUnitInterleave(0xF8, c.every);
        ASSERT_EQ(Pm_SetFilter(in_, c.filter), pmNoError);
        sendSysEx({0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7});
        sendSysEx({0xF0, 0x7E, 0x7F, 0x03, 0x00, 0xF7});
        Bytes expected = c.perAnswer;
        expected.insert(expected.end(), c.perAnswer.begin(), c.perAnswer.end());
        EXPECT_EQ(eventBytes(readAll()), expected);
    }
}

TEST_F(SimTest, RealtimeBetweenAnswersComesWhileALateAnswerIsHeldBack)
{
    openUnit();
    sim::setUnitLag(2);
    ASSERT_TRUE(sim::setUnitRealtimeBetween({0xF8}));
    EXPECT_FALSE(sim::setUnitRealtimeBetween({0xFE, 0x90})) << "0x90 is not a real-time byte";
    sendSysEx({0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7});
    ASSERT_EQ(Pm_Poll(in_), 1);
    PmEvent clock{};
    ASSERT_EQ(Pm_Read(in_, &clock, 1), 1);
    EXPECT_EQ(static_cast<std::uint32_t>(clock.message), 0xF8u);
    EXPECT_EQ(sim::pendingInput(unitIn), 1u) << "the answer is still held back";
    EXPECT_EQ(eventBytes(readAll()), (Bytes{0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7, 0x00, 0x00}));
}

TEST_F(SimTest, UnitAnswersAreLostWhileItsInputIsClosed)
{
    sim::attachUnit(unitOut, unitIn);
    openOut(unitOut);
    sendSysEx({0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7});
    EXPECT_EQ(sim::unitAnswers().size(), 1u);
    openIn(unitIn);
    EXPECT_TRUE(readAll().empty());
}

TEST_F(SimTest, ResetClearsTrafficAndDetachesTheUnit)
{
    openUnit();
    sendSysEx({0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7});
    sim::reset();
    EXPECT_TRUE(sim::received(unitOut).empty());
    EXPECT_TRUE(sim::unitCommands().empty());
    EXPECT_EQ(sim::pendingInput(unitIn), 0u);
    EXPECT_TRUE(sim::isOpen(unitOut)) << "open streams stay open";
    sendSysEx({0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7});
    EXPECT_TRUE(sim::unitCommands().empty());
    EXPECT_EQ(sim::received(unitOut).size(), 1u);
}

} // namespace
