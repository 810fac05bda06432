#include "morvel/traps/FormGlue.h"

#include <cstring>

#include "common/FourCC.h"
#include "common/module/NativeUi.h"
#include "common/module/UiSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/ControlGlue.h"
#include "morvel/traps/EventGlue.h"
#include "morvel/traps/FieldGlue.h"
#include "morvel/traps/ListGlue.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/ResourceTranslate.h"
#include "morvel/traps/TableGlue.h"
#include "morvel/traps/TrapGlue.h"
#include "morvel/traps/WindowGlue.h"

namespace morvel {
namespace {

using namespace trapglue;
using vantor::SysEventType;
namespace ui = vantor::uislot;

constexpr const char* kFile = "Form68K";
constexpr uint16_t kFrmLoadEvent = 24, kFrmOpenEvent = 25;
constexpr uint16_t kEventWithRecordBack = 0x0800;
constexpr uint16_t kUiHideObject = 162, kUiShowObject = 187;
const uint32_t kForm68K = vantor::FourCC("tFRM"), kAlert68K = vantor::FourCC("Talt"),
               kMenuBar68K = vantor::FourCC("MBAR"), kBitmap68K = vantor::FourCC("Tbmp");
constexpr uint16_t kErrNoShadow = 0x0103;
constexpr uint16_t kErrStorageFull = 0x0201;


template <typename Sig, typename... A>
auto Ui(uint16_t slotNumber, A... args) {
    return UiImport().Call<Sig>(slotNumber, args...);
}

FormShadow*& Head(EmulState* s) {
    return *reinterpret_cast<FormShadow**>(&s->formShadows[0]);
}
FormShadow*& Cache(EmulState* s) {
    return *reinterpret_cast<FormShadow**>(&s->formShadows[1]);
}

template <typename Match>
FormShadow* FindIn(EmulState* s, Match match) {
    if (!s) return nullptr;
    if (FormShadow* c = Cache(s); c && match(c)) return c;
    for (FormShadow* f = Head(s); f; f = f->next)
        if (match(f)) return Cache(s) = f;
    return nullptr;
}

// The native form of the 68K form pointer at argument `offset`.
void* FormArg(EmulState* s, uint32_t offset) {
    return FormNativeOf(s, GetArgPtr(s, offset));
}

// ---- object shadows ----

// Allocation of an object shadow by kind (header included), as the glue of each kind lays it out.
uint32_t ObjectShadowSize(uint16_t kind) {
    switch (kind) {
        case 0:
            return 56;  // field
        case 1:
            return 48;  // control
        case 2:
            return kListShadowBytes;  // list, with what its glue keeps after the image
        case 4:
            return 24;  // bitmap
        case 8:
            return 32;  // label
        case 9:
            return 28;  // title
        case 10:
            return 20;  // popup trigger pair
        case 11:
            return 20;  // shift indicator
        case 12:
            return 40;  // gadget
        case 13:
            return 16 + MORVEL_SCROLL_BAR_IMAGE_BYTES;  // scroll bar
        default:
            return 48;  // lines, frames, rectangles and the rest
    }
}
constexpr uint16_t kObjectField = 0, kObjectTable = 3, kObjectBitmap = 4, kObjectLabel = 8, kObjectTitle = 9, kObjectPopup = 10,
                   kObjectIndicator = 11, kObjectScrollBar = 13;
constexpr uint16_t kUiObjectPtr = 154, kUiSetGadgetHandler = 181;

ObjectShadow*& ObjectAt(FormShadow* form, uint16_t index) {
    return static_cast<ObjectShadow**>(form->objects)[index];
}

uint32_t GadgetHandlerCopy(const ObjectShadow* o) {
    uint32_t v;
    std::memcpy(&v, o->image + kGadgetImageBytes, 4);
    return v;
}
void SetGadgetHandlerCopy(ObjectShadow* o, uint32_t handler) {
    std::memcpy(o->image + kGadgetImageBytes, &handler, 4);
}

// A gadget's attribute word between its native bit order (usable, extended, visible from bit 0 up)
// and its 68K one (the same from bit 15 down).
const uint8_t kGadgetAttributesTo68K[] = {13, 1, 1, 1, 0};
const uint8_t kGadgetAttributesToNative[] = {1, 1, 1, 13, 0};
uint16_t GadgetAttributes68K(const void* gadget) {
    uint16_t word = static_cast<const vantor::NativeFormGadget*>(gadget)->attr;
    ConvertBitfield16(&word, kGadgetAttributesTo68K);
    return word;
}

// The 68K usable bit (0x8000) of an object whose native attribute word has it in bit 0.
uint16_t Usable68K(uint16_t nativeAttributes) {
    return nativeAttributes & vantor::kFormObjectUsable ? 0x8000 : 0;
}
// Bit 0 of a native attribute word set from a 68K attribute word's usable bit.
void UsableToNative(uint16_t* nativeAttributes, uint16_t attributes68K) {
    *nativeAttributes = static_cast<uint16_t>((*nativeAttributes & ~vantor::kFormObjectUsable) |
                                              (attributes68K & 0x8000 ? vantor::kFormObjectUsable : 0));
}

// Writes the image of the kinds this glue draws from the UI library's answers.
void ObjectImageFill(EmulState*, FormShadow* form, uint16_t index, ObjectShadow* o) {
    const uint32_t image = Addr(o->image);
    int16_t x = 0, y = 0;
    NativeRect bounds{};
    switch (o->kind) {
        case kObjectBitmap:
            Ui<void(void*, uint16_t, int16_t*, int16_t*)>(ui::FrmGetObjectPosition, form->native, index, &x,
                                                          &y);
            Write68KUInt16(image, MORVEL_BITMAP_IMAGE_ATTRIBUTES,
                           Usable68K(static_cast<const vantor::NativeFormBitmap*>(o->native)->attr));
            Write68KUInt16(image, 2, static_cast<uint16_t>(x));
            Write68KUInt16(image, 4, static_cast<uint16_t>(y));
            Write68KUInt16(image, 6, o->id);
            break;
        case kObjectLabel:
            Ui<void(void*, uint16_t, int16_t*, int16_t*)>(ui::FrmGetObjectPosition, form->native, index, &x,
                                                          &y);
            Write68KUInt16(image, 0, o->id);
            Write68KUInt16(image, 2, static_cast<uint16_t>(x));
            Write68KUInt16(image, 4, static_cast<uint16_t>(y));
            Write68KUInt16(image, MORVEL_LABEL_IMAGE_ATTRIBUTES,
                           Usable68K(static_cast<const vantor::NativeFormLabel*>(o->native)->attr));
            Write68KInt8(image, MORVEL_LABEL_IMAGE_FONT,
                         static_cast<int8_t>(static_cast<const vantor::NativeFormLabel*>(o->native)->fontID));
            Write68KInt8(image, 9, 0);
            Write68KUInt32(image, 10,
                           Addr(Ui<const char*(void*, uint16_t)>(ui::FrmGetLabel, form->native, o->id)));
            break;
        case kObjectTitle:
            Ui<void(void*, uint16_t, NativeRect*)>(ui::FrmGetObjectBounds, form->native, index, &bounds);
            Write68KRect(&bounds, image);
            Write68KUInt32(image, 8, Addr(Ui<const char*(void*)>(ui::FrmGetTitle, form->native)));
            break;
        case kObjectPopup:
            Write68KUInt16(image, 0, static_cast<const vantor::NativeFormPopup*>(o->native)->controlID);
            Write68KUInt16(image, 2, static_cast<const vantor::NativeFormPopup*>(o->native)->listID);
            break;
        case kObjectIndicator:
            Ui<void(void*, uint16_t, int16_t*, int16_t*)>(ui::FrmGetObjectPosition, form->native, index, &x,
                                                          &y);
            Write68KUInt16(image, 0, static_cast<uint16_t>(x));
            Write68KUInt16(image, 2, static_cast<uint16_t>(y));
            break;
        case kObjectGadget:
            Ui<void(void*, uint16_t, NativeRect*)>(ui::FrmGetObjectBounds, form->native, index, &bounds);
            Write68KUInt16(image, 0, o->id);
            Write68KUInt16(image, MORVEL_GADGET_IMAGE_ATTRIBUTES, GadgetAttributes68K(o->native));
            Write68KRect(&bounds, image + 4);
            Write68KUInt32(image, kGadgetImageData,
                           Addr(Ui<void*(void*, uint16_t)>(ui::FrmGetGadgetData, form->native, index)));
            Write68KUInt32(image, kGadgetImageHandler, 0);
            SetGadgetHandlerCopy(o, 0);
            break;
        case kObjectField:
            FieldImageFill(o);
            break;
        case kObjectTable:
            TableImageFill(o);
            break;
        case 1:
            ControlImageFill(o);
            break;
        case 2:
            ListImageFill(o);
            break;
        case kObjectScrollBar:
            Ui<void(void*, uint16_t, NativeRect*)>(ui::FrmGetObjectBounds, form->native, index, &bounds);
            Write68KRect(&bounds, image);
            Write68KUInt16(image, MORVEL_SCROLL_BAR_IMAGE_ID, o->id);
            Write68KUInt16(image, MORVEL_SCROLL_BAR_IMAGE_ATTRIBUTES, 0);
            break;
        default:
            break;
    }
}

// Frees an object shadow with what its kind keeps beside it.
void ObjectShadowRelease(EmulState* s, ObjectShadow* o) {
    if (o && o->kind == 2) ListShadowRelease(s, o);
    ShadowFree(o);
}

// Tells a gadget's 68K handler that its form goes (command 3), once.
void GadgetDeleteCall(EmulState* s, ObjectShadow* o) {
    const uint32_t handler = GadgetHandlerCopy(o);
    if (!handler) return;
    Write68KUInt32(s->A[7] - 4, 0, 0);
    Write68KUInt16(s->A[7] - 6, 0, 3);
    Write68KUInt32(s->A[7] - 10, 0, Addr(o->image));
    Call68KCode(s, handler, 10);
}

// The default button, help and menu IDs of a form from its 68K resource, whose header is the
// form's 68K image: copied into the shadow's image when the resource holds them.
void ImageIDsFromResource(FormShadow* shadow, uint16_t id) {
    void* handle = sys::DmGetResource(kForm68K, id);
    if (!handle) return;
    const auto* p = static_cast<const uint8_t*>(sys::MemHandleLock(handle));
    if (p && sys::MemHandleSize(handle) >= kFormImageCount)
        for (uint32_t at : {kFormImageDefaultButton, kFormImageHelp, kFormImageMenu})
            std::memcpy(shadow->image + at, p + at, 2);  // both big-endian
    if (p) sys::MemHandleUnlock(handle);
}

// ---- traps ----

void TrapFrmInitForm(EmulState* s, uint16_t) {
    const uint16_t id = U16(s, 0);
    // The UI library finds the form's native translation in the resource cache.
    if (RsrcPrepare(s, kForm68K, id, false) == kErrStorageFull) {
        SetResultA0(s, 0);
        return;
    }
    void* native = Ui<void*(uint16_t)>(ui::FrmInitForm, id);
    RsrcRelease(s, kForm68K, id);
    FormShadow* shadow = native ? FormShadowBuild(s, native, id) : nullptr;
    if (native && !shadow) Ui<void(void*)>(ui::FrmDeleteForm, native);
    if (shadow) ImageIDsFromResource(shadow, id);
    SetResultA0(s, shadow ? Addr(shadow->image) : 0);
}
void TrapFrmDeleteForm(EmulState* s, uint16_t) {
    void* native = FormArg(s, 0);
    if (!native) return;
    Ui<void(void*)>(ui::FrmDeleteForm, native);
    // The UI library has no deletion notice of its own here: the shadow goes with the form.
    FormShadowForget(s, native);
}
void TrapFrmGetActiveForm(EmulState* s, uint16_t) {
    void* native = Ui<void*()>(ui::FrmGetActiveForm);
    if (!native) {
        SetResultA0(s, 0);
        return;
    }
    EmulState* owner = nullptr;
    FormShadow* shadow = FormShadowFindNativeInChain(s, native, &owner);
    if (!shadow) shadow = FormShadowBuild(s, native, Ui<uint16_t(void*)>(ui::FrmGetFormId, native));
    SetResultA0(s, shadow ? Addr(shadow->image) : 0);
}
// FrmGetFormPtr (by id) and FrmGetFirstForm: the image in the current context, never built.
// 68K-side edits reach the native form before it is drawn: the help ID, the objects' images (a
// label's and a bitmap's usable bit among them).
void TrapFrmDrawForm(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFind68KInChain(s, GetArgPtr(s, 0), nullptr);
    if (!form) return;
    static_cast<vantor::NativeForm*>(form->native)->helpRscId = Read68KUInt16(Addr(form->image), kFormImageHelp);
    auto** objects = static_cast<ObjectShadow**>(form->objects);
    // What 68K code changed in the images of fields, tables, lists and controls reaches them first.
    for (uint32_t i = 0; objects && i < form->objectCount; ++i) {
        if (!objects[i]) continue;
        if (objects[i]->kind == kObjectField) FieldImageSync(objects[i]);
        if (objects[i]->kind == kObjectTable) TableImageSync(objects[i]);
        if (objects[i]->kind == 1) ControlImageSync(objects[i]);
        if (objects[i]->kind == 2)
            ListImageSync(Addr(objects[i]->image), static_cast<vantor::NativeList*>(objects[i]->native));
        if (objects[i]->kind == kObjectLabel && objects[i]->native)
            UsableToNative(&static_cast<vantor::NativeFormLabel*>(objects[i]->native)->attr,
                           Read68KUInt16(Addr(objects[i]->image), MORVEL_LABEL_IMAGE_ATTRIBUTES));
        if (objects[i]->kind == kObjectBitmap && objects[i]->native)
            UsableToNative(&static_cast<vantor::NativeFormBitmap*>(objects[i]->native)->attr,
                           Read68KUInt16(Addr(objects[i]->image), MORVEL_BITMAP_IMAGE_ATTRIBUTES));
    }
    Ui<void(void*)>(ui::FrmDrawForm, form->native);
}
// The form's active field as its 68K image.
void TrapFrmGetActiveField(EmulState* s, uint16_t) {
    void* form = FormArg(s, 0);
    if (!form) form = Ui<void*()>(ui::FrmGetActiveForm);
    void* field = form ? Ui<void*(void*)>(ui::UiEntry136, form) : nullptr;
    uint32_t image = FieldImageOf(s, field);
    // A field no form object holds is the one a table is editing.
    if (field && !image) image = FieldTableEditImage(s, field);
    SetResultA0(s, image);
}
void TrapFrmGetFormPtr(EmulState* s, uint16_t) {
    FormShadow* shadow = FormShadowFindNative(s, Ui<void*(uint16_t)>(ui::FrmGetFormPtr, U16(s, 0)));
    SetResultA0(s, shadow ? Addr(shadow->image) : 0);
}
void TrapFrmGetFirstForm(EmulState* s, uint16_t) {
    FormShadow* shadow = FormShadowFindNative(s, Ui<void*()>(ui::FrmGetFirstForm));
    SetResultA0(s, shadow ? Addr(shadow->image) : 0);
}
void TrapFrmSetEventHandler(EmulState* s, uint16_t) {
    const uint32_t image = GetArgPtr(s, 0), handler = GetArgPtr(s, 4);
    FormShadow* shadow = FormShadowFind68KInChain(s, image, nullptr);
    if (!shadow) return;
    shadow->handler = handler;
    Write68KUInt32(Addr(shadow->image), kFormImageHandler, handler);
    Ui<void(void*, void*)>(ui::FrmSetEventHandler, shadow->native,
                           handler ? reinterpret_cast<void*>(&FormEventTrampoline) : nullptr);
}
void TrapFrmHandleEvent(EmulState* s, uint16_t) {
    SysEventType event{};
    if (uint32_t p = GetArgPtr(s, 4)) EventToARM(s, &event, p);
    SetResultD0UInt8(s, Ui<uint8_t(void*, SysEventType*)>(ui::UiEntry160, FormArg(s, 0), &event));
}

// (form) -> nothing: draw, erase, set active, save bits...
template <uint16_t Slot>
void FormOnly(EmulState* s, uint16_t) {
    Ui<void(void*)>(Slot, FormArg(s, 0));
}
// (form) -> 16-bit.
template <uint16_t Slot>
void FormTo16(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(void*)>(Slot, FormArg(s, 0)));
}
// (form) -> 8-bit.
template <uint16_t Slot>
void FormTo8(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, Ui<uint8_t(void*)>(Slot, FormArg(s, 0)));
}
// (form, 16-bit) -> 16-bit: object index by id, id by index, type, control value, ...
template <uint16_t Slot>
void FormIndexTo16(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(void*, uint16_t)>(Slot, FormArg(s, 0), U16(s, 4)));
}
// (form, 16-bit) -> nothing: focus, hide and show an object.
template <uint16_t Slot>
void FormIndex(EmulState* s, uint16_t) {
    Ui<void(void*, uint16_t)>(Slot, FormArg(s, 0), U16(s, 4));
}
// (form, 16-bit, 16-bit) -> nothing: control value and group selection.
template <uint16_t Slot>
void FormIndexValue(EmulState* s, uint16_t) {
    Ui<void(void*, uint16_t, uint16_t)>(Slot, FormArg(s, 0), U16(s, 4), U16(s, 6));
}
// (16-bit) -> nothing: go to, pop up and return to a form.
template <uint16_t Slot>
void FormID(EmulState* s, uint16_t) {
    Ui<void(uint16_t)>(Slot, U16(s, 0));
}
template <uint16_t Slot>
void NoArgs(EmulState*, uint16_t) {
    Ui<void()>(Slot);
}
// The group number of a control group travels as a byte (the first of its two stack bytes).
void TrapFrmGetControlGroupSelection(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(void*, uint8_t)>(ui::FrmGetControlGroupSelection, FormArg(s, 0), U8(s, 4)));
}
void TrapFrmSetControlGroupSelection(EmulState* s, uint16_t) {
    Ui<void(void*, uint8_t, uint16_t)>(ui::FrmSetControlGroupSelection, FormArg(s, 0), U8(s, 4), U16(s, 6));
}
void TrapFrmActiveFormID(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t()>(ui::FrmGetActiveFormID));
}
void TrapFrmUpdateForm(EmulState* s, uint16_t) {
    Ui<void(uint16_t, uint16_t)>(ui::FrmUpdateForm, U16(s, 0), U16(s, 2));
}
void TrapFrmGetTitle(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(Ui<const char*(void*)>(ui::FrmGetTitle, FormArg(s, 0))));
}
void TrapFrmGetLabel(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(Ui<const char*(void*, uint16_t)>(ui::FrmGetLabel, FormArg(s, 0), U16(s, 4))));
}
void TrapFrmCopyTitle(EmulState* s, uint16_t) {
    Ui<void(void*, const char*)>(ui::FrmCopyTitle, FormArg(s, 0), Str(GetArgPtr(s, 4)));
}
void TrapFrmAlert(EmulState* s, uint16_t) {
    RsrcPrepare(s, kAlert68K, U16(s, 0), false);
    SetResultD0UInt16(s, Ui<uint16_t(uint16_t)>(ui::UiEntry125, U16(s, 0)));
    RsrcRelease(s, kAlert68K, U16(s, 0));
}
void TrapFrmCustomAlert(EmulState* s, uint16_t) {
    RsrcPrepare(s, kAlert68K, U16(s, 0), false);
    SetResultD0UInt16(
        s, Ui<uint16_t(uint16_t, const char*, const char*, const char*)>(
               ui::UiEntry129, U16(s, 0), Str(GetArgPtr(s, 2)), Str(GetArgPtr(s, 6)), Str(GetArgPtr(s, 10))));
    RsrcRelease(s, kAlert68K, U16(s, 0));
}
void TrapFrmDoDialog(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(void*)>(ui::FrmDoDialog, FormArg(s, 0)));
}

