#include "vosr.h"

#include "rbframework/dialogs.h"
#include "rbframework/exceptions.h"

#include <algorithm>
#include <span>
#include <utility>

namespace korvane::vosr
{

namespace
{

// One uppercase hexadecimal digit, 0 to 15.
QChar hexDigit(int value)
{
    return QLatin1Char("0123456789ABCDEF"[value]);
}

rb::FileType fileType(const char *name, const char *macType, const char *extensions)
{
    rb::FileType t;
    t.Name = QString::fromLatin1(name);
    t.MacType = QString::fromLatin1(macType);
    t.Extensions = QString::fromLatin1(extensions);
    return t;
}

rb::FileType firmwareType()
{
    return fileType("binary", "BIN ", "bin");
}
rb::FileType pdfType()
{
    return fileType("PDFfile", "PDF ", "pdf");
}
rb::FileType unitTextType()
{
    return fileType("votxt", "VOT ", "vot");
}

rb::FolderItemPtr documentsFolder()
{
    return rb::deref(rb::Volume(0)).Child(QStringLiteral("Documents"));
}

// Shows a dialog with its fields set in the usual order: folder, suggested name, title, filter.
rb::FolderItemPtr choose(rb::FileDialog &dlg, rb::FolderItemPtr initial, const QString &suggested,
                         const QString &title, const rb::FileType &type)
{
    dlg.InitialDirectory = std::move(initial);
    if (!suggested.isEmpty())
        dlg.SuggestedFileName = suggested;
    dlg.Title = title;
    dlg.Filter = type;
    return dlg.ShowModal();
}

} // namespace

rb::String byte2hex(uint8_t value)
{
    const QChar digits[] = {hexDigit(value >> 4), hexDigit(value & 0xF)};
    return rb::String(digits, 2);
}

rb::String mb2hex(const rb::MemoryBlock &mb, int32_t count)
{
    // Never past the block, whatever count the caller passes.
    const int n = std::min<int>(count, mb.Size());
    if (n <= 0)
        return {};
    // Written in place: the traffic lists take a row for every message.
    rb::String text(3 * qsizetype(n), Qt::Uninitialized);
    QChar *out = text.data();
    for (const uint8_t byte : std::span(mb.data(), std::size_t(n))) {
        *out++ = hexDigit(byte >> 4);
        *out++ = hexDigit(byte & 0xF);
        *out++ = u' ';
    }
    return text;
}

rb::String mb2hex(const rb::MemoryBlockPtr &mb, int32_t count)
{
    return mb2hex(rb::deref(mb), count);
}

rb::String splitspace2(rb::String &s)
{
    QStringView rest(s);
    const rb::String head = splitspace2(rest).toString();
    s = rest.toString();
    return head;
}

QStringView splitspace2(QStringView &s)
{
    const qsizetype p = s.indexOf(u' ');
    if (p < 0)
        return std::exchange(s, QStringView());
    const QStringView head = s.first(p);
    s = s.sliced(p + 1);
    return head;
}

rb::String splitdot(rb::String &s)
{
    const int p = rb::InStr(s, QStringLiteral("."));
    if (p == 0)
        return std::exchange(s, rb::String());
    const rb::String head = rb::Trim(rb::Left(s, p - 1));
    s = rb::Mid(s, p + 1);
    return head;
}

rb::FolderItemPtr openbinfile()
{
    rb::OpenDialog dlg;
    return choose(dlg, documentsFolder(), {}, QStringLiteral("Select a Bin file"), firmwareType());
}

void openpdffile()
{
    rb::OpenDialog dlg;
    rb::FolderItemPtr item =
        choose(dlg, rb::GetFolderItem(QString()), {}, QStringLiteral("Select a pdf file"), pdfType());
    if (item && item->Exists() && !item->Launch(true))
        rb::MsgBox(QStringLiteral("The manual \"%1\" could not be opened.").arg(item->NativePath()));
}

rb::FolderItemPtr saveasvotfile()
{
    for (;;) {
        rb::SaveAsDialog dlg;
        rb::FolderItemPtr item = choose(dlg, documentsFolder(), QStringLiteral("VRQ1.vot"),
                                        QStringLiteral("Select a VRQ-1 file"), unitTextType());
        if (!item)
            return nullptr;
        const rb::String name = item->Name();
        if (rb::InStr(name, QStringLiteral(".vot")) != 0)
            return item;
        // The item for the longer name, in the same folder. Renaming the chosen item would rename a
        // file already there, which the caller then empties.
        rb::FolderItemPtr parent = item->Parent();
        rb::FolderItemPtr named = parent ? parent->Child(name + QStringLiteral(".vot")) : nullptr;
        if (!named)
            return item;
        // The dialog asked about replacing the name as typed; the file written is this one. Declined,
        // the choice starts over.
        if (!named->Exists() ||
            rb::MsgBox(QStringLiteral("\"%1\" already exists. Do you want to replace it?").arg(named->Name()),
                       rb::MsgBoxButtons::YesNo + rb::MsgBoxButtons::SecondDefault) == rb::MsgBoxAnswer::Yes)
            return named;
    }
}

rb::FolderItemPtr openvotfile()
{
    rb::OpenDialog dlg;
    return choose(dlg, documentsFolder(), QStringLiteral("vrq1.vot"), QStringLiteral("Select a VRQ-1 file"),
                  unitTextType());
}

rb::String cmd2caption(int32_t cmd)
{
    static const struct {
        int32_t cmd;
        const char *caption;
    } captions[] = {
        {1, "[]"},     {2, "||"},    {3, ">"},     {4, "<"},     {5, ">>"},      {6, "<<"},      {11, "Goto"},
        {18, "On"},    {19, "Off"},  {20, "Rhs"},  {21, "Auto"}, {22, "Man"},    {23, "Rvw"},    {128, "-"},
        {129, "+"},    {130, "||<"}, {131, "|<"},  {132, ">|"},  {133, "M. In"}, {134, "M.Out"}, {135, ">||"},
        {136, "Loop"}, {137, "10>"}, {138, "<10"}, {142, "^"},   {143, "v"},
    };
    for (const auto &c : captions) {
        if (c.cmd == cmd)
            return QString::fromLatin1(c.caption);
    }
    return QStringLiteral("???");
}

} // namespace korvane::vosr
