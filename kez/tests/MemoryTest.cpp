// ROM and storage memory at their fixed addresses, the storage file's size and resets, write
// tracking of a private mapping, and the crash-detection file. These tests map 0x57000000,
// 0x58000000 and 0x60000000, so they run alone (SERIAL).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "kez/src/HALMemory.h"
#include "kez/src/KezBoot.h"
#include "kez/tests/KezTestSupport.h"

namespace kez::testing {
namespace {

constexpr uint32_t kMB = 0x100000;

std::string TempPath(const char* name) { return "/tmp/kez-memory-test-" + std::to_string(getpid()) + "-" + name; }

void WriteRom(const std::string& path, size_t size, uint32_t signature = 0xFEEDBEEF, uint16_t version = 6) {
    std::string image(size, '\0');
    if (size >= 14) {
        std::memcpy(&image[8], &signature, 4);
        std::memcpy(&image[12], &version, 2);
    }
    std::ofstream(path, std::ios::binary).write(image.data(), static_cast<std::streamsize>(size));
}

// A storage file of `size` bytes; formatted: it starts 0xFEEDFACE and was built for 'enUS'.
void WriteStorage(const std::string& path, off_t size, bool formatted) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, size), 0);
    if (formatted) {
        uint32_t word = 0xFEEDFACE;
        uint16_t locale[2] = {0, 23};
        ASSERT_EQ(pwrite(fd, &word, 4, 0), 4);
        ASSERT_EQ(pwrite(fd, locale, 4, 96), 4);
        ASSERT_EQ(pwrite(fd, "OS data", 7, 2000), 7);
    }
    close(fd);
}

off_t FileSize(const std::string& path) {
    struct stat status{};
    stat(path.c_str(), &status);
    return status.st_size;
}

std::string CrashFileContent(const std::string& path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

class Memory : public os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        PrvPatchSystemDispatchTable(os::SystemTable());
        __SetMyDispatchTable();
        rom_ = TempPath("rom");
        storage_ = TempPath("storage");
        crash_ = storage_ + ".crashed";
        unlink(crash_.c_str());
        WriteRom(rom_, 8192);
        config_.dynamicHeapKB = 1024;
        config_.locale = FourCC("enUS");
        std::strcpy(config_.romPath, rom_.c_str());
        std::strcpy(config_.storagePath, storage_.c_str());
    }
    void TearDown() override {
        PrvHALMemoryForcePrivateMapping(false);
        unlink(crash_.c_str());
        unlink(rom_.c_str());
        unlink(storage_.c_str());
        StandinTest::TearDown();
    }

    // Initialises memory as Boot does; answers the hard-reset flag. The crash file is removed
    // afterwards, as init stage 5 does, unless asked to keep it.
    uint8_t Initialize(uint8_t hardReset = 0, bool keepCrashFile = false) {
        KezGlobalsInit(&config_, nullptr);
        EXPECT_EQ(PrvHALMemoryInitialize(&hardReset), 0);
        if (!keepCrashFile) unlink(crash_.c_str());
        return hardReset;
    }
    static KezMemoryArea Area(uint8_t kind) {
        KezMemoryAreas* areas = KEZ_CALL(HALMemoryGetAreas);
        for (uint32_t i = 0; i < areas->count; ++i)
            if (areas->areas[i].kind == kind) return areas->areas[i];
        return {};
    }
    static const uint8_t* Storage() { return reinterpret_cast<const uint8_t*>(uintptr_t{0x58000000}); }

public:
    KezBootConfig config_{};
    std::string rom_, storage_, crash_;
};

TEST_F(Memory, StorageSizeComesFromTheConfigurationOrTheFileWithinBounds) {
    struct Case {
        off_t fileSize;
        bool formatted;
        uint32_t configuredMB;
        uint32_t size;
        bool reset;
    };
    const Case cases[] = {
        {3 * kMB, true, 0, 3 * kMB, false},   // the file's own size, formatted: kept as it is
        {3 * kMB, true, 4, 4 * kMB, true},    // grown to the configuration: hard reset
        {3 * kMB, true, 2, 2 * kMB, true},    // shrunk
        {0, false, 200, 128 * kMB, true},     // clamped to 128 MB
        {0, false, 0, 8 * kMB, true},         // an empty file: 8 MB
        {kMB / 2, true, 0, kMB, true},        // at least 1 MB
    };
    for (const Case& c : cases) {
        WriteStorage(storage_, c.fileSize, c.formatted);
        config_.storageSizeMB = c.configuredMB;
        EXPECT_EQ(Initialize(), c.reset ? 1 : 0) << c.fileSize << " " << c.configuredMB;
        KezMemoryArea storage = Area(2);
        EXPECT_EQ(storage.base, 0x58000000u);
        EXPECT_EQ(storage.size, c.size);
        EXPECT_EQ(FileSize(storage_), static_cast<off_t>(c.size));
        if (!c.reset) {
            EXPECT_EQ(std::memcmp(Storage() + 2000, "OS data", 7), 0);
        }
        PrvHALMemoryDispose();
    }
}

