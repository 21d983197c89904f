#pragma once
// What tests use to answer the framework's modal dialogs ahead and to see what the program showed.
// The program's own code never includes this header.

#include "folderitem.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace rb::testseam
{

// Turns scripting on: dialogs and message boxes no longer block, beeps and launches are only recorded.
// A scripted dialog or message box is still on screen (a stand-in for a file dialog) while it is
// answered, so that the windows are left as the user's answer leaves them.
void enable();
void reset(); // forgets queued answers and everything recorded; scripting stays on

// A file dialog's settings as it was shown.
struct ShownDialog {
    bool saving = false;
    QString title;
    QString filter;
    QString initialDirectory; // native path, empty when none
    QString suggestedFileName;
};

void answerNextDialog(FolderItemPtr choice); // nil answers "cancelled"
const std::vector<ShownDialog> &shownDialogs();

void answerNextMsgBox(int button); // unqueued message boxes answer their default button
const QStringList &shownMessages();

int beepCount();
const QStringList &launchedDocuments(); // native paths, in order
void failLaunches(bool fail); // launches are recorded and answer that the system could not open them

// Runs while a scripted message box is "shown", e.g. to look at the program's state at that moment.
void onMsgBox(std::function<void(const QString &)> hook);
// Runs while a scripted file dialog is "shown", before it is answered.
void onDialog(std::function<void()> hook);

// The framework's side of the seam, used by its dialogs, beep and launch.
namespace detail
{
bool scripted();
FolderItemPtr showDialog(ShownDialog shown); // records it, runs the hook, answers the queued choice or nil
// Records it, runs the hook, answers the queued button or else the box's default.
int showMsgBox(const QString &message, int defaultAnswer);
void beep();
bool launch(const QString &nativePath); // records it; false when launches fail
} // namespace detail

} // namespace rb::testseam
