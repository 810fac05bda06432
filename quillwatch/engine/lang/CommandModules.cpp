// The command-module table.
#include "quillwatch/engine/lang/CommandModules.h"

#include "quillwatch/engine/lang/LangServices.h"

namespace quillwatch {

int module_createTable(DbgContextType* ctx) {
    ctx->modules = static_cast<ModuleDescr*>(DbgAllocBuffer(sizeof(ModuleDescr) * kModuleCount));
    if (!ctx->modules) {
        DbgPrint(ctx, "module_createTable error: DbgAllocBuffer failed\n");
        return 1;
    }
    return 0;
}

void module_destroyTable(DbgContextType* ctx) {
    if (!ctx->modules) return;
    for (uint16_t i = 0; i < kModuleCount; ++i) DbgFreeBuffer(ctx->modules[i].name);
    DbgFreeBuffer(ctx->modules);
    ctx->modules = nullptr;
}

ModuleDescr* module_idToDescr(DbgContextType* ctx, uint16_t moduleId) {
    if (!ctx->modules || moduleId >= kModuleCount) {
        DbgPrint(ctx, "module_idToDescr error: module id out of bounds.\n");
        return nullptr;
    }
    return &ctx->modules[moduleId];
}

int module_add(DbgContextType* ctx, uint16_t* moduleId, const char* name, uint16_t kind) {
    if (*moduleId == kModuleAnyFree) {
        uint16_t id = 0;
        while (ctx->modules && id < kModuleCount && ctx->modules[id].inUse) ++id;
        if (!ctx->modules || id == kModuleCount) {
            DbgPrint(ctx, "module_add error: out of module descriptors.\n");
            return 1;
        }
        *moduleId = id;
    }
    ModuleDescr* d = module_idToDescr(ctx, *moduleId);
    if (!d) {
        DbgPrint(ctx, "module_add error: invalid module id.\n");
        return 1;
    }
    if (d->inUse) {
        DbgPrint(ctx, "module_add error: module descriptor is already in use.\n");
        return 1;
    }
    d->name = HostStrDup(name);
    if (!d->name) {
        DbgPrint(ctx, "module_add error: DbgAllocBuffer failed.\n");
        return 1;
    }
    d->kind = kind;
    d->reserved = 0;
    if (*moduleId == kModuleDebugger && kind != 0) {
        const LangServices& services = LangGetServices();
        d->init = services.moduleInit;
        d->close = services.moduleClose;
        d->execute = services.moduleExecute;
        d->varChanged = services.moduleVarChanged;
    } else {
        d->init = nullptr;
        d->close = nullptr;
        d->execute = nullptr;
        d->varChanged = nullptr;
    }
    d->inUse = 1;
    return 0;
}

int module_remove(DbgContextType* ctx, uint16_t moduleId, uint16_t* kind) {
    ModuleDescr* d = module_idToDescr(ctx, moduleId);
    if (!d) {
        DbgPrint(ctx, "module_remove error: invalid module id.\n");
        return 1;
    }
    if (!d->inUse) {
        DbgPrint(ctx, "module_remove error: module is already free.\n");
        return 1;
    }
    if (kind) *kind = d->kind;
    DbgFreeBuffer(d->name);
    *d = ModuleDescr{};
    return 0;
}

namespace {

// Resolves a module for a call; prints "<caller> error: invalid module id." or "... module is free.".
ModuleDescr* UsableModule(DbgContextType* ctx, uint16_t moduleId, const char* caller) {
    ModuleDescr* d = module_idToDescr(ctx, moduleId);
    if (!d) {
        DbgPrintf(ctx, "%s error: invalid module id.\n", caller);
        return nullptr;
    }
    if (!d->inUse) {
        DbgPrintf(ctx, "%s error: module is free.\n", caller);
        return nullptr;
    }
    return d;
}

}  // namespace

uint16_t module_initModule(DbgContextType* ctx, uint16_t moduleId) {
    ModuleDescr* d = UsableModule(ctx, moduleId, "module_initModule");
    if (!d) return 1;
    return d->init ? d->init(ctx, moduleId) : 0;
}

uint16_t module_closeModule(DbgContextType* ctx, uint16_t moduleId) {
    ModuleDescr* d = UsableModule(ctx, moduleId, "module_closeModule");
    if (!d) return 1;
    return d->close ? d->close(ctx, moduleId) : 0;
}

uint16_t module_executeCommand(DbgContextType* ctx, uint16_t moduleId) {
    ModuleDescr* d = UsableModule(ctx, moduleId, "module_executeCommand");
    if (!d) return 1;
    if (!d->execute) {
        DbgPrintf(ctx, "module_executeCommand error: execute command function is not exported by: %s\n",
                  d->name);
        return 1;
    }
    return d->execute(ctx, moduleId);
}

uint16_t module_varChanged(DbgContextType* ctx, uint16_t moduleId, uint16_t varId, SymEntryType* value) {
    ModuleDescr* d = UsableModule(ctx, moduleId, "module_varChanged");
    if (!d) return 1;
    return d->varChanged ? d->varChanged(ctx, moduleId, varId, value) : 0;
}

}  // namespace quillwatch
