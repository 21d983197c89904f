// The one door of every event handler, and the runtime routines of the program entry.
#include "rbframework/application.h"
#include "rbframework/dispatch.h"
#include "rbframework/testseam.h"
#include "rbframework/window.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>

namespace
{

class RecordingApp : public rb::Application
{
  public:
    void Event_Open() override
    {
        ++opened;
        if (onOpen)
            onOpen();
    }
    bool Event_UnhandledException(const rb::RuntimeException &e) override
    {
        const char *kind = dynamic_cast<const rb::OutOfBoundsException *>(&e) ? "OutOfBounds"
                           : dynamic_cast<const rb::NilObjectException *>(&e) ? "NilObject"
                                                                              : "Runtime";
        seen.append(QString("%1: %2").arg(kind, e.Message()));
        return true;
    }
    int opened = 0;
    QStringList seen;
    std::function<void()> onOpen;
};

// Every test gets a registered app behind the runtime's exception helper, and leaves none behind.
class Dispatch : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        rb::RuntimeSetExceptionHelper();
        rb::RuntimeRegisterAppObject(&app);
    }
    void TearDown() override
    {
        rb::RuntimeRegisterAppObject(nullptr);
        rb::setUnhandledExceptionHandler({});
    }
    RecordingApp app;
};

TEST_F(Dispatch, WhatEscapesAHandlerReachesTheAppAndLaterEventsRun)
{
    const struct {
        const char *name;
        std::function<void()> handler;
        const char *expected;
    } cases[] = {
        {"out of bounds", [] { throw rb::OutOfBoundsException("index 5"); }, "OutOfBounds: index 5"},
        {"nil object", [] { throw rb::NilObjectException("memoryblock is nil"); },
         "NilObject: memoryblock is nil"},
        {"std::exception", [] { throw std::runtime_error("boom"); }, "Runtime: boom"},
        {"anything else", [] { throw 42; }, "Runtime: unknown exception"},
    };
    for (const auto &c : cases) {
        app.seen.clear();
        bool later = false;
        EXPECT_NO_THROW(rb::dispatch(c.handler)) << c.name;
        rb::dispatch([&] { later = true; });
        EXPECT_EQ(app.seen, QStringList({c.expected})) << c.name;
        EXPECT_TRUE(later) << c.name;
    }
}

TEST_F(Dispatch, AThrowingHandlerOfExceptionsGoesNoFurther)
{
    rb::setUnhandledExceptionHandler(
        [](const rb::RuntimeException &) -> bool { throw std::logic_error("again"); });
    EXPECT_NO_THROW(rb::dispatch([] { throw rb::RuntimeException("first"); }));
}

TEST(DispatchDefault, WithoutAHandlerTheExceptionIsPrintedAndSwallowed)
{
    rb::setUnhandledExceptionHandler({});
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(rb::dispatch([] { throw rb::OutOfBoundsException("row 9"); }));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("OutOfBoundsException"), std::string::npos) << err;
    EXPECT_NE(err.find("row 9"), std::string::npos) << err;
}

TEST_F(Dispatch, AnExceptionInATimerHandlerLeavesTheLoopRunning)
{
    QEventLoop loop;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        rb::dispatch([&] {
            ++ticks;
            if (ticks == 1)
                throw rb::OutOfBoundsException("tick");
            if (ticks == 3)
                loop.exit(0);
        });
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] { loop.exit(1); });
    timer.start();
    guard.start(5000);
    EXPECT_EQ(loop.exec(), 0) << "the loop stopped turning after the exception";
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(app.seen, QStringList({"OutOfBounds: tick"}));
}

// A handler stopped by a lack of memory left its work half done: the program must not go on as if
// the exception were handled.
TEST(OutOfMemory, EndsTheProgramWithALineOnStandardError)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        const char *where;
        std::function<void()> run;
    } cases[] = {
        {"an event handler", [] { rb::dispatch([] { throw std::bad_alloc(); }); }},
        {"the start-up", [] { rb::runCatching([] { throw std::bad_alloc(); }); }},
    };
    for (const auto &c : cases)
        EXPECT_DEATH(c.run(), "Out of memory: the program ends") << c.where;
}

