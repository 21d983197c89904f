#include "popupmenu.h"

#include "dispatch.h"
#include "exceptions.h"

#include <QComboBox>

namespace rb
{

PopupMenu::PopupMenu(Window &window, QString name, int left, int top, int width, int height)
    : RectControl(window, std::move(name), new QComboBox, left, top, width, height)
{
    QComboBox *b = box();
    b->setEditable(false);
    b->setMaxVisibleItems(20);
    // Only the user's choices arrive here: changes from code are made with signals blocked.
    QObject::connect(b, &QComboBox::currentIndexChanged, b, [this] { changed(); });
}

QComboBox *PopupMenu::box() const
{
    return static_cast<QComboBox *>(widget());
}

void PopupMenu::changed()
{
    dispatch([this] { Event_Change(); });
}

void PopupMenu::AddRow(const QString &text)
{
    QComboBox *b = box();
    const QSignalBlocker quiet(b);
    const int selected = b->currentIndex();
    b->addItem(text);
    if (b->currentIndex() != selected) // QComboBox selects the first row added to an empty list
        b->setCurrentIndex(selected);
}

void PopupMenu::DeleteAllRows()
{
    const QSignalBlocker quiet(box());
    box()->clear();
}

int PopupMenu::ListCount() const
{
    return box()->count();
}

QString PopupMenu::List(int row) const
{
    if (row < 0 || row >= ListCount())
        throw OutOfBoundsException(
            QStringLiteral("%1.List(%2): %3 rows").arg(Name()).arg(row).arg(ListCount()));
    return box()->itemText(row);
}

int PopupMenu::ListIndex() const
{
    return box()->currentIndex();
}

void PopupMenu::ListIndex(int row)
{
    if (row < -1 || row >= ListCount())
        throw OutOfBoundsException(
            QStringLiteral("%1.ListIndex = %2: %3 rows").arg(Name()).arg(row).arg(ListCount()));
    if (row == ListIndex())
        return;
    {
        const QSignalBlocker quiet(box());
        box()->setCurrentIndex(row);
    }
    changed();
}

QString PopupMenu::Text() const
{
    return box()->currentText();
}

void PopupMenu::choose(int row)
{
    if (row < 0 || row >= ListCount() || !box()->isEnabled())
        return;
    box()->setCurrentIndex(row); // through the signal, as a user's choice
}

} // namespace rb
