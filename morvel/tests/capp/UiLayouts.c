/* The 68K records whose images the UI glue builds, as the 68K compiler lays them out: every offset
   the glue uses (morvel/traps/UiImageOffsets.h) must be the compiler's. Compiled by the test
   morvel_ui_record_layouts; a wrong offset fails the compile. */
#include <stddef.h>

#include "morvel/traps/UiImageOffsets.h"

typedef unsigned char UInt8;
typedef unsigned short UInt16;
typedef short Int16;
typedef unsigned long UInt32;

typedef struct {
    Int16 x, y;
} PointType;
typedef struct {
    PointType topLeft, extent;
} RectangleType;

typedef struct {
    Int16 displayWidth, displayHeight;
    void* displayAddr;
    UInt16 windowFlags;
    RectangleType windowBounds;
    RectangleType clippingBounds;
    void* bitmap;
    UInt16 frameType;
    void* drawState;
    void* nextWindow;
} WindowType;
_Static_assert(sizeof(WindowType) == 40, "window record");

typedef struct {
    WindowType window;
    UInt16 formId;
    UInt32 attr;
    void* bitsBehindForm;
    void* handler;
    UInt16 focus;
    UInt16 defaultButton;
    UInt16 helpRscId;
    UInt16 menuRscId;
    UInt16 numObjects;
    void* objects;
} FormType;
_Static_assert(offsetof(FormType, formId) == MORVEL_FORM_IMAGE_FORM_ID, "form ID");
_Static_assert(offsetof(FormType, handler) == MORVEL_FORM_IMAGE_HANDLER, "form handler");
_Static_assert(offsetof(FormType, focus) == MORVEL_FORM_IMAGE_FOCUS, "form focus");
_Static_assert(offsetof(FormType, defaultButton) == MORVEL_FORM_IMAGE_DEFAULT_BUTTON, "default button");
_Static_assert(offsetof(FormType, helpRscId) == MORVEL_FORM_IMAGE_HELP, "help ID");
_Static_assert(offsetof(FormType, menuRscId) == MORVEL_FORM_IMAGE_MENU, "menu ID");
_Static_assert(offsetof(FormType, numObjects) == MORVEL_FORM_IMAGE_COUNT, "object count");
_Static_assert(sizeof(FormType) == MORVEL_FORM_IMAGE_BYTES, "form record");

typedef struct {
    UInt16 id;
    RectangleType rect;
    UInt16 attr;
    char* text;
    void* textHandle;
    void* lines;
    UInt16 textLen;
    UInt16 textBlockSize;
    UInt16 maxChars;
    UInt16 selFirstPos;
    UInt16 selLastPos;
    UInt16 insPtXPos;
    UInt16 insPtYPos;
    UInt8 fontID;
    UInt8 maxVisibleLines;
} FieldType;
_Static_assert(offsetof(FieldType, rect) == MORVEL_FIELD_IMAGE_BOUNDS, "field bounds");
_Static_assert(offsetof(FieldType, attr) == MORVEL_FIELD_IMAGE_ATTRIBUTES, "field attributes");
_Static_assert(offsetof(FieldType, text) == MORVEL_FIELD_IMAGE_TEXT, "field text");
_Static_assert(offsetof(FieldType, textLen) == MORVEL_FIELD_IMAGE_TEXT_LENGTH, "field text length");
_Static_assert(sizeof(FieldType) == MORVEL_FIELD_IMAGE_BYTES, "field record");

typedef struct {
    UInt16 id;
    RectangleType bounds;
    UInt16 attributes;
    Int16 numColumns;
    Int16 numRows;
    Int16 currentRow;
    Int16 currentColumn;
    Int16 topRow;
    void* columnAttrs;
    void* rowAttrs;
    void* items;
    FieldType currentField;
} TableType;
_Static_assert(offsetof(TableType, bounds) == MORVEL_TABLE_IMAGE_BOUNDS, "table bounds");
_Static_assert(offsetof(TableType, numColumns) == MORVEL_TABLE_IMAGE_COLUMNS, "table columns");
_Static_assert(offsetof(TableType, numRows) == MORVEL_TABLE_IMAGE_ROWS, "table rows");
_Static_assert(offsetof(TableType, topRow) == MORVEL_TABLE_IMAGE_TOP_ROW, "table top row");

