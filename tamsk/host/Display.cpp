#include "tamsk/host/Display.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "standin/win32/KernelObjects.h"
#include "standin/win32/PixelWindow.h"
#include "tamsk/board/HostThreads.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/Rom.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Keypad.h"
#include "tamsk/devices/Lcd.h"
#include "tamsk/devices/TouchScreen.h"
#include "tamsk/host/KeyMap.h"
#include "tamsk/host/Skin.h"

namespace tamsk {

namespace {

constexpr char kWindowTitle[] = "Display";
constexpr char kVersion[] = "1.0.0.0";

std::atomic<win32::PixelWindow*> g_window;
unsigned g_threadSlot;
bool g_threadStarted;

// The skin in use (guarded: the core thread paints with it, the window thread replaces it).
std::mutex g_skinLock;
Skin g_skin;
bool g_skinned;

// Window thread only.
bool g_shiftToggle;   // flips with every press of Shift
bool g_shiftDown;
bool g_touching;      // the pen is down
int g_touchLeft, g_touchTop;  // where the touch area starts in the window
int g_pressedKey = -1;        // the skin key held by the mouse

uint32_t PanelWidth() {
    const LcdDisplay& d = LcdShown;
    return d.shown ? d.width : uint32_t(Opt.DisplayWidth > 0 ? Opt.DisplayWidth : 1);
}
uint32_t PanelHeight() {
    const LcdDisplay& d = LcdShown;
    return d.shown ? d.height * (d.doubling ? 2 : 1)
                   : uint32_t(Opt.DisplayHeight > 0 ? Opt.DisplayHeight : 1);
}

void StatusLine(const std::string& line) {
    if (win32::PixelWindow* window = g_window.load()) win32::PixelWindowSetTitle(window, line);
}

// The current position relative to the touch area, turned and clamped to the panel.
void PenAt(int x, int y, int32_t* px, int32_t* py) {
    int32_t tx = x - g_touchLeft, ty = y - g_touchTop;
    const int32_t w = int32_t(PanelWidth()), h = int32_t(PanelHeight());
    bool skinned;
    int32_t rotation;
    {
        std::lock_guard lock(g_skinLock);
        skinned = g_skinned;
        rotation = g_skin.rotation;
    }
    if (skinned) SkinTurnTouch(rotation, w, h, &tx, &ty);
    *px = std::clamp(tx, 0, w - 1);
    *py = std::clamp(ty, 0, h - 1);
}

void RequestRunEnd(int32_t code) { CpuRequestRunEnd(code); }

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string ProgramFolder() {
    char path[4096] = {};
    if (win32::GetModuleFileName(nullptr, path, sizeof path) == 0) return ".";
    return FolderOf(path);
}

void ShowContextMenu() {
    win32::PixelWindow* window = g_window.load();
    if (!window) return;
    const std::vector<win32::PopupItem> items = {
        {kCmdSoftReset, "Soft Reset", false},
        {kCmdHardReset, "Hard Reset", false},
        {0, "", false},
        {kCmdSaveState, "Save State...", false},
        {kCmdLoadState, "Load State...", false},
        {0, "", false},
        {kCmdSelectRom, "Select ROM...", false},
        {kCmdLoadSkin, "Load Skin...", false},
        {kCmdAlwaysOnTop, "Always on Top", Opt.AlwaysOnTop != 0},
        {0, "", false},
        {kCmdAbout, "About...", false},
        {kCmdExit, "Exit", false},
    };
    if (const unsigned id = win32::PixelWindowPopupMenu(window, items)) DisplayCommand(id);
}

win32::DWORD WindowThread(void* argument) {
    HostSetThreadName("LCD Window Handler");
    auto* ready = static_cast<std::pair<std::mutex, std::condition_variable>*>(argument);
    int width, height, left, top;
    DisplayGeometry(&width, &height, &left, &top);
    win32::PixelWindowEvents events;
    events.key = DisplayKey;
    events.button = DisplayButton;
    events.motion = DisplayMotion;
    events.wheel = DisplayWheel;
    events.moved = DisplayMoved;
    events.dropped = DisplayDropped;
    events.close = DisplayClose;
    win32::PixelWindow* window =
        win32::PixelWindowCreate(kWindowTitle, Opt.CornerX - left, Opt.CornerY - top, width,
                                 height, Opt.AlwaysOnTop != 0, events);
    {
        std::lock_guard lock(ready->first);
        g_window = window;
    }
    ready->second.notify_all();
    win32::PixelWindowRun(window);
    return 0;
}

}  // namespace

void DisplayRunStart(int32_t code) {
    if (code != kRunPowerOn && code != kRunPowerOnRestore) return;
    if (g_threadStarted) return;
    DisplayLoadSkin();
    std::pair<std::mutex, std::condition_variable> ready;
    g_threadSlot = HostCreateThread(WindowThread, &ready);
    g_threadStarted = true;
    {
        std::unique_lock lock(ready.first);
        ready.second.wait(lock, [] { return g_window.load() != nullptr; });
    }
    static const LcdDisplaySink sink = {DisplayRepaint};
    LcdSetDisplaySink(&sink);
    EvtSetStatusSink(StatusLine);
    DisplayRepaint();
}

void DisplayRunEnd(int32_t code) {
    if (code != kRunExit || !g_threadStarted) return;
    LcdSetDisplaySink(nullptr);
    EvtSetStatusSink(nullptr);
    win32::PixelWindow* window = g_window.exchange(nullptr);
    win32::PixelWindowQuit(window);
    win32::WaitForSingleObject(HostThread(g_threadSlot), win32::INFINITE);
    HostFreeThread(g_threadSlot);
    g_threadStarted = false;
}

void DisplayInstall() {
    static const HostWindowHooks hooks = {DisplayRunStart, DisplayRunEnd};
    HostSetWindowHooks(&hooks);
}

bool DisplayLoadSkin() {
    Skin skin;
    bool use = Opt.HasSkin && Opt.SkinName[0] != '\0';
    if (use) {
        std::string error;
        if (!SkinLoad(Opt.SkinName, &skin, &error)) {
            std::fprintf(stderr, "Skin not used: %s\n", error.c_str());
            use = false;
        }
    }
    std::lock_guard lock(g_skinLock);
    g_skin = std::move(skin);
    g_skinned = use;
    return use;
}

void DisplayGeometry(int* width, int* height, int* lcdLeft, int* lcdTop) {
    const int pw = int(PanelWidth()), ph = int(PanelHeight());
    std::lock_guard lock(g_skinLock);
    if (!g_skinned) {
        *width = pw;
        *height = ph;
        *lcdLeft = *lcdTop = 0;
        return;
    }
    *lcdLeft = g_skin.lcdLeft;
    *lcdTop = g_skin.lcdTop;
    *width = std::max(g_skin.width, g_skin.lcdLeft + pw);
    *height = std::max(g_skin.height, g_skin.lcdTop + ph);
}

void DisplayRepaint() {
    win32::PixelWindow* window = g_window.load();
    if (!window) return;
    const uint32_t pw = PanelWidth(), ph = PanelHeight();
    std::vector<uint32_t> panel(size_t(pw) * ph, 0xFFFFFF);
    const bool framed = LcdFramePixels(panel.data(), pw, ph);
    int width, height, left, top;
    DisplayGeometry(&width, &height, &left, &top);
    std::unique_lock lock(g_skinLock);
    if (!g_skinned) {
        lock.unlock();
        if (!framed) panel.clear();  // nothing displayed: the window is white
        win32::PixelWindowSetFrame(window, panel, width, height);
        return;
    }
    std::vector<uint32_t> pixels(size_t(width) * size_t(height), 0xFFFFFF);
    for (int y = 0; y < g_skin.height; ++y)
        std::memcpy(&pixels[size_t(y) * size_t(width)], &g_skin.bitmap[size_t(y) * size_t(g_skin.width)],
                    size_t(g_skin.width) * 4);
    lock.unlock();
    for (uint32_t y = 0; y < ph; ++y)
        std::memcpy(&pixels[size_t(top + int(y)) * size_t(width) + size_t(left)], &panel[size_t(y) * pw],
                    size_t(pw) * 4);
    win32::PixelWindowSetFrame(window, pixels, width, height);
}

std::vector<uint32_t> DisplayShownFrame(int* width, int* height) {
    win32::PixelWindow* window = g_window.load();
    *width = *height = 0;
    return window ? win32::PixelWindowFrame(window, width, height) : std::vector<uint32_t>();
}

std::string DisplayTitle() {
    win32::PixelWindow* window = g_window.load();
    return window ? win32::PixelWindowTitle(window) : std::string();
}

void DisplayKey(int virtualKey, int character, bool down, bool numLock) {
    if (virtualKey == 0x10) {
        if (down && !g_shiftDown) g_shiftToggle = !g_shiftToggle;
        g_shiftDown = down;
    }
    const uint8_t position =
        KeyMatrixPosition(KeyMapHostToDevice(virtualKey, character, g_shiftToggle, numLock));
    if (position != kNoMatrixKey) KeypadHostKey(position, down);
}

void DisplayButton(int button, bool down, int x, int y) {
    if (button == 3) {
        if (down) ShowContextMenu();
        return;
    }
    if (button != 1) return;
    if (!down) {
        if (g_touching) {
            int32_t px, py;
            PenAt(x, y, &px, &py);
            TouchHostPen(false, px, py);
        }
        if (g_pressedKey >= 0) KeypadHostKey(unsigned(g_pressedKey), false);
        g_touching = false;
        g_pressedKey = -1;
        return;
    }
    std::unique_lock lock(g_skinLock);
    if (!g_skinned) {
        lock.unlock();
        g_touchLeft = g_touchTop = 0;
        if (x < 0 || y < 0 || x >= int(PanelWidth()) || y >= int(PanelHeight())) return;
    } else {
        const SkinRegion* region = SkinRegionAt(g_skin, x, y);
        if (!region) {
            lock.unlock();
            if (win32::PixelWindow* window = g_window.load())
                win32::PixelWindowBeginMove(window);
            return;
        }
        if (region->code != kSkinTouchCode) {
            const uint8_t position = KeyMatrixPosition(int(region->code));
            lock.unlock();
            if (position != kNoMatrixKey) {
                g_pressedKey = position;
                KeypadHostKey(position, true);
            }
            return;
        }
        g_touchLeft = region->left;
        g_touchTop = region->top;
        lock.unlock();
    }
    g_touching = true;
    int32_t px, py;
    PenAt(x, y, &px, &py);
    TouchHostPen(true, px, py);
}

void DisplayMotion(int x, int y) {
    if (!g_touching) return;
    int32_t px, py;
    PenAt(x, y, &px, &py);
    TouchHostPen(true, px, py);
}

void DisplayWheel(int delta) { KeypadHostWheel(delta); }

void DisplayMoved(int x, int y) {
    int width, height, left, top;
    DisplayGeometry(&width, &height, &left, &top);
    Opt.CornerX = x + left;
    Opt.CornerY = y + top;
}

void DisplayClose() { RequestRunEnd(kRunExit); }

namespace {
// A session chosen by the user is checked whole before the run ends for it: one that cannot be
// restored is refused with a message, and the machine runs on as it was.
void LoadSession(const std::string& path) {
    const std::string problem = path.size() < kSessionPathSize ? SessCheck(path.c_str()) : "its path is too long";
    if (problem.empty()) {
        SessSetPath(path.c_str());
        RequestRunEnd(kRunLoad);
    } else if (win32::PixelWindow* window = g_window.load()) {
        win32::PixelWindowInfoBox(window, "Load State",
                                  {path, "This file cannot be loaded as a session: " + problem + "."});
    }
}
}  // namespace

void DisplayDropped(const std::string& path) {
    switch (RomFileKind(path.c_str())) {
        case kFileRawImage:
        case kFileRomList:
            OptSetText(RomPath(), path.c_str());
            RequestRunEnd(kRunHardReset);
            return;
        case kFileSession:
            LoadSession(path);
            return;
        default:
            if (win32::PixelWindow* window = g_window.load())
                win32::PixelWindowInfoBox(window, "Unhandled file type",
                                          {"Sorry, these files are not supported at the moment"});
    }
}

void DisplayCommand(unsigned id) {
    win32::PixelWindow* window = g_window.load();
    std::string path;
    switch (id) {
        case kCmdExit: RequestRunEnd(kRunExit); return;
        case kCmdSoftReset: RequestRunEnd(kRunSoftReset); return;
        case kCmdHardReset: RequestRunEnd(kRunHardReset); return;
        case kCmdSelectRom:
            if (window && win32::PixelWindowFileDialog(window, false, "Open ROM File", "ROM File",
                                                       "*.aei", "aei", RomPath(), &path) &&
                path != RomPath()) {
                OptSetText(RomPath(), path.c_str());
                RequestRunEnd(kRunHardReset);
            }
            return;
        case kCmdSaveState:
        case kCmdLoadState: {
            const bool save = id == kCmdSaveState;
            if (!window || !win32::PixelWindowFileDialog(window, save, save ? "Save Session" : "Open Session",
                                                         "Session File (*.aes)", "*.aes", "aes", SessPath, &path))
                return;
            if (!save) {
                LoadSession(path);
            } else if (path.size() < kSessionPathSize) {
                SessSetPath(path.c_str());
                RequestRunEnd(kRunSave);
            }
            return;
        }
        case kCmdAlwaysOnTop:
            Opt.AlwaysOnTop = !Opt.AlwaysOnTop;
            if (window) win32::PixelWindowSetTopmost(window, Opt.AlwaysOnTop != 0);
            return;
        case kCmdLoadSkin: {
            const std::string start = Opt.SkinName[0] ? FolderOf(Opt.SkinName) : ProgramFolder();
            if (window && win32::PixelWindowFileDialog(window, false, "Load Skin",
                                                       "Emulator Skin Files (*.skin)", "*.skin",
                                                       "skin", start, &path)) {
                OptSetText(Opt.SkinName, path.c_str());
                Opt.HasSkin = 1;
                DisplayLoadSkin();
                DisplayRepaint();
            }
            return;
        }
        case kCmdAbout: {
            std::vector<std::string> lines = {std::string("Version ") + kVersion,
                                              std::string(kMachineName) + " Version"};
            if (g_shiftDown) lines.push_back(std::string("Built on ") + __DATE__ + " " + __TIME__);
            if (window) win32::PixelWindowInfoBox(window, "About", lines);
            return;
        }
        default: return;
    }
}

}  // namespace tamsk
