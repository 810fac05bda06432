// The stand-in UI library's form slots: forms built from their native resources, the open-form
// list and the active form, object queries, drawing, and the event path from the application's
// event loop to the form's handler and on to its objects (a tap on a button becomes a control-select
// event, a key goes to the field that has the focus).
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <list>
#include <memory>
#include <string_view>
#include <utility>

#include "common/FourCC.h"
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/ui/UiBitmap.h"
#include "standin/os/ui/UiForm.h"
#include "standin/os/ui/UiList.h"

namespace vantor::os::ui {
namespace {

namespace slot = uislot;
// Hiding and showing an object: UI slots 162 and 187.
constexpr uint16_t kUiHideObject = 162, kUiShowObject = 187;

struct Forms {
    std::list<std::unique_ptr<Form>> open;  // the newest first
    Form* active = nullptr;
};
Forms& F() {
    static Forms forms;
    return forms;
}

// Reads of a native record that never leave it.
struct Record {
    const uint8_t* p;
    uint32_t size;
    bool bad = false;
    uint16_t U16(uint32_t o) {
        if (o > size || size - o < 2) return bad = true, 0;
        uint16_t v;
        std::memcpy(&v, p + o, 2);
        return v;
    }
    uint32_t U32(uint32_t o) {
        if (o > size || size - o < 4) return bad = true, 0;
        uint32_t v;
        std::memcpy(&v, p + o, 4);
        return v;
    }
    uint8_t U8(uint32_t o) { return o < size ? p[o] : (bad = true, 0); }
    Rect RectAt(uint32_t o) {
        return Rect{static_cast<int16_t>(U16(o)), static_cast<int16_t>(U16(o + 2)),
                    static_cast<int16_t>(U16(o + 4)), static_cast<int16_t>(U16(o + 6))};
    }
    std::string Text(uint32_t o) {
        if (o >= size) return bad = true, std::string();
        const void* end = std::memchr(p + o, 0, size - o);
        return std::string(
            reinterpret_cast<const char*>(p + o),
            end ? static_cast<const char*>(end) - reinterpret_cast<const char*>(p + o) : size - o);
    }
};

void FreeObject(FormObject& o) {
    switch (o.kind) {
        case kFieldObject:
            delete static_cast<Field*>(o.native);
            break;
        case kControlObject:
            delete static_cast<Control*>(o.native);
            break;
        case kTableObject:
            delete static_cast<Table*>(o.native);
            break;
        case kLabelObject:
            delete static_cast<Label*>(o.native);
            break;
        case kTitleObject:
            delete static_cast<Title*>(o.native);
            break;
        case kBitmapObject:
            delete static_cast<FormBitmap*>(o.native);
            break;
        case kListObject:
            ListFree(static_cast<List*>(o.native));
            break;
        case kScrollBarObject:
            delete static_cast<ScrollBar*>(o.native);
            break;
        default:
            delete static_cast<RawObject*>(o.native);
            break;
    }
    o.native = nullptr;
}

// Builds a form from its native resource; null for a record that does not hold what it says.
std::unique_ptr<Form> Parse(const uint8_t* p, uint32_t size) {
    Record r{p, size};
    auto form = std::make_unique<Form>();
    form->bounds = r.RectAt(8);
    FormWindowSet(form.get(), false);
    form->attributes = r.U16(40);
    form->id = r.U16(52);
    form->defaultButton = r.U16(56);
    form->helpID = r.U16(58);
    form->menuID = r.U16(60);
    const uint16_t count = r.U16(62);
    for (uint16_t i = 0; i < count && !r.bad; ++i) {
        const uint32_t at = r.U32(68 + 8u * i);
        FormObject o;
        o.kind = r.U8(68 + 8u * i + 4);
        switch (o.kind) {
            case kFieldObject: {
                auto* f = new Field;
                f->bounds = r.RectAt(at);
                f->id = r.U16(at + 8);
                f->attributes = r.U16(at + 10);
                f->maxChars = r.U16(at + 28);
                f->font = r.U8(at + 38);
                f->maxVisibleLines = r.U8(at + 39);
                f->form = form.get();
                o.native = f;
                break;
            }
            case kControlObject: {
                auto* c = new Control;
                c->id = r.U16(at);
                c->attributes = r.U16(at + 2);
                c->bounds = r.RectAt(at + 4);
                c->style = r.U8(at + 16);
                c->font = r.U8(at + 17);
                c->group = r.U8(at + 18);
                if (!(c->attributes & 0x0200)) {
                    c->label = r.Text(at + 20);
                    c->text = c->label.data();
                } else {
                    const uint16_t ids[2] = {r.U16(at + 12), r.U16(at + 14)};
                    std::memcpy(&c->text, ids, 4);
                }
                c->form = form.get();
                o.native = c;
                break;
            }
            case kTableObject: {
                auto* t = new Table;
                t->id = r.U16(at);
                t->attributes = r.U16(at + 2);
                t->bounds = r.RectAt(at + 4);
                const uint16_t columns = r.U16(at + 12), rows = r.U16(at + 14);
                // Every record must lie in the resource before any is made.
                const uint64_t end =
                    uint64_t{at} + 76 + 20ull * columns + 12ull * rows + 8ull * rows * columns;
                if (end > size) {
                    r.bad = true;
                    delete t;
                    break;
                }
                uint32_t c = at + 76;
                for (uint16_t i = 0; i < columns; ++i, c += 20) {
                    TableColumn column;
                    column.width = r.U16(c);
                    column.spacing = r.U16(c + 2);
                    t->columns.push_back(column);
                    t->nativeColumns.push_back(vantor::NativeTableColumn{column.width, column.spacing, 0, {}});
                }
                t->numColumns = columns;
                t->columnRecords = t->nativeColumns.data();
                for (uint16_t i = 0; i < rows; ++i, c += 12) {
                    TableRow row;
                    row.id = r.U16(c);
                    row.height = r.U16(c + 2);
                    row.data = r.U32(c + 4);
                    const uint16_t attributes = r.U16(c + 8);
                    row.usable = attributes & 0x0080;
                    row.selectable = attributes & 0x8000;
                    t->rows.push_back(row);
                }
                for (uint32_t i = 0; i < uint32_t{rows} * columns; ++i, c += 8) {
                    TableItem item;
                    item.style = r.U8(c);
                    item.font = r.U8(c + 1);
                    item.intValue = static_cast<int16_t>(r.U16(c + 2));
                    t->items.push_back(item);
                }
                t->form = form.get();
                o.native = t;
                break;
            }
            case kLabelObject: {
                auto* l = new Label;
                l->x = static_cast<int16_t>(r.U16(at));
                l->y = static_cast<int16_t>(r.U16(at + 2));
                l->id = r.U16(at + 8);
                l->attributes = r.U16(at + 10);
                l->font = r.U8(at + 12);
                l->text = r.Text(at + 16);
                o.native = l;
                break;
            }
            case kTitleObject: {
                auto* t = new Title;
                t->bounds = r.RectAt(at);
                t->text = r.Text(at + 12);
                o.native = t;
                break;
            }
            case kBitmapObject: {
                auto* b = new FormBitmap;
                b->attributes = r.U16(at);
                b->rscID = r.U16(at + 2);
                b->x = static_cast<int16_t>(r.U16(at + 4));
                b->y = static_cast<int16_t>(r.U16(at + 6));
                o.native = b;
                break;
            }
            case kScrollBarObject: {
                auto* bar = new ScrollBar{};
                bar->bounds = NativeUiRect{static_cast<int16_t>(r.U16(at)), static_cast<int16_t>(r.U16(at + 2)),
                                           static_cast<int16_t>(r.U16(at + 4)), static_cast<int16_t>(r.U16(at + 6))};
                bar->id = r.U16(at + 8);
                bar->attr = static_cast<uint16_t>(r.U16(at + 10) & ~(kScrollBarRegionMask | kScrollBarHilighted));
                ScrollBarSetValues(bar, static_cast<int16_t>(r.U16(at + 12)), static_cast<int16_t>(r.U16(at + 14)),
                                   static_cast<int16_t>(r.U16(at + 16)), static_cast<int16_t>(r.U16(at + 18)));
                bar->form = form.get();
                o.native = bar;
                break;
            }
            case kListObject: {
                const uint32_t next = i + 1 < count ? r.U32(68 + 8u * (i + 1)) : size;
                List* list = at < size && next > at && next <= size ? ListFromRecord(p + at, next - at, form.get())
                                                                      : nullptr;
                if (!list) r.bad = true;
                o.native = list;
                break;
            }
            default: {
                auto* raw = new RawObject;
                switch (o.kind) {
                    case kGadgetObject:
                        raw->id = r.U16(at);
                        raw->attributes = r.U16(at + 2);
                        raw->bounds = r.RectAt(at + 4);
                        break;
                    case kPopupObject:
                        raw->id = r.U16(at);
                        raw->listID = r.U16(at + 2);
                        break;
                    default:
                        break;
                }
                const uint32_t next = i + 1 < count ? r.U32(68 + 8u * (i + 1)) : size;
                if (at < size && next > at && next <= size) raw->record.assign(p + at, p + next);
                o.native = raw;
                break;
            }
        }
        if (o.native) form->objects.push_back(o);
    }
    if (r.bad) {
        for (FormObject& o : form->objects) FreeObject(o);
        return nullptr;
    }
    return form;
}

// A gadget's handler commands.
constexpr uint16_t kGadgetDraw = 0, kGadgetHandleEvent = 2, kGadgetDelete = 3;
constexpr uint16_t kGadgetEnter = 0x0803;
using GadgetHandler = uint8_t (*)(void* gadget, uint16_t command, void* parameter);

uint8_t CallGadget(FormObject& o, uint16_t command, void* parameter) {
    auto* raw = static_cast<RawObject*>(o.native);
    if (o.kind != kGadgetObject || !raw->handler) return 0;
    return reinterpret_cast<GadgetHandler>(raw->handler)(raw, command, parameter);
}

void DeleteForm(Form* form) {
    auto& f = F();
    if (f.active == form) f.active = nullptr;
    for (auto it = f.open.begin(); it != f.open.end(); ++it) {
        if (it->get() != form) continue;
        for (FormObject& o : form->objects) CallGadget(o, kGadgetDelete, nullptr);
        for (FormObject& o : form->objects) FreeObject(o);
        f.open.erase(it);
        return;
    }
}

bool IsForm(const Form* form) {
    if (!form) return false;
    for (const auto& f : F().open)
        if (f.get() == form) return true;
    return false;
}

FormObject* ObjectAt(Form* form, uint16_t index) {
    return IsForm(form) && index < form->objects.size() ? &form->objects[index] : nullptr;
}

void DrawObject(FormObject& o) {
    switch (o.kind) {
        case kFieldObject:
            FieldDraw(static_cast<Field*>(o.native));
            break;
        case kControlObject:
            ControlDraw(static_cast<Control*>(o.native));
            break;
        case kTableObject:
            TableDraw(static_cast<Table*>(o.native));
            break;
        case kListObject:
            ListDraw(static_cast<List*>(o.native));
            break;
        case kBitmapObject: {
            auto* b = static_cast<FormBitmap*>(o.native);
            if (b->attributes & 0x0001) DrawBitmapResource(b->rscID, b->x, b->y);
            break;
        }
        case kLabelObject: {
            auto* l = static_cast<Label*>(o.native);
            if (l->attributes & 0x0001) DrawText(l->x, l->y, l->text.data(), l->text.size(), kBlack, kWhite);
            break;
        }
        case kTitleObject: {
            auto* t = static_cast<Title*>(o.native);
            FillRect(Rect{0, 0, 160, 13}, kDarkBlue);
            DrawText(4, 3, t->text.data(), t->text.size(), kWhite, kDarkBlue);
            break;
        }
        case kGadgetObject:
            CallGadget(o, kGadgetDraw, nullptr);  // a gadget is what its handler draws
            break;
        case kScrollBarObject:
            ScrollBarDraw(static_cast<ScrollBar*>(o.native));
            break;
        default:
            break;  // the kinds drawn by their own parts of the library
    }
}

// Without a screen nothing is painted, but the application's draw callbacks still run.
void DrawForm(Form* form) {
    Rect area = form->bounds;
    if (area.w <= 0 || area.h <= 0) area = Rect{0, 0, 160, 160};
    FillRect(area, kWhite);
    for (FormObject& o : form->objects) DrawObject(o);
    form->drawn = true;
}

Field* FocusField(Form* form) {
    FormObject* o = form ? ObjectAt(form, form->focus) : nullptr;
    if (o && o->kind == kFieldObject) return static_cast<Field*>(o->native);
    // Without a focus, keys go to the first editable field.
    if (!form) return nullptr;
    for (FormObject& each : form->objects)
        if (each.kind == kFieldObject) {
            auto* field = static_cast<Field*>(each.native);
            if (field->Usable() && field->Editable()) return field;
        }
    return nullptr;
}

// The pen's events go to the scroll bar of the form that holds it, until it goes up: true when the
// bar took the event.
bool TakenByScrollBar(Form* form, const SysEventType* event) {
    if (event->eType != kPenDown && event->eType != kPenMove && event->eType != kPenUp) return false;
    for (FormObject& o : form->objects)
        if (o.kind == kScrollBarObject && ScrollBarTracking(static_cast<ScrollBar*>(o.native)))
            return ScrollBarHandleEvent(static_cast<ScrollBar*>(o.native), event);
    return false;
}

uint8_t HandleEvent(Form* form, SysEventType* event) {
    if (!IsForm(form) || !event) return 0;
    if (TakenByScrollBar(form, event)) return 1;
    if (event->eType == kSclEnter) {
        for (FormObject& o : form->objects)
            if (o.kind == kScrollBarObject && ScrollBarHandleEvent(static_cast<ScrollBar*>(o.native), event)) return 1;
        return 0;
    }
    if (event->eType == kPenDown) {
        const int16_t x = ScreenToUi(event->screenX), y = ScreenToUi(event->screenY);
        for (size_t i = 0; i < form->objects.size(); ++i) {
            FormObject& o = form->objects[i];
            if (o.kind == kControlObject) {
                auto* c = static_cast<Control*>(o.native);
                if (!(c->attributes & 0x0001) || !(c->attributes & 0x0002) || !c->bounds.Contains(x, y))
                    continue;
                SysEventType select{};
                select.eType = kCtlSelect;
                std::memcpy(select.data, &c->id, 2);
                std::memcpy(select.data + 4, &o.native, 4);
                select.data[8] = (c->attributes & 0x0008) ? 1 : 0;
                PostEvent(select);
                return 1;
            }
            if (o.kind == kListObject && ListPen(static_cast<List*>(o.native), x, y)) return 1;
            if (o.kind == kScrollBarObject && ScrollBarHandleEvent(static_cast<ScrollBar*>(o.native), event)) return 1;
            // A tap in a gadget with a handler is its handler's, as a gadget-enter event.
            if (o.kind == kGadgetObject && static_cast<RawObject*>(o.native)->handler &&
                static_cast<RawObject*>(o.native)->bounds.Contains(x, y)) {
                auto* raw = static_cast<RawObject*>(o.native);
                SysEventType enter = *event;
                enter.eType = kGadgetEnter;
                std::memset(enter.data, 0, sizeof enter.data);
                std::memcpy(enter.data, &raw->id, 2);
                std::memcpy(enter.data + 4, &o.native, 4);
                return CallGadget(o, kGadgetHandleEvent, &enter) ? 1 : 0;
            }
            if (o.kind == kFieldObject) {
                auto* field = static_cast<Field*>(o.native);
                if (!field->Usable() || !field->bounds.Contains(x, y)) continue;
                form->focus = static_cast<uint16_t>(i);
                return 1;
            }
        }
        return 0;
    }
    if (event->eType == kKeyDown) {
        uint16_t character;
        std::memcpy(&character, event->data, 2);
        Field* field = FocusField(form);
        return field && FieldKey(field, character) ? 1 : 0;
    }
    return 0;
}

// ---- slots ----

void* StandinFrmInitForm(uint16_t id) {
    void* handle = OsCall<syssig::DmGetResource>(sysslot::DmGetResource, FourCC("afrm"), id);
    if (!handle) return nullptr;
    auto* p = static_cast<const uint8_t*>(OsCall<void*(void*)>(sysslot::MemHandleLock, handle));
    const uint32_t size = OsCall<uint32_t(void*)>(sysslot::MemHandleSize, handle);
    std::unique_ptr<Form> form = p ? Parse(p, size) : nullptr;
    if (p) OsCall<uint16_t(void*)>(sysslot::MemHandleUnlock, handle);
    if (!form) return nullptr;
    Form* made = form.get();
    F().open.push_front(std::move(form));
    return made;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmInitForm, StandinFrmInitForm)

void StandinFrmDeleteForm(Form* form) {
    DeleteForm(form);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmDeleteForm, StandinFrmDeleteForm)

void StandinFrmCloseAllForms() {
    while (!F().open.empty()) DeleteForm(F().open.front().get());
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmCloseAllForms, StandinFrmCloseAllForms)

// Lets every open form save what the user entered (a save event to its handler), the oldest first.
// A form's handler runs with its form active, as the application's handler takes the active form
// for its own; a form a handler closed meanwhile is skipped.
void StandinFrmSaveAllForms() {
    std::vector<Form*> forms;
    for (const auto& f : F().open) forms.insert(forms.begin(), f.get());
    Form* const active = F().active;
    for (Form* form : forms) {
        if (!IsForm(form) || !form->handler) continue;
        SysEventType save{};
        save.eType = kFrmSave;
        F().active = form;
        form->handler(&save);
        if (F().active == form) F().active = IsForm(active) ? active : nullptr;
    }
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmSaveAllForms, StandinFrmSaveAllForms)

void StandinFrmDrawForm(Form* form) {
    if (IsForm(form)) DrawForm(form);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmDrawForm, StandinFrmDrawForm)

void StandinFrmEraseForm(Form* form) {
    if (!IsForm(form)) return;
    FillRect(form->bounds, kWhite);
    form->drawn = false;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmEraseForm, StandinFrmEraseForm)

Form* StandinFrmGetActiveForm() {
    return F().active;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetActiveForm, StandinFrmGetActiveForm)

void StandinFrmSetActiveForm(Form* form) {
    if (IsForm(form)) F().active = form;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmSetActiveForm, StandinFrmSetActiveForm)

uint16_t StandinFrmGetActiveFormID() {
    return F().active ? F().active->id : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetActiveFormID, StandinFrmGetActiveFormID)

Form* StandinFrmGetFirstForm() {
    return F().open.empty() ? nullptr : F().open.front().get();
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetFirstForm, StandinFrmGetFirstForm)

Form* StandinFrmGetFormPtr(uint16_t id) {
    return FindForm(id);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetFormPtr, StandinFrmGetFormPtr)

uint16_t StandinFrmGetFormId(Form* form) {
    return IsForm(form) ? form->id : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetFormId, StandinFrmGetFormId)

uint16_t StandinFrmGetNumberOfObjects(Form* form) {
    return IsForm(form) ? static_cast<uint16_t>(form->objects.size()) : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetNumberOfObjects, StandinFrmGetNumberOfObjects)

uint16_t StandinFrmGetObjectId(Form* form, uint16_t index) {
    FormObject* o = ObjectAt(form, index);
    return o ? ObjectID(*o) : 0xFFFF;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetObjectId, StandinFrmGetObjectId)

// The index of the object with that ID; 0xFFFF (frmInvalidObjectId) when there is none.
uint16_t StandinFrmGetObjectIndex(Form* form, uint16_t id) {
    if (!IsForm(form)) return 0xFFFF;
    for (size_t i = 0; i < form->objects.size(); ++i)
        if (form->objects[i].kind != kTitleObject && ObjectID(form->objects[i]) == id)
            return static_cast<uint16_t>(i);
    return 0xFFFF;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetObjectIndex, StandinFrmGetObjectIndex)

uint16_t StandinFrmGetObjectIndexFromPtr(Form* form, void* object) {
    if (!IsForm(form)) return 0xFFFF;
    for (size_t i = 0; i < form->objects.size(); ++i)
        if (form->objects[i].native == object) return static_cast<uint16_t>(i);
    return 0xFFFF;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetObjectIndexFromPtr, StandinFrmGetObjectIndexFromPtr)

void* StandinFrmGetObjectPtr(Form* form, uint16_t index) {
    FormObject* o = ObjectAt(form, index);
    return o ? o->native : nullptr;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::UiEntry154, StandinFrmGetObjectPtr)

uint16_t StandinFrmGetObjectType(Form* form, uint16_t index) {
    FormObject* o = ObjectAt(form, index);
    return o ? o->kind : 0xFFFF;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetObjectType, StandinFrmGetObjectType)

void StandinFrmGetObjectBounds(Form* form, uint16_t index, Rect* bounds) {
    FormObject* o = ObjectAt(form, index);
    if (bounds) *bounds = o ? ObjectBounds(*o) : Rect{};
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetObjectBounds, StandinFrmGetObjectBounds)

void StandinFrmGetObjectPosition(Form* form, uint16_t index, int16_t* x, int16_t* y) {
    FormObject* o = ObjectAt(form, index);
    const Rect r = o ? ObjectBounds(*o) : Rect{};
    if (x) *x = r.x;
    if (y) *y = r.y;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetObjectPosition, StandinFrmGetObjectPosition)

const char* StandinFrmGetLabel(Form* form, uint16_t id) {
    FormObject* o = ObjectAt(form, StandinFrmGetObjectIndex(form, id));
    return o && o->kind == kLabelObject ? static_cast<Label*>(o->native)->text.c_str() : nullptr;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetLabel, StandinFrmGetLabel)

// A label's new text, drawn over the old one.
void StandinFrmCopyLabel(Form* form, uint16_t id, const char* text) {
    FormObject* o = ObjectAt(form, StandinFrmGetObjectIndex(form, id));
    if (!o || o->kind != kLabelObject || !text) return;
    auto* label = static_cast<Label*>(o->native);
    if (form->drawn) FillRect(ObjectBounds(*o), kWhite);
    label->text = std::string(text, strnlen(text, 256));
    if (form->drawn) DrawObject(*o);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::UiEntry127, StandinFrmCopyLabel)

const char* StandinFrmGetTitle(Form* form) {
    if (!IsForm(form)) return nullptr;
    for (FormObject& o : form->objects)
        if (o.kind == kTitleObject) return static_cast<Title*>(o.native)->text.c_str();
    return nullptr;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetTitle, StandinFrmGetTitle)

void* StandinFrmGetGadgetData(Form* form, uint16_t index) {
    FormObject* o = ObjectAt(form, index);
    return o && o->kind == kGadgetObject ? static_cast<RawObject*>(o->native)->data : nullptr;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetGadgetData, StandinFrmGetGadgetData)

void StandinFrmSetGadgetData(Form* form, uint16_t index, void* data) {
    FormObject* o = ObjectAt(form, index);
    if (o && o->kind == kGadgetObject) static_cast<RawObject*>(o->native)->data = data;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmSetGadgetData, StandinFrmSetGadgetData)

void StandinFrmSetEventHandler(Form* form, FormEventHandler handler) {
    if (IsForm(form)) form->handler = handler;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmSetEventHandler, StandinFrmSetEventHandler)

uint16_t StandinFrmGetFocus(Form* form) {
    return IsForm(form) ? form->focus : 0xFFFF;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetFocus, StandinFrmGetFocus)

void StandinFrmSetFocus(Form* form, uint16_t index) {
    if (!IsForm(form)) return;
    const uint16_t old = form->focus;
    form->focus = index < form->objects.size() ? index : 0xFFFF;
    for (uint16_t i : {old, form->focus})
        if (FormObject* o = ObjectAt(form, i); o && o->kind == kFieldObject && form->drawn)
            FieldDraw(static_cast<Field*>(o->native));
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmSetFocus, StandinFrmSetFocus)

// An object's attribute word, whose bit 0 is its usable bit, for the kinds that have one.
uint16_t* UsableWord(FormObject& o) {
    switch (o.kind) {
        case kFieldObject:
            return &static_cast<Field*>(o.native)->attributes;
        case kControlObject:
            return &static_cast<Control*>(o.native)->attributes;
        case kLabelObject:
            return &static_cast<Label*>(o.native)->attributes;
        case kBitmapObject:
            return &static_cast<FormBitmap*>(o.native)->attributes;
        case kScrollBarObject:
            return &static_cast<ScrollBar*>(o.native)->attr;
        default:
            return nullptr;
    }
}

void StandinFrmHideObject(Form* form, uint16_t index) {
    FormObject* o = ObjectAt(form, index);
    uint16_t* word = o ? UsableWord(*o) : nullptr;
    if (!word) return;
    if (form->drawn) FillRect(ObjectBounds(*o), kWhite);
    *word = static_cast<uint16_t>(*word & ~1u);
}
VANTOR_OS_LIBRARY_SLOT(Ui, kUiHideObject, StandinFrmHideObject)

void StandinFrmShowObject(Form* form, uint16_t index) {
    FormObject* o = ObjectAt(form, index);
    uint16_t* word = o ? UsableWord(*o) : nullptr;
    if (!word) return;
    *word = static_cast<uint16_t>(*word | 1u);
    if (form->drawn) DrawObject(*o);
}
VANTOR_OS_LIBRARY_SLOT(Ui, kUiShowObject, StandinFrmShowObject)

void StandinFrmSetObjectPosition(Form* form, uint16_t index, int16_t x, int16_t y) {
    FormObject* o = ObjectAt(form, index);
    if (!o) return;
    switch (o->kind) {
        case kFieldObject:
            static_cast<Field*>(o->native)->bounds.x = x, static_cast<Field*>(o->native)->bounds.y = y;
            break;
        case kControlObject:
            static_cast<Control*>(o->native)->bounds.x = x, static_cast<Control*>(o->native)->bounds.y = y;
            break;
        case kTableObject:
            static_cast<Table*>(o->native)->bounds.x = x, static_cast<Table*>(o->native)->bounds.y = y;
            break;
        case kLabelObject:
            static_cast<Label*>(o->native)->x = x, static_cast<Label*>(o->native)->y = y;
            break;
        case kTitleObject:
            break;
        case kBitmapObject:
            static_cast<FormBitmap*>(o->native)->x = x, static_cast<FormBitmap*>(o->native)->y = y;
            break;
        case kScrollBarObject:
            static_cast<ScrollBar*>(o->native)->bounds.x = x, static_cast<ScrollBar*>(o->native)->bounds.y = y;
            break;
        default:
            static_cast<RawObject*>(o->native)->bounds.x = x,
            static_cast<RawObject*>(o->native)->bounds.y = y;
            break;
    }
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmSetObjectPosition, StandinFrmSetObjectPosition)

void StandinFrmSetObjectBounds(Form* form, uint16_t index, const Rect* r) {
    FormObject* o = ObjectAt(form, index);
    if (!o || !r) return;
    switch (o->kind) {
        case kFieldObject:
            static_cast<Field*>(o->native)->bounds = *r;
            break;
        case kControlObject:
            static_cast<Control*>(o->native)->bounds = *r;
            break;
        case kTableObject:
            static_cast<Table*>(o->native)->bounds = *r;
            break;
        case kGadgetObject:
            static_cast<RawObject*>(o->native)->bounds = *r;
            break;
        case kScrollBarObject:
            static_cast<ScrollBar*>(o->native)->bounds = NativeUiRect{r->x, r->y, r->w, r->h};
            break;
        default:
            StandinFrmSetObjectPosition(form, index, r->x, r->y);
            break;
    }
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmSetObjectBounds, StandinFrmSetObjectBounds)

Field* StandinFrmGetActiveField(Form* form) {
    if (!form) form = F().active;
    FormObject* o = ObjectAt(form, form ? form->focus : 0xFFFF);
    return o && o->kind == kFieldObject ? static_cast<Field*>(o->native) : nullptr;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::UiEntry136, StandinFrmGetActiveField)

uint8_t StandinFrmHandleEvent(Form* form, SysEventType* event) {
    return HandleEvent(form, event);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::UiEntry160, StandinFrmHandleEvent)

// The form an event belongs to: the form its load or open names, else the active form; its
// handler first, then the form's own handling.
uint8_t StandinFrmDispatchEvent(SysEventType* event) {
    if (!event) return 0;
    Form* form = F().active;
    if (event->eType == kFrmOpen || event->eType == 25) {
        uint16_t id;
        std::memcpy(&id, event->data, 2);
        form = FindForm(id);
    }
    if (!form) return 0;
    // A scroll bar that the pen holds follows it before the form's handler sees the pen, as a bar
    // that follows the pen until it goes up would.
    if (IsForm(form) && TakenByScrollBar(form, event)) return 1;
    if (form->handler && form->handler(event)) return 1;
    return IsForm(form) ? HandleEvent(form, event) : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::UiEntry132, StandinFrmDispatchEvent)

// Going to a form: the application loads it and then opens it.
void StandinFrmGotoForm(uint16_t id) {
    for (uint16_t type : {kFrmLoad, kFrmOpen}) {
        SysEventType e{};
        e.eType = type;
        std::memcpy(e.data, &id, 2);
        PostEvent(e);
    }
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGotoForm, StandinFrmGotoForm)

// ---- forms and objects made at run time ----

// A form the application builds: its bounds, the IDs it keeps, and its title as a title object,
// as a resource's form would have it.
Form* StandinFrmNewForm(uint16_t id, const char* title, int16_t x, int16_t y, int16_t width, int16_t height,
                        uint8_t modal, uint16_t defaultButton, uint16_t helpID, uint16_t menuID) {
    auto form = std::make_unique<Form>();
    form->id = id;
    form->bounds = Rect{x, y, width, height};
    FormWindowSet(form.get(), modal != 0);
    form->defaultButton = defaultButton;
    form->helpID = helpID;
    form->menuID = menuID;
    if (title) {
        auto* t = new Title;
        t->bounds = Rect{0, 0, width, 13};
        t->text = std::string(title, strnlen(title, 256));
        form->objects.push_back(FormObject{kTitleObject, t});
    }
    Form* made = form.get();
    F().open.push_front(std::move(form));
    return made;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::UiEntry165, StandinFrmNewForm)

// The form a new-object call names through its form pointer's address; null when it is no open form.
Form* FormThrough(Form** formPP) {
    return formPP && IsForm(*formPP) ? *formPP : nullptr;
}

void* AddObject(Form* form, uint8_t kind, void* native) {
    form->objects.push_back(FormObject{kind, native});
    return native;
}

void* StandinFrmNewLabel(Form** formPP, uint16_t id, const char* text, int16_t x, int16_t y, uint8_t font) {
    Form* form = FormThrough(formPP);
    if (!form) return nullptr;
    auto* l = new Label;
    l->id = id;
    l->x = x;
    l->y = y;
    l->attributes = 0x0001;  // usable
    l->font = font;
    if (text) l->text = std::string(text, strnlen(text, 256));
    return AddObject(form, kLabelObject, l);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::UiEntry168, StandinFrmNewLabel)

// A raw object with its native record: the fields this library reads, at the places a
// resource's record holds them.
RawObject* NewRaw(uint16_t id, Rect bounds, std::initializer_list<uint16_t> words) {
    auto* raw = new RawObject;
    raw->id = id;
    raw->bounds = bounds;
    for (uint16_t w : words) {
        raw->record.push_back(static_cast<uint8_t>(w));
        raw->record.push_back(static_cast<uint8_t>(w >> 8));
    }
    return raw;
}

// A bitmap object shows the bitmap resource `rscID`; it is known by that ID.
void* StandinFrmNewBitmap(Form** formPP, uint16_t /*id*/, uint16_t rscID, int16_t x, int16_t y) {
    Form* form = FormThrough(formPP);
    if (!form) return nullptr;
    auto* b = new FormBitmap;
    b->attributes = 0x0001;  // usable
    b->rscID = rscID;
    b->x = x;
    b->y = y;
    return AddObject(form, kBitmapObject, b);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmNewBitmap, StandinFrmNewBitmap)

void* StandinFrmNewGadget(Form** formPP, uint16_t id, int16_t x, int16_t y, int16_t width, int16_t height) {
    Form* form = FormThrough(formPP);
    if (!form) return nullptr;
    RawObject* raw = NewRaw(id, Rect{x, y, width, height},
                            {id, 0x0001, static_cast<uint16_t>(x), static_cast<uint16_t>(y),
                             static_cast<uint16_t>(width), static_cast<uint16_t>(height)});
    raw->attributes = 0x0001;  // usable
    return AddObject(form, kGadgetObject, raw);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmNewGadget, StandinFrmNewGadget)

// A field with the attributes the call gives, in native bit order: usable and visible, then
// editable (bit 2), single line (3), dynamic size (5), underline (8-9), justification (10-11),
// auto-shift (12), scroll bar (13), numeric (14).
void* StandinFldNewField(Form** formPP, uint16_t id, int16_t x, int16_t y, int16_t width, int16_t height,
                         uint8_t font, uint32_t maxChars, uint8_t editable, uint8_t underlined,
                         uint8_t singleLine, uint8_t dynamicSize, uint8_t justification, uint8_t autoShift,
                         uint8_t hasScrollBar, uint8_t numeric) {
    Form* form = FormThrough(formPP);
    if (!form) return nullptr;
    auto* f = new Field;
    f->id = id;
    f->bounds = Rect{x, y, width, height};
    f->font = font;
    f->maxChars = static_cast<uint16_t>(std::min<uint32_t>(maxChars, 0xFFFF));
    f->attributes = static_cast<uint16_t>(0x0003 | (editable ? 0x0004 : 0) | (singleLine ? 0x0008 : 0) |
                                          (dynamicSize ? 0x0020 : 0) | ((underlined & 3u) << 8) |
                                          ((justification & 3u) << 10) | (autoShift ? 0x1000 : 0) |
                                          (hasScrollBar ? 0x2000 : 0) | (numeric ? 0x4000 : 0));
    f->form = form;
    return AddObject(form, kFieldObject, f);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldNewField, StandinFldNewField)

// The shift indicator is placed, never drawn by this library.
void* StandinFrmNewGsi(Form** formPP, int16_t x, int16_t y) {
    Form* form = FormThrough(formPP);
    if (!form) return nullptr;
    RawObject* raw = NewRaw(0, Rect{x, y, 0, 0}, {static_cast<uint16_t>(x), static_cast<uint16_t>(y)});
    return AddObject(form, kIndicatorObject, raw);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmNewGsi, StandinFrmNewGsi)

// Removes the object at `index`; the objects after it move down one index and the focus follows
// its object. A bad form or index changes nothing.
constexpr uint16_t kErrInvalidParam = 0x0103;
uint16_t StandinFrmRemoveObject(Form** formPP, uint16_t index) {
    Form* form = FormThrough(formPP);
    if (!form || index >= form->objects.size()) return kErrInvalidParam;
    FreeObject(form->objects[index]);
    form->objects.erase(form->objects.begin() + index);
    if (form->focus == index)
        form->focus = 0xFFFF;
    else if (form->focus != 0xFFFF && form->focus > index)
        --form->focus;
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::UiEntry171, StandinFrmRemoveObject)

void StandinFrmSetGadgetHandler(Form* form, uint16_t index, void* handler) {
    FormObject* o = ObjectAt(form, index);
    if (o && o->kind == kGadgetObject) static_cast<RawObject*>(o->native)->handler = handler;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::UiEntry181, StandinFrmSetGadgetHandler)

// The form's title takes the text; a drawn form shows it at once.
void StandinFrmSetTitle(Form* form, const char* text) {
    if (!IsForm(form) || !text) return;
    for (FormObject& o : form->objects)
        if (o.kind == kTitleObject) {
            static_cast<Title*>(o.native)->text = std::string(text, strnlen(text, 256));
            if (form->drawn) DrawObject(o);
            return;
        }
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmSetTitle, StandinFrmSetTitle)

// The form's window is the form itself.
NativeWindow* StandinFrmGetWindowHandle(Form* form) {
    return IsForm(form) ? form : nullptr;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetWindowHandle, StandinFrmGetWindowHandle)

void StandinFrmGetFormBounds(Form* form, Rect* bounds) {
    if (bounds) *bounds = IsForm(form) ? form->bounds : Rect{};
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetFormBounds, StandinFrmGetFormBounds)

uint8_t StandinFrmPointInTitle(Form* form, int16_t x, int16_t y) {
    if (!IsForm(form)) return 0;
    for (FormObject& o : form->objects)
        if (o.kind == kTitleObject) return static_cast<Title*>(o.native)->bounds.Contains(x, y) ? 1 : 0;
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmPointInTitle, StandinFrmPointInTitle)

uint8_t StandinFrmValidatePtr(Form* form) {
    return IsForm(form) ? 1 : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmValidatePtr, StandinFrmValidatePtr)

// The scroll arrows of a form: both shown while either direction scrolls, each enabled when its
// direction does; both hidden otherwise.
void StandinFrmUpdateScrollers(Form* form, uint16_t upIndex, uint16_t downIndex, uint8_t scrollableUp,
                               uint8_t scrollableDown) {
    const bool shown = scrollableUp || scrollableDown;
    for (auto [index, enabled] : {std::pair{upIndex, scrollableUp}, std::pair{downIndex, scrollableDown}}) {
        FormObject* o = ObjectAt(form, index);
        if (!o || o->kind != kControlObject) continue;
        auto* c = static_cast<Control*>(o->native);
        if (form->drawn && !shown) FillRect(c->bounds, kWhite);
        c->attributes = static_cast<uint16_t>((c->attributes & ~0x0003u) | (shown ? 0x0001u : 0u) |
                                              (enabled ? 0x0002u : 0u));
        if (form->drawn) ControlDraw(c);
    }
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmUpdateScrollers, StandinFrmUpdateScrollers)

// A control's label becomes the category name it is given (the text is the caller's).
void StandinFrmSetCategoryLabel(Form* form, uint16_t index, char* label) {
    FormObject* o = ObjectAt(form, index);
    if (!o || o->kind != kControlObject || !label) return;
    auto* c = static_cast<Control*>(o->native);
    if (form->drawn) FillRect(c->bounds, kWhite);
    c->text = label;
    if (form->drawn) ControlDraw(c);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmSetCategoryLabel, StandinFrmSetCategoryLabel)

// The form's menu bar is the one of that resource ID.
void StandinFrmSetMenu(Form* form, uint16_t menuID) {
    if (IsForm(form)) form->menuID = menuID;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::UiEntry182, StandinFrmSetMenu)

// The active form and its focus, saved into the caller's 22-byte record and restored from it; a
// record naming a form that is no longer open restores nothing.
struct ActiveState {
    Form* form;
    uint16_t focus;
    uint16_t marker;
};
constexpr uint16_t kActiveStateMarker = 0xA5A5, kActiveStateBytes = 22;
static_assert(sizeof(ActiveState) <= kActiveStateBytes);
uint16_t StandinFrmActiveState(uint8_t* record, uint8_t save) {
    if (!record) return kErrInvalidParam;
    ActiveState state{};
    if (save) {
        state.form = F().active;
        state.focus = state.form ? state.form->focus : 0xFFFF;
        state.marker = kActiveStateMarker;
        std::memset(record, 0, kActiveStateBytes);
        std::memcpy(record, &state, sizeof state);
        return 0;
    }
    std::memcpy(&state, record, sizeof state);
    if (state.marker != kActiveStateMarker || (state.form && !IsForm(state.form))) return kErrInvalidParam;
    F().active = state.form;
    if (state.form) state.form->focus = state.focus < state.form->objects.size() ? state.focus : 0xFFFF;
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::UiEntry123, StandinFrmActiveState)

// ---- control values, modification state, dialogs and form changes ----

Control* ControlAt(Form* form, uint16_t index) {
    FormObject* o = ObjectAt(form, index);
    return o && o->kind == kControlObject ? static_cast<Control*>(o->native) : nullptr;
}

void SetControlOn(Form* form, Control* c, bool on) {
    c->attributes = static_cast<uint16_t>(on ? c->attributes | 0x0008 : c->attributes & ~0x0008u);
    if (form->drawn) ControlDraw(c);
}

uint16_t StandinFrmGetControlValue(Form* form, uint16_t index) {
    Control* c = ControlAt(form, index);
    return c && (c->attributes & 0x0008) ? 1 : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetControlValue, StandinFrmGetControlValue)

void StandinFrmSetControlValue(Form* form, uint16_t index, uint16_t value) {
    if (Control* c = ControlAt(form, index)) SetControlOn(form, c, value != 0);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmSetControlValue, StandinFrmSetControlValue)

// The index of the control of `group` that is on; 0xFFFF when none is (group 0 is no group).
uint16_t StandinFrmGetControlGroupSelection(Form* form, uint8_t group) {
    if (!IsForm(form) || !group) return 0xFFFF;
    for (size_t i = 0; i < form->objects.size(); ++i)
        if (Control* c = ControlAt(form, static_cast<uint16_t>(i)); c && c->group == group && (c->attributes & 0x0008))
            return static_cast<uint16_t>(i);
    return 0xFFFF;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetControlGroupSelection, StandinFrmGetControlGroupSelection)

// The control of that ID is turned on and the rest of its group off.
void StandinFrmSetControlGroupSelection(Form* form, uint8_t group, uint16_t controlID) {
    if (!IsForm(form) || !group) return;
    for (size_t i = 0; i < form->objects.size(); ++i)
        if (Control* c = ControlAt(form, static_cast<uint16_t>(i)); c && c->group == group)
            SetControlOn(form, c, c->id == controlID);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmSetControlGroupSelection, StandinFrmSetControlGroupSelection)

// A form is modified when one of its fields was edited since it was last marked unmodified.
uint8_t StandinFrmGetUserModifiedState(Form* form) {
    if (!IsForm(form)) return 0;
    for (FormObject& o : form->objects)
        if (o.kind == kFieldObject && static_cast<Field*>(o.native)->dirty) return 1;
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmGetUserModifiedState, StandinFrmGetUserModifiedState)

void StandinFrmSetNotUserModified(Form* form) {
    if (!IsForm(form)) return;
    for (FormObject& o : form->objects)
        if (o.kind == kFieldObject) static_cast<Field*>(o.native)->dirty = false;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmSetNotUserModified, StandinFrmSetNotUserModified)

uint8_t StandinFrmVisible(Form* form) {
    return IsForm(form) && form->drawn ? 1 : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmVisible, StandinFrmVisible)

void StandinFrmCopyTitle(Form* form, const char* text) {
    StandinFrmSetTitle(form, text);  // the title keeps its own copy either way
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmCopyTitle, StandinFrmCopyTitle)

constexpr uint16_t kFrmUpdateEvent = 26, kAppStopEvent = 22;

// The application is asked to update the form of that ID with the code given.
void StandinFrmUpdateForm(uint16_t id, uint16_t code) {
    SysEventType e{};
    e.eType = kFrmUpdateEvent;
    std::memcpy(e.data, &id, 2);
    std::memcpy(e.data + 2, &code, 2);
    PostEvent(e);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmUpdateForm, StandinFrmUpdateForm)

// A form popped up over the active one loads and opens as a form gone to does; the active one
// stays open beneath it.
void StandinFrmPopupForm(uint16_t id) {
    StandinFrmGotoForm(id);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmPopupForm, StandinFrmPopupForm)

// Back from a popped-up form: the active form is deleted and the form of that ID (0: the newest
// open form) becomes active and is asked to draw itself again.
void StandinFrmReturnToForm(uint16_t id) {
    if (Form* active = F().active) DeleteForm(active);
    Form* back = id ? FindForm(id) : (F().open.empty() ? nullptr : F().open.front().get());
    F().active = back;
    if (back) StandinFrmUpdateForm(back->id, 0);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmReturnToForm, StandinFrmReturnToForm)

// A modal dialog: the form is drawn and made active, its handler and then the form take the
// events until a control is selected, whose ID is the answer; the previous active form comes
// back. An application told to stop gets the default button (the stop event stays queued).
uint16_t StandinFrmDoDialog(Form* form) {
    if (!IsForm(form)) return 0;
    Form* previous = F().active;
    F().active = form;
    DrawForm(form);
    uint16_t answer = form->defaultButton;
    for (;;) {
        SysEventType e{};
        OsCall<syssig::EvtGetEvent>(sysslot::EvtGetEvent, &e, int32_t{-1});
        if (e.eType == kAppStopEvent) {
            PostEvent(e);
            break;
        }
        if (e.eType == kCtlSelect) {
            std::memcpy(&answer, e.data, 2);
            break;
        }
        if (form->handler && form->handler(&e)) continue;
        HandleEvent(form, &e);
    }
    F().active = IsForm(previous) ? previous : nullptr;
    return answer;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FrmDoDialog, StandinFrmDoDialog)

}  // namespace

void FormWindowSet(Form* form, bool modal) {
    NativeWindow& w = *form;
    w.displayWidth = w.displayHeight = 160;
    w.flags = static_cast<uint16_t>(kWindowDialog | kWindowVisible | kWindowEnabled | kWindowFocusable |
                                    (modal ? kWindowModal : 0));
    w.bounds = NativeUiRect{form->bounds.x, form->bounds.y, form->bounds.w, form->bounds.h};
    w.clip = w.bounds;
}

Form* FindForm(uint16_t id) {
    for (const auto& f : F().open)
        if (f->id == id) return f.get();
    return nullptr;
}

Form* ActiveForm() {
    return F().active;
}

namespace {
bool IsObject(const void* p, uint8_t kind) {
    if (!p) return false;
    for (const auto& f : F().open)
        for (const FormObject& o : f->objects)
            if (o.native == p && o.kind == kind) return true;
    return false;
}
}  // namespace

bool IsField(const Field* field) {
    return IsObject(field, kFieldObject);
}
bool IsControl(const Control* control) {
    return IsObject(control, kControlObject);
}
bool IsTable(const Table* table) {
    return IsObject(table, kTableObject);
}
bool IsScrollBar(const ScrollBar* bar) {
    return IsObject(bar, kScrollBarObject);
}

uint16_t ObjectID(const FormObject& o) {
    switch (o.kind) {
        case kFieldObject:
            return static_cast<const Field*>(o.native)->id;
        case kControlObject:
            return static_cast<const Control*>(o.native)->id;
        case kTableObject:
            return static_cast<const Table*>(o.native)->id;
        case kLabelObject:
            return static_cast<const Label*>(o.native)->id;
        case kTitleObject:
            return 0;
        case kBitmapObject:
            return static_cast<const FormBitmap*>(o.native)->rscID;
        case kListObject:
            return static_cast<const List*>(o.native)->id;
        case kScrollBarObject:
            return static_cast<const ScrollBar*>(o.native)->id;
        default:
            return static_cast<const RawObject*>(o.native)->id;
    }
}

Rect ObjectBounds(const FormObject& o) {
    switch (o.kind) {
        case kFieldObject:
            return static_cast<const Field*>(o.native)->bounds;
        case kControlObject:
            return static_cast<const Control*>(o.native)->bounds;
        case kTableObject:
            return static_cast<const Table*>(o.native)->bounds;
        case kLabelObject: {
            auto* l = static_cast<const Label*>(o.native);
            return Rect{l->x, l->y, TextWidth(l->text.data(), l->text.size()), kFontHeight};
        }
        case kTitleObject:
            return static_cast<const Title*>(o.native)->bounds;
        case kBitmapObject: {
            auto* b = static_cast<const FormBitmap*>(o.native);
            return Rect{b->x, b->y, 0, 0};
        }
        case kListObject: {
            const NativeUiRect& b = static_cast<const List*>(o.native)->bounds;
            return Rect{b.x, b.y, b.width, b.height};
        }
        case kScrollBarObject: {
            const NativeUiRect& b = static_cast<const ScrollBar*>(o.native)->bounds;
            return Rect{b.x, b.y, b.width, b.height};
        }
        default:
            return static_cast<const RawObject*>(o.native)->bounds;
    }
}

// A control as the form shows it: a button is its label in a rounded frame, a push button or a
// check box shows its on state filled; other styles show their label.
void ControlDraw(Control* c) {
    if (!c || !(c->attributes & 0x0001)) return;
    const bool on = c->attributes & 0x0008;
    // The label is what the record points at (CtlSetLabel may point it elsewhere).
    const std::string_view label = (c->attributes & 0x0200) || !c->text ? std::string_view() : c->text;
    const int16_t width = TextWidth(label.data(), label.size());
    const int16_t x = static_cast<int16_t>(c->bounds.x + std::max(0, (c->bounds.w - width) / 2));
    const int16_t y = static_cast<int16_t>(c->bounds.y + std::max(0, (c->bounds.h - kFontHeight) / 2));
    FillRect(c->bounds, on ? kBlack : kWhite, c->style == 0 ? 4 : 0);
    if (c->style == 0 || c->style == 1) FrameRect(c->bounds, kBlack, c->style == 0 ? 4 : 0);
    DrawText(x, y, label.data(), label.size(), on ? kWhite : kBlack, on ? kBlack : kWhite);
}

void PostEvent(const SysEventType& event) {
    reinterpret_cast<syssig::EvtAddEventToQueue*>(SystemTable()[sysslot::EvtAddEventToQueue])(&event);
}

}  // namespace vantor::os::ui
