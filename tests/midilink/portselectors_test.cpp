// The port selectors of the MIDI window, driven with the mouse: their lists, the rows saved after a
// successful open and chosen again whenever a list is rebuilt, devices that fail to open, Refresh,
// choosing "Select", and the failures of writing on the output port.

#include "midilink/pluginclasses.h"
#include "rbframework/testseam.h"
#include "support/config.h"
#include "tests/common/program_fixture.h"

#include <functional>

using namespace korvanetest;

namespace
{

const QString selectRow = QStringLiteral("Select");
const QString unitInRow = QStringLiteral("0:Simulated Unit In - Simulated");
const QString keysRow = QStringLiteral("2:Keys: Port 1 - ALSA");
const QString unitOutRow = QStringLiteral("1:Simulated Unit Out - Simulated");
const QString spareRow = QStringLiteral("3:Spare Out - ALSA");
const QString linkOk = QStringLiteral("Midi OK");
const QString linkDown = QStringLiteral("Midi Not Open - click here to select port");

QString saved(const char *key)
{
    return korvane::config::getstring(QString::fromLatin1(key));
}

// The selectors' events as the MIDI window receives them, with each message box among them. Made
// before the window opens, it sees the start-up's events too.
class EventLog
{
  public:
    explicit EventLog(korvane::midiio &io)
    {
        wrap(io.midiin1().threadkill, QStringLiteral("in.threadkill"));
        wrap(io.midiin1().threadrun, QStringLiteral("in.threadrun"));
        wrap(io.midiin1().change1, QStringLiteral("in.change1"));
        wrap(io.midiout1().change1, QStringLiteral("out.change1"));
        rb::testseam::onMsgBox([this](const QString &message) { events << "box:" + message; });
    }
    QStringList events;

  private:
    void wrap(std::function<void()> &event, const QString &name)
    {
        event = [this, name, handler = event] {
            events << name;
            handler();
        };
    }
};

class PortSelectors : public ProgramTest
{
  protected:
    void showWindow() { click(mainWindow().kview()); }
};

TEST_F(PortSelectors, FirstRunListsTheDevicesOfEachDirectionAndOpensNothing)
{
    openFirstRun();

    EXPECT_EQ(rows(io().midiin1()), QStringList({selectRow, unitInRow, keysRow}));
    EXPECT_EQ(rows(io().midiout1()), QStringList({selectRow, unitOutRow, spareRow}));
    EXPECT_EQ(io().midiin1().ListIndex(), 0);
    EXPECT_EQ(io().midiout1().ListIndex(), 0);
    for (int d = 0; d < int(simulatedDevices().size()); ++d)
        EXPECT_FALSE(sim::isOpen(d)) << "device " << d;
    EXPECT_FALSE(io().midiin1().portopen);
    EXPECT_FALSE(io().midiout1().portopen);
    EXPECT_EQ(mainWindow().showmidi().caption, linkDown);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
}

TEST_F(PortSelectors, ChoosingADeviceOpensItSavesItsRowAndTheNextRunOpensItAgain)
{
    openFirstRun();
    showWindow();

    chooseRow(io().midiin1(), 1);
    EXPECT_TRUE(sim::isOpen(UnitIn));
    EXPECT_TRUE(io().midiin1().portopen);
    EXPECT_EQ(saved("Minport"), unitInRow);
    EXPECT_EQ(io().miditimer1().Mode(), rb::Timer::ModeMultiple);
    EXPECT_EQ(mainWindow().showmidi().caption, linkDown) << "no output yet";

    // The number is read before the first ":" of a row whose name holds ":" too.
    chooseRow(io().midiin1(), 2);
    EXPECT_FALSE(sim::isOpen(UnitIn)) << "the port chosen before is closed";
    EXPECT_TRUE(sim::isOpen(ColonIn));
    EXPECT_EQ(saved("Minport"), keysRow);

    chooseRow(io().midiout1(), 2);
    EXPECT_TRUE(sim::isOpen(SpareOut));
    chooseRow(io().midiout1(), 1);
    EXPECT_FALSE(sim::isOpen(SpareOut));
    EXPECT_TRUE(sim::isOpen(UnitOut));
    EXPECT_EQ(saved("Moutport"), unitOutRow);
    EXPECT_EQ(mainWindow().showmidi().caption, linkOk);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());

    // The program quits and starts again.
    restartProgram();
    EXPECT_FALSE(sim::isOpen(ColonIn));
    EXPECT_FALSE(sim::isOpen(UnitOut));
    openProgram();
    EXPECT_EQ(io().midiin1().Text(), keysRow);
    EXPECT_EQ(io().midiout1().Text(), unitOutRow);
    EXPECT_TRUE(sim::isOpen(ColonIn));
    EXPECT_TRUE(sim::isOpen(UnitOut));
    EXPECT_EQ(mainWindow().showmidi().caption, linkOk);
}

