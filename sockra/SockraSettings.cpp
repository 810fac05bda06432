// Settings, configurations and interfaces: settings are resources of "Net Prefs", grouped into up
// to 16 named configurations; the host offers one interface, 'ppp_' instance 1.
#include <arpa/inet.h>
#include <netdb.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/FourCC.h"
#include "common/module/ModuleInterface.h"
#include "sockra/Sockra.h"
#include "sockra/SockraGlobals.h"
#include "sockra/SockraOS.h"
#include "sockra/SockraPrefs.h"

namespace sockra {
namespace {

constexpr const char* kSourcePath = "Libraries/Net/Src/SockraUtils";
constexpr uint32_t kPrefsType = vantor::FourCC("rsrc");
constexpr uint32_t kCreator = vantor::FourCC("sokr");
constexpr uint32_t kPPP = vantor::FourCC("ppp_");
constexpr uint32_t kLoop = vantor::FourCC("loop");

enum : uint16_t { resGeneral = 1, resSetting6 = 2, resSetting7 = 3, resSetting8 = 4, resTrace = 5, resConfigs = 7 };

void PrvReport(uint32_t line, const char* message) { os::ErrReport(kSourcePath, line, message); }

// Opens "Net Prefs", creating it when it is absent; 0 when it cannot be had.
os::DmOpenRef PrvPrefsOpen() {
    os::DmOpenRef db = 0;
    if (os::DmFindNewestDatabase(kPrefsType, kCreator, &db) != 0 || db == 0) {
        if (os::DmCreateDatabase(0, "Net Prefs", kCreator, kPrefsType, true) != 0) return 0;
        if (os::DmFindNewestDatabase(kPrefsType, kCreator, &db) != 0) return 0;
    }
    return db;
}

// The library lock around calls that touch the globals record, when the library is installed.
struct Locked {
    Locked() {
        if (gSockraGlobalsP) SockraLock(&g, -1);
    }
    ~Locked() { SockraUnlock(g); }
    SockraGlobalsHeader* g = nullptr;
};

template <typename Rec>
void PrvReadRecord(uint16_t id, Rec* rec, void (*dflt)(Rec*)) {
    uint16_t size = sizeof(Rec);
    if (SockraPrefsGet(kCreator, id, rec, &size) != 0 || size != sizeof(Rec) || rec->version != kPrefsVersion)
        dflt(rec);
}

// Where a field setting lives: the general record, the trace record or the open record.
struct Field {
    uint16_t setting;
    uint8_t where;  // 0 general, 1 trace, 2 open record
    uint8_t offset;
    uint8_t size;
};
constexpr Field kFields[] = {
    {1, 0, offsetof(NetGeneralPrefs, setting1), 4},   {2, 0, offsetof(NetGeneralPrefs, setting2), 4},
    {3, 0, offsetof(NetGeneralPrefs, setting3), 4},   {4, 0, offsetof(NetGeneralPrefs, setting4), 4},
    {5, 0, offsetof(NetGeneralPrefs, setting5), 2},   {9, 0, offsetof(NetGeneralPrefs, setting9), 4},
    {10, 0, offsetof(NetGeneralPrefs, setting10), 4}, {0x1000, 1, offsetof(NetTracePrefs, eventFlags), 4},
    {0x1001, 1, offsetof(NetTracePrefs, bufSize), 4}, {0x1002, 1, offsetof(NetTracePrefs, writePos), 4},
    {0x1003, 1, offsetof(NetTracePrefs, wrap), 1},    {0x1004, 2, 0, 4},
    {0x1005, 2, 1, 4},
};
const Field* PrvField(uint16_t setting) {
    for (const auto& f : kFields) {
        if (f.setting == setting) return &f;
    }
    return nullptr;
}
// Settings stored as whole resources.
int PrvWholeResource(uint16_t setting) {
    switch (setting) {
        case 6: return resSetting6;
        case 7: return resSetting7;
        case 8: return resSetting8;
        case 0x1006: return resConfigs;
        default: return -1;
    }
}

// Removes every resource of "Net Prefs" in a slot's id range (but 'sokr' 5 to 7), from the last.
Status PrvSlotClear(os::DmOpenRef db, uint16_t slot) {
    uint32_t lo = uint32_t{slot} * 256, hi = lo + 255;
    for (int i = os::DmNumResources(db) - 1; i >= 0; --i) {
        uint32_t type = 0;
        uint16_t id = 0;
        if (os::DmResourceInfo(db, static_cast<uint16_t>(i), &type, &id, nullptr) != 0) continue;
        if (id < lo || id > hi || id >= 0xFF00) continue;
        if (type == kCreator && id >= 5 && id <= 7) continue;
        Status err = os::DmRemoveResource(db, static_cast<uint16_t>(i));
        if (err) return err;
    }
    return 0;
}

Status PrvSettingsCopy(uint16_t src, uint16_t dst) {
    if (uint32_t{src} * 256 > 0xFFFF || uint32_t{dst} * 256 > 0xFFFF) return netErrParamErr;
    os::DmOpenRef db = PrvPrefsOpen();
    if (!db) return netErrPrefNotFound;
    Status err = PrvSlotClear(db, dst);
    uint32_t lo = uint32_t{src} * 256;
    for (int i = 0; !err && i < os::DmNumResources(db); ++i) {
        uint32_t type = 0;
        uint16_t id = 0;
        if (os::DmResourceInfo(db, static_cast<uint16_t>(i), &type, &id, nullptr) != 0) continue;
        if (id < lo || id > lo + 255 || id >= 0xFF00 || (type == kCreator && id >= 5 && id <= 7)) continue;
        os::MemHandle h = os::DmGetResourceIndex(db, static_cast<uint16_t>(i));
        uint32_t size = h ? os::MemHandleSize(h) : 0;
        std::vector<uint8_t> data(size);
        if (h) {
            memcpy(data.data(), os::MemHandleLock(h), size);
            os::MemHandleUnlock(h);
            os::DmReleaseResource(h);
        }
        uint16_t newID = static_cast<uint16_t>(id - lo + uint32_t{dst} * 256);
        os::MemHandle n = os::DmNewResource(db, type, newID, size);
        if (!n) {
            err = os::DmGetLastErr();
            PrvReport(__LINE__, "Err in PrvResourceCopy");
            if (!err) err = netErrOutOfMemory;
            break;
        }
        if (size) os::DmWrite(os::MemHandleLock(n), 0, data.data(), size);
        os::MemHandleUnlock(n);
        os::DmReleaseResource(n);
    }
    os::DmCloseDatabase(db);
    if (err) PrvReport(__LINE__, "Err in NetPrvSettingsCopy");
    return err;
}

Status PrvSettingsReset() {
    os::DmOpenRef db = PrvPrefsOpen();
    if (!db) return netErrPrefNotFound;
    Status err = PrvSlotClear(db, 0);
    os::DmCloseDatabase(db);
    return err;
}

void PrvParseHostTable(const void* text, uint16_t len) {
    SockraOpenRecord* g = SockraOpenRecordP();
    if (!g) return;
    if (g->hostTableP) os::MemPtrFree(g->hostTableP);
    g->hostTableP = nullptr;
    size_t need = NetHostTableParse(static_cast<const uint8_t*>(text), len, nullptr, 0);
    void* table = os::MemPtrNew(static_cast<uint32_t>(need));
    if (!table) return;
    NetHostTableParse(static_cast<const uint8_t*>(text), len, static_cast<uint8_t*>(table), need);
    g->hostTableP = table;
}

bool PrvIsPPP(uint32_t creator, uint16_t instance) { return creator == kPPP && instance == 1; }

void PrvReportCreator(uint32_t line, const char* format, uint32_t creator) {
    char text[64];
    snprintf(text, sizeof text, format, static_cast<char>(creator >> 24), static_cast<char>(creator >> 16),
             static_cast<char>(creator >> 8), static_cast<char>(creator));
    PrvReport(line, text);
}

// The entry of an interface's driver (a 'neti' module of the interface's creator), found once per
// open of the library: the newest database of that type and creator names the code, which the OS
// opens and loads (system slots 544 and 526).
constexpr Status kErrCodeNotFound = 0x050A;

struct DriverEntry {
    uint32_t creator;
    ::ModuleEntryPointProc entry;
};
DriverEntry gDrivers[4];
std::mutex gDriversMutex;

Status PrvDriverEntry(uint32_t creator, ::ModuleEntryPointProc* entryP) {
    std::lock_guard lock(gDriversMutex);
    for (const DriverEntry& d : gDrivers) {
        if (d.entry && d.creator == creator) {
            *entryP = d.entry;
            return 0;
        }
    }
    os::DmOpenRef db = 0;
    if (os::DmFindNewestDatabase(kNetIFDriverType, creator, &db) != 0 || db == 0) return netErrInterfaceNotFound;
    SockraTraceEnter(50);
    uint32_t code = 0, entry = 0;
    Status err = vantor::sys::SysCodeOpen(db, &code);
    if (!err) err = vantor::sys::SysCodeLoad(code, &entry);
    os::DmCloseDatabase(db);
    SockraTraceExit(50);
    if (err || !entry) return kErrCodeNotFound;
    *entryP = reinterpret_cast<::ModuleEntryPointProc>(static_cast<uintptr_t>(entry));
    // Kept while the library is open; its full close forgets it.
    for (DriverEntry& d : gDrivers) {
        if (!SockraOpenRecordP()) break;
        if (d.entry) continue;
        d = {creator, *entryP};
        break;
    }
    return 0;
}

// Asks the interface's driver for a setting (selector 3) or hands it one (selector 4).
Status PrvDriverSetting(uint32_t creator, uint16_t selector, uint16_t setting, void* valueP, uint32_t length) {
    ::ModuleEntryPointProc entry = nullptr;
    if (Status err = PrvDriverEntry(creator, &entry)) return err;
    NetIFDriverBlock block{0, setting, valueP, length};
    return static_cast<Status>(entry(selector, &block, 0));
}

uint32_t PrvLocalAddress() {
    // The host's own IPv4 address: the first address of the name of the loopback host's entry.
    in_addr_t lo = htonl(INADDR_LOOPBACK);
    hostent h{}, *r = nullptr;
    int herr = 0;
    std::vector<char> scratch(4096);
    if (gethostbyaddr_r(&lo, 4, AF_INET, &h, scratch.data(), scratch.size(), &r, &herr) != 0 || !r) return 0;
    std::string name = r->h_name;
    if (gethostbyname_r(name.c_str(), &h, scratch.data(), scratch.size(), &r, &herr) != 0 || !r ||
        r->h_length != 4 || !r->h_addr_list[0])
        return 0;
    uint32_t a;
    memcpy(&a, r->h_addr_list[0], 4);
    return ntohl(a);
}

}  // namespace

// ---- records ----

void NetGeneralPrefsDefault(NetGeneralPrefs* p) {
    memset(p, 0, sizeof *p);
    p->version = kPrefsVersion;
}

void NetTracePrefsDefault(NetTracePrefs* p) {
    memset(p, 0, sizeof *p);
    p->version = kPrefsVersion;
    p->bufSize = 2048;
    p->wrap = 1;
    p->eventFlags = 0x11;
}

void NetConfigListDefault(NetConfigList* list) {
    memset(list, 0, sizeof *list);
    list->version = kPrefsVersion;
    struct {
        const char* name;
        uint16_t target;
    } defaults[] = {{".Default", kConfigNone}, {".DefWireline", 0}, {".DefWireless", 0},
                    {".CTPWireline", 0},       {".CTPWireless", 5},  {"_RAMCTP", 0}};
    for (int i = 0; i < 6; ++i) {
        strcpy(list->entries[i].name, defaults[i].name);
        list->entries[i].aliasTarget = defaults[i].target;
    }
}

Status NetConfigFollowAlias(const NetConfigList* list, uint16_t index, uint16_t* resolvedP) {
    for (int step = 0;; ++step) {
        if (index == kConfigNone) break;
        if (index >= kConfigCount) return netErrConfigNotFound;
        const NetConfigEntry& e = list->entries[index];
        if (NetConfigIsFree(e)) return netErrConfigAliasErr;
        if (!NetConfigIsAlias(e)) break;
        if (step == 3) return netErrConfigAliasErr;
        index = e.aliasTarget;
    }
    *resolvedP = index;
    return 0;
}

size_t NetHostTableParse(const uint8_t* text, size_t size, uint8_t* out, size_t outSize) {
    size_t used = 0;
    auto put = [&](const void* p, size_t n) {
        if (out && used + n <= outSize) memcpy(out + used, p, n);
        used += n;
    };
    size_t pos = 0;
    while (text && pos < size) {
        size_t end = pos;
        while (end < size && text[end] != '\n') ++end;
        // name, three separator characters, dotted address
        size_t nameEnd = pos;
        while (nameEnd < end && text[nameEnd] != ' ' && text[nameEnd] != '\t') ++nameEnd;
        size_t nameLen = nameEnd - pos;
        char addrText[32] = {};
        if (nameLen > 0 && nameLen <= 255 && nameEnd + 3 < end && end - (nameEnd + 3) < sizeof addrText) {
            memcpy(addrText, text + nameEnd + 3, end - (nameEnd + 3));
            in_addr a{};
            if (inet_aton(addrText, &a)) {
                put(text + pos, nameLen);
                const uint8_t zeros[2] = {0, 0};
                put(zeros, (nameLen + 1) % 2 ? 2 : 1);  // NUL, then padding to an even length
                put(&a.s_addr, 4);
            }
        }
        pos = end + 1;
    }
    const uint8_t endMark[2] = {0, 0};
    put(endMark, 2);
    return used;
}

uint16_t SockraMaxSocketsGet() {
    static uint16_t cached = 0;
    if (!cached) {
        uint32_t v = 0;
        cached = (os::FtrGet(kCreator, 6, &v) == 0 && v >= 31 && v <= 1024) ? static_cast<uint16_t>(v) : 31;
    }
    return cached;
}

Status SockraConfigListLoad(NetConfigList** listPP) {
    auto* list = static_cast<NetConfigList*>(os::MemPtrNew(sizeof(NetConfigList)));
    if (!list) return netErrOutOfMemory;
    uint16_t len = sizeof *list;
    Status err = SockraSettingGet(0x1006, list, &len);
    if (err || len != sizeof *list || list->version != kPrefsVersion) {
        NetConfigListDefault(list);
        SockraConfigListStore(list);
    }
    // Names from the store are used as texts: keep them terminated.
    for (auto& e : list->entries) e.name[sizeof e.name - 1] = '\0';
    *listPP = list;
    return 0;
}

Status SockraConfigListStore(const NetConfigList* list) { return SockraSettingSet(0x1006, list, sizeof *list); }

Status SockraConfigActivate(NetConfigList* list, uint16_t index, bool keepPrevious) {
    if (index == kConfigNone) return 0;
    if (index >= kConfigCount || NetConfigIsFree(list->entries[index])) return netErrParamErr;
    NetConfigEntry& e = list->entries[index];
    if (NetConfigIsAlias(e)) return netErrConfigCantDelete;
    Status err = 0;
    if (keepPrevious && (err = PrvSettingsCopy(0, kConfigPreviousSlot)) != 0) return err;
    if (e.flags & 1) {
        err = PrvSettingsCopy(index, 0);
    } else if (strcmp(e.name, "_RAMCTP") == 0) {
        err = PrvSettingsReset();
        uint32_t v9 = 30000;
        if (!err) err = SockraSettingSet(9, &v9, 4);
        if (!err) err = SockraIFAttach(kLoop, 0, 0);
        if (!err) err = SockraIFAttach(vantor::FourCC("ram_"), 0, 0);
    } else {
        return netErrConfigNoSettings;
    }
    if (err) return err;
    if (keepPrevious) {
        list->previous = list->active;
        list->previousSaved = 1;
    }
    list->active = index;
    if (!(e.flags & 1)) {
        err = PrvSettingsCopy(0, index);
        if (!err) e.flags |= 1;
    }
    Status werr = SockraConfigListStore(list);
    return err ? err : werr;
}

}  // namespace sockra

