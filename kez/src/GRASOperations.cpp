// The rows of the remote-access operation table. Every handler checks the session type, then the
// request's length before it reads a field: a field past the data that arrived answers 0xF305,
// and strings are read from the buffer, which always ends with a zero byte past the data.
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/FourCC.h"
#include "common/module/A68kCalls.h"
#include "common/module/A68kSlots.h"
#include "common/module/CardSlotSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"
#include "kez/src/GRASServer.h"
#include "kez/src/HALHobgobs.h"
#include "kez/src/HALImport.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"

using namespace vantor;

namespace kez {

uint16_t PALConvertEncodingHalvernToHost(const char* source, uint32_t sourceLength, char* destination,
                                         uint32_t* destinationLength);

namespace {

constexpr uint16_t kZone = 0xF300;
constexpr uint16_t kErrNotFound = 0x0207;
constexpr uint16_t kErrNoMemory = 0x0102;
constexpr uint32_t kAnyType = 0xFFFFFFFF;

#define GRAS_TRACE(...) sys::SysTrace(kZone, __VA_ARGS__)

// Whether the session's type is one of `types` (a bit per type); traced when it is not.
bool TypeIs(GRASSession* session, uint32_t types, const char* name) {
    if (types == kAnyType || (session->type < 32 && (types & (1u << session->type)))) return true;
    GRAS_TRACE("%s(): session type %d not allowed", name, static_cast<int>(session->type));
    return false;
}
#define REQUIRE_TYPE(types)                                                       \
    if (!TypeIs(session, (types), __func__)) return GRASErrSessionTypeMismatch;
#define REQUIRE_LENGTH(n)                                                         \
    if (session->header.length < (n)) return GRASErrInvalidParam;

constexpr uint32_t Types(std::initializer_list<int> types) {
    uint32_t bits = 0;
    for (int t : types) bits |= 1u << t;
    return bits;
}

uint32_t Word(const GRASSession* session, uint32_t offset) {
    uint32_t value;
    std::memcpy(&value, session->data + offset, 4);
    return value;
}
// The zero-terminated string at `offset`, or "" when the data ends before it.
const char* Text(const GRASSession* session, uint32_t offset) {
    return session->header.length > offset ? reinterpret_cast<const char*>(session->data + offset) : "";
}

uint16_t Reply(GRASSession* session, const void* bytes, uint32_t n) {
    if (!PrvGRASSetBuffer(session, n)) return kErrNoMemory;
    if (n) std::memcpy(session->data, bytes, n);
    return 0;
}
uint16_t Empty(GRASSession* session) { return Reply(session, nullptr, 0); }
uint16_t ReplyWord(GRASSession* session, uint32_t value) { return Reply(session, &value, 4); }

// The wire form of one database: 80 bytes.
struct GRASDbEntry {
    char name[32];
    uint16_t attributes;
    uint16_t version;
    uint32_t created, modified, backedUp, modificationNumber;
    uint8_t storage;
    uint8_t zero[7];
    uint32_t type, creator;
    uint8_t tail[12];
};
static_assert(sizeof(GRASDbEntry) == 80);
static_assert(offsetof(GRASDbEntry, storage) == 52);
static_assert(offsetof(GRASDbEntry, type) == 60);

uint16_t EntryOf(uint32_t id, GRASDbEntry* entry) {
    *entry = GRASDbEntry{};
    return sys::DmDatabaseInfoByID(id, entry->name, &entry->attributes, &entry->version, &entry->created,
                                   &entry->type, &entry->creator);
}

// The internal storage's databases (of `type` unless 0) into `entries` (null: only counted).
uint16_t ListInternal(uint32_t type, GRASDbEntry* entries, uint32_t capacity, uint32_t* count) {
    uint16_t total = glue::SysCall<uint16_t(uint16_t)>(sysslot::DmCountDatabases, uint16_t{0});
    for (uint16_t i = 0; i < total; ++i) {
        uint32_t id = glue::SysCall<uint32_t(uint16_t, uint16_t)>(sysslot::DmGetDatabaseByIndex, uint16_t{0}, i);
        if (id == 0) return GRASErrFailed;
        GRASDbEntry entry;
        if (uint16_t err = EntryOf(id, &entry)) return err;
        if (type != 0 && entry.type != type) continue;
        if (entries) {
            if (*count >= capacity) return kErrNoMemory;
            entries[*count] = entry;
        }
        ++*count;
    }
    return 0;
}

// The internal database of that type, creator and name (each 0 or "" for any); 0 when none.
uint32_t LocateInternal(uint32_t type, uint32_t creator, const char* name) {
    SysDmSearchState state{};
    uint32_t ref = 0, found = 0;
    for (uint8_t first = 1; sys::DmFindNewestDatabase(first, type, creator, 1, &state, &ref) == 0; first = 0) {
        char dbName[32] = {};
        sys::DmDatabaseInfoByID(ref, dbName, nullptr, nullptr, nullptr, nullptr, nullptr);
        sys::DmCloseDatabase(ref);
        if (!name || !name[0] || std::strcmp(dbName, name) == 0) {
            found = ref;
            break;
        }
    }
    if (found) GRAS_TRACE("prv_locate_db(): Found in internal storage");
    return found;
}

// --- Volumes ----------------------------------------------------------------------------------

// Volumes keep their applications and databases as files of one directory.
constexpr char kLauncherDir[] = "/VANTOR/LAUNCHER";
constexpr uint32_t kSkippedEntryBits = 0x5E;  // read-only, hidden, system, volume label, directory
constexpr uint16_t kVfsModeRead = 0x0002;
constexpr uint32_t kIteratorStop = 0xFFFFFFFF;
constexpr uint16_t kErrEnumerationEmpty = 0x290D;
constexpr uint16_t kErrResourceNotFound = 0x0210;
constexpr uint16_t kErrAlreadyExists = 0x0219;

// The OS's volume-information record (native layout).
struct VolumeInfo {
    uint32_t attributes, fsType, fsCreator, mountClass;
    uint16_t slotLibRefNum, slotRefNum;
    uint32_t mediaType, reserved;
};
static_assert(sizeof(VolumeInfo) == 28);
static_assert(offsetof(VolumeInfo, slotRefNum) == 18);

// The directory-entry record that the enumeration fills: the name goes into the buffer it names.
struct DirEntryInfo {
    uint32_t attributes;
    uint32_t nameP;
    uint16_t nameBufSize;
};
static_assert(sizeof(DirEntryInfo) == 12);

struct MountedVolume {
    uint16_t volRefNum;
    uint16_t slot;
};

// The mounted volumes with the slot numbers that the OS's volume information gives.
std::vector<MountedVolume> Volumes() {
    std::vector<MountedVolume> volumes;
    uint32_t iterator = 0;
    for (int guard = 0; guard < 256 && iterator != kIteratorStop; ++guard) {
        uint16_t volRefNum = 0;
        using Enumerate = uint16_t(uint16_t*, uint32_t*);
        if (glue::SysCall<Enumerate>(sysslot::FileSystemSel27, &volRefNum, &iterator) != 0) break;
        VolumeInfo info{};
        if (glue::SysCall<uint16_t(uint16_t, VolumeInfo*)>(sysslot::FileSystemSel28, volRefNum, &info) == 0)
            volumes.push_back({volRefNum, info.slotRefNum});
    }
    return volumes;
}

uint16_t FileOpen(uint16_t volRefNum, const char* path, uint32_t* fileRef) {
    return glue::SysCall<uint16_t(uint16_t, const char*, uint16_t, uint32_t*)>(
        sysslot::FileSystemSel3, volRefNum, path, kVfsModeRead, fileRef);
}
void FileClose(uint32_t fileRef) {
    glue::SysCall<uint16_t(uint32_t)>(sysslot::FileSystemSel4, fileRef);
}

// The database information of a database file on a volume into `entry` (storage: `slot`).
uint16_t VolumeFileEntry(uint16_t volRefNum, const std::string& path, uint16_t slot, GRASDbEntry* entry) {
    *entry = GRASDbEntry{};
    uint32_t fileRef = 0;
    if (uint16_t err = FileOpen(volRefNum, path.c_str(), &fileRef)) return err;
    using FileDBInfo = uint16_t(uint32_t, char*, uint16_t*, uint16_t*, uint32_t*, uint32_t*, uint32_t*,
                                uint32_t*, void**, void**, uint32_t*, uint32_t*, uint16_t*);
    uint16_t err = glue::SysCall<FileDBInfo>(
        sysslot::FileSystemSel37, fileRef, entry->name, &entry->attributes, &entry->version, &entry->created,
        &entry->modified, &entry->backedUp, &entry->modificationNumber, static_cast<void**>(nullptr),
        static_cast<void**>(nullptr), &entry->type, &entry->creator, static_cast<uint16_t*>(nullptr));
    FileClose(fileRef);
    entry->name[31] = '\0';
    entry->storage = static_cast<uint8_t>(slot);
    return err;
}

// Calls `visit(name, attributes)` for each entry of the volume's launcher directory until it
// answers true. The directory's open error, or an enumeration error other than its end.
template <typename Visit>
uint16_t ForEachLauncherEntry(uint16_t volRefNum, Visit visit) {
    uint32_t dirRef = 0;
    if (uint16_t err = FileOpen(volRefNum, kLauncherDir, &dirRef)) return err;
    uint16_t result = 0;
    uint32_t iterator = 0;
    for (int guard = 0; guard < 0x10000 && iterator != kIteratorStop; ++guard) {
        char name[241] = {};
        DirEntryInfo info{0, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(name)), sizeof name};
        uint16_t err = glue::SysCall<uint16_t(uint32_t, uint32_t*, DirEntryInfo*)>(sysslot::FileSystemSel20,
                                                                                   dirRef, &iterator, &info);
        if (err) {
            if (err != kErrEnumerationEmpty) result = err;
            break;
        }
        name[sizeof name - 1] = '\0';
        if (visit(name, info.attributes)) break;
    }
    FileClose(dirRef);
    return result;
}

// Lists the database files of a volume's launcher directory (of `type` unless 0), as ListInternal.
uint16_t ListVolume(const MountedVolume& volume, uint32_t type, GRASDbEntry* entries, uint32_t capacity,
                    uint32_t* count) {
    GRAS_TRACE("prv_list_card(): Listing folder %s on card %d", kLauncherDir, static_cast<int>(volume.slot));
    uint16_t full = 0;
    uint16_t err = ForEachLauncherEntry(volume.volRefNum, [&](const char* name, uint32_t attributes) {
        if (attributes & kSkippedEntryBits) {
            GRAS_TRACE("prv_list_card(): skipping [%s] (Attr=0x%X)", name, attributes);
            return false;
        }
        GRASDbEntry entry;
        if (uint16_t e = VolumeFileEntry(volume.volRefNum, std::string(kLauncherDir) + "/" + name,
                                         volume.slot, &entry)) {
            GRAS_TRACE("prv_list_card(): can't read [%s], Err=0x%X", name, e);
            return false;
        }
        if (type != 0 && entry.type != type) return false;
        if (entries) {
            if (*count >= capacity) {
                full = kErrNoMemory;
                return true;
            }
            entries[*count] = entry;
        }
        ++*count;
        return false;
    });
    return err ? err : full;
}

// Where a database is: in the internal storage (its id) or a file on a volume.
struct GRASDbLocation {
    uint32_t dbID = 0;
    std::string path;
    uint16_t volRefNum = 0;
    uint16_t slot = 0;
    bool OnVolume() const { return !path.empty(); }
};

bool EndsInVrx(const char* name) {
    size_t n = std::strlen(name);
    return n > 4 && strcasecmp(name + n - 4, ".vrx") == 0;
}

// The database of that type, creator and name (each 0 or "" for any) in the storage that the
// selector names: below 1 the internal storage first; -1 then every volume, a positive selector
// the volume of that slot number. On a volume only resource-database files (".vrx") count.
bool LocateDb(int32_t storage, uint32_t type, uint32_t creator, const char* name, GRASDbLocation* location) {
    *location = GRASDbLocation{};
    if (storage < 1) {
        location->dbID = LocateInternal(type, creator, name);
        if (location->dbID || storage == 0) return location->dbID != 0;
    }
    for (const MountedVolume& volume : Volumes()) {
        if (storage > 0 && volume.slot != storage) continue;
        bool found = false;
        uint16_t err = ForEachLauncherEntry(volume.volRefNum, [&](const char* file, uint32_t attributes) {
            if (attributes & kSkippedEntryBits) return false;
            if (!EndsInVrx(file)) {
                GRAS_TRACE("prv_locate_db(): Not a VRX");
                return false;
            }
            std::string path = std::string(kLauncherDir) + "/" + file;
            GRASDbEntry entry;
            if (VolumeFileEntry(volume.volRefNum, path, volume.slot, &entry) != 0) return false;
            if ((type && entry.type != type) || (creator && entry.creator != creator) ||
                (name && name[0] && std::strcmp(entry.name, name) != 0))
                return false;
            *location = {0, path, volume.volRefNum, volume.slot};
            found = true;
            return true;
        });
        if (err)
            GRAS_TRACE("prv_locate_db(): Can't find launcher path on volRefNum %d (err=0x%X)",
                       static_cast<int>(volume.volRefNum), err);
        if (found) {
            GRAS_TRACE("prv_locate_db(): Found [%s] on volume %d", location->path.c_str(),
                       static_cast<int>(volume.volRefNum));
            return true;
        }
    }
    return false;
}

uint16_t GRASServer_session_open(GRASSession* session) {
    REQUIRE_LENGTH(4);
    uint32_t type = Word(session, 0);
    if (type > 4) {
        GRAS_TRACE("GRASServer_session_open(): unknown session type %d, Rejected", static_cast<int>(type));
        Empty(session);
        session->stop = 1;
        return GRASErrSessionRejected;
    }
    session->type = type;
    GRAS_TRACE("GRASServer_session_open(): session accepted");
    return ReplyWord(session, static_cast<uint32_t>(getpid()));
}

uint16_t GRASServer_session_close(GRASSession* session) {
    REQUIRE_LENGTH(4);
    if (Word(session, 0)) {
        PrvGRASClearRemoteLaunch();
        GRAS_TRACE("GRASServer_session_close(): Leave running was specified");
    }
    session->stop = 1;
    // The count stays until the session's task ends.
    session->shutdownRequested = prv_check_shutdown(1);
    return ReplyWord(session, session->shutdownRequested ? 1 : 0);
}

uint16_t GRASServer_reset(GRASSession* session) {
    REQUIRE_TYPE(Types({2}));
    session->stop = 1;
    session->postReply = GRASServer_reset_post;
    return Empty(session);
}

uint16_t GRASServer_exit(GRASSession* session) {
    REQUIRE_TYPE(Types({2, 4}));
    session->stop = 1;
    session->postReply = GRASServer_exit_post;
    return Empty(session);
}

uint16_t GRASServer_ping(GRASSession* session) {
    REQUIRE_TYPE(Types({2}));
    return ReplyWord(session, static_cast<uint32_t>(getpid()));
}

// The databases of the storage that the selector names (of `type` unless 0), counted or, with
// `entries`, filled in. The internal storage's failure is answered; a volume's only when the
// selector names that volume (-1 skips it). A full buffer always answers 0x0102: the list would
// otherwise come back short as if whole.
uint16_t ListStorage(int32_t storage, uint32_t type, GRASDbEntry* entries, uint32_t capacity, uint32_t* count,
                     uint32_t* internal) {
    if (storage < 1) {
        if (uint16_t err = ListInternal(type, entries, capacity, count)) {
            GRAS_TRACE("GRASServer_db_list(): Can't get internal DB list, Err=0x%X", err);
            return err;
        }
    }
    *internal = *count;
    if (storage == 0) return 0;
    for (const MountedVolume& volume : Volumes()) {
        if (storage > 0 && volume.slot != storage) continue;
        uint32_t before = *count;
        uint16_t err = ListVolume(volume, type, entries, capacity, count);
        if (!err) continue;
        if (storage > 0 || err == kErrNoMemory) {
            GRAS_TRACE("GRASServer_db_list(): Can't get DB list for card: %d, Err=0x%X",
                       static_cast<int>(volume.slot), err);
            return err;
        }
        *count = before;  // a volume that cannot be read is left out whole
    }
    return 0;
}

uint16_t GRASServer_db_list(GRASSession* session) {
    REQUIRE_TYPE(Types({0, 3}));
    REQUIRE_LENGTH(8);
    uint32_t type = Word(session, 0);
    auto storage = static_cast<int32_t>(Word(session, 4));
    uint32_t count = 0, internal = 0;
    if (uint16_t err = ListStorage(storage, type, nullptr, 0, &count, &internal)) {
        Empty(session);
        return err;
    }
    GRAS_TRACE("GRASServer_db_list(): %d DBs found (%d internal)", static_cast<int>(count),
               static_cast<int>(internal));
    // Two spare entries for databases made between the passes.
    uint32_t capacity = count + 2;
    if (!PrvGRASSetBuffer(session, capacity * sizeof(GRASDbEntry))) return kErrNoMemory;
    auto* entries = reinterpret_cast<GRASDbEntry*>(session->data);
    uint32_t filled = 0;
    if (uint16_t err = ListStorage(storage, type, entries, capacity, &filled, &internal)) {
        Empty(session);
        return err;
    }
    session->header.length = filled * sizeof(GRASDbEntry);
    GRAS_TRACE("GRASServer_db_list : %d DB returned", static_cast<int>(filled));
    return 0;
}

uint16_t ExportWrite(const void* data, uint32_t* size, void* file) {
    if (!size) return 0xFFFF;
    return std::fwrite(data, 1, *size, static_cast<std::FILE*>(file)) == *size ? 0 : 0xFFFF;
}

// Writes an internal database to "<directory>/<name>.vrx" (".wyx" for a record database); the
// characters that file systems or shells treat specially become '_'.
uint16_t GRASServer_db_export(GRASSession* session) {
    REQUIRE_TYPE(Types({3}));
    REQUIRE_LENGTH(9);
    uint32_t type = Word(session, 0), creator = Word(session, 4);
    const char* name = Text(session, 8);
    uint32_t afterName = 8 + static_cast<uint32_t>(std::strlen(name)) + 1;
    const char* directory = Text(session, afterName);
    uint32_t id = type || creator || name[0] ? LocateInternal(type, creator, name) : 0;
    if (!id) {
        GRAS_TRACE("GRASServer_db_export(): db not in storage");
        Empty(session);
        return kErrNotFound;
    }
    GRASDbEntry entry;
    if (uint16_t err = EntryOf(id, &entry)) {
        Empty(session);
        return err;
    }
    std::string path = directory;
    if (!path.empty() && path.back() != '/') path += '/';
    for (const char* c = entry.name; *c && c < entry.name + 31; ++c)
        path += std::strchr("<>*:?/\\\"'| ", *c) ? '_' : *c;
    path += entry.attributes & 0x0001 ? ".vrx" : ".wyx";
    Empty(session);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        GRAS_TRACE("GRASServer_db_export(): file creation FAILED errno=%d", errno);
        return static_cast<uint16_t>(-errno);
    }
    using WriteNative = uint16_t(uint16_t (*)(const void*, uint32_t*, void*), void*, const char*, uint32_t, uint16_t);
    uint16_t err = glue::SysCall<WriteNative>(sysslot::ExgDBWriteNative, &ExportWrite, static_cast<void*>(file),
                                              entry.name, id, uint16_t{0});
    std::fclose(file);
    return err;
}

