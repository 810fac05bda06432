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
#include "kez/src/HALDraw.h"
#include "kez/src/HALEvent.h"
#include "kez/src/HALHobgobs.h"
#include "kez/src/HALImport.h"
#include "kez/src/KezBoot.h"
#include "kez/src/KezServices.h"
#include "kez/tests/KezTestSupport.h"
#include "standin/os/CardSlots.h"
#if KEZ_HAS_MORVEL
#include "morvel/glue/MorvelExports.h"
#endif

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

#if KEZ_HAS_MORVEL
// A 68K bitmap header (16 bytes, versions 1 and 2) in front of `bits`.
std::vector<uint8_t> Bitmap68K(uint16_t side, uint8_t depth, uint16_t flags, uint8_t version, uint16_t nextWords,
                               uint8_t transparent, const std::vector<uint8_t>& bits) {
    std::vector<uint8_t> b(16, 0);
    WriteBE16(&b[0], side);
    WriteBE16(&b[2], side);
    WriteBE16(&b[4], static_cast<uint16_t>(side * depth / 8));
    WriteBE16(&b[6], flags);
    b[8] = depth;
    b[9] = version;
    WriteBE16(&b[10], nextWords);
    b[12] = transparent;
    b.insert(b.end(), bits.begin(), bits.end());
    return b;
}

void AddResource(uint32_t dbID, uint32_t type, uint16_t id, const std::vector<uint8_t>& bytes) {
    uint32_t ref = sys::DmOpenDatabaseByID(dbID, 1);
    void* h = sys::DmNewResource(ref, type, id, static_cast<uint32_t>(bytes.size()));
    ASSERT_NE(h, nullptr);
    std::memcpy(sys::MemHandleLock(h), bytes.data(), bytes.size());
    sys::MemHandleUnlock(h);
    sys::DmCloseDatabase(ref);
}

std::string Hex(uint8_t index) {
    const HALColorEntry& e = PrvScreenColorTable()->entries[index];
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", e.red, e.green, e.blue);
    return text;
}

// Icons come back as XPM images that an XPM reader (netpbm's xpmtoppm) turns into the pixels drawn:
// the last bitmap of a family, centred, its transparent colour left transparent; a high-density
// bitmap scaled down; the OS's own icon for an application without one.
TEST_F(Remote, ApplicationIconsAsXpm) {
    os::RegisterTable(kA68kType, kA68kCreator, morvel::MorvelExportTable(), kA68kSlots);
    auto create = reinterpret_cast<syssig::DmCreateDatabaseNamed*>(os::SystemTable()[sysslot::DmCreateDatabaseNamed]);
    ASSERT_EQ(create(0, "Memo", FourCC("memo"), FourCC("appl"), 1), 0);
    ASSERT_EQ(create(0, "ToDo", FourCC("todo"), FourCC("appl"), 1), 0);
    ASSERT_EQ(create(0, "Icons", FourCC("psys"), FourCC("rsrc"), 1), 0);
    uint32_t memo = sys::DmFindDatabaseByNameCreatorType("Memo", FourCC("memo"), FourCC("appl"));
    uint32_t system = sys::DmFindDatabaseByNameCreatorType("Icons", FourCC("psys"), FourCC("rsrc"));
    // Memo: a 1-bit 16 x 16 bitmap, then an 8-bit one: a transparent ring two pixels wide around
    // colour 0x23 on the left and 0x7D on the right.
    const uint8_t kT = 0xD2, kA = 0x23, kB = 0x7D, kC = 0x55;
    std::vector<uint8_t> pixels(256, kT);
    for (int y = 2; y < 14; ++y)
        for (int x = 2; x < 14; ++x) pixels[size_t(y * 16 + x)] = x < 8 ? kA : kB;
    std::vector<uint8_t> family = Bitmap68K(16, 1, 0, 2, 12, 0, std::vector<uint8_t>(32, 0xFF));
    std::vector<uint8_t> deep = Bitmap68K(16, 8, 0x2000, 2, 0, kT, pixels);
    family.insert(family.end(), deep.begin(), deep.end());
    AddResource(memo, FourCC("tAIB"), 1000, family);
    AddResource(memo, FourCC("tAIB"), 1002, std::vector<uint8_t>(family.begin(), family.begin() + 10));
    // The OS's icon 10001: version 3, 64 x 64 at density 144, all colour 0x55.
    std::vector<uint8_t> v3(24, 0);
    WriteBE16(&v3[0], 64);
    WriteBE16(&v3[2], 64);
    WriteBE16(&v3[4], 64);
    v3[8] = 8;
    v3[9] = 3;
    v3[10] = 24;
    WriteBE16(&v3[14], 144);
    v3.insert(v3.end(), 64 * 64, kC);
    AddResource(system, FourCC("tAIB"), 10001, v3);
    uint32_t systemRef = sys::DmOpenDatabaseByID(system, 1);  // open, as the OS's resources are
    ClientRun run = RunClient("icon " + Hex(kA) + " " + Hex(kB) + " " + Hex(kC));
    sys::DmCloseDatabase(systemRef);
    EXPECT_EQ(run.status, 0) << run.output;
}
#endif

