// Databases and volume files (system slots 658, 664, 665, 682 and 683): a database of the store
// exported to a database file on a volume, a database file on a volume imported into the store,
// the header of a database file and one resource of a resource-database file. The files are read
// and written through the file-system manager's own slots, so they reach the file-system library
// that mounted the volume. A file is outside input: its image is read whole (up to a bound) and
// goes through the same parse as every other database image.
#include <cstring>
#include <string>
#include <vector>

#include "common/BigEndian.h"
#include "common/ResourceDb.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

constexpr uint16_t kModeRead = 0x02;
constexpr uint16_t kModeWrite = 0x05;  // write, exclusive
constexpr uint16_t kVfsErrEndOfFile = 0x2A07;
constexpr uint16_t kErrResourceNotFound = 0x0210;
constexpr uint16_t kErrAlreadyExists = 0x0219;
constexpr uint16_t kErrBadLocalID = 0x0203;
// A database file larger than this is refused rather than read into memory.
constexpr uint32_t kMaxImage = 16u << 20;

uint16_t FileOpen(uint16_t volRefNum, const char* path, uint16_t mode, uint32_t* fileRef) {
    return OsCall<uint16_t(uint16_t, const char*, uint16_t, uint32_t*)>(sysslot::FileSystemSel3, volRefNum, path,
                                                                     mode, fileRef);
}
void FileClose(uint32_t fileRef) {
    OsCall<uint16_t(uint32_t)>(sysslot::FileSystemSel4, fileRef);
}

// Reads `count` bytes from the start of an open file; a file shorter than that is not a database.
uint16_t ReadFromStart(uint32_t fileRef, uint32_t count, uint8_t* buffer) {
    if (uint16_t err = OsCall<uint16_t(uint32_t, uint16_t, int32_t)>(sysslot::FileSystemSel10, fileRef,
                                                                  uint16_t{0}, int32_t{0}))
        return err;
    uint32_t read = 0;
    uint16_t err = OsCall<uint16_t(uint32_t, uint32_t, void*, uint32_t*)>(
        sysslot::FileSystemSel6, fileRef, count, static_cast<void*>(buffer), &read);
    if (err == kVfsErrEndOfFile || (err == 0 && read != count))
        return read == count ? 0 : dmErrNotValidRecord;
    return err;
}

// The whole image of an open file.
uint16_t ReadImage(uint32_t fileRef, std::vector<uint8_t>* image) {
    uint32_t size = 0;
    if (uint16_t err = OsCall<uint16_t(uint32_t, uint32_t*)>(sysslot::FileSystemSel18, fileRef, &size))
        return err;
    if (size < kResDbHeaderSize) return dmErrNotValidRecord;
    if (size > kMaxImage) return memErrNotEnoughSpace;
    image->assign(size, 0);
    return ReadFromStart(fileRef, size, image->data());
}

// The header fields of a database file; the out-values that are null are not wanted. This store
// keeps no application-info or sort-info blocks, so those handles come back null.
uint16_t StandinFileDBInfo(uint32_t fileRef, char* name, uint16_t* attributes, uint16_t* version,
                           uint32_t* created, uint32_t* modified, uint32_t* backedUp,
                           uint32_t* modificationNumber, void** appInfo, void** sortInfo, uint32_t* type,
                           uint32_t* creator, uint16_t* count) {
    uint8_t header[kResDbHeaderSize];
    if (uint16_t err = ReadFromStart(fileRef, sizeof header, header)) return err;
    size_t nameLength = strnlen(reinterpret_cast<const char*>(header), 32);
    if (nameLength == 0 || nameLength == 32) return dmErrNotValidRecord;
    if (name) std::memcpy(name, header, nameLength + 1);
    if (attributes) *attributes = ReadBE16(header + 32);
    if (version) *version = ReadBE16(header + 34);
    if (created) *created = ReadBE32(header + 36);
    if (modified) *modified = ReadBE32(header + 40);
    if (backedUp) *backedUp = ReadBE32(header + 44);
    if (modificationNumber) *modificationNumber = ReadBE32(header + 48);
    if (appInfo) *appInfo = nullptr;
    if (sortInfo) *sortInfo = nullptr;
    if (type) *type = ReadBE32(header + 60);
    if (creator) *creator = ReadBE32(header + 64);
    if (count) *count = ReadBE16(header + 76);
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel37, StandinFileDBInfo)

