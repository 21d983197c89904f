// The simulated MIDI service: a PortMidi backend (a pm_fns_node table) over simulated devices, put
// in place of PortMidi's ALSA backend by defining pm_linuxalsa_init and pm_linuxalsa_term, and the
// simulated unit behind one output and one input.

#include "simmidi.h"

#include <portmidi.h>
#include <porttime.h>
// PortMidi's backend interface (shipped by libportmidi-dev as examples); pminternal.h needs
// pmutil.h first.
// clang-format off
#include "pmutil.h"
#include "pminternal.h"
// clang-format on

// PortMidi's default devices, which a backend's init sets (exported by libportmidi, not declared
// in its headers).
extern "C" int pm_default_input_device_id;
extern "C" int pm_default_output_device_id;

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <optional>

namespace sim
{
namespace
{

constexpr std::uint8_t sysEx = 0xF0;
constexpr std::uint8_t eox = 0xF7;
constexpr std::uint8_t unitId = 0x7E;
constexpr std::uint8_t expectedDeviceByte = 0x7F;
constexpr std::uint8_t ack = 0x7F;
constexpr std::uint8_t nak = 0x7E;
constexpr std::size_t maxBlock = 22;

bool isRealtime(std::uint8_t b)
{
    return b >= 0xF8;
}

// Status bytes for which the ALSA sequencer has no event, so that PortMidi gets nothing: the
// undefined ones, wherever they stand, and an F7 that ends no SysEx.
bool hasNoEvent(std::uint8_t b, bool inSysEx)
{
    return b == 0xF4 || b == 0xF5 || b == 0xF9 || b == 0xFD || (b == eox && !inSysEx);
}

// Bytes of a short message by its status byte.
std::size_t shortLength(std::uint8_t status)
{
    if (status >= 0x80 && status < 0xC0)
        return 3;
    if (status >= 0xC0 && status < 0xE0)
        return 2;
    if (status >= 0xE0 && status < 0xF0)
        return 3;
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    default:
        return status >= 0xF0 ? 1 : 3;
    }
}

// The wire bytes of a PortMidi message word: its status byte and the data bytes that status takes.
std::vector<std::uint8_t> wireBytes(std::uint32_t message)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < shortLength(static_cast<std::uint8_t>(message)); ++i)
        bytes.push_back(static_cast<std::uint8_t>(message >> (8 * i)));
    return bytes;
}

using Clock = std::chrono::steady_clock;

struct InputItem {
    std::vector<std::uint8_t> bytes; // as they arrive on the wire
    long readyAt = 0;                // deliverable at poll number readyAt or later
    Clock::time_point readyTime;     // and not before this time
    // The unit's answer to a block of this image (the unit's image number); none for other input.
    std::optional<int> answersBlockOf;
};

struct DeviceState {
    bool open = false;
    int opens = 0;
    PmInternal *midi = nullptr;
    std::string openError;
    std::string writeError;
    std::string hostError; // pending host error text of the open stream
    bool hasHostError = false;
    // output
    std::vector<Message> messages;
    std::vector<std::uint8_t> wire;
    bool inSysEx = false;
    std::vector<std::uint8_t> sysex;
    std::int32_t sysexTime = 0;
    // input
    long polls = 0;
    std::deque<InputItem> pending;
    bool inputInSysEx = false; // the input handed over last ended inside a SysEx
};

