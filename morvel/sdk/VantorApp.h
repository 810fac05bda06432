/* The system as a 68K application in C sees it: its types, the records it shares with the system
   and the traps it calls. Compile with m68k-linux-gnu-gcc -m68000 -mshort -msep-data (int is
   16 bits wide, as the system's calling convention wants; A5 is the base of the globals) and
   link with Start.S, Traps.S, Runtime.c and App.ld; morvel-pack makes the .vrx. The application
   provides VantorMain. */
#ifndef VANTOR_APP_H
#define VANTOR_APP_H

typedef unsigned char UInt8;
typedef signed char Int8;
typedef unsigned short UInt16;
typedef short Int16;
typedef unsigned long UInt32;
typedef long Int32;
typedef unsigned char Boolean;
typedef UInt16 Err;
typedef Int16 Coord;
typedef void* MemPtr;
typedef struct MemHandleOpaque* MemHandle;
typedef struct FormOpaque FormType;
typedef struct FieldOpaque FieldType;
typedef struct ListOpaque ListType;
typedef struct ControlOpaque ControlType;
typedef struct BitmapOpaque BitmapType;

#define true 1
#define false 0
#define NULL ((void*)0)

typedef struct {
    Coord x, y;
} PointType;

typedef struct {
    PointType topLeft, extent;
} RectangleType;

/* The 24-byte event record; the data of the events applications read most. */
typedef struct {
    UInt16 eType;
    Boolean penDown;
    UInt8 tapCount;
    Coord screenX, screenY;
    union {
        UInt16 words[8];
        struct { UInt16 chr, keyCode, modifiers; } keyDown;
        struct { UInt16 formID; } frmLoad, frmOpen;
        struct { UInt16 controlID; ControlType* pControl; Boolean on; UInt8 reserved; } ctlSelect;
        struct { UInt16 listID; ListType* pList; Int16 selection; } lstSelect;
        struct { UInt16 gadgetID; struct FormGadgetOpaque* gadgetP; } gadgetEnter;
        struct { UInt16 scrollBarID; struct ScrollBarOpaque* pScrollBar; Int16 value, newValue; Int32 time; } sclRepeat;
        struct { UInt16 scrollBarID; struct ScrollBarOpaque* pScrollBar; Int16 value, newValue; } sclExit;
    } data;
} EventType;

typedef Boolean (*FormEventHandlerType)(EventType* event);

enum {
    nilEvent = 0,
    penDownEvent = 1,
    penUpEvent = 2,
    keyDownEvent = 4,
    ctlSelectEvent = 9,
    lstSelectEvent = 12,
    appStopEvent = 22,
    frmLoadEvent = 23,
    frmOpenEvent = 24,
    frmSaveEvent = 27,
};

/* Launch codes and flags VantorMain receives. */
enum { launchCodeNormal = 0 };
enum { launchFlagNewGlobals = 0x04, launchFlagUIApp = 0x08 };

#define evtWaitForever (-1L)

UInt32 VantorMain(UInt16 cmd, MemPtr cmdPBP, UInt16 launchFlags);

/* Events, memory, strings. */
void EvtGetEvent(EventType* event, Int32 timeout);
void EvtAddEventToQueue(const EventType* event);
MemPtr MemPtrNew(UInt32 size);
Err MemChunkFree(MemPtr chunk);
#define MemPtrFree(p) MemChunkFree(p)
MemHandle MemHandleNew(UInt32 size);
MemPtr MemHandleLock(MemHandle h);
Err MemHandleUnlock(MemHandle h);
Err MemHandleFree(MemHandle h);
Err MemMove(void* dst, const void* src, Int32 bytes);
Err __VtMemSet(void* dst, Int32 bytes, UInt16 valueInFirstByte);
#define MemSet(dst, bytes, value) __VtMemSet((dst), (bytes), (UInt16)((UInt8)(value) << 8))
UInt16 StrLen(const char* s);
char* StrCopy(char* dst, const char* src);
char* StrCat(char* dst, const char* src);
Int16 StrCompare(const char* a, const char* b);
char* StrIToA(char* s, Int32 value);
Err SysLibFind(const char* name, UInt16* refNum);

