#include "tests/common/program_fixture.h"

#include "midilink/midisr.h"
#include "rbframework/testseam.h"

using namespace korvanetest;

TEST_F(ProgramTest, Smoke)
{
    saveUnitPorts();
    openProgram();
    EXPECT_TRUE(io().midiin1().portopen);
    EXPECT_TRUE(io().midiout1().portopen);
    EXPECT_EQ(mainWindow().showmidi().caption, "Midi OK");
    click(mainWindow().kreadeprom());
    poll();
    EXPECT_EQ(mainWindow().corerev().Caption(), "Core 02.05 Build 00.1A HW 01.00");
    EXPECT_EQ(mainWindow().mainrev().Caption(), "Main 03.01 Build 00.2C");
    click(mainWindow().kview());
    ASSERT_TRUE(io().fvisible);
    chooseRow(io().midiout1(), 0);
    EXPECT_EQ(io().midiout1().ListIndex(), 0);
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty()) << rb::testseam::shownMessages().join("|").toStdString();
}
