// Packed pixel rows of the OS's bitmaps and of Kez's frame buffer: pixel x of a row at 1, 2, 4, 8
// or 16 bits. Below 8 bits pixel format 3 holds the leftmost pixel of a byte in its low bits and
// every other format in its high bits; at 16 bits the value is the u16 as it stands in memory.
#pragma once

#include <cstdint>
#include <cstring>

namespace vantor {

constexpr uint8_t kPixelFormatReversed = 3;

inline uint32_t PixelShift(uint32_t x, uint32_t depth, uint8_t format) {
    uint32_t perByte = 8 / depth, slot = x % perByte;
    return format == kPixelFormatReversed ? slot * depth : 8 - depth - slot * depth;
}

inline uint32_t PixelGet(const uint8_t* row, uint32_t x, uint32_t depth, uint8_t format) {
    switch (depth) {
        case 16: {
            uint16_t v;
            std::memcpy(&v, row + x * 2, 2);
            return v;
        }
        case 8: return row[x];
        default:
            return (row[x * depth / 8] >> PixelShift(x, depth, format)) & ((1u << depth) - 1);
    }
}

inline void PixelPut(uint8_t* row, uint32_t x, uint32_t depth, uint8_t format, uint32_t value) {
    switch (depth) {
        case 16: {
            auto v = static_cast<uint16_t>(value);
            std::memcpy(row + x * 2, &v, 2);
            return;
        }
        case 8: row[x] = static_cast<uint8_t>(value); return;
        default: {
            uint32_t shift = PixelShift(x, depth, format), mask = ((1u << depth) - 1) << shift;
            uint8_t& byte = row[x * depth / 8];
            byte = static_cast<uint8_t>((byte & ~mask) | ((value << shift) & mask));
        }
    }
}

}  // namespace vantor
