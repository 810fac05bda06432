#include "morvel/traps/ListGlue.h"

#include <cstring>

#include "common/module/UiSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/ControlGlue.h"
#include "morvel/traps/EventGlue.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;
using vantor::NativeList;
using vantor::SysEventType;

// UI library slots of lists and categories.
constexpr uint16_t kCategoryCreateList = 22, kCategoryEdit = 24, kCategoryFind = 27, kCategoryFreeList = 28,
                   kCategoryGetName = 30, kCategoryGetNext = 31, kCategoryInitialize = 32, kCategorySelect = 33,
                   kCategorySetName = 35, kCategorySetTriggerLabel = 36, kCategoryTruncateName = 37,
                   kCtlGetLabel = 44;
constexpr uint16_t kLstDrawList = 216, kLstEraseList = 217, kLstGetNumberOfItems = 218, kLstGetSelection = 219,
                   kLstGetSelectionText = 220, kLstGetTopItem = 221, kLstGetVisibleItems = 222,
                   kLstHandleEvent = 223, kLstMakeItemVisible = 224, kLstNewList = 225, kLstPopupList = 226,
                   kLstScrollList = 227, kLstSetDrawFunction = 228, kLstSetHeight = 229,
                   kLstSetListChoices = 230, kLstSetPosition = 231, kLstSetSelection = 232,
                   kLstSetTopItem = 233;
constexpr uint16_t kObjectList = 2;
// 68K list image offsets.
constexpr uint32_t kImgBounds = 2, kImgAttr = 10, kImgItems = 12, kImgCount = 16, kImgCurrent = 18, kImgTop = 20,
                   kImgFont = 22, kImgPopup = 24, kImgDraw = 28;
constexpr uint16_t kImgUsable = 0x8000, kImgSearch = 0x0400;

template <typename Sig, typename... A>
auto Ui(uint16_t slotNumber, A... args) {
    return UiImport().Call<Sig>(slotNumber, args...);
}

ListExtra* ExtraOf(ObjectShadow* o) { return reinterpret_cast<ListExtra*>(o->image + kListImageBytes); }

// The free-standing list: a private shadow (with its native list) lent to one 68K address.
ObjectShadow* FreeShadow(EmulState* s) { return static_cast<ObjectShadow*>(s->freeListShadow); }
ObjectShadow*& Cache(EmulState* s) { return *reinterpret_cast<ObjectShadow**>(&s->listCache); }

// The list shadows of the context's form shadows.
template <typename Visit>
ObjectShadow* EachFormList(EmulState* s, Visit visit) {
    for (auto* f = static_cast<FormShadow*>(s->formShadows[0]); f; f = f->next) {
        auto** objects = static_cast<ObjectShadow**>(f->objects);
        for (uint32_t i = 0; objects && i < f->objectCount; ++i)
            if (objects[i] && objects[i]->kind == kObjectList && visit(objects[i])) return objects[i];
    }
    return nullptr;
}

void FreeOwnedCopy(uint32_t image, ListExtra* x) {
    if (x->ownsCopy) {
        if (uint32_t copy = Read68KUInt32(image, kImgItems)) sys::MemChunkFree(Ptr(copy));
        x->ownsCopy = 0;
    }
}
void FreeNativeItems(ListExtra* x) {
    if (x->nativeItems) sys::MemChunkFree(x->nativeItems);
    x->nativeItems = nullptr;
}

// A 68K copy of the native item array, at image offset 12.
void ItemsTo68K(const NativeList* native, ListExtra* x, uint32_t image) {
    if (native->numItems <= 0 || !native->itemsText) return;
    const uint32_t count = static_cast<uint16_t>(native->numItems);
    auto* copy = static_cast<uint8_t*>(sys::MemPtrNew(4 * count));
    if (!copy) return;
    for (uint32_t i = 0; i < count; ++i) Write68KUInt32(Addr(copy), 4 * i, Addr(native->itemsText[i]));
    x->ownsCopy = 1;
    Write68KUInt32(image, kImgItems, Addr(copy));
}

void StateBack(uint32_t image, const NativeList* n, bool bounds, bool counts) {
    if (bounds) {
        NativeRect r;
        std::memcpy(&r, &n->bounds, sizeof r);
        Write68KRect(&r, image + kImgBounds);
    }
    if (counts) Write68KUInt16(image, kImgCount, static_cast<uint16_t>(n->numItems));
    Write68KUInt16(image, kImgCurrent, static_cast<uint16_t>(n->currentItem));
    Write68KUInt16(image, kImgTop, static_cast<uint16_t>(n->topItem));
}

