#pragma once
// The input poller: at every tick it reads the input selector's stream, one event at a time, and
// raises newdata with each event's four bytes (least significant first) as an input packet. A tick
// does a bounded amount of work and returns to the event loop: it ends after a packet whose handling
// wrote to the output port (the next firmware block), so a unit that answers at once gets one block
// per tick, and after a bounded number of packets. What it leaves waits in PortMidi's queue, in
// order, for the next tick.

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

    // Handling that a tick must not break into, for its lifetime: a packet being handled, a frame
    // being written, a download starting, a port changing. A message box opened inside it runs a
    // modal loop that keeps the clock firing; those ticks read nothing, and what arrived waits for
    // the tick after. Any other modal loop, such as a file dialog of the menus, breaks into nothing:
    // the ticks in it read as usual, and a download goes on.
    class Hold
    {
      public:
        Hold();
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;
    };
};

} // namespace korvane
