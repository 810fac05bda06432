// The millisecond tick (export slot 105): milliseconds since the first call of the slot.
#include <sys/time.h>

#include <atomic>

#include "kez/src/KezModule.h"

namespace kez {
namespace {

uint64_t NowMilliseconds() {
    timeval now;
    gettimeofday(&now, nullptr);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_usec) / 1000;
}

std::atomic<uint64_t> gTickBase{0};

uint32_t HALTimeGetTicks() {
    uint64_t now = NowMilliseconds();
    uint64_t expected = 0;
    // The first call sets the base and answers 0.
    if (gTickBase.compare_exchange_strong(expected, now)) return 0;
    return static_cast<uint32_t>(now - expected);
}
KEZ_SLOT(HALTimeGetTicks, HALTimeGetTicks)

}  // namespace
}  // namespace kez
