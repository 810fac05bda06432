// A top-level window that shows a frame of pixels and reports the user's keys, mouse, wheel,
// moves, dropped files and closing: what a program draws into a window's device context and
// learns from its messages. One thread owns the window (it runs PixelWindowRun); the frame, the
// title and the topmost state may be set from any thread.
//
// Two backends: GTK+ 2 when a display can be opened (and WIN32_HEADLESS is not 1), else headless,
// where the window only keeps its frame and title for tests and the menus and file dialogs answer
// what a test scripted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "standin/win32/Win32Types.h"

namespace win32 {

// Virtual keys beyond those of Win32Types.h that the window reports.
constexpr int VK_SPACE = 0x20;
constexpr int VK_NUMPAD0 = 0x60;  // .. VK_NUMPAD9 = 0x69
constexpr int VK_MULTIPLY = 0x6A;
constexpr int VK_DECIMAL = 0x6E;
constexpr int VK_NUMLOCK = 0x90;

struct PixelWindowEvents {
    // A key went down or up: its virtual key (0 when it has none), the character the key types
    // without modifiers (0 when none), and whether Num Lock is on.
    std::function<void(int virtualKey, int character, bool down, bool numLock)> key;
    // Button 1 left, 3 right; coordinates in client pixels.
    std::function<void(int button, bool down, int x, int y)> button;
    std::function<void(int x, int y)> motion;  // with a button held
    std::function<void(int delta)> wheel;      // 120 per step, positive away from the user
    std::function<void(int x, int y)> moved;   // the client area's top-left corner on the screen
    std::function<void(const std::string& path)> dropped;
    std::function<void()> close;
};

struct PixelWindow;

// Creates the window on the calling thread (which then runs PixelWindowRun): client area of the
// given size at (x, y) on the screen, always on top when asked.
PixelWindow* PixelWindowCreate(const std::string& title, int x, int y, int width, int height,
                               bool topmost, PixelWindowEvents events);
bool PixelWindowIsGraphical(const PixelWindow* window);
// Runs the window's events until PixelWindowQuit; then destroys the window.
void PixelWindowRun(PixelWindow* window);
// Any thread.
void PixelWindowQuit(PixelWindow* window);
// Any thread: a frame of 0x00RRGGBB pixels, row by row; the client area takes its size.
// An empty frame shows the client area white at the given size.
void PixelWindowSetFrame(PixelWindow* window, const std::vector<uint32_t>& pixels, int width,
                         int height);
void PixelWindowSetTitle(PixelWindow* window, const std::string& title);
void PixelWindowSetTopmost(PixelWindow* window, bool topmost);
// Window thread, while button 1 is down: the window follows the pointer until the button is up.
void PixelWindowBeginMove(PixelWindow* window);
// Any thread: runs the task on the window's thread.
void PixelWindowPost(PixelWindow* window, std::function<void()> task);
// The window's title and frame as last set (any thread).
std::string PixelWindowTitle(PixelWindow* window);
std::vector<uint32_t> PixelWindowFrame(PixelWindow* window, int* width, int* height);

// Dialogs, on the window's thread, modal.
struct PopupItem {
    unsigned id;  // 0: a separator
    std::string text;
    bool checked;
};
// A pop-up menu at the pointer: the chosen id, 0 when none.
unsigned PixelWindowPopupMenu(PixelWindow* window, const std::vector<PopupItem>& items);
// An open or save file dialog: filter name and pattern ("*.aes"); the default extension is added
// to a chosen name that has none. True with the chosen path.
bool PixelWindowFileDialog(PixelWindow* window, bool save, const std::string& title,
                           const std::string& filterName, const std::string& pattern,
                           const std::string& defaultExtension, const std::string& start,
                           std::string* path);
// A box with lines of text and one button.
void PixelWindowInfoBox(PixelWindow* window, const std::string& caption,
                        const std::vector<std::string>& lines);

namespace headless {
// The next pop-up menu answers this id; the next file dialog this path (empty: cancel).
void ScriptMenuChoice(unsigned id);
void ScriptFileChoice(const std::string& path);
// What the last pop-up menu, file dialog and info box showed.
std::vector<PopupItem> LastMenu();
std::string LastFileDialogTitle();
std::vector<std::string> LastInfoBox();
}  // namespace headless

}  // namespace win32
