#pragma once
// Regular files on the system's own terms, for the framework's files. Paths are the system's bytes,
// as the environment or the system gave them: never decoded to text and encoded again. Nothing but
// a regular file is ever opened: a named pipe, a device or a folder in a file's place (or at the end
// of a link) is refused at once, and no open ever waits for another process.

#include <QByteArray>
#include <optional>
#include <sys/stat.h>

namespace rb::regularfile
{

// A descriptor of the regular file at the path (links followed), opened with the given open(2)
// flags; -1 (errno set) when it cannot be opened or is not a regular file. With O_CREAT a missing
// file is made.
[[nodiscard]] int open(const QByteArray &path, int flags);

// Whether the path names something (links followed): true or false, or nothing when the system
// could not tell (a folder that cannot be searched, a name too long), with the error number.
struct Existence {
    bool exists = false;
    int error = 0; // 0 when the answer is known
};
Existence existence(const QByteArray &path);

// Where a chain of links ends (the path itself when it is no link) and what is there.
struct LinkEnd {
    QByteArray path;
    std::optional<struct stat> status; // nothing when no file is there yet
};
// Nothing (errno set) when the chain cannot be read or does not end (the system's own limit of 40
// links).
std::optional<LinkEnd> linkEnd(QByteArray path);

// The whole content of the open file, read from its start; nothing (errno set) when a read fails.
std::optional<QByteArray> readWhole(int fd);
// Writes the bytes from the file's start; false (errno set) when a write fails.
[[nodiscard]] bool writeWhole(int fd, const QByteArray &bytes);

} // namespace rb::regularfile
