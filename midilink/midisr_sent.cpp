// What goes out to the unit: which messages written on the output port are frames for it, what
// each is to the record of unanswered frames and to the unit's image, and when the download's next
// block may follow.

#include "mainhooks.h"
#include "midisr.h"

#include <algorithm>

namespace korvane::midisr
{

namespace
{

using Frame = UnansweredFrames::Frame;

// The bytes of a frame between F0 7E and F7 (device byte, command, n, packed payload) are those of
// a frame the unit can read: data bytes only, n payload bytes packed in their groups.
bool wellFormed(const QByteArray &body)
{
    if (body.size() < 3)
        return false;
    for (const char c : body)
        if (uint8_t(c) >= 0x80)
            return false;
    // All of the frame but F0, 7E and F7.
    const int n = uint8_t(body[2]);
    if (body.size() != frameLength(n) - 3)
        return false;
    for (int at = 0; at < n; at += 7) {
        const int k = std::min(7, n - at);
        const int high = uint8_t(body[3 + at / 7 * 8 + k]);
        if (high >> k)
            return false;
    }
    return true;
}

// What the unit makes of the frame. A frame it may not read as it stands, or a block for another
// device byte, which it may or may not take, may be acknowledged or not.
Frame kindOf(const UnitFrame &frame)
{
    if (!frame.wellFormed)
        return Frame::Command;
    switch (*frame.command) {
    case cmdFirmwareBlock:
        return frame.device == midiidbyte ? Frame::Block : Frame::Command;
    case cmdReadRevision:
        return Frame::RevisionRequest;
    case cmdReadAddress:
        return Frame::AddressRequest;
    default:
        return Frame::Command;
    }
}

} // namespace

std::optional<UnitFrame> unitFrameIn(const QByteArray &message)
{
    const qsizetype end = message.indexOf(char(sysexEnd));
    const QByteArray written = end < 0 ? message : message.left(end + 1);
    const qsizetype start = written.indexOf(char(sysexStart));
    if (start < 0 || start + 1 >= written.size() || uint8_t(written[start + 1]) != unitMessage) {
        if (!message.isEmpty() && uint8_t(message[0]) < 0x80)
            return UnitFrame{};
        return std::nullopt;
    }
    UnitFrame frame;
    const bool ended = end >= 0;
    const QByteArray body = written.mid(start + 2, written.size() - start - 2 - (ended ? 1 : 0));
    if (body.size() > 0 && uint8_t(body[0]) < 0x80)
        frame.device = uint8_t(body[0]);
    if (body.size() > 1 && uint8_t(body[1]) < 0x80)
        frame.command = uint8_t(body[1]);
    frame.wellFormed = ended && wellFormed(body);
    return frame;
}

std::optional<FrameId> recordSent(const rb::MemoryBlock &message, bool whole)
{
    const std::optional<UnitFrame> frame = unitFrameIn(message.bytes());
    if (!frame)
        return std::nullopt;
    // An enable-update frame that went out whole begins a new image at the unit; a block, or bytes
    // that may be one, may add to it.
    if (whole && frame->wellFormed && frame->command == cmdEnableUpdate && frame->device == midiidbyte)
        download.imageBegun = false;
    else if (!frame->command || frame->command == cmdFirmwareBlock)
        download.imageBegun = true;
    // Part of a frame the port refused may have reached the unit, which may answer it or not.
    const FrameId id = unanswered.sent(whole ? kindOf(*frame) : Frame::Command);
    if (!whole)
        return std::nullopt;
    return id;
}

void sendDueBlock()
{
    if (downfw && !download.blockOut && unanswered.quiet())
        mainHooks().rxdatarq();
}

} // namespace korvane::midisr
