/* A plug-in in plain C that raises: while it loads and from a class's destructor. Nothing may unwind
 * through its frames. */
#include "rbframework/rbplugin.h"

#include <string.h>

static REALresolver gResolver;

static REALproc callback(const char *name) { return gResolver ? gResolver(name) : 0; }

/* Raises an exception of the class with the message. */
static void raise(const char *className, const char *message)
{
    PluginNewInstanceProc newInstance = (PluginNewInstanceProc)callback(RB_CB_NEW_INSTANCE);
    REALBuildStringProc buildString = (REALBuildStringProc)callback(RB_CB_BUILD_STRING);
    REALSetPropValueStringProc setString = (REALSetPropValueStringProc)callback(RB_CB_SET_PROP_STRING);
    REALUnlockStringProc unlockString = (REALUnlockStringProc)callback(RB_CB_UNLOCK_STRING);
    RuntimeRaiseExceptionProc raiseException = (RuntimeRaiseExceptionProc)callback(RB_CB_RAISE_EXCEPTION);
    REALobject exception;
    REALstring text;
    if (!newInstance || !buildString || !setString || !unlockString || !raiseException)
        return;
    exception = newInstance(className);
    if (!exception)
        return;
    text = buildString(message, (int32_t)strlen(message));
    setString(exception, "Message", text);
    unlockString(text);
    raiseException(exception);
}

static void nothing(REALobject self) { (void)self; }

static REALmethodDefinition raiserMethods[] = {
    {.function = (REALproc)&nothing, .declaration = "Nothing", .flags = 4},
};

static REALclassDefinition raiserClass = {.version = RB_CLASS_DEFINITION_VERSION, .name = "ProbeRaiser",
                                          .methods = raiserMethods, .methodCount = 1, .flags = 4};

static void fragileDestructor(REALobject self)
{
    (void)self;
    raise("RuntimeException", "raised by a destructor");
}

static REALclassDefinition fragileClass = {.version = RB_CLASS_DEFINITION_VERSION, .name = "ProbeFragile",
                                           .destructor = &fragileDestructor, .flags = 4};

RB_PLUGIN_EXPORT void REALPluginMain(REALresolver resolver)
{
    PluginRegisterClassProc registerClass;
    gResolver = resolver;
    registerClass = (PluginRegisterClassProc)callback(RB_CB_REGISTER_CLASS);
    if (!registerClass)
        return;
    registerClass(&raiserClass);
    registerClass(&fragileClass);
    raise("RuntimeException", "the probe refuses to load");
}
