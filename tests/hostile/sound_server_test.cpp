// Only SDL's output may reach the sound system: the synthesizer beneath it must neither connect
// to a sound server nor leave a server's files behind, and a file-size limit (where a sound
// server's client would write its key) must not stop the program at start.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/corefoundation/CoreFoundation.h"
#include "platform/corefoundation/Files.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "tests/support/env.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A sound server's socket that only counts who connects to it.
class FakeSoundServer {
  public:
    explicit FakeSoundServer(const fs::path& path) : path_(path) {
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        listening_ = fd_ >= 0 &&
                     bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     listen(fd_, 8) == 0;
    }
    ~FakeSoundServer() {
        if (fd_ >= 0) close(fd_);
    }
    bool listening() const { return listening_; }
    std::string address() const { return "unix:" + path_.string(); }
    int connections() {
        for (int c; (c = accept(fd_, nullptr, nullptr)) >= 0;) {
            close(c);
            ++connections_;
        }
        return connections_;
    }

  private:
    fs::path path_;
    int fd_ = -1;
    bool listening_ = false;
    int connections_ = 0;
};

// A folder for the test's files, a sound server's socket in it, and an empty settings folder.
class SoundServer : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(temp.path().empty());
        ASSERT_TRUE(server.listening());
        ASSERT_TRUE(fs::create_directory(config));
    }

    vellora_test::TempFolder temp{"vellora-sound"};
    FakeSoundServer server{temp.path() / "native"};
    const fs::path config = temp.path() / "config";
};

TEST_F(SoundServer, SynthesisNeverConnectsToOne) {
    // Read when the synthesizer first starts, which is below.
    vellora_test::ScopedEnv pulse("PULSE_SERVER", server.address());
    vellora_test::ScopedEnv xdg("XDG_CONFIG_HOME", config.string());
    vellora_test::ScopedEnv home("HOME", temp.path().string());

    SpeechChannel channel = nullptr;
    ASSERT_EQ(NewSpeechChannel(nullptr, &channel), noErr);
    const fs::path file = temp.path() / "spoken.wav";
    FSRef folder;
    ASSERT_EQ(FSMakeFSRefFromPath(temp.path().c_str(), &folder), noErr);
    CFURLRef base = CFURLCreateFromFSRef(nullptr, &folder);
    const UniChar leaf[] = {'s', 'p', 'o', 'k', 'e', 'n', '.', 'w', 'a', 'v'};
    CFStringRef name = CFStringCreateWithCharacters(nullptr, leaf, 10);
    CFURLRef url = CFURLCreateCopyAppendingPathComponent(nullptr, base, name, false);
    CFRelease(name);
    CFRelease(base);
    ASSERT_EQ(SetSpeechInfo(channel, kSpeechOutputFileSelector, url), noErr);
    CFRelease(url);
    const char text[] = "Only our own output makes a sound.";
    ASSERT_EQ(SpeakText(channel, text, sizeof text - 1), noErr);
    auto busy = [&] {
        SpeechStatusInfo s{};
        GetSpeechInfo(channel, kSpeechStatusSelector, &s);
        return s.outputBusy != 0;
    };
    EXPECT_TRUE(vellora_test::WaitFor([&] { return !busy(); }));
    ASSERT_EQ(SetSpeechInfo(channel, kSpeechOutputFileSelector, nullptr), noErr);
    // And once onto the device, SDL's silent one here.
    ASSERT_EQ(SpeakText(channel, text, sizeof text - 1), noErr);
    EXPECT_TRUE(vellora_test::WaitFor([&] { return !busy(); }));
    DisposeSpeechChannel(channel);

    std::error_code e;
    EXPECT_GT(fs::file_size(file, e), 10000u) << "nothing was synthesized";
    EXPECT_EQ(server.connections(), 0);
    EXPECT_FALSE(fs::exists(config / "pulse"));
    EXPECT_FALSE(fs::exists(temp.path() / ".pulse"));
}

// Past a few hundred bytes any write kills the program (SIGXFSZ, its default action), as a
// sound server's client writing its key would; the program's own settings still fit.
TEST_F(SoundServer, AFileSizeLimitDoesNotStopTheProgramAtStart) {
    std::ofstream(config / "vellora.txt") << "#InitialLaunch False\n";

    vellora_test::ChildProcess program(VELLORA_PROGRAM,
                                       {{"XDG_CONFIG_HOME", config.string()},
                                        {"HOME", temp.path().string()},
                                        {"PULSE_SERVER", server.address()}},
                                       temp.path() / "stderr.txt", [] {
                                           rlimit limit{200, 200};
                                           setrlimit(RLIMIT_FSIZE, &limit);
                                       });
    ASSERT_TRUE(program.started());
    EXPECT_TRUE(vellora_test::WaitFor(
        [&] { return !program.running() || program.hasThread("SDLAudio"); }, 30s));
    EXPECT_TRUE(program.running()) << "ended at start";
    program.signal(SIGTERM);
    ASSERT_TRUE(program.waitForEnd(15s));
    EXPECT_EQ(program.status(), 0);
    EXPECT_EQ(server.connections(), 0);
    EXPECT_FALSE(fs::exists(config / "pulse"));
}

}  // namespace
