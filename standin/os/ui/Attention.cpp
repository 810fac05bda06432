// The stand-in attention manager (system slots 12 to 16, UI library slots 1, 3, 5, 11 to 18 and 20).
//
// An attention an application asks for is kept by its database and user value until the user
// dismisses it or the application forgets it. An insistent one is shown in a dialog box titled
// "Reminder", whose detail area the attention's callback draws, with an OK button; a subtle one is
// only listed. The dialog is drawn by the system's event handling (UiLibrary.cpp) at the nil event
// that asking queues, so that it comes after the form updates queued before it. A tap on OK tells
// the callback that the user dismissed it and closes the dialog (the form is drawn again, then the
// next insistent attention waiting is shown). An update redraws a shown attention; forgetting one
// closes it without telling its callback.
//
// The list ("Reminders") shows every pending attention in a row its callback draws. A tap on a row
// selects it, "Got it" dismisses the selected one as OK does, "Done" closes the list and leaves the
// attentions pending.
//
// While attentions are pending, the indicator in the right corner of the title bar blinks by its
// 16-bit pattern, one bit for each eighth of a second from bit 15 down; a tap on it opens the list.
// The event queue waits no longer than the next blink (AttnIndicatorTicksTillNextBlink) and has the
// indicator drawn (AttnIndicatorCheckBlink) on the application's own task.
//
// Callbacks run on the application's own task, outside the manager's lock; an attention dismissed
// or forgotten meanwhile is never called again.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/module/NativeUi.h"
#include "common/module/SystemSlots.h"
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/ui/UiDialog.h"
#include "standin/os/ui/UiForm.h"

