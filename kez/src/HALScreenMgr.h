// The screen manager's record and what the drawing code reads of it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kez/src/HALDraw.h"

namespace kez {

// The screen manager's record. The screen bitmap is the OS's version-3 bitmap with a 24-byte
// header, followed by its colour table with room for 256 entries; the indirect pixel address
// stands right after the last entry in use (in `pixelAddress` when all 256 are), and the
// manager's own fields follow at fixed offsets.
struct ScreenMgrRecord {
    uint16_t width;
    uint16_t height;
    uint16_t rowBytes;
    uint16_t flags;
    uint8_t depth;
    uint8_t version;
    uint8_t headerSize;
    uint8_t pixelFormat;
    uint8_t reserved12;
    uint8_t compressionType;
    uint16_t density;
    uint8_t reserved16[8];
    uint16_t colorCount;
    uint16_t colorReserved;
    HALColorEntry colors[256];
    uint32_t pixelAddress;
    uint8_t* current;
    uint8_t* saved;
    void (*updateCallback)(void* record);
    int16_t dirty[4];  // left, top, right, bottom
    uint32_t tick;
    uint16_t* translation[4];  // per source depth 1, 2, 4, 8: 2, 4, 16, 256 entries
    uint16_t lockDepth;
    uint8_t active;
    uint8_t busy;
};
static_assert(offsetof(ScreenMgrRecord, colorCount) == 24);
static_assert(offsetof(ScreenMgrRecord, pixelAddress) == 1052);
static_assert(sizeof(void*) != 4 || offsetof(ScreenMgrRecord, dirty) == 1068);
static_assert(sizeof(void*) != 4 || offsetof(ScreenMgrRecord, lockDepth) == 1096);
static_assert(sizeof(void*) != 4 || sizeof(ScreenMgrRecord) == 1100);

// The record once HALScreenMgrInitialize has built it, else null.
ScreenMgrRecord* PrvScreenMgrRecord();
// The screen's colour table, or null before the manager exists.
const HALColorTable* PrvScreenMgrColorTable();
uint32_t PrvScreenMgrDepth();
bool PrvScreenMgrActive();
// The manager's translation table for a source depth (1, 2, 4 or 8), or null.
const uint16_t* PrvScreenMgrTranslation(uint32_t sourceDepth);
// Reports a drawn area of a screen destination: [left, right) x [top, bottom).
void PrvReportScreenRect(const HALBitmap& destination, int32_t left, int32_t top, int32_t right, int32_t bottom);
// Empties the status-bar button table.
void PrvStatusBarReset();
// A status-bar button's bounds and in-use flag; false when there is no such button.
bool PrvStatusBarButton(uint16_t id, HALRect* bounds, uint8_t* inUse);
// A status-bar button's normal and selected bitmaps; false when there is no such button.
bool PrvStatusBarBitmaps(uint16_t id, void** normal, void** selected);
// Fills a drawing bitmap record that describes the screen bitmap.
void PrvScreenMgrDrawingBitmap(HALBitmap* bitmap);

}  // namespace kez
