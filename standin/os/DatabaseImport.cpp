// Databases made from file images: the create-from-image service that the OS main hands to Kez's
// import, and finding a database by name (system slot 87). Slot 87 answers a local id: a RAM
// database's id with bit 31 set, and a ROM database's id (bit 31 set in the store) with bit 31
// clear; deleting (slot 82) takes either form.
#include <cstring>
#include <string>

#include "common/BigEndian.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

constexpr uint32_t kLocalBit = 0x80000000u;

uint32_t StandinDmFindDatabaseByName(uint16_t, const char* name) {
    if (!name) return 0;
    uint32_t id = FindDatabaseID([&](const DatabaseEntry& db) { return db.name == name; });
    return id ? id ^ kLocalBit : 0;
}
VANTOR_OS_SLOT(DmFindDatabaseByName, StandinDmFindDatabaseByName)

}  // namespace

uint32_t StoreIDFromLocalID(uint32_t localID) {
    if (WithDatabase(localID, [](DatabaseEntry&) {})) return localID;
    return localID ^ kLocalBit;
}

uint16_t CreateDatabaseFromImage(const void* image, uint32_t size, uint32_t* dbID) {
    if (dbID) *dbID = 0;
    auto* bytes = static_cast<const uint8_t*>(image);
    if (!bytes || size < 80) return dmErrNotValidRecord;
    size_t nameLength = strnlen(reinterpret_cast<const char*>(bytes), 32);
    if (nameLength == 0 || nameLength == 32) return dmErrNotValidRecord;
    std::string name(reinterpret_cast<const char*>(bytes), nameLength);
    if (FindDatabaseID([&](const DatabaseEntry& db) { return db.name == name && !(db.id & kLocalBit); }))
        return 0x0219;  // a RAM database of that name exists
    uint32_t id = AddDatabase(name.c_str(), ReadBE32(bytes + 60), ReadBE32(bytes + 64), ReadBE16(bytes + 34));
    WithDatabase(id, [&](DatabaseEntry& db) {
        db.attributes = ReadBE16(bytes + 32);
        db.created = ReadBE32(bytes + 36);
    });
    if (dbID) *dbID = id;
    return 0;
}

}  // namespace vantor::os
