// The stand-in attention manager (system slots 12, 13, 14): an attention an application asks for
// is kept by its database and user value and shown in a dialog box titled "Reminder", whose detail
// area the attention's callback draws, with an OK button. The dialog is drawn by the system's event
// handling (UiLibrary.cpp) at the nil event that asking queues, so that it comes after the form
// updates queued before it. A tap on OK tells the callback that the user dismissed it and closes
// the dialog (the form is drawn again, then the next attention waiting is shown). An update
// redraws a shown attention; forgetting one closes it without telling its callback. Callbacks run
// on the application's own task, outside the manager's lock.
#include <cstring>
#include <mutex>
#include <vector>

#include "common/module/NativeUi.h"
#include "common/module/SystemSlots.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/ui/UiDialog.h"
#include "standin/os/ui/UiForm.h"

namespace vantor::os::ui {
namespace {

constexpr char kTitle[] = "Reminder", kOk[] = "OK";
constexpr uint16_t kNilEvent = 0;
constexpr Rect kDetail{kDialogBox.x + 4, kDialogBox.y + 16, kDialogBox.w - 8, 30};

struct Attention {
    uint32_t dbID = 0, userData = 0;
    NativeAttnCallback callback = nullptr;
    uint32_t flags = 0;
};

struct Manager {
    std::mutex lock;
    std::vector<Attention> items;  // the first one is shown when `shown`
    bool shown = false;
    bool pending = false;  // a nil event is queued to show the first one
    Rect ok{};
};
Manager& M() {
    static Manager m;
    return m;
}

int Find(const Manager& m, uint32_t dbID, uint32_t userData) {
    for (size_t i = 0; i < m.items.size(); ++i)
        if (m.items[i].dbID == dbID && m.items[i].userData == userData) return static_cast<int>(i);
    return -1;
}

// Queues the nil event at which the first attention is shown (the lock held).
void ShowLater(Manager& m) {
    if (m.pending) return;
    m.pending = true;
    PostEvent(SysEventType{});
}

// Draws the dialog of `a`; its callback draws the detail area.
void Show(const Attention& a, bool firstTime) {
    Manager& m = M();
    DialogDraw(kDialogBox, kTitle, sizeof kTitle - 1);
    const Rect ok = DialogButton(kDialogBox.x + 6, kDialogBox.y + kDialogBox.h - 16, kOk, sizeof kOk - 1);
    {
        std::lock_guard<std::mutex> hold(m.lock);
        m.ok = ok;
    }
    if (!a.callback) return;
    NativeAttnDrawArgs args{};
    args.bounds = {kDetail.x, kDetail.y, kDetail.w, kDetail.h};
    args.firstTime = firstTime;
    args.flags = a.flags;
    a.callback(kAttnCommandDrawDetail, a.userData, &args);
}

uint16_t StandinAttnGetAttention(uint16_t, uint32_t dbID, uint32_t userData, NativeAttnCallback callback, uint16_t,
                                 uint32_t flags, uint16_t, uint16_t) {
    Manager& m = M();
    Attention a{dbID, userData, callback, flags};
    bool redraw = false;
    {
        std::lock_guard<std::mutex> hold(m.lock);
        const int at = Find(m, dbID, userData);
        if (at >= 0) {
            m.items[static_cast<size_t>(at)] = a;
            redraw = at == 0 && m.shown;
        } else {
            m.items.push_back(a);
            if (!m.shown) ShowLater(m);
        }
    }
    if (redraw) Show(a, false);
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::AttnGetAttention, StandinAttnGetAttention)

uint8_t StandinAttnUpdate(uint16_t, uint32_t dbID, uint32_t userData, NativeAttnCallback callback,
                          const uint32_t* flags, const uint16_t*, const uint16_t*) {
    Manager& m = M();
    Attention a;
    bool redraw;
    {
        std::lock_guard<std::mutex> hold(m.lock);
        const int at = Find(m, dbID, userData);
        if (at < 0) return 0;
        Attention& item = m.items[static_cast<size_t>(at)];
        if (callback) item.callback = callback;
        if (flags) item.flags = *flags;
        a = item;
        redraw = at == 0 && m.shown;
    }
    if (redraw) Show(a, false);
    return 1;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::AttnUpdate, StandinAttnUpdate)

// Closes the shown dialog: the form is drawn again, then the next attention waiting is shown.
void CloseShown() {
    Manager& m = M();
    PostFormUpdate();
    std::lock_guard<std::mutex> hold(m.lock);
    m.shown = false;
    if (!m.items.empty()) ShowLater(m);
}

uint8_t StandinAttnForgetIt(uint16_t, uint32_t dbID, uint32_t userData) {
    Manager& m = M();
    bool wasShown;
    {
        std::lock_guard<std::mutex> hold(m.lock);
        const int at = Find(m, dbID, userData);
        if (at < 0) return 0;
        wasShown = at == 0 && m.shown;
        m.items.erase(m.items.begin() + at);
    }
    if (wasShown) CloseShown();
    return 1;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::AttnForgetIt, StandinAttnForgetIt)

}  // namespace

bool AttentionHandleEvent(const SysEventType* event) {
    Manager& m = M();
    Attention dismissed;
    {
        std::unique_lock<std::mutex> hold(m.lock);
        if (event && event->eType == kNilEvent && m.pending) {
            m.pending = false;
            if (m.shown || m.items.empty()) return false;
            m.shown = true;
            const Attention first = m.items.front();
            hold.unlock();
            Show(first, true);
            return false;
        }
        if (!m.shown || !event || event->eType != kPenDown) return false;
        if (!m.ok.Contains(ScreenToUi(event->screenX), ScreenToUi(event->screenY))) return true;
        dismissed = m.items.front();
        m.items.erase(m.items.begin());
    }
    if (dismissed.callback) {
        uint8_t byUser = 1;
        dismissed.callback(kAttnCommandGotIt, dismissed.userData, &byUser);
    }
    CloseShown();
    return true;
}

}  // namespace vantor::os::ui
