// Debugger packet bodies: the command set, the body layouts, and their byte-order converters.
//
// A body begins with its command byte; a reply carries the command with 0x80 set. Bodies are laid
// out as the device's 68K code lays them out (big-endian, 16-bit fields on even offsets). Hosts
// keep a body in host order and convert it in place just before sending and just after
// receiving; every converter is its own inverse (the two marked "from device" excepted).
//
// Every converter takes the size of the buffer it may touch and converts only the fields that lie
// wholly inside it, so a short body received from outside never leads to a read or write past it.
// The records below are packed to their wire layout; fill them by field name, then convert.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

// The command byte of a debugger packet body (first byte).
enum DbgPktCommand : uint8_t {
    dbgPktState = 0,               // get state; the reply is a DbgStateType
    dbgPktReadMem = 1,
    dbgPktWriteMem = 2,
    dbgPktRtnName = 4,             // routine name around an address
    dbgPktReadRegs = 5,
    dbgPktWriteRegs = 6,
    dbgPktContinue = 7,
    dbgPktRemoteCall = 10,         // remote procedure call
    dbgPktGetBreakpoints = 11,
    dbgPktSetBreakpoints = 12,
    dbgPktToggleDbgBreaks = 13,    // on socket 0; on socket 2 the same byte is a remote event
    sysPktRemoteEvtCmd = 13,
    dbgPktRemoteCall2 = 14,        // second remote-call form (converter only)
    dbgPktSerialSettings = 15,
    dbgPktGetTrapBreaks = 16,
    dbgPktSetTrapBreaks = 17,
    dbgPktTesterRequest = 18,      // random-event tester request, device to host
    dbgPktFind = 19,
    dbgPktGetTrapConditions = 20,
    dbgPktSetTrapConditions = 21,
    sysPktChecksumCmd = 22,        // checksum of memory (converter only)
    dbgPktFlash = 23,              // flash programming (converter only)
    dbgPktMessage = 127,           // text message, device to host
};
constexpr uint8_t dbgReplyFlag = 0x80;

#pragma pack(push, 1)

struct DbgRegistersType {
    uint32_t d[8];
    uint32_t a[7];
    uint32_t usp;
    uint32_t ssp;
    uint32_t pc;
    uint16_t sr;
};
static_assert(sizeof(DbgRegistersType) == 74 && offsetof(DbgRegistersType, a) == 32 &&
              offsetof(DbgRegistersType, usp) == 60 && offsetof(DbgRegistersType, pc) == 68 &&
              offsetof(DbgRegistersType, sr) == 72);

constexpr int dbgBreakpointCount = 6;
struct DbgBreakpointType {
    uint32_t address;
    uint8_t enabled;
    uint8_t installed;
};
static_assert(sizeof(DbgBreakpointType) == 6);

// The state report (reply 0x80).
struct DbgStateType {
    uint8_t command;
    uint8_t filler;
    uint8_t reason;  // 0 when it answers a state request
    uint8_t filler2;
    uint16_t exceptionId;
    DbgRegistersType regs;
    uint16_t inst[15];  // instruction words at the PC
    DbgBreakpointType bp[dbgBreakpointCount];
    uint32_t startAddr;  // routine around the PC
    uint32_t endAddr;
    char name[32];
    uint8_t trapTableId[2];  // copied as bytes; the last one identifies the device's trap table
};
static_assert(sizeof(DbgStateType) == 188 && offsetof(DbgStateType, exceptionId) == 4 &&
              offsetof(DbgStateType, regs) == 6 && offsetof(DbgStateType, inst) == 80 &&
              offsetof(DbgStateType, bp) == 110 && offsetof(DbgStateType, startAddr) == 146 &&
              offsetof(DbgStateType, name) == 154 && offsetof(DbgStateType, trapTableId) == 186);

