#include "pluginhost.h"

#include "dispatch.h"
#include "pluginfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <exception>
#include <new>
#include <utility>

namespace rb
{

namespace
{

constexpr uint32_t objectMagic = 0x6F626A31; // "obj1"
constexpr uint32_t stringMagic = 0x73747231; // "str1"

// The instance data that follows belongs to the object's class alone. An exception's Message is kept
// in the header, so that a plug-in's exception class derived from a built-in one keeps its own
// instance data and still has a Message.
struct alignas(16) ObjectHeader {
    uint32_t magic;
    int32_t refs;
    const PluginHost::ClassInfo *cls;
    REALstring message; // exceptions only; nil for every other object
    uint64_t reserved;
};
static_assert(sizeof(ObjectHeader) == RB_OBJECT_HEADER_SIZE, "the header size plug-ins rely on");
static_assert(alignof(ObjectHeader) == 16);

struct HostString {
    uint32_t magic;
    int32_t refs;
    RBStringEncoding encoding;
    std::string bytes;
};

ObjectHeader *header(REALobject object)
{
    auto *h = reinterpret_cast<ObjectHeader *>(object);
    return h && h->magic == objectMagic ? h : nullptr;
}

HostString *hostString(REALstring string)
{
    auto *s = reinterpret_cast<HostString *>(string);
    return s && s->magic == stringMagic ? s : nullptr;
}

void hostNoOp() {}

} // namespace

// ---- The callbacks ---------------------------------------------------------------------------

struct PluginHost::Impl {
    static PluginHost &h() { return pluginHost(); }

    static ClassInfo *find(const char *name)
    {
        if (!name)
            return nullptr;
        for (auto &c : h().classes_)
            if (c->name == name)
                return c.get();
        return nullptr;
    }

    // The built-in exception class the class is or derives from; nil for any other class.
    static const ClassInfo *builtInBase(const ClassInfo *cls)
    {
        for (size_t steps = 0; cls && steps <= h().classes_.size(); ++steps) {
            if (cls->builtIn)
                return cls;
            cls = cls->superName.empty() ? nullptr : find(cls->superName.c_str());
        }
        return nullptr;
    }

    static bool isMessage(const ObjectHeader *hd, const char *name)
    {
        return std::strcmp(name, "Message") == 0 && builtInBase(hd->cls);
    }

    static REALobject create(ClassInfo *cls, bool runConstructor) noexcept
    {
        if (!cls)
            return nullptr;
        size_t size = sizeof(ObjectHeader) + (size_t(cls->dataSize) + 15) / 16 * 16;
        void *memory = std::aligned_alloc(16, size);
        if (!memory)
            return nullptr;
        std::memset(memory, 0, size);
        auto *hd = static_cast<ObjectHeader *>(memory);
        hd->magic = objectMagic;
        hd->refs = 1;
        hd->cls = cls;
        ++h().liveObjects_;
        auto object = reinterpret_cast<REALobject>(hd);
        if (runConstructor && cls->definition && cls->definition->constructor)
            cls->definition->constructor(object);
        return object;
    }

    static void destroy(ObjectHeader *hd) noexcept
    {
        auto object = reinterpret_cast<REALobject>(hd);
        const ClassInfo *cls = hd->cls;
        if (cls->definition && cls->definition->destructor)
            cls->definition->destructor(object);
        unlockString(hd->message);
        hd->magic = 0;
        std::free(hd);
        --h().liveObjects_;
    }

    static REALstring buildString(const char *bytes, int32_t length, RBStringEncoding encoding) noexcept
    {
        if (length < 0 || (length > 0 && !bytes))
            return nullptr;
        try {
            auto *s =
                new HostString{stringMagic, 1, encoding, std::string(bytes ? bytes : "", size_t(length))};
            ++h().liveStrings_;
            return reinterpret_cast<REALstring>(s);
        } catch (...) {
            return nullptr;
        }
    }