uint16_t GRASServer_db_import(GRASSession* session) {
    REQUIRE_TYPE(Types({3}));
    REQUIRE_LENGTH(5);
    auto create = reinterpret_cast<HALImportCreateProc>(glue::SystemTable()[sysslot::HALImportFileCallback]);
    uint32_t id = 0;
    uint16_t err = HALImportFile(Text(session, 4), static_cast<uint8_t>(Word(session, 0)), create, &id);
    if (err) {
        Empty(session);
        return err;
    }
    GRASDbEntry entry;
    if ((err = EntryOf(id, &entry)) != 0) {
        Empty(session);
        return err;
    }
    uint8_t reply[44] = {};
    uint32_t bits = entry.attributes & 0x0020u;
    std::memcpy(reply, &bits, 4);
    std::memcpy(reply + 4, &entry.type, 4);
    std::memcpy(reply + 8, &entry.creator, 4);
    std::memcpy(reply + 12, entry.name, 32);
    return Reply(session, reply, sizeof reply);
}

// The database that a delete or information request names: +0 type, +4 creator, +8 storage
// selector, +12 name when the data reaches it; at least one of type, creator and name.
uint16_t Locate(GRASSession* session, GRASDbLocation* location) {
    REQUIRE_LENGTH(12);
    uint32_t type = Word(session, 0), creator = Word(session, 4);
    auto storage = static_cast<int32_t>(Word(session, 8));
    const char* name = session->header.length >= 13 ? Text(session, 12) : "";
    if (type == 0 && creator == 0 && !name[0]) return kErrNotFound;
    return LocateDb(storage, type, creator, name, location) ? 0 : kErrNotFound;
}

