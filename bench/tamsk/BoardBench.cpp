// The whole board's speed and start-up, against qemu-system-arm's mainstone machine with a fixed
// instruction count (-icount shift=5,sleep=off) on the same programs:
// - a CPU-bound program (board.c) on the board with every device, run as the tamsk program runs it,
//   and under qemu; the rate in millions of instructions per second (qemu's start-up taken off);
// - start-up: the tamsk program, headless, started on a program that ends at once (it idles until
//   the first emulated second ends the run), and qemu on the same program; wall time and peak memory.
// Rounds run side by side; the medians are printed.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchStats.h"
#include "tamsk/board/CoreInterface.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/PatchTable.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Timing.h"
#include "tamsk/cpu/Cpu.h"
#include "tamsk/devices/Devices.h"

using namespace tamsk;

namespace {

using Clock = std::chrono::steady_clock;
const std::string kDir = TAMSK_BOARD_BENCH_DIR;

struct Process {
    double seconds = 0;
    double peakMiB = 0;
    int exitCode = -1;
};

// Runs a program to its end with its output discarded: wall time, peak resident memory, exit code.
Process Run(const std::vector<std::string>& args, const std::string& dir = "", bool headless = false) {
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(127);
        if (headless) setenv("WIN32_HEADLESS", "1", 1);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) {
        std::fprintf(stderr, "%s could not be run\n", args[0].c_str());
        std::exit(1);
    }
    Process p;
    p.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    p.peakMiB = double(usage.ru_maxrss) / 1024;
    p.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return p;
}

Process Qemu(const std::string& elf) {
    return Run({"qemu-system-arm", "-M", "mainstone", "-icount", "shift=5,sleep=off", "-display", "none",
                "-monitor", "none", "-serial", "null", "-semihosting", "-kernel", elf});
}

struct BoardRun {
    uint64_t instructions;
    double seconds;
    int exitCode;
};

// Breakpoint at the SWI vector: the program's exit call ends the run there.
uint32_t EndAtExitCall(uint32_t, void*, uint8_t*) {
    CpuRequestRunEnd(kRunExit);
    return 0;
}

// Powers the board on with the program, as the tamsk program does, and runs it to its exit call;
// in a child process, so that every round starts from a fresh power-on.
BoardRun RunBoard(const std::string& rom, const std::string& work) {
    int out[2];
    if (pipe(out) != 0) std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        close(out[0]);
        std::vector<std::string> args = {work + "/tamsk", "-ROM:" + rom, "-SerialPort:none",
                                         "-EnableEthernet:false"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        OptSetFilePath(work + "/tamsk.ini");
        OptSetCommandLine(int(argv.size()), argv.data());
        DevicesInstall();
        CpuInstall();
        RunCode = kRunPowerOn;
        HostInitAll(kRunPowerOn);
        const uint32_t swi = 0x08, original = *reinterpret_cast<uint32_t*>(MemNor + swi);
        *reinterpret_cast<uint32_t*>(MemNor + swi) = kPatchBreakpoint;
        PatchTable.entries[PatchTable.count++] = PatchEntry{swi, original, 0, &EndAtExitCall, {}};
        const auto t0 = Clock::now();
        const int32_t code = BoardCore.run();
        BoardRun r{ExecutedInstructions, std::chrono::duration<double>(Clock::now() - t0).count(), -1};
        // r1 holds the exit call's block {reason, code}.
        const uintptr_t block = MemHostPointer(gCpu.r[1]);
        if (code == kRunExit && block) std::memcpy(&r.exitCode, reinterpret_cast<void*>(block + 4), 4);
        if (write(out[1], &r, sizeof r) != ssize_t(sizeof r)) _exit(1);
        _exit(0);
    }
    close(out[1]);
    BoardRun r{};
    const bool got = read(out[0], &r, sizeof r) == ssize_t(sizeof r);
    close(out[0]);
    waitpid(pid, nullptr, 0);
    if (!got || r.exitCode < 0) {
        std::fprintf(stderr, "the board did not reach the exit call of %s\n", rom.c_str());
        std::exit(1);
    }
    return r;
}

}  // namespace

int main() {
    // The tamsk program writes its options file beside itself: a private copy in a folder of its own.
    char work[] = "/tmp/tamsk-board-bench-XXXXXX";
    if (!mkdtemp(work)) return 1;
    struct Cleanup {
        const char* dir;
        ~Cleanup() { std::filesystem::remove_all(dir); }
    } cleanup{work};
    std::error_code error;
    std::filesystem::copy_file(VANTOR_BIN_DIR "/tamsk", std::string(work) + "/tamsk", error);
    if (error) {
        std::fprintf(stderr, "cannot copy %s: %s\n", VANTOR_BIN_DIR "/tamsk", error.message().c_str());
        return 1;
    }
    const int rounds = 5;

    // Start-up: both machines start on a program that ends at once.
    std::vector<double> ourTime, peerTime, ourPeak, peerPeak;
    for (int k = 0; k < 2 * rounds; ++k) {
        const Process ours = Run({std::string(work) + "/tamsk", "-ROM:" + kDir + "/board-quick.aei",
                                  "-TimeLimit:1", "-SerialPort:none", "-EnableEthernet:false"},
                                 work, true);
        const Process peer = Qemu(kDir + "/board-quick.elf");
        if (ours.exitCode != 0 || peer.exitCode != 0) {
            std::fprintf(stderr, "start-up: tamsk ended with %d, qemu with %d\n", ours.exitCode,
                         peer.exitCode);
            return 1;
        }
        ourTime.push_back(ours.seconds);
        peerTime.push_back(peer.seconds);
        ourPeak.push_back(ours.peakMiB);
        peerPeak.push_back(peer.peakMiB);
    }
    const double startup = bench::Median(peerTime);

    // The CPU-bound program: the board's rate against qemu's, the same instructions.
    std::vector<double> ourRate, peerRate;
    uint64_t instructions = 0;
    for (int k = 0; k < rounds; ++k) {
        const BoardRun board = RunBoard(kDir + "/board-work.aei", work);
        const Process peer = Qemu(kDir + "/board-work.elf");
        if (peer.exitCode != board.exitCode) {
            std::fprintf(stderr, "the board's result %d differs from qemu's %d\n", board.exitCode,
                         peer.exitCode);
            return 1;
        }
        instructions = board.instructions;
        ourRate.push_back(double(instructions) / 1e6 / board.seconds);
        peerRate.push_back(double(instructions) / 1e6 / std::max(1e-6, peer.seconds - startup));
    }

    const double ours = bench::Median(ourRate), peer = bench::Median(peerRate);
    std::printf("%-10s %14s %12s %12s %10s\n", "program", "instructions", "board MIPS", "qemu MIPS",
                "board/qemu");
    std::printf("%-10s %14llu %12.1f %12.1f %10.2f\n", "board", static_cast<unsigned long long>(instructions),
                ours, peer, ours / peer);
    std::printf("%-10s %14s %12s %12s %12s %12s\n", "start-up", "tamsk s", "qemu s", "tamsk MiB", "qemu MiB",
                "");
    std::printf("%-10s %14.3f %12.3f %12.1f %12.1f\n", "", bench::Median(ourTime), startup,
                bench::Median(ourPeak), bench::Median(peerPeak));
    bench::Result("board", ours, peer, "MIPS");
    bench::Result("start-up", bench::Median(ourTime), startup, "s");
    bench::Result("start-up-peak", bench::Median(ourPeak), bench::Median(peerPeak), "MiB");
    return 0;
}
