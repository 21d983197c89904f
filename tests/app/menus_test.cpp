// The menu bar as the user reaches it, with the mouse and with its shortcuts: File, View, Edit and
// Help with every item; File > Save creating an empty unit text file (and asking before it replaces
// one), File > Load reading one to its end, File > Quit, and Help > Product PDF Manuals.
#include "app/menubar1.h"
#include "rbframework/dialogs.h"
#include "rbframework/exceptions.h"
#include "rbframework/testseam.h"
#include "tests/common/program_fixture.h"
#include "tests/common/unanswered_fifo.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvanetest;

namespace
{

struct Entry {
    const char *name;
    const char *text;
    const char *shortcut; // the framework's notation; nil for a separator
    QKeySequence keys;
};

struct Menu {
    Entry title;
    std::vector<Entry> items;
};

const Menu menus[] = {
    {{"FileMenu", "&File", "", {}},
     {{"FileLoad", "Load", "Cmd+l", QKeySequence(Qt::CTRL | Qt::Key_L)},
      {"FileSave", "Save", "Cmd+s", QKeySequence(Qt::CTRL | Qt::Key_S)},
      {"FileQuit", "&Quit", "Cmd+Q", QKeySequence(Qt::CTRL | Qt::Key_Q)},
      {"FileAbort", "Abort", "", {}}}},
    {{"ViewMenu", "View", "", {}}, {}},
    {{"EditMenu", "&Edit", "", {}},
     {{"EditUndo", "&Undo", "Cmd+Z", QKeySequence(Qt::CTRL | Qt::Key_Z)},
      {"UntitledMenu1", "-", nullptr, {}},
      {"EditCut", "Cu&t", "Cmd+X", QKeySequence(Qt::CTRL | Qt::Key_X)},
      {"EditCopy", "&Copy", "Cmd+C", QKeySequence(Qt::CTRL | Qt::Key_C)},
      {"EditPaste", "&Paste", "Cmd+V", QKeySequence(Qt::CTRL | Qt::Key_V)},
      {"EditClear", "&Delete", "", {}},
      {"UntitledMenu0", "-", nullptr, {}},
      {"EditSelectAll", "Select &All", "Cmd+A", QKeySequence(Qt::CTRL | Qt::Key_A)}}},
    {{"HelpMenu", "Help", "", {}}, {{"Helppdf", "Product PDF Manuals", "", {}}}},
};

// Pages of the main window's tab panel.
constexpr int updatePage = 1, debugPage = 4;

class Menus : public ConnectedProgramTest
{
  protected:
    static korvane::main &w() { return mainWindow(); }
    // Keys typed in the window, made the active one: they reach the control that has its focus.
    static void press(const QKeySequence &keys, rb::Window &window = w())
    {
        QApplication::setActiveWindow(window.widget());
        QWidget *focus = window.widget()->focusWidget();
        const QKeyCombination k = keys[0];
        QTest::keyClick(focus ? focus : window.widget(), k.key(), k.keyboardModifiers());
    }
    // The MIDI window shown with View Comms, and the text typed into its field, which keeps the focus.
    static void typeInTheMidiWindow(const QString &text)
    {
        // What the program queued before (its windows' activations at start-up) is handled first, as
        // it is long before a person clicks.
        QCoreApplication::processEvents();
        click(w().kview());
        ASSERT_TRUE(QTest::qWaitForWindowActive(io().widget()));
        type(io().midistring(), text);
    }
    static QLineEdit &lineEdit(rb::TextField &field) { return *qobject_cast<QLineEdit *>(field.widget()); }
    // The Edit items that are on, as the menu shows them.
    static QStringList editItemsOn()
    {
        QStringList on;
        const rb::MenuItem &edit = w().EditMenu();
        for (int i = 0; i < edit.Count(); ++i)
            if (!edit.Item(i)->isSeparator() && edit.Item(i)->Enabled())
                on << edit.Item(i)->Name();
        return on;
    }
    rb::FolderItemPtr item(const QString &name)
    {
        return std::make_shared<rb::FolderItem>(files.filePath(name));
    }
    void write(const QString &name, const QByteArray &bytes)
    {
        QFile f(files.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray contents(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(cannot be read)");
    }

    // What the user sees of the main window that a menu command might change.
    static QStringList screen()
    {
        korvane::main &m = w();
        QStringList seen;
        for (rb::RectControl *c : std::initializer_list<rb::RectControl *>{
                 &m.kenabsw(), &m.kfile(), &m.kstart(), &m.KReset(), &m.kfactory(), &m.kclose(), &m.kabort(),
                 &m.pbar(), &m.ipaddr(), &m.ksetip()})
            seen << c->Name() + (c->Enabled() ? " on" : " off") + (c->Visible() ? " shown" : " hidden");
        seen << m.lcount().Caption() << m.DCount().Caption() << m.corerev().Caption() << m.ipaddr().Text()
             << QString::number(m.desc().ListCount()) << QString::number(m.TabPanel1().Value());
        return seen;
    }

    QTemporaryDir files;
};

TEST_F(Menus, BarShowsFileViewEditHelpWithEveryItem)
{
    rb::MenuBar &bar = korvane::MenuBar1::instance();
    auto *shown = w().widget()->findChild<QMenuBar *>();
    ASSERT_NE(shown, nullptr);
    ASSERT_EQ(bar.Count(), int(std::size(menus)));
    ASSERT_EQ(shown->actions().size(), qsizetype(std::size(menus)));

    for (int m = 0; m < int(std::size(menus)); ++m) {
        const Menu &expected = menus[m];
        SCOPED_TRACE(expected.title.name);
        rb::MenuItem &menu = *bar.Item(m);
        EXPECT_EQ(menu.Name(), expected.title.name);
        EXPECT_EQ(menu.Text(), expected.title.text);
        EXPECT_EQ(menu.KeyboardShortcut(), "");
        EXPECT_TRUE(menu.AutoEnable());
        EXPECT_EQ(shown->actions()[m], menu.action());
        EXPECT_EQ(shown->actions()[m]->text(), expected.title.text) << "'&' marks the access key";
        ASSERT_NE(menu.menu(), nullptr) << "every title opens a menu, an empty one too";
        ASSERT_EQ(menu.Count(), int(expected.items.size()));
        ASSERT_EQ(menu.menu()->actions().size(), qsizetype(expected.items.size()));

        for (int i = 0; i < menu.Count(); ++i) {
            const Entry &e = expected.items[std::size_t(i)];
            SCOPED_TRACE(e.name);
            rb::MenuItem &item = *menu.Item(i);
            EXPECT_EQ(item.Name(), e.name);
            EXPECT_EQ(item.Text(), e.text);
            EXPECT_TRUE(item.AutoEnable());
            EXPECT_EQ(menu.menu()->actions()[i], item.action());
            EXPECT_EQ(item.action()->isSeparator(), e.shortcut == nullptr);
            if (e.shortcut) {
                EXPECT_EQ(item.KeyboardShortcut(), e.shortcut);
                EXPECT_EQ(item.action()->text(), e.text);
            }
            EXPECT_EQ(item.action()->shortcut(), e.keys);
            EXPECT_EQ(bar.Lookup(QString::fromLatin1(e.name)), &item);
        }
    }

    EXPECT_NE(dynamic_cast<rb::QuitMenuItem *>(bar.Lookup("FileQuit")), nullptr);
    EXPECT_EQ(dynamic_cast<rb::QuitMenuItem *>(bar.Lookup("FileLoad")), nullptr);

    // The window's accessors answer the same items.
    korvane::main &m = w();
    const std::pair<rb::MenuItem *, const char *> accessors[] = {
        {&m.HelpMenu(), "HelpMenu"},
        {&m.Helppdf(), "Helppdf"},
        {&m.EditMenu(), "EditMenu"},
        {&m.EditSelectAll(), "EditSelectAll"},
        {&m.UntitledMenu0(), "UntitledMenu0"},
        {&m.EditClear(), "EditClear"},
        {&m.EditPaste(), "EditPaste"},
        {&m.EditCopy(), "EditCopy"},
        {&m.EditCut(), "EditCut"},
        {&m.UntitledMenu1(), "UntitledMenu1"},
        {&m.EditUndo(), "EditUndo"},
        {&m.ViewMenu(), "ViewMenu"},
        {&m.FileMenu(), "FileMenu"},
        {&m.FileAbort(), "FileAbort"},
        {&m.FileQuit(), "FileQuit"},
        {&m.FileSave(), "FileSave"},
        {&m.FileLoad(), "FileLoad"},
    };
    for (const auto &[found, name] : accessors)
        EXPECT_EQ(found, bar.Lookup(QString::fromLatin1(name))) << name;
}

TEST_F(Menus, ViewOpensEmptyAndEachFileItemIsOn)
{
    rb::MenuBar &bar = korvane::MenuBar1::instance();
    auto *shown = w().widget()->findChild<QMenuBar *>();
    QApplication::setActiveWindow(w().widget());
    rb::MenuItem &view = *bar.Child("ViewMenu");
    QTest::mouseClick(shown, Qt::LeftButton, {}, shown->actionGeometry(view.action()).center());
    EXPECT_TRUE(view.menu()->isVisible());
    EXPECT_TRUE(view.menu()->actions().isEmpty());
    QTest::keyClick(view.menu(), Qt::Key_Escape);
    EXPECT_FALSE(view.menu()->isVisible());

    rb::MenuItem &file = *bar.Child("FileMenu");
    QTest::mouseClick(shown, Qt::LeftButton, {}, shown->actionGeometry(file.action()).center());
    ASSERT_TRUE(file.menu()->isVisible());
    for (const char *name : {"FileLoad", "FileSave", "FileQuit", "FileAbort"})
        EXPECT_TRUE(bar.Lookup(name)->Enabled()) << name << " has a handler";
    QTest::keyClick(file.menu(), Qt::Key_Escape);
}

TEST_F(Menus, SaveCreatesAnEmptyUnitTextFile)
{
    const struct {
        const char *what;
        const char *chosen;
        const char *existing; // content before, nil: no such file
        const char *created;  // nil: nothing is created
    } cases[] = {
        {"a new file", "unit.vot", nullptr, "unit.vot"},
        {"onto an existing file", "full.vot", "key\nvalue\n", "full.vot"},
        {"a name without .vot", "plain", nullptr, "plain.vot"},
        {"in a folder that does not exist", "missing/unit.vot", nullptr, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.existing)
            write(c.chosen, c.existing);
        const QStringList before = screen();
        rb::testseam::reset();
        rb::testseam::answerNextDialog(item(c.chosen));
        chooseMenuItem(w(), "FileSave");

        ASSERT_EQ(rb::testseam::shownDialogs().size(), 1u);
        EXPECT_TRUE(rb::testseam::shownDialogs()[0].saving);
        EXPECT_EQ(rb::testseam::shownDialogs()[0].suggestedFileName, "VRQ1.vot");
        if (c.created) {
            EXPECT_TRUE(QFile::exists(files.filePath(c.created)));
            EXPECT_EQ(contents(files.filePath(c.created)), QByteArray());
            EXPECT_EQ(openHandles(files.filePath(c.created)), 0);
        }
        if (!c.created || QString(c.created) != c.chosen) {
            EXPECT_FALSE(QFile::exists(files.filePath(c.chosen))) << "nothing under the name as chosen";
        }
        EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
        EXPECT_EQ(screen(), before);
    }
    EXPECT_TRUE(framesSent().empty());
}

TEST_F(Menus, LoadReadsTheFileToItsEndAndChangesNothing)
{
    QByteArray big;
    for (int i = 0; i < 20000; ++i)
        big += "line " + QByteArray::number(i) + (i % 3 ? "\n" : "\r\n");
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary += char(i * 7);
    write("empty.vot", "");
    write("lines.vot", "key\nvalue\r\nlast line without an end");
    write("big.vot", big);
    write("binary.vot", binary);
    QDir(files.path()).mkdir("folder.vot");

    const char *chosen[] = {"empty.vot", "lines.vot", "big.vot", "binary.vot", "folder.vot", "absent.vot"};
    for (const char *name : chosen) {
        SCOPED_TRACE(name);
        const QString path = files.filePath(name);
        const QByteArray before = contents(path);
        const QStringList seen = screen();
        rb::testseam::reset();
        rb::testseam::answerNextDialog(item(name));
        chooseMenuItem(w(), "FileLoad");

        ASSERT_EQ(rb::testseam::shownDialogs().size(), 1u);
        EXPECT_FALSE(rb::testseam::shownDialogs()[0].saving);
        EXPECT_EQ(contents(path), before) << "the file is left as it was";
        EXPECT_EQ(openHandles(path), 0) << "and closed";
        EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
        EXPECT_EQ(screen(), seen);
    }
    EXPECT_FALSE(QFile::exists(files.filePath("absent.vot")));
    EXPECT_TRUE(framesSent().empty());
}

// A file with no line break, longer than any line should be held in memory.
TEST_F(Menus, LoadReadsALineOfAnyLengthInBoundedMemory)
{
    const QString path = files.filePath("endless.vot");
    {
        // A hole, which reads as NUL bytes and takes no room on the disk.
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(qint64(128) << 20));
    }
    const auto peakKiB = [] {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    const long before = peakKiB();
    rb::testseam::answerNextDialog(item("endless.vot"));
    chooseMenuItem(w(), "FileLoad");
    EXPECT_LT(peakKiB() - before, 16 * 1024) << "KiB more at the peak of memory";
    EXPECT_EQ(openHandles(path), 0);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
}

// A folder named by bytes that are no UTF-8 text, as the settings folder may be.
TEST_F(Menus, SaveWritesIntoAFolderWhoseNameIsNoUtf8)
{
    const QByteArray folder = QFile::encodeName(files.path()) + "/caf\xE9";
    qputenv("XDG_CONFIG_HOME", folder);
    rb::testseam::answerNextDialog(rb::deref(rb::SpecialFolder::ApplicationData()).Child("unit.vot"));
    chooseMenuItem(w(), "FileSave");

    const QByteArray saved = folder + "/unit.vot";
    struct stat st {
    };
    EXPECT_EQ(::stat(saved.constData(), &st), 0) << "created in that folder";
    EXPECT_EQ(st.st_size, 0);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
    // Removed here: QTemporaryDir reads names as text, and cannot remove one that is no UTF-8.
    ::remove(saved.constData());
    ::rmdir(folder.constData());
    EXPECT_TRUE(QDir(files.path()).isEmpty()) << "no other folder was made";
}

TEST_F(Menus, CancelledSaveAndLoadChangeAndShowNothing)
{
    const QStringList before = screen();
    for (const char *command : {"FileSave", "FileLoad"}) {
        SCOPED_TRACE(command);
        rb::testseam::reset();
        rb::testseam::answerNextDialog(nullptr);
        chooseMenuItem(w(), command);
        EXPECT_EQ(rb::testseam::shownDialogs().size(), 1u);
        EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
        EXPECT_EQ(screen(), before);
    }
    EXPECT_TRUE(QDir(files.path()).isEmpty());
    EXPECT_TRUE(framesSent().empty());
}

TEST_F(Menus, TheWindowsFileCommandsClaimTheirItems)
{
    // An application handler under the same names would run only for a command the window's
    // handler left unhandled.
    QStringList fellThrough;
    for (const char *name : {"FileLoad", "FileSave", "FileAbort"})
        rb::MenuBar::handle(QString::fromLatin1(name), [&fellThrough, name] {
            fellThrough << name;
            return true;
        });
    rb::testseam::answerNextDialog(nullptr);
    chooseMenuItem(w(), "FileLoad");
    rb::testseam::answerNextDialog(nullptr);
    chooseMenuItem(w(), "FileSave");
    chooseMenuItem(w(), "FileAbort");
    EXPECT_TRUE(fellThrough.isEmpty()) << fellThrough.join(", ").toStdString();
    EXPECT_EQ(w().lcount().Caption(), "Aborted");
    EXPECT_EQ(rb::testseam::shownDialogs().size(), 2u);
}

// The bar's shortcuts work whichever of the program's windows is active: in the MIDI window,
// typed in its field, too.
TEST_F(Menus, ShortcutsLoadAndSaveOpenTheirDialogs)
{
    const struct {
        QKeySequence keys;
        bool saving;
    } cases[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_L), false},
        {QKeySequence(Qt::CTRL | Qt::Key_S), true},
    };
    for (const bool inMidiWindow : {false, true}) {
        SCOPED_TRACE(inMidiWindow ? "in the MIDI window" : "in the main window");
        if (inMidiWindow) {
            ASSERT_NO_FATAL_FAILURE(typeInTheMidiWindow("F0 7E"));
        }
        rb::Window &window = inMidiWindow ? static_cast<rb::Window &>(io()) : w();
        for (const auto &c : cases) {
            SCOPED_TRACE(c.keys.toString().toStdString());
            rb::testseam::reset();
            press(c.keys, window);
            ASSERT_EQ(rb::testseam::shownDialogs().size(), 1u);
            EXPECT_EQ(rb::testseam::shownDialogs()[0].saving, c.saving);
            EXPECT_EQ(rb::testseam::shownDialogs()[0].title, "Select a VRQ-1 file");
        }
    }
    EXPECT_EQ(io().midistring().Text(), "F0 7E");
}

TEST_F(Menus, QuitByShortcutAndByMenuQuitsTheProgram)
{
    const struct {
        const char *how;
        std::function<void()> quit;
    } cases[] = {
        {"Ctrl+Q in the main window", [] { press(QKeySequence(Qt::CTRL | Qt::Key_Q)); }},
        {"Ctrl+Q in the MIDI window's field",
         [] {
             ASSERT_NO_FATAL_FAILURE(typeInTheMidiWindow("F0"));
             press(QKeySequence(Qt::CTRL | Qt::Key_Q), io());
         }},
        {"File > Quit", [] { chooseMenuItem(w(), "FileQuit"); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.how);
        c.quit();
        // Under test the event loop is not running yet: it ends as soon as it runs.
        EXPECT_EQ(exitCodeOfTheLoop(), 0) << "the program did not quit";
    }
}

// A text field's own editing keys stay the field's, in either window: the bar's shortcuts on the
// same keys neither take them nor make them ambiguous.
TEST_F(Menus, TextFieldsKeepTheirOwnEditingKeys)
{
    const struct {
        QKeySequence keys;
        QString text, selected; // the field's afterwards
    } steps[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_A), "F0 7E", "F0 7E"},
        {QKeySequence(Qt::CTRL | Qt::Key_C), "F0 7E", "F0 7E"},
        {QKeySequence(Qt::CTRL | Qt::Key_X), "", ""},
        {QKeySequence(Qt::CTRL | Qt::Key_V), "F0 7E", ""},
        {QKeySequence(Qt::CTRL | Qt::Key_Z), "", ""},
    };
    chooseTab(w().TabPanel1(), debugPage);
    for (rb::TextField *field : {&w().dbugaddr(), &io().midistring()}) {
        SCOPED_TRACE(field->Name().toStdString());
        if (field == &io().midistring()) {
            ASSERT_NO_FATAL_FAILURE(typeInTheMidiWindow("F0 7E"));
        } else {
            type(*field, "F0 7E");
        }
        QGuiApplication::clipboard()->clear();
        for (const auto &step : steps) {
            SCOPED_TRACE(step.keys.toString().toStdString());
            press(step.keys, rb::deref(rb::Window::of(field->widget())));
            EXPECT_EQ(field->Text(), step.text);
            EXPECT_EQ(lineEdit(*field).selectedText(), step.selected);
        }
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "F0 7E");
    }
}

