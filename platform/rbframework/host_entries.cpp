#include "platform/rbframework/host_entries.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "platform/corefoundation/Files.h"
#include "platform/rbframework/folder_item.h"
#include "platform/rbframework/plugin_host.h"
#include "platform/rbframework/rbstring.h"

namespace rb {
namespace {

Object* asObject(REALobject o) {
    return reinterpret_cast<Object*>(o);
}

extern "C" {

void hostRegisterPluginVersion(int32_t version) {
    PluginHost::instance().announceVersion(version);
}

double hostGetRBVersion() {
    return PluginHost::instance().version();
}

int32_t hostRegisterClass(REALclassDefinition* record) {
    return PluginHost::instance().registerClass(record) ? 1 : 0;
}

REALobject hostNewInstance(const char* className) {
    if (!className) return nullptr;
    PluginObject* o = PluginHost::instance().newInstance(className).leak();
    return o ? o->handle() : nullptr;
}

void hostLockObject(REALobject o) {
    if (o) asObject(o)->retain();
}

void hostUnlockObject(REALobject o) {
    if (o) asObject(o)->release();
}

void hostLockString(REALstring s) {
    String::retain(s).leak();
}

void hostUnlockString(REALstring s) {
    String::adopt(s);
}

REALstring hostBuildString(const void* bytes, int32_t count) {
    if (count < 0 || (!bytes && count > 0)) return nullptr;
    return String::fromBytes(bytes, static_cast<size_t>(count), encoding::Raw).leak();
}

uint32_t hostGetStringEncoding(REALstring s) {
    return s ? String::retain(s).encoding() : encoding::Raw;
}

void hostSetStringEncoding(REALstring s, uint32_t enc) {
    strings::setEncoding(s, enc);
}

REALstring hostConvertString(REALstring s, uint32_t enc) {
    if (!s) return nullptr;
    return String::retain(s).convert(enc).leak();
}

int32_t hostGetStringData(REALstring s, uint32_t enc, REALstringData* out) {
    if (!s || !out) return 0;
    String converted = String::retain(s).convert(enc);
    if (converted.isNil()) return 0;
    std::string_view b = converted.bytes();
    // A copy with four NULs behind it, so any caller may read it as a C string of any width.
    auto* block = static_cast<char*>(std::malloc(b.size() + 4));
    if (!block) return 0;
    std::memcpy(block, b.data(), b.size());
    std::memset(block + b.size(), 0, 4);
    out->data = block;
    out->length = static_cast<int32_t>(b.size());
    out->encoding = enc;
    return 1;
}

void hostDisposeStringData(REALstringData* data) {
    if (!data) return;
    std::free(const_cast<void*>(data->data));
    data->data = nullptr;
    data->length = 0;
}

const char* hostStringGetCString(REALstring s) {
    return s ? String::retain(s).bytes().data() : nullptr;
}

int32_t hostLenB(REALstring s) {
    return s ? static_cast<int32_t>(String::retain(s).byteLength()) : 0;
}

void* hostLoadGlobalMethod(const char*, const char* declaration) {
    if (!declaration) return nullptr;
    if (std::strcmp(declaration, "LenB( s as string ) as integer") == 0)
        return reinterpret_cast<void*>(&hostLenB);
    for (const auto& [key, fn] : hostGlobalMethods())
        if (key == declaration) return fn;
    return nullptr;
}

// ---- folder items ---------------------------------------------------------------------

REALfolderItem hostFolderItemFromFSSpec(const FSSpec* spec) {
    char path[4096];
    if (!spec || FSSpecGetPath(spec, path, sizeof path) != noErr) return nullptr;
    return make<FolderItem>(path).leak()->handle();
}

int32_t hostFSSpecFromFolderItem(FSSpec* out, REALfolderItem item) {
    if (!out || !item) return 0;
    return FSMakeFSSpecFromPath(FolderItem::fromHandle(item)->path().c_str(), out) == noErr;
}

// Without a name record: the ref of the item itself, which must exist. With one: the ref of
// its folder and its name, so an item that does not exist yet can be named.
int32_t hostFSRefFromFolderItem(REALfolderItem item, FSRef* out, HFSUniStr255* outName) {
    if (!out || !item) return 0;
    const std::filesystem::path& path = FolderItem::fromHandle(item)->path();
    if (!outName) return FSMakeFSRefFromPath(path.c_str(), out) == noErr;
    if (FSMakeFSRefFromPath(path.parent_path().c_str(), out) != noErr) return 0;
    std::u16string name = path.filename().u16string();
    if (name.size() > 255) return 0;
    outName->length = static_cast<uint16_t>(name.size());
    std::copy(name.begin(), name.end(), outName->unicode);
    return 1;
}

// ---- runtime globals ------------------------------------------------------------------

REALstring runtimeMD5(REALstring data) {
    std::string_view b = String::retain(data).bytes();
    QByteArray digest = QCryptographicHash::hash(
        QByteArrayView(b.data(), static_cast<qsizetype>(b.size())), QCryptographicHash::Md5);
    return String::fromBytes(digest.constData(), static_cast<size_t>(digest.size()), encoding::Raw)
        .leak();
}

REALstring runtimeEncodeBase64(REALstring data, int32_t lineWrap) {
    String s = String::retain(data);
    QByteArray encoded =
        QByteArray(s.bytes().data(), static_cast<qsizetype>(s.bytes().size())).toBase64();
    if (lineWrap > 0 && encoded.size() > lineWrap) {
        QByteArray wrapped;
        for (qsizetype i = 0; i < encoded.size(); i += lineWrap) {
            if (i) wrapped += "\r\n";
            wrapped += encoded.mid(i, lineWrap);
        }
        encoded = wrapped;
    }
    return String::fromBytes(encoded.constData(), static_cast<size_t>(encoded.size()),
                             encoding::ASCII)
        .leak();
}

REALstring runtimeDecodeBase64(REALstring data, REALobject /*encoding*/) {
    String s = String::retain(data);
    QByteArray decoded = QByteArray::fromBase64(
        QByteArray(s.bytes().data(), static_cast<qsizetype>(s.bytes().size())));
    return String::fromBytes(decoded.constData(), static_cast<size_t>(decoded.size()),
                             encoding::Raw)
        .leak();
}

}  // extern "C"

template <class F>
void* entry(F* f) {
    return reinterpret_cast<void*>(f);
}

}  // namespace

void* hostEntry(const std::string& name) {
    static const std::unordered_map<std::string, void*> entries = {
        {"RegisterPluginVersion", entry(&hostRegisterPluginVersion)},
        {"REALGetRBVersion", entry(&hostGetRBVersion)},
        {"PluginRegisterClass", entry(&hostRegisterClass)},
        {"PluginNewInstance", entry(&hostNewInstance)},
        {"REALLockObject", entry(&hostLockObject)},
        {"REALUnlockObject", entry(&hostUnlockObject)},
        {"REALLockString", entry(&hostLockString)},
        {"REALUnlockString", entry(&hostUnlockString)},
        {"REALBuildString", entry(&hostBuildString)},
        {"REALGetStringEncoding", entry(&hostGetStringEncoding)},
        {"REALSetStringEncoding", entry(&hostSetStringEncoding)},
        {"REALConvertString", entry(&hostConvertString)},
        {"PluginGetStringData", entry(&hostGetStringData)},
        {"PluginDisposeStringData", entry(&hostDisposeStringData)},
        {"StringGetCString", entry(&hostStringGetCString)},
        {"REALLoadGlobalMethod", entry(&hostLoadGlobalMethod)},
        {"FolderItemFromFSSpec", entry(&hostFolderItemFromFSSpec)},
        {"REALFSSpecFromFolderItem", entry(&hostFSSpecFromFolderItem)},
        {"REALFSRefFromFolderItem", entry(&hostFSRefFromFolderItem)},
    };
    auto it = entries.find(name);
    return it == entries.end() ? nullptr : it->second;
}

const std::vector<std::pair<std::string, void*>>& hostGlobalMethods() {
    static const std::vector<std::pair<std::string, void*>> globals = {
        {"MD5(data As String) As String", entry(&runtimeMD5)},
        {"EncodeBase64(data As String, lineWrap As Integer = 76) As String",
         entry(&runtimeEncodeBase64)},
        {"DecodeBase64(data As String, encoding as TextEncoding = nil) As String",
         entry(&runtimeDecodeBase64)},
    };
    return globals;
}

}  // namespace rb
