// The host file-system library: a host directory presented as the volume of a card. Every
// operation is carried out with the host's standard library on paths that the path conversion has
// kept inside the volume's root.
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <unistd.h>
#include <utime.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/FourCC.h"
#include "durnix/Durnix.h"
#include "durnix/DurnixOS.h"
#include "durnix/PathConvert.h"

namespace durnix {
namespace {

namespace sys = vantor::sys;
using vantor::FourCC;

constexpr uint32_t kFsType = FourCC("qel_");
constexpr uint32_t kLibCreator = FourCC("drnx");
constexpr uint32_t kMountClassSlot = FourCC("libs");
constexpr uint32_t kFolderCreator = FourCC("zibo");
constexpr uint32_t kDeviceTypeUml = FourCC("_uml");
constexpr uint32_t kSizeLimit = 0xFFFFFFF0;
constexpr size_t kWalkPathMax = 1024;

// FAT attribute requests of the host's FAT driver.
constexpr unsigned long kFatIoctlGetAttributes = 0x80047210;
constexpr unsigned long kFatIoctlSetAttributes = 0x40047211;

// The default folders registered at first open and unregistered at last close.
struct DefaultFolder {
    const char* type;
    const char* folder;
};
constexpr DefaultFolder kDefaultFolders[] = {
    {"image/jpeg", "/jpegs/"}, {".jpeg", "/jpegs/"},    {".jpg", "/jpegs/"},
    {"image/tiff", "/pictures/"}, {".tiff", "/pictures/"}, {".tif", "/pictures/"},
};

DurnixGlobals gDurnix;

int Ref(const DurnixFile* f) { return static_cast<int>(reinterpret_cast<uintptr_t>(f)); }
bool IsMsDos(const DurnixVolume* v) { return v->fsMagic == kFsMagicMsDos; }
bool IsDirectory(const DurnixFile* f) { return (f->attributes & kAttrDirectory) != 0; }
bool Writable(uint16_t mode) { return (mode & kModeWrite) == kModeWrite; }

// errno of the last host call, as a status; a host call that failed without setting errno still
// fails.
Status MappedErrno() {
    Status s = DurnixErrnoMap(errno);
    return s ? s : errUnknownHost;
}

Status VolumeFind(uint16_t volRefNum, DurnixVolume** volumeP) {
    *volumeP = nullptr;
    if (gDurnix.openCount == 0) return errNotOpen;
    if (volRefNum == 0) return errNoSuchVolume;
    for (DurnixVolume& v : gDurnix.volumes) {
        if (v.volRefNum == volRefNum) {
            *volumeP = &v;
            return 0;
        }
    }
    return errNoSuchVolume;
}

// The open file that a caller's reference names: only records on a volume's open-file list are
// used, so a stale or made-up reference is refused instead of followed.
Status FileFind(FileRef ref, DurnixFile** fileP) {
    *fileP = nullptr;
    if (gDurnix.openCount == 0) return errNotOpen;
    for (DurnixVolume& v : gDurnix.volumes) {
        if (v.volRefNum == 0) continue;
        for (DurnixFile* f = v.files; f; f = f->next) {
            if (reinterpret_cast<uintptr_t>(f) == ref) {
                *fileP = f;
                return 0;
            }
        }
    }
    return errBadArgument;
}

// A file reference that needs a stream: not a directory.
Status StreamFind(FileRef ref, DurnixFile** fileP) {
    Status err = FileFind(ref, fileP);
    if (err) return err;
    return IsDirectory(*fileP) ? errIsDirectory : 0;
}

struct ConvertedPath {
    char* path = nullptr;
    ~ConvertedPath() { std::free(path); }
};

Status PrvGetFileAttributes(const DurnixVolume* v, const char* path, uint32_t* attributesP) {
    *attributesP = 0;
    struct stat st;
    if (stat(path, &st) != 0) {
        int e = errno;
        os::Trace("PrvGetFileAttributes(%d, %s): stat failed (%d/%s)", v->volRefNum, path, e, strerror(e));
        return MappedErrno();
    }
    if (S_ISDIR(st.st_mode)) *attributesP |= kAttrDirectory;
    if (S_ISLNK(st.st_mode)) *attributesP |= kAttrLink;
    if (!IsMsDos(v) || S_ISDIR(st.st_mode)) {
        os::Trace("PrvGetFileAttributes(%d, %s): NON MS-DOS partition: Only RO is checked.", v->volRefNum, path);
        bool ownerCanWrite = st.st_uid == gDurnix.uid && (st.st_mode & S_IRUSR) && (st.st_mode & S_IWUSR);
        if (!ownerCanWrite) *attributesP |= kAttrReadOnly;
        return 0;
    }
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
        int e = errno;
        os::Trace("PrvGetFileAttributes(%d, %s): Can't open (errno=%d/%s)", v->volRefNum, path, e, strerror(e));
        return MappedErrno();
    }
    uint32_t fat = 0;
    int rc = ioctl(fd, kFatIoctlGetAttributes, &fat);
    int e = errno;
    close(fd);
    if (rc != 0) {
        os::Trace("PrvGetFileAttributes(%d, %s): Can't get MSDOS attributes (errno=%d/%s)", v->volRefNum, path, e,
                  strerror(e));
        errno = e;
        return MappedErrno();
    }
    os::Trace("PrvGetFileAttributes(%d, %s): MSDOS attributes: 0x%X", v->volRefNum, path, fat);
    *attributesP |= fat & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrVolumeLabel | kAttrArchive);
    return 0;
}

