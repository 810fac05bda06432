// Database information and open references of the in-memory store: the information of a database
// by id (system slot 75), finding one by name, creator and type (90), opening by id (122), the
// identity of an open reference (124), deleting (82), attributes (148), the current
// application's database (512) and resources searched in the open databases (96, 105).
#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "standin/os/DatabaseStore.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

uint16_t StandinDmDatabaseInfoByID(uint32_t dbID, char* name, uint16_t* attributes, uint16_t* version,
                                   uint32_t* creationDate, uint32_t* type, uint32_t* creator) {
    dbID = StoreIDFromLocalID(dbID);  // as slot 87 answers it, too
    bool found = WithDatabase(dbID, [&](DatabaseEntry& db) {
        if (name) {
            size_t n = std::min<size_t>(db.name.size(), 31);
            std::memcpy(name, db.name.data(), n);
            name[n] = 0;
        }
        if (attributes) *attributes = db.attributes;
        if (version) *version = db.version;
        if (creationDate) *creationDate = db.created;
        if (type) *type = db.type;
        if (creator) *creator = db.creator;
    });
    return found ? 0 : dmErrCantFind;
}
VANTOR_OS_SLOT(DmDatabaseInfoByID, StandinDmDatabaseInfoByID)

// A reference is the database's id; the open count is the references open on it.
uint16_t StandinDmOpenDatabaseIdentity(uint32_t dbRef, uint32_t* dbID, uint16_t* openCount, uint16_t* mode) {
    bool open = false;
    WithDatabase(dbRef, [&](DatabaseEntry& db) {
        open = db.openReferences > 0;
        if (!open) return;
        if (dbID) *dbID = db.id;
        if (openCount) *openCount = static_cast<uint16_t>(db.openReferences);
        if (mode) *mode = db.openMode;
    });
    return open ? 0 : sysErrParamErr;
}
VANTOR_OS_SLOT(DmOpenDatabaseIdentity, StandinDmOpenDatabaseIdentity)

constexpr uint16_t dmErrDatabaseOpen = 0x021B;

uint32_t StandinDmFindDatabaseByNameCreatorType(const char* name, uint32_t creator, uint32_t type) {
    if (!name) return 0;
    return FindDatabaseID([&](const DatabaseEntry& db) {
        return db.name == name && (creator == 0 || db.creator == creator) && (type == 0 || db.type == type);
    });
}
VANTOR_OS_SLOT(DmFindDatabaseByNameCreatorType, StandinDmFindDatabaseByNameCreatorType)

uint32_t StandinDmOpenDatabaseByID(uint32_t dbID, uint16_t mode) {
    dbID = StoreIDFromLocalID(dbID);
    bool found = WithDatabase(dbID, [&](DatabaseEntry& db) { NoteOpened(db, mode); });
    return found ? dbID : 0;
}
VANTOR_OS_SLOT(DmOpenDatabaseByID, StandinDmOpenDatabaseByID)

uint16_t StandinDmDeleteDatabaseByID(uint32_t dbID) {
    dbID = StoreIDFromLocalID(dbID);
    bool open = false;
    if (!WithDatabase(dbID, [&](DatabaseEntry& db) { open = db.openReferences > 0; })) return dmErrCantFind;
    if (open) return dmErrDatabaseOpen;
    RemoveDatabase(dbID);
    ForgetResources(dbID);
    return 0;
}
VANTOR_OS_SLOT(DmDeleteDatabaseByID, StandinDmDeleteDatabaseByID)

uint16_t StandinDmSetDatabaseAttributes(uint32_t dbID, uint16_t attributes) {
    return WithDatabase(dbID, [&](DatabaseEntry& db) { db.attributes = attributes; }) ? 0 : dmErrCantFind;
}
VANTOR_OS_SLOT(DmSetDatabaseAttributes, StandinDmSetDatabaseAttributes)

std::atomic<uint32_t> gCurrentApp{0};

uint16_t StandinSysCurAppDatabase(uint16_t* cardNo, uint32_t* dbID) {
    if (cardNo) *cardNo = 0;
    if (dbID) *dbID = gCurrentApp;
    return gCurrentApp ? 0 : dmErrCantFind;
}
VANTOR_OS_SLOT(SysCurAppDatabase, StandinSysCurAppDatabase)

// The open databases, the latest opened first.
std::vector<uint32_t> OpenDatabases() {
    std::vector<std::pair<uint32_t, uint32_t>> open;
    FindDatabaseID([&](const DatabaseEntry& db) {
        if (db.openReferences > 0) open.push_back({db.openOrder, db.id});
        return false;
    });
    std::sort(open.rbegin(), open.rend());
    std::vector<uint32_t> ids;
    for (auto& [order, id] : open) ids.push_back(id);
    return ids;
}

void* ResourceIn(uint32_t dbID, uint32_t type, uint16_t id) {
    auto find = reinterpret_cast<syssig::DmFindResource*>(SystemTable()[sysslot::DmFindResource]);
    auto get = reinterpret_cast<syssig::DmGetResourceIndex*>(SystemTable()[sysslot::DmGetResourceIndex]);
    uint16_t index = find(dbID, type, id, nullptr);
    return index == 0xFFFF ? nullptr : get(dbID, index);
}

// Only the database opened last.
void* StandinDmGet1Resource(uint32_t type, uint16_t id) {
    auto open = OpenDatabases();
    return open.empty() ? nullptr : ResourceIn(open.front(), type, id);
}
VANTOR_OS_SLOT(DmGet1Resource, StandinDmGet1Resource)

// Every open database, the latest opened first.
void* StandinDmGetResource(uint32_t type, uint16_t id) {
    for (uint32_t db : OpenDatabases())
        if (void* h = ResourceIn(db, type, id)) return h;
    return nullptr;
}
VANTOR_OS_SLOT(DmGetResource, StandinDmGetResource)

}  // namespace

void SetCurrentAppDatabase(uint32_t id) { gCurrentApp = id; }

}  // namespace vantor::os
