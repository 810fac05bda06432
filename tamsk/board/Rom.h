// ROM images and ROM lists: the kinds of file the emulator takes, and loading the ROM into the
// memory areas at power-on and hard reset.
#pragma once

#include <cstdint>
#include <string>

namespace tamsk {

enum : int {
    kFileUnknown = 0,
    kFileRawImage = 1,   // ".widebin", ".aeb"
    kFileSession = 2,    // ".session", ".aes"
    kFileRomList = 3,    // ".indirect", ".aei"
};
// The kind of a file by its extension (after the last '.', compared in lower case).
int RomFileKind(const char* path);

// The ROM path (option ROM), saved in the session as >rfn.
char* RomPath();

// Loads one ROM list item: returns 1 when loaded, 0 when the path is empty; every other failure
// is fatal with its message. `area` as written in the list ("NOR", "NOR ", "SRAM", "DRAM",
// "NAND", "CMDL").
int MemLoadRomItem(const char* area, uint32_t offset, const char* path);

// Parses a ROM list's text and loads its items; `listPath` names the list (item paths are taken
// relative to its folder). Fatal "Failed to parse or load ROM file" when no item loads.
void RomLoadList(const std::string& text, const char* listPath);

// One parsed list item; the parser used by RomLoadList (exposed for tests and the fuzz target).
struct RomListItem {
    char area[5];
    uint32_t offset;
    char path[260];
};
// Parses the next item from text[*pos]; returns false at the end of the list (no further item or
// an item without a path). Never reads past text.size().
bool RomParseListItem(const std::string& text, size_t* pos, RomListItem* item);
// The item path as the list names it: relative to the list's folder.
std::string RomItemPath(const char* listPath, const char* itemPath);

// Loads the ROM named by the ROM path (raw image into NOR, or a ROM list).
void MemLoadRom();
// The same on a restore: a ROM path that cannot be opened is reported on standard error and the
// run goes on with what the areas hold.
void MemReloadRom();

}  // namespace tamsk
