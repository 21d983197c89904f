// tessel over real PortMidi with simulated devices underneath: device list and info, opening,
// polling and reading (short messages and SysEx), filters and channel masks, writing, and
// ReInitialize while streams are open.

#include "tessel_client.h"
#include "tests/sim/simmidi.h"

#include <portmidi.h>

using namespace tesseltest;

namespace
{

constexpr int keyboard = 0; // input only
constexpr int synth = 1;    // output only
constexpr int accented = 2; // input only, a name with bytes of 0x80 and above

const std::vector<sim::Device> &devices()
{
    static const std::vector<sim::Device> d = {
        {"Keyboard In", "Simulated", true},
        {"Synth Out", "ALSA", false},
        {"Caf\xE9 \x80\xFF", "Simulated", true},
    };
    return d;
}

class SimulatedDevices : public ::testing::Environment
{
  public:
    void SetUp() override
    {
        sim::setDevices(devices()); // before the plug-in initialises PortMidi at load
        loadTessel();
    }
};
::testing::Environment *const simulated = ::testing::AddGlobalTestEnvironment(new SimulatedDevices);

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const Obj &e)
{
    return {uint8_t(intGetter(e, "PortMidiEventTSL.RawData0.Get")),
            uint8_t(intGetter(e, "PortMidiEventTSL.RawData1.Get")),
            uint8_t(intGetter(e, "PortMidiEventTSL.RawData2.Get")),
            uint8_t(intGetter(e, "PortMidiEventTSL.RawData3.Get"))};
}

QByteArray qbytes(const Bytes &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), qsizetype(b.size()));
}

class Sim : public NoLeaks
{
  protected:
    void SetUp() override
    {
        NoLeaks::SetUp();
        sim::reset();
    }
    void TearDown() override
    {
        NoLeaks::TearDown();
        for (int d = 0; d < int(devices().size()); ++d)
            EXPECT_FALSE(sim::isOpen(d)) << "device " << d << " left open";
    }

    Obj openedInput(int device)
    {
        Obj s = make("PortMidiStreamTSL");
        EXPECT_EQ(openInput(s, device), pmNoError);
        return s;
    }
    Obj openedOutput(int device)
    {
        Obj s = make("PortMidiStreamTSL");
        EXPECT_EQ(openOutput(s, device), pmNoError);
        return s;
    }
};

class SimDevices : public Sim
{
};
class SimInput : public Sim
{
};
class SimOutput : public Sim
{
};
class SimReInitialize : public Sim
{
};

} // namespace

// ---- Device list and device info --------------------------------------------------------------

TEST_F(SimDevices, ListsEachDeviceWithNamesAndDirections)
{
    ASSERT_EQ(countDevices(), 3);
    struct Row {
        int id;
        QByteArray name, interf;
        bool in, out;
    };
    const Row rows[] = {
        {keyboard, "Keyboard In", "Simulated", true, false},
        {synth, "Synth Out", "ALSA", false, true},
        {accented, "Caf\xE9 \x80\xFF", "Simulated", true, false},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.id);
        Obj info = deviceInfo(r.id);
        ASSERT_TRUE(info);
        EXPECT_EQ(host().className(info.get()), QStringLiteral("PortMidiDeviceInfoTSL"));
        for (auto [decl, want] : {std::pair{"PortMidiDeviceInfoTSL.Name.Get", r.name},
                                  std::pair{"PortMidiDeviceInfoTSL.InterfaceName.Get", r.interf}}) {
            REALstring s = call<REALstring(REALobject, intptr_t)>(decl, info.get(), intptr_t(0));
            EXPECT_EQ(rb::PluginHost::stringBytes(s), want) << decl << ": bytes pass unchanged";
            EXPECT_EQ(rb::PluginHost::stringEncoding(s), RB_ENCODING_ASCII) << decl;
            host().releaseString(s);
        }
        EXPECT_EQ(boolGetter(info, "PortMidiDeviceInfoTSL.HasInput.Get"), r.in);
        EXPECT_EQ(boolGetter(info, "PortMidiDeviceInfoTSL.HasOutput.Get"), r.out);
    }
    // Each call makes a new object.
    Obj a = deviceInfo(keyboard), b = deviceInfo(keyboard);
    EXPECT_NE(a.get(), b.get());
}

