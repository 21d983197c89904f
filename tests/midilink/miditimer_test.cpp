// The input poller of the MIDI window: one tick drains the input selector's stream into 4-byte
// packets, least significant byte first; it runs while an input port is open, does nothing without
// a stream, reports no error, and keeps reading after PortMidi's queue overflowed.

#include "rbframework/testseam.h"
#include "tests/common/program_fixture.h"

using namespace korvanetest;

namespace
{

using Packets = std::vector<Bytes>;

class Poller : public ProgramTest
{
  protected:
    // Records every packet the poller raises, then hands it to the window's handler, if any.
    void recordPackets()
    {
        auto &newdata = io().miditimer1().newdata;
        newdata = [this, handler = newdata](const rb::MemoryBlock &packet) {
            packets.emplace_back(packet.data(), packet.data() + packet.Size());
            if (onPacket)
                onPacket();
            if (handler)
                handler(packet);
        };
    }
    Packets packets;
    std::function<void()> onPacket; // runs inside the handling of each packet
};

TEST_F(Poller, OneTickDrainsTheQueueIntoFourBytePackets)
{
    saveUnitPorts();
    openProgram();
    recordPackets();
    sim::queueShort(UnitIn, 0x643C90); // note-on, channel 1, note 60, velocity 100
    sim::queueBytes(UnitIn, {0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7}); // the unit's acknowledgement
    sim::queueBytes(UnitIn, {0xF8});                               // timing clock
    sim::queueShort(UnitIn, 0x6407B0);                             // control change

    poll();

    EXPECT_EQ(packets, Packets({{0x90, 0x3C, 0x64, 0x00},
                                {0xF0, 0x7E, 0x7F, 0x7F},
                                {0x00, 0xF7, 0x00, 0x00},
                                {0xF8, 0x00, 0x00, 0x00},
                                {0xB0, 0x07, 0x64, 0x00}}));
    // Each packet went on to be interpreted, the window hidden.
    EXPECT_EQ(io().ackcnt, 1);
    EXPECT_EQ(rows(io().eListin()), QStringList({"control change: B0 07 64 00 ", "realtime: F8 00 00 00 "}));
    EXPECT_EQ(io().miditimer1().s, QByteArray("\xB0\x07\x64\x00", 4));

    packets.clear();
    poll();
    EXPECT_TRUE(packets.empty());
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
}

TEST_F(Poller, InputArrivingWhileAPacketIsHandledIsReadInTheSameTick)
{
    saveUnitPorts();
    openProgram();
    recordPackets();
    onPacket = [this] {
        if (packets.size() == 1)
            sim::queueShort(UnitIn, 0x7F4080);
    };
    sim::queueShort(UnitIn, 0x7F4090);

    poll();

    EXPECT_EQ(packets, Packets({{0x90, 0x40, 0x7F, 0x00}, {0x80, 0x40, 0x7F, 0x00}}));
}

// A steady stream of input keeps coming while it is read: a tick ends after a bounded number of
// packets, and the following ticks read the rest, in order, nothing lost.
TEST_F(Poller, AStreamOfInputIsReadOverSeveralTicksInOrder)
{
    saveUnitPorts();
    openProgram();
    recordPackets();
    std::vector<std::uint32_t> stream;
    Packets expected;
    for (std::uint32_t i = 0; i < 3000; ++i) {
        const std::uint32_t controller = i % 120, value = i / 120;
        stream.push_back(0xB0 | controller << 8 | value << 16);
        expected.push_back({0xB0, std::uint8_t(controller), std::uint8_t(value), 0x00});
    }
    sim::queueStream(UnitIn, stream);

    poll();
    EXPECT_GT(packets.size(), 0u);
    EXPECT_LT(packets.size(), stream.size()) << "one tick read the whole stream";
    for (int tick = 0; tick < int(stream.size()) && packets.size() < stream.size(); ++tick)
        poll();
    EXPECT_EQ(packets, expected);
}

TEST_F(Poller, RunsWhileAnInputPortIsOpen)
{
    openFirstRun();
    click(mainWindow().kview());
    EXPECT_EQ(io().miditimer1().Mode(), rb::Timer::ModeOff);
    EXPECT_EQ(io().miditimer1().Period(), 50);

    chooseRow(io().midiin1(), 1);
    EXPECT_EQ(io().miditimer1().Mode(), rb::Timer::ModeMultiple);
    EXPECT_EQ(io().miditimer1().Period(), 50);

    chooseRow(io().midiin1(), 0);
    EXPECT_EQ(io().miditimer1().Mode(), rb::Timer::ModeOff);

    sim::failOpen(UnitIn, "gone");
    chooseRow(io().midiin1(), 1);
    EXPECT_EQ(io().miditimer1().Mode(), rb::Timer::ModeOff);
}

struct NoStreamCase {
    const char *name;
    bool chooseThenSelect; // else no input device was ever chosen
};
void PrintTo(const NoStreamCase &c, std::ostream *os)
{
    *os << c.name;
}

class WithoutAStream : public Poller, public ::testing::WithParamInterface<NoStreamCase>
{
};

// The timer is off in both states; a tick that comes all the same (the clock switched on by hand)
// reads nothing and says nothing: the closed stream's Poll answers -1.
TEST_P(WithoutAStream, ATickDoesNothing)
{
    openFirstRun();
    click(mainWindow().kview());
    if (GetParam().chooseThenSelect) {
        chooseRow(io().midiin1(), 1);
        chooseRow(io().midiin1(), 0);
    }
    recordPackets();
    sim::queueShort(UnitIn, 0x643C90);

    io().miditimer1().Mode(rb::Timer::ModeMultiple);
    ASSERT_TRUE(io().miditimer1().fire());

    EXPECT_TRUE(packets.empty());
    EXPECT_EQ(sim::pendingInput(UnitIn), 1u) << "nothing was read from the device";
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
    EXPECT_EQ(rb::testseam::beepCount(), 0);
    EXPECT_EQ(io().eListblk().ListCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Poller, WithoutAStream,
                         ::testing::Values(NoStreamCase{"NoDeviceChosenYet", false},
                                           NoStreamCase{"SelectChosen", true}),
                         [](const ::testing::TestParamInfo<NoStreamCase> &info) { return info.param.name; });

TEST_F(Poller, AfterTheQueueOverflowedReadingGoesOn)
{
    saveUnitPorts();
    openProgram();
    recordPackets();
    // More than the 100 events the input stream holds arrive between two ticks.
    for (std::uint32_t note = 0; note < 150; ++note)
        sim::queueShort(UnitIn, 0x400090 | note << 8);

    poll();
    ASSERT_EQ(packets.size(), 100u) << "the events that found room in the queue";
    EXPECT_EQ(packets.front(), Bytes({0x90, 0x00, 0x40, 0x00}));
    EXPECT_EQ(packets.back(), Bytes({0x90, 0x63, 0x40, 0x00}));
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty()) << "the overflow is not reported";

    packets.clear();
    sim::queueShort(UnitIn, 0x7F4080);
    poll();
    EXPECT_EQ(packets, Packets({{0x80, 0x40, 0x7F, 0x00}}));

    // The link works on: the unit's answer arrives.
    click(mainWindow().kreadeprom());
    poll();
    EXPECT_EQ(mainWindow().corerev().Caption(), "Core 02.05 Build 00.1A HW 01.00");
}

TEST_F(Poller, WithoutANewdataHandlerEventsAreReadAndDropped)
{
    saveUnitPorts();
    openProgram();
    io().miditimer1().newdata = nullptr;
    sim::queueShort(UnitIn, 0x6407B0);
    sim::queueShort(UnitIn, 0x7F4080);

    poll();

    EXPECT_EQ(io().miditimer1().s, QByteArray("\x80\x40\x7F\x00", 4));
    EXPECT_EQ(io().eListin().ListCount(), 0) << "nothing was interpreted";
    recordPackets();
    poll();
    EXPECT_TRUE(packets.empty()) << "the events were read in the tick before";
}

} // namespace