// Read memory (1) and write memory (2); a write is followed by numBytes data bytes.
struct DbgMemRequestType {
    uint8_t command;
    uint8_t filler;
    uint32_t address;
    uint16_t numBytes;  // at most 256
};
static_assert(sizeof(DbgMemRequestType) == 8);
constexpr uint16_t dbgMaxMemBlock = 256;

// Routine name request (4) and reply (0x84).
struct DbgRtnNameRequestType {
    uint8_t command;
    uint8_t filler;
    uint32_t address;
};
static_assert(sizeof(DbgRtnNameRequestType) == 6);
struct DbgRtnNameResponseType {
    uint8_t command;
    uint8_t filler;
    uint32_t address;
    uint32_t startAddr;
    uint32_t endAddr;
    char name[32];
};
static_assert(sizeof(DbgRtnNameResponseType) == 46 && offsetof(DbgRtnNameResponseType, name) == 14);

struct DbgWriteRegsRequestType {
    uint8_t command;
    uint8_t filler;
    DbgRegistersType regs;
};
static_assert(sizeof(DbgWriteRegsRequestType) == 76);

struct DbgContinueRequestType {
    uint8_t command;
    uint8_t filler;
    DbgRegistersType regs;
    uint8_t stepSpy;
    uint8_t filler2;
    uint32_t stepSpyAddr;
    uint32_t stepSpyCount;
    uint32_t stepSpyChecksum;
};
static_assert(sizeof(DbgContinueRequestType) == 90 && offsetof(DbgContinueRequestType, stepSpy) == 76 &&
              offsetof(DbgContinueRequestType, stepSpyAddr) == 78);

// Get (11) and set (12) breakpoints; the table is converted field by field by its sender.
struct DbgBreakpointsBodyType {
    uint8_t command;
    uint8_t filler;
    DbgBreakpointType bp[dbgBreakpointCount];
};
static_assert(sizeof(DbgBreakpointsBodyType) == 38);

// Serial settings request (15): the action byte stands at offset 1; reply (0x8F) below.
struct DbgSerialSettingsRequestType {
    uint8_t command;
    uint8_t action;  // 0 get, 1 set
    uint8_t filler[2];
    uint32_t baud;
    uint32_t flags;  // 0x10: hardware handshake
};
static_assert(sizeof(DbgSerialSettingsRequestType) == 12 && offsetof(DbgSerialSettingsRequestType, baud) == 4);
struct DbgSerialSettingsResponseType {
    uint8_t command;
    uint8_t filler;
    uint32_t baud;
    uint32_t flags;
};
static_assert(sizeof(DbgSerialSettingsResponseType) == 10);

// Get / set trap breaks (16/17) and trap conditions (20/21).
struct DbgTrapWordsBodyType {
    uint8_t command;
    uint8_t filler;
    uint16_t traps[5];
};
static_assert(sizeof(DbgTrapWordsBodyType) == 12);

// Find bytes (19), followed by the pattern; reply 0x93.
struct DbgFindRequestType {
    uint8_t command;
    uint8_t filler;
    uint32_t firstAddr;
    uint32_t lastAddr;  // at most firstAddr + 4999
    uint16_t patternLen;
    uint8_t caseInsensitive;
    uint8_t filler2;
};
static_assert(sizeof(DbgFindRequestType) == 14);
struct DbgFindResponseType {
    uint8_t command;
    uint8_t filler;
    uint32_t address;
    uint8_t found;
    uint8_t filler2;
};
static_assert(sizeof(DbgFindResponseType) == 8);

// Random-event tester request (18), device to host.
struct DbgTesterRequestType {
    uint8_t command;
    uint8_t filler;
    uint16_t action;
};
static_assert(sizeof(DbgTesterRequestType) == 4);

// Remote event (13 on socket 2; no reply).
struct DbgRemoteEventBodyType {
    uint8_t command;
    uint8_t filler;
    uint8_t penDown;
    uint8_t filler2;
    int16_t penX;
    int16_t penY;
    uint8_t keyPress;
    uint8_t filler3;
    uint16_t modifiers;
    uint16_t chr;
    uint16_t keyCode;
};
static_assert(sizeof(DbgRemoteEventBodyType) == 16 && offsetof(DbgRemoteEventBodyType, modifiers) == 10);

