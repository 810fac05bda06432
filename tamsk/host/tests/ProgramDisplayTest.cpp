// The display window on a real X display: the panel ROM draws colour bars at every depth, the
// window shows them (read back with xwd), keys typed and clicks made with xdotool reach the ROM,
// and the context menu saves a session, resets, loads the session again and refuses a file that is
// no session.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/ReadFile.h"
#include "tamsk/host/tests/ProgramRunner.h"

// After the test framework's headers: Xlib defines macros with common names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tamsk::test {
namespace {

constexpr int kWaitMs = 90000;  // a loaded two-core machine may be slow to draw

std::string Capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

void Xdo(const std::string& arguments) { Capture("xdotool " + arguments + " 2>/dev/null"); }

// Turns the X server's repeat of one key (a key symbol name) off, or back to its default.
void KeyRepeats(const std::string& key, bool on) {
    ::Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    XKeyboardControl control{};
    control.key = XKeysymToKeycode(display, XStringToKeysym(key.c_str()));
    control.auto_repeat_mode = on ? AutoRepeatModeDefault : AutoRepeatModeOff;
    if (control.key) XChangeKeyboardControl(display, KBKey | KBAutoRepeatMode, &control);
    XCloseDisplay(display);
}

// The text of the X PRIMARY selection (what a window has selected last); empty when no owner answers.
std::string PrimarySelection() {
    ::Display* display = XOpenDisplay(nullptr);
    if (!display) return "";
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom into = XInternAtom(display, "TAMSK_TEST_SELECTION", False);
    XConvertSelection(display, XA_PRIMARY, utf8, into, window, CurrentTime);
    XFlush(display);
    std::string text;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    XEvent event;
    while (std::chrono::steady_clock::now() < end) {
        if (!XCheckTypedWindowEvent(display, window, SelectionNotify, &event)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        Atom type;
        int format;
        unsigned long count, left;
        unsigned char* data = nullptr;
        if (event.xselection.property != 0 &&
            XGetWindowProperty(display, window, into, 0, 1 << 16, True, AnyPropertyType, &type, &format, &count,
                               &left, &data) == Success &&
            data) {
            text.assign(reinterpret_cast<const char*>(data), count);
            XFree(data);
        }
        break;
    }
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return text;
}

// A window dump read back as 0x00RRGGBB pixels.
struct Shot {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

uint32_t Big32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 |
           uint32_t(uint8_t(b[at + 2])) << 8 | uint8_t(b[at + 3]);
}

int MaskShift(uint32_t mask) {
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

bool ReadXwd(const std::string& b, Shot* shot) {
    if (b.size() < 100) return false;
    auto field = [&](int i) { return Big32(b, size_t(i) * 4); };
    const uint32_t headerSize = field(0), bpp = field(11), bytesPerLine = field(12), byteOrder = field(7);
    const uint32_t red = field(14), green = field(15), blue = field(16), colours = field(19);
    const int width = int(field(4)), height = int(field(5));
    const size_t data = headerSize + size_t(colours) * 12;
    if (bpp != 32 || width <= 0 || height <= 0 || b.size() < data + size_t(bytesPerLine) * height)
        return false;
    shot->width = width;
    shot->height = height;
    shot->pixels.resize(size_t(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t at = data + size_t(y) * bytesPerLine + size_t(x) * 4;
            uint32_t v = 0;
            for (int k = 0; k < 4; ++k) {
                const uint32_t byte = uint8_t(b[at + size_t(k)]);
                v |= byteOrder == 0 ? byte << (8 * k) : byte << (8 * (3 - k));
            }
            const uint32_t r = (v & red) >> MaskShift(red), g = (v & green) >> MaskShift(green),
                           bl = (v & blue) >> MaskShift(blue);
            shot->pixels[size_t(y) * width + x] = r << 16 | g << 8 | bl;
        }
    }
    return true;
}

// The eight bar colours of the panel ROM, as the window shows 5-6-5 colours.
constexpr uint32_t kBars[8] = {0xF80000, 0x00FC00, 0x0000F8, 0xF8FCF8,
                               0x000000, 0xF8FC00, 0x00FCF8, 0xF800F8};

// True when the window shows the bars of this depth: bar i in colour i modulo the depth's colours.
bool ShowsBars(const Shot& shot, unsigned depth) {
    if (shot.width != 240 || shot.height != 320) return false;
    for (int bar = 0; bar < 8; ++bar) {
        const unsigned index = depth == 16 ? unsigned(bar) : unsigned(bar) % (1u << depth);
        for (int y : {5, 160, 315})
            if (shot.At(bar * 30 + 15, y) != kBars[index]) return false;
    }
    return true;
}

// What the ROM prints when the blank bar (row 4, column 5), the key that steps the depth, is down.
const std::string kBlankBar = "key 4 5\n";

class DisplayProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display (run under xvfb-run)";
        if (Capture("command -v xdotool; command -v xwd").find("xwd") == std::string::npos)
            GTEST_SKIP() << "xdotool and xwd are needed (packages xdotool, x11-apps)";
        program.graphical = true;
    }

    // How often the program's output holds `text` so far.
    int Seen(const std::string& text) {
        const std::string& out = program.OutputSoFar();
        int seen = 0;
        for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) ++seen;
        return seen;
    }

