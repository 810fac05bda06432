// The module declaration: Morvel is the library 'libr'/'a68k' with 58 export slots.
#include "common/FourCC.h"
#include "common/module/A68kSlots.h"
#include "common/module/ModuleGlue.h"
#include "morvel/glue/MorvelExports.h"
#include "morvel/launch/AppLaunch.h"

namespace morvel {
namespace {

const vantor::ModuleInfoRecord gInfo =
    vantor::MakeModuleInfo(vantor::FourCC("libr"), vantor::FourCC("a68k"), 2, vantor::kA68kSlotCount);

}  // namespace
}  // namespace morvel

VANTOR_MODULE(morvel::gInfo, morvel::MorvelExportTable(), morvel::ModuleLaunchEntry)
