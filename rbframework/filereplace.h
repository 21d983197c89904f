#pragma once
// A file's whole content replaced so that, whatever fails, the file holds its old content or the
// whole new one, and stays the same file to everyone who uses it: its owner, group, mode, extended
// attributes and other names (hard links) are kept.

#include "fileerror.h"

#include <QByteArray>
#include <optional>

namespace rb::regularfile
{

// Puts the bytes in the place of the regular file at the path, or makes the file with them. A link
// is followed and the file it leads to is replaced; the link stays; anything but a regular file in
// the place is refused.
//
// The bytes go to a new file in the same folder, which takes the file's place in one step, so that
// readers, another copy of the program saving and a crash only ever find the old file or the new
// one, whole. Where the new file could not be the same file to its users (another owner or group,
// attributes it cannot take, other names of the file) or cannot take the old one's place (a folder
// that cannot be written or takes new names only, a file mounted in its place, another user's file
// in a shared folder), the file is rewritten in place instead (rewriteInPlace). An error tells the
// step that failed; the file is then as it was.
[[nodiscard]] std::optional<FileError> replace(const QByteArray &path, const QByteArray &bytes);

} // namespace rb::regularfile