uint16_t GRASServer_db_delete(GRASSession* session) {
    REQUIRE_TYPE(Types({3}));
    GRASDbLocation location;
    uint16_t err = Locate(session, &location);
    if (err == kErrNotFound) GRAS_TRACE("GRASServer_db_delete(): db not found");
    if (err) return err;
    if (location.OnVolume())
        err = glue::SysCall<uint16_t(uint16_t, const char*)>(sysslot::FileSystemSel8, location.volRefNum,
                                                             location.path.c_str());
    else
        err = sys::DmDeleteDatabaseByID(location.dbID);
    if (err) GRAS_TRACE("GRASServer_db_delete(): delete failed, Err=0x%X", err);
    Empty(session);
    return err;
}

uint16_t GRASServer_db_info(GRASSession* session) {
    REQUIRE_TYPE(Types({3}));
    GRASDbLocation location;
    uint16_t err = Locate(session, &location);
    GRASDbEntry entry;
    if (!err)
        err = location.OnVolume() ? VolumeFileEntry(location.volRefNum, location.path, location.slot, &entry)
                                  : EntryOf(location.dbID, &entry);
    if (err) {
        Empty(session);
        return err;
    }
    return Reply(session, &entry, sizeof entry);
}

uint16_t GRASServer_window_show(GRASSession* session) {
    REQUIRE_TYPE(Types({2, 4}));
    KEZ_CALL(HALDisplayShowWindow);
    return Empty(session);
}

