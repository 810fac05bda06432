// Bit-field routines. Bit offset b lies in byte b / 8, at bit 7 - (b mod 8) of that byte.
#include "sockra/SockraBits.h"

namespace {

// Reads k (1..8) bits at bit offset off, touching only the bytes that hold them.
uint32_t PrvReadChunk(const uint8_t* src, uint32_t off, uint32_t k) {
    const uint8_t* p = src + (off >> 3);
    uint32_t pos = off & 7;
    uint32_t mask = (1u << k) - 1;
    if (pos + k <= 8) return (uint32_t{p[0]} >> (8 - pos - k)) & mask;
    uint32_t w = (uint32_t{p[0]} << 8) | p[1];
    return (w >> (16 - pos - k)) & mask;
}

uint32_t PrvGetBits(const uint8_t* src, uint32_t* off, uint32_t width) {
    uint32_t v = 0;
    while (width > 0) {
        uint32_t k = width < 8 ? width : 8;
        v = (v << k) | PrvReadChunk(src, *off, k);
        *off += k;
        width -= k;
    }
    return v;
}

// Variable-width code: rows of prefix, prefix length and payload width.
struct VRow {
    uint32_t prefix;
    uint32_t prefixBits;
    uint32_t payloadBits;
};
constexpr VRow kRow0{0x0, 1, 0}, kRow3{0x2, 2, 3}, kRow6{0x6, 3, 6}, kRow16{0xE, 4, 16}, kRow32{0xF, 4, 32};

void PrvPutV(uint8_t* dst, uint32_t* off, const VRow& row, uint32_t payload) {
    if (row.payloadBits == 32) {
        SockraBitPutFixed(dst, off, row.prefix, 4);
        SockraBitPutFixed(dst, off, payload, 32);
        return;
    }
    uint32_t mask = (1u << row.payloadBits) - 1;
    SockraBitPutFixed(dst, off, (row.prefix << row.payloadBits) | (payload & mask),
                      static_cast<uint16_t>(row.prefixBits + row.payloadBits));
}

// Reads the prefix bit by bit (so a short code at the end of a buffer reads no further) and
// answers the payload width: 0, 3, 6, 16 or 32.
uint32_t PrvGetVWidth(const uint8_t* src, uint32_t* off) {
    if (PrvGetBits(src, off, 1) == 0) return 0;
    if (PrvGetBits(src, off, 1) == 0) return 3;
    if (PrvGetBits(src, off, 1) == 0) return 6;
    return PrvGetBits(src, off, 1) == 0 ? 16 : 32;
}

}  // namespace

extern "C" void SockraBitMove(uint8_t* dstP, uint32_t* dstBitOffsetP, const uint8_t* srcP,
                              uint32_t* srcBitOffsetP, uint32_t numBits) {
    if (!dstP || !dstBitOffsetP || !srcP || !srcBitOffsetP) return;
    uint32_t d = *dstBitOffsetP, s = *srcBitOffsetP, left = numBits;
    // Destination byte by destination byte: each step fills the rest of one destination byte (or
    // what is left of the count) and keeps the bits around it.
    while (left > 0) {
        uint32_t pos = d & 7;
        uint32_t k = 8 - pos;
        if (k > left) k = left;
        uint32_t bits = PrvReadChunk(srcP, s, k);
        uint32_t shift = 8 - pos - k;
        uint8_t mask = static_cast<uint8_t>(((1u << k) - 1) << shift);
        uint8_t& byte = dstP[d >> 3];
        byte = static_cast<uint8_t>((byte & ~mask) | ((bits << shift) & mask));
        d += k;
        s += k;
        left -= k;
    }
    *dstBitOffsetP += numBits;
    *srcBitOffsetP += numBits;
}

extern "C" void SockraBitPutFixed(uint8_t* dstP, uint32_t* dstBitOffsetP, uint32_t value, uint16_t numBits) {
    // Widths outside 1..32 would read before the value's word: refused, the offset stays.
    if (numBits < 1 || numBits > 32) return;
    uint8_t word[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                       static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    uint32_t srcOff = 32u - numBits;
    SockraBitMove(dstP, dstBitOffsetP, word, &srcOff, numBits);
}

extern "C" uint32_t SockraBitGetFixed(const uint8_t* srcP, uint32_t* srcBitOffsetP, uint16_t numBits) {
    if (!srcP || !srcBitOffsetP || numBits < 1 || numBits > 32) return 0;
    return PrvGetBits(srcP, srcBitOffsetP, numBits);
}

extern "C" void SockraBitPutUIntV(uint8_t* dstP, uint32_t* dstBitOffsetP, uint32_t value) {
    if (!dstP || !dstBitOffsetP) return;
    const VRow& row = value == 0 ? kRow0 : value <= 7 ? kRow3 : value <= 63 ? kRow6 : value <= 65535 ? kRow16 : kRow32;
    if (row.payloadBits == 0) {
        SockraBitPutFixed(dstP, dstBitOffsetP, 0, 1);
        return;
    }
    PrvPutV(dstP, dstBitOffsetP, row, value);
}

extern "C" uint32_t SockraBitGetUIntV(const uint8_t* srcP, uint32_t* srcBitOffsetP) {
    if (!srcP || !srcBitOffsetP) return 0;
    uint32_t width = PrvGetVWidth(srcP, srcBitOffsetP);
    return width == 0 ? 0 : PrvGetBits(srcP, srcBitOffsetP, width);
}

extern "C" void SockraBitPutIntV(uint8_t* dstP, uint32_t* dstBitOffsetP, int32_t value) {
    if (!dstP || !dstBitOffsetP) return;
    if (value == 0) {
        SockraBitPutFixed(dstP, dstBitOffsetP, 0, 1);
        return;
    }
    const VRow& row = (value >= -4 && value <= 3)         ? kRow3
                      : (value >= -32 && value <= 31)     ? kRow6
                      : (value >= -32768 && value <= 32767) ? kRow16
                                                            : kRow32;
    PrvPutV(dstP, dstBitOffsetP, row, static_cast<uint32_t>(value));
}

extern "C" int32_t SockraBitGetIntV(const uint8_t* srcP, uint32_t* srcBitOffsetP) {
    if (!srcP || !srcBitOffsetP) return 0;
    uint32_t width = PrvGetVWidth(srcP, srcBitOffsetP);
    if (width == 0) return 0;
    uint32_t v = PrvGetBits(srcP, srcBitOffsetP, width);
    if (width < 32 && (v & (1u << (width - 1)))) v |= ~((1u << width) - 1);  // sign-extend
    return static_cast<int32_t>(v);
}
