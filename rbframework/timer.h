#pragma once
// A timer: Mode 0 off, 1 one tick then off, 2 a tick every Period milliseconds. Each tick raises
// Action through the dispatch point. fire() runs one tick by hand, as the clock would.
//
// Repeating timers of the same period that run at the same time tick together, so that the event
// loop wakes once for all of them: the first one switched on starts a full period before its
// first tick; one switched on (or Reset) while another of its period runs keeps in step with it,
// its first tick coming with the other's next one, within a period.

#include <QString>
#include <functional>
#include <memory>

class QTimer;

namespace rb
{

class Window;

class Timer
{
  public:
    Timer();
    Timer(Window &window, QString name, int mode = 2, int period = 1000); // made by Window::add
    virtual ~Timer();
    Timer(const Timer &) = delete;
    Timer &operator=(const Timer &) = delete;

    static constexpr int ModeOff = 0, ModeSingle = 1, ModeMultiple = 2;

    const QString &Name() const { return name_; }
    int Mode() const { return mode_; }
    void Mode(int m); // 0, 1 or 2, else OutOfBoundsException; switching on starts a new period
                      // (in step with a running timer of the same period, see above)
    int Period() const { return period_; }
    void Period(int ms); // below 1 counts as 1; a running timer starts a new period
    bool Enabled() const { return enabled_; }
    void Enabled(bool e); // a disabled timer does not tick, whatever its Mode
    void Reset();         // starts the current period anew

    std::function<void()> Action;
    virtual void Event_Action()
    {
        if (Action)
            Action();
    }

    // One tick now, when the timer is on: Action through the dispatch point, and a single-tick
    // timer switches itself off. Answers whether it ticked.
    bool fire();

  private:
    class Beat;
    void apply();
    void leaveBeat();
    QString name_;
    int mode_ = ModeOff;
    int period_ = 1000;
    bool enabled_ = true;
    std::unique_ptr<QTimer> timer_; // a single tick
    std::shared_ptr<Beat> beat_;    // repeating ticks
};

} // namespace rb
