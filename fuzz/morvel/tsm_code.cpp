// Text-service codes from 68K strings. Input: the string's bytes; the target adds the zero byte
// that ends every 68K string, so the sanitizer sees any read beyond it. Accepted strings must be
// empty or exactly four characters, and the code must hold those characters, the first highest.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "morvel/traps/IntlGlue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back(0);
    uint32_t code = 0xFFFFFFFF;
    if (!morvel::TsmCodeFromString(text.data(), &code)) return 0;
    const size_t length = std::strlen(text.data());
    if (length == 0 ? code != 0 : length != 4) std::abort();
    for (size_t i = 0; i < length; ++i)
        if (static_cast<uint8_t>(code >> (24 - 8 * i)) != static_cast<uint8_t>(text[i])) std::abort();
    return 0;
}
