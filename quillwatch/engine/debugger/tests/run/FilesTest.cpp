// Device files (load, dump, save), scripts and the ROM image listing, with objdump as the listing's
// oracle.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "quillwatch/engine/debugger/FileCommands.h"
#include "quillwatch/engine/debugger/tests/EngineTestSupport.h"

namespace quillwatch {
namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class FilesTest : public EngineTest {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/qwfiles-XXXXXX";
        folder = mkdtemp(dir);
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        previous = cwd;
        ASSERT_EQ(chdir(folder.c_str()), 0);
        mkdir("Device", 0755);
        EngineTest::SetUp();
    }
    void TearDown() override {
        EngineTest::TearDown();
        if (chdir(previous.c_str()) != 0) ADD_FAILURE();
        std::system(("rm -rf " + folder).c_str());
    }
    std::string folder, previous;
};

TEST_F(FilesTest, LoadDumpAndSave) {
    Run("att");
    std::string data;
    for (int i = 0; i < 10000; ++i) data += static_cast<char>(i * 13 + 5);
    WriteFile("Device/in.bin", data);
    Requests();
    std::string out = Run("load \"in.bin\" 2000");
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(Contains(out, "\n#10000 bytes loaded at $00002000.\n")) << out;
    int writes = 0;
    for (const std::string& r : Requests()) writes += r.rfind("write ", 0) == 0;
    EXPECT_EQ(writes, 40);  // 4096, 4096 and 1808 bytes, in requests of 256

    out = Run("dump \"out.bin\" 2000 2710");
    EXPECT_TRUE(Contains(out, "\n#10000 bytes dumped from $00002000.\n")) << out;
    EXPECT_EQ(ReadFile("Device/out.bin"), std::vector<uint8_t>(data.begin(), data.end()));
    out = Run("save \"saved.bin\" 2000 100");
    EXPECT_TRUE(Contains(out, "  0% \n")) << out;
    EXPECT_TRUE(Contains(out, "to file \"saved.bin\"\n")) << out;
    EXPECT_EQ(ReadFile("Device/saved.bin").size(), 256u);
    EXPECT_EQ(Run("load \"missing\" 2000"), "CmdLoadFile: error opening file missing\n");
    EXPECT_EQ(status, 1);
}

TEST_F(FilesTest, ScriptsRunEveryLine) {
    mkdir("scripts", 0755);
    WriteFile("scripts/init", "1+1\n   \n1/0\n2+2\n");
    // Colons separate folders; a leading one is dropped.
    std::string out = Run("run \":scripts:init\"");
    EXPECT_TRUE(Contains(out, "$02  #2  #2  '.'\n")) << out;
    EXPECT_TRUE(Contains(out, "$04  #4  #4  '.'\n")) << out;
    EXPECT_TRUE(Contains(out, "There were errors.\n")) << out;
    EXPECT_NE(status, 0);
    EXPECT_EQ(Run("run \"nothing\""), "CmdRunScript: error opening file nothing\nThere were errors.\n");
}

// A ROM image: the card header (reset vector 0x10C000F0, so the base is 0x10C00000), then code.
std::string RomImage() {
    std::string rom(0x400, '\0');
    const unsigned char reset[4] = {0x10, 0xC0, 0x00, 0xF0};
    rom.replace(4, 4, reinterpret_cast<const char*>(reset), 4);
    // At 0x100: MOVEQ #1,D0; RTS. At 0x200: a computed call (PEA, PEA, ADDI.L, RTS) that goes on
    // to MOVEQ #2,D1; RTE.
    const unsigned char first[] = {0x70, 0x01, 0x4E, 0x75};
    const unsigned char second[] = {0x48, 0x7A, 0x00, 0x10, 0x48, 0x7A, 0x00, 0x0C, 0x06, 0x97,
                                    0x00, 0x00, 0x00, 0x04, 0x4E, 0x75, 0x74, 0x02, 0x4E, 0x73};
    rom.replace(0x100, sizeof first, reinterpret_cast<const char*>(first), sizeof first);
    rom.replace(0x200, sizeof second, reinterpret_cast<const char*>(second), sizeof second);
    return rom;
}

std::string Objdump(const std::string& file, uint32_t start, uint32_t stop) {
    char command[512];
    std::snprintf(command, sizeof command,
                  "m68k-linux-gnu-objdump -D -b binary -m m68k --start-address=0x%x --stop-address=0x%x %s",
                  start, stop, file.c_str());
    std::string out;
    if (FILE* p = popen(command, "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
        pclose(p);
    }
    return out;
}

TEST_F(FilesTest, RomListing) {
    WriteFile("rom.bin", RomImage());
    // Map addresses are 0x8000 below the listed ones.
    WriteFile("rom.map", "First $10BF8100\nSecond $10BF8200\nOutside $20000000\n");
    ctx->symbolsOn = 1;
    EXPECT_EQ(CmdRomListing(ctx, "rom.bin", "rom.map", "rom.txt"), 0) << Debugger();
    EXPECT_EQ(ctx->symbolsOn, 1);
    std::ifstream in("rom.txt");
    std::string listing((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t first = listing.find("\nFirst:\n"), second = listing.find("\nSecond:\n");
    ASSERT_NE(first, std::string::npos) << listing;
    ASSERT_NE(second, std::string::npos) << listing;
    EXPECT_TRUE(Contains(listing, "\nOutside:\n")) << listing;  // outside the image: nothing listed
    // First: two instructions up to the RTS. Second: the RTS of the computed call does not end it.
    const std::string firstPart = listing.substr(first, second - first);
    const std::string secondPart = listing.substr(second);
    EXPECT_EQ(std::count(firstPart.begin(), firstPart.end(), '\n'), 4) << firstPart;  // heading, two lines
    EXPECT_TRUE(Contains(firstPart, "10C00100")) << firstPart;
    EXPECT_TRUE(Contains(secondPart, "10C00210")) << secondPart;
    EXPECT_TRUE(Contains(secondPart, "10C00212")) << secondPart;
    EXPECT_FALSE(Contains(secondPart, "10C00214")) << secondPart;

    // The same instructions as objdump decodes them.
    const std::string oracle = Objdump("rom.bin", 0x100, 0x104) + Objdump("rom.bin", 0x210, 0x214);
    for (const char* m : {"moveq", "rts", "rte"}) {
        EXPECT_TRUE(Contains(oracle, m)) << oracle;
        std::string upper = m;
        for (char& c : upper) c = static_cast<char>(std::toupper(c));
        EXPECT_TRUE(Contains(listing, upper)) << listing;
    }

    const struct {
        const char* image;
        const char* map;
        const char* output;
        const char* message;
    } errors[] = {
        {"none.bin", "rom.map", "x.txt", "file: 'none.bin' not found\n"},
        {"rom.map", "rom.map", "x.txt", "Could not read ROM image file header\n"},
        {"rom.bin", "none.map", "x.txt", "file: 'none.map' not found\n"},
        {"rom.bin", "rom.bin", "x.txt", "Could not read ROM Map file\n"},
        {"rom.bin", "rom.map", "/nonexistent/x.txt", "file: '/nonexistent/x.txt' could not be created\n"},
    };
    for (const auto& e : errors) {
        Clear(debugger);
        EXPECT_EQ(CmdRomListing(ctx, e.image, e.map, e.output), 1) << e.message;
        EXPECT_EQ(Debugger(), e.message);
    }
}

}  // namespace
}  // namespace quillwatch
