// Loads bundles first in a short-lived child process, so that one whose loading crashes (its
// linking tables or its own start-up code damaged) is refused instead of taking the program down.
#pragma once

#include <filesystem>
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

}  // namespace rb
