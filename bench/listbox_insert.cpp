// Time per row inserted at the top of a list box as it grows to 100,000 rows: the traffic lists
// are never trimmed, so the cost must not grow with the list. Two runs: insertion alone, and
// insertion with the event loop run after every row (the shown list repaints), as in the program.
// Around each size the same measure is taken several times, after one that is not counted, and
// the fastest, the median and the slowest are printed: one measure alone varies with the machine.
#include "bench/platform.h"
#include "rbframework/listbox.h"
#include "rbframework/window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

struct Host : rb::Window {
    Host() : Window(QStringLiteral("bench"), 0, 0, 760, 440) {}
};

constexpr int rowsPerMeasure = 200;
constexpr int measures = 15;

QString rowText(int row)
{
    return QStringLiteral("Input: Sysex F0 7E 7F 7F 00 F7 row %1").arg(row);
}

void run(bool withEvents)
{
    Host w;
    auto &list =
        w.add<rb::Listbox>(QStringLiteral("eListin"), 5, 88, 581, 124, QStringLiteral("Input Events"));
    w.Show();
    QApplication::processEvents();
    std::printf("%s\n", withEvents ? "InsertRow(0) + event loop (repaint) per row, us per row:"
                                   : "InsertRow(0) alone, us per row:");
    std::printf("  %12s %9s %9s %9s\n", "rows", "fastest", "median", "slowest");
    for (int size : {1000, 10000, 100000}) {
        // Grown to the size without the event loop, which the size does not change.
        while (list.ListCount() < size)
            list.InsertRow(0, rowText(list.ListCount()));
        QApplication::processEvents();
        std::vector<double> perRow;
        for (int m = 0; m <= measures; ++m) {
            QElapsedTimer clock;
            clock.start();
            for (int i = 0; i < rowsPerMeasure; ++i) {
                list.InsertRow(0, rowText(list.ListCount()));
                if (withEvents)
                    QApplication::processEvents();
            }
            if (m > 0) // the first one warms up
                perRow.push_back(double(clock.nsecsElapsed()) / 1000.0 / rowsPerMeasure);
        }
        std::sort(perRow.begin(), perRow.end());
        std::printf("  around %6d %9.2f %9.2f %9.2f\n", size, perRow.front(), perRow[perRow.size() / 2],
                    perRow.back());
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    bench::chooseQtPlatform();
    QApplication app(argc, argv);
    std::printf("Qt platform: %s\n", bench::qtPlatform().constData());
    run(false);
    run(true);
    return 0;
}
