// Typed calls of the system slots whose effect the modules rely on: the signature of each
// (vantor::syssig::<Name>, which the OS side implements) and a wrapper that a module calls
// (vantor::sys::<Name>(...), through the module's system table). Add a line to VANTOR_SYSTEM_CALLS
// to give another slot of SystemSlots.h a typed call.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "common/module/ModuleGlue.h"
#include "common/module/SystemSlots.h"

namespace vantor {

// The OS event record in native layout (24 bytes): type, pen down, tap count, screen x and y,
// then the data of the event type.
struct SysEventType {
    uint16_t eType;
    uint8_t penDown;
    uint8_t tapCount;
    int16_t screenX;
    int16_t screenY;
    uint8_t data[16];
};
static_assert(sizeof(SysEventType) == 24);

// Search state of the database search (slot 102), kept by the caller between calls.
struct SysDmSearchState {
    uint32_t words[8];
};

using SysTaskEntry = void (*)(uint32_t argument);

// A notification as its direct callbacks receive it (slot 551).
struct SysNotifyParamType {
    uint32_t notifyType;
    uint32_t broadcaster;
    void* notifyDetailsP;
    void* userDataP;
    uint8_t handled;
    uint8_t reserved2;
};
using SysNotifyProc = uint16_t (*)(SysNotifyParamType* notify);

// An entry of the system's status-bar layout list (slot 173): where a button goes, in unscaled
// screen coordinates, and its id.
struct StatusBarLayoutEntry {
    int16_t left;
    int16_t top;
    int16_t width;
    int16_t height;
    uint16_t buttonID;
};
static_assert(sizeof(StatusBarLayoutEntry) == 10);

}  // namespace vantor

