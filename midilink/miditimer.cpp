#include "miditimer.h"

#include "midiio.h"
#include "rbframework/window.h"

namespace korvane
{

namespace
{

// At most this many packets in one tick: more than the input queue holds (100 events), so that a
// tick can empty a full queue, yet a flood of input cannot hold the event loop.
constexpr int packetsPerTick = 256;

int holds = 0;

} // namespace

miditimer::miditimer(rb::Window &window, QString name, int mode, int period)
    : rb::Timer(window, std::move(name), mode, period)
{
}

miditimer::Hold::Hold()
{
    ++holds;
}

miditimer::Hold::~Hold()
{
    --holds;
}

void miditimer::Event_Action()
{
    if (holds > 0)
        return;
    const Hold handling;
    // The stream is looked up afresh for every call: a packet's handling may change the ports.
    auto input = [] { return rb::window<midiio>().midiin1().stream; };
    auto writes = [] { return rb::window<midiio>().midiout1().writes; };
    if (!input())
        return;
    // Read what waits, up to the bound or the packet whose handling wrote to the output. An error
    // of Poll ends the tick and is not reported: a message box every tick would lock the user out,
    // and reading goes on at the next tick. When Poll finds nothing waiting, one Read still ends the
    // tick: PortMidi reports an overflow of its queue only to a Read of the emptied queue, and takes
    // no more input until it has been reported. A Read that finds nothing is followed by another
    // Poll; a second failure in a row ends the tick, so a stream that keeps failing cannot hold the
    // user interface.
    int failedReads = 0;
    for (int packets = 0; packets < packetsPerTick;) {
        const PortMidiStreamPtr polled = input();
        const int waiting = polled ? polled->Poll() : -1;
        if (waiting < 0)
            return;
        const PortMidiStreamPtr reading = input();
        if (!reading || reading->Read(d) <= 0 || !d) {
            if (waiting == 0 || ++failedReads > 1)
                return;
            continue;
        }
        failedReads = 0;
        ++packets;
        s.resize(4);
        s[0] = char(d->RawData0());
        s[1] = char(d->RawData1());
        s[2] = char(d->RawData2());
        s[3] = char(d->RawData3());
        const uint64_t writesBefore = writes();
        if (newdata)
            newdata(rb::MemoryBlock(s));
        if (writes() != writesBefore)
            return;
    }
}

} // namespace korvane
