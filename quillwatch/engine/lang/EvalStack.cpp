// The stack of LexToken entries that the parser and the evaluator share.
#include <cstdlib>
#include <cstring>

#include "quillwatch/engine/lang/DbgContext.h"
#include "quillwatch/engine/lang/LexToken.h"

namespace quillwatch {

bool LexKindOwnsText(uint16_t kind) {
    return kind == tok::STR || kind == tok::FLAGS || kind == tok::ALIAS;
}

void LexTokenClear(LexToken* token) {
    DbgFreeBuffer(token->str);
    std::memset(token, 0, sizeof(*token));
}

void EvalStackInit(EvalStack* stack, LexToken* entries, uint16_t capacity) {
    stack->capacity = entries ? capacity : 0;
    stack->entries = entries;
    stack->count = 0;
}

LexToken* EvalStackPush(EvalStack* stack, const LexToken* entry) {
    if (stack->count >= stack->capacity) return nullptr;
    LexToken* slot = &stack->entries[stack->count++];
    *slot = *entry;
    return slot;
}

int EvalStackPop(EvalStack* stack, LexToken* out) {
    if (stack->count == 0) return 1;
    LexToken* top = &stack->entries[--stack->count];
    *out = *top;
    std::memset(top, 0, sizeof(*top));
    return 0;
}

LexToken* EvalStackEntry(EvalStack* stack, uint16_t index) {
    if (stack->count == 0) return nullptr;
    if (index == kEvalTopEntry) return &stack->entries[stack->count - 1];
    if (index >= stack->count) return nullptr;
    return &stack->entries[index];
}

void EvalStackClearAll(EvalStack* stack) {
    LexToken entry;
    while (EvalStackPop(stack, &entry) == 0) LexTokenClear(&entry);
}

int EvalCombineSizes(uint16_t a, uint16_t b, uint16_t* out) {
    auto valid = [](uint16_t s) { return s == 0 || s == 1 || s == 2 || s == 4; };
    if (!valid(a) || !valid(b)) return 1;
    *out = a > b ? a : b;
    return 0;
}

}  // namespace quillwatch
