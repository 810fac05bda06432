// ROM and storage memory (export slots 70 to 74): the storage file mapped writable at 0x58000000
// so the OS works on its pages directly, the dynamic heap at 0x57000000 and the ROM file read-only
// at 0x60000000; write tracking through SIGSEGV when the storage can only be mapped privately;
// and the crash-detection file that decides whether the storage must be erased. The ROM is checked
// before the crash-detection file is touched: a start that fails on a missing or damaged ROM never
// counts as a crashed initialisation.
#include "kez/src/HALMemory.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kez/src/KezBoot.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"

using namespace vantor;

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

namespace kez {
namespace {

constexpr uint32_t kDynamicBase = 0x57000000;
constexpr uint32_t kStorageBase = 0x58000000;
constexpr uint32_t kRomBase = 0x60000000;
constexpr uint32_t kMB = 0x100000;
constexpr uint32_t kMinStorage = kMB, kMaxStorage = 128 * kMB;
constexpr uint32_t kFormatted = 0xFEEDFACE;
constexpr uint32_t kRomSignature = 0xFEEDBEEF;

KezMemoryArea gAreas[3];
KezMemoryAreas gAreaRecord{3, gAreas};
KezMemoryArea& gStorage = gAreas[0];
KezMemoryArea& gRom = gAreas[1];
KezMemoryArea& gDynamic = gAreas[2];

int gStorageFile = -1;
int gRomFile = -1;
uint32_t gProtection;
bool gPrivate;
bool gForcePrivate;
long gPageSize;
uint32_t gPages;
uint8_t* gDirty;
struct sigaction gPreviousSegv;
bool gDynamicMapped;
char gCrashFile[sizeof(KezBootConfig::storagePath) + 8];

void* Address(uint32_t base) { return reinterpret_cast<void*>(static_cast<uintptr_t>(base)); }

// A mapping at exactly `base` that never replaces what is there.
void* MapAt(uint32_t base, size_t size, int protection, int flags, int fd) {
    void* p = mmap(Address(base), size, protection, flags | MAP_FIXED_NOREPLACE, fd, 0);
    if (p == MAP_FAILED) return nullptr;
    if (p != Address(base)) {  // a kernel that takes the address only as a hint
        munmap(p, size);
        errno = EEXIST;
        return nullptr;
    }
    return p;
}

// Shows the error dialog with flag A set: its only choices end the process.
void Fatal(const char* message) { KEZ_CALL(HALErrDisplay, message, 1, nullptr, 0); }

void FatalWith(const char* format, const char* text) {
    char message[4200];
    std::snprintf(message, sizeof message, format, text);
    Fatal(message);
}

void Report(const char* message) {
    std::fputs(message, stderr);
    syslog(LOG_USER | LOG_ERR, "%s", message);
}

// Creates the crash-detection file, or reacts to the one an unfinished start left behind. The
// name is opened without following a symbolic link.
void CheckCrashFile(uint8_t* hardReset) {
    int fd = open(gCrashFile, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = open(gCrashFile, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 || write(fd, "1", 1) != 1) {
            char message[sizeof gCrashFile + 64];
            std::snprintf(message, sizeof message, "Could not create crash-detect file: [%s]\n", gCrashFile);
            Report(message);
        }
        if (fd >= 0) close(fd);
        return;
    }
    if (fd < 0) {
        char message[sizeof gCrashFile + 64];
        std::snprintf(message, sizeof message, "Could not create crash-detect file: [%s]\n", gCrashFile);
        Report(message);
        return;
    }
    char byte = 0;
    if (pread(fd, &byte, 1, 0) != 1 || byte != '1') {
        Report("QEL crashed during its 2 last initializations.\n"
               "This most probably means that its storage is corrupted.\n"
               "In order to allow regular operations, the storage has been erased.\n");
        *hardReset = 1;
    } else {
        Report("QEL crashed during its previous initialization.\nLet's give it a second try...\n");
        [[maybe_unused]] ssize_t written = pwrite(fd, "0", 1, 0);
    }
    close(fd);
}

// Realigns its stack on entry: the i386 ABI promises 16-byte alignment, and code built with the
// address sanitizer lays out its frame on that promise, but not every signal delivery keeps it
// (qemu-i386's does not).
__attribute__((force_align_arg_pointer)) void SegvHandler(int signal, siginfo_t* info, void* context) {
    auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    if (info->si_code == SEGV_ACCERR && address >= gStorage.base && address - gStorage.base < gStorage.size) {
        uintptr_t page = (address - gStorage.base) / static_cast<uintptr_t>(gPageSize);
        KEZ_CALL(HALTrace, 0xFF00, "+++++ PrvSegVHandler(): SIGSEGV at addr: 0x%X, page=%lu",
                 static_cast<unsigned>(address), static_cast<unsigned long>(page));
        void* start = Address(gStorage.base + static_cast<uint32_t>(page * gPageSize));
        if (mprotect(start, static_cast<size_t>(gPageSize), PROT_READ | PROT_WRITE | PROT_EXEC) == 0) {
            gDirty[page / 8] |= static_cast<uint8_t>(1u << (page % 8));
            return;  // the write is retried
        }
        KEZ_CALL(HALTrace, 0xFF00, "PrvSegVHandler(): Setting protection failed (errno=%d).", errno);
    }
    std::printf("+++++ PrvSegVHandler(): Addr: 0x%X: SIGSEGV forwarded\n", static_cast<unsigned>(address));
    std::fflush(stdout);
    if (gPreviousSegv.sa_flags & SA_SIGINFO) {
        gPreviousSegv.sa_sigaction(signal, info, context);
    } else if (gPreviousSegv.sa_handler != SIG_DFL && gPreviousSegv.sa_handler != SIG_IGN) {
        gPreviousSegv.sa_handler(signal);
    } else {
        // There is no handler to call: the default action takes the fault when it repeats.
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        sigaction(SIGSEGV, &defaults, nullptr);
    }
}

bool PrvHALMemoryProtInit() {
    gPageSize = sysconf(_SC_PAGESIZE);
    gPages = static_cast<uint32_t>(gStorage.size / static_cast<uint32_t>(gPageSize));
    if (gPages % 8 != 0) {
        KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryProtInit(): INTERNAL ERROR: Total number of pages must be a multiple of 8");
        return false;
    }
    KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryProtInit(): Page size: %d, %d pages.", static_cast<int>(gPageSize),
             static_cast<int>(gPages));
    gDirty = static_cast<uint8_t*>(std::calloc(gPages / 8, 1));
    if (!gDirty) {
        KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryProtInit(): Can't allocate dirty pages table.");
        return false;
    }
    struct sigaction action {};
    action.sa_sigaction = SegvHandler;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGSEGV, &action, &gPreviousSegv) != 0) {
        KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryProtInit(): sigaction failed.");
        return false;
    }
    return true;
}