uint16_t GRASServer_window_hide(GRASSession* session) {
    REQUIRE_TYPE(Types({2}));
    KEZ_CALL(HALDisplayHideWindow);
    return Empty(session);
}

uint16_t GRASServer_sync_start(GRASSession* session) {
    GRAS_TRACE("GRASServer_sync_start(): #### SHOULD NOT BE CALLED");
    Empty(session);
    return GRASErrUnknownOpcode;
}

uint16_t GRASServer_sync_poll(GRASSession* session) {
    REQUIRE_TYPE(Types({1}));
    REQUIRE_LENGTH(1);
    uint8_t blocking = session->data[0];
    if (blocking) GRAS_TRACE("GRASServer_sync_poll(): Blocking requested");
    uint32_t reply[11] = {};
    uint8_t cancel = 0;
    KEZ_CALL_AS(void(uint32_t*, uint32_t*, uint8_t*, char*, uint8_t), PALSyncGetReportStatus, &reply[0], &reply[1],
                &cancel, reinterpret_cast<char*>(&reply[3]), blocking);
    reply[2] = cancel;
    return Reply(session, reply, sizeof reply);
}

uint16_t GRASServer_sync_cancel(GRASSession* session) {
    KEZ_CALL_AS(void(), PALSyncCancel);
    return Empty(session);
}

