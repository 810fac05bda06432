// Fuzz target of the ARM translator: any words from the input, up to a page of them, are measured
// into a block and translated; the translator must stay inside its buffer and never crash, and a
// block never covers more words than it was given.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tamsk/cpu/CpuTranslate.h"

using namespace tamsk;

namespace {

uint8_t gState[4096];  // stands in for the entry, registers, flags and caches

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t words[256];
    const uint32_t count = static_cast<uint32_t>(std::min<size_t>(size / 4, 256));
    std::memcpy(words, data, count * 4);
    for (uint32_t start = 0; start < count; ++start) {
        const uint32_t n = CpuTranslatableRun(words + start, count - start);
        if (n > count - start) __builtin_trap();
        if (n == 0) continue;
        const CpuBlockTargets t = {gState, 32, gState + 64, gState + 128, gState + 136, gState + 140,
                                   gState + 256, gState + 1024, gState, gState, gState};
        if (!CpuTranslateArm(words + start, n, t)) CpuEmptyCodeBuffer();
        start += n - 1;
    }
    return 0;
}
