// Popup menus, list boxes, tab panels and the conversion of window coordinates.
#include "rbframework/controls.h"
#include "rbframework/dispatch.h"
#include "rbframework/exceptions.h"
#include "rbframework/graphics.h"
#include "rbframework/listbox.h"
#include "rbframework/popupmenu.h"
#include "rbframework/window.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <utility>

namespace
{

struct Host : rb::Window {
    Host() : Window(QStringLiteral("host"), 10, 10, 400, 300) {}
};

class Controls : public ::testing::Test
{
  protected:
    void TearDown() override { rb::setUnhandledExceptionHandler({}); }
    Host w;
};

// The first and last columns in which the widget, drawn as it would be on screen, has dark pixels
// (its text); (-1, -1) when there are none.
std::pair<int, int> inkColumns(QWidget *w)
{
    const QImage img = w->grab().toImage();
    int first = -1, last = -1;
    for (int x = 0; x < img.width(); ++x)
        for (int y = 0; y < img.height(); ++y)
            if (qGray(img.pixel(x, y)) < 100) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
    return {first, last};
}

// The largest difference of a colour channel between two pictures of one size; 256 when their
// sizes differ.
int largestDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 256;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                std::abs(qBlue(p) - qBlue(q))});
        }
    return largest;
}

rb::PopupMenu &popupWithRows(rb::Window &w, int rows)
{
    auto &p = w.add<rb::PopupMenu>(QStringLiteral("pop"), 10, 10, 100, 20);
    for (int i = 0; i < rows; ++i)
        p.AddRow(QStringLiteral("row %1").arg(i));
    return p;
}

TEST_F(Controls, PopupAddRowSelectsNothingAndRaisesNothing)
{
    auto &p = w.add<rb::PopupMenu>(QStringLiteral("pop"), 10, 10, 100, 20);
    int changes = 0;
    p.Change = [&] { ++changes; };
    p.AddRow(QStringLiteral("Select"));
    p.AddRow(QStringLiteral("1:dev - if"));
    EXPECT_EQ(p.ListIndex(), -1);
    EXPECT_EQ(p.ListCount(), 2);
    EXPECT_EQ(p.List(1), QStringLiteral("1:dev - if"));
    EXPECT_EQ(changes, 0);
}

TEST_F(Controls, PopupListIndexFromCodeRunsChangeNestedOnceAndOnlyOnChange)
{
    auto &p = popupWithRows(w, 3);
    std::vector<int> seen;
    p.Change = [&] { seen.push_back(p.ListIndex()); };

    p.ListIndex(2);
    // Ran before the setter returned, with the new row already selected.
    ASSERT_EQ(seen, std::vector<int>{2});
    p.ListIndex(2);
    EXPECT_EQ(seen, std::vector<int>{2}) << "the same row again is no change";
    p.ListIndex(-1);
    EXPECT_EQ(seen, (std::vector<int>{2, -1}));
}

TEST_F(Controls, PopupChangeThatSelectsAnotherRowNestsCompletely)
{
    // The port selector's failure path: a change to a device row goes back to row 0 from inside
    // its own Change; the nested change finishes before the outer one goes on.
    auto &p = popupWithRows(w, 3);
    QStringList log;
    p.Change = [&] {
        const int row = p.ListIndex();
        log << QStringLiteral("begin %1").arg(row);
        if (row == 2)
            p.ListIndex(0);
        log << QStringLiteral("end %1 now %2").arg(row).arg(p.ListIndex());
    };
    p.ListIndex(2);
    EXPECT_EQ(log, (QStringList{"begin 2", "begin 0", "end 0 now 0", "end 2 now 0"}));
    EXPECT_EQ(p.ListIndex(), 0);
}