// ---- traps ----

struct ListArg {
    NativeList* native = nullptr;
    uint32_t image = 0;
    ListExtra* extra = nullptr;
    ListArg(EmulState* s, uint32_t offset) { native = ListFromArg(s, offset, &image, &extra); }
};

template <uint16_t Slot, bool Sync = false>
void ListOnly(EmulState* s, uint16_t) {
    ListArg l(s, 0);
    if (!l.native) return;
    if constexpr (Sync) ListImageSync(l.image, l.native);
    Ui<void(NativeList*)>(Slot, l.native);
}
template <uint16_t Slot>
void ListTo16(EmulState* s, uint16_t) {
    ListArg l(s, 0);
    SetResultD0UInt16(s, l.native ? static_cast<uint16_t>(Ui<int16_t(NativeList*)>(Slot, l.native)) : 0);
}

void TrapLstGetSelectionText(EmulState* s, uint16_t) {
    ListArg l(s, 0);
    SetResultA0(s, l.native ? Addr(Ui<char*(NativeList*, int16_t)>(kLstGetSelectionText, l.native, I16(s, 4))) : 0);
}
void TrapLstHandleEvent(EmulState* s, uint16_t) {
    ListArg l(s, 0);
    SysEventType event{};
    if (uint32_t p = GetArgPtr(s, 4)) EventToARM(s, &event, p);
    uint8_t taken = 0;
    if (l.native) {
        taken = Ui<uint8_t(NativeList*, SysEventType*)>(kLstHandleEvent, l.native, &event);
        Write68KUInt16(l.image, kImgCurrent, static_cast<uint16_t>(l.native->currentItem));
    }
    SetResultD0UInt8(s, taken);
}
void TrapLstMakeItemVisible(EmulState* s, uint16_t) {
    ListArg l(s, 0);
    if (!l.native) return;
    Ui<void(NativeList*, int16_t)>(kLstMakeItemVisible, l.native, I16(s, 4));
    Write68KUInt16(l.image, kImgTop, static_cast<uint16_t>(l.native->topItem));
}
void TrapLstNewList(EmulState* s, uint16_t) {
    const uint32_t formPointer = GetArgPtr(s, 0);
    FormShadow* form = formPointer ? FormShadowFind68KInChain(s, Read68KUInt32(formPointer, 0), nullptr) : nullptr;
    if (!form) {
        SetResultD0UInt16(s, 0x0502);
        return;
    }
    const uint16_t err = Ui<uint16_t(void**, uint16_t, int16_t, int16_t, int16_t, int16_t, uint8_t, int16_t, int16_t)>(
        kLstNewList, &form->native, U16(s, 4), I16(s, 6), I16(s, 8), I16(s, 10), I16(s, 12), U8(s, 14), I16(s, 16),
        I16(s, 18));
    if (err == 0) FormShadowGrow(s, form);
    SetResultD0UInt16(s, err);
}
void TrapLstPopupList(EmulState* s, uint16_t) {
    ListArg l(s, 0);
    if (!l.native) {
        SetResultD0UInt16(s, 0xFFFF);
        return;
    }
    ListImageSync(l.image, l.native);
    const int16_t chosen = Ui<int16_t(NativeList*)>(kLstPopupList, l.native);
    StateBack(l.image, l.native, true, false);
    SetResultD0UInt16(s, static_cast<uint16_t>(chosen));
}
void TrapLstScrollList(EmulState* s, uint16_t) {
    ListArg l(s, 0);
    uint8_t moved = 0;
    if (l.native) {
        moved = Ui<uint8_t(NativeList*, uint8_t, int16_t)>(kLstScrollList, l.native, U8(s, 4), I16(s, 6));
        Write68KUInt16(l.image, kImgTop, static_cast<uint16_t>(l.native->topItem));
    }
    SetResultD0UInt8(s, moved);
}
void TrapLstSetDrawFunction(EmulState* s, uint16_t) {
    ListArg l(s, 0);
    if (!l.native) return;
    const uint32_t callback = GetArgPtr(s, 4);
    Write68KUInt32(l.image, kImgDraw, callback);
    Ui<void(NativeList*, void*)>(kLstSetDrawFunction, l.native,
                                 callback ? reinterpret_cast<void*>(&ListDrawTrampoline) : nullptr);
}
void TrapLstSetHeight(EmulState* s, uint16_t) {
    ListArg l(s, 0);
    if (!l.native) return;
    ListImageSync(l.image, l.native);
    Ui<void(NativeList*, int16_t)>(kLstSetHeight, l.native, I16(s, 4));
    StateBack(l.image, l.native, true, false);
}

