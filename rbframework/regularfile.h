#pragma once
// Regular files on the system's own terms, for the framework's files. Nothing but a regular file is
// ever opened or replaced: a named pipe, a device or a folder in a file's place (or at the end of a
// link) is refused at once, and no open ever waits for another process.

#include <QByteArray>
#include <QString>

namespace rb::regularfile
{

// A descriptor of the regular file at the path (links followed), opened with the given open(2)
// flags; -1 when it cannot be opened or is not a regular file. With O_CREAT a missing file is made.
[[nodiscard]] int open(const QString &path, int flags);

// Whether the path names something (links followed): true or false, or nothing when the system
// could not tell (a folder that cannot be searched, a name too long), with the error number.
struct Existence {
    bool exists = false;
    int error = 0; // 0 when the answer is known
};
Existence existence(const QString &path);

// Puts the bytes in the place of the regular file at the path, or makes the file with them. A link
// is followed and the file it leads to is replaced; the link stays. The bytes go to a side file of
// its own, made in the same folder, which then takes the file's place in one step, so that readers,
// a second writer and a crash only ever find the old file or the new one, whole; the new file takes
// the old one's permissions. Where no side file can be made there (a folder that cannot be written),
// the file is rewritten in place instead. False when nothing was replaced: anything but a regular
// file in the place, or a write that failed (the old file is then unchanged and no side file stays).
[[nodiscard]] bool replace(const QString &path, const QByteArray &bytes);

} // namespace rb::regularfile
