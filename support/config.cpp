#include "config.h"

#include "rbframework/dialogs.h"
#include "rbframework/exceptions.h"
#include "rbframework/folderitem.h"

#include <cstdio>

namespace korvane::config
{

std::array<rb::String, entryCount> parray;
rb::String filename;
bool cfound = false;

namespace
{

// Each line of the file as it was read, so that a line the program did not change is written back
// with exactly its bytes, whatever they are.
std::array<QByteArray, entryCount> readBytes;

void clearTable()
{
    for (rb::String &entry : parray)
        entry.clear();
    for (QByteArray &line : readBytes)
        line.clear();
}

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

// An entry's line: the bytes it was read from while it still reads as them, else its text in UTF-8.
QByteArray lineBytes(int i)
{
    if (rb::LineText(readBytes[i]) == parray[i])
        return readBytes[i];
    return parray[i].toUtf8();
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
    // A file that cannot be written (or is no regular file: a named pipe, a device) stops the save.
    if (item.Exists())
        rb::deref(item.OpenAsBinaryFile(true)).Close();

    // Whatever fails (a crash, a full disk, a second copy of the program saving at the same time),
    // the file is left whole, old or new, and the same file to its owner.
    const QByteArray endOfLine = rb::EndOfLine().toUtf8();
    QByteArray bytes;
    for (int i = 0; i < entryCount; ++i)
        bytes += lineBytes(i) + endOfLine;
    // A save shows no message: the change is kept in memory for this run, and the failure goes to
    // standard error with its cause.
    if (const std::optional<rb::FileError> failed = item.ReplaceContents(bytes))
        std::fprintf(stderr, "The settings were not saved in %s: %s\n", item.NativePathBytes().constData(),
                     qPrintable(failed->Message()));
}

void initconfig(const rb::String &base)
{
    clearTable();
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
        // When the system cannot even tell (a folder that cannot be searched), the folder is at fault.
        rb::MsgBox(item->LastErrorCode() != 0 ? QStringLiteral("config directory missing")
                                              : QStringLiteral("config file missing"));
        return;
    }
    rb::TextInputStreamPtr in = item->OpenAsTextFile();
    rb::TextInputStream &stream = rb::deref(in);
    for (int i = 0; i < entryCount; ++i) {
        if (!stream.EOF()) {
            readBytes[i] = stream.ReadLineBytes();
            parray[i] = rb::LineText(readBytes[i]);
        }
    }
    stream.Close();
}

void release()
{
    clearTable();
    filename.clear();
    cfound = false;
}

} // namespace korvane::config