struct SavedRowCase {
    const char *name;
    QString savedIn, savedOut;
    int inRow, outRow; // chosen at start
    QString link;
};
void PrintTo(const SavedRowCase &c, std::ostream *os)
{
    *os << c.name;
}

class SavedRows : public PortSelectors, public ::testing::WithParamInterface<SavedRowCase>
{
};

TEST_P(SavedRows, AreChosenAgainAtStart)
{
    const SavedRowCase &c = GetParam();
    korvane::config::initconfig(QStringLiteral("korvane"));
    if (!c.savedIn.isEmpty())
        korvane::config::putstring(QStringLiteral("Minport"), c.savedIn);
    if (!c.savedOut.isEmpty())
        korvane::config::putstring(QStringLiteral("Moutport"), c.savedOut);
    rb::testseam::reset();

    openProgram();

    EXPECT_EQ(io().midiin1().ListIndex(), c.inRow);
    EXPECT_EQ(io().midiout1().ListIndex(), c.outRow);
    EXPECT_EQ(sim::isOpen(UnitIn), c.inRow == 1);
    EXPECT_EQ(sim::isOpen(UnitOut), c.outRow == 1);
    EXPECT_EQ(io().miditimer1().Mode(), c.inRow == 1 ? rb::Timer::ModeMultiple : rb::Timer::ModeOff);
    EXPECT_EQ(mainWindow().showmidi().caption, c.link);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty())
        << rb::testseam::shownMessages().join('|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    PortSelectors, SavedRows,
    ::testing::Values(SavedRowCase{"Exact", unitInRow, unitOutRow, 1, 1, linkOk},
                      SavedRowCase{"LetterCaseIgnored", QStringLiteral("0:SIMULATED UNIT IN - simulated"),
                                   QStringLiteral("1:simulated unit out - SIMULATED"), 1, 1, linkOk},
                      SavedRowCase{"RenumberedDeviceNoLongerMatches",
                                   QStringLiteral("5:Simulated Unit In - Simulated"),
                                   QStringLiteral("3:Simulated Unit Out - Simulated"), 0, 0, linkDown},
                      SavedRowCase{"InterfaceRenamed", QStringLiteral("0:Simulated Unit In - USB"),
                                   unitOutRow, 0, 1, linkDown},
                      SavedRowCase{"InputOnly", unitInRow, {}, 1, 0, linkDown}),
    [](const ::testing::TestParamInfo<SavedRowCase> &info) { return info.param.name; });

struct FailedOpenCase {
    const char *name;
    bool input;
    int earlierRow, earlierDevice; // opened and saved first
    int row, device;               // then fails to open
    QStringList events;            // from the failing choice on
};
void PrintTo(const FailedOpenCase &c, std::ostream *os)
{
    *os << c.name;
}

class FailedOpen : public PortSelectors, public ::testing::WithParamInterface<FailedOpenCase>
{
};

TEST_P(FailedOpen, GoesBackToSelectBeforeItsMessageBox)
{
    const FailedOpenCase &c = GetParam();
    openFirstRun();
    showWindow();
    korvane::PortSelector &selector = c.input ? static_cast<korvane::PortSelector &>(io().midiin1())
                                              : static_cast<korvane::PortSelector &>(io().midiout1());
    chooseRow(selector, c.earlierRow);
    const QString savedRow = selector.Text();
    ASSERT_TRUE(sim::isOpen(c.earlierDevice));
    ASSERT_TRUE(selector.portopen);

    EventLog log(io());
    int rowAtBox = -1, timerAtBox = -1;
    QString linkAtBox;
    rb::testseam::onMsgBox([&](const QString &message) {
        log.events << "box:" + message;
        rowAtBox = selector.ListIndex();
        timerAtBox = io().miditimer1().Mode();
        linkAtBox = mainWindow().showmidi().caption;
    });
    sim::failOpen(c.device, "unplugged");
    chooseRow(selector, c.row);

    EXPECT_EQ(log.events, c.events);
    EXPECT_EQ(rowAtBox, 0) << "\"Select\" is back before the message";
    EXPECT_EQ(timerAtBox, rb::Timer::ModeOff);
    EXPECT_EQ(linkAtBox, linkDown);
    EXPECT_EQ(selector.ListIndex(), 0);
    EXPECT_FALSE(selector.portopen);
    EXPECT_FALSE(sim::isOpen(c.device));
    EXPECT_FALSE(sim::isOpen(c.earlierDevice)) << "the port chosen before is closed";
    EXPECT_EQ(korvane::config::getstring(c.input ? QStringLiteral("Minport") : QStringLiteral("Moutport")),
              savedRow)
        << "a failed open saves nothing";
    EXPECT_EQ(io().miditimer1().Mode(), rb::Timer::ModeOff);
}