// Head of a remote-call body (10, reply 0x8A); the parameters follow.
struct RpcBodyHeadType {
    uint8_t command;
    uint8_t filler;
    uint16_t trap;
    uint32_t d0;  // while a request is being built: its running length
    uint32_t a0;
    uint16_t numParams;
};
static_assert(sizeof(RpcBodyHeadType) == 14);

#pragma pack(pop)

// Converts a body in place by its command byte (read before converting): the RPC head only for
// 10 and 0x8A; nothing for commands without multi-byte fields at fixed places.
void SwapPacketBody(void* body, size_t size);

// Single bodies and values.
void SwapEmptyBody(void* body, size_t size);
void SwapRegisters(void* regs, size_t size = sizeof(DbgRegistersType));
void SwapStateResponse(void* body, size_t size = sizeof(DbgStateType));
void SwapMemRequest(void* body, size_t size = sizeof(DbgMemRequestType));
void SwapAddressBody(void* body, size_t size);  // 4 and 0x93: u32 at 2
void SwapRtnNameResponse(void* body, size_t size = sizeof(DbgRtnNameResponseType));
void SwapWriteRegsRequest(void* body, size_t size = sizeof(DbgWriteRegsRequestType));
void SwapContinueRequest(void* body, size_t size = sizeof(DbgContinueRequestType));
void SwapRpcBody(void* body, size_t size);
void SwapRpc2Body(void* body, size_t size);
void SwapSerialSettingsRequest(void* body, size_t size = sizeof(DbgSerialSettingsRequestType));
void SwapSerialSettingsResponse(void* body, size_t size = sizeof(DbgSerialSettingsResponseType));
void SwapTesterRequest(void* body, size_t size = sizeof(DbgTesterRequestType));
void SwapFindRequest(void* body, size_t size = sizeof(DbgFindRequestType));
void SwapChecksumBody(void* body, size_t size);
void SwapFlashBody(void* body, size_t size);
void SwapRemoteEventBody(void* body, size_t size = sizeof(DbgRemoteEventBodyType));
void SwapWord(void* p);
void SwapLong(void* p);

// Device OS records fetched by remote calls, shell commands and the debugger.
void SwapRect(void* rect, size_t size = 8);
void SwapFieldAttributes(void* attr, size_t size = 2);
void SwapKernelInfo(void* info, size_t size = 64);
void SwapDmSearchState(void* state, size_t size = 32);
void SwapDatabaseHeader(void* header, size_t size = 78);
void SwapAppInfo(void* info, size_t size = 60);
void SwapCardHeader(void* header, size_t size = 114);

// Further records of the shell utilities, named by their layout: L a u32 and W a u16 at the
// offset that follows the letter.
enum class DbgRecordLayout {
    L0_W4_L6,
    L0_W4_L8,
    W0_L4_L8_W12_L16,
    W0_L2_W6_L8,
    W0_W2_W4_W6,
    W0_W4,
    W0_L4,
    W0_W2,
    L0_W4,
    L0_L4_L8_W12,
    L0_W4_L6_L12_L16_L20_W24_W26_L28_L32,
    L0_W4_L6_L10,
    L0_L4_L8_L12,
};
void SwapDeviceRecord(DbgRecordLayout layout, void* record, size_t size);

// Device to host only: an 8-byte entry of two words each made of a high byte and a 24-bit value
// (bits 0x30 of the first high byte are cleared).
void SwapPackedPairFromDevice(void* entry, size_t size = 8);
// Device to host only: u32 at 0, u16 count at 4, then count u32 values from offset 8 (as many as
// fit in `size`).
void SwapCountedListFromDevice(void* list, size_t size);

}  // namespace vantor
