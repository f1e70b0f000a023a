// The zero-filled allocator, class registration's rounding, and instance data found through
// the offset the host wrote.
#include <cstring>

#include "tests/plugin-support/harness.h"

namespace {

class PluginSupportMemory : public BundleTest {};

TEST_F(PluginSupportMemory, AllocateClearMemoryAsksCallocOnlyWithinRange) {
    Start();
    const struct {
        int64_t size;
        bool asksCalloc;
    } cases[] = {{0, false},         {-1, false}, {2147483648, false}, {int64_t{1} << 32, false},
                 {2147483647, true}, {1, true},   {64, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        // The 2 GiB request is refused by the logging calloc, so nothing is allocated.
        alloc::Recording log(2147483647);
        void* block = As<void>(bundle->CallWith("AllocateClearMemory", c.size));
        EXPECT_EQ(log.CallocCount(), c.asksCalloc ? 1 : 0);
        if (!c.asksCalloc || c.size == 2147483647) {
            EXPECT_EQ(block, nullptr);
            continue;
        }
        EXPECT_TRUE(log.SawCalloc(1, static_cast<size_t>(c.size)));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(std::memcmp(block, std::string(c.size, '\0').data(), c.size), 0);
        bundle->CallWith("FreeMemoryNow", block);
        EXPECT_TRUE(log.SawFree(block));
    }
}

REALclassDefinition Record(const char* name, int32_t dataSize) {
    REALclassDefinition record{};
    record.version = kCurrentREALControlVersion;
    record.name = name;
    record.dataSize = dataSize;
    return record;
}

class PluginSupportClasses : public BundleTest {};

TEST_F(PluginSupportClasses, RegistrationRoundsDataSizeUpToSixteenOnce) {
    host.registerResult = 5;
    Start();
    const struct {
        int32_t built;
        int32_t registered;
    } cases[] = {{52, 64}, {40, 48}, {8, 16}, {16, 16}, {0, 0}, {1, 16}, {17, 32}, {4096, 4096}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.built);
        REALclassDefinition record = Record("Sized", c.built);
        for (int time = 0; time < 2; ++time) {
            EXPECT_EQ(bundle->CallWith("MyREALRegisterClass", &record), 5);
            EXPECT_EQ(record.dataSize, c.registered);
            EXPECT_EQ(host.registered.back().record, &record);
            EXPECT_EQ(host.registered.back().dataSizeSeen, c.registered);
        }
    }
}

TEST(PluginSupportInstanceData, IsFoundThroughTheOffsetTheHostWrote) {
    for (uint32_t offset : {16u, 48u, 200u}) {
        SCOPED_TRACE(offset);
        fake::Host host;
        host.dataOffset = offset;
        Bundle bundle(host);
        const REALclassDefinition* cls = host.FindClass(probe::kClassName);
        ASSERT_NE(cls, nullptr);
        ASSERT_EQ(cls->propertyCount, 1);
        const REALpropertyRecord& tag = cls->properties[0];
        EXPECT_EQ(tag.getter, kREALStandardFieldGetter);

        REALobject object = host.NewInstance(probe::kClassName);
        auto* base = reinterpret_cast<unsigned char*>(object);
        bundle.Method<probe::SetTagFn>(probe::kSetTag)(object, 0x5EED);

        // The constructor and the method wrote at the host's offset, and the standard field's
        // byte offset is where the method put the value.
        int32_t constructed, value;
        std::memcpy(&constructed, base + offset + offsetof(probe::Data, constructed), 4);
        std::memcpy(&value, base + offset + tag.param, 4);
        EXPECT_EQ(constructed, 1);
        EXPECT_EQ(value, 0x5EED);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(base), offset), std::string(offset, '\0'))
            << "wrote before the plug-in data";
        host.UnlockObject(object);
    }
}

}  // namespace
