// Resource databases of the in-memory store: creating a database by name (system slot 72), marking
// it (77), the preference databases (384), and its resources, each a handle of the memory manager
// (92, 93, 101, 106, 114, 121, 136, 138, 142, 143). A database is named by the reference that the
// newest-database search gives.
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/FourCC.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

constexpr uint16_t dmErrIndexOutOfRange = 0x0202;
constexpr uint16_t dmErrAlreadyExists = 0x0219;
constexpr uint16_t dmErrMemError = 0x0203;

struct Resource {
    uint32_t type;
    uint16_t id;
    void* handle;
};

struct Resources {
    std::mutex mutex;
    std::map<uint32_t, std::vector<Resource>> byDatabase;
    std::map<std::string, uint32_t> names;
    uint16_t lastErr = 0;
};

Resources& Rs() {
    static Resources resources;
    return resources;
}

uint16_t StandinDmCreateDatabaseNamed(uint16_t /*cardNo*/, const char* name, uint32_t creator, uint32_t type,
                                      uint8_t resDB) {
    if (!name || !*name) return sysErrParamErr;
    {
        std::lock_guard lock(Rs().mutex);
        if (Rs().names.count(name)) return dmErrAlreadyExists;
    }
    uint32_t id = AddDatabase(name, type, creator, 1);
    if (resDB) WithDatabase(id, [](DatabaseEntry& db) { db.attributes |= 0x0001; });
    std::lock_guard lock(Rs().mutex);
    Rs().names[name] = id;
    Rs().byDatabase[id];
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmCreateDatabaseNamed, StandinDmCreateDatabaseNamed)

// The index of the `typeIndex`-th resource of that type in the database, or 0xFFFF.
uint16_t StandinDmFindResourceType(uint32_t dbRef, uint32_t type, uint16_t typeIndex) {
    std::lock_guard lock(Rs().mutex);
    auto it = Rs().byDatabase.find(dbRef);
    if (it == Rs().byDatabase.end()) return 0xFFFF;
    for (size_t i = 0; i < it->second.size() && i < 0xFFFF; ++i)
        if (it->second[i].type == type && typeIndex-- == 0) return static_cast<uint16_t>(i);
    return 0xFFFF;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmFindResourceType, StandinDmFindResourceType)

// The preference databases, the saved one and the unsaved one: resource databases made on first
// use, opened read-write for the caller, who closes them.
uint32_t StandinPrefOpenPreferenceDB(uint8_t saved) {
    const char* name = saved ? "Preferences" : "Unsaved Preferences";
    StandinDmCreateDatabaseNamed(0, name, FourCC("psys"), FourCC("pref"), 1);
    uint32_t id;
    {
        std::lock_guard lock(Rs().mutex);
        id = Rs().names[name];
    }
    return OsCall<syssig::DmOpenDatabaseByID>(sysslot::DmOpenDatabaseByID, id, uint16_t{3});
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::PrefOpenPreferenceDB, StandinPrefOpenPreferenceDB)

uint16_t StandinDmMarkDatabase(uint32_t /*dbRef*/, uint8_t /*flag*/) { return 0; }
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmMarkDatabase, StandinDmMarkDatabase)

uint16_t StandinDmGetLastErr() {
    std::lock_guard lock(Rs().mutex);
    return Rs().lastErr;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmGetLastErr, StandinDmGetLastErr)

uint16_t StandinDmNumResources(uint32_t dbRef) {
    std::lock_guard lock(Rs().mutex);
    return static_cast<uint16_t>(Rs().byDatabase[dbRef].size());
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmNumResources, StandinDmNumResources)

uint16_t StandinDmFindResource(uint32_t dbRef, uint32_t type, uint16_t id, void* handle) {
    std::lock_guard lock(Rs().mutex);
    const auto& list = Rs().byDatabase[dbRef];
    for (size_t i = 0; i < list.size(); ++i) {
        if (handle ? list[i].handle == handle : (list[i].type == type && list[i].id == id))
            return static_cast<uint16_t>(i);
    }
    return 0xFFFF;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmFindResource, StandinDmFindResource)

void* StandinDmGetResourceIndex(uint32_t dbRef, uint16_t index) {
    std::lock_guard lock(Rs().mutex);
    const auto& list = Rs().byDatabase[dbRef];
    return index < list.size() ? list[index].handle : nullptr;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmGetResourceIndex, StandinDmGetResourceIndex)

uint16_t StandinDmResourceInfo(uint32_t dbRef, uint16_t index, uint32_t* type, uint16_t* id, uint32_t* chunk) {
    std::lock_guard lock(Rs().mutex);
    const auto& list = Rs().byDatabase[dbRef];
    if (index >= list.size()) return dmErrIndexOutOfRange;
    if (type) *type = list[index].type;
    if (id) *id = list[index].id;
    if (chunk) *chunk = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(list[index].handle));
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmResourceInfo, StandinDmResourceInfo)

void* StandinDmNewResource(uint32_t dbRef, uint32_t type, uint16_t id, uint32_t size) {
    {
        std::lock_guard lock(Rs().mutex);
        for (const Resource& r : Rs().byDatabase[dbRef]) {
            if (r.type == type && r.id == id) {
                Rs().lastErr = dmErrAlreadyExists;
                return nullptr;
            }
        }
    }
    void* h = OsCall<syssig::MemHandleNew>(sysslot::MemHandleNew, size);
    std::lock_guard lock(Rs().mutex);
    if (!h) {
        Rs().lastErr = dmErrMemError;
        return nullptr;
    }
    Rs().byDatabase[dbRef].push_back({type, id, h});
    return h;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmNewResource, StandinDmNewResource)

void* StandinDmResizeResource(void* handle, uint32_t size) {
    if (OsCall<syssig::MemHandleResize>(sysslot::MemHandleResize, handle, size) != 0) {
        std::lock_guard lock(Rs().mutex);
        Rs().lastErr = dmErrMemError;
        return nullptr;
    }
    return handle;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmResizeResource, StandinDmResizeResource)

uint16_t StandinDmReleaseResource(void* /*handle*/) { return 0; }
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmReleaseResource, StandinDmReleaseResource)

uint16_t StandinDmRemoveResourceByIndex(uint32_t dbRef, uint16_t index) {
    void* h;
    {
        std::lock_guard lock(Rs().mutex);
        auto& list = Rs().byDatabase[dbRef];
        if (index >= list.size()) return dmErrIndexOutOfRange;
        h = list[index].handle;
        list.erase(list.begin() + index);
    }
    return OsCall<syssig::MemHandleFree>(sysslot::MemHandleFree, h);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::DmRemoveResourceByIndex, StandinDmRemoveResourceByIndex)

}  // namespace

void ForgetResources(uint32_t id) {
    std::vector<void*> handles;
    {
        std::lock_guard lock(Rs().mutex);
        for (const Resource& r : Rs().byDatabase[id]) handles.push_back(r.handle);
        Rs().byDatabase.erase(id);
        std::erase_if(Rs().names, [&](const auto& entry) { return entry.second == id; });
    }
    for (void* h : handles) OsCall<syssig::MemHandleFree>(sysslot::MemHandleFree, h);
}

void ResetResources() {
    std::vector<void*> handles;
    {
        std::lock_guard lock(Rs().mutex);
        for (auto& [db, list] : Rs().byDatabase) {
            for (const Resource& r : list) handles.push_back(r.handle);
        }
        Rs().byDatabase.clear();
        Rs().names.clear();
        Rs().lastErr = 0;
    }
    for (void* h : handles) OsCall<syssig::MemHandleFree>(sysslot::MemHandleFree, h);
}

}  // namespace vantor::os
