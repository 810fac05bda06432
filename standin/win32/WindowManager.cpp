#include "standin/win32/WindowManager.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "standin/win32/Debugging.h"
#include "standin/win32/KernelObjects.h"

namespace win32 {

struct Win32Window {
    std::string className;
    WNDPROC proc = nullptr;
    HWND parent = nullptr;
    std::string text;
    // Selection of a text control, as character positions.
    size_t selStart = 0;
    size_t selEnd = 0;
};

namespace {

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT period;
    DWORD due;
    TIMERPROC proc;
};

struct State {
    std::recursive_mutex lock;
    std::map<std::string, WNDPROC> classes;
    std::vector<std::unique_ptr<Win32Window>> windows;
    std::deque<MSG> queue;
    std::vector<Timer> timers;
    UINT_PTR nextTimerId = 1;
};

State& S() {
    static State s;
    return s;
}

// Signed distance between two tick counts, correct across the wrap.
int32_t TickDiff(DWORD a, DWORD b) { return static_cast<int32_t>(a - b); }

LRESULT RichEditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto& t = hwnd->text;
    switch (msg) {
        case EM_SETSEL: {
            // (0, -1) selects all; a negative start removes the selection (caret at the end).
            auto start = static_cast<intptr_t>(wParam);
            intptr_t end = lParam;
            if (start < 0) {
                hwnd->selStart = hwnd->selEnd = t.size();
                return 0;
            }
            size_t s = std::min<size_t>(static_cast<size_t>(start), t.size());
            size_t e = end < 0 ? t.size() : std::min<size_t>(static_cast<size_t>(end), t.size());
            hwnd->selStart = std::min(s, e);
            hwnd->selEnd = std::max(s, e);
            return 0;
        }
        case EM_GETSEL:
            if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(hwnd->selStart);
            if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(hwnd->selEnd);
            return static_cast<LRESULT>((hwnd->selStart & 0xFFFF) | ((hwnd->selEnd & 0xFFFF) << 16));
        case EM_REPLACESEL: {
            const char* text = reinterpret_cast<const char*>(lParam);
            std::string ins = text ? text : "";
            t.replace(hwnd->selStart, hwnd->selEnd - hwnd->selStart, ins);
            hwnd->selStart = hwnd->selEnd = hwnd->selStart + ins.size();
            return 0;
        }
        case WM_CLEAR:
            t.erase(hwnd->selStart, hwnd->selEnd - hwnd->selStart);
            hwnd->selEnd = hwnd->selStart;
            return 0;
        default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

HWND FindLive(HWND hwnd) {
    auto& s = S();
    for (auto& w : s.windows)
        if (w.get() == hwnd) return hwnd;
    return nullptr;
}

}  // namespace

WORD RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return 0;
    auto& s = S();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    if (s.classes.count(wc->lpszClassName)) return 0;
    s.classes[wc->lpszClassName] = wc->lpfnWndProc;
    return static_cast<WORD>(s.classes.size());
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD, int, int, int, int, HWND parent,
                     void*, HINSTANCE, void*) {
    if (!className) return nullptr;
    auto& s = S();
    WNDPROC proc;
    {
        std::lock_guard<std::recursive_mutex> g(s.lock);
        if (std::strcmp(className, RICHEDIT_CLASSA) == 0) {
            proc = RichEditProc;
        } else {
            auto it = s.classes.find(className);
            if (it == s.classes.end()) return nullptr;
            proc = it->second;
        }
        auto w = std::make_unique<Win32Window>();
        w->className = className;
        w->proc = proc;
        w->parent = parent;
        w->text = windowName ? windowName : "";
        w->selStart = w->selEnd = w->text.size();
        s.windows.push_back(std::move(w));
    }
    HWND hwnd = s.windows.back().get();
    proc(hwnd, WM_CREATE, 0, 0);
    return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
    auto& s = S();
    if (!FindLive(hwnd)) return FALSE;
    hwnd->proc(hwnd, WM_DESTROY, 0, 0);
    std::lock_guard<std::recursive_mutex> g(s.lock);
    std::erase_if(s.timers, [&](const Timer& t) { return t.hwnd == hwnd; });
    std::erase_if(s.queue, [&](const MSG& m) { return m.hwnd == hwnd; });
    std::erase_if(s.windows, [&](const auto& w) { return w.get() == hwnd; });
    return TRUE;
}

BOOL IsWindow(HWND hwnd) { return hwnd && FindLive(hwnd) ? TRUE : FALSE; }

