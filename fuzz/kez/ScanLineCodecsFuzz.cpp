// Compressed bitmap rows as the bitmap copy meets them: byte 0 picks the compression type (values
// above 2 stay unknown types), byte 1 the depth (odd: 16), bytes 2-3 the row bytes and byte 4 the
// row count; the rest is the stream. Every row decoded is encoded again and must decode alike.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kez/src/ScanLineCodecs.h"

namespace kez {
// Row bytes stay below the scan-line width limit, so no fatal error can be reported here.
void KALFatal(const char*, uint16_t, const char*) {
    std::abort();
}
}  // namespace kez

using namespace kez;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    uint8_t type = data[0] % 5;
    uint8_t depth = (data[1] & 1) ? 16 : 8;
    uint32_t rowBytes = ((data[2] << 8) | data[3]) % 1200;
    uint32_t rows = data[4] % 32;
    std::vector<uint8_t> stream(data + 5, data + size);  // exactly sized for ASan
    ScanLineCodecState decoder{};
    decoder.depth = depth;
    std::vector<std::vector<uint8_t>> decoded;
    std::vector<uint8_t> row(rowBytes, 0);
    uint32_t at = 0;
    for (uint32_t r = 0; r < rows; ++r) {
        int32_t n = PrvDecompressRow(type, stream.data() + at, static_cast<uint32_t>(stream.size() - at),
                                     row.data(), rowBytes, &decoder);
        if (n < 0) break;
        if (static_cast<uint32_t>(n) > stream.size() - at) std::abort();
        at += n;
        decoded.push_back(row);
    }
    if (type > 2) return 0;
    // The decoded rows round-trip through the encoder; a 16-bit form leaves an odd last byte alone.
    ScanLineCodecState encoder{};
    encoder.depth = depth;
    ScanLineCodecState again{};
    again.depth = depth;
    std::vector<uint8_t> encoded(2 * rowBytes + 8), back(rowBytes, 0);
    for (const std::vector<uint8_t>& original : decoded) {
        int32_t n = PrvCompressRow(type, original.data(), rowBytes, encoded.data(),
                                   static_cast<uint32_t>(encoded.size()), &encoder);
        if (n < 0) std::abort();
        if (PrvDecompressRow(type, encoded.data(), static_cast<uint32_t>(n), back.data(), rowBytes, &again) !=
            n)
            std::abort();
        size_t compared = (type == 2 && depth == 16) ? rowBytes & ~1u : rowBytes;
        if (compared && std::memcmp(back.data(), original.data(), compared) != 0) std::abort();
    }
    return 0;
}
