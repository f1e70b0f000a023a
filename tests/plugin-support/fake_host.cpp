#include "tests/plugin-support/fake_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace fake {

namespace {

Host* gCurrent = nullptr;

template <typename... Args>
void Record(const char* name, Args... args) {
    Host& host = Host::Current();
    ++host.calls[name];
    host.lastArgs[name] = {(intptr_t)(args)...};
}

// Mac Roman beyond ASCII: just the letters the tests use.
const std::map<unsigned char, char32_t> kMacRomanHigh = {
    {0x80, U'\u00C4'}, {0x8A, U'\u00E4'}, {0x8E, U'\u00E9'}, {0x9A, U'\u00F6'}, {0x9F, U'\u00FC'}};

std::optional<std::u32string> Decode(std::string_view in, uint32_t encoding) {
    std::u32string out;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(in[i]); };
    switch (encoding) {
        case kREALTextEncodingRaw:
            for (size_t i = 0; i < in.size(); ++i) out += char32_t{byte(i)};
            return out;
        case kREALTextEncodingASCII:
        case kREALTextEncodingMacRoman:
            for (size_t i = 0; i < in.size(); ++i) {
                if (byte(i) < 0x80) {
                    out += char32_t{byte(i)};
                } else if (encoding == kREALTextEncodingMacRoman && kMacRomanHigh.count(byte(i))) {
                    out += kMacRomanHigh.at(byte(i));
                } else {
                    return std::nullopt;
                }
            }
            return out;
        case kREALTextEncodingUTF8:
            for (size_t i = 0; i < in.size();) {
                unsigned char b = byte(i);
                int extra = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
                if (extra < 0 || i + extra >= in.size()) return std::nullopt;
                char32_t c = extra ? b & (0x3F >> extra) : b;
                for (int k = 1; k <= extra; ++k) c = (c << 6) | (byte(i + k) & 0x3F);
                out += c;
                i += extra + 1;
            }
            return out;
        case kREALTextEncodingUTF16:
            if (in.size() % 2) return std::nullopt;
            for (size_t i = 0; i < in.size(); i += 2) {
                char32_t u = byte(i) | byte(i + 1) << 8;
                if (u >= 0xD800 && u < 0xDC00 && i + 3 < in.size()) {
                    char32_t low = byte(i + 2) | byte(i + 3) << 8;
                    u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
                out += u;
            }
            return out;
        case kREALTextEncodingUTF32:
            if (in.size() % 4) return std::nullopt;
            for (size_t i = 0; i < in.size(); i += 4) {
                out += char32_t(byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16 | byte(i + 3) << 24);
            }
            return out;
    }
    return std::nullopt;
}

std::optional<std::string> Encode(const std::u32string& text, uint32_t encoding) {
    std::string out;
    for (char32_t c : text) {
        switch (encoding) {
            case kREALTextEncodingASCII:
                if (c >= 0x80) return std::nullopt;
                out += static_cast<char>(c);
                break;
            case kREALTextEncodingMacRoman: {
                if (c < 0x80) {
                    out += static_cast<char>(c);
                    break;
                }
                bool found = false;
                for (auto [byte, code] : kMacRomanHigh) {
                    if (code == c) out += static_cast<char>(byte), found = true;
                }
                if (!found) return std::nullopt;
                break;
            }
            case kREALTextEncodingUTF8:
                if (c < 0x80) {
                    out += static_cast<char>(c);
                } else if (c < 0x800) {
                    out += static_cast<char>(0xC0 | c >> 6);
                    out += static_cast<char>(0x80 | (c & 0x3F));
                } else if (c < 0x10000) {
                    out += static_cast<char>(0xE0 | c >> 12);
                    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
                    out += static_cast<char>(0x80 | (c & 0x3F));
                } else {
                    out += static_cast<char>(0xF0 | c >> 18);
                    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
                    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
                    out += static_cast<char>(0x80 | (c & 0x3F));
                }
                break;
            case kREALTextEncodingUTF16:
                if (c >= 0x10000) {
                    char32_t v = c - 0x10000;
                    for (char32_t u : {0xD800 + (v >> 10), 0xDC00 + (v & 0x3FF)}) {
                        out += static_cast<char>(u & 0xFF);
                        out += static_cast<char>(u >> 8);
                    }
                } else {
                    out += static_cast<char>(c & 0xFF);
                    out += static_cast<char>(c >> 8);
                }
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

// --- The entries ---

void RegisterPluginVersion(int32_t version) {
    Record("RegisterPluginVersion", version);
    Host::Current().announced.push_back(version);
}

double GetRBVersion() {
    Record("REALGetRBVersion");
    return *Host::Current().version;
}

int32_t RegisterClass(REALclassDefinition* record) {
    Record("PluginRegisterClass", record);
    Host& host = Host::Current();
    host.registered.push_back({record, record->dataSize});
    record->dataOffset = host.dataOffset;
    return host.registerResult;
}

REALobject NewInstance(const char* className) {
    Record("PluginNewInstance", className);
    return Host::Current().NewInstance(className);
}

void LockObject(REALobject o) {
    Record("REALLockObject", o);
    Host::Current().LockObject(o);
}

void UnlockObject(REALobject o) {
    Record("REALUnlockObject", o);
    Host::Current().UnlockObject(o);
}

void LockString(REALstring s) {
    Record("REALLockString", s);
    ++Host::Current().Rep(s).refs;
}

void UnlockString(REALstring s) {
    Record("REALUnlockString", s);
    Host::Current().UnlockString(s);
}

REALstring BuildString(const void* bytes, int32_t count) {
    Record("REALBuildString", bytes, count);
    Host& host = Host::Current();
    if (host.buildFails || count < 0 || (!bytes && count > 0)) return nullptr;
    return host.Make(std::string_view(static_cast<const char*>(bytes), count),
                     kREALTextEncodingRaw);
}

uint32_t GetStringEncoding(REALstring s) {
    Record("REALGetStringEncoding", s);
    return Host::Current().Encoding(s);
}

void SetStringEncoding(REALstring s, uint32_t encoding) {
    Record("REALSetStringEncoding", s, encoding);
    Host::Current().Rep(s).encoding = encoding;
}

REALstring ConvertString(REALstring s, uint32_t encoding) {
    Record("REALConvertString", s, encoding);
    if (!s) return nullptr;
    Host& host = Host::Current();
    auto converted = Host::Convert(host.Bytes(s), host.Encoding(s), encoding);
    return converted ? host.Make(*converted, encoding) : nullptr;
}

int32_t GetStringData(REALstring s, uint32_t encoding, REALstringData* out) {
    Record("PluginGetStringData", s, encoding, out);
    if (!s) return kNo;
    Host& host = Host::Current();
    auto converted = Host::Convert(host.Bytes(s), host.Encoding(s), encoding);
    if (!converted) return kNo;
    auto* block = static_cast<char*>(std::malloc(converted->size() + 1));
    std::memcpy(block, converted->data(), converted->size());
    block[converted->size()] = 0;
    out->data = block;
    out->length = static_cast<int32_t>(converted->size());
    out->encoding = encoding;
    return kYes;
}

void DisposeStringData(REALstringData* data) {
    Record("PluginDisposeStringData", data);
    Host::Current().disposed.push_back(data->data);
    std::free(const_cast<void*>(data->data));
}

const char* StringGetCString(REALstring s) {
    Record("StringGetCString", s);
    return reinterpret_cast<const char*>(Host::Current().Rep(s).storage.data() + 1);
}

int32_t LenB(REALstring s) {
    Record("LenB", s);
    return static_cast<int32_t>(Host::Current().Rep(s).record.byteLength);
}

void* LoadGlobalMethod(const char* module, const char* declaration) {
    Record("REALLoadGlobalMethod", module, declaration);
    Host& host = Host::Current();
    host.globalMethodsAsked.push_back(declaration);
    bool lenB = !module && std::strcmp(declaration, kLenBDeclaration) == 0;
    return lenB && !host.missing.count(kLenB) ? reinterpret_cast<void*>(&LenB) : nullptr;
}

REALfolderItem FolderItemFromFSSpec(const FSSpec* spec) {
    Record("FolderItemFromFSSpec", spec);
    return Host::Current().folderItem;
}

int32_t FSSpecFromFolderItem(FSSpec* out, REALfolderItem item) {
    Record("REALFSSpecFromFolderItem", out, item);
    return Host::Current().folderResult;
}

int32_t FSRefFromFolderItem(REALfolderItem item, FSRef* out, HFSUniStr255* name) {
    Record("REALFSRefFromFolderItem", item, out, name);
    return Host::Current().folderResult;
}

template <typename F>
void* Entry(F* f) {
    return reinterpret_cast<void*>(f);
}

const std::map<std::string, void*>& Entries() {
    static const std::map<std::string, void*> entries = {
        {"RegisterPluginVersion", Entry(&RegisterPluginVersion)},
        {"REALGetRBVersion", Entry(&GetRBVersion)},
        {"PluginRegisterClass", Entry(&RegisterClass)},
        {"PluginNewInstance", Entry(&NewInstance)},
        {"REALLockObject", Entry(&LockObject)},
        {"REALUnlockObject", Entry(&UnlockObject)},
        {"REALLockString", Entry(&LockString)},
        {"REALUnlockString", Entry(&UnlockString)},
        {"REALBuildString", Entry(&BuildString)},
        {"REALGetStringEncoding", Entry(&GetStringEncoding)},
        {"REALSetStringEncoding", Entry(&SetStringEncoding)},
        {"REALConvertString", Entry(&ConvertString)},
        {"PluginGetStringData", Entry(&GetStringData)},
        {"PluginDisposeStringData", Entry(&DisposeStringData)},
        {"StringGetCString", Entry(&StringGetCString)},
        {"REALLoadGlobalMethod", Entry(&LoadGlobalMethod)},
        {"FolderItemFromFSSpec", Entry(&FolderItemFromFSSpec)},
        {"REALFSSpecFromFolderItem", Entry(&FSSpecFromFolderItem)},
        {"REALFSRefFromFolderItem", Entry(&FSRefFromFolderItem)},
    };
    return entries;
}

}  // namespace

std::string StringRep::bytes() const {
    return std::string(reinterpret_cast<const char*>(storage.data() + 1), record.byteLength);
}

Host::Host() {
    EXPECT_EQ(gCurrent, nullptr) << "one fake host at a time";
    gCurrent = this;
}

Host::~Host() {
    gCurrent = nullptr;
}

Host& Host::Current() {
    if (!gCurrent) std::abort();
    return *gCurrent;
}

void* Host::Resolve(const char* name) {
    Host& host = Current();
    ++host.asked[name];
    host.askOrder.push_back(name);
    if (host.missing.count(name)) return nullptr;
    if (std::string(name) == "REALGetRBVersion" && !host.version) return nullptr;
    auto it = Entries().find(name);
    return it == Entries().end() ? nullptr : it->second;
}

int Host::Asked(const std::string& name) const {
    auto it = asked.find(name);
    return it == asked.end() ? 0 : it->second;
}

int Host::Calls(const std::string& name) const {
    auto it = calls.find(name);
    return it == calls.end() ? 0 : it->second;
}

std::optional<std::string> Host::Convert(std::string_view bytes, uint32_t from, uint32_t to) {
    if (to == kREALTextEncodingRaw) return std::string(bytes);
    auto text = Decode(bytes, from);
    return text ? Encode(*text, to) : std::nullopt;
}

REALstring Host::Make(std::string_view bytes, uint32_t encoding) {
    auto rep = std::make_unique<StringRep>();
    rep->storage.assign(1 + bytes.size() + 4, 0);
    rep->storage[0] = static_cast<unsigned char>(bytes.size() > 255 ? 255 : bytes.size());
    if (!bytes.empty()) std::memcpy(rep->storage.data() + 1, bytes.data(), bytes.size());
    // Words the plug-in must not rely on hold junk.
    rep->record.word0 = 0xDEADBEEF;
    rep->record.pascalBytes = rep->storage.data();
    rep->record.word2 = 0xDEADBEEF;
    rep->record.byteLength = bytes.size();
    rep->encoding = encoding;
    rep->refs = 1;
    auto handle = reinterpret_cast<REALstring>(&rep->record);
    strings_[handle] = std::move(rep);
    lastMade_ = handle;
    return handle;
}

StringRep& Host::Rep(REALstring s) {
    auto it = strings_.find(s);
    if (it == strings_.end()) {
        ADD_FAILURE() << "not a string of this host: " << s;
        static StringRep junk;
        return junk;
    }
    return *it->second;
}

void Host::UnlockString(REALstring s) {
    StringRep& rep = Rep(s);
    EXPECT_GT(rep.refs, 0) << "string released once too often: \"" << rep.bytes() << '"';
    --rep.refs;
}

void Host::Release(REALstring s) {
    if (s) UnlockString(s);
}

int Host::LiveStrings() const {
    int live = 0;
    for (const auto& [handle, rep] : strings_) live += rep->refs > 0;
    return live;
}

const REALclassDefinition* Host::FindClass(const char* name) const {
    for (const auto& r : registered) {
        if (std::strcmp(r.record->name, name) == 0) return r.record;
    }
    return nullptr;
}

REALproc Host::FindMethod(const char* className, const char* declaration) const {
    const REALclassDefinition* cls = FindClass(className);
    for (int32_t i = 0; cls && i < cls->methodCount; ++i) {
        if (std::strcmp(cls->methods[i].declaration, declaration) == 0) {
            return cls->methods[i].function;
        }
    }
    return nullptr;
}

REALobject Host::NewInstance(const char* className) {
    const REALclassDefinition* cls = FindClass(className);
    if (!cls) return nullptr;
    ObjectRep rep{cls, 1, std::make_unique<unsigned char[]>(cls->dataOffset + cls->dataSize)};
    auto handle = reinterpret_cast<REALobject>(rep.memory.get());
    objects_[handle] = std::move(rep);
    if (cls->constructor) cls->constructor(handle);
    return handle;
}

int Host::Refs(REALobject o) {
    auto it = objects_.find(o);
    return it == objects_.end() ? 0 : it->second.refs;
}

void Host::LockObject(REALobject o) {
    auto it = objects_.find(o);
    if (it == objects_.end()) {
        ADD_FAILURE() << "not an object of this host";
        return;
    }
    ++it->second.refs;
}

void Host::UnlockObject(REALobject o) {
    auto it = objects_.find(o);
    if (it == objects_.end()) {
        ADD_FAILURE() << "not an object of this host";
        return;
    }
    EXPECT_GT(it->second.refs, 0) << "object released once too often";
    if (--it->second.refs > 0) return;
    if (it->second.cls->destructor) it->second.cls->destructor(o);
    objects_.erase(it);
}

}  // namespace fake
