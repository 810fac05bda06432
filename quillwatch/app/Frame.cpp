// The frame window, its commands and the program's start-up and exit.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/SerialLinkPacket.h"
#include "quillwatch/app/App.h"
#include "quillwatch/app/TextWindows.h"
#include "quillwatch/engine/lang/DbgContext.h"
#include "quillwatch/engine/debugger/DebuggerContext.h"
#include "quillwatch/engine/debugger/FileCommands.h"
#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/engine/shell/Shell.h"
#include "quillwatch/link/DebuggerServices.h"
#include "quillwatch/link/HostShims.h"
#include "quillwatch/link/LinkSelector.h"
#include "quillwatch/link/SerialTransport.h"
#include "quillwatch/link/TcpTransport.h"
#include "standin/win32/Debugging.h"
#include "standin/win32/Dialogs.h"
#include "standin/win32/KernelObjects.h"
#include "standin/win32/MessageBox.h"
#include "standin/win32/WindowManager.h"

namespace quillwatch {

using namespace win32;

namespace {

constexpr char kFrameClass[] = "FrameWin";
constexpr char kNotImplemented[] = "This function not implemented yet";
constexpr char kAppError[] = "Application Error";
constexpr char kNotResponding[] =
    "The device is not responding to console commands. Make sure console stub is started on the device "
    "(using Shortcut-tap-tap-2) and that cable is connected. ";
constexpr int kDesktopWidth = 1280, kDesktopHeight = 1024;

QuillwatchPrefs gPrefs;
QuillwatchOptions gOptions;
AppWindows gWin{};
HACCEL gAccel = nullptr;
DbgContextType* gCtx = nullptr;
volatile sig_atomic_t gStopSignal = 0;

// The find state shared by every window.
char gFindText[256];
FINDREPLACEA gFindRecord;
bool gFindOpen = false;
UINT gFindMessage = 0;

const uint32_t kBauds[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

// The Debugger window runs its lines through the command language.
void DebuggerLine(const char* line, LONG_PTR) {
    if (gCtx) DbgExecuteLine(gCtx, line, 0);
}

// The Console window runs its lines as device shell commands.
void ConsoleLine(const char* line, LONG_PTR) {
    std::string copy = line;
    ShellCmdExecute(copy.data());
}

// Opens the link the stored settings name (a link menu command and its port).
void OpenStoredLink() {
    const uint32_t cmd = gPrefs.linkCommand;
    if (cmd == cmdEmulator) {
        HostTcpSetAddress(gPrefs.host, gOptions.port ? gOptions.port : tcpDefaultPort);
        PrvSetupLink(linkTcp, 0, gPrefs.baud, gPrefs.handshake, false);
    } else if (cmd == cmdUsb) {
        PrvSetupLink(linkUsb, 0, gPrefs.baud, gPrefs.handshake, false);
    } else {
        PrvSetupLink(linkSerial, static_cast<uint16_t>(gPrefs.serialPort), gPrefs.baud, gPrefs.handshake, false);
    }
}

HWND OpenWindow(uint32_t cmd) {
    HWND* slot = cmd == cmdWinDebugger    ? &gWin.debugger
                 : cmd == cmdWinConsole   ? &gWin.console
                 : cmd == cmdWinRegisters ? &gWin.registers
                                          : &gWin.source;
    if (!IsWindow(*slot)) {
        if (cmd == cmdWinSource) {
            *slot = SourceWindowCreate(gWin.client, &gCtx);
        } else {
            const char* title = cmd == cmdWinDebugger ? "Debugger" : cmd == cmdWinConsole ? "Console" : "CPU Registers";
            TextLineProc proc = cmd == cmdWinDebugger ? DebuggerLine : cmd == cmdWinConsole ? ConsoleLine : nullptr;
            *slot = TextWindowCreate(gWin.client, title, proc, cmd == cmdWinDebugger);
        }
        TextWindowSetFont(*slot, gPrefs.font);
        if (cmd == cmdWinConsole) HostSetConsole(AppEditOf(*slot));
        if (cmd == cmdWinDebugger && !gCtx) {
            gCtx = DebuggerInit(AppEditOf(gWin.debugger), AppEditOf(gWin.console), 0, AppEditOf(gWin.registers));
        }
    }
    SendMessageA(gWin.client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(*slot), 0);
    SetFocus(AppEditOf(*slot));
    return *slot;
}

// Runs one line in the Debugger window as if typed there.
void RunDebuggerLine(const std::string& line) {
    HWND edit = AppEditOf(OpenWindow(cmdWinDebugger));
    TextWindowType(edit, line.c_str());
}

void ShowError(const char* text) { MessageBox(gWin.frame, text, kAppError, MB_ICONERROR); }

// The device answers console commands, or the user is told how to make it.
bool DeviceAnswers() {
    if (DbgRemoteLinkCheck() == 0) return true;
    MessageBox(gWin.frame, kNotResponding, kAppError, MB_ICONERROR);
    return false;
}

HWND ActiveEdit() {
    HWND active = reinterpret_cast<HWND>(SendMessageA(gWin.client, WM_MDIGETACTIVE, 0, 0));
    return active ? AppEditOf(active) : nullptr;
}

void FindAgain(bool matchCase, bool down) {
    if (!gFindText[0]) return;
    if (!TextWindowFind(ActiveEdit(), gFindText, matchCase, down)) {
        std::string text = std::string("No match found for \"") + gFindText + "\"";
        MessageBox(gWin.frame, text.c_str(), "Find", MB_OK);
    }
}

// The find dialog starts with the active window's selection.
void OpenFind() {
    if (gFindOpen) return;
    if (HWND edit = ActiveEdit()) {
        DWORD s = 0, e = 0;
        SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        std::string text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
        GetWindowTextA(edit, text.data(), static_cast<int>(text.size()));
        std::string sel = e > s && e < text.size() ? text.substr(s, std::min<size_t>(e - s, sizeof gFindText - 1)) : "";
        if (!sel.empty() || !gFindText[0]) std::snprintf(gFindText, sizeof gFindText, "%s", sel.c_str());
    }
    gFindRecord = FINDREPLACEA{sizeof gFindRecord, gWin.frame, FR_DOWN, gFindText, sizeof gFindText};
    gFindOpen = FindTextA(&gFindRecord) != nullptr;
}

// The font chooser; the chosen font goes to every window.
void ChooseTextFont() {
    LOGFONTA f{};
    const PrefsFont& p = gPrefs.font;
    f.lfHeight = p.height;
    f.lfWeight = p.weight;
    std::snprintf(f.lfFaceName, sizeof f.lfFaceName, "%s", p.faceName);
    CHOOSEFONTA choose{sizeof choose, gWin.frame, &f, CF_INITTOLOGFONTSTRUCT};
    if (!ChooseFontA(&choose)) return;
    gPrefs.font.height = f.lfHeight;
    std::snprintf(gPrefs.font.faceName, sizeof gPrefs.font.faceName, "%s", f.lfFaceName);
    for (HWND w : {gWin.debugger, gWin.console, gWin.registers, gWin.source})
        if (IsWindow(w)) TextWindowSetFont(w, gPrefs.font);
}

void InstallDatabase() {
    if (!DeviceAnswers()) return;
    char path[1024] = {};
    if (HostSelectDatabaseFile(AppEditOf(gWin.console), "Select VRX file...", path, sizeof path) != 0) return;
    HostWaitCursor();
    std::string line = std::string("import 0 \"") + path + "\"";
    uint32_t err = ShellCmdExecute(line.data());
    HostArrowCursor();
    if (err == 0) {
        RunDebuggerLine(AppAddVrxLine(path));
    } else {
        char text[128];
        std::snprintf(text, sizeof text, "Error: (%u, 0x%X) while installing VRX file", err, err);
        ShowError(text);
    }
}

HMENU Popup(std::initializer_list<std::pair<UINT, const char*>> items) {
    HMENU m = CreatePopupMenu();
    for (auto& [id, text] : items) AppendMenuA(m, id ? MF_STRING : MF_SEPARATOR, id, text);
    return m;
}

HMENU BuildMenu() {
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(Popup({{cmdOpen, "&Open"}, {cmdSave, "&Save"}, {cmdSaveAs, "Save &As"}, {0, nullptr},
                                                                  {cmdPageSetup, "Page Set&up"}, {cmdPrint, "&Print"}, {0, nullptr},
                                                                  {cmdExit, "E&xit"}})),
                "&File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(Popup({{cmdUndo, "&Undo"}, {cmdRedo, "&Redo"}, {0, nullptr}, {cmdCut, "Cu&t"},
                                                                  {cmdCopy, "&Copy"}, {cmdPaste, "&Paste"}, {cmdSelectAll, "Select &All\tCtrl+A"},
                                                                  {0, nullptr}, {cmdFind, "&Find\tCtrl+F"}, {cmdFindNext, "Find &Next\tF3"},
                                                                  {0, nullptr}, {cmdFont, "F&ont"}})),
                "&Edit");
    HMENU conn = Popup({{40014, "2400"}, {40015, "4800"}, {40016, "9600"}, {40017, "19200"}, {40018, "38400"},
                        {40019, "57600"}, {40020, "115200"}, {40021, "230400"}, {0, nullptr}, {cmdHandshake, "&Handshake"},
                        {0, nullptr}, {40022, "COM &1"}, {40023, "COM &2"}, {40024, "COM &3"}, {40025, "COM &4"},
                        {cmdEmulator, "&Emulator"}, {cmdUsb, "&USB"}});
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(conn), "&Connection");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(Popup({{cmdBreak, "&Break\tF12"}, {cmdStepInto, "Step &Into\tF11"},
                                                                  {cmdStepOver, "Step &Over\tF10"}, {cmdGo, "&Go\tF5"},
                                                                  {cmdGoTill, "Go &Till\tShift+F5"}, {cmdToggleBreak, "Toggle Brea&kpoint\tF9"},
                                                                  {cmdDisassemble, "&Disassemble at Cursor"},
                                                                  {cmdShowLocation, "Show &Current Location"}, {0, nullptr},
                                                                  {cmdInstallDatabase, "Install Database and Load &Symbols\tF8"},
                                                                  {cmdLoadSymbols, "&Load Symbols\tCtrl+F12"},
                                                                  {cmdSymbolsForPc, "Load Symbols for current &Program Counter\tCtrl+Alt+F12"},
                                                                  {cmdRemoveSymbols, "&Remove all Symbols"}})),
                "&Source");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(Popup({{cmdCascade, "&Cascade"}, {cmdTile, "&Tile"}, {cmdArrange, "Arrange &Icons"},
                                                                  {cmdCloseAll, "Close &All"}, {0, nullptr},
                                                                  {cmdKeyboard, "&Keyboard Simulator"}, {0, nullptr},
                                                                  {cmdWinDebugger, "&Debugger\tAlt+1"}, {cmdWinConsole, "C&onsole\tAlt+2"},
                                                                  {cmdWinRegisters, "CPU &Registers"}, {cmdWinSource, "&Source\tAlt+3"}})),
                "&Window");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(Popup({{cmdAbout, "&About Quillwatch"}})), "&Help");
    return bar;
}

