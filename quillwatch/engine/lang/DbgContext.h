// The debugger context: the one record every debugger command works on. It holds the console the
// commands write to, what the device last reported, the flags the user sets as debugger variables,
// the command language's line, stacks and tables, and the command-module table.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "common/DebuggerPackets.h"
#include "quillwatch/engine/lang/LexToken.h"
#include "quillwatch/link/HostShims.h"
#include "standin/win32/Win32Types.h"

namespace quillwatch {

using win32::HWND;

struct KwdTable;
struct SymTable;
struct FuncTable;
struct ModuleDescr;
struct TmtStore;

constexpr int kDbgLineChars = 256;  // characters of one command line (plus a terminating zero)

// Command ids of the debugger module.
enum DbgCommandId : uint16_t {
    dbgCmdDisplayMem = 1,
    dbgCmdInstructionList = 2,
    dbgCmdSetByte = 3,
    dbgCmdSetWord = 4,
    dbgCmdGo = 5,
    dbgCmdGoTill = 6,
    dbgCmdStepOver = 7,
    dbgCmdStepInto = 8,
    dbgCmdBreakpoint = 9,
    dbgCmdClearBreakpoint = 10,
    dbgCmdDisplayBreakpoints = 11,
    dbgCmdHelp = 12,
    dbgCmdAttach = 14,
    dbgCmdEnvironment = 15,
    dbgCmdRegisters = 16,
    dbgCmdLoad = 17,
    dbgCmdStackCrawlA6 = 18,
    dbgCmdStackCrawl = 19,
    dbgCmdStackCrawlA7 = 20,
    dbgCmdWhere = 21,
    dbgCmdRegisterTrap = 22,
    dbgCmdRun = 23,
    dbgCmdKeywords = 24,
    dbgCmdTypeEnd = 25,
    dbgCmdAlias = 26,
    dbgCmdVar = 27,
    dbgCmdTemplates = 28,
    dbgCmdVariables = 29,
    dbgCmdAliases = 30,
    dbgCmdSizeof = 31,
    dbgCmdCardInfo = 32,
    dbgCmdOpened = 40,
    dbgCmdCommands = 41,
    dbgCmdFlash = 42,
    dbgCmdDbgBreakToggle = 43,
    dbgCmdSetLong = 44,
    dbgCmdDisplayByte = 45,
    dbgCmdDisplayWord = 46,
    dbgCmdDisplayLong = 47,
    dbgCmdFill = 48,
    dbgCmdStepSpy = 49,
    dbgCmdTrapBreakDisplay = 50,
    dbgCmdTrapBreakSet = 51,
    dbgCmdTrapBreakClear = 52,
    dbgCmdPerformance = 60,
    dbgCmdFindByte = 61,
    dbgCmdFindWord = 62,
    dbgCmdFindLong = 63,
    dbgCmdFindText = 64,
    dbgCmdLibraries = 65,
    dbgCmdReset = 66,
    dbgCmdChecksum = 67,
    dbgCmdLockStatus = 68,
    dbgCmdEraseFlash = 69,
    dbgCmdRomListing = 70,
    dbgCmdDump = 71,
    dbgCmdSave = 72,
    dbgCmdBootstrap = 73,
    dbgCmdSymbols = 74,
    dbgCmdBeginStruct = 1000,
    dbgCmdDefineField = 1001,
    dbgCmdTypedef = 1002,
    dbgCmdExecuteAlias = 1003,
    dbgCmdAlign = 5000,
    dbgCmdPlay = 5003,
    dbgCmdValidate = 5004,
};

// Register codes (the id of REG entries).
enum DbgRegisterCode : uint16_t {
    dbgRegUSP = 1,
    dbgRegSSP = 3,
    dbgRegPC = 5,
    dbgRegSR = 7,
    dbgRegSP = 9,  // A7: the USP or the SSP by the SR's S bit
    dbgRegD0 = 0x80,
    dbgRegA0 = 0x800,
};

constexpr uint16_t kSRSupervisor = 0x2000;
constexpr uint16_t kSRTrace = 0x8000;

// Debugger variables of the debugger module (variable ids).
enum DbgVariableId : uint16_t {
    dbgVarDebOut = 1,
    dbgVarSymbolsOn = 2,
    dbgVarStepRegs = 3,
    dbgVarReadMemHack = 4,
    dbgVarAttached = 5,
};

// Registers of the stopped device, host order.
struct DbgRegisterBlock {
    uint32_t d[8];
    uint32_t a[7];
    uint32_t usp;
    uint32_t ssp;
    uint32_t pc;
    uint16_t sr;
};

void DbgRegistersFromWire(const vantor::DbgRegistersType& wire, DbgRegisterBlock* regs);
void DbgRegistersToWire(const DbgRegisterBlock& regs, vantor::DbgRegistersType* wire);

struct DbgBreakpointEntry {
    uint32_t address;
    uint8_t enabled;
    uint8_t installed;
};

struct DbgContextType {
    HWND console;  // the Debugger window's edit control

    // Scanner: the line being scanned, the read position in it, and whether an alias runs it.
    char line[kDbgLineChars + 1];
    uint16_t readPos;
    uint8_t aliasLine;

    // Parser: the parse stack, the lookahead, the line's error flag, and the repeat state.
    EvalStack parseStack;
    LexToken lookahead;
    uint8_t parseError;
    LexToken repeatToken;  // kind, size, id, module and column of the last non-empty line's first token
    uint8_t repeat;        // the current line is an empty line that repeats the last command

    EvalStack evalStack;

    uint8_t processorType;  // 0: 68K
    uint16_t exceptionId;
    uint16_t instructionWords[15];
    uint32_t instructionWordsAddress;
    DbgRegisterBlock regs;  // SR with the trace bit cleared
    uint8_t stepSpy;
    uint32_t stepSpyAddress, stepSpyCount, stepSpyChecksum;
    uint32_t stepOverTarget;
    uint8_t memRangesKnown;
    uint32_t memRanges[4][2];
    uint8_t trapTableCached;
    uint8_t trapTableId;
    uint32_t* trapTableCache;

    // Flags bound to the debugger variables of the same names.
    uint8_t attached;
    uint8_t debOut;
    uint8_t symbolsOn;
    uint8_t stepRegs;
    uint8_t readMemHack;
    uint8_t noTrapConditions;

    ModuleDescr* modules;
    SymTable* symbols;
    KwdTable* keywords;
    FuncTable* functions;

    uint32_t dotAddress;
    uint32_t lastAddress;
    uint32_t lastCount;
    uint16_t lastTemplate[2];

    uint32_t routineStart;
    uint32_t routineEnd;
    char routineName[32];
    DbgBreakpointEntry breakpoints[6];
    uint8_t userAbort;
    uint32_t disasmCallReturnPoint;  // the computed call the disassembler remembers (0: none)
    uint32_t disasmCallTarget;
    uint32_t sourceStepLine;
    uint8_t sourceStepOver;
    uint8_t newOS;
    TmtStore* templates;  // type templates by identity, and the struct being defined
};

// Console output of the debugger: writes to the context's console (the Debugger window).
void DbgPrint(DbgContextType* ctx, const char* text);
void DbgPrintf(DbgContextType* ctx, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A zero-filled heap block, or none when memory is exhausted; freed with DbgFreeBuffer.
void* DbgAllocBuffer(size_t size);
void DbgFreeBuffer(void* block);

}  // namespace quillwatch
