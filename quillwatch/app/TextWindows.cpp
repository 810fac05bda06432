#include "quillwatch/app/TextWindows.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/ReadFile.h"
#include "quillwatch/app/App.h"
#include "quillwatch/app/Prefs.h"
#include "quillwatch/engine/lang/DbgContext.h"
#include "quillwatch/engine/debugger/RunControl.h"
#include "quillwatch/engine/debugger/SymbolFiles.h"
#include "quillwatch/link/DebuggerServices.h"
#include "quillwatch/link/HostShims.h"
#include "standin/win32/Dialogs.h"
#include "standin/win32/MessageBox.h"

namespace quillwatch {

using namespace win32;

namespace {

constexpr char kTextClass[] = "CmdWin";
constexpr char kSourceClass[] = "SrcWin";
constexpr char kRemoteClass[] = "RemoteUI";
constexpr uint32_t kCtrlC = 3, kCtrlZ = 26;
constexpr WPARAM kSemicolonKey = 0xBA;  // the virtual key that gives ';'

// A font for the text controls from the preferences' font record.
HFONT MakeFont(const PrefsFont& p) {
    LOGFONTA f{};
    f.lfHeight = p.height;
    f.lfWidth = p.width;
    f.lfWeight = p.weight;
    f.lfItalic = p.italic;
    f.lfQuality = p.quality;
    f.lfPitchAndFamily = p.pitchAndFamily;
    std::snprintf(f.lfFaceName, sizeof f.lfFaceName, "%s", p.faceName);
    return CreateFontIndirectA(&f);
}

// The font in use by every text control; replaced as a whole when the user picks another.
HFONT gFont = nullptr;

void ApplyFont(const PrefsFont* font, std::initializer_list<HWND> edits) {
    if (font) {
        HFONT old = gFont;
        gFont = MakeFont(*font);
        for (HWND e : edits) SendMessageA(e, WM_SETFONT, reinterpret_cast<WPARAM>(gFont), 0);
        if (old && old != gFont) DeleteObject(old);
    } else if (gFont) {
        for (HWND e : edits) SendMessageA(e, WM_SETFONT, reinterpret_cast<WPARAM>(gFont), 0);
    }
}

struct TextWindowData {
    HWND edit = nullptr;
    WNDPROC editProc = nullptr;
    TextLineProc proc = nullptr;
    LONG_PTR context = 0;
    size_t noted = 0;        // where the last execution's output began
    bool justExecuted = false;
};

TextWindowData* DataOf(HWND window) { return reinterpret_cast<TextWindowData*>(GetWindowLongPtrA(window, GWLP_USERDATA)); }

std::string TextOf(HWND edit) {
    int len = GetWindowTextLengthA(edit);
    std::string text(static_cast<size_t>(len) + 1, '\0');
    GetWindowTextA(edit, text.data(), len + 1);
    text.resize(static_cast<size_t>(len));
    return text;
}

void Selection(HWND edit, size_t* start, size_t* end) {
    DWORD s = 0, e = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    *start = s;
    *end = e;
}

// Executes the selection's lines, or the caret's line: the caret moves to the end, a line end is
// appended, and each line goes to the window's line procedure in order.
void Execute(HWND window) {
    TextWindowData* d = DataOf(window);
    if (!d) return;
    std::vector<std::string> lines;
    TextWindowSelectedLines(
        d->edit, [](const char* line, void* data) { static_cast<std::vector<std::string>*>(data)->push_back(line); },
        &lines);
    SendMessageA(d->edit, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    SendMessageA(d->edit, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>("\r\n"));
    d->noted = TextOf(d->edit).size();
    for (const auto& line : lines)
        if (d->proc) d->proc(line.c_str(), d->context);
    d->justExecuted = true;
}

LRESULT EditSubclassProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND window = GetParent(edit);
    TextWindowData* d = DataOf(window);
    if (!d) return DefWindowProcA(edit, msg, wParam, lParam);
    const bool shift = GetKeyState(static_cast<int>(VK_SHIFT)) < 0;
    if (msg == WM_CHAR) {
        if (wParam == VK_RETURN && !shift) {
            Execute(window);
            return 0;
        }
        if (wParam == kCtrlZ) {
            if (d->justExecuted) {
                // Undo right after an execution removes that command's output.
                SendMessageA(edit, EM_SETSEL, d->noted, -1);
                SendMessageA(edit, WM_CLEAR, 0, 0);
                SendMessageA(edit, EM_EMPTYUNDOBUFFER, 0, 0);
                d->justExecuted = false;
            } else {
                SendMessageA(edit, EM_UNDO, 0, 0);
            }
            return 0;
        }
        if (wParam == kCtrlC && d->proc) {
            d->proc("\x03", d->context);
        }
        d->justExecuted = false;
    } else if (msg == WM_KEYDOWN && wParam == VK_BACK && shift) {
        // Shift+Back deletes from the caret to the end of the text.
        size_t s, e;
        Selection(edit, &s, &e);
        SendMessageA(edit, EM_SETSEL, s, -1);
        SendMessageA(edit, WM_CLEAR, 0, 0);
        return 0;
    } else if (msg == WM_CONTEXTMENU) {
        HMENU menu = CreatePopupMenu();
        AppendMenuA(menu, MF_STRING, cmdCut, "Cut");
        AppendMenuA(menu, MF_STRING, cmdCopy, "Copy");
        AppendMenuA(menu, MF_STRING, cmdPaste, "Paste");
        TrackPopupMenu(menu, 0, 0, 0, 0, window, nullptr);
        DestroyMenu(menu);
        return 0;
    }
    return CallWindowProcA(d->editProc, edit, msg, wParam, lParam);
}

LRESULT TextWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TextWindowData* d = DataOf(hwnd);
    switch (msg) {
        case WM_CREATE: {
            auto* data = new TextWindowData;
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
            data->edit = CreateWindowExA(0, RICHEDIT_CLASSA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd, nullptr, nullptr,
                                         nullptr);
            SendMessageA(data->edit, EM_SETLIMITTEXT, 1 << 20, 0);
            SendMessageA(data->edit, EM_SETUNDOLIMIT, 100, 0);
            data->editProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(data->edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditSubclassProc)));
            return 0;
        }
        case WM_COMMAND: {
            if (!d) return 0;
            switch (wParam & 0xFFFF) {
                case cmdExecute: Execute(hwnd); return 0;
                case cmdSetFont: ApplyFont(reinterpret_cast<const PrefsFont*>(lParam), {d->edit}); return 0;
                case cmdGetEdit: return reinterpret_cast<LRESULT>(d->edit);
                case cmdSetContext: d->context = lParam; return 0;
                case cmdUndo: SendMessageA(d->edit, EM_UNDO, 0, 0); return 0;
                case cmdRedo: SendMessageA(d->edit, EM_REDO, 0, 0); return 0;
                case cmdCut: SendMessageA(d->edit, WM_CUT, 0, 0); return 0;
                case cmdCopy: SendMessageA(d->edit, WM_COPY, 0, 0); return 0;
                case cmdPaste: SendMessageA(d->edit, WM_PASTE, 0, 0); return 0;
                case cmdSelectAll: SendMessageA(d->edit, EM_SETSEL, 0, -1); return 0;
                default: return 0;
            }
        }
        case WM_SETFOCUS:
            if (d) SetFocus(d->edit);
            return 0;
        case WM_DESTROY:
            delete d;
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            return 0;
        default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

// The Source window: a status pane above the source pane.
struct SourceData {
    HWND status = nullptr;
    HWND text = nullptr;
    DbgContextType** context = nullptr;
    std::string file;  // the file shown, as the symbol file names it
    std::string symbolPath;
    std::string readPath;  // where the file shown was read from
    uint32_t currentLine = 0;  // the line the device stopped at (0: none)
    WNDPROC textProc = nullptr;
};
SourceData* gSource = nullptr;

void SetText(HWND edit, const std::string& text) { SetWindowTextA(edit, text.c_str()); }

// The folder of a path, with its separator ("" when it has none).
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

constexpr int kMarkerColumn = 20;  // pixels of the source pane's marker column
constexpr double kInitialSplit = 0.2;  // the divider's top, as a part of the window's height
constexpr COLORREF kDividerAttached = RGB(255, 0, 0), kDividerDetached = RGB(0, 217, 0);

// The marker column: a red disc for each breakpoint in the file shown, and while the device is
// stopped a green triangle at its line.
void SourceUpdateMarks() {
    if (!gSource) return;
    std::vector<TextMark> marks;
    DbgContextType* ctx = gSource->context ? *gSource->context : nullptr;
    for (uint32_t slot = 0; ctx && !gSource->file.empty() && slot < 6; ++slot) {
        std::string file, path;
        uint32_t line = 0;
        if (SymBreakpointSource(ctx, slot, &file, &path, &line) != 0) break;
        if (file.empty() || path.empty() || line == 0) continue;
        if (file == gSource->file && path == gSource->symbolPath) marks.push_back({line - 1, TextMarkKind::RedDisc});
    }
    if (DbgIsAttached() && gSource->currentLine && !gSource->file.empty())
        marks.push_back({gSource->currentLine - 1, TextMarkKind::GreenTriangle});
    SetTextMarks(gSource->text, kMarkerColumn, marks);
    // The divider is red while the device is stopped in the debugger, else green.
    SetSplitPanes(gSource->status, gSource->text, GetSplitRatio(gSource->status),
                  DbgIsAttached() ? kDividerAttached : kDividerDetached);
}

void SourceClearLine() {
    if (!gSource) return;
    SetText(gSource->status, "(Not stopped in source...)");
    gSource->currentLine = 0;
    SourceUpdateMarks();
}

// Shows a source file of a symbol file, read from the symbol file's folder or its "Src"
// subfolder, with the line selected (0: none). False when it cannot be read.
bool SourceLoad(const std::string& symbolPath, const char* file, uint32_t line) {
    SetText(gSource->status, "(Updating...)");
    const std::string folder = FolderOf(symbolPath);
    std::string text;
    std::string readPath = folder + file;
    bool read = vantor::ReadWholeFile(readPath, &text);
    if (!read) {
        readPath = folder + "Src/" + file;
        read = vantor::ReadWholeFile(readPath, &text);
    }
    if (!read) {
        char msg[600];
        std::snprintf(msg, sizeof msg, "\nCould not read source file %s", file);
        SetText(gSource->text, msg);
        SetText(gSource->status, "(Not stopped in source...)");
        gSource->readPath.clear();
        gSource->file.clear();
        gSource->currentLine = 0;
        SourceUpdateMarks();
        return false;
    }
    gSource->file = file;
    gSource->symbolPath = symbolPath;
    gSource->readPath = readPath;
    gSource->currentLine = line;
    SetText(gSource->text, text);
    if (line == 0) {
        SendMessageA(gSource->text, EM_SETSEL, 0, 0);
        SetText(gSource->status, file);
        SourceUpdateMarks();
        return true;
    }
    size_t start = 0;
    for (uint32_t n = 1; n < line && start != std::string::npos; ++n) {
        start = text.find('\n', start);
        if (start != std::string::npos) ++start;
    }
    if (start == std::string::npos) start = text.size();
    size_t end = text.find('\n', start);
    SendMessageA(gSource->text, EM_SETSEL, start, end == std::string::npos ? -1 : static_cast<LPARAM>(end));
    char status[400];
    std::snprintf(status, sizeof status, "%s : %u", file, line);
    SetText(gSource->status, status);
    SourceUpdateMarks();
    return true;
}

void SourceShowLine(const char* file, uint32_t line) {
    if (!gSource || !file) return;
    DbgContextType* ctx = gSource->context ? *gSource->context : nullptr;
    SymSource where;
    if (!ctx || SymFindSrc(ctx, ctx->regs.pc, &where) != 0) where.path.clear();
    SourceLoad(where.path, file, line);
}

// Source-file commands of the context menu: 31000 + 256 x symbol file + source file.
constexpr UINT kSourceFileCommands = 31000;
constexpr int kMaxSymbolMenus = 31;

// The context menu: the stepping commands, Copy, and one pop-up per loaded symbol file listing
// its source files.
void SourceContextMenu(HWND window) {
    DbgContextType* ctx = gSource->context ? *gSource->context : nullptr;
    const bool attached = DbgIsAttached();
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, attached ? MF_GRAYED : MF_ENABLED, cmdBreak, "Break");
    AppendMenuA(menu, attached ? MF_ENABLED : MF_GRAYED, cmdGoTill, "Go Till");
    AppendMenuA(menu, attached ? MF_ENABLED : MF_GRAYED, cmdToggleBreak, "Toggle Breakpoint");
    AppendMenuA(menu, attached ? MF_ENABLED : MF_GRAYED, cmdDisassemble, "Disassemble at Cursor");
    AppendMenuA(menu, attached ? MF_ENABLED : MF_GRAYED, cmdShowLocation, "Show Current Location");
    AppendMenuA(menu, MF_STRING, cmdCopy, "Copy");
    AppendMenuA(menu, gSource->readPath.empty() ? MF_GRAYED : MF_ENABLED, cmdFunctions, "Functions...");
    int index = 0;
    for (SymFile* f = gSymFiles; f && ctx && index < kMaxSymbolMenus; f = f->next, ++index) {
        HMENU files = CreatePopupMenu();
        std::string name;
        for (uint32_t n = 0; n < 256 && SymSourceFileAt(ctx, f->path.c_str(), n, &name) == 0; ++n)
            AppendMenuA(files, MF_STRING, kSourceFileCommands + 256 * index + n, name.c_str());
        size_t slash = f->path.find_last_of("\\/");
        AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(files),
                    (slash == std::string::npos ? f->path : f->path.substr(slash + 1)).c_str());
    }
    TrackPopupMenu(menu, 0, 0, 0, 0, window, nullptr);
    DestroyMenu(menu);
}

