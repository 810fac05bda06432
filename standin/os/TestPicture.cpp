// The stand-in OS main's test picture, drawn the way the OS draws: the screen manager is set up
// over the display, and every part of the picture goes through Kez's drawing slots (rectangles,
// lines, a bitmap copy and a line of text in a small font of our own).
#include <cstring>
#include <vector>

#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
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

// A colour table of up to 256 entries.
struct Table {
    uint16_t count = 0;
    uint16_t reserved = 0;
    HALColorEntry entries[256]{};
    const HALColorTable* Get() const { return reinterpret_cast<const HALColorTable*>(this); }
};

// The palette the screen starts with: greys below depth 8, the 6 x 6 x 6 cube (and black) above.
Table StartPalette(uint32_t depth) {
    Table t;
    t.count = static_cast<uint16_t>(depth < 8 ? 1u << depth : 256);
    for (uint32_t i = 0; i < t.count; ++i) {
        uint8_t r, g, b;
        if (depth < 8) {
            r = g = b = static_cast<uint8_t>(255 - i * 255 / (t.count - 1));
        } else if (i < 215) {
            static const uint8_t kLevels[] = {0xFF, 0xCC, 0x99, 0x66, 0x33, 0x00};
            r = kLevels[(i % 108) / 18];
            g = kLevels[i % 6];
            b = kLevels[3 * (i / 108) + (i % 18) / 6];
        } else {
            r = g = b = 0;
        }
        t.entries[i] = {static_cast<uint8_t>(i), r, g, b};
    }
    return t;
}

// A 5 x 7 font of the letters the picture writes, one u8 row per glyph row (high bit leftmost).
struct Glyph {
    char c;
    uint8_t rows[7];
};
const Glyph kGlyphs[] = {
    {'A', {0x70, 0x88, 0x88, 0xF8, 0x88, 0x88, 0x88}}, {'D', {0xF0, 0x88, 0x88, 0x88, 0x88, 0x88, 0xF0}},
    {'E', {0xF8, 0x80, 0x80, 0xF0, 0x80, 0x80, 0xF8}}, {'K', {0x88, 0x90, 0xA0, 0xC0, 0xA0, 0x90, 0x88}},
    {'R', {0xF0, 0x88, 0x88, 0xF0, 0xA0, 0x90, 0x88}}, {'W', {0x88, 0x88, 0x88, 0xA8, 0xA8, 0xA8, 0x50}},
    {'Z', {0xF8, 0x08, 0x10, 0x20, 0x40, 0x80, 0xF8}},
};

// The font record: header, image (6 pixels a glyph, a box as the missing glyph), location table.
std::vector<uint8_t> MakeFont() {
    const uint16_t first = ' ', last = 'Z', count = last - first + 1;
    const uint16_t rowWords = ((count + 1) * 6 + 15) / 16, height = 7;
    HALFont font{};
    font.firstChar = first;
    font.lastChar = last;
    font.maxWidth = 6;
    font.rectWidth = 6;
    font.rectHeight = height;
    font.ascent = 7;
    font.leading = 1;
    font.rowWords = rowWords;
    std::vector<uint8_t> bytes(sizeof font + rowWords * 2u * height + 2u * (count + 2));
    std::memcpy(bytes.data(), &font, sizeof font);
    uint8_t* image = bytes.data() + sizeof font;
    auto set = [&](uint32_t x, uint32_t y) { image[y * rowWords * 2 + x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8)); };
    std::vector<uint16_t> locations;
    uint16_t at = 0;
    for (uint16_t c = first; c <= last; ++c) {
        locations.push_back(at);
        if (c == ' ') {
            at += 6;
            continue;
        }
        for (const Glyph& g : kGlyphs) {
            if (g.c != c) continue;
            for (uint32_t y = 0; y < height; ++y)
                for (uint32_t x = 0; x < 5; ++x)
                    if (g.rows[y] & (0x80u >> x)) set(at + x, y);
            at += 6;
        }
    }
    locations.push_back(at);  // the missing glyph: a box
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < 5; ++x)
            if (y == 0 || y == height - 1 || x == 0 || x == 4) set(at + x, y);
    locations.push_back(static_cast<uint16_t>(at + 6));
    std::memcpy(image + rowWords * 2u * height, locations.data(), 2 * locations.size());
    return bytes;
}

