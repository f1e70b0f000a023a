/* The C interface between the runtime and its plug-in bundles.
 *
 * This header is all that a bundle knows of the runtime: the records it hands over,
 * the handles it is given, and the signatures of the host entries that its resolver
 * answers by name. It is C so that either side may be built by any compiler.
 *
 * Layout rule (64-bit): records keep their fields in the documented order; a field that
 * holds a pointer, a function or a handle is pointer-sized, integers keep their widths.
 *
 * Every function pointer carries one line: who owns what it takes and returns, what NULL
 * means, and the threads it may be called from: [main] the program's main thread, [worker]
 * a thread of the bundle's own, [audio, never waits] the sound callback, [any] any of these
 * but the audio thread (which calls nothing here). A handle passed in is lent for the call
 * unless the line says otherwise.
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

/* Any function crossing the interface; cast to its real signature before a call. The
 * signature, ownership and thread are those of the row or entry that holds it. */
typedef void (*REALproc)(void);

/* The host's resolver: NUL-terminated entry name (borrowed; NULL answers NULL) -> entry
 * address, or NULL when the host has no such entry. The resolver and its answers stay valid
 * for the life of the process. [any] */
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

/* The start entry every bundle exports, called once by the host after loading it, with a
 * resolver that is never NULL. Returns nonzero when the bundle started, 0 when it did not;
 * a refused announcement or class record fails the start too. [main] */
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
    /* T (*)(REALobject lent, int32_t param): a string or object result carries one reference
     * for the caller; kREALStandardFieldGetter (the host reads the field), or NULL. [main] */
    REALproc getter;
    /* void (*)(REALobject lent, int32_t param, T value lent; the setter retains what it
     * keeps), or NULL: read-only. [main] */
    REALproc setter;
    uint32_t param; /* byte offset in the plug-in data for a standard field */
    const void* editor;
    int32_t enumCount;
    const void* enumEntries;
} REALpropertyRecord;

/* A method row. `function` is called with the instance first, then the declared
 * parameters. Strings and objects are lent for the call; a result carries one reference. */
typedef struct REALmethodRecord {
    REALproc function;       /* never NULL for a row the program binds. [main] */
    REALproc setter;         /* unused by this host; NULL */
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
    /* Runs once on a new instance, its data zero-filled; the instance is lent. NULL: none.
     * [main] */
    void (*constructor)(REALobject instance);
    /* Runs once as the last reference goes, before the memory is freed: release what the
     * data holds. NULL: none. [main] */
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

/* Signatures of the host entries, by the name the resolver answers. A NULL handle passed
 * where a string or object is expected is harmless: the entry does nothing and returns 0,
 * NULL or the raw encoding. */

/* The plug-in interface version the bundle was built for; another than
 * kREALPluginInterfaceVersion fails the start. Only during REALPluginMain. [main] */
typedef void (*RegisterPluginVersionProc)(int32_t version);
/* The runtime's version, e.g. 2013.0. [any] */
typedef double (*REALGetRBVersionProc)(void);
/* Registers a record, which the bundle keeps alive and the host keeps (and writes dataOffset
 * into) while the bundle is loaded. 1 taken, 0 refused (NULL, another version, nameless,
 * inconsistent counts, a duplicate name); a refusal during REALPluginMain fails the start.
 * [main] */
typedef int32_t (*PluginRegisterClassProc)(REALclassDefinition* record);
/* A new instance of a registered class (name borrowed), constructor run; one reference for
 * the caller, or NULL for an unknown class or a NULL name. [main] */
typedef REALobject (*PluginNewInstanceProc)(const char* className);
/* Takes one reference to the object; NULL is ignored. [any] */
typedef void (*REALLockObjectProc)(REALobject object);
/* Drops one reference; the last runs the class's destructor and frees the object. [any] */
typedef void (*REALUnlockObjectProc)(REALobject object);
/* Takes one reference to the string; NULL is ignored. [any] */
typedef void (*REALLockStringProc)(REALstring string);
/* Drops one reference; the last frees the string. [any] */
typedef void (*REALUnlockStringProc)(REALstring string);
/* New string of the bytes (borrowed; may be NULL with a count of 0) as they are, tagged raw;
 * one reference for the caller, or NULL for a negative count or NULL bytes. [any] */
typedef REALstring (*REALBuildStringProc)(const void* bytes, int32_t byteCount);
/* The string's encoding identifier; raw for NULL. [any] */
typedef uint32_t (*REALGetStringEncodingProc)(REALstring string);
/* Retags the string's bytes without converting them; only while no other thread reads the
 * string (a string just built, held by this caller alone). [any] */
typedef void (*REALSetStringEncodingProc)(REALstring string, uint32_t encoding);
/* New string of the text in `encoding` (one reference for the caller), or NULL when some
 * character of the text has no form in it or the string is NULL. [any] */
typedef REALstring (*REALConvertStringProc)(REALstring string, uint32_t encoding);
/* Fills *out (caller's record, never NULL) with a copy of the text in `encoding`, four NUL
 * bytes behind it; the copy belongs to the caller until PluginDisposeStringData. Low byte of
 * the result: success; on failure *out is untouched. [any] */
typedef int32_t (*PluginGetStringDataProc)(REALstring string, uint32_t encoding,
                                           REALstringData* out);
/* Frees the copy a PluginGetStringData filled and clears the record; NULL is ignored. [any] */
typedef void (*PluginDisposeStringDataProc)(REALstringData* data);
/* The string's bytes, borrowed: valid while the string lives; NULL for NULL. [any] */
typedef const char* (*StringGetCStringProc)(REALstring string);
/* The runtime's global method of a declaration (borrowed), valid for the life of the
 * process, or NULL when there is none. `module` is NULL. [any] */
typedef void* (*REALLoadGlobalMethodProc)(const char* module, const char* declaration);
/* The string's length in bytes; 0 for NULL. [any] */
typedef int32_t (*LenBProc)(REALstring string);

#ifdef __cplusplus
}
#endif

#endif /* VELLORA_PLUGIN_ABI_H */
