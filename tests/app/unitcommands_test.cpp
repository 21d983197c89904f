// The main window's single unit commands as the user gives them: Factory reset, the revision Read
// with its countdown, the IP address Read and Set, the status key and View Comms showing the MIDI
// window, Close, and the Debug tab. Frames are checked at the simulated unit's port.
#include "rbframework/dispatch.h"
#include "rbframework/testseam.h"
#include "support/vokey.h"
#include "tests/common/program_fixture.h"

#include <QApplication>
#include <QTest>

using namespace korvanetest;
using korvane::vokey;

namespace
{

enum Page { Connect, UpdateSW, Help, SetIP, Debug };

Bytes command(std::uint8_t code)
{
    return {0xF0, 0x7E, 0x7F, code, 0x00, 0xF7};
}

constexpr QRgb solid(rb::Color c)
{
    return 0xFF000000u | c;
}

class UnitCommands : public ConnectedProgramTest
{
  protected:
    static korvane::main &w() { return mainWindow(); }
    // The IP address Read, answered by the unit: the address field and Set come on.
    void readAddress()
    {
        chooseTab(w().TabPanel1(), SetIP);
        click(w().kreadip());
        poll();
    }
};

// A key drawn afresh, apart from the window, in the state the given key holds now.
class ReferenceKey
{
  public:
    explicit ReferenceKey(const vokey &like)
        : host(QStringLiteral("reference"), 0, 0, like.Width() + 10, like.Height() + 10),
          key(host.add<vokey>(QStringLiteral("key"), 0, 0, like.Width(), like.Height()))
    {
        key.litcolor = like.litcolor;
        key.offcolor = like.offcolor;
        key.lit = like.lit;
        key.caption = like.caption;
        key.Textfont = like.Textfont;
        key.TextLitcolor = like.TextLitcolor;
        key.TextOffColor = like.TextOffColor;
        key.textsize = like.textsize;
        key.Bold = like.Bold;
        key.rad = like.rad;
        key.redraw();
    }
    const QImage &image() const { return key.surface(); }

  private:
    rb::Window host;
    vokey &key;
};

// ---- Commands

TEST_F(UnitCommands, FactoryResetSendsItsCommandAndChangesNothing)
{
    chooseTab(w().TabPanel1(), UpdateSW);
    click(w().kenabsw());
    click(w().KReset()); // the only way to Factory reset
    poll();
    sim::clearReceived(UnitOut);
    const bool enable = w().kenabsw().Enabled(), reset = w().KReset().Enabled();

    click(w().kfactory());
    EXPECT_EQ(framesSent(), std::vector<Bytes>{command(0x32)});
    EXPECT_EQ(sim::unitCommands().back().code, 0x32);
    EXPECT_TRUE(sim::unitCommands().back().valid);
    EXPECT_TRUE(w().kfactory().Enabled());
    EXPECT_EQ(w().kenabsw().Enabled(), enable);
    EXPECT_EQ(w().KReset().Enabled(), reset);
    EXPECT_EQ(w().lcount().Caption(), "Finished");
}

TEST_F(UnitCommands, RevisionReadFillsTheLabelsAndHoldsEnableAndReadForTenTicks)
{
    chooseTab(w().TabPanel1(), UpdateSW);
    click(w().kenabsw()); // Enable off, without a countdown
    poll();
    sim::clearReceived(UnitOut);
    sim::setUnitRevision({0x02, 0x01, 0x04, 0x07, 0x00, 0x3B, 0x05, 0x02, 0x01, 0x0C});
    chooseTab(w().TabPanel1(), Connect);

    click(w().kreadeprom());
    EXPECT_EQ(framesSent(), std::vector<Bytes>{command(0x11)});
    EXPECT_EQ(w().corerev().Caption(), "Core 02.05 Build 00.1A HW 01.00") << "Enable's request answered";
    poll();
    EXPECT_EQ(w().corerev().Caption(), "Core 04.07 Build 00.3B HW 02.01");
    EXPECT_EQ(w().mainrev().Caption(), "Main 05.02 Build 01.0C");

    EXPECT_FALSE(w().kenabsw().Enabled());
    EXPECT_TRUE(w().kreadeprom().Enabled()) << "Read goes off only at the first tick";
    for (int t = 1; t <= 10; ++t) {
        tick();
        SCOPED_TRACE("tick " + std::to_string(t));
        EXPECT_EQ(w().kreadeprom().Enabled(), t == 10);
        EXPECT_EQ(w().kenabsw().Enabled(), t == 10) << "Read also brings back an Enable that was off";
    }
}

TEST_F(UnitCommands, RevisionWithoutAnAnswerKeepsTheLabels)
{
    sim::setUnitMode(sim::Mode::Silent);
    click(w().kreadeprom());
    poll(3);
    EXPECT_EQ(w().corerev().Caption(), "?.?");
    EXPECT_EQ(w().mainrev().Caption(), "?.?");
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
}

TEST_F(UnitCommands, AddressReadFillsAndEnablesTheFieldAndSet)
{
    sim::setUnitAddress({192, 168, 7, 201});
    chooseTab(w().TabPanel1(), SetIP);
    EXPECT_FALSE(w().ipaddr().Enabled());
    EXPECT_FALSE(w().ksetip().Enabled());
    click(w().kreadip());
    EXPECT_EQ(framesSent(), std::vector<Bytes>{command(0x33)});
    poll();
    EXPECT_EQ(w().ipaddr().Text(), "192.168.7.201");
    EXPECT_TRUE(w().ipaddr().Enabled());
    EXPECT_TRUE(w().ksetip().Enabled());
}

TEST_F(UnitCommands, SetSendsTheFourAddressBytesAsTyped)
{
    const struct {
        const char *typed;
        Bytes address;
    } cases[] = {
        {"192.168.1.20", {192, 168, 1, 20}},
        {"10.1", {10, 1, 0, 0}},            // missing parts are 0
        {"42", {42, 0, 0, 0}},              // no "." at all
        {" 10 . 2 .3 . 4 ", {10, 2, 3, 4}}, // blanks around the parts
        {"1.2.3.4.5.6", {1, 2, 3, 4}},      // text after a fourth "." is ignored
        {"a.b.c.d", {0, 0, 0, 0}},          // not numbers
        {"7x.8.9y.10", {7, 8, 9, 10}},      // the leading number of each part
        {"", {0, 0, 0, 0}},
        {"256.-1.1000.255", {0, 255, 232, 255}}, // out of range: the value's low byte
    };
    readAddress();
    click(w().ksetip()); // the address as read
    EXPECT_EQ(framesSent(), (std::vector<Bytes>{command(0x33), sim::packFrame(0x34, {10, 1, 128, 255})}));

    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        sim::clearReceived(UnitOut);
        type(w().ipaddr(), QString::fromLatin1(c.typed));
        ASSERT_EQ(w().ipaddr().Text(), QString::fromLatin1(c.typed));
        click(w().ksetip());
        EXPECT_EQ(framesSent(), std::vector<Bytes>{sim::packFrame(0x34, c.address)});
        EXPECT_TRUE(sim::unitCommands().back().valid) << sim::unitCommands().back().error;
        EXPECT_EQ(sim::unitAddress(), c.address);
    }
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
}

