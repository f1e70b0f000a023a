/* The C interface between the runtime and its plug-in bundles.
 *
 * This header is all that a bundle knows of the runtime: the records it hands over,
 * the handles it is given, and the signatures of the host entries that its resolver
 * answers by name. It is C so that either side may be built by any compiler.
 *
 * Layout rule (64-bit): records keep their fields in the documented order; a field that
 * holds a pointer, a function or a handle is pointer-sized, integers keep their widths.
 */
#ifndef VELLORA_PLUGIN_ABI_H
#define VELLORA_PLUGIN_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque, reference-counted handles owned by the runtime. */
typedef struct REALobjectStruct* REALobject;
typedef struct REALstringStruct* REALstring;
typedef struct REALfolderItemStruct* REALfolderItem;

/* Any function crossing the interface; cast to its real signature before a call. */
typedef void (*REALproc)(void);

/* The host's resolver: NUL-terminated entry name -> entry address, or NULL when the
 * host has no such entry. Valid for the life of the process. */
typedef void* (*REALResolver)(const char* entryName);

/* Text encoding identifiers. */
enum {
    kREALTextEncodingMacRoman = 0x00000000u,
    kREALTextEncodingASCII = 0x00000600u,
    kREALTextEncodingUTF16 = 0x00000100u, /* machine byte order: little-endian here */
    kREALTextEncodingUTF8 = 0x08000100u,
    kREALTextEncodingUTF32 = 0x0C000100u, /* machine byte order */
    kREALTextEncodingRaw = 0x0000FFFFu    /* no encoding: the bytes as they are */
};

/* Receives a string's bytes in a requested encoding. The data belong to whoever filled
 * the record; a record filled by PluginGetStringData goes back to PluginDisposeStringData. */
typedef struct REALstringData {
    const void* data;
    int32_t length; /* bytes */
    uint32_t encoding;
    uint32_t hostReserved1; /* left to the host */
    uint32_t hostReserved2;
} REALstringData;

/* The start entry every bundle exports. Returns what the bundle's registration returns. */
typedef int32_t (*REALPluginMainProc)(REALResolver resolver);

/* The standard-field getter marker: the host reads the value itself at byte `param` of the
 * instance's plug-in data. */
#define kREALStandardFieldGetter ((REALproc)(uintptr_t)0xFFFFFFFFu)

enum { kCurrentREALControlVersion = 9 }; /* class record version */
enum { kREALPluginInterfaceVersion = 9 };

/* A property row. */
typedef struct REALpropertyRecord {
    const char* group;
    const char* name;
    const char* type; /* "Integer", "integer", "String", "Boolean", "double", a class name, ... */
    uint32_t flags;
    REALproc getter; /* T (*)(REALobject, int32_t param), kREALStandardFieldGetter, or NULL */
    REALproc setter; /* void (*)(REALobject, int32_t param, T value), or NULL: read-only */
    uint32_t param;  /* byte offset in the plug-in data for a standard field */
    const void* editor;
    int32_t enumCount;
    const void* enumEntries;
} REALpropertyRecord;

/* A method row. `function` is called with the instance first, then the declared
 * parameters. Strings and objects are lent for the call; a result carries one reference. */
typedef struct REALmethodRecord {
    REALproc function;
    REALproc setter;
    const char* declaration; /* e.g. "ScrapFlavorType(index as integer) as string" */
    uint32_t flags;
} REALmethodRecord;

/* A class record. The host writes dataOffset while it registers the record and keeps the
 * record (and its tables) for as long as the bundle is loaded. */
typedef struct REALclassDefinition {
    uint32_t version; /* kCurrentREALControlVersion */
    const char* name;
    const char* superclassName;
    int32_t dataSize;
    uint32_t dataOffset;
    void (*constructor)(REALobject instance);
    void (*destructor)(REALobject instance);
    REALpropertyRecord* properties;
    int32_t propertyCount;
    REALmethodRecord* methods;
    int32_t methodCount;
    const void* events;
    int32_t eventCount;
    const void* eventInstances;
    int32_t eventInstanceCount;
    const void* interfaces;
    const void* bindings;
    int32_t bindingCount;
    const void* constants;
    int32_t constantCount;
    uint32_t classFlags;
    const void* sharedProperties;
    int32_t sharedPropertyCount;
    const void* sharedMethods;
    int32_t sharedMethodCount;
} REALclassDefinition;

/* The string record as bundles for old hosts read it: the second word points to a length
 * byte followed by the bytes (and a NUL), the fourth word is the byte length. The other
 * words belong to the runtime. */
typedef struct REALstringRecord {
    uintptr_t word0;
    const unsigned char* pascalBytes;
    uintptr_t word2;
    uintptr_t byteLength;
} REALstringRecord;

/* Signatures of the host entries, by the name the resolver answers. */
typedef void (*RegisterPluginVersionProc)(int32_t version);
typedef double (*REALGetRBVersionProc)(void);
typedef int32_t (*PluginRegisterClassProc)(REALclassDefinition* record); /* 1 done, 0 refused */
typedef REALobject (*PluginNewInstanceProc)(const char* className); /* one reference, or NULL */
typedef void (*REALLockObjectProc)(REALobject object);
typedef void (*REALUnlockObjectProc)(REALobject object);
typedef void (*REALLockStringProc)(REALstring string);
typedef void (*REALUnlockStringProc)(REALstring string);
/* New string of the bytes as they are, tagged raw; one reference for the caller, or NULL. */
typedef REALstring (*REALBuildStringProc)(const void* bytes, int32_t byteCount);
typedef uint32_t (*REALGetStringEncodingProc)(REALstring string);
typedef void (*REALSetStringEncodingProc)(REALstring string, uint32_t encoding);
/* New string of the text in `encoding` (one reference), or NULL when some character of the
 * text has no form in it. */
typedef REALstring (*REALConvertStringProc)(REALstring string, uint32_t encoding);
typedef int32_t (*PluginGetStringDataProc)(REALstring string, uint32_t encoding,
                                           REALstringData* out); /* low byte: success */
typedef void (*PluginDisposeStringDataProc)(REALstringData* data);
/* The string's bytes, valid while the string lives. */
typedef const char* (*StringGetCStringProc)(REALstring string);
/* The runtime's global method of a declaration, or NULL. `module` is NULL. */
typedef void* (*REALLoadGlobalMethodProc)(const char* module, const char* declaration);
typedef int32_t (*LenBProc)(REALstring string);

#ifdef __cplusplus
}
#endif

#endif /* VELLORA_PLUGIN_ABI_H */
