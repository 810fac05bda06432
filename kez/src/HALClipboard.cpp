// The clipboard (export slots 196, 197): text between the OS clipboard and the desktop's GTK
// clipboard, converted between the device encoding and the host's. Without the host's window the
// toolkit is not running, and there is no clipboard.
#include <gtk/gtk.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "common/module/SystemCalls.h"
#include "kez/src/HALErrDisplay.h"
#include "kez/src/KezModule.h"
#include "kez/src/PAL.h"

using namespace vantor;

namespace kez {
namespace {

using ClipboardCallback = void (*)(uint8_t format, const char* text, uint16_t length);

GtkClipboard* Clipboard() {
    return PrvHALErrDisplayMainWindow() ? gtk_clipboard_get(GDK_SELECTION_CLIPBOARD) : nullptr;
}

void HALClipboardSet(uint8_t format, const char* text, uint16_t length) {
    if (format != 0) {
        sys::ErrDisplayFileLineMsg("Kez/Linux/HAL/Src/HALClipboard", 0,
                                   "Invalid clipboard format (text is the only supported format)");
        return;
    }
    gdk_threads_enter();
    if (GtkClipboard* clipboard = Clipboard()) {
        uint32_t needed = 0;
        PALConvertEncodingHalvernToHost(text, length, nullptr, &needed);
        if (char* host = static_cast<char*>(std::calloc(size_t{needed} + 1, 1))) {
            uint32_t size = needed;
            PALConvertEncodingHalvernToHost(text, length, host, &size);
            gtk_clipboard_set_text(clipboard, host, static_cast<gint>(strnlen(host, needed)));
            gdk_flush();
            std::free(host);
        }
    }
    gdk_threads_leave();
}
KEZ_SLOT_NAMED(HALClipboardSet, HALClipboardSet)

// A request handed to the thread that runs the toolkit's main loop.
struct Request {
    std::mutex mutex;
    std::condition_variable delivered;
    bool done = false;
    std::string text;
    bool hasText = false;
};

void Received(GtkClipboard*, const gchar* text, gpointer data) {
    auto* request = static_cast<Request*>(data);
    std::lock_guard lock(request->mutex);
    if (text) {
        request->text = text;
        request->hasText = true;
    }
    request->done = true;
    request->delivered.notify_all();
}

gboolean RequestInLoop(gpointer data) {
    if (GtkClipboard* clipboard = Clipboard()) gtk_clipboard_request_text(clipboard, Received, data);
    else Received(nullptr, nullptr, data);
    return FALSE;
}

// Whether the calling thread may run a main loop: it owns the default context, or nobody does.
bool MayRunLoop() {
    if (g_main_context_is_owner(nullptr)) return true;
    if (!g_main_context_acquire(nullptr)) return false;
    g_main_context_release(nullptr);
    return true;
}

void HALClipboardGet(uint8_t format, uint32_t, ClipboardCallback callback) {
    if (format != 0 || !callback || !PrvHALErrDisplayMainWindow()) return;
    Request request;
    if (MayRunLoop()) {
        gdk_threads_enter();
        if (GtkClipboard* clipboard = Clipboard()) {
            if (gchar* text = gtk_clipboard_wait_for_text(clipboard)) {
                request.text = text;
                request.hasText = true;
                g_free(text);
            }
        }
        gdk_threads_leave();
    } else {
        gdk_threads_add_idle(RequestInLoop, &request);
        std::unique_lock lock(request.mutex);
        request.delivered.wait(lock, [&] { return request.done; });
    }
    if (!request.hasText) return;
    uint32_t needed = 0;
    PALConvertEncodingHostToHalvern(request.text.c_str(), 0xFFFFFFFF, nullptr, &needed);
    char* device = static_cast<char*>(std::calloc(size_t{needed} + 1, 1));
    if (!device) {
        callback(0, request.text.c_str(), static_cast<uint16_t>(sys::StrLen(request.text.c_str())));
        return;
    }
    uint32_t size = needed;
    PALConvertEncodingHostToHalvern(request.text.c_str(), 0xFFFFFFFF, device, &size);
    callback(0, device, static_cast<uint16_t>(sys::StrLen(device)));
    std::free(device);
}
KEZ_SLOT_NAMED(HALClipboardGet, HALClipboardGet)

}  // namespace
}  // namespace kez