struct UnitState {
    int output = -1;
    int input = -1;
    Mode mode = Mode::Normal;
    bool anyDevice = false; // takes frames whatever their device byte
    int lag = 0;
    std::chrono::milliseconds delay{0};
    long lastAnswerReadyAt = 0;            // the poll at which the last answer became readable
    Clock::time_point lastAnswerReadyTime; // and the time
    std::uint8_t realtime = 0xF8;
    int every = 0;
    std::vector<std::uint8_t> between; // real-time bytes sent before each answer
    // Answers stop once this many frames have been heard in all (none: they never stop).
    std::optional<std::size_t> silentFrom;
    std::vector<std::uint8_t> revision{0x01, 0x00, 0x02, 0x05, 0x00, 0x1A, 0x03, 0x01, 0x00, 0x2C};
    std::vector<std::uint8_t> address{10, 1, 128, 255};
    std::vector<Command> commands;
    std::vector<std::uint8_t> image;
    std::vector<std::size_t> blocks;
    bool imageComplete = false;
    int imageNumber = 0;              // counts the images begun
    std::size_t unansweredBlocks = 0; // blocks of the image whose answers have not been handed over
    std::vector<std::size_t> unansweredBeforeBlock;
    std::vector<std::vector<std::uint8_t>> answers;
    std::size_t heard = 0; // frames heard, kept or not
    // Set by checkImageOnly: nothing is kept, and the image is compared with this one as it comes.
    std::optional<std::vector<std::uint8_t>> expected;
    ImageCheck check;
};

struct State {
    std::mutex lock;
    bool devicesSet = false;
    bool environmentRead = false;
    std::vector<Device> configured;
    // The list handed to PortMidi at the last init. PortMidi keeps pointers to the names, so this
    // list stays untouched until the next init.
    std::vector<Device> active;
    std::map<int, DeviceState> devices;
    UnitState unit;
};

// Never destroyed: PortMidi may still call the backend while the process ends.
State &state()
{
    static State *s = new State;
    return *s;
}

DeviceState &dev(State &s, int device)
{
    return s.devices[device];
}

const DeviceState *findState(const State &s, int device)
{
    auto it = s.devices.find(device);
    return it == s.devices.end() ? nullptr : &it->second;
}

// ---- Configuration from the environment (for a preloaded library) ----