INSTANTIATE_TEST_SUITE_P(
    PortSelectors, FailedOpen,
    ::testing::Values(FailedOpenCase{"Input",
                                     true,
                                     2,
                                     ColonIn,
                                     1,
                                     UnitIn,
                                     {"in.threadkill", "in.threadrun", "in.threadkill", "in.change1",
                                      "box:bad input port -10000", "in.change1"}},
                      FailedOpenCase{"InputNameWithColon",
                                     true,
                                     1,
                                     UnitIn,
                                     2,
                                     ColonIn,
                                     {"in.threadkill", "in.threadrun", "in.threadkill", "in.change1",
                                      "box:bad input port -10000", "in.change1"}},
                      FailedOpenCase{"Output",
                                     false,
                                     2,
                                     SpareOut,
                                     1,
                                     UnitOut,
                                     {"out.change1", "box:open midi output error:-10000", "out.change1"}}),
    [](const ::testing::TestParamInfo<FailedOpenCase> &info) { return info.param.name; });

TEST_F(PortSelectors, SavedDeviceThatFailsToOpenIsTriedAgainAtEveryRefresh)
{
    saveUnitPorts();
    sim::failOpen(UnitIn, "busy");
    openProgram();
    EXPECT_EQ(rb::testseam::shownMessages(), QStringList({"bad input port -10000"}));
    EXPECT_EQ(io().midiin1().ListIndex(), 0);
    EXPECT_TRUE(sim::isOpen(UnitOut));
    EXPECT_EQ(mainWindow().showmidi().caption, linkDown);

    showWindow();
    click(io().krefresk());
    EXPECT_EQ(rb::testseam::shownMessages(), QStringList({"bad input port -10000", "bad input port -10000"}));
    EXPECT_EQ(io().midiin1().ListIndex(), 0);

    sim::failOpen(UnitIn, "");
    click(io().krefresk());
    EXPECT_EQ(rb::testseam::shownMessages().size(), 2);
    EXPECT_EQ(io().midiin1().Text(), unitInRow);
    EXPECT_TRUE(sim::isOpen(UnitIn));
    EXPECT_EQ(saved("Minport"), unitInRow);
    EXPECT_EQ(mainWindow().showmidi().caption, linkOk);
}

TEST_F(PortSelectors, RefreshWithBothPortsOpenReopensThemAndSwitchesThePollerOffAndOn)
{
    saveUnitPorts();
    (void)io(); // the window exists before it opens, so that its events can be watched
    EventLog log(io());
    openProgram();
    EXPECT_EQ(log.events, QStringList({"in.threadkill", "in.change1", "in.threadkill", "in.threadrun",
                                       "in.change1", "out.change1", "out.change1"}));
    showWindow();

    log.events.clear();
    click(io().krefresk());

    EXPECT_EQ(log.events, QStringList({"in.threadkill", "in.change1", "in.threadkill", "in.threadrun",
                                       "in.change1", "out.change1", "out.change1"}));
    EXPECT_EQ(io().midiin1().Text(), unitInRow);
    EXPECT_EQ(io().midiout1().Text(), unitOutRow);
    EXPECT_EQ(sim::openCount(UnitIn), 2);
    EXPECT_EQ(sim::openCount(UnitOut), 2);
    EXPECT_EQ(io().miditimer1().Mode(), rb::Timer::ModeMultiple);
    EXPECT_EQ(mainWindow().showmidi().caption, linkOk);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty())
        << rb::testseam::shownMessages().join('|').toStdString();

    // The ports opened anew carry the unit's traffic.
    click(mainWindow().kreadeprom());
    poll();
    EXPECT_EQ(framesSent(), std::vector<Bytes>({{0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7}}));
    EXPECT_EQ(mainWindow().corerev().Caption(), "Core 02.05 Build 00.1A HW 01.00");
}

TEST_F(PortSelectors, ChoosingSelectClosesThePortAndKeepsItsLastOutcome)
{
    saveUnitPorts();
    openProgram();
    showWindow();

    chooseRow(io().midiin1(), 0);
    chooseRow(io().midiout1(), 0);

    EXPECT_FALSE(sim::isOpen(UnitIn));
    EXPECT_FALSE(sim::isOpen(UnitOut));
    EXPECT_TRUE(io().midiin1().portopen);
    EXPECT_TRUE(io().midiout1().portopen);
    EXPECT_EQ(io().miditimer1().Mode(), rb::Timer::ModeOff);
    EXPECT_EQ(saved("Minport"), unitInRow);
    EXPECT_EQ(saved("Moutport"), unitOutRow);
    EXPECT_EQ(mainWindow().showmidi().caption, linkOk) << "the link state counts the last open attempts";
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());

    // Every message now finds the output object without a stream.
    click(mainWindow().kreadeprom());
    click(mainWindow().kreadeprom());
    EXPECT_EQ(rb::testseam::shownMessages(), QStringList({"outlong error:-1", "outlong error:-1"}));
    EXPECT_TRUE(framesSent().empty());
}

