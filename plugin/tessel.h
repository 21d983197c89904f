#pragma once
// Inside the plug-in tessel: the host's callbacks and the helpers every member shares.
// Nothing here may throw: every routine is called from the host through a C boundary.

#include "rbframework/rbplugin.h"

#include <cstddef>
#include <cstdint>
#include <portmidi.h>

namespace tessel
{

// ---- The host -------------------------------------------------------------------------------

void setResolver(REALresolver resolver) noexcept;
void setHostVersion(double version) noexcept;
double hostVersion() noexcept; // 0 when the host did not say

// Each looked up on first use and kept; a missing callback does nothing and answers nil/0/false.
bool hostInRuntime() noexcept;
void hostRegisterPluginVersion(int32_t version) noexcept;
RBBoolean hostRegisterClass(REALclassDefinition *definition) noexcept;
REALobject hostNewInstance(const char *className) noexcept;
void hostUnlockObject(REALobject object) noexcept;
REALstring hostBuildString(const char *bytes, int32_t length) noexcept;
void hostSetStringEncoding(REALstring string, RBStringEncoding encoding) noexcept;
void hostLockString(REALstring string) noexcept;
void hostUnlockString(REALstring string) noexcept;
void *hostMemoryBlockPtr(REALmemoryBlock block) noexcept;
bool hostMemoryBlockSize(REALmemoryBlock block, int32_t *size) noexcept; // false: host cannot say
RBBoolean hostSetPropValueString(REALobject object, const char *name, REALstring value) noexcept;
bool hostRaiseException(REALobject exception) noexcept; // false: no such callback, nothing raised
bool hostGetStringData(REALstring string, RBStringEncoding encoding, REALstringData *out) noexcept;
bool hostHasGetStringData() noexcept;
void hostDisposeStringData(REALstringData *data) noexcept;
const char *hostStringCString(REALstring string) noexcept;
int32_t hostLenB(REALstring string) noexcept; // through the host's global method "LenB"

// ---- Shared helpers -------------------------------------------------------------------------

// Registers a class, first raising its data size to a multiple of 16 in the definition itself.
RBBoolean MyREALRegisterClass(REALclassDefinition *definition) noexcept;

// A new host string of `length` bytes tagged `encoding`; nil for no bytes or length <= 0.
REALstring REALBuildUnicodeString(const char *bytes, int32_t length, RBStringEncoding encoding) noexcept;

// An ASCII-tagged string from a zero-terminated text (its bytes as they stand); nil when empty.
REALstring asciiString(const char *text) noexcept;

// Raises an exception of the named class (NilObjectException when the host has no such class)
// carrying `message`.
void RaiseException(const char *className, const char *message) noexcept;

// Borrows a host string's bytes without conversion for as long as it lives.
class rbData
{
  public:
    explicit rbData(REALstring string) noexcept;
    ~rbData();
    rbData(const rbData &) = delete;
    rbData &operator=(const rbData &) = delete;

    const unsigned char *data() const noexcept { return data_; }
    int32_t size() const noexcept { return size_; }

  private:
    REALstring string_ = nullptr; // held (older hosts only)
    REALstringData record_{};     // handed out by the host (hosts from 2013)
    bool fromRecord_ = false;
    const unsigned char *data_ = nullptr;
    int32_t size_ = 0;
};

void ClearMemory(void *memory, size_t size) noexcept;
void *AllocateClearMemory(int64_t size) noexcept; // nil for a negative size or one past 32 bits
void FreeMemoryNow(void *memory) noexcept;

// ---- The classes ----------------------------------------------------------------------------

// A member routine as the class tables hold it.
#define PROC(f) reinterpret_cast<REALproc>(f)

// The flag word of every class definition and method entry.
constexpr uint32_t entryFlags = 4;

extern REALclassDefinition PortMidiStreamTSLClass;
extern REALclassDefinition PortMidiEventTSLClass;
extern REALclassDefinition PortMidiTSLClass;
extern REALclassDefinition PortMidiDeviceInfoTSLClass;

// Counts PortMidi (re)initialisations; a device-info object made under an older count is stale.
uint32_t portMidiGeneration() noexcept;

// PortMidi's text for an error number; a member of both the stream and the device list.
REALstring ErrorText(REALobject self, int32_t errorNumber) noexcept;

// Open streams, so that ReInitialize can close them before PortMidi forgets them.
void closeAllStreamsForReInitialize() noexcept;

REALobject NewPortMidiEventTSL(PmMessage message, PmTimestamp timestamp) noexcept;
REALobject NewPMDeviceInfoTSL(const PmDeviceInfo *record) noexcept;

// The event's message and time stamp (zero for nil).
PmEvent eventOf(REALobject event) noexcept;

} // namespace tessel
