// The MIDI window: its design, the focus order, the traffic lists and the shown flag that decides
// what they log, the Send button's reading of typed bytes, Clear, the acknowledgement counter,
// Hide, the link state and resizing.

#include "rbframework/testseam.h"
#include "tests/common/program_fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <map>

using namespace korvanetest;

namespace
{

constexpr int setIpPage = 3; // the main window's "Set IP" tab

const QString linkOk = QStringLiteral("Midi OK");
const QString linkDown = QStringLiteral("Midi Not Open - click here to select port");

// A control's caption as its widget shows it; a list's heading.
QString shownCaption(const rb::RectControl &control)
{
    QWidget *w = control.widget();
    if (auto *box = qobject_cast<QGroupBox *>(w))
        return box->title();
    if (auto *button = qobject_cast<QPushButton *>(w))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    if (auto *field = qobject_cast<QLineEdit *>(w))
        return field->text();
    if (auto *list = dynamic_cast<const rb::Listbox *>(&control))
        return list->Heading();
    return {};
}

// Where a control's widget stands, in the window's coordinates.
QRect placement(const korvane::midiio &io, const rb::RectControl &control)
{
    QWidget *w = control.widget();
    return QRect(w->mapTo(io.contentWidget(), QPoint(0, 0)), w->size());
}

class MidiWindow : public ProgramTest
{
  protected:
    void showWindow() { click(mainWindow().kview()); }
    // A send and its answer: the address request from the main window's Set IP tab.
    void exchange()
    {
        chooseTab(mainWindow().TabPanel1(), setIpPage);
        click(mainWindow().kreadip());
        poll();
    }
    // The link status key, on the main window's first tab.
    void pressStatusKey()
    {
        chooseTab(mainWindow().TabPanel1(), 0);
        click(mainWindow().showmidi());
    }
    void send(const QString &typed)
    {
        type(io().midistring(), typed);
        click(io().sendmidi());
    }
};

struct Place {
    const char *name;
    const char *group; // "" when the control stands in the window itself
    int left, top, width, height;
    QString caption;
};

TEST_F(MidiWindow, DesignMatchesTheLayout)
{
    openFirstRun();
    showWindow();
    korvane::midiio &w = io();
    QWidget *window = w.widget();

    EXPECT_EQ(window->windowTitle(), "Select Midi Input and Output Ports");
    EXPECT_EQ(w.contentWidget()->size(), QSize(756, 438));
    EXPECT_EQ(window->minimumSize(), QSize(64, 64)) << "resizable down to 64 x 64";
    EXPECT_EQ(window->maximumSize(), QSize(32000, 32000));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    // In the middle of the main screen, within the frame's margins.
    const QPoint offCentre =
        window->geometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 8) << offCentre.x() << "," << offCentre.y();
    EXPECT_FALSE(window->close()) << "the user cannot close it";
    EXPECT_TRUE(window->isVisible());

    const Place places[] = {
        {"GroupBox1", "", 5, 0, 320, 59, "Midi Input"},
        {"midiin1", "GroupBox1", 10, 27, 310, 20, {}},
        {"GroupBox2", "", 333, 0, 320, 59, "Midi Output"},
        {"midiout1", "GroupBox2", 338, 27, 310, 19, {}},
        {"krefresk", "", 282, 60, 95, 20, "Refresh"},
        {"khide", "", 670, 393, 80, 20, "Hide"},
        {"eListin", "", 5, 88, 581, 124, "Input Events"},
        {"eListout", "", 5, 224, 745, 141, "Output Events"},
        {"kclear", "", 591, 393, 65, 20, "Clear"},
        {"GroupBox7", "", 5, 374, 572, 44, "Test Midi TX String"},
        {"midistring", "GroupBox7", 15, 392, 436, 22, ""},
        {"sendmidi", "GroupBox7", 474, 394, 80, 18, "Send"},
        {"GroupBox8", "", 664, 0, 86, 59, "Ack Count"},
        {"ackcount", "GroupBox8", 684, 27, 46, 20, "0"},
        {"eListblk", "", 591, 88, 159, 124, "Input Blocks"},
    };
    for (const Place &p : places) {
        SCOPED_TRACE(p.name);
        rb::RectControl *c = w.Control(QString::fromLatin1(p.name));
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(placement(w, *c), QRect(p.left, p.top, p.width, p.height));
        EXPECT_EQ(shownCaption(*c), p.caption);
        const QString group = QString::fromLatin1(p.group);
        EXPECT_EQ(c->Parent() ? c->Parent()->Name() : QString(), group);
        if (!group.isEmpty()) {
            EXPECT_TRUE(w.Control(group)->widget()->isAncestorOf(c->widget()));
        }
        EXPECT_TRUE(c->widget()->isVisible());
        EXPECT_TRUE(c->widget()->isEnabled());
        const bool portGroup = c == &w.GroupBox1() || c == &w.GroupBox2();
        EXPECT_EQ(c->TextSize(), portGroup ? 12 : 0);
    }
    EXPECT_EQ(rows(w.midiin1()).first(), "Select");
    EXPECT_EQ(w.midiin1().ListIndex(), 0);
    EXPECT_EQ(w.midiout1().ListIndex(), 0);
    for (const rb::Listbox *list : {&w.eListin(), &w.eListout(), &w.eListblk()})
        EXPECT_EQ(list->ListCount(), 0);
    EXPECT_EQ(w.miditimer1().Mode(), rb::Timer::ModeOff);
    EXPECT_EQ(w.miditimer1().Period(), 50);
}

