// The platform layer (export slots 212, 213, 226 to 233, 244 to 249, 265 to 270): what the OS
// reports to and asks of the desktop host. The start signal, a desktop sync session with its
// cancel flag, the constant battery, database notifications (traced), the LED as the window's
// icon, the vibrator as a shaking window, the serial number and text-encoding conversion.
#include "kez/src/PAL.h"

#include <gtk/gtk.h>
#include <pthread.h>
#include <unistd.h>

#include <cstring>

#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"
#include "kez/src/HALErrDisplay.h"
#include "kez/src/KAL.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"
#include "kez/src/KezServices.h"

using namespace vantor;

namespace kez {
namespace {

constexpr uint16_t kZone = 0xF400;
constexpr uint32_t kStatusDone = 7;
constexpr uint32_t kStatusBit = 0x2;

const char* StatusName(uint32_t status) {
    static const char* const names[] = {"Not started", "Starting",         "Dialing", "Connecting",
                                        "Identifying User", "Syncing", "Cleaning up", "Done"};
    return status < 8 ? names[status] : nullptr;
}
const char* ErrorName(uint32_t error) {
    static const char* const names[] = {nullptr,          "Memory",          "SystemError",    "CommSetupError",
                                        "NoServiceSelected", "PortInUse",    "UserCan",        "ConnectError",
                                        "LostConnection", "Interrupted",     "ErrorReported",  "LoopBackTestDetected",
                                        "ProfileNotLoaded", "IncompatibleProducts", "NPOD"};
    return error < 15 ? names[error] : nullptr;
}

// The sync session. The OS's sync task writes it and the desktop-link transport reads it; the
// event group carries the change signal.
struct SyncSession {
    volatile uint32_t status;
    volatile uint32_t error;
    char text[32];
    volatile uint8_t cancel;
    uint32_t group = 0xFFFFFFFF;
};
SyncSession gSync;

uint16_t PALInitialize() {
    KEZ_CALL(HALTrace, kZone, "PrvPALInitialize()");
    pthread_mutex_lock(&gKez.platformLock);
    gKez.platformStarted = 1;
    pthread_cond_broadcast(&gKez.platformCondition);
    pthread_mutex_unlock(&gKez.platformLock);
    return 0;
}
KEZ_SLOT_NAMED(PALInitialize, PALInitialize)

// Blocks until the platform layer has started.
void PALWaitForStart() {
    pthread_mutex_lock(&gKez.platformLock);
    while (!gKez.platformStarted) pthread_cond_wait(&gKez.platformCondition, &gKez.platformLock);
    pthread_mutex_unlock(&gKez.platformLock);
}
KEZ_SLOT(PALWaitForStart, PALWaitForStart)

void PALDispose() { KEZ_CALL(HALTrace, kZone, "PALDispose()"); }
KEZ_SLOT_NAMED(PALDispose, PALDispose)

uint16_t PALSyncInit() {
    KEZ_CALL(HALTrace, kZone, "PALSyncInit()");
    gSync.cancel = 0;
    gSync.status = 0;
    return KEZ_CALL(KALEventGroupCreate, &gSync.group, FourCC("PALS"), 0);
}
KEZ_SLOT_NAMED(PALSyncInit, PALSyncInit)

void PALSyncReportStatus(uint32_t status, uint32_t error, uint8_t cancel, const char* text) {
    KEZ_CALL(HALTrace, kZone, "PALSyncReportStatus()");
    bool done = gSync.status == kStatusDone;
    if (!done) {
        gSync.status = status;
        std::memset(gSync.text, 0, sizeof gSync.text);
        if (text) std::strncpy(gSync.text, text, sizeof gSync.text - 1);
    }
    gSync.error = error;
    if (const char* name = StatusName(status)) KEZ_CALL(HALTrace, kZone, "  Status: [%s].", name);
    if (const char* name = ErrorName(error)) KEZ_CALL(HALTrace, kZone, "  Error: [%s].", name);
    if (cancel && !done) {
        KEZ_CALL(HALTrace, kZone, "  *** CANCELLING ***");
        gSync.cancel = 1;
    } else if (status == 5 && text && text[0]) {
        KEZ_CALL(HALTrace, kZone, "  DB: [%s]", text);
    }
    uint16_t err = KEZ_CALL(KALEventGroupSignal, gSync.group, kStatusBit);
    if (err) KEZ_CALL(HALTrace, kZone, "PALSyncReportStatus(): KALEventGroupSignal failed with Err=0x%X", err);
}
KEZ_SLOT_NAMED(PALSyncReportStatus, PALSyncReportStatus)

uint16_t PALSyncClose() {
    KEZ_CALL(HALTrace, kZone, "PALSyncClose()");
    gSync.status = kStatusDone;
    KEZ_CALL(KALEventGroupSignal, gSync.group, kStatusBit);
    uint16_t err = KEZ_CALL(KALEventGroupDelete, gSync.group);
    gSync.group = 0xFFFFFFFF;
    return err;
}
KEZ_SLOT_NAMED(PALSyncClose, PALSyncClose)

uint8_t PALSyncIsCancelled() { return gSync.cancel; }
KEZ_SLOT_NAMED(PALSyncIsCancelled, PALSyncIsCancelled)

void PALSyncCancel() { gSync.cancel = 1; }
KEZ_SLOT_NAMED(PALSyncCancel, PALSyncCancel)

void PALSyncGetReportStatus(uint32_t* status, uint32_t* error, uint8_t* cancel, char* text, uint8_t wait) {
    if (wait && gSync.status != 0 && gSync.status != kStatusDone) {
        KEZ_CALL(HALTrace, kZone, "PALSyncGetReportStatus(): waiting on status change");
        KALEventGroupRequest request{kStatusBit, 0, 5000};
        uint32_t bits = 0;
        uint16_t err = KEZ_CALL(KALEventGroupWait, gSync.group, &request, &bits);
        KEZ_CALL(HALTrace, kZone, "PALSyncGetReportStatus(): KALEventGroupWait returned err=0x%X, events=%lu", err,
                 static_cast<unsigned long>(bits));
        if (err == kalErrTimeout)
            KEZ_CALL(HALTrace, kZone,
                     "PALSyncGetReportStatus(): wait on status change timed out. Returning current status.");
        else if (err)
            KEZ_CALL(HALTrace, kZone,
                     "PALSyncGetReportStatus(): wait on status change failed with error: 0x%X. Returning current "
                     "status.",
                     err);
        err = KEZ_CALL(KALEventGroupClear, gSync.group, kStatusBit);
        if (err) KEZ_CALL(HALTrace, kZone, "PALSyncGetReportStatus(): KALEventGroupClear failed with err=0x%X.", err);
    } else if (wait) {
        KEZ_CALL(HALTrace, kZone,
                 "PALSyncGetReportStatus(): wait on status change outside a sync. Returning current status "
                 "(waiting 100 ms).");
        usleep(100 * 1000);
    }
    if (status) *status = gSync.status;
    if (error) *error = gSync.error;
    if (text) {
        std::memcpy(text, gSync.text, 31);
        text[31] = '\0';
    }
    if (cancel) *cancel = gSync.cancel;
}
KEZ_SLOT_NAMED(PALSyncGetReportStatus, PALSyncGetReportStatus)

uint16_t PALBatteryGetInfo(uint16_t* a, uint16_t* b, uint16_t* c, uint32_t* d, uint8_t* e, uint8_t* f, uint8_t* g,
                           uint8_t* h) {
    if (a) *a = 20;
    if (b) *b = 10;
    if (c) *c = 5;
    if (d) *d = 180000;
    if (e) *e = 2;
    if (f) *f = 0;
    if (g) *g = 0;
    if (h) *h = 100;
    return 0;
}
KEZ_SLOT_NAMED(PALBatteryGetInfo, PALBatteryGetInfo)

char Printable(uint32_t code, int shift) {
    auto c = static_cast<char>((code >> shift) & 0xFF);
    return c ? c : ' ';
}
#define PAL_FOURCC(code) Printable(code, 24), Printable(code, 16), Printable(code, 8), Printable(code, 0)

// Copies a name of at most 31 characters, whatever the record holds.
void Name(const char* source, char (&name)[32]) {
    std::memcpy(name, source, 31);
    name[31] = '\0';
}

void PALDBCreated(const PALDatabaseRecord* db) {
    if (!db) return;
    char name[32];
    Name(db->name, name);
    KEZ_CALL(HALTrace, kZone, "PALDBCreated(): Type='%c%c%c%c', Creator='%c%c%c%c', Name=[%s]", PAL_FOURCC(db->type),
             PAL_FOURCC(db->creator), name);
}
KEZ_SLOT_NAMED(PALDBCreated, PALDBCreated)

void PALDBDeleted(const PALDatabaseRecord* db) {
    if (!db) return;
    char name[32];
    Name(db->name, name);
    KEZ_CALL(HALTrace, kZone, "PALDBDeleted(): Type='%c%c%c%c', Creator='%c%c%c%c', Name=[%s]", PAL_FOURCC(db->type),
             PAL_FOURCC(db->creator), name);
}
KEZ_SLOT_NAMED(PALDBDeleted, PALDBDeleted)

void PALDBChanged(const PALDatabaseChange* change) {
    if (!change) return;
    char oldName[32], newName[32];
    Name(change->oldName, oldName);
    Name(change->newName, newName);
    KEZ_CALL(HALTrace, kZone, "PALDBChanged(): Type='%c%c%c%c', Creator='%c%c%c%c', Name=[%s]",
             PAL_FOURCC(change->oldType), PAL_FOURCC(change->oldCreator), oldName);
    uint16_t bits = change->changes;
    if ((bits & 0x1) && sys::StrCompare(oldName, newName) == 0) bits &= ~0x1;
    if ((bits & 0x4) && change->oldType == change->newType) bits &= ~0x4;
    if ((bits & 0x2) && change->oldCreator == change->newCreator) bits &= ~0x2;
    if ((bits & 0x200) && change->oldAttributes == change->newAttributes) bits &= ~0x200;
    if (!bits) {
        KEZ_CALL(HALTrace, kZone, "PALDBChanged(): Nothing really changed");
        return;
    }
    if (bits & 0x1) KEZ_CALL(HALTrace, kZone, "PALDBChanged(): Name changed, new name=[%s]", newName);
    if (bits & 0x4)
        KEZ_CALL(HALTrace, kZone, "PALDBChanged(): Type changed, new type='%c%c%c%c'", PAL_FOURCC(change->newType));
    if (bits & 0x2)
        KEZ_CALL(HALTrace, kZone, "PALDBChanged(): Creator changed, new creator='%c%c%c%c'",
                 PAL_FOURCC(change->newCreator));
    if (bits & 0x200)
        KEZ_CALL(HALTrace, kZone, "PALDBChanged(): Attributes changed, old=%hu, new=%hu", change->oldAttributes,
                 change->newAttributes);
    if (bits & 0x8) KEZ_CALL(HALTrace, kZone, "PALDBChanged(): CrDate changed");
    if (bits & 0x10) KEZ_CALL(HALTrace, kZone, "PALDBChanged(): ModDate changed");
    if (bits & 0x20) KEZ_CALL(HALTrace, kZone, "PALDBChanged(): BckUpData changed");
    if (bits & 0x40) KEZ_CALL(HALTrace, kZone, "PALDBChanged(): Mod Num changed");
    if (bits & 0x80) KEZ_CALL(HALTrace, kZone, "PALDBChanged(): AppInfo changed");
    if (bits & 0x100) KEZ_CALL(HALTrace, kZone, "PALDBChanged(): SortInfo changed");
    if (bits & 0x400) KEZ_CALL(HALTrace, kZone, "PALDBChanged(): Version changed, new=%hu", change->newVersion);
}
KEZ_SLOT_NAMED(PALDBChanged, PALDBChanged)

void PALStorageRemoved() { KEZ_CALL(HALTrace, kZone, "PALStorageRemoved(): Storage has been removed"); }
KEZ_SLOT_NAMED(PALStorageRemoved, PALStorageRemoved)

void PALFSPathChanged(const char* path) { KEZ_CALL(HALTrace, kZone, "PALFSPathChanged(): [%s]", path ? path : ""); }
KEZ_SLOT_NAMED(PALFSPathChanged, PALFSPathChanged)

uint32_t PALLedGetCapabilities() { return 0; }
KEZ_SLOT_NAMED(PALLedGetCapabilities, PALLedGetCapabilities)
uint32_t PALVibratorGetCapabilities() { return 0; }
KEZ_SLOT_NAMED(PALVibratorGetCapabilities, PALVibratorGetCapabilities)

// The last LED state shown; -1 before the first.
int gLedShown = -1;
pthread_mutex_t gLedLock = PTHREAD_MUTEX_INITIALIZER;

// Runs `f` with thread cancellation disabled and the toolkit's lock held.
template <typename F>
void WithToolkit(F f) {
    int oldState;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &oldState);
    gdk_threads_enter();
    f();
    gdk_threads_leave();
    pthread_setcancelstate(oldState, nullptr);
}

// The LED as the main window's icon: a red disc on a transparent 16 x 16 square when on.
uint16_t PALLedShow(uint8_t on, uint32_t, uint16_t, uint16_t, uint16_t, uint16_t) {
    pthread_mutex_lock(&gLedLock);
    bool changed = gLedShown != (on ? 1 : 0);
    gLedShown = on ? 1 : 0;
    pthread_mutex_unlock(&gLedLock);
    if (!changed) return 0;
    gKez.ledOn = on ? 1 : 0;
    GtkWidget* window = PrvHALErrDisplayMainWindow();
    if (!window) return 0;
    WithToolkit([&] {
        if (on) {
            GdkPixbuf* icon = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 16, 16);
            guchar* pixels = gdk_pixbuf_get_pixels(icon);
            int stride = gdk_pixbuf_get_rowstride(icon);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    guchar* p = pixels + y * stride + x * 4;
                    int dx = 2 * x - 15, dy = 2 * y - 15;
                    bool inside = dx * dx + dy * dy <= 15 * 15;
                    p[0] = 0xFF;
                    p[1] = p[2] = 0;
                    p[3] = inside ? 0xFF : 0;
                }
            gtk_window_set_icon(GTK_WINDOW(window), icon);
            gdk_flush();
            g_object_unref(icon);
        } else {
            gtk_window_set_icon(GTK_WINDOW(window), nullptr);
            gdk_flush();
        }
    });
    return 0;
}
KEZ_SLOT_NAMED(PALLedShow, PALLedShow)

