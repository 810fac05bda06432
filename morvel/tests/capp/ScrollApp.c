/* A 68K application with a scroll bar beside a strip that shows its value (8 units wide a step, at
   10, 60), and a bitmap of its own made by the OS, copied to the clipboard and drawn from there (at
   60, 90: its top-left and bottom-right quarters black). When the form opens it reads whether the
   scroll bar is usable and its values; each change of value the pen makes redraws the strip, each
   time the pen leaves the bar is counted. The button hides the scroll bar and ends the
   application, which answers: bit 28 the bar was usable and hides, bit 24 its values were the
   form's, bit 20 the bitmap came back whole from the clipboard, bits 16-19 the pen's departures,
   bits 8-15 the last value, bit 0 whether that value is the bar's. */
#include "FormLoop.h"

const UInt16 appFormID = 1500;
#define kScrollBar 1501
#define kButton 1502

UInt32 appResult;
Boolean appDone;
static UInt16 usable, started, copied, exits, matches;
static Int16 lastValue;

static ScrollBarType* Bar(FormType* form) {
    return (ScrollBarType*)FrmGetObjectPtr(form, FrmGetObjectIndex(form, kScrollBar));
}

static void DrawValue(Int16 value) {
    RectangleType strip = {{10, 60}, {81, 6}};
    Int16 y;
    WinEraseRectangle(&strip, 0);
    for (y = 60; value > 0 && y < 66; ++y) WinDrawLine(10, y, (Coord)(10 + value * 8 - 1), y);
}

/* A 16 x 16 one-bit bitmap with two black quarters, through the clipboard; the OS's bitmap goes once
   it is copied. */
static void CopyBitmap(void) {
    Err err = 1;
    BitmapType* bitmap = BmpCreate(16, 16, 1, NULL, &err);
    UInt8* bits;
    UInt16 row, length = 0;
    if (!bitmap || err) return;
    bits = (UInt8*)BmpGetBits(bitmap);
    for (row = 0; row < 16; ++row) {
        bits[2 * row] = row < 8 ? 0xFF : 0x00;
        bits[2 * row + 1] = row < 8 ? 0x00 : 0xFF;
    }
    ClipboardAddItem(clipboardBitmap, bitmap, (UInt16)BmpSize(bitmap));
    BmpDelete(bitmap);
    copied = ClipboardGetItem(clipboardBitmap, &length) != NULL && length == 16 + 32;
}

static void DrawClipboardBitmap(void) {
    UInt16 length;
    MemHandle item = ClipboardGetItem(clipboardBitmap, &length);
    if (!item) return;
    WinDrawBitmap((BitmapType*)MemHandleLock(item), 60, 90);
    MemHandleUnlock(item);
}

Boolean AppFormHandler(EventType* event) {
    FormType* form = FrmGetActiveForm();
    Int16 value, low, high, page;
    switch (event->eType) {
        case frmOpenEvent:
        case frmUpdateEvent:
            FrmDrawForm(form);
            if (event->eType == frmOpenEvent) {
                usable = FrmObjectUsable(Bar(form));
                SclGetScrollBar(Bar(form), &value, &low, &high, &page);
                started = value == 0 && low == 0 && high == 10 && page == 5;
                CopyBitmap();
            }
            DrawValue(lastValue);
            DrawClipboardBitmap();
            return true;
        case sclRepeatEvent:
            DrawValue(event->data.sclRepeat.newValue);
            return false;
        case sclExitEvent:
            ++exits;
            lastValue = event->data.sclExit.newValue;
            SclGetScrollBar(Bar(form), &value, &low, &high, &page);
            matches = value == lastValue;
            return false;
        case ctlSelectEvent:
            if (event->data.ctlSelect.controlID != kButton) return false;
            FrmHideObject(form, FrmGetObjectIndex(form, kScrollBar));
            appResult = ((UInt32)(usable && !FrmObjectUsable(Bar(form))) << 28) | ((UInt32)started << 24) |
                        ((UInt32)copied << 20) | ((UInt32)(exits & 0xF) << 16) | ((UInt32)(lastValue & 0xFF) << 8) |
                        matches;
            appDone = true;
            return true;
        default:
            return false;
    }
}
