#pragma once
// Files and folders, and the byte and text streams opened on them. A method that cannot give a
// stream or an item answers nil (an empty pointer); callers dereference with rb::deref.

#include <QFile>
#include <QString>
#include <cstdio>
#include <memory>

// The streams' EOF() would collide with the C library's macro of that name, which Qt's headers pull
// in. C code that needs it can use std::char_traits<char>::eof().
#undef EOF

namespace rb {

class BinaryStream;
class TextInputStream;
class TextOutputStream;
class FolderItem;
using FolderItemPtr = std::shared_ptr<FolderItem>;
using BinaryStreamPtr = std::shared_ptr<BinaryStream>;
using TextInputStreamPtr = std::shared_ptr<TextInputStream>;
using TextOutputStreamPtr = std::shared_ptr<TextOutputStream>;

class FolderItem {
public:
    explicit FolderItem(QString absolutePath);

    FolderItemPtr Child(const QString &name) const;  // the item need not exist
    FolderItemPtr Parent() const;
    bool Exists() const;
    bool Directory() const;
    QString Name() const;
    void Name(const QString &newName);               // renames the file when it exists, else renames the item
    QString NativePath() const { return path_; }
    qint64 Length() const;

    // Opens the document with the system's default application; the test seam records it instead.
    void Launch(bool activate = true) const;

    BinaryStreamPtr OpenAsBinaryFile(bool write = false) const;  // nil when it cannot be opened
    TextInputStreamPtr OpenAsTextFile() const;                   // nil when it cannot be opened
    TextOutputStreamPtr CreateTextFile() const;                  // replaces an existing file; nil on failure

private:
    QString path_;
};

class BinaryStream {
public:
    explicit BinaryStream(std::unique_ptr<QFile> file);
    bool EOF() const;
    int ReadInt8();                  // signed byte; 0 at the end
    int ReadUInt8();                 // 0..255; 0 at the end
    qint64 Position() const;
    void Position(qint64 pos);
    qint64 Length() const;
    void Close();

private:
    std::unique_ptr<QFile> file_;
};

// Reads lines ending in LF, CR LF or CR; the last line may have no ending.
// Bytes are read as UTF-8; a line that is not valid UTF-8 is read as Latin-1, so no byte is lost.
class TextInputStream {
public:
    explicit TextInputStream(std::unique_ptr<QFile> file);
    bool EOF() const;
    QString ReadLine();              // a line without its ending; empty at the end
    void Close();

private:
    bool fill();                     // reads more of the file into the buffer; false at its end

    std::unique_ptr<QFile> file_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
};

class TextOutputStream {
public:
    explicit TextOutputStream(std::unique_ptr<QFile> file);
    void WriteLine(const QString &line);  // the line and the platform's line ending (LF here)
    void Write(const QString &text);
    bool Close();                         // false when the bytes could not all be written

private:
    void put(const QByteArray &bytes);

    std::unique_ptr<QFile> file_;
    bool failed_ = false;
};

namespace SpecialFolder {
// The XDG configuration folder ($XDG_CONFIG_HOME, default ~/.config), created when missing.
FolderItemPtr ApplicationData();
} // namespace SpecialFolder

FolderItemPtr Volume(int index);              // 0: the filesystem root; nil for any other index
FolderItemPtr GetFolderItem(const QString &path); // "" is the program's own folder

} // namespace rb
