// Type templates: definitions, layout by the 68K rules, and the display of device memory.
#include "quillwatch/engine/debugger/Templates.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/BigEndian.h"
#include "quillwatch/engine/debugger/HandlerSupport.h"
#include "quillwatch/engine/debugger/RemoteCommands.h"
#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/engine/lang/SymbolTable.h"

namespace quillwatch {

namespace {

// The record part shared by templates and fields.
struct TmtPart {
    uint8_t cls;
    uint8_t levels;        // pointer aliases
    uint16_t countOrCode;  // array count, or the primitive type code
    uint16_t displayFlags;
    uint32_t baseRef;  // aliases and fields
};

struct TmtField {
    std::string name;
    TmtPart part;
};

struct TmtRecord {
    std::string name;
    TmtPart part;
    std::vector<TmtField> fields;  // structs
};

constexpr uint16_t kFlagFormatMask = 0x000F;
constexpr uint16_t kFlagCollapse = 0x0010;
constexpr uint16_t kFormatBinary = 5;
constexpr int kMaxResolveSteps = 64;
constexpr int kMaxDepth = 32;

}  // namespace

struct TmtStore {
    std::map<uint32_t, TmtRecord> records;  // by identity
    uint32_t defining = 0;                  // identity of the struct being defined (0: none)
    uint16_t nextUserId = 1;
};

namespace {

TmtStore* PrvStore(DbgContextType* ctx) {
    if (!ctx->templates) ctx->templates = new TmtStore;
    return ctx->templates;
}

TmtRecord* PrvFind(DbgContextType* ctx, uint32_t identity) {
    if (!ctx->templates) return nullptr;
    auto it = ctx->templates->records.find(identity);
    return it == ctx->templates->records.end() ? nullptr : &it->second;
}

const char* const kPrimitiveNames[8] = {nullptr, "Char", "UInt8", "Int8", "UInt16", "Int16", "UInt32", "Int32"};

int PrimitiveBits(uint16_t code) {
    return code <= 3 ? 8 : code <= 5 ? 16 : 32;
}

// Installs a TEMPLATE symbol for the record (replacing a template of that name).
int PrvInstall(DbgContextType* ctx, const char* name, uint16_t module, uint16_t id, TmtRecord record,
               const char* failure) {
    if (SymEntryType* old = SymFindByName(ctx, name)) {
        if (old->kind != tok::TEMPLATE) {
            DbgPrint(ctx, "ERROR: illegal attempt to redefine symbol type.\n");
            return 1;
        }
        SymRemove(ctx, old);
    }
    record.name = name;
    const uint32_t identity = TmtIdentity(module, id);
    PrvStore(ctx)->records[identity] = std::move(record);
    if (SymInstallSymbol(ctx, name, tok::TEMPLATE, module, id, 0, identity, nullptr, nullptr) != 0) {
        ctx->templates->records.erase(identity);
        DbgPrint(ctx, failure);
        return 1;
    }
    return 0;
}

// The existing user template of that name keeps its id; a new one takes the next id.
bool PrvUserId(DbgContextType* ctx, const char* name, uint16_t* id) {
    if (SymEntryType* old = SymFindByName(ctx, name)) {
        if (old->kind == tok::TEMPLATE && old->module == 1) {
            *id = old->id;
            return true;
        }
    }
    *id = PrvStore(ctx)->nextUserId++;
    return true;
}

bool PrvIsPrimitive(DbgContextType* ctx, const char* name) {
    SymEntryType* e = SymFindByName(ctx, name);
    if (!e || e->kind != tok::TEMPLATE) return false;
    TmtRecord* r = PrvFind(ctx, TmtIdentity(e->module, e->id));
    return r && r->part.cls == tmtPrimitive;
}

// The walk over a template that lists it, displays device memory through it, or only sizes it.
class Walker {
  public:
    Walker(DbgContextType* ctx, bool lines, bool values, uint32_t base)
        : ctx_(ctx), lines_(lines), values_(values), base_(base) {}

    // 0, or 1 (or a read's status) after a message.
    uint16_t Run(const TmtPart& part, const std::string& typeName) {
        Item(part, typeName, "", 0, -1, lines_);
        return status_;
    }
    uint32_t Size() const { return bits_ / 8; }

