/* The event loop and entry point of the test applications built on one form from their resources:
   for a normal launch, the form is opened, each form loaded gets the application's handler and
   every event goes to the active form until the handler sets appDone or the application is told
   to stop; then the forms are closed. The answer is appResult when the handler ended it,
   0xFFFFFFFF when it was stopped, 0 for any other launch. */
#include "FormLoop.h"

UInt32 VantorMain(UInt16 cmd, MemPtr cmdPBP, UInt16 launchFlags) {
    EventType event;
    (void)cmdPBP;
    (void)launchFlags;
    if (cmd != launchCodeNormal) return 0;
    FrmGotoForm(appFormID);
    do {
        EvtGetEvent(&event, evtWaitForever);
        if (event.eType == frmLoadEvent) {
            FormType* form = FrmInitForm(event.data.frmLoad.formID);
            FrmSetActiveForm(form);
            FrmSetEventHandler(form, AppFormHandler);
            continue;
        }
        FrmDispatchEvent(&event);
    } while (!appDone && event.eType != appStopEvent);
    FrmCloseAllForms();
    return appDone ? appResult : 0xFFFFFFFFul;
}
