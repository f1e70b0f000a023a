// A bundle written straight against the C interface, with no support library, so the host's
// side is tested on its own: registration, instances, field rows and keys.
#include <cstddef>
#include <cstdint>

#include "plugin-interface/plugin_abi.h"
#include "tests/rbframework/bundles/probe_data.h"

namespace {

REALResolver gHost;
int32_t gDestroyed;
int32_t gRegisterResults;

template <class F>
F entry(const char* name) {
    return reinterpret_cast<F>(gHost(name));
}

extern REALclassDefinition probeClass;

ProbeData* data(REALobject o) {
    return reinterpret_cast<ProbeData*>(reinterpret_cast<char*>(o) + probeClass.dataOffset);
}

void construct(REALobject o) {
    data(o)->count = 7;
}

void destroy(REALobject o) {
    ProbeData* d = data(o);
    if (d->name) entry<REALUnlockStringProc>("REALUnlockString")(d->name);
    if (d->other) entry<REALUnlockObjectProc>("REALUnlockObject")(d->other);
    d->name = nullptr;
    d->other = nullptr;
    ++gDestroyed;
}

void setName(REALobject o, REALstring s) {
    entry<REALLockStringProc>("REALLockString")(s);
    if (data(o)->name) entry<REALUnlockStringProc>("REALUnlockString")(data(o)->name);
    data(o)->name = s;
}

int32_t destroyed(REALobject) {
    return gDestroyed;
}
int32_t registerResults(REALobject);
REALobject makeAnother(REALobject) {
    return entry<PluginNewInstanceProc>("PluginNewInstance")("Probe");
}

void setOther(REALobject o, int32_t, REALobject other) {
    if (other) entry<REALLockObjectProc>("REALLockObject")(other);
    if (data(o)->other) entry<REALUnlockObjectProc>("REALUnlockObject")(data(o)->other);
    data(o)->other = other;
}
int32_t getTwice(REALobject o, int32_t) {
    return data(o)->twice * 2;
}
void setTwice(REALobject o, int32_t, int32_t v) {
    data(o)->twice = v;
}

template <class F>
REALproc proc(F f) {
    return reinterpret_cast<REALproc>(f);
}

REALpropertyRecord probeProperties[] = {
    {nullptr, "Count", "Integer", 0, kREALStandardFieldGetter, nullptr, offsetof(ProbeData, count),
     nullptr, 0, nullptr},
    {nullptr, "Name", "String", 0, kREALStandardFieldGetter, nullptr, offsetof(ProbeData, name),
     nullptr, 0, nullptr},
    {nullptr, "Other", "Probe", 0, kREALStandardFieldGetter, proc(&setOther),
     offsetof(ProbeData, other), nullptr, 0, nullptr},
    {nullptr, "Flag", "Boolean", 0, kREALStandardFieldGetter, nullptr, offsetof(ProbeData, flag),
     nullptr, 0, nullptr},
    {nullptr, "Twice", "integer", 0, proc(&getTwice), proc(&setTwice), 0, nullptr, 0, nullptr},
};

REALmethodRecord probeMethods[] = {
    {proc(&setName), nullptr, "SetName(s as string)", 0},
    {proc(&destroyed), nullptr, "Destroyed as integer", 0},
    {proc(&registerResults), nullptr, "RegisterResults as integer", 0},
    {proc(&makeAnother), nullptr, "MakeAnother as Probe", 0},
    {proc(&destroy), nullptr, "Close", 0},
};

REALclassDefinition makeRecord(const char* name, uint32_t version) {
    REALclassDefinition r{};
    r.version = version;
    r.name = name;
    r.dataSize = sizeof(ProbeData);
    r.constructor = &construct;
    r.destructor = &destroy;
    r.properties = probeProperties;
    r.propertyCount = sizeof probeProperties / sizeof probeProperties[0];
    r.methods = probeMethods;
    r.methodCount = sizeof probeMethods / sizeof probeMethods[0];
    return r;
}

REALclassDefinition probeClass = makeRecord("Probe", kCurrentREALControlVersion);
REALclassDefinition duplicateClass = makeRecord("Probe", kCurrentREALControlVersion);
REALclassDefinition oldClass = makeRecord("OldProbe", 8);

// One bit per registration: the start's should be taken, the others refused. They are tried
// after the start, which a refusal would fail.
int32_t registerResults(REALobject) {
    static const int32_t results = [] {
        auto reg = entry<PluginRegisterClassProc>("PluginRegisterClass");
        return gRegisterResults | reg(&duplicateClass) << 1 | reg(&oldClass) << 2 |
               reg(nullptr) << 3;
    }();
    return results;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t REALPluginMain(REALResolver resolver) {
    gHost = resolver;
    gRegisterResults = entry<PluginRegisterClassProc>("PluginRegisterClass")(&probeClass);
    return gRegisterResults;
}
