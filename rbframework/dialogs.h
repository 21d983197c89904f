#pragma once
// Modal file dialogs, message boxes and the beep. Under test they are answered by rb::testseam.

#include "folderitem.h"

#include <QString>

namespace rb
{

class FileType
{
  public:
    QString Name;
    QString MacType;
    QString Extensions;               // without the point; several separated by ";"
    QString Operator_Convert() const; // the text form used as a dialog's Filter: "binary (*.bin)"
    operator QString() const { return Operator_Convert(); }
};

class FileDialog
{
  public:
    virtual ~FileDialog() = default;
    FolderItemPtr InitialDirectory;
    QString SuggestedFileName;
    QString Title;
    QString Filter;
    FolderItemPtr ShowModal(); // the chosen item, nil when cancelled

  protected:
    virtual bool saving() const = 0;
};

class OpenDialog : public FileDialog
{
  protected:
    bool saving() const override { return false; }
};

class SaveAsDialog : public FileDialog
{
  protected:
    bool saving() const override { return true; }
};

// MsgBox's buttons and answers, in the framework's numbers.
namespace MsgBoxButtons
{
constexpr int OK = 0;              // one button, OK
constexpr int YesNo = 4;           // Yes, then No
constexpr int SecondDefault = 256; // added: the second button is the default
} // namespace MsgBoxButtons
namespace MsgBoxAnswer
{
constexpr int OK = 1, Yes = 6, No = 7;
} // namespace MsgBoxAnswer

// Modal; shows the message as plain text, exactly as given, and answers the button pressed (Escape
// answers No). Where no one can answer (the offscreen and minimal platforms) it shows nothing and
// answers the default button at once.
int MsgBox(const QString &message, int buttons = MsgBoxButtons::OK);
void Beep();

} // namespace rb
