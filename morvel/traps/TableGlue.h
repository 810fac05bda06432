// Tables as 68K code sees them: the 76-byte 68K table image of a table's object shadow, the 68K
// draw, load and save procedures kept per column, the trampolines through which the UI library
// runs them, and the table traps.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/traps/FormGlue.h"

namespace morvel {

constexpr uint32_t kTableImageBytes = 76, kTableImageBounds = MORVEL_TABLE_IMAGE_BOUNDS,
                   kTableImageColumns = MORVEL_TABLE_IMAGE_COLUMNS, kTableImageRows = MORVEL_TABLE_IMAGE_ROWS,
                   kTableImageTopRow = MORVEL_TABLE_IMAGE_TOP_ROW;

// The allocation of a table's object shadow: the header, the image, three array pointers and the
// three arrays of one procedure per column.
uint32_t TableShadowSize(void* nativeTable);
// Writes the image and the empty procedure arrays of a new table shadow.
void TableImageFill(ObjectShadow* shadow);
// Before the table is drawn: the image's bounds go to the native table.
void TableImageSync(ObjectShadow* shadow);

// The UI library's callbacks for columns with a 68K procedure.
void TableDrawTrampoline(void* table, int16_t row, int16_t column, const NativeRect* bounds);
uint16_t TableLoadTrampoline(void* table, int16_t row, int16_t column, uint8_t editable, void** handle,
                             int16_t* offset, int16_t* size, void* field);
uint8_t TableSaveTrampoline(void* table, int16_t row, int16_t column);

void TableGlueInstall(TrapHandler* table);

}  // namespace morvel
