// A debugging session against the device simulator running its 68K program: breakpoints, continue,
// steps over and into calls, stack crawls, listings, templates and symbol files.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "quillwatch/engine/debugger/RunControl.h"
#include "quillwatch/engine/debugger/SymbolFiles.h"
#include "quillwatch/engine/debugger/tests/EngineTestSupport.h"

namespace quillwatch {
namespace {

using Lines = std::vector<std::string>;

std::string gShownFile;
uint32_t gShownLine = 0;

class RunTest : public EngineTest {
  protected:
    std::vector<std::string> SimulatorArgs() override { return {"--pattern", "0x0:0x20000", "--program"}; }
    void SetUp() override {
        EngineTest::SetUp();
        gDbgSourceHooks = DbgSourceHooks{};
        gDbgSourceHooks.showLine = [](const char* file, uint32_t line) {
            gShownFile = file;
            gShownLine = line;
        };
        gShownFile.clear();
        gShownLine = 0;
    }
    void TearDown() override {
        gDbgSourceHooks = DbgSourceHooks{};
        SymFileRemoveAll(ctx);
        for (const std::string& f : files) std::remove(f.c_str());
        EngineTest::TearDown();
    }
    void Attach() {
        Run("att");
        ASSERT_EQ(status, 0) << Debugger();
        ASSERT_EQ(ctx->attached, 1);
        Requests();
    }
    // A symbol file written by the simulator's independent writer.
    std::string SymbolFile(const std::string& variant = "") {
        char name[] = "/tmp/qwrun-sym-XXXXXX";
        int fd = mkstemp(name);
        close(fd);
        files.push_back(name);
        std::string command = "python3 " VANTOR_SOURCE_DIR "/quillwatch/devsim/coffsym.py " + std::string(name) +
                              (variant.empty() ? "" : " " + variant);
        EXPECT_EQ(std::system(command.c_str()), 0);
        return name;
    }
    std::vector<std::string> files;
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(RunTest, BreakpointContinueAndStackCrawl) {
    Attach();
    EXPECT_EQ(ctx->regs.pc, 0x10040u);
    EXPECT_EQ(Run("br 10084"), "Breakpoint set at 00010084 (PrvAdd+0004)\n");
    EXPECT_EQ(Requests(), (Lines{"breakpoints 00010084", "rtnname 00010084"}));
    EXPECT_EQ(Run("brd"), "00010084 (PrvAdd+0004)\n");

    // The device runs main into add and stops at the breakpoint.
    std::string out = Run("g");
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(Contains(out, "Remote stopped due to: EXCEPTION ID = $80\n'PrvAdd'\n")) << out;
    EXPECT_TRUE(Contains(out, "00010084")) << out;
    EXPECT_EQ(ctx->regs.pc, 0x10084u);
    EXPECT_EQ(ctx->attached, 1);

    // Two frames: add's (called from main at 1004C) and main's.
    out = Run("sc6");
    EXPECT_TRUE(Contains(out, "Calling chain using A6 Links:\n A6 Frame   Frame Size     Caller\n")) << out;
    EXPECT_TRUE(Contains(out, "00003FF4   #0000000008   0001004C  PrvMain+000C\n")) << out;
    out = Run("sc7");
    EXPECT_TRUE(Contains(out, "Return Addresses on the stack:\n Stack Addr   Caller\n")) << out;
    EXPECT_TRUE(Contains(out, "00003FF8     00010046  PrvMain+0006\n")) << out;

    // Six breakpoints: five for the user, then none is free; clearing one by address and all.
    for (const char* a : {"10040", "10044", "10046", "1004C"}) Run(std::string("br ") + a);
    EXPECT_EQ(Run("br 10050"), "Error: no more breakpoints can be set.\n");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(Run("br 10051"), "Error: illegal address.\n");
    EXPECT_EQ(Run("cl 10044"), "Breakpoint cleared at 00010044 (PrvMain+0004)\n");
    EXPECT_EQ(Run("cl 10044"), "Error: breakpoint not found(1).\n");
    EXPECT_EQ(Run("br \\toggle 10040"), "Breakpoint cleared at 00010040 (PrvMain+0000)\n");
    EXPECT_EQ(Run("cl"), "All breakpoints cleared\n");
    EXPECT_EQ(Run("brd"), "No breakpoints to display.\n");
}

TEST_F(RunTest, StepsOverAndIntoCalls) {
    Attach();
    // LINK and MOVEQ trace one instruction each.
    Run("t");
    EXPECT_EQ(ctx->regs.pc, 0x10044u);
    EXPECT_EQ(Requests(), (Lines{"continue pc=00010040 sr=A704"}));
    Run("t");
    EXPECT_EQ(ctx->regs.pc, 0x10046u);
    EXPECT_EQ(ctx->regs.d[0], 5u);
    // The JSR: a temporary breakpoint behind it; add runs whole.
    Requests();
    std::string out = Run("t");
    EXPECT_EQ(ctx->regs.pc, 0x1004Cu) << out;
    EXPECT_EQ(ctx->regs.d[0], 6u);
    EXPECT_EQ(Requests(), (Lines{"breakpoints 0001004C", "continue pc=00010046 sr=2700"}));
    EXPECT_EQ(ctx->breakpoints[5].address, 0u);  // the device cleared the temporary breakpoint

    // Go till main's end, then back to the JSR by a new PC, and step into add.
    Run("gt 10050");
    EXPECT_EQ(ctx->regs.pc, 0x10050u);
    EXPECT_EQ(Run("gt 10051"), "Error: illegal address.\n");
    ctx->regs.pc = 0x10046;
    ctx->instructionWordsAddress = 0;
    Run("s");
    EXPECT_EQ(ctx->regs.pc, 0x10080u);
    EXPECT_EQ(Run("g 10081"), "CmdDoContinueCmd error: illegal address.\n");
    // Commands that need a stopped device refuse once it runs.
    Run("att");
    ctx->attached = 0;
    EXPECT_EQ(Run("t"), "Error: not attached to remote.\n");
}

TEST_F(RunTest, InstructionListAndRepeat) {
    Attach();
    std::string out = Run("il 10040 4");
    EXPECT_TRUE(Contains(out, "'PrvMain'\n")) << out;
    EXPECT_TRUE(Contains(out, "LINK")) << out;
    EXPECT_TRUE(Contains(out, "MOVEQ")) << out;
    EXPECT_TRUE(Contains(out, "JSR")) << out;
    EXPECT_EQ(ctx->lastAddress, 0x1004Eu);  // LINK, MOVEQ, JSR, MOVEQ
    // An empty line goes on where the listing ended.
    out = Run("");
    EXPECT_TRUE(Contains(out, "0001004E   UNLK")) << out;
}

TEST_F(RunTest, TemplatesLayOutAndDisplayMemory) {
    Attach();
    Run("typedef struct \"Pair\"");
    Run("> Char \"c\"");
    Run("> UInt16 \"w\"");
    Run("> Int16 \"s\"");
    Run("typeend");
    EXPECT_EQ(status, 0);
    std::string out = Run("sizeof Pair");
    EXPECT_TRUE(Contains(out, "Size = 6 byte(s)\n")) << out;
    EXPECT_TRUE(Contains(out, "00000002    UInt16     w\n")) << out;
    EXPECT_EQ(Run("sizeof UInt8"), "00000000  UInt8\nSize = 1 byte(s)\n");

    // Memory at 0x10080 is 4E 56 00 00 52 80: 'N', $0, and Int16 $5280.
    Run("sw 10084 FFFE");
    out = Run("dm 10080 2 Pair");
    EXPECT_TRUE(Contains(out, "00010080    Char       c = 'N'\n")) << out;
    EXPECT_TRUE(Contains(out, "00010084    Int16      s = $-2\n")) << out;
    EXPECT_TRUE(Contains(out, "00010086  Pair\n")) << out;  // the second element follows the first
    EXPECT_EQ(ctx->lastAddress, 0x1008Cu);

    // Byte-only structs and arrays are not aligned; a struct cannot contain itself.
    Run("typedef struct \"Bytes\"");
    Run("> Char \"c1\"");
    Run("> Char \"a1\" [2]");
    Run("typeend");
    EXPECT_TRUE(Contains(Run("sizeof Bytes"), "Size = 3 byte(s)\n"));
    Run("typedef struct \"Node\"");
    EXPECT_EQ(Run("> Node \"self\""), "ERROR: empty base type for: self\n");
    Run("> Node @ \"next\"");
    Run("> Node \"inner\"");
    Run("typeend");
    EXPECT_EQ(Run("sizeof Node"), "ERROR: circular template definition: Node\n");
    EXPECT_EQ(status, 1);
    // Aliases that refer to each other in a ring are stopped as well.
    Run("typedef UInt8 \"A\"");
    Run("typedef A \"B\"");
    Run("typedef B \"A\"");
    EXPECT_TRUE(Contains(Run("sizeof A"), "ERROR: circular template definition"));

    const struct {
        const char* line;
        const char* output;
    } errors[] = {
        {"typedef UInt8 \"UInt16\"", "ERROR: illegal attempt to redefine a primitive template.\n"},
        {"> UInt8 \"x\"", "ERROR: field definition outside template block.\n"},
        {"typeend", "ERROR: mismatched end of structure.\n"},
        {"> UInt8 \"x\" \\q", "ERROR: illegal field flag: 'q'\n"},
    };
    for (const auto& e : errors) EXPECT_EQ(Run(e.line), e.output) << e.line;
}

TEST_F(RunTest, SymbolFileGivesTheSourceLineAtTheStop) {
    Attach();
    const std::string path = SymbolFile();
    std::string out = Run("sym \\addf 10040 0 \"" + path + "\"");
    EXPECT_EQ(out, "\nUsing symbol file: " + path + "\n");
    EXPECT_EQ(Run("sym \\i 10084"), "main.c : add_numbers() + 00000004 : 21\n");
    EXPECT_EQ(Run("sym \\i 10090"), "main.c : add_numbers() + 00000010 : 22\n");  // one past the end
    EXPECT_EQ(Run("sym \\i 10091"), "Error: not found\n");

    // Continuing to a breakpoint shows the line of the stop and the locals of the function.
    std::vector<SymLocal> locals;
    static std::vector<SymLocal>* shownLocals;
    shownLocals = &locals;
    gSymLocalsHook = [](const std::vector<SymLocal>& rows) { *shownLocals = rows; };
    Run("br 10084");
    Run("g");
    gSymLocalsHook = nullptr;
    EXPECT_EQ(gShownFile, "main.c");
    EXPECT_EQ(gShownLine, 21u);
    ASSERT_EQ(locals.size(), 2u);
    EXPECT_EQ(locals[0].name, "x");
    EXPECT_EQ(locals[1].name, "tmp");

    // A source step over goes on while the stop stays on line 21... and ends on line 22.
    Run("cl");
    Run("sym \\so");
    IdleUntil([&] { return ctx->attached && ctx->regs.pc != 0x10084; });
    EXPECT_EQ(ctx->regs.pc, 0x10086u);

    // The dump names the file, its sections and its function symbols.
    out = Run("sym \\dumpCode");
    EXPECT_TRUE(Contains(out, "\nName: " + path)) << out;
    EXPECT_TRUE(Contains(out, "add_numbers")) << out;
    // Loading the same path again keeps one entry.
    Run("sym \\addf 10040 0 \"" + path + "\"");
    int count = 0;
    for (SymFile* f = gSymFiles; f; f = f->next) ++count;
    EXPECT_EQ(count, 1);
    Run("sym \\reset");
    EXPECT_EQ(gSymFiles, nullptr);
}

TEST_F(RunTest, BrokenSymbolFilesAreRefused) {
    const struct {
        const char* variant;
        const char* reason;
    } cases[] = {{"--bad-magic", "Bad signature"}, {"--bad-lines", "Bad line count"}, {"--truncated", "Bad symbol table"}};
    for (const auto& c : cases) {
        const std::string path = SymbolFile(c.variant);
        EXPECT_EQ(Run("sym \\addf 10040 0 \"" + path + "\""),
                  "\nUsing symbol file: " + path + "\nError: SymFileAdd: Invalid symbol file: " + path + ". " + c.reason +
                      "\n")
            << c.variant;
        EXPECT_EQ(gSymFiles, nullptr);
    }
}

TEST_F(RunTest, TrapBreaksAndTheDeviceTables) {
    Attach();
    Run("atr \"SysTaskDelay\" A0A0");
    std::string out = Run("atb A0A0");
    EXPECT_EQ(out, "A-trap set on a0a0 (SysTaskDelay)\n");
    EXPECT_EQ(Run("atb A0A0"), "A-trap on a0a0 (SysTaskDelay) is already set\n");
    out = Run("atd");
    EXPECT_TRUE(Contains(out, "Displaying A-Traps:\n")) << out;
    EXPECT_TRUE(Contains(out, "SysTaskDelay                      $A0A0   none")) << out;
    EXPECT_EQ(Run("atc A0A0"), "A-Trap on a0a0 (SysTaskDelay) Cleared\n");
    EXPECT_EQ(Run("atc A0A0"), "This A-Trap is not currently set.\n");
    EXPECT_EQ(Run("atd"), "Displaying A-Traps:\n  There are no A-Traps currently set.\n");

    // A device without trap conditions is asked once.
    Control("noconditions");
    Requests();
    Run("atd");
    Run("atd");
    int unanswered = 0;
    for (const std::string& r : Requests()) unanswered += r == "conditions unanswered";
    EXPECT_EQ(unanswered, 1);

    // The trap table gives routine addresses; a trap past its end gives none.
    Run("atr \"FifthTrap\" A005");
    out = Run("wh \"FifthTrap\"");
    EXPECT_TRUE(Contains(out, "FifthTrap                         $A005   none    00012050\n")) << out;
    EXPECT_EQ(ctx->dotAddress, 0x12050u);
    Run("atr \"FarTrap\" A7FF");
    out = Run("wh \"FarTrap\"");
    EXPECT_TRUE(Contains(out, "FarTrap                           $A7FF   none    \n")) << out;

    out = Run("lib");
    EXPECT_EQ(out,
              "Refnum    Dispatcher  Globals    Name\n-----------------------------------------\n"
              "0001      00009100    00001234   TestLib\n");
    EXPECT_EQ(Run("dx"), "User Breaks Disabled\n");
    EXPECT_EQ(Run("dx"), "User Breaks Enabled\n");
}

TEST_F(RunTest, CommandsWithoutADevice) {
    const struct {
        const char* line;
        const char* output;
    } cases[] = {
        {"flash 1 2", "Error: flash not enabled in this build of the debugger.\n"},
        {"validate", "Error: validate not enabled in this build of the debugger.\n"},
        {"help gt",
         "Sets a temporary breakpoint at addr and resumes execution from the current program counter.\n"
         "Syntax: gt <addr>\n"},
        {"alias \"two\" \"1+1\"", ""},
        {"two", "$02  #2  #2  '.'\n"},
        {"var \"count\" 5", ""},
        {"count", "$05  #5  #5  '.'\n"},
        {"bootstrap \"a\" \"b\"", "Error: bootstrap not enabled in this build of the debugger.\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Run(c.line), c.output) << c.line;
    // The summary: ";" at column 36, 40 in the find lines, 51 for wh, 52 in the template section,
    // where typeend has a tab at column 50 and a blank before the ";".
    const std::string summary = Run("help");
    for (const char* line : {"  att                               ;Attach to Remote\n",
                             "  dm <addr> [<count>] [<template>]  ;Display Memory\n",
                             "  reset                             ;Reset the Nimbrel\n",
                             "  {help <cmd>} | {<cmd> ?}          ;Display debugger command help\n"})
        EXPECT_TRUE(Contains(summary, line)) << line << summary;
    const struct {
        const char* start;
        size_t column;
    } columns[] = {{"\n  fb ", 40}, {"\n  ft ", 40}, {"\n  wh ", 51}, {"\n  sizeof ", 52}, {"\n  typeend", 52}, {"\n  reg", 36}};
    for (const auto& c : columns) {
        const size_t at = summary.find(c.start);
        ASSERT_NE(at, std::string::npos) << c.start;
        EXPECT_EQ(summary.find(';', at) - at - 1, c.column) << c.start;
    }
    const size_t typeend = summary.find("\n  typeend") + 1;
    EXPECT_EQ(summary.substr(typeend + 50, 3), "\t ;");
    for (const char* heading : {"Flow Control Commands\n", "\n\nMemory Commands\n", "\n\nTemplate Commands\n",
                                "\n\nRegister Commands\n", "\n\nUtility Commands\n", "\n\nConsole Commands\n",
                                "\n\nMiscellaneous Debugger Commands\n", "\n\nDebugger Environment Variables:\n",
                                "\n\nPredefined Constants:\n"})
        EXPECT_TRUE(Contains(summary, heading)) << heading;
    EXPECT_TRUE(Contains(Run("aliases"), "two\n"));
    EXPECT_TRUE(Contains(Run("templates"), "UInt32\n"));
}

}  // namespace
}  // namespace quillwatch
