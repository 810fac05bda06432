#include "morvel/glue/ExgSocket.h"

#include <cstring>

#include "common/BigEndian.h"

namespace morvel {
namespace {

// Where the fields sit: (68K offset, native offset, width). The flags word is done apart.
struct Field {
    uint8_t at68K, atNative, width;
};
constexpr Field kFields[] = {
    {0, 0, 2},   {2, 4, 4},   {6, 8, 4},   {10, 12, 4}, {14, 16, 4}, {18, 20, 4}, {22, 24, 4},
    {26, 28, 4}, {32, 32, 4}, {36, 36, 2}, {38, 40, 4}, {42, 44, 4}, {48, 52, 4}, {52, 56, 4},
    {56, 60, 4},
};
constexpr uint32_t k68KFlags = 46, kNativeFlags = 48;

}  // namespace

void ExgSocketToNative(const uint8_t* s, uint8_t* native) {
    std::memset(native, 0, kExgSocketNativeSize);
    for (const Field& f : kFields) {
        if (f.width == 2) {
            const uint16_t v = vantor::ReadBE16(s + f.at68K);
            std::memcpy(native + f.atNative, &v, 2);
        } else {
            const uint32_t v = vantor::ReadBE32(s + f.at68K);
            std::memcpy(native + f.atNative, &v, 4);
        }
    }
    // 68K flag bits 15-10 are native bits 0-5.
    const uint16_t bits = vantor::ReadBE16(s + k68KFlags);
    uint32_t flags = 0;
    for (int b = 0; b < 6; ++b)
        if (bits & (0x8000u >> b)) flags |= 1u << b;
    std::memcpy(native + kNativeFlags, &flags, 4);
}

void ExgSocketTo68K(const uint8_t* native, uint8_t* s) {
    std::memset(s, 0, kExgSocket68KSize);
    for (const Field& f : kFields) {
        if (f.width == 2) {
            uint16_t v;
            std::memcpy(&v, native + f.atNative, 2);
            vantor::WriteBE16(s + f.at68K, v);
        } else {
            uint32_t v;
            std::memcpy(&v, native + f.atNative, 4);
            vantor::WriteBE32(s + f.at68K, v);
        }
    }
    uint32_t flags;
    std::memcpy(&flags, native + kNativeFlags, 4);
    uint16_t bits = 0;
    for (int b = 0; b < 6; ++b)
        if (flags & (1u << b)) bits = static_cast<uint16_t>(bits | 0x8000u >> b);
    vantor::WriteBE16(s + k68KFlags, bits);
}

}  // namespace morvel
