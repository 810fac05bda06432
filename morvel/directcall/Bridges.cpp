// Native form event handlers, notification procedures and timers: the OS calls a routine of this
// module, which opens a direct call of its own (a fresh native stack) and runs the native code.
#include <mutex>

#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/SystemSlots.h"
#include "common/module/UiSlots.h"
#include "morvel/directcall/DirectCall.h"
#include "morvel/glue/MorvelOs.h"

namespace morvel::directcall {
namespace {

constexpr const char* kSource = "LumetDirectCall";

inline uint32_t Addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

struct FormHandler {
    FormHandler* next;
    uint32_t handler;
    uint16_t formId;
};
struct NotifyEntry {
    NotifyEntry* next;
    uint32_t proc;
    uint32_t userData;
    uint32_t notifyType;
    uint32_t dbID;
    int8_t priority;
};
struct TimerBlock {
    uint32_t callback;
    uint32_t argument;
};

// The lists change on registering tasks and on the form-deletion export: one lock guards both.
std::mutex gListsLock;
FormHandler* gForms = nullptr;
NotifyEntry* gNotifies = nullptr;

template <typename Sig, typename... A>
auto Ui(uint16_t slot, A... args) {
    return UiImport().Call<Sig>(slot, args...);
}
template <typename Sig, typename... A>
auto Kez(uint16_t slot, A... args) {
    return KezImport().Call<Sig>(slot, args...);
}

}  // namespace

// ---- form event handlers ----

void FrmSetEventHandlerDirectImpl(void* form, uint32_t handler) {
    const uint16_t formId = Ui<uint16_t(void*)>(vantor::uislot::FrmGetFormId, form);
    if (handler) {
        {
            std::lock_guard<std::mutex> hold(gListsLock);
            FormHandler* e = gForms;
            while (e && e->formId != formId) e = e->next;
            if (!e) {
                e = static_cast<FormHandler*>(vantor::sys::MemPtrNew(sizeof(FormHandler)));
                if (!e) {
                    LumetFatal(kSource, 177, "FrmSetEventHandlerDirectImpl(): Not enough memory");
                    return;
                }
                *e = {gForms, 0, formId};
                gForms = e;
            }
            e->handler = handler;
        }
        Ui<void(void*, uint8_t (*)(vantor::SysEventType*))>(vantor::uislot::FrmSetEventHandler, form,
                                                            &PrvLumetFormEventHandler);
        return;
    }
    LumetRemoveFormHandler(formId);
    Ui<void(void*, void*)>(vantor::uislot::FrmSetEventHandler, form, nullptr);
}

void LumetRemoveFormHandler(uint16_t formId) {
    std::lock_guard<std::mutex> hold(gListsLock);
    for (FormHandler** p = &gForms; *p; p = &(*p)->next)
        if ((*p)->formId == formId) {
            FormHandler* e = *p;
            *p = e->next;
            vantor::sys::MemChunkFree(e);
            return;
        }
}

uint8_t PrvLumetFormEventHandler(vantor::SysEventType* event) {
    void* form = Ui<void*()>(vantor::uislot::FrmGetActiveForm);
    if (!form) return 0;
    const uint16_t formId = Ui<uint16_t(void*)>(vantor::uislot::FrmGetFormId, form);
    uint32_t handler = 0;
    {
        std::lock_guard<std::mutex> hold(gListsLock);
        for (FormHandler* e = gForms; e; e = e->next)
            if (e->formId == formId) handler = e->handler;
    }
    if (!handler) {
        LumetFatal(kSource, 138, "PrvLumetFormEventHandler(): Unknown form");
        return 0;
    }
    return static_cast<uint8_t>(LumetRunNative1(handler, Addr(event)));
}

// ---- notification procedures ----

uint32_t SysNotifyRegisterDirectImpl(uint32_t dbID, uint32_t notifyType, uint32_t proc, uint32_t priority,
                                     uint32_t userData) {
    auto* e = static_cast<NotifyEntry*>(vantor::sys::MemPtrNew(sizeof(NotifyEntry)));
    if (!e) {
        LumetFatal(kSource, 296, "SysNotifyRegisterDirectImpl(): Not enough memory");
        return 0x0102;
    }
    const int8_t level = static_cast<int8_t>(priority);
    const uint16_t err = vantor::sys::SysNotifyRegisterDirect(dbID, notifyType, &PrvLumetNotifyProc, level, e);
    if (err) {
        vantor::sys::MemChunkFree(e);
        return err;
    }
    std::lock_guard<std::mutex> hold(gListsLock);
    *e = {gNotifies, proc, userData, notifyType, dbID, level};
    gNotifies = e;
    return 0;
}

uint32_t SysNotifyUnregisterDirectImpl(uint32_t dbID, uint32_t notifyType, uint32_t priority) {
    const int8_t level = static_cast<int8_t>(priority);
    const uint16_t err = vantor::glue::SysCall<uint16_t(uint32_t, uint32_t, int8_t)>(
        vantor::sysslot::SysNotifyUnregisterDirect, dbID, notifyType, level);
    if (err) return err;
    NotifyEntry* found = nullptr;
    {
        std::lock_guard<std::mutex> hold(gListsLock);
        for (NotifyEntry** p = &gNotifies; *p; p = &(*p)->next)
            if ((*p)->notifyType == notifyType && (*p)->dbID == dbID && (*p)->priority == level) {
                found = *p;
                *p = found->next;
                break;
            }
    }
    if (!found) {
        LumetFatal(kSource, 330, "SysNotifyUnregisterDirectImpl(): Not registered");
        return 0x0510;
    }
    vantor::sys::MemChunkFree(found);
    return 0;
}

uint16_t PrvLumetNotifyProc(vantor::SysNotifyParamType* params) {
    auto* e = params ? static_cast<NotifyEntry*>(params->userDataP) : nullptr;
    if (!e) {
        LumetFatal(kSource, 261, "PrvLumetNotifyProc(): Unknown user data");
        return 0;
    }
    params->userDataP = reinterpret_cast<void*>(static_cast<uintptr_t>(e->userData));
    const uint32_t result = LumetRunNative1(e->proc, Addr(params));
    params->userDataP = e;
    return static_cast<uint16_t>(result);
}

// ---- timers ----

uint32_t LumetTimerCreate(uint32_t* timerId, uint32_t tag, uint32_t callback, uint32_t argument) {
    auto* block = static_cast<TimerBlock*>(vantor::sys::MemPtrNew(sizeof(TimerBlock)));
    if (!block) return 0xF003;
    *block = {callback, argument};
    const uint16_t err = Kez<vantor::kezsig::KALTimerCreate>(vantor::kezslot::KALTimerCreate, timerId, tag,
                                                             &LumetTimerBridge, Addr(block));
    // A timer that was not made does not keep its block.
    if (err) vantor::sys::MemChunkFree(block);
    return err;
}

uint32_t LumetTimerDelete(uint32_t timerId) {
    uint32_t block = 0;
    if (Kez<vantor::kezsig::KALTimerGetUserData>(vantor::kezslot::KALTimerGetUserData, timerId, &block) == 0 && block)
        vantor::sys::MemChunkFree(reinterpret_cast<void*>(static_cast<uintptr_t>(block)));
    return Kez<vantor::kezsig::KALTimerDelete>(vantor::kezslot::KALTimerDelete, timerId) & 0xFFFF;
}

void LumetTimerBridge(uint32_t block) {
    const auto* b = reinterpret_cast<const TimerBlock*>(static_cast<uintptr_t>(block));
    if (b) LumetRunNative1(b->callback, b->argument);
}

}  // namespace morvel::directcall
