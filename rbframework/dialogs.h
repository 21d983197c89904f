#pragma once
// Modal file dialogs, message boxes and the beep. Under test they are answered by rb::testseam.

#include "folderitem.h"

#include <QString>

namespace rb {

class FileType {
public:
    QString Name;
    QString MacType;
    QString Extensions;        // without the point; several separated by ";"
    QString Operator_Convert() const;  // the text form used as a dialog's Filter: "binary (*.bin)"
    operator QString() const { return Operator_Convert(); }
};

class FileDialog {
public:
    virtual ~FileDialog() = default;
    FolderItemPtr InitialDirectory;
    QString SuggestedFileName;
    QString Title;
    QString Filter;
    FolderItemPtr ShowModal();    // the chosen item, nil when cancelled

protected:
    virtual bool saving() const = 0;
};

class OpenDialog : public FileDialog {
protected:
    bool saving() const override { return false; }
};

class SaveAsDialog : public FileDialog {
protected:
    bool saving() const override { return true; }
};

// Modal; answers the button pressed (1 for OK). Where no one can answer (the offscreen and minimal
// platforms) it shows nothing and answers 1 at once.
int MsgBox(const QString &message);
void Beep();

} // namespace rb
