// Expression evaluator and line execution.
#include "quillwatch/engine/lang/Evaluator.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "quillwatch/engine/lang/CmdFormat.h"
#include "quillwatch/engine/lang/LangServices.h"
#include "quillwatch/engine/lang/CommandModules.h"
#include "quillwatch/engine/lang/Lexer.h"
#include "quillwatch/engine/lang/Parser.h"
#include "quillwatch/engine/lang/SymbolTable.h"
#include "quillwatch/link/HostShims.h"

namespace quillwatch {

namespace {

// The register a REG code names in the context's register block, or none.
uint32_t* RegisterSlot(DbgContextType* ctx, uint16_t code) {
    DbgRegisterBlock& r = ctx->regs;
    if (code >= dbgRegD0 && code < dbgRegD0 + 8) return &r.d[code - dbgRegD0];
    if (code >= dbgRegA0 && code < dbgRegA0 + 7) return &r.a[code - dbgRegA0];
    switch (code) {
        case dbgRegUSP:
            return &r.usp;
        case dbgRegSSP:
            return &r.ssp;
        case dbgRegPC:
            return &r.pc;
        case dbgRegSP:
            return (r.sr & kSRSupervisor) ? &r.ssp : &r.usp;
        default:
            return nullptr;
    }
}

bool ReadRegister(DbgContextType* ctx, uint16_t code, uint32_t* value) {
    if (code == dbgRegSR) {
        *value = ctx->regs.sr;
        return true;
    }
    uint32_t* slot = RegisterSlot(ctx, code);
    if (!slot) return false;
    *value = *slot;
    return true;
}

int PrvGetValue(DbgContextType* ctx, LexToken* dest, const LexToken* src);

// A variable's value: its value entry, keeping the variable's column, resolved again.
int PrvGetVarValue(DbgContextType* ctx, LexToken* dest, const LexToken* src) {
    if (src->kind != tok::VAR) {
        EvalReportError(ctx, "eval_getVarValue error: VAR entry expected.", nullptr, src);
        return 1;
    }
    SymEntryType* value = SymEntryIndexToPtr(ctx, static_cast<int32_t>(src->value));
    LexToken token{};
    if (!value || value->kind == tok::VAR || lex_getValuePtr(ctx, value, &token) != 0) {
        LexTokenClear(&token);
        EvalReportError(ctx, "eval_getVarValue error: VAR entry expected.", nullptr, src);
        return 1;
    }
    token.column = src->column;
    int err = PrvGetValue(ctx, dest, &token);
    LexTokenClear(&token);
    return err;
}

int PrvGetRegValue(DbgContextType* ctx, LexToken* dest, const LexToken* src) {
    if (src->kind != tok::REG) {
        EvalReportError(ctx, "eval_getRegValue error: invalid entry: ", nullptr, src);
        return 1;
    }
    if (!ctx->attached) {
        EvalReportError(ctx, "eval_getRegValue ", "error: not attached to remote.", src);
        return 1;
    }
    uint32_t value;
    if (!ReadRegister(ctx, src->id, &value)) {
        EvalReportError(ctx, "eval_getRegValue error: invalid entry: ", nullptr, src);
        return 1;
    }
    *dest = LexToken{tok::VAL, src->size, 0, 0, src->column, value, nullptr};
    return 0;
}

// The value of an entry: variables and registers are read, values stay as they are.
int PrvGetValue(DbgContextType* ctx, LexToken* dest, const LexToken* src) {
    switch (src->kind) {
        case tok::VAR:
            return PrvGetVarValue(ctx, dest, src);
        case tok::REG:
            return PrvGetRegValue(ctx, dest, src);
        case tok::VAL:
        case tok::STR:
        case tok::ADDR:
        case tok::FLAGS:
        case tok::TEMPLATE:
        case tok::ALIAS:
            return eval_dupEntry(src, ctx, dest);
        default:
            EvalReportError(ctx, "GetValue error: unhandled src entry type: ", nullptr, src);
            return 1;
    }
}

// Resolves the eval-stack entries from `first` to the top in place; CMD entries stay.
int PrvEvalEntries(DbgContextType* ctx, uint16_t first) {
    for (uint16_t i = first; i < ctx->evalStack.count; ++i) {
        LexToken* entry = &ctx->evalStack.entries[i];
        if (entry->kind == tok::CMD) continue;
        LexToken value{};
        if (PrvGetValue(ctx, &value, entry) != 0) {
            EvalReportError(ctx, "eval_evalEntries ", "error: unhandled entry on eval stack:", entry);
            return 1;
        }
        LexTokenClear(entry);
        *entry = value;
    }
    return 0;
}

// Address arithmetic keeps the high half and wraps the low half within 64 KB.
uint32_t OffsetAddress(uint32_t address, uint32_t delta) {
    return (address & 0xFFFF0000u) | ((address + delta) & 0xFFFFu);
}

int PrvAddSub(DbgContextType* ctx, const LexToken* op, const LexToken& l, const LexToken& r, LexToken* out) {
    const bool add = op->id == dbgOpAdd;
    const char* prefix = add ? "eval_add " : "eval_sub ";
    uint16_t size;
    if (EvalCombineSizes(l.size, r.size, &size) != 0) {
        EvalReportError(ctx, prefix, "error: invalid token size: ", op);
        return 1;
    }
    if (l.kind == tok::VAL && r.kind == tok::VAL) {
        *out = LexToken{tok::VAL, size, 0, 0, l.column, add ? l.value + r.value : l.value - r.value, nullptr};
        return 0;
    }
    if (l.kind == tok::ADDR && r.kind == tok::VAL) {
        *out = LexToken{tok::ADDR, 4, 0, 0, l.column, OffsetAddress(l.value, add ? r.value : 0u - r.value),
                        nullptr};
        return 0;
    }
    if (add && l.kind == tok::VAL && r.kind == tok::ADDR) {
        *out = LexToken{tok::ADDR, 4, 0, 0, l.column, OffsetAddress(r.value, l.value), nullptr};
        return 0;
    }
    EvalReportError(ctx, prefix,
                    add ? "error: invalid operand(s) for: " : "error: invalid operand(s) for:", op);
    return 1;
}

int PrvBinArith(DbgContextType* ctx, const LexToken* op, const LexToken& l, const LexToken& r,
                LexToken* out) {
    if (l.kind != tok::VAL || r.kind != tok::VAL) {
        EvalReportError(ctx, "eval_binArithOp ", "error: invalid operand(s) for:", op);
        return 1;
    }
    uint16_t size;
    if (EvalCombineSizes(l.size, r.size, &size) != 0) {
        EvalReportError(ctx, "eval_binArithOp ", "error: invalid token size: ", op);
        return 1;
    }
    uint32_t v;
    switch (op->id) {
        case dbgOpMul:
            v = l.value * r.value;
            break;
        case dbgOpDiv:
            if (r.value == 0) {
                EvalReportError(ctx, "eval_binArithOp ", "error: division by zero attempted:", op);
                return 1;
            }
            v = l.value / r.value;
            break;
        case dbgOpBAnd:
            v = l.value & r.value;
            break;
        case dbgOpBOr:
            v = l.value | r.value;
            break;
        case dbgOpBXor:
            v = l.value ^ r.value;
            break;
        default:
            EvalReportError(ctx, "eval_binArithOp ", "error: unknown operator: ", op);
            return 1;
    }
    *out = LexToken{tok::VAL, size, 0, 0, l.column, v, nullptr};
    return 0;
}

int PrvSignAndNot(DbgContextType* ctx, const LexToken* op, const LexToken& a, LexToken* out) {
    if (a.kind != tok::VAL) {
        EvalReportError(ctx, "eval_signAndNot error: invalid operand for: ", nullptr, op);
        return 1;
    }
    uint32_t v;
    switch (op->id) {
        case dbgOpUPlus:
            v = a.value;
            break;
        case dbgOpUMinus:
            v = 0u - a.value;
            break;
        case dbgOpBNot:
            v = ~a.value;
            break;
        default:
            EvalReportError(ctx, "eval_signAndNot error: unknown operator: ", nullptr, op);
            return 1;
    }
    *out = LexToken{tok::VAL, a.size, 0, 0, a.column, v, nullptr};
    return 0;
}

int PrvCast(DbgContextType* ctx, const LexToken* op, const LexToken& a, LexToken* out) {
    if (a.kind != tok::VAL && a.kind != tok::ADDR) {
        EvalReportError(ctx, "eval_cast error: invalid operand for cast: ", nullptr, op);
        return 1;
    }
    *out = LexToken{tok::VAL, a.size, 0, 0, a.column, a.value, nullptr};
    switch (op->size) {
        case sizeAddress:
            if (ctx->processorType != 0) {
                EvalReportError(ctx, "eval_cast error: unknown processor type.", nullptr, op);
                return 1;
            }
            out->kind = tok::ADDR;
            out->size = 4;
            // A 1- or 2-byte number names the high half of a segmented address.
            if (a.kind == tok::VAL && a.size != 4) out->value = a.value << 16;
            return 0;
        case 1:
        case 2:
        case 4:
            out->size = op->size;
            out->value = op->size == 4 ? a.value : a.value & ((1u << (8 * op->size)) - 1);
            return 0;
        case sizeSigned:
            if (a.size == 2) {
                out->value =
                    static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(a.value & 0xFFFF)));
            } else if (a.size == 1) {
                out->value = a.value & 0xFF;
            } else if (a.size != 4) {
                EvalReportError(ctx, "eval_cast error: invalid cast size(1): ", nullptr, op);
                return 1;
            }
            return 0;
        default:
            EvalReportError(ctx, "eval_cast error: invalid cast size(2): ", nullptr, op);
            return 1;
    }
}

