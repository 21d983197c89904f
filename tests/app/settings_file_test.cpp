// The settings file as the program meets it on a user's disk: something other than a file in its
// place, a folder that cannot be searched or written, the user's own permissions and bytes. The
// program starts, and the user chooses the unit's input port in the MIDI window, which saves.
#include "rbframework/testseam.h"
#include "support/config.h"
#include "tests/common/program_fixture.h"
#include "tests/common/unanswered_fifo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <sys/stat.h>
#include <unistd.h>

// Bytes in assertion messages, as text with every other byte escaped.
void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"';
    for (const char c : bytes) {
        if (c == '\n')
            *os << "\\n";
        else if (c >= 0x20 && c < 0x7F)
            *os << c;
        else
            *os << "\\x" << QByteArray(1, c).toHex().constData();
    }
    *os << '"';
}

using namespace korvanetest;

namespace
{

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

// The kind of thing at a path, the path itself (not where it may link to).
QString kindOf(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("nothing");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("named pipe");
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("link to ") + QFileInfo(path).symLinkTarget();
    if (S_ISREG(st.st_mode))
        return QStringLiteral("file");
    return QStringLiteral("other");
}

// A folder below the given one whose path is exactly the given number of characters long.
QString folderOfLength(const QString &below, int length)
{
    QString path = below;
    while (path.size() < length) {
        const int part = std::min(200, int(length - path.size() - 1));
        path += u'/' + QString(std::max(part, 1), u'd');
    }
    EXPECT_EQ(path.size(), length);
    EXPECT_TRUE(QDir().mkpath(path));
    return path;
}

class SettingsFile : public ProgramTest
{
  protected:
    void TearDown() override
    {
        // Folders made unwritable or unsearchable are given back so that they can be removed.
        for (const QString &folder : lockedFolders)
            QFile::setPermissions(folder,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        ProgramTest::TearDown();
    }

    QString folder() const { return settingsIn.isEmpty() ? settingsFolder.path() : settingsIn; }
    QString ini() const { return folder() + QStringLiteral("/korvane.ini"); }

    // The settings in another folder of the test's own.
    void useFolder(const QString &path)
    {
        // Fontconfig reads its own settings below $XDG_CONFIG_HOME when the first font is needed,
        // and leaks on a path as long as some of these: it reads them from the test's first folder.
        QFontDatabase::families();
        settingsIn = path;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path));
    }
    void lock(const QString &folder, QFileDevice::Permissions permissions)
    {
        lockedFolders << folder;
        ASSERT_TRUE(QFile::setPermissions(folder, permissions));
    }

    void writeIni(const QByteArray &bytes)
    {
        QFile f(ini());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << ini().toStdString();
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QByteArray iniBytes() const
    {
        QFile f(ini());
        return f.open(QIODevice::ReadOnly) ? f.read(1 << 20) : QByteArray("(cannot be read)");
    }

    // The user shows the MIDI window and chooses the unit's input port, which is then saved.
    void chooseTheUnitsInputPort()
    {
        click(mainWindow().kview());
        chooseRow(io().midiin1(), 1);
        ASSERT_EQ(io().midiin1().Text(), portRow(UnitIn));
        ASSERT_TRUE(io().midiin1().portopen);
    }

    // The file's bytes as a save writes them: these lines first, every other line empty.
    static QByteArray savedFile(const QList<QByteArray> &lines)
    {
        QByteArray bytes = lines.join('\n') + '\n';
        return bytes + QByteArray(256 - lines.size(), '\n');
    }

    QString settingsIn;
    QStringList lockedFolders;
};

// ---- Something other than a file in its place

struct NotAFile {
    const char *name;
    bool linked; // korvane.ini is a link to the pipe, which lies elsewhere
};
void PrintTo(const NotAFile &c, std::ostream *os)
{
    *os << c.name;
}

class NotAFileInItsPlace : public SettingsFile, public ::testing::WithParamInterface<NotAFile>
{
};

TEST_P(NotAFileInItsPlace, IsNeitherWaitedOnNorReplaced)
{
    const QString pipe = GetParam().linked ? settingsFolder.filePath("elsewhere") : ini();
    UnansweredFifo fifo(pipe);
    if (GetParam().linked) {
        ASSERT_TRUE(QFile::link(pipe, ini()));
    }
    const QString before = kindOf(ini());

    openProgram();
    EXPECT_FALSE(fifo.blockedSomeone()) << "the start waited on the pipe";
    // Read as a file that cannot be opened: the opening ends without a message, and the runtime
    // shows the main window all the same.
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
    mainWindow().Show();

    chooseTheUnitsInputPort();
    EXPECT_FALSE(fifo.blockedSomeone()) << "the save waited on the pipe";
    EXPECT_EQ(korvane::config::getstring("Minport"), portRow(UnitIn)) << "the setting is kept in memory";
    EXPECT_EQ(kindOf(ini()), before);
    EXPECT_EQ(kindOf(pipe), "named pipe");
    EXPECT_EQ(QDir(settingsFolder.path())
                  .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)
                  .size(),
              GetParam().linked ? 2 : 1)
        << "no side file is left behind";
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Settings, NotAFileInItsPlace,
                         ::testing::Values(NotAFile{"NamedPipe", false}, NotAFile{"LinkToANamedPipe", true}),
                         [](const auto &info) { return info.param.name; });