/* Forms and their objects. */
FormType* FrmInitForm(UInt16 formID);
void FrmDeleteForm(FormType* form);
void FrmDrawForm(FormType* form);
FormType* FrmGetActiveForm(void);
void FrmSetActiveForm(FormType* form);
UInt16 FrmGetFormId(const FormType* form);
Boolean FrmHandleEvent(FormType* form, EventType* event);
Boolean FrmDispatchEvent(EventType* event);
void FrmSetEventHandler(FormType* form, FormEventHandlerType handler);
void FrmGotoForm(UInt16 formID);
void FrmCloseAllForms(void);
void FrmSaveAllForms(void);
UInt16 FrmGetObjectIndex(const FormType* form, UInt16 objID);
void* FrmGetObjectPtr(const FormType* form, UInt16 objIndex);
void FrmSetFocus(FormType* form, UInt16 fieldIndex);
void FrmCopyLabel(FormType* form, UInt16 labelID, const char* newLabel);
/* Help shows the text resource ('tSTR') until its Done button is tapped. A custom-response alert
   shows an entry line; the checker is given the tapped button and the entry, and the alert stays
   while it answers false. */
void FrmHelp(UInt16 helpMsgId);
typedef Boolean (*FormCheckResponseFuncType)(Int16 button, char* attempt);
UInt16 FrmCustomResponseAlert(UInt16 alertId, const char* s1, const char* s2, const char* s3, char* entryStringBuf,
                              Int16 entryStringBufLength, FormCheckResponseFuncType callback);
char* FldGetTextPtr(const FieldType* field);
void FldSetTextPtr(FieldType* field, char* text);
void FldSetTextHandle(FieldType* field, MemHandle text);
MemHandle FldGetTextHandle(const FieldType* field);
void FldDrawField(FieldType* field);
Boolean FldInsert(FieldType* field, const char* text, UInt16 length);
void LstSetListChoices(ListType* list, char** items, Int16 count);
void LstDrawList(ListType* list);
Int16 LstGetSelection(const ListType* list);
void LstSetSelection(ListType* list, Int16 item);

UInt16 FrmGetObjectId(const FormType* form, UInt16 objIndex);
void FldSetSelection(FieldType* field, UInt16 startPosition, UInt16 endPosition);
UInt16 FldGetTextLength(const FieldType* field);
void LstSetHeight(ListType* list, Int16 visibleItems);

/* Forms and objects built at run time. The new-object calls take the address of the caller's form
   pointer; FrmRemoveObject moves the later objects down one index. */
typedef struct FormLabelOpaque FormLabelType;
typedef struct FormBitmapOpaque FormBitmapType;
typedef struct FormGadgetOpaque FormGadgetType;
typedef Boolean (*FormGadgetHandlerType)(FormGadgetType* gadget, UInt16 cmd, void* param);
enum { formGadgetDrawCmd = 0, formGadgetEraseCmd = 1, formGadgetHandleEventCmd = 2, formGadgetDeleteCmd = 3 };
enum { frmGadgetEnterEvent = 0x0803 };
#define frmInvalidObjectId 0xFFFF
FormType* __VtFrmNewForm(UInt16 formID, const char* title, Coord x, Coord y, Coord width, Coord height,
                         UInt16 modalInFirstByte, UInt16 defaultButton, UInt16 helpRscID, UInt16 menuRscID);
#define FrmNewForm(id, title, x, y, w, h, modal, defaultButton, help, menu) \
    __VtFrmNewForm((id), (title), (x), (y), (w), (h), (UInt16)((UInt8)(modal) << 8), (defaultButton), (help), (menu))
FormLabelType* __VtFrmNewLabel(FormType** form, UInt16 id, const char* text, Coord x, Coord y, UInt16 fontInFirstByte);
#define FrmNewLabel(form, id, text, x, y, font) \
    __VtFrmNewLabel((form), (id), (text), (x), (y), (UInt16)((UInt8)(font) << 8))
FormBitmapType* FrmNewBitmap(FormType** form, UInt16 id, UInt16 rscID, Coord x, Coord y);
FormGadgetType* FrmNewGadget(FormType** form, UInt16 id, Coord x, Coord y, Coord width, Coord height);
Err FrmRemoveObject(FormType** form, UInt16 objIndex);
FieldType* __VtFldNewField(void** form, UInt16 id, Coord x, Coord y, Coord width, Coord height, UInt16 font,
                           UInt32 maxChars, UInt16 editable, UInt16 underlined, UInt16 singleLine,
                           UInt16 dynamicSize, UInt16 justification, UInt16 autoShift, UInt16 hasScrollBar,
                           UInt16 numeric);
