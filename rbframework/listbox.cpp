#include "listbox.h"

#include "dispatch.h"
#include "exceptions.h"

#include <QAbstractScrollArea>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <QStyleOptionSlider>
#include <algorithm>

namespace rb
{

namespace
{

// A scroll bar that repaints only when what it shows changes. Its range grows with every row, but
// once the slider has its least length, one row more changes nothing on screen.
class RowScrollBar : public QScrollBar
{
  public:
    RowScrollBar() : QScrollBar(Qt::Vertical) {}

  protected:
    void sliderChange(SliderChange change) override
    {
        if (change == SliderRangeChange && look() == painted_)
            return;
        QScrollBar::sliderChange(change);
    }

    void paintEvent(QPaintEvent *e) override
    {
        painted_ = look();
        QScrollBar::paintEvent(e);
    }

  private:
    // What the style draws from the range: the slider's place and size, and the ends reached.
    struct Look {
        QRect slider;
        bool atMinimum = false, atMaximum = false;
        bool operator==(const Look &) const = default;
    };
    Look look() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
                value() == minimum(), value() == maximum()};
    }
    Look painted_;
};

} // namespace

// Paints the visible rows straight from the owner's deque; the vertical scroll bar counts rows. A
// new row costs the same however long the list: the rows already shown are moved, not laid out
// and painted again, and only the new one is painted.
class Listbox::View : public QAbstractScrollArea
{
  public:
    View()
    {
        setVerticalScrollBar(new RowScrollBar);
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
        updateLayout();
    }
    void forget() { owner_ = nullptr; }

    int rowHeight() const { return textHeight_ + 2; }
    int headingHeight() const { return owner_ && owner_->HasHeading() ? textHeight_ + 6 : 0; }
    int visibleRows() const { return std::max(1, viewport()->height() / rowHeight()); }
    int first() const { return verticalScrollBar()->value(); }

    // The scroll bar's range, after the rows or the view's height changed.
    void updateRange()
    {
        if (!owner_)
            return;
        QScrollBar *s = verticalScrollBar();
        s->setPageStep(visibleRows());
        s->setRange(0, std::max(0, owner_->ListCount() - visibleRows()));
    }

    // The room for the heading and the range, after the heading, the size or the font changed.
    void updateLayout()
    {
        textHeight_ = fontMetrics().height();
        if (!owner_)
            return;
        setViewportMargins(0, headingHeight(), 0, 0);
        updateRange();
        viewport()->update();
        if (heading_) {
            heading_->setGeometry(frameWidth(), frameWidth(), width() - 2 * frameWidth(), headingHeight());
            heading_->update();
        }
    }

    // Rows inserted at `at`: those shown below them move down by the new rows' height (with any part
    // still to be painted), and only the place they leave is painted; rows added at the end are
    // painted where they stand. Rows inserted above the first shown one push the view down with
    // them, so that what the user reads stays in place.
    void rowsInserted(int at, int count)
    {
        QScrollBar *s = verticalScrollBar();
        const int first = s->value();
        updateRange();
        if (at < first) {
            keepPixels_ = true;
            s->setValue(first + count);
            keepPixels_ = false;
            return;
        }
        const int h = rowHeight();
        const QRect area = viewport()->rect();
        const int y = (at - first) * h;
        if (y >= area.height())
            return;
        if (at + count == owner_->ListCount())
            viewport()->update(QRect(0, y, area.width(), count * h));
        else
            viewport()->scroll(0, count * h, area.adjusted(0, y, 0, 0));
    }

    // Anything else that changes what the rows show.
    void repaintRows()
    {
        updateRange();
        viewport()->update();
    }

    int rowAt(int y) const
    {
        if (!owner_ || y < 0)
            return -1;
        const int row = first() + y / rowHeight();
        return row < owner_->ListCount() ? row : -1;
    }

