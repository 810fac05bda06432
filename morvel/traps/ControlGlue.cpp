#include "morvel/traps/ControlGlue.h"

#include <cstring>

#include "common/module/NativeUi.h"
#include "common/module/UiSlots.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/EventGlue.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;
using vantor::NativeControl;
using vantor::SysEventType;
namespace ui = vantor::uislot;

constexpr uint16_t kCtlDrawControl = 41, kCtlEnabled = 42, kCtlEraseControl = 43, kCtlGetLabel = 44,
                   kCtlGetSliderValues = 45, kCtlGetValue = 46, kCtlHandleEvent = 47, kCtlHideControl = 48,
                   kCtlHitControl = 49, kCtlNewControl = 50, kCtlNewGraphicControl = 51,
                   kCtlNewSliderControl = 52, kCtlSetEnabled = 53, kCtlSetGraphics = 54, kCtlSetLabel = 55,
                   kCtlSetSliderValues = 56, kCtlSetUsable = 57, kCtlSetValue = 58, kCtlShowControl = 59;
constexpr uint16_t kObjectControl = 1, kObjectLabel = 8;
constexpr uint32_t kImgBounds = 2, kImgLabel = 10, kImgAttr = 14, kImgStyle = 16, kImgFont = 17;

template <typename Sig, typename... A>
auto Ui(uint16_t slotNumber, A... args) {
    return UiImport().Call<Sig>(slotNumber, args...);
}

bool IsGraphic(const NativeControl* c) { return (c->attr & vantor::kControlGraphic) != 0; }

// Bit 0x80 of the image's first attribute byte: the control is usable.
void SetImageUsable(ObjectShadow* o, bool usable) {
    const uint8_t a = Read68KInt8(Addr(o->image), kImgAttr);
    Write68KInt8(Addr(o->image), kImgAttr, static_cast<uint8_t>(usable ? a | 0x80 : a & 0x7F));
}

struct ControlArg {
    ObjectShadow* shadow = nullptr;
    NativeControl* native = nullptr;
    ControlArg(EmulState* s, uint32_t offset) {
        native = static_cast<NativeControl*>(ControlFromArg(s, offset, &shadow));
    }
};

template <uint16_t Slot, bool Sync = false>
void ControlOnly(EmulState* s, uint16_t) {
    ControlArg c(s, 0);
    if (!c.native) return;
    if constexpr (Sync) ControlImageSync(c.shadow);
    Ui<void(NativeControl*)>(Slot, c.native);
}
template <uint16_t Slot>
void ControlTo8(EmulState* s, uint16_t) {
    ControlArg c(s, 0);
    SetResultD0UInt8(s, c.native ? Ui<uint8_t(NativeControl*)>(Slot, c.native) : 0);
}
void TrapCtlGetValue(EmulState* s, uint16_t) {
    ControlArg c(s, 0);
    SetResultD0UInt16(s, c.native ? static_cast<uint16_t>(Ui<int16_t(NativeControl*)>(kCtlGetValue, c.native)) : 0);
}
void TrapCtlSetValue(EmulState* s, uint16_t) {
    ControlArg c(s, 0);
    if (c.native) Ui<void(NativeControl*, int16_t)>(kCtlSetValue, c.native, I16(s, 4));
}
void TrapCtlSetEnabled(EmulState* s, uint16_t) {
    ControlArg c(s, 0);
    if (c.native) Ui<void(NativeControl*, uint8_t)>(kCtlSetEnabled, c.native, U8(s, 4));
}
void TrapCtlSetUsable(EmulState* s, uint16_t) {
    ControlArg c(s, 0);
    if (!c.native) return;
    const uint8_t usable = U8(s, 4);
    Ui<void(NativeControl*, uint8_t)>(kCtlSetUsable, c.native, usable);
    SetImageUsable(c.shadow, usable != 0);
}
void TrapCtlHideControl(EmulState* s, uint16_t) {
    ControlArg c(s, 0);
    if (!c.native) return;
    Ui<void(NativeControl*)>(kCtlHideControl, c.native);
    SetImageUsable(c.shadow, false);
}
void TrapCtlShowControl(EmulState* s, uint16_t) {
    ControlArg c(s, 0);
    if (!c.native) return;
    ControlImageSync(c.shadow);
    Ui<void(NativeControl*)>(kCtlShowControl, c.native);
    SetImageUsable(c.shadow, true);
}
void TrapCtlHitControl(EmulState* s, uint16_t) { ControlOnly<kCtlHitControl>(s, 0); }
void TrapCtlHandleEvent(EmulState* s, uint16_t) {
    ControlArg c(s, 0);
    SysEventType event{};
    if (uint32_t p = GetArgPtr(s, 4)) EventToARM(s, &event, p);
    SetResultD0UInt8(s, c.native ? Ui<uint8_t(NativeControl*, SysEventType*)>(kCtlHandleEvent, c.native, &event) : 0);
}

