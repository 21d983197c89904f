#pragma once
// The input poller: at every tick it drains the input selector's stream, one event at a time, and
// raises newdata with each event's four bytes (least significant first) as an input packet.

#include "app/pluginclasses.h"
#include "rbframework/memoryblock.h"
#include "rbframework/timer.h"

#include <QByteArray>
#include <functional>

namespace korvane
{

class miditimer : public rb::Timer
{
  public:
    miditimer(rb::Window &window, QString name, int mode, int period);

    PortMidiEventPtr d; // the event the last Read filled; nil when it found none
    QByteArray s;       // the bytes of the last packet made
    std::function<void(const rb::MemoryBlock &)> newdata;

    void Event_Action() override;
};

} // namespace korvane
