// kez-host: the host program that loads Kez and runs the OS as a Linux process, calling Kez in the
// documented order and starting again on the exit types that ask for it.
//
//   kez-host --rom FILE --storage FILE [--config FILE] [options]
//   kez-host --make-rom FILE     writes a minimal ROM image that passes Kez's checks
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/FourCC.h"
#include "common/module/KezBootConfig.h"
#include "common/module/KezSlots.h"
#include "common/module/ModuleInterface.h"
#include "standin/os/CardSlots.h"
#include "standin/os/StandinOs.h"
#include "standin/os/host/HostSettings.h"
#include "standin/os/host/HostWindow.h"

using namespace vantor;

namespace {

template <typename Proc>
Proc Symbol(void* kez, const char* name) {
    auto proc = reinterpret_cast<Proc>(dlsym(kez, name));
    if (!proc) {
        std::fprintf(stderr, "kez-host: libKez.so lacks %s\n", name);
        std::exit(2);
    }
    return proc;
}

std::string ExecutableDirectory() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "./";
    path[n] = '\0';
    std::string text(path);
    return text.substr(0, text.rfind('/') + 1);
}

int MakeRom(const char* path) {
    std::string image(8192, '\0');
    uint32_t signature = 0xFEEDBEEF;
    uint16_t version = 6;
    std::memcpy(&image[8], &signature, 4);
    std::memcpy(&image[12], &version, 2);
    std::ofstream out(path, std::ios::binary);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    if (!out) {
        std::fprintf(stderr, "kez-host: cannot write %s\n", path);
        return 1;
    }
    std::printf("kez-host: wrote ROM image %s\n", path);
    return 0;
}

// Checks the ROM and storage files before Kez sees them, so that a mistyped path or a damaged
// image ends with a message naming the file instead of Kez's fatal dialog, and never counts as a
// crashed start of the OS.
bool CheckFiles(const KezBootConfig& config) {
    const char* rom = config.romPath;
    int fd = open(rom, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "kez-host: cannot open ROM file %s: %s\n", rom, std::strerror(errno));
        return false;
    }
    struct stat status {};
    uint32_t signature = 0;
    uint16_t version = 0;
    bool good = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 4096 &&
                pread(fd, &signature, 4, 8) == 4 && pread(fd, &version, 2, 12) == 2 && signature == 0xFEEDBEEF &&
                version == 6;
    close(fd);
    if (!good) {
        std::fprintf(stderr,
                     "kez-host: %s is not a ROM image (more than 4096 bytes, signature FEEDBEEF at offset 8, "
                     "version 6 at offset 12)\n",
                     rom);
        return false;
    }
    const char* storage = config.storagePath;
    fd = open(storage, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        std::fprintf(stderr, "kez-host: cannot open storage file %s: %s\n", storage, std::strerror(errno));
        return false;
    }
    bool regular = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    close(fd);
    if (!regular) {
        std::fprintf(stderr, "kez-host: storage file %s is not a regular file\n", storage);
        return false;
    }
    return true;
}

// The card folder goes in slot 1 by its resolved path: the file-system library refuses paths
// that do not lie under the volume's root text.
bool AttachCardFolder(const std::string& path) {
    char resolved[PATH_MAX];
    struct stat st;
    if (!realpath(path.c_str(), resolved) || stat(resolved, &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "kez-host: card folder %s is not a folder\n", path.c_str());
        return false;
    }
    if (std::strlen(resolved) >= 256) {
        std::fprintf(stderr, "kez-host: card folder %s: the path is too long\n", path.c_str());
        return false;
    }
    os::CardSlotFolder folder;
    folder.root = resolved;
    os::CardSlotAttach(1, folder);
    return true;
}

// SIGINT and SIGTERM are taken by one thread, which asks Kez to quit, so that the OS shuts down
// cleanly and the storage is written back. A second signal ends the process at once.
std::atomic<bool> gStopRequested{false};

void WatchSignals(const sigset_t& signals, void (*exitRequest)(int32_t, uint8_t)) {
    std::thread([signals, exitRequest] {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) return;
        gStopRequested = true;
        std::printf("kez-host: %s, shutting down\n", signal == SIGINT ? "interrupted" : "terminated");
        exitRequest(3, 1);
        if (sigwait(&signals, &signal) != 0) return;
        std::fprintf(stderr, "kez-host: second signal, stopping now\n");
        _exit(128 + signal);
    }).detach();
}

// The stand-in OS keeps its heaps outside Kez's memory areas, where the device's OS has them
// inside. Kez's area-size slot, which knows no address outside its areas, is answered for the
// stand-in's heaps first, so that the modules that check a 68K program's pointers against the
// areas (Morvel's glue and debugger nub) accept the OS's memory; and the write window that Kez's
// protection slot opens on storage opens the stand-in's storage heap too (where the debugger nub
// plants breakpoints in an application's code). The modules get this table.
uint32_t (*gKezAreaSize)(uint32_t, uint32_t) = nullptr;
uint16_t (*gKezSetProtection)(uint32_t) = nullptr;

