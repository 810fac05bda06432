// The module glue: what a module's own code uses to reach the OS and other modules, and what it
// declares so that the glue can export it.
//
// A module links the glue (see vantor_add_module in common/module/CMakeLists.txt) and declares
// only three things, with VANTOR_MODULE: its info record, its export table and its launch
// handler. The glue exports __SetRefNum, __SetDispatchTableSystem, __ExportDispatchTable,
// __ExportModuleInfo and ModuleEntryPoint, keeps the reference number and the system dispatch
// table, and binds each import on its first call through system slot 543.
//
// Calls are typed C++ wrappers: SysCall<R(Args...)>(slot, args...) jumps through entry `slot` of
// the system table with the caller's arguments; an import's Call<R(Args...)>(slot, args...) does
// the same through the import's table, binding the whole table first when it is not bound yet.
#pragma once

#include <cstdint>
#include <utility>

#include "common/module/ModuleInterface.h"
#include "common/module/SystemSlots.h"

namespace vantor::glue {

// Defined by the module through VANTOR_MODULE.
const ModuleInfoRecord* ModuleInfo();
ModuleProc* ModuleExportTable();
uint32_t ModuleLaunch(uint16_t launchCode, void* param, uint16_t flags);

// The glue state of this module: the reference number and system table the loader handed over.
uint32_t RefNum();
SystemDispatchTable SystemTable();
// Stores the system table as __SetDispatchTableSystem does (a module that receives its table by
// another road, as Kez does from its host program).
void SetSystemTable(SystemDispatchTable table);

// Calls an entry through a cast to the signature Sig (which may end in "...").
template <typename Sig>
struct Caller;
template <typename R, typename... A>
struct Caller<R(A...)> {
    template <typename... Args>
    static R Call(ModuleProc entry, Args&&... args) {
        return reinterpret_cast<R (*)(A...)>(entry)(std::forward<Args>(args)...);
    }
};
template <typename R, typename... A>
struct Caller<R(A..., ...)> {
    template <typename... Args>
    static R Call(ModuleProc entry, Args&&... args) {
        return reinterpret_cast<R (*)(A..., ...)>(entry)(std::forward<Args>(args)...);
    }
};

// Calls system slot `slot` as a function of signature Sig.
template <typename Sig, typename... Args>
inline auto SysCall(uint16_t slot, Args&&... args) {
    return Caller<Sig>::Call(SystemTable()[slot], std::forward<Args>(args)...);
}

// One imported module: its descriptor and its table pointer, null until the first call binds it.
// Declare imports as namespace-scope objects of the module; they are constant-initialised.
class ModuleImport {
public:
    constexpr ModuleImport(uint32_t type, uint32_t creator, uint32_t version, uint32_t slotCount)
        : descriptor_(MakeImportDescriptor(type, creator, version, slotCount)) {}

    // The bound table, binding it through system slot 543 first when needed. Two threads making
    // the first call at once may both bind; both store the same table.
    ModuleProc* Table() {
        ModuleProc* table = __atomic_load_n(&table_, __ATOMIC_ACQUIRE);
        return table ? table : Bind();
    }
    template <typename Sig, typename... Args>
    auto Call(uint16_t slot, Args&&... args) {
        return Caller<Sig>::Call(Table()[slot], std::forward<Args>(args)...);
    }

    bool IsBound() const { return __atomic_load_n(&table_, __ATOMIC_ACQUIRE) != nullptr; }
    const ModuleImportDescriptor& Descriptor() const { return descriptor_; }
    // Binds the table directly, without slot 543 (Kez binds its own table this way).
    void SetTable(ModuleProc* table) { __atomic_store_n(&table_, table, __ATOMIC_RELEASE); }

private:
    ModuleProc* Bind();

    ModuleImportDescriptor descriptor_;
    ModuleProc* table_ = nullptr;
};

}  // namespace vantor::glue

// Declares the module to the glue. `info` is a ModuleInfoRecord, `table` a ModuleProc array with
// info.slotCount entries, `launch` a function (uint16_t code, void* param, uint16_t flags) ->
// uint32_t. Use once, at namespace scope, in one source file of the module.
#define VANTOR_MODULE(info, table, launch)                                                        \
    namespace vantor::glue {                                                                      \
    const ModuleInfoRecord* ModuleInfo() { return &(info); }                                      \
    ModuleProc* ModuleExportTable() { return (table); }                                           \
    uint32_t ModuleLaunch(uint16_t code, void* param, uint16_t flags) {                           \
        return (launch)(code, param, flags);                                                      \
    }                                                                                             \
    }
