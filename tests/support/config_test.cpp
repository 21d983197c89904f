// The settings store against real files in a temporary application-data folder.
#include "rbframework/exceptions.h"
#include "rbframework/testseam.h"
#include "support/config.h"
#include "tests/common/qstring_print.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace config = korvane::config;

namespace
{

class ConfigTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        oldHome = qgetenv("XDG_CONFIG_HOME");
        useFolder(tmp.path() + QStringLiteral("/cfg"));
        rb::testseam::reset();
        config::release();
    }

    void TearDown() override
    {
        config::release();
        qputenv("XDG_CONFIG_HOME", oldHome);
    }

    void useFolder(const QString &folder)
    {
        appData = folder;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder));
    }

    QString iniPath() const { return appData + QStringLiteral("/korvane.ini"); }

    void writeIni(const QByteArray &bytes)
    {
        QDir().mkpath(appData);
        QFile f(iniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    QByteArray iniBytes() const
    {
        QFile f(iniPath());
        // Bounded: a broken save could leave a link to an endless device in the file's place.
        return f.open(QIODevice::ReadOnly) ? f.read(1 << 20) : QByteArray();
    }

    // The file's lines, each of which must end in LF.
    QList<QByteArray> iniLines() const
    {
        QByteArray bytes = iniBytes();
        EXPECT_TRUE(bytes.endsWith('\n'));
        bytes.chop(1);
        return bytes.split('\n');
    }

    // Loads a file of the given lines, LF after each.
    void load(const QList<QByteArray> &lines)
    {
        writeIni(lines.join('\n') + '\n');
        config::initconfig(QStringLiteral("korvane"));
        ASSERT_TRUE(rb::testseam::shownMessages().isEmpty());
    }

    QTemporaryDir tmp;
    QByteArray oldHome;
    QString appData;
};

// While it lives, this process cannot write past the given size in any file, as on a full disk.
class FileSizeLimit
{
  public:
    explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN))
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        const rlimit limit = {bytes, old_.rlim_max};
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

  private:
    rlimit old_{};
    void (*oldHandler_)(int);
};

QList<QByteArray> numberedLines(int count)
{
    QList<QByteArray> lines;
    for (int i = 0; i < count; ++i)
        lines.append((i % 2 ? "value" : "key") + QByteArray::number(i / 2));
    return lines;
}

TEST_F(ConfigTest, FirstChangeCreatesTheFileAndTheNextStartReadsIt)
{
    config::initconfig(QStringLiteral("korvane"));
    EXPECT_EQ(rb::testseam::shownMessages(), QStringList{QStringLiteral("config file missing")});
    EXPECT_EQ(config::filename, QStringLiteral("korvane.ini"));
    EXPECT_FALSE(QFileInfo::exists(iniPath())) << "nothing is created at start-up";

    config::putstring(QStringLiteral("Minport"), QStringLiteral("3:USB MIDI - ALSA"));
    config::putstring(QStringLiteral("Moutport"), QStringLiteral("4:USB MIDI - ALSA"));
    const QList<QByteArray> lines = iniLines();
    ASSERT_EQ(lines.size(), 256);
    EXPECT_EQ(lines.mid(0, 4),
              (QList<QByteArray>{"Minport", "3:USB MIDI - ALSA", "Moutport", "4:USB MIDI - ALSA"}));
    for (int i = 4; i < 256; ++i)
        EXPECT_TRUE(lines[i].isEmpty()) << "line " << i + 1;
    EXPECT_EQ(QDir(appData).entryList(QDir::Files), QStringList{QStringLiteral("korvane.ini")})
        << "no temporary file is left behind";

    config::release();
    rb::testseam::reset();
    config::initconfig(QStringLiteral("korvane"));
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
    EXPECT_EQ(config::getstring(QStringLiteral("MINPORT")), QStringLiteral("3:USB MIDI - ALSA"));
    EXPECT_TRUE(config::cfound);
    EXPECT_EQ(config::getstring(QStringLiteral("moutport")), QStringLiteral("4:USB MIDI - ALSA"));
    EXPECT_EQ(config::getstring(QStringLiteral("basefont")), QString());
    EXPECT_FALSE(config::cfound);
}

TEST_F(ConfigTest, ValueDifferingOnlyInCaseIsNoChange)
{
    load({"Minport", "Abc"});
    writeIni("marker\n"); // any rewrite would replace this
    config::putstring(QStringLiteral("MINPORT"), QStringLiteral("aBC"));
    EXPECT_EQ(iniBytes(), QByteArray("marker\n"));
    EXPECT_EQ(config::getstring(QStringLiteral("Minport")), QStringLiteral("Abc"));

    config::putstring(QStringLiteral("minPORT"), QStringLiteral("xyz"));
    const QList<QByteArray> lines = iniLines();
    ASSERT_EQ(lines.size(), 256);
    EXPECT_EQ(lines[0], QByteArray("minPORT")) << "a changed value takes the caller's spelling of the key";
    EXPECT_EQ(lines[1], QByteArray("xyz"));
}

