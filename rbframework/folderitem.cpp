#include "folderitem.h"

#include "regularfile.h"
#include "testseam.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <QUrl>
#include <fcntl.h>
#include <unistd.h>

namespace rb
{

namespace
{

// A name that stays inside its folder: not empty, no separator, not "." or "..", no NUL.
bool validName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(u'/') && !name.contains(QChar(0));
}

QString executableFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
}

// The regular file at the path opened in the mode; nil when it cannot be, or is something else.
std::unique_ptr<QFile> openRegular(const QString &path, int flags, QIODevice::OpenMode mode)
{
    const int fd = regularfile::open(path, flags);
    if (fd < 0)
        return nullptr;
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    return file;
}

} // namespace

FolderItem::FolderItem(QString absolutePath) : path_(QDir::cleanPath(absolutePath)) {}

FolderItemPtr FolderItem::Child(const QString &name) const
{
    if (!validName(name))
        return nullptr;
    return std::make_shared<FolderItem>(path_ == QLatin1String("/") ? path_ + name : path_ + u'/' + name);
}

FolderItemPtr FolderItem::Parent() const
{
    if (path_ == QLatin1String("/") || path_.isEmpty())
        return nullptr;
    return std::make_shared<FolderItem>(QFileInfo(path_).absolutePath());
}

bool FolderItem::Exists() const
{
    const regularfile::Existence e = regularfile::existence(path_);
    lastError_ = e.error;
    return e.exists;
}

bool FolderItem::Directory() const
{
    return QFileInfo(path_).isDir();
}

QString FolderItem::Name() const
{
    return QFileInfo(path_).fileName();
}

void FolderItem::Name(const QString &newName)
{
    if (!validName(newName))
        return;
    const QString parent = QFileInfo(path_).absolutePath();
    const QString target = parent == QLatin1String("/") ? parent + newName : parent + u'/' + newName;
    if (target == path_)
        return;
    // An existing file keeps its old name when the rename fails (e.g. the new name is taken).
    if (QFileInfo(path_).exists() && !QDir().rename(path_, target))
        return;
    path_ = target;
}

qint64 FolderItem::Length() const
{
    const QFileInfo info(path_);
    return info.isFile() ? info.size() : 0;
}

bool FolderItem::Launch(bool) const
{
    if (testseam::detail::scripted())
        return testseam::detail::launch(path_);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path_));
}

BinaryStreamPtr FolderItem::OpenAsBinaryFile(bool write) const
{
    // Opening for writing never creates the file: that is CreateTextFile's job.
    auto file = write ? openRegular(path_, O_RDWR, QIODevice::ReadWrite)
                      : openRegular(path_, O_RDONLY, QIODevice::ReadOnly);
    return file ? std::make_shared<BinaryStream>(std::move(file)) : nullptr;
}

TextInputStreamPtr FolderItem::OpenAsTextFile() const
{
    auto file = openRegular(path_, O_RDONLY, QIODevice::ReadOnly);
    return file ? std::make_shared<TextInputStream>(std::move(file)) : nullptr;
}

TextOutputStreamPtr FolderItem::CreateTextFile() const
{
    auto file = openRegular(path_, O_WRONLY | O_CREAT | O_TRUNC, QIODevice::WriteOnly);
    return file ? std::make_shared<TextOutputStream>(std::move(file)) : nullptr;
}

bool FolderItem::ReplaceContents(const QByteArray &bytes) const
{
    return regularfile::replace(path_, bytes);
}

// --- BinaryStream

BinaryStream::BinaryStream(std::unique_ptr<QFile> file) : device_(std::move(file)) {}

BinaryStream::BinaryStream(const QByteArray &bytes)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    device_ = std::move(buffer);
}

bool BinaryStream::EOF() const
{
    return !device_ || device_->atEnd();
}

int BinaryStream::ReadInt8()
{
    char c = 0;
    if (!device_ || !device_->getChar(&c))
        return 0;
    return int(static_cast<signed char>(c));
}

int BinaryStream::ReadUInt8()
{
    char c = 0;
    if (!device_ || !device_->getChar(&c))
        return 0;
    return int(static_cast<unsigned char>(c));
}

QByteArray BinaryStream::Read(qint64 count)
{
    QByteArray bytes;
    readError_ = !device_;
    if (readError_ || count <= 0)
        return bytes;
    // Room for what the stream says it holds, not for the count asked: the count may be a bound.
    bytes.reserve(qsizetype(qBound<qint64>(0, Length() - Position(), count)));
    char chunk[64 * 1024];
    while (bytes.size() < count) {
        const qint64 n = device_->read(chunk, qMin<qint64>(qint64(sizeof chunk), count - bytes.size()));
        if (n <= 0) {
            readError_ = n < 0;
            break;
        }
        bytes.append(chunk, qsizetype(n));
    }
    return bytes;
}

