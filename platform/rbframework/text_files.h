// Text files: reading a file line by line, and writing a new one that replaces the old file
// only once it is complete.
//
// Streams are runtime objects; each closes itself when its last reference goes. The text is
// UTF-8 both ways.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/rbframework/folder_item.h"
#include "platform/rbframework/object.h"
#include "platform/rbframework/rbstring.h"

class QSaveFile;

namespace rb {

class TextInputStream final : public Object {
  public:
    // Bytes asked of the file at a time.
    static constexpr size_t kChunkSize = 64 * 1024;

    // Takes over an open file descriptor.
    explicit TextInputStream(int fd) : fd_(fd) {}

    // True when no byte is left to read (also after Close). EOF is a C macro, hence the name.
    bool EOF_();
    // The next line without its ending; LF, CR and CR LF all end a line, and the last line
    // needs none. Bytes that are not UTF-8 read as U+FFFD each; a leading byte-order mark is
    // skipped. Empty at the end of the file.
    String ReadLine();
    // Releases the file; may be repeated.
    void Close();

  protected:
    ~TextInputStream() override { Close(); }

  private:
    void start();
    // Appends up to one chunk to the buffer; false at the end of the file or on an error.
    bool fill();

    int fd_;
    std::string buf_;
    size_t pos_ = 0;
    bool atEnd_ = false, started_ = false;
};

class TextOutputStream final : public Object {
  public:
    explicit TextOutputStream(std::unique_ptr<QSaveFile> file);

    // Writes the text as UTF-8 followed by LF (held back until a chunk is full or Close).
    void WriteLine(const String& text);
    // Puts the written text in place of the old file in one step. When any write failed (a
    // full disk, a file size limit) or the replacement itself fails, the old file stays as it
    // was. May be repeated.
    void Close();
    // Whether a write or the replacement failed so far.
    bool WriteError() const noexcept { return failed_; }

  protected:
    // A stream dropped without Close is closed here, as the runtime always did: what was
    // written replaces the old file.
    ~TextOutputStream() override;

  private:
    void flush();

    std::unique_ptr<QSaveFile> file_;
    std::string pending_;
    int64_t written_ = 0;
    bool failed_ = false;
};

// A stream on the file; nil when it does not exist, cannot be opened or is no regular file (a
// folder, a device, a pipe). One reference for the caller.
Ref<TextInputStream> OpenAsTextFile(const FolderItem& item);

// A stream that writes a new file of that name, replacing any existing one when it is closed;
// nil when the file cannot be created there (no such folder, no permission, the name is a
// folder). One reference for the caller.
Ref<TextOutputStream> CreateTextFile(const FolderItem& item);

}  // namespace rb
