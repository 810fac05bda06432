// The debugger nub: stops a 68K context for the remote debugger and serves its packets over the OS
// serial link manager (socket 0, the debugger's port 0x8002) until the debugger lets it go on.
#pragma once

#include <cstdint>

#include "common/SerialLinkPacket.h"
#include "morvel/cpu/EmulState.h"

namespace morvel {

constexpr uint16_t kNubVectorTrace = 0x24;
constexpr uint16_t kNubVectorTrapBreak = 0x28;
constexpr uint16_t kNubVectorBreakpoint = 0x80;
constexpr uint16_t kNubVectorBreak = 0xBC;
constexpr uint16_t kNubBufferSize = 272;
constexpr int kNubBreakpoints = 6;
constexpr int kNubTrapBreaks = 5;

// One context's nub state (OS heap, owner 0).
struct NubState {
    struct Breakpoint {
        uint32_t address;
        uint8_t enabled;
        uint8_t installed;
    } bp[kNubBreakpoints];  // entry 5 is the temporary breakpoint
    uint16_t savedWords[kNubBreakpoints];
    uint8_t unreadableBreakpoint;
    uint8_t stepOver;
    uint16_t trapBreaks[kNubTrapBreaks];  // trap index & 0x0FFF, 0 = empty
    uint16_t trapConditionals[kNubTrapBreaks];
    uint16_t trapBreakCount;
    uint16_t vector;
    uint8_t firstStop;
    uint8_t watchFlag;
    uint32_t watchAddress;
    uint32_t watchValue;
    uint8_t traceBreakpoints;
    uint8_t breakpointSuspend;
    uint8_t portOpen;
    uint8_t* buffer;  // kNubBufferSize bytes
    uint32_t bufferInUse;
    uint32_t resumePC;  // where the latest stop let the application go on
};

// The context's nub state, made on first use; null (after a trace line) when there is no memory.
NubState* PrvVerifyDbgGlobals(EmulState* s);

// Enters the nub. Answers 1 when it did not stop (no nub state, or a trace entry passed over) or
// when PC is the same after the stop, 0 when the stop changed PC.
uint8_t DbgEnterWithVector(EmulState* s, uint16_t vector);
// Answers 1 unless the trap is a trap break; a trap break stops at the TRAP #15 instruction.
uint8_t DbgTrapBreakCheck(EmulState* s, uint16_t trapIndex);
// True when the context has trap breaks set (the cheap test before DbgTrapBreakCheck).
inline bool DbgHasTrapBreaks(const EmulState* s) {
    return s->nub && static_cast<const NubState*>(s->nub)->trapBreakCount != 0;
}
// Frees the nub state and closes the debugger's socket and port.
void DbgNubClose(EmulState* s);

// One packet from the debugger while stopped: 0, or 0x0410 for a packet of another type. `body`
// is the nub's buffer of kNubBufferSize bytes.
uint16_t PrvHandleCommands68K(EmulState* s, vantor::SlkPktHeaderType* header, uint8_t* body);
// The commands that the 68K handler passes on, and the packets that reach the console while the
// application runs.
void MorvelSysPktDefaultResponse(EmulState* s, vantor::SlkPktHeaderType* header, uint8_t* body);

// Sends a text to the debugger as a message packet (command 127) and to the OS trace output.
void DbgSendMessage(EmulState* s, const char* text);

// The nub as the interpreter enters it (TRAP #0, TRAP #8, trace), and the traps DbgSrcMessage
// (0xA080) and DbgMessage (0xA081).
void DbgNubInstall(TrapHandler* table);

}  // namespace morvel