// The vibrator shakes the main window up and down 20 times, then puts it back.
uint16_t PALVibratorShake(uint8_t on, uint32_t, uint16_t, uint16_t, uint16_t, uint16_t) {
    gKez.vibratorOn = on ? 1 : 0;
    GtkWidget* window = PrvHALErrDisplayMainWindow();
    if (!on || !window) return 0;
    WithToolkit([&] {
        gint x = 0, y = 0;
        gtk_window_get_position(GTK_WINDOW(window), &x, &y);
        for (int i = 0; i < 20; ++i) {
            gtk_window_move(GTK_WINDOW(window), x, y + (i % 2 == 0 ? 5 : -5));
            gdk_flush();
            usleep(20 * 1000);
        }
        gtk_window_move(GTK_WINDOW(window), x, y);
        gdk_flush();
    });
    return 0;
}
KEZ_SLOT_NAMED(PALVibratorShake, PALVibratorShake)

uint16_t PALGetSerialNumber(char* buffer) { return PrvPALGetSerialNumber(buffer); }
KEZ_SLOT_NAMED(PALGetSerialNumber, PALGetSerialNumber)

uint16_t PALPlayMidi(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
    KEZ_CALL(HALTrace, kZone, "PALPlayMidi(): Not IMPLEMENTED");
    return 0x080A;
}
KEZ_SLOT_NAMED(PALPlayMidi, PALPlayMidi)