using namespace sockra;

// ---- preferences ----

extern "C" Status SockraPrefsGet(uint32_t type, uint16_t id, void* bufP, uint16_t* sizeP) {
    if (!sizeP) return netErrParamErr;
    os::DmOpenRef db = PrvPrefsOpen();
    if (!db) return netErrPrefNotFound;
    Status err = 0;
    uint16_t index = os::DmFindResource(db, type, id, nullptr);
    if (index == 0xFFFF) {
        *sizeP = 0;
        err = netErrPrefNotFound;
    } else {
        os::MemHandle h = os::DmGetResourceIndex(db, index);
        uint32_t rsize = h ? os::MemHandleSize(h) : 0;
        if (bufP && h) {
            uint32_t n = rsize < *sizeP ? rsize : *sizeP;
            memcpy(bufP, os::MemHandleLock(h), n);
            os::MemHandleUnlock(h);
            if (*sizeP < rsize) err = netErrBufTooSmall;
        }
        if (h) os::DmReleaseResource(h);
        *sizeP = static_cast<uint16_t>(rsize > 0xFFFF ? 0xFFFF : rsize);
    }
    os::DmCloseDatabase(db);
    return err;
}

extern "C" Status SockraPrefsSet(uint32_t type, uint16_t id, const void* dataP, uint16_t size) {
    if (size && !dataP) return netErrParamErr;
    os::DmOpenRef db = PrvPrefsOpen();
    if (!db) return netErrPrefNotFound;
    Status err = 0;
    uint16_t index = os::DmFindResource(db, type, id, nullptr);
    if (size == 0) {
        if (index != 0xFFFF) err = os::DmRemoveResource(db, index);
        os::DmCloseDatabase(db);
        return err;
    }
    os::MemHandle h = nullptr;
    if (index != 0xFFFF) {
        h = os::DmGetResourceIndex(db, index);
        if (h && os::MemHandleSize(h) != size) {
            os::MemHandle r = os::DmResizeResource(h, size);
            if (!r) {
                os::DmRemoveResource(db, index);
                h = nullptr;
            } else {
                h = r;
            }
        }
    }
    if (!h) h = os::DmNewResource(db, type, id, size);
    if (!h) {
        err = os::DmGetLastErr();
        if (!err) err = netErrOutOfMemory;
    } else {
        err = os::DmWrite(os::MemHandleLock(h), 0, dataP, size);
        os::MemHandleUnlock(h);
        os::DmReleaseResource(h);
    }
    os::DmCloseDatabase(db);
    return err;
}

