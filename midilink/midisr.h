#pragma once
// The unit protocol. Send side: the unit message frame F0 7E <device> <command> <n> <payload packed
// seven into eight> F7, the commands and the firmware blocks, each handed to the MIDI window's
// outlong. Receive side: input packets assembled into exclusive messages and the unit's answers
// interpreted. The module also holds the download state, which the main window sets.

#include "rbframework/folderitem.h"
#include "rbframework/memoryblock.h"

#include <cstdint>

namespace korvane::midisr
{

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

// ---- Sending

void cmd7e(uint8_t code);                                    // a command without payload
void download_enable();                                      // 0x09, then 0x11
void mb7esend(uint8_t code, const rb::MemoryBlock &payload); // a command with the block as payload
void binsend();                                              // the next firmware block from stream
void midi8bit(const rb::MemoryBlockPtr &frame);              // packs a spaced frame and sends it
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
