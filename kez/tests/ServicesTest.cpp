// Settings, hardware information, device attributes, debug entries, the platform layer, database
// import and autoload, and the export table as a whole.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/BigEndian.h"
#include "common/module/ModuleInterface.h"
#include "common/module/SystemCalls.h"
#include "kez/src/HALImport.h"
#include "kez/src/KezServices.h"
#include "kez/src/PAL.h"
#include "kez/src/RAL.h"
#include "kez/tests/KezTestSupport.h"
#include "standin/os/DatabaseStore.h"

extern "C" uint32_t PrvRALSetExePath(const char* path);

namespace kez {
void PrvHALInfoInitialize();
void PrvHALLedVibratorInitialize();
}  // namespace kez

namespace kez::testing {
namespace {

template <typename Sig>
Sig* Slot(uint16_t slot) {
    return reinterpret_cast<Sig*>(ExportTable()[slot]);
}

// Kez's traces of zones 0xF1 (import) and 0xF4 (platform) go to standard output, which the
// fixtures capture from set-up on.
std::string gOutput;
bool gCapturing = false;

void EnableTraces(KezBootConfig* config) {
    config->traceMask[0xF1 / 8] |= 0x80 >> (0xF1 % 8);
    config->traceMask[0xF4 / 8] |= 0x80 >> (0xF4 % 8);
}
void StartCapture() {
    gOutput.clear();
    ::testing::internal::CaptureStdout();
    gCapturing = true;
}
void StopCapture() {
    if (gCapturing) gOutput += ::testing::internal::GetCapturedStdout();
    gCapturing = false;
}
bool Traced(const std::string& text) {
    StopCapture();
    ::testing::internal::CaptureStdout();
    gCapturing = true;
    return gOutput.find(text) != std::string::npos;
}

class Services : public os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        PrvPatchSystemDispatchTable(os::SystemTable());
        __SetMyDispatchTable();
        config_.screenWidth = config_.screenHeight = 320;
        config_.locale = FourCC("enUS");
        EnableTraces(&config_);
        Init();
        StartCapture();
    }
    void TearDown() override {
        StopCapture();
        if (HasFailure()) std::fputs(gOutput.c_str(), stderr);  // with gtest's messages
        StandinTest::TearDown();
    }
    void Init() {
        KezGlobalsInit(&config_, nullptr);
        PrvHALInfoInitialize();
        PrvHALLedVibratorInitialize();
    }
    KezBootConfig config_{};
};

TEST_F(Services, DeviceIdFollowsTheScreenSize) {
    struct Case {
        uint32_t w, h, id;
    } cases[] = {{320, 320, 10002}, {240, 295, 10007}, {240, 320, 10003}, {320, 393, 10008}, {320, 426, 10005},
                 {160, 197, 10006}, {160, 213, 10004}, {160, 160, 10001}};
    for (const Case& c : cases) {
        config_.screenWidth = c.w;
        config_.screenHeight = c.h;
        Init();
        EXPECT_EQ(Slot<uint32_t()>(kezslot::HALSettingsGetDeviceId)(), c.id) << c.w << "x" << c.h;
    }
}

