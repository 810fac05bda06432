// The stand-in UI library's scroll bars (UI slots 259-262) over the scroll bars of open forms. A bar
// is vertical: an up arrow, a track whose thumb shows where the value lies between the minimum and
// the maximum (its height the page's share of the whole), and a down arrow; an arrow is grey at its
// end of the range, and a bar with nothing to scroll shows nothing. A pen on an arrow moves the
// value by one, on the track by a page, and the thumb follows a pen that holds it. The application
// hears of it by events: the pen entering the bar, each change of value (with the old and the new
// value) and the pen leaving it (with the value the pen found and the one it left).
#include <algorithm>
#include <cstring>

#include "common/module/NativeUi.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/StandinOs.h"
#include "standin/os/ui/UiForm.h"

namespace vantor::os::ui {
namespace {

constexpr int32_t kArrowHeight = 7, kLeastThumb = 3;

uint16_t Region(const ScrollBar* b) {
    return (b->attr & kScrollBarRegionMask) >> kScrollBarRegionShift;
}
void SetRegion(ScrollBar* b, uint16_t region) {
    b->attr = static_cast<uint16_t>((b->attr & ~(kScrollBarRegionMask | kScrollBarHilighted)) |
                                    (region << kScrollBarRegionShift) | (region ? kScrollBarHilighted : 0));
}
bool Scrolls(const ScrollBar* b) {
    return (b->attr & kScrollBarUsable) && b->maxValue > b->minValue;
}

// The bar's parts in UI coordinates: the track between the arrows and the thumb on it (no thumb
// when there is nothing to scroll).
struct Parts {
    int32_t arrow, top, bottom;
    int32_t thumbTop, thumbHeight;
};
Parts Measure(const ScrollBar* b) {
    Parts p{};
    const int32_t height = std::max<int32_t>(b->bounds.height, 0);
    p.arrow = std::min(kArrowHeight, height / 3);
    p.top = b->bounds.y + p.arrow;
    p.bottom = b->bounds.y + height - p.arrow;
    p.thumbTop = p.top;
    const int32_t track = p.bottom - p.top, range = int32_t{b->maxValue} - b->minValue;
    if (range <= 0 || track <= 0) return p;
    const int64_t page = std::max<int16_t>(b->pageSize, 1);
    p.thumbHeight = static_cast<int32_t>(
        std::clamp<int64_t>(track * page / (range + page), std::min(kLeastThumb, track), track));
    p.thumbTop += static_cast<int32_t>(int64_t{track - p.thumbHeight} * (b->value - b->minValue) / range);
    return p;
}

int16_t I16(int32_t v) {
    return static_cast<int16_t>(v);
}

void Erase(const ScrollBar* b) {
    FillRect(Rect{b->bounds.x, b->bounds.y, b->bounds.width, b->bounds.height}, kWhite);
}

void Draw(ScrollBar* b) {
    Erase(b);
    if (!Scrolls(b)) {
        b->attr = static_cast<uint16_t>(b->attr & ~(kScrollBarVisible | kScrollBarShown));
        return;
    }
    b->attr |= kScrollBarVisible | kScrollBarShown;
    const Parts p = Measure(b);
    const int32_t x = b->bounds.x, width = b->bounds.width, middle = x + width / 2;
    const Rgb up = b->value > b->minValue ? kBlack : kGrey, down = b->value < b->maxValue ? kBlack : kGrey;
    // Each arrow a triangle of rows one pixel wider on each side than the row before.
    for (int32_t row = 0; row < p.arrow - 1 && row <= width / 2; ++row) {
        const int32_t top = b->bounds.y + 1 + row, bottom = p.bottom + p.arrow - 2 - row;
        DrawLine(I16(middle - row), I16(top), I16(middle + row), I16(top), up);
        DrawLine(I16(middle - row), I16(bottom), I16(middle + row), I16(bottom), down);
    }
    if (p.bottom > p.top) DrawLine(I16(middle), I16(p.top), I16(middle), I16(p.bottom - 1), kGrey);
    const int32_t inset = width > 2 ? 1 : 0;
    FillRect(Rect{I16(x + inset), I16(p.thumbTop), I16(width - 2 * inset), I16(p.thumbHeight)}, kBlack);
}

// Draws the bar when its form is shown.
void Show(ScrollBar* b) {
    if (b->form && b->form->drawn) Draw(b);
}

void Post(uint16_t type, const ScrollBar* b, const SysEventType* pen, int16_t value, int16_t newValue) {
    SysEventType e{};
    e.eType = type;
    if (pen) {
        e.penDown = pen->penDown;
        e.tapCount = pen->tapCount;
        e.screenX = pen->screenX;
        e.screenY = pen->screenY;
    }
    const void* self = b;
    std::memcpy(e.data, &b->id, 2);
    std::memcpy(e.data + 4, &self, sizeof self);
    std::memcpy(e.data + 8, &value, 2);
    std::memcpy(e.data + 10, &newValue, 2);
    if (type == kSclRepeat) {
        const uint32_t now = OsCall<syssig::TimGetTicks>(sysslot::TimGetTicks);
        std::memcpy(e.data + 12, &now, 4);
    }
    PostEvent(e);
}

// A new value, kept within the range; a change is drawn and told.
void MoveTo(ScrollBar* b, int32_t value, const SysEventType* pen) {
    value = std::clamp<int32_t>(value, b->minValue, b->maxValue);
    if (value == b->value) return;
    const int16_t old = b->value;
    b->value = I16(value);
    Show(b);
    Post(kSclRepeat, b, pen, old, b->value);
}

// The pen went down at `y` on the bar: an arrow steps by one, the track by a page; on the thumb the
// pen's place on it is kept for the drag.
void Start(ScrollBar* b, int16_t y, const SysEventType* pen) {
    const Parts p = Measure(b);
    uint16_t region = y < p.top                         ? kScrollBarUpArrow
                      : y >= p.bottom                   ? kScrollBarDownArrow
                      : y < p.thumbTop                  ? kScrollBarPageUp
                      : y >= p.thumbTop + p.thumbHeight ? kScrollBarPageDown
                                                        : kScrollBarCar;
    b->savePos = b->value;
    SetRegion(b, region);
    const int32_t page = std::max<int16_t>(b->pageSize, 1);
    switch (region) {
        case kScrollBarUpArrow:
            return MoveTo(b, b->value - 1, pen);
        case kScrollBarDownArrow:
            return MoveTo(b, b->value + 1, pen);
        case kScrollBarPageUp:
            return MoveTo(b, b->value - page, pen);
        case kScrollBarPageDown:
            return MoveTo(b, b->value + page, pen);
        default:
            b->penPosInCar = I16(y - p.thumbTop);
            return;
    }
}

// The pen moved to `y` while it holds the thumb: the value whose thumb lies under the pen.
void Drag(ScrollBar* b, int16_t y, const SysEventType* pen) {
    if (Region(b) != kScrollBarCar) return;
    const Parts p = Measure(b);
    const int32_t room = p.bottom - p.top - p.thumbHeight, range = int32_t{b->maxValue} - b->minValue;
    if (room <= 0 || range <= 0) return;
    const int32_t top = std::clamp<int32_t>(y - b->penPosInCar, p.top, p.top + room) - p.top;
    MoveTo(b, b->minValue + static_cast<int32_t>((int64_t{top} * range + room / 2) / room), pen);
}

void End(ScrollBar* b, const SysEventType* pen) {
    SetRegion(b, kScrollBarNoRegion);
    Post(kSclExit, b, pen, b->savePos, b->value);
}

// ---- slots ----

void StandinSclDrawScrollBar(ScrollBar* b) {
    if (IsScrollBar(b)) Draw(b);
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::SclDrawScrollBar, StandinSclDrawScrollBar)

void StandinSclGetScrollBar(ScrollBar* b, int16_t* value, int16_t* min, int16_t* max, int16_t* pageSize) {
    const bool known = IsScrollBar(b);
    if (value) *value = known ? b->value : 0;
    if (min) *min = known ? b->minValue : 0;
    if (max) *max = known ? b->maxValue : 0;
    if (pageSize) *pageSize = known ? b->pageSize : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::SclGetScrollBar, StandinSclGetScrollBar)

uint8_t StandinSclHandleEvent(ScrollBar* b, const SysEventType* event) {
    return ScrollBarHandleEvent(b, event) ? 1 : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::UiEntry261, StandinSclHandleEvent)

void StandinSclSetScrollBar(ScrollBar* b, int16_t value, int16_t min, int16_t max, int16_t pageSize) {
    if (!IsScrollBar(b)) return;
    ScrollBarSetValues(b, value, min, max, pageSize);
    if (b->form && b->form->drawn && (b->attr & kScrollBarUsable)) Draw(b);
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::SclSetScrollBar, StandinSclSetScrollBar)

}  // namespace

void ScrollBarSetValues(ScrollBar* b, int16_t value, int16_t min, int16_t max, int16_t pageSize) {
    b->minValue = min;
    b->maxValue = std::max(min, max);
    b->value = std::clamp(value, b->minValue, b->maxValue);
    b->pageSize = std::max<int16_t>(pageSize, 0);
}

void ScrollBarDraw(ScrollBar* b) {
    if (b->attr & kScrollBarUsable) Draw(b);
}

bool ScrollBarTracking(const ScrollBar* b) {
    return Region(b) != kScrollBarNoRegion;
}

bool ScrollBarHandleEvent(ScrollBar* b, const SysEventType* e) {
    if (!IsScrollBar(b) || !e) return false;
    const bool tracking = ScrollBarTracking(b);
    const int16_t x = ScreenToUi(e->screenX), y = ScreenToUi(e->screenY);
    switch (e->eType) {
        case kPenDown: {
            // A pen held on the bar moves on it (the device reports a moving pen as more pens down);
            // the thumb follows it anywhere, but a pen away from a bar held by an arrow or the track
            // is a new one, whose going up was not seen: the old one leaves first.
            const Rect bounds{b->bounds.x, b->bounds.y, b->bounds.width, b->bounds.height};
            if (tracking && (Region(b) == kScrollBarCar || bounds.Contains(x, y))) return Drag(b, y, e), true;
            if (tracking) End(b, e);
            if (!Scrolls(b) || !bounds.Contains(x, y)) return false;
            Post(kSclEnter, b, e, 0, 0);
            Start(b, y, e);
            return true;
        }
        case kPenMove:
            if (tracking) Drag(b, y, e);
            return tracking;
        case kPenUp:
            if (tracking) End(b, e);
            return tracking;
        case kSclEnter: {
            // The pen's entry that the bar itself told of: the bar already follows the pen.
            const ScrollBar* named;
            std::memcpy(&named, e->data + 4, sizeof named);
            return named == b;
        }
        default:
            return false;
    }
}

}  // namespace vantor::os::ui
