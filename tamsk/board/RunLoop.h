// The emulator's life: a loop of runs, each set up from a run code, executed by the core until a
// host request ends it, and wound down. Every reset, restore and save is a run code.
#pragma once

#include <atomic>
#include <cstdint>

namespace tamsk {

enum : int32_t {
    kRunPowerOn = 0,         // first run: options, memory, ROM, every device reset
    kRunExit = 1,            // no next run
    kRunHardReset = 2,       // reload the ROM, clear DRAM, reset every device
    kRunSoftReset = 3,       // reset every device; DRAM and flash stay
    kRunSave = 4,            // the ending run writes the session; the next run resumes untouched
    kRunLoad = 5,            // every device restores itself from the session file
    kRunPowerOnRestore = 6,  // as 0, then the session named by option State is restored
};

// Written by host threads (then pending bit 63 is raised), read by the core thread.
extern std::atomic<int32_t> RunCode;

// The machine's name, as the messages show it.
constexpr const char* kMachineName = "Zylonite B1";

// Every fatal condition ends here: one message box captioned "Unexpected condition", then the
// process exits with code 0xDEAD. Nothing is saved. printf-style.
[[noreturn]] void HostFatal(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Tests and fuzz targets may take fatal conditions instead of ending the process: the handler gets
// the text and must not return (it may throw). Null restores the normal ending.
using FatalHandler = void (*)(const char* text);
void HostSetFatalHandler(FatalHandler handler);

// The loop of runs; returns the process exit code. argv as given to main.
int HostRunLoop(int argc, char** argv);
// Start and end of one run (exposed for tests).
void HostInitAll(int32_t code);
void HostEndRun(int32_t code);

// The host window's part in the runs: `start` after the devices at the start of every run (the
// window is made on codes 0 and 6), `end` last at the end of every run. Null: no window.
struct HostWindowHooks {
    void (*start)(int32_t code);
    void (*end)(int32_t code);
};
void HostSetWindowHooks(const HostWindowHooks* hooks);

// Exit code of HostFatal.
constexpr int kFatalExitCode = 0xDEAD;

}  // namespace tamsk