// "@": bytes of device memory at the operand, taken big-endian.
int PrvDeref(DbgContextType* ctx, const LexToken* op, const LexToken& a, LexToken* out) {
    if (!ctx->attached) {
        EvalReportError(ctx, "eval_deref ", "error: not attached to remote.", op);
        return 1;
    }
    if (a.kind != tok::VAL && a.kind != tok::ADDR) {
        EvalReportError(ctx, "eval_deref ", "error: illegal operand for: ", op);
        return 1;
    }
    uint16_t bytes;
    switch (op->size) {
        case 1:
        case 2:
        case 4:
            bytes = op->size;
            break;
        case sizeAddress:
            bytes = 4;
            break;
        default:
            EvalReportError(ctx, "eval_deref error: invalid cast size: ", nullptr, op);
            return 1;
    }
    uint8_t data[4] = {};
    if (uint16_t err = LangGetServices().readRemoteMem(a.value, data, ctx, bytes)) return err;
    uint32_t v = 0;
    for (uint16_t i = 0; i < bytes; ++i) v = (v << 8) | data[i];
    // An address-sized read is a 4-byte value, which arithmetic accepts.
    *out = LexToken{tok::VAL, bytes, 0, 0, a.column, v, nullptr};
    return 0;
}

int PrvRegAssign(DbgContextType* ctx, const LexToken* op, const LexToken& reg, const LexToken& r,
                 LexToken* out) {
    if (r.kind != tok::VAL) {
        EvalReportError(ctx, "eval_regAssign ", "error: illegal right operand for: ", op);
        return 1;
    }
    DbgRegisterBlock saved = ctx->regs;
    if (reg.id == dbgRegSR) {
        ctx->regs.sr = static_cast<uint16_t>(r.value);
    } else if (uint32_t* slot = RegisterSlot(ctx, reg.id)) {
        *slot = r.value;
    } else {
        EvalReportError(ctx, "eval_regAssign ", "error: unknown reg for: ", op);
        return 1;
    }
    const LangServices& services = LangGetServices();
    services.refreshRegisterWindow(ctx);
    if (uint16_t err = services.writeRemoteRegisters(ctx, &ctx->regs)) {
        // The device kept its registers: so does the display.
        ctx->regs = saved;
        services.refreshRegisterWindow(ctx);
        return err;
    }
    uint32_t value = 0;
    ReadRegister(ctx, reg.id, &value);
    *out = LexToken{tok::VAL, reg.size, 0, 0, reg.column, value, nullptr};
    return 0;
}

