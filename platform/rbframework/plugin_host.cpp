#include "platform/rbframework/plugin_host.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/rbframework/bundle_check.h"
#include "platform/rbframework/bundle_known_good.h"
#include "platform/rbframework/bundle_probe.h"
#include "platform/rbframework/host_entries.h"

namespace rb {

// ---- instances ------------------------------------------------------------------------

PluginObject* PluginObject::create(REALclassDefinition* record) {
    size_t total = kPluginDataOffset + static_cast<size_t>(record->dataSize);
    void* p = ::operator new(total);
    std::memset(p, 0, total);
    return new (p) PluginObject(record);
}

PluginObject::~PluginObject() {
    if (record_->destructor) record_->destructor(handle());
}

PluginObject* PluginObject::fromHandle(REALobject o) noexcept {
    return static_cast<PluginObject*>(reinterpret_cast<Object*>(o));
}

// ---- host state -----------------------------------------------------------------------

// What one bundle's start registered, and the first thing the host refused it.
struct PluginHost::Start {
    std::vector<std::string> classes;
    std::vector<std::string> keys;
    std::string refusal;
};

struct PluginHost::State {
    std::mutex mutex;
    std::set<std::string> loaded;
    std::vector<void*> libraries;  // kept open for the life of the process
    std::map<std::string, REALclassDefinition*, std::less<>> classes;
    std::unordered_map<std::string, void*> keys;
    // Bundles whose start failed, with the message that said so, repeated on a later load.
    std::map<std::string, std::string> failed;
    Start* starting = nullptr;  // the bundle whose REALPluginMain runs now, if any
    EarlyProbes ahead;          // checks started before the bundles are loaded
    KnownGoodBundles known;     // bundles that need no check
};

PluginHost::PluginHost() : state_(new State) {
    for (const auto& [key, fn] : hostGlobalMethods()) state_->keys.emplace(key, fn);
}

PluginHost& PluginHost::instance() {
    // Never destroyed: bundles stay loaded, and their objects may outlive static teardown.
    static PluginHost* host = new PluginHost;
    return *host;
}

std::filesystem::path PluginHost::pluginFolder() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    std::filesystem::path prefix = exe.parent_path().parent_path();
    std::filesystem::path built = prefix / "plugins";
    if (std::filesystem::is_directory(built, ec)) return built;
    return prefix / "lib" / "vellora" / "plugins";
}

void PluginHost::loadBundles(const std::vector<std::string>& names) {
    loadBundlesFrom(pluginFolder(), names);
}

void PluginHost::probeAhead(const std::vector<std::string>& names) {
    probeAheadFrom(pluginFolder(), names);
}

void PluginHost::useKnownGoodList(std::filesystem::path list) {
    std::lock_guard lock(state_->mutex);
    state_->known = KnownGoodBundles(std::move(list));
}

void PluginHost::probeAheadFrom(const std::filesystem::path& folder,
                                const std::vector<std::string>& names) {
    std::vector<std::filesystem::path> files;
    for (const std::string& name : names) {
        std::filesystem::path file = folder / (name + ".so");
        std::error_code ec;
        // What the checks before loading refuse is never loaded, not even in a child.
        if (std::filesystem::is_regular_file(file, ec) && CheckSharedObject(file) == Damage::None)
            files.push_back(std::move(file));
    }
    std::lock_guard lock(state_->mutex);
    std::erase_if(files, [&](const std::filesystem::path& f) { return state_->known.contains(f); });
    state_->ahead.start(BundleProbeProgram(), files);
}

namespace {

std::string Named(const std::string& name) {
    return "The plug-in \"" + name + "\"";
}

// Why a bundle cannot be loaded, from the checks made before anything of it runs; empty when
// it may be loaded.
std::string CheckedBefore(const std::string& name, const std::filesystem::path& file) {
    switch (CheckSharedObject(file)) {
        case Damage::None:
            return {};
        case Damage::Unreadable:
            return Named(name) + " could not be loaded: " + file.string() + " cannot be read.";
        case Damage::Incomplete:
            break;
    }
    return Named(name) + " could not be loaded: " + file.string() +
           " is not a complete shared library.";
}

std::string Probed(const std::string& name, const std::filesystem::path& file,
                   const ProbeResult& probe) {
    switch (probe.kind) {
        case ProbeResult::Kind::Entry:
            return {};
        case ProbeResult::Kind::NoEntry:
            return Named(name) + " has no entry REALPluginMain.";
        case ProbeResult::Kind::LoadError:
            return Named(name) + " could not be loaded: " + probe.reason + ".";
        case ProbeResult::Kind::Unavailable:
            return Named(name) + " could not be checked: " + probe.reason + ".";
        case ProbeResult::Kind::Died:
            break;
    }
    return Named(name) + " could not be loaded: " + file.string() + " is damaged.";
}

}  // namespace

