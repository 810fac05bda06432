#include "morvel/launch/LaunchParams.h"

#include <cstring>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/SystemCalls.h"
#include "morvel/glue/ExgSocket.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {

using trapglue::Addr;
using trapglue::Mem;
namespace {

using vantor::FourCC;


// How a code's block is converted.
enum class Kind {
    None,      // the other side sees the same block
    Layout,    // a RecordLayoutDescriptor, alike in both directions
    Code52,    // 68K: u16 0, u32 at 2; native: u32 at 0
    Code2,     // the 20-byte record of code 2
    Code15,    // 36 bytes with a text at 8
    Copy8001,  // 198 bytes as they stand, the u16 at 16 swapped
    Copy8002,  // 88 bytes as they stand, the u32 at 80 and 84 swapped
    Find,      // the 308-byte find-parameter record (code 1)
    Socket,    // the block is an exchange socket record (codes 26 and 59)
    Code27,    // a socket pointer, four bytes, a zero byte
    Code57,    // a layout with a socket pointer in it
    Code60,    // an attention command with its parameter record
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
constexpr uint8_t kL57[] = {0x12, 0x14, 0x12, 0x24, 0x42, 0x22, 0};

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
        case 1: return {Kind::Find};
        case 26:
        case 59: return {Kind::Socket};
        case 27: return {Kind::Code27};
        case 57: return {Kind::Code57, kL57};
        case 60: return {Kind::Code60};
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

// ---- records that some blocks point to ----

constexpr uint32_t kAttentionParamsSize = 20;
// Room behind a new block for the record it points to: the record is allocated with the block, so
// freeing the block frees it too, whatever the application wrote over the pointer meanwhile.
constexpr uint32_t kInnerRecordSize = kExgSocketNativeSize;
static_assert(kAttentionParamsSize <= kInnerRecordSize && kExgSocket68KSize <= kInnerRecordSize);

void SocketConvert(const uint8_t* in, uint8_t* out, bool to68K) {
    if (to68K) ExgSocketTo68K(in, out);
    else ExgSocketToNative(in, out);
}

// The find-parameter record, 308 bytes on both sides. Fields as (68K offset, native offset); the
// bytes at 39 and 59/57 are cleared both ways, the 68K u16 at 50 and 56 written 0 toward 68K.
void FindConvert(const uint8_t* in, uint8_t* out, bool to68K) {
    auto move16 = [&](uint32_t o68, uint32_t oNative) {
        if (to68K) vantor::MoveSwapped16(out + o68, in + oNative);
        else vantor::MoveSwapped16(out + oNative, in + o68);
    };
    auto move32 = [&](uint32_t o68, uint32_t oNative) {
        if (to68K) vantor::MoveSwapped32(out + o68, in + oNative);
        else vantor::MoveSwapped32(out + oNative, in + o68);
    };
    auto bytes = [&](uint32_t o68, uint32_t oNative, uint32_t n) {
        if (to68K) std::memcpy(out + o68, in + oNative, n);
        else std::memcpy(out + oNative, in + o68, n);
    };
    move16(0, 0);
    move16(2, 2);
    bytes(4, 4, 1 + 17 + 17);
    out[39] = 0;
    move16(40, 40);
    move16(42, 42);
    bytes(44, 44, 2);
    move32(46, 48);
    move32(52, 52);
    bytes(58, 56, 1);
    if (to68K) {
        std::memset(out + 50, 0, 2);
        std::memset(out + 56, 0, 2);
        out[59] = 0;
    } else {
        out[57] = 0;
    }
    bytes(60, 60, 32 + 216);
}

// The attention callback parameters of a command (nothing for commands without any).
const uint8_t* AttentionLayout(uint16_t command) {
    static constexpr uint8_t k1[] = {0x42, 0x11, 0x14, 0};
    static constexpr uint8_t k2[] = {0x42, 0x11, 0x14, 0x11, 0};
    static constexpr uint8_t k6[] = {0x11, 0};
    static constexpr uint8_t k8[] = {0x14, 0};
    switch (command) {
        case 1: return k1;
        case 2: return k2;
        case 6: return k6;
        case 8: return k8;
        default: return nullptr;
    }
}

uint32_t ReadPointer(const uint8_t* block, uint32_t offset, bool bigEndian) {
    if (bigEndian) return vantor::ReadBE32(block + offset);
    uint32_t v;
    std::memcpy(&v, block + offset, 4);
    return v;
}
void WritePointer(uint8_t* block, uint32_t offset, bool bigEndian, uint32_t v) {
    if (bigEndian) vantor::WriteBE32(block + offset, v);
    else std::memcpy(block + offset, &v, 4);
}

// Points the destination's pointer field at its own record and converts the source's record into
// it. A new block takes the record behind its 308 bytes; a block that was handed in keeps the
// record it points to. With a null source pointer there is nothing to convert: a new block
// points nowhere.
template <typename ConvertRecord>
void ConvertPointedRecord(const uint8_t* in, uint32_t inOffset, uint8_t* out, uint32_t outOffset, bool to68K,
                          bool newBlock, ConvertRecord convert) {
    const uint32_t from = ReadPointer(in, inOffset, !to68K);
    uint32_t own = newBlock ? (from ? Addr(out + kLaunchBlockSize) : 0) : ReadPointer(out, outOffset, to68K);
    if (newBlock) WritePointer(out, outOffset, to68K, own);
    if (from && own) convert(Mem(from), Mem(own));
}

void* Convert(const void* source, void* destination, uint16_t code, uint32_t targetDbID, bool to68K) {
    Conversion c = ForCode(code, targetDbID);
    if (c.kind == Kind::None || !source) return const_cast<void*>(source);
    const bool newBlock = !destination;
    if (newBlock) {
        destination = vantor::sys::MemPtrNew(kLaunchBlockSize + kInnerRecordSize);
        if (!destination) return nullptr;
        std::memset(destination, 0, kLaunchBlockSize + kInnerRecordSize);
    }
    const auto* in = static_cast<const uint8_t*>(source);
    auto* out = static_cast<uint8_t*>(destination);
    auto socket = [to68K](const uint8_t* from, uint8_t* to) { SocketConvert(from, to, to68K); };
    switch (c.kind) {
        case Kind::Layout:
            if (to68K) RecordTo68K(in, Addr(out), c.layout);
            else RecordToNative(out, Addr(in), c.layout);
            break;
        case Kind::Code52:
            if (to68K) {
                std::memset(out, 0, 2);
                vantor::MoveSwapped32(out + 2, in);
            } else {
                vantor::MoveSwapped32(out, in + 2);
            }
            break;
        case Kind::Code2: {
            // 68K: u16 0, u32 4, u16 8, 10, 12, u32 14 (u16 at 2 and 18 written 0 toward 68K);
            // native: the same up to 12, then u32 at 16.
            vantor::MoveSwapped16(out, in);
            vantor::MoveSwapped32(out + 4, in + 4);
            for (uint32_t o : {8u, 10u, 12u}) vantor::MoveSwapped16(out + o, in + o);
            if (to68K) {
                vantor::MoveSwapped32(out + 14, in + 16);
                std::memset(out + 2, 0, 2);
                std::memset(out + 18, 0, 2);
            } else {
                vantor::MoveSwapped32(out + 16, in + 14);
            }
            break;
        }
        case Kind::Code15:
            vantor::MoveSwapped32(out, in);
            vantor::MoveSwapped32(out + 4, in + 4);
            std::memset(out + 8, 0, 12);
            // At most 12 bytes with the terminator, even when the source's text has none.
            std::memcpy(out + 8, in + 8, strnlen(reinterpret_cast<const char*>(in + 8), 11));
            std::memcpy(out + 20, in + 20, 4);
            for (uint32_t o : {24u, 28u, 32u}) vantor::MoveSwapped32(out + o, in + o);
            break;
        case Kind::Copy8001:
            std::memcpy(out, in, 198);
            vantor::SwapInPlace16(out + 16);
            break;
        case Kind::Copy8002:
            std::memcpy(out, in, 88);
            vantor::SwapInPlace32(out + 80);
            vantor::SwapInPlace32(out + 84);
            break;
        case Kind::Find: FindConvert(in, out, to68K); break;
        case Kind::Socket: SocketConvert(in, out, to68K); break;
        case Kind::Code27:
            ConvertPointedRecord(in, 0, out, 0, to68K, newBlock, socket);
            std::memcpy(out + 4, in + 4, 4);
            out[8] = 0;
            break;
        case Kind::Code57: {
            // The layout moves the fields; the socket pointer is each side's own.
            const uint32_t in68 = to68K ? 4 : 2, out68 = to68K ? 2 : 4;
            const uint32_t kept = ReadPointer(out, out68, to68K);
            if (to68K) RecordTo68K(in, Addr(out), c.layout);
            else RecordToNative(out, Addr(in), c.layout);
            WritePointer(out, out68, to68K, kept);
            ConvertPointedRecord(in, in68, out, out68, to68K, newBlock, socket);
            break;
        }
        case Kind::Code60: {
            // 68K: u16 command, u32 at 2, parameters pointer at 6; native: u16, u32 at 4, pointer at 8.
            uint16_t command = vantor::ReadBE16(in);
            if (to68K) std::memcpy(&command, in, 2);
            vantor::MoveSwapped16(out, in);
            if (to68K) vantor::MoveSwapped32(out + 2, in + 4);
            else vantor::MoveSwapped32(out + 4, in + 2);
            const uint8_t* layout = AttentionLayout(command);
            ConvertPointedRecord(in, to68K ? 8 : 6, out, to68K ? 6 : 8, to68K, newBlock,
                                 [&](const uint8_t* from, uint8_t* to) {
                                     if (!layout) return;
                                     if (to68K) RecordTo68K(from, Addr(to), layout);
                                     else RecordToNative(to, Addr(from), layout);
                                 });
            break;
        }
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
