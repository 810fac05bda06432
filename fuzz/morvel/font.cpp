// Plain 68K fonts translated to native copies. Input: the font's bytes as 68K code holds them; the
// translation may read only those bytes, and a copy it makes keeps the header's fields, except the
// location of the offset-width table, which the copy does not hold.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/BigEndian.h"
#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"
#include "morvel/traps/SystemGlue.h"
#include "standin/os/StandinOs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (vantor::glue::SetSystemTable(vantor::os::SystemTable()), true);
    (void)ready;
    // Exactly the input's bytes, so that the sanitizer sees any read beyond them.
    std::vector<uint8_t> font(data, data + size);
    uint16_t err = 0;
    void* copy = morvel::FontToNative(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(font.data())),
                                      static_cast<uint32_t>(size), &err);
    if (!copy) {
        if (err == 0) std::abort();
        return 0;
    }
    for (uint32_t i = 0; i < 13; ++i) {
        uint16_t v;
        std::memcpy(&v, static_cast<uint8_t*>(copy) + 2 * i, 2);
        const uint16_t want = i == 8 ? 0 : vantor::ReadBE16(font.data() + 2 * i);  // no offset-width table
        if (v != want) std::abort();
    }
    vantor::sys::MemChunkFree(copy);
    return 0;
}
