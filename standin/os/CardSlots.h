// The card-slot library's host folders (library 'yhov', slots 7, 15 and 21): a test or the host
// program attaches a host directory to a card slot, and the file-system library mounts it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantor::os {

struct CardSlotFolder {
    std::string root;        // the host directory
    bool readOnly = false;   // the volume refuses every change
    uint32_t fsMagic = 0;    // the host file system's magic (0x4D44: FAT)
    uint32_t mediaType = 0;  // a four-character code; 0 gives 'sdig'
};

// The reference number of the card-slot library that serves the host folders.
constexpr uint16_t kCardSlotLibRefNum = 1;

// Attaches (or replaces) the folder of a card slot: a card is in that slot. Reset() detaches every
// folder. The file-system manager mounts the card's volume when an application next asks for
// volumes, and unmounts it once the folder is detached.
void CardSlotAttach(uint16_t slotRefNum, const CardSlotFolder& folder);
void CardSlotDetach(uint16_t slotRefNum);
// The folder of a slot, if one is attached; the slots that have one, in increasing order.
bool CardSlotFind(uint16_t slotRefNum, CardSlotFolder* folder);
std::vector<uint16_t> CardSlotNumbers();

}  // namespace vantor::os
