#include "tamsk/board/RunLoop.h"

#include "standin/win32/KernelObjects.h"
#include "tamsk/board/Board.h"
#include "tamsk/board/Console.h"
#include "tamsk/board/CoreInterface.h"
#include "tamsk/board/HostThreads.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/PatchTable.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"

namespace tamsk {

std::atomic<int32_t> RunCode{kRunPowerOn};
CoreInterface BoardCore;

namespace {
const HostWindowHooks* g_windowHooks;
}

void HostSetWindowHooks(const HostWindowHooks* hooks) { g_windowHooks = hooks; }

void BoardSetCore(const CoreInterface& core) { BoardCore = core; }

void HostInitAll(int32_t code) {
    const int32_t c = OptStart(code);
    SessSetPathFromState(c);
    HostStartCoreThread(c);
    TimingReset(c);
    BoardCore.reset(c);
    BoardResetAll(c);  // the interrupt controller first
    ConsoleSetup(c);
    if (c != kRunSave) ResetTrapCount = 0;
    if (g_windowHooks && g_windowHooks->start) g_windowHooks->start(c);
}

void HostEndRun(int32_t code) {
    if (code == kRunSave) SessTruncate();
    ConsolePrint(code == kRunSave ? "\n---- <snapshot> ---\n" : "\n---- <shutdown> ---\n");
    SessSaveAll(code);  // the interrupt controller last
    BoardCore.save(code);
    if (code == kRunSave) SessFinishSave();
    win32::timeEndPeriod(1);
    OptWriteFile();
    if (g_windowHooks && g_windowHooks->end) g_windowHooks->end(code);
}

int HostRunLoop(int argc, char** argv) {
    OptSetCommandLine(argc, argv);
    RunCode = kRunPowerOn;
    int32_t code;
    do {
        code = RunCode.load();
        HostInitAll(code);
        OptWriteFile();
        code = BoardCore.run();
        RunCode = code;
        HostEndRun(code);
    } while (code != kRunExit);
    return 0;
}

}  // namespace tamsk
