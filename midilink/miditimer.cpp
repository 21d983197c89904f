#include "miditimer.h"

#include "midiio.h"
#include "rbframework/window.h"

namespace korvane
{

miditimer::miditimer(rb::Window &window, QString name, int mode, int period)
    : rb::Timer(window, std::move(name), mode, period)
{
}

void miditimer::Event_Action()
{
    // The stream is looked up afresh for every call: a packet's handling may change the ports.
    auto input = [] { return rb::window<midiio>().midiin1().stream; };
    if (!input())
        return;
    // Drain the queue. 0 ends the tick; so does an error, which is not reported: a message box
    // every tick would lock the user out, and reading goes on at the next tick. A Read that finds
    // nothing (PortMidi reporting an overflow, say) is followed by another Poll; a second failure in
    // a row ends the tick, so a stream that keeps failing cannot hold the user interface.
    int failedReads = 0;
    for (;;) {
        const PortMidiStreamPtr polled = input();
        if (!polled || polled->Poll() != 1)
            return;
        const PortMidiStreamPtr reading = input();
        if (!reading || reading->Read(d) <= 0 || !d) {
            if (++failedReads > 1)
                return;
            continue;
        }
        failedReads = 0;
        s.resize(4);
        s[0] = char(d->RawData0());
        s[1] = char(d->RawData1());
        s[2] = char(d->RawData2());
        s[3] = char(d->RawData3());
        if (newdata)
            newdata(rb::MemoryBlock(s));
    }
}

} // namespace korvane
