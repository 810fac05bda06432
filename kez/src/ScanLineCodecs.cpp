// Compressed bitmap rows. The byte layout of each form is what the device writes and reads, so a
// bitmap compressed on either side decodes alike.
#include "kez/src/ScanLineCodecs.h"

#include <algorithm>
#include <cstring>

#include "kez/src/KAL.h"

namespace kez {

namespace {

constexpr const char* kSource = "Kez/Common/Hardware/Src/HALDrawUtils";
constexpr const char* kWidthTooBig = "ScrCompressScanLine(): width too big";

// Limits are byte counts; keeping them below 2^31 keeps every count and result in an int32_t.
uint32_t Clamp(uint32_t limit) {
    return std::min<uint32_t>(limit, INT32_MAX);
}

bool ScanLineWidthOk(uint32_t rowBytes) {
    if (rowBytes < kScanLineMaxRowBytes) return true;
    KALFatal(kSource, 0, kWidthTooBig);
    return false;
}

// PackBits over units of `Unit` bytes (1 for the byte form, 2 for 16-bit pixels).
template <uint32_t Unit>
bool SameUnit(const uint8_t* source, uint32_t a, uint32_t b) {
    return std::memcmp(source + a * Unit, source + b * Unit, Unit) == 0;
}

template <uint32_t Unit>
int32_t PackBitsCompress(const uint8_t* source, uint32_t count, uint8_t* destination, uint32_t limit) {
    limit = Clamp(limit);
    uint32_t out = 0;
    uint32_t at = 0;
    while (at < count) {
        uint32_t run = 1;
        while (at + run < count && SameUnit<Unit>(source, at, at + run)) ++run;
        // Runs of 3 to 128 units: header 1 - n and the unit.
        while (run >= 3) {
            uint32_t n = std::min<uint32_t>(run, 128);
            if (out + 1 + Unit > limit) return -1;
            destination[out++] = static_cast<uint8_t>(1 - static_cast<int32_t>(n));
            std::memcpy(destination + out, source + at * Unit, Unit);
            out += Unit;
            at += n;
            run -= n;
        }
        if (at >= count) break;
        // A literal ends where three equal units begin, or at the end of the source when none do
        // before its last two units. Two equal units stay inside a literal.
        uint32_t end = count;
        for (uint32_t probe = at; probe + 2 < count; ++probe) {
            if (SameUnit<Unit>(source, probe, probe + 1) && SameUnit<Unit>(source, probe, probe + 2)) {
                end = probe;
                break;
            }
        }
        while (at < end) {
            uint32_t n = std::min<uint32_t>(end - at, 127);
            if (out + 1 + n * Unit > limit) return -1;
            destination[out++] = static_cast<uint8_t>(n - 1);
            std::memcpy(destination + out, source + at * Unit, n * Unit);
            out += n * Unit;
            at += n;
        }
    }
    return static_cast<int32_t>(out);
}

template <uint32_t Unit>
int32_t PackBitsDecompress(const uint8_t* source, uint32_t sourceLimit, uint8_t* destination,
                           uint32_t units) {
    sourceLimit = Clamp(sourceLimit);
    uint32_t in = 0;
    uint32_t filled = 0;
    while (filled < units) {
        if (in >= sourceLimit) return -1;
        int32_t header = static_cast<int8_t>(source[in++]);
        if (header < 0) {
            uint32_t n = static_cast<uint32_t>(1 - header);  // 2..129
            if (n > units - filled || sourceLimit - in < Unit) return -1;
            for (uint32_t i = 0; i < n; ++i)
                std::memcpy(destination + (filled + i) * Unit, source + in, Unit);
            in += Unit;
            filled += n;
        } else {
            uint32_t n = static_cast<uint32_t>(header) + 1;  // 1..128
            if (n > units - filled || sourceLimit - in < n * Unit) return -1;
            std::memcpy(destination + filled * Unit, source + in, n * Unit);
            in += n * Unit;
            filled += n;
        }
    }
    return static_cast<int32_t>(in);
}

}  // namespace

int32_t ScrCompressScanLine(const uint8_t* source, const uint8_t* previous, uint32_t rowBytes,
                            uint8_t* destination, bool firstRow, uint32_t limit) {
    if (!ScanLineWidthOk(rowBytes)) return -1;
    limit = Clamp(limit);
    uint32_t out = 0;
    for (uint32_t group = 0; group < rowBytes; group += 8) {
        uint32_t k = std::min<uint32_t>(rowBytes - group, 8);
        uint8_t flag = 0;
        uint32_t changed = 0;
        for (uint32_t i = 0; i < k; ++i) {
            if (firstRow || source[group + i] != previous[group + i]) {
                flag |= static_cast<uint8_t>(0x80 >> i);
                ++changed;
            }
        }
        if (out + 1 + changed > limit) return -1;
        destination[out++] = flag;
        for (uint32_t i = 0; i < k; ++i)
            if (flag & (0x80 >> i)) destination[out++] = source[group + i];
    }
    return static_cast<int32_t>(out);
}

int32_t PrvScanLineDecompress(const uint8_t* source, uint32_t sourceLimit, uint8_t* destination,
                              uint32_t rowBytes) {
    if (!ScanLineWidthOk(rowBytes)) return -1;
    sourceLimit = Clamp(sourceLimit);
    uint32_t in = 0;
    for (uint32_t group = 0; group < rowBytes; group += 8) {
        uint32_t k = std::min<uint32_t>(rowBytes - group, 8);
        if (in >= sourceLimit) return -1;
        uint8_t flag = source[in++];
        for (uint32_t i = 0; i < k; ++i) {
            if (!(flag & (0x80 >> i))) continue;
            if (in >= sourceLimit) return -1;
            destination[group + i] = source[in++];
        }
    }
    return static_cast<int32_t>(in);
}

int32_t PrvRleCompress(const uint8_t* source, uint32_t count, uint8_t* destination, uint32_t limit) {
    limit = Clamp(limit);
    uint32_t out = 0;
    for (uint32_t at = 0; at < count;) {
        uint8_t value = source[at];
        uint32_t n = 1;
        while (n < 255 && at + n < count && source[at + n] == value) ++n;
        if (out + 2 > limit) return -1;
        destination[out++] = static_cast<uint8_t>(n);
        destination[out++] = value;
        at += n;
    }
    return static_cast<int32_t>(out);
}

int32_t PrvRleDecompress(const uint8_t* source, uint32_t sourceLimit, uint8_t* destination, uint32_t rowBytes,
                         uint8_t* pendingCount, uint8_t* pendingValue) {
    sourceLimit = Clamp(sourceLimit);
    uint32_t filled = 0;
    if (*pendingCount != 0) {
        if (*pendingCount < rowBytes) {
            std::memset(destination, *pendingValue, *pendingCount);
            filled = *pendingCount;
            *pendingCount = 0;
        } else {
            std::memset(destination, *pendingValue, rowBytes);
            *pendingCount = static_cast<uint8_t>(*pendingCount - rowBytes);
            return 0;
        }
    }
    uint32_t in = 0;
    while (filled < rowBytes) {
        if (sourceLimit - in < 2) return -1;
        uint32_t count = source[in];
        uint8_t value = source[in + 1];
        in += 2;
        if (count >= rowBytes - filled) {
            // The rest of the pair carries into the next row.
            std::memset(destination + filled, value, rowBytes - filled);
            *pendingCount = static_cast<uint8_t>(count - (rowBytes - filled));
            *pendingValue = value;
            filled = rowBytes;
        } else {
            std::memset(destination + filled, value, count);
            filled += count;
        }
    }
    return static_cast<int32_t>(in);
}

int32_t PrvPackBitsCompress(const uint8_t* source, uint32_t count, uint8_t* destination, uint32_t limit) {
    return PackBitsCompress<1>(source, count, destination, limit);
}

int32_t PrvPackBits16Compress(const uint8_t* source, uint32_t count, uint8_t* destination, uint32_t limit) {
    return PackBitsCompress<2>(source, count, destination, limit);
}

int32_t PrvPackBitsDecompress(const uint8_t* source, uint32_t sourceLimit, uint8_t* destination,
                              uint32_t rowBytes) {
    return PackBitsDecompress<1>(source, sourceLimit, destination, rowBytes);
}

int32_t PrvPackBits16Decompress(const uint8_t* source, uint32_t sourceLimit, uint8_t* destination,
                                uint32_t rowPixels) {
    return PackBitsDecompress<2>(source, sourceLimit, destination, rowPixels);
}

int32_t PrvCompressRow(uint8_t type, const uint8_t* source, uint32_t rowBytes, uint8_t* destination,
                       uint32_t limit, ScanLineCodecState* state) {
    switch (type) {
        case kCompressScanLine: {
            int32_t written = ScrCompressScanLine(source, state->previousRow, rowBytes, destination,
                                                  !state->hasPrevious, limit);
            state->previousRow = source;
            state->hasPrevious = 1;
            return written;
        }
        case kCompressRLE:
            return PrvRleCompress(source, rowBytes, destination, limit);
        case kCompressPackBits:
            if (state->depth == 16) return PrvPackBits16Compress(source, rowBytes / 2, destination, limit);
            return PrvPackBitsCompress(source, rowBytes, destination, limit);
        default:
            return -1;
    }
}

int32_t PrvDecompressRow(uint8_t type, const uint8_t* source, uint32_t sourceLimit, uint8_t* destination,
                         uint32_t rowBytes, ScanLineCodecState* state) {
    switch (type) {
        case kCompressScanLine:
            return PrvScanLineDecompress(source, sourceLimit, destination, rowBytes);
        case kCompressRLE:
            return PrvRleDecompress(source, sourceLimit, destination, rowBytes, &state->pendingCount,
                                    &state->pendingValue);
        case kCompressPackBits:
            if (state->depth == 16)
                return PrvPackBits16Decompress(source, sourceLimit, destination, rowBytes / 2);
            return PrvPackBitsDecompress(source, sourceLimit, destination, rowBytes);
        default:
            return -1;
    }
}

}  // namespace kez
