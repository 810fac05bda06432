// Ticks (system slots 586 and 573): one tick is one millisecond since the stand-in started.
#include <chrono>

#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

const auto gStart = std::chrono::steady_clock::now();

uint32_t StandinTimGetTicks() {
    auto elapsed = std::chrono::steady_clock::now() - gStart;
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}
VANTOR_OS_SLOT(TimGetTicks, StandinTimGetTicks)

uint16_t StandinSysTicksPerSecond() { return kTicksPerSecond; }
VANTOR_OS_SLOT(SysTicksPerSecond, StandinSysTicksPerSecond)

}  // namespace
}  // namespace vantor::os
