// The firmware download as the user drives it on the Update S/W tab: Enable, File, Start, one block
// per acknowledgement, "Finished" with three beeps, Abort, Reset and the re-enable countdown, against
// the simulated unit. The unit answers every frame at once; the poller reads its answers when the
// test ticks it. The user goes on after Enable once the unit has answered it.
#include "midilink/midisr.h"
#include "rbframework/testseam.h"
#include "support/config.h"
#include "tests/common/program_fixture.h"
#include "tests/common/unanswered_fifo.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <algorithm>
#include <functional>
#include <optional>
#include <ostream>
#include <stdio.h>
#include <sys/resource.h>

using namespace korvanetest;

namespace
{

enum Page { Connect, UpdateSW, Help, SetIP };

const Bytes enableFrame = {0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7};
const Bytes revisionFrame = {0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7};
const Bytes resetFrame = {0xF0, 0x7E, 0x7F, 0x03, 0x00, 0xF7};

constexpr std::uint8_t blockCommand = 0x04;

// An image of n bytes in which every byte value turns up, high bits included.
Bytes imageBytes(int n)
{
    Bytes b(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        b[std::size_t(i)] = std::uint8_t(i * 73 + 5);
    return b;
}

Bytes slice(const Bytes &b, int from, int count)
{
    return Bytes(b.begin() + from, b.begin() + from + count);
}

// What the user sees of the update box, the Abort key and the progress display, and whether a
// download is running.
struct UpdateBox {
    bool enable, file, start, reset, factory, close, abortEnabled, abortShown, barShown, downloading;
    QString position;
    int barValue, barMaximum;
    bool operator==(const UpdateBox &) const = default;
};

void PrintTo(const UpdateBox &b, std::ostream *os)
{
    *os << "{enable " << b.enable << ", file " << b.file << ", start " << b.start << ", reset " << b.reset
        << ", factory " << b.factory << ", close " << b.close << ", abort enabled " << b.abortEnabled
        << ", abort shown " << b.abortShown << ", bar shown " << b.barShown << ", downloading "
        << b.downloading << ", position \"" << b.position.toStdString() << "\", bar " << b.barValue << "/"
        << b.barMaximum << "}";
}

class Download : public ConnectedProgramTest
{
  public:
    using ProgramTest::chooseMenuItem;
    using ProgramTest::click;
    using ProgramTest::tick;

    void SetUp() override
    {
        ConnectedProgramTest::SetUp();
        if (HasFatalFailure())
            return;
        chooseTab(w().TabPanel1(), UpdateSW);
    }

    static korvane::main &w() { return mainWindow(); }

    // The firmware blocks the unit heard.
    static std::vector<Bytes> blocksSent()
    {
        std::vector<Bytes> blocks;
        for (const Bytes &frame : framesSent())
            if (frame.size() > 3 && frame[3] == blockCommand)
                blocks.push_back(frame);
        return blocks;
    }

    static UpdateBox now()
    {
        korvane::main &m = w();
        return {m.kenabsw().Enabled(),  m.kfile().Enabled(),     m.kstart().Enabled(), m.KReset().Enabled(),
                m.kfactory().Enabled(), m.kclose().Enabled(),    m.kabort().Enabled(), m.kabort().Visible(),
                m.pbar().Visible(),     korvane::midisr::downfw, m.lcount().Caption(), m.pbar().Value(),
                m.pbar().Maximum()};
    }

    // A file in the test's own folder.
    rb::FolderItemPtr file(const QString &name, const Bytes &bytes)
    {
        QFile f(files.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        return std::make_shared<rb::FolderItem>(f.fileName());
    }
    // A file of the given length whose bytes take no room on disk.
    rb::FolderItemPtr sparseFile(const QString &name, qint64 length)
    {
        QFile f(files.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        EXPECT_TRUE(f.resize(length)) << f.errorString().toStdString();
        return std::make_shared<rb::FolderItem>(f.fileName());
    }

    // Enable, and the unit's answers to it read.
    void enable()
    {
        clickEnable();
        acknowledge();
    }
    void clickEnable() { click(w().kenabsw()); }
    void choose(rb::FolderItemPtr f)
    {
        rb::testseam::answerNextDialog(std::move(f));
        click(w().kfile());
    }
    void cancelChoice() { choose(nullptr); }
    void start() { click(w().kstart()); }
    void reset() { click(w().KReset()); }
    // The poller's next tick reads what the unit answered.
    void acknowledge() { poll(); }
    // Acknowledges every block until the download ends (or a bound is reached).
    void acknowledgeToTheEnd()
    {
        for (int i = 0; i < 5000 && korvane::midisr::downfw; ++i)
            acknowledge();
        EXPECT_FALSE(korvane::midisr::downfw) << "the download did not end";
    }
    // The revision Read on the Connect tab, and back to the update box.
    void readRevision()
    {
        chooseTab(w().TabPanel1(), Connect);
        click(w().kreadeprom());
        chooseTab(w().TabPanel1(), UpdateSW);
    }
    // A revision Read just before Start, then a download of a 30-byte image, its first block
    // acknowledged: the second is out when the Read's countdown brings Enable back.
    void downloadWithEnableBack()
    {
        enable();
        choose(file("fw.bin", imageBytes(30)));
        readRevision();
        acknowledge();
        start();
        acknowledge();
        tick(10);
    }
    // The same, then Enable starts the image over; the unit's answers to it are not read yet.
    void enableDuringADownload()
    {
        downloadWithEnableBack();
        clickEnable();
    }

    QTemporaryDir files;
};

// ---- Blocks and progress

class BlockPerAcknowledgement : public Download, public ::testing::WithParamInterface<int>
{
};

TEST_P(BlockPerAcknowledgement, EachBlockGoesOutOnTheAcknowledgementOfTheOneBefore)
{
    const int n = GetParam();
    const Bytes image = imageBytes(n);
    enable();
    choose(file("fw.bin", image));
    EXPECT_EQ(w().desc().ListCount(), 1);
    EXPECT_EQ(w().desc().List(0), "fw.bin");
    EXPECT_EQ(w().pbar().Maximum(), n);
    EXPECT_EQ(w().pbar().Value(), 0);
    sim::clearReceived(UnitOut);

    start();
    int sent = 0;
    for (std::size_t block = 0;; ++block) {
        SCOPED_TRACE("block " + std::to_string(block));
        const std::vector<Bytes> frames = framesSent();
        ASSERT_EQ(frames.size(), block + 1) << "one frame per acknowledgement, nothing sent ahead";
        const int count = std::min(22, n - sent);
        EXPECT_EQ(frames[block], sim::packFrame(blockCommand, slice(image, sent, count)));
        sent += count;
        EXPECT_EQ(w().DCount().Caption(), QString::number(sent));
        EXPECT_EQ(w().pbar().Value(), sent);
        EXPECT_EQ(w().pbar().Maximum(), n);
        if (count == 0) {
            EXPECT_EQ(w().lcount().Caption(), "Finished");
            EXPECT_EQ(rb::testseam::beepCount(), 3);
            EXPECT_FALSE(korvane::midisr::downfw);
            break;
        }
        EXPECT_EQ(w().lcount().Caption(), "$" + QString::number(sent, 16).toUpper());
        EXPECT_EQ(rb::testseam::beepCount(), 0);
        EXPECT_TRUE(korvane::midisr::downfw);
        acknowledge();
    }
    EXPECT_EQ(sim::unitImage(), image);
    EXPECT_TRUE(sim::unitImageComplete());
    EXPECT_EQ(sim::unitBlockSizes().size(), std::size_t((n + 21) / 22 + 1));

    // Once finished, acknowledgements send nothing more.
    const std::size_t frames = framesSent().size();
    acknowledge();
    EXPECT_EQ(framesSent().size(), frames);
    EXPECT_EQ(rb::testseam::beepCount(), 3);
}

// Empty, shorter than a block, one full block, a block and one byte, several blocks and a short one.
INSTANTIATE_TEST_SUITE_P(ImageSizes, BlockPerAcknowledgement, ::testing::Values(0, 1, 22, 23, 100),
                         [](const auto &info) { return "bytes" + std::to_string(info.param); });

TEST_F(Download, AnAnsweringUnitTakesTheWholeImageAndEnableSendsItAgain)
{
    sim::setUnitMode(sim::Mode::Normal);
    const Bytes image = imageBytes(1000);
    enable();
    poll();
    choose(file("fw.bin", image));
    start();
    for (int i = 0; i < 100 && korvane::midisr::downfw; ++i)
        poll();
    EXPECT_EQ(w().lcount().Caption(), "Finished");
    EXPECT_EQ(w().DCount().Caption(), "1000");
    EXPECT_EQ(sim::unitImage(), image);
    EXPECT_TRUE(sim::unitImageComplete());

    // Reset, the countdown, then Enable opens the same file again from its first byte; the byte count
    // and the position keep the last run's texts until the first new block.
    reset();
    tick(10);
    sim::clearReceived(UnitOut);
    enable();
    EXPECT_EQ(framesSent(), (std::vector<Bytes>{enableFrame, revisionFrame}));
    EXPECT_TRUE(w().kstart().Enabled());
    EXPECT_EQ(w().pbar().Value(), 0);
    EXPECT_EQ(w().pbar().Maximum(), 1000);
    EXPECT_EQ(w().DCount().Caption(), "1000");
    EXPECT_EQ(w().lcount().Caption(), "Finished");
    EXPECT_EQ(korvane::midisr::sentlen, 0);
    poll();
    start();
    EXPECT_EQ(w().DCount().Caption(), "22");
    EXPECT_EQ(w().lcount().Caption(), "$16");
    for (int i = 0; i < 100 && korvane::midisr::downfw; ++i)
        poll();
    EXPECT_EQ(sim::unitImage(), image) << "the second run sends the image from its start";
    EXPECT_EQ(blocksSent().size(), std::size_t(1000 / 22 + 2));
    EXPECT_EQ(rb::testseam::beepCount(), 9) << "three per Finished: two downloads and a Reset";
}

// ---- The states of the update box

struct Transition {
    const char *name;
    std::function<void(Download &)> before; // brings the box into the state the action starts from
    std::function<void(Download &)> action;
    std::function<void(UpdateBox &)> change; // what the action changes; the rest stays
};

class UpdateBoxStates : public Download, public ::testing::WithParamInterface<Transition>
{
};

TEST_P(UpdateBoxStates, ActionSwitchesExactlyItsControls)
{
    const Transition &t = GetParam();
    t.before(*this);
    ASSERT_FALSE(HasFatalFailure());
    UpdateBox expected = now();
    t.change(expected);
    t.action(*this);
    EXPECT_EQ(now(), expected);
}

void nothing(Download &) {}

// What the end of a download changes, finished or aborted.
void ended(UpdateBox &b, const char *position)
{
    b.file = false, b.start = false, b.reset = true, b.close = true;
    b.abortEnabled = false, b.abortShown = false, b.barShown = false, b.downloading = false;
    b.position = position;
}

const Transition transitions[] = {
    {"WindowOpens", nothing, nothing,
     [](UpdateBox &b) {
         b = {true, false, false, false, false, true, true, false, false, false, "0", 0, 100};
     }},
    {"EnableWithoutAFile", nothing, [](Download &d) { d.enable(); },
     [](UpdateBox &b) {
         b.enable = false, b.file = true, b.start = false, b.reset = true, b.factory = false;
         b.abortEnabled = false;
     }},
    {"EnableWithAFileChosen",
     [](Download &d) {
         d.enable();
         d.choose(d.file("fw.bin", imageBytes(30)));
         d.start();
         d.acknowledgeToTheEnd();
         d.reset(); // Factory reset on
         d.tick(10);
     },
     [](Download &d) { d.enable(); },
     [](UpdateBox &b) {
         b.enable = false, b.file = true, b.start = true, b.reset = true, b.factory = false;
         b.abortEnabled = false, b.barValue = 0, b.barMaximum = 30;
     }},
    {"FileChosen", [](Download &d) { d.enable(); },
     [](Download &d) { d.choose(d.file("fw.bin", imageBytes(30))); },
     [](UpdateBox &b) { b.start = true, b.reset = true, b.barValue = 0, b.barMaximum = 30; }},
    // Enable starts the download over: it goes on, with Start and Reset still off.
    {"EnableDuringADownload", [](Download &d) { d.downloadWithEnableBack(); },
     [](Download &d) { d.clickEnable(); },
     [](UpdateBox &b) { b.enable = false, b.file = true, b.abortEnabled = false, b.barValue = 0; }},
    // A file chosen or not, the download under way ends as Abort ends it.
    {"FileCancelledDuringADownload", [](Download &d) { d.enableDuringADownload(); },
     [](Download &d) { d.cancelChoice(); }, [](UpdateBox &b) { ended(b, "Aborted"); }},
    // Blocks have gone out since the Enable: Start stays off, so nothing streams onto them.
    {"FileChosenDuringADownload",
     [](Download &d) {
         d.enableDuringADownload();
         d.acknowledge(); // the unit answers the Enable: the image's first block goes out
     },
     [](Download &d) { d.choose(d.file("other.bin", imageBytes(50))); },
     [](UpdateBox &b) {
         ended(b, "Aborted");
         b.barValue = 0, b.barMaximum = 50;
     }},
    {"Start",
     [](Download &d) {
         d.enable();
         d.choose(d.file("fw.bin", imageBytes(30)));
     },
     [](Download &d) { d.start(); },
     [](UpdateBox &b) {
         b.file = false, b.start = false, b.reset = false, b.close = false;
         b.abortEnabled = true, b.abortShown = true, b.barShown = true, b.downloading = true;
         b.position = "$16", b.barValue = 22;
     }},
    {"LastBlockAcknowledged",
     [](Download &d) {
         d.enable();
         d.choose(d.file("fw.bin", imageBytes(30)));
         d.start();
         d.acknowledge(); // the second and last data block
     },
     [](Download &d) { d.acknowledge(); }, [](UpdateBox &b) { ended(b, "Finished"); }},
    {"AbortKey",
     [](Download &d) {
         d.enable();
         d.choose(d.file("fw.bin", imageBytes(30)));
         d.start();
     },
     [](Download &d) { d.click(d.w().kabort()); }, [](UpdateBox &b) { ended(b, "Aborted"); }},
    {"FileAbort",
     [](Download &d) {
         d.enable();
         d.choose(d.file("fw.bin", imageBytes(30)));
         d.start();
     },
     [](Download &d) { d.chooseMenuItem(d.w(), "FileAbort"); }, [](UpdateBox &b) { ended(b, "Aborted"); }},
    {"Reset",
     [](Download &d) {
         d.enable();
         d.choose(d.file("fw.bin", imageBytes(30)));
     },
     [](Download &d) { d.reset(); },
     [](UpdateBox &b) {
         ended(b, "Finished");
         b.enable = false, b.factory = true;
     }},
    {"RevisionRead",
     [](Download &d) {
         d.enable();
         d.choose(d.file("fw.bin", imageBytes(30)));
         d.reset();
         d.tick(10);
     },
     [](Download &d) { d.readRevision(); }, [](UpdateBox &b) { b.enable = false; }},
    {"CountdownReachesZero",
     [](Download &d) {
         d.enable();
         d.reset();
         d.tick(9);
     },
     [](Download &d) { d.tick(); }, [](UpdateBox &b) { b.enable = true; }},
};

INSTANTIATE_TEST_SUITE_P(Transitions, UpdateBoxStates, ::testing::ValuesIn(transitions),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- Abort, Reset and the countdown

TEST_F(Download, AbortStopsWithoutSendingOrBeepingAndClosesTheImage)
{
    enable();
    rb::FolderItemPtr image = file("fw.bin", imageBytes(100));
    choose(image);
    EXPECT_EQ(openHandles(image->NativePath()), 1);
    start();
    EXPECT_EQ(openHandles(image->NativePath()), 0) << "read whole at Start, the file is not held";
    acknowledge();
    const std::size_t frames = framesSent().size();

    click(w().kabort());
    EXPECT_EQ(w().lcount().Caption(), "Aborted");
    EXPECT_EQ(framesSent().size(), frames) << "Abort sends nothing";
    acknowledge();
    EXPECT_EQ(framesSent().size(), frames) << "a late acknowledgement sends nothing";
    EXPECT_EQ(rb::testseam::beepCount(), 0);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());

    // Abort with nothing running, from the menu: the same again.
    chooseMenuItem(w(), "FileAbort");
    EXPECT_EQ(w().lcount().Caption(), "Aborted");
    EXPECT_EQ(framesSent().size(), frames);
    EXPECT_TRUE(w().KReset().Enabled());
}

TEST_F(Download, ResetFinishesSendsTheResetCommandAndHoldsEnableAndReadForTenTicks)
{
    rb::FolderItemPtr image = file("fw.bin", imageBytes(30));
    enable();
    choose(image);
    sim::clearReceived(UnitOut);

    reset();
    EXPECT_EQ(framesSent(), std::vector<Bytes>{resetFrame}) << "no block, only the reset command";
    EXPECT_EQ(w().lcount().Caption(), "Finished");
    EXPECT_EQ(rb::testseam::beepCount(), 3);
    EXPECT_EQ(openHandles(image->NativePath()), 0);
    EXPECT_TRUE(w().kfactory().Enabled());
    EXPECT_EQ(w().enabdelay, 10);

    // Enable goes off at once, Read at the first tick; both come back at the tenth.
    EXPECT_FALSE(w().kenabsw().Enabled());
    EXPECT_TRUE(w().kreadeprom().Enabled());
    for (int t = 1; t <= 10; ++t) {
        tick();
        SCOPED_TRACE("tick " + std::to_string(t));
        EXPECT_EQ(w().kenabsw().Enabled(), t == 10);
        EXPECT_EQ(w().kreadeprom().Enabled(), t == 10);
    }
    // Outside a countdown the timer leaves both alone.
    w().kreadeprom().Enabled(false);
    tick(3);
    EXPECT_FALSE(w().kreadeprom().Enabled());
    EXPECT_TRUE(w().kenabsw().Enabled());
}

TEST_F(Download, ResetDuringTheCountdownStartsItOver)
{
    enable();
    reset();
    tick(5);
    reset();
    tick(9);
    EXPECT_FALSE(w().kenabsw().Enabled()) << "the countdown started again at 10";
    tick();
    EXPECT_TRUE(w().kenabsw().Enabled());
    EXPECT_EQ(rb::testseam::beepCount(), 6);
}

// ---- Choosing and opening the image

TEST_F(Download, EnableWithoutAFileSwitchesTheUnitAndOpensNothing)
{
    sim::clearReceived(UnitOut);
    enable();
    EXPECT_EQ(framesSent(), (std::vector<Bytes>{enableFrame, revisionFrame}));
    EXPECT_EQ(korvane::midisr::stream, nullptr);
    EXPECT_TRUE(w().kfile().Enabled());
    EXPECT_EQ(w().widget()->focusWidget(), w().kfile().widget()) << "the keyboard goes on with File";
    EXPECT_FALSE(w().kstart().Enabled());
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
}

TEST_F(Download, ACancelledChoiceForgetsTheFileButStartStreamsTheOneOpenedBefore)
{
    const Bytes image = imageBytes(50);
    enable();
    choose(file("fw.bin", image));
    cancelChoice();
    EXPECT_EQ(w().desc().ListCount(), 0);
    EXPECT_EQ(w().f, nullptr);
    EXPECT_TRUE(w().kstart().Enabled());
    EXPECT_EQ(w().pbar().Maximum(), 50);

    start();
    acknowledgeToTheEnd();
    EXPECT_EQ(sim::unitImage(), image);
    EXPECT_EQ(w().lcount().Caption(), "Finished");
}

TEST_F(Download, EnableDuringADownloadStartsTheImageOverAndFileAbortStillEndsIt)
{
    const Bytes image = imageBytes(30);
    downloadWithEnableBack();
    ASSERT_TRUE(w().kenabsw().Enabled());
    ASSERT_EQ(blocksSent().size(), 2u);

    sim::clearReceived(UnitOut);
    clickEnable();
    EXPECT_EQ(framesSent(), (std::vector<Bytes>{enableFrame, revisionFrame}));
    EXPECT_FALSE(w().kabort().Enabled());
    EXPECT_TRUE(w().kabort().Visible()) << "disabled, but still shown";
    EXPECT_TRUE(korvane::midisr::downfw);
    EXPECT_EQ(korvane::midisr::sentlen, 0);
    EXPECT_EQ(openHandles(files.filePath("fw.bin")), 0) << "the image reopened, read whole and closed";

    acknowledge();
    EXPECT_EQ(framesSent().back(), sim::packFrame(blockCommand, slice(image, 0, 22)))
        << "from the first byte";
    EXPECT_EQ(w().DCount().Caption(), "22");

    chooseMenuItem(w(), "FileAbort");
    EXPECT_EQ(w().lcount().Caption(), "Aborted");
    EXPECT_FALSE(korvane::midisr::downfw);
}

TEST_F(Download, AReplacedImageIsClosedAtOnce)
{
    rb::FolderItemPtr first = file("first.bin", imageBytes(40));
    rb::FolderItemPtr second = file("second.bin", imageBytes(60));
    enable();
    choose(first);
    const rb::BinaryStreamPtr held = korvane::midisr::stream; // a reference kept past the replacement
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(openHandles(first->NativePath()), 1);

    choose(second);
    EXPECT_EQ(openHandles(first->NativePath()), 0) << "closed although still referenced";
    EXPECT_EQ(openHandles(second->NativePath()), 1);
    EXPECT_TRUE(held->EOF());
    EXPECT_EQ(held->Length(), 0);

    // Enable reopens the chosen file: still one handle on it.
    reset();
    tick(10);
    enable();
    EXPECT_EQ(openHandles(second->NativePath()), 1);
    start();
    acknowledgeToTheEnd();
    EXPECT_EQ(openHandles(second->NativePath()), 0) << "closed when the download finished";
    EXPECT_EQ(sim::unitImage(), imageBytes(60));
}

TEST_F(Download, AnImageOf2GiBOrMoreIsRefusedAsACancelledChoiceWouldLeaveIt)
{
    enable();
    choose(file("fw.bin", imageBytes(30)));
    const QString opened = files.filePath("fw.bin");
    const int maximum = w().pbar().Maximum();

    const qint64 sizes[] = {qint64(1) << 31, (qint64(1) << 32) + 22};
    for (qint64 size : sizes) {
        SCOPED_TRACE(std::to_string(size) + " bytes");
        rb::testseam::reset();
        rb::FolderItemPtr huge = sparseFile("huge.bin", size);
        choose(huge);

        ASSERT_EQ(rb::testseam::shownMessages().size(), 1);
        const QString message = rb::testseam::shownMessages().front();
        EXPECT_TRUE(message.contains(huge->NativePath())) << message.toStdString();
        EXPECT_TRUE(message.contains("2 GiB")) << message.toStdString();
        EXPECT_EQ(w().desc().ListCount(), 0);
        EXPECT_EQ(w().f, nullptr);
        EXPECT_FALSE(korvane::midisr::downfw);
        EXPECT_TRUE(w().kstart().Enabled());
        EXPECT_EQ(w().pbar().Maximum(), maximum);
        EXPECT_EQ(openHandles(huge->NativePath()), 0);
        EXPECT_EQ(openHandles(opened), 1) << "the image opened before stays";
    }

    // Start streams the earlier image.
    start();
    acknowledgeToTheEnd();
    EXPECT_EQ(sim::unitImage(), imageBytes(30));
}

TEST_F(Download, AnImageJustUnder2GiBIsAccepted)
{
    enable();
    rb::FolderItemPtr big = sparseFile("big.bin", (qint64(1) << 31) - 1);
    choose(big);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
    EXPECT_EQ(w().pbar().Maximum(), 2147483647);
    EXPECT_TRUE(w().kstart().Enabled());
    EXPECT_EQ(openHandles(big->NativePath()), 1);
}

TEST_F(Download, AChosenFileThatCannotBeOpenedIsReportedAndStartStaysOff)
{
    const struct {
        const char *what;
        QString path;
    } cases[] = {
        {"a file that does not exist", files.filePath("gone.bin")},
        {"a folder", files.path()},
    };
    enable();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        rb::testseam::reset();
        choose(file("good.bin", imageBytes(10))); // a stream is open before
        rb::testseam::reset();
        sim::clearReceived(UnitOut);
        choose(std::make_shared<rb::FolderItem>(c.path));

        ASSERT_EQ(rb::testseam::shownMessages().size(), 1);
        EXPECT_TRUE(rb::testseam::shownMessages().front().contains(c.path))
            << rb::testseam::shownMessages().front().toStdString();
        EXPECT_FALSE(w().kstart().Enabled());
        EXPECT_EQ(w().pbar().Value(), 0);
        EXPECT_EQ(openHandles(files.filePath("good.bin")), 0) << "the stream before is closed";
        EXPECT_EQ(korvane::midisr::stream, nullptr);
        EXPECT_TRUE(framesSent().empty());
    }
}

TEST_F(Download, ANamedPipeChosenAsTheImageIsNeverWaitedOn)
{
    enable();
    for (const bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "a link to a named pipe" : "a named pipe");
        const QString pipePath = files.filePath(linked ? "elsewhere" : "pipe.bin");
        const QString chosen = linked ? files.filePath("link.bin") : pipePath;
        UnansweredFifo pipe(pipePath);
        if (linked) {
            ASSERT_TRUE(QFile::link(pipePath, chosen));
        }
        rb::testseam::reset();
        choose(std::make_shared<rb::FolderItem>(chosen));

        EXPECT_FALSE(pipe.blockedSomeone()) << "File waited on the pipe";
        EXPECT_EQ(rb::testseam::shownMessages(),
                  QStringList{"The firmware file \"" + chosen + "\" cannot be opened."});
        EXPECT_FALSE(w().kstart().Enabled());
        EXPECT_EQ(korvane::midisr::stream, nullptr);
    }
}

TEST_F(Download, AMessageShowsTheFileNameAsItIs)
{
    enable();
    // Taken for markup, this path would end in a bold "fw" and " <v2>.bin" (the file is
    // "b> &lt;v2&gt;.bin" in the folder "<b>fw<"); a folder, so it cannot be opened.
    const QString name = "<b>fw</b> &lt;v2&gt;.bin";
    ASSERT_TRUE(QDir().mkpath(files.filePath(name)));
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    rb::testseam::onMsgBox([&](const QString &) {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            text = box->text();
            format = box->textFormat();
        }
    });
    choose(std::make_shared<rb::FolderItem>(files.filePath(name)));

    ASSERT_EQ(rb::testseam::shownMessages().size(), 1);
    EXPECT_EQ(text, rb::testseam::shownMessages().front()) << "the box on screen shows the message";
    EXPECT_TRUE(text.contains(name));
    EXPECT_EQ(format, Qt::PlainText) << "as plain text, exactly";
}

// Enable reopens an image removed since it was chosen: after a finished download, or during one.
class RemovedImage : public Download, public ::testing::WithParamInterface<bool>
{
};

TEST_P(RemovedImage, IsReportedWhenEnableReopensItAndNothingMoreIsSent)
{
    const bool downloading = GetParam();
    rb::FolderItemPtr image = file("fw.bin", imageBytes(30));
    enable();
    choose(image);
    if (downloading) {
        readRevision(); // its countdown brings Enable back during the download
        acknowledge();
        start();
        acknowledge();
    } else {
        start();
        acknowledgeToTheEnd();
        reset();
    }
    tick(10);
    ASSERT_TRUE(QFile::remove(image->NativePath()));
    rb::testseam::reset();

    clickEnable();
    ASSERT_EQ(rb::testseam::shownMessages().size(), 1);
    EXPECT_TRUE(rb::testseam::shownMessages().front().contains(image->NativePath()));
    EXPECT_FALSE(w().kstart().Enabled());
    EXPECT_TRUE(w().kfile().Enabled()) << "another file can be chosen";
    EXPECT_EQ(w().pbar().Value(), 0);
    // A download under way cannot start over without its image: it ends as Abort ends it.
    EXPECT_FALSE(korvane::midisr::downfw);
    EXPECT_EQ(w().lcount().Caption(), downloading ? "Aborted" : "Finished");
    EXPECT_FALSE(w().kabort().Visible());
    choose(file("other.bin", imageBytes(5)));
    EXPECT_TRUE(w().kstart().Enabled()) << "nothing has been sent since the Enable";
    EXPECT_EQ(w().pbar().Maximum(), 5);

    // The late answers send nothing, and nothing more is shown.
    sim::clearReceived(UnitOut);
    acknowledge();
    acknowledge();
    EXPECT_TRUE(framesSent().empty());
    EXPECT_EQ(rb::testseam::shownMessages().size(), 1);
}

INSTANTIATE_TEST_SUITE_P(When, RemovedImage, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "DuringADownload" : "AfterADownload"; });

