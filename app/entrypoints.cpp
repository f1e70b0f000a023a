#include "app/entrypoints.h"

#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <utility>

#include "platform/rbframework/plugin_host.h"
#include "platform/rbframework/rbstring.h"

void** __plugin_entrypoints = nullptr;

namespace {

constexpr const char* kKeys[] = {
#define VELLORA_SLOT_KEY(name, key) key,
    VELLORA_PLUGIN_ENTRYPOINTS(VELLORA_SLOT_KEY)
#undef VELLORA_SLOT_KEY
};
static_assert(std::size(kKeys) == kPluginEntrypointCount);

struct FieldRow {
    const char* className;
    const char* property;
    const char* type;
};

constexpr FieldRow kFields[] = {
#define VELLORA_FIELD_ROW(cls, prop, type) {#cls, #prop, type},
    VELLORA_PLUGIN_FIELDS(VELLORA_FIELD_ROW)
#undef VELLORA_FIELD_ROW
};
constexpr size_t kFieldCount = std::size(kFields);

// Valid while __plugin_entrypoints is set: both are published together.
int32_t gFieldOffsets[kFieldCount];

// Reading a field of another type, or a property the plug-in computes, would read the wrong
// bytes; so a row must be the standard field and carry the type that the program reads.
int32_t resolveField(const FieldRow& row) {
    std::string name = std::string(row.className) + "." + row.property;
    const REALclassDefinition* record = rb::PluginHost::instance().findClass(row.className);
    if (record) {
        for (int32_t i = 0; i < record->propertyCount; ++i) {
            const REALpropertyRecord& p = record->properties[i];
            if (!p.name || std::strcmp(p.name, row.property) != 0) continue;
            if (p.getter != kREALStandardFieldGetter || !p.type ||
                rb::RuntimeStringCompare(rb::String(p.type), rb::String(row.type)) != 0) {
                break;
            }
            return static_cast<int32_t>(record->dataOffset + p.param);
        }
    }
    throw rb::PluginError("The plug-in field \"" + name + "\" (" + row.type + ") was not found.");
}

}  // namespace

void _InitPluginEntrypoints() {
    // Freed when a key is missing; published only once complete, and kept until replaced.
    std::unique_ptr<void*[]> table(RuntimeAllocatePluginEntrypointsTable(kPluginEntrypointCount));
    if (!table) throw rb::PluginError("The plug-in entry-point table could not be made.");
    for (int32_t slot = 0; slot < kPluginEntrypointCount; ++slot) {
        rb::String key(kKeys[slot]);
        void* entry = RuntimeLookupPluginEntrypoint(key.handle());
        if (!entry) {
            throw rb::PluginError(std::string("The plug-in entry \"") + kKeys[slot] +
                                  "\" was not found.");
        }
        table[slot] = entry;
    }
    int32_t offsets[kFieldCount];
    for (size_t i = 0; i < kFieldCount; ++i) offsets[i] = resolveField(kFields[i]);

    // Published only once complete: a half-filled table is never visible.
    std::memcpy(gFieldOffsets, offsets, sizeof offsets);
    // This file owns the table: a program started again in this process replaces the last
    // run's table and frees it.
    delete[] std::exchange(__plugin_entrypoints, table.release());
}

std::string_view pluginEntrypointKey(PluginSlot slot) {
    return kKeys[static_cast<int32_t>(slot)];
}

void* pluginEntrypoint(PluginSlot slot) {
    if (!__plugin_entrypoints) {
        throw rb::PluginError("The plug-in entry points are not bound yet.");
    }
    return __plugin_entrypoints[static_cast<int32_t>(slot)];
}

int32_t pluginFieldOffset(PluginField field) {
    if (!__plugin_entrypoints) throw rb::PluginError("The plug-in fields are not bound yet.");
    return gFieldOffsets[static_cast<int32_t>(field)];
}
