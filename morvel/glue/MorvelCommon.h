// The common layer through which trap handlers touch the 68K world: big-endian access to 68K
// memory, trap arguments and results, layout-driven record conversion, bit-field repacking,
// shadow blocks, tagged nodes, pointer validation and the current and global context.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

// ---- trap arguments (at A7 + offset) and results ----
int8_t GetArgInt8(const EmulState* s, uint32_t offset);
int32_t GetArgUInt16(const EmulState* s, uint32_t offset);  // sign-extended
uint32_t GetArgUInt32(const EmulState* s, uint32_t offset);
uint32_t GetArgPtr(const EmulState* s, uint32_t offset);
// 68K ticks (100 a second) as native ticks (1000 a second): positive values times 10, saturated.
int32_t GetArgTicks(const EmulState* s, uint32_t offset);
void SetArgInt8(EmulState* s, uint32_t offset, int8_t value);
void SetArgUInt16(EmulState* s, uint32_t offset, uint16_t value);
void SetArgUInt32(EmulState* s, uint32_t offset, uint32_t value);

void SetResultD0UInt8(EmulState* s, uint8_t value);
void SetResultD0UInt16(EmulState* s, uint16_t value);
void SetResultD0UInt32(EmulState* s, uint32_t value);
void SetResultA0(EmulState* s, uint32_t value);
int8_t GetResultD0Int8(const EmulState* s);
int16_t GetResultD0Int16(const EmulState* s);
uint32_t GetResultD0UInt32(const EmulState* s);
uint32_t GetResultA0(const EmulState* s);

// ---- 68K memory; the 16- and 32-bit forms report odd addresses and offsets, then go on ----
uint8_t Read68KInt8(uint32_t p, uint32_t offset);
uint16_t Read68KUInt16(uint32_t p, uint32_t offset);
uint32_t Read68KUInt32(uint32_t p, uint32_t offset);
void Write68KInt8(uint32_t p, uint32_t offset, uint8_t value);
void Write68KUInt16(uint32_t p, uint32_t offset, uint16_t value);
void Write68KUInt32(uint32_t p, uint32_t offset, uint32_t value);

struct NativePoint {
    int16_t x, y;
};
struct NativeRect {
    NativePoint topLeft, extent;
};
static_assert(sizeof(NativeRect) == 8);
void Read68KPoint(NativePoint* native, uint32_t p);
void Read68KRect(NativeRect* native, uint32_t p);
void Write68KPoint(const NativePoint* native, uint32_t p);
void Write68KRect(const NativeRect* native, uint32_t p);

// ---- layout strings ----
// RecordLayoutDescriptor: zero-terminated; 1 or 2 align both sides (native to 4, 68K to 2);
// 3-15 ignored; otherwise high nibble = count, low nibble = type: 1 byte, 2 16-bit, 4 32-bit.
using RecordLayoutDescriptor = const uint8_t*;
// BitfieldLayoutDescriptor: zero-terminated field widths of one 16-bit word.
using BitfieldLayoutDescriptor = const uint8_t*;
uint16_t RecordToNative(void* native, uint32_t p68k, RecordLayoutDescriptor layout);
uint16_t RecordTo68K(const void* native, uint32_t p68k, RecordLayoutDescriptor layout);
void ConvertBitfield16(uint16_t* word, BitfieldLayoutDescriptor widths);

// ---- shadow blocks and tagged nodes ----
void* ShadowNew(uint32_t size);  // OS block filled with 0xFE, or null
void ShadowFree(void* block);

// A 16-byte node for native data that 68K code holds by pointer.
struct TaggedNode {
    TaggedNode* prev;
    TaggedNode* next;
    uint32_t kind;
    void* payload;
};
static_assert(sizeof(TaggedNode) == 16);
constexpr uint32_t kTaggedOwnsPayloadA = 5, kTaggedOwnsPayloadB = 7;
TaggedNode* TaggedNodeAdd(EmulState* s, uint32_t kind, void* payload);
TaggedNode* TaggedNodeFind(const EmulState* s, const void* payload);
void TaggedNodeRemove(EmulState* s, TaggedNode* node);
// Context cleanup: frees every node, and the payload of kinds 5 and 7.
void TaggedNodesFree(EmulState* s);

// ---- pointer validation ----
// Bytes from p to the end of the region that holds it; 0 (reported unless quiet) when none does.
uint32_t ValidatePtr(const EmulState* s, uint32_t p, bool flag, bool quiet);

// ---- current and global context ----
EmulState* GetCurrentContext();
EmulState* GetTaskContext();  // the calling task's own context, or null
void SetCurrentContext(EmulState* s);  // for the calling task
EmulState* GetGlobalContext();
void SetGlobalContext(EmulState* s);

}  // namespace morvel
