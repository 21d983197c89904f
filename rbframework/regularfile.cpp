#include "regularfile.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace rb::regularfile
{

namespace
{

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

// Where a chain of links ends (the path itself when it is no link) and what is there.
struct LinkEnd {
    QByteArray path;
    std::optional<struct stat> status; // nothing when no file is there yet
};

// Nothing when the chain cannot be read or does not end (the system's own limit of 40 links).
std::optional<LinkEnd> linkEnd(QByteArray path)
{
    for (int links = 0; links <= 40; ++links) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0)
            return errno == ENOENT ? std::optional(LinkEnd{path, std::nullopt}) : std::nullopt;
        if (!S_ISLNK(st.st_mode))
            return LinkEnd{path, st};
        QByteArray target(qsizetype(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (n <= 0 || n >= target.size())
            return std::nullopt;
        target.truncate(n);
        if (!target.startsWith('/'))
            target.prepend(path.left(path.lastIndexOf('/') + 1));
        path = target;
    }
    return std::nullopt;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

int openRegular(const QByteArray &name, int flags)
{
    struct stat st;
    // Something other than a regular file is not even opened: opening a device may act on it.
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
        return -1;
    }
    // Not waiting on the open: a named pipe put in the file's place since the test has no other end.
    const int fd = ::open(name.constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = ENXIO;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// A new, empty file beside the target under a name of its own; -1 (errno set) when none can be made.
int makeSideFile(const QByteArray &target, mode_t mode, QByteArray &name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + ".new-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Fills the side file and puts it in the target's place; the side file never stays behind.
bool replaceBySideFile(int fd, const QByteArray &side, const QByteArray &target, const QByteArray &bytes)
{
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(side.constData(), target.constData()) == 0)
        return true;
    ::unlink(side.constData());
    return false;
}

// Writes the bytes over the file itself and cuts it to their length: not in one step, but the
// change is kept where no side file can be made.
bool rewriteInPlace(const QByteArray &target, const QByteArray &bytes)
{
    const int fd = openRegular(target, O_WRONLY | O_CREAT);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, bytes) && ::ftruncate(fd, off_t(bytes.size())) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

} // namespace

int open(const QString &path, int flags)
{
    return openRegular(native(path), flags);
}

Existence existence(const QString &path)
{
    struct stat st;
    if (::stat(native(path).constData(), &st) == 0)
        return {true, 0};
    // Missing, or below something that is not a folder: the answer is no.
    if (errno == ENOENT || errno == ENOTDIR)
        return {false, 0};
    return {false, errno};
}

bool replace(const QString &path, const QByteArray &bytes)
{
    const std::optional<LinkEnd> target = linkEnd(native(path));
    if (!target || (target->status && !S_ISREG(target->status->st_mode)))
        return false;

    // A new file gets the usual permissions; a replacement keeps the old file's, which it takes
    // before any byte is written (where the system keeps permissions at all).
    QByteArray side;
    const int fd = makeSideFile(target->path, target->status ? 0600 : 0666, side);
    if (fd >= 0) {
        if (target->status)
            (void)::fchmod(fd, target->status->st_mode & 07777);
        return replaceBySideFile(fd, side, target->path, bytes);
    }
    // The folder refuses new names, or this one is too long for it; the file itself may still be
    // writable.
    if (errno == EACCES || errno == EPERM || errno == ENAMETOOLONG)
        return rewriteInPlace(target->path, bytes);
    return false;
}

} // namespace rb::regularfile
