// The scanner of the command language, variables and aliases.
#include "quillwatch/engine/lang/Lexer.h"

#include <cstdio>
#include <cstring>

#include "quillwatch/engine/lang/LangServices.h"
#include "quillwatch/engine/lang/CommandModules.h"
#include "quillwatch/engine/lang/SymbolTable.h"

namespace quillwatch {

namespace {

constexpr int kMaxText = 256;  // longest string, flags word or name

bool IsBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsLetter(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(int c) {
    return c >= '0' && c <= '9';
}
bool IsHexDigit(int c) {
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
bool IsOctDigit(int c) {
    return c >= '0' && c <= '7';
}
bool IsNameChar(int c) {
    return IsLetter(c) || IsDigit(c) || c == '_';
}
int ToLower(int c) {
    return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
}

// The next character of the line, or 0 at its end (the read position then stays).
int PrvReadChar(DbgContextType* ctx) {
    if (ctx->readPos >= kDbgLineChars || ctx->line[ctx->readPos] == '\0') return 0;
    return static_cast<unsigned char>(ctx->line[ctx->readPos++]);
}

void PrvUnreadChar(DbgContextType* ctx, int c) {
    if (c != 0 && ctx->readPos > 0) --ctx->readPos;
}

// Reports a lexical error the one way all are reported and turns the token into TERROR.
void PrvLexError(DbgContextType* ctx, LexToken* token, const char* routine, const char* message) {
    uint16_t column = ctx->readPos;
    lex_skipLine(ctx);
    if (ctx->debOut) DbgPrint(ctx, routine);
    DbgPrintf(ctx, "%s\n", message);
    lex_showColumn(ctx, column);
    uint16_t tokenColumn = token->column;
    LexTokenClear(token);
    token->kind = tok::TERROR;
    token->column = tokenColumn;
}

struct Radix {
    int base;
    const char* routine;
    const char* noDigits;
    bool (*isDigit)(int);
    int sizeBytes1;  // most digits that give size 1
    int sizeBytes2;  // most digits that give size 2 (0: always size 4)
};

constexpr Radix kHex{16, "lex_gethex ", "error: hex digits expected.", IsHexDigit, 2, 4};
constexpr Radix kBin{
    2, "lex_getbin ", "error: binary digits expected.", [](int c) { return c == '0' || c == '1'; }, 8, 16};
constexpr Radix kDec{10, "lex_getdec ", "error: decimal digits expected.", IsDigit, 0, 0};
constexpr Radix kOct{8, "lex_getoct ", "error: octal digits expected.", IsOctDigit, 2, 5};

int DigitValue(int c) {
    return IsDigit(c) ? c - '0' : ToLower(c) - 87;
}

// Scans a number after its radix character: a run of signs, then digits (at most `limit` when
// non-zero), accumulated in 32 bits. The size follows the number of digits written.
bool PrvGetNumber(DbgContextType* ctx, LexToken* token, const Radix& radix, int limit, uint32_t* value,
                  uint16_t* size) {
    bool negative = false;
    for (int c = PrvReadChar(ctx);; c = PrvReadChar(ctx)) {
        if (c == '-') {
            negative = !negative;
        } else if (c != '+') {
            PrvUnreadChar(ctx, c);
            break;
        }
    }
    uint32_t v = 0;
    int digits = 0;
    while (limit == 0 || digits < limit) {
        int c = PrvReadChar(ctx);
        if (!radix.isDigit(c)) {
            PrvUnreadChar(ctx, c);
            break;
        }
        v = v * static_cast<uint32_t>(radix.base) + static_cast<uint32_t>(DigitValue(c));
        ++digits;
    }
    if (digits == 0) {
        PrvLexError(ctx, token, radix.routine, radix.noDigits);
        return false;
    }
    *value = negative ? 0u - v : v;
    if (radix.sizeBytes1 == 0 || digits > radix.sizeBytes2)
        *size = 4;
    else
        *size = digits <= radix.sizeBytes1 ? 1 : 2;
    return true;
}

// Collects the characters up to the closing delimiter with their escapes into `out` (which holds
// kMaxText + 1 bytes). False after reporting an error.
bool PrvGetString(DbgContextType* ctx, LexToken* token, int delimiter, const char* routine, char* out,
                  int* length) {
    int n = 0;
    for (;;) {
        int c = PrvReadChar(ctx);
        if (c == delimiter) break;
        if (c == 0) {
            PrvLexError(ctx, token, routine, "error: unexpected end of line.");
            return false;
        }
        if (c == '\\') {
            int e = PrvReadChar(ctx);
            switch (e) {
                case 'a':
                    c = 7;
                    break;
                case 'b':
                    c = 8;
                    break;
                case 'f':
                    c = 12;
                    break;
                case 'n':
                    c = 10;
                    break;
                case 'r':
                    c = 13;
                    break;
                case 't':
                    c = 9;
                    break;
                case 'v':
                    c = 11;
                    break;
                case 'x': {
                    uint32_t v;
                    uint16_t size;
                    if (!PrvGetNumber(ctx, token, kHex, 2, &v, &size)) return false;
                    c = static_cast<int>(v & 0xFF);
                    break;
                }
                default:
                    if (IsOctDigit(e)) {
                        PrvUnreadChar(ctx, e);
                        uint32_t v;
                        uint16_t size;
                        if (!PrvGetNumber(ctx, token, kOct, 3, &v, &size)) return false;
                        c = static_cast<int>(v & 0xFF);
                    } else {
                        c = e;  // the quotes, '?', the backslash and any other character stand for themselves
                    }
                    break;
            }
            if (c == 0) {
                PrvLexError(ctx, token, routine, "error: unexpected end of line.");
                return false;
            }
        }
        if (n >= kMaxText) {
            PrvLexError(ctx, token, routine, "error: string is too long.");
            return false;
        }
        out[n++] = static_cast<char>(c);
    }
    out[n] = '\0';
    *length = n;
    return true;
}

void PrvScanString(DbgContextType* ctx, LexToken* token) {
    char text[kMaxText + 1];
    int length;
    if (!PrvGetString(ctx, token, '"', "lex_gets ", text, &length)) return;
    token->str = HostStrDup(text);
    if (!token->str) {
        PrvLexError(ctx, token, "lex_gets ", "error: DbgAllocBuffer failed.");
        return;
    }
    token->kind = tok::STR;
}

void PrvScanCharConstant(DbgContextType* ctx, LexToken* token) {
    char text[kMaxText + 1];
    int length;
    if (!PrvGetString(ctx, token, '\'', "lex_getCharConstant ", text, &length)) return;
    if (length == 0) {
        PrvLexError(ctx, token, "lex_getCharConstant ", "error: character constant expected.");
        return;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(text);
    token->kind = tok::VAL;
    if (length == 1) {
        token->size = 1;
        token->value = b[0];
    } else if (length == 2) {
        token->size = 2;
        token->value = (uint32_t{b[0]} << 8) | b[1];
    } else if (length == 3) {
        token->size = 4;
        token->value = (uint32_t{b[0]} << 16) | (uint32_t{b[1]} << 8) | b[2];
    } else {
        token->size = 4;
        token->value = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
    }
}

void PrvScanFlags(DbgContextType* ctx, LexToken* token) {
    char text[kMaxText + 1];
    int n = 0;
    for (int c = PrvReadChar(ctx); c != 0; c = PrvReadChar(ctx)) {
        if (IsBlank(c)) {
            PrvUnreadChar(ctx, c);
            break;
        }
        if (n >= kMaxText) {
            PrvLexError(ctx, token, "lex_getFlags ", "error: flags string is too long.");
            return;
        }
        text[n++] = static_cast<char>(c);
    }
    text[n] = '\0';
    token->str = HostStrDup(text);
    if (!token->str) {
        PrvLexError(ctx, token, "lex_getFlags ", "error: DbgAllocBuffer failed.");
        return;
    }
    token->kind = tok::FLAGS;
}

void PrvScanNumber(DbgContextType* ctx, LexToken* token, const Radix& radix) {
    uint32_t value;
    uint16_t size;
    if (!PrvGetNumber(ctx, token, radix, 0, &value, &size)) return;
    token->kind = tok::VAL;
    token->size = size;
    token->value = value;
}

// Size of a cast suffix letter, or 0.
uint16_t CastSize(int c) {
    switch (ToLower(c)) {
        case 'a':
            return sizeAddress;
        case 'b':
            return 1;
        case 'l':
            return 4;
        case 's':
            return sizeSigned;
        case 'w':
            return 2;
        default:
            return 0;
    }
}

// ":" : the start of the routine that holds the program counter.
void PrvScanRoutineStart(DbgContextType* ctx, LexToken* token) {
    if (!ctx->attached) {
        PrvLexError(ctx, token, "lex_scan ", "Error: not attached to remote.");
        return;
    }
    uint32_t pc = ctx->regs.pc;
    if (!(pc >= ctx->routineStart && pc < ctx->routineEnd) && LangGetServices().updateRoutine(ctx, pc) < 0) {
        PrvLexError(ctx, token, "lex_scan ", "Error: unable to find start of routine.");
        return;
    }
    token->kind = tok::VAL;
    token->size = 4;
    token->value = ctx->routineStart;
}

void PrvScanDeref(DbgContextType* ctx, LexToken* token) {
    token->kind = tok::TAT;
    token->size = 4;
    int c1 = PrvReadChar(ctx);
    if (c1 == '.') {
        int c2 = PrvReadChar(ctx);
        switch (ToLower(c2)) {
            case 'b':
                token->size = 1;
                return;
            case 'w':
                token->size = 2;
                return;
            case 'l':
                token->size = 4;
                return;
            case 'a':
                token->size = sizeAddress;
                return;
            case 's':
                PrvLexError(ctx, token, "lex_scan ", "Error: invalid deref size specifier.");
                return;
            default:
                PrvUnreadChar(ctx, c2);
                break;
        }
    }
    PrvUnreadChar(ctx, c1);
}

}  // namespace

int lex_init(DbgContextType* ctx) {
    DbgPrint(ctx, "Initializing lex...\n");
    ctx->readPos = 0;
    if (int err = SymCreateTable(ctx)) return err;
    return KeywordInstallList(ctx);
}

int lex_loadLine(DbgContextType* ctx, const char* text, uint8_t aliasLine) {
    while (IsBlank(static_cast<unsigned char>(*text))) ++text;
    size_t length = std::strlen(text);
    while (length > 0 && IsBlank(static_cast<unsigned char>(text[length - 1]))) --length;
    if (length > kDbgLineChars) {
        DbgPrint(ctx, "ERROR: command line is too long.\n");
        return 1;
    }
    std::memcpy(ctx->line, text, length);
    ctx->line[length] = '\0';
    ctx->readPos = 0;
    ctx->aliasLine = aliasLine;
    return 0;
}

void lex_skipLine(DbgContextType* ctx) {
    while (PrvReadChar(ctx) != 0) {
    }
}

void lex_showColumn(DbgContextType* ctx, uint16_t column) {
    char caret[kDbgLineChars + 3];
    int n = 0;
    for (; n < column && n < kDbgLineChars; ++n) caret[n] = ctx->line[n] == '\t' ? '\t' : ' ';
    caret[n++] = '^';
    caret[n++] = '\n';
    caret[n] = '\0';
    DbgPrintf(ctx, "%s\n", ctx->line);
    DbgPrint(ctx, caret);
}

const char* lex_tokenName(char* buffer, uint16_t kind) {
    const char* name = nullptr;
    switch (kind) {
        case tok::TEOL:
            name = "TEOL";
            break;
        case tok::OP:
            name = "OP";
            break;
        case tok::CMD:
            name = "CMD";
            break;
        case tok::VAR:
            name = "VAR";
            break;
        case tok::VAL:
            name = "VAL";
            break;
        case tok::REG:
            name = "REG";
            break;
        case tok::STR:
            name = "STR";
            break;
        case tok::ADDR:
            name = "ADDR";
            break;
        case tok::FLAGS:
            name = "FLAGS";
            break;
        case tok::TEMPLATE:
            name = "TEMPLATE";
            break;
        case tok::ALIAS:
            name = "ALIAS";
            break;
        case tok::TBLANK:
            name = "TBLANK";
            break;
        case tok::TLPAREN:
            name = "TLPAREN";
            break;
        case tok::TRPAREN:
            name = "TRPAREN";
            break;
        case tok::TPLUS:
            name = "TPLUS";
            break;
        case tok::TMINUS:
            name = "TMINUS";
            break;
        case tok::TEQUALS:
            name = "TEQUALS";
            break;
        case tok::TAMP:
            name = "TAMP";
            break;
        case tok::TVBAR:
            name = "TVBAR";
            break;
        case tok::TTILDE:
            name = "TTILDE";
            break;
        case tok::TAST:
            name = "TAST";
            break;
        case tok::TFSLASH:
            name = "TFSLASH";
            break;
        case tok::TAT:
            name = "TAT";
            break;
        case tok::TCOLON:
            name = "TCOLON";
            break;
        case tok::TCARET:
            name = "TCARET";
            break;
        case tok::TCAST:
            name = "TCAST";
            break;
        case tok::TTYPEDEF:
            name = "TTYPEDEF";
            break;
        case tok::TSTRUCT:
            name = "TSTRUCT";
            break;
        case tok::TERROR:
            name = "TERROR";
            break;
        default:
            break;
    }
    if (name) {
        std::snprintf(buffer, 16, "%s", name);
    } else {
        std::snprintf(buffer, 16, "$%08lx  ", static_cast<unsigned long>(kind));
    }
    return buffer;
}

int lex_getValuePtr(DbgContextType* ctx, const SymEntryType* entry, LexToken* token) {
    token->kind = entry->kind;
    token->size = entry->size;
    token->id = entry->id;
    token->module = entry->module;
    token->value = entry->value;
    token->str = nullptr;
    if (LexKindOwnsText(entry->kind)) {
        token->str = HostStrDup(entry->str ? entry->str : "");
        if (!token->str) {
            DbgPrint(ctx, "ERROR in lex_getValuePtr: StrAllocCopy failed.\n");
            return 1;
        }
    }
    return 0;
}

LexToken* lex_scan(LexToken* token, DbgContextType* ctx) {
    LexTokenClear(token);
    token->column = ctx->readPos;

    int c = PrvReadChar(ctx);
    if (c == 0) {
        token->kind = tok::TEOL;
        return token;
    }
    if (c == ';') {
        lex_skipLine(ctx);
        token->kind = tok::TEOL;
        return token;
    }
    if (IsBlank(c)) {
        do {
            c = PrvReadChar(ctx);
        } while (IsBlank(c));
        if (c == 0 || c == ';') {
            lex_skipLine(ctx);
            token->kind = tok::TEOL;
        } else {
            PrvUnreadChar(ctx, c);
            token->kind = tok::TBLANK;
        }
        return token;
    }
    PrvUnreadChar(ctx, c);

    // A name: a known one is its symbol's token; an unknown one is read again as what follows.
    if (IsLetter(c) || c == '_') {
        char name[kDbgLineChars + 1];
        int n = 0;
        for (int d = PrvReadChar(ctx); d != 0; d = PrvReadChar(ctx)) {
            if (!IsNameChar(d)) {
                PrvUnreadChar(ctx, d);
                break;
            }
            name[n++] = static_cast<char>(d);
        }
        name[n] = '\0';
        if (const SymEntryType* sym = SymFindByName(ctx, name)) {
            if (lex_getValuePtr(ctx, sym, token) != 0) {
                uint16_t column = token->column;
                LexTokenClear(token);
                token->kind = tok::TERROR;
                token->column = column;
            }
            return token;
        }
        ctx->readPos = static_cast<uint16_t>(ctx->readPos - n);
    }

    // A size suffix.
    int c1 = PrvReadChar(ctx);
    if (c1 == '.') {
        int c2 = PrvReadChar(ctx);
        if (uint16_t size = CastSize(c2)) {
            token->kind = tok::TCAST;
            token->size = size;
            return token;
        }
        PrvUnreadChar(ctx, c2);
    }
    PrvUnreadChar(ctx, c1);

    c = PrvReadChar(ctx);
    switch (c) {
        case '"':
            PrvScanString(ctx, token);
            break;
        case '#':
            PrvScanNumber(ctx, token, kDec);
            break;
        case '$':
            PrvScanNumber(ctx, token, kHex);
            break;
        case '%':
            PrvScanNumber(ctx, token, kBin);
            break;
        case '\'':
            PrvScanCharConstant(ctx, token);
            break;
        case '&':
            token->kind = tok::TAMP;
            break;
        case '(':
            token->kind = tok::TLPAREN;
            break;
        case ')':
            token->kind = tok::TRPAREN;
            break;
        case '*':
            token->kind = tok::TAST;
            break;
        case '+':
            token->kind = tok::TPLUS;
            break;
        case '-':
            token->kind = tok::TMINUS;
            break;
        case '/':
            token->kind = tok::TFSLASH;
            break;
        case '=':
            token->kind = tok::TEQUALS;
            break;
        case '>':
            token->kind = tok::TFIELD;
            break;
        case '[':
            token->kind = tok::TLBRACKET;
            break;
        case ']':
            token->kind = tok::TRBRACKET;
            break;
        case '^':
            token->kind = tok::TCARET;
            break;
        case '|':
            token->kind = tok::TVBAR;
            break;
        case '~':
            token->kind = tok::TTILDE;
            break;
        case '.':
            token->kind = tok::VAL;
            token->size = 4;
            token->value = ctx->dotAddress;
            break;
        case ':':
            PrvScanRoutineStart(ctx, token);
            break;
        case '?':
            token->kind = tok::CMD;
            token->id = dbgCmdHelp;
            token->module = 0;
            break;
        case '@':
            PrvScanDeref(ctx, token);
            break;
        case '\\':
            PrvScanFlags(ctx, token);
            break;
        default:
            PrvUnreadChar(ctx, c);
            if (IsHexDigit(c)) {
                PrvScanNumber(ctx, token, kHex);
            } else {
                PrvLexError(ctx, token, "lex_scan ", "error: unknown lexeme.");
            }
            break;
    }
    return token;
}

SymEntryType* lex_varValueEntry(DbgContextType* ctx, const SymEntryType* var) {
    return SymEntryIndexToPtr(ctx, static_cast<int32_t>(var->value));
}

int lex_defineVar(DbgContextType* ctx, const char* name, uint16_t module, uint16_t id,
                  SymEntryType** valueEntry) {
    if (valueEntry) *valueEntry = nullptr;
    if (SymEntryType* old = SymFindByName(ctx, name)) {
        if (old->kind != tok::VAR) {
            DbgPrint(ctx, "ERROR: illegal attempt to redefine symbol type.\n");
            return 1;
        }
        if (old->module == kModuleDebugger) {
            DbgPrint(ctx, "ERROR: illegal attempt to redefine a debugger variable.\n");
            return 1;
        }
        DbgPrintf(ctx, "WARNING: redefining variable: %s\n", name);
        // The old value entry goes with its variable, so that redefinitions do not leak slots.
        SymEntryType* oldValue = SymEntryIndexToPtr(ctx, static_cast<int32_t>(old->value));
        if (oldValue && oldValue->name && oldValue->name->name[0] == '\0') SymRemove(ctx, oldValue);
        SymRemove(ctx, old);
    }
    // Installing may grow (move) the table: hold entries by index between installs.
    SymEntryType* var;
    if (SymInstallSymbol(ctx, name, tok::VAR, module, id, 0, 0, nullptr, &var) != 0) {
        DbgPrint(ctx, "ERROR in lex_defineVar: SymInstallSymbol failed(1).\n");
        return 1;
    }
    int32_t varIndex = SymEntryPtrToIndex(ctx, var);
    SymEntryType* value;
    if (SymInstallSymbol(ctx, "", tok::VAL, module, id, 4, 0, nullptr, &value) != 0) {
        DbgPrint(ctx, "ERROR in lex_defineVar: SymInstallSymbol failed(2).\n");
        SymRemove(ctx, SymEntryIndexToPtr(ctx, varIndex));
        return 1;
    }
    int32_t valueIndex = SymEntryPtrToIndex(ctx, value);
    var = SymEntryIndexToPtr(ctx, varIndex);
    if (valueIndex < 0 || !var) {
        DbgPrint(ctx, "ERROR in lex_defineVar: SymEntryPtrToIndex failed.\n");
        SymRemove(ctx, value);
        if (var) SymRemove(ctx, var);
        return 1;
    }
    var->value = static_cast<uint32_t>(valueIndex);
    if (valueEntry) *valueEntry = value;
    return 0;
}

int lex_setVarValuePtr(DbgContextType* ctx, SymEntryType* valueEntry, uint16_t kind, uint16_t size,
                       uint32_t value, const char* str) {
    switch (kind) {
        case tok::VAL:
        case tok::ADDR:
            DbgFreeBuffer(valueEntry->str);
            valueEntry->str = nullptr;
            valueEntry->value = value;
            break;
        case tok::STR:
        case tok::FLAGS: {
            char* copy = HostStrDup(str ? str : "");
            if (!copy) {
                DbgPrint(ctx, "lex_setVarValuePtr error: DbgAllocBuffer failed.\n");
                return 1;
            }
            DbgFreeBuffer(valueEntry->str);
            valueEntry->str = copy;
            valueEntry->value = 0;
            break;
        }
        default:
            DbgPrint(ctx, "lex_setVarValuePtr error: passed invalid value type.\n");
            return 1;
    }
    valueEntry->kind = kind;
    valueEntry->size = size;

    // Tell the module that owns the variable.
    int32_t index = SymEntryPtrToIndex(ctx, valueEntry);
    for (int32_t i = 0; index >= 0 && i < ctx->symbols->count; ++i) {
        const SymEntryType& var = ctx->symbols->entries[i];
        if (var.name && var.kind == tok::VAR && var.value == static_cast<uint32_t>(index)) {
            return module_varChanged(ctx, var.module, var.id, valueEntry);
        }
    }
    return 0;
}

int lex_setVar(DbgContextType* ctx, uint16_t module, uint16_t id, uint16_t kind, uint16_t size,
               uint32_t value, const char* str) {
    SymEntryType* var = SymFindById(ctx, tok::VAR, module, id);
    SymEntryType* valueEntry = var ? lex_varValueEntry(ctx, var) : nullptr;
    if (!valueEntry) {
        DbgPrint(ctx, "lex_setVar error: variable not found\n");
        return 1;
    }
    return lex_setVarValuePtr(ctx, valueEntry, kind, size, value, str);
}

int lex_defineAlias(DbgContextType* ctx, const char* name, const char* text, uint16_t module, uint16_t id) {
    if (SymEntryType* old = SymFindByName(ctx, name)) {
        if (old->kind != tok::ALIAS) {
            DbgPrint(ctx, "ERROR: illegal attempt to redefine symbol type.\n");
            return 1;
        }
        SymRemove(ctx, old);
    }
    char* copy = HostStrDup(text);
    if (!copy) {
        DbgPrint(ctx, "ERROR in lex_defineAlias: could not allocate a copy of the alias.\n");
        return 1;
    }
    if (SymInstallSymbol(ctx, name, tok::ALIAS, module, id, 0, 0, copy, nullptr) != 0) {
        DbgFreeBuffer(copy);
        return 1;
    }
    return 0;
}

int lex_showAlias(DbgContextType* ctx, const char* name) {
    const SymEntryType* e = SymFindByName(ctx, name);
    if (!e) {
        DbgPrint(ctx, "ERROR: alias not found.\n");
        return 1;
    }
    if (e->kind != tok::ALIAS) {
        DbgPrint(ctx, "ERROR: not an alias.\n");
        return 1;
    }
    DbgPrintf(ctx, "%s\n", e->str ? e->str : "");
    return 0;
}

}  // namespace quillwatch
