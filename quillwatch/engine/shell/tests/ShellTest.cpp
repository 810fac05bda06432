// The device shell against the device simulator's heap and databases: the dispatcher, help,
// scripts, heap and chunk commands, databases, records and resources, export and import.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "common/ResourceDb.h"
#include "quillwatch/engine/debugger/tests/EngineTestSupport.h"
#include "quillwatch/engine/shell/ImportExport.h"
#include "quillwatch/engine/debugger/SymbolFiles.h"
#include "quillwatch/engine/shell/Shell.h"

namespace quillwatch {
namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class ShellTest : public EngineTest {
  protected:
    std::vector<std::string> SimulatorArgs() override {
        return {"--pattern", "0x0:0x20000", "--store", "--script", ScriptPath()};
    }
    std::string ScriptPath() {
        char dir[] = "/tmp/qwshell-XXXXXX";
        folder = mkdtemp(dir);
        WriteFile(folder + "/script.json",
                  R"({"cards": [{"name": "RAM", "manuf": "Vantor", "version": 1, "romSize": 4096}]})");
        return folder + "/script.json";
    }
    void SetUp() override {
        EngineTest::SetUp();
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        previous = cwd;
        ASSERT_EQ(chdir(folder.c_str()), 0);
        mkdir("Device", 0755);
    }
    void TearDown() override {
        EngineTest::TearDown();
        if (chdir(previous.c_str()) != 0) ADD_FAILURE();
        std::system(("rm -rf " + folder).c_str());
    }
    // Runs a shell line as the Console window does and returns what it printed there.
    std::string Shell(const std::string& line) {
        Clear(console);
        std::vector<char> buffer(line.begin(), line.end());
        buffer.push_back('\0');
        result = ShellCmdExecute(buffer.data());
        return Text(console);
    }
    // The hexadecimal number after the marker in the text.
    static uint32_t After(const std::string& text, const std::string& marker) {
        size_t at = text.find(marker);
        EXPECT_NE(at, std::string::npos) << text;
        return at == std::string::npos ? 0 : static_cast<uint32_t>(std::stoul(text.substr(at + marker.size()), nullptr, 16));
    }
    std::string DevicePath(const std::string& name) { return folder + "/Device/" + name; }

    std::string folder, previous;
    uint32_t result = 0;
};

TEST_F(ShellTest, DispatcherHelpAndWords) {
    std::string out = Shell("Help");
    EXPECT_TRUE(Contains(out, "\n= Heap Utilities ==============\nHeapList\nHeapDump\n")) << out;
    EXPECT_TRUE(Contains(out, "Log\nHelp\n\n= Hobgobs Commands =================\nHobgob\nHobgobOff\nHelp\n")) << out;
    EXPECT_EQ(Shell("Help Lock"),
              "\nLock a chunk.\nSyntax: Lock <hex chunk handle/ID> [options..] "
              "\n         -card <cardNo>  : card number when local ID specified "
              "\n                         : instead of chunk handle \n");
    EXPECT_EQ(Shell("hl"), "\nSyntax: hl <cardNo>\n");
    EXPECT_TRUE(Contains(Shell("hl 0"), "\n       0     0001 00030000 00008000 ")) << Text(console);
    EXPECT_EQ(Shell("exit"), "");
    EXPECT_EQ(result, 32767u);
    EXPECT_EQ(Shell("NoSuchThing"), "\nUnknown script: NoSuchThing\n");
    EXPECT_EQ(Shell("DM 1000"),
              "Displaying Memory at 00001000\n00001000: 10 17 1E 25 2C 33 3A 41   48 4F 56 5D 64 6B 72 79      "
              "...%,3:AHOV]dkry\n");
    out = Shell("MDebug -full -a-");
    EXPECT_TRUE(Contains(out, "Current mode = 001A")) << out;
    EXPECT_TRUE(Contains(Shell("CardInfo 0"), "Name: RAM\nManuf: Vantor\nVersion: 0001"));
    EXPECT_EQ(Shell("Log"), "\nNo Log file currently open.\n");
    // ColdBoot and PowerOn run inside the error frame too.
    EXPECT_EQ(Shell("coldboot"), "Doing Cold, Hard Boot\n");
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(Shell("PowerOn"), "");
    // A remote error ends the command with its code.
    Shell("Close 1234");
    EXPECT_EQ(Text(console), "\n##ERROR Closing database\n");
}

TEST_F(ShellTest, ScriptsStripLineEndsAndStopRecursion) {
    WriteFile("echo.txt", "Log\r\n\r\nLog x\r\n");
    EXPECT_EQ(Shell("echo.txt -e"),
              "Log\n\nNo Log file currently open.\nLog x\n\n\n========= Now Logging to file: x... ============\n\n");
    WriteFile("self.txt", "self.txt\n");
    std::string out = Shell("self.txt");
    EXPECT_TRUE(Contains(out, "#ERROR: scripts nested too deeply: self.txt")) << out;
    EXPECT_TRUE(Contains(Shell("echo.txt -x"), "Syntax: <script>  [options...] "));
}

TEST_F(ShellTest, HeapAndChunks) {
    std::string out = Shell("New 1 20");
    EXPECT_TRUE(Contains(out, "Allocating $20 byte chunk, Movable => ptr = ")) << out;
    const uint32_t p = After(out, "ptr = ");
    const uint32_t h = After(out, "Handle = ");
    char text[64];
    std::snprintf(text, sizeof text, "Info %X", p);
    out = Shell(text);
    EXPECT_TRUE(Contains(out, "\nSize: 0020\n")) << out;
    EXPECT_EQ(Shell("New 0 20 -o 15").substr(0, 9), "\nSyntax: ");
    out = Shell("HD 1");
    EXPECT_TRUE(Contains(out, "Displaying Heap ID: 0001, mapped to 00030000")) << out;
    std::snprintf(text, sizeof text, "-%08X %08X", p - 8, h);
    EXPECT_TRUE(Contains(out, text)) << out;
    EXPECT_TRUE(Contains(out, "\n  Movable Chunks:     #1   ")) << out;
    EXPECT_EQ(Shell("HChk 1"), "Heap OK\n");
    std::snprintf(text, sizeof text, "Free %X", p);
    char freed[64];
    std::snprintf(freed, sizeof freed, "Freed Chunk: %08x\n", p);
    EXPECT_EQ(Shell(text), freed);
    // A chunk that was never reserved is not freed.
    EXPECT_EQ(Shell("Free 30100"), "\n#ERROR: 00030100 is not an allocated chunk\n");
    // A corrupted chunk header (an odd size for the first chunk) makes the walk fail.
    Shell("SB 30117 FF");
    EXPECT_TRUE(Contains(Shell("HChk 1"), "#### ERROR: Heap Corrupted!! #####\n"));
}

TEST_F(ShellTest, RecordDatabaseExportImportRoundTrip) {
    EXPECT_TRUE(Contains(Shell("Create 0 MemoDB -t DATA -c memo"), "\nSuccess!\n"));
    std::string out = Shell("Open 0 MemoDB");
    const uint32_t db = After(out, "Access Pointer = ");
    char line[128];
    std::snprintf(line, sizeof line, "AddRecord %X 0 hello", db);
    EXPECT_EQ(Shell(line), "\nSuccess: record index = 0\n");
    std::snprintf(line, sizeof line, "AddRecord %X 1 big world", db);
    EXPECT_EQ(Shell(line), "\nSuccess: record index = 1\n");
    std::snprintf(line, sizeof line, "ListRecords %X", db);
    out = Shell(line);
    EXPECT_TRUE(Contains(out, "xDbp 0    000001   hello\\x00")) << out;
    EXPECT_TRUE(Contains(out, "big world\\x00\n-")) << out;
    EXPECT_TRUE(Contains(out, "\nTotal: 2 records\n")) << out;
    std::snprintf(line, sizeof line, "Close %X", db);
    EXPECT_EQ(Shell(line), "Success!\n");

    Shell("Export 0 MemoDB");
    EXPECT_EQ(result, 0u) << Text(console);
    const std::vector<uint8_t> first = ReadFile(DevicePath("MemoDB.wyx"));
    // Header block of 2 records: 78 + 16 + 6 zero bytes; then "hello\0" and "big world\0".
    ASSERT_EQ(first.size(), 100u + 6 + 10);
    EXPECT_EQ(std::string(first.begin(), first.begin() + 6), std::string("MemoDB"));
    ShellDbFile parsed;
    std::string reason;
    ASSERT_TRUE(ShellDbFileParse(first.data(), first.size(), &parsed, &reason)) << reason;
    EXPECT_EQ(parsed.entries[0].offset, 100u);
    EXPECT_EQ(parsed.entries[1].size, 10u);

    EXPECT_EQ(Shell("Del 0 MemoDB"), "Success!\n");
    EXPECT_TRUE(Contains(Shell("Dir 0"), "\nTotal: 0\n"));
    out = Shell("Import 0 MemoDB.wyx");
    EXPECT_TRUE(Contains(out, "\nImporting record 1 (10 bytes)...")) << out;
    EXPECT_TRUE(Contains(out, "\n\nDone!!\n\n")) << out;
    std::rename(DevicePath("MemoDB.wyx").c_str(), DevicePath("first.wyx").c_str());
    Shell("Export 0 MemoDB");
    EXPECT_EQ(ReadFile(DevicePath("MemoDB.wyx")), first);
    out = Shell("Dir 0 -n- -tc");
    EXPECT_TRUE(Contains(out, "      ID      total       data      type   creator  ")) << out;
    EXPECT_TRUE(Contains(out, "    DATA      memo  \n")) << out;
    EXPECT_TRUE(Contains(Shell("HD 1"), " Rcrd     #1 xDbp   0         2 MemoDB")) << Text(console);
}

TEST_F(ShellTest, ResourceDatabaseLoadsInThePackersReader) {
    Shell("Create 0 Tool -r -t appl -c tool");
    const uint32_t db = After(Shell("Open 0 Tool"), "Access Pointer = ");
    char line[128];
    std::snprintf(line, sizeof line, "AddResource %X -t tSTR -id 1000 a string", db);
    EXPECT_EQ(Shell(line), "\nSuccess!\n");
    std::snprintf(line, sizeof line, "AddResource %X -t code -id 1 xyz", db);
    Shell(line);
    std::snprintf(line, sizeof line, "ListResources %X", db);
    EXPECT_TRUE(Contains(Shell(line), "       0  ")) << Text(console);
    std::snprintf(line, sizeof line, "Close %X", db);
    Shell(line);
    Shell("Export 0 Tool");
    const std::vector<uint8_t> image = ReadFile(DevicePath("Tool.vrx"));
    vantor::ResourceDb parsed;
    std::string error;
    ASSERT_TRUE(vantor::ResourceDbParse(image.data(), image.size(), &parsed, &error)) << error;
    EXPECT_EQ(parsed.name, "Tool");
    ASSERT_EQ(parsed.resources.size(), 2u);
    EXPECT_EQ(parsed.resources[0].id, 1000);
    EXPECT_EQ(std::string(parsed.resources[0].bytes.begin(), parsed.resources[0].bytes.end()), std::string("a string\0", 9));

    // Import rebuilds it; exporting again gives the same bytes.
    Shell("Del 0 Tool");
    std::rename(DevicePath("Tool.vrx").c_str(), DevicePath("saved.vrx").c_str());
    EXPECT_TRUE(Contains(Shell("Import 0 saved.vrx"), "Done!!"));
    Shell("Export 0 Tool");
    EXPECT_EQ(ReadFile(DevicePath("Tool.vrx")), image);
}

TEST_F(ShellTest, ImportRefusesBrokenFilesAndExportSanitisesNames) {
    // A second record whose offset lies below the first: the database is made, empty.
    std::string file(78 + 16 + 6, '\0');
    file.replace(0, 4, "Bad!");
    file[77] = 2;
    file[78 + 3] = 100;
    file[86 + 3] = 90;
    file += "0123456789";
    WriteFile(DevicePath("bad.wyx"), file);
    std::string out = Shell("Import 0 bad.wyx");
    EXPECT_TRUE(Contains(out, "\nCorrupt database\n\n")) << out;
    EXPECT_FALSE(Contains(out, "Importing record")) << out;
    EXPECT_EQ(result, 0u);
    EXPECT_TRUE(Contains(Shell("Dir 0"), "Bad!")) << Text(console);
    // A header cut short, or an entry table past the end, is refused before anything is made.
    WriteFile(DevicePath("short.wyx"), std::string(40, 'x'));
    EXPECT_TRUE(Contains(Shell("Import 0 short.wyx"), "##ERROR Invalid database file: file too short"));
    std::string table(78, '\0');
    table[0] = 'T';
    table[76] = 0x7F;
    WriteFile(DevicePath("table.wyx"), table);
    EXPECT_TRUE(Contains(Shell("Import 0 table.wyx"), "entry table runs past the end of the file"));

    // Separators in a database name do not leave the device folder; "." and ".." are refused.
    Shell("Create 0 \"a/../b\"");
    Shell("Export 0 \"a/../b\"");
    struct stat st;
    EXPECT_EQ(stat(DevicePath("a_.._b.wyx").c_str(), &st), 0);
    Shell("Create 0 ..");
    EXPECT_TRUE(Contains(Shell("Export 0 .."), "cannot be a host file name"));
}

TEST_F(ShellTest, ChunkOwnersAndSymbolFilesByResource) {
    // A chunk of no database, and an address outside every heap.
    const uint32_t p = After(Shell("New 1 20"), "ptr = ");
    char line[160];
    std::snprintf(line, sizeof line, "wh \\a %X", p + 4);
    char expected[160];
    std::snprintf(expected, sizeof expected, "pointer %08X is 4 bytes into chunk %08X in:  card: 0, heapID: 1\n", p + 4, p);
    EXPECT_EQ(Run(line), expected);
    EXPECT_EQ(Run("wh \\a 100"), "Could not identify pointer\n");

    // The code resource of an application: the symbol file named after it is assigned to it.
    Shell("Create 0 Phone -r -t appl -c fone");
    const uint32_t db = After(Shell("Open 0 Phone"), "Access Pointer = ");
    std::snprintf(line, sizeof line, "AddResource %X -t code -id 1 some code", db);
    Shell(line);
    std::snprintf(line, sizeof line, "Close %X", db);
    Shell(line);
    const std::string sym = folder + "/Phone.code.1.sym";
    ASSERT_EQ(std::system(("python3 " VANTOR_SOURCE_DIR "/quillwatch/devsim/coffsym.py " + sym).c_str()), 0);
    std::string out = Run("sym \\add \"" + sym + "\"");
    EXPECT_TRUE(Contains(out, "\nUsing symbol file: " + sym + "\n")) << out;
    ASSERT_NE(gSymFiles, nullptr);
    const uint32_t code = gSymFiles->sections[0].loadAddress;
    std::snprintf(line, sizeof line, "wh \\a %X", code + 2);
    out = Run(line);
    EXPECT_TRUE(Contains(out, " database: \"Phone\", resType: 'code', resID: 1 \n")) << out;
    EXPECT_EQ(Run("sym \\add \"Phone.sym\""),
              "Error: Symbol files must have names formatted like this:\n   <dbName>.<resType>.<resID>.sym (Ex. "
              "\"Phone.code.1.sym\")\n");
    out = Run("sym \\add \"" + folder + "/Nothing.code.1.sym\"");
    EXPECT_TRUE(Contains(out, "Could not locate resource code=1 \nof database 'Nothing'")) << out;
    SymFileRemoveAll(ctx);
}

TEST_F(ShellTest, HeapDumpLabelsSystemStructures) {
    const uint32_t features = After(Shell("New 1 20"), "ptr = ");
    const uint32_t keys = After(Shell("New 1 30"), "ptr = ");
    const uint32_t plain = After(Shell("New 1 10"), "ptr = ");
    const uint32_t net = After(Shell("New 1 18"), "ptr = ");
    const uint32_t files = After(Shell("New 1 28"), "ptr = ");
    char line[48];
    auto setBytes = [&](uint32_t address, const std::string& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            std::snprintf(line, sizeof line, "SB %X %02X", static_cast<unsigned>(address + i),
                          static_cast<unsigned char>(bytes[i]));
            Shell(line);
        }
    };
    auto setLong = [&](uint32_t address, uint32_t value) {
        setBytes(address, {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
                           static_cast<char>(value)});
    };
    // The feature table's pointer at 384, the key queue's at 516 with bit 31 set as the OS keeps it.
    setLong(384, features);
    setLong(516, keys | 0x80000000u);
    // The library table at 0x1000 with three entries (the first unused): each library's dispatch
    // table begins with the offset of its name.
    setLong(320, 0x1000);
    setLong(324, 3u << 16);
    setLong(0x1010, 0x1100);
    setLong(0x1014, net);
    setLong(0x1020, 0x1200);
    setLong(0x1024, files);
    setBytes(0x1100, std::string("\0\x10", 2));
    setBytes(0x1110, std::string("Net Library\0", 12));
    setBytes(0x1200, std::string("\0\x10", 2));
    setBytes(0x1210, std::string("MS FileSystem Library\0", 22));