// ---- Just before Start

// Start before the unit has answered the Enable: its acknowledgement, if the unit gives one, is
// still to come, so the first block waits for the answer to the revision request sent with it.
// Until then the position reads "$0", not the last run's "Finished".
TEST_F(Download, StartBeforeTheEnableIsAnsweredWaitsForItsRevisionAnswer)
{
    enable();
    choose(file("fw.bin", imageBytes(30)));
    start();
    acknowledgeToTheEnd();
    reset();
    tick(10);
    sim::clearReceived(UnitOut);

    clickEnable();
    start();
    EXPECT_EQ(framesSent(), (std::vector<Bytes>{enableFrame, revisionFrame})) << "no block yet";
    EXPECT_EQ(w().lcount().Caption(), "$0");
    EXPECT_EQ(w().DCount().Caption(), "0");
    EXPECT_TRUE(korvane::midisr::downfw);
    EXPECT_TRUE(w().kabort().Visible());
    acknowledge();
    EXPECT_EQ(blocksSent().size(), 1u);
    EXPECT_EQ(w().lcount().Caption(), "$16");
}

// Set after the Enable's answers: the unit may acknowledge it or not, so Start asks for the
// revisions, and the first block follows their answer.
TEST_F(Download, StartAfterSetAsksForTheRevisionsFirst)
{
    enable();
    choose(file("fw.bin", imageBytes(30)));
    chooseTab(w().TabPanel1(), SetIP);
    click(w().kreadip());
    acknowledge();
    ASSERT_TRUE(w().ksetip().Enabled());
    click(w().ksetip());
    chooseTab(w().TabPanel1(), UpdateSW);
    sim::clearReceived(UnitOut);

    start();
    EXPECT_EQ(framesSent(), std::vector<Bytes>{revisionFrame});
    acknowledge();
    EXPECT_EQ(blocksSent().size(), 1u);
    acknowledgeToTheEnd();
    EXPECT_EQ(sim::unitImage(), imageBytes(30));
    EXPECT_EQ(w().lcount().Caption(), "Finished");
}

