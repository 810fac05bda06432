// The stand-in UI library's forms: each form is built from its native form resource ('afrm', as
// the resource translation writes it) into a list of objects that the form slots answer about,
// draw through UiDraw and hand events to. One list of open forms and one active form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/module/NativeUi.h"
#include "common/module/SystemCalls.h"
#include "standin/os/ui/UiDraw.h"

namespace vantor::os::ui {

enum ObjectKind : uint8_t {
    kFieldObject = 0,
    kControlObject = 1,
    kListObject = 2,
    kTableObject = 3,
    kBitmapObject = 4,
    kLineObject = 5,
    kFrameObject = 6,
    kRectangleObject = 7,
    kLabelObject = 8,
    kTitleObject = 9,
    kPopupObject = 10,
    kIndicatorObject = 11,
    kGadgetObject = 12,
    kScrollBarObject = 13
};

// Event types the forms post and take.
constexpr uint16_t kPenDown = 1, kPenUp = 2, kPenMove = 3, kKeyDown = 4, kCtlSelect = 9, kFrmLoad = 23,
                   kFrmOpen = 24, kFrmSave = 27, kFrmClose = 28, kFldHeightChanged = 16, kFldChanged = 17,
                   kSclEnter = 32, kSclExit = 33, kSclRepeat = 34;

struct Form;

struct Field {
    uint16_t id = 0;
    Rect bounds{};
    uint16_t attributes = 0;  // native bit order: bit 0 usable, bit 1 visible, bit 2 editable, ...
    uint16_t maxChars = 0;
    uint8_t font = 0;
    uint8_t maxVisibleLines = 0;
    std::string text;              // the text the field shows and edits
    char* externalText = nullptr;  // a text the application set with FldSetTextPtr
    void* textHandle = nullptr;    // a handle the application set with FldSetTextHandle
    uint16_t insertion = 0;
    uint16_t selStart = 0, selEnd = 0;
    uint16_t topLine = 0;        // the first line shown: the field's scroll position
    uint16_t allocatedSize = 0;  // the text block size the application last set
    std::string undoText;        // the text before the last edit, while it can be undone
    bool canUndo = false;
    bool dirty = false;
    Form* form = nullptr;
    bool Usable() const { return attributes & 0x0001; }
    bool Editable() const { return attributes & 0x0004; }
};
constexpr uint16_t kFieldUsable = 0x0001, kFieldEditable = 0x0004, kFieldSingleLine = 0x0008,
                   kFieldDynamicSize = 0x0020;

// A control: the OS's native control record first (the 68K glue reads it in place), then the label
// the record's text points at when the form resource gave one.
struct ControlRecord {
    uint16_t id = 0;
    uint16_t attributes = 0;  // native bit order: bit 0 usable, bit 1 enabled, bit 2 visible, bit 3 on
    Rect bounds{};
    char* text = nullptr;  // a graphic control (bit 9) holds its two bitmap IDs here
    uint8_t style = 0, font = 0, group = 0, reserved = 0;
};
struct Control : ControlRecord {
    std::string label;
    Form* form = nullptr;
};

// A table: columns with their widths and the application's callbacks, rows, and an item per cell.
using TableDrawProc = void (*)(void* table, int16_t row, int16_t column, const Rect* bounds);
using TableLoadProc = uint16_t (*)(void* table, int16_t row, int16_t column, uint8_t editable, void** handle,
                                   int16_t* offset, int16_t* size, void* field);
using TableSaveProc = uint8_t (*)(void* table, int16_t row, int16_t column);

struct TableColumn {
    uint16_t width = 0, spacing = 0;
    bool usable = true, masked = false, editIndicator = false;
    TableDrawProc draw = nullptr;
    TableLoadProc load = nullptr;
    TableSaveProc save = nullptr;
};
struct TableRow {
    uint16_t id = 0, height = 11;
    uint32_t data = 0;
    bool usable = true, selectable = true;
    bool invalid = true, masked = false, staticHeight = false;  // invalid: to be drawn again
};
struct TableItem {
    uint8_t style = 0, font = 0;
    int16_t intValue = 0;
    void* ptr = nullptr;
};
constexpr uint8_t kCustomTableItem = 1, kLabelTableItem = 3, kNumericTableItem = 4;

// A table: the OS's native table record first (the 68K glue reads it and its column records in
// place), then what the library keeps beside it.
struct TableRecord {
    uint16_t id = 0;
    uint16_t attributes = 0;
    Rect bounds{};
    uint16_t numColumns = 0;
    uint16_t reserved14 = 0;
    NativeTableColumn* columnRecords = nullptr;
};
struct Table : TableRecord {
    std::vector<NativeTableColumn> nativeColumns;  // what columnRecords points at
    uint16_t topRow = 0;
    int16_t selectedRow = -1, selectedColumn = -1;  // -1: no selection
    bool hasScrollBar = false;
    std::vector<TableColumn> columns;
    std::vector<TableRow> rows;
    std::vector<TableItem> items;  // row by row
    Form* form = nullptr;
    TableItem* Item(int16_t row, int16_t column) {
        if (row < 0 || column < 0 || static_cast<size_t>(row) >= rows.size() ||
            static_cast<size_t>(column) >= columns.size())
            return nullptr;
        return &items[static_cast<size_t>(row) * columns.size() + static_cast<size_t>(column)];
    }
};

// A label: its record laid out as the native label's (NativeFormLabel), then its text.
struct Label {
    uint16_t id = 0;
    int16_t x = 0, y = 0;
    uint16_t attributes = 0;
    uint8_t font = 0;
    std::string text;
};

struct Title {
    Rect bounds{};
    std::string text;
};

// A form bitmap, laid out as the native one (NativeFormBitmap): bit 0 of `attributes` is usable.
struct FormBitmap {
    uint16_t attributes = 0;
    uint16_t rscID = 0;
    int16_t x = 0, y = 0;
};

// Any other kind: its native record as the resource holds it. The fields before the record are
// laid out as a native gadget's (NativeFormGadget); a popup trigger pair's first two as its native
// record (NativeFormPopup).
struct RawObject {
    uint16_t id = 0;  // a popup trigger pair's: its control's
    union {
        uint16_t attributes = 0;  // a gadget's: bit 0 usable, 1 extended, 2 visible
        uint16_t listID;          // a popup trigger pair's list
    };
    Rect bounds{};
    void* data = nullptr;     // a gadget's data
    void* handler = nullptr;  // a gadget's handler
    std::vector<uint8_t> record;
};

// A scroll bar: the OS's native scroll-bar record first (the 68K glue reads it in place), then its
// form.
struct ScrollBar : NativeScrollBar {
    Form* form = nullptr;
};

struct FormObject {
    uint8_t kind = 0;
    void* native = nullptr;  // Field, Control, Table, Label, Title, FormBitmap, ScrollBar or RawObject
};

using FormEventHandler = uint8_t (*)(SysEventType* event);

// A form is its window, as the OS's forms are: the native window record comes first, so the form's
// pointer is its window handle and its bounds are the window's (see FormWindowSet). The fields up
// to `menuID` are laid out as the native form's (NativeForm).
struct Form : NativeWindow {
    uint16_t id = 0;
    Rect bounds{};
    uint16_t attributes = 0;
    uint16_t defaultButton = 0, helpID = 0, menuID = 0;
    std::vector<FormObject> objects;
    FormEventHandler handler = nullptr;
    uint16_t focus = 0xFFFF;
    bool drawn = false;
};

// Sets the form's window record from its bounds: a visible, enabled form window on the display.
void FormWindowSet(Form* form, bool modal);

// The open form of that ID, the active form.
Form* FindForm(uint16_t id);
Form* ActiveForm();

// Whether the pointer is a field or a control of an open form.
bool IsField(const Field* field);
bool IsControl(const Control* control);

// The ID and bounds of an object; 0 and an empty rectangle for kinds without them.
uint16_t ObjectID(const FormObject& o);
Rect ObjectBounds(const FormObject& o);

// Drawing and events of the objects this library draws itself.
void FieldDraw(Field* field);
// A key for the field: true when it took it.
bool FieldKey(Field* field, uint16_t character);
void ControlDraw(Control* control);
void TableDraw(Table* table);
bool IsTable(const Table* table);

// Scroll bars of open forms. Values are kept within their bounds (a maximum below the minimum is
// taken as the minimum). The pen's events go to the bar it went down on until it goes up: true
// when the bar took the event.
bool IsScrollBar(const ScrollBar* bar);
void ScrollBarSetValues(ScrollBar* bar, int16_t value, int16_t min, int16_t max, int16_t pageSize);
void ScrollBarDraw(ScrollBar* bar);
bool ScrollBarHandleEvent(ScrollBar* bar, const SysEventType* event);
bool ScrollBarTracking(const ScrollBar* bar);

// Queues an event for the application.
void PostEvent(const SysEventType& event);

}  // namespace vantor::os::ui
