#include "standin/os/ui/UiDraw.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "standin/os/StandinOs.h"

namespace vantor::os::ui {
namespace {

template <typename Sig, typename... Args>
auto Kez(uint16_t slot, Args... args) {
    return reinterpret_cast<Sig*>(KezTable()[slot])(args...);
}

uint32_t Attribute(uint16_t attribute) {
    uint32_t value = 0;
    Kez<kezsig::HALDisplayGetAttributes>(kezslot::HALDisplayGetAttributes, attribute, &value);
    return value;
}

// Glyphs of the printable ASCII characters, 7 rows of 5 pixels each (0x10 is the leftmost).
const uint8_t kGlyphs[95][7] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04},
    {0x0A, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A},
    {0x04, 0x0F, 0x14, 0x0E, 0x05, 0x1E, 0x04}, {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03},
    {0x0C, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0D}, {0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}, {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08},
    {0x00, 0x04, 0x15, 0x0E, 0x15, 0x04, 0x00}, {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00},
    {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}, {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}, {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00},
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}, {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x04, 0x08},
    {0x02, 0x04, 0x08, 0x10, 0x08, 0x04, 0x02}, {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00},
    {0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08}, {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04},
    {0x0E, 0x11, 0x01, 0x0D, 0x15, 0x15, 0x0E}, {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},
    {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}, {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E},
    {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}, {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F},
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}, {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F},
    {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}, {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}, {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11},
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}, {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11},
    {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}, {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},
    {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}, {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D},
    {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}, {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E},
    {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}, {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}, {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A},
    {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}, {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04},
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}, {0x0E, 0x08, 0x08, 0x08, 0x08, 0x08, 0x0E},
    {0x00, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00}, {0x0E, 0x02, 0x02, 0x02, 0x02, 0x02, 0x0E},
    {0x04, 0x0A, 0x11, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F},
    {0x08, 0x04, 0x02, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F},
    {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E}, {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E},
    {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F}, {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E},
    {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08}, {0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x0E},
    {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11}, {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E},
    {0x02, 0x00, 0x06, 0x02, 0x02, 0x12, 0x0C}, {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12},
    {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}, {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11},
    {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11}, {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E},
    {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10}, {0x00, 0x00, 0x0D, 0x13, 0x0F, 0x01, 0x01},
    {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}, {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E},
    {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06}, {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D},
    {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04}, {0x00, 0x00, 0x11, 0x11, 0x15, 0x15, 0x0A},
    {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11}, {0x00, 0x00, 0x11, 0x11, 0x0F, 0x01, 0x0E},
    {0x00, 0x00, 0x1F, 0x02, 0x04, 0x08, 0x1F}, {0x02, 0x04, 0x04, 0x08, 0x04, 0x04, 0x02},
    {0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}, {0x08, 0x04, 0x04, 0x02, 0x04, 0x04, 0x08},
    {0x00, 0x00, 0x08, 0x15, 0x02, 0x00, 0x00},
};

