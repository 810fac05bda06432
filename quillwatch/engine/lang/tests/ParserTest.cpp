// The parser: postfix stacks for every line shape and operator level, and the syntax errors.
#include <string>

#include "quillwatch/engine/lang/Lexer.h"
#include "quillwatch/engine/lang/Parser.h"
#include "quillwatch/engine/lang/SymbolTable.h"
#include "quillwatch/engine/lang/tests/LangTestSupport.h"

namespace quillwatch {
namespace {

class ParserTest : public LangTest {
  protected:
    void SetUp() override {
        LangTest::SetUp();
        ASSERT_EQ(lex_defineVar(ctx, "x", 1, 1, nullptr), 0);
        ASSERT_EQ(lex_defineVar(ctx, "y", 1, 2, nullptr), 0);
        // The primitive template Char (module 0, id 1) is installed at start-up.
        ASSERT_NE(SymFindById(ctx, tok::TEMPLATE, 0, 1), nullptr);
        ASSERT_EQ(lex_defineAlias(ctx, "two", "1+1", 1, 1), 0);
    }
};

TEST_F(ParserTest, PostfixStacks) {
    const struct {
        const char* line;
        const char* stack;
    } cases[] = {
        {"dm 1000 20", "CMD#1 VAL2=1000 DELIM VAL1=20"},
        {"1 2", "VAL1=1 DELIM VAL1=2"},
        {"1+2*3", "VAL1=1 VAL1=2 VAL1=3 OP5 OP1"},
        {"(1+2)*3", "VAL1=1 VAL1=2 OP1 VAL1=3 OP5"},
        {"1-2-3", "VAL1=1 VAL1=2 OP2 VAL1=3 OP2"},
        {"8/4/2", "VAL1=8 VAL1=4 OP6 VAL1=2 OP6"},
        {"1|2^3&4+5", "VAL1=1 VAL1=2 VAL1=3 VAL1=4 VAL1=5 OP1 OP7 OP9 OP8"},
        {"1&2|3", "VAL1=1 VAL1=2 OP7 VAL1=3 OP8"},
        {"x=y=3", "VAR#1 VAR#2 VAL1=3 OP12 OP12"},
        {"x=1|2", "VAR#1 VAL1=1 VAL1=2 OP8 OP12"},
        {"@.w1000", "VAL2=1000 OP13.101 OP11.2"},
        {"-@1000", "VAL2=1000 OP13.101 OP11.4 OP4"},
        {"-~+1", "VAL1=1 OP3 OP10 OP4"},
        {"-1.w", "VAL1=1 OP13.2 OP4"},  // suffixes bind tighter than prefix operators
        {"10.b.w", "VAL1=10 OP13.1 OP13.2"},
        {"(1+2).a", "VAL1=1 VAL1=2 OP1 OP13.101"},
        {"PC=PC+2", "REG#5 REG#5 VAL1=2 OP1 OP12"},
        {"\"s\" \\f", "STR\"s\" DELIM FLAGS\\f"},
        {"sym \\si", "CMD#74 FLAGS\\si"},
        {"help dm", "CMD#1 CMD#12"},
        {"?", "CMD#12"},
        {"? il", "CMD#2 CMD#12"},
        {"dm ?", "CMD#1 CMD#12"},
        {"two", "CMD#1003 ALIAS#1"},
        {"typedef struct \"rec\"", "CMD#1000 STR\"rec\""},
        {"> Char @ @ \"f\" [1+2] \\-$", "CMD#1001 TEMPLATE#1 VAL4=2 STR\"f\" VAL1=1 VAL1=2 OP1 FLAGS\\-$"},
        {">Char \"g\"", "CMD#1001 TEMPLATE#1 VAL4=0 STR\"g\" VAL4=0 FLAGS\\"},
        {"typedef Char @ \"p\"", "CMD#1002 TEMPLATE#1 VAL4=1 STR\"p\" VAL4=0 FLAGS\\"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Parse(c.line), c.stack) << c.line << "\n" << Console();
}

// Syntax errors print the message, the lookahead's name, the line and a caret under the lookahead.
TEST_F(ParserTest, SyntaxErrors) {
    const struct {
        const char* line;
        const char* output;
    } cases[] = {
        {"(1", "Syntax error: ')' expected.  Lookahead = TEOL\n(1\n  ^\n"},
        {"1 + 2", "Syntax error: unexpected token.  Lookahead = TBLANK\n1 + 2\n   ^\n"},
        {"help 5", "Syntax error: command name expected.  Lookahead = VAL\nhelp 5\n     ^\n"},
        {"two x", "Syntax error: end of line expected.  Lookahead = TBLANK\ntwo x\n   ^\n"},
        {"1)", "Syntax error: end of line expected.  Lookahead = TRPAREN\n1)\n ^\n"},
        {"typedef struct 12",
         "Syntax error: name string expected.  Lookahead = VAL\ntypedef struct 12\n"
         "               ^\n"},
        {"> nochar \"f\"", "Syntax error: template name expected.  Lookahead = VAR\n> nochar \"f\"\n  ^\n"},
        {"> Char \"f\" [2",
         "Syntax error: ']' expected.  Lookahead = TEOL\n> Char \"f\" [2\n             ^\n"},
        {"dm (", "Syntax error: unexpected token.  Lookahead = TEOL\ndm (\n    ^\n"},
        {"dm xyz", "error: unknown lexeme.\ndm xyz\n   ^\n"},  // a scanner error stops the line
    };
    // "nochar" is a variable here, so the field line meets a VAR where it needs a template.
    ASSERT_EQ(lex_defineVar(ctx, "nochar", 1, 3, nullptr), 0);
    for (const auto& c : cases) {
        EXPECT_EQ(Parse(c.line), "FAIL") << c.line;
        EXPECT_EQ(Console(), c.output) << c.line;
    }

    // An alias name on a line that an alias runs.
    ClearConsole();
    ASSERT_EQ(lex_loadLine(ctx, "two", 1), 0);
    EXPECT_NE(parse_line(ctx), 0);
    EXPECT_EQ(Console(), "ERROR: alias nesting is not allowed.\n");
}

TEST_F(ParserTest, EmptyLineRepeatsTheLastCommand) {
    EXPECT_EQ(Parse("dm 1000"), "CMD#1 VAL2=1000");
    EXPECT_EQ(ctx->repeat, 0);
    EXPECT_EQ(Parse(""), "CMD#1");
    EXPECT_EQ(ctx->repeat, 1);
    EXPECT_EQ(Parse(";just a comment"), "CMD#1");
    EXPECT_EQ(Parse("1+2"), "VAL1=1 VAL1=2 OP1");
    EXPECT_EQ(ctx->repeat, 0);
    EXPECT_EQ(Parse(""), "");
}

TEST_F(ParserTest, StackOverflowStopsTheLine) {
    std::string line = "1";
    for (int i = 0; i < 64; ++i) line += "+1";  // 129 entries
    EXPECT_EQ(Parse(line), "FAIL");
    EXPECT_EQ(Console(), "parse_insertEntry error: parse stack overflow.\n");
    line.resize(line.size() - 2);  // 127 entries
    EXPECT_NE(Parse(line), "FAIL");
}

}  // namespace
}  // namespace quillwatch
