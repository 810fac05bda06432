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

#include <cstdio>
#include <cstdlib>

#include "standin/win32/Debugging.h"
#include "standin/win32/Dialogs.h"
#include "standin/win32/KernelObjects.h"
#include "standin/win32/WindowInternal.h"

namespace win32 {

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
    const WindowBackend* backend = nullptr;
    bool keyDown[256] = {};
    std::string clipboard;
};

State& S() {
    static State s;
    return s;
}

// Signed distance between two tick counts, correct across the wrap.
int32_t TickDiff(DWORD a, DWORD b) { return static_cast<int32_t>(a - b); }

void Changed(HWND hwnd) {
    ++hwnd->textVersion;
    if (S().backend && S().backend->changed) S().backend->changed(hwnd);
}

void ReplaceSelection(HWND hwnd, const std::string& ins) {
    auto& t = hwnd->text;
    t.replace(hwnd->selStart, hwnd->selEnd - hwnd->selStart, ins);
    hwnd->selStart = hwnd->selEnd = hwnd->selStart + ins.size();
}

// Replaces the selection and records the change for undo; typed characters that follow each
// other join one change, as a word typed is undone at once.
void ReplaceSelectionUndoably(HWND hwnd, const std::string& ins, bool typing) {
    const size_t pos = hwnd->selStart;
    std::string removed = hwnd->text.substr(pos, hwnd->selEnd - pos);
    if (removed.empty() && ins.empty()) return;
    ReplaceSelection(hwnd, ins);
    hwnd->redo.clear();
    auto& undo = hwnd->undo;
    if (typing && removed.empty() && !undo.empty() && undo.back().typing && undo.back().removed.empty() &&
        undo.back().pos + undo.back().inserted.size() == pos && ins != "\r\n") {
        undo.back().inserted += ins;
        return;
    }
    undo.push_back(TextEdit{pos, std::move(removed), ins, typing && ins != "\r\n"});
    if (undo.size() > hwnd->undoLimit) undo.erase(undo.begin(), undo.begin() + (undo.size() - hwnd->undoLimit));
}

// Takes back the latest change of `from` (undo or redo) and records its reverse in `to`. A change
// whose text is no longer where it was (the text was set anew) empties both lists instead.
BOOL UndoOne(HWND hwnd, std::vector<TextEdit>& from, std::vector<TextEdit>& to) {
    if (from.empty()) return FALSE;
    TextEdit e = std::move(from.back());
    from.pop_back();
    auto& t = hwnd->text;
    if (e.pos > t.size() || t.compare(e.pos, e.inserted.size(), e.inserted) != 0) {
        hwnd->undo.clear();
        hwnd->redo.clear();
        return FALSE;
    }
    t.replace(e.pos, e.inserted.size(), e.removed);
    hwnd->selStart = hwnd->selEnd = e.pos + e.removed.size();
    std::swap(e.removed, e.inserted);
    e.typing = false;
    to.push_back(std::move(e));
    Changed(hwnd);
    return TRUE;
}

// With WIN32_STANDIN_TEXT_DUMP set, a text control's text is appended to that file when it is
// destroyed, under its parent's title: tests read what a program showed.
void DumpText(HWND hwnd) {
    const char* path = std::getenv("WIN32_STANDIN_TEXT_DUMP");
    if (!path || !*path) return;
    if (FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "=== %s\n%s\n", hwnd->parent ? hwnd->parent->text.c_str() : "", hwnd->text.c_str());
        std::fclose(f);
    }
}

LRESULT MdiClientProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_MDIACTIVATE: {
            HWND child = reinterpret_cast<HWND>(wParam);
            if (!IsWindow(child) || child->parent != hwnd) return 0;
            HWND old = hwnd->activeChild;
            hwnd->activeChild = child;
            if (S().backend && S().backend->activated) S().backend->activated(hwnd, child);
            if (old != child) SendMessageA(child, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(old), reinterpret_cast<LPARAM>(child));
            return 0;
        }
        case WM_MDIGETACTIVE: return reinterpret_cast<LRESULT>(IsWindow(hwnd->activeChild) ? hwnd->activeChild : nullptr);
        default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