typedef struct {
    UInt16 id;
    UInt16 attr;
    RectangleType rect;
    const void* data;
    void* handler;
} FormGadgetType;
_Static_assert(offsetof(FormGadgetType, attr) == MORVEL_GADGET_IMAGE_ATTRIBUTES, "gadget attributes");
_Static_assert(offsetof(FormGadgetType, data) == MORVEL_GADGET_IMAGE_DATA, "gadget data");
_Static_assert(offsetof(FormGadgetType, handler) == MORVEL_GADGET_IMAGE_HANDLER, "gadget handler");
_Static_assert(sizeof(FormGadgetType) == MORVEL_GADGET_IMAGE_BYTES, "gadget record");

typedef struct {
    UInt16 id;
    PointType pos;
    UInt16 attr;
    UInt8 fontID;
    UInt8 reserved;
    char* text;
} FormLabelType;
_Static_assert(offsetof(FormLabelType, pos) == MORVEL_LABEL_IMAGE_POSITION, "label position");
_Static_assert(offsetof(FormLabelType, attr) == MORVEL_LABEL_IMAGE_ATTRIBUTES, "label attributes");
_Static_assert(offsetof(FormLabelType, fontID) == MORVEL_LABEL_IMAGE_FONT, "label font");
_Static_assert(offsetof(FormLabelType, text) == MORVEL_LABEL_IMAGE_TEXT, "label text");

typedef struct {
    UInt16 attr;
    PointType pos;
    UInt16 rscID;
} FormBitmapType;
_Static_assert(offsetof(FormBitmapType, attr) == MORVEL_BITMAP_IMAGE_ATTRIBUTES, "bitmap attributes");
_Static_assert(offsetof(FormBitmapType, pos) == MORVEL_BITMAP_IMAGE_POSITION, "bitmap position");
_Static_assert(offsetof(FormBitmapType, rscID) == MORVEL_BITMAP_IMAGE_RESOURCE, "bitmap resource");
_Static_assert(sizeof(FormBitmapType) == MORVEL_BITMAP_IMAGE_BYTES, "bitmap record");

typedef struct {
    RectangleType rect;
    char* text;
} FormTitleType;
_Static_assert(offsetof(FormTitleType, text) == MORVEL_TITLE_IMAGE_TEXT, "title text");
_Static_assert(sizeof(FormTitleType) == MORVEL_TITLE_IMAGE_BYTES, "title record");

typedef struct {
    RectangleType bounds;
    UInt16 id;
    UInt16 attr;
    Int16 value, minValue, maxValue, pageSize;
    Int16 penPosInCar, savePos;
} ScrollBarType;
_Static_assert(offsetof(ScrollBarType, id) == MORVEL_SCROLL_BAR_IMAGE_ID, "scroll-bar ID");
_Static_assert(offsetof(ScrollBarType, attr) == MORVEL_SCROLL_BAR_IMAGE_ATTRIBUTES, "scroll-bar attributes");
_Static_assert(sizeof(ScrollBarType) == MORVEL_SCROLL_BAR_IMAGE_BYTES, "scroll-bar record");

typedef struct {
    UInt16 eType;
    UInt8 penDown;
    UInt8 tapCount;
    Int16 screenX, screenY;
    union {
        UInt16 words[8];
        struct {
            UInt16 controlID;
            void* pControl;
            UInt8 on;
            UInt8 reserved;
            UInt16 value;
        } ctlSelect;
    } data;
} EventType;
_Static_assert(sizeof(EventType) == MORVEL_EVENT_RECORD_BYTES, "event record");
_Static_assert(offsetof(EventType, data.ctlSelect.pControl) == 10, "control of a control-select event");
_Static_assert(offsetof(EventType, data.ctlSelect.on) == 14, "on state of a control-select event");
