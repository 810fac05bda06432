#include "standin/os/ui/UiDialog.h"

#include <cstring>

#include "standin/os/ui/UiForm.h"

namespace vantor::os::ui {

constexpr uint16_t kFrmUpdate = 26;

void DialogDraw(const Rect& box, const char* title, size_t titleLength) {
    FillRect(box, kWhite);
    FrameRect(box, kBlack);
    FillRect(Rect{box.x, box.y, box.w, 13}, kDarkBlue);
    DrawText(static_cast<int16_t>(box.x + 4), static_cast<int16_t>(box.y + 3), title, titleLength, kWhite, kDarkBlue);
}

Rect DialogButton(int16_t x, int16_t y, const char* label, size_t length) {
    const Rect r{x, y, static_cast<int16_t>(TextWidth(label, length) + 12), 12};
    FillRect(r, kWhite, 4);
    FrameRect(r, kBlack, 4);
    DrawText(static_cast<int16_t>(x + 6), static_cast<int16_t>(y + 2), label, length, kBlack, kWhite);
    return r;
}

void PostFormUpdate() {
    if (Form* form = ActiveForm()) {
        SysEventType update{};
        update.eType = kFrmUpdate;
        std::memcpy(update.data, &form->id, 2);
        PostEvent(update);
    }
}

}  // namespace vantor::os::ui