namespace vantor::os::ui {
namespace {

constexpr char kTitle[] = "Reminder", kOk[] = "OK", kListTitle[] = "Reminders", kDone[] = "Done",
               kGotIt[] = "Got it";
constexpr uint16_t kNilEvent = 0;
constexpr uint16_t kLevelInsistent = 0, kLevelSubtle = 1;
constexpr Rect kDetail{kDialogBox.x + 4, kDialogBox.y + 16, kDialogBox.w - 8, 30};
constexpr int16_t kRowHeight = 20;
constexpr size_t kListRows = 5;
constexpr Rect kIndicator{148, 2, 9, 9};

struct Attention {
    uint32_t dbID = 0, userData = 0;
    NativeAttnCallback callback = nullptr;
    uint32_t flags = 0;
    uint16_t level = kLevelInsistent;
    bool Is(uint32_t db, uint32_t user) const { return dbID == db && userData == user; }
};

enum class Showing { Nothing, Dialog, List };

struct Manager {
    std::mutex lock;
    std::vector<Attention> items;  // in the order they were asked for
    Showing showing = Showing::Nothing;
    uint32_t shownDb = 0, shownUser = 0;  // the attention of the dialog
    bool pending = false;                 // a nil event is queued to show the dialog
    bool notify = true;                   // new insistent attentions open the dialog
    bool held = false;                    // closed by AttnAllowClose until AttnReopen
    Rect ok{}, done{}, gotIt{};
    int selected = -1;  // the list's selected row
    bool allowed = true, enabled = true;
    uint16_t pattern = kAttnDefaultBlinkPattern;
    bool indicatorDrawn = false;
    uint32_t lastPhase = 0xFFFFFFFF;  // the blink phase last drawn
};
Manager& M() {
    static Manager m;
    return m;
}

int Find(const Manager& m, uint32_t dbID, uint32_t userData) {
    for (size_t i = 0; i < m.items.size(); ++i)
        if (m.items[i].Is(dbID, userData)) return static_cast<int>(i);
    return -1;
}

// The insistent attention the dialog shows next (the lock held).
int FirstInsistent(const Manager& m) {
    for (size_t i = 0; i < m.items.size(); ++i)
        if (m.items[i].level != kLevelSubtle) return static_cast<int>(i);
    return -1;
}

// Queues the nil event at which the next insistent attention is shown (the lock held).
void ShowLater(Manager& m) {
    if (m.pending || m.held || !m.notify || m.showing != Showing::Nothing || FirstInsistent(m) < 0) return;
    m.pending = true;
    PostEvent(SysEventType{});
}

bool DialogShows(const Manager& m, uint32_t dbID, uint32_t userData) {
    return m.showing == Showing::Dialog && m.shownDb == dbID && m.shownUser == userData;
}

// Calls an attention's callback unless it has gone meanwhile (the lock not held).
uint16_t Call(const Attention& a, uint16_t command, void* args) {
    {
        std::lock_guard<std::mutex> hold(M().lock);
        const int at = Find(M(), a.dbID, a.userData);
        if (at < 0 || M().items[static_cast<size_t>(at)].callback != a.callback) return 0;
    }
    return a.callback ? a.callback(command, a.userData, args) : 0;
}

// Draws the dialog of `a`; its callback draws the detail area.
void ShowDialog(const Attention& a, bool firstTime) {
    DialogDraw(kDialogBox, kTitle, sizeof kTitle - 1);
    const Rect ok = DialogButton(kDialogBox.x + 6, kDialogBox.y + kDialogBox.h - 16, kOk, sizeof kOk - 1);
    {
        std::lock_guard<std::mutex> hold(M().lock);
        M().ok = ok;
    }
    NativeAttnDrawArgs args{};
    args.bounds = {kDetail.x, kDetail.y, kDetail.w, kDetail.h};
    args.firstTime = firstTime;
    args.flags = a.flags;
    Call(a, kAttnCommandDrawDetail, &args);
}

Rect ListRow(size_t row) {
    return Rect{static_cast<int16_t>(kAttnListBox.x + 2),
                static_cast<int16_t>(kAttnListBox.y + 15 + kRowHeight * static_cast<int16_t>(row)),
                static_cast<int16_t>(kAttnListBox.w - 4), kRowHeight};
}

// Draws the list: a row for each of the first attentions, each drawn by its callback, the selected
// one framed, and the two buttons.
void ShowList(bool firstTime) {
    Manager& m = M();
    std::vector<Attention> rows;
    int selected;
    {
        std::lock_guard<std::mutex> hold(m.lock);
        rows.assign(m.items.begin(),
                    m.items.begin() + static_cast<long>(std::min(m.items.size(), kListRows)));
        selected = m.selected;
    }
    DialogDraw(kAttnListBox, kListTitle, sizeof kListTitle - 1);
    const int16_t buttons = kAttnListBox.y + kAttnListBox.h - 16;
    const Rect done = DialogButton(kAttnListBox.x + 6, buttons, kDone, sizeof kDone - 1);
    const Rect gotIt =
        DialogButton(static_cast<int16_t>(done.x + done.w + 6), buttons, kGotIt, sizeof kGotIt - 1);
    {
        std::lock_guard<std::mutex> hold(m.lock);
        m.done = done;
        m.gotIt = gotIt;
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        const Rect r = ListRow(i);
        if (static_cast<int>(i) == selected) FrameRect(r, kBlack);
        NativeAttnDrawArgs args{};
        args.bounds = {static_cast<int16_t>(r.x + 1), static_cast<int16_t>(r.y + 1),
                       static_cast<int16_t>(r.w - 2), static_cast<int16_t>(r.h - 2)};
        args.firstTime = firstTime;
        args.flags = rows[i].flags;
        args.selected = static_cast<int>(i) == selected;
        Call(rows[i], kAttnCommandDrawList, &args);
    }
}

// Redraws whatever shows `a` (or any attention, for a null one) after a change.
void Redraw(const uint32_t* dbID, const uint32_t* userData) {
    Manager& m = M();
    Showing showing;
    Attention a;
    {
        std::lock_guard<std::mutex> hold(m.lock);
        showing = m.showing;
        if (showing == Showing::Dialog) {
            if (dbID && !DialogShows(m, *dbID, *userData)) return;
            const int at = Find(m, m.shownDb, m.shownUser);
            if (at < 0) return;
            a = m.items[static_cast<size_t>(at)];
        }
    }
    if (showing == Showing::Dialog)
        ShowDialog(a, false);
    else if (showing == Showing::List)
        ShowList(false);
}

// Closes the dialog or the list: the form is drawn again, then the next insistent attention
// waiting is shown.
void Close() {
    Manager& m = M();
    PostFormUpdate();
    std::lock_guard<std::mutex> hold(m.lock);
    m.showing = Showing::Nothing;
    m.selected = -1;
    ShowLater(m);
}

// Tells the attention that the user dismissed it and lets it go.
void Dismiss(const Attention& a) {
    uint8_t byUser = 1;
    Call(a, kAttnCommandGotIt, &byUser);
    std::lock_guard<std::mutex> hold(M().lock);
    const int at = Find(M(), a.dbID, a.userData);
    if (at >= 0) M().items.erase(M().items.begin() + at);
}

void OpenList() {
    {
        std::lock_guard<std::mutex> hold(M().lock);
        M().showing = Showing::List;
        M().selected = -1;
    }
    ShowList(true);
}

// ---- system slots ----

uint16_t StandinAttnGetAttention(uint16_t, uint32_t dbID, uint32_t userData, NativeAttnCallback callback,
                                 uint16_t level, uint32_t flags, uint16_t, uint16_t) {
    Manager& m = M();
    const Attention a{dbID, userData, callback, flags, level};
    {
        std::lock_guard<std::mutex> hold(m.lock);
        const int at = Find(m, dbID, userData);
        if (at >= 0)
            m.items[static_cast<size_t>(at)] = a;
        else
            m.items.push_back(a);
        ShowLater(m);
    }
    Redraw(&dbID, &userData);
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::AttnGetAttention, StandinAttnGetAttention)

uint8_t StandinAttnUpdate(uint16_t, uint32_t dbID, uint32_t userData, NativeAttnCallback callback,
                          const uint32_t* flags, const uint16_t*, const uint16_t*) {
    Manager& m = M();
    {
        std::lock_guard<std::mutex> hold(m.lock);
        const int at = Find(m, dbID, userData);
        if (at < 0) return 0;
        Attention& item = m.items[static_cast<size_t>(at)];
        if (callback) item.callback = callback;
        if (flags) item.flags = *flags;
    }
    Redraw(&dbID, &userData);
    return 1;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::AttnUpdate, StandinAttnUpdate)

uint8_t StandinAttnForgetIt(uint16_t, uint32_t dbID, uint32_t userData) {
    Manager& m = M();
    bool wasShown, listed;
    {
        std::lock_guard<std::mutex> hold(m.lock);
        const int at = Find(m, dbID, userData);
        if (at < 0) return 0;
        wasShown = DialogShows(m, dbID, userData);
        listed = m.showing == Showing::List;
        if (listed && m.selected >= at) m.selected = m.selected == at ? -1 : m.selected - 1;
        m.items.erase(m.items.begin() + at);
    }
    if (wasShown)
        Close();
    else if (listed)
        ShowList(false);
    return 1;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::AttnForgetIt, StandinAttnForgetIt)

// The pending attentions of a database (all of them for database 0): the total, and how many are
// insistent and subtle.
uint16_t StandinAttnGetCounts(uint16_t, uint32_t dbID, uint16_t* insistent, uint16_t* subtle) {
    uint16_t counts[2] = {};
    {
        std::lock_guard<std::mutex> hold(M().lock);
        for (const Attention& a : M().items)
            if (!dbID || a.dbID == dbID) ++counts[a.level == kLevelSubtle ? 1 : 0];
    }
    if (insistent) *insistent = counts[0];
    if (subtle) *subtle = counts[1];
    return static_cast<uint16_t>(counts[0] + counts[1]);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::AttnGetCounts, StandinAttnGetCounts)

// Hands the caller's value to the callback of each pending attention of a database (all of them
// for database 0); a callback may forget attentions, which are then not called.
void StandinAttnIterate(uint16_t, uint32_t dbID, uint32_t iterationData) {
    std::vector<Attention> each;
    {
        std::lock_guard<std::mutex> hold(M().lock);
        for (const Attention& a : M().items)
            if (!dbID || a.dbID == dbID) each.push_back(a);
    }
    for (const Attention& a : each) {
        uint32_t value = iterationData;
        Call(a, kAttnCommandIterate, &value);
    }
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::AttnIterate, StandinAttnIterate)

// ---- UI library slots ----

// Closes the dialog or the list (an application switch may go on); the attentions stay pending.
void StandinAttnAllowClose() {
    bool shown;
    {
        std::lock_guard<std::mutex> hold(M().lock);
        shown = M().showing != Showing::Nothing;
        if (shown) M().held = true;
    }
    if (shown) Close();
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::AttnAllowClose, StandinAttnAllowClose)

// Shows the dialog of the next insistent attention again after AttnAllowClose.
void StandinAttnReopen() {
    std::lock_guard<std::mutex> hold(M().lock);
    M().held = false;
    ShowLater(M());
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::AttnReopen, StandinAttnReopen)

// Sound, LED and vibration: the stand-in device has none of them; the sound is the system's alarm.
uint16_t StandinAttnDoSpecialEffects(uint32_t flags) {
    constexpr uint32_t kSoundBit = 0x1;
    constexpr uint8_t kAlarmSound = 3;
    if (flags & kSoundBit) OsCall<void(uint8_t)>(sysslot::SndPlaySystemSound, kAlarmSound);
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::AttnDoSpecialEffects, StandinAttnDoSpecialEffects)

// While off, new insistent attentions are only listed; turned on again, the next one is shown.
void StandinAttnEnableNotification(uint8_t enable) {
    std::lock_guard<std::mutex> hold(M().lock);
    M().notify = enable != 0;
    ShowLater(M());
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::AttnEnableNotification, StandinAttnEnableNotification)

void StandinAttnListOpen() {
    OpenList();
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::AttnListOpen, StandinAttnListOpen)

void StandinAttnIndicatorAllow(uint8_t allow) {
    std::lock_guard<std::mutex> hold(M().lock);
    M().allowed = allow != 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::AttnIndicatorAllow, StandinAttnIndicatorAllow)

uint8_t StandinAttnIndicatorAllowed() {
    std::lock_guard<std::mutex> hold(M().lock);
    return M().allowed;
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::AttnIndicatorAllowed, StandinAttnIndicatorAllowed)

void StandinAttnIndicatorEnable(uint8_t enable) {
    std::lock_guard<std::mutex> hold(M().lock);
    M().enabled = enable != 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::AttnIndicatorEnable, StandinAttnIndicatorEnable)

uint8_t StandinAttnIndicatorEnabled() {
    std::lock_guard<std::mutex> hold(M().lock);
    return M().enabled;
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::AttnIndicatorEnabled, StandinAttnIndicatorEnabled)

uint16_t StandinAttnIndicatorGetBlinkPattern() {
    std::lock_guard<std::mutex> hold(M().lock);
    return M().pattern;
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::AttnIndicatorGetBlinkPattern, StandinAttnIndicatorGetBlinkPattern)

void StandinAttnIndicatorSetBlinkPattern(uint16_t pattern) {
    std::lock_guard<std::mutex> hold(M().lock);
    M().pattern = pattern;
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::AttnIndicatorSetBlinkPattern, StandinAttnIndicatorSetBlinkPattern)

// Whether the indicator blinks now (the lock held).
bool IndicatorActive(const Manager& m) {
    return m.allowed && m.enabled && !m.items.empty();
}

uint32_t Ticks() {
    return OsCall<uint32_t()>(sysslot::TimGetTicks);
}

}  // namespace

bool AttnIndicatorPhaseOn(uint16_t pattern, uint32_t ticks) {
    const unsigned bit = 15 - (ticks / kAttnBlinkPhaseTicks) % 16;
    return (pattern >> bit) & 1;
}

int32_t AttnIndicatorTicksTillNextBlink() {
    {
        std::lock_guard<std::mutex> hold(M().lock);
        if (!IndicatorActive(M())) return M().indicatorDrawn ? 0 : -1;
    }
    return static_cast<int32_t>(kAttnBlinkPhaseTicks - Ticks() % kAttnBlinkPhaseTicks);
}

void AttnIndicatorCheckBlink() {
    Manager& m = M();
    bool on;
    {
        std::lock_guard<std::mutex> hold(m.lock);
        const bool active = IndicatorActive(m);
        if (!active && !m.indicatorDrawn) return;
        // Drawn once each phase, so that it comes back soon after a form drawn over it.
        const uint32_t ticks = Ticks(), phase = ticks / kAttnBlinkPhaseTicks;
        if (active && phase == m.lastPhase) return;
        m.lastPhase = active ? phase : 0xFFFFFFFF;
        on = active && AttnIndicatorPhaseOn(m.pattern, ticks);
        m.indicatorDrawn = active;
    }
    if (on) {
        FillRect(kIndicator, kWhite, 2);
        FrameRect(kIndicator, kBlack, 2);
        DrawText(static_cast<int16_t>(kIndicator.x + 2), static_cast<int16_t>(kIndicator.y + 1), "!", 1,
                 kDarkBlue, kWhite);
    } else {
        // What the title bar shows there: its dark blue on a form with a title, else white.
        const Form* form = ActiveForm();
        const bool titled = form && std::any_of(form->objects.begin(), form->objects.end(),
                                                [](const FormObject& o) { return o.kind == kTitleObject; });
        FillRect(kIndicator, titled ? kDarkBlue : kWhite);
    }
}

bool AttentionHandleEvent(const SysEventType* event) {
    Manager& m = M();
    Attention first;
    {
        std::unique_lock<std::mutex> hold(m.lock);
        if (event && event->eType == kNilEvent && m.pending) {
            m.pending = false;
            const int at = FirstInsistent(m);
            if (m.showing != Showing::Nothing || m.held || !m.notify || at < 0) return false;
            first = m.items[static_cast<size_t>(at)];
            m.showing = Showing::Dialog;
            m.shownDb = first.dbID;
            m.shownUser = first.userData;
            hold.unlock();
            ShowDialog(first, true);
            return false;
        }
        if (!event || event->eType != kPenDown) return false;
        const int16_t x = ScreenToUi(event->screenX), y = ScreenToUi(event->screenY);
        switch (m.showing) {
            case Showing::Nothing:
                if (!IndicatorActive(m) || !kIndicator.Contains(x, y)) return false;
                hold.unlock();
                OpenList();
                return true;
            case Showing::Dialog: {
                if (!m.ok.Contains(x, y)) return true;
                const int at = Find(m, m.shownDb, m.shownUser);
                if (at < 0) return true;
                first = m.items[static_cast<size_t>(at)];
                break;
            }
            case Showing::List: {
                const size_t rows = std::min(m.items.size(), kListRows);
                for (size_t i = 0; i < rows; ++i)
                    if (ListRow(i).Contains(x, y)) {
                        m.selected = static_cast<int>(i);
                        hold.unlock();
                        ShowList(false);
                        return true;
                    }
                if (m.done.Contains(x, y)) {
                    hold.unlock();
                    Close();
                    return true;
                }
                if (!m.gotIt.Contains(x, y) || m.selected < 0 ||
                    static_cast<size_t>(m.selected) >= m.items.size())
                    return true;
                first = m.items[static_cast<size_t>(m.selected)];
                m.selected = -1;
                hold.unlock();
                Dismiss(first);
                ShowList(false);
                return true;
            }
        }
    }
    Dismiss(first);
    Close();
    return true;
}

}  // namespace vantor::os::ui

namespace vantor::os {

void ResetAttention() {
    ui::Manager& m = ui::M();
    std::lock_guard<std::mutex> hold(m.lock);
    m.items.clear();
    m.showing = ui::Showing::Nothing;
    m.pending = m.held = false;
    m.notify = m.allowed = m.enabled = true;
    m.pattern = ui::kAttnDefaultBlinkPattern;
    m.selected = -1;
    m.indicatorDrawn = false;
    m.lastPhase = 0xFFFFFFFF;
}

}  // namespace vantor::os
