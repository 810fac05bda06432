// The module loader (export slots 160 to 169): opens, binds, counts and closes the Linux modules
// of the OS, and keeps a copy of Kez's export table so that patched entries are put back at
// shutdown.
#include "kez/src/RAL.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cstdlib>
#include <cstring>

#include "common/module/ModuleInterface.h"
#include "common/module/SystemCalls.h"
#include "kez/src/KezModule.h"
#include "kez/src/Locks.h"

using namespace vantor;

namespace kez {
namespace {

constexpr uint32_t kSystemRefNum = 1024;
constexpr size_t kExePathSize = 4096;
constexpr uint16_t kFailed = 0xFFFF;

struct ListNode;

struct RALModuleRecord {
    const char* name;  // the caller's string, not copied
    uint32_t refNum;
    void* handle;
    uint16_t useCount;
    uint32_t descriptor[5];
    uint32_t argument;
    ListNode* dependencies;
};

struct ListNode {
    RALModuleRecord* record;
    ListNode* next;
    ListNode* prev;
};

char gExePath[kExePathSize];
uint32_t gExePathLength;
void* gKezHandle;
void* gSystemHandle;

ListNode* gModules;
uint32_t gRefCounter;
ModuleProc* gBackup;
uint32_t gBackupCount;
pthread_mutex_t gListLock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

class ListLock : public Locked {
public:
    ListLock() : Locked(&gListLock) {}
};

void LinkAtHead(ListNode** head, RALModuleRecord* record) {
    auto* node = static_cast<ListNode*>(std::calloc(1, sizeof(ListNode)));
    if (!node) return;
    node->record = record;
    node->next = *head;
    if (*head) (*head)->prev = node;
    *head = node;
}

void Unlink(ListNode** head, ListNode* node) {
    if (node->prev) node->prev->next = node->next;
    else *head = node->next;
    if (node->next) node->next->prev = node->prev;
    std::free(node);
}

void FreeList(ListNode** head) {
    while (*head) Unlink(head, *head);
}

ListNode* NodeByRefNum(uint32_t refNum) {
    for (ListNode* n = gModules; n; n = n->next)
        if (n->record && n->record->refNum == refNum) return n;
    return nullptr;
}

RALModuleRecord* FindByRefNum(uint32_t refNum) {
    ListNode* node = NodeByRefNum(refNum);
    return node ? node->record : nullptr;
}

// By the identity of the name pointer; a name beginning "System." is the system module.
RALModuleRecord* FindByName(const char* name) {
    for (ListNode* n = gModules; n; n = n->next)
        if (n->record && n->record->name == name) return n->record;
    if (name && std::strncmp(name, "System.", 7) == 0) {
        for (ListNode* n = gModules; n; n = n->next) {
            if (n->record && n->record->handle == gSystemHandle) {
                n->record->name = name;
                return n->record;
            }
        }
    }
    return nullptr;
}

// Drops one use of every module that `record` imported, never below zero, and its links to them.
void ReleaseDependencies(RALModuleRecord* record) {
    for (ListNode* d = record->dependencies; d; d = d->next)
        if (d->record && d->record->useCount > 0) --d->record->useCount;
    FreeList(&record->dependencies);
}

// Removes every dependency link that names `record`, which is about to be freed.
void ForgetRecord(RALModuleRecord* record) {
    for (ListNode* n = gModules; n; n = n->next) {
        if (!n->record) continue;
        ListNode* d = n->record->dependencies;
        while (d) {
            ListNode* next = d->next;
            if (d->record == record) Unlink(&n->record->dependencies, d);
            d = next;
        }
    }
}

bool IsOwnOrSystem(void* handle) { return handle == gKezHandle || handle == gSystemHandle; }

template <typename Proc>
Proc Symbol(void* handle, const char* name) {
    return reinterpret_cast<Proc>(dlsym(handle, name));
}

void* PrvSafeLoadLibrary(const char* name) {
    if (!name) return nullptr;
    if (gExePath[0] == '\0' || gExePathLength == 0)
        sys::SysDebugMessage("PrvSafeLoadLibrary(): gExePath reset");
    KEZ_CALL(HALTrace, 0xFF00, "PrvSafeLoadLibrary(): loading [%s]", name);
    size_t dirLength = std::strlen(gExePath), nameLength = std::strlen(name);
    auto* path = static_cast<char*>(std::malloc(dirLength + nameLength + 1));
    if (!path) return nullptr;
    std::memcpy(path, gExePath, dirLength);
    std::memcpy(path + dirLength, name, nameLength + 1);
    size_t length = dirLength + nameLength;
    if (length > 4 && std::strcmp(path + length - 4, ".dll") == 0) std::strcpy(path + length - 3, "so");
    void* handle = dlopen(path, RTLD_NOW);
    if (!handle) {
        const char* error = dlerror();
        KEZ_CALL(HALTrace, 0xFF00, "PrvSafeLoadLibrary(): Can't load [%s] - %s", name,
                 error ? error : "");
        KEZ_CALL(HALTrace, 0xFF00, "PrvSafeLoadLibrary(): [%s]", path);
    }
    std::free(path);
    return handle;
}

// The closing half of an unload: the module hears 0x7FFF and is closed. A module without
// ModuleEntryPoint is closed all the same (its record and handle are not leaked).
struct CloseResult {
    bool missingEntry = false;
    bool closeFailed = false;
};
CloseResult CloseModule(RALModuleRecord* record) {
    CloseResult result;
    if (!IsOwnOrSystem(record->handle)) {
        auto entry = Symbol<ModuleEntryPointProc>(record->handle, "ModuleEntryPoint");
        if (entry) entry(ModuleLaunchCodeUnload, nullptr, 0);
        else result.missingEntry = true;
        result.closeFailed = dlclose(record->handle) != 0;
    }
    return result;
}

// The export table of a module and, when asked, its slot count.
uint16_t GetExportTable(uint32_t refNum, ModuleProc** table, uint32_t* count) {
    *table = nullptr;
    if (count) *count = 0;
    ModuleExportDispatchTableProc exportTable;
    ModuleExportModuleInfoProc info;
    {
        ListLock lock;
        RALModuleRecord* record = FindByRefNum(refNum);
        if (!record) return kFailed;
        exportTable = Symbol<ModuleExportDispatchTableProc>(record->handle, "__ExportDispatchTable");
        info = Symbol<ModuleExportModuleInfoProc>(record->handle, "__ExportModuleInfo");
        if (!exportTable || !info) return kFailed;
    }
    uint32_t out = 0;
    exportTable(&out);
    *table = reinterpret_cast<ModuleProc*>(static_cast<uintptr_t>(out));
    if (count) {
        const ModuleInfoRecord* record = info();
        *count = record ? record->slotCount : 0;
    }
    return 0;
}

uint32_t RALCallEntry(uint32_t (*function)(uint32_t), uint32_t argument) {
    return function ? function(argument) : kFailed;
}
KEZ_SLOT(RALCallEntry, RALCallEntry)

uint16_t RALGetEntryAddresses(uint32_t refNum, uint32_t first, uint32_t last, uint32_t* entries) {
    if (!entries || last < first) return kFailed;
    if (first == 0xFFFFFFFF && last == 0xFFFFFFFF) {
        ListLock lock;
        RALModuleRecord* record = FindByRefNum(refNum);
        void* entry = record ? dlsym(record->handle, "ModuleEntryPoint") : nullptr;
        if (!entry) return kFailed;
        entries[0] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(entry));
        return 0;
    }
    // The range is bounded like the first index, so that the zero fill stays within a table's
    // worth of entries.
    if (first >= 1024 || last - first >= 1024) return kFailed;
    ModuleProc* table;
    uint32_t count;
    if (uint16_t error = GetExportTable(refNum, &table, &count)) return error;
    if (first >= count) return kFailed;
    uint32_t i = first;
    for (; i <= last && i < count; ++i)
        entries[i - first] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(table[i]));
    for (; i <= last; ++i) entries[i - first] = 0;
    return 0;
}
KEZ_SLOT(RALGetEntryAddresses, RALGetEntryAddresses)

