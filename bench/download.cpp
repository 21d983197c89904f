// A firmware download through the whole program: its real start-up (the plug-in loaded from
// plugins/ and bound), real PortMidi over the simulated MIDI service and unit, the real event loop
// and the real 50 ms poll timer. Enable, File and Start are pressed as a user presses them; the
// figures cover Start to "Finished". Each configuration runs in a process of its own, so that one
// run's memory does not hide in the next one's figures.
//
//   download [--images 22000,220000] [--delays 0,2] [--windows hidden,shown]
//
// --delays: how many milliseconds the simulated unit takes to answer (0: at once). A quick run
// for trying a change: --images 2200 --delays 0 --windows hidden (101 blocks, some 5 seconds).
// Printed per configuration: the Qt platform it ran on (the user's display when there is one, see
// platform.h), wall time per block and its ratio to one 50 ms tick, CPU time of the process per
// block, the heap the process holds at "Finished" beyond what it held at Start, per block, and the
// longest time one event held the event loop (input, repaints and the quit signal wait that long).
// The simulated service keeps nothing of the traffic meanwhile (it only checks the image the unit
// receives), so the heap is the program's own.

#include "app/mainwindow.h"
#include "app/startup.h"
#include "bench/platform.h"
#include "midilink/midiio.h"
#include "midilink/midisr.h"
#include "rbframework/application.h"
#include "rbframework/testseam.h"
#include "support/config.h"
#include "tests/sim/simmidi.h"

#include <QApplication>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <malloc.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr int unitIn = 0, unitOut = 1;
constexpr double tickMs = 50.0;
constexpr int updatePage = 1; // the main window's tab "Update S/W"

struct Configuration {
    int image = 0;      // bytes
    int delayMs = 0;    // the unit's answer time
    bool shown = false; // the MIDI window shown with View Comms
};

struct Figures {
    bool finished = false;
    bool imageIntact = false;
    long blocks = 0;
    double wallMs = 0, cpuMs = 0, longestHeldMs = 0;
    long heapGrowth = 0; // bytes
    QByteArray platform;
};

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Bytes of heap in use: small blocks and the large ones that malloc maps on their own.
long heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return long(m.uordblks + m.hblkhd);
}

// Times every event that the event loop delivers; a delivery inside another one counts with it.
class MeasuringApplication : public QApplication
{
  public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (depth_++ > 0) {
            const bool handled = QApplication::notify(receiver, event);
            --depth_;
            return handled;
        }
        const Clock::time_point start = Clock::now();
        const bool handled = QApplication::notify(receiver, event);
        --depth_;
        longest_ = std::max(longest_, Clock::now() - start);
        if (afterEvent)
            afterEvent();
        return handled;
    }

    double longestHeldMs() const { return std::chrono::duration<double, std::milli>(longest_).count(); }
    void forgetLongest() { longest_ = {}; }

    std::function<void()> afterEvent; // after each outermost event

  private:
    int depth_ = 0;
    Clock::duration longest_{};
};

Bytes randomImage(int size)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes image(static_cast<std::size_t>(size));
    for (std::uint8_t &b : image)
        b = std::uint8_t(byte(random));
    return image;
}

QString portRow(int device, const char *name)
{
    return QStringLiteral("%1:%2 - Simulated").arg(device).arg(QLatin1String(name));
}

