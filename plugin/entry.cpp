// The plug-in's one export and its start: version handshake, PortMidi, class registration.

#include "tessel.h"

namespace tessel
{

namespace
{

constexpr int32_t pluginVersion = 9;
static_assert(pluginVersion == RB_CLASS_DEFINITION_VERSION, "we register version 9 class definitions");

void PluginEntry() noexcept
{
    // Outside a built application (an IDE, a tool) PortMidi is left alone until first used.
    if (hostInRuntime())
        Pm_Initialize();
    MyREALRegisterClass(&PortMidiStreamTSLClass);
    MyREALRegisterClass(&PortMidiEventTSLClass);
    MyREALRegisterClass(&PortMidiTSLClass);
    MyREALRegisterClass(&PortMidiDeviceInfoTSLClass);
}

} // namespace

} // namespace tessel

extern "C" RB_PLUGIN_EXPORT void REALPluginMain(REALresolver resolver)
{
    using namespace tessel;
    setResolver(resolver);
    hostRegisterPluginVersion(pluginVersion);
    if (resolver) {
        if (auto version = reinterpret_cast<REALGetRBVersionProc>(resolver(RB_CB_GET_RB_VERSION)))
            setHostVersion(version());
    }
    PluginEntry();
}
