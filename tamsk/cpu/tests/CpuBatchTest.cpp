// The run loop executes instructions in batches and looks at the board only between them. These
// tests boot the ROMs on the whole board, run the same number of instructions once in batches and
// once an instruction at a time, save the session each time and compare the files: registers,
// banks, counters, timers, interrupt controller, scheduler and every memory byte must agree.
// Both runs happen in child processes, so that each starts from a fresh power-on.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/board/tests/TestFiles.h"
#include "tamsk/cpu/Cpu.h"
#include "tamsk/cpu/TestBench.h"
#include "tamsk/devices/Devices.h"
#include "tamsk/devices/Lcd.h"

namespace tamsk {
namespace {

using test::ReadFile;
using test::TempDir;

// Powers the board on with `rom` and the options, runs `count` instructions and saves the session
// into `session`; in a child process. Returns the child's exit status.
int RunAndSave(const std::string& dir, const std::string& rom, const std::vector<std::string>& options,
               uint64_t count, bool stepped, const std::string& session) {
    const pid_t pid = fork();
    if (pid != 0) {
        int status = -1;
        waitpid(pid, &status, 0);
        return status;
    }
    std::vector<std::string> args = {dir + "/tamsk", "-ROM:" + rom, "-SerialPort:none", "-EnableEthernet:false",
                                     "-MAC:02:00:00:00:00:01"};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    OptSetFilePath(dir + "/tamsk.ini");
    OptSetCommandLine(static_cast<int>(argv.size()), argv.data());
    DevicesInstall();
    CpuInstall();
    RunCode = kRunPowerOn;
    HostInitAll(kRunPowerOn);
    if (stepped) {
        while (ExecutedInstructions < count) CpuStep();
    } else {
        CpuRunFor(count);
    }
    SessSetPath(session.c_str());
    // The host time of the display's last repaint is no state of the board: both runs save 0.
    Lcd.lastRepaintMs = 0;
    HostEndRun(kRunSave);
    _exit(ExecutedInstructions == count ? 0 : 1);
}

struct Case {
    const char* rom;
    std::vector<std::string> options;
    uint64_t count;
};

TEST(CpuBatch, BatchedAndSingleSteppedRunsEndInTheSameState) {
    // The test ROM goes through exceptions, aborts, the MMU, mode and state changes and three timer
    // interrupts; the demo ROM counts seconds on the timer's interrupt (TimeRatio 1: a second is
    // 3,250,000 instructions). With TimeRatio 1 the test ROM ends in its CP14 idle loop before
    // 4,000,000 instructions.
    const std::vector<Case> cases = {
        {"testrom", {}, 3'000'000},
        {"testrom", {"-TimeRatio:3"}, 2'000'000},
        {"testrom", {"-TimeRatio:1"}, 4'000'000},
        {"demo", {"-TimeRatio:1"}, 4'000'000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.rom) + (c.options.empty() ? "" : " " + c.options[0]));
        TempDir dir;
        const std::string rom = std::string(VANTOR_BIN_DIR) + "/roms/" + c.rom + ".aei";
        ASSERT_EQ(RunAndSave(dir.path(), rom, c.options, c.count, false, dir / "batched.aes"), 0);
        ASSERT_EQ(RunAndSave(dir.path(), rom, c.options, c.count, true, dir / "stepped.aes"), 0);
        const std::string batched = ReadFile(dir / "batched.aes"), stepped = ReadFile(dir / "stepped.aes");
        ASSERT_GT(batched.size(), 1000u);
        EXPECT_TRUE(batched == stepped) << "the saved sessions differ";
    }
}

TEST(CpuBatch, AnotherThreadsRequestEndsARunThatNeverLooksAtTheBoard) {
    // b . in ARM state: no device access, no tick that does anything; only the pending word set by
    // another thread can end the run.
    tb::Init();
    tb::WriteWords(0x8000, {0xEAFFFFFE});
    tb::StartAt(0x8000);
    std::thread requester([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        CpuRequestRunEnd(kRunSoftReset);
    });
    EXPECT_EQ(CpuRun(), kRunSoftReset);
    requester.join();
    EXPECT_EQ(gCpu.cur, 0x8000u);
    EXPECT_GT(ExecutedInstructions, 1000u);
}

}  // namespace
}  // namespace tamsk
