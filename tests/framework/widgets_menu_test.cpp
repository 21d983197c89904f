// Menus: shortcuts in the framework's notation, access keys, separators, handlers by name.
#include "rbframework/controls.h"
#include "rbframework/dispatch.h"
#include "rbframework/menu.h"
#include "rbframework/window.h"
#include "tests/common/qstring_print.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace
{

struct ShortcutCase {
    const char *text;
    QKeySequence expected;
};

TEST(MenuShortcut, FrameworkNotationMapsCmdToTheControlKey)
{
    const ShortcutCase cases[] = {
        {"Cmd+Q", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"Cmd+l", QKeySequence(Qt::CTRL | Qt::Key_L)}, // lower case names the same key
        {"Cmd+s", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"cmd+Z", QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {"Shift+Cmd+Z", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
        {"Alt+F4", QKeySequence(Qt::ALT | Qt::Key_F4)},
        {"F5", QKeySequence(Qt::Key_F5)},
        {"Cmd++", QKeySequence(Qt::CTRL | Qt::Key_Plus)},
        {"", QKeySequence()},
        {"Cmd+", QKeySequence()},
        {"Hyper+Q", QKeySequence()}, // unknown modifier: no shortcut rather than a wrong one
        {"Cmd+NoSuchKey", QKeySequence()},
        {"Cmd+Q+W", QKeySequence()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(rb::MenuItem::shortcutSequence(QLatin1String(c.text))
                      .toString(QKeySequence::PortableText)
                      .toStdString(),
                  c.expected.toString(QKeySequence::PortableText).toStdString())
            << c.text;
}

// The program's bar, built the way its constructor does: menus first, then items found by name.
struct Bar : rb::MenuBar {
    Bar()
    {
        menu("FileMenu", "&File");
        item<rb::MenuItem>("FileMenu", "FileLoad", "Load", "Cmd+l");
        item<rb::QuitMenuItem>("FileMenu", "FileQuit", "&Quit", "Cmd+Q");
        menu("ViewMenu", "View");
        menu("EditMenu", "&Edit");
        item<rb::MenuItem>("EditMenu", "EditUndo", "&Undo", "Cmd+Z");
        item<rb::MenuItem>("EditMenu", "UntitledMenu1", "-", nullptr);
        item<rb::MenuItem>("EditMenu", "EditCut", "Cu&t", "Cmd+X");
    }
    void menu(const char *name, const char *text)
    {
        auto m = std::make_unique<rb::MenuItem>();
        m->Name(QLatin1String(name));
        m->AutoEnable(true);
        m->Text(QLatin1String(text));
        m->KeyboardShortcut({});
        Append(std::move(m));
    }
    template <typename T> void item(const char *menuName, const char *name, const char *text, const char *key)
    {
        auto i = std::make_unique<T>();
        i->Name(QLatin1String(name));
        i->AutoEnable(true);
        i->Text(QLatin1String(text));
        if (key)
            i->KeyboardShortcut(QLatin1String(key));
        Child(QLatin1String(menuName))->Append(std::move(i));
    }
};

struct Host : rb::Window {
    Host() : Window(QStringLiteral("host"), 0, 0, 200, 100) {}
};

// A window on screen and active, with a text field and a text area: the controls the editing
// commands act on, each with what a test does to it.
struct TextHost : Host {
    TextHost()
    {
        Show();
        QApplication::setActiveWindow(widget());
    }
    struct Control {
        const char *name;
        rb::RectControl &control;
        std::function<QString()> text;
        std::function<void(const QString &)> setText;
        std::function<void(bool)> readOnly;
        Qt::KeyboardModifiers toStart; // with Home, to the start of the text
    };
    std::vector<Control> controls()
    {
        return {
            {"one line", field, [this] { return field.Text(); }, [this](const QString &t) { field.Text(t); },
             [this](bool r) { field.ReadOnly(r); }, Qt::NoModifier},
            {"several lines", area, [this] { return area.Text(); },
             [this](const QString &t) { area.Text(t); }, [this](bool r) { area.ReadOnly(r); },
             Qt::ControlModifier},
        };
    }
    rb::TextField &field = add<rb::TextField>(QStringLiteral("field"), 10, 10, 150, 20);
    rb::TextArea &area = add<rb::TextArea>(QStringLiteral("area"), 10, 40, 150, 50);
};

class Menus : public ::testing::Test
{
  protected:
    void TearDown() override
    {
        rb::MenuBar::clearHandlers();
        rb::setUnhandledExceptionHandler({});
    }
    // The Edit menu with the rest of the framework's editing commands.
    rb::MenuItem &editMenuWithEveryCommand()
    {
        rb::MenuItem &edit = *bar.Child(QStringLiteral("EditMenu"));
        for (const char *name : {"EditCopy", "EditPaste", "EditClear", "EditSelectAll"})
            edit.append().Name(QLatin1String(name));
        return edit;
    }
    Bar bar;
};

TEST_F(Menus, TreeTextsAccessKeysAndSeparators)
{
    ASSERT_EQ(bar.Count(), 3);
    EXPECT_EQ(bar.Item(0)->Name(), QStringLiteral("FileMenu"));
    EXPECT_EQ(bar.Item(1)->Name(), QStringLiteral("ViewMenu"));
    EXPECT_THROW(bar.Item(3), rb::OutOfBoundsException);
    rb::MenuItem *edit = bar.Child(QStringLiteral("editmenu"));
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->Item(1)->isSeparator());
    EXPECT_TRUE(edit->Item(1)->action()->isSeparator());
    EXPECT_EQ(edit->Item(2)->action()->text(), QStringLiteral("Cu&t")) << "& stays Qt's access-key mark";
    EXPECT_EQ(bar.Lookup(QStringLiteral("FileLoad"))->action()->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_L));
    EXPECT_EQ(bar.Lookup(QStringLiteral("nothing")), nullptr);
    ASSERT_NE(bar.Child(QStringLiteral("ViewMenu"))->menu(), nullptr) << "an empty menu still opens";

    Host w;
    w.MenuBar(&bar);
    auto *qbar = w.widget()->findChild<QMenuBar *>();
    ASSERT_NE(qbar, nullptr);
    QStringList titles;
    for (QAction *a : qbar->actions())
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&File", "View", "&Edit"}));
    EXPECT_EQ(edit->menu()->actions().size(), 3);
}

TEST_F(Menus, HandlersByNameFrontWindowFirstThenApplication)
{
    Host w;
    QStringList log;
    w.AddMenuHandler(QStringLiteral("FileLoad"), [&] {
        log << "window";
        return true;
    });
    rb::MenuBar::handle(QStringLiteral("FileLoad"), [&] {
        log << "app";
        return true;
    });
    EXPECT_TRUE(bar.trigger(QStringLiteral("FileLoad"), &w));
    EXPECT_TRUE(bar.trigger(QStringLiteral("fileload"))); // no front window
    EXPECT_EQ(log, (QStringList{"window", "app"}));

    // A window handler that does not claim it passes it on.
    w.AddMenuHandler(QStringLiteral("FileLoad"), [&] {
        log << "declined";
        return false;
    });
    EXPECT_TRUE(bar.trigger(QStringLiteral("FileLoad"), &w));
    EXPECT_EQ(log, (QStringList{"window", "app", "declined", "app"}));

    EXPECT_FALSE(bar.trigger(QStringLiteral("EditCut"))) << "nothing to cut without a text field";
    EXPECT_THROW(bar.trigger(QStringLiteral("NoSuchItem")), rb::OutOfBoundsException);
}

TEST_F(Menus, EditCommandsActOnTheFocusedTextControl)
{
    editMenuWithEveryCommand();
    TextHost w;
    const QString typed = QStringLiteral("hello world");
    const struct {
        const char *command;
        QString text; // the control's text afterwards
    } steps[] = {
        {"EditSelectAll", typed}, {"EditCut", ""},   {"EditPaste", typed}, {"EditSelectAll", typed},
        {"EditCopy", typed},      {"EditClear", ""}, {"EditUndo", typed},
    };
    for (const auto &c : w.controls()) {
        SCOPED_TRACE(c.name);
        c.setText(typed);
        c.control.widget()->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), c.control.widget());
        for (const auto &step : steps) {
            EXPECT_TRUE(bar.trigger(QLatin1String(step.command))) << step.command;
            EXPECT_EQ(c.text(), step.text) << step.command;
        }
    }
}

// An Edit item is on when its command would do something in the focused control: Delete, like Cut
// and Copy, needs a selection, and with none it deletes nothing (not the character after the cursor).
TEST_F(Menus, EditItemsAreOnOnlyWhenTheirCommandWouldDoSomething)
{
    rb::MenuItem &edit = editMenuWithEveryCommand();
    TextHost w;
    const struct {
        const char *what;
        const char *text;
        QKeySequence keys; // typed at the start of the text
        bool readOnly;
        const char *clipboard;
        QStringList on;
        const char *afterDelete;
    } cases[] = {
        {"empty", "", {}, false, "", {}, ""},
        {"text, the cursor at the start", "hello", {}, false, "x", {"EditPaste", "EditSelectAll"}, "hello"},
        {"text selected",
         "hello",
         QKeySequence::SelectAll,
         false,
         "",
         {"EditCut", "EditCopy", "EditClear", "EditSelectAll"},
         ""},
        {"text selected, read only",
         "hello",
         QKeySequence::SelectAll,
         true,
         "x",
         {"EditCopy", "EditSelectAll"},
         "hello"},
        {"a key typed",
         "hello",
         QKeySequence(Qt::Key_Exclam),
         false,
         "",
         {"EditUndo", "EditSelectAll"},
         "!hello"},
    };
    for (const auto &c : w.controls()) {
        SCOPED_TRACE(c.name);
        for (const auto &k : cases) {
            SCOPED_TRACE(k.what);
            c.readOnly(false);
            c.setText(QLatin1String(k.text));
            c.control.widget()->setFocus();
            QTest::keyClick(c.control.widget(), Qt::Key_Home, c.toStart);
            QTest::keySequence(c.control.widget(), k.keys);
            c.readOnly(k.readOnly);
            QGuiApplication::clipboard()->setText(QLatin1String(k.clipboard));

            Q_EMIT edit.menu()->aboutToShow();
            QStringList on;
            for (int i = 0; i < edit.Count(); ++i)
                if (!edit.Item(i)->isSeparator() && edit.Item(i)->Enabled())
                    on << edit.Item(i)->Name();
            EXPECT_EQ(on, k.on);
            EXPECT_EQ(bar.trigger(QStringLiteral("EditClear")), k.on.contains("EditClear"));
            EXPECT_EQ(c.text(), QLatin1String(k.afterDelete));
        }
    }
}

TEST_F(Menus, AHandlerExceptionReachesTheHandlerAndEndsTheCommand)
{
    QStringList caught;
    rb::setUnhandledExceptionHandler([&](const rb::RuntimeException &e) {
        caught << e.Message();
        return true;
    });
    bool appRan = false;
    Host w;
    w.AddMenuHandler(QStringLiteral("FileLoad"),
                     []() -> bool { throw rb::NilObjectException(QStringLiteral("load")); });
    rb::MenuBar::handle(QStringLiteral("FileLoad"), [&] { return appRan = true; });
    EXPECT_TRUE(bar.trigger(QStringLiteral("FileLoad"), &w));
    EXPECT_EQ(caught, QStringList{"load"});
    EXPECT_FALSE(appRan);
}

TEST_F(Menus, AutoEnableEnablesWhatSomethingHandlesWhenTheMenuOpens)
{
    Host w;
    w.MenuBar(&bar);
    rb::MenuItem *file = bar.Child(QStringLiteral("FileMenu"));
    rb::MenuItem *load = bar.Lookup(QStringLiteral("FileLoad"));
    rb::MenuItem *quit = bar.Lookup(QStringLiteral("FileQuit"));
    Q_EMIT file->menu()->aboutToShow();
    EXPECT_FALSE(load->Enabled()) << "no handler for Load yet";
    EXPECT_TRUE(quit->Enabled());

    rb::MenuBar::handle(QStringLiteral("FileLoad"), [] { return true; });
    Q_EMIT file->menu()->aboutToShow();
    EXPECT_TRUE(load->Enabled());

    load->Enabled(false); // an item switched off by code stays off
    Q_EMIT file->menu()->aboutToShow();
    EXPECT_FALSE(load->Enabled());
}

TEST_F(Menus, ChoosingTheActionRunsTheHandler)
{
    int runs = 0;
    rb::MenuBar::handle(QStringLiteral("FileLoad"), [&] {
        ++runs;
        return true;
    });
    bar.Lookup(QStringLiteral("FileLoad"))->action()->trigger();
    EXPECT_EQ(runs, 1);
}

TEST_F(Menus, QuitItemQuitsUnlessAHandlerClaimsIt)
{
    bool claimed = true;
    rb::MenuBar::handle(QStringLiteral("FileQuit"), [&] { return claimed; });
    EXPECT_TRUE(bar.trigger(QStringLiteral("FileQuit"))); // claimed: nothing to see, the loop is not running

    claimed = false;
    bool timedOut = false;
    QTimer start, watchdog; // owned here, so nothing fires after the test
    start.setSingleShot(true);
    watchdog.setSingleShot(true);
    QObject::connect(&start, &QTimer::timeout, [this] { bar.trigger(QStringLiteral("FileQuit")); });
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    start.start(0);
    watchdog.start(3000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(timedOut);
}

} // namespace
