#pragma once
// A timer: Mode 0 off, 1 one tick then off, 2 a tick every Period milliseconds. Each tick raises
// Action through the dispatch point. fire() runs one tick by hand, as the clock would.

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
    void apply();
    QString name_;
    int mode_ = ModeOff;
    int period_ = 1000;
    bool enabled_ = true;
    std::unique_ptr<QTimer> timer_;
};

} // namespace rb
