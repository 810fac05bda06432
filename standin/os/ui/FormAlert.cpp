// The stand-in UI library's alerts (UI slots 125 and 129): the native alert resource ('aalt': type,
// help ID, button count, default button, then the title, the message and the button labels) is
// drawn as a box with its title, its message ("^1".."^3" replaced by the custom texts) and a row of
// buttons, and the alert waits for a tap on one of them: its index is the answer. An application
// told to stop meanwhile gets the default button (the stop event stays queued); an alert whose
// texts run past the resource answers its default button at once, one without its resource 0.
// Closing posts a form update so that the application draws what the alert covered.
#include <cstring>
#include <string>
#include <vector>

#include "common/FourCC.h"
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/ui/UiDialog.h"
#include "standin/os/ui/UiForm.h"

namespace vantor::os::ui {
namespace {

template <typename Sig, typename... A>
auto Sys(uint16_t number, A... args) {
    return reinterpret_cast<Sig*>(SystemTable()[number])(args...);
}

constexpr uint16_t kAppStop = 22;
constexpr Rect kBox = kDialogBox;

// The alert's texts: title, message, then one label per button; false when they run past the
// resource.
bool ReadTexts(const char* p, uint32_t size, uint16_t buttons, std::vector<std::string>* texts) {
    uint32_t at = 8;
    for (uint32_t i = 0; i < 2u + buttons; ++i) {
        const void* end = at < size ? std::memchr(p + at, 0, size - at) : nullptr;
        if (!end) return false;
        texts->emplace_back(p + at, static_cast<const char*>(end));
        at += static_cast<uint32_t>(texts->back().size()) + 1;
    }
    return true;
}

// Waits for a pen on one of the buttons.
uint16_t WaitForButton(const std::vector<Rect>& buttons, uint16_t defaultButton) {
    for (;;) {
        SysEventType e{};
        Sys<syssig::EvtGetEvent>(sysslot::EvtGetEvent, &e, int32_t{-1});
        if (e.eType == kAppStop) {
            PostEvent(e);
            return defaultButton;
        }
        if (e.eType != kPenDown) continue;
        const int16_t x = ScreenToUi(e.screenX), y = ScreenToUi(e.screenY);
        for (size_t i = 0; i < buttons.size(); ++i)
            if (buttons[i].Contains(x, y)) return static_cast<uint16_t>(i);
    }
}

uint16_t ShowAlert(uint16_t id, const char* const custom[3]) {
    void* handle = Sys<syssig::DmGetResource>(sysslot::DmGetResource, FourCC("aalt"), id);
    if (!handle) return 0;
    auto* p = static_cast<const char*>(Sys<void*(void*)>(sysslot::MemHandleLock, handle));
    const uint32_t size = Sys<uint32_t(void*)>(sysslot::MemHandleSize, handle);
    uint16_t defaultButton = 0, count = 0;
    std::vector<std::string> texts;
    bool whole = false;
    if (p && size >= 8) {
        std::memcpy(&count, p + 4, 2);
        std::memcpy(&defaultButton, p + 6, 2);
        whole = count <= 4 && ReadTexts(p, size, count, &texts);
    }
    if (p) Sys<uint16_t(void*)>(sysslot::MemHandleUnlock, handle);
    if (!whole || count == 0) return defaultButton;
    std::string& message = texts[1];
    for (int i = 0; i < 3; ++i) {
        const std::string mark = "^" + std::to_string(i + 1);
        for (size_t found; custom && custom[i] && (found = message.find(mark)) != std::string::npos;)
            message.replace(found, mark.size(), std::string(custom[i], strnlen(custom[i], 128)));
    }
    DialogDraw(kBox, texts[0].data(), texts[0].size());
    DrawText(6, 108, message.data(), message.size(), kBlack, kWhite);
    // The buttons side by side along the bottom of the box.
    std::vector<Rect> buttons;
    int16_t x = kBox.x + 6;
    for (uint16_t i = 0; i < count; ++i) {
        const std::string& label = texts[2 + i];
        buttons.push_back(DialogButton(x, static_cast<int16_t>(kBox.y + kBox.h - 16), label.data(), label.size()));
        x = static_cast<int16_t>(x + buttons.back().w + 6);
    }
    const uint16_t answer = WaitForButton(buttons, defaultButton);
    PostFormUpdate();
    return answer;
}

uint16_t StandinFrmAlert(uint16_t id) {
    return ShowAlert(id, nullptr);
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::UiEntry125, StandinFrmAlert)

uint16_t StandinFrmCustomAlert(uint16_t id, const char* s1, const char* s2, const char* s3) {
    const char* const custom[3] = {s1, s2, s3};
    return ShowAlert(id, custom);
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::UiEntry129, StandinFrmCustomAlert)

}  // namespace
}  // namespace vantor::os::ui