uint16_t GRASServer_key_get_default(GRASSession* session) {
    REQUIRE_TYPE(Types({2}));
    static const uint32_t kKeys[11] = {0x204, 0x205, 0x206, 0x207, 0x132, 0x133, 0x134, 0x135, 0x136, 0x0B, 0x0C};
    uint32_t reply[11] = {};
    for (int i = 0; i < 11; ++i)
        for (const auto& pair : gKez.config.keyBindings)
            if (pair[1] == kKeys[i]) {
                reply[i] = pair[0];
                break;
            }
    return Reply(session, reply, sizeof reply);
}

// The optional name at `offset`: present when the data reaches past it.
const char* OptionalName(const GRASSession* session, uint32_t offset) {
    return session->header.length > offset ? Text(session, offset) : "";
}

uint16_t GRASServer_app_launch(GRASSession* session) {
    REQUIRE_TYPE(Types({4}));
    REQUIRE_LENGTH(8);
    auto storage = static_cast<int32_t>(Word(session, 0));
    uint32_t creator = Word(session, 4);
    GRASDbLocation location;
    if (!LocateDb(storage, FourCC("appl"), creator, OptionalName(session, 8), &location)) {
        GRAS_TRACE("GRASServer_app_launch(): app not found");
        return kErrNotFound;
    }
    uint32_t id = location.dbID;
    if (location.OnVolume()) {
        // An application on a volume is copied into the storage first; the copy is marked as
        // one that came from a volume. One copied before is launched as it is.
        uint16_t err = glue::SysCall<uint16_t(uint16_t, const char*, uint32_t*)>(
            sysslot::VFSImportDatabaseFromFile, location.volRefNum, location.path.c_str(), &id);
        if (err == 0) {
            uint16_t attributes = 0;
            if (sys::DmDatabaseInfoByID(id, nullptr, &attributes, nullptr, nullptr, nullptr, nullptr) == 0)
                sys::DmSetDatabaseAttributes(id, static_cast<uint16_t>(attributes | 0x0400));
        } else if (err != kErrAlreadyExists) {
            Empty(session);
            return err;
        }
    }
    // The OS starts the switched-to application as the start application.
    gKez.config.settingA = creator;
    uint16_t err = glue::SysCall<uint16_t(uint16_t, uint32_t, uint16_t, void*)>(
        sysslot::SysUIAppSwitch, uint16_t{0}, id, uint16_t{0}, static_cast<void*>(nullptr));
    uint16_t woken = glue::SysCall<uint16_t()>(sysslot::EvtWakeup);
    Empty(session);
    return err ? err : woken;
}

// Hands resource `type` `id` of the application, locked, and its size to `use`, whose status it
// answers; without that resource, resource `fallbackID` of any open database (the OS's own) when
// it is not 0. The application is a database opened read-only, or a file on a volume whose
// resource the OS copies into a handle of its own. The OS's error, 0xF301 when it gives none, or
// 0x0104 when the resource cannot be locked.
template <typename Use>
uint16_t WithAppResource(const GRASDbLocation& location, uint32_t type, uint16_t id, uint16_t fallbackID,
                         Use use) {
    uint32_t ref = 0, fileRef = 0;
    void* handle = nullptr;
    bool fileResource = false;
    uint16_t missing = 0;
    if (location.OnVolume()) {
        if (uint16_t err = FileOpen(location.volRefNum, location.path.c_str(), &fileRef)) {
            GRAS_TRACE("WithAppResource(): can't open VFS DB, Err=0x%X", err);
            return err;
        }
        missing = glue::SysCall<uint16_t(uint32_t, uint32_t, uint16_t, void**)>(sysslot::FileSystemSel36,
                                                                                fileRef, type, id, &handle);
        fileResource = handle != nullptr;
        if (!handle) GRAS_TRACE("WithAppResource(): can't get VFS Res, Err=0x%X", missing);
    } else {
        ref = sys::DmOpenDatabaseByID(location.dbID, 1);
        if (!ref) {
            uint16_t err = sys::DmGetLastErr();
            GRAS_TRACE("WithAppResource(): can't open DB, Err=0x%X", err);
            return err ? err : GRASErrFailed;
        }
        handle = sys::DmGetResource(type, id);
        if (!handle) missing = sys::DmGetLastErr();
    }
    if (!handle && fallbackID && (missing == 0 || missing == kErrResourceNotFound)) {
        handle = sys::DmGetResource(type, fallbackID);
        if (!handle) missing = sys::DmGetLastErr();
    }
    uint16_t result = 0;
    if (!handle) {
        result = missing ? missing : GRASErrFailed;
    } else {
        auto release = [&] {
            if (fileResource)
                sys::MemHandleFree(handle);
            else
                sys::DmReleaseResource(handle);
        };
        if (const void* bytes = sys::MemHandleLock(handle)) {
            result = use(bytes, sys::MemHandleSize(handle));
            sys::MemHandleUnlock(handle);
        } else {
            result = 0x0104;
        }
        release();
    }
    if (ref) sys::DmCloseDatabase(ref);
    if (fileRef) FileClose(fileRef);
    return result;
}

// Resource `type` `id` of the application: its bytes up to their first zero (at most the
// resource's size), or the error.
uint16_t AppResourceText(const GRASDbLocation& location, uint32_t type, uint16_t id, std::string* text) {
    return WithAppResource(location, type, id, 0, [&](const void* bytes, uint32_t size) -> uint16_t {
        *text = std::string(static_cast<const char*>(bytes), strnlen(static_cast<const char*>(bytes), size));
        return 0;
    });
}

// The request of a row that reads an application's resource: +0 the resource id (above 0xFFFF:
// `invalid` traced, 0xF305), +4 storage selector, +8 creator, +12 name when the data reaches it.
// Whether the application was found; else *status says why (0x0207 when it is not there).
bool AppResourceRequest(GRASSession* session, const char* invalid, uint16_t* resID, GRASDbLocation* location,
                        uint16_t* status) {
    *status = 0;
    if (session->header.length < 12) {
        *status = GRASErrInvalidParam;
        return false;
    }
    uint32_t word = Word(session, 0);
    if (word > 0xFFFF) {
        GRAS_TRACE(invalid, static_cast<int>(word));
        *status = GRASErrInvalidParam;
        return false;
    }
    *resID = static_cast<uint16_t>(word);
    if (LocateDb(static_cast<int32_t>(Word(session, 4)), FourCC("appl"), Word(session, 8),
                 OptionalName(session, 12), location))
        return true;
    *status = kErrNotFound;
    return false;
}

