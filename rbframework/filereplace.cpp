#include "filereplace.h"

#include "filedescriptor.h"
#include "fileidentity.h"
#include "inplacerewrite.h"
#include "regularfile.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace rb::regularfile
{

namespace
{

// Whether names can only be added to the folder (chattr +a): a new file made there could neither
// take the old one's place nor be removed again.
bool takesNewNamesOnly(int folder)
{
    int flags = 0;
    return ::ioctl(folder, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL) != 0;
}

// While it lives, no other copy of the program puts a new file in place in the folder, so that the
// side name below is this save's alone. The system ends the lock with the process, however it ends.
// Where the file system keeps no locks, saves go on without.
class FolderLock
{
  public:
    explicit FolderLock(int folder) : folder_(folder)
    {
        int result;
        do
            result = ::flock(folder_, LOCK_EX);
        while (result != 0 && errno == EINTR);
        locked_ = result == 0;
    }
    ~FolderLock()
    {
        if (locked_)
            ::flock(folder_, LOCK_UN);
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

  private:
    int folder_;
    bool locked_;
};

// A name in the folder, removed again when this ends unless it has taken the file's place.
class SideName
{
  public:
    SideName(int folder, QByteArray name) : folder_(folder), name_(std::move(name)) {}
    ~SideName()
    {
        if (!name_.isEmpty())
            ::unlinkat(folder_, name_.constData(), 0);
    }
    SideName(const SideName &) = delete;
    SideName &operator=(const SideName &) = delete;
    void tookThePlace() { name_.clear(); }

  private:
    int folder_;
    QByteArray name_;
};

// A new file in the folder that no one sees before it is linked in (O_TMPFILE). Where the file
// system makes no unnamed files, the new file is made under the side name at once (`named`).
int makeNewFile(int folder, const QByteArray &side, mode_t mode, bool &named)
{
    const int fd = ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    named = fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR);
    if (!named)
        return fd;
    return ::openat(folder, side.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

bool linkIn(int file, int folder, const QByteArray &side)
{
    const QByteArray open = "/proc/self/fd/" + QByteArray::number(file);
    return ::linkat(AT_FDCWD, open.constData(), folder, side.constData(), AT_SYMLINK_FOLLOW) == 0;
}

std::optional<FileError> replaceByNewFile(const LinkEnd &target, const QByteArray &bytes)
{
    const qsizetype slash = target.path.lastIndexOf('/');
    const QByteArray folderPath = slash < 0 ? "." : slash == 0 ? "/" : target.path.left(slash);
    const QByteArray name = target.path.mid(slash + 1);

    const FileDescriptor folder(::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        return FileError{"open the folder", errno};
    if (target.status && takesNewNamesOnly(folder.get()))
        return FileError{"the folder takes new names only", 0};
    const FolderLock lock(folder.get());
    // The new file goes in under this name just before it takes the file's place; a save cut short
    // between the two steps leaves it behind, and the next save removes it.
    const QByteArray side = '.' + name + ".saving";
    ::unlinkat(folder.get(), side.constData(), 0);

    bool named = false;
    const FileDescriptor file(makeNewFile(folder.get(), side, target.status ? 0600 : 0666, named));
    if (file.get() < 0)
        return FileError{"make the new file", errno};
    std::optional<SideName> sideName;
    if (named)
        sideName.emplace(folder.get(), side);
    if (target.status) {
        if (std::optional<FileError> failed = carryIdentity(target.path, *target.status, file.get()))
            return failed;
    }
    if (!writeWhole(file.get(), bytes) || ::fsync(file.get()) != 0)
        return FileError{"write the new file", errno};
    if (!named) {
        if (!linkIn(file.get(), folder.get(), side))
            return FileError{"link the new file in", errno};
        sideName.emplace(folder.get(), side);
    }
    if (::renameat(folder.get(), side.constData(), folder.get(), name.constData()) != 0)
        return FileError{"put the new file in the old one's place", errno};
    sideName->tookThePlace();
    return std::nullopt;
}

} // namespace

std::optional<FileError> replace(const QByteArray &path, const QByteArray &bytes)
{
    const std::optional<LinkEnd> target = linkEnd(path);
    if (!target)
        return FileError{"follow the links to the file", errno};
    if (!target->status)
        return replaceByNewFile(*target, bytes);
    if (!S_ISREG(target->status->st_mode))
        return FileError{"something other than a regular file is in the file's place", 0};
    // A new file would leave the old content to the file's other names.
    if (target->status->st_nlink == 1 && !replaceByNewFile(*target, bytes))
        return std::nullopt;
    return rewriteInPlace(target->path, bytes);
}

} // namespace rb::regularfile
