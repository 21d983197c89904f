// Start-up: the plug-in is loaded and all 48 of its members are bound by declaration string; the
// program's views reach the plug-in only through those entries; the built program comes up.

#include "app/startup.h"
#include "midilink/entrypoints.h"
#include "midilink/entrysignature.h"
#include "midilink/pluginclasses.h"
#include "rbframework/pluginhost.h"
#include "rbframework/testseam.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <array>
#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace
{

using namespace korvane;
namespace ep = korvane::entrypoints;

class Startup : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { bindPlugin(QStringLiteral(KORVANE_PLUGIN_PATH)); }
    void SetUp() override { rb::testseam::reset(); }
};

// One member as the plug-in registered it: the declaration string it is bound by, its routine,
// and the signature its declaration (and, for an accessor, its property's type) calls for.
struct Registered {
    std::string declaration;
    REALproc routine;
    std::string signature;
};

// The members the host holds, in the table's order: per class its constructor, destructor,
// methods in registration order, then each property's getter and setter.
std::vector<Registered> registeredMembers()
{
    std::vector<Registered> out;
    auto add = [&out](const QString &declaration, REALproc routine, const char *propertyType = "") {
        const auto signature = entrysignature::fromDeclaration(declaration.toStdString(), propertyType);
        out.push_back({declaration.toStdString(), routine, std::string(signature.view())});
    };
    for (const auto *cls : rb::pluginHost().registeredClasses()) {
        const REALclassDefinition &d = *cls->definition;
        const QString name = QString::fromLatin1(d.name);
        if (d.constructor)
            add(name + ".__init", reinterpret_cast<REALproc>(d.constructor));
        if (d.destructor)
            add(name + ".__exit", reinterpret_cast<REALproc>(d.destructor));
        for (uint32_t i = 0; i < d.methodCount; ++i)
            add(name + "." + QString::fromLatin1(d.methods[i].declaration), d.methods[i].function);
        for (uint32_t i = 0; i < d.propertyCount; ++i) {
            const REALproperty &p = d.properties[i];
            const QString prop = name + "." + QString::fromLatin1(p.name);
            add(prop + ".Get", p.getter, p.type);
            if (p.setter)
                add(prop + ".Set", p.setter, p.type);
        }
    }
    return out;
}

TEST_F(Startup, BindsEveryEntryToTheMemberThePluginRegistered)
{
    const std::vector<Registered> members = registeredMembers();
    ASSERT_EQ(members.size(), std::size_t(ep::tableSize - ep::firstPluginEntry));
    for (int i = ep::firstPluginEntry; i < ep::tableSize; ++i) {
        const Registered &member = members[std::size_t(i - ep::firstPluginEntry)];
        SCOPED_TRACE(std::to_string(i) + " " + member.declaration);
        EXPECT_EQ(ep::declaration(i).toStdString(), member.declaration);
        EXPECT_EQ(ep::entry(i), member.routine);
        EXPECT_FALSE(member.signature.empty()) << "a declaration the program cannot call";
        EXPECT_EQ(ep::signature(i), member.signature);
    }

    EXPECT_EQ(ep::declaration(0), "_");
    EXPECT_NE(ep::entry(0), nullptr);
    for (int i = 1; i < ep::firstPluginEntry; ++i)
        EXPECT_EQ(ep::entry(i), nullptr) << i;
}

