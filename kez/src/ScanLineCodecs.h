// Compressed bitmap rows: the scan-line, RLE and PackBits (byte and 16-bit) encoders and decoders,
// one row at a time, and the two dispatchers that pick one by the bitmap's compression type.
//
// Every routine is bounded on both sides: encoders never write past their destination limit and
// decoders never read past their source limit nor write past the row; either answers -1 instead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kez/src/HALDraw.h"

namespace kez {

// Compression types (byte 13 of the bitmap record; versions 1 and below always use scan-line).
constexpr uint8_t kCompressScanLine = 0;
constexpr uint8_t kCompressRLE = 1;
constexpr uint8_t kCompressPackBits = 2;
constexpr uint8_t kCompressNone = 255;

// The compression type of a compressed bitmap: bitmaps of version 1 and below always use the
// scan-line form, later ones the type they hold.
inline uint8_t PrvBitmapCompressionType(const HALBitmap& bitmap) {
    return (bitmap.version & 0x7F) > 1 ? bitmap.compressionType : kCompressScanLine;
}

// Row bytes from which the scan-line routines report a fatal error and refuse the row.
constexpr uint32_t kScanLineMaxRowBytes = 32768;

// What the caller keeps across the rows of one bitmap (8 bytes): the scan-line encoder's previous
// row, the RLE decoder's carried pair, and the bitmap depth for PackBits (16 selects the 16-bit
// form). Zero it before the first row.
struct ScanLineCodecState {
    const uint8_t* previousRow;
    uint8_t hasPrevious;
    uint8_t pendingCount;
    uint8_t pendingValue;
    uint8_t depth;
};
static_assert(sizeof(void*) != 4 || sizeof(ScanLineCodecState) == 8);

// Encodes one row of `rowBytes` bytes into at most `limit` bytes. Returns the bytes written, or -1
// for an unknown type, a row the scan-line form refuses, or output that would pass the limit.
int32_t PrvCompressRow(uint8_t type, const uint8_t* source, uint32_t rowBytes, uint8_t* destination,
                       uint32_t limit, ScanLineCodecState* state);

// Decodes one row of `rowBytes` bytes from at most `sourceLimit` source bytes. Returns the source
// bytes consumed (0 when an RLE pair carried over filled the whole row), or -1 for an unknown
// type, a stream that would write past the row, or one that ends before the row is complete.
int32_t PrvDecompressRow(uint8_t type, const uint8_t* source, uint32_t sourceLimit, uint8_t* destination,
                         uint32_t rowBytes, ScanLineCodecState* state);

// Scan-line form: groups of 8 bytes, each a flag byte (bit 7 for the group's first byte) and the
// bytes that differ from the previous row; a first row carries every byte.
int32_t ScrCompressScanLine(const uint8_t* source, const uint8_t* previous, uint32_t rowBytes,
                            uint8_t* destination, bool firstRow, uint32_t limit);
int32_t PrvScanLineDecompress(const uint8_t* source, uint32_t sourceLimit, uint8_t* destination,
                              uint32_t rowBytes);

// RLE: pairs (count 1..255, value); the decoder carries a pair that runs past the row.
int32_t PrvRleCompress(const uint8_t* source, uint32_t count, uint8_t* destination, uint32_t limit);
int32_t PrvRleDecompress(const uint8_t* source, uint32_t sourceLimit, uint8_t* destination, uint32_t rowBytes,
                         uint8_t* pendingCount, uint8_t* pendingValue);

// PackBits in bytes and in 16-bit pixels (counts in units): signed header h, a run of 1 - h units
// (129 for -128) or a literal of h + 1 units.
int32_t PrvPackBitsCompress(const uint8_t* source, uint32_t count, uint8_t* destination, uint32_t limit);
int32_t PrvPackBits16Compress(const uint8_t* source, uint32_t count, uint8_t* destination, uint32_t limit);
int32_t PrvPackBitsDecompress(const uint8_t* source, uint32_t sourceLimit, uint8_t* destination,
                              uint32_t rowBytes);
int32_t PrvPackBits16Decompress(const uint8_t* source, uint32_t sourceLimit, uint8_t* destination,
                                uint32_t rowPixels);

}  // namespace kez