extern "C" Status SockraPrefsAppend(uint32_t type, uint16_t id, const void* dataP, uint16_t size,
                                    uint16_t maxSize) {
    if (size == 0) return 0;
    if (!dataP) return netErrParamErr;
    os::DmOpenRef db = PrvPrefsOpen();
    if (!db) return netErrPrefNotFound;
    Status err = 0;
    uint16_t index = os::DmFindResource(db, type, id, nullptr);
    if (index == 0xFFFF) {
        os::MemHandle h = os::DmNewResource(db, type, id, size);
        if (!h) {
            err = os::DmGetLastErr();
        } else {
            os::DmWrite(os::MemHandleLock(h), 0, dataP, size);
            os::MemHandleUnlock(h);
            os::DmReleaseResource(h);
        }
    } else {
        os::MemHandle h = os::DmGetResourceIndex(db, index);
        uint32_t old = h ? os::MemHandleSize(h) : maxSize;
        if (h && old < maxSize) {
            uint32_t grown = old + size > maxSize ? maxSize : old + size;
            os::MemHandle r = os::DmResizeResource(h, grown);
            if (!r) {
                err = os::DmGetLastErr();
            } else {
                os::DmWrite(os::MemHandleLock(r), old, dataP, grown - old);
                os::MemHandleUnlock(r);
                h = r;
            }
        }
        if (h) os::DmReleaseResource(h);
    }
    os::DmCloseDatabase(db);
    return err;
}

