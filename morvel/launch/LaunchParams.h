// Launch parameter blocks converted between the native and the 68K layout, by launch code.
#pragma once

#include <cstdint>

namespace morvel {

constexpr uint32_t kLaunchBlockSize = 308;

// Converts `source` into `destination` (allocated, 308 bytes, when null) for the launch code; the
// target database decides the layout of some codes. A code without conversion answers the source
// itself (freeing a block it allocated). Null when the block cannot be converted.
void* LaunchParamsTo68K(const void* source, void* destination, uint16_t code, uint32_t targetDbID);
void* LaunchParamsToNative(const void* source, void* destination, uint16_t code, uint32_t targetDbID);
// Frees a converted block: nothing when it is the source block itself.
void LaunchParamsFree(void* block, const void* source, uint16_t code);

}  // namespace morvel
