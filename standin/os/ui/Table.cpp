// The stand-in UI library's tables: columns, rows and items built from the form resource, the
// table slots that read and change them, and drawing: each usable row's cells left to right, a
// cell of a column with the application's draw callback drawn by it, label and number items
// drawn as their text, a cell of a masked row in a masked column drawn grey.
#include <cstdio>
#include <cstring>

#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/ui/UiForm.h"

namespace vantor::os::ui {
namespace {

namespace slot = uislot;

static_assert(offsetof(TableRecord, attributes) == offsetof(NativeTable, attr));
static_assert(offsetof(TableRecord, bounds) == offsetof(NativeTable, bounds));
static_assert(offsetof(TableRecord, numColumns) == offsetof(NativeTable, numColumns));
static_assert(offsetof(TableRecord, columnRecords) == offsetof(NativeTable, columns));
static_assert(sizeof(TableRecord) == sizeof(NativeTable));

// Only the tables of open forms are tables: any other pointer reads as none.
Table* Checked(Table* t) {
    return IsTable(t) ? t : nullptr;
}
TableColumn* Column(Table* t, int16_t column) {
    return t && column >= 0 && static_cast<size_t>(column) < t->columns.size() ? &t->columns[column]
                                                                               : nullptr;
}
TableRow* Row(Table* t, int16_t row) {
    return t && row >= 0 && static_cast<size_t>(row) < t->rows.size() ? &t->rows[row] : nullptr;
}

// The bounds of a cell, rows from the top row down; empty for a cell not shown.
Rect ItemBounds(Table* t, int16_t row, int16_t column) {
    if (!Row(t, row) || !Column(t, column) || row < t->topRow) return Rect{};
    int32_t y = t->bounds.y;
    for (int16_t r = static_cast<int16_t>(t->topRow); r < row; ++r)
        if (t->rows[r].usable) y += t->rows[r].height;
    int32_t x = t->bounds.x;
    for (int16_t c = 0; c < column; ++c)
        if (t->columns[c].usable) x += t->columns[c].width + t->columns[c].spacing;
    return Rect{static_cast<int16_t>(x), static_cast<int16_t>(y),
                static_cast<int16_t>(t->columns[column].width), static_cast<int16_t>(t->rows[row].height)};
}

template <typename R, R Empty, typename F>
R With(Table* unchecked, F f) {
    Table* t = Checked(unchecked);
    return t ? f(t) : Empty;
}

void StandinTblDrawTable(Table* t) {
    if ((t = Checked(t))) TableDraw(t);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblDrawTable, StandinTblDrawTable)
void StandinTblRedrawTable(Table* t) {
    StandinTblDrawTable(t);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblRedrawTable, StandinTblRedrawTable)

void StandinTblEraseTable(Table* t) {
    if ((t = Checked(t))) FillRect(t->bounds, kWhite);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblEraseTable, StandinTblEraseTable)

// Rows marked invalid are drawn again by the next redraw, which marks them valid.
void StandinTblMarkTableInvalid(Table* unchecked) {
    if (Table* t = Checked(unchecked))
        for (TableRow& r : t->rows) r.invalid = true;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblMarkTableInvalid, StandinTblMarkTableInvalid)
void StandinTblMarkRowInvalid(Table* t, int16_t row) {
    if (TableRow* r = Row(Checked(t), row)) r->invalid = true;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblMarkRowInvalid, StandinTblMarkRowInvalid)
uint8_t StandinTblRowInvalid(Table* t, int16_t row) {
    TableRow* r = Row(Checked(t), row);
    return r && r->invalid;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblRowInvalid, StandinTblRowInvalid)

void StandinTblGetBounds(Table* t, Rect* r) {
    if ((t = Checked(t)) && r) *r = t->bounds;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetBounds, StandinTblGetBounds)

void StandinTblSetBounds(Table* t, const Rect* r) {
    if ((t = Checked(t)) && r) t->bounds = *r;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetBounds, StandinTblSetBounds)

uint16_t StandinTblGetNumberOfRows(Table* t) {
    return With<uint16_t, 0>(t, [](Table* x) { return static_cast<uint16_t>(x->rows.size()); });
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetNumberOfRows, StandinTblGetNumberOfRows)

uint16_t StandinTblGetNumberOfColumns(Table* t) {
    return With<uint16_t, 0>(t, [](Table* x) { return static_cast<uint16_t>(x->columns.size()); });
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetNumberOfColumns, StandinTblGetNumberOfColumns)

uint16_t StandinTblGetTopRow(Table* t) {
    return With<uint16_t, 0>(t, [](Table* x) { return x->topRow; });
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetTopRow, StandinTblGetTopRow)

uint16_t StandinTblGetLastUsableRow(Table* t) {
    return With<uint16_t, 0xFFFF>(t, [](Table* x) {
        for (size_t r = x->rows.size(); r > 0; --r)
            if (x->rows[r - 1].usable) return static_cast<uint16_t>(r - 1);
        return uint16_t{0xFFFF};
    });
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetLastUsableRow, StandinTblGetLastUsableRow)

uint16_t StandinTblGetColumnWidth(Table* t, int16_t column) {
    TableColumn* c = Column(Checked(t), column);
    return c ? c->width : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetColumnWidth, StandinTblGetColumnWidth)

void StandinTblSetColumnWidth(Table* t, int16_t column, uint16_t width) {
    if (TableColumn* c = Column(Checked(t), column)) c->width = width;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetColumnWidth, StandinTblSetColumnWidth)

uint16_t StandinTblGetColumnSpacing(Table* t, int16_t column) {
    TableColumn* c = Column(Checked(t), column);
    return c ? c->spacing : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetColumnSpacing, StandinTblGetColumnSpacing)

void StandinTblSetColumnSpacing(Table* t, int16_t column, uint16_t spacing) {
    if (TableColumn* c = Column(Checked(t), column)) c->spacing = spacing;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetColumnSpacing, StandinTblSetColumnSpacing)

void StandinTblSetColumnUsable(Table* t, int16_t column, uint8_t usable) {
    if (TableColumn* c = Column(Checked(t), column)) c->usable = usable;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetColumnUsable, StandinTblSetColumnUsable)

// The masked flag is also kept in the table's native column record (tables made from a form
// resource have one), where the 68K glue reads it.
void StandinTblSetColumnMasked(Table* t, int16_t column, uint8_t masked) {
    TableColumn* c = Column(Checked(t), column);
    if (!c) return;
    c->masked = masked;
    if (static_cast<size_t>(column) >= t->nativeColumns.size()) return;
    uint8_t& attr = t->nativeColumns[static_cast<size_t>(column)].attr;
    attr = static_cast<uint8_t>(masked ? attr | kTableColumnMasked : attr & ~kTableColumnMasked);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetColumnMasked, StandinTblSetColumnMasked)

void StandinTblSetColumnEditIndicator(Table* t, int16_t column, uint8_t on) {
    if (TableColumn* c = Column(Checked(t), column)) c->editIndicator = on;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetColumnEditIndicator, StandinTblSetColumnEditIndicator)

void StandinTblHasScrollBar(Table* t, uint8_t hasScrollBar) {
    if ((t = Checked(t))) t->hasScrollBar = hasScrollBar;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblHasScrollBar, StandinTblHasScrollBar)

void StandinTblSetCustomDrawProcedure(Table* t, int16_t column, TableDrawProc procedure) {
    if (TableColumn* c = Column(Checked(t), column)) c->draw = procedure;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetCustomDrawProcedure, StandinTblSetCustomDrawProcedure)

void StandinTblSetLoadDataProcedure(Table* t, int16_t column, TableLoadProc procedure) {
    if (TableColumn* c = Column(Checked(t), column)) c->load = procedure;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetLoadDataProcedure, StandinTblSetLoadDataProcedure)

void StandinTblSetSaveDataProcedure(Table* t, int16_t column, TableSaveProc procedure) {
    if (TableColumn* c = Column(Checked(t), column)) c->save = procedure;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetSaveDataProcedure, StandinTblSetSaveDataProcedure)

uint16_t StandinTblGetRowHeight(Table* t, int16_t row) {
    TableRow* r = Row(Checked(t), row);
    return r ? r->height : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetRowHeight, StandinTblGetRowHeight)

void StandinTblSetRowHeight(Table* t, int16_t row, uint16_t height) {
    if (TableRow* r = Row(Checked(t), row)) r->height = height;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetRowHeight, StandinTblSetRowHeight)

uint16_t StandinTblGetRowID(Table* t, int16_t row) {
    TableRow* r = Row(Checked(t), row);
    return r ? r->id : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetRowID, StandinTblGetRowID)

// ---- finding rows, adding and removing them, the selection ----

// The first row that `matches` goes to *row; false when none does.
template <typename Match>
uint8_t FindRow(Table* unchecked, int16_t* row, Match matches) {
    return With<uint8_t, 0>(unchecked, [&](Table* t) -> uint8_t {
        for (size_t r = 0; r < t->rows.size(); ++r)
            if (matches(t->rows[r])) return row ? *row = static_cast<int16_t>(r), 1 : 1;
        return 0;
    });
}

uint8_t StandinTblFindRowData(Table* t, uint32_t data, int16_t* row) {
    return FindRow(t, row, [data](const TableRow& r) { return r.data == data; });
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblFindRowData, StandinTblFindRowData)

uint8_t StandinTblFindRowID(Table* t, uint16_t id, int16_t* row) {
    return FindRow(t, row, [id](const TableRow& r) { return r.id == id; });
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblFindRowID, StandinTblFindRowID)

// A new row before `row` (at the end for the row count), with an empty item per column; the
// selection stays on its cell.
void StandinTblInsertRow(Table* unchecked, uint16_t row) {
    Table* t = Checked(unchecked);
    if (!t || row > t->rows.size() || t->rows.size() >= 0x7FFF) return;
    t->rows.insert(t->rows.begin() + row, TableRow{});
    t->items.insert(t->items.begin() + static_cast<ptrdiff_t>(row * t->columns.size()), t->columns.size(),
                    TableItem{});
    if (t->selectedRow >= static_cast<int16_t>(row)) ++t->selectedRow;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblInsertRow, StandinTblInsertRow)

// The row and its items go; a selection in it goes with it.
void StandinTblRemoveRow(Table* unchecked, uint16_t row) {
    Table* t = Checked(unchecked);
    if (!t || row >= t->rows.size()) return;
    t->rows.erase(t->rows.begin() + row);
    const auto first = t->items.begin() + static_cast<ptrdiff_t>(row * t->columns.size());
    t->items.erase(first, first + static_cast<ptrdiff_t>(t->columns.size()));
    if (t->selectedRow == static_cast<int16_t>(row))
        t->selectedRow = t->selectedColumn = -1;
    else if (t->selectedRow > static_cast<int16_t>(row))
        --t->selectedRow;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblRemoveRow, StandinTblRemoveRow)

// The selected cell; false (and the out-values untouched) without one.
uint8_t StandinTblGetSelection(Table* unchecked, int16_t* row, int16_t* column) {
    return With<uint8_t, 0>(unchecked, [&](Table* t) -> uint8_t {
        if (t->selectedRow < 0) return 0;
        if (row) *row = t->selectedRow;
        if (column) *column = t->selectedColumn;
        return 1;
    });
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetSelection, StandinTblGetSelection)

// Selects a cell of the table; a cell outside it selects nothing.
void StandinTblSetSelection(Table* unchecked, int16_t row, int16_t column) {
    Table* t = Checked(unchecked);
    if (!t || !t->Item(row, column)) return;
    t->selectedRow = row;
    t->selectedColumn = column;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetSelection, StandinTblSetSelection)
void StandinTblSelectItem(Table* t, int16_t row, int16_t column) {
    StandinTblSetSelection(t, row, column);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSelectItem, StandinTblSelectItem)

void StandinTblUnhighlightSelection(Table* unchecked) {
    if (Table* t = Checked(unchecked)) t->selectedRow = t->selectedColumn = -1;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblUnhighlightSelection, StandinTblUnhighlightSelection)

void StandinTblSetRowID(Table* t, int16_t row, uint16_t id) {
    if (TableRow* r = Row(Checked(t), row)) r->id = id;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetRowID, StandinTblSetRowID)

uint32_t StandinTblGetRowData(Table* t, int16_t row) {
    TableRow* r = Row(Checked(t), row);
    return r ? r->data : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetRowData, StandinTblGetRowData)

void StandinTblSetRowData(Table* t, int16_t row, uint32_t data) {
    if (TableRow* r = Row(Checked(t), row)) r->data = data;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetRowData, StandinTblSetRowData)

uint8_t StandinTblRowUsable(Table* t, int16_t row) {
    TableRow* r = Row(Checked(t), row);
    return r && r->usable;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblRowUsable, StandinTblRowUsable)

void StandinTblSetRowUsable(Table* t, int16_t row, uint8_t usable) {
    if (TableRow* r = Row(Checked(t), row)) r->usable = usable;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetRowUsable, StandinTblSetRowUsable)

uint8_t StandinTblRowSelectable(Table* t, int16_t row) {
    TableRow* r = Row(Checked(t), row);
    return r && r->selectable;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblRowSelectable, StandinTblRowSelectable)

void StandinTblSetRowSelectable(Table* t, int16_t row, uint8_t selectable) {
    if (TableRow* r = Row(Checked(t), row)) r->selectable = selectable;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetRowSelectable, StandinTblSetRowSelectable)

uint8_t StandinTblRowMasked(Table* t, int16_t row) {
    TableRow* r = Row(Checked(t), row);
    return r && r->masked;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblRowMasked, StandinTblRowMasked)

void StandinTblSetRowMasked(Table* t, int16_t row, uint8_t masked) {
    if (TableRow* r = Row(Checked(t), row)) r->masked = masked;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetRowMasked, StandinTblSetRowMasked)

void StandinTblSetRowStaticHeight(Table* t, int16_t row, uint8_t staticHeight) {
    if (TableRow* r = Row(Checked(t), row)) r->staticHeight = staticHeight;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetRowStaticHeight, StandinTblSetRowStaticHeight)

void StandinTblSetItemStyle(Table* t, int16_t row, int16_t column, uint8_t style) {
    if (TableItem* i = (t = Checked(t)) ? t->Item(row, column) : nullptr) i->style = style;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetItemStyle, StandinTblSetItemStyle)

int16_t StandinTblGetItemInt(Table* t, int16_t row, int16_t column) {
    TableItem* i = (t = Checked(t)) ? t->Item(row, column) : nullptr;
    return i ? i->intValue : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetItemInt, StandinTblGetItemInt)

void StandinTblSetItemInt(Table* t, int16_t row, int16_t column, int16_t value) {
    if (TableItem* i = (t = Checked(t)) ? t->Item(row, column) : nullptr) i->intValue = value;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetItemInt, StandinTblSetItemInt)

void* StandinTblGetItemPtr(Table* t, int16_t row, int16_t column) {
    TableItem* i = (t = Checked(t)) ? t->Item(row, column) : nullptr;
    return i ? i->ptr : nullptr;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetItemPtr, StandinTblGetItemPtr)

void StandinTblSetItemPtr(Table* t, int16_t row, int16_t column, void* p) {
    if (TableItem* i = (t = Checked(t)) ? t->Item(row, column) : nullptr) i->ptr = p;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetItemPtr, StandinTblSetItemPtr)

uint8_t StandinTblGetItemFont(Table* t, int16_t row, int16_t column) {
    TableItem* i = (t = Checked(t)) ? t->Item(row, column) : nullptr;
    return i ? i->font : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetItemFont, StandinTblGetItemFont)

void StandinTblSetItemFont(Table* t, int16_t row, int16_t column, uint8_t font) {
    if (TableItem* i = (t = Checked(t)) ? t->Item(row, column) : nullptr) i->font = font;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblSetItemFont, StandinTblSetItemFont)

void StandinTblGetItemBounds(Table* t, int16_t row, int16_t column, Rect* r) {
    if (r) *r = (t = Checked(t)) ? ItemBounds(t, row, column) : Rect{};
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetItemBounds, StandinTblGetItemBounds)

// The stand-in edits no cells: no table is editing and none has a current field.
uint8_t StandinTblEditing(Table*) {
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblEditing, StandinTblEditing)
void* StandinTblGetCurrentField(Table*) {
    return nullptr;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGetCurrentField, StandinTblGetCurrentField)
uint8_t StandinTblHandleEvent(Table*, SysEventType*) {
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblHandleEvent, StandinTblHandleEvent)

// Focus goes to a cell being edited; with no cell editing, grabbing the focus selects the cell (a
// cell outside the table selects nothing) and releasing it leaves the table as it is.
void StandinTblGrabFocus(Table* t, int16_t row, int16_t column) {
    StandinTblSetSelection(t, row, column);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblGrabFocus, StandinTblGrabFocus)
void StandinTblReleaseFocus(Table*) {}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::TblReleaseFocus, StandinTblReleaseFocus)

}  // namespace