// CtlGetLabel and CtlSetLabel also take label objects of a form.
void TrapCtlGetLabel(EmulState* s, uint16_t) {
    FormShadow* form = nullptr;
    ObjectShadow* o = ObjectShadowOf(s, GetArgPtr(s, 0), &form);
    uint32_t label = 0;
    if (o && o->kind == kObjectControl)
        label = Addr(Ui<const char*(void*)>(kCtlGetLabel, o->native));
    else if (o && o->kind == kObjectLabel)
        label = Addr(Ui<const char*(void*, uint16_t)>(ui::FrmGetLabel, form->native, o->id));
    SetResultA0(s, label);
}
void TrapCtlSetLabel(EmulState* s, uint16_t) {
    FormShadow* form = nullptr;
    ObjectShadow* o = ObjectShadowOf(s, GetArgPtr(s, 0), &form);
    const uint32_t text = GetArgPtr(s, 4);
    if (!o || o->kind != kObjectControl) return;
    Ui<void(void*, const char*)>(kCtlSetLabel, o->native, Str(text));
    ControlImageRefresh(o);
}

void TrapCtlSetGraphics(EmulState* s, uint16_t) {
    ControlArg c(s, 0);
    if (c.native) Ui<void(NativeControl*, uint16_t, uint16_t)>(kCtlSetGraphics, c.native, U16(s, 4), U16(s, 6));
}

void TrapCtlGetSliderValues(EmulState* s, uint16_t) {
    ControlArg c(s, 0);
    uint16_t values[4] = {};
    if (c.native)
        Ui<void(NativeControl*, uint16_t*, uint16_t*, uint16_t*, uint16_t*)>(
            kCtlGetSliderValues, c.native, &values[0], &values[1], &values[2], &values[3]);
    for (uint32_t i = 0; i < 4; ++i)
        if (uint32_t p = GetArgPtr(s, 4 + 4 * i)) Write68KUInt16(p, 0, values[i]);
}
void TrapCtlSetSliderValues(EmulState* s, uint16_t) {
    ControlArg c(s, 0);
    InOut16 min(GetArgPtr(s, 4)), max(GetArgPtr(s, 8)), page(GetArgPtr(s, 12)), value(GetArgPtr(s, 16));
    if (c.native)
        Ui<void(NativeControl*, uint16_t*, uint16_t*, uint16_t*, uint16_t*)>(
            kCtlSetSliderValues, c.native, min.Native(), max.Native(), page.Native(), value.Native());
}

