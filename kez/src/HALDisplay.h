// The display's entries used by other parts of Kez and by the tests.
#pragma once

#include <cstdint>

#include "common/module/KezDraw.h"

namespace kez {

// The update-lock count that the screen manager's record keeps after its colour table.
uint16_t* ScreenManagerLockCount(void* screenManagerRecord);
// The display's update callback (attribute 24): merges the record's dirty rectangle.
void PrvHALDisplayUpdateCallback(void* screenManagerRecord);
void PrvHALDisplayAddDirtyRect(int16_t left, int16_t top, int16_t right, int16_t bottom);
uint16_t PrvHALDisplayResIDForDensity(uint16_t id);
// The window objects handed over by the host (0 window, 1 drawing area, 2 input-area image, 3 the
// virtual mouse's pointer widget, 4 its image, 5-8 its pictures, 9-12 their masks, 13 GC); null
// when none.
void* HALDisplayObject(int index);
// Describes an OS bitmap (any version) as a drawing bitmap record; a version-3 bitmap keeps its
// density, older ones are 72 dpi.
vantor::HALBitmap PrvHALDisplayDescribeBitmap(const void* bitmap);

// The painter's state, for tests.
uint8_t* HALDisplayHostImage();
uint32_t HALDisplayHostDepth();
const uint32_t* HALDisplayColourMap();
bool HALDisplayOverlayShown();
bool HALDisplayPainterRunning();
void HALDisplayDirtyRect(int16_t out[4]);
void PrvHALDisplayResetDirtyRect();

}  // namespace kez

extern "C" void PrvHALDisplayOnExposeEvent(int16_t left, int16_t top, int16_t right, int16_t bottom);