qint64 BinaryStream::Position() const
{
    return device_ ? device_->pos() : 0;
}

void BinaryStream::Position(qint64 pos)
{
    if (device_)
        device_->seek(qBound<qint64>(0, pos, device_->size()));
}

qint64 BinaryStream::Length() const
{
    return device_ ? device_->size() : 0;
}

void BinaryStream::Close()
{
    device_.reset();
}

// --- TextInputStream

namespace
{
constexpr qint64 chunkSize = 64 * 1024;

} // namespace

QString EndOfLine()
{
    return QStringLiteral("\n");
}

QString LineText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

TextInputStream::TextInputStream(std::unique_ptr<QFile> file) : file_(std::move(file)) {}

bool TextInputStream::fill()
{
    if (!file_ || file_->atEnd())
        return false;
    const QByteArray more = file_->read(chunkSize);
    if (more.isEmpty())
        return false;
    buffer_.remove(0, pos_);
    pos_ = 0;
    buffer_.append(more);
    return true;
}

bool TextInputStream::EOF() const
{
    return pos_ >= buffer_.size() && (!file_ || file_->atEnd());
}

QString TextInputStream::ReadLine()
{
    return LineText(ReadLineBytes());
}

QByteArray TextInputStream::ReadLineBytes()
{
    qsizetype scanned = 0; // bytes after pos_ known to hold no line ending
    for (;;) {
        qsizetype end = pos_ + scanned;
        while (end < buffer_.size() && buffer_[end] != '\n' && buffer_[end] != '\r')
            ++end;
        if (end < buffer_.size()) {
            const QByteArray line = buffer_.mid(pos_, end - pos_);
            const bool cr = buffer_[end] == '\r';
            pos_ = end + 1;
            // CR LF is one ending, also when the LF is in the next chunk.
            if (cr && pos_ >= buffer_.size())
                fill();
            if (cr && pos_ < buffer_.size() && buffer_[pos_] == '\n')
                ++pos_;
            return line;
        }
        scanned = end - pos_;
        if (!fill()) {
            // The last line, without an ending (or nothing at the end).
            const QByteArray line = buffer_.mid(pos_);
            pos_ = buffer_.size();
            return line;
        }
    }
}

void TextInputStream::Close()
{
    file_.reset();
    buffer_.clear();
    pos_ = 0;
}

// --- TextOutputStream

TextOutputStream::TextOutputStream(std::unique_ptr<QFile> file) : file_(std::move(file)) {}

void TextOutputStream::put(const QByteArray &bytes)
{
    if (!file_) {
        failed_ = true;
        return;
    }
    if (file_->write(bytes) != bytes.size())
        failed_ = true;
}

void TextOutputStream::WriteLine(const QString &line)
{
    put((line + EndOfLine()).toUtf8());
}

void TextOutputStream::Write(const QString &text)
{
    put(text.toUtf8());
}

bool TextOutputStream::Close()
{
    if (!file_)
        return !failed_;
    if (!file_->flush() || file_->error() != QFileDevice::NoError)
        failed_ = true;
    file_->close();
    if (file_->error() != QFileDevice::NoError)
        failed_ = true;
    file_.reset();
    return !failed_;
}

// --- Well-known folders

namespace SpecialFolder
{

FolderItemPtr ApplicationData()
{
    // Relative values of XDG_CONFIG_HOME are ignored, as the XDG base directory rules ask.
    QString path = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (path.isEmpty() || QDir::isRelativePath(path))
        path = QDir::homePath() + QStringLiteral("/.config");
    // When it cannot be made, the item still names it; opening files in it then answers nil.
    QDir().mkpath(path);
    return std::make_shared<FolderItem>(path);
}

} // namespace SpecialFolder

FolderItemPtr Volume(int index)
{
    if (index != 0)
        return nullptr;
    return std::make_shared<FolderItem>(QStringLiteral("/"));
}

FolderItemPtr GetFolderItem(const QString &path)
{
    const QString base = executableFolder();
    if (path.isEmpty())
        return std::make_shared<FolderItem>(base);
    if (path.contains(QChar(0)))
        return nullptr;
    return std::make_shared<FolderItem>(QDir::isAbsolutePath(path) ? path : base + u'/' + path);
}

} // namespace rb
