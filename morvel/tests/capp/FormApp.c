/* A 68K application with a form from its resources: a field that takes the keys typed and a button
   whose tap ends the application. It answers the length of the field's text in the high word and
   the sum of its characters in the low word; 0xFFFFFFFF when it was stopped instead. */
#include "VantorApp.h"

#define kForm 1000
#define kField 1001
#define kButton 1002

static UInt32 result;
static Boolean done;

static Boolean FormHandler(EventType* event) {
    FormType* form = FrmGetActiveForm();
    if (event->eType == frmOpenEvent) {
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
        result = ((UInt32)length << 16) | (sum & 0xFFFF);
        done = true;
        return true;
    }
    return false;
}

UInt32 VantorMain(UInt16 cmd, MemPtr cmdPBP, UInt16 launchFlags) {
    EventType event;
    (void)cmdPBP;
    (void)launchFlags;
    if (cmd != launchCodeNormal) return 0;
    FrmGotoForm(kForm);
    do {
        EvtGetEvent(&event, evtWaitForever);
        if (event.eType == frmLoadEvent) {
            FormType* form = FrmInitForm(event.data.frmLoad.formID);
            FrmSetActiveForm(form);
            FrmSetEventHandler(form, FormHandler);
            continue;
        }
        FrmDispatchEvent(&event);
    } while (!done && event.eType != appStopEvent);
    FrmCloseAllForms();
    return done ? result : 0xFFFFFFFFul;
}
