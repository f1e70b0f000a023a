#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/rbframework/bundle_probe.h"
#include "platform/rbframework/plugin_host.h"
#include "platform/rbframework/rbstring.h"
#include "tests/rbframework/bundles/probe_data.h"
#include "tests/support/env.h"
#include "tests/support/temp_folder.h"

namespace {

using rb::PluginHost;
using rb::String;

class Host : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        PluginHost::instance().loadBundlesFrom(VELLORA_TEST_PLUGIN_DIR, {"probe"});
    }
    void SetUp() override {
        objects_ = rb::Object::liveCount();
        strings_ = String::liveCount();
    }
    void TearDown() override {
        EXPECT_EQ(rb::Object::liveCount(), objects_);
        EXPECT_EQ(String::liveCount(), strings_);
    }
    template <class F>
    static F key(const char* k) {
        return reinterpret_cast<F>(PluginHost::instance().require(k));
    }
    int64_t objects_ = 0, strings_ = 0;
};

TEST_F(Host, BrokenBundlesAreReportedByName) {
    const std::pair<const char*, const char*> cases[] = {
        {"missing", "was not found"},
        {"not_a_library", "could not be loaded"},
        {"no_entry", "has no entry REALPluginMain"},
        {"crashes_on_load", "crashes_on_load.so is damaged."},
        {"start_fails", "could not start: its REALPluginMain reported a failure."},
        {"wrong_version",
         "could not start: it speaks plug-in interface version 8, this program needs 9."},
        {"old_record",
         "could not start: class OldRecord has record version 8, this program "
         "needs 9."},
    };
    for (const auto& [name, why] : cases) {
        try {
            PluginHost::instance().loadBundlesFrom(VELLORA_TEST_PLUGIN_DIR, {name});
            ADD_FAILURE() << name << " loaded";
        } catch (const rb::PluginError& e) {
            std::string what = e.what();
            EXPECT_NE(what.find(std::string("\"") + name + "\""), std::string::npos) << what;
            EXPECT_NE(what.find(why), std::string::npos) << what;
        }
    }
    // The host is still sound afterwards.
    EXPECT_NE(PluginHost::instance().findClass("Probe"), nullptr);
}

// The probe judges each bundle in a child of its own: the one whose loading ended its child died,
// and the others are judged apart from it. Without its program, the probe says so rather than
// passing anything.
TEST_F(Host, TheProbeNamesTheBundleWhoseLoadingEndedIt) {
    using Kind = rb::ProbeResult::Kind;
    const std::filesystem::path dir = VELLORA_TEST_PLUGIN_DIR;
    const std::vector<std::filesystem::path> files = {dir / "probe.so", dir / "no_entry.so",
                                                      dir / "not_a_library.so",
                                                      dir / "crashes_on_load.so", dir / "probe.so"};
    std::vector<rb::ProbeResult> got = rb::ProbeBundles(rb::BundleProbeProgram(), files);
    ASSERT_EQ(got.size(), files.size());
    const Kind expected[] = {Kind::Entry, Kind::NoEntry, Kind::LoadError, Kind::Died, Kind::Entry};
    for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(got[i].kind, expected[i]) << i;
    EXPECT_NE(got[2].reason.find("not_a_library.so"), std::string::npos) << got[2].reason;

    got = rb::ProbeBundles(dir / "no-such-program", {dir / "probe.so"});
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, Kind::Unavailable);
    EXPECT_NE(got[0].reason.find("no-such-program"), std::string::npos);
}

// Checks started early give the same verdicts as the probe program, both as copies of a process
// that runs one thread and through the probe program where it runs more; none is left running.
std::vector<rb::ProbeResult::Kind> EarlyVerdicts(const std::vector<std::filesystem::path>& files,
                                                 bool* childrenLeft) {
    rb::EarlyProbes probes;
    probes.start(rb::BundleProbeProgram(), files);
    std::vector<rb::ProbeResult::Kind> kinds;
    const auto deadline = std::chrono::steady_clock::now() + rb::kProbeBound;
    for (const auto& f : files) {
        std::optional<rb::ProbeResult> r = probes.collect(f, deadline);
        kinds.push_back(r ? r->kind : rb::ProbeResult::Kind::Unavailable);
    }
    probes.clear();
    *childrenLeft = !(waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD);
    return kinds;
}

