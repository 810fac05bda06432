// The expansion manager (system slots 217-228, 426) and the file-system manager (system slots
// 654-698) of the stand-in OS. Cards are the host folders attached to card slots (CardSlots.h);
// their volumes are served by the file-system library modules (type 'libf') that the OS installed:
// each volume and file call of an application goes to the library that mounted the volume or
// opened the file. The libraries keep no locks, so one recursive lock serialises every call into
// them (a library calls back into this manager while it unmounts or closes).
#include "standin/os/FileSystems.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/FsLibCalls.h"
#include "standin/os/CardSlots.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

namespace sig = fslibsig;
namespace fs = fslibslot;

constexpr uint16_t kErrLibNotFound = 0x050A;
constexpr uint16_t kExpErrUnsupported = 0x2901;
constexpr uint16_t kExpErrInvalidSlot = 0x2904;
constexpr uint16_t kExpErrUnimplemented = 0x290C;
constexpr uint16_t kExpErrEnumerationEmpty = 0x290D;
constexpr uint16_t kVfsErrBufferOverflow = 0x2A01;
constexpr uint16_t kVfsErrFileBadRef = 0x2A03;
constexpr uint16_t kVfsErrFileNotFound = 0x2A08;
constexpr uint16_t kVfsErrVolumeBadRef = 0x2A09;
constexpr uint16_t kVfsErrNoFileSystem = 0x2A0B;
constexpr uint16_t kLibClosed = 0x290A;

constexpr uint32_t kIteratorStop = 0xFFFFFFFF;
constexpr uint32_t kFsLibType = FourCC("libf");
constexpr uint32_t kCardSlotDriverCreator = FourCC("yhov");
// The file-system type of a host folder's card: the library that reports it serves such cards.
constexpr uint32_t kHostFolderFsType = FourCC("qel_");
constexpr uint8_t kMountUseThisLibrary = 0x01;

struct FsLib {
    uint16_t refNum;
    uint32_t creator;
    ModuleProc* table;
};
struct Volume {
    uint16_t volRefNum;
    uint16_t libRefNum;
    uint16_t slotRefNum;  // 0: mounted by an application's own request on no card slot
};
struct OpenFile {
    uint16_t libRefNum;
    uint16_t volRefNum;
};
struct DefaultFolder {
    std::string type;  // a MIME type or a file-name extension, compared ignoring case
    uint32_t mediaType;
    std::string path;
};

struct State {
    std::recursive_mutex mutex;
    std::vector<FsLib> libs;
    std::vector<Volume> volumes;
    std::map<uint32_t, OpenFile> files;
    std::vector<DefaultFolder> folders;
    std::set<uint16_t> heldSlots;    // cards removed or unmounted on request: not mounted again
    std::set<uint16_t> failedSlots;  // cards no installed library could mount
    uint16_t nextLibRefNum = 1;
    uint16_t nextVolRefNum = 1;
};

State& S() {
    static State state;
    return state;
}

template <typename Sig, typename... A>
auto Call(const FsLib& lib, uint16_t slot, A... args) {
    return reinterpret_cast<Sig*>(lib.table[slot])(args...);
}

const FsLib* LibByRef(uint16_t refNum) {
    for (const FsLib& lib : S().libs)
        if (lib.refNum == refNum) return &lib;
    return nullptr;
}

// A volume reference number that no mounted volume uses (never 0).
uint16_t NewVolRefNum() {
    State& s = S();
    for (;;) {
        uint16_t candidate = s.nextVolRefNum++;
        if (s.nextVolRefNum == 0) s.nextVolRefNum = 1;
        if (candidate == 0) continue;
        bool used = false;
        for (const Volume& v : s.volumes) used = used || v.volRefNum == candidate;
        if (!used) return candidate;
    }
}

uint16_t InstallLib(uint32_t creator, uint16_t* refNum) {
    State& s = S();
    for (const FsLib& lib : s.libs) {
        if (lib.creator != creator) continue;
        *refNum = lib.refNum;
        return 0;
    }
    ModuleProc* table = ModuleTableOf(kFsLibType, creator);
    if (!table) return kErrLibNotFound;
    FsLib lib{0, creator, table};
    if (uint16_t err = Call<sig::FSLibOpen>(lib, fs::FSLibOpen)) {
        Call<sig::FSLibClose>(lib, fs::FSLibClose);
        return err;
    }
    lib.refNum = s.nextLibRefNum++;
    s.libs.push_back(lib);
    s.failedSlots.clear();
    *refNum = lib.refNum;
    return 0;
}