TEST_F(Controls, PopupUserChoiceRaisesChangeOnlyOnChange)
{
    auto &p = popupWithRows(w, 3);
    int changes = 0;
    p.Change = [&] { ++changes; };
    p.choose(1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(p.ListIndex(), 1);
    p.choose(1);
    EXPECT_EQ(changes, 1);
    // The combo box itself, as a user's pick arrives.
    static_cast<QComboBox *>(p.widget())->setCurrentIndex(2);
    EXPECT_EQ(changes, 2);
}

TEST_F(Controls, PopupDeleteAllRowsClearsSelectionWithoutChangeSoRowZeroIsAChangeAgain)
{
    auto &p = popupWithRows(w, 2);
    int changes = 0;
    p.Change = [&] { ++changes; };
    p.ListIndex(0);
    p.DeleteAllRows();
    EXPECT_EQ(p.ListIndex(), -1);
    EXPECT_EQ(p.ListCount(), 0);
    EXPECT_EQ(changes, 1);
    p.AddRow(QStringLiteral("Select"));
    p.ListIndex(0);
    EXPECT_EQ(changes, 2);
}

TEST_F(Controls, PopupBadIndexesRaiseOutOfBounds)
{
    auto &p = popupWithRows(w, 2);
    int changes = 0;
    p.Change = [&] { ++changes; };
    for (int bad : {-2, 2, 1000})
        EXPECT_THROW(p.ListIndex(bad), rb::OutOfBoundsException) << bad;
    for (int bad : {-1, 2})
        EXPECT_THROW(p.List(bad), rb::OutOfBoundsException) << bad;
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(p.ListIndex(), -1);
}

TEST_F(Controls, PopupChangeExceptionGoesToTheHandlerAndTheSetterStillCompletes)
{
    auto &p = popupWithRows(w, 2);
    QStringList caught;
    rb::setUnhandledExceptionHandler([&](const rb::RuntimeException &e) {
        caught << e.Message();
        return true;
    });
    p.Change = [] { throw rb::NilObjectException(QStringLiteral("from Change")); };
    EXPECT_NO_THROW(p.ListIndex(1));
    EXPECT_EQ(caught, QStringList{"from Change"});
    EXPECT_EQ(p.ListIndex(), 1);
}

TEST_F(Controls, ListboxInsertRowZeroIsTheTopAndAddRowTheBottom)
{
    auto &l = w.add<rb::Listbox>(QStringLiteral("list"), 5, 5, 200, 100, QStringLiteral("Input Events"));
    l.AddRow(QStringLiteral("b"));
    l.InsertRow(0, QStringLiteral("a"));
    l.AddRow(QStringLiteral("c"));
    l.InsertRow(0, QStringLiteral("top"));
    l.InsertRow(2, QStringLiteral("mid"));
    QStringList rows;
    for (int i = 0; i < l.ListCount(); ++i)
        rows << l.List(i);
    EXPECT_EQ(rows, (QStringList{"top", "a", "mid", "b", "c"}));
    EXPECT_EQ(l.Cell(4, 0), QStringLiteral("c"));
    EXPECT_EQ(l.Heading(), QStringLiteral("Input Events"));

    l.DeleteAllRows();
    EXPECT_EQ(l.ListCount(), 0);
    EXPECT_THROW(l.List(0), rb::OutOfBoundsException);
    l.InsertRow(0, QStringLiteral("again"));
    EXPECT_EQ(l.List(0), QStringLiteral("again"));
}

TEST_F(Controls, ListboxSelectionFollowsItsRowAndBadRowsRaise)
{
    auto &l = w.add<rb::Listbox>(QStringLiteral("list"), 5, 5, 200, 100);
    for (const char *t : {"x", "y", "z"})
        l.AddRow(QLatin1String(t));
    int changes = 0;
    l.Change = [&] { ++changes; };
    l.ListIndex(1);
    l.InsertRow(0, QStringLiteral("new"));
    EXPECT_EQ(l.ListIndex(), 2);
    EXPECT_EQ(l.List(l.ListIndex()), QStringLiteral("y"));
    EXPECT_EQ(changes, 1);

    EXPECT_THROW(l.InsertRow(-1, {}), rb::OutOfBoundsException);
    EXPECT_THROW(l.InsertRow(5, {}), rb::OutOfBoundsException);
    EXPECT_THROW(l.Cell(0, 1), rb::OutOfBoundsException);
    EXPECT_THROW(l.ListIndex(4), rb::OutOfBoundsException);
    EXPECT_EQ(l.ListCount(), 4);
}

TEST_F(Controls, ListboxKeepsTheShownRowsWhenRowsArriveAboveThem)
{
    auto &l = w.add<rb::Listbox>(QStringLiteral("list"), 5, 5, 200, 60);
    w.Show();
    for (int i = 0; i < 100; ++i)
        l.AddRow(QString::number(i));
    l.ScrollPosition(10);
    ASSERT_EQ(l.ScrollPosition(), 10);
    l.InsertRow(0, QStringLiteral("newest"));
    EXPECT_EQ(l.List(l.ScrollPosition()), QStringLiteral("10"));
    l.ScrollPosition(0);
    l.InsertRow(0, QStringLiteral("newer"));
    EXPECT_EQ(l.ScrollPosition(), 0) << "at the top the newest row shows";
    w.Hide();
}

// The selected row is highlighted across the list's whole width, not only where its text may go.
TEST_F(Controls, ListboxHighlightsTheSelectedRowEdgeToEdge)
{
    auto &l = w.add<rb::Listbox>(QStringLiteral("list"), 5, 5, 200, 100, QStringLiteral("Input Events"));
    for (const char *t : {"x", "y", "z"})
        l.AddRow(QLatin1String(t));
    l.ListIndex(1);
    QWidget *rows = static_cast<QAbstractScrollArea *>(l.widget())->viewport();
    const QImage img = rows->grab().toImage();
    const QRgb highlight = rows->palette().color(QPalette::Highlight).rgb();
    const auto lit = [&](int x, int y) { return img.pixel(x, y) == highlight; };
    int highlighted = 0;
    for (int y = 0; y < img.height(); ++y) {
        // Past the row's short text, well inside the room for text.
        if (!lit(img.width() - 10, y))
            continue;
        ++highlighted;
        EXPECT_TRUE(lit(0, y) && lit(img.width() - 1, y)) << "line " << y;
    }
    EXPECT_GT(highlighted, 0);
}

// Rows already shown are moved on screen rather than painted again when rows arrive: what the
// screen shows after each change, painted or not in between, is what a fresh paint of the list shows.
TEST_F(Controls, ListboxOnScreenIsAFreshPaintAfterRowsArrive)
{
    auto &l = w.add<rb::Listbox>(QStringLiteral("list"), 5, 5, 200, 120, QStringLiteral("Input Events"));
    w.Show();
    for (int i = 0; i < 30; ++i)
        l.AddRow(QStringLiteral("row %1").arg(i));
    QWidget *view = l.widget();
    const auto onScreen = [view] {
        QWidget *window = view->window();
        const QRect r(view->mapTo(window, QPoint(0, 0)), view->size());
        return window->screen()
            ->grabWindow(window->winId(), r.x(), r.y(), r.width(), r.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    const auto freshPaint = [view] { return view->grab().toImage().convertToFormat(QImage::Format_RGB32); };
    struct Step {
        const char *what;
        std::function<void()> change;
        bool paintBetween;
    };
    const Step steps[] = {
        {"one row at the top", [&] { l.InsertRow(0, QStringLiteral("new 1")); }, true},
        {"three rows at the top before a paint",
         [&] {
             for (int i = 0; i < 3; ++i)
                 l.InsertRow(0, QStringLiteral("new 2.%1").arg(i));
         },
         true},
        {"a row in the middle, then one at the top", [&] { l.InsertRow(2, QStringLiteral("middle")); },
         false},
        {"", [&] { l.InsertRow(0, QStringLiteral("new 3")); }, true},
        {"the selected row moves down", [&] { l.ListIndex(1); }, true},
        {"", [&] { l.InsertRow(0, QStringLiteral("new 4")); }, true},
        {"a row at the bottom", [&] { l.AddRow(QStringLiteral("last")); }, true},
        {"rows above the shown ones",
         [&] {
             l.ScrollPosition(5);
             QApplication::processEvents();
             l.InsertRow(0, QStringLiteral("new 5"));
         },
         true},
        {"emptied, then one row", [&] { l.DeleteAllRows(); }, false},
        {"", [&] { l.InsertRow(0, QStringLiteral("alone")); }, true},
    };
    QApplication::processEvents();
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        if (!step.paintBetween)
            continue;
        QApplication::processEvents();
        EXPECT_TRUE(onScreen() == freshPaint());
    }
    w.Hide();
}

// A group box keeps a picture of itself for the many repaints under its controls: on screen it
// shows what Qt's own group box shows, after its caption, its state or its size changed. Its
// semi-transparent frame, blended twice, may differ by a level of a colour channel.
TEST_F(Controls, GroupBoxShowsWhatAGroupBoxOfQtShows)
{
    auto &box =
        w.add<rb::GroupBox>(QStringLiteral("dlbox"), 10, 10, 220, 100, QStringLiteral("Update Firmware"));
    auto &count = w.add<rb::Label>(QStringLiteral("DCount"), 30, 50, 80, 20, QStringLiteral("0"));
    count.Parent(box);
    w.Show();
    const auto onScreen = [&box] {
        QWidget *window = box.widget()->window();
        const QRect r(box.widget()->mapTo(window, QPoint(0, 0)), box.widget()->size());
        return window->screen()
            ->grabWindow(window->winId(), r.x(), r.y(), r.width(), r.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    // Qt's own group box and label in the same state, painted anew.
    const auto qtsOwn = [&box, &count] {
        QGroupBox reference(box.Caption());
        reference.setFont(box.widget()->font());
        reference.setPalette(box.widget()->palette());
        reference.setEnabled(box.widget()->isEnabled());
        reference.resize(box.widget()->size());
        QLabel label(count.Text(), &reference);
        label.setFont(count.widget()->font());
        label.setGeometry(count.widget()->geometry());
        label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return reference.grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    struct Step {
        const char *what;
        std::function<void()> change;
    };
    const Step steps[] = {
        {"shown", [] {}},
        {"a control inside changes", [&] { count.Text(QStringLiteral("3072")); }},
        {"again", [&] { count.Text(QStringLiteral("4096")); }},
        {"a new caption", [&] { box.Caption(QStringLiteral("Update")); }},
        {"disabled", [&] { box.Enabled(false); }},
        {"enabled", [&] { box.Enabled(true); }},
        {"wider", [&] { box.Width(300); }},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        QApplication::processEvents();
        EXPECT_LE(largestDifference(onScreen(), qtsOwn()), 2);
    }
    w.Hide();
}

TEST_F(Controls, ControlsInsideContainersKeepWindowCoordinates)
{
    auto &tabs = w.add<rb::TabPanel>(QStringLiteral("TabPanel1"), 12, 0, 380, 280,
                                     QStringList{"Connect", "Update S/W", "Help"});
    auto &box =
        w.add<rb::GroupBox>(QStringLiteral("dlbox"), 22, 100, 300, 150, QStringLiteral("Update Firmware"));
    box.Parent(tabs, 1);
    auto &start = w.add<rb::PushButton>(QStringLiteral("kstart"), 178, 130, 60, 18, QStringLiteral("Start"));
    start.Parent(box);

    EXPECT_EQ(box.Left(), 22);
    EXPECT_EQ(box.Top(), 100);
    EXPECT_EQ(start.Left(), 178);
    EXPECT_EQ(start.Top(), 130);
    EXPECT_EQ(start.widget()->parentWidget(), box.widget());
    start.Top(140);
    EXPECT_EQ(start.Top(), 140);

    EXPECT_EQ(tabs.Value(), 0);
    EXPECT_EQ(tabs.Caption(1), QStringLiteral("Update S/W"));
    w.Show();
    EXPECT_FALSE(start.widget()->isVisible()) << "its page is not open";
    EXPECT_TRUE(start.Visible());
    int changes = 0;
    tabs.Change = [&] { ++changes; };
    tabs.Value(1);
    EXPECT_TRUE(start.widget()->isVisible());
    EXPECT_EQ(changes, 1);
    EXPECT_THROW(tabs.Value(3), rb::OutOfBoundsException);
    EXPECT_THROW(start.Parent(tabs, 7), rb::OutOfBoundsException);
    EXPECT_THROW(box.Parent(start), rb::OutOfBoundsException) << "a button holds no controls";
    EXPECT_THROW(box.Parent(box), rb::OutOfBoundsException);
    w.Hide();
}

TEST_F(Controls, ButtonsTextsAndProgressBar)
{
    auto &b = w.add<rb::PushButton>(QStringLiteral("kclose"), 1, 1, 80, 20, QStringLiteral("Close"));
    int actions = 0;
    b.Action = [&] { ++actions; };
    b.press();
    b.Enabled(false);
    b.press();
    EXPECT_EQ(actions, 1) << "a disabled button does not act";
    EXPECT_FALSE(b.Enabled());

    auto &f =
        w.add<rb::TextField>(QStringLiteral("ipaddr"), 1, 30, 100, 20, QStringLiteral("000.000.000.000"));
    int edits = 0;
    f.TextChange = [&] { ++edits; };
    f.Text(QStringLiteral("10.0.0.1"));
    EXPECT_EQ(f.Text(), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(edits, 1);

    auto &a = w.add<rb::TextArea>(QStringLiteral("notes"), 1, 60, 100, 60, QStringLiteral("one\rtwo"));
    a.AppendText(QStringLiteral(" more\r\nthree"));
    EXPECT_EQ(a.Text(), QStringLiteral("one\ntwo more\nthree"));

    auto &p = w.add<rb::ProgressBar>(QStringLiteral("pbar"), 1, 130, 100, 20);
    p.Maximum(-5);
    EXPECT_EQ(p.Maximum(), 0);
    p.Maximum(1000);
    p.Value(1500);
    EXPECT_EQ(p.Value(), 1500);
    EXPECT_EQ(w.control<rb::ProgressBar>(QStringLiteral("PBAR")), &p) << "names ignore letter case";
    EXPECT_EQ(w.control<rb::Label>(QStringLiteral("pbar")), nullptr) << "wrong kind";
    EXPECT_EQ(w.Control(QStringLiteral("none")), nullptr);
}

TEST_F(Controls, TextFieldHasNoLengthLimit)
{
    const QString first(100000, u'7'), second = QStringLiteral("F0 ").repeated(40000);
    auto &f = w.add<rb::TextField>(QStringLiteral("midistring"), 1, 1, 100, 20, first);
    EXPECT_EQ(f.Text().size(), first.size());
    f.Text(second);
    EXPECT_EQ(f.Text().size(), second.size());
}

TEST_F(Controls, LabelTextAlignCountsLeftCentreRight)
{
    // A label's codes have no "default" entry, unlike a text field's Alignment: 2 is right, as
    // the main window's byte count expects.
    enum Where { Left, Centre, Right };
    const struct {
        int align, stored;
        Where where;
    } cases[] = {{0, 0, Left}, {1, 1, Centre}, {2, 2, Right}, {3, 2, Right}, {-1, 0, Left}};
    for (const auto &c : cases) {
        rb::Label l(w, QStringLiteral("DCount"), 241, 371, 98, 20, QStringLiteral("3072"));
        l.TextAlign(c.align);
        EXPECT_EQ(l.TextAlign(), c.stored) << c.align;
        const auto [first, last] = inkColumns(l.widget());
        ASSERT_GE(first, 0) << "the text is drawn";
        const int leftGap = first, rightGap = l.Width() - 1 - last;
        switch (c.where) {
        case Left:
            EXPECT_LT(leftGap, 5) << c.align;
            break;
        case Centre:
            EXPECT_NEAR(leftGap, rightGap, 3) << c.align;
            break;
        case Right:
            EXPECT_LT(rightGap, 5) << c.align;
            break;
        }
    }
}

TEST_F(Controls, TextSizeIsInThePointsOfDrawingSoFieldTextAndCanvasTextMatch)
{
    // The address field's text size 14: as large as text drawn at size 14, whatever the screen's
    // dots per inch, so that "000.000.000.000" fits the field it was designed for.
    const QString address = QStringLiteral("000.000.000.000");
    auto &f = w.add<rb::TextField>(QStringLiteral("ipaddr"), 184, 103, 164, 26, address);
    const int platformPixels = QFontInfo(f.widget()->font()).pixelSize();
    rb::Picture pic(200, 40);
    rb::Graphics &g = pic.graphics();
    for (double size : {14.0, 12.0, 30.0, 9.6}) {
        f.TextSize(size);
        g.TextSize(size);
        EXPECT_EQ(f.TextSize(), size);
        EXPECT_EQ(QFontInfo(f.widget()->font()).pixelSize(), qRound(size)) << size;
        EXPECT_NEAR(QFontMetricsF(f.widget()->font()).horizontalAdvance(address), g.StringWidth(address), 1.0)
            << size;
    }
    f.TextSize(0);
    EXPECT_EQ(f.TextSize(), 0);
    EXPECT_EQ(QFontInfo(f.widget()->font()).pixelSize(), platformPixels) << "0 is the platform's size";
}

} // namespace