TEST_F(Services, SettingsComeFromTheConfiguration) {
    config_.settingA = 11;
    config_.settingB = 12;
    config_.settingC = 13;
    config_.inputAreaFlag = 1;
    config_.flagA = 2;
    config_.flagB = 3;
    config_.flagC = 4;
    config_.virtualMouse = 5;
    config_.deviceType = FourCC("Tst1");
    std::strcpy(config_.textBuffer, "/some/path");
    Init();
    gKez.afterConfig[0] = 21;
    gKez.afterConfig[2] = 23;
    EXPECT_EQ(Slot<uint32_t()>(kezslot::HALSettingsGetValueA)(), 11u);
    EXPECT_EQ(Slot<uint32_t()>(kezslot::HALSettingsGetValueB)(), 12u);
    EXPECT_EQ(Slot<uint32_t()>(kezslot::HALSettingsGetValueC)(), 13u);
    EXPECT_EQ(Slot<uint8_t()>(kezslot::HALSettingsGetInputAreaFlag)(), 1);
    EXPECT_EQ(Slot<uint8_t()>(kezslot::HALSettingsGetFlagA)(), 2);
    EXPECT_EQ(Slot<uint8_t()>(kezslot::HALSettingsGetFlagB)(), 3);
    EXPECT_EQ(Slot<uint8_t()>(kezslot::HALSettingsGetFlagC)(), 4);
    EXPECT_EQ(Slot<uint8_t()>(kezslot::HALSettingsGetVirtualMouse)(), 5);
    EXPECT_EQ(KEZ_CALL(HALSettingsGetDeviceType), FourCC("Tst1"));
    EXPECT_STREQ(Slot<char*()>(kezslot::HALSettingsGetPath)(), "/some/path");
    EXPECT_EQ(Slot<uint32_t()>(kezslot::HALGetVersionWord)(), 0x160000u);
    uint32_t a = 0, c = 0;
    Slot<void(uint32_t*, uint32_t*, uint32_t*)>(kezslot::HALSettingsGetScreenExtra)(&a, nullptr, &c);
    EXPECT_EQ(a, 21u);
    EXPECT_EQ(c, 23u);

    // The configuration text: nothing written while it is empty.
    using TextProc = uint32_t(const char**, uint32_t*);
    const char* text = "unchanged";
    uint32_t length = 99;
    EXPECT_EQ(Slot<TextProc>(kezslot::HALSettingsGetText)(&text, &length), 0u);
    EXPECT_STREQ(text, "unchanged");
    EXPECT_EQ(length, 99u);
    std::strcpy(config_.configText, "hello");
    config_.configTextLength = 5;
    Init();
    EXPECT_EQ(Slot<TextProc>(kezslot::HALSettingsGetText)(&text, &length), 1u);
    EXPECT_STREQ(text, "hello");
    EXPECT_EQ(length, 5u);
}

// An unknown locale is reported and answered as "no locale" (0) with the record untouched: the
// caller then never compares against values that were never filled in.
TEST_F(Services, LocaleIsKnownNoneOrReportedAsUnknown) {
    KezLocale locale{7, 7};
    EXPECT_EQ(KEZ_CALL(HALSettingsGetLocale, &locale), 1u);
    EXPECT_EQ(locale.language, 0);
    EXPECT_EQ(locale.country, 23);
    config_.locale = 0;
    Init();
    EXPECT_EQ(KEZ_CALL(HALSettingsGetLocale, &locale), 0u);
    config_.locale = FourCC("xxXX");
    Init();
    locale = {7, 7};
    EXPECT_EQ(KEZ_CALL(HALSettingsGetLocale, &locale), 0u);
    EXPECT_EQ(locale.language, 7);
    ASSERT_EQ(os::ErrorReports().size(), 1u);
    EXPECT_EQ(os::ErrorReports()[0].file, "Kez/Linux/HAL/Src/HALSettingsPrv");
    EXPECT_EQ(os::ErrorReports()[0].line, 162);
}

TEST_F(Services, SerialNumberTokenIsReadOnce) {
    using TokenProc = uint16_t(uint32_t, const void**, uint16_t*);
    auto token = Slot<TokenProc>(kezslot::HALGetDeviceToken);
    const void* data = &data;
    uint16_t length = 9;
    EXPECT_EQ(token(FourCC("snum"), &data, &length), 0xFFFF);  // none configured
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(length, 0);

    std::strcpy(config_.serialNumber, "ABCDEFGHIJKL");
    Init();
    EXPECT_EQ(token(FourCC("snum"), &data, &length), 0);
    EXPECT_EQ(length, 12);
    EXPECT_EQ(std::string(static_cast<const char*>(data), 12), "ABCDEFGHIJKL");
    std::strcpy(gKez.config.serialNumber, "XXXXXXXXXXXX");  // not read again
    EXPECT_EQ(token(FourCC("snum"), &data, &length), 0);
    EXPECT_EQ(std::string(static_cast<const char*>(data), 12), "ABCDEFGHIJKL");
    EXPECT_EQ(token(FourCC("abcd"), &data, &length), 0xFFFF);
    EXPECT_EQ(data, nullptr);

    char buffer[13];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(Slot<uint16_t(char*)>(kezslot::PALGetSerialNumber)(buffer), 0);
    EXPECT_STREQ(buffer, "XXXXXXXXXXXX");
}

