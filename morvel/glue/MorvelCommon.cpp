#include "morvel/glue/MorvelCommon.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "common/BigEndian.h"
#include "common/module/SystemCalls.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {

using trapglue::Mem;
namespace {


constexpr const char* kFile = "MorvelCommon";

// Guarded access: odd addresses and offsets are reported; the access is made anyway.
void Guard(uint32_t p, uint32_t offset, uint16_t line) {
    if (p & 1) ErrDisplayFileLineMsg(kFile, line, "Odd address");
    if (offset & 1) ErrDisplayFileLineMsg(kFile, line, "Odd offset");
}

// The per-task word that holds the task's current context.
thread_local EmulState* tCurrent = nullptr;
EmulState* gGlobal = nullptr;

}  // namespace

int8_t GetArgInt8(const EmulState* s, uint32_t offset) { return static_cast<int8_t>(*Mem(s->A[7] + offset)); }
int32_t GetArgUInt16(const EmulState* s, uint32_t offset) {
    return static_cast<int16_t>(vantor::ReadBE16(Mem(s->A[7] + offset)));
}
uint32_t GetArgUInt32(const EmulState* s, uint32_t offset) { return vantor::ReadBE32(Mem(s->A[7] + offset)); }
uint32_t GetArgPtr(const EmulState* s, uint32_t offset) { return GetArgUInt32(s, offset); }
int32_t GetArgTicks(const EmulState* s, uint32_t offset) {
    int32_t v = static_cast<int32_t>(GetArgUInt32(s, offset));
    if (v <= 0) return v;
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    return v > kMax / 10 ? kMax : v * 10;
}
void SetArgInt8(EmulState* s, uint32_t offset, int8_t value) { *Mem(s->A[7] + offset) = static_cast<uint8_t>(value); }
void SetArgUInt16(EmulState* s, uint32_t offset, uint16_t value) { vantor::WriteBE16(Mem(s->A[7] + offset), value); }
void SetArgUInt32(EmulState* s, uint32_t offset, uint32_t value) { vantor::WriteBE32(Mem(s->A[7] + offset), value); }

void SetResultD0UInt8(EmulState* s, uint8_t value) { s->D[0] = value; }
void SetResultD0UInt16(EmulState* s, uint16_t value) { s->D[0] = value; }
void SetResultD0UInt32(EmulState* s, uint32_t value) { s->D[0] = value; }
void SetResultA0(EmulState* s, uint32_t value) { s->A[0] = value; }
int8_t GetResultD0Int8(const EmulState* s) { return static_cast<int8_t>(s->D[0]); }
int16_t GetResultD0Int16(const EmulState* s) { return static_cast<int16_t>(s->D[0]); }
uint32_t GetResultD0UInt32(const EmulState* s) { return s->D[0]; }
uint32_t GetResultA0(const EmulState* s) { return s->A[0]; }

uint8_t Read68KInt8(uint32_t p, uint32_t offset) { return *Mem(p + offset); }
uint16_t Read68KUInt16(uint32_t p, uint32_t offset) {
    Guard(p, offset, 201);
    return vantor::ReadBE16(Mem(p + offset));
}
uint32_t Read68KUInt32(uint32_t p, uint32_t offset) {
    Guard(p, offset, 215);
    return vantor::ReadBE32(Mem(p + offset));
}
void Write68KInt8(uint32_t p, uint32_t offset, uint8_t value) { *Mem(p + offset) = value; }
void Write68KUInt16(uint32_t p, uint32_t offset, uint16_t value) {
    Guard(p, offset, 236);
    vantor::WriteBE16(Mem(p + offset), value);
}
void Write68KUInt32(uint32_t p, uint32_t offset, uint32_t value) {
    Guard(p, offset, 250);
    vantor::WriteBE32(Mem(p + offset), value);
}

void Read68KPoint(NativePoint* native, uint32_t p) {
    native->x = static_cast<int16_t>(Read68KUInt16(p, 0));
    native->y = static_cast<int16_t>(Read68KUInt16(p, 2));
}
void Read68KRect(NativeRect* native, uint32_t p) {
    Read68KPoint(&native->topLeft, p);
    Read68KPoint(&native->extent, p + 4);
}
void Write68KPoint(const NativePoint* native, uint32_t p) {
    Write68KUInt16(p, 0, static_cast<uint16_t>(native->x));
    Write68KUInt16(p, 2, static_cast<uint16_t>(native->y));
}
void Write68KRect(const NativeRect* native, uint32_t p) {
    Write68KPoint(&native->topLeft, p);
    Write68KPoint(&native->extent, p + 4);
}

