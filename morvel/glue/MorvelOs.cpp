#include "morvel/glue/MorvelOs.h"

#include "common/module/KezSlots.h"

namespace morvel {
namespace {
vantor::glue::ModuleImport gKez(vantor::kKezType, vantor::kKezCreator, vantor::kKezVersion, vantor::kKezSlots);
}

vantor::glue::ModuleImport& KezImport() { return gKez; }

uint32_t KezAreaSize(uint32_t address, uint8_t flag) {
    return gKez.Call<uint32_t(uint32_t, uint8_t)>(vantor::kezslot::HALMemoryGetAreaSize, address, flag);
}

}  // namespace morvel