std::vector<std::string> split(const std::string &text, char sep)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find(sep, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

// A whole decimal number, or nothing.
std::optional<int> number(const std::string &text)
{
    int n = 0;
    const char *end = text.data() + text.size();
    auto [at, error] = std::from_chars(text.data(), end, n);
    if (error != std::errc() || at != end)
        return std::nullopt;
    return n;
}

// Silence after `frames` more frames than the unit has heard so far; a negative count: never.
std::optional<std::size_t> silentFrom(const UnitState &unit, int frames)
{
    if (frames < 0)
        return std::nullopt;
    return unit.heard + static_cast<std::size_t>(frames);
}

void readEnvironment(State &s)
{
    if (s.environmentRead)
        return;
    s.environmentRead = true;
    if (s.devicesSet)
        return;
    const char *devices = std::getenv("KORVANE_SIM_DEVICES");
    if (!devices)
        return;
    for (const std::string &entry : split(devices, ',')) {
        std::vector<std::string> fields = split(entry, ':');
        if (fields[0] == "unit") {
            // Behaviours in order; lag, delay-ms and silent-after take the number after them. Other
            // words, and those three without a number, change nothing.
            for (std::size_t i = 1; i < fields.size(); ++i) {
                const std::string &behaviour = fields[i];
                const std::optional<int> count = i + 1 < fields.size() ? number(fields[i + 1]) : std::nullopt;
                if (behaviour == "normal")
                    s.unit.mode = Mode::Normal;
                else if (behaviour == "silent")
                    s.unit.mode = Mode::Silent;
                else if (behaviour == "nak")
                    s.unit.mode = Mode::Nak;
                else if (behaviour == "blocks-only")
                    s.unit.mode = Mode::BlocksOnly;
                else if (behaviour == "any-device")
                    s.unit.anyDevice = true;
                else if (behaviour == "clock")
                    s.unit.every = 2;
                else if (behaviour == "lag" && count)
                    s.unit.lag = std::max(0, *count);
                else if (behaviour == "delay-ms" && count)
                    s.unit.delay = std::chrono::milliseconds(std::max(0, *count));
                else if (behaviour == "silent-after" && count)
                    s.unit.silentFrom = silentFrom(s.unit, *count);
            }
            s.unit.input = static_cast<int>(s.configured.size());
            s.configured.push_back({"Simulated Unit In", "Simulated", true});
            s.unit.output = static_cast<int>(s.configured.size());
            s.configured.push_back({"Simulated Unit Out", "Simulated", false});
            continue;
        }
        if (fields.size() < 2 || fields[1].empty() || (fields[0] != "in" && fields[0] != "out"))
            continue;
        Device d{fields[1], fields.size() > 2 && !fields[2].empty() ? fields[2] : "Simulated",
                 fields[0] == "in"};
        s.configured.push_back(d);
    }
}

// ---- The unit ----

std::vector<std::uint8_t> pack(std::uint8_t code, const std::vector<std::uint8_t> &payload,
                               std::uint8_t deviceByte)
{
    std::vector<std::uint8_t> f{sysEx, unitId, deviceByte, code,
                                static_cast<std::uint8_t>(payload.size() & 0x7F)};
    for (std::size_t g = 0; g < payload.size(); g += 7) {
        std::size_t k = std::min<std::size_t>(7, payload.size() - g);
        std::uint8_t high = 0;
        for (std::size_t j = 0; j < k; ++j) {
            high = static_cast<std::uint8_t>(high << 1 | (payload[g + j] >> 7));
            f.push_back(payload[g + j] & 0x7F);
        }
        f.push_back(high);
    }
    f.push_back(eox);
    return f;
}

// Decodes one SysEx message heard by the unit. Returns the command with `valid` and `error` set.
Command decode(const std::vector<std::uint8_t> &frame, bool anyDevice)
{
    Command c;
    c.frame = frame;
    if (frame.size() < 6 || frame[1] != unitId) {
        c.error = "not a unit frame";
        return c;
    }
    c.deviceByte = frame[2];
    c.code = frame[3];
    if (frame.back() != eox) {
        c.error = "no F7 at the end";
        return c;
    }
    for (std::size_t i = 1; i + 1 < frame.size(); ++i) {
        if (frame[i] & 0x80) {
            c.error = "byte " + std::to_string(i) + " has bit 7 set";
            return c;
        }
    }
    const std::size_t n = frame[4];
    const std::size_t groups = (n + 6) / 7;
    if (frame.size() != n + groups + 6) {
        c.error = "length " + std::to_string(n) + " does not match a frame of " +
                  std::to_string(frame.size()) + " bytes";
        return c;
    }
    for (std::size_t g = 0; g < groups; ++g) {
        const std::size_t k = std::min<std::size_t>(7, n - 7 * g);
        const std::size_t at = 5 + 8 * g;
        const std::uint8_t high = frame[at + k];
        if (high >> k) {
            c.error = "high-bit byte of group " + std::to_string(g) + " uses bits beyond its " +
                      std::to_string(k) + " bytes";
            c.payload.clear();
            return c;
        }
        for (std::size_t j = 0; j < k; ++j)
            c.payload.push_back(
                static_cast<std::uint8_t>(frame[at + j] | (((high >> (k - 1 - j)) & 1) << 7)));
    }
    if (c.deviceByte != expectedDeviceByte && !anyDevice) {
        c.error = "device byte " + std::to_string(c.deviceByte);
        return c;
    }
    c.valid = true;
    return c;
}

// The payload size a command must carry, or nothing for a command the unit does not know.
std::optional<std::size_t> expectedPayload(std::uint8_t code, std::size_t n)
{
    switch (code) {
    case 0x03:
    case 0x09:
    case 0x11:
    case 0x32:
    case 0x33:
        return 0;
    case 0x34:
        return 4;
    case 0x04:
        return n <= maxBlock ? n : maxBlock;
    default:
        return std::nullopt;
    }
}

// A new image: what the unit took before is dropped.
void beginImage(UnitState &unit)
{
    unit.image.clear();
    unit.blocks.clear();
    unit.imageComplete = false;
    ++unit.imageNumber;
    unit.unansweredBlocks = 0;
    unit.unansweredBeforeBlock.clear();
    unit.check = ImageCheck{};
}

bool keepsTraffic(const State &s)
{
    return !s.unit.expected;
}

// Takes a block's bytes into the image, or compares them with the expected image.
void takeBlock(UnitState &unit, const std::vector<std::uint8_t> &payload)
{
    if (!unit.expected) {
        unit.image.insert(unit.image.end(), payload.begin(), payload.end());
        unit.blocks.push_back(payload.size());
        unit.unansweredBeforeBlock.push_back(unit.unansweredBlocks);
        return;
    }
    const std::vector<std::uint8_t> &expected = *unit.expected;
    ImageCheck &check = unit.check;
    const bool fits = check.bytes + payload.size() <= expected.size();
    check.intact = check.intact && fits &&
                   std::equal(payload.begin(), payload.end(), expected.begin() + std::ptrdiff_t(check.bytes));
    ++check.blocks;
    check.bytes += payload.size();
    check.complete = payload.empty();
    if (check.complete)
        check.intact = check.intact && check.bytes == expected.size();
}

void answer(State &s, std::uint8_t code, const std::vector<std::uint8_t> &payload, bool toBlock = false)
{
    std::vector<std::uint8_t> frame = pack(code, payload, expectedDeviceByte);
    if (keepsTraffic(s))
        s.unit.answers.push_back(frame);
    auto it = s.devices.find(s.unit.input);
    if (it == s.devices.end() || !it->second.open)
        return; // nobody listens: lost
    DeviceState &in = it->second;
    if (!s.unit.between.empty()) {
        // Outside any SysEx, ready at once: with a lag they come while the answer is held back.
        InputItem realtime;
        realtime.bytes = s.unit.between;
        realtime.readyAt = in.polls + 1;
        in.pending.push_back(std::move(realtime));
    }
    InputItem item;
    if (s.unit.every > 0) {
        for (std::size_t i = 0; i < frame.size(); ++i) {
            item.bytes.push_back(frame[i]);
            if ((i + 1) % static_cast<std::size_t>(s.unit.every) == 0 && i + 1 < frame.size())
                item.bytes.push_back(s.unit.realtime);
        }
    } else {
        item.bytes = frame;
    }
    // One frame at a time: an answer is never ready before the one to the frame before it.
    item.readyAt = std::max(in.polls, s.unit.lastAnswerReadyAt) + 1 + s.unit.lag;
    s.unit.lastAnswerReadyAt = item.readyAt;
    item.readyTime = std::max(Clock::now(), s.unit.lastAnswerReadyTime) + s.unit.delay;
    s.unit.lastAnswerReadyTime = item.readyTime;
    if (toBlock)
        item.answersBlockOf = s.unit.imageNumber;
    in.pending.push_back(std::move(item));
}

void unitHears(State &s, const std::vector<std::uint8_t> &frame)
{
    Command c = decode(frame, s.unit.anyDevice);
    if (c.valid) {
        std::optional<std::size_t> size = expectedPayload(c.code, c.payload.size());
        if (!size) {
            c.valid = false;
            c.error = "unknown command " + std::to_string(c.code);
        } else if (*size != c.payload.size()) {
            c.valid = false;
            c.error = "payload of " + std::to_string(c.payload.size()) + " bytes for command " +
                      std::to_string(c.code);
        }
    }
    ++s.unit.heard;
    if (keepsTraffic(s))
        s.unit.commands.push_back(c);
    // Frames that are not for this unit get no answer at all.
    if (frame.size() < 6 || frame[1] != unitId || (frame[2] != expectedDeviceByte && !s.unit.anyDevice))
        return;
    const bool silent =
        s.unit.mode == Mode::Silent || (s.unit.silentFrom && s.unit.heard > *s.unit.silentFrom);
    // Acknowledgements, negative or not, from a unit that gives them to firmware blocks only.
    const bool acknowledges = s.unit.mode != Mode::BlocksOnly || c.code == 0x04;
    if (!c.valid || s.unit.mode == Mode::Nak) {
        if (!silent && acknowledges)
            answer(s, nak, {});
        return;
    }
    switch (c.code) {
    case 0x04:
        if (s.unit.imageComplete)
            beginImage(s.unit);
        takeBlock(s.unit, c.payload);
        s.unit.imageComplete = c.payload.empty();
        ++s.unit.unansweredBlocks;
        break;
    case 0x09:
        beginImage(s.unit);
        break;
    case 0x34:
        s.unit.address = c.payload;
        break;
    default:
        break;
    }
    if (silent)
        return;
    if (c.code == 0x11)
        answer(s, 0x21, s.unit.revision);
    else if (c.code == 0x33)
        answer(s, 0x43, s.unit.address);
    else if (acknowledges)
        answer(s, ack, {}, c.code == 0x04);
}

// ---- The backend ----

int deviceOf(PmInternal *midi)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(midi->descriptor));
}

