#include "midisr.h"

#include "mainhooks.h"
#include "midiio.h"
#include "rbframework/exceptions.h"
#include "rbframework/text.h"
#include "rbframework/window.h"

namespace korvane::midisr
{

uint8_t midiidbyte = 127;
bool downfw = false;
rb::BinaryStreamPtr stream;
int32_t sentlen = 0;
rb::MemoryBlockPtr sysxmb;
int32_t sysxlen = 0;
bool sysxComplete = false;
UnansweredFrames unanswered;
Download download;

namespace
{

std::optional<FrameId> send(const rb::MemoryBlockPtr &frame)
{
    return rb::window<midiio>().outlong(frame);
}

// Groups of up to seven payload bytes in a payload of n.
constexpr int32_t groups(int32_t n)
{
    return n / 7 + (n % 7 != 0 ? 1 : 0);
}

} // namespace

std::optional<FrameId> cmd7e(uint8_t code)
{
    auto frame = std::make_shared<rb::MemoryBlock>(6);
    frame->Byte(0, sysexStart);
    frame->Byte(1, unitMessage);
    frame->Byte(2, midiidbyte);
    frame->Byte(3, code);
    frame->Byte(4, 0x00);
    frame->Byte(5, sysexEnd);
    return send(frame);
}

std::optional<FrameId> download_enable()
{
    const std::optional<FrameId> enable = cmd7e(cmdEnableUpdate);
    cmd7e(cmdReadRevision);
    return enable;
}

void mb7esend(uint8_t code, const rb::MemoryBlock &payload)
{
    const int32_t n = payload.Size();
    auto frame = std::make_shared<rb::MemoryBlock>(frameLength(n));
    frame->Byte(3, code);
    frame->Byte(4, n);
    for (int32_t i = 0; i < n; ++i)
        frame->Byte(spacedOffset(i), payload.Byte(i));
    midi8bit(frame);
}

std::optional<FrameId> binsend()
{
    // Room for a full block: 22 bytes pack into 4 groups, a 32-byte frame.
    auto frame = std::make_shared<rb::MemoryBlock>(40);
    frame->Byte(3, cmdFirmwareBlock);
    frame->Byte(4, 0);
    rb::BinaryStream &image = rb::deref(stream);
    for (int32_t i = 0; i < blockBytes; ++i) {
        if (image.EOF())
            continue;
        const int byte = image.ReadInt8();
        frame->Byte(4, frame->Byte(4) + 1);
        frame->Byte(spacedOffset(i), byte);
    }
    sentlen += frame->Byte(4);

    // The progress is shown before the block goes out.
    MainHooks &w = mainHooks();
    w.pbar().Value(sentlen);
    w.DCount().Caption(rb::Str(sentlen));
    return midi8bit(frame);
}

std::optional<FrameId> midi8bit(const rb::MemoryBlockPtr &framePtr)
{
    rb::MemoryBlock &frame = rb::deref(framePtr);
    frame.Byte(0, sysexStart);
    frame.Byte(1, unitMessage);
    frame.Byte(2, midiidbyte);
    const int32_t n = frame.Byte(4);
    const int32_t g = groups(n);
    for (int32_t i = 0; i < g; ++i) {
        const int32_t k = 7 * (i + 1) <= n ? 7 : n - 7 * i;
        h82m7(frame, 5 + 8 * i, k);
    }
    frame.Byte(5 + n + g, sysexEnd);
    frame.Size(n + g + 6);
    return send(framePtr);
}

void h82m7(rb::MemoryBlock &frame, int32_t start, int32_t count)
{
    int highBits = 0;
    for (int32_t j = 0; j < count; ++j) {
        highBits = (highBits << 1) & 0xFF;
        const int byte = frame.Byte(start + j);
        if (byte & 0x80) {
            frame.Byte(start + j, byte & 0x7F);
            highBits |= 1;
        }
    }
    frame.Byte(start + count, highBits);
}

void m72h8(rb::MemoryBlock &frame)
{
    int32_t n = frame.Byte(4);
    int32_t source = 5, target = 5;
    while (n > 7) {
        m7h8(frame, 7, source, target);
        source += 8;
        target += 7;
        n -= 7;
    }
    if (n != 0)
        m7h8(frame, n, source, target);
}

void m7h8(rb::MemoryBlock &frame, int32_t count, int32_t source, int32_t target)
{
    // A group whose high-bit byte lies outside the block stays packed.
    if (source + count >= frame.Size())
        return;
    int highBits = (frame.Byte(source + count) << (7 - count)) & 0xFF;
    for (int32_t j = 0; j < count; ++j) {
        highBits = (highBits << 1) & 0xFF;
        const int byte = frame.Byte(source + j);
        frame.Byte(target + j, (highBits & 0x80) ? byte + 128 : byte);
    }
}

void release()
{
    midiidbyte = 127;
    downfw = false;
    stream.reset();
    sentlen = 0;
    sysxmb.reset();
    sysxlen = 0;
    sysxComplete = false;
    unanswered.clear();
    download = {};
}

} // namespace korvane::midisr
