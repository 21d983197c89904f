// PortMidiStreamTSL: one PortMidi input or output stream as an object.

#include "tessel.h"

#include <algorithm>
#include <new>
#include <vector>

namespace tessel
{

namespace
{

// The handle a stream object holds after ReInitialize closed its stream behind its back: every
// member that needs the stream answers pmBadPtr, and Close only forgets it.
unsigned char staleMarker;
PortMidiStream *const staleStream = &staleMarker;

struct StreamData {
    PortMidiStream *stream; // nil: no open stream
    int32_t channelMask;
    int32_t filters;
};
constexpr uint32_t streamDataDeclared = 12;
static_assert(sizeof(StreamData) <= (streamDataDeclared + 15) / 16 * 16,
              "the stream's data must fit the size registered");

StreamData *dataOf(REALobject self) noexcept
{
    return static_cast<StreamData *>(REALGetInstanceData(self));
}

// Every stream object that holds an open stream.
std::vector<StreamData *> *openStreams() noexcept
{
    static std::vector<StreamData *> streams;
    return &streams;
}

bool remember(StreamData *d) noexcept
{
    try {
        openStreams()->push_back(d);
        return true;
    } catch (...) {
        return false;
    }
}

void forget(StreamData *d) noexcept
{
    auto *v = openStreams();
    v->erase(std::remove(v->begin(), v->end(), d), v->end());
}

// Ends in "no stream" from any state.
void closeHeld(StreamData *d) noexcept
{
    if (d->stream && d->stream != staleStream) {
        forget(d);
        Pm_Close(d->stream);
    }
    d->stream = nullptr;
}

// The answer of a member that needs the stream when it cannot run: -1 without a stream, pmBadPtr
// for a stream that ReInitialize took away. 0 when the stream is usable.
int32_t unusable(const StreamData *d) noexcept
{
    if (!d || !d->stream)
        return -1;
    if (d->stream == staleStream)
        return pmBadPtr;
    return 0;
}

int32_t opened(StreamData *d, PmError err, PortMidiStream *stream) noexcept
{
    if (err != pmNoError || !stream) {
        if (stream)
            Pm_Close(stream);
        return err != pmNoError ? err : pmInternalError;
    }
    if (!remember(d)) {
        Pm_Close(stream);
        return pmInsufficientMemory;
    }
    d->stream = stream;
    return pmNoError;
}

// The run from `start` up to and including the first 0xF7, within `size` bytes; -1 when none.
int32_t sysExEnd(const unsigned char *start, int32_t size) noexcept
{
    for (int32_t i = 0; i < size; ++i)
        if (start[i] == 0xF7)
            return i;
    return -1;
}

int32_t writeSysExRun(PortMidiStream *stream, PmTimestamp when, const unsigned char *start,
                      int32_t size) noexcept
{
    const int32_t end = start ? sysExEnd(start, size) : -1;
    if (end < 0)
        return pmBadData; // nothing sent: PortMidi would read on past the data looking for 0xF7
    // The first event (up to four bytes, as Pm_WriteSysEx packs them) is written on its own. A message
    // whose writing failed part-way stays open inside PortMidi, which then refuses the next event
    // that begins with 0xF0 (pmBadData) before sending any of it, and closes the old message in doing
    // so: that refusal says nothing about this message, so its first event is written once more. A
    // refusal further on comes from this message itself, after its first bytes went out: it is
    // answered as it is, as nothing may go out twice.
    const int32_t head = std::min<int32_t>(end + 1, 4);
    PmEvent first{0, when};
    for (int32_t i = 0; i < head; ++i)
        first.message |= PmMessage(start[i]) << (8 * i);
    PmError err = Pm_Write(stream, &first, 1);
    if (err == pmBadData && start[0] == 0xF0)
        err = Pm_Write(stream, &first, 1);
    if (err != pmNoError || head == end + 1)
        return err;
    // PortMidi stops at the 0xF7 found above and only reads the bytes.
    return Pm_WriteSysEx(stream, when, const_cast<unsigned char *>(start + head));
}

// ---- Members --------------------------------------------------------------------------------

void Constructor(REALobject) {}

void Close(REALobject self)
{
    if (StreamData *d = dataOf(self))
        closeHeld(d);
}

int32_t Abort(REALobject self)
{
    StreamData *d = dataOf(self);
    if (int32_t e = unusable(d))
        return e;
    return Pm_Abort(d->stream);
}

int32_t SetChannelMask(REALobject self, int32_t mask)
{
    StreamData *d = dataOf(self);
    if (int32_t e = unusable(d))
        return e;
    PmError err = Pm_SetChannelMask(d->stream, mask);
    if (err == pmNoError)
        d->channelMask = mask;
    return err;
}

int32_t SetFilter(REALobject self, int32_t filters)
{
    StreamData *d = dataOf(self);
    if (int32_t e = unusable(d))
        return e;
    PmError err = Pm_SetFilter(d->stream, filters);
    if (err == pmNoError)
        d->filters = filters;
    return err;
}

int32_t Poll(REALobject self)
{
    StreamData *d = dataOf(self);
    if (int32_t e = unusable(d))
        return e;
    return Pm_Poll(d->stream);
}

int32_t WriteSysExString(REALobject self, int32_t when, REALstring message)
{
    StreamData *d = dataOf(self);
    if (int32_t e = unusable(d))
        return e;
    if (!message)
        return -1;
    rbData bytes(message);
    return writeSysExRun(d->stream, when, bytes.data(), bytes.size());
}

int32_t WriteSysExBlock(REALobject self, int32_t when, REALmemoryBlock message, int32_t offset)
{
    if (!message) {
        RaiseException("NilObjectException", "memoryblock is nil");
        return 0;
    }
    StreamData *d = dataOf(self);
    if (int32_t e = unusable(d))
        return e;
    auto *bytes = static_cast<const unsigned char *>(hostMemoryBlockPtr(message));
    int32_t size = 0;
    if (!bytes || !hostMemoryBlockSize(message, &size))
        return -1; // the host gives no data, or no bound to keep within
    if (offset < 0 || offset >= size)
        return pmBadPtr;
    return writeSysExRun(d->stream, when, bytes + offset, size - offset);
}

int32_t WriteShort(REALobject self, int32_t when, int32_t message)
{
    StreamData *d = dataOf(self);
    if (int32_t e = unusable(d))
        return e;
    return Pm_WriteShort(d->stream, when, message);
}

int32_t Write(REALobject self, REALobject data)
{
    StreamData *d = dataOf(self);
    if (int32_t e = unusable(d))
        return e;
    if (!data)
        return -1;
    PmEvent event = eventOf(data);
    return Pm_Write(d->stream, &event, 1);
}

int32_t Read(REALobject self, REALobject *data)
{
    if (data && *data) {
        hostUnlockObject(*data);
        *data = nullptr;
    }
    StreamData *d = dataOf(self);
    if (int32_t e = unusable(d))
        return e;
    PmEvent event{};
    int result = Pm_Read(d->stream, &event, 1);
    if (result == 1) {
        REALobject made = NewPortMidiEventTSL(event.message, event.timestamp);
        if (data)
            *data = made;
        else
            hostUnlockObject(made);
    }
    return result;
}

int32_t OpenInput(REALobject self, int32_t deviceID, int32_t bufferSize)
{
    StreamData *d = dataOf(self);
    if (!d)
        return -1;
    closeHeld(d);
    PortMidiStream *stream = nullptr;
    PmError err = Pm_OpenInput(&stream, deviceID, nullptr, bufferSize, nullptr, nullptr);
    return opened(d, err, stream);
}

int32_t OpenOutput(REALobject self, int32_t deviceID, int32_t bufferSize, int32_t latency)
{
    StreamData *d = dataOf(self);
    if (!d)
        return -1;
    closeHeld(d);
    PortMidiStream *stream = nullptr;
    PmError err = Pm_OpenOutput(&stream, deviceID, nullptr, bufferSize, nullptr, nullptr, latency);
    return opened(d, err, stream);
}

int32_t ChannelMaskGet(REALobject self, intptr_t)
{
    StreamData *d = dataOf(self);
    return d ? d->channelMask : 0;
}

int32_t FiltersGet(REALobject self, intptr_t)
{
    StreamData *d = dataOf(self);
    return d ? d->filters : 0;
}

REALmethodDefinition methods[] = {
    {PROC(Close), nullptr, "Close", entryFlags, 0},
    {PROC(Abort), nullptr, "Abort as integer", entryFlags, 0},
    {PROC(ErrorText), nullptr, "ErrorText(ErrorNumber as integer) as string", entryFlags, 0},
    {PROC(SetChannelMask), nullptr, "SetChannelMask(mask as integer) as integer", entryFlags, 0},
    {PROC(SetFilter), nullptr, "SetFilter(filters as integer) as integer", entryFlags, 0},
    {PROC(Poll), nullptr, "Poll as integer", entryFlags, 0},
    {PROC(WriteSysExString), nullptr, "WriteSysEx(When as integer, message as string) as integer", entryFlags,
     0},
    {PROC(WriteSysExBlock), nullptr,
     "WriteSysEx(When as integer, message as memoryblock, offset as integer) as integer", entryFlags, 0},
    {PROC(WriteShort), nullptr, "WriteShort(When as integer, message as integer) as integer", entryFlags, 0},
    {PROC(Write), nullptr, "Write(data as PortMidiEventTSL) as integer", entryFlags, 0},
    {PROC(Read), nullptr, "Read(byref data as PortMidiEventTSL) as integer", entryFlags, 0},
    {PROC(OpenInput), nullptr, "OpenInput(DeviceID as integer, Buffersize as integer) as integer", entryFlags,
     0},
    {PROC(OpenOutput), nullptr,
     "OpenOutput(DeviceID as integer, Buffersize as integer, Latency as integer) as integer", entryFlags, 0},
};

REALproperty properties[] = {
    {nullptr, "ChannelMask", "Integer", 0, 0, PROC(ChannelMaskGet), nullptr, 0},
    {nullptr, "Filters", "Integer", 0, 0, PROC(FiltersGet), nullptr, 0},
};

// Masks for SetFilter, in PortMidi's filter-bit layout, declared exactly as the program knows them.
REALconstant constants[] = {
    {"FilterActive = &h4000"},
    {"FilterSysEx = 1"},
    {"FilterClock &h1D00"},
    {"FilterPlay = &h400"},
    {"FilterTick = &h200"},
    {"FilterFD = &h2000"},
    {"FilterUndefined = &h2000"},
    {"FilterReset = &h8000"},
    {"FilterRealTime = &hFF01"},
    {"FilterNote =  &h3000000"},
    {"FilterChannelAftertouch = &h20000000"},
    {"FilterPolyAftertouch = &h4000000"},
    {"FilterAftertouch = &h6000000"},
    {"FilterProgram = &h10000000"},
    {"FilterControl &h8000000"},
    {"FilterPitchBend = &h40000000"},
    {"FilterMTC = 2"},
    {"FilterSongPosition = 4"},
    {"FilterSongSelect = 8"},
    {"FilterTune = &h40"},
    {"FilterSystemCommon = &h4E"},
};
static_assert(PM_FILT_ACTIVE == 0x4000 && PM_FILT_SYSEX == 1 && PM_FILT_TICK == 0x200 &&
                  PM_FILT_RESET == 0x8000 && PM_FILT_PITCHBEND == 0x40000000 && PM_FILT_MTC == 2,
              "the filter constants follow PortMidi's filter bits");

} // namespace

REALstring ErrorText(REALobject, int32_t errorNumber) noexcept
{
    return asciiString(Pm_GetErrorText(PmError(errorNumber)));
}

void closeAllStreamsForReInitialize() noexcept
{
    auto *v = openStreams();
    for (StreamData *d : *v) {
        Pm_Close(d->stream);
        d->stream = staleStream;
    }
    v->clear();
}

REALclassDefinition PortMidiStreamTSLClass = {
    RB_CLASS_DEFINITION_VERSION,
    "PortMidiStreamTSL",
    nullptr,
    streamDataDeclared,
    0,
    Constructor,
    Close,
    properties,
    uint32_t(std::size(properties)),
    methods,
    uint32_t(std::size(methods)),
    nullptr,
    0,
    constants,
    uint32_t(std::size(constants)),
    entryFlags,
    0,
};

} // namespace tessel
