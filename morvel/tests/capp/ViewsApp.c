/* A 68K application with a list, a bitmap and a button in a form from its resources. A tap on a
   list item selects it; the button ends the application, which answers the list's item count in
   the high word and 0x100 times the selection the list-select event named plus the selection
   LstGetSelection gives in the low word; 0xFFFFFFFF when it was stopped instead. */
#include "VantorApp.h"

#define kForm 1100
#define kList 1101
#define kButton 1102

static UInt32 result;
static Boolean done;
static Int16 chosen = -1;

static Boolean FormHandler(EventType* event) {
    FormType* form = FrmGetActiveForm();
    if (event->eType == frmOpenEvent) {
        FrmDrawForm(form);
        return true;
    }
    if (event->eType == lstSelectEvent && event->data.lstSelect.listID == kList) {
        chosen = event->data.lstSelect.selection;
        return true;
    }
    if (event->eType == ctlSelectEvent && event->data.ctlSelect.controlID == kButton) {
        ListType* list = FrmGetObjectPtr(form, FrmGetObjectIndex(form, kList));
        const UInt8* image = (const UInt8*)list; /* the list record: the item count at 16 */
        UInt16 count = (UInt16)((image[16] << 8) | image[17]);
        result = ((UInt32)count << 16) | (UInt16)((chosen << 8) | (LstGetSelection(list) & 0xFF));
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
