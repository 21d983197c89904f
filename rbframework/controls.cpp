#include "controls.h"

#include "dispatch.h"
#include "exceptions.h"
#include "window.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTextCursor>
#include <algorithm>
#include <limits>

namespace rb
{

namespace
{

QString unifiedLineEnds(QString t)
{
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

// A text field's Alignment: 0 default (left), 1 left, 2 centre, 3 right.
Qt::Alignment horizontal(int a)
{
    switch (a) {
    case 2:
        return Qt::AlignHCenter;
    case 3:
        return Qt::AlignRight;
    default:
        return Qt::AlignLeft;
    }
}

// A label's TextAlign counts without a default: 0 left, 1 centre, 2 right.
Qt::Alignment labelHorizontal(int a)
{
    switch (a) {
    case 1:
        return Qt::AlignHCenter;
    case 2:
        return Qt::AlignRight;
    default:
        return Qt::AlignLeft;
    }
}

// A group box that keeps a picture of itself and copies from it. Whenever a control inside it
// changes (a progress bar, a count), the box is painted again under it; drawing its frame and
// title anew each time would cost more than the change itself. The picture is drawn again when
// anything it shows changes. The box fills its background itself, with the colour of the window
// under it, so that such a change repaints the box and the control and nothing behind them (the
// tab panel, its page, the window).
class GroupBoxWidget : public QGroupBox
{
  public:
    explicit GroupBoxWidget(const QString &title) : QGroupBox(title) { setAutoFillBackground(true); }

  protected:
    void paintEvent(QPaintEvent *) override
    {
        QStyleOptionGroupBox option;
        initStyleOption(&option);
        const Look now{option.state,
                       option.rect,
                       option.text,
                       option.textAlignment,
                       option.features,
                       option.subControls,
                       option.activeSubControls,
                       option.direction,
                       option.palette.cacheKey(),
                       font(),
                       style(),
                       devicePixelRatioF()};
        if (picture_.isNull() || !(now == painted_)) {
            picture_ = QPixmap(size() * now.ratio);
            picture_.setDevicePixelRatio(now.ratio);
            picture_.fill(Qt::transparent);
            QPainter p(&picture_);
            style()->drawComplexControl(QStyle::CC_GroupBox, &option, &p, this);
            painted_ = now;
        }
        QPainter(this).drawPixmap(0, 0, picture_);
    }

  private:
    // Everything that the style draws the box from.
    struct Look {
        QStyle::State state;
        QRect rect;
        QString text;
        Qt::Alignment textAlignment;
        QStyleOptionFrame::FrameFeatures features;
        QStyle::SubControls subControls, activeSubControls;
        Qt::LayoutDirection direction;
        qint64 palette = 0;
        QFont font;
        const QStyle *style = nullptr;
        qreal ratio = 1;
        bool operator==(const Look &) const = default;
    };
    Look painted_;
    QPixmap picture_;
};

} // namespace

// --- buttons

ButtonControl::ButtonControl(Window &window, QString name, int left, int top, int width, int height,
                             const QString &caption, bool bevel)
    : RectControl(window, std::move(name), new QPushButton(caption), left, top, width, height)
{
    auto *b = static_cast<QPushButton *>(widget());
    b->setAutoDefault(false);
    if (bevel)
        b->setFocusPolicy(Qt::NoFocus);
    QObject::connect(b, &QPushButton::clicked, b, [this] { dispatch([this] { Event_Action(); }); });
}

QString ButtonControl::Caption() const
{
    return static_cast<QPushButton *>(widget())->text();
}
void ButtonControl::Caption(const QString &c)
{
    static_cast<QPushButton *>(widget())->setText(c);
}

void ButtonControl::press()
{
    auto *b = static_cast<QPushButton *>(widget());
    if (b->isEnabled() && !b->isHidden())
        b->click();
}

PushButton::PushButton(Window &window, QString name, int left, int top, int width, int height,
                       const QString &caption)
    : ButtonControl(window, std::move(name), left, top, width, height, caption, false)
{
}

BevelButton::BevelButton(Window &window, QString name, int left, int top, int width, int height,
                         const QString &caption)
    : ButtonControl(window, std::move(name), left, top, width, height, caption, true)
{
}

// --- Label

Label::Label(Window &window, QString name, int left, int top, int width, int height, const QString &text)
    : RectControl(window, std::move(name), new QLabel, left, top, width, height)
{
    auto *l = static_cast<QLabel *>(widget());
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Text(text);
}

QString Label::Text() const
{
    return static_cast<QLabel *>(widget())->text();
}
void Label::Text(const QString &t)
{
    static_cast<QLabel *>(widget())->setText(unifiedLineEnds(t));
}

void Label::TextAlign(int a)
{
    align_ = std::clamp(a, 0, 2);
    auto *l = static_cast<QLabel *>(widget());
    l->setAlignment(labelHorizontal(align_) | (l->alignment() & Qt::AlignVertical_Mask));
}

bool Label::Multiline() const
{
    return static_cast<QLabel *>(widget())->wordWrap();
}
void Label::Multiline(bool m)
{
    static_cast<QLabel *>(widget())->setWordWrap(m);
}

// --- GroupBox

GroupBox::GroupBox(Window &window, QString name, int left, int top, int width, int height,
                   const QString &caption)
    : RectControl(window, std::move(name), new GroupBoxWidget(caption), left, top, width, height)
{
}

QString GroupBox::Caption() const
{
    return static_cast<QGroupBox *>(widget())->title();
}
void GroupBox::Caption(const QString &c)
{
    static_cast<QGroupBox *>(widget())->setTitle(c);
}
QWidget *GroupBox::childArea(int page)
{
    return page == 0 ? widget() : nullptr;
}

// --- TextField

TextField::TextField(Window &window, QString name, int left, int top, int width, int height,
                     const QString &text)
    : RectControl(window, std::move(name), new QLineEdit, left, top, width, height)
{
    auto *e = static_cast<QLineEdit *>(widget());
    // No limit on the length (LimitText 0), in place of the line edit's 32,767 characters.
    e->setMaxLength(std::numeric_limits<int>::max());
    e->setText(text);
    QObject::connect(e, &QLineEdit::textChanged, e, [this] { dispatch([this] { Event_TextChange(); }); });
}

QString TextField::Text() const
{
    return static_cast<QLineEdit *>(widget())->text();
}
void TextField::Text(const QString &t)
{
    static_cast<QLineEdit *>(widget())->setText(t);
}

void TextField::Alignment(int a)
{
    align_ = std::clamp(a, 0, 3);
    static_cast<QLineEdit *>(widget())->setAlignment(horizontal(align_) | Qt::AlignVCenter);
}

bool TextField::ReadOnly() const
{
    return static_cast<QLineEdit *>(widget())->isReadOnly();
}
void TextField::ReadOnly(bool r)
{
    static_cast<QLineEdit *>(widget())->setReadOnly(r);
}

// --- TextArea

TextArea::TextArea(Window &window, QString name, int left, int top, int width, int height,
                   const QString &text)
    : RectControl(window, std::move(name), new QPlainTextEdit, left, top, width, height)
{
    auto *e = static_cast<QPlainTextEdit *>(widget());
    e->setTabChangesFocus(true);
    e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    e->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text(text);
    QObject::connect(e, &QPlainTextEdit::textChanged, e,
                     [this] { dispatch([this] { Event_TextChange(); }); });
}

QString TextArea::Text() const
{
    return static_cast<QPlainTextEdit *>(widget())->toPlainText();
}
void TextArea::Text(const QString &t)
{
    static_cast<QPlainTextEdit *>(widget())->setPlainText(unifiedLineEnds(t));
}

void TextArea::AppendText(const QString &t)
{
    auto *e = static_cast<QPlainTextEdit *>(widget());
    QTextCursor c(e->document());
    c.movePosition(QTextCursor::End);
    c.insertText(unifiedLineEnds(t));
}

bool TextArea::ReadOnly() const
{
    return static_cast<QPlainTextEdit *>(widget())->isReadOnly();
}
void TextArea::ReadOnly(bool r)
{
    static_cast<QPlainTextEdit *>(widget())->setReadOnly(r);
}

// --- ProgressBar

ProgressBar::ProgressBar(Window &window, QString name, int left, int top, int width, int height, int maximum)
    : RectControl(window, std::move(name), new QProgressBar, left, top, width, height)
{
    static_cast<QProgressBar *>(widget())->setTextVisible(false);
    Maximum(maximum);
}

void ProgressBar::show()
{
    auto *b = static_cast<QProgressBar *>(widget());
    b->setRange(0, maximum_);
    b->setValue(maximum_ == 0 ? 0 : std::clamp(value_, 0, maximum_));
}
void ProgressBar::Value(int v)
{
    if (v == value_)
        return;
    value_ = v;
    show();
}

void ProgressBar::Maximum(int m)
{
    maximum_ = std::max(m, 0);
    show();
}

// --- ProgressWheel

ProgressWheel::ProgressWheel(Window &window, QString name, int left, int top, int width, int height)
    : RectControl(window, std::move(name), new QProgressBar, left, top, width, height)
{
    auto *b = static_cast<QProgressBar *>(widget());
    b->setRange(0, 0);
    b->setTextVisible(false);
}

// --- TabPanel
// A tab bar over a framed pane, with one plain widget per page below the bar. Nothing is laid out
// by Qt, so a page's origin in the window is fixed and window coordinates convert exactly.

TabPanel::TabPanel(Window &window, QString name, int left, int top, int width, int height,
                   const QStringList &tabs)
    : RectControl(window, std::move(name), new QWidget, left, top, width, height), bar_(new QTabBar(widget()))
{
    auto *pane = new QFrame(widget());
    pane->setObjectName(QStringLiteral("pane"));
    pane->setFrameShape(QFrame::StyledPanel);
    bar_->setDrawBase(false);
    bar_->setExpanding(false);
    for (const QString &t : tabs)
        Append(t);
    QObject::connect(bar_, &QTabBar::currentChanged, bar_, [this](int page) {
        showPage(page);
        dispatch([this] { Event_Change(); });
    });
    layoutPages();
}

int TabPanel::Append(const QString &caption)
{
    auto *page = new QWidget(widget());
    page->setObjectName(QStringLiteral("page%1").arg(pages_.size()));
    pages_.push_back(page);
    {
        const QSignalBlocker quiet(bar_); // the first tab becomes current without a Change
        bar_->addTab(caption);
    }
    layoutPages();
    showPage(bar_->currentIndex());
    return int(pages_.size()) - 1;
}

void TabPanel::layoutPages()
{
    const int barHeight = bar_->sizeHint().height();
    bar_->setGeometry(0, 0, Width(), barHeight);
    if (auto *pane = widget()->findChild<QFrame *>(QStringLiteral("pane"), Qt::FindDirectChildrenOnly))
        pane->setGeometry(0, barHeight, Width(), std::max(Height() - barHeight, 0));
    for (QWidget *p : pages_) {
        p->setGeometry(0, barHeight, Width(), std::max(Height() - barHeight, 0));
        p->raise();
    }
}

void TabPanel::resized()
{
    layoutPages();
}

void TabPanel::showPage(int page)
{
    for (std::size_t i = 0; i < pages_.size(); ++i)
        pages_[i]->setVisible(int(i) == page);
}

int TabPanel::Value() const
{
    return bar_->currentIndex();
}

void TabPanel::Value(int page)
{
    if (page < 0 || page >= TabCount())
        throw OutOfBoundsException(
            QStringLiteral("%1: no tab %2 of %3").arg(Name()).arg(page).arg(TabCount()));
    bar_->setCurrentIndex(page); // a change raises Change, nested
}

QString TabPanel::Caption(int page) const
{
    if (page < 0 || page >= TabCount())
        throw OutOfBoundsException(
            QStringLiteral("%1: no tab %2 of %3").arg(Name()).arg(page).arg(TabCount()));
    return bar_->tabText(page);
}

QWidget *TabPanel::focusTarget() const
{
    return bar_;
}

QWidget *TabPanel::childArea(int page)
{
    if (page < 0 || page >= TabCount())
        return nullptr;
    return pages_[std::size_t(page)];
}

} // namespace rb
