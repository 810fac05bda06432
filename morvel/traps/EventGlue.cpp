#include "morvel/traps/EventGlue.h"
#include "morvel/traps/FieldGlue.h"

#include <cstring>

#include "common/module/UiSlots.h"
#include "morvel/glue/ContextGate.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/FormGlue.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/TrapGlue.h"
#include "morvel/traps/WindowGlue.h"

namespace morvel {
namespace {

namespace sys = vantor::sys;
using vantor::SysEventType;

constexpr const char* kFile = "Event68K";
constexpr uint16_t kAlertReserveReleased = 10013;

// Object kinds of the form objects that events name.
constexpr uint16_t kUiObjectPtr = 154;
constexpr uint16_t kObjControl = 1, kObjList = 2, kObjTable = 3, kObjGadget = 12, kObjScrollBar = 13;

// ---- native fields: N8, N16 and N32 at byte k of the native record ----
uint8_t N8(const SysEventType* e, uint32_t k) { return reinterpret_cast<const uint8_t*>(e)[k]; }
uint16_t N16(const SysEventType* e, uint32_t k) {
    uint16_t v;
    std::memcpy(&v, reinterpret_cast<const uint8_t*>(e) + k, 2);
    return v;
}
uint32_t N32(const SysEventType* e, uint32_t k) {
    uint32_t v;
    std::memcpy(&v, reinterpret_cast<const uint8_t*>(e) + k, 4);
    return v;
}
void SetN8(SysEventType* e, uint32_t k, uint8_t v) { reinterpret_cast<uint8_t*>(e)[k] = v; }
void SetN16(SysEventType* e, uint32_t k, uint16_t v) { std::memcpy(reinterpret_cast<uint8_t*>(e) + k, &v, 2); }
void SetN32(SysEventType* e, uint32_t k, uint32_t v) { std::memcpy(reinterpret_cast<uint8_t*>(e) + k, &v, 4); }

// Form objects, fields and windows are shown to 68K code as their shadows. Objects are those of the
// active form with that id and kind (the form's shadow is made when the event is the first to name
// it); fields by their native pointer (the field glue's images); windows through the window glue.
FormShadow* ActiveFormShadow(EmulState* s) {
    void* form = UiImport().Call<void*()>(vantor::uislot::FrmGetActiveForm);
    if (!form) return nullptr;
    if (FormShadow* shadow = FormShadowFindNativeInChain(s, form, nullptr)) return shadow;
    return FormShadowBuild(s, form, UiImport().Call<uint16_t(void*)>(vantor::uislot::FrmGetFormId, form));
}
// The index of the object with that id and kind in a native form; 0xFFFF when there is none.
uint16_t ObjectIndex(void* form, uint16_t id, uint16_t kind) {
    const uint16_t index =
        UiImport().Call<uint16_t(void*, uint16_t)>(vantor::uislot::FrmGetObjectIndex, form, id);
    if (index == 0xFFFF) return index;
    return UiImport().Call<uint16_t(void*, uint16_t)>(vantor::uislot::FrmGetObjectType, form, index) == kind
               ? index
               : 0xFFFF;
}
uint32_t ObjectShadow(EmulState* s, uint16_t id, uint16_t kind) {
    FormShadow* form = ActiveFormShadow(s);
    if (!form) return 0;
    const morvel::ObjectShadow* o = ShadowTableAlloc(s, form, ObjectIndex(form->native, id, kind));
    return o ? trapglue::Addr(o->image) : 0;
}
uint32_t ObjectNative(EmulState*, uint16_t id, uint16_t kind) {
    void* form = UiImport().Call<void*()>(vantor::uislot::FrmGetActiveForm);
    if (!form) return 0;
    const uint16_t index = ObjectIndex(form, id, kind);
    if (index == 0xFFFF) return 0;
    return trapglue::Addr(UiImport().Call<void*(void*, uint16_t)>(kUiObjectPtr, form, index));
}
uint32_t WindowHandleOf(EmulState* s, uint32_t native) {
    return WindowTo68K(s, trapglue::Ptr<void>(native));
}
uint32_t WindowNative(EmulState* s, uint32_t shadow) {
    return trapglue::Addr(WindowFromHandle(s, shadow));
}
uint32_t FieldShadow(EmulState* s, uint32_t native) { return FieldImageOf(s, trapglue::Ptr<void>(native)); }
uint32_t FieldNative(EmulState* s, uint32_t shadow) {
    for (EmulState* c = s; c; c = c->parent)
        for (auto* f = *reinterpret_cast<FormShadow**>(&c->formShadows[0]); f; f = f->next) {
            auto** objects = static_cast<morvel::ObjectShadow**>(f->objects);
            for (uint32_t i = 0; objects && i < f->objectCount; ++i)
                if (objects[i] && objects[i]->kind == 0 && trapglue::Addr(objects[i]->image) == shadow)
                    return trapglue::Addr(objects[i]->native);
        }
    return 0;
}

// Writes the object's shadow at `offset`. An object that cannot be found turns the event of an
// application context into a nil event (false: nothing more to translate).
bool EventObjectTo68K(uint32_t p, uint32_t offset, EmulState* s, uint16_t id, uint16_t kind) {
    uint32_t shadow = ObjectShadow(s, id, kind);
    if (!shadow && s != GetGlobalContext()) {
        for (uint32_t i = 0; i < kEventRecord68KSize; i += 4) Write68KUInt32(p, i, 0);
        return false;
    }
    Write68KUInt32(p, offset, shadow);
    return true;
}

bool CopiedWordByWord(uint16_t type) {
    return type == 0x1000 || type == 0x1001 || (type >= 0x1100 && type <= 0x1102) || type >= 0x4000;
}

}  // namespace

void EventTo68K(EmulState* s, const SysEventType* e, uint32_t p) {
    uint16_t type = e->eType;
    Write68KUInt16(p, 0, type);
    Write68KInt8(p, 2, e->penDown);
    Write68KInt8(p, 3, e->tapCount);
    Write68KUInt16(p, 4, static_cast<uint16_t>(e->screenX));
    Write68KUInt16(p, 6, static_cast<uint16_t>(e->screenY));
    Write68KUInt16(p, 8, N16(e, 8));
    auto w16 = [&](uint32_t at, uint32_t k) { Write68KUInt16(p, at, N16(e, k)); };
    auto w32 = [&](uint32_t at, uint32_t k) { Write68KUInt32(p, at, N32(e, k)); };
    auto object = [&](uint32_t at, uint16_t kind) { return EventObjectTo68K(p, at, s, N16(e, 8), kind); };
    switch (type) {
        case 0: case 1: case 3: break;
        case 2: w16(10, 10); w16(12, 12); w16(14, 14); break;
        case 4: w16(10, 10); w16(12, 12); break;
        case 5:
        case 6:
            Write68KUInt32(p, 8, WindowHandleOf(s, N32(e, 8)));
            Write68KUInt32(p, 12, WindowHandleOf(s, N32(e, 12)));
            break;
        case 7: case 8: object(10, kObjControl); break;
        case 9:
            if (object(10, kObjControl)) {
                Write68KInt8(p, 14, N8(e, 16));
                w16(16, 18);
            }
            break;
        case 10:
            if (object(10, kObjControl)) {
                w32(14, 16);
                w16(18, 20);
            }
            break;
        case 11:
        case 12:
            if (object(10, kObjList)) w16(14, 16);
            break;
        case 13: object(10, kObjList); break;
        case 14:
            if (object(10, kObjControl)) {
                w16(14, 10);
                if (EventObjectTo68K(p, 16, s, N16(e, 10), kObjList)) {
                    w16(20, 20);
                    w16(22, 22);
                }
            }
            break;
        case 15: case 17: Write68KUInt32(p, 10, FieldShadow(s, N32(e, 12))); break;
        case 16:
            Write68KUInt32(p, 10, FieldShadow(s, N32(e, 12)));
            w16(14, 16);
            w16(16, 18);
            break;
        case 18: case 19: case 31:
            if (object(10, kObjTable)) {
                w16(14, 16);
                w16(16, 18);
            }
            break;
        case 20:
            w32(8, 8);
            w16(12, 12);
            Write68KInt8(p, 14, N8(e, 14));
            Write68KInt8(p, 15, N8(e, 15));
            break;
        case 21: case 22: case 23: case 24: case 27: case 28: case 29: case 30:
        case 36: case 37: case 38: case 39: break;
        case 25: w16(10, 10); w16(12, 12); w16(14, 14); w16(16, 16); w32(18, 20); break;
        case 26: w16(10, 10); break;
        case 32: object(10, kObjScrollBar); break;
        case 33:
        case 34:
            if (object(10, kObjScrollBar)) {
                w16(14, 16);
                w16(16, 18);
                if (type == 34) w32(18, 20);
            }
            break;
        case 35: w32(8, 8); w16(12, 12); break;
        case 0x0800: Write68KInt8(p, 8, N8(e, 8)); break;
        case 0x0801: w16(10, 10); break;
        case 0x0802: break;
        case 0x0803: object(10, kObjGadget); break;
        case 0x0804:
            if (object(10, kObjGadget)) {
                w16(14, 16);
                w32(16, 20);
            }
            break;
        case 0x1200:
            w16(10, 10);
            for (uint32_t i = 0; i < 4; ++i) Write68KInt8(p, 12 + i, N8(e, 12 + i));  // as they stand
            w16(16, 16);
            break;
        default:
            if (CopiedWordByWord(type)) {
                for (uint32_t k = 10; k < kEventRecord68KSize; k += 2) w16(k, k);
                break;
            }
            ErrDisplayFileLineMsg(kFile, 397, "EventTo68K data not processed, event:", type);
            break;
    }
}

void EventToARM(EmulState* s, SysEventType* e, uint32_t p) {
    std::memset(e, 0, sizeof *e);
    uint16_t type = Read68KUInt16(p, 0);
    e->eType = type;
    e->penDown = Read68KInt8(p, 2);
    e->tapCount = Read68KInt8(p, 3);
    e->screenX = static_cast<int16_t>(Read68KUInt16(p, 4));
    e->screenY = static_cast<int16_t>(Read68KUInt16(p, 6));
    SetN16(e, 8, Read68KUInt16(p, 8));
    auto r16 = [&](uint32_t k, uint32_t at) { SetN16(e, k, Read68KUInt16(p, at)); };
    auto r32 = [&](uint32_t k, uint32_t at) { SetN32(e, k, Read68KUInt32(p, at)); };
    auto object = [&](uint32_t k, uint16_t id, uint16_t kind) { SetN32(e, k, ObjectNative(s, id, kind)); };
    uint16_t id = N16(e, 8);
    switch (type) {
        case 0: case 1: case 3: break;
        case 2: r16(10, 10); r16(12, 12); r16(14, 14); break;
        case 4: r16(10, 10); r16(12, 12); break;
        case 5:
        case 6:
            SetN32(e, 8, WindowNative(s, Read68KUInt32(p, 8)));
            SetN32(e, 12, WindowNative(s, Read68KUInt32(p, 12)));
            break;
        case 7: case 8: object(12, id, kObjControl); break;
        case 9:
            object(12, id, kObjControl);
            SetN8(e, 16, Read68KInt8(p, 14));
            r16(18, 16);
            break;
        case 10:
            object(12, id, kObjControl);
            r32(16, 14);
            r16(20, 18);
            break;
        case 11:
        case 12:
            object(12, id, kObjList);
            r16(16, 14);
            break;
        case 13: object(12, id, kObjList); break;
        case 14:
            object(12, id, kObjControl);
            r16(10, 14);
            object(16, N16(e, 10), kObjList);
            r16(20, 20);
            r16(22, 22);
            break;
        case 15: case 17: SetN32(e, 12, FieldNative(s, Read68KUInt32(p, 10))); break;
        case 16:
            SetN32(e, 12, FieldNative(s, Read68KUInt32(p, 10)));
            r16(16, 14);
            r16(18, 16);
            break;
        case 18: case 19: case 31:
            object(12, id, kObjTable);
            r16(16, 14);
            r16(18, 16);
            break;
        case 20:
            r32(8, 8);
            r16(12, 12);
            SetN8(e, 14, Read68KInt8(p, 14));
            SetN8(e, 15, Read68KInt8(p, 15));
            break;
        case 21: case 22: case 23: case 24: case 27: case 28: case 29: case 30:
        case 36: case 37: case 38: case 39: break;
        case 25: r16(10, 10); r16(12, 12); r16(14, 14); r16(16, 16); r32(20, 18); break;
        case 26: r16(10, 10); break;
        case 32: object(12, id, kObjScrollBar); break;
        case 33:
        case 34:
            object(12, id, kObjScrollBar);
            r16(16, 14);
            r16(18, 16);
            if (type == 34) r32(20, 18);
            break;
        case 35: r32(8, 8); r16(12, 12); break;
        case 0x0800: SetN8(e, 8, Read68KInt8(p, 8)); break;
        case 0x0801: r16(10, 10); break;
        case 0x0802: break;
        case 0x0803: object(12, id, kObjGadget); break;
        case 0x0804:
            object(12, id, kObjGadget);
            r16(16, 14);
            r32(20, 16);
            break;
        case 0x1200:
            r16(10, 10);
            for (uint32_t i = 0; i < 4; ++i) SetN8(e, 12 + i, Read68KInt8(p, 12 + i));
            r16(16, 16);
            break;
        default:
            if (CopiedWordByWord(type)) {
                for (uint32_t k = 10; k < kEventRecord68KSize; k += 2) r16(k, k);
                break;
            }
            ErrDisplayFileLineMsg(kFile, 520, "EventToARM data not processed, event:", type);
            break;
    }
}

namespace {

// The OS event calls that the traps forward, with their native signatures.
template <typename Sig, typename... A>
auto Os(uint16_t slot, A... args) {
    return vantor::glue::SysCall<Sig>(slot, args...);
}

void TrapEvtGetEvent(EmulState* s, uint16_t) {
    uint32_t event68K = GetArgPtr(s, 0);
    int32_t timeout = GetArgTicks(s, 4);
    bool released = s->flags & kFlagReserveReleased;
    SysEventType event{};
    {
        ContextGateOpen open(s);  // callbacks of other tasks may run on this context while it waits
        sys::EvtGetEvent(&event, released ? 1 : timeout);
    }
    if (released && event.eType == 0) {
        UiImport().Call<uint16_t(uint16_t)>(vantor::uislot::UiEntry125, kAlertReserveReleased);
        s->flags &= static_cast<uint8_t>(~kFlagReserveReleased);
    }
    if (event68K) EventTo68K(s, &event, event68K);
}

void TrapEvtAddEventToQueue(EmulState* s, uint16_t) {
    SysEventType event;
    if (uint32_t p = GetArgPtr(s, 0)) {
        EventToARM(s, &event, p);
        sys::EvtAddEventToQueue(&event);
    }
}

void TrapEvtAddUniqueEventToQueue(EmulState* s, uint16_t) {
    SysEventType event;
    if (uint32_t p = GetArgPtr(s, 0)) {
        EventToARM(s, &event, p);
        sys::EvtAddUniqueEventToQueue(&event, GetArgUInt32(s, 4), static_cast<uint8_t>(GetArgInt8(s, 8)));
    }
}

void TrapEvtCopyEvent(EmulState* s, uint16_t) {
    uint32_t from = GetArgPtr(s, 0), to = GetArgPtr(s, 4);
    if (from && to) std::memmove(reinterpret_cast<void*>(to), reinterpret_cast<const void*>(from), kEventRecord68KSize);
}

void TrapEvtGetPen(EmulState* s, uint16_t) {
    int16_t x = 0, y = 0;
    uint8_t down = 0;
    Os<void(int16_t*, int16_t*, uint8_t*)>(vantor::sysslot::EvtGetPen, &x, &y, &down);
    if (uint32_t p = GetArgPtr(s, 0)) Write68KUInt16(p, 0, static_cast<uint16_t>(x));
    if (uint32_t p = GetArgPtr(s, 4)) Write68KUInt16(p, 0, static_cast<uint16_t>(y));
    if (uint32_t p = GetArgPtr(s, 8)) Write68KInt8(p, 0, down);
}

void TrapEvtEnqueuePenPoint(EmulState* s, uint16_t) {
    NativePoint point{};
    if (uint32_t p = GetArgPtr(s, 0)) Read68KPoint(&point, p);
    SetResultD0UInt16(s, Os<uint16_t(NativePoint*)>(vantor::sysslot::EvtEnqueuePenPoint, &point));
}

void TrapEvtDequeuePenStrokeInfo(EmulState* s, uint16_t) {
    NativePoint start{}, end{};
    uint16_t err = Os<uint16_t(NativePoint*, NativePoint*)>(vantor::sysslot::EvtDequeuePenStrokeInfo, &start, &end);
    if (uint32_t p = GetArgPtr(s, 0)) Write68KPoint(&start, p);
    if (uint32_t p = GetArgPtr(s, 4)) Write68KPoint(&end, p);
    SetResultD0UInt16(s, err);
}

void TrapEvtDequeuePenPoint(EmulState* s, uint16_t) {
    NativePoint point{};
    uint16_t err = Os<uint16_t(NativePoint*)>(vantor::sysslot::EvtDequeuePenPoint, &point);
    if (uint32_t p = GetArgPtr(s, 0)) Write68KPoint(&point, p);
    SetResultD0UInt16(s, err);
}

void TrapEvtProcessSoftKeyStroke(EmulState* s, uint16_t) {
    NativePoint start{}, end{};
    if (uint32_t p = GetArgPtr(s, 0)) Read68KPoint(&start, p);
    if (uint32_t p = GetArgPtr(s, 4)) Read68KPoint(&end, p);
    SetResultD0UInt16(s, Os<uint16_t(NativePoint*, NativePoint*)>(vantor::sysslot::EvtProcessSoftKeyStroke, &start, &end));
}

void TrapEvtEnqueueKey(EmulState* s, uint16_t) {
    auto a = static_cast<uint16_t>(GetArgUInt16(s, 0)), k = static_cast<uint16_t>(GetArgUInt16(s, 2)),
         m = static_cast<uint16_t>(GetArgUInt16(s, 4));
    SetResultD0UInt16(s, Os<uint16_t(uint16_t, uint16_t, uint16_t)>(vantor::sysslot::EvtEnqueueKey, a, k, m));
}

void TrapEvtSetAutoOffTimer(EmulState* s, uint16_t) {
    auto command = static_cast<uint8_t>(GetArgInt8(s, 0));
    auto time = static_cast<uint16_t>(GetArgUInt16(s, 2));
    SetResultD0UInt16(s, Os<uint16_t(uint8_t, uint16_t)>(vantor::sysslot::EvtSetAutoOffTimer, command, time));
}

void TrapEvtSetNullEventTick(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, Os<uint8_t(int32_t)>(vantor::sysslot::EvtSetNullEventTick, GetArgTicks(s, 0)));
}

void TrapEvtSysEventAvail(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, Os<uint8_t(uint8_t)>(vantor::sysslot::EvtSysEventAvail, static_cast<uint8_t>(GetArgInt8(s, 0))));
}

