#pragma once
// The plug-in host: loads plug-ins, answers their callbacks, keeps their classes, and owns the
// objects and strings that travel between the program and plug-in code.
//
// How the program uses it (one process-wide host: rb::PluginHost &host = rb::pluginHost()):
//   QString err = host.load(rb::PluginHost::pluginsFolder() + "/libtessel.so");   // "" on success
//   REALproc entry = host.lookupEntrypoint("PortMidiStreamTSL.Poll as integer");  // nil: not found
//   REALobject s = host.newObject("PortMidiStreamTSL");   // zero-filled, one reference
//   host.invoke<void(REALobject)>(initEntry, s);          // the program runs the constructor itself
//   int32_t r = host.invoke<int32_t(REALobject)>(entry, s);   // calls, then raisePending()
//   host.releaseObject(s);                                // destructor runs at the last release
//   QString t = host.takeString(returnedString);          // reads and drops a returned string
//   REALstring arg = host.makeString(QStringLiteral("F0 F7"));   // caller releases it afterwards
//   REALmemoryBlock mb = rb::PluginHost::memoryBlock(&block);    // borrowed for the call
// Entries are called only through the signature the declaration names (Integer: int32_t, Boolean:
// RBBoolean, strings/blocks/objects as REAL* handles, byref: address of the variable). A plug-in
// raises exceptions through a callback; the host keeps it pending and raisePending() (done by
// invoke) throws it as rb::NilObjectException / rb::OutOfBoundsException / rb::RuntimeException
// after the plug-in code has returned, by the built-in class the exception's class is or derives
// from. Nothing stays pending past the call that raised it: load() fails with what REALPluginMain
// raised, and releaseObject() hands what a destructor raised to rb::dispatch's unhandled path.

