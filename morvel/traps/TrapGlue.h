// Helpers of the trap glue: the two views of a 68K address (68K addresses are native addresses),
// the global context, and a value behind a 68K pointer that a native call reads and writes.
#pragma once

#include <cstdint>

#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"
#include "morvel/cpu/HostAddress.h"
#include "morvel/glue/MorvelCommon.h"

namespace morvel::trapglue {

// The names every glue file calls the OS by.
namespace sys = vantor::sys;
namespace slot = vantor::sysslot;
using vantor::glue::SysCall;

using morvel::Addr;
using morvel::Mem;
using morvel::Ptr;
using morvel::Str;

// The global context of a context (the global context is its own).
inline EmulState* Global(EmulState* s) { return s->global ? s->global : s; }

// Trap arguments at A7 + offset, by their width.
inline uint16_t U16(const EmulState* s, uint32_t offset) { return static_cast<uint16_t>(GetArgUInt16(s, offset)); }
inline int16_t I16(const EmulState* s, uint32_t offset) { return static_cast<int16_t>(GetArgUInt16(s, offset)); }
inline uint8_t U8(const EmulState* s, uint32_t offset) { return static_cast<uint8_t>(GetArgInt8(s, offset)); }
inline uint32_t U32(const EmulState* s, uint32_t offset) { return GetArgUInt32(s, offset); }
inline void* P(const EmulState* s, uint32_t offset) { return Ptr(GetArgPtr(s, offset)); }

// A 16- or 32-bit value behind a 68K pointer: read big-endian into `value` and handed to the OS as
// a native pointer (null stays null), written back big-endian afterwards.
template <typename T>
struct InOut {
    static_assert(sizeof(T) == 2 || sizeof(T) == 4);
    uint32_t p;
    T value = 0;
    explicit InOut(uint32_t pointer) : p(pointer) {
        if (!p) return;
        if constexpr (sizeof(T) == 2) value = Read68KUInt16(p, 0);
        else value = Read68KUInt32(p, 0);
    }
    // The native pointer, as T or as another type of the same size (a signed view).
    template <typename U = T>
    U* Native() {
        static_assert(sizeof(U) == sizeof(T));
        return p ? reinterpret_cast<U*>(&value) : nullptr;
    }
    void WriteBack() const {
        if (!p) return;
        if constexpr (sizeof(T) == 2) Write68KUInt16(p, 0, value);
        else Write68KUInt32(p, 0, value);
    }
};
using InOut16 = InOut<uint16_t>;
using InOut32 = InOut<uint32_t>;

}  // namespace morvel::trapglue