LRESULT RichEditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto& t = hwnd->text;
    LRESULT r = 0;
    switch (msg) {
        case WM_CHAR: {
            // Typing: printable characters and Enter replace the selection, Backspace deletes.
            if (wParam == VK_BACK) {
                if (hwnd->selStart == hwnd->selEnd && hwnd->selStart > 0) --hwnd->selStart;
                ReplaceSelectionUndoably(hwnd, "", false);
            } else if (wParam == VK_RETURN) {
                ReplaceSelectionUndoably(hwnd, "\r\n", true);
            } else if (wParam >= 0x20 && wParam < 0x100 && wParam != 0x7F) {
                ReplaceSelectionUndoably(hwnd, std::string(1, static_cast<char>(wParam)), true);
            } else {
                return 0;
            }
            Changed(hwnd);
            return 0;
        }
        case WM_KEYDOWN:
            switch (wParam) {
                case VK_DELETE:
                    if (hwnd->selStart == hwnd->selEnd && hwnd->selEnd < t.size()) ++hwnd->selEnd;
                    ReplaceSelectionUndoably(hwnd, "", false);
                    break;
                case VK_LEFT:
                    if (hwnd->selStart > 0) --hwnd->selStart;
                    hwnd->selEnd = hwnd->selStart;
                    break;
                case VK_RIGHT:
                    if (hwnd->selEnd < t.size()) ++hwnd->selEnd;
                    hwnd->selStart = hwnd->selEnd;
                    break;
                case VK_END: hwnd->selStart = hwnd->selEnd = t.size(); break;
                default: return 0;
            }
            Changed(hwnd);
            return 0;
        case WM_COPY:
        case WM_CUT:
            if (hwnd->selEnd > hwnd->selStart) S().clipboard = t.substr(hwnd->selStart, hwnd->selEnd - hwnd->selStart);
            if (msg == WM_CUT) {
                ReplaceSelectionUndoably(hwnd, "", false);
                Changed(hwnd);
            }
            return 0;
        case WM_PASTE:
            ReplaceSelectionUndoably(hwnd, S().clipboard, false);
            Changed(hwnd);
            return 0;
        case EM_SETLIMITTEXT: return 0;
        case EM_EMPTYUNDOBUFFER:
            hwnd->undo.clear();
            hwnd->redo.clear();
            return 0;
        case EM_SETUNDOLIMIT:
            hwnd->undoLimit = static_cast<size_t>(wParam);
            if (hwnd->undo.size() > hwnd->undoLimit)
                hwnd->undo.erase(hwnd->undo.begin(), hwnd->undo.begin() + (hwnd->undo.size() - hwnd->undoLimit));
            return static_cast<LRESULT>(hwnd->undoLimit);
        case EM_CANUNDO: return hwnd->undo.empty() ? FALSE : TRUE;
        case EM_CANREDO: return hwnd->redo.empty() ? FALSE : TRUE;
        case EM_UNDO: return UndoOne(hwnd, hwnd->undo, hwnd->redo);
        case EM_REDO: return UndoOne(hwnd, hwnd->redo, hwnd->undo);
        case WM_SETFONT:
            if (const LOGFONTA* f = FontRecord(reinterpret_cast<HFONT>(wParam))) {
                hwnd->fontFace = f->lfFaceName;
                hwnd->fontPixels = f->lfHeight < 0 ? -f->lfHeight : f->lfHeight;
                Changed(hwnd);
            }
            return 0;
        case WM_SETTEXT:
            r = DefWindowProcA(hwnd, msg, wParam, lParam);
            hwnd->undo.clear();
            hwnd->redo.clear();
            Changed(hwnd);
            return r;
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
            Changed(hwnd);
            return 0;
        }
        case EM_GETSEL:
            if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(hwnd->selStart);
            if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(hwnd->selEnd);
            return static_cast<LRESULT>((hwnd->selStart & 0xFFFF) | ((hwnd->selEnd & 0xFFFF) << 16));
        case EM_REPLACESEL: {
            // wParam: whether the change can be undone.
            const char* text = reinterpret_cast<const char*>(lParam);
            if (wParam)
                ReplaceSelectionUndoably(hwnd, text ? text : "", false);
            else
                ReplaceSelection(hwnd, text ? text : "");
            Changed(hwnd);
            return 0;
        }
        case WM_CLEAR:
            ReplaceSelectionUndoably(hwnd, "", false);
            Changed(hwnd);
            return 0;
        default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

