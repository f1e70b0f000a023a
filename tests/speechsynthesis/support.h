// Helpers shared by the speech layer's tests.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"

namespace speechtest {

// A folder of the test's own, removed with what it holds.
struct TempFolder : vellora_test::TempFolder {
    TempFolder() : vellora_test::TempFolder("speech") {}
    std::vector<std::string> files() const;  // names of the files in it, sorted
};

// The file URL of `name` in the existing `folder`; the caller releases it.
CFURLRef FileUrl(const std::filesystem::path& folder, const std::string& name);

SpeechStatusInfo Status(SpeechChannel chan);

using vellora_test::WaitFor;

struct Sound {
    int rate = 0;
    int format = 0;
    std::vector<int16_t> samples;
};
// The sound file at `path` read back; rate 0 when it cannot be read.
Sound ReadSound(const std::string& path);

}  // namespace speechtest
