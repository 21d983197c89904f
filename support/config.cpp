#include "config.h"

#include "rbframework/dialogs.h"
#include "rbframework/exceptions.h"
#include "rbframework/folderitem.h"

#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace korvane::config {

std::array<rb::String, entryCount> parray;
rb::String filename;
bool cfound = false;

namespace {

bool holdsLineBreak(const rb::String &text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

// The settings file as an item of the application-data folder; NilObjectException when there is
// no folder or no item can be formed for the name.
rb::FolderItem settingsItem()
{
    rb::FolderItemPtr folder = rb::SpecialFolder::ApplicationData();
    return rb::deref(rb::deref(folder).Child(filename));
}

// Pushes a written file's bytes to the disk before it replaces the old one.
void syncToDisk(const QString &path)
{
#ifdef Q_OS_UNIX
    QFile f(path);
    if (f.open(QIODevice::ReadOnly))
        ::fsync(f.handle());
#else
    Q_UNUSED(path);
#endif
}

// Moves a file over another in one step: afterwards the target is either the old file or the new.
bool replaceFile(const QString &from, const QString &to)
{
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(from.toStdU16String()),
                            std::filesystem::path(to.toStdU16String()), ec);
    return !ec;
}

} // namespace

int findconfig(const rb::String &key)
{
    cfound = false;
    for (int k = 0; k < pairCount; ++k) {
        const rb::String &entry = parray[2 * k];
        if (entry.isEmpty())
            return k;
        if (rb::Same(entry, key)) {
            cfound = true;
            return k;
        }
    }
    return 0;
}

rb::String getstring(const rb::String &key)
{
    const int k = findconfig(key);
    if (cfound)
        return parray[2 * k + 1];
    return {};
}

void putstring(const rb::String &key, const rb::String &value)
{
    putconfig(key, QVariant(value));
}

void putconfig(const rb::String &key, const QVariant &value)
{
    const rb::String text = value.toString();
    // One entry is one line of the file: a line break would shift every entry after it.
    if (holdsLineBreak(key) || holdsLineBreak(text))
        return;
    const int k = findconfig(key);
    // A full store answers pair 0 without finding the key; pair 0 belongs to another key.
    if (!cfound && !parray[2 * k].isEmpty())
        return;
    parray[2 * k] = key;
    if (!rb::Same(parray[2 * k + 1], text)) {
        parray[2 * k + 1] = text;
        saveconfig();
    }
}

rb::String getfont(const rb::String &key)
{
    const rb::String font = getstring(key);
    if (font.isEmpty())
        return QStringLiteral("Tahoma");
    return font;
}

void saveconfig()
{
    rb::FolderItem item = settingsItem();
    if (item.Exists())
        rb::deref(item.OpenAsBinaryFile(true)).Close();

    // The new table goes to a file beside the old one, which it replaces only once it is complete,
    // so a crash or a full disk never leaves a truncated settings file. A settings file that is a
    // link is replaced where the link points, and the link stays.
    QString target = item.NativePath();
    const QFileInfo info(target);
    if (info.isSymLink() && info.exists())
        target = info.canonicalFilePath();
    const rb::FolderItem written(target + QStringLiteral(".new"));

    rb::TextOutputStreamPtr out = written.CreateTextFile();
    if (!out)
        return;
    for (const rb::String &entry : parray)
        out->WriteLine(entry);
    if (!out->Close()) {
        QFile::remove(written.NativePath());
        return;
    }
    syncToDisk(written.NativePath());
    if (!replaceFile(written.NativePath(), target))
        QFile::remove(written.NativePath());
}

void initconfig(const rb::String &base)
{
    for (rb::String &entry : parray)
        entry.clear();
    filename = base + QStringLiteral(".ini");

    rb::FolderItemPtr folder = rb::SpecialFolder::ApplicationData();
    rb::FolderItemPtr item = rb::deref(folder).Child(filename);
    // The folder item names the folder even when it could not be made; a file in a folder that
    // does not exist cannot be tested for.
    if (!item || !folder->Directory()) {
        rb::MsgBox(QStringLiteral("config directory missing"));
        return;
    }
    if (!item->Exists()) {
        rb::MsgBox(QStringLiteral("config file missing"));
        return;
    }
    rb::TextInputStreamPtr in = item->OpenAsTextFile();
    rb::TextInputStream &stream = rb::deref(in);
    for (rb::String &entry : parray) {
        if (!stream.EOF())
            entry = stream.ReadLine();
    }
    stream.Close();
}

void release()
{
    for (rb::String &entry : parray)
        entry.clear();
    filename.clear();
    cfound = false;
}

} // namespace korvane::config