HACCEL BuildAccelerators() {
    static const ACCEL kAccels[] = {
        {FVIRTKEY | FALT, '1', cmdWinDebugger},  {FVIRTKEY | FALT, '2', cmdWinConsole},
        {FVIRTKEY | FALT, '3', cmdWinSource},    {FVIRTKEY | FCONTROL, 'A', cmdSelectAll},
        {FVIRTKEY | FCONTROL, 'F', cmdFind},     {FVIRTKEY, VK_F1 + 2, cmdFindNext},
        {FVIRTKEY | FSHIFT, VK_F1 + 2, cmdFindPrevious}, {FVIRTKEY, VK_F1 + 4, cmdGo},
        {FVIRTKEY | FSHIFT, VK_F1 + 4, cmdGoTill}, {FVIRTKEY, VK_F1 + 7, cmdInstallDatabase},
        {FVIRTKEY, VK_F1 + 8, cmdToggleBreak},   {FVIRTKEY, VK_F1 + 9, cmdStepOver},
        {FVIRTKEY, VK_F1 + 10, cmdStepInto},     {FVIRTKEY, VK_F1 + 11, cmdBreak},
        {FVIRTKEY | FCONTROL, VK_F1 + 11, cmdLoadSymbols},
        {FVIRTKEY | FCONTROL | FALT, VK_F1 + 11, cmdSymbolsForPc},
    };
    return CreateAcceleratorTableA(kAccels, static_cast<int>(sizeof kAccels / sizeof kAccels[0]));
}

