// Runs a real program in a process of its own, for tests that start the built binary: its
// environment given, its standard error kept in a file, its end awaited with a bound, and what
// /proc tells about it while it runs.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vellora_test {

class ChildProcess {
  public:
    // Starts `program` with `env` added to (or, with an empty optional, removed from) this
    // process's environment; its standard error goes to `stderrFile`.
    ChildProcess(const std::string& program,
                 const std::map<std::string, std::optional<std::string>>& env,
                 const std::filesystem::path& stderrFile,
                 const std::function<void()>& inChild = {}) {
        pid_ = fork();
        if (pid_ != 0) return;
        for (const auto& [name, value] : env) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        int err = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0) dup2(err, STDERR_FILENO);
        if (inChild) inChild();
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // A child still running when its owner goes is killed, so no test leaves one behind.
    ~ChildProcess() {
        if (running()) {
            kill(pid_, SIGKILL);
            int status;
            waitpid(pid_, &status, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool started() const { return pid_ > 0; }
    // False once it has ended (collecting its status then, so an ended child is never taken
    // for a running one).
    bool running() const {
        if (pid_ <= 0 || ended_) return false;
        int status = 0;
        rusage usage{};
        if (wait4(pid_, &status, WNOHANG, &usage) != pid_) return true;
        ended_ = true;
        status_ = status;
        peakKb_ = usage.ru_maxrss;
        return false;
    }

    void signal(int s) const {
        if (running()) kill(pid_, s);
    }

    // Waits until the child ends or `limit` passes; true once it has ended.
    bool waitForEnd(std::chrono::milliseconds limit) const {
        auto until = std::chrono::steady_clock::now() + limit;
        while (running()) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return ended_;
    }

    // After the end: the exit status, or minus the signal that ended it.
    int status() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -WTERMSIG(status_); }
    bool exited() const { return ended_ && WIFEXITED(status_); }

    // One field of /proc/<pid>/status, as its text ("" once the process is gone).
    std::string statusField(const std::string& name) const {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind(name + ":", 0) == 0) {
                size_t start = line.find_first_not_of(" \t", name.size() + 1);
                return start == std::string::npos ? "" : line.substr(start);
            }
        }
        return "";
    }

    // After the end: the most memory it held at once, in kB.
    int64_t peakResidentKb() const { return peakKb_; }

    // Whether the process has a handler for `s` (it catches it rather than dying of it).
    bool catches(int s) const {
        std::string mask = statusField("SigCgt");
        return !mask.empty() && (std::stoull(mask, nullptr, 16) >> (s - 1) & 1);
    }

    // Whether one of its threads is named with `prefix`.
    bool hasThread(const std::string& prefix) const {
        std::error_code e;
        const std::string tasks = "/proc/" + std::to_string(pid_) + "/task";
        for (const auto& task : std::filesystem::directory_iterator(tasks, e)) {
            std::ifstream comm(task.path() / "comm");
            std::string name;
            if (std::getline(comm, name) && name.rfind(prefix, 0) == 0) return true;
        }
        return false;
    }

  private:
    pid_t pid_ = -1;
    mutable bool ended_ = false;
    mutable int status_ = 0;
    mutable int64_t peakKb_ = 0;
};

}  // namespace vellora_test