#if KEZ_HAS_MORVEL
// Deleting an application takes its preferences from both preference databases; a database of its
// creator that is held open is announced, and deleted once its holder lets it go. One whose holder
// keeps it makes the delete answer the OS's error.
uint32_t gHeldRef = 0, gHeldID = 0, gAnnouncedID = 0, gBroadcaster = 0;
uint16_t LetGo(SysNotifyParamType* notify) {
    gBroadcaster = notify->broadcaster;
    gAnnouncedID = ReadBE32(static_cast<const uint8_t*>(notify->notifyDetailsP));
    if (gAnnouncedID == gHeldID) sys::DmCloseDatabase(gHeldRef);
    return 0;
}

TEST_F(Remote, DeletingAnApplicationTakesItsPreferencesAndItsOpenDatabases) {
    os::RegisterTable(kA68kType, kA68kCreator, morvel::MorvelExportTable(), kA68kSlots);
    auto create = reinterpret_cast<syssig::DmCreateDatabaseNamed*>(os::SystemTable()[sysslot::DmCreateDatabaseNamed]);
    const uint32_t clok = FourCC("clok"), dial = FourCC("dial"), appl = FourCC("appl"), data = FourCC("DATA");
    for (auto [name, creator, type] : {std::tuple{"Clock", clok, appl}, std::tuple{"ClockDB", clok, data},
                                       std::tuple{"Dial", dial, appl}, std::tuple{"DialDB", dial, data}})
        ASSERT_EQ(create(0, name, creator, type, 1), 0);
    gHeldID = sys::DmFindDatabaseByNameCreatorType("ClockDB", FourCC("clok"), FourCC("DATA"));
    gHeldRef = sys::DmOpenDatabaseByID(gHeldID, 1);
    uint32_t dialDB = sys::DmFindDatabaseByNameCreatorType("DialDB", FourCC("dial"), FourCC("DATA"));
    uint32_t dialRef = sys::DmOpenDatabaseByID(dialDB, 1);  // held for good
    ASSERT_EQ(sys::SysNotifyRegisterDirect(0, FourCC("dlpr"), LetGo, 0, nullptr), 0);
    using OpenPrefs = uint32_t(uint8_t);
    auto openPrefs = reinterpret_cast<OpenPrefs*>(os::SystemTable()[sysslot::PrefOpenPreferenceDB]);
    for (uint8_t saved : {1, 0}) {
        uint32_t ref = openPrefs(saved);
        ASSERT_NE(ref, 0u);
        for (auto [type, id] : {std::pair{clok, 1}, std::pair{clok, 2}, std::pair{dial, 1}})
            ASSERT_NE(sys::DmNewResource(ref, type, static_cast<uint16_t>(id), 4), nullptr);
        sys::DmCloseDatabase(ref);
    }
    ClientRun run = RunClient("delete clok 0 dial 021B");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(gBroadcaster, FourCC("lnch"));
    EXPECT_EQ(sys::DmFindDatabaseByNameCreatorType("ClockDB", 0, 0), 0u);
    EXPECT_EQ(sys::DmFindDatabaseByNameCreatorType("Clock", 0, 0), 0u);
    EXPECT_EQ(gAnnouncedID, dialDB);  // the last announcement: the database kept open
    EXPECT_NE(sys::DmFindDatabaseByNameCreatorType("DialDB", 0, 0), 0u);
    for (uint8_t saved : {1, 0}) {
        uint32_t ref = openPrefs(saved);
        EXPECT_EQ(sys::DmFindResource(ref, FourCC("clok"), 1, nullptr), 0xFFFF) << int(saved);
        EXPECT_EQ(sys::DmFindResource(ref, FourCC("clok"), 2, nullptr), 0xFFFF) << int(saved);
        EXPECT_EQ(sys::DmFindResource(ref, FourCC("dial"), 1, nullptr), 0xFFFF) << int(saved);
        sys::DmCloseDatabase(ref);
    }
    sys::DmCloseDatabase(dialRef);
}
#endif