// The image of the object at `index` when 68K code was given one, else null.
ObjectShadow* CachedObject(FormShadow* form, uint16_t index) {
    return form && form->objects && index < form->objectCount ? ObjectAt(form, index) : nullptr;
}

// FrmHideObject and FrmShowObject: the image's usable bit follows.
template <uint16_t Slot, bool Usable>
void TrapFrmShowHide(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFind68KInChain(s, GetArgPtr(s, 0), nullptr);
    if (!form) return;
    const uint16_t index = U16(s, 4);
    Ui<void(void*, uint16_t)>(Slot, form->native, index);
    ObjectShadow* o = CachedObject(form, index);
    if (!o) return;
    uint32_t at;
    switch (o->kind) {
        case kObjectField:
        case 2:  // list
            at = 10;
            break;
        case 1:  // control
            at = 14;
            break;
        case kObjectBitmap:
            at = 0;
            break;
        case kObjectLabel:
            at = 6;
            break;
        default:
            return;
    }
    const uint16_t word = Read68KUInt16(Addr(o->image), at);
    Write68KUInt16(Addr(o->image), at, static_cast<uint16_t>(Usable ? word | 0x8000 : word & ~0x8000));
}

// Where an object's image holds its position, and how much of the bounds it holds there.
bool ImagePlace(uint16_t kind, uint32_t* at, uint32_t* boundsBytes) {
    switch (kind) {
        case kObjectField:
        case 1:
        case 2:
        case kObjectTable:
            return *at = 2, *boundsBytes = 8, true;
        case kObjectBitmap:
        case kObjectLabel:
            return *at = 2, *boundsBytes = 4, true;
        case kObjectIndicator:
            return *at = 0, *boundsBytes = 4, true;
        case kObjectScrollBar:
            return *at = 0, *boundsBytes = 8, true;
        case kObjectGadget:
            return *at = 4, *boundsBytes = 8, true;
        default:
            return false;
    }
}

