#include "tamsk/board/Memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

#include "tamsk/board/RunLoop.h"

namespace tamsk {

uint8_t* MemNor;
uint8_t* MemSram;
uint8_t* MemDram;
uint8_t* MemNandData;
uint8_t* MemNandSpare;
uintptr_t PhysPageMap[256];
uint32_t PhysPageLimit[256];
DeviceHandlerTables DeviceTables;

namespace {

constexpr uint32_t kSlice = 0x1000000;  // 16 MB, one page-map entry

// The memory controller's nine registers, by address.
constexpr uint32_t kControllerAddresses[9] = {0x48100000, 0x48100004, 0x48100020,
                                              0x48100040, 0x48100050, 0x48100060,
                                              0x48100068, 0x48100090, 0x48100100};
uint32_t g_controller[9];

// NAND blocks marked erased and not yet filled with 0xFF (see MemEraseNand).
bool g_nandErased[kNandBlockCount];

uint32_t DefaultRead(uint32_t) { return 0; }
void DefaultWrite(uint32_t, uint32_t) {}

// Zero-filled anonymous memory at a host address aligned to `alignment` (a power of two).
uint8_t* AllocateAligned(size_t size, size_t alignment) {
    const size_t span = size + alignment;
    void* base = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                      -1, 0);
    if (base == MAP_FAILED) HostFatal("Memory allocation failure");
    const uintptr_t start = (reinterpret_cast<uintptr_t>(base) + alignment - 1) & ~(alignment - 1);
    const size_t head = start - reinterpret_cast<uintptr_t>(base);
    if (head) munmap(base, head);
    const size_t tail = span - head - size;
    if (tail) munmap(reinterpret_cast<void*>(start + size), tail);
    return reinterpret_cast<uint8_t*>(start);
}

void MapSlices(unsigned first, const uint8_t* area, uint32_t size) {
    for (uint32_t offset = 0; offset < size; offset += kSlice) {
        PhysPageMap[first] = reinterpret_cast<uintptr_t>(area + offset);
        PhysPageLimit[first] = size - offset < kSlice ? size - offset : kSlice;
        ++first;
    }
}

}  // namespace

void MemInstallDevice(uint32_t base, DeviceReadHandler read, DeviceWriteHandler write) {
    const uint32_t index = (base - kDeviceBase) >> 20;
    if (!MemIsDeviceAddress(base)) return;
    DeviceTables.read[index] = read ? read : DefaultRead;
    DeviceTables.write[index] = write ? write : DefaultWrite;
}

void MemClearDeviceTables() {
    for (unsigned i = 0; i < kDeviceEntries; ++i) {
        DeviceTables.read[i] = DefaultRead;
        DeviceTables.write[i] = DefaultWrite;
    }
}

void MemAllocateAreas() {
    if (MemNor) return;
    MemNor = AllocateAligned(kNorSize, kSlice);
    MemSram = AllocateAligned(kSramSize, kSlice);
    MemDram = AllocateAligned(kDramSize, kSlice);
    MemNandData = AllocateAligned(kNandDataSize + kNandSpareSize, 0x10000);
    MemNandSpare = MemNandData + kNandDataSize;
    // Fresh memory holds no pages and reads zero: every block is already in the erased state.
    std::fill(g_nandErased, g_nandErased + kNandBlockCount, true);
    MemBuildPageMap();
}

void MemBuildPageMap() {
    std::memset(PhysPageMap, 0, sizeof PhysPageMap);
    std::memset(PhysPageLimit, 0, sizeof PhysPageLimit);
    if (!MemNor) return;
    MapSlices(kNorBase >> 24, MemNor, kNorSize);
    MapSlices(kSramBase >> 24, MemSram, kSramSize);
    MapSlices(kDramBase >> 24, MemDram, kDramSize);
}

namespace {
// Marks blocks [first, end) erased: their pages read as zero until the first touch fills them, and
// their memory goes back now (one call for the whole run of blocks).
void DropBlocks(uint32_t first, uint32_t end) {
    std::fill(g_nandErased + first, g_nandErased + end, true);
    uint8_t* data = MemNandData + size_t(first) * kNandBlockDataBytes;
    uint8_t* spare = MemNandSpare + size_t(first) * kNandBlockSpareBytes;
    const size_t dataBytes = size_t(end - first) * kNandBlockDataBytes;
    const size_t spareBytes = size_t(end - first) * kNandBlockSpareBytes;
    if (madvise(data, dataBytes, MADV_DONTNEED) != 0) std::memset(data, 0, dataBytes);
    if (madvise(spare, spareBytes, MADV_DONTNEED) != 0) std::memset(spare, 0, spareBytes);
}
}  // namespace

void MemEraseNandBlock(uint32_t block) {
    if (!g_nandErased[block]) DropBlocks(block, block + 1);
}

void MemEraseNand() {
    // Blocks already marked are left alone; each run of the others is dropped at once.
    for (uint32_t block = 0; block < kNandBlockCount;) {
        uint32_t end = block;
        while (end < kNandBlockCount && !g_nandErased[end]) ++end;
        if (end > block) DropBlocks(block, end);
        block = end + 1;
    }
}

namespace {
void FillErased(uint32_t block) {
    if (!g_nandErased[block]) return;
    g_nandErased[block] = false;
    std::memset(MemNandData + size_t(block) * kNandBlockDataBytes, 0xFF, kNandBlockDataBytes);
    std::memset(MemNandSpare + size_t(block) * kNandBlockSpareBytes, 0xFF, kNandBlockSpareBytes);
}
}  // namespace

uint8_t* MemNandTouch(uint64_t offset, uint64_t length) {
    if (length) {
        const uint64_t last = offset + length - 1;
        // The data area and the spare area in blocks; a range may run from one into the other.
        auto blockOf = [](uint64_t at) {
            return uint32_t(at < kNandDataSize ? at / kNandBlockDataBytes
                                               : (at - kNandDataSize) / kNandBlockSpareBytes);
        };
        if (offset < kNandDataSize && last >= kNandDataSize) {
            for (uint32_t b = blockOf(offset); b < kNandBlockCount; ++b) FillErased(b);
            for (uint32_t b = 0; b <= blockOf(last); ++b) FillErased(b);
        } else {
            for (uint32_t b = blockOf(offset); b <= blockOf(last); ++b) FillErased(b);
        }
    }
    return MemNandData + offset;
}

bool MemNandBlockErased(uint32_t block) { return g_nandErased[block]; }

void MemNandTouchAll() {
    for (uint32_t block = 0; block < kNandBlockCount; ++block) FillErased(block);
}

void MemClearDram() {
    // Dropping the pages gives zero-filled memory again without touching 128 MB.
    if (madvise(MemDram, kDramSize, MADV_DONTNEED) != 0) std::memset(MemDram, 0, kDramSize);
}

uint32_t MemControllerRead(uint32_t physical) {
    for (int i = 0; i < 8; ++i)
        if (kControllerAddresses[i] == physical) return g_controller[i];
    return 0;  // 0x48100100 and every other address
}

void MemControllerWrite(uint32_t physical, uint32_t value) {
    for (int i = 0; i < 9; ++i)
        if (kControllerAddresses[i] == physical) g_controller[i] = value;
}

}  // namespace tamsk
