// Trace zones (export slots 111 to 115): diagnostic lines on standard output, filtered by the zone
// mask of the configuration record.
#include <cstdio>

#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"

namespace kez {
namespace {

// Zone z (the high byte of the 16-bit zone) is enabled by bit 0x80 >> (z % 8) of mask byte z / 8.
bool ZoneEnabled(uint16_t zone) {
    unsigned z = zone >> 8;
    return (gKez.config.traceMask[z / 8] & (0x80u >> (z % 8))) != 0;
}

void Write(uint16_t zone, const char* format, va_list args, bool endLine) {
    if (!ZoneEnabled(zone)) return;
    if (gKez.traceLineStart)
        std::printf("%02X: %09lu ", zone >> 8, static_cast<unsigned long>(KEZ_CALL(HALTimeGetTicks)));
    if (format) std::vprintf(format, args);
    if (endLine) std::fputc('\n', stdout);
    gKez.traceLineStart = endLine;
}

void HALTracePartV(uint16_t zone, const char* format, va_list args) { Write(zone, format, args, false); }
KEZ_SLOT(HALTracePartV, HALTracePartV)

void HALTraceV(uint16_t zone, const char* format, va_list args) { Write(zone, format, args, true); }
KEZ_SLOT(HALTraceV, HALTraceV)

void HALTracePart(uint16_t zone, const char* format, ...) {
    va_list args;
    va_start(args, format);
    KEZ_CALL(HALTracePartV, zone, format, args);
    va_end(args);
}
KEZ_SLOT(HALTracePart, HALTracePart)

void HALTrace(uint16_t zone, const char* format, ...) {
    va_list args;
    va_start(args, format);
    KEZ_CALL(HALTraceV, zone, format, args);
    va_end(args);
}
KEZ_SLOT(HALTrace, HALTrace)

// Lines of 16 bytes: hexadecimal columns, two blanks, then the bytes as characters.
void HALTraceHexDump(uint16_t zone, const void* data, int32_t length) {
    if (!ZoneEnabled(zone) || length <= 0 || !data) return;
    static const char kHex[] = "0123456789ABCDEF";
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (int32_t at = 0; at < length; at += 16) {
        char line[67];
        for (char& c : line) c = ' ';
        int32_t n = length - at < 16 ? length - at : 16;
        for (int32_t i = 0; i < n; ++i) {
            uint8_t b = bytes[at + i];
            line[i * 3] = kHex[b >> 4];
            line[i * 3 + 1] = kHex[b & 15];
            line[50 + i] = b > 31 ? static_cast<char>(b) : '.';
        }
        line[50 + n] = '\0';
        std::printf("%s\n", line);
    }
}
KEZ_SLOT(HALTraceHexDump, HALTraceHexDump)

void TraceFiller() {}

}  // namespace

KEZ_SLOT_FILLER(109, TraceFiller)
KEZ_SLOT_FILLER(110, TraceFiller)

}  // namespace kez