TEST_F(Services, HardwareInformation) {
    EXPECT_EQ(Slot<uint16_t()>(kezslot::HALInfoGetRevision)(), 2083);
    EXPECT_EQ(Slot<uint16_t(uint16_t)>(kezslot::HALInfoSetRevision)(2100), 2100);
    EXPECT_EQ(Slot<uint16_t()>(kezslot::HALInfoGetRevision)(), 2100);
    EXPECT_EQ(Slot<uint32_t()>(kezslot::HALInfoGetFlags)(), 0x1900u);  // no sound configured
    EXPECT_EQ(Slot<uint32_t()>(kezslot::HALInfoGetCreator)(), FourCC("qel_"));
}

TEST_F(Services, LedAndVibratorAttributes) {
    using Get = uint16_t(uint32_t, uint32_t*);
    using Set = uint16_t(uint32_t, const void*);
    uint32_t value = 0;
    for (uint16_t slot : {kezslot::HALLedGetAttribute, kezslot::HALVibratorGetAttribute}) {
        auto get = Slot<Get>(slot);
        EXPECT_EQ(get(7, &value), 0);
        EXPECT_EQ(value, 2000u);
        EXPECT_EQ(get(0, &value), 0);
        EXPECT_EQ(value, 0u);  // no capabilities
        for (uint32_t selector : {2u, 3u, 4u, 5u, 6u, 8u, 10u}) EXPECT_EQ(get(selector, &value), 1) << selector;
    }
    uint32_t pattern = 5;
    EXPECT_EQ(Slot<Set>(kezslot::HALLedSetAttribute)(3, &pattern), 1);  // needs a capability
    EXPECT_EQ(Slot<Set>(kezslot::HALLedSetAttribute)(9, &pattern), 1);
    EXPECT_EQ(Slot<Set>(kezslot::HALVibratorSetAttribute)(9, &pattern), 0);

    uint8_t on = 1;
    EXPECT_EQ(Slot<Set>(kezslot::HALLedSetAttribute)(1, &on), 0);
    EXPECT_EQ(Slot<Get>(kezslot::HALLedGetAttribute)(1, &value), 0);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(gKez.ledOn, 1);  // passed on to the platform layer's LED
    EXPECT_EQ(Slot<Set>(kezslot::HALLedSetAttribute)(8, nullptr), 0);
    EXPECT_EQ(gKez.ledOn, 0);
    EXPECT_EQ(Slot<Set>(kezslot::HALVibratorSetAttribute)(1, &on), 0);
    EXPECT_EQ(gKez.vibratorOn, 1);
    EXPECT_EQ(Slot<Set>(kezslot::HALVibratorSetAttribute)(8, nullptr), 0);
    EXPECT_EQ(gKez.vibratorOn, 0);
}

TEST_F(Services, BatteryDockAndRandomBytes) {
    uint16_t a = 0, b = 0, c = 0;
    uint32_t d = 0;
    uint8_t e = 0, f = 9, g = 9, h = 0;
    using Battery = uint16_t(uint16_t*, uint16_t*, uint16_t*, uint32_t*, uint8_t*, uint8_t*, uint8_t*, uint8_t*);
    EXPECT_EQ(Slot<Battery>(kezslot::HALBatteryGetInfo)(&a, &b, &c, &d, &e, &f, &g, &h), 0);
    EXPECT_EQ(std::vector<uint32_t>({a, b, c, d, e, f, g, h}),
              std::vector<uint32_t>({20, 10, 5, 180000, 2, 0, 0, 100}));
    uint16_t dock = 7;
    EXPECT_EQ(Slot<uint16_t(uint16_t*)>(kezslot::HALDockStatus)(&dock), 0);
    EXPECT_EQ(dock, 0);
    const uint8_t* kinds = nullptr;
    EXPECT_EQ(Slot<uint16_t(const uint8_t**)>(kezslot::HALBatteryGetKindList)(&kinds), 0);
    ASSERT_NE(kinds, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(kinds, kinds + 6), std::vector<uint8_t>({0, 1, 2, 3, 4, 5}));
    uint32_t word = 9;
    EXPECT_EQ(Slot<uint16_t(uint32_t*)>(kezslot::HALNullQuery87)(&word), 0);
    EXPECT_EQ(word, 0u);

    // How many bytes are written: two fills with different guards agree on the untouched tail.
    struct Case {
        uint32_t bits;
        size_t bytes;
    } cases[] = {{12, 2}, {16, 2}, {17, 3}, {0, 0}, {64, 8}};
    auto random = Slot<uint16_t(uint32_t, uint8_t*)>(kezslot::HALRandomBytes);
    for (const Case& k : cases) {
        size_t written = 0;
        for (uint8_t guard : {0x00, 0xFF}) {
            uint8_t buffer[16];
            std::memset(buffer, guard, sizeof buffer);
            EXPECT_EQ(random(k.bits, buffer), 0);
            size_t untouched = 0;
            while (untouched < 16 && buffer[15 - untouched] == guard) ++untouched;
            written = std::max(written, 16 - untouched);
        }
        EXPECT_EQ(written, k.bytes) << k.bits;
    }
}

