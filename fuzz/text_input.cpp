// TextInputStream line reading on any file: the lines read are the file's lines, each ending
// (LF, CR, CR LF) taken off, ill-formed UTF-8 replaced, a leading byte-order mark skipped.
// The first input byte may put a long first line in front, so that line endings fall on the
// stream's chunk boundary (a CR LF split between two reads).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/rbframework/string_functions.h"
#include "platform/rbframework/text_files.h"

namespace {

std::vector<std::string> expectedLines(std::string_view file) {
    if (file.starts_with("\xEF\xBB\xBF")) file.remove_prefix(3);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < file.size()) {
        size_t end = file.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = file.size();
        lines.push_back(fuzz::lenientUtf8(file.substr(start, end - start)));
        start = end + 1;
        if (end + 1 < file.size() && file[end] == '\r' && file[end + 1] == '\n') ++start;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string file;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    if (!rest.empty() && (rest[0] & 7) == 7) {
        // A first line that ends within 16 bytes either side of the chunk boundary.
        const size_t chunk = rb::TextInputStream::kChunkSize;
        const size_t length = chunk - 16 + (static_cast<unsigned char>(rest[0]) >> 3);
        file.assign(length, 'x');
        rest.remove_prefix(1);
    }
    file.append(rest);
    const auto path = fuzz::tempFolder() / "input.txt";
    fuzz::writeFile(path, file);

    const std::vector<std::string> expected = expectedLines(file);
    rb::Ref<rb::TextInputStream> in = rb::OpenAsTextFile(*rb::make<rb::FolderItem>(path));
    FUZZ_CHECK(in);
    std::vector<std::string> lines;
    while (!in->EOF_()) {
        FUZZ_CHECK(lines.size() < expected.size());
        rb::String line = in->ReadLine();
        FUZZ_CHECK(line.encoding() == rb::encoding::UTF8);
        lines.push_back(std::string(line.bytes()));
    }
    FUZZ_CHECK(lines == expected);
    FUZZ_CHECK(in->ReadLine().empty());
    FUZZ_CHECK(in->EOF_());
    in->Close();
    FUZZ_CHECK(in->EOF_());
    FUZZ_CHECK(in->ReadLine().empty());
    return 0;
}