    std::string out = Shell("HD 1");
    auto row = [&](uint32_t p) {
        char start[16];
        std::snprintf(start, sizeof start, "\n-%08X", p - 8);
        const size_t at = out.find(start);
        return at == std::string::npos ? std::string() : out.substr(at + 1, out.find('\n', at + 1) - at - 1);
    };
    EXPECT_TRUE(row(features).ends_with("    fM Feature Table")) << out;
    EXPECT_TRUE(row(keys).ends_with("    fM Keyboard Queue (KeyQueueType)")) << out;
    EXPECT_TRUE(row(net).ends_with("    fM Net Library globals")) << out;
    EXPECT_TRUE(row(files).ends_with("    fM FileSystem Globals (3.5)")) << out;
    EXPECT_TRUE(row(plain).ends_with("    fM")) << out;
    // Without labels, no chunk is named.
    out = Shell("HD 1 -l");
    EXPECT_TRUE(row(features).ends_with("    fM")) << out;
}

TEST_F(ShellTest, DebuggerWindowRunsShellCommands) {
    EXPECT_EQ(Run("HL 0").substr(0, 8), "   index");
    EXPECT_EQ(Text(console), "");
    EXPECT_TRUE(Contains(Run("Dir 0"), "Total: 0"));
    // The tester: started with no limit, stopped at its current action.
    EXPECT_EQ(Shell("Hobgob 3"), "");
    EXPECT_EQ(Shell("Hobgob"), "hobgob 3 is at action 0.\n");
    Shell("HobgobOff");
    EXPECT_EQ(Shell("Hobgob 1 2 3"), "\nActivate a particular hobgob until a certain event.\nSyntax: Hobgob [num] [until]\n");
}

}  // namespace
}  // namespace quillwatch

