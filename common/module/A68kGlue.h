// One library trap of a 68K caller, as a native library's 68K glue sees it: the caller's argument
// block, 68K memory and the result registers, all reached through the library's import of the 68K
// environment ('libr'/'a68k'). 68K values are big-endian; the environment's slots convert them.
#pragma once

#include <cstdint>

#include "common/module/A68kCalls.h"
#include "common/module/A68kSlots.h"
#include "common/module/ModuleGlue.h"

namespace vantor {

struct A68kTrapCall {
    glue::ModuleImport& a68k;
    void* context;

    int32_t S16(uint16_t offset) const {
        return a68k.Call<a68ksig::A68kGetArgInt16>(a68kslot::A68kGetArgInt16, context, offset);
    }
    uint16_t U16(uint16_t offset) const { return static_cast<uint16_t>(S16(offset)); }
    uint8_t U8(uint16_t offset) const {
        return static_cast<uint8_t>(a68k.Call<a68ksig::A68kGetArgInt8>(a68kslot::A68kGetArgInt8, context, offset));
    }
    uint32_t U32(uint16_t offset) const {
        return a68k.Call<a68ksig::A68kGetArgUInt32>(a68kslot::A68kGetArgUInt32, context, offset);
    }
    template <typename T>
    T* Ptr(uint16_t offset) const {
        return reinterpret_cast<T*>(static_cast<uintptr_t>(U32(offset)));
    }
    uint8_t Read8(uint32_t p) const {
        return static_cast<uint8_t>(a68k.Call<a68ksig::A68kReadInt8>(a68kslot::A68kReadInt8, context, p, 0u));
    }
    uint16_t Read16(uint32_t p) const {
        return static_cast<uint16_t>(a68k.Call<a68ksig::A68kReadInt16>(a68kslot::A68kReadInt16, context, p, 0u));
    }
    uint32_t Read32(uint32_t p) const {
        return a68k.Call<a68ksig::A68kReadUInt32>(a68kslot::A68kReadUInt32, context, p, 0u);
    }
    // Writes through a 68K pointer; a null pointer writes nothing.
    void Write8(uint32_t p, uint8_t v) const {
        if (p) a68k.Call<a68ksig::A68kWriteInt8>(a68kslot::A68kWriteInt8, context, p, 0u, static_cast<int8_t>(v));
    }
    void Write16(uint32_t p, uint16_t v) const {
        if (p) a68k.Call<a68ksig::A68kWriteInt16>(a68kslot::A68kWriteInt16, context, p, 0u, v);
    }
    void Write32(uint32_t p, uint32_t v) const {
        if (p) a68k.Call<a68ksig::A68kWriteUInt32>(a68kslot::A68kWriteUInt32, context, p, 0u, v);
    }
    uint16_t ToNative(void* native, uint32_t p, const uint8_t* layout) const {
        return a68k.Call<a68ksig::A68kRecordToNative>(a68kslot::A68kRecordToNative, context, native, p, layout);
    }
    uint16_t To68K(const void* native, uint32_t p, const uint8_t* layout) const {
        return a68k.Call<a68ksig::A68kRecordTo68K>(a68kslot::A68kRecordTo68K, context, native, p, layout);
    }
    void Result16(uint16_t v) const {
        a68k.Call<a68ksig::A68kSetResultInt16>(a68kslot::A68kSetResultInt16, context, uint32_t{v});
    }
    void Result32(uint32_t v) const { a68k.Call<a68ksig::A68kSetResultUInt32>(a68kslot::A68kSetResultUInt32, context, v); }
    void ResultPtr(const void* p) const {
        a68k.Call<a68ksig::A68kSetResultPtr>(a68kslot::A68kSetResultPtr, context,
                                             static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)));
    }
};

// A u16 or u32 value behind a 68K pointer: read before the native call (so that in/out values
// reach it), handed to it as a native pointer (null stays null), written back when it goes.
template <typename T>
struct A68kInOut {
    static_assert(sizeof(T) == 2 || sizeof(T) == 4);
    const A68kTrapCall& call;
    uint32_t p;
    T value = 0;
    A68kInOut(const A68kTrapCall& c, uint32_t pointer) : call(c), p(pointer) {
        if (!p) return;
        if constexpr (sizeof(T) == 2) value = static_cast<T>(call.Read16(p));
        else value = static_cast<T>(call.Read32(p));
    }
    A68kInOut(const A68kInOut&) = delete;
    A68kInOut& operator=(const A68kInOut&) = delete;
    T* Native() { return p ? &value : nullptr; }
    ~A68kInOut() {
        if constexpr (sizeof(T) == 2) call.Write16(p, static_cast<uint16_t>(value));
        else call.Write32(p, static_cast<uint32_t>(value));
    }
};

}  // namespace vantor
