// Name tables of the slot-number headers, for messages and call logs.
#include "common/module/A68kSlots.h"
#include "common/module/CardSlotSlots.h"
#include "common/module/HostControlSlots.h"
#include "common/module/KezSlots.h"
#include "common/module/SystemSlots.h"
#include "common/module/UiSlots.h"

#define VANTOR_SLOT_CASE(number, name) \
    case number:                       \
        return #name;

namespace vantor {

const char* SystemSlotName(uint16_t slot) {
    switch (slot) { VANTOR_SYSTEM_SLOTS(VANTOR_SLOT_CASE) }
    return nullptr;
}
const char* KezSlotName(uint16_t slot) {
    switch (slot) { VANTOR_KEZ_SLOTS(VANTOR_SLOT_CASE) }
    return nullptr;
}
const char* UiSlotName(uint16_t slot) {
    switch (slot) { VANTOR_UI_SLOTS(VANTOR_SLOT_CASE) }
    return nullptr;
}
const char* HostControlSlotName(uint16_t slot) {
    switch (slot) { VANTOR_HOST_CONTROL_SLOTS(VANTOR_SLOT_CASE) }
    return nullptr;
}
const char* CardSlotSlotName(uint16_t slot) {
    switch (slot) { VANTOR_CARD_SLOT_SLOTS(VANTOR_SLOT_CASE) }
    return nullptr;
}
const char* A68kSlotName(uint16_t slot) {
    switch (slot) { VANTOR_A68K_SLOTS(VANTOR_SLOT_CASE) }
    return nullptr;
}

}  // namespace vantor