// Closes a record's stream and frees it. The stream is gone after fclose/closedir even when they
// fail, so the record is unlinked and freed in every case; the failure is still reported.
Status CloseRecord(DurnixFile* f) {
    int rc = f->directory ? closedir(f->directory) : fclose(f->stream);
    int e = errno;
    if (f->previous) f->previous->next = f->next;
    else f->volume->files = f->next;
    if (f->next) f->next->previous = f->previous;
    std::free(f->hostPath);
    std::free(f);
    if (rc == 0) return 0;
    return e == EINVAL ? errCloseFailed : (errno = e, MappedErrno());
}

// Adds up the allocated size of every file and directory under `path` (a buffer of kWalkPathMax
// usable bytes, restored on return).
Status PrvRunDir(char* path, uint32_t* usedP, char separator) {
    DIR* dir = opendir(path);
    if (!dir) return MappedErrno();
    const size_t base = std::strlen(path);
    Status result = 0;
    for (;;) {
        errno = 0;
        dirent* entry = readdir(dir);
        if (!entry) {
            if (errno) result = MappedErrno();
            break;
        }
        if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
        const size_t nameLength = std::strlen(entry->d_name);
        if (base + nameLength + 1 >= kWalkPathMax) {
            os::Trace("PrvRunDir(): Path too long: [%s/%s]", path, entry->d_name);
            result = errBadName;
            break;
        }
        path[base] = separator;
        std::memcpy(path + base + 1, entry->d_name, nameLength + 1);
        struct stat st;
        if (lstat(path, &st) != 0) {
            os::Trace("PrvRunDir(): stat(%s) failed.", path);
            path[base] = 0;
            continue;
        }
        bool isDir = entry->d_type == DT_DIR || (entry->d_type == DT_UNKNOWN && S_ISDIR(st.st_mode));
        bool isFile = entry->d_type == DT_REG || (entry->d_type == DT_UNKNOWN && S_ISREG(st.st_mode));
        if (isDir || isFile) {
            uint64_t total = *usedP + static_cast<uint64_t>(st.st_blocks) * 512u;
            if (total > kSizeLimit) {
                result = errTooManyFiles;
                path[base] = 0;
                break;
            }
            *usedP = static_cast<uint32_t>(total);
            if (isDir) result = PrvRunDir(path, usedP, separator);
        }
        path[base] = 0;
        if (result) break;
    }
    closedir(dir);
    return result;
}

}  // namespace

DurnixGlobals* DurnixGlobalsGet() { return &gDurnix; }

Status DurnixErrnoMap(int err) {
    switch (err) {
        case 0: return 0;
        case EPERM:
        case EACCES: return errPermission;
        case ENOENT: return errPathNotFound;
        case ENOMEM: return errNoMemoryOrSlot;
        case EEXIST: return errFileExists;
        case ENOTDIR: return errNotDirectory;
        case EISDIR: return errIsDirectory;
        case EINVAL: return errBadArgument;
        case ENFILE:
        case EMFILE:
        case ENOSPC: return errTooManyFiles;
        case EROFS: return errVolumeReadOnly;
        case ENAMETOOLONG: return errBadName;
        case ENOTEMPTY: return errDirNotEmpty;
        default: return errUnknownHost;
    }
}

// ---- the library ----

Status FSLibOpen() {
    os::Trace("FSLibOpen()");
    if (gDurnix.openCount != 0) {
        os::Trace("FSLibOpen(): Already open");
        ++gDurnix.openCount;
        return 0;
    }
    sys::MemSet(&gDurnix, sizeof gDurnix, 0);
    gDurnix.openCount = 1;
    gDurnix.separator = '/';
    for (DurnixVolume& v : gDurnix.volumes) v.volRefNum = 0;
    Status result = 0;
    for (const DefaultFolder& d : kDefaultFolders) {
        Status err = os::DefaultFolderRegister(d.type, kFolderCreator, d.folder);
        if (err) result = err;
    }
    gDurnix.uid = getuid();
    gDurnix.gid = getgid();
    sys::FtrSet(FourCC("expn"), 0, 200);
    return result;
}

