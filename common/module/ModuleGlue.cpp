// The glue exports and state that every module carries. Compiled into each module with hidden
// visibility, so each module has its own reference number, system table and import tables.
#include "common/module/ModuleGlue.h"

#include <cstdio>
#include <cstdlib>

#include "common/FourCC.h"

namespace vantor::glue {
namespace {

uint32_t gRefNum;
SystemDispatchTable gSystemTable;

}  // namespace

uint32_t RefNum() { return gRefNum; }
SystemDispatchTable SystemTable() { return gSystemTable; }
void SetSystemTable(SystemDispatchTable table) { gSystemTable = table; }

ModuleProc* ModuleImport::Bind() {
    SysCall<uint16_t(ModuleImportDescriptor*, uint32_t, void**)>(
        sysslot::SysBindImport, &descriptor_, gRefNum, reinterpret_cast<void**>(&table_));
    ModuleProc* table = __atomic_load_n(&table_, __ATOMIC_ACQUIRE);
    if (!table) {
        // A call through a null table would jump to address 0: stop here with the reason instead.
        char message[96];
        std::snprintf(message, sizeof message, "Import '%s'/'%s' could not be bound",
                      FourCCToPrintable(descriptor_.type).c_str(),
                      FourCCToPrintable(descriptor_.creator).c_str());
        SysCall<void(const char*, uint32_t, const char*)>(sysslot::ErrDisplayFileLineMsg,
                                                          "common/module/ModuleGlue", __LINE__,
                                                          message);
        std::fprintf(stderr, "%s\n", message);
        std::abort();
    }
    return table;
}

}  // namespace vantor::glue

using namespace vantor;

extern "C" {

VANTOR_EXPORT void __SetRefNum(uint32_t refNum) { glue::gRefNum = refNum; }

VANTOR_EXPORT void __SetDispatchTableSystem(SystemDispatchTable table) { glue::gSystemTable = table; }

VANTOR_EXPORT void* __ExportDispatchTable(uint32_t* tableOut) {
    ModuleProc* table = glue::ModuleExportTable();
    if (tableOut) *tableOut = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(table));
    return table;
}

VANTOR_EXPORT const ModuleInfoRecord* __ExportModuleInfo() { return glue::ModuleInfo(); }

}  // extern "C"
