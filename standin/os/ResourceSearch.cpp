// DmSearchResource (system slot 145): where a resource lies, by its handle or by type and ID, in
// the open databases, the latest opened first: its index and the database's reference.
#include <algorithm>
#include <vector>

#include "standin/os/DatabaseStore.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

uint16_t StandinDmSearchResource(uint32_t type, uint16_t id, void* handle, uint32_t* dbRef) {
    std::vector<std::pair<uint32_t, uint32_t>> open;
    FindDatabaseID([&](const DatabaseEntry& db) {
        if (db.openReferences > 0) open.push_back({db.openOrder, db.id});
        return false;
    });
    std::sort(open.rbegin(), open.rend());
    auto find = reinterpret_cast<syssig::DmFindResource*>(SystemTable()[sysslot::DmFindResource]);
    for (const auto& [order, db] : open) {
        const uint16_t index = find(db, type, id, handle);
        if (index == 0xFFFF) continue;
        if (dbRef) *dbRef = db;
        return index;
    }
    if (dbRef) *dbRef = 0;
    return 0xFFFF;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmSearchResource, StandinDmSearchResource)

}  // namespace
}  // namespace vantor::os
