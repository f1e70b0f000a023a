#include "platform/rbframework/bundle_check.h"

#include <elf.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace rb {
namespace {

constexpr uint64_t kLargestBundle = uint64_t(256) << 20;
constexpr uint64_t kLargestThreadBlock = uint64_t(1) << 20;
// Bounds the walk of hash chains that a damaged table could make circular or overlapping.
constexpr uint64_t kMostChainSteps = uint64_t(1) << 22;

class BundleImage {
  public:
    explicit BundleImage(std::string bytes) : bytes_(std::move(bytes)) {}

    template <class T>
    bool read(uint64_t offset, T& out) const {
        if (offset > bytes_.size() || sizeof(T) > bytes_.size() - offset) return false;
        std::memcpy(&out, bytes_.data() + offset, sizeof(T));
        return true;
    }
    uint64_t size() const { return bytes_.size(); }

    void addSegment(const Elf64_Phdr& p) { loads_.push_back(p); }

    // The file offset of `length` bytes at `address`, when all of them come from the file part
    // of one loaded segment.
    std::optional<uint64_t> at(uint64_t address, uint64_t length) const {
        for (const Elf64_Phdr& p : loads_) {
            if (address < p.p_vaddr || address - p.p_vaddr > p.p_filesz ||
                length > p.p_filesz - (address - p.p_vaddr))
                continue;
            return p.p_offset + (address - p.p_vaddr);
        }
        return std::nullopt;
    }
    // Whether `length` bytes at `address` are mapped with all of `flags` (PF_W, PF_X).
    bool mapped(uint64_t address, uint64_t length, uint32_t flags) const {
        for (const Elf64_Phdr& p : loads_) {
            if (address >= p.p_vaddr && address - p.p_vaddr <= p.p_memsz &&
                length <= p.p_memsz - (address - p.p_vaddr) && (p.p_flags & flags) == flags)
                return true;
        }
        return false;
    }
    template <class T>
    bool readAt(uint64_t address, T& out) const {
        std::optional<uint64_t> offset = at(address, sizeof(T));
        return offset && read(*offset, out);
    }