// ---- The image the unit gets

// What becomes of the file while the download runs: the unit gets the image as the file held it at
// Start, whole, and "Finished" says so. The image is larger than what a file stream reads ahead
// (16 KiB), and the file is cut below and above that.
struct ImageChange {
    const char *name;
    std::function<void(QFile &)> change;
};

class ChangedImage : public Download, public ::testing::WithParamInterface<ImageChange>
{
};

TEST_P(ChangedImage, TheUnitGetsTheImageAsItWasAtStart)
{
    const Bytes image = imageBytes(44000);
    enable();
    rb::FolderItemPtr chosen = file("fw.bin", image);
    choose(chosen);
    start();
    for (int i = 0; i < 20; ++i)
        acknowledge();
    ASSERT_EQ(korvane::midisr::sentlen, 21 * 22);

    QFile onDisk(chosen->NativePath());
    GetParam().change(onDisk);
    acknowledgeToTheEnd();
    EXPECT_EQ(w().lcount().Caption(), "Finished");
    EXPECT_EQ(sim::unitImage(), image);
    EXPECT_TRUE(sim::unitImageComplete());
    EXPECT_EQ(w().DCount().Caption(), "44000");
    EXPECT_EQ(w().pbar().Maximum(), 44000);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
}

const ImageChange imageChanges[] = {
    {"CutBelowThePositionSent", [](QFile &f) { ASSERT_TRUE(f.resize(300)); }},
    {"CutBelowTheReadAhead", [](QFile &f) { ASSERT_TRUE(f.resize(3000)); }},
    {"CutAboveTheReadAhead", [](QFile &f) { ASSERT_TRUE(f.resize(30000)); }},
    {"CutToNothing", [](QFile &f) { ASSERT_TRUE(f.resize(0)); }},
    {"OverwrittenInPlace",
     [](QFile &f) {
         ASSERT_TRUE(f.open(QIODevice::ReadWrite));
         ASSERT_EQ(f.write(QByteArray(44000, '\x5A')), 44000);
     }},
    {"AppendedTo",
     [](QFile &f) {
         ASSERT_TRUE(f.open(QIODevice::Append));
         ASSERT_EQ(f.write(QByteArray(5000, '\x5A')), 5000);
     }},
    {"ReplacedByAnotherFile",
     [](QFile &f) {
         QFile other(f.fileName() + ".new");
         ASSERT_TRUE(other.open(QIODevice::WriteOnly));
         ASSERT_EQ(other.write(QByteArray(2000, '\x5A')), 2000);
         other.close();
         ASSERT_EQ(::rename(QFile::encodeName(other.fileName()), QFile::encodeName(f.fileName())), 0);
     }},
};

