#pragma once
// A popup menu: a list of rows of which at most one is selected (ListIndex, -1 for none).
// Every change of the selected row raises Change, through the dispatch point: a user's choice,
// and a ListIndex set from code, which runs Change at once, nested, before the setter returns.
// Setting the row that is already selected raises nothing.

#include "rectcontrol.h"

#include <QString>
#include <functional>

class QComboBox;

namespace rb
{

class PopupMenu : public RectControl
{
  public:
    PopupMenu(Window &window, QString name, int left, int top, int width, int height);

    void AddRow(const QString &text); // at the bottom; the selection stays as it is
    void DeleteAllRows();             // leaves no row selected, without a Change
    int ListCount() const;
    QString List(int row) const; // OutOfBoundsException outside 0..ListCount-1
    int ListIndex() const;
    void ListIndex(int row); // -1 or 0..ListCount-1, else OutOfBoundsException
    QString Text() const;    // the selected row's text, empty when none

    std::function<void()> Change;
    virtual void Event_Change()
    {
        if (Change)
            Change();
    }

    // Chooses a row as the user does (for tests): Change only when the row changes.
    void choose(int row);

  private:
    QComboBox *box() const;
    void changed();
};

} // namespace rb