TEST_F(Host, EarlyChecksJudgeAsTheProbeDoes) {
    using Kind = rb::ProbeResult::Kind;
    const std::filesystem::path dir = VELLORA_TEST_PLUGIN_DIR;
    const std::vector<std::filesystem::path> files = {dir / "probe.so", dir / "no_entry.so",
                                                      dir / "not_a_library.so",
                                                      dir / "crashes_on_load.so"};
    const std::vector<Kind> expected = {Kind::Entry, Kind::NoEntry, Kind::LoadError, Kind::Died};

    // A child of the test runs one thread, whatever the test's own process runs.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    if (pid == 0) {
        bool left = true;
        std::vector<Kind> kinds = EarlyVerdicts(files, &left);
        std::vector<int> out;
        for (Kind k : kinds) out.push_back(static_cast<int>(k));
        out.push_back(left);
        (void)!write(fds[1], out.data(), out.size() * sizeof(int));
        _exit(0);
    }
    close(fds[1]);
    std::vector<int> got(files.size() + 1, -1);
    ASSERT_EQ(read(fds[0], got.data(), got.size() * sizeof(int)),
              static_cast<ssize_t>(got.size() * sizeof(int)));
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(got[i], static_cast<int>(expected[i])) << "one thread: " << files[i];
    EXPECT_EQ(got.back(), 0) << "a child of the early checks was left";

    // With a second thread running, a copy could inherit a lock held by it: the probe program
    // loads the bundles instead.
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread other([&] {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return done; });
    });
    bool left = true;
    EXPECT_EQ(EarlyVerdicts(files, &left), expected);
    EXPECT_FALSE(left);
    {
        std::lock_guard lock(m);
        done = true;
    }
    cv.notify_one();
    other.join();
}

// A bundle changed between its early check and its loading is checked again; one never checked
// early has no verdict to collect.
TEST_F(Host, AnEarlyVerdictIsOnlyOfTheFileAsItWas) {
    vellora_test::TempFolder temp("vellora-early");
    ASSERT_FALSE(temp.path().empty());
    const std::filesystem::path file = temp.path() / "bundle.so";
    std::filesystem::copy_file(VELLORA_TEST_PLUGIN_DIR "/probe.so", file);
    const auto deadline = std::chrono::steady_clock::now() + rb::kProbeBound;

    rb::EarlyProbes probes;
    probes.start(rb::BundleProbeProgram(), {file});
    // Replaced by a bundle that crashes on load, as an update or an attacker might.
    std::filesystem::remove(file);
    std::filesystem::copy_file(VELLORA_TEST_PLUGIN_DIR "/crashes_on_load.so", file);
    EXPECT_FALSE(probes.collect(file, deadline));
    EXPECT_FALSE(probes.collect(temp.path() / "never.so", deadline));

    // Through the host: had it taken the early verdict, loading would have ended the test.
    std::filesystem::remove(file);
    std::filesystem::copy_file(VELLORA_TEST_PLUGIN_DIR "/probe.so", file);
    PluginHost::instance().probeAheadFrom(temp.path(), {"bundle"});
    std::filesystem::remove(file);
    std::filesystem::copy_file(VELLORA_TEST_PLUGIN_DIR "/crashes_on_load.so", file);
    try {
        PluginHost::instance().loadBundlesFrom(temp.path(), {"bundle"});
        ADD_FAILURE() << "the replaced bundle loaded";
    } catch (const rb::PluginError& e) {
        EXPECT_NE(std::string(e.what()).find("is damaged"), std::string::npos) << e.what();
    }
}

