// tessel's members over real PortMidi, without a device to open: stream states, device list,
// device info, events, exceptions. Every object and string is released again (NoLeaks).

#include "tessel_client.h"

#include <portmidi.h>

using namespace tesseltest;

namespace
{

const char *const streamErrorText = "PortMidiStreamTSL.ErrorText(ErrorNumber as integer) as string";
const char *const listErrorText = "PortMidiTSL.ErrorText(ErrorNumber as integer) as string";

class Stream : public NoLeaks
{
};
class DeviceList : public NoLeaks
{
};
class Event : public NoLeaks
{
};

} // namespace

// ---- PortMidiStreamTSL without an open stream --------------------------------------------------

TEST_F(Stream, NewObjectAnswersMinusOneFromEveryMemberThatNeedsTheStream)
{
    Obj s = make("PortMidiStreamTSL");
    Obj ev = event(0x00403C90);
    rb::MemoryBlock block(QByteArray::fromHex("F07E7F0300F7"));
    const QByteArray sysex = QByteArray::fromHex("F07E7F0300F7");
    Obj data = event(0);

    EXPECT_EQ(poll(s), -1);
    EXPECT_EQ(intMember(s, "PortMidiStreamTSL.Abort as integer"), -1);
    EXPECT_EQ(writeShort(s, 0x00403C90), -1);
    EXPECT_EQ(write(s, ev), -1);
    EXPECT_EQ(read(s, data), -1);
    EXPECT_EQ(writeSysExString(s, &sysex), -1);
    EXPECT_EQ(writeSysExBlock(s, &block, 0), -1);
    EXPECT_EQ(setFilter(s, PM_FILT_ACTIVE), -1);
    EXPECT_EQ(setChannelMask(s, 1), -1);
    EXPECT_EQ(intGetter(s, "PortMidiStreamTSL.ChannelMask.Get"), 0) << "nothing stored without a stream";
    EXPECT_EQ(intGetter(s, "PortMidiStreamTSL.Filters.Get"), 0);
    close(s);
    close(s);
    EXPECT_EQ(poll(s), -1);
}

TEST_F(Stream, OpenWithAnUnknownDeviceAnswersInvalidDeviceAndHoldsNoStream)
{
    Obj s = make("PortMidiStreamTSL");
    const int32_t unknown = countDevices();
    for (int32_t id : {unknown, -5, 1 << 20}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(openInput(s, id), pmInvalidDeviceId);
        EXPECT_EQ(poll(s), -1);
        EXPECT_EQ(openOutput(s, id), pmInvalidDeviceId);
        EXPECT_EQ(writeShort(s, 0x90), -1);
    }
}

TEST_F(Stream, ReadReleasesAndClearsItsArgumentFirst)
{
    Obj s = make("PortMidiStreamTSL");
    Obj data(host().newObject(QStringLiteral("PortMidiEventTSL")));
    REALobject before = data.get();
    host().lockObject(before); // keep it alive to watch the reference go
    ASSERT_EQ(host().referenceCount(before), 2);

    EXPECT_EQ(read(s, data), -1);
    EXPECT_EQ(data.get(), nullptr);
    EXPECT_EQ(host().referenceCount(before), 1);
    host().releaseObject(before);

    EXPECT_EQ(read(s, data), -1) << "a nil argument is fine";
    EXPECT_EQ(data.get(), nullptr);
}

TEST_F(Stream, WriteSysExFromANilBlockRaisesNilObjectExceptionEvenWithoutAStream)
{
    Obj s = make("PortMidiStreamTSL");
    try {
        writeSysExBlock(s, nullptr, 0);
        FAIL() << "no exception";
    } catch (const rb::NilObjectException &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("memoryblock is nil"));
    }
    // Called without the host's wrapper: the member answers 0 and the exception waits for the caller.
    auto raw = reinterpret_cast<int32_t (*)(REALobject, int32_t, REALmemoryBlock, int32_t)>(entry(
        "PortMidiStreamTSL.WriteSysEx(When as integer, message as memoryblock, offset as integer) as integer"));
    EXPECT_EQ(raw(s.get(), 0, nullptr, 0), 0);
    EXPECT_TRUE(host().hasPending());
    EXPECT_THROW(host().raisePending(), rb::NilObjectException);
    EXPECT_FALSE(host().hasPending());
}

