#include "standin/win32/Debugging.h"
#include "standin/win32/WindowManager.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace win32 {

namespace {

struct State {
    std::mutex lock;
    std::string debugOutput;
    int beeps = 0;
    HCURSOR cursor = nullptr;
    std::vector<std::string> scriptedFiles;
    headless::OpenFileRecord lastOpen;
};

State& S() {
    static State s;
    return s;
}

}  // namespace

void OutputDebugStringA(LPCSTR text) {
    if (!text) return;
    std::fputs(text, stderr);
    auto& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    s.debugOutput += text;
}

void DebugBreak() { OutputDebugStringA("DebugBreak\n"); }

BOOL MessageBeep(UINT) {
    auto& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    ++s.beeps;
    return TRUE;
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR name) { return reinterpret_cast<HCURSOR>(const_cast<char*>(name)); }

HCURSOR SetCursor(HCURSOR cursor) {
    auto& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    HCURSOR old = s.cursor;
    s.cursor = cursor;
    return old;
}

BOOL GetOpenFileNameA(OPENFILENAMEA* ofn) {
    if (!ofn || !ofn->lpstrFile || ofn->nMaxFile == 0) return FALSE;
    auto& s = S();
    std::string path;
    bool scripted = false;
    {
        std::lock_guard<std::mutex> g(s.lock);
        s.lastOpen = {ofn->lpstrInitialDir ? ofn->lpstrInitialDir : "", ofn->lpstrTitle ? ofn->lpstrTitle : "", ""};
        for (const char* f = ofn->lpstrFilter; f && *f; f += std::strlen(f) + 1) {
            if (!s.lastOpen.filter.empty()) s.lastOpen.filter += '|';
            s.lastOpen.filter += f;
        }
        if (!s.scriptedFiles.empty()) {
            path = s.scriptedFiles.front();
            s.scriptedFiles.erase(s.scriptedFiles.begin());
            scripted = true;
        }
    }
    if (!scripted) {
        // A window system lets the user pick the file (outside the lock: the dialog runs a loop).
        const WindowBackend* b = CurrentWindowBackend();
        if (!b || !b->openFile || !b->openFile(ofn, &path)) return FALSE;
    }
    if (path.empty() || path.size() >= ofn->nMaxFile) return FALSE;
    std::memcpy(ofn->lpstrFile, path.c_str(), path.size() + 1);
    size_t slash = path.find_last_of("\\/");
    ofn->nFileOffset = static_cast<WORD>(slash == std::string::npos ? 0 : slash + 1);
    return TRUE;
}

namespace headless {

std::string DebugOutput() {
    auto& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    return s.debugOutput;
}

void ClearDebugOutput() {
    auto& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    s.debugOutput.clear();
}

int BeepCount() {
    auto& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    return s.beeps;
}

HCURSOR CurrentCursor() {
    auto& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    return s.cursor;
}

void ScriptOpenFile(const std::string& path) {
    auto& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    s.scriptedFiles.push_back(path);
}

OpenFileRecord LastOpenFile() {
    auto& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    return s.lastOpen;
}

}  // namespace headless

}  // namespace win32
