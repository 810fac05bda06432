#include "morvel/traps/TableGlue.h"

#include <cstring>

#include "common/module/UiSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/EventGlue.h"
#include "morvel/traps/FieldGlue.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;
namespace ui = vantor::uislot;

constexpr const char* kFile = "Table68K";
constexpr uint16_t kObjectTable = 3;
constexpr uint16_t kObjectList = 2;
constexpr uint32_t kProcDraw = 0, kProcLoad = 1, kProcSave = 2;

template <typename Sig, typename... A>
auto Ui(uint16_t slotNumber, A... args) {
    return UiImport().Call<Sig>(slotNumber, args...);
}

// The three array pointers after the image, and the column count the arrays were made for.
uint32_t* ProcArray(ObjectShadow* o, uint32_t which) {
    uint32_t* pointers = reinterpret_cast<uint32_t*>(o->image + kTableImageBytes);
    return reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(pointers[which]));
}
uint16_t ShadowColumns(const ObjectShadow* o) {
    return Read68KUInt16(Addr(o->image), kTableImageColumns);
}

// The table shadow whose image is at `image` (or whose native table is `native`) in the chain.
ObjectShadow* FindShadow(EmulState* s, uint32_t image, const void* native, EmulState** owner = nullptr) {
    for (EmulState* c = s; c; c = c->parent)
        for (auto* f = *reinterpret_cast<FormShadow**>(&c->formShadows[0]); f; f = f->next) {
            auto** objects = static_cast<ObjectShadow**>(f->objects);
            for (uint32_t i = 0; objects && i < f->objectCount; ++i) {
                ObjectShadow* o = objects[i];
                if (!o || o->kind != kObjectTable) continue;
                if (image ? Addr(o->image) == image : o->native == native) {
                    if (owner) *owner = c;
                    return o;
                }
            }
        }
    return nullptr;
}

ObjectShadow* TableShadowFromArg(EmulState* s, uint32_t offset) {
    const uint32_t image = GetArgPtr(s, offset);
    if (!image) return nullptr;
    ObjectShadow* o = FindShadow(s, image, nullptr);
    if (!o) ErrDisplayFileLineMsg(kFile, 235, "Form object (table) not found");
    return o;
}
void* TableFromArg(EmulState* s, uint32_t offset) {
    ObjectShadow* o = TableShadowFromArg(s, offset);
    return o ? o->native : nullptr;
}

// The shadow of a native table the UI library calls back about: among the shadows made so far,
// else made now in the active form's shadow.
ObjectShadow* TableShadowForNative(void* table, EmulState** owner) {
    EmulState* s = GetCurrentContext();
    if (!s) return nullptr;
    if (ObjectShadow* o = FindShadow(s, 0, table, owner)) return o;
    void* form = Ui<void*()>(ui::FrmGetActiveForm);
    FormShadow* shadow = form ? FormShadowFindNativeInChain(s, form, owner) : nullptr;
    if (!shadow) {
        ErrDisplayFileLineMsg(kFile, 279, "No active form/shadow");
        return nullptr;
    }
    const uint16_t index = Ui<uint16_t(void*, void*)>(ui::FrmGetObjectIndexFromPtr, form, table);
    ObjectShadow* o = ShadowTableAlloc(*owner, shadow, index);
    return o && o->kind == kObjectTable ? o : nullptr;
}

uint32_t Procedure(ObjectShadow* o, uint32_t which, int16_t column) {
    if (!o || column < 0 || column >= ShadowColumns(o)) return 0;
    return ProcArray(o, which)[column];
}

// ---- trap shapes: (table, then 16-bit row/column arguments) ----

