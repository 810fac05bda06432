// The stand-in UI library's list slots over native list records: items, selection, scrolling and
// drawing (a framed box of rows, the chosen row inverted, or the list's own draw callback per row).
#include <algorithm>
#include <cstring>

#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/ui/UiForm.h"
#include "standin/os/ui/UiList.h"

namespace vantor::os::ui {
namespace {

constexpr uint16_t kLstSelectEvent = 12;

Rect RectOf(const NativeUiRect& r) { return Rect{r.x, r.y, r.width, r.height}; }

Rect RowBounds(const NativeList* l, int16_t row) {
    return Rect{static_cast<int16_t>(l->bounds.x + 1), static_cast<int16_t>(l->bounds.y + 1 + row * kLineHeight),
                static_cast<int16_t>(l->bounds.width - 2), kLineHeight};
}

const char* ItemText(const NativeList* l, int16_t item) {
    if (!l->itemsText || item < 0 || item >= l->numItems) return nullptr;
    return l->itemsText[item];
}

void DrawRow(NativeList* l, int16_t item) {
    const int16_t row = static_cast<int16_t>(item - l->topItem);
    if (row < 0 || row >= ListVisibleItems(l) || item >= l->numItems) return;
    Rect r = RowBounds(l, row);
    const bool chosen = item == l->currentItem;
    FillRect(r, chosen ? kBlack : kWhite);
    if (l->drawItemsCallback) {
        NativeUiRect b{r.x, r.y, r.w, r.h};
        l->drawItemsCallback(item, &b, l->itemsText, l);
        return;
    }
    if (const char* text = ItemText(l, item))
        DrawText(static_cast<int16_t>(r.x + 2), static_cast<int16_t>(r.y + 1), text, std::strlen(text),
                 chosen ? kWhite : kBlack, chosen ? kBlack : kWhite);
}

// Keeps the top item where the visible rows show items.
void ClampTop(NativeList* l) {
    const int16_t visible = ListVisibleItems(l);
    const int16_t most = static_cast<int16_t>(std::max(0, l->numItems - visible));
    l->topItem = std::clamp<int16_t>(l->topItem, 0, most);
}

bool Shown(const NativeList* l) { return (l->attr & kListUsable) && (l->attr & kListVisible); }

// ---- slots ----

void StandinLstDrawList(NativeList* l) {
    if (l) ListDraw(l);
}
void StandinLstEraseList(NativeList* l) {
    if (!l) return;
    FillRect(RectOf(l->bounds), kWhite);
    l->attr = static_cast<uint16_t>(l->attr & ~kListVisible);
}
int16_t StandinLstGetNumberOfItems(const NativeList* l) { return l ? l->numItems : 0; }
int16_t StandinLstGetSelection(const NativeList* l) { return l ? l->currentItem : -1; }
char* StandinLstGetSelectionText(const NativeList* l, int16_t item) {
    return l ? const_cast<char*>(ItemText(l, item)) : nullptr;
}
int16_t StandinLstGetTopItem(const NativeList* l) { return l ? l->topItem : 0; }
int16_t StandinLstGetVisibleItems(const NativeList* l) { return l ? ListVisibleItems(l) : 0; }
uint8_t StandinLstHandleEvent(NativeList* l, const SysEventType* event) {
    if (!l || !event || event->eType != kPenDown) return 0;
    return ListPen(l, ScreenToUi(event->screenX), ScreenToUi(event->screenY)) ? 1 : 0;
}
void StandinLstMakeItemVisible(NativeList* l, int16_t item) {
    if (!l || item < 0 || item >= l->numItems) return;
    const int16_t visible = ListVisibleItems(l);
    if (item < l->topItem) l->topItem = item;
    if (item >= l->topItem + visible) l->topItem = static_cast<int16_t>(item - visible + 1);
    ClampTop(l);
}
int16_t StandinLstPopupList(NativeList* l) {
    if (!l) return -1;
    l->attr |= kListVisible | kListPoppedUp;
    ListDraw(l);
    l->attr = static_cast<uint16_t>(l->attr & ~kListPoppedUp);
    return l->currentItem;
}
uint8_t StandinLstScrollList(NativeList* l, uint8_t direction, int16_t count) {
    if (!l || count <= 0) return 0;
    const int16_t before = l->topItem;
    l->topItem = static_cast<int16_t>(direction ? l->topItem + count : l->topItem - count);
    ClampTop(l);
    if (l->topItem == before) return 0;
    if (Shown(l)) ListDraw(l);
    return 1;
}
void StandinLstSetDrawFunction(NativeList* l, NativeListDrawFunc f) {
    if (l) l->drawItemsCallback = f;
}
void StandinLstSetHeight(NativeList* l, int16_t visibleItems) {
    if (!l || visibleItems < 0) return;
    l->bounds.height = static_cast<int16_t>(visibleItems * kLineHeight + 2);
    ClampTop(l);
}
void StandinLstSetListChoices(NativeList* l, char** items, int16_t count) {
    if (!l) return;
    l->itemsText = items;
    l->numItems = items && count > 0 ? count : 0;
    l->currentItem = l->numItems ? 0 : -1;
    l->topItem = 0;
}
void StandinLstSetPosition(NativeList* l, int16_t x, int16_t y) {
    if (!l) return;
    l->bounds.x = x;
    l->bounds.y = y;
}
void StandinLstSetSelection(NativeList* l, int16_t item) {
    if (!l) return;
    l->currentItem = item >= 0 && item < l->numItems ? item : -1;
    if (l->currentItem >= 0) StandinLstMakeItemVisible(l, item);
    if (Shown(l)) ListDraw(l);
}
void StandinLstSetTopItem(NativeList* l, int16_t item) {
    if (!l) return;
    l->topItem = item;
    ClampTop(l);
}

VANTOR_OS_LIBRARY_SLOT(Ui, 216, StandinLstDrawList)
VANTOR_OS_LIBRARY_SLOT(Ui, 217, StandinLstEraseList)
VANTOR_OS_LIBRARY_SLOT(Ui, 218, StandinLstGetNumberOfItems)
VANTOR_OS_LIBRARY_SLOT(Ui, 219, StandinLstGetSelection)
VANTOR_OS_LIBRARY_SLOT(Ui, 220, StandinLstGetSelectionText)
VANTOR_OS_LIBRARY_SLOT(Ui, 221, StandinLstGetTopItem)
VANTOR_OS_LIBRARY_SLOT(Ui, 222, StandinLstGetVisibleItems)
VANTOR_OS_LIBRARY_SLOT(Ui, 223, StandinLstHandleEvent)
VANTOR_OS_LIBRARY_SLOT(Ui, 224, StandinLstMakeItemVisible)
VANTOR_OS_LIBRARY_SLOT(Ui, 226, StandinLstPopupList)
VANTOR_OS_LIBRARY_SLOT(Ui, 227, StandinLstScrollList)
VANTOR_OS_LIBRARY_SLOT(Ui, 228, StandinLstSetDrawFunction)
VANTOR_OS_LIBRARY_SLOT(Ui, 229, StandinLstSetHeight)
VANTOR_OS_LIBRARY_SLOT(Ui, 230, StandinLstSetListChoices)
VANTOR_OS_LIBRARY_SLOT(Ui, 231, StandinLstSetPosition)
VANTOR_OS_LIBRARY_SLOT(Ui, 232, StandinLstSetSelection)
VANTOR_OS_LIBRARY_SLOT(Ui, 233, StandinLstSetTopItem)

}  // namespace

int16_t ListVisibleItems(const NativeList* l) {
    return static_cast<int16_t>(std::max(0, (l->bounds.height - 2) / kLineHeight));
}

void ListDraw(NativeList* l) {
    if (!(l->attr & kListUsable)) return;
    l->attr |= kListVisible;
    const Rect box = RectOf(l->bounds);
    FillRect(box, kWhite);
    FrameRect(box, kBlack);
    for (int16_t row = 0; row < ListVisibleItems(l); ++row) DrawRow(l, static_cast<int16_t>(l->topItem + row));
}

bool ListPen(NativeList* l, int16_t x, int16_t y) {
    if (!(l->attr & kListUsable) || !RectOf(l->bounds).Contains(x, y)) return false;
    // The frame's top line lies above the first row: a tap there chooses nothing.
    const int offset = y - l->bounds.y - 1;
    if (offset < 0) return false;
    const int16_t row = static_cast<int16_t>(offset / kLineHeight);
    const int16_t item = static_cast<int16_t>(l->topItem + row);
    if (row < 0 || row >= ListVisibleItems(l) || item >= l->numItems) return false;
    const int16_t previous = l->currentItem;
    l->currentItem = item;
    if (previous != item) {
        DrawRow(l, previous);
        DrawRow(l, item);
    }
    SysEventType select{};
    select.eType = kLstSelectEvent;
    std::memcpy(select.data, &l->id, 2);
    std::memcpy(select.data + 4, &l, 4);
    std::memcpy(select.data + 8, &item, 2);
    PostEvent(select);
    return true;
}

List* ListFromRecord(const uint8_t* p, uint32_t size, Form* form) {
    if (size < sizeof(NativeList)) return nullptr;
    auto* l = new List;
    NativeList& n = *l;
    std::memcpy(&n, p, sizeof n);
    n.itemsText = nullptr;
    n.popupWin = nullptr;
    n.drawItemsCallback = nullptr;
    l->form = form;
    const uint32_t count = n.numItems > 0 ? static_cast<uint16_t>(n.numItems) : 0;
    uint32_t at = sizeof(NativeList) + 4 * count;
    for (uint32_t i = 0; i < count && at < size; ++i) {
        const void* end = std::memchr(p + at, 0, size - at);
        if (!end) break;
        const size_t length = static_cast<const uint8_t*>(end) - (p + at);
        l->texts.emplace_back(reinterpret_cast<const char*>(p + at), length);
        at += static_cast<uint32_t>(length) + 1;
    }
    for (std::string& t : l->texts) l->pointers.push_back(t.data());
    n.numItems = static_cast<int16_t>(l->texts.size());
    n.itemsText = l->pointers.empty() ? nullptr : l->pointers.data();
    n.currentItem = n.numItems ? std::clamp<int16_t>(n.currentItem, -1, static_cast<int16_t>(n.numItems - 1)) : -1;
    ClampTop(&n);
    return l;
}

void ListFree(List* l) { delete l; }

}  // namespace vantor::os::ui