void TrapFrmSetObjectPosition(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFind68KInChain(s, GetArgPtr(s, 0), nullptr);
    if (!form) return;
    const uint16_t index = U16(s, 4);
    const int16_t x = I16(s, 6), y = I16(s, 8);
    Ui<void(void*, uint16_t, int16_t, int16_t)>(ui::FrmSetObjectPosition, form->native, index, x, y);
    uint32_t at = 0, bytes = 0;
    if (ObjectShadow* o = CachedObject(form, index); o && ImagePlace(o->kind, &at, &bytes)) {
        Write68KUInt16(Addr(o->image), at, static_cast<uint16_t>(x));
        Write68KUInt16(Addr(o->image), at + 2, static_cast<uint16_t>(y));
    }
}

void TrapFrmSetObjectBounds(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFind68KInChain(s, GetArgPtr(s, 0), nullptr);
    const uint32_t rect = GetArgPtr(s, 6);
    if (!form || !rect) return;
    const uint16_t index = U16(s, 4);
    NativeRect bounds{};
    Read68KRect(&bounds, rect);
    Ui<void(void*, uint16_t, const NativeRect*)>(ui::FrmSetObjectBounds, form->native, index, &bounds);
    uint32_t at = 0, bytes = 0;
    if (ObjectShadow* o = CachedObject(form, index); o && ImagePlace(o->kind, &at, &bytes))
        std::memcpy(o->image + at, Mem(rect), bytes);
}

