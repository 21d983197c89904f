#pragma once
// A window: one instance per window class, found open by class or else created (rb::window<T>()).
// Controls are created by the window's constructor with their design values; the window raises
// its controls' Event_Open (in creation order) and then its own Event_Open when it is first shown.

#include "rectcontrol.h"

#include <QString>
#include <memory>
#include <vector>

class QWidget;

namespace rb {

class MenuBar;

class Window {
public:
    Window(const QString &title, int left, int top, int width, int height);
    virtual ~Window();
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    void Show();     // visibility only (the first Show also opens the window)
    void Hide();
    bool Visible() const;
    int Left() const;
    void Left(int x);
    int Top() const;
    void Top(int y);
    int Width() const;
    int Height() const;
    QString Title() const;
    void Title(const QString &t);
    void FixedSize(bool fixed);           // no resizing, no minimise or zoom
    void CloseBox(bool hasCloseBox);      // false: the window cannot be closed by the user
    MenuBar *MenuBar() const;
    void MenuBar(rb::MenuBar *bar);
    void Refresh();

    // A control by name, nil when none; control<T>() also checks the type.
    RectControl *Control(const QString &name) const;
    template <typename T> T *control(const QString &name) const { return dynamic_cast<T *>(Control(name)); }

    virtual void Event_Open() {}
    virtual void Event_Close() {}

    QWidget *widget() const;

    // Creates a control owned by this window: add<PushButton>("kstart", left, top, w, h, ...).
    template <typename T, typename... Args> T &add(Args &&...args)
    {
        auto c = std::make_unique<T>(*this, std::forward<Args>(args)...);
        T &ref = *c;
        controls_.push_back(std::move(c));
        return ref;
    }

private:
    class Widget;
    Widget *widget_;
    std::vector<std::unique_ptr<RectControl>> controls_;
    rb::MenuBar *menuBar_ = nullptr;
    bool opened_ = false;
};

} // namespace rb