TEST(RunCatching, AnswersTheExceptionInsteadOfLettingItEscape)
{
    EXPECT_FALSE(rb::runCatching([] {}));
    EXPECT_FALSE(rb::RunFrameworkInitialization({}));

    auto e = rb::RunFrameworkInitialization([] { throw rb::NilObjectException("no app data"); });
    ASSERT_TRUE(e);
    EXPECT_THROW(std::rethrow_exception(e), rb::NilObjectException);

    e = rb::runCatching([] { throw std::runtime_error("std"); });
    ASSERT_TRUE(e);
    try {
        std::rethrow_exception(e);
    } catch (const rb::RuntimeException &r) {
        EXPECT_EQ(r.Message(), "std");
    }
}

// The loop bounded by a guard that ends it with 99 when the code under test never quits.
int runBounded()
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(5000);
    return rb::RuntimeRun();
}

TEST_F(Dispatch, RuntimeRunRaisesOpenOnceInsideTheLoopAndAnswersTheQuitCode)
{
    bool loopRunning = false;
    app.onOpen = [&] {
        // Posted events run only while the loop turns.
        QTimer::singleShot(0, [&] {
            rb::dispatch([&] {
                loopRunning = true;
                rb::Quit(3);
            });
        });
    };
    EXPECT_EQ(runBounded(), 3);
    EXPECT_EQ(rb::RuntimeExit(), 3);
    EXPECT_EQ(app.opened, 1);
    EXPECT_TRUE(loopRunning);
}

TEST_F(Dispatch, AnExceptionInOpenReachesTheAppAndTheLoopGoesOn)
{
    app.onOpen = [] {
        QTimer::singleShot(0, [] { rb::dispatch([] { rb::Quit(5); }); });
        throw rb::OutOfBoundsException("in open");
    };
    EXPECT_EQ(runBounded(), 5);
    EXPECT_EQ(app.seen, QStringList({"OutOfBounds: in open"}));
}

TEST_F(Dispatch, AWindowDesignedVisibleAppearsWhenOpenRaisedBeforeShowingIt)
{
    rb::Window designedVisible(QStringLiteral("shown at start"), 0, 0, 100, 100);
    designedVisible.ShownAtStart(true);
    rb::Window designedHidden(QStringLiteral("hidden"), 0, 0, 100, 100);
    app.onOpen = [] {
        QTimer::singleShot(0, [] { rb::dispatch([] { rb::Quit(0); }); });
        throw rb::NilObjectException("settings unreadable");
    };
    EXPECT_EQ(runBounded(), 0);
    EXPECT_TRUE(designedVisible.opened());
    EXPECT_TRUE(designedVisible.Visible());
    EXPECT_FALSE(designedHidden.opened());
}

TEST_F(Dispatch, QuitBeforeTheLoopRunsEndsItAtOnce)
{
    rb::Quit(7);
    EXPECT_EQ(runBounded(), 7);
    EXPECT_EQ(app.opened, 0);
    EXPECT_EQ(rb::RuntimeExit(), 7);

    // The request is used up: the next run turns until its own Quit.
    app.onOpen = [] { rb::Quit(0); };
    EXPECT_EQ(runBounded(), 0);
    EXPECT_EQ(app.opened, 1);
}

TEST(Application, MenuBarAndRegistrationEndWithTheObject)
{
    auto *bar = reinterpret_cast<rb::MenuBar *>(0x10); // only stored, never used
    {
        RecordingApp a;
        EXPECT_EQ(a.MenuBar(), nullptr);
        a.MenuBar(bar);
        EXPECT_EQ(a.MenuBar(), bar);
        rb::RuntimeRegisterAppObject(&a);
        EXPECT_EQ(rb::app(), &a);
        EXPECT_TRUE(rb::RuntimeUnhandledException(rb::RuntimeException("x")));
    }
    EXPECT_EQ(rb::app(), nullptr);
    EXPECT_FALSE(rb::RuntimeUnhandledException(rb::RuntimeException("x")));
}

} // namespace