Status FSLibClose() {
    os::Trace("FSLibClose()");
    if (gDurnix.openCount == 0) return errNotOpen;
    if (--gDurnix.openCount != 0) return 0;
    os::Report(__LINE__, "PrvUnmountVolumes()");
    for (DurnixVolume& v : gDurnix.volumes)
        if (v.volRefNum != 0) os::VolumeUnmountByRef(v.volRefNum);
    // Whatever the OS did with the volumes, no record of this library outlives it.
    for (DurnixVolume& v : gDurnix.volumes) {
        while (v.files) CloseRecord(v.files);
        v.volRefNum = 0;
    }
    Status result = 0;
    for (const DefaultFolder& d : kDefaultFolders) result = os::DefaultFolderUnregister(d.type, kFolderCreator);
    uint16_t cardNo = 0;
    uint32_t dbID = 0;
    result = sys::SysCurAppDatabase(&cardNo, &dbID);
    if (result == 0) result = os::NotifyUnregister(dbID, FourCC("rstf"), 0);
    sys::FtrUnregister(FourCC("expn"), 0);
    return result;
}

Status FSLibSleep() {
    os::Trace("FSLibSleep()");
    return 0;
}

Status FSLibWake() {
    os::Trace("FSLibWake()");
    return 0;
}

uint32_t FSLibAPIVersion() {
    os::Trace("FSLibAPIVersion()");
    return 2;
}

Status FSCustomControl(uint32_t, uint16_t, void*, uint16_t*) {
    os::Trace("FSCustomControl()");
    os::Report(__LINE__, "FSCustomControl()");
    return errBadParam;
}

Status FSFilesystemType(uint32_t* fsTypeP) {
    os::Trace("FSFilesystemType()");
    if (fsTypeP) *fsTypeP = kFsType;
    return 0;
}

// ---- files ----

