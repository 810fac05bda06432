// Records and status codes exchanged with Kez through its export slots (see KezSlots.h), shared
// by Kez and the modules and OS code that call it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

// Status codes of Kez's kernel layer.
constexpr uint16_t kalErrOther = 0xF000;
constexpr uint16_t kalErrBadParam = 0xF002;
constexpr uint16_t kalErrNoFreeObject = 0xF003;
constexpr uint16_t kalErrNoMemory = 0xF004;
constexpr uint16_t kalErrBadAddress = 0xF005;
constexpr uint16_t kalErrBadEventGroup = 0xF007;
constexpr uint16_t kalErrDeleted = 0xF008;
constexpr uint16_t kalErrNotATask = 0xF009;
constexpr uint16_t kalErrMailboxFull = 0xF00A;
constexpr uint16_t kalErrBadID = 0xF00C;
constexpr uint16_t kalErrTimeout = 0x0501;
constexpr uint16_t kalErrGeneric = 0xFFFF;

// KALTaskCreate's creation record.
struct KALTaskCreationRecord {
    uint32_t userWord;                 // kept by the task; 0 for the layer's default
    void (*entry)(uint32_t argument);  // called with the start argument
    uint32_t stackSize;
    uint32_t priority;                 // 0..127
    uint32_t name;                     // four-character code
};
static_assert(sizeof(KALTaskCreationRecord) == 20);

// KALTaskGetInfo's record: nine words of the task slot.
struct KALTaskInfo {
    uint32_t userWord;
    uint32_t entry;
    uint32_t stackAddress;
    uint32_t stackSize;
    uint32_t priority;
    uint32_t name;
    uint32_t reserved[3];
};
static_assert(sizeof(KALTaskInfo) == 36);

// KALEventGroupWait's request.
struct KALEventGroupRequest {
    uint32_t mask;
    uint32_t mode;  // 1: all bits of the mask; otherwise any
    uint32_t timeout;
};

// The module loader's load descriptor: word 3 points to the module's file name; the other words
// are the caller's, kept and handed back at unload.
struct RALLoadDescriptor {
    uint32_t words[5];
};
static_assert(sizeof(RALLoadDescriptor) == 20);

}  // namespace vantor
