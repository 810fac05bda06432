// The stand-in UI library's alerts and help (UI slots 125, 129, 130 and 161). An alert's native
// resource ('aalt': type, help ID, button count, default button, then the title, the message and
// the button labels) is drawn as a box with its title, its message ("^1".."^3" replaced by the
// custom texts) and a row of buttons, and the alert waits for a tap on one of them: its index is
// the answer. A custom-response alert also shows an entry line that takes the keys typed; the tapped
// button and the entry go to the application's checker, and the alert stays while it refuses them.
// Help shows a text resource ('tSTR') in a box with a "Done" button until that is tapped. An
// application told to stop meanwhile gets the default button (the stop event stays queued); an
// alert whose texts run past the resource answers its default button at once, one without its
// resource 0. Closing posts a form update so that the application draws what the box covered.
#include <cstring>
#include <string>
#include <vector>

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

constexpr uint16_t kAppStop = 22, kFrmUpdate = 26;
constexpr Rect kBox{2, 90, 156, 68};

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

// The entry line of a custom-response alert: the caller's buffer of `size` bytes (terminator
// included) holds what was typed.
struct Entry {
    char* buffer = nullptr;
    uint16_t size = 0;
    std::string text;
    Rect line{};
};
using ResponseChecker = uint8_t (*)(int16_t button, const char* text);

void DrawEntry(const Entry& entry) {
    FillRect(entry.line, kWhite);
    DrawText(entry.line.x, entry.line.y, entry.text.data(), entry.text.size(), kBlack, kWhite);
    DrawLine(entry.line.x, static_cast<int16_t>(entry.line.y + entry.line.h - 1),
             static_cast<int16_t>(entry.line.x + entry.line.w - 1), static_cast<int16_t>(entry.line.y + entry.line.h - 1),
             kBlack);
}

// A printable key or a backspace for the entry; what does not fit in the buffer is not taken.
void EntryKey(Entry* entry, uint16_t character) {
    if (character == 8) {
        if (!entry->text.empty()) entry->text.pop_back();
    } else if (character >= 0x20 && character < 0x7F && entry->text.size() + 1u < entry->size) {
        entry->text.push_back(static_cast<char>(character));
    } else {
        return;
    }
    DrawEntry(*entry);
}

// Waits for a pen on one of the buttons; with an entry, keys go to it and the checker decides
// whether the tap closes the box.
uint16_t WaitForButton(const std::vector<Rect>& buttons, uint16_t defaultButton, Entry* entry = nullptr,
                       ResponseChecker checker = nullptr) {
    for (;;) {
        SysEventType e{};
        Sys<syssig::EvtGetEvent>(sysslot::EvtGetEvent, &e, int32_t{-1});
        if (e.eType == kAppStop) {
            PostEvent(e);
            return defaultButton;
        }
        if (entry && e.eType == kKeyDown) {
            uint16_t character;
            std::memcpy(&character, e.data, 2);
            EntryKey(entry, character);
            continue;
        }
        if (e.eType != kPenDown) continue;
        const int16_t x = ScreenToUi(e.screenX), y = ScreenToUi(e.screenY);
        for (size_t i = 0; i < buttons.size(); ++i) {
            if (!buttons[i].Contains(x, y)) continue;
            if (entry && entry->buffer && entry->size) {
                std::memcpy(entry->buffer, entry->text.c_str(), entry->text.size() + 1);
                if (checker && !checker(static_cast<int16_t>(i), entry->buffer)) break;
            } else if (checker && !checker(static_cast<int16_t>(i), "")) {
                break;
            }
            return static_cast<uint16_t>(i);
        }
    }
}

// The active form is told to draw what a closed box covered.
void PostFormUpdate() {
    if (Form* form = ActiveForm()) {
        SysEventType update{};
        update.eType = kFrmUpdate;
        std::memcpy(update.data, &form->id, 2);
        PostEvent(update);
    }
}