volatile sig_atomic_t gTraps;
void OnTrap(int) { gTraps = gTraps + 1; }

TEST_F(Services, DebugMessageBacktraceAndBreak) {
    ::testing::internal::CaptureStderr();
    Slot<void(const char*)>(kezslot::HALDbgMessage)("hello\n");
    Slot<void(uint32_t)>(kezslot::HALDbgBacktrace)(0);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("*** DBG :hello\n", 0), 0u) << err;
    EXPECT_NE(err.find("*** DBG :  "), std::string::npos) << err;

    // Without a debugger or handler the break is reported and the process goes on.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Slot<uint32_t()>(kezslot::DbgBreak)(), 1u);
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("*** DBG :DbgBreak invoked.\n"), std::string::npos);
    EXPECT_NE(err.find("no debugger attached"), std::string::npos);

    struct sigaction action {}, previous{};
    action.sa_handler = OnTrap;
    sigaction(SIGTRAP, &action, &previous);
    gTraps = 0;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Slot<uint32_t()>(kezslot::DbgBreak)(), 1u);
    ::testing::internal::GetCapturedStderr();
    sigaction(SIGTRAP, &previous, nullptr);
    EXPECT_EQ(gTraps, 1);
}

TEST_F(Services, DatabaseNotificationsTraceOnlyRealChanges) {
    PALDatabaseChange change{};
    std::strcpy(change.oldName, "Memo");
    std::strcpy(change.newName, "Memo");
    change.oldType = change.newType = FourCC("DATA");
    change.oldCreator = FourCC("memo");
    change.newCreator = FourCC("memx");
    change.oldAttributes = change.newAttributes = 8;
    change.newVersion = 3;
    change.changes = 0x1 | 0x2 | 0x4 | 0x200 | 0x400;
    Slot<void(const PALDatabaseChange*)>(kezslot::PALDBChanged)(&change);
    EXPECT_TRUE(Traced("PALDBChanged(): Type='DATA', Creator='memo', Name=[Memo]"));
    EXPECT_TRUE(Traced("PALDBChanged(): Creator changed, new creator='memx'"));
    EXPECT_TRUE(Traced("PALDBChanged(): Version changed, new=3"));
    EXPECT_FALSE(Traced("Name changed"));
    EXPECT_FALSE(Traced("Type changed"));
    EXPECT_FALSE(Traced("Attributes changed"));
    change.changes = 0x1 | 0x200;
    Slot<void(const PALDatabaseChange*)>(kezslot::PALDBChanged)(&change);
    EXPECT_TRUE(Traced("PALDBChanged(): Nothing really changed"));

    PALDatabaseRecord db{};
    std::memset(db.name, 'n', sizeof db.name);  // not terminated: only 31 characters are shown
    db.type = FourCC("appl");
    db.creator = FourCC("abcd");
    Slot<void(const PALDatabaseRecord*)>(kezslot::PALDBCreated)(&db);
    EXPECT_TRUE(Traced("PALDBCreated(): Type='appl', Creator='abcd', Name=[" + std::string(31, 'n') + "]"));
}

TEST_F(Services, EncodingConversionReportsTheNeededLength) {
    char out[16];
    uint32_t length = sizeof out;
    EXPECT_EQ(PALConvertEncodingHostToHalvern("caf\xC3\xA9", 0xFFFFFFFF, out, &length), 0);
    EXPECT_EQ(length, 5u);
    EXPECT_STREQ(out, "caf\xE9");
    char host[16];
    length = sizeof host;
    EXPECT_EQ(PALConvertEncodingHalvernToHost(out, 5, host, &length), 0);
    EXPECT_EQ(length, 6u);
    EXPECT_STREQ(host, "caf\xC3\xA9");
    length = 3;
    EXPECT_EQ(PALConvertEncodingHalvernToHost(out, 5, host, &length), 0xF401);
    EXPECT_EQ(length, 6u);
    length = sizeof out;
    EXPECT_EQ(PALConvertEncodingHostToHalvern(nullptr, 0xFFFFFFFF, out, &length), 0);
    EXPECT_EQ(length, 1u);
}

