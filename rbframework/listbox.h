#pragma once
// A one-column list with an optional heading. Rows live in a deque and the view paints only the
// rows it shows, so inserting at the top costs the same however long the list has grown.

#include "rectcontrol.h"

#include <QString>
#include <deque>
#include <functional>

namespace rb
{

class Listbox : public RectControl
{
  public:
    Listbox(Window &window, QString name, int left, int top, int width, int height,
            const QString &heading = {});
    ~Listbox() override;

    void AddRow(const QString &text);             // at the bottom
    void InsertRow(int row, const QString &text); // 0..ListCount, else OutOfBoundsException
    void RemoveRow(int row);                      // 0..ListCount-1, else OutOfBoundsException
    void DeleteAllRows();                         // leaves no row selected, without a Change
    int ListCount() const { return int(rows_.size()); }
    QString List(int row) const;             // OutOfBoundsException outside 0..ListCount-1
    QString Cell(int row, int column) const; // one column: column 0 only
    void Cell(int row, int column, const QString &text);
    int ListIndex() const { return selected_; } // the selected row, -1 for none
    void ListIndex(int row);                    // -1 or 0..ListCount-1; a change raises Change
    int ScrollPosition() const;                 // the row shown first
    void ScrollPosition(int row);

    QString Heading() const { return heading_; }
    void Heading(const QString &h); // empty: no heading row
    bool HasHeading() const { return !heading_.isEmpty(); }

    std::function<void()> Change;
    virtual void Event_Change()
    {
        if (Change)
            Change();
    }

    // Clicks a row as the user does (for tests).
    void click(int row);

  private:
    class View;
    View *view() const;
    void checkRow(int row, const char *what) const;
    void select(int row, bool raise);
    void rowsInserted(int at, int count);
    void rowsChanged();
    std::deque<QString> rows_;
    QString heading_;
    int selected_ = -1;
    friend class View;
};

} // namespace rb