TEST_F(UnitCommands, WithoutPortsTheCommandsGoNowhereQuietly)
{
    restartProgram();
    QFile::remove(settingsFolder.filePath("korvane.ini"));
    openProgram(); // first run: no ports
    rb::testseam::reset();
    for (const std::pair<int, rb::RectControl *> &press :
         std::initializer_list<std::pair<int, rb::RectControl *>>{{UpdateSW, &w().kenabsw()},
                                                                  {UpdateSW, &w().KReset()},
                                                                  {UpdateSW, &w().kfactory()},
                                                                  {Connect, &w().kreadeprom()},
                                                                  {SetIP, &w().kreadip()}}) {
        chooseTab(w().TabPanel1(), press.first);
        ASSERT_TRUE(press.second->Enabled()) << press.second->Name().toStdString();
        click(*press.second);
    }
    poll();
    EXPECT_TRUE(sim::received(UnitOut).empty());
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
    EXPECT_EQ(w().lcount().Caption(), "Finished");
}

// ---- The status key, View Comms and Close

TEST_F(UnitCommands, StatusKeyOpensLitRedReadingMidiNotEnabled)
{
    // What the key shows between its own opening and the first link report, which follows at once
    // when the window opens; the key's open is raised here as the window raises it.
    rb::closeAllWindows();
    korvane::main &unopened = rb::window<korvane::main>(); // made, not opened
    rb::dispatch([&] { unopened.showmidi().Event_Open(); });
    vokey &key = unopened.showmidi();
    EXPECT_EQ(key.caption, "Midi Not Enabled");
    EXPECT_TRUE(key.lit);
    EXPECT_EQ(key.litcolor, 0xFF0000u);
    EXPECT_EQ(key.TextLitcolor, 0xFFFFFFu);
    EXPECT_EQ(key.surface().pixel(3, key.Height() / 2), solid(0xFF0000));
    EXPECT_EQ(key.surface(), ReferenceKey(key).image());
}