// ---- Folders the program cannot search or write

struct Folder {
    const char *name;
    bool needsUnprivilegedUser; // root searches and writes every folder
};
void PrintTo(const Folder &c, std::ostream *os)
{
    *os << c.name;
}

class FolderThatCannotBeSearched : public SettingsFile, public ::testing::WithParamInterface<Folder>
{
};

TEST_P(FolderThatCannotBeSearched, IsReportedAsTheMissingDirectory)
{
    if (GetParam().needsUnprivilegedUser && runningAsRoot())
        GTEST_SKIP() << "root searches every folder; the long path shows the same case";
    if (GetParam().needsUnprivilegedUser) {
        writeIni("Minport\n" + portRow(UnitIn).toUtf8() + "\n");
        lock(folder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    } else {
        // The folder exists, but no name in it can be tested for: the file's path is too long.
        useFolder(folderOfLength(settingsFolder.path(), 4090));
    }

    openProgram();
    EXPECT_EQ(rb::testseam::shownMessages(), QStringList{"config directory missing"});
    EXPECT_TRUE(mainWindow().Visible()) << "the start goes on";
}

INSTANTIATE_TEST_SUITE_P(Settings, FolderThatCannotBeSearched,
                         ::testing::Values(Folder{"NotSearchable", true},
                                           Folder{"PathTooLongForTheFile", false}),
                         [](const auto &info) { return info.param.name; });

class FolderThatTakesNoNewFile : public SettingsFile, public ::testing::WithParamInterface<Folder>
{
};

TEST_P(FolderThatTakesNoNewFile, GetsTheSettingsFileRewrittenInPlace)
{
    if (GetParam().needsUnprivilegedUser && runningAsRoot())
        GTEST_SKIP() << "root writes in every folder; the long path shows the same case";
    // Room for the file's name, but for no longer name beside it.
    if (!GetParam().needsUnprivilegedUser)
        useFolder(folderOfLength(settingsFolder.path(), 4095 - int(sizeof("/korvane.ini"))));
    writeIni("Minport\n" + portRow(ColonIn).toUtf8() + "\nbasefont\nDejaVu Sans\n");
    if (GetParam().needsUnprivilegedUser)
        lock(folder(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    openProgram();
    ASSERT_TRUE(rb::testseam::shownMessages().isEmpty());
    chooseTheUnitsInputPort();
    EXPECT_EQ(iniBytes(), savedFile({"Minport", portRow(UnitIn).toUtf8(), "basefont", "DejaVu Sans"}));
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files).size(), 1) << "nothing beside it";
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Settings, FolderThatTakesNoNewFile,
                         ::testing::Values(Folder{"ReadOnly", true},
                                           Folder{"PathWithNoRoomForALongerName", false}),
                         [](const auto &info) { return info.param.name; });

// ---- The user's permissions and bytes

class Permissions : public SettingsFile, public ::testing::WithParamInterface<mode_t>
{
};

TEST_P(Permissions, AreKeptByASave)
{
    writeIni("Minport\n" + portRow(ColonIn).toUtf8() + "\n");
    ASSERT_EQ(::chmod(QFile::encodeName(ini()).constData(), GetParam()), 0);

    openProgram();
    chooseTheUnitsInputPort();
    EXPECT_EQ(iniBytes(), savedFile({"Minport", portRow(UnitIn).toUtf8()}));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(ini()).constData(), &st), 0);
    EXPECT_EQ(QString::number(st.st_mode & 07777, 8), QString::number(GetParam(), 8));
}

INSTANTIATE_TEST_SUITE_P(Settings, Permissions, ::testing::Values(0600, 0660, 0604), [](const auto &info) {
    return "Mode" + QString::number(info.param, 8).toStdString();
});

TEST_F(SettingsFile, ASaveWritesBackEveryLineItDidNotChangeByteForByte)
{
    const QList<QByteArray> lines = {
        "\xEF\xBB\xBF"
        "basefont",     // a UTF-8 byte-order mark before the first key
        "Caf\xE9 Sans", // Latin-1
        "Minport",
        portRow(ColonIn).toUtf8(),
        "note",
        "\xC3\xA9t\xE9", // UTF-8 and Latin-1 in one line
        "euro",
        "\xE2\x82\xAC 5", // UTF-8
        "Cl\xE9",
        "\xFF\xFE\x01", // a Latin-1 key; bytes that are no text at all
    };
    writeIni(lines.join('\n') + '\n');

    openProgram();
    EXPECT_EQ(korvane::config::getfont("basefont"), QString::fromUtf8("Caf\u00e9 Sans"))
        << "the byte-order mark is no part of the key";
    EXPECT_EQ(korvane::config::getstring(QString::fromUtf8("CL\u00c9")), QString::fromLatin1("\xFF\xFE\x01"))
        << "a Latin-1 key compares as its text, letter case ignored";
    chooseTheUnitsInputPort();

    QList<QByteArray> expected = lines;
    expected[3] = portRow(UnitIn).toUtf8();
    EXPECT_EQ(iniBytes(), savedFile(expected));
}

} // namespace
