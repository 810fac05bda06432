// The signatures of the card-slot library's slots that the modules call (slot numbers in
// CardSlotSlots.h): the stand-in OS implements them, and the file-system library calls them
// through its import of 'libs'/'yhov'.
#pragma once

#include <cstdint>

namespace vantor::cardslotsig {

// The host directory behind a card slot: its root text (at most `size` bytes with the NUL), whether
// the volume is read-only, and the magic of the host file system it lies on.
using CardSlotGetRoot = uint16_t(uint16_t slotRefNum, char* root, uint16_t size, uint8_t* readOnly,
                                 uint32_t* fsMagic);
// The flags of a card slot (bit 0x2: the card is read-only).
using CardSlotGetFlags = uint16_t(uint16_t slotLibRefNum, uint16_t slotRefNum, uint32_t* flags);
// The media type of the card in a slot (a four-character code).
using CardSlotGetMediaType = uint16_t(uint16_t slotLibRefNum, uint16_t slotRefNum, uint32_t* mediaType);

constexpr uint32_t kCardSlotFlagReadOnly = 0x2;

}  // namespace vantor::cardslotsig
