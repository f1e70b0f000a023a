// Loads bundles first in a short-lived child process, so that one whose loading crashes (its
// linking tables or its own start-up code damaged) is refused instead of taking the program down.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace rb {

struct ProbeResult {
    enum class Kind {
        Entry,        // loads and exports REALPluginMain
        NoEntry,      // loads, without the start entry
        LoadError,    // the dynamic linker refused it; `reason` says why
        Died,         // loading it ended the child, or it did not report in time
        Unavailable,  // the probe program could not be started; `reason` says why
    };
    Kind kind = Kind::Died;
    std::string reason;
};

// The probe program: beside the program in the build tree (bin/), in lib/vellora/ once
// installed, like the plug-in folder.
std::filesystem::path BundleProbeProgram();

// Loads each of `files` in a child of its own running `program`, all at once, and returns one
// result for each. Ends within a bound even when a bundle's start-up code never returns.
std::vector<ProbeResult> ProbeBundles(const std::filesystem::path& program,
                                      const std::vector<std::filesystem::path>& files);

// How long a probe may take before its bundle counts as one that never returns.
constexpr std::chrono::seconds kProbeBound{20};

// Probes started early and collected when the bundles are loaded, so that they run while the
// rest of start-up does. Used from one thread at a time.
class EarlyProbes {
  public:
    EarlyProbes() = default;
    EarlyProbes(EarlyProbes&& other) noexcept : started_(std::move(other.started_)) {
        other.started_.clear();
    }
    EarlyProbes& operator=(EarlyProbes&& other) noexcept {
        if (this != &other) {
            clear();
            started_ = std::move(other.started_);
            other.started_.clear();
        }
        return *this;
    }
    // Ends and reaps every child not collected.
    ~EarlyProbes() { clear(); }

    // Starts one child loading each of `files`. While this process runs no thread but the
    // calling one, each child is a copy of it (fork without exec), which loads the bundle beside
    // the libraries the program has loaded already: far faster than starting `program`, whose
    // dynamic linking repeats all of theirs. Otherwise `program` runs, as in ProbeBundles.
    void start(const std::filesystem::path& program,
               const std::vector<std::filesystem::path>& files);

    // The verdict on `file`, waited for until `deadline` at most. Nothing when no probe of it
    // was started, or when the file was changed since (its device, inode, size or change time
    // differ): that verdict would not be of the file the host is about to load.
    std::optional<ProbeResult> collect(const std::filesystem::path& file,
                                       std::chrono::steady_clock::time_point deadline);

    // Ends and reaps every child not collected.
    void clear();

    // A file's identity when its probe started.
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long changedSec = 0, changedNsec = 0;
        bool operator==(const Identity&) const = default;
    };

  private:
    struct Started {
        pid_t pid = -1;
        int out = -1;  // the read end of the child's output
        Identity identity;
    };
    std::map<std::filesystem::path, Started> started_;
};

}  // namespace rb