// FrmCopyLabel (form, ID, text): a label takes the text (and its image the label's new text
// pointer); a control's current label buffer receives it and is set again; other kinds nothing.
void TrapFrmCopyLabel(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFind68KInChain(s, GetArgPtr(s, 0), nullptr);
    const char* text = Str(GetArgPtr(s, 6));
    if (!form || !text) return;
    const uint16_t id = U16(s, 4);
    const uint16_t index = Ui<uint16_t(void*, uint16_t)>(ui::FrmGetObjectIndex, form->native, id);
    const uint16_t kind = Ui<uint16_t(void*, uint16_t)>(ui::FrmGetObjectType, form->native, index);
    if (kind == kObjectLabel) {
        Ui<void(void*, uint16_t, const char*)>(ui::UiEntry127, form->native, id, text);
        if (ObjectShadow* o = CachedObject(form, index); o && o->kind == kObjectLabel)
            Write68KUInt32(Addr(o->image), 10,
                           Addr(Ui<const char*(void*, uint16_t)>(ui::FrmGetLabel, form->native, id)));
    } else if (kind == 1) {
        void* control = Ui<void*(void*, uint16_t)>(kUiObjectPtr, form->native, index);
        if (char* label = Ui<char*(void*)>(ui::CtlGetLabel, control)) {
            sys::StrCopy(label, text);
            Ui<void(void*, const char*)>(ui::CtlSetLabel, control, label);
        }
    }
}

// Out-values through null 68K pointers are skipped.
void TrapFrmGetObjectPosition(EmulState* s, uint16_t) {
    int16_t x = 0, y = 0;
    if (void* form = FormArg(s, 0))
        Ui<void(void*, uint16_t, int16_t*, int16_t*)>(ui::FrmGetObjectPosition, form, U16(s, 4), &x, &y);
    if (uint32_t p = GetArgPtr(s, 6)) Write68KUInt16(p, 0, static_cast<uint16_t>(x));
    if (uint32_t p = GetArgPtr(s, 10)) Write68KUInt16(p, 0, static_cast<uint16_t>(y));
}
void TrapFrmGetObjectBounds(EmulState* s, uint16_t) {
    NativeRect r{};
    if (void* form = FormArg(s, 0))
        Ui<void(void*, uint16_t, NativeRect*)>(ui::FrmGetObjectBounds, form, U16(s, 4), &r);
    if (uint32_t p = GetArgPtr(s, 6)) Write68KRect(&r, p);
}

void TrapFrmGetObjectPtr(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFind68KInChain(s, GetArgPtr(s, 0), nullptr);
    ObjectShadow* o = form ? ShadowTableAlloc(s, form, U16(s, 4)) : nullptr;
    SetResultA0(s, o ? Addr(o->image) : 0);
}
void TrapFrmGetGadgetData(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(Ui<void*(void*, uint16_t)>(ui::FrmGetGadgetData, FormArg(s, 0), U16(s, 4))));
}
// FrmSetGadgetData (form, index, data): the gadget's image follows; only a gadget has one.
void TrapFrmSetGadgetData(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFind68KInChain(s, GetArgPtr(s, 0), nullptr);
    if (!form) return;
    const uint16_t index = U16(s, 4);
    const uint32_t data = GetArgUInt32(s, 6);
    Ui<void(void*, uint16_t, void*)>(ui::FrmSetGadgetData, form->native, index, Ptr(data));
    if (index < form->objectCount)
        if (ObjectShadow* o = ObjectAt(form, index); o && o->kind == kObjectGadget)
            Write68KUInt32(Addr(o->image), kGadgetImageData, data);
}
// FrmSetGadgetHandler (form, index, handler): acts on gadgets only.
void TrapFrmSetGadgetHandler(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFind68KInChain(s, GetArgPtr(s, 0), nullptr);
    const uint32_t handler = GetArgPtr(s, 6);
    ObjectShadow* o = form ? ShadowTableAlloc(s, form, U16(s, 4)) : nullptr;
    if (!o || o->kind != kObjectGadget) return;
    SetGadgetHandlerCopy(o, handler);
    Write68KUInt32(Addr(o->image), kGadgetImageHandler, handler);
    Ui<void(void*, uint16_t, void*)>(kUiSetGadgetHandler, form->native, U16(s, 4),
                                     handler ? reinterpret_cast<void*>(&GadgetHandlerTrampoline) : nullptr);
}

// The form shadow whose 68K form pointer is stored at the 68K address given at argument `offset`
// (the new-object and remove calls take the address of the caller's form pointer).
FormShadow* FormShadowFromArg(EmulState* s, uint32_t offset) {
    const uint32_t at = GetArgPtr(s, offset);
    return at ? FormShadowFind68KInChain(s, Read68KUInt32(at, 0), nullptr) : nullptr;
}

// FrmNewForm (ID, title, x, y, width, height, modal, default button, help ID, menu ID).
void TrapFrmNewForm(EmulState* s, uint16_t) {
    const uint16_t id = U16(s, 0), menu = U16(s, 20);
    if (menu) RsrcPrepare(s, kMenuBar68K, menu, false);
    void* native =
        Ui<void*(uint16_t, const char*, int16_t, int16_t, int16_t, int16_t, uint8_t, uint16_t, uint16_t,
                 uint16_t)>(ui::UiEntry165, id, Str(GetArgPtr(s, 2)), I16(s, 6), I16(s, 8), I16(s, 10),
                            I16(s, 12), U8(s, 14), U16(s, 16), U16(s, 18), menu);
    if (menu) RsrcRelease(s, kMenuBar68K, menu);
    FormShadow* shadow = native ? FormShadowBuild(s, native, id) : nullptr;
    if (native && !shadow) Ui<void(void*)>(ui::FrmDeleteForm, native);
    // The image shows the IDs the new form was given.
    if (shadow) {
        Write68KUInt16(Addr(shadow->image), kFormImageDefaultButton, U16(s, 16));
        Write68KUInt16(Addr(shadow->image), kFormImageHelp, U16(s, 18));
        Write68KUInt16(Addr(shadow->image), kFormImageMenu, menu);
    }
    SetResultA0(s, shadow ? Addr(shadow->image) : 0);
}

// The new-object calls: the UI library adds the object to the form whose native pointer's address
// it is given, then the shadow grows by it and 68K code gets the new object's image.
void NewObjectResult(EmulState* s, FormShadow* form, void* made) {
    SetResultA0(s, made ? FormShadowGrowObjects(s, form) : 0);
}
void TrapFrmNewLabel(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFromArg(s, 0);
    if (!form) return SetResultA0(s, 0);
    NewObjectResult(s, form,
                    Ui<void*(void**, uint16_t, const char*, int16_t, int16_t, uint8_t)>(
                        ui::UiEntry168, &form->native, U16(s, 4), Str(GetArgPtr(s, 6)), I16(s, 10),
                        I16(s, 12), U8(s, 14)));
}
// FrmNewBitmap (form address, ID, bitmap resource ID, x, y): the bitmap is translated first.
void TrapFrmNewBitmap(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFromArg(s, 0);
    if (!form) return SetResultA0(s, 0);
    const uint16_t resource = U16(s, 6);
    RsrcPrepare(s, kBitmap68K, resource, false);
    void* made = Ui<void*(void**, uint16_t, uint16_t, int16_t, int16_t)>(
        ui::FrmNewBitmap, &form->native, U16(s, 4), resource, I16(s, 8), I16(s, 10));
    RsrcRelease(s, kBitmap68K, resource);
    NewObjectResult(s, form, made);
}
void TrapFrmNewGadget(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFromArg(s, 0);
    if (!form) return SetResultA0(s, 0);
    NewObjectResult(
        s, form,
        Ui<void*(void**, uint16_t, int16_t, int16_t, int16_t, int16_t)>(
            ui::FrmNewGadget, &form->native, U16(s, 4), I16(s, 6), I16(s, 8), I16(s, 10), I16(s, 12)));
}
void TrapFrmNewGsi(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFromArg(s, 0);
    if (!form) return SetResultA0(s, 0);
    NewObjectResult(s, form,
                    Ui<void*(void**, int16_t, int16_t)>(ui::FrmNewGsi, &form->native, I16(s, 4), I16(s, 6)));
}

