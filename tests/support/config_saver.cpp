// A second copy of the program's settings store, for the tests of saves that overlap or are cut
// short. It opens the settings in the given folder as the program does at start, then stores a new
// value under "Minport" again and again ("<tag> 1", "<tag> 2", ...), each store saving the whole
// file, and prints one line once its first save is done. With 0 saves it goes on until killed.
//
//   config_saver <settings folder> <tag> <saves>
#include "support/config.h"

#include <QFile>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: config_saver <settings folder> <tag> <saves>\n");
        return 2;
    }
    // Started with no settings file, the store would show a message box; there is none to show here.
    if (!QFile::exists(QFile::decodeName(argv[1]) + QStringLiteral("/korvane.ini"))) {
        std::fprintf(stderr, "config_saver: no korvane.ini in %s\n", argv[1]);
        return 2;
    }
    qputenv("XDG_CONFIG_HOME", argv[1]);
    korvane::config::initconfig(QStringLiteral("korvane"));

    const QString tag = QString::fromLocal8Bit(argv[2]);
    const long saves = std::atol(argv[3]);
    for (long i = 1; saves == 0 || i <= saves; ++i) {
        korvane::config::putstring(QStringLiteral("Minport"), tag + u' ' + QString::number(i));
        if (i == 1) {
            std::puts("saving");
            std::fflush(stdout);
        }
    }
    korvane::config::release();
    return 0;
}