TEST_F(PortSelectors, MessagesBeforeAnyOutputDeviceWasChosenAreDroppedSilently)
{
    openFirstRun();
    showWindow();

    click(mainWindow().kreadeprom());

    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
    EXPECT_TRUE(sim::received(UnitOut).empty());
    EXPECT_TRUE(sim::received(SpareOut).empty());
    // The MIDI window still logs what it was given.
    EXPECT_EQ(rows(io().eListout()), QStringList({"Output: Long Data F0 7E 7F 11 00 F7 "}));
}

TEST_F(PortSelectors, AFailedWriteIsReportedOnceNeitherRepeatedNorQueued)
{
    saveUnitPorts();
    openProgram();
    sim::failWrites(UnitOut, "cable pulled");

    click(mainWindow().kreadeprom());
    EXPECT_EQ(rb::testseam::shownMessages(), QStringList({"outlong error:-10000"}));
    EXPECT_TRUE(sim::isOpen(UnitOut));
    EXPECT_EQ(io().midiout1().ListIndex(), 1);

    sim::failWrites(UnitOut, "");
    poll(2);
    EXPECT_EQ(rb::testseam::shownMessages().size(), 1);
    EXPECT_TRUE(framesSent().empty()) << "the failed message is not sent later";
    EXPECT_EQ(mainWindow().corerev().Caption(), "?.?");
}

struct DeviceListCase {
    const char *name;
    std::vector<sim::Device> devices;
    QStringList inRows, outRows;
    QString inText, outText; // chosen after Refresh
    std::vector<int> open;   // devices open after Refresh
    // The link state counts the last open attempts, which succeeded before the list changed,
    // even when the saved rows are no longer listed.
    QString link;
};
void PrintTo(const DeviceListCase &c, std::ostream *os)
{
    *os << c.name;
}

// Changes the device list; the list every other test expects is put back afterwards.
class ChangedDeviceList : public PortSelectors, public ::testing::WithParamInterface<DeviceListCase>
{
  protected:
    void TearDown() override
    {
        sim::setDevices(simulatedDevices());
        korvane::PortMidiTSL().ReInitialize();
        PortSelectors::TearDown();
    }
};

TEST_P(ChangedDeviceList, IsListedAnewAtRefresh)
{
    const DeviceListCase &c = GetParam();
    saveUnitPorts();
    openProgram();
    showWindow();

    sim::setDevices(c.devices);
    click(io().krefresk());

    EXPECT_EQ(rows(io().midiin1()), c.inRows);
    EXPECT_EQ(rows(io().midiout1()), c.outRows);
    EXPECT_EQ(io().midiin1().Text(), c.inText);
    EXPECT_EQ(io().midiout1().Text(), c.outText);
    std::vector<int> open;
    for (int d = 0; d < int(c.devices.size()); ++d)
        if (sim::isOpen(d))
            open.push_back(d);
    EXPECT_EQ(open, c.open);
    EXPECT_EQ(mainWindow().showmidi().caption, c.link);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty())
        << rb::testseam::shownMessages().join('|').toStdString();
    EXPECT_EQ(saved("Minport"), unitInRow) << "nothing clears the saved rows";
}

INSTANTIATE_TEST_SUITE_P(
    PortSelectors, ChangedDeviceList,
    ::testing::Values(DeviceListCase{"DeviceAddedBeforeTheUnit",
                                     {{"New Keys", "ALSA", true},
                                      {"Simulated Unit In", "Simulated", true},
                                      {"Simulated Unit Out", "Simulated", false}},
                                     {selectRow, "0:New Keys - ALSA", "1:Simulated Unit In - Simulated"},
                                     {selectRow, "2:Simulated Unit Out - Simulated"},
                                     selectRow,
                                     selectRow,
                                     {},
                                     linkOk},
                      DeviceListCase{"DeviceRemovedAfterTheUnit",
                                     {{"Simulated Unit In", "Simulated", true},
                                      {"Simulated Unit Out", "Simulated", false},
                                      {"Spare Out", "ALSA", false}},
                                     {selectRow, unitInRow},
                                     {selectRow, unitOutRow, "2:Spare Out - ALSA"},
                                     unitInRow,
                                     unitOutRow,
                                     {0, 1},
                                     linkOk},
                      DeviceListCase{
                          "NoDevices", {}, {selectRow}, {selectRow}, selectRow, selectRow, {}, linkOk}),
    [](const ::testing::TestParamInfo<DeviceListCase> &info) { return info.param.name; });

} // namespace