TEST_F(Stream, WriteSysExFromANilStringAnswersMinusOne)
{
    Obj s = make("PortMidiStreamTSL");
    EXPECT_EQ(writeSysExString(s, nullptr), -1);
}

TEST_F(Stream, ReleasingTheLastReferenceRunsTheDestructor)
{
    const int before = host().liveObjects();
    {
        Obj s = make("PortMidiStreamTSL");
        EXPECT_EQ(host().liveObjects(), before + 1);
        EXPECT_EQ(openInput(s, countDevices()), pmInvalidDeviceId);
    }
    EXPECT_EQ(host().liveObjects(), before);
}

TEST_F(Stream, ErrorTextIsPortMidisTextAsAsciiAndEmptyForNoError)
{
    Obj s = make("PortMidiStreamTSL");
    Obj list = make("PortMidiTSL");
    for (const char *decl : {streamErrorText, listErrorText}) {
        SCOPED_TRACE(decl);
        const Obj &self = std::string(decl) == streamErrorText ? s : list;
        EXPECT_EQ(call<REALstring(REALobject, int32_t)>(decl, self.get(), 0), nullptr) << "empty text: nil";
        for (int32_t number : {int32_t(pmInvalidDeviceId), int32_t(pmBadPtr), int32_t(pmHostError), 12345}) {
            REALstring text = call<REALstring(REALobject, int32_t)>(decl, self.get(), number);
            ASSERT_NE(text, nullptr) << number;
            EXPECT_EQ(rb::PluginHost::stringEncoding(text), RB_ENCODING_ASCII);
            EXPECT_EQ(rb::PluginHost::stringBytes(text), QByteArray(Pm_GetErrorText(PmError(number))));
            host().releaseString(text);
        }
    }
}

// ---- PortMidiTSL and PortMidiDeviceInfoTSL ----------------------------------------------------

TEST_F(DeviceList, DeviceInfoOutsideTheListIsNil)
{
    const int32_t count = countDevices();
    EXPECT_GE(count, 0);
    for (int32_t id : {-1, count, count + 1, INT32_MIN})
        EXPECT_FALSE(deviceInfo(id)) << id;
}

TEST_F(DeviceList, ReInitializeAnswersZeroAndListsTheDevicesAgain)
{
    const int32_t count = countDevices();
    const int initsBefore = portMidiInitCount();
    EXPECT_EQ(reInitialize(), 0);
    EXPECT_EQ(portMidiInitCount(), initsBefore + 1);
    EXPECT_EQ(countDevices(), count);
}

TEST_F(DeviceList, InfoMadeByTheHostHoldsNoRecord)
{
    Obj info(host().newObject(QStringLiteral("PortMidiDeviceInfoTSL")));
    EXPECT_EQ(
        call<REALstring(REALobject, intptr_t)>("PortMidiDeviceInfoTSL.Name.Get", info.get(), intptr_t(0)),
        nullptr);
    EXPECT_EQ(call<REALstring(REALobject, intptr_t)>("PortMidiDeviceInfoTSL.InterfaceName.Get", info.get(),
                                                     intptr_t(0)),
              nullptr);
    EXPECT_FALSE(boolGetter(info, "PortMidiDeviceInfoTSL.HasInput.Get"));
    EXPECT_FALSE(boolGetter(info, "PortMidiDeviceInfoTSL.HasOutput.Get"));
}

// ---- PortMidiEventTSL -------------------------------------------------------------------------

namespace
{

struct Bytes {
    int b0, b1, b2, b3;
};

Bytes bytesOf(const Obj &e)
{
    return {intGetter(e, "PortMidiEventTSL.RawData0.Get"), intGetter(e, "PortMidiEventTSL.RawData1.Get"),
            intGetter(e, "PortMidiEventTSL.RawData2.Get"), intGetter(e, "PortMidiEventTSL.RawData3.Get")};
}

void expectBytes(const Obj &e, Bytes want)
{
    Bytes got = bytesOf(e);
    EXPECT_EQ(got.b0, want.b0);
    EXPECT_EQ(got.b1, want.b1);
    EXPECT_EQ(got.b2, want.b2);
    EXPECT_EQ(got.b3, want.b3);
    // The named accessors read the same bytes.
    EXPECT_EQ(intGetter(e, "PortMidiEventTSL.Status.Get"), want.b0);
    EXPECT_EQ(intGetter(e, "PortMidiEventTSL.Data1.Get"), want.b1);
    EXPECT_EQ(intGetter(e, "PortMidiEventTSL.Data2.Get"), want.b2);
}

} // namespace