#define __VT_B(v) ((UInt16)((UInt8)(v) << 8))
#define FldNewField(form, id, x, y, w, h, font, maxChars, editable, underlined, singleLine, dynamicSize, \
                    justification, autoShift, hasScrollBar, numeric) \
    __VtFldNewField((form), (id), (x), (y), (w), (h), __VT_B(font), (maxChars), __VT_B(editable), \
                    __VT_B(underlined), __VT_B(singleLine), __VT_B(dynamicSize), __VT_B(justification), \
                    __VT_B(autoShift), __VT_B(hasScrollBar), __VT_B(numeric))
void FrmSetGadgetHandler(FormType* form, UInt16 objIndex, FormGadgetHandlerType handler);
UInt16 FrmGetNumberOfObjects(const FormType* form);

/* Scroll bars, form objects of their own (FrmGetObjectPtr). A pen on one brings a sclEnterEvent, a
   sclRepeatEvent for each change of its value (the value before and after) and a sclExitEvent when
   the pen leaves it (the value the pen found and the one it left). FrmObjectUsable tells whether a
   form object is usable; FrmHideObject and FrmShowObject change that. */
typedef struct ScrollBarOpaque ScrollBarType;
enum { sclEnterEvent = 32, sclExitEvent = 33, sclRepeatEvent = 34 };
void SclGetScrollBar(const ScrollBarType* bar, Int16* value, Int16* min, Int16* max, Int16* pageSize);
void SclSetScrollBar(ScrollBarType* bar, Int16 value, Int16 min, Int16 max, Int16 pageSize);
void SclDrawScrollBar(ScrollBarType* bar);
Boolean SclHandleEvent(ScrollBarType* bar, const EventType* event);
Boolean FrmObjectUsable(const void* object);
void FrmHideObject(FormType* form, UInt16 objIndex);
void FrmShowObject(FormType* form, UInt16 objIndex);

/* The clipboard keeps one item per format; the item got is the clipboard's own handle, to be
   locked for reading. A bitmap item is one whole bitmap (header, colour table, bits), which the
   application can draw as it is. */
enum { clipboardText = 0, clipboardInk = 1, clipboardBitmap = 2 };
void __VtClipboardAddItem(UInt16 formatInFirstByte, const void* data, UInt16 length);
#define ClipboardAddItem(format, data, length) __VtClipboardAddItem((UInt16)((UInt8)(format) << 8), (data), (length))
MemHandle __VtClipboardGetItem(UInt16 formatInFirstByte, UInt16* length);
#define ClipboardGetItem(format, length) __VtClipboardGetItem((UInt16)((UInt8)(format) << 8), (length))

/* Bitmaps the OS makes: BmpGetBits answers where their bits lie, row after row. */
BitmapType* __VtBmpCreate(Coord width, Coord height, UInt16 depthInFirstByte, void* colorTable, UInt16* error);
#define BmpCreate(width, height, depth, colorTable, error) \
    __VtBmpCreate((width), (height), (UInt16)((UInt8)(depth) << 8), (colorTable), (error))
Err BmpDelete(BitmapType* bitmap);
void* BmpGetBits(BitmapType* bitmap);
UInt32 BmpSize(const BitmapType* bitmap);

/* The system's own handling of an event (the debugger and console keys among them) and the menu
   bar's; both answer true when they took the event. */
Boolean SysHandleEvent(EventType* event);
Boolean MenuHandleEvent(void* menu, EventType* event, UInt16* error);

/* Sockra.lib, the network library, found with SysLibFind. Time-outs are in ticks (100 a
   second); a call that fails answers -1 and stores its error through the last argument. */
#define sockraLibName "Sockra.lib"
enum { sockraAddrINET = 2, sockraSocketTypeStream = 1 };
enum { sockraErrAlreadyOpen = 0x1201 };
typedef UInt32 SockraIPAddr;
typedef struct {
    Int16 family;  /* sockraAddrINET */
    UInt16 port;   /* network byte order, as the 68K stores it */
    SockraIPAddr addr;
} SockraSocketAddrINType;
Err SockraOpen(UInt16 refNum, UInt16* interfaceErrors);
Err SockraClose(UInt16 refNum, UInt16 immediately);
SockraIPAddr SockraAddrAToIN(UInt16 refNum, const char* text);
Int16 __VtSockraSocketOpen(UInt16 refNum, UInt16 domainInFirstByte, UInt16 typeInFirstByte, Int16 protocol,
                           Int32 timeout, Err* error);
