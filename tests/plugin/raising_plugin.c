/* A plug-in in plain C that raises: while it loads, from a class's destructor, and through exception
 * classes of its own derived from the framework's. Nothing may unwind through its frames. */
#include "rbframework/rbplugin.h"

#include <string.h>

#define OWN_DATA_SIZE 16

static REALresolver hostResolver;

static REALproc callback(const char *name)
{
    return hostResolver ? hostResolver(name) : 0;
}

/* Raises an exception of the class with the message. A class of its own also fills its own instance
 * data, as a real one would; the built-in classes have none. */
static void raise(const char *className, int ownData, const char *message)
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
    if (ownData)
        memset(REALGetInstanceData(exception), 0xA5, OWN_DATA_SIZE);
    text = buildString(message, (int32_t)strlen(message));
    setString(exception, "Message", text);
    unlockString(text);
    raiseException(exception);
}

static const char *const exceptionClassNames[] = {"ProbeNilException", "ProbeOutOfBoundsException",
                                                  "ProbeRuntimeException"};

static REALclassDefinition exceptionClasses[] = {
    {.version = RB_CLASS_DEFINITION_VERSION,
     .name = "ProbeNilException",
     .superName = "NilObjectException",
     .dataSize = OWN_DATA_SIZE,
     .flags = 4},
    {.version = RB_CLASS_DEFINITION_VERSION,
     .name = "ProbeOutOfBoundsException",
     .superName = "OutOfBoundsException",
     .dataSize = OWN_DATA_SIZE,
     .flags = 4},
    {.version = RB_CLASS_DEFINITION_VERSION,
     .name = "ProbeRuntimeException",
     .superName = "RuntimeException",
     .dataSize = OWN_DATA_SIZE,
     .flags = 4},
};

/* "Raise(kind as integer)": raises the exception class of that index, with a message naming it. */
static void raiseMember(REALobject self, int32_t kind)
{
    (void)self;
    if (kind >= 0 && kind < (int32_t)(sizeof exceptionClassNames / sizeof exceptionClassNames[0])) {
        char message[64] = "raised as ";
        strncat(message, exceptionClassNames[kind], sizeof message - strlen(message) - 1);
        raise(exceptionClassNames[kind], 1, message);
    }
}

static void nothing(REALobject self)
{
    (void)self;
}

static REALmethodDefinition raiserMethods[] = {
    {.function = (REALproc)&raiseMember, .declaration = "Raise(kind as integer)", .flags = 4},
    {.function = (REALproc)&nothing, .declaration = "Nothing", .flags = 4},
};

static REALclassDefinition raiserClass = {.version = RB_CLASS_DEFINITION_VERSION,
                                          .name = "ProbeRaiser",
                                          .methods = raiserMethods,
                                          .methodCount = 2,
                                          .flags = 4};

static void fragileDestructor(REALobject self)
{
    (void)self;
    raise("RuntimeException", 0, "raised by a destructor");
}

static REALclassDefinition fragileClass = {.version = RB_CLASS_DEFINITION_VERSION,
                                           .name = "ProbeFragile",
                                           .destructor = &fragileDestructor,
                                           .flags = 4};

RB_PLUGIN_EXPORT void REALPluginMain(REALresolver resolver)
{
    PluginRegisterClassProc registerClass;
    size_t i;
    hostResolver = resolver;
    registerClass = (PluginRegisterClassProc)callback(RB_CB_REGISTER_CLASS);
    if (!registerClass)
        return;
    for (i = 0; i < sizeof exceptionClasses / sizeof exceptionClasses[0]; ++i)
        registerClass(&exceptionClasses[i]);
    registerClass(&raiserClass);
    registerClass(&fragileClass);
    raise("RuntimeException", 0, "the probe refuses to load");
}
