// The whole program, started through its real start-up sequence (programEntry) against the
// simulated MIDI service and unit, and driven as a user drives it: controls and menus with Qt input
// events, file choosers answered by script. The script fires the MIDI window's poll timer and the
// main window's Timer1 by hand; only where a test is about the event loop itself does it let the
// timers run on their clocks, waiting for a condition within a generous bound.

#include "app/startup.h"
#include "midilink/midisr.h"
#include "rbframework/application.h"
#include "rbframework/dispatch.h"
#include "rbframework/menu.h"
#include "rbframework/testseam.h"
#include "support/config.h"
#include "tests/common/program_fixture.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <numeric>
#include <random>
#include <typeinfo>

namespace
{

using namespace korvanetest;
namespace seam = rb::testseam;

// Pages of the main window's tab panel.
enum Page { Connect, UpdateSW, Help, SetIP, Debug };

constexpr std::uint8_t firmwareBlock = 0x04;
constexpr std::size_t blockBytes = 22;

const QString linkDown = QStringLiteral("Midi Not Open - click here to select port");
const QString indexError = QStringLiteral("An OutOfBounds Exception error has occurred!");

// An image whose bytes run through every value, high bit set or not.
Bytes pattern(std::size_t size)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = std::uint8_t(i * 37 + 11);
    return b;
}

// Random bytes that hold every byte value at least once.
Bytes everyByteValueShuffled()
{
    std::mt19937 random(20240611);
    Bytes b(256);
    std::iota(b.begin(), b.end(), std::uint8_t(0));
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 300; ++i)
        b.push_back(std::uint8_t(byte(random)));
    std::shuffle(b.begin(), b.end(), random);
    return b;
}

// The frames of a whole download of the image: blocks of 22 bytes, the last one shorter, then the
// empty block.
std::vector<Bytes> blockFrames(const Bytes &image)
{
    std::vector<Bytes> frames;
    for (std::size_t at = 0; at < image.size(); at += blockBytes) {
        const auto end = image.begin() + std::ptrdiff_t(std::min(image.size(), at + blockBytes));
        frames.push_back(sim::packFrame(firmwareBlock, Bytes(image.begin() + std::ptrdiff_t(at), end)));
    }
    frames.push_back(sim::packFrame(firmwareBlock, {}));
    return frames;
}

// The payload sizes of those blocks.
std::vector<std::size_t> blockSizes(std::size_t imageSize)
{
    std::vector<std::size_t> sizes(imageSize / blockBytes, blockBytes);
    if (imageSize % blockBytes != 0)
        sizes.push_back(imageSize % blockBytes);
    sizes.push_back(0);
    return sizes;
}

std::vector<Bytes> firstOf(const std::vector<Bytes> &frames, std::size_t count)
{
    return {frames.begin(), frames.begin() + std::ptrdiff_t(std::min(count, frames.size()))};
}

std::vector<std::uint8_t> unitCommandCodes()
{
    std::vector<std::uint8_t> codes;
    for (const sim::Command &c : sim::unitCommands()) {
        EXPECT_TRUE(c.valid) << c.error;
        codes.push_back(c.code);
    }
    return codes;
}

// How often the unit answered with this code.
int answersWith(std::uint8_t code)
{
    const auto answers = sim::unitAnswers();
    return int(std::count_if(answers.begin(), answers.end(),
                             [code](const Bytes &a) { return a.size() > 3 && a[3] == code; }));
}

int rowOf(const rb::PopupMenu &menu, const QString &text)
{
    for (int row = 0; row < menu.ListCount(); ++row)
        if (menu.List(row) == text)
            return row;
    ADD_FAILURE() << "no row " << text.toStdString();
    return 0;
}

// The settings file's lines, alternating key and value.
QStringList settingsLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

class EndToEnd : public SimulatedUnitTest
{
  protected:
    // Starts the program and runs the script in its event loop once the application has opened.
    // The script ends the program as a user does (Close, File > Quit); a script that fails, raises
    // or leaves the program running is ended by quitting it, so that nothing hangs. Answers the
    // program's exit code.
    int runProgram(const std::function<void()> &script);

    // A click on the page's tab.
    static void showPage(Page page);
    // A menu command chosen with the mouse: the menu's title in the main window's menu bar, then the item.
    static void chooseMenu(rb::MenuItem &menu, rb::MenuItem &item);
    // A keyboard shortcut of the menus ("Cmd+s" is Ctrl+S here), typed into the main window.
    static void typeShortcut(Qt::Key key);
    // Ticks of the poller until done holds, at most maxTicks; answers done().
    bool pollUntil(const std::function<bool()> &done, int maxTicks);
    // Ticks of the main window's Timer1.
    static void tick(int ticks);
    // Ticks of the poller and of Timer1 in turn, as the event loop runs them, until a countdown
    // has run out.
    void waitOutTheCountdown()
    {
        for (int i = 0; i < 10; ++i) {
            poll();
            tick(1);
        }
    }
    // The download has ended with "Finished"; until its first block the position keeps the last text.
    static bool finished()
    {
        return !korvane::midisr::downfw && mainWindow().lcount().Caption() == QLatin1String("Finished");
    }
    // The firmware blocks written on the unit's port, in order.
    static std::vector<Bytes> blocksSent();

    // The user's sequence of an update up to Start: Enable, File with the image chosen, Start.
    void startDownload(const rb::FolderItemPtr &image);
    // The status key as the user sees it.
    static void expectLinkShown(bool up);

    rb::FolderItemPtr writeFile(const QString &name, const QByteArray &bytes);
    rb::FolderItemPtr writeImage(const Bytes &bytes)
    {
        return writeFile(QStringLiteral("image.bin"),
                         QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())));
    }

    QTemporaryDir files;
};