TEST_F(MidiWindow, TabMovesTheFocusInTheLayoutsOrder)
{
    openFirstRun();
    showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(io().widget()));
    io().midiin1().SetFocus();

    const char *const order[] = {"midiin1", "midiout1",   "krefresk", "khide",    "eListin", "eListout",
                                 "kclear",  "midistring", "sendmidi", "eListblk", "midiin1"};
    for (const char *name : order) {
        QWidget *focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        EXPECT_EQ(focused, io().Control(QString::fromLatin1(name))->focusTarget()) << "expected " << name;
        QTest::keyClick(focused, Qt::Key_Tab);
    }
}

// What the three lists log of the address request and its answer, as the window is shown and hidden.
TEST_F(MidiWindow, RowsAreWrittenOnlyWhileTheUserShowsTheWindow)
{
    saveUnitPorts();
    openProgram();
    struct Phase {
        const char *name;
        std::function<void()> enter;
        bool visible, shown; // on screen; marked as shown by the user
    };
    const Phase phases[] = {
        {"after start-up", [] {}, false, false},
        {"View Comms", [this] { click(mainWindow().kview()); }, true, true},
        {"Hide", [this] { click(io().khide()); }, false, false},
        {"the status key", [this] { pressStatusKey(); }, true, true},
        {"the status key again", [this] { pressStatusKey(); }, false, false},
        {"the framework's own Show", [] { io().Show(); }, true, false},
    };
    std::uint8_t last = 0;
    for (const Phase &phase : phases) {
        SCOPED_TRACE(phase.name);
        phase.enter();
        EXPECT_EQ(io().Visible(), phase.visible);
        EXPECT_EQ(io().fvisible, phase.shown);
        // Each phase gets an answer of its own.
        sim::setUnitAddress({10, 0, 0, ++last});
        const QStringList outBefore = rows(io().eListout()), inBefore = rows(io().eListin()),
                          blocksBefore = rows(io().eListblk());

        exchange();

        const QStringList out = rows(io().eListout()), in = rows(io().eListin());
        if (phase.shown) {
            EXPECT_EQ(out, QStringList("Output: Long Data F0 7E 7F 33 00 F7 ") + outBefore);
            EXPECT_EQ(in,
                      QStringList(QStringLiteral("parsesysx: F0 7E 7F 43 04 0A 00 00 %1 00 F7 IP Address ")
                                      .arg(last, 2, 16, QLatin1Char('0'))) +
                          inBefore);
            EXPECT_EQ(rows(io().eListblk()),
                      QStringList({"F0 7E 7F 43 ", "04 0A 00 00 ",
                                   QStringLiteral("%1 00 F7 00 ").arg(last, 2, 16, QLatin1Char('0'))}));
        } else {
            EXPECT_EQ(out, outBefore);
            EXPECT_EQ(in, inBefore);
            EXPECT_EQ(rows(io().eListblk()), blocksBefore);
        }
        // The answer is interpreted whether the window is shown or not.
        EXPECT_EQ(mainWindow().ipaddr().Text(), QStringLiteral("10.0.0.%1").arg(last));
    }
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
}

TEST_F(MidiWindow, HideReportsTheLinkState)
{
    saveUnitPorts();
    openProgram();
    showWindow();
    mainWindow().showmidi().caption = QStringLiteral("stale");

    click(io().khide());

    EXPECT_EQ(mainWindow().showmidi().caption, linkOk);
    EXPECT_FALSE(io().Visible());
}

struct SendCase {
    const char *name;
    QString typed;
    QString row; // the top "Output Events" row; empty: none
    Bytes sent;  // what reached the unit's port
    QStringList messages;
};
void PrintTo(const SendCase &c, std::ostream *os)
{
    *os << c.name;
}

class Send : public MidiWindow, public ::testing::WithParamInterface<SendCase>
{
};

