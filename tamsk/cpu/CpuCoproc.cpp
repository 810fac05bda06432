// Coprocessors: CP15 (identification, control, MMU registers, cache and TLB operations), CP14 (clock
// configuration and power mode), CP6 (the interrupt controller's coprocessor view) and CP0 (acc0).
#include "tamsk/board/Timing.h"
#include "tamsk/devices/ClockManager.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/cpu/CpuInternal.h"

namespace tamsk {
namespace {

constexpr uint32_t kMainId = 0x69056821;
constexpr uint32_t kCacheType = 0x0B1AA1AA;

// CP15 register 7: whether an operation empties the translation caches, by CRm and opcode2.
bool CacheOpEmpties(int crm, int op2) {
    switch (crm) {
        case 0: return op2 != 4;
        case 1: case 2: case 3: case 4: case 9: case 12: return true;
        case 5: return op2 == 3 || op2 == 5;
        case 6: case 7: return op2 > 2;
        case 8: return op2 != 2;
        case 10: return op2 != 1 && op2 != 2 && op2 != 4;
        case 11: case 14: return op2 != 1 && op2 != 2;
        case 13: return op2 != 1;
        case 15: return op2 > 1;
        default: return false;
    }
}

void WriteControl(uint32_t value) {
    if (!(value & 1) && gMmu.enabled && gCpuHooks.lcdOff) gCpuHooks.lcdOff();
    CpuFlushTranslationCaches();
    gCpu.control = value;
    gMmu.enabled = value & 1;
    CpuSetProtectionBits((value >> 8) & 1, (value >> 9) & 1);
    gCpu.highVectors = (value >> 13) & 1;
}

}  // namespace

uint32_t CpuCoprocRead(int coproc, int crn, int opcode2) {
    switch (coproc) {
        case 15:
            switch (crn) {
                case 0: return opcode2 == 0 ? kMainId : opcode2 == 1 ? kCacheType : 0;
                case 1: return gCpu.control;
                case 2: return gMmu.base;
                case 3: return gMmu.domains;
                case 5: return gCpu.fsr;
                case 6: return gCpu.far;
                case 13: return gCpu.processId;
                case 15: return gCpu.cp15Shared;
                default: return 0;
            }
        case 14:
            if (crn <= 3 || crn == 6) return gCpu.cp14Clock;
            return crn == 7 ? gCpu.cp14Power : 0;
        case 6:
            return crn <= 10 ? IntcCoprocRead(static_cast<unsigned>(crn)) : 0;
        default: return 0;
    }
}

void CpuCoprocWrite(int coproc, int crn, int crm, int opcode2, uint32_t value) {
    switch (coproc) {
        case 15:
            switch (crn) {
                case 1:
                    if (opcode2 == 0) WriteControl(value);
                    break;
                case 2:
                    gMmu.base = value & 0xFFFFC000u;
                    CpuFlushTranslationCaches();
                    break;
                case 3: CpuSetDomainAccess(value); break;
                case 5: gCpu.fsr = value; break;
                case 6: gCpu.far = value; break;
                case 7:
                    if (CacheOpEmpties(crm, opcode2)) CpuFlushTranslationCaches();
                    break;
                case 8: CpuFlushTranslationCaches(); break;
                case 13: gCpu.processId = value; break;
                case 14:
                case 15: gCpu.cp15Shared = value; break;
                default: break;
            }
            break;
        case 14:
            if (crn == 6) {
                gCpu.cp14Clock = value;
            } else if (crn == 7) {
                gCpu.cp14Power = value;
                if (value == 1) {
                    CpuIdle();
                } else if (value == 5) {
                    ClockPowerModeSwitch();
                }
            }
            break;
        case 6:
            if (crn == 1 || crn == 2 || crn == 7 || crn == 8) IntcCoprocWrite(static_cast<unsigned>(crn), value);
            break;
        default: break;
    }
}

void CpuCoprocTransfer(uint32_t instruction) {
    const int coproc = (instruction >> 8) & 0xF;
    const int crn = (instruction >> 16) & 0xF;
    const int rd = (instruction >> 12) & 0xF;
    // CP14 only stores its words, except for an idle that waits and the power-mode switch: the
    // rest keeps the batch going (an idle loop that changes nothing runs at full speed).
    const bool store = !(instruction & (1u << 20));
    const uint32_t stored = gCpu.r[rd];
    if (coproc != 14 || (store && crn == 7 && (stored == 5 || (stored == 1 && CpuIdleWaits()))))
        CpuEndBatch();
    if (gCpu.mode == kModeUser) return;
    const int crm = instruction & 0xF;
    const int op2 = (instruction >> 5) & 7;
    if (!(instruction & (1u << 20))) {
        CpuCoprocWrite(coproc, crn, crm, op2, gCpu.r[rd]);
        return;
    }
    const uint32_t value = CpuCoprocRead(coproc, crn, op2);
    if (rd != 15) {
        gCpu.r[rd] = value;
    } else {
        CpuSyncFlags();
        gCpu.nzcv = value & 0xF0000000u;
    }
}

void CpuAccumulatorTransfer(uint32_t instruction) {
    CpuEndBatch();
    const int coproc = (instruction >> 8) & 0xF;
    const int crm = instruction & 0xF;
    const int rdLo = (instruction >> 12) & 0xF;
    const int rdHi = (instruction >> 16) & 0xF;
    const bool read = instruction & (1u << 20);
    if (coproc == 0 && crm == 0) {
        if (read) {
            gCpu.r[rdLo] = gCpu.acc0Lo;
            gCpu.r[rdHi] = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(gCpu.acc0Hi & 0xFF)));
        } else {
            const uint32_t lo = gCpu.r[rdLo], hi = gCpu.r[rdHi];
            gCpu.acc0Lo = lo;
            gCpu.acc0Hi = hi;
        }
        return;
    }
    // The other coprocessors are privileged, as their MCR and MRC forms are.
    if (gCpu.mode == kModeUser) return;
    if (read) {
        const uint32_t value = CpuCoprocRead(coproc, crm, 0);
        gCpu.r[rdLo] = value;
        gCpu.r[rdHi] = value;
    } else {
        const uint32_t lo = gCpu.r[rdLo], hi = gCpu.r[rdHi];
        CpuCoprocWrite(coproc, crm, 0, 0, lo);
        CpuCoprocWrite(coproc, crm, 0, 0, hi);
    }
}

}  // namespace tamsk