INSTANTIATE_TEST_SUITE_P(Download, ChangedImage, ::testing::ValuesIn(imageChanges),
                         [](const auto &info) { return std::string(info.param.name); });

// The file grew after it was chosen: Start takes it as it is then, and the progress counts to its
// new end.
TEST_F(Download, StartTakesTheImageAsTheFileHoldsItThen)
{
    enable();
    rb::FolderItemPtr chosen = file("fw.bin", imageBytes(30));
    choose(chosen);
    EXPECT_EQ(w().pbar().Maximum(), 30);
    file("fw.bin", imageBytes(100));
    start();
    EXPECT_EQ(w().pbar().Maximum(), 100);
    acknowledgeToTheEnd();
    EXPECT_EQ(sim::unitImage(), imageBytes(100));
    EXPECT_EQ(w().DCount().Caption(), "100");
    EXPECT_EQ(w().lcount().Caption(), "Finished");
}

// A file whose bytes cannot be read, though it opens: this process's own memory file, which fails
// every read at its first byte (and says it holds none). Start ends the download as Abort does and
// names the file; nothing reaches the unit.
TEST_F(Download, AnImageThatCannotBeReadEndsTheDownloadWithAMessageThatNamesIt)
{
    enable();
    const QString unreadable = QStringLiteral("/proc/self/mem");
    choose(std::make_shared<rb::FolderItem>(unreadable));
    ASSERT_TRUE(w().kstart().Enabled()) << "it opens";
    start();

    EXPECT_EQ(rb::testseam::shownMessages(),
              QStringList{"The firmware file \"" + unreadable + "\" cannot be read."});
    EXPECT_EQ(w().lcount().Caption(), "Aborted");
    EXPECT_FALSE(korvane::midisr::downfw);
    EXPECT_FALSE(w().kabort().Visible());
    EXPECT_TRUE(blocksSent().empty());
    EXPECT_EQ(rb::testseam::beepCount(), 0);
}