  private:
    bool Failed() const { return status_ != 0; }
    void Fail(const std::string& message, uint16_t status = 1) {
        if (!Failed()) DbgPrint(ctx_, message.c_str());
        status_ = status;
    }

    // Follows plain aliases until a primitive, struct, pointer or array; the original flags stay.
    bool Resolve(TmtPart* part, std::string* typeName) {
        for (int steps = 0; part->cls == tmtPlainAlias; ++steps) {
            TmtRecord* base = PrvFind(ctx_, part->baseRef);
            if (!base) {
                Fail("ERROR in PrvPrettyPrintTemplate: unknown template.\n");
                return false;
            }
            if (steps >= kMaxResolveSteps) {
                Fail("ERROR: circular template definition: " + base->name + "\n");
                return false;
            }
            const uint16_t flags = part->displayFlags;
            const uint32_t ref = part->baseRef;
            *part = base->part;
            part->displayFlags = flags;
            *typeName = base->name;
            if (part->cls == tmtStruct) structIdentity_ = ref;
        }
        return true;
    }
    // 2 when the template starts at an even byte, 1 when any byte will do.
    int Alignment(TmtPart part, int depth) {
        if (depth > kMaxDepth) return 2;
        std::string name;
        uint32_t identity = 0;
        for (int steps = 0; part.cls == tmtPlainAlias && steps < kMaxResolveSteps; ++steps) {
            TmtRecord* base = PrvFind(ctx_, part.baseRef);
            if (!base) return 2;
            identity = part.baseRef;
            part = base->part;
        }
        switch (part.cls) {
            case tmtPrimitive:
                return PrimitiveBits(part.countOrCode) == 8 ? 1 : 2;
            case tmtPointerAlias:
                return 2;
            case tmtArrayAlias:
                return Alignment(TmtPart{tmtPlainAlias, 0, 0, 0, part.baseRef}, depth + 1);
            case tmtStruct: {
                TmtRecord* r = PrvFind(ctx_, identity);
                if (!r) return 2;
                for (const TmtField& f : r->fields) {
                    if (Alignment(f.part, depth + 1) == 2) return 2;
                }
                return 1;
            }
            default:
                return 2;
        }
    }

    void AlignTo(int alignment) {
        bits_ = (bits_ + 7) & ~7u;
        if (alignment == 2) bits_ = (bits_ + 15) & ~15u;
    }

    void Line(int depth, int index, const std::string& typeName, const std::string& fieldName,
              const std::string& value, bool print, bool withAddress = true) {
        if (!print) return;
        char address[16];
        std::snprintf(address, sizeof address, "%08X", base_ + bits_ / 8);
        std::string text = withAddress ? address : std::string(8, ' ');
        text += std::string(2 + std::min(depth, 10) * 2, ' ');
        if (index >= 0) text += "[" + std::to_string(index) + "] ";
        std::string type = typeName;
        if (!fieldName.empty()) {
            if (type.size() < 10) type.resize(10, ' ');
            type += " " + fieldName;
        }
        text += type;
        if (!value.empty()) text += " = " + value;
        DbgPrintf(ctx_, "%s\n", text.c_str());
    }

    std::string PrimitiveValue(uint16_t code, uint16_t flags) {
        const int bytes = PrimitiveBits(code) / 8;
        uint8_t data[4] = {};
        if (uint16_t err = CmdReadRemoteMemCached(ctx_, data, base_ + bits_ / 8, bytes, true)) {
            status_ = err;
            return "";
        }
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v = (v << 8) | data[i];
        char text[64];
        if ((flags & kFlagFormatMask) == kFormatBinary) {
            std::string bin = "%";
            for (int i = 0; i < bytes; ++i) {
                for (int bit = 7; bit >= 0; --bit) {
                    bin += (data[i] >> bit) & 1 ? '1' : '0';
                    if (bit == 4) bin += ' ';
                }
                if (i + 1 < bytes) bin += ' ';
            }
            return bin;
        }
        switch (code) {
            case 1: {
                const auto c = static_cast<unsigned char>(v);
                static const char* const escapes[] = {"\\a", "\\b", "\\t", "\\n", "\\v", "\\f", "\\r"};
                if (c >= 7 && c <= 13) {
                    std::snprintf(text, sizeof text, "'%s'", escapes[c - 7]);
                } else if (c == '\'') {
                    std::snprintf(text, sizeof text, "'\\''");
                } else if (c == '\\') {
                    std::snprintf(text, sizeof text, "'\\\\'");
                } else if (c >= 0x20 && c < 0x7F) {
                    std::snprintf(text, sizeof text, "'%c'", c);
                } else {
                    std::snprintf(text, sizeof text, "'\\%03o'", c);
                }
                return text;
            }
            case 3:
            case 5:
            case 7: {
                const uint32_t signBit = 1u << (bytes * 8 - 1);
                if (v & signBit) {
                    const uint32_t magnitude = (bytes == 4 ? 0u : (1u << (bytes * 8))) - v;
                    std::snprintf(text, sizeof text, "$-%X", magnitude);
                    return text;
                }
                break;
            }
            default:
                break;
        }
        std::snprintf(text, sizeof text, "$%X", v);
        return text;
    }