void PrvHALMemoryProtClose() {
    if (sigaction(SIGSEGV, &gPreviousSegv, nullptr) != 0)
        KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryProtClose(): sigaction failed.");
    int written = 0;
    for (uint32_t page = 0; page < gPages; ++page) {
        if (!(gDirty[page / 8] & (1u << (page % 8)))) continue;
        KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryProtClose(): Writing back page %d", static_cast<int>(page));
        off_t offset = static_cast<off_t>(page) * gPageSize;
        if (lseek(gStorageFile, offset, SEEK_SET) < 0) {
            KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryProtClose(): Writing back failed - lseek (errno=%d)", errno);
            continue;
        }
        if (write(gStorageFile, Address(gStorage.base + static_cast<uint32_t>(offset)),
                  static_cast<size_t>(gPageSize)) != gPageSize) {
            KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryProtClose(): Writing back failed - write (errno=%d)", errno);
            continue;
        }
        ++written;
    }
    KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryProtClose(): %d dirty pages written.", written);
    std::free(gDirty);
    gDirty = nullptr;
}

// Brings the storage file to `size` bytes; answers whether it changed (a hard reset is needed).
bool FitStorage(uint32_t fileSize, uint32_t size) {
    unsigned long oldKB = fileSize / 1024, newKB = size / 1024;
    if (fileSize < size) {
        KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryInitialize(): Storage size needs to grow (%lu->%lu KB)", oldKB, newKB);
        if (lseek(gStorageFile, size - 1, SEEK_SET) < 0) {
            KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryInitialize(): Storage size growing failed (lseek:%d)", errno);
            Fatal("Resizing storage failed.");
        } else if (write(gStorageFile, "", 1) != 1) {
            KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryInitialize(): Storage size growing failed (write:%d)", errno);
            Fatal("Resizing storage failed.");
        } else {
            KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryInitialize(): Storage size grown OK (%lu->%lu KB)", oldKB, newKB);
        }
        return true;
    }
    if (fileSize > size) {
        KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryInitialize(): Storage size needs to shrink (%lu->%lu KB)", oldKB, newKB);
        if (ftruncate(gStorageFile, size) != 0) {
            KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryInitialize(): Storage size shrinking failed (%d)", errno);
            Fatal("Resizing storage failed.");
        } else {
            KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryInitialize(): Storage size shrunk OK (%lu->%lu KB)", oldKB, newKB);
        }
        return true;
    }
    KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryInitialize(): Storage size not changed");
    return false;
}

