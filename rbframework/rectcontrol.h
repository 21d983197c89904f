#pragma once
// The base of every control: a Qt widget placed in a window by window coordinates.

#include <QString>

class QWidget;

namespace rb {

class Window;

class RectControl {
public:
    RectControl(const RectControl &) = delete;
    RectControl &operator=(const RectControl &) = delete;
    virtual ~RectControl();

    const QString &Name() const { return name_; }
    Window &window() const { return window_; }

    bool Enabled() const;
    void Enabled(bool e);
    bool Visible() const;
    void Visible(bool v);
    int Left() const;      // window coordinates
    void Left(int x);
    int Top() const;
    void Top(int y);
    int Width() const;
    void Width(int w);
    int Height() const;
    void Height(int h);
    void SetFocus();
    void Refresh();        // repaint soon

    QWidget *widget() const { return widget_; }

    // Raised by the window when it opens, controls first in creation order, then the window.
    virtual void Event_Open() {}

protected:
    // The window takes ownership of the widget's Qt parenting; the control keeps the pointer.
    RectControl(Window &window, QString name, QWidget *widget, int left, int top, int width, int height);
    virtual void resized() {}

private:
    Window &window_;
    QString name_;
    QWidget *widget_;
};

} // namespace rb
