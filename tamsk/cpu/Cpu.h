// The emulated XScale (ARMv5TE) processor: register file, modes and exceptions, address translation,
// coprocessors and the ARM and Thumb interpreters. One global instance, owned by the core thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "tamsk/board/CoreInterface.h"

namespace tamsk {

// Mode numbers.
enum : uint32_t {
    kModeUser = 16,
    kModeFiq = 17,
    kModeIrq = 18,
    kModeSupervisor = 19,
    kModeAbort = 23,
    kModeUndefined = 27,
    kModeSystem = 31,
};

// Exception kinds, in vector order.
enum CpuException : int {
    kExcReset = 0,
    kExcUndefined = 1,
    kExcSwi = 2,
    kExcPrefetchAbort = 3,
    kExcDataAbort = 4,
    kExcIrq = 5,
    kExcFiq = 6,
};

// The condition flags in CpuRegisterFile::nzcv.
constexpr uint32_t kFlagN = 1u << 31, kFlagZ = 1u << 30, kFlagC = 1u << 29, kFlagV = 1u << 28;

struct CpuRegisterFile {
    uint32_t r[16];           // registers of the current mode; r15 = instruction address + 8 (Thumb + 4)
    uint32_t cur;             // address of the instruction being executed
    uint32_t next;            // where execution continues
    uint32_t bank[8][32];     // r8..r14 and one spare array, indexed by mode number (16 = User/System)
    uint32_t spsr[32];        // indexed by mode number
    uint32_t nzcv;            // N, Z, C and V in their CPSR bits 31..28; the other bits are 0
    uint32_t Q, I, F;         // flags, 0 or 1 each
    uint32_t tImage;          // the CPSR T bit as last written by MSR or restored from an SPSR
    uint32_t mode;            // 5-bit mode number
    uint32_t thumb;           // execution state: 1 while executing Thumb
    uint32_t fsr, far;        // fault status and fault address (CP15 registers 5 and 6)
    uint32_t highVectors;     // V bit of the CP15 control register
    // Coprocessor registers kept with the core.
    uint32_t control;         // CP15 register 1
    uint32_t processId;       // CP15 register 13
    uint32_t cp15Shared;      // CP15 registers 14 and 15 share one word
    uint32_t cp14Clock;       // CP14 register 6
    uint32_t cp14Power;       // CP14 register 7
    uint32_t acc0Lo, acc0Hi;  // CP0 accumulator: bits 31..0 and the high word (bits 39..32 in its low byte)
};

extern CpuRegisterFile gCpu;

// Device paths reached through hooks: the Ethernet controller window (size 1, 2 or 4 bytes; not
// modelled yet), the LCD switch-off when the MMU is turned off, and the repaint request of a write
// into the watched frame buffer (CpuInstall sets these two). Null: reads give 0, writes and
// requests are ignored.
struct CpuDeviceHooks {
    uint32_t (*ethRead)(uint32_t phys, int size) = nullptr;
    void (*ethWrite)(uint32_t phys, uint32_t value, int size) = nullptr;
    void (*lcdOff)() = nullptr;
    void (*forceRepaint)() = nullptr;
    // The console semihosting service; the board's console by default.
    uint32_t (*semihost)(uint32_t op, uint32_t arg) = nullptr;
};
extern CpuDeviceHooks gCpuHooks;

// Fills the board's core table (BoardSetCore) with this core.
void CpuInstall();

// The entries of the board's core table (see tamsk/board/CoreInterface.h).
int32_t CpuRun();
void CpuReset(int32_t code);
void CpuSave(int32_t code);
void CpuMmuClear();
void CpuMmuSaveImage(uint8_t image[kMmuChunkSize]);
void CpuMmuLoadImage(const uint8_t image[kMmuChunkSize]);
void CpuFlushTranslationCaches();
uintptr_t CpuHostPointer(uint32_t virtualAddress);

// Size and tag of the core's session chunk.
constexpr uint32_t kCpuCoreChunkSize = 1336;
constexpr uint32_t kCpuCoreChunkTag = 0x3E636F72;  // ">cor"

// --- Processor state, modes and exceptions ---
void CpuSaveCore(uint8_t out[kCpuCoreChunkSize]);
void CpuLoadCore(const uint8_t in[kCpuCoreChunkSize]);
void CpuSetResetState();
uint32_t CpuComposeCpsr();
void CpuSwitchMode(uint32_t newMode, bool save);
void CpuEnterException(int kind);
void CpuReturnFromException();
void CpuWriteStatusRegister(uint32_t instruction, uint32_t value);
bool CpuRegisterIsUserCopy(int n);
[[noreturn]] void CpuFatal(const char* text);

// --- Address translation ---
struct CpuTranslation {
    uint32_t phys;
    bool found;
};
[[noreturn]] void CpuRaiseAbort(int kind, uint32_t status, uint32_t address);
CpuTranslation CpuTranslateNoFault(uint32_t va);
void CpuSetDomainAccess(uint32_t value);
void CpuSetProtectionBits(uint32_t s, uint32_t r);
// The LCD names the frame buffer it last displayed (physical, inclusive): a data write into it asks
// for a repaint.
void CpuSetFrameBufferWatch(uint32_t start, uint32_t end);

// --- Coprocessors ---
uint32_t CpuCoprocRead(int coproc, int crn, int opcode2);
void CpuCoprocWrite(int coproc, int crn, int crm, int opcode2, uint32_t value);
void CpuCoprocTransfer(uint32_t instruction);
void CpuAccumulatorTransfer(uint32_t instruction);

// --- Execution ---
void CpuBuildCondTable();
void CpuBuildThumbTable();
// Executes exactly one instruction with its per-instruction tail (tools and tests). Returns -1, or
// the run code when bit 63 was served.
int CpuStep();
// Executes instructions as CpuRun does until the instruction counter has grown by `count` or bit 63
// is served (tools and tests). Returns -1, or the run code.
int CpuRunFor(uint64_t count);
// Switches the translation of ARM code into host code on or off (on by default where the host
// has it); tests compare translated and interpreted runs.
void CpuSetTranslation(bool on);
// The semihosting query of SWI 0x123457.
uint32_t SemihostQuery(uint32_t value);
// Starts the count kept by SemihostQuery again (tests).
void CpuResetQueryCount();

}  // namespace tamsk
