// Boot and shutdown: in this process with test OS mains, and as kez-host runs the OS. Both map the
// fixed areas, so these tests run alone (SERIAL).
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "common/module/SystemCalls.h"
#include "kez/src/KezBoot.h"
#include "kez/tests/KezTestSupport.h"

extern "C" {
uint16_t Boot(uint8_t hardReset, uint8_t startRemoteAccess);
uint16_t Shutdown();
void PrvKezInstallVantorOSMain(void (*osMain)(uint8_t));
void PrvRALPatchHandles(void* kezHandle, void* systemHandle);
uint32_t PrvRALSetExePath(const char* path);
}

namespace kez::testing {
namespace {

std::string TempPath(const char* name) { return "/tmp/kez-boot-test-" + std::to_string(getpid()) + "-" + name; }

void WriteRom(const std::string& path) {
    std::string image(8192, '\0');
    uint32_t signature = 0xFEEDBEEF;
    uint16_t version = 6;
    std::memcpy(&image[8], &signature, 4);
    std::memcpy(&image[12], &version, 2);
    std::ofstream(path, std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
}

uint32_t StorageWord(const std::string& path, int index) {
    uint32_t word = 0;
    int fd = open(path.c_str(), O_RDONLY);
    if (fd >= 0) {
        pread(fd, &word, 4, index * 4);
        close(fd);
    }
    return word;
}

// --- In this process ---

std::function<void(bool)> gOsMain;
std::atomic<int> gShutdownKeys;

void TestOsMain(uint8_t hardReset) {
    if (gOsMain) gOsMain(hardReset != 0);
}

// Counts shutdown keys; marks the applications as shut down when `answer` is set.
std::atomic<bool> gAnswerShutdown;
uint16_t KeyHandler(void* record) {
    if (static_cast<KezKeyEventRecord*>(record)->character == 0x0140) {
        ++gShutdownKeys;
        if (gAnswerShutdown) KEZ_CALL(HALSetInitStage, 7);
    }
    return 0;
}

class BootInProcess : public os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        rom_ = TempPath("rom");
        storage_ = TempPath("storage");
        crash_ = storage_ + ".crashed";
        unlink(crash_.c_str());
        WriteRom(rom_);
        config_.screenWidth = config_.screenHeight = config_.windowWidth = config_.windowHeight = 160;
        config_.screenDepth = 8;
        config_.dynamicHeapKB = 1024;
        config_.storageSizeMB = 1;
        std::strcpy(config_.romPath, rom_.c_str());
        std::strcpy(config_.storagePath, storage_.c_str());
        gOsMain = nullptr;
        gShutdownKeys = 0;
        gAnswerShutdown = false;
        PrvPatchSystemDispatchTable(os::SystemTable());
        PrvRALSetExePath(VANTOR_BIN_DIR "/");
        PrvRALPatchHandles(nullptr, dlopen(nullptr, RTLD_NOW));
        os::RegisterTable(kKezType, kKezCreator, ExportTable(), kKezSlots);
    }
    void TearDown() override {
        if (booted_) Shutdown();
        os::UnregisterModule(kKezType, kKezCreator);
        unlink(crash_.c_str());
        unlink(rom_.c_str());
        unlink(storage_.c_str());
        StandinTest::TearDown();
    }
    void BootWith(std::function<void(bool)> osMain) {
        gOsMain = std::move(osMain);
        KezGlobalsInit(&config_, &status_);
        PrvKezInstallVantorOSMain(TestOsMain);
        ASSERT_EQ(Boot(0, 0), 0);
        booted_ = true;
    }
    uint16_t ShutdownNow() {
        booted_ = false;
        return Shutdown();
    }