int EndToEnd::runProgram(const std::function<void()> &script)
{
    QObject scope; // what is still queued for the script goes with it when the program has ended
    bool ran = false;
    const auto act = [&] {
        ran = true;
        try {
            script();
        } catch (const std::exception &e) {
            ADD_FAILURE() << "the script raised " << typeid(e).name() << ": " << e.what();
        }
        if (HasFailure()) {
            rb::Quit(1);
            return;
        }
        // Runs only if the loop goes on, which it does not once the program has quit.
        QTimer::singleShot(0, &scope, [] {
            ADD_FAILURE() << "the script left the program running";
            rb::Quit(1);
        });
    };
    // The loop raises the application's open event from an event it queues as it starts; the user
    // acts from an event queued behind that one.
    QTimer::singleShot(0, &scope, [&] { QTimer::singleShot(0, &scope, act); });
    int argc = 1;
    char name[] = "Korvane";
    char *argv[] = {name, nullptr};
    const int exitCode = korvane::programEntry(argc, argv);
    EXPECT_TRUE(ran) << "the program ended before the user could act";
    return exitCode;
}

void EndToEnd::showPage(Page page)
{
    auto *bar = qobject_cast<QTabBar *>(mainWindow().TabPanel1().focusTarget());
    ASSERT_NE(bar, nullptr);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
    ASSERT_EQ(mainWindow().TabPanel1().Value(), page);
}

void EndToEnd::chooseMenu(rb::MenuItem &menu, rb::MenuItem &item)
{
    auto *bar = mainWindow().widget()->findChild<QMenuBar *>();
    ASSERT_NE(bar, nullptr);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu.action()).center());
    QMenu *popup = menu.menu();
    ASSERT_TRUE(popup && popup->isVisible()) << menu.Name().toStdString() << " did not open";
    ASSERT_TRUE(item.action()->isEnabled()) << item.Name().toStdString() << " is disabled";
    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(item.action()).center());
    ASSERT_FALSE(popup->isVisible()) << menu.Name().toStdString() << " did not close";
}

void EndToEnd::typeShortcut(Qt::Key key)
{
    QWidget *window = mainWindow().widget();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, key, Qt::ControlModifier);
}

bool EndToEnd::pollUntil(const std::function<bool()> &done, int maxTicks)
{
    for (int i = 0; i < maxTicks && !done(); ++i)
        poll();
    return done();
}

void EndToEnd::tick(int ticks)
{
    for (int i = 0; i < ticks; ++i)
        ASSERT_TRUE(mainWindow().Timer1().fire());
}

std::vector<Bytes> EndToEnd::blocksSent()
{
    std::vector<Bytes> blocks;
    for (const Bytes &f : framesSent())
        if (f.size() > 3 && f[3] == firmwareBlock)
            blocks.push_back(f);
    return blocks;
}

void EndToEnd::startDownload(const rb::FolderItemPtr &image)
{
    korvane::main &w = mainWindow();
    ASSERT_NO_FATAL_FAILURE(showPage(UpdateSW));
    click(w.kenabsw());
    poll(3); // the unit acknowledges the enable and answers the revision request
    seam::answerNextDialog(image);
    click(w.kfile());
    ASSERT_EQ(w.desc().ListCount(), 1);
    EXPECT_EQ(w.desc().List(0), image->Name());
    ASSERT_TRUE(w.kstart().Enabled());
    click(w.kstart());
}

void EndToEnd::expectLinkShown(bool up)
{
    korvane::vokey &key = mainWindow().showmidi();
    EXPECT_TRUE(key.lit);
    EXPECT_EQ(key.caption, up ? "Midi OK" : linkDown);
    // Lime with a black caption, or red with a white one; the fill beside the caption shows it.
    EXPECT_EQ(key.litcolor, up ? 0x00FF00u : 0xFF0000u);
    EXPECT_EQ(key.TextLitcolor, up ? 0x000000u : 0xFFFFFFu);
    EXPECT_EQ(key.surface().pixel(3, key.Height() / 2), up ? qRgb(0, 0xFF, 0) : qRgb(0xFF, 0, 0));
}

rb::FolderItemPtr EndToEnd::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = files.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    EXPECT_EQ(file.write(bytes), bytes.size());
    return std::make_shared<rb::FolderItem>(path);
}

// ---- Ports and settings

TEST_F(EndToEnd, FirstRunChoosesThePortsWhichTheNextStartReopens)
{
    const QString settings = settingsFolder.filePath(QStringLiteral("korvane.ini"));
    const int first = runProgram([&] {
        EXPECT_EQ(seam::shownMessages(), QStringList{QStringLiteral("config file missing")});
        EXPECT_FALSE(QFile::exists(settings));
        EXPECT_EQ(io().midiin1().ListIndex(), 0);
        EXPECT_EQ(io().midiin1().Text(), "Select");
        EXPECT_EQ(io().midiout1().ListIndex(), 0);
        EXPECT_EQ(io().midiout1().Text(), "Select");
        EXPECT_FALSE(sim::isOpen(UnitIn));
        EXPECT_FALSE(sim::isOpen(UnitOut));
        expectLinkShown(false);
        EXPECT_FALSE(io().Visible());

        click(mainWindow().showmidi()); // "click here to select port"
        ASSERT_TRUE(io().Visible());
        ASSERT_NO_FATAL_FAILURE(chooseRow(io().midiin1(), rowOf(io().midiin1(), portRow(UnitIn))));
        EXPECT_TRUE(sim::isOpen(UnitIn));
        expectLinkShown(false);
        ASSERT_NO_FATAL_FAILURE(chooseRow(io().midiout1(), rowOf(io().midiout1(), portRow(UnitOut))));
        EXPECT_TRUE(sim::isOpen(UnitOut));
        expectLinkShown(true);
        click(io().khide());
        EXPECT_FALSE(io().Visible());
        expectLinkShown(true);

        const QStringList lines = settingsLines(settings);
        EXPECT_EQ(lines.size(), 256);
        EXPECT_EQ(lines.mid(0, 4), (QStringList{QStringLiteral("Minport"), portRow(UnitIn),
                                                QStringLiteral("Moutport"), portRow(UnitOut)}));
        EXPECT_EQ(seam::shownMessages(), QStringList{QStringLiteral("config file missing")});
        click(mainWindow().kclose());
    });
    EXPECT_EQ(first, 0);
    EXPECT_FALSE(sim::isOpen(UnitIn)) << "the ports close as the program ends";
    EXPECT_FALSE(sim::isOpen(UnitOut));

    seam::reset();
    const int second = runProgram([&] {
        EXPECT_TRUE(seam::shownMessages().isEmpty()) << seam::shownMessages().join('|').toStdString();
        EXPECT_EQ(io().midiin1().Text(), portRow(UnitIn));
        EXPECT_EQ(io().midiout1().Text(), portRow(UnitOut));
        EXPECT_TRUE(sim::isOpen(UnitIn));
        EXPECT_TRUE(sim::isOpen(UnitOut));
        expectLinkShown(true);
        // The reopened ports carry a request and its answer.
        click(mainWindow().kreadeprom());
        poll();
        EXPECT_EQ(mainWindow().corerev().Caption(), "Core 02.05 Build 00.1A HW 01.00");
        ASSERT_NO_FATAL_FAILURE(chooseMenu(mainWindow().FileMenu(), mainWindow().FileQuit()));
    });
    EXPECT_EQ(second, 0);
    EXPECT_EQ(sim::openCount(UnitIn), 2);
    EXPECT_EQ(sim::openCount(UnitOut), 2);
}

