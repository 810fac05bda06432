// How Sockra reaches the OS and Kez: typed calls through the system dispatch table and through
// its import of Kez's export table ('rsrc'/'pkez'), bound on the first call (the module glue).
#pragma once

#include <cstdint>

#include "common/Status.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"

namespace sockra::os {

using vantor::Status;
using MemHandle = void*;
// A database reference: found (and opened) by the newest-database search, closed by slot 71.
using DmOpenRef = uint32_t;

// Kez's export table.
extern vantor::glue::ModuleImport gKez;

template <typename Sig, typename... A>
inline auto SysCall(uint16_t slot, A... args) {
    return vantor::glue::SysCall<Sig>(slot, args...);
}

// Trace lines of category 0x1200 and error reports through slot 159.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void ErrReport(const char* sourcePath, uint32_t line, const char* message);
// Reports a status in decimal, as the library reports its errors; 0 is not reported.
void ErrReportStatus(const char* sourcePath, uint32_t line, Status err);

using vantor::sys::DmWrite;
using vantor::sys::FtrGet;
using vantor::sys::FtrSet;
using vantor::sys::MemHandleLock;
using vantor::sys::MemHandleSize;
using vantor::sys::MemHandleUnlock;
using vantor::sys::MemHeapFreeBytes;
using vantor::sys::MemHeapID;
using vantor::sys::MemHeapSize;
using vantor::sys::MemPtrNew;
using vantor::sys::MemPtrSetOwner;
using vantor::sys::SysTaskCreate;
using vantor::sys::SysTaskDelete;
using vantor::sys::DmDatabaseInfoByID;
using vantor::sys::DmFindDatabaseByName;
using vantor::sys::EvtResetAutoOffTimer;
using vantor::sys::SrmClearErr;
using vantor::sys::SrmControl;
using vantor::sys::SrmReceive;
using vantor::sys::SrmSend;
using vantor::sys::SysAppLaunchPlugin;
using vantor::sys::TimGetTicks;
inline Status MemPtrFree(void* p) { return vantor::sys::MemChunkFree(p); }
inline uint16_t MemNumHeaps() { return vantor::sys::MemHeapCount(); }
inline bool MemHeapDynamic(uint16_t heapID) { return vantor::sys::MemHeapDynamic(heapID) != 0; }
inline bool EvtEventAvail() { return SysCall<uint8_t()>(vantor::sysslot::EvtEventAvail) != 0; }
inline void SysCriticalEnter() { SysCall<void()>(vantor::sysslot::SysCriticalSectionEnter); }
inline void SysCriticalLeave() { SysCall<void()>(vantor::sysslot::SysCriticalSectionLeave); }

// Notification parameter block of a broadcast.
using vantor::SysNotifyParamType;
inline Status SysNotifyBroadcastDeferred(SysNotifyParamType* notifyP, int16_t paramSize) {
    return SysCall<Status(SysNotifyParamType*, int16_t)>(vantor::sysslot::SysNotifyBroadcastDeferred, notifyP,
                                                        paramSize);
}

// Databases and resources ("Net Prefs").
inline Status DmFindNewestDatabase(uint32_t type, uint32_t creator, DmOpenRef* dbP) {
    vantor::SysDmSearchState state{};
    return vantor::sys::DmFindNewestDatabase(1, type, creator, 1, &state, dbP);
}
using vantor::sys::DmCloseDatabase;
inline Status DmCreateDatabase(uint16_t cardNo, const char* name, uint32_t creator, uint32_t type, bool resDB) {
    return SysCall<Status(uint16_t, const char*, uint32_t, uint32_t, uint8_t)>(
        vantor::sysslot::DmCreateDatabaseNamed, cardNo, name, creator, type, uint8_t{resDB});
}
inline void DmMarkDatabase(DmOpenRef db, bool on) {
    SysCall<Status(uint32_t, uint8_t)>(vantor::sysslot::DmMarkDatabase, db, uint8_t{on});
}
inline Status DmGetLastErr() { return SysCall<Status()>(vantor::sysslot::DmGetLastErr); }
inline uint16_t DmFindResource(DmOpenRef db, uint32_t type, uint16_t id, MemHandle h) {
    return SysCall<uint16_t(uint32_t, uint32_t, uint16_t, void*)>(vantor::sysslot::DmFindResource, db, type, id, h);
}
inline MemHandle DmGetResourceIndex(DmOpenRef db, uint16_t index) {
    return SysCall<void*(uint32_t, uint16_t)>(vantor::sysslot::DmGetResourceIndex, db, index);
}
inline MemHandle DmNewResource(DmOpenRef db, uint32_t type, uint16_t id, uint32_t size) {
    return SysCall<void*(uint32_t, uint32_t, uint16_t, uint32_t)>(vantor::sysslot::DmNewResource, db, type, id, size);
}
inline MemHandle DmResizeResource(MemHandle h, uint32_t size) {
    return SysCall<void*(void*, uint32_t)>(vantor::sysslot::DmResizeResource, h, size);
}
inline Status DmRemoveResource(DmOpenRef db, uint16_t index) {
    return SysCall<Status(uint32_t, uint16_t)>(vantor::sysslot::DmRemoveResourceByIndex, db, index);
}
inline Status DmReleaseResource(MemHandle h) {
    return SysCall<Status(void*)>(vantor::sysslot::DmReleaseResource, h);
}
inline uint16_t DmNumResources(DmOpenRef db) {
    return SysCall<uint16_t(uint32_t)>(vantor::sysslot::DmNumResources, db);
}
inline Status DmResourceInfo(DmOpenRef db, uint16_t index, uint32_t* typeP, uint16_t* idP, uint32_t* chunkP) {
    return SysCall<Status(uint32_t, uint16_t, uint32_t*, uint16_t*, uint32_t*)>(vantor::sysslot::DmResourceInfo, db,
                                                                              index, typeP, idP, chunkP);
}

// Kez: kernel objects, the event wake-up pipe and the platform's network connection.
#define SOCKRA_KEZ(name, ...) gKez.Call<vantor::kezsig::name>(vantor::kezslot::name __VA_OPT__(, ) __VA_ARGS__)
inline Status KALMutexCreate(uint32_t* idP, uint32_t attr) { return SOCKRA_KEZ(KALMutexCreate, idP, attr); }
inline Status KALMutexReserve(uint32_t id, int32_t timeout) { return SOCKRA_KEZ(KALMutexReserve, id, timeout); }
inline Status KALMutexRelease(uint32_t id) { return SOCKRA_KEZ(KALMutexRelease, id); }
inline Status KALMailboxSend(uint32_t id, uint32_t message) { return SOCKRA_KEZ(KALMailboxSend, id, message); }
inline Status KALTaskGetCurrentID(uint32_t* idP) { return SOCKRA_KEZ(KALTaskGetCurrentID, idP); }
inline Status KALTaskStart(uint32_t id, uint32_t arg) { return SOCKRA_KEZ(KALTaskStart, id, arg); }
inline Status KALTaskDelay(int32_t ms) { return SOCKRA_KEZ(KALTaskDelay, ms); }
inline Status KALTaskWait(int32_t timeout) { return SOCKRA_KEZ(KALTaskWait, timeout); }
inline void HALEventSetWakeupPipe(const int32_t* fds) { SOCKRA_KEZ(HALEventSetWakeupPipe, fds); }
inline Status PALNetConnect() { return gKez.Call<Status()>(vantor::kezslot::PALNetConnect); }
inline void PALNetDisconnect() { gKez.Call<void()>(vantor::kezslot::PALNetDisconnect); }
#undef SOCKRA_KEZ

}  // namespace sockra::os