Status FSFileCreate(uint16_t volRefNum, const char* path) {
    os::Trace("FSFileCreate(%d, %s)", volRefNum, path ? path : "(null)");
    DurnixVolume* v;
    if (Status err = VolumeFind(volRefNum, &v)) return err;
    if (v->readOnly) return errVolumeReadOnly;
    ConvertedPath host{path ? PrvFSPathConvert(&gDurnix, v, path, true) : nullptr};
    if (!host.path) return errPathNotFound;
    if (FILE* existing = fopen(host.path, "rb")) {
        fclose(existing);
        return errFileExists;
    }
    // O_EXCL: a name that appeared since the check, or a link planted there, is not followed.
    int fd = open(host.path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
    if (fd < 0) {
        if (errno == ENOENT) return errNewPathNotFound;
        if (errno == EINVAL) return errBadName;
        return MappedErrno();
    }
    if (!IsMsDos(v) && fchmod(fd, 0666) != 0) {
        Status err = MappedErrno();
        close(fd);
        return err;
    }
    if (close(fd) != 0) return MappedErrno();
    os::Trace("FSFileCreate() succeeded");
    return 0;
}

Status FSFileOpen(uint16_t volRefNum, const char* path, uint16_t openMode, FileRef* fileRefP) {
    os::Trace("FSFileOpen(%d, %s, %d)", volRefNum, path ? path : "(null)", openMode);
    DurnixVolume* v;
    if (Status err = VolumeFind(volRefNum, &v)) return err;
    if (!fileRefP) return errBadArgument;
    // A mode that asks neither to read nor to write would open the file for writing and empty it.
    if (!(openMode & kModeRead) && !Writable(openMode)) return errBadArgument;
    if (Writable(openMode) && v->readOnly) return errVolumeReadOnly;
    ConvertedPath host{path ? PrvFSPathConvert(&gDurnix, v, path, false) : nullptr};
    if (!host.path) return errPathNotFound;
    uint32_t attributes = 0;
    if (Status err = PrvGetFileAttributes(v, host.path, &attributes)) return err;
    auto* f = static_cast<DurnixFile*>(std::calloc(1, sizeof(DurnixFile)));
    char* copy = strdup(host.path);
    if (!f || !copy) {
        std::free(f);
        std::free(copy);
        return errOutOfMemory;
    }
    if (attributes & kAttrDirectory) {
        f->directory = opendir(copy);
    } else {
        const char* mode = (openMode & kModeRead) ? (Writable(openMode) ? "r+b" : "rb") : "wb";
        f->stream = fopen(copy, mode);
    }
    if (!f->directory && !f->stream) {
        Status err = MappedErrno();
        std::free(f);
        std::free(copy);
        return err;
    }
    struct stat st;
    if (stat(copy, &st) == 0) {
        f->created = st.st_ctime;
        f->accessed = st.st_atime;
        f->modified = st.st_mtime;
    }
    f->hostPath = copy;
    f->attributes = attributes;
    f->openMode = openMode;
    f->volume = v;
    f->next = v->files;
    if (v->files) v->files->previous = f;
    v->files = f;
    *fileRefP = static_cast<FileRef>(reinterpret_cast<uintptr_t>(f));
    os::Trace("FSFileOpen(%d, %s)->%d", volRefNum, path, Ref(f));
    return 0;
}

Status FSFileClose(FileRef fileRef) {
    os::Trace("FSFileClose(%d)", static_cast<int>(fileRef));
    DurnixFile* f;
    if (Status err = FileFind(fileRef, &f)) return err;
    return CloseRecord(f);
}

Status FSFileRead(FileRef fileRef, uint32_t count, void* bufBaseP, uint32_t offset, uint8_t toStorage,
                  uint32_t* countReadP) {
    if (countReadP) *countReadP = 0;
    DurnixFile* f;
    if (Status err = StreamFind(fileRef, &f)) return err;
    if (!(f->openMode & kModeRead)) return errPermission;
    if (count && !bufBaseP) return errBadArgument;
    // A read after a write needs a positioning call in between.
    if (fseek(f->stream, 0, SEEK_CUR) != 0) return MappedErrno();
    uint32_t done = 0;
    while (done < count) {
        const size_t chunk = count - done < sizeof gDurnix.ioBuffer ? count - done : sizeof gDurnix.ioBuffer;
        errno = 0;
        const size_t n = fread(gDurnix.ioBuffer, 1, chunk, f->stream);
        const int readErrno = errno;
        if (n > 0) {
            const uint32_t at = offset + done;
            Status err = toStorage ? sys::DmWrite(bufBaseP, at, gDurnix.ioBuffer, static_cast<uint32_t>(n))
                                   : sys::MemMove(static_cast<uint8_t*>(bufBaseP) + at, gDurnix.ioBuffer,
                                                  static_cast<int32_t>(n));
            if (err) return err;
            done += static_cast<uint32_t>(n);
            if (countReadP) *countReadP = done;
        }
        if (n < chunk) {
            if (ferror(f->stream)) {
                clearerr(f->stream);
                errno = readErrno;
                return MappedErrno();
            }
            if (feof(f->stream)) return errEndOfFile;
            os::Report(__LINE__, "Unknown error in FSFileRead");
            return errUnknownHost;
        }
    }
    return 0;
}

Status FSFileWrite(FileRef fileRef, uint32_t count, const void* sourceP, uint32_t* countWrittenP) {
    if (countWrittenP) *countWrittenP = 0;
    DurnixFile* f;
    if (Status err = StreamFind(fileRef, &f)) return err;
    if (!Writable(f->openMode)) return errPermission;
    if (count && !sourceP) return errBadArgument;
    // A write after a read needs a positioning call in between.
    if (fseek(f->stream, 0, SEEK_CUR) != 0) return MappedErrno();
    errno = 0;
    const size_t n = count ? fwrite(sourceP, 1, count, f->stream) : 0;
    // Flushed at once, so that a full disk is reported by this call and not lost at close.
    const bool flushed = fflush(f->stream) == 0;
    if (countWrittenP) *countWrittenP = static_cast<uint32_t>(n);
    if (n == count && flushed) return 0;
    clearerr(f->stream);
    return MappedErrno();
}

Status FSFileDelete(uint16_t volRefNum, const char* path) {
    os::Trace("FSFileDelete(%d, %s)", volRefNum, path ? path : "(null)");
    DurnixVolume* v;
    if (Status err = VolumeFind(volRefNum, &v)) return err;
    if (v->readOnly) return errVolumeReadOnly;
    ConvertedPath host{path ? PrvFSPathConvert(&gDurnix, v, path, false) : nullptr};
    if (!host.path) return errPathNotFound;
    // The root of the volume itself is not the caller's to remove.
    if (std::strcmp(host.path, v->root) == 0) return errPermission;
    if (remove(host.path) != 0) return MappedErrno();
    return 0;
}

Status FSFileRename(uint16_t volRefNum, const char* path, const char* newName) {
    os::Trace("FSFileRename(%d, %s, %s)", volRefNum, path ? path : "(null)", newName ? newName : "(null)");
    DurnixVolume* v;
    if (Status err = VolumeFind(volRefNum, &v)) return err;
    if (v->readOnly) return errVolumeReadOnly;
    // The new name is one name in the same directory: no separator, not "." or "..".
    if (!newName || !*newName || std::strpbrk(newName, "/\\:") || !std::strcmp(newName, ".") ||
        !std::strcmp(newName, ".."))
        return errBadName;
    ConvertedPath from{path ? PrvFSPathConvert(&gDurnix, v, path, false) : nullptr};
    if (!from.path) return errPathNotFound;
    if (std::strcmp(from.path, v->root) == 0) return errPermission;
    // The new path goes through the same conversion as any other: the old path's directory on the
    // device, then the new name.
    const char* cut = nullptr;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\' || *p == ':') cut = p;
    const size_t dirLength = cut ? static_cast<size_t>(cut - path) + 1 : 0;
    const size_t nameLength = std::strlen(newName);
    char* devicePath = static_cast<char*>(std::malloc(dirLength + nameLength + 2));
    if (!devicePath) return errOutOfMemory;
    if (dirLength) std::memcpy(devicePath, path, dirLength);
    else devicePath[0] = '/';
    std::memcpy(devicePath + (dirLength ? dirLength : 1), newName, nameLength + 1);
    ConvertedPath to{PrvFSPathConvert(&gDurnix, v, devicePath, true)};
    std::free(devicePath);
    if (!to.path) return errBadName;
    if (rename(from.path, to.path) != 0) return MappedErrno();
    return 0;
}

Status FSFileSeek(FileRef fileRef, uint16_t origin, int32_t offset) {
    os::Trace("FSFileSeek(%d,%d,%d)", static_cast<int>(fileRef), origin, offset);
    DurnixFile* f;
    if (Status err = StreamFind(fileRef, &f)) return err;
    int whence;
    switch (origin) {
        case 0: whence = SEEK_SET; break;
        case 1: whence = SEEK_CUR; break;
        case 2: whence = SEEK_END; break;
        default: return errBadArgument;
    }
    if (fseek(f->stream, offset, whence) != 0) return MappedErrno();
    return 0;
}

Status FSFileEOF(FileRef fileRef) {
    os::Trace("FSFileEOF(%d)", static_cast<int>(fileRef));
    DurnixFile* f;
    if (Status err = StreamFind(fileRef, &f)) return err;
    return feof(f->stream) ? errEndOfFile : 0;
}

Status FSFileTell(FileRef fileRef, uint32_t* positionP) {
    os::Trace("FSFileTell(%d)", static_cast<int>(fileRef));
    DurnixFile* f;
    if (Status err = StreamFind(fileRef, &f)) return err;
    if (!positionP) return errBadArgument;
    long position = ftell(f->stream);
    if (position < 0) return MappedErrno();
    *positionP = static_cast<uint32_t>(position);
    return 0;
}

Status FSFileSize(FileRef fileRef, uint32_t* sizeP) {
    os::Trace("FSFileSize(%d)", static_cast<int>(fileRef));
    DurnixFile* f;
    if (Status err = StreamFind(fileRef, &f)) return err;
    if (!sizeP) return errBadArgument;
    long position = ftell(f->stream);
    if (position < 0 || fseek(f->stream, 0, SEEK_END) != 0) return MappedErrno();
    long size = ftell(f->stream);
    if (size < 0) return MappedErrno();
    if (fseek(f->stream, position, SEEK_SET) != 0) return MappedErrno();
    *sizeP = static_cast<uint32_t>(size);
    return 0;
}

Status FSFileResize(FileRef fileRef, uint32_t newSize) {
    os::Trace("FSFileResize(%d, %d)", static_cast<int>(fileRef), static_cast<int>(newSize));
    DurnixFile* f;
    if (Status err = StreamFind(fileRef, &f)) return err;
    if (!Writable(f->openMode)) return errPermission;
    uint32_t size = 0;
    if (Status err = FSFileSize(fileRef, &size)) return err;
    if (size == newSize) return 0;
    long position = ftell(f->stream);
    if (position < 0) return MappedErrno();
    // What the stream still buffers reaches the file before the file changes under it.
    if (fflush(f->stream) != 0) return MappedErrno();
    if (newSize < size) {
        if (ftruncate(fileno(f->stream), static_cast<off_t>(newSize)) != 0) return MappedErrno();
    } else {
        if (fseek(f->stream, 0, SEEK_END) != 0) return MappedErrno();
        static const uint8_t kZeros[1024] = {};
        uint32_t missing = newSize - size;
        while (missing) {
            size_t chunk = missing < sizeof kZeros ? missing : sizeof kZeros;
            errno = 0;
            size_t n = fwrite(kZeros, 1, chunk, f->stream);
            if (n == 0) {
                clearerr(f->stream);
                return MappedErrno();
            }
            missing -= static_cast<uint32_t>(n);
        }
        if (fflush(f->stream) != 0) return MappedErrno();
    }
    if (fseek(f->stream, position, SEEK_SET) != 0) return MappedErrno();
    return 0;
}

Status FSFileGetAttributes(FileRef fileRef, uint32_t* attributesP) {
    os::Trace("FSFileGetAttributes(%d)", static_cast<int>(fileRef));
    DurnixFile* f;
    if (Status err = FileFind(fileRef, &f)) return err;
    if (!attributesP) return errBadArgument;
    *attributesP = f->attributes;
    return 0;
}

Status FSFileSetAttributes(FileRef fileRef, uint32_t attributes) {
    os::Trace("FSFileSetAttributes(%d, %d)", static_cast<int>(fileRef), static_cast<int>(attributes));
    if (attributes & (kAttrVolumeLabel | kAttrDirectory | kAttrLink)) return errBadArgument;
    DurnixFile* f;
    if (Status err = FileFind(fileRef, &f)) return err;
    DurnixVolume* v = f->volume;
    if (v->readOnly) return errVolumeReadOnly;
    if (attributes == f->attributes) return 0;
    const char* path = f->hostPath;
    if (!IsMsDos(v) || IsDirectory(f)) {
        os::Trace("FSFileSetAttributes(%d, %s): Not an MSDOS partition, only RO supported", Ref(f), path);
        if (attributes > kAttrReadOnly) {
            os::Report(__LINE__, "FSFileSetAttributes(): Not an MSDOS partition, only RO supported");
            os::Trace("FSFileSetAttributes(%d, %s): Not an MSDOS partition, attributes 0x%X not supported", Ref(f),
                      path, attributes);
            return errBadArgument;
        }
        struct stat st;
        if (stat(path, &st) != 0) {
            int e = errno;
            os::Trace("FSFileSetAttributes(%d, %s): stat failed (errno=%d/%s)", Ref(f), path, e, strerror(e));
            return MappedErrno();
        }
        mode_t mode = st.st_mode & 07777;
        mode_t bit = st.st_uid == gDurnix.uid ? S_IWUSR : st.st_gid == gDurnix.gid ? S_IWGRP : S_IWOTH;
        mode = (attributes & kAttrReadOnly) ? (mode & ~bit) : (mode | bit);
        if (chmod(path, mode) != 0) {
            int e = errno;
            os::Trace("FSFileSetAttributes(%d, %s): chmod failed (errno=%d/%s)", Ref(f), path, e, strerror(e));
            return MappedErrno();
        }
        f->attributes = attributes;
        return 0;
    }
    uint32_t fat = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
    if (ioctl(fileno(f->stream), kFatIoctlSetAttributes, &fat) != 0) {
        int e = errno;
        os::Trace("FSFileSetAttributes(%d, %s): Can't set MSDOS attributes (errno=%d/%s)", Ref(f), path, e,
                  strerror(e));
        return MappedErrno();
    }
    os::Trace("FSFileSetAttributes(%d, %s): MSDOS attributes set: 0x%X", Ref(f), path, fat);
    f->attributes = attributes;
    return 0;
}

Status FSFileGetDate(FileRef fileRef, uint16_t selector, uint32_t* dateP) {
    DurnixFile* f;
    if (Status err = FileFind(fileRef, &f)) return err;
    time_t t;
    switch (selector) {
        case 1: t = f->created; break;
        case 2: t = f->modified; break;
        case 3: t = f->accessed; break;
        default: return errBadParam;
    }
    if (!dateP) return errBadArgument;
    *dateP = static_cast<uint32_t>(t) + kOsEpochOffset;
    return 0;
}

Status FSFileSetDate(FileRef fileRef, uint16_t selector, uint32_t date) {
    DurnixFile* f;
    if (Status err = FileFind(fileRef, &f)) return err;
    if (f->volume->readOnly) return errVolumeReadOnly;
    if (selector == 0 || selector > 3) return errBadParam;
    struct stat st;
    if (stat(f->hostPath, &st) != 0) return MappedErrno();
    const time_t host = static_cast<int32_t>(date - kOsEpochOffset);
    utimbuf times{st.st_atime, st.st_mtime};
    if (selector == 3) times.actime = host;
    else times.modtime = host;
    if (utime(f->hostPath, &times) != 0) return MappedErrno();
    return 0;
}

// ---- directories ----

Status FSDirCreate(uint16_t volRefNum, const char* path) {
    os::Trace("FSDirCreate(%d, %s)", volRefNum, path ? path : "(null)");
    DurnixVolume* v;
    if (Status err = VolumeFind(volRefNum, &v)) return err;
    if (v->readOnly) return errVolumeReadOnly;
    ConvertedPath host{path ? PrvFSPathConvert(&gDurnix, v, path, true) : nullptr};
    if (!host.path) return errBadName;
    if (mkdir(host.path, 0777) != 0) return MappedErrno();
    return 0;
}

Status FSDirEntryEnumerate(FileRef dirRef, uint32_t* iteratorP, DurnixDirEntryInfo* infoP) {
    os::Trace("FSDirEntryEnumerate(%d)", static_cast<int>(dirRef));
    DurnixFile* f;
    if (Status err = FileFind(dirRef, &f)) return err;
    if (!IsDirectory(f)) return errNotDirectory;
    if (!iteratorP || !infoP) return errBadArgument;
    if (*iteratorP == 0xFFFFFFFF) return errNoMoreEntries;
    char* name = reinterpret_cast<char*>(static_cast<uintptr_t>(infoP->nameP));
    if (name && infoP->nameBufSize == 0) return errBadArgument;
    if (f->directory) closedir(f->directory);
    f->directory = opendir(f->hostPath);
    if (!f->directory) {
        Status err = MappedErrno();
        // The record stays a directory; the next call opens it again.
        return err;
    }
    for (uint32_t skipped = 0; skipped < *iteratorP; ++skipped) {
        if (!readdir(f->directory)) {
            *iteratorP = 0xFFFFFFFF;
            return errNoMoreEntries;
        }
    }
    uint32_t read = 0;
    while (dirent* entry = readdir(f->directory)) {
        ++read;
        if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
        const size_t nameLength = std::strlen(entry->d_name);
        if (name) {
            const size_t size = infoP->nameBufSize;
            std::strncpy(name, entry->d_name, size);
            if (nameLength >= size) {
                name[size - 1] = 0;
                return errBufferTooSmall;
            }
        }
        const size_t dirLength = std::strlen(f->hostPath);
        char* full = static_cast<char*>(std::malloc(dirLength + nameLength + 2));
        if (!full) return errOutOfMemory;
        std::memcpy(full, f->hostPath, dirLength);
        size_t at = dirLength;
        if (at && (full[at - 1] == '/' || full[at - 1] == '\\')) --at;
        full[at++] = gDurnix.separator;
        std::memcpy(full + at, entry->d_name, nameLength + 1);
        if (readdir(f->directory)) *iteratorP += read;
        else *iteratorP = 0xFFFFFFFF;
        infoP->attributes = 0;
        PrvGetFileAttributes(f->volume, full, &infoP->attributes);
        std::free(full);
        return 0;
    }
    *iteratorP = 0xFFFFFFFF;
    return errNoMoreEntries;
}

// ---- volumes ----

Status FSVolumeFormat(uint32_t) {
    os::Report(__LINE__,
               "You have called FSVolumeFormat on a Durnix volume.  There are easier and much better ways to format "
               "your hard drive, so Durnix will not do so.");
    return errBadParam;
}

Status FSVolumeMount(uint32_t params) {
    if (gDurnix.openCount == 0) return errNotOpen;
    if (!params) return errBadArgument;
    DurnixMountParams mount{};
    void* context = os::A68k<vantor::a68ksig::A68kGetCurrentContext>(vantor::a68kslot::A68kGetCurrentContext);
    if (Status err = os::A68k<vantor::a68ksig::A68kRecordToNative>(vantor::a68kslot::A68kRecordToNative, context,
                                                                   &mount, params, kMountParamsLayout))
        return err;
    os::Trace("FSVolumeMount(): Class=%d", static_cast<int>(mount.mountClass));
    if (mount.mountClass != kMountClassSlot) return errBadParam;
    if (!os::ExpCardCheck(mount.slotLibRefNum, mount.slotRefNum, kFsType)) {
        os::Trace("FSVolumeMount(): Card (%d,%d) does not support Durnix", mount.slotLibRefNum, mount.slotRefNum);
        return errWrongCard;
    }
    // A volume number is given once: a second mount under the same number would hide the first.
    if (mount.volRefNum == 0) return errBadArgument;
    DurnixVolume* v = nullptr;
    for (DurnixVolume& candidate : gDurnix.volumes) {
        if (candidate.volRefNum == mount.volRefNum) return errBadArgument;
        if (!v && candidate.volRefNum == 0) v = &candidate;
    }
    if (!v) return errNoMemoryOrSlot;
    os::Trace("FSVolumeMount(): SlotRefNum=%d,VolRefNum=%d", mount.slotRefNum, mount.volRefNum);
    std::memset(v, 0, sizeof *v);
    v->volRefNum = mount.volRefNum;
    v->slotLibRefNum = mount.slotLibRefNum;
    v->slotRefNum = mount.slotRefNum;
    char root[sizeof v->root] = {};
    uint8_t readOnly = 0;
    uint32_t magic = 0;
    Status err = os::CardSlot<vantor::cardslotsig::CardSlotGetRoot>(vantor::cardslot::CardSlotGetRoot,
                                                                    mount.slotRefNum, root, uint16_t{sizeof root},
                                                                    &readOnly, &magic);
    root[sizeof root - 1] = 0;
    if (err) {
        os::Trace("FSVolumeMount(): Can't get Volume prefix");
        v->volRefNum = 0;
        return err;
    }
    os::Trace("FSVolumeMount(): Slot Root Path=[%s]", root);
    size_t n = std::strlen(root);
    if (n && (root[n - 1] == ':' || root[n - 1] == '\\' || root[n - 1] == '/')) root[n - 1] = 0;
    std::memcpy(v->root, root, sizeof root);
    v->readOnly = readOnly;
    v->fsMagic = magic;
    return 0;
}

Status FSVolumeUnmount(uint16_t volRefNum) {
    os::Trace("FSVolumeUnmount(%d)", volRefNum);
    DurnixVolume* v;
    if (Status err = VolumeFind(volRefNum, &v)) return err;
    for (DurnixFile* f = v->files; f;) {
        DurnixFile* next = f->next;
        os::FileCloseByRef(static_cast<FileRef>(reinterpret_cast<uintptr_t>(f)));
        f = next;
    }
    // Records that the OS did not close through us are closed here: none outlives its volume.
    while (v->files) CloseRecord(v->files);
    v->volRefNum = 0;
    return 0;
}

Status FSVolumeInfo(uint16_t volRefNum, DurnixVolumeInfo* infoP) {
    os::Trace("FSVolumeInfo(%d)", volRefNum);
    DurnixVolume* v;
    if (Status err = VolumeFind(volRefNum, &v)) return err;
    if (!infoP) return errBadArgument;
    uint32_t flags = 0;
    if (Status err = os::CardSlot<vantor::cardslotsig::CardSlotGetFlags>(vantor::cardslot::CardSlotGetFlags,
                                                                         v->slotLibRefNum, v->slotRefNum, &flags))
        return err;
    infoP->attributes = (flags & vantor::cardslotsig::kCardSlotFlagReadOnly) ? 0x3 : 0x1;
    infoP->fsType = kFsType;
    infoP->fsCreator = kLibCreator;
    infoP->mountClass = kMountClassSlot;
    infoP->slotLibRefNum = v->slotLibRefNum;
    infoP->slotRefNum = v->slotRefNum;
    infoP->reserved = 0;
    return os::CardSlot<vantor::cardslotsig::CardSlotGetMediaType>(vantor::cardslot::CardSlotGetMediaType,
                                                                  v->slotLibRefNum, v->slotRefNum,
                                                                  &infoP->mediaType);
}

Status FSVolumeGetLabel(uint16_t volRefNum, char* label, uint16_t bufSize) {
    os::Trace("FSVolumeGetLabel(%d)", volRefNum);
    DurnixVolume* v;
    if (Status err = VolumeFind(volRefNum, &v)) return err;
    // Two digits and the NUL must fit.
    if (!label || bufSize < 3) return errBadArgument;
    std::strncpy(label, "Slot", bufSize - 3u);
    label[bufSize - 3] = 0;
    char number[8];
    if (v->slotRefNum <= 99) std::snprintf(number, sizeof number, "%u", unsigned{v->slotRefNum});
    else std::memcpy(number, "??", 3);
    std::strcat(label, number);
    return 0;
}

Status FSVolumeSetLabel(uint16_t volRefNum, const char*) {
    os::Trace("FSVolumeSetLabel(%d)", volRefNum);
    DurnixVolume* v;
    if (Status err = VolumeFind(volRefNum, &v)) return err;
    if (v->readOnly) return errVolumeReadOnly;
    os::Report(__LINE__, "FSVolumeSetLabel() NOT IMPLEMENTED");
    return errNotImplemented;
}

Status FSVolumeSize(uint16_t volRefNum, uint32_t* usedP, uint32_t* totalP) {
    os::Trace("FSVolumeSize(%d)", volRefNum);
    DurnixVolume* v;
    if (Status err = VolumeFind(volRefNum, &v)) return err;
    if (!usedP || !totalP) return errBadArgument;
    uint32_t available = 0;
    struct statfs fs;
    if (statfs(v->root, &fs) == 0) {
        uint64_t blockSize = fs.f_bsize ? static_cast<uint64_t>(fs.f_bsize) : 1;
        uint64_t blocks = fs.f_bavail;
        if (blocks > kSizeLimit / blockSize) blocks = kSizeLimit / blockSize;
        available = static_cast<uint32_t>(blocks * blockSize);
        os::Trace("FSVolumeSize(%d:%s): Avail: 0x%X blocks x 0x%X bytes.", volRefNum, v->root,
                  static_cast<unsigned>(blocks), static_cast<unsigned>(blockSize));
    } else {
        int e = errno;
        uint32_t deviceType = os::gKez.Call<vantor::kezsig::HALSettingsGetDeviceType>(
            vantor::kezslot::HALSettingsGetDeviceType);
        if (deviceType != kDeviceTypeUml) {
            os::Trace("FSVolumeSize(%d:%s): statfs failed (errno=%d/%s)", volRefNum, v->root, e, strerror(e));
            errno = e;
            return MappedErrno();
        }
        os::Trace("FSVolumeSize(%d:%s): statfs failed (errno=%d/%s). Not supported on UML.", volRefNum, v->root, e,
                  strerror(e));
    }
    char* path = static_cast<char*>(std::malloc(kWalkPathMax + 1));
    if (!path) return errNoMemoryOrSlot;
    std::snprintf(path, kWalkPathMax + 1, "%s", v->root);
    uint32_t used = 0;
    Status err = PrvRunDir(path, &used, gDurnix.separator);
    std::free(path);
    if (err) {
        os::Trace("FSVolumeSize(%d:%s): PrvRunDir failed (Err=0x%X)", volRefNum, v->root, err);
        return err;
    }
    uint64_t total = static_cast<uint64_t>(used) + available;
    if (total > kSizeLimit) total = kSizeLimit;
    *usedP = used;
    *totalP = static_cast<uint32_t>(total);
    os::Trace("FSVolumeSize(%d:%s): used=0x%X, total=0x%X", volRefNum, v->root, used,
              static_cast<unsigned>(total));
    return 0;
}

}  // namespace durnix