TEST_F(Event, MadeByTheHostReadsZeroEverywhere)
{
    Obj e(host().newObject(QStringLiteral("PortMidiEventTSL")));
    expectBytes(e, {0, 0, 0, 0});
    EXPECT_EQ(intGetter(e, "PortMidiEventTSL.When.Get"), 0);
    EXPECT_EQ(intGetter(e, "PortMidiEventTSL.RawMessage.Get"), 0);
}

TEST_F(Event, SetClearsByteThreeAndKeepsTheTimeStamp)
{
    Obj e = event(0xFFFFFFFF, 1234);
    call<void(REALobject, int32_t, int32_t, int32_t)>(
        "PortMidiEventTSL.Set(status as integer, data1 as integer, data2 as integer)", e.get(), 0x90, 0x40,
        0x7F);
    expectBytes(e, {0x90, 0x40, 0x7F, 0});
    EXPECT_EQ(intGetter(e, "PortMidiEventTSL.When.Get"), 1234);
    // Only the low 8 bits of each value count.
    call<void(REALobject, int32_t, int32_t, int32_t)>(
        "PortMidiEventTSL.Set(status as integer, data1 as integer, data2 as integer)", e.get(), 0x1FF, -1,
        0x100);
    expectBytes(e, {0xFF, 0xFF, 0, 0});
}

TEST_F(Event, SetRawFillsAllFourBytes)
{
    Obj e = event(0, -7);
    call<void(REALobject, int32_t, int32_t, int32_t, int32_t)>(
        "PortMidiEventTSL.SetRaw(data0 as integer, data1 as integer, data2 as integer, data3 as integer)",
        e.get(), 0xF0, 0x7E, 0x7F, 0x06);
    expectBytes(e, {0xF0, 0x7E, 0x7F, 0x06});
    EXPECT_EQ(intGetter(e, "PortMidiEventTSL.RawMessage.Get"), 0x067F7EF0);
    EXPECT_EQ(intGetter(e, "PortMidiEventTSL.When.Get"), -7);
}

TEST_F(Event, EachByteSetterKeepsTheOtherBytes)
{
    struct Case {
        const char *setter;
        int32_t value;
        Bytes want;
    };
    const Case cases[] = {
        {"PortMidiEventTSL.Status.Set", 0x1FF, {0xFF, 0x22, 0x33, 0x44}},
        {"PortMidiEventTSL.RawData0.Set", 0x80, {0x80, 0x22, 0x33, 0x44}},
        {"PortMidiEventTSL.Data1.Set", 0x305, {0x11, 0x05, 0x33, 0x44}},
        {"PortMidiEventTSL.RawData1.Set", 0, {0x11, 0, 0x33, 0x44}},
        {"PortMidiEventTSL.Data2.Set", -1, {0x11, 0x22, 0xFF, 0x44}},
        {"PortMidiEventTSL.RawData2.Set", 0x7F, {0x11, 0x22, 0x7F, 0x44}},
        {"PortMidiEventTSL.RawData3.Set", 0xF7, {0x11, 0x22, 0x33, 0xF7}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.setter);
        Obj e = event(0x44332211, 99);
        intSetter(e, c.setter, c.value);
        expectBytes(e, c.want);
        EXPECT_EQ(intGetter(e, "PortMidiEventTSL.When.Get"), 99);
    }
}

TEST_F(Event, ByteThreeOfF7MakesTheWholeMessageNegative)
{
    Obj e = event(0xF7000000u | 0x7F7EF0);
    EXPECT_EQ(intGetter(e, "PortMidiEventTSL.RawData3.Get"), 247);
    EXPECT_LT(intGetter(e, "PortMidiEventTSL.RawMessage.Get"), 0);
    EXPECT_EQ(uint32_t(intGetter(e, "PortMidiEventTSL.RawMessage.Get")), 0xF77F7EF0u);
    intSetter(e, "PortMidiEventTSL.When.Set", INT32_MIN);
    EXPECT_EQ(intGetter(e, "PortMidiEventTSL.When.Get"), INT32_MIN);
}