// ---- settings ----

extern "C" Status SockraSettingGet(uint16_t setting, void* valueP, uint16_t* valueLenP) {
    Locked lock;
    SockraTraceEnter(23);
    Status err = 0;
    int res = PrvWholeResource(setting);
    if (!valueLenP) {
        err = netErrParamErr;
    } else if (res >= 0) {
        err = SockraPrefsGet(kCreator, static_cast<uint16_t>(res), valueP, valueLenP);
    } else if (const Field* f = PrvField(setting)) {
        if (*valueLenP < f->size || !valueP) {
            err = netErrBufTooSmall;
        } else {
            uint8_t rec[sizeof(NetGeneralPrefs)] = {};
            if (f->where == 0) {
                PrvReadRecord(resGeneral, reinterpret_cast<NetGeneralPrefs*>(rec), NetGeneralPrefsDefault);
            } else if (f->where == 1) {
                PrvReadRecord(resTrace, reinterpret_cast<NetTracePrefs*>(rec), NetTracePrefsDefault);
            } else {
                SockraOpenRecord* g = SockraOpenRecordP();
                uint32_t v = (g && g->interfaceCount > f->offset) ? g->interfaceValues[f->offset] : 0;
                memcpy(rec, &v, 4);
            }
            memcpy(valueP, rec + (f->where == 2 ? 0 : f->offset), f->size);
            *valueLenP = f->size;
        }
    } else {
        err = netErrUnknownSetting;
    }
    if (err && err != netErrPrefNotFound && err != netErrBufTooSmall) {
        PrvReport(__LINE__, "Error in SockraSettingGet");
        SockraTraceError(23, err);
    }
    SockraTraceExit(23);
    return err;
}