// Without a file-system library (this test program loads none) a folder mounts as no volume.
TEST_F(Remote, AHostFolderMountsOnlyWhereAFileSystemLibraryServesIt) {
    std::string folder = "/tmp/kez-remote-volume-" + std::to_string(getpid());
    mkdir(folder.c_str(), 0700);
    ClientRun run = RunClient("volumes " + folder);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(os::MountedHostVolumes().empty());
    EXPECT_TRUE(os::CardSlotNumbers().empty());  // the folder's card went with the failed mount
    uint32_t value = 0;
    EXPECT_NE(sys::FtrGet(FourCC("vfsm"), 1002, &value), 0);  // automatic start is back on
    rmdir(folder.c_str());
}

TEST_F(Remote, ExitRepliesThenEndsTheProcess) {
    ClientRun run = RunClient("exit");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Eventually([] { return gKez.exitType == kExitQuit; }));
}

// kez-host with the remote-access server and its window: the random UI-event tester drives the OS
// for a bounded number of events, the OS still answers, and it ends on the client's exit request.
// The OS quits by itself after 100 seconds should the client fail.
TEST(RemoteHost, TheTesterDrivesKezHostAndTheOsSurvives) {
    std::string base = "/tmp/kez-remote-host-" + std::to_string(getpid());
    std::string host = std::string(VANTOR_BIN_DIR) + "/kez-host";
    ASSERT_EQ(std::system((host + " --make-rom " + base + ".rom > /dev/null").c_str()), 0);
    std::string output;
    int status = -1;
    std::thread os([&] {
        FILE* pipe = popen((host + " --rom " + base + ".rom --storage " + base + ".img --heap-kb 2048 --remote-access" +
                            " --run-ms 100000 2>&1")
                               .c_str(),
                           "r");
        if (!pipe) return;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        status = pclose(pipe);
    });
    ClientRun run = RunClient("endurance 11 100");
    os.join();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("kez-host: shutdown"), std::string::npos) << output;
    std::system(("rm -f " + base + ".rom " + base + ".img " + base + ".img.crashed").c_str());
}

#if KEZ_HAS_DURNIX && KEZ_HAS_MORVEL
// kez-host with the host file-system library and the 68K environment: a host folder mounted
// through the server is a volume whose launcher directory the database rows list, describe, read
// resources from, launch from and delete from (tests/gras_client.py, scenario "host").
TEST(RemoteHost, AMountedFolderServesTheDatabaseRows) {
    std::string work = "/tmp/kez-remote-card-" + std::to_string(getpid());
    ClientRun run = RunClient(std::string("host ") + VANTOR_BIN_DIR + " " + work);
    EXPECT_EQ(run.status, 0) << run.output;
    if (run.status != 0) std::system(("tail -n 60 " + work + "/log").c_str());
    std::system(("rm -rf " + work).c_str());
}
#endif

}  // namespace
}  // namespace kez::testing