void OnInitMenu(HMENU menu) {
    const bool attached = DbgIsAttached();
    for (UINT id : {cmdStepInto, cmdStepOver, cmdGo, cmdToggleBreak, cmdGoTill, cmdDisassemble, cmdShowLocation, cmdSymbolsForPc})
        EnableMenuItem(menu, id, attached ? MF_ENABLED : MF_GRAYED);
    for (UINT id : {cmdLoadSymbols, cmdBreak, cmdInstallDatabase}) EnableMenuItem(menu, id, attached ? MF_GRAYED : MF_ENABLED);
    for (uint32_t i = 0; i < 8; ++i)
        CheckMenuItem(menu, cmdBaudFirst + i, gPrefs.baudCommand == cmdBaudFirst + i ? MF_CHECKED : 0);
}

// The frame's commands; false for the ones that go to the active child.
bool OnCommand(UINT id) {
    if (id >= cmdBaudFirst && id <= cmdBaudLast) {
        gPrefs.baudCommand = id;
        gPrefs.baud = kBauds[id - cmdBaudFirst];
        if (gCtx) OpenStoredLink();
        return true;
    }
    if (id >= cmdCom1 && id <= cmdUsb) {
        gPrefs.linkCommand = id;
        if (id <= cmdCom4) gPrefs.serialPort = id - cmdCom1 + 1;
        if (gCtx) OpenStoredLink();
        return true;
    }
    switch (id) {
        case cmdWinDebugger:
        case cmdWinConsole:
        case cmdWinRegisters:
        case cmdWinSource: OpenWindow(id); return true;
        case cmdOpen:
        case cmdSave:
        case cmdSaveAs:
        case cmdPageSetup:
        case cmdPrint: ShowError(kNotImplemented); return true;
        case cmdExit: PostMessageA(gWin.frame, WM_CLOSE, 0, 0); return true;
        case cmdCloseAll:
            for (HWND* w : {&gWin.source, &gWin.remote}) {
                if (IsWindow(*w)) DestroyWindow(*w);
                *w = nullptr;
            }
            return true;
        case cmdCascade:
        case cmdTile:
        case cmdArrange: return true;  // the documents are tabs: nothing to arrange
        case cmdHandshake:
            gPrefs.handshake = !gPrefs.handshake;
            if (gCtx) OpenStoredLink();
            return true;
        case cmdAbout: MessageBox(gWin.frame, "Quillwatch: the remote 68K debugger", "About Quillwatch", MB_OK); return true;
        case cmdKeyboard: gWin.remote = RemoteWindowOpen(gWin.client, gWin.remote); return true;
        case cmdRemoteClosed: gWin.remote = nullptr; return true;
        case cmdStepInto: RunDebuggerLine("sym \\si"); return true;
        case cmdStepOver: RunDebuggerLine("sym \\so"); return true;
        case cmdGo: RunDebuggerLine("g"); return true;
        case cmdToggleBreak: RunDebuggerLine("sym \\line \\br"); return true;
        case cmdRemoveSymbols: RunDebuggerLine("sym \\reset"); return true;
        case cmdGoTill: RunDebuggerLine("sym \\line \\gt"); return true;
        case cmdDisassemble: RunDebuggerLine("sym \\line \\il"); return true;
        case cmdShowLocation:
            RunDebuggerLine("att");
            OpenWindow(cmdWinDebugger);
            return true;
        case cmdLoadSymbols:
            if (DeviceAnswers()) RunDebuggerLine("sym \\add");
            return true;
        case cmdSymbolsForPc: RunDebuggerLine("sym \\add pc"); return true;
        case cmdBreak:
            if (DeviceAnswers()) DbgSendBreakKey();
            return true;
        case cmdInstallDatabase: InstallDatabase(); return true;
        case cmdChildActivated: return true;
        case cmdFind: OpenFind(); return true;
        case cmdFont: ChooseTextFont(); return true;
        case cmdFindNext: FindAgain(gFindRecord.Flags & FR_MATCHCASE, true); return true;
        case cmdFindPrevious: FindAgain(gFindRecord.Flags & FR_MATCHCASE, false); return true;
        default: return false;
    }
}