template <uint16_t Slot>
void Tbl(EmulState* s, uint16_t) {
    if (void* t = TableFromArg(s, 0)) Ui<void(void*)>(Slot, t);
}
template <uint16_t Slot>
void TblTo16(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    SetResultD0UInt16(s, t ? Ui<uint16_t(void*)>(Slot, t) : 0);
}
template <uint16_t Slot>
void TblTo8(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    SetResultD0UInt8(s, t ? Ui<uint8_t(void*)>(Slot, t) : 0);
}
template <uint16_t Slot>
void Tbl16(EmulState* s, uint16_t) {
    if (void* t = TableFromArg(s, 0)) Ui<void(void*, int16_t)>(Slot, t, I16(s, 4));
}
template <uint16_t Slot>
void Tbl16To16(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    SetResultD0UInt16(s, t ? Ui<uint16_t(void*, int16_t)>(Slot, t, I16(s, 4)) : 0);
}
template <uint16_t Slot>
void Tbl16To8(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    SetResultD0UInt8(s, t ? Ui<uint8_t(void*, int16_t)>(Slot, t, I16(s, 4)) : 0);
}
template <uint16_t Slot>
void Tbl16To32(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    SetResultD0UInt32(s, t ? Ui<uint32_t(void*, int16_t)>(Slot, t, I16(s, 4)) : 0);
}
template <uint16_t Slot>
void Tbl16x2(EmulState* s, uint16_t) {
    if (void* t = TableFromArg(s, 0)) Ui<void(void*, int16_t, int16_t)>(Slot, t, I16(s, 4), I16(s, 6));
}
template <uint16_t Slot>
void Tbl16x2To16(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    SetResultD0UInt16(s, t ? Ui<uint16_t(void*, int16_t, int16_t)>(Slot, t, I16(s, 4), I16(s, 6)) : 0);
}
template <uint16_t Slot>
void Tbl16x2To8(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    SetResultD0UInt8(s, t ? Ui<uint8_t(void*, int16_t, int16_t)>(Slot, t, I16(s, 4), I16(s, 6)) : 0);
}
template <uint16_t Slot>
void Tbl16x2ToPtr(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    SetResultA0(s, t ? Addr(Ui<void*(void*, int16_t, int16_t)>(Slot, t, I16(s, 4), I16(s, 6))) : 0);
}
// (table, 16-bit, 8-bit)
template <uint16_t Slot>
void Tbl16And8(EmulState* s, uint16_t) {
    if (void* t = TableFromArg(s, 0)) Ui<void(void*, int16_t, uint8_t)>(Slot, t, I16(s, 4), U8(s, 6));
}
// (table, 16-bit, 16-bit value)
template <uint16_t Slot>
void Tbl16And16(EmulState* s, uint16_t) {
    if (void* t = TableFromArg(s, 0)) Ui<void(void*, int16_t, uint16_t)>(Slot, t, I16(s, 4), U16(s, 6));
}
// (table, row, column, 8-bit)
template <uint16_t Slot>
void Tbl16x2And8(EmulState* s, uint16_t) {
    if (void* t = TableFromArg(s, 0))
        Ui<void(void*, int16_t, int16_t, uint8_t)>(Slot, t, I16(s, 4), I16(s, 6), U8(s, 8));
}
// (table, row, column, 16-bit)
template <uint16_t Slot>
void Tbl16x2And16(EmulState* s, uint16_t) {
    if (void* t = TableFromArg(s, 0))
        Ui<void(void*, int16_t, int16_t, int16_t)>(Slot, t, I16(s, 4), I16(s, 6), I16(s, 8));
}

