// Host shims: what the link and shell code expect of a host (memory, console output into the
// debugger's text windows, the message pump with Esc abort, cursors, beeps, file dialogs, the
// socket for remote calls) and the C source scanner behind the Source window's function list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "standin/win32/Win32Types.h"

namespace quillwatch {

using win32::HWND;

void HostErrorBox(const char* text);
void HostClearUserAbort();
void HostArrowCursor();
void HostWaitCursor();
// Dispatches window messages for ms milliseconds (0: one message at most); an Esc typed meanwhile
// sets the user-abort flag.
void HostPumpMessages(uint32_t ms);
bool HostIsPumping();
void HostBeep();
void HostDebugOutput(const char* text);
int HostRandom();
// The file's modification time, 0 when it cannot be read.
uint32_t HostFileModTime(const char* path);
// Turns a character (virtual key 0) or a virtual key into a device key event and sends it.
void HostSendKey(uint16_t character, uint16_t virtualKey);
void* HostAllocClear(size_t size);
void HostFree(void* block);
void HostMemCopy(const void* source, void* destination, size_t count);
// The current directory followed by "\Device\", in a static buffer.
const char* HostDeviceFolder();
// The socket of remote calls: 0 (debugger) while attached, else 1 (console).
uint8_t HostLinkSocket();

HWND HostSetConsole(HWND window);
HWND HostConsole();
// Replaces the window's selection with the text, each LF not preceded by CR written as CR LF.
void HostConsoleWrite(HWND window, const char* text);
void HostPrint(const char* text);
void HostEditSetSel(HWND window, int32_t start, int32_t end);
void HostEditGetSel(HWND window, uint32_t* start, uint32_t* end);
void HostEditDeleteRange(HWND window, int32_t start, int32_t end);

// The main window owns the file dialogs; folder is the preferences record's remembered directory
// (a buffer of folderSize bytes that the dialogs read and update), or none.
void HostSetMainWindow(HWND window);
void HostSetDialogFolder(char* folder, size_t folderSize);
// Open-file dialogs: 0 when a file was chosen, 0xFFFF ("Cancelled" written to the console) when
// dismissed.
uint16_t HostSelectSymbolFile(HWND console, const char* title, char* path, size_t pathSize);
uint16_t HostSelectDatabaseFile(HWND console, const char* title, char* path, size_t pathSize);

uint32_t HostGetTicks();
void HostDebugBreak();
// A heap copy (free with HostFree); none for none or when memory is exhausted.
char* HostStrDup(const char* text);

// C source scanner. Token kinds of HostScanToken.
enum HostTokenKind : int {
    hostTokComment = 0,
    hostTokIdentifier = 1,  // also the rest of a directive line in line mode
    hostTokOpenParen = 2,
    hostTokCloseParen = 3,
    hostTokOpenBrace = 4,
    hostTokCloseBrace = 5,
    hostTokSemicolon = 6,
    hostTokHash = 7,
    hostTokString = 8,
    hostTokOther = 9,
    hostTokEnd = 10,
};
// Scanner over one zero-terminated text.
struct HostScanner {
    const char* pos;
    const char* tokenStart;
    size_t tokenLength;
    uint32_t line;  // 1-based line of the position
};
void HostScanBegin(HostScanner& scanner, const char* text);
int HostScanToken(HostScanner& scanner, bool lineMode);

// One entry of the Source window's function list: a name and its 1-based line.
struct HostFunctionEntry {
    char name[64];
    uint32_t line;
};
static_assert(sizeof(HostFunctionEntry) == 68);
// Scans a source text for function definitions and pragma-mark lines, in file order. Returns 0
// when the scan reached the end of the text, -1 when memory for the entries ran out (the entries
// found so far are kept). The caller frees *entries with HostFree.
int HostScanPragmaMarks(const char* text, uint32_t* count, HostFunctionEntry** entries);

}  // namespace quillwatch
