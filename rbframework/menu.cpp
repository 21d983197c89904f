#include "menu.h"

#include "application.h"
#include "dispatch.h"
#include "exceptions.h"
#include "window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>

namespace rb
{

namespace
{

std::vector<std::pair<QString, std::function<bool()>>> &appHandlers()
{
    static std::vector<std::pair<QString, std::function<bool()>>> list;
    return list;
}

Window *frontWindow(Window *front)
{
    if (front)
        return front;
    return Window::of(QApplication::activeWindow());
}

// The framework's own editing commands, applied to the text control that has the focus.
enum class Edit { None, Undo, Cut, Copy, Paste, Clear, SelectAll };

Edit editCommand(const QString &name)
{
    static const std::pair<const char *, Edit> names[] = {
        {"EditUndo", Edit::Undo},   {"EditCut", Edit::Cut},     {"EditCopy", Edit::Copy},
        {"EditPaste", Edit::Paste}, {"EditClear", Edit::Clear}, {"EditSelectAll", Edit::SelectAll},
    };
    for (const auto &[n, e] : names)
        if (name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
            return e;
    return Edit::None;
}

// What a command needs of the control to do anything: Undo something to undo, Cut, Copy and Delete
// a selection, Paste text on the clipboard, Select All some text; all but Copy and Select All
// also need an editable control. A line edit's del would take the character after the cursor when
// nothing is selected, as its Delete key does: Delete runs only on a selection.
bool hasSelection(const QLineEdit *line)
{
    return line->hasSelectedText();
}
template <typename TextEdit> bool hasSelection(const TextEdit *text)
{
    return text->textCursor().hasSelection();
}
bool undoAvailable(const QLineEdit *line)
{
    return line->isUndoAvailable();
}
template <typename TextEdit> bool undoAvailable(const TextEdit *text)
{
    return text->document()->isUndoAvailable();
}
bool isEmpty(const QLineEdit *line)
{
    return line->text().isEmpty();
}
template <typename TextEdit> bool isEmpty(const TextEdit *text)
{
    return text->document()->isEmpty();
}

template <typename Editor> bool available(const Editor *editor, Edit e)
{
    const bool editable = !editor->isReadOnly();
    switch (e) {
    case Edit::Undo:
        return editable && undoAvailable(editor);
    case Edit::Cut:
    case Edit::Clear:
        return editable && hasSelection(editor);
    case Edit::Copy:
        return hasSelection(editor);
    case Edit::Paste:
        return editable && !QGuiApplication::clipboard()->text().isEmpty();
    case Edit::SelectAll:
        return !isEmpty(editor);
    case Edit::None:
        break;
    }
    return false;
}

void clearSelection(QLineEdit *line)
{
    line->del();
}

template <typename TextEdit> void clearSelection(TextEdit *text)
{
    QTextCursor c = text->textCursor();
    c.removeSelectedText();
    text->setTextCursor(c);
}

// The command applied to a line edit, a plain text edit or a rich text edit: they share its names.
template <typename Editor> void applyEdit(Editor *editor, Edit e)
{
    const std::pair<Edit, std::function<void(Editor *)>> commands[] = {
        {Edit::Undo, &Editor::undo},
        {Edit::Cut, &Editor::cut},
        {Edit::Copy, &Editor::copy},
        {Edit::Paste, &Editor::paste},
        {Edit::Clear, [](Editor *text) { clearSelection(text); }},
        {Edit::SelectAll, &Editor::selectAll},
    };
    for (const auto &[command, run] : commands)
        if (command == e)
            run(editor);
}

// Whether the command would do something in the text control that has the focus in the window (the
// front one: never a control of another window); with apply, it also runs it.
bool runEdit(const Window *front, Edit e, bool apply)
{
    QWidget *focus = front ? front->widget()->focusWidget() : nullptr;
    const auto run = [&](auto *editor) {
        if (!available(editor, e))
            return false;
        if (apply)
            applyEdit(editor, e);
        return true;
    };
    if (auto *line = qobject_cast<QLineEdit *>(focus))
        return run(line);
    if (auto *text = qobject_cast<QPlainTextEdit *>(focus))
        return run(text);
    if (auto *rich = qobject_cast<QTextEdit *>(focus))
        return run(rich);
    return false;
}

// Runs a handler through the dispatch point; an exception counts as the command handled, so that
// no second handler runs after a failed one.
bool runHandler(const std::function<bool()> &h)
{
    bool handled = true;
    dispatch([&] { handled = h(); });
    return handled;
}

} // namespace

// --- MenuItem

MenuItem::MenuItem() : action_(std::make_unique<QAction>())
{
    // The bar's shortcuts work in every window of the program, in one without a menu bar too. One
    // action per item, whatever the number of windows showing the bar: a key is never claimed twice.
    action_->setShortcutContext(Qt::ApplicationShortcut);
    QObject::connect(action_.get(), &QAction::triggered, action_.get(), [this] { choose(); });
}

MenuItem::MenuItem(const QString &text) : MenuItem()
{
    Text(text);
}

MenuItem::~MenuItem()
{
    children_.clear();
    action_.reset();
    menu_.reset();
}

void MenuItem::Text(const QString &t)
{
    text_ = t;
    action_->setSeparator(isSeparator());
    action_->setText(isSeparator() ? QString() : t);
    if (menu_)
        menu_->setTitle(t);
}

void MenuItem::KeyboardShortcut(const QString &s)
{
    shortcut_ = s;
    action_->setShortcut(shortcutSequence(s));
}

bool MenuItem::Enabled() const
{
    return action_->isEnabled();
}

void MenuItem::Enabled(bool e)
{
    enabled_ = e;
    action_->setEnabled(e);
}

bool MenuItem::Checked() const
{
    return action_->isChecked();
}

void MenuItem::Checked(bool c)
{
    action_->setCheckable(c || action_->isCheckable());
    action_->setChecked(c);
}

void MenuItem::ensureMenu()
{
    if (menu_)
        return;
    menu_ = std::make_unique<QMenu>();
    menu_->setTitle(text_);
    action_->setMenu(menu_.get());
    QObject::connect(menu_.get(), &QMenu::aboutToShow, menu_.get(), [this] {
        ++openings_;
        openedFor_ = openingWindow();
        updateEnabling(Window::of(openedFor_));
    });
    // A choice made in the menu is handled right after the menu closes; what came later (a
    // shortcut) is no longer the menu's.
    QObject::connect(menu_.get(), &QMenu::aboutToHide, menu_.get(), [this] {
        QTimer::singleShot(0, menu_.get(), [this, opening = openings_] {
            if (opening == openings_)
                openedFor_.clear();
        });
    });
}

QWidget *MenuItem::openingWindow() const
{
    if (const auto *bar = dynamic_cast<const MenuBar *>(parent_))
        return bar->windowOpening(action_.get());
    return parent_ ? parent_->openedFor_.data() : nullptr;
}

Window *MenuItem::menuWindow() const
{
    for (const MenuItem *m = parent_; m; m = m->parent_)
        if (m->openedFor_)
            return Window::of(m->openedFor_);
    return nullptr;
}

MenuItem &MenuItem::Append(std::unique_ptr<MenuItem> item)
{
    if (!item)
        throw NilObjectException(QStringLiteral("Append: nil menu item"));
    MenuItem &ref = *item;
    if (ref.parent_ || &ref == this)
        throw OutOfBoundsException(QStringLiteral("Append: the item is in a menu already"));
    ref.parent_ = this;
    children_.push_back(std::move(item));
    childAppended(ref);
    return ref;
}

void MenuItem::childAppended(MenuItem &item)
{
    ensureMenu();
    menu_->addAction(item.action_.get());
}

MenuItem *MenuItem::Item(int index) const
{
    if (index < 0 || index >= Count())
        throw OutOfBoundsException(QStringLiteral("menu item %1 of %2").arg(index).arg(Count()));
    return children_[std::size_t(index)].get();
}

MenuItem *MenuItem::Child(const QString &name) const
{
    for (const auto &c : children_)
        if (c->name_.compare(name, Qt::CaseInsensitive) == 0)
            return c.get();
    return nullptr;
}

MenuItem *MenuItem::Lookup(const QString &name)
{
    if (name_.compare(name, Qt::CaseInsensitive) == 0)
        return this;
    for (const auto &c : children_)
        if (MenuItem *found = c->Lookup(name))
            return found;
    return nullptr;
}

std::vector<Window *> MenuItem::handlingWindows(Window *front) const
{
    std::vector<Window *> list;
    if (front)
        list.push_back(front);
    if (front && front->MenuBar())
        return list;
    const MenuItem *root = this;
    while (root->parent_)
        root = root->parent_;
    if (const auto *bar = dynamic_cast<const MenuBar *>(root))
        for (Window *w : bar->windowsShowing())
            list.push_back(w);
    return list;
}

bool MenuItem::canHandle(Window *front) const
{
    if (!children_.empty() || Action)
        return true;
    for (const Window *w : handlingWindows(front))
        if (w->menuHandler(name_))
            return true;
    if (MenuBar::handler(name_))
        return true;
    if (dynamic_cast<const QuitMenuItem *>(this))
        return true;
    const Edit e = editCommand(name_);
    return e != Edit::None && runEdit(front, e, false);
}

void MenuItem::updateEnabling(Window *front)
{
    front = frontWindow(front);
    for (const auto &c : children_)
        if (c->autoEnable_ && !c->isSeparator())
            c->action_->setEnabled(c->enabled_ && c->canHandle(front));
}

bool MenuItem::choose(Window *front)
{
    if (isSeparator())
        return false;
    front = frontWindow(front ? front : menuWindow());
    if (runHandler([this] { return Event_Action(); }))
        return true;
    for (const Window *w : handlingWindows(front))
        if (const auto *h = w->menuHandler(name_))
            if (runHandler(*h))
                return true;
    if (const auto *h = MenuBar::handler(name_))
        if (runHandler(*h))
            return true;
    bool done = false;
    dispatch([&] { done = defaultAction(); });
    if (done)
        return true;
    const Edit e = editCommand(name_);
    return e != Edit::None && runEdit(front, e, true);
}

QKeySequence MenuItem::shortcutSequence(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    const QStringList parts = t.split(QLatin1Char('+'));
    // "Cmd++" names the plus key: the last part is then empty.
    QString key = parts.last().trimmed();
    int modifierCount = int(parts.size()) - 1;
    if (key.isEmpty()) {
        if (parts.size() < 3 || !parts[parts.size() - 2].trimmed().isEmpty())
            return {};
        key = QStringLiteral("+");
        modifierCount = int(parts.size()) - 2;
    }
    if (key.isEmpty())
        return {};
    Qt::KeyboardModifiers mods;
    for (int i = 0; i < modifierCount; ++i) {
        const QString m = parts[i].trimmed();
        auto is = [&m](const char *n) { return m.compare(QLatin1String(n), Qt::CaseInsensitive) == 0; };
        // Qt's Ctrl is the Command key on the Mac and Ctrl elsewhere: exactly what "Cmd" means.
        if (is("Cmd") || is("Command"))
            mods |= Qt::ControlModifier;
#ifdef Q_OS_MACOS
        else if (is("Ctrl") || is("Control"))
            mods |= Qt::MetaModifier;
#else
        else if (is("Ctrl") || is("Control"))
            mods |= Qt::ControlModifier;
#endif
        else if (is("Shift"))
            mods |= Qt::ShiftModifier;
        else if (is("Alt") || is("Option") || is("Opt"))
            mods |= Qt::AltModifier;
        else
            return {};
    }
    const QKeySequence keyOnly =
        QKeySequence::fromString(key.size() == 1 ? key.toUpper() : key, QKeySequence::PortableText);
    if (keyOnly.count() != 1)
        return {};
    const QKeyCombination k = keyOnly[0];
    if (k.keyboardModifiers() != Qt::NoModifier || k.key() == Qt::Key_unknown)
        return {};
    return QKeySequence(QKeyCombination(mods, k.key()));
}

// --- QuitMenuItem

bool QuitMenuItem::defaultAction()
{
    Quit(0);
    return true;
}

// --- MenuBar

MenuBar::MenuBar() = default;

MenuBar::~MenuBar()
{
    for (const auto &b : shown_)
        if (b)
            b->clear();
}

void MenuBar::childAppended(MenuItem &item)
{
    item.ensureMenu(); // a menu title opens a menu, even an empty one
    for (const auto &b : shown_)
        if (b)
            b->addAction(item.action());
}

QMenuBar *MenuBar::makeWidget(QWidget *parent)
{
    auto *bar = new QMenuBar(parent);
    bar->setNativeMenuBar(false);
    for (int i = 0; i < Count(); ++i)
        bar->addAction(Item(i)->action());
    shown_.erase(
        std::remove_if(shown_.begin(), shown_.end(), [](const QPointer<QMenuBar> &p) { return p.isNull(); }),
        shown_.end());
    shown_.emplace_back(bar);
    return bar;
}

std::vector<Window *> MenuBar::windowsShowing() const
{
    std::vector<Window *> list;
    for (const auto &b : shown_)
        if (Window *w = b ? Window::of(b) : nullptr)
            list.push_back(w);
    return list;
}

QWidget *MenuBar::windowOpening(const QAction *menuAction) const
{
    for (const auto &b : shown_)
        if (b && b->activeAction() == menuAction)
            return b->window();
    return nullptr;
}

void MenuBar::handle(const QString &itemName, std::function<bool()> h)
{
    auto &list = appHandlers();
    for (auto &e : list)
        if (e.first.compare(itemName, Qt::CaseInsensitive) == 0) {
            e.second = std::move(h);
            return;
        }
    list.emplace_back(itemName, std::move(h));
}

void MenuBar::clearHandlers()
{
    appHandlers().clear();
}

const std::function<bool()> *MenuBar::handler(const QString &itemName)
{
    for (const auto &e : appHandlers())
        if (e.first.compare(itemName, Qt::CaseInsensitive) == 0 && e.second)
            return &e.second;
    return nullptr;
}

bool MenuBar::trigger(const QString &itemName, Window *front)
{
    MenuItem *item = Lookup(itemName);
    if (!item)
        throw OutOfBoundsException(QStringLiteral("no menu item named %1").arg(itemName));
    return item->choose(front);
}

} // namespace rb