void TrapTblHasScrollBar(EmulState* s, uint16_t) {
    if (void* t = TableFromArg(s, 0)) Ui<void(void*, uint8_t)>(ui::TblHasScrollBar, t, U8(s, 4));
}
void TrapTblSetRowData(EmulState* s, uint16_t) {
    if (void* t = TableFromArg(s, 0))
        Ui<void(void*, int16_t, uint32_t)>(ui::TblSetRowData, t, I16(s, 4), U32(s, 6));
}
// Out-values through null 68K pointers are skipped.
void TrapTblFindRowData(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    int16_t row = 0;
    const uint8_t found =
        t ? Ui<uint8_t(void*, uint32_t, int16_t*)>(ui::TblFindRowData, t, U32(s, 4), &row) : 0;
    if (uint32_t p = GetArgPtr(s, 8)) Write68KUInt16(p, 0, static_cast<uint16_t>(row));
    SetResultD0UInt8(s, found);
}
void TrapTblFindRowID(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    int16_t row = 0;
    const uint8_t found =
        t ? Ui<uint8_t(void*, uint16_t, int16_t*)>(ui::TblFindRowID, t, U16(s, 4), &row) : 0;
    if (uint32_t p = GetArgPtr(s, 6)) Write68KUInt16(p, 0, static_cast<uint16_t>(row));
    SetResultD0UInt8(s, found);
}
void TrapTblGetSelection(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    int16_t row = 0, column = 0;
    const uint8_t selected =
        t ? Ui<uint8_t(void*, int16_t*, int16_t*)>(ui::TblGetSelection, t, &row, &column) : 0;
    if (uint32_t p = GetArgPtr(s, 4)) Write68KUInt16(p, 0, static_cast<uint16_t>(row));
    if (uint32_t p = GetArgPtr(s, 8)) Write68KUInt16(p, 0, static_cast<uint16_t>(column));
    SetResultD0UInt8(s, selected);
}
void TrapTblGetItemBounds(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    const uint32_t out = GetArgPtr(s, 8);
    if (!t || !out) return;
    NativeRect r{};
    Ui<void(void*, int16_t, int16_t, NativeRect*)>(ui::TblGetItemBounds, t, I16(s, 4), I16(s, 6), &r);
    Write68KRect(&r, out);
}
void TrapTblGetBounds(EmulState* s, uint16_t) {
    ObjectShadow* o = TableShadowFromArg(s, 0);
    const uint32_t out = GetArgPtr(s, 4);
    if (!o) return;
    TableImageSync(o);
    if (!out) return;
    NativeRect r{};
    Ui<void(void*, NativeRect*)>(ui::TblGetBounds, o->native, &r);
    Write68KRect(&r, out);
}
void TrapTblSetBounds(EmulState* s, uint16_t) {
    ObjectShadow* o = TableShadowFromArg(s, 0);
    const uint32_t in = GetArgPtr(s, 4);
    if (!o || !in) return;
    NativeRect r{};
    Read68KRect(&r, in);
    Ui<void(void*, const NativeRect*)>(ui::TblSetBounds, o->native, &r);
    std::memcpy(o->image + kTableImageBounds, Mem(in), 8);
}
// Drawing first takes the bounds 68K code may have written into the image.
template <uint16_t Slot>
void TblSyncThen(EmulState* s, uint16_t) {
    ObjectShadow* o = TableShadowFromArg(s, 0);
    if (!o) return;
    TableImageSync(o);
    Ui<void(void*)>(Slot, o->native);
}
void TrapTblHandleEvent(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    vantor::SysEventType event{};
    if (uint32_t p = GetArgPtr(s, 4)) EventToARM(s, &event, p);
    SetResultD0UInt8(s, t ? Ui<uint8_t(void*, vantor::SysEventType*)>(ui::TblHandleEvent, t, &event) : 0);
}
void TrapTblGetCurrentField(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    void* field = t ? Ui<void*(void*)>(ui::TblGetCurrentField, t) : nullptr;
    SetResultA0(s, field ? FieldTableEditImage(s, field) : 0);
}
// An item pointer that is a 68K list pointer (a list's shadow image) becomes the native list: a
// list item of the table refers to a native list.
void TrapTblSetItemPtr(EmulState* s, uint16_t) {
    void* t = TableFromArg(s, 0);
    if (!t) return;
    const uint32_t p = GetArgPtr(s, 8);
    auto listOf = [s](uint32_t image) -> uint32_t {
        for (EmulState* c = s; c; c = c->parent)
            for (auto* f = *reinterpret_cast<FormShadow**>(&c->formShadows[0]); f; f = f->next) {
                auto** objects = static_cast<ObjectShadow**>(f->objects);
                for (uint32_t i = 0; objects && i < f->objectCount; ++i)
                    if (objects[i] && objects[i]->kind == kObjectList && Addr(objects[i]->image) == image)
                        return Addr(objects[i]->native);
            }
        return image;
    };
    Ui<void(void*, int16_t, int16_t, void*)>(ui::TblSetItemPtr, t, I16(s, 4), I16(s, 6),
                                             Ptr<void>(p ? listOf(p) : 0));
}

// TblSet{CustomDraw,LoadData,SaveData}Procedure: only a column the table had when its shadow was
// made has a procedure slot; the UI library gets a callback for no other column.
template <uint16_t Slot, uint32_t Which>
void TblSetProcedure(EmulState* s, uint16_t) {
    ObjectShadow* o = TableShadowFromArg(s, 0);
    const int16_t column = I16(s, 4);
    const uint32_t procedure = GetArgPtr(s, 6);
    if (!o || column < 0 || column >= ShadowColumns(o)) return;
    ProcArray(o, Which)[column] = procedure;
    void* trampoline = nullptr;
    if (procedure) {
        if constexpr (Which == kProcDraw)
            trampoline = reinterpret_cast<void*>(&TableDrawTrampoline);
        else if constexpr (Which == kProcLoad)
            trampoline = reinterpret_cast<void*>(&TableLoadTrampoline);
        else
            trampoline = reinterpret_cast<void*>(&TableSaveTrampoline);
    }
    Ui<void(void*, int16_t, void*)>(Slot, o->native, column, trampoline);
}

}  // namespace

uint32_t TableShadowSize(void* table) {
    return 104 + 12u * Ui<uint16_t(void*)>(ui::TblGetNumberOfColumns, table);
}