// The address space this process takes now, in bytes.
rlim_t addressSpaceInUse()
{
    QFile status(QStringLiteral("/proc/self/status"));
    EXPECT_TRUE(status.open(QIODevice::ReadOnly));
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmSize:"))
            return rlim_t(line.mid(7).trimmed().split(' ').front().toULongLong()) * 1024;
    ADD_FAILURE() << "no VmSize";
    return 0;
}

// Where the memory the program may take is bounded (ulimit -v), an image too large for what is
// left is refused with a message that names it, and the program goes on.
TEST_F(Download, AnImageTooLargeForTheMemoryLeftEndsTheDownloadWithAMessage)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator ends the process where the address space runs out";
#endif
    enable();
    rb::FolderItemPtr big = sparseFile("big.bin", qint64(1) << 30);
    choose(big);
    struct rlimit unbounded;
    ASSERT_EQ(::getrlimit(RLIMIT_AS, &unbounded), 0);
    struct rlimit bounded = unbounded;
    bounded.rlim_cur = addressSpaceInUse() + (rlim_t(256) << 20);
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &bounded), 0);
    start();
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &unbounded), 0);

    EXPECT_EQ(rb::testseam::shownMessages(), QStringList{"The firmware file \"" + big->NativePath() +
                                                         "\" is too large for the memory left to read it."});
    EXPECT_EQ(w().lcount().Caption(), "Aborted");
    EXPECT_FALSE(korvane::midisr::downfw);
    EXPECT_TRUE(blocksSent().empty());
}

