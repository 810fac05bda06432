// How Sockra reaches the OS: the system dispatch table it was handed, and the export table of Kez,
// bound through system slot 543 on first use. Each call below jumps through one slot.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "common/Status.h"

namespace sockra::os {

using vantor::Status;
using MemHandle = void*;
using DmOpenRef = void*;
using LocalID = uint32_t;

// System dispatch table slots that Sockra calls.
enum SysSlot : uint16_t {
    sysDmCloseDatabase = 71,
    sysDmCreateDatabase = 72,
    sysDmMarkDatabase = 77,
    sysDmFindResource = 92,
    sysDmGet1Resource = 96,
    sysDmGetLastErr = 101,
    sysDmGetNextDatabaseByTypeCreator = 102,
    sysDmGetResourceIndex = 106,
    sysDmNewResource = 114,
    sysDmNumResources = 121,
    sysDmOpenDatabase = 126,
    sysDmReleaseResource = 136,
    sysDmRemoveResource = 138,
    sysDmResizeResource = 142,
    sysDmResourceInfo = 143,
    sysDmWrite = 153,
    sysErrReport = 159,
    sysFtrGet = 265,
    sysFtrSet = 271,
    sysTraceContinued = 277,
    sysTrace = 278,
    sysMemChunkFree = 302,
    sysMemHandleLock = 313,
    sysMemHandleSize = 320,
    sysMemHandleUnlock = 322,
    sysMemHeapDynamic = 325,
    sysMemHeapFreeBytes = 328,
    sysMemHeapID = 330,
    sysMemHeapSize = 334,
    sysMemNumHeaps = 346,
    sysMemPtrNew = 353,
    sysMemPtrSetOwner = 358,
    sysCriticalEnter = 515,
    sysEvtEventAvail = 519,
    sysCriticalLeave = 560,
    sysImportBind = 543,
    sysNotifyBroadcastDeferred = 547,
    sysTaskCreate = 569,
    sysTaskDelete = 572,
    sysSlotCount = 918,
};

// Kez export slots that Sockra calls.
enum KezSlot : uint16_t {
    kezMailboxSend = 130,
    kezMutexCreate = 133,
    kezMutexRelease = 135,
    kezMutexReserve = 136,
    kezTaskDelay = 144,
    kezTaskGetCurrentID = 146,
    kezTaskStart = 150,
    kezTaskWait = 152,
    kezNetConnect = 224,
    kezNetDisconnect = 225,
    kezEventSetWakeupPipe = 281,
    kezSlotCount = 288,
};

using Entry = void (*)();

// The system table (stored by the module's glue before any call) and the module's reference number.
void SetSystemTable(const Entry* table);
const Entry* SystemTable();
void SetRefNum(uint32_t refNum);

// Kez's export table, bound through slot 543 on the first call.
const Entry* KezTable();

template <typename R, typename... A>
inline R SysCall(uint16_t slot, A... args) {
    return reinterpret_cast<R (*)(A...)>(SystemTable()[slot])(args...);
}
template <typename R, typename... A>
inline R KezCall(uint16_t slot, A... args) {
    return reinterpret_cast<R (*)(A...)>(KezTable()[slot])(args...);
}

// Trace lines of category 0x1200 and error reports through slot 159.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void ErrReport(const char* sourcePath, uint32_t line, const char* message);
// Reports a status in decimal, as the library reports its errors; 0 is not reported.
void ErrReportStatus(const char* sourcePath, uint32_t line, Status err);

inline void* MemPtrNew(uint32_t size) { return SysCall<void*>(sysMemPtrNew, size); }
inline Status MemPtrFree(void* p) { return SysCall<Status>(sysMemChunkFree, p); }
inline Status MemPtrSetOwner(void* p, uint16_t owner) { return SysCall<Status>(sysMemPtrSetOwner, p, owner); }
inline uint16_t MemNumHeaps(uint16_t cardNo) { return SysCall<uint16_t>(sysMemNumHeaps, cardNo); }
inline uint16_t MemHeapID(uint16_t cardNo, uint16_t index) { return SysCall<uint16_t>(sysMemHeapID, cardNo, index); }
inline bool MemHeapDynamic(uint16_t heapID) { return SysCall<uint8_t>(sysMemHeapDynamic, heapID) != 0; }
inline uint32_t MemHeapSize(uint16_t heapID) { return SysCall<uint32_t>(sysMemHeapSize, heapID); }
inline Status MemHeapFreeBytes(uint16_t heapID, uint32_t* freeP, uint32_t* maxP) {
    return SysCall<Status>(sysMemHeapFreeBytes, heapID, freeP, maxP);
}
inline void* MemHandleLock(MemHandle h) { return SysCall<void*>(sysMemHandleLock, h); }
inline Status MemHandleUnlock(MemHandle h) { return SysCall<Status>(sysMemHandleUnlock, h); }
inline uint32_t MemHandleSize(MemHandle h) { return SysCall<uint32_t>(sysMemHandleSize, h); }
inline Status FtrGet(uint32_t creator, uint16_t number, uint32_t* valueP) {
    return SysCall<Status>(sysFtrGet, creator, number, valueP);
}
inline Status FtrSet(uint32_t creator, uint16_t number, uint32_t value) {
    return SysCall<Status>(sysFtrSet, creator, number, value);
}
inline bool EvtEventAvail() { return SysCall<uint8_t>(sysEvtEventAvail) != 0; }
// Notification parameter block of a broadcast.
struct SysNotifyParamType {
    uint32_t notifyType;
    uint32_t broadcaster;
    void* notifyDetailsP;
    void* userDataP;
    uint8_t handled;
    uint8_t reserved2;
};
inline Status SysNotifyBroadcastDeferred(SysNotifyParamType* notifyP, int16_t paramSize) {
    return SysCall<Status>(sysNotifyBroadcastDeferred, notifyP, paramSize);
}
// OS tasks: create (name, entry, stack size, priority, out id) and delete.
inline Status SysTaskCreate(uint32_t name, void (*entry)(uint32_t), uint32_t stackSize, uint32_t priority,
                            uint32_t* idP) {
    return SysCall<Status>(sysTaskCreate, name, entry, stackSize, priority, idP);
}
inline Status SysTaskDelete(uint32_t id) { return SysCall<Status>(sysTaskDelete, id); }
inline void SysCriticalEnter() { SysCall<void>(sysCriticalEnter); }
inline void SysCriticalLeave() { SysCall<void>(sysCriticalLeave); }
// Databases and resources ("Net Prefs").
inline Status DmFindNewestDatabase(uint32_t type, uint32_t creator, LocalID* dbIDP) {
    uint32_t state[8] = {};
    return SysCall<Status>(sysDmGetNextDatabaseByTypeCreator, uint8_t{1}, type, creator, uint8_t{1}, state, dbIDP);
}
inline Status DmCreateDatabase(uint16_t cardNo, const char* name, uint32_t creator, uint32_t type, bool resDB) {
    return SysCall<Status>(sysDmCreateDatabase, cardNo, name, creator, type, uint8_t{resDB});
}
inline void DmMarkDatabase(LocalID dbID, bool on) { SysCall<void>(sysDmMarkDatabase, dbID, uint8_t{on}); }
inline DmOpenRef DmOpenDatabase(uint16_t cardNo, LocalID dbID, uint16_t mode) {
    return SysCall<DmOpenRef>(sysDmOpenDatabase, cardNo, dbID, mode);
}
inline Status DmCloseDatabase(DmOpenRef db) { return SysCall<Status>(sysDmCloseDatabase, db); }
inline Status DmGetLastErr() { return SysCall<Status>(sysDmGetLastErr); }
inline uint16_t DmFindResource(DmOpenRef db, uint32_t type, uint16_t id, MemHandle h) {
    return SysCall<uint16_t>(sysDmFindResource, db, type, id, h);
}
inline MemHandle DmGetResourceIndex(DmOpenRef db, uint16_t index) {
    return SysCall<MemHandle>(sysDmGetResourceIndex, db, index);
}
inline MemHandle DmNewResource(DmOpenRef db, uint32_t type, uint16_t id, uint32_t size) {
    return SysCall<MemHandle>(sysDmNewResource, db, type, id, size);
}
inline MemHandle DmResizeResource(MemHandle h, uint32_t size) { return SysCall<MemHandle>(sysDmResizeResource, h, size); }
inline Status DmRemoveResource(DmOpenRef db, uint16_t index) { return SysCall<Status>(sysDmRemoveResource, db, index); }
inline Status DmReleaseResource(MemHandle h) { return SysCall<Status>(sysDmReleaseResource, h); }
inline uint16_t DmNumResources(DmOpenRef db) { return SysCall<uint16_t>(sysDmNumResources, db); }
inline Status DmResourceInfo(DmOpenRef db, uint16_t index, uint32_t* typeP, uint16_t* idP, LocalID* chunkP) {
    return SysCall<Status>(sysDmResourceInfo, db, index, typeP, idP, chunkP);
}
inline Status DmWrite(void* recordP, uint32_t offset, const void* srcP, uint32_t bytes) {
    return SysCall<Status>(sysDmWrite, recordP, offset, srcP, bytes);
}

// Kez: kernel objects, the event wake-up pipe and the platform's network connection.
inline Status KALMutexCreate(uint32_t* idP, uint32_t attr) { return KezCall<Status>(kezMutexCreate, idP, attr); }
inline Status KALMutexReserve(uint32_t id, int32_t timeout) { return KezCall<Status>(kezMutexReserve, id, timeout); }
inline Status KALMutexRelease(uint32_t id) { return KezCall<Status>(kezMutexRelease, id); }
inline Status KALMailboxSend(uint32_t id, uint32_t message) { return KezCall<Status>(kezMailboxSend, id, message); }
inline Status KALTaskGetCurrentID(uint32_t* idP) { return KezCall<Status>(kezTaskGetCurrentID, idP); }
inline Status KALTaskStart(uint32_t id, uint32_t arg) { return KezCall<Status>(kezTaskStart, id, arg); }
inline void HALEventSetWakeupPipe(int32_t* fds) { KezCall<void>(kezEventSetWakeupPipe, fds); }
inline Status PALNetConnect() { return KezCall<Status>(kezNetConnect); }
inline void PALNetDisconnect() { KezCall<void>(kezNetDisconnect); }

}  // namespace sockra::os
