// The remote-access server on port 34130, spoken to by an independent client written in Python
// (tests/gras_client.py). The port is fixed, so these tests run alone (SERIAL).
#include <sys/socket.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/BigEndian.h"
#include "kez/src/GRASServer.h"
#include "kez/src/HALEvent.h"
#include "kez/src/HALHobgobs.h"
#include "kez/src/HALImport.h"
#include "kez/src/KezBoot.h"
#include "kez/src/KezServices.h"
#include "kez/tests/KezTestSupport.h"

extern "C" void GRASServerInit(uint32_t* launchedForRemoteRequest);

namespace kez::testing {
namespace {

struct ClientRun {
    int status;
    std::string output;
};

std::string Client(const std::string& arguments) {
    return std::string("python3 ") + KEZ_TESTS_DIR + "/gras_client.py " + std::to_string(kGRASPort) + " " + arguments;
}

ClientRun RunClient(const std::string& arguments) {
    ClientRun run{-1, {}};
    FILE* pipe = popen((Client(arguments) + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    run.status = pclose(pipe);
    return run;
}

bool Listening() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kGRASPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

class Remote : public KezKernelTest {
protected:
    void SetUp() override {
        KezKernelTest::SetUp();
        remoteLaunch_ = 0;
        GRASServerInit(&remoteLaunch_);
        ASSERT_EQ(KEZ_CALL_AS(uint16_t(), GRASServerStart), 0);
        // The server serves once the OS is up (init stage 5).
        pthread_mutex_lock(&gKez.initStageLock);
        gKez.initStage = 5;
        pthread_cond_broadcast(&gKez.initStageCondition);
        pthread_mutex_unlock(&gKez.initStageLock);
        ASSERT_TRUE(Eventually(Listening));
        // The probe connection above was a session of its own: wait until it is gone.
        ASSERT_TRUE(Eventually([] { return PrvGRASActiveSessions() == 0; }));
    }
    void TearDown() override {
        KEZ_CALL_AS(void(), HALGRASStop);
        KezKernelTest::TearDown();
    }
    uint32_t remoteLaunch_ = 0;
};

TEST_F(Remote, ProtocolSessionsAndErrors) {
    ClientRun run = RunClient("protocol");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("done"), std::string::npos) << run.output;
}

// A database image of `name` with no resources.
std::vector<uint8_t> Image(const char* name) {
    std::vector<uint8_t> image(80, 0);
    std::strcpy(reinterpret_cast<char*>(image.data()), name);
    WriteBE16(&image[32], 1);
    std::memcpy(&image[60], "DATAtest", 8);
    return image;
}

TEST_F(Remote, DatabaseImportListInformationAndDelete) {
    std::string dir = "/tmp/kez-remote-test-" + std::to_string(getpid());
    std::string good = dir + "-good.vrx", bad = dir + "-bad.vrx";
    auto write = [](const std::string& path, const std::vector<uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    };
    std::string memo = dir + "-memo.wyx";
    write(good, Image("RemoteDB"));
    write(bad, Image(""));
    std::vector<uint8_t> record = Image("Memo/Pad:1");
    WriteBE16(&record[32], 0);  // a record database
    write(memo, record);
    mkdir(dir.c_str(), 0700);
    ClientRun run = RunClient("storage " + dir + " " + good + " " + bad + " " + memo);
    EXPECT_EQ(run.status, 0) << run.output;
    // The exports: named after the databases, special characters replaced, by kind.
    for (const char* name : {"/RemoteDB.vrx", "/Memo_Pad_1.wyx"}) {
        std::ifstream in(dir + name, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_EQ(bytes.size(), 80u) << name;
        EXPECT_EQ(bytes.substr(60, 8), "DATAtest") << name;
        EXPECT_TRUE(PrvCheckDB(reinterpret_cast<const uint8_t*>(bytes.data()), 80)) << name;
    }
    std::system(("rm -rf " + dir + " " + good + " " + bad + " " + memo).c_str());
}

TEST_F(Remote, FourSessionsAtOnceAndNoFifth) {
    ClientRun run = RunClient("sessions");
    EXPECT_EQ(run.status, 0) << run.output;
}

TEST_F(Remote, HostilePeersLeaveTheServerServing) {
    ClientRun run = RunClient("hostile");
    EXPECT_EQ(run.status, 0) << run.output;
}

TEST_F(Remote, StopEndsSessionsThatWaitForData) {
    FILE* pipe = popen((Client("hold 3") + " 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char line[256];
    while (fgets(line, sizeof line, pipe)) {
        output += line;
        if (std::string(line) == "held\n") break;
    }
    ASSERT_NE(output.find("held"), std::string::npos) << output;
    KEZ_CALL_AS(void(), HALGRASStop);  // joins the server and every session
    EXPECT_EQ(KEZ_CALL_AS(uint32_t(), HALGRASIsRunning), 0u);
    while (fgets(line, sizeof line, pipe)) output += line;
    EXPECT_EQ(pclose(pipe), 0) << output;
    EXPECT_FALSE(Listening());
}

// The random UI-event tester's rows, with the test as the OS's event loop calling its step hook.
uint16_t TakeEvent(void*) { return 0; }

TEST_F(Remote, TheTestersRowsDriveIt) {
    KEZ_CALL(HALDisplayInitialize);
    KEZ_CALL(HALEventSetHandler, 0u, TakeEvent, nullptr);
    KEZ_CALL(HALEventSetHandler, 1u, TakeEvent, nullptr);
    PrvHALTesterInitialize();
    os::AddDatabase("Memo", FourCC("appl"), FourCC("memo"), 1);
    os::AddDatabase("ToDo", FourCC("appl"), FourCC("todo"), 1);
    std::atomic<bool> done{false};
    std::thread loop([&] {
        while (!done) {
            if (uint32_t step = gKez.afterConfig[0]) reinterpret_cast<void (*)()>(static_cast<uintptr_t>(step))();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    ClientRun run = RunClient("tester");
    done = true;
    loop.join();
    EXPECT_EQ(run.status, 0) << run.output;
    HobgobStop();
    HobgobSetAppList(0, nullptr, 0);
    PrvHALEventClearHandlers();
    KEZ_CALL(HALDisplayDispose);
}

// Applications: launch, display name and category from their resources, the sync log, and the
// deletion of an application with its creator's databases.
TEST_F(Remote, ApplicationRowsAndTheSyncLog) {
    auto create = reinterpret_cast<syssig::DmCreateDatabaseNamed*>(os::SystemTable()[sysslot::DmCreateDatabaseNamed]);
    ASSERT_EQ(create(0, "Memo", FourCC("memo"), FourCC("appl"), 1), 0);
    ASSERT_EQ(create(0, "MemoDB", FourCC("memo"), FourCC("DATA"), 1), 0);
    ASSERT_EQ(create(0, "ToDo", FourCC("todo"), FourCC("appl"), 1), 0);
    uint32_t memo = sys::DmFindDatabaseByNameCreatorType("Memo", FourCC("memo"), FourCC("appl"));
    ASSERT_NE(memo, 0u);
    uint32_t ref = sys::DmOpenDatabaseByID(memo, 1);
    for (auto [type, id, text] : {std::tuple{FourCC("tAIN"), 1000, "Memo Pad"}, std::tuple{FourCC("taic"), 5, "Business"}}) {
        void* h = sys::DmNewResource(ref, type, static_cast<uint16_t>(id), 16);
        ASSERT_NE(h, nullptr);
        std::strncpy(static_cast<char*>(sys::MemHandleLock(h)), text, 16);
        sys::MemHandleUnlock(h);
    }
    sys::DmCloseDatabase(ref);
    os::SetSyncLog("synced 3 records");
    ClientRun run = RunClient("apps");
    os::SetSyncLog("");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(gKez.config.settingA, FourCC("todo"));  // the last launch's creator starts
    EXPECT_NE(os::LastAppSwitch(), 0u);
}

TEST_F(Remote, HostFoldersMountAsVolumes) {
    std::string folder = "/tmp/kez-remote-volume-" + std::to_string(getpid());
    mkdir(folder.c_str(), 0700);
    ClientRun run = RunClient("volumes " + folder);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("volume 0\n"), std::string::npos) << run.output;
    EXPECT_TRUE(os::MountedHostVolumes().empty());
    uint32_t value = 0;
    EXPECT_NE(sys::FtrGet(FourCC("vfsm"), 1002, &value), 0);  // automatic start is back on
    rmdir(folder.c_str());
}

TEST_F(Remote, ExitRepliesThenEndsTheProcess) {
    ClientRun run = RunClient("exit");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Eventually([] { return gKez.exitType == kExitQuit; }));
}

}  // namespace
}  // namespace kez::testing