PmTimestamp now(PmInternal *midi)
{
    return midi->time_proc ? midi->time_proc(midi->time_info) : 0;
}

void record(State &s, DeviceState &d, Kind kind, std::vector<std::uint8_t> bytes, std::int32_t time,
            int device)
{
    const bool toUnit = kind == Kind::SysEx && device == s.unit.output;
    if (keepsTraffic(s))
        d.messages.push_back({kind, bytes, time});
    if (toUnit)
        unitHears(s, bytes);
}

// Ends a SysEx that never saw its F7.
void dropPartial(State &s, DeviceState &d, int device)
{
    if (d.inSysEx && !d.sysex.empty())
        record(s, d, Kind::Partial, std::move(d.sysex), d.sysexTime, device);
    d.inSysEx = false;
    d.sysex.clear();
}

// Checks the injected write error; sets the stream's host error when it applies.
bool writeFails(DeviceState &d)
{
    if (d.writeError.empty())
        return false;
    d.hostError = d.writeError;
    d.hasHostError = true;
    return true;
}

extern "C" {

PmError simOpen(PmInternal *midi, void * /*driverInfo*/)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const int device =
        static_cast<int>(reinterpret_cast<std::intptr_t>(descriptors[midi->device_id].descriptor));
    DeviceState &d = dev(s, device);
    if (!d.openError.empty()) {
        pm_hosterror = 1;
        std::snprintf(pm_hosterror_text, PM_HOST_ERROR_MSG_LEN, "%s", d.openError.c_str());
        return pmHostError;
    }
    midi->descriptor = reinterpret_cast<void *>(static_cast<std::intptr_t>(device));
    d.open = true;
    ++d.opens;
    d.midi = midi;
    d.hasHostError = false;
    d.hostError.clear();
    d.inSysEx = false;
    d.sysex.clear();
    d.inputInSysEx = false;
    return pmNoError;
}