// The main window's Edit menu works on the main window's field, never on the MIDI window's, though
// that one has the focus: a click on the menu bar of the inactive main window comes in before the
// window becomes the active one. Which items are on follows the main window's field alike.
TEST_F(Menus, TheMainWindowsEditMenuEditsTheMainWindowsField)
{
    ASSERT_NO_FATAL_FAILURE(typeInTheMidiWindow("F0 7E 7F"));
    QApplication::setActiveWindow(w().widget());
    chooseTab(w().TabPanel1(), debugPage);
    type(w().dbugaddr(), "1A2B");
    QApplication::setActiveWindow(io().widget());
    click(io().midistring());
    press(QKeySequence(Qt::CTRL | Qt::Key_A), io()); // the MIDI window's text selected
    QGuiApplication::clipboard()->setText("C3");

    const struct {
        const char *command;
        QStringList on;         // the items on as the menu opens
        QString text, selected; // the main window's field afterwards
    } steps[] = {
        {"EditSelectAll", {"EditUndo", "EditPaste", "EditSelectAll"}, "1A2B", "1A2B"},
        {"EditCopy",
         {"EditUndo", "EditCut", "EditCopy", "EditPaste", "EditClear", "EditSelectAll"},
         "1A2B",
         "1A2B"},
        {"EditClear", {"EditUndo", "EditCut", "EditCopy", "EditPaste", "EditClear", "EditSelectAll"}, "", ""},
        {"EditPaste", {"EditUndo", "EditPaste"}, "1A2B", ""},
        {"EditUndo", {"EditUndo", "EditPaste", "EditSelectAll"}, "", ""},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.command);
        QApplication::setActiveWindow(io().widget());
        ASSERT_EQ(QApplication::focusWidget(), io().midistring().widget());
        ASSERT_NO_FATAL_FAILURE(openMenu(w(), w().EditMenu()));
        EXPECT_EQ(editItemsOn(), step.on);
        ASSERT_NO_FATAL_FAILURE(clickMenuItem(*w().EditMenu().Child(step.command)));
        EXPECT_EQ(w().dbugaddr().Text(), step.text);
        EXPECT_EQ(lineEdit(w().dbugaddr()).selectedText(), step.selected);
        EXPECT_EQ(io().midistring().Text(), "F0 7E 7F") << "the MIDI window's field changed";
        EXPECT_EQ(lineEdit(io().midistring()).selectedText(), "F0 7E 7F");
    }
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "1A2B");

    // A shortcut acts in the window it is typed in: with the focus on the MIDI window's Send key,
    // Ctrl+X cuts nothing, and the main window's selected text stays.
    press(QKeySequence(Qt::CTRL | Qt::Key_V));
    press(QKeySequence(Qt::CTRL | Qt::Key_A));
    ASSERT_EQ(lineEdit(w().dbugaddr()).selectedText(), "1A2B");
    press(QKeySequence(Qt::Key_Tab), io());
    ASSERT_EQ(QApplication::focusWidget(), io().sendmidi().widget());
    press(QKeySequence(Qt::CTRL | Qt::Key_X), io());
    EXPECT_EQ(w().dbugaddr().Text(), "1A2B");
    EXPECT_EQ(io().midistring().Text(), "F0 7E 7F");
    EXPECT_TRUE(framesSent().empty());
}

