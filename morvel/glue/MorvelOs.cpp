#include "morvel/glue/MorvelOs.h"

#include "common/module/KezSlots.h"

namespace morvel {
namespace {
vantor::glue::ModuleImport gKez(vantor::kKezType, vantor::kKezCreator, vantor::kKezVersion, vantor::kKezSlots);
vantor::glue::ModuleImport gUi(vantor::kUiLibType, vantor::kUiLibCreator, vantor::kUiLibVersion,
                               vantor::kUiLibSlots);
}  // namespace

vantor::glue::ModuleImport& KezImport() { return gKez; }
vantor::glue::ModuleImport& UiImport() { return gUi; }

uint32_t KezAreaSize(uint32_t address, uint8_t flag) {
    return gKez.Call<uint32_t(uint32_t, uint8_t)>(vantor::kezslot::HALMemoryGetAreaSize, address, flag);
}

std::recursive_mutex& SharedTablesLock() {
    static std::recursive_mutex lock;
    return lock;
}

}  // namespace morvel
