// Kez's module interface: info record, export table, launch handler, own table and imports.
#include "kez/src/KezModule.h"

#include "common/module/ModuleInterface.h"

using namespace vantor;

namespace kez {
namespace {

uint16_t FillerFFFF() { return 0xFFFF; }

// The table starts with fillers; the slots of each source file replace them as the library loads.
ModuleProc gExports[kKezSlots];
bool gExportsReady = false;

void PrepareExports() {
    if (gExportsReady) return;
    for (ModuleProc& entry : gExports) entry = reinterpret_cast<ModuleProc>(&FillerFFFF);
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

bool RegisterExport(uint16_t slot, ModuleProc entry) {
    if (slot >= kKezSlots) return false;
    ExportTable()[slot] = entry;
    return true;
}

}  // namespace kez

VANTOR_MODULE(kez::gInfo, kez::ExportTable(), kez::Launch)

// Binds Kez's own table to its export table without going through the system binder.
extern "C" VANTOR_EXPORT void __SetMyDispatchTable() { kez::gOwn.SetTable(kez::ExportTable()); }
