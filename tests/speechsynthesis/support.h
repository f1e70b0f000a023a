// Helpers shared by the speech layer's tests.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "tests/support/wait.h"

namespace speechtest {

// A fresh folder under the system's temporary folder, removed with its files on destruction.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return path_; }
    std::vector<std::string> files() const;  // names of the files in it, sorted

  private:
    std::string path_;
};

// The file URL of `name` in the existing `folder`; the caller releases it.
CFURLRef FileUrl(const std::string& folder, const std::string& name);

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
