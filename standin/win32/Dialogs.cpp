#include "standin/win32/Dialogs.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "standin/win32/WindowInternal.h"

namespace win32 {

namespace {

struct Scripted {
    bool set = false;
    std::string text;
    DWORD flags = 0;
} gScripted;

struct ScriptedFont {
    bool set = false;
    std::string face;
    LONG height = 0;
} gScriptedFont;

}  // namespace

struct Win32Font {
    LOGFONTA record;
};

HFONT CreateFontIndirectA(const LOGFONTA* font) {
    if (!font) return nullptr;
    auto* f = new Win32Font{*font};
    f->record.lfFaceName[sizeof f->record.lfFaceName - 1] = 0;
    return f;
}

BOOL DeleteObject(HFONT font) {
    delete font;
    return font ? TRUE : FALSE;
}

const LOGFONTA* FontRecord(HFONT font) { return font ? &font->record : nullptr; }

BOOL ChooseFontA(CHOOSEFONTA* choose) {
    if (!choose || !choose->lpLogFont) return FALSE;
    if (const WindowBackend* b = CurrentWindowBackend(); b && b->chooseFont) return b->chooseFont(choose);
    if (!gScriptedFont.set) return FALSE;
    gScriptedFont.set = false;
    LOGFONTA& f = *choose->lpLogFont;
    std::snprintf(f.lfFaceName, sizeof f.lfFaceName, "%s", gScriptedFont.face.c_str());
    f.lfHeight = gScriptedFont.height;
    return TRUE;
}

UINT RegisterWindowMessageA(LPCSTR name) {
    static std::mutex lock;
    static std::map<std::string, UINT> numbers;
    std::lock_guard<std::mutex> g(lock);
    auto [it, added] = numbers.emplace(name ? name : "", static_cast<UINT>(0xC000 + numbers.size()));
    return it->second;
}

namespace {
std::vector<int> gListChoices;
std::vector<std::string> gLastListItems;
int gLastListInitial = -1;
}  // namespace

int ChooseFromListA(const LISTDIALOGA* dialog) {
    if (!dialog || !dialog->items) return -1;
    gLastListItems = *dialog->items;
    gLastListInitial = dialog->initial;
    if (const WindowBackend* b = CurrentWindowBackend(); b && b->chooseFromList) return b->chooseFromList(dialog);
    if (gListChoices.empty()) return -1;
    const int choice = gListChoices.front();
    gListChoices.erase(gListChoices.begin());
    return choice >= 0 && static_cast<size_t>(choice) < dialog->items->size() ? choice : -1;
}

HWND FindTextA(FINDREPLACEA* record) {
    if (!record || !IsWindow(record->hwndOwner) || !record->lpstrFindWhat || record->wFindWhatLen == 0) return nullptr;
    if (const WindowBackend* b = CurrentWindowBackend(); b && b->findText) return b->findText(record);
    if (!gScripted.set) return nullptr;
    gScripted.set = false;
    std::strncpy(record->lpstrFindWhat, gScripted.text.c_str(), record->wFindWhatLen - 1);
    record->lpstrFindWhat[record->wFindWhatLen - 1] = 0;
    record->Flags = gScripted.flags | FR_FINDNEXT;
    PostMessageA(record->hwndOwner, RegisterWindowMessageA(FINDMSGSTRINGA), 0, reinterpret_cast<LPARAM>(record));
    return nullptr;  // the scripted dialog has answered and is gone
}

namespace headless {
void ScriptListChoice(int index) { gListChoices.push_back(index); }
std::vector<std::string> LastListItems() { return gLastListItems; }
int LastListInitial() { return gLastListInitial; }
void ScriptFont(const std::string& face, LONG height) { gScriptedFont = ScriptedFont{true, face, height}; }
void ScriptFind(const std::string& text, DWORD flags) { gScripted = Scripted{true, text, flags}; }
}  // namespace headless

}  // namespace win32
