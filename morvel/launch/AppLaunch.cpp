#include "morvel/launch/AppLaunch.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/ContextGate.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/launch/AppGlobals.h"
#include "morvel/launch/LaunchParams.h"
#include "morvel/nub/DebuggerNub.h"
#include "morvel/traps/BitmapGlue.h"
#include "morvel/traps/CommsGlue.h"
#include "morvel/traps/ErrorGlue.h"
#include "morvel/traps/FormGlue.h"
#include "morvel/traps/Libraries.h"
#include "morvel/traps/ListGlue.h"
#include "morvel/traps/MenuGlue.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/RefusalList.h"
#include "morvel/traps/SystemGlue.h"
#include "morvel/traps/Thunks.h"
#include "morvel/traps/TimeGlue.h"
#include "morvel/traps/TrapTable.h"
#include "morvel/traps/TrapGlue.h"
#include "morvel/traps/WindowGlue.h"

namespace morvel {

using trapglue::Addr;
using trapglue::Ptr;

const char kReserveName[] = "Tolv Data Store Reserve";

namespace {

using vantor::FourCC;
namespace sys = vantor::sys;

constexpr uint32_t kA68k = FourCC("a68k");
constexpr uint16_t kErrNoMemory = 0x0102;
constexpr uint16_t kErrParam = 0x0502;
constexpr uint16_t kErrCantConvert = 0x0505;
constexpr uint16_t kErrRefused = 0x3402;
constexpr uint16_t kModeReadOnly = 1, kModeReadWrite = 3;
constexpr uint16_t kAttrOpenedOnce = 0x0400;
constexpr uint16_t kErrDatabaseOpen = 0x021B;
constexpr uint16_t kTaggedAppSwitchBlock = 7;

uint32_t InfoAddr(EmulState* s) { return Addr(s->appInfo); }
uint16_t InfoFlags(const EmulState* s) { return vantor::ReadBE16(s->appInfo + kInfoFlags); }

uint8_t* TaskRecord() { return static_cast<uint8_t*>(sys::SysGetTaskRecord()); }
uint32_t TaskWord(const uint8_t* record, uint32_t offset) {
    uint32_t v;
    std::memcpy(&v, record + offset, 4);
    return v;
}

EmulState* NewContext() {
    auto* s = static_cast<EmulState*>(sys::MemPtrNew(sizeof(EmulState)));
    if (s) std::memset(s, 0, sizeof *s);
    return s;
}

// The 68K stack: one chunk that never moves, at least the default size, its first byte marked.
bool StackCreate(EmulState* s, uint32_t size) {
    size = std::max(size, kDefaultStackSize);
    auto* chunk = static_cast<uint8_t*>(sys::MemChunkNew(0, size, 0x200));
    if (!chunk) return false;
    chunk[0] = 0xFE;
    s->appStack = chunk;
    vantor::WriteBE32(s->appInfo + kInfoStackBase, Addr(chunk));
    vantor::WriteBE32(s->appInfo + kInfoStackEnd, Addr(chunk) + size - 1);
    s->A[7] = Addr(chunk) + size;
    return true;
}

void StackFree(EmulState* s) {
    if (s->appStack) sys::MemChunkFree(s->appStack);
    s->appStack = nullptr;
}

// The regions of pointer validation: the areas of kinds 1, 2 and 0 that Kez lists.
void RegionsFill(EmulState* s) {
    const vantor::KezMemoryAreas* areas =
        KezImport().Call<vantor::kezsig::HALMemoryGetAreas>(vantor::kezslot::HALMemoryGetAreas);
    if (!areas || !areas->areas) return;
    for (uint32_t i = 0; i < areas->count; ++i) {
        const vantor::KezMemoryArea& a = areas->areas[i];
        int region = a.kind == 1 ? 0 : a.kind == 2 ? 1 : a.kind == 0 ? 2 : -1;
        if (region >= 0) s->regions[region] = {a.base, a.size};
    }
}

void ContextFree(EmulState* s) {
    ProcAlarmsFree(s);
    CommsGlueFree(s);
    SystemGlueFree(s);
    FormShadowFreeAll(s);
    WindowShadowsFreeAll(s);
    BitmapShadowsFreeAll(s);
    ListGlueFree(s);
    MenuShadowsFreeAll(s);
    ContextGateReset(s);
    TryFramesFree(s);
    TaggedNodesFree(s);
    StackFree(s);
    sys::MemChunkFree(s);
}

// ---- the storage reserve ----

uint32_t ReserveFind(bool create) {
    uint32_t id = sys::DmFindDatabaseByNameCreatorType(kReserveName, kA68k, kA68k);
    if (!id && create && sys::DmCreateDatabaseNamed(0, kReserveName, kA68k, kA68k, 1) == 0)
        id = sys::DmFindDatabaseByNameCreatorType(kReserveName, kA68k, kA68k);
    return id;
}

uint16_t ReserveIndex(uint32_t ref) { return sys::DmFindResource(ref, FourCC("tbin"), 0, nullptr); }

// ---- resource cache databases ----

uint32_t CacheFind(const char* name, uint32_t creator, bool create, uint16_t* err) {
    uint32_t id = sys::DmFindDatabaseByNameCreatorType(name, creator, kA68k);
    if (id || !create) return id;
    *err = sys::DmCreateDatabaseNamed(0, name, creator, kA68k, 1);
    id = sys::DmFindDatabaseByNameCreatorType(name, creator, kA68k);
    if (!id && !*err) *err = sys::DmGetLastErr();
    return id;
}

// Gives the launch its cache: the application's database is closed and opened again after the
// cache, so that resource searches find the application first and the cache next.
uint16_t CacheSetUp(EmulState* s) {
    uint8_t* record = TaskRecord();
    if (!record) return kErrParam;
    uint32_t appRef = TaskWord(record, vantor::kTaskRecordAppDbRef), appID = 0;
    uint16_t mode = 0, attributes = 0;
    uint32_t type = 0, creator = 0;
    char name[32] = {};
    uint16_t err = sys::DmOpenDatabaseIdentity(appRef, &appID, nullptr, &mode);
    if (!err) err = sys::DmDatabaseInfoByID(appID, name, &attributes, nullptr, nullptr, &type, &creator);
    if (err) return err;
    name[31] = 0;
    char cacheName[32];
    ResourceCacheName(name, creator, type, cacheName);
    uint32_t cacheID = CacheFind(cacheName, creator, true, &err);
    if (!cacheID) return err ? err : kErrParam;
    err = 0;
    if (attributes & kAttrOpenedOnce) sys::DmSetDatabaseAttributes(appID, attributes & ~kAttrOpenedOnce);
    sys::DmCloseDatabase(appRef);
    if (attributes & kAttrOpenedOnce) sys::DmSetDatabaseAttributes(appID, attributes);
    uint32_t cacheRef = sys::DmOpenDatabaseByID(cacheID, kModeReadOnly);
    s->resourceCache = Ptr(cacheRef);
    if (!cacheRef) err = sys::DmGetLastErr();
    uint32_t again = sys::DmOpenDatabaseByID(appID, mode);
    std::memcpy(record + vantor::kTaskRecordAppDbRef, &again, 4);
    vantor::WriteBE32(s->appInfo + kInfoDbRef, again);
    return again ? err : kErrParam;
}

// At the end of a launch: a cache that no one else holds open is emptied.
void CacheCleanUp(EmulState* s, uint16_t code) {
    uint32_t ref = Addr(s->resourceCache);
    if (!ref) return;
    uint32_t id = 0;
    uint16_t count = 0;
    if (sys::DmOpenDatabaseIdentity(ref, &id, &count, nullptr) == 0 && count == 1) {
        if (uint32_t second = sys::DmOpenDatabaseByID(id, kModeReadWrite)) {
            for (uint16_t i = sys::DmNumResources(second); i > 0; --i) sys::DmRemoveResourceByIndex(second, i - 1);
            sys::DmCloseDatabase(second);
        }
        if (code != 0) sys::DmMarkDatabase(id, 1);
    }
    sys::DmCloseDatabase(ref);
    s->resourceCache = nullptr;
}

// A deleted application takes its cache database with it.
uint16_t DeletedDatabaseCallback(vantor::SysNotifyParamType* notify) {
    const auto* details = notify ? static_cast<const uint8_t*>(notify->notifyDetailsP) : nullptr;
    if (!details) return 0;
    char appName[32];
    std::memcpy(appName, details + 8, 31);
    appName[31] = 0;
    uint32_t creator = vantor::ReadBE32(details + 40), type = vantor::ReadBE32(details + 44);
    char name[32];
    ResourceCacheName(appName, creator, type, name);
    uint16_t unused = 0;
    uint32_t id = CacheFind(name, creator, false, &unused);
    if (!id) return 0;
    uint16_t err = sys::DmDeleteDatabaseByID(id);
    for (int calls = 1; err == kErrDatabaseOpen && calls < 255; ++calls) {
        sys::DmMarkDatabase(id, 0);
        err = sys::DmDeleteDatabaseByID(id);
    }
    return 0;
}

// ---- launching ----

// The lists that a sub-call shares with the context it came from.
void ShareLists(EmulState* to, const EmulState* from) {
    std::memcpy(to->formShadows, from->formShadows, sizeof to->formShadows);
    std::memcpy(to->menuShadows, from->menuShadows, sizeof to->menuShadows);
    std::memcpy(to->windowShadows, from->windowShadows, sizeof to->windowShadows);
    std::memcpy(to->bitmapShadows, from->bitmapShadows, sizeof to->bitmapShadows);
    to->taggedNodes = from->taggedNodes;
}

void ShowRefusal(uint32_t dbID) {
    char name[32] = {};
    sys::DmDatabaseInfoByID(dbID, name, nullptr, nullptr, nullptr, nullptr, nullptr);
    name[31] = 0;
    char post[40];
    std::snprintf(post, sizeof post, " [%s]", name);
    sys::ErrAlertCustom(kErrRefused, nullptr, nullptr, post);
}

}  // namespace

void ResourceCacheName(const char* appName, uint32_t creator, uint32_t type, char name[32]) {
    char c[5], t[5];
    vantor::WriteBE32(c, creator);
    vantor::WriteBE32(t, type);
    c[4] = t[4] = 0;
    size_t length = strnlen(appName, 31);
    std::string base(appName, length);
    if (length > 4 && base.compare(length - 4, 4, c) == 0)
        base = base.substr(0, 26) + "_" + t;
    else
        base = base.substr(0, 21) + "_" + c + "_" + t;
    std::memcpy(name, base.c_str(), base.size() + 1);
    sys::StrNCat(name, "_a68k", 32);
}

void ReserveEnsure() {
    uint32_t id = ReserveFind(true);
    uint32_t ref = id ? sys::DmOpenDatabaseByID(id, kModeReadWrite) : 0;
    if (!ref) return;
    uint16_t index = ReserveIndex(ref);
    if (index == 0xFFFF) {
        sys::DmNewResource(ref, FourCC("tbin"), 0, kReserveSize);
    } else {
        uint32_t chunk = 0;
        sys::DmResourceInfo(ref, index, nullptr, nullptr, &chunk);
        if (chunk && sys::MemHandleSize(Ptr(chunk)) != kReserveSize) sys::DmResizeResource(Ptr(chunk), kReserveSize);
    }
    sys::DmCloseDatabase(ref);
}

uint16_t ReserveRelease(EmulState* current) {
    uint32_t id = ReserveFind(false);
    uint32_t ref = id ? sys::DmOpenDatabaseByID(id, kModeReadWrite) : 0;
    if (!ref) return sys::DmGetLastErr();
    uint16_t index = ReserveIndex(ref);
    uint16_t err = index == 0xFFFF ? sys::DmGetLastErr() : sys::DmRemoveResourceByIndex(ref, index);
    if (index != 0xFFFF && err == 0) {
        if (EmulState* g = GetGlobalContext()) g->flags |= kFlagReserveReleased;
        if (current) current->flags |= kFlagReserveReleased;
    }
    sys::DmCloseDatabase(ref);
    return err;
}

void ReserveRestore() {
    EmulState* g = GetGlobalContext();
    if (!g || !(g->flags & kFlagReserveReleased)) return;
    uint32_t id = ReserveFind(false);
    uint32_t ref = id ? sys::DmOpenDatabaseByID(id, kModeReadWrite) : 0;
    if (!ref) return;
    if (ReserveIndex(ref) == 0xFFFF && sys::DmNewResource(ref, FourCC("tbin"), 0, kReserveSize))
        g->flags &= static_cast<uint8_t>(~kFlagReserveReleased);
    sys::DmCloseDatabase(ref);
}

uint16_t EmulatorOpen() {
    if (GetGlobalContext()) return 0;
    EmulState* s = NewContext();
    if (!s) return kErrNoMemory;
    sys::MemPtrSetOwner(s, 0);
    s->global = s;
    SetGlobalContext(s);  // from here on a failure goes through EmulatorClose
    uint16_t err = StackCreate(s, kDefaultStackSize) ? 0 : kErrNoMemory;
    if (!err) {
        RegionsFill(s);
        err = sys::FtrSet(kA68k, 0, Addr(s));
    }
    if (!err) err = sys::FtrSet(FourCC("tolv"), 0, 4);
    if (!err) err = TrapTableCreate(s);
    if (!err) err = sys::FtrSet(kA68k, 1, Addr(s->trapTable));
    if (err) {
        EmulatorClose();
        return err;
    }
    ReserveEnsure();
    sys::SysNotifyRegisterDirect(0xFFFFFFFF, FourCC("dbs-"), DeletedDatabaseCallback, 0, s);
    uint32_t debug = 0;
    if (sys::FtrGet(kA68k, 2, &debug) == 0 && (debug & 0x10)) sys::FtrSet(FourCC("gdbS"), 0, 0x12BEEF34);
    // The console serves the debugger's link from the start; without a console port it stays off.
    ConsoleLaunch();
    if (void* refusals = sys::DmGetResource(FourCC("adwd"), 10000)) {
        RefusalListLoad(s, static_cast<const uint8_t*>(sys::MemHandleLock(refusals)), sys::MemHandleSize(refusals));
        sys::MemHandleUnlock(refusals);
        sys::DmReleaseResource(refusals);
    }
    return 0;
}

void EmulatorClose() {
    EmulState* s = GetGlobalContext();
    if (!s) return;
    // Nothing may name the context once it is gone.
    uint32_t published = 0;
    if (sys::FtrGet(kA68k, 0, &published) == 0 && published == Addr(s)) {
        sys::FtrUnregister(kA68k, 0);
        sys::FtrUnregister(kA68k, 1);
    }
    if (s->trapTable) sys::MemChunkFree(s->trapTable);
    LibTableFree(s);
    while (s->thunks) {
        NativeThunk* next = s->thunks->next;
        sys::MemChunkFree(s->thunks);
        s->thunks = next;
    }
    RefusalListFree(s);
    SetGlobalContext(nullptr);
    if (GetCurrentContext() == s) SetCurrentContext(nullptr);
    ContextFree(s);
}

uint32_t ModuleLaunchEntry(uint16_t code, void* params, uint16_t flags) {
    if (code == vantor::ModuleLaunchCodeLoad || code == vantor::ModuleLaunchCodeUnload) return 0;
    uint16_t card = 0;
    uint32_t dbID = 0, type = 0, creator = 0;
    EmulState* global = GetGlobalContext();
    if (!global || sys::SysCurAppDatabase(&card, &dbID) != 0) return 0;
    sys::DmDatabaseInfoByID(dbID, nullptr, nullptr, nullptr, nullptr, &type, &creator);
    if (RefusalListRefuses(global, dbID)) {
        if (code == 0 || code == 52) ShowRefusal(dbID);
        return 0;
    }
    bool withCache = sys::SysIsEmulationAllowed() != 0;

    EmulState* s = NewContext();
    if (!s) return 0;
    s->contextKind = kContextKindApp;
    s->appDbId = dbID;
    s->appDbType = type;
    s->appDbCreator = creator;
    s->global = global;
    s->nativeLaunchFlags = flags;
    s->nativeLaunchCode = code;
    s->nativeLaunchParams = params;

    EmulState* parent = nullptr;
    EmulState* origin = nullptr;  // the context a sub-call shares its lists with
    bool subCall = false;
    void* params68K = nullptr;
    void* code1 = nullptr;
    uint32_t result = 0;
    do {
        if (params && !(params68K = LaunchParamsTo68K(params, nullptr, code, dbID))) break;
        vantor::WriteBE16(s->appInfo + kInfoLaunchCode, code);
        vantor::WriteBE32(s->appInfo + kInfoParams, Addr(params68K));
        vantor::WriteBE16(s->appInfo + kInfoFlags, flags);

        uint32_t stackSize = kDefaultStackSize;
        if (void* pref = sys::DmGet1Resource(FourCC("pref"), 0)) {
            const auto* p = static_cast<const uint8_t*>(sys::MemHandleLock(pref));
            if (p && sys::MemHandleSize(pref) >= 6) stackSize = vantor::ReadBE32(p + 2);
            sys::MemHandleUnlock(pref);
            sys::DmReleaseResource(pref);
        }
        if (!StackCreate(s, stackSize)) break;
        uint16_t owner = 0;
        if (const uint8_t* record = TaskRecord()) std::memcpy(&owner, record + vantor::kTaskRecordOwnerID, 2);
        vantor::WriteBE16(s->appInfo + kInfoOwner, owner);
        RegionsFill(s);

        parent = GetTaskContext();
        if (parent) {
            s->A[5] = parent->A[5];
            for (EmulState* up = parent; up && !origin; up = up->parent)
                if (up->appDbId == dbID) origin = up;
            subCall = (flags & kLaunchSubCall) || origin;
            if (subCall) {
                if (!origin) origin = parent;
                s->A[5] = origin->A[5];
                ShareLists(s, origin);
            }
            s->nub = parent->nub;
        }
        s->parent = parent;

        if (withCache) {
            if (CacheSetUp(s) != 0) break;
        } else if (const uint8_t* record = TaskRecord()) {
            vantor::WriteBE32(s->appInfo + kInfoDbRef, TaskWord(record, vantor::kTaskRecordAppDbRef));
        }
        void* handle = sys::DmGet1Resource(FourCC("code"), 1);
        if (!handle) break;
        void* entry = sys::MemHandleLock(handle);
        code1 = handle;
        if (!entry) break;
        s->codeResource = handle;
        vantor::WriteBE32(s->appInfo + kInfoCodeHandle, Addr(handle));
        uint32_t system = 0;
        if (sys::FtrGet(FourCC("psys"), 24, &system) == 0 && system > 3) s->flags |= kFlagNewSystem;

        SetCurrentContext(s);
        Call68KCode(s, Addr(entry), 0);
        result = s->D[0];
        SetCurrentContext(parent);
        if (subCall) ShareLists(origin, s);
        if (parent) parent->nub = s->nub;
        if (params68K && params68K != params) LaunchParamsToNative(params68K, params, code, dbID);
    } while (false);

    // The clean-up of every launch that got a context.
    if (code1) {
        if (s->codeResource) sys::MemHandleUnlock(code1);
        sys::DmReleaseResource(code1);
    }
    if (!subCall) TaggedNodesFree(s);
    else s->taggedNodes = nullptr;  // they went back to the context they came from
    // The outermost launch that stopped for the debugger ends the debugger's session.
    if (!parent || !parent->nub) DbgNubClose(s);
    if (subCall) s->formShadows[0] = s->formShadows[1] = nullptr;  // so did the form shadows
    CacheCleanUp(s, code);
    ReserveRestore();
    LaunchParamsFree(params68K, params, code);
    ContextFree(s);
    return result;
}

uint16_t A68kContextNew(const void*, EmulState** context) {
    if (context) *context = nullptr;
    EmulState* global = GetGlobalContext();
    if (!context || !global || !sys::SysIsEmulationAllowed()) return kErrParam;
    EmulState* s = NewContext();
    if (!s) return kErrNoMemory;
    s->global = global;
    if (!StackCreate(s, kDefaultStackSize)) {
        sys::MemChunkFree(s);
        return kErrNoMemory;
    }
    RegionsFill(s);
    *context = s;
    return 0;
}

uint16_t A68kContextDelete(EmulState* s) {
    if (!s || s == GetGlobalContext()) return kErrParam;
    if (GetTaskContext() == s) SetCurrentContext(nullptr);
    ContextFree(s);
    return 0;
}

// ---- application traps ----

namespace {

void WriteOut(uint32_t p, uint32_t value) {
    if (p) Write68KUInt32(p, 0, value);
}

// The nearest context up the parent chain that owns the UI, else this one.
EmulState* UiContext(EmulState* s) {
    for (EmulState* c = s; c; c = c->parent)
        if (InfoFlags(c) & kLaunchUiApp) return c;
    return s;
}

void TrapSysAppLaunch(EmulState* s, uint16_t) {
    auto card = static_cast<uint16_t>(GetArgUInt16(s, 0));
    uint32_t dbID = GetArgUInt32(s, 2);
    auto flags = static_cast<uint16_t>(GetArgUInt16(s, 6));
    auto code = static_cast<uint16_t>(GetArgUInt16(s, 8));
    void* params68K = Ptr(GetArgPtr(s, 10));
    uint32_t resultP = GetArgPtr(s, 14);
    void* native = params68K ? LaunchParamsToNative(params68K, nullptr, code, dbID) : nullptr;
    if (params68K && !native) {
        WriteOut(resultP, 1);
        SetResultD0UInt16(s, kErrCantConvert);
        return;
    }
    uint32_t result = 0;
    uint16_t err = sys::SysAppLaunch(card, dbID, flags, code, native, &result);
    if (native && native != params68K) LaunchParamsTo68K(native, params68K, code, dbID);
    LaunchParamsFree(native, params68K, code);
    WriteOut(resultP, result);
    SetResultD0UInt16(s, err);
}

void TrapSysUIAppSwitch(EmulState* s, uint16_t) {
    auto card = static_cast<uint16_t>(GetArgUInt16(s, 0));
    uint32_t dbID = GetArgUInt32(s, 2);
    auto code = static_cast<uint16_t>(GetArgUInt16(s, 6));
    void* params68K = Ptr(GetArgPtr(s, 8));
    void* native = params68K ? LaunchParamsToNative(params68K, nullptr, code, dbID) : nullptr;
    if (params68K && !native) {
        SetResultD0UInt16(s, kErrCantConvert);
        return;
    }
    bool copy = native && native != params68K;
    if (copy) sys::MemPtrSetOwner(native, 0);
    uint16_t err = sys::SysUIAppSwitchWithBlock(card, dbID, code, native);
    if (err) {
        LaunchParamsFree(native, params68K, code);
    } else if (copy && !TaggedNodeFind(s, params68K)) {
        // The OS keeps the native copy; the application's own block is freed with its context. A
        // block handed over unconverted is the OS's now and is not recorded.
        TaggedNodeAdd(s, kTaggedAppSwitchBlock, params68K);
    }
    SetResultD0UInt16(s, err);
}

void TrapSysBroadcastActionCode(EmulState* s, uint16_t) {
    auto code = static_cast<uint16_t>(GetArgUInt16(s, 0));
    void* params68K = Ptr(GetArgPtr(s, 2));
    void* native = params68K ? LaunchParamsToNative(params68K, nullptr, code, 0) : nullptr;
    if (params68K && !native) {
        SetResultD0UInt16(s, kErrCantConvert);
        return;
    }
    uint16_t err = sys::SysBroadcastActionCode(code, native);
    if (native && native != params68K) LaunchParamsTo68K(native, params68K, code, 0);
    LaunchParamsFree(native, params68K, code);
    SetResultD0UInt16(s, err);
}

// Sets up the globals of an application launched with new globals.
void TrapSysAppStartup(EmulState* s, uint16_t) {
    uint32_t infoP = GetArgPtr(s, 0), prevP = GetArgPtr(s, 4), globalsP = GetArgPtr(s, 8);
    uint32_t previous = s->A[5];
    uint8_t* chunk = nullptr;
    uint16_t err = 0;
    if (InfoFlags(s) & kLaunchNewGlobals) {
        uint32_t above = 4, below = 0;
        if (void* sizes = sys::DmGet1Resource(FourCC("code"), 0)) {
            const auto* p = static_cast<const uint8_t*>(sys::MemHandleLock(sizes));
            if (p && sys::MemHandleSize(sizes) >= 8) {
                above = vantor::ReadBE32(p);
                below = vantor::ReadBE32(p + 4);
            }
            sys::MemHandleUnlock(sizes);
            sys::DmReleaseResource(sizes);
        }
        uint32_t size = above + below;
        chunk = size < above ? nullptr : static_cast<uint8_t*>(sys::MemChunkNew(0, size, 0x100));
        if (!chunk) {
            err = kErrNoMemory;
        } else {
            std::memset(chunk, 0, size);
            s->A[5] = Addr(chunk) + below;
            if (void* data = sys::DmGet1Resource(FourCC("data"), 0)) {
                const auto* image = static_cast<const uint8_t*>(sys::MemHandleLock(data));
                uint32_t codeBase = s->codeResource ? Addr(sys::MemHandleLock(s->codeResource)) : 0;
                bool ok = GlobalsUnpack(image, sys::MemHandleSize(data), chunk, size, below, codeBase);
                if (s->codeResource) sys::MemHandleUnlock(s->codeResource);
                sys::MemHandleUnlock(data);
                sys::DmReleaseResource(data);
                if (!ok) {
                    // Globals half made from a damaged resource would run the application on
                    // garbage: it gets none and an error.
                    ErrDisplayFileLineMsg("Startup68K", 312, "Damaged 'data' 0 resource");
                    sys::MemChunkFree(chunk);
                    chunk = nullptr;
                    s->A[5] = previous;
                    err = kErrParam;
                }
            }
            if (chunk)
                vantor::WriteBE16(s->appInfo + kInfoFlags, static_cast<uint16_t>(InfoFlags(s) | kLaunchGlobalsSet));
        }
    }
    WriteOut(infoP, InfoAddr(s));
    WriteOut(prevP, previous);
    WriteOut(globalsP, Addr(chunk));
    SetResultD0UInt16(s, err);
}

void TrapSysAppExit(EmulState* s, uint16_t) {
    uint32_t previous = GetArgPtr(s, 4), globals = GetArgPtr(s, 8);
    if (InfoFlags(s) & kLaunchNewGlobals) {
        if (globals) sys::MemChunkFree(Ptr(globals));
        s->A[5] = previous;
    }
    SetResultD0UInt16(s, 0);
}

void TrapSysGetAppInfo(EmulState* s, uint16_t) {
    EmulState* ui = UiContext(s);
    WriteOut(GetArgPtr(s, 0), InfoAddr(ui));
    WriteOut(GetArgPtr(s, 4), ui == s ? 0 : InfoAddr(s));
    SetResultA0(s, InfoAddr(s));
}

void TrapSysCurAppInfoPV20(EmulState* s, uint16_t) { SetResultA0(s, InfoAddr(UiContext(s))); }

void TrapSysGetStackInfo(EmulState* s, uint16_t) {
    WriteOut(GetArgPtr(s, 0), vantor::ReadBE32(s->appInfo + kInfoStackBase));
    WriteOut(GetArgPtr(s, 4), vantor::ReadBE32(s->appInfo + kInfoStackEnd));
    SetResultD0UInt8(s, 1);
}

void TrapSysSetA5(EmulState* s, uint16_t) {
    uint32_t previous = s->A[5];
    s->A[5] = GetArgUInt32(s, 0);
    SetResultD0UInt32(s, previous);
}

}  // namespace

void AppGlueInstall(TrapHandler* t) {
    t[0x08E] = TrapSysAppLaunch;
    t[0x0A7] = TrapSysUIAppSwitch;
    t[0x089] = TrapSysBroadcastActionCode;
    t[0x08F] = TrapSysAppStartup;
    t[0x090] = TrapSysAppExit;
    t[0x33C] = TrapSysGetAppInfo;
    t[0x0A8] = TrapSysCurAppInfoPV20;
    t[0x33D] = TrapSysGetStackInfo;
    t[0x091] = TrapSysSetA5;
}

}  // namespace morvel
