// The evaluator and the line runner: printed values, error texts with their carets, variables,
// registers and aliases, all through DbgExecuteLine.
#include <string>

#include "quillwatch/engine/lang/Lexer.h"
#include "quillwatch/engine/lang/SymbolTable.h"
#include "quillwatch/engine/lang/tests/LangTestSupport.h"

namespace quillwatch {
namespace {

class EvaluatorTest : public LangTest {};

struct LineCase {
    const char* line;
    const char* output;
};

TEST_F(EvaluatorTest, ExpressionValues) {
    const LineCase cases[] = {
        {"1+2", "$03  #3  #3  '.'\n"},
        {"FF+1", "$100  #256  #256  '.'\n"},  // the result keeps the larger size, unmasked
        {"41", "$41  #65  #65  'A'\n"},
        {"'AB'", "$4142  #16706  #16706  'AB'\n"},
        {"#1094861636", "$41424344  #1094861636  #1094861636  'ABCD'\n"},
        {"-1", "$ffffffff  #4294967295  #-1  '.'\n"},
        {"FFFF.s", "$ffffffff  #4294967295  #-1  '..'\n"},
        {"FF.s", "$ff  #255  #255  '.'\n"},
        {"12345678.w", "$5678  #22136  #22136  'Vx'\n"},
        {"1234.b", "$34  #52  #52  '4'\n"},
        {"1.l", "$00000001  #1  #1  '....'\n"},
        {"1.w+#70000", "$00011171  #70001  #70001  '...q'\n"},
        {"7*6", "$2a  #42  #42  '*'\n"},
        {"7/2", "$03  #3  #3  '.'\n"},
        {"F0&3C", "$30  #48  #48  '0'\n"},
        {"F0|F", "$ff  #255  #255  '.'\n"},
        {"F0^FF", "$0f  #15  #15  '.'\n"},
        {"~0.w", "$ffffffff  #4294967295  #-1  '..'\n"},
        {"2*(3+4)", "$0e  #14  #14  '.'\n"},
        {"true", "$01  #1  #1  '.'\n"},
        {"srSMask", "$2000  #8192  #8192  ' .'\n"},
        {"1 2", "$01  #1  #1  '.'\n$02  #2  #2  '.'\n"},
        {"\"hi\\n\"", "\"hi.\"\n"},
        {"\\opt", "\\opt\n"},
        // Segmented addresses: a short number is the high half; arithmetic wraps the low half.
        {"1000.a+10", "1000:0010\n"},
        {"10+1000.a", "1000:0010\n"},
        {"0000FFFF.a+1", "0000:0000\n"},
        {"1.a-1", "0001:ffff\n"},
        {"12345678.a", "1234:5678\n"},
        {"1000.a.w", "$0000  #0  #0  '..'\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.line), c.output) << c.line;
        EXPECT_EQ(status, 0) << c.line;
    }
}

TEST_F(EvaluatorTest, VerboseEntriesWithDebOut) {
    ctx->debOut = 1;
    const LineCase cases[] = {
        {"1+2", "VAL($00000003  $03  #3  #3  '.').b\n"},
        {"FFFF.s", "VAL($ffffffff  $ffffffff  #4294967295  #-1  '..').w\n"},
        {"1000.a", "ADDR(1000:0000).l\n"},
        {"\"s\"", "STR(\"s\")\n"},
        {"\\f", "FLAGS(\\f)\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Run(c.line), c.output) << c.line;
}

// Errors print the operation's prefix and message, the entry in verbose form, and the line with a
// caret under the entry; nothing of the line runs after them.
TEST_F(EvaluatorTest, ErrorTexts) {
    const LineCase cases[] = {
        {"10/0", "eval_binArithOp error: division by zero attempted:\nOP(dbgOpDiv)\n10/0\n  ^\n"},
        {"1000.a-1000.a",
         "eval_sub error: invalid operand(s) for:\nOP(dbgOpSubtract)\n1000.a-1000.a\n      ^\n"},
        {"1-1000.a", "eval_sub error: invalid operand(s) for:\nOP(dbgOpSubtract)\n1-1000.a\n ^\n"},
        {"\"a\"+1", "eval_add error: invalid operand(s) for: \nOP(dbgOpAdd)\n\"a\"+1\n   ^\n"},
        {"\"a\"*2", "eval_binArithOp error: invalid operand(s) for:\nOP(dbgOpMul)\n\"a\"*2\n   ^\n"},
        {"-\"s\"", "eval_signAndNot error: invalid operand for: \nOP(dbgOpUMinus)\n-\"s\"\n^\n"},
        {"\"s\".w", "eval_cast error: invalid operand for cast: \nOP(dbgOpCast).w\n\"s\".w\n   ^\n"},
        {"1=2", "eval_assign error: invalid left operand for:\nOP(dbgOpAssign)\n1=2\n ^\n"},
        {"@1000", "eval_deref error: not attached to remote.\nOP(dbgOpDeref).l\n@1000\n^\n"},
        {"1 PC",
         "eval_getRegValue error: not attached to remote.\nREG(PC).l\n1 PC\n  ^\n"
         "eval_evalEntries error: unhandled entry on eval stack:\nREG(PC).l\n1 PC\n  ^\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.line), c.output) << c.line;
        EXPECT_NE(status, 0) << c.line;
    }
}

TEST_F(EvaluatorTest, LinesOver256CharactersAreRefused) {
    EXPECT_EQ(Run(std::string(257, '1')), "ERROR: command line is too long.\n");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(Run(std::string(256, '1')), "$11111111  #286331153  #286331153  '....'\n");
}

TEST_F(EvaluatorTest, RegistersFollowTheStatusRegister) {
    ctx->regs.pc = 0x10C0;
    ctx->regs.usp = 0x100;
    ctx->regs.ssp = 0x200;
    ctx->regs.d[3] = 0x41424344;
    ctx->regs.a[6] = 0x7FF0;
    ctx->regs.sr = 0x2704;
    EXPECT_EQ(Run("Attached=1"), "$01  #1  #1  '.'\n");
    EXPECT_EQ(ctx->attached, 1);
    EXPECT_EQ(Run("PC"), "$000010c0  #4288  #4288  '....'\n");
    EXPECT_EQ(Run("SP"), "$00000200  #512  #512  '....'\n");  // supervisor: the SSP
    EXPECT_EQ(Run("SR"), "$2704  #9988  #9988  ''.'\n");
    EXPECT_EQ(Run("D3 A6+2"),
              "$41424344  #1094861636  #1094861636  'ABCD'\n$00007ff2  #32754  #32754  '....'\n");
    ctx->regs.sr = 0x0004;
    EXPECT_EQ(Run("A7"), "$00000100  #256  #256  '....'\n");  // user mode: the USP
}

TEST_F(EvaluatorTest, UserVariables) {
    ASSERT_EQ(lex_defineVar(ctx, "x", 1, 1, nullptr), 0);
    EXPECT_EQ(Run("x"), "$00000000  #0  #0  '....'\n");
    EXPECT_EQ(Run("x=5"), "$05  #5  #5  '.'\n");
    EXPECT_EQ(Run("x*2"), "$0a  #10  #10  '.'\n");
    EXPECT_EQ(Run("x=1000.a"), "1000:0000\n");
    EXPECT_EQ(Run("x+2"), "1000:0002\n");
    EXPECT_EQ(Run("x=\"text\""), "\"text\"\n");
    EXPECT_EQ(Run("x"), "\"text\"\n");

    ASSERT_EQ(lex_defineVar(ctx, "y", 1, 2, nullptr), 0);
    EXPECT_EQ(Run("x=y=3"), "$03  #3  #3  '.'\n");
    EXPECT_EQ(Run("x y"), "$03  #3  #3  '.'\n$03  #3  #3  '.'\n");

    ClearConsole();
    EXPECT_EQ(lex_defineVar(ctx, "x", 1, 1, nullptr), 0);
    EXPECT_EQ(Console(), "WARNING: redefining variable: x\n");
    EXPECT_EQ(Run("x"), "$00000000  #0  #0  '....'\n");

    const LineCase refused[] = {
        {"DebOut", "ERROR: illegal attempt to redefine a debugger variable.\n"},
        {"dm", "ERROR: illegal attempt to redefine symbol type.\n"},
        {"PC", "ERROR: illegal attempt to redefine symbol type.\n"},
    };
    for (const auto& c : refused) {
        ClearConsole();
        EXPECT_EQ(lex_defineVar(ctx, c.line, 1, 9, nullptr), 1);
        EXPECT_EQ(Console(), c.output) << c.line;
    }
    ClearConsole();
    EXPECT_EQ(lex_setVar(ctx, 1, 99, tok::VAL, 1, 0, nullptr), 1);
    EXPECT_EQ(Console(), "lex_setVar error: variable not found\n");
}

TEST_F(EvaluatorTest, DebuggerVariablesSetTheirFlags) {
    EXPECT_EQ(Run("DebOut SymbolsOn Attached"), "$00  #0  #0  '.'\n$01  #1  #1  '.'\n$00  #0  #0  '.'\n");
    EXPECT_EQ(Run("StepRegs=5"), "$05  #5  #5  '.'\n");
    EXPECT_EQ(ctx->stepRegs, 1);
    EXPECT_EQ(Run("ReadMemHack=\"yes\""), "\"yes\"\n");
    EXPECT_EQ(ctx->readMemHack, 1);
    Run("SymbolsOn=false");
    EXPECT_EQ(ctx->symbolsOn, 0);
    EXPECT_EQ(Run("DebOut=1"), "VAL($00000001  $01  #1  #1  '.').b\n");  // printed verbose at once
    EXPECT_EQ(ctx->debOut, 1);
    EXPECT_EQ(lex_setVar(ctx, 0, dbgVarDebOut, tok::VAL, 1, 0, nullptr), 0);
    EXPECT_EQ(ctx->debOut, 0);
}

// Redefining a variable frees both of its entries, and defining one whose value entry makes the
// table grow keeps the two joined.
TEST_F(EvaluatorTest, VariableEntriesAcrossRedefinitionAndGrowth) {
    auto used = [&] {
        int n = 0;
        for (int32_t i = 0; i < ctx->symbols->count; ++i) n += ctx->symbols->entries[i].name != nullptr;
        return n;
    };
    ASSERT_EQ(lex_defineVar(ctx, "x", 1, 1, nullptr), 0);
    int before = used();
    for (int i = 0; i < 300; ++i) ASSERT_EQ(lex_defineVar(ctx, "x", 1, 1, nullptr), 0);
    EXPECT_EQ(used(), before);

    // Leave exactly one free entry: the variable takes it and its value entry grows the table.
    for (int i = 0; used() < ctx->symbols->count - 1; ++i) {
        ASSERT_EQ(SymInstallSymbol(ctx, ("filler" + std::to_string(i)).c_str(), tok::VAL, 1, 0, 1, 0, nullptr,
                                   nullptr),
                  0);
    }
    int32_t count = ctx->symbols->count;
    ASSERT_EQ(lex_defineVar(ctx, "z", 1, 2, nullptr), 0);
    EXPECT_EQ(ctx->symbols->count, count + 20);
    EXPECT_EQ(Run("z=7"), "$07  #7  #7  '.'\n");
    EXPECT_EQ(Run("z"), "$07  #7  #7  '.'\n");
}

TEST_F(EvaluatorTest, Aliases) {
    ASSERT_EQ(lex_defineAlias(ctx, "two", "1+1\n  \n2+2", 1, 1), 0);
    EXPECT_EQ(Run("two"), "$02  #2  #2  '.'\n$04  #4  #4  '.'\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Run("TWO"), "$02  #2  #2  '.'\n$04  #4  #4  '.'\n");

    // Every line runs; the statuses are ORed. An alias inside an alias is refused.
    ASSERT_EQ(lex_defineAlias(ctx, "outer", "two\n1/0\n5", 1, 2), 0);
    EXPECT_EQ(Run("outer"),
              "ERROR: alias nesting is not allowed.\n"
              "eval_binArithOp error: division by zero attempted:\nOP(dbgOpDiv)\n1/0\n ^\n"
              "$05  #5  #5  '.'\n");
    EXPECT_NE(status, 0);
    EXPECT_EQ(Run("two", 1), "ERROR: alias nesting is not allowed.\n");

    // Redefinition replaces the text; other kinds of symbol cannot become aliases.
    ASSERT_EQ(lex_defineAlias(ctx, "two", "2", 1, 1), 0);
    EXPECT_EQ(Run("two"), "$02  #2  #2  '.'\n");
    const LineCase shown[] = {
        {"two", "2\n"},
        {"dm", "ERROR: not an alias.\n"},
        {"nothing", "ERROR: alias not found.\n"},
    };
    for (const auto& c : shown) {
        ClearConsole();
        lex_showAlias(ctx, c.line);
        EXPECT_EQ(Console(), c.output) << c.line;
    }
    ClearConsole();
    EXPECT_EQ(lex_defineAlias(ctx, "dm", "1", 1, 3), 1);
    EXPECT_EQ(Console(), "ERROR: illegal attempt to redefine symbol type.\n");
}

}  // namespace
}  // namespace quillwatch
