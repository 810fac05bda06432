// Database import and autoload (export slot 275 and HALImportFile): a database file is checked,
// mapped read-only and handed to the caller's create-from-image function, replacing or keeping a
// database of the same name; at start-up every database file of "autoload/" beside the
// executable is imported.
#include "kez/src/HALImport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/BigEndian.h"
#include "common/module/SystemCalls.h"
#include "kez/src/KezModule.h"
#include "kez/src/RAL.h"

using namespace vantor;

namespace kez {
namespace {

constexpr uint16_t kZone = 0xF100;
constexpr uint16_t kErrCantOpen = 0x0207;
constexpr uint16_t kErrCorrupt = 0x0209;
constexpr uint16_t kErrAlreadyExists = 0x0219;

constexpr uint32_t kHeaderSize = 78;
constexpr uint16_t kResourceDatabase = 0x0001;
constexpr uint32_t kResourceEntrySize = 10, kRecordEntrySize = 8;

bool Printable(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] < 32 || p[i] > 127) return false;
    return true;
}

// Whether `offset` lies in [low, size]: data may start right at the end of the list, and an empty
// last entry may end at the end of the file.
bool Inside(uint32_t offset, uint32_t low, uint32_t size) { return offset >= low && offset <= size; }

void ImportOne(const std::string& path, HALImportCreateProc create) {
    HALImportFile(path.c_str(), 1, create, nullptr);
}

bool HasDatabaseExtension(const char* name) {
    const char* dot = std::strrchr(name, '.');
    if (!dot) return false;
    for (const char* extension : {".vrx", ".wyx", ".ovrx", ".bvrx"})
        if (strcasecmp(dot, extension) == 0) return true;
    return false;
}

void HALImportAutoloadFiles(HALImportCreateProc create) {
    std::string directory = std::string(PrvRALGetExePath()) + "autoload/";
    DIR* dir = opendir(directory.c_str());
    if (!dir) return;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_type != DT_REG && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) continue;
        if (!HasDatabaseExtension(entry->d_name)) continue;
        ImportOne(directory + entry->d_name, create);
    }
    closedir(dir);
}
KEZ_SLOT_NAMED(HALImportAutoloadFiles, HALImportAutoloadFiles)

}  // namespace

bool PrvCheckDB(const uint8_t* image, uint32_t size) {
    if (!image || size < kHeaderSize + 2) return false;
    size_t nameLength = strnlen(reinterpret_cast<const char*>(image), 32);
    if (nameLength == 0 || nameLength == 32) {
        KEZ_CALL(HALTrace, kZone, "PrvCheckDB(): Invalid DB Name");
        return false;
    }
    if (!Printable(image + 60, 8)) {
        KEZ_CALL(HALTrace, kZone, "PrvCheckDB(): Invalid Type or Creator");
        return false;
    }
    uint32_t created = ReadBE32(image + 36), modified = ReadBE32(image + 40), backedUp = ReadBE32(image + 44);
    if (created && modified && created > modified) {
        KEZ_CALL(HALTrace, kZone, "PrvCheckDB(): Creation date more recent than Modification date");
        return false;
    }
    if (created && backedUp && created > backedUp) {
        KEZ_CALL(HALTrace, kZone, "PrvCheckDB(): Last Backup date more recent than Modification date");
        return false;
    }
    // The entry list and every offset it holds lie inside the file, so that whoever reads the
    // image never leaves it.
    bool resources = ReadBE16(image + 32) & kResourceDatabase;
    uint32_t count = ReadBE16(image + 76);
    uint32_t entrySize = resources ? kResourceEntrySize : kRecordEntrySize;
    uint64_t listEnd = kHeaderSize + uint64_t{count} * entrySize;
    if (ReadBE32(image + 72) != 0 || listEnd > size) {
        KEZ_CALL(HALTrace, kZone, "PrvCheckDB(): Invalid entry list");
        return false;
    }
    uint32_t appInfo = ReadBE32(image + 52), sortInfo = ReadBE32(image + 56);
    bool good = (appInfo == 0 || Inside(appInfo, static_cast<uint32_t>(listEnd), size)) &&
                (sortInfo == 0 || Inside(sortInfo, static_cast<uint32_t>(listEnd), size));
    uint32_t previous = static_cast<uint32_t>(listEnd);
    for (uint32_t i = 0; good && i < count; ++i) {
        const uint8_t* entry = image + kHeaderSize + i * entrySize;
        uint32_t offset = resources ? ReadBE32(entry + 6) : ReadBE32(entry);
        good = Inside(offset, previous, size);
        previous = offset;
    }
    if (!good) {
        KEZ_CALL(HALTrace, kZone, "PrvCheckDB(): Entry outside the file");
        return false;
    }
    return true;
}

