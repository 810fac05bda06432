// What Kez's remote-access server asks of the OS: the memory semaphore (system slots 363 and 362,
// a reader-writer lock: write access excludes everyone, read access only writers), the database
// count and the database id by index (117, 98), the import callback (915: a database made from a
// file image) and the OS reset (559, which asks Kez for a soft reset).
#include <shared_mutex>

#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

std::shared_mutex gMemorySemaphore;

uint16_t StandinMemSemaphoreReserve(uint8_t writeAccess) {
    if (writeAccess) gMemorySemaphore.lock();
    else gMemorySemaphore.lock_shared();
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::MemSemaphoreReserve, StandinMemSemaphoreReserve)

uint16_t StandinMemSemaphoreRelease(uint8_t writeAccess) {
    if (writeAccess) gMemorySemaphore.unlock();
    else gMemorySemaphore.unlock_shared();
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::MemSemaphoreRelease, StandinMemSemaphoreRelease)

uint16_t StandinDmCountDatabases(uint16_t) { return static_cast<uint16_t>(DatabaseCount()); }
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmCountDatabases, StandinDmCountDatabases)

uint32_t StandinDmGetDatabaseByIndex(uint16_t, uint16_t index) { return DatabaseIDAt(index); }
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmGetDatabaseByIndex, StandinDmGetDatabaseByIndex)

VANTOR_OS_LIBRARY_SLOT(System, sysslot::HALImportFileCallback, CreateDatabaseFromImage)

void StandinSysReset() {
    if (ModuleProc* kez = KezTable()) reinterpret_cast<kezsig::HALReset*>(kez[kezslot::HALReset])(0);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SysReset, StandinSysReset)

}  // namespace
}  // namespace vantor::os