uint32_t AreaSize(uint32_t address, uint32_t flag) {
    if (uint32_t size = os::HeapAreaSize(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)))) return size;
    return gKezAreaSize ? gKezAreaSize(address, flag) : 0;
}

uint16_t SetProtection(uint32_t open) {
    os::StorageSetWritable((open & 0xFF) != 0);
    return gKezSetProtection ? gKezSetProtection(open) : 0;
}

void RegisterKez(void* kez) {
    auto exportTable = Symbol<ModuleExportDispatchTableProc>(kez, "__ExportDispatchTable");
    uint32_t unused = 0;
    auto* original = static_cast<ModuleProc*>(exportTable(&unused));
    static std::vector<ModuleProc> table(original, original + kKezSlots);
    gKezAreaSize = reinterpret_cast<uint32_t (*)(uint32_t, uint32_t)>(table[kezslot::HALMemoryGetAreaSize]);
    table[kezslot::HALMemoryGetAreaSize] = reinterpret_cast<ModuleProc>(&AreaSize);
    gKezSetProtection = reinterpret_cast<uint16_t (*)(uint32_t)>(table[kezslot::HALMemorySetProtection]);
    table[kezslot::HALMemorySetProtection] = reinterpret_cast<ModuleProc>(&SetProtection);
    os::RegisterTable(kKezType, kKezCreator, table.data(), kKezSlots);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--make-rom") == 0) return MakeRom(argv[2]);
    HostSettings settings;
    std::string error;
    if (!ParseHostCommandLine(argc, argv, &settings, &error)) {
        std::fprintf(stderr, "kez-host: %s\n%s", error.c_str(), HostUsage());
        return 2;
    }
    if (settings.help) {
        std::fputs(HostUsage(), stdout);
        return 0;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (!CheckFiles(settings.config)) return 1;
    if (!settings.cardFolder.empty() && !AttachCardFolder(settings.cardFolder)) return 1;

    // Blocked before any thread starts, so that every thread inherits the mask and only the
    // watcher takes these signals.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::string directory = ExecutableDirectory();
    void* kez = dlopen((directory + "libKez.so").c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!kez) {
        std::fprintf(stderr, "kez-host: cannot load libKez.so: %s\n", dlerror());
        return 2;
    }
    RegisterKez(kez);
    auto setExePath = Symbol<uint32_t (*)(const char*)>(kez, "PrvRALSetExePath");
    auto patchHandles = Symbol<void (*)(void*, void*)>(kez, "PrvRALPatchHandles");
    auto patchSystem = Symbol<void (*)(SystemDispatchTable)>(kez, "PrvPatchSystemDispatchTable");
    auto globalsInit = Symbol<void (*)(const KezBootConfig*, KezHostStatus*)>(kez, "KezGlobalsInit");
    auto grasInit = Symbol<void (*)(uint32_t*)>(kez, "GRASServerInit");
    auto installMain = Symbol<void (*)(void (*)(uint8_t))>(kez, "PrvKezInstallVantorOSMain");
    auto boot = Symbol<uint16_t (*)(uint8_t, uint8_t)>(kez, "Boot");
    auto waitForExit = Symbol<int32_t (*)()>(kez, "PrvKezWaitForExitRequest");
    auto shutdown = Symbol<uint16_t (*)()>(kez, "Shutdown");
    auto gtkInit = Symbol<uint32_t (*)()>(kez, "PALGTKInit");
    auto exitRequest = Symbol<void (*)(int32_t, uint8_t)>(kez, "PrvKezExitRequest");
    WatchSignals(signals, exitRequest);

    os::SetOsMainOptions(settings.osMain);
    bool window = !settings.headless && std::getenv("DISPLAY") && gtkInit() == 0;
    if (!settings.headless && !window) std::printf("kez-host: no display, running without a window\n");

    // The system module's handle: the process's global scope, where Kez's table is found.
    setExePath(directory.c_str());
    patchHandles(kez, dlopen(nullptr, RTLD_NOW));
    patchSystem(os::SystemTable());

    uint8_t hardReset = settings.hardReset;
    uint32_t remoteLaunch = 0;
    int32_t exitType = 0;
    for (int round = 1;; ++round) {
        KezHostStatus status{};
        globalsInit(&settings.config, &status);
        grasInit(&remoteLaunch);
        installMain(os::StandinOsMain);
        std::printf("kez-host: boot %d (%s)\n", round, hardReset ? "HARD" : "SOFT");
        boot(hardReset, settings.remoteAccess);
        // A signal taken while Kez was being set up again asked a run that had not begun yet.
        if (gStopRequested) exitRequest(3, 0);
        // The window outlives the painter: it goes only after Shutdown.
        std::unique_ptr<HostWindow> hostWindow;
        if (window) hostWindow = std::make_unique<HostWindow>(kez, settings.config);
        exitType = hostWindow ? hostWindow->Run(waitForExit) : waitForExit();
        std::printf("kez-host: exit type %d\n", exitType);
        uint16_t result = shutdown();
        hostWindow.reset();
        std::printf("kez-host: shutdown %u, host status %u\n", result, status.state);
        if ((exitType != 1 && exitType != 2) || gStopRequested) break;
        hardReset = exitType == 2;
    }
    return 0;
}