void PluginHost::loadBundlesFrom(const std::filesystem::path& folder,
                                 const std::vector<std::string>& names) {
    // Every bundle still to load is checked, and loaded once in a child, before the first of
    // them starts; the refusals are then told in the order of the names.
    struct Pending {
        std::string name;
        std::filesystem::path file;
        std::string refusal;
        bool known = false;  // on the known-good list: loaded without a check
    };
    std::vector<Pending> pending;
    {
        std::lock_guard lock(state_->mutex);
        for (const std::string& name : names) {
            if (state_->loaded.count(name)) continue;
            auto failed = state_->failed.find(name);
            if (failed != state_->failed.end()) throw PluginError(failed->second);
            pending.push_back({name, folder / (name + ".so"), {}});
        }
    }
    std::vector<std::filesystem::path> toProbe;
    std::vector<Pending*> probed;
    EarlyProbes ahead;
    {
        std::lock_guard lock(state_->mutex);
        std::swap(ahead, state_->ahead);
    }
    const auto deadline = std::chrono::steady_clock::now() + kProbeBound;
    for (Pending& p : pending) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(p.file, ec)) {
            p.refusal = Named(p.name) + " was not found in " + folder.string() + ".";
        } else {
            p.refusal = CheckedBefore(p.name, p.file);
        }
        if (!p.refusal.empty()) continue;
        // The verdict of a check started early, when it is of this very file.
        if (std::optional<ProbeResult> r = ahead.collect(p.file, deadline)) {
            p.refusal = Probed(p.name, p.file, *r);
            continue;
        }
        // Read again here, not taken from the early look: the bytes loaded are the ones listed.
        {
            std::lock_guard lock(state_->mutex);
            p.known = state_->known.contains(p.file);
        }
        if (p.known) continue;
        toProbe.push_back(p.file);
        probed.push_back(&p);
    }
    ahead.clear();  // early checks of bundles not asked for now: no child is left behind
    std::vector<ProbeResult> results = ProbeBundles(BundleProbeProgram(), toProbe);
    for (size_t i = 0; i < probed.size(); ++i)
        probed[i]->refusal = Probed(probed[i]->name, probed[i]->file, results[i]);

    for (const Pending& p : pending) {
        if (!p.refusal.empty()) throw PluginError(p.refusal);
        void* lib = dlopen(p.file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            const char* why = dlerror();
            throw PluginError(Named(p.name) +
                              " could not be loaded: " + (why ? why : "unknown reason") + ".");
        }
        auto main = reinterpret_cast<REALPluginMainProc>(dlsym(lib, "REALPluginMain"));
        if (!main) {
            dlclose(lib);
            throw PluginError(Named(p.name) + " has no entry REALPluginMain.");
        }
        start(p.name, lib, main);
        if (!p.known) {
            std::lock_guard lock(state_->mutex);
            state_->known.add(p.file);
        }
    }
}

void PluginHost::start(const std::string& name, void* lib, REALPluginMainProc main) {
    Start started;
    {
        std::lock_guard lock(state_->mutex);
        // Kept open even when the start fails: its code may already be referenced.
        state_->libraries.push_back(lib);
        state_->starting = &started;
    }
    const int32_t result = main(&PluginHost::resolve);
    std::lock_guard lock(state_->mutex);
    state_->starting = nullptr;
    if (result != 0 && started.refusal.empty()) {
        state_->loaded.insert(name);
        return;
    }
    // Nothing of a bundle that did not start can be bound: a class of it would stand without
    // the others, and the key of a missing one would name the key, not the bundle.
    for (const std::string& c : started.classes) state_->classes.erase(c);
    for (const std::string& k : started.keys) state_->keys.erase(k);
    std::string message =
        Named(name) + " could not start: " +
        (started.refusal.empty() ? "its REALPluginMain reported a failure" : started.refusal) + ".";
    state_->failed.emplace(name, message);
    throw PluginError(message);
}

void* PluginHost::resolve(const char* entryName) {
    if (!entryName) return nullptr;
    return hostEntry(entryName);
}

void PluginHost::announceVersion(int32_t version) {
    if (version == kREALPluginInterfaceVersion) return;
    std::lock_guard lock(state_->mutex);
    if (state_->starting && state_->starting->refusal.empty()) {
        state_->starting->refusal = "it speaks plug-in interface version " +
                                    std::to_string(version) + ", this program needs " +
                                    std::to_string(kREALPluginInterfaceVersion);
    }
}

namespace {

// Why the host cannot take `record`, apart from a duplicate name; empty when it can.
std::string RecordRefusal(const REALclassDefinition* record) {
    if (!record) return "a class record is missing (NULL)";
    if (!record->name || !*record->name) return "a class record has no name";
    const std::string cls = std::string("class ") + record->name;
    if (record->version != kCurrentREALControlVersion) {
        return cls + " has record version " + std::to_string(record->version) +
               ", this program needs " + std::to_string(kCurrentREALControlVersion);
    }
    if (record->dataSize < 0) return cls + " has a negative data size";
    if (record->propertyCount < 0 || (record->propertyCount && !record->properties))
        return cls + " has a property count without its table";
    if (record->methodCount < 0 || (record->methodCount && !record->methods))
        return cls + " has a method count without its table";
    return {};
}

}  // namespace

