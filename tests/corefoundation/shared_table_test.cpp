#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/corefoundation/Files.h"
#include "tests/corefoundation/Helpers.h"
#include "tests/corefoundation/TempFolder.h"

namespace {

using CFSharedTableTest = TempFolderTest;

// A folder id made on one side of a module boundary names the same folder on the other.
TEST_F(CFSharedTableTest, ALoadedModuleSeesTheSameFolderIds) {
    void* probe = dlopen(VELLORA_CF_TABLE_PROBE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(probe, nullptr) << dlerror();
    using MakeSpec = OSErr (*)(const char*, FSSpec*);
    using GetPath = OSErr (*)(const FSSpec*, char*, int32_t);
    auto makeSpec = reinterpret_cast<MakeSpec>(dlsym(probe, "ProbeMakeSpec"));
    auto specPath = reinterpret_cast<GetPath>(dlsym(probe, "ProbeSpecPath"));
    ASSERT_NE(makeSpec, nullptr);
    ASSERT_NE(specPath, nullptr);

    MakeFolder("ours");
    MakeFolder("theirs");
    FSSpec ours;
    ASSERT_EQ(FSMakeFSSpecFromPath(Path("ours/a").c_str(), &ours), noErr);
    char buffer[4096];
    ASSERT_EQ(specPath(&ours, buffer, sizeof buffer), noErr);
    EXPECT_EQ(std::string(buffer), Path("ours/a"));

    FSSpec theirs;
    ASSERT_EQ(makeSpec(Path("theirs/b").c_str(), &theirs), noErr);
    EXPECT_EQ(SpecPath(theirs), Path("theirs/b"));
    dlclose(probe);
}

}  // namespace