extern "C" Status SockraSettingSet(uint16_t setting, const void* valueP, uint16_t valueLen) {
    Locked lock;
    SockraTraceEnter(24);
    Status err = 0;
    int res = PrvWholeResource(setting);
    const Field* f = PrvField(setting);
    if (setting == 0) {
        err = PrvSettingsReset();
    } else if (res >= 0) {
        if ((setting == 6 && valueLen > 64) || (setting == 7 && valueLen > 256)) {
            err = netErrParamErr;
        } else {
            err = SockraPrefsSet(kCreator, static_cast<uint16_t>(res), valueP, valueLen);
            if (!err && setting == 8) PrvParseHostTable(valueP, valueLen);
        }
    } else if (f && f->where != 2) {
        if (valueLen < f->size || !valueP) {
            err = netErrBufTooSmall;
        } else if (f->where == 0) {
            NetGeneralPrefs rec;
            PrvReadRecord(resGeneral, &rec, NetGeneralPrefsDefault);
            memcpy(reinterpret_cast<uint8_t*>(&rec) + f->offset, valueP, f->size);
            err = SockraPrefsSet(kCreator, resGeneral, &rec, sizeof rec);
        } else {
            NetTracePrefs rec;
            PrvReadRecord(resTrace, &rec, NetTracePrefsDefault);
            memcpy(reinterpret_cast<uint8_t*>(&rec) + f->offset, valueP, f->size);
            err = SockraPrefsSet(kCreator, resTrace, &rec, sizeof rec);
        }
    } else {
        PrvReport(__LINE__, "Unknown setting");
        err = netErrUnknownSetting;
    }
    if (err) SockraTraceError(24, err);
    SockraTraceExit(24);
    return err;
}

