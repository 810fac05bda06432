#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "standin/win32/Debugging.h"
#include "standin/win32/KernelObjects.h"
#include "standin/win32/WindowManager.h"

namespace {

using namespace win32;

std::string Text(HWND w) {
    char buf[256];
    GetWindowTextA(w, buf, sizeof buf);
    return buf;
}

TEST(WindowManager, RichEditReplacesSelectsAndClears) {
    HWND e = CreateWindowExA(0, RICHEDIT_CLASSA, "ab", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(e);
    SendMessageA(e, EM_REPLACESEL, 1, reinterpret_cast<LPARAM>("cd"));  // caret starts at the end
    EXPECT_EQ(Text(e), "abcd");
    SendMessageA(e, EM_SETSEL, 1, 3);
    DWORD s = 0, t = 0;
    SendMessageA(e, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&t));
    EXPECT_EQ(s, 1u);
    EXPECT_EQ(t, 3u);
    SendMessageA(e, WM_CLEAR, 0, 0);
    EXPECT_EQ(Text(e), "ad");
    SendMessageA(e, EM_SETSEL, 0, -1);
    SendMessageA(e, WM_CLEAR, 0, 0);
    EXPECT_EQ(GetWindowTextLengthA(e), 0);
    SendMessageA(e, EM_SETSEL, 5, 99);  // out of range: clamped
    SendMessageA(e, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>("x"));
    EXPECT_EQ(Text(e), "x");
    EXPECT_TRUE(DestroyWindow(e));
    EXPECT_FALSE(IsWindow(e));
    EXPECT_EQ(SendMessageA(e, WM_GETTEXTLENGTH, 0, 0), 0);
}

TEST(WindowManager, RichEditUndoesAndRedoesChanges) {
    HWND e = CreateWindowExA(0, RICHEDIT_CLASSA, "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(e);
    auto type = [&](const char* text) {
        for (const char* p = text; *p; ++p) SendMessageA(e, WM_CHAR, static_cast<unsigned char>(*p), 0);
    };
    EXPECT_EQ(SendMessageA(e, EM_CANUNDO, 0, 0), FALSE);
    type("dm 0");
    SendMessageA(e, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(" out"));  // output that can be undone
    SendMessageA(e, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("!"));    // and one that cannot
    type("xy");
    SendMessageA(e, EM_SETSEL, 0, 2);
    SendMessageA(e, WM_CUT, 0, 0);
    EXPECT_EQ(Text(e), " 0 out!xy");
    // Each undo takes back one change, the typed characters that followed each other at once.
    const char* undone[] = {"dm 0 out!xy", "dm 0 out!", "dm 0!", "!"};
    for (const char* expected : undone) {
        EXPECT_EQ(SendMessageA(e, EM_UNDO, 0, 0), TRUE) << expected;
        EXPECT_EQ(Text(e), expected);
    }
    EXPECT_EQ(SendMessageA(e, EM_UNDO, 0, 0), FALSE);
    EXPECT_EQ(SendMessageA(e, EM_REDO, 0, 0), TRUE);
    EXPECT_EQ(Text(e), "dm 0!");
    EXPECT_EQ(SendMessageA(e, EM_REDO, 0, 0), TRUE);
    EXPECT_EQ(Text(e), "dm 0 out!");
    // A new change drops what could be redone; emptying the buffer drops everything.
    type("z");
    EXPECT_EQ(SendMessageA(e, EM_CANREDO, 0, 0), FALSE);
    SendMessageA(e, EM_EMPTYUNDOBUFFER, 0, 0);
    EXPECT_EQ(SendMessageA(e, EM_UNDO, 0, 0), FALSE);
    EXPECT_EQ(Text(e), "dm 0 outz!");  // the caret stood after the redone text
    // The limit keeps the latest changes; new text forgets them all.
    SendMessageA(e, EM_SETUNDOLIMIT, 2, 0);
    for (const char* piece : {"1", "2", "3"}) SendMessageA(e, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(piece));
    EXPECT_EQ(SendMessageA(e, EM_UNDO, 0, 0), TRUE);
    EXPECT_EQ(SendMessageA(e, EM_UNDO, 0, 0), TRUE);
    EXPECT_EQ(SendMessageA(e, EM_UNDO, 0, 0), FALSE);
    EXPECT_EQ(Text(e), "dm 0 outz1!");
    type("w");
    SetWindowTextA(e, "new");
    EXPECT_EQ(SendMessageA(e, EM_UNDO, 0, 0), FALSE);
    EXPECT_EQ(Text(e), "new");
    DestroyWindow(e);
}

int gChars[4];
int gTimerCalls;

LRESULT KeyProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_CHAR && w == 27) ++gChars[0];
    if (m == WM_CHAR && w == 'q') throw std::runtime_error("boom");
    return DefWindowProcA(h, m, w, l);
}

TEST(WindowManager, KeysTranslateAndExceptionsStayInTheirMessage) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = KeyProc;
    wc.lpszClassName = "KeyTest";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND w = CreateWindowExA(0, "KeyTest", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    PostMessageA(w, WM_KEYDOWN, 0x1B, 0);
    PostMessageA(w, WM_KEYDOWN, 'Q', 0);
    PostMessageA(w, WM_KEYDOWN, 0x25, 0);  // Left: no character
    headless::ClearDebugOutput();
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    EXPECT_EQ(gChars[0], 1);
    EXPECT_NE(headless::DebugOutput().find("boom"), std::string::npos);
    DestroyWindow(w);
}

TEST(WindowManager, TimersFireThroughTheQueue) {
    DWORD start = GetTickCount();  // before SetTimer: the tick may turn between the two calls
    UINT_PTR id = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) { ++gTimerCalls; });
    ASSERT_NE(id, 0u);
    MSG m;
    while (gTimerCalls < 2 && GetTickCount() - start < 2000) {
        if (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        else Sleep(1);
    }
    EXPECT_GE(gTimerCalls, 2);
    EXPECT_GE(GetTickCount() - start, 40u);
    EXPECT_TRUE(KillTimer(nullptr, id));
    int calls = gTimerCalls;
    Sleep(50);
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    EXPECT_EQ(gTimerCalls, calls);
}

}  // namespace
