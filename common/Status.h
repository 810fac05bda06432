// Status codes: 16-bit, 0 for success. The high byte names the error class of the manager that
// reports it; 0xFFFF is a generic failure.
#pragma once

#include <cstdint>

namespace vantor {

using Status = uint16_t;

constexpr Status errNone = 0;
constexpr Status errGenericFailure = 0xFFFF;

// Error classes (the high byte of a status).
constexpr Status errClassSerial = 0x0300;
constexpr Status errClassSerialLink = 0x0400;
constexpr Status errClassNetLib = 0x1200;
constexpr Status errClassTcpTransport = 0x1300;
constexpr Status errClassHostFS = 0x2900;
constexpr Status errClassHostFSLib = 0x2A00;
constexpr Status errClassKernel = 0xF000;
constexpr Status errClassRemoteAccess = 0xF300;

constexpr Status StatusClass(Status s) { return static_cast<Status>(s & 0xFF00); }

}  // namespace vantor
