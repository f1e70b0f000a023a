// The probe bundle's class: thin rows over the support routines.
#include <cstddef>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "plugin-support/rb_plugin.h"
#include "tests/plugin-support/probe.h"

namespace {

template <typename T>
T As(intptr_t word) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<T>(word);
    } else {
        return static_cast<T>(word);
    }
}

intptr_t Call(REALobject, const char* routine, intptr_t a, intptr_t b, intptr_t c) {
    auto is = [routine](const char* name) { return std::strcmp(routine, name) == 0; };
    if (is("REALRegisterClass")) return REALRegisterClass(As<REALclassDefinition*>(a));
    if (is("MyREALRegisterClass")) return MyREALRegisterClass(As<REALclassDefinition*>(a));
    if (is("originalREALBuildString")) {
        return reinterpret_cast<intptr_t>(
            originalREALBuildString(As<const void*>(a), As<int32_t>(b)));
    }
    if (is("REALLockObject")) return REALLockObject(As<REALobject>(a)), 0;
    if (is("REALUnlockObject")) return REALUnlockObject(As<REALobject>(a)), 0;
    if (is("REALLockString")) return REALLockString(As<REALstring>(a)), 0;
    if (is("REALUnlockString")) return REALUnlockString(As<REALstring>(a)), 0;
    if (is("REALGetStringEncoding")) return REALGetStringEncoding(As<REALstring>(a));
    if (is("REALSetStringEncoding")) {
        return REALSetStringEncoding(As<REALstring>(a), As<uint32_t>(b)), 0;
    }
    if (is("REALConvertString")) {
        return reinterpret_cast<intptr_t>(REALConvertString(As<REALstring>(a), As<uint32_t>(b)));
    }
    if (is("REALnewInstance")) {
        return reinterpret_cast<intptr_t>(REALnewInstance(As<const char*>(a)));
    }
    if (is("REALGetStringData")) {
        return REALGetStringData(As<REALstring>(a), As<uint32_t>(b), As<REALstringData*>(c));
    }
    if (is("REALDisposeStringData")) return REALDisposeStringData(As<REALstringData*>(a)), 0;
    if (is("REALLoadFrameworkMethod")) {
        return reinterpret_cast<intptr_t>(
            REALLoadFrameworkMethod(As<const char*>(a), As<const char*>(b)));
    }
    if (is("REALFolderItemFromFSSpec")) {
        return reinterpret_cast<intptr_t>(REALFolderItemFromFSSpec(As<const FSSpec*>(a)));
    }
    if (is("REALFSSpecFromFolderItem")) {
        return REALFSSpecFromFolderItem(As<FSSpec*>(a), As<REALfolderItem>(b));
    }
    if (is("REALFSRefFromFolderItem")) {
        return REALFSRefFromFolderItem(As<REALfolderItem>(a), As<FSRef*>(b), As<HFSUniStr255*>(c));
    }
    if (is("REALBuildUnicodeString")) {
        return reinterpret_cast<intptr_t>(
            REALBuildUnicodeString(As<const void*>(a), As<int64_t>(b), As<uint32_t>(c)));
    }
    if (is("AllocateClearMemory")) {
        return reinterpret_cast<intptr_t>(AllocateClearMemory(As<int64_t>(a)));
    }
    if (is("FreeMemoryNow")) return FreeMemoryNow(As<void*>(a)), 0;
    return -1;
}

double HostVersion(REALobject) {
    return rbversion_rbversion;
}

void ReadMacRoman(REALobject, REALstring s, int32_t reads, probe::Inspect inspect, void* context) {
    rbText view(s);
    for (int32_t i = 0; i < reads; ++i) {
        // Alternate which of the two is asked first: either one computes the view.
        if (i % 2 == 0) {
            int32_t length = view.LengthMacRoman();
            inspect(context, view.GetMacRoman(), length);
        } else {
            const char* bytes = view.GetMacRoman();
            inspect(context, bytes, view.LengthMacRoman());
        }
    }
}

void ReadRawBytes(REALobject, REALstring s, int32_t reads, probe::Inspect inspect, void* context) {
    rbData view(s);
    for (int32_t i = 0; i < reads; ++i) inspect(context, view.Data(), view.Length());
}

extern REALclassDefinition ProbeClass;

void Construct(REALobject self) {
    instanceData<probe::Data>(self, ProbeClass)->constructed = 1;
}

void SetTag(REALobject self, int32_t value) {
    instanceData<probe::Data>(self, ProbeClass)->tag = value;
}

REALpropertyRecord ProbeProperties[] = {
    {nullptr, "Tag", "Integer", 0, kREALStandardFieldGetter, nullptr, offsetof(probe::Data, tag),
     nullptr, 0, nullptr},
};

REALmethodRecord ProbeMethods[] = {
    {reinterpret_cast<REALproc>(&Call), nullptr, probe::kCall, 0},
    {reinterpret_cast<REALproc>(&HostVersion), nullptr, probe::kHostVersion, 0},
    {reinterpret_cast<REALproc>(&ReadMacRoman), nullptr, probe::kReadMacRoman, 0},
    {reinterpret_cast<REALproc>(&ReadRawBytes), nullptr, probe::kReadRawBytes, 0},
    {reinterpret_cast<REALproc>(&SetTag), nullptr, probe::kSetTag, 0},
};

// Filled by PluginEntry; the host writes into them, so they stay writable statics.
REALclassDefinition ProbeClass;
REALclassDefinition TwinClass;

}  // namespace

int32_t PluginEntry() {
    ProbeClass.version = kCurrentREALControlVersion;
    ProbeClass.name = probe::kClassName;
    ProbeClass.dataSize = sizeof(probe::Data);
    ProbeClass.constructor = &Construct;
    ProbeClass.properties = ProbeProperties;
    ProbeClass.propertyCount = static_cast<int32_t>(std::size(ProbeProperties));
    ProbeClass.methods = ProbeMethods;
    ProbeClass.methodCount = static_cast<int32_t>(std::size(ProbeMethods));
    MyREALRegisterClass(&ProbeClass);

    TwinClass.version = kCurrentREALControlVersion;
    TwinClass.name = probe::kTwinClassName;
    TwinClass.dataSize = probe::kTwinDataSize;
    return MyREALRegisterClass(&TwinClass);
}
