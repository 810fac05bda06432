// Serial link packets: the framing that the debugger and a device's debugger nub exchange.
//
// On the wire a packet is a 10-byte header (0xBE 0xEF 0xED, destination socket, source socket,
// type, 16-bit big-endian body size, transaction id, 8-bit sum of the first 9 bytes), the body,
// and a 16-bit big-endian CRC over header and body. In memory the header is kept in host order
// (SlkPktHeaderType) and turned into wire bytes only to be summed, sent or checked.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/Status.h"

namespace vantor {

// Statuses of the serial transports (class 0x03) and of the link manager (class 0x04).
constexpr Status serErrInvalidParam = 0x0301;
constexpr Status serErrOpenFailed = 0x0302;
constexpr Status serErrNoMemory = 0x0303;
constexpr Status serErrBadRefNum = 0x0304;
constexpr Status serErrTimeout = 0x0305;
constexpr Status serErrLine = 0x0306;
constexpr Status serErrInUse = 0x0307;
constexpr Status serErrTcp = 0x030A;

constexpr Status slkErrCRC = 0x0401;
constexpr Status slkErrFormat = 0x0402;
constexpr Status slkErrBufferSmall = 0x0403;
constexpr Status slkErrTimeout = 0x0404;
constexpr Status slkErrBodyLimit = 0x0406;
constexpr Status slkErrTransId = 0x0407;
constexpr Status slkErrResponse = 0x0408;
constexpr Status slkErrBadSocket = 0x040B;
constexpr Status slkErrInUse = 0x040C;
constexpr Status slkErrNoSocket = 0x040D;
constexpr Status slkErrNotOpen = 0x040E;
constexpr Status slkErrOtherSocket = 0x040F;
constexpr Status slkErrPacketType = 0x0410;
constexpr Status slkErrBusy = 0x0411;

// Sockets: the three static sockets of the debugger; dynamic ones are taken from 4 and 5.
constexpr uint8_t slkSocketDebugger = 0;
constexpr uint8_t slkSocketConsole = 1;
constexpr uint8_t slkSocketRemoteUI = 2;
constexpr uint8_t slkSocketCount = 6;

constexpr uint8_t slkPktSignature1 = 0xBE;
constexpr uint8_t slkPktSignature2 = 0xEF;
constexpr uint8_t slkPktSignature3 = 0xED;
constexpr uint16_t slkPktSignature12 = 0xBEEF;
constexpr size_t slkPktHeaderSize = 10;
constexpr size_t slkPktFooterSize = 2;
// No exchange of the debugger carries a larger body.
constexpr uint16_t slkMaxBodySize = 272;

// The packet header in host order. Fields lie at their wire offsets.
struct SlkPktHeaderType {
    uint16_t signature1;  // 0xBEEF: the first two signature bytes
    uint8_t signature2;   // 0xED
    uint8_t dest;         // destination socket
    uint8_t src;          // source socket
    uint8_t type;         // always 0
    uint16_t bodySize;
    uint8_t transId;
    uint8_t checksum;  // 8-bit sum of wire bytes 0-8
};
static_assert(sizeof(SlkPktHeaderType) == slkPktHeaderSize);
static_assert(offsetof(SlkPktHeaderType, dest) == 3 && offsetof(SlkPktHeaderType, bodySize) == 6 &&
              offsetof(SlkPktHeaderType, transId) == 8 && offsetof(SlkPktHeaderType, checksum) == 9);

// The CRC trailer, in host order.
struct SlkPktFooterType {
    uint16_t crc;
};
static_assert(sizeof(SlkPktFooterType) == slkPktFooterSize);

// CRC-16 (polynomial 0x1021, not reflected, no final XOR) of a block, continuing from crc.
uint16_t Crc16CalcBlock(const void* data, size_t count, uint16_t crc);

// 8-bit sum of wire header bytes 0-8.
uint8_t PrvSlkHeaderChecksum(const uint8_t* wireHeader);

// Wire form of a header (10 bytes), and back. Encoding copies the fields as they stand (the
// checksum too); decoding reads every byte, whatever the signature.
void SlkHeaderToWire(const SlkPktHeaderType& header, uint8_t* wire);
SlkPktHeaderType SlkHeaderFromWire(const uint8_t* wire);

// Fills signature, body size and checksum of `header` and writes the complete packet (header,
// body, CRC) to `out`. Returns its length, or 0 when the body exceeds 0xFFFF bytes or `out` is
// too small.
size_t SlkEncodePacket(SlkPktHeaderType& header, const void* body, size_t bodySize, uint8_t* out,
                       size_t capacity);

}  // namespace vantor
