// The debugger program: its preferences file, command line and text windows in-process, and the
// built program against the device simulator over each link (headless) and on a real display
// (Xvfb, keys typed with xdotool).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "../../link/tests/support/DevSim.h"
#include "quillwatch/app/App.h"
#include "quillwatch/app/Prefs.h"
#include "quillwatch/app/TextWindows.h"
#include "quillwatch/engine/debugger/RunControl.h"
#include "quillwatch/link/DebuggerServices.h"
#include "standin/win32/Dialogs.h"
#include "standin/win32/KernelObjects.h"
#include "standin/win32/WindowManager.h"

namespace {

using namespace quillwatch;
using quillwatch::DbgContextType;
using quillwatch::test::CommandOutput;
using quillwatch::test::DevSim;
using quillwatch::test::Socat;
using quillwatch::test::TempDir;

const std::string kProgram = VANTOR_BIN_DIR "/quillwatch";

TEST(Prefs, DefaultsRoundTripAndDamagedFiles) {
    QuillwatchPrefs d;
    PrefsDefaults(&d, 1000, 800);
    EXPECT_STREQ(d.font.faceName, "Lucida Console");
    EXPECT_EQ(d.font.height, -11);
    EXPECT_EQ(d.frame.showCmd, 3u);
    EXPECT_EQ(d.frame.right, 990);
    EXPECT_EQ(d.windows[3].left, 1000 - 1000 / 7);
    EXPECT_EQ(d.linkCommand, 40022u);
    EXPECT_EQ(d.baud, 57600u);
    EXPECT_EQ(d.host, 0x7F000001u);

    // A record goes out and comes back field by field, little-endian at the fixed offsets.
    QuillwatchPrefs p = d;
    p.linkCommand = 40026;
    p.host = 0x0A000002;
    p.handshake = 1;
    std::strcpy(p.folder, "/home/dev/roms/");
    uint8_t bytes[kPrefsSize];
    PrefsEncode(p, bytes);
    EXPECT_EQ(bytes[0] | bytes[1] << 8, 2400);
    EXPECT_EQ(bytes[330] | bytes[331] << 8, 40026);
    EXPECT_EQ(bytes[348], 0x02);
    EXPECT_EQ(bytes[351], 0x0A);
    EXPECT_EQ(std::memcmp(bytes + 30, "Lucida Console", 14), 0);
    QuillwatchPrefs back;
    ASSERT_TRUE(PrefsDecode(bytes, sizeof bytes, &back, 1000, 800));
    EXPECT_EQ(back.linkCommand, 40026u);
    EXPECT_EQ(back.host, 0x0A000002u);
    EXPECT_EQ(back.handshake, 1);
    EXPECT_STREQ(back.folder, "/home/dev/roms/");
    EXPECT_EQ(back.windows[4].bottom, d.windows[4].bottom);

    // Texts without their terminating zero are cut, never read past.
    std::memset(bytes + 30, 'F', 32);
    std::memset(bytes + 352, 'D', kPrefsSize - 352);
    ASSERT_TRUE(PrefsDecode(bytes, sizeof bytes, &back, 1000, 800));
    EXPECT_EQ(std::strlen(back.font.faceName), 31u);
    EXPECT_EQ(std::strlen(back.folder), kPrefsSize - 352 - 1);

    // Short, empty or of another size: the defaults.
    struct Case {
        size_t size;
        uint16_t sizeField;
    } cases[] = {{kPrefsSize - 1, 2400}, {0, 2400}, {kPrefsSize, 2399}};
    for (const Case& c : cases) {
        PrefsEncode(p, bytes);
        bytes[0] = static_cast<uint8_t>(c.sizeField);
        bytes[1] = static_cast<uint8_t>(c.sizeField >> 8);
        EXPECT_FALSE(PrefsDecode(bytes, c.size, &back, 1000, 800)) << c.size;
        EXPECT_EQ(back.linkCommand, 40022u);
        EXPECT_EQ(back.host, 0x7F000001u);
    }
    TempDir dir;
    EXPECT_FALSE(PrefsRead((dir.path() + "/none").c_str(), &back, 1000, 800));
    ASSERT_TRUE(PrefsWrite((dir.path() + "/prefs").c_str(), p));
    EXPECT_TRUE(PrefsRead((dir.path() + "/prefs").c_str(), &back, 1000, 800));
    EXPECT_EQ(back.host, 0x0A000002u);
}

TEST(Options, HostArgumentAndOptions) {
    struct Case {
        std::vector<const char*> args;
        bool ok, hasHost;
        uint32_t host;
        uint16_t port;
        int link;
    } cases[] = {
        {{}, true, false, 0, 0, -1},
        {{"10.1.2.3"}, true, true, 0x0A010203, 0, -1},
        {{"127.0.0.1:2345"}, true, true, 0x7F000001, 2345, -1},
        {{"localhost"}, true, true, 0x7F000001, 0, -1},
        {{"1.2.3.4", "5.6.7.8"}, true, false, 0, 0, -1},  // more than one: none
        {{"--link", "pipe"}, true, false, 0, 0, 0},
        {{"--link", "com3", "--com3", "/dev/ttyUSB0"}, true, false, 0, 0, 40024},
        {{"--link", "usb"}, true, false, 0, 0, 40027},
        {{"--link", "modem"}, false, false, 0, 0, -1},
        {{"--com1"}, false, false, 0, 0, -1},
        {{"--bogus"}, false, false, 0, 0, -1},
        {{"1.2.3.4:0"}, false, false, 0, 0, -1},
        {{"1.2.3.4:99999"}, false, false, 0, 0, -1},
        {{"1.2.3.4:x"}, false, false, 0, 0, -1},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"quillwatch"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        QuillwatchOptions o;
        const std::string label = c.args.empty() ? "(none)" : c.args[0];
        ASSERT_EQ(ParseOptions(static_cast<int>(argv.size()), argv.data(), &o), c.ok) << label;
        if (!c.ok) {
            EXPECT_FALSE(o.error.empty());
            continue;
        }
        EXPECT_EQ(o.hasHost, c.hasHost) << label;
        if (c.hasHost) {
            EXPECT_EQ(o.host, c.host) << label;
        }
        EXPECT_EQ(o.port, c.port) << label;
        EXPECT_EQ(o.link, c.link) << label;
    }
}

TEST(Options, InstallLineKeepsThePathAsTyped) {
    // Backslashes and quotes are escaped, so the command language reads the path back unchanged.
    EXPECT_EQ(AppAddVrxLine("C:\\new\\table.vrx"), "sym \\addvrx \"C:\\\\new\\\\table.vrx\"");
    EXPECT_EQ(AppAddVrxLine("a\"b"), "sym \\addvrx \"a\\\"b\"");
    EXPECT_EQ(AppAddVrxLine("/tmp/x.vrx"), "sym \\addvrx \"/tmp/x.vrx\"");
}

// A text window in the headless backend whose line procedure records what it gets and answers
// each line with one line of output.
class TextWindow : public ::testing::Test {
protected:
    static void Record(const char* line, win32::LONG_PTR context) {
        auto* self = reinterpret_cast<TextWindow*>(context);
        self->lines.push_back(line);
        std::string out = std::string("out:") + line + "\r\n";
        win32::SendMessageA(self->edit, win32::EM_REPLACESEL, 0, reinterpret_cast<win32::LPARAM>(out.c_str()));
    }
    void SetUp() override {
        TextWindowsRegister();
        win32::WNDCLASSA wc{};
        wc.lpfnWndProc = win32::DefWindowProcA;
        wc.lpszClassName = "TextWindowTestTop";
        win32::RegisterClassA(&wc);
        top = win32::CreateWindowExA(0, "TextWindowTestTop", "top", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        client = win32::CreateWindowExA(0, win32::MDICLIENT_CLASSA, "", 0, 0, 0, 0, 0, top, nullptr, nullptr, nullptr);
        window = TextWindowCreate(client, "Debugger", Record, true);
        win32::SendMessageA(window, win32::WM_COMMAND, cmdSetContext, reinterpret_cast<win32::LPARAM>(this));
        edit = AppEditOf(window);
    }
    void TearDown() override { win32::DestroyWindow(top); }
    std::string Text() {
        char buf[4096];
        win32::GetWindowTextA(edit, buf, sizeof buf);
        return buf;
    }
    void Key(win32::WPARAM ch) { win32::SendMessageA(edit, win32::WM_CHAR, ch, 0); }
    win32::HWND top, client, window, edit;
    std::vector<std::string> lines;
};

TEST_F(TextWindow, EnterRunsTheWholeLineOrEverySelectedLine) {
    win32::SetWindowTextA(edit, "first\r\nsecond line\r\nthird");
    win32::SendMessageA(edit, win32::EM_SETSEL, 10, 10);  // the caret inside "second line"
    Key(win32::VK_RETURN);
    ASSERT_EQ(lines, std::vector<std::string>{"second line"});
    EXPECT_EQ(Text(), "first\r\nsecond line\r\nthird\r\nout:second line\r\n");

    lines.clear();
    win32::SendMessageA(edit, win32::EM_SETSEL, 0, 25);  // "first" to "third"
    Key(win32::VK_RETURN);
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "second line", "third"}));

    // Typed characters go in at the caret, and Backspace takes the last one back.
    lines.clear();
    for (char c : std::string("dmx")) Key(static_cast<win32::WPARAM>(c));
    Key(win32::VK_BACK);
    Key(win32::VK_RETURN);
    EXPECT_EQ(lines, std::vector<std::string>{"dm"});
}