HWND FindLive(HWND hwnd);

}  // namespace

void SetTextMarks(HWND edit, int marginPixels, const std::vector<TextMark>& marks) {
    if (!IsWindow(edit)) return;
    edit->markMargin = marginPixels < 0 ? 0 : marginPixels;
    edit->marks = marks;
    if (S().backend && S().backend->changed) S().backend->changed(edit);
}

std::vector<TextMark> GetTextMarks(HWND edit) { return IsWindow(edit) ? edit->marks : std::vector<TextMark>{}; }

int GetTextMarkMargin(HWND edit) { return IsWindow(edit) ? edit->markMargin : 0; }

void SetSplitPanes(HWND top, HWND bottom, double ratio, COLORREF color) {
    if (!IsWindow(top) || !IsWindow(bottom) || top->parent != bottom->parent) return;
    top->splitBottom = bottom;
    bottom->splitTop = top;
    top->splitRatio = ratio < 0 ? 0 : ratio > kSplitRatioMax ? kSplitRatioMax : ratio;
    top->splitColor = color;
    if (S().backend && S().backend->split) S().backend->split(top);
}

namespace {
// The upper control of the split panes that a control belongs to.
HWND SplitTop(HWND hwnd) {
    if (!IsWindow(hwnd)) return nullptr;
    return hwnd->splitTop && IsWindow(hwnd->splitTop) ? hwnd->splitTop : hwnd;
}
}  // namespace

double GetSplitRatio(HWND control) { return SplitTop(control) ? SplitTop(control)->splitRatio : 0; }

COLORREF GetSplitColor(HWND control) { return SplitTop(control) ? SplitTop(control)->splitColor : 0; }

namespace {

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

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int, int, int, int, HWND parent,
                     void*, HINSTANCE, void* param) {
    if (!className) return nullptr;
    auto& s = S();
    WNDPROC proc;
    {
        std::lock_guard<std::recursive_mutex> g(s.lock);
        if (std::strcmp(className, RICHEDIT_CLASSA) == 0) {
            proc = RichEditProc;
        } else if (std::strcmp(className, MDICLIENT_CLASSA) == 0) {
            proc = MdiClientProc;
        } else {
            auto it = s.classes.find(className);
            if (it == s.classes.end()) return nullptr;
            proc = it->second;
        }
        auto w = std::make_unique<Win32Window>();
        w->className = className;
        w->proc = proc;
        w->parent = parent;
        w->style = style;
        w->text = windowName ? windowName : "";
        w->selStart = w->selEnd = w->text.size();
        s.windows.push_back(std::move(w));
    }
    HWND hwnd = s.windows.back().get();
    if (s.backend && s.backend->created) s.backend->created(hwnd);
    proc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(param));
    return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
    auto& s = S();
    if (!FindLive(hwnd)) return FALSE;
    // Children go first, as their parent's window does.
    for (;;) {
        HWND child = nullptr;
        for (auto& w : s.windows)
            if (w->parent == hwnd) child = w.get();
        if (!child) break;
        DestroyWindow(child);
    }
    hwnd->proc(hwnd, WM_DESTROY, 0, 0);
    if (hwnd->className == RICHEDIT_CLASSA) DumpText(hwnd);
    // A window's menu goes with it.
    if (hwnd->menu) DestroyMenu(hwnd->menu);
    hwnd->menu = nullptr;
    if (s.backend && s.backend->destroyed) s.backend->destroyed(hwnd);
    if (hwnd->parent && hwnd->parent->activeChild == hwnd) hwnd->parent->activeChild = nullptr;
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
            if (hwnd->className != RICHEDIT_CLASSA) Changed(hwnd);
            return TRUE;
        case WM_CLOSE: DestroyWindow(hwnd); return 0;
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

