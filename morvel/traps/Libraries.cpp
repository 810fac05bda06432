#include "morvel/traps/Libraries.h"

#include <cstring>
#include <list>
#include <type_traits>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/RefusalList.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {

using trapglue::Addr;
using trapglue::Global;
using trapglue::Ptr;

using vantor::A68kLibEntry;
using vantor::A68kLibTableEntry;

namespace {

constexpr const char* kFile = "Library68K";
constexpr uint32_t kInitialEntries = 4;
constexpr uint16_t kTrapLibBase = 0xA800;
constexpr uint16_t kEntrySleep = 3, kEntryWake = 4;

// The libraries that SysLibFind loads when they are not installed: 44 bytes per row.
struct KnownLibrary {
    char name[32];
    uint32_t type;
    uint32_t creator;
    uint16_t loadableWhileRestricted;
    uint16_t native;
};
static_assert(sizeof(KnownLibrary) == 44);
constexpr KnownLibrary kKnownLibraries[] = {
    {"IrDA Library", vantor::FourCC("exgl"), vantor::FourCC("irda"), 0, 1},
    {"Serial Library", vantor::FourCC("libr"), vantor::FourCC("swrp"), 1, 0},
    {"Shortcuts Library", vantor::FourCC("libr"), vantor::FourCC("scrv"), 1, 1},
    {"Sockra.lib", vantor::FourCC("libr"), vantor::FourCC("sokr"), 0, 1},
    {"Host File System Library", vantor::kDurnixType, vantor::kDurnixCreator, 0, 1},
    {"SMS Library", vantor::FourCC("exgl"), vantor::FourCC("smsl"), 0, 1},
};

// Native library modules that this environment loaded through Kez's module loader. The loader
// knows a module by the identity of its name pointer, so each module keeps one name here for as
// long as it is loaded (list nodes never move).
struct NativeModule {
    uint32_t dbID;
    char name[32];
    uint32_t refNum;
    uint32_t uses;
};
std::list<NativeModule> gNativeModules;

bool Is68K(const A68kLibTableEntry* e) { return e->moduleRef == vantor::kA68kLibKind68K; }

void ClearEntry(A68kLibTableEntry* e) {
    std::memset(e, 0, sizeof *e);
    e->moduleRef = vantor::kA68kLibKind68K;
}

A68kLibTableEntry* NewEntry() {
    auto* e = static_cast<A68kLibTableEntry*>(vantor::sys::MemPtrNew(sizeof(A68kLibTableEntry)));
    if (!e) return nullptr;
    vantor::sys::MemPtrSetOwner(e, 0);
    ClearEntry(e);
    return e;
}

// The table with at least one free entry from index 1 on; the index of that entry, or 0 when
// memory ran out. The table holds entry pointers: growing it never moves an entry that a library
// holds.
uint16_t FreeEntry(EmulState* g) {
    if (!g->libTable) {
        auto* table = static_cast<A68kLibTableEntry**>(vantor::sys::MemPtrNew(kInitialEntries * sizeof(void*)));
        if (!table) return 0;
        vantor::sys::MemPtrSetOwner(table, 0);
        for (uint32_t i = 0; i < kInitialEntries; ++i) table[i] = NewEntry();
        g->libTable = table;
        g->libCount = kInitialEntries;
    }
    for (uint32_t i = 1; i < g->libCount; ++i) {
        A68kLibTableEntry*& e = g->libTable[i];
        if (!e) e = NewEntry();  // an entry whose allocation failed earlier
        if (e && e->dispatch == 0 && e->install == 0) return static_cast<uint16_t>(i);
    }
    if (g->libCount >= kNoLibRef) return 0;
    uint32_t count = g->libCount + 1;
    auto* table = static_cast<A68kLibTableEntry**>(vantor::sys::MemPtrNew(count * sizeof(void*)));
    A68kLibTableEntry* e = table ? NewEntry() : nullptr;
    if (!e) {
        if (table) vantor::sys::MemChunkFree(table);
        return 0;
    }
    vantor::sys::MemPtrSetOwner(table, 0);
    std::memcpy(table, g->libTable, g->libCount * sizeof(void*));
    table[g->libCount] = e;
    vantor::sys::MemChunkFree(g->libTable);
    g->libTable = table;
    g->libCount = count;
    return static_cast<uint16_t>(count - 1);
}

A68kLibTableEntry* EntryAt(EmulState* g, uint16_t refNum) {
    if (!g->libTable || refNum == 0 || refNum >= g->libCount) return nullptr;
    A68kLibTableEntry* e = g->libTable[refNum];
    return e && e->dispatch ? e : nullptr;
}

// The routine of entry `index` of a 68K library's dispatch table, or 0 beyond its table.
uint32_t Routine68K(const A68kLibTableEntry* e, uint32_t index) {
    uint32_t table = vantor::ReadBE32(&e->dispatch);
    uint32_t entries = Read68KUInt16(table, 2) / 2u;
    if (index >= entries) return 0;
    return table + Read68KUInt16(table, index * 2);
}

// ---- native library modules ----

uint16_t KezLoadModule(const char* name, uint32_t* entry, uint32_t* refNum) {
    vantor::RALLoadDescriptor d{};
    d.words[3] = Addr(name);
    return KezImport().Call<vantor::kezsig::RALLoadModule>(vantor::kezslot::RALLoadModule, &d, 0, entry, refNum);
}

void ReleaseNativeModule(uint32_t refNum) {
    for (auto it = gNativeModules.begin(); it != gNativeModules.end(); ++it) {
        if (it->refNum != refNum) continue;
        KezImport().Call<vantor::kezsig::RALUnloadModule>(vantor::kezslot::RALUnloadModule, refNum, nullptr,
                                                          nullptr);
        if (--it->uses == 0) gNativeModules.erase(it);
        return;
    }
}

// The newest database of that type and creator, opened (0 when there is none); its id in `dbID`.
uint32_t OpenLibraryDatabase(uint32_t type, uint32_t creator, uint32_t* dbID) {
    vantor::SysDmSearchState search{};
    uint32_t dbRef = 0;
    if (vantor::sys::DmFindNewestDatabase(1, type, creator, 1, &search, &dbRef) != 0 || !dbRef) return 0;
    if (vantor::sys::DmOpenDatabaseIdentity(dbRef, dbID, nullptr, nullptr) == 0) return dbRef;
    vantor::sys::DmCloseDatabase(dbRef);
    return 0;
}

bool OsRestrictsLoading() {
    auto* globals = static_cast<const uint8_t*>(vantor::sys::SysGetGlobals());
    return globals && (globals[vantor::kOsGlobalsFlagByte] & vantor::kOsFlagRestrictedLoad);
}

uint16_t ReportNoMemory(uint16_t line) {
    ErrDisplayFileLineMsg(kFile, line, "Not enough memory for the library table");
    return kErrLibNoMemory;
}

}  // namespace

