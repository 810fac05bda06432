// The emulated XScale (ARMv5TE) processor: register file, modes and exceptions, address translation,
// coprocessors and the ARM and Thumb interpreters. One global instance, owned by the core thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

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

struct CpuRegisterFile {
    uint32_t r[16];           // registers of the current mode; r15 = instruction address + 8 (Thumb + 4)
    uint32_t cur;             // address of the instruction being executed
    uint32_t next;            // where execution continues
    uint32_t bank[8][32];     // r8..r14 and one spare array, indexed by mode number (16 = User/System)
    uint32_t spsr[32];        // indexed by mode number
    uint32_t N, Z, C, V, Q, I, F;  // flags, 0 or 1 each
    uint32_t tImage;          // the CPSR T bit as last written by MSR or restored from an SPSR
    uint32_t mode;            // 5-bit mode number
    uint32_t thumb;           // execution state: 1 while executing Thumb
    uint32_t fsr, far;        // fault status and fault address (CP15 registers 5 and 6)
    uint32_t highVectors;     // V bit of the CP15 control register
    uint64_t executed;        // executed-instruction counter
    // Coprocessor registers kept with the core.
    uint32_t control;         // CP15 register 1
    uint32_t processId;       // CP15 register 13
    uint32_t cp15Shared;      // CP15 registers 14 and 15 share one word
    uint32_t cp14Clock;       // CP14 register 6
    uint32_t cp14Power;       // CP14 register 7
    uint32_t acc0Lo, acc0Hi;  // CP0 accumulator: bits 31..0 and the high word (bits 39..32 in its low byte)
};

extern CpuRegisterFile gCpu;

// The pending-attention word: any thread ORs bits in; the core takes it with an exchange against 0.
extern std::atomic<uint64_t> gPendingEventWord;

// What the processor needs of the board. The board fills this once before the first run; every
// pointer may stay null, which gives the neutral behaviour (no memory, reads 0, writes ignored).
struct CpuBoardHooks {
    // Physical page map: 256 host addresses, one per 16 MB, each 16 MB-aligned (0 = no memory).
    const uintptr_t* pageMap = nullptr;
    // Optional: bytes really backed by each page-map entry (0 = the whole 16 MB). Accesses past
    // the backed part of an entry take the paths of unmapped physical memory.
    const uint32_t* pageLimit = nullptr;
    // Device register megabytes 0x40000000..0x5BFFFFFF (word accesses).
    uint32_t (*deviceRead)(uint32_t phys) = nullptr;
    void (*deviceWrite)(uint32_t phys, uint32_t value) = nullptr;
    // Ethernet controller window 0x14000000..0x17FFFFFF; size is 1, 2 or 4 bytes.
    uint32_t (*ethRead)(uint32_t phys, int size) = nullptr;
    void (*ethWrite)(uint32_t phys, uint32_t value, int size) = nullptr;
    // First UART's megabyte, byte accesses.
    uint32_t (*uartReadByte)(uint32_t phys) = nullptr;
    void (*uartWriteByte)(uint32_t phys, uint32_t value) = nullptr;
    // Interrupt controller: the output flag and the pending words of both halves, read by the core
    // after every instruction; the coprocessor 6 view reads and writes registers 0..10.
    const volatile uint32_t* intcOutput = nullptr;
    const volatile uint32_t* irqPending = nullptr;  // two words: sources 0-31, 32-63
    const volatile uint32_t* fiqPending = nullptr;  // two words
    uint32_t (*intcRead)(int reg) = nullptr;
    void (*intcWrite)(int reg, uint32_t value) = nullptr;
    // One emulated tick (every timeRatio instructions): timers, scheduler.
    void (*tick)() = nullptr;
    uint32_t timeRatio = 10;
    // Serves the pending bits other than 63 (taken is the whole word that was taken).
    void (*servicePending)(uint64_t taken) = nullptr;
    // The run code to return when bit 63 is served.
    int (*runCode)() = nullptr;
    // Requests the end of the run with a code (reset requested by the machine).
    void (*requestRunEnd)(int code) = nullptr;
    // The operating system's idle request (CP14 register 7 = 1).
    void (*idle)() = nullptr;
    // CP14 power mode 5: clock status and memory-controller side effects.
    void (*powerMode5)() = nullptr;
    // The LCD is switched off when the MMU is turned off.
    void (*lcdOff)() = nullptr;
    // A data write into the watched frame buffer asks for a repaint.
    void (*forceRepaint)() = nullptr;
    // Console semihosting service: result for operation op with argument arg.
    uint32_t (*semihost)(uint32_t op, uint32_t arg) = nullptr;
    // Breakpoint hook for an instruction at virtual address va, physical phys (found when mapped):
    // returns 0 when nothing is patched there, 1 with *insn set to the instruction to execute in its
    // place, 2 when the run must end (the reset vector reached a second time).
    int (*patchTrap)(uint32_t va, uint32_t phys, bool mapped, CpuRegisterFile* regs, uint32_t* insn) = nullptr;
    // Session chunks (tag as a four-character code); read returns true when the chunk was found whole.
    bool (*readChunk)(uint32_t tag, void* data, uint32_t length) = nullptr;
    void (*writeChunk)(uint32_t tag, const void* data, uint32_t length) = nullptr;
    // Fatal condition: shows the text and ends the process; never returns.
    [[noreturn]] void (*fatal)(const char* text) = nullptr;
};

extern CpuBoardHooks gCpuBoard;

// Size of the core's session chunk and of the address-translation state saved in the memory chunk.
constexpr uint32_t kCpuCoreChunkSize = 1336;
constexpr uint32_t kCpuMmuStateSize = 248;
constexpr uint32_t kCpuCoreChunkTag = 0x3E636F72;  // ">cor"

// --- Processor state, modes and exceptions ---
void CpuReset(int runCode);
void CpuSave(int runCode);
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
uintptr_t CpuHostPointer(uint32_t va);
void CpuSetDomainAccess(uint32_t value);
void CpuSetProtectionBits(uint32_t s, uint32_t r);
void CpuInvalidateCaches();
void CpuSetFrameBufferWatch(uint32_t start, uint32_t end);
// The address-translation state (MMU flag, table base, domain and permission tables), saved by the
// board in its memory chunk.
void CpuMmuSaveState(uint8_t out[kCpuMmuStateSize]);
bool CpuMmuLoadState(const uint8_t in[kCpuMmuStateSize]);
void CpuMmuClearState();
uint32_t CpuTranslationBase();
bool CpuMmuEnabled();

// --- Coprocessors ---
uint32_t CpuCoprocRead(int coproc, int crn, int opcode2);
void CpuCoprocWrite(int coproc, int crn, int crm, int opcode2, uint32_t value);
void CpuCoprocTransfer(uint32_t instruction);
void CpuAccumulatorTransfer(uint32_t instruction);

// --- Execution ---
void CpuBuildCondTable();
void CpuBuildThumbTable();
// Runs until pending bit 63 is served; returns the run code.
int CpuRun();
// Executes exactly one instruction with its per-instruction tail (tools and tests). Returns -1, or
// the run code when bit 63 was served.
int CpuStep();
// The semihosting query of SWI 0x123457.
uint32_t SemihostQuery(uint32_t value);
// Resets the count kept by SemihostQuery (start of a run).
void CpuResetQueryCount();

// Sets bits of the pending word (any thread).
void PendingOrBits(uint32_t low, uint32_t high);