    // What plug-ins call.
    static RBBoolean inRuntime() noexcept { return h().inRuntime_ ? 1 : 0; }
    static double getRBVersion() noexcept { return h().rbVersion_; }

    static void registerPluginVersion(int32_t version) noexcept
    {
        try {
            h().pluginVersions_.push_back(version);
        } catch (...) {
        }
    }

    static RBBoolean registerClass(REALclassDefinition *def) noexcept
    {
        if (!def || !def->name || find(def->name))
            return 0;
        try {
            auto info = std::make_unique<ClassInfo>();
            info->name = def->name;
            info->superName = def->superName ? def->superName : "";
            info->definition = def;
            info->dataSize = def->dataSize;
            h().classes_.push_back(std::move(info));
            return 1;
        } catch (...) {
            return 0;
        }
    }

    static REALobject newInstance(const char *className) noexcept { return create(find(className), true); }

    static void unlockObject(REALobject object) noexcept
    {
        ObjectHeader *hd = header(object);
        if (hd && --hd->refs == 0)
            destroy(hd);
    }

    static REALstring buildStringCb(const char *bytes, int32_t length) noexcept
    {
        return buildString(bytes, length, 0);
    }

    static void setStringEncoding(REALstring string, RBStringEncoding encoding) noexcept
    {
        if (HostString *s = hostString(string))
            s->encoding = encoding;
    }

    static void lockString(REALstring string) noexcept
    {
        if (HostString *s = hostString(string))
            ++s->refs;
    }

    static void unlockString(REALstring string) noexcept
    {
        HostString *s = hostString(string);
        if (s && --s->refs == 0) {
            s->magic = 0;
            delete s;
            --h().liveStrings_;
        }
    }

    static void *memoryBlockPtr(REALmemoryBlock block) noexcept
    {
        auto *b = reinterpret_cast<MemoryBlock *>(block);
        return b ? b->data() : nullptr;
    }

    static int32_t memoryBlockSize(REALmemoryBlock block) noexcept
    {
        auto *b = reinterpret_cast<MemoryBlock *>(block);
        return b ? b->Size() : 0;
    }

    static const REALproperty *property(const ClassInfo *cls, const char *name)
    {
        const REALclassDefinition *def = cls ? cls->definition : nullptr;
        if (!def || !name)
            return nullptr;
        for (uint32_t i = 0; i < def->propertyCount; ++i)
            if (def->properties[i].name && std::strcmp(def->properties[i].name, name) == 0)
                return &def->properties[i];
        return nullptr;
    }

    static RBBoolean setPropValueString(REALobject object, const char *name, REALstring value) noexcept
    {
        ObjectHeader *hd = header(object);
        if (!hd || !name)
            return 0;
        if (isMessage(hd, name)) {
            lockString(value);
            unlockString(hd->message);
            hd->message = value;
            return 1;
        }
        const REALproperty *p = property(hd->cls, name);
        if (!p || !p->setter || !p->type || std::strcmp(p->type, "String") != 0)
            return 0;
        reinterpret_cast<void (*)(REALobject, intptr_t, REALstring)>(p->setter)(object, p->param, value);
        return 1;
    }

    static void raiseException(REALobject exception) noexcept
    {
        if (!header(exception))
            return;
        // The newest raise wins; an earlier one that nobody received is dropped.
        REALobject earlier = h().pending_;
        h().pending_ = exception;
        unlockObject(earlier);
    }

    static RBBoolean getStringData(REALstring string, RBStringEncoding, REALstringData *out) noexcept
    {
        if (!out)
            return 0;
        *out = REALstringData{};
        HostString *s = hostString(string);
        if (!s)
            return 0;
        void *copy = std::malloc(s->bytes.size() + 1);
        if (!copy)
            return 0;
        std::memcpy(copy, s->bytes.data(), s->bytes.size() + 1);
        out->data = copy;
        out->length = int32_t(s->bytes.size());
        out->encoding = s->encoding;
        return 1;
    }