class Platform : public KezKernelTest {
protected:
    void SetUp() override {
        EnableTraces(&config_);
        KezKernelTest::SetUp();
        StartCapture();
    }
    void TearDown() override {
        StopCapture();
        if (HasFailure()) std::fputs(gOutput.c_str(), stderr);
        KezKernelTest::TearDown();
    }
    template <typename Sig>
    Sig* S(uint16_t slot) {
        return Slot<Sig>(slot);
    }
};

using ReportProc = void(uint32_t, uint32_t, uint8_t, const char*);
using GetReportProc = void(uint32_t*, uint32_t*, uint8_t*, char*, uint8_t);

TEST_F(Platform, SyncSessionRecordsStatusErrorAndCancel) {
    ASSERT_EQ(S<uint16_t()>(kezslot::PALSyncInit)(), 0);
    EXPECT_EQ(S<uint8_t()>(kezslot::PALSyncIsCancelled)(), 0);
    S<ReportProc>(kezslot::PALSyncReportStatus)(5, 0, 0, "AddressDB");
    uint32_t status = 0, error = 9;
    uint8_t cancel = 9;
    char text[32];
    S<GetReportProc>(kezslot::PALSyncGetReportStatus)(&status, &error, &cancel, text, 0);
    EXPECT_EQ(status, 5u);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(cancel, 0);
    EXPECT_STREQ(text, "AddressDB");
    EXPECT_TRUE(Traced("  Status: [Syncing]."));
    EXPECT_TRUE(Traced("  DB: [AddressDB]"));

    // A reader waiting for a change sees the report that a second task makes.
    std::thread reporter([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        S<ReportProc>(kezslot::PALSyncReportStatus)(6, 8, 1, std::string(40, 'x').c_str());
    });
    S<GetReportProc>(kezslot::PALSyncGetReportStatus)(&status, &error, &cancel, text, 1);
    reporter.join();
    S<GetReportProc>(kezslot::PALSyncGetReportStatus)(&status, &error, &cancel, text, 0);
    EXPECT_EQ(status, 6u);
    EXPECT_EQ(error, 8u);
    EXPECT_EQ(cancel, 1);
    EXPECT_EQ(std::string(text), std::string(31, 'x'));
    EXPECT_TRUE(Traced("  Error: [LostConnection]."));
    EXPECT_TRUE(Traced("  *** CANCELLING ***"));
    EXPECT_EQ(S<uint8_t()>(kezslot::PALSyncIsCancelled)(), 1);

    // After "Done" a report keeps status and text but records the error.
    EXPECT_EQ(S<uint16_t()>(kezslot::PALSyncClose)(), 0);
    S<ReportProc>(kezslot::PALSyncReportStatus)(2, 3, 0, "late");
    S<GetReportProc>(kezslot::PALSyncGetReportStatus)(&status, &error, nullptr, text, 0);
    EXPECT_EQ(status, 7u);
    EXPECT_EQ(error, 3u);
    EXPECT_EQ(std::string(text), std::string(31, 'x'));
    // Waiting outside a session only pauses.
    S<GetReportProc>(kezslot::PALSyncGetReportStatus)(&status, nullptr, nullptr, nullptr, 1);
    EXPECT_TRUE(Traced("wait on status change outside a sync"));
}

// --- Database import ---

// A database image: the header, a resource list of `resources` entries and their bytes.
std::vector<uint8_t> Image(const std::string& name, const char* type = "DATA", const char* creator = "test",
                           int resources = 1) {
    std::vector<uint8_t> image(78 + 10 * resources + 2, 0);
    std::memcpy(image.data(), name.data(), std::min<size_t>(name.size(), 32));
    WriteBE16(&image[32], 0x0001);
    WriteBE16(&image[34], 1);
    std::memcpy(&image[60], type, 4);
    std::memcpy(&image[64], creator, 4);
    WriteBE16(&image[76], static_cast<uint16_t>(resources));
    for (int i = 0; i < resources; ++i) {
        uint8_t* e = &image[78 + 10 * i];
        std::memcpy(e, "code", 4);
        WriteBE16(e + 4, static_cast<uint16_t>(i));
        WriteBE32(e + 6, static_cast<uint32_t>(image.size() + 4 * i));
    }
    image.resize(image.size() + 4 * resources, 0xAB);
    return image;
}

