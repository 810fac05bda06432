#include "morvel/traps/FieldGlue.h"

#include <cstring>
#include <map>
#include <mutex>

#include "common/module/UiSlots.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/EventGlue.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/ResourceTranslate.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;
namespace ui = vantor::uislot;

constexpr const char* kFile = "Field68K";
constexpr uint16_t kObjectField = 0;
// 68K code that reads a field's text pointer directly reads this instead of the text.
const char kNoDirectText[] = "Direct access to field->text no allowed";
const uint8_t kFieldAttributes[] = {1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 1, 1, 1, 1, 0};

template <typename Sig, typename... A>
auto Ui(uint16_t slotNumber, A... args) {
    return UiImport().Call<Sig>(slotNumber, args...);
}

// The table edit records, one per context that asked for one.
std::mutex gEditMutex;
std::map<EmulState*, ObjectShadow*> gEditRecords;
ObjectShadow* EditRecord(EmulState* s) {
    std::lock_guard lock(gEditMutex);
    auto it = gEditRecords.find(s);
    return it == gEditRecords.end() ? nullptr : it->second;
}

FormShadow* HeadOf(EmulState* s) {
    return *reinterpret_cast<FormShadow**>(&s->formShadows[0]);
}

// The field shadow whose image is at `image`, searched in every form shadow of the chain.
ObjectShadow* FindShadow(EmulState* s, uint32_t image, const void* native) {
    for (EmulState* c = s; c; c = c->parent)
        for (FormShadow* f = HeadOf(c); f; f = f->next) {
            auto** objects = static_cast<ObjectShadow**>(f->objects);
            for (uint32_t i = 0; objects && i < f->objectCount; ++i) {
                ObjectShadow* o = objects[i];
                if (!o || o->kind != kObjectField) continue;
                if (image ? Addr(o->image) == image : o->native == native) return o;
            }
        }
    return nullptr;
}

// (field) -> nothing.
template <uint16_t Slot>
void FieldOnly(EmulState* s, uint16_t) {
    if (void* f = FieldFromArg(s, 0)) Ui<void(void*)>(Slot, f);
}
// (field) -> 16-bit.
template <uint16_t Slot>
void FieldTo16(EmulState* s, uint16_t) {
    void* f = FieldFromArg(s, 0);
    SetResultD0UInt16(s, f ? Ui<uint16_t(void*)>(Slot, f) : 0);
}
// (field) -> 8-bit.
template <uint16_t Slot>
void FieldTo8(EmulState* s, uint16_t) {
    void* f = FieldFromArg(s, 0);
    SetResultD0UInt8(s, f ? Ui<uint8_t(void*)>(Slot, f) : 0);
}
// (field) -> pointer.
template <uint16_t Slot>
void FieldToPtr(EmulState* s, uint16_t) {
    void* f = FieldFromArg(s, 0);
    SetResultA0(s, f ? Addr(Ui<void*(void*)>(Slot, f)) : 0);
}
// (field, 16-bit) -> nothing.
template <uint16_t Slot>
void Field16(EmulState* s, uint16_t) {
    if (void* f = FieldFromArg(s, 0)) Ui<void(void*, uint16_t)>(Slot, f, U16(s, 4));
}
// (field, 8-bit) -> nothing.
template <uint16_t Slot>
void Field8(EmulState* s, uint16_t) {
    if (void* f = FieldFromArg(s, 0)) Ui<void(void*, uint8_t)>(Slot, f, U8(s, 4));
}
// (field, 16-bit, 16-bit) -> nothing.
template <uint16_t Slot>
void Field16x2(EmulState* s, uint16_t) {
    if (void* f = FieldFromArg(s, 0)) Ui<void(void*, uint16_t, uint16_t)>(Slot, f, U16(s, 4), U16(s, 6));
}
// (field, pointer) -> nothing.
template <uint16_t Slot>
void FieldPtr(EmulState* s, uint16_t) {
    if (void* f = FieldFromArg(s, 0)) Ui<void(void*, void*)>(Slot, f, P(s, 4));
}