// ---- configurations ----

namespace {

// Runs fn on the loaded configuration list, writes it back when fn changed it, reports unexpected
// errors.
template <typename Fn>
Status PrvWithConfigs(Fn fn, std::initializer_list<Status> expected = {}) {
    Locked lock;
    NetConfigList* list = nullptr;
    Status err = SockraConfigListLoad(&list);
    if (!err) {
        bool changed = false;
        err = fn(*list, changed);
        if (!err && changed) err = SockraConfigListStore(list);
        os::MemPtrFree(list);
    }
    bool quiet = err == 0;
    for (Status s : expected) quiet |= (err == s);
    if (!quiet) os::ErrReportStatus(kSourcePath, __LINE__, err);
    return err;
}

bool PrvValidName(const char* name) { return name && name[0] != '\0'; }

}  // namespace

extern "C" Status SockraConfigList(char (*nameArray)[32], uint16_t* countP) {
    if (!countP) return netErrParamErr;
    return PrvWithConfigs([&](NetConfigList& l, bool&) {
        uint16_t capacity = *countP, n = 0;
        for (const auto& e : l.entries) {
            if (NetConfigIsFree(e)) continue;
            if (nameArray && n < capacity) memcpy(nameArray[n], e.name, 32);
            ++n;
        }
        *countP = n;
        return Status{0};
    });
}

extern "C" Status SockraConfigIndexFromName(const char* nameP, uint16_t* indexP) {
    if (!nameP || !indexP) return netErrParamErr;
    return PrvWithConfigs(
        [&](NetConfigList& l, bool&) {
            for (uint16_t i = 0; i < kConfigCount; ++i) {
                if (!NetConfigIsFree(l.entries[i]) && strncmp(l.entries[i].name, nameP, 32) == 0) {
                    *indexP = i;
                    return Status{0};
                }
            }
            return netErrConfigNotFound;
        },
        {netErrConfigNotFound});
}

extern "C" Status SockraConfigMakeActive(uint16_t index) {
    return PrvWithConfigs([&](NetConfigList& l, bool&) {
        uint16_t resolved = kConfigNone;
        Status err = NetConfigFollowAlias(&l, index, &resolved);
        return err ? err : SockraConfigActivate(&l, resolved, false);
    });
}

extern "C" Status SockraConfigSave(const char* nameP) {
    if (!PrvValidName(nameP)) return netErrParamErr;
    if (nameP[0] == '.' || nameP[0] == '_') return netErrConfigBadName;
    return PrvWithConfigs([&](NetConfigList& l, bool& changed) {
        int slot = -1;
        for (int i = 0; i < kConfigCount && slot < 0; ++i) {
            if (!NetConfigIsFree(l.entries[i]) && strncmp(l.entries[i].name, nameP, 31) == 0) slot = i;
        }
        for (int i = 0; i < kConfigCount && slot < 0; ++i) {
            if (NetConfigIsFree(l.entries[i])) slot = i;
        }
        if (slot < 0) return netErrConfigTooMany;
        NetConfigEntry& e = l.entries[slot];
        memset(&e, 0, sizeof e);
        strncpy(e.name, nameP, sizeof e.name - 1);
        Status err = PrvSettingsCopy(0, static_cast<uint16_t>(slot));
        if (!err) e.flags |= 1;
        changed = true;
        return err;
    });
}