TEST_F(TextWindow, UndoRightAfterACommandRemovesItsOutputOnly) {
    for (char c : std::string("reg")) Key(static_cast<win32::WPARAM>(c));
    Key(win32::VK_RETURN);
    EXPECT_EQ(Text(), "reg\r\nout:reg\r\n");
    Key(26);  // Ctrl+Z
    EXPECT_EQ(Text(), "reg\r\n");
    // Shift+Back deletes from the caret to the end.
    win32::SendMessageA(edit, win32::EM_SETSEL, 1, 1);
    win32::headless::SetKeyDown(static_cast<int>(win32::VK_SHIFT), true);
    win32::SendMessageA(edit, win32::WM_KEYDOWN, win32::VK_BACK, 0);
    win32::headless::SetKeyDown(static_cast<int>(win32::VK_SHIFT), false);
    EXPECT_EQ(Text(), "r");
    // Otherwise Ctrl+Z undoes typing and edits one change at a time; Edit > Undo and Redo as well.
    Key('d');
    Key('m');
    EXPECT_EQ(Text(), "rdm");
    Key(26);
    EXPECT_EQ(Text(), "r");
    win32::SendMessageA(window, win32::WM_COMMAND, cmdRedo, 0);
    EXPECT_EQ(Text(), "rdm");
    win32::SendMessageA(window, win32::WM_COMMAND, cmdUndo, 0);
    EXPECT_EQ(Text(), "r");
    Key(26);  // the Shift+Back deletion
    EXPECT_EQ(Text(), "reg\r\n");
}

