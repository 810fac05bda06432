// Tamsk: the development-board emulator.
#include "tamsk/board/RunLoop.h"

int main(int argc, char** argv) { return tamsk::HostRunLoop(argc, argv); }
