#include "pluginclasses.h"

#include "entrypoints.h"
#include "rbframework/pluginhost.h"

#include <type_traits>

namespace korvane
{

namespace ep = entrypoints;

namespace
{

rb::PluginHost &host()
{
    return rb::pluginHost();
}

// Calls a member through its entry, with the signature the entry table gives it.
template <ep::Entry E, typename... Args> auto call(Args... args)
{
    return host().invoke<ep::Signature<E>>(ep::entry(E), args...);
}

// Every constructor entry is called alike.
using Constructor = ep::Signature<ep::StreamInit>;
static_assert(std::is_same_v<Constructor, ep::Signature<ep::MidiInit>>);

template <ep::Entry Getter> int32_t get(REALobject self)
{
    return call<Getter>(self, intptr_t(0));
}

template <ep::Entry Setter> void set(REALobject self, int32_t value)
{
    call<Setter>(self, intptr_t(0), value);
}

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
            host().invoke<Constructor>(ep::entry(constructorEntry), object);
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

void PortMidiEventTSL::Set(int status, int data1, int data2)
{
    call<ep::EventSet>(handle(), status, data1, data2);
}
void PortMidiEventTSL::SetRaw(int data0, int data1, int data2, int data3)
{
    call<ep::EventSetRaw>(handle(), data0, data1, data2, data3);
}
int PortMidiEventTSL::Status() const
{
    return get<ep::EventStatusGet>(handle());
}
void PortMidiEventTSL::Status(int v)
{
    set<ep::EventStatusSet>(handle(), v);
}
int PortMidiEventTSL::Data1() const
{
    return get<ep::EventData1Get>(handle());
}
void PortMidiEventTSL::Data1(int v)
{
    set<ep::EventData1Set>(handle(), v);
}
int PortMidiEventTSL::Data2() const
{
    return get<ep::EventData2Get>(handle());
}
void PortMidiEventTSL::Data2(int v)
{
    set<ep::EventData2Set>(handle(), v);
}
int PortMidiEventTSL::RawData0() const
{
    return get<ep::EventRawData0Get>(handle());
}
void PortMidiEventTSL::RawData0(int v)
{
    set<ep::EventRawData0Set>(handle(), v);
}
int PortMidiEventTSL::RawData1() const
{
    return get<ep::EventRawData1Get>(handle());
}
void PortMidiEventTSL::RawData1(int v)
{
    set<ep::EventRawData1Set>(handle(), v);
}
int PortMidiEventTSL::RawData2() const
{
    return get<ep::EventRawData2Get>(handle());
}
void PortMidiEventTSL::RawData2(int v)
{
    set<ep::EventRawData2Set>(handle(), v);
}
int PortMidiEventTSL::RawData3() const
{
    return get<ep::EventRawData3Get>(handle());
}
void PortMidiEventTSL::RawData3(int v)
{
    set<ep::EventRawData3Set>(handle(), v);
}
int PortMidiEventTSL::When() const
{
    return get<ep::EventWhenGet>(handle());
}
void PortMidiEventTSL::When(int v)
{
    set<ep::EventWhenSet>(handle(), v);
}
int PortMidiEventTSL::RawMessage() const
{
    return get<ep::EventRawMessageGet>(handle());
}
void PortMidiEventTSL::RawMessage(int v)
{
    set<ep::EventRawMessageSet>(handle(), v);
}

// ---- PortMidiDeviceInfoTSL

std::shared_ptr<PortMidiDeviceInfoTSL> PortMidiDeviceInfoTSL::adopt(REALobject object)
{
    return object ? std::shared_ptr<PortMidiDeviceInfoTSL>(new PortMidiDeviceInfoTSL(object)) : nullptr;
}

QString PortMidiDeviceInfoTSL::Name() const
{
    return host().takeString(call<ep::InfoNameGet>(handle(), intptr_t(0)));
}
QString PortMidiDeviceInfoTSL::InterfaceName() const
{
    return host().takeString(call<ep::InfoInterfaceNameGet>(handle(), intptr_t(0)));
}
bool PortMidiDeviceInfoTSL::HasInput() const
{
    return call<ep::InfoHasInputGet>(handle(), intptr_t(0)) != 0;
}
bool PortMidiDeviceInfoTSL::HasOutput() const
{
    return call<ep::InfoHasOutputGet>(handle(), intptr_t(0)) != 0;
}

// ---- PortMidiStreamTSL

PortMidiStreamTSL::PortMidiStreamTSL() : PluginObject(create("PortMidiStreamTSL", ep::StreamInit)) {}

void PortMidiStreamTSL::Close()
{
    call<ep::StreamClose>(handle());
}
int PortMidiStreamTSL::Abort()
{
    return call<ep::StreamAbort>(handle());
}
QString PortMidiStreamTSL::ErrorText(int errorNumber)
{
    return host().takeString(call<ep::StreamErrorText>(handle(), errorNumber));
}
int PortMidiStreamTSL::SetChannelMask(int mask)
{
    return call<ep::StreamSetChannelMask>(handle(), mask);
}
int PortMidiStreamTSL::SetFilter(int filters)
{
    return call<ep::StreamSetFilter>(handle(), filters);
}
int PortMidiStreamTSL::Poll()
{
    return call<ep::StreamPoll>(handle());
}

int PortMidiStreamTSL::WriteSysEx(int when, const QByteArray &message)
{
    REALstring s = host().makeString(message);
    try {
        int r = call<ep::StreamWriteSysExString>(handle(), when, s);
        host().releaseString(s);
        return r;
    } catch (...) {
        host().releaseString(s);
        throw;
    }
}

int PortMidiStreamTSL::WriteSysEx(int when, const rb::MemoryBlockPtr &message, int offset)
{
    return call<ep::StreamWriteSysExBlock>(handle(), when, rb::PluginHost::memoryBlock(message), offset);
}

int PortMidiStreamTSL::WriteShort(int when, int message)
{
    return call<ep::StreamWriteShort>(handle(), when, message);
}

int PortMidiStreamTSL::Write(const PortMidiEventPtr &data)
{
    return call<ep::StreamWrite>(handle(), data ? data->handle() : nullptr);
}

int PortMidiStreamTSL::Read(PortMidiEventPtr &data)
{
    // The plug-in releases the event it is given: hand it a reference of its own.
    REALobject event = data ? data->handle() : nullptr;
    if (event)
        host().lockObject(event);
    data.reset();
    int r = call<ep::StreamRead>(handle(), &event);
    data = PortMidiEventTSL::adopt(event);
    return r;
}

int PortMidiStreamTSL::OpenInput(int deviceID, int bufferSize)
{
    return call<ep::StreamOpenInput>(handle(), deviceID, bufferSize);
}

int PortMidiStreamTSL::OpenOutput(int deviceID, int bufferSize, int latency)
{
    return call<ep::StreamOpenOutput>(handle(), deviceID, bufferSize, latency);
}

int PortMidiStreamTSL::ChannelMask() const
{
    return get<ep::StreamChannelMaskGet>(handle());
}
int PortMidiStreamTSL::Filters() const
{
    return get<ep::StreamFiltersGet>(handle());
}

// ---- PortMidiTSL

PortMidiTSL::PortMidiTSL() : PluginObject(create("PortMidiTSL", ep::MidiInit)) {}

int PortMidiTSL::ReInitialize()
{
    return call<ep::MidiReInitialize>(handle());
}
int PortMidiTSL::CountDevices()
{
    return call<ep::MidiCountDevices>(handle());
}
int PortMidiTSL::DefaultInputDeviceID()
{
    return call<ep::MidiDefaultInputDeviceID>(handle());
}
int PortMidiTSL::DefaultOutputDeviceID()
{
    return call<ep::MidiDefaultOutputDeviceID>(handle());
}
PortMidiDeviceInfoPtr PortMidiTSL::DeviceInfo(int deviceID)
{
    return PortMidiDeviceInfoTSL::adopt(call<ep::MidiDeviceInfo>(handle(), deviceID));
}
QString PortMidiTSL::ErrorText(int errorNumber)
{
    return host().takeString(call<ep::MidiErrorText>(handle(), errorNumber));
}

} // namespace korvane