namespace {
// Walks a layout string; `field` gets (native offset, 68K offset, size) of each field.
template <class F>
void WalkLayout(RecordLayoutDescriptor layout, F field) {
    uint32_t n = 0, m = 0;
    for (const uint8_t* b = layout; *b; ++b) {
        uint8_t c = *b;
        if (c == 1 || c == 2) {
            n = (n + 3) & ~3u;
            m = (m + 1) & ~1u;
            continue;
        }
        if (c < 16) continue;
        uint32_t count = c >> 4, type = c & 0xF;
        for (uint32_t i = 0; i < count; ++i) {
            if (type == 1) {
                field(n, m, 1u);
                n += 1;
                m += 1;
            } else if (type == 2) {
                n = (n + 1) & ~1u;
                m = (m + 1) & ~1u;
                field(n, m, 2u);
                n += 2;
                m += 2;
            } else if (type == 4) {
                n = (n + 3) & ~3u;
                m = (m + 1) & ~1u;
                field(n, m, 4u);
                n += 4;
                m += 4;
            }
        }
    }
}
}  // namespace

uint16_t RecordToNative(void* native, uint32_t p68k, RecordLayoutDescriptor layout) {
    auto* out = static_cast<uint8_t*>(native);
    WalkLayout(layout, [&](uint32_t n, uint32_t m, uint32_t size) {
        if (size == 1) {
            out[n] = Read68KInt8(p68k, m);
        } else if (size == 2) {
            uint16_t v = Read68KUInt16(p68k, m);
            std::memcpy(out + n, &v, 2);
        } else {
            uint32_t v = Read68KUInt32(p68k, m);
            std::memcpy(out + n, &v, 4);
        }
    });
    return 0;
}

uint16_t RecordTo68K(const void* native, uint32_t p68k, RecordLayoutDescriptor layout) {
    const auto* in = static_cast<const uint8_t*>(native);
    WalkLayout(layout, [&](uint32_t n, uint32_t m, uint32_t size) {
        if (size == 1) {
            Write68KInt8(p68k, m, in[n]);
        } else if (size == 2) {
            uint16_t v;
            std::memcpy(&v, in + n, 2);
            Write68KUInt16(p68k, m, v);
        } else {
            uint32_t v;
            std::memcpy(&v, in + n, 4);
            Write68KUInt32(p68k, m, v);
        }
    });
    return 0;
}

void ConvertBitfield16(uint16_t* word, BitfieldLayoutDescriptor widths) {
    uint32_t src = *word, out = 0;
    int from = 16, to = 0;
    for (const uint8_t* w = widths; *w; ++w) {
        int width = *w;
        if (width > from) break;  // widths beyond the word: the rest stays 0
        from -= width;
        uint32_t mask = (1u << width) - 1;
        out |= ((src >> from) & mask) << to;
        to += width;
    }
    *word = static_cast<uint16_t>(out);
}

void* ShadowNew(uint32_t size) {
    void* p = vantor::sys::MemPtrNew(size);
    if (p) std::memset(p, 0xFE, size);
    return p;
}
void ShadowFree(void* block) {
    if (block) vantor::sys::MemChunkFree(block);
}

TaggedNode* TaggedNodeAdd(EmulState* s, uint32_t kind, void* payload) {
    auto* node = static_cast<TaggedNode*>(vantor::sys::MemPtrNew(sizeof(TaggedNode)));
    if (!node) return nullptr;
    node->prev = nullptr;
    node->next = s->taggedNodes;
    node->kind = kind;
    node->payload = payload;
    if (s->taggedNodes) s->taggedNodes->prev = node;
    s->taggedNodes = node;
    return node;
}
TaggedNode* TaggedNodeFind(const EmulState* s, const void* payload) {
    for (TaggedNode* n = s->taggedNodes; n; n = n->next)
        if (n->payload == payload) return n;
    return nullptr;
}
void TaggedNodeRemove(EmulState* s, TaggedNode* node) {
    if (node->prev) node->prev->next = node->next;
    else s->taggedNodes = node->next;
    if (node->next) node->next->prev = node->prev;
    vantor::sys::MemChunkFree(node);
}
void TaggedNodesFree(EmulState* s) {
    while (TaggedNode* n = s->taggedNodes) {
        if ((n->kind == kTaggedOwnsPayloadA || n->kind == kTaggedOwnsPayloadB) && n->payload)
            vantor::sys::MemChunkFree(n->payload);
        TaggedNodeRemove(s, n);
    }
}

uint32_t ValidatePtr(const EmulState* s, uint32_t p, bool flag, bool quiet) {
    for (int i = 0; i < 3; ++i) {
        const auto& r = s->regions[i];
        if (r.size == 0 || p < r.base || p - r.base >= r.size) continue;
        if (i == 2 && !flag) return 0;
        return r.base + r.size - p;
    }
    uint32_t known = KezAreaSize(p, flag ? 1 : 0);
    if (known) return known;
    if (!quiet) {
        char text[40];
        std::snprintf(text, sizeof text, "Invalid ptr: %lx", static_cast<unsigned long>(p));
        ErrDisplayFileLineMsg(kFile, 431, text);
    }
    return 0;
}

EmulState* GetCurrentContext() { return tCurrent ? tCurrent : GetGlobalContext(); }
EmulState* GetTaskContext() { return tCurrent; }
void SetCurrentContext(EmulState* s) { tCurrent = s; }
EmulState* GetGlobalContext() { return gGlobal; }
void SetGlobalContext(EmulState* s) { gGlobal = s; }

}  // namespace morvel