    void Item(TmtPart part, std::string typeName, const std::string& fieldName, int depth, int index,
              bool print) {
        if (Failed()) return;
        if (depth > kMaxDepth) {
            Fail("ERROR: template nesting is too deep: " + typeName + "\n");
            return;
        }
        structIdentity_ = 0;
        if (!Resolve(&part, &typeName)) return;
        const uint32_t structIdentity = structIdentity_;
        const bool collapse = part.displayFlags & kFlagCollapse;
        switch (part.cls) {
            case tmtPrimitive: {
                const uint16_t code = part.countOrCode;
                if (code < 1 || code > 7) {
                    Fail("ERROR in PrvPrettyPrintPrimitive: unknown primitive type.\n");
                    return;
                }
                AlignTo(PrimitiveBits(code) == 8 ? 1 : 2);
                std::string value;
                if (values_ && print) value = collapse ? "{-}" : PrimitiveValue(code, part.displayFlags);
                if (Failed()) return;
                Line(depth, index, typeName, fieldName, value, print);
                bits_ += PrimitiveBits(code);
                return;
            }
            case tmtPointerAlias: {
                AlignTo(2);
                TmtRecord* base = PrvFind(ctx_, part.baseRef);
                std::string name = (base ? base->name : "?") + std::string(part.levels, '@');
                std::string value;
                if (values_ && print) {
                    uint8_t data[4];
                    if (uint16_t err = CmdReadRemoteMemCached(ctx_, data, base_ + bits_ / 8, 4, true)) {
                        status_ = err;
                        return;
                    }
                    char text[16];
                    std::snprintf(text, sizeof text, "$%08X", vantor::ReadBE32(data));
                    value = collapse ? "{-}" : text;
                }
                Line(depth, index, name, fieldName, value, print);
                bits_ += 32;
                return;
            }
            case tmtStruct: {
                TmtRecord* record = PrvFind(ctx_, structIdentity);
                if (!record) {
                    Fail("ERROR in PrvPrettyPrintTemplate: unknown template.\n");
                    return;
                }
                if (std::find(open_.begin(), open_.end(), structIdentity) != open_.end()) {
                    Fail("ERROR: circular template definition: " + record->name + "\n");
                    return;
                }
                const int alignment = Alignment(TmtPart{tmtPlainAlias, 0, 0, 0, structIdentity}, 0);
                AlignTo(alignment);
                Line(depth, index, typeName.empty() ? "struct" : typeName, fieldName, collapse ? "{-}" : "", print);
                open_.push_back(structIdentity);
                const bool inner = print && !collapse;
                Line(depth + 1, -1, "{", "", "", inner, false);
                for (const TmtField& f : record->fields) {
                    Item(f.part, "", f.name, depth + 1, -1, inner);
                    if (Failed()) return;
                }
                Line(depth + 1, -1, "}", "", "", inner, false);
                open_.pop_back();
                if (alignment == 2) AlignTo(2);
                return;
            }
            case tmtArrayAlias: {
                TmtPart element{tmtPlainAlias, 0, 0, part.displayFlags, part.baseRef};
                TmtRecord* base = PrvFind(ctx_, part.baseRef);
                AlignTo(Alignment(element, 0));
                Line(depth, index, base ? base->name : "?",
                     fieldName + "[" + std::to_string(part.countOrCode) + "]", collapse ? "{-}" : "", print);
                for (int i = 0; i < part.countOrCode && !Failed(); ++i) {
                    Item(element, "", "", depth + 1, i, print && !collapse);
                }
                return;
            }
            default:
                Fail("ERROR in PrvPrettyPrintTemplate: unhandled alias class.\n");
                return;
        }
    }

