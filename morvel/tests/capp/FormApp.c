/* A 68K application with a form from its resources: a field that takes the keys typed, a button
   whose tap ends the application, and a table whose first column the application draws (its
   procedure counts the cells it is asked for) and whose second shows numbers. It answers the cells
   drawn in the top byte, the length of the field's text in the next and the sum of its characters
   in the low word; 0xFFFFFFFF when it was stopped instead. */
#include "FormLoop.h"

const UInt16 appFormID = 1000;
#define kField 1001
#define kButton 1002
#define kTable 1004

UInt32 appResult;
Boolean appDone;
static UInt32 cellsDrawn;

static void DrawCell(void* table, Int16 row, Int16 column, RectangleType* bounds) {
    (void)table;
    (void)row;
    if (column == 0 && bounds && bounds->extent.x == 60) ++cellsDrawn;
}

static void SetUpTable(FormType* form) {
    TableType* table = FrmGetObjectPtr(form, FrmGetObjectIndex(form, kTable));
    Int16 row, rows = TblGetNumberOfRows(table);
    for (row = 0; row < rows; ++row) {
        TblSetItemStyle(table, row, 0, customTableItem);
        TblSetItemStyle(table, row, 1, numericTableItem);
        TblSetItemInt(table, row, 1, (Int16)(10 * (row + 1)));
    }
    TblSetCustomDrawProcedure(table, 0, DrawCell);
}

Boolean AppFormHandler(EventType* event) {
    FormType* form = FrmGetActiveForm();
    if (event->eType == frmOpenEvent) {
        SetUpTable(form);
        FrmDrawForm(form);
        FrmSetFocus(form, FrmGetObjectIndex(form, kField));
        return true;
    }
    if (event->eType == ctlSelectEvent && event->data.ctlSelect.controlID == kButton) {
        FieldType* field = FrmGetObjectPtr(form, FrmGetObjectIndex(form, kField));
        const char* text = FldGetTextPtr(field);
        UInt32 sum = 0, length = 0; /* 32-bit: a 16-bit count makes the compiler wrap the address */
        if (text)
            for (; text[length]; ++length) sum += (UInt8)text[length];
        appResult = (cellsDrawn << 24) | ((length & 0xFF) << 16) | (sum & 0xFFFF);
        appDone = true;
        return true;
    }
    return false;
}