    KezBootConfig config_{};
    KezHostStatus status_{};
    std::string rom_, storage_, crash_;
    bool booted_ = false;
};

TEST_F(BootInProcess, TheOsMainReturningEndsWithExitTypeZeroWithoutAShutdownKey) {
    BootWith([](bool) {
        KEZ_CALL(HALEventSetHandler, 1, KeyHandler, nullptr);
        KEZ_CALL(HALSetInitStage, 2);
        KEZ_CALL(HALSetInitStage, 5);
    });
    EXPECT_EQ(PrvKezWaitForExitRequest(), 0);
    EXPECT_EQ(gShutdownKeys, 0);
    EXPECT_EQ(status_.state, 2u);  // up, at stage 5
    uint32_t feature = 0;
    EXPECT_EQ(reinterpret_cast<syssig::FtrGet*>(os::SystemTable()[sysslot::FtrGet])(FourCC("qel_"), 0, &feature), 0);  // published at stage 2
    EXPECT_EQ(feature, 0x01003000u);
    EXPECT_EQ(access(crash_.c_str(), F_OK), -1);  // removed at stage 5
    EXPECT_EQ(ShutdownNow(), 0);
    EXPECT_EQ(gKez.initStage, 6u);
    EXPECT_EQ(status_.state, 3u);
}

TEST_F(BootInProcess, ASoftResetFromAnOrdinaryTaskWaitsForStageSevenThenEndsTheTask) {
    static std::atomic<bool> returned;
    static std::atomic<int64_t> waitedMs;
    returned = false;
    waitedMs = -1;
    BootWith([](bool) {
        KEZ_CALL(HALEventSetHandler, 1, KeyHandler, nullptr);
        KEZ_CALL(HALSetInitStage, 2);
        KEZ_CALL(KALTaskDelay, 60000);  // the OS runs on and never reaches stage 7
    });
    ASSERT_EQ(KEZ_CALL(HALWaitForInitStage, 2), 2u);
    KALTaskCreationRecord record{0,
                                 [](uint32_t) {
                                     auto start = std::chrono::steady_clock::now();
                                     struct Timer {
                                         std::chrono::steady_clock::time_point start;
                                         ~Timer() {
                                             waitedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                                            std::chrono::steady_clock::now() - start)
                                                            .count();
                                         }
                                     } timer{start};
                                     KEZ_CALL(HALReset, 0);
                                     returned = true;
                                 },
                                 4096, 50, FourCC("user")};
    uint32_t task;
    ASSERT_EQ(KEZ_CALL(KALTaskCreate, &task, &record), 0);
    ASSERT_EQ(KEZ_CALL(KALTaskStart, task, 0), 0);
    EXPECT_EQ(PrvKezWaitForExitRequest(), 1);
    ASSERT_TRUE(Eventually([] { return waitedMs >= 0; }));
    EXPECT_GE(waitedMs, 900);  // nobody reached stage 7
    EXPECT_LT(waitedMs, 3000);
    EXPECT_FALSE(returned);
    EXPECT_EQ(gShutdownKeys, 1);

    // A second request is ignored: the host still sees the first.
    PrvKezExitRequest(3, 0);
    EXPECT_EQ(PrvKezWaitForExitRequest(), 1);
    EXPECT_EQ(gShutdownKeys, 1);
}

TEST_F(BootInProcess, QuitFromTheMainTaskWaitsOnlyWithItsFlag) {
    static std::atomic<int> afterQuit;
    for (uint8_t flag : {0, 1}) {
        afterQuit = 0;
        static uint8_t sFlag;
        sFlag = flag;
        gAnswerShutdown = true;
        BootWith([](bool) {
            KEZ_CALL(HALEventSetHandler, 1, KeyHandler, nullptr);
            KEZ_CALL(HALQuit, sFlag);
            afterQuit = 1;
        });
        EXPECT_EQ(PrvKezWaitForExitRequest(), 3);
        KEZ_CALL(KALTaskDelay, 100);
        EXPECT_EQ(afterQuit, flag == 0 ? 1 : 0) << "flag " << int(flag);
        EXPECT_EQ(gShutdownKeys, 1);
        gShutdownKeys = 0;
        EXPECT_EQ(ShutdownNow(), 0);
        unlink(crash_.c_str());
    }
}

