/* A 68K application that, once its form (the views application's) opens, reads the attention
   indicator's state, sets its blink pattern and asks for two subtle attentions: they open no dialog
   but blink the indicator in the title bar, and a tap on it opens the list. The attention callback
   draws each row ("One", "Two", a line beside the selected one), hears which one the user got and
   counts AttnIterate's calls. The button saves the forms and ends the application, whose answer
   is, from the high nibble down: the save event seen, the user value of the attention got, 2 when
   the counts were 2 subtle and 0 insistent at the start, the count left at the end, the indicator
   checks (allowed, enabled, pattern read back), the iterations, the rows drawn selected and all
   the rows drawn; 0xFFFFFFFF when it was stopped instead. */
#include "FormLoop.h"

const UInt16 appFormID = 1100;
#define kButton 1102
#define kAttnKey 0x4D764174UL
#define kPattern 0xCCCC
#define kIterationValue 0x12345678UL

UInt32 appResult;
Boolean appDone;
static UInt16 saved, gotIt, countsAtStart, indicatorChecks, iterations, selectedRows, rows;

static Err AttnCallback(UInt16 command, UInt32 userData, AttnCommandArgsType* args) {
    if (command == kAttnCommandDrawList) {
        const RectangleType* r = &args->drawList.bounds;
        ++rows;
        WinDrawChars(userData == 1 ? "One" : "Two", 3, r->topLeft.x + 4, r->topLeft.y + 4);
        if (args->drawList.selected) {
            ++selectedRows;
            WinDrawLine(r->topLeft.x + 40, r->topLeft.y + 8, r->topLeft.x + 100, r->topLeft.y + 8);
        }
    } else if (command == kAttnCommandGotIt) {
        if (args->gotIt.dismissedUser) gotIt = (UInt16)userData;
    } else if (command == kAttnCommandIterate) {
        if (args->iterate.iterationData == kIterationValue) ++iterations;
    }
    return 0;
}

static void AskForAttention(void) {
    UInt16 insistent = 0xFFFF, subtle = 0xFFFF, total;
    indicatorChecks = (UInt16)((AttnIndicatorAllowed() ? 1 : 0) | (AttnIndicatorEnabled() ? 2 : 0));
    AttnIndicatorSetBlinkPattern(kPattern);
    if (AttnIndicatorGetBlinkPattern() == kPattern) indicatorChecks |= 4;
    AttnGetAttention(0, kAttnKey, 1, AttnCallback, kAttnLevelSubtle, 0, 0, 0);
    AttnGetAttention(0, kAttnKey, 2, AttnCallback, kAttnLevelSubtle, 0, 0, 0);
    total = AttnGetCounts(0, kAttnKey, &insistent, &subtle);
    countsAtStart = (UInt16)(total == 2 && insistent == 0 && subtle == 2 ? 2 : 0xF);
    AttnIterate(0, kAttnKey, kIterationValue);
}

Boolean AppFormHandler(EventType* event) {
    FormType* form = FrmGetActiveForm();
    if (SysHandleEvent(event)) return true;
    if (event->eType == frmOpenEvent || event->eType == frmUpdateEvent) {
        FrmDrawForm(form);
        if (event->eType == frmOpenEvent) AskForAttention();
        return true;
    }
    if (event->eType == frmSaveEvent) {
        saved = 1;
        return true;
    }
    if (event->eType == ctlSelectEvent && event->data.ctlSelect.controlID == kButton) {
        const UInt16 left = AttnGetCounts(0, kAttnKey, NULL, NULL);
        FrmSaveAllForms();
        appResult = ((UInt32)saved << 28) | ((UInt32)(gotIt & 0xF) << 24) | ((UInt32)countsAtStart << 20) |
                    ((UInt32)(left & 0xF) << 16) | ((UInt32)indicatorChecks << 12) |
                    ((UInt32)(iterations & 0xF) << 8) | ((selectedRows & 0xF) << 4) | (rows & 0xF);
        appDone = true;
        return true;
    }
    return false;
}