#include "exceptions.h"
#include "memoryblock.h"
#include "rbplugin.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace rb
{

class PluginHost
{
  public:
    // A class known to the host, in registration order. `definition` is the plug-in's own record
    // (nil for the host's built-in classes); `dataSize` the instance data size as registered.
    struct ClassInfo {
        std::string name;
        std::string superName;
        const REALclassDefinition *definition = nullptr;
        uint32_t dataSize = 0;
        bool builtIn = false;
    };

    PluginHost(const PluginHost &) = delete;
    PluginHost &operator=(const PluginHost &) = delete;

    // Loads a plug-in (dlopen, RTLD_NOW | RTLD_LOCAL) and runs its REALPluginMain. Answers "" on
    // success or a text naming the path and the cause: a file the loader must not map (see
    // pluginFileProblem), the loader's error, or what REALPluginMain raised. Plug-ins stay loaded for
    // the life of the process; loading one again does not start it again and answers as the first time.
    QString load(const QString &path);
    // The folder plug-ins are loaded from: "plugins" beside the executable.
    static QString pluginsFolder();

    // What the host answers to "REALinRuntime" (default true) and "REALGetRBVersion" (2019.0).
    void setInRuntime(bool inRuntime) { inRuntime_ = inRuntime; }
    bool inRuntime() const { return inRuntime_; }
    void setRBVersion(double version) { rbVersion_ = version; }
    double rbVersion() const { return rbVersion_; }

    // The resolver handed to every plug-in's REALPluginMain.
    static REALresolver resolver();

    // Plug-in versions given to "RegisterPluginVersion", in order.
    const std::vector<int32_t> &pluginVersions() const { return pluginVersions_; }
    // Callback names asked of the resolver that it does not know, in order.
    const std::vector<std::string> &unknownCallbacks() const { return unknownCallbacks_; }

    // Classes registered by plug-ins, in registration order (built-ins not included).
    std::vector<const ClassInfo *> registeredClasses() const;
    const ClassInfo *findClass(const QString &name) const;

    // An entry by declaration string: "Class.Method declaration", "Class.__init", "Class.__exit",
    // "Class.Property.Get" / ".Set"; "_" answers the host's own (a no-op). Nil when not found.
    REALproc lookupEntrypoint(const QString &declaration) const;

    // Objects. newObject gives zero-filled data and one reference and runs no constructor.
    REALobject newObject(const QString &className);
    void lockObject(REALobject object);
    // Nil is ignored. What the destructor raises goes to rb::dispatch's unhandled path; it never throws.
    void releaseObject(REALobject object);
    QString className(REALobject object) const;  // "" for nil
    int referenceCount(REALobject object) const; // 0 for nil

    // Strings. A nil string reads as empty. QString conversions are Latin-1: bytes pass unchanged.
    REALstring makeString(const QByteArray &bytes, RBStringEncoding encoding = RB_ENCODING_ASCII);
    REALstring makeString(const QString &text, RBStringEncoding encoding = RB_ENCODING_ASCII);
    static QByteArray stringBytes(REALstring string);
    static QString toQString(REALstring string);
    static RBStringEncoding stringEncoding(REALstring string); // 0 for nil
    QString takeString(REALstring string);                     // reads it, then drops one reference
    void lockString(REALstring string);
    void releaseString(REALstring string);

    // A String property of an object: an exception's "Message" (the host keeps it for the built-in
    // exception classes and every class derived from them), or a plug-in getter.
    QString stringProperty(REALobject object, const QString &name);

    // A framework memory block as the plug-in sees it; borrowed, valid while the block lives.
    static REALmemoryBlock memoryBlock(MemoryBlock *block)
    {
        return reinterpret_cast<REALmemoryBlock>(block);
    }
    static REALmemoryBlock memoryBlock(const MemoryBlockPtr &block) { return memoryBlock(block.get()); }

    // The exception a plug-in raised and the caller has not yet received.
    bool hasPending() const { return pending_ != nullptr; }
    void raisePending(); // throws it (and forgets it); does nothing when none is pending
    void clearPending(); // forgets it without throwing

    // Calls an entry with the given signature, then raises what the plug-in raised.
    template <typename Signature, typename... Args> auto invoke(REALproc entry, Args &&...args)
    {
        if (!entry)
            throw RuntimeException(QStringLiteral("plug-in member is not bound"));
        auto fn = reinterpret_cast<Signature *>(entry);
        if constexpr (std::is_void_v<decltype(fn(std::forward<Args>(args)...))>) {
            fn(std::forward<Args>(args)...);
            raisePending();
        } else {
            auto result = fn(std::forward<Args>(args)...);
            if (pending_) {
                std::exception_ptr raised = takePending();
                // The caller never sees the result: drop its reference.
                if constexpr (std::is_same_v<decltype(result), REALstring>)
                    releaseString(result);
                else if constexpr (std::is_same_v<decltype(result), REALobject>)
                    releaseObject(result);
                std::rethrow_exception(raised);
            }
            return result;
        }
    }

    // Live counts, for leak checks in tests.
    int liveObjects() const { return liveObjects_; }
    int liveStrings() const { return liveStrings_; }

  private:
    struct Impl; // the callbacks plug-ins reach
    friend PluginHost &pluginHost();
    PluginHost() = default;
    ~PluginHost() = default; // never runs: the host lives as long as the plug-ins it loaded

    struct Loaded {
        void *handle;
        QString failure; // what load() answered; "" when the plug-in started
    };

    // Takes the pending exception as the C++ exception it becomes, releasing the object; nil when
    // none is pending.
    std::exception_ptr takePending();

    std::vector<std::unique_ptr<ClassInfo>> classes_;
    std::vector<Loaded> loaded_;
    std::vector<int32_t> pluginVersions_;
    std::vector<std::string> unknownCallbacks_;
    REALobject pending_ = nullptr;
    bool inRuntime_ = true;
    double rbVersion_ = 2019.0;
    int liveObjects_ = 0;
    int liveStrings_ = 0;
};

PluginHost &pluginHost();

} // namespace rb