TEST_F(Memory, AnUnformattedStorageIsResetAndItsFirstKilobyteZeroed) {
    WriteStorage(storage_, kMB, false);
    int fd = open(storage_.c_str(), O_WRONLY);
    std::string junk(2048, 'x');
    ASSERT_EQ(pwrite(fd, junk.data(), junk.size(), 0), static_cast<ssize_t>(junk.size()));
    close(fd);
    EXPECT_EQ(Initialize(), 1);
    EXPECT_EQ(std::count(Storage(), Storage() + 1024, 0), 1024);
    EXPECT_EQ(Storage()[1024], 'x');
    PrvHALMemoryDispose();
}

TEST_F(Memory, LocaleDecidesTooAndAnUnknownOneCountsAsNone) {
    WriteStorage(storage_, kMB, true);
    config_.locale = FourCC("frFR");  // the storage was built for enUS
    EXPECT_EQ(Initialize(), 1);
    PrvHALMemoryDispose();

    WriteStorage(storage_, kMB, true);
    config_.locale = FourCC("xxXX");
    EXPECT_EQ(Initialize(), 0);
    ASSERT_EQ(os::ErrorReports().size(), 1u);
    EXPECT_EQ(os::ErrorReports()[0].message, "HALSettingsGetLocale(): Unknown locale");
    KezLocale locale{7, 7};
    EXPECT_EQ(KEZ_CALL(HALSettingsGetLocale, &locale), 0u);
    EXPECT_EQ(locale.language, 7);
    PrvHALMemoryDispose();
}

TEST_F(Memory, CrashFileCountsUnfinishedStarts) {
    WriteStorage(storage_, kMB, true);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Initialize(0, true), 0);  // first start: the file is made
    PrvHALMemoryDispose();
    EXPECT_EQ(CrashFileContent(crash_), "1");
    EXPECT_EQ(Initialize(0, true), 0);  // it did not reach stage 5: a second try
    PrvHALMemoryDispose();
    EXPECT_EQ(CrashFileContent(crash_), "0");
    EXPECT_EQ(Initialize(0, true), 1);  // twice: the storage is erased
    PrvHALMemoryDispose();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("QEL crashed during its previous initialization.\nLet's give it a second try...\n"),
              std::string::npos);
    EXPECT_NE(err.find("QEL crashed during its 2 last initializations.\n"), std::string::npos);
    EXPECT_NE(err.find("the storage has been erased.\n"), std::string::npos);
    EXPECT_EQ(FileSize(storage_), static_cast<off_t>(8 * kMB));  // erased, then sized as an empty file
}

TEST_F(Memory, EachStorageHasItsOwnCrashFile) {
    WriteStorage(storage_, kMB, true);
    EXPECT_EQ(Initialize(0, true), 0);  // an unfinished start on the first storage
    PrvHALMemoryDispose();
    EXPECT_EQ(CrashFileContent(crash_), "1");

    std::string other = TempPath("other-storage");
    WriteStorage(other, kMB, true);
    std::strcpy(config_.storagePath, other.c_str());
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Initialize(0, true), 0);
    PrvHALMemoryDispose();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("QEL crashed"), std::string::npos) << err;
    EXPECT_EQ(std::string(PrvHALMemoryCrashFile()), other + ".crashed");
    EXPECT_EQ(CrashFileContent(other + ".crashed"), "1");
    EXPECT_EQ(CrashFileContent(crash_), "1");  // the first storage's count is untouched
    unlink((other + ".crashed").c_str());
    unlink(other.c_str());
}

TEST_F(Memory, CrashFileIsNotFollowedThroughASymbolicLink) {
    WriteStorage(storage_, kMB, true);
    std::string target = TempPath("target");
    std::ofstream(target) << "keep";
    ASSERT_EQ(symlink(target.c_str(), crash_.c_str()), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Initialize(0, true), 0);
    std::string err = ::testing::internal::GetCapturedStderr();
    PrvHALMemoryDispose();
    EXPECT_NE(err.find("Could not create crash-detect file: [" + crash_ + "]"), std::string::npos);
    std::ifstream in(target);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "keep");
    unlink(target.c_str());
}

