// Databases made from file images: the create-from-image service that the OS main hands to Kez's
// import, and finding a database by name (system slot 87). Slot 87 answers a local id: a RAM
// database's id with bit 31 set, and a ROM database's id (bit 31 set in the store) with bit 31
// clear; deleting (slot 82) takes either form.
#include <cstring>
#include <string>

#include "common/BigEndian.h"
#include "common/ResourceDb.h"
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

std::vector<uint8_t> DatabaseImageAppInfo(const uint8_t* image, size_t size) {
    if (!image || size < kResDbHeaderSize) return {};
    const uint32_t at = ReadBE32(image + 52);
    const uint16_t count = ReadBE16(image + 76);
    // Resource entries are {type, id, offset}, record entries {offset, attributes, unique id}.
    const bool resources = ReadBE16(image + 32) & kResDbAttrResource;
    const size_t entrySize = resources ? kResDbEntrySize : 8;
    const size_t list = kResDbHeaderSize + count * entrySize;
    if (at == 0 || at < list || list > size) return {};
    size_t end = size;
    if (count) end = ReadBE32(image + kResDbHeaderSize + (resources ? 6 : 0));
    if (at >= end || end > size) return {};
    return {image + at, image + end};
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
    // A resource database brings its resources; an image that does not parse as one is refused
    // before anything is made.
    uint16_t attributes = ReadBE16(bytes + 32);
    ResourceDb resources;
    std::string error;
    if ((attributes & kResDbAttrResource) && !ResourceDbParse(bytes, size, &resources, &error))
        return dmErrNotValidRecord;
    uint32_t id = AddDatabase(name.c_str(), ReadBE32(bytes + 60), ReadBE32(bytes + 64), ReadBE16(bytes + 34));
    auto newResource = reinterpret_cast<syssig::DmNewResource*>(SystemTable()[sysslot::DmNewResource]);
    auto lock = reinterpret_cast<syssig::MemHandleLock*>(SystemTable()[sysslot::MemHandleLock]);
    auto unlock = reinterpret_cast<syssig::MemHandleUnlock*>(SystemTable()[sysslot::MemHandleUnlock]);
    for (const Resource& r : resources.resources) {
        void* h = newResource(id, r.type, r.id, static_cast<uint32_t>(r.bytes.size()));
        if (!h) continue;
        if (!r.bytes.empty()) std::memcpy(lock(h), r.bytes.data(), r.bytes.size());
        unlock(h);
    }
    WithDatabase(id, [&](DatabaseEntry& db) {
        db.attributes = ReadBE16(bytes + 32);
        db.created = ReadBE32(bytes + 36);
        db.appInfo = DatabaseImageAppInfo(bytes, size);
    });
    if (dbID) *dbID = id;
    return 0;
}

}  // namespace vantor::os
