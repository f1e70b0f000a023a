// The plug-in host: loads the bundles, answers their entries by name, keeps their class
// records, makes their instances and resolves the program's entry-point keys.
#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rbframework/object.h"
#include "platform/rbframework/rbstring.h"
#include "plugin-interface/plugin_abi.h"

namespace rb {

// A bundle that could not be started, or a key that names nothing; what() says which.
class PluginError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An instance of a plug-in class: this header, then the class's zero-filled plug-in data at
// the record's dataOffset. The record's destructor runs when the last reference goes.
class PluginObject final : public Object {
  public:
    const REALclassDefinition& record() const noexcept { return *record_; }
    void* data() noexcept { return reinterpret_cast<char*>(this) + record_->dataOffset; }
    REALobject handle() noexcept {
        return reinterpret_cast<REALobject>(static_cast<Object*>(this));
    }
    static PluginObject* fromHandle(REALobject o) noexcept;

  private:
    friend class PluginHost;
    explicit PluginObject(REALclassDefinition* record) : record_(record) {}
    ~PluginObject() override;
    // The header and `dataSize` zero-filled bytes in one block, freed by the deleting destructor.
    static PluginObject* create(REALclassDefinition* record);
    static void operator delete(void* p) noexcept { ::operator delete(p); }
    REALclassDefinition* record_;
};

// Where plug-in data begins in every instance: the header, rounded for any field.
constexpr uint32_t kPluginDataOffset = (sizeof(PluginObject) + alignof(std::max_align_t) - 1) /
                                       alignof(std::max_align_t) * alignof(std::max_align_t);

class PluginHost {
  public:
    // The one host of the process.
    static PluginHost& instance();

    // The program's own plug-in folder, found from the executable's path: plugins/ beside
    // bin/ in the build tree, lib/vellora/plugins/ once installed. Never the working folder.
    static std::filesystem::path pluginFolder();

    // Loads <folder>/<name>.so for each name and starts it. Each is first checked (size and
    // headers) and loaded in a short-lived child (bundle_probe.h), so that one whose loading
    // crashes is refused. Throws PluginError naming the bundle and the reason: not found,
    // cannot be loaded, no REALPluginMain, or could not start (REALPluginMain returned 0, or
    // the host refused its announced version or one of its class records: the first refusal
    // is told). A bundle already loaded is not loaded again; one that failed to start fails
    // again with the same message.
    void loadBundles(const std::vector<std::string>& names);

    // Starts the checks of the named bundles of the plug-in folder now, so that loadBundles
    // later only collects their verdicts: meant for the program's very start, before any other
    // thread runs, when the children that load them are quick copies of the program
    // (bundle_probe.h). A bundle that cannot be checked now, or is changed before it is loaded,
    // is checked again then. [main]
    void probeAhead(const std::vector<std::string>& names);
    // Bundles that started cleanly are listed in `list` (bundle_known_good.h), and one listed,
    // unchanged, is neither checked early nor in a child when loaded. Without a list (the
    // default) every bundle is checked at every load. [main]
    void useKnownGoodList(std::filesystem::path list);
    void probeAheadFrom(const std::filesystem::path& folder, const std::vector<std::string>& names);
    void loadBundlesFrom(const std::filesystem::path& folder,
                         const std::vector<std::string>& names);

    // The resolver handed to every bundle.
    static void* resolve(const char* entryName);

    // Registers a record: writes dataOffset, keeps the rows and their keys. Refuses (false,
    // with the reason in *why when given) a null record, one of another version, a nameless
    // one, one with negative sizes or a count without its table, or a duplicate class name.
    // A refusal during a bundle's start fails that start.
    bool registerClass(REALclassDefinition* record, std::string* why = nullptr);
    // The plug-in interface version a starting bundle announces; another than this host's
    // fails its start.
    void announceVersion(int32_t version);
    const REALclassDefinition* findClass(std::string_view name) const;

    // A new instance with one reference for the caller, constructor run; nil when the class
    // is unknown.
    Ref<PluginObject> newInstance(std::string_view className);

    // The entry point registered under a key ("Class.Declaration", "Class.__init",
    // "Class.__exit", "Class.Prop.Get", "Class.Prop.Set", or a runtime global's declaration);
    // null when nothing is.
    void* lookup(std::string_view key) const;
    // As lookup, but a key that resolves to nothing throws PluginError naming the key.
    void* require(std::string_view key) const;

    double version() const noexcept { return 2013.0; }

  private:
    PluginHost();
    struct Start;
    void start(const std::string& name, void* lib, REALPluginMainProc main);
    struct State;
    State* state_;
};

}  // namespace rb

extern "C" {
// A new entry-point table of `count` null slots (NULL when count <= 0). The caller owns it and
// frees it with delete[]; the program keeps one table at a time and frees the one it replaces.
void** RuntimeAllocatePluginEntrypointsTable(int32_t count);
// The entry point registered under `key`, or NULL.
void* RuntimeLookupPluginEntrypoint(REALstring key);

// The standard field getters: the field at byte `offset` of the object (header included).
// String and object results carry one reference for the caller.
int32_t intGetter(REALobject object, int32_t offset);
REALstring stringGetter(REALobject object, int32_t offset);
REALobject objGetter(REALobject object, int32_t offset);
bool boolGetter(REALobject object, int32_t offset);
}