// The font record Kez draws from: header, a one-row strip of 6-pixel glyph cells (the missing
// glyph, a box, last) and the location table.
std::vector<uint8_t> MakeFont() {
    const uint16_t first = ' ', last = '~', count = last - first + 1;
    const uint16_t rowWords = ((count + 1) * kCharWidth + 15) / 16, height = kFontHeight;
    HALFont font{};
    font.firstChar = first;
    font.lastChar = last;
    font.maxWidth = kCharWidth;
    font.rectWidth = kCharWidth;
    font.rectHeight = height;
    font.ascent = 7;
    font.descent = 1;
    font.rowWords = rowWords;
    std::vector<uint8_t> bytes(sizeof font + rowWords * 2u * height + 2u * (count + 2));
    std::memcpy(bytes.data(), &font, sizeof font);
    uint8_t* image = bytes.data() + sizeof font;
    auto set = [&](uint32_t x, uint32_t y) {
        image[y * rowWords * 2 + x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
    };
    std::vector<uint16_t> locations;
    for (uint16_t c = 0; c < count; ++c) {
        locations.push_back(static_cast<uint16_t>(c * kCharWidth));
        for (uint32_t y = 0; y < 7; ++y)
            for (uint32_t x = 0; x < 5; ++x)
                if (kGlyphs[c][y] & (0x10u >> x)) set(c * kCharWidth + x, y);
    }
    const uint32_t box = count * kCharWidth;
    locations.push_back(static_cast<uint16_t>(box));
    for (uint32_t y = 0; y < 7; ++y)
        for (uint32_t x = 0; x < 5; ++x)
            if (y == 0 || y == 6 || x == 0 || x == 4) set(box + x, y);
    locations.push_back(static_cast<uint16_t>(box + kCharWidth));
    std::memcpy(image + rowWords * 2u * height, locations.data(), 2 * locations.size());
    return bytes;
}

struct Screen {
    std::mutex mutex;
    bool tried = false, ready = false;
    uint32_t depth = 0;
    int16_t scale = 1;
    HALBitmap bitmap{};
    HALDrawAttributes attributes{};
    HALDrawState state{};
    std::vector<uint8_t> font;
};

Screen& S() {
    static Screen screen;
    return screen;
}

// Sets the screen up once, with the lock held.
bool Ready(Screen& s) {
    if (s.tried) return s.ready;
    s.tried = true;
    // A Kez without its display and drawing slots (a test's) draws nothing.
    vantor::ModuleProc* kez = KezTable();
    if (!kez) return false;
    for (uint16_t slot :
         {kezslot::HALDisplayGetAttributes, kezslot::HALScreenMgrInitialize, kezslot::HALColorRGBToIndex,
          kezslot::HALDrawRectangle, kezslot::HALDrawLine, kezslot::HALDrawChars, kezslot::HALDrawBitmap})
        if (!kez[slot]) return false;
    uint32_t depth = Attribute(10);
    void* record = nullptr;
    // The screen manager hands out the bitmap drawn into; it may have been set up already by the
    // OS main's picture, in which case it is set up afresh over the same display.
    if (Kez<kezsig::HALScreenMgrInitialize>(kezslot::HALScreenMgrInitialize, &record,
                                            static_cast<const HALColorTable*>(nullptr)) != 0)
        return false;
    depth = Attribute(10);
    HALBitmap& b = s.bitmap;
    b.width = static_cast<uint16_t>(Attribute(4));
    b.height = static_cast<uint16_t>(Attribute(5));
    b.rowBytes = static_cast<uint16_t>(Attribute(6));
    b.flags = kBitmapIsScreen | kBitmapIndirect;
    b.pixelSize = static_cast<uint8_t>(depth);
    b.version = 0x83;
    b.headerSize = 36;
    b.pixelFormat = static_cast<uint8_t>(Attribute(28));
    b.density = static_cast<uint16_t>(Attribute(29));
    b.bits = reinterpret_cast<void*>(static_cast<uintptr_t>(Attribute(16)));
    if (!b.bits || b.width < 160 || !b.height) return false;
    s.depth = depth;
    s.scale = static_cast<int16_t>(b.width / 160);
    s.state = HALDrawState{
        {0, 0, static_cast<int16_t>(b.width), static_cast<int16_t>(b.height)}, &s.attributes, &b};
    s.font = MakeFont();
    s.ready = true;
    return true;
}

// The colour as the screen's depth draws it: the matching index of the screen's table, or a grey
// level below 8 bits (the screen's greys run from white at 0 to black).
HALColorEntry Colour(const Screen& s, Rgb rgb) {
    HALColorEntry e{0, rgb.r, rgb.g, rgb.b};
    Kez<kezsig::HALColorRGBToIndex>(kezslot::HALColorRGBToIndex, uint16_t{1}, &e,
                                    static_cast<const HALColorTable*>(nullptr));
    if (s.depth < 8)
        e.index = static_cast<uint8_t>(
            ((255 - (2 * rgb.r + 5 * rgb.g + rgb.b) / 8) * ((1u << s.depth) - 1) + 127) / 255);
    return e;
}

void SetFore(Screen& s, Rgb rgb) {
    HALColorEntry e = Colour(s, rgb);
    s.attributes.foreIndex = e.index;
    s.attributes.foreColor = e;
}
void SetBack(Screen& s, Rgb rgb) {
    HALColorEntry e = Colour(s, rgb);
    s.attributes.backIndex = e.index;
    s.attributes.backColor = e;
}

HALRect ToScreen(const Screen& s, const Rect& r) {
    auto scaled = [&](int32_t v) {
        v *= s.scale;
        return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
    };
    return HALRect{scaled(r.x), scaled(r.y), scaled(r.w), scaled(r.h)};
}

void Rectangle(const Rect& r, Rgb colour, uint16_t radius, uint16_t frame) {
    Screen& s = S();
    std::lock_guard lock(s.mutex);
    if (!Ready(s) || r.w <= 0 || r.h <= 0) return;
    SetFore(s, colour);
    s.attributes.transferMode = 0;
    s.attributes.patternKind = 0;
    HALRect where = ToScreen(s, r);
    Kez<kezsig::HALDrawRectangle>(kezslot::HALDrawRectangle, &s.state, &where,
                                  static_cast<uint16_t>(radius * s.scale),
                                  static_cast<uint16_t>(frame * s.scale));
}

}  // namespace