#define SockraSocketOpen(ref, domain, type, protocol, timeout, error) \
    __VtSockraSocketOpen((ref), (UInt16)((UInt8)(domain) << 8), (UInt16)((UInt8)(type) << 8), (protocol), \
                         (timeout), (error))
Int16 SockraSocketClose(UInt16 refNum, Int16 socket, Int32 timeout, Err* error);
Int16 SockraSocketConnect(UInt16 refNum, Int16 socket, void* address, Int16 addressLength, Int32 timeout,
                          Err* error);
Int16 SockraReceive(UInt16 refNum, Int16 socket, void* buffer, UInt16 length, UInt16 flags, void* from,
                    UInt16* fromLength, Int32 timeout, Err* error);

/* The virtual file system: volumes of the expansion manager and the files on them. */
typedef UInt32 FileRef;
enum {
    vfsModeRead = 0x0002,
    vfsModeWrite = 0x0005,
    vfsModeReadWrite = 0x0007,
};
#define vfsIteratorStart 0L
#define vfsIteratorStop 0xFFFFFFFFL
typedef struct {
    UInt32 attributes;
    char* nameP;
    UInt16 nameBufLen;
} FileInfoType;
Err VFSVolumeEnumerate(UInt16* volRefNum, UInt32* volIterator);
Err VFSFileCreate(UInt16 volRefNum, const char* path);
Err VFSFileOpen(UInt16 volRefNum, const char* path, UInt16 openMode, FileRef* fileRef);
Err VFSFileClose(FileRef fileRef);
Err VFSFileRead(FileRef fileRef, UInt32 numBytes, void* buffer, UInt32* numBytesRead);
Err VFSFileWrite(FileRef fileRef, UInt32 numBytes, const void* data, UInt32* numBytesWritten);
Err VFSDirEntryEnumerate(FileRef dirRef, UInt32* dirEntryIterator, FileInfoType* info);

/* Tables: their cells' items and the procedures that draw a column's cells. */
typedef struct TableOpaque TableType;
typedef void (*TableDrawItemFuncType)(void* table, Int16 row, Int16 column, RectangleType* bounds);
enum { customTableItem = 1, labelTableItem = 3, numericTableItem = 4 };
void TblSetCustomDrawProcedure(TableType* table, Int16 column, TableDrawItemFuncType drawCallback);
void __VtTblSetItemStyle(TableType* table, Int16 row, Int16 column, UInt16 typeInFirstByte);
#define TblSetItemStyle(table, row, column, type) __VtTblSetItemStyle((table), (row), (column), (UInt16)((UInt8)(type) << 8))
void TblSetItemInt(TableType* table, Int16 row, Int16 column, Int16 value);
Int16 TblGetNumberOfRows(const TableType* table);

/* Drawing in the current window. */
void WinDrawChars(const char* chars, Int16 length, Coord x, Coord y);
void WinEraseRectangle(const RectangleType* r, UInt16 cornerDiam);
void WinDrawBitmap(BitmapType* bitmap, Coord x, Coord y);
void WinDrawLine(Coord x1, Coord y1, Coord x2, Coord y2);

/* Menu bars and alerts. A menu event names the item chosen in its first data word; a form update
   asks the application to draw its form again (after a menu or an alert covered it). */
typedef struct MenuBarOpaque MenuBarType;
enum { menuEvent = 21, frmUpdateEvent = 26 };
MenuBarType* MenuInit(UInt16 resourceID);
MenuBarType* MenuSetActiveMenu(MenuBarType* menu);
UInt16 FrmAlert(UInt16 alertID);

/* Category lists: a list filled with the category names of a database. */
#define dmAllCategories 0xFFFF
void __VtCategoryCreateList(void* db, ListType* list, UInt16 currentCategory, UInt16 showAllInFirstByte,
                            UInt16 showUneditablesInFirstByte, UInt16 numUneditableInFirstByte, UInt32 editingStrID,
                            UInt16 resizeInFirstByte);
#define CategoryCreateList(db, list, current, showAll, showUneditables, numUneditable, editingStrID, resize) \
    __VtCategoryCreateList((db), (list), (current), (UInt16)((UInt8)(showAll) << 8), \
                           (UInt16)((UInt8)(showUneditables) << 8), (UInt16)((UInt8)(numUneditable) << 8), \
                           (editingStrID), (UInt16)((UInt8)(resize) << 8))