  private:
    std::string bytes_;
    std::vector<Elf64_Phdr> loads_;
};

// The dynamic linker's view of the bundle: its dynamic section, the tables it names, and every
// relocation, each within the file and of a kind this loader applies.
bool LinkingTablesAreSound(const BundleImage& image, const Elf64_Phdr& dynamic) {
    std::optional<uint64_t> dynamicAt = image.at(dynamic.p_vaddr, dynamic.p_filesz);
    if (!dynamicAt) return false;
    std::map<int64_t, uint64_t> value;
    std::vector<uint64_t> names;     // string-table offsets of needed libraries, paths, soname
    std::vector<uint64_t> neededAt;  // those of the needed libraries (and the soname)
    bool ended = false;
    for (uint64_t i = 0; i < dynamic.p_filesz / sizeof(Elf64_Dyn); ++i) {
        Elf64_Dyn d{};
        if (!image.read(*dynamicAt + i * sizeof d, d)) return false;
        if (d.d_tag == DT_NULL) {
            ended = true;
            break;
        }
        if (d.d_tag == DT_NEEDED || d.d_tag == DT_SONAME || d.d_tag == DT_RPATH ||
            d.d_tag == DT_RUNPATH)
            names.push_back(d.d_un.d_val);
        if (d.d_tag == DT_NEEDED || d.d_tag == DT_SONAME) neededAt.push_back(d.d_un.d_val);
        value[d.d_tag] = d.d_un.d_val;
    }
    if (!ended || value.count(DT_REL)) return false;
    auto has = [&](int64_t tag) { return value.count(tag) > 0; };
    auto get = [&](int64_t tag) { return has(tag) ? value[tag] : 0; };

    // Strings, symbols and the tables of a known size.
    const uint64_t strtab = get(DT_STRTAB), strsz = get(DT_STRSZ);
    std::optional<uint64_t> strings = image.at(strtab, strsz);
    char last = 1;
    if (!has(DT_STRTAB) || !has(DT_SYMTAB) || strsz == 0 || !strings ||
        !image.read(*strings + strsz - 1, last) || last != 0)
        return false;
    for (uint64_t name : names)
        if (name >= strsz) return false;
    // The text at an offset of the string table (which ends in a NUL, checked above).
    auto text = [&](uint64_t offset) {
        std::string s;
        for (char c = 0; image.read(*strings + offset + s.size(), c) && c;) s += c;
        return s;
    };
    std::vector<std::string> needed;
    for (uint64_t at : neededAt) needed.push_back(text(at));
    // The linker reads the entry size of each relocation table it is given.
    if ((has(DT_SYMENT) && get(DT_SYMENT) != sizeof(Elf64_Sym)) ||
        ((has(DT_RELA) || has(DT_RELAENT)) && get(DT_RELAENT) != sizeof(Elf64_Rela)) ||
        ((has(DT_RELR) || has(DT_RELRENT)) && get(DT_RELRENT) != 8) ||
        (has(DT_JMPREL) && get(DT_PLTREL) != DT_RELA))
        return false;
    const std::pair<int64_t, int64_t> sized[] = {{DT_RELA, DT_RELASZ},
                                                 {DT_JMPREL, DT_PLTRELSZ},
                                                 {DT_RELR, DT_RELRSZ},
                                                 {DT_INIT_ARRAY, DT_INIT_ARRAYSZ},
                                                 {DT_FINI_ARRAY, DT_FINI_ARRAYSZ},
                                                 {DT_PREINIT_ARRAY, DT_PREINIT_ARRAYSZ}};
    // The linker reads a table's size wherever the table is named.
    for (auto [table, size] : sized)
        if (has(table) && (!has(size) || !image.at(get(table), get(size)))) return false;
    for (int64_t code : {DT_INIT, DT_FINI})
        if (has(code) && !image.mapped(get(code), 1, PF_X)) return false;

    // Versions: the linker follows the chains of needed and defined versions by their offsets,
    // each to the entry whose offset to the next is 0.
    // The highest version index named decides how many versions the linker records; a symbol's
    // version indexes that record unchecked.
    uint64_t steps = 0, versionsHigh = 0;
    if (has(DT_VERNEED)) {
        for (uint64_t entry = get(DT_VERNEED);;) {
            Elf64_Verneed need{};
            if (++steps > kMostChainSteps || !image.readAt(entry, need) || need.vn_file >= strsz)
                return false;
            // The linker insists that a library versions are needed from is one it loads.
            if (std::find(needed.begin(), needed.end(), text(need.vn_file)) == needed.end())
                return false;
            for (uint64_t aux = entry + need.vn_aux;;) {
                Elf64_Vernaux item{};
                if (++steps > kMostChainSteps || !image.readAt(aux, item) || item.vna_name >= strsz)
                    return false;
                versionsHigh = std::max<uint64_t>(versionsHigh, item.vna_other & 0x7fff);
                if (item.vna_next == 0) break;
                aux += item.vna_next;
            }
            if (need.vn_next == 0) break;
            entry += need.vn_next;
        }
    }
    if (has(DT_VERDEF)) {
        for (uint64_t entry = get(DT_VERDEF);;) {
            Elf64_Verdef def{};
            Elf64_Verdaux name{};
            if (++steps > kMostChainSteps || !image.readAt(entry, def) ||
                !image.readAt(entry + def.vd_aux, name) || name.vda_name >= strsz)
                return false;
            versionsHigh = std::max<uint64_t>(versionsHigh, def.vd_ndx & 0x7fff);
            if (def.vd_next == 0) break;
            entry += def.vd_next;
        }
    }

    // With any version named, the linker reads the symbols' version table without asking.
    if (versionsHigh > 0 && !has(DT_VERSYM)) return false;
    const uint64_t symtab = get(DT_SYMTAB);
    auto symbolIsSound = [&](uint64_t index) {
        Elf64_Sym sym{};
        uint16_t version = 0;
        return image.readAt(symtab + index * sizeof sym, sym) && sym.st_name < strsz &&
               (!has(DT_VERSYM) || (image.readAt(get(DT_VERSYM) + index * 2, version) &&
                                    versionsHigh > 0 && (version & 0x7fffu) <= versionsHigh));
    };

    // Symbol lookup walks the hash tables.
    if (has(DT_GNU_HASH)) {
        const uint64_t hash = get(DT_GNU_HASH);
        uint32_t header[4] = {};
        if (!image.readAt(hash, header)) return false;
        const uint64_t buckets = header[0], first = header[1], bloom = header[2];
        const uint64_t bucketsAt = hash + 16 + bloom * 8, chainsAt = bucketsAt + buckets * 4;
        if (buckets == 0 || bloom == 0 || (bloom & (bloom - 1)) ||
            !image.at(hash, 16 + bloom * 8 + buckets * 4))
            return false;
        uint64_t walked = 0;
        for (uint64_t b = 0; b < buckets; ++b) {
            uint32_t index = 0;
            if (!image.readAt(bucketsAt + b * 4, index)) return false;
            if (index == 0) continue;
            if (index < first) return false;
            for (uint32_t chain = 0;; ++index) {
                if (++walked > kMostChainSteps || !symbolIsSound(index) ||
                    !image.readAt(chainsAt + (uint64_t(index) - first) * 4, chain))
                    return false;
                if (chain & 1) break;
            }
        }
    }
    if (has(DT_HASH)) {
        uint32_t counts[2] = {};
        if (!image.readAt(get(DT_HASH), counts)) return false;
        const uint64_t entries = uint64_t(counts[0]) + counts[1];
        std::optional<uint64_t> table = image.at(get(DT_HASH) + 8, entries * 4);
        if (counts[0] == 0 || !table ||
            (counts[1] && !image.at(symtab, uint64_t(counts[1]) * sizeof(Elf64_Sym))))
            return false;
        for (uint64_t i = 0; i < entries; ++i) {
            uint32_t index = 0;
            if (!image.read(*table + i * 4, index) || index >= counts[1]) return false;
        }
    }

    // Relocations: each writes within the library, and the start-up and exit code it points
    // the linker at is code of the library.
    const bool textRelocations = has(DT_TEXTREL) || (get(DT_FLAGS) & DF_TEXTREL);
    const std::pair<int64_t, int64_t> startup[] = {{DT_INIT_ARRAY, DT_INIT_ARRAYSZ},
                                                   {DT_FINI_ARRAY, DT_FINI_ARRAYSZ},
                                                   {DT_PREINIT_ARRAY, DT_PREINIT_ARRAYSZ}};
    auto startupSlot = [&](uint64_t address) {
        for (auto [table, size] : startup)
            if (has(table) && address >= get(table) && address - get(table) < get(size))
                return true;
        return false;
    };
    std::set<uint64_t> setSlots;
    const uint64_t relativeCount = get(DT_RELACOUNT);
    if (relativeCount > get(DT_RELASZ) / sizeof(Elf64_Rela)) return false;
    const std::pair<int64_t, int64_t> relocationTables[] = {{DT_RELA, DT_RELASZ},
                                                            {DT_JMPREL, DT_PLTRELSZ}};
    for (auto [table, size] : relocationTables) {
        if (!has(table)) continue;
        const uint64_t at = *image.at(get(table), get(size));
        for (uint64_t i = 0; i < get(size) / sizeof(Elf64_Rela); ++i) {
            Elf64_Rela r{};
            if (!image.read(at + i * sizeof r, r)) return false;
            const uint32_t type = ELF64_R_TYPE(r.r_info);
            const uint64_t symbol = ELF64_R_SYM(r.r_info);
            switch (type) {
                case R_X86_64_NONE:
                    continue;
                case R_X86_64_RELATIVE:
                case R_X86_64_IRELATIVE:
                case R_X86_64_64:
                case R_X86_64_GLOB_DAT:
                case R_X86_64_JUMP_SLOT:
                case R_X86_64_DTPMOD64:
                case R_X86_64_DTPOFF64:
                case R_X86_64_TPOFF64:
                case R_X86_64_TLSDESC:
                case R_X86_64_PC32:
                    break;
                default:
                    return false;
            }
            if (table == DT_RELA && i < relativeCount && type != R_X86_64_RELATIVE) return false;
            const uint64_t width = type == R_X86_64_PC32 ? 4 : type == R_X86_64_TLSDESC ? 16 : 8;
            if (!image.mapped(r.r_offset, width, textRelocations ? 0 : PF_W)) return false;
            if (symbol && !symbolIsSound(symbol)) return false;
            const bool slot = startupSlot(r.r_offset);
            if (slot) setSlots.insert(r.r_offset);
            if (((type == R_X86_64_RELATIVE && slot) || type == R_X86_64_IRELATIVE) &&
                !image.mapped(uint64_t(r.r_addend), 1, PF_X))
                return false;
        }
    }
    // Packed relative relocations: an address, then bitmaps of the 63 words after it.
    if (has(DT_RELR)) {
        const uint64_t at = *image.at(get(DT_RELR), get(DT_RELRSZ));
        auto relocate = [&](uint64_t address) {
            if (!image.mapped(address, 8, textRelocations ? 0 : PF_W)) return false;
            if (!startupSlot(address)) return true;
            setSlots.insert(address);
            uint64_t target = 0;
            return image.readAt(address, target) && image.mapped(target, 1, PF_X);
        };
        uint64_t where = 0;
        bool based = false;
        for (uint64_t i = 0; i < get(DT_RELRSZ) / 8; ++i) {
            uint64_t entry = 0;
            if (!image.read(at + i * 8, entry)) return false;
            if ((entry & 1) == 0) {
                if (!relocate(entry)) return false;
                where = entry + 8;
                based = true;
                continue;
            }
            if (!based) return false;
            for (uint64_t bit = 0; (entry >>= 1) != 0; ++bit)
                if ((entry & 1) && !relocate(where + bit * 8)) return false;
            where += 63 * 8;
        }
    }
    // A slot no relocation sets would send the start-up to whatever address the file holds.
    for (auto [table, size] : startup) {
        for (uint64_t slot = 0; has(table) && slot < get(size) / 8; ++slot)
            if (!setSlots.count(get(table) + slot * 8)) return false;
    }
    return true;
}

}  // namespace