uint16_t LibInstallEntry(EmulState* s, uint32_t routine, bool native, uint16_t* refNum) {
    *refNum = kNoLibRef;
    if (!routine) return kErrLibBadRef;
    std::lock_guard lock(SharedTablesLock());
    EmulState* g = Global(s);
    for (uint32_t i = 1; g->libTable && i < g->libCount; ++i) {
        A68kLibTableEntry* e = g->libTable[i];
        if (!e || !e->dispatch) continue;
        bool same = native ? (!Is68K(e) && e->dispatch == routine) : (Is68K(e) && e->install == routine);
        if (same) {
            ++e->installCount;
            *refNum = static_cast<uint16_t>(i);
            return 0;
        }
    }
    uint16_t index = FreeEntry(g);
    if (index == 0) return ReportNoMemory(171);
    A68kLibTableEntry* e = g->libTable[index];
    ClearEntry(e);
    e->install = routine;  // holds the entry while the install routine runs
    // Whatever way the install ends, a failed one leaves the entry free.
    struct Release {
        A68kLibTableEntry* e;
        bool done = false;
        ~Release() {
            if (!done) ClearEntry(e);
        }
    } release{e};
    uint16_t err;
    if (native) {
        e->moduleRef = vantor::kA68kLibNoModule;
        err = Ptr<std::remove_pointer_t<A68kLibEntry>>(routine)(s, e, vantor::kA68kLibSelectorName);
        if (err == 0) e->dispatch = routine;
    } else {
        // The install routine is called as install(refNum, entry), first argument lowest.
        Write68KUInt16(s->A[7] - 6, 0, index);
        Write68KUInt32(s->A[7] - 4, 0, Addr(e));
        Call68KCode(s, routine, 6);
        err = static_cast<uint16_t>(s->D[0]);
        if (err == 0 && e->dispatch == 0) err = kErrLibNotFound;  // it stored no dispatch table
        if (err == 0) {
            uint32_t table = vantor::ReadBE32(&e->dispatch);
            e->name = table + Read68KUInt16(table, 0);
        }
    }
    if (err) return err;
    release.done = true;
    ++e->installCount;
    *refNum = index;
    return 0;
}