BOOL UpdateWindow(HWND hwnd) { return IsWindow(hwnd); }

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_SETTEXT:
            hwnd->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
            hwnd->selStart = hwnd->selEnd = hwnd->text.size();
            return TRUE;
        case WM_GETTEXTLENGTH: return static_cast<LRESULT>(hwnd->text.size());
        case WM_GETTEXT: {
            auto* out = reinterpret_cast<char*>(lParam);
            if (!out || wParam == 0) return 0;
            size_t n = std::min<size_t>(hwnd->text.size(), wParam - 1);
            std::memcpy(out, hwnd->text.data(), n);
            out[n] = 0;
            return static_cast<LRESULT>(n);
        }
        default: return 0;
    }
}

int GetWindowTextLengthA(HWND hwnd) {
    return IsWindow(hwnd) ? static_cast<int>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0)) : 0;
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int size) {
    if (!IsWindow(hwnd) || size <= 0) return 0;
    return static_cast<int>(
        SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
    return IsWindow(hwnd) ? static_cast<BOOL>(SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)))
                          : FALSE;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!IsWindow(hwnd)) return 0;
    return hwnd->proc(hwnd, msg, wParam, lParam);
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto& s = S();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    if (hwnd && !FindLive(hwnd)) return FALSE;
    s.queue.push_back(MSG{hwnd, msg, wParam, lParam, GetTickCount()});
    return TRUE;
}

void PostQuitMessage(int exitCode) { PostMessageA(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0); }

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove) {
    auto& s = S();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    auto matches = [&](const MSG& m) {
        if (hwnd && m.hwnd != hwnd) return false;
        if (filterMin == 0 && filterMax == 0) return true;
        return m.message >= filterMin && m.message <= filterMax;
    };
    for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
        if (!matches(*it)) continue;
        *msg = *it;
        if (remove & PM_REMOVE) s.queue.erase(it);
        return TRUE;
    }
    // Nothing queued: a due timer becomes a WM_TIMER message.
    DWORD now = GetTickCount();
    for (auto& t : s.timers) {
        if (TickDiff(now, t.due) < 0) continue;
        MSG m{t.hwnd, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), now};
        if (!matches(m)) continue;
        *msg = m;
        if (remove & PM_REMOVE) t.due = now + t.period;
        return TRUE;
    }
    return FALSE;
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    while (!PeekMessageA(msg, hwnd, filterMin, filterMax, PM_REMOVE)) Sleep(1);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG* msg) {
    if (!msg || msg->message != WM_KEYDOWN) return FALSE;
    WPARAM vk = msg->wParam;
    bool hasChar = vk == 0x1B || vk == 0x0D || vk == 0x09 || vk == 0x08 || vk == 0x20 ||
                   (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z');
    if (!hasChar) return FALSE;
    WPARAM ch = (vk >= 'A' && vk <= 'Z') ? vk + ('a' - 'A') : vk;
    PostMessageA(msg->hwnd, WM_CHAR, ch, msg->lParam);
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg) return 0;
    try {
        if (msg->message == WM_TIMER && msg->lParam) {
            reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
            return 0;
        }
        if (!IsWindow(msg->hwnd)) return 0;
        return msg->hwnd->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    } catch (const std::exception& e) {
        OutputDebugStringA((std::string("window procedure ended by an exception: ") + e.what() + "\n").c_str());
    } catch (...) {
        OutputDebugStringA("window procedure ended by an exception\n");
    }
    return 0;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    auto& s = S();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    if (hwnd && !FindLive(hwnd)) return 0;
    if (!hwnd) id = s.nextTimerId++;
    UINT period = std::max<UINT>(elapseMs, 10);
    DWORD due = GetTickCount() + period;
    for (auto& t : s.timers) {
        if (t.hwnd == hwnd && t.id == id) {
            t = Timer{hwnd, id, period, due, proc};
            return id ? id : 1;
        }
    }
    s.timers.push_back(Timer{hwnd, id, period, due, proc});
    return id ? id : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    auto& s = S();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    size_t n = std::erase_if(s.timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    std::erase_if(s.queue, [&](const MSG& m) { return m.hwnd == hwnd && m.message == WM_TIMER && m.wParam == id; });
    return n ? TRUE : FALSE;
}

DWORD GetTickCount() {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<DWORD>(static_cast<uint64_t>(ms));
}

}  // namespace win32