    static void disposeStringData(REALstringData *data) noexcept
    {
        if (!data)
            return;
        std::free(const_cast<void *>(data->data));
        *data = REALstringData{};
    }

    static const char *stringCString(REALstring string) noexcept
    {
        HostString *s = hostString(string);
        return s ? s->bytes.c_str() : nullptr;
    }

    static int32_t lenB(REALstring string) noexcept
    {
        HostString *s = hostString(string);
        return s ? int32_t(s->bytes.size()) : 0;
    }

    static REALproc loadGlobalMethod(const char *, const char *prototype) noexcept
    {
        if (prototype && std::strcmp(prototype, RB_GLOBAL_LENB) == 0)
            return reinterpret_cast<REALproc>(&lenB);
        return nullptr;
    }

    static REALproc resolve(const char *name) noexcept
    {
        if (!name)
            return nullptr;
        struct Entry {
            const char *name;
            REALproc proc;
        };
#define RB_ENTRY(n, f) (Entry{n, reinterpret_cast<REALproc>(&f)})
        static const Entry table[] = {
            RB_ENTRY(RB_CB_IN_RUNTIME, inRuntime),
            RB_ENTRY(RB_CB_GET_RB_VERSION, getRBVersion),
            RB_ENTRY(RB_CB_REGISTER_PLUGIN_VERSION, registerPluginVersion),
            RB_ENTRY(RB_CB_REGISTER_CLASS, registerClass),
            RB_ENTRY(RB_CB_NEW_INSTANCE, newInstance),
            RB_ENTRY(RB_CB_UNLOCK_OBJECT, unlockObject),
            RB_ENTRY(RB_CB_BUILD_STRING, buildStringCb),
            RB_ENTRY(RB_CB_SET_STRING_ENCODING, setStringEncoding),
            RB_ENTRY(RB_CB_LOCK_STRING, lockString),
            RB_ENTRY(RB_CB_UNLOCK_STRING, unlockString),
            RB_ENTRY(RB_CB_MEMORYBLOCK_PTR, memoryBlockPtr),
            RB_ENTRY(RB_CB_MEMORYBLOCK_SIZE, memoryBlockSize),
            RB_ENTRY(RB_CB_SET_PROP_STRING, setPropValueString),
            RB_ENTRY(RB_CB_RAISE_EXCEPTION, raiseException),
            RB_ENTRY(RB_CB_GET_STRING_DATA, getStringData),
            RB_ENTRY(RB_CB_DISPOSE_STRING_DATA, disposeStringData),
            RB_ENTRY(RB_CB_STRING_CSTRING, stringCString),
            RB_ENTRY(RB_CB_LOAD_GLOBAL_METHOD, loadGlobalMethod),
        };
#undef RB_ENTRY
        for (const Entry &e : table)
            if (std::strcmp(e.name, name) == 0)
                return e.proc;
        try {
            h().unknownCallbacks_.emplace_back(name);
        } catch (...) {
        }
        return nullptr;
    }