// New controls: the slot gets the address of the form shadow's native form pointer (the UI library
// may move the form), and the form shadow's object table grows.
FormShadow* FormOfPointer(EmulState* s, uint32_t formPointer) {
    return formPointer ? FormShadowFind68KInChain(s, Read68KUInt32(formPointer, 0), nullptr) : nullptr;
}
void NewControlResult(EmulState* s, FormShadow* form, void* native) {
    uint32_t image = 0;
    if (native) {
        FormShadowGrow(s, form);
        const uint16_t index = Ui<uint16_t(void*, void*)>(ui::FrmGetObjectIndexFromPtr, form->native, native);
        if (ObjectShadow* o = ShadowTableAlloc(s, form, index)) image = Addr(o->image);
    }
    SetResultA0(s, image);
}
void TrapCtlNewControl(EmulState* s, uint16_t) {
    FormShadow* form = FormOfPointer(s, GetArgPtr(s, 0));
    if (!form) return SetResultA0(s, 0);
    void* c = Ui<void*(void**, uint16_t, uint8_t, const char*, int16_t, int16_t, int16_t, int16_t, uint8_t, uint8_t,
                       uint8_t)>(kCtlNewControl, &form->native, U16(s, 4), U8(s, 6), Str(GetArgPtr(s, 8)),
                                 I16(s, 12), I16(s, 14), I16(s, 16), I16(s, 18), U8(s, 20), U8(s, 22), U8(s, 24));
    NewControlResult(s, form, c);
}
void TrapCtlNewGraphicControl(EmulState* s, uint16_t) {
    FormShadow* form = FormOfPointer(s, GetArgPtr(s, 0));
    if (!form) return SetResultA0(s, 0);
    void* c = Ui<void*(void**, uint16_t, uint8_t, uint16_t, uint16_t, int16_t, int16_t, int16_t, int16_t, uint8_t,
                       uint8_t)>(kCtlNewGraphicControl, &form->native, U16(s, 4), U8(s, 6), U16(s, 8), U16(s, 10),
                                 I16(s, 12), I16(s, 14), I16(s, 16), I16(s, 18), U8(s, 20), U8(s, 22));
    NewControlResult(s, form, c);
}
void TrapCtlNewSliderControl(EmulState* s, uint16_t) {
    FormShadow* form = FormOfPointer(s, GetArgPtr(s, 0));
    if (!form) return SetResultA0(s, 0);
    void* c = Ui<void*(void**, uint16_t, uint8_t, uint16_t, uint16_t, int16_t, int16_t, int16_t, int16_t, uint16_t,
                       uint16_t, uint16_t, uint16_t)>(kCtlNewSliderControl, &form->native, U16(s, 4), U8(s, 6),
                                                      U16(s, 8), U16(s, 10), I16(s, 12), I16(s, 14), I16(s, 16),
                                                      I16(s, 18), U16(s, 20), U16(s, 22), U16(s, 24), U16(s, 26));
    NewControlResult(s, form, c);
}

}  // namespace

ObjectShadow* ObjectShadowOf(EmulState* s, uint32_t image, FormShadow** form) {
    if (!image) return nullptr;
    for (EmulState* c = s; c; c = c->parent)
        for (auto* f = static_cast<FormShadow*>(c->formShadows[0]); f; f = f->next) {
            auto** objects = static_cast<ObjectShadow**>(f->objects);
            for (uint32_t i = 0; objects && i < f->objectCount; ++i)
                if (objects[i] && Addr(objects[i]->image) == image) {
                    if (form) *form = f;
                    return objects[i];
                }
        }
    return nullptr;
}

void FormShadowGrow(EmulState*, FormShadow* form) {
    const uint16_t count = Ui<uint16_t(void*)>(ui::FrmGetNumberOfObjects, form->native);
    if (count <= form->objectCount) return;
    auto* objects = static_cast<ObjectShadow**>(sys::MemPtrNew(4u * count));
    if (!objects) return;
    std::memset(objects, 0, 4u * count);
    if (form->objects) {
        std::memcpy(objects, form->objects, 4u * form->objectCount);
        sys::MemChunkFree(form->objects);
    }
    form->objects = objects;
    form->objectCount = count;
}

void* ControlFromArg(EmulState* s, uint32_t offset, ObjectShadow** shadow) {
    const uint32_t p = GetArgPtr(s, offset);
    if (shadow) *shadow = nullptr;
    if (!p) return nullptr;
    ObjectShadow* o = ObjectShadowOf(s, p, nullptr);
    if (!o) {
        ErrDisplayFileLineMsg("MorvelCommon", 700, "Form object not found");
        return nullptr;
    }
    if (shadow) *shadow = o;
    return o->native;
}

void ControlImageFill(ObjectShadow* o) {
    const auto* c = static_cast<const NativeControl*>(o->native);
    const uint32_t image = Addr(o->image);
    Write68KUInt16(image, 0, c->id);
    NativeRect r;
    std::memcpy(&r, &c->bounds, sizeof r);
    Write68KRect(&r, image + kImgBounds);
    if (!IsGraphic(c)) Write68KUInt32(image, kImgLabel, Addr(c->text));
    Write68KUInt16(image, kImgAttr, (c->attr & vantor::kControlUsable) ? 0x8000 : 0);
    Write68KInt8(image, kImgStyle, c->style);
    Write68KInt8(image, kImgFont, c->font);
}

