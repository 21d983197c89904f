#include "window.h"

#include "dispatch.h"
#include "menu.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QResizeEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <utility>

namespace rb
{

namespace
{

constexpr int minSide = 64;
constexpr int maxSide = 32000;

std::vector<Window *> &allWindows()
{
    static std::vector<Window *> list;
    return list;
}

struct Registered {
    std::type_index type;
    std::unique_ptr<Window> window;
};

std::vector<Registered> &registry()
{
    static std::vector<Registered> list;
    return list;
}

// Shown by a handler under way, in the order of their Show.
std::vector<Window *> &waitingToShow()
{
    static std::vector<Window *> list;
    return list;
}

int clampSide(int v)
{
    return std::clamp(v, 0, maxSide);
}

} // namespace

class Window::Widget : public QWidget
{
  public:
    explicit Widget(Window &owner) : owner_(owner) {}
    Window &owner() const { return owner_; }

  protected:
    void closeEvent(QCloseEvent *e) override
    {
        if (!owner_.closeBox_) {
            e->ignore();
            return;
        }
        // A window the user may close is hidden; it stays the one instance of its class.
        dispatch([this] { owner_.Event_Close(); });
        e->accept();
    }

    void resizeEvent(QResizeEvent *e) override
    {
        QWidget::resizeEvent(e);
        owner_.resizedByUser();
    }

