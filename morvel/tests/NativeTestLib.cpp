// A native library module for the library tests, loaded by Kez's module loader: its 68K entry
// names itself "Shortcuts Library", counts its calls and serves trap 0xA805, which returns three
// times its 16-bit parameter through the 68K environment's export slots.
#include "common/FourCC.h"
#include "common/module/A68kCalls.h"
#include "common/module/A68kSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"

namespace {

using namespace vantor;

glue::ModuleImport gA68k(kA68kType, kA68kCreator, kA68kVersion, kA68kSlots);
uint32_t gCalls[3];  // names, closes, traps

uint16_t LibEntry(void* context, A68kLibTableEntry* entry, uint16_t selector) {
    if (selector == kA68kLibSelectorName) {
        ++gCalls[0];
        entry->name = static_cast<uint32_t>(reinterpret_cast<uintptr_t>("Shortcuts Library"));
        return 0;
    }
    if (selector == kA68kLibSelectorClose) {
        ++gCalls[1];
        sys::SysDebugMessage("MorvelTestLib closed");  // seen after the module is gone
        return 0;
    }
    if (selector != 0xA805) return 0x0505;
    ++gCalls[2];
    int32_t value = gA68k.Call<a68ksig::A68kGetArgInt16>(a68kslot::A68kGetArgInt16, context, uint16_t{2});
    gA68k.Call<a68ksig::A68kSetResultUInt32>(a68kslot::A68kSetResultUInt32, context,
                                             static_cast<uint32_t>(value * 3));
    return 0;
}

uint32_t Launch(uint16_t code, void* param, uint16_t) {
    if (code == ModuleLaunchCodeGetEntry && param)
        *static_cast<uint32_t*>(param) = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&LibEntry));
    return 0;
}

const ModuleInfoRecord gInfo = MakeModuleInfo(FourCC("libr"), FourCC("scrv"), 1, 0);
ModuleProc gExports[1];

}  // namespace

// The counts of names, closes and traps served, for the tests.
extern "C" VANTOR_EXPORT const uint32_t* MorvelTestLibCalls() { return gCalls; }

VANTOR_MODULE(gInfo, gExports, Launch)