// ---- Firmware download

struct ImageCase {
    const char *name;
    Bytes image;
};

void PrintTo(const ImageCase &c, std::ostream *os)
{
    *os << c.image.size() << " bytes";
}

class Download : public EndToEnd, public ::testing::WithParamInterface<ImageCase>
{
};

TEST_P(Download, EveryByteArrivesOnceInOrderAndTheProgressEndsAtTheFullCount)
{
    const Bytes &image = GetParam().image;
    const rb::FolderItemPtr bin = writeImage(image);
    const std::vector<Bytes> expected = blockFrames(image);
    saveUnitPorts();
    const int exitCode = runProgram([&] {
        ASSERT_NO_FATAL_FAILURE(startDownload(bin));
        ASSERT_TRUE(pollUntil(finished, int(expected.size()) + 2))
            << mainWindow().lcount().Caption().toStdString();
        EXPECT_EQ(sim::unitImage(), image);
        EXPECT_TRUE(sim::unitImageComplete());
        EXPECT_EQ(sim::unitBlockSizes(), blockSizes(image.size()));
        EXPECT_EQ(blocksSent(), expected);

        korvane::main &w = mainWindow();
        EXPECT_EQ(seam::beepCount(), 3);
        EXPECT_EQ(w.DCount().Caption(), QString::number(image.size()));
        EXPECT_EQ(w.pbar().Maximum(), int(image.size()));
        EXPECT_EQ(w.pbar().Value(), int(image.size()));
        EXPECT_FALSE(w.pbar().Visible());
        EXPECT_FALSE(w.kabort().Enabled());
        // Also after an empty image, which finishes inside Start itself.
        EXPECT_FALSE(w.kabort().Visible());
        EXPECT_FALSE(w.kstart().Enabled());
        EXPECT_TRUE(w.KReset().Enabled());
        EXPECT_TRUE(w.kclose().Enabled());
        EXPECT_TRUE(seam::shownMessages().isEmpty()) << seam::shownMessages().join('|').toStdString();
        click(w.kclose());
    });
    EXPECT_EQ(exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Images, Download,
                         ::testing::Values(ImageCase{"Empty", {}}, ImageCase{"OneByte", pattern(1)},
                                           ImageCase{"OneShortOfABlock", pattern(21)},
                                           ImageCase{"OneBlock", pattern(22)},
                                           ImageCase{"OneBlockAndOneByte", pattern(23)},
                                           ImageCase{"FiveThousandBytes", pattern(5000)},
                                           ImageCase{"EveryByteValueShuffled", everyByteValueShuffled()}),
                         [](const ::testing::TestParamInfo<ImageCase> &info) { return info.param.name; });

TEST_F(EndToEnd, AbortStopsTheDownloadAndTheNextStartSendsTheWholeImage)
{
    const Bytes image = pattern(5000);
    const rb::FolderItemPtr bin = writeImage(image);
    const std::vector<Bytes> expected = blockFrames(image);
    saveUnitPorts();
    sim::setUnitLag(1); // each acknowledgement is read at the poller's tick after its block
    const int exitCode = runProgram([&] {
        korvane::main &w = mainWindow();
        ASSERT_NO_FATAL_FAILURE(startDownload(bin));
        poll(20);
        ASSERT_TRUE(w.kabort().Visible());
        ASSERT_TRUE(w.lcount().Caption().startsWith('$'));
        click(w.kabort());
        EXPECT_EQ(w.lcount().Caption(), "Aborted");
        EXPECT_FALSE(w.kabort().Visible());
        EXPECT_FALSE(w.pbar().Visible());
        EXPECT_TRUE(w.kclose().Enabled());
        EXPECT_TRUE(w.KReset().Enabled());
        EXPECT_FALSE(w.kstart().Enabled());
        EXPECT_FALSE(w.kfile().Enabled());
        EXPECT_EQ(seam::beepCount(), 0);

        const std::vector<Bytes> before = framesSent();
        poll(10); // the acknowledgement of the last block still comes in
        EXPECT_EQ(framesSent(), before) << "sent after Abort";
        const std::vector<Bytes> sent = blocksSent();
        ASSERT_GT(sent.size(), 2u);
        ASSERT_LT(sent.size(), expected.size() - 1);
        EXPECT_EQ(sent, firstOf(expected, sent.size()));
        EXPECT_EQ(sim::unitImage(),
                  Bytes(image.begin(), image.begin() + std::ptrdiff_t(sent.size() * blockBytes)));
        EXPECT_FALSE(sim::unitImageComplete());

        // Abort, then Reset and try again: Enable comes back when Reset's countdown has run out.
        click(w.KReset());
        ASSERT_NO_FATAL_FAILURE(tick(10));
        ASSERT_TRUE(w.kenabsw().Enabled());
        sim::clearReceived(UnitOut);
        click(w.kenabsw()); // opens the chosen file again from its start
        poll(3);
        ASSERT_TRUE(w.kstart().Enabled());
        click(w.kstart());
        ASSERT_TRUE(pollUntil(finished, int(expected.size()) + 5)) << w.lcount().Caption().toStdString();
        EXPECT_EQ(sim::unitImage(), image);
        EXPECT_TRUE(sim::unitImageComplete());
        EXPECT_EQ(blocksSent(), expected);
        EXPECT_EQ(w.DCount().Caption(), "5000");
        click(w.kclose());
    });
    EXPECT_EQ(exitCode, 0);
}

// A unit that stops answering keeps the download waiting: no block is repeated, and File > Abort
// ends it.
TEST_F(EndToEnd, AUnitThatStopsAnsweringKeepsTheDownloadWaitingUntilFileAbort)
{
    const Bytes image = pattern(2000);
    const rb::FolderItemPtr bin = writeImage(image);
    const std::vector<Bytes> expected = blockFrames(image);
    saveUnitPorts();
    sim::setUnitLag(1);
    const int exitCode = runProgram([&] {
        korvane::main &w = mainWindow();
        ASSERT_NO_FATAL_FAILURE(startDownload(bin));
        poll(10);
        sim::setUnitMode(sim::Mode::Silent);
        poll(10);
        const std::vector<Bytes> frames = framesSent();
        poll(50);
        EXPECT_EQ(framesSent(), frames) << "the download waits";

        const std::vector<Bytes> sent = blocksSent();
        ASSERT_GT(sent.size(), 2u);
        ASSERT_LT(sent.size(), expected.size() - 1);
        EXPECT_EQ(sent, firstOf(expected, sent.size())) << "each block once, in order";
        EXPECT_EQ(sim::unitImage(),
                  Bytes(image.begin(), image.begin() + std::ptrdiff_t(sent.size() * blockBytes)));
        EXPECT_EQ(io().ackcnt, answersWith(0x7F));
        EXPECT_EQ(io().ackcount().Text(), QString::number(answersWith(0x7F)));
        EXPECT_EQ(w.lcount().Caption(), "$" + QString::number(sent.size() * blockBytes, 16).toUpper());
        EXPECT_TRUE(w.kabort().Visible());
        EXPECT_FALSE(w.kclose().Enabled());
        EXPECT_FALSE(w.KReset().Enabled());

        ASSERT_NO_FATAL_FAILURE(chooseMenu(w.FileMenu(), w.FileAbort()));
        EXPECT_EQ(w.lcount().Caption(), "Aborted");
        EXPECT_FALSE(w.kabort().Visible());
        EXPECT_TRUE(w.kclose().Enabled());
        sim::setUnitMode(sim::Mode::Normal);
        poll(5);
        EXPECT_EQ(framesSent(), frames);
        click(w.kclose());
    });
    EXPECT_EQ(exitCode, 0);
}

TEST_F(EndToEnd, RealTimeMessagesBetweenTheAnswersLeaveTheImageWhole)
{
    const Bytes image = everyByteValueShuffled();
    const rb::FolderItemPtr bin = writeImage(image);
    const std::vector<Bytes> expected = blockFrames(image);
    saveUnitPorts();
    sim::setUnitLag(1);
    const int exitCode = runProgram([&] {
        ASSERT_NO_FATAL_FAILURE(startDownload(bin));
        int clocks = 0;
        for (int i = 0; i < int(expected.size()) + 5 && !finished(); ++i) {
            sim::queueShort(UnitIn, 0xF8); // timing clock
            sim::queueShort(UnitIn, 0xFC); // stop
            ++clocks;
            poll();
        }
        ASSERT_TRUE(finished()) << mainWindow().lcount().Caption().toStdString();
        poll(); // what the tick that sent the end block left
        EXPECT_EQ(sim::unitImage(), image);
        EXPECT_TRUE(sim::unitImageComplete());
        EXPECT_EQ(blocksSent(), expected);
        // They did reach the program: each has its row.
        int rows = 0;
        for (int row = 0; row < io().eListin().ListCount(); ++row)
            rows += io().eListin().List(row) == "realtime: F8 00 00 00 ";
        EXPECT_EQ(rows, clocks);
        click(mainWindow().kclose());
    });
    EXPECT_EQ(exitCode, 0);
}

// ---- Downloads with any unit

// The two kinds of unit a download must hold with: one that acknowledges every command, and one
// that acknowledges firmware blocks only (both answer the revision and address requests).
enum class Unit { AcknowledgesEveryCommand, AcknowledgesBlocksOnly };

class AnyUnit;

// What a user does around a download. Whatever it is, the download ends one of two ways: the unit
// holds the whole image and "Finished" shows, or it ends as Abort ends it; and the unit never holds
// two blocks unanswered.
struct Scenario {
    const char *name;
    std::function<void(AnyUnit &)> beforeStart; // after Enable (its answers not read yet) and File
    std::function<void(AnyUnit &)> during;      // once the download's first blocks have gone out
    bool finishes = true;
    std::size_t imageSize = 100;
    // A block typed by hand for another device byte, which the unit takes as well: it reaches the
    // unit while the download's last block is unanswered, as the user asked.
    bool typedBlockReachesTheUnit = false;
};

void PrintTo(const Scenario &s, std::ostream *os)
{
    *os << s.name;
}

class AnyUnit : public EndToEnd, public ::testing::WithParamInterface<std::tuple<Scenario, Unit, int>>
{
  public:
    using EndToEnd::chooseRow;
    using EndToEnd::click;
    using EndToEnd::io;
    using EndToEnd::poll;
    using EndToEnd::showPage;
    using EndToEnd::tick;
    using EndToEnd::waitOutTheCountdown;

    static korvane::main &w() { return mainWindow(); }
    // Polls until the unit has answered everything sent so far.
    void waitForTheAnswers() { poll(4 * (lag() + 1)); }
    int lag() const { return std::get<2>(GetParam()); }
    // Bytes typed in the MIDI window's "Test Midi TX String" field and sent.
    void send(const QString &bytes)
    {
        if (!io().fvisible)
            click(w().kview());
        type(io().midistring(), bytes);
        click(io().sendmidi());
    }
};

TEST_P(AnyUnit, TheDownloadFinishesWholeOrEndsAsAbortDoes)
{
    const auto &[scenario, unit, lag] = GetParam();
    const Bytes image = pattern(scenario.imageSize);
    const rb::FolderItemPtr bin = writeImage(image);
    saveUnitPorts();
    sim::setUnitMode(unit == Unit::AcknowledgesEveryCommand ? sim::Mode::Normal : sim::Mode::BlocksOnly);
    sim::setUnitLag(lag);
    sim::setUnitTakesAnyDevice(scenario.typedBlockReachesTheUnit);
    const int maxPolls = 400 * (lag + 1);
    const int exitCode = runProgram([&] {
        ASSERT_NO_FATAL_FAILURE(showPage(UpdateSW));
        click(w().kenabsw());
        seam::answerNextDialog(bin);
        click(w().kfile());
        if (scenario.beforeStart)
            scenario.beforeStart(*this);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_NO_FATAL_FAILURE(showPage(UpdateSW));
        ASSERT_TRUE(w().kstart().Enabled());
        click(w().kstart());
        if (scenario.during) {
            pollUntil([] { return !korvane::midisr::downfw || blocksSent().size() >= 2; }, maxPolls);
            ASSERT_TRUE(korvane::midisr::downfw) << "the download ended before the user could act";
            scenario.during(*this);
            ASSERT_FALSE(HasFatalFailure());
        }
        ASSERT_TRUE(pollUntil([] { return !korvane::midisr::downfw; }, maxPolls))
            << "the download never ended";

        const std::vector<std::size_t> unanswered = sim::unitUnansweredBeforeEachBlock();
        if (!scenario.typedBlockReachesTheUnit) {
            EXPECT_EQ(unanswered, std::vector<std::size_t>(unanswered.size(), 0)) << "a block sent ahead";
        }
        if (scenario.finishes) {
            EXPECT_EQ(w().lcount().Caption(), "Finished");
            EXPECT_EQ(sim::unitImage(), image);
            EXPECT_TRUE(sim::unitImageComplete());
            EXPECT_EQ(w().DCount().Caption(), QString::number(image.size()));
        } else {
            EXPECT_EQ(w().lcount().Caption(), "Aborted");
            EXPECT_FALSE(sim::unitImageComplete());
            const std::size_t blocks = blocksSent().size();
            poll(4 * (lag + 1));
            EXPECT_EQ(blocksSent().size(), blocks) << "a block after the end";
        }
        EXPECT_TRUE(seam::shownMessages().isEmpty()) << seam::shownMessages().join('|').toStdString();
        click(w().kclose());
    });
    EXPECT_EQ(exitCode, 0);
}

const Scenario scenarios[] = {
    // Start before the unit has answered the Enable: the first block waits for its revision answer.
    {"StartAtOnce", {}, {}},
    {"StartAtOnceWithAnEmptyImage", {}, {}, true, 0},
    {"StartAtOnceWithOneByte", {}, {}, true, 1},
    {"StartAtOnceWithOneBlock", {}, {}, true, 22},
    {"StartAtOnceWithOneBlockAndOneByte", {}, {}, true, 23},
    {"StartOnceTheUnitHasAnswered", [](AnyUnit &t) { t.waitForTheAnswers(); }, {}},
    // Set goes out after the Enable's revision answer: Start asks for the revisions again.
    {"AddressReadAndSetBeforeStart",
     [](AnyUnit &t) {
         t.showPage(SetIP);
         t.click(t.w().kreadip());
         t.waitForTheAnswers();
         ASSERT_TRUE(t.w().ksetip().Enabled());
         t.click(t.w().ksetip());
     },
     {}},
    {"SetAndReadsRefusedDuringADownload",
     [](AnyUnit &t) {
         t.showPage(SetIP);
         t.click(t.w().kreadip());
         t.waitForTheAnswers();
     },
     [](AnyUnit &t) {
         t.showPage(SetIP);
         EXPECT_FALSE(t.w().ksetip().Enabled());
         EXPECT_FALSE(t.w().kreadip().Enabled());
         t.click(t.w().ksetip());
         t.click(t.w().kreadip());
         t.showPage(Connect);
         EXPECT_FALSE(t.w().kreadeprom().Enabled());
         t.click(t.w().kreadeprom());
         t.showPage(UpdateSW);
     }},
    {"SeventyRevisionReadsDuringADownload",
     {},
     [](AnyUnit &t) {
         t.showPage(Connect);
         for (int i = 0; i < 70; ++i)
             t.click(t.w().kreadeprom());
         t.showPage(UpdateSW);
     }},
    // The revision Read's countdown brings Enable back during the download, which starts over.
    {"EnableDuringADownload",
     [](AnyUnit &t) {
         t.showPage(Connect);
         t.click(t.w().kreadeprom());
     },
     [](AnyUnit &t) {
         t.waitOutTheCountdown();
         ASSERT_TRUE(korvane::midisr::downfw);
         ASSERT_TRUE(t.w().kenabsw().Enabled());
         t.click(t.w().kenabsw());
     },
     true, 1000},
    {"AbortThenEnableAndStart",
     {},
     [](AnyUnit &t) {
         t.click(t.w().kabort());
         t.showPage(Connect);
         t.click(t.w().kreadeprom());
         t.waitOutTheCountdown();
         t.showPage(UpdateSW);
         t.click(t.w().kenabsw());
         t.click(t.w().kstart());
     }},
    {"AbortResetEnableStart",
     {},
     [](AnyUnit &t) {
         t.click(t.w().kabort());
         t.click(t.w().KReset());
         t.tick(10);
         t.click(t.w().kenabsw());
         t.click(t.w().kstart());
     }},
    // Bytes typed in the MIDI window that the unit may take as a frame.
    {"UnitFrameTypedDuringADownload",
     {},
     [](AnyUnit &t) { t.send(QStringLiteral("F0 7E 7F 06 01 F7")); },
     false},
    {"BlockForAnotherDeviceTypedDuringADownload",
     {},
     [](AnyUnit &t) { t.send(QStringLiteral("F0 7E 00 04 01 41 00 F7")); },
     false,
     100,
     true},
    {"BlockForAnotherDeviceTypedBeforeStart",
     [](AnyUnit &t) {
         t.waitForTheAnswers();
         t.send(QStringLiteral("F0 7E 00 04 01 41 00 F7"));
     },
     {},
     false,
     100,
     true},
    // More frames the unit never answers than the record holds.
    {"SeventyUnansweredCommandsTypedBeforeStart",
     [](AnyUnit &t) {
         for (int i = 0; i < 70; ++i)
             t.send(QStringLiteral("F0 7E 00 32 00 F7")); // for another device
     },
     {}},
    // A port chosen again closes it: an answer on its way is lost.
    {"InputPortChosenAgainDuringADownload",
     {},
     [](AnyUnit &t) {
         t.click(t.w().kview());
         ASSERT_TRUE(QTest::qWaitForWindowExposed(t.io().widget()));
         t.chooseRow(t.io().midiin1(), 0);
         t.chooseRow(t.io().midiin1(), rowOf(t.io().midiin1(), portRow(UnitIn)));
     },
     false},
    {"RefreshDuringADownload",
     {},
     [](AnyUnit &t) {
         t.click(t.w().kview());
         t.click(t.io().krefresk());
     },
     false},
    {"UnitRefusesABlock", {}, [](AnyUnit &) { sim::setUnitMode(sim::Mode::Nak); }, false},
};

INSTANTIATE_TEST_SUITE_P(Downloads, AnyUnit,
                         ::testing::Combine(::testing::ValuesIn(scenarios),
                                            ::testing::Values(Unit::AcknowledgesEveryCommand,
                                                              Unit::AcknowledgesBlocksOnly),
                                            ::testing::Values(0, 3, 20)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == Unit::AcknowledgesEveryCommand
                                         ? "_UnitAcknowledgesEveryCommand"
                                         : "_UnitAcknowledgesBlocksOnly") +
                                    "_AnswersPollsLate" + std::to_string(std::get<2>(info.param));
                         });

