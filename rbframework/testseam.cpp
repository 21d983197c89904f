#include "testseam.h"

#include <deque>

namespace rb::testseam
{

namespace
{

struct State {
    bool scripted = false;
    std::deque<FolderItemPtr> dialogAnswers;
    std::vector<ShownDialog> dialogs;
    std::deque<int> msgBoxAnswers;
    QStringList messages;
    int beeps = 0;
    QStringList launched;
    bool launchesFail = false;
    std::function<void(const QString &)> msgBoxHook;
    std::function<void()> dialogHook;
};

State &state()
{
    static State s;
    return s;
}

} // namespace

void enable()
{
    state().scripted = true;
}

void reset()
{
    State &s = state();
    s = State();
    s.scripted = true;
}

void answerNextDialog(FolderItemPtr choice)
{
    state().dialogAnswers.push_back(std::move(choice));
}

const std::vector<ShownDialog> &shownDialogs()
{
    return state().dialogs;
}

void answerNextMsgBox(int button)
{
    state().msgBoxAnswers.push_back(button);
}

const QStringList &shownMessages()
{
    return state().messages;
}

int beepCount()
{
    return state().beeps;
}

const QStringList &launchedDocuments()
{
    return state().launched;
}

void failLaunches(bool fail)
{
    state().launchesFail = fail;
}

void onMsgBox(std::function<void(const QString &)> hook)
{
    state().msgBoxHook = std::move(hook);
}

void onDialog(std::function<void()> hook)
{
    state().dialogHook = std::move(hook);
}

namespace detail
{

bool scripted()
{
    return state().scripted;
}

FolderItemPtr showDialog(ShownDialog shown)
{
    State &s = state();
    s.dialogs.push_back(std::move(shown));
    if (auto hook = s.dialogHook)
        hook();
    if (s.dialogAnswers.empty())
        return nullptr;
    FolderItemPtr choice = std::move(s.dialogAnswers.front());
    s.dialogAnswers.pop_front();
    return choice;
}

int showMsgBox(const QString &message, int defaultAnswer)
{
    State &s = state();
    s.messages.append(message);
    // A copy: the hook may replace itself or show another message box.
    if (auto hook = s.msgBoxHook)
        hook(message);
    if (s.msgBoxAnswers.empty())
        return defaultAnswer;
    const int button = s.msgBoxAnswers.front();
    s.msgBoxAnswers.pop_front();
    return button;
}

void beep()
{
    ++state().beeps;
}

bool launch(const QString &nativePath)
{
    state().launched.append(nativePath);
    return !state().launchesFail;
}

} // namespace detail

} // namespace rb::testseam
