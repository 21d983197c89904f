// The main window as the user first sees it: a fixed window without close box, minimise or zoom,
// the five tabs, every control at its place in its container with its caption, text, state and
// style, and the keyboard focus order.
#include "app/menubar1.h"
#include "tests/common/program_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>
#include <QWidget>
#include <functional>

using namespace korvanetest;
using korvane::vokey;

namespace
{

enum Page { Connect, UpdateSW, Help, SetIP, Debug, NoPage = -1 };

template <typename T> bool isA(const rb::RectControl &c)
{
    return dynamic_cast<const T *>(&c) != nullptr;
}

// One control of the window's design: kind, container (empty: the window), tab page, place and
// size in window coordinates, and place in its container's focus order (-1: none).
struct Place {
    const char *name;
    bool (*kind)(const rb::RectControl &);
    const char *parent;
    Page page;
    int left, top, width, height;
    int focus;
};

const Place places[] = {
    {"TabPanel1", isA<rb::TabPanel>, "", NoPage, 12, 0, 503, 449, 0},
    {"dlbox", isA<rb::GroupBox>, "TabPanel1", UpdateSW, 22, 277, 484, 151, 2},
    {"kenabsw", isA<rb::PushButton>, "dlbox", UpdateSW, 29, 298, 60, 18, 0},
    {"kfile", isA<rb::PushButton>, "dlbox", UpdateSW, 103, 298, 60, 18, 1},
    {"KReset", isA<rb::PushButton>, "dlbox", UpdateSW, 433, 298, 60, 18, 2},
    {"kstart", isA<rb::PushButton>, "dlbox", UpdateSW, 178, 298, 60, 18, 6},
    {"desc", isA<rb::Listbox>, "dlbox", UpdateSW, 33, 321, 460, 43, 9},
    {"Label1", isA<rb::Label>, "dlbox", UpdateSW, 29, 371, 95, 20, 10},
    {"DCount", isA<rb::Label>, "dlbox", UpdateSW, 241, 371, 98, 20, 11},
    {"pbar", isA<rb::ProgressBar>, "dlbox", UpdateSW, 30, 394, 468, 20, -1},
    {"lcount", isA<rb::Label>, "dlbox", UpdateSW, 388, 371, 105, 20, 12},
    {"kfactory", isA<rb::PushButton>, "dlbox", UpdateSW, 302, 298, 119, 18, 14},
    {"ProgressWheel1", isA<rb::ProgressWheel>, "TabPanel1", Connect, 291, 378, 18, 20, 6},
    {"Label2", isA<rb::Label>, "TabPanel1", Help, 23, 48, 372, 349, 0},
    {"dbugaddr", isA<rb::TextField>, "TabPanel1", Debug, 69, 71, 65, 22, 0},
    {"dbuglen", isA<rb::PopupMenu>, "TabPanel1", Debug, 147, 70, 59, 20, 1},
    {"Label4", isA<rb::Label>, "TabPanel1", Debug, 46, 71, 14, 20, 2},
    {"GroupBox1", isA<rb::GroupBox>, "TabPanel1", Connect, 21, 27, 476, 72, 14},
    {"showmidi", isA<vokey>, "GroupBox1", Connect, 34, 56, 450, 25, 0},
    {"GroupBox5", isA<rb::GroupBox>, "TabPanel1", Connect, 21, 260, 405, 113, 17},
    {"corerev", isA<rb::Label>, "GroupBox5", Connect, 43, 308, 266, 16, 0},
    {"mainrev", isA<rb::Label>, "GroupBox5", Connect, 43, 286, 266, 16, 1},
    {"kreadeprom", isA<rb::PushButton>, "GroupBox5", Connect, 315, 326, 71, 34, 2},
    {"TextArea2", isA<rb::TextArea>, "TabPanel1", UpdateSW, 22, 43, 484, 228, 6},
    {"GroupBox9", isA<rb::GroupBox>, "TabPanel1", SetIP, 21, 309, 486, 129, 0},
    {"TextArea3", isA<rb::TextArea>, "GroupBox9", SetIP, 29, 331, 462, 100, 0},
    {"GroupBox10", isA<rb::GroupBox>, "TabPanel1", SetIP, 163, 60, 203, 91, 1},
    {"ipaddr", isA<rb::TextField>, "GroupBox10", SetIP, 184, 103, 164, 26, 0},
    {"kreadip", isA<rb::PushButton>, "TabPanel1", SetIP, 124, 199, 80, 44, 2},
    {"ksetip", isA<rb::PushButton>, "TabPanel1", SetIP, 325, 198, 80, 45, 3},
    {"kclose", isA<rb::PushButton>, "", NoPage, 428, 462, 80, 20, 1},
    {"kabort", isA<vokey>, "", NoPage, 12, 463, 82, 20, 4},
    {"kview", isA<rb::BevelButton>, "", NoPage, 205, 461, 97, 22, 5},
};

// Every accessor, in the order of the table above.
std::vector<rb::RectControl *> accessors(const korvane::main &w)
{
    return {&w.TabPanel1(), &w.dlbox(),      &w.kenabsw(),        &w.kfile(),     &w.KReset(),
            &w.kstart(),    &w.desc(),       &w.Label1(),         &w.DCount(),    &w.pbar(),
            &w.lcount(),    &w.kfactory(),   &w.ProgressWheel1(), &w.Label2(),    &w.dbugaddr(),
            &w.dbuglen(),   &w.Label4(),     &w.GroupBox1(),      &w.showmidi(),  &w.GroupBox5(),
            &w.corerev(),   &w.mainrev(),    &w.kreadeprom(),     &w.TextArea2(), &w.GroupBox9(),
            &w.TextArea3(), &w.GroupBox10(), &w.ipaddr(),         &w.kreadip(),   &w.ksetip(),
            &w.kclose(),    &w.kabort(),     &w.kview()};
}

// What a control shows as its caption or text.
QString shownText(const rb::RectControl &c)
{
    if (auto *b = dynamic_cast<const rb::ButtonControl *>(&c))
        return b->Caption();
    if (auto *l = dynamic_cast<const rb::Label *>(&c))
        return l->Text();
    if (auto *g = dynamic_cast<const rb::GroupBox *>(&c))
        return g->Caption();
    if (auto *f = dynamic_cast<const rb::TextField *>(&c))
        return f->Text();
    if (auto *k = dynamic_cast<const vokey *>(&c))
        return k->caption;
    return QString();
}

class MainWindowLayout : public ProgramTest
{
  protected:
    rb::RectControl &control(const char *name)
    {
        rb::RectControl *c = mainWindow().Control(QString::fromLatin1(name));
        if (!c)
            throw std::runtime_error(std::string("no control ") + name);
        return *c;
    }
};

TEST_F(MainWindowLayout, FixedWindowKorvaneWithoutCloseBoxMinimiseOrZoom)
{
    openProgram();
    korvane::main &w = mainWindow();
    QWidget *top = w.widget();
    EXPECT_EQ(w.Title(), "Korvane");
    EXPECT_EQ(top->windowTitle(), "Korvane");
    EXPECT_EQ(w.Width(), 528);
    EXPECT_EQ(w.Height(), 494);
    EXPECT_EQ(w.contentWidget()->size(), QSize(528, 494));
    EXPECT_TRUE(w.Visible());

    const Qt::WindowFlags flags = top->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(top->minimumSize(), top->maximumSize()) << "the window cannot be resized";

    // The menu bar is the program's one bar, shown above the content.
    EXPECT_EQ(w.MenuBar(), &korvane::MenuBar1::instance());
    auto *bar = top->findChild<QMenuBar *>();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(w.contentWidget()->y(), bar->height());

    // The user can neither close nor resize it.
    const QSize before = top->size();
    EXPECT_FALSE(top->close());
    EXPECT_TRUE(w.Visible());
    top->resize(before + QSize(100, 100));
    EXPECT_EQ(top->size(), before);
    EXPECT_EQ(w.Width(), 528);
}

TEST_F(MainWindowLayout, FiveTabsOpeningOnConnect)
{
    openProgram();
    rb::TabPanel &tabs = mainWindow().TabPanel1();
    ASSERT_EQ(tabs.TabCount(), 5);
    const QStringList captions{"Connect", "Update S/W", "Help", "Set IP", "Debug"};
    for (int page = 0; page < 5; ++page)
        EXPECT_EQ(tabs.Caption(page), captions[page]);
    EXPECT_EQ(tabs.Value(), Connect);
    EXPECT_TRUE(tabs.Enabled());

    chooseTab(tabs, Debug);
    chooseTab(tabs, Connect);
}

TEST_F(MainWindowLayout, EveryControlAtItsPlaceInItsContainer)
{
    openProgram();
    korvane::main &w = mainWindow();
    const std::vector<rb::RectControl *> byAccessor = accessors(w);
    ASSERT_EQ(byAccessor.size(), std::size(places));

    for (std::size_t i = 0; i < std::size(places); ++i) {
        const Place &p = places[i];
        SCOPED_TRACE(p.name);
        rb::RectControl &c = control(p.name);
        EXPECT_EQ(&c, byAccessor[i]) << "the accessor answers the control of that name";
        EXPECT_EQ(c.Name(), p.name);
        EXPECT_TRUE(p.kind(c)) << "kind";
        EXPECT_EQ(c.Parent(), *p.parent ? &control(p.parent) : nullptr);
        EXPECT_EQ(c.Left(), p.left);
        EXPECT_EQ(c.Top(), p.top);
        EXPECT_EQ(c.Width(), p.width);
        EXPECT_EQ(c.Height(), p.height);
        EXPECT_TRUE(c.widget()->parentWidget()->rect().contains(c.widget()->geometry())) << "not cut off";
        if (p.focus >= 0) {
            EXPECT_EQ(c.TabIndex(), p.focus);
        }
    }

    // Each tab shows the containers of its own controls and of no others; the controls outside
    // the panel show whatever tab is open.
    for (int page = Connect; page <= Debug; ++page) {
        chooseTab(w.TabPanel1(), page);
        for (const Place &p : places) {
            if (p.page == NoPage && !*p.parent)
                continue;
            SCOPED_TRACE(std::string(p.name) + " with tab " + std::to_string(page) + " open");
            EXPECT_EQ(control(p.name).widget()->parentWidget()->isVisible(), p.page == page);
        }
        for (const char *outside : {"kclose", "kview"})
            EXPECT_TRUE(control(outside).widget()->isVisible()) << outside;
    }
}

// A control's caption or text, enabled and visible setting as the window opens.
struct Initial {
    const char *name;
    const char *text;
    bool enabled, visible;
};

const Initial initials[] = {
    {"dlbox", "Update Firmware", true, true},
    {"kenabsw", "Enable", true, true},
    {"kfile", "File", false, true},
    {"KReset", "Reset", false, true},
    {"kstart", "Start", false, true},
    {"desc", "", true, true},
    {"Label1", "Byte Count", true, true},
    {"DCount", "0", true, true},
    {"pbar", "", true, false},
    {"lcount", "0", true, true},
    {"kfactory", "Factory reset", false, true},
    {"ProgressWheel1", "", true, false},
    {"dbugaddr", "", true, true},
    {"dbuglen", "", true, true},
    {"Label4", "$", true, true},
    {"GroupBox1", "Midi Port", true, true},
    {"showmidi", "Caption", true, true},
    {"GroupBox5", "S/W Revision", true, true},
    {"corerev", "?.?", true, true},
    {"mainrev", "?.?", true, true},
    {"kreadeprom", "Read", true, true},
    {"GroupBox9", "Notes", true, true},
    {"GroupBox10", "IP Address", true, true},
    {"ipaddr", "000.000.000.000", false, true},
    {"kreadip", "Read", true, true},
    {"ksetip", "Set", false, true},
    {"kclose", "Close", true, true},
    {"kabort", "Caption", true, false},
    {"kview", "View Comms", true, true},
};

TEST_F(MainWindowLayout, InitialCaptionsAndStates)
{
    korvane::main &w = mainWindow(); // made, not yet opened: the design as it stands
    for (const Initial &i : initials) {
        SCOPED_TRACE(i.name);
        rb::RectControl &c = control(i.name);
        EXPECT_EQ(shownText(c), QString::fromLatin1(i.text));
        EXPECT_EQ(c.Enabled(), i.enabled);
        EXPECT_EQ(c.Visible(), i.visible);
        EXPECT_EQ(c.HelpTag(), "");
    }

    EXPECT_EQ(w.desc().ListCount(), 0);
    EXPECT_FALSE(w.desc().HasHeading());
    EXPECT_EQ(w.pbar().Value(), 0);
    EXPECT_EQ(w.pbar().Maximum(), 100);
    ASSERT_EQ(w.dbuglen().ListCount(), 5);
    const QStringList rows{"Off", "1", "2", "3", "4"};
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(w.dbuglen().List(row), rows[row]);
    EXPECT_EQ(w.dbuglen().ListIndex(), 0);
    EXPECT_EQ(w.dbuglen().Text(), "Off");
    EXPECT_EQ(w.f, nullptr);
    EXPECT_EQ(w.enabdelay, 0);

    for (vokey *key : {&w.showmidi(), &w.kabort()}) {
        SCOPED_TRACE(key->Name().toStdString());
        EXPECT_EQ(key->litcolor, 0x80FF80u);
        EXPECT_EQ(key->rad, 6);
        EXPECT_TRUE(key->Bold);
        EXPECT_TRUE(key->border);
        EXPECT_EQ(key->textsize, 0);
        EXPECT_EQ(key->Textfont, "System");
    }

    // The timer ticks every 50 ms, repeatedly, from the start.
    EXPECT_EQ(w.Timer1().Name(), "Timer1");
    EXPECT_EQ(w.Timer1().Mode(), rb::Timer::ModeMultiple);
    EXPECT_EQ(w.Timer1().Period(), 50);
    EXPECT_TRUE(w.Timer1().Enabled());
}

TEST_F(MainWindowLayout, TextStyles)
{
    korvane::main &w = mainWindow();
    // Only the byte count and the position are bold; only the address field has a size of its own.
    for (const Place &p : places) {
        SCOPED_TRACE(p.name);
        rb::RectControl &c = control(p.name);
        if (!isA<vokey>(c)) { // a key's Bold is its own drawing setting
            EXPECT_EQ(c.Bold(), p.name == std::string("DCount") || p.name == std::string("lcount"));
        }
        EXPECT_FALSE(c.Italic());
        EXPECT_FALSE(c.Underline());
        EXPECT_EQ(c.TextSize(), p.name == std::string("ipaddr") ? 14 : 0);
    }

    const struct {
        rb::Label &label;
        int align;
        bool multiline;
    } labels[] = {
        {w.Label1(), 2, false}, {w.DCount(), 2, false},  {w.lcount(), 0, false},  {w.Label2(), 0, true},
        {w.Label4(), 0, false}, {w.corerev(), 0, false}, {w.mainrev(), 0, false},
    };
    for (const auto &l : labels) {
        SCOPED_TRACE(l.label.Name().toStdString());
        EXPECT_EQ(l.label.TextAlign(), l.align);
        EXPECT_EQ(l.label.Multiline(), l.multiline);
    }

    EXPECT_EQ(w.ipaddr().Alignment(), 2);
    auto *address = qobject_cast<QLineEdit *>(w.ipaddr().widget());
    ASSERT_NE(address, nullptr);
    EXPECT_TRUE(address->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(address->font().pixelSize(), 14); // text sizes are the pixels of drawing
    EXPECT_EQ(w.dbugaddr().Alignment(), 0);
    EXPECT_FALSE(w.ipaddr().ReadOnly());
    EXPECT_FALSE(w.TextArea2().ReadOnly());
    EXPECT_FALSE(w.TextArea3().ReadOnly());
}

TEST_F(MainWindowLayout, HelpAndInstructionTextsLineByLine)
{
    korvane::main &w = mainWindow();
    const QStringList help{
        "VRQ-1",
        "Use the USB port on the VRQ-1 to program",
        "Ensure that the VRQ-1 midi port is selected",
        "Enable the Update",
        "Select the VRQ1_????.bin update file",
        "",
        "On the VRQ-1 panel you can program the ",
        "",
        "1) User keys",
        "2) Speaker, Meter, Input and Output Names ",
    };
    EXPECT_EQ(w.Label2().Text().split('\n'), help);

    const QStringList update{
        "1) Click Enable - The connected device will switch to software udate (Check the display or LED's)",
        "",
        "2) Click File - Then select the firmware file ????.bin (unzip if necessary)",
        "",
        "3) Click Start - You should then see the byte count and staus bar increasing.",
        "",
        "4) When \"Finished\" is displayed click on [Reset] to restart the unit.",
        "",
        "5) For Major upgrades you should then Click on Factory Defaults to reset all functions. ",
        "",
        "In case of problems:",
        "Click [Abort], then [Reset] and try again, ",
        "",
        "if this does not work",
        "1) Close Korvane and disconnect unit",
        "2) Reconnect unit in Recovery Mode (Check Product Manual for Details)",
        "3) Start Korvane and download fimeware ",
    };
    EXPECT_EQ(w.TextArea2().Text().split('\n'), update);

    EXPECT_EQ(
        w.TextArea3().Text(),
        "You can read and set the IP address of any unit. Read first, If you cannot read the IP Address "
        "then read and write of the IP Address is not enabled in the unit.");
}

TEST_F(MainWindowLayout, TabKeyVisitsEachTabsControlsInFocusOrder)
{
    openProgram();
    korvane::main &w = mainWindow();
    QApplication::setActiveWindow(w.widget());
    QWidget *tabBar = w.TabPanel1().focusTarget();

    // From the tab bar, Tab visits the enabled controls on the open tab (each container's in its
    // order, a group box's after the group box's own place), then Close, then the tab bar again.
    const struct {
        Page page;
        std::vector<rb::RectControl *> visits;
    } cases[] = {
        {Connect, {&w.kreadeprom(), &w.kclose()}},
        {UpdateSW, {&w.kenabsw(), &w.desc(), &w.TextArea2(), &w.kclose()}},
        {Help, {&w.kclose()}},
        {SetIP, {&w.TextArea3(), &w.kreadip(), &w.kclose()}},
        {Debug, {&w.dbugaddr(), &w.dbuglen(), &w.kclose()}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("tab " + std::to_string(c.page));
        chooseTab(w.TabPanel1(), c.page);
        tabBar->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), tabBar);
        for (rb::RectControl *next : c.visits) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(QApplication::focusWidget(), next->focusTarget())
                << "expected " << next->Name().toStdString();
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), tabBar) << "round to the tab bar";
    }
}

} // namespace
