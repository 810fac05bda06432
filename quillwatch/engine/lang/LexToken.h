// The entry shared by scanner tokens, parse-stack entries and eval-stack entries, the token kinds,
// the operator codes and the stack descriptor both stacks use.
#pragma once

#include <cstdint>

namespace quillwatch {

// One token or stack entry. STR, FLAGS and ALIAS entries own their text (`str`); every other kind
// keeps its number in `value` (a VAR's value is the index of its value entry in the symbol table).
struct LexToken {
    uint16_t kind;
    uint16_t size;    // 0, 1, 2 or 4 bytes, or the cast codes sizeAddress and sizeSigned
    uint16_t id;      // command id, register code, variable, constant or template id, operator code
    uint16_t module;  // owning command module: 0 the debugger, 1 user-defined
    uint16_t column;  // offset of the token's first character in the line buffer
    uint32_t value;
    char* str;
};

// Token kinds (also the kinds of parse-stack, eval-stack and symbol-table entries).
namespace tok {
enum : uint16_t {
    TEOL = 0,
    OP = 1,
    CMD = 2,
    VAR = 3,
    VAL = 4,
    REG = 5,
    STR = 6,
    ADDR = 7,
    FLAGS = 8,
    DELIM = 9,
    TEMPLATE = 10,
    ALIAS = 11,
    TBLANK = 401,
    TLPAREN = 402,
    TRPAREN = 403,
    TPLUS = 500,
    TMINUS = 501,
    TEQUALS = 502,
    TFIELD = 503,  // ">" at the start of a template field line
    TAMP = 508,
    TVBAR = 509,
    TTILDE = 511,
    TAST = 512,
    TFSLASH = 513,
    TAT = 515,
    TCOLON = 516,
    TCARET = 518,
    TLBRACKET = 519,
    TRBRACKET = 520,
    TCAST = 580,
    TTYPEDEF = 600,
    TSTRUCT = 601,
    TERROR = 999,
};
}  // namespace tok

// Sizes beyond 1, 2 and 4 bytes: the ".a" (address) and ".s" (signed) casts.
constexpr uint16_t sizeAddress = 101;
constexpr uint16_t sizeSigned = 102;

// Operator codes of OP entries.
enum DbgOperator : uint16_t {
    dbgOpAdd = 1,
    dbgOpSubtract = 2,
    dbgOpUPlus = 3,
    dbgOpUMinus = 4,
    dbgOpMul = 5,
    dbgOpDiv = 6,
    dbgOpBAnd = 7,
    dbgOpBOr = 8,
    dbgOpBXor = 9,
    dbgOpBNot = 10,
    dbgOpDeref = 11,
    dbgOpAssign = 12,
    dbgOpCast = 13,
};

// A stack of LexToken entries (the parse stack and the eval stack, 128 entries each).
struct EvalStack {
    uint16_t capacity;
    LexToken* entries;
    uint16_t count;
};

constexpr uint16_t kEvalStackEntries = 128;
constexpr uint16_t kEvalTopEntry = 0xFFFF;  // EvalStackEntry index of the top entry

void EvalStackInit(EvalStack* stack, LexToken* entries, uint16_t capacity);
// Stores a copy of the entry (taking over its text); none when the stack is full.
LexToken* EvalStackPush(EvalStack* stack, const LexToken* entry);
// Takes the top entry (and its text) into `out`; 1 when the stack is empty.
int EvalStackPop(EvalStack* stack, LexToken* out);
LexToken* EvalStackEntry(EvalStack* stack, uint16_t index);
// Pops every entry, freeing what each owns.
void EvalStackClearAll(EvalStack* stack);
// Both sizes must be 0, 1, 2 or 4; the result is the larger. 1 otherwise.
int EvalCombineSizes(uint16_t a, uint16_t b, uint16_t* out);

// Token entry helpers.
bool LexKindOwnsText(uint16_t kind);
// Frees the entry's text (if any) and zeroes the entry.
void LexTokenClear(LexToken* token);

}  // namespace quillwatch