PmError simClose(PmInternal *midi)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const int device = deviceOf(midi);
    DeviceState &d = dev(s, device);
    dropPartial(s, d, device);
    d.open = false;
    d.midi = nullptr;
    d.pending.clear();
    d.inputInSysEx = false;
    return pmNoError;
}

PmError simAbort(PmInternal *midi)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const int device = deviceOf(midi);
    dropPartial(s, dev(s, device), device);
    return pmNoError;
}

PmError simWriteShort(PmInternal *midi, PmEvent *event)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const int device = deviceOf(midi);
    DeviceState &d = dev(s, device);
    if (writeFails(d))
        return pmHostError;
    std::vector<std::uint8_t> bytes;
    const std::uint32_t m = static_cast<std::uint32_t>(event->message);
    const std::size_t len = shortLength(m & 0xFF);
    for (std::size_t i = 0; i < len; ++i)
        bytes.push_back(static_cast<std::uint8_t>(m >> (8 * i)));
    if (keepsTraffic(s))
        d.wire.insert(d.wire.end(), bytes.begin(), bytes.end());
    record(s, d, Kind::Short, std::move(bytes), event->timestamp, device);
    return pmNoError;
}

PmError simWriteRealtime(PmInternal *midi, PmEvent *event)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const int device = deviceOf(midi);
    DeviceState &d = dev(s, device);
    if (writeFails(d))
        return pmHostError;
    const auto b = static_cast<std::uint8_t>(event->message & 0xFF);
    if (keepsTraffic(s))
        d.wire.push_back(b);
    record(s, d, Kind::Realtime, {b}, event->timestamp, device);
    return pmNoError;
}