HALColorEntry Rgb(uint8_t r, uint8_t g, uint8_t b) { return {0, r, g, b}; }

// An OS version-3 bitmap of one 8-bit colour (an index of the system's 8-bit palette).
std::vector<uint8_t> OsBitmap(uint16_t width, uint16_t height, uint16_t density, uint8_t index) {
    std::vector<uint8_t> b(24 + size_t{width} * height, index);
    std::memset(b.data(), 0, 24);
    std::memcpy(&b[0], &width, 2);
    std::memcpy(&b[2], &height, 2);
    std::memcpy(&b[4], &width, 2);  // row bytes
    b[8] = 8;
    b[9] = 3;
    b[10] = 24;
    std::memcpy(&b[14], &density, 2);
    return b;
}

// Below a screen taller than wide: the input area in light grey (palette index 25) with two blue
// (index 95) status-bar buttons, placed by the system's layout in 72-dpi coordinates.
void DrawInputArea() {
    uint32_t width = Attribute(4), height = Attribute(5), density = Attribute(29);
    if (height <= width || density == 0) return;
    static std::vector<uint8_t> area, button;
    area = OsBitmap(static_cast<uint16_t>(width), static_cast<uint16_t>(height - width),
                    static_cast<uint16_t>(density), 25);
    uint16_t side = static_cast<uint16_t>(16 * density / 72);
    button = OsBitmap(side, side, static_cast<uint16_t>(density), 95);
    if (Kez<kezsig::HALDisplaySetAttributes>(kezslot::HALDisplaySetAttributes, uint16_t{33},
                                             static_cast<uint32_t>(reinterpret_cast<uintptr_t>(area.data()))) != 0)
        return;  // the configuration shows no input area
    for (uint16_t id : {1, 2})
        Kez<kezsig::HALStatusBarAddButton>(kezslot::HALStatusBarAddButton, id, static_cast<void*>(button.data()),
                                           static_cast<void*>(nullptr));
    auto top = static_cast<int16_t>(width * 72 / density + 4);
    SetStatusBarLayout({{4, top, 16, 16, 1}, {24, top, 16, 16, 2}});
    Kez<kezsig::HALStatusBarLayout>(kezslot::HALStatusBarLayout);
    Kez<kezsig::HALRedrawInputArea>(kezslot::HALRedrawInputArea, static_cast<const HALRect*>(nullptr), uint8_t{0});
}

}  // namespace