KezMemoryAreas* HALMemoryGetAreas() { return &gAreaRecord; }
KEZ_SLOT(HALMemoryGetAreas, HALMemoryGetAreas)

uint8_t HALMemoryIsProtected() { return gProtection > 0 ? 1 : 0; }
KEZ_SLOT(HALMemoryIsProtected, HALMemoryIsProtected)

uint16_t HALMemorySetProtection(uint8_t on) {
    if (on) ++gProtection;
    else if (gProtection > 0) --gProtection;
    return 0;
}
KEZ_SLOT(HALMemorySetProtection, HALMemorySetProtection)

// 1 when [address, address + length) lies within the calling thread's stack.
uint8_t HALMemoryCheckStackRange(const void* address, uint32_t length, uint8_t) {
    pthread_attr_t attributes;
    void* stackLow;
    size_t size;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return 0;
    pthread_attr_getstack(&attributes, &stackLow, &size);
    pthread_attr_destroy(&attributes);
    uint64_t top = reinterpret_cast<uintptr_t>(stackLow) + uint64_t{size};
    uint64_t start = reinterpret_cast<uintptr_t>(address);
    return start + length <= top && start >= top - size ? 1 : 0;
}
KEZ_SLOT(HALMemoryCheckStackRange, HALMemoryCheckStackRange)

uint32_t HALMemoryGetAreaSize(uint32_t, uint32_t) {
    KEZ_CALL(HALTrace, 0xF100, "HALMemoryGetAreaSize(): NOT IMPLEMENTED");
    return 0;
}
KEZ_SLOT(HALMemoryGetAreaSize, HALMemoryGetAreaSize)

uint32_t MemoryFiller() { return 0; }

}  // namespace

KEZ_SLOT_FILLER(173, MemoryFiller)
KEZ_SLOT_FILLER(272, MemoryFiller)
KEZ_SLOT_FILLER(273, MemoryFiller)
KEZ_SLOT_FILLER(274, MemoryFiller)

void PrvHALMemoryForcePrivateMapping(bool force) { gForcePrivate = force; }

const char* PrvHALMemoryCrashFile() { return gCrashFile; }

