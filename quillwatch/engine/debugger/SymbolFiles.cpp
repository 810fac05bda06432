// Symbol files: loading (every offset, count and string of the file is checked against its size),
// source lookup, line addresses, local variables and the dump.
#include "quillwatch/engine/debugger/SymbolFiles.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/BigEndian.h"
#include "quillwatch/engine/debugger/RemoteCommands.h"
#include "quillwatch/engine/debugger/RunControl.h"
#include "quillwatch/link/HostShims.h"

namespace quillwatch {

SymFile* gSymFiles = nullptr;
void (*gSymLocalsHook)(const std::vector<SymLocal>& rows) = nullptr;

namespace {

constexpr const char* kPrefix = "Error: SymFileAdd: ";
constexpr uint16_t kMagic = 0x0150;
constexpr size_t kHeaderSize = 20;
constexpr size_t kSectionsAt = 48;
constexpr size_t kSectionSize = 40;
constexpr size_t kSymbolSize = 18;
constexpr size_t kLineSize = 6;
constexpr uint8_t kClassFile = 103;
constexpr uint8_t kClassExternal = 2;
constexpr uint8_t kClassStatic = 3;
constexpr uint32_t kCodeCheckMs = 10000;
constexpr size_t kMaxName = 2047;

struct BreakpointCache {
    bool valid;
    uint32_t address;
    std::string file, path;
    uint32_t line;
};
BreakpointCache gBreakpointCache[6];

uint32_t NowMs() {
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void PrvClearBreakpointCache() {
    for (auto& c : gBreakpointCache) c = BreakpointCache{};
}

// A NUL-terminated name that lies inside [p, end); false when it runs past the end.
bool PrvBoundedName(const uint8_t* p, const uint8_t* end, size_t limit, std::string* out) {
    const uint8_t* q = p;
    while (q < end && *q && static_cast<size_t>(q - p) < limit) ++q;
    if (q >= end) return false;
    out->assign(reinterpret_cast<const char*>(p), static_cast<size_t>(q - p));
    return true;
}

bool IsFunction(const SymRecord& r) {
    return ((r.type >> 4) & 3) == 2 && (r.storageClass == kClassExternal || r.storageClass == kClassStatic);
}

class Parser {
  public:
    Parser(DbgContextType* ctx, const char* path, const uint8_t* bytes, size_t size)
        : ctx_(ctx), path_(path), b_(bytes), size_(size) {}

    SymFile* Parse(uint32_t codeLoad, uint32_t dataLoad) {
        if (size_ < kSectionsAt + 3 * kSectionSize || vantor::ReadBE16(b_) != kMagic) return Bad("Bad signature");
        auto* f = new SymFile{};
        f->path = path_;
        f->modTime = HostFileModTime(path_);
        f->sectionCount = vantor::ReadBE16(b_ + 2);
        const uint32_t symOffset = vantor::ReadBE32(b_ + 8);
        const uint32_t symCount = vantor::ReadBE32(b_ + 12);
        static const char* const kNames[3] = {".text", ".data", ".bss"};
        uint32_t lineOffset = 0, lineCount = 0;
        for (int i = 0; i < 3; ++i) {
            const uint8_t* s = b_ + kSectionsAt + i * kSectionSize;
            char name[9] = {};
            std::memcpy(name, s, 8);
            if (std::strcmp(name, kNames[i]) != 0) return Bad("Bad section header", f);
            SymSection& sec = f->sections[i];
            std::memcpy(sec.name, name, sizeof sec.name);
            sec.oldAddress = vantor::ReadBE32(s + 8);
            sec.loadAddress = i == 0 ? codeLoad : i == 1 ? dataLoad : 0;
            sec.size = vantor::ReadBE32(s + 16);
            if (i == 0) {
                lineOffset = vantor::ReadBE32(s + 28);
                lineCount = vantor::ReadBE16(s + 34);
            }
        }
        // The line table ends where the symbol table begins; both lie inside the file.
        if (symOffset < lineOffset || (symOffset - lineOffset) / kLineSize != lineCount || symOffset > size_)
            return Bad("Bad line count", f);
        if (symCount > (size_ - symOffset) / kSymbolSize) return Bad("Bad symbol table", f);
        const uint8_t* strings = b_ + symOffset + symCount * kSymbolSize;
        const uint8_t* end = b_ + size_;

        f->lines.reserve(lineCount);
        for (uint32_t i = 0; i < lineCount; ++i) {
            const uint8_t* l = b_ + lineOffset + i * kLineSize;
            f->lines.push_back({vantor::ReadBE32(l), vantor::ReadBE16(l + 4)});
        }

        f->symbols.reserve(symCount);
        for (uint32_t i = 0; i < symCount;) {
            const uint8_t* e = b_ + symOffset + i * kSymbolSize;
            SymRecord r{};
            if (!PrvEntryName(e, strings, end, &r.name)) return Bad("Bad string table", f);
            r.value = vantor::ReadBE32(e + 8);
            r.section = vantor::ReadBE16(e + 12);
            r.type = vantor::ReadBE16(e + 14);
            r.storageClass = e[16];
            const uint8_t aux = e[17];
            f->symbols.push_back(r);
            ++i;
            for (uint8_t a = 0; a < aux && i < symCount; ++a, ++i) {
                const uint8_t* x = b_ + symOffset + i * kSymbolSize;
                SymRecord ar{};
                ar.aux = true;
                if (r.storageClass == kClassFile && a == 0) {
                    // The file symbol's name is the source file of its auxiliary entry.
                    std::string file;
                    if (x[0] == 0) {
                        if (!PrvStringAt(vantor::ReadBE32(x + 4), strings, end, &file)) return Bad("Bad string table", f);
                    } else {
                        file.assign(reinterpret_cast<const char*>(x), strnlen(reinterpret_cast<const char*>(x), kSymbolSize));
                    }
                    f->symbols[f->symbols.size() - 1].name = file;
                } else {
                    ar.tagIndex = vantor::ReadBE32(x);
                    ar.lineNumber = vantor::ReadBE16(x + 4);
                    ar.size = vantor::ReadBE16(x + 6);
                    const uint32_t lnno = vantor::ReadBE32(x + 8);
                    ar.lineIndex = lnno >= lineOffset && lnno < symOffset ? (lnno - lineOffset) / kLineSize + 1 : 0;
                    ar.endIndex = vantor::ReadBE32(x + 12);
                }
                f->symbols.push_back(ar);
            }
        }

        // Line numbers within a function count from its starting line.
        uint32_t base = 0;
        for (SymLine& l : f->lines) {
            if (l.line == 0) {
                const uint32_t fn = l.addressOrIndex;
                base = fn + 1 < f->symbols.size() && f->symbols[fn + 1].aux && f->symbols[fn + 1].lineNumber
                           ? f->symbols[fn + 1].lineNumber - 1u
                           : 0;
            } else {
                l.line += base;
            }
        }
        return f;
    }

  private:
    SymFile* Bad(const char* reason, SymFile* partial = nullptr) {
        delete partial;
        DbgPrintf(ctx_, "%sInvalid symbol file: %s. %s\n", kPrefix, path_, reason);
        return nullptr;
    }
    bool PrvStringAt(uint32_t offset, const uint8_t* strings, const uint8_t* end, std::string* out) {
        if (offset >= static_cast<size_t>(end - strings)) return false;
        return PrvBoundedName(strings + offset, end, kMaxName, out);
    }
    bool PrvEntryName(const uint8_t* e, const uint8_t* strings, const uint8_t* end, std::string* out) {
        if (e[0] == 0 && (e[1] | e[2] | e[3]) == 0) return PrvStringAt(vantor::ReadBE32(e + 4), strings, end, out);
        out->assign(reinterpret_cast<const char*>(e), strnlen(reinterpret_cast<const char*>(e), 8));
        return true;
    }

    DbgContextType* ctx_;
    const char* path_;
    const uint8_t* b_;
    size_t size_;
};

void PrvUnlink(SymFile* f) {
    for (SymFile** p = &gSymFiles; *p; p = &(*p)->next) {
        if (*p == f) {
            *p = f->next;
            break;
        }
    }
    delete f;
    PrvClearBreakpointCache();
}

uint32_t DeviceAddress(const SymFile* f, uint32_t offset) {
    return f->sections[0].loadAddress - f->sections[0].oldAddress + offset;
}

}  // namespace

SymFile* SymFileParse(DbgContextType* ctx, const char* path, const uint8_t* bytes, size_t size, uint32_t codeLoad,
                      uint32_t dataLoad) {
    return Parser(ctx, path, bytes, size).Parse(codeLoad, dataLoad);
}

int SymFileAdd(DbgContextType* ctx, const char* path, uint32_t codeLoad, uint32_t dataLoad) {
    SymFileRemove(path);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        DbgPrintf(ctx, "%sCan't open %s\n", kPrefix, path);
        return 0;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        DbgPrintf(ctx, "%sWhile reading symbol file %s\n", kPrefix, path);
        return 0;
    }
    if (SymFile* f = SymFileParse(ctx, path, bytes.data(), bytes.size(), codeLoad, dataLoad)) {
        f->next = gSymFiles;
        gSymFiles = f;
    }
    return 0;
}

int SymFileRemove(const char* path) {
    for (SymFile* f = gSymFiles; f; f = f->next) {
        if (f->path == path) {
            PrvUnlink(f);
            return 0;
        }
    }
    return -1;
}

void SymFileRemoveAll(DbgContextType* /*ctx*/) {
    while (gSymFiles) PrvUnlink(gSymFiles);
}

int SymFindSrc(DbgContextType* ctx, uint32_t address, SymSource* out) {
    for (SymFile* f = gSymFiles; f;) {
        SymFile* next = f->next;
        // A file changed on disk, or code changed on the device, is dropped.
        if (HostFileModTime(f->path.c_str()) != f->modTime) {
            PrvUnlink(f);
            f = next;
            continue;
        }
        if (ctx->attached && (!f->codeKnown || NowMs() - f->lastCheck >= kCodeCheckMs)) {
            uint8_t code[32];
            if (CmdReadRemoteMemCached(ctx, code, f->sections[0].loadAddress, sizeof code, false) == 0) {
                f->lastCheck = NowMs();
                if (f->codeKnown && std::memcmp(code, f->codeBytes, sizeof code) != 0) {
                    PrvUnlink(f);
                    f = next;
                    continue;
                }
                std::memcpy(f->codeBytes, code, sizeof code);
                f->codeKnown = true;
            }
        }
        const SymSection& text = f->sections[0];
        if (address < text.loadAddress || uint64_t{address} > uint64_t{text.loadAddress} + text.size) {
            f = next;
            continue;
        }
        int64_t function = -1, bestFunction = -1;
        uint32_t bestLine = 0;
        bool found = false;
        for (const SymLine& l : f->lines) {
            if (l.line == 0) {
                if (l.addressOrIndex >= f->symbols.size() || !IsFunction(f->symbols[l.addressOrIndex])) {
                    DbgPrint(ctx, "\nError: SymFindSrc: Unexpected symbol table format");
                    return -1;
                }
                function = l.addressOrIndex;
                continue;
            }
            const uint32_t at = DeviceAddress(f, l.addressOrIndex);
            if (at == address) {
                bestLine = l.line;
                bestFunction = function;
                found = true;
                break;
            }
            if (at > address) {
                if (bestFunction >= 0) found = true;
                break;
            }
            bestLine = l.line;
            bestFunction = function;
        }
        if (!found && bestFunction >= 0) found = true;
        if (!found || bestFunction < 0) {
            f = next;
            continue;
        }
        const SymRecord& fn = f->symbols[bestFunction];
        out->line = bestLine;
        out->symbolIndex = static_cast<uint32_t>(bestFunction);
        out->function = fn.name.substr(0, 63);
        out->offset = address - DeviceAddress(f, fn.value);
        out->path = f->path;
        out->record = f;
        out->file.clear();
        for (int64_t i = bestFunction; i >= 0; --i) {
            if (!f->symbols[i].aux && f->symbols[i].storageClass == kClassFile) {
                out->file = f->symbols[i].name;
                break;
            }
        }
        return 0;
    }
    return -1;
}

int SymFindAddrOfLine(DbgContextType* /*ctx*/, uint32_t* address, uint32_t line, const char* sourceFile,
                      const char* symbolPath) {
    for (const SymFile* f = gSymFiles; f; f = f->next) {
        if (symbolPath && f->path != symbolPath) continue;
        // The functions of the source file are those between its file symbol and the next one.
        std::string file;
        for (size_t li = 0; li < f->lines.size(); ++li) {
            const SymLine& l = f->lines[li];
            if (l.line == 0) {
                file.clear();
                for (int64_t i = l.addressOrIndex; i >= 0 && i < static_cast<int64_t>(f->symbols.size()); --i) {
                    if (!f->symbols[i].aux && f->symbols[i].storageClass == kClassFile) {
                        file = f->symbols[i].name;
                        break;
                    }
                }
                continue;
            }
            if (file == sourceFile && l.line >= line) {
                *address = DeviceAddress(f, l.addressOrIndex);
                return 0;
            }
        }
    }
    return -1;
}

int SymSourceFileAt(DbgContextType* /*ctx*/, const char* symbolPath, uint32_t n, std::string* name) {
    for (const SymFile* f = gSymFiles; f; f = f->next) {
        if (f->path != symbolPath) continue;
        uint32_t k = 0;
        for (const SymRecord& r : f->symbols) {
            if (!r.aux && r.storageClass == kClassFile && k++ == n) {
                *name = r.name.substr(0, 2047);
                return 0;
            }
        }
    }
    return -1;
}

int SymBreakpointSource(DbgContextType* ctx, uint32_t slot, std::string* file, std::string* path, uint32_t* line) {
    if (slot >= 6) return -1;
    BreakpointCache& c = gBreakpointCache[slot];
    const uint32_t address = ctx->breakpoints[slot].address;
    if (!c.valid || c.address != address) {
        SymSource s;
        if (!address || SymFindSrc(ctx, address, &s) != 0) {
            c = BreakpointCache{};
            return -1;
        }
        c = BreakpointCache{true, address, s.file, s.path, s.line};
    }
    *file = c.file;
    *path = c.path;
    *line = c.line;
    return 0;
}

int SymDrawLocalVars(DbgContextType* ctx, uint32_t address, uint32_t framePointer, int64_t symbolIndex,
                     std::vector<SymLocal>* rows) {
    SymSource s;
    if (SymFindSrc(ctx, address, &s) != 0) return -1;
    if (symbolIndex < 0) symbolIndex = s.symbolIndex;
    const SymFile* f = s.record;
    const size_t fn = static_cast<size_t>(symbolIndex);
    if (fn + 1 >= f->symbols.size() || !IsFunction(f->symbols[fn]) || !f->symbols[fn + 1].aux) {
        DbgPrint(ctx, "\nError: SymDrawLocalVars: Unexpected symbol table format");
        return -1;
    }
    const size_t end = std::min<size_t>(f->symbols[fn + 1].endIndex, f->symbols.size());
    rows->clear();
    for (size_t i = fn + 2; i < end; ++i) {
        const SymRecord& r = f->symbols[i];
        if (r.aux) continue;
        uint32_t raw = 0;
        bool readError = false;
        const uint32_t where = framePointer + r.value;
        if (r.storageClass == 1 || r.storageClass == 9) {
            uint8_t bytes[4];
            if (CmdReadRemoteMemCached(ctx, bytes, where, 4, true) != 0) {
                readError = true;
            } else {
                raw = vantor::ReadBE32(bytes);
            }
        } else if (r.storageClass == 4) {
            if (r.value >= 16) continue;
            const uint32_t reg = r.value < 8 ? ctx->regs.d[r.value] : r.value < 15 ? ctx->regs.a[r.value - 8]
                                                                                    : CmdCurrentA7(ctx, &ctx->regs);
            // A register holds the value in its low bits; place it as memory would hold it.
            const uint16_t base = r.type & 0xF;
            const bool derived = r.type > 15;
            raw = derived || base == 5 || base == 15 ? reg
                  : base == 2 || base == 12         ? (reg & 0xFF) << 24
                  : base == 3 || base == 4 || base == 13 || base == 14 ? (reg & 0xFFFF) << 16
                                                                      : reg;
        } else {
            continue;
        }
        char text[32];
        const uint16_t base = r.type & 0xF;
        if (readError) {
            std::snprintf(text, sizeof text, "[read err]");
        } else if (r.type > 15 || base == 5 || base == 15) {
            std::snprintf(text, sizeof text, "0x%08X", raw);
        } else if (base == 2 || base == 12) {
            std::snprintf(text, sizeof text, "0x%02X", raw >> 24);
        } else if (base == 3 || base == 4 || base == 13 || base == 14) {
            std::snprintf(text, sizeof text, "0x%04X", raw >> 16);
        } else {
            std::snprintf(text, sizeof text, "*0x%08X", where);
        }
        rows->push_back({r.name, text});
    }
    return 0;
}

void SymDumpFiles(DbgContextType* ctx, bool all) {
    for (const SymFile* f = gSymFiles; f; f = f->next) {
        DbgPrintf(ctx, "\nName: %s\nNumber of sections: %d\nNumber of symbols: %d\n\nSections:", f->path.c_str(),
                  f->sectionCount, static_cast<int>(f->symbols.size()));
        DbgPrintf(ctx, "\n %3s %16s %8s %8s %8s", "Idx", "Name", "OldVMA", "VMA", "Size");
        for (int i = 0; i < 3; ++i) {
            const SymSection& s = f->sections[i];
            DbgPrintf(ctx, "\n %3d %16s %08X %08X %08X", i, s.name, s.oldAddress, s.loadAddress, s.size);
        }
        DbgPrintf(ctx, "\n\nSymbol Table:\n %-4s %-4s %-8s %-8s   %-8s                  %s", "Idx", "Sec", "Type",
                  "Class", "Value", "Name");
        for (size_t i = 0; i < f->symbols.size(); ++i) {
            const SymRecord& r = f->symbols[i];
            if (r.aux) {
                if (!all) continue;
                DbgPrintf(ctx, "\n %-4d tagidx=%d, lineNo=%d, size=%d, lineNoIdx=%d, endIdx=%d", static_cast<int>(i),
                          r.tagIndex, r.lineNumber, r.size, r.lineIndex, r.endIndex);
                // The function's line entries follow its auxiliary record.
                if (r.lineIndex && i > 0 && IsFunction(f->symbols[i - 1])) {
                    for (size_t l = r.lineIndex; l < f->lines.size() && f->lines[l].line != 0; ++l) {
                        DbgPrintf(ctx, "\n       %4d : 0x%X", f->lines[l].line, f->lines[l].addressOrIndex);
                    }
                }
                continue;
            }
            if (!all && !IsFunction(r) && r.storageClass != kClassFile) continue;
            DbgPrintf(ctx, "\n %-4d %-4d 0x%-6X 0x%-6X 0x%08X                  %s", static_cast<int>(i), r.section,
                      r.type, r.storageClass, r.value, r.name.c_str());
        }
        DbgPrint(ctx, "\n\n\n");
    }
}

}  // namespace quillwatch