TEST_F(Memory, PrivateMappingWritesBackOnlyDirtyPages) {
    WriteStorage(storage_, kMB, true);
    PrvHALMemoryForcePrivateMapping(true);
    config_.traceMask[0x1F] = 0x01;  // zone 0xFF
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Initialize(), 0);
    auto* storage = reinterpret_cast<volatile uint8_t*>(uintptr_t{0x58000000});
    long page = sysconf(_SC_PAGESIZE);
    storage[3 * page] = 1;
    storage[3 * page + 1] = 2;  // the same page: one fault
    storage[7 * page + 5] = 3;
    PrvHALMemoryDispose();
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("PrvHALMemoryInitialize(): mmap(MAP_SHARED) failed. Trying MAP_PRIVATE."), std::string::npos);
    size_t faults = 0;
    for (size_t at = 0; (at = out.find("+++++ PrvSegVHandler(): SIGSEGV at addr", at)) != std::string::npos; ++at)
        ++faults;
    EXPECT_EQ(faults, 2u);
    EXPECT_NE(out.find("PrvHALMemoryProtClose(): Writing back page 3"), std::string::npos);
    EXPECT_NE(out.find("PrvHALMemoryProtClose(): Writing back page 7"), std::string::npos);
    EXPECT_NE(out.find("PrvHALMemoryProtClose(): 2 dirty pages written."), std::string::npos);
    int fd = open(storage_.c_str(), O_RDONLY);
    uint8_t bytes[2] = {};
    pread(fd, bytes, 2, 3 * page);
    uint8_t other = 0;
    pread(fd, &other, 1, 7 * page + 5);
    close(fd);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 2);
    EXPECT_EQ(other, 3);
}

// The mappings of this process that start at `base`, as /proc/self/maps lists them.
std::string MappingAt(uint32_t base) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%08x-", base);
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.rfind(prefix, 0) == 0) return line;
    return {};
}

TEST_F(Memory, TheThreeAreasAreMappedAtTheirFixedAddresses) {
    WriteStorage(storage_, 2 * kMB, true);
    Initialize();
    std::string heap = MappingAt(0x57000000), storage = MappingAt(0x58000000), rom = MappingAt(0x60000000);
    PrvHALMemoryDispose();
    EXPECT_NE(heap, "");
    EXPECT_NE(storage.find(storage_), std::string::npos) << storage;
    EXPECT_NE(rom.find(rom_), std::string::npos) << rom;
    EXPECT_EQ(MappingAt(0x58000000), "");  // unmapped again
}

TEST_F(Memory, AreasProtectionAndStackRange) {
    WriteStorage(storage_, 2 * kMB, true);
    Initialize();
    KezMemoryAreas* areas = KEZ_CALL(HALMemoryGetAreas);
    ASSERT_EQ(areas->count, 3u);
    EXPECT_EQ(Area(1).base, 0x57000000u);
    EXPECT_EQ(Area(1).size, 1024u * 1024u);
    EXPECT_EQ(Area(0).base, 0x60000000u);
    EXPECT_EQ(Area(0).size, 8192u);
    // The dynamic heap is plain writable memory.
    reinterpret_cast<volatile uint32_t*>(uintptr_t{0x57000000})[10] = 42;

    EXPECT_EQ(KEZ_CALL(HALMemoryIsProtected), 1);
    KEZ_CALL(HALMemorySetProtection, 0);
    EXPECT_EQ(KEZ_CALL(HALMemoryIsProtected), 0);
    KEZ_CALL(HALMemorySetProtection, 0);  // stays at 0
    KEZ_CALL(HALMemorySetProtection, 1);
    EXPECT_EQ(KEZ_CALL(HALMemoryIsProtected), 1);

    int local[4];
    EXPECT_EQ(KEZ_CALL(HALMemoryCheckStackRange, local, sizeof local, 0), 1);
    EXPECT_EQ(KEZ_CALL(HALMemoryCheckStackRange, areas, 4, 0), 0);
    EXPECT_EQ(KEZ_CALL(HALMemoryGetAreaSize, 0, 0), 0u);
    PrvHALMemoryDispose();
}

TEST_F(Memory, BadRomHeapOrStorageEndsWithTheErrorDialog) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    WriteStorage(storage_, kMB, true);
    struct Case {
        const char* what;
        std::function<void(Memory*)> prepare;
        const char* message;
    };
    const Case cases[] = {
        {"4096-byte ROM", [](Memory* t) { WriteRom(t->rom_, 4096); },
         "Loaded ROM file .* has not the expected signature and version"},
        {"bad signature", [](Memory* t) { WriteRom(t->rom_, 8192, 0xDEADBEEF); },
         "Loaded ROM file .* has not the expected signature and version"},
        {"bad version", [](Memory* t) { WriteRom(t->rom_, 8192, 0xFEEDBEEF, 5); },
         "Loaded ROM file .* has not the expected signature and version"},
        {"missing ROM", [](Memory* t) { unlink(t->rom_.c_str()); }, "Could not open ROM file"},
        {"heap over the storage", [](Memory* t) { t->config_.dynamicHeapKB = 16 * 1024 + 4; },
         "Couldn't allocate virtual memory for dynamic heap"},
        {"no storage name", [](Memory* t) { t->config_.storagePath[0] = '\0'; }, "No storage name provided"},
    };
    for (const Case& c : cases) {
        EXPECT_DEATH(
            {
                c.prepare(this);
                Initialize();
            },
            c.message)
            << c.what;
    }
    // Something already at the heap's address is never replaced.
    EXPECT_DEATH(
        {
            mmap(reinterpret_cast<void*>(uintptr_t{0x57000000}), 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED,
                 -1, 0);
            Initialize();
        },
        "Couldn't allocate virtual memory for dynamic heap");
}

}  // namespace
}  // namespace kez::testing