TEST_F(BootInProcess, StageFiveWithoutTheCrashFileIsAFatalError) {
    BootWith([](bool) {});
    EXPECT_EQ(PrvKezWaitForExitRequest(), 0);
    unlink(crash_.c_str());
    KEZ_CALL(HALSetInitStage, 5);
    ASSERT_EQ(os::ErrorReports().size(), 1u);
    EXPECT_EQ(os::ErrorReports()[0].file, "Kez/Linux/HAL/Src/HALReset");
    EXPECT_EQ(os::ErrorReports()[0].line, 344);
    EXPECT_EQ(os::ErrorReports()[0].message, "HALSetInitStage(): Can't remove crash-detection file");
}

TEST_F(BootInProcess, ShutdownEndsTasksBeforeTheirObjectsAndWritesTheStorageLast) {
    static std::atomic<int> woken;
    woken = 0;
    static uint32_t sMutex;
    BootWith([](bool) {
        KEZ_CALL(KALMutexCreate, &sMutex, 0);
        KEZ_CALL(KALMutexReserve, sMutex, -1);  // held by 'main' for good
        // The OS writes into its storage.
        auto* storage = reinterpret_cast<uint32_t*>(uintptr_t{0x58000000});
        storage[0] = 0xFEEDFACE;
        storage[1] = 0x12345678;
        KEZ_CALL(HALSetInitStage, 5);
        KEZ_CALL(KALTaskDelay, 60000);
    });
    KALTaskCreationRecord record{0,
                                 [](uint32_t) {
                                     KEZ_CALL(KALMutexReserve, sMutex, -1);
                                     woken = 1;  // only if the mutex went before this task
                                 },
                                 4096, 50, FourCC("wait")};
    ASSERT_TRUE(Eventually([] { return gKez.initStage == 5; }));
    uint32_t task;
    ASSERT_EQ(KEZ_CALL(KALTaskCreate, &task, &record), 0);
    ASSERT_EQ(KEZ_CALL(KALTaskStart, task, 0), 0);
    static const char kName[] = "GlueTestModuleA.dll";
    RALLoadDescriptor descriptor{};
    descriptor.words[3] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kName));
    uint32_t refNum;
    ASSERT_EQ(KEZ_CALL(RALLoadModule, &descriptor, 0, nullptr, &refNum), 0);
    KEZ_CALL(KALTaskDelay, 50);

    EXPECT_EQ(ShutdownNow(), 0);
    EXPECT_EQ(woken, 0);
    void* module = dlopen(VANTOR_BIN_DIR "/GlueTestModuleA.so", RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(StorageWord(storage_, 1), 0x12345678u);
    EXPECT_EQ(status_.state, 3u);
}

// --- kez-host ---

struct HostRun {
    int status;
    std::string output;
};