uint16_t GRASServer_app_default_category(GRASSession* session) {
    REQUIRE_TYPE(Types({3}));
    uint16_t resID = 0, status = 0;
    GRASDbLocation location;
    if (!AppResourceRequest(session, "GRASServer_app_default_category(): Invalid res id: %d", &resID,
                            &location, &status))
        return status;
    std::string text;
    if (uint16_t err = AppResourceText(location, FourCC("taic"), resID, &text)) {
        Empty(session);
        return err;
    }
    return Reply(session, text.c_str(), static_cast<uint32_t>(text.size() + 1));
}

uint16_t GRASServer_app_display_name(GRASSession* session) {
    REQUIRE_TYPE(Types({0, 3}));
    REQUIRE_LENGTH(8);
    GRASDbLocation location;
    if (!LocateDb(static_cast<int32_t>(Word(session, 0)), FourCC("appl"), Word(session, 4),
                  OptionalName(session, 8), &location))
        return kErrNotFound;
    std::string text;
    if (uint16_t err = AppResourceText(location, FourCC("tAIN"), 1000, &text)) {
        if (err == 0x0104) GRAS_TRACE("GRASServer_app_display_name(): can't lock resource 'tAIN':1000");
        Empty(session);
        return err;
    }
    // From the device's encoding to the host's: first the length, then into a buffer of it.
    uint32_t length = 0;
    PALConvertEncodingHalvernToHost(text.c_str(), static_cast<uint32_t>(text.size()), nullptr, &length);
    std::string converted(size_t{length} + 1, '\0');
    uint32_t room = length;
    if (uint16_t err = PALConvertEncodingHalvernToHost(text.c_str(), static_cast<uint32_t>(text.size()),
                                                       converted.data(), &room)) {
        Empty(session);
        return err;
    }
    converted.resize(std::min<size_t>(room, length));
    GRAS_TRACE("GRASServer_app_display_name(): resource 'tAIN':1000 found: [%s]", converted.c_str());
    return Reply(session, converted.c_str(), static_cast<uint32_t>(converted.size() + 1));
}

// The 68K environment's table, or null when none is installed: the rows that need it then answer
// an error instead of stopping the OS at a failed import.
ModuleProc* A68k() {
    if (gA68k.IsBound()) return gA68k.Table();
    ModuleImportDescriptor descriptor = gA68k.Descriptor();
    void* table = nullptr;
    glue::SysCall<uint16_t(ModuleImportDescriptor*, uint32_t, void**)>(sysslot::SysBindImport, &descriptor,
                                                                       glue::RefNum(), &table);
    if (table) gA68k.SetTable(static_cast<ModuleProc*>(table));
    return static_cast<ModuleProc*>(table);
}
template <typename Sig, typename... Args>
auto A68kCall(ModuleProc* table, uint16_t slot, Args... args) {
    return reinterpret_cast<Sig*>(table[slot])(args...);
}

// The 68K bitmap resource 'tAIB' `iconID` of the application database, translated to the native
// layout by the 68K environment (into `family`, a chunk the caller frees). An application without
// icon 1000 or 1001 shows the OS's own icon 10000 or 10001.
uint16_t AppIconFamily(const GRASDbLocation& location, uint16_t iconID, void** family, uint32_t* size) {
    ModuleProc* a68k = A68k();
    if (!a68k) {
        GRAS_TRACE("GRASServer_app_icon(): no 68K environment to translate the icon");
        return GRASErrFailed;
    }
    uint16_t fallback = iconID == 1000 || iconID == 1001 ? static_cast<uint16_t>(iconID + 9000) : 0;
    uint16_t err =
        WithAppResource(location, FourCC("tAIB"), iconID, fallback, [&](const void* image, uint32_t n) {
            return A68kCall<a68ksig::A68kTranslateResource>(a68k, a68kslot::A68kTranslateResource,
                                                            static_cast<void*>(nullptr), FourCC("Tbmp"),
                                                            image, n, family, size);
        });
    if (err) GRAS_TRACE("GRASServer_app_icon(): can't find resource, Err=0x%X", err);
    return err;
}

// The application's icon as an XPM image (see PrvGRASIconToXPM).
uint16_t GRASServer_app_icon(GRASSession* session) {
    REQUIRE_TYPE(Types({3}));
    uint16_t iconID = 0, status = 0;
    GRASDbLocation location;
    bool found =
        AppResourceRequest(session, "GRASServer_app_icon(): Invalid iconid: %d", &iconID, &location, &status);
    Empty(session);  // the request is read
    if (!found) {
        if (status == kErrNotFound) GRAS_TRACE("GRASServer_app_icon(): app not found");
        return status;
    }
    void* family = nullptr;
    uint32_t size = 0;
    if (uint16_t err = AppIconFamily(location, iconID, &family, &size)) return err;
    std::vector<uint8_t> xpm;
    uint16_t err = PrvGRASIconToXPM(family, size, &xpm);
    sys::MemChunkFree(family);
    if (err) return err;
    return Reply(session, xpm.data(), static_cast<uint32_t>(xpm.size()));
}

uint16_t GRASServer_sync_get_log(GRASSession* session) {
    REQUIRE_TYPE(Types({1, 3}));
    using SyncInfo = uint16_t(uint32_t*, uint32_t*, uint8_t*, char*, char*, int32_t*);
    uint32_t succeeded = 0, last = 0;
    uint8_t state = 0;
    int32_t length = 0;
    uint16_t err = glue::SysCall<SyncInfo>(sysslot::DlkGetSyncInfo, &succeeded, &last, &state,
                                           static_cast<char*>(nullptr), static_cast<char*>(nullptr), &length);
    if (err) {
        GRAS_TRACE("GRASServer_sync_get_log(): Can't get log len: Err=0x%X", err);
        Empty(session);
        return err;
    }
    if (length <= 0) {
        GRAS_TRACE("GRASServer_sync_get_log(): Empty log");
        return Empty(session);
    }
    if (length > static_cast<int32_t>(kGRASMaxRequest)) length = static_cast<int32_t>(kGRASMaxRequest);
    std::string log(static_cast<size_t>(length) + 1, '\0');
    int32_t filled = length;
    err = glue::SysCall<SyncInfo>(sysslot::DlkGetSyncInfo, &succeeded, &last, &state, static_cast<char*>(nullptr),
                                  log.data(), &filled);
    if (err) {
        Empty(session);
        return err;
    }
    log[static_cast<size_t>(length)] = '\0';
    return Reply(session, log.data(), static_cast<uint32_t>(log.size()));
}