// LstSetListChoices(list, items, count): the native list gets a native copy of a 68K item array
// that lies whole in memory the application owns; any other array installs no items.
void TrapLstSetListChoices(EmulState* s, uint16_t) {
    ListArg l(s, 0);
    if (!l.native) return;
    const uint32_t items = GetArgPtr(s, 4);
    const int16_t count = I16(s, 8);
    if (l.extra->ownsCopy && Read68KUInt32(l.image, kImgItems) != items) FreeOwnedCopy(l.image, l.extra);
    Write68KUInt32(l.image, kImgItems, items);
    FreeNativeItems(l.extra);
    char** native = nullptr;
    if (count > 0 && items && !(items & 1) &&
        ValidatePtr(s, items, false, true) >= 4u * static_cast<uint32_t>(count)) {
        native = static_cast<char**>(sys::MemPtrNew(4u * static_cast<uint32_t>(count)));
        for (int16_t i = 0; native && i < count; ++i) native[i] = Str(Read68KUInt32(items, 4u * i));
        l.extra->nativeItems = native;
    }
    Ui<void(NativeList*, char**, int16_t)>(kLstSetListChoices, l.native, native, native ? count : int16_t{0});
    StateBack(l.image, l.native, false, true);
}
void TrapLstSetPosition(EmulState* s, uint16_t) {
    ListArg l(s, 0);
    if (!l.native) return;
    Ui<void(NativeList*, int16_t, int16_t)>(kLstSetPosition, l.native, I16(s, 4), I16(s, 6));
    Write68KUInt16(l.image, kImgBounds, static_cast<uint16_t>(l.native->bounds.x));
    Write68KUInt16(l.image, kImgBounds + 2, static_cast<uint16_t>(l.native->bounds.y));
}
void TrapLstSetSelection(EmulState* s, uint16_t) {
    ListArg l(s, 0);
    if (!l.native) return;
    Ui<void(NativeList*, int16_t)>(kLstSetSelection, l.native, I16(s, 4));
    StateBack(l.image, l.native, false, false);
}
void TrapLstSetTopItem(EmulState* s, uint16_t) {
    ListArg l(s, 0);
    if (!l.native) return;
    Ui<void(NativeList*, int16_t)>(kLstSetTopItem, l.native, I16(s, 4));
    Write68KUInt16(l.image, kImgTop, static_cast<uint16_t>(l.native->topItem));
}

// ---- categories ----

void CategoryCreate(EmulState* s, uint8_t showUneditables, uint8_t uneditables, uint32_t editID, uint8_t resize) {
    void* db = P(s, 0);
    ListArg l(s, 4);
    if (!l.native) return;
    const uint8_t showAll = U8(s, 10);
    Ui<void(void*, NativeList*, uint16_t, uint8_t, uint8_t, uint8_t, uint32_t, uint8_t)>(
        kCategoryCreateList, db, l.native, U16(s, 8), showAll, showUneditables, uneditables, editID, resize);
    l.extra->showAll = showAll;
    FreeOwnedCopy(l.image, l.extra);
    Write68KUInt32(l.image, kImgItems, 0);
    ItemsTo68K(l.native, l.extra, l.image);
    StateBack(l.image, l.native, true, true);
}
void TrapCategoryCreateList(EmulState* s, uint16_t) { CategoryCreate(s, U8(s, 12), U8(s, 14), U32(s, 16), U8(s, 20)); }
void TrapCategoryCreateListV10(EmulState* s, uint16_t) { CategoryCreate(s, 1, 1, 10000, 1); }

void CategoryFree(EmulState* s, bool full) {
    void* db = P(s, 0);
    ListArg l(s, 4);
    if (!l.native) return;
    const uint8_t showAll = full ? U8(s, 8) : l.extra->showAll;
    const uint32_t editID = full ? U32(s, 10) : 0;
    l.extra->showAll = 0;
    Ui<void(void*, NativeList*, uint8_t, uint32_t)>(kCategoryFreeList, db, l.native, showAll, editID);
    FreeOwnedCopy(l.image, l.extra);
    Write68KUInt32(l.image, kImgItems, 0);
}
void TrapCategoryFreeList(EmulState* s, uint16_t) { CategoryFree(s, true); }
void TrapCategoryFreeListV10(EmulState* s, uint16_t) { CategoryFree(s, false); }

