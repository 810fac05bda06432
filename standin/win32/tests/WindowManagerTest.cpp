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
