// Native records of the OS UI that the 68K glue reads and writes in place and the stand-in UI
// library keeps: windows, lists and controls, in the OS's native (host order, 4-byte aligned)
// layouts. Pointers are native pointers of the 32-bit OS side.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

struct NativeUiRect {
    int16_t x, y, width, height;
};
static_assert(sizeof(NativeUiRect) == 8);

// Window flags (the low byte of `flags`).
constexpr uint16_t kWindowOffscreen = 0x02, kWindowModal = 0x04, kWindowFocusable = 0x08,
                   kWindowEnabled = 0x10, kWindowVisible = 0x20, kWindowDialog = 0x40,
                   kWindowFreeBitmap = 0x80;

struct NativeWindow {
    int16_t displayWidth;
    int16_t displayHeight;
    uint32_t displayAddress;
    uint16_t flags;  // byte 8: 0x40 the window of a form, 0x80 the window owns its bitmap
    NativeUiRect bounds;
    NativeUiRect clip;
    uint16_t reserved26;
    void* bitmap;
    uint16_t frameType;  // fields of 8, 3, 1, 2 and 2 bits from bit 0 up
    uint16_t reserved34;
    void* drawState;
    NativeWindow* nextWindow;
};
static_assert(offsetof(NativeWindow, flags) == 8);
static_assert(offsetof(NativeWindow, bounds) == 10);
static_assert(offsetof(NativeWindow, bitmap) == 28);
static_assert(offsetof(NativeWindow, frameType) == 32);
static_assert(sizeof(void*) != 4 || sizeof(NativeWindow) == 44);

// List attributes.
constexpr uint16_t kListUsable = 0x01, kListEnabled = 0x02, kListVisible = 0x04, kListPoppedUp = 0x08,
                   kListHasScrollBar = 0x10, kListSearch = 0x20;

// The list draw callback: item number, its bounds, the item texts, the list.
struct NativeList;
using NativeListDrawFunc = void (*)(int16_t item, NativeUiRect* bounds, char** itemsText, NativeList* list);

struct NativeList {
    uint16_t id;
    uint16_t attr;
    NativeUiRect bounds;
    char** itemsText;
    int16_t numItems;
    int16_t currentItem;  // -1: none
    int16_t topItem;
    uint8_t font;
    uint8_t reserved;
    void* popupWin;
    NativeListDrawFunc drawItemsCallback;
};
static_assert(offsetof(NativeList, attr) == 2);
static_assert(offsetof(NativeList, bounds) == 4);
static_assert(offsetof(NativeList, itemsText) == 12);
static_assert(offsetof(NativeList, font) == 22);
static_assert(sizeof(void*) != 4 || sizeof(NativeList) == 32);

// Control attributes: bit 0 usable, 1 enabled, 2 visible, 3 on, 4 left anchor, 5-7 the frame,
// 8 drawn as selected, 9 a graphic control (bit 1 of the record's byte 3), 10 vertical.
constexpr uint16_t kControlUsable = 0x0001, kControlEnabled = 0x0002, kControlVisible = 0x0004,
                   kControlOn = 0x0008, kControlLeftAnchor = 0x0010, kControlFrameMask = 0x00E0,
                   kControlGraphic = 0x0200;

// Control styles.
constexpr uint8_t kButtonCtl = 0, kPushButtonCtl = 1, kCheckboxCtl = 2, kPopupTriggerCtl = 3,
                  kSelectorTriggerCtl = 4, kRepeatingButtonCtl = 5, kSliderCtl = 6, kFeedbackSliderCtl = 7;

struct NativeControl {
    uint16_t id;
    uint16_t attr;
    NativeUiRect bounds;
    union {
        char* text;  // text controls
        struct {
            uint16_t bitmapID;
            uint16_t selectedBitmapID;
        } graphic;  // graphic controls
    };
    uint8_t style;
    uint8_t font;
    uint8_t group;
    uint8_t reserved;
};
static_assert(offsetof(NativeControl, attr) == 2);
static_assert(offsetof(NativeControl, bounds) == 4);
static_assert(offsetof(NativeControl, text) == 12);
static_assert(offsetof(NativeControl, style) == 16);
static_assert(sizeof(void*) != 4 || sizeof(NativeControl) == 20);

// Sliders (styles 6 and 7) carry their values after the common part.
struct NativeSlider {
    uint16_t id;
    uint16_t attr;
    NativeUiRect bounds;
    uint16_t thumbID;
    uint16_t backgroundID;
    uint8_t style;
    uint8_t reserved;
    uint16_t minValue, maxValue, pageSize, value;
    uint16_t reserved26;
    void* activeSlider;
};
static_assert(offsetof(NativeSlider, style) == 16);
static_assert(offsetof(NativeSlider, minValue) == 18);
static_assert(sizeof(void*) != 4 || sizeof(NativeSlider) == 32);

