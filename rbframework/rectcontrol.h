#pragma once
// The base of every control: a Qt widget placed in a window by window coordinates.

#include <QPointer>
#include <QString>
#include <QWidget>

namespace rb
{

class Window;

class RectControl
{
  public:
    RectControl(const RectControl &) = delete;
    RectControl &operator=(const RectControl &) = delete;
    virtual ~RectControl();

    const QString &Name() const { return name_; }
    Window &window() const { return window_; }

    bool Enabled() const;
    void Enabled(bool e);
    bool Visible() const; // the control's own setting; a hidden page or window does not change it
    void Visible(bool v);
    int Left() const; // window coordinates
    void Left(int x);
    int Top() const;
    void Top(int y);
    int Width() const;
    void Width(int w);
    int Height() const;
    void Height(int h);
    void SetFocus();
    void Refresh(); // repaint soon

    // The text style of the control's own text (captions, labels, fields). Sizes are in the points
    // of Graphics (screen pixels); 0 points: the default size.
    QString TextFont() const;
    void TextFont(const QString &name); // "System" or empty: the platform's font
    double TextSize() const;
    void TextSize(double points);
    bool Bold() const;
    void Bold(bool b);
    bool Italic() const;
    void Italic(bool b);
    bool Underline() const;
    void Underline(bool b);
    QString HelpTag() const;
    void HelpTag(const QString &tip);
    // The control's place in the keyboard focus order among the controls of its parent, applied when
    // the window opens; equal indexes keep the creation order.
    int TabIndex() const { return tabIndex_; }
    void TabIndex(int index) { tabIndex_ = index; }

    // Puts the control inside a container: a GroupBox, or a page of a TabPanel (page counts from 0).
    // Left and Top stay window coordinates. A control that is no container, a page that does not
    // exist, the control itself or one of its own children raise OutOfBoundsException.
    void Parent(RectControl &container, int page = 0);
    RectControl *Parent() const { return parent_; }

    QWidget *widget() const { return widget_; }
    // The widget that takes the keyboard focus for the control (Tab moves through these).
    virtual QWidget *focusTarget() const { return widget_; }

    // Raised by the window when it opens, controls first in creation order, then the window.
    virtual void Event_Open() {}
    // Raised when the window closes (the program quits), the window first, then its controls.
    virtual void Event_Close() {}

  protected:
    // The window takes ownership of the widget's Qt parenting; the control keeps the pointer.
    RectControl(Window &window, QString name, QWidget *widget, int left, int top, int width, int height);
    virtual void resized() {}
    // Where a child placed on the given page lives; nil for a control that holds no controls.
    virtual QWidget *childArea(int page);

  private:
    void place(int left, int top);
    void setFontStyle(void (QFont::*set)(bool), bool on);
    Window &window_;
    QString name_;
    QPointer<QWidget> widget_; // a container deletes its children's widgets with its own
    RectControl *parent_ = nullptr;
    double textSize_ = 0;
    int tabIndex_ = 0;
    QString textFont_;
};

} // namespace rb
