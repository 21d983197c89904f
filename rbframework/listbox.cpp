#include "listbox.h"

#include "dispatch.h"
#include "exceptions.h"

#include <QAbstractScrollArea>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <algorithm>

namespace rb {

// Paints the visible rows straight from the owner's deque; the vertical scroll bar counts rows.
class Listbox::View : public QAbstractScrollArea {
public:
    View()
    {
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setFrameShape(QFrame::StyledPanel);
        setFocusPolicy(Qt::StrongFocus);
        verticalScrollBar()->setSingleStep(1);
        viewport()->setBackgroundRole(QPalette::Base);
        viewport()->setAutoFillBackground(true);
    }
    void attach(Listbox *owner)
    {
        owner_ = owner;
        updateRange();
    }
    void forget() { owner_ = nullptr; }

    int rowHeight() const { return fontMetrics().height() + 2; }
    int headingHeight() const { return owner_ && owner_->HasHeading() ? fontMetrics().height() + 6 : 0; }
    int visibleRows() const { return std::max(1, viewport()->height() / rowHeight()); }
    int first() const { return verticalScrollBar()->value(); }

    void updateRange()
    {
        if (!owner_)
            return;
        setViewportMargins(0, headingHeight(), 0, 0);
        QScrollBar *s = verticalScrollBar();
        s->setPageStep(visibleRows());
        s->setRange(0, std::max(0, owner_->ListCount() - visibleRows()));
    }

    int rowAt(int y) const
    {
        if (!owner_ || y < 0)
            return -1;
        const int row = first() + y / rowHeight();
        return row < owner_->ListCount() ? row : -1;
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (!owner_)
            return;
        QPainter p(viewport());
        const int h = rowHeight();
        const int top = first();
        const int last = std::min(owner_->ListCount(), top + viewport()->height() / h + 1);
        const QPalette &pal = palette();
        for (int row = top; row < last; ++row) {
            const QRect r(0, (row - top) * h, viewport()->width(), h);
            const bool selected = row == owner_->selected_;
            if (selected)
                p.fillRect(r, pal.brush(QPalette::Highlight));
            p.setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
            p.drawText(r.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                       owner_->rows_[std::size_t(row)]);
        }
    }

    void resizeEvent(QResizeEvent *e) override
    {
        QAbstractScrollArea::resizeEvent(e);
        updateRange();
        if (heading_)
            heading_->setGeometry(frameWidth(), frameWidth(), width() - 2 * frameWidth(), headingHeight());
    }

    void mousePressEvent(QMouseEvent *e) override
    {
        if (!owner_ || e->button() != Qt::LeftButton)
            return;
        const int row = rowAt(e->position().toPoint().y());
        if (row >= 0)
            owner_->select(row, true);
    }

    void keyPressEvent(QKeyEvent *e) override
    {
        if (!owner_ || owner_->ListCount() == 0)
            return QAbstractScrollArea::keyPressEvent(e);
        const int current = owner_->selected_;
        int next = current;
        if (e->key() == Qt::Key_Up)
            next = std::max(0, current - 1);
        else if (e->key() == Qt::Key_Down)
            next = std::min(owner_->ListCount() - 1, current + 1);
        else
            return QAbstractScrollArea::keyPressEvent(e);
        owner_->select(next, true);
        if (next < first())
            verticalScrollBar()->setValue(next);
        else if (next >= first() + visibleRows())
            verticalScrollBar()->setValue(next - visibleRows() + 1);
    }

public:
    // The heading row: one column title above the rows.
    class Heading : public QWidget {
    public:
        explicit Heading(View *view) : QWidget(view), view_(view) {}

    protected:
        void paintEvent(QPaintEvent *) override
        {
            QPainter p(this);
            QStyleOptionHeader opt;
            opt.initFrom(this);
            opt.rect = rect();
            opt.text = view_->owner_ ? view_->owner_->heading_ : QString();
            opt.position = QStyleOptionHeader::OnlyOneSection;
            opt.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
            style()->drawControl(QStyle::CE_Header, &opt, &p, this);
        }

    private:
        View *view_;
    };

