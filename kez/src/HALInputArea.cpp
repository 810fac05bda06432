// The input area below the square screen and the status-bar buttons drawn over it (export slots
// 191 to 195): the button table, icons loaded from the device resources, the system's layout, and
// the input area drawn through the drawing slots unless a notification handler draws it.
#include <array>
#include <cstring>

#include "common/FourCC.h"
#include "common/module/SystemCalls.h"
#include "kez/src/HALDisplay.h"
#include "kez/src/HALScreenMgr.h"
#include "kez/src/KAL.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"

using namespace vantor;

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
    bool locked;      // the bitmaps are locked resources, unlocked when released
};
std::array<Button, kMaxButtons> gButtons;
uint16_t gButtonCount = 0;

Button* Find(uint16_t id) {
    for (uint32_t i = 0; i < gButtonCount; ++i)
        if (gButtons[i].id == id) return &gButtons[i];
    return nullptr;
}

// Releases a button's bitmaps: resources loaded for an icon are unlocked; bitmaps given directly
// belong to the caller.
void Release(Button& button) {
    if (button.locked) {
        if (button.selected && button.selected != button.normal) sys::MemPtrUnlock(button.selected);
        if (button.normal) sys::MemPtrUnlock(button.normal);
    }
    button.normal = button.selected = nullptr;
    button.locked = false;
}

Button* Add(uint16_t id) {
    if (gButtonCount >= kMaxButtons) {
        KALFatal(kSource, 0, "overrun max num buttons in Status bar");
        return nullptr;
    }
    Button* button = &gButtons[gButtonCount++];
    *button = Button{};
    button->id = id;
    return button;
}

// The pixel size of an OS bitmap (of any version: the first 12 bytes share their layout).
uint8_t Depth(const uint8_t* bitmap) { return bitmap[8]; }
uint16_t Width(const uint8_t* bitmap) {
    uint16_t w;
    std::memcpy(&w, bitmap, 2);
    return w;
}
uint16_t Height(const uint8_t* bitmap) {
    uint16_t h;
    std::memcpy(&h, bitmap + 2, 2);
    return h;
}

// The next member of an OS bitmap family, or null: version 0 has none; versions 1 and 2 keep the
// distance in 4-byte words at offset 10 (a version-1 member of pixel size 0xFF is the 16-byte
// separator before the high-density members); version 3 keeps it in bytes at offset 20.
const uint8_t* NextBitmap(const uint8_t* bitmap) {
    uint8_t version = bitmap[9] & 0x7F;
    if (version == 0) return nullptr;
    if (version == 1 && bitmap[8] == 0xFF) return bitmap + 16;
    if (version < 3) {
        uint16_t words;
        std::memcpy(&words, bitmap + 10, 2);
        return words ? bitmap + 4u * words : nullptr;
    }
    uint32_t bytes;
    std::memcpy(&bytes, bitmap + 20, 4);
    return bytes ? bitmap + bytes : nullptr;
}

// The member of a family to draw on a display of `depth`: the deepest not above it, else the
// first (down-sampled).
const uint8_t* ChooseMember(const void* family, uint32_t depth) {
    const uint8_t* best = nullptr;
    const uint8_t* first = nullptr;
    for (const uint8_t* m = static_cast<const uint8_t*>(family); m; m = NextBitmap(m)) {
        if (Depth(m) == 0xFF) continue;
        if (!first) first = m;
        if (Depth(m) > depth) break;
        best = m;
    }
    if (!best && first) {
        KALFatal(kSource, 0, "down-sampling input area bitmap");
        best = first;
    }
    if (!best) KALFatal(kSource, 0, "bitmap not found");
    return best;
}

struct InputAreaDetails {
    HALRect bounds;
    void* bitmap;
    uint8_t selected;
    uint8_t noBounds;
};

uint32_t Attribute(uint16_t attribute, uint16_t* status = nullptr) {
    uint32_t value = 0;
    uint16_t s = KEZ_CALL(HALDisplayGetAttributes, attribute, &value);
    if (status) *status = s;
    return value;
}

