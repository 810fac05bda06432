// Processor state: register banks, CPSR composition, mode switches, exception entry and return,
// status-register writes, the reset state and the core's session chunk.
#include <cstdio>
#include <cstdlib>

#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/cpu/CpuInternal.h"
#include "tamsk/devices/Ethernet.h"
#include "tamsk/devices/Lcd.h"

namespace tamsk {

CpuRegisterFile gCpu;
CpuDeviceHooks gCpuHooks;

namespace {

constexpr int kBankR8 = 0;
constexpr int kBankR13 = 5;
constexpr int kBankR14 = 6;
constexpr uint32_t kUserBank = 16;

// Modes that have their own r13/r14.
bool HasOwnStack(uint32_t mode) {
    return mode == kModeFiq || mode == kModeIrq || mode == kModeSupervisor || mode == kModeAbort ||
           mode == kModeUndefined;
}

bool IsPrivileged(uint32_t mode) { return (mode & 0xF) != 0; }

}  // namespace

void CpuFatal(const char* text) { HostFatal("%s", text); }

uint32_t CpuComposeCpsr() {
    CpuSyncFlags();
    return gCpu.mode | gCpu.tImage << 5 | gCpu.F << 6 | gCpu.I << 7 | gCpu.Q << 27 | gCpu.nzcv;
}

void CpuSwitchMode(uint32_t newMode, bool save) {
    CpuEndBatch();
    newMode &= 0x1F;
    if (save) {
        gCpu.tImage = gCpu.thumb;
        gCpu.spsr[newMode] = CpuComposeCpsr();
    }
    const uint32_t old = gCpu.mode;
    if (newMode == old) return;

    if (old == kModeFiq || newMode == kModeFiq) {
        const uint32_t out = old == kModeFiq ? kModeFiq : kUserBank;
        const uint32_t in = newMode == kModeFiq ? kModeFiq : kUserBank;
        for (int i = 0; i < 5; ++i) {
            gCpu.bank[kBankR8 + i][out] = gCpu.r[8 + i];
            gCpu.r[8 + i] = gCpu.bank[kBankR8 + i][in];
        }
    }
    const uint32_t outStack = HasOwnStack(old) ? old : kUserBank;
    const uint32_t inStack = HasOwnStack(newMode) ? newMode : kUserBank;
    gCpu.bank[kBankR13][outStack] = gCpu.r[13];
    gCpu.bank[kBankR14][outStack] = gCpu.r[14];
    gCpu.r[13] = gCpu.bank[kBankR13][inStack];
    gCpu.r[14] = gCpu.bank[kBankR14][inStack];

    gCpu.mode = newMode;
    CpuInstallPermissionView();
    // Translations cached in a privileged mode must not serve a User-mode access (and back).
    if (IsPrivileged(old) != IsPrivileged(newMode)) {
        CpuEmptyTlb();
    }
}

void CpuEnterException(int kind) {
    static const uint32_t kModes[7] = {kModeSupervisor, kModeUndefined, kModeSupervisor, kModeAbort,
                                       kModeAbort,      kModeIrq,       kModeFiq};
    if (kind == kExcSwi || kind < 0 || kind > kExcFiq) CpuFatal("Reached unreachable code!");
    CpuSwitchMode(kModes[kind], true);
    uint32_t lr = 0;
    switch (kind) {
        case kExcUndefined: lr = gCpu.next; break;
        case kExcPrefetchAbort: lr = gCpu.cur + 4; break;
        case kExcDataAbort: lr = gCpu.cur + 8; break;
        case kExcIrq:
        case kExcFiq: lr = gCpu.next + 4; break;
        default: break;
    }
    gCpu.r[14] = lr;
    gCpu.thumb = 0;
    gCpu.tImage = 0;
    gCpu.I = 1;
    if (kind == kExcReset || kind == kExcFiq) gCpu.F = 1;
    static const uint32_t kOffsets[7] = {0x00, 0x04, 0x08, 0x0C, 0x10, 0x18, 0x1C};
    const uint32_t vector = (gCpu.highVectors ? 0xFFFF0000u : 0) + kOffsets[kind];
    gCpu.r[15] = gCpu.next = vector;
}

void CpuReturnFromException() {
    if (gCpu.mode == kModeUser || gCpu.mode == kModeSystem) return;
    CpuEndBatch();
    const uint32_t s = gCpu.spsr[gCpu.mode];
    CpuSwitchMode(s & 0x1F, false);
    CpuSyncFlags();
    gCpu.nzcv = s & 0xF0000000u;
    gCpu.Q = (s >> 27) & 1;
    gCpu.I = (s >> 7) & 1;
    gCpu.F = (s >> 6) & 1;
    gCpu.thumb = gCpu.tImage = (s >> 5) & 1;
}

void CpuWriteStatusRegister(uint32_t instruction, uint32_t value) {
    CpuEndBatch();
    const uint32_t mask = (instruction >> 16) & 0xF;
    if (instruction & (1u << 22)) {
        if (gCpu.mode == kModeUser || gCpu.mode == kModeSystem) return;
        uint32_t& spsr = gCpu.spsr[gCpu.mode];
        for (int i = 0; i < 4; ++i) {
            if (mask & (1u << i)) {
                const uint32_t byte = 0xFFu << (8 * i);
                spsr = (spsr & ~byte) | (value & byte);
            }
        }
        return;
    }
    if ((mask & 1) && IsPrivileged(gCpu.mode)) {
        CpuSwitchMode(value & 0x1F, false);
        gCpu.tImage = (value >> 5) & 1;
        gCpu.F = (value >> 6) & 1;
        gCpu.I = (value >> 7) & 1;
    }
    if (mask & 8) {
        CpuSyncFlags();
        gCpu.nzcv = value & 0xF0000000u;
        gCpu.Q = (value >> 27) & 1;
    }
}

bool CpuRegisterIsUserCopy(int n) {
    const uint32_t m = gCpu.mode;
    if (m == kModeFiq) return n < 8 || n == 15;
    if (!HasOwnStack(m)) return true;  // User, System and the undefined mode numbers bank like User
    return n != 13 && n != 14;
}

void CpuSetResetState() {
    std::memset(&gCpu, 0, sizeof gCpu);
    for (uint32_t m : {16u, 17u, 18u, 19u, 23u, 27u, 31u}) gCpu.spsr[m] = m;
    gCpu.mode = kModeSupervisor;
    gCpu.cur = gCpu.next = 0x5C020000;
    ExecutedInstructions = 0;
    PendingEventWord.store(0);
    CpuInstallPermissionView();
    CpuFlushTranslationCaches();
}

void CpuSaveCore(uint8_t out[kCpuCoreChunkSize]) {
    std::memset(out, 0, kCpuCoreChunkSize);
    for (int i = 0; i < 16; ++i) ChunkPut32(out + 4 * i, gCpu.r[i]);
    CpuSyncFlags();
    const uint32_t flags[9] = {gCpu.nzcv >> 31,       gCpu.nzcv >> 30 & 1, gCpu.nzcv >> 29 & 1,
                               gCpu.nzcv >> 28 & 1,   gCpu.Q,              gCpu.I,
                               gCpu.F,                gCpu.tImage,         gCpu.mode};
    for (int i = 0; i < 9; ++i) ChunkPut32(out + 64 + 4 * i, flags[i]);
    for (int b = 0; b < 8; ++b)
        for (int m = 0; m < 32; ++m) ChunkPut32(out + 100 + 128 * b + 4 * m, gCpu.bank[b][m]);
    for (int m = 0; m < 32; ++m) ChunkPut32(out + 1124 + 4 * m, gCpu.spsr[m]);
    ChunkPut32(out + 1256, static_cast<uint32_t>(ExecutedInstructions));
    ChunkPut32(out + 1260, static_cast<uint32_t>(ExecutedInstructions >> 32));
    ChunkPut32(out + 1264, gCpu.next);
    ChunkPut32(out + 1268, gCpu.next);
    ChunkPut32(out + 1272, gCpu.thumb);
    ChunkPut32(out + 1276, gCpu.highVectors);
    ChunkPut32(out + 1280, gCpu.control);
    ChunkPut32(out + 1284, gCpu.fsr);
    ChunkPut32(out + 1288, gCpu.far);
    const uint64_t pending = PendingEventWord.load() & ~(1ull << 63);
    ChunkPut32(out + 1296, static_cast<uint32_t>(pending));
    ChunkPut32(out + 1300, static_cast<uint32_t>(pending >> 32));
    ChunkPut32(out + 1304, gCpu.processId);
    ChunkPut32(out + 1312, gCpu.acc0Lo);
    ChunkPut32(out + 1316, gCpu.acc0Hi);
    ChunkPut32(out + 1320, gCpu.cp15Shared);
    ChunkPut32(out + 1324, gCpu.cp14Clock);
    ChunkPut32(out + 1328, gCpu.cp14Power);
}

void CpuLoadCore(const uint8_t in[kCpuCoreChunkSize]) {
    for (int i = 0; i < 16; ++i) gCpu.r[i] = ChunkGet32(in + 4 * i);
    // Flags are kept as 0 or 1 and the mode as 5 bits, whatever the file holds.
    CpuSyncFlags();
    gCpu.nzcv = 0;
    for (int i = 0; i < 4; ++i) gCpu.nzcv |= (ChunkGet32(in + 64 + 4 * i) & 1) << (31 - i);
    uint32_t* flags[4] = {&gCpu.Q, &gCpu.I, &gCpu.F, &gCpu.tImage};
    for (int i = 0; i < 4; ++i) *flags[i] = ChunkGet32(in + 80 + 4 * i) & 1;
    gCpu.mode = ChunkGet32(in + 96) & 0x1F;
    for (int b = 0; b < 8; ++b)
        for (int m = 0; m < 32; ++m) gCpu.bank[b][m] = ChunkGet32(in + 100 + 128 * b + 4 * m);
    for (int m = 0; m < 32; ++m) gCpu.spsr[m] = ChunkGet32(in + 1124 + 4 * m);
    ExecutedInstructions = 0;
    gCpu.cur = ChunkGet32(in + 1264);
    gCpu.next = ChunkGet32(in + 1268);
    gCpu.thumb = ChunkGet32(in + 1272) & 1;
    gCpu.highVectors = ChunkGet32(in + 1276) & 1;
    gCpu.control = ChunkGet32(in + 1280);
    gCpu.fsr = ChunkGet32(in + 1284);
    gCpu.far = ChunkGet32(in + 1288);
    PendingEventWord.store((ChunkGet32(in + 1296) | static_cast<uint64_t>(ChunkGet32(in + 1300)) << 32) & ~(1ull << 63));
    gCpu.processId = ChunkGet32(in + 1304);
    gCpu.acc0Lo = ChunkGet32(in + 1312);
    gCpu.acc0Hi = ChunkGet32(in + 1316);
    gCpu.cp15Shared = ChunkGet32(in + 1320);
    gCpu.cp14Clock = ChunkGet32(in + 1324);
    gCpu.cp14Power = ChunkGet32(in + 1328);
    CpuInstallPermissionView();
    CpuFlushTranslationCaches();
}

void CpuReset(int32_t runCode) {
    if (runCode == 0 || runCode == 6) {
        CpuBuildCondTable();
        static bool thumbBuilt = false;
        if (!thumbBuilt) {
            CpuBuildThumbTable();
            thumbBuilt = true;
        }
    }
    if (runCode == 4) {
        gCpu.cur = gCpu.next;
        return;
    }
    if (runCode == 5 || runCode == 6) {
        static uint8_t chunk[kCpuCoreChunkSize];
        if (SessReadChunk(kCpuCoreChunkTag, chunk, kCpuCoreChunkSize)) {
            CpuLoadCore(chunk);
            return;
        }
    }
    CpuSetResetState();
}

void CpuSave(int32_t runCode) {
    if (runCode != 4) return;
    static uint8_t chunk[kCpuCoreChunkSize];
    CpuSaveCore(chunk);
    SessWriteChunk(kCpuCoreChunkTag, chunk, kCpuCoreChunkSize);
}

void CpuInstall() {
    static const CoreInterface kCore = {
        CpuRun,      CpuReset,        CpuSave,
        CpuMmuClear, CpuMmuSaveImage, CpuMmuLoadImage,
        CpuFlushTranslationCaches,    CpuHostPointer,
        CpuSetFrameBufferWatch,
    };
    BoardSetCore(kCore);
    gCpuHooks.lcdOff = LcdSwitchOff;
    gCpuHooks.forceRepaint = LcdForceRepaint;
    gCpuHooks.ethRead = EthRead;
    gCpuHooks.ethWrite = EthWrite;
}

}  // namespace tamsk