Damage CheckSharedObject(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return Damage::Unreadable;
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(file, ec);
    if (ec || size < sizeof(Elf64_Ehdr) || size > kLargestBundle) return Damage::Incomplete;
    std::string bytes(size, '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(size))) return Damage::Incomplete;
    BundleImage image(std::move(bytes));

    Elf64_Ehdr header{};
    image.read(0, header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_type != ET_DYN ||
        header.e_phentsize != sizeof(Elf64_Phdr) || header.e_phnum == 0)
        return Damage::Incomplete;
    auto within = [size](uint64_t offset, uint64_t length) {
        return offset <= size && length <= size - offset;
    };
    if (!within(header.e_phoff, uint64_t(header.e_phnum) * sizeof(Elf64_Phdr)))
        return Damage::Incomplete;
    if (header.e_shnum && !within(header.e_shoff, uint64_t(header.e_shnum) * header.e_shentsize))
        return Damage::Incomplete;
    std::vector<Elf64_Phdr> segments(header.e_phnum);
    uint64_t loadEnd = 0;
    for (uint16_t i = 0; i < header.e_phnum; ++i) {
        image.read(header.e_phoff + i * sizeof(Elf64_Phdr), segments[i]);
        const Elf64_Phdr& p = segments[i];
        if (p.p_type != PT_LOAD) continue;
        if (!within(p.p_offset, p.p_filesz)) return Damage::Incomplete;
        if (p.p_filesz > p.p_memsz || p.p_vaddr > UINT64_MAX - p.p_memsz) return Damage::Tables;
        // The linker reserves the span from the first segment to the end of the last, and maps
        // each segment at its place in it: out of order, one would land on other mappings.
        if (loadEnd && p.p_vaddr < loadEnd) return Damage::Tables;
        loadEnd = std::max<uint64_t>(p.p_vaddr + p.p_memsz, 1);
        image.addSegment(p);
    }
    int dynamicSections = 0, threadBlocks = 0;
    for (const Elf64_Phdr& p : segments) {
        switch (p.p_type) {
            case PT_DYNAMIC:
                if (++dynamicSections > 1 || !LinkingTablesAreSound(image, p))
                    return Damage::Tables;
                break;
            // Read in place by the linker.
            case PT_NOTE:
            case PT_GNU_PROPERTY:
                if (!image.at(p.p_vaddr, p.p_filesz)) return Damage::Tables;
                break;
            // Copied into each thread's block, of a size and alignment the linker takes as given.
            case PT_TLS:
                if (++threadBlocks > 1 || !image.at(p.p_vaddr, p.p_filesz) ||
                    p.p_filesz > p.p_memsz || p.p_memsz > kLargestThreadBlock ||
                    p.p_align > kLargestThreadBlock || (p.p_align & (p.p_align - 1)))
                    return Damage::Tables;
                break;
            default:
                break;
        }
    }
    return dynamicSections == 1 ? Damage::None : Damage::Tables;
}

}  // namespace rb
