#include "platform/speechsynthesis/SoundFile.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/speechsynthesis/SpeechSynthesis.h"

namespace vellora::speech {
namespace {

bool EndsWith(const std::string& s, const char* suffix) {
    size_t n = std::char_traits<char>::length(suffix);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

// mkstemp on a hidden name beside `path`; -1 and *err on failure.
int MakeTemporary(const std::string& path, std::string& temporary, OSErr* err) {
    struct stat st;
    if (path.empty() || path.back() == '/' ||
        (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
        *err = kSpeechOutputFileErr;
        return -1;
    }
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    std::vector<char> name(folder.begin(), folder.end());
    std::string tail = "/." + leaf + ".XXXXXX";
    name.insert(name.end(), tail.begin(), tail.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        *err =
            (errno == ENOENT || errno == ENOTDIR) ? OSErr(dirNFErr) : OSErr(kSpeechOutputFileErr);
        return -1;
    }
    temporary = name.data();
    *err = noErr;
    return fd;
}

// The process's file-creation mask, read once as the library loads: reading it means setting
// it, and a file another thread creates in between would get the wrong permissions.
const mode_t kCreationMask = [] {
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}();

}  // namespace

OSErr SoundFile::Probe(const std::string& path) {
    std::string temporary;
    OSErr err;
    int fd = MakeTemporary(path, temporary, &err);
    if (fd < 0) return err;
    close(fd);
    unlink(temporary.c_str());
    return noErr;
}

std::unique_ptr<SoundFile> SoundFile::Create(const std::string& path, int sampleRate, OSErr* err) {
    std::unique_ptr<SoundFile> f(new SoundFile);
    int fd = MakeTemporary(path, f->temporary_, err);
    if (fd < 0) return nullptr;
    f->path_ = path;
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    bool aiff = EndsWith(path, ".aif") || EndsWith(path, ".aiff");
    info.format = (aiff ? SF_FORMAT_AIFF : SF_FORMAT_WAV) | SF_FORMAT_PCM_16;
    f->file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!f->file_) {
        close(fd);
        *err = kSpeechOutputFileErr;
        return nullptr;  // the destructor removes the temporary file
    }
    return f;
}

SoundFile::~SoundFile() {
    if (file_) sf_close(file_);
    if (!committed_ && !temporary_.empty()) unlink(temporary_.c_str());
}

bool SoundFile::write(const int16_t* pcm, size_t frames) {
    return file_ && sf_write_short(file_, pcm, sf_count_t(frames)) == sf_count_t(frames);
}

bool SoundFile::commit() {
    if (!file_) return false;
    bool ok = sf_close(file_) == 0;
    file_ = nullptr;
    // mkstemp made the file private to its owner; give it the usual permissions.
    chmod(temporary_.c_str(), 0666 & ~kCreationMask);
    committed_ = ok && std::rename(temporary_.c_str(), path_.c_str()) == 0;
    return committed_;
}

}  // namespace vellora::speech
