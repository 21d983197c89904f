#pragma once
// The input poller: at every tick it reads the input selector's stream, one event at a time, and
// raises newdata with each event's four bytes (least significant first) as an input packet. A tick
// does a bounded amount of work and returns to the event loop; what it leaves waits in PortMidi's
// queue, in order, for the next tick.

#include "pluginclasses.h"
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
    // Ends the tick under way after the packet being handled (a firmware block went out).
    void endtick() { tickends = true; }

  private:
    bool tickends = false;
};

} // namespace korvane
