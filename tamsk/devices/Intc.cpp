#include "tamsk/devices/Intc.h"

#include <cstring>

#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"

namespace tamsk {

IntcState Intc;

namespace {
constexpr uint32_t kIntcChunkSize = 264;
constexpr uint32_t kPriorityLow = 0x1C, kPriorityLowEnd = 0x98;    // registers 0-31
constexpr uint32_t kPriorityHigh = 0xB0, kPriorityHighEnd = 0x100; // registers 32-52

// The register a priority offset names, or -1.
int PriorityIndex(uint32_t offset) {
    if (offset & 3) return -1;
    if (offset >= kPriorityLow && offset <= kPriorityLowEnd) return int((offset - kPriorityLow) / 4);
    if (offset >= kPriorityHigh && offset <= kPriorityHighEnd)
        return 32 + int((offset - kPriorityHigh) / 4);
    return -1;
}
}  // namespace

void IntcUpdate() {
    uint32_t any = 0;
    for (int h = 0; h < 2; ++h) {
        const uint32_t active = Intc.mask[h] & Intc.rawPending[h];
        Intc.irqPending[h] = active & ~Intc.level[h];
        Intc.fiqPending[h] = active & Intc.level[h];
        any |= active;
    }
    Intc.present = any != 0;
}

void IntcRaise(unsigned source) {
    Intc.rawPending[(source >> 5) & 1] |= 1u << (source & 31);
    IntcUpdate();
}

void IntcLower(unsigned source) {
    Intc.rawPending[(source >> 5) & 1] &= ~(1u << (source & 31));
    IntcUpdate();
}

uint32_t IntcRead(uint32_t physical) {
    const uint32_t offset = physical & 0xFFFFF;
    switch (offset) {
    case 0x00: return Intc.irqPending[0];
    case 0x04: return Intc.mask[0];
    case 0x08: return Intc.level[0];
    case 0x0C: return Intc.fiqPending[0];
    case 0x10: return Intc.rawPending[0];
    case 0x14: return Intc.control;
    case 0x18: return Intc.highest;
    case 0x9C: return Intc.irqPending[1];
    case 0xA0: return Intc.mask[1];
    case 0xA4: return Intc.level[1];
    case 0xA8: return Intc.fiqPending[1];
    case 0xAC: return Intc.rawPending[1];
    }
    const int p = PriorityIndex(offset);
    return p >= 0 ? Intc.priority[p] : 0;
}

void IntcWrite(uint32_t physical, uint32_t value) {
    const uint32_t offset = physical & 0xFFFFF;
    switch (offset) {
    case 0x00: Intc.irqPending[0] = value; break;
    case 0x04: Intc.mask[0] = value; break;
    case 0x08: Intc.level[0] = value; break;
    case 0x0C: Intc.fiqPending[0] = value; break;
    case 0x10: break;
    case 0x14: Intc.control = value & 1; break;
    case 0x18: return;
    case 0x9C: Intc.irqPending[1] = value; break;
    case 0xA0: Intc.mask[1] = value; break;
    case 0xA4: Intc.level[1] = value; break;
    case 0xA8: Intc.fiqPending[1] = value; break;
    case 0xAC: break;
    default: {
        const int p = PriorityIndex(offset);
        if (p >= 0) {
            Intc.priority[p] = value;
            return;
        }
        break;
    }
    }
    IntcUpdate();
}

uint32_t IntcCoprocRead(unsigned crn) {
    static const uint32_t kOffsets[11] = {0x00, 0x04, 0x08, 0x0C, 0x10, 0x18,
                                          0x9C, 0xA0, 0xA4, 0xA8, 0xAC};
    return crn < 11 ? IntcRead(kIntcBase + kOffsets[crn]) : 0;
}

void IntcCoprocWrite(unsigned crn, uint32_t value) {
    switch (crn) {
    case 1: Intc.mask[0] = value; break;
    case 2: Intc.level[0] = value; break;
    case 7: Intc.mask[1] = value; break;
    case 8: Intc.level[1] = value; break;
    default: return;
    }
    IntcUpdate();
}

void IntcReset(int32_t code) {
    if (code == kRunSave) return;
    std::memset(&Intc, 0, sizeof Intc);
    IdleLagMs = 0;
    if (code != kRunLoad && code != kRunPowerOnRestore) return;
    uint8_t c[kIntcChunkSize];
    if (!SessReadChunk(FourCC(">int"), c, sizeof c)) return;
    Intc.irqPending[0] = ChunkGet32(c + 0);
    Intc.mask[0] = ChunkGet32(c + 4);
    Intc.level[0] = ChunkGet32(c + 8);
    Intc.fiqPending[0] = ChunkGet32(c + 12);
    Intc.rawPending[0] = ChunkGet32(c + 16);
    Intc.control = ChunkGet32(c + 20) & 1;
    Intc.present = ChunkGet32(c + 24);
    IdleLagMs = ChunkGet32(c + 28);
    for (int i = 0; i < 53; ++i) Intc.priority[i] = ChunkGet32(c + 32 + 4 * i);
    Intc.highest = ChunkGet32(c + 244);
    Intc.mask[1] = ChunkGet32(c + 248);
    Intc.level[1] = ChunkGet32(c + 252);
    Intc.fiqPending[1] = ChunkGet32(c + 260);
}

void IntcSave(int32_t code) {
    if (code != kRunSave) return;
    uint8_t c[kIntcChunkSize] = {};
    ChunkPut32(c + 0, Intc.irqPending[0]);
    ChunkPut32(c + 4, Intc.mask[0]);
    ChunkPut32(c + 8, Intc.level[0]);
    ChunkPut32(c + 12, Intc.fiqPending[0]);
    ChunkPut32(c + 16, Intc.rawPending[0]);
    ChunkPut32(c + 20, Intc.control);
    ChunkPut32(c + 24, Intc.present);
    ChunkPut32(c + 28, IdleLagMs);
    for (int i = 0; i < 53; ++i) ChunkPut32(c + 32 + 4 * i, Intc.priority[i]);
    ChunkPut32(c + 244, Intc.highest);
    ChunkPut32(c + 248, Intc.mask[1]);
    ChunkPut32(c + 252, Intc.level[1]);
    ChunkPut32(c + 256, Intc.fiqPending[1]);
    ChunkPut32(c + 260, Intc.fiqPending[1]);
    SessWriteChunk(FourCC(">int"), c, sizeof c);
}

}  // namespace tamsk