void __VtCategoryFreeList(void* db, ListType* list, UInt16 showAllInFirstByte, UInt32 editingStrID);
#define CategoryFreeList(db, list, showAll, editingStrID) \
    __VtCategoryFreeList((db), (list), (UInt16)((UInt8)(showAll) << 8), (editingStrID))

/* Progress dialogs: the text callback writes the text of the current stage into textP (textLen
   bytes) and answers true; PrgUserCancel tells whether the user tapped Cancel. */
typedef struct {
    UInt16 stage;
    char* textP;
    UInt16 textLen;
    char* message;
    Err error;
    UInt16 bitmapId;
    UInt16 canceled : 1, showDetails : 1, textChanged : 1, timedOut : 1, reserved1 : 12;
    UInt32 timeout;
    UInt32 barMaxValue, barCurValue;
    char* barMessage;
    UInt16 barFlags;
    UInt16 delay : 1, reserved2 : 15;
    void* userDataP;
} PrgCallbackData;
typedef Boolean (*PrgCallbackFunc)(PrgCallbackData* data);
typedef struct ProgressOpaque ProgressType;
#define PrgUserCancel(p) ((((const UInt8*)(p))[8] & 0x40) != 0)
ProgressType* PrgStartDialog(const char* title, PrgCallbackFunc textCallback, void* userDataP);
Boolean PrgHandleEvent(ProgressType* progress, EventType* event);
void __VtPrgStopDialog(ProgressType* progress, UInt16 forceInFirstByte);
#define PrgStopDialog(p, force) __VtPrgStopDialog((p), (UInt16)((UInt8)(force) << 8))
void __VtPrgUpdateDialog(ProgressType* progress, Err error, UInt16 stage, const char* message,
                         UInt16 updateNowInFirstByte);
#define PrgUpdateDialog(p, error, stage, message, now) \
    __VtPrgUpdateDialog((p), (error), (stage), (message), (UInt16)((UInt8)(now) << 8))

/* The attention manager: an attention's callback draws its details (command 1) or its row of the
   list (command 2), hears when the user dismissed it (command 6) and takes AttnIterate's value
   (command 8). While attentions are pending the indicator blinks in the title bar; a tap on it
   opens the list. */
enum { kAttnCommandDrawDetail = 1, kAttnCommandDrawList = 2, kAttnCommandGotIt = 6, kAttnCommandIterate = 8 };
enum { kAttnLevelInsistent = 0, kAttnLevelSubtle = 1 };
typedef union {
    struct { RectangleType bounds; Boolean firstTime; UInt32 flags; } drawDetail;
    struct { RectangleType bounds; Boolean firstTime; UInt32 flags; Boolean selected; } drawList;
    struct { Boolean dismissedUser; } gotIt;
    struct { UInt32 iterationData; } iterate;
} AttnCommandArgsType;
typedef Err (*AttnCallbackProc)(UInt16 command, UInt32 userData, AttnCommandArgsType* args);
Err AttnGetAttention(UInt16 cardNo, UInt32 dbID, UInt32 userData, AttnCallbackProc callback, UInt16 level,
                     UInt32 flags, UInt16 nagRateInSeconds, UInt16 nagRepeatLimit);
Boolean AttnUpdate(UInt16 cardNo, UInt32 dbID, UInt32 userData, AttnCallbackProc callback, UInt32* flagsP,
                   UInt16* nagRateInSecondsP, UInt16* nagRepeatLimitP);
Boolean AttnForgetIt(UInt16 cardNo, UInt32 dbID, UInt32 userData);
UInt16 AttnGetCounts(UInt16 cardNo, UInt32 dbID, UInt16* insistentCountP, UInt16* subtleCountP);
void AttnIterate(UInt16 cardNo, UInt32 dbID, UInt32 iterationData);
void AttnListOpen(void);
Boolean AttnIndicatorAllowed(void);
Boolean AttnIndicatorEnabled(void);
UInt16 AttnIndicatorGetBlinkPattern(void);
void AttnIndicatorSetBlinkPattern(UInt16 pattern);

/* Databases: an open reference, found by the database's type and creator. */
typedef void* DmOpenRef;
enum { dmModeReadOnly = 0x0001 };
DmOpenRef DmOpenDatabaseByTypeCreator(UInt32 type, UInt32 creator, UInt16 mode);
Err DmCloseDatabase(DmOpenRef db);

#endif
