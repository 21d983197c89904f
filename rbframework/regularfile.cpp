#include "regularfile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace rb::regularfile
{

int open(const QByteArray &path, int flags)
{
    struct stat st;
    // Something other than a regular file is not even opened: opening a device may act on it.
    if (::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
        return -1;
    }
    // Not waiting on the open: a named pipe put in the file's place since the test has no other end.
    const int fd = ::open(path.constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
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

Existence existence(const QByteArray &path)
{
    struct stat st;
    if (::stat(path.constData(), &st) == 0)
        return {true, 0};
    // Missing, or below something that is not a folder: the answer is no.
    if (errno == ENOENT || errno == ENOTDIR)
        return {false, 0};
    return {false, errno};
}

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
        if (n < 0)
            return std::nullopt;
        // Grown past the size lstat gave: changed between the two looks.
        if (n >= target.size()) {
            errno = EAGAIN;
            return std::nullopt;
        }
        target.truncate(n);
        if (!target.startsWith('/'))
            target.prepend(path.left(path.lastIndexOf('/') + 1));
        path = target;
    }
    errno = ELOOP;
    return std::nullopt;
}

std::optional<QByteArray> readWhole(int fd)
{
    QByteArray bytes;
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::pread(fd, chunk, sizeof chunk, off_t(bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return bytes;
        bytes.append(chunk, n);
    }
}

bool writeWhole(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done), off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace rb::regularfile