// ---- Downloads that cannot go on

// A block the unit never got: nothing after it may follow, so the download ends as Abort ends it.
TEST_F(Download, ABlockThatCannotBeWrittenEndsTheDownloadAsAbortDoes)
{
    enable();
    choose(file("fw.bin", imageBytes(100)));
    start();
    sim::failWrites(UnitOut, "cable pulled");
    acknowledge(); // the second block is refused

    ASSERT_EQ(rb::testseam::shownMessages().size(), 1);
    EXPECT_TRUE(rb::testseam::shownMessages().front().startsWith("outlong error:"));
    EXPECT_EQ(now(), (UpdateBox{false, false, false, true, false, true, false, false, false, false, "Aborted",
                                44, 100}));
    sim::failWrites(UnitOut, "");
    acknowledge();
    EXPECT_EQ(blocksSent().size(), 1u) << "nothing after the refused block";
    EXPECT_EQ(rb::testseam::beepCount(), 0);
}

// An Enable typed by hand in the MIDI window would begin a new image at the unit in the middle of
// the download: the download ends as Abort ends it, and the typed frame goes out after it.
TEST_F(Download, AnEnableTypedDuringTheDownloadEndsItAsAbortDoes)
{
    enable();
    choose(file("fw.bin", imageBytes(100)));
    start();
    acknowledge();
    click(w().kview());
    type(io().midistring(), "F0 7E 7F 09 00 F7");
    click(io().sendmidi());
    EXPECT_EQ(w().lcount().Caption(), "Aborted");
    EXPECT_FALSE(korvane::midisr::downfw);
    EXPECT_EQ(framesSent().back(), enableFrame);
    acknowledge();
    acknowledge();

    EXPECT_EQ(blocksSent().size(), 2u) << "nothing after the typed frame";
    EXPECT_EQ(rb::testseam::beepCount(), 0);
    EXPECT_FALSE(sim::unitImageComplete());
}