// Loads the source file a context-menu command names.
void SourceOpenFileCommand(UINT id) {
    DbgContextType* ctx = gSource->context ? *gSource->context : nullptr;
    const int index = static_cast<int>((id - kSourceFileCommands) / 256);
    const uint32_t n = (id - kSourceFileCommands) % 256;
    int i = 0;
    for (SymFile* f = gSymFiles; f && ctx; f = f->next, ++i) {
        if (i != index) continue;
        std::string name;
        if (SymSourceFileAt(ctx, f->path.c_str(), n, &name) == 0) SourceLoad(f->path, name.c_str(), 0);
        return;
    }
}

// The 1-based line of a character position of a text.
uint32_t LineOf(const std::string& text, size_t position) {
    uint32_t line = 1;
    for (size_t i = 0; i < position && i < text.size(); ++i)
        if (text[i] == '\n') ++line;
    return line;
}

// The function chooser: the functions and marks of the file shown (sorted by name with the flag),
// the last one at or before the caret's line selected first; the one chosen has its line selected.
void SourceChooseFunction(HWND window, bool sorted) {
    if (!gSource || gSource->readPath.empty()) return;  // no current source file
    std::FILE* f = std::fopen(gSource->readPath.c_str(), "rb");
    if (!f) {
        MessageBox(window, "Error opening file", "Error", MB_OK);
        return;
    }
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        MessageBox(window, "Error reading in file", "Error", MB_OK);
        return;
    }
    uint32_t count = 0;
    HostFunctionEntry* found = nullptr;
    HostScanPragmaMarks(text.c_str(), &count, &found);
    std::vector<HostFunctionEntry> entries(found, found + count);
    HostFree(found);
    if (sorted)
        std::stable_sort(entries.begin(), entries.end(), [](const HostFunctionEntry& a, const HostFunctionEntry& b) {
            return std::strcmp(a.name, b.name) < 0;
        });
    size_t s, e;
    Selection(gSource->text, &s, &e);
    const std::string shown = TextOf(gSource->text);
    const uint32_t caretLine = LineOf(shown, s);
    std::vector<std::string> names;
    int initial = -1;
    for (size_t i = 0; i < entries.size(); ++i) {
        names.emplace_back(entries[i].name, strnlen(entries[i].name, sizeof entries[i].name));
        if (entries[i].line <= caretLine) initial = static_cast<int>(i);
    }
    LISTDIALOGA dialog{window, "Functions", &names, initial};
    for (;;) {
        const int chosen = ChooseFromListA(&dialog);
        if (chosen < 0) return;
        if (names[static_cast<size_t>(chosen)].size() >= 64) {
            MessageBox(window, "Error:  function name too long", "Error", MB_OK);
            dialog.initial = chosen;
            continue;  // the dialog stays
        }
        // Select the entry's whole line in the source pane.
        size_t start = 0;
        for (uint32_t line = 1; line < entries[static_cast<size_t>(chosen)].line && start != std::string::npos; ++line) {
            start = shown.find('\n', start);
            if (start != std::string::npos) ++start;
        }
        if (start == std::string::npos) start = shown.size();
        const size_t end = shown.find('\n', start);
        SendMessageA(gSource->text, EM_SETSEL, start, end == std::string::npos ? -1 : static_cast<LPARAM>(end));
        return;
    }
}

