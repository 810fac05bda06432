// Kez's module interface: info record, export table, launch handler, own table and imports.
#include "kez/src/KezModule.h"

#include <array>
#include <cstdio>
#include <utility>

#include "common/module/ModuleInterface.h"
#include "common/module/SystemCalls.h"

using namespace vantor;

namespace kez {
namespace {

// What a slot holds until its source file puts its operation there: a call reports the slot as
// missing its operation and answers 0xFFFF, so that a missing operation is never taken for a
// plain failure. The slots that are fillers by design hold their own fillers instead.
template <uint16_t Slot>
uint16_t Missing() {
    char message[64];
    std::snprintf(message, sizeof message, "Export slot %u has no operation", Slot);
    sys::ErrDisplayFileLineMsg("Kez/Linux/Kez/Src/KezModule", Slot, message);
    return 0xFFFF;
}

template <size_t... Slots>
constexpr std::array<ModuleProc, sizeof...(Slots)> MissingTable(std::index_sequence<Slots...>) {
    return {reinterpret_cast<ModuleProc>(&Missing<static_cast<uint16_t>(Slots)>)...};
}
// Made on first use: the slots of other source files register while the library loads, in no
// fixed order.
const std::array<ModuleProc, kKezSlots>& MissingEntries() {
    static const std::array<ModuleProc, kKezSlots> table = MissingTable(std::make_index_sequence<kKezSlots>{});
    return table;
}

// The table starts with those; the slots of each source file replace them as the library loads.
ModuleProc gExports[kKezSlots];
bool gExportsReady = false;

void PrepareExports() {
    if (gExportsReady) return;
    for (uint16_t slot = 0; slot < kKezSlots; ++slot) gExports[slot] = MissingEntries()[slot];
    gExportsReady = true;
}

const ModuleInfoRecord gInfo = MakeModuleInfo(kKezType, kKezCreator, kKezVersion, kKezSlots);

// Kez's own launch handler ignores every launch code.
uint32_t Launch(uint16_t, void*, uint16_t) { return 0; }

}  // namespace

glue::ModuleImport gOwn(kKezType, kKezCreator, kKezVersion, kKezSlots);
glue::ModuleImport gA68k(kA68kType, kA68kCreator, kA68kVersion, kA68kSlots);
glue::ModuleImport gCardSlot(kCardSlotLibType, kCardSlotLibCreator, kCardSlotLibVersion,
                             kCardSlotLibSlots);
glue::ModuleImport gUi(kUiLibType, kUiLibCreator, kUiLibVersion, kUiLibSlots);

ModuleProc* ExportTable() {
    PrepareExports();
    return gExports;
}

bool PrvKezSlotHasOperation(uint16_t slot) {
    return slot < kKezSlots && ExportTable()[slot] != MissingEntries()[slot];
}

bool RegisterExport(uint16_t slot, ModuleProc entry) {
    if (slot >= kKezSlots) return false;
    ExportTable()[slot] = entry;
    return true;
}

}  // namespace kez

VANTOR_MODULE(kez::gInfo, kez::ExportTable(), kez::Launch)

// Binds Kez's own table to its export table without going through the system binder.
extern "C" VANTOR_EXPORT void __SetMyDispatchTable() { kez::gOwn.SetTable(kez::ExportTable()); }