LRESULT FrameWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == gFindMessage && gFindMessage) {
        auto* r = reinterpret_cast<FINDREPLACEA*>(lParam);
        if (r->Flags & FR_DIALOGTERM)
            gFindOpen = false;
        else if (r->Flags & FR_FINDNEXT)
            FindAgain(r->Flags & FR_MATCHCASE, r->Flags & FR_DOWN);
        return 0;
    }
    switch (msg) {
        case WM_CREATE:
            gWin.client = CreateWindowExA(0, MDICLIENT_CLASSA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd, nullptr, nullptr,
                                          nullptr);
            SetTimer(hwnd, 1, 500, nullptr);
            return 0;
        case WM_TIMER:
            if (wParam == 1 && gCtx) {
                DbgIdleProcess();
            }
            return 0;
        case WM_INITMENUPOPUP: OnInitMenu(reinterpret_cast<HMENU>(wParam)); return 0;
        case WM_COMMAND: {
            const UINT id = static_cast<UINT>(wParam & 0xFFFF);
            if (OnCommand(id)) return 0;
            HWND active = reinterpret_cast<HWND>(SendMessageA(gWin.client, WM_MDIGETACTIVE, 0, 0));
            if (active) SendMessageA(active, WM_COMMAND, wParam, lParam);
            return 0;
        }
        case WM_KEYDOWN:
        case WM_CHAR:
            // Keys that reach the frame itself belong to the Remote UI window when it is active.
            if (IsWindow(gWin.remote) && SendMessageA(gWin.client, WM_MDIGETACTIVE, 0, 0) == reinterpret_cast<LRESULT>(gWin.remote))
                SendMessageA(gWin.remote, msg, wParam, lParam);
            return 0;
        case WM_DESTROY:
            KillTimer(hwnd, 1);
            PostQuitMessage(0);
            return 0;
        default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

void OnStopSignal(int) { gStopSignal = 1; }

// Headless: lines on standard input are typed into the Debugger window; its new text goes to
// standard output. False once the input has ended.
bool FeedStandardInput(std::string& pending, size_t& echoed) {
    HWND edit = AppEditOf(gWin.debugger);
    bool open = true;
    pollfd p{0, POLLIN, 0};
    if (poll(&p, 1, 0) > 0) {
        char buf[1024];
        ssize_t n = read(0, buf, sizeof buf);
        if (n <= 0)
            open = false;
        else
            pending.append(buf, static_cast<size_t>(n));
    }
    size_t nl;
    while ((nl = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        TextWindowType(edit, line.c_str());
    }
    int len = GetWindowTextLengthA(edit);
    if (static_cast<size_t>(len) > echoed) {
        std::string text(static_cast<size_t>(len) + 1, '\0');
        GetWindowTextA(edit, text.data(), len + 1);
        text.resize(static_cast<size_t>(len));
        for (size_t i = echoed; i < text.size(); ++i)
            if (text[i] != '\r') std::fputc(text[i], stdout);
        std::fflush(stdout);
    }
    echoed = static_cast<size_t>(len);
    return open;
}

}  // namespace

AppWindows AppGetWindows() { return gWin; }

namespace {

// The ROM listing from the command line: needs no link and no window; the command's messages go
// to standard output and its status is the exit code.
int RunRomListing(const std::vector<std::string>& files) {
    auto* ctx = static_cast<DbgContextType*>(DbgAllocBuffer(sizeof(DbgContextType)));
    if (!ctx) return 1;
    ctx->console = CreateWindowExA(0, RICHEDIT_CLASSA, "", 0, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    ctx->symbolsOn = 1;
    const uint16_t status = CmdRomListing(ctx, files[0].c_str(), files[1].c_str(), files[2].c_str());
    std::string text(static_cast<size_t>(GetWindowTextLengthA(ctx->console)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(ctx->console, text.data(), static_cast<int>(text.size()))));
    for (char c : text)
        if (c != '\r') std::fputc(c, stdout);  // the edit control keeps CR LF line ends
    std::fflush(stdout);
    DestroyWindow(ctx->console);
    DbgFreeBuffer(ctx);
    return status;
}

}  // namespace

int QuillwatchMain(int argc, const char* const* argv) {
    if (!ParseOptions(argc, argv, &gOptions)) {
        std::fprintf(stderr, "quillwatch: %s\n%s", gOptions.error.c_str(), kUsageText);
        return 2;
    }
    if (gOptions.help) {
        std::fputs(kUsageText, stdout);
        return 0;
    }
    if (!gOptions.romListing.empty()) return RunRomListing(gOptions.romListing);
    for (int i = 1; i <= 4; ++i)
        if (!gOptions.comPaths[i].empty()) HostSerSetPortPath(static_cast<uint16_t>(i), gOptions.comPaths[i].c_str());
    if (!gOptions.pipePath.empty()) HostSerSetPipePath(gOptions.pipePath.c_str());
    const bool graphical = !gOptions.headless && UseGtkBackend();
    if (!gOptions.headless && !graphical)
        std::fprintf(stderr, "quillwatch: no display could be opened; running headless (see --help)\n");
    MessageBoxSetGraphical(graphical);

    PrefsRead(kPrefsFileName, &gPrefs, kDesktopWidth, kDesktopHeight);
    if (gOptions.hasHost) {
        gPrefs.host = gOptions.host;
        if (gOptions.link < 0) gOptions.link = cmdEmulator;
    }
    if (gOptions.link == 0) {
        gPrefs.linkCommand = cmdCom1;  // a COM link on port 0: the emulator's pipe
        gPrefs.serialPort = 0;
    } else if (gOptions.link > 0) {
        gPrefs.linkCommand = static_cast<uint32_t>(gOptions.link);
        if (gOptions.link <= static_cast<int>(cmdCom4)) gPrefs.serialPort = static_cast<uint32_t>(gOptions.link - cmdCom1 + 1);
    }
    HostSetDialogFolder(gPrefs.folder, sizeof gPrefs.folder);

    gFindMessage = RegisterWindowMessageA(FINDMSGSTRINGA);
    WNDCLASSA wc{};
    wc.lpfnWndProc = FrameWndProc;
    wc.lpszClassName = kFrameClass;
    RegisterClassA(&wc);
    TextWindowsRegister();
    gAccel = BuildAccelerators();
    gWin.frame = CreateWindowExA(0, kFrameClass, "Vantor Debugger", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    SetMenu(gWin.frame, BuildMenu());
    HostSetMainWindow(gWin.frame);
    UpdateWindow(gWin.frame);

    for (uint32_t cmd : {cmdWinRegisters, cmdWinConsole, cmdWinDebugger, cmdWinSource, cmdWinDebugger})
        SendMessageA(gWin.frame, WM_COMMAND, cmd, 0);
    SendMessageA(gWin.frame, WM_COMMAND, gPrefs.baudCommand, 0);
    if (gPrefs.serialPort == 0 && gPrefs.linkCommand >= cmdCom1 && gPrefs.linkCommand <= cmdCom4)
        OpenStoredLink();  // the pipe has no menu item: it is the stored COM link on port 0
    else
        SendMessageA(gWin.frame, WM_COMMAND, gPrefs.linkCommand, 0);

    signal(SIGINT, OnStopSignal);
    signal(SIGTERM, OnStopSignal);
    std::string pending;
    size_t echoed = static_cast<size_t>(GetWindowTextLengthA(AppEditOf(gWin.debugger)));
    if (gOptions.headless) FeedStandardInput(pending, echoed);
    MSG msg{};
    int code = 0;
    for (;;) {
        if (gStopSignal) {
            gStopSignal = 0;
            if (IsWindow(gWin.frame)) PostMessageA(gWin.frame, WM_CLOSE, 0, 0);
        }
        if (gOptions.headless && IsWindow(gWin.frame) && !FeedStandardInput(pending, echoed))
            PostMessageA(gWin.frame, WM_CLOSE, 0, 0);
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            Sleep(5);
            continue;
        }
        if (msg.message == WM_QUIT) {
            code = static_cast<int>(msg.wParam);
            break;
        }
        if (IsWindow(gWin.frame) && TranslateAcceleratorA(gWin.frame, gAccel, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (!PrefsWrite(kPrefsFileName, gPrefs)) std::fprintf(stderr, "quillwatch: cannot write %s\n", kPrefsFileName);
    DestroyAcceleratorTable(gAccel);
    return code;
}

}  // namespace quillwatch