LRESULT SourceEditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CONTEXTMENU && gSource) {
        SourceContextMenu(GetParent(edit));
        return 0;
    }
    // Ctrl with the ";" key opens the function chooser, sorted by name with Shift.
    if (msg == WM_KEYDOWN && wParam == kSemicolonKey && gSource && GetKeyState(static_cast<int>(VK_CONTROL)) < 0) {
        SourceChooseFunction(GetParent(edit), GetKeyState(static_cast<int>(VK_SHIFT)) < 0);
        return 0;
    }
    return CallWindowProcA(gSource ? gSource->textProc : nullptr, edit, msg, wParam, lParam);
}

bool SourceSelectedLineAddress(uint32_t* address) {
    if (!gSource || gSource->file.empty()) return false;
    DbgContextType* ctx = gSource->context ? *gSource->context : nullptr;
    if (!ctx) return false;
    size_t s, e;
    Selection(gSource->text, &s, &e);
    std::string text = TextOf(gSource->text);
    uint32_t line = 1;
    for (size_t i = 0; i < s && i < text.size(); ++i)
        if (text[i] == '\n') ++line;
    return SymFindAddrOfLine(ctx, address, line, gSource->file.c_str(), gSource->symbolPath.c_str()) == 0;
}

LRESULT SourceWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE: {
            gSource = new SourceData;
            gSource->context = reinterpret_cast<DbgContextType**>(lParam);
            gSource->status = CreateWindowExA(0, RICHEDIT_CLASSA, "(Not stopped in source...)", WS_CHILD | WS_VISIBLE, 0, 0, 0,
                                              0, hwnd, nullptr, nullptr, nullptr);
            gSource->text = CreateWindowExA(0, RICHEDIT_CLASSA, "\nNo current source file available", WS_CHILD | WS_VISIBLE,
                                            0, 0, 0, 0, hwnd, nullptr, nullptr, nullptr);
            gSource->textProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(gSource->text, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SourceEditProc)));
            gDbgSourceHooks.clearLine = SourceClearLine;
            gDbgSourceHooks.showLine = SourceShowLine;
            gDbgSourceHooks.breakpointsChanged = SourceUpdateMarks;
            SetTextMarks(gSource->text, kMarkerColumn, {});
            SetSplitPanes(gSource->status, gSource->text, kInitialSplit, kDividerDetached);
            gDbgSourceHooks.selectedLineAddress = SourceSelectedLineAddress;
            return 0;
        }
        case WM_COMMAND: {
            const UINT id = static_cast<UINT>(wParam & 0xFFFF);
            if (gSource && id >= kSourceFileCommands && id < kSourceFileCommands + 256 * kMaxSymbolMenus) {
                SourceOpenFileCommand(id);
                return 0;
            }
            switch (id) {
                case cmdBreak:
                case cmdGoTill:
                case cmdToggleBreak:
                case cmdDisassemble:
                case cmdShowLocation:
                    // The stepping commands are the frame's.
                    PostMessageA(GetParent(GetParent(hwnd)), WM_COMMAND, id, 0);
                    return 0;
                case cmdGetEdit: return reinterpret_cast<LRESULT>(gSource ? gSource->text : nullptr);
                case cmdSetFont:
                    if (gSource) ApplyFont(reinterpret_cast<const PrefsFont*>(lParam), {gSource->status, gSource->text});
                    return 0;
                case cmdCopy: SendMessageA(gSource->text, WM_COPY, 0, 0); return 0;
                case cmdSelectAll: SendMessageA(gSource->text, EM_SETSEL, 0, -1); return 0;
                case cmdFunctions: SourceChooseFunction(hwnd, GetKeyState(static_cast<int>(VK_SHIFT)) < 0); return 0;
                default: return 0;
            }
        }
        case WM_SETFOCUS:
            if (gSource) SetFocus(gSource->text);
            return 0;
        case WM_DESTROY:
            gDbgSourceHooks.clearLine = nullptr;
            gDbgSourceHooks.showLine = nullptr;
            gDbgSourceHooks.breakpointsChanged = nullptr;
            gDbgSourceHooks.selectedLineAddress = nullptr;
            delete gSource;
            gSource = nullptr;
            return 0;
        default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