void TableDraw(Table* t) {
    if (!t) return;
    FillRect(t->bounds, kWhite);
    for (TableRow& row : t->rows) row.invalid = false;
    for (size_t r = t->topRow; r < t->rows.size(); ++r) {
        if (!t->rows[r].usable) continue;
        for (size_t c = 0; c < t->columns.size(); ++c) {
            const TableColumn& column = t->columns[c];
            if (!column.usable) continue;
            const int16_t row16 = static_cast<int16_t>(r), column16 = static_cast<int16_t>(c);
            const Rect cell = ItemBounds(t, row16, column16);
            if (cell.y + cell.h > t->bounds.y + t->bounds.h) return;  // below the table
            if (t->rows[r].masked && column.masked) {  // a private cell shows no content
                FillRect(cell, kGrey);
                continue;
            }
            const TableItem* item = t->Item(row16, column16);
            if (item->style == kCustomTableItem) {
                if (column.draw) column.draw(t, row16, column16, &cell);
            } else if (item->style == kNumericTableItem) {
                char text[8];
                const int n = std::snprintf(text, sizeof text, "%d", item->intValue);
                DrawText(cell.x, static_cast<int16_t>(cell.y + 1), text, static_cast<size_t>(n), kBlack,
                         kWhite);
            } else if (item->style == kLabelTableItem && item->ptr) {
                const char* text = static_cast<const char*>(item->ptr);
                DrawText(cell.x, static_cast<int16_t>(cell.y + 1), text, strnlen(text, 64), kBlack, kWhite);
            } else if (column.draw) {
                column.draw(t, row16, column16, &cell);
            }
        }
    }
}

}  // namespace vantor::os::ui
