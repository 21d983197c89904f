#pragma once
// The unit protocol. Send side: the unit message frame F0 7E <device> <command> <n> <payload packed
// seven into eight> F7, the commands and the firmware blocks, each handed to the MIDI window's
// outlong. Receive side: input packets assembled into exclusive messages and the unit's answers
// interpreted. The module also holds the download state, which the main window sets.

#include "rbframework/folderitem.h"
#include "rbframework/memoryblock.h"

#include <cstdint>
#include <optional>

namespace korvane::midisr
{

// The bytes that frame an exclusive message, and the second byte of every frame to and from the unit.
constexpr uint8_t sysexStart = 0xF0;
constexpr uint8_t sysexEnd = 0xF7;
constexpr uint8_t unitMessage = 0x7E;

// Command codes sent to the unit.
constexpr uint8_t cmdReset = 0x03;
constexpr uint8_t cmdFirmwareBlock = 0x04;
constexpr uint8_t cmdEnableUpdate = 0x09;
constexpr uint8_t cmdReadRevision = 0x11;
constexpr uint8_t cmdFactoryReset = 0x32;
constexpr uint8_t cmdReadAddress = 0x33;
constexpr uint8_t cmdSetAddress = 0x34;

// Image bytes per firmware block, and the size of the receive buffer.
constexpr int blockBytes = 22;
constexpr int sysxSize = 128;

// Module state, live for the whole run.
extern uint8_t midiidbyte;         // device byte of every outgoing frame (127)
extern bool downfw;                // a firmware download is active
extern rb::BinaryStreamPtr stream; // the firmware image being sent
extern int32_t sentlen;            // firmware bytes sent so far
extern rb::MemoryBlockPtr sysxmb;  // the exclusive message being received; nil before the first F0
extern int32_t sysxlen;            // bytes stored in sysxmb
extern bool sysxcomplete;          // an F7 has ended the message in sysxmb

// ---- Frames sent, and the answers that settle them
//
// The unit's answers carry no identity, but the unit answers its frames in order. Every unit frame
// written without error is recorded, oldest first, with the kind of answer it expects. An answer
// settles the oldest unanswered frame that expects its kind; the frames before that one are taken as
// never answered, which puts the record back in step after a lost answer. An answer that no recorded
// frame expects settles nothing.

enum class AnswerKind : uint8_t {
    Acknowledgement, // an acknowledgement or a negative one: every command but the two requests
    Revision,        // revision data, to the revision request
    Address,         // the IP address, to the address request
};
using FrameId = uint64_t; // the frames sent to the unit, counted from 1

// The frame whose acknowledgement sends the download's next block: the block that awaits it, or the
// Enable that starts a download over; none when no block is due on an acknowledgement.
extern std::optional<FrameId> awaited;
// What the unit's image holds since the last enable-update frame went out: whether a firmware block
// has gone out since, and the image bytes those blocks carried.
extern bool imagebegun;
extern int64_t imagebytes;

// Records a message written to the output port (midiio.outlong, for every message written without
// error). Answers the frame's id when it is a frame for the unit, which answers it.
std::optional<FrameId> framesent(const rb::MemoryBlock &message);
// Settles the oldest unanswered frame that expects this kind of answer. True when it was the awaited
// frame, which then awaits no more.
bool settle(AnswerKind kind);
// Back to no frame sent (part of release).
void forgetsent();

// ---- Sending
// Each sender answers the frame's id when it went out to the unit, none when it could not be written.

std::optional<FrameId> cmd7e(uint8_t code);                       // a command without payload
std::optional<FrameId> download_enable();                         // 0x09, then 0x11; the id is the 0x09's
void mb7esend(uint8_t code, const rb::MemoryBlock &payload);      // a command with the block as payload
std::optional<FrameId> binsend();                                 // the next firmware block from stream
std::optional<FrameId> midi8bit(const rb::MemoryBlockPtr &frame); // packs a spaced frame and sends it
void h82m7(rb::MemoryBlock &frame, int32_t start, int32_t count);
void m72h8(rb::MemoryBlock &frame); // unpacks a received frame in place
void m7h8(rb::MemoryBlock &frame, int32_t count, int32_t source, int32_t target);

// Offset of payload byte i in a frame before packing: every eighth place is left for a high-bit byte.
constexpr int32_t spacedOffset(int32_t i)
{
    return 5 + i + i / 7;
}
// Length of the frame for a payload of n bytes.
constexpr int32_t frameLength(int32_t n)
{
    return n + (n + 6) / 7 + 6;
}

// ---- Receiving

void parsemidimb3(const rb::MemoryBlock &packet); // every input packet, in arrival order
void sysxdata(const rb::MemoryBlock &packet);
void parsesyscommon(const rb::MemoryBlock &packet);
void parsesysx(rb::MemoryBlock &message, int32_t count);
void parsemidi(const rb::MemoryBlock &packet);

// Back to the initial state, the firmware stream released (at the program's end, and between tests).
void release();

} // namespace korvane::midisr