TEST_F(TextWindow, FindWrapsOnceInEitherDirection) {
    win32::SetWindowTextA(edit, "Alpha beta\r\nALPHA gamma\r\nalpha");
    win32::SendMessageA(edit, win32::EM_SETSEL, 0, 0);
    struct Step {
        const char* what;
        bool matchCase, down;
        bool found;
        size_t at;
    } steps[] = {
        {"alpha", false, true, true, 0},    // from the caret
        {"alpha", false, true, true, 12},   // after the selection
        {"alpha", false, true, true, 25},
        {"alpha", false, true, true, 0},    // wrapped
        {"alpha", false, false, true, 25},  // backwards from the start wraps to the last
        {"alpha", true, false, true, 25},
        {"ALPHA", true, true, true, 12},
        {"delta", false, true, false, 12},  // not found: the selection stays
    };
    for (const Step& s : steps) {
        EXPECT_EQ(TextWindowFind(edit, s.what, s.matchCase, s.down), s.found) << s.what;
        win32::DWORD a = 0, b = 0;
        win32::SendMessageA(edit, win32::EM_GETSEL, reinterpret_cast<win32::WPARAM>(&a),
                            reinterpret_cast<win32::LPARAM>(&b));
        EXPECT_EQ(a, s.at) << s.what;
    }
}

