// Tamsk: the development-board emulator: the board with its devices and the processor core.
#include "tamsk/board/RunLoop.h"
#include "tamsk/cpu/Cpu.h"
#include "tamsk/devices/Devices.h"

int main(int argc, char** argv) {
    tamsk::DevicesInstall();
    tamsk::CpuInstall();
    return tamsk::HostRunLoop(argc, argv);
}
