// Time per row inserted at the top of a list box as it grows to 100,000 rows: the traffic lists
// are never trimmed, so the cost must not grow with the list. Two runs: insertion alone, and
// insertion with the event loop run after every row (the shown list repaints), as in the program.
#include "rbframework/listbox.h"
#include "rbframework/window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace {

struct Host : rb::Window {
    Host() : Window(QStringLiteral("bench"), 0, 0, 760, 440) {}
};

void run(bool withEvents)
{
    Host w;
    auto &list = w.add<rb::Listbox>(QStringLiteral("eListin"), 5, 88, 581, 124, QStringLiteral("Input Events"));
    w.Show();
    QApplication::processEvents();
    const int checkpoints[] = {1000, 10000, 100000};
    const int window = 500;   // rows timed around each checkpoint
    std::printf("%s\n", withEvents ? "InsertRow(0) + event loop (repaint) per row:" : "InsertRow(0) alone:");
    int next = 0;
    QElapsedTimer clock;
    for (int row = 0; row < 100000; ++row) {
        const bool timed = next < 3 && row >= checkpoints[next] - window;
        if (timed && row == checkpoints[next] - window)
            clock.start();
        list.InsertRow(0, QStringLiteral("Input: Sysex F0 7E 7F 7F 00 F7 row %1").arg(row));
        if (withEvents)
            QApplication::processEvents();
        if (timed && row == checkpoints[next] - 1) {
            const double us = double(clock.nsecsElapsed()) / 1000.0 / window;
            std::printf("  around %6d rows: %8.2f us per row\n", checkpoints[next], us);
            ++next;
        }
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    run(false);
    run(true);
    return 0;
}
