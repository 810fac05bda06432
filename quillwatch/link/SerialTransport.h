// The serial transport: link bytes over a serial port (termios) to a device, or over the
// emulator's pipe (port 0: a Unix stream socket, connected to as a client, else listened on) to
// an emulator on the same machine. One port at a time. Statuses are serial-class (0x03xx).
#pragma once

#include <cstdint>

#include "quillwatch/link/LinkSelector.h"

namespace quillwatch {

// Settings flags.
constexpr uint32_t hostSerFlagTwoStopBits = 0x01;
constexpr uint32_t hostSerFlagParity = 0x02;
constexpr uint32_t hostSerFlagEvenParity = 0x04;
constexpr uint32_t hostSerFlagXonXoff = 0x08;
constexpr uint32_t hostSerFlagKept = 0x10;  // passed through, no effect on the port
constexpr uint32_t hostSerFlagDataBits = 0xC0;  // 0x00 five ... 0xC0 eight

// Serial ports are named COM1, COM2, ...; each maps to a device path (for example a USB serial
// adapter's /dev/ttyUSB0, or a pty). Without a mapping COMn is /dev/ttyS(n-1).
void HostSerSetPortPath(uint16_t port, const char* path);
// The device path of a port ("" for port 0).
const char* HostSerPortPath(uint16_t port);
// The pipe "\\.\pipe\Emulator_Debugger" is the Unix socket at this path; by default
// "Emulator_Debugger" in $XDG_RUNTIME_DIR, else /tmp/Emulator_Debugger-<uid>.
void HostSerSetPipePath(const char* path);
const char* HostSerPipePath();

Status HostSerOpen(uint16_t refNum, uint16_t port, uint32_t baud);
Status HostSerClose(uint16_t refNum);
uint32_t HostSerSend(uint16_t refNum, const void* bytes, uint32_t count, Status* status);
// Waits until the output queue is empty; -1 waits up to 10000 ms.
Status HostSerSendWait(uint16_t refNum, int32_t timeoutMs);
// Reads count bytes within the port's time-outs (the time-out argument is not used).
uint32_t HostSerReceive(uint16_t refNum, void* buffer, uint32_t count, int32_t timeoutMs, Status* status);
// Waits until at least one byte is there; -1 waits for ever.
Status HostSerReceiveWait(uint16_t refNum, uint32_t count, int32_t timeoutMs);
void HostSerReceiveFlush(uint16_t refNum, int32_t timeoutMs);
Status HostSerClearError(uint16_t refNum);

// The port's file descriptor, -1 when closed or while the pipe waits for its client (tests).
int HostSerFd();

}  // namespace quillwatch
