/* A 68K application that builds its form at run time: a title, a label, an editable field, a
   second label, a gadget whose handler draws it as a black box, and a bitmap. The first tap on the
   gadget removes the second label, hides the bitmap through its record's usable bit and draws the
   form again; the second tap shows the help text,
   then asks for a name in a custom-response alert whose checker refuses an empty name under OK,
   adds the name to the field and ends the application.
   It answers the checks that held in the top byte (bit 0: every object was made; 1: removing took
   one object away; 2 and 3: the gadget and field pointers stayed as they were; 4: the removed ID
   is gone; 5: the tap's event named the gadget; 6: the form image counts no objects; 7: the
   gadget's handler heard of the form's deletion once), the checker's calls and the gadget draws
   in the two halves of the next byte, the length of the field's text in the next and the low byte
   of the sum of its characters last; 0xFFFFFFFF when it was stopped instead. */
#include "VantorApp.h"

#define kForm 2000
#define kLabel 2001
#define kField 2002
#define kGone 2003
#define kGadget 2004
#define kBitmapID 2005
#define kBitmapResource 1200
#define kHelp 2100
#define kNameAlert 2200

/* The handler is given the address of the gadget's 68K record, whose bounds start at byte 4. */
#define kGadgetBounds 4

static FormType* form;
static FormGadgetType* gadget;
static FieldType* field;
static FormBitmapType* bitmap;
static UInt32 checks;
static UInt16 draws, taps, deletes, checks68;
static char name[12];
static Boolean done;

static void Check(UInt16 bit, Boolean holds) {
    if (holds) checks |= 1ul << bit;
}

static void TapOnce(void) {
    UInt16 count = FrmGetNumberOfObjects(form);
    FrmRemoveObject(&form, FrmGetObjectIndex(form, kGone));
    Check(1, FrmGetNumberOfObjects(form) == count - 1);
    Check(2, FrmGetObjectPtr(form, FrmGetObjectIndex(form, kGadget)) == gadget);
    Check(3, FrmGetObjectPtr(form, FrmGetObjectIndex(form, kField)) == field);
    Check(4, FrmGetObjectIndex(form, kGone) == frmInvalidObjectId);
    *(UInt16*)bitmap &= ~0x8000; /* the usable bit of the bitmap's record */
    FrmDrawForm(form);
}

/* OK (button 0) needs a name; Cancel takes anything. */
static Boolean CheckName(Int16 button, char* attempt) {
    ++checks68;
    return button != 0 || attempt[0] != 0;
}

static void AskName(void) {
    FrmHelp(kHelp);
    if (FrmCustomResponseAlert(kNameAlert, "the box", 0, 0, name, sizeof name, CheckName) == 0)
        FldInsert(field, name, StrLen(name));
}

static Boolean GadgetHandler(FormGadgetType* g, UInt16 cmd, void* param) {
    if (cmd == formGadgetDrawCmd) {
        Int16 y;
        const RectangleType* r = (const RectangleType*)((const UInt8*)g + kGadgetBounds);
        for (y = 0; y < r->extent.y; ++y)
            WinDrawLine(r->topLeft.x, r->topLeft.y + y, r->topLeft.x + r->extent.x - 1, r->topLeft.y + y);
        ++draws;
        return true;
    }
    if (cmd == formGadgetHandleEventCmd) {
        EventType* event = param;
        if (event->eType != frmGadgetEnterEvent) return false;
        Check(5, event->data.gadgetEnter.gadgetID == kGadget && event->data.gadgetEnter.gadgetP == g);
        if (++taps == 1) {
            TapOnce();
        } else {
            AskName();
            done = true;
        }
        return true;
    }
    if (cmd == formGadgetDeleteCmd) ++deletes;
    return false;
}

static void Build(void) {
    FormLabelType* label;
    FormLabelType* gone;
    form = FrmNewForm(kForm, "Built Form", 0, 0, 160, 160, false, 0, 0, 0);
    FrmSetActiveForm(form);
    label = FrmNewLabel(&form, kLabel, "Name:", 8, 30, 0);
    field = FldNewField((void**)&form, kField, 44, 28, 100, 12, 0, 20, true, true, true, false, 0, false, false,
                        false);
    gone = FrmNewLabel(&form, kGone, "GONE", 8, 100, 0);
    gadget = FrmNewGadget(&form, kGadget, 60, 120, 40, 20);
    bitmap = FrmNewBitmap(&form, kBitmapID, kBitmapResource, 120, 60);
    Check(0, form && label && field && gone && gadget && bitmap &&
                 FrmGetObjectPtr(form, FrmGetObjectIndex(form, kGadget)) == gadget);
    /* The image's object count reads 0: objects are reached through the traps only. */
    Check(6, FrmGetNumberOfObjects(form) == 6 && ((const UInt16*)form)[31] == 0);
    FrmSetGadgetHandler(form, FrmGetObjectIndex(form, kGadget), GadgetHandler);
    FrmDrawForm(form);
    FrmSetFocus(form, FrmGetObjectIndex(form, kField));
}

UInt32 VantorMain(UInt16 cmd, MemPtr cmdPBP, UInt16 launchFlags) {
    EventType event;
    UInt32 length = 0, sum = 0;
    const char* text;
    (void)cmdPBP;
    (void)launchFlags;
    if (cmd != launchCodeNormal) return 0;
    Build();
    do {
        EvtGetEvent(&event, evtWaitForever);
        FrmDispatchEvent(&event);
    } while (!done && event.eType != appStopEvent);
    text = FldGetTextPtr(field);
    if (text)
        for (; text[length]; ++length) sum += (UInt8)text[length];
    FrmDeleteForm(form);
    Check(7, deletes == 1);
    return done ? (checks << 24) | ((UInt32)(checks68 & 0xF) << 20) | ((UInt32)(draws & 0xF) << 16) |
                      ((length & 0xFF) << 8) | (sum & 0xFF)
                : 0xFFFFFFFFul;
}