TEST_F(UnitCommands, StatusKeyShowsTheLinkStateAsReported)
{
    vokey &key = w().showmidi();
    const auto shows = [&key](const char *caption, rb::Color fill, rb::Color text) {
        QApplication::processEvents(); // the window's refresh repaints the key
        EXPECT_EQ(key.caption, caption);
        EXPECT_TRUE(key.lit);
        EXPECT_EQ(key.litcolor, fill);
        EXPECT_EQ(key.TextLitcolor, text);
        EXPECT_EQ(key.surface().pixel(3, key.Height() / 2), solid(fill));
        EXPECT_EQ(key.surface(), ReferenceKey(key).image()) << "the key is drawn with its new caption";
    };
    {
        SCOPED_TRACE("both ports open at start");
        shows("Midi OK", 0x00FF00, 0x000000);
    }

    // Refresh in the MIDI window reports the link again: still up.
    click(key);
    ASSERT_TRUE(io().Visible());
    click(io().krefresk());
    {
        SCOPED_TRACE("reported up twice");
        shows("Midi OK", 0x00FF00, 0x000000);
    }

    // Another output port that fails to open: the link is down.
    sim::failOpen(SpareOut, "device busy");
    chooseRow(io().midiout1(), 2);
    ASSERT_EQ(rb::testseam::shownMessages().size(), 1);
    {
        SCOPED_TRACE("down after up");
        shows("Midi Not Open - click here to select port", 0xFF0000, 0xFFFFFF);
    }
}

TEST_F(UnitCommands, StatusKeyNameFollowsTheLinkWhileItsPageIsNotShown)
{
    vokey &key = w().showmidi();
    QApplication::processEvents();
    ASSERT_EQ(key.widget()->accessibleName(), "Midi OK");
    chooseTab(w().TabPanel1(), UpdateSW);
    click(w().kview());
    ASSERT_TRUE(io().Visible());

    sim::failOpen(SpareOut, "device busy");
    const struct {
        const char *step;
        int outputRow;
        const char *name;
    } steps[] = {
        {"an output that fails: down", 2, "Midi Not Open - click here to select port"},
        {"the unit's output again: up", 1, "Midi OK"},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.step);
        chooseRow(io().midiout1(), s.outputRow);
        QApplication::processEvents();
        ASSERT_FALSE(key.widget()->isVisible()) << "its page is not the open one";
        EXPECT_EQ(key.caption, s.name);
        EXPECT_EQ(key.widget()->accessibleName(), s.name);
    }
}

TEST_F(UnitCommands, StatusKeyAndViewCommsShowAndHideTheMidiWindow)
{
    ASSERT_FALSE(io().Visible());
    ASSERT_FALSE(io().fvisible);
    const struct {
        rb::RectControl *control;
        bool shown;
    } clicks[] = {
        {&w().showmidi(), true}, {&w().showmidi(), false}, {&w().kview(), true},
        {&w().kview(), false},   {&w().showmidi(), true},  {&w().kview(), false},
    };
    for (const auto &c : clicks) {
        SCOPED_TRACE(c.control->Name().toStdString());
        click(*c.control);
        EXPECT_EQ(io().fvisible, c.shown);
        EXPECT_EQ(io().Visible(), c.shown);
    }
    // View Comms is there whatever tab is open.
    chooseTab(w().TabPanel1(), Debug);
    click(w().kview());
    EXPECT_TRUE(io().fvisible);
    EXPECT_TRUE(framesSent().empty());
}

TEST_F(UnitCommands, CloseQuitsTheProgramWithCodeZero)
{
    click(w().kclose());
    // Under test the event loop is not running yet: it ends as soon as it runs.
    EXPECT_EQ(exitCodeOfTheLoop(), 0) << "Close did not quit";
}

// ---- The Debug tab

TEST_F(UnitCommands, TypingAnAddressPutsTheLengthBackToOff)
{
    chooseTab(w().TabPanel1(), Debug);
    type(w().dbugaddr(), "12");
    EXPECT_EQ(w().dbuglen().ListIndex(), 0) << "Off stays Off";

    chooseRow(w().dbuglen(), 3);
    EXPECT_EQ(w().dbuglen().Text(), "3");
    QTest::keyClicks(w().dbugaddr().widget(), "A");
    EXPECT_EQ(w().dbugaddr().Text(), "12A");
    EXPECT_EQ(w().dbuglen().ListIndex(), 0);
    EXPECT_EQ(w().dbuglen().Text(), "Off");

    chooseRow(w().dbuglen(), 4);
    EXPECT_TRUE(framesSent().empty()) << "the Debug tab's request goes nowhere";
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty());
}

TEST_F(UnitCommands, DebugRequestBytes)
{
    // The request the Debug tab forms for address $12A4 and length 3, and one without data.
    EXPECT_EQ(w().vos3cmd(0x9A, QByteArray::fromHex("01A403")), QByteArray::fromHex("04A09A01A403"));
    EXPECT_EQ(w().vos3cmd(0x9A, QByteArray(3, '\0')), QByteArray::fromHex("04A09A000000"));
    EXPECT_EQ(w().vos3cmd(0x10, QByteArray()), QByteArray::fromHex("01A010"));
}

} // namespace