uint16_t PrvHALMemoryInitialize(uint8_t* hardReset) {
    KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryInitialize(): Initializing memory areas");
    gStorage = {2, kStorageBase, 0};
    gRom = {0, kRomBase, 0};
    gDynamic = {1, kDynamicBase, 0};
    gStorageFile = gRomFile = -1;

    const char* storagePath = gKez.config.storagePath;
    if (storagePath[0] == '\0') Fatal("No storage name provided");
    gStorageFile = open(storagePath, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (gStorageFile < 0) FatalWith("Could not open storage file: [%s]", storagePath);

    std::snprintf(gCrashFile, sizeof gCrashFile, "%s.crashed", storagePath);

    // The ROM file, its size and signature, before anything counts this start.
    const char* romPath = gKez.config.romPath;
    KEZ_CALL(HALTrace, 0xFF00, "Using %s ROM file", romPath);
    gRomFile = open(romPath, O_RDONLY | O_CLOEXEC);
    if (gRomFile < 0) FatalWith("Could not open ROM file:\n%s", romPath);
    struct stat status;
    if (fstat(gRomFile, &status) != 0) FatalWith("Could not get ROM file size:\n%s", romPath);
    uint32_t signature = 0;
    uint16_t version = 0;
    if (status.st_size <= 4096 || status.st_size > 0x20000000 || pread(gRomFile, &signature, 4, 8) != 4 ||
        pread(gRomFile, &version, 2, 12) != 2 || signature != kRomSignature || version != 6)
        FatalWith("Loaded ROM file %s has not the expected signature and version", romPath);
    gRom.size = static_cast<uint32_t>(status.st_size);

    CheckCrashFile(hardReset);

    if (*hardReset) {
        if (ftruncate(gStorageFile, 0) != 0) Fatal("Can't erase storage");
        KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryInitialize(): Hard Reset requested: file truncated");
    }

    if (fstat(gStorageFile, &status) != 0) {
        KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryInitialize(): fstat failed (%d)", errno);
        Fatal("Resizing storage failed.");
    }
    uint64_t fileSize = static_cast<uint64_t>(status.st_size);
    uint64_t size;
    if (gKez.config.storageSizeMB != 0) {
        size = uint64_t{gKez.config.storageSizeMB} * kMB;
    } else {
        size = fileSize ? fileSize : 0x800000;
        KEZ_CALL(HALTrace, 0xFF00,
                 "PrvHALMemoryInitialize(): Storage size not specified, using existing file size (%lu KB)",
                 static_cast<unsigned long>(size / 1024));
    }
    if (size < kMinStorage) size = kMinStorage;
    if (size > kMaxStorage) size = kMaxStorage;
    gStorage.size = static_cast<uint32_t>(size);
    uint32_t currentSize = fileSize > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(fileSize);
    if (FitStorage(currentSize, gStorage.size)) *hardReset = 1;

    KEZ_CALL(HALTrace, 0xFF00, "Opened storage file [%s]", storagePath);
    gProtection = 1;
    gPrivate = false;
    void* storage = gForcePrivate ? nullptr
                                  : MapAt(kStorageBase, gStorage.size, PROT_READ | PROT_WRITE | PROT_EXEC,
                                          MAP_SHARED, gStorageFile);
    if (!storage && (gForcePrivate || errno == EINVAL)) {
        KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryInitialize(): mmap(MAP_SHARED) failed. Trying MAP_PRIVATE.");
        gPrivate = true;
        storage = MapAt(kStorageBase, gStorage.size, PROT_READ | PROT_EXEC, MAP_PRIVATE, gStorageFile);
    }
    if (!storage) Fatal("Couldn't allocate virtual memory for storage heap");
    if (gPrivate) {
        if (!PrvHALMemoryProtInit()) Fatal("Couldn't prepare memory protection");
        KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryInitialize(): MAP_PRIVATE used and protection mechanism setup");
    }

    auto* words = static_cast<uint32_t*>(storage);
    bool reset = words[0] != kFormatted;
    KezLocale locale;
    if (!reset && !*hardReset && KEZ_CALL(HALSettingsGetLocale, &locale) == 1) {
        uint16_t language, country;
        std::memcpy(&language, static_cast<uint8_t*>(storage) + 96, 2);
        std::memcpy(&country, static_cast<uint8_t*>(storage) + 98, 2);
        if (language != locale.language || country != locale.country) {
            KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryInitialize(): Using a different locale - Hard Reset needed");
            reset = true;
        }
    }
    if (reset) {
        KEZ_CALL(HALTrace, 0xFF00, "Local checks determines Hard reset is needed");
        *hardReset = 1;
        std::memset(storage, 0, 1024);
    }
    KEZ_CALL(HALTrace, 0xFF00, "Storage Heap: %u KB @ %X", gStorage.size / 1024, gStorage.base);

    // The dynamic heap must end before the storage begins.
    uint64_t heapSize = uint64_t{gKez.config.dynamicHeapKB} * 1024;
    gDynamic.size = static_cast<uint32_t>(heapSize);
    gDynamicMapped = heapSize > 0 && heapSize <= kStorageBase - kDynamicBase &&
                     MapAt(kDynamicBase, gDynamic.size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1);
    if (!gDynamicMapped) Fatal("Couldn't allocate virtual memory for dynamic heap");
    KEZ_CALL(HALTrace, 0xFF00, "Dynamic Heap: %u KB @ %X", gDynamic.size / 1024, gDynamic.base);

    void* rom = MapAt(kRomBase, gRom.size, PROT_READ, MAP_PRIVATE, gRomFile);
    if (!rom) {
        gRom.size = 0;
        Fatal("The ROM file could not be mapped");
    }
    KEZ_CALL(HALTrace, 0xFF00, "ROM: %u bytes (%u KB) @ %X", gRom.size, (gRom.size + 1023) / 1024, gRom.base);
    return 0;
}

uint16_t PrvHALMemoryDispose() {
    if (gRom.size) munmap(Address(gRom.base), gRom.size);
    if (gRomFile >= 0) close(gRomFile);
    if (gDynamicMapped) munmap(Address(gDynamic.base), gDynamic.size);
    gDynamicMapped = false;
    if (gStorageFile >= 0 && gStorage.size) {
        if (!gPrivate) {
            KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryDispose(): Syncing storage (size %lu KB)",
                     static_cast<unsigned long>(gStorage.size / 1024));
            if (msync(Address(gStorage.base), gStorage.size, MS_SYNC) != 0)
                KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryDispose(): Syncing failed (errno=%d)", errno);
        } else {
            PrvHALMemoryProtClose();
        }
        munmap(Address(gStorage.base), gStorage.size);
    }
    if (gStorageFile >= 0) close(gStorageFile);
    gStorageFile = gRomFile = -1;
    gRom.size = gStorage.size = gDynamic.size = 0;
    return 0;
}

}  // namespace kez
