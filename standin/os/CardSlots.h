// The card-slot library's host folders (library 'yhov', slots 7, 15 and 21): a test or the host
// program attaches a host directory to a card slot, and the file-system library mounts it.
#pragma once

#include <cstdint>
#include <string>

namespace vantor::os {

struct CardSlotFolder {
    std::string root;        // the host directory
    bool readOnly = false;   // the volume refuses every change
    uint32_t fsMagic = 0;    // the host file system's magic (0x4D44: FAT)
    uint32_t mediaType = 0;  // a four-character code; 0 gives 'sdig'
};

// Attaches (or replaces) the folder of a card slot; Reset() detaches every folder.
void CardSlotAttach(uint16_t slotRefNum, const CardSlotFolder& folder);
void CardSlotDetach(uint16_t slotRefNum);

}  // namespace vantor::os
