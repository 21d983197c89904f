// Start-up of the built program against a bare Qt window of the same size, in pairs of fresh
// processes: each is timed from just before it is started to the end of its main window's first
// expose (its first frame painted and handed to the display), as a library preloaded into both
// reports it (startup_probe). The program is the built Korvane with its plug-in from plugins/,
// over the simulated MIDI service with the simulated unit (preloaded), the unit's two ports saved
// in a settings folder of the benchmark's own, as a user with the unit connected starts it. On the
// display named by DISPLAY when it is set, else offscreen. The two of a pair run in turn, in
// alternating order; one pair first warms the file cache and is not counted.
//
//   startup [--pairs 30] [--program path/to/Korvane]
//
// --program: another build of the program (with its plugins/ beside it), to compare two builds.
//
// Printed: the platform, and for the wall time and for the process's CPU time up to that point
// (which a busy machine inflates less), the median and the spread (quartiles, fastest, slowest) of
// both in milliseconds, and the program's median over the bare window's.

#include "support/config.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

constexpr const char *title = "Korvane";
constexpr int boundMs = 20000; // a start-up that never shows its window (a message box waits)

struct Shown {
    double ms = 0, cpuMs = 0;
    std::string platform;
    int width = 0, height = 0;
};

double monotonicNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

// Starts the command with the probe preloaded (after the given libraries) and waits for its report.
std::optional<Shown> timeStart(const std::vector<std::string> &command, const std::string &preload)
{
    int report[2];
    if (pipe(report) != 0)
        return std::nullopt;
    const double started = monotonicNs();
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        setenv("LD_PRELOAD", (preload + " " KORVANE_STARTUP_PROBE).c_str(), 1);
        setenv("KORVANE_STARTUP_FD", std::to_string(report[1]).c_str(), 1);
        setenv("KORVANE_STARTUP_TITLE", title, 1);
        std::vector<char *> argv;
        for (const std::string &arg : command)
            argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        std::_Exit(127);
    }
    close(report[1]);
    std::optional<Shown> shown;
    pollfd ready{report[0], POLLIN, 0};
    char line[256] = {};
    if (child > 0 && poll(&ready, 1, boundMs) == 1) {
        const ssize_t n = read(report[0], line, sizeof line - 1);
        long long at = 0, cpu = 0;
        char platform[64] = {};
        Shown s;
        if (n > 0 &&
            std::sscanf(line, "%lld %lld %63s %d %d", &at, &cpu, platform, &s.width, &s.height) == 5) {
            s.ms = (double(at) - started) / 1e6;
            s.cpuMs = double(cpu) / 1e6;
            s.platform = platform;
            shown = s;
        }
    }
    close(report[0]);
    if (child > 0) {
        if (!shown)
            kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    return shown;
}

// The bare window: a plain Qt widget of the program's window size, shown, in this process.
int showBareWindow(int argc, char **argv, int width, int height)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QString::fromLatin1(title));
    window.resize(width, height);
    window.show();
    return app.exec();
}

// The unit's ports saved in a fresh settings folder, which the program's runs share.
bool saveUnitPorts(const QTemporaryDir &folder)
{
    qputenv("XDG_CONFIG_HOME", folder.path().toLocal8Bit());
    QFile settings(QDir(folder.path()).filePath(QStringLiteral("korvane.ini")));
    if (!settings.open(QIODevice::WriteOnly))
        return false;
    settings.close();
    korvane::config::initconfig(QStringLiteral("korvane"));
    korvane::config::putstring(QStringLiteral("Minport"), QStringLiteral("0:Simulated Unit In - Simulated"));
    korvane::config::putstring(QStringLiteral("Moutport"),
                               QStringLiteral("1:Simulated Unit Out - Simulated"));
    return korvane::config::getstring(QStringLiteral("Moutport")).startsWith(u'1');
}

double quantile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    const double at = q * double(v.size() - 1);
    const std::size_t low = std::size_t(at);
    const std::size_t high = std::min(low + 1, v.size() - 1);
    return v[low] + (v[high] - v[low]) * (at - double(low));
}

// One measure (wall or CPU time) of both windows over the pairs.
struct Series {
    std::vector<double> program, bare, ratios;
    void add(double programMs, double bareMs)
    {
        program.push_back(programMs);
        bare.push_back(bareMs);
        ratios.push_back(programMs / bareMs);
    }
};

void printRow(const char *what, const std::vector<double> &ms)
{
    std::printf("    %-38s %7.1f %7.1f-%-7.1f %7.1f %7.1f\n", what, quantile(ms, 0.5), quantile(ms, 0.25),
                quantile(ms, 0.75), quantile(ms, 0), quantile(ms, 1));
}

void print(const char *measure, const Series &s)
{
    std::printf("  %s, ms %29s %15s %7s %7s\n", measure, "median", "quartiles", "fastest", "slowest");
    printRow("Korvane (simulated unit, ports saved)", s.program);
    printRow("bare Qt window", s.bare);
    std::printf("    ratio of the medians %.2f; median of the pairs' ratios %.2f\n",
                quantile(s.program, 0.5) / quantile(s.bare, 0.5), quantile(s.ratios, 0.5));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::string(argv[1]) == "--bare")
        return showBareWindow(argc, argv, std::atoi(argv[2]), std::atoi(argv[3]));
    int pairs = 30;
    std::vector<std::string> program{KORVANE_PROGRAM};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option(argv[i]);
        if (option == "--pairs")
            pairs = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--program")
            program = {argv[i + 1]};
    }
    if (!std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QTemporaryDir folder;
    if (!folder.isValid() || !saveUnitPorts(folder)) {
        std::fprintf(stderr, "startup: the settings could not be written\n");
        return 1;
    }
    setenv("KORVANE_SIM_DEVICES", "unit", 1);
    const auto timeProgram = [&] { return timeStart(program, KORVANE_SIM_LIBRARY); };

    // The warm-up run also gives the program's window size for the bare window.
    const std::optional<Shown> first = timeProgram();
    if (!first) {
        std::fprintf(stderr, "startup: the program did not show its window within %d ms\n", boundMs);
        return 1;
    }
    const std::vector<std::string> bare{argv[0], "--bare", std::to_string(first->width),
                                        std::to_string(first->height)};
    const auto timeBare = [&] { return timeStart(bare, ""); };
    timeBare();

    Series wall, cpu;
    for (int pair = 0; pair < pairs; ++pair) {
        std::optional<Shown> a, b;
        if (pair % 2 == 0) {
            a = timeProgram();
            b = timeBare();
        } else {
            b = timeBare();
            a = timeProgram();
        }
        if (!a || !b) {
            std::fprintf(stderr, "startup: pair %d: a window was not shown within %d ms\n", pair, boundMs);
            return 1;
        }
        wall.add(a->ms, b->ms);
        cpu.add(a->cpuMs, b->cpuMs);
    }

    std::printf("Start-up to the main window's first frame, %d pairs of fresh processes; platform %s,"
                " window %dx%d\n  program %s\n",
                pairs, first->platform.c_str(), first->width, first->height, program[0].c_str());
    print("wall time from the start", wall);
    print("CPU time of the process", cpu);
    return 0;
}