// The notification that asks the holder of a database that cannot be deleted to let it go; its
// details are the database's id (in the 68K form, for 68K listeners).
constexpr uint32_t kNotifyDeleteProtected = FourCC("dlpr");

// Deletes one database. One that the OS refuses as in use (0x021B) is announced with the
// protected-database notification, from the launcher, and deleted again.
uint16_t DeleteDatabase(uint32_t id) {
    uint16_t err = sys::DmDeleteDatabaseByID(id);
    glue::SysCall<uint16_t(SysNotifyParamType*)>(sysslot::SysNotifyBroadcast, static_cast<SysNotifyParamType*>(nullptr));
    if (err != 0x021B) return err;
    static const uint8_t kLayout[] = {0x14, 0};  // one u32
    ModuleProc* a68k = A68k();
    if (!a68k) return err;
    uint8_t details[4];
    const auto pointer = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(details));
    A68kCall<a68ksig::A68kRecordTo68K>(a68k, a68kslot::A68kRecordTo68K, static_cast<void*>(nullptr),
                                       static_cast<const void*>(&id), pointer, kLayout);
    SysNotifyParamType notify{kNotifyDeleteProtected, FourCC("lnch"), details, nullptr, 0, 0};
    sys::SysNotifyBroadcast(&notify);
    A68kCall<a68ksig::A68kRecordToNative>(a68k, a68kslot::A68kRecordToNative, static_cast<void*>(nullptr),
                                          static_cast<void*>(&id), pointer, kLayout);
    return sys::DmDeleteDatabaseByID(id);
}

// Removes the resources of the creator's type from both preference databases (saved, unsaved).
void RemovePreferences(uint32_t creator) {
    for (uint8_t saved : {uint8_t{1}, uint8_t{0}}) {
        uint32_t ref = glue::SysCall<uint32_t(uint8_t)>(sysslot::PrefOpenPreferenceDB, saved);
        if (!ref) continue;
        for (int guard = 0; guard < 0x10000; ++guard) {
            uint16_t index = glue::SysCall<uint16_t(uint32_t, uint32_t, uint16_t)>(sysslot::DmFindResourceType, ref,
                                                                                  creator, uint16_t{0});
            if (index == 0xFFFF || sys::DmRemoveResourceByIndex(ref, index) != 0) break;
        }
        sys::DmCloseDatabase(ref);
    }
}

// Deletes an application and, unless it is protected or a launcher, every database of its creator
// (in creator mode), then its preferences.
uint16_t DeleteApp(uint32_t dbID, uint32_t creator, uint32_t type) {
    uint16_t attributes = 0;
    if (uint16_t err = sys::DmDatabaseInfoByID(dbID, nullptr, &attributes, nullptr, nullptr, nullptr, nullptr))
        return err;
    static const uint32_t kCreatorTypes[] = {FourCC("aext"), FourCC("appl"), FourCC("exgl"), FourCC("libf"),
                                             FourCC("libr"), FourCC("libs"), FourCC("libt"), FourCC("panl"),
                                             FourCC("pdrv"), FourCC("ptch")};
    bool creatorMode = false;
    if (!(attributes & 0x0200) && creator != FourCC("lnch"))
        for (uint32_t t : kCreatorTypes) creatorMode |= type == t;
    uint16_t total = glue::SysCall<uint16_t(uint16_t)>(sysslot::DmCountDatabases, uint16_t{0});
    uint16_t lastErr = 0;
    bool allNotFound = true, oneDeleted = false;
    for (int i = total - 1; i >= 0; --i) {
        uint32_t id = glue::SysCall<uint32_t(uint16_t, uint16_t)>(sysslot::DmGetDatabaseByIndex, uint16_t{0},
                                                                 static_cast<uint16_t>(i));
        if (!id) continue;
        bool doomed = id == dbID;
        if (creatorMode && !doomed) {
            uint16_t a = 0;
            uint32_t c = 0;
            doomed = sys::DmDatabaseInfoByID(id, nullptr, &a, nullptr, nullptr, nullptr, &c) == 0 && c == creator &&
                     !(a & 0x0200);
        }
        if (!doomed) continue;
        uint16_t err = DeleteDatabase(id);
        if (err == 0) {
            oneDeleted = true;
        } else {
            lastErr = err;
            if (err != 0x020E) allNotFound = false;
        }
    }
    if (type == FourCC("appl") || type == FourCC("panl")) RemovePreferences(creator);
    if (lastErr && !(allNotFound && oneDeleted)) return lastErr;
    return 0;
}

uint16_t GRASServer_app_delete(GRASSession* session) {
    REQUIRE_TYPE(Types({3}));
    REQUIRE_LENGTH(12);
    uint32_t type = Word(session, 0), creator = Word(session, 4);
    auto storage = static_cast<int32_t>(Word(session, 8));
    if (storage != 0) {
        GRAS_TRACE("GRASServer_app_delete(): Storage %d not supported - Only internal", static_cast<int>(storage));
        return GRASErrInvalidParam;
    }
    uint32_t id = LocateInternal(type, creator, "");
    if (!id) {
        GRAS_TRACE("GRASServer_app_delete(): app not found");
        return kErrNotFound;
    }
    uint16_t err = DeleteApp(id, creator, type);
    if (err) GRAS_TRACE("GRASServer_app_delete(): can't delete App - Err=0x%X", err);
    Empty(session);
    return err;
}