// X(name, result, (parameters), (argument names))
#define VANTOR_SYSTEM_CALLS(X)                                                                    \
    X(SysBindImport, uint16_t, (ModuleImportDescriptor * descriptor, uint32_t refNum,             \
                                void** tablePointer),                                            \
      (descriptor, refNum, tablePointer))                                                         \
    X(ErrDisplayFileLineMsg, void, (const char* file, uint16_t line, const char* message),       \
      (file, line, message))                                                                      \
    X(SysDebugMessage, void, (const char* text), (text))                                          \
    X(MemPtrNew, void*, (uint32_t size), (size))                                                  \
    X(MemChunkFree, uint16_t, (void* chunk), (chunk))                                             \
    X(MemChunkNew, void*, (uint16_t heapID, uint32_t size, uint16_t attributes),                 \
      (heapID, size, attributes))                                                                 \
    X(MemSet, uint16_t, (void* destination, int32_t count, uint8_t value),                       \
      (destination, count, value))                                                                \
    X(MemMove, uint16_t, (void* destination, const void* source, int32_t count),                 \
      (destination, source, count))                                                               \
    X(DmWrite, uint16_t, (void* record, uint32_t offset, const void* source, uint32_t count),     \
      (record, offset, source, count))                                                            \
    X(MemHeapCount, uint16_t, (), ())                                                             \
    X(MemHeapID, uint16_t, (uint16_t cardNo, uint16_t heapIndex), (cardNo, heapIndex))            \
    X(MemHeapDynamic, uint8_t, (uint16_t heapID), (heapID))                                       \
    X(MemHeapSize, uint32_t, (uint16_t heapID), (heapID))                                         \
    X(MemHeapFreeBytes, uint16_t, (uint16_t heapID, uint32_t * freeBytes, uint32_t * maxChunk),   \
      (heapID, freeBytes, maxChunk))                                                              \
    X(MemPtrSetOwner, uint16_t, (void* chunk, uint16_t owner), (chunk, owner))                    \
    X(MemPtrSize, uint32_t, (void* chunk), (chunk))                                               \
    X(MemPtrResize, uint16_t, (void* chunk, uint32_t size), (chunk, size))                        \
    X(MemPtrUnlock, uint16_t, (void* chunk), (chunk))                                             \
    X(MemPtrRecoverHandle, void*, (void* chunk), (chunk))                                         \
    X(MemHandleNew, void*, (uint32_t size), (size))                                               \
    X(MemHandleFree, uint16_t, (void* handle), (handle))                                          \
    X(MemHandleLock, void*, (void* handle), (handle))                                             \
    X(MemHandleUnlock, uint16_t, (void* handle), (handle))                                        \
    X(MemHandleResize, uint16_t, (void* handle, uint32_t size), (handle, size))                   \
    X(MemHandleSize, uint32_t, (void* handle), (handle))                                          \
    X(MemHandleLockCount, uint16_t, (void* handle), (handle))                                     \
    X(MemHandleSetOwner, uint16_t, (void* handle, uint16_t owner), (handle, owner))               \
    X(StrLen, uint16_t, (const char* text), (text))                                               \
    X(StrCopy, char*, (char* destination, const char* source), (destination, source))             \
    X(StrNCopy, char*, (char* destination, const char* source, int16_t count),                   \
      (destination, source, count))                                                               \
    X(StrCompare, int16_t, (const char* a, const char* b), (a, b))                                \
    X(StrChr, const char*, (const char* text, uint16_t c), (text, c))                              \
    X(StrPrintF, int16_t, (char* destination, const char* format, const uint32_t* args),         \
      (destination, format, args))                                                                \
    X(FtrGet, uint16_t, (uint32_t creator, uint16_t number, uint32_t * value),                    \
      (creator, number, value))                                                                   \
    X(FtrSet, uint16_t, (uint32_t creator, uint16_t number, uint32_t value),                      \
      (creator, number, value))                                                                   \
    X(TimGetTicks, uint32_t, (), ())                                                              \
    X(SysTicksPerSecond, uint16_t, (), ())                                                        \
    X(SysTaskCreate, uint16_t, (uint32_t name, SysTaskEntry entry, uint32_t stackSize,            \
                                uint32_t priority, uint32_t * taskID),                           \
      (name, entry, stackSize, priority, taskID))                                                 \
    X(SysTaskSleep, uint16_t, (int32_t ticks), (ticks))                                           \
    X(SysTaskDelete, uint16_t, (uint32_t taskID), (taskID))                                       \
    X(SysGetTaskRecord, void*, (), ())                                                            \
    X(EvtAddEventToQueue, void, (const SysEventType* event), (event))                             \
    X(EvtGetEvent, void, (SysEventType * event, int32_t timeoutTicks), (event, timeoutTicks))     \
    X(EvtResetAutoOffTimer, uint16_t, (), ())                                                     \
    X(DmFindNewestDatabase, uint16_t, (uint8_t newSearch, uint32_t type, uint32_t creator,        \
                                       uint8_t latestOnly, SysDmSearchState * state,             \
                                       uint32_t * dbRef),                                        \
      (newSearch, type, creator, latestOnly, state, dbRef))                                       \
    X(DmOpenDatabaseByTypeCreator, uint32_t, (uint32_t type, uint32_t creator, uint16_t mode),    \
      (type, creator, mode))                                                                      \
    X(SysNotifyBroadcast, uint16_t, (SysNotifyParamType * notify), (notify))                      \
    X(StatusBarGetLayoutList, const StatusBarLayoutEntry*, (uint16_t * count), (count))           \
    X(DmCloseDatabase, uint16_t, (uint32_t dbRef), (dbRef))                                      \
    X(SrmClearErr, uint16_t, (uint16_t portID), (portID))                                        \
    X(SrmControl, uint16_t, (uint16_t portID, uint16_t op, void* valueP, uint16_t* valueLenP),    \
      (portID, op, valueP, valueLenP))                                                            \
    X(SrmReceive, uint32_t, (uint16_t portID, void* bufP, uint32_t count, int32_t timeout,        \
                             uint16_t* errP),                                                     \
      (portID, bufP, count, timeout, errP))                                                       \
    X(SrmSend, uint32_t, (uint16_t portID, const void* bufP, uint32_t count, uint16_t* errP),     \
      (portID, bufP, count, errP))                                                                \
    X(DmFindDatabaseByName, uint32_t, (uint16_t cardNo, const char* name), (cardNo, name))        \
    X(SysAppLaunchPlugin, uint16_t, (uint32_t dbID, uint16_t code, void* params, uint32_t* result), \
      (dbID, code, params, result))                                                               \
    X(SysGetGlobals, void*, (), ())                                                               \
    /* a code database's code (a module named by the database): opened, then its entry */         \
    X(SysCodeOpen, uint16_t, (uint32_t dbRef, uint32_t* codeRef), (dbRef, codeRef))               \
    X(SysCodeLoad, uint16_t, (uint32_t codeRef, uint32_t* entry), (codeRef, entry))               \
    X(SysEnterDebugger, void, (), ())                                                             \
    X(SysReset, void, (), ())                                                                     \
    X(ErrAlertCustom, uint16_t, (uint16_t errorCode, const char* message, const char* preText,    \
                                 const char* postText),                                           \
      (errorCode, message, preText, postText))                                                    \
    X(SysStringByIndex, char*, (uint16_t listID, uint16_t index, char* text, uint16_t maxSize),   \
      (listID, index, text, maxSize))                                                             \
    X(DmDatabaseInfoByID, uint16_t, (uint32_t dbID, char* name, uint16_t* attributes,            \
                                     uint16_t* version, uint32_t* creationDate, uint32_t* type,  \
                                     uint32_t* creator),                                          \
      (dbID, name, attributes, version, creationDate, type, creator))                             \
    X(DmOpenDatabaseIdentity, uint16_t, (uint32_t dbRef, uint32_t* dbID, uint16_t* openCount,     \
                                         uint16_t* mode),                                         \
      (dbRef, dbID, openCount, mode))                                                             \
    X(DmCreateDatabaseNamed, uint16_t, (uint16_t cardNo, const char* name, uint32_t creator,      \
                                        uint32_t type, uint8_t resDB),                            \
      (cardNo, name, creator, type, resDB))                                                       \
    X(DmGetLastErr, uint16_t, (), ())                                                             \
    X(DmNumResources, uint16_t, (uint32_t dbRef), (dbRef))                                        \
    X(DmFindResource, uint16_t, (uint32_t dbRef, uint32_t type, uint16_t id, void* handle),       \
      (dbRef, type, id, handle))                                                                  \
    X(DmGetResourceIndex, void*, (uint32_t dbRef, uint16_t index), (dbRef, index))                \
    X(DmNewResource, void*, (uint32_t dbRef, uint32_t type, uint16_t id, uint32_t size),          \
      (dbRef, type, id, size))                                                                    \
    X(DmResizeResource, void*, (void* handle, uint32_t size), (handle, size))                     \
    X(DmReleaseResource, uint16_t, (void* handle), (handle))                                      \
    X(DmRemoveResourceByIndex, uint16_t, (uint32_t dbRef, uint16_t index), (dbRef, index))       \
    X(DmResourceInfo, uint16_t, (uint32_t dbRef, uint16_t index, uint32_t* type, uint16_t* id,    \
                                 uint32_t* chunk),                                                \
      (dbRef, index, type, id, chunk))                                                            \
    X(DmMarkDatabase, uint16_t, (uint32_t dbID, uint8_t flag), (dbID, flag))                      \
    X(DmFindDatabaseByNameCreatorType, uint32_t, (const char* name, uint32_t creator,             \
                                                  uint32_t type),                                 \
      (name, creator, type))                                                                      \
    X(DmOpenDatabaseByID, uint32_t, (uint32_t dbID, uint16_t mode), (dbID, mode))                 \
    X(DmDeleteDatabaseByID, uint16_t, (uint32_t dbID), (dbID))                                    \
    X(DmSetDatabaseAttributes, uint16_t, (uint32_t dbID, uint16_t attributes), (dbID, attributes)) \
    X(DmGet1Resource, void*, (uint32_t type, uint16_t id), (type, id))                            \
    X(DmGetResource, void*, (uint32_t type, uint16_t id), (type, id))                             \
    X(SysCurAppDatabase, uint16_t, (uint16_t* cardNo, uint32_t* dbID), (cardNo, dbID))            \
    X(SysIsEmulationAllowed, uint8_t, (), ())                                                     \
    X(SysNotifyRegisterDirect, uint16_t, (uint32_t dbID, uint32_t notifyType,                     \
                                          SysNotifyProc callback, int8_t priority,                \
                                          void* userData),                                        \
      (dbID, notifyType, callback, priority, userData))                                           \
    X(StrNCat, char*, (char* destination, const char* source, int16_t size),                      \
      (destination, source, size))                                                                \
    X(StrCat, char*, (char* destination, const char* source), (destination, source))              \
    X(FtrUnregister, uint16_t, (uint32_t creator, uint16_t number), (creator, number))            \
    X(SysAppLaunch, uint16_t, (uint16_t cardNo, uint32_t dbID, uint16_t flags, uint16_t code,     \
                               void* params, uint32_t* result),                                   \
      (cardNo, dbID, flags, code, params, result))                                                \
    X(SysUIAppSwitchWithBlock, uint16_t, (uint16_t cardNo, uint32_t dbID, uint16_t code,          \
                                          void* params),                                          \
      (cardNo, dbID, code, params))                                                               \
    X(SysBroadcastActionCode, uint16_t, (uint16_t code, void* params), (code, params))            \
    X(EvtAddUniqueEventToQueue, void, (const SysEventType* event, uint32_t id, uint8_t inPlace),  \
      (event, id, inPlace))

