#pragma once
// The plug-in tessel as the program sees it: loaded through the framework's host and reached only
// through entries looked up by declaration string.

#include "midilink/entrypoints.h"
#include "pm_init_count.h"
#include "rbframework/pluginhost.h"

#include <gtest/gtest.h>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tesseltest
{

inline rb::PluginHost &host()
{
    return rb::pluginHost();
}

inline int &initCountAfterLoad()
{
    static int count = -1;
    return count;
}

// Loads the built plug-in once per process; the first caller decides what "REALinRuntime" answers.
inline void loadTessel(bool inRuntime = true)
{
    static const QString error = [inRuntime] {
        host().setInRuntime(inRuntime);
        QString e = host().load(QStringLiteral(KORVANE_TESSEL_PATH));
        initCountAfterLoad() = portMidiInitCount();
        return e;
    }();
    ASSERT_EQ(error.toStdString(), "");
}

// The 48 declaration strings of the program's entries 70 to 117, in the program's order.
inline const std::vector<std::string> &programDeclarations()
{
    static const std::vector<std::string> d = [] {
        std::vector<std::string> out;
        for (int i = korvane::entrypoints::firstPluginEntry; i < korvane::entrypoints::tableSize; ++i)
            out.push_back(korvane::entrypoints::declaration(i).toStdString());
        return out;
    }();
    return d;
}

// The entry for a declaration; a missing one throws, naming it.
inline REALproc entry(const std::string &declaration)
{
    static std::map<std::string, REALproc> bound;
    auto it = bound.find(declaration);
    if (it != bound.end())
        return it->second;
    REALproc p = host().lookupEntrypoint(QString::fromStdString(declaration));
    if (!p)
        throw std::runtime_error("no entry for " + declaration);
    bound.emplace(declaration, p);
    return p;
}

// Calls an entry through the host, which raises what the plug-in raised.
template <typename Signature, typename... Args> auto call(const std::string &declaration, Args &&...args)
{
    return host().invoke<Signature>(entry(declaration), std::forward<Args>(args)...);
}

// One reference to a plug-in object, dropped at the end of scope.
class Obj
{
  public:
    Obj() = default;
    explicit Obj(REALobject object) : object_(object) {}
    ~Obj() { host().releaseObject(object_); }
    Obj(const Obj &) = delete;
    Obj &operator=(const Obj &) = delete;
    Obj(Obj &&o) noexcept : object_(std::exchange(o.object_, nullptr)) {}
    Obj &operator=(Obj &&o) noexcept
    {
        if (this != &o) {
            host().releaseObject(object_);
            object_ = std::exchange(o.object_, nullptr);
        }
        return *this;
    }
    REALobject get() const { return object_; }
    REALobject *out() { return &object_; } // for byref arguments
    explicit operator bool() const { return object_ != nullptr; }

  private:
    REALobject object_ = nullptr;
};

// A new object made as the program makes it: by the host, then its constructor when it has one.
inline Obj make(const std::string &className)
{
    Obj o(host().newObject(QString::fromStdString(className)));
    if (REALproc init = host().lookupEntrypoint(QString::fromStdString(className + ".__init")))
        host().invoke<void(REALobject)>(init, o.get());
    return o;
}

// ---- The members used most ----

inline int32_t intMember(const Obj &o, const std::string &decl)
{
    return call<int32_t(REALobject)>(decl, o.get());
}

inline int32_t countDevices()
{
    Obj list = make("PortMidiTSL");
    return intMember(list, "PortMidiTSL.CountDevices as integer");
}

inline Obj deviceInfo(int32_t id)
{
    Obj list = make("PortMidiTSL");
    return Obj(call<REALobject(REALobject, int32_t)>(
        "PortMidiTSL.DeviceInfo(DeviceID as integer) as PortMidiDeviceInfoTSL", list.get(), id));
}

inline QString stringGetter(const Obj &o, const std::string &decl)
{
    return host().takeString(call<REALstring(REALobject, intptr_t)>(decl, o.get(), intptr_t(0)));
}

inline bool boolGetter(const Obj &o, const std::string &decl)
{
    return call<RBBoolean(REALobject, intptr_t)>(decl, o.get(), intptr_t(0)) != 0;
}

inline int32_t intGetter(const Obj &o, const std::string &decl)
{
    return call<int32_t(REALobject, intptr_t)>(decl, o.get(), intptr_t(0));
}

inline void intSetter(const Obj &o, const std::string &decl, int32_t value)
{
    call<void(REALobject, intptr_t, int32_t)>(decl, o.get(), intptr_t(0), value);
}

inline int32_t openInput(const Obj &s, int32_t id, int32_t buffer = 100)
{
    return call<int32_t(REALobject, int32_t, int32_t)>(
        "PortMidiStreamTSL.OpenInput(DeviceID as integer, Buffersize as integer) as integer", s.get(), id,
        buffer);
}

inline int32_t openOutput(const Obj &s, int32_t id, int32_t buffer = 100, int32_t latency = 0)
{
    return call<int32_t(REALobject, int32_t, int32_t, int32_t)>(
        "PortMidiStreamTSL.OpenOutput(DeviceID as integer, Buffersize as integer, Latency as integer) as integer",
        s.get(), id, buffer, latency);
}

inline int32_t poll(const Obj &s)
{
    return intMember(s, "PortMidiStreamTSL.Poll as integer");
}

inline int32_t read(const Obj &s, Obj &data)
{
    return call<int32_t(REALobject, REALobject *)>(
        "PortMidiStreamTSL.Read(byref data as PortMidiEventTSL) as integer", s.get(), data.out());
}

inline void close(const Obj &s)
{
    call<void(REALobject)>("PortMidiStreamTSL.Close", s.get());
}

inline int32_t writeSysExBlock(const Obj &s, rb::MemoryBlock *block, int32_t offset, int32_t when = 0)
{
    return call<int32_t(REALobject, int32_t, REALmemoryBlock, int32_t)>(
        "PortMidiStreamTSL.WriteSysEx(When as integer, message as memoryblock, offset as integer) as integer",
        s.get(), when, rb::PluginHost::memoryBlock(block), offset);
}

inline int32_t writeSysExString(const Obj &s, const QByteArray *bytes, int32_t when = 0)
{
    REALstring str = bytes ? host().makeString(*bytes) : nullptr;
    int32_t r = 0;
    try {
        r = call<int32_t(REALobject, int32_t, REALstring)>(
            "PortMidiStreamTSL.WriteSysEx(When as integer, message as string) as integer", s.get(), when,
            str);
    } catch (...) {
        host().releaseString(str);
        throw;
    }
    host().releaseString(str);
    return r;
}

inline int32_t writeShort(const Obj &s, int32_t message, int32_t when = 0)
{
    return call<int32_t(REALobject, int32_t, int32_t)>(
        "PortMidiStreamTSL.WriteShort(When as integer, message as integer) as integer", s.get(), when,
        message);
}

inline int32_t write(const Obj &s, const Obj &event)
{
    return call<int32_t(REALobject, REALobject)>(
        "PortMidiStreamTSL.Write(data as PortMidiEventTSL) as integer", s.get(), event.get());
}

inline int32_t setFilter(const Obj &s, int32_t mask)
{
    return call<int32_t(REALobject, int32_t)>("PortMidiStreamTSL.SetFilter(filters as integer) as integer",
                                              s.get(), mask);
}

inline int32_t setChannelMask(const Obj &s, int32_t mask)
{
    return call<int32_t(REALobject, int32_t)>("PortMidiStreamTSL.SetChannelMask(mask as integer) as integer",
                                              s.get(), mask);
}

inline int32_t reInitialize()
{
    Obj list = make("PortMidiTSL");
    return intMember(list, "PortMidiTSL.ReInitialize as integer");
}

inline Obj event(uint32_t message, int32_t when = 0)
{
    Obj e(host().newObject(QStringLiteral("PortMidiEventTSL")));
    intSetter(e, "PortMidiEventTSL.RawMessage.Set", int32_t(message));
    intSetter(e, "PortMidiEventTSL.When.Set", when);
    return e;
}

// Every object and string the test made is gone again.
class NoLeaks : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        loadTessel();
        objects_ = host().liveObjects();
        strings_ = host().liveStrings();
    }
    void TearDown() override
    {
        EXPECT_FALSE(host().hasPending());
        host().clearPending();
        EXPECT_EQ(host().liveObjects(), objects_);
        EXPECT_EQ(host().liveStrings(), strings_);
    }

  private:
    int objects_ = 0;
    int strings_ = 0;
};

} // namespace tesseltest
