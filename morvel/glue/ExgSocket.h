// The exchange socket record between its 68K layout (60 bytes, big-endian) and the native one
// (64 bytes, host order, aligned). Launch blocks, the exchange traps and the native modules that
// serve 68K callers all convert sockets through these two.
#pragma once

#include <cstdint>

namespace morvel {

constexpr uint32_t kExgSocket68KSize = 60;
constexpr uint32_t kExgSocketNativeSize = 64;

// Fills all 64 native bytes (zero where the 68K record carries nothing).
void ExgSocketToNative(const uint8_t* socket68K, uint8_t* native);
// Fills all 60 68K bytes: the word at 30 and flag bits 9-0, which the native record does not
// carry, become 0.
void ExgSocketTo68K(const uint8_t* native, uint8_t* socket68K);

}  // namespace morvel