// Volumes of host folders, through the host-volume library ('yhov' slots 19 and 20). While the
// mount runs the OS's automatic start is off (feature 'vfsm' 1002); the mount answers the volume
// and the application that the OS switched to within a second.
uint16_t GRASServer_volume_mount(GRASSession* session) {
    REQUIRE_TYPE(Types({3}));
    REQUIRE_LENGTH(5);
    uint32_t word = Word(session, 0);
    const char* path = Text(session, 4);
    if (sys::FtrSet(FourCC("vfsm"), 1002, 1) != 0) GRAS_TRACE("GRASServer_volume_mount(): Can't disable auto-start");
    PrvGRASSetSwitchPending();
    uint32_t volume = gCardSlot.Call<uint32_t(const char*, uint32_t)>(cardslot::CardSlotMountHostVolume, path, word);
    uint16_t status = 0;
    if (static_cast<int32_t>(volume) < 1) {
        GRAS_TRACE("GRASServer_volume_mount(): Mount failed");
        Empty(session);
        status = 0x2A0B;
    } else {
        uint32_t creator = PrvWaitForAppSwitch();
        GRAS_TRACE("GRASServer_volume_mount(): Mount succeeded: ID=%d, Start.vrx (creator='%c%c%c%c') copied",
                   static_cast<int>(volume), static_cast<char>(creator >> 24), static_cast<char>(creator >> 16),
                   static_cast<char>(creator >> 8), static_cast<char>(creator));
        uint32_t reply[2] = {volume & 0xFFFF, creator};
        status = Reply(session, reply, sizeof reply);
    }
    sys::FtrUnregister(FourCC("vfsm"), 1002);
    return status;
}

uint16_t GRASServer_volume_unmount(GRASSession* session) {
    REQUIRE_TYPE(Types({3}));
    REQUIRE_LENGTH(4);
    auto volume = static_cast<uint16_t>(Word(session, 0));
    void* data = session->header.length >= 5 ? static_cast<void*>(session->data + 4) : nullptr;
    bool unmounted = gCardSlot.Call<uint8_t(uint16_t, void*)>(cardslot::CardSlotUnmountHostVolume, volume, data);
    Empty(session);
    return unmounted ? 0 : 1;
}

uint16_t GRASServer_hobgobs_control(GRASSession* session) {
    REQUIRE_TYPE(Types({0}));
    REQUIRE_LENGTH(4);
    uint32_t command = Word(session, 0);
    switch (command) {
        case 0: HobgobStop(); break;
        case 1:
            REQUIRE_LENGTH(12);
            HobgobStart(Word(session, 4), Word(session, 8));
            break;
        case 2: HobgobPause(); break;
        case 3: HobgobResume(); break;
        case 4: HobgobStep(); break;
        case 5: HobgobSetDisplayOff(0); break;
        case 6: HobgobSetDisplayOff(1); break;
        default:
            GRAS_TRACE("GRASServer_hobgobs_control(): ### Unknown command");
            return GRASErrInvalidParam;
    }
    return Empty(session);
}

uint16_t GRASServer_hobgobs_get_status(GRASSession* session) {
    REQUIRE_TYPE(Types({0}));
    HobgobStatus status{};
    HobgobGetStatus(&status);
    return Reply(session, &status, sizeof status);
}

uint16_t GRASServer_hobgobs_set_apps_list(GRASSession* session) {
    REQUIRE_TYPE(Types({0}));
    REQUIRE_LENGTH(8);
    uint32_t n = Word(session, 0);
    // The creators must all have arrived (and fit the tester's 16-bit count).
    if (n > 0xFFFF || n > (session->header.length - 8) / 4) return GRASErrInvalidParam;
    std::vector<uint32_t> creators(n);
    for (uint32_t i = 0; i < n; ++i) creators[i] = Word(session, 8 + 4 * i);
    HobgobSetAppList(static_cast<uint16_t>(n), creators.data(), Word(session, 4));
    return Empty(session);
}

uint16_t GRASServer_hobgobs_get_apps_list(GRASSession* session) {
    REQUIRE_TYPE(Types({0}));
    uint16_t count = 0;
    uint32_t* creators = nullptr;
    uint32_t first = 0;
    if (!HobgobGetAppList(&count, &creators, &first)) {
        Empty(session);
        return GRASErrFailed;
    }
    std::vector<uint32_t> reply(2 + size_t{count});
    reply[0] = count;
    reply[1] = first;
    std::memcpy(&reply[2], creators, 4u * count);
    std::free(creators);
    return Reply(session, reply.data(), static_cast<uint32_t>(4 * reply.size()));
}

}  // namespace

// Rows without a handler answer 0xF302 (filled in by GRASServerInit).
GRASOperation gGRASOperationsTable[kGRASOperationCount] = {
    {0, nullptr, 0},
    {1, GRASServer_session_open, 0},
    {2, GRASServer_session_close, 0},
    {3, GRASServer_reset, 0},
    {4, GRASServer_exit, 0},
    {5, GRASServer_ping, 0},
    {6, GRASServer_db_list, 2},
    {7, GRASServer_db_export, 2},
    {8, GRASServer_db_import, 1},
    {9, GRASServer_db_delete, 1},
    {10, GRASServer_db_info, 2},
    {11, GRASServer_volume_mount, 1},
    {12, GRASServer_volume_unmount, 1},
    {13, GRASServer_window_show, 2},
    {14, GRASServer_window_hide, 2},
    {15, GRASServer_app_launch, 2},
    {16, GRASServer_app_icon, 2},
    {17, GRASServer_app_default_category, 2},
    {18, GRASServer_sync_start, 1},
    {19, GRASServer_sync_poll, 0},
    {20, GRASServer_sync_cancel, 1},
    {21, GRASServer_sync_get_log, 2},
    {22, GRASServer_hobgobs_control, 1},
    {23, GRASServer_hobgobs_get_status, 2},
    {24, GRASServer_hobgobs_set_apps_list, 2},
    {25, GRASServer_hobgobs_get_apps_list, 2},
    {26, GRASServer_app_display_name, 2},
    {27, GRASServer_app_delete, 1},
    {28, GRASServer_key_get_default, 2},
};

}  // namespace kez