TEST_F(ConfigTest, EmptyValueUnderNewKeyWaitsForTheNextRewrite)
{
    load({"Minport", "a"});
    writeIni("marker\n");
    config::putstring(QStringLiteral("Moutport"), QString());
    EXPECT_EQ(iniBytes(), QByteArray("marker\n"));
    config::putstring(QStringLiteral("Minport"), QStringLiteral("b"));
    EXPECT_EQ(iniLines().mid(0, 4), (QList<QByteArray>{"Minport", "b", "Moutport", ""}));
}

TEST_F(ConfigTest, ReadsAtMost256LinesAndWritesExactly256)
{
    const QList<QByteArray> original = numberedLines(300);
    load(original);
    EXPECT_EQ(config::parray[255], QStringLiteral("value127"));
    EXPECT_EQ(config::getstring(QStringLiteral("key127")), QStringLiteral("value127"));
    EXPECT_EQ(config::getstring(QStringLiteral("key128")), QString());

    config::putstring(QStringLiteral("key3"), QStringLiteral("changed"));
    QList<QByteArray> expected = original.mid(0, 256);
    expected[7] = "changed";
    EXPECT_EQ(iniLines(), expected);
}

TEST_F(ConfigTest, ShortFilesAndLineEndings)
{
    const struct {
        const char *name;
        QByteArray bytes;
        QStringList entries; // the first entries; the rest must be empty
    } cases[] = {
        {"odd count, last line without ending", "a\n1\nb", {"a", "1", "b"}},
        {"CR LF", "a\r\n1\r\nb\r\n2\r\n", {"a", "1", "b", "2"}},
        {"empty file", "", {}},
        {"only an ending", "\n", {}},
        {"control bytes",
         QByteArray("k\x01\n", 3) + QByteArray("v\0w\x7f\n", 5),
         {"k\x01", QString::fromLatin1("v\0w\x7f", 4)}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        config::release();
        writeIni(c.bytes);
        config::initconfig(QStringLiteral("korvane"));
        EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(config::parray[i], i < c.entries.size() ? c.entries[i] : QString()) << "entry " << i;
    }
    // A key on the last line of an odd file has an empty value.
    config::release();
    writeIni("a\n1\nb");
    config::initconfig(QStringLiteral("korvane"));
    EXPECT_EQ(config::getstring(QStringLiteral("b")), QString());
    EXPECT_TRUE(config::cfound);
}

TEST_F(ConfigTest, ControlBytesSurviveARewrite)
{
    const QByteArray odd("v\0w\x01\x7f", 5);
    load({"k", odd, "Minport", "a"});
    config::putstring(QStringLiteral("Minport"), QStringLiteral("b"));
    EXPECT_EQ(iniLines().mid(0, 4), (QList<QByteArray>{"k", odd, "Minport", "b"}));
}

TEST_F(ConfigTest, EmptyKeyLineEndsLookupsButIsWrittenBack)
{
    load({"a", "1", "", "", "c", "3"});
    EXPECT_EQ(config::getstring(QStringLiteral("c")), QString());
    EXPECT_FALSE(config::cfound);

    config::putstring(QStringLiteral("a"), QStringLiteral("2"));
    EXPECT_EQ(iniLines().mid(0, 6), (QList<QByteArray>{"a", "2", "", "", "c", "3"}));
}

TEST_F(ConfigTest, FullStoreNeverOverwritesAPair)
{
    load(numberedLines(256));
    writeIni("marker\n");

    config::putstring(QStringLiteral("Minport"), QStringLiteral("x"));
    EXPECT_EQ(config::getstring(QStringLiteral("Minport")), QString());
    EXPECT_EQ(config::parray[0], QStringLiteral("key0"));
    EXPECT_EQ(config::parray[1], QStringLiteral("value0"));
    EXPECT_EQ(iniBytes(), QByteArray("marker\n"));

    config::putstring(QStringLiteral("KEY127"), QStringLiteral("last"));
    const QList<QByteArray> lines = iniLines();
    ASSERT_EQ(lines.size(), 256);
    EXPECT_EQ(lines[254], QByteArray("KEY127"));
    EXPECT_EQ(lines[255], QByteArray("last"));
    EXPECT_EQ(lines[0], QByteArray("key0"));
}

TEST_F(ConfigTest, LineBreaksAreNeverStored)
{
    const struct {
        const char *key;
        const char *value;
    } cases[] = {
        {"Minport", "a\nb"}, {"Minport", "a\rb"}, {"Minport", "a\r\n"}, {"Min\nport", "a"}, {"\r", "a"}};
    config::initconfig(QStringLiteral("korvane"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.key);
        config::putstring(QString::fromLatin1(c.key), QString::fromLatin1(c.value));
        EXPECT_FALSE(QFileInfo::exists(iniPath()));
        for (const QString &entry : config::parray)
            EXPECT_TRUE(entry.isEmpty());
    }
}

TEST_F(ConfigTest, GetfontFallsBackToTahoma)
{
    const struct {
        QList<QByteArray> file;
        const char *font;
    } cases[] = {{{"Minport", "x"}, "Tahoma"},
                 {{"basefont", ""}, "Tahoma"},
                 {{"BASEFONT", "DejaVu Sans"}, "DejaVu Sans"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.font);
        config::release();
        load(c.file);
        EXPECT_EQ(config::getfont(QStringLiteral("basefont")), QString::fromLatin1(c.font));
    }
}

// ApplicationData creates its folder when missing; below a regular file it cannot, so the
// folder's item names nothing in which the settings file could be looked for.
TEST_F(ConfigTest, FolderThatCannotExistIsReportedAndSavesQuietlyDoNothing)
{
    QFile blocker(tmp.path() + QStringLiteral("/plainfile"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    useFolder(blocker.fileName() + QStringLiteral("/cfg"));

    config::initconfig(QStringLiteral("korvane"));
    EXPECT_EQ(rb::testseam::shownMessages(), QStringList{QStringLiteral("config directory missing")});
    EXPECT_EQ(config::filename, QStringLiteral("korvane.ini"));

    EXPECT_NO_THROW(config::putstring(QStringLiteral("Minport"), QStringLiteral("x")));
    EXPECT_EQ(config::getstring(QStringLiteral("Minport")), QStringLiteral("x"));
    EXPECT_FALSE(QFileInfo::exists(iniPath()));
}

TEST_F(ConfigTest, NameWithoutItemIsReportedAndSaveRaises)
{
    config::initconfig(QStringLiteral("sub/korvane"));
    EXPECT_EQ(rb::testseam::shownMessages(), QStringList{QStringLiteral("config directory missing")});
    EXPECT_THROW(config::putstring(QStringLiteral("Minport"), QStringLiteral("x")), rb::NilObjectException);
    EXPECT_EQ(config::getstring(QStringLiteral("Minport")), QStringLiteral("x"));
}

// A folder in the settings file's place exists but opens neither for reading nor for writing.
TEST_F(ConfigTest, FileThatCannotBeOpenedRaises)
{
    ASSERT_TRUE(QDir().mkpath(iniPath()));
    EXPECT_THROW(config::initconfig(QStringLiteral("korvane")), rb::NilObjectException);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());

    EXPECT_THROW(config::putstring(QStringLiteral("Minport"), QStringLiteral("x")), rb::NilObjectException);
    EXPECT_EQ(config::getstring(QStringLiteral("Minport")), QStringLiteral("x"));
    EXPECT_TRUE(QFileInfo(iniPath()).isDir());
    EXPECT_TRUE(QDir(iniPath()).isEmpty());
}

// The new table is written beside the old file first; a disk that fills up makes that fail.
TEST_F(ConfigTest, AFailedWriteLeavesTheOldFileAndNoSideFile)
{
    load({"Minport", "old"});
    const QByteArray before = iniBytes();
    testing::internal::CaptureStderr();
    {
        // Writes past 512 bytes fail as on a full disk; the message on standard error is shorter.
        const FileSizeLimit full(512);
        EXPECT_NO_THROW(config::putstring(QStringLiteral("Minport"), QString(600, u'n')));
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(config::getstring(QStringLiteral("Minport")), QString(600, u'n'));
    EXPECT_EQ(iniBytes(), before);
    EXPECT_EQ(QDir(appData).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("korvane.ini")});
    // Said with the file and the cause.
    EXPECT_NE(err.find("The settings were not saved in " + iniPath().toStdString() + ": "), std::string::npos)
        << err;
    EXPECT_NE(err.find(qt_error_string(EFBIG).toStdString()), std::string::npos) << err;
}

TEST_F(ConfigTest, LinkedSettingsFileIsRewrittenWhereItPoints)
{
    const QString real = tmp.path() + QStringLiteral("/dotfiles/korvane.ini");
    QDir().mkpath(tmp.path() + QStringLiteral("/dotfiles"));
    QDir().mkpath(appData);
    {
        QFile f(real);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Minport\nold\n");
    }
    ASSERT_TRUE(QFile::link(real, iniPath()));
    config::initconfig(QStringLiteral("korvane"));
    config::putstring(QStringLiteral("Minport"), QStringLiteral("new"));

    EXPECT_TRUE(QFileInfo(iniPath()).isSymLink());
    EXPECT_EQ(iniLines().mid(0, 2), (QList<QByteArray>{"Minport", "new"}));
}

// ---- Other copies of the program saving the same file

// A settings file of some size, so that saves take long enough to overlap: "Minport" with the
// given value, then pairs with long values.
QByteArray fileWith(const QByteArray &minport)
{
    QList<QByteArray> lines = {"Minport", minport};
    for (int k = 1; k < config::pairCount; ++k)
        lines << "key" + QByteArray::number(k) << QByteArray(120, char('a' + k % 26));
    return lines.join('\n') + '\n';
}

// Whether the bytes are a whole file as the start or one of the savers left it: the expected
// value under "Minport" and every other line as it was.
bool whole(const QByteArray &bytes, const QRegularExpression &values)
{
    const qsizetype first = bytes.indexOf('\n');
    const qsizetype second = bytes.indexOf('\n', first + 1);
    if (first < 0 || second < 0)
        return false;
    const QByteArray value = bytes.mid(first + 1, second - first - 1);
    return values.match(QString::fromLatin1(value)).hasMatch() && bytes == fileWith(value);
}

class OtherCopiesSaving : public ConfigTest
{
  protected:
    // A second copy of the settings store (config_saver) storing "<tag> 1", "<tag> 2", ... under
    // "Minport"; 0 saves: until it is killed.
    void start(QProcess &saver, const QString &tag, int saves)
    {
        saver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        saver.start(QStringLiteral(KORVANE_CONFIG_SAVER), {appData, tag, QString::number(saves)});
        ASSERT_TRUE(saver.waitForStarted(10000)) << saver.errorString().toStdString();
    }
    static bool running(QProcess &saver)
    {
        return saver.state() != QProcess::NotRunning && !saver.waitForFinished(0);
    }
    static void expectSavedAll(QProcess &saver)
    {
        EXPECT_EQ(saver.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(saver.exitCode(), 0);
    }
    QStringList filesInTheFolder() const { return QDir(appData).entryList(QDir::Files | QDir::Hidden); }
};

TEST_F(OtherCopiesSaving, TwoAtOnceNeverLeaveNorShowADamagedFile)
{
    writeIni(fileWith("start"));
    const QRegularExpression values(QStringLiteral("^(start|[AB] \\d+)$"));
    QProcess a, b;
    start(a, "A", 150);
    start(b, "B", 150);

    // Reads taken meanwhile, as the program's start or an editor takes them.
    int reads = 0, damaged = 0;
    QByteArray firstDamaged;
    QElapsedTimer bound;
    bound.start();
    while ((running(a) || running(b)) && bound.elapsed() < 60000) {
        const QByteArray bytes = iniBytes();
        ++reads;
        if (!whole(bytes, values) && damaged++ == 0)
            firstDamaged = bytes.left(300);
    }
    ASSERT_EQ(a.state(), QProcess::NotRunning) << "still saving after a minute";
    ASSERT_EQ(b.state(), QProcess::NotRunning) << "still saving after a minute";
    expectSavedAll(a);
    expectSavedAll(b);
    EXPECT_EQ(damaged, 0) << "of " << reads << " reads; the first: " << firstDamaged.toStdString();

    const QByteArray last = iniBytes();
    EXPECT_TRUE(whole(last, values)) << last.left(300).toStdString();
    EXPECT_TRUE(last == fileWith("A 150") || last == fileWith("B 150")) << "the last save of one of them";
    EXPECT_EQ(filesInTheFolder(), QStringList{QStringLiteral("korvane.ini")})
        << "no side file is left behind";
}

TEST_F(OtherCopiesSaving, OneKilledWhileSavingLeavesTheOldFileOrTheNewWhole)
{
    writeIni(fileWith("start"));
    const QRegularExpression values(QStringLiteral("^(start|K\\d+ \\d+)$"));
    for (int i = 0; i < 200; ++i) {
        QProcess saver;
        start(saver, "K" + QString::number(i), 0);
        ASSERT_TRUE(saver.waitForReadyRead(10000)) << "the saver did not start saving";
        // Killed at some moment of one of its saves.
        QThread::usleep(QRandomGenerator::global()->bounded(2000));
        saver.kill();
        ASSERT_TRUE(saver.waitForFinished(10000));

        const QByteArray bytes = iniBytes();
        ASSERT_TRUE(whole(bytes, values)) << "after kill " << i << ": " << bytes.left(300).toStdString();
    }
    // A save cut short leaves at most one file beside it, which the next save removes.
    EXPECT_LE(filesInTheFolder().size(), 2) << filesInTheFolder().join(' ').toStdString();
    QProcess saver;
    start(saver, "last", 1);
    ASSERT_TRUE(saver.waitForFinished(10000));
    expectSavedAll(saver);
    EXPECT_EQ(filesInTheFolder(), QStringList{QStringLiteral("korvane.ini")});
}

} // namespace
