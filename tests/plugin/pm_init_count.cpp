// Interposes PortMidi's Pm_Initialize in the test program (exported, so that the plug-in's calls
// bind here first), counts the calls and forwards them to PortMidi.

#include "pm_init_count.h"

#include <dlfcn.h>
#include <portmidi.h>

namespace
{
int initCalls = 0;
}

extern "C" PmError Pm_Initialize(void)
{
    ++initCalls;
    using Real = PmError (*)(void);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "Pm_Initialize"));
    return real ? real() : pmHostError;
}

int portMidiInitCount()
{
    return initCalls;
}