void TableImageFill(ObjectShadow* o) {
    const uint32_t image = Addr(o->image);
    const uint16_t columns = Ui<uint16_t(void*)>(ui::TblGetNumberOfColumns, o->native);
    NativeRect bounds{};
    Ui<void(void*, NativeRect*)>(ui::TblGetBounds, o->native, &bounds);
    Write68KUInt16(image, 0, o->id);
    Write68KRect(&bounds, image + kTableImageBounds);
    Write68KUInt16(image, 10, 0);
    Write68KUInt16(image, kTableImageColumns, columns);
    Write68KUInt16(image, kTableImageRows, Ui<uint16_t(void*)>(ui::TblGetNumberOfRows, o->native));
    Write68KUInt16(image, kTableImageTopRow, Ui<uint16_t(void*)>(ui::TblGetTopRow, o->native));
    // The three procedure arrays follow their pointers, zeroed.
    auto* pointers = reinterpret_cast<uint32_t*>(o->image + kTableImageBytes);
    auto* arrays = pointers + 3;
    for (uint32_t which = 0; which < 3; ++which) pointers[which] = Addr(arrays + which * columns);
    std::memset(arrays, 0, 12u * columns);
}

void TableImageSync(ObjectShadow* o) {
    NativeRect bounds{};
    Read68KRect(&bounds, Addr(o->image) + kTableImageBounds);
    Ui<void(void*, const NativeRect*)>(ui::TblSetBounds, o->native, &bounds);
}

void TableDrawTrampoline(void* table, int16_t row, int16_t column, const NativeRect* bounds) {
    EmulState* owner = nullptr;
    ObjectShadow* o = TableShadowForNative(table, &owner);
    const uint32_t procedure = Procedure(o, kProcDraw, column);
    if (!procedure) return;
    uint8_t rect[8] = {};
    if (bounds) Write68KRect(bounds, Addr(rect));
    Write68KUInt32(owner->A[7] - 4, 0, Addr(rect));
    Write68KUInt16(owner->A[7] - 6, 0, static_cast<uint16_t>(column));
    Write68KUInt16(owner->A[7] - 8, 0, static_cast<uint16_t>(row));
    Write68KUInt32(owner->A[7] - 12, 0, Addr(o->image));
    Call68KCode(owner, procedure, 12);
}

uint16_t TableLoadTrampoline(void* table, int16_t row, int16_t column, uint8_t editable, void** handle,
                             int16_t* offset, int16_t* size, void* field) {
    EmulState* owner = nullptr;
    ObjectShadow* o = TableShadowForNative(table, &owner);
    const uint32_t procedure = Procedure(o, kProcLoad, column);
    if (!procedure) return 0;
    // Buffers the procedure fills; one it leaves untouched answers 0.
    uint8_t sizeBuffer[4] = {}, offsetBuffer[4] = {}, handleBuffer[4] = {};
    const uint32_t a7 = owner->A[7];
    Write68KUInt32(a7 - 4, 0, field ? FieldTableEditImage(owner, field) : 0);
    Write68KUInt32(a7 - 8, 0, Addr(sizeBuffer));
    Write68KUInt32(a7 - 12, 0, Addr(offsetBuffer));
    Write68KUInt32(a7 - 16, 0, Addr(handleBuffer));
    Write68KUInt16(a7 - 18, 0, static_cast<uint16_t>(editable << 8));
    Write68KUInt16(a7 - 20, 0, static_cast<uint16_t>(column));
    Write68KUInt16(a7 - 22, 0, static_cast<uint16_t>(row));
    Write68KUInt32(a7 - 26, 0, Addr(o->image));
    Call68KCode(owner, procedure, 26);
    if (handle) *handle = Ptr<void>(Read68KUInt32(Addr(handleBuffer), 0));
    if (offset) *offset = static_cast<int16_t>(Read68KUInt16(Addr(offsetBuffer), 0));
    if (size) *size = static_cast<int16_t>(Read68KUInt16(Addr(sizeBuffer), 0));
    return static_cast<uint16_t>(owner->D[0]);
}

uint8_t TableSaveTrampoline(void* table, int16_t row, int16_t column) {
    EmulState* owner = nullptr;
    ObjectShadow* o = TableShadowForNative(table, &owner);
    const uint32_t procedure = Procedure(o, kProcSave, column);
    if (!procedure) return 0;
    Write68KUInt16(owner->A[7] - 2, 0, static_cast<uint16_t>(column));
    Write68KUInt16(owner->A[7] - 4, 0, static_cast<uint16_t>(row));
    Write68KUInt32(owner->A[7] - 8, 0, Addr(o->image));
    Call68KCode(owner, procedure, 8);
    return static_cast<uint8_t>(owner->D[0]);
}

