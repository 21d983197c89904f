// The built program when its MIDI plug-in cannot be used, run as a user would run it: a copy of the
// program in a folder of its own, with plugins/libtessel.so beside it replaced by a damaged file. It
// refuses to start with a plain reason and exits at once where no one can answer its message box;
// where the box is up, a signal ends it.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <elf.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace
{

constexpr int timeLimitMs = 20000;

class StartupFailure : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        folder_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(folder_->isValid());
        ASSERT_TRUE(QFile::copy(QStringLiteral(KORVANE_PROGRAM), program()));
        ASSERT_TRUE(QDir(folder_->path()).mkdir(QStringLiteral("plugins")));
    }
    static void TearDownTestSuite() { folder_.reset(); }
    void SetUp() override { removePlugin(); }

    // Where the program looks for its plug-in, as it names it: beside its own, symlink-free path.
    static QString pluginPath()
    {
        return QFileInfo(folder_->path()).canonicalFilePath() + QStringLiteral("/plugins/libtessel.so");
    }
    static QString program() { return folder_->filePath(QStringLiteral("Korvane")); }

    static void removePlugin()
    {
        QDir(pluginPath()).removeRecursively();
        QFile::remove(pluginPath());
    }

    static void startProgram(QProcess &process, const QString &platform)
    {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", platform);
        // The program carries no suppression for PortMidi's own leak; its leaks are checked in-process.
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        env.insert("XDG_CONFIG_HOME", folder_->filePath(QStringLiteral("config")));
        process.setProcessEnvironment(env);
        process.start(program(), {});
    }

  private:
    static inline std::unique_ptr<QTemporaryDir> folder_;
};

QByteArray builtPlugin()
{
    QFile f(QStringLiteral(KORVANE_PLUGIN_PATH));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray patched(QByteArray bytes, int offset, uint16_t littleEndianHalf)
{
    bytes[offset] = char(littleEndianHalf & 0xFF);
    bytes[offset + 1] = char(littleEndianHalf >> 8);
    return bytes;
}

using Plant = std::function<bool(const QString &path)>;

Plant file(const QByteArray &bytes)
{
    return [bytes](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
}

TEST_F(StartupFailure, DamagedPluginIsRefusedWithItsReasonAndTheProgramExitsAtOnce)
{
    const QByteArray built = builtPlugin();
    ASSERT_GT(built.size(), 20 * 1024);
    ASSERT_TRUE(built.startsWith(ELFMAG));
    const uint16_t ownMachine = uint8_t(built[18]) | uint8_t(built[19]) << 8;
    const uint16_t otherMachine = ownMachine == EM_AARCH64 ? EM_X86_64 : EM_AARCH64;

    const struct {
        const char *name;
        Plant plant;
        QString reason;
        const char *platform = "offscreen";
    } cases[] = {
        {"its first KiB", file(built.left(1024)),
         "truncated: a loadable segment lies past the end of the file (1024 bytes)"},
        {"its first 2 KiB", file(built.left(2048)),
         "truncated: a loadable segment lies past the end of the file (2048 bytes)"},
        {"its first 4 KiB", file(built.left(4096)),
         "truncated: a loadable segment lies past the end of the file (4096 bytes)"},
        {"its first 8 KiB", file(built.left(8192)),
         "truncated: a loadable segment lies past the end of the file (8192 bytes)"},
        {"its first 20 KiB", file(built.left(20480)),
         "truncated: a loadable segment lies past the end of the file (20480 bytes)"},
        {"cut inside the program headers", file(built.left(100)),
         "truncated: program headers lie past the end of the file (100 bytes)"},
        {"cut inside the ELF header", file(built.left(40)),
         "truncated: the ELF header lies past the end of the file (40 bytes)"},
        {"a directory", [](const QString &path) { return QDir().mkpath(path); }, "is a directory"},
        {"a text file", file("This is not a library.\n"), "not an ELF file"},
        {"an empty file", file({}), "not an ELF file"},
        {"a 32-bit ELF", file(patched(built, EI_CLASS, ELFCLASS32)), "ELF for another machine (32-bit "},
        {"an ELF for another machine", file(patched(built, 18, otherMachine)),
         QStringLiteral("ELF for another machine (64-bit little-endian, machine %1;").arg(otherMachine)},
        {"an executable", file(patched(built, 16, ET_EXEC)), "not a shared library (ELF type 2)"},
        {"missing", [](const QString &) { return true; }, "no such file"},
        {"missing, on the minimal platform", [](const QString &) { return true; }, "no such file", "minimal"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        removePlugin();
        ASSERT_TRUE(c.plant(pluginPath()));
        QProcess process;
        startProgram(process, QString::fromLatin1(c.platform));
        ASSERT_TRUE(process.waitForStarted(timeLimitMs));
        if (!process.waitForFinished(timeLimitMs)) {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "still running after " << timeLimitMs << " ms";
            continue;
        }
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "signal " << process.exitCode();
        EXPECT_EQ(process.exitCode(), 1);
        const QString report =
            "The MIDI plug-in could not be loaded: cannot load plug-in " + pluginPath() + ": ";
        EXPECT_TRUE(err.contains(report + c.reason)) << qPrintable(err);
    }
}

// The vnc platform shows the box to whoever connects, so it stays up waiting for a click.
TEST_F(StartupFailure, SignalEndsTheProgramWhileItsStartUpMessageBoxWaits)
{
    QProcess process;
    process.setReadChannel(QProcess::StandardError);
    startProgram(process, QStringLiteral("vnc:port=0"));
    ASSERT_TRUE(process.waitForStarted(timeLimitMs));
    // The report on standard error comes just before the box.
    QByteArray err;
    const QDeadlineTimer deadline(timeLimitMs);
    while (!err.contains("could not be loaded") && process.state() == QProcess::Running &&
           !deadline.hasExpired()) {
        process.waitForReadyRead(int(deadline.remainingTime()));
        err += process.readAllStandardError();
    }
    ASSERT_TRUE(err.contains("could not be loaded")) << err.toStdString();
    ASSERT_EQ(process.state(), QProcess::Running) << "the box was not shown";

    ::kill(pid_t(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(timeLimitMs));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "killed by signal " << process.exitCode();
    EXPECT_EQ(process.exitCode(), 1);
}

} // namespace