namespace quillwatch {
namespace {

class TesterTest : public ShellTest {
  protected:
    // The events the device received since the last call.
    std::vector<std::string> Events() {
        std::vector<std::string> events;
        for (const std::string& r : Requests()) {
            if (r.rfind("event ", 0) == 0) events.push_back(r);
        }
        return events;
    }
    // Starts the tester and lets the idle step send events while the device's tester runs.
    std::vector<std::string> RunTester(uint16_t number, int steps) {
        char line[32];
        std::snprintf(line, sizeof line, "Hobgob %u", number);
        Shell(line);
        Requests();
        for (int i = 0; i < steps; ++i) IdleStep();
        return Events();
    }
};

TEST_F(TesterTest, SameNumberSameEvents) {
    // The tester's flags live 36 bytes into the block whose address the device keeps at 368.
    Shell("SB 170 00");
    Shell("SB 171 00");
    Shell("SB 172 50");
    Shell("SB 173 00");
    Shell("SB 5024 00");
    const std::vector<std::string> first = RunTester(3, 20);
    // The tester's bits are set on the device while it runs.
    EXPECT_TRUE(Contains(Shell("DM 5024 1"), "00005024: 05 ")) << Text(console);
    EXPECT_GE(first.size(), 10u);
    EXPECT_EQ(RunTester(3, 20), first);
    EXPECT_NE(RunTester(4, 20), first);
    // After a pen down the next event is always the pen up.
    for (size_t i = 0; i + 1 < first.size(); ++i) {
        if (first[i].rfind("event pen=1", 0) == 0) {
            EXPECT_EQ(first[i + 1].rfind("event pen=0 0,0 key=0", 0), 0u);
        }
    }
}

// The device's request may arrive while the host is reading device memory: it is kept, not lost.
TEST_F(TesterTest, DeviceRequestsMakeSteps) {
    Shell("SB 170 00");
    Shell("SB 171 00");
    Shell("SB 172 50");
    Shell("SB 173 00");
    RunTester(3, 20);
    // With the device's tester bit clear, only the device's requests make events.
    Shell("Hobgob 5");
    Shell("SB 5024 00");
    Requests();
    Control("tester 2", 1);  // an unknown action code sends nothing
    for (int i = 0; i < 10; ++i) IdleStep();
    EXPECT_TRUE(Events().empty());
    Control("tester 1", 1);
    for (int i = 0; i < 200 && !Contains(Shell("DM 5024 1"), "00005024: 04 "); ++i) IdleStep();
    EXPECT_TRUE(Contains(Shell("DM 5024 1"), "00005024: 04 ")) << Text(console);  // the request was processed
}

}  // namespace
}  // namespace quillwatch

