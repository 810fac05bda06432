// Tamsk: the development-board emulator: the board with its devices and the processor core.
#include <pthread.h>
#include <signal.h>

#include <thread>

#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Timing.h"
#include "tamsk/cpu/Cpu.h"
#include "tamsk/devices/Devices.h"
#include "tamsk/host/Display.h"

namespace {

// SIGINT and SIGTERM end the run as the window's Exit does: the devices wind down, the options
// file is written and the program ends with 0. They are taken by a thread of their own (blocked
// everywhere else), so the request is made outside a signal handler.
void TakeStopSignals() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    std::thread([stop] {
        int signal = 0;
        if (sigwait(&stop, &signal) == 0) tamsk::CpuRequestRunEnd(tamsk::kRunExit);
    }).detach();
}

}  // namespace

int main(int argc, char** argv) {
    TakeStopSignals();
    tamsk::DevicesInstall();
    tamsk::CpuInstall();
    tamsk::DisplayInstall();
    return tamsk::HostRunLoop(argc, argv);
}