TEST_F(TextWindow, SourceWindowShowsTheStoppedLine) {
    DbgContextType* noContext = nullptr;
    win32::HWND source = SourceWindowCreate(client, &noContext);
    win32::HWND pane = AppEditOf(source);
    char buf[256];
    win32::GetWindowTextA(pane, buf, sizeof buf);
    EXPECT_STREQ(buf, "\nNo current source file available");
    TempDir dir;
    const std::string file = dir.path() + "/main.c";
    std::ofstream(file) << "int a;\nint main(void) {\n  return a;\n}\n";
    ASSERT_NE(gDbgSourceHooks.showLine, nullptr);
    gDbgSourceHooks.showLine(file.c_str(), 3);
    win32::DWORD a = 0, b = 0;
    win32::SendMessageA(pane, win32::EM_GETSEL, reinterpret_cast<win32::WPARAM>(&a), reinterpret_cast<win32::LPARAM>(&b));
    win32::GetWindowTextA(pane, buf, sizeof buf);
    EXPECT_EQ(std::string(buf + a, b - a), "  return a;");
    // The divider: a fifth of the height down, green while not attached, red while attached.
    EXPECT_DOUBLE_EQ(win32::GetSplitRatio(pane), 0.2);
    EXPECT_EQ(win32::GetSplitColor(pane), win32::RGB(0, 217, 0));
    // The marker column: the current line's triangle only while attached.
    EXPECT_EQ(win32::GetTextMarkMargin(pane), 20);
    EXPECT_TRUE(win32::GetTextMarks(pane).empty());
    DbgMinimalSetAttached(true);
    gDbgSourceHooks.showLine(file.c_str(), 3);
    auto marks = win32::GetTextMarks(pane);
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].line, 2u);
    EXPECT_EQ(marks[0].kind, win32::TextMarkKind::GreenTriangle);
    EXPECT_EQ(win32::GetSplitColor(pane), win32::RGB(255, 0, 0));
    gDbgSourceHooks.clearLine();  // the device runs
    EXPECT_TRUE(win32::GetTextMarks(pane).empty());
    DbgMinimalSetAttached(false);
    gDbgSourceHooks.showLine((dir.path() + "/gone.c").c_str(), 1);
    win32::GetWindowTextA(pane, buf, sizeof buf);
    EXPECT_EQ(std::string(buf), "\nCould not read source file " + dir.path() + "/gone.c");
    win32::DestroyWindow(source);
    EXPECT_EQ(gDbgSourceHooks.showLine, nullptr);
}

