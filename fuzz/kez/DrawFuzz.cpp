// Kez's drawing slots with hostile bitmaps, rectangles, clips, modes and fonts: the first 40 bytes
// describe the call (the operation, both bitmaps, the rectangle, the origin, the clip and the
// attributes), the rest fills the source's bits or compressed stream and a font's location table.
// Each bitmap lies in a buffer of exactly its size, so any access outside it is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/module/KezDraw.h"
#include "kez/src/KezModule.h"

using namespace vantor;

namespace {

struct Input {
    const uint8_t* data;
    size_t size, at = 0;
    uint8_t U8() { return at < size ? data[at++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
    int16_t I16() { return static_cast<int16_t>(U16()); }
};

const uint8_t kDepths[] = {1, 2, 4, 8, 16, 3, 0, 32};
const uint16_t kDensities[] = {72, 108, 144, 72, 0, 100, 144, 72};

HALBitmap Describe(Input& in, std::vector<uint8_t>& memory, bool source) {
    HALBitmap b{};
    b.width = in.U8() % 70;
    b.height = in.U8() % 40;
    uint8_t shape = in.U8();
    b.pixelSize = kDepths[shape & 7];
    b.pixelFormat = (shape >> 3) & 3;
    b.density = kDensities[(shape >> 5) & 7];
    uint8_t flags = in.U8();
    b.rowBytes = static_cast<uint16_t>(((b.width * (b.pixelSize ? b.pixelSize : 1) + 15) / 16) * 2);
    if (flags & 0x80) b.rowBytes = static_cast<uint16_t>(b.rowBytes / 2);  // too short for its width
    b.flags = flags & (kBitmapCompressed | kBitmapTransparentCopy | kBitmapColorTable16);
    b.flags2 = (flags >> 3) & 1;
    b.version = 0x83;
    b.compressionType = in.U8() % 4;
    b.headerSize = (flags & 0x10) ? 38 : 40;
    b.transparentValue = in.U16();
    size_t area = size_t{b.rowBytes} * b.height;
    if (b.flags & kBitmapCompressed) {
        size_t word = b.headerSize == 38 ? 2 : 4;
        size_t stream = source ? in.size - std::min(in.size, in.at) : 0;
        memory.assign(word + std::max(area, stream), 0);
        if (source && stream) std::memcpy(memory.data() + word, in.data + in.at, stream);
        b.compressedSize = static_cast<uint32_t>(word + (source ? stream : in.U8()));
        b.bits = memory.data() + word;
        if (!source) b.headerSize = 40, b.bits = memory.data() + 4;
    } else {
        b.headerSize = 36;
        memory.assign(area, 0x5A);
        for (size_t i = 0; source && i < area && in.at + i < in.size; ++i) memory[i] = in.data[in.at + i];
        b.bits = memory.empty() ? nullptr : memory.data();
    }
    return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool bound = (__SetMyDispatchTable(), true);
    (void)bound;
    if (size < 40) return 0;
    Input in{data, size};
    uint8_t operation = in.U8() % 5;
    HALDrawAttributes a{};
    a.transferMode = in.U8() % 9;
    a.patternKind = in.U8() % 7;
    a.underlineMode = in.U8() % 3;
    for (uint8_t& p : a.customPattern) p = in.U8();
    a.foreIndex = in.U8();
    a.backIndex = in.U8();
    a.textIndex = in.U8();
    a.foreColor = {0, in.U8(), in.U8(), 0};
    a.textFlags = in.U8() & 0x0E;
    HALRect rect{in.I16(), in.I16(), in.I16(), in.I16()};
    int16_t ox = in.I16(), oy = in.I16();
    HALRect clip{static_cast<int16_t>(in.I16() % 100), static_cast<int16_t>(in.I16() % 100), in.I16(), in.I16()};
    std::vector<uint8_t> destMemory, sourceMemory;
    HALBitmap dest = Describe(in, destMemory, false);
    HALDrawState state{clip, &a, &dest};
    switch (operation) {
        case 0: {
            HALBitmap source = Describe(in, sourceMemory, true);
            KEZ_CALL(HALDrawBitmap, &state, &source, &rect, ox, oy);
            break;
        }
        case 1: KEZ_CALL(HALDrawRectangle, &state, &rect, static_cast<uint16_t>(ox & 0x3F), static_cast<uint16_t>(oy & 0xF)); break;
        case 2: KEZ_CALL(HALDrawLine, &state, rect.x, rect.y, rect.width, rect.height, static_cast<uint16_t>(ox & 7)); break;
        case 3: {
            int16_t points[8] = {rect.x, rect.y, rect.width, rect.height, ox, oy, 0, 0};
            KEZ_CALL(HALDrawPixels, &state, 4, points, static_cast<uint16_t>(oy & 15));
            break;
        }
        default: {
            // A font of 8 glyphs whose location table comes from the input.
            uint16_t rowWords = in.U8() % 8 + 1, height = in.U8() % 12 + 1;
            std::vector<uint8_t> font(sizeof(HALFont) + rowWords * 2u * height + 2 * 10);
            HALFont header{};
            header.firstChar = 'a';
            header.lastChar = 'h';
            header.rectHeight = height;
            header.ascent = height;
            header.leading = in.U8() % 4;
            header.rowWords = rowWords;
            std::memcpy(font.data(), &header, sizeof header);
            for (size_t i = sizeof header; i < font.size(); ++i) font[i] = in.U8();
            uint8_t text[16];
            for (uint8_t& c : text) c = static_cast<uint8_t>('a' + in.U8() % 10);
            KEZ_CALL(HALDrawChars, &state, rect.x, rect.y, text, static_cast<int16_t>(in.U8() % 17), font.data(),
                     nullptr, nullptr);
        }
    }
    return 0;
}
