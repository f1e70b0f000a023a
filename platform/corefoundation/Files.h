// File specs and file refs: the small file-naming records that cross the plug-in interface.
//
// Both records name files by a process-wide table of folder paths (this layer is a shared
// library, loaded once per process, so the runtime, the speech layer and the speech bundle
// all see the same table). An FSSpec names a folder by its id and a leaf by its name, so it
// can name a file that does not exist yet; an FSRef names an existing file or folder.
#ifndef VELLORA_CF_FILES_H
#define VELLORA_CF_FILES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int16_t OSErr;

enum {
    noErr = 0,
    paramErr = -50,   // a bad argument
    fnfErr = -43,     // no such file or folder
    dirNFErr = -120,  // no such folder
    bdNamErr = -37,   // a name that is empty, too long, or holds a '/'
    memFullErr = -108
};

#pragma pack(push, 2)

// 70 bytes. `name` is a length byte followed by at most 63 bytes of UTF-8.
typedef struct FSSpec {
    int16_t vRefNum;  // always -1: one file system
    int32_t parID;    // id of the folder in the path table; 0 is no folder
    unsigned char name[64];
} FSSpec;

// 80 bytes, opaque to its users.
typedef struct FSRef {
    unsigned char hidden[80];
} FSRef;

// A leaf name as UTF-16 units.
typedef struct HFSUniStr255 {
    uint16_t length;
    uint16_t unicode[255];
} HFSUniStr255;

#pragma pack(pop)

#ifdef __cplusplus
#define VELLORA_CF_STATIC_ASSERT static_assert
#else
#define VELLORA_CF_STATIC_ASSERT _Static_assert
#endif
VELLORA_CF_STATIC_ASSERT(sizeof(FSSpec) == 70, "FSSpec is 70 bytes");
VELLORA_CF_STATIC_ASSERT(sizeof(FSRef) == 80, "FSRef is 80 bytes");
VELLORA_CF_STATIC_ASSERT(sizeof(HFSUniStr255) == 512, "HFSUniStr255 is 512 bytes");

// Fills *spec for the file at an absolute `path` (UTF-8), which need not exist; its folder
// must. noErr, dirNFErr when the folder does not exist, bdNamErr when the leaf does not fit
// (or the path is "/", which has no folder), paramErr for NULL or a relative path.
OSErr FSMakeFSSpecFromPath(const char* path, FSSpec* spec);

// Fills *ref for the existing file or folder at an absolute `path`. noErr or fnfErr;
// paramErr for NULL or a relative path.
OSErr FSMakeFSRefFromPath(const char* path, FSRef* ref);

// An FSRef for the existing file that *spec names. noErr, fnfErr or dirNFErr (its folder has
// gone); paramErr for NULL or a spec this layer did not fill.
OSErr FSpMakeFSRef(const FSSpec* spec, FSRef* ref);

// The absolute path (UTF-8, NUL-terminated) that a spec or a ref names, into `buffer` of
// `size` bytes. noErr, paramErr when it does not fit or the record names nothing.
OSErr FSSpecGetPath(const FSSpec* spec, char* buffer, int32_t size);
OSErr FSRefGetPath(const FSRef* ref, char* buffer, int32_t size);

#ifdef __cplusplus
}
#endif

#endif
