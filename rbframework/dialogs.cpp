#include "dialogs.h"

#include "testseam.h"
#include "window.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace rb
{

namespace
{

// Platforms that show nothing to anyone: a modal box there would wait for a click for ever.
bool noOneCanAnswer()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

} // namespace

QString FileType::Operator_Convert() const
{
    QStringList patterns;
    for (const QString &ext : Extensions.split(u';', Qt::SkipEmptyParts)) {
        QString e = ext.trimmed();
        while (e.startsWith(u'.'))
            e.remove(0, 1);
        if (!e.isEmpty())
            patterns.append(QStringLiteral("*.") + e);
    }
    if (patterns.isEmpty())
        patterns.append(QStringLiteral("*"));
    const QString list = patterns.join(u' ');
    // Qt reads the patterns from the last parentheses, so the name keeps none of its own.
    QString name = Name.trimmed();
    name.remove(u'(');
    name.remove(u')');
    return name.isEmpty() ? list : name + QStringLiteral(" (") + list + u')';
}

FolderItemPtr FileDialog::ShowModal()
{
    showWaitingWindows();
    if (testseam::detail::scripted()) {
        // A window takes the dialog's place on screen while the script answers, as the dialog takes
        // the user's: what it leaves behind (no active window) is what the real one leaves.
        QDialog standIn(QApplication::activeWindow());
        standIn.setWindowTitle(Title);
        standIn.setModal(true);
        standIn.show();
        testseam::ShownDialog shown;
        shown.saving = saving();
        shown.title = Title;
        shown.filter = Filter;
        shown.initialDirectory = InitialDirectory ? InitialDirectory->NativePath() : QString();
        shown.suggestedFileName = SuggestedFileName;
        return testseam::detail::showDialog(std::move(shown));
    }

    QFileDialog dialog(QApplication::activeWindow(), Title);
    dialog.setAcceptMode(saving() ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(saving() ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!Filter.isEmpty())
        dialog.setNameFilter(Filter);
    // A missing initial folder leaves the dialog's own default.
    if (InitialDirectory && InitialDirectory->Directory())
        dialog.setDirectory(InitialDirectory->NativePath());
    if (!SuggestedFileName.isEmpty())
        dialog.selectFile(SuggestedFileName);
    if (dialog.exec() != QDialog::Accepted)
        return nullptr;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return nullptr;
    return std::make_shared<FolderItem>(files.first());
}

int MsgBox(const QString &message, int buttons)
{
    showWaitingWindows();
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), message, QMessageBox::NoButton,
                    QApplication::activeWindow());
    // The text is shown as it is: a file name holding "<b>" or "&lt;" is no markup.
    box.setTextFormat(Qt::PlainText);
    std::vector<std::pair<QPushButton *, int>> answers;
    // The low four bits choose the buttons; the higher ones, the default among them.
    if ((buttons & 0x0F) == MsgBoxButtons::YesNo) {
        answers = {{box.addButton(QMessageBox::Yes), MsgBoxAnswer::Yes},
                   {box.addButton(QMessageBox::No), MsgBoxAnswer::No}};
    } else {
        answers = {{box.addButton(QMessageBox::Ok), MsgBoxAnswer::OK}};
    }
    const auto &[defaultButton, defaultAnswer] =
        answers[(buttons & MsgBoxButtons::SecondDefault) && answers.size() > 1 ? 1 : 0];
    box.setDefaultButton(defaultButton);

    if (testseam::detail::scripted()) {
        // On screen while the script answers, as it is while the user does.
        box.show();
        return testseam::detail::showMsgBox(message, defaultAnswer);
    }
    if (noOneCanAnswer())
        return defaultAnswer;
    box.exec();
    for (const auto &[button, answer] : answers)
        if (box.clickedButton() == button)
            return answer;
    return defaultAnswer;
}

void Beep()
{
    if (testseam::detail::scripted()) {
        testseam::detail::beep();
        return;
    }
    QApplication::beep();
}

} // namespace rb