// Edit > Delete removes the selection and nothing else: with nothing selected it is off, and a
// click on it changes nothing.
TEST_F(Menus, DeleteRemovesOnlyTheSelection)
{
    const struct {
        const char *what;
        int page;
        rb::RectControl &control;
        std::function<QString()> text;
        QKeySequence toStart, toEnd; // of the whole text
    } controls[] = {
        {"a text field", debugPage, w().dbugaddr(), [] { return w().dbugaddr().Text(); },
         QKeySequence(Qt::Key_Home), QKeySequence(Qt::Key_End)},
        {"a text area", updatePage, w().TextArea2(), [] { return w().TextArea2().Text(); },
         QKeySequence(Qt::CTRL | Qt::Key_Home), QKeySequence(Qt::CTRL | Qt::Key_End)},
    };
    const struct {
        const char *what;
        bool fromStart; // the cursor at the start, else at the end
        int selected;   // characters before the cursor, selected with Shift+Left
    } cases[] = {
        {"nothing selected, the cursor at the start", true, 0},
        {"the last three characters selected", false, 3},
    };
    chooseTab(w().TabPanel1(), debugPage);
    type(w().dbugaddr(), "1A2B3C");
    rb::MenuItem &clear = *w().EditMenu().Child("EditClear");
    for (const auto &control : controls) {
        SCOPED_TRACE(control.what);
        for (const auto &c : cases) {
            SCOPED_TRACE(c.what);
            chooseTab(w().TabPanel1(), control.page);
            click(control.control);
            press(c.fromStart ? control.toStart : control.toEnd);
            for (int i = 0; i < c.selected; ++i)
                press(QKeySequence(Qt::SHIFT | Qt::Key_Left));
            const QString before = control.text();
            ASSERT_GE(before.size(), 3);
            ASSERT_NO_FATAL_FAILURE(openMenu(w(), w().EditMenu()));
            EXPECT_EQ(clear.Enabled(), c.selected > 0);
            ASSERT_NO_FATAL_FAILURE(clickMenuItem(clear));
            if (w().EditMenu().menu()->isVisible())
                QTest::keyClick(w().EditMenu().menu(), Qt::Key_Escape);
            EXPECT_EQ(control.text(), before.chopped(c.selected));
        }
    }
}

