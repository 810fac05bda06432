// An application's globals from its 'data' 0 resource: three compressed blocks placed relative to
// A5, then the relocation tables of A5-relative and code-relative pointers.
#pragma once

#include <cstdint>

namespace morvel {

// Unpacks a 'data' 0 image (a 4-byte header, three blocks, up to two relocation tables) into the
// zeroed globals [globals, globals + size), whose A5 lies `below` bytes in; code pointers are
// relocated against `codeBase`. The image comes from the application: every read stays inside it
// and every write inside the globals. False when the image is malformed (what was unpacked before
// the fault stays).
bool GlobalsUnpack(const uint8_t* image, uint32_t imageSize, uint8_t* globals, uint32_t size, uint32_t below,
                   uint32_t codeBase);

}  // namespace morvel
