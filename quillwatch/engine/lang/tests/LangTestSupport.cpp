#include "quillwatch/engine/lang/tests/LangTestSupport.h"

#include <cstdio>

#include "quillwatch/engine/debugger/DebuggerContext.h"
#include "quillwatch/engine/lang/CommandModules.h"
#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/engine/lang/Lexer.h"
#include "quillwatch/engine/lang/Parser.h"
#include "quillwatch/engine/lang/tests/WindowText.h"
#include "standin/win32/WindowManager.h"

namespace quillwatch {

void LangTest::SetUp() {
    DbgInstallLanguageServices();
    ctx = static_cast<DbgContextType*>(DbgAllocBuffer(sizeof(DbgContextType)));
    ASSERT_NE(ctx, nullptr);
    ctx->console = win32::CreateWindowExA(0, win32::RICHEDIT_CLASSA, "Debugger", 0, 0, 0, 100, 100, nullptr,
                                          nullptr, nullptr, nullptr);
    ctx->symbolsOn = 1;
    ctx->lastTemplate[0] = 0xFFFF;
    ASSERT_EQ(module_createTable(ctx), 0);
    uint16_t id = kModuleDebugger;
    ASSERT_EQ(module_add(ctx, &id, "Nimbrel Debugger", 1), 0);
    ASSERT_EQ(module_initModule(ctx, id), 0) << Console();
    ClearConsole();
}

void LangTest::TearDown() {
    if (!ctx) return;
    if (ctx->modules) {
        EXPECT_EQ(module_closeModule(ctx, kModuleDebugger), 0) << Console();
    }
    EXPECT_EQ(ctx->keywords, nullptr) << "every name was released";
    win32::DestroyWindow(ctx->console);
    DbgFreeBuffer(ctx);
}

std::string LangTest::Console() {
    return WindowText(ctx->console);
}

void LangTest::ClearConsole() {
    win32::SetWindowTextA(ctx->console, "");
}

std::string LangTest::Run(const std::string& line, uint8_t aliasLine) {
    ClearConsole();
    status = DbgExecuteLine(ctx, line.c_str(), aliasLine);
    return Console();
}

namespace {

std::string Hex(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "%x", v);
    return b;
}

// VAL<size>=<hex>, CMD#<id>, REG#<id>, VAR#<id>, STR"<text>", FLAGS\<text>, TCAST<size>, TAT<size>,
// OP<code>[.<size>], other kinds by their token name.
std::string Word(const LexToken& t) {
    char name[16];
    switch (t.kind) {
        case tok::VAL:
            return "VAL" + std::to_string(t.size) + "=" + Hex(t.value);
        case tok::CMD:
        case tok::REG:
        case tok::VAR:
        case tok::ALIAS:
        case tok::TEMPLATE:
            return std::string(lex_tokenName(name, t.kind)) + "#" + std::to_string(t.id);
        case tok::STR:
            return std::string("STR\"") + (t.str ? t.str : "") + "\"";
        case tok::FLAGS:
            return std::string("FLAGS\\") + (t.str ? t.str : "");
        case tok::TCAST:
        case tok::TAT:
            return std::string(lex_tokenName(name, t.kind)) + std::to_string(t.size);
        case tok::OP:
            return "OP" + std::to_string(t.id) + (t.size ? "." + std::to_string(t.size) : "");
        case tok::DELIM:
            return "DELIM";
        default:
            return lex_tokenName(name, t.kind);
    }
}

}  // namespace

std::vector<std::string> LangTest::Scan(const std::string& line) {
    std::vector<std::string> words;
    ClearConsole();
    if (lex_loadLine(ctx, line.c_str(), 0) != 0) return {"REFUSED"};
    LexToken t{};
    for (int i = 0; i < 300; ++i) {
        lex_scan(&t, ctx);
        words.push_back(Word(t));
        if (t.kind == tok::TEOL || t.kind == tok::TERROR) break;
    }
    LexTokenClear(&t);
    return words;
}

std::string LangTest::Parse(const std::string& line) {
    ClearConsole();
    if (lex_loadLine(ctx, line.c_str(), 0) != 0) return "REFUSED";
    parse_clear(ctx);
    bool ok = parse_line(ctx) == 0;
    std::string out = ok ? "" : "FAIL";
    for (uint16_t i = 0; ok && i < ctx->parseStack.count; ++i) {
        if (i) out += ' ';
        out += Word(ctx->parseStack.entries[i]);
    }
    parse_clear(ctx);
    return out;
}

}  // namespace quillwatch