// One download in this process.
Figures measure(const Configuration &c, int argc, char **argv)
{
    QTemporaryDir folder;
    qputenv("XDG_CONFIG_HOME", folder.path().toLocal8Bit());
    sim::setDevices({{"Simulated Unit In", "Simulated", true}, {"Simulated Unit Out", "Simulated", false}});
    sim::attachUnit(unitOut, unitIn);
    sim::setUnitDelay(std::chrono::milliseconds(c.delayMs));

    MeasuringApplication app(argc, argv);
    rb::testseam::enable(); // the file chooser answered by script; beeps only counted

    // The unit's ports saved as a user saved them, so that the program opens them.
    korvane::config::initconfig(QStringLiteral("korvane"));
    korvane::config::putstring(QStringLiteral("Minport"), portRow(unitIn, "Simulated Unit In"));
    korvane::config::putstring(QStringLiteral("Moutport"), portRow(unitOut, "Simulated Unit Out"));
    rb::testseam::reset();

    const Bytes image = randomImage(c.image);
    sim::checkImageOnly(image);
    const QString path = folder.filePath(QStringLiteral("image.bin"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(reinterpret_cast<const char *>(image.data()),
                                                       qint64(image.size())) != qint64(image.size()))
        return {};
    file.close();

    Figures figures;
    bool started = false;
    Clock::time_point wallStart;
    double cpuStart = 0;
    long heapStart = 0;
    const auto mainWindow = [] { return &rb::window<korvane::main>(); };

    app.afterEvent = [&] {
        if (!started || korvane::midisr::downfw || figures.finished)
            return;
        figures.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - wallStart).count();
        figures.cpuMs = cpuMs() - cpuStart;
        figures.heapGrowth = heapInUse() - heapStart;
        figures.longestHeldMs = app.longestHeldMs();
        figures.finished = mainWindow()->lcount().Caption() == QLatin1String("Finished");
        rb::Quit(0);
    };
    const auto start = [&] {
        rb::testseam::answerNextDialog(std::make_shared<rb::FolderItem>(path));
        mainWindow()->kfile().press();
        wallStart = Clock::now();
        cpuStart = cpuMs();
        heapStart = heapInUse();
        app.forgetLongest();
        started = true;
        mainWindow()->kstart().press();
    };
    // After the application has opened: View Comms when the window is to be shown, the Update S/W
    // tab, then Enable; File and Start half a second later, some ten ticks after the unit has
    // answered Enable.
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            if (c.shown)
                mainWindow()->kview().press();
            mainWindow()->TabPanel1().Value(updatePage);
            mainWindow()->kenabsw().press();
            QTimer::singleShot(500, start);
        });
    });
    // A download that does not end is stopped, generously late.
    const int blocks = (c.image + korvane::midisr::blockBytes - 1) / korvane::midisr::blockBytes + 1;
    QTimer::singleShot(int(std::min<double>(1e9, 10000 + blocks * tickMs * 4)), [] { rb::Quit(1); });

    korvane::programEntry(argc, argv);

    const sim::ImageCheck received = sim::unitImageCheck();
    figures.blocks = long(received.blocks);
    figures.imageIntact = received.complete && received.intact;
    figures.platform = bench::qtPlatform();
    return figures;
}

QStringList names(const char *list)
{
    return QString::fromLatin1(list).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

void print(const Configuration &c, const Figures &f)
{
    const QByteArray unit = c.delayMs == 0 ? QByteArray("at once") : QByteArray::number(c.delayMs) + " ms";
    std::printf("%-9s %8d %8s %7s %7ld ", f.platform.constData(), c.image, unit.constData(),
                c.shown ? "shown" : "hidden", f.blocks);
    if (!f.finished || f.blocks == 0) {
        std::printf("did not finish\n");
        return;
    }
    const double blocks = double(f.blocks);
    std::printf("%9.2f ms %7.3f %8.3f ms %9.1f B %9.1f ms%s\n", f.wallMs / blocks, f.wallMs / blocks / tickMs,
                f.cpuMs / blocks, double(f.heapGrowth) / blocks, f.longestHeldMs,
                f.imageIntact ? "" : "  (the unit's image differs)");
}

} // namespace

int main(int argc, char **argv)
{
    bench::chooseQtPlatform();
    QStringList images = {"22000", "220000"}, delays = {"0", "2"}, windows = {"hidden", "shown"};
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray option(argv[i]);
        if (option == "--images")
            images = names(argv[i + 1]);
        else if (option == "--delays")
            delays = names(argv[i + 1]);
        else if (option == "--windows")
            windows = names(argv[i + 1]);
    }

    std::printf("Firmware download, Start to \"Finished\"; one tick is %.0f ms.\n", tickMs);
    std::printf("%-9s %8s %8s %7s %7s %12s %7s %11s %11s %12s\n", "platform", "image", "unit", "window",
                "blocks", "wall/block", "ticks", "CPU/block", "heap/block", "longest held");
    std::fflush(stdout);
    for (const QString &image : images)
        for (const QString &delay : delays)
            for (const QString &window : windows) {
                const Configuration c{image.toInt(), delay.toInt(), window == QLatin1String("shown")};
                const pid_t child = fork();
                if (child == 0) {
                    print(c, measure(c, argc, argv));
                    std::fflush(stdout);
                    std::_Exit(0);
                }
                int status = 0;
                if (child > 0)
                    waitpid(child, &status, 0);
            }
    return 0;
}