// Runs kez-host with `arguments`, standard output and error together.
HostRun KezHost(const std::string& arguments) {
    std::string command = std::string(VANTOR_BIN_DIR) + "/kez-host " + arguments + " 2>&1";
    HostRun run{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    run.status = pclose(pipe);
    return run;
}

class KezHostRun : public ::testing::Test {
protected:
    void SetUp() override {
        rom_ = TempPath("host-rom");
        storage_ = TempPath("host-storage");
        crash_ = storage_ + ".crashed";
        unlink(crash_.c_str());
        WriteRom(rom_);
        base_ = "--rom " + rom_ + " --storage " + storage_ + " --headless --heap-kb 2048";
    }
    void TearDown() override {
        unlink(crash_.c_str());
        unlink(rom_.c_str());
        unlink(storage_.c_str());
    }
    std::string rom_, storage_, crash_, base_;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(KezHostRun, BootsRunsTheOsMainAndShutsDownCleanly) {
    HostRun first = KezHost(base_ + " --run-ms 100 --trace ff");
    EXPECT_EQ(first.status, 0) << first.output;
    EXPECT_TRUE(Contains(first.output, "kez-host: boot 1 (SOFT)")) << first.output;
    EXPECT_TRUE(Contains(first.output, "OS main: started (hard reset)"));  // a new storage
    EXPECT_TRUE(Contains(first.output, "OS main: up"));
    EXPECT_TRUE(Contains(first.output, "kez-host: exit type 3"));
    // The OS main asked to quit without waiting, so shutdown may end it before it reacts to the
    // shutdown key: only its request is certain.
    EXPECT_TRUE(Contains(first.output, "OS main: quitting"));
    EXPECT_TRUE(Contains(first.output, "PrvHALMemoryDispose returned 0"));
    EXPECT_TRUE(Contains(first.output, "kez-host: shutdown 0, host status 3"));
    EXPECT_EQ(StorageWord(storage_, 0), 0xFEEDFACEu);
    EXPECT_EQ(StorageWord(storage_, 1), 1u);
    EXPECT_EQ(access(crash_.c_str(), F_OK), -1);

    // The next start finds the storage the OS left.
    HostRun second = KezHost(base_ + " --run-ms 50");
    EXPECT_EQ(second.status, 0) << second.output;
    EXPECT_TRUE(Contains(second.output, "OS main: started\n")) << second.output;
    EXPECT_EQ(StorageWord(storage_, 1), 2u);
}

TEST_F(KezHostRun, RestartsOnTheExitTypesThatAskForIt) {
    HostRun soft = KezHost(base_ + " --reset-once soft --run-ms 50");
    EXPECT_EQ(soft.status, 0) << soft.output;
    EXPECT_TRUE(Contains(soft.output, "kez-host: exit type 1\n"));
    EXPECT_TRUE(Contains(soft.output, "kez-host: boot 2 (SOFT)"));
    EXPECT_TRUE(Contains(soft.output, "kez-host: exit type 3\n"));
    EXPECT_EQ(StorageWord(storage_, 1), 2u);  // booted twice on one storage

    HostRun hard = KezHost(base_ + " --reset-once hard --run-ms 50");
    EXPECT_EQ(hard.status, 0) << hard.output;
    EXPECT_TRUE(Contains(hard.output, "kez-host: exit type 2\n"));
    EXPECT_TRUE(Contains(hard.output, "kez-host: boot 2 (HARD)"));
    EXPECT_EQ(StorageWord(storage_, 1), 1u);  // erased by the hard reset, then one boot
}

TEST_F(KezHostRun, BadRomOrArgumentEndsWithAMessageAndKeepsTheStorage) {
    HostRun formatted = KezHost(base_ + " --run-ms 20");
    ASSERT_EQ(formatted.status, 0) << formatted.output;
    ASSERT_EQ(StorageWord(storage_, 1), 1u);

    std::string missing = TempPath("no-such-rom");
    std::string small = TempPath("small-rom");
    std::ofstream(small, std::ios::binary) << std::string(4096, '\0');
    std::string storageArgs = " --storage " + storage_ + " --headless --heap-kb 2048 --run-ms 20";
    struct Case {
        std::string arguments, expected;
    } cases[] = {
        {"--rom " + missing + storageArgs, "cannot open ROM file " + missing + ": No such file or directory"},
        {"--rom " + small + storageArgs, small + " is not a ROM image"},
        {"--rom /tmp" + storageArgs, "/tmp is not a ROM image"},
        {"--rom " + missing + storageArgs, "cannot open ROM file " + missing},
        {base_ + " --screen-depth 7", "screen-depth takes 1, 2, 4, 8 or 16, not 7"},
    };
    for (const Case& c : cases) {
        HostRun run = KezHost(c.arguments);
        EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) != 0) << run.status << run.output;
        EXPECT_TRUE(Contains(run.output, c.expected)) << run.output;
        EXPECT_EQ(access(crash_.c_str(), F_OK), -1) << c.arguments;
    }
    unlink(small.c_str());

    // After the failed starts the storage is found as the OS left it.
    HostRun good = KezHost(base_ + " --run-ms 20");
    EXPECT_EQ(good.status, 0) << good.output;
    EXPECT_FALSE(Contains(good.output, "QEL crashed")) << good.output;
    EXPECT_EQ(StorageWord(storage_, 1), 2u);
}