    void showHeading(bool on)
    {
        if (on && !heading_) {
            heading_ = new Heading(this);
            heading_->show();
        } else if (!on && heading_) {
            delete heading_;
            heading_ = nullptr;
        }
        updateRange();
        if (heading_) {
            heading_->setGeometry(frameWidth(), frameWidth(), width() - 2 * frameWidth(), headingHeight());
            heading_->update();
        }
    }

private:
    Listbox *owner_ = nullptr;
    Heading *heading_ = nullptr;
};

Listbox::Listbox(Window &window, QString name, int left, int top, int width, int height, const QString &heading)
    : RectControl(window, std::move(name), new View, left, top, width, height)
{
    view()->attach(this);
    Heading(heading);
}

Listbox::~Listbox()
{
    if (View *v = view())
        v->forget();
}

Listbox::View *Listbox::view() const { return static_cast<View *>(widget()); }

void Listbox::checkRow(int row, const char *what) const
{
    if (row < 0 || row >= ListCount())
        throw OutOfBoundsException(QStringLiteral("%1.%2(%3): %4 rows").arg(Name(), QLatin1String(what)).arg(row).arg(ListCount()));
}

void Listbox::rowsChanged(int insertedAt, int count)
{
    View *v = view();
    if (!v)
        return;
    QScrollBar *s = v->verticalScrollBar();
    const int first = s->value();
    v->updateRange();
    // Rows inserted above the first shown row push the view down with them, so that what the
    // user reads stays in place; at the very top the newest row shows.
    if (count > 0 && insertedAt < first)
        s->setValue(first + count);
    v->viewport()->update();
}

void Listbox::AddRow(const QString &text)
{
    rows_.push_back(text);
    rowsChanged(ListCount() - 1, 1);
}

void Listbox::InsertRow(int row, const QString &text)
{
    if (row < 0 || row > ListCount())
        throw OutOfBoundsException(QStringLiteral("%1.InsertRow(%2): %3 rows").arg(Name()).arg(row).arg(ListCount()));
    if (row == 0)
        rows_.push_front(text);
    else
        rows_.insert(rows_.begin() + row, text);
    if (selected_ >= row)
        ++selected_;
    rowsChanged(row, 1);
}

void Listbox::RemoveRow(int row)
{
    checkRow(row, "RemoveRow");
    rows_.erase(rows_.begin() + row);
    if (selected_ == row)
        selected_ = -1;
    else if (selected_ > row)
        --selected_;
    rowsChanged(row, 0);
}

void Listbox::DeleteAllRows()
{
    rows_.clear();
    selected_ = -1;
    if (View *v = view())
        v->verticalScrollBar()->setValue(0);
    rowsChanged(0, 0);
}

QString Listbox::List(int row) const
{
    checkRow(row, "List");
    return rows_[std::size_t(row)];
}

QString Listbox::Cell(int row, int column) const
{
    checkRow(row, "Cell");
    if (column != 0)
        throw OutOfBoundsException(QStringLiteral("%1.Cell: no column %2").arg(Name()).arg(column));
    return rows_[std::size_t(row)];
}

void Listbox::Cell(int row, int column, const QString &text)
{
    checkRow(row, "Cell");
    if (column != 0)
        throw OutOfBoundsException(QStringLiteral("%1.Cell: no column %2").arg(Name()).arg(column));
    rows_[std::size_t(row)] = text;
    if (View *v = view())
        v->viewport()->update();
}

void Listbox::select(int row, bool raise)
{
    if (row == selected_)
        return;
    selected_ = row;
    if (View *v = view())
        v->viewport()->update();
    if (raise)
        dispatch([this] { Event_Change(); });
}

void Listbox::ListIndex(int row)
{
    if (row != -1)
        checkRow(row, "ListIndex");
    select(row, true);
}

int Listbox::ScrollPosition() const { return view() ? view()->first() : 0; }

void Listbox::ScrollPosition(int row)
{
    if (View *v = view())
        v->verticalScrollBar()->setValue(row);   // the scroll bar keeps it in range
}

void Listbox::Heading(const QString &h)
{
    heading_ = h;
    if (View *v = view())
        v->showHeading(!h.isEmpty());
}

void Listbox::click(int row)
{
    if (row < 0 || row >= ListCount() || !Enabled())
        return;
    select(row, true);
}

} // namespace rb
