// A 68K application whose form holds a list, a bitmap and a button, end to end on the stand-in UI
// library: the list is built from the form resource, a tap on its second item reaches the
// application as a list-select event and as the list's selection, and the button ends it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "M68kTestKit.h"
#include "common/FourCC.h"
#include "common/ResourceDb.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "morvel/glue/MorvelExports.h"
#include "morvel/launch/AppLaunch.h"
#include "standin/os/DatabaseStore.h"

extern "C" uint32_t ModuleEntryPoint(uint16_t launchCode, void* param, uint16_t flags);

namespace morvel::test {
namespace {

using vantor::os::Library;
namespace sys = vantor::sys;

constexpr uint16_t kPenDown = 1;
constexpr uint16_t kLaunchNewGlobals = 0x04, kLaunchUiApp = 0x08;

vantor::KezMemoryArea gAreas[3] = {
    {0, 0x60000000, 0x100000}, {1, 0x57000000, 0x80000}, {2, 0x58000000, 0x200000}};
vantor::KezMemoryAreas gAreaList{3, gAreas};
vantor::KezMemoryAreas* AreaList() { return &gAreaList; }
vantor::ModuleProc* KezTable() {
    static std::vector<vantor::ModuleProc> table = [] {
        std::vector<vantor::ModuleProc> t(vantor::kKezSlots, nullptr);
        t[vantor::kezslot::HALMemoryGetAreas] = reinterpret_cast<vantor::ModuleProc>(&AreaList);
        return t;
    }();
    return table.data();
}

uint32_t InstallDatabase(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    vantor::ResourceDb db;
    std::string error;
    EXPECT_TRUE(
        vantor::ResourceDbParse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &db, &error))
        << error;
    const uint32_t dbID = vantor::os::AddDatabase(db.name.c_str(), db.type, db.creator, db.version);
    vantor::os::WithDatabase(dbID, [](vantor::os::DatabaseEntry& entry) { entry.attributes |= 0x0001; });
    for (const auto& r : db.resources) AddResource(dbID, r.type, r.id, r.bytes);
    return dbID;
}

void Tap(int16_t x, int16_t y) {
    vantor::SysEventType e{};
    e.eType = kPenDown;
    e.screenX = x;
    e.screenY = y;
    sys::EvtAddEventToQueue(&e);
}

class ViewsAppTest : public MorvelTest {
  protected:
    void SetUp() override {
        MorvelTest::SetUp();
        vantor::os::RegisterTable(vantor::kKezType, vantor::kKezCreator, KezTable(), vantor::kKezSlots);
        ASSERT_EQ(EmulatorOpen(), 0);
    }
    void TearDown() override {
        EmulatorClose();
        vantor::os::UnregisterModule(vantor::kKezType, vantor::kKezCreator);
        MorvelTest::TearDown();
    }
};

TEST_F(ViewsAppTest, ATapOnAListItemReachesTheApplicationAsItsSelection) {
    const uint32_t app = InstallDatabase(MORVEL_VIEWS_APP ".vrx");
    vantor::os::SetCurrentAppDatabase(app);
    uint32_t ref = sys::DmOpenDatabaseByID(app, 1);
    std::memcpy(static_cast<uint8_t*>(sys::SysGetTaskRecord()) + vantor::kTaskRecordAppDbRef, &ref, 4);
    int drawn = 0;
    vantor::os::OnCall(Library::Ui, vantor::uislot::FrmDrawForm, [&](const vantor::os::SlotCall&) {
        if (drawn++) return 0u;
        // Rows of 11 units start one below the list's top (20): the second item, then beside the
        // items (below the third), then the button.
        Tap(30, 37);
        Tap(30, 54);
        Tap(70, 125);
        return 0u;
    });
    int alerts = 0;
    vantor::os::OnCall(Library::Ui, vantor::uislot::UiEntry125, [&](const vantor::os::SlotCall&) {
        ++alerts;
        vantor::SysEventType stop{};
        stop.eType = 22;
        sys::EvtAddEventToQueue(&stop);
        return 0u;
    });
    const uint32_t result = ModuleEntryPoint(0, nullptr, kLaunchNewGlobals | kLaunchUiApp);
    EXPECT_EQ(alerts, 0);
    EXPECT_EQ(drawn, 1);
    // Three items; the event named item 1 and the list says item 1.
    EXPECT_EQ(result, 0x00030101u) << std::hex << result;
    EXPECT_EQ(vantor::os::PendingEvents(), 0u);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// ---- the same application in kez-host, under Xvfb ----

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ViewsAppWindow, TheListAndTheBitmapAreShownAndAClickChoosesAnItem) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display (run under xvfb-run)";
    const std::string dir = "/tmp/morvel-viewsapp-" + std::to_string(getpid());
    const std::string bin = VANTOR_BIN_DIR;
    ASSERT_EQ(std::system(("rm -rf " + dir + " && mkdir -p " + dir + "/autoload && cp " + bin + "/kez-host " +
                           bin + "/libKez.so " + bin + "/libVantorOS.so " + bin + "/libMorvel.so " + dir +
                           "/ && cp " + MORVEL_VIEWS_APP ".vrx " + dir + "/autoload/")
                              .c_str()),
              0);
    // Morvel comes as a database naming its library, as the OS installs modules.
    vantor::ResourceDb module;
    module.name = "libMorvel.dll";
    module.type = vantor::FourCC("libr");
    module.creator = vantor::FourCC("a68k");
    module.attributes = 0x0001;
    module.version = 1;
    module.resources.push_back({vantor::FourCC("code"), 0, std::vector<uint8_t>(4, 0)});
    const std::vector<uint8_t> image = vantor::ResourceDbWrite(module);
    std::ofstream(dir + "/autoload/Morvel.vrx", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    const std::string rom = dir + "/test.rom", storage = dir + "/storage.img", log = dir + "/log";
    ASSERT_EQ(std::system((dir + "/kez-host --make-rom " + rom + " > /dev/null").c_str()), 0);
    const pid_t host = static_cast<pid_t>(std::stol(
        "0" + RunCommand(dir + "/kez-host --rom " + rom + " --storage " + storage +
                         " --heap-kb 4096 --run-ms 240000 --launch 'Morvel Views Test' > " + log + " 2>&1 & echo $!")));
    ASSERT_GT(host, 0);
    struct Cleanup {
        pid_t host;
        std::string dir;
        ~Cleanup() {
            kill(host, SIGTERM);
            Eventually([&] { return kill(host, 0) != 0; }, 30);
            std::system(("rm -rf " + dir).c_str());
        }
    } cleanup{host, dir};
    std::string id = RunCommand("timeout 60 xdotool search --sync --onlyvisible --pid " + std::to_string(host) +
                                " --name '^Vantor OS$'");
    id = id.substr(0, id.find('\n'));
    ASSERT_FALSE(id.empty()) << ReadText(log);
    // Away from where other window tests place theirs, so that no other window covers it.
    RunCommand("xdotool windowmove " + id + " 40 40 windowraise " + id);

    // On the 320 x 320 screen (two pixels a unit): the list's left frame, its second row's margin,
    // the bitmap's top edge and its white inside.
    struct Spot {
        uint32_t x, y;
        bool dark;
    };
    std::string dump;
    auto shows = [&](std::initializer_list<Spot> spots) {
        dump = DumpWindow(id);
        for (const Spot& spot : spots) {
            const int64_t v = DumpPixel(dump, spot.x, spot.y);
            if (v < 0 || (spot.dark ? v >= 0x202020 : v < 0xE0E0E0)) return false;
        }
        return true;
    };
    ASSERT_TRUE(Eventually([&] { return shows({{20, 60, true}, {250, 40, true}, {256, 56, false}, {24, 74, false}}); },
                           60))
        << "no list and bitmap in the window (its picture: " << dir << ".xwd)\n"
        << ReadText(log) << (std::ofstream(dir + ".xwd", std::ios::binary) << dump ? "" : "");

    // A click on the second item inverts its row; the button ends the application with its answer.
    RunCommand("xdotool mousemove --window " + id + " 60 74 click 1");
    EXPECT_TRUE(Eventually([&] { return shows({{24, 74, true}}); }, 60)) << "the item is not shown chosen";
    RunCommand("xdotool mousemove --window " + id + " 160 254 click 1");
    EXPECT_TRUE(Eventually(
        [&] { return ReadText(log).find("OS launcher: Morvel Views Test ended with 0x30101") != std::string::npos; },
        60))
        << ReadText(log);
}

}  // namespace
}  // namespace morvel::test