void TableGlueInstall(TrapHandler* t) {
    t[0x1CA] = TblSyncThen<ui::TblDrawTable>;
    t[0x1E8] = TblTo8<ui::TblEditing>;
    t[0x1CB] = Tbl<ui::TblEraseTable>;
    t[0x1F2] = TrapTblFindRowData;
    t[0x1EF] = TrapTblFindRowID;
    t[0x1DA] = TrapTblGetBounds;
    t[0x1F1] = Tbl16To16<ui::TblGetColumnSpacing>;
    t[0x1DC] = Tbl16To16<ui::TblGetColumnWidth>;
    t[0x1E9] = TrapTblGetCurrentField;
    t[0x1CD] = TrapTblGetItemBounds;
    t[0x31E] = Tbl16x2To8<ui::TblGetItemFont>;
    t[0x1CF] = Tbl16x2To16<ui::TblGetItemInt>;
    t[0x3AA] = Tbl16x2ToPtr<ui::TblGetItemPtr>;
    t[0x1F0] = TblTo16<ui::TblGetLastUsableRow>;
    t[0x1D4] = TblTo16<ui::TblGetNumberOfRows>;
    t[0x451] = TblTo16<ui::TblGetNumberOfColumns>;
    t[0x1F3] = Tbl16To32<ui::TblGetRowData>;
    t[0x1EB] = Tbl16To16<ui::TblGetRowHeight>;
    t[0x1DD] = Tbl16To16<ui::TblGetRowID>;
    t[0x1E1] = TrapTblGetSelection;
    t[0x452] = TblTo16<ui::TblGetTopRow>;
    t[0x1ED] = Tbl16x2<ui::TblGrabFocus>;
    t[0x1CC] = TrapTblHandleEvent;
    t[0x2E6] = TrapTblHasScrollBar;
    t[0x1E2] = Tbl16<ui::TblInsertRow>;
    t[0x1DF] = Tbl16<ui::TblMarkRowInvalid>;
    t[0x1E0] = Tbl<ui::TblMarkTableInvalid>;
    t[0x1E5] = TblSyncThen<ui::TblRedrawTable>;
    t[0x1E7] = Tbl<ui::TblReleaseFocus>;
    t[0x1E3] = Tbl16<ui::TblRemoveRow>;
    t[0x1E4] = Tbl16To8<ui::TblRowInvalid>;
    t[0x3D2] = Tbl16To8<ui::TblRowMasked>;
    t[0x1D7] = Tbl16To8<ui::TblRowSelectable>;
    t[0x1E6] = Tbl16To8<ui::TblRowUsable>;
    t[0x1CE] = Tbl16x2<ui::TblSelectItem>;
    t[0x2EC] = TrapTblSetBounds;
    t[0x2D8] = Tbl16And8<ui::TblSetColumnEditIndicator>;
    t[0x3D0] = Tbl16And8<ui::TblSetColumnMasked>;
    t[0x1F5] = Tbl16And16<ui::TblSetColumnSpacing>;
    t[0x1EA] = Tbl16And8<ui::TblSetColumnUsable>;
    t[0x1EC] = Tbl16And16<ui::TblSetColumnWidth>;
    t[0x1D5] = TblSetProcedure<ui::TblSetCustomDrawProcedure, kProcDraw>;
    t[0x31F] = Tbl16x2And8<ui::TblSetItemFont>;
    t[0x1D0] = Tbl16x2And16<ui::TblSetItemInt>;
    t[0x1EE] = TrapTblSetItemPtr;
    t[0x1D1] = Tbl16x2And8<ui::TblSetItemStyle>;
    t[0x1D8] = TblSetProcedure<ui::TblSetLoadDataProcedure, kProcLoad>;
    t[0x1F4] = TrapTblSetRowData;
    t[0x1DB] = Tbl16And16<ui::TblSetRowHeight>;
    t[0x1DE] = Tbl16And16<ui::TblSetRowID>;
    t[0x3D1] = Tbl16And8<ui::TblSetRowMasked>;
    t[0x1D6] = Tbl16And8<ui::TblSetRowSelectable>;
    t[0x2E5] = Tbl16And8<ui::TblSetRowStaticHeight>;
    t[0x1D3] = Tbl16And8<ui::TblSetRowUsable>;
    t[0x1D9] = TblSetProcedure<ui::TblSetSaveDataProcedure, kProcSave>;
    t[0x453] = Tbl16x2<ui::TblSetSelection>;
    t[0x1D2] = Tbl<ui::TblUnhighlightSelection>;
}

}  // namespace morvel