void ForgetVolume(uint16_t volRefNum) {
    State& s = S();
    std::erase_if(s.volumes, [&](const Volume& v) { return v.volRefNum == volRefNum; });
    std::erase_if(s.files, [&](const auto& f) { return f.second.volRefNum == volRefNum; });
}

// Asks the volume's library to unmount it; the volume is gone once the library no longer knows it.
uint16_t UnmountVolume(const Volume& volume) {
    const FsLib* lib = LibByRef(volume.libRefNum);
    uint16_t err = lib ? Call<sig::FSVolumeUnmount>(*lib, fs::FSVolumeUnmount, volume.volRefNum) : 0;
    if (err == kLibClosed || err == kVfsErrVolumeBadRef) err = 0;
    if (!err) ForgetVolume(volume.volRefNum);
    return err;
}

// Mounts with one library: the mount record in 68K layout carries the new volume's number.
uint16_t MountWith(const FsLib& lib, uint32_t mountClass, uint16_t slotLibRefNum, uint16_t slotRefNum,
                   uint16_t* volRefNum) {
    uint16_t number = NewVolRefNum();
    alignas(4) uint8_t record[12] = {};
    WriteBE16(record, number);
    WriteBE32(record + 4, mountClass);
    WriteBE16(record + 8, slotLibRefNum);
    WriteBE16(record + 10, slotRefNum);
    uint16_t err = Call<sig::FSVolumeMount>(lib, fs::FSVolumeMount,
                                            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record)));
    if (err) return err;
    S().volumes.push_back({number, lib.refNum, slotRefNum});
    *volRefNum = number;
    return 0;
}

// Brings the volumes in line with the cards: installs the loaded file-system libraries when none
// is installed, unmounts the volumes of cards whose folder went away and mounts new cards.
void Sync() {
    State& s = S();
    if (s.libs.empty()) {
        for (uint32_t creator : ModuleCreatorsOfType(kFsLibType)) {
            uint16_t ref;
            InstallLib(creator, &ref);
        }
    }
    const std::vector<Volume> volumes = s.volumes;
    for (const Volume& v : volumes)
        if (v.slotRefNum && !CardSlotFind(v.slotRefNum, nullptr)) UnmountVolume(v);
    for (uint16_t slot : CardSlotNumbers()) {
        if (s.heldSlots.count(slot) || s.failedSlots.count(slot)) continue;
        bool mounted = false;
        for (const Volume& v : s.volumes) mounted = mounted || v.slotRefNum == slot;
        if (mounted) continue;
        uint16_t volRefNum;
        bool done = false;
        const std::vector<FsLib> libs = s.libs;
        for (const FsLib& lib : libs)
            if (!done) done = MountWith(lib, sig::kMountClassSlot, kCardSlotLibRefNum, slot, &volRefNum) == 0;
        if (!done) s.failedSlots.insert(slot);
    }
}

// The library of a volume (mounting new cards first when the number is not known yet).
const FsLib* VolumeLib(uint16_t volRefNum) {
    State& s = S();
    for (int pass = 0; pass < 2; ++pass) {
        for (const Volume& v : s.volumes)
            if (v.volRefNum == volRefNum) return LibByRef(v.libRefNum);
        if (pass == 0) Sync();
    }
    return nullptr;
}

const FsLib* FileLib(uint32_t fileRef) {
    auto it = S().files.find(fileRef);
    return it == S().files.end() ? nullptr : LibByRef(it->second.libRefNum);
}

using Lock = std::lock_guard<std::recursive_mutex>;

// --- Volume and path calls --------------------------------------------------------------------

template <typename Sig, uint16_t kSlot>
uint16_t OnVolumePath(uint16_t volRefNum, const char* path) {
    Lock lock(S().mutex);
    const FsLib* lib = VolumeLib(volRefNum);
    return lib ? Call<Sig>(*lib, kSlot, volRefNum, path) : kVfsErrVolumeBadRef;
}