uint16_t RALGetModuleInfo(const RALLoadDescriptor* descriptor, uint32_t* info) {
    if (!info) return kFailed;
    ListLock lock;
    const char* name = descriptor ? reinterpret_cast<const char*>(descriptor->words[3]) : nullptr;
    RALModuleRecord* record = FindByName(name);
    info[0] = record ? record->refNum : 0xFFFFFFFF;
    info[1] = record ? 0 : 4;
    info[2] = info[3] = 0xFFFFFFFF;
    auto moduleInfo = record ? Symbol<ModuleExportModuleInfoProc>(record->handle, "__ExportModuleInfo")
                             : nullptr;
    if (const ModuleInfoRecord* r = moduleInfo ? moduleInfo() : nullptr) {
        info[2] = r->version;
        info[3] = r->slotCount;
    }
    return 0;
}
KEZ_SLOT(RALGetModuleInfo, RALGetModuleInfo)

// No module data is kept.
uint16_t RALGetModuleData(uint32_t, uint32_t* data) {
    if (data) *data = 0;
    return kFailed;
}
KEZ_SLOT(RALGetModuleData, RALGetModuleData)

uint16_t RALImportModule(uint32_t libraryRefNum, uint32_t importerRefNum, uint32_t* table) {
    if (table) *table = 0;
    ListLock lock;
    RALModuleRecord* library = FindByRefNum(libraryRefNum);
    RALModuleRecord* importer = FindByRefNum(importerRefNum);
    if (!library || !importer) return kFailed;
    LinkAtHead(&importer->dependencies, library);
    if (auto exportTable = Symbol<ModuleExportDispatchTableProc>(library->handle, "__ExportDispatchTable"))
        exportTable(table);
    return 0;
}
KEZ_SLOT(RALImportModule, RALImportModule)

