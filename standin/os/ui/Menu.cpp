// The stand-in UI library's menu bars (UI slots 238-246): a bar is built from its native menu-bar
// resource ('amnu', as the resource translation writes it: offsets within the resource where the
// bar holds pointers). One bar is the active one; a pen on the top line of the screen (or the menu
// key) pulls its menus down, drawn over the form; a pen on an item posts a menu event with the
// item's ID, a pen anywhere else closes the bar. Closing posts a form update so that the
// application draws what the menu covered.
#include <algorithm>
#include <cstring>
#include <list>
#include <memory>
#include <vector>

#include "common/FourCC.h"
#include "common/module/NativeUi.h"
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/ui/UiForm.h"

namespace vantor::os::ui {
namespace {

namespace slot = uislot;

constexpr uint16_t kMenuEvent = 21, kFrmUpdate = 26, kMenuKey = 0x0105;
constexpr int16_t kBarHeight = 13;

struct Bar {
    NativeMenuBar native{};
    std::vector<NativeMenuPull> pulls;
    std::vector<NativeMenuItem> items;
    std::vector<char> bytes;  // the resource; titles and item texts point into it
};

struct Menus {
    std::list<std::unique_ptr<Bar>> bars;
    Bar* active = nullptr;
    bool open = false;
};
Menus& M() {
    static Menus m;
    return m;
}

Bar* Find(const void* native) {
    for (auto& b : M().bars)
        if (&b->native == native) return b.get();
    return nullptr;
}

Rect ToRect(const NativeUiRect& r) { return Rect{r.x, r.y, r.width, r.height}; }

template <typename T>
T At(const std::vector<char>& b, uint32_t offset) {
    T v{};
    std::memcpy(&v, b.data() + offset, sizeof v);
    return v;
}
// A text at `offset` of the resource, terminated within it; null otherwise.
char* Text(std::vector<char>& b, uint32_t offset) {
    if (offset >= b.size() || !std::memchr(b.data() + offset, 0, b.size() - offset)) return nullptr;
    return b.data() + offset;
}
size_t Length(const char* text) { return text ? std::strlen(text) : 0; }

// Reads the resource and lays the bar out: titles side by side on the top line, each menu below
// its title, as wide as its longest item.
std::unique_ptr<Bar> Parse(const char* p, uint32_t size) {
    auto bar = std::make_unique<Bar>();
    bar->bytes.assign(p, p + size);
    std::vector<char>& b = bar->bytes;
    if (size < 32) return nullptr;
    const uint16_t count = At<uint16_t>(b, 22);
    if (32 + 36u * count > size) return nullptr;
    uint32_t itemTotal = 0;
    for (uint16_t m = 0; m < count; ++m) {
        const uint32_t rec = 32 + 36u * m;
        const uint32_t items = At<uint32_t>(b, rec + 32), n = At<uint16_t>(b, rec + 30);
        if (items > size || 8u * n > size - items) return nullptr;
        itemTotal += n;
    }
    bar->pulls.resize(count);
    bar->items.resize(itemTotal);
    int16_t x = 0;
    size_t next = 0;
    for (uint16_t m = 0; m < count; ++m) {
        const uint32_t rec = 32 + 36u * m;
        NativeMenuPull& pull = bar->pulls[m];
        pull.title = Text(b, At<uint32_t>(b, rec + 24));
        pull.numItems = At<uint16_t>(b, rec + 30);
        pull.items = pull.numItems ? &bar->items[next] : nullptr;
        const uint32_t items = At<uint32_t>(b, rec + 32);
        int16_t widest = 40;
        for (uint16_t i = 0; i < pull.numItems; ++i) {
            NativeMenuItem& item = bar->items[next++];
            const uint32_t at = items + 8u * i;
            item.itemId = At<uint16_t>(b, at);
            item.command = b[at + 2];
            item.attr = static_cast<uint8_t>(b[at + 3]);
            item.text = Text(b, At<uint32_t>(b, at + 4));
            widest = std::max<int16_t>(widest, static_cast<int16_t>(TextWidth(item.text, Length(item.text)) + 12));
        }
        const int16_t titleWidth = static_cast<int16_t>(TextWidth(pull.title, Length(pull.title)) + 8);
        pull.titleBounds = NativeUiRect{x, 0, titleWidth, kBarHeight};
        const int16_t left = static_cast<int16_t>(std::min<int>(x, 160 - widest));
        pull.bounds = NativeUiRect{static_cast<int16_t>(std::max<int>(left, 0)), kBarHeight, widest,
                                   static_cast<int16_t>(pull.numItems * kLineHeight + 4)};
        x = static_cast<int16_t>(x + titleWidth);
    }
    bar->native.numMenus = static_cast<int16_t>(count);
    bar->native.menus = count ? bar->pulls.data() : nullptr;
    bar->native.curMenu = 0;
    bar->native.curItem = -1;
    return bar;
}

void Draw(Bar* bar) {
    const Rect line{0, 0, 160, kBarHeight};
    FillRect(line, kWhite);
    DrawLine(0, kBarHeight - 1, 159, kBarHeight - 1, kBlack);
    const int16_t current = bar->native.curMenu;
    for (int16_t m = 0; m < bar->native.numMenus; ++m) {
        const NativeMenuPull& pull = bar->pulls[static_cast<size_t>(m)];
        const bool pulled = m == current;
        const Rect title = ToRect(pull.titleBounds);
        if (pulled) FillRect(title, kBlack);
        DrawText(static_cast<int16_t>(title.x + 4), 3, pull.title, Length(pull.title), pulled ? kWhite : kBlack,
                 pulled ? kBlack : kWhite);
        if (!pulled) continue;
        const Rect box = ToRect(pull.bounds);
        FillRect(box, kWhite);
        FrameRect(box, kBlack);
        int16_t row = 0;
        for (uint16_t i = 0; i < pull.numItems; ++i) {
            const NativeMenuItem& item = pull.items[i];
            if (item.attr & kMenuItemHidden) continue;
            DrawText(static_cast<int16_t>(box.x + 6), static_cast<int16_t>(box.y + 2 + row++ * kLineHeight), item.text,
                     Length(item.text), kBlack, kWhite);
        }
    }
}

void Post(uint16_t type, uint16_t word) {
    SysEventType e{};
    e.eType = type;
    std::memcpy(e.data, &word, 2);
    PostEvent(e);
}

void Close(Bar* bar) {
    M().open = false;
    bar->native.attr = static_cast<uint16_t>(bar->native.attr & ~kMenuBarVisible);
    if (Form* form = ActiveForm()) Post(kFrmUpdate, form->id);
}

// The item under (x, y) of the pulled-down menu; null when none.
const NativeMenuItem* ItemAt(Bar* bar, int16_t x, int16_t y) {
    const int16_t m = bar->native.curMenu;
    if (m < 0 || m >= bar->native.numMenus) return nullptr;
    const NativeMenuPull& pull = bar->pulls[static_cast<size_t>(m)];
    const Rect box = ToRect(pull.bounds);
    if (!box.Contains(x, y) || y < box.y + 2) return nullptr;
    int16_t row = static_cast<int16_t>((y - box.y - 2) / kLineHeight);
    for (uint16_t i = 0; i < pull.numItems; ++i) {
        if (pull.items[i].attr & kMenuItemHidden) continue;
        if (row-- == 0) return &pull.items[i];
    }
    return nullptr;
}

// ---- slots ----

void* StandinMenuInit(uint16_t id) {
    void* handle = OsCall<syssig::DmGetResource>(sysslot::DmGetResource, FourCC("amnu"), id);
    if (!handle) return nullptr;
    auto* p = static_cast<const char*>(OsCall<void*(void*)>(sysslot::MemHandleLock, handle));
    const uint32_t size = OsCall<uint32_t(void*)>(sysslot::MemHandleSize, handle);
    std::unique_ptr<Bar> bar = p ? Parse(p, size) : nullptr;
    if (p) OsCall<uint16_t(void*)>(sysslot::MemHandleUnlock, handle);
    if (!bar) return nullptr;
    void* made = &bar->native;
    M().bars.push_front(std::move(bar));
    return made;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::UiEntry245, StandinMenuInit)

void StandinMenuDispose(void* native) {
    Bar* bar = Find(native);
    if (!bar) return;
    if (M().active == bar) M().active = nullptr, M().open = false;
    M().bars.remove_if([bar](const std::unique_ptr<Bar>& b) { return b.get() == bar; });
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::MenuDispose, StandinMenuDispose)

void* StandinMenuGetActiveMenu() { return M().active ? &M().active->native : nullptr; }
VANTOR_OS_LIBRARY_SLOT(Ui, slot::MenuGetActiveMenu, StandinMenuGetActiveMenu)

void* StandinMenuSetActiveMenu(void* native) {
    void* previous = StandinMenuGetActiveMenu();
    M().active = Find(native);
    M().open = false;
    return previous;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::UiEntry246, StandinMenuSetActiveMenu)

void StandinMenuDrawMenu(void* native) {
    Bar* bar = native ? Find(native) : M().active;
    if (!bar) return;
    M().active = bar;
    M().open = true;
    bar->native.attr |= kMenuBarVisible;
    Draw(bar);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::MenuDrawMenu, StandinMenuDrawMenu)

void StandinMenuEraseStatus(void*) {}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::MenuEraseStatus, StandinMenuEraseStatus)

uint8_t StandinMenuHandleEvent(void* native, const SysEventType* event, uint16_t* error) {
    if (error) *error = 0;
    Bar* bar = native ? Find(native) : M().active;
    if (!bar || !event) return 0;
    const int16_t x = ScreenToUi(event->screenX), y = ScreenToUi(event->screenY);
    uint16_t character = 0;
    std::memcpy(&character, event->data, 2);
    if (!M().open || M().active != bar) {
        if ((event->eType == kPenDown && y >= 0 && y < kBarHeight) || (event->eType == kKeyDown && character == kMenuKey)) {
            StandinMenuDrawMenu(&bar->native);
            return 1;
        }
        return 0;
    }
    if (event->eType == kKeyDown) {
        if (character == kMenuKey) Close(bar);
        return 1;
    }
    if (event->eType == kPenUp || event->eType == 3) return 1;
    if (event->eType != kPenDown) return 0;
    if (y >= 0 && y < kBarHeight) {
        for (int16_t m = 0; m < bar->native.numMenus; ++m)
            if (ToRect(bar->pulls[static_cast<size_t>(m)].titleBounds).Contains(x, y)) {
                bar->native.curMenu = m;
                bar->native.curItem = -1;
                Draw(bar);
                return 1;
            }
    }
    const NativeMenuItem* item = ItemAt(bar, x, y);
    if (item) {
        bar->native.curItem = static_cast<int16_t>(item - bar->pulls[static_cast<size_t>(bar->native.curMenu)].items);
        Post(kMenuEvent, item->itemId);
    }
    Close(bar);
    return 1;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::UiEntry243, StandinMenuHandleEvent)

}  // namespace
}  // namespace vantor::os::ui