// FrmRemoveObject (form address, index): the object's shadow goes and the later ones move down an
// index with their objects; their 68K pointers stay as they were.
void TrapFrmRemoveObject(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFromArg(s, 0);
    if (!form) return SetResultD0UInt16(s, kErrNoShadow);
    const uint16_t index = U16(s, 4);
    void* const before = form->native;
    const uint16_t err = Ui<uint16_t(void**, uint16_t)>(ui::UiEntry171, &form->native, index);
    if (!err) {
        if (form->native != before) ErrDisplayFileLineMsg(kFile, 4666, "Form shouldn't move");
        if (index >= form->objectCount)
            ErrDisplayFileLineMsg(kFile, 4634, "Index out of range");
        else
            FormShadowRemoveObject(s, form, index);
    }
    SetResultD0UInt16(s, err);
}

// FrmSetTitle (form, text): the title object's image points at the new text.
void TrapFrmSetTitle(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFind68KInChain(s, GetArgPtr(s, 0), nullptr);
    if (!form) return;
    const uint32_t text = GetArgPtr(s, 4);
    Ui<void(void*, const char*)>(ui::FrmSetTitle, form->native, Str(text));
    for (uint32_t i = 0; i < form->objectCount; ++i)
        if (ObjectShadow* o = ObjectAt(form, static_cast<uint16_t>(i)); o && o->kind == kObjectTitle)
            Write68KUInt32(Addr(o->image), MORVEL_TITLE_IMAGE_TEXT, text);
}
void TrapFrmGetFormBounds(EmulState* s, uint16_t) {
    NativeRect r{};
    if (void* form = FormArg(s, 0)) Ui<void(void*, NativeRect*)>(ui::FrmGetFormBounds, form, &r);
    if (uint32_t p = GetArgPtr(s, 4)) Write68KRect(&r, p);
}
// FrmGetObjectIndexFromPtr (form, 68K object pointer).
void TrapFrmGetObjectIndexFromPtr(EmulState* s, uint16_t) {
    void* form = FormArg(s, 0);
    void* object = ObjectNativeOf(s, GetArgPtr(s, 4));
    SetResultD0UInt16(s, Ui<uint16_t(void*, void*)>(ui::FrmGetObjectIndexFromPtr, form, object));
}
// FrmGetWindowHandle (form): the form's window, which 68K code holds as the form's image.
void TrapFrmGetWindowHandle(EmulState* s, uint16_t) {
    void* form = FormArg(s, 0);
    SetResultA0(s, form ? WindowTo68K(s, Ui<void*(void*)>(ui::FrmGetWindowHandle, form)) : 0);
}
void TrapFrmPointInTitle(EmulState* s, uint16_t) {
    SetResultD0UInt8(
        s, Ui<uint8_t(void*, int16_t, int16_t)>(ui::FrmPointInTitle, FormArg(s, 0), I16(s, 4), I16(s, 6)));
}

// FrmUpdateScrollers (form, up index, down index, up, down): the arrows' images show them both
// while either direction scrolls.
void TrapFrmUpdateScrollers(EmulState* s, uint16_t) {
    FormShadow* form = FormShadowFind68KInChain(s, GetArgPtr(s, 0), nullptr);
    if (!form) return;
    const uint16_t up = U16(s, 4), down = U16(s, 6);
    const uint8_t scrollsUp = U8(s, 8), scrollsDown = U8(s, 10);
    Ui<void(void*, uint16_t, uint16_t, uint8_t, uint8_t)>(ui::FrmUpdateScrollers, form->native, up, down,
                                                          scrollsUp, scrollsDown);
    for (uint16_t index : {up, down})
        if (ObjectShadow* o = CachedObject(form, index); o && o->kind == 1) {
            const uint16_t word = Read68KUInt16(Addr(o->image), 14);
            Write68KUInt16(Addr(o->image), 14,
                           static_cast<uint16_t>(scrollsUp || scrollsDown ? word | 0x8000 : word & ~0x8000));
        }
}
void TrapFrmSetCategoryLabel(EmulState* s, uint16_t) {
    Ui<void(void*, uint16_t, char*)>(ui::FrmSetCategoryLabel, FormArg(s, 0), U16(s, 4), Str(GetArgPtr(s, 6)));
}
// FrmSetMenu (form, menu bar ID): the menu bar is translated first.
void TrapFrmSetMenu(EmulState* s, uint16_t) {
    const uint16_t menu = U16(s, 4);
    RsrcPrepare(s, kMenuBar68K, menu, false);
    Ui<void(void*, uint16_t)>(ui::UiEntry182, FormArg(s, 0), menu);
    RsrcRelease(s, kMenuBar68K, menu);
}
// FrmActiveState (state record, save): the 22-byte record is the UI library's, passed unchanged.
constexpr uint32_t kActiveStateBytes = 22;
void TrapFrmActiveState(EmulState* s, uint16_t) {
    const uint32_t record = GetArgPtr(s, 0);
    const uint8_t save = U8(s, 4);
    uint8_t state[kActiveStateBytes] = {};
    if (record && !save) std::memcpy(state, Mem(record), sizeof state);
    const uint16_t err = Ui<uint16_t(uint8_t*, uint8_t)>(ui::UiEntry123, record ? state : nullptr, save);
    if (record && save) std::memcpy(Mem(record), state, sizeof state);
    SetResultD0UInt16(s, err);
}

// Custom-response alerts on screen; the checker trampoline runs 68K code only while one is.
thread_local uint32_t responseAlerts = 0;

// FrmCustomResponseAlert (alert ID, three texts, entry buffer, its length, checker). The checker
// is pushed on the 68K stack, where the trampoline finds it at the top of the argument block; an
// alert shown from inside a checker pushes its own above it.
void TrapFrmCustomResponseAlert(EmulState* s, uint16_t) {
    const uint16_t id = U16(s, 0), length = U16(s, 18);
    const uint32_t checker = GetArgPtr(s, 20);
    const char *text1 = Str(GetArgPtr(s, 2)), *text2 = Str(GetArgPtr(s, 6)), *text3 = Str(GetArgPtr(s, 10));
    char* entry = Str(GetArgPtr(s, 14));
    s->A[7] -= 4;
    Write68KUInt32(s->A[7], 0, checker);
    ++responseAlerts;
    RsrcPrepare(s, kAlert68K, id, false);
    const uint16_t button =
        Ui<uint16_t(uint16_t, const char*, const char*, const char*, char*, uint16_t, void*)>(
            ui::UiEntry130, id, text1, text2, text3, entry, length,
            checker ? reinterpret_cast<void*>(&ResponseCallbackTrampoline) : nullptr);
    RsrcRelease(s, kAlert68K, id);
    --responseAlerts;
    s->A[7] += 4;
    SetResultD0UInt16(s, button);
}

}  // namespace

// ---- shadows ----