uint16_t StandinFileCreate(uint16_t volRefNum, const char* path) {
    return OnVolumePath<sig::FSFileCreate, fs::FSFileCreate>(volRefNum, path);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel2, StandinFileCreate)

uint16_t StandinFileDelete(uint16_t volRefNum, const char* path) {
    return OnVolumePath<sig::FSFileDelete, fs::FSFileDelete>(volRefNum, path);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel8, StandinFileDelete)

uint16_t StandinDirCreate(uint16_t volRefNum, const char* path) {
    return OnVolumePath<sig::FSDirCreate, fs::FSDirCreate>(volRefNum, path);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel19, StandinDirCreate)

uint16_t StandinFileRename(uint16_t volRefNum, const char* path, const char* newName) {
    Lock lock(S().mutex);
    const FsLib* lib = VolumeLib(volRefNum);
    return lib ? Call<sig::FSFileRename>(*lib, fs::FSFileRename, volRefNum, path, newName) : kVfsErrVolumeBadRef;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel9, StandinFileRename)

uint16_t StandinFileOpen(uint16_t volRefNum, const char* path, uint16_t openMode, uint32_t* fileRefP) {
    Lock lock(S().mutex);
    const FsLib* lib = VolumeLib(volRefNum);
    if (!lib) return kVfsErrVolumeBadRef;
    if (!fileRefP) return sysErrParamErr;
    uint32_t ref = 0;
    uint16_t err = Call<sig::FSFileOpen>(*lib, fs::FSFileOpen, volRefNum, path, openMode, &ref);
    if (!err) {
        S().files[ref] = {lib->refNum, volRefNum};
        *fileRefP = ref;
    }
    return err;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel3, StandinFileOpen)

uint16_t StandinVolumeInfo(uint16_t volRefNum, void* infoP) {
    Lock lock(S().mutex);
    const FsLib* lib = VolumeLib(volRefNum);
    if (!lib) return kVfsErrVolumeBadRef;
    return infoP ? Call<sig::FSVolumeInfo>(*lib, fs::FSVolumeInfo, volRefNum, infoP) : sysErrParamErr;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel28, StandinVolumeInfo)

uint16_t StandinVolumeGetLabel(uint16_t volRefNum, char* label, uint16_t bufLen) {
    Lock lock(S().mutex);
    const FsLib* lib = VolumeLib(volRefNum);
    return lib ? Call<sig::FSVolumeGetLabel>(*lib, fs::FSVolumeGetLabel, volRefNum, label, bufLen)
               : kVfsErrVolumeBadRef;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel29, StandinVolumeGetLabel)

uint16_t StandinVolumeSetLabel(uint16_t volRefNum, const char* label) {
    Lock lock(S().mutex);
    const FsLib* lib = VolumeLib(volRefNum);
    return lib ? Call<sig::FSVolumeSetLabel>(*lib, fs::FSVolumeSetLabel, volRefNum, label) : kVfsErrVolumeBadRef;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel30, StandinVolumeSetLabel)

uint16_t StandinVolumeSize(uint16_t volRefNum, uint32_t* usedP, uint32_t* totalP) {
    Lock lock(S().mutex);
    const FsLib* lib = VolumeLib(volRefNum);
    if (!lib) return kVfsErrVolumeBadRef;
    // The library wants both values; a caller may ask for one.
    uint32_t used = 0, total = 0;
    uint16_t err = Call<sig::FSVolumeSize>(*lib, fs::FSVolumeSize, volRefNum, &used, &total);
    if (!err && usedP) *usedP = used;
    if (!err && totalP) *totalP = total;
    return err;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel31, StandinVolumeSize)

uint16_t StandinVolumeEnumerate(uint16_t* volRefNumP, uint32_t* iteratorP) {
    if (!volRefNumP || !iteratorP) return sysErrParamErr;
    Lock lock(S().mutex);
    Sync();
    const std::vector<Volume>& volumes = S().volumes;
    const uint32_t at = *iteratorP;
    if (at == kIteratorStop || at >= volumes.size()) {
        *volRefNumP = 0;
        *iteratorP = kIteratorStop;
        return kExpErrEnumerationEmpty;
    }
    *volRefNumP = volumes[at].volRefNum;
    *iteratorP = at + 1 < volumes.size() ? at + 1 : kIteratorStop;
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel27, StandinVolumeEnumerate)