// Enable; File, an image chosen; File again, cancelled (Start stays on and streams the image opened
// before); the revision Read on the Connect tab; Start; Enable once the Read's countdown has run
// out. The unit begins a new image, and no file is held to start it over from: the download ends
// as Abort ends it, never with "Finished". Choosing the file again sends it whole.
TEST_F(EndToEnd, EnableDuringADownloadWithNoFileHeldEndsItAsAbortDoes)
{
    const Bytes image = pattern(3072);
    const rb::FolderItemPtr bin = writeImage(image);
    saveUnitPorts();
    sim::setUnitLag(3);
    const int exitCode = runProgram([&] {
        korvane::main &w = mainWindow();
        ASSERT_NO_FATAL_FAILURE(showPage(UpdateSW));
        click(w.kenabsw());
        poll(3);
        seam::answerNextDialog(bin);
        click(w.kfile());
        seam::answerNextDialog(nullptr);
        click(w.kfile());
        ASSERT_NO_FATAL_FAILURE(showPage(Connect));
        click(w.kreadeprom());
        ASSERT_NO_FATAL_FAILURE(showPage(UpdateSW));
        ASSERT_TRUE(w.kstart().Enabled());
        click(w.kstart());
        ASSERT_NO_FATAL_FAILURE(waitOutTheCountdown());
        ASSERT_TRUE(korvane::midisr::downfw);
        ASSERT_NO_FATAL_FAILURE(showPage(UpdateSW));
        ASSERT_TRUE(w.kenabsw().Enabled());
        click(w.kenabsw());
        poll(20);

        EXPECT_EQ(w.lcount().Caption(), "Aborted");
        EXPECT_EQ(seam::beepCount(), 0);
        EXPECT_FALSE(korvane::midisr::downfw);
        EXPECT_FALSE(w.kabort().Visible());
        EXPECT_FALSE(w.pbar().Visible());
        EXPECT_TRUE(w.kclose().Enabled());
        EXPECT_TRUE(w.KReset().Enabled());
        EXPECT_FALSE(w.kstart().Enabled());
        EXPECT_TRUE(w.kfile().Enabled()) << "Enable offers File";
        EXPECT_TRUE(sim::unitImage().empty()) << "nothing of the image since the Enable";
        EXPECT_FALSE(sim::unitImageComplete());

        seam::answerNextDialog(bin);
        click(w.kfile());
        ASSERT_TRUE(w.kstart().Enabled());
        click(w.kstart());
        ASSERT_TRUE(pollUntil(finished, 400)) << w.lcount().Caption().toStdString();
        EXPECT_EQ(sim::unitImage(), image);
        EXPECT_TRUE(sim::unitImageComplete());
        EXPECT_EQ(w.DCount().Caption(), "3072");
        EXPECT_EQ(seam::beepCount(), 3);
        click(w.kclose());
    });
    EXPECT_EQ(exitCode, 0);
}

