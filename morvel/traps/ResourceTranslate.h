// Translation of a 68K application's UI resources (forms, alerts, menu bars, bitmaps, fonts,
// integer constants) from their big-endian 68K layouts into the native layouts the UI library
// reads, stored under the native resource type in a resource database the UI library searches.
#pragma once

#include <cstdint>
#include <vector>

#include "morvel/cpu/EmulState.h"

namespace morvel {

constexpr uint16_t kRsrcErrNoMemory = 0x0102, kRsrcErrParam = 0x0502, kRsrcErrNotResourceDb = 0x020D,
                   kRsrcErrReadOnly = 0x0204, kRsrcErrNotFound = 0x0210, kRsrcErrNothingToDo = 0x0219;

// The native type a 68K resource type is stored under; every other type maps to itself.
uint32_t RsrcMapType(uint32_t type68K);

// Translates one 68K resource image of `type68K` into `native`; kRsrcErrParam for an image that
// does not hold what its header says, kRsrcErrNoMemory without memory. `source` is the resource
// database that nested resources (a form's menu bar and bitmaps) are translated from into
// `destination` (0: nested resources are not translated).
uint16_t RsrcTranslateImage(uint32_t type68K, const uint8_t* image, uint32_t size,
                            std::vector<uint8_t>* native, uint32_t source = 0, uint32_t destination = 0);

// Translates the resource at `index` of the open database `source` into `destination`, replacing
// an older translation; kRsrcErrNothingToDo for a type that maps to itself.
uint16_t RsrcTranslateIndexed(uint32_t source, uint32_t destination, uint16_t index);
// The same by type and ID; nothing to do counts as success.
uint16_t RsrcTranslateByID(uint32_t source, uint32_t destination, uint32_t type68K, uint16_t id);

// Before a UI call that looks a resource up: translates the 68K resource into the context's
// resource cache; giving up the storage reserve once when the first try fails.
uint16_t RsrcPrepare(EmulState* s, uint32_t type68K, uint16_t id, bool oneDatabase);
// After that UI call: while the storage reserve is given up, the translation leaves the cache and
// the reserve is taken back.
void RsrcRelease(EmulState* s, uint32_t type68K, uint16_t id);

// The inverse of ConvertBitfield16: a native bit-field word back in 68K bit order.
uint16_t Bitfield16To68K(uint16_t native, const uint8_t* widths);

}  // namespace morvel
