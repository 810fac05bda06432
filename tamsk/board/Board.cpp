#include "tamsk/board/Board.h"

#include <cstring>

#include "tamsk/board/CoreInterface.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/PatchTable.h"
#include "tamsk/board/Rom.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Session.h"

namespace tamsk {

namespace {

const BoardDescription kEmptyBoard = {
    nullptr, 0, nullptr, 0, nullptr, 0, {},
    {[] {}, [](uint32_t) {}, [] { return 0xFFFFFFFFu; }, [] { return 0xFFFFFFFFu; }},
    nullptr,
    nullptr,
};

// SRAM and DRAM are saved without their last byte; chunks of the whole area are read too.
void RestoreRam(uint32_t tag, uint8_t* area, uint32_t size) {
    if (!SessReadChunkKeep(tag, area, size - 1)) SessReadChunkKeep(tag, area, size);
}

bool AllErased(const uint8_t* data, uint32_t size) {
    for (uint32_t k = 0; k < size; ++k)
        if (data[k] != 0xFF) return false;
    return true;
}

// The NAND array from >nad and >nas, a block at a time: blocks whose bytes are all 0xFF stay erased
// (no host memory). A missing or damaged chunk leaves its area all 0xFF.
void RestoreNand() {
    MemEraseNand();
    const bool data = SessReadChunkPieces(FourCC(">nad"), kNandDataSize, kNandBlockDataBytes,
                                          [](uint32_t offset, const uint8_t* bytes, uint32_t size) {
                                              if (!AllErased(bytes, size))
                                                  std::memcpy(MemNandTouch(offset, size), bytes, size);
                                          });
    if (!data) MemEraseNand();
    const bool spare = SessReadChunkPieces(FourCC(">nas"), kNandSpareSize, kNandBlockSpareBytes,
                                           [](uint32_t offset, const uint8_t* bytes, uint32_t size) {
                                               if (!AllErased(bytes, size))
                                                   std::memcpy(MemNandTouch(kNandDataSize + uint64_t(offset), size),
                                                               bytes, size);
                                           });
    if (spare) return;
    for (uint32_t block = 0; block < kNandBlockCount; ++block)
        if (!MemNandBlockErased(block))
            std::memset(MemNandSpare + size_t(block) * kNandBlockSpareBytes, 0xFF, kNandBlockSpareBytes);
}

bool IsRestore(int32_t code) { return code == kRunLoad || code == kRunPowerOnRestore; }

void InstallDevices() {
    MemClearDeviceTables();
    for (unsigned i = 0; i < gBoard->windowCount; ++i) {
        const BoardRegisterWindow& w = gBoard->windows[i];
        MemInstallDevice(w.base, w.read, w.write);
    }
    MemInstallDevice(0x48100000, MemControllerRead, MemControllerWrite);
}

}  // namespace

const BoardDescription* gBoard = &kEmptyBoard;

void BoardDescribe(const BoardDescription& board) { gBoard = &board; }

void MemSetupAreas(int32_t code) {
    if (code == kRunSave) return;
    if (code == kRunPowerOn || code == kRunPowerOnRestore) MemAllocateAreas();
    // NOR is not in the session: a restore loads the ROM the session names again (a ROM whose
    // exception vectors live in NOR would otherwise run nothing), before the saved RAM and NAND
    // contents go over what the ROM list put there.
    if (IsRestore(code)) {
        char path[kOptionTextSize];
        if (SessReadChunk(FourCC(">rfn"), path, sizeof path)) {
            path[sizeof path - 1] = '\0';
            OptSetText(RomPath(), path);
        }
        MemReloadRom();
    }
    // NAND contents: erased at power-on; restored (or erased when missing) on a load.
    if (IsRestore(code)) {
        RestoreNand();
    } else if (code == kRunPowerOn) {
        MemEraseNand();
    }
    if (IsRestore(code)) {
        RestoreRam(FourCC(">sra"), MemSram, kSramSize);
        RestoreRam(FourCC(">dra"), MemDram, kDramSize);
    }
    if (code == kRunPowerOn || code == kRunHardReset) MemLoadRom();
}

void MemResetMap(int32_t code) {
    MemSetupAreas(code);
    if (code == kRunSave) return;
    int32_t step = code;
    if (IsRestore(code)) {
        uint8_t image[kMmuChunkSize];
        if (SessReadChunk(FourCC(">mem"), image, sizeof image))
            BoardCore.mmuLoadImage(image);
        else
            step = kRunPowerOn;  // the rest of this step runs as a power-on
    }
    if (step == kRunHardReset) MemClearDram();
    if (step == kRunPowerOn || step == kRunHardReset || step == kRunSoftReset) BoardCore.mmuClear();
    MemBuildPageMap();
    PatchStart(step, IsRestore(step));
    BoardCore.flushTranslationCaches();
}

void MemSave(int32_t code) {
    if (code != kRunSave) {
        PatchEnd(code);
        return;
    }
    uint8_t image[kMmuChunkSize];
    BoardCore.mmuSaveImage(image);
    SessWriteChunk(FourCC(">mem"), image, sizeof image);
    PatchSave(code);
    // Erased blocks are written without being filled.
    SessWriteChunkPieces(FourCC(">nad"), kNandDataSize, kNandBlockDataBytes, 0xFF, [](uint32_t offset) {
        return MemNandBlockErased(offset / kNandBlockDataBytes) ? nullptr : MemNandData + offset;
    });
    SessWriteChunkPieces(FourCC(">nas"), kNandSpareSize, kNandBlockSpareBytes, 0xFF, [](uint32_t offset) {
        return MemNandBlockErased(offset / kNandBlockSpareBytes) ? nullptr : MemNandSpare + offset;
    });
    SessWriteChunk(FourCC(">sra"), MemSram, kSramSize - 1);
    SessWriteChunk(FourCC(">dra"), MemDram, kDramSize - 1);
    char path[kOptionTextSize] = {};
    OptSetText(path, RomPath());
    SessWriteChunk(FourCC(">rfn"), path, sizeof path);
}

void BoardResetAll(int32_t code) {
    if (code != kRunSave) InstallDevices();
    for (unsigned i = 0; i < gBoard->unitCount; ++i) gBoard->units[i].reset(code);
}

void SessSaveAll(int32_t code) {
    for (unsigned i = gBoard->unitCount; i-- > 0;) gBoard->units[i].save(code);
}

}  // namespace tamsk
