#pragma once
// The standard controls: buttons, labels, group boxes, text fields and areas, progress bars, tab
// panels. Events are std::function members for plain instances and virtual Event_ methods for
// subclasses; both are entered through the dispatch point.

#include "rectcontrol.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QTabBar;

namespace rb
{

// Push and bevel buttons: Action is raised when the user clicks (or press() is called).
class ButtonControl : public RectControl
{
  public:
    QString Caption() const;
    void Caption(const QString &c);
    std::function<void()> Action;
    virtual void Event_Action()
    {
        if (Action)
            Action();
    }
    void press(); // clicks the button as the user does: nothing when it is disabled or hidden

  protected:
    ButtonControl(Window &window, QString name, int left, int top, int width, int height,
                  const QString &caption, bool bevel);
};

class PushButton : public ButtonControl
{
  public:
    PushButton(Window &window, QString name, int left, int top, int width, int height,
               const QString &caption = {});
};

class BevelButton : public ButtonControl
{
  public:
    BevelButton(Window &window, QString name, int left, int top, int width, int height,
                const QString &caption = {});
};

class Label : public RectControl
{
  public:
    Label(Window &window, QString name, int left, int top, int width, int height, const QString &text = {});
    QString Text() const;
    void Text(const QString &t); // line breaks may be CR, LF or CR LF
    QString Caption() const { return Text(); }
    void Caption(const QString &t) { Text(t); }
    int TextAlign() const { return align_; }
    void TextAlign(int a); // 0 left, 1 centre, 2 right
    bool Multiline() const;
    void Multiline(bool m);

  private:
    int align_ = 0;
};

class GroupBox : public RectControl
{
  public:
    GroupBox(Window &window, QString name, int left, int top, int width, int height,
             const QString &caption = {});
    QString Caption() const;
    void Caption(const QString &c);

  protected:
    QWidget *childArea(int page) override;
};

class TextField : public RectControl
{
  public:
    TextField(Window &window, QString name, int left, int top, int width, int height,
              const QString &text = {});
    QString Text() const;
    void Text(const QString &t);
    int Alignment() const { return align_; }
    void Alignment(int a); // 0 default (left), 1 left, 2 centre, 3 right
    bool ReadOnly() const;
    void ReadOnly(bool r);
    // Raised on every change of the text, by the user or by code.
    std::function<void()> TextChange;
    virtual void Event_TextChange()
    {
        if (TextChange)
            TextChange();
    }

  private:
    int align_ = 0;
};

class TextArea : public RectControl
{
  public:
    TextArea(Window &window, QString name, int left, int top, int width, int height,
             const QString &text = {});
    QString Text() const;        // lines end in LF
    void Text(const QString &t); // line breaks may be CR, LF or CR LF
    void AppendText(const QString &t);
    bool ReadOnly() const;
    void ReadOnly(bool r);
    std::function<void()> TextChange;
    virtual void Event_TextChange()
    {
        if (TextChange)
            TextChange();
    }
};

class ProgressBar : public RectControl
{
  public:
    ProgressBar(Window &window, QString name, int left, int top, int width, int height, int maximum = 100);
    int Value() const { return value_; }
    void Value(int v); // kept as given; the bar shows it within 0..Maximum
    int Maximum() const { return maximum_; }
    void Maximum(int m); // 0: an indeterminate bar; negative counts as 0

  private:
    void show();
    int value_ = 0, maximum_ = 100;
};

// A spinning busy indicator; it only needs to exist, show and hide.
class ProgressWheel : public RectControl
{
  public:
    ProgressWheel(Window &window, QString name, int left, int top, int width, int height);
};

class TabPanel : public RectControl
{
  public:
    TabPanel(Window &window, QString name, int left, int top, int width, int height,
             const QStringList &tabs = {});
    int Value() const;    // the open page, from 0; -1 without pages
    void Value(int page); // OutOfBoundsException outside 0..TabCount-1
    int TabCount() const { return int(pages_.size()); }
    QString Caption(int page) const; // OutOfBoundsException outside 0..TabCount-1
    int Append(const QString &caption);
    // Raised when the open page changes.
    std::function<void()> Change;
    virtual void Event_Change()
    {
        if (Change)
            Change();
    }

    QWidget *focusTarget() const override;

  protected:
    QWidget *childArea(int page) override;
    void resized() override;

  private:
    void layoutPages();
    void showPage(int page);
    QTabBar *bar_;
    std::vector<QWidget *> pages_;
};

} // namespace rb