uint16_t StandinVolumeUnmount(uint16_t volRefNum) {
    Lock lock(S().mutex);
    State& s = S();
    for (const Volume& v : s.volumes) {
        if (v.volRefNum != volRefNum) continue;
        const Volume volume = v;
        uint16_t err = UnmountVolume(volume);
        if (!err && volume.slotRefNum) s.heldSlots.insert(volume.slotRefNum);
        return err;
    }
    return kVfsErrVolumeBadRef;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel26, StandinVolumeUnmount)

// The mount record is the application's, in 68K layout; the new volume's number is written back
// into its first word.
uint16_t StandinVolumeMount(uint8_t flags, uint16_t fsLibRefNum, uint8_t* params) {
    if (!params) return sysErrParamErr;
    Lock lock(S().mutex);
    Sync();
    const uint32_t mountClass = ReadBE32(params + 4);
    const uint16_t slotLibRefNum = ReadBE16(params + 8), slotRefNum = ReadBE16(params + 10);
    if (mountClass == sig::kMountClassSlot) {
        for (const Volume& v : S().volumes)
            if (v.slotRefNum == slotRefNum) return kVfsErrNoFileSystem;  // mounted already
    }
    std::vector<FsLib> candidates;
    if (flags & kMountUseThisLibrary) {
        const FsLib* lib = LibByRef(fsLibRefNum);
        if (!lib) return kErrLibNotFound;
        candidates.push_back(*lib);
    } else {
        candidates = S().libs;
    }
    uint16_t err = kVfsErrNoFileSystem;
    for (const FsLib& lib : candidates) {
        uint16_t volRefNum;
        err = MountWith(lib, mountClass, slotLibRefNum, slotRefNum, &volRefNum);
        if (err) continue;
        S().heldSlots.erase(slotRefNum);
        WriteBE16(params, volRefNum);
        return 0;
    }
    return err;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel25, StandinVolumeMount)

// Formatting is the library's to refuse or do; the volume is named by its mount record.
uint16_t StandinVolumeFormat(uint8_t, uint16_t fsLibRefNum, uint8_t* params) {
    Lock lock(S().mutex);
    const FsLib* lib = LibByRef(fsLibRefNum);
    if (!lib) return kErrLibNotFound;
    return Call<sig::FSVolumeFormat>(*lib, fs::FSVolumeFormat, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(params)));
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel24, StandinVolumeFormat)

// --- File calls -------------------------------------------------------------------------------

uint16_t StandinFileClose(uint32_t fileRef) {
    Lock lock(S().mutex);
    const FsLib* lib = FileLib(fileRef);
    if (!lib) return kVfsErrFileBadRef;
    uint16_t err = Call<sig::FSFileClose>(*lib, fs::FSFileClose, fileRef);
    if (!err) S().files.erase(fileRef);
    return err;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel4, StandinFileClose)

template <typename Sig, uint16_t kSlot, typename... A>
uint16_t OnFile(uint32_t fileRef, A... args) {
    Lock lock(S().mutex);
    const FsLib* lib = FileLib(fileRef);
    return lib ? Call<Sig>(*lib, kSlot, fileRef, args...) : kVfsErrFileBadRef;
}

uint16_t StandinFileRead(uint32_t fileRef, uint32_t count, void* buffer, uint32_t* countReadP) {
    return OnFile<sig::FSFileRead, fs::FSFileRead>(fileRef, count, buffer, uint32_t{0}, uint8_t{0}, countReadP);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel6, StandinFileRead)

// Reads into storage memory (a database record): the library writes through the storage service.
uint16_t StandinFileReadData(uint32_t fileRef, uint32_t count, void* base, uint32_t offset, uint32_t* countReadP) {
    return OnFile<sig::FSFileRead, fs::FSFileRead>(fileRef, count, base, offset, uint8_t{1}, countReadP);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel5, StandinFileReadData)

uint16_t StandinFileWrite(uint32_t fileRef, uint32_t count, const void* data, uint32_t* countWrittenP) {
    return OnFile<sig::FSFileWrite, fs::FSFileWrite>(fileRef, count, data, countWrittenP);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel7, StandinFileWrite)

uint16_t StandinFileSeek(uint32_t fileRef, uint16_t origin, int32_t offset) {
    return OnFile<sig::FSFileSeek, fs::FSFileSeek>(fileRef, origin, offset);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel10, StandinFileSeek)

