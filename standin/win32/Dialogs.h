// The find dialog: modeless; each Find Next and the closing reach the owner as the registered
// message "commdlg_FindReplace" with the record in lParam. Headless, a test scripts the search
// that the dialog answers with at once.
#pragma once

#include <string>
#include <vector>

#include "standin/win32/Win32Types.h"

namespace win32 {

constexpr DWORD FR_DOWN = 0x00000001;
constexpr DWORD FR_MATCHCASE = 0x00000004;
constexpr DWORD FR_FINDNEXT = 0x00000008;
constexpr DWORD FR_DIALOGTERM = 0x00000040;
constexpr char FINDMSGSTRINGA[] = "commdlg_FindReplace";

struct FINDREPLACEA {
    DWORD lStructSize;
    HWND hwndOwner;
    DWORD Flags;
    LPSTR lpstrFindWhat;  // in: the initial text; out: the text to find
    WORD wFindWhatLen;    // size of lpstrFindWhat
};

// A message number for the name, the same for every call with that name (0xC000 and up).
UINT RegisterWindowMessageA(LPCSTR name);
// Shows the find dialog (none when it cannot be shown, or headless, where the scripted answer is
// posted and no dialog stays); the record must live while the dialog is open.
HWND FindTextA(FINDREPLACEA* record);

// Fonts: a logical font record, fonts made from it, and the font chooser.
struct LOGFONTA {
    LONG lfHeight;  // negative: the character height in pixels
    LONG lfWidth, lfEscapement, lfOrientation, lfWeight;
    BYTE lfItalic, lfUnderline, lfStrikeOut, lfCharSet, lfOutPrecision, lfClipPrecision, lfQuality,
        lfPitchAndFamily;
    char lfFaceName[32];
};
struct Win32Font;
using HFONT = Win32Font*;
HFONT CreateFontIndirectA(const LOGFONTA* font);
BOOL DeleteObject(HFONT font);
// The record a font was made from.
const LOGFONTA* FontRecord(HFONT font);

constexpr DWORD CF_INITTOLOGFONTSTRUCT = 0x00000040;
struct CHOOSEFONTA {
    DWORD lStructSize;
    HWND hwndOwner;
    LOGFONTA* lpLogFont;  // in: the current font (with CF_INITTOLOGFONTSTRUCT); out: the chosen one
    DWORD Flags;
};
// Modal: TRUE when a font was chosen. Headless: the scripted face and height, else cancel.
BOOL ChooseFontA(CHOOSEFONTA* choose);

// A modal list dialog: a list box with OK and Cancel, a double click counting as OK (the program's
// dialog template of one list box). The index of the entry chosen, or -1 when cancelled.
struct LISTDIALOGA {
    HWND hwndOwner;
    const char* title;
    const std::vector<std::string>* items;
    int initial;  // the entry selected at first (-1: none)
};
int ChooseFromListA(const LISTDIALOGA* dialog);

namespace headless {
// The next ChooseFromListA answers at once with this index (-1: Cancel); without a script it
// cancels. The items and initial entry of the last list dialog shown are kept for tests.
void ScriptListChoice(int index);
std::vector<std::string> LastListItems();
int LastListInitial();
void ScriptFont(const std::string& face, LONG height);
// The next FindTextA answers at once with one Find Next for this text and these flags.
void ScriptFind(const std::string& text, DWORD flags);
}  // namespace headless

}  // namespace win32