// One resource of a resource-database file, copied into a new handle that the caller frees.
uint16_t StandinFileDBGetResource(uint32_t fileRef, uint32_t type, uint16_t id, void** handleP) {
    if (!handleP) return sysErrParamErr;
    *handleP = nullptr;
    std::vector<uint8_t> image;
    if (uint16_t err = ReadImage(fileRef, &image)) return err;
    ResourceDb db;
    std::string error;
    if (!ResourceDbParse(image.data(), image.size(), &db, &error)) return dmErrNotValidRecord;
    for (const Resource& r : db.resources) {
        if (r.type != type || r.id != id) continue;
        // A handle of 0 bytes cannot be made: an empty resource gets one byte.
        void* handle = OsCall<syssig::MemHandleNew>(sysslot::MemHandleNew,
                                                 static_cast<uint32_t>(r.bytes.empty() ? 1 : r.bytes.size()));
        if (!handle) return memErrNotEnoughSpace;
        if (!r.bytes.empty()) {
            std::memcpy(OsCall<syssig::MemHandleLock>(sysslot::MemHandleLock, handle), r.bytes.data(),
                        r.bytes.size());
            OsCall<syssig::MemHandleUnlock>(sysslot::MemHandleUnlock, handle);
        }
        *handleP = handle;
        return 0;
    }
    return kErrResourceNotFound;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel36, StandinFileDBGetResource)

// A database file on a volume made a database of the store. One whose name a database of the
// store has already answers 0x0219 with that database's id.
uint16_t StandinImportDatabaseFromFile(uint16_t volRefNum, const char* path, uint32_t* dbIDP) {
    if (dbIDP) *dbIDP = 0;
    if (!path) return sysErrParamErr;
    uint32_t fileRef = 0;
    if (uint16_t err = FileOpen(volRefNum, path, kModeRead, &fileRef)) return err;
    std::vector<uint8_t> image;
    uint16_t err = ReadImage(fileRef, &image);
    FileClose(fileRef);
    if (err) return err;
    uint32_t id = 0;
    err = CreateDatabaseFromImage(image.data(), static_cast<uint32_t>(image.size()), &id);
    if (err == kErrAlreadyExists) {
        const auto* text = reinterpret_cast<const char*>(image.data());
        const std::string name(text, strnlen(text, 32));
        id = FindDatabaseID(
            [&](const DatabaseEntry& db) { return db.name == name && !(db.id & 0x80000000u); });
    }
    if (dbIDP) *dbIDP = id;
    return err;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::VFSImportDatabaseFromFile, StandinImportDatabaseFromFile)

uint16_t StandinImportDatabaseFromFileCard(uint16_t volRefNum, const char* path, uint16_t* cardNoP,
                                           uint32_t* dbIDP) {
    if (cardNoP) *cardNoP = 0;
    return StandinImportDatabaseFromFile(volRefNum, path, dbIDP);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel34, StandinImportDatabaseFromFileCard)

// A database of the store written to a new file on a volume: its header and, for a resource
// database, its resources. An existing file is left alone (the file-system's error).
uint16_t StandinExportDatabaseToFile(uint16_t volRefNum, const char* path, uint16_t, uint32_t dbID) {
    if (!path) return sysErrParamErr;
    ResourceDb db;
    uint32_t created = 0;
    const uint32_t id = StoreIDFromLocalID(dbID);
    bool found = WithDatabase(id, [&](DatabaseEntry& entry) {
        db.name = entry.name.substr(0, 31);
        db.attributes = entry.attributes;
        db.version = entry.version;
        db.type = entry.type;
        db.creator = entry.creator;
        created = entry.created;
    });
    if (!found) return kErrBadLocalID;
    if (db.attributes & kResDbAttrResource) {
        const uint16_t count = OsCall<syssig::DmNumResources>(sysslot::DmNumResources, id);
        for (uint16_t i = 0; i < count; ++i) {
            Resource r{};
            if (OsCall<syssig::DmResourceInfo>(sysslot::DmResourceInfo, id, i, &r.type, &r.id, nullptr) != 0)
                continue;
            void* handle = OsCall<syssig::DmGetResourceIndex>(sysslot::DmGetResourceIndex, id, i);
            if (!handle) continue;
            const auto* bytes =
                static_cast<const uint8_t*>(OsCall<syssig::MemHandleLock>(sysslot::MemHandleLock, handle));
            r.bytes.assign(bytes, bytes + OsCall<syssig::MemHandleSize>(sysslot::MemHandleSize, handle));
            OsCall<syssig::MemHandleUnlock>(sysslot::MemHandleUnlock, handle);
            db.resources.push_back(std::move(r));
        }
    }
    std::vector<uint8_t> image = ResourceDbWrite(db);
    WriteBE32(&image[36], created);
    if (uint16_t err = OsCall<uint16_t(uint16_t, const char*)>(sysslot::FileSystemSel2, volRefNum, path))
        return err;
    uint32_t fileRef = 0, written = 0;
    uint16_t err = FileOpen(volRefNum, path, kModeWrite, &fileRef);
    if (!err) {
        err = OsCall<uint16_t(uint32_t, uint32_t, const void*, uint32_t*)>(
            sysslot::FileSystemSel7, fileRef, static_cast<uint32_t>(image.size()),
            static_cast<const void*>(image.data()), &written);
        FileClose(fileRef);
        if (!err && written != image.size()) err = dmErrWriteOutOfBounds;
    }
    // A file that does not hold the whole database is not left behind as if it did.
    if (err) OsCall<uint16_t(uint16_t, const char*)>(sysslot::FileSystemSel8, volRefNum, path);
    return err;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel35, StandinExportDatabaseToFile)

}  // namespace
}  // namespace vantor::os