uint16_t LibLoad68K(EmulState* s, uint32_t type, uint32_t creator, uint16_t* refNum) {
    *refNum = kNoLibRef;
    std::lock_guard lock(SharedTablesLock());
    uint32_t dbID = 0;
    uint32_t dbRef = OpenLibraryDatabase(type, creator, &dbID);
    if (!dbRef) return kErrLibNotFound;
    if (RefusalListRefuses(Global(s), dbID)) {
        vantor::sys::DmCloseDatabase(dbRef);
        return kErrLibNotFound;
    }
    uint16_t index = vantor::sys::DmFindResource(dbRef, vantor::FourCC("libr"), 0, nullptr);
    void* handle = index == 0xFFFF ? nullptr : vantor::sys::DmGetResourceIndex(dbRef, index);
    void* code = handle ? vantor::sys::MemHandleLock(handle) : nullptr;
    uint16_t err = code ? LibInstallEntry(s, Addr(code), false, refNum) : kErrLibCantOpen;
    A68kLibTableEntry* e = err ? nullptr : LibTableEntry(s, *refNum);
    if (e && e->dbRef == 0) {
        e->dbRef = vantor::ReadBE32(&dbRef);
        e->codeHandle = vantor::ReadBE32(&handle);
        return 0;
    }
    // A failed install, or one that found the library installed already: that entry holds its own
    // references, so this load's are given back at once.
    if (code) vantor::sys::MemHandleUnlock(handle);
    if (handle) vantor::sys::DmReleaseResource(handle);
    vantor::sys::DmCloseDatabase(dbRef);
    return err;
}

uint16_t LibLoadNative(EmulState* s, uint32_t type, uint32_t creator, uint16_t* refNum) {
    *refNum = kNoLibRef;
    std::lock_guard lock(SharedTablesLock());
    uint32_t dbID = 0;
    uint32_t dbRef = OpenLibraryDatabase(type, creator, &dbID);
    if (!dbRef) return kErrLibNotFound;
    char name[32] = {};
    uint16_t err = vantor::sys::DmDatabaseInfoByID(dbID, name, nullptr, nullptr, nullptr, nullptr, nullptr);
    vantor::sys::DmCloseDatabase(dbRef);
    if (err) return kErrLibNotFound;
    name[sizeof name - 1] = 0;

    NativeModule* module = nullptr;
    for (NativeModule& m : gNativeModules)
        if (m.dbID == dbID) module = &m;
    bool fresh = module == nullptr;
    if (fresh) {
        module = &gNativeModules.emplace_back();
        module->dbID = dbID;
        std::memcpy(module->name, name, sizeof name);
    }
    constexpr uint32_t kNone = 0xFFFFFFFF;
    uint32_t entryPoint = 0, moduleRef = kNone;
    uint16_t loaded = KezLoadModule(module->name, &entryPoint, &moduleRef);
    if (moduleRef != kNone) {  // the loader counted a use, even when the module has no entry
        module->refNum = moduleRef;
        ++module->uses;
    }
    if (loaded != 0 || !entryPoint) {
        if (moduleRef != kNone) ReleaseNativeModule(moduleRef);
        else if (fresh) gNativeModules.pop_back();
        return kErrLibNotFound;
    }
    uint32_t libEntry = 0;
    Ptr<std::remove_pointer_t<ModuleEntryPointProc>>(entryPoint)(vantor::ModuleLaunchCodeGetEntry, &libEntry, 0);
    err = libEntry ? LibInstallEntry(s, libEntry, true, refNum) : kErrLibNotFound;
    A68kLibTableEntry* e = err ? nullptr : LibTableEntry(s, *refNum);
    if (e && e->moduleRef == vantor::kA68kLibNoModule) {
        e->moduleRef = moduleRef;
        return 0;
    }
    ReleaseNativeModule(moduleRef);
    return err;
}

