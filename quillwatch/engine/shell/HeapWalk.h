// The heap walk: the chunks of a device heap read through remote memory, decoded, checked, and
// listed with their owners; and the search for the owner of a device address.
#pragma once

#include <cstdint>
#include <vector>

namespace quillwatch {

// Heap header: flags u16 at 0, size u32 at 2, first-free field u32 at 6, master pointer table
// count u16 at 12 and link u32 at 14; the table's entries follow at 20 and the first chunk after them.
struct ShellHeapInfo {
    uint32_t address;
    uint16_t flags;
    uint32_t size;
    uint32_t firstFree;
    uint16_t tableCount;
    uint32_t tableLink;
    int version;  // 5, 4, or 3 for older heaps
    uint32_t firstChunk;
};

struct ShellChunk {
    uint32_t header;  // address of the 8-byte header
    bool free;
    uint32_t size;  // whole chunk, header included
    uint8_t sizeAdj;
    uint8_t lockCount;  // 15: non-movable
    uint8_t owner;
    uint32_t offset;  // master pointer distance (in use) or next free chunk distance (free), in units
    uint32_t handle;  // the master pointer of a movable chunk in use, else 0
};

// Reads the header of a heap (throws when the heap ID is unknown or the read fails).
ShellHeapInfo ShellReadHeap(uint16_t heapId);
// Decodes the chunk header at the address.
ShellChunk ShellReadChunk(const ShellHeapInfo& heap, uint32_t header);
uint32_t ShellHeapLargestFree(uint16_t heapId);
// Checks a chunk's data against the counting pattern of ShellFillChunk (count 0: all of it).
int ShellHeapCheckChunk(uint32_t chunk, uint32_t count);
void ShellFillChunk(uint32_t chunk);
uint32_t ShellPtrToLocalID(uint32_t p);
uint32_t ShellHandleToLocalID(uint32_t h);

}  // namespace quillwatch