#define VANTOR_SYSCALL_ARGS(...) __VA_OPT__(, ) __VA_ARGS__

namespace vantor::syssig {
#define VANTOR_SYSCALL_SIGNATURE(name, result, params, args) using name = result params;
VANTOR_SYSTEM_CALLS(VANTOR_SYSCALL_SIGNATURE)
#undef VANTOR_SYSCALL_SIGNATURE
// The trace entries take a printf format and its arguments.
using SysTrace = void(uint16_t category, const char* format, ...);
using SysTracePart = void(uint16_t category, const char* format, ...);
}  // namespace vantor::syssig

namespace vantor::sys {
#define VANTOR_SYSCALL_WRAPPER(name, result, params, args)                                        \
    inline result name params {                                                                   \
        return glue::SysCall<syssig::name>(sysslot::name VANTOR_SYSCALL_ARGS args);               \
    }
VANTOR_SYSTEM_CALLS(VANTOR_SYSCALL_WRAPPER)
#undef VANTOR_SYSCALL_WRAPPER

// Writes one trace line in the given category.
template <typename... Args>
inline void SysTrace(uint16_t category, const char* format, Args... args) {
    glue::SysCall<syssig::SysTrace>(sysslot::SysTrace, category, format, args...);
}
// Writes a trace that the next trace continues on the same line.
template <typename... Args>
inline void SysTracePart(uint16_t category, const char* format, Args... args) {
    glue::SysCall<syssig::SysTracePart>(sysslot::SysTracePart, category, format, args...);
}
}  // namespace vantor::sys
