// A session saved by one process and restored by another goes on exactly where the first was.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tamsk/host/tests/ProgramRunner.h"

namespace tamsk::test {
namespace {

const std::string kMark = "\n---- <snapshot> ---\n";

// Two ROMs: one in SRAM alone, and one whose exception vectors are in NOR (its semihosting calls
// go through the SWI vector), which the session does not carry: the restore loads the ROM again.
void ContinuesAfterRestore(const std::vector<std::string>& items) {
    Program first;
    const std::string rom = first.RomList("rom.aei", items);
    // Saves itself every two emulated seconds.
    first.Start({"-ROM:" + rom, "-EnableConsole:true", "-SerialPort:none", "-AutoSaveInterval:2",
                 "-AutoSavePath:" + first.dir.path()});
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (first.OutputSoFar().find("tick 0000000e\n") == std::string::npos &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    first.Stop();
    const std::string out = first.OutputSoFar();
    const size_t mark = out.find(kMark);
    ASSERT_NE(mark, std::string::npos) << out;
    // The save paused the run without a reset: the count goes on.
    EXPECT_EQ(out.substr(0, 28), "tick 00000000\ntick 00000001\n");
    const std::string after = out.substr(mark + kMark.size());
    ASSERT_GE(after.size(), 4 * 14u) << out;

    // A new process restores it at start (State) and prints what the first one printed after the
    // snapshot, byte for byte.
    Program second;
    const Outcome o = second.Run({"-State:" + (first.dir / "autosave_000.aes"), "-EnableConsole:true",
                                  "-SerialPort:none", "-TimeLimit:2"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    const size_t common = std::min(after.size(), o.out.size()) / 14 * 14 - 14;
    ASSERT_GE(common, 3 * 14u) << o.out;
    EXPECT_EQ(o.out.substr(0, common), after.substr(0, common));
    EXPECT_NE(o.out.find("tick 0000000d\n"), std::string::npos) << o.out;
}

TEST(ProgramSession, ARestoredSessionContinuesWhereTheSavedOneWas) {
    ContinuesAfterRestore({"SRAM:5C020000:counter.bin"});
}

TEST(ProgramSession, ARomWithItsVectorsInNorRunsOnAfterARestore) {
    ContinuesAfterRestore({"NOR:0:vectors.bin", "SRAM:5C020000:semihost.bin"});
}

}  // namespace
}  // namespace tamsk::test
