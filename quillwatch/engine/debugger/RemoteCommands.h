// Requests the debugger sends to the device's debugger nub on socket 0: state, memory, registers,
// routine names, find, messages and serial settings; the two-window read cache.
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"
#include "quillwatch/link/SerialLinkMgr.h"

namespace quillwatch {

// The console messages of one kind of request.
struct RequestTexts {
    const char* sendError;     // followed by the link error text
    const char* receiveError;  // followed by the link error text
    const char* badCommand;
    const char* badTransId;
};

// Sends one request on socket 0 (the command byte is the first byte of the first part) and
// receives its reply into `reply` (converted to host order). Returns 0, or 1 after printing the
// message of the failed check: send, receive, reply command (request | 0x80), transaction id.
uint16_t CmdRequest(DbgContextType* ctx, const RequestTexts& texts, const SlkBodyPart* parts, void* reply,
                    uint16_t replySize, int32_t timeoutMs, uint16_t* replyBodySize = nullptr);

// Asks for the device state: flushes socket 0 and sends the request; with noWait the reply is
// left to idle processing, otherwise it is received into `state` (zero-filled first) and checked.
uint16_t CmdGetRemoteState(DbgContextType* ctx, vantor::DbgStateType* state, uint16_t* size, bool noWait);
// CmdGetRemoteState, then the stop handling of a received report (the `att` command).
uint16_t CmdGetStateAndReport(DbgContextType* ctx, bool noWait, bool quiet);

// Reads device memory in requests of at most 256 bytes (host memory with ReadMemHack set).
uint16_t CmdReadRemoteMem(uint32_t address, void* destination, DbgContextType* ctx, uint32_t count);
// Reads through the two-window read cache (directly without useCache). With `centre`, a small read
// fills its window from 128 bytes before the address.
uint16_t PrvReadRemoteMemCached(DbgContextType* ctx, void* destination, uint32_t address, uint32_t count,
                                bool useCache, bool centre);
uint16_t CmdReadRemoteMemCached(DbgContextType* ctx, void* destination, uint32_t address, uint32_t count,
                                bool useCache);
void CmdFlushReadCache();
// Writes device memory in requests of at most 256 bytes; a block is tried up to four times.
uint16_t CmdWriteRemoteMem(DbgContextType* ctx, uint32_t address, const void* source, uint32_t count);
// Writes the registers (D0-D7, A0-A6, USP, SSP, PC, SR) to the device.
uint16_t CmdWriteRemoteRegisters(DbgContextType* ctx, const DbgRegisterBlock* regs);
// The routine around an address (start, end, name of at most 31 characters); 1 on failure.
uint16_t CmdGetRemoteRtnName(DbgContextType* ctx, uint32_t address, uint32_t* start, uint32_t* end,
                             char* name);
// Asks for the routine that holds the address: -1 when that fails or the address lies outside it,
// 0 when it is the current routine, 1 when the context now holds a new current routine.
int CmdUpdateRoutine(DbgContextType* ctx, uint32_t address);
// Searches `count` bytes from `first` for the pattern in pieces of at most 5000 start addresses,
// printing each hit as a display-memory line; *next is where a further search would start.
uint16_t CmdFindRemote(DbgContextType* ctx, const uint8_t* pattern, uint16_t length, uint32_t first,
                       uint32_t count, bool findAll, bool caseInsensitive, uint32_t* next);
// Sends the text as a message (command 127); no reply is awaited.
uint16_t CmdSendSimpleCmdPacket(DbgContextType* ctx, const char* text);
// Changes the device's serial settings (baud and handshake; none keeps the current one) on the
// socket; link failures are thrown (ErrThrow). 0xFFFF when the debugger socket is not attached.
uint16_t CmdSetRemoteSerialSettings(DbgContextType* ctx, const uint32_t* baud, const bool* handshake,
                                    uint8_t socket);
// The current stack pointer (USP in user mode, SSP in supervisor mode) and the mode (1 user, 3 supervisor).
uint32_t CmdCurrentA7(DbgContextType* ctx, const DbgRegisterBlock* regs);
int CmdProcessorMode(DbgContextType* ctx, const DbgRegisterBlock* regs);

}  // namespace quillwatch