// ---- Input ------------------------------------------------------------------------------------

TEST_F(SimInput, PollAndReadAShortMessage)
{
    Obj in = openedInput(keyboard);
    EXPECT_TRUE(sim::isOpen(keyboard));
    EXPECT_EQ(poll(in), 0);

    sim::queueShort(keyboard, 0x7F4090);
    EXPECT_EQ(poll(in), 1);
    Obj data;
    EXPECT_EQ(read(in, data), 1);
    ASSERT_TRUE(data);
    EXPECT_EQ(host().className(data.get()), QStringLiteral("PortMidiEventTSL"));
    EXPECT_EQ(host().referenceCount(data.get()), 1) << "the caller owns the one reference";
    EXPECT_EQ(bytesOf(data), (Bytes{0x90, 0x40, 0x7F, 0}));

    EXPECT_EQ(poll(in), 0);
    EXPECT_EQ(read(in, data), 0) << "nothing waits";
    EXPECT_FALSE(data) << "the earlier event was released and the variable cleared";
}

TEST_F(SimInput, SysExArrivesFourBytesPerEvent)
{
    Obj in = openedInput(keyboard);
    sim::queueBytes(keyboard, {0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7});
    std::vector<Bytes> events;
    Obj data;
    while (poll(in) == 1) {
        ASSERT_EQ(read(in, data), 1);
        events.push_back(bytesOf(data));
    }
    EXPECT_EQ(events, (std::vector<Bytes>{{0xF0, 0x7E, 0x7F, 0x7F}, {0x00, 0xF7, 0x00, 0x00}}));
}

TEST_F(SimInput, SetFilterIsAcceptedKeptAcrossCloseAndFilters)
{
    Obj in = openedInput(keyboard);
    EXPECT_EQ(intGetter(in, "PortMidiStreamTSL.Filters.Get"), 0) << "PortMidi's own default is not shown";
    EXPECT_EQ(setFilter(in, 0x4000), pmNoError); // FilterActive
    EXPECT_EQ(intGetter(in, "PortMidiStreamTSL.Filters.Get"), 0x4000);

    EXPECT_EQ(setFilter(in, 0x3000000), pmNoError); // FilterNote: note on and off dropped
    sim::queueShort(keyboard, 0x7F4090);
    sim::queueShort(keyboard, 0x0007B0);
    Obj data;
    ASSERT_EQ(poll(in), 1);
    ASSERT_EQ(read(in, data), 1);
    EXPECT_EQ(bytesOf(data), (Bytes{0xB0, 0x07, 0x00, 0x00}));
    EXPECT_EQ(poll(in), 0);

    close(in);
    EXPECT_EQ(setFilter(in, 0x4000), -1);
    EXPECT_EQ(intGetter(in, "PortMidiStreamTSL.Filters.Get"), 0x3000000) << "kept after close";
}

TEST_F(SimInput, SetChannelMaskPassesOnlyThoseChannels)
{
    Obj in = openedInput(keyboard);
    EXPECT_EQ(setChannelMask(in, Pm_Channel(0)), pmNoError);
    EXPECT_EQ(intGetter(in, "PortMidiStreamTSL.ChannelMask.Get"), 1);
    sim::queueShort(keyboard, 0x7F4091); // channel 2: dropped
    sim::queueShort(keyboard, 0x7F4090); // channel 1
    Obj data;
    ASSERT_EQ(poll(in), 1);
    ASSERT_EQ(read(in, data), 1);
    EXPECT_EQ(bytesOf(data), (Bytes{0x90, 0x40, 0x7F, 0}));
    EXPECT_EQ(poll(in), 0);
    close(in);
    EXPECT_EQ(setChannelMask(in, 0xFFFF), -1);
    EXPECT_EQ(intGetter(in, "PortMidiStreamTSL.ChannelMask.Get"), 1);
}