std::string WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

class Import : public Services {
protected:
    void SetUp() override {
        Services::SetUp();
        dir_ = "/tmp/kez-import-test-" + std::to_string(getpid());
        mkdir(dir_.c_str(), 0755);
    }
    void TearDown() override {
        std::system(("rm -rf " + dir_).c_str());
        Services::TearDown();
    }
    std::string File(const std::string& name, const std::vector<uint8_t>& bytes) {
        return WriteFile(dir_ + "/" + name, bytes);
    }
    std::string dir_;
};

TEST_F(Import, HeaderChecks) {
    struct Case {
        const char* what;
        std::vector<uint8_t> image;
        bool valid;
    };
    std::vector<Case> cases;
    cases.push_back({"good", Image("Good"), true});
    cases.push_back({"no resources", Image("Empty", "DATA", "test", 0), true});
    cases.push_back({"empty name", Image(""), false});
    cases.push_back({"32-character name without terminator", Image(std::string(32, 'n')), false});
    cases.push_back({"31-character name", Image(std::string(31, 'n')), true});
    auto bad = Image("Type");
    bad[61] = 0x05;
    cases.push_back({"unprintable type", bad, false});
    auto dates = Image("Dates");
    WriteBE32(&dates[36], 200);
    WriteBE32(&dates[40], 100);
    cases.push_back({"created after modified", dates, false});
    dates = Image("Dates");
    WriteBE32(&dates[36], 200);
    WriteBE32(&dates[44], 100);
    cases.push_back({"created after backup", dates, false});
    WriteBE32(&dates[44], 300);
    cases.push_back({"dates in order", dates, true});
    auto list = Image("List", "DATA", "test", 2);
    WriteBE16(&list[76], 60000);
    cases.push_back({"entry list past the end", list, false});
    auto offset = Image("Offset");
    WriteBE32(&offset[78 + 6], 0x7FFFFFF0);
    cases.push_back({"resource past the end", offset, false});
    auto inside = Image("Inside");
    WriteBE32(&inside[78 + 6], 10);
    cases.push_back({"resource inside the header", inside, false});
    auto appInfo = Image("AppInfo");
    WriteBE32(&appInfo[52], 100000);
    cases.push_back({"application info past the end", appInfo, false});
    auto records = Image("Records");
    WriteBE16(&records[32], 0);  // a record database: 8-byte entries, offset first
    WriteBE32(&records[78], static_cast<uint32_t>(records.size()));
    cases.push_back({"record database", records, true});
    for (const Case& c : cases)
        EXPECT_EQ(PrvCheckDB(c.image.data(), static_cast<uint32_t>(c.image.size())), c.valid) << c.what;
}

uint16_t CreateFails(const void*, uint32_t, uint32_t*) { return 0x0203; }

TEST_F(Import, FilesAreCheckedReplacedOrKept) {
    uint32_t id = 5;
    EXPECT_EQ(HALImportFile((dir_ + "/missing.vrx").c_str(), 1, os::CreateDatabaseFromImage, &id), 0x0207);
    EXPECT_EQ(id, 0u);
    EXPECT_TRUE(Traced("HALImportFile(" + dir_ + "/missing.vrx): can't open, errno=2/No such file or directory"));
    auto image = Image("Short");
    image.resize(79);
    EXPECT_EQ(HALImportFile(File("short.vrx", image).c_str(), 1, os::CreateDatabaseFromImage, nullptr), 0x0209);
    EXPECT_TRUE(Traced("too small (79 bytes)"));
    EXPECT_EQ(HALImportFile(dir_.c_str(), 1, os::CreateDatabaseFromImage, nullptr), 0x0207);  // a directory
    EXPECT_EQ(HALImportFile(File("bad.vrx", Image("")).c_str(), 1, os::CreateDatabaseFromImage, nullptr), 0x0209);
    EXPECT_TRUE(Traced("Corrupt DB"));

    // An 80-byte image with a valid header reaches the lookup and is created.
    auto minimal = Image("Minimal", "DATA", "test", 0);
    ASSERT_EQ(minimal.size(), 80u);
    std::string memo = File("memo.vrx", minimal);
    ASSERT_EQ(HALImportFile(memo.c_str(), 0, os::CreateDatabaseFromImage, &id), 0);
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(Traced("HALImportFile(): DmCreateDBFromImage(" + memo + ") succeeded"));
    uint32_t again = 0;
    EXPECT_EQ(HALImportFile(memo.c_str(), 0, os::CreateDatabaseFromImage, &again), 0x0219);  // kept
    EXPECT_EQ(os::OpenReferences(id), 0);
    EXPECT_EQ(HALImportFile(memo.c_str(), 1, os::CreateDatabaseFromImage, &again), 0);  // replaced
    EXPECT_NE(again, id);
    EXPECT_EQ(os::OpenReferences(id), -1);
    EXPECT_TRUE(Traced("DB found in RAM - overwriting"));

    // A ROM database of the same name is shadowed by a new RAM one.
    os::AddDatabaseWithID(0x80000042, "InRom", FourCC("DATA"), FourCC("test"), 1);
    EXPECT_EQ(HALImportFile(File("rom.vrx", Image("InRom")).c_str(), 0, os::CreateDatabaseFromImage, &id), 0);
    EXPECT_TRUE(Traced("DB found in ROM - creating a new one in RAM"));
    // The create service's failure is the answer.
    EXPECT_EQ(HALImportFile(File("fails.vrx", Image("Fails")).c_str(), 0, CreateFails, &id), 0x0203);
    EXPECT_EQ(id, 0u);
    EXPECT_TRUE(Traced("failed, err=0x203"));
}

