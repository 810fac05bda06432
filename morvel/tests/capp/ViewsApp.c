/* A 68K application with a list, a bitmap and a button in a form from its resources, a list of its
   own database's categories, a raw bitmap of its own drawn beside them, and a menu bar whose item
   shows an alert. A tap on a list item
   selects it; the button ends the application, which answers the category list's item count in
   the top four bits, the alert's button plus one in the next four (0 without an alert), the list's
   item count in the next byte and 0x100 times the selection the list-select event named plus the
   selection LstGetSelection gives in the low word; 0xFFFFFFFF when it was stopped instead. */
#include "FormLoop.h"

const UInt16 appFormID = 1100;
#define kList 1101
#define kButton 1102
#define kCategoryList 1103
#define kMenuBar 1300
#define kMenuAlert 1301
#define kAlert 1400

UInt32 appResult;
Boolean appDone;
static Int16 chosen = -1;
static UInt16 alertAnswer;
static DmOpenRef db;

/* A raw bitmap (version 2, 16 x 8, one bit deep): a frame two pixels thick. */
static const UInt16 kRawBitmap[] = {16, 8, 2, 0, 0x0102, 0, 0, 0,
                                    0xFFFF, 0xFFFF, 0xC003, 0xC003, 0xC003, 0xC003, 0xFFFF, 0xFFFF};

/* A list's item count, as its record holds it (at 16). */
static UInt16 ItemCount(const ListType* list) {
    const UInt8* image = (const UInt8*)list;
    return (UInt16)((image[16] << 8) | image[17]);
}

static void Draw(FormType* form) {
    FrmDrawForm(form);
    WinDrawBitmap((BitmapType*)kRawBitmap, 120, 45);
}

Boolean AppFormHandler(EventType* event) {
    FormType* form = FrmGetActiveForm();
    UInt16 error;
    if (MenuHandleEvent(NULL, event, &error)) return true;
    if (event->eType == frmOpenEvent) {
        MenuSetActiveMenu(MenuInit(kMenuBar));
        db = DmOpenDatabaseByTypeCreator(0x6170706CUL /* 'appl' */, 0x4D765677UL /* 'MvVw' */, dmModeReadOnly);
        CategoryCreateList(db, FrmGetObjectPtr(form, FrmGetObjectIndex(form, kCategoryList)), dmAllCategories,
                           true, true, 1, 0, false);
        Draw(form);
        return true;
    }
    if (event->eType == frmUpdateEvent) {
        Draw(form);
        return true;
    }
    if (event->eType == menuEvent && event->data.words[0] == kMenuAlert) {
        alertAnswer = (UInt16)(FrmAlert(kAlert) + 1);
        return true;
    }
    if (event->eType == lstSelectEvent && event->data.lstSelect.listID == kList) {
        chosen = event->data.lstSelect.selection;
        return true;
    }
    if (event->eType == ctlSelectEvent && event->data.ctlSelect.controlID == kButton) {
        ListType* list = FrmGetObjectPtr(form, FrmGetObjectIndex(form, kList));
        ListType* categories = FrmGetObjectPtr(form, FrmGetObjectIndex(form, kCategoryList));
        appResult = ((UInt32)(ItemCount(categories) & 0xF) << 28) | ((UInt32)(alertAnswer & 0xF) << 24) |
                    ((UInt32)ItemCount(list) << 16) | (UInt16)((chosen << 8) | (LstGetSelection(list) & 0xFF));
        CategoryFreeList(db, categories, true, 0);
        if (db) DmCloseDatabase(db);
        appDone = true;
        return true;
    }
    return false;
}
