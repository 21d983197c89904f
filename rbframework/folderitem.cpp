#include "folderitem.h"

#include "filereplace.h"
#include "regularfile.h"
#include "testseam.h"

#include <QBuffer>
#include <QByteArrayList>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

// The path without the parts that name nothing of their own: repeated separators, "." and a
// separator at the end. ".." stays, as the system reads it: after a link it leads to the parent of
// the link's target, which is not the folder the link is in.
QByteArray tidied(const QByteArray &path)
{
    QByteArrayList parts = path.split('/');
    parts.removeAll(QByteArray());
    parts.removeAll(QByteArray("."));
    const QByteArray joined = parts.join('/');
    return path.startsWith('/') ? '/' + joined : joined;
}

QString executableFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
}

// The regular file at the path opened in the mode; nil when it cannot be, or is something else.
std::unique_ptr<QFile> openRegular(const QByteArray &path, int flags, QIODevice::OpenMode mode)
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

FolderItem::FolderItem(const QString &absolutePath) : path_(tidied(QFile::encodeName(absolutePath))) {}

FolderItemPtr FolderItem::FromNativePath(const QByteArray &absolutePath)
{
    FolderItemPtr item(new FolderItem);
    item->path_ = tidied(absolutePath);
    return item;
}

FolderItemPtr FolderItem::Child(const QString &name) const
{
    if (!validName(name))
        return nullptr;
    return FromNativePath(path_ + '/' + QFile::encodeName(name));
}

FolderItemPtr FolderItem::Parent() const
{
    if (path_ == "/" || path_.isEmpty())
        return nullptr;
    // What holds the folder that ".." names is one ".." further up.
    if (path_ == ".." || path_.endsWith("/.."))
        return FromNativePath(path_ + "/..");
    const qsizetype slash = path_.lastIndexOf('/');
    return FromNativePath(slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path_.left(slash));
}

bool FolderItem::Exists() const
{
    const regularfile::Existence e = regularfile::existence(path_);
    lastError_ = e.error;
    return e.exists;
}

bool FolderItem::Directory() const
{
    struct stat st;
    return ::stat(path_.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString FolderItem::Name() const
{
    return QFile::decodeName(path_.mid(path_.lastIndexOf('/') + 1));
}

void FolderItem::Name(const QString &newName)
{
    if (!validName(newName))
        return;
    const FolderItemPtr parent = Parent();
    const FolderItemPtr target = parent ? parent->Child(newName) : nullptr;
    if (!target || target->path_ == path_)
        return;
    // An existing file keeps its old name when the rename fails, also when the new name is taken:
    // the rename never replaces another file.
    if (regularfile::existence(path_).exists &&
        ::renameat2(AT_FDCWD, path_.constData(), AT_FDCWD, target->path_.constData(), RENAME_NOREPLACE) != 0)
        return;
    path_ = target->path_;
}

QString FolderItem::NativePath() const
{
    return QFile::decodeName(path_);
}

qint64 FolderItem::Length() const
{
    struct stat st;
    return ::stat(path_.constData(), &st) == 0 && S_ISREG(st.st_mode) ? qint64(st.st_size) : 0;
}

bool FolderItem::Launch(bool) const
{
    if (testseam::detail::scripted())
        return testseam::detail::launch(NativePath());
    return QDesktopServices::openUrl(QUrl::fromLocalFile(NativePath()));
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

std::optional<FileError> FolderItem::ReplaceContents(const QByteArray &bytes) const
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
    // Read straight into the bytes: first as many as the stream says it holds (the count may be a
    // bound far beyond that), then more should it have grown.
    constexpr qint64 growth = 64 * 1024;
    qint64 done = 0;
    bytes.resize(qsizetype(qBound<qint64>(0, Length() - Position(), count)));
    while (done < count) {
        if (done == bytes.size())
            bytes.resize(qsizetype(qMin(count, done + growth)));
        const qint64 n = device_->read(bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            readError_ = n < 0;
            break;
        }
        done += n;
    }
    bytes.resize(qsizetype(done));
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
    // What is left unread moves to the front, and the next chunk is read in after it, into the
    // buffer's own memory: the buffer is made once, whatever the file's length.
    const qsizetype left = buffer_.size() - pos_;
    std::memmove(buffer_.data(), buffer_.constData() + pos_, size_t(left));
    pos_ = 0;
    buffer_.resize(left + chunkSize);
    const qint64 n = file_->read(buffer_.data() + left, chunkSize);
    buffer_.resize(left + qsizetype(std::max<qint64>(n, 0)));
    return n > 0;
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
    QByteArray line;
    passLine(&line);
    return line;
}

qint64 TextInputStream::SkipLine()
{
    return passLine(nullptr);
}

qint64 TextInputStream::passLine(QByteArray *line)
{
    qint64 length = 0;
    for (;;) {
        const char *const begin = buffer_.constData() + pos_;
        const char *const end = buffer_.constData() + buffer_.size();
        const char *const ending = std::find_if(begin, end, [](char c) { return c == '\n' || c == '\r'; });
        if (line)
            line->append(begin, ending - begin);
        length += ending - begin;
        pos_ = ending - buffer_.constData();
        if (ending != end) {
            const bool cr = *ending == '\r';
            ++pos_;
            // CR LF is one ending, also when the LF is in the next chunk.
            if (cr && pos_ >= buffer_.size())
                fill();
            if (cr && pos_ < buffer_.size() && buffer_[pos_] == '\n')
                ++pos_;
            return length;
        }
        // The last line may have no ending.
        if (!fill())
            return length;
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

namespace
{

// The folder made, and every folder above it that is missing (mkdir -p).
void makeFolders(const QByteArray &path)
{
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1))
        ::mkdir(path.left(slash).constData(), 0777);
    ::mkdir(path.constData(), 0777);
}

} // namespace

FolderItemPtr ApplicationData()
{
    // The variables' bytes as they are. Relative values of XDG_CONFIG_HOME are ignored, as the XDG
    // base directory rules ask; without HOME, the root folder is home.
    QByteArray path = qgetenv("XDG_CONFIG_HOME");
    if (!path.startsWith('/'))
        path = qgetenv("HOME") + "/.config";
    // When it cannot be made, the item still names it; opening files in it then answers nil.
    makeFolders(path);
    return FolderItem::FromNativePath(path);
}

} // namespace SpecialFolder

FolderItemPtr Volume(int index)
{
    if (index != 0)
        return nullptr;
    return FolderItem::FromNativePath("/");
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
