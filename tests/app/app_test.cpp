// The application object and the main window's opening: the settings opened before the MIDI window
// reads its ports, the window moved right by its width, the MIDI window created and hidden again
// without being marked shown, the Abort key styled white on red, the link state reported; and
// what the program does with an exception that nothing caught.
#include "rbframework/dispatch.h"
#include "rbframework/testseam.h"
#include "support/config.h"
#include "tests/common/key_pixels.h"
#include "tests/common/program_fixture.h"

#include <QApplication>
#include <QDir>
#include <QTest>

using namespace korvanetest;
using korvane::vokey;

namespace
{

const QString outOfBounds = "An OutOfBounds Exception error has occurred!";

using keypixels::countInside;
using keypixels::solid;

// An index error of a kind of its own.
class RowOutOfRange : public rb::OutOfBoundsException
{
  public:
    using rb::OutOfBoundsException::OutOfBoundsException;
};

using AppObject = ProgramTest;

// Counts the windows that reach the screen, by title: each QEvent::Show of a top-level widget.
class ShownWindows : public QObject
{
  public:
    ShownWindows() { qApp->installEventFilter(this); }
    ~ShownWindows() override { qApp->removeEventFilter(this); }
    int count(const QString &title) const { return int(shown.count(title)); }

  protected:
    bool eventFilter(QObject *target, QEvent *event) override
    {
        auto *w = qobject_cast<QWidget *>(target);
        if (event->type() == QEvent::Show && w && w->isWindow())
            shown << w->windowTitle();
        return false;
    }

