#pragma once
// The program's own code over the simulated MIDI service: the real plug-in, loaded and bound as
// start-up does, over the real PortMidi, over simulated devices with the simulated unit wired
// between the unit's two ports. Every test starts from fresh windows, module state and an empty
// settings folder of its own. Controls are driven with Qt input events, as a user drives them.

#include "app/app.h"
#include "app/mainwindow.h"
#include "midilink/midiio.h"
#include "rbframework/memoryblock.h"
#include "tests/common/qstring_print.h"
#include "tests/sim/simmidi.h"

#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <gtest/gtest.h>
#include <ostream>
#include <vector>

namespace korvanetest
{

using Bytes = std::vector<std::uint8_t>;

// PortMidi device numbers of the simulated devices.
enum Port : int {
    UnitIn = 0,   // "Simulated Unit In": what the unit answers
    UnitOut = 1,  // "Simulated Unit Out": what the unit hears
    ColonIn = 2,  // an input whose name holds ":"
    SpareOut = 3, // an output with nothing behind it
};

// The device list in force when the plug-in loads (it initialises PortMidi as it loads).
const std::vector<sim::Device> &simulatedDevices();
// Its row in a port selector, "N:Name - Interface".
QString portRow(int device);

// A memory block holding the bytes.
rb::MemoryBlock memoryBlock(const Bytes &bytes);

// Fresh windows, module state and an empty settings folder for each test, the simulated unit wired
// between the unit's ports, and the user's input. Nothing of the program is made here: the test
// starts it, through its real start-up (programEntry) or as ProgramTest does.
class SimulatedUnitTest : public ::testing::Test
{
  protected:
    void SetUp() override;
    void TearDown() override;

    static korvane::midiio &io() { return rb::window<korvane::midiio>(); }
    static korvane::main &mainWindow() { return rb::window<korvane::main>(); }

    // Saves both unit ports in the settings, so that the windows open them.
    void saveUnitPorts();

    // Writes the image to a file of the test's own and opens it as the main window opens a chosen
    // firmware file: the download state (stream, sentlen 0) and the progress bar start from it.
    void openImage(const Bytes &image);

    // One tick of the MIDI window's poller, as its clock would fire it.
    void poll(int ticks = 1);
    // Ticks of the main window's Timer1, as its clock would fire them.
    static void tick(int ticks = 1);

    // The exit code of the event loop when it runs now: a Quit asked for before it makes it end at
    // once with its code. A loop that would run instead is ended after a bound, answering -1.
    static int exitCodeOfTheLoop();
    // This process's open handles on a file.
    static int openHandles(const QString &path);

    // User input: a mouse click in the middle of the control (of its focus widget for a tab
    // panel), a row chosen from a popup menu with the mouse, text typed into a field.
    static void click(rb::RectControl &control);
    static void chooseRow(rb::PopupMenu &menu, int row);
    static void type(rb::TextField &field, const QString &text); // replaces the field's text
    // Opens a page of a tab panel with a mouse click on its tab.
    static void chooseTab(rb::TabPanel &panel, int page);
    // Chooses a menu item of the window's menu bar with the mouse: its menu's title, then the item.
    static void chooseMenuItem(rb::Window &window, const QString &itemName);
    // The same in two steps, the window left active or not as it is: a click on the title of a menu
    // of the window's menu bar, then one on an item of the open menu (a disabled one too).
    static void openMenu(rb::Window &window, const rb::MenuItem &menu);
    static void clickMenuItem(const rb::MenuItem &item);

    // What the unit received, and the frames written on its port.
    static std::vector<Bytes> framesSent();

    // The rows of a list or a popup menu, top first.
    static QStringList rows(const rb::Listbox &list);
    static QStringList rows(const rb::PopupMenu &menu);

    QTemporaryDir settingsFolder;
};

// The program's code with its application object registered, as start-up registers it; the test
// raises the application's open event itself.
class ProgramTest : public SimulatedUnitTest
{
  protected:
    void SetUp() override;

    // The application's open event: the settings opened, the main window shown (which creates the
    // MIDI window, opens the saved ports and reports the link state).
    void openProgram();
    // The same on a first run: no settings file yet, so no saved ports. The settings store's
    // message about the missing file is checked and forgotten.
    void openFirstRun();
    // The program quits, every module released as at its end, and starts again up to the
    // application's open event, which the test raises.
    void restartProgram();

    korvane::App app;
};

// The program as a user with the unit connected starts it: both unit ports saved in the settings,
// then the application's open event.
class ConnectedProgramTest : public ProgramTest
{
  protected:
    void SetUp() override;
};

} // namespace korvanetest
