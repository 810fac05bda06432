// morvel-pack: packs a 68K application, linked as a big-endian ELF file with its relocations kept
// (ld --emit-relocs), into a resource database:
//   'code' 1  the .text section (linked at 0; it must need no relocation of its own)
//   'code' 0  the sizes of the globals above and below A5
//   'data' 0  .data compressed in three blocks around A5, then the relocation tables of pointers to
//             globals and of pointers into the code
//   'pref' 0  the stack size at byte 2
// A5 is the symbol "a5base" of the .data section; .bss lies above it. An application without
// initialised globals needs no a5base: A5 is then the start of .bss (or of an empty globals block).
//
//   morvel-pack [--name NAME] [--type TYPE] [--creator CREATOR] [--stack BYTES] app.elf out.vrx
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/ReadFile.h"
#include "morvel/tools/ResourceDb.h"

namespace {

using vantor::ReadBE16;
using vantor::ReadBE32;
using vantor::ReadWholeFile;
using Bytes = std::vector<uint8_t>;

[[noreturn]] void Die(const std::string& message) {
    std::fprintf(stderr, "morvel-pack: %s\n", message.c_str());
    std::exit(1);
}

// ---- the parts of a big-endian ELF32 file that the packer reads ----

struct Section {
    std::string name;
    uint32_t type, addr, offset, size, link, info;
};

struct Elf {
    Bytes file;
    std::vector<Section> sections;