// ---- A tick does a bounded amount of work

// A unit that answers at once has its answer waiting at the poller's next read: still, each tick
// sends one block and returns to the event loop.
TEST_F(EndToEnd, AUnitThatAnswersAtOnceGetsOneBlockPerTick)
{
    const Bytes image = pattern(20 * blockBytes + 5);
    const rb::FolderItemPtr bin = writeImage(image);
    const std::vector<Bytes> expected = blockFrames(image);
    saveUnitPorts();
    const int exitCode = runProgram([&] {
        ASSERT_NO_FATAL_FAILURE(startDownload(bin));
        ASSERT_EQ(blocksSent().size(), 1u);
        for (std::size_t sent = 2; sent <= expected.size(); ++sent) {
            poll();
            ASSERT_EQ(blocksSent().size(), sent) << "one block per tick";
        }
        EXPECT_TRUE(finished());
        EXPECT_EQ(blocksSent(), expected);
        EXPECT_EQ(sim::unitImage(), image);
        click(mainWindow().kclose());
    });
    EXPECT_EQ(exitCode, 0);
}

// The poll timer runs on its clock against a unit that answers at once; the user clicks Abort
// while the poller reads the unit's first acknowledgement. The click waits in the event queue and
// is handled as soon as that tick returns, long before the image's 1,001 blocks have gone out.
TEST_F(EndToEnd, AbortClickedDuringALargeDownloadIsHandledAfterTheTick)
{
    const Bytes image = pattern(22000);
    const rb::FolderItemPtr bin = writeImage(image);
    saveUnitPorts();
    const int exitCode = runProgram([&] {
        korvane::main &w = mainWindow();
        ASSERT_NO_FATAL_FAILURE(startDownload(bin));
        auto &newdata = io().miditimer1().newdata;
        bool clicked = false;
        newdata = [&clicked, &w, handler = newdata](const rb::MemoryBlock &packet) {
            if (!clicked) {
                clicked = true;
                QTimer::singleShot(0, w.widget(), [&w] { click(w.kabort()); });
            }
            handler(packet);
        };
        ASSERT_TRUE(QTest::qWaitFor([] { return !korvane::midisr::downfw; }, 10000));
        EXPECT_EQ(w.lcount().Caption(), "Aborted");
        EXPECT_LE(blocksSent().size(), 3u);
        EXPECT_FALSE(sim::unitImageComplete());
        click(w.kclose());
    });
    EXPECT_EQ(exitCode, 0);
}

