// Whole files as bytes, for tests that write a file's exact contents and read them back.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vellora_test {

inline void writeBytes(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// Empty when the file cannot be read.
inline std::string readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace vellora_test