TEST_F(TextWindow, FunctionChooserSelectsTheChosenFunctionsLine) {
    DbgContextType* noContext = nullptr;
    win32::HWND source = SourceWindowCreate(client, &noContext);
    win32::HWND pane = AppEditOf(source);
    auto selected = [&] {
        char buf[512];
        win32::GetWindowTextA(pane, buf, sizeof buf);
        win32::DWORD a = 0, b = 0;
        win32::SendMessageA(pane, win32::EM_GETSEL, reinterpret_cast<win32::WPARAM>(&a),
                            reinterpret_cast<win32::LPARAM>(&b));
        return std::string(buf + a, b - a);
    };
    // No current source file: nothing is shown.
    win32::SendMessageA(source, win32::WM_COMMAND, cmdFunctions, 0);
    EXPECT_TRUE(win32::headless::LastListItems().empty());

    TempDir dir;
    const std::string file = dir.path() + "/main.c";
    std::ofstream(file) << "int zeta(void) {\n  return 1;\n}\n#pragma mark Tools\nint beta(int x) {\n  return x;\n}\n";
    gDbgSourceHooks.showLine(file.c_str(), 6);  // the caret in beta
    // In file order, the last entry at or before the caret's line first; the chosen line selected.
    win32::headless::ScriptListChoice(0);
    win32::SendMessageA(source, win32::WM_COMMAND, cmdFunctions, 0);
    EXPECT_EQ(win32::headless::LastListItems(), (std::vector<std::string>{"zeta", "Tools", "beta"}));
    EXPECT_EQ(win32::headless::LastListInitial(), 2);
    EXPECT_EQ(selected(), "int zeta(void) {");
    // Ctrl+Shift with the ";" key: sorted by name (byte order, so capitals first).
    win32::headless::SetKeyDown(static_cast<int>(win32::VK_CONTROL), true);
    win32::headless::SetKeyDown(static_cast<int>(win32::VK_SHIFT), true);
    win32::headless::ScriptListChoice(0);
    win32::SendMessageA(pane, win32::WM_KEYDOWN, 0xBA, 0);
    win32::headless::SetKeyDown(static_cast<int>(win32::VK_SHIFT), false);
    win32::headless::SetKeyDown(static_cast<int>(win32::VK_CONTROL), false);
    EXPECT_EQ(win32::headless::LastListItems(), (std::vector<std::string>{"Tools", "beta", "zeta"}));
    EXPECT_EQ(win32::headless::LastListInitial(), 2);  // zeta, at line 1
    EXPECT_EQ(selected(), "#pragma mark Tools");
    // Cancel leaves the selection.
    win32::SendMessageA(source, win32::WM_COMMAND, cmdFunctions, 0);
    EXPECT_EQ(selected(), "#pragma mark Tools");
    // A file that has gone since it was shown.
    std::remove(file.c_str());
    testing::internal::CaptureStderr();
    win32::SendMessageA(source, win32::WM_COMMAND, cmdFunctions, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Error opening file\n");
    win32::DestroyWindow(source);
}

// Runs the program headless in its own folder with lines on its standard input; its standard
// output.
std::string RunHeadless(const TempDir& dir, const std::string& args, const std::string& input,
                        const std::string& env = "") {
    return CommandOutput("cd '" + dir.path() + "' && printf '" + input + "' | ASAN_OPTIONS=detect_leaks=0 " + env +
                         " timeout 120 '" + kProgram + "' --headless " + args + " 2>/dev/null");
}

const char kDump[] = "00000000: 00 07 0E 15 1C 23 2A 31   38 3F 46 4D 54 5B 62 69";

class Program : public ::testing::Test {
protected:
    TempDir dir;
    DevSim sim{{"--pattern", "0x0:0x1000", "--log", dir.path() + "/log"}};
};

TEST_F(Program, DisplaysMemoryOverTheEmulatorLinkAndStoresTheHost) {
    const std::string out = RunHeadless(dir, "127.0.0.1:" + std::to_string(sim.port()), "att\\nreg\\ndm 0 40\\n");
    EXPECT_NE(out.find("Remote stopped due to"), std::string::npos) << out;
    EXPECT_NE(out.find("PC  = 00010040"), std::string::npos) << out;
    EXPECT_NE(out.find(kDump), std::string::npos) << out;
    // The host argument is stored with the Emulator link at exit.
    QuillwatchPrefs p;
    ASSERT_TRUE(PrefsRead((dir.path() + "/Quillwatch.prefs").c_str(), &p, 1280, 1024));
    EXPECT_EQ(p.linkCommand, 40026u);
    EXPECT_EQ(p.host, 0x7F000001u);
}

TEST_F(Program, DisplaysMemoryOverASerialPort) {
    const std::string com = dir.path() + "/com2";
    Socat pty("PTY,link=" + com + ",rawer", "TCP:127.0.0.1:" + std::to_string(sim.port()), com);
    const std::string out = RunHeadless(dir, "--link com2 --com2 '" + com + "'", "att\\ndm 0 40\\n");
    EXPECT_NE(out.find(kDump), std::string::npos) << out;
}

TEST_F(Program, DisplaysMemoryOverThePipe) {
    const std::string pipe = dir.path() + "/pipe";
    Socat server("UNIX-LISTEN:" + pipe + ",fork", "TCP:127.0.0.1:" + std::to_string(sim.port()), pipe);
    const std::string out = RunHeadless(dir, "--link pipe --pipe '" + pipe + "'", "att\\ndm 0 40\\n");
    EXPECT_NE(out.find(kDump), std::string::npos) << out;
}

TEST_F(Program, DisplaysMemoryOverUsb) {
    const std::string devices = dir.path() + "/usb";
    mkdir(devices.c_str(), 0700);
    Socat device("UNIX-LISTEN:" + devices + "/usb0,fork", "TCP:127.0.0.1:" + std::to_string(sim.port()),
                 devices + "/usb0");
    const std::string out = RunHeadless(dir, "--link usb", "att\\ndm 0 40\\n", "DRAVIX_DEVICE_DIR='" + devices + "'");
    EXPECT_NE(out.find(kDump), std::string::npos) << out;
}

TEST_F(Program, TypedCommandsShowInTheDebuggerWindowOnADisplay) {
    if (!std::getenv("DISPLAY") || access("/usr/bin/xdotool", X_OK) != 0)
        GTEST_SKIP() << "needs a display (xvfb-run) and xdotool";
    const std::string result = CommandOutput(VANTOR_SOURCE_DIR "/quillwatch/app/tests/gui_session.sh '" + kProgram +
                                             "' " + std::to_string(sim.port()) + " '" + dir.path() + "' '" +
                                             dir.path() + "/log'");
    EXPECT_NE(result.find("exit 0"), std::string::npos) << result;
    std::ifstream f(dir.path() + "/dump");
    std::string dump((std::istreambuf_iterator<char>(f)), {});
    const size_t debugger = dump.find("=== Debugger");
    ASSERT_NE(debugger, std::string::npos) << dump;
    const std::string text = dump.substr(debugger);
    for (const char* expect : {"att\r\n", "Remote stopped due to", "reg\r\n", "PC  = 00010040", "dm 0 40\r\n", kDump})
        EXPECT_NE(text.find(expect), std::string::npos) << expect << " in " << text;
}

}  // namespace