// ---- Unit commands

TEST_F(EndToEnd, RevisionReadFillsBothLabelsAndHoldsEnableAndReadForTenTicks)
{
    sim::setUnitRevision({0x02, 0x01, 0x03, 0x10, 0x00, 0xA5, 0x04, 0x02, 0x01, 0xFF});
    saveUnitPorts();
    const int exitCode = runProgram([&] {
        korvane::main &w = mainWindow();
        EXPECT_EQ(w.corerev().Caption(), "?.?");
        EXPECT_EQ(w.mainrev().Caption(), "?.?");
        ASSERT_TRUE(w.kenabsw().Enabled());
        click(w.kreadeprom());
        poll();
        EXPECT_EQ(unitCommandCodes(), std::vector<std::uint8_t>{0x11});
        EXPECT_EQ(w.corerev().Caption(), "Core 03.10 Build 00.A5 HW 02.01");
        EXPECT_EQ(w.mainrev().Caption(), "Main 04.02 Build 01.FF");

        EXPECT_FALSE(w.kenabsw().Enabled());
        EXPECT_TRUE(w.kreadeprom().Enabled());
        ASSERT_NO_FATAL_FAILURE(tick(1));
        EXPECT_FALSE(w.kreadeprom().Enabled());
        ASSERT_NO_FATAL_FAILURE(tick(8));
        EXPECT_FALSE(w.kenabsw().Enabled());
        EXPECT_FALSE(w.kreadeprom().Enabled());
        ASSERT_NO_FATAL_FAILURE(tick(1));
        EXPECT_TRUE(w.kenabsw().Enabled());
        EXPECT_TRUE(w.kreadeprom().Enabled());
        click(w.kclose());
    });
    EXPECT_EQ(exitCode, 0);
}