extern "C" Status SockraConfigRename(uint16_t index, const char* newNameP) {
    if (!PrvValidName(newNameP)) return netErrParamErr;
    if (newNameP[0] == '.') return netErrConfigBadName;
    return PrvWithConfigs([&](NetConfigList& l, bool& changed) {
        if (index >= kConfigCount || NetConfigIsFree(l.entries[index])) return netErrParamErr;
        NetConfigEntry& e = l.entries[index];
        if (NetConfigIsAlias(e) || NetConfigIsBuiltIn(e)) return netErrConfigCantDelete;
        memset(e.name, 0, sizeof e.name);
        strncpy(e.name, newNameP, sizeof e.name - 1);
        changed = true;
        return Status{0};
    });
}

extern "C" Status SockraConfigDelete(uint16_t index) {
    return PrvWithConfigs([&](NetConfigList& l, bool& changed) {
        if (index >= kConfigCount) return netErrParamErr;
        NetConfigEntry& e = l.entries[index];
        if (NetConfigIsAlias(e)) return netErrConfigCantDelete;
        if (NetConfigIsBuiltIn(e))
            e.flags &= static_cast<uint8_t>(~1);
        else
            memset(&e, 0, sizeof e);
        changed = true;
        return Status{0};
    });
}

extern "C" Status SockraConfigAliasSet(uint16_t aliasIndex, uint16_t targetIndex) {
    return PrvWithConfigs([&](NetConfigList& l, bool& changed) {
        if (aliasIndex >= kConfigCount || targetIndex >= kConfigCount || aliasIndex == targetIndex)
            return netErrParamErr;
        if (!NetConfigIsAlias(l.entries[aliasIndex])) return netErrConfigNotAlias;
        const NetConfigEntry& t = l.entries[targetIndex];
        if (NetConfigIsAlias(t) && t.aliasTarget < kConfigCount && NetConfigIsAlias(l.entries[t.aliasTarget]))
            return netErrConfigAliasTooDeep;
        l.entries[aliasIndex].aliasTarget = targetIndex;
        changed = true;
        return Status{0};
    });
}

extern "C" Status SockraConfigAliasGet(uint16_t aliasIndex, uint16_t* indexP, uint8_t* isAnotherAliasP) {
    return PrvWithConfigs(
        [&](NetConfigList& l, bool&) {
            if (aliasIndex >= kConfigCount || !NetConfigIsAlias(l.entries[aliasIndex])) return netErrConfigNotAlias;
            uint16_t t = l.entries[aliasIndex].aliasTarget;
            if (indexP) *indexP = t;
            if (isAnotherAliasP) *isAnotherAliasP = t < kConfigCount && NetConfigIsAlias(l.entries[t]);
            return Status{0};
        },
        {netErrConfigNotAlias});
}

// ---- interfaces ----

extern "C" Status SockraIFGet(uint16_t index, uint32_t* creatorP, uint16_t* instanceP) {
    if (index != 0) return netErrInterfaceNotFound;
    if (creatorP) *creatorP = kPPP;
    if (instanceP) *instanceP = 1;
    return 0;
}

extern "C" Status SockraIFAttach(uint32_t creator, uint16_t, uint32_t) {
    if (creator != kPPP && creator != kLoop) PrvReportCreator(__LINE__, "SockraIFAttach(creator = %c%c%c%c)", creator);
    return 0;
}

extern "C" Status SockraIFDetach(uint32_t creator, uint16_t, uint32_t) {
    if (creator != kPPP && creator != kLoop) PrvReportCreator(__LINE__, "SockraIFDetach(creator = %c%c%c%c)", creator);
    return 0;
}

extern "C" Status SockraIFUp(uint32_t creator, uint16_t instance) {
    if (creator != kPPP) PrvReportCreator(__LINE__, "SockraIFUp(creator = %c%c%c%c)", creator);
    Locked lock;
    if (!SockraOpenRecordP()) return netErrNotOpen;
    Status err = SockraIFAttach(creator, instance, 0);
    if (!err) err = os::PALNetConnect();
    if (!err) gSockraInterfaceUp = 1;
    return err;
}

extern "C" Status SockraIFDown(uint32_t creator, uint16_t, uint32_t) {
    if (creator != kPPP) PrvReportCreator(__LINE__, "SockraIFDown(creator = %c%c%c%c)", creator);
    os::PALNetDisconnect();
    gSockraInterfaceUp = 0;
    return 0;
}

