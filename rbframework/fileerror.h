#pragma once
// What a file operation could not do: the step that failed and the system's error number.

#include <QString>

namespace rb
{

struct FileError {
    // What was being done ("secure the space for the new content"), or what stood in the way.
    const char *step;
    // The system's error number; 0 where the step alone says what went wrong.
    int code;

    // "step: the system's text for the error"
    QString Message() const
    {
        const QString what = QString::fromLatin1(step);
        return code == 0 ? what : what + QStringLiteral(": ") + qt_error_string(code);
    }
};

} // namespace rb