void TrapFldInsert(EmulState* s, uint16_t) {
    void* f = FieldFromArg(s, 0);
    SetResultD0UInt8(
        s,
        f ? Ui<uint8_t(void*, const char*, uint16_t)>(ui::FldInsert, f, Str(GetArgPtr(s, 4)), U16(s, 8)) : 0);
}
void TrapFldSetText(EmulState* s, uint16_t) {
    if (void* f = FieldFromArg(s, 0))
        Ui<void(void*, void*, uint16_t, uint16_t)>(ui::FldSetText, f, P(s, 4), U16(s, 8), U16(s, 10));
}
void TrapFldScrollable(EmulState* s, uint16_t) {
    void* f = FieldFromArg(s, 0);
    SetResultD0UInt8(s, f ? Ui<uint8_t(void*, uint8_t)>(ui::FldScrollable, f, U8(s, 4)) : 0);
}
void TrapFldScrollField(EmulState* s, uint16_t) {
    if (void* f = FieldFromArg(s, 0))
        Ui<void(void*, uint16_t, uint8_t)>(ui::FldScrollField, f, U16(s, 4), U8(s, 6));
}
void TrapFldGetBounds(EmulState* s, uint16_t) {
    void* f = FieldFromArg(s, 0);
    const uint32_t out = GetArgPtr(s, 4);
    if (!f || !out) return;
    NativeRect r{};
    Ui<void(void*, NativeRect*)>(ui::FldGetBounds, f, &r);
    Write68KRect(&r, out);
}
void TrapFldSetBounds(EmulState* s, uint16_t) {
    ObjectShadow* shadow = nullptr;
    void* f = FieldFromArg(s, 0, &shadow);
    const uint32_t in = GetArgPtr(s, 4);
    if (!f || !in) return;
    NativeRect r{};
    Read68KRect(&r, in);
    Ui<void(void*, const NativeRect*)>(ui::FldSetBounds, f, &r);
    if (shadow) Write68KRect(&r, Addr(shadow->image) + kFieldImageBounds);
}
// Out-values through null 68K pointers are skipped.
void TrapFldGetSelection(EmulState* s, uint16_t) {
    void* f = FieldFromArg(s, 0);
    uint16_t start = 0, end = 0;
    if (f) Ui<void(void*, uint16_t*, uint16_t*)>(ui::FldGetSelection, f, &start, &end);
    if (uint32_t p = GetArgPtr(s, 4)) Write68KUInt16(p, 0, start);
    if (uint32_t p = GetArgPtr(s, 8)) Write68KUInt16(p, 0, end);
}
void TrapFldGetScrollValues(EmulState* s, uint16_t) {
    void* f = FieldFromArg(s, 0);
    uint16_t v[3] = {};
    if (f) Ui<void(void*, uint16_t*, uint16_t*, uint16_t*)>(ui::FldGetScrollValues, f, &v[0], &v[1], &v[2]);
    for (uint32_t i = 0; i < 3; ++i)
        if (uint32_t p = GetArgPtr(s, 4 + 4 * i)) Write68KUInt16(p, 0, v[i]);
}
void TrapFldGetAttributes(EmulState* s, uint16_t) {
    void* f = FieldFromArg(s, 0);
    const uint32_t out = GetArgPtr(s, 4);
    if (!f || !out) return;
    uint16_t native = 0;
    Ui<uint16_t(void*, uint16_t*)>(ui::FldGetAttributes, f, &native);
    Write68KUInt16(out, 0, Bitfield16To68K(native, kFieldAttributes));
}
void TrapFldSetAttributes(EmulState* s, uint16_t) {
    ObjectShadow* shadow = nullptr;
    void* f = FieldFromArg(s, 0, &shadow);
    const uint32_t in = GetArgPtr(s, 4);
    if (!f || !in) return;
    uint16_t word = Read68KUInt16(in, 0);
    if (shadow) FieldSetImageUsable(shadow, word & 0x8000);
    ConvertBitfield16(&word, kFieldAttributes);
    Ui<void(void*, const uint16_t*)>(ui::FldSetAttributes, f, &word);
}
void TrapFldSetUsable(EmulState* s, uint16_t) {
    ObjectShadow* shadow = nullptr;
    void* f = FieldFromArg(s, 0, &shadow);
    if (!f) return;
    const uint8_t usable = U8(s, 4);
    Ui<void(void*, uint8_t)>(ui::FldSetUsable, f, usable);
    if (shadow) FieldSetImageUsable(shadow, usable);
}
void TrapFldHandleEvent(EmulState* s, uint16_t) {
    void* f = FieldFromArg(s, 0);
    vantor::SysEventType event{};
    if (uint32_t p = GetArgPtr(s, 4)) EventToARM(s, &event, p);
    SetResultD0UInt8(s, f ? Ui<uint8_t(void*, vantor::SysEventType*)>(ui::FldHandleEvent, f, &event) : 0);
}
// (text, width) without a field.
void TrapFldCalcFieldHeight(EmulState* s, uint16_t) {
    SetResultD0UInt16(
        s, Ui<uint16_t(const char*, uint16_t)>(ui::FldCalcFieldHeight, Str(GetArgPtr(s, 0)), U16(s, 4)));
}
void TrapFldWordWrap(EmulState* s, uint16_t) {
    SetResultD0UInt16(s,
                      Ui<uint16_t(const char*, int16_t)>(ui::FldWordWrap, Str(GetArgPtr(s, 0)), I16(s, 4)));
}
void TrapFldNewField(EmulState* s, uint16_t) {
    const uint32_t formPtrAddress = GetArgPtr(s, 0);
    FormShadow* form =
        formPtrAddress ? FormShadowFind68KInChain(s, Read68KUInt32(formPtrAddress, 0), nullptr) : nullptr;
    if (!form) {
        SetResultA0(s, 0);
        return;
    }
    void* field = Ui<void*(void**, uint16_t, int16_t, int16_t, int16_t, int16_t, uint8_t, uint32_t, uint8_t,
                           uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t)>(
        ui::FldNewField, &form->native, U16(s, 4), I16(s, 6), I16(s, 8), I16(s, 10), I16(s, 12), U8(s, 14),
        U32(s, 16), U8(s, 20), U8(s, 22), U8(s, 24), U8(s, 26), U8(s, 28), U8(s, 30), U8(s, 32), U8(s, 34));
    SetResultA0(s, field ? FormShadowGrowObjects(s, form) : 0);
}

