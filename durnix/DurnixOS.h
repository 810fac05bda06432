// How the library reaches the OS, the card-slot library, Kez and the 68K environment: typed calls
// through the system table and through its imports, bound on their first call.
#pragma once

#include <cstdint>

#include "common/module/A68kCalls.h"
#include "common/module/A68kSlots.h"
#include "common/module/CardSlotCalls.h"
#include "common/module/CardSlotSlots.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"

namespace durnix::os {

extern vantor::glue::ModuleImport gA68k;
extern vantor::glue::ModuleImport gCardSlot;
extern vantor::glue::ModuleImport gKez;

// A trace line of category 0x2A00, formatted here with a bound.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// An error report (system slot 159) naming the library's source.
void Report(uint16_t line, const char* message);

template <typename Sig, typename... A>
inline auto Sys(uint16_t slot, A... args) {
    return vantor::glue::SysCall<Sig>(slot, args...);
}
template <typename Sig, typename... A>
inline auto A68k(uint16_t slot, A... args) {
    return gA68k.Call<Sig>(slot, args...);
}
template <typename Sig, typename... A>
inline auto CardSlot(uint16_t slot, A... args) {
    return gCardSlot.Call<Sig>(slot, args...);
}

// System slots without a typed call of their own.
inline uint8_t ExpCardCheck(uint16_t slotLibRefNum, uint16_t slotRefNum, uint32_t creator) {
    return Sys<uint8_t(uint16_t, uint16_t, uint32_t)>(vantor::sysslot::ExpCardCheck, slotLibRefNum, slotRefNum,
                                                      creator);
}
inline uint16_t FileCloseByRef(uint32_t fileRef) {
    return Sys<uint16_t(uint32_t)>(vantor::sysslot::FileSystemSel4, fileRef);
}
inline uint16_t VolumeUnmountByRef(uint16_t volRefNum) {
    return Sys<uint16_t(uint16_t)>(vantor::sysslot::FileSystemSel26, volRefNum);
}
inline uint16_t DefaultFolderRegister(const char* type, uint32_t creator, const char* folder) {
    return Sys<uint16_t(const char*, uint32_t, const char*)>(vantor::sysslot::FileSystemSel22, type, creator,
                                                             folder);
}
inline uint16_t DefaultFolderUnregister(const char* type, uint32_t creator) {
    return Sys<uint16_t(const char*, uint32_t)>(vantor::sysslot::FileSystemSel23, type, creator);
}
inline uint16_t NotifyUnregister(uint32_t dbID, uint32_t notifyType, int8_t priority) {
    return Sys<uint16_t(uint32_t, uint32_t, int8_t)>(vantor::sysslot::SysNotifyUnregisterDirect, dbID, notifyType,
                                                     priority);
}

}  // namespace durnix::os
