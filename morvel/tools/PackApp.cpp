// morvel-pack: packs a 68K application, linked as a big-endian ELF file with its relocations kept
// (ld --emit-relocs), into a resource database:
//   'code' 1  the .text section (linked at 0; it must need no relocation of its own)
//   'code' 0  the sizes of the globals above and below A5
//   'data' 0  .data compressed in three blocks around A5, then the relocation tables of pointers to
//             globals and of pointers into the code
//   'pref' 0  the stack size at byte 2
// The globals are .got, .data and .bss, in that order. Two data models are packed:
//  - code compiled with -msep-data (C): A5 is the base of the global offset table (.got), through
//    which the code reaches every global and function; each table entry is relocated;
//  - hand-written code: A5 is the symbol "a5base" of .data (without initialised globals, the
//    start of .bss), and the code addresses globals from A5 and code from the PC.
// Any other relocation of the code, or any other section that takes memory, is refused by name.
//
//   morvel-pack [--name NAME] [--type TYPE] [--creator CREATOR] [--stack BYTES]
//               [--resource TYPE ID FILE]... app.elf out.vrx
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
    uint32_t type, flags, addr, offset, size, link, info;
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
        elf.sections.push_back({std::to_string(ReadBE32(s)), ReadBE32(s + 4), ReadBE32(s + 8), ReadBE32(s + 12), ReadBE32(s + 16),
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

constexpr uint32_t kShtRela = 4, kShtRel = 9, kShtNobits = 8, kShfAlloc = 2;
constexpr uint8_t kR68k32 = 1, kR68kPc8 = 6, kR68kPc32 = 4, kR68kGot32O = 10, kR68kGot8O = 12;

std::string RelocationName(uint8_t type) {
    static const char* const names[] = {"R_68K_NONE",   "R_68K_32",     "R_68K_16",      "R_68K_8",
                                        "R_68K_PC32",   "R_68K_PC16",   "R_68K_PC8",     "R_68K_GOT32",
                                        "R_68K_GOT16",  "R_68K_GOT8",   "R_68K_GOT32O",  "R_68K_GOT16O",
                                        "R_68K_GOT8O",  "R_68K_PLT32",  "R_68K_PLT16",   "R_68K_PLT8",
                                        "R_68K_PLT32O", "R_68K_PLT16O", "R_68K_PLT8O",   "R_68K_COPY",
                                        "R_68K_GLOB_DAT", "R_68K_JMP_SLOT", "R_68K_RELATIVE"};
    return type < std::size(names) ? names[type] : "relocation type " + std::to_string(type);
}

// The relocations that apply to a section, by the address they patch, with their types.
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
            out.push_back({ReadBE32(r), static_cast<uint8_t>(ReadBE32(r + 4))});
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
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
    "usage: morvel-pack [--name NAME] [--type TYPE] [--creator CREATOR] [--stack BYTES]\n"
    "                   [--resource TYPE ID FILE]... app.elf out.vrx";
constexpr char kHelp[] =
    "Packs a 68K application into a resource database (.vrx) that Morvel launches.\n"
    "app.elf is a big-endian 68K ELF file linked with ld --emit-relocs: the code at address 0,\n"
    "then the globals: C compiled with -msep-data has its offset table in .got (A5 is its base);\n"
    "hand-written code keeps its initialised globals in .data around the symbol a5base.\n"
    "Zeroed globals go in .bss. morvel/sdk has the start-up code and link script for C.\n"
    "  --name NAME        database name, at most 31 characters (default \"Morvel Test\")\n"
    "  --type TYPE        four-character database type (default appl)\n"
    "  --creator CREATOR  four-character creator (default MvTs)\n"
    "  --stack BYTES      stack size written to 'pref' 0 (default 4096)\n"
    "  --resource TYPE ID FILE\n"
    "                     adds the bytes of FILE as resource TYPE ID (a form 'tFRM', a bitmap\n"
    "                     'Tbmp', ...), as the application's 68K code reads it\n";

int main(int argc, char** argv) {
    std::string name = "Morvel Test", type = "appl", creator = "MvTs";
    uint32_t stack = 4096;
    std::vector<std::string> files;
    std::vector<morvel::tools::Resource> extra;
    auto number = [](const std::string& option, const std::string& v, unsigned long max) {
        char* end = nullptr;
        unsigned long n = std::strtoul(v.c_str(), &end, 0);
        if (v.empty() || *end || v[0] == '-' || n > max) Die(option + " needs a number up to " + std::to_string(max) + ", not " + v);
        return static_cast<uint32_t>(n);
    };
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
        else if (a == "--stack") stack = number(a, value(), 0xFFFFFFFFul);
        else if (a == "--resource") {
            std::string kind = value();
            uint16_t id = static_cast<uint16_t>(number(a + " " + kind, value(), 0xFFFF));
            std::string path = value(), bytes;
            if (kind.size() != 4) Die("--resource needs a four-character type, not " + kind);
            if (!ReadWholeFile(path, &bytes)) Die("cannot read " + path);
            uint32_t code = vantor::FourCC(kind[0], kind[1], kind[2], kind[3]);
            for (const auto& r : extra)
                if (r.type == code && r.id == id) Die("resource " + kind + " " + std::to_string(id) + " is given twice");
            if ((kind == "code" && id <= 1) || ((kind == "data" || kind == "pref") && id == 0))
                Die("resource " + kind + " " + std::to_string(id) + " is made from app.elf");
            extra.push_back({code, id, Bytes(bytes.begin(), bytes.end())});
        } else if (a.size() > 1 && a[0] == '-') Die("unknown option " + a + "\n" + kUsage);
        else files.push_back(a);
    }
    if (files.size() != 2 || type.size() != 4 || creator.size() != 4 || name.size() > 31) Die(kUsage);

    Elf elf = ReadElf(files[0]);
    const Section* text = elf.Find(".text");
    if (!text) Die("the application needs a .text section");
    if (text->addr != 0) Die(".text must be linked at address 0");
    for (const Section& s : elf.sections)
        if ((s.flags & kShfAlloc) && s.size && s.name != ".text" && s.name != ".got" && s.name != ".data" &&
            s.name != ".bss")
            Die("section " + s.name + " cannot be packed: the code and its constants go in .text, the globals in "
                ".got, .data and .bss");
    // The code may only address the code from the PC and the globals from A5.
    for (auto& [at, kind] : Relocations(elf, ".text"))
        if (!(kind >= kR68kPc32 && kind <= kR68kPc8) && !(kind >= kR68kGot32O && kind <= kR68kGot8O))
            Die("the code needs a relocation " + RelocationName(kind) + " at " + Hex(at) +
                ": compile C with -msep-data, or address globals from A5 and code from the PC");

    // The globals: the sections in address order, each placed in one image from the first on.
    const Section* got = elf.Find(".got");
    const Section* data = elf.Find(".data");
    const Section* bss = elf.Find(".bss");
    std::vector<const Section*> parts;
    for (const Section* s : {got, data, bss})
        if (s && s->size) parts.push_back(s);
    uint32_t start = parts.empty() ? 0 : parts.front()->addr, end = start;
    for (const Section* s : parts) {
        if (s->addr < end || s->size > 0xFFFFFFFFu - s->addr) Die("the sections .got, .data and .bss must follow each other");
        end = s->addr + s->size;
    }
    if (end - start > 0x7FFFFFFF) Die("the globals are too large");
    uint32_t a5 = start;
    if (got && got->size) {
        if (!FindSymbol(elf, "_GLOBAL_OFFSET_TABLE_", &a5)) Die("no symbol _GLOBAL_OFFSET_TABLE_ for .got");
    } else if (!FindSymbol(elf, "a5base", &a5) && data && data->size) {
        Die("no symbol a5base: the globals in .data need it");
    }
    if (a5 < start || a5 > end) Die("A5 (a5base or _GLOBAL_OFFSET_TABLE_) must lie in the globals");
    uint32_t below = a5 - start, above = std::max<uint32_t>(end - a5, 4);

    Bytes image;
    for (const Section* s : {got, data}) {
        if (!s || !s->size || s->type == kShtNobits) continue;
        Bytes contents = elf.Contents(*s);
        image.resize(s->addr - start);
        image.insert(image.end(), contents.begin(), contents.end());
    }
    if (image.size() < below) image.resize(below);

    // Pointers in the globals: to globals they are kept relative to A5, into the code as code
    // offsets. Every entry of the offset table is a pointer; a null entry stays null (no function
    // of the application lies at 0, where the start-up code is).
    std::vector<int32_t> dataRelocations, codeRelocations;
    auto relocate = [&](uint32_t at) {
        uint32_t pos = at - start;
        uint32_t target = ReadBE32(&image[pos]);
        if (target >= start && target <= end) {
            vantor::WriteBE32(&image[pos], target - a5);
            dataRelocations.push_back(static_cast<int32_t>(at - a5));
        } else if (target <= text->size) {
            codeRelocations.push_back(static_cast<int32_t>(at - a5));
        } else {
            Die("the pointer at " + Hex(at) + " points neither at the code nor at the globals");
        }
    };
    if (got && got->size)
        for (uint32_t at = got->addr; at + 4 <= got->addr + got->size; at += 4)
            if (ReadBE32(&image[at - start])) relocate(at);
    if (data && data->size)
        for (auto& [at, kind] : Relocations(elf, ".data")) {
            if (kind != kR68k32)
                Die("only 32-bit pointers in the data can be relocated, not " + RelocationName(kind) + " at " +
                    Hex(at));
            if (at < data->addr || at - data->addr > data->size || data->size - (at - data->addr) < 4)
                Die("a relocation lies outside .data");
            relocate(at);
        }
    std::sort(dataRelocations.begin(), dataRelocations.end());
    std::sort(codeRelocations.begin(), codeRelocations.end());

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
    db.resources.insert(db.resources.end(), extra.begin(), extra.end());
    Bytes out = morvel::tools::ResourceDbWrite(db);
    std::ofstream file(files[1], std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    file.close();  // a write that fails only when the buffer goes out must fail the program too
    if (!file) Die("cannot write " + files[1]);
    return 0;
}