// Plain forwards without arguments, by the width of their result.
template <uint16_t kSlot>
void Forward16(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Os<uint16_t()>(kSlot));
}
template <uint16_t kSlot>
void Forward32(EmulState* s, uint16_t) {
    SetResultD0UInt32(s, Os<uint32_t()>(kSlot));
}
template <uint16_t kSlot>
void Forward8(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, Os<uint8_t()>(kSlot));
}

}  // namespace

void EventGlueInstall(TrapHandler* t) {
    namespace slot = vantor::sysslot;
    t[0x11D] = TrapEvtGetEvent;
    t[0x120] = TrapEvtGetEvent;
    t[0x11B] = TrapEvtAddEventToQueue;
    t[0x2F6] = TrapEvtAddUniqueEventToQueue;
    t[0x11C] = TrapEvtCopyEvent;
    t[0x11E] = TrapEvtGetPen;
    t[0x126] = TrapEvtEnqueuePenPoint;
    t[0x127] = TrapEvtDequeuePenStrokeInfo;
    t[0x128] = TrapEvtDequeuePenPoint;
    t[0x121] = TrapEvtProcessSoftKeyStroke;
    t[0x12D] = TrapEvtEnqueueKey;
    t[0x3AD] = TrapEvtSetAutoOffTimer;
    t[0x3E5] = TrapEvtSetNullEventTick;
    t[0x2CD] = TrapEvtSysEventAvail;
    t[0x124] = Forward32<slot::EvtPenQueueSize>;
    t[0x125] = Forward16<slot::EvtFlushPenQueue>;
    t[0x129] = Forward16<slot::EvtFlushNextPenStroke>;
    t[0x12B] = Forward32<slot::EvtKeyQueueSize>;
    t[0x12C] = Forward16<slot::EvtFlushKeyQueue>;
    t[0x131] = Forward8<slot::EvtKeyQueueEmpty>;
    t[0x12F] = Forward16<slot::EvtWakeup>;
    t[0x3F2] = Forward16<slot::EvtWakeupWithoutNilEvent>;
    t[0x130] = Forward16<slot::EvtResetAutoOffTimer>;
    t[0x2CC] = Forward8<slot::EvtEventAvail>;
}

}  // namespace morvel