// Runs `load` in a child of its own, so that each run starts from a host that has loaded
// nothing yet: 0 when it returned, 1 when it threw PluginError with `expected` in its message.
int LoadInAChild(const std::function<void()>& load, const std::string& expected) {
    pid_t pid = fork();
    if (pid == 0) {
        int code = 0;
        try {
            load();
        } catch (const rb::PluginError& e) {
            code = std::string(e.what()).find(expected) != std::string::npos ? 1 : 2;
        } catch (...) {
            code = 3;
        }
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// A bundle that started cleanly is listed; a later start that finds the same bytes at the same
// place loads it without a check in a child. Other bytes there are checked again (and a
// damaged one refused), and so is every bundle when the list is damaged.
TEST_F(Host, ABundleThatStartedIsCheckedAgainOnlyWhenItChanged) {
    vellora_test::TempFolder temp("vellora-known");
    ASSERT_FALSE(temp.path().empty());
    const std::filesystem::path file = temp.path() / "logged.so";
    const std::filesystem::path list = temp.path() / "cache" / "bundles-checked";
    const std::filesystem::path log = temp.path() / "loads";
    vellora_test::ScopedEnv logTo("VELLORA_TEST_LOAD_LOG", log.string());
    auto put = [&](const char* bundle) {
        std::filesystem::remove(file);
        std::filesystem::copy_file(std::string(VELLORA_TEST_PLUGIN_DIR "/") + bundle, file);
    };
    // How many processes loaded the bundle in one start: the check's child, and the host's.
    auto loadsOfOneStart = [&](int expectedCode = 0, const std::string& message = {}) {
        std::filesystem::remove(log);
        EXPECT_EQ(LoadInAChild(
                      [&] {
                          PluginHost::instance().useKnownGoodList(list);
                          PluginHost::instance().probeAheadFrom(temp.path(), {"logged"});
                          PluginHost::instance().loadBundlesFrom(temp.path(), {"logged"});
                      },
                      message),
                  expectedCode);
        std::ifstream in(log);
        int lines = 0;
        for (std::string line; std::getline(in, line);) ++lines;
        return lines;
    };

    put("logs_its_loading.so");
    EXPECT_EQ(loadsOfOneStart(), 2);  // checked, then loaded
    EXPECT_EQ(loadsOfOneStart(), 1);  // known: loaded only
    EXPECT_EQ(loadsOfOneStart(), 1);

    put("crashes_on_load.so");  // replaced, as an update or an attacker might
    EXPECT_EQ(loadsOfOneStart(1, "is damaged"), 0);
    put("logs_its_loading.so");  // the bytes that started before
    EXPECT_EQ(loadsOfOneStart(), 1);

    for (const char* damaged : {"", "vellora checked bundles 1\n12 zz /x\n",
                                "\x7f"
                                "ELF garbage"}) {
        SCOPED_TRACE(damaged);
        {
            std::ofstream out(list, std::ios::trunc);
            out << damaged;
        }
        EXPECT_EQ(loadsOfOneStart(), 2);
        EXPECT_EQ(loadsOfOneStart(), 1);  // listed again
    }

    // Without a list nothing is known and nothing is written.
    std::filesystem::remove(list);
    std::filesystem::remove(log);
    EXPECT_EQ(LoadInAChild(
                  [&] {
                      PluginHost::instance().useKnownGoodList({});
                      PluginHost::instance().loadBundlesFrom(temp.path(), {"logged"});
                  },
                  {}),
              0);
    EXPECT_FALSE(std::filesystem::exists(list));
}

// A bundle that did not start leaves nothing to bind, even the classes it registered before it
// failed, and fails again with the same message rather than counting as loaded.
TEST_F(Host, ABundleThatDidNotStartLeavesNothingBound) {
    for (const char* name : {"start_fails", "old_record"}) {
        SCOPED_TRACE(name);
        std::string first, again;
        try {
            PluginHost::instance().loadBundlesFrom(VELLORA_TEST_PLUGIN_DIR, {name});
        } catch (const rb::PluginError& e) {
            first = e.what();
        }
        try {
            PluginHost::instance().loadBundlesFrom(VELLORA_TEST_PLUGIN_DIR, {name});
        } catch (const rb::PluginError& e) {
            again = e.what();
        }
        EXPECT_NE(first.find("could not start"), std::string::npos) << first;
        EXPECT_EQ(again, first);
    }
    EXPECT_EQ(PluginHost::instance().findClass("HalfStarted"), nullptr);
    EXPECT_EQ(PluginHost::instance().findClass("SoundRecord"), nullptr);
    EXPECT_EQ(PluginHost::instance().lookup("SoundRecord.__init"), nullptr);
}

// Each refusal says what is wrong with the record, naming its class where it has one.
TEST_F(Host, RefusedRecordsSayWhy) {
    auto record = [](const char* name, uint32_t version) {
        REALclassDefinition r{};
        r.version = version;
        r.name = name;
        return r;
    };
    REALclassDefinition old = record("Aged", 8), nameless = record("", 9),
                        negative = record("Shrunk", 9), noProperties = record("Bare", 9),
                        noMethods = record("Mute", 9), duplicate = record("Probe", 9);
    negative.dataSize = -1;
    noProperties.propertyCount = 2;
    noMethods.methodCount = 1;
    noMethods.methods = nullptr;
    const std::pair<REALclassDefinition*, const char*> cases[] = {
        {nullptr, "a class record is missing"},
        {&old, "class Aged has record version 8, this program needs 9"},
        {&nameless, "a class record has no name"},
        {&negative, "class Shrunk has a negative data size"},
        {&noProperties, "class Bare has a property count without its table"},
        {&noMethods, "class Mute has a method count without its table"},
        {&duplicate, "class Probe is registered already"},
    };
    for (const auto& [r, says] : cases) {
        SCOPED_TRACE(says);
        std::string why;
        EXPECT_FALSE(PluginHost::instance().registerClass(r, &why));
        EXPECT_NE(why.find(says), std::string::npos) << why;
    }
    EXPECT_EQ(PluginHost::instance().findClass("Aged"), nullptr);
}

// Damaged copies of a real bundle: each is refused with the file named, and none takes the
// process down (a truncated library mapped by the loader would, with SIGBUS).
TEST_F(Host, DamagedBundlesAreRefusedNamingTheFile) {
    namespace fs = std::filesystem;
    vellora_test::TempFolder temp("vellora-bundles");
    ASSERT_FALSE(temp.path().empty());
    const fs::path& dir = temp.path();
    std::ifstream in(VELLORA_TEST_PLUGIN_DIR "/probe.so", std::ios::binary);
    const std::string real((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(real.size(), 4096u);
    std::mt19937 random(7);
    std::string noise(real.size(), '\0');
    for (char& c : noise) c = static_cast<char>(random());
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"header_only", real.substr(0, 64)},
        {"truncated_1000", real.substr(0, 1000)},
        {"truncated_half", real.substr(0, real.size() / 2)},
        {"truncated_by_one", real.substr(0, real.size() - 1)},
        {"random_bytes", noise},
        {"elf_magic_then_noise", real.substr(0, 16) + noise.substr(16)},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        fs::path file = dir / (std::string(name) + ".so");
        std::ofstream(file, std::ios::binary) << bytes;
        try {
            PluginHost::instance().loadBundlesFrom(dir, {name});
            ADD_FAILURE() << "loaded";
        } catch (const rb::PluginError& e) {
            std::string what = e.what();
            EXPECT_NE(what.find(file.string()), std::string::npos) << what;
            EXPECT_NE(what.find("not a complete shared library"), std::string::npos) << what;
        }
    }
    fs::create_directory(dir / "a_directory.so");
    EXPECT_THROW(PluginHost::instance().loadBundlesFrom(dir, {"a_directory"}), rb::PluginError);
    EXPECT_NE(PluginHost::instance().findClass("Probe"), nullptr);
}

TEST_F(Host, RefusesDuplicateAndOtherVersionRecords) {
    auto results = key<int32_t (*)(REALobject)>("Probe.RegisterResults as integer");
    EXPECT_EQ(results(nullptr), 0b0001);
    EXPECT_EQ(PluginHost::instance().findClass("OldProbe"), nullptr);
}

TEST_F(Host, PluginFolderIsBesideTheProgramsFolder) {
    auto folder = PluginHost::pluginFolder();
    auto exe = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(folder, exe.parent_path().parent_path() / "plugins");
}

TEST_F(Host, InstancesAreZeroFilledConstructedAndDestroyedOnce) {
    auto destroyed = key<int32_t (*)(REALobject)>("Probe.Destroyed as integer");
    int32_t before = destroyed(nullptr);
    {
        auto obj = PluginHost::instance().newInstance("Probe");
        ASSERT_TRUE(obj);
        EXPECT_EQ(obj->refCount(), 1);
        EXPECT_EQ(obj->record().dataOffset, rb::kPluginDataOffset);
        EXPECT_EQ(obj->record().dataOffset % alignof(std::max_align_t), 0u);
        auto* d = static_cast<ProbeData*>(obj->data());
        EXPECT_EQ(d->count, 7);  // the constructor ran
        EXPECT_EQ(d->name, nullptr);
        EXPECT_EQ(d->other, nullptr);
        EXPECT_FALSE(d->flag);
        EXPECT_EQ(destroyed(nullptr), before);
    }
    EXPECT_EQ(destroyed(nullptr), before + 1);
    EXPECT_FALSE(PluginHost::instance().newInstance("NoSuchClass"));
}

TEST_F(Host, FieldPropertiesAreReadAtHeaderPlusOffset) {
    auto obj = PluginHost::instance().newInstance("Probe");
    REALobject h = obj->handle();
    const int32_t base = static_cast<int32_t>(obj->record().dataOffset);

    EXPECT_EQ(intGetter(h, base + offsetof(ProbeData, count)), 7);
    EXPECT_EQ(stringGetter(h, base + offsetof(ProbeData, name)), nullptr);

    String name("Agnes");
    key<void (*)(REALobject, REALstring)>("Probe.SetName(s as string)")(h, name.handle());
    EXPECT_EQ(name.refCount(), 2);  // the object holds one
    String got = String::adopt(stringGetter(h, base + offsetof(ProbeData, name)));
    EXPECT_EQ(got.toUtf8(), "Agnes");
    EXPECT_EQ(name.refCount(), 3);  // the getter's result carries one for us

    auto other = PluginHost::instance().newInstance("Probe");
    key<void (*)(REALobject, int32_t, REALobject)>("Probe.Other.Set")(h, 0, other->handle());
    EXPECT_EQ(other->refCount(), 2);
    REALobject read = objGetter(h, base + offsetof(ProbeData, other));
    EXPECT_EQ(read, other->handle());
    EXPECT_EQ(other->refCount(), 3);
    reinterpret_cast<rb::Object*>(read)->release();

    static_cast<ProbeData*>(obj->data())->flag = true;
    EXPECT_TRUE(boolGetter(h, base + offsetof(ProbeData, flag)));

    key<void (*)(REALobject, int32_t, int32_t)>("Probe.Twice.Set")(h, 0, 21);
    EXPECT_EQ(key<int32_t (*)(REALobject, int32_t)>("Probe.Twice.Get")(h, 0), 42);
}

TEST_F(Host, KeysFollowTheRecordsRows) {
    PluginHost& host = PluginHost::instance();
    for (const char* k :
         {"Probe.__init", "Probe.__exit", "Probe.Close", "Probe.MakeAnother as Probe",
          "Probe.Other.Set", "Probe.Twice.Get", "Probe.Twice.Set"}) {
        EXPECT_NE(host.lookup(k), nullptr) << k;
    }
    // Standard-field getters and read-only properties have no key; matching is exact.
    for (const char* k :
         {"Probe.Count.Get", "Probe.Name.Get", "Probe.Other.Get", "Probe.Count.Set", "Probe.close",
          "Probe.SetName(s As string)", "Probe.SetName(s as string) "}) {
        EXPECT_EQ(host.lookup(k), nullptr) << k;
    }
    try {
        host.require("Probe.Missing as integer");
        ADD_FAILURE();
    } catch (const rb::PluginError& e) {
        EXPECT_NE(std::string(e.what()).find("\"Probe.Missing as integer\""), std::string::npos);
    }
    String k("Probe.Destroyed as integer");
    EXPECT_EQ(RuntimeLookupPluginEntrypoint(k.handle()), host.lookup("Probe.Destroyed as integer"));
}

int32_t latin1Method(REALobject) {
    return 1;
}

// Declarations are bytes as the bundle wrote them; a UTF-8 key with the same bytes finds one
// even where they are no valid UTF-8, and a key in another encoding is matched as its text.
TEST_F(Host, KeysMatchDeclarationsByteForByte) {
    static REALmethodRecord methods[] = {
        {reinterpret_cast<REALproc>(&latin1Method), nullptr, "Caf\xE9() as integer", 0},
        {reinterpret_cast<REALproc>(&latin1Method), nullptr, "Caf\xC3\xA9() as integer", 0}};
    static REALclassDefinition record = {};
    record.version = kCurrentREALControlVersion;
    record.name = "Latin1Probe";
    record.methods = methods;
    record.methodCount = 2;
    ASSERT_TRUE(PluginHost::instance().registerClass(&record));

    const std::string raw = "Latin1Probe.Caf\xE9() as integer";
    String utf8Tagged = String::fromBytes(raw.data(), raw.size(), rb::encoding::UTF8);
    EXPECT_EQ(RuntimeLookupPluginEntrypoint(utf8Tagged.handle()),
              reinterpret_cast<void*>(&latin1Method));
    const std::string mac = "Latin1Probe.Caf\x8E() as integer";
    String macRoman = String::fromBytes(mac.data(), mac.size(), rb::encoding::MacRoman);
    EXPECT_EQ(RuntimeLookupPluginEntrypoint(macRoman.handle()),
              reinterpret_cast<void*>(&latin1Method));
}

TEST_F(Host, APluginMadeInstanceCarriesOneReference) {
    auto obj = PluginHost::instance().newInstance("Probe");
    REALobject made = key<REALobject (*)(REALobject)>("Probe.MakeAnother as Probe")(obj->handle());
    ASSERT_NE(made, nullptr);
    auto another = rb::Ref<rb::Object>::adopt(reinterpret_cast<rb::Object*>(made));
    EXPECT_EQ(another->refCount(), 1);
}

TEST_F(Host, RuntimeGlobalsDigestAndEncode) {
    auto md5 = key<REALstring (*)(REALstring)>("MD5(data As String) As String");
    auto enc = key<REALstring (*)(REALstring, int32_t)>(
        "EncodeBase64(data As String, lineWrap As Integer = 76) As String");
    auto dec = key<REALstring (*)(REALstring, REALobject)>(
        "DecodeBase64(data As String, encoding as TextEncoding = nil) As String");
    String digest = String::adopt(md5(String("abc").handle()));
    ASSERT_EQ(digest.byteLength(), 16u);
    EXPECT_EQ(static_cast<unsigned char>(digest.bytes()[0]), 0x90);  // 900150983cd24fb0...
    EXPECT_EQ(static_cast<unsigned char>(digest.bytes()[15]), 0x72);

    String b64 = String::adopt(enc(String("user:secret").handle(), 0));
    EXPECT_EQ(b64.toUtf8(), "dXNlcjpzZWNyZXQ=");
    String wrapped = String::adopt(enc(String(std::string(60, 'a')).handle(), 76));
    EXPECT_EQ(wrapped.toUtf8().find("\r\n"), 76u);
    String back = String::adopt(dec(b64.handle(), nullptr));
    EXPECT_EQ(std::string(back.bytes()), "user:secret");
}

TEST_F(Host, EntryTableHasTheSlotsAskedFor) {
    void** table = RuntimeAllocatePluginEntrypointsTable(67);
    ASSERT_NE(table, nullptr);
    for (int i = 0; i < 67; ++i) EXPECT_EQ(table[i], nullptr);
    EXPECT_EQ(RuntimeAllocatePluginEntrypointsTable(0), nullptr);
    delete[] table;
}

}  // namespace