void ControlImageSync(ObjectShadow* o) {
    auto* c = static_cast<NativeControl*>(o->native);
    const uint32_t image = Addr(o->image);
    NativeRect r;
    Read68KRect(&r, image + kImgBounds);
    std::memcpy(&c->bounds, &r, sizeof r);
    Ui<void(NativeControl*, uint8_t)>(kCtlSetUsable, c, static_cast<uint8_t>((Read68KInt8(image, kImgAttr) & 0x80) != 0));
    c->font = Read68KInt8(image, kImgFont);
}

void ControlImageRefresh(ObjectShadow* o) {
    if (!o) return;
    const auto* c = static_cast<const NativeControl*>(o->native);
    const uint32_t image = Addr(o->image);
    if (!IsGraphic(c)) Write68KUInt32(image, kImgLabel, Addr(Ui<const char*(void*)>(kCtlGetLabel, o->native)));
    NativeRect r;
    std::memcpy(&r, &c->bounds, sizeof r);
    Write68KRect(&r, image + kImgBounds);
}

void ControlImageRefreshByID(EmulState* s, uint32_t formImage, uint16_t id) {
    FormShadow* form = FormShadowFind68KInChain(s, formImage, nullptr);
    if (!form) return;
    const uint16_t index = Ui<uint16_t(void*, uint16_t)>(ui::FrmGetObjectIndex, form->native, id);
    ObjectShadow* o = ShadowTableAlloc(s, form, index);
    if (o && o->kind == kObjectControl) ControlImageRefresh(o);
}

bool ControlAccessorSelector(EmulState* s, uint16_t selector) {
    switch (selector) {
        case 0: case 6: case 7: case 8: case 10: case 28: case 29: break;
        case 9:
            TrapCtlNewSliderControl(s, 0);
            return true;
        default:
            return false;
    }
    ControlArg c(s, 0);
    if (!c.native) return true;
    switch (selector) {
        case 0:
            SetResultD0UInt8(s, c.native->style);
            break;
        case 6:
            SetResultD0UInt8(s, c.native->font);
            break;
        case 7:
            c.native->font = U8(s, 4);
            Write68KInt8(Addr(c.shadow->image), kImgFont, c.native->font);
            break;
        case 8: {
            const bool graphic = IsGraphic(c.native);
            if (uint32_t p = GetArgPtr(s, 4)) Write68KUInt16(p, 0, graphic ? c.native->graphic.bitmapID : 0);
            if (uint32_t p = GetArgPtr(s, 8))
                Write68KUInt16(p, 0, graphic ? c.native->graphic.selectedBitmapID : 0);
            break;
        }
        case 10:
            c.native->attr = static_cast<uint16_t>((c.native->attr & ~vantor::kControlLeftAnchor) |
                                                   ((U8(s, 4) & 1) ? vantor::kControlLeftAnchor : 0));
            break;
        case 28:
            SetResultD0UInt8(s, IsGraphic(c.native) ? 1 : 0);
            break;
        default:  // 29: the frame, bits 5-7
            c.native->attr = static_cast<uint16_t>((c.native->attr & ~vantor::kControlFrameMask) |
                                                   ((U8(s, 4) & 7) << 5));
            break;
    }
    return true;
}

void ControlGlueInstall(TrapHandler* t) {
    t[0x10D] = ControlOnly<kCtlDrawControl, true>;
    t[0x119] = ControlTo8<kCtlEnabled>;
    t[0x10E] = ControlOnly<kCtlEraseControl>;
    t[0x113] = TrapCtlGetLabel;
    t[0x3DA] = TrapCtlGetSliderValues;
    t[0x111] = TrapCtlGetValue;
    t[0x115] = TrapCtlHandleEvent;
    t[0x10F] = TrapCtlHideControl;
    t[0x116] = TrapCtlHitControl;
    t[0x32C] = TrapCtlNewControl;
    t[0x3A9] = TrapCtlNewGraphicControl;
    t[0x3DC] = TrapCtlNewSliderControl;
    t[0x117] = TrapCtlSetEnabled;
    t[0x3D9] = TrapCtlSetGraphics;
    t[0x114] = TrapCtlSetLabel;
    t[0x3DB] = TrapCtlSetSliderValues;
    t[0x118] = TrapCtlSetUsable;
    t[0x112] = TrapCtlSetValue;
    t[0x110] = TrapCtlShowControl;
}

}  // namespace morvel
