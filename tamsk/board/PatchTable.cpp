#include "tamsk/board/PatchTable.h"

#include <cstring>

#include "tamsk/board/Memory.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"

namespace tamsk {

PatchTableState PatchTable;
uint32_t ResetTrapCount;

namespace {

// The only handler a session can name (index 0): it lets the saved value run.
uint32_t SavedValueHandler(uint32_t, void*, uint8_t*) { return 0; }
constexpr PatchHandler kHandlers[] = {SavedValueHandler};

uint32_t ReadNorWord0() {
    uint32_t v;
    std::memcpy(&v, MemNor, 4);
    return v;
}
void WriteNorWord0(uint32_t v) { std::memcpy(MemNor, &v, 4); }

void Empty() {
    PatchTable.count = 0;
    PatchTable.resetWord = 0;
    PatchTable.resetWordSaved = false;
    PatchTable.state = 0;
}

// A saved table fits its entries and names only handlers this build knows.
bool Sound(const uint8_t* c) {
    const uint32_t count = ChunkGet32(c);
    if (count > kPatchEntries) return false;
    for (uint32_t i = 0; i < count; ++i)
        if (ChunkGet32(c + 12 + 36 * i + 12) >= sizeof kHandlers / sizeof kHandlers[0]) return false;
    return true;
}
[[maybe_unused]] const bool kRuleAdded = SessAddRule({FourCC(">pat"), kPatchChunkSize, false, Sound});

bool Restore() {
    uint8_t c[kPatchChunkSize];
    if (!SessReadChunk(FourCC(">pat"), c, sizeof c)) return false;
    const uint32_t count = ChunkGet32(c);
    const char* kFormat =
        "The session data is not in the format recognized by this version of the emulator.";
    if (count > kPatchEntries) HostFatal("%s", kFormat);
    PatchTable.count = count;
    PatchTable.resetWord = ChunkGet32(c + 4);
    // Every saved table was planted at the start of its run.
    PatchTable.resetWordSaved = true;
    PatchTable.state = ChunkGet32(c + 8);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = c + 12 + 36 * i;
        PatchEntry& entry = PatchTable.entries[i];
        const uint32_t handler = ChunkGet32(e + 12);
        if (handler >= sizeof kHandlers / sizeof kHandlers[0]) HostFatal("%s", kFormat);
        entry.address = ChunkGet32(e);
        entry.value = ChunkGet32(e + 4);
        entry.halfword = ChunkGet32(e + 8);
        entry.handler = kHandlers[handler];
        std::memcpy(entry.data, e + 16, sizeof entry.data);
    }
    return true;
}

}  // namespace

void PatchStart(int32_t code, bool restore) {
    if (code == kRunSave) return;
    if (restore && Restore()) {
        // A restore may have reloaded the ROM into NOR: the planted breakpoint goes back in.
        WriteNorWord0(kPatchBreakpoint);
        return;
    }
    Empty();
    PatchTable.resetWord = ReadNorWord0();
    PatchTable.resetWordSaved = true;
    WriteNorWord0(kPatchBreakpoint);
}

void PatchEnd(int32_t code) {
    if (code == kRunSave || !MemNor) return;
    if (PatchTable.resetWordSaved) WriteNorWord0(PatchTable.resetWord);
    for (uint32_t i = 0; i < PatchTable.count && i < kPatchEntries; ++i) {
        const PatchEntry& e = PatchTable.entries[i];
        const uint32_t width = e.halfword ? 2 : 4;
        // Entries come from session files: only whole, aligned words inside an area are written.
        if (e.address & (width - 1) || MemContiguousBytes(e.address) < width) continue;
        std::memcpy(reinterpret_cast<void*>(MemHostPointer(e.address)), &e.value, width);
    }
    Empty();
}

void PatchSave(int32_t code) {
    if (code != kRunSave) return;
    uint8_t c[kPatchChunkSize] = {};
    ChunkPut32(c, PatchTable.count);
    ChunkPut32(c + 4, PatchTable.resetWord);
    ChunkPut32(c + 8, PatchTable.state);
    for (uint32_t i = 0; i < PatchTable.count; ++i) {
        const PatchEntry& e = PatchTable.entries[i];
        uint8_t* out = c + 12 + 36 * i;
        uint32_t handler = 0;
        while (handler < sizeof kHandlers / sizeof kHandlers[0] && kHandlers[handler] != e.handler)
            ++handler;
        if (handler == sizeof kHandlers / sizeof kHandlers[0]) HostFatal("Unrecognized patch target");
        ChunkPut32(out, e.address);
        ChunkPut32(out + 4, e.value);
        ChunkPut32(out + 8, e.halfword);
        ChunkPut32(out + 12, handler);
        std::memcpy(out + 16, e.data, sizeof e.data);
    }
    SessWriteChunk(FourCC(">pat"), c, sizeof c);
}

bool PatchResetVectorTrap(uint32_t* instruction) {
    if (ResetTrapCount++ == 0) {
        *instruction = PatchTable.resetWord;
        return true;
    }
    CpuRequestRunEnd(kRunSoftReset);
    return false;
}

bool PatchLookup(uint32_t address, void* registers, uint32_t* instruction) {
    for (uint32_t i = 0; i < PatchTable.count; ++i) {
        PatchEntry& e = PatchTable.entries[i];
        if (e.address != address) continue;
        const uint32_t result = e.handler(address, registers, e.data);
        *instruction = result ? result : e.value;
        return true;
    }
    return false;
}

}  // namespace tamsk
