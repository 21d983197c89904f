#pragma once
// Whether a file can be handed to the system loader. The loader maps a shared library's segments
// straight from the file, so a damaged one (cut short, say) kills the process with SIGBUS when a
// mapped page past its end is touched; this check reads the file with bounded plain reads first.

#include <QString>

namespace rb
{

// "" when the path names a regular file holding an ELF shared library of this program's class, byte
// order and machine whose program headers and loadable segments lie inside the file; otherwise a
// plain reason, e.g. "no such file", "is a directory", "not an ELF file", "ELF for another machine
// (...)", "truncated: program headers lie past the end of the file (N bytes)".
QString pluginFileProblem(const QString &path);

} // namespace rb