uint32_t PALFiller() { return 0; }

// The OS's text-encoding converter (system slot 617).
using ConvertProc = uint16_t(uint8_t newConversion, void* state, const char* source, uint16_t* sourceBytes,
                             uint8_t sourceEncoding, char* destination, uint16_t* destinationBytes,
                             uint8_t destinationEncoding, const char* substitution, uint16_t substitutionLength);
constexpr uint16_t kConvertSlot = 617;
constexpr uint8_t kHostEncoding = 6, kDeviceEncoding = 3;

uint16_t Convert(bool toDevice, const char* source, uint32_t sourceLength, char* destination,
                 uint32_t* destinationLength) {
    if (!source) source = "";
    if (sourceLength == 0xFFFFFFFF) sourceLength = static_cast<uint32_t>(std::strlen(source)) + 1;
    if (sourceLength > 0xFFFF) sourceLength = 0xFFFF;
    uint8_t from = toDevice ? kHostEncoding : kDeviceEncoding, to = toDevice ? kDeviceEncoding : kHostEncoding;
    uint16_t sourceBytes = static_cast<uint16_t>(sourceLength), needed = 0xFFFF;
    uint8_t state[32] = {};
    glue::SysCall<ConvertProc>(kConvertSlot, uint8_t{1}, state, source, &sourceBytes, from, nullptr, &needed, to, "",
                               uint16_t{0});
    uint32_t available = destinationLength ? *destinationLength : 0;
    if (destinationLength) *destinationLength = needed;
    if (!destination || needed > available) return 0xF401;
    sourceBytes = static_cast<uint16_t>(sourceLength);
    uint16_t written = static_cast<uint16_t>(available > 0xFFFF ? 0xFFFF : available);
    std::memset(state, 0, sizeof state);
    uint16_t err = glue::SysCall<ConvertProc>(kConvertSlot, uint8_t{1}, state, source, &sourceBytes, from,
                                              destination, &written, to, "", uint16_t{0});
    if (toDevice)
        KEZ_CALL(HALTrace, kZone, "PALConvertEncodingHostToHalvern buflen %d\nUVO len %hu : %.*s\nQEL len %hu : %.*s\nerr:0x%x",
                 static_cast<int>(available), static_cast<uint16_t>(sourceLength), static_cast<int>(sourceLength),
                 source, written, static_cast<int>(written), destination, err);
    else
        KEZ_CALL(HALTrace, kZone, "PALConvertEncodingHalvernToHost buflen %d\nQEL len %hu : %.*s\nUVO len %hu : %.*s\nerr:0x%x",
                 static_cast<int>(available), static_cast<uint16_t>(sourceLength), static_cast<int>(sourceLength),
                 source, written, static_cast<int>(written), destination, err);
    return err;
}

}  // namespace

KEZ_SLOT_FILLER(233, PALFiller)

uint16_t PrvPALGetSerialNumber(char* buffer) {
    if (!buffer) return 0xFFFF;
    std::memcpy(buffer, gKez.config.serialNumber, 12);
    buffer[12] = '\0';
    return gKez.config.serialNumber[0] == '\0' ? 0xFFFF : 0;
}

uint16_t PALConvertEncodingHostToHalvern(const char* source, uint32_t sourceLength, char* destination,
                                         uint32_t* destinationLength) {
    return Convert(true, source, sourceLength, destination, destinationLength);
}

uint16_t PALConvertEncodingHalvernToHost(const char* source, uint32_t sourceLength, char* destination,
                                         uint32_t* destinationLength) {
    return Convert(false, source, sourceLength, destination, destinationLength);
}

void PrvPALInitialize() { KEZ_CALL_AS(uint16_t(), PALInitialize); }

void PrvPALDispose() {
    KEZ_CALL_AS(void(), PALDispose);
    pthread_mutex_lock(&gLedLock);
    gLedShown = -1;
    pthread_mutex_unlock(&gLedLock);
}

}  // namespace kez
