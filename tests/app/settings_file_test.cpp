// The settings file as the program meets it on a user's disk: something other than a file in its
// place, a folder that cannot be searched or written, a full disk, a file mounted into its place,
// shared, linked or carrying attributes, the program run by root on the user's file, a path that is
// no UTF-8 text, the user's own permissions and bytes. The program starts, and the user chooses the
// unit's input port in the MIDI window, which saves.
//
// The program runs as a user without privileges, as users run it: run as root, the test runs it as
// such a user, and sets up as root what only root can (a small file system, a mount, another user's
// file, a folder that takes new names only). Run as another user, the test runs it as itself and
// skips the cases that only root can set up.
#include "rbframework/testseam.h"
#include "support/config.h"
#include "tests/common/environment_variable.h"
#include "tests/common/program_fixture.h"
#include "tests/common/unanswered_fifo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMap>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <functional>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

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

// The user the program runs as when the test runs as root, and a second user, whose file the first
// may write. Neither has privileges, and neither needs a name.
constexpr uid_t theUser = 65534;
constexpr uid_t anotherUser = 65533;

// While it lives, the calling thread runs as the given user and group, with no other groups. The
// system keeps a thread's user and groups for the thread alone; the C library's setresuid would
// change every thread of the process, the system call changes only this one. The saved user and
// group stay root's, so that the end can go back to them.
class ThreadRunsAs
{
  public:
    explicit ThreadRunsAs(uid_t user)
    {
        groups_.resize(std::size_t(std::max(::getgroups(0, nullptr), 0)));
        groups_.resize(std::size_t(std::max(::getgroups(int(groups_.size()), groups_.data()), 0)));
        EXPECT_EQ(::syscall(SYS_setgroups, 0, nullptr), 0) << std::strerror(errno);
        EXPECT_EQ(::syscall(SYS_setresgid, user, user, 0), 0) << std::strerror(errno);
        EXPECT_EQ(::syscall(SYS_setresuid, user, user, 0), 0) << std::strerror(errno);
    }
    ~ThreadRunsAs()
    {
        EXPECT_EQ(::syscall(SYS_setresuid, 0, 0, 0), 0) << std::strerror(errno);
        EXPECT_EQ(::syscall(SYS_setresgid, 0, 0, 0), 0) << std::strerror(errno);
        EXPECT_EQ(::syscall(SYS_setgroups, groups_.size(), groups_.data()), 0) << std::strerror(errno);
        // A change of user leaves the process undumpable, its files in /proc root's alone.
        ::prctl(PR_SET_DUMPABLE, 1);
    }
    ThreadRunsAs(const ThreadRunsAs &) = delete;
    ThreadRunsAs &operator=(const ThreadRunsAs &) = delete;

  private:
    std::vector<gid_t> groups_;
};

