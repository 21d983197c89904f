#pragma once
// The unit protocol. Send side: the unit message frame F0 7E <device> <command> <n> <payload packed
// seven into eight> F7, the commands and the firmware blocks, each handed to the MIDI window's
// outlong. Receive side: input packets assembled into exclusive messages and the unit's answers
// interpreted. The module also holds the download state, which the main window sets.

#include "rbframework/folderitem.h"
#include "rbframework/memoryblock.h"
#include "unansweredframes.h"

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

// Answer codes of the unit.
constexpr uint8_t answerAck = 0x7F; // acknowledgement
constexpr uint8_t answerNak = 0x7E; // negative acknowledgement
constexpr uint8_t answerRevision = 0x21;
constexpr uint8_t answerAddress = 0x43;

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
extern bool sysxComplete;          // an F7 has ended the message in sysxmb

// ---- What the unit was sent, and the download

using FrameId = UnansweredFrames::Id;

// The frames sent to the unit that it has not answered yet.
extern UnansweredFrames unanswered;

// The download, beyond downfw, stream and sentlen.
struct Download {
    // The download's block that awaits the unit's answer. None while the download waits to send its
    // next block: after Start, or after an Enable that starts it over, until the unit has settled
    // everything sent before.
    std::optional<FrameId> blockOut;
    // Something that may have put bytes into the unit's image has gone out since the last
    // enable-update frame.
    bool imageBegun = false;
    // The file that stream was opened from, for the messages that name it.
    QString imageFile;
};
extern Download download;

// What reaches the unit of a message written on the output port, which writes it up to its first
// F7: the frame F0 7E <device> <command> <n> <packed payload> F7 found at its first F0. A message
// that begins with a data byte may complete a frame written earlier without its F7: nothing is
// known of that frame.
struct UnitFrame {
    std::optional<uint8_t> device, command;
    bool wellFormed = false; // its length and bytes are those of a frame the unit can read
    bool operator==(const UnitFrame &) const = default;
};
std::optional<UnitFrame> unitFrameIn(const QByteArray &message);

// Records a message handed to the output port (midiio.outlong): whole, or refused by the port,
// which may have written part of it. Answers the frame's id when it is a frame for the unit that
// went out whole.
std::optional<FrameId> recordSent(const rb::MemoryBlock &message, bool whole);

// Sends the download's next block when one is due and the unit can only acknowledge that block.
void sendDueBlock();

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

// Back to the initial state, the firmware stream released and the record emptied (at the program's
// end, and between tests).
void release();

} // namespace korvane::midisr