FormShadow* FormShadowBuild(EmulState* s, void* native, uint16_t formID) {
    if (FormShadow* old = FormShadowFindNative(s, native)) FormShadowFree(s, old);
    const uint16_t count = Ui<uint16_t(void*)>(ui::FrmGetNumberOfObjects, native);
    auto* shadow = static_cast<FormShadow*>(ShadowNew(sizeof(FormShadow)));
    const uint32_t capacity = count ? count : 1;
    void* objects = shadow ? sys::MemPtrNew(4 * capacity) : nullptr;
    if (!shadow || !objects) {
        if (shadow) ShadowFree(shadow);
        return nullptr;
    }
    std::memset(objects, 0, 4 * capacity);
    shadow->objectCount = count;
    shadow->objects = objects;
    shadow->lastObject = nullptr;
    shadow->handler = 0;
    // The window part of the image shows the form's window; zeros when the form has none.
    std::memset(shadow->image, 0, kFormImageFormID);
    const uint32_t image = Addr(shadow->image);
    if (void* window = Ui<void*(void*)>(ui::FrmGetWindowHandle, native)) WindowImageFill(window, image);
    Write68KUInt16(image, kFormImageFormID, Ui<uint16_t(void*)>(ui::FrmGetFormId, native));
    Write68KUInt32(image, 42, 0);
    Write68KUInt32(image, 46, 0);
    Write68KUInt32(image, kFormImageHandler, 0);
    Write68KUInt16(image, kFormImageFocus, 0xFFFF);
    Write68KUInt16(image, kFormImageDefaultButton, 0);
    Write68KUInt16(image, kFormImageHelp, 0);
    Write68KUInt16(image, kFormImageMenu, 0);
    Write68KUInt16(image, kFormImageCount, 0);
    shadow->prev = nullptr;
    shadow->next = Head(s);
    if (Head(s)) Head(s)->prev = shadow;
    Head(s) = shadow;
    shadow->native = native;
    shadow->formID = formID;
    shadow->kind = 0;
    Cache(s) = shadow;
    return shadow;
}

ObjectShadow* ShadowTableAlloc(EmulState* s, FormShadow* form, uint16_t index) {
    if (!form || index >= form->objectCount || !form->objects) return nullptr;
    void* native = Ui<void*(void*, uint16_t)>(kUiObjectPtr, form->native, index);
    ObjectShadow*& slotRef = ObjectAt(form, index);
    if (slotRef && slotRef->native == native) return slotRef;
    const uint16_t kind = Ui<uint16_t(void*, uint16_t)>(ui::FrmGetObjectType, form->native, index);
    const uint32_t size = kind == kObjectTable ? TableShadowSize(native) : ObjectShadowSize(kind);
    auto* o = static_cast<ObjectShadow*>(ShadowNew(size));
    if (!o) return nullptr;
    if (slotRef) ShadowFree(slotRef);
    o->prev = o->next = nullptr;
    o->kind = kind;
    o->native = native;
    o->id = Ui<uint16_t(void*, uint16_t)>(ui::FrmGetObjectId, form->native, index);
    ObjectImageFill(s, form, index, o);
    slotRef = o;
    form->lastObject = o;
    return o;
}

void FormShadowRefreshObjects(EmulState*, FormShadow* form) {
    auto** objects = static_cast<ObjectShadow**>(form->objects);
    for (uint32_t i = 0; objects && i < form->objectCount; ++i) {
        ObjectShadow* o = objects[i];
        if (!o) continue;
        o->native = Ui<void*(void*, uint16_t)>(kUiObjectPtr, form->native, static_cast<uint16_t>(i));
        const uint32_t image = Addr(o->image);
        switch (o->kind) {
            case 1:  // a control's label, unless it is a graphic control (bit 1 of its fourth byte)
                if (o->native && !(static_cast<const uint8_t*>(o->native)[3] & 0x02))
                    Write68KUInt32(image, 10, Addr(Ui<const char*(void*)>(ui::CtlGetLabel, o->native)));
                break;
            case kObjectLabel:
                Write68KUInt32(image, MORVEL_LABEL_IMAGE_TEXT,
                               Addr(Ui<const char*(void*, uint16_t)>(ui::FrmGetLabel, form->native, o->id)));
                break;
            case kObjectTitle:
                Write68KUInt32(image, MORVEL_TITLE_IMAGE_TEXT,
                               Addr(Ui<const char*(void*)>(ui::FrmGetTitle, form->native)));
                break;
            default:
                break;
        }
    }
}

uint32_t FormShadowGrowObjects(EmulState* s, FormShadow* form) {
    const uint32_t oldCount = form->objectCount;
    const uint32_t count = Ui<uint16_t(void*)>(ui::FrmGetNumberOfObjects, form->native);
    if (count <= oldCount) return 0;
    // What the UI call added goes again when the shadow cannot hold it.
    auto rollBack = [&] {
        for (uint32_t i = count; i > oldCount; --i)
            Ui<uint16_t(void**, uint16_t)>(ui::UiEntry171, &form->native, static_cast<uint16_t>(i - 1));
        FormShadowRefreshObjects(s, form);
        return 0u;
    };
    auto** grown = static_cast<ObjectShadow**>(sys::MemPtrNew(4 * count));
    if (!grown) return rollBack();
    std::memset(grown, 0, 4 * count);
    if (oldCount) std::memcpy(grown, form->objects, 4 * oldCount);
    sys::MemChunkFree(form->objects);
    form->objects = grown;
    form->objectCount = count;
    // Native objects may have moved: every shadow takes its object's pointer again.
    FormShadowRefreshObjects(s, form);
    ObjectShadow* made = ShadowTableAlloc(s, form, static_cast<uint16_t>(oldCount));
    if (!made) {
        form->objectCount = oldCount;
        return rollBack();
    }
    return Addr(made->image);
}

void FormShadowRemoveObject(EmulState* s, FormShadow* form, uint16_t index) {
    if (!form->objects || index >= form->objectCount) return;
    auto** objects = static_cast<ObjectShadow**>(form->objects);
    if (ObjectShadow* o = objects[index]) {
        if (form->lastObject == o) form->lastObject = nullptr;
        ObjectShadowRelease(s, o);
    }
    std::memmove(objects + index, objects + index + 1, 4 * (form->objectCount - index - 1));
    objects[--form->objectCount] = nullptr;
    FormShadowRefreshObjects(s, form);
}

namespace {
// The object shadow whose image is at `image`, in the context's form shadows and its parents'; null,
// quietly, for any other address.
ObjectShadow* ObjectShadowOf(EmulState* s, uint32_t image) {
    for (EmulState* c = s; image && c; c = c->parent)
        for (FormShadow* f = Head(c); f; f = f->next) {
            auto** objects = static_cast<ObjectShadow**>(f->objects);
            for (uint32_t i = 0; objects && i < f->objectCount; ++i)
                if (objects[i] && Addr(objects[i]->image) == image) return objects[i];
        }
    return nullptr;
}

}  // namespace

void* ObjectNativeOf(EmulState* s, uint32_t image) {
    if (const ObjectShadow* o = ObjectShadowOf(s, image)) return o->native;
    ErrDisplayFileLineMsg("MorvelCommon", 700, "Form object not found");
    return nullptr;
}

void* ScrollBarNativeOf(EmulState* s, uint32_t image) {
    if (const ObjectShadow* o = ObjectShadowOf(s, image); o && o->kind == kObjectScrollBar) return o->native;
    ErrDisplayFileLineMsg("MorvelCommon", 700, "Form object not found");
    return nullptr;
}

void FormShadowFree(EmulState* s, FormShadow* shadow) {
    if (!shadow) return;
    auto** objects = static_cast<ObjectShadow**>(shadow->objects);
    for (uint32_t i = 0; objects && i < shadow->objectCount; ++i)
        if (objects[i] && objects[i]->kind == kObjectGadget) GadgetDeleteCall(s, objects[i]);
    if (shadow->prev)
        shadow->prev->next = shadow->next;
    else if (Head(s) == shadow)
        Head(s) = shadow->next;
    if (shadow->next) shadow->next->prev = shadow->prev;
    if (Cache(s) == shadow) Cache(s) = nullptr;
    for (uint32_t i = 0; objects && i < shadow->objectCount; ++i) ObjectShadowRelease(s, objects[i]);
    if (shadow->objects) sys::MemChunkFree(shadow->objects);
    ShadowFree(shadow);
}

void FormShadowFreeAll(EmulState* s) {
    while (Head(s)) FormShadowFree(s, Head(s));
    FieldTableEditFree(s);
}