uint16_t RALLoadModule(const RALLoadDescriptor* descriptor, uint32_t argument, uint32_t* entry,
                       uint32_t* refNum) {
    if (!descriptor || !refNum) return kFailed;
    const char* name = reinterpret_cast<const char*>(descriptor->words[3]);
    RALModuleRecord* record;
    {
        ListLock lock;
        if ((record = FindByName(name))) {
            *refNum = record->refNum;
            ++record->useCount;
            if (!entry) return 0;
            void* address = dlsym(record->handle, "ModuleEntryPoint");
            *entry = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
            return address ? 0 : kFailed;
        }
        record = static_cast<RALModuleRecord*>(std::calloc(1, sizeof(RALModuleRecord)));
        if (!record) return kFailed;
        record->handle = PrvSafeLoadLibrary(name);
        if (!record->handle) {
            std::free(record);
            return kFailed;
        }
        record->name = name;
        record->useCount = 1;
        std::memcpy(record->descriptor, descriptor->words, sizeof record->descriptor);
        record->argument = argument;
        record->refNum = gRefCounter++;
        *refNum = record->refNum;
        LinkAtHead(&gModules, record);
    }
    void* handle = record->handle;
    if (auto setRefNum = Symbol<ModuleSetRefNumProc>(handle, "__SetRefNum")) setRefNum(*refNum);
    if (auto setSystem = Symbol<ModuleSetDispatchTableSystemProc>(handle, "__SetDispatchTableSystem"))
        setSystem(glue::SystemTable());
    if (auto setMine = Symbol<ModuleSetMyDispatchTableProc>(handle, "__SetMyDispatchTable")) setMine();
    if (!entry) return 0;
    auto moduleEntry = Symbol<ModuleEntryPointProc>(handle, "ModuleEntryPoint");
    *entry = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(moduleEntry));
    if (!moduleEntry) return kFailed;
    moduleEntry(ModuleLaunchCodeLoad, nullptr, 0);
    return 0;
}
KEZ_SLOT(RALLoadModule, RALLoadModule)

uint16_t RALPatchEntry(uint32_t refNum, uint32_t slot, uint32_t newEntry, uint32_t* oldEntry) {
    if (oldEntry) *oldEntry = 0;
    ModuleProc* table;
    uint32_t count;
    if (uint16_t error = GetExportTable(refNum, &table, &count)) return error;
    if (slot >= count) return kFailed;
    if (oldEntry) *oldEntry = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(table[slot]));
    table[slot] = reinterpret_cast<ModuleProc>(static_cast<uintptr_t>(newEntry));
    return 0;
}
KEZ_SLOT(RALPatchEntry, RALPatchEntry)

uint16_t RALUnloadModule(uint32_t refNum, uint32_t* descriptorWords, uint32_t* argument) {
    RALModuleRecord* record;
    {
        ListLock lock;
        ListNode* node = NodeByRefNum(refNum);
        if (!node) return kFailed;
        record = node->record;
        if (descriptorWords) std::memcpy(descriptorWords, record->descriptor, sizeof record->descriptor);
        if (argument) *argument = record->argument;
        if (record->useCount > 0) --record->useCount;
        if (record->useCount > 0) {
            if (argument) *argument = 0;
            return 0;
        }
        ReleaseDependencies(record);
        ForgetRecord(record);
        Unlink(&gModules, node);
    }
    CloseResult closed = CloseModule(record);
    std::free(record);
    return closed.missingEntry || closed.closeFailed ? kFailed : 0;
}
KEZ_SLOT(RALUnloadModule, RALUnloadModule)

