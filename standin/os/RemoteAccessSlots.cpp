// What Kez's remote-access server asks of the OS: the memory semaphore (system slots 363 and 362,
// a reader-writer lock: write access excludes everyone, read access only writers), the database
// count and the database id by index (117, 98), the import callback (915: a database made from a
// file image), the OS reset (559, which asks Kez for a soft reset) and the export of a database
// through a write callback (193: its header, as an image without entries), and the sync log (65,
// set with SetSyncLog).
#include <algorithm>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "common/BigEndian.h"

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

using ExportWriter = uint16_t (*)(const void* data, uint32_t* size, void* userData);

uint16_t StandinExgDBWriteNative(ExportWriter write, void* userData, const char*, uint32_t dbID, uint16_t) {
    if (!write) return sysErrParamErr;
    uint8_t image[80] = {};
    bool found = WithDatabase(StoreIDFromLocalID(dbID), [&](DatabaseEntry& db) {
        std::memcpy(image, db.name.data(), std::min<size_t>(db.name.size(), 31));
        WriteBE16(image + 32, db.attributes);
        WriteBE16(image + 34, db.version);
        WriteBE32(image + 36, db.created);
        WriteBE32(image + 60, db.type);
        WriteBE32(image + 64, db.creator);
    });
    if (!found) return dmErrCantFind;
    uint32_t size = sizeof image;
    return write(image, &size, userData);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::ExgDBWriteNative, StandinExgDBWriteNative)

void StandinSysReset() {
    if (ModuleProc* kez = KezTable()) reinterpret_cast<kezsig::HALReset*>(kez[kezslot::HALReset])(0);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SysReset, StandinSysReset)

std::mutex gSyncLogLock;
std::string gSyncLog;

// The sync log: its length through `length` (without the terminator) and, when `log` is given,
// at most that many bytes of it with a terminator after them.
uint16_t StandinDlkGetSyncInfo(uint32_t* succeeded, uint32_t* last, uint8_t* state, char* name, char* log,
                               int32_t* length) {
    std::lock_guard lock(gSyncLogLock);
    if (succeeded) *succeeded = 0;
    if (last) *last = 0;
    if (state) *state = 0;
    if (name) *name = 0;
    if (!length) return sysErrParamErr;
    if (log) {
        size_t n = std::min<size_t>(gSyncLog.size(), *length > 0 ? static_cast<size_t>(*length) : 0);
        std::memcpy(log, gSyncLog.data(), n);
        log[n] = 0;
    }
    *length = static_cast<int32_t>(gSyncLog.size());
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DlkGetSyncInfo, StandinDlkGetSyncInfo)

}  // namespace

void SetSyncLog(const std::string& text) {
    std::lock_guard lock(gSyncLogLock);
    gSyncLog = text;
}

}  // namespace vantor::os
