#pragma once
// A file's content rewritten in the file itself, where no new file can take its place. Not in one
// step, so a reader may meet the change half made; but the space the new content needs is secured
// before any byte changes, and a write that fails after that puts the old bytes back.

#include "fileerror.h"

#include <QByteArray>
#include <optional>

namespace rb::regularfile
{

// Puts the bytes in the place of the content of the regular file at the path (links followed). An
// error leaves the file's content as it was.
[[nodiscard]] std::optional<FileError> rewriteInPlace(const QByteArray &path, const QByteArray &bytes);

} // namespace rb::regularfile
