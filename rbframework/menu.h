#pragma once
// Menus: a MenuBar is the root MenuItem of a tree of items. An item is found by its Name; choosing
// it runs, through the dispatch point, the first handler that claims it: the item's own Action,
// then the front window's handler of that name, then, when the front window shows no menu bar of
// its own, that of the windows showing the item's bar, then the application's (MenuBar::handle).
// The front window of a menu opened from a window's menu bar is that window, active or not
// (nothing need make it active again after a dialog closes); for a shortcut it is the active
// window. A bar's shortcuts work in every window while one shows the bar, in a window without a
// menu bar of its own too. The Edit items (EditUndo, EditCut, EditCopy, EditPaste, EditClear,
// EditSelectAll) that no handler claims act on the text control that has the focus in the front
// window, and are on only when they would do something there. Items with Text "-" are separators;
// "&" in a Text marks the access key; KeyboardShortcut uses the notation "Cmd+Z" (Cmd is Ctrl on
// Linux and Windows, Command on the Mac).

#include <QKeySequence>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace rb
{

class Window;

class MenuItem
{
  public:
    MenuItem();
    explicit MenuItem(const QString &text);
    virtual ~MenuItem();
    MenuItem(const MenuItem &) = delete;
    MenuItem &operator=(const MenuItem &) = delete;

    const QString &Name() const { return name_; }
    void Name(const QString &n) { name_ = n; }
    const QString &Text() const { return text_; }
    void Text(const QString &t);
    const QString &KeyboardShortcut() const { return shortcut_; }
    void KeyboardShortcut(const QString &s); // an unreadable shortcut gives the item none
    bool AutoEnable() const { return autoEnable_; }
    void AutoEnable(bool a) { autoEnable_ = a; }
    bool Enabled() const;
    void Enabled(bool e);
    bool Checked() const;
    void Checked(bool c);
    bool isSeparator() const { return text_ == QLatin1String("-"); }

    // Children, in order. Append takes the item; the returned reference lives as long as this item.
    MenuItem &Append(std::unique_ptr<MenuItem> item);
    template <typename T = MenuItem, typename... Args> T &append(Args &&...args)
    {
        return static_cast<T &>(Append(std::make_unique<T>(std::forward<Args>(args)...)));
    }
    int Count() const { return int(children_.size()); }
    MenuItem *Item(int index) const;            // OutOfBoundsException outside 0..Count-1
    MenuItem *Child(const QString &name) const; // a direct child by Name, nil when none
    MenuItem *Lookup(const QString &name);      // this item or any below it by Name, nil when none
    MenuItem *Parent() const { return parent_; }

    // The item's own handler; answering true claims the command.
    std::function<bool()> Action;
    virtual bool Event_Action() { return Action ? Action() : false; }

    // What the framework does with an item no handler claimed; true when it did something.
    virtual bool defaultAction() { return false; }

    // Chooses the item as the user does, with the given window in front (nil: the window whose menu
    // bar holds the open menu, else the active one); answers whether anything handled it.
    bool choose(Window *front = nullptr);

    QAction *action() const { return action_.get(); }
    QMenu *menu() const { return menu_.get(); } // nil until the item has children

    // "Cmd+Z" in the framework's notation as a key sequence; empty when it cannot be read.
    static QKeySequence shortcutSequence(const QString &text);

  protected:
    // Refreshes the automatic enabling of the children before a menu opens.
    void updateEnabling(Window *front);
    bool canHandle(Window *front) const;

  private:
    void ensureMenu();
    virtual void childAppended(MenuItem &item);
    QWidget *openingWindow() const; // the window whose menu bar is opening this menu
    Window *menuWindow() const;     // the window of the open menu holding this item; nil when none
    // The windows whose handlers may claim this item, in the order they are asked.
    std::vector<Window *> handlingWindows(Window *front) const;
    QString name_, text_, shortcut_;
    bool autoEnable_ = true;
    bool enabled_ = true;
    MenuItem *parent_ = nullptr;
    // The window this menu was last opened for, kept until a choice made in it has been handled.
    QPointer<QWidget> openedFor_;
    int openings_ = 0;
    std::unique_ptr<QMenu> menu_; // declared before action_: the action goes first
    std::unique_ptr<QAction> action_;
    std::vector<std::unique_ptr<MenuItem>> children_;

    friend class MenuBar;
};

// Quits the program (rb::Quit) unless a handler claims the command first.
class QuitMenuItem : public MenuItem
{
  public:
    using MenuItem::MenuItem;
    bool defaultAction() override;
};

class MenuBar : public MenuItem
{
  public:
    MenuBar();
    ~MenuBar() override;

    // The application's handlers, by item name (letter case ignored); tried after the front window's.
    static void handle(const QString &itemName, std::function<bool()> handler);
    static void clearHandlers();
    static const std::function<bool()> *handler(const QString &itemName);

    // Chooses the item of that name as the user does, with the given window (or the active one) in
    // front; answers whether something handled it. An unknown name raises OutOfBoundsException.
    bool trigger(const QString &itemName, Window *front = nullptr);

    // A Qt menu bar showing this bar's menus, for a window (Window::MenuBar makes it).
    QMenuBar *makeWidget(QWidget *parent);
    std::vector<Window *> windowsShowing() const; // the windows whose menu bar shows this one
    // The window whose menu bar is opening the menu of that action; nil when none is.
    QWidget *windowOpening(const QAction *menuAction) const;

  private:
    void childAppended(MenuItem &item) override;
    std::vector<QPointer<QMenuBar>> shown_;
};

} // namespace rb