bool PluginHost::registerClass(REALclassDefinition* record, std::string* why) {
    std::string refusal = RecordRefusal(record);
    std::lock_guard lock(state_->mutex);
    if (refusal.empty() && state_->classes.count(record->name))
        refusal = std::string("class ") + record->name + " is registered already";
    if (!refusal.empty()) {
        // The first refusal of a start is the one its message tells.
        if (state_->starting && state_->starting->refusal.empty())
            state_->starting->refusal = refusal;
        if (why) *why = std::move(refusal);
        return false;
    }
    std::string name = record->name;

    // The keys by which the program binds the class, built once here.
    std::vector<std::pair<std::string, void*>> keys;
    auto add = [&](std::string key, REALproc fn) {
        if (fn) keys.emplace_back(name + "." + std::move(key), reinterpret_cast<void*>(fn));
    };
    add("__init", reinterpret_cast<REALproc>(record->constructor));
    add("__exit", reinterpret_cast<REALproc>(record->destructor));
    for (int32_t i = 0; i < record->methodCount; ++i) {
        const REALmethodRecord& m = record->methods[i];
        if (m.declaration) add(m.declaration, m.function);
    }
    for (int32_t i = 0; i < record->propertyCount; ++i) {
        const REALpropertyRecord& p = record->properties[i];
        if (!p.name) continue;
        if (p.getter != kREALStandardFieldGetter) add(std::string(p.name) + ".Get", p.getter);
        add(std::string(p.name) + ".Set", p.setter);
    }
    record->dataOffset = kPluginDataOffset;
    state_->classes.emplace(name, record);
    if (state_->starting) state_->starting->classes.push_back(name);
    for (auto& [key, fn] : keys) {
        auto [at, added] = state_->keys.emplace(std::move(key), fn);
        if (added && state_->starting) state_->starting->keys.push_back(at->first);
    }
    return true;
}

const REALclassDefinition* PluginHost::findClass(std::string_view name) const {
    std::lock_guard lock(state_->mutex);
    auto it = state_->classes.find(name);
    return it == state_->classes.end() ? nullptr : it->second;
}

Ref<PluginObject> PluginHost::newInstance(std::string_view className) {
    REALclassDefinition* record;
    {
        std::lock_guard lock(state_->mutex);
        auto it = state_->classes.find(className);
        if (it == state_->classes.end()) return nullptr;
        record = it->second;
    }
    auto obj = Ref<PluginObject>::adopt(PluginObject::create(record));
    if (record->constructor) record->constructor(obj->handle());
    return obj;
}

void* PluginHost::lookup(std::string_view key) const {
    std::lock_guard lock(state_->mutex);
    auto it = state_->keys.find(std::string(key));
    return it == state_->keys.end() ? nullptr : it->second;
}

void* PluginHost::require(std::string_view key) const {
    void* fn = lookup(key);
    if (!fn) throw PluginError("The plug-in entry \"" + std::string(key) + "\" was not found.");
    return fn;
}

}  // namespace rb

// ---- the program's side ---------------------------------------------------------------

namespace {
template <class T>
T* field(REALobject object, int32_t offset) {
    return reinterpret_cast<T*>(reinterpret_cast<char*>(object) + offset);
}
}  // namespace

extern "C" {

void** RuntimeAllocatePluginEntrypointsTable(int32_t count) {
    if (count <= 0) return nullptr;
    return new void*[static_cast<size_t>(count)]();
}

void* RuntimeLookupPluginEntrypoint(REALstring key) {
    if (!key) return nullptr;
    // Declarations are byte strings: a UTF-8 key matches them byte for byte, even where its
    // bytes are no valid UTF-8; a key in another encoding is matched as its text.
    const rb::String k = rb::String::retain(key);
    return rb::PluginHost::instance().lookup(k.encoding() == rb::encoding::UTF8 ? k.bytes()
                                                                                : k.toUtf8());
}

int32_t intGetter(REALobject object, int32_t offset) {
    return object ? *field<int32_t>(object, offset) : 0;
}

REALstring stringGetter(REALobject object, int32_t offset) {
    if (!object) return nullptr;
    REALstring s = *field<REALstring>(object, offset);
    return rb::String::retain(s).leak();
}

REALobject objGetter(REALobject object, int32_t offset) {
    if (!object) return nullptr;
    REALobject o = *field<REALobject>(object, offset);
    if (o) reinterpret_cast<rb::Object*>(o)->retain();
    return o;
}

bool boolGetter(REALobject object, int32_t offset) {
    return object && (*field<unsigned char>(object, offset) & 1);
}

}  // extern "C"
