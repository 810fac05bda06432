// The display window's side of the board, headless: host keys through the key map into the
// keypad, the mouse into the touch screen (with and without a skin), the context menu's commands
// and dropped files as run codes, the painted frame and the status line in the title.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "standin/win32/PixelWindow.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Rom.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/tests/TestFiles.h"
#include "tamsk/devices/Keypad.h"
#include "tamsk/devices/Lcd.h"
#include "tamsk/devices/TouchScreen.h"
#include "tamsk/devices/tests/BoardTestSupport.h"
#include "tamsk/host/Display.h"
#include "tamsk/host/KeyMap.h"
#include "tamsk/host/Skin.h"

namespace tamsk {
namespace {

TEST(KeyMap, HostKeysBecomeKeyNumbersAndMatrixPositions) {
    struct Case {
        const char* what;
        int virtualKey, character;
        bool shiftToggle, numLock;
        int key;
        uint8_t position;
    } cases[] = {
        {"A", 'A', 'a', false, false, 0, 0},
        {"Z", 'Z', 'z', false, false, 25, 58},
        {"A with the Shift toggle", 'A', 'a', true, false, 59, 0},
        {"digit 1", '1', '1', false, false, 41, 11},
        {"'(' (shares F1's position)", '9', '(', false, false, 0x55, 3},
        {"F1", 0x70, 0, false, false, 0x36, 3},
        {"the at sign (shares digit 1's position)", '2', '@', false, false, 0x58, 11},
        {"'.' before its virtual key", 0xBE, '.', false, false, 0x63, 44},
        {"blank bar", 0x20, 0, false, false, 0x1A, 37},
        {"Enter", 0x0D, 0, false, false, 0x1D, 47},
        {"Back", 0x08, 0, false, false, 0x23, 54},
        {"keypad 5, Num Lock off: Enter", win32::VK_NUMPAD0 + 5, 0, false, false, 0x1D, 47},
        {"keypad 5, Num Lock on: digit 5", win32::VK_NUMPAD0 + 5, 0, false, true, 45, 34},
        {"keypad 1, Num Lock off: none", win32::VK_NUMPAD0 + 1, 0, false, false, -1, kNoMatrixKey},
        {"keypad *", win32::VK_MULTIPLY, 0, false, false, 0x32, 43},
        {"F11", 0x7A, 0, false, false, 0x21, 14},
        {"Escape: none", 0x1B, 0, false, false, -1, kNoMatrixKey},
        {"F6: none", 0x75, 0, false, false, -1, kNoMatrixKey},
    };
    for (const Case& c : cases) {
        const int key = KeyMapHostToDevice(c.virtualKey, c.character, c.shiftToggle, c.numLock);
        EXPECT_EQ(key, c.key) << c.what;
        EXPECT_EQ(KeyMatrixPosition(key), c.position) << c.what;
    }
    // Every key number the map gives has a position; numbers outside the table have none.
    for (int vk = 0; vk < 256; ++vk)
        for (int ch : {0, 0x21, 0x22, 0x26, 0x27, 0x29, 0x2B, 0x5C, 0x2C, 0x2D, 0x3A, 0x3B, 0x3F}) {
            for (bool toggle : {false, true}) {
                for (bool numLock : {false, true}) {
                    const int key = KeyMapHostToDevice(vk, ch, toggle, numLock);
                    if (key >= 0) {
                        EXPECT_NE(KeyMatrixPosition(key), kNoMatrixKey) << vk << " " << ch;
                    }
                }
            }
        }
    EXPECT_EQ(KeyMatrixPosition(100), kNoMatrixKey);
}

std::string Ppm(int width, int height, uint8_t fill) {
    std::string bytes = "P6\n# a picture\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    bytes.append(size_t(width) * size_t(height) * 3, char(fill));
    return bytes;
}

TEST(Skin, FilesAreReadOrRefusedWithTheLine) {
    test::TempDir dir;
    test::WriteFile(dir / "body.ppm", Ppm(3, 2, 0x40));
    const std::string whole = Ppm(3, 2, 0x40);
    test::WriteFile(dir / "short.ppm", whole.substr(0, whole.size() - 1));
    struct Case {
        const char* text;
        bool ok;
        const char* error;  // part of the message
    } cases[] = {
        {"# comment\nbitmap body.ppm\nrotation 90\nlcd 4 5\nkey 0 9 0 9 41\ntouch 10 20 30 40\n", true, ""},
        {"", true, ""},
        {"rotation 45\n", false, "line 1"},
        {"lcd 1\n", false, "line 1"},
        {"key 0 9 0 9 100\n", false, "line 1"},
        {"\nkey 9 0 0 9 4\n", false, "line 2"},
        {"touch -1 0 0 9\n", false, "line 1"},
        {"touch 0 65536 0 9\n", false, "line 1"},
        {"touch 0 1 0 1 extra\n", false, "line 1"},
        {"colour red\n", false, "line 1"},
        {"bitmap missing.ppm\n", false, "missing.ppm"},
        {"bitmap short.ppm\n", false, "cut short"},
    };
    for (const Case& c : cases) {
        Skin skin;
        std::string error;
        EXPECT_EQ(SkinParse(c.text, dir.path(), &skin, &error), c.ok) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
    }
    Skin skin;
    std::string error;
    ASSERT_TRUE(SkinParse(cases[0].text, dir.path(), &skin, &error));
    EXPECT_EQ(skin.width, 2);  // turned by 90 degrees
    EXPECT_EQ(skin.height, 3);
    EXPECT_EQ(skin.lcdLeft, 4);
    ASSERT_EQ(skin.regions.size(), 2u);
    EXPECT_EQ(skin.regions[1].code, kSkinTouchCode);
    EXPECT_EQ(SkinRegionAt(skin, 9, 9), &skin.regions[0]);
    EXPECT_EQ(SkinRegionAt(skin, 15, 35), &skin.regions[1]);
    EXPECT_EQ(SkinRegionAt(skin, 10, 10), nullptr);
}

TEST(Skin, PicturesTurnAndTouchesTurnBack) {
    // 3 x 2 picture 1 2 3 / 4 5 6 turned clockwise.
    std::vector<uint32_t> pixels = {1, 2, 3, 4, 5, 6};
    int32_t w = 3, h = 2;
    SkinRotate(&pixels, &w, &h, 90);
    EXPECT_EQ(pixels, (std::vector<uint32_t>{4, 1, 5, 2, 6, 3}));
    EXPECT_EQ(w, 2);
    SkinRotate(&pixels, &w, &h, 270);
    EXPECT_EQ(pixels, (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
    SkinRotate(&pixels, &w, &h, 180);
    EXPECT_EQ(pixels, (std::vector<uint32_t>{6, 5, 4, 3, 2, 1}));

    struct Case {
        int32_t rotation, x, y, wantX, wantY;
    } cases[] = {{0, 10, 20, 10, 20}, {90, 10, 20, 300, 10}, {180, 10, 20, 230, 300}, {270, 10, 20, 20, 230}};
    for (const Case& c : cases) {
        int32_t x = c.x, y = c.y;
        SkinTurnTouch(c.rotation, 240, 320, &x, &y);
        EXPECT_EQ(x, c.wantX) << c.rotation;
        EXPECT_EQ(y, c.wantY) << c.rotation;
    }
    std::vector<uint32_t> out;
    std::string error;
    for (const char* bad : {"P5\n1 1\n255\n...", "P6\n0 1\n255\n", "P6\n1 1\n65535\n......", "P6 99999999 1 255 "})
        EXPECT_FALSE(SkinParsePpm(bad, &out, &w, &h, &error)) << bad;
}

class DisplayFixture : public test::BoardDeviceTest {
protected:
    static void SetUpTestSuite() {
        setenv("WIN32_HEADLESS", "1", 1);
    }
    void SetUp() override {
        test::BoardDeviceTest::SetUp();
        RunCode = kRunPowerOn;
        DisplayRunStart(kRunPowerOn);
        PendingEventWord = 0;
    }
    void TearDown() override {
        RunCode = kRunExit;
        DisplayRunEnd(kRunExit);
        test::BoardDeviceTest::TearDown();
    }
    // The run code asked for since the last call (kRunPowerOn: none).
    int32_t Asked() {
        const bool ended = PendingEventWord.load() >> kPendingEndRun & 1;
        const int32_t code = ended ? RunCode.load() : kRunPowerOn;
        PendingEventWord = 0;
        RunCode = kRunPowerOn;
        return code;
    }
    // Writes a session file of these chunks (tag, content) at `name` in the test's folder.
    std::string Session(const std::string& name, const std::vector<std::pair<uint32_t, std::string>>& chunks) {
        const std::string path = dir / name;
        SessSetPath(path.c_str());
        SessTruncate();
        for (const auto& [tag, content] : chunks) SessWriteChunk(tag, content.data(), uint32_t(content.size()));
        EXPECT_TRUE(SessFinishSave());
        return path;
    }
    // The chunks that every restorable session holds.
    static std::vector<std::pair<uint32_t, std::string>> Required() {
        return {{FourCC(">pow"), std::string(16, '\0')}, {FourCC(">gpi"), std::string(8, '\0')}};
    }
    test::TempDir dir;
};

TEST_F(DisplayFixture, KeysAndWheelReachTheKeypad) {
    DisplayKey('B', 'b', true, false);
    EXPECT_EQ(Keypad.key[1], 1u);
    EXPECT_TRUE(PendingEventWord.load() >> kPendingKeypad & 1);
    DisplayKey('B', 'b', false, false);
    EXPECT_EQ(Keypad.key[1], 0u);
    DisplayKey(0x1B, 0, true, false);  // Escape: no key
    for (uint32_t k : Keypad.key) EXPECT_EQ(k, 0u);
    DisplayWheel(240);
    EXPECT_EQ(DeviceRead(0x41500010) & 0xFF, 2u);
    Opt.SensorialIsolation = 1;
    DisplayKey('B', 'b', true, false);
    EXPECT_EQ(Keypad.key[1], 0u);
}

TEST_F(DisplayFixture, MouseOnThePanelIsThePen) {
    DisplayButton(1, true, 250, 10);  // beside a 240-pixel panel
    CpuServicePending();
    EXPECT_EQ(Touch.penDown, 0u);
    DisplayButton(1, false, 250, 10);
    DisplayButton(1, true, 12, 34);
    CpuServicePending();
    EXPECT_EQ(Touch.penDown, 1u);
    EXPECT_EQ(Touch.x, 12u);
    EXPECT_EQ(Touch.y, 34u);
    DisplayMotion(500, -5);  // dragged off the panel: clamped to it
    CpuServicePending();
    EXPECT_EQ(Touch.x, 239u);
    EXPECT_EQ(Touch.y, 0u);
    DisplayButton(1, false, 500, -5);
    TouchSample(0);
    EXPECT_EQ(Touch.penDown, 0u);
}

TEST_F(DisplayFixture, SkinRegionsPressKeysAndTurnTouches) {
    test::WriteFile(dir / "body.ppm", Ppm(320, 260, 0x80));
    test::WriteFile(dir / "device.skin", "bitmap body.ppm\nrotation 90\nlcd 10 10\n"
                                         "key 0 9 0 9 41\ntouch 10 329 10 249\n");
    OptSetText(Opt.SkinName, (dir / "device.skin").c_str());
    Opt.HasSkin = 1;
    ASSERT_TRUE(DisplayLoadSkin());
    int width, height, left, top;
    DisplayGeometry(&width, &height, &left, &top);
    EXPECT_EQ(width, 260);  // the turned picture
    EXPECT_EQ(height, 330);  // and the panel below its LCD corner
    EXPECT_EQ(left, 10);

    DisplayButton(1, true, 5, 5);  // key 41: the digit 1 at position 11
    EXPECT_EQ(Keypad.key[11], 1u);
    DisplayButton(1, false, 5, 5);
    EXPECT_EQ(Keypad.key[11], 0u);

    DisplayButton(1, true, 10 + 20, 10 + 100);  // (20, 100) in the region, turned by 90 degrees
    CpuServicePending();
    EXPECT_EQ(Touch.penDown, 1u);
    EXPECT_EQ(Touch.x, 320u - 100);  // H - y
    EXPECT_EQ(Touch.y, 20u);
    DisplayMotion(10 + 20, 10 + 10);  // H - y lies beyond the panel: clamped into it
    CpuServicePending();
    EXPECT_EQ(Touch.x, 239u);
    DisplayButton(1, false, 30, 20);

    DisplayButton(1, true, 300, 300);  // outside every region: drags, touches nothing
    EXPECT_EQ(Keypad.key[11], 0u);
    DisplayButton(1, false, 300, 300);

    Opt.HasSkin = 0;  // a skin file that cannot be read is not used
    EXPECT_FALSE(DisplayLoadSkin());
    Opt.HasSkin = 1;
    OptSetText(Opt.SkinName, (dir / "missing.skin").c_str());
    EXPECT_FALSE(DisplayLoadSkin());
}

TEST_F(DisplayFixture, CommandsAndDroppedFilesAskForRunCodes) {
    const std::string other = Session("other.aes", Required()), dropped = Session("dropped.session", Required());
    struct Case {
        unsigned command;
        const char* fileChoice;  // scripted dialog answer; "" cancels
        int32_t code;
    } cases[] = {
        {kCmdExit, nullptr, kRunExit},
        {kCmdSoftReset, nullptr, kRunSoftReset},
        {kCmdHardReset, nullptr, kRunHardReset},
        {kCmdSaveState, "", kRunPowerOn},
        {kCmdSaveState, "/tmp/saved", kRunSave},  // the default extension is added
        {kCmdLoadState, other.c_str(), kRunLoad},
        {kCmdSelectRom, "/tmp/new.aei", kRunHardReset},
        {kCmdSelectRom, "/tmp/new.aei", kRunPowerOn},  // the same ROM again: nothing
        {kCmdSelectRom, "", kRunPowerOn},
    };
    for (const Case& c : cases) {
        if (c.fileChoice) win32::headless::ScriptFileChoice(c.fileChoice);
        DisplayCommand(c.command);
        EXPECT_EQ(Asked(), c.code) << c.command << " " << (c.fileChoice ? c.fileChoice : "");
    }
    EXPECT_EQ(SessPath, other);
    EXPECT_STREQ(RomPath(), "/tmp/new.aei");
    EXPECT_EQ(win32::headless::LastFileDialogTitle(), "Open ROM File");

    win32::headless::ScriptMenuChoice(kCmdSoftReset);  // the right button opens the context menu
    DisplayButton(3, true, 10, 10);
    EXPECT_EQ(Asked(), kRunSoftReset);
    const std::vector<win32::PopupItem> menu = win32::headless::LastMenu();
    ASSERT_FALSE(menu.empty());
    EXPECT_EQ(menu.front().id, unsigned(kCmdSoftReset));
    EXPECT_EQ(menu.back().id, unsigned(kCmdExit));

    DisplayDropped("/tmp/dropped.widebin");
    EXPECT_EQ(Asked(), kRunHardReset);
    EXPECT_STREQ(RomPath(), "/tmp/dropped.widebin");
    DisplayDropped(dropped);
    EXPECT_EQ(Asked(), kRunLoad);
    EXPECT_EQ(SessPath, dropped);
    DisplayDropped("/tmp/notes.txt");
    EXPECT_EQ(Asked(), kRunPowerOn);
    EXPECT_EQ(win32::headless::LastInfoBox(),
              std::vector<std::string>{"Sorry, these files are not supported at the moment"});
    EXPECT_STREQ(RomPath(), "/tmp/dropped.widebin");

    DisplayClose();
    EXPECT_EQ(Asked(), kRunExit);
    const int32_t onTop = Opt.AlwaysOnTop;
    DisplayCommand(kCmdAlwaysOnTop);
    EXPECT_EQ(Opt.AlwaysOnTop, !onTop);
    DisplayMoved(300, 200);
    EXPECT_EQ(Opt.CornerX, 300);
    EXPECT_EQ(Opt.CornerY, 200);
    DisplayKey(0x10, 0, true, false);  // Shift held: the About box shows the build date
    DisplayCommand(kCmdAbout);
    const std::vector<std::string> about = win32::headless::LastInfoBox();
    ASSERT_EQ(about.size(), 3u);
    EXPECT_EQ(about[1], "Zylonite B1 Version");
    EXPECT_EQ(about[2].rfind("Built on ", 0), 0u);
}

// A session that a restore could not take whole, chosen in the Load State dialog or dropped on
// the window, is refused with a message before the run ends: the machine runs on, and the session
// path that saves use stays as it was.
TEST_F(DisplayFixture, SessionsThatCannotBeRestoredAreRefusedAndTheRunGoesOn) {
    const std::string valid = Session("valid.aes", Required());
    std::string bytes = test::ReadFile(valid);
    auto withRequired = [](std::vector<std::pair<uint32_t, std::string>> more) {
        std::vector<std::pair<uint32_t, std::string>> all = Required();
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    std::string clock(16464, '\0'), patches(2316, '\0');
    clock[64 + 1] = 0x20;  // 8192 future events: more than the table holds
    patches[0] = 1;        // one entry, whose handler (index 1) this build does not know
    patches[12 + 12] = 1;
    std::string damaged = bytes;
    damaged[16 + 4] ^= 0x55;  // inside the first chunk's zlib stream
    struct Case {
        std::string file;
        const char* problem;
    } cases[] = {
        {dir / "missing.aes", "cannot be read"},
        {Session("empty.aes", {}), "has no chunk >"},
        {Session("nogpio.aes", {Required()[0]}), "has no chunk >gpi of 8 bytes"},
        {Session("clock.aes", withRequired({{FourCC(">clk"), clock}})), "chunk >clk holds values"},
        {Session("patch.aes", withRequired({{FourCC(">pat"), patches}})), "chunk >pat holds values"},
        {"cut.aes", "chunk >gpi at offset"},
        {"tail.aes", "ends inside a chunk header"},
        {"text.aes", "is damaged"},
        {"damaged.aes", "chunk >pow at offset 0 is damaged"},
    };
    // Cut two bytes into the second chunk's stream.
    const size_t second = 16 + ((ChunkGet32(reinterpret_cast<const uint8_t*>(bytes.data()) + 8) + 15) & ~15u);
    test::WriteFile(dir / "cut.aes", bytes.substr(0, second + 16 + 2));
    test::WriteFile(dir / "tail.aes", bytes + "12345678");
    test::WriteFile(dir / "text.aes", "This is not a session, only a few words of text.\n");
    test::WriteFile(dir / "damaged.aes", damaged);
    for (Case& c : cases) {
        if (c.file.find('/') == std::string::npos) c.file = dir / c.file;
        for (bool dropped : {false, true}) {
            SessSetPath(valid.c_str());
            if (dropped) {
                DisplayDropped(c.file);
            } else {
                win32::headless::ScriptFileChoice(c.file);
                DisplayCommand(kCmdLoadState);
            }
            EXPECT_EQ(Asked(), kRunPowerOn) << c.file;
            EXPECT_EQ(SessPath, valid);
            const std::vector<std::string> box = win32::headless::LastInfoBox();
            ASSERT_EQ(box.size(), 2u) << c.file;
            EXPECT_EQ(box[0], c.file);
            EXPECT_NE(box[1].find(c.problem), std::string::npos) << c.file << ": " << box[1];
        }
    }
    // Chunks of other layouts (another length) are no reason to refuse: their devices power on.
    const std::string other = Session("other.aes", withRequired({{FourCC(">clk"), "short"}}));
    DisplayDropped(other);
    EXPECT_EQ(Asked(), kRunLoad);
    EXPECT_EQ(SessPath, other);
}

TEST_F(DisplayFixture, TheWindowShowsTheFrameInsideTheSkinAndTheStatusLine) {
    int width, height;
    DisplayRepaint();
    EXPECT_TRUE(DisplayShownFrame(&width, &height).empty());  // nothing displayed: white
    EXPECT_EQ(width, 240);
    EXPECT_EQ(height, 320);

    // A 2 x 2 frame at 16 bits, lines doubled.
    const uint16_t frame[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
    std::memcpy(MemDram + 0x1000, frame, sizeof frame);
    LcdShown.width = 2;
    LcdShown.height = 2;
    LcdShown.bpp = 16;
    LcdShown.doubling = 1;
    LcdShown.frame = kDramBase + 0x1000;
    LcdShown.shown = 1;
    DisplayRepaint();
    EXPECT_EQ(DisplayShownFrame(&width, &height),
              (std::vector<uint32_t>{0xF80000, 0x00FC00, 0xF80000, 0x00FC00, 0x0000F8, 0xF8FCF8,
                                     0x0000F8, 0xF8FCF8}));
    EXPECT_EQ(width, 2);
    EXPECT_EQ(height, 4);

    test::WriteFile(dir / "body.ppm", Ppm(4, 5, 0x10));
    test::WriteFile(dir / "small.skin", "bitmap body.ppm\nlcd 1 1\n");
    OptSetText(Opt.SkinName, (dir / "small.skin").c_str());
    Opt.HasSkin = 1;
    ASSERT_TRUE(DisplayLoadSkin());
    DisplayRepaint();
    const std::vector<uint32_t> shown = DisplayShownFrame(&width, &height);
    ASSERT_EQ(shown.size(), 20u);
    EXPECT_EQ(shown[0], 0x101010u);             // the picture around the panel
    EXPECT_EQ(shown[1 * 4 + 1], 0xF80000u);     // the panel at the LCD corner
    EXPECT_EQ(shown[4 * 4 + 2], 0xF8FCF8u);
    EXPECT_EQ(shown[4 * 4 + 3], 0x101010u);

    Opt.DumpMips = 1;
    Opt.TimeLimit = 0;
    EvtStatusTick(0);
    EXPECT_EQ(DisplayTitle(), EvtStatusLine());
    EXPECT_NE(DisplayTitle().find("192.168.1.101"), std::string::npos);
}

}  // namespace
}  // namespace tamsk