PmError simBeginSysEx(PmInternal *midi, PmTimestamp time)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const int device = deviceOf(midi);
    DeviceState &d = dev(s, device);
    dropPartial(s, d, device);
    if (writeFails(d))
        return pmHostError;
    d.inSysEx = true;
    d.sysexTime = time;
    return pmNoError;
}

PmError simWriteByte(PmInternal *midi, unsigned char byte, PmTimestamp time)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    DeviceState &d = dev(s, deviceOf(midi));
    if (writeFails(d))
        return pmHostError;
    if (!d.inSysEx) {
        d.inSysEx = true;
        d.sysexTime = time;
    }
    d.sysex.push_back(byte);
    if (keepsTraffic(s))
        d.wire.push_back(byte);
    return pmNoError;
}

PmError simEndSysEx(PmInternal *midi, PmTimestamp /*time*/)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const int device = deviceOf(midi);
    DeviceState &d = dev(s, device);
    if (!d.sysex.empty()) {
        const Kind kind = d.sysex.front() == sysEx && d.sysex.back() == eox ? Kind::SysEx : Kind::Partial;
        record(s, d, kind, std::move(d.sysex), d.sysexTime, device);
    }
    d.sysex.clear();
    d.inSysEx = false;
    return pmNoError;
}

PmError simFlush(PmInternal * /*midi*/, PmTimestamp /*time*/)
{
    return pmNoError;
}

PmTimestamp simSynchronize(PmInternal *midi)
{
    return now(midi);
}

// Hands one wire byte string to PortMidi as the ALSA backend would: SysEx data through
// pm_read_bytes, real-time bytes and short messages through pm_read_short, and nothing for a byte
// that makes no sequencer event. inSysEx carries over from one byte string to the next, so that a
// SysEx can arrive in pieces.
void deliverBytes(PmInternal *midi, const std::vector<std::uint8_t> &bytes, PmTimestamp time, bool &inSysEx)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t b = bytes[i];
        if (hasNoEvent(b, inSysEx)) {
            ++i;
        } else if (isRealtime(b)) {
            PmEvent e{static_cast<PmMessage>(b), time};
            pm_read_short(midi, &e);
            ++i;
        } else if (b == sysEx || (inSysEx && b < 0x80) || (inSysEx && b == eox)) {
            // A run of SysEx bytes up to the next status byte, and through it when it is F7.
            std::size_t end = i + 1;
            if (b != eox) {
                while (end < bytes.size() && bytes[end] < 0x80)
                    ++end;
                if (end < bytes.size() && bytes[end] == eox)
                    ++end;
            }
            inSysEx = bytes[end - 1] != eox;
            pm_read_bytes(midi, bytes.data() + i, static_cast<int>(end - i), time);
            i = end;
        } else if (b >= 0x80) {
            inSysEx = false;
            const std::size_t len = shortLength(b);
            std::uint32_t m = 0;
            std::size_t j = 0;
            for (; j < len && i + j < bytes.size(); ++j) {
                if (j > 0 && bytes[i + j] >= 0x80)
                    break;
                m |= static_cast<std::uint32_t>(bytes[i + j]) << (8 * j);
            }
            if (j == len) {
                PmEvent e{static_cast<PmMessage>(m), time};
                pm_read_short(midi, &e);
            }
            i += j;
        } else {
            ++i; // a stray data byte
        }
    }
}

