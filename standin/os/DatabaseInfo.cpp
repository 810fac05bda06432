// Database information and open references of the in-memory store: the information of a database
// by id (system slot 75) and the identity of an open reference (124).
#include <algorithm>
#include <cstring>

#include "standin/os/DatabaseStore.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

uint16_t StandinDmDatabaseInfoByID(uint32_t dbID, char* name, uint16_t* attributes, uint16_t* version,
                                   uint32_t* creationDate, uint32_t* type, uint32_t* creator) {
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

}  // namespace
}  // namespace vantor::os
