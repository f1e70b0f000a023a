// Speech into a sound file: written under a temporary name in the file's folder and renamed
// into place once complete, so that no half-written file is ever left under the real name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/corefoundation/Files.h"

typedef struct sf_private_tag SNDFILE;

namespace vellora::speech {

class SoundFile {
  public:
    // noErr when a file can be created at `path`; dirNFErr when its folder is missing.
    static OSErr Probe(const std::string& path);
    // A new file for `path`, AIFF when it ends in .aif or .aiff, WAV otherwise; null and *err
    // set when it cannot be created.
    static std::unique_ptr<SoundFile> Create(const std::string& path, int sampleRate, OSErr* err);

    ~SoundFile();  // discards the temporary file unless committed
    bool write(const int16_t* pcm, size_t frames);
    bool commit();  // closes the file and gives it its name; false (and nothing left) on failure

  private:
    SoundFile() = default;
    SNDFILE* file_ = nullptr;
    std::string temporary_;
    std::string path_;
    bool committed_ = false;
};

}  // namespace vellora::speech
