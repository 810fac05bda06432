#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "quillwatch/engine/disasm/Disassembler.h"
#include "quillwatch/engine/disasm/tests/ObjdumpOracle.h"

namespace {

using namespace qwtest;

constexpr uint32_t kSlotWords = 16;

bool AtSlotStart(const ObjdumpInsn& insn) {
    return insn.address % (kSlotWords * 2) == 0;
}

std::vector<uint8_t> BigEndian(const std::vector<uint16_t>& words) {
    std::vector<uint8_t> bytes;
    for (uint16_t w : words) {
        bytes.push_back(static_cast<uint8_t>(w >> 8));
        bytes.push_back(static_cast<uint8_t>(w));
    }
    return bytes;
}

// Every first word 0x0000-0xFFFF, each in a slot of its own padded with NOP so that objdump starts
// afresh at each slot; four quarters, one objdump run each.
class FirstWordSweep : public testing::TestWithParam<uint32_t> {};

TEST_P(FirstWordSweep, AgreesWithObjdump) {
    uint32_t first = GetParam() * 0x4000;
    std::vector<uint16_t> words;
    for (uint32_t w = first; w < first + 0x4000; ++w) {
        words.push_back(static_cast<uint16_t>(w));
        words.insert(words.end(), kSlotWords - 1, 0x4E71);
    }
    uint32_t base = first * kSlotWords * 2;
    std::vector<ObjdumpInsn> insns = ObjdumpRaw(BigEndian(words), base);
    ASSERT_FALSE(insns.empty()) << "m68k-linux-gnu-objdump did not run";
    CompareStats stats;
    CompareWithObjdump(insns, words, base, stats, AtSlotStart);
    EXPECT_EQ(stats.compared, 0x4000u);
    EXPECT_TRUE(stats.differences.empty()) << CompareReport(stats);
    std::printf("%s", CompareReport(stats, 0).c_str());
}

INSTANTIATE_TEST_SUITE_P(Quarters, FirstWordSweep, testing::Range(0u, 4u));

// Every extension word after MOVE.L (d,A0,Xn),D0 and MOVE.L (d,PC,Xn),D0, followed by distinct
// displacement words: the brief and full extension formats with every base and outer size.
class ExtensionWordSweep : public testing::TestWithParam<uint16_t> {};

TEST_P(ExtensionWordSweep, AgreesWithObjdump) {
    std::vector<uint16_t> words;
    for (uint32_t ext = 0; ext < 0x10000; ++ext) {
        words.insert(words.end(), {GetParam(), static_cast<uint16_t>(ext), 0x1234, 0x5678, 0x9ABC, 0xDEF0});
        words.insert(words.end(), 2, 0x4E71);
    }
    std::vector<ObjdumpInsn> insns = ObjdumpRaw(BigEndian(words), 0);
    ASSERT_FALSE(insns.empty()) << "m68k-linux-gnu-objdump did not run";
    CompareStats stats;
    CompareWithObjdump(insns, words, 0, stats,
                       [](const ObjdumpInsn& insn) { return insn.address % 16 == 0; });
    EXPECT_EQ(stats.compared, 0x10000u);
    EXPECT_TRUE(stats.differences.empty()) << CompareReport(stats);
    std::printf("%s", CompareReport(stats, 0).c_str());
}

INSTANTIATE_TEST_SUITE_P(Modes, ExtensionWordSweep, testing::Values(0x2030, 0x203B));

// A temporary directory that removes itself.
class TempDir {
  public:
    TempDir() {
        char path[] = "/tmp/qwdisasm-XXXXXX";
        if (mkdtemp(path)) path_ = path;
    }
    ~TempDir() {
        if (!path_.empty()) std::system(("rm -rf " + path_).c_str());
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Compares the .text section of an object or library file with objdump's listing of it.
void CompareTextSection(const std::string& file, const std::string& machine, CompareStats& stats) {
    TempDir dir;
    std::string out;
    ASSERT_TRUE(
        RunCommand("m68k-linux-gnu-objcopy -O binary --only-section=.text " + file + " " + dir / "text", out))
        << out;
    ASSERT_TRUE(RunCommand("m68k-linux-gnu-objdump -h " + file, out)) << out;
    std::istringstream headers(out);
    std::string line;
    uint32_t address = 0;
    bool found = false;
    while (std::getline(headers, line)) {
        std::istringstream fields(line);
        std::string index, name, size, vma;
        fields >> index >> name >> size >> vma;
        if (name == ".text") {
            address = static_cast<uint32_t>(std::strtoul(vma.c_str(), nullptr, 16));
            found = true;
        }
    }
    ASSERT_TRUE(found) << file << " has no .text";
    std::ifstream in(dir / "text", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<uint16_t> words = quillwatch::DisasmWordsFromBytes(bytes);
    ASSERT_TRUE(RunCommand("m68k-linux-gnu-objdump -d -z -m m68k:" + machine + " -j .text " + file, out))
        << out;
    std::vector<ObjdumpInsn> insns = ParseObjdump(out);
    ASSERT_FALSE(insns.empty());
    CompareWithObjdump(insns, words, address, stats);
    EXPECT_EQ(stats.compared, insns.size());
}

// A corpus of every decoder row, assembled here.
TEST(Corpus, AgreesWithObjdump) {
    static const struct {
        const char* file;
        const char* cpu;
    } kFiles[] = {{"rows.s", "68040"}, {"mmu68030.s", "68030"}};
    for (const auto& f : kFiles) {
        SCOPED_TRACE(f.file);
        TempDir dir;
        std::string out;
        ASSERT_TRUE(RunCommand(std::string("m68k-linux-gnu-as -m") + f.cpu + " -o " + dir / "corpus.o " +
                                   QW_DISASM_CORPUS_DIR "/" + f.file + " 2>&1",
                               out))
            << out;
        CompareStats stats;
        CompareTextSection(dir / "corpus.o", f.cpu, stats);
        EXPECT_TRUE(stats.differences.empty()) << CompareReport(stats);
        std::printf("%s: %s", f.file, CompareReport(stats, 0).c_str());
    }
}

// Real code: the .text of m68k libraries from Debian's cross packages. QW_DISASM_LIBRARIES may
// name others (blank-separated paths), for example the C library for a longer run.
TEST(RealCode, AgreesWithObjdump) {
    const char* env = std::getenv("QW_DISASM_LIBRARIES");
    std::istringstream paths(
        env ? env : "/usr/m68k-linux-gnu/lib/libgcc_s.so.2 /usr/m68k-linux-gnu/lib/libatomic.so.1");
    std::string path;
    while (paths >> path) {
        SCOPED_TRACE(path);
        CompareStats stats;
        CompareTextSection(path, "68040", stats);
        EXPECT_TRUE(stats.differences.empty()) << CompareReport(stats);
        std::printf("%s: %s", path.c_str(), CompareReport(stats, 0).c_str());
    }
}

}  // namespace

namespace {

// The comparison itself must tell wrong lines from right ones.
TEST(Comparator, TellsWrongLinesFromRightOnes) {
    struct {
        std::vector<uint16_t> words;
        ObjdumpInsn right;
        std::vector<ObjdumpInsn> wrong;
    } cases[] = {
        {{0x2035, 0x3C0C},
         {0, 4, "movel", "%a5@(c,%d3:l:4),%d0"},
         {{0, 4, "movel", "%a5@(c,%d3:l:2),%d0"},
          {0, 4, "movel", "%a5@(c,%d3:l:4),%d1"},
          {0, 4, "movel", "%a5@(d,%d3:l:4),%d0"},
          {0, 4, "movew", "%a5@(c,%d3:l:4),%d0"},
          {0, 2, "movel", "%a5@(c,%d3:l:4),%d0"}}},
        {{0x6712}, {0, 2, "beqs", "0x14"}, {{0, 2, "beqs", "0x16"}, {0, 2, "bnes", "0x14"}}},
        {{0x303C, 0xFFFF},
         {0, 4, "movew", "#-1,%d0"},
         {{0, 4, "movew", "#-2,%d0"}, {0, 4, "movew", "#-1,%a0"}}},
        // A 16-bit displacement is decimal in objdump's text, a full extension's hexadecimal.
        {{0x2028, 0x000A}, {0, 4, "movel", "%a0@(10),%d0"}, {{0, 4, "movel", "%a0@(16),%d0"}}},
        {{0x2030, 0x0160, 0x0010}, {0, 6, "movel", "%a0@(10),%d0"}, {{0, 6, "movel", "%a0@(16),%d0"}}},
        {{0x48E7, 0xF0C0},
         {0, 4, "moveml", "%d0-%d3/%a0-%a1,%sp@-"},
         {{0, 4, "moveml", "%d0-%d3/%a0,%sp@-"}, {0, 4, "moveml", "%d0-%d3/%a0-%a1,%sp@+"}}},
    };
    for (const auto& c : cases) {
        CompareStats right;
        CompareWithObjdump({c.right}, c.words, 0, right);
        EXPECT_TRUE(right.differences.empty()) << CompareReport(right);
        for (const ObjdumpInsn& wrong : c.wrong) {
            CompareStats stats;
            CompareWithObjdump({wrong}, c.words, 0, stats);
            EXPECT_EQ(stats.differences.size(), 1u) << wrong.mnemonic << " " << wrong.operands;
        }
    }
}

}  // namespace
