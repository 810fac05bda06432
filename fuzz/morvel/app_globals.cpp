// An application's 'data' 0 resource unpacked into its globals. Input: the globals' size and the
// bytes below A5 (two big-endian u32, the size taken modulo 64 KB), then the resource.
#include <cstdint>
#include <vector>

#include "common/BigEndian.h"
#include "morvel/launch/AppGlobals.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    uint32_t globalsSize = vantor::ReadBE32(data) % 0x10000;
    uint32_t below = vantor::ReadBE32(data + 4) % (globalsSize + 1);
    // Exactly the globals' size, so that the sanitizer sees any write beyond them.
    std::vector<uint8_t> globals(globalsSize);
    morvel::GlobalsUnpack(data + 8, static_cast<uint32_t>(size - 8), globals.data(), globalsSize, below, 0x1000);
    return 0;
}