namespace quillwatch {
namespace {

// Kernel information from a device with two tasks, a resource and a counting semaphore, and a timer.
class KernelInfoTest : public ShellTest {
  protected:
    std::vector<std::string> SimulatorArgs() override {
        std::vector<std::string> args = ShellTest::SimulatorArgs();
        WriteFile(folder + "/script.json", R"({"cards": [{"name": "RAM", "romSize": 4096}], "kernel": {
            "tasks": [{"id": 4096, "tag": "ui  ", "status": 0, "priority": 30, "stackP": 8192, "timeSlice": 10,
                       "attributes": 3, "stackSize": 4096},
                      {"id": 4352, "tag": "cons", "status": 2308, "priority": 10, "stackP": 12288}],
            "semaphores": [{"id": 256, "tag": "memL", "initValue": -1, "curValue": 0, "nesting": 1, "owner": 4096},
                           {"id": 512, "tag": "sndQ", "initValue": 2, "curValue": -1}],
            "timers": [{"id": 768, "tag": "alrm", "ticksLeft": 50, "period": 100, "proc": 65536}]}})");
        return args;
    }
};

TEST_F(KernelInfoTest, TasksSemaphoresAndTimers) {
    EXPECT_EQ(Shell("KInfo -task 1000"),
              "\n\nTask Info:\nid =            00001000\nnextID =        00001100\ntag =           ui  "
              "\nstatus =        00000000, Running\ntimer =        #0\ntimeSlice =    #10\npriority =     #30"
              "\nattributes =    0003\npendingCalls = #0\nsenderTaskID =  00000000\nmsgExchangeID = 00000000"
              "\ntcbP =          00000000\nstackP =        00002000\nstackStart =    00000000\nstackSize =     00001000");
    // Status 0x904: waiting on a semaphore and a message exchange.
    EXPECT_EQ(Shell("KInfo -task all"),
              "\n\nTask Information:\n  taskID     tag  priority  stackPtr   status"
              "\n  ---------------------------------------------------------------------"
              "\n  00001000   ui    #  30    00002000   Running"
              "\n  00001100   cons  #  10    00003000   Waiting on semaphore message exchange ");
    const std::string semaphores = Shell("KInfo -sem all");
    EXPECT_TRUE(Contains(semaphores, "\n  00000100   memL  resource   #-1        #0  (owned)     #1        00001000"))
        << semaphores;
    EXPECT_TRUE(Contains(semaphores, "\n  00000200   sndQ  counting   #2         #-1 tasks wtg   #0        00000000"))
        << semaphores;
    EXPECT_EQ(Shell("KInfo -tmr 300"), "\n\nTimer Information:\n  tmrID      tag   ticksLeft   period   procPtr"
                                       "\n  ---------------------------------------------"
                                       "\n  00000300   alrm    #  50    # 100    00010000");
    // -all: tasks, semaphores and timers in turn.
    const std::string all = Shell("KInfo -all");
    EXPECT_LT(all.find("Task Information"), all.find("Semaphore Information"));
    EXPECT_LT(all.find("Semaphore Information"), all.find("Timer Information"));
    // Unknown items and malformed options.
    EXPECT_EQ(Shell("KInfo -sem 999"), "\n##ERROR Getting Semaphore info\n");
    EXPECT_EQ(Shell("KInfo -tmr 999"), "\n##ERROR Getting Kernel info\n");
    const std::string syntax = "\nSyntax: KInfo [options...]\n     -sem  <id>|all  : get semaphore info"
                               "\n     -tmr  <id>|all  : get timer info\n";
    for (const char* line : {"KInfo", "KInfo -sem", "KInfo -task zz", "KInfo -what 1"}) EXPECT_EQ(Shell(line), syntax) << line;
    EXPECT_EQ(Shell("KInfo ?"), "\nGet Kernel Info" + syntax);
}

}  // namespace
}  // namespace quillwatch
