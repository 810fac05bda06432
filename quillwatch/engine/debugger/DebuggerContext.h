// The debugger context's creation, the idle processing of what the device sends unasked, and the
// link set-up as the debugger drives it.
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

// The windows the debugger writes to, handed over by the front end.
struct DbgWindows {
    HWND debugger;   // the Debugger window's edit control (the context's console)
    HWND console;    // the Console window's edit control
    HWND registers;  // the CPU Registers window's edit control
};
extern DbgWindows gDbgWindows;

// The one debugger context of the program (none before the Debugger window first opens).
extern DbgContextType* gDbgContext;
// Hands the link half the services that reach this context (DebuggerServices.h).
void DbgInstallServices();
// Hands the command language the debugger module and its device access (LangServices.h).
void DbgInstallLanguageServices();

// Creates the one context, writing to the Debugger window's edit control, with the command
// modules and the command language; runs the start-up script "UserStartup-Quillwatch".
DbgContextType* DebuggerInit(HWND debuggerEdit, HWND consoleEdit, uint32_t reserved, HWND registersEdit);
uint16_t DbgLinkInit();
// The idle step: drains socket 0, then takes one packet from the console socket.
void DbgIdleProcess();
// Receives one packet on socket 0: 1 when a message was printed and another may follow, else 0.
int CmdReceiveMessagePacket(DbgContextType* ctx, int32_t timeoutMs);
void DbgDrainMessages(DbgContextType* ctx, int32_t timeoutMs);
// Opens the link of the kind (or only changes the baud of the open serial link).
uint16_t PrvSetupLink(uint32_t kind, uint16_t port, uint32_t baud, bool handshake, bool hostOnly);
uint16_t DbgGetLinkSettings(uint32_t* kind, uint16_t* port, uint32_t* baud, bool* handshake);
void DbgLinkControl(uint32_t value);
// The front end's Break command: the key that makes the device enter its debugger.
void DbgSendBreakKey();
uint16_t DbgRemoteLinkCheck();

}  // namespace quillwatch
