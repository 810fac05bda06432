#include "morvel/launch/LaunchParams.h"

#include <cstring>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/SystemCalls.h"
#include "morvel/glue/MorvelCommon.h"

namespace morvel {
namespace {

using vantor::FourCC;

uint32_t Addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// How a code's block is converted.
enum class Kind {
    None,      // the other side sees the same block
    Layout,    // a RecordLayoutDescriptor, alike in both directions
    Code52,    // 68K: u16 0, u32 at 2; native: u32 at 0
    Code2,     // the 20-byte record of code 2
    Code15,    // 36 bytes with a text at 8
    Copy8001,  // 198 bytes as they stand, the u16 at 16 swapped
    Copy8002,  // 88 bytes as they stand, the u32 at 80 and 84 swapped
    Unsupported,
};

struct Conversion {
    Kind kind;
    const uint8_t* layout = nullptr;
};

constexpr uint8_t kL5[] = {0x21, 0};
constexpr uint8_t kL6[] = {0x24, 0x21, 0};
constexpr uint8_t kL10[] = {0x11, 0};
constexpr uint8_t kL11[] = {0x34, 0x12, 0};
constexpr uint8_t kL13[] = {0x14, 0x12, 0x14, 0x21, 0x14, 0};
constexpr uint8_t kL18[] = {0x22, 0x34, 0x21, 0x12, 0x24, 0};
constexpr uint8_t kL22[] = {0x22, 0x24, 0};
constexpr uint8_t kL23[] = {0x12, 0x24, 0xE1, 0xE1, 0x41, 0};
constexpr uint8_t kL24[] = {0x24, 0x12, 0};
constexpr uint8_t kL30[] = {0x14, 0x21, 0x22, 0x14, 0};
constexpr uint8_t kL40[] = {0x12, 0x34, 0x12, 0};
constexpr uint8_t kL51[] = {0x44, 0x21, 0};
constexpr uint8_t kL58[] = {0x22, 0x14, 0x12, 0};
constexpr uint8_t kL61[] = {0x42, 0};
constexpr uint8_t kLU32U16[] = {0x14, 0x12, 0};
constexpr uint8_t kLU32[] = {0x14, 0};
constexpr uint8_t kLU16[] = {0x12, 0};
constexpr uint8_t kL19[] = {0x61, 0x74, 0};

Conversion ForCode(uint16_t code, uint32_t targetDbID) {
    switch (code) {
        case 5: return {Kind::Layout, kL5};
        case 6:
        case 7: return {Kind::Layout, kL6};
        case 10: return {Kind::Layout, kL10};
        case 11: return {Kind::Layout, kL11};
        case 13: return {Kind::Layout, kL13};
        case 18: return {Kind::Layout, kL18};
        case 22: return {Kind::Layout, kL22};
        case 23: return {Kind::Layout, kL23};
        case 24: return {Kind::Layout, kL24};
        case 30:
        case 31: return {Kind::Layout, kL30};
        case 40: return {Kind::Layout, kL40};
        case 51: return {Kind::Layout, kL51};
        case 58: return {Kind::Layout, kL58};
        case 61: return {Kind::Layout, kL61};
        case 87:
        case 88: return {Kind::Layout, kLU32U16};
        case 20:
        case 21: return {Kind::Layout, kLU32};
        case 55: return {Kind::Layout, kLU16};
        case 52: return {Kind::Code52};
        case 2: return {Kind::Code2};
        case 15: return {Kind::Code15};
        // The find record, exchange sockets and attention parameters have converters of their own
        // that this environment does not carry: such blocks are not passed on.
        case 1:
        case 26:
        case 27:
        case 57:
        case 59:
        case 60: return {Kind::Unsupported};
        default: break;
    }
    if (code != 19 && code < 0x8000) return {Kind::None};
    uint32_t type = 0, creator = 0;
    if (vantor::sys::DmDatabaseInfoByID(targetDbID, nullptr, nullptr, nullptr, nullptr, &type, &creator) != 0)
        return {Kind::None};
    bool appl = type == FourCC("appl");
    switch (code) {
        case 19:
            if (appl && (creator == FourCC("mail") || creator == FourCC("msgs"))) return {Kind::Layout, kL19};
            break;
        case 0x8000:
            if (appl && creator == FourCC("date")) return {Kind::Layout, kLU32};
            if (appl && creator == FourCC("lnch")) return {Kind::Layout, kLU16};
            if ((appl && creator == FourCC("dict")) || (type == FourCC("panl") && creator == FourCC("udic")))
                return {Kind::Layout, kLU32U16};
            break;
        case 0x8001:
            if (appl && creator == FourCC("pref")) return {Kind::Layout, kLU32};
            if (type == FourCC("scpt")) return {Kind::Copy8001};
            break;
        case 0x8002:
            if (type == FourCC("scpt")) return {Kind::Copy8002};
            break;
        default: break;
    }
    return {Kind::None};
}

uint16_t Swap16(uint16_t v) { return static_cast<uint16_t>(v >> 8 | v << 8); }
uint32_t Swap32(uint32_t v) { return __builtin_bswap32(v); }
void Swap16At(uint8_t* block, uint32_t offset) {
    uint16_t v;
    std::memcpy(&v, block + offset, 2);
    v = Swap16(v);
    std::memcpy(block + offset, &v, 2);
}
void Swap32At(uint8_t* block, uint32_t offset) {
    uint32_t v;
    std::memcpy(&v, block + offset, 4);
    v = Swap32(v);
    std::memcpy(block + offset, &v, 4);
}

// Moves a u16 or u32 from one offset to another, swapping its bytes.
void Move16(const uint8_t* from, uint32_t f, uint8_t* to, uint32_t t) {
    uint16_t v;
    std::memcpy(&v, from + f, 2);
    v = Swap16(v);
    std::memcpy(to + t, &v, 2);
}
void Move32(const uint8_t* from, uint32_t f, uint8_t* to, uint32_t t) {
    uint32_t v;
    std::memcpy(&v, from + f, 4);
    v = Swap32(v);
    std::memcpy(to + t, &v, 4);
}

void* Convert(const void* source, void* destination, uint16_t code, uint32_t targetDbID, bool to68K) {
    Conversion c = ForCode(code, targetDbID);
    if (c.kind == Kind::Unsupported) return nullptr;
    if (c.kind == Kind::None || !source) return const_cast<void*>(source);
    if (!destination) {
        destination = vantor::sys::MemPtrNew(kLaunchBlockSize);
        if (!destination) return nullptr;
        std::memset(destination, 0, kLaunchBlockSize);
    }
    const auto* in = static_cast<const uint8_t*>(source);
    auto* out = static_cast<uint8_t*>(destination);
    switch (c.kind) {
        case Kind::Layout:
            if (to68K) RecordTo68K(in, Addr(out), c.layout);
            else RecordToNative(out, Addr(in), c.layout);
            break;
        case Kind::Code52:
            if (to68K) {
                std::memset(out, 0, 2);
                Move32(in, 0, out, 2);
            } else {
                Move32(in, 2, out, 0);
            }
            break;
        case Kind::Code2: {
            // 68K: u16 0, u32 4, u16 8, 10, 12, u32 14 (u16 at 2 and 18 written 0 toward 68K);
            // native: the same up to 12, then u32 at 16.
            Move16(in, 0, out, 0);
            Move32(in, 4, out, 4);
            for (uint32_t o : {8u, 10u, 12u}) Move16(in, o, out, o);
            if (to68K) {
                Move32(in, 16, out, 14);
                std::memset(out + 2, 0, 2);
                std::memset(out + 18, 0, 2);
            } else {
                Move32(in, 14, out, 16);
            }
            break;
        }
        case Kind::Code15:
            Move32(in, 0, out, 0);
            Move32(in, 4, out, 4);
            std::memset(out + 8, 0, 12);
            // At most 12 bytes with the terminator, even when the source's text has none.
            std::memcpy(out + 8, in + 8, strnlen(reinterpret_cast<const char*>(in + 8), 11));
            std::memcpy(out + 20, in + 20, 4);
            for (uint32_t o : {24u, 28u, 32u}) Move32(in, o, out, o);
            break;
        case Kind::Copy8001:
            std::memcpy(out, in, 198);
            Swap16At(out, 16);
            break;
        case Kind::Copy8002:
            std::memcpy(out, in, 88);
            Swap32At(out, 80);
            Swap32At(out, 84);
            break;
        default: break;
    }
    return destination;
}

}  // namespace

void* LaunchParamsTo68K(const void* source, void* destination, uint16_t code, uint32_t targetDbID) {
    return Convert(source, destination, code, targetDbID, true);
}

void* LaunchParamsToNative(const void* source, void* destination, uint16_t code, uint32_t targetDbID) {
    return Convert(source, destination, code, targetDbID, false);
}

void LaunchParamsFree(void* block, const void* source, uint16_t) {
    if (block && block != source) vantor::sys::MemChunkFree(block);
}

}  // namespace morvel
