// The display window "Display": shows the LCD panel (inside a skin when one is in use), and takes
// the user's keys into the keypad, the wheel into the rotary count, the mouse into the touch
// screen, the context menu's commands, dropped files and closing. Its own thread ("LCD Window
// Handler") runs the window; the core thread paints into it and sets its title from the status
// line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tamsk {

// Menu commands.
enum : unsigned {
    kCmdExit = 103,
    kCmdSoftReset = 104,
    kCmdHardReset = 105,
    kCmdAbout = 106,
    kCmdSelectRom = 110,
    kCmdSaveState = 111,
    kCmdLoadState = 112,
    kCmdAlwaysOnTop = 113,
    kCmdLoadSkin = 114,
};

// Installs the window into the run loop: made on codes 0 and 6, closed at the end of the last run.
void DisplayInstall();
// What the run loop calls at the start and at the end of a run.
void DisplayRunStart(int32_t code);
void DisplayRunEnd(int32_t code);

// What the window's events do (window thread; tests call them directly).
void DisplayKey(int virtualKey, int character, bool down, bool numLock);
void DisplayButton(int button, bool down, int x, int y);
void DisplayMotion(int x, int y);
void DisplayWheel(int delta);
void DisplayMoved(int x, int y);
void DisplayDropped(const std::string& path);
void DisplayCommand(unsigned id);
void DisplayClose();

// Loads the skin named by SkinName when HasSkin is set (else drops the skin in use); false with
// a message on standard error when the file cannot be used.
bool DisplayLoadSkin();
// The window's client size and the LCD rectangle's top-left corner in it.
void DisplayGeometry(int* width, int* height, int* lcdLeft, int* lcdTop);
// Paints the window from the LCD (core thread).
void DisplayRepaint();
// What the window shows: its frame (empty: all white) and its title.
std::vector<uint32_t> DisplayShownFrame(int* width, int* height);
std::string DisplayTitle();

}  // namespace tamsk
