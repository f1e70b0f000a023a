#include "platform/rbframework/bundle_probe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>

#include "platform/rbframework/plugin_host.h"

extern char** environ;

namespace rb {
namespace {

constexpr const char* kProbeName = "vellora-bundle-probe";
// Loading two bundles takes a few milliseconds; a sanitizer build on a loaded machine, far more.
constexpr auto kProbeBound = std::chrono::seconds(20);

// Closes a descriptor on every path out.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};

ProbeResult ReadLine(const std::string& line) {
    if (line == "entry") return {ProbeResult::Kind::Entry, {}};
    if (line == "no entry") return {ProbeResult::Kind::NoEntry, {}};
    if (line.rfind("error ", 0) == 0) return {ProbeResult::Kind::LoadError, line.substr(6)};
    return {ProbeResult::Kind::Died, {}};
}

}  // namespace

std::filesystem::path BundleProbeProgram() {
    std::filesystem::path plugins = PluginHost::pluginFolder();
    if (plugins.empty()) return {};
    // The plug-in folder is plugins/ beside bin/ in the build tree, lib/vellora/plugins/ once
    // installed; the probe is in bin/ or lib/vellora/.
    if (plugins.parent_path().filename() == "vellora") return plugins.parent_path() / kProbeName;
    return plugins.parent_path() / "bin" / kProbeName;
}

std::vector<ProbeResult> ProbeBundles(const std::filesystem::path& program,
                                      const std::vector<std::filesystem::path>& files) {
    if (files.empty()) return {};
    auto unavailable = [&](const std::string& why) {
        return std::vector<ProbeResult>(
            files.size(), {ProbeResult::Kind::Unavailable, program.string() + " " + why});
    };
    if (program.empty() || access(program.c_str(), X_OK) != 0) return unavailable("cannot be run");

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return unavailable("cannot be started");
    Fd readEnd{fds[0]}, writeEnd{fds[1]};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.fd, STDOUT_FILENO);
    // What a damaged bundle makes the linker print is no message of this program.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args{program.string()};
    for (const auto& f : files) args.push_back(f.string());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return unavailable(std::string("cannot be started: ") + std::strerror(spawned));
    close(std::exchange(writeEnd.fd, -1));

    // Lines as they come, until the child ends its output or the bound passes.
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + kProbeBound;
    bool ended = false;
    while (!ended) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{readEnd.fd, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char buffer[4096];
        ssize_t n = read(readEnd.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ended = true;
        } else {
            out.append(buffer, static_cast<size_t>(n));
        }
    }
    if (!ended) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }

    // A line that was written is the bundle's verdict; the first without one killed the child
    // (or hung it), and those after it were never tried.
    std::vector<ProbeResult> results;
    std::istringstream lines(out);
    for (std::string line; results.size() < files.size() && std::getline(lines, line);) {
        if (lines.eof()) break;  // cut off mid-line
        results.push_back(ReadLine(line));
    }
    results.resize(files.size(), {ProbeResult::Kind::Died, {}});
    return results;
}

}  // namespace rb
