// Launch parameter blocks converted between the native and the 68K layout, by launch code.
#pragma once

#include <cstdint>

namespace morvel {

constexpr uint32_t kLaunchBlockSize = 308;

// Converts `source` into `destination` for the launch code; the target database decides the layout
// of some codes. A null destination is allocated: 308 bytes, followed by the record that the block
// of codes 27, 57 and 60 points to (each side points to its own, converted when the source points
// to one). A code without conversion answers the source itself. Null when no memory is left.
void* LaunchParamsTo68K(const void* source, void* destination, uint16_t code, uint32_t targetDbID);
void* LaunchParamsToNative(const void* source, void* destination, uint16_t code, uint32_t targetDbID);
// Frees a converted block: nothing when it is the source block itself.
void LaunchParamsFree(void* block, const void* source, uint16_t code);

}  // namespace morvel