TEST_F(EndToEnd, IpAddressReadThenSetReachesTheUnit)
{
    saveUnitPorts();
    const int exitCode = runProgram([&] {
        korvane::main &w = mainWindow();
        ASSERT_NO_FATAL_FAILURE(showPage(SetIP));
        EXPECT_FALSE(w.ipaddr().Enabled());
        EXPECT_FALSE(w.ksetip().Enabled());
        click(w.kreadip());
        poll();
        EXPECT_EQ(w.ipaddr().Text(), "10.1.128.255");
        ASSERT_TRUE(w.ipaddr().Enabled());
        ASSERT_TRUE(w.ksetip().Enabled());

        ASSERT_NO_FATAL_FAILURE(type(w.ipaddr(), QStringLiteral("192.168.1.20")));
        click(w.ksetip());
        poll();
        EXPECT_EQ(sim::unitAddress(), (Bytes{192, 168, 1, 20}));
        click(w.kreadip());
        poll();
        EXPECT_EQ(w.ipaddr().Text(), "192.168.1.20");
        EXPECT_EQ(unitCommandCodes(), (std::vector<std::uint8_t>{0x33, 0x34, 0x33}));
        EXPECT_EQ(answersWith(0x7E), 0);
        click(w.kclose());
    });
    EXPECT_EQ(exitCode, 0);
}

TEST_F(EndToEnd, ResetAndFactoryResetSendTheirCommandsAndEnableReturnsAfterTheCountdown)
{
    saveUnitPorts();
    const int exitCode = runProgram([&] {
        korvane::main &w = mainWindow();
        ASSERT_NO_FATAL_FAILURE(showPage(UpdateSW));
        EXPECT_FALSE(w.KReset().Enabled());
        EXPECT_FALSE(w.kfactory().Enabled());
        click(w.kenabsw());
        poll();
        ASSERT_TRUE(w.KReset().Enabled());
        click(w.KReset());
        poll();
        EXPECT_EQ(w.lcount().Caption(), "Finished");
        EXPECT_EQ(seam::beepCount(), 3);
        EXPECT_FALSE(w.kenabsw().Enabled());
        ASSERT_TRUE(w.kfactory().Enabled());
        click(w.kfactory());
        poll();
        EXPECT_EQ(unitCommandCodes(), (std::vector<std::uint8_t>{0x09, 0x11, 0x03, 0x32}));
        EXPECT_EQ(answersWith(0x7F), 3);
        EXPECT_EQ(io().ackcnt, 3);

        ASSERT_NO_FATAL_FAILURE(tick(9));
        EXPECT_FALSE(w.kenabsw().Enabled());
        ASSERT_NO_FATAL_FAILURE(tick(1));
        EXPECT_TRUE(w.kenabsw().Enabled());
        EXPECT_TRUE(w.kfactory().Enabled()) << "only Enable turns Factory reset off";
        click(w.kclose());
    });
    EXPECT_EQ(exitCode, 0);
}

// ---- Menus and what nothing caught

