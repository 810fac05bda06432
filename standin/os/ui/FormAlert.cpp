// The stand-in UI library's alerts (UI slots 125 and 129): the native alert resource ('aalt': type,
// help ID, button count, default button, then the title, the message and the button labels) is
// drawn as a box with its title and message, "^1".."^3" replaced by the custom texts; the stand-in
// does not wait for a tap and answers the default button. An alert without its resource answers 0.
#include <cstring>
#include <string>

#include "common/FourCC.h"
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/ui/UiForm.h"

namespace vantor::os::ui {
namespace {

template <typename Sig, typename... A>
auto Sys(uint16_t number, A... args) {
    return reinterpret_cast<Sig*>(SystemTable()[number])(args...);
}

uint16_t ShowAlert(uint16_t id, const char* const custom[3]) {
    void* handle = Sys<syssig::DmGetResource>(sysslot::DmGetResource, FourCC("aalt"), id);
    if (!handle) return 0;
    auto* p = static_cast<const char*>(Sys<void*(void*)>(sysslot::MemHandleLock, handle));
    const uint32_t size = Sys<uint32_t(void*)>(sysslot::MemHandleSize, handle);
    uint16_t defaultButton = 0;
    if (p && size >= 8) {
        std::memcpy(&defaultButton, p + 6, 2);
        // The title and the message, each terminated within the resource.
        std::string texts[2];
        uint32_t at = 8;
        for (std::string& text : texts) {
            const void* end = at < size ? std::memchr(p + at, 0, size - at) : nullptr;
            if (!end) break;
            text.assign(p + at, static_cast<const char*>(end));
            at += static_cast<uint32_t>(text.size()) + 1;
        }
        for (int i = 0; i < 3; ++i) {
            const std::string mark = "^" + std::to_string(i + 1);
            for (size_t found; custom && custom[i] && (found = texts[1].find(mark)) != std::string::npos;)
                texts[1].replace(found, mark.size(), std::string(custom[i], strnlen(custom[i], 128)));
        }
        const Rect box{2, 90, 156, 68};
        FillRect(box, kWhite);
        FrameRect(box, kBlack);
        FillRect(Rect{2, 90, 156, 13}, kDarkBlue);
        DrawText(6, 93, texts[0].data(), texts[0].size(), kWhite, kDarkBlue);
        DrawText(6, 108, texts[1].data(), texts[1].size(), kBlack, kWhite);
    }
    if (p) Sys<uint16_t(void*)>(sysslot::MemHandleUnlock, handle);
    return defaultButton;
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
