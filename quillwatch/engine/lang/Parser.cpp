// Recursive-descent parser with one token of lookahead. A line is left on the parse stack in
// postfix order: the command entry first, then each argument's operands and operators, the
// arguments separated by DELIM entries.
#include "quillwatch/engine/lang/Parser.h"

#include <cstddef>

#include "quillwatch/engine/lang/FunctionTable.h"
#include "quillwatch/engine/lang/Lexer.h"
#include "quillwatch/engine/lang/SymbolTable.h"

namespace quillwatch {

namespace {

bool Failed(DbgContextType* ctx) {
    return ctx->parseError != 0;
}

// Scans the next token into the lookahead; a scanner error stops the line.
void PrvAdvance(DbgContextType* ctx) {
    lex_scan(&ctx->lookahead, ctx);
    if (ctx->lookahead.kind == tok::TERROR) ctx->parseError = 1;
}

void PrvSkipBlank(DbgContextType* ctx) {
    if (!Failed(ctx) && ctx->lookahead.kind == tok::TBLANK) PrvAdvance(ctx);
}

// Reports a syntax error with the lookahead and a caret under it, and stops the line.
void PrvSyntaxError(DbgContextType* ctx, const char* message) {
    char name[16];
    DbgPrintf(ctx, "%s  Lookahead = %s\n", message, lex_tokenName(name, ctx->lookahead.kind));
    lex_showColumn(ctx, ctx->lookahead.column);
    ctx->parseError = 1;
}

void PrvPush(DbgContextType* ctx, uint16_t kind, uint16_t size, uint16_t id, uint16_t module, uint16_t column,
             uint32_t value, char* str = nullptr) {
    if (!parse_insertEntry(ctx, kind, size, id, module, column, value, str)) ctx->parseError = 1;
}

// Pushes the lookahead as it stands (its text passes to the stack) and consumes it.
void PrvPushLookahead(DbgContextType* ctx) {
    LexToken& t = ctx->lookahead;
    char* str = t.str;
    t.str = nullptr;
    PrvPush(ctx, t.kind, t.size, t.id, t.module, t.column, t.value, str);
    if (!Failed(ctx)) PrvAdvance(ctx);
}

void PrvPushOp(DbgContextType* ctx, uint16_t op, uint16_t size, uint16_t column) {
    PrvPush(ctx, tok::OP, size, op, 0, column, 0);
}

void PrvRequireEOL(DbgContextType* ctx) {
    if (!Failed(ctx) && ctx->lookahead.kind != tok::TEOL)
        PrvSyntaxError(ctx, "Syntax error: end of line expected.");
}

void PrvExpression(DbgContextType* ctx);

void PrvPrimary(DbgContextType* ctx) {
    if (Failed(ctx)) return;
    switch (ctx->lookahead.kind) {
        case tok::VAR:
        case tok::VAL:
        case tok::REG:
        case tok::STR:
        case tok::ADDR:
            PrvPushLookahead(ctx);
            return;
        case tok::TLPAREN:
            PrvAdvance(ctx);
            PrvExpression(ctx);
            if (Failed(ctx)) return;
            if (ctx->lookahead.kind != tok::TRPAREN) {
                PrvSyntaxError(ctx, "Syntax error: ')' expected.");
                return;
            }
            PrvAdvance(ctx);
            return;
        default:
            PrvSyntaxError(ctx, "Syntax error: unexpected token.");
            return;
    }
}

void PrvPostfix(DbgContextType* ctx) {
    PrvPrimary(ctx);
    while (!Failed(ctx) && ctx->lookahead.kind == tok::TCAST) {
        PrvPushOp(ctx, dbgOpCast, ctx->lookahead.size, ctx->lookahead.column);
        if (!Failed(ctx)) PrvAdvance(ctx);
    }
}

void PrvUnary(DbgContextType* ctx) {
    if (Failed(ctx)) return;
    uint16_t op;
    switch (ctx->lookahead.kind) {
        case tok::TPLUS:
            op = dbgOpUPlus;
            break;
        case tok::TMINUS:
            op = dbgOpUMinus;
            break;
        case tok::TTILDE:
            op = dbgOpBNot;
            break;
        case tok::TAT:
            op = dbgOpDeref;
            break;
        default:
            PrvPostfix(ctx);
            return;
    }
    uint16_t size = ctx->lookahead.size;
    uint16_t column = ctx->lookahead.column;
    PrvAdvance(ctx);
    PrvUnary(ctx);
    if (Failed(ctx)) return;
    if (op == dbgOpDeref) PrvPushOp(ctx, dbgOpCast, sizeAddress, column);  // the operand becomes an address
    if (!Failed(ctx)) PrvPushOp(ctx, op, size, column);
}

// One level of left-associative binary operators: `next` for the operands, `ops` maps tokens.
struct BinaryOp {
    uint16_t token;
    uint16_t op;
};

template <size_t N>
void PrvBinaryLevel(DbgContextType* ctx, void (*next)(DbgContextType*), const BinaryOp (&ops)[N]) {
    next(ctx);
    for (;;) {
        if (Failed(ctx)) return;
        const BinaryOp* match = nullptr;
        for (const BinaryOp& o : ops) {
            if (ctx->lookahead.kind == o.token) match = &o;
        }
        if (!match) return;
        uint16_t column = ctx->lookahead.column;
        PrvAdvance(ctx);
        next(ctx);
        if (Failed(ctx)) return;
        PrvPushOp(ctx, match->op, 0, column);
    }
}

void PrvTerm(DbgContextType* ctx) {
    static constexpr BinaryOp ops[] = {{tok::TAST, dbgOpMul}, {tok::TFSLASH, dbgOpDiv}};
    PrvBinaryLevel(ctx, PrvUnary, ops);
}
void PrvAdditive(DbgContextType* ctx) {
    static constexpr BinaryOp ops[] = {{tok::TPLUS, dbgOpAdd}, {tok::TMINUS, dbgOpSubtract}};
    PrvBinaryLevel(ctx, PrvTerm, ops);
}
void PrvAnd(DbgContextType* ctx) {
    static constexpr BinaryOp ops[] = {{tok::TAMP, dbgOpBAnd}};
    PrvBinaryLevel(ctx, PrvAdditive, ops);
}
void PrvXor(DbgContextType* ctx) {
    static constexpr BinaryOp ops[] = {{tok::TCARET, dbgOpBXor}};
    PrvBinaryLevel(ctx, PrvAnd, ops);
}
void PrvOr(DbgContextType* ctx) {
    static constexpr BinaryOp ops[] = {{tok::TVBAR, dbgOpBOr}};
    PrvBinaryLevel(ctx, PrvXor, ops);
}

// Assignment is right-associative: x=y=3 assigns y first.
void PrvExpression(DbgContextType* ctx) {
    PrvOr(ctx);
    while (!Failed(ctx) && ctx->lookahead.kind == tok::TEQUALS) {
        uint16_t column = ctx->lookahead.column;
        PrvAdvance(ctx);
        PrvExpression(ctx);
        if (Failed(ctx)) return;
        PrvPushOp(ctx, dbgOpAssign, 0, column);
    }
}

void PrvArgument(DbgContextType* ctx) {
    if (Failed(ctx)) return;
    uint16_t kind = ctx->lookahead.kind;
    if (kind == tok::CMD || kind == tok::FLAGS || kind == tok::TEMPLATE) {
        PrvPushLookahead(ctx);
    } else {
        PrvExpression(ctx);
    }
}

void PrvRequireString(DbgContextType* ctx) {
    if (Failed(ctx)) return;
    if (ctx->lookahead.kind != tok::STR) {
        PrvSyntaxError(ctx, "Syntax error: name string expected.");
        return;
    }
    PrvPushLookahead(ctx);
}

// Template field: template name, "@" per indirection level, name string, [count], flags word.
void PrvFieldDefinition(DbgContextType* ctx) {
    PrvSkipBlank(ctx);
    if (Failed(ctx)) return;
    if (ctx->lookahead.kind != tok::TEMPLATE) {
        PrvSyntaxError(ctx, "Syntax error: template name expected.");
        return;
    }
    PrvPushLookahead(ctx);
    PrvSkipBlank(ctx);

    uint32_t levels = 0;
    uint16_t column = ctx->lookahead.column;
    while (!Failed(ctx) && ctx->lookahead.kind == tok::TAT) {
        ++levels;
        PrvAdvance(ctx);
        PrvSkipBlank(ctx);
    }
    if (Failed(ctx)) return;
    PrvPush(ctx, tok::VAL, 4, 0, 0, column, levels);
    PrvSkipBlank(ctx);
    PrvRequireString(ctx);
    PrvSkipBlank(ctx);
    if (Failed(ctx)) return;

    if (ctx->lookahead.kind == tok::TLBRACKET) {
        PrvAdvance(ctx);
        PrvExpression(ctx);
        if (Failed(ctx)) return;
        if (ctx->lookahead.kind != tok::TRBRACKET) {
            PrvSyntaxError(ctx, "Syntax error: ']' expected.");
            return;
        }
        PrvAdvance(ctx);
    } else {
        PrvPush(ctx, tok::VAL, 4, 0, 0, ctx->lookahead.column, 0);
    }
    PrvSkipBlank(ctx);
    if (Failed(ctx)) return;

    if (ctx->lookahead.kind == tok::FLAGS) {
        PrvPushLookahead(ctx);
    } else {
        char* empty = HostStrDup("");
        if (!empty) {
            DbgPrint(ctx, "parse_line error: DbgAllocBuffer failed.\n");
            ctx->parseError = 1;
            return;
        }
        PrvPush(ctx, tok::FLAGS, 0, 0, 0, ctx->lookahead.column, 0, empty);
    }
}

void PrvTypedefDefinition(DbgContextType* ctx) {
    PrvSkipBlank(ctx);
    if (Failed(ctx)) return;
    if (ctx->lookahead.kind == tok::TSTRUCT) {
        PrvPush(ctx, tok::CMD, 0, dbgCmdBeginStruct, 0, ctx->lookahead.column, 0);
        if (Failed(ctx)) return;
        PrvAdvance(ctx);
        PrvSkipBlank(ctx);
        PrvRequireString(ctx);
    } else {
        PrvPush(ctx, tok::CMD, 0, dbgCmdTypedef, 0, ctx->lookahead.column, 0);
        PrvFieldDefinition(ctx);
    }
}

// "help [cmd]" and "? [cmd]" leave [asked command, help] or just [help].
void PrvHelpRequest(DbgContextType* ctx) {
    LexToken help = ctx->lookahead;
    PrvAdvance(ctx);
    PrvSkipBlank(ctx);
    if (Failed(ctx)) return;
    if (ctx->lookahead.kind == tok::CMD) {
        const LexToken& t = ctx->lookahead;
        PrvPush(ctx, t.kind, t.size, t.id, t.module, t.column, t.value);
    } else if (ctx->lookahead.kind != tok::TEOL) {
        PrvSyntaxError(ctx, "Syntax error: command name expected.");
        return;
    }
    if (Failed(ctx)) return;
    PrvPush(ctx, help.kind, help.size, help.id, help.module, help.column, help.value);
    if (!Failed(ctx)) PrvAdvance(ctx);
}

void PrvLine(DbgContextType* ctx) {
    LexToken& t = ctx->lookahead;
    switch (t.kind) {
        case tok::TTYPEDEF:
            PrvAdvance(ctx);
            PrvTypedefDefinition(ctx);
            break;
        case tok::TFIELD:
            PrvPush(ctx, tok::CMD, 0, dbgCmdDefineField, 0, t.column, 0);
            if (!Failed(ctx)) PrvAdvance(ctx);
            PrvFieldDefinition(ctx);
            break;
        case tok::ALIAS:
            if (ctx->aliasLine) {
                DbgPrint(ctx, "ERROR: alias nesting is not allowed.\n");
                ctx->parseError = 1;
                return;
            }
            PrvPush(ctx, tok::CMD, 0, dbgCmdExecuteAlias, 0, t.column, 0);
            if (!Failed(ctx)) PrvPushLookahead(ctx);
            break;
        default:
            if (t.kind == tok::CMD && t.id == dbgCmdHelp) {
                PrvHelpRequest(ctx);
                break;
            }
            {
                // The command keyword is not an argument: delimiters only separate arguments.
                bool leadingCommand = t.kind == tok::CMD;
                PrvArgument(ctx);
                while (!Failed(ctx) && ctx->lookahead.kind == tok::TBLANK) {
                    if (!leadingCommand) PrvPush(ctx, tok::DELIM, 0, 0, 0, ctx->lookahead.column, 0);
                    leadingCommand = false;
                    if (Failed(ctx)) return;
                    PrvAdvance(ctx);
                    PrvArgument(ctx);
                }
            }
            break;
    }
    PrvRequireEOL(ctx);
}

}  // namespace

int parse_init(DbgContextType* ctx) {
    DbgPrint(ctx, "Initializing parser...\n");
    auto* entries = static_cast<LexToken*>(DbgAllocBuffer(sizeof(LexToken) * kEvalStackEntries));
    if (!entries) {
        DbgPrint(ctx, "parse_init error: DbgAllocBuffer failed.\n");
        return 1;
    }
    EvalStackInit(&ctx->parseStack, entries, kEvalStackEntries);
    if (int err = KwdCreateTable(ctx)) return err;
    if (int err = FuncCreateTable(ctx)) return err;
    return lex_init(ctx);
}

void parse_close(DbgContextType* ctx) {
    parse_clear(ctx);
    DbgFreeBuffer(ctx->parseStack.entries);
    EvalStackInit(&ctx->parseStack, nullptr, 0);
    LexTokenClear(&ctx->repeatToken);
    SymDestroyTable(ctx);
    FuncDestroyTable(ctx);
    KwdDestroyTable(ctx);
}

LexToken* parse_insertEntry(DbgContextType* ctx, uint16_t kind, uint16_t size, uint16_t id, uint16_t module,
                            uint16_t column, uint32_t value, char* str) {
    LexToken entry{kind, size, id, module, column, value, str};
    LexToken* pushed = EvalStackPush(&ctx->parseStack, &entry);
    if (!pushed) {
        DbgPrint(ctx, "parse_insertEntry error: parse stack overflow.\n");
        DbgFreeBuffer(str);
    }
    return pushed;
}

void parse_clear(DbgContextType* ctx) {
    EvalStackClearAll(&ctx->parseStack);
    LexTokenClear(&ctx->lookahead);
    ctx->readPos = 0;
}

LexToken* parse_getEntry(DbgContextType* ctx, uint16_t index) {
    return EvalStackEntry(&ctx->parseStack, index);
}

int parse_line(DbgContextType* ctx) {
    ctx->parseError = 0;
    PrvAdvance(ctx);
    PrvSkipBlank(ctx);
    if (Failed(ctx)) return 1;

    if (ctx->lookahead.kind != tok::TEOL) {
        const LexToken& t = ctx->lookahead;
        ctx->repeatToken = LexToken{t.kind, t.size, t.id, t.module, t.column, t.value, nullptr};
        ctx->repeat = 0;
    } else if (ctx->repeatToken.kind == tok::CMD) {
        // An empty line repeats the last command, without its arguments.
        ctx->lookahead = ctx->repeatToken;
        ctx->repeat = 1;
    } else {
        return 0;
    }

    PrvLine(ctx);
    if (Failed(ctx)) return 1;
    if (ctx->lookahead.kind != tok::TEOL) {
        char name[16];
        DbgPrintf(ctx, "Parser error: unprocessed stream.  Lookahead = %s\n",
                  lex_tokenName(name, ctx->lookahead.kind));
        lex_showColumn(ctx, ctx->lookahead.column);
        return 1;
    }
    return 0;
}

}  // namespace quillwatch
