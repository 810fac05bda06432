// Command handlers of run control and the helpers they share with the function listing.
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

uint16_t CmdDoContinueCmd(DbgContextType* ctx);            // g
uint16_t CmdDoGoTillCmd(DbgContextType* ctx);              // gt
uint16_t CmdDoStepCmd(DbgContextType* ctx);                // s, t
uint16_t CmdDoBreakpointCmd(DbgContextType* ctx);          // br
uint16_t CmdDoClearBreakpointCmd(DbgContextType* ctx);     // cl, brc
uint16_t CmdDoDisplayBreakpointsCmd(DbgContextType* ctx);  // brd
uint16_t CmdDoStackCrawlCmd(DbgContextType* ctx);          // sc6, sc, sc7
uint16_t CmdDoStepSpyCmd(DbgContextType* ctx);             // ss
uint16_t CmdDoDbgBreakToggleCmd(DbgContextType* ctx);      // dx
uint16_t CmdDoTrapBreakCmd(DbgContextType* ctx);           // atd, atb, atc

// The reference number of a loaded library by its name (0: none).
uint16_t CmdLibraryRefNum(DbgContextType* ctx, const char* library);
bool CmdLibraryLoaded(DbgContextType* ctx, uint16_t refNum);
// The function display of wh and atd: the header, and one row (the routine address goes to *address).
void CmdPrintFunctionHeader(DbgContextType* ctx);
void CmdPrintFunctionRow(DbgContextType* ctx, const char* name, uint16_t trap, uint16_t refNum, uint32_t* address);

}  // namespace quillwatch
