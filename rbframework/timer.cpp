#include "timer.h"

#include "dispatch.h"
#include "exceptions.h"

#include <QTimer>
#include <algorithm>
#include <map>
#include <vector>

namespace rb
{

// The clock of the repeating timers of one period: one QTimer ticks them all, in the order they
// were switched on, so that the event loop wakes once a period for all of them, not once for each.
class Timer::Beat : public std::enable_shared_from_this<Beat>
{
  public:
    // The beat that runs for this period, or a new one that starts now.
    static std::shared_ptr<Beat> of(int period)
    {
        std::weak_ptr<Beat> &running = beats()[period];
        std::shared_ptr<Beat> beat = running.lock();
        if (!beat) {
            beat = std::make_shared<Beat>(period);
            running = beat;
        }
        return beat;
    }

    explicit Beat(int period)
    {
        clock_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&clock_, &QTimer::timeout, &clock_, [this] { tick(); });
        clock_.start(period);
    }

    void join(Timer *t) { timers_.push_back(t); }
    void leave(Timer *t) { timers_.erase(std::remove(timers_.begin(), timers_.end(), t), timers_.end()); }

  private:
    static std::map<int, std::weak_ptr<Beat>> &beats()
    {
        static std::map<int, std::weak_ptr<Beat>> running;
        return running;
    }

    // A tick may switch timers on and off, or destroy them (and with the last one, this beat).
    void tick()
    {
        const std::shared_ptr<Beat> keep = shared_from_this();
        const std::vector<Timer *> now = timers_;
        for (Timer *t : now)
            if (std::find(timers_.begin(), timers_.end(), t) != timers_.end())
                t->fire();
    }

    QTimer clock_;
    std::vector<Timer *> timers_;
};

Timer::Timer() : timer_(std::make_unique<QTimer>())
{
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { fire(); });
}

Timer::Timer(Window &, QString name, int mode, int period) : Timer()
{
    name_ = std::move(name);
    Period(period);
    Mode(mode);
}

Timer::~Timer()
{
    timer_->stop();
    leaveBeat();
}

void Timer::leaveBeat()
{
    if (beat_)
        beat_->leave(this);
    beat_.reset();
}

void Timer::apply()
{
    timer_->stop();
    leaveBeat();
    if (mode_ == ModeOff || !enabled_)
        return;
    if (mode_ == ModeSingle) {
        timer_->setSingleShot(true);
        timer_->start(period_);
        return;
    }
    beat_ = Beat::of(period_);
    beat_->join(this);
}

void Timer::Mode(int m)
{
    if (m < ModeOff || m > ModeMultiple)
        throw OutOfBoundsException(QStringLiteral("Timer.Mode = %1").arg(m));
    if (m == mode_)
        return; // a running timer keeps its rhythm
    mode_ = m;
    apply();
}

void Timer::Period(int ms)
{
    ms = std::max(ms, 1);
    if (ms == period_)
        return;
    period_ = ms;
    if (timer_->isActive() || beat_)
        apply();
}

void Timer::Enabled(bool e)
{
    if (e == enabled_)
        return;
    enabled_ = e;
    apply();
}

void Timer::Reset()
{
    apply();
}

bool Timer::fire()
{
    if (mode_ == ModeOff || !enabled_)
        return false;
    if (mode_ == ModeSingle) {
        mode_ = ModeOff;
        timer_->stop();
    }
    dispatch([this] { Event_Action(); });
    return true;
}

} // namespace rb