    static void addBuiltIns(PluginHost &host)
    {
        for (const char *name : {"RuntimeException", "NilObjectException", "OutOfBoundsException"}) {
            auto info = std::make_unique<ClassInfo>();
            info->name = name;
            info->superName = std::strcmp(name, "RuntimeException") == 0 ? "" : "RuntimeException";
            info->builtIn = true;
            host.classes_.push_back(std::move(info));
        }
    }
};

PluginHost &pluginHost()
{
    static PluginHost *host = [] {
        auto *created = new PluginHost;
        PluginHost::Impl::addBuiltIns(*created);
        return created;
    }();
    return *host;
}

REALresolver PluginHost::resolver()
{
    return &Impl::resolve;
}

// ---- Loading -----------------------------------------------------------------------------------

QString PluginHost::pluginsFolder()
{
    const QString exeDir =
        QCoreApplication::instance()
            ? QCoreApplication::applicationDirPath()
            : QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
    return QDir(exeDir).filePath(QStringLiteral("plugins"));
}

namespace
{

QString messageOf(const std::exception_ptr &raised)
{
    try {
        std::rethrow_exception(raised);
    } catch (const RuntimeException &e) {
        return e.Message();
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}

} // namespace

QString PluginHost::load(const QString &path)
{
    const auto failure = [&path](const QString &cause) {
        return QStringLiteral("cannot load plug-in %1: %2").arg(path, cause);
    };
    // The loader maps the file as it stands: a damaged one must not reach it.
    const QString problem = pluginFileProblem(path);
    if (!problem.isEmpty())
        return failure(problem);
    void *handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = dlerror();
        return failure(QString::fromLocal8Bit(why ? why : "dlopen failed"));
    }
    for (const Loaded &l : loaded_) {
        if (l.handle == handle) {
            dlclose(handle); // drops the extra reference; the plug-in runs once
            return l.failure;
        }
    }
    auto entry = reinterpret_cast<REALPluginMainProc>(dlsym(handle, RB_PLUGIN_ENTRY));
    if (!entry) {
        dlclose(handle);
        return failure(QStringLiteral("it exports no %1").arg(QStringLiteral(RB_PLUGIN_ENTRY)));
    }
    const size_t index = loaded_.size();
    loaded_.push_back(Loaded{handle, {}});
    entry(&Impl::resolve);
    // What the plug-in raised while starting has no other caller: the load fails with it. The plug-in
    // stays loaded, with the classes it registered before it raised.
    if (std::exception_ptr raised = takePending()) {
        const QString message = messageOf(raised);
        loaded_[index].failure = failure(QStringLiteral("it raised an exception while loading: ") + message);
    }
    return loaded_[index].failure;
}

// ---- Classes and entries -------------------------------------------------------------------------

std::vector<const PluginHost::ClassInfo *> PluginHost::registeredClasses() const
{
    std::vector<const ClassInfo *> out;
    for (const auto &c : classes_)
        if (!c->builtIn)
            out.push_back(c.get());
    return out;
}

const PluginHost::ClassInfo *PluginHost::findClass(const QString &name) const
{
    std::string n = name.toStdString();
    for (const auto &c : classes_)
        if (c->name == n)
            return c.get();
    return nullptr;
}

REALproc PluginHost::lookupEntrypoint(const QString &declaration) const
{
    if (declaration == QLatin1String("_"))
        return &hostNoOp;
    const std::string text = declaration.toStdString();
    const size_t dot = text.find('.');
    if (dot == std::string::npos)
        return nullptr;
    const ClassInfo *cls = findClass(QString::fromStdString(text.substr(0, dot)));
    const REALclassDefinition *def = cls ? cls->definition : nullptr;
    if (!def)
        return nullptr;
    const std::string member = text.substr(dot + 1);
    if (member == "__init")
        return reinterpret_cast<REALproc>(def->constructor);
    if (member == "__exit")
        return reinterpret_cast<REALproc>(def->destructor);
    for (uint32_t i = 0; i < def->methodCount; ++i)
        if (def->methods[i].declaration && member == def->methods[i].declaration)
            return def->methods[i].function;
    if (member.size() > 4) {
        const std::string accessor = member.substr(member.size() - 4);
        const std::string name = member.substr(0, member.size() - 4);
        if (accessor == ".Get" || accessor == ".Set") {
            for (uint32_t i = 0; i < def->propertyCount; ++i) {
                const REALproperty &p = def->properties[i];
                if (p.name && name == p.name)
                    return accessor == ".Get" ? p.getter : p.setter;
            }
        }
    }
    return nullptr;
}

// ---- Objects -------------------------------------------------------------------------------------

REALobject PluginHost::newObject(const QString &className)
{
    return Impl::create(const_cast<ClassInfo *>(findClass(className)), false);
}

void PluginHost::lockObject(REALobject object)
{
    if (ObjectHeader *hd = header(object))
        ++hd->refs;
}

void PluginHost::releaseObject(REALobject object)
{
    // Only what this release raises is reported here; an exception already pending stays so.
    REALobject earlier = std::exchange(pending_, nullptr);
    Impl::unlockObject(object);
    // A destructor that raised has no caller to receive it: it goes where unhandled exceptions go.
    if (std::exception_ptr raised = takePending())
        dispatch([&raised] { std::rethrow_exception(raised); });
    pending_ = earlier;
}

QString PluginHost::className(REALobject object) const
{
    ObjectHeader *hd = header(object);
    return hd ? QString::fromStdString(hd->cls->name) : QString();
}

int PluginHost::referenceCount(REALobject object) const
{
    ObjectHeader *hd = header(object);
    return hd ? hd->refs : 0;
}

// ---- Strings -------------------------------------------------------------------------------------

REALstring PluginHost::makeString(const QByteArray &bytes, RBStringEncoding encoding)
{
    return Impl::buildString(bytes.constData(), int32_t(bytes.size()), encoding);
}

REALstring PluginHost::makeString(const QString &text, RBStringEncoding encoding)
{
    return makeString(text.toLatin1(), encoding);
}

QByteArray PluginHost::stringBytes(REALstring string)
{
    HostString *s = hostString(string);
    return s ? QByteArray(s->bytes.data(), qsizetype(s->bytes.size())) : QByteArray();
}

QString PluginHost::toQString(REALstring string)
{
    return QString::fromLatin1(stringBytes(string));
}

RBStringEncoding PluginHost::stringEncoding(REALstring string)
{
    HostString *s = hostString(string);
    return s ? s->encoding : 0;
}

QString PluginHost::takeString(REALstring string)
{
    QString text = toQString(string);
    releaseString(string);
    return text;
}

void PluginHost::lockString(REALstring string)
{
    Impl::lockString(string);
}
void PluginHost::releaseString(REALstring string)
{
    Impl::unlockString(string);
}

QString PluginHost::stringProperty(REALobject object, const QString &name)
{
    ObjectHeader *hd = header(object);
    if (!hd)
        return {};
    const std::string property = name.toStdString();
    if (Impl::isMessage(hd, property.c_str()))
        return toQString(hd->message);
    const REALproperty *p = Impl::property(hd->cls, property.c_str());
    if (!p || !p->getter || !p->type || std::strcmp(p->type, "String") != 0)
        return {};
    return takeString(invoke<REALstring(REALobject, intptr_t)>(p->getter, object, p->param));
}

// ---- Exceptions ----------------------------------------------------------------------------------

void PluginHost::clearPending()
{
    releaseObject(std::exchange(pending_, nullptr));
}

void PluginHost::raisePending()
{
    if (std::exception_ptr raised = takePending())
        std::rethrow_exception(raised);
}

std::exception_ptr PluginHost::takePending()
{
    REALobject pending = std::exchange(pending_, nullptr);
    if (!pending)
        return nullptr;
    std::exception_ptr raised;
    try {
        const QString message = stringProperty(pending, QStringLiteral("Message"));
        const ClassInfo *base = Impl::builtInBase(header(pending)->cls);
        const std::string kind = base ? base->name : std::string();
        if (kind == "NilObjectException")
            raised = std::make_exception_ptr(NilObjectException(message));
        else if (kind == "OutOfBoundsException")
            raised = std::make_exception_ptr(OutOfBoundsException(message));
        else
            raised = std::make_exception_ptr(RuntimeException(message));
    } catch (...) {
        raised = std::current_exception(); // a plug-in's Message getter raised in its turn
    }
    releaseObject(pending);
    return raised;
}

} // namespace rb