PmError simPoll(PmInternal *midi)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    DeviceState &d = dev(s, deviceOf(midi));
    ++d.polls;
    const PmTimestamp time = now(midi);
    const Clock::time_point clock = Clock::now();
    while (!d.pending.empty() && d.pending.front().readyAt <= d.polls &&
           d.pending.front().readyTime <= clock) {
        InputItem item = std::move(d.pending.front());
        d.pending.pop_front();
        deliverBytes(midi, item.bytes, time, d.inputInSysEx);
        if (item.answersBlockOf == s.unit.imageNumber && s.unit.unansweredBlocks > 0)
            --s.unit.unansweredBlocks;
    }
    return pmNoError;
}

unsigned int simHasHostError(PmInternal *midi)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return dev(s, deviceOf(midi)).hasHostError ? 1u : 0u;
}

void simHostError(PmInternal *midi, char *msg, unsigned int len)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    DeviceState &d = dev(s, deviceOf(midi));
    if (len > 0)
        std::snprintf(msg, len, "%s", d.hasHostError ? d.hostError.c_str() : "");
    d.hasHostError = false;
    d.hostError.clear();
}

pm_fns_node simDictionary = {
    simWriteShort, simBeginSysEx, simEndSysEx, simWriteByte, simWriteRealtime, simFlush,     simSynchronize,
    simOpen,       simAbort,      simClose,    simPoll,      simHasHostError,  simHostError,
};

} // extern "C"

} // namespace
} // namespace sim

// ---- Taking the ALSA backend's place ----

extern "C" __attribute__((visibility("default"))) PmError pm_linuxalsa_init(void)
{
    using namespace sim;
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    readEnvironment(s);
    s.active = s.configured;
    // As the ALSA backend does, the first input and the first output are the defaults; a
    // re-initialise chooses them again from the new list.
    pm_default_input_device_id = -1;
    pm_default_output_device_id = -1;
    for (auto &[index, d] : s.devices) {
        d.open = false;
        d.midi = nullptr;
    }
    for (std::size_t i = 0; i < s.active.size(); ++i) {
        Device &d = s.active[i];
        int &defaultId = d.input ? pm_default_input_device_id : pm_default_output_device_id;
        if (defaultId == -1)
            defaultId = pm_descriptor_index;
        pm_add_device(d.interf.data(), d.name.data(), d.input ? 1 : 0,
                      reinterpret_cast<void *>(static_cast<std::intptr_t>(i)), &simDictionary);
    }
    return pmNoError;
}

extern "C" __attribute__((visibility("default"))) void pm_linuxalsa_term(void)
{
    using namespace sim;
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    // Streams still open are PortMidi's to forget; no more input goes to them.
    for (auto &[index, d] : s.devices) {
        d.open = false;
        d.midi = nullptr;
        d.pending.clear();
    }
}

// ---- The test API ----

namespace sim
{

bool installed()
{
    return dlsym(RTLD_DEFAULT, "pm_linuxalsa_init") == reinterpret_cast<void *>(&pm_linuxalsa_init);
}

namespace
{
// Says so at once when PortMidi would reach its own ALSA backend instead of this one.
__attribute__((constructor)) void checkInstalled()
{
    if (!installed())
        std::fprintf(stderr,
                     "korvane_sim: libportmidi.so was loaded before libkorvane_sim.so, so PortMidi keeps "
                     "its ALSA backend; link korvane_sim before PortMidi or preload it\n");
}
} // namespace

void setDevices(std::vector<Device> devices)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.configured = std::move(devices);
    s.devicesSet = true;
}

std::vector<Device> activeDevices()
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.active;
}

int findDevice(std::string_view name, bool input)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    for (std::size_t i = 0; i < s.active.size(); ++i)
        if (s.active[i].name == name && s.active[i].input == input)
            return static_cast<int>(i);
    return -1;
}

void reset()
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    for (auto &[index, d] : s.devices) {
        DeviceState fresh;
        fresh.open = d.open;
        fresh.midi = d.midi;
        fresh.polls = d.polls;
        d = std::move(fresh);
    }
    s.unit = UnitState{};
}