// Bitmaps in the OS's native layout: the fields of the 68K bitmap header in host order (flags
// with their bits from bit 0 up), the version byte's bit 7 set; for versions below 3 a 16-byte
// header, for version 3 a 24-byte one. A colour table (u16 count, then 4-byte entries) follows the
// header when flagged; the bits follow, or a pointer to them with the indirect flag.
constexpr uint16_t kNativeBmpCompressed = 0x01, kNativeBmpHasColorTable = 0x02, kNativeBmpHasTransparency = 0x04,
                   kNativeBmpIndirect = 0x08, kNativeBmpForScreen = 0x10, kNativeBmpDirectColor = 0x20,
                   kNativeBmpIndirectColorTable = 0x40;
constexpr uint8_t kNativeBmpVersionMark = 0x80;

struct NativeBitmap {
    uint16_t width;
    uint16_t height;
    uint16_t rowBytes;
    uint16_t flags;
    uint8_t pixelSize;
    uint8_t version;  // bit 7 set
    uint16_t nextDepthOffset;  // versions 1 and 2, in 4-byte units
    uint8_t transparentIndex;
    uint8_t compressionType;
    uint16_t reserved;
};
static_assert(sizeof(NativeBitmap) == 16);

struct NativeBitmapV3 {
    uint16_t width;
    uint16_t height;
    uint16_t rowBytes;
    uint16_t flags;
    uint8_t pixelSize;
    uint8_t version;
    uint8_t headerSize;  // 24
    uint8_t pixelFormat;
    uint8_t unused;
    uint8_t compressionType;
    uint16_t density;
    uint32_t transparentValue;
    uint32_t nextBitmapOffset;
};
static_assert(sizeof(NativeBitmapV3) == 24);

// Menus: a bar of pull-down menus, each with its items.
constexpr uint8_t kMenuItemHidden = 0x01;  // NativeMenuItem::attr
constexpr uint16_t kMenuHidden = 0x01;     // NativeMenuPull::attr
constexpr uint16_t kMenuBarVisible = 0x01;  // NativeMenuBar::attr

struct NativeMenuItem {
    uint16_t itemId;
    char command;
    uint8_t attr;
    char* text;
};
static_assert(sizeof(void*) != 4 || sizeof(NativeMenuItem) == 8);

struct NativeMenuPull {
    void* menuWin;
    NativeUiRect bounds;
    void* bitsBehind;
    NativeUiRect titleBounds;
    char* title;
    uint16_t attr;
    uint16_t numItems;
    NativeMenuItem* items;
};
static_assert(sizeof(void*) != 4 || sizeof(NativeMenuPull) == 36);

struct NativeMenuBar {
    void* barWin;
    void* bitsBehindBar;
    void* savedActiveWin;
    void* bitsBehindStatus;
    uint16_t attr;
    int16_t curMenu;
    int16_t curItem;
    uint16_t reserved22;
    int32_t commandTick;
    int16_t numMenus;
    uint16_t reserved30;
    NativeMenuPull* menus;
};
static_assert(sizeof(void*) != 4 || sizeof(NativeMenuBar) == 36);

// Native forms: the form's window record first, then its own fields. The 68K glue writes the help
// resource ID in place before the form is drawn.
struct NativeForm {
    NativeWindow window;
    uint16_t formId;
    NativeUiRect bounds;
    uint16_t attr;
    uint16_t defaultButton;
    uint16_t helpRscId;
    uint16_t menuRscId;
};
static_assert(sizeof(void*) != 4 || offsetof(NativeForm, formId) == 44);
static_assert(sizeof(void*) != 4 || offsetof(NativeForm, helpRscId) == 58);

// Form objects whose attribute word the 68K glue writes in place. Bit 0 is the usable bit; a
// gadget's word holds usable, extended and visible in bits 0 to 2.
struct NativeFormLabel {
    uint16_t id;
    int16_t x, y;
    uint16_t attr;
    uint8_t fontID;
    uint8_t reserved;
};
static_assert(offsetof(NativeFormLabel, attr) == 6);

struct NativeFormBitmap {
    uint16_t attr;
    uint16_t rscId;
    int16_t x, y;
};
static_assert(sizeof(NativeFormBitmap) == 8);

struct NativeFormGadget {
    uint16_t id;
    uint16_t attr;
    NativeUiRect rect;
    void* data;
    void* handler;
};
static_assert(offsetof(NativeFormGadget, attr) == 2);
static_assert(offsetof(NativeFormGadget, data) == 12);
constexpr uint16_t kFormObjectUsable = 0x0001;

