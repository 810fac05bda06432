// The per-context 68K machine state.
//
// One record per 68K context: the global context and one per launched application or task. The
// interpreter, the trap glue and the export table address its leading fields directly, so their
// order and offsets are fixed. 68K addresses are native addresses of this 32-bit process.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/module/A68kLibrary.h"

namespace morvel {

// The interpreter alone is also built for x86-64 to be measured natively (bench/): its 68K code,
// data and stack then lie below 4 GiB. Everything else needs 32-bit pointers.
#ifndef MORVEL_CPU_ONLY
static_assert(sizeof(void*) == 4, "Morvel is built for the 32-bit OS side: 68K addresses are native");
#endif

// Return address pushed by Call68KCode: an RTS, RTR or JMP to it ends the run normally.
constexpr uint32_t kReturnMarker = 0xFFFFFFF0u;

// Status register bits.
constexpr uint32_t kSrC = 0x01, kSrV = 0x02, kSrZ = 0x04, kSrN = 0x08, kSrX = 0x10;
constexpr uint32_t kSrCcr = 0x1F;
constexpr uint32_t kSrTrace0 = 0x4000, kSrTrace1 = 0x8000;

// Values a run ends with (MorvelRun returns them truncated to 16 bits).
constexpr uint16_t kRunIllegal = 0xFFFF;
constexpr uint16_t kRunLine1010 = 0xFFFE;
constexpr uint16_t kRunLine1111 = 0xFFFD;
constexpr uint16_t kRunUnimplemented = 0xFFFC;
constexpr uint16_t kRunUnknownTrap = 0xFFFB;
constexpr uint16_t kRunDivideByZero = 0xFFFA;
constexpr uint16_t kRunStopped = 0xFFF9;

// Flags byte of a context.
constexpr uint8_t kFlagStopRequest = 0x01;
constexpr uint8_t kFlagReserveReleased = 0x02;
constexpr uint8_t kFlagNewSystem = 0x04;
constexpr uint8_t kFlagRearmTry = 0x08;

// Context kind of a context created for an application launch.
constexpr uint8_t kContextKindApp = 2;

constexpr int kAppInfoSize = 64;

struct EmulState;
struct NativeThunk;
struct RunFrame;
struct TaggedNode;
struct TryFrame;
using TrapHandler = void (*)(EmulState* state, uint16_t trapIndex);

struct EmulState {
    uint32_t opcode;  // low 16 bits: the instruction in progress when native code was entered
    uint32_t D[8];
    uint32_t A[8];  // A7 is the only stack pointer and the trap argument block
    uint32_t PC;
    uint32_t SR;
    uint8_t running;
    uint8_t contextKind;
    uint16_t floatStatus;  // float status word: bits 4-5 rounding mode, bit 15 unordered compare
    RunFrame* jumpChain;  // innermost run in progress

    // Launch (application launch and module entry).
    void* codeResource;
    uint16_t nativeLaunchFlags;
    uint16_t nativeLaunchCode;
    void* nativeLaunchParams;
    uint8_t appInfo[kAppInfoSize];  // big-endian block read by SysGetAppInfo
    uint32_t appDbId, appDbType, appDbCreator;
    EmulState* parent;
    EmulState* global;

    // Glue caches and shadow lists.
    void* formShadows[2];
    void* listCache;
    void* progress;
    void* activeField;
    void* menuShadows[2];
    void* windowShadows[2];
    void* bitmapShadows[2];
    TaggedNode* taggedNodes;
    uint32_t freeListAddr;
    void* freeListShadow;

    // 68K shared libraries (global context): entries are allocated one by one and never move.
    uint32_t libCount;
    vantor::A68kLibTableEntry** libTable;

    void* nub;
    struct Region {
        uint32_t base;
        uint32_t size;
    } regions[3];
    void* resourceCache;
    TrapHandler* trapTable;  // global context only
    NativeThunk* thunks;  // global context only
    uint8_t unimplementedReported;
    uint8_t flags;
    uint8_t directError;  // fatal reports go straight to the OS display, without native try frames
    uint8_t nubStopped;  // global context: 1 while a stop waits for the debugger
    uint32_t resHookCount;
    void* resHookCopy;
    uint32_t consoleTask;
    uint32_t tryCount;
    TryFrame* tryFrames;
    void* serialWakeups;
    uint32_t serialWakeupTask;
    void* soundStreams;
    void* procAlarms;  // procedure alarms set by the application's 68K code (top-level context)

    // Run bookkeeping: depth of the innermost run in progress (0 when idle).
    uint32_t runDepth;
    uint32_t exceptionList;  // the error manager's 68K exception-list head (big-endian)
    void* appStack;
};

static_assert(offsetof(EmulState, opcode) == 0);
static_assert(offsetof(EmulState, D) == 4);
static_assert(offsetof(EmulState, A) == 36);
static_assert(offsetof(EmulState, PC) == 68);
static_assert(offsetof(EmulState, SR) == 72);
static_assert(offsetof(EmulState, running) == 76);

}  // namespace morvel