void FormShadowForget(EmulState* s, void* native) {
    EmulState* owner = nullptr;
    if (FormShadow* shadow = FormShadowFindNativeInChain(s, native, &owner)) FormShadowFree(owner, shadow);
}

FormShadow* FormShadowFindNative(EmulState* s, const void* native) {
    if (!native) return nullptr;
    return FindIn(s, [native](const FormShadow* f) { return f->native == native; });
}
FormShadow* FormShadowFind68K(EmulState* s, uint32_t image) {
    if (!image) return nullptr;
    return FindIn(s, [image](FormShadow* f) { return Addr(f->image) == image; });
}
FormShadow* FormShadowFindNativeInChain(EmulState* s, const void* native, EmulState** owner) {
    for (; s; s = s->parent)
        if (FormShadow* f = FormShadowFindNative(s, native)) {
            if (owner) *owner = s;
            return f;
        }
    return nullptr;
}
FormShadow* FormShadowFind68KInChain(EmulState* s, uint32_t image, EmulState** owner) {
    for (; s; s = s->parent)
        if (FormShadow* f = FormShadowFind68K(s, image)) {
            if (owner) *owner = s;
            return f;
        }
    return nullptr;
}
void* FormNativeOf(EmulState* s, uint32_t image) {
    FormShadow* f = FormShadowFind68KInChain(s, image, nullptr);
    return f ? f->native : nullptr;
}

uint8_t FormEventTrampoline(SysEventType* event) {
    EmulState* s = GetCurrentContext();
    if (!s || !event) return 0;
    void* form;
    if (event->eType == kFrmLoadEvent || event->eType == kFrmOpenEvent) {
        uint16_t id;
        std::memcpy(&id, event->data, 2);
        form = Ui<void*(uint16_t)>(ui::FrmGetFormPtr, id);
    } else {
        form = Ui<void*()>(ui::FrmGetActiveForm);
    }
    if (!form) {
        ErrDisplayFileLineMsg(kFile, 1750, "No current form");
        return 0;
    }
    EmulState* owner = nullptr;
    FormShadow* shadow = FormShadowFindNativeInChain(s, form, &owner);
    if (!shadow || !shadow->handler) {
        ErrDisplayFileLineMsg(kFile, 1771, "No form event handler");
        return 0;
    }
    // A sub-launched application's form runs its handler in that application's context.
    EmulState* previous = GetTaskContext();
    const bool switchContext = s->parent && owner != s;
    if (switchContext) SetCurrentContext(owner);
    uint8_t record[kEventRecord68KSize] = {};
    EventTo68K(owner, event, Addr(record));
    Write68KUInt32(owner->A[7] - 4, 0, Addr(record));
    Call68KCode(owner, shadow->handler, 4);
    if (event->eType == kEventWithRecordBack) EventToARM(owner, event, Addr(record));
    if (switchContext) SetCurrentContext(previous);
    return static_cast<uint8_t>(owner->D[0]);
}

uint8_t ResponseCallbackTrampoline(int16_t button, const char* text) {
    EmulState* s = GetCurrentContext();
    if (!s || !responseAlerts) return 1;
    const uint32_t checker = Read68KUInt32(s->A[7], 0);
    if (!checker) return 1;
    Write68KUInt32(s->A[7] - 4, 0, Addr(text));
    Write68KUInt16(s->A[7] - 6, 0, static_cast<uint16_t>(button));
    Call68KCode(s, checker, 6);
    return static_cast<uint8_t>(s->D[0]);
}

namespace {

// A gadget's shadow with its form, index and owning context, searched in the active form's shadow
// and those of the forms behind it; no shadow when none holds the gadget.
struct GadgetPlace {
    FormShadow* form = nullptr;
    ObjectShadow* shadow = nullptr;
    uint16_t index = 0;
    EmulState* owner = nullptr;
};
GadgetPlace FindGadget(EmulState* s, const void* gadget) {
    GadgetPlace at;
    FormShadow* form = FormShadowFindNativeInChain(s, Ui<void*()>(ui::FrmGetActiveForm), &at.owner);
    for (FormShadow* f = form; f; f = f->prev) {
        auto** objects = static_cast<ObjectShadow**>(f->objects);
        for (uint32_t i = 0; objects && i < f->objectCount; ++i)
            if (objects[i] && objects[i]->kind == kObjectGadget && objects[i]->native == gadget) {
                at.form = f;
                at.shadow = objects[i];
                at.index = static_cast<uint16_t>(i);
                return at;
            }
    }
    return at;
}

// Selector 2: the usable bit of a form object, read from its native record. Kinds that have none
// answer 1; an address that is no object 68K code was given answers 0.
uint8_t ObjectUsable(EmulState* s, uint32_t image) {
    const ObjectShadow* o = ObjectShadowOf(s, image);
    if (!o || !o->native) return 0;
    uint16_t attributes = 0;
    switch (o->kind) {
        case kObjectField:
            Ui<uint16_t(void*, uint16_t*)>(ui::FldGetAttributes, o->native, &attributes);
            break;
        case 1:
            attributes = static_cast<const vantor::NativeControl*>(o->native)->attr;
            break;
        case 2:
            attributes = static_cast<const vantor::NativeList*>(o->native)->attr;
            break;
        case kObjectBitmap:
            attributes = static_cast<const vantor::NativeFormBitmap*>(o->native)->attr;
            break;
        case kObjectLabel:
            attributes = static_cast<const vantor::NativeFormLabel*>(o->native)->attr;
            break;
        case kObjectGadget:
            attributes = static_cast<const vantor::NativeFormGadget*>(o->native)->attr;
            break;
        case kObjectTable:
            return static_cast<const vantor::NativeTable*>(o->native)->attr & vantor::kTableUsable ? 1 : 0;
        case kObjectScrollBar:
            attributes = static_cast<const vantor::NativeScrollBar*>(o->native)->attr;
            break;
        default:
            return 1;
    }
    return attributes & vantor::kFormObjectUsable ? 1 : 0;
}

// Selectors 16 and 17: the native label with `id` in the form, null when the ID names no label.
vantor::NativeFormLabel* LabelById(FormShadow* form, uint16_t id, uint16_t* index) {
    if (!form) return nullptr;
    *index = Ui<uint16_t(void*, uint16_t)>(ui::FrmGetObjectIndex, form->native, id);
    if (*index == 0xFFFF || Ui<uint16_t(void*, uint16_t)>(ui::FrmGetObjectType, form->native, *index) != kObjectLabel)
        return nullptr;
    return static_cast<vantor::NativeFormLabel*>(Ui<void*(void*, uint16_t)>(kUiObjectPtr, form->native, *index));
}

}  // namespace

bool FormObjectAccessorSelector(EmulState* s, uint16_t selector) {
    switch (selector) {
        case 2:
            SetResultD0UInt8(s, ObjectUsable(s, GetArgPtr(s, 0)));
            return true;
        case 16:
        case 17: {
            FormShadow* form = FormShadowFind68KInChain(s, GetArgPtr(s, 0), nullptr);
            uint16_t index = 0;
            vantor::NativeFormLabel* label = LabelById(form, U16(s, 4), &index);
            if (selector == 16) {
                SetResultD0UInt8(s, label ? label->fontID : 0);
            } else if (label) {
                label->fontID = U8(s, 6);
                if (ObjectShadow* o = CachedObject(form, index); o && o->kind == kObjectLabel)
                    Write68KInt8(Addr(o->image), MORVEL_LABEL_IMAGE_FONT, static_cast<int8_t>(label->fontID));
            }
            return true;
        }
        case 23: {  // whether a table's column is masked, from its native column record
            const ObjectShadow* o = ObjectShadowOf(s, GetArgPtr(s, 0));
            const auto* table =
                o && o->kind == kObjectTable ? static_cast<const vantor::NativeTable*>(o->native) : nullptr;
            const int16_t column = I16(s, 4);
            SetResultD0UInt8(s, table && table->columns && column >= 0 && column < table->numColumns &&
                                        (table->columns[column].attr & vantor::kTableColumnMasked));
            return true;
        }
        default:
            return false;
    }
}