  protected:
    // Only the rows in the part to paint. The selected row is highlighted across the whole width; the
    // text of a row starts 3 pixels in and is cut 3 pixels before the right edge, on one line,
    // centred in the row's height.
    void paintEvent(QPaintEvent *e) override
    {
        if (!owner_)
            return;
        QPainter p(viewport());
        const int h = rowHeight();
        const int top = first();
        const int width = viewport()->width();
        const QRect area = e->rect();
        const int from = top + std::max(0, area.top()) / h;
        const int last = std::min(owner_->ListCount(), top + area.bottom() / h + 1);
        const QFontMetrics metrics = fontMetrics();
        const int baseline = (h - metrics.height()) / 2 + metrics.ascent();
        const QPalette &pal = palette();
        const int selected = owner_->selected_;
        if (selected >= from && selected < last)
            p.fillRect(QRect(0, (selected - top) * h, width, h), pal.brush(QPalette::Highlight));
        p.setClipRect(QRect(3, 0, width - 6, viewport()->height()) & area);
        for (int row = from; row < last; ++row) {
            const int y = (row - top) * h;
            p.setPen(pal.color(row == selected ? QPalette::HighlightedText : QPalette::Text));
            // No more characters than the row has pixels: more could not show, and laying them out
            // would cost the whole length of a long row.
            const QString &text = owner_->rows_[std::size_t(row)];
            p.drawText(QPoint(3, y + baseline), text.size() > width ? text.first(width) : text);
        }
    }

    void scrollContentsBy(int, int) override
    {
        if (!keepPixels_)
            viewport()->update();
    }

    void resizeEvent(QResizeEvent *e) override
    {
        QAbstractScrollArea::resizeEvent(e);
        updateLayout();
    }

    void changeEvent(QEvent *e) override
    {
        QAbstractScrollArea::changeEvent(e);
        if (e->type() == QEvent::FontChange)
            updateLayout();
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
    class Heading : public QWidget
    {
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
        updateLayout();
    }

  private:
    Listbox *owner_ = nullptr;
    Heading *heading_ = nullptr;
    bool keepPixels_ = false; // the scroll bar moves with rows inserted above the view
    int textHeight_ = 0;      // of the view's font
};

Listbox::Listbox(Window &window, QString name, int left, int top, int width, int height,
                 const QString &heading)
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

Listbox::View *Listbox::view() const
{
    return static_cast<View *>(widget());
}

void Listbox::checkRow(int row, const char *what) const
{
    if (row < 0 || row >= ListCount())
        throw OutOfBoundsException(
            QStringLiteral("%1.%2(%3): %4 rows").arg(Name(), QLatin1String(what)).arg(row).arg(ListCount()));
}

void Listbox::rowsInserted(int at, int count)
{
    if (View *v = view())
        v->rowsInserted(at, count);
}

void Listbox::rowsChanged()
{
    if (View *v = view())
        v->repaintRows();
}

void Listbox::AddRow(const QString &text)
{
    rows_.push_back(text);
    rowsInserted(ListCount() - 1, 1);
}

void Listbox::InsertRow(int row, const QString &text)
{
    if (row < 0 || row > ListCount())
        throw OutOfBoundsException(
            QStringLiteral("%1.InsertRow(%2): %3 rows").arg(Name()).arg(row).arg(ListCount()));
    if (row == 0)
        rows_.push_front(text);
    else
        rows_.insert(rows_.begin() + row, text);
    if (selected_ >= row)
        ++selected_;
    rowsInserted(row, 1);
}

void Listbox::RemoveRow(int row)
{
    checkRow(row, "RemoveRow");
    rows_.erase(rows_.begin() + row);
    if (selected_ == row)
        selected_ = -1;
    else if (selected_ > row)
        --selected_;
    rowsChanged();
}

void Listbox::DeleteAllRows()
{
    rows_.clear();
    selected_ = -1;
    if (View *v = view())
        v->verticalScrollBar()->setValue(0);
    rowsChanged();
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

int Listbox::ScrollPosition() const
{
    return view() ? view()->first() : 0;
}

void Listbox::ScrollPosition(int row)
{
    if (View *v = view())
        v->verticalScrollBar()->setValue(row); // the scroll bar keeps it in range
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
