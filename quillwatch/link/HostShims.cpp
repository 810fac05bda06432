#include "quillwatch/link/HostShims.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "quillwatch/link/DebuggerServices.h"
#include "standin/win32/Debugging.h"
#include "standin/win32/KernelObjects.h"
#include "standin/win32/MessageBox.h"
#include "standin/win32/WindowManager.h"

namespace quillwatch {

using namespace win32;

namespace {

HWND gConsole = nullptr;
HWND gMainWindow = nullptr;
char* gDialogFolder = nullptr;
size_t gDialogFolderSize = 0;
bool gPumping = false;

uint16_t SelectFile(HWND console, const char* title, char* path, size_t pathSize, const char* filter) {
    if (!path || pathSize == 0) return 0xFFFF;
    path[0] = 0;
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = gMainWindow;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = path;
    ofn.nMaxFile = static_cast<DWORD>(pathSize);
    ofn.lpstrTitle = title;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
    if (gDialogFolder && gDialogFolder[0]) ofn.lpstrInitialDir = gDialogFolder;
    if (!GetOpenFileNameA(&ofn)) {
        HostConsoleWrite(console, "Cancelled");
        return 0xFFFF;
    }
    // Remember the chosen folder (the path up to the file name) when it fits.
    if (gDialogFolder && ofn.nFileOffset < gDialogFolderSize) {
        std::memcpy(gDialogFolder, path, ofn.nFileOffset);
        gDialogFolder[ofn.nFileOffset] = 0;
    }
    return 0;
}

}  // namespace

void HostErrorBox(const char* text) { MessageBox(nullptr, text, "Error", MB_OK); }
void HostClearUserAbort() { DbgSetUserAbort(false); }
void HostArrowCursor() { SetCursor(LoadCursorA(nullptr, IDC_ARROW)); }
void HostWaitCursor() { SetCursor(LoadCursorA(nullptr, IDC_WAIT)); }

void HostPumpMessages(uint32_t ms) {
    const bool outer = !gPumping;  // a pump may run inside a message that a pump dispatched
    gPumping = true;
    const DWORD start = GetTickCount();
    MSG msg;
    do {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_CHAR && msg.wParam == 27) DbgSetUserAbort(true);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else if (ms) {
            Sleep(1);
        }
    } while (GetTickCount() - start < ms);
    if (outer) gPumping = false;
}

bool HostIsPumping() { return gPumping; }
void HostBeep() { MessageBeep(MB_ICONEXCLAMATION); }
void HostDebugOutput(const char* text) { OutputDebugStringA(text); }
int HostRandom() { return std::rand(); }

uint32_t HostFileModTime(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return 0;
    return static_cast<uint32_t>(st.st_mtime);
}

void HostSendKey(uint16_t character, uint16_t virtualKey) {
    uint16_t chr = 0, modifiers = 0;
    switch (virtualKey) {
        case 0: chr = character == 13 ? 10 : character; break;
        case 17: chr = 262; break;
        case 33: chr = 11, modifiers = 8; break;
        case 34: chr = 12, modifiers = 8; break;
        case 37: chr = 28; break;
        case 38: chr = 30; break;
        case 39: chr = 29; break;
        case 40: chr = 31; break;
        case 112: case 113: case 114: case 115:
            chr = static_cast<uint16_t>(516 + (virtualKey - 112)), modifiers = 8;
            break;
        default: return;
    }
    DbgSendRemoteEvent(chr, 0, modifiers, false);
}

void* HostAllocClear(size_t size) { return std::calloc(1, size ? size : 1); }
void HostFree(void* block) { std::free(block); }
void HostMemCopy(const void* source, void* destination, size_t count) {
    if (count) std::memmove(destination, source, count);
}

const char* HostDeviceFolder() {
    static char folder[4096 + 16];
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) cwd[0] = 0;
    std::snprintf(folder, sizeof folder, "%s\\Device\\", cwd);
    return folder;
}

uint8_t HostLinkSocket() { return DbgIsAttached() ? 0 : 1; }

HWND HostSetConsole(HWND window) {
    HWND old = gConsole;
    gConsole = window;
    return old;
}

HWND HostConsole() { return gConsole; }

void HostConsoleWrite(HWND window, const char* text) {
    if (!window || !text) return;
    std::string out;
    out.reserve(std::strlen(text) + 16);
    for (const char* p = text; *p; ++p) {
        if (*p == '\n' && (p == text || p[-1] != '\r')) out += '\r';
        out += *p;
    }
    SendMessageA(window, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(out.c_str()));
    UpdateWindow(window);
}

void HostPrint(const char* text) { HostConsoleWrite(gConsole, text); }

void HostEditSetSel(HWND window, int32_t start, int32_t end) {
    SendMessageA(window, EM_SETSEL, static_cast<WPARAM>(static_cast<intptr_t>(start)), end);
}

void HostEditGetSel(HWND window, uint32_t* start, uint32_t* end) {
    DWORD s = 0, e = 0;
    SendMessageA(window, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    if (start) *start = s;
    if (end) *end = e;
}

void HostEditDeleteRange(HWND window, int32_t start, int32_t end) {
    if (GetWindowTextLengthA(window) == 0) return;
    HostEditSetSel(window, start, end);
    SendMessageA(window, WM_CLEAR, 0, 0);
}

void HostSetMainWindow(HWND window) { gMainWindow = window; }

void HostSetDialogFolder(char* folder, size_t folderSize) {
    gDialogFolder = folderSize ? folder : nullptr;
    gDialogFolderSize = folderSize;
}

uint16_t HostSelectSymbolFile(HWND console, const char* title, char* path, size_t pathSize) {
    static const char kFilter[] = "Symbol Files (*.sym)\0*.sym\0";
    return SelectFile(console, title, path, pathSize, kFilter);
}

uint16_t HostSelectDatabaseFile(HWND console, const char* title, char* path, size_t pathSize) {
    static const char kFilter[] = "VantorOS Files (*.vrx)\0*.vrx\0";
    return SelectFile(console, title, path, pathSize, kFilter);
}

uint32_t HostGetTicks() { return GetTickCount(); }
void HostDebugBreak() { DebugBreak(); }

char* HostStrDup(const char* text) {
    if (!text) return nullptr;
    size_t n = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(std::malloc(n));
    if (copy) std::memcpy(copy, text, n);
    return copy;
}

}  // namespace quillwatch
