// The scanner: tokens of every kind and radix, lexical errors with their caret, line loading.
#include <string>
#include <vector>

#include "quillwatch/engine/lang/Lexer.h"
#include "quillwatch/engine/lang/tests/LangTestSupport.h"

namespace quillwatch {
namespace {

using Words = std::vector<std::string>;

class ScannerTest : public LangTest {};

TEST_F(ScannerTest, TokensOfEveryKind) {
    ctx->dotAddress = 0x12345678;
    const struct {
        const char* line;
        Words words;
    } cases[] = {
        {"dm 1000 20", {"CMD#1", "TBLANK", "VAL2=1000", "TBLANK", "VAL1=20", "TEOL"}},
        {"DM", {"CMD#1", "TEOL"}},  // names compare without regard to case
        {"brc cl", {"CMD#10", "TBLANK", "CMD#10", "TEOL"}},
        {"add", {"VAL2=add", "TEOL"}},  // not a symbol, but hexadecimal digits
        {"ffz", {"VAL1=ff", "TERROR"}},
        {"12345", {"VAL4=12345", "TEOL"}},
        {"$-10", {"VAL1=fffffff0", "TEOL"}},
        {"$+-+1", {"VAL1=ffffffff", "TEOL"}},
        {"#5", {"VAL4=5", "TEOL"}},
        {"#4294967297", {"VAL4=1", "TEOL"}},  // 32 bits, wrapping
        {"%101", {"VAL1=5", "TEOL"}},
        {"%101010101", {"VAL2=155", "TEOL"}},
        {"%10101010101010101", {"VAL4=15555", "TEOL"}},
        {"'ab'", {"VAL2=6162", "TEOL"}},
        {"'a'", {"VAL1=61", "TEOL"}},
        {"'abc'", {"VAL4=616263", "TEOL"}},
        {"'psys'", {"VAL4=70737973", "TEOL"}},
        {"'psysX'", {"VAL4=70737973", "TEOL"}},
        {"'\\''", {"VAL1=27", "TEOL"}},
        {"\"a\\tb\"", {"STR\"a\tb\"", "TEOL"}},
        {"\"\\x41\\101\\q\\\"\\?\"", {"STR\"AAq\"?\"", "TEOL"}},
        {"\"\\a\\b\\f\\n\\r\\v\\\\\"", {"STR\"\a\b\f\n\r\v\\\"", "TEOL"}},
        {"\"\"", {"STR\"\"", "TEOL"}},
        {"\\si", {"FLAGS\\si", "TEOL"}},
        {"sym \\si \\x", {"CMD#74", "TBLANK", "FLAGS\\si", "TBLANK", "FLAGS\\x", "TEOL"}},
        {"PC sr d7 A6 sp",
         {"REG#5", "TBLANK", "REG#7", "TBLANK", "REG#135", "TBLANK", "REG#2054", "TBLANK", "REG#9", "TEOL"}},
        {"true srSMask", {"VAL1=1", "TBLANK", "VAL2=2000", "TEOL"}},
        {"typedef struct", {"TTYPEDEF", "TBLANK", "TSTRUCT", "TEOL"}},
        {"?", {"CMD#12", "TEOL"}},
        {".", {"VAL4=12345678", "TEOL"}},
        {"1.w", {"VAL1=1", "TCAST2", "TEOL"}},
        {"1.A.b.L.s", {"VAL1=1", "TCAST101", "TCAST1", "TCAST4", "TCAST102", "TEOL"}},
        {"1.q", {"VAL1=1", "VAL4=12345678", "TERROR"}},
        {"@1000", {"TAT4", "VAL2=1000", "TEOL"}},
        {"@.w1000", {"TAT2", "VAL2=1000", "TEOL"}},
        {"@.a@.b@.l", {"TAT101", "TAT1", "TAT4", "TEOL"}},
        {"&()*+-/=>[]^|~",
         {"TAMP", "TLPAREN", "TRPAREN", "TAST", "TPLUS", "TMINUS", "TFSLASH", "TEQUALS", "$000001f7  ",
          "$00000207  ", "$00000208  ", "TCARET", "TVBAR", "TTILDE", "TEOL"}},
        {";dm", {"TEOL"}},
        {"   ", {"TEOL"}},
        {"a ;c", {"VAL1=a", "TEOL"}},
        {"1\t \t2", {"VAL1=1", "TBLANK", "VAL1=2", "TEOL"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Scan(c.line), c.words) << c.line;
}

// Each lexical error prints its message, the line and a caret where the scanner stood.
TEST_F(ScannerTest, ErrorsShowTheirColumn) {
    const struct {
        const char* line;
        const char* output;
    } cases[] = {
        {"dm 10 xyz", "error: unknown lexeme.\ndm 10 xyz\n      ^\n"},
        {"1.q", "error: unknown lexeme.\n1.q\n  ^\n"},
        {"\tdb\t$g", "error: hex digits expected.\ndb\t$g\n  \t ^\n"},  // tabs stay tabs under the line
        {"#x", "error: decimal digits expected.\n#x\n ^\n"},
        {"%2", "error: binary digits expected.\n%2\n ^\n"},
        {"@.s", "Error: invalid deref size specifier.\n@.s\n   ^\n"},
        {"''", "error: character constant expected.\n''\n  ^\n"},
        {"\"abc", "error: unexpected end of line.\n\"abc\n    ^\n"},
        {"\"a\\0\"", "error: unexpected end of line.\n\"a\\0\"\n    ^\n"},  // an escape that gives 0
        {"\"\\xg\"", "error: hex digits expected.\n\"\\xg\"\n   ^\n"},
        {":", "Error: not attached to remote.\n:\n ^\n"},
        {"`", "error: unknown lexeme.\n`\n^\n"},
    };
    for (const auto& c : cases) {
        Words words = Scan(c.line);
        EXPECT_EQ(words.back(), "TERROR") << c.line;
        EXPECT_EQ(Console(), c.output) << c.line;
    }
    // The rest of the line is dropped.
    Scan("xyz 1");
    LexToken t{};
    EXPECT_EQ(lex_scan(&t, ctx)->kind, tok::TEOL);

    // With DebOut set, the scanning routine names itself first.
    ctx->debOut = 1;
    Scan("$g");
    EXPECT_EQ(Console(), "lex_gethex error: hex digits expected.\n$g\n ^\n");
    Scan("'abc");
    EXPECT_EQ(Console().substr(0, 51), "lex_getCharConstant error: unexpected end of line.\n");
}

TEST_F(ScannerTest, LinesAndStringsUpTo256Characters) {
    std::string longest(256, '1');
    EXPECT_EQ(Scan("  " + longest + "\t ").front(), "VAL4=11111111");
    EXPECT_EQ(Scan(longest + "1"), Words{"REFUSED"});
    EXPECT_EQ(Console(), "ERROR: command line is too long.\n");

    // A line stops at its 256th character even without a terminating zero in the buffer.
    std::string text(254, 'x');
    EXPECT_EQ(Scan("\"" + text + "\""), (Words{"STR\"" + text + "\"", "TEOL"}));
    EXPECT_EQ(Scan("\\" + std::string(255, 'f')), (Words{"FLAGS\\" + std::string(255, 'f'), "TEOL"}));
}

}  // namespace
}  // namespace quillwatch
