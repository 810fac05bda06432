// Domain-name encoding of any text, into buffers of any size.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sockra/Sockra.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint16_t bufSize = data[0] | (size > 1 ? data[1] << 8 : 0);
    std::string name(reinterpret_cast<const char*>(data) + (size > 1 ? 2 : 1), size > 1 ? size - 2 : 0);
    uint8_t out[255];
    int16_t measured = sockra::SockraDomainNameEncode(name.c_str(), bufSize, nullptr);
    int16_t n = sockra::SockraDomainNameEncode(name.c_str(), bufSize, bufSize <= sizeof out ? out : out);
    if (n != measured || n > 255 || (n > 0 && n > bufSize)) abort();
    if (n > 0 && out[n - 1] != 0) abort();
    return 0;
}
