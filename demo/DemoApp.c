/* The demo application: one form with a text field, two buttons, a list and a bitmap.
   "Fetch" reads one line over TCP from the demo server on this machine (127.0.0.1, port
   kServerPort) through Sockra.lib and shows it in the reply field; "Save" writes the field's text
   to "/Note.txt" on the first volume and lists the volume's root folder in the list. */
#include "VantorApp.h"

#include "DemoIds.h"

#define kServerPort 17007
#define kTimeout 300 /* ticks: three seconds */
#define kNoteName "Note.txt"
#define kMaxEntries 12
#define kNameBytes 40

static char reply[96];
static char status[48];
static char names[kMaxEntries][kNameBytes];
static char* choices[kMaxEntries];

static void* Object(UInt16 id) {
    FormType* form = FrmGetActiveForm();
    return FrmGetObjectPtr(form, FrmGetObjectIndex(form, id));
}

static void ShowReply(const char* text) {
    FieldType* field = (FieldType*)Object(ReplyField);
    if (text != reply) StrCopy(reply, text);
    FldSetTextPtr(field, reply);
    FldDrawField(field);
}

static void ShowError(const char* what, Err err) {
    char number[12];
    StrCopy(status, what);
    StrCat(status, " failed: error ");
    StrIToA(number, err);
    StrCat(status, number);
    ShowReply(status);
}

/* Connects to the demo server and reads up to the end of its first line. */
void FetchButtonPressed(void) {
    UInt16 ref = 0, interfaceErrors = 0;
    Err err = 0, openErr;
    Int16 socket, got, length = 0;
    SockraSocketAddrINType address;

    err = SysLibFind(sockraLibName, &ref);
    if (err) {
        ShowError("Finding Sockra.lib", err);
        return;
    }
    openErr = SockraOpen(ref, &interfaceErrors);
    if (openErr && openErr != sockraErrAlreadyOpen) {
        ShowError("Opening Sockra.lib", openErr);
        return;
    }
    socket = SockraSocketOpen(ref, sockraAddrINET, sockraSocketTypeStream, 0, kTimeout, &err);
    if (socket < 0) {
        ShowError("Opening a socket", err);
    } else {
        address.family = sockraAddrINET;
        address.port = kServerPort;
        address.addr = SockraAddrAToIN(ref, "127.0.0.1");
        if (SockraSocketConnect(ref, socket, &address, sizeof address, kTimeout, &err) < 0) {
            ShowError("Connecting", err);
        } else {
            while (length < (Int16)sizeof reply - 1) {
                got = SockraReceive(ref, socket, reply + length, (UInt16)(sizeof reply - 1 - length), 0, NULL, NULL,
                                    kTimeout, &err);
                if (got <= 0) break;
                length += got;
                reply[length] = 0;
                if (reply[length - 1] == '\n') break;
            }
            while (length > 0 && (reply[length - 1] == '\n' || reply[length - 1] == '\r')) --length;
            reply[length] = 0;
            if (length > 0)
                ShowReply(reply);
            else
                ShowError("Receiving", err);
        }
        SockraSocketClose(ref, socket, kTimeout, &err);
    }
    if (!openErr) SockraClose(ref, 1);
}

/* The names in the volume's root folder, into the list. */
static void ListFolder(UInt16 volume) {
    FileRef dir;
    FileInfoType info;
    UInt32 iterator = vfsIteratorStart;
    Int16 count = 0;
    ListType* list = (ListType*)Object(FolderList);
    Err err = VFSFileOpen(volume, "/", vfsModeRead, &dir);
    if (err) {
        ShowError("Opening the folder", err);
        return;
    }
    while (count < kMaxEntries && iterator != vfsIteratorStop) {
        info.attributes = 0;
        info.nameP = names[count];
        info.nameBufLen = kNameBytes;
        names[count][0] = 0;
        if (VFSDirEntryEnumerate(dir, &iterator, &info)) break;
        choices[count] = names[count];
        ++count;
    }
    VFSFileClose(dir);
    LstSetListChoices(list, choices, count);
    LstDrawList(list);
}

/* Writes the field's text to the note file on the first volume, then lists that volume. */
void SaveButtonPressed(void) {
    UInt16 volume = 0;
    UInt32 iterator = vfsIteratorStart, written = 0;
    FileRef file;
    FieldType* field = (FieldType*)Object(TextField);
    const char* text = FldGetTextPtr(field);
    UInt16 length = text ? StrLen(text) : 0;
    Err err = VFSVolumeEnumerate(&volume, &iterator);
    if (err) {
        ShowError("Finding a volume", err);
        return;
    }
    VFSFileCreate(volume, "/" kNoteName); /* an existing note is overwritten */
    err = VFSFileOpen(volume, "/" kNoteName, vfsModeWrite, &file);
    if (err) {
        ShowError("Opening " kNoteName, err);
        return;
    }
    if (length) err = VFSFileWrite(file, length, text, &written);
    VFSFileClose(file);
    if (err) {
        ShowError("Writing " kNoteName, err);
        return;
    }
    ListFolder(volume);
}

static Boolean MainFormHandleEvent(EventType* event) {
    FormType* form;
    switch (event->eType) {
        case frmOpenEvent:
            form = FrmGetActiveForm();
            FrmDrawForm(form);
            FrmSetFocus(form, FrmGetObjectIndex(form, TextField));
            return true;
        case ctlSelectEvent:
            if (event->data.ctlSelect.controlID == FetchButton) {
                FetchButtonPressed();
                return true;
            }
            if (event->data.ctlSelect.controlID == SaveButton) {
                SaveButtonPressed();
                return true;
            }
            return false;
        default:
            return false;
    }
}

static Boolean AppHandleEvent(EventType* event) {
    FormType* form;
    if (event->eType != frmLoadEvent) return false;
    form = FrmInitForm(event->data.frmLoad.formID);
    FrmSetActiveForm(form);
    FrmSetEventHandler(form, MainFormHandleEvent);
    return true;
}

UInt32 VantorMain(UInt16 cmd, MemPtr cmdPBP, UInt16 launchFlags) {
    EventType event;
    UInt16 error;
    (void)cmdPBP;
    (void)launchFlags;
    if (cmd != launchCodeNormal) return 0;
    FrmGotoForm(MainForm);
    do {
        EvtGetEvent(&event, evtWaitForever);
        if (SysHandleEvent(&event)) continue;
        if (MenuHandleEvent(NULL, &event, &error)) continue;
        if (AppHandleEvent(&event)) continue;
        FrmDispatchEvent(&event);
    } while (event.eType != appStopEvent);
    FrmCloseAllForms();
    return 0;
}
