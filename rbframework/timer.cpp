#include "timer.h"

#include "dispatch.h"
#include "exceptions.h"

#include <QTimer>

namespace rb
{

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
}

void Timer::apply()
{
    if (mode_ == ModeOff || !enabled_) {
        timer_->stop();
        return;
    }
    timer_->setSingleShot(mode_ == ModeSingle);
    timer_->start(period_);
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
    if (timer_->isActive())
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
