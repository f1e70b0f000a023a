// The support code compiled into every plug-in bundle: the start entry, one wrapper per
// host entry (found by name on first use and kept), the two stack views of a runtime
// string, the string builder, the zero-filled allocator and class registration.
//
// References: a wrapper documented as "one reference for the caller" hands back a handle
// that the caller must release (REALUnlockString / REALUnlockObject); every other handle
// is lent. A wrapper whose host entry is missing does nothing and returns 0, false or nil;
// the entry is asked for again on the next call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/corefoundation/Files.h"
#include "plugin-interface/plugin_abi.h"

// Host entries of the folder-item services. Their int32 results carry a Boolean in the low
// byte.
extern "C" {
typedef REALfolderItem (*FolderItemFromFSSpecProc)(const FSSpec* spec);
typedef int32_t (*REALFSSpecFromFolderItemProc)(FSSpec* out, REALfolderItem item);
typedef int32_t (*REALFSRefFromFolderItemProc)(REALfolderItem item, FSRef* out,
                                               HFSUniStr255* outName);

// The bundle's only export: stores the resolver, announces interface version 9, reads the
// host's version and returns what PluginEntry returns.
__attribute__((visibility("default"))) int32_t REALPluginMain(REALResolver resolver);
}

// Defined by each bundle: registers its classes through MyREALRegisterClass and returns the
// last registration's result. Called once, by REALPluginMain.
int32_t PluginEntry();

// The host's resolver and version (0.0 when the host reports none); set once at start.
extern REALResolver gResolver;
extern double rbversion_rbversion;

// --- Wrappers of the host entries ---------------------------------------------------------

// "PluginRegisterClass": registers a class record; the host keeps it. 0 when missing.
int32_t REALRegisterClass(REALclassDefinition* record);
// "REALBuildString": a new string of the bytes, tagged raw; one reference for the caller, or nil.
REALstring originalREALBuildString(const void* bytes, int32_t byteCount);
// "REALLockObject" / "REALUnlockObject": take / drop one reference.
void REALLockObject(REALobject object);
void REALUnlockObject(REALobject object);
// "REALLockString" / "REALUnlockString": take / drop one reference.
void REALLockString(REALstring string);
void REALUnlockString(REALstring string);
// "REALGetStringEncoding": the string's encoding identifier; 0 when missing.
uint32_t REALGetStringEncoding(REALstring string);
// "REALSetStringEncoding": retags the string's bytes without converting them.
void REALSetStringEncoding(REALstring string, uint32_t encoding);
// "REALConvertString": a new string in `encoding`, one reference for the caller; nil when the
// text has no form in it or the entry is missing.
REALstring REALConvertString(REALstring string, uint32_t encoding);
// "PluginNewInstance": a new instance of a registered class, one reference for the caller, or nil.
REALobject REALnewInstance(const char* className);
// "PluginGetStringData", else StringGetCString + LenB: fills *out with the string's bytes in
// `encoding` (a malloc'd block with four zero bytes behind the text when filled here). The
// caller owns the record's data and returns it through REALDisposeStringData. False leaves
// *out untouched.
bool REALGetStringData(REALstring string, uint32_t encoding, REALstringData* out);
// "PluginDisposeStringData", else free(out->data). The record itself is not cleared.
void REALDisposeStringData(REALstringData* data);
// "REALLoadGlobalMethod": the host's global method of `declaration` (module nil), or null.
void* REALLoadFrameworkMethod(const char* module, const char* declaration);
// "FolderItemFromFSSpec": a folder item (one reference for the caller), or nil.
REALfolderItem REALFolderItemFromFSSpec(const FSSpec* spec);
// "REALFSSpecFromFolderItem": fills *out; false when the host could not (or is missing).
bool REALFSSpecFromFolderItem(FSSpec* out, REALfolderItem item);
// "REALFSRefFromFolderItem": fills *out and, when not null, *outName; false on failure.
bool REALFSRefFromFolderItem(REALfolderItem item, FSRef* out, HFSUniStr255* outName);

// --- Strings ------------------------------------------------------------------------------

// A string of `length` bytes in `encoding`, one reference for the caller, or nil (nil bytes,
// length outside 1 .. 0x7FFFFFFE, or the host built none). UTF-32 and UTF-16 input comes back
// as UTF-8 (UTF-32 narrowed to its low 16 bits per character); anything else comes back as
// its own bytes tagged `encoding`.
REALstring REALBuildUnicodeString(const void* bytes, int64_t length, uint32_t encoding);

// The Mac Roman view of a string, for one call on the caller's stack. The bytes are computed
// on first use and stay valid until the view dies; a nil string or one without a Mac Roman
// form reads as empty (a zero-filled buffer, length 0). Holds its own references.
class rbText {
  public:
    explicit rbText(REALstring string);
    ~rbText();
    rbText(const rbText&) = delete;
    rbText& operator=(const rbText&) = delete;

    const char* GetMacRoman();
    int32_t LengthMacRoman();

  private:
    void Compute();
    void Reset();

    REALstring mString = nullptr;     // held
    REALstring mConverted = nullptr;  // held; hosts before 2012.0 only
    int32_t mLength = -1;             // -1: not computed yet
    const char* mPointer;
    REALstringData mData = {};
    bool mDataFilled = false;
};

// The raw bytes of a string as stored, for one call on the caller's stack. Data() is null and
// Length() 0 for a nil string or when the bytes cannot be had; valid until the view dies.
class rbData {
  public:
    explicit rbData(REALstring string);
    ~rbData();
    rbData(const rbData&) = delete;
    rbData& operator=(const rbData&) = delete;

    const char* Data() const { return mBytes; }
    int32_t Length() const { return mLength; }

  private:
    REALstring mString = nullptr;  // held; hosts before 2013.0 only
    REALstringData mData = {};
    bool mDataFilled = false;
    const char* mBytes = nullptr;
    int32_t mLength = 0;
};

// --- Memory -------------------------------------------------------------------------------

// A zero-filled block of `size` bytes, or null when size is outside 1 .. 0x7FFFFFFF or the
// C library has none. Release with FreeMemoryNow.
void* AllocateClearMemory(int64_t size);
void FreeMemoryNow(void* pointer);

// --- Classes ------------------------------------------------------------------------------

// Rounds record->dataSize up to a multiple of 16 (in the record itself), then registers it.
// The record must stay alive and writable while the bundle is loaded: the host writes
// dataOffset into it.
int32_t MyREALRegisterClass(REALclassDefinition* record);

// The plug-in data of `instance`: the instance's address plus the offset that the host wrote
// into the class record at registration, read anew on each call. Declare the data as a struct
// T; use sizeof(T) for dataSize and offsetof(T, field) for standard-field property rows.
template <typename T>
T* instanceData(REALobject instance, const REALclassDefinition& record) {
    return reinterpret_cast<T*>(reinterpret_cast<char*>(instance) + record.dataOffset);
}