// An answer arriving while the "outlong error:" box of a refused block is open: the box's modal loop
// keeps the poll timer firing, but no packet is read there. The answer is read whole afterwards, in
// order, and the revision labels show it.
TEST_F(Download, AnAnswerArrivingWhileABlockErrorIsShownIsReadWholeAfterwards)
{
    enable();
    acknowledge();
    choose(file("fw.bin", imageBytes(100)));
    start();
    const Bytes revision = sim::packFrame(0x21, {0x02, 0x01, 0x03, 0x10, 0x00, 0xA5, 0x04, 0x02, 0x01, 0xFF});
    sim::failWrites(UnitOut, "cable pulled");
    rb::testseam::onMsgBox([&](const QString &) {
        sim::queueBytes(UnitIn, slice(revision, 0, 4)); // the answer's first bytes are in
        poll();                                         // the clock fires inside the box
    });
    acknowledge(); // the second block is refused
    rb::testseam::onMsgBox({});
    ASSERT_EQ(rb::testseam::shownMessages().size(), 1);
    sim::queueBytes(UnitIn, slice(revision, 4, int(revision.size()) - 4));
    poll();

    EXPECT_EQ(w().corerev().Caption(), "Core 03.10 Build 00.A5 HW 02.01");
    EXPECT_EQ(w().mainrev().Caption(), "Main 04.02 Build 01.FF");
}

