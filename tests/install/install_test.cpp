// Install: `cmake --install <build> --prefix <prefix>` into a prefix of the test's own gives
// bin/Korvane with its plug-in in bin/plugins and nothing else, and the installed program, started
// there under the offscreen platform over the simulated unit, loads its plug-in and connects: a
// driver loaded into it (install_driver.cpp) chooses the unit's ports through the MIDI window with
// Qt input events, the status key reads "Midi OK", and the program saves both ports and quits.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace
{

constexpr int boundMs = 120000;

class Install : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        folder_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(folder_->isValid());
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(KORVANE_CMAKE),
                      {QStringLiteral("--install"), QStringLiteral(KORVANE_BUILD_DIR),
                       QStringLiteral("--prefix"), prefix()});
        ASSERT_TRUE(install.waitForFinished(boundMs));
        ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static QString prefix() { return folder_->filePath(QStringLiteral("prefix")); }
    static QString settingsFolder() { return folder_->filePath(QStringLiteral("config")); }

  private:
    static inline std::unique_ptr<QTemporaryDir> folder_;
};

// The value saved under a key in the settings file, which holds alternate key and value lines.
std::string savedValue(const QString &file, const QString &key)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return "(no settings file)";
    const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
    for (qsizetype i = 0; i + 1 < lines.size(); i += 2)
        if (lines[i] == key)
            return lines[i + 1].toStdString();
    return "(no key " + key.toStdString() + ")";
}

TEST_F(Install, GivesTheProgramWithItsPluginBesideItAndNothingElse)
{
    QStringList files;
    QDirIterator it(prefix(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(prefix()).relativeFilePath(it.next());
    files.sort();
    EXPECT_EQ(files.join(u' ').toStdString(), "bin/Korvane bin/plugins/libtessel.so");
    EXPECT_TRUE(QFileInfo(prefix() + QStringLiteral("/bin/Korvane")).isExecutable());
}

TEST_F(Install, InstalledProgramConnectsThroughTheMidiWindowAndSavesItsPorts)
{
    QProcess program;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", settingsFolder());
    env.insert("KORVANE_SIM_DEVICES", "unit");
    env.insert("LD_PRELOAD", QStringLiteral(KORVANE_SIM_LIBRARY " " KORVANE_INSTALL_DRIVER));
    // In the sanitizer build the preloaded libraries come before the sanitizer's runtime; the
    // program carries no suppression for PortMidi's own leak, which is checked in-process.
    env.insert("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0");
    program.setProcessEnvironment(env);
    program.start(prefix() + QStringLiteral("/bin/Korvane"), {});
    ASSERT_TRUE(program.waitForStarted(boundMs));
    const bool ended = program.waitForFinished(boundMs);
    if (!ended)
        program.kill();
    const std::string log = program.readAllStandardError().toStdString();
    ASSERT_TRUE(ended) << log;
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << log;
    EXPECT_EQ(program.exitCode(), 0) << log;
    EXPECT_NE(log.find("driver: Midi OK"), std::string::npos) << log;

    const QString settings = settingsFolder() + QStringLiteral("/korvane.ini");
    EXPECT_EQ(savedValue(settings, QStringLiteral("Minport")), "0:Simulated Unit In - Simulated");
    EXPECT_EQ(savedValue(settings, QStringLiteral("Moutport")), "1:Simulated Unit Out - Simulated");
}

} // namespace