    DbgContextType* ctx_;
    bool lines_, values_;
    uint32_t base_;
    uint32_t bits_ = 0;
    uint16_t status_ = 0;
    uint32_t structIdentity_ = 0;
    std::vector<uint32_t> open_;  // structs being walked, to stop a struct that contains itself
};

int PrvWalk(DbgContextType* ctx, uint16_t module, uint16_t id, bool lines, bool values, uint32_t address,
            uint32_t* size, const char* unknown) {
    const uint32_t identity = TmtIdentity(module, id);
    TmtRecord* r = PrvFind(ctx, identity);
    if (!r) {
        DbgPrint(ctx, unknown);
        return 1;
    }
    TmtPart top = r->part;
    if (top.cls == tmtStruct) top = TmtPart{tmtPlainAlias, 0, 0, 0, identity};
    // A walk that only sizes the template finds a circular definition before anything is printed.
    Walker sizing(ctx, false, false, address);
    uint16_t status = sizing.Run(top, r->name);
    if (status == 0 && lines) {
        Walker w(ctx, lines, values, address);
        status = w.Run(top, r->name);
    }
    if (size) *size = sizing.Size();
    return status;
}



int PrvDefinePrimitive(DbgContextType* ctx, const char* name, uint16_t code) {
    TmtRecord r{};
    r.part = TmtPart{tmtPrimitive, 0, code, 0, 0};
    return PrvInstall(ctx, name, 0, code, std::move(r),
                      "ERROR in PrvDefinePrimitive: could not create template structures.\n");
}

}  // namespace

int TmtPrimitivesInit(DbgContextType* ctx) {
    for (uint16_t code = 1; code <= 7; ++code) {
        if (PrvDefinePrimitive(ctx, kPrimitiveNames[code], code) != 0) return 1;
    }
    return 0;
}

int TmtBeginDef(DbgContextType* ctx, const char* name, uint16_t module, uint16_t id, uint8_t cls) {
    if (cls != tmtStruct) {
        DbgPrint(ctx, "ERROR in TmtBeginDef: invalid aggregate class.\n");
        return 1;
    }
    TmtStore* store = PrvStore(ctx);
    if (store->defining) {
        store->defining = 0;
        DbgPrint(ctx, "ERROR: nested template definition.\n");
        return 1;
    }
    if (PrvIsPrimitive(ctx, name)) {
        DbgPrint(ctx, "ERROR: illegal attempt to redefine a primitive template.\n");
        return 1;
    }
    TmtRecord r{};
    r.part = TmtPart{tmtStruct, 0, 0, 0, 0};
    if (PrvInstall(ctx, name, module, id, std::move(r), "TmtBeginDef error: could not create template structures.\n"))
        return 1;
    store->defining = TmtIdentity(module, id);
    return 0;
}

int TmtAddField(DbgContextType* ctx, const char* fieldName, uint8_t levels, uint16_t count, uint32_t baseRef,
                uint16_t flags) {
    TmtRecord* s = ctx->templates ? PrvFind(ctx, ctx->templates->defining) : nullptr;
    if (!s) {
        DbgPrint(ctx, "ERROR: field definition outside template block.\n");
        return 1;
    }
    for (const TmtField& f : s->fields) {
        if (KwdNamesEqual(f.name.c_str(), fieldName)) {
            DbgPrintf(ctx, "ERROR: field name is not unique: %s\n", fieldName);
            return 1;
        }
    }
    TmtRecord* base = PrvFind(ctx, baseRef);
    if (!base) {
        DbgPrint(ctx, "TmtAddField error: unknown field base type.\n");
        return 1;
    }
    if (levels == 0 && base->part.cls == tmtStruct && base->fields.empty()) {
        DbgPrintf(ctx, "ERROR: empty base type for: %s\n", fieldName);
        return 1;
    }
    TmtField f;
    f.name = fieldName;
    const uint8_t cls = count ? tmtArrayAlias : levels ? tmtPointerAlias : tmtPlainAlias;
    f.part = TmtPart{cls, levels, count, flags, baseRef};
    s->fields.push_back(std::move(f));
    return 0;
}

int TmtEndDef(DbgContextType* ctx) {
    if (!ctx->templates || !ctx->templates->defining) {
        DbgPrint(ctx, "ERROR: mismatched end of structure.\n");
        return 1;
    }
    ctx->templates->defining = 0;
    return 0;
}

int TmtDefineIndirect(DbgContextType* ctx, const char* name, uint32_t identity, uint8_t levels, uint16_t count,
                      uint32_t baseRef) {
    if (PrvIsPrimitive(ctx, name)) {
        DbgPrint(ctx, "ERROR: illegal attempt to redefine a primitive template.\n");
        return 1;
    }
    if (!PrvFind(ctx, baseRef)) {
        DbgPrint(ctx, "ERROR in TmtDefineIndirect: could not create template structures.\n");
        return 1;
    }
    TmtRecord r{};
    const uint8_t cls = count ? tmtArrayAlias : levels ? tmtPointerAlias : tmtPlainAlias;
    r.part = TmtPart{cls, levels, count, 0, baseRef};
    return PrvInstall(ctx, name, static_cast<uint16_t>(identity & 0xFFFF), static_cast<uint16_t>(identity >> 16),
                      std::move(r), "ERROR in TmtDefineIndirect: could not create template structures.\n");
}

int TmtListTemplate(DbgContextType* ctx, uint16_t module, uint16_t id) {
    uint32_t size = 0;
    if (PrvWalk(ctx, module, id, true, false, 0, &size, "TmtListTemplate error: unknown template.\n")) return 1;
    DbgPrintf(ctx, "Size = %u byte(s)\n", size);
    return 0;
}

int TmtDisplayData(DbgContextType* ctx, uint16_t module, uint16_t id, uint32_t address, uint32_t* size) {
    return PrvWalk(ctx, module, id, true, true, address, size, "ERROR in TmtDisplayData: unknown template.\n");
}

int TmtGetSize(DbgContextType* ctx, uint16_t module, uint16_t id, uint32_t* size) {
    return PrvWalk(ctx, module, id, false, false, 0, size, "ERROR in TmtGetSize: unknown template.\n");
}

void TmtForget(DbgContextType* ctx, uint16_t module, uint16_t id) {
    TmtStore* store = ctx->templates;
    if (!store) return;
    const uint32_t identity = TmtIdentity(module, id);
    store->records.erase(identity);
    if (store->defining == identity) store->defining = 0;
    if (store->records.empty()) {
        delete store;
        ctx->templates = nullptr;
    }
}

int TmtParseFlags(DbgContextType* ctx, const char* text, uint16_t* flags) {
    uint16_t f = 0;
    for (const char* p = text ? text : ""; *p; ++p) {
        uint16_t format = 0;
        switch (*p) {
            case 's':
            case 'S':
                format = 1;
                break;
            case 'c':
            case 'C':
                format = 2;
                break;
            case '$':
                format = 3;
                break;
            case '#':
                format = 4;
                break;
            case '%':
                format = 5;
                break;
            case '-':
                f |= 0x10;
                continue;
            case '>':
                f |= 0x20;
                continue;
            default:
                DbgPrintf(ctx, "ERROR: illegal field flag: '%c'\n", *p);
                return 1;
        }
        f = static_cast<uint16_t>((f & ~kFlagFormatMask) | format);
    }
    *flags = f;
    return 0;
}

// ---- command handlers ----

uint16_t CmdDoBeginStructCmd(DbgContextType* ctx) {
    const char* name = CmdArgString(DbgEvalArg(ctx, 1));
    if (!name) {
        DbgPrint(ctx, "ERROR in CmdDoBeginStructCmd: struct name expected.\n");
        return 1;
    }
    uint16_t id;
    PrvUserId(ctx, name, &id);
    return TmtBeginDef(ctx, name, 1, id, tmtStruct) ? 1 : 0;
}

namespace {

// The arguments of a field or typedef line: template, deref count, name, element count, flags.
struct FieldArgs {
    uint32_t baseRef;
    uint32_t levels;
    const char* name;
    uint32_t count;
    uint16_t flags;
};

bool PrvFieldArgs(DbgContextType* ctx, const char* routine, bool typedefLine, FieldArgs* out) {
    const LexToken* t = DbgEvalArg(ctx, 1);
    auto fail = [&](const char* what) {
        DbgPrintf(ctx, "ERROR in %s: %s expected.\n", routine, what);
        return false;
    };
    if (!t || t->kind != tok::TEMPLATE) return fail(typedefLine ? "template name" : "template");
    out->baseRef = TmtIdentity(t->module, t->id);
    if (!CmdArgNumber(DbgEvalArg(ctx, 2), &out->levels)) return fail("deref count");
    out->name = CmdArgString(DbgEvalArg(ctx, 3));
    if (!out->name) return fail(typedefLine ? "template name" : "field name");
    if (!CmdArgNumber(DbgEvalArg(ctx, 4), &out->count)) return fail("element count");
    const LexToken* flags = DbgEvalArg(ctx, 5);
    if (!flags || flags->kind != tok::FLAGS) return fail("flags");
    if (out->levels > 255 || out->count > 0xFFFF) {
        DbgPrintf(ctx, "ERROR in %s: count out of range.\n", routine);
        return false;
    }
    if (TmtParseFlags(ctx, flags->str, &out->flags)) return false;
    return true;
}

}  // namespace

uint16_t CmdDoDefineFieldCmd(DbgContextType* ctx) {
    FieldArgs a;
    if (!PrvFieldArgs(ctx, "CmdDoDefineFieldCmd", false, &a)) return 1;
    return TmtAddField(ctx, a.name, static_cast<uint8_t>(a.levels), static_cast<uint16_t>(a.count), a.baseRef,
                       a.flags)
               ? 1
               : 0;
}

uint16_t CmdDoTypedefIndirectCmd(DbgContextType* ctx) {
    FieldArgs a;
    if (!PrvFieldArgs(ctx, "CmdDoTypedefIndirectCmd", true, &a)) return 1;
    if (PrvIsPrimitive(ctx, a.name)) {
        DbgPrint(ctx, "ERROR: illegal attempt to redefine a primitive template.\n");
        return 1;
    }
    uint16_t id;
    PrvUserId(ctx, a.name, &id);
    return TmtDefineIndirect(ctx, a.name, TmtIdentity(1, id), static_cast<uint8_t>(a.levels),
                             static_cast<uint16_t>(a.count), a.baseRef)
               ? 1
               : 0;
}

uint16_t CmdDoTypeEndCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"End structure definition block.", "Syntax: %s"};
    if (CmdHandlerStart(ctx, kText)) return 0;
    return TmtEndDef(ctx) ? 1 : 0;
}

