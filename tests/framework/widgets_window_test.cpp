// Windows (opening, showing, one instance per class, closing) and timers.
#include "rbframework/canvas.h"
#include "rbframework/controls.h"
#include "rbframework/dialogs.h"
#include "rbframework/dispatch.h"
#include "rbframework/menu.h"
#include "rbframework/testseam.h"
#include "rbframework/timer.h"
#include "rbframework/window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace
{

QStringList openLog;

struct Logged : rb::Canvas {
    Logged(rb::Window &w, QString name) : Canvas(w, std::move(name), 0, 0, 10, 10) {}
    void Event_Open() override { openLog << Name(); }
};

struct Main : rb::Window {
    Main() : Window(QStringLiteral("Korvane"), 100, 50, 528, 494)
    {
        FixedSize(true);
        CloseBox(false);
        add<Logged>(QStringLiteral("first"));
        add<Logged>(QStringLiteral("second"));
        ++made;
    }
    void Event_Open() override
    {
        openLog << QStringLiteral("window");
        Show(); // the main window shows itself from its own Open
    }
    void Event_Close() override { openLog << QStringLiteral("window closed"); }
    static inline int made = 0;
};

struct Other : rb::Window {
    Other() : Window(QStringLiteral("other"), 0, 0, 300, 200) {}
    int resized = 0;
    void Event_Resized() override { ++resized; }
};

class Windows : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        openLog.clear();
        Main::made = 0;
    }
    void TearDown() override
    {
        rb::closeAllWindows();
        rb::setUnhandledExceptionHandler({});
    }
};

TEST_F(Windows, FirstShowOpensControlsInCreationOrderThenTheWindowOnce)
{
    Main &m = rb::window<Main>();
    EXPECT_TRUE(openLog.isEmpty()) << "creating opens nothing";
    EXPECT_FALSE(m.Visible());
    m.Show();
    EXPECT_EQ(openLog, (QStringList{"first", "second", "window"}));
    EXPECT_TRUE(m.Visible());
    m.Hide();
    EXPECT_FALSE(m.Visible());
    m.Show();
    EXPECT_EQ(openLog.size(), 3) << "only the first Show opens";
    EXPECT_TRUE(m.Visible());
}

// Counts the Show events of one widget: each time it reached the screen.
class ShowCounter : public QObject
{
  public:
    explicit ShowCounter(QWidget *w) { w->installEventFilter(this); }
    int shows = 0;

  protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        shows += e->type() == QEvent::Show;
        return false;
    }
};