    const uint8_t* At(uint32_t offset, uint32_t size) const {
        if (offset > file.size() || file.size() - offset < size) Die("ELF file truncated");
        return file.data() + offset;
    }
    const Section* Find(const std::string& name) const {
        for (const Section& s : sections)
            if (s.name == name) return &s;
        return nullptr;
    }
    Bytes Contents(const Section& s) const {
        const uint8_t* p = At(s.offset, s.size);
        return Bytes(p, p + s.size);
    }
};

Elf ReadElf(const std::string& path) {
    Elf elf;
    std::string bytes;
    if (!ReadWholeFile(path, &bytes)) Die("cannot read " + path);
    elf.file.assign(bytes.begin(), bytes.end());
    const uint8_t* h = elf.At(0, 52);
    if (std::memcmp(h, "\x7F" "ELF\x01\x02", 6) != 0 || ReadBE16(h + 18) != 4)
        Die(path + " is not a big-endian 32-bit 68K ELF file");
    uint32_t shoff = ReadBE32(h + 32);
    uint16_t shentsize = ReadBE16(h + 46), shnum = ReadBE16(h + 48), shstrndx = ReadBE16(h + 50);
    if (shentsize < 40 || shstrndx >= shnum) Die("bad section table");
    for (uint16_t i = 0; i < shnum; ++i) {
        const uint8_t* s = elf.At(shoff + i * shentsize, 40);
        elf.sections.push_back({std::to_string(ReadBE32(s)), ReadBE32(s + 4), ReadBE32(s + 12), ReadBE32(s + 16),
                                ReadBE32(s + 20), ReadBE32(s + 24), ReadBE32(s + 28)});
    }
    const Section& names = elf.sections[shstrndx];
    for (Section& s : elf.sections) {
        uint32_t at = static_cast<uint32_t>(std::stoul(s.name));
        if (at >= names.size) Die("bad section name");
        const char* text = reinterpret_cast<const char*>(elf.At(names.offset + at, names.size - at));
        s.name.assign(text, strnlen(text, names.size - at));
    }
    return elf;
}

bool FindSymbol(const Elf& elf, const std::string& name, uint32_t* value) {
    const Section* symtab = elf.Find(".symtab");
    if (!symtab || symtab->link >= elf.sections.size()) return false;
    const Section& strtab = elf.sections[symtab->link];
    for (uint32_t at = 0; at + 16 <= symtab->size; at += 16) {
        const uint8_t* sym = elf.At(symtab->offset + at, 16);
        uint32_t n = ReadBE32(sym);
        if (n >= strtab.size) continue;
        const char* text = reinterpret_cast<const char*>(elf.At(strtab.offset + n, 1));
        if (name == std::string(text, strnlen(text, strtab.size - n))) {
            *value = ReadBE32(sym + 4);
            return true;
        }
    }
    return false;
}

constexpr uint32_t kShtRela = 4, kShtRel = 9;
constexpr uint8_t kR68k32 = 1, kR68k16 = 2, kR68k8 = 3;

// The absolute relocations that apply to a section, by the address they patch.
std::vector<std::pair<uint32_t, uint8_t>> Relocations(const Elf& elf, const std::string& section) {
    std::vector<std::pair<uint32_t, uint8_t>> out;
    uint32_t index = 0;
    for (; index < elf.sections.size(); ++index)
        if (elf.sections[index].name == section) break;
    for (const Section& s : elf.sections) {
        if ((s.type != kShtRela && s.type != kShtRel) || s.info != index) continue;
        uint32_t entry = s.type == kShtRela ? 12 : 8;
        for (uint32_t at = 0; at + entry <= s.size; at += entry) {
            const uint8_t* r = elf.At(s.offset + at, entry);
            uint8_t type = static_cast<uint8_t>(ReadBE32(r + 4));
            if (type == kR68k32 || type == kR68k16 || type == kR68k8) out.push_back({ReadBE32(r), type});
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

// ---- the compressed-block format of 'data' 0 ----

// Appends one block of `bytes` placed at `offset` from A5. The globals start zeroed: runs of zeros
// are skipped, and the 8-byte patterns with zeros in them get their short codes.
void Compress(int32_t offset, const Bytes& bytes, Bytes* out) {
    out->resize(out->size() + 4);
    vantor::WriteBE32(&(*out)[out->size() - 4], static_cast<uint32_t>(offset));
    size_t i = 0, n = bytes.size();
    Bytes literal;
    auto flush = [&] {
        for (size_t at = 0; at < literal.size(); at += 128) {
            size_t chunk = std::min<size_t>(128, literal.size() - at);
            out->push_back(static_cast<uint8_t>(0x80 | (chunk - 1)));
            out->insert(out->end(), literal.begin() + at, literal.begin() + at + chunk);
        }
        literal.clear();
    };
    auto run = [&](uint8_t value) {
        size_t r = 0;
        while (i + r < n && bytes[i + r] == value) ++r;
        return r;
    };
    auto zero = [&](size_t at) { return bytes[i + at] == 0; };
    while (i < n) {
        if (n - i >= 8 && zero(0) && zero(1) && zero(2) && zero(3) && bytes[i + 4] == 0xFF) {
            flush();
            if (bytes[i + 5] == 0xFF) {
                out->insert(out->end(), {1, bytes[i + 6], bytes[i + 7]});
            } else {
                out->insert(out->end(), {2, bytes[i + 5], bytes[i + 6], bytes[i + 7]});
            }
            i += 8;
            continue;
        }
        if (n - i >= 8 && bytes[i] == 0xA9 && bytes[i + 1] == 0xF0 && zero(2) && zero(6)) {
            flush();
            if (zero(3))
                out->insert(out->end(), {3, bytes[i + 4], bytes[i + 5], bytes[i + 7]});
            else
                out->insert(out->end(), {4, bytes[i + 3], bytes[i + 4], bytes[i + 5], bytes[i + 7]});
            i += 8;
            continue;
        }
        uint8_t b = bytes[i];
        size_t r = run(b);
        if (b == 0) {
            flush();
            r = std::min<size_t>(r, 64);
            out->push_back(static_cast<uint8_t>(0x40 | (r - 1)));
        } else if (b == 0xFF) {
            flush();
            r = std::min<size_t>(r, 16);
            out->push_back(static_cast<uint8_t>(0x10 | (r - 1)));
        } else if (r >= 3) {
            flush();
            r = std::min<size_t>(r, 33);
            out->insert(out->end(), {static_cast<uint8_t>(0x20 | (r - 2)), b});
        } else {
            literal.insert(literal.end(), bytes.begin() + i, bytes.begin() + i + r);
        }
        i += r;
    }
    flush();
    out->push_back(0);
}

// Appends a relocation table: offsets from A5, each one byte, two bytes or four bytes.
void RelocationTable(const std::vector<int32_t>& offsets, Bytes* out) {
    size_t at = out->size();
    out->resize(at + 4);
    vantor::WriteBE32(&(*out)[at], static_cast<uint32_t>(offsets.size()));
    int64_t previous = 0;
    for (int32_t offset : offsets) {
        if (offset & 1) Die("a pointer at an odd offset cannot be relocated");
        int64_t delta = (offset - previous) / 2;
        if (delta >= -64 && delta < 64) {
            out->push_back(static_cast<uint8_t>(0x80 | (delta & 0x7F)));
        } else if (delta >= -8192 && delta < 8192) {
            uint16_t v = static_cast<uint16_t>(0x4000 | (delta & 0x3FFF));
            out->insert(out->end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
        } else {
            uint32_t v = static_cast<uint32_t>(offset / 2) & 0x3FFFFFFF;
            out->insert(out->end(), {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                                     static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
        }
        previous = offset;
    }
}

Bytes U32Pair(uint32_t a, uint32_t b) {
    Bytes out(8);
    vantor::WriteBE32(&out[0], a);
    vantor::WriteBE32(&out[4], b);
    return out;
}

}  // namespace

constexpr char kUsage[] =
    "usage: morvel-pack [--name NAME] [--type TYPE] [--creator CREATOR] [--stack BYTES] app.elf out.vrx";
constexpr char kHelp[] =
    "Packs a 68K application into a resource database (.vrx) that Morvel launches.\n"
    "app.elf is a big-endian 68K ELF file linked with ld --emit-relocs: the code at address 0,\n"
    "the initialised globals in .data around the symbol a5base, the zeroed ones in .bss.\n"
    "  --name NAME        database name, at most 31 characters (default \"Morvel Test\")\n"
    "  --type TYPE        four-character database type (default appl)\n"
    "  --creator CREATOR  four-character creator (default MvTs)\n"
    "  --stack BYTES      stack size written to 'pref' 0 (default 4096)\n";

int main(int argc, char** argv) {
    std::string name = "Morvel Test", type = "appl", creator = "MvTs";
    uint32_t stack = 4096;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&] {
            if (i + 1 >= argc) Die(a + " needs a value");
            return std::string(argv[++i]);
        };
        if (a == "--help" || a == "-h") {
            std::printf("%s\n%s", kUsage, kHelp);
            return 0;
        }
        if (a == "--name") name = value();
        else if (a == "--type") type = value();
        else if (a == "--creator") creator = value();
        else if (a == "--stack") {
            std::string v = value();
            char* end = nullptr;
            unsigned long n = std::strtoul(v.c_str(), &end, 0);
            if (v.empty() || *end || v[0] == '-' || n > 0xFFFFFFFFul) Die("--stack needs a number of bytes, not " + v);
            stack = static_cast<uint32_t>(n);
        } else if (a.size() > 1 && a[0] == '-') Die("unknown option " + a + "\n" + kUsage);
        else files.push_back(a);
    }
    if (files.size() != 2 || type.size() != 4 || creator.size() != 4 || name.size() > 31) Die(kUsage);

    Elf elf = ReadElf(files[0]);
    const Section* text = elf.Find(".text");
    const Section* data = elf.Find(".data");
    const Section* bss = elf.Find(".bss");
    if (!text) Die("the application needs a .text section");
    if (text->addr != 0) Die(".text must be linked at address 0");
    auto codeFixes = Relocations(elf, ".text");
    if (!codeFixes.empty())
        Die("the code needs an absolute relocation at " + std::to_string(codeFixes[0].first) +
            ": address globals from A5 and code from the PC");
    // Without .data the globals are .bss alone, with A5 at its start.
    uint32_t dataAddr = data ? data->addr : bss ? bss->addr : 0;
    uint32_t dataSize = data ? data->size : 0;
    uint32_t a5 = dataAddr;
    if (!FindSymbol(elf, "a5base", &a5) && dataSize) Die("no symbol a5base: the globals in .data need it");
    uint32_t end = bss && bss->size ? bss->addr + bss->size : dataAddr + dataSize;
    if (a5 < dataAddr || a5 > dataAddr + dataSize || end < a5) Die("a5base must lie in .data");
    uint32_t below = a5 - dataAddr, above = std::max<uint32_t>(end - a5, 4);

    // Pointers in the data: to globals they are kept relative to A5, into the code as code offsets.
    Bytes image = data ? elf.Contents(*data) : Bytes();
    std::vector<int32_t> dataRelocations, codeRelocations;
    for (auto& [at, kind] : data ? Relocations(elf, ".data") : std::vector<std::pair<uint32_t, uint8_t>>()) {
        if (kind != kR68k32) Die("only 32-bit pointers in the data can be relocated");
        if (at < dataAddr || at - dataAddr > image.size() || image.size() - (at - dataAddr) < 4)
            Die("a relocation lies outside .data");
        uint32_t pos = at - dataAddr;
        uint32_t target = ReadBE32(&image[pos]);
        if (target >= dataAddr && target <= end) {
            vantor::WriteBE32(&image[pos], target - a5);
            dataRelocations.push_back(static_cast<int32_t>(at - a5));
        } else if (target <= text->size) {
            codeRelocations.push_back(static_cast<int32_t>(at - a5));
        } else {
            Die("a pointer in the data points neither at the code nor at the globals");
        }
    }

    Bytes data0(4, 0);
    Compress(-static_cast<int32_t>(below), Bytes(image.begin(), image.begin() + below), &data0);
    Compress(0, Bytes(image.begin() + below, image.end()), &data0);
    Compress(static_cast<int32_t>(image.size() - below), {}, &data0);
    RelocationTable(dataRelocations, &data0);
    RelocationTable(codeRelocations, &data0);

    Bytes pref(10, 0);
    vantor::WriteBE16(&pref[0], 30);
    vantor::WriteBE32(&pref[2], stack);

    morvel::tools::ResourceDb db;
    db.name = name;
    db.type = vantor::FourCC(type[0], type[1], type[2], type[3]);
    db.creator = vantor::FourCC(creator[0], creator[1], creator[2], creator[3]);
    db.resources = {{vantor::FourCC("code"), 0, U32Pair(above, below)},
                    {vantor::FourCC("code"), 1, elf.Contents(*text)},
                    {vantor::FourCC("data"), 0, data0},
                    {vantor::FourCC("pref"), 0, pref}};
    Bytes out = morvel::tools::ResourceDbWrite(db);
    std::ofstream file(files[1], std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    file.close();  // a write that fails only when the buffer goes out must fail the program too
    if (!file) Die("cannot write " + files[1]);
    return 0;
}