uint16_t StandinFileEOF(uint32_t fileRef) { return OnFile<sig::FSFileEOF, fs::FSFileEOF>(fileRef); }
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel11, StandinFileEOF)

uint16_t StandinFileTell(uint32_t fileRef, uint32_t* positionP) {
    return OnFile<sig::FSFileTell, fs::FSFileTell>(fileRef, positionP);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel12, StandinFileTell)

uint16_t StandinFileResize(uint32_t fileRef, uint32_t size) {
    return OnFile<sig::FSFileResize, fs::FSFileResize>(fileRef, size);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel13, StandinFileResize)

uint16_t StandinFileGetAttributes(uint32_t fileRef, uint32_t* attributesP) {
    return OnFile<sig::FSFileGetAttributes, fs::FSFileGetAttributes>(fileRef, attributesP);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel14, StandinFileGetAttributes)

uint16_t StandinFileSetAttributes(uint32_t fileRef, uint32_t attributes) {
    return OnFile<sig::FSFileSetAttributes, fs::FSFileSetAttributes>(fileRef, attributes);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel15, StandinFileSetAttributes)

uint16_t StandinFileGetDate(uint32_t fileRef, uint16_t which, uint32_t* dateP) {
    return OnFile<sig::FSFileGetDate, fs::FSFileGetDate>(fileRef, which, dateP);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel16, StandinFileGetDate)

uint16_t StandinFileSetDate(uint32_t fileRef, uint16_t which, uint32_t date) {
    return OnFile<sig::FSFileSetDate, fs::FSFileSetDate>(fileRef, which, date);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel17, StandinFileSetDate)

uint16_t StandinFileSize(uint32_t fileRef, uint32_t* sizeP) {
    return OnFile<sig::FSFileSize, fs::FSFileSize>(fileRef, sizeP);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel18, StandinFileSize)

uint16_t StandinDirEntryEnumerate(uint32_t dirRef, uint32_t* iteratorP, void* infoP) {
    return OnFile<sig::FSDirEntryEnumerate, fs::FSDirEntryEnumerate>(dirRef, iteratorP, infoP);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel20, StandinDirEntryEnumerate)

// --- Libraries, default folders and what this OS does not do ----------------------------------

uint16_t StandinInstallFSLib(uint32_t creator, uint16_t* fsLibRefNumP) {
    Lock lock(S().mutex);
    uint16_t ref = 0;
    uint16_t err = InstallLib(creator, &ref);
    if (fsLibRefNumP) *fsLibRefNumP = err ? 0 : ref;
    return err;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel32, StandinInstallFSLib)

uint16_t StandinRemoveFSLib(uint16_t fsLibRefNum) {
    Lock lock(S().mutex);
    State& s = S();
    const FsLib* found = LibByRef(fsLibRefNum);
    if (!found) return kErrLibNotFound;
    const FsLib lib = *found;
    const std::vector<Volume> volumes = s.volumes;
    for (const Volume& v : volumes)
        if (v.libRefNum == lib.refNum) UnmountVolume(v);
    std::erase_if(s.libs, [&](const FsLib& l) { return l.refNum == lib.refNum; });
    std::erase_if(s.files, [&](const auto& f) { return f.second.libRefNum == lib.refNum; });
    return Call<sig::FSLibClose>(lib, fs::FSLibClose);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel33, StandinRemoveFSLib)

uint16_t StandinCustomControl(uint32_t fsCreator, uint32_t apiCreator, uint16_t selector, void* valueP,
                              uint16_t* valueLenP) {
    Lock lock(S().mutex);
    Sync();
    for (const FsLib& lib : S().libs) {
        if (lib.creator != fsCreator) continue;
        const FsLib copy = lib;
        return Call<sig::FSCustomControl>(copy, fs::FSCustomControl, apiCreator, selector, valueP, valueLenP);
    }
    return kVfsErrNoFileSystem;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel1, StandinCustomControl)

uint16_t StandinRegisterDefaultDirectory(const char* type, uint32_t mediaType, const char* path) {
    if (!type || !path) return sysErrParamErr;
    Lock lock(S().mutex);
    for (DefaultFolder& f : S().folders) {
        if (f.mediaType == mediaType && strcasecmp(f.type.c_str(), type) == 0) {
            f.path = path;
            return 0;
        }
    }
    S().folders.push_back({type, mediaType, path});
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel22, StandinRegisterDefaultDirectory)

