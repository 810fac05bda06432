// A 68K application whose form comes from its own resources, end to end: the form resource is
// translated into the resource cache, the stand-in UI library builds the form from it, keys land
// in the field and a tap on the button reaches the application's form handler. Under Xvfb the same
// application runs in kez-host: the form appears in the device window, xdotool types into the
// field and clicks the button.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/ResourceDb.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelExports.h"
#include "morvel/launch/AppLaunch.h"
#include "standin/os/DatabaseStore.h"

extern "C" uint32_t ModuleEntryPoint(uint16_t launchCode, void* param, uint16_t flags);

namespace morvel::test {
namespace {

using vantor::FourCC;
using vantor::os::Library;
namespace sys = vantor::sys;

constexpr uint16_t kKeyDown = 4, kPenDown = 1;
constexpr uint16_t kLaunchNewGlobals = 0x04, kLaunchUiApp = 0x08;

vantor::KezMemoryArea gAreas[3] = {
    {0, 0x60000000, 0x100000}, {1, 0x57000000, 0x80000}, {2, 0x58000000, 0x200000}};
vantor::KezMemoryAreas gAreaList{3, gAreas};
vantor::KezMemoryAreas* AreaList() {
    return &gAreaList;
}
vantor::ModuleProc* KezTable() {
    static std::vector<vantor::ModuleProc> table = [] {
        std::vector<vantor::ModuleProc> t(vantor::kKezSlots, nullptr);
        t[vantor::kezslot::HALMemoryGetAreas] = reinterpret_cast<vantor::ModuleProc>(&AreaList);
        return t;
    }();
    return table.data();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t InstallDatabase(const std::string& path) {
    std::string bytes = ReadFile(path);
    vantor::ResourceDb db;
    std::string error;
    EXPECT_TRUE(
        vantor::ResourceDbParse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &db, &error))
        << error;
    uint32_t dbID = vantor::os::AddDatabase(db.name.c_str(), db.type, db.creator, db.version);
    vantor::os::WithDatabase(dbID, [](vantor::os::DatabaseEntry& entry) { entry.attributes |= 0x0001; });
    for (const auto& r : db.resources) AddResource(dbID, r.type, r.id, r.bytes);
    return dbID;
}

void Post(uint16_t type, uint16_t data, int16_t x = 0, int16_t y = 0) {
    vantor::SysEventType e{};
    e.eType = type;
    e.screenX = x;
    e.screenY = y;
    std::memcpy(e.data, &data, 2);
    sys::EvtAddEventToQueue(&e);
}

class FormAppTest : public MorvelTest {
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

// The keys and the tap come once the form is drawn: "hi", a backspace, "o", then a tap inside the
// button (a tap beside it is no tap on it).
TEST_F(FormAppTest, KeysLandInTheFieldAndATapOnTheButtonReachesTheFormHandler) {
    uint32_t app = InstallDatabase(MORVEL_FORM_APP ".vrx");
    vantor::os::SetCurrentAppDatabase(app);
    uint32_t ref = sys::DmOpenDatabaseByID(app, 1);
    std::memcpy(static_cast<uint8_t*>(sys::SysGetTaskRecord()) + vantor::kTaskRecordAppDbRef, &ref, 4);
    int drawn = 0;
    vantor::os::OnCall(Library::Ui, vantor::uislot::FrmDrawForm, [&](const vantor::os::SlotCall&) {
        if (drawn++) return 0u;
        for (uint16_t c : {uint16_t{'h'}, uint16_t{'i'}, uint16_t{8}, uint16_t{'o'}}) Post(kKeyDown, c);
        Post(kPenDown, 0, 30, 105);
        Post(kPenDown, 0, 70, 105);
        return 0u;
    });
    // An alert (a fatal report) stops the application instead of waiting for ever.
    int alerts = 0;
    vantor::os::OnCall(Library::Ui, vantor::uislot::UiEntry125, [&](const vantor::os::SlotCall&) {
        ++alerts;
        Post(22, 0);
        return 0u;
    });
    uint32_t result = ModuleEntryPoint(0, nullptr, kLaunchNewGlobals | kLaunchUiApp);
    EXPECT_EQ(alerts, 0);
    EXPECT_EQ(drawn, 1);
    EXPECT_EQ(result, (2u << 16) | ('h' + 'o')) << std::hex << result;
    EXPECT_EQ(vantor::os::PendingEvents(), 0u);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// ---- the same application in kez-host, under Xvfb ----

std::string Output(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

// A window's pixels as 0xRRGGBB, read with xwd (ZPixmap, 32 bits a pixel); empty on failure.
std::vector<uint32_t> ReadWindow(const std::string& id, uint32_t* width, uint32_t* height) {
    std::vector<uint32_t> pixels;
    std::string dump = Output("xwd -silent -id " + id + " 2>/dev/null");
    auto bytes = reinterpret_cast<const uint8_t*>(dump.data());
    if (dump.size() < 100) return pixels;
    uint32_t headerSize = vantor::ReadBE32(bytes), format = vantor::ReadBE32(bytes + 8),
             byteOrder = vantor::ReadBE32(bytes + 28), bitsPerPixel = vantor::ReadBE32(bytes + 44),
             bytesPerLine = vantor::ReadBE32(bytes + 48), colours = vantor::ReadBE32(bytes + 76);
    *width = vantor::ReadBE32(bytes + 16);
    *height = vantor::ReadBE32(bytes + 20);
    size_t start = size_t{headerSize} + size_t{colours} * 12;
    if (format != 2 || bitsPerPixel != 32 || dump.size() < start + size_t{bytesPerLine} * *height)
        return pixels;
    for (uint32_t y = 0; y < *height; ++y)
        for (uint32_t x = 0; x < *width; ++x) {
            const uint8_t* p = bytes + start + y * bytesPerLine + x * 4;
            uint32_t v = byteOrder == 0 ? uint32_t{p[0]} | p[1] << 8 | p[2] << 16
                                        : uint32_t{p[3]} | p[2] << 8 | p[1] << 16;
            pixels.push_back(v & 0xFFFFFF);
        }
    return pixels;
}

// Polls `condition` for up to `seconds`, answering as soon as it holds.
template <typename F>
bool Eventually(F condition, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return condition();
}

TEST(FormAppWindow, TheFormIsDrawnInTheDeviceWindowAndTakesTypedKeysAndAClick) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display (run under xvfb-run)";
    const std::string dir = "/tmp/morvel-formapp-" + std::to_string(getpid());
    const std::string bin = VANTOR_BIN_DIR;
    ASSERT_EQ(std::system(("rm -rf " + dir + " && mkdir -p " + dir + "/autoload && cp " + bin + "/kez-host " +
                           bin + "/libKez.so " + bin + "/libVantorOS.so " + bin + "/libMorvel.so " + dir +
                           "/ && cp " + MORVEL_FORM_APP ".vrx " + dir + "/autoload/")
                              .c_str()),
              0);
    // Morvel comes as a database naming its library, as the OS installs modules.
    vantor::ResourceDb module;
    module.name = "libMorvel.dll";
    module.type = FourCC("libr");
    module.creator = FourCC("a68k");
    module.attributes = 0x0001;
    module.version = 1;
    module.resources.push_back({FourCC("code"), 0, std::vector<uint8_t>(4, 0)});
    std::vector<uint8_t> image = vantor::ResourceDbWrite(module);
    std::ofstream(dir + "/autoload/Morvel.vrx", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    const std::string rom = dir + "/test.rom", storage = dir + "/storage.img", log = dir + "/log";
    ASSERT_EQ(std::system((dir + "/kez-host --make-rom " + rom + " > /dev/null").c_str()), 0);
    const std::string run = dir + "/kez-host --rom " + rom + " --storage " + storage +
                            " --heap-kb 4096 --run-ms 240000 --trace ff --launch 'Morvel Form Test' > " +
                            log + " 2>&1 & echo $!";
    const pid_t host = static_cast<pid_t>(std::stol("0" + Output(run)));
    ASSERT_GT(host, 0);
    // The host and the folder go however the test ends.
    struct Cleanup {
        pid_t host;
        std::string dir;
        ~Cleanup() {
            kill(host, SIGTERM);
            Eventually([&] { return kill(host, 0) != 0; }, 30);
            std::system(("rm -rf " + dir).c_str());
        }
    } cleanup{host, dir};
    std::string id = Output("timeout 60 xdotool search --sync --onlyvisible --pid " + std::to_string(host) +
                            " --name '^Vantor OS$'");
    id = id.substr(0, id.find('\n'));
    ASSERT_FALSE(id.empty()) << ReadFile(log);
    Output("xdotool windowmove " + id + " 600 400 windowraise " + id);

    // The form on the 320 x 320 screen: its title bar, the button's frame, white below the button.
    // Colours are compared within the screen's 16-bit precision.
    struct Spot {
        uint32_t x, y, rgb;
    };
    auto near = [](uint32_t a, uint32_t b) {
        for (int shift : {0, 8, 16})
            if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > 8)
                return false;
        return true;
    };
    auto shows = [&](std::initializer_list<Spot> spots) {
        uint32_t width = 0, height = 0;
        std::vector<uint32_t> pixels = ReadWindow(id, &width, &height);
        if (width < 320 || height < 320) return false;
        for (Spot s : spots)
            if (!near(pixels[s.y * width + s.x], s.rgb)) return false;
        return true;
    };
    // Black ink on the field's line, left of its underline.
    auto fieldHasInk = [&] {
        uint32_t width = 0, height = 0;
        std::vector<uint32_t> pixels = ReadWindow(id, &width, &height);
        if (width < 320 || height < 320) return false;
        for (uint32_t y = 58; y < 74; ++y)
            for (uint32_t x = 96; x < 288; ++x)
                if (pixels[y * width + x] == 0) return true;
        return false;
    };
    ASSERT_TRUE(Eventually(
        [&] {
            return shows({{150, 4, 0x003399}, {160, 200, 0}, {200, 300, 0xFFFFFF}});
        },
        60))
        << "no form in the window\n"
        <<
        [&] {
            uint32_t width = 0, height = 0;
            std::vector<uint32_t> pixels = ReadWindow(id, &width, &height);
            char text[128];
            std::snprintf(text, sizeof text, "window %ux%u, pixels %06X %06X %06X\n", width, height,
                          pixels.size() > 4 * width + 150 ? pixels[4 * width + 150] : 0u,
                          pixels.size() > 200 * width + 160 ? pixels[200 * width + 160] : 0u,
                          pixels.size() > 300 * width + 200 ? pixels[300 * width + 200] : 0u);
            return std::string(text);
        }()
        << ReadFile(log);
    EXPECT_FALSE(fieldHasInk());

    Output("xdotool key --window " + id + " h i");
    EXPECT_TRUE(Eventually(fieldHasInk, 60)) << "no text in the field";
    Output("xdotool mousemove --window " + id + " 160 214 click 1");
    char ended[96];
    std::snprintf(ended, sizeof ended, "OS launcher: Morvel Form Test ended with 0x%X",
                  (2u << 16) | ('h' + 'i'));
    EXPECT_TRUE(Eventually([&] { return ReadFile(log).find(ended) != std::string::npos; }, 60))
        << ReadFile(log);
}

}  // namespace
}  // namespace morvel::test