  private:
    QStringList shown;
};

TEST_F(AppObject, OnlyAnIndexOutOfBoundsIsShownAndEveryExceptionCountsAsHandled)
{
    const struct {
        const char *what;
        std::function<void()> raise;
        bool shown;
    } cases[] = {
        {"index out of bounds", [] { throw rb::OutOfBoundsException("row 7 of 5"); }, true},
        {"a kind of index out of bounds", [] { throw RowOutOfRange("row 9"); }, true},
        {"nil object", [] { throw rb::NilObjectException("no stream"); }, false},
        {"any other runtime exception", [] { throw rb::RuntimeException("other"); }, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        rb::testseam::reset();
        // Raised inside an event handler, which the framework enters through its one door.
        rb::dispatch(c.raise);
        EXPECT_EQ(rb::testseam::shownMessages(), c.shown ? QStringList{outOfBounds} : QStringList{});

        try {
            c.raise();
        } catch (const rb::RuntimeException &e) {
            EXPECT_TRUE(app.Event_UnhandledException(e)) << "handled: the event loop goes on";
        }
    }
}

TEST_F(AppObject, TheProgramGoesOnAfterAnUncaughtException)
{
    saveUnitPorts();
    openProgram();
    rb::dispatch([] { throw rb::OutOfBoundsException("index"); });
    ASSERT_EQ(rb::testseam::shownMessages(), QStringList{outOfBounds});

    click(mainWindow().kreadeprom());
    poll();
    EXPECT_EQ(mainWindow().corerev().Caption(), "Core 02.05 Build 00.1A HW 01.00");
    EXPECT_EQ(rb::testseam::shownMessages().size(), 1) << "shown once";
}

TEST_F(AppObject, OpeningReadsTheSettingsNamedKorvaneBeforeTheMidiWindowOpensItsPorts)
{
    saveUnitPorts();
    ASSERT_TRUE(QFile::exists(settingsFolder.filePath("korvane.ini")));
    korvane::config::release(); // nothing in memory: the open event must read the file

    openProgram();
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
    EXPECT_TRUE(io().midiin1().portopen);
    EXPECT_TRUE(io().midiout1().portopen);
    EXPECT_EQ(io().midiin1().Text(), portRow(UnitIn));
    EXPECT_EQ(mainWindow().showmidi().caption, "Midi OK");
}

TEST_F(AppObject, OpeningWithoutSettingsSaysSoAndStillShowsTheWindow)
{
    openProgram();
    EXPECT_EQ(rb::testseam::shownMessages(), QStringList{"config file missing"});
    EXPECT_TRUE(mainWindow().Visible());
    EXPECT_EQ(io().midiin1().ListIndex(), 0);
    EXPECT_EQ(mainWindow().showmidi().caption, "Midi Not Open - click here to select port");
    EXPECT_EQ(mainWindow().showmidi().litcolor, 0xFF0000u);
}

TEST_F(AppObject, SettingsThatCannotBeReadEndTheOpeningQuietly)
{
    ASSERT_TRUE(QDir(settingsFolder.path()).mkdir("korvane.ini")); // a folder where the file belongs
    openProgram();
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
    EXPECT_EQ(rb::openWindow<korvane::midiio>(), nullptr) << "the opening ended before the main window";
    korvane::main *main = rb::openWindow<korvane::main>();
    EXPECT_TRUE(main == nullptr || !main->Visible());
}

TEST_F(AppObject, MainWindowOpensOneWidthToTheRightWithTheMidiWindowMadeAndHidden)
{
    saveUnitPorts();
    korvane::main &w = mainWindow();
    const int left = w.Left(), top = w.Top();
    ASSERT_EQ(rb::openWindow<korvane::midiio>(), nullptr);

    openProgram();
    EXPECT_TRUE(w.Visible());
    EXPECT_EQ(w.Left(), left + 528);
    EXPECT_EQ(w.Top(), top);

    korvane::midiio *midi = rb::openWindow<korvane::midiio>();
    ASSERT_NE(midi, nullptr);
    EXPECT_TRUE(midi->opened()) << "shown once, which opened its ports";
    EXPECT_TRUE(midi->midiout1().portopen);
    EXPECT_FALSE(midi->Visible());
    EXPECT_FALSE(midi->fvisible) << "plain Show and Hide leave it unmarked";
    EXPECT_EQ(w.showmidi().caption, "Midi OK") << "the link state reported";
    EXPECT_EQ(w.showmidi().litcolor, 0x00FF00u);

    // Not marked shown: its traffic lists stay empty.
    click(w.kreadeprom());
    poll();
    EXPECT_EQ(midi->eListout().ListCount(), 0);
    EXPECT_EQ(midi->eListblk().ListCount(), 0);
}

TEST_F(AppObject, TheMidiWindowShownAndHiddenAtOpeningNeverReachesTheScreenYetOpensLaterAsUsual)
{
    const QString midiTitle = QStringLiteral("Select Midi Input and Output Ports");
    saveUnitPorts();
    ShownWindows shown;
    openProgram();
    QApplication::processEvents();
    EXPECT_EQ(shown.count(QStringLiteral("Korvane")), 1);
    EXPECT_EQ(shown.count(midiTitle), 0) << "no flash of the MIDI window at start";
    EXPECT_TRUE(io().opened());
    EXPECT_TRUE(io().midiin1().portopen && io().midiout1().portopen);

    click(mainWindow().kview());
    EXPECT_EQ(shown.count(midiTitle), 1);
    EXPECT_TRUE(io().Visible());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(io().widget()));
    EXPECT_TRUE(io().midiout1().widget()->isVisible());
    click(io().khide());
    EXPECT_FALSE(io().Visible());
}

TEST_F(AppObject, AbortKeyReadsAbortWhiteOnRed)
{
    openProgram();
    vokey &key = mainWindow().kabort();
    EXPECT_FALSE(key.Visible());
    EXPECT_TRUE(key.Enabled());
    EXPECT_EQ(key.caption, "Abort");
    EXPECT_FALSE(key.lit);
    EXPECT_EQ(key.offcolor, 0xFF0000u);
    EXPECT_EQ(key.TextOffColor, 0xFFFFFFu);
    // Drawn already, as it first appears: a red key with a white caption.
    EXPECT_EQ(key.surface().pixel(3, key.Height() / 2), solid(0xFF0000));
    EXPECT_GT(countInside(key, 0xFF0000), key.Width() * key.Height() / 2);
    EXPECT_GT(countInside(key, 0xFFFFFF), 10) << "the caption";
    EXPECT_EQ(countInside(key, 0x80FF80), 0) << "nothing of the design's lit colour";
}

} // namespace