namespace {

}  // namespace

uint8_t GadgetHandlerTrampoline(void* gadget, uint16_t command, void* parameter) {
    if (command == 3) return 0;  // reaches 68K code only when the form shadow goes
    EmulState* s = GetCurrentContext();
    if (!s) return 0;
    const GadgetPlace at = FindGadget(s, gadget);
    if (!at.shadow || !GadgetHandlerCopy(at.shadow)) return 0;
    EmulState* owner = at.owner;
    uint8_t record[kEventRecord68KSize] = {};
    uint32_t param = Addr(parameter);
    if (command == 2 && parameter) {
        EventTo68K(owner, static_cast<SysEventType*>(parameter), Addr(record));
        param = Addr(record);
    }
    // The image shows the gadget as the UI library has it now.
    const uint32_t image = Addr(at.shadow->image);
    const uint32_t handler = GadgetHandlerCopy(at.shadow);
    NativeRect bounds{};
    Ui<void(void*, uint16_t, NativeRect*)>(ui::FrmGetObjectBounds, at.form->native, at.index, &bounds);
    const uint32_t data = Addr(Ui<void*(void*, uint16_t)>(ui::FrmGetGadgetData, at.form->native, at.index));
    Write68KUInt16(image, 0, Ui<uint16_t(void*, uint16_t)>(ui::FrmGetObjectId, at.form->native, at.index));
    Write68KUInt16(image, MORVEL_GADGET_IMAGE_ATTRIBUTES, GadgetAttributes68K(gadget));
    Write68KRect(&bounds, image + 4);
    Write68KUInt32(image, kGadgetImageData, data);
    Write68KUInt32(image, kGadgetImageHandler, handler);
    Write68KUInt32(owner->A[7] - 4, 0, param);
    Write68KUInt16(owner->A[7] - 6, 0, command);
    Write68KUInt32(owner->A[7] - 10, 0, image);
    Call68KCode(owner, handler, 10);
    const uint8_t result = static_cast<uint8_t>(owner->D[0]);
    // What the handler changed in the image reaches the gadget, unless the handler removed the
    // gadget or deleted its form meanwhile; a handler word of 0 takes the gadget's handler away.
    const GadgetPlace after = FindGadget(s, gadget);
    if (after.shadow != at.shadow) return result;
    uint16_t attributes = Read68KUInt16(image, MORVEL_GADGET_IMAGE_ATTRIBUTES);
    ConvertBitfield16(&attributes, kGadgetAttributesToNative);
    static_cast<vantor::NativeFormGadget*>(gadget)->attr = attributes;
    NativeRect now{};
    Read68KRect(&now, image + 4);
    if (std::memcmp(&now, &bounds, sizeof now) != 0)
        Ui<void(void*, uint16_t, const NativeRect*)>(ui::FrmSetObjectBounds, after.form->native, after.index,
                                                     &now);
    if (const uint32_t newData = Read68KUInt32(image, kGadgetImageData); newData != data)
        Ui<void(void*, uint16_t, void*)>(ui::FrmSetGadgetData, after.form->native, after.index, Ptr(newData));
    const uint32_t newHandler = Read68KUInt32(image, kGadgetImageHandler);
    SetGadgetHandlerCopy(after.shadow, newHandler);
    if (!newHandler)
        Ui<void(void*, uint16_t, void*)>(kUiSetGadgetHandler, after.form->native, after.index, nullptr);
    return result;
}

void FormGlueInstall(TrapHandler* t) {
    t[0x183] = TrapFrmGetObjectPtr;
    t[0x1A3] = TrapFrmGetGadgetData;
    t[0x1A4] = TrapFrmSetGadgetData;
    t[0x3D8] = TrapFrmSetGadgetHandler;
    t[0x16F] = TrapFrmInitForm;
    t[0x170] = TrapFrmDeleteForm;
    t[0x171] = TrapFrmDrawForm;
    t[0x445] = TrapFrmGetActiveField;
    t[0x172] = FormOnly<ui::FrmEraseForm>;
    t[0x173] = TrapFrmGetActiveForm;
    t[0x174] = FormOnly<ui::FrmSetActiveForm>;
    t[0x175] = TrapFrmActiveFormID;
    t[0x176] = FormTo8<ui::FrmGetUserModifiedState>;
    t[0x177] = FormOnly<ui::FrmSetNotUserModified>;
    t[0x178] = FormTo16<ui::FrmGetFocus>;
    t[0x179] = FormIndex<ui::FrmSetFocus>;
    t[0x17A] = TrapFrmHandleEvent;
    t[0x17D] = FormTo16<ui::FrmGetFormId>;
    t[0x17E] = TrapFrmGetFormPtr;
    t[0x17F] = FormTo16<ui::FrmGetNumberOfObjects>;
    t[0x180] = FormIndexTo16<ui::FrmGetObjectIndex>;
    t[0x181] = FormIndexTo16<ui::FrmGetObjectId>;
    t[0x182] = FormIndexTo16<ui::FrmGetObjectType>;
    t[0x184] = TrapFrmShowHide<kUiHideObject, false>;
    t[0x185] = TrapFrmShowHide<kUiShowObject, true>;
    t[0x186] = TrapFrmGetObjectPosition;
    t[0x18C] = TrapFrmCopyLabel;
    t[0x199] = TrapFrmGetObjectBounds;
    t[0x187] = TrapFrmSetObjectPosition;
    t[0x303] = TrapFrmSetObjectBounds;
    t[0x188] = FormIndexTo16<ui::FrmGetControlValue>;
    t[0x189] = FormIndexValue<ui::FrmSetControlValue>;
    t[0x18A] = TrapFrmGetControlGroupSelection;
    t[0x18B] = TrapFrmSetControlGroupSelection;
    t[0x18E] = TrapFrmGetLabel;
    t[0x190] = TrapFrmGetTitle;
    t[0x192] = TrapFrmAlert;
    t[0x193] = TrapFrmDoDialog;
    t[0x194] = TrapFrmCustomAlert;
    t[0x197] = TrapFrmGetFirstForm;
    t[0x198] = FormTo8<ui::FrmVisible>;
    t[0x19A] = TrapFrmCopyTitle;
    t[0x19B] = FormID<ui::FrmGotoForm>;
    t[0x19C] = FormID<ui::FrmPopupForm>;
    t[0x19D] = TrapFrmUpdateForm;
    t[0x19E] = FormID<ui::FrmReturnToForm>;
    t[0x19F] = TrapFrmSetEventHandler;
    t[0x1A1] = NoArgs<ui::FrmCloseAllForms>;
    t[0x1A2] = NoArgs<ui::FrmSaveAllForms>;
    t[0x32B] = TrapFrmNewForm;
    t[0x32F] = TrapFrmNewLabel;
    t[0x330] = TrapFrmNewBitmap;
    t[0x331] = TrapFrmNewGadget;
    t[0x3D4] = TrapFrmNewGsi;
    t[0x345] = TrapFrmRemoveObject;
    t[0x191] = TrapFrmSetTitle;
    t[0x17B] = TrapFrmGetFormBounds;
    t[0x454] = TrapFrmGetObjectIndexFromPtr;
    t[0x2D5] = TrapFrmPointInTitle;
    t[0x17C] = TrapFrmGetWindowHandle;
    t[0x327] = FormTo8<ui::FrmValidatePtr>;
    t[0x196] = TrapFrmUpdateScrollers;
    t[0x18F] = TrapFrmSetCategoryLabel;
    t[0x2F0] = TrapFrmSetMenu;
    t[0x33B] = TrapFrmActiveState;
    t[0x3D3] = TrapFrmCustomResponseAlert;
    t[0x195] = FormID<ui::FrmHelp>;
}

}  // namespace morvel