void CategoryEdit(EmulState* s, uint32_t titleID, uint8_t uneditables) {
    InOut16 category(GetArgPtr(s, 4));
    SetResultD0UInt8(s, Ui<uint8_t(void*, uint16_t*, uint32_t, uint8_t)>(kCategoryEdit, P(s, 0), category.Native(),
                                                                        titleID, uneditables));
    category.WriteBack();
}
void TrapCategoryEdit(EmulState* s, uint16_t) { CategoryEdit(s, U32(s, 8), U8(s, 12)); }
void TrapCategoryEditV20(EmulState* s, uint16_t) { CategoryEdit(s, U32(s, 8), 1); }
void TrapCategoryEditV10(EmulState* s, uint16_t) { CategoryEdit(s, 0x2715, 1); }

void CategorySelect(EmulState* s, uint8_t uneditables, uint32_t editID) {
    const uint32_t formImage = GetArgPtr(s, 4);
    void* form = FormNativeOf(s, formImage);
    const uint16_t triggerID = U16(s, 8);
    InOut16 category(GetArgPtr(s, 14));
    const uint8_t changed = Ui<uint8_t(void*, void*, uint16_t, uint16_t, uint8_t, uint16_t*, char*, uint8_t, uint32_t)>(
        kCategorySelect, P(s, 0), form, triggerID, U16(s, 10), U8(s, 12), category.Native(), Str(GetArgPtr(s, 18)),
        uneditables, editID);
    category.WriteBack();
    if (form && triggerID) ControlImageRefreshByID(s, formImage, triggerID);
    SetResultD0UInt8(s, changed);
}
void TrapCategorySelect(EmulState* s, uint16_t) { CategorySelect(s, U8(s, 22), U32(s, 24)); }
void TrapCategorySelectV10(EmulState* s, uint16_t) { CategorySelect(s, 1, 10001); }

void TrapCategorySetTriggerLabel(EmulState* s, uint16_t) {
    ObjectShadow* shadow = nullptr;
    void* control = ControlFromArg(s, 0, &shadow);
    if (!control) return;
    Ui<void(void*, char*)>(kCategorySetTriggerLabel, control, Str(GetArgPtr(s, 4)));
    ControlImageRefresh(shadow);
}
void TrapCategoryFind(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(void*, const char*)>(kCategoryFind, P(s, 0), Str(GetArgPtr(s, 4))));
}
void TrapCategoryGetName(EmulState* s, uint16_t) {
    Ui<void(void*, uint16_t, char*)>(kCategoryGetName, P(s, 0), U16(s, 4), Str(GetArgPtr(s, 6)));
}
void TrapCategoryGetNext(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(void*, int16_t)>(kCategoryGetNext, P(s, 0), I16(s, 4)));
}
void TrapCategoryInitialize(EmulState* s, uint16_t) {
    Ui<void(void*, uint16_t)>(kCategoryInitialize, P(s, 0), U16(s, 4));
}
void TrapCategorySetName(EmulState* s, uint16_t) {
    Ui<void(void*, uint16_t, const char*)>(kCategorySetName, P(s, 0), U16(s, 4), Str(GetArgPtr(s, 6)));
}
void TrapCategoryTruncateName(EmulState* s, uint16_t) {
    Ui<void(char*, uint16_t)>(kCategoryTruncateName, Str(GetArgPtr(s, 0)), U16(s, 4));
}

}  // namespace

// ---- list shadows ----

void ListImageFill(ObjectShadow* o) {
    auto* n = static_cast<NativeList*>(o->native);
    const uint32_t image = Addr(o->image);
    std::memset(o->image, 0, kListImageBytes);
    Write68KUInt16(image, 0, n->id);
    StateBack(image, n, true, true);
    uint16_t attr = (n->attr & vantor::kListUsable) ? kImgUsable : 0;
    if (n->attr & vantor::kListSearch) attr |= kImgSearch;
    Write68KUInt16(image, kImgAttr, attr);
    Write68KInt8(image, kImgFont, n->font);
    *ExtraOf(o) = ListExtra{nullptr, 0, 0, 0};
    ItemsTo68K(n, ExtraOf(o), image);
}