bool exists(const QByteArray &path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// Bounded: a broken save could leave a link to an endless device in the file's place.
QByteArray contentOf(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "(cannot be read)";
    QByteArray bytes(1 << 20, '\0');
    const ssize_t n = ::read(fd, bytes.data(), size_t(bytes.size()));
    ::close(fd);
    return n < 0 ? QByteArray("(cannot be read)") : bytes.left(n);
}

// Everything in the folder, hidden names included, in order.
QByteArrayList entriesOf(const QByteArray &folder)
{
    QByteArrayList names;
    if (DIR *dir = ::opendir(folder.constData())) {
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names << name;
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What makes a file the same file to its users, beside its content.
struct Identity {
    uid_t owner = 0;
    gid_t group = 0;
    mode_t mode = 0;
    nlink_t links = 0;
    QMap<QByteArray, QByteArray> attributes;
    bool operator==(const Identity &) const = default;
};
void PrintTo(const Identity &i, std::ostream *os)
{
    *os << "owner " << i.owner << ", group " << i.group << ", mode " << std::oct << i.mode << std::dec << ", "
        << i.links << " link(s), attributes";
    for (auto a = i.attributes.cbegin(); a != i.attributes.cend(); ++a)
        *os << ' ' << a.key().constData() << '=' << a.value().toHex().constData();
}

Identity identityOf(const QByteArray &path)
{
    Identity identity;
    struct stat st;
    EXPECT_EQ(::stat(path.constData(), &st), 0) << path.constData();
    identity = {st.st_uid, st.st_gid, mode_t(st.st_mode & 07777), st.st_nlink, {}};
    QByteArray names(4096, '\0');
    const ssize_t size = ::listxattr(path.constData(), names.data(), size_t(names.size()));
    for (const QByteArray &name : names.left(std::max<ssize_t>(size, 0)).split('\0')) {
        if (name.isEmpty())
            continue;
        QByteArray value(4096, '\0');
        const ssize_t n = ::getxattr(path.constData(), name.constData(), value.data(), size_t(value.size()));
        identity.attributes[name] = value.left(std::max<ssize_t>(n, 0));
    }
    return identity;
}

// An access control list as the system keeps it in the file's attribute: the owner may read and
// write, anotherUser and the group may read, others nothing.
QByteArray accessControlList()
{
    constexpr quint32 none = 0xFFFFFFFF;
    const struct {
        quint16 tag, permissions;
        quint32 id;
    } entries[] = {
        {0x01, 6, none}, {0x02, 4, anotherUser}, {0x04, 4, none}, {0x10, 4, none}, {0x20, 0, none}};
    QByteArray acl(4, '\0');
    qToLittleEndian<quint32>(2, acl.data());
    for (const auto &e : entries) {
        char entry[8];
        qToLittleEndian(e.tag, entry);
        qToLittleEndian(e.permissions, entry + 2);
        qToLittleEndian(e.id, entry + 4);
        acl.append(entry, sizeof entry);
    }
    return acl;
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

// The kind of thing at a path, the path itself (not where it may link to).
QString kindOf(const QByteArray &path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return QStringLiteral("nothing");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("named pipe");
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("link to ") + QFileInfo(QFile::decodeName(path)).symLinkTarget();
    if (S_ISREG(st.st_mode))
        return QStringLiteral("file");
    return QStringLiteral("other");
}

class SettingsFile : public ProgramTest
{
  protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        folder_ = QFile::encodeName(settingsFolder.path());
        // The user the program runs as reaches into the test's folder.
        if (runningAsRoot()) {
            ASSERT_EQ(::chmod(folder_.constData(), 0755), 0);
        }
    }
    void TearDown() override
    {
        // Mounts ended, folders given back their permissions and flags, whatever the test's end.
        for (auto undo = undos.rbegin(); undo != undos.rend(); ++undo)
            (*undo)();
        ProgramTest::TearDown();
        // Removed by the system's names: QTemporaryDir reads names as text, and cannot remove one
        // that is no UTF-8 text.
        ::nftw(
            QFile::encodeName(settingsFolder.path()).constData(),
            [](const char *path, const struct stat *, int, FTW *) { return ::remove(path); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }

    // A path in the test's own folder.
    QByteArray here(const QByteArray &name) const
    {
        return QFile::encodeName(settingsFolder.path()) + '/' + name;
    }
    const QByteArray &folder() const { return folder_; }
    QByteArray ini() const { return folder_ + "/korvane.ini"; }

    // The settings in another folder of the test's own, named by XDG_CONFIG_HOME.
    void useFolder(const QByteArray &path)
    {
        // Fontconfig reads its own settings below $XDG_CONFIG_HOME when the first font is needed,
        // and leaks on a path as long as some of these: it reads them from the test's first folder.
        QFontDatabase::families();
        folder_ = path;
        qputenv("XDG_CONFIG_HOME", path);
    }
    // The settings in the home folder's .config: XDG_CONFIG_HOME unset, HOME naming the folder.
    void useHome(const QByteArray &path)
    {
        QFontDatabase::families(); // as useFolder does
        folder_ = path + "/.config";
        qunsetenv("XDG_CONFIG_HOME");
        qputenv("HOME", path);
    }
    // A folder of the user's own: made, and given to the user.
    void makeUsersFolder(const QByteArray &path)
    {
        ASSERT_EQ(::mkdir(path.constData(), 0755), 0) << path.constData() << ": " << std::strerror(errno);
        giveToTheUser(path);
    }
    void giveToTheUser(const QByteArray &path)
    {
        if (runningAsRoot()) {
            ASSERT_EQ(::lchown(path.constData(), theUser, theUser), 0) << path.constData();
        }
    }
    // Runs the steps as the user: as the user without privileges when the test runs as root.
    static void asTheUser(const std::function<void()> &steps)
    {
        if (!runningAsRoot())
            return steps();
        const ThreadRunsAs user(theUser);
        steps();
    }
    void lock(const QByteArray &path, mode_t mode)
    {
        ASSERT_EQ(::chmod(path.constData(), mode), 0);
        // Given back, so that it can be removed.
        undos.push_back([path] { ::chmod(path.constData(), 0700); });
    }

    void writeIni(const QByteArray &bytes)
    {
        const int fd = ::open(ini().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << ini().constData() << ": " << std::strerror(errno);
        const ssize_t n = ::write(fd, bytes.constData(), size_t(bytes.size()));
        ::close(fd);
        ASSERT_EQ(n, bytes.size());
    }
    QByteArray iniBytes() const { return contentOf(ini()); }

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

    std::vector<std::function<void()>> undos;

  private:
    EnvironmentVariable home_{"HOME"};
    QByteArray folder_;
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
    const QByteArray pipe = GetParam().linked ? here("elsewhere") : ini();
    UnansweredFifo fifo(QFile::decodeName(pipe));
    if (GetParam().linked) {
        ASSERT_EQ(::symlink(pipe.constData(), ini().constData()), 0);
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
    EXPECT_EQ(entriesOf(folder()).size(), GetParam().linked ? 2 : 1) << "no side file is left behind";
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Settings, NotAFileInItsPlace,
                         ::testing::Values(NotAFile{"NamedPipe", false}, NotAFile{"LinkToANamedPipe", true}),
                         [](const auto &info) { return info.param.name; });

// ---- Folders the program cannot search

struct Folder {
    const char *name;
    bool locked; // the user's own folder, which the user may not search
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
    if (GetParam().locked) {
        writeIni("Minport\n" + portRow(UnitIn).toUtf8() + "\n");
        giveToTheUser(ini());
        giveToTheUser(folder());
        lock(folder(), 0600);
    } else {
        // The folder exists, but no name in it can be tested for: the file's path is too long.
        useFolder(QFile::encodeName(folderOfLength(settingsFolder.path(), 4090)));
    }

    asTheUser([this] { openProgram(); });
    EXPECT_EQ(rb::testseam::shownMessages(), QStringList{"config directory missing"});
    EXPECT_TRUE(mainWindow().Visible()) << "the start goes on";
}

INSTANTIATE_TEST_SUITE_P(Settings, FolderThatCannotBeSearched,
                         ::testing::Values(Folder{"NotSearchable", true},
                                           Folder{"PathTooLongForTheFile", false}),
                         [](const auto &info) { return info.param.name; });

// ---- Wherever the file lives, a save leaves it whole and the same file

class WhereverTheFileLives;

struct Place {
    const char *name;
    const char *rootSetsUp; // what only root can set up; nil where anyone can
    bool savedByRoot;       // the program run by root on the user's file, as with sudo -E
    const char *failure;    // the cause a save that cannot be written gives; nil: the change is written
    void (WhereverTheFileLives::*prepare)();
};
void PrintTo(const Place &c, std::ostream *os)
{
    *os << c.name;
}

class WhereverTheFileLives : public SettingsFile, public ::testing::WithParamInterface<Place>
{
  public:
    // A file just short of one 4 KiB block, which the newly chosen port row makes longer than that.
    static QByteArray note()
    {
        const qsizetype others = savedFile({"Minport", portRow(ColonIn).toUtf8(), "note", ""}).size();
        return QByteArray(4091 - others, 'n');
    }
    static QByteArray before() { return savedFile({"Minport", portRow(ColonIn).toUtf8(), "note", note()}); }
    static QByteArray after() { return savedFile({"Minport", portRow(UnitIn).toUtf8(), "note", note()}); }

    void usersFolder()
    {
        useFolder(here("cfg"));
        makeUsersFolder(folder());
        usersFile();
    }
    void usersFile()
    {
        writeIni(before());
        giveToTheUser(ini());
    }

    void readOnlyFolder()
    {
        usersFolder();
        lock(folder(), 0555);
    }
    void pathWithNoRoomForALongerName()
    {
        useFolder(
            QFile::encodeName(folderOfLength(settingsFolder.path(), 4095 - int(sizeof("/korvane.ini")))));
        usersFile();
    }
    void fullDiskAndAFolderTheUserCannotWrite()
    {
        // A file system of four blocks: the file takes one, and the rest is filled.
        const QByteArray disk = here("disk");
        ASSERT_EQ(::mkdir(disk.constData(), 0755), 0);
        ASSERT_EQ(::mount("tmpfs", disk.constData(), "tmpfs", 0, "size=16k,mode=0755"), 0)
            << std::strerror(errno);
        undos.push_back([disk] { ::umount2(disk.constData(), MNT_DETACH); });
        useFolder(disk + "/cfg");
        ASSERT_EQ(::mkdir(folder().constData(), 0755), 0);
        usersFile();
        const int filler = ::open((disk + "/filler").constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(filler, 0);
        const QByteArray block(4096, 'f');
        while (::write(filler, block.constData(), size_t(block.size())) > 0) {
        }
        EXPECT_EQ(errno, ENOSPC);
        ::close(filler);
    }
    void mountedIntoTheFolder()
    {
        // As a container or a sandbox is handed its settings file: another file mounted in its place.
        usersFolder();
        const QByteArray mounted = here("mounted.ini");
        ASSERT_EQ(::rename(ini().constData(), mounted.constData()), 0);
        writeIni("placeholder\n");
        ASSERT_EQ(::mount(mounted.constData(), ini().constData(), nullptr, MS_BIND, nullptr), 0)
            << std::strerror(errno);
        const QByteArray at = ini();
        undos.push_back([at] { ::umount2(at.constData(), MNT_DETACH); });
    }
    void anotherUsersFileInASharedFolder()
    {
        // A folder everyone writes in and each may only rename and remove their own, as /tmp.
        useFolder(here("shared"));
        ASSERT_EQ(::mkdir(folder().constData(), 0755), 0);
        ASSERT_EQ(::chmod(folder().constData(), 01777), 0);
        writeIni(before());
        ASSERT_EQ(::chown(ini().constData(), anotherUser, anotherUser), 0);
        ASSERT_EQ(::chmod(ini().constData(), 0666), 0);
    }
    void folderThatTakesNewNamesOnly()
    {
        usersFolder();
        const QByteArray at = folder();
        const int fd = ::open(at.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        int flags = 0;
        const bool kept = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        const int old = flags;
        flags |= FS_APPEND_FL;
        if (!kept || ::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0) {
            ::close(fd);
            GTEST_SKIP() << "the test's file system keeps no append-only flag: " << std::strerror(errno);
        }
        ::close(fd);
        undos.push_back([at, old] {
            const int folder = ::open(at.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            int flags = old;
            ::ioctl(folder, FS_IOC_SETFLAGS, &flags);
            ::close(folder);
        });
    }
    void usersFileForRoot()
    {
        usersFolder();
        ASSERT_EQ(::chmod(ini().constData(), 0640), 0);
    }
    void extendedAttributes()
    {
        usersFolder();
        const QByteArray acl = accessControlList();
        if (::setxattr(ini().constData(), "user.korvane.note", "kept", 4, 0) != 0 ||
            ::setxattr(ini().constData(), "system.posix_acl_access", acl.constData(), size_t(acl.size()),
                       0) != 0)
            GTEST_SKIP() << "the test's file system keeps no attributes or access lists: "
                         << std::strerror(errno);
    }
    void hardLinked()
    {
        usersFolder();
        otherNames << folder() + "/korvane-shared.ini";
        ASSERT_EQ(::link(ini().constData(), otherNames.back().constData()), 0);
    }
    void folderNamedInLatin1()
    {
        useFolder(here("caf\xE9"));
        makeUsersFolder(folder());
        usersFile();
        wrongPlaces << here("caf\xEF\xBF\xBD"); // the name read as UTF-8, its byte replaced
    }
    void homeNamedInLatin1()
    {
        const QByteArray home = here("h\xF6me");
        makeUsersFolder(home);
        useHome(home);
        makeUsersFolder(folder());
        usersFile();
        wrongPlaces << here("h\xEF\xBF\xBDme");
    }
    void parentAfterALink()
    {
        // "link/.." is the folder above the link's target, not the test's folder.
        ASSERT_EQ(::mkdir(here("real").constData(), 0755), 0);
        ASSERT_EQ(::mkdir(here("real/deep").constData(), 0755), 0);
        ASSERT_EQ(::symlink("real/deep", here("link").constData()), 0);
        useFolder(here("link/../cfg"));
        makeUsersFolder(folder());
        usersFile();
        EXPECT_TRUE(exists(here("real/cfg/korvane.ini")));
        wrongPlaces << here("cfg");
    }

  protected:
    QByteArrayList otherNames;  // the file's other names, which must read as it does
    QByteArrayList wrongPlaces; // where the settings must not be looked for, nor saved
};

TEST_P(WhereverTheFileLives, ASaveLeavesItWholeAndTheSameFile)
{
    const Place &place = GetParam();
    if (place.rootSetsUp && !runningAsRoot())
        GTEST_SKIP() << "only root can set up " << place.rootSetsUp;
    (this->*place.prepare)();
    if (HasFatalFailure() || IsSkipped())
        return;
    const Identity identity = identityOf(ini());
    const QByteArrayList entries = entriesOf(folder());

    testing::internal::CaptureStderr();
    const auto steps = [this] {
        openProgram();
        // The file was found where the system finds it.
        ASSERT_TRUE(rb::testseam::shownMessages().isEmpty())
            << rb::testseam::shownMessages().join('|').toStdString();
        chooseTheUnitsInputPort();
    };
    if (place.savedByRoot)
        steps();
    else
        asTheUser(steps);
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(iniBytes(), place.failure ? before() : after());
    EXPECT_EQ(identityOf(ini()), identity);
    EXPECT_EQ(entriesOf(folder()), entries) << "nothing is left beside it";
    for (const QByteArray &name : otherNames)
        EXPECT_EQ(contentOf(name), iniBytes()) << name.constData();
    for (const QByteArray &path : wrongPlaces)
        EXPECT_FALSE(exists(path)) << path.constData();
    EXPECT_EQ(korvane::config::getstring("Minport"), portRow(UnitIn)) << "the setting is kept in memory";
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty())
        << rb::testseam::shownMessages().join('|').toStdString();
    if (place.failure) {
        EXPECT_NE(err.find("The settings were not saved in " + ini().toStdString()), std::string::npos)
            << err;
        EXPECT_NE(err.find(place.failure), std::string::npos) << err;
    } else {
        EXPECT_EQ(err.find("not saved"), std::string::npos) << err;
    }
}

using W = WhereverTheFileLives;
INSTANTIATE_TEST_SUITE_P(
    Settings, WhereverTheFileLives,
    ::testing::Values(
        Place{"TheUsersOwnFolder", nullptr, false, nullptr, &W::usersFolder},
        Place{"ReadOnlyFolder", nullptr, false, nullptr, &W::readOnlyFolder},
        Place{"PathWithNoRoomForALongerName", nullptr, false, nullptr, &W::pathWithNoRoomForALongerName},
        Place{"FullDiskAndAFolderTheUserCannotWrite", "a file system of its own", false,
              "No space left on device", &W::fullDiskAndAFolderTheUserCannotWrite},
        Place{"MountedIntoTheFolder", "a mount", false, nullptr, &W::mountedIntoTheFolder},
        Place{"AnotherUsersFileInASharedFolder", "another user's file", false, nullptr,
              &W::anotherUsersFileInASharedFolder},
        Place{"FolderThatTakesNewNamesOnly", "an append-only folder", false, nullptr,
              &W::folderThatTakesNewNamesOnly},
        Place{"TheUsersFileSavedByRoot", "a save by root of another user's file", true, nullptr,
              &W::usersFileForRoot},
        Place{"ExtendedAttributesAndAnAccessList", nullptr, false, nullptr, &W::extendedAttributes},
        Place{"HardLinked", nullptr, false, nullptr, &W::hardLinked},
        Place{"FolderNamedInLatin1", nullptr, false, nullptr, &W::folderNamedInLatin1},
        Place{"HomeNamedInLatin1", nullptr, false, nullptr, &W::homeNamedInLatin1},
        Place{"ParentAfterALink", nullptr, false, nullptr, &W::parentAfterALink}),
    [](const auto &info) { return info.param.name; });

// ---- The user's permissions and bytes

class Permissions : public SettingsFile, public ::testing::WithParamInterface<mode_t>
{
};

TEST_P(Permissions, AreKeptByASave)
{
    writeIni("Minport\n" + portRow(ColonIn).toUtf8() + "\n");
    ASSERT_EQ(::chmod(ini().constData(), GetParam()), 0);

    openProgram();
    chooseTheUnitsInputPort();
    EXPECT_EQ(iniBytes(), savedFile({"Minport", portRow(UnitIn).toUtf8()}));
    struct stat st;
    ASSERT_EQ(::stat(ini().constData(), &st), 0);
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
