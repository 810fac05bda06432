// The library module's face: its globals, install, open and close.
#include "sockra/Sockra.h"
#include "sockra/SockraGlobals.h"
#include "sockra/SockraOS.h"

namespace sockra {

SockraGlobalsHeader* gSockraGlobalsP = nullptr;
SockraTables gSockra = {};
uint16_t gSockraMaxSockets = 0;
int32_t gSockraWakeupPipe[2] = {-1, -1};
uint8_t gSockraInterfaceUp = 0;

}  // namespace sockra