TEST_F(EndToEnd, FileSaveCreatesTheUnitFileEmptyAndFileLoadChangesNothing)
{
    const QString unnamed = files.filePath(QStringLiteral("unit"));
    const rb::FolderItemPtr kept = writeFile(QStringLiteral("kept.vot"), "keys\nnames\n");
    const rb::FolderItemPtr loaded = writeFile(QStringLiteral("loaded.vot"), "first\r\nsecond\rthird");
    saveUnitPorts();
    const int exitCode = runProgram([&] {
        korvane::main &w = mainWindow();
        // File > Save with the mouse, under a name without ".vot".
        seam::answerNextDialog(std::make_shared<rb::FolderItem>(unnamed));
        ASSERT_NO_FATAL_FAILURE(chooseMenu(w.FileMenu(), w.FileSave()));
        EXPECT_EQ(contents(unnamed + ".vot"), QByteArray());
        EXPECT_FALSE(QFile::exists(unnamed));
        // Its shortcut, onto a file that holds something.
        seam::answerNextDialog(kept);
        ASSERT_NO_FATAL_FAILURE(typeShortcut(Qt::Key_S));
        EXPECT_EQ(contents(kept->NativePath()), QByteArray());
        // A cancelled save creates nothing.
        ASSERT_NO_FATAL_FAILURE(chooseMenu(w.FileMenu(), w.FileSave()));
        EXPECT_EQ(QDir(files.path()).entryList(QDir::Files).size(), 3);

        // File > Load, by its shortcut and with the mouse.
        const QString position = w.lcount().Caption();
        seam::answerNextDialog(loaded);
        ASSERT_NO_FATAL_FAILURE(typeShortcut(Qt::Key_L));
        seam::answerNextDialog(loaded);
        ASSERT_NO_FATAL_FAILURE(chooseMenu(w.FileMenu(), w.FileLoad()));
        EXPECT_EQ(contents(loaded->NativePath()), "first\r\nsecond\rthird");
        EXPECT_EQ(w.lcount().Caption(), position);

        const auto &dialogs = seam::shownDialogs();
        ASSERT_EQ(dialogs.size(), 5u);
        for (std::size_t i = 0; i < dialogs.size(); ++i) {
            EXPECT_EQ(dialogs[i].saving, i < 3) << i;
            EXPECT_EQ(dialogs[i].title, "Select a VRQ-1 file") << i;
        }
        EXPECT_EQ(dialogs[0].suggestedFileName, "VRQ1.vot");
        EXPECT_TRUE(seam::shownMessages().isEmpty()) << seam::shownMessages().join('|').toStdString();
        EXPECT_TRUE(framesSent().empty());
        click(w.kclose());
    });
    EXPECT_EQ(exitCode, 0);
}

TEST_F(EndToEnd, AnUncaughtIndexErrorIsShownOnceAndTheProgramGoesOn)
{
    saveUnitPorts();
    const int exitCode = runProgram([&] {
        // No control of the program raises one; an event handler that does stands in for it.
        rb::dispatch([] { throw rb::OutOfBoundsException(QStringLiteral("row 7 of 3")); });
        EXPECT_EQ(seam::shownMessages(), QStringList{indexError});
        rb::dispatch([] { throw rb::NilObjectException(); });
        EXPECT_EQ(seam::shownMessages(), QStringList{indexError}) << "a nil object shows nothing";

        click(mainWindow().kreadeprom());
        poll();
        EXPECT_EQ(mainWindow().mainrev().Caption(), "Main 03.01 Build 00.2C");
        click(mainWindow().kclose());
    });
    EXPECT_EQ(exitCode, 0);
}

// ---- What the program leaves behind

// Every module variable, each once, at the value the program starts from.
void expectInitialModuleState()
{
    namespace config = korvane::config;
    namespace midisr = korvane::midisr;
    EXPECT_TRUE(rb::windows().empty());
    EXPECT_EQ(rb::app(), nullptr);
    EXPECT_EQ(rb::MenuBar::handler(QStringLiteral("Helppdf")), nullptr);
    EXPECT_TRUE(std::all_of(config::parray.begin(), config::parray.end(),
                            [](const rb::String &entry) { return entry.isEmpty(); }));
    EXPECT_TRUE(config::filename.isEmpty());
    EXPECT_FALSE(config::cfound);
    EXPECT_EQ(midisr::midiidbyte, 127);
    EXPECT_FALSE(midisr::downfw);
    EXPECT_EQ(midisr::stream, nullptr);
    EXPECT_EQ(midisr::sentlen, 0);
    EXPECT_EQ(midisr::sysxmb, nullptr);
    EXPECT_EQ(midisr::sysxlen, 0);
    EXPECT_FALSE(midisr::sysxComplete);
    EXPECT_EQ(midisr::download.blockOut, std::nullopt);
    EXPECT_FALSE(midisr::download.imageBegun);
    EXPECT_TRUE(midisr::download.imageFile.isEmpty());
    // No frame is remembered as sent: the next block is frame 1, and the first acknowledgement answers it.
    EXPECT_TRUE(midisr::unanswered.quiet());
    EXPECT_EQ(midisr::recordSent(memoryBlock({0xF0, 0x7E, 0x7F, 0x04, 0x00, 0xF7}), true),
              midisr::FrameId(1));
    EXPECT_EQ(midisr::unanswered.acknowledged(), midisr::FrameId(1));
}

// The tests' fixture releases the modules with the same call as the program's end.
TEST_F(EndToEnd, QuittingDuringADownloadLeavesEveryModuleAsAtTheStart)
{
    const rb::FolderItemPtr bin = writeImage(pattern(100));
    saveUnitPorts();
    const int exitCode = runProgram([&] {
        ASSERT_NO_FATAL_FAILURE(startDownload(bin));
        // The settings are loaded, answers came in, the first block awaits its acknowledgement.
        ASSERT_FALSE(korvane::config::filename.isEmpty());
        ASSERT_NE(korvane::midisr::sysxmb, nullptr);
        ASSERT_TRUE(korvane::midisr::downfw);
        ASSERT_TRUE(korvane::midisr::download.blockOut.has_value());
        ASSERT_NO_FATAL_FAILURE(chooseMenu(mainWindow().FileMenu(), mainWindow().FileQuit()));
    });
    EXPECT_EQ(exitCode, 0);
    expectInitialModuleState();
}

} // namespace