TEST_F(Menus, ProductPdfManualsOpensTheChosenPdf)
{
    // The application's Help handler, registered as start-up registers it.
    rb::MenuBar::handle("Helppdf", [this] { return app._Helppdf_Action(); });
    write("manual.pdf", "%PDF-1.4\n");

    rb::testseam::answerNextDialog(item("manual.pdf"));
    chooseMenuItem(w(), "Helppdf");
    ASSERT_EQ(rb::testseam::shownDialogs().size(), 1u);
    EXPECT_FALSE(rb::testseam::shownDialogs()[0].saving);
    EXPECT_EQ(rb::testseam::shownDialogs()[0].title, "Select a pdf file");
    EXPECT_TRUE(rb::testseam::shownDialogs()[0].filter.contains("*.pdf"));
    EXPECT_EQ(rb::testseam::launchedDocuments(), QStringList{files.filePath("manual.pdf")});

    // Cancelled, or a file that is not there: nothing is opened.
    rb::testseam::answerNextDialog(nullptr);
    chooseMenuItem(w(), "Helppdf");
    rb::testseam::answerNextDialog(item("absent.pdf"));
    chooseMenuItem(w(), "Helppdf");
    EXPECT_EQ(rb::testseam::shownDialogs().size(), 3u);
    EXPECT_EQ(rb::testseam::launchedDocuments().size(), 1);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
}