// The Remote UI window passes the user's keys to the device.
LRESULT RemoteWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CHAR: HostSendKey(static_cast<uint16_t>(wParam == VK_RETURN ? 10 : wParam), 0); return 0;
        case WM_KEYDOWN: HostSendKey(0, static_cast<uint16_t>(wParam)); return 0;
        case WM_DESTROY: PostMessageA(GetParent(GetParent(hwnd)), WM_COMMAND, cmdRemoteClosed, 0); return 0;
        default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

void TextWindowSetFont(HWND window, const PrefsFont& font) {
    SendMessageA(window, WM_COMMAND, cmdSetFont, reinterpret_cast<LPARAM>(&font));
}

void TextWindowsRegister() {
    const char* const names[] = {kTextClass, kSourceClass, kRemoteClass};
    const WNDPROC procs[] = {TextWndProc, SourceWndProc, RemoteWndProc};
    for (int i = 0; i < 3; ++i) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = procs[i];
        wc.lpszClassName = names[i];
        RegisterClassA(&wc);
    }
}

HWND TextWindowCreate(HWND client, const char* title, TextLineProc proc, bool) {
    HWND w = CreateWindowExA(0, kTextClass, title, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, client, nullptr, nullptr, nullptr);
    if (TextWindowData* d = DataOf(w)) d->proc = proc;
    return w;
}

