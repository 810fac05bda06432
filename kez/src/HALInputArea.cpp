// The input area below the square screen and the status-bar buttons drawn over it (export slots
// 191 to 195). The button table is kept here; drawing the input area, loading icons from the
// device resources and the system's layout are not built yet.
#include <array>

#include "kez/src/HALDisplay.h"
#include "kez/src/HALScreenMgr.h"
#include "kez/src/KAL.h"
#include "kez/src/KezModule.h"

namespace kez {
namespace {

constexpr const char* kSource = "Kez/Common/Hardware/Src/HALScreenMgr";
constexpr uint32_t kMaxButtons = 20;

struct Button {
    void* normal;
    void* selected;
    HALRect bounds;
    uint16_t id;
    uint16_t iconID;  // 0xFFFF: the bitmap was given directly
    uint8_t inUse;
};
std::array<Button, kMaxButtons> gButtons;
uint16_t gButtonCount = 0;

Button* Find(uint16_t id) {
    for (uint32_t i = 0; i < gButtonCount; ++i)
        if (gButtons[i].id == id) return &gButtons[i];
    return nullptr;
}

}  // namespace

void PrvStatusBarReset() {
    gButtons = {};
    gButtonCount = 0;
}

uint16_t HALRedrawInputArea(const HALRect*, uint8_t) { return 0; }
KEZ_SLOT(HALRedrawInputArea, HALRedrawInputArea)

uint16_t HALStatusBarAddButton(uint16_t buttonID, void* bitmap, void* selectedBitmap) {
    if (!bitmap) {
        KALFatal(kSource, 0, "NULL bitmapP passed to Status bar");
        return 0x0502;
    }
    Button* button = Find(buttonID);
    if (!button) {
        if (gButtonCount >= kMaxButtons) {
            KALFatal(kSource, 0, "overrun max num buttons in Status bar");
            return 0xFFFF;
        }
        button = &gButtons[gButtonCount++];
        *button = Button{};
        button->id = buttonID;
    }
    button->normal = bitmap;
    button->selected = selectedBitmap ? selectedBitmap : bitmap;
    button->iconID = 0xFFFF;
    if (button->inUse) KEZ_CALL(HALRedrawInputArea, nullptr, 0);
    return 0;
}
KEZ_SLOT(HALStatusBarAddButton, HALStatusBarAddButton)

uint16_t HALStatusBarGetIconID(uint16_t buttonID, uint16_t* iconID) {
    if (!iconID) {
        KALFatal(kSource, 0, "invalid pointer to icon bitmap ID");
        return 0;
    }
    const Button* button = Find(buttonID);
    if (!button) {
        *iconID = 0;
        return 0;
    }
    // The stored id less the density's offset.
    uint16_t offset = static_cast<uint16_t>(PrvHALDisplayResIDForDensity(2) - 2);
    *iconID = button->iconID == 0 ? 0 : static_cast<uint16_t>(button->iconID - offset);
    return 1;
}
KEZ_SLOT(HALStatusBarGetIconID, HALStatusBarGetIconID)

}  // namespace kez