// The lookup parameters in native order: the same fields at the same offsets.
struct LookupParams {
    uint32_t title, pasteButtonText;
    char lookupString[12];
    uint8_t fields[4];  // the two fields to look up and match, and two flags
    uint32_t formatString, resultHandle, uniqueID;
};
static_assert(sizeof(LookupParams) == 36);

// PhoneNumberLookupCustom (field, parameters, use clipboard): the parameters go to the UI library in
// native order and come back, with what the lookup wrote into them.
void TrapPhoneNumberLookupCustom(EmulState* s, uint16_t) {
    void* field = FieldFromArg(s, 0);
    const uint32_t p = GetArgPtr(s, 4);
    if (!field) return;
    LookupParams params{};
    if (p) {
        params.title = Read68KUInt32(p, 0);
        params.pasteButtonText = Read68KUInt32(p, 4);
        const char* text = Str(p + 8);
        std::memcpy(params.lookupString, text, strnlen(text, sizeof params.lookupString));
        std::memcpy(params.fields, Mem(p + 20), 4);
        params.formatString = Read68KUInt32(p, 24);
        params.resultHandle = Read68KUInt32(p, 28);
        params.uniqueID = Read68KUInt32(p, 32);
    }
    Ui<void(void*, LookupParams*, uint8_t)>(ui::PhoneNumberLookupCustom, field, p ? &params : nullptr,
                                            U8(s, 8));
    if (!p) return;
    Write68KUInt32(p, 0, params.title);
    Write68KUInt32(p, 4, params.pasteButtonText);
    const size_t length = strnlen(params.lookupString, sizeof params.lookupString);
    std::memcpy(Mem(p + 8), params.lookupString, length);
    if (length < sizeof params.lookupString) Mem(p + 8)[length] = 0;
    std::memcpy(Mem(p + 20), params.fields, 4);
    Write68KUInt32(p, 24, params.formatString);
    Write68KUInt32(p, 28, params.resultHandle);
    Write68KUInt32(p, 32, params.uniqueID);
}

}  // namespace