HWND AppEditOf(HWND window) { return reinterpret_cast<HWND>(SendMessageA(window, WM_COMMAND, cmdGetEdit, 0)); }

void TextWindowType(HWND edit, const char* line) {
    if (!IsWindow(edit)) return;
    SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    SendMessageA(edit, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(line));
    SendMessageA(edit, WM_CHAR, VK_RETURN, 0);
}

void TextWindowSelectedLines(HWND edit, void (*each)(const char* line, void* data), void* data) {
    const std::string text = TextOf(edit);
    size_t s, e;
    Selection(edit, &s, &e);
    s = std::min(s, text.size());
    e = std::min(e, text.size());
    if (s == e) {
        // The caret's whole line.
        size_t begin = text.rfind('\n', s == 0 ? 0 : s - 1);
        begin = (begin == std::string::npos || s == 0) ? 0 : begin + 1;
        if (s > 0 && text[s - 1] == '\n') begin = s;
        size_t end = text.find_first_of("\r\n", s);
        if (end == std::string::npos) end = text.size();
        each(text.substr(begin, end - begin).c_str(), data);
        return;
    }
    std::string sel = text.substr(s, e - s);
    size_t pos = 0;
    while (pos <= sel.size()) {
        size_t nl = sel.find('\n', pos);
        std::string line = sel.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (nl == std::string::npos) {
            if (!line.empty()) each(line.c_str(), data);
            break;
        }
        each(line.c_str(), data);
        pos = nl + 1;
    }
}