int PrvAssign(DbgContextType* ctx, const LexToken* op, const LexToken& l, LexToken& r, LexToken* out) {
    if (l.kind == tok::REG) return PrvRegAssign(ctx, op, l, r, out);
    if (l.kind != tok::VAR) {
        EvalReportError(ctx, "eval_assign ", "error: invalid left operand for:", op);
        return 1;
    }
    if (r.kind != tok::VAL && r.kind != tok::ADDR && r.kind != tok::STR && r.kind != tok::FLAGS) {
        EvalReportError(ctx, "eval_varAssign ", "error: invalid right operand for:", op);
        return 1;
    }
    SymEntryType* value = SymEntryIndexToPtr(ctx, static_cast<int32_t>(l.value));
    if (!value) return 1;
    if (int err = lex_setVarValuePtr(ctx, value, r.kind, r.size, r.value, r.str)) return err;
    *out = r;
    r.str = nullptr;  // the result takes over the text
    return 0;
}

bool IsBinary(uint16_t op) {
    return op == dbgOpAdd || op == dbgOpSubtract || (op >= dbgOpMul && op <= dbgOpBXor) || op == dbgOpAssign;
}
bool IsUnary(uint16_t op) {
    return op == dbgOpUPlus || op == dbgOpUMinus || op == dbgOpBNot || op == dbgOpDeref || op == dbgOpCast;
}