uint16_t HALImportFile(const char* path, uint8_t overwrite, HALImportCreateProc create, uint32_t* dbID) {
    if (dbID) *dbID = 0;
    if (!path || !create) return kErrCantOpen;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int error = errno;
        KEZ_CALL(HALTrace, kZone, "HALImportFile(%s): can't open, errno=%d/%s", path, error, std::strerror(error));
        return kErrCantOpen;
    }
    struct stat status;
    if (fstat(fd, &status) != 0) {
        int error = errno;
        KEZ_CALL(HALTrace, kZone, "HALImportFile(%s): can't stat, errno=%d/%s", path, error, std::strerror(error));
        close(fd);
        return kErrCantOpen;
    }
    if (!S_ISREG(status.st_mode) || status.st_size > 0x7FFFFFFF) {
        KEZ_CALL(HALTrace, kZone, "HALImportFile(%s): can't stat, errno=%d/%s", path, EINVAL, std::strerror(EINVAL));
        close(fd);
        return kErrCantOpen;
    }
    if (status.st_size < 80) {
        KEZ_CALL(HALTrace, kZone, "HALImportFile(%s): too small (%d bytes)", path, static_cast<int>(status.st_size));
        close(fd);
        return kErrCorrupt;
    }
    auto size = static_cast<uint32_t>(status.st_size);
    void* image = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (image == MAP_FAILED) {
        int error = errno;
        KEZ_CALL(HALTrace, kZone, "HALImportFile(): can't stat file [%s], errno=%d/%s", path, error,
                 std::strerror(error));
        close(fd);
        return kErrCantOpen;
    }
    auto* bytes = static_cast<const uint8_t*>(image);
    uint16_t result = 0;
    if (!PrvCheckDB(bytes, size)) {
        KEZ_CALL(HALTrace, kZone, "HALImportFile(%s): Corrupt DB", path);
        result = kErrCorrupt;
    }
    if (result == 0) {
        char name[32];
        std::memcpy(name, bytes, 32);  // terminated: checked above
        uint32_t found = sys::DmFindDatabaseByName(0, name);
        if (found != 0 && (found & 0x80000000u)) {
            if (!overwrite) {
                KEZ_CALL(HALTrace, kZone, "HALImportFile(%s): DB found in RAM, overwrite is false - failing.", path);
                result = kErrAlreadyExists;
            } else {
                KEZ_CALL(HALTrace, kZone, "HALImportFile(%s): DB found in RAM - overwriting", path);
                result = sys::DmDeleteDatabaseByID(found);
                if (result)
                    KEZ_CALL(HALTrace, kZone, "HALImportFile(%s): Failed to delete existing one, err=0x%x", path,
                             result);
            }
        } else if (found != 0) {
            KEZ_CALL(HALTrace, kZone, "HALImportFile(%s): DB found in ROM - creating a new one in RAM", path);
        }
    }
    if (result == 0) {
        uint32_t id = 0;
        result = create(image, size, &id);
        if (result == 0) {
            if (dbID) *dbID = id;
            KEZ_CALL(HALTrace, kZone, "HALImportFile(): DmCreateDBFromImage(%s) succeeded", path);
        } else {
            KEZ_CALL(HALTrace, kZone, "HALImportFile(): DmCreateDBFromImage(%s) failed, err=0x%x", path, result);
        }
    }
    munmap(image, size);
    close(fd);
    return result;
}

}  // namespace kez