bool TextWindowFind(HWND edit, const char* what, bool matchCase, bool down) {
    if (!IsWindow(edit) || !what || !*what) return false;
    std::string text = TextOf(edit), needle = what;
    if (!matchCase) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (char& c : needle) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    size_t s, e;
    Selection(edit, &s, &e);
    size_t at;
    if (down) {
        at = text.find(needle, std::min(e, text.size()));
        if (at == std::string::npos) at = text.find(needle);
    } else {
        at = s >= needle.size() ? text.rfind(needle, s - needle.size()) : std::string::npos;
        if (at == std::string::npos) at = text.rfind(needle);
    }
    if (at == std::string::npos) return false;
    SendMessageA(edit, EM_SETSEL, at, static_cast<LPARAM>(at + needle.size()));
    return true;
}

HWND SourceWindowCreate(HWND client, DbgContextType** context) {
    return CreateWindowExA(0, kSourceClass, "Source", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, client, nullptr, nullptr, context);
}

HWND RemoteWindowOpen(HWND client, HWND existing) {
    HWND w = existing;
    if (!IsWindow(w))
        w = CreateWindowExA(0, kRemoteClass, "Remote UI", WS_CHILD | WS_VISIBLE, 0, 0, 160, 220, client, nullptr, nullptr,
                            nullptr);
    SendMessageA(client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(w), 0);
    return w;
}

}  // namespace quillwatch