uint16_t LibFind(EmulState* s, const char* name, uint16_t* refNum) {
    *refNum = kNoLibRef;
    if (!name) return kErrLibNotFound;
    std::lock_guard lock(SharedTablesLock());
    EmulState* g = Global(s);
    for (uint32_t i = 1; g->libTable && i < g->libCount; ++i) {
        A68kLibTableEntry* e = g->libTable[i];
        if (e && e->dispatch && e->name && vantor::sys::StrCompare(name, Ptr<const char>(e->name)) == 0) {
            *refNum = static_cast<uint16_t>(i);
            return 0;
        }
    }
    for (const KnownLibrary& known : kKnownLibraries) {
        if (vantor::sys::StrCompare(name, known.name) != 0) continue;
        if (!known.loadableWhileRestricted && OsRestrictsLoading()) return kErrLibNotFound;
        uint16_t err = known.native ? LibLoadNative(s, known.type, known.creator, refNum)
                                    : LibLoad68K(s, known.type, known.creator, refNum);
        return err ? kErrLibNotFound : 0;
    }
    return kErrLibNotFound;
}

uint16_t LibRemove(EmulState* s, uint16_t refNum) {
    if (refNum == kNoLibRef) return kErrLibBadRef;
    std::lock_guard lock(SharedTablesLock());
    A68kLibTableEntry* e = EntryAt(Global(s), refNum);
    if (!e) return kErrLibBadRef;
    if (e->installCount > 1) {
        --e->installCount;
        return 0;
    }
    // The last install: the library is closed once and every reference it holds is released.
    uint16_t err = 0;
    if (Is68K(e)) {
        if (auto* handle = Ptr<void>(vantor::ReadBE32(&e->codeHandle))) {
            vantor::sys::MemHandleUnlock(handle);
            vantor::sys::DmReleaseResource(handle);
        }
        if (uint32_t dbRef = vantor::ReadBE32(&e->dbRef)) err = vantor::sys::DmCloseDatabase(dbRef);
    } else {
        err = Ptr<std::remove_pointer_t<A68kLibEntry>>(e->dispatch)(s, e, vantor::kA68kLibSelectorClose);
        if (e->moduleRef != vantor::kA68kLibNoModule) ReleaseNativeModule(e->moduleRef);
    }
    ClearEntry(e);
    return err;
}

A68kLibTableEntry* LibTableEntry(EmulState* s, uint16_t refNum) {
    std::lock_guard lock(SharedTablesLock());
    return EntryAt(Global(s), refNum);
}

uint8_t LibCallEntry(EmulState* s, uint16_t refNum, uint16_t trap, uint32_t argBytes) {
    uint32_t routine = 0;
    {
        std::lock_guard lock(SharedTablesLock());
        A68kLibTableEntry* e = EntryAt(Global(s), refNum);
        if (!e || !Is68K(e) || trap < kTrapLibBase) return 0;
        routine = Routine68K(e, trap - kTrapLibBase);
    }
    if (!routine) return 0;
    Call68KCode(s, routine, argBytes);
    return 1;
}