TEST_F(Menus, SaveAsksBeforeReplacingTheFileItWillWrite)
{
    const QString question = "\"notes.vot\" already exists. Do you want to replace it?";
    const struct {
        const char *what;
        std::vector<const char *> typed; // the name typed in each dialog shown; nil: cancelled
        std::vector<int> answers;        // to the question
        bool replaced;                   // notes.vot emptied
        const char *created;             // another file made, nil: none
    } cases[] = {
        {"typed without .vot, replacing declined, then cancelled",
         {"notes", nullptr},
         {rb::MsgBoxAnswer::No},
         false,
         nullptr},
        {"typed without .vot, replacing declined, then another name",
         {"notes", "other"},
         {rb::MsgBoxAnswer::No},
         false,
         "other.vot"},
        {"typed without .vot, replacing accepted", {"notes"}, {rb::MsgBoxAnswer::Yes}, true, nullptr},
        {"typed without .vot, the question closed", {"notes", nullptr}, {}, false, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        write("notes.vot", "kept\n");
        QFile::remove(files.filePath("other.vot"));
        rb::testseam::reset();
        for (const char *name : c.typed)
            rb::testseam::answerNextDialog(name ? item(name) : nullptr);
        for (int answer : c.answers)
            rb::testseam::answerNextMsgBox(answer);
        bool yesNoOnScreen = false;
        rb::testseam::onMsgBox([&yesNoOnScreen](const QString &) {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            yesNoOnScreen =
                box && box->standardButtons() == (QMessageBox::Yes | QMessageBox::No) &&
                static_cast<QAbstractButton *>(box->defaultButton()) == box->button(QMessageBox::No);
        });
        chooseMenuItem(w(), "FileSave");

        EXPECT_EQ(rb::testseam::shownMessages(), QStringList{question});
        EXPECT_TRUE(yesNoOnScreen) << "asked with Yes and No, No the default";
        EXPECT_EQ(rb::testseam::shownDialogs().size(), c.typed.size());
        EXPECT_EQ(contents(files.filePath("notes.vot")), c.replaced ? "" : "kept\n");
        EXPECT_FALSE(QFile::exists(files.filePath("notes"))) << "nothing under the name as typed";
        if (c.created)
            EXPECT_EQ(contents(files.filePath(c.created)), "");
        else
            EXPECT_FALSE(QFile::exists(files.filePath("other.vot")));
    }

    // Nothing to replace, or a name holding ".vot", which the dialog itself asked about: no question.
    for (const char *typed : {"fresh", "notes.vot"}) {
        SCOPED_TRACE(typed);
        rb::testseam::reset();
        rb::testseam::answerNextDialog(item(typed));
        chooseMenuItem(w(), "FileSave");
        EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
    }
    EXPECT_EQ(contents(files.filePath("fresh.vot")), "");
    EXPECT_EQ(contents(files.filePath("notes.vot")), "");
}

TEST_F(Menus, ProductPdfManualsSaysWhenTheSystemCannotOpenTheManual)
{
    rb::MenuBar::handle("Helppdf", [this] { return app._Helppdf_Action(); });
    write("manual.pdf", "%PDF-1.4\n");
    rb::testseam::failLaunches(true); // no application for PDF files

    rb::testseam::answerNextDialog(item("manual.pdf"));
    chooseMenuItem(w(), "Helppdf");
    EXPECT_EQ(rb::testseam::launchedDocuments(), QStringList{files.filePath("manual.pdf")});
    EXPECT_EQ(rb::testseam::shownMessages(),
              QStringList{"The manual \"" + files.filePath("manual.pdf") + "\" could not be opened."});
}

// Without a window manager nothing makes the main window active again once a dialog has closed;
// its menus still answer for it.
TEST_F(Menus, TheWindowsItemsStayOnAfterAFileChooserCloses)
{
    rb::testseam::answerNextDialog(nullptr);
    chooseMenuItem(w(), "FileLoad");
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), nullptr) << "the chooser left no window active";

    rb::MenuItem &file = *korvane::MenuBar1::instance().Child("FileMenu");
    auto *shown = w().widget()->findChild<QMenuBar *>();
    QTest::mouseClick(shown, Qt::LeftButton, {}, shown->actionGeometry(file.action()).center());
    ASSERT_TRUE(file.menu()->isVisible());
    for (const char *name : {"FileLoad", "FileSave", "FileAbort"})
        EXPECT_TRUE(file.Child(name)->Enabled()) << name;

    rb::testseam::reset();
    rb::testseam::answerNextDialog(nullptr);
    rb::MenuItem &save = *file.Child("FileSave");
    QTest::mouseClick(file.menu(), Qt::LeftButton, {}, file.menu()->actionGeometry(save.action()).center());
    EXPECT_EQ(rb::testseam::shownDialogs().size(), 1u) << "File > Save ran for the main window";
}

TEST_F(Menus, LoadAndSaveNeverWaitOnANamedPipe)
{
    for (const char *command : {"FileLoad", "FileSave"}) {
        SCOPED_TRACE(command);
        const QString name = QString::fromLatin1(command) + ".vot";
        UnansweredFifo pipe(files.filePath(name));
        const QStringList before = screen();
        rb::testseam::reset();
        rb::testseam::answerNextDialog(item(name));
        chooseMenuItem(w(), command);
        EXPECT_FALSE(pipe.blockedSomeone()) << "the command waited on the pipe";
        EXPECT_TRUE(rb::testseam::shownMessages().isEmpty()) << "a file that cannot be opened";
        EXPECT_EQ(screen(), before);
        EXPECT_FALSE(QFileInfo(files.filePath(name)).isFile()) << "the pipe is left as it was";
    }
}

} // namespace
