// A plug-in that registers only part of the MIDI classes: the program must refuse to start with it.
#include "rbframework/rbplugin.h"

namespace
{

void noOp(REALobject) {}

REALmethodDefinition streamMethods[] = {
    {reinterpret_cast<REALproc>(&noOp), nullptr, "Close", 4, 0},
};

REALclassDefinition streamClass = {
    RB_CLASS_DEFINITION_VERSION,
    "PortMidiStreamTSL",
    nullptr,
    16,
    0,
    &noOp,
    nullptr,
    nullptr,
    0,
    streamMethods,
    1,
    nullptr,
    0,
    nullptr,
    0,
    4,
    0,
};

} // namespace

extern "C" RB_PLUGIN_EXPORT void REALPluginMain(REALresolver resolver)
{
    if (auto registerClass = reinterpret_cast<PluginRegisterClassProc>(resolver(RB_CB_REGISTER_CLASS)))
        registerClass(&streamClass);
}