// Key messages of the window-system backend carry their character in bits 32-47 of lParam and the
// Shift, Ctrl and Alt state in bits 48-50.
void NoteKeys(const MSG& m) {
    if (m.message != WM_KEYDOWN && m.message != WM_SYSKEYDOWN && m.message != WM_KEYUP) return;
    auto& s = S();
    const uint64_t l = static_cast<uint64_t>(m.lParam);
    if (l >> 48) {
        s.keyDown[VK_SHIFT] = l >> 48 & 1;
        s.keyDown[VK_CONTROL] = l >> 49 & 1;
        s.keyDown[VK_MENU] = l >> 50 & 1;
    }
    if (m.wParam < 256) s.keyDown[m.wParam] = m.message != WM_KEYUP;
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove) {
    auto& s = S();
    if (s.backend && s.backend->pump) s.backend->pump();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    auto matches = [&](const MSG& m) {
        if (hwnd && m.hwnd != hwnd) return false;
        if (filterMin == 0 && filterMax == 0) return true;
        return m.message >= filterMin && m.message <= filterMax;
    };
    for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
        if (!matches(*it)) continue;
        *msg = *it;
        if (remove & PM_REMOVE) {
            s.queue.erase(it);
            NoteKeys(*msg);
        }
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
    if (auto ch = static_cast<uint64_t>(msg->lParam) >> 32 & 0xFFFF) {
        // A window-system key with its character.
        PostMessageA(msg->hwnd, WM_CHAR, static_cast<WPARAM>(ch), 0);
        return TRUE;
    }
    if (static_cast<uint64_t>(msg->lParam) >> 48) return FALSE;  // a window-system key without one
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

HWND GetParent(HWND hwnd) { return IsWindow(hwnd) ? hwnd->parent : nullptr; }

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    if (!IsWindow(hwnd)) return 0;
    LONG_PTR old = 0;
    if (index == GWLP_USERDATA) {
        old = hwnd->userData;
        hwnd->userData = value;
    } else if (index == GWLP_WNDPROC) {
        old = reinterpret_cast<LONG_PTR>(hwnd->proc);
        hwnd->proc = reinterpret_cast<WNDPROC>(value);
    }
    return old;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
    if (!IsWindow(hwnd)) return 0;
    if (index == GWLP_USERDATA) return hwnd->userData;
    if (index == GWLP_WNDPROC) return reinterpret_cast<LONG_PTR>(hwnd->proc);
    return 0;
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

int GetClassNameA(HWND hwnd, LPSTR buffer, int size) {
    if (!IsWindow(hwnd) || !buffer || size <= 0) return 0;
    size_t n = std::min<size_t>(hwnd->className.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, hwnd->className.data(), n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

HWND SetFocus(HWND hwnd) {
    if (!IsWindow(hwnd)) return nullptr;
    if (S().backend && S().backend->focus) S().backend->focus(hwnd);
    SendMessageA(hwnd, WM_SETFOCUS, 0, 0);
    return hwnd;
}

short GetKeyState(int virtualKey) {
    if (virtualKey < 0 || virtualKey > 255) return 0;
    return S().keyDown[virtualKey] ? static_cast<short>(0x8000) : 0;
}

void SetWindowBackend(const WindowBackend* backend) { S().backend = backend; }
const WindowBackend* CurrentWindowBackend() { return S().backend; }

namespace headless {
void SetKeyDown(int virtualKey, bool down) {
    if (virtualKey >= 0 && virtualKey < 256) S().keyDown[virtualKey] = down;
}
}  // namespace headless

HMENU CreateMenu() { return new Win32Menu; }
HMENU CreatePopupMenu() { return new Win32Menu; }

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
    if (!menu) return FALSE;
    MenuItem item{flags, idOrPopup, nullptr, text ? text : ""};
    if (flags & MF_POPUP) {
        item.popup = reinterpret_cast<HMENU>(idOrPopup);
        item.id = 0;
    }
    menu->items.push_back(item);
    return TRUE;
}

BOOL SetMenu(HWND hwnd, HMENU menu) {
    if (!IsWindow(hwnd)) return FALSE;
    hwnd->menu = menu;
    if (S().backend && S().backend->menuSet) S().backend->menuSet(hwnd);
    return TRUE;
}

HMENU GetMenu(HWND hwnd) { return IsWindow(hwnd) ? hwnd->menu : nullptr; }

namespace {
MenuItem* FindItem(HMENU menu, UINT id) {
    if (!menu) return nullptr;
    for (auto& item : menu->items) {
        if (!(item.flags & (MF_POPUP | MF_SEPARATOR)) && item.id == id) return &item;
        if (item.popup)
            if (MenuItem* found = FindItem(item.popup, id)) return found;
    }
    return nullptr;
}
}  // namespace

int EnableMenuItem(HMENU menu, UINT id, UINT enable) {
    MenuItem* item = FindItem(menu, id);
    if (!item) return -1;
    int old = static_cast<int>(item->flags & MF_GRAYED);
    item->flags = (item->flags & ~MF_GRAYED) | (enable & MF_GRAYED);
    return old;
}

int CheckMenuItem(HMENU menu, UINT id, UINT check) {
    MenuItem* item = FindItem(menu, id);
    if (!item) return -1;
    int old = static_cast<int>(item->flags & MF_CHECKED);
    item->flags = (item->flags & ~MF_CHECKED) | (check & MF_CHECKED);
    return old;
}

BOOL DestroyMenu(HMENU menu) {
    if (!menu) return FALSE;
    for (auto& item : menu->items)
        if (item.popup) DestroyMenu(item.popup);
    delete menu;
    return TRUE;
}

BOOL TrackPopupMenu(HMENU menu, UINT, int, int, int, HWND hwnd, const void*) {
    if (!menu || !IsWindow(hwnd)) return FALSE;
    if (S().backend && S().backend->trackPopup) return S().backend->trackPopup(menu, hwnd);
    return FALSE;
}

struct Win32Accel {
    std::vector<ACCEL> entries;
};

HACCEL CreateAcceleratorTableA(const ACCEL* entries, int count) {
    if (!entries || count <= 0) return nullptr;
    auto* t = new Win32Accel;
    t->entries.assign(entries, entries + count);
    return t;
}

BOOL DestroyAcceleratorTable(HACCEL table) {
    delete table;
    return TRUE;
}

int TranslateAcceleratorA(HWND hwnd, HACCEL table, MSG* msg) {
    if (!table || !msg || !IsWindow(hwnd)) return 0;
    if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) return 0;
    const bool shift = GetKeyState(static_cast<int>(VK_SHIFT)) < 0;
    const bool ctrl = GetKeyState(static_cast<int>(VK_CONTROL)) < 0;
    const bool alt = GetKeyState(static_cast<int>(VK_MENU)) < 0;
    for (const ACCEL& a : table->entries) {
        if (!(a.fVirt & FVIRTKEY) || a.key != msg->wParam) continue;
        if (bool(a.fVirt & FSHIFT) != shift || bool(a.fVirt & FCONTROL) != ctrl || bool(a.fVirt & FALT) != alt) continue;
        SendMessageA(hwnd, WM_COMMAND, (WPARAM{1} << 16) | a.cmd, 0);
        return 1;
    }
    return 0;
}

DWORD GetTickCount() {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<DWORD>(static_cast<uint64_t>(ms));
}

}  // namespace win32