uint16_t CmdDoSizeofCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Display template size in bytes.", "Syntax: %s <template>"};
    if (CmdHandlerStart(ctx, kText)) return 0;
    const LexToken* t = DbgEvalArg(ctx, 1);
    if (!t || t->kind != tok::TEMPLATE || DbgEvalArg(ctx, 2)) {
        CmdPrintSyntax(ctx, CmdCommandId(ctx), kText);
        return 1;
    }
    return TmtListTemplate(ctx, t->module, t->id) ? 1 : 0;
}

uint16_t CmdDoAlignCmd(DbgContextType* ctx) {
    static const char* const kListing[] = {
        "s1", "char\tc1: 0", "char\tc2: 1", "size = 2", "",
        "s2", "char\tc1: 0", "char\ta1[1]: 1", "size = 2", "",
        "s3", "char\tc1: 0", "char\ta1[2]: 1", "size = 3", "",
        "s4", "char\tc1: 0", "struct {", "char\tc1: 0", "} sf1: 1", "size = 2", "",
        "s5", "char\tc1: 0", "struct {", "char\ta1[1]: 0", "} sf1: 1", "size = 2", "",
        "s6", "char\tc1: 0", "struct {", "char\ta1[2]: 0", "} sf1: 1", "size = 3", "",
        "s7", "char\tc1: 0", "UInt16\tw1: 2", "size = 4", "",
        "s8", "char\tc1: 0", "UInt32\tdw1: 2", "size = 6", "",
        "s9", "char\tc1: 0", "ac\t\taac[2]: 1", "size = 7", "",
    };
    for (const char* line : kListing) DbgPrintf(ctx, "%s\n", line);
    return 0;
}

}  // namespace quillwatch