TEST_F(Import, AutoloadTakesDatabaseFilesBesideTheExecutable) {
    mkdir((dir_ + "/autoload").c_str(), 0755);
    File("autoload/one.VRX", Image("One"));
    File("autoload/two.wyx", Image("Two"));
    File("autoload/three.bvrx", Image("Three"));
    File("autoload/four.ovrx", Image("Four"));
    File("autoload/notes.txt", Image("Text"));
    File("autoload/broken.vrx", Image(""));  // refused; the others go on
    File("autoload/" + std::string(200, 'l') + ".vrx", Image("Long"));
    symlink((dir_ + "/autoload/one.VRX").c_str(), (dir_ + "/autoload/link.vrx").c_str());
    mkdir((dir_ + "/autoload/dir.vrx").c_str(), 0755);
    PrvRALSetExePath((dir_ + "/").c_str());
    Slot<void(HALImportCreateProc)>(kezslot::HALImportAutoloadFiles)(os::CreateDatabaseFromImage);
    for (const char* name : {"One", "Two", "Three", "Four", "Long"})
        EXPECT_NE(sys::DmFindDatabaseByName(0, name), 0u) << name;
    EXPECT_EQ(sys::DmFindDatabaseByName(0, "Text"), 0u);
    EXPECT_TRUE(Traced("Corrupt DB"));

    // No directory: nothing.
    PrvRALSetExePath("/nonexistent/");
    Slot<void(HALImportCreateProc)>(kezslot::HALImportAutoloadFiles)(os::CreateDatabaseFromImage);
}

TEST_F(Import, APackedApplicationImports) {
    // A resource database written by the 68K application packer is accepted as it is.
    std::string source = KEZ_PACKED_APP;
    std::ifstream in(source, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 80u) << source;
    uint32_t id = 0;
    EXPECT_EQ(HALImportFile(File("app.vrx", bytes).c_str(), 1, os::CreateDatabaseFromImage, &id), 0);
    EXPECT_NE(id, 0u);
}

