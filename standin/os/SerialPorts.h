// The serial manager of the stand-in OS (system slots 450, 452, 462, 468): a port id names a host
// descriptor (a pty, a socket, a serial device) that a test or the host program attaches.
#pragma once

#include <cstdint>

namespace vantor::os {

// Serial-class status codes of the port operations.
constexpr uint16_t serErrBadParam = 0x0301;
constexpr uint16_t serErrBadPort = 0x0304;
constexpr uint16_t serErrTimeOut = 0x0305;
constexpr uint16_t serErrLineErr = 0x0306;

// Control operations (slot 452): set and get the line flags (u32).
constexpr uint16_t srmCtlSetFlags = 3;
constexpr uint16_t srmCtlGetFlags = 4;
// Line flags: parity on (0x02), even parity (0x04), data bits field (0xC0: 0x00 five ... 0xC0 eight).
constexpr uint32_t srmSettingsFlagParityOnM = 0x02;
constexpr uint32_t srmSettingsFlagParityEvenM = 0x04;
constexpr uint32_t srmSettingsFlagBitsPerCharM = 0xC0;

// Attaches a host descriptor (borrowed, not closed) as port `portID` with flags 8 bits, no parity.
// Detach forgets the port.
bool SerialPortAttach(uint16_t portID, int fd);
void SerialPortDetach(uint16_t portID);
// The port's line flags as last set (0 for an unknown port).
uint32_t SerialPortFlags(uint16_t portID);

}  // namespace vantor::os
