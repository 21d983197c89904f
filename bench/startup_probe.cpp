// Preloaded by the start-up benchmark into the program it times (and into its bare window): once
// the top-level window titled $KORVANE_STARTUP_TITLE has handled its first expose, which paints its
// first frame and hands it to the display, writes one line to the file descriptor
// $KORVANE_STARTUP_FD: the monotonic clock and the process's CPU time so far, in nanoseconds, the
// platform's name and the window's size. Then the process ends at once: its shutdown is not part of its
// start-up.

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWindow>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace
{

qint64 nanoseconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

class Probe : public QObject
{
  public:
    Probe(QString title, int fd) : QObject(qApp), title_(std::move(title)), fd_(fd) {}

  protected:
    bool eventFilter(QObject *target, QEvent *event) override
    {
        auto *window = event->type() == QEvent::Expose ? qobject_cast<QWindow *>(target) : nullptr;
        if (!window || !window->isExposed() || window->title() != title_)
            return false;
        qApp->removeEventFilter(this);
        target->event(event); // handled here, so that the frame is painted before the clock is read
        const QByteArray line = QStringLiteral("%1 %2 %3 %4 %5\n")
                                    .arg(nanoseconds(CLOCK_MONOTONIC))
                                    .arg(nanoseconds(CLOCK_PROCESS_CPUTIME_ID))
                                    .arg(QGuiApplication::platformName())
                                    .arg(window->width())
                                    .arg(window->height())
                                    .toUtf8();
        const bool written = write(fd_, line.constData(), size_t(line.size())) == line.size();
        _exit(written ? 0 : 1);
    }

  private:
    QString title_;
    int fd_;
};

void install()
{
    bool ok = false;
    const int fd = qEnvironmentVariableIntValue("KORVANE_STARTUP_FD", &ok);
    if (ok)
        qApp->installEventFilter(new Probe(qEnvironmentVariable("KORVANE_STARTUP_TITLE"), fd));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(install)
