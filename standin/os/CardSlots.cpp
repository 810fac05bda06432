// The card-slot library's view of host folders attached to card slots: the root, read-only flag
// and file-system magic (slot 21), the slot's flags (slot 7) and its media type (slot 15).
#include "standin/os/CardSlots.h"

#include <cstring>
#include <map>
#include <mutex>

#include "common/FourCC.h"
#include "common/module/CardSlotCalls.h"
#include "common/module/CardSlotSlots.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

struct Folders {
    std::mutex mutex;
    std::map<uint16_t, CardSlotFolder> slots;
};

Folders& F() {
    static Folders folders;
    return folders;
}

bool Find(uint16_t slotRefNum, CardSlotFolder* folder) {
    std::lock_guard lock(F().mutex);
    auto it = F().slots.find(slotRefNum);
    if (it == F().slots.end()) return false;
    *folder = it->second;
    return true;
}

uint16_t StandinCardSlotGetRoot(uint16_t slotRefNum, char* root, uint16_t size, uint8_t* readOnly,
                                uint32_t* fsMagic) {
    CardSlotFolder folder;
    if (!Find(slotRefNum, &folder) || !root || size == 0) return sysErrParamErr;
    if (folder.root.size() >= size) return sysErrParamErr;
    std::memcpy(root, folder.root.c_str(), folder.root.size() + 1);
    if (readOnly) *readOnly = folder.readOnly ? 1 : 0;
    if (fsMagic) *fsMagic = folder.fsMagic;
    return 0;
}
static_assert(std::is_same_v<decltype(StandinCardSlotGetRoot), cardslotsig::CardSlotGetRoot>);
VANTOR_OS_LIBRARY_SLOT(CardSlot, cardslot::CardSlotGetRoot, StandinCardSlotGetRoot)

uint16_t StandinCardSlotGetFlags(uint16_t, uint16_t slotRefNum, uint32_t* flags) {
    CardSlotFolder folder;
    if (!Find(slotRefNum, &folder) || !flags) return sysErrParamErr;
    *flags = folder.readOnly ? cardslotsig::kCardSlotFlagReadOnly : 0;
    return 0;
}
static_assert(std::is_same_v<decltype(StandinCardSlotGetFlags), cardslotsig::CardSlotGetFlags>);
VANTOR_OS_LIBRARY_SLOT(CardSlot, cardslot::CardSlotGetFlags, StandinCardSlotGetFlags)

uint16_t StandinCardSlotGetMediaType(uint16_t, uint16_t slotRefNum, uint32_t* mediaType) {
    CardSlotFolder folder;
    if (!Find(slotRefNum, &folder) || !mediaType) return sysErrParamErr;
    *mediaType = folder.mediaType ? folder.mediaType : FourCC("sdig");
    return 0;
}
static_assert(std::is_same_v<decltype(StandinCardSlotGetMediaType), cardslotsig::CardSlotGetMediaType>);
VANTOR_OS_LIBRARY_SLOT(CardSlot, cardslot::CardSlotGetMediaType, StandinCardSlotGetMediaType)

}  // namespace

void CardSlotAttach(uint16_t slotRefNum, const CardSlotFolder& folder) {
    std::lock_guard lock(F().mutex);
    F().slots[slotRefNum] = folder;
}

bool CardSlotFind(uint16_t slotRefNum, CardSlotFolder* folder) {
    CardSlotFolder found;
    if (!Find(slotRefNum, &found)) return false;
    if (folder) *folder = found;
    return true;
}

std::vector<uint16_t> CardSlotNumbers() {
    std::lock_guard lock(F().mutex);
    std::vector<uint16_t> numbers;
    for (const auto& [number, folder] : F().slots) numbers.push_back(number);
    return numbers;
}

void CardSlotDetach(uint16_t slotRefNum) {
    std::lock_guard lock(F().mutex);
    F().slots.erase(slotRefNum);
}

void ResetCardSlots() {
    std::lock_guard lock(F().mutex);
    F().slots.clear();
}

}  // namespace vantor::os