void ListImageSync(uint32_t image, NativeList* n) {
    NativeRect r;
    Read68KRect(&r, image + kImgBounds);
    std::memcpy(&n->bounds, &r, sizeof r);
    const uint16_t attr = Read68KUInt16(image, kImgAttr);
    n->attr = static_cast<uint16_t>((n->attr & ~(vantor::kListUsable | vantor::kListSearch)) |
                                    ((attr & kImgUsable) ? vantor::kListUsable : 0) |
                                    ((attr & kImgSearch) ? vantor::kListSearch : 0));
    n->font = Read68KInt8(image, kImgFont);
}

void ListShadowRelease(EmulState* s, ObjectShadow* o) {
    ListExtra* x = ExtraOf(o);
    FreeNativeItems(x);
    FreeOwnedCopy(Addr(o->image), x);
    if (Cache(s) == o) Cache(s) = nullptr;
}

void ListGlueFree(EmulState* s) {
    if (ObjectShadow* f = FreeShadow(s)) {
        FreeNativeItems(ExtraOf(f));
        if (Cache(s) == f) Cache(s) = nullptr;
        sys::MemChunkFree(f->native);
        sys::MemChunkFree(f);
    }
    s->freeListShadow = nullptr;
    s->freeListAddr = 0;
}

NativeList* ListFromArg(EmulState* s, uint32_t offset, uint32_t* image, ListExtra** extra) {
    const uint32_t p = GetArgPtr(s, offset);
    *image = p;
    *extra = nullptr;
    if (!p) return nullptr;
    for (EmulState* c = s; c; c = c->parent)
        if (ObjectShadow* o = EachFormList(c, [p](ObjectShadow* x) { return Addr(x->image) == p; })) {
            Cache(s) = o;
            *extra = ExtraOf(o);
            return static_cast<NativeList*>(o->native);
        }
    // A list of the application's own: the free-standing list stands for it.
    ObjectShadow* f = FreeShadow(s);
    if (!f) {
        f = static_cast<ObjectShadow*>(sys::MemPtrNew(kListShadowBytes));
        void* native = f ? sys::MemPtrNew(sizeof(NativeList)) : nullptr;
        if (!native) {
            if (f) sys::MemChunkFree(f);
            return nullptr;
        }
        std::memset(f, 0, kListShadowBytes);
        f->native = native;
        s->freeListShadow = f;
        s->freeListAddr = 0;
    }
    auto* n = static_cast<NativeList*>(f->native);
    if (s->freeListAddr != p) {
        FreeNativeItems(ExtraOf(f));
        void* keep = f->native;
        std::memset(f, 0, kListShadowBytes);
        std::memset(n, 0, sizeof *n);
        f->native = keep;
        f->kind = kObjectList;
        n->id = Read68KUInt16(p, 0);
        s->freeListAddr = p;
    } else {
        Ui<void(NativeList*, void*)>(kLstSetDrawFunction, n,
                                     Read68KUInt32(p, kImgDraw) ? reinterpret_cast<void*>(&ListDrawTrampoline) : nullptr);
    }
    Cache(s) = f;
    *extra = ExtraOf(f);
    return n;
}

uint32_t ListImageForNative(EmulState* s, const NativeList* native) {
    if (ObjectShadow* c = Cache(s); c && c->native == native) return c == FreeShadow(s) ? s->freeListAddr : Addr(c->image);
    if (ObjectShadow* f = FreeShadow(s); f && f->native == native && s->freeListAddr) return s->freeListAddr;
    ObjectShadow* o = EachFormList(s, [native](ObjectShadow* x) { return x->native == native; });
    return o ? Addr(o->image) : 0;
}