uint16_t StandinUnregisterDefaultDirectory(const char* type, uint32_t mediaType) {
    if (!type) return sysErrParamErr;
    Lock lock(S().mutex);
    const size_t removed = std::erase_if(S().folders, [&](const DefaultFolder& f) {
        return f.mediaType == mediaType && strcasecmp(f.type.c_str(), type) == 0;
    });
    return removed ? 0 : kVfsErrFileNotFound;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel23, StandinUnregisterDefaultDirectory)

// The folder registered for a type on the volume's media, else for that type on any media.
uint16_t StandinGetDefaultDirectory(uint16_t volRefNum, const char* type, char* path, uint16_t* bufLenP) {
    if (!type || !bufLenP) return sysErrParamErr;
    Lock lock(S().mutex);
    const FsLib* lib = VolumeLib(volRefNum);
    if (!lib) return kVfsErrVolumeBadRef;
    alignas(4) uint8_t info[28] = {};
    uint32_t media = 0;
    if (Call<sig::FSVolumeInfo>(*lib, fs::FSVolumeInfo, volRefNum, info) == 0) std::memcpy(&media, info + 20, 4);
    const DefaultFolder* found = nullptr;
    for (const DefaultFolder& f : S().folders) {
        if (strcasecmp(f.type.c_str(), type) != 0) continue;
        if (f.mediaType == media) {
            found = &f;
            break;
        }
        if (!found) found = &f;
    }
    if (!found) return kVfsErrFileNotFound;
    if (!path || found->path.size() + 1 > *bufLenP) {
        *bufLenP = static_cast<uint16_t>(found->path.size() + 1);
        return kVfsErrBufferOverflow;
    }
    std::memcpy(path, found->path.c_str(), found->path.size() + 1);
    *bufLenP = static_cast<uint16_t>(found->path.size() + 1);
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FileSystemSel21, StandinGetDefaultDirectory)

// Records of database files on a volume, and the database import and export that report their
// progress through a callback, are not built in this OS (VolumeDatabases.cpp serves the rest):
// the calls answer "not implemented" and leave every out-value alone.
uint16_t StandinNotImplemented() { return kExpErrUnimplemented; }
[[maybe_unused]] const bool kNotImplementedRegistered = [] {
    for (uint16_t slot : {sysslot::FileSystemSel38, sysslot::FileSystemSel39, sysslot::FileSystemSel40})
        RegisterBuiltin(Library::System, slot, reinterpret_cast<ModuleProc>(&StandinNotImplemented));
    return true;
}();

// --- The expansion manager ----------------------------------------------------------------------

// Whether the card in a slot is one that a library of this file-system type serves.
uint8_t StandinExpCardCheck(uint16_t, uint16_t slotRefNum, uint32_t fsType) {
    return fsType == kHostFolderFsType && CardSlotFind(slotRefNum, nullptr) ? 1 : 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::ExpCardCheck, StandinExpCardCheck)

uint16_t StandinSlotDriverInstall(uint32_t creator, uint16_t* slotLibRefNumP) {
    if (creator != kCardSlotDriverCreator) return kErrLibNotFound;
    if (slotLibRefNumP) *slotLibRefNumP = kCardSlotLibRefNum;
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::ExpansionSel1, StandinSlotDriverInstall)

// The host-folder slot driver is part of this OS: it is neither removed nor does it register or
// unregister slots through these calls, and its cards have no serial port.
uint16_t StandinExpUnsupported() { return kExpErrUnsupported; }
[[maybe_unused]] const bool kUnsupportedRegistered = [] {
    for (uint16_t slot : {sysslot::ExpansionSel2, sysslot::ExpansionSel4, sysslot::ExpansionSel5,
                          sysslot::ExpansionSel11})
        RegisterBuiltin(Library::System, slot, reinterpret_cast<ModuleProc>(&StandinExpUnsupported));
    return true;
}();

uint16_t StandinSlotLibFind(uint16_t slotRefNum, uint16_t* slotLibRefNumP) {
    if (!CardSlotFind(slotRefNum, nullptr)) return kExpErrInvalidSlot;
    if (slotLibRefNumP) *slotLibRefNumP = kCardSlotLibRefNum;
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::ExpansionSel3, StandinSlotLibFind)

