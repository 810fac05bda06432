// The debugger program: the frame window with its menus, accelerators and 500 ms idle timer, the
// text windows (Debugger, Console, CPU Registers), the Source and Remote UI windows, the
// preferences file and the start-up and exit order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quillwatch/app/Prefs.h"
#include "standin/win32/Win32Types.h"

namespace quillwatch {

using win32::HWND;

// Frame commands.
enum AppCommand : uint32_t {
    cmdWinDebugger = 30002,
    cmdWinConsole = 30003,
    cmdWinRegisters = 30005,
    cmdWinSource = 30011,
    cmdSetFont = 30000,
    cmdExecute = 30007,
    cmdGetEdit = 30008,
    cmdSetContext = 30009,
    cmdChildActivated = 30010,
    cmdRemoteClosed = 30013,
    cmdOpen = 40004, cmdSave = 40005, cmdSaveAs = 40006, cmdExit = 40007,
    cmdCascade = 40010, cmdTile = 40011, cmdArrange = 40012, cmdCloseAll = 40013,
    cmdBaudFirst = 40014, cmdBaudLast = 40021,
    cmdCom1 = 40022, cmdCom4 = 40025, cmdEmulator = 40026, cmdUsb = 40027,
    cmdPageSetup = 40028, cmdPrint = 40029, cmdAbout = 40030,
    cmdUndo = 40032, cmdCut = 40033, cmdCopy = 40034, cmdPaste = 40035, cmdSelectAll = 40036,
    cmdFont = 40037, cmdRedo = 40038, cmdHandshake = 40039,
    cmdStepInto = 40040, cmdStepOver = 40041, cmdGo = 40042, cmdToggleBreak = 40043, cmdLoadSymbols = 40044,
    cmdRemoveSymbols = 40045, cmdGoTill = 40046, cmdKeyboard = 40047, cmdDisassemble = 40049,
    cmdShowLocation = 40050, cmdBreak = 40054, cmdInstallDatabase = 40055, cmdSymbolsForPc = 40056,
    cmdFindNext = 40057, cmdFindPrevious = 40058, cmdFind = 40059, cmdFunctions = 40061,
};

// What the command line asks for.
struct QuillwatchOptions {
    bool help = false;
    bool headless = false;
    bool hasHost = false;
    uint32_t host = 0;   // IPv4, host byte order
    uint16_t port = 0;   // 0: the emulator's port 2000
    int link = -1;       // -1: as stored; else a link menu command, or 0 for the pipe
    std::string comPaths[5];  // [1]-[4]: the devices of COM1-COM4
    std::string pipePath;
    std::vector<std::string> romListing;  // image, map and output of the ROM listing (empty: none)
    std::string error;   // set when the command line cannot be used
};
// Reads the command line. One argument that is not an option names the emulator's host
// ("host" or "host:port", a dotted address or a name); with none or several, none is taken.
bool ParseOptions(int argc, const char* const* argv, QuillwatchOptions* options);
extern const char kUsageText[];

// The line of the Install Database command: `sym \addvrx "path"`, the path escaped so that the
// command language reads it back unchanged.
std::string AppAddVrxLine(const char* path);

// The program: returns its exit code.
int QuillwatchMain(int argc, const char* const* argv);

// The running program's windows (for tests that drive the headless backend).
struct AppWindows {
    HWND frame, client, debugger, console, registers, source, remote;
};
AppWindows AppGetWindows();
// The text control of a text window.
HWND AppEditOf(HWND window);

}  // namespace quillwatch