TEST_P(Send, ReadsEachBlankSeparatedTokenAsOneHexadecimalByte)
{
    const SendCase &c = GetParam();
    saveUnitPorts();
    openProgram();
    showWindow();

    send(c.typed);

    EXPECT_EQ(rows(io().eListout()), c.row.isEmpty() ? QStringList() : QStringList({c.row}));
    EXPECT_EQ(sim::receivedBytes(UnitOut), c.sent);
    EXPECT_EQ(rb::testseam::shownMessages(), c.messages);
    EXPECT_EQ(io().midistring().Text(), c.typed) << "the field keeps its text";
}

const QStringList refused = {"outlong error:-9994"};

INSTANTIATE_TEST_SUITE_P(
    MidiWindow, Send,
    ::testing::Values(
        SendCase{"Message",
                 "F0 7E 7F 06 01 F7",
                 "Output: Long Data F0 7E 7F 06 01 F7 ",
                 {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7},
                 {}},
        SendCase{"LowerCase",
                 "f0 7e 7f 03 00 f7",
                 "Output: Long Data F0 7E 7F 03 00 F7 ",
                 {0xF0, 0x7E, 0x7F, 0x03, 0x00, 0xF7},
                 {}},
        SendCase{"TwoBlanksGiveAZeroByte", "F0  F7", "Output: Long Data F0 00 F7 ", {0xF0, 0x00, 0xF7}, {}},
        SendCase{"TokenAboveFFGivesItsLow8Bits",
                 "F0 1F7 3C2 F7",
                 "Output: Long Data F0 F7 C2 F7 ",
                 {0xF0, 0xF7},
                 {}},
        SendCase{"LongTokenGivesItsLow8Bits",
                 "F0 100000000000000000000041 F7",
                 "Output: Long Data F0 41 F7 ",
                 {0xF0, 0x41, 0xF7},
                 {}},
        SendCase{"DigitsBeforeOtherCharacters",
                 "F0 7G G7 -1 F7",
                 "Output: Long Data F0 07 00 00 F7 ",
                 {0xF0, 0x07, 0x00, 0x00, 0xF7},
                 {}},
        SendCase{"WithoutF7IsRefused", "f0 7e ", "Output: Long Data F0 7E ", {}, refused},
        // PortMidi refuses the second F0 once the bytes before it have gone out; they go out once.
        SendCase{"SecondF0IsRefusedAfterTheBytesBeforeIt",
                 "F0 01 02 03 F0 05 F7",
                 "Output: Long Data F0 01 02 03 F0 05 F7 ",
                 {0xF0, 0x01, 0x02, 0x03},
                 refused},
        SendCase{"OneBlankIsAZeroByte", " ", "Output: Long Data 00 ", {}, refused},
        SendCase{"LeadingBlankGivesAZeroByteFirst", " F0 F7", "Output: Long Data 00 F0 F7 ", {}, refused},
        SendCase{"EmptyFieldSendsNothing", "", {}, {}, {}}),
    [](const ::testing::TestParamInfo<SendCase> &info) { return info.param.name; });

// A text far beyond a line edit's usual 32,767 characters, pasted: every token is sent, F7 included.
TEST_F(MidiWindow, SendTakesAPastedTextOfAnyLength)
{
    saveUnitPorts();
    openProgram();
    showWindow();
    constexpr int dataBytes = 40000;
    Bytes message = {0xF0};
    message.insert(message.end(), dataBytes, 0x5A);
    message.push_back(0xF7);
    const QString typed =
        QStringLiteral("F0 ") + QStringLiteral("5A ").repeated(dataBytes) + QStringLiteral("F7");
    const QString row = QStringLiteral("Output: Long Data F0 ") + QStringLiteral("5A ").repeated(dataBytes) +
                        QStringLiteral("F7 ");

    auto *edit = qobject_cast<QLineEdit *>(io().midistring().widget());
    ASSERT_NE(edit, nullptr);
    QGuiApplication::clipboard()->setText(typed);
    click(io().midistring());
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(io().midistring().Text().size(), typed.size());
    click(io().sendmidi());

    // Sizes first: the texts themselves are too long to print.
    const Bytes sent = sim::receivedBytes(UnitOut);
    EXPECT_EQ(sent.size(), message.size());
    EXPECT_TRUE(sent == message);
    const QStringList out = rows(io().eListout());
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0].size(), row.size());
    EXPECT_TRUE(out[0] == row);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty())
        << rb::testseam::shownMessages().join("|").toStdString();
}

