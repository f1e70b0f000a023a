#include "platform/rbframework/bundle_check.h"

#include <elf.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace rb {
namespace {

constexpr uint64_t kLargestBundle = uint64_t(256) << 20;

template <class T>
bool ReadAt(std::ifstream& in, uint64_t offset, T& out) {
    in.seekg(static_cast<std::streamoff>(offset));
    return static_cast<bool>(in.read(reinterpret_cast<char*>(&out), sizeof out));
}

}  // namespace

Damage CheckSharedObject(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return Damage::Unreadable;
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(file, ec);
    if (ec || size < sizeof(Elf64_Ehdr) || size > kLargestBundle) return Damage::Incomplete;
    auto within = [size](uint64_t offset, uint64_t length) {
        return offset <= size && length <= size - offset;
    };

    Elf64_Ehdr header{};
    if (!ReadAt(in, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_type != ET_DYN ||
        header.e_phentsize != sizeof(Elf64_Phdr) || header.e_phnum == 0 ||
        !within(header.e_phoff, uint64_t(header.e_phnum) * sizeof(Elf64_Phdr)) ||
        (header.e_shnum && !within(header.e_shoff, uint64_t(header.e_shnum) * header.e_shentsize)))
        return Damage::Incomplete;
    for (uint16_t i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr p{};
        if (!ReadAt(in, header.e_phoff + i * sizeof(Elf64_Phdr), p)) return Damage::Incomplete;
        if (p.p_type == PT_LOAD && !within(p.p_offset, p.p_filesz)) return Damage::Incomplete;
    }
    return Damage::None;
}

}  // namespace rb
