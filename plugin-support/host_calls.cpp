// Wrappers of the host entries. Each keeps the entry it found in its own slot; a missing
// entry leaves the slot null, so it is asked for again on the next call.
#include <cstdlib>
#include <cstring>

#include "plugin-support/rb_plugin.h"

namespace {

PluginRegisterClassProc pRegisterClass = nullptr;
REALBuildStringProc pBuildString = nullptr;
REALLockObjectProc pLockObject = nullptr;
REALUnlockObjectProc pUnlockObject = nullptr;
REALLockStringProc pLockString = nullptr;
REALUnlockStringProc pUnlockString = nullptr;
REALGetStringEncodingProc pGetStringEncoding = nullptr;
REALSetStringEncodingProc pSetStringEncoding = nullptr;
REALConvertStringProc pConvertString = nullptr;
PluginNewInstanceProc pNewInstance = nullptr;
PluginGetStringDataProc pGetStringData = nullptr;
PluginDisposeStringDataProc pDisposeStringData = nullptr;
FolderItemFromFSSpecProc pFolderItemFromFSSpec = nullptr;
REALFSSpecFromFolderItemProc pFSSpecFromFolderItem = nullptr;
REALFSRefFromFolderItemProc pFSRefFromFolderItem = nullptr;
StringGetCStringProc pCString = nullptr;
LenBProc pLenB = nullptr;
REALLoadGlobalMethodProc pLoadGlobalMethod = nullptr;

template <typename Proc>
Proc Find(Proc& slot, const char* name) {
    if (!slot && gResolver) slot = reinterpret_cast<Proc>(gResolver(name));
    return slot;
}

// Copies the string's bytes into a malloc'd block with four zero bytes behind them.
bool CopyBytes(REALstring string, uint32_t encoding, REALstringData* out) {
    int32_t n = pLenB(string);
    const char* bytes = pCString(string);
    if (n < 0 || (n > 0 && !bytes)) return false;
    auto* block = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 4));
    if (!block) return false;
    if (n > 0) std::memcpy(block, bytes, static_cast<size_t>(n));
    std::memset(block + n, 0, 4);
    out->data = block;
    out->length = n;
    out->encoding = encoding;
    return true;
}

}  // namespace

int32_t REALRegisterClass(REALclassDefinition* record) {
    auto entry = Find(pRegisterClass, "PluginRegisterClass");
    return entry ? entry(record) : 0;
}

REALstring originalREALBuildString(const void* bytes, int32_t byteCount) {
    auto entry = Find(pBuildString, "REALBuildString");
    return entry ? entry(bytes, byteCount) : nullptr;
}

void REALLockObject(REALobject object) {
    if (auto entry = Find(pLockObject, "REALLockObject")) entry(object);
}

void REALUnlockObject(REALobject object) {
    if (auto entry = Find(pUnlockObject, "REALUnlockObject")) entry(object);
}

void REALLockString(REALstring string) {
    if (auto entry = Find(pLockString, "REALLockString")) entry(string);
}

void REALUnlockString(REALstring string) {
    if (auto entry = Find(pUnlockString, "REALUnlockString")) entry(string);
}

uint32_t REALGetStringEncoding(REALstring string) {
    auto entry = Find(pGetStringEncoding, "REALGetStringEncoding");
    return entry ? entry(string) : 0;
}

void REALSetStringEncoding(REALstring string, uint32_t encoding) {
    if (auto entry = Find(pSetStringEncoding, "REALSetStringEncoding")) entry(string, encoding);
}

REALstring REALConvertString(REALstring string, uint32_t encoding) {
    auto entry = Find(pConvertString, "REALConvertString");
    return entry ? entry(string, encoding) : nullptr;
}

REALobject REALnewInstance(const char* className) {
    auto entry = Find(pNewInstance, "PluginNewInstance");
    return entry ? entry(className) : nullptr;
}

void* REALLoadFrameworkMethod(const char* module, const char* declaration) {
    auto entry = Find(pLoadGlobalMethod, "REALLoadGlobalMethod");
    return entry ? entry(module, declaration) : nullptr;
}

bool REALGetStringData(REALstring string, uint32_t encoding, REALstringData* out) {
    if (auto entry = Find(pGetStringData, "PluginGetStringData")) {
        return (entry(string, encoding, out) & 0xFF) != 0;
    }

    // Older hosts: read the bytes through the C-string entry and the runtime's LenB.
    Find(pCString, "StringGetCString");
    if (!pLenB) {
        pLenB = reinterpret_cast<LenBProc>(
            REALLoadFrameworkMethod(nullptr, "LenB( s as string ) as integer"));
    }
    if (!pLenB || !pCString || !string) return false;

    if (encoding == kREALTextEncodingRaw || REALGetStringEncoding(string) == encoding) {
        return CopyBytes(string, encoding, out);
    }
    REALstring converted = REALConvertString(string, encoding);
    if (!converted) return false;
    bool copied = CopyBytes(converted, encoding, out);
    REALUnlockString(converted);
    return copied;
}

void REALDisposeStringData(REALstringData* data) {
    if (auto entry = Find(pDisposeStringData, "PluginDisposeStringData")) {
        entry(data);
    } else {
        std::free(const_cast<void*>(data->data));
    }
}

REALfolderItem REALFolderItemFromFSSpec(const FSSpec* spec) {
    auto entry = Find(pFolderItemFromFSSpec, "FolderItemFromFSSpec");
    return entry ? entry(spec) : nullptr;
}

bool REALFSSpecFromFolderItem(FSSpec* out, REALfolderItem item) {
    auto entry = Find(pFSSpecFromFolderItem, "REALFSSpecFromFolderItem");
    return entry && (entry(out, item) & 0xFF) != 0;
}

bool REALFSRefFromFolderItem(REALfolderItem item, FSRef* out, HFSUniStr255* outName) {
    auto entry = Find(pFSRefFromFolderItem, "REALFSRefFromFolderItem");
    return entry && (entry(item, out, outName) & 0xFF) != 0;
}
