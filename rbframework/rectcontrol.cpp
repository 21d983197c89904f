#include "rectcontrol.h"

#include "exceptions.h"
#include "window.h"

#include <QApplication>
#include <QFont>
#include <QWidget>
#include <algorithm>

namespace rb
{

namespace
{

// Origin of the given widget in the window's content coordinates.
QPoint originInWindow(const QWidget *w, const QWidget *content)
{
    if (!w || w == content)
        return {};
    return w->mapTo(content, QPoint(0, 0));
}

} // namespace

RectControl::RectControl(Window &window, QString name, QWidget *widget, int left, int top, int width,
                         int height)
    : window_(window), name_(std::move(name)), widget_(widget)
{
    widget_->setParent(window_.contentWidget());
    widget_->setObjectName(name_);
    // Its own font, so that a container's text style (a group box's caption size) is not inherited.
    widget_->setFont(QApplication::font(widget_));
    widget_->resize(std::max(width, 0), std::max(height, 0));
    place(left, top);
    widget_->show(); // shown with its window
}

RectControl::~RectControl()
{
    if (widget_) {
        widget_->blockSignals(true);
        delete widget_.data();
    }
}

void RectControl::place(int left, int top)
{
    const QPoint o = originInWindow(widget_->parentWidget(), window_.contentWidget());
    widget_->move(left - o.x(), top - o.y());
}

bool RectControl::Enabled() const
{
    return widget_ && !widget_->testAttribute(Qt::WA_ForceDisabled);
}
void RectControl::Enabled(bool e)
{
    if (widget_)
        widget_->setEnabled(e);
}
bool RectControl::Visible() const
{
    return widget_ && !widget_->isHidden();
}
void RectControl::Visible(bool v)
{
    if (widget_)
        widget_->setVisible(v);
}

int RectControl::Left() const
{
    return widget_ ? originInWindow(widget_, window_.contentWidget()).x() : 0;
}
int RectControl::Top() const
{
    return widget_ ? originInWindow(widget_, window_.contentWidget()).y() : 0;
}
void RectControl::Left(int x)
{
    if (widget_)
        place(x, Top());
}
void RectControl::Top(int y)
{
    if (widget_)
        place(Left(), y);
}
int RectControl::Width() const
{
    return widget_ ? widget_->width() : 0;
}
int RectControl::Height() const
{
    return widget_ ? widget_->height() : 0;
}

void RectControl::Width(int w)
{
    if (!widget_)
        return;
    widget_->resize(std::max(w, 0), widget_->height());
    resized();
}

void RectControl::Height(int h)
{
    if (!widget_)
        return;
    widget_->resize(widget_->width(), std::max(h, 0));
    resized();
}

void RectControl::SetFocus()
{
    if (widget_)
        widget_->setFocus(Qt::OtherFocusReason);
}
void RectControl::Refresh()
{
    if (widget_)
        widget_->update();
}

QString RectControl::TextFont() const
{
    return textFont_;
}

void RectControl::TextFont(const QString &name)
{
    textFont_ = name;
    if (!widget_)
        return;
    QFont f = widget_->font();
    if (name.isEmpty() || name.compare(QLatin1String("System"), Qt::CaseInsensitive) == 0)
        f.setFamily(QApplication::font().family());
    else
        f.setFamily(name);
    widget_->setFont(f);
}

double RectControl::TextSize() const
{
    return textSize_;
}

void RectControl::TextSize(double points)
{
    textSize_ = points > 0 ? std::min(points, 1000.0) : 0;
    if (!widget_)
        return;
    // The framework's points are screen pixels (72 dpi), as in Graphics, whatever the platform's
    // font scaling; 0 goes back to the platform's size.
    QFont f = widget_->font();
    const QFont platform = QApplication::font(widget_);
    if (textSize_ > 0)
        f.setPixelSize(std::max(1, qRound(textSize_)));
    else if (platform.pixelSize() > 0)
        f.setPixelSize(platform.pixelSize());
    else
        f.setPointSizeF(platform.pointSizeF());
    widget_->setFont(f);
}

bool RectControl::Bold() const
{
    return widget_ && widget_->font().bold();
}
bool RectControl::Italic() const
{
    return widget_ && widget_->font().italic();
}
bool RectControl::Underline() const
{
    return widget_ && widget_->font().underline();
}

void RectControl::Bold(bool b)
{
    setFontStyle(&QFont::setBold, b);
}
void RectControl::Italic(bool b)
{
    setFontStyle(&QFont::setItalic, b);
}
void RectControl::Underline(bool b)
{
    setFontStyle(&QFont::setUnderline, b);
}

void RectControl::setFontStyle(void (QFont::*set)(bool), bool on)
{
    if (!widget_)
        return;
    QFont f = widget_->font();
    (f.*set)(on);
    widget_->setFont(f);
}

QString RectControl::HelpTag() const
{
    return widget_ ? widget_->toolTip() : QString();
}
void RectControl::HelpTag(const QString &tip)
{
    if (widget_)
        widget_->setToolTip(tip);
}

QWidget *RectControl::childArea(int)
{
    return nullptr;
}

void RectControl::Parent(RectControl &container, int page)
{
    if (!widget_ || !container.widget_)
        throw NilObjectException(QStringLiteral("control without a widget"));
    QWidget *area = container.childArea(page);
    if (!area)
        throw OutOfBoundsException(
            QStringLiteral("%1 holds no page %2 for %3").arg(container.Name()).arg(page).arg(name_));
    if (&container.window_ != &window_ || area == widget_ || widget_->isAncestorOf(area))
        throw OutOfBoundsException(
            QStringLiteral("%1 cannot be placed inside %2").arg(name_, container.Name()));
    const int left = Left(), top = Top();
    const bool hidden = widget_->isHidden();
    widget_->setParent(area);
    place(left, top);
    widget_->setVisible(!hidden);
    parent_ = &container;
}

} // namespace rb