int PrvApply(DbgContextType* ctx, const LexToken* op, LexToken& left, LexToken& right, LexToken* out) {
    switch (op->id) {
        case dbgOpAdd:
        case dbgOpSubtract:
            return PrvAddSub(ctx, op, left, right, out);
        case dbgOpAssign:
            return PrvAssign(ctx, op, left, right, out);
        case dbgOpUPlus:
        case dbgOpUMinus:
        case dbgOpBNot:
            return PrvSignAndNot(ctx, op, right, out);
        case dbgOpCast:
            return PrvCast(ctx, op, right, out);
        case dbgOpDeref:
            return PrvDeref(ctx, op, right, out);
        default:
            return PrvBinArith(ctx, op, left, right, out);
    }
}

int PrvEvalOp(DbgContextType* ctx, const LexToken* op) {
    LexToken left{}, right{}, popped{}, result{};
    int err = 1;
    if (IsBinary(op->id)) {
        if (EvalStackPop(&ctx->evalStack, &popped) != 0) {
            EvalReportError(ctx, "eval_op error: expected 2 operands, but got none for: ", nullptr, op);
            return 1;
        }
        if (PrvGetValue(ctx, &right, &popped) != 0) {
            EvalReportError(ctx, "eval_op: error in GetValue(right) for: ", nullptr, op);
            goto done;
        }
        LexTokenClear(&popped);
        if (EvalStackPop(&ctx->evalStack, &popped) != 0) {
            EvalReportError(ctx, "eval_op error: expected 2 operands, but got only 1 for: ", nullptr, op);
            goto done;
        }
        if (op->id == dbgOpAssign) {
            left = popped;  // the target stays a VAR or REG
            popped = LexToken{};
        } else if (PrvGetValue(ctx, &left, &popped) != 0) {
            EvalReportError(ctx, "eval_op: error in GetValue(left) for: ", nullptr, op);
            goto done;
        }
    } else if (IsUnary(op->id)) {
        if (EvalStackPop(&ctx->evalStack, &popped) != 0) {
            EvalReportError(ctx, "eval_op error: expected 1 operand, but got none for: ", nullptr, op);
            return 1;
        }
        if (PrvGetValue(ctx, &right, &popped) != 0) {
            EvalReportError(ctx, "eval_op: error in GetValue(unary) for: ", nullptr, op);
            goto done;
        }
    } else {
        EvalReportError(ctx, "eval_op error: unknown operator(1): ", nullptr, op);
        return 1;
    }
    err = PrvApply(ctx, op, left, right, &result);
    if (err == 0 && !eval_push(&result, ctx)) {
        EvalReportError(ctx, "eval_op: eval_push failed: ", nullptr, op);
        err = 1;
    }
done:
    LexTokenClear(&popped);
    LexTokenClear(&left);
    LexTokenClear(&right);
    return err;
}

