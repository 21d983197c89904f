// A user inside the installed program. install_test preloads this library into the program it
// installed (it is never installed itself); once the program's windows are up, it drives them with
// Qt input events as a user does: a click on "View Comms", the unit's rows chosen with the arrow
// keys in the MIDI window's two port selectors, a wait until the status key reads "Midi OK", then
// a click on Close. Each step is reported on standard error as "driver: ..."; a step that does not
// come about within its bound ends the program with exit code 3, naming the step.

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <vector>

namespace
{

constexpr int stepBoundMs = 30000;
constexpr int pollMs = 20;
constexpr int failureExitCode = 3;

void report(const QString &line)
{
    std::fprintf(stderr, "driver: %s\n", qPrintable(line));
    std::fflush(stderr);
}

// The program's control of that name, once it is on screen.
QWidget *shown(const QString &name)
{
    for (QWidget *w : QApplication::allWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

void click(QWidget *w)
{
    QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
}

// Steps through a selector's rows with the arrow keys until the row shows; false when the
// selector does not list it.
bool choose(QWidget *selector, const QString &row)
{
    auto *box = qobject_cast<QComboBox *>(selector);
    const int target = box ? box->findText(row) : -1;
    if (target < 0)
        return false;
    for (int keys = 0; box->currentIndex() != target && keys < box->count(); ++keys)
        QTest::keyClick(box, box->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    return box->currentIndex() == target;
}

struct Step {
    QString what;
    std::function<bool()> done; // tries the step; false while it cannot be done yet
};

class Driver : public QObject
{
  public:
    explicit Driver(std::vector<Step> steps) : QObject(qApp), steps_(std::move(steps))
    {
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start(pollMs);
        sinceStep_.start();
    }

  private:
    void poll()
    {
        if (next_ == steps_.size())
            return;
        const Step &step = steps_[next_];
        if (step.done()) {
            report(step.what);
            ++next_;
            sinceStep_.restart();
        } else if (sinceStep_.hasExpired(stepBoundMs)) {
            report(QStringLiteral("not done within %1 ms: %2").arg(stepBoundMs).arg(step.what));
            timer_.stop();
            QCoreApplication::exit(failureExitCode);
        }
    }

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    QTimer timer_;
    QElapsedTimer sinceStep_;
};

std::vector<Step> connectTheUnit()
{
    auto clickOn = [](const char *name) {
        return [name] {
            QWidget *w = shown(QString::fromLatin1(name));
            if (w)
                click(w);
            return w != nullptr;
        };
    };
    auto chooseIn = [](const char *name, const char *row) {
        return [name, row] {
            QWidget *w = shown(QString::fromLatin1(name));
            return w && choose(w, QString::fromLatin1(row));
        };
    };
    return {
        {QStringLiteral("View Comms clicked"), clickOn("kview")},
        {QStringLiteral("input port chosen"), chooseIn("midiin1", "0:Simulated Unit In - Simulated")},
        {QStringLiteral("output port chosen"), chooseIn("midiout1", "1:Simulated Unit Out - Simulated")},
        {QStringLiteral("Midi OK"),
         [] {
             QWidget *key = shown(QStringLiteral("showmidi"));
             return key && key->accessibleName() == QLatin1String("Midi OK");
         }},
        {QStringLiteral("Close clicked"), clickOn("kclose")},
    };
}

// Runs as the program makes its application object; the steps start once its event loop runs.
void start()
{
    QTimer::singleShot(0, qApp, [] { new Driver(connectTheUnit()); });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(start)
