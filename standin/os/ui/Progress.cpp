// The stand-in UI library's progress dialogs (UI slots 251, 252, 254, 255): a dialog box with the
// title it was started with, one line of text and a Cancel button. The text is what the
// application's text callback writes for the current stage (the update's message when the
// callback writes none). A tap on Cancel marks the dialog cancelled, which the application learns
// from the progress object; stopping the dialog closes it and asks the application to draw its
// form again. Only dialogs this library started are taken: any other pointer is ignored.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "common/module/NativeUi.h"
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/ui/UiDialog.h"
#include "standin/os/ui/UiForm.h"

namespace vantor::os::ui {
namespace {

constexpr uint16_t kPrgHandleEvent = 251, kPrgStartDialog = 252;
constexpr uint16_t kTextBytes = 80;
constexpr char kCancel[] = "Cancel";

struct Progress : NativeProgress {
    std::string title, message;
    NativePrgTextCallback callback = nullptr;
    void* userData = nullptr;
    char* text = nullptr;  // the callback's buffer, in the OS heap
    bool pending = false;  // an update waits for the next event
    Rect cancel{};
};

std::mutex& Lock() {
    static std::mutex m;
    return m;
}
std::vector<Progress*>& Live() {
    static std::vector<Progress*> live;
    return live;
}
bool IsLive(const NativeProgress* p) {
    std::lock_guard<std::mutex> lock(Lock());
    return p && std::find(Live().begin(), Live().end(), p) != Live().end();
}

void Show(Progress* p) {
    p->pending = false;
    std::string line = p->message;
    if (p->callback && p->text) {
        std::memset(p->text, 0, kTextBytes);
        NativePrgCallbackData data{};
        data.stage = p->stage;
        data.textP = p->text;
        data.textLen = kTextBytes;
        data.message = p->message.empty() ? nullptr : p->message.data();
        data.error = p->error;
        data.flags = (p->flags & kProgressCancelled) ? kPrgCancelled : 0;
        data.userData = p->userData;
        if (p->callback(&data) && p->text[0]) line.assign(p->text, strnlen(p->text, kTextBytes - 1));
    }
    DialogDraw(kDialogBox, p->title.data(), p->title.size());
    DrawText(6, 108, line.data(), line.size(), kBlack, kWhite);
    p->cancel = DialogButton(kDialogBox.x + 6, kDialogBox.y + kDialogBox.h - 16, kCancel, sizeof kCancel - 1);
}

NativeProgress* StandinPrgStartDialog(const char* title, NativePrgTextCallback callback, void* userData) {
    auto* p = new Progress();
    p->title.assign(title ? title : "", title ? strnlen(title, 64) : 0);
    p->callback = callback;
    p->userData = userData;
    p->text = static_cast<char*>(OsCall<syssig::MemPtrNew>(sysslot::MemPtrNew, uint32_t{kTextBytes}));
    {
        std::lock_guard<std::mutex> lock(Lock());
        Live().push_back(p);
    }
    Show(p);
    return p;
}
VANTOR_OS_LIBRARY_SLOT(Ui, kPrgStartDialog, StandinPrgStartDialog)

// Takes a pen on the dialog: on Cancel it marks the dialog cancelled and shows it so.
uint8_t StandinPrgHandleEvent(NativeProgress* native, const SysEventType* event) {
    if (!IsLive(native)) return 0;
    auto* p = static_cast<Progress*>(native);
    if (p->pending) Show(p);
    if (!event || event->eType != kPenDown) return 0;
    const int16_t x = ScreenToUi(event->screenX), y = ScreenToUi(event->screenY);
    if (!kDialogBox.Contains(x, y)) return 0;
    if (p->cancel.Contains(x, y) && !(p->flags & kProgressCancelled)) {
        p->flags |= kProgressCancelled;
        p->message = "Cancelling";
        Show(p);
    }
    return 1;
}
VANTOR_OS_LIBRARY_SLOT(Ui, kPrgHandleEvent, StandinPrgHandleEvent)

void StandinPrgUpdateDialog(NativeProgress* native, uint16_t error, uint16_t stage, const char* message,
                            uint8_t updateNow) {
    if (!IsLive(native)) return;
    auto* p = static_cast<Progress*>(native);
    p->error = error;
    p->stage = stage;
    p->message.assign(message ? message : "", message ? strnlen(message, 128) : 0);
    p->pending = true;
    if (updateNow) Show(p);
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::PrgUpdateDialog, StandinPrgUpdateDialog)

void StandinPrgStopDialog(NativeProgress* native, uint8_t) {
    {
        std::lock_guard<std::mutex> lock(Lock());
        auto at = std::find(Live().begin(), Live().end(), native);
        if (!native || at == Live().end()) return;
        Live().erase(at);
    }
    auto* p = static_cast<Progress*>(native);
    if (p->text) OsCall<syssig::MemChunkFree>(sysslot::MemChunkFree, static_cast<void*>(p->text));
    delete p;
    PostFormUpdate();
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::PrgStopDialog, StandinPrgStopDialog)

}  // namespace
}  // namespace vantor::os::ui
