#include "fileidentity.h"

#include <QByteArrayList>
#include <cerrno>
#include <sys/xattr.h>
#include <unistd.h>

namespace rb::regularfile
{

namespace
{

// What a call that fills a buffer answers (the list of attribute names, an attribute's value),
// asking for its size first; nothing (errno set) when it fails.
template <typename Fill> std::optional<QByteArray> fetch(Fill fill)
{
    for (;;) {
        const ssize_t size = fill(nullptr, 0);
        if (size < 0)
            return std::nullopt;
        QByteArray bytes(qsizetype(size), '\0');
        const ssize_t got = fill(bytes.data(), size_t(size));
        if (got >= 0) {
            bytes.truncate(got);
            return bytes;
        }
        // Grown since its size was asked for: ask again.
        if (errno != ERANGE)
            return std::nullopt;
    }
}

// The names of the attributes a listing call gives; a file system that keeps none gives none.
template <typename List> std::optional<QByteArrayList> attributeNames(List list)
{
    const std::optional<QByteArray> names = fetch(list);
    if (!names)
        return errno == ENOTSUP ? std::optional(QByteArrayList()) : std::nullopt;
    QByteArrayList split = names->split('\0');
    split.removeAll(QByteArray());
    return split;
}

std::optional<FileError> copyAttributes(const QByteArray &from, int to)
{
    const std::optional<QByteArrayList> wanted = attributeNames(
        [&from](char *names, size_t size) { return ::llistxattr(from.constData(), names, size); });
    const std::optional<QByteArrayList> present =
        attributeNames([to](char *names, size_t size) { return ::flistxattr(to, names, size); });
    if (!wanted || !present)
        return FileError{"list the extended attributes", errno};
    // What the new file took from its folder (a default access control list) and the old one lacks.
    for (const QByteArray &name : *present) {
        if (!wanted->contains(name) && ::fremovexattr(to, name.constData()) != 0)
            return FileError{"remove an extended attribute the old file lacks", errno};
    }
    for (const QByteArray &name : *wanted) {
        const std::optional<QByteArray> value = fetch([&](char *bytes, size_t size) {
            return ::lgetxattr(from.constData(), name.constData(), bytes, size);
        });
        if (!value || ::fsetxattr(to, name.constData(), value->constData(), size_t(value->size()), 0) != 0)
            return FileError{"copy an extended attribute", errno};
    }
    return std::nullopt;
}

} // namespace

std::optional<FileError> carryIdentity(const QByteArray &originalPath, const struct stat &original,
                                       int replacement)
{
    // The owner first: a change of owner clears the set-user-ID bit and the file capabilities, so
    // those are given after it.
    if (::fchown(replacement, original.st_uid, original.st_gid) != 0)
        return FileError{"give the new file the old one's owner and group", errno};
    if (std::optional<FileError> failed = copyAttributes(originalPath, replacement))
        return failed;
    if (::fchmod(replacement, original.st_mode & 07777) != 0)
        return FileError{"give the new file the old one's mode", errno};
    return std::nullopt;
}

} // namespace rb::regularfile