// The picture: a white screen, a blue rounded panel with a red frame, a green diagonal and a
// black cross, a 16 x 16 checker bitmap and the text "KEZ DRAW"; below a taller screen the input
// area with its status bar.
void DrawTestPicture() {
    Kez<kezsig::HALScreenInit>(kezslot::HALScreenInit, uint16_t{0}, uint16_t{0}, nullptr);
    uint32_t depth = Attribute(10);
    Table palette = StartPalette(depth);
    void* record = nullptr;
    if (Kez<kezsig::HALScreenMgrInitialize>(kezslot::HALScreenMgrInitialize, &record, palette.Get()) != 0) return;
    HALBitmap screen{};
    screen.width = static_cast<uint16_t>(Attribute(4));
    screen.height = static_cast<uint16_t>(Attribute(5));
    screen.rowBytes = static_cast<uint16_t>(Attribute(6));
    screen.flags = kBitmapIsScreen | kBitmapIndirect;
    screen.pixelSize = static_cast<uint8_t>(depth);
    screen.version = 0x83;
    screen.headerSize = 36;
    screen.pixelFormat = static_cast<uint8_t>(Attribute(28));
    screen.density = static_cast<uint16_t>(Attribute(29));
    screen.bits = reinterpret_cast<void*>(static_cast<uintptr_t>(Attribute(16)));
    if (!screen.bits || !screen.width || !screen.height) return;

    HALDrawAttributes attributes{};
    HALDrawState state{{0, 0, static_cast<int16_t>(screen.width), static_cast<int16_t>(screen.height)}, &attributes,
                       &screen};
    auto colour = [&](HALColorEntry rgb) {
        HALColorEntry e = rgb;
        Kez<kezsig::HALColorRGBToIndex>(kezslot::HALColorRGBToIndex, uint16_t{1}, &e,
                                        static_cast<const HALColorTable*>(nullptr));
        if (depth < 8) e.index = static_cast<uint8_t>(((255 - (2 * rgb.red + 5 * rgb.green + rgb.blue) / 8) *
                                                       ((1u << depth) - 1) + 127) / 255);
        attributes.foreIndex = e.index;
        attributes.foreColor = rgb;
    };
    auto rectangle = [&](int16_t x, int16_t y, int16_t w, int16_t h, uint16_t radius, uint16_t frame) {
        HALRect r{x, y, w, h};
        Kez<kezsig::HALDrawRectangle>(kezslot::HALDrawRectangle, &state, &r, radius, frame);
    };
    auto scale = [&](int32_t v) { return static_cast<int16_t>(v * screen.width / 160); };

    colour(Rgb(255, 255, 255));
    rectangle(0, 0, static_cast<int16_t>(screen.width), static_cast<int16_t>(screen.height), 0, 0);
    colour(Rgb(0, 0, 255));
    rectangle(scale(10), scale(10), scale(140), scale(50), static_cast<uint16_t>(scale(8)), 0);
    colour(Rgb(255, 0, 0));
    rectangle(scale(10), scale(70), scale(140), scale(40), static_cast<uint16_t>(scale(6)), static_cast<uint16_t>(scale(3)));
    colour(Rgb(0, 153, 0));
    Kez<kezsig::HALDrawLine>(kezslot::HALDrawLine, &state, scale(10), scale(120), scale(150), scale(150),
                             static_cast<uint16_t>(scale(2)));
    colour(Rgb(0, 0, 0));
    Kez<kezsig::HALDrawLine>(kezslot::HALDrawLine, &state, scale(120), scale(115), scale(150), scale(115), uint16_t{1});
    Kez<kezsig::HALDrawLine>(kezslot::HALDrawLine, &state, scale(135), scale(100), scale(135), scale(130), uint16_t{1});

    // A 1-bit checker, drawn black on white.
    static uint8_t checker[16 * 2];
    for (int y = 0; y < 16; ++y) checker[y * 2] = checker[y * 2 + 1] = (y / 4) % 2 ? 0x0F : 0xF0;
    HALBitmap bitmap{};
    bitmap.width = bitmap.height = 16;
    bitmap.rowBytes = 2;
    bitmap.pixelSize = 1;
    bitmap.version = 0x83;
    bitmap.headerSize = 36;
    bitmap.density = screen.density;
    bitmap.bits = checker;
    attributes.backIndex = 0;
    attributes.backColor = Rgb(255, 255, 255);
    HALRect where{scale(20), scale(125), 16, 16};
    Kez<kezsig::HALDrawBitmap>(kezslot::HALDrawBitmap, &state, &bitmap, &where, where.x, where.y);

    static const std::vector<uint8_t> font = MakeFont();
    attributes.textIndex = attributes.foreIndex;
    attributes.textColor = attributes.foreColor;
    colour(Rgb(255, 255, 255));
    attributes.backIndex = attributes.foreIndex;
    attributes.backColor = attributes.foreColor;
    static const char kText[] = "KEZ DRAW";
    Kez<kezsig::HALDrawChars>(kezslot::HALDrawChars, &state, scale(20), scale(30),
                              reinterpret_cast<const uint8_t*>(kText), static_cast<int16_t>(sizeof kText - 1),
                              static_cast<const void*>(font.data()), static_cast<const void*>(nullptr),
                              static_cast<HALDrawCharsCallback>(nullptr));
    DrawInputArea();
}

}  // namespace vantor::os
