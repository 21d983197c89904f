#include "program_fixture.h"

#include "app/startup.h"
#include "midilink/midisr.h"
#include "rbframework/application.h"
#include "rbframework/dispatch.h"
#include "rbframework/menu.h"
#include "rbframework/testseam.h"
#include "support/config.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStyleHints>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <filesystem>

namespace korvanetest
{

namespace
{

// The devices are in place before the plug-in loads and PortMidi is initialised.
class SimulatedService : public ::testing::Environment
{
  public:
    void SetUp() override
    {
        ASSERT_TRUE(sim::installed()) << "the simulated MIDI service is not in front of PortMidi";
        sim::setDevices(simulatedDevices());
        korvane::bindPlugin(QStringLiteral(KORVANE_PLUGIN_PATH));
    }
};
::testing::Environment *const service = ::testing::AddGlobalTestEnvironment(new SimulatedService);

// As start-up registers it, with the handler of uncaught exceptions.
void registerApplication(korvane::App &app)
{
    rb::RuntimeRegisterAppObject(&app);
    rb::RuntimeSetExceptionHelper();
}

} // namespace

const std::vector<sim::Device> &simulatedDevices()
{
    static const std::vector<sim::Device> devices = {
        {"Simulated Unit In", "Simulated", true},
        {"Simulated Unit Out", "Simulated", false},
        {"Keys: Port 1", "ALSA", true},
        {"Spare Out", "ALSA", false},
    };
    return devices;
}

QString portRow(int device)
{
    const sim::Device &d = simulatedDevices().at(std::size_t(device));
    return QStringLiteral("%1:%2 - %3")
        .arg(device)
        .arg(QString::fromStdString(d.name), QString::fromStdString(d.interf));
}

rb::MemoryBlock memoryBlock(const Bytes &bytes)
{
    return rb::MemoryBlock(QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())));
}

void SimulatedUnitTest::SetUp()
{
    ASSERT_TRUE(settingsFolder.isValid());
    qputenv("XDG_CONFIG_HOME", settingsFolder.path().toLocal8Bit());
    rb::testseam::reset();
    sim::reset();
    sim::attachUnit(UnitOut, UnitIn);
}

void SimulatedUnitTest::TearDown()
{
    // As when the program quits: closing the windows closes the ports.
    korvane::releaseModuleState();
    for (int d = 0; d < int(simulatedDevices().size()); ++d)
        EXPECT_FALSE(sim::isOpen(d)) << "device " << d << " left open";
}

void ProgramTest::SetUp()
{
    SimulatedUnitTest::SetUp();
    registerApplication(app);
}

void ProgramTest::restartProgram()
{
    korvane::releaseModuleState();
    registerApplication(app);
}

void ProgramTest::openProgram()
{
    rb::dispatch([this] { app.Event_Open(); });
}

void ProgramTest::openFirstRun()
{
    openProgram();
    ASSERT_EQ(rb::testseam::shownMessages(), QStringList({QStringLiteral("config file missing")}));
    rb::testseam::reset();
}

void ConnectedProgramTest::SetUp()
{
    ProgramTest::SetUp();
    if (HasFatalFailure())
        return;
    saveUnitPorts();
    openProgram();
}

void SimulatedUnitTest::saveUnitPorts()
{
    korvane::config::initconfig(QStringLiteral("korvane"));
    korvane::config::putstring(QStringLiteral("Minport"), portRow(UnitIn));
    korvane::config::putstring(QStringLiteral("Moutport"), portRow(UnitOut));
    rb::testseam::reset(); // forget "config file missing"
}

void SimulatedUnitTest::openImage(const Bytes &image)
{
    const QString path = settingsFolder.filePath(QStringLiteral("image.bin"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(reinterpret_cast<const char *>(image.data()), qint64(image.size())),
              qint64(image.size()));
    file.close();
    mainWindow().f = std::make_shared<rb::FolderItem>(path);
    mainWindow().File2stream();
    ASSERT_NE(korvane::midisr::stream, nullptr);
}

void SimulatedUnitTest::poll(int ticks)
{
    for (int i = 0; i < ticks; ++i)
        io().miditimer1().fire();
}

void SimulatedUnitTest::tick(int ticks)
{
    for (int i = 0; i < ticks; ++i)
        mainWindow().Timer1().fire();
}

int SimulatedUnitTest::exitCodeOfTheLoop()
{
    QTimer bound; // owned here: nothing fires after the call
    bound.setSingleShot(true);
    bool ended = false;
    QObject::connect(&bound, &QTimer::timeout, [&ended] {
        ended = true;
        QCoreApplication::exit(-1);
    });
    bound.start(5000);
    const int code = rb::RuntimeRun();
    return ended ? -1 : code;
}

int SimulatedUnitTest::openHandles(const QString &path)
{
    const std::filesystem::path target = QFileInfo(path).canonicalFilePath().toStdString();
    int n = 0;
    for (const auto &fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(fd.path(), error) == target && !error)
            ++n;
    }
    return n;
}

