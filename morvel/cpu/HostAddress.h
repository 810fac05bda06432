// The two views of a 68K address: 68K addresses are native addresses of this process.
#pragma once

#include <cstdint>

namespace morvel {

inline uint32_t Addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
template <typename T = void>
inline T* Ptr(uint32_t p) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(p));
}
inline char* Str(uint32_t p) { return Ptr<char>(p); }
inline uint8_t* Mem(uint32_t p) { return Ptr<uint8_t>(p); }

}  // namespace morvel
