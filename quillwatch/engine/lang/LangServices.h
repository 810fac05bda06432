// What the command language needs of the debugger above it: the debugger module's callbacks,
// device memory and registers, the routine around an address, and forgetting a template. The
// language owns this table; the debugger installs its own (DbgInstallLanguageServices). Until
// then the language runs alone: module 0 gets no callbacks and every device access fails.
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/CommandModules.h"
#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

struct LangServices {
    // The callbacks module 0 gets when it is added as a module that brings callbacks.
    ModuleInitProc moduleInit;
    ModuleCloseProc moduleClose;
    ModuleExecuteProc moduleExecute;
    ModuleVarChangedProc moduleVarChanged;
    // Reads `count` bytes of device memory at `address`: 0, or the error already reported.
    uint16_t (*readRemoteMem)(uint32_t address, void* destination, DbgContextType* ctx, uint32_t count);
    // Writes the registers to the stopped device: 0, or the error already reported.
    uint16_t (*writeRemoteRegisters)(DbgContextType* ctx, const DbgRegisterBlock* regs);
    // Shows the context's registers in the CPU Registers window.
    void (*refreshRegisterWindow)(DbgContextType* ctx);
    // Finds the routine around `address` into the context's routine fields: negative when none.
    int (*updateRoutine)(DbgContextType* ctx, uint32_t address);
    // Drops the type template of a removed TEMPLATE symbol.
    void (*forgetTemplate)(DbgContextType* ctx, uint16_t module, uint16_t id);
};

// Installs a table (it must outlive its use); none restores the language-alone table.
void LangSetServices(const LangServices* services);
const LangServices& LangGetServices();

}  // namespace quillwatch
