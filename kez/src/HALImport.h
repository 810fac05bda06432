// Database import: the file checks and the import of one file, used by the autoload slot and by
// the remote-access server.
#pragma once

#include <cstdint>

namespace kez {

// The OS's create-database-from-image service: (image, size in bytes, out database id) -> status.
using HALImportCreateProc = uint16_t (*)(const void* image, uint32_t size, uint32_t* dbID);

// Whether a database image of `size` bytes may be handed to the OS: the header's name, type,
// creator and dates, and an entry list whose offsets all lie inside the image.
bool PrvCheckDB(const uint8_t* image, uint32_t size);

// Imports one database file: 0, 0x0207 (cannot open, examine or map), 0x0209 (too small or
// corrupt), 0x0219 (a RAM database of that name exists and overwrite is off), or the status of the
// OS's delete or create service. `dbID` (may be null) receives the new database's id.
uint16_t HALImportFile(const char* path, uint8_t overwrite, HALImportCreateProc create, uint32_t* dbID);

}  // namespace kez
