#pragma once
// Files and folders, and the byte and text streams opened on them. A method that cannot give a
// stream or an item answers nil (an empty pointer); callers dereference with rb::deref.

#include "fileerror.h"

#include <QFile>
#include <QString>
#include <cstdio>
#include <memory>
#include <optional>

// The streams' EOF() would collide with the C library's macro of that name, which Qt's headers pull
// in. C code that needs it can use std::char_traits<char>::eof().
#undef EOF

namespace rb
{

class BinaryStream;
class TextInputStream;
class TextOutputStream;
class FolderItem;
using FolderItemPtr = std::shared_ptr<FolderItem>;
using BinaryStreamPtr = std::shared_ptr<BinaryStream>;
using TextInputStreamPtr = std::shared_ptr<TextInputStream>;
using TextOutputStreamPtr = std::shared_ptr<TextOutputStream>;

class FolderItem
{
  public:
    // The item of a path given as text (by a dialog, by the program): the system's name for it is
    // its UTF-8 form.
    explicit FolderItem(const QString &absolutePath);
    // The item of a path given as the system's bytes (by the environment), kept as they are: a path
    // that is no UTF-8 text still names its own folder.
    static FolderItemPtr FromNativePath(const QByteArray &absolutePath);

    FolderItemPtr Child(const QString &name) const; // the item need not exist
    FolderItemPtr Parent() const;
    bool Exists() const;                             // false too when the system cannot tell:
    int LastErrorCode() const { return lastError_; } // then this is its error number, else 0
    bool Directory() const;
    QString Name() const;
    void Name(const QString &newName); // renames the file when it exists, else renames the item
    // The path as text, to show or to hand to Qt; bytes that are no UTF-8 text show as U+FFFD.
    QString NativePath() const;
    const QByteArray &NativePathBytes() const { return path_; } // the path as the system takes it
    qint64 Length() const;

    // Opens the document with the system's default application (the test seam records it instead);
    // false when the system could not open it.
    bool Launch(bool activate = true) const;

    // Only a regular file (or a link to one) opens; anything else in its place (a named pipe, a
    // device, a folder) answers nil at once, as a file that cannot be opened does.
    BinaryStreamPtr OpenAsBinaryFile(bool write = false) const; // nil when it cannot be opened
    TextInputStreamPtr OpenAsTextFile() const;                  // nil when it cannot be opened
    TextOutputStreamPtr CreateTextFile() const;                 // replaces an existing file; nil on failure
    // The file's whole content replaced by the bytes, the file kept whole and the same file
    // (rb::regularfile::replace); nothing when it was, else the step that failed.
    [[nodiscard]] std::optional<FileError> ReplaceContents(const QByteArray &bytes) const;

  private:
    FolderItem() = default;

    QByteArray path_;
    mutable int lastError_ = 0;
};

// Over a file, or over bytes in memory.
class BinaryStream
{
  public:
    explicit BinaryStream(std::unique_ptr<QFile> file);
    explicit BinaryStream(const QByteArray &bytes); // read-only
    bool EOF() const;
    int ReadInt8();  // signed byte; 0 at the end
    int ReadUInt8(); // 0..255; 0 at the end
    // Up to count bytes from the position, fewer at the end; ReadError tells whether the reading
    // stopped at a failure instead.
    QByteArray Read(qint64 count);
    bool ReadError() const { return readError_; }
    qint64 Position() const;
    void Position(qint64 pos);
    qint64 Length() const;
    void Close();

  private:
    std::unique_ptr<QIODevice> device_;
    bool readError_ = false;
};

// The platform's line ending, as the text streams write it.
QString EndOfLine();

// A line's bytes as text: UTF-8, or Latin-1 (each byte one character) when they are not valid
// UTF-8, so that no byte is lost. A UTF-8 line's byte-order mark is no part of its text.
QString LineText(const QByteArray &bytes);

// Reads lines ending in LF, CR LF or CR; the last line may have no ending.
class TextInputStream
{
  public:
    explicit TextInputStream(std::unique_ptr<QFile> file);
    bool EOF() const;
    QString ReadLine();         // a line without its ending, as LineText; empty at the end
    QByteArray ReadLineBytes(); // the same line's bytes as they are in the file
    // Moves past the next line, keeping nothing of it, so that a line of any length takes no more
    // memory than the read buffer; answers the line's length in bytes, without its ending.
    qint64 SkipLine();
    void Close();

  private:
    bool fill(); // reads more of the file into the buffer; false at its end
    // Moves past the next line and its ending, appending its bytes to `line` when one is given;
    // answers its length.
    qint64 passLine(QByteArray *line);

    std::unique_ptr<QFile> file_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
};

class TextOutputStream
{
  public:
    explicit TextOutputStream(std::unique_ptr<QFile> file);
    void WriteLine(const QString &line); // the line in UTF-8 and EndOfLine
    void Write(const QString &text);
    bool Close(); // false when the bytes could not all be written

  private:
    void put(const QByteArray &bytes);

    std::unique_ptr<QFile> file_;
    bool failed_ = false;
};

namespace SpecialFolder
{
// The XDG configuration folder ($XDG_CONFIG_HOME, default ~/.config), created when missing.
FolderItemPtr ApplicationData();
} // namespace SpecialFolder

FolderItemPtr Volume(int index);                  // 0: the filesystem root; nil for any other index
FolderItemPtr GetFolderItem(const QString &path); // "" is the program's own folder

} // namespace rb
