// A small in-memory database store: the search for the newest database by type and creator
// (system slot 102) and closing a database reference (71).
#include <mutex>
#include <string>

#include "standin/os/DatabaseStore.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

using Database = DatabaseEntry;

struct Store {
    std::mutex mutex;
    std::vector<Database> databases;
    uint32_t nextId = 0x1000;
};

Store& S() {
    static Store store;
    return store;
}

bool Matches(const Database& db, uint32_t type, uint32_t creator) {
    return (type == 0 || db.type == type) && (creator == 0 || db.creator == creator);
}

// Walks the store from the position kept in the search state; 0 for type or creator matches any.
// With latestOnly, a database is skipped when another of the same type and creator has a higher
// version. Each hit opens a reference that slot 71 closes.
uint16_t StandinDmFindNewestDatabase(uint8_t newSearch, uint32_t type, uint32_t creator,
                                     uint8_t latestOnly, SysDmSearchState* state, uint32_t* dbRef) {
    if (!state || !dbRef) return sysErrParamErr;
    auto& s = S();
    std::lock_guard lock(s.mutex);
    if (newSearch) state->words[0] = 0;
    for (uint32_t i = state->words[0]; i < s.databases.size(); ++i) {
        Database& db = s.databases[i];
        if (!Matches(db, type, creator)) continue;
        if (latestOnly) {
            bool newer = false;
            for (const Database& other : s.databases)
                newer |= other.type == db.type && other.creator == db.creator && other.version > db.version;
            if (newer) continue;
        }
        state->words[0] = i + 1;
        NoteOpened(db, db.openMode);
        *dbRef = db.id;
        return 0;
    }
    state->words[0] = static_cast<uint32_t>(s.databases.size());
    return dmErrCantFind;
}
VANTOR_OS_SLOT(DmFindNewestDatabase, StandinDmFindNewestDatabase)

uint16_t StandinDmCloseDatabase(uint32_t dbRef) {
    auto& s = S();
    std::lock_guard lock(s.mutex);
    for (Database& db : s.databases) {
        if (db.id == dbRef && db.openReferences > 0) {
            --db.openReferences;
            return 0;
        }
    }
    return sysErrParamErr;
}
VANTOR_OS_SLOT(DmCloseDatabase, StandinDmCloseDatabase)

}  // namespace

void ResetDatabases() {
    std::lock_guard lock(S().mutex);
    S().databases.clear();
}

uint32_t AddDatabase(const char* name, uint32_t type, uint32_t creator, uint16_t version) {
    auto& s = S();
    std::lock_guard lock(s.mutex);
    uint32_t id = s.nextId++;
    s.databases.push_back({id, name ? name : "", type, creator, version});
    return id;
}

void NoteOpened(DatabaseEntry& db, uint16_t mode) {
    static uint32_t order = 0;
    ++db.openReferences;
    db.openMode = mode;
    db.openOrder = ++order;
}

uint32_t AddDatabaseWithID(uint32_t id, const char* name, uint32_t type, uint32_t creator, uint16_t version) {
    auto& s = S();
    std::lock_guard lock(s.mutex);
    s.databases.push_back({id, name ? name : "", type, creator, version});
    return id;
}

bool WithDatabase(uint32_t id, const std::function<void(DatabaseEntry&)>& f) {
    auto& s = S();
    std::lock_guard lock(s.mutex);
    for (Database& db : s.databases) {
        if (db.id != id) continue;
        f(db);
        return true;
    }
    return false;
}

uint32_t FindDatabaseID(const std::function<bool(const DatabaseEntry&)>& match) {
    auto& s = S();
    std::lock_guard lock(s.mutex);
    for (const Database& db : s.databases)
        if (match(db)) return db.id;
    return 0;
}

bool RemoveDatabase(uint32_t id) {
    auto& s = S();
    std::lock_guard lock(s.mutex);
    return std::erase_if(s.databases, [&](const Database& db) { return db.id == id; }) > 0;
}

size_t DatabaseCount() {
    auto& s = S();
    std::lock_guard lock(s.mutex);
    return s.databases.size();
}

uint32_t DatabaseIDAt(size_t index) {
    auto& s = S();
    std::lock_guard lock(s.mutex);
    return index < s.databases.size() ? s.databases[index].id : 0;
}

int OpenReferences(uint32_t dbID) {
    auto& s = S();
    std::lock_guard lock(s.mutex);
    for (const Database& db : s.databases)
        if (db.id == dbID) return db.openReferences;
    return -1;
}

}  // namespace vantor::os