const char* KindPrefix(uint16_t kind) {
    switch (kind) {
        case tok::OP:
            return "OP(";
        case tok::CMD:
            return "CMD(";
        case tok::VAR:
            return "VAR(";
        case tok::VAL:
            return "VAL(";
        case tok::REG:
            return "REG(";
        case tok::STR:
            return "STR(";
        case tok::ADDR:
            return "ADDR(";
        case tok::FLAGS:
            return "FLAGS(";
        case tok::DELIM:
            return "DELIM(";
        case tok::TEMPLATE:
            return "TEMPLATE(";
        case tok::ALIAS:
            return "ALIAS(";
        default:
            return "";
    }
}

const char* OperatorName(uint16_t op) {
    static const char* const names[] = {
        nullptr,     "dbgOpAdd", "dbgOpSubtract", "dbgOpUPlus", "dbgOpUMinus", "dbgOpMul",    "dbgOpDiv",
        "dbgOpBAnd", "dbgOpBOr", "dbgOpBXor",     "dbgOpBNot",  "dbgOpDeref",  "dbgOpAssign", "dbgOpCast"};
    return op >= 1 && op <= 13 ? names[op] : nullptr;
}

}  // namespace

LexToken* DbgEvalArg(DbgContextType* ctx, uint16_t index) {
    return EvalStackEntry(&ctx->evalStack, index);
}

void EvalStackClear(DbgContextType* ctx) {
    EvalStackClearAll(&ctx->evalStack);
}

void EvalReportError(DbgContextType* ctx, const char* message, const char* second, const LexToken* entry) {
    DbgPrint(ctx, message);
    if (second) DbgPrint(ctx, second);
    DbgPrint(ctx, "\n");
    if (entry) {
        PrintEntry(ctx, entry, true);
        lex_showColumn(ctx, entry->column);
    }
}

int eval_init(DbgContextType* ctx) {
    DbgPrint(ctx, "Initializing eval...\n");
    auto* entries = static_cast<LexToken*>(DbgAllocBuffer(sizeof(LexToken) * kEvalStackEntries));
    EvalStackInit(&ctx->evalStack, entries, kEvalStackEntries);
    if (!entries) {
        DbgPrint(ctx, "eval_init error: DbgAllocBuffer failed.\n");
        return 1;
    }
    return 0;
}

void eval_close(DbgContextType* ctx) {
    EvalStackClear(ctx);
    DbgFreeBuffer(ctx->evalStack.entries);
    EvalStackInit(&ctx->evalStack, nullptr, 0);
}

void exec_init(DbgContextType* ctx) {
    DbgPrint(ctx, "Initializing exec...\n");
}

int eval_dupEntry(const LexToken* entry, DbgContextType* ctx, LexToken* copy) {
    if (entry->kind < tok::OP || entry->kind > tok::ALIAS) {
        EvalReportError(ctx, "eval_dupEntry ", "error: unhandled entry type: ", entry);
        return 1;
    }
    *copy = *entry;
    copy->str = nullptr;
    if (entry->str) {
        copy->str = HostStrDup(entry->str);
        if (!copy->str) {
            DbgPrint(ctx, "ERROR in eval_dupEntry: StrAllocCopy failed. \n");
            return 1;
        }
    }
    return 0;
}

LexToken* eval_push(LexToken* entry, DbgContextType* ctx) {
    LexToken* pushed = EvalStackPush(&ctx->evalStack, entry);
    if (!pushed) {
        EvalReportError(ctx, "eval_push error: eval stack overflow.", nullptr, entry);
        LexTokenClear(entry);
        return nullptr;
    }
    entry->str = nullptr;  // the stack owns the text now
    return pushed;
}

