// PortMidiTSL (the library and its device list), PortMidiDeviceInfoTSL (one device record) and
// PortMidiEventTSL (one timed event).

#include "tessel.h"

#include <iterator>

namespace tessel
{

namespace
{

constexpr uint32_t propertyFlags = 6;

uint32_t tableGeneration = 1;

// ---- PortMidiEventTSL -----------------------------------------------------------------------

struct EventData {
    uint32_t message; // byte 0 (lowest): status
    int32_t when;     // ms
};
constexpr uint32_t eventDataDeclared = 8;
static_assert(sizeof(EventData) <= (eventDataDeclared + 15) / 16 * 16);

EventData *eventData(REALobject self) noexcept
{
    return static_cast<EventData *>(REALGetInstanceData(self));
}

uint32_t pack(int32_t b0, int32_t b1, int32_t b2, int32_t b3) noexcept
{
    return (uint32_t(b0) & 0xFF) | (uint32_t(b1) & 0xFF) << 8 | (uint32_t(b2) & 0xFF) << 16 |
           (uint32_t(b3) & 0xFF) << 24;
}

void Set(REALobject self, int32_t status, int32_t data1, int32_t data2)
{
    if (EventData *e = eventData(self))
        e->message = pack(status, data1, data2, 0);
}

void SetRaw(REALobject self, int32_t data0, int32_t data1, int32_t data2, int32_t data3)
{
    if (EventData *e = eventData(self))
        e->message = pack(data0, data1, data2, data3);
}

// The accessors of byte N of the message (byte 0, the lowest, is the status): one pair per byte,
// each shared by the byte's two property names.
template <int N> int32_t byteGet(REALobject self, intptr_t)
{
    EventData *e = eventData(self);
    return e ? int32_t((e->message >> (8 * N)) & 0xFF) : 0;
}
template <int N> void byteSet(REALobject self, intptr_t, int32_t value)
{
    if (EventData *e = eventData(self))
        e->message = (e->message & ~(0xFFu << (8 * N))) | ((uint32_t(value) & 0xFF) << (8 * N));
}

int32_t WhenGet(REALobject self, intptr_t)
{
    EventData *e = eventData(self);
    return e ? e->when : 0;
}
void WhenSet(REALobject self, intptr_t, int32_t v)
{
    if (EventData *e = eventData(self))
        e->when = v;
}

int32_t RawMessageGet(REALobject self, intptr_t)
{
    EventData *e = eventData(self);
    return e ? int32_t(e->message) : 0;
}
void RawMessageSet(REALobject self, intptr_t, int32_t v)
{
    if (EventData *e = eventData(self))
        e->message = uint32_t(v);
}

REALmethodDefinition eventMethods[] = {
    {PROC(Set), nullptr, "Set(status as integer, data1 as integer, data2 as integer)", entryFlags, 0},
    {PROC(SetRaw), nullptr, "SetRaw(data0 as integer, data1 as integer, data2 as integer, data3 as integer)",
     entryFlags, 0},
};

REALproperty eventProperties[] = {
    {nullptr, "Status", "Integer", propertyFlags, 0, PROC(byteGet<0>), PROC(byteSet<0>), 0},
    {nullptr, "Data1", "Integer", propertyFlags, 0, PROC(byteGet<1>), PROC(byteSet<1>), 0},
    {nullptr, "Data2", "Integer", propertyFlags, 0, PROC(byteGet<2>), PROC(byteSet<2>), 0},
    {nullptr, "RawData0", "Integer", propertyFlags, 0, PROC(byteGet<0>), PROC(byteSet<0>), 0},
    {nullptr, "RawData1", "Integer", propertyFlags, 0, PROC(byteGet<1>), PROC(byteSet<1>), 0},
    {nullptr, "RawData2", "Integer", propertyFlags, 0, PROC(byteGet<2>), PROC(byteSet<2>), 0},
    {nullptr, "RawData3", "Integer", propertyFlags, 0, PROC(byteGet<3>), PROC(byteSet<3>), 0},
    {nullptr, "When", "Integer", propertyFlags, 0, PROC(WhenGet), PROC(WhenSet), 0},
    {nullptr, "RawMessage", "Integer", propertyFlags, 0, PROC(RawMessageGet), PROC(RawMessageSet), 0},
};

// ---- PortMidiDeviceInfoTSL ------------------------------------------------------------------

struct DeviceInfoData {
    const PmDeviceInfo *record; // PortMidi's own, not a copy; nil: none
    uint32_t generation;        // the PortMidi table it belongs to
};
constexpr uint32_t deviceInfoDataDeclared = 4;
static_assert(sizeof(DeviceInfoData) <= (deviceInfoDataDeclared + 15) / 16 * 16);

// The record, or nil when there is none or it belonged to a table that ReInitialize discarded.
const PmDeviceInfo *recordOf(REALobject self) noexcept
{
    auto *d = static_cast<DeviceInfoData *>(REALGetInstanceData(self));
    if (!d || !d->record || d->generation != tableGeneration)
        return nullptr;
    return d->record;
}

REALstring NameGet(REALobject self, intptr_t)
{
    const PmDeviceInfo *r = recordOf(self);
    return r ? asciiString(r->name) : nullptr;
}

REALstring InterfaceNameGet(REALobject self, intptr_t)
{
    const PmDeviceInfo *r = recordOf(self);
    return r ? asciiString(r->interf) : nullptr;
}

RBBoolean HasInputGet(REALobject self, intptr_t)
{
    const PmDeviceInfo *r = recordOf(self);
    return r && r->input ? 1 : 0;
}

RBBoolean HasOutputGet(REALobject self, intptr_t)
{
    const PmDeviceInfo *r = recordOf(self);
    return r && r->output ? 1 : 0;
}

REALproperty deviceInfoProperties[] = {
    {nullptr, "Name", "String", propertyFlags, 0, PROC(NameGet), nullptr, 0},
    {nullptr, "InterfaceName", "String", propertyFlags, 0, PROC(InterfaceNameGet), nullptr, 0},
    {nullptr, "HasInput", "Boolean", propertyFlags, 0, PROC(HasInputGet), nullptr, 0},
    {nullptr, "HasOutput", "Boolean", propertyFlags, 0, PROC(HasOutputGet), nullptr, 0},
};

// ---- PortMidiTSL ----------------------------------------------------------------------------

void Constructor(REALobject) {}

int32_t ReInitialize(REALobject)
{
    // PortMidi forgets its open streams at Pm_Terminate without freeing them; close them first.
    closeAllStreamsForReInitialize();
    Pm_Terminate();
    ++tableGeneration;
    Pm_Initialize();
    return 0;
}

int32_t CountDevices(REALobject)
{
    return Pm_CountDevices();
}
int32_t DefaultInputDeviceID(REALobject)
{
    return Pm_GetDefaultInputDeviceID();
}
int32_t DefaultOutputDeviceID(REALobject)
{
    return Pm_GetDefaultOutputDeviceID();
}

REALobject DeviceInfo(REALobject, int32_t deviceID)
{
    if (deviceID < 0 || deviceID >= Pm_CountDevices())
        return nullptr;
    return NewPMDeviceInfoTSL(Pm_GetDeviceInfo(deviceID));
}

REALmethodDefinition listMethods[] = {
    {PROC(ReInitialize), nullptr, "ReInitialize as integer", entryFlags, 0},
    {PROC(CountDevices), nullptr, "CountDevices as integer", entryFlags, 0},
    {PROC(DefaultInputDeviceID), nullptr, "DefaultInputDeviceID as integer", entryFlags, 0},
    {PROC(DefaultOutputDeviceID), nullptr, "DefaultOutputDeviceID as integer", entryFlags, 0},
    {PROC(DeviceInfo), nullptr, "DeviceInfo(DeviceID as integer) as PortMidiDeviceInfoTSL", entryFlags, 0},
    {PROC(ErrorText), nullptr, "ErrorText(ErrorNumber as integer) as string", entryFlags, 0},
};

REALconstant listConstants[] = {
    {"pmNoError = 0"},
    {"pmHostError = -10000"},
    {"pmInvalidDeviceId = -9999"},
    {"pmInsufficientMemory = -9998"},
    {"pmBufferTooSmall = -9997"},
    {"pmBufferOverflow = -9996"},
    {"pmBadPtr = -9995"},
    {"pmBadData = -9994"},
    {"pmInternalError = -9993"},
    {"pmBufferMaxSize = -9992"},
    {"pmNoDevice = -1"},
};
static_assert(pmNoError == 0 && pmHostError == -10000 && pmInvalidDeviceId == -9999 &&
                  pmInsufficientMemory == -9998 && pmBufferTooSmall == -9997 && pmBufferOverflow == -9996 &&
                  pmBadPtr == -9995 && pmBadData == -9994 && pmInternalError == -9993 &&
                  pmBufferMaxSize == -9992 && pmNoDevice == -1,
              "the error constants are PortMidi's numbers");

} // namespace

uint32_t portMidiGeneration() noexcept
{
    return tableGeneration;
}

REALobject NewPortMidiEventTSL(PmMessage message, PmTimestamp timestamp) noexcept
{
    REALobject event = hostNewInstance("PortMidiEventTSL");
    if (EventData *e = eventData(event)) {
        e->message = uint32_t(message);
        e->when = timestamp;
    }
    return event;
}

REALobject NewPMDeviceInfoTSL(const PmDeviceInfo *record) noexcept
{
    if (!record)
        return nullptr;
    REALobject info = hostNewInstance("PortMidiDeviceInfoTSL");
    if (auto *d = static_cast<DeviceInfoData *>(REALGetInstanceData(info))) {
        d->record = record;
        d->generation = tableGeneration;
    }
    return info;
}

PmEvent eventOf(REALobject event) noexcept
{
    PmEvent out{};
    if (EventData *e = eventData(event)) {
        out.message = PmMessage(e->message);
        out.timestamp = e->when;
    }
    return out;
}

REALclassDefinition PortMidiEventTSLClass = {
    RB_CLASS_DEFINITION_VERSION,
    "PortMidiEventTSL",
    nullptr,
    eventDataDeclared,
    0,
    nullptr,
    nullptr,
    eventProperties,
    uint32_t(std::size(eventProperties)),
    eventMethods,
    uint32_t(std::size(eventMethods)),
    nullptr,
    0,
    nullptr,
    0,
    entryFlags,
    0,
};

REALclassDefinition PortMidiTSLClass = {
    RB_CLASS_DEFINITION_VERSION,
    "PortMidiTSL",
    nullptr,
    0,
    0,
    Constructor,
    nullptr,
    nullptr,
    0,
    listMethods,
    uint32_t(std::size(listMethods)),
    nullptr,
    0,
    listConstants,
    uint32_t(std::size(listConstants)),
    entryFlags,
    0,
};

REALclassDefinition PortMidiDeviceInfoTSLClass = {
    RB_CLASS_DEFINITION_VERSION,
    "PortMidiDeviceInfoTSL",
    nullptr,
    deviceInfoDataDeclared,
    0,
    nullptr,
    nullptr,
    deviceInfoProperties,
    uint32_t(std::size(deviceInfoProperties)),
    nullptr,
    0,
    nullptr,
    0,
    nullptr,
    0,
    entryFlags,
    0,
};

} // namespace tessel