// A message box of a handler still under way: its modal loop keeps the poll timer firing, but no
// packet is read there, before the handler has finished what it began. The answer waiting is read
// at the tick after.
enum class HandlerWithABox { OutputPortFailsToOpen, StartOverAnUnreadableImage, EnableRefused };

class AnswerDuringTheBox : public Download, public ::testing::WithParamInterface<HandlerWithABox>
{
  protected:
    void act()
    {
        switch (GetParam()) {
        case HandlerWithABox::OutputPortFailsToOpen: {
            if (!io().Visible())
                click(w().kview());
            korvane::midiout &out = io().midiout1();
            const int row = out.ListIndex();
            chooseRow(out, 0);
            sim::failOpen(UnitOut, "unplugged");
            chooseRow(out, row);
            break;
        }
        case HandlerWithABox::StartOverAnUnreadableImage:
            enable();
            choose(std::make_shared<rb::FolderItem>(QStringLiteral("/proc/self/mem")));
            start();
            break;
        case HandlerWithABox::EnableRefused:
            sim::failWrites(UnitOut, "cable pulled");
            clickEnable();
            break;
        }
    }
};

TEST_P(AnswerDuringTheBox, IsReadOnlyAfterTheHandler)
{
    const Bytes revision = sim::packFrame(0x21, {0x02, 0x01, 0x03, 0x10, 0x00, 0xA5, 0x04, 0x02, 0x01, 0xFF});
    std::optional<QString> atTheBox, afterATick;
    rb::testseam::onMsgBox([&](const QString &) {
        if (atTheBox)
            return; // a second box of the same handler
        atTheBox = w().corerev().Caption();
        sim::queueBytes(UnitIn, revision);
        poll();
        afterATick = w().corerev().Caption();
    });
    act();
    rb::testseam::onMsgBox({});
    ASSERT_TRUE(atTheBox) << "no box";
    EXPECT_EQ(afterATick, atTheBox) << "read inside the box";
    poll();
    EXPECT_EQ(w().corerev().Caption(), "Core 03.10 Build 00.A5 HW 02.01");
}

std::string nameOf(const ::testing::TestParamInfo<HandlerWithABox> &info)
{
    static const char *const names[] = {"OutputPortFailsToOpen", "StartOverAnUnreadableImage",
                                        "EnableRefused"};
    return names[int(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Download, AnswerDuringTheBox,
                         ::testing::Values(HandlerWithABox::OutputPortFailsToOpen,
                                           HandlerWithABox::StartOverAnUnreadableImage,
                                           HandlerWithABox::EnableRefused),
                         nameOf);

// A file dialog of the menus breaks into no handling of the MIDI traffic: the download goes on while
// it is open, one block per answer, and ends with the whole image at the unit.
class DownloadUnderAMenuDialog : public Download, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(DownloadUnderAMenuDialog, GoesOnWhileTheDialogIsOpen)
{
    const Bytes image = imageBytes(2000);
    rb::MenuBar::handle("Helppdf", [this] { return app._Helppdf_Action(); }); // as start-up registers it
    enable();
    choose(file("fw.bin", image));
    start();
    acknowledge();
    const std::size_t before = blocksSent().size();
    std::size_t whileOpen = 0;
    rb::testseam::onDialog([&] {
        acknowledge();
        acknowledge();
        acknowledge();
        whileOpen = blocksSent().size();
    });
    chooseMenuItem(w(), QString::fromLatin1(GetParam())); // and the dialog is cancelled
    rb::testseam::onDialog({});
    ASSERT_EQ(rb::testseam::shownDialogs().size(), 2u) << "the image's, then the menu's";

    EXPECT_EQ(whileOpen, before + 3);
    acknowledgeToTheEnd();
    EXPECT_EQ(w().lcount().Caption(), "Finished");
    EXPECT_EQ(sim::unitImage(), image);
}

INSTANTIATE_TEST_SUITE_P(Download, DownloadUnderAMenuDialog,
                         ::testing::Values("FileLoad", "FileSave", "Helppdf"));

// No output port has been chosen since the program started: nothing is sent and nothing is shown,
// and the download ends at once.
class DownloadWithoutAnOutputPort : public ProgramTest
{
  protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        korvane::config::initconfig(QStringLiteral("korvane"));
        korvane::config::putstring(QStringLiteral("Minport"), portRow(UnitIn));
        rb::testseam::reset();
        openProgram();
        chooseTab(mainWindow().TabPanel1(), UpdateSW);
    }
};

TEST_F(DownloadWithoutAnOutputPort, StartEndsTheDownloadAsAbortDoes)
{
    korvane::main &w = mainWindow();
    QFile image(settingsFolder.filePath("fw.bin"));
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    image.write(QByteArray(100, 'x'));
    image.close();
    click(w.kenabsw());
    rb::testseam::answerNextDialog(std::make_shared<rb::FolderItem>(image.fileName()));
    click(w.kfile());
    ASSERT_TRUE(w.kstart().Enabled());
    click(w.kstart());

    EXPECT_EQ(w.lcount().Caption(), "Aborted");
    EXPECT_FALSE(korvane::midisr::downfw);
    EXPECT_FALSE(w.kabort().Visible());
    EXPECT_TRUE(w.kclose().Enabled());
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
    EXPECT_TRUE(framesSent().empty());
}

} // namespace