// A row of buttons along the bottom of `box`, drawn; their rectangles.
std::vector<Rect> DrawButtons(const Rect& box, const std::vector<std::string>& labels) {
    std::vector<Rect> buttons;
    int16_t x = static_cast<int16_t>(box.x + 6);
    for (const std::string& label : labels) {
        const int16_t w = static_cast<int16_t>(TextWidth(label.data(), label.size()) + 12);
        buttons.push_back(Rect{x, static_cast<int16_t>(box.y + box.h - 16), w, 12});
        FillRect(buttons.back(), kWhite, 4);
        FrameRect(buttons.back(), kBlack, 4);
        DrawText(static_cast<int16_t>(x + 6), static_cast<int16_t>(buttons.back().y + 2), label.data(), label.size(),
                 kBlack, kWhite);
        x = static_cast<int16_t>(x + w + 6);
    }
    return buttons;
}

uint16_t ShowAlert(uint16_t id, const char* const custom[3], Entry* entry = nullptr,
                   ResponseChecker checker = nullptr) {
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
    FillRect(kBox, kWhite);
    FrameRect(kBox, kBlack);
    FillRect(Rect{kBox.x, kBox.y, kBox.w, 13}, kDarkBlue);
    DrawText(6, 93, texts[0].data(), texts[0].size(), kWhite, kDarkBlue);
    DrawText(6, 108, message.data(), message.size(), kBlack, kWhite);
    if (entry) {
        entry->line = Rect{6, 119, static_cast<int16_t>(kBox.w - 8), 10};
        DrawEntry(*entry);
    }
    const std::vector<Rect> buttons = DrawButtons(kBox, std::vector<std::string>(texts.begin() + 2, texts.end()));
    const uint16_t answer = WaitForButton(buttons, defaultButton, entry, checker);
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

// The custom-response alert: the entry starts empty and what was typed is in the caller's buffer
// (cut to fit, terminated) when the alert closes.
uint16_t StandinFrmCustomResponseAlert(uint16_t id, const char* s1, const char* s2, const char* s3, char* buffer,
                                       uint16_t size, ResponseChecker checker) {
    const char* const custom[3] = {s1, s2, s3};
    Entry entry;
    entry.buffer = buffer;
    entry.size = buffer ? size : 0;
    if (entry.buffer && entry.size) entry.buffer[0] = 0;
    return ShowAlert(id, custom, &entry, checker);
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::UiEntry130, StandinFrmCustomResponseAlert)

// The lines of a help text that fit `columns` characters: broken at line ends, else at the last
// space that fits, else where the line is full.
std::vector<std::string> WrapText(const std::string& text, size_t columns) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (end - at > columns) {
            const size_t space = text.rfind(' ', at + columns);
            end = space != std::string::npos && space > at ? space : at + columns;
        }
        lines.push_back(text.substr(at, end - at));
        at = end < text.size() && (text[end] == '\n' || text[end] == ' ') ? end + 1 : end;
    }
    return lines;
}

constexpr Rect kHelpBox{10, 20, 140, 120};

// Help: the text resource of `helpID` in a box until "Done" is tapped; nothing without it.
void StandinFrmHelp(uint16_t helpID) {
    void* handle = Sys<syssig::DmGetResource>(sysslot::DmGetResource, FourCC("tSTR"), helpID);
    if (!handle) return;
    auto* p = static_cast<const char*>(Sys<void*(void*)>(sysslot::MemHandleLock, handle));
    const uint32_t size = Sys<uint32_t(void*)>(sysslot::MemHandleSize, handle);
    const std::string text = p ? std::string(p, strnlen(p, size)) : std::string();
    if (p) Sys<uint16_t(void*)>(sysslot::MemHandleUnlock, handle);
    FillRect(kHelpBox, kWhite);
    FrameRect(kHelpBox, kBlack);
    const std::vector<std::string> lines = WrapText(text, static_cast<size_t>((kHelpBox.w - 12) / kCharWidth));
    const int16_t maxLines = static_cast<int16_t>((kHelpBox.h - 24) / kLineHeight);
    for (size_t i = 0; i < lines.size() && static_cast<int16_t>(i) < maxLines; ++i)
        DrawText(static_cast<int16_t>(kHelpBox.x + 6), static_cast<int16_t>(kHelpBox.y + 6 + kLineHeight * i),
                 lines[i].data(), lines[i].size(), kBlack, kWhite);
    WaitForButton(DrawButtons(kHelpBox, {"Done"}), 0);
    PostFormUpdate();
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::FrmHelp, StandinFrmHelp)

}  // namespace
}  // namespace vantor::os::ui