TEST_F(MidiWindow, ClearEmptiesTheEventListsAndTheCounterGoesOn)
{
    saveUnitPorts();
    openProgram();
    showWindow();
    for (int i = 0; i < 3; ++i) {
        send("F0 7E 7F 03 00 F7"); // reset: acknowledged
        poll();
    }
    sim::queueShort(UnitIn, 0x6407B0);
    poll();
    ASSERT_EQ(io().eListout().ListCount(), 3);
    ASSERT_EQ(rows(io().eListin()), QStringList({"control change: B0 07 64 00 "}));
    const QStringList blocks = {"F0 7E 7F 7F ", "00 F7 00 00 ", "B0 07 64 00 "};
    ASSERT_EQ(rows(io().eListblk()), blocks);
    EXPECT_EQ(io().ackcount().Text(), "3");

    click(io().kclear());

    EXPECT_EQ(io().eListin().ListCount(), 0);
    EXPECT_EQ(io().eListout().ListCount(), 0);
    EXPECT_EQ(rows(io().eListblk()), blocks);
    EXPECT_EQ(io().ackcount().Text(), "3");

    send("F0 7E 7F 03 00 F7");
    poll();
    EXPECT_EQ(io().ackcount().Text(), "4");
    EXPECT_EQ(io().ackcnt, 4);
}

TEST_F(MidiWindow, InputBlocksStartAgainAtEachPacketBeginningWithF0)
{
    saveUnitPorts();
    openProgram();
    showWindow();

    sim::queueBytes(UnitIn, {0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7});
    sim::queueShort(UnitIn, 0x7F4090);
    poll();
    EXPECT_EQ(rows(io().eListblk()), QStringList({"F0 7E 7F 7F ", "00 F7 00 00 ", "90 40 7F 00 "}));

    sim::queueBytes(UnitIn, {0xF0, 0x41, 0x10, 0x42, 0xF7});
    poll();
    EXPECT_EQ(rows(io().eListblk()), QStringList({"F0 41 10 42 ", "F7 00 00 00 "}));
}

struct LinkCase {
    const char *name;
    bool inputFails, outputFails;
    QString link;
};
void PrintTo(const LinkCase &c, std::ostream *os)
{
    *os << c.name;
}

class LinkState : public MidiWindow, public ::testing::WithParamInterface<LinkCase>
{
};

TEST_P(LinkState, IsOkOnlyWhenBothPortsOpened)
{
    const LinkCase &c = GetParam();
    saveUnitPorts();
    if (c.inputFails)
        sim::failOpen(UnitIn, "busy");
    if (c.outputFails)
        sim::failOpen(UnitOut, "busy");
    openProgram();
    EXPECT_EQ(mainWindow().showmidi().caption, c.link);
}

INSTANTIATE_TEST_SUITE_P(MidiWindow, LinkState,
                         ::testing::Values(LinkCase{"BothOpen", false, false, linkOk},
                                           LinkCase{"InputFailed", true, false, linkDown},
                                           LinkCase{"OutputFailed", false, true, linkDown},
                                           LinkCase{"BothFailed", true, true, linkDown}),
                         [](const ::testing::TestParamInfo<LinkCase> &info) { return info.param.name; });

struct ResizeCase {
    const char *name;
    QSize size;    // asked for
    int listWidth; // of "Input Events" and "Output Events" afterwards
};
void PrintTo(const ResizeCase &c, std::ostream *os)
{
    *os << c.name;
}

class Resize : public MidiWindow, public ::testing::WithParamInterface<ResizeCase>
{
};

TEST_P(Resize, StretchesTheEventListsOnly)
{
    const ResizeCase &c = GetParam();
    openFirstRun();
    showWindow();
    std::map<QString, QRect> before;
    for (const char *name :
         {"GroupBox1", "midiin1", "GroupBox2", "midiout1", "krefresk", "khide", "eListin", "eListout",
          "kclear", "GroupBox7", "midistring", "sendmidi", "GroupBox8", "ackcount", "eListblk"})
        before[name] = placement(io(), *io().Control(name));

    io().widget()->resize(c.size);
    ASSERT_TRUE(QTest::qWaitFor([&] { return io().eListin().Width() == c.listWidth; }))
        << "width " << io().eListin().Width();

    for (const auto &[name, was] : before) {
        SCOPED_TRACE(name.toStdString());
        QRect expected = was;
        if (name == "eListin" || name == "eListout")
            expected.setWidth(c.listWidth);
        EXPECT_EQ(placement(io(), *io().Control(name)), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(MidiWindow, Resize,
                         ::testing::Values(ResizeCase{"Wider", {800, 438}, 788},
                                           ResizeCase{"Narrower", {400, 300}, 388},
                                           ResizeCase{"BelowTheMinimum", {20, 20}, 52}),
                         [](const ::testing::TestParamInfo<ResizeCase> &info) { return info.param.name; });

} // namespace
