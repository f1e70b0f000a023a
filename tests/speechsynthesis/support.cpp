#include "support.h"

#include <sndfile.h>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

namespace speechtest {

std::vector<std::string> TempFolder::files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

CFURLRef FileUrl(const std::filesystem::path& folder, const std::string& name) {
    FSRef ref;
    if (FSMakeFSRefFromPath(folder.string().c_str(), &ref) != noErr) return nullptr;
    CFURLRef base = CFURLCreateFromFSRef(nullptr, &ref);
    std::vector<UniChar> units(name.begin(), name.end());  // ASCII names only
    CFStringRef leaf = CFStringCreateWithCharacters(nullptr, units.data(), CFIndex(units.size()));
    CFURLRef url = CFURLCreateCopyAppendingPathComponent(nullptr, base, leaf, false);
    CFRelease(leaf);
    CFRelease(base);
    return url;
}

SpeechStatusInfo Status(SpeechChannel chan) {
    SpeechStatusInfo status{};
    EXPECT_EQ(GetSpeechInfo(chan, kSpeechStatusSelector, &status), noErr);
    return status;
}

Sound ReadSound(const std::string& path) {
    Sound sound;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return sound;
    sound.rate = info.samplerate;
    sound.format = info.format & SF_FORMAT_TYPEMASK;
    sound.samples.resize(size_t(info.frames) * size_t(info.channels));
    sf_read_short(f, sound.samples.data(), sf_count_t(sound.samples.size()));
    sf_close(f);
    return sound;
}

}  // namespace speechtest
