#pragma once
// A new file that is to take an old one's place takes its identity first: the owner and group, the
// extended attributes (and with them access control lists and security labels) and the mode, so
// that the file stays the same to everyone who uses it.

#include "fileerror.h"

#include <QByteArray>
#include <optional>
#include <sys/stat.h>

namespace rb::regularfile
{

// Gives the file open at `replacement` the identity of the file at `originalPath`, whose status is
// `original`. An error when any part of it cannot be given, as when the old file belongs to another
// user or to a group the caller is not in, and the caller is not the superuser.
[[nodiscard]] std::optional<FileError> carryIdentity(const QByteArray &originalPath,
                                                     const struct stat &original, int replacement);

} // namespace rb::regularfile