std::vector<Message> received(int device)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const DeviceState *d = findState(s, device);
    return d ? d->messages : std::vector<Message>{};
}

std::vector<std::uint8_t> receivedBytes(int device)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const DeviceState *d = findState(s, device);
    return d ? d->wire : std::vector<std::uint8_t>{};
}

void clearReceived(int device)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    DeviceState &d = dev(s, device);
    d.messages.clear();
    d.wire.clear();
}

void queueShort(int device, std::uint32_t message)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    InputItem item;
    item.bytes = wireBytes(message);
    dev(s, device).pending.push_back(std::move(item));
}

void queueBytes(int device, std::vector<std::uint8_t> bytes)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    InputItem item;
    item.bytes = std::move(bytes);
    dev(s, device).pending.push_back(std::move(item));
}

void queueStream(int device, const std::vector<std::uint32_t> &messages)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    DeviceState &d = dev(s, device);
    long readyAt = d.polls;
    for (std::uint32_t message : messages) {
        InputItem item;
        item.bytes = wireBytes(message);
        readyAt += 2;
        item.readyAt = readyAt;
        d.pending.push_back(std::move(item));
    }
}

std::size_t pendingInput(int device)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const DeviceState *d = findState(s, device);
    return d ? d->pending.size() : 0;
}

bool isOpen(int device)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const DeviceState *d = findState(s, device);
    return d && d->open;
}

int openCount(int device)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const DeviceState *d = findState(s, device);
    return d ? d->opens : 0;
}

void failOpen(int device, std::string hostErrorText)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    dev(s, device).openError = std::move(hostErrorText);
}

void failWrites(int device, std::string hostErrorText)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    dev(s, device).writeError = std::move(hostErrorText);
}

void attachUnit(int output, int input)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.unit.output = output;
    s.unit.input = input;
}

void detachUnit()
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.unit.output = -1;
    s.unit.input = -1;
}

void setUnitMode(Mode mode)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.unit.mode = mode;
}

void setUnitTakesAnyDevice(bool any)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.unit.anyDevice = any;
}

void setUnitLag(int polls)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.unit.lag = std::max(0, polls);
}

void setUnitDelay(std::chrono::milliseconds delay)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.unit.delay = std::max(delay, std::chrono::milliseconds(0));
}

void setUnitInterleave(std::uint8_t realtime, int every)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.unit.realtime = realtime;
    s.unit.every = std::max(0, every);
}

bool setUnitRealtimeBetween(std::vector<std::uint8_t> bytes)
{
    if (!std::all_of(bytes.begin(), bytes.end(), isRealtime))
        return false;
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.unit.between = std::move(bytes);
    return true;
}

void setUnitSilentAfter(int frames)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.unit.silentFrom = silentFrom(s.unit, frames);
}

void setUnitRevision(std::vector<std::uint8_t> payload)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.unit.revision = std::move(payload);
}

void setUnitAddress(std::vector<std::uint8_t> address)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.unit.address = std::move(address);
}

std::vector<std::uint8_t> unitAddress()
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.unit.address;
}

std::vector<Command> unitCommands()
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.unit.commands;
}

std::vector<std::uint8_t> unitImage()
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.unit.image;
}

bool unitImageComplete()
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.unit.imageComplete;
}

std::vector<std::size_t> unitBlockSizes()
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.unit.blocks;
}

std::vector<std::size_t> unitUnansweredBeforeEachBlock()
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.unit.unansweredBeforeBlock;
}

std::vector<std::vector<std::uint8_t>> unitAnswers()
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.unit.answers;
}

void checkImageOnly(std::vector<std::uint8_t> expected)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.unit.expected = std::move(expected);
    s.unit.check = ImageCheck{};
}

ImageCheck unitImageCheck()
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.unit.check;
}

std::vector<std::uint8_t> packFrame(std::uint8_t code, const std::vector<std::uint8_t> &payload,
                                    std::uint8_t deviceByte)
{
    return pack(code, payload, deviceByte);
}

} // namespace sim