// Draws one family member at (x, y) on the screen bitmap, clipped to `clip`.
void DrawMember(const uint8_t* member, int16_t x, int16_t y, const HALRect& clip, HALBitmap& screen) {
    HALBitmap source = PrvHALDisplayDescribeBitmap(member);
    HALDrawAttributes attributes{};
    if (screen.pixelSize > 8) {
        attributes.foreIndex = 255;
    } else {
        attributes.foreIndex = static_cast<uint8_t>((1u << screen.pixelSize) - 1);
    }
    HALDrawState state{clip, &attributes, &screen};
    HALRect target{x, y, static_cast<int16_t>(source.width), static_cast<int16_t>(source.height)};
    KEZ_CALL(HALDrawBitmap, &state, &source, &target, x, y);
}

}  // namespace

bool PrvStatusBarButton(uint16_t id, HALRect* bounds, uint8_t* inUse) {
    const Button* button = Find(id);
    if (!button) return false;
    if (bounds) *bounds = button->bounds;
    if (inUse) *inUse = button->inUse;
    return true;
}

bool PrvStatusBarBitmaps(uint16_t id, void** normal, void** selected) {
    const Button* button = Find(id);
    if (!button) return false;
    if (normal) *normal = button->normal;
    if (selected) *selected = button->selected;
    return true;
}

void PrvStatusBarReset() {
    gButtons = {};
    gButtonCount = 0;
}

uint16_t HALRedrawInputArea(const HALRect* bounds, uint8_t selected) {
    if (gKez.config.inputAreaFlag) return 0;  // the configuration asks for no input area
    if (selected && !bounds) {
        KALFatal(kSource, 0, "Needs bounds for selected state");
        return 0xFFFF;
    }
    HALRect area{};
    uint16_t status = KEZ_CALL(HALDisplayGetAttributes, 32, &area);
    uint32_t bitmapAddress = 0;
    if (status == 0) status = KEZ_CALL(HALDisplayGetAttributes, selected ? 34 : 33, &bitmapAddress);
    if (status != 0) {
        KALFatal(kSource, 0, "HALRedrawInputArea:  error getting input area bitmap");
        return status;
    }
    void* family = reinterpret_cast<void*>(static_cast<uintptr_t>(bitmapAddress));
    if (family) {
        // Whoever owns the input area may draw it: the notification's handler sets `handled`.
        InputAreaDetails details{bounds ? *bounds : HALRect{}, family, static_cast<uint8_t>(bounds ? selected : 0),
                                 static_cast<uint8_t>(bounds ? 0 : 1)};
        SysNotifyParamType notify{FourCC("iaad"), FourCC("psys"), &details, nullptr, 0, 0};
        if (sys::SysNotifyBroadcast(&notify) != 0) {
            KALFatal(kSource, 0, "Can't send input area drawing notification");
        } else if (notify.handled) {
            return 0;
        }
    }
    if (!family) {
        KALFatal(kSource, 0, "input area bitmap not registered");
        return 0x0502;
    }
    ScreenMgrRecord* record = PrvScreenMgrRecord();
    if (!record) return 0xFFFF;
    uint32_t depth = Attribute(10);
    const uint8_t* member = ChooseMember(family, depth);
    if (!member) return 0x0502;
    if (Width(member) != record->width) KALFatal(kSource, 0, "bitmap not full screen width");
    if (record->depth != depth) KEZ_CALL(HALScreenMgrSetMode, static_cast<uint16_t>(depth));

    HALBitmap screen;
    PrvScreenMgrDrawingBitmap(&screen);
    // The redrawn rectangle: the given bounds, offset into the area, or the whole area.
    HALRect redrawn = area;
    if (bounds)
        redrawn = {static_cast<int16_t>(area.x + bounds->x), static_cast<int16_t>(area.y + bounds->y), bounds->width,
                   bounds->height};
    // A picture shorter than the area sits at its bottom.
    int16_t top = area.y;
    if (Height(member) < static_cast<uint16_t>(area.height))
        top = static_cast<int16_t>(area.y + area.height - Height(member));
    DrawMember(member, area.x, top, redrawn, screen);
    for (uint32_t i = 0; i < gButtonCount; ++i) {
        const Button& b = gButtons[i];
        if (!b.inUse || !b.normal) continue;
        if (b.bounds.x < redrawn.x || b.bounds.y < redrawn.y ||
            b.bounds.x + b.bounds.width > redrawn.x + redrawn.width ||
            b.bounds.y + b.bounds.height > redrawn.y + redrawn.height)
            continue;
        void* picture = selected && b.selected ? b.selected : b.normal;
        if (const uint8_t* m = ChooseMember(picture, depth)) DrawMember(m, b.bounds.x, b.bounds.y, redrawn, screen);
    }
    return 0;
}
KEZ_SLOT(HALRedrawInputArea, HALRedrawInputArea)

