// A host runtime for the support code's tests: a resolver whose entries, version and class
// layout a test chooses, strings laid out as the string record of the plug-in interface, and
// a count of every lookup, call and reference.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/corefoundation/Files.h"
#include "plugin-interface/plugin_abi.h"

namespace fake {

// The name under which a test removes the runtime's global method "LenB( s as string ) as
// integer" while keeping "REALLoadGlobalMethod".
constexpr const char* kLenB = "LenB";
constexpr const char* kLenBDeclaration = "LenB( s as string ) as integer";

// Results of PluginGetStringData and the folder-item entries: only the low byte counts.
constexpr int32_t kYes = 0x7F01;
constexpr int32_t kNo = 0x7F00;

struct StringRep {
    REALstringRecord record;             // the handle is this record's address
    std::vector<unsigned char> storage;  // length byte, the bytes, four NULs
    uint32_t encoding = 0;
    int refs = 0;
    std::string bytes() const;
};

struct Registration {
    REALclassDefinition* record;
    int32_t dataSizeSeen;  // at the moment of registration
};

class Host {
  public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // --- What the test chooses ---
    std::optional<double> version;  // none: no "REALGetRBVersion"
    std::set<std::string> missing;  // entry names the resolver does not answer
    uint32_t dataOffset = 32;       // written into each registered class record
    int32_t registerResult = 1;
    bool buildFails = false;  // REALBuildString gives nil
    int32_t folderResult = kYes;
    REALfolderItem folderItem = reinterpret_cast<REALfolderItem>(uintptr_t{0xF01D});

    // --- What the host saw ---
    std::map<std::string, int> asked;  // resolver lookups by name
    std::vector<std::string> askOrder;
    std::map<std::string, int> calls;                       // entry calls by name
    std::map<std::string, std::vector<intptr_t>> lastArgs;  // last call's arguments, as words
    std::vector<int32_t> announced;                         // RegisterPluginVersion arguments
    std::vector<Registration> registered;
    std::vector<std::string> globalMethodsAsked;
    std::vector<const void*> disposed;  // data pointers PluginDisposeStringData freed

    int Asked(const std::string& name) const;
    int Calls(const std::string& name) const;

    // Strings. Make hands one reference to the caller.
    REALstring Make(std::string_view bytes, uint32_t encoding);
    StringRep& Rep(REALstring s);
    bool Known(REALstring s) const { return strings_.count(s) != 0; }
    std::string Bytes(REALstring s) { return Rep(s).bytes(); }
    uint32_t Encoding(REALstring s) { return Rep(s).encoding; }
    int Refs(REALstring s) { return Rep(s).refs; }
    void Release(REALstring s);
    int LiveStrings() const;  // strings that still hold a reference
    REALstring LastMade() const { return lastMade_; }

    // Objects of registered classes; NewInstance hands one reference to the caller.
    REALobject NewInstance(const char* className);
    int Refs(REALobject o);
    const REALclassDefinition* FindClass(const char* name) const;
    REALproc FindMethod(const char* className, const char* declaration) const;

    static void* Resolve(const char* name);
    static Host& Current();

    // The conversions the host offers: Mac Roman (ASCII and a few letters), ASCII, UTF-8,
    // UTF-16 and UTF-32 (little-endian), and raw bytes (read as Latin-1; to raw: unchanged).
    static std::optional<std::string> Convert(std::string_view bytes, uint32_t from, uint32_t to);

    // Entry bodies (called through the resolver's answers).
    void UnlockString(REALstring s);
    void LockObject(REALobject o);
    void UnlockObject(REALobject o);

  private:
    struct ObjectRep {
        const REALclassDefinition* cls;
        int refs;
        std::unique_ptr<unsigned char[]> memory;
    };
    std::map<REALstring, std::unique_ptr<StringRep>> strings_;
    std::map<REALobject, ObjectRep> objects_;
    REALstring lastMade_ = nullptr;
};

}  // namespace fake