extern "C" Status SockraIFSettingGet(uint32_t creator, uint16_t instance, uint16_t setting, void* valueP,
                                     uint16_t* valueLenP) {
    if (creator != kPPP) PrvReportCreator(__LINE__, "SockraIFSettingGet(creator = %c%c%c%c)", creator);
    Status err;
    if (!valueLenP) {
        err = netErrParamErr;
    } else if (PrvIsPPP(creator, instance) && setting == 1) {
        if (*valueLenP < 1 || !valueP) {
            err = netErrBufTooSmall;
        } else {
            *static_cast<uint8_t*>(valueP) = 1;
            *valueLenP = 1;
            err = 0;
        }
    } else if (PrvIsPPP(creator, instance) && setting == 0x1002) {
        if (*valueLenP < 4 || !valueP) {
            err = netErrBufTooSmall;
        } else {
            uint32_t a = PrvLocalAddress();
            memcpy(valueP, &a, 4);
            *valueLenP = 4;
            err = 0;
        }
    } else {
        err = PrvDriverSetting(creator, kNetIFDriverSettingGet, setting, valueP,
                               static_cast<uint32_t>(reinterpret_cast<uintptr_t>(valueLenP)));
        // An absent setting (a login script that was never stored) is no failure.
        if (err && err != netErrBufTooSmall && err != netErrPrefNotFound && err != netErrUnknownSetting &&
            err != netErrSocketBusy)
            PrvReport(__LINE__, "Error in IFSettingGet");
    }
    if (err && err != netErrBufTooSmall && err != netErrUnimplemented && err != netErrPrefNotFound &&
        err != netErrUnknownSetting && err != netErrSocketBusy)
        os::ErrReportStatus(kSourcePath, __LINE__, err);
    return err;
}

extern "C" Status SockraIFSettingSet(uint32_t creator, uint16_t, uint16_t setting, const void* valueP,
                                     uint16_t valueLen) {
    Status err = PrvDriverSetting(creator, kNetIFDriverSettingSet, setting, const_cast<void*>(valueP), valueLen);
    if (err) PrvReport(__LINE__, "Error in IFSettingSet");
    return err;
}

void sockra::SockraIFDriversForget() {
    std::lock_guard lock(gDriversMutex);
    for (DriverEntry& d : gDrivers) d = {};
}

extern "C" Status SockraInterfacePtr(uint32_t creator, uint16_t instance, void** ifPP) {
    Locked lock;
    SockraOpenRecord* g = SockraOpenRecordP();
    if (ifPP) *ifPP = nullptr;
    for (int i = 0; g && i < g->attachedCount && i < kAttachedRows; ++i) {
        const uint8_t* row = g->attachedRows[i];
        uint32_t c;
        uint16_t n;
        memcpy(&c, row, 4);
        memcpy(&n, row + 4, 2);
        if (c == creator && n == instance) {
            if (ifPP) memcpy(ifPP, row + 16, 4);
            return 0;
        }
    }
    PrvReport(__LINE__, "Info not found");
    SockraTraceError(41, netErrInterfaceNotFound);
    return netErrInterfaceNotFound;
}

extern "C" Status SockraMaster(uint16_t command, void* pbP, int32_t) {
    static const char* const kUnsupported[] = {
        "Sockra: netMasterInterfaceStats is not supported", "Sockra: netMasterIPStats is not supported",
        "Sockra: netMasterICMPStats is not supported",      "Sockra: netMasterUDPStats is not supported",
        "Sockra: netMasterTCPStats is not supported",       "Sockra: netMasterTraceEventGet is not supported"};
    if (command >= 1 && command <= 6) {
        os::Trace("%s", kUnsupported[command - 1]);
        return 0;
    }
    if (command != 0 || !pbP) return 0;
    auto* info = static_cast<NetMasterIFInfoType*>(pbP);
    uint16_t index = info->index;
    memset(info, 0, sizeof *info);
    info->index = index;
    if (SockraIFGet(index, &info->creator, &info->instance) != 0) return 0;
    uint16_t len = sizeof info->ifName;
    SockraIFSettingGet(info->creator, info->instance, 2, info->ifName, &len);
    strcpy(info->driverName, "linux");
    snprintf(info->hwName, sizeof info->hwName, "%.8s%u", info->ifName, unsigned{info->instance});
    len = 1;
    SockraIFSettingGet(info->creator, info->instance, 1, &info->up, &len);
    struct {
        uint16_t setting;
        uint32_t* value;
    } values[] = {{20, &info->setting20}, {23, &info->setting23}, {0x1002, &info->localIP},
                  {4, &info->setting4},   {5, &info->setting5}};
    for (auto& v : values) {
        len = 4;
        SockraIFSettingGet(info->creator, info->instance, v.setting, v.value, &len);
    }
    return 0;
}

extern "C" uint32_t SockraTuningValueGet() {
    static uint32_t cached = 0;
    if (!cached) {
        uint32_t v = 0;
        cached = (os::FtrGet(kCreator, 5, &v) == 0 && v >= 24 && v <= 4096) ? v : 24;
    }
    return cached;
}
