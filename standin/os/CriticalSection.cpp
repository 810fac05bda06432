// The system's critical section (system slots 515 to enter and 560 to leave): one recursive lock
// for the whole process.
#include <mutex>

#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

std::recursive_mutex& CriticalSection() {
    static std::recursive_mutex lock;
    return lock;
}

void StandinSysCriticalSectionEnter() { CriticalSection().lock(); }
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SysCriticalSectionEnter, StandinSysCriticalSectionEnter)

void StandinSysCriticalSectionLeave() { CriticalSection().unlock(); }
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SysCriticalSectionLeave, StandinSysCriticalSectionLeave)

}  // namespace
}  // namespace vantor::os