  private:
    Window &owner_;
};

Window::Window(const QString &title, int left, int top, int width, int height)
    : widget_(new Widget(*this)), content_(new QWidget(widget_)), width_(clampSide(width)),
      height_(clampSide(height))
{
    widget_->setWindowTitle(title);
    widget_->setAttribute(Qt::WA_DeleteOnClose, false);
    content_->setObjectName(QStringLiteral("content"));
    widget_->setGeometry(left, top, std::max(width_, 1), std::max(height_, 1));
    layoutContent();
    applyFlags();
    allWindows().push_back(this);
}

Window::~Window()
{
    auto &all = allWindows();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    cancelShow();
    // Children before their containers: the newest controls first.
    while (!controls_.empty())
        controls_.pop_back();
    while (!others_.empty())
        others_.pop_back();
    delete widget_;
}

QWidget *Window::widget() const
{
    return widget_;
}
QWidget *Window::contentWidget() const
{
    return content_;
}

Window *Window::of(const QWidget *w)
{
    if (!w)
        return nullptr;
    if (auto *top = dynamic_cast<const Widget *>(w->window()))
        return &top->owner();
    return nullptr;
}

std::vector<Window *> windows()
{
    return allWindows();
}

void Window::layoutContent()
{
    const int barHeight = menuBarWidget_ ? menuBarWidget_->sizeHint().height() : 0;
    if (menuBarWidget_)
        menuBarWidget_->setGeometry(0, 0, width_, barHeight);
    content_->setGeometry(0, barHeight, width_, height_);
    const QSize total(std::max(width_, 1), std::max(height_ + barHeight, 1));
    if (fixed_) {
        widget_->setFixedSize(total);
    } else {
        widget_->setMinimumSize(std::min(minSide, total.width()),
                                std::min(minSide + barHeight, total.height()));
        widget_->setMaximumSize(maxSide, maxSide + barHeight);
        widget_->resize(total);
    }
}

void Window::resizedByUser()
{
    const int barHeight = menuBarWidget_ ? menuBarWidget_->height() : 0;
    const int w = widget_->width(), h = std::max(widget_->height() - barHeight, 0);
    if (w == width_ && h == height_)
        return;
    width_ = w;
    height_ = h;
    if (menuBarWidget_)
        menuBarWidget_->setGeometry(0, 0, width_, barHeight);
    content_->setGeometry(0, barHeight, width_, height_);
    if (opened_)
        dispatch([this] { Event_Resized(); });
}

void Window::applyFlags()
{
    Qt::WindowFlags f = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
    if (closeBox_)
        f |= Qt::WindowCloseButtonHint;
    if (minimize_ && !fixed_)
        f |= Qt::WindowMinimizeButtonHint;
    if (maximize_ && !fixed_)
        f |= Qt::WindowMaximizeButtonHint;
    if (widget_->windowFlags() == f)
        return;
    const bool shown = widget_->isVisible();
    const QRect g = widget_->geometry();
    widget_->setWindowFlags(f); // hides the window
    widget_->setGeometry(g);
    if (shown)
        widget_->show();
}

void Window::Show()
{
    if (!opened_) {
        opened_ = true;
        applyTabOrder();
        for (std::size_t i = 0; i < controls_.size(); ++i) {
            RectControl *c = controls_[i].get();
            dispatch([c] { c->Event_Open(); });
        }
        dispatch([this] { Event_Open(); });
    }
    if (closed_ || showWaiting_)
        return;
    showWaiting_ = true;
    waitingToShow().push_back(this);
    whenHandlersReturn(showWaitingWindows);
}

void showWaitingWindows()
{
    for (Window *w : std::exchange(waitingToShow(), {})) {
        w->showWaiting_ = false;
        w->showOnScreen();
    }
}

void Window::showOnScreen()
{
    // A window the program shows comes to the front, as a window the user opens does.
    widget_->show();
    widget_->raise();
    widget_->activateWindow();
}

void Window::cancelShow()
{
    if (!showWaiting_)
        return;
    showWaiting_ = false;
    auto &waiting = waitingToShow();
    waiting.erase(std::remove(waiting.begin(), waiting.end(), this), waiting.end());
}

void Window::Hide()
{
    cancelShow();
    widget_->hide();
}

void Window::applyTabOrder()
{
    // Depth first from the window: each container's controls in TabIndex order, each followed by
    // the controls it contains.
    std::vector<QWidget *> chain;
    auto visit = [this, &chain](const RectControl *container, auto &self) -> void {
        std::vector<RectControl *> children;
        for (const auto &c : controls_)
            if (c->Parent() == container)
                children.push_back(c.get());
        std::stable_sort(children.begin(), children.end(), [](const RectControl *a, const RectControl *b) {
            return a->TabIndex() < b->TabIndex();
        });
        for (RectControl *c : children) {
            QWidget *target = c->focusTarget();
            if (target && target->focusPolicy() != Qt::NoFocus)
                chain.push_back(target);
            self(c, self);
        }
    };
    visit(nullptr, visit);
    for (std::size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void Window::Placement(int placement)
{
    if (placement != PlacementMainScreen)
        return;
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect g = widget_->frameGeometry();
        g.moveCenter(screen->availableGeometry().center());
        widget_->move(g.topLeft());
    }
}
bool Window::Visible() const
{
    return showWaiting_ || widget_->isVisible();
}

int Window::Left() const
{
    return widget_->geometry().x();
}
int Window::Top() const
{
    return widget_->geometry().y();
}

void Window::Left(int x)
{
    QRect g = widget_->geometry();
    g.moveLeft(x);
    widget_->setGeometry(g);
}

void Window::Top(int y)
{
    QRect g = widget_->geometry();
    g.moveTop(y);
    widget_->setGeometry(g);
}

int Window::Width() const
{
    return width_;
}
int Window::Height() const
{
    return height_;
}

void Window::Width(int w)
{
    resizeSide(width_, w);
}
void Window::Height(int h)
{
    resizeSide(height_, h);
}

void Window::resizeSide(int &side, int value)
{
    value = std::clamp(value, fixed_ ? 0 : minSide, maxSide);
    if (value == side)
        return;
    side = value;
    layoutContent();
    if (opened_)
        dispatch([this] { Event_Resized(); });
}

QString Window::Title() const
{
    return widget_->windowTitle();
}
void Window::Title(const QString &t)
{
    widget_->setWindowTitle(t);
}

void Window::FixedSize(bool fixed)
{
    fixed_ = fixed;
    if (fixed) {
        minimize_ = false;
        maximize_ = false;
    } else {
        widget_->setMinimumSize(0, 0);
        widget_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    layoutContent();
    applyFlags();
}

void Window::CloseBox(bool hasCloseBox)
{
    closeBox_ = hasCloseBox;
    applyFlags();
}

void Window::MinimizeButton(bool has)
{
    minimize_ = has;
    applyFlags();
}

void Window::MaximizeButton(bool has)
{
    maximize_ = has;
    applyFlags();
}

rb::MenuBar *Window::MenuBar() const
{
    return menuBar_;
}

void Window::MenuBar(rb::MenuBar *bar)
{
    if (bar == menuBar_)
        return;
    delete menuBarWidget_;
    menuBarWidget_ = nullptr;
    menuBar_ = bar;
    if (bar) {
        menuBarWidget_ = bar->makeWidget(widget_);
        menuBarWidget_->show();
    }
    layoutContent();
}

void Window::Refresh()
{
    widget_->update();
    for (QWidget *w : widget_->findChildren<QWidget *>())
        w->update();
}

RectControl *Window::Control(const QString &name) const
{
    for (const auto &c : controls_)
        if (c->Name().compare(name, Qt::CaseInsensitive) == 0)
            return c.get();
    return nullptr;
}

void Window::AddMenuHandler(const QString &itemName, std::function<bool()> handler)
{
    for (auto &h : menuHandlers_)
        if (h.first.compare(itemName, Qt::CaseInsensitive) == 0) {
            h.second = std::move(handler);
            return;
        }
    menuHandlers_.emplace_back(itemName, std::move(handler));
}

const std::function<bool()> *Window::menuHandler(const QString &itemName) const
{
    for (const auto &h : menuHandlers_)
        if (h.first.compare(itemName, Qt::CaseInsensitive) == 0 && h.second)
            return &h.second;
    return nullptr;
}

void Window::close()
{
    if (closed_)
        return;
    closed_ = true;
    cancelShow();
    if (opened_) {
        dispatch([this] { Event_Close(); });
        for (std::size_t i = 0; i < controls_.size(); ++i) {
            RectControl *c = controls_[i].get();
            dispatch([c] { c->Event_Close(); });
        }
    }
    widget_->hide();
}

namespace detail
{

Window *findWindow(std::type_index type)
{
    for (const auto &r : registry())
        if (r.type == type && r.window)
            return r.window.get();
    return nullptr;
}

void registerWindow(std::type_index type, std::unique_ptr<Window> w)
{
    registry().push_back({type, std::move(w)});
}

} // namespace detail

void closeAllWindows()
{
    auto &reg = registry();
    // Close and destroy one at a time, newest first; a Close handler may still reach older windows.
    while (!reg.empty()) {
        reg.back().window->close();
        std::unique_ptr<Window> w = std::move(reg.back().window);
        reg.pop_back();
        w.reset();
    }
}

} // namespace rb
