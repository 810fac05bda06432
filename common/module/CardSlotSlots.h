// Slot numbers of the OS card-slot library ('libs'/'yhov', version 1, 22 entries) that the modules
// call: the roots, flags and media of card slots and the mounting of host volumes.
#pragma once

#include <cstdint>

#define VANTOR_CARD_SLOT_SLOTS(X) \
    X(7, CardSlotGetFlags)            \
    X(15, CardSlotGetMediaType)       \
    X(19, CardSlotMountHostVolume)    \
    X(20, CardSlotUnmountHostVolume)  \
    X(21, CardSlotGetRoot)           

namespace vantor::cardslot {

#define VANTOR_SLOT_CONSTANT(number, name) constexpr uint16_t name = number;
VANTOR_CARD_SLOT_SLOTS(VANTOR_SLOT_CONSTANT)
#undef VANTOR_SLOT_CONSTANT

}  // namespace vantor::cardslot

namespace vantor {

constexpr uint16_t kCardSlotSlotCount = 22;

// The name of a slot listed above, or null.
const char* CardSlotSlotName(uint16_t slot);

}  // namespace vantor
