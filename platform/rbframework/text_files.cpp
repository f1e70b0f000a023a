#include "platform/rbframework/text_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSaveFile>
#include <QString>

#include <unicode/utf8.h>

#include <cerrno>
#include <string_view>

namespace rb {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The bytes as a UTF-8 string; each ill-formed sequence becomes U+FFFD, so the string
// functions never meet invalid text.
String decodeUtf8(std::string_view bytes) {
    std::string fixed;
    bool clean = true;
    int64_t i = 0, n = static_cast<int64_t>(bytes.size());
    const char* s = bytes.data();
    while (i < n) {
        int64_t at = i;
        UChar32 c;
        U8_NEXT(s, i, n, c);
        if (c >= 0) {
            if (!clean) fixed.append(s + at, static_cast<size_t>(i - at));
            continue;
        }
        if (clean) {
            clean = false;
            fixed.reserve(bytes.size() + 2);
            fixed.assign(s, static_cast<size_t>(at));
        }
        fixed.append(kReplacement);
    }
    return clean ? String::fromUtf8(bytes) : String::fromUtf8(fixed);
}

}  // namespace

void TextInputStream::start() {
    if (started_) return;
    started_ = true;
    while (buf_.size() < kByteOrderMark.size() && fill()) {
    }
    if (std::string_view(buf_).starts_with(kByteOrderMark)) pos_ = kByteOrderMark.size();
}

bool TextInputStream::fill() {
    if (atEnd_ || fd_ < 0) return false;
    size_t old = buf_.size();
    buf_.resize(old + kChunkSize);
    ssize_t got;
    do {
        got = ::read(fd_, buf_.data() + old, kChunkSize);
    } while (got < 0 && errno == EINTR);
    buf_.resize(old + (got > 0 ? static_cast<size_t>(got) : 0));
    // A read error ends the text like the end of the file: what was read stays readable.
    if (got <= 0) atEnd_ = true;
    return got > 0;
}

bool TextInputStream::EOF_() {
    start();
    if (pos_ < buf_.size()) return false;
    buf_.clear();
    pos_ = 0;
    return !fill();
}

String TextInputStream::ReadLine() {
    start();
    // Consumed bytes go once they fill a chunk, so each byte is moved at most once.
    if (pos_ >= kChunkSize) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    size_t scan = pos_;
    for (;;) {
        size_t end = buf_.find_first_of("\r\n", scan);
        if (end != std::string::npos) {
            size_t next = end + 1;
            if (buf_[end] == '\r') {
                // CR LF may straddle two reads.
                if (next == buf_.size()) fill();
                if (next < buf_.size() && buf_[next] == '\n') ++next;
            }
            String line = decodeUtf8(std::string_view(buf_).substr(pos_, end - pos_));
            pos_ = next;
            return line;
        }
        scan = buf_.size();
        if (!fill()) {
            String line = decodeUtf8(std::string_view(buf_).substr(pos_));
            pos_ = buf_.size();
            return line;
        }
    }
}

void TextInputStream::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    atEnd_ = true;
    buf_.clear();
    buf_.shrink_to_fit();
    pos_ = 0;
}

TextOutputStream::TextOutputStream(std::unique_ptr<QSaveFile> file) : file_(std::move(file)) {}

TextOutputStream::~TextOutputStream() {
    Close();
}

void TextOutputStream::WriteLine(const String& text) {
    if (!file_ || failed_) return;
    pending_ += text.toUtf8();
    pending_.push_back('\n');
    if (pending_.size() >= TextInputStream::kChunkSize) flush();
}

void TextOutputStream::flush() {
    if (pending_.empty() || failed_) return;
    // The file is unbuffered, so a short count here is the system's own: a write that was cut
    // off (a full disk, a size limit) is caught even though it reported no error.
    if (file_->write(pending_.data(), static_cast<qint64>(pending_.size())) !=
        static_cast<qint64>(pending_.size()))
        failed_ = true;
    written_ += static_cast<qint64>(pending_.size());
    pending_.clear();
}

void TextOutputStream::Close() {
    if (!file_) return;
    flush();
    if (!failed_ && file_->size() != written_) failed_ = true;
    // An incomplete file must never replace the old one.
    if (failed_) file_->cancelWriting();
    if (!file_->commit()) failed_ = true;
    file_.reset();
    pending_.clear();
}

Ref<TextInputStream> OpenAsTextFile(const FolderItem& item) {
    // Non-blocking only for the open itself, so a pipe cannot hang it; fstat then turns away
    // everything that is not a regular file.
    int fd = ::open(item.path().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return make<TextInputStream>(fd);
}

Ref<TextOutputStream> CreateTextFile(const FolderItem& item) {
    // Only a regular file is replaced, or a new one made: never what a link points at, nor a
    // device, a pipe or a folder in the file's place.
    struct stat st {};
    if (::lstat(item.path().c_str(), &st) == 0 ? !S_ISREG(st.st_mode) : errno != ENOENT)
        return nullptr;
    auto file = std::make_unique<QSaveFile>(QFile::decodeName(item.path().c_str()));
    // Never fall back to writing the file in place: that could leave it truncated.
    file->setDirectWriteFallback(false);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return nullptr;
    return make<TextOutputStream>(std::move(file));
}

}  // namespace rb
