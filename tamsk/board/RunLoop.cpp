#include "tamsk/board/RunLoop.h"

#include "standin/win32/KernelObjects.h"
#include "tamsk/board/Board.h"
#include "tamsk/board/CoreInterface.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/PatchTable.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/host/Console.h"
#include "tamsk/host/HostThreads.h"

namespace tamsk {

std::atomic<int32_t> RunCode{kRunPowerOn};

void HostInitAll(int32_t code) {
    const int32_t c = OptStart(code);
    SessSetPathFromState(c);
    HostStartCoreThread(c);
    TimingReset(c);
    CpuReset(c);
    IntcReset(c);
    BoardResetAll(c);
    ConsoleSetup(c);
    if (c != kRunSave) ResetTrapCount = 0;
}

void HostEndRun(int32_t code) {
    if (code == kRunSave) SessTruncate();
    ConsolePrint(code == kRunSave ? "\n---- <snapshot> ---\n" : "\n---- <shutdown> ---\n");
    SessSaveAll(code);
    IntcSave(code);
    CpuSave(code);
    if (code == kRunSave) SessFinishSave();
    win32::timeEndPeriod(1);
    OptWriteFile();
}

int HostRunLoop(int argc, char** argv) {
    OptSetCommandLine(argc, argv);
    RunCode = kRunPowerOn;
    int32_t code;
    do {
        code = RunCode.load();
        HostInitAll(code);
        OptWriteFile();
        code = CpuRun();
        RunCode = code;
        HostEndRun(code);
    } while (code != kRunExit);
    return 0;
}

}  // namespace tamsk
