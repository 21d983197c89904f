// The host's callbacks as the plug-in reaches them, and the helpers all members share.

#include "tessel.h"

#include <cstdlib>
#include <cstring>

namespace tessel
{

namespace
{

REALresolver hostResolver = nullptr;
double storedHostVersion = 0;

// One callback: looked up by name on first use, the answer (possibly nil) kept.
template <typename Proc> class Callback
{
  public:
    explicit constexpr Callback(const char *name) : name_(name) {}
    Proc get() noexcept
    {
        if (!looked_ && hostResolver) {
            proc_ = reinterpret_cast<Proc>(hostResolver(name_));
            looked_ = true;
        }
        return proc_;
    }

  private:
    const char *name_;
    Proc proc_ = nullptr;
    bool looked_ = false;
};

Callback<REALinRuntimeProc> cbInRuntime{RB_CB_IN_RUNTIME};
Callback<RegisterPluginVersionProc> cbRegisterVersion{RB_CB_REGISTER_PLUGIN_VERSION};
Callback<PluginRegisterClassProc> cbRegisterClass{RB_CB_REGISTER_CLASS};
Callback<PluginNewInstanceProc> cbNewInstance{RB_CB_NEW_INSTANCE};
Callback<REALUnlockObjectProc> cbUnlockObject{RB_CB_UNLOCK_OBJECT};
Callback<REALBuildStringProc> cbBuildString{RB_CB_BUILD_STRING};
Callback<REALSetStringEncodingProc> cbSetEncoding{RB_CB_SET_STRING_ENCODING};
Callback<REALLockStringProc> cbLockString{RB_CB_LOCK_STRING};
Callback<REALUnlockStringProc> cbUnlockString{RB_CB_UNLOCK_STRING};
Callback<memoryBlockGetPtrProc> cbBlockPtr{RB_CB_MEMORYBLOCK_PTR};
Callback<memoryBlockGetSizeProc> cbBlockSize{RB_CB_MEMORYBLOCK_SIZE};
Callback<REALSetPropValueStringProc> cbSetPropString{RB_CB_SET_PROP_STRING};
Callback<RuntimeRaiseExceptionProc> cbRaise{RB_CB_RAISE_EXCEPTION};
Callback<PluginGetStringDataProc> cbGetStringData{RB_CB_GET_STRING_DATA};
Callback<PluginDisposeStringDataProc> cbDisposeStringData{RB_CB_DISPOSE_STRING_DATA};
Callback<StringGetCStringProc> cbCString{RB_CB_STRING_CSTRING};
Callback<REALLoadGlobalMethodProc> cbLoadGlobal{RB_CB_LOAD_GLOBAL_METHOD};

LenBProc lenB = nullptr;
bool lenBLooked = false;

} // namespace

void setResolver(REALresolver resolver) noexcept
{
    hostResolver = resolver;
}
void setHostVersion(double version) noexcept
{
    storedHostVersion = version;
}
double hostVersion() noexcept
{
    return storedHostVersion;
}

bool hostInRuntime() noexcept
{
    auto f = cbInRuntime.get();
    return f && f() != 0;
}

void hostRegisterPluginVersion(int32_t version) noexcept
{
    if (auto f = cbRegisterVersion.get())
        f(version);
}

RBBoolean hostRegisterClass(REALclassDefinition *definition) noexcept
{
    auto f = cbRegisterClass.get();
    return f ? f(definition) : 0;
}

REALobject hostNewInstance(const char *className) noexcept
{
    auto f = cbNewInstance.get();
    return f ? f(className) : nullptr;
}

void hostUnlockObject(REALobject object) noexcept
{
    if (auto f = cbUnlockObject.get(); f && object)
        f(object);
}

REALstring hostBuildString(const char *bytes, int32_t length) noexcept
{
    auto f = cbBuildString.get();
    return f ? f(bytes, length) : nullptr;
}

void hostSetStringEncoding(REALstring string, RBStringEncoding encoding) noexcept
{
    if (auto f = cbSetEncoding.get(); f && string)
        f(string, encoding);
}

void hostLockString(REALstring string) noexcept
{
    if (auto f = cbLockString.get(); f && string)
        f(string);
}

void hostUnlockString(REALstring string) noexcept
{
    if (auto f = cbUnlockString.get(); f && string)
        f(string);
}

void *hostMemoryBlockPtr(REALmemoryBlock block) noexcept
{
    auto f = cbBlockPtr.get();
    return f && block ? f(block) : nullptr;
}

bool hostMemoryBlockSize(REALmemoryBlock block, int32_t *size) noexcept
{
    auto f = cbBlockSize.get();
    if (!f || !block)
        return false;
    *size = f(block);
    return true;
}

RBBoolean hostSetPropValueString(REALobject object, const char *name, REALstring value) noexcept
{
    auto f = cbSetPropString.get();
    return f && object ? f(object, name, value) : 0;
}

bool hostRaiseException(REALobject exception) noexcept
{
    auto f = cbRaise.get();
    if (!f)
        return false;
    f(exception);
    return true;
}

bool hostHasGetStringData() noexcept
{
    return cbGetStringData.get() != nullptr;
}

bool hostGetStringData(REALstring string, RBStringEncoding encoding, REALstringData *out) noexcept
{
    auto f = cbGetStringData.get();
    return f && string && f(string, encoding, out) != 0;
}

void hostDisposeStringData(REALstringData *data) noexcept
{
    if (auto f = cbDisposeStringData.get())
        f(data);
}

const char *hostStringCString(REALstring string) noexcept
{
    auto f = cbCString.get();
    return f && string ? f(string) : nullptr;
}

int32_t hostLenB(REALstring string) noexcept
{
    if (!lenBLooked) {
        if (auto load = cbLoadGlobal.get())
            lenB = reinterpret_cast<LenBProc>(load(nullptr, RB_GLOBAL_LENB));
        lenBLooked = true;
    }
    return lenB && string ? lenB(string) : 0;
}

// ---- Shared helpers -------------------------------------------------------------------------

RBBoolean MyREALRegisterClass(REALclassDefinition *definition) noexcept
{
    if (definition->dataSize % 16 != 0)
        definition->dataSize = (definition->dataSize / 16 + 1) * 16;
    return hostRegisterClass(definition);
}

REALstring REALBuildUnicodeString(const char *bytes, int32_t length, RBStringEncoding encoding) noexcept
{
    if (!bytes || length <= 0)
        return nullptr;
    REALstring s = hostBuildString(bytes, length);
    hostSetStringEncoding(s, encoding);
    return s;
}

REALstring asciiString(const char *text) noexcept
{
    if (!text)
        return nullptr;
    size_t length = std::strlen(text);
    if (length > INT32_MAX)
        return nullptr;
    return REALBuildUnicodeString(text, int32_t(length), RB_ENCODING_ASCII);
}

void RaiseException(const char *className, const char *message) noexcept
{
    REALobject exception = className ? hostNewInstance(className) : nullptr;
    if (!exception)
        exception = hostNewInstance("NilObjectException");
    if (!exception)
        return;
    REALstring text = asciiString(message);
    hostSetPropValueString(exception, "Message", text);
    // The exception's reference passes to the host; without a way to raise it, it is ours to drop.
    if (!hostRaiseException(exception))
        hostUnlockObject(exception);
    hostUnlockString(text);
}

rbData::rbData(REALstring string) noexcept
{
    if (!string)
        return;
    if (hostVersion() >= 2013 && hostHasGetStringData()) {
        if (hostGetStringData(string, RB_ENCODING_RAW, &record_)) {
            fromRecord_ = true;
            data_ = static_cast<const unsigned char *>(record_.data);
            size_ = record_.data ? record_.length : 0;
        }
        return;
    }
    string_ = string;
    hostLockString(string_);
    data_ = reinterpret_cast<const unsigned char *>(hostStringCString(string_));
    size_ = data_ ? hostLenB(string_) : 0;
    if (size_ < 0)
        size_ = 0;
}

rbData::~rbData()
{
    if (fromRecord_)
        hostDisposeStringData(&record_);
    hostUnlockString(string_);
}

void ClearMemory(void *memory, size_t size) noexcept
{
    if (memory && size)
        std::memset(memory, 0, size);
}

void *AllocateClearMemory(int64_t size) noexcept
{
    if (size < 0 || size > int64_t(UINT32_MAX))
        return nullptr;
    return std::calloc(1, size ? size_t(size) : 1);
}

void FreeMemoryNow(void *memory) noexcept
{
    std::free(memory);
}

} // namespace tessel
