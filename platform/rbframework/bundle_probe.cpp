#include "platform/rbframework/bundle_probe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>

#include "platform/rbframework/bundle_load_verdict.h"
#include "platform/rbframework/plugin_host.h"

extern char** environ;

namespace rb {
namespace {

constexpr const char* kProbeName = "vellora-bundle-probe";

// Closes a descriptor on every path out.
struct Fd {
    explicit Fd(int f = -1) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int fd;
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

namespace {

// One probe child: its pid and the read end of its output.
struct Child {
    pid_t pid = -1;
    Fd out;
};

// Starts `program` on `file`; an empty string when it runs, else why not.
std::string Spawn(const std::filesystem::path& program, const std::filesystem::path& file,
                  Child& child) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return "cannot be started";
    child.out.fd = fds[0];
    Fd writeEnd{fds[1]};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.fd, STDOUT_FILENO);
    // What a damaged bundle makes the linker print is no message of this program.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string args[] = {program.string(), file.string()};
    char* argv[] = {args[0].data(), args[1].data(), nullptr};
    int spawned = posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return std::string("cannot be started: ") + std::strerror(spawned);
    return {};
}

// Whether the calling thread is the process's only one: a copy made by fork then holds no lock
// that another thread held, and may load a library.
bool OnlyThread() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0) return std::atoi(line.c_str() + 8) == 1;
    return false;
}

// Starts a copy of this process that loads `file`; an empty string when it runs, else why not.
std::string Fork(const std::filesystem::path& file, Child& child) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return "cannot be started";
    child.out.fd = fds[0];
    Fd writeEnd{fds[1]};
    const std::string name = file.string();
    child.pid = fork();
    if (child.pid < 0) return std::string("cannot be started: ") + std::strerror(errno);
    if (child.pid == 0) {
        // What a damaged bundle or the linker prints is no message of this program.
        int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        probe::LoadAndSay(writeEnd.fd, name.c_str());
        // Nothing of the program's own is run again in the copy: no exit handlers, no flushing.
        _exit(0);
    }
    return {};
}

// The child's verdict: its line, or Died when it ended (or was ended at `deadline`) without
// writing one.
ProbeResult Collect(Child& child, std::chrono::steady_clock::time_point deadline) {
    std::string out;
    bool ended = false;
    while (!ended) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{child.out.fd, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char buffer[4096];
        ssize_t n = read(child.out.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ended = true;
        } else {
            out.append(buffer, static_cast<size_t>(n));
        }
    }
    if (!ended) kill(child.pid, SIGKILL);
    int status = 0;
    while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    // A line cut off is no verdict.
    size_t end = out.find('\n');
    return end == std::string::npos ? ProbeResult{} : ReadLine(out.substr(0, end));
}

}  // namespace

std::vector<ProbeResult> ProbeBundles(const std::filesystem::path& program,
                                      const std::vector<std::filesystem::path>& files) {
    if (files.empty()) return {};
    if (program.empty() || access(program.c_str(), X_OK) != 0) {
        return std::vector<ProbeResult>(
            files.size(), {ProbeResult::Kind::Unavailable, program.string() + " cannot be run"});
    }
    // One child for each bundle, all at once: each loads the bundle's libraries on its own, so
    // side by side the wait is that of the slowest rather than the sum.
    std::vector<Child> children(files.size());
    std::vector<ProbeResult> results(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        std::string why = Spawn(program, files[i], children[i]);
        if (!why.empty())
            results[i] = {ProbeResult::Kind::Unavailable, program.string() + " " + why};
    }
    const auto deadline = std::chrono::steady_clock::now() + kProbeBound;
    for (size_t i = 0; i < files.size(); ++i)
        if (children[i].pid > 0) results[i] = Collect(children[i], deadline);
    return results;
}

namespace {

bool IdentityOf(const std::filesystem::path& file, EarlyProbes::Identity& id) {
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) return false;
    id = {st.st_dev, st.st_ino, st.st_size, st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
    return true;
}

}  // namespace

void EarlyProbes::start(const std::filesystem::path& program,
                        const std::vector<std::filesystem::path>& files) {
    const bool copies = OnlyThread();
    for (const std::filesystem::path& file : files) {
        Started s;
        if (started_.count(file) || !IdentityOf(file, s.identity)) continue;
        Child child;
        std::string why;
        if (copies) {
            why = Fork(file, child);
        } else if (program.empty() || access(program.c_str(), X_OK) != 0) {
            why = "cannot be run";
        } else {
            why = Spawn(program, file, child);
        }
        // A probe that could not start is made again, the usual way, when the bundle is loaded.
        if (!why.empty()) continue;
        s.pid = child.pid;
        s.out = child.out.fd;
        child.out.fd = -1;
        started_.emplace(file, s);
    }
}

std::optional<ProbeResult> EarlyProbes::collect(const std::filesystem::path& file,
                                                std::chrono::steady_clock::time_point deadline) {
    auto it = started_.find(file);
    if (it == started_.end()) return std::nullopt;
    Started s = it->second;
    started_.erase(it);
    Child child;
    child.pid = s.pid;
    child.out.fd = s.out;
    ProbeResult result = Collect(child, deadline);
    Identity now;
    if (!IdentityOf(file, now) || !(now == s.identity)) return std::nullopt;
    return result;
}

void EarlyProbes::clear() {
    for (auto& [file, s] : started_) {
        Child child;
        child.pid = s.pid;
        child.out.fd = s.out;
        Collect(child, std::chrono::steady_clock::now());  // ended at once, and reaped
    }
    started_.clear();
}

}  // namespace rb
