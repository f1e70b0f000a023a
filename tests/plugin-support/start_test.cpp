// The bundle's start: what REALPluginMain asks of the host, in which order, and what it
// exports.
#include <elf.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <set>

#include "tests/plugin-support/harness.h"

namespace {

struct StartCase {
    const char* name;
    std::optional<double> version;
    bool announceEntry;
    double expectedVersion;
};

TEST(PluginSupportStart, AnnouncesInterfaceVersionReadsHostVersionAndRegisters) {
    const StartCase cases[] = {
        {"full host", 2019.1, true, 2019.1},
        {"host of 2012", 2012.0, true, 2012.0},
        {"no REALGetRBVersion", std::nullopt, true, 0.0},
        {"no RegisterPluginVersion", 2013.0, false, 2013.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Host host;
        host.version = c.version;
        if (!c.announceEntry) host.missing.insert("RegisterPluginVersion");
        host.registerResult = 7;
        Bundle bundle(host);

        EXPECT_EQ(bundle.mainResult, 7);
        EXPECT_EQ(host.announced,
                  c.announceEntry ? std::vector<int32_t>{9} : std::vector<int32_t>{});
        EXPECT_EQ(bundle.Method<probe::HostVersionFn>(probe::kHostVersion)(nullptr),
                  c.expectedVersion);
        ASSERT_GE(host.askOrder.size(), 3u);
        EXPECT_EQ(host.askOrder[0], "RegisterPluginVersion");
        EXPECT_EQ(host.askOrder[1], "REALGetRBVersion");
        EXPECT_EQ(host.askOrder[2], "PluginRegisterClass");
        // Two registrations, one lookup; the start entries are not asked again.
        EXPECT_EQ(host.registered.size(), 2u);
        EXPECT_EQ(host.Asked("PluginRegisterClass"), 1);
        bundle.CallWith("REALnewInstance", "NoSuchClass");
        EXPECT_EQ(host.Asked("RegisterPluginVersion"), 1);
        EXPECT_EQ(host.Asked("REALGetRBVersion"), 1);
    }
}

TEST(PluginSupportStart, RegistersRecordsRoundedToSixteen) {
    fake::Host host;
    Bundle bundle(host);
    ASSERT_EQ(host.registered.size(), 2u);
    EXPECT_STREQ(host.registered[0].record->name, probe::kClassName);
    EXPECT_EQ(host.registered[0].dataSizeSeen, 32);  // sizeof(probe::Data) is 24
    EXPECT_STREQ(host.registered[1].record->name, probe::kTwinClassName);
    EXPECT_EQ(host.registered[1].dataSizeSeen, 64);
}

TEST(PluginSupportStart, HostWithoutRegisterClassGetsNothingAndIsAskedForEachClass) {
    fake::Host host;
    host.missing.insert("PluginRegisterClass");
    Bundle bundle(host);
    EXPECT_EQ(bundle.mainResult, 0);
    EXPECT_TRUE(host.registered.empty());
    EXPECT_EQ(host.Asked("PluginRegisterClass"), 2);
}

// The dynamic symbols a shared object defines.
std::set<std::string> DefinedDynamicSymbols(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::set<std::string> names;
    if (image.size() < sizeof(Elf64_Ehdr)) return names;
    auto* header = reinterpret_cast<const Elf64_Ehdr*>(image.data());
    auto* sections = reinterpret_cast<const Elf64_Shdr*>(image.data() + header->e_shoff);
    for (int i = 0; i < header->e_shnum; ++i) {
        if (sections[i].sh_type != SHT_DYNSYM) continue;
        const char* strings = image.data() + sections[sections[i].sh_link].sh_offset;
        auto* symbols = reinterpret_cast<const Elf64_Sym*>(image.data() + sections[i].sh_offset);
        size_t count = sections[i].sh_size / sizeof(Elf64_Sym);
        for (size_t k = 1; k < count; ++k) {
            int binding = ELF64_ST_BIND(symbols[k].st_info);
            if (symbols[k].st_shndx != SHN_UNDEF &&
                (binding == STB_GLOBAL || binding == STB_WEAK)) {
                names.insert(strings + symbols[k].st_name);
            }
        }
    }
    return names;
}

TEST(PluginSupportStart, BundleExportsOnlyItsStartEntry) {
    EXPECT_EQ(DefinedDynamicSymbols(PROBE_BUNDLE_PATH), std::set<std::string>{"REALPluginMain"});
}

}  // namespace