TEST_F(SimInput, OpeningAgainClosesWhatWasHeldEvenWhenTheOpenFails)
{
    Obj s = openedInput(keyboard);
    EXPECT_EQ(openInput(s, accented), pmNoError);
    EXPECT_FALSE(sim::isOpen(keyboard));
    EXPECT_TRUE(sim::isOpen(accented));

    EXPECT_EQ(openInput(s, 99), pmInvalidDeviceId);
    EXPECT_FALSE(sim::isOpen(accented));
    EXPECT_EQ(poll(s), -1);

    sim::failOpen(keyboard, "device busy");
    EXPECT_EQ(openInput(s, keyboard), pmHostError);
    EXPECT_EQ(poll(s), -1);
    sim::failOpen(keyboard, "");
    EXPECT_EQ(openInput(s, keyboard), pmNoError);
    close(s);
    close(s);
    EXPECT_FALSE(sim::isOpen(keyboard));
    EXPECT_EQ(poll(s), -1);
}

TEST_F(SimInput, ReleasingAnOpenStreamClosesIt)
{
    {
        Obj s = openedInput(keyboard);
        EXPECT_TRUE(sim::isOpen(keyboard));
    }
    EXPECT_FALSE(sim::isOpen(keyboard));
}

// ---- Output -----------------------------------------------------------------------------------

TEST_F(SimOutput, WriteShortAndWrite)
{
    Obj out = openedOutput(synth);
    EXPECT_EQ(writeShort(out, 0x7F4090), pmNoError);
    Obj ev = event(0x0040B1, 0);
    EXPECT_EQ(write(out, ev), pmNoError);
    EXPECT_EQ(write(out, Obj()), -1) << "nil event";
    const auto got = sim::received(synth);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].bytes, (Bytes{0x90, 0x40, 0x7F}));
    EXPECT_EQ(got[1].bytes, (Bytes{0xB1, 0x40, 0x00}));
    EXPECT_EQ(intMember(out, "PortMidiStreamTSL.Abort as integer"), pmNoError);
}

