#include "pluginclasses.h"

#include "entrypoints.h"

#include "rbframework/pluginhost.h"

namespace korvane {

namespace ep = entrypoints;

namespace {

rb::PluginHost &host() { return rb::pluginHost(); }

template <typename Signature, typename... Args>
auto call(int entry, Args... args)
{
    return host().invoke<Signature>(ep::entry(entry), args...);
}

int32_t getInt(int entry, REALobject self) { return call<int32_t(REALobject, intptr_t)>(entry, self, intptr_t(0)); }
void setInt(int entry, REALobject self, int32_t v) { call<void(REALobject, intptr_t, int32_t)>(entry, self, intptr_t(0), v); }

} // namespace

PluginObject::~PluginObject()
{
    // At the last reference the host runs the class's destructor entry.
    host().releaseObject(handle_);
}

REALobject PluginObject::create(const char *className, int constructorEntry)
{
    REALobject object = host().newObject(QString::fromLatin1(className));
    if (!object)
        throw rb::NilObjectException(QStringLiteral("cannot create %1").arg(QLatin1String(className)));
    if (constructorEntry >= 0) {
        try {
            call<void(REALobject)>(constructorEntry, object);
        } catch (...) {
            host().releaseObject(object);
            throw;
        }
    }
    return object;
}

// ---- PortMidiEventTSL

PortMidiEventTSL::PortMidiEventTSL() : PluginObject(create("PortMidiEventTSL", -1)) {}

std::shared_ptr<PortMidiEventTSL> PortMidiEventTSL::adopt(REALobject object)
{
    return object ? std::shared_ptr<PortMidiEventTSL>(new PortMidiEventTSL(object)) : nullptr;
}

int PortMidiEventTSL::get(int entry) const { return getInt(entry, handle()); }
void PortMidiEventTSL::set(int entry, int value) { setInt(entry, handle(), value); }

void PortMidiEventTSL::Set(int status, int data1, int data2)
{
    call<void(REALobject, int32_t, int32_t, int32_t)>(ep::EventSet, handle(), status, data1, data2);
}
void PortMidiEventTSL::SetRaw(int data0, int data1, int data2, int data3)
{
    call<void(REALobject, int32_t, int32_t, int32_t, int32_t)>(ep::EventSetRaw, handle(), data0, data1, data2,
                                                               data3);
}
int PortMidiEventTSL::Status() const { return get(ep::EventStatusGet); }
void PortMidiEventTSL::Status(int v) { set(ep::EventStatusSet, v); }
int PortMidiEventTSL::Data1() const { return get(ep::EventData1Get); }
void PortMidiEventTSL::Data1(int v) { set(ep::EventData1Set, v); }
int PortMidiEventTSL::Data2() const { return get(ep::EventData2Get); }
void PortMidiEventTSL::Data2(int v) { set(ep::EventData2Set, v); }
int PortMidiEventTSL::RawData0() const { return get(ep::EventRawData0Get); }
void PortMidiEventTSL::RawData0(int v) { set(ep::EventRawData0Set, v); }
int PortMidiEventTSL::RawData1() const { return get(ep::EventRawData1Get); }
void PortMidiEventTSL::RawData1(int v) { set(ep::EventRawData1Set, v); }
int PortMidiEventTSL::RawData2() const { return get(ep::EventRawData2Get); }
void PortMidiEventTSL::RawData2(int v) { set(ep::EventRawData2Set, v); }
int PortMidiEventTSL::RawData3() const { return get(ep::EventRawData3Get); }
void PortMidiEventTSL::RawData3(int v) { set(ep::EventRawData3Set, v); }
int PortMidiEventTSL::When() const { return get(ep::EventWhenGet); }
void PortMidiEventTSL::When(int v) { set(ep::EventWhenSet, v); }
int PortMidiEventTSL::RawMessage() const { return get(ep::EventRawMessageGet); }
void PortMidiEventTSL::RawMessage(int v) { set(ep::EventRawMessageSet, v); }

// ---- PortMidiDeviceInfoTSL

std::shared_ptr<PortMidiDeviceInfoTSL> PortMidiDeviceInfoTSL::adopt(REALobject object)
{
    return object ? std::shared_ptr<PortMidiDeviceInfoTSL>(new PortMidiDeviceInfoTSL(object)) : nullptr;
}

QString PortMidiDeviceInfoTSL::Name() const
{
    return host().takeString(call<REALstring(REALobject, intptr_t)>(ep::InfoNameGet, handle(), intptr_t(0)));
}
QString PortMidiDeviceInfoTSL::InterfaceName() const
{
    return host().takeString(
        call<REALstring(REALobject, intptr_t)>(ep::InfoInterfaceNameGet, handle(), intptr_t(0)));
}
bool PortMidiDeviceInfoTSL::HasInput() const
{
    return call<RBBoolean(REALobject, intptr_t)>(ep::InfoHasInputGet, handle(), intptr_t(0)) != 0;
}
bool PortMidiDeviceInfoTSL::HasOutput() const
{
    return call<RBBoolean(REALobject, intptr_t)>(ep::InfoHasOutputGet, handle(), intptr_t(0)) != 0;
}

// ---- PortMidiStreamTSL

PortMidiStreamTSL::PortMidiStreamTSL() : PluginObject(create("PortMidiStreamTSL", ep::StreamInit)) {}

void PortMidiStreamTSL::Close() { call<void(REALobject)>(ep::StreamClose, handle()); }
int PortMidiStreamTSL::Abort() { return call<int32_t(REALobject)>(ep::StreamAbort, handle()); }
QString PortMidiStreamTSL::ErrorText(int errorNumber)
{
    return host().takeString(call<REALstring(REALobject, int32_t)>(ep::StreamErrorText, handle(), errorNumber));
}
int PortMidiStreamTSL::SetChannelMask(int mask)
{
    return call<int32_t(REALobject, int32_t)>(ep::StreamSetChannelMask, handle(), mask);
}
int PortMidiStreamTSL::SetFilter(int filters)
{
    return call<int32_t(REALobject, int32_t)>(ep::StreamSetFilter, handle(), filters);
}
int PortMidiStreamTSL::Poll() { return call<int32_t(REALobject)>(ep::StreamPoll, handle()); }

int PortMidiStreamTSL::WriteSysEx(int when, const QByteArray &message)
{
    REALstring s = host().makeString(message);
    try {
        int r = call<int32_t(REALobject, int32_t, REALstring)>(ep::StreamWriteSysExString, handle(), when, s);
        host().releaseString(s);
        return r;
    } catch (...) {
        host().releaseString(s);
        throw;
    }
}

int PortMidiStreamTSL::WriteSysEx(int when, const rb::MemoryBlockPtr &message, int offset)
{
    return call<int32_t(REALobject, int32_t, REALmemoryBlock, int32_t)>(
        ep::StreamWriteSysExBlock, handle(), when, rb::PluginHost::memoryBlock(message), offset);
}

int PortMidiStreamTSL::WriteShort(int when, int message)
{
    return call<int32_t(REALobject, int32_t, int32_t)>(ep::StreamWriteShort, handle(), when, message);
}

int PortMidiStreamTSL::Write(const PortMidiEventPtr &data)
{
    return call<int32_t(REALobject, REALobject)>(ep::StreamWrite, handle(), data ? data->handle() : nullptr);
}

int PortMidiStreamTSL::Read(PortMidiEventPtr &data)
{
    // The plug-in releases the event it is given: hand it a reference of its own.
    REALobject event = data ? data->handle() : nullptr;
    if (event)
        host().lockObject(event);
    data.reset();
    int r = call<int32_t(REALobject, REALobject *)>(ep::StreamRead, handle(), &event);
    data = PortMidiEventTSL::adopt(event);
    return r;
}

int PortMidiStreamTSL::OpenInput(int deviceID, int bufferSize)
{
    return call<int32_t(REALobject, int32_t, int32_t)>(ep::StreamOpenInput, handle(), deviceID, bufferSize);
}

int PortMidiStreamTSL::OpenOutput(int deviceID, int bufferSize, int latency)
{
    return call<int32_t(REALobject, int32_t, int32_t, int32_t)>(ep::StreamOpenOutput, handle(), deviceID,
                                                                bufferSize, latency);
}

int PortMidiStreamTSL::ChannelMask() const { return getInt(ep::StreamChannelMaskGet, handle()); }
int PortMidiStreamTSL::Filters() const { return getInt(ep::StreamFiltersGet, handle()); }

// ---- PortMidiTSL

PortMidiTSL::PortMidiTSL() : PluginObject(create("PortMidiTSL", ep::MidiInit)) {}

int PortMidiTSL::ReInitialize() { return call<int32_t(REALobject)>(ep::MidiReInitialize, handle()); }
int PortMidiTSL::CountDevices() { return call<int32_t(REALobject)>(ep::MidiCountDevices, handle()); }
int PortMidiTSL::DefaultInputDeviceID() { return call<int32_t(REALobject)>(ep::MidiDefaultInputDeviceID, handle()); }
int PortMidiTSL::DefaultOutputDeviceID()
{
    return call<int32_t(REALobject)>(ep::MidiDefaultOutputDeviceID, handle());
}
PortMidiDeviceInfoPtr PortMidiTSL::DeviceInfo(int deviceID)
{
    return PortMidiDeviceInfoTSL::adopt(call<REALobject(REALobject, int32_t)>(ep::MidiDeviceInfo, handle(), deviceID));
}
QString PortMidiTSL::ErrorText(int errorNumber)
{
    return host().takeString(call<REALstring(REALobject, int32_t)>(ep::MidiErrorText, handle(), errorNumber));
}

} // namespace korvane
