// The debugger engine against the device simulator over real TCP: attaching, display memory,
// registers, memory writes, find, routine names, idle processing, and a device that answers wrongly.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "quillwatch/engine/debugger/DebuggerContext.h"
#include "quillwatch/engine/debugger/RemoteCommands.h"
#include "quillwatch/engine/debugger/tests/EngineTestSupport.h"
#include "quillwatch/engine/lang/CommandModules.h"
#include "quillwatch/link/DebuggerServices.h"
#include "quillwatch/link/LinkSelector.h"

namespace quillwatch {
namespace {

using Lines = std::vector<std::string>;

std::string FirstLines(const std::string& text, int n) {
    size_t end = 0;
    for (int i = 0; i < n && end != std::string::npos; ++i) end = text.find('\n', end + (i ? 1 : 0));
    return end == std::string::npos ? text : text.substr(0, end + 1);
}

class DebuggerTest : public EngineTest {
  protected:
    void Attach() {
        Run("att");
        ASSERT_EQ(status, 0) << Debugger();
        ASSERT_EQ(ctx->attached, 1);
        Requests();
    }
};

TEST_F(DebuggerTest, AttachShowsTheStop) {
    EXPECT_EQ(Text(registers), "");
    EXPECT_EQ(Run("att"),
              "Remote stopped due to: NMI EXCEPTION\n'PrvStart'\n"
              "  +$0040  00010040  *MULU.W    D7,D0                                     | C0C7 \n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Requests(), Lines{"state"});
    EXPECT_EQ(Run("Attached"), "$01  #1  #1  '.'\n");
    EXPECT_EQ(Text(registers),
              "D0: D0000000\nD1: D0000001\nD2: D0000002\nD3: D0000003\nD4: D0000004\nD5: D0000005\n"
              "D6: D0000006\nD7: D0000007\nA0: A0000000\nA1: A0000001\nA2: A0000002\nA3: A0000003\n"
              "A4: A0000004\nA5: A0000005\nA6: A0000006\nA7: 00004000\n\nSR: tSxnZvc 7");

    // The same routine again prints no routine line; a trace stop prints no reason.
    Control("exception 0x24");
    EXPECT_EQ(Run("att").find("'PrvStart'"), std::string::npos);
    EXPECT_EQ(Debugger().find("Remote stopped"), std::string::npos);

    // With the async option only the request goes out; idle processing shows the stop.
    Run("Attached=0");
    EXPECT_EQ(Run("att \\async"), "");
    EXPECT_EQ(ctx->attached, 0);
    IdleUntil([&] { return ctx->attached != 0; });
    EXPECT_EQ(ctx->attached, 1);
}

TEST_F(DebuggerTest, DisplayMemory) {
    EXPECT_EQ(Run("dm 1000 40"), "Error: not attached to remote.\n");
    EXPECT_EQ(status, 1);
    Attach();
    EXPECT_EQ(Run("dm 1000 40"),
              "00001000: 10 17 1E 25 2C 33 3A 41   48 4F 56 5D 64 6B 72 79      \"...%,3:AHOV]dkry\"\n"
              "00001010: 80 87 8E 95 9C A3 AA B1   B8 BF C6 CD D4 DB E2 E9      \"................\"\n"
              "00001020: F0 F7 FE 05 0C 13 1A 21   28 2F 36 3D 44 4B 52 59      \".......!(/6=DKRY\"\n"
              "00001030: 60 67 6E 75 7C 83 8A 91   98 9F A6 AD B4 BB C2 C9      \"`gnu|...........\"\n");
    EXPECT_EQ(Requests(), Lines{"read 00001000 64"});

    // No count shows 16 bytes; an empty line shows the next 16; a short last line keeps its columns.
    EXPECT_EQ(Run("dm 1000"),
              "00001000: 10 17 1E 25 2C 33 3A 41   48 4F 56 5D 64 6B 72 79      \"...%,3:AHOV]dkry\"\n");
    EXPECT_EQ(Run(""),
              "00001010: 80 87 8E 95 9C A3 AA B1   B8 BF C6 CD D4 DB E2 E9      \"................\"\n");
    EXPECT_EQ(Run("dm 1003 3"), "00001003: 25 2C 33                                               \"%,3\"\n");
    EXPECT_EQ(Run("penv"),
              "============================\nDebOut = false\nSymbolsOn = true\nStepRegs = false\n"
              "ReadMemHack = false\nAttached = true\n............................\n"
              "dot address = 00001003\nlast address = 00001006\nlast count = 00000003\n"
              "============================\n");

    // Reads go out in requests of at most 256 bytes.
    Requests();
    Run("dm 1000 #600");
    EXPECT_EQ(Requests(), (Lines{"read 00001000 256", "read 00001100 256", "read 00001200 88"}));
    EXPECT_EQ(Run("dm \"x\""), "Syntax: dm <addr> [<count>] [<template>]\n");
    EXPECT_EQ(Run("help dm"),
              "Displays memory for <count> bytes or templates.\nSyntax: dm <addr> [<count>] [<template>]\n");
}

TEST_F(DebuggerTest, RegistersReadAndWritten) {
    Attach();
    EXPECT_EQ(Run("PC D3 SP"),
              "$00010040  #65600  #65600  '...@'\n$d0000003  #3489660931  #-805306365  '....'\n"
              "$00004000  #16384  #16384  '..@.'\n");
    EXPECT_EQ(Run("PC=PC+2"), "$00010042  #65602  #65602  '...B'\n");
    EXPECT_EQ(Requests(), Lines{"writeregs pc=00010042"});
    EXPECT_NE(Text(registers).find("A7: 00004000"), std::string::npos);

    // The device keeps what was written: a new state report brings it back.
    Run("att");
    EXPECT_EQ(Run("PC"), "$00010042  #65602  #65602  '...B'\n");
    Run("SR=0");
    EXPECT_EQ(Run("SP"), "$00003000  #12288  #12288  '..0.'\n");  // user mode: the USP
    EXPECT_EQ(FirstLines(Run("reg"), 8),
              "D0 = D0000000     A0 = A0000000     USP = 00003000\n"
              "D1 = D0000001     A1 = A0000001     SSP = 00004000\n"
              "D2 = D0000002     A2 = A0000002     \n"
              "D3 = D0000003     A3 = A0000003     \n"
              "D4 = D0000004     A4 = A0000004     \n"
              "D5 = D0000005     A5 = A0000005     \n"
              "D6 = D0000006     A6 = A0000006     PC  = 00010042\n"
              "D7 = D0000007     A7 = 00003000     SR  = tsxnzvc     Int = 0\n");
}

TEST_F(DebuggerTest, MemoryWrittenThenReadBack) {
    Attach();
    EXPECT_EQ(Run("sb 2000 41 42 \"CD\""), "Memory set starting at 00002000\n");
    EXPECT_EQ(Requests(),
              (Lines{"write 00002000 1", "write 00002001 1", "write 00002002 1", "write 00002003 1"}));
    EXPECT_EQ(Run("sw 2004 4546"), "Memory set starting at 00002004\n");
    EXPECT_EQ(Run("sl 2006 4748494A"), "Memory set starting at 00002006\n");
    EXPECT_EQ(Run("dm 2000 A"),
              "00002000: 41 42 43 44 45 46 47 48   49 4A " + std::string(18 + 5, ' ') + "\"ABCDEFGHIJ\"\n");
    // A short number is a segment to "@": eight digits name the address itself.
    EXPECT_EQ(Run("@.w00002002 @.l(00002000+6)"),
              "$4344  #17220  #17220  'CD'\n$4748494a  #1195919690  #1195919690  'GHIJ'\n");
    EXPECT_EQ(Run("sb 2000 1 \\x"), "ERROR in CmdDoSetByteCmd: unhandled value type.\n");
    EXPECT_EQ(Run("sw 2000"), "Syntax: sw <addr> <value>\n");
}

TEST_F(DebuggerTest, FindInDeviceMemory) {
    Attach();
    Run("sb 2400 \"needle\"");
    Requests();
    EXPECT_EQ(Run("ft \"needle\" 2300 200"),
              "dm 00002400   ;00002400: 6E 65 65 64 6C 65 4E 55   5C 63 6A 71 78 7F 86 8D      "
              "\"needleNU\\cjqx...\"\n");
    EXPECT_EQ(ctx->lastAddress, 0x2406u);
    EXPECT_EQ(Run("ft \"NEEDLE\" 2300 200"), ";Not found (00002300-000024FF).\n");
    EXPECT_EQ(Run("ft \"NEEDLE\" 2300 200 \\i").substr(0, 15), "dm 00002400   ;");

    // A word beyond the first 5000 start addresses is found by the second request.
    Run("sw 3000 BEEF");
    Requests();
    EXPECT_EQ(Run("fw BEEF 0 4000").substr(0, 15), "dm 00003000   ;");
    EXPECT_EQ(Requests(), (Lines{"find 00000000 00001387 2", "find 00001388 0000270F 2",
                                 "find 00002710 00003A97 2", "read 00003000 16"}));

    // Every match with \a; nothing is sent when the range cannot hold the pattern.
    Run("sb 3100 BE EF");
    EXPECT_EQ(Run("fw BEEF 2F00 300 \\a").substr(0, 15), "dm 00003000   ;");
    EXPECT_NE(Debugger().find("dm 00003100   ;"), std::string::npos);
    Requests();
    EXPECT_EQ(Run("fl 1 1000 3"), "Address range wraps around or is too small for search pattern size.\n");
    EXPECT_EQ(Requests(), Lines{});
}

TEST_F(DebuggerTest, RoutineNames) {
    Attach();
    EXPECT_EQ(Run(":"), "$00010000  #65536  #65536  '....'\n");  // the routine is known from the stop
    EXPECT_EQ(Requests(), Lines{});
    Control("routine 1FF00 20000 PrvFar");
    Run("PC=1FF80");
    Requests();
    EXPECT_EQ(Run(":+2"), "$0001ff02  #130818  #130818  '....'\n");
    EXPECT_EQ(Requests(), Lines{"rtnname 0001FF80"});
    EXPECT_STREQ(ctx->routineName, "PrvFar");

    Run("PC=1A000");  // in no routine
    EXPECT_EQ(Run(":"), "Error: unable to find start of routine.\n:\n ^\n");
    uint32_t start, end;
    char name[32];
    EXPECT_EQ(CmdGetRemoteRtnName(ctx, 0x10041, &start, &end, name), 1);
    EXPECT_EQ(Debugger(),
              "Error: unable to find start of routine.\n:\n ^\nCmdGetRemoteRtnName error: ILLEGAL ADDRESS\n");
}

TEST_F(DebuggerTest, IdleProcessingTakesWhatTheDeviceSendsUnasked) {
    // A stop report that arrives unasked is shown, and attaches.
    Control("exception 40");
    Control("stop");
    IdleUntil([&] { return ctx->attached != 0; });
    EXPECT_EQ(FirstLines(Debugger(), 2), "Remote stopped due to: A-TRAP BREAK EXCEPTION\n'PrvStart'\n");
    EXPECT_EQ(ctx->attached, 1);
    EXPECT_TRUE(DbgIsAttached());

    // "Ready" on the console socket: the device left its debugger.
    Control("message \nReady...\n", 1);
    IdleUntil([&] { return !Text(console).empty(); });
    EXPECT_EQ(Text(console), "\nReady...\n");
    EXPECT_EQ(ctx->attached, 0);
    EXPECT_EQ(Run("Attached"), "$00  #0  #0  '.'\n");
    EXPECT_EQ(Text(registers), "Not Attached");

    // The same text on the debugger socket is only printed.
    Run("Attached=1");
    Clear(debugger);
    Control("message \nReady...\n", 0);
    Control("message more\n", 0);
    IdleUntil([&] { return Debugger().size() >= 15; });
    EXPECT_EQ(Debugger(), "\nReady...\nmore\n");
    EXPECT_EQ(ctx->attached, 1);

    // Anything but a message on the console socket is reported.
    Clear(console);
    Control("stop", 1);
    IdleUntil([&] { return !Text(console).empty(); });
    EXPECT_EQ(Text(console), "DbgIdleProcess: the received packet is not a message packet.\n");
}

// Every request's reply checks, in their order, each with its message.
TEST_F(DebuggerTest, DeviceThatAnswersWrongly) {
    Attach();
    const struct {
        const char* fault;
        const char* line;
        const char* output;
    } cases[] = {
        {"silent", "dm 1000", "CmdReadRemoteMem: error in SlkReceivePacket = Serial Link timeout.\n"},
        {"command", "dm 1000", "CmdReadRemoteMem error:  invalid response command.\n"},
        {"transid", "dm 1000", "CmdReadRemoteMem error:  invalid response transaction id.\n"},
        {"short", "dm 1000", "CmdReadRemoteMem error:  invalid response size.\n"},
        {"command", "att", "CmdGetRemoteState error:  invalid response command.\n"},
        {"transid", "att", "CmdGetRemoteState error:  invalid response transaction id.\n"},
        {"command", "PC=10040", "CmdWriteRemoteRegisters error:  invalid response command.\n"},
        {"transid", "PC=10040", "CmdWriteRemoteRegisters error:  invalid response transaction id.\n"},
        {"command", "fb 1 1000 10", "Invalid response packet.\n"},
        {"transid", "fb 1 1000 10", "Invalid response packet.\n"},
    };
    for (const auto& c : cases) {
        Run("Attached=1");
        Control(std::string("fault ") + c.fault);
        EXPECT_EQ(Run(c.line), c.output) << c.fault << " " << c.line;
        EXPECT_NE(status, 0) << c.line;
    }

    // Routine names: a reply of 44 bytes is refused.
    Run("Attached=1 PC=1A000");
    Control("routine 1A000 1A100 PrvShort");
    Control("fault short");
    EXPECT_EQ(Run(":"),
              "CmdGetRemoteRtnName error:  invalid response size.\n"
              "Error: unable to find start of routine.\n:\n ^\n");

    // A register write that fails leaves the registers as the device has them.
    Control("fault command");
    Run("PC=12345678");
    EXPECT_EQ(Run("PC"), "$0001a000  #106496  #106496  '....'\n");
}

TEST_F(DebuggerTest, MemoryWritesAreRetried) {
    Attach();
    Control("fault command 3");
    EXPECT_EQ(Run("sb 2000 5A"),
              " retry CmdWriteRemoteMem \n retry CmdWriteRemoteMem \n retry CmdWriteRemoteMem \n"
              "Memory set starting at 00002000\n");
    EXPECT_EQ(Run("@.b00002000"), "$5a  #90  #90  'Z'\n");
    Control("fault transid 4");
    EXPECT_EQ(Run("sb 2000 1"),
              " retry CmdWriteRemoteMem \n retry CmdWriteRemoteMem \n retry CmdWriteRemoteMem \n"
              "CmdWriteRemoteMem error:  invalid response transaction id.\n");
    EXPECT_EQ(status, 1);
}

TEST_F(DebuggerTest, DeviceThatIsGone) {
    Attach();
    sim->Kill();
    std::string out = Run("dm 1000");
    EXPECT_EQ(out.substr(0, 43), "CmdReadRemoteMem: error in SlkSendPacket = ") << out;
    EXPECT_EQ(status, 1);
}

// Link set-up: the same TCP link chosen again is reopened and works; the settings are kept.
TEST_F(DebuggerTest, LinkSetUp) {
    Attach();
    ASSERT_EQ(PrvSetupLink(linkTcp, 0, 115200, false, false), 0);
    Attach();
    uint32_t kind, baud;
    uint16_t port;
    bool handshake = true;
    DbgGetLinkSettings(&kind, &port, &baud, &handshake);
    EXPECT_EQ(kind, linkTcp);
    EXPECT_EQ(baud, 115200u);
    EXPECT_FALSE(handshake);  // only a serial link has one
}

// The two read windows: a window answers its first 252 bytes; a centred read near address 0
// starts its window at 0.
TEST_F(DebuggerTest, ReadCacheWindows) {
    Attach();
    uint8_t bytes[8];
    ASSERT_EQ(CmdReadRemoteMemCached(ctx, bytes, 0x1000, 4, true), 0);
    ASSERT_EQ(CmdReadRemoteMemCached(ctx, bytes, 0x1000 + 248, 4, true), 0);
    EXPECT_EQ(Requests(), Lines{"read 00001000 256"});
    ASSERT_EQ(CmdReadRemoteMemCached(ctx, bytes, 0x1000 + 250, 4, true), 0);
    EXPECT_EQ(Requests(), Lines{"read 000010F8 256"});                  // windows start on a multiple of 4
    ASSERT_EQ(CmdReadRemoteMemCached(ctx, bytes, 0x1002, 4, true), 0);  // still in the first window
    EXPECT_EQ(Requests(), Lines{});

    ASSERT_EQ(PrvReadRemoteMemCached(ctx, bytes, 0x40, 8, true, true), 0);
    EXPECT_EQ(Requests(), Lines{"read 00000000 256"});
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(bytes[i], test::PatternByte(0x40 + i));

    // A write drops the windows.
    Run("sb 41 0");
    Requests();
    ASSERT_EQ(CmdReadRemoteMemCached(ctx, bytes, 0x40, 4, true), 0);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(Requests(), Lines{"read 00000040 256"});
}

// ReadMemHack reads the debugger's own memory, and fails cleanly where nothing is mapped.
TEST_F(DebuggerTest, ReadMemHackReadsHostMemorySafely) {
    void* page = mmap(reinterpret_cast<void*>(0x30000000), 4096, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    ASSERT_EQ(page, reinterpret_cast<void*>(0x30000000));
    std::memcpy(page, "\x12\x34\x56\x78", 4);
    Run("Attached=1 ReadMemHack=1");
    EXPECT_EQ(Run("@.l30000000"), "$12345678  #305419896  #305419896  '.4Vx'\n");
    EXPECT_EQ(Run("dm 10 4"), "CmdReadRemoteMem error:  host memory at 00000010 is not readable.\n");
    EXPECT_EQ(Requests(), Lines{});
    munmap(page, 4096);
}

// The device's OS version: asked of the device while running, taken from the stop while attached.
class RemoteOSTest : public EngineTest {
  protected:
    std::vector<std::string> SimulatorArgs() override {
        script = "/tmp/qwengine-script-" + std::to_string(getpid()) + ".json";
        std::ofstream(script) << R"({"features": {"psys:1": 83886080}})";
        return {"--pattern", "0x0:0x20000", "--script", script};
    }
    void TearDown() override {
        EngineTest::TearDown();
        std::remove(script.c_str());
    }
    std::string script;
};

TEST_F(RemoteOSTest, NewRemoteOS) {
    EXPECT_TRUE(DbgIsNewRemoteOS());  // FtrGet('psys', 1) answers 0x05000000
    Run("att");
    EXPECT_FALSE(DbgIsNewRemoteOS());  // the stop reported supervisor mode
}

// The start-up script runs when the debugger starts; a line over 256 characters is refused whole.
class StartupScriptTest : public EngineTest {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/qwengine-cwd-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        folder = dir;
        ASSERT_EQ(getcwd(previous, sizeof previous), previous);
        ASSERT_EQ(chdir(folder.c_str()), 0);
        std::ofstream script("UserStartup-Quillwatch");
        script << "1+2\n   \n" << std::string(300, '7') << "\n\tFF\n";
        script.close();
        EngineTest::SetUp();
    }
    void TearDown() override {
        EngineTest::TearDown();
        std::remove((folder + "/UserStartup-Quillwatch").c_str());
        EXPECT_EQ(chdir(previous), 0);
        rmdir(folder.c_str());
    }
    std::string folder;
    char previous[4096];
};

TEST_F(StartupScriptTest, RunsAtStart) {
    // SetUp cleared the window after start: start again to read it.
    module_closeModule(ctx, kModuleDebugger);
    DbgFreeBuffer(ctx);
    ctx = DebuggerInit(debugger, console, 0, registers);
    std::string text = Debugger();
    size_t script = text.find("Loading startup script...\n");
    ASSERT_NE(script, std::string::npos);
    EXPECT_EQ(FirstLines(text.substr(script), 5),
              "Loading startup script...\n$03  #3  #3  '.'\nERROR: command line is too long.\n$ff  #255  "
              "#255  '.'\n"
              "============================\n");
}

}  // namespace
}  // namespace quillwatch