uint16_t RALUnloadUnusedModule(uint32_t* refNum, uint32_t* descriptorWords, uint32_t* argument) {
    ListLock lock;
    for (ListNode* node = gModules; node; node = node->next) {
        RALModuleRecord* record = node->record;
        if (!record || record->useCount != 0) continue;
        if (refNum) *refNum = record->refNum;
        if (descriptorWords) std::memcpy(descriptorWords, record->descriptor, sizeof record->descriptor);
        if (argument) *argument = record->argument;
        ReleaseDependencies(record);
        ForgetRecord(record);
        Unlink(&gModules, node);
        // Here the entry call and dlclose run under the (recursive) lock; a failed close is ignored.
        CloseResult closed = CloseModule(record);
        std::free(record);
        return closed.missingEntry ? kFailed : 0;
    }
    return 1;
}
KEZ_SLOT(RALUnloadUnusedModule, RALUnloadUnusedModule)

void Filler167() {}

}  // namespace

uint16_t PrvRALInitialize() {
    ListLock lock;
    gRefCounter = 0;
    gModules = nullptr;
    auto* system = static_cast<RALModuleRecord*>(std::calloc(1, sizeof(RALModuleRecord)));
    if (system) {
        system->refNum = kSystemRefNum;
        system->handle = gSystemHandle;
        system->useCount = 1;
        LinkAtHead(&gModules, system);
    }
    __SetMyDispatchTable();
    // The backup of Kez's export table, sized from Kez's own info record.
    auto info = gKezHandle ? Symbol<ModuleExportModuleInfoProc>(gKezHandle, "__ExportModuleInfo")
                           : nullptr;
    const ModuleInfoRecord* record = info ? info() : glue::ModuleInfo();
    gBackupCount = record ? record->slotCount : kKezSlots;
    if (gBackupCount > kKezSlots) gBackupCount = kKezSlots;
    gBackup = static_cast<ModuleProc*>(std::malloc(gBackupCount * sizeof(ModuleProc)));
    if (gBackup) std::memcpy(gBackup, ExportTable(), gBackupCount * sizeof(ModuleProc));
    return 0;
}

uint16_t PrvRALDispose() {
    KEZ_CALL(HALTrace, 0xF200, "PrvRALDispose : trying to acquire code res list critical section");
    {
        ListLock lock;
        KEZ_CALL(HALTrace, 0xF200, "PrvRALDispose : got it");
        while (gModules) {
            RALModuleRecord* record = gModules->record;
            if (record) {
                if (record->handle && record->handle != gSystemHandle) dlclose(record->handle);
                FreeList(&record->dependencies);
                std::free(record);
            }
            Unlink(&gModules, gModules);
        }
        KEZ_CALL(HALTrace, 0xF200, "PrvRALDispose : final clean up");
    }
    if (gBackup) {
        std::memcpy(ExportTable(), gBackup, gBackupCount * sizeof(ModuleProc));
        std::free(gBackup);
        gBackup = nullptr;
    }
    return 0;
}

const char* PrvRALGetExePath() { return gExePath; }

}  // namespace kez

KEZ_SLOT_FILLER(167, kez::Filler167)

extern "C" {

VANTOR_EXPORT uint32_t PrvRALSetExePath(const char* path) {
    if (!path) path = "";
    std::strncpy(kez::gExePath, path, sizeof kez::gExePath);
    kez::gExePath[sizeof kez::gExePath - 1] = '\0';
    kez::gExePathLength = static_cast<uint32_t>(std::strlen(kez::gExePath));
    return kez::gExePathLength;
}

VANTOR_EXPORT void PrvRALPatchHandles(void* kezHandle, void* systemHandle) {
    kez::gKezHandle = kezHandle;
    kez::gSystemHandle = systemHandle;
}

VANTOR_EXPORT void PrvPatchSystemDispatchTable(SystemDispatchTable table) {
    glue::SetSystemTable(table);
}

}  // extern "C"
