#include "common/SerialLinkPacket.h"

#include <array>
#include <cstring>

#include "common/BigEndian.h"

namespace vantor {

namespace {

constexpr std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        t[i] = static_cast<uint16_t>(crc);
    }
    return t;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x1021 && kCrcTable[255] == 0x1EF0);

}  // namespace

uint16_t Crc16CalcBlock(const void* data, size_t count, uint16_t crc) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < count; ++i)
        crc = static_cast<uint16_t>(((crc & 0xFF) << 8) ^ kCrcTable[((crc >> 8) ^ p[i]) & 0xFF]);
    return crc;
}

uint8_t PrvSlkHeaderChecksum(const uint8_t* wireHeader) {
    unsigned sum = 0;
    for (int i = 0; i < 9; ++i) sum += wireHeader[i];
    return static_cast<uint8_t>(sum);
}

void SlkHeaderToWire(const SlkPktHeaderType& h, uint8_t* wire) {
    WriteBE16(wire, h.signature1);
    wire[2] = h.signature2;
    wire[3] = h.dest;
    wire[4] = h.src;
    wire[5] = h.type;
    WriteBE16(wire + 6, h.bodySize);
    wire[8] = h.transId;
    wire[9] = h.checksum;
}

SlkPktHeaderType SlkHeaderFromWire(const uint8_t* wire) {
    SlkPktHeaderType h;
    h.signature1 = ReadBE16(wire);
    h.signature2 = wire[2];
    h.dest = wire[3];
    h.src = wire[4];
    h.type = wire[5];
    h.bodySize = ReadBE16(wire + 6);
    h.transId = wire[8];
    h.checksum = wire[9];
    return h;
}

size_t SlkEncodePacket(SlkPktHeaderType& header, const void* body, size_t bodySize, uint8_t* out,
                       size_t capacity) {
    const size_t total = slkPktHeaderSize + bodySize + slkPktFooterSize;
    if (bodySize > 0xFFFF || capacity < total) return 0;
    header.signature1 = slkPktSignature12;
    header.signature2 = slkPktSignature3;
    header.bodySize = static_cast<uint16_t>(bodySize);
    SlkHeaderToWire(header, out);
    header.checksum = out[9] = PrvSlkHeaderChecksum(out);
    if (bodySize) std::memcpy(out + slkPktHeaderSize, body, bodySize);
    WriteBE16(out + slkPktHeaderSize + bodySize, Crc16CalcBlock(out, slkPktHeaderSize + bodySize, 0));
    return total;
}

}  // namespace vantor
