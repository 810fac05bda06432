// The emulated board's memory: the flash and RAM areas, the physical page map through which the
// core turns a physical address into a host pointer, and the two device handler tables through
// which every device register read and write is routed.
//
// Guest addresses are uint32_t; host pointers are uintptr_t and never stored in 32-bit fields.
#pragma once

#include <cstdint>

namespace tamsk {

// Areas and where they sit in the physical address space.
constexpr uint32_t kNorBase = 0x00000000;
constexpr uint32_t kNorSize = 0x4000000;      // 64 MB
constexpr uint32_t kSramBase = 0x5C000000;
constexpr uint32_t kSramSize = 0xC0000;       // 768 KB
constexpr uint32_t kDramBase = 0x80000000;
constexpr uint32_t kDramSize = 0x8000000;     // 128 MB
constexpr uint32_t kNandDataSize = 0x8000000; // 128 MB, reached only through the NAND controller
constexpr uint32_t kNandSpareSize = 0x400000; // 4 MB

// Host allocations backing the areas (null until the first run allocates them).
extern uint8_t* MemNor;
extern uint8_t* MemSram;
extern uint8_t* MemDram;
extern uint8_t* MemNandData;
extern uint8_t* MemNandSpare;

// Physical page map: one entry per 16 MB of the physical address range, indexed by the top 8 bits
// of the physical address. An entry is the host address of that 16 MB slice (16 MB aligned), or 0
// where no memory area lies. PhysPageLimit gives how many bytes of the slice the area really
// covers: SRAM fills only 768 KB of its slice, and an access past that has no memory behind it.
extern uintptr_t PhysPageMap[256];
extern uint32_t PhysPageLimit[256];

// Host pointer of a physical address, or 0 when no memory area covers it (the address then
// belongs to a device handler, the Ethernet window or nothing). This is the only way a physical
// address becomes a host pointer: every guest-controlled address goes through it.
inline uintptr_t MemHostPointer(uint32_t physical) {
    const uint32_t top = physical >> 24, offset = physical & 0xFFFFFF;
    return offset < PhysPageLimit[top] ? PhysPageMap[top] | offset : 0;
}

// How many bytes from `physical` on lie in the same memory area (0 when none does). Lets a
// caller that copies a block (console strings, DMA) stay inside the area.
inline uint32_t MemContiguousBytes(uint32_t physical) {
    const uint32_t top = physical >> 24, offset = physical & 0xFFFFFF;
    return offset < PhysPageLimit[top] ? PhysPageLimit[top] - offset : 0;
}

// Device handler tables: one entry per megabyte of 0x40000000-0x5BFFFFFF. A read handler takes
// the physical address and returns the register's 32-bit value; a write handler takes the address
// and the value. Defaults: reads give 0, writes are ignored.
constexpr uint32_t kDeviceBase = 0x40000000;
constexpr uint32_t kDeviceLimit = 0x5C000000;
constexpr unsigned kDeviceEntries = (kDeviceLimit - kDeviceBase) >> 20; // 448
using DeviceReadHandler = uint32_t (*)(uint32_t physical);
using DeviceWriteHandler = void (*)(uint32_t physical, uint32_t value);
struct DeviceHandlerTables {
    DeviceReadHandler read[kDeviceEntries];
    DeviceWriteHandler write[kDeviceEntries];
};
extern DeviceHandlerTables DeviceTables;

inline bool MemIsDeviceAddress(uint32_t physical) {
    return physical >= kDeviceBase && physical < kDeviceLimit;
}
// Callers check MemIsDeviceAddress first.
inline uint32_t DeviceRead(uint32_t physical) {
    return DeviceTables.read[(physical - kDeviceBase) >> 20](physical);
}
inline void DeviceWrite(uint32_t physical, uint32_t value) {
    DeviceTables.write[(physical - kDeviceBase) >> 20](physical, value);
}

// Installs a device's handlers for the megabyte that holds `base`.
void MemInstallDevice(uint32_t base, DeviceReadHandler read, DeviceWriteHandler write);
// Fills both tables with the defaults.
void MemClearDeviceTables();

// Allocates the four areas (once per process; "Memory allocation failure" is fatal), the NAND
// array with every block erased, and builds the page map.
void MemAllocateAreas();
// Rebuilds the page map from the allocated areas.
void MemBuildPageMap();

// Clears DRAM to zero (hard reset).
void MemClearDram();

// The NAND array is erased lazily, one erase block (64 pages and their spare bytes) at a time: an
// erase only marks blocks and gives their host pages back, and a marked block is filled with 0xFF
// on its first touch. Whatever reads or writes MemNandData or MemNandSpare touches the bytes first.
constexpr uint32_t kNandBlockDataBytes = 0x20000;  // 64 pages of 2048 bytes
constexpr uint32_t kNandBlockSpareBytes = 0x1000;  // their 64 spare bytes each
constexpr uint32_t kNandBlockCount = kNandDataSize / kNandBlockDataBytes;
// Marks every block erased; blocks already marked are left alone.
void MemEraseNand();
// Marks one block erased (block < kNandBlockCount).
void MemEraseNandBlock(uint32_t block);
// Fills the marked blocks under bytes [offset, offset + length) of the array, where offsets from
// kNandDataSize on are the spare area's, and returns MemNandData + offset. The range must lie in the
// array (callers check it).
uint8_t* MemNandTouch(uint64_t offset, uint64_t length);
// Fills every marked block (before the whole array is read or written at once).
void MemNandTouchAll();
// Whether the block is marked erased (its bytes all read 0xFF and take no host memory).
bool MemNandBlockErased(uint32_t block);

// Memory controller register 0x48100000 (its bit 29 is cleared by CP14 power mode 5).
uint32_t MemControllerRead(uint32_t physical);
void MemControllerWrite(uint32_t physical, uint32_t value);

}  // namespace tamsk