TEST_F(Windows, AShowFromAHandlerReachesTheScreenOnceTheHandlersHaveReturned)
{
    Other &o = rb::window<Other>();
    const struct {
        const char *name;
        std::function<void()> handler;
        bool shown;
    } cases[] = {
        {"shown", [&] { o.Show(); }, true},
        {"shown and hidden", [&] { o.Show(), o.Hide(); }, false},
        {"shown from a nested handler", [&] { rb::dispatch([&] { o.Show(); }); }, true},
        {"shown, hidden and shown", [&] { o.Show(), o.Hide(), o.Show(); }, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ShowCounter counter(o.widget());
        rb::dispatch([&] {
            c.handler();
            EXPECT_EQ(o.Visible(), c.shown) << "answered at once";
            EXPECT_EQ(counter.shows, 0) << "not on screen before the handler returns";
        });
        EXPECT_EQ(counter.shows, c.shown ? 1 : 0);
        EXPECT_EQ(o.widget()->isVisible(), c.shown);
        EXPECT_EQ(o.Visible(), c.shown);
        o.Hide();
    }

    // A message box opened by the handler comes over the window it has just shown.
    bool onScreenAtTheBox = false;
    rb::testseam::onMsgBox([&](const QString &) { onScreenAtTheBox = o.widget()->isVisible(); });
    rb::dispatch([&] {
        o.Show();
        rb::MsgBox(QStringLiteral("box"));
    });
    rb::testseam::onMsgBox({});
    rb::testseam::reset();
    EXPECT_TRUE(onScreenAtTheBox);

    // Outside any handler, at once.
    o.Hide();
    o.Show();
    EXPECT_TRUE(o.widget()->isVisible());
}

TEST_F(Windows, OneInstancePerWindowClass)
{
    Main &a = rb::window<Main>();
    Main &b = rb::window<Main>();
    Other &o = rb::window<Other>();
    EXPECT_EQ(&a, &b);
    EXPECT_EQ(Main::made, 1);
    EXPECT_NE(static_cast<rb::Window *>(&o), static_cast<rb::Window *>(&a));
    EXPECT_EQ(rb::openWindow<Other>(), &o);

    a.Show();
    rb::closeAllWindows();
    EXPECT_EQ(rb::openWindow<Main>(), nullptr);
    EXPECT_TRUE(openLog.contains(QStringLiteral("window closed")));
    rb::window<Main>();
    EXPECT_EQ(Main::made, 2) << "after closing, the next reference makes a new one";
}

TEST_F(Windows, MovingByOwnWidthAndGeometry)
{
    Main &m = rb::window<Main>();
    m.Left(m.Left() + m.Width());
    EXPECT_EQ(m.Left(), 628);
    EXPECT_EQ(m.Top(), 50);
    EXPECT_EQ(m.Width(), 528);
    EXPECT_EQ(m.Height(), 494);
    m.Width(600); // a fixed-size window can still be sized by code
    EXPECT_EQ(m.widget()->minimumWidth(), m.widget()->maximumWidth());
    EXPECT_EQ(m.Title(), QStringLiteral("Korvane"));
}

TEST_F(Windows, WithoutCloseBoxTheUserCannotCloseIt)
{
    Main &m = rb::window<Main>();
    m.Show();
    EXPECT_FALSE(m.widget()->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(m.widget()->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(m.widget()->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(m.widget()->close());
    EXPECT_TRUE(m.Visible());
    EXPECT_FALSE(openLog.contains(QStringLiteral("window closed")));
}

TEST_F(Windows, MenuBarSitsAboveTheContentArea)
{
    rb::MenuBar bar;
    bar.append<rb::MenuItem>(QStringLiteral("&File")).Name(QStringLiteral("FileMenu"));
    Main &m = rb::window<Main>();
    m.MenuBar(&bar);
    auto &b = m.add<rb::PushButton>(QStringLiteral("kclose"), 428, 462, 80, 20, QStringLiteral("Close"));
    EXPECT_EQ(b.Top(), 462) << "window coordinates are content coordinates";
    EXPECT_EQ(m.Height(), 494);
    EXPECT_GT(m.widget()->height(), 494);
    EXPECT_EQ(b.widget()->mapTo(m.widget(), QPoint(0, 0)).y(), m.widget()->height() - 494 + 462);
    m.MenuBar(nullptr);
}

TEST_F(Windows, ResizingRaisesResizedOnceOpened)
{
    Other &o = rb::window<Other>();
    o.Width(800);
    EXPECT_EQ(o.resized, 0);
    o.Show();
    o.Width(900);
    EXPECT_EQ(o.resized, 1);
    EXPECT_EQ(o.Width(), 900);
    o.widget()->resize(700, o.widget()->height()); // as the user drags
    QApplication::processEvents();
    EXPECT_EQ(o.Width(), 700);
    EXPECT_EQ(o.resized, 2);
}

// --- timers

class Timers : public ::testing::Test
{
  protected:
    void TearDown() override { rb::setUnhandledExceptionHandler({}); }
};

TEST_F(Timers, FireRunsOneTickWhenOnAndSingleModeSwitchesOff)
{
    rb::Timer t;
    int ticks = 0;
    t.Action = [&] { ++ticks; };
    EXPECT_FALSE(t.fire()) << "off";
    t.Mode(2);
    EXPECT_TRUE(t.fire());
    EXPECT_TRUE(t.fire());
    EXPECT_EQ(t.Mode(), 2);
    t.Mode(1);
    EXPECT_TRUE(t.fire());
    EXPECT_EQ(t.Mode(), 0);
    EXPECT_FALSE(t.fire());
    EXPECT_EQ(ticks, 3);
}

TEST_F(Timers, AnExceptionInATickReachesTheHandler)
{
    rb::Timer t;
    t.Mode(2);
    t.Action = [] { throw rb::OutOfBoundsException(QStringLiteral("tick")); };
    QStringList caught;
    rb::setUnhandledExceptionHandler([&](const rb::RuntimeException &e) {
        caught << e.Message();
        return true;
    });
    EXPECT_TRUE(t.fire());
    EXPECT_EQ(caught, QStringList{"tick"});
    EXPECT_EQ(t.Mode(), 2) << "the timer goes on";
}

TEST_F(Timers, BadSettingsAndTheRealClock)
{
    rb::Timer t;
    EXPECT_THROW(t.Mode(3), rb::OutOfBoundsException);
    EXPECT_THROW(t.Mode(-1), rb::OutOfBoundsException);
    t.Period(-20);
    EXPECT_EQ(t.Period(), 1);

    int ticks = 0;
    t.Action = [&] { ++ticks; };
    t.Period(5);
    t.Mode(2);
    QElapsedTimer clock;
    clock.start();
    while (ticks < 3 && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_GE(ticks, 3);
    t.Mode(0);
    const int stopped = ticks;
    clock.restart();
    while (clock.elapsed() < 30)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    EXPECT_EQ(ticks, stopped);
}

// Counts the timer events the event loop delivers: each one is a wake-up of the loop by a clock.
struct TimerEvents : QObject {
    TimerEvents() { QCoreApplication::instance()->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Timer)
            ++delivered;
        return false;
    }
    long delivered = 0;
};

// Waits on the real clock until done holds, at most five seconds.
bool runUntil(const std::function<bool()> &done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

// Two repeating timers of one period, the second switched on while the first runs: every tick of
// the second comes with one of the first, on the same wake-up of the event loop. One switched off
// leaves the other ticking; a tick that destroys a timer due later on the same wake-up is the
// last that timer sees.
TEST_F(Timers, RepeatingTimersOfOnePeriodTickTogether)
{
    TimerEvents events;
    auto first = std::make_unique<rb::Timer>(), second = std::make_unique<rb::Timer>();
    std::vector<long> firstAt, secondAt; // the timer event of each tick
    first->Action = [&] { firstAt.push_back(events.delivered); };
    second->Action = [&] { secondAt.push_back(events.delivered); };
    first->Period(20);
    second->Period(20);
    first->Mode(rb::Timer::ModeMultiple);
    ASSERT_TRUE(runUntil([&] { return firstAt.size() >= 2; }));
    second->Mode(rb::Timer::ModeMultiple);
    ASSERT_TRUE(runUntil([&] { return secondAt.size() >= 3; }));
    for (long at : secondAt)
        EXPECT_NE(std::find(firstAt.begin(), firstAt.end(), at), firstAt.end())
            << "a tick of the second timer on a wake-up of its own";

    first->Mode(rb::Timer::ModeOff);
    const std::size_t firstTicks = firstAt.size(), secondTicks = secondAt.size();
    ASSERT_TRUE(runUntil([&] { return secondAt.size() >= secondTicks + 2; }));
    EXPECT_EQ(firstAt.size(), firstTicks) << "switched off";

    first->Mode(rb::Timer::ModeMultiple); // now after the second on their wake-ups
    second->Action = [&] { first.reset(); };
    ASSERT_TRUE(runUntil([&] { return !first; }));
    EXPECT_EQ(firstAt.size(), firstTicks) << "destroyed before its tick on the same wake-up";
}

TEST_F(Timers, WindowOwnsItsTimer)
{
    Other w;
    auto &t = w.add<rb::Timer>(QStringLiteral("Timer1"), 2, 50);
    EXPECT_EQ(t.Name(), QStringLiteral("Timer1"));
    EXPECT_EQ(t.Mode(), 2);
    EXPECT_EQ(t.Period(), 50);
}

} // namespace
