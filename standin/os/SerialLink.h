// The debugger's serial port (0x8002) of the stand-in OS: which host descriptor it opens. A test
// may attach a descriptor itself (SerialPortAttach with port id 0x8002); otherwise SrmOpen opens
// what the environment variable VANTOR_DEBUGGER_LINK names:
//   tcp-listen:PORT   waits for the debugger to connect to 127.0.0.1:PORT
//   tcp:HOST:PORT     connects to a debugger that listens
//   PATH              a serial device or pty, set to raw mode
// or the listening socket that a program set up with DebuggerLinkListen.
#pragma once

#include <cstdint>

namespace vantor::os {

// Listens on 127.0.0.1:port (0: any free port) for the debugger; SrmOpen of port 0x8002 then
// accepts one connection. Returns the port, or 0 when it cannot listen.
uint16_t DebuggerLinkListen(uint16_t port);

}  // namespace vantor::os
