// The name pool, the symbol table, the command modules and the routine-name function table.
#include <string>

#include "quillwatch/engine/lang/CommandModules.h"
#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/engine/lang/FunctionTable.h"
#include "quillwatch/engine/lang/SymbolTable.h"
#include "quillwatch/engine/lang/tests/LangTestSupport.h"

namespace quillwatch {
namespace {

class TablesTest : public LangTest {};

TEST_F(TablesTest, BuiltInVocabularyAndInstallErrors) {
    // 104 rows, the 7 primitive templates and the 5 debugger variables (each with its value entry)
    // made the table grow from 100 to 140 entries; the rows kept their indexes.
    EXPECT_EQ(ctx->symbols->count, 140);
    EXPECT_EQ(SymEntryPtrToIndex(ctx, SymFindByName(ctx, "dm")), 0);
    EXPECT_EQ(SymEntryPtrToIndex(ctx, SymFindByName(ctx, "srCMask")), 103);
    EXPECT_STREQ(SymNameById(ctx, tok::CMD, 0, 10), "cl");  // cl and brc share id 10
    EXPECT_STREQ(SymNameById(ctx, tok::REG, 0, 9), "A7");
    EXPECT_EQ(SymFindByName(ctx, ""), nullptr);

    const struct {
        std::string name;
        int result;
        std::string output;
    } cases[] = {
        {"DM", 1, "ERROR: keyword exists!:  DM\n"},
        {std::string(32, 'k'), 0, ""},
        {std::string(33, 'k'), 1, "ERROR: keyword is too long!:  " + std::string(33, 'k') + "\n"},
    };
    for (const auto& c : cases) {
        ClearConsole();
        EXPECT_EQ(SymInstallSymbol(ctx, c.name.c_str(), tok::CMD, 1, 500, 0, 0, nullptr, nullptr), c.result);
        EXPECT_EQ(Console(), c.output);
    }

    ClearConsole();
    SymListKind(ctx, tok::VAR);
    EXPECT_EQ(Console(), "DebOut\nSymbolsOn\nReadMemHack\nStepRegs\nAttached\n");

    ClearConsole();
    EXPECT_EQ(SymEntryIndexToPtr(ctx, ctx->symbols->count), nullptr);
    int local = 0;
    EXPECT_EQ(SymEntryPtrToIndex(ctx, reinterpret_cast<SymEntryType*>(&local)), -1);
    EXPECT_EQ(Console(),
              "ERROR in SymEntryIndexToPtr: entry index out of bounds.\n"
              "ERROR in SymEntryPtrToIndex: entry pointer out of bounds.\n");
}

TEST_F(TablesTest, NamePoolBucketsAndReferences) {
    // A pool of its own, so that the listing is short.
    DbgContextType bare{};
    bare.console = ctx->console;
    ASSERT_EQ(KwdCreateTable(&bare), 0);
    KwdNode* ab = KwdIntern(&bare, "ab");
    KwdIntern(&bare, "cd");
    KwdIntern(&bare, "x");
    EXPECT_EQ(KwdIntern(&bare, "AB"), ab);  // one node, two references
    ClearConsole();
    KwdList(&bare);
    EXPECT_EQ(Console(), "x\ncd\nab\n");  // by length, newest first
    EXPECT_FALSE(KwdRelease(&bare, ab, false));
    EXPECT_EQ(KwdFind(&bare, "ab"), ab);
    ClearConsole();
    EXPECT_EQ(KwdDestroyTable(&bare), 1);
    EXPECT_EQ(Console(), "KwdDestroyTable error: keyword table is not empty.\n");
    EXPECT_TRUE(KwdRelease(&bare, ab, false));
    EXPECT_EQ(KwdFind(&bare, "ab"), nullptr);
    KwdRelease(&bare, KwdFind(&bare, "cd"), true);
    KwdRelease(&bare, KwdFind(&bare, "x"), true);
    EXPECT_EQ(KwdDestroyTable(&bare), 0);

    // A name used by a symbol and a routine survives the removal of the symbol.
    ASSERT_EQ(SymInstallSymbol(ctx, "shared", tok::VAL, 1, 1, 1, 0, nullptr, nullptr), 0);
    ASSERT_EQ(FuncAdd(ctx, "shared", 0x123, nullptr, kFuncAnySelector), 0);
    SymRemove(ctx, SymFindByName(ctx, "shared"));
    EXPECT_EQ(SymFindByName(ctx, "shared"), nullptr);
    EXPECT_NE(KwdFind(ctx, "shared"), nullptr);
    EXPECT_EQ(FuncGetByName(ctx, "SHARED", nullptr, nullptr), 0x123);
}

uint16_t gExecutedId = 0;
uint16_t TestModuleExecute(DbgContextType* ctx, uint16_t) {
    gExecutedId = DbgEvalArg(ctx, 0)->id;
    return DbgEvalArg(ctx, 1) ? static_cast<uint16_t>(DbgEvalArg(ctx, 1)->value) : 0;
}

TEST_F(TablesTest, CommandModules) {
    // A command of the user-defined module has no one to run it.
    ASSERT_EQ(SymInstallSymbol(ctx, "usercmd", tok::CMD, kModuleUser, 7, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(Run("usercmd"),
              "module_executeCommand error: execute command function is not exported by: User-defined\n");
    EXPECT_EQ(status, 1);

    // Ids the debugger does not handle go to a module that executes commands.
    uint16_t id = kModuleAnyFree;
    ASSERT_EQ(module_add(ctx, &id, "Sound", 1), 0);
    EXPECT_EQ(id, 2);
    ctx->modules[id].execute = TestModuleExecute;
    EXPECT_EQ(Run("SetVolume 3"), "");
    EXPECT_EQ(gExecutedId, 5001);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(Run("Play"), "");  // the debugger's own "does nothing"
    EXPECT_EQ(gExecutedId, 5001);

    const struct {
        uint16_t (*call)(DbgContextType*, uint16_t);
        uint16_t id;
        const char* output;
    } calls[] = {
        {module_executeCommand, 25,
         "module_idToDescr error: module id out of bounds.\nmodule_executeCommand error: invalid module "
         "id.\n"},
        {module_initModule, 7, "module_initModule error: module is free.\n"},
        {module_closeModule, 8, "module_closeModule error: module is free.\n"},
    };
    for (const auto& c : calls) {
        ClearConsole();
        EXPECT_EQ(c.call(ctx, c.id), 1);
        EXPECT_EQ(Console(), c.output);
    }
    ClearConsole();
    EXPECT_EQ(module_varChanged(ctx, 9, 1, nullptr), 1);
    EXPECT_EQ(Console(), "module_varChanged error: module is free.\n");

    ClearConsole();
    uint16_t zero = kModuleDebugger;
    EXPECT_EQ(module_add(ctx, &zero, "Again", 1), 1);
    EXPECT_EQ(Console(), "module_add error: module descriptor is already in use.\n");
    for (int i = 3; i < kModuleCount; ++i) {
        id = kModuleAnyFree;
        ASSERT_EQ(module_add(ctx, &id, "filler", 0), 0);
    }
    ClearConsole();
    id = kModuleAnyFree;
    EXPECT_EQ(module_add(ctx, &id, "one too many", 0), 1);
    EXPECT_EQ(Console(), "module_add error: out of module descriptors.\n");

    uint16_t kind = 9;
    EXPECT_EQ(module_remove(ctx, 2, &kind), 0);
    EXPECT_EQ(kind, 1);
    ClearConsole();
    EXPECT_EQ(module_remove(ctx, 2, &kind), 1);
    EXPECT_EQ(Console(), "module_remove error: module is already free.\n");
}

TEST_F(TablesTest, RoutineNames) {
    ASSERT_EQ(FuncAdd(ctx, "MemPtrNew", 0x013, nullptr, kFuncAnySelector), 0);
    ClearConsole();
    ASSERT_EQ(FuncAdd(ctx, "MemPtrNew", 0x014, nullptr, kFuncAnySelector), 0);
    EXPECT_EQ(Console(), "WARNING: redefining trap number for MemPtrNew\n");
    ClearConsole();
    ASSERT_EQ(FuncAdd(ctx, "MemHandleNew", 0x014, nullptr, kFuncAnySelector), 0);
    EXPECT_EQ(Console(), "WARNING: redefining routine name for trap $0014\n");
    ClearConsole();
    ASSERT_EQ(FuncAdd(ctx, "memhandlenew", 0x014, nullptr, kFuncAnySelector), 0);  // same name: quiet
    EXPECT_EQ(Console(), "");
    int32_t index;
    EXPECT_NE(FuncFirst(ctx, nullptr, nullptr, &index), nullptr);
    EXPECT_EQ(FuncNext(ctx, nullptr, nullptr, &index), nullptr);  // one entry left
    EXPECT_EQ(FuncGetByName(ctx, "MemPtrNew", nullptr, nullptr), kFuncNoTrap);

    ASSERT_EQ(FuncAdd(ctx, "AnySel", 0x300, nullptr, kFuncAnySelector), 0);
    ASSERT_EQ(FuncAdd(ctx, "Sel5", 0x301, nullptr, 5), 0);
    ASSERT_EQ(FuncAdd(ctx, "LibOpen", 0x801, "NetLib", kFuncAnySelector), 0);
    const struct {
        uint16_t trap;
        const char* library;
        uint16_t selector;
        const char* name;
    } lookups[] = {
        {0x300, nullptr, 9, "AnySel"},   {0x301, nullptr, 5, "Sel5"},   {0x301, nullptr, 6, nullptr},
        {0x801, "NetLib", 0, "LibOpen"}, {0x801, "netlib", 0, nullptr}, {0x801, nullptr, 0, nullptr},
    };
    for (const auto& l : lookups) {
        const char* name = FuncNameByTrap(ctx, l.trap, l.library, l.selector);
        if (l.name) {
            EXPECT_STREQ(name, l.name);
        } else {
            EXPECT_EQ(name, nullptr);
        }
    }
    const char* library = nullptr;
    uint16_t selector = 0;
    EXPECT_EQ(FuncGetByName(ctx, "libopen", &library, &selector), 0x801);
    EXPECT_STREQ(library, "NetLib");
    EXPECT_EQ(selector, kFuncAnySelector);

    // The 51st entry grows the table to 70; iteration keeps index order.
    for (int i = 0; i < 47; ++i)
        ASSERT_EQ(FuncAdd(ctx, ("Fn" + std::to_string(i)).c_str(), 0x400 + i, nullptr, 0), 0);
    EXPECT_EQ(ctx->functions->count, 70);
    int n = 0;
    uint16_t trap;
    for (const char* name = FuncFirst(ctx, &trap, nullptr, &index); name;
         name = FuncNext(ctx, &trap, nullptr, &index)) {
        ++n;
        if (n == 51) {
            EXPECT_STREQ(name, "Fn46");
        }
    }
    EXPECT_EQ(n, 51);
}

}  // namespace
}  // namespace quillwatch
