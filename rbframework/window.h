#pragma once
// A window: one instance per window class, found open by class or else created (rb::window<T>()).
// Controls are created by the window's constructor with their design values; the window raises
// its controls' Event_Open (in creation order) and then its own Event_Open when it is first shown.

#include "rectcontrol.h"

#include <QString>
#include <functional>
#include <memory>
#include <type_traits>
#include <typeindex>
#include <utility>
#include <vector>

class QWidget;

namespace rb
{

class MenuBar;

class Window
{
  public:
    Window(const QString &title, int left, int top, int width, int height);
    virtual ~Window();
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    // Visibility only (the first Show also opens the window). Asked from a handler, the window reaches
    // the screen when the outermost handler has returned, unless it is hidden again before: a window
    // shown and hidden within one event never appears. Visible answers at once either way.
    void Show();
    // A window designed visible: when the application's Open event has ended and the window is
    // still not open (the event raised before showing it), the runtime shows it, so that the
    // program never runs without its window.
    bool ShownAtStart() const { return shownAtStart_; }
    void ShownAtStart(bool shown) { shownAtStart_ = shown; }
    void Hide();
    bool Visible() const;
    bool opened() const { return opened_; }
    int Left() const;
    void Left(int x);
    int Top() const;
    void Top(int y);
    int Width() const; // the content area, below the menu bar
    void Width(int w);
    int Height() const;
    void Height(int h);
    QString Title() const;
    void Title(const QString &t);
    // Where the window first stands: as given (PlacementDefault) or centred on the main screen.
    static constexpr int PlacementDefault = 0, PlacementMainScreen = 2;
    void Placement(int placement);
    void FixedSize(bool fixed); // no resizing, no minimise or zoom
    void Resizable(bool resizable) { FixedSize(!resizable); }
    void CloseBox(bool hasCloseBox); // false: the window cannot be closed by the user
    void MinimizeButton(bool has);   // only for a window that is not of fixed size
    void MaximizeButton(bool has);
    rb::MenuBar *MenuBar() const;
    void MenuBar(rb::MenuBar *bar); // nil removes it
    void Refresh();

    // A control by name (letter case ignored), nil when none; control<T>() also checks the type.
    RectControl *Control(const QString &name) const;
    template <typename T> T *control(const QString &name) const { return dynamic_cast<T *>(Control(name)); }

    // Menu handlers of this window, by item name (letter case ignored); answering true claims the
    // command. Registering a name again replaces its handler.
    void AddMenuHandler(const QString &itemName, std::function<bool()> handler);
    const std::function<bool()> *menuHandler(const QString &itemName) const;

    virtual void Event_Open() {}
    virtual void Event_Close() {}
    virtual void Event_Resized() {}

    QWidget *widget() const;
    QWidget *contentWidget() const; // the parent of the controls, origin of window coordinates

    // Creates an object owned by this window: a control (add<PushButton>("kstart", left, top, w, h))
    // or anything else made from the window, such as a Timer.
    template <typename T, typename... Args> T &add(Args &&...args)
    {
        auto c = std::make_unique<T>(*this, std::forward<Args>(args)...);
        T &ref = *c;
        if constexpr (std::is_base_of_v<RectControl, T>)
            controls_.push_back(std::move(c));
        else
            others_.push_back(std::shared_ptr<T>(std::move(c)));
        return ref;
    }

    // Raises the Close events and hides the window; used when the program quits.
    void close();

    // The window under the given widget (a window or anything inside one); nil when none.
    static Window *of(const QWidget *w);

  private:
    class Widget;
    void applyTabOrder();
    void showOnScreen();
    void cancelShow();
    friend void showWaitingWindows();
    void layoutContent();
    void resizeSide(int &side, int value); // width_ or height_
    void applyFlags();
    void resizedByUser();
    Widget *widget_;
    QWidget *content_;
    std::vector<std::unique_ptr<RectControl>> controls_;
    std::vector<std::shared_ptr<void>> others_;
    rb::MenuBar *menuBar_ = nullptr;
    QWidget *menuBarWidget_ = nullptr;
    std::vector<std::pair<QString, std::function<bool()>>> menuHandlers_;
    bool opened_ = false, closed_ = false, shownAtStart_ = false, showWaiting_ = false;
    bool fixed_ = false, closeBox_ = true, minimize_ = true, maximize_ = true;
    int width_, height_;

    friend class rb::MenuBar;
};

namespace detail
{
Window *findWindow(std::type_index type);
void registerWindow(std::type_index type, std::unique_ptr<Window> w);
} // namespace detail

// The one open window of class T, created (and registered) when there is none yet.
template <class T> T &window()
{
    static_assert(std::is_base_of_v<Window, T>, "window<T>: T must be a Window");
    if (Window *w = detail::findWindow(typeid(T)))
        return static_cast<T &>(*w);
    auto made = std::make_unique<T>();
    T &ref = *made;
    detail::registerWindow(typeid(T), std::move(made));
    return ref;
}

// Whether a window of class T is open, without creating one.
template <class T> T *openWindow()
{
    return static_cast<T *>(detail::findWindow(typeid(T)));
}

// Puts on screen now the windows whose Show waits for the handler under way to return: a modal
// dialog opened meanwhile comes over them, as it would have without the wait.
void showWaitingWindows();

// Every window in creation order (registered or not).
std::vector<Window *> windows();

// Closes and destroys every registered window, the newest first: at the program's end and between tests.
void closeAllWindows();

} // namespace rb
