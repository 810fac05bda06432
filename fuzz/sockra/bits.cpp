// Bit-field routines driven by a script of operations on a buffer with room for every field.
#include <cstdint>
#include <cstring>

#include "sockra/SockraBits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t buf[64], src[64];
    memset(buf, 0, sizeof buf);
    memset(src, 0xA5, sizeof src);
    for (size_t i = 0; i + 6 <= size; i += 6) {
        uint32_t off = data[i + 1] % 200, soff = data[i + 2] % 200;
        uint32_t value;
        memcpy(&value, data + i + 2, 4);
        uint16_t width = data[i + 5];  // any width: outside 1..32 is refused
        switch (data[i] % 7) {
            case 0: SockraBitPutFixed(buf, &off, value, width); break;
            case 1: SockraBitGetFixed(buf, &off, width); break;
            case 2: SockraBitPutUIntV(buf, &off, value); break;
            case 3: SockraBitGetUIntV(buf, &off); break;
            case 4: SockraBitPutIntV(buf, &off, static_cast<int32_t>(value)); break;
            case 5: SockraBitGetIntV(buf, &off); break;
            case 6: SockraBitMove(buf, &off, src, &soff, data[i + 3] % 250); break;
        }
    }
    return 0;
}
