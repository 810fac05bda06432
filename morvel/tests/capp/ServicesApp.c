/* A 68K application that shows a progress dialog over its form (the views application's form) as
   soon as the form opens, and, once the user cancels it, asks for the user's attention. Its text
   callback writes the stage's text; its attention callback draws a line and a word in the detail
   area and hears of the dismissal. The button ends the application, which answers 0x10000000 when
   it saw the cancel, the got-it command plus the dismissal flag in bits 24-27, 0x100000 when the
   text callback saw its user value, the text callback's count in bits 8-15 and the attention's
   drawings in the low byte; 0xFFFFFFFF when it was stopped instead. */
#include "FormLoop.h"

const UInt16 appFormID = 1100;
#define kButton 1102
#define kAttnKey 0x4D765376UL
#define kAttnUser 42

UInt32 appResult;
Boolean appDone;
static ProgressType* progress;
static UInt16 cancelled, gotIt, userSeen, textCalls, drawCalls;
static UInt16 userValue;

static Boolean TextCallback(PrgCallbackData* data) {
    ++textCalls;
    if (data->userDataP == &userValue) userSeen = 1;
    StrCopy(data->textP, data->canceled ? "Stopping" : "Waiting for data");
    return true;
}

static Err AttnCallback(UInt16 command, UInt32 userData, AttnCommandArgsType* args) {
    if (userData != kAttnUser) return 1;
    if (command == kAttnCommandDrawDetail) {
        const RectangleType* r = &args->drawDetail.bounds;
        ++drawCalls;
        WinDrawLine(r->topLeft.x + 4, r->topLeft.y + 12, r->topLeft.x + 60, r->topLeft.y + 12);
        WinDrawChars("Wake up", 7, r->topLeft.x + 4, r->topLeft.y + 2);
    } else if (command == kAttnCommandGotIt) {
        gotIt = (UInt16)(1 + args->gotIt.dismissedUser);
    }
    return 0;
}

Boolean AppFormHandler(EventType* event) {
    FormType* form = FrmGetActiveForm();
    if (SysHandleEvent(event)) return true;
    if (progress && PrgHandleEvent(progress, event)) {
        if (PrgUserCancel(progress)) {
            cancelled = 1;
            PrgStopDialog(progress, false);
            progress = NULL;
            AttnGetAttention(0, kAttnKey, kAttnUser, AttnCallback, kAttnLevelInsistent, 0, 0, 0);
            AttnUpdate(0, kAttnKey, kAttnUser, AttnCallback, NULL, NULL, NULL);
        }
        return true;
    }
    if (event->eType == frmOpenEvent || event->eType == frmUpdateEvent) {
        FrmDrawForm(form);
        if (event->eType == frmOpenEvent) progress = PrgStartDialog("Sending", TextCallback, &userValue);
        return true;
    }
    if (event->eType == ctlSelectEvent && event->data.ctlSelect.controlID == kButton) {
        appResult = ((UInt32)cancelled << 28) | ((UInt32)gotIt << 24) | ((UInt32)userSeen << 20) |
                    ((UInt32)(textCalls & 0xFF) << 8) | (drawCalls & 0xFF);
        appDone = true;
        return true;
    }
    return false;
}