uint16_t StandinCardPresent(uint16_t slotRefNum) {
    return CardSlotFind(slotRefNum, nullptr) ? 0 : kExpErrInvalidSlot;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::ExpansionSel8, StandinCardPresent)

// A card inserted: mounted again even after an unmount on request.
uint16_t StandinCardInserted(uint16_t slotRefNum) {
    if (!CardSlotFind(slotRefNum, nullptr)) return kExpErrInvalidSlot;
    Lock lock(S().mutex);
    S().heldSlots.erase(slotRefNum);
    S().failedSlots.erase(slotRefNum);
    Sync();
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::ExpansionSel6, StandinCardInserted)

// A card removed: its volumes are unmounted, and it stays unmounted until it is inserted again.
uint16_t StandinCardRemoved(uint16_t slotRefNum) {
    Lock lock(S().mutex);
    State& s = S();
    const std::vector<Volume> volumes = s.volumes;
    for (const Volume& v : volumes)
        if (v.slotRefNum == slotRefNum) UnmountVolume(v);
    s.heldSlots.insert(slotRefNum);
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::ExpansionSel7, StandinCardRemoved)

// The card information record: u32 capabilities (1 storage, 2 read-only), then four 32-byte texts
// (maker, product, device class, unique id).
uint16_t StandinCardInfo(uint16_t slotRefNum, uint8_t* infoP) {
    CardSlotFolder folder;
    if (!CardSlotFind(slotRefNum, &folder)) return kExpErrInvalidSlot;
    if (!infoP) return sysErrParamErr;
    std::memset(infoP, 0, 132);
    const uint32_t capabilities = folder.readOnly ? 0x3 : 0x1;
    std::memcpy(infoP, &capabilities, 4);
    std::strcpy(reinterpret_cast<char*>(infoP + 4), "Vantor");
    std::strcpy(reinterpret_cast<char*>(infoP + 36), "Host folder");
    std::strcpy(reinterpret_cast<char*>(infoP + 68), "Folder");
    std::snprintf(reinterpret_cast<char*>(infoP + 100), 32, "Slot %u", slotRefNum);
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::ExpansionSel9, StandinCardInfo)

uint16_t StandinSlotEnumerate(uint16_t* slotRefNumP, uint32_t* iteratorP) {
    if (!slotRefNumP || !iteratorP) return sysErrParamErr;
    const std::vector<uint16_t> slots = CardSlotNumbers();
    const uint32_t at = *iteratorP;
    if (at == kIteratorStop || at >= slots.size()) {
        *slotRefNumP = 0;
        *iteratorP = kIteratorStop;
        return kExpErrEnumerationEmpty;
    }
    *slotRefNumP = slots[at];
    *iteratorP = at + 1 < slots.size() ? at + 1 : kIteratorStop;
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::ExpansionSel10, StandinSlotEnumerate)

}  // namespace

void ResetFileSystems() {
    Lock lock(S().mutex);
    State& s = S();
    s.libs.clear();
    s.volumes.clear();
    s.files.clear();
    s.folders.clear();
    s.heldSlots.clear();
    s.failedSlots.clear();
    s.nextLibRefNum = 1;
    s.nextVolRefNum = 1;
}

uint16_t MountCardVolume(uint16_t slotRefNum) {
    Lock lock(S().mutex);
    State& s = S();
    s.heldSlots.erase(slotRefNum);
    s.failedSlots.erase(slotRefNum);
    Sync();
    for (const Volume& v : s.volumes)
        if (v.slotRefNum == slotRefNum) return v.volRefNum;
    return 0;
}

void UnmountCardVolumes(uint16_t slotRefNum) {
    Lock lock(S().mutex);
    const std::vector<Volume> volumes = S().volumes;
    for (const Volume& v : volumes)
        if (v.slotRefNum == slotRefNum) UnmountVolume(v);
}

std::vector<uint16_t> MountedVolumes() {
    Lock lock(S().mutex);
    std::vector<uint16_t> numbers;
    for (const Volume& v : S().volumes) numbers.push_back(v.volRefNum);
    return numbers;
}

}  // namespace vantor::os