bool DrawReady() {
    Screen& s = S();
    std::lock_guard lock(s.mutex);
    return Ready(s);
}

int16_t DrawScale() {
    Screen& s = S();
    std::lock_guard lock(s.mutex);
    return Ready(s) ? s.scale : 1;
}

int16_t ScreenToUi(int16_t v) {
    return static_cast<int16_t>(v / DrawScale());
}

void FillRect(const Rect& r, Rgb colour, uint16_t cornerRadius) {
    Rectangle(r, colour, cornerRadius, 0);
}
void FrameRect(const Rect& r, Rgb colour, uint16_t cornerRadius) {
    Rectangle(r, colour, cornerRadius, 1);
}

void DrawLine(int16_t x1, int16_t y1, int16_t x2, int16_t y2, Rgb colour) {
    Screen& s = S();
    std::lock_guard lock(s.mutex);
    if (!Ready(s)) return;
    SetFore(s, colour);
    s.attributes.transferMode = 0;
    s.attributes.patternKind = 0;
    const int16_t k = s.scale;
    Kez<kezsig::HALDrawLine>(kezslot::HALDrawLine, &s.state, static_cast<int16_t>(x1 * k),
                             static_cast<int16_t>(y1 * k), static_cast<int16_t>(x2 * k),
                             static_cast<int16_t>(y2 * k), static_cast<uint16_t>(k));
}

void DrawText(int16_t x, int16_t y, const char* text, size_t length, Rgb fore, Rgb back) {
    Screen& s = S();
    std::lock_guard lock(s.mutex);
    if (!Ready(s) || !text || !length) return;
    HALColorEntry f = Colour(s, fore);
    s.attributes.textIndex = f.index;
    s.attributes.textColor = f;
    SetBack(s, back);
    s.attributes.transferMode = 0;
    s.attributes.textFlags = 0;
    // A run at most as long as the screen is wide; the rest would be clipped anyway.
    const size_t most = s.bitmap.width / kCharWidth + 1;
    Kez<kezsig::HALDrawChars>(kezslot::HALDrawChars, &s.state, static_cast<int16_t>(x * s.scale),
                              static_cast<int16_t>(y * s.scale), reinterpret_cast<const uint8_t*>(text),
                              static_cast<int16_t>(length < most ? length : most),
                              static_cast<const void*>(s.font.data()), static_cast<const void*>(nullptr),
                              static_cast<HALDrawCharsCallback>(nullptr));
}

void DrawBitmap(HALBitmap* bitmap, int16_t x, int16_t y, Rgb fore, Rgb back) {
    Screen& s = S();
    std::lock_guard lock(s.mutex);
    if (!Ready(s) || !bitmap) return;
    SetFore(s, fore);
    SetBack(s, back);
    s.attributes.transferMode = 0;
    const int16_t k = s.scale;
    // The bitmap's own density decides its size on the screen: a 72-dpi bitmap is scaled up.
    const int16_t w = static_cast<int16_t>(bitmap->density > 72 ? bitmap->width : bitmap->width * k);
    const int16_t h = static_cast<int16_t>(bitmap->density > 72 ? bitmap->height : bitmap->height * k);
    HALRect where{static_cast<int16_t>(x * k), static_cast<int16_t>(y * k), w, h};
    Kez<kezsig::HALDrawBitmap>(kezslot::HALDrawBitmap, &s.state, bitmap, &where, where.x, where.y);
}

int16_t TextWidth(const char*, size_t length) {
    return static_cast<int16_t>(length > 5000 ? 30000 : length * kCharWidth);
}

}  // namespace vantor::os::ui