void SimulatedUnitTest::click(rb::RectControl &control)
{
    QWidget *target = control.focusTarget();
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(target->isVisible()) << control.Name().toStdString() << " is not on screen";
    QTest::mouseClick(target, Qt::LeftButton, {}, target->rect().center());
}

void SimulatedUnitTest::chooseRow(rb::PopupMenu &menu, int row)
{
    auto *box = qobject_cast<QComboBox *>(menu.widget());
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(box->isVisible()) << menu.Name().toStdString() << " is not on screen";
    // The popup ignores a release that comes within the double-click interval of its opening; a
    // user's second click comes later. An interval of 0 lets the test's click count at once.
    QStyleHints *hints = QGuiApplication::styleHints();
    const int interval = hints->mouseDoubleClickInterval();
    hints->setMouseDoubleClickInterval(0);
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    QCoreApplication::processEvents();
    hints->setMouseDoubleClickInterval(interval);
    QAbstractItemView *view = box->view();
    ASSERT_TRUE(view->isVisible()) << "the popup did not open";
    ASSERT_LT(row, box->count());
    // A row's rectangle can be wider than a narrow popup: click on the part that shows.
    const QRect r =
        view->visualRect(box->model()->index(row, box->modelColumn())).intersected(view->viewport()->rect());
    ASSERT_FALSE(r.isEmpty()) << "row " << row << " is not in view";
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
    ASSERT_FALSE(view->isVisible()) << "the popup did not close";
}

void SimulatedUnitTest::type(rb::TextField &field, const QString &text)
{
    auto *edit = qobject_cast<QLineEdit *>(field.widget());
    ASSERT_NE(edit, nullptr);
    click(field);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

void SimulatedUnitTest::chooseTab(rb::TabPanel &panel, int page)
{
    auto *bar = qobject_cast<QTabBar *>(panel.focusTarget());
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(bar->isVisible()) << panel.Name().toStdString() << " is not on screen";
    ASSERT_LT(page, bar->count());
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
    ASSERT_EQ(panel.Value(), page) << "the click did not open the tab";
}

void SimulatedUnitTest::chooseMenuItem(rb::Window &window, const QString &itemName)
{
    rb::MenuBar *bar = window.MenuBar();
    ASSERT_NE(bar, nullptr) << "the window has no menu bar";
    rb::MenuItem *item = bar->Lookup(itemName);
    ASSERT_NE(item, nullptr) << "no menu item " << itemName.toStdString();
    rb::MenuItem *menu = item->Parent();
    ASSERT_TRUE(menu && menu->Parent() == bar) << itemName.toStdString() << " is not an item of a menu";
    // A click on an inactive window makes it the active one first.
    QApplication::setActiveWindow(window.widget());
    openMenu(window, *menu);
    ASSERT_TRUE(item->action()->isEnabled()) << itemName.toStdString() << " is disabled";
    clickMenuItem(*item);
    ASSERT_FALSE(menu->menu()->isVisible()) << "the menu did not close";
}

void SimulatedUnitTest::openMenu(rb::Window &window, const rb::MenuItem &menu)
{
    auto *shown = window.widget()->findChild<QMenuBar *>();
    ASSERT_TRUE(shown && shown->isVisible()) << "the menu bar is not on screen";
    ASSERT_TRUE(shown->actions().contains(menu.action()))
        << menu.Name().toStdString() << " is not on the bar";
    QTest::mouseClick(shown, Qt::LeftButton, {}, shown->actionGeometry(menu.action()).center());
    QMenu *popup = menu.menu();
    ASSERT_TRUE(popup && popup->isVisible()) << "the menu " << menu.Name().toStdString() << " did not open";
}

void SimulatedUnitTest::clickMenuItem(const rb::MenuItem &item)
{
    QMenu *popup = item.Parent() ? item.Parent()->menu() : nullptr;
    ASSERT_TRUE(popup && popup->isVisible()) << "the menu of " << item.Name().toStdString() << " is not open";
    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(item.action()).center());
}

std::vector<Bytes> SimulatedUnitTest::framesSent()
{
    std::vector<Bytes> frames;
    for (const sim::Message &m : sim::received(UnitOut))
        frames.push_back(m.bytes);
    return frames;
}

QStringList SimulatedUnitTest::rows(const rb::Listbox &list)
{
    QStringList texts;
    for (int row = 0; row < list.ListCount(); ++row)
        texts << list.List(row);
    return texts;
}

QStringList SimulatedUnitTest::rows(const rb::PopupMenu &menu)
{
    QStringList texts;
    for (int row = 0; row < menu.ListCount(); ++row)
        texts << menu.List(row);
    return texts;
}

} // namespace korvanetest
