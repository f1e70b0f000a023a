// The plug-in host's handling of class records and their declaration texts: any record a
// bundle could hand over is either refused or registered, every declaration and property
// becomes the key "Class.<text>" that resolves to its function (the first registration of a
// key keeps it), instances come zero-filled, and a global method is found only by its exact
// declaration text.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/rbframework/host_entries.h"
#include "platform/rbframework/plugin_host.h"

namespace {

// Every record registered stays with the host for the life of the process, so its texts and
// tables stay here too.
struct Owned {
    std::string name;
    std::vector<std::unique_ptr<std::string>> texts;
    std::vector<REALmethodRecord> methods;
    std::vector<REALpropertyRecord> properties;
    REALclassDefinition record{};
};
std::deque<std::unique_ptr<Owned>> gRegistered;
// Keep the host's tables bounded over a long run; past this, records are only offered for
// refusal checks under names already taken.
constexpr size_t kMaxRegistered = 50000;

std::unordered_map<std::string, void*> gKeys;  // what the host should answer, first one wins
std::set<std::string> gClassNames;
int64_t gLive = 0;

char gFunctions[64];  // distinct addresses for the rows' functions, never called
REALproc fn(size_t i) {
    return reinterpret_cast<REALproc>(&gFunctions[i % sizeof gFunctions]);
}

void construct(REALobject o) {
    rb::PluginObject* obj = rb::PluginObject::fromHandle(o);
    const auto* d = static_cast<const unsigned char*>(obj->data());
    for (int32_t i = 0; i < obj->record().dataSize; ++i) FUZZ_CHECK(d[i] == 0);
    ++gLive;
}
void destruct(REALobject) {
    --gLive;
}

const char* keep(Owned& o, std::string text) {
    o.texts.push_back(std::make_unique<std::string>(std::move(text)));
    return o.texts.back()->c_str();
}

void expectKey(const std::string& key, REALproc f) {
    if (f) gKeys.emplace(key, reinterpret_cast<void*>(f));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    rb::PluginHost& host = rb::PluginHost::instance();
    if (gKeys.empty())
        for (const auto& [key, f] : rb::hostGlobalMethods()) gKeys.emplace(key, f);

    auto o = std::make_unique<Owned>();
    REALclassDefinition& r = o->record;
    r.version = in.ConsumeIntegralInRange<uint32_t>(0, 15) ? kCurrentREALControlVersion
                                                           : in.ConsumeIntegral<uint32_t>();
    const bool hasName = in.ConsumeIntegralInRange(0, 15) != 0;
    o->name = in.ConsumeRandomLengthString(24);
    r.name = hasName ? o->name.c_str() : nullptr;
    r.dataSize = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(0, 256)
                                  : in.ConsumeIntegral<int32_t>();
    r.constructor = in.ConsumeBool() ? &construct : nullptr;
    r.destructor = in.ConsumeBool() ? &destruct : nullptr;
    const int methods = in.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < methods; ++i) {
        REALmethodRecord m{};
        m.function = in.ConsumeIntegralInRange(0, 7) ? fn(in.ConsumeIntegral<uint8_t>()) : nullptr;
        const bool hasText = in.ConsumeIntegralInRange(0, 7) != 0;
        std::string text = in.ConsumeRandomLengthString(64);
        m.declaration = hasText ? keep(*o, std::move(text)) : nullptr;
        o->methods.push_back(m);
    }
    const int properties = in.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < properties; ++i) {
        REALpropertyRecord p{};
        const bool hasName = in.ConsumeIntegralInRange(0, 7) != 0;
        std::string name = in.ConsumeRandomLengthString(24);
        p.name = hasName ? keep(*o, std::move(name)) : nullptr;
        const int getter = in.ConsumeIntegralInRange(0, 2);
        p.getter = getter == 0   ? nullptr
                   : getter == 1 ? kREALStandardFieldGetter
                                 : fn(in.ConsumeIntegral<uint8_t>());
        p.setter = in.ConsumeBool() ? fn(in.ConsumeIntegral<uint8_t>()) : nullptr;
        p.param = in.ConsumeIntegral<uint32_t>();
        o->properties.push_back(p);
    }
    r.methodCount = static_cast<int32_t>(o->methods.size());
    r.methods = o->methods.empty() ? nullptr : o->methods.data();
    r.propertyCount = static_cast<int32_t>(o->properties.size());
    r.properties = o->properties.empty() ? nullptr : o->properties.data();
    const std::string probe = in.ConsumeRemainingBytesAsString();

    const std::string name = hasName ? std::string(r.name) : std::string();
    const bool valid = r.version == kCurrentREALControlVersion && !name.empty() && r.dataSize >= 0;
    const bool taken = gClassNames.count(name) != 0;
    if (!taken && gRegistered.size() >= kMaxRegistered) return 0;

    const bool registered = host.registerClass(&r);
    FUZZ_CHECK(registered == (valid && !taken));
    if (registered) {
        FUZZ_CHECK(r.dataOffset == rb::kPluginDataOffset);
        FUZZ_CHECK(host.findClass(name) == &r);
        gClassNames.insert(name);
        // The same keys, built here from the rows, in the host's order.
        expectKey(name + ".__init", reinterpret_cast<REALproc>(r.constructor));
        expectKey(name + ".__exit", reinterpret_cast<REALproc>(r.destructor));
        for (const REALmethodRecord& m : o->methods)
            if (m.declaration) expectKey(name + "." + m.declaration, m.function);
        for (const REALpropertyRecord& p : o->properties) {
            if (!p.name) continue;
            if (p.getter != kREALStandardFieldGetter)
                expectKey(name + "." + p.name + ".Get", p.getter);
            expectKey(name + "." + p.name + ".Set", p.setter);
        }
        for (const REALmethodRecord& m : o->methods) {
            if (!m.declaration) continue;
            const std::string key = name + "." + m.declaration;
            auto it = gKeys.find(key);
            FUZZ_CHECK(host.lookup(key) == (it == gKeys.end() ? nullptr : it->second));
            // The program's lookup goes by the key's text.
            const rb::String k(key);
            FUZZ_CHECK(RuntimeLookupPluginEntrypoint(k.handle()) == host.lookup(key));
        }
        gRegistered.push_back(std::move(o));
    } else if (!taken) {
        FUZZ_CHECK(!hasName || host.findClass(name) == nullptr);
    }

    // Any text as a key resolves exactly as registered.
    auto it = gKeys.find(probe);
    FUZZ_CHECK(host.lookup(probe) == (it == gKeys.end() ? nullptr : it->second));
    const std::string qualified = name + "." + probe;
    it = gKeys.find(qualified);
    FUZZ_CHECK(host.lookup(qualified) == (it == gKeys.end() ? nullptr : it->second));

    // A global method only by its declaration as the runtime spells it.
    using LoadGlobal = void* (*)(const char*, const char*);
    static const auto loadGlobal =
        reinterpret_cast<LoadGlobal>(rb::hostEntry("REALLoadGlobalMethod"));
    bool known = probe == "LenB( s as string ) as integer";
    for (const auto& [key, f] : rb::hostGlobalMethods()) known = known || key == probe;
    FUZZ_CHECK((loadGlobal(nullptr, probe.c_str()) != nullptr) == known ||
               probe.find('\0') != std::string::npos);

    // Instances of a registered class: zero-filled data, constructor and destructor once each.
    if (gClassNames.count(name)) {
        const REALclassDefinition* record = host.findClass(name);
        FUZZ_CHECK(record);
        if (record->dataSize <= (1 << 20)) {
            const int64_t before = gLive;
            {
                rb::Ref<rb::PluginObject> obj = host.newInstance(name);
                FUZZ_CHECK(obj);
                FUZZ_CHECK(&obj->record() == record);
                if (!record->constructor && record->dataSize > 0)
                    FUZZ_CHECK(static_cast<unsigned char*>(obj->data())[0] == 0);
            }
            FUZZ_CHECK(gLive ==
                       before + (record->constructor ? 1 : 0) - (record->destructor ? 1 : 0));
        }
    }
    FUZZ_CHECK(!host.newInstance(name + std::string(1, '\0') + "x"));
    return 0;
}