    // Waits until the program's output holds `text` `count` times.
    bool WaitForOutput(const std::string& text, int count = 1) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (std::chrono::steady_clock::now() < end) {
            if (Seen(text) >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    bool FindWindow() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (std::chrono::steady_clock::now() < end) {
            const std::string ids = Capture("xdotool search --onlyvisible --class tamsk 2>/dev/null");
            if (!ids.empty()) {
                window = ids.substr(0, ids.find('\n'));
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    Shot TakeShot() {
        Shot shot;
        const std::string file = program.dir / "shot.xwd";
        Capture("xwd -silent -id " + window + " -out " + file + " 2>/dev/null");
        std::string bytes;
        if (vantor::ReadWholeFile(file, &bytes)) ReadXwd(bytes, &shot);
        return shot;
    }

    bool WaitForBars(unsigned depth) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (std::chrono::steady_clock::now() < end) {
            if (ShowsBars(TakeShot(), depth)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // A key pressed and held until the ROM reports it (`echoed` once more), then let go; false when
    // no report came. The ROM sees a key only while it is down, and on a loaded machine the core
    // may not look for a while. X repeats a held key, and each repeat would reach the keypad as a
    // new press, so the key does not repeat while it is held.
    bool TypeKey(const std::string& key, const std::string& echoed) {
        const int before = Seen(echoed);
        KeyRepeats(key, false);
        Xdo("keydown --window " + window + " " + key);
        const bool seen = WaitForOutput(echoed, before + 1);
        Xdo("keyup --window " + window + " " + key);
        KeyRepeats(key, true);
        return seen;
    }

    // The program's windows on screen (the display, and a menu or dialog while one is open).
    std::vector<std::string> VisibleWindows(const std::string& search = "--class tamsk") {
        std::vector<std::string> ids;
        const std::string out = Capture("xdotool search --onlyvisible " + search + " 2>/dev/null");
        for (size_t at = 0; at < out.size();) {
            const size_t end = out.find('\n', at);
            ids.push_back(out.substr(at, end - at));
            at = end == std::string::npos ? out.size() : end + 1;
        }
        return ids;
    }

    // Waits up to `ms` until `search` finds a window that `before` does not hold; its id, empty
    // when none came.
    std::string WaitForNewWindow(const std::string& search, const std::vector<std::string>& before,
                                 int ms = kWaitMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            for (const std::string& id : VisibleWindows(search))
                if (std::find(before.begin(), before.end(), id) == before.end()) return id;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return "";
    }

    // Picks the n-th item of the context menu (1 = the first) with the keyboard, once it shows.
    // A click that a closing dialog still swallowed is made again.
    bool ContextMenu(int item) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        for (;;) {
            const std::vector<std::string> before = VisibleWindows();
            Xdo("mousemove --window " + window + " 120 200 click 3");
            if (!WaitForNewWindow("--class tamsk", before, 10000).empty()) break;
            if (std::chrono::steady_clock::now() > end) return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        for (int i = 0; i < item; ++i) Xdo("key Down");
        Xdo("key Return");
        return true;
    }

    // True when the focused text entry holds exactly `text`, and still does a moment later: the
    // entry is selected whole (which makes its text the PRIMARY selection) and read back.
    bool EntryHolds(const std::string& text) {
        for (int read = 0; read < 2; ++read) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            Xdo("key ctrl+a");
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (PrimarySelection() != text) return false;
        }
        return true;
    }

    // Types a path into the file dialog of this title once it shows, and presses Enter once the
    // dialog's entry holds the whole path. The open dialog's location entry completes names
    // inline while the folders it lists are still loading, which on a loaded machine can change
    // what was typed: the path is typed again until it reads back whole. Ctrl+L shows the open
    // dialog's location entry, or hides it when it is already shown (the dialog remembers it), so
    // the tries alternate with and without it.
    bool AnswerFileDialog(const std::string& title, const std::string& path, bool open) {
        const std::string dialog = WaitForNewWindow("--name '^" + title + "$'", {});
        if (dialog.empty()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        for (int attempt = 0; std::chrono::steady_clock::now() < end; ++attempt) {
            Xdo("windowfocus --sync " + dialog);
            if (open && attempt % 2 == 0) {
                Xdo("key ctrl+l");
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
            }
            Xdo("key ctrl+a");
            Xdo("type --delay 20 '" + path + "'");
            if (EntryHolds(path)) {
                Xdo("key Return");
                return true;
            }
        }
        return false;
    }

    Program program;
    std::string window;
};

TEST_F(DisplayProgram, ShowsThePanelAtEveryDepthTakesKeysAndTouchesAndMenuSessions) {
    program.Start({"-ROM:" VANTOR_BIN_DIR "/roms/panel.aei", "-EnableConsole:true",
                   "-SerialPort:none", "-CornerX:40", "-CornerY:40"});
    ASSERT_TRUE(WaitForOutput("depth 16\n")) << program.OutputSoFar();
    ASSERT_TRUE(FindWindow());
    EXPECT_TRUE(WaitForBars(16));

    // The blank bar (row 4, column 5) steps the depth down; each depth shows its bars.
    for (unsigned depth : {8u, 4u, 2u, 1u}) {
        ASSERT_TRUE(TypeKey("space", kBlankBar)) << program.OutputSoFar();
        ASSERT_TRUE(WaitForOutput("depth " + std::to_string(depth) + "\n")) << program.OutputSoFar();
        EXPECT_TRUE(WaitForBars(depth)) << "depth " << depth;
    }
    EXPECT_EQ(program.OutputSoFar().find("key 4 5\n") != std::string::npos, true);

    // Letters and digits reach the keypad at their matrix positions: A (0, 0), B (0, 1), 1 (1, 3).
    struct Key {
        const char* host;
        const char* echoed;
    } keys[] = {{"a", "key 0 0\n"}, {"b", "key 0 1\n"}, {"1", "key 1 3\n"}};
    for (const Key& key : keys) {
        EXPECT_TRUE(TypeKey(key.host, key.echoed)) << key.host << ": " << program.OutputSoFar();
    }

    // A click on the panel is a touch at its position; a quick one is seen as well.
    Xdo("mousemove --window " + window + " 50 60 mousedown 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Xdo("mouseup 1");
    EXPECT_TRUE(WaitForOutput("touch 50 60\n")) << program.OutputSoFar();
    EXPECT_TRUE(WaitForOutput("pen up\n"));
    Xdo("mousemove --window " + window + " 200 300 click 1");
    EXPECT_TRUE(WaitForOutput("touch 200 300\n")) << program.OutputSoFar();

    // Save State... (the third item), typed into the save dialog.
    const std::string session = program.dir / "menu.aes";
    ASSERT_TRUE(ContextMenu(3));
    ASSERT_TRUE(AnswerFileDialog("Save Session", session, false));
    ASSERT_TRUE(WaitForOutput("<snapshot>")) << program.OutputSoFar();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!std::filesystem::exists(session) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(std::filesystem::exists(session));

    // Soft Reset (the first item): the ROM starts again at 16 bits.
    ASSERT_TRUE(ContextMenu(1));
    ASSERT_TRUE(WaitForOutput("depth 16\n", 2)) << program.OutputSoFar();
    EXPECT_TRUE(WaitForBars(16));

    // Load State... (the fourth item): the panel is back at 1 bit, and the ROM runs on there.
    ASSERT_TRUE(ContextMenu(4));
    ASSERT_TRUE(AnswerFileDialog("Open Session", session, true));
    EXPECT_TRUE(WaitForBars(1));
    EXPECT_TRUE(TypeKey("space", kBlankBar)) << program.OutputSoFar();
    EXPECT_TRUE(WaitForOutput("depth 16\n", 3)) << program.OutputSoFar();

    // A file that is no session, chosen in the same dialog, is refused with a message, and the
    // machine runs on where it was.
    const std::string bad = program.dir / "bad.aes";
    WriteFile(bad, "This is not a session.\n");
    ASSERT_TRUE(ContextMenu(4));
    ASSERT_TRUE(AnswerFileDialog("Open Session", bad, true));
    const std::string box = WaitForNewWindow("--name '^Load State$'", {});
    ASSERT_FALSE(box.empty()) << program.OutputSoFar();
    Xdo("windowfocus --sync " + box);
    Xdo("key Return");
    const auto closed = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!VisibleWindows("--name '^Load State$'").empty() && std::chrono::steady_clock::now() < closed)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(TypeKey("space", kBlankBar)) << program.OutputSoFar();
    EXPECT_TRUE(WaitForOutput("depth 8\n", 2)) << program.OutputSoFar();

    program.Signal(SIGTERM);
    const Outcome ended = program.Wait();
    EXPECT_EQ(ended.exitCode, 0) << ended.err;
}

}  // namespace
}  // namespace tamsk::test
