// Small utilities of the desktop-link transport: trace lines for the desktop-link log, the tagged
// argument lists of command payloads, and the status lines of the transport's control panel.
#pragma once

#include <cstdint>

namespace brontel {

// A formatted trace line (at most 75 characters) appended to the desktop-link log.
void TrelUtilSyncLogTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A plain text appended to the desktop-link log.
void TrelUtilLogString(const char* text);

// Argument items: u16 tag and u32 length (network order), the data, and a pad byte after odd data.
constexpr uint32_t kArgHeaderSize = 6;
// Writes an item header at `out`; returns its size.
uint32_t TrelUtilArgHeaderPut(uint8_t* out, uint16_t tag, uint32_t length);
// Finds the first item tagged `wanted` among the first `count` items of `list`. True when the list
// is sound (an absent tag included: then *data is null and *length 0); false, with a report, when
// an item runs past the list.
bool TrelUtilArgListParse(const uint8_t* list, uint32_t listLength, uint32_t count, uint16_t wanted,
                          const uint8_t** data, uint32_t* length);

// Draws "label" and the value as 8 hexadecimal digits on the line at *y, then moves *y down by 9.
void BrontelStatusLines(const char* label, uint32_t value, int16_t* y);

}  // namespace brontel
