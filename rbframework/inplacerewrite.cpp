#include "inplacerewrite.h"

#include "filedescriptor.h"
#include "regularfile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace rb::regularfile
{

namespace
{

// The file cut back to its old length after its space could not be secured. The C library secures
// space on a file system that cannot by writing into each block not yet there, which changes no byte
// of the content but may leave the file longer.
bool restoreLength(int fd, qsizetype length)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && (st.st_size == length || ::ftruncate(fd, off_t(length)) == 0);
}

// The old content put back after a write that failed.
bool restoreContent(int fd, const QByteArray &old)
{
    return writeWhole(fd, old) && ::ftruncate(fd, off_t(old.size())) == 0 && ::fsync(fd) == 0;
}

} // namespace

std::optional<FileError> rewriteInPlace(const QByteArray &path, const QByteArray &bytes)
{
    const FileDescriptor file(open(path, O_RDWR));
    if (file.get() < 0)
        return FileError{"open the file for writing", errno};
    const std::optional<QByteArray> old = readWhole(file.get());
    if (!old)
        return FileError{"read the old content", errno};

    if (!bytes.isEmpty()) {
        // Answers its error rather than setting errno.
        if (const int error = ::posix_fallocate(file.get(), 0, off_t(bytes.size())); error != 0) {
            if (!restoreLength(file.get(), old->size()))
                return FileError{"cut the file back to its old length", errno};
            return FileError{"secure the space for the new content", error};
        }
    }
    if (!writeWhole(file.get(), bytes) || ::ftruncate(file.get(), off_t(bytes.size())) != 0 ||
        ::fsync(file.get()) != 0) {
        const int error = errno;
        if (!restoreContent(file.get(), *old))
            return FileError{"put the old content back after a failed write", errno};
        return FileError{"write the new content", error};
    }
    return std::nullopt;
}

} // namespace rb::regularfile