int eval_line(DbgContextType* ctx) {
    uint16_t resolveFrom = 0;
    for (uint16_t i = 0; i < ctx->parseStack.count; ++i) {
        const LexToken* entry = &ctx->parseStack.entries[i];
        switch (entry->kind) {
            case tok::OP:
                if (int err = PrvEvalOp(ctx, entry)) return err;
                break;
            case tok::CMD:
            case tok::VAR:
            case tok::VAL:
            case tok::REG:
            case tok::STR:
            case tok::ADDR:
            case tok::FLAGS:
            case tok::TEMPLATE:
            case tok::ALIAS: {
                LexToken copy{};
                if (eval_dupEntry(entry, ctx, &copy) != 0) return 1;
                if (!eval_push(&copy, ctx)) return 1;
                break;
            }
            case tok::DELIM:
                if (int err = PrvEvalEntries(ctx, resolveFrom)) return err;
                resolveFrom = ctx->evalStack.count;
                break;
            default:
                EvalReportError(ctx, "eval error: unhandled entry type: ", nullptr, entry);
                return 1;
        }
    }
    return PrvEvalEntries(ctx, resolveFrom);
}

uint16_t exec_line(DbgContextType* ctx) {
    const LexToken* first = DbgEvalArg(ctx, 0);
    if (!first) return 0;
    if (first->kind == tok::CMD) return module_executeCommand(ctx, first->module);
    for (uint16_t i = 0; i < ctx->evalStack.count; ++i)
        PrintEntry(ctx, &ctx->evalStack.entries[i], ctx->debOut != 0);
    return 0;
}

int PrintEntry(DbgContextType* ctx, const LexToken* entry, bool verbose) {
    if (entry->kind < tok::OP || entry->kind > tok::ALIAS) {
        DbgPrint(ctx, verbose ? "PrintEntry error: unhandled entry(1):\n"
                              : "PrintEntry error: unexpected entry(2):\n");
        DbgPrint(ctx, "I don't do raw entries, yet!\n");
        return 1;
    }
    std::string text;
    if (verbose) text = KindPrefix(entry->kind);
    char buffer[kDbgLineChars + 64];
    switch (entry->kind) {
        case tok::OP:
            if (const char* name = OperatorName(entry->id)) {
                text += name;
            } else {
                std::snprintf(buffer, sizeof buffer, "$%08lx  ", static_cast<unsigned long>(entry->id));
                text += buffer;
            }
            break;
        case tok::CMD:
        case tok::VAR:
        case tok::REG:
        case tok::TEMPLATE:
        case tok::ALIAS: {
            const char* name = SymNameById(ctx, entry->kind, entry->module, entry->id);
            if (!name) {
                DbgPrint(ctx, "PrintEntry error: keyword not found:\n");
                return 1;
            }
            text += name;
            break;
        }
        case tok::VAL:
            CmdFormatValue(buffer, entry->value, entry->size, verbose);
            text += buffer;
            break;
        case tok::STR:
            text += '"';
            for (const char* p = entry->str ? entry->str : ""; *p; ++p) text += CmdPrintableChar(*p);
            text += '"';
            break;
        case tok::ADDR:
            std::snprintf(buffer, sizeof buffer, "%04hx:%04hx",
                          static_cast<unsigned short>(entry->value >> 16),
                          static_cast<unsigned short>(entry->value & 0xFFFF));
            text += buffer;
            break;
        case tok::FLAGS:
            text += '\\';
            text += entry->str ? entry->str : "";
            break;
        default:
            break;  // DELIM: nothing
    }
    if (verbose) {
        text += ')';
        switch (entry->size) {
            case 0:
                break;
            case 1:
                text += ".b";
                break;
            case 2:
                text += ".w";
                break;
            case 4:
                text += ".l";
                break;
            case sizeAddress:
                text += ".a";
                break;
            case sizeSigned:
                text += ".s";
                break;
            default:
                DbgPrint(ctx, "PrintEntry error: unexpected entry size:\n");
                return 1;
        }
    }
    text += '\n';
    DbgPrint(ctx, text.c_str());
    return 0;
}

uint16_t DbgExecuteLine(DbgContextType* ctx, const char* line, uint8_t aliasLine) {
    if (lex_loadLine(ctx, line, aliasLine) != 0) return 1;
    EvalStackClear(ctx);
    parse_clear(ctx);
    ctx->readPos = 0;
    uint16_t status = static_cast<uint16_t>(parse_line(ctx));
    if (status == 0) status = static_cast<uint16_t>(eval_line(ctx));
    if (status == 0) status = exec_line(ctx);
    EvalStackClear(ctx);
    parse_clear(ctx);
    HostClearUserAbort();
    return status;
}

}  // namespace quillwatch
