#include "platform/rbframework/plugin_host.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/rbframework/bundle_check.h"
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

struct PluginHost::State {
    std::mutex mutex;
    std::set<std::string> loaded;
    std::vector<void*> libraries;  // kept open for the life of the process
    std::map<std::string, REALclassDefinition*, std::less<>> classes;
    std::unordered_map<std::string, void*> keys;
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

void PluginHost::loadBundlesFrom(const std::filesystem::path& folder,
                                 const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        {
            std::lock_guard lock(state_->mutex);
            if (state_->loaded.count(name)) continue;
        }
        std::filesystem::path file = folder / (name + ".so");
        std::error_code ec;
        if (!std::filesystem::is_regular_file(file, ec)) {
            throw PluginError("The plug-in \"" + name + "\" was not found in " + folder.string() +
                              ".");
        }
        switch (CheckSharedObject(file)) {
            case Damage::None:
                break;
            case Damage::Unreadable:
                throw PluginError("The plug-in \"" + name +
                                  "\" could not be loaded: " + file.string() + " cannot be read.");
            case Damage::Incomplete:
                throw PluginError("The plug-in \"" + name + "\" could not be loaded: " +
                                  file.string() + " is not a complete shared library.");
            case Damage::Tables:
                throw PluginError("The plug-in \"" + name +
                                  "\" could not be loaded: " + file.string() + " is damaged.");
        }
        void* lib = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            const char* why = dlerror();
            throw PluginError("The plug-in \"" + name +
                              "\" could not be loaded: " + (why ? why : "unknown reason") + ".");
        }
        auto main = reinterpret_cast<REALPluginMainProc>(dlsym(lib, "REALPluginMain"));
        if (!main) {
            dlclose(lib);
            throw PluginError("The plug-in \"" + name + "\" has no entry REALPluginMain.");
        }
        {
            std::lock_guard lock(state_->mutex);
            state_->loaded.insert(name);
            state_->libraries.push_back(lib);
        }
        main(&PluginHost::resolve);
    }
}

void* PluginHost::resolve(const char* entryName) {
    if (!entryName) return nullptr;
    return hostEntry(entryName);
}

bool PluginHost::registerClass(REALclassDefinition* record) {
    if (!record || record->version != kCurrentREALControlVersion || !record->name ||
        !*record->name || record->dataSize < 0 || record->propertyCount < 0 ||
        record->methodCount < 0 || (record->propertyCount && !record->properties) ||
        (record->methodCount && !record->methods)) {
        return false;
    }
    std::lock_guard lock(state_->mutex);
    std::string name = record->name;
    if (state_->classes.count(name)) return false;

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
    for (auto& [key, fn] : keys) state_->keys.emplace(std::move(key), fn);
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
    // Lives until the process ends, like the bundles it points into.
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
