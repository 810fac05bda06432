// The USB transport over the maker's USB port library (see UsbTransport.cpp).
#pragma once

#include <cstdint>

#include "quillwatch/link/LinkSelector.h"

namespace quillwatch {

// The library's statuses as raw transport values: 0 -> 0; 2, 3 -> 5; 4 -> 9; 5 -> 6; others -> 11.
uint16_t HostUsbMapStatus(uint32_t status);

// 0, serErrInUse when already open, serErrTcp when the library cannot be loaded or set up.
Status HostUsbOpen(uint16_t refNum, uint16_t port);
Status HostUsbClose(uint16_t refNum);
Status HostUsbCheckRefNum(uint16_t refNum);
Status HostUsbClearError(uint16_t refNum);
// Sends through the device's port; the status is raw (HostUsbMapStatus). Without a device nothing
// is sent and the status is 6 (line).
uint32_t HostUsbSend(uint16_t refNum, const void* bytes, uint32_t count, uint16_t* status);
// 0 while a device port is open, else serErrLine.
Status HostUsbSendWait(uint16_t refNum);
uint32_t HostUsbReceive(uint16_t refNum, void* buffer, uint32_t count, int32_t timeoutMs, Status* status);
Status HostUsbReceiveWait(uint16_t refNum, uint32_t count, int32_t timeoutMs);
// Drops the queued bytes.
void HostUsbReceiveFlush(uint16_t refNum);
// True while a device's port is open.
bool HostUsbPortIsOpen();

}  // namespace quillwatch
