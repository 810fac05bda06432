// Command modules: every command and variable belongs to a module, whose callbacks run its
// commands and hear about changes of its variables. Module 0 is the debugger, module 1 the
// user-defined module (aliases and user variables, no callbacks).
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

struct SymEntryType;

constexpr uint16_t kModuleCount = 20;
constexpr uint16_t kModuleAnyFree = 0xFFFF;  // module_add: take the first free descriptor
constexpr uint16_t kModuleDebugger = 0;
constexpr uint16_t kModuleUser = 1;

using ModuleInitProc = uint16_t (*)(DbgContextType* ctx, uint16_t moduleId);
using ModuleCloseProc = uint16_t (*)(DbgContextType* ctx, uint16_t moduleId);
using ModuleExecuteProc = uint16_t (*)(DbgContextType* ctx, uint16_t moduleId);
using ModuleVarChangedProc = uint16_t (*)(DbgContextType* ctx, uint16_t moduleId, uint16_t varId,
                                          SymEntryType* value);

struct ModuleDescr {
    uint16_t inUse;
    char* name;
    uint16_t kind;  // non-zero: the module brings callbacks
    uint32_t reserved;
    ModuleInitProc init;
    ModuleCloseProc close;
    ModuleExecuteProc execute;
    ModuleVarChangedProc varChanged;
};

int module_createTable(DbgContextType* ctx);
void module_destroyTable(DbgContextType* ctx);
int module_add(DbgContextType* ctx, uint16_t* moduleId, const char* name, uint16_t kind);
int module_remove(DbgContextType* ctx, uint16_t moduleId, uint16_t* kind);
ModuleDescr* module_idToDescr(DbgContextType* ctx, uint16_t moduleId);
uint16_t module_initModule(DbgContextType* ctx, uint16_t moduleId);
uint16_t module_closeModule(DbgContextType* ctx, uint16_t moduleId);
uint16_t module_executeCommand(DbgContextType* ctx, uint16_t moduleId);
uint16_t module_varChanged(DbgContextType* ctx, uint16_t moduleId, uint16_t varId, SymEntryType* value);

}  // namespace quillwatch