void FieldImageFill(ObjectShadow* o) {
    const uint32_t image = Addr(o->image);
    NativeRect bounds{};
    uint16_t attributes = 0;
    Ui<void(void*, NativeRect*)>(ui::FldGetBounds, o->native, &bounds);
    Ui<uint16_t(void*, uint16_t*)>(ui::FldGetAttributes, o->native, &attributes);
    Write68KUInt16(image, 0, o->id);
    Write68KRect(&bounds, image + kFieldImageBounds);
    Write68KUInt16(image, kFieldImageAttributes, (attributes & 0x0001) ? 0x8000 : 0);
    Write68KUInt32(image, kFieldImageText, Addr(kNoDirectText));
    Write68KUInt16(image, kFieldImageTextLength, Ui<uint16_t(void*)>(ui::FldGetTextLength, o->native));
}

void FieldSetImageUsable(ObjectShadow* o, bool usable) {
    const uint32_t image = Addr(o->image);
    const uint16_t word = Read68KUInt16(image, kFieldImageAttributes);
    Write68KUInt16(image, kFieldImageAttributes,
                   static_cast<uint16_t>(usable ? word | 0x8000 : word & ~0x8000));
}

void FieldImageSync(ObjectShadow* o) {
    Ui<void(void*, uint8_t)>(ui::FldSetUsable, o->native,
                             (Read68KUInt16(Addr(o->image), kFieldImageAttributes) & 0x8000) ? 1 : 0);
}

void* FieldFromArg(EmulState* s, uint32_t offset, ObjectShadow** shadow) {
    const uint32_t image = GetArgPtr(s, offset);
    if (shadow) *shadow = nullptr;
    if (!image) return nullptr;
    for (EmulState* c = s; c; c = c->parent)
        if (ObjectShadow* edit = EditRecord(c); edit && Addr(edit->image) == image) {
            if (!edit->native) ErrDisplayFileLineMsg(kFile, 237, "NULL native field");
            if (shadow) *shadow = edit;
            return edit->native;
        }
    ObjectShadow* o = FindShadow(s, image, nullptr);
    if (!o) {
        ErrDisplayFileLineMsg(kFile, 247, "Form object (field) not found");
        return nullptr;
    }
    if (shadow) *shadow = o;
    return o->native;
}

uint32_t FieldImageOf(EmulState* s, const void* native) {
    if (!native) return 0;
    ObjectShadow* o = FindShadow(s, 0, native);
    if (o) return Addr(o->image);
    // Not asked for yet: the active form's shadow makes it.
    void* form = Ui<void*()>(ui::FrmGetActiveForm);
    FormShadow* shadow = form ? FormShadowFindNativeInChain(s, form, nullptr) : nullptr;
    if (!shadow) return 0;
    const uint16_t index =
        Ui<uint16_t(void*, void*)>(ui::FrmGetObjectIndexFromPtr, form, const_cast<void*>(native));
    ObjectShadow* made = ShadowTableAlloc(s, shadow, index);
    return made && made->kind == kObjectField ? Addr(made->image) : 0;
}

uint32_t FieldTableEditImage(EmulState* s, void* native) {
    ObjectShadow* edit = EditRecord(s);
    if (!edit) {
        edit = static_cast<ObjectShadow*>(ShadowNew(16 + 40));
        if (!edit) return 0;
        edit->prev = edit->next = nullptr;
        edit->id = 0;
        edit->kind = kObjectField;
        std::lock_guard lock(gEditMutex);
        gEditRecords[s] = edit;
    }
    edit->native = native;
    return Addr(edit->image);
}

