#ifndef RBFRAMEWORK_RBPLUGIN_H
#define RBFRAMEWORK_RBPLUGIN_H
/*
 * The framework's plug-in interface, shared by the host (rbframework/pluginhost.*) and every
 * plug-in. Plain C so that a plug-in needs nothing of ours but this header.
 *
 * A plug-in exports one function, REALPluginMain, which the host calls once after loading it with a
 * resolver. The plug-in asks the resolver for each host callback by name (RB_CB_* below) and calls
 * it through the matching *Proc type; an unknown name answers nil. The plug-in registers its
 * classes with REALclassDefinition records that stay valid for the life of the process.
 *
 * Members are plain functions: the object first, then the declared arguments.
 *   Integer   -> int32_t          Boolean -> RBBoolean (one byte)
 *   String    -> REALstring       MemoryBlock -> REALmemoryBlock    objects -> REALobject
 *   byref x   -> the address of the caller's variable (e.g. REALobject *)
 * Arguments are borrowed: the callee does not release them. A returned string or object carries one
 * reference for the caller. Property getters take (object, param), setters (object, param, value),
 * where param is the property entry's param field.
 */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct REALobjectStruct *REALobject;
typedef struct REALstringStruct *REALstring;
typedef struct REALmemoryBlockStruct *REALmemoryBlock;
typedef uint8_t RBBoolean;
typedef uint32_t RBStringEncoding;

/* Any routine, as stored in the tables; cast to its real type before calling. */
typedef void (*REALproc)(void);

/* Encoding tags. */
#define RB_ENCODING_ASCII ((RBStringEncoding)0x0600)
#define RB_ENCODING_RAW ((RBStringEncoding)0xFFFF) /* PluginGetStringData: the bytes unconverted */

/* ---- Objects ------------------------------------------------------------------------------- */

/* Every object starts with a host header of this size; the instance data follows it, 16-aligned. */
#define RB_OBJECT_HEADER_SIZE 32

static inline void *REALGetInstanceData(REALobject object)
{
    return object ? (void *)((char *)object + RB_OBJECT_HEADER_SIZE) : (void *)0;
}

/* ---- Class definitions ("version 9") ------------------------------------------------------- */

#define RB_CLASS_DEFINITION_VERSION 9

typedef void (*REALconstructorProc)(REALobject self);
typedef void (*REALdestructorProc)(REALobject self);

typedef struct REALmethodDefinition {
    REALproc function;       /* the implementing routine */
    REALproc reserved1;      /* zero */
    const char *declaration; /* e.g. "Poll as integer", without the class name */
    uint32_t flags;
    uint32_t reserved2; /* zero */
} REALmethodDefinition;

typedef struct REALproperty {
    const char *group; /* zero */
    const char *name;  /* e.g. "ChannelMask" */
    const char *type;  /* "Integer", "String", "Boolean" */
    uint32_t flags;
    uint32_t reserved1; /* zero */
    REALproc getter;    /* T get(REALobject, intptr_t param) */
    REALproc setter;    /* void set(REALobject, intptr_t param, T value); zero: read-only */
    intptr_t param;
} REALproperty;

typedef struct REALconstant {
    const char *declaration; /* e.g. "pmBadPtr = -9995", handed over as written */
} REALconstant;

typedef struct REALevent {
    const char *declaration;
    uint32_t reserved;
} REALevent;

typedef struct REALclassDefinition {
    uint32_t version; /* RB_CLASS_DEFINITION_VERSION */
    const char *name;
    const char *superName;           /* zero: no superclass */
    uint32_t dataSize;               /* instance data bytes */
    uint32_t reserved1;              /* zero */
    REALconstructorProc constructor; /* zero: none */
    REALdestructorProc destructor;   /* zero: none */
    REALproperty *properties;
    uint32_t propertyCount;
    REALmethodDefinition *methods;
    uint32_t methodCount;
    REALevent *events; /* unused: zero */
    uint32_t eventCount;
    REALconstant *constants;
    uint32_t constantCount;
    uint32_t flags;
    uint32_t reserved2; /* zero */
} REALclassDefinition;

/* ---- Strings ------------------------------------------------------------------------------- */

/* A copy of a string's bytes handed out by PluginGetStringData; given back to
 * PluginDisposeStringData. */
typedef struct REALstringData {
    const void *data;
    int32_t length;
    RBStringEncoding encoding;
} REALstringData;