// Tables: the head of the native table record and its 20-byte column records. Bit 5 of a column's
// attribute byte marks it masked; bit 5 of the table's attribute word marks the table usable.
constexpr uint8_t kTableColumnMasked = 0x20;
constexpr uint16_t kTableUsable = 0x0020;
struct NativeTableColumn {
    uint16_t width;
    uint16_t spacing;
    uint8_t attr;
    uint8_t reserved[15];
};
static_assert(sizeof(NativeTableColumn) == 20);

struct NativeTable {
    uint16_t id;
    uint16_t attr;
    NativeUiRect bounds;
    uint16_t numColumns;
    uint16_t reserved14;
    NativeTableColumn* columns;  // numColumns records
};
static_assert(offsetof(NativeTable, numColumns) == 12);

// Scroll bars: attribute bits from bit 0 up: usable, visible, drawn as pressed, shown, then the part
// the pen holds (4 bits: none, up arrow, down arrow, the track above the thumb, the track below it,
// the thumb). `penPosInCar` is the pen's distance from the thumb's top while it is dragged,
// `savePos` the value when the pen went down.
constexpr uint16_t kScrollBarUsable = 0x0001, kScrollBarVisible = 0x0002, kScrollBarHilighted = 0x0004,
                   kScrollBarShown = 0x0008, kScrollBarRegionShift = 4, kScrollBarRegionMask = 0x00F0;
constexpr uint16_t kScrollBarNoRegion = 0, kScrollBarUpArrow = 1, kScrollBarDownArrow = 2, kScrollBarPageUp = 3,
                   kScrollBarPageDown = 4, kScrollBarCar = 5;
struct NativeScrollBar {
    NativeUiRect bounds;
    uint16_t id;
    uint16_t attr;
    int16_t value;
    int16_t minValue;
    int16_t maxValue;
    int16_t pageSize;
    int16_t penPosInCar;
    int16_t savePos;
};
static_assert(offsetof(NativeScrollBar, id) == 8);
static_assert(offsetof(NativeScrollBar, attr) == 10);
static_assert(offsetof(NativeScrollBar, value) == 12);
static_assert(offsetof(NativeScrollBar, pageSize) == 18);
static_assert(sizeof(NativeScrollBar) == 24);

// A popup trigger pair: the trigger control and the list it pops up.
struct NativeFormPopup {
    uint16_t controlID;
    uint16_t listID;
};
static_assert(sizeof(NativeFormPopup) == 4);

// Progress dialogs: the OS's progress object, which the 68K glue reads after each event, and the
// record its text callback fills (the callback answers whether it set a text).
constexpr uint16_t kProgressCancelled = 0x0001;  // NativeProgress::flags: the user tapped Cancel
struct NativeProgress {
    uint16_t flags;
    uint16_t stage;  // of the last update
    uint16_t error;  // of the last update
    uint16_t reserved;
};
static_assert(sizeof(NativeProgress) == 8);

constexpr uint16_t kPrgCancelled = 0x0001, kPrgShowDetails = 0x0002, kPrgTextChanged = 0x0004,
                   kPrgTimedOut = 0x0008;  // NativePrgCallbackData::flags
struct NativePrgCallbackData {
    uint16_t stage;
    char* textP;  // the callback's text goes here (textLen bytes with the terminator)
    uint16_t textLen;
    char* message;  // the message of the last update
    uint16_t error;
    uint16_t bitmapId;
    uint16_t flags;
    uint32_t timeout;
    uint8_t delay;
    void* userData;  // the value the dialog was started with
};
static_assert(sizeof(void*) != 4 || sizeof(NativePrgCallbackData) == 36);
using NativePrgTextCallback = uint8_t (*)(NativePrgCallbackData* data);

// The attention manager's calls of an attention's callback: the command, the attention's user value
// and the command's parameters (draw: the detail or list area, whether it is the first drawing and
// the attention's flags; got-it: whether the user dismissed it; iterate: the caller's value).
constexpr uint16_t kAttnCommandDrawDetail = 1, kAttnCommandDrawList = 2, kAttnCommandGotIt = 6,
                   kAttnCommandIterate = 8;
struct NativeAttnDrawArgs {
    NativeUiRect bounds;
    uint8_t firstTime;
    uint32_t flags;
    uint8_t selected;  // list drawing only
};
static_assert(sizeof(NativeAttnDrawArgs) == 20);
using NativeAttnCallback = uint16_t (*)(uint16_t command, uint32_t userData, void* args);

}  // namespace vantor
