// The import binder (system slot 543) and the libraries and modules it binds to.
#include <dlfcn.h>

#include <algorithm>
#include <mutex>

#include "common/module/KezSlots.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

struct Bindable {
    uint32_t type;
    uint32_t creator;
    ModuleProc* table;  // null for a module loaded by Kez: bound through RALImportModule
    uint32_t slotCount;
    uint32_t kezRefNum;
    bool builtin;
};

struct BinderState {
    BinderState() {
        auto add = [&](uint32_t type, uint32_t creator, Library library) {
            entries.push_back(
                {type, creator, LibraryTable(library), LibrarySlotCount(library), 0, true});
        };
        add(kUiLibType, kUiLibCreator, Library::Ui);
        add(kHostLibType, kHostLibCreator, Library::HostControl);
        add(kCardSlotLibType, kCardSlotLibCreator, Library::CardSlot);
        add(kZdimLibType, kZdimLibCreator, Library::Zdim);
    }

    std::mutex mutex;
    std::vector<Bindable> entries;
    std::vector<BindRecord> records;
    ModuleProc* kezTable = nullptr;
};

BinderState& B() {
    static BinderState state;
    return state;
}

void AddEntry(const Bindable& entry) {
    auto& b = B();
    std::lock_guard lock(b.mutex);
    std::erase_if(b.entries, [&](const Bindable& e) {
        return e.type == entry.type && e.creator == entry.creator;
    });
    b.entries.push_back(entry);
    if (entry.type == kKezType && entry.creator == kKezCreator) b.kezTable = entry.table;
}

uint16_t StandinSysBindImport(ModuleImportDescriptor* descriptor, uint32_t refNum,
                              void** tablePointer) {
    if (!descriptor || !tablePointer) return sysErrParamErr;
    auto& b = B();
    Bindable found{};
    bool known = false;
    ModuleProc* kezTable;
    {
        std::lock_guard lock(b.mutex);
        kezTable = b.kezTable;
        for (const Bindable& e : b.entries) {
            if (e.type == descriptor->type && e.creator == descriptor->creator) {
                found = e;
                known = true;
            }
        }
    }
    ModuleProc* table = nullptr;
    // A table with fewer slots than the importer was built against cannot serve it.
    if (known && found.slotCount >= descriptor->slotCount) {
        if (found.table) {
            table = found.table;
        } else if (kezTable) {
            uint32_t out = 0;
            auto import = reinterpret_cast<uint16_t (*)(uint32_t, uint32_t, uint32_t*)>(
                kezTable[kezslot::RALImportModule]);
            if (import(found.kezRefNum, refNum, &out) == 0)
                table = reinterpret_cast<ModuleProc*>(static_cast<uintptr_t>(out));
        }
    }
    if (table) *tablePointer = reinterpret_cast<void*>(table);
    std::lock_guard lock(b.mutex);
    b.records.push_back({descriptor->type, descriptor->creator, refNum, table != nullptr});
    return table ? 0 : sysErrLibNotFound;
}
VANTOR_OS_SLOT(SysBindImport, StandinSysBindImport)

}  // namespace

void ResetBinder() {
    auto& b = B();
    std::lock_guard lock(b.mutex);
    b.records.clear();
}

std::vector<BindRecord> BindRecords() {
    auto& b = B();
    std::lock_guard lock(b.mutex);
    return b.records;
}

bool RegisterModule(void* dlHandle) {
    if (!dlHandle) return false;
    auto info = reinterpret_cast<ModuleExportModuleInfoProc>(dlsym(dlHandle, "__ExportModuleInfo"));
    auto exportTable =
        reinterpret_cast<ModuleExportDispatchTableProc>(dlsym(dlHandle, "__ExportDispatchTable"));
    if (!info || !exportTable) return false;
    const ModuleInfoRecord* record = info();
    uint32_t unused;
    auto* table = static_cast<ModuleProc*>(exportTable(&unused));
    if (!record || !table) return false;
    AddEntry({record->type, record->creator, table, record->slotCount, 0, false});
    return true;
}

void RegisterLoadedModule(uint32_t type, uint32_t creator, uint32_t refNum) {
    AddEntry({type, creator, nullptr, 0xFFFFFFFF, refNum, false});
}

void RegisterTable(uint32_t type, uint32_t creator, ModuleProc* table, uint32_t slotCount) {
    AddEntry({type, creator, table, slotCount, 0, false});
}

void UnregisterModule(uint32_t type, uint32_t creator) {
    auto& b = B();
    std::lock_guard lock(b.mutex);
    std::erase_if(b.entries, [&](const Bindable& e) {
        return !e.builtin && e.type == type && e.creator == creator;
    });
    if (type == kKezType && creator == kKezCreator) b.kezTable = nullptr;
}

ModuleProc* KezTable() {
    auto& b = B();
    std::lock_guard lock(b.mutex);
    return b.kezTable;
}

ModuleProc* LoadedModuleTable(uint32_t type, uint32_t creator, uint32_t* kezRefNum) {
    auto& b = B();
    Bindable found{};
    ModuleProc* kezTable;
    {
        std::lock_guard lock(b.mutex);
        kezTable = b.kezTable;
        auto e = std::find_if(b.entries.begin(), b.entries.end(),
                              [&](const Bindable& e) { return !e.table && e.type == type && e.creator == creator; });
        if (e == b.entries.end() || !kezTable) return nullptr;
        found = *e;
    }
    uint32_t out = 0;
    auto import = reinterpret_cast<uint16_t (*)(uint32_t, uint32_t, uint32_t*)>(kezTable[kezslot::RALImportModule]);
    // The OS itself imports the table: the system's own record (1024) is the importer.
    if (import(found.kezRefNum, 1024, &out) != 0 || !out) return nullptr;
    if (kezRefNum) *kezRefNum = found.kezRefNum;
    return reinterpret_cast<ModuleProc*>(static_cast<uintptr_t>(out));
}

ModuleProc* ModuleTableOf(uint32_t type, uint32_t creator) {
    auto& b = B();
    {
        std::lock_guard lock(b.mutex);
        for (const Bindable& e : b.entries)
            if (!e.builtin && e.table && e.type == type && e.creator == creator) return e.table;
    }
    return LoadedModuleTable(type, creator, nullptr);
}

std::vector<uint32_t> ModuleCreatorsOfType(uint32_t type) {
    auto& b = B();
    std::lock_guard lock(b.mutex);
    std::vector<uint32_t> creators;
    for (const Bindable& e : b.entries)
        if (!e.builtin && e.type == type) creators.push_back(e.creator);
    return creators;
}

}  // namespace vantor::os