/* ---- Entry and resolver -------------------------------------------------------------------- */

typedef REALproc (*REALresolver)(const char *callbackName);
typedef void (*REALPluginMainProc)(REALresolver resolver);

#define RB_PLUGIN_ENTRY "REALPluginMain"

#if defined(__GNUC__)
#define RB_PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define RB_PLUGIN_EXPORT
#endif

/* Defined by each plug-in; the host only looks it up. */
RB_PLUGIN_EXPORT void REALPluginMain(REALresolver resolver);

/* ---- Callbacks: name and type -------------------------------------------------------------- */

#define RB_CB_IN_RUNTIME "REALinRuntime"
typedef RBBoolean (*REALinRuntimeProc)(void);

#define RB_CB_GET_RB_VERSION "REALGetRBVersion"
typedef double (*REALGetRBVersionProc)(void);

#define RB_CB_REGISTER_PLUGIN_VERSION "RegisterPluginVersion"
typedef void (*RegisterPluginVersionProc)(int32_t version);

#define RB_CB_REGISTER_CLASS "PluginRegisterClass"
typedef RBBoolean (*PluginRegisterClassProc)(REALclassDefinition *definition);

#define RB_CB_NEW_INSTANCE "PluginNewInstance"
typedef REALobject (*PluginNewInstanceProc)(const char *className);

#define RB_CB_UNLOCK_OBJECT "REALUnlockObject"
typedef void (*REALUnlockObjectProc)(REALobject object);

#define RB_CB_BUILD_STRING "REALBuildString"
typedef REALstring (*REALBuildStringProc)(const char *bytes, int32_t length);

#define RB_CB_SET_STRING_ENCODING "REALSetStringEncoding"
typedef void (*REALSetStringEncodingProc)(REALstring string, RBStringEncoding encoding);

#define RB_CB_LOCK_STRING "REALLockString"
typedef void (*REALLockStringProc)(REALstring string);

#define RB_CB_UNLOCK_STRING "REALUnlockString"
typedef void (*REALUnlockStringProc)(REALstring string);

#define RB_CB_MEMORYBLOCK_PTR "memoryBlockGetPtr"
typedef void *(*memoryBlockGetPtrProc)(REALmemoryBlock block);

/* Ours: the block's size in bytes, so that a plug-in can stay inside it. */
#define RB_CB_MEMORYBLOCK_SIZE "memoryBlockGetSize"
typedef int32_t (*memoryBlockGetSizeProc)(REALmemoryBlock block);

#define RB_CB_SET_PROP_STRING "REALSetPropValueString"
typedef RBBoolean (*REALSetPropValueStringProc)(REALobject object, const char *propertyName,
                                                REALstring value);

/* The exception object's reference passes to the host, which raises it in the calling code once
 * the member has returned. */
#define RB_CB_RAISE_EXCEPTION "RuntimeRaiseException"
typedef void (*RuntimeRaiseExceptionProc)(REALobject exception);

#define RB_CB_GET_STRING_DATA "PluginGetStringData"
typedef RBBoolean (*PluginGetStringDataProc)(REALstring string, RBStringEncoding encoding,
                                             REALstringData *out);

#define RB_CB_DISPOSE_STRING_DATA "PluginDisposeStringData"
typedef void (*PluginDisposeStringDataProc)(REALstringData *data);

/* The string's own zero-terminated byte storage (borrowed; valid while the string lives). */
#define RB_CB_STRING_CSTRING "StringGetCString"
typedef const char *(*StringGetCStringProc)(REALstring string);

#define RB_CB_LOAD_GLOBAL_METHOD "REALLoadGlobalMethod"
typedef REALproc (*REALLoadGlobalMethodProc)(const char *module, const char *prototype);

/* A global method the host offers through REALLoadGlobalMethod (module nil). */
#define RB_GLOBAL_LENB "LenB( s as string ) as integer"
typedef int32_t (*LenBProc)(REALstring s);

#ifdef __cplusplus
} /* extern "C" */

static_assert(RB_OBJECT_HEADER_SIZE % 16 == 0, "instance data must stay 16-aligned");
static_assert(sizeof(RBBoolean) == 1, "Boolean arguments are one byte");
static_assert(sizeof(REALproc) == sizeof(void *), "routines travel as pointers");
#endif

#endif /* RBFRAMEWORK_RBPLUGIN_H */
