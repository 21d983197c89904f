#pragma once
// The simulated MIDI service: a PortMidi backend with simulated input and output devices, and a
// simulated unit that answers the program's frames. It lives in the shared library korvane_sim,
// which defines pm_linuxalsa_init and pm_linuxalsa_term; loaded before libportmidi.so it takes the
// place of PortMidi's ALSA backend, and the real PortMidi does everything above it (device list,
// queues, filters, channel masks, SysEx packing four bytes per event).
//
// Running the built program against a simulated unit (sim_preload)
// ---------------------------------------------------------------
// The library is build/tests/sim/libkorvane_sim.so. Preload it and name the devices in
// KORVANE_SIM_DEVICES (read only by this library, at the first Pm_Initialize of a process whose
// list was not set in code):
//
//   KORVANE_SIM_DEVICES=unit LD_PRELOAD=$PWD/build/tests/sim/libkorvane_sim.so ./build/bin/Korvane
//
// KORVANE_SIM_DEVICES is a list of entries separated by ',':
//   unit[:<behaviour>...]    the input "Simulated Unit In" and the output "Simulated Unit Out"
//                            (interface "Simulated"), with the simulated unit wired between them;
//                            behaviours, any number of them in order: normal (the default), silent,
//                            nak, blocks-only (acknowledges firmware blocks only), any-device (takes
//                            frames whatever their device byte), lag:<polls>, delay-ms:<milliseconds>
//                            (each answer readable only that long after the frame it answers),
//                            silent-after:<frames> (answers that many frames, then none; a negative
//                            count: never), or clock (a 0xF8 after every second byte of each answer)
//   in:<name>[:<interface>]  an input device, interface "Simulated" unless given
//   out:<name>[:<interface>] an output device
// for example KORVANE_SIM_DEVICES='in:Keyboard:ALSA,unit:lag:3:silent-after:40'; malformed entries
// are skipped.
// Without KORVANE_SIM_DEVICES the list is empty, as on a machine without MIDI devices.
//
// Linking
// -------
// A program linked with korvane_sim must list it before libportmidi (link korvane_sim before
// PortMidi::PortMidi); the target adds --no-as-needed so that the library stays even where the
// program calls nothing of it. installed() tells whether the backend is in place; the library
// also says so on stderr when it is loaded too late.
//
// Device numbers
// --------------
// A device is named by its index in the list given to setDevices. The backend adds the devices to
// PortMidi in list order and is the only backend, so the index is also the PortMidi device number.
//
// Threads
// -------
// Input reaches PortMidi from the backend's poll function (called by Pm_Poll and Pm_Read), so a
// test needs no threads. The state is guarded by one lock, so a test may also queue from another
// thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim
{

// True when PortMidi reaches this backend (pm_linuxalsa_init resolves to this library).
bool installed();

// One simulated device.
struct Device {
    std::string name;
    std::string interf = "Simulated";
    bool input = false; // true: an input device; false: an output device
};

// The device list. It takes effect at the next Pm_Initialize and stays in force across
// Pm_Terminate and later Pm_Initialize calls until it is set again, so a test can change it before
// a re-initialise. Setting it from code also overrides KORVANE_SIM_DEVICES.
void setDevices(std::vector<Device> devices);
// The list in force since the last Pm_Initialize (what PortMidi lists now).
std::vector<Device> activeDevices();
// Index (= PortMidi device number) of the active device with that name and direction, or -1.
int findDevice(std::string_view name, bool input);

// Clears all traffic, queued input, injected errors and the unit (detached, default behaviour,
// nothing received). The device list stays. Call it between tests.
void reset();

// ---- Output devices: what the program wrote ----

enum class Kind {
    Short,    // a short message (write_short): its 1 to 3 bytes by status
    SysEx,    // a complete System Exclusive message, F0 to F7 inclusive
    Realtime, // a real-time message written in the middle of a SysEx message (write_realtime)
    Partial,  // SysEx bytes that never reached F7 (closed or aborted mid-message)
};

struct Message {
    Kind kind = Kind::Short;
    std::vector<std::uint8_t> bytes;
    std::int32_t timestamp = 0;
};

// Messages completed on the output device, in order of completion (a real-time message written
// inside a SysEx therefore comes before that SysEx).
std::vector<Message> received(int device);
// Every byte written to the output device, in wire order (a real-time byte inside a SysEx stands
// where it was sent).
std::vector<std::uint8_t> receivedBytes(int device);
void clearReceived(int device);

// ---- Input devices: what the program will read ----

// Queues a short message (a PortMidi message word: status | data1 << 8 | data2 << 16). It arrives as
// its bytes on the wire would, by the rules of queueBytes: nothing for F4, F5, F9, FD or an F7 that
// ends no SysEx.
void queueShort(int device, std::uint32_t message);
// Queues a byte string as it would arrive on the wire: SysEx messages, possibly with real-time
// bytes (0xF8 to 0xFF) inside them, and short messages. As the ALSA backend does, SysEx bytes are
// handed to PortMidi as SysEx data (pm_read_bytes) and every real-time byte and every short message
// outside a SysEx as a short message (pm_read_short); stray data bytes outside a SysEx are dropped,
// and so are the bytes for which the sequencer has no event (F4, F5, F9, FD, and an F7 that ends no
// SysEx). A byte string that begins with data bytes continues a SysEx that the one before it left
// open, so a SysEx can be queued in pieces, as a slow line delivers it.
void queueBytes(int device, std::vector<std::uint8_t> bytes);
// Queues short messages that arrive one at every second poll of the device, as a steady stream of
// input does: it goes on while it is read, as fast as a reader that polls and reads each event.
void queueStream(int device, const std::vector<std::uint32_t> &messages);
// Items queued but not yet handed to PortMidi.
std::size_t pendingInput(int device);
// Queued input waits until the device is opened and is handed over, all of it, at the next poll
// of the open stream. Closing an input drops what is still pending.

// ---- State and injected errors ----

bool isOpen(int device);
// How often the device has been opened since reset().
int openCount(int device);
// Makes the next opens of the device fail with pmHostError and this host error text; an empty text
// lets opens succeed again.
void failOpen(int device, std::string hostErrorText);
// Makes writes to the open output fail with pmHostError and this host error text (reported through
// Pm_HasHostError / Pm_GetHostErrorText); an empty text lets writes succeed again.
void failWrites(int device, std::string hostErrorText);

// ---- The simulated unit ----
//
// It reads every frame written to its output device, F0 7E <device 127> <command> <n> <payload
// packed seven into eight> F7, and answers on its input device with frames of the same form,
// F0 7E 7F <answer> <n> <packed payload> F7:
//   0x03 reset, 0x09 enable update, 0x32 factory settings, 0x34 set address (4 bytes): acknowledged
//   0x04 firmware block: acknowledged; the blocks' bytes make up the image, the empty block ends it
//        (a block after the end, or an enable, starts a new image)
//   0x11 read revisions: revision data 0x21 with the revision payload (6 or 10 bytes)
//   0x33 read address: the address answer 0x43 with the four address bytes
//   any other command, a payload of the wrong size for its command, or a malformed frame (a length
//   that does not match the frame's size, a data byte with bit 7 set, a high-bit byte with bits
//   beyond its group): negative acknowledgement 0x7E
// An acknowledgement is F0 7E 7F 7F 00 F7 and a negative acknowledgement F0 7E 7F 7E 00 F7.
// Frames for another device byte (unless the unit takes any, setUnitTakesAnyDevice) and SysEx that
// does not begin F0 7E are recorded (not valid) and not answered; short messages are ignored.
// Answers produced while the input device is not open are lost, as on a real port.

enum class Mode {
    Normal,     // answers as above
    Silent,     // takes every frame as in Normal (the image grows) but answers nothing
    Nak,        // rejects every unit frame: a negative acknowledgement, nothing taken
    BlocksOnly, // takes every frame as in Normal, but acknowledges firmware blocks only: the two
                // requests get their answers, a block its acknowledgement (or a negative one when
                // malformed), and every other frame nothing at all
};

// One frame the unit received.
struct Command {
    std::vector<std::uint8_t> frame;   // the frame as received, F0 to F7
    std::uint8_t deviceByte = 0;       // offset 2
    std::uint8_t code = 0;             // offset 3
    std::vector<std::uint8_t> payload; // unpacked payload (n bytes when well formed)
    bool valid = false;                // well formed and addressed to device byte 127
    std::string error;                 // why not valid (empty when valid)
};

// Wires the unit between an output device (what it hears) and an input device (where it answers).
void attachUnit(int output, int input);
void detachUnit();
void setUnitMode(Mode mode);
// The unit takes frames whatever their device byte (true), or only those for device byte 127
// (false, the default); frames it does not take get no answer.
void setUnitTakesAnyDevice(bool any);
// Answers become readable only after this many further polls of the input device (0: at the
// next). PortMidi polls the backend in every Pm_Poll and every Pm_Read. The unit handles one frame
// at a time: each answer takes its polls after the answer before it, as a busy unit's would.
void setUnitLag(int polls);
// Each answer becomes readable only this long after the unit heard the frame, or after the answer
// before it became readable when that is later, whatever the polls (0: at once). With a lag too, an
// answer waits for both.
void setUnitDelay(std::chrono::milliseconds delay);
// Puts this real-time byte into every answer after each `every` bytes (every = 0: none). Inside a
// SysEx PortMidi packs it into the SysEx events, in its place.
void setUnitInterleave(std::uint8_t realtime, int every);
// Real-time bytes (0xF8 to 0xFF) the unit sends before each answer, outside the answer's SysEx, so
// that they stand between its answers; PortMidi hands each over as an event of its own (and its
// default filter drops 0xFE). They are queued as soon as the unit answers, so with a lag they
// arrive while the answer is held back. Empty (the default): none. False, and nothing changed, when
// a byte is not a real-time byte.
bool setUnitRealtimeBetween(std::vector<std::uint8_t> bytes);
// The unit answers until it has heard this many more frames (counted from this call, every SysEx
// on its output included), then answers nothing at all; it still takes frames as its mode says (in
// Normal the image grows). A negative count: never (the default).
void setUnitSilentAfter(int frames);
// Payload of the revision answer: hardware (2), core revision (2), core build (2), and optionally
// main revision (2) and main build (2). The default is 01 00 02 05 00 1A 03 01 00 2C.
void setUnitRevision(std::vector<std::uint8_t> payload);
// The unit's address (default 10.1.128.255); a set-address command changes it.
void setUnitAddress(std::vector<std::uint8_t> address);
std::vector<std::uint8_t> unitAddress();

// Every frame the unit received, in order.
std::vector<Command> unitCommands();
// The firmware image: the bytes of the data blocks received since the image began, in order.
std::vector<std::uint8_t> unitImage();
// True once the empty block has ended the image.
bool unitImageComplete();
// Payload sizes of the image's blocks, in order (the empty block included once it arrived).
std::vector<std::size_t> unitBlockSizes();
// For each block of the image, in order: how many blocks of the image before it were still
// unanswered when it arrived. A block is answered once its answer has been handed over on the input
// (after the unit's lag); a silent unit answers none. All zero when blocks and answers alternate.
std::vector<std::size_t> unitUnansweredBeforeEachBlock();
// Raw answers the unit has produced (before interleaving), in order.
std::vector<std::vector<std::uint8_t>> unitAnswers();

// ---- Long runs ----
//
// Everything above is kept for as long as the traffic runs. A run that must not grow with the
// traffic (a benchmark of the program's own memory) calls checkImageOnly with the image the unit
// is to receive: from then on nothing written, heard or answered is kept (received, receivedBytes,
// unitCommands, unitAnswers, unitImage, unitBlockSizes and unitUnansweredBeforeEachBlock hold
// only what came before), and the unit compares each block with the expected image instead, as
// unitImageCheck tells. The unit answers as before. reset() keeps everything again.

struct ImageCheck {
    std::size_t blocks = 0; // blocks of the image, the empty one included once it arrived
    std::size_t bytes = 0;  // their bytes
    bool complete = false;  // the empty block has ended the image
    bool intact = true;     // every byte so far at its place in the expected image, and once
                            // complete, all of it
};
void checkImageOnly(std::vector<std::uint8_t> expected);
// Since the image began (an enable, or a block after the end of the last image, begins one).
ImageCheck unitImageCheck();

// ---- Frame helpers (the unit's own packing, usable by tests to build expectations) ----

// F0 7E <deviceByte> <code> <n> <payload packed seven into eight> F7.
std::vector<std::uint8_t> packFrame(std::uint8_t code, const std::vector<std::uint8_t> &payload,
                                    std::uint8_t deviceByte = 0x7F);

} // namespace sim