TEST_F(KezHostRun, SigtermAndSigintShutDownCleanly) {
    for (int signal : {SIGTERM, SIGINT}) {
        std::string log = TempPath("signal-log");
        std::string command = "exec " + std::string(VANTOR_BIN_DIR) + "/kez-host " + base_ + " > " + log + " 2>&1";
        const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
        pid_t pid;
        ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
        auto text = [&] {
            std::ifstream in(log);
            return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        };
        bool up = Eventually([&] { return Contains(text(), "OS main: up"); }, 60);
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        std::string output = text();
        unlink(log.c_str());
        ASSERT_TRUE(up) << output;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << output;
        EXPECT_TRUE(Contains(output, signal == SIGTERM ? "kez-host: terminated, shutting down"
                                                       : "kez-host: interrupted, shutting down"))
            << output;
        EXPECT_TRUE(Contains(output, "kez-host: exit type 3")) << output;
        EXPECT_TRUE(Contains(output, "kez-host: shutdown 0, host status 3")) << output;
        EXPECT_EQ(access(crash_.c_str(), F_OK), -1);
    }
    EXPECT_EQ(StorageWord(storage_, 0), 0xFEEDFACEu);
    EXPECT_EQ(StorageWord(storage_, 1), 2u);
}

// Starts kez-host held before stage 5, waits for the crash file to hold `expected`, and kills it.
std::string StartAndKill(const std::string& arguments, const std::string& crashFile, const char* expected) {
    std::string log = TempPath("host-log");
    std::string command = std::string(VANTOR_BIN_DIR) + "/kez-host " + arguments + " > " + log + " 2>&1";
    pid_t pid;
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    // exec, so that the shell's process is kez-host itself.
    std::string exec = "exec " + command;
    argv[2] = exec.c_str();
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return "";
    bool held = Eventually([&] {
        std::ifstream in(log);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return Contains(text, "holding before stage 5");
    }, 60);
    std::ifstream crash(crashFile);
    std::string content;
    std::getline(crash, content);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    std::ifstream in(log);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    unlink(log.c_str());
    EXPECT_TRUE(held) << text;
    EXPECT_EQ(content, expected) << text;
    return text;
}

TEST_F(KezHostRun, CrashDetectionAcrossRunsKilledWithSigkill) {
    HostRun formatted = KezHost(base_ + " --run-ms 20");
    ASSERT_EQ(formatted.status, 0) << formatted.output;
    ASSERT_EQ(StorageWord(storage_, 1), 1u);

    std::string first = StartAndKill(base_ + " --hold-before-stage5", crash_, "1");
    EXPECT_FALSE(Contains(first, "QEL crashed"));
    std::string second = StartAndKill(base_ + " --hold-before-stage5", crash_, "0");
    EXPECT_TRUE(Contains(second, "QEL crashed during its previous initialization.")) << second;
    std::string third = StartAndKill(base_ + " --hold-before-stage5", crash_, "0");
    EXPECT_TRUE(Contains(third, "the storage has been erased.")) << third;
    EXPECT_TRUE(Contains(third, "OS main: started (hard reset)")) << third;

    // The file stays as it is until a start completes: the next start erases again, then removes it.
    HostRun again = KezHost(base_ + " --run-ms 20");
    EXPECT_EQ(again.status, 0) << again.output;
    EXPECT_TRUE(Contains(again.output, "the storage has been erased."));
    EXPECT_EQ(access(crash_.c_str(), F_OK), -1);
    EXPECT_EQ(StorageWord(storage_, 1), 1u);
    HostRun normal = KezHost(base_ + " --run-ms 20");
    EXPECT_FALSE(Contains(normal.output, "QEL crashed"));
    EXPECT_EQ(StorageWord(storage_, 1), 2u);
}

}  // namespace
}  // namespace kez::testing