namespace {

// Calls a native library's entry, taken under the lock: another task may remove the library.
// False when the entry is no native library's.
bool CallNative(EmulState* s, uint16_t refNum, uint16_t selector, uint16_t* result) {
    A68kLibTableEntry* e;
    uint32_t dispatch;
    {
        std::lock_guard lock(SharedTablesLock());
        e = EntryAt(Global(s), refNum);
        if (!e || Is68K(e)) return false;
        dispatch = e->dispatch;
    }
    *result = Ptr<std::remove_pointer_t<A68kLibEntry>>(dispatch)(s, e, selector);
    return true;
}

}  // namespace

uint8_t LibTrapDispatch(EmulState* s, uint16_t trap) {
    auto refNum = static_cast<uint16_t>(GetArgUInt16(s, 0));
    uint16_t result;
    if (CallNative(s, refNum, trap, &result)) return result == 0;
    return LibCallEntry(s, refNum, trap, 0);
}

void LibSleepWake(EmulState* s, bool sleep) {
    uint32_t count;
    {
        std::lock_guard lock(SharedTablesLock());
        count = Global(s)->libTable ? Global(s)->libCount : 0;
    }
    auto trap = static_cast<uint16_t>(kTrapLibBase + (sleep ? kEntrySleep : kEntryWake));
    for (uint32_t i = 1; i < count; ++i) {
        auto refNum = static_cast<uint16_t>(i);
        uint16_t result;
        if (CallNative(s, refNum, trap, &result)) continue;
        // A 68K library gets its reference number as the argument.
        Write68KUInt16(s->A[7] - 2, 0, refNum);
        LibCallEntry(s, refNum, trap, 2);
    }
}

void LibTableFree(EmulState* g) {
    std::lock_guard lock(SharedTablesLock());
    if (!g->libTable) return;
    for (uint32_t i = 0; i < g->libCount; ++i)
        if (g->libTable[i]) vantor::sys::MemChunkFree(g->libTable[i]);
    vantor::sys::MemChunkFree(g->libTable);
    g->libTable = nullptr;
    g->libCount = 0;
}

namespace {

void WriteRefNum(uint32_t p, uint16_t refNum) {
    if (p) Write68KUInt16(p, 0, refNum);
}

void TrapSysLibInstall(EmulState* s, uint16_t) {
    uint16_t refNum;
    uint16_t err = LibInstallEntry(s, GetArgPtr(s, 0), false, &refNum);
    WriteRefNum(GetArgPtr(s, 4), refNum);
    SetResultD0UInt16(s, err);
}
void TrapSysLibRemove(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, LibRemove(s, static_cast<uint16_t>(GetArgUInt16(s, 0))));
}
void TrapSysLibTblEntry(EmulState* s, uint16_t) {
    uint32_t e = Addr(LibTableEntry(s, static_cast<uint16_t>(GetArgUInt16(s, 0))));
    SetResultA0(s, e);
    SetResultD0UInt32(s, e);
}
void TrapSysLibFind(EmulState* s, uint16_t) {
    uint16_t refNum;
    uint16_t err = LibFind(s, Ptr<const char>(GetArgPtr(s, 0)), &refNum);
    WriteRefNum(GetArgPtr(s, 4), refNum);
    SetResultD0UInt16(s, err);
}
void TrapSysLibLoad(EmulState* s, uint16_t) {
    uint16_t refNum;
    uint16_t err = LibLoad68K(s, GetArgUInt32(s, 0), GetArgUInt32(s, 4), &refNum);
    WriteRefNum(GetArgPtr(s, 8), refNum);
    SetResultD0UInt16(s, err);
}

}  // namespace

void LibraryGlueInstall(TrapHandler* t) {
    t[0x0B7] = TrapSysLibInstall;
    t[0x0B8] = TrapSysLibRemove;
    t[0x0B9] = TrapSysLibTblEntry;
    t[0x0BA] = TrapSysLibFind;
    t[0x2AC] = TrapSysLibLoad;
}

}  // namespace morvel