void FieldTableEditFree(EmulState* s) {
    ObjectShadow* edit = nullptr;
    {
        std::lock_guard lock(gEditMutex);
        auto it = gEditRecords.find(s);
        if (it == gEditRecords.end()) return;
        edit = it->second;
        gEditRecords.erase(it);
    }
    ShadowFree(edit);
}

void FieldGlueInstall(TrapHandler* t) {
    t[0x152] = TrapFldCalcFieldHeight;
    t[0x154] = FieldOnly<ui::FldCompactText>;
    t[0x133] = FieldOnly<ui::FldCopy>;
    t[0x134] = FieldOnly<ui::FldCut>;
    t[0x15E] = Field16x2<ui::FldDelete>;
    t[0x155] = FieldTo8<ui::FldDirty>;
    t[0x135] = FieldOnly<ui::FldDrawField>;
    t[0x136] = FieldOnly<ui::FldEraseField>;
    t[0x137] = FieldOnly<ui::FldFreeMemory>;
    t[0x14F] = TrapFldGetAttributes;
    t[0x138] = TrapFldGetBounds;
    t[0x140] = FieldTo8<ui::FldGetFont>;
    t[0x145] = FieldTo16<ui::FldGetInsPtPosition>;
    t[0x15A] = FieldTo16<ui::FldGetMaxChars>;
    t[0x2E8] = FieldTo16<ui::FldGetNumberOfBlankLines>;
    t[0x148] = FieldTo16<ui::FldGetScrollPosition>;
    t[0x2DA] = TrapFldGetScrollValues;
    t[0x13A] = TrapFldGetSelection;
    t[0x14A] = FieldTo16<ui::FldGetTextAllocatedSize>;
    t[0x153] = FieldToPtr<ui::FldGetTextHandle>;
    t[0x149] = FieldTo16<ui::FldGetTextHeight>;
    t[0x14B] = FieldTo16<ui::FldGetTextLength>;
    t[0x139] = FieldToPtr<ui::FldGetTextPtr>;
    t[0x14E] = FieldTo16<ui::FldGetVisibleLines>;
    t[0x143] = FieldOnly<ui::FldGrabFocus>;
    t[0x13B] = TrapFldHandleEvent;
    t[0x15D] = TrapFldInsert;
    t[0x162] = FieldTo8<ui::FldMakeFullyVisible>;
    t[0x32D] = TrapFldNewField;
    t[0x2EF] = FieldOnly<ui::PhoneNumberLookup>;
    t[0x413] = TrapPhoneNumberLookupCustom;
    t[0x13C] = FieldOnly<ui::FldPaste>;
    t[0x13D] = Field8<ui::FldRecalculateField>;
    t[0x144] = FieldOnly<ui::FldReleaseFocus>;
    t[0x14D] = TrapFldScrollable;
    t[0x14C] = TrapFldScrollField;
    t[0x151] = FieldOnly<ui::FldSendChangeNotification>;
    t[0x161] = Field16x2<ui::FldSendHeightChangeNotification>;
    t[0x150] = TrapFldSetAttributes;
    t[0x13E] = TrapFldSetBounds;
    t[0x160] = Field8<ui::FldSetDirty>;
    t[0x141] = Field8<ui::FldSetFont>;
    t[0x302] = Field16<ui::FldSetInsertionPoint>;
    t[0x146] = Field16<ui::FldSetInsPtPosition>;
    t[0x15B] = Field16<ui::FldSetMaxChars>;
    t[0x458] = Field8<ui::FldSetMaxVisibleLines>;
    t[0x147] = Field16<ui::FldSetScrollPosition>;
    t[0x142] = Field16x2<ui::FldSetSelection>;
    t[0x13F] = TrapFldSetText;
    t[0x157] = Field16<ui::FldSetTextAllocatedSize>;
    t[0x158] = FieldPtr<ui::FldSetTextHandle>;
    t[0x159] = FieldPtr<ui::FldSetTextPtr>;
    t[0x15C] = TrapFldSetUsable;
    t[0x15F] = FieldOnly<ui::FldUndo>;
    t[0x156] = TrapFldWordWrap;
}

}  // namespace morvel