TEST_F(SimOutput, WriteSysExFromABlockSendsUpToAndIncludingTheFirstF7)
{
    Obj out = openedOutput(synth);
    struct Case {
        const char *what;
        Bytes block;
        int32_t offset;
        int32_t answer;
        Bytes sent;
    };
    const Case cases[] = {
        {"frame and trailing bytes, offset 0",
         {0xF0, 0x7E, 0x7F, 0x03, 0x00, 0xF7, 0x11, 0x22, 0xF7},
         0,
         pmNoError,
         {0xF0, 0x7E, 0x7F, 0x03, 0x00, 0xF7}},
        {"at an offset", {0xAA, 0xBB, 0xF0, 0x01, 0xF7, 0x55}, 2, pmNoError, {0xF0, 0x01, 0xF7}},
        {"F7 is the block's last byte", {0xF0, 0x7E, 0xF7}, 0, pmNoError, {0xF0, 0x7E, 0xF7}},
        {"no F7 before the end", {0xF0, 0x7E, 0x7F, 0x03}, 0, pmBadData, {}},
        {"the only F7 lies before the offset", {0xF0, 0xF7, 0xF0, 0x01}, 2, pmBadData, {}},
        {"negative offset", {0xF0, 0xF7}, -1, pmBadPtr, {}},
        {"offset at the size", {0xF0, 0xF7}, 2, pmBadPtr, {}},
        {"offset far past the size", {0xF0, 0xF7}, 1 << 30, pmBadPtr, {}},
        {"empty block", {}, 0, pmBadPtr, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sim::clearReceived(synth);
        rb::MemoryBlock block(qbytes(c.block));
        EXPECT_EQ(writeSysExBlock(out, &block, c.offset), c.answer);
        EXPECT_EQ(sim::receivedBytes(synth), c.sent);
    }
}

// A message whose writing failed part-way stays open inside PortMidi, which refuses the next message
// beginning with F0 before sending any of it; that message is then sent. A message that fails
// part-way by itself (a second F0 inside it) is never sent again: its first bytes went out once.
TEST_F(SimOutput, WriteSysExAfterAFailedWriteSendsEachByteOnce)
{
    const QByteArray good = QByteArray::fromHex("F07E7F1100F7");
    const QByteArray broken = QByteArray::fromHex("F0010203F005F7");
    const Bytes goodSent{0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7};
    const Bytes brokenSent{0xF0, 0x01, 0x02, 0x03};
    enum class Before { Nothing, FailedWrite, BrokenMessage };
    struct Case {
        const char *what;
        Before before;
        const QByteArray *message;
        int32_t answer;
        Bytes sent;
    };
    const Case cases[] = {
        {"a message after a write that failed", Before::FailedWrite, &good, pmNoError, goodSent},
        {"a message that fails part-way", Before::Nothing, &broken, pmBadData, brokenSent},
        {"a message that fails part-way, after a write that failed", Before::FailedWrite, &broken, pmBadData,
         brokenSent},
        {"a message after one that failed part-way", Before::BrokenMessage, &good, pmNoError, goodSent},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Obj out = openedOutput(synth);
        if (c.before == Before::FailedWrite) {
            sim::failWrites(synth, "unplugged");
            EXPECT_EQ(writeSysExString(out, &good), pmHostError);
            sim::failWrites(synth, "");
        } else if (c.before == Before::BrokenMessage) {
            EXPECT_EQ(writeSysExString(out, &broken), pmBadData);
        }
        sim::clearReceived(synth);

        EXPECT_EQ(writeSysExString(out, c.message), c.answer);
        EXPECT_EQ(sim::receivedBytes(synth), c.sent);
        close(out);
    }
}

TEST_F(SimOutput, WriteSysExFromAString)
{
    Obj out = openedOutput(synth);
    const QByteArray frame = QByteArray::fromHex("F07E7F1100F7AABB");
    EXPECT_EQ(writeSysExString(out, &frame), pmNoError);
    EXPECT_EQ(sim::receivedBytes(synth), (Bytes{0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7}));

    sim::clearReceived(synth);
    const QByteArray unterminated = QByteArray::fromHex("F07E7F11");
    EXPECT_EQ(writeSysExString(out, &unterminated), pmBadData);
    const QByteArray empty;
    EXPECT_EQ(writeSysExString(out, &empty), pmBadData);
    EXPECT_EQ(writeSysExString(out, nullptr), -1);
    EXPECT_TRUE(sim::receivedBytes(synth).empty());

    // An older host: the bytes are read from the string itself.
    host().setRBVersion(2012.0);
    EXPECT_EQ(writeSysExString(out, &frame), pmNoError);
    host().setRBVersion(2019.0);
    EXPECT_EQ(sim::receivedBytes(synth), (Bytes{0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7}));
}

// ---- ReInitialize with open streams -----------------------------------------------------------

TEST_F(SimReInitialize, OldStreamsAnswerBadPtrAndCloseCleanly)
{
    Obj in = openedInput(keyboard);
    Obj out = openedOutput(synth);
    Obj info = deviceInfo(keyboard);
    Obj dropped = openedInput(accented); // released after ReInitialize without a Close
    ASSERT_TRUE(info);

    EXPECT_EQ(reInitialize(), 0);
    EXPECT_FALSE(sim::isOpen(keyboard)) << "closed before PortMidi forgot it";
    EXPECT_FALSE(sim::isOpen(synth));
    EXPECT_EQ(countDevices(), 3);

    rb::MemoryBlock block(QByteArray::fromHex("F07E7F0300F7"));
    const QByteArray frame = QByteArray::fromHex("F07E7F0300F7");
    Obj ev = event(0x90);
    Obj data = event(0);
    EXPECT_EQ(poll(in), pmBadPtr);
    EXPECT_EQ(read(in, data), pmBadPtr);
    EXPECT_FALSE(data) << "released first";
    EXPECT_EQ(setFilter(in, 0x4000), pmBadPtr);
    EXPECT_EQ(intGetter(in, "PortMidiStreamTSL.Filters.Get"), 0);
    EXPECT_EQ(setChannelMask(in, 1), pmBadPtr);
    EXPECT_EQ(writeShort(out, 0x90), pmBadPtr);
    EXPECT_EQ(write(out, ev), pmBadPtr);
    EXPECT_EQ(writeSysExBlock(out, &block, 0), pmBadPtr);
    EXPECT_EQ(writeSysExString(out, &frame), pmBadPtr);
    EXPECT_EQ(intMember(out, "PortMidiStreamTSL.Abort as integer"), pmBadPtr);
    EXPECT_THROW(writeSysExBlock(out, nullptr, 0), rb::NilObjectException)
        << "the nil test still comes first";
    EXPECT_TRUE(sim::receivedBytes(synth).empty());

    // A device-info object from before reads nothing of the discarded table.
    EXPECT_EQ(
        call<REALstring(REALobject, intptr_t)>("PortMidiDeviceInfoTSL.Name.Get", info.get(), intptr_t(0)),
        nullptr);
    EXPECT_EQ(call<REALstring(REALobject, intptr_t)>("PortMidiDeviceInfoTSL.InterfaceName.Get", info.get(),
                                                     intptr_t(0)),
              nullptr);
    EXPECT_FALSE(boolGetter(info, "PortMidiDeviceInfoTSL.HasInput.Get"));

    close(in);
    EXPECT_EQ(poll(in), -1) << "no stream after Close";
    close(in);
    dropped = Obj();

    // The objects work again once reopened, and new device info reads the new table.
    EXPECT_EQ(openInput(in, keyboard), pmNoError);
    EXPECT_EQ(openOutput(out, synth), pmNoError);
    EXPECT_EQ(writeShort(out, 0x7F4090), pmNoError);
    EXPECT_EQ(sim::receivedBytes(synth), (Bytes{0x90, 0x40, 0x7F}));
    Obj fresh = deviceInfo(keyboard);
    EXPECT_TRUE(boolGetter(fresh, "PortMidiDeviceInfoTSL.HasInput.Get"));
}

TEST_F(SimReInitialize, ListsTheDevicesPresentThen)
{
    sim::setDevices({{"Only Out", "Simulated", false}});
    EXPECT_EQ(reInitialize(), 0);
    EXPECT_EQ(countDevices(), 1);
    Obj info = deviceInfo(0);
    EXPECT_TRUE(boolGetter(info, "PortMidiDeviceInfoTSL.HasOutput.Get"));
    EXPECT_EQ(stringGetter(info, "PortMidiDeviceInfoTSL.Name.Get"), QStringLiteral("Only Out"));
    info = Obj();
    sim::setDevices(devices());
    EXPECT_EQ(reInitialize(), 0);
    EXPECT_EQ(countDevices(), 3);
}

TEST_F(SimReInitialize, DefaultDevicesAreTheFirstOfEachDirectionOrNoDevice)
{
    const char *const input = "PortMidiTSL.DefaultInputDeviceID as integer";
    const char *const output = "PortMidiTSL.DefaultOutputDeviceID as integer";
    Obj list = make("PortMidiTSL");
    EXPECT_EQ(intMember(list, input), keyboard);
    EXPECT_EQ(intMember(list, output), synth);

    sim::setDevices({});
    EXPECT_EQ(reInitialize(), 0);
    EXPECT_EQ(intMember(list, input), pmNoDevice);
    EXPECT_EQ(intMember(list, output), pmNoDevice);

    sim::setDevices(devices());
    EXPECT_EQ(reInitialize(), 0);
}