TEST(EntrySignature, FollowsTheDeclarationAndRefusesWhatNoEntryCanTake)
{
    struct Case {
        const char *declaration;
        const char *propertyType;
        std::string_view signature; // "": not valid
    };
    const Case cases[] = {
        {"PortMidiTSL.__init", "", "(object)"},
        {"PortMidiStreamTSL.Close", "", "(object)"},
        {"PortMidiStreamTSL.Poll as integer", "", "integer(object)"},
        {"PortMidiStreamTSL.Read(byref data as PortMidiEventTSL) as integer", "",
         "integer(object, byref object)"},
        {"PortMidiStreamTSL.WriteSysEx(When as integer, message as memoryblock, offset as integer) as "
         "integer",
         "", "integer(object, integer, memoryblock, integer)"},
        {"PortMidiTSL.DeviceInfo(DeviceID as integer) as PortMidiDeviceInfoTSL", "",
         "object(object, integer)"},
        {"PortMidiDeviceInfoTSL.HasInput.Get", "Boolean", "boolean(object, param)"},
        {"PortMidiEventTSL.When.Set", "Integer", "(object, param, integer)"},
        {"PortMidiEventTSL.When.Set", "Double", ""},
        {"PortMidiStreamTSL.Read(byref data as integer) as integer", "", ""},
        {"PortMidiStreamTSL.Poll(", "", ""},
        {"PortMidiStreamTSL.Poll is integer", "", ""},
        {"Poll as integer", "", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(entrysignature::fromDeclaration(c.declaration, c.propertyType).view(), c.signature)
            << c.declaration;
}

TEST_F(Startup, ViewsCallThroughTheirEntriesAndReleaseWhatTheyMake)
{
    const int before = rb::pluginHost().liveObjects();
    {
        // Whatever MIDI devices this machine has: the number after the last names none.
        PortMidiTSL midi;
        const int devices = midi.CountDevices();
        EXPECT_GE(devices, 0);
        EXPECT_EQ(midi.DeviceInfo(devices), nullptr);
        EXPECT_EQ(midi.DeviceInfo(-1), nullptr);
        EXPECT_EQ(midi.ErrorText(-9999), midi.ErrorText(-9999));
        EXPECT_FALSE(midi.ErrorText(-9999).isEmpty());

        PortMidiStreamTSL stream;
        EXPECT_EQ(stream.Poll(), -1);
        EXPECT_EQ(stream.OpenInput(devices, 100), -9999);
        auto event = std::make_shared<PortMidiEventTSL>();
        EXPECT_EQ(stream.Read(event), -1);
        EXPECT_EQ(event, nullptr); // released and cleared even without a stream

        try {
            stream.WriteSysEx(0, rb::MemoryBlockPtr(), 0);
            ADD_FAILURE() << "a nil memory block must raise";
        } catch (const rb::NilObjectException &e) {
            EXPECT_EQ(e.Message(), "memoryblock is nil");
        }

        PortMidiEventTSL e;
        e.SetRaw(0xF0, 0x7E, 0x7F, 0xF7);
        EXPECT_EQ((std::array{e.RawData0(), e.RawData1(), e.RawData2(), e.RawData3()}),
                  (std::array{0xF0, 0x7E, 0x7F, 0xF7}));
        EXPECT_LT(e.RawMessage(), 0);
    }
    EXPECT_EQ(rb::pluginHost().liveObjects(), before);
}

TEST_F(Startup, MissingPluginIsReportedByPath)
{
    const QString path = QStringLiteral("/nonexistent/plugins/libtessel.so");
    EXPECT_THROW(bindPlugin(path), StartupFailed);
    ASSERT_EQ(rb::testseam::shownMessages().size(), 1);
    EXPECT_TRUE(rb::testseam::shownMessages().front().contains(path));
}

// Whether the process has a handler installed for the signal (its start-up has finished).
bool catches(qint64 pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

TEST(Program, StartsBindsAndQuitsOnSignal)
{
    QTemporaryDir settings;
    ASSERT_TRUE(settings.isValid());
    QProcess program;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // The program carries no suppression for PortMidi's own leak; its leaks are checked in-process.
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    env.insert("XDG_CONFIG_HOME", settings.path());
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(KORVANE_PROGRAM), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    for (int i = 0; i < 300 && program.state() == QProcess::Running && !catches(program.processId(), SIGTERM);
         ++i)
        QThread::msleep(50);
    ASSERT_EQ(program.state(), QProcess::Running) << program.readAllStandardError().toStdString();
    ASSERT_TRUE(catches(program.processId(), SIGTERM));
    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
}

} // namespace