namespace quillwatch {
namespace {

TEST(Options, RomListingFromTheCommandLine) {
    char dir[] = "/tmp/qwrom-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string folder = dir;
    // A 512-byte image whose reset vector puts the ROM at 0x10C00000; at 0x100: MOVEQ #1,D0; RTS.
    std::string rom(512, '\0');
    const unsigned char reset[] = {0x10, 0xC0, 0x00, 0x00};
    const unsigned char code[] = {0x70, 0x01, 0x4E, 0x75};
    rom.replace(4, 4, reinterpret_cast<const char*>(reset), 4);
    rom.replace(0x100, 4, reinterpret_cast<const char*>(code), 4);
    std::ofstream(folder + "/rom.bin", std::ios::binary) << rom;
    std::ofstream(folder + "/rom.map") << "Entry $10BF8100\n";
    const std::string image = folder + "/rom.bin", map = folder + "/rom.map", out = folder + "/rom.txt";

    std::vector<const char*> argv = {"quillwatch", "--rom-listing", image.c_str(), map.c_str(), out.c_str()};
    testing::internal::CaptureStdout();
    EXPECT_EQ(QuillwatchMain(static_cast<int>(argv.size()), argv.data()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    std::ifstream in(out);
    const std::string listing((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(listing.rfind("\nEntry:\n", 0), 0u) << listing;
    EXPECT_NE(listing.find("MOVEQ"), std::string::npos) << listing;
    EXPECT_NE(listing.find("RTS"), std::string::npos) << listing;

    // A missing map: the message on standard output and a failing exit code.
    const std::string missing = folder + "/none.map";
    argv[3] = missing.c_str();
    testing::internal::CaptureStdout();
    EXPECT_EQ(QuillwatchMain(static_cast<int>(argv.size()), argv.data()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "file: '" + missing + "' not found\n");
    // Fewer than three files is a usage error.
    QuillwatchOptions o;
    const char* shortArgs[] = {"quillwatch", "--rom-listing", "a", "b"};
    EXPECT_FALSE(ParseOptions(4, shortArgs, &o));
    std::system(("rm -rf " + folder).c_str());
}

}  // namespace
}  // namespace quillwatch