// kez-host boots on a folder holding kez-host, the modules and an autoload directory with one
// database per module: the OS installs each module by its library's name. With Morvel installed,
// --launch runs a 68K application from the autoload directory until the quit stops it.
TEST(KezHostModules, AutoloadedModulesAreInstalledAtBoot) {
    struct Module {
        bool built;
        const char* name;
        uint32_t type, creator;
    } modules[] = {{KEZ_HAS_SOCKRA, "Sockra", kSockraType, kSockraCreator},
                   {KEZ_HAS_BRONTEL, "Brontel", kBrontelType, kBrontelCreator},
                   {KEZ_HAS_DURNIX, "Durnix", kDurnixType, kDurnixCreator},
                   {KEZ_HAS_MORVEL, "Morvel", kA68kType, kA68kCreator}};
    std::string dir = "/tmp/kez-host-modules-" + std::to_string(getpid());
    std::string bin = VANTOR_BIN_DIR;
    ASSERT_EQ(std::system(("mkdir -p " + dir + "/autoload && cp " + bin + "/kez-host " + bin + "/libKez.so " + bin +
                           "/libVantorOS.so " + dir + "/")
                              .c_str()),
              0);
    int built = 0;
    for (const Module& m : modules) {
        if (!m.built) continue;
        ++built;
        std::string library = std::string("lib") + m.name + ".so";
        ASSERT_EQ(std::system(("cp " + bin + "/" + library + " " + dir + "/").c_str()), 0) << library;
        char type[5], creator[5];
        for (int i = 0; i < 4; ++i) {
            type[i] = static_cast<char>(m.type >> (24 - 8 * i));
            creator[i] = static_cast<char>(m.creator >> (24 - 8 * i));
        }
        type[4] = creator[4] = '\0';
        WriteFile(dir + "/autoload/" + m.name + ".vrx",
                  Image(std::string("lib") + m.name + ".dll", type, creator, 0));
    }
    EXPECT_GE(built, 2);  // Sockra and Morvel at least
    ASSERT_EQ(std::system(("cp " KEZ_C_APP " " + dir + "/autoload/").c_str()), 0);
    std::string rom = dir + "/test.rom", storage = dir + "/storage.img", log = dir + "/log";
    // The quit comes two seconds after boot: a loaded machine has launched the application by then,
    // and it has the shutdown's one second to stop.
    ASSERT_EQ(std::system((dir + "/kez-host --make-rom " + rom + " > /dev/null").c_str()), 0);
    int status = std::system((dir + "/kez-host --rom " + rom + " --storage " + storage +
                              " --headless --heap-kb 2048 --run-ms 2000 --trace ff,f1 --launch 'Morvel C Test' > " + log +
                              " 2>&1")
                                 .c_str());
    std::ifstream in(log);
    std::string output((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(status, 0) << output;
    for (const Module& m : modules) {
        if (!m.built) continue;
        std::string library = std::string("lib") + m.name + ".dll";
        EXPECT_NE(output.find("DmCreateDBFromImage(" + dir + "/autoload/" + m.name + ".vrx) succeeded"),
                  std::string::npos)
            << output;
        EXPECT_NE(output.find("PrvSafeLoadLibrary(): loading [" + library + "]"), std::string::npos) << output;
        EXPECT_NE(output.find("OS main: installed " + library + " (reference "), std::string::npos) << output;
    }
    // The application passed its own checks of its globals, got no key and ended on the stop.
    if (KEZ_HAS_MORVEL) {
        EXPECT_NE(output.find("OS launcher: Morvel C Test ended with 0x1FF0000"), std::string::npos) << output;
    }
    // The quit's wait for the OS to stop ends on the OS's stop, not on its time-out.
    EXPECT_NE(output.find("PrvKezExitRequest(): App shutdown succeeded."), std::string::npos) << output;
    EXPECT_NE(output.find("kez-host: shutdown 0, host status 3"), std::string::npos) << output;
    std::system(("rm -rf " + dir).c_str());
}

// Every slot holds its operation or a filler by design; a slot still without one reports itself
// when called, and answers 0xFFFF.
TEST_F(Services, EveryExportSlotHasItsOperation) {
    // The slots of services this build does not contain yet: drawing, screen manager, power, keys,
    // pen and virtual mouse (75 and 77 are their fillers). None may be missing beyond these.
    std::set<uint16_t> notBuilt = {20, 63, 64, 65, 66, 67, 68, 69, 75, 76, 77, 78, 79, 80, 81, 82,
                                   83, 84, 89, 90, 91, 92, 93, 94, 95, 96, 97, 171, 172, 174, 175, 176,
                                   177, 178, 179, 180, 188, 191, 192, 193, 194, 195, 285, 286};
    std::string unexpected;
    uint16_t someMissing = 0xFFFF;
    for (uint16_t slot = 0; slot < kKezSlots; ++slot) {
        if (PrvKezSlotHasOperation(slot)) continue;
        someMissing = slot;
        if (!notBuilt.count(slot)) unexpected += std::to_string(slot) + " " + KezSlotName(slot) + "\n";
    }
    EXPECT_EQ(unexpected, "");
    if (someMissing != 0xFFFF) {
        EXPECT_EQ(reinterpret_cast<uint16_t (*)()>(ExportTable()[someMissing])(), 0xFFFF);
        ASSERT_EQ(os::ErrorReports().size(), 1u);
        EXPECT_EQ(os::ErrorReports()[0].message, "Export slot " + std::to_string(someMissing) + " has no operation");
    }
}

}  // namespace
}  // namespace kez::testing