void ListDrawTrampoline(int16_t item, vantor::NativeUiRect* bounds, char** itemsText, NativeList* list) {
    EmulState* s = GetCurrentContext();
    EmulState* owner = nullptr;
    uint32_t image = 0;
    for (EmulState* c = s; c && !image; c = c->parent)
        if ((image = ListImageForNative(c, list))) owner = c;
    if (!image) return;
    const uint32_t callback = Read68KUInt32(image, kImgDraw);
    if (!callback) return;
    Write68KUInt16(image, kImgCurrent, static_cast<uint16_t>(list->currentItem));
    Write68KUInt16(image, kImgTop, static_cast<uint16_t>(list->topItem));
    uint8_t box[8] = {};
    if (bounds) {
        NativeRect r;
        std::memcpy(&r, bounds, sizeof r);
        Write68KRect(&r, Addr(box));
    }
    if (itemsText && !Read68KUInt32(image, kImgItems)) {
        // The copy belongs to the shadow that stands for this image.
        ObjectShadow* o = FreeShadow(owner) && owner->freeListAddr == image
                              ? FreeShadow(owner)
                              : EachFormList(owner, [image](ObjectShadow* x) { return Addr(x->image) == image; });
        if (o) ItemsTo68K(list, ExtraOf(o), image);
    }
    // The callback runs on the current 68K stack; D3 holds the item number meanwhile.
    const uint32_t saved = s->D[3];
    s->D[3] = static_cast<uint16_t>(item);
    Write68KUInt32(s->A[7] - 4, 0, Read68KUInt32(image, kImgItems));
    Write68KUInt32(s->A[7] - 8, 0, Addr(box));
    Write68KUInt16(s->A[7] - 10, 0, static_cast<uint16_t>(item));
    Call68KCode(s, callback, 10);
    s->D[3] = saved;
}

bool ListAccessorSelector(EmulState* s, uint16_t selector) {
    if (selector != 19 && selector != 20 && selector != 21 && selector != 22 && selector != 27) return false;
    ListArg l(s, 0);
    if (!l.native) return true;
    switch (selector) {
        case 19:
            SetResultD0UInt8(s, l.native->font);
            break;
        case 20:
            l.native->font = U8(s, 4);
            Write68KInt8(l.image, kImgFont, l.native->font);
            break;
        case 21:
            SetResultA0(s, Read68KUInt32(l.image, kImgItems));
            break;
        case 22: {
            const bool on = U8(s, 4) != 0;
            l.native->attr = static_cast<uint16_t>(on ? l.native->attr | vantor::kListSearch
                                                      : l.native->attr & ~vantor::kListSearch);
            const uint16_t attr = Read68KUInt16(l.image, kImgAttr);
            Write68KUInt16(l.image, kImgAttr, static_cast<uint16_t>(on ? attr | kImgSearch : attr & ~kImgSearch));
            break;
        }
        default:
            SetResultA0(s, Read68KUInt32(l.image, kImgDraw));
            break;
    }
    return true;
}

void ListGlueInstall(TrapHandler* t) {
    t[0x1B1] = ListOnly<kLstDrawList, true>;
    t[0x1B2] = ListOnly<kLstEraseList>;
    t[0x1BA] = ListTo16<kLstGetNumberOfItems>;
    t[0x1B3] = ListTo16<kLstGetSelection>;
    t[0x1B4] = TrapLstGetSelectionText;
    t[0x41B] = ListTo16<kLstGetTopItem>;
    t[0x2FF] = ListTo16<kLstGetVisibleItems>;
    t[0x1B5] = TrapLstHandleEvent;
    t[0x1B9] = TrapLstMakeItemVisible;
    t[0x32E] = TrapLstNewList;
    t[0x1BB] = TrapLstPopupList;
    t[0x2FB] = TrapLstScrollList;
    t[0x1B0] = TrapLstSetDrawFunction;
    t[0x1B6] = TrapLstSetHeight;
    t[0x1B8] = TrapLstSetListChoices;
    t[0x1BC] = TrapLstSetPosition;
    t[0x1B7] = TrapLstSetSelection;
    t[0x2B5] = TrapLstSetTopItem;
    t[0x2C3] = TrapCategoryCreateList;
    t[0x101] = TrapCategoryCreateListV10;
    t[0x322] = TrapCategoryEdit;
    t[0x2C5] = TrapCategoryEditV20;
    t[0x105] = TrapCategoryEditV10;
    t[0x103] = TrapCategoryFind;
    t[0x2C4] = TrapCategoryFreeList;
    t[0x102] = TrapCategoryFreeListV10;
    t[0x104] = TrapCategoryGetName;
    t[0x107] = TrapCategoryGetNext;
    t[0x2FC] = TrapCategoryInitialize;
    t[0x2C6] = TrapCategorySelect;
    t[0x106] = TrapCategorySelectV10;
    t[0x301] = TrapCategorySetName;
    t[0x108] = TrapCategorySetTriggerLabel;
    t[0x109] = TrapCategoryTruncateName;
}

}  // namespace morvel