// Loads a button's icons: 'abmp' `id` and 'abmp' `id` + `selectedOffset` of the open device
// resources; an icon id of 0 leaves none.
void LoadIcons(Button& button, uint16_t id, uint16_t selectedOffset) {
    Release(button);
    button.iconID = id;
    if (id == 0) return;
    void* normal = sys::DmGetResource(FourCC("abmp"), id);
    if (!normal) {
        KALFatal(kSource, 0, "Status bar icon bitmap not found");
        return;
    }
    void* selectedHandle = sys::DmGetResource(FourCC("abmp"), static_cast<uint16_t>(id + selectedOffset));
    button.normal = sys::MemHandleLock(normal);
    button.selected = selectedHandle ? sys::MemHandleLock(selectedHandle) : button.normal;
    button.locked = true;
}

uint16_t HALStatusBarSetIcon(uint16_t buttonID, uint16_t iconID) {
    uint32_t db = sys::DmOpenDatabaseByTypeCreator(FourCC("rsrc"), FourCC("pdvc"), 1);
    if (!db) KALFatal(kSource, 0, "No DeviceResources DB");
    // Ids follow the display's density.
    uint16_t id = iconID;
    if (id != 0 && id != 0xFFFF) {
        switch (gKez.displayDensity) {
            case 72: break;
            case 108: id = static_cast<uint16_t>(id + 1000); break;
            case 144: id = static_cast<uint16_t>(id + 11000); break;
            default: id = 0; break;
        }
    }
    uint16_t result = 0;
    if (Button* button = Find(buttonID)) {
        LoadIcons(*button, id, 500);
        if (button->inUse) KEZ_CALL(HALRedrawInputArea, nullptr, 0);
    } else if (Button* added = Add(buttonID)) {
        LoadIcons(*added, id, 100);
    } else {
        result = 0xFFFF;
    }
    if (db) sys::DmCloseDatabase(db);
    return result;
}
KEZ_SLOT(HALStatusBarSetIcon, HALStatusBarSetIcon)

namespace {

// Scales a coordinate by a 16.16 factor, truncating toward zero; above 1 a positive product with
// a fraction rounds up.
int32_t Scale(int32_t value, uint32_t factor) {
    int64_t product = int64_t{value} * factor;
    int64_t whole = product / 65536;
    if (factor > 0x10000 && product > 0 && product % 65536 != 0) ++whole;
    return static_cast<int32_t>(whole);
}

}  // namespace

uint16_t HALStatusBarLayout() {
    uint16_t count = 0;
    const StatusBarLayoutEntry* list = sys::StatusBarGetLayoutList(&count);
    if (!list) count = 0;
    for (uint32_t i = 0; i < gButtonCount; ++i) gButtons[i].inUse = 0;
    uint16_t status = 0;
    uint32_t factor = Attribute(37, &status);
    if (status != 0) {
        KALFatal(kSource, 0, "unknown scaling factor");
        return 0xFFFF;
    }
    for (uint16_t i = 0; i < count; ++i) {
        const StatusBarLayoutEntry& e = list[i];
        Button* button = Find(e.buttonID);
        if (!button) button = Add(e.buttonID);
        if (!button) return 0xFFFF;
        button->inUse = 1;
        HALRect r{e.left, e.top, e.width, e.height};
        if (factor != 0x10000) {
            int32_t left = Scale(e.left, factor), top = Scale(e.top, factor);
            r = {static_cast<int16_t>(left), static_cast<int16_t>(top),
                 static_cast<int16_t>(Scale(e.left + e.width, factor) - left),
                 static_cast<int16_t>(Scale(e.top + e.height, factor) - top)};
        }
        button->bounds = r;
    }
    return 0;
}
KEZ_SLOT(HALStatusBarLayout, HALStatusBarLayout)

uint16_t HALStatusBarAddButton(uint16_t buttonID, void* bitmap, void* selectedBitmap) {
    if (!bitmap) {
        KALFatal(kSource, 0, "NULL bitmapP passed to Status bar");
        return 0x0502;
    }
    Button* button = Find(buttonID);
    if (!button) button = Add(buttonID);
    if (!button) return 0xFFFF;
    Release(*button);
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
