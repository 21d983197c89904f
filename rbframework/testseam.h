#pragma once
// What tests use to answer the framework's modal dialogs ahead and to see what the program showed.
// The program's own code never includes this header.

#include "folderitem.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace rb::testseam {

// Turns scripting on: dialogs and message boxes no longer block, beeps and launches are only recorded.
void enable();
void reset();   // forgets queued answers and everything recorded; scripting stays on

// A file dialog's settings as it was shown.
struct ShownDialog {
    bool saving = false;
    QString title;
    QString filter;
    QString initialDirectory;    // native path, empty when none
    QString suggestedFileName;
};

void answerNextDialog(FolderItemPtr choice);   // nil answers "cancelled"
const std::vector<ShownDialog> &shownDialogs();

void answerNextMsgBox(int button);             // unqueued message boxes answer 1 (OK)
const QStringList &shownMessages();

int beepCount();
const QStringList &launchedDocuments();        // native paths, in order

// Runs while a scripted message box is "shown", e.g. to look at the program's state at that moment.
void onMsgBox(std::function<void(const QString &)> hook);

// The framework's side of the seam, used by its dialogs, beep and launch.
namespace detail {
bool scripted();
FolderItemPtr showDialog(ShownDialog shown);   // records it, answers the queued choice or nil
int showMsgBox(const QString &message);        // records it, runs the hook, answers the queued button or 1
void beep();
void launch(const QString &nativePath);
} // namespace detail

} // namespace rb::testseam
