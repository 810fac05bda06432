// Try frames, the console sink, the message pump, remote keys, file dialogs and the C scanner.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../support/DevSim.h"
#include "common/DebuggerPackets.h"
#include "common/SerialLinkPacket.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/HostShims.h"
#include "quillwatch/link/DebuggerServices.h"
#include "standin/win32/Debugging.h"
#include "standin/win32/WindowManager.h"

namespace {

using namespace quillwatch;
using namespace win32;

TEST(ErrorMgr, ThrowUnwindsToTheInnermostFrameRunningDestructors) {
    int destroyed = 0;
    struct Guard {
        int* n;
        ~Guard() { ++*n; }
    };
    uint32_t inner = 0, outer = 0;
    outer = ErrTry([&] {
        inner = ErrTry([&] {
            Guard g{&destroyed};
            ErrThrow(0x0407);
        });
        EXPECT_EQ(*ErrExceptionList() != nullptr, true);  // the outer frame is still linked
        ErrThrow(0x0102);
    });
    EXPECT_EQ(inner, 0x0407u);
    EXPECT_EQ(outer, 0x0102u);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(*ErrExceptionList(), nullptr);
    EXPECT_EQ(ErrTry([] {}), 0u);
}

TEST(ErrorMgr, UnframedThrowReportsAndEndsTheOperationAtTheOutermostFrame) {
    headless::ClearDebugOutput();
    bool after = false;
    uint32_t code = ErrOutermost([&] {
        ErrThrow(0xFFFFFFFF);
        after = true;
    });
    EXPECT_EQ(code, 0xFFFFFFFFu);
    EXPECT_FALSE(after);
    EXPECT_NE(headless::DebugOutput().find("File: ErrorMgr, Line: "), std::string::npos);
    EXPECT_NE(headless::DebugOutput().find(", ErrThrow called without a pending ErrTry"), std::string::npos);

    // From a window procedure, the message dispatch is the outermost frame.
    static bool reached;
    reached = false;
    WNDCLASSA wc{};
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_USER) {
            ErrThrow(1);
            reached = true;
        }
        return DefWindowProcA(h, m, w, l);
    };
    wc.lpszClassName = "ThrowTest";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, "ThrowTest", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    PostMessageA(w, WM_USER, 0, 0);
    HostPumpMessages(0);
    EXPECT_FALSE(reached);
    DestroyWindow(w);
}

TEST(HostShims, ConsoleWriteTurnsLineFeedsIntoCrLf) {
    HWND e = CreateWindowExA(0, RICHEDIT_CLASSA, "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HWND old = HostSetConsole(e);
    HostPrint("a\nb");
    HostPrint("|c\r\nd\n");
    char buf[64];
    GetWindowTextA(e, buf, sizeof buf);
    EXPECT_STREQ(buf, "a\r\nb|c\r\nd\r\n");
    HostEditDeleteRange(e, 0, 3);
    GetWindowTextA(e, buf, sizeof buf);
    EXPECT_STREQ(buf, "b|c\r\nd\r\n");
    HostEditDeleteRange(e, 0, -1);
    EXPECT_EQ(GetWindowTextLengthA(e), 0);
    HostConsoleWrite(nullptr, "nothing");  // no window: nothing happens
    HostSetConsole(old);
    DestroyWindow(e);
}

int gKeysSeen;
TEST(HostShims, PumpSetsUserAbortOnEscAndDispatchesOtherKeys) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_CHAR) ++gKeysSeen;
        return DefWindowProcA(h, m, w, l);
    };
    wc.lpszClassName = "PumpTest";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, "PumpTest", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HostClearUserAbort();
    PostMessageA(w, WM_KEYDOWN, 'A', 0);
    HostPumpMessages(30);
    EXPECT_FALSE(DbgUserAbort());
    EXPECT_EQ(gKeysSeen, 1);
    PostMessageA(w, WM_KEYDOWN, 0x1B, 0);
    uint32_t start = HostGetTicks();
    HostPumpMessages(30);
    EXPECT_GE(HostGetTicks() - start, 30u);
    EXPECT_TRUE(DbgUserAbort());
    EXPECT_EQ(gKeysSeen, 2);
    EXPECT_FALSE(HostIsPumping());
    HostClearUserAbort();
    EXPECT_FALSE(DbgUserAbort());
    DestroyWindow(w);
}

TEST(HostShims, SendKeyMapsKeysToRemoteEvents) {
    quillwatch::test::UseMemoryLink();
    struct Case {
        uint16_t chr, vk, wantChr, wantMods;
    };
    const Case cases[] = {{'a', 0, 'a', 0},  {13, 0, 10, 0},   {0, 17, 262, 0}, {0, 33, 11, 8},
                          {0, 34, 12, 8},    {0, 37, 28, 0},   {0, 38, 30, 0},  {0, 39, 29, 0},
                          {0, 40, 31, 0},    {0, 112, 516, 8}, {0, 115, 519, 8}};
    for (const Case& c : cases) {
        auto& link = quillwatch::test::TheMemoryLink();
        link.sent.clear();
        HostSendKey(c.chr, c.vk);
        std::vector<uint8_t> wire = link.SentBytes();
        ASSERT_EQ(wire.size(), 10u + 16 + 2) << c.vk;
        EXPECT_EQ(wire[3], 2);  // socket 2 to socket 2
        EXPECT_EQ(wire[4], 2);
        vantor::DbgRemoteEventBodyType ev;
        std::memcpy(&ev, wire.data() + 10, 16);
        vantor::SwapRemoteEventBody(&ev);
        EXPECT_EQ(ev.command, 13);
        EXPECT_EQ(ev.keyPress, 1);
        EXPECT_EQ(ev.chr, c.wantChr) << c.vk;
        EXPECT_EQ(ev.modifiers, c.wantMods) << c.vk;
        EXPECT_EQ(ev.keyCode, 0);
    }
    quillwatch::test::TheMemoryLink().sent.clear();
    HostSendKey(0, 65);  // a key without a device meaning sends nothing
    EXPECT_TRUE(quillwatch::test::TheMemoryLink().sent.empty());

    DbgMinimalSetAttached(true);
    EXPECT_EQ(HostLinkSocket(), 0);
    DbgMinimalSetAttached(false);
    EXPECT_EQ(HostLinkSocket(), 1);
}

TEST(HostShims, FileDialogsRememberTheFolderAndReportCancel) {
    HWND console = CreateWindowExA(0, RICHEDIT_CLASSA, "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    char folder[64] = "C:\\syms";
    HostSetDialogFolder(folder, sizeof folder);
    char path[128];
    headless::ScriptOpenFile("D:\\work\\app.sym");
    EXPECT_EQ(HostSelectSymbolFile(console, "Open", path, sizeof path), 0);
    EXPECT_STREQ(path, "D:\\work\\app.sym");
    EXPECT_STREQ(folder, "D:\\work\\");
    EXPECT_EQ(headless::LastOpenFile().initialDir, "C:\\syms");
    EXPECT_EQ(headless::LastOpenFile().filter, "Symbol Files (*.sym)|*.sym");
    EXPECT_EQ(HostSelectDatabaseFile(console, "Open", path, sizeof path), 0xFFFF);
    EXPECT_EQ(headless::LastOpenFile().filter, "VantorOS Files (*.vrx)|*.vrx");
    char buf[32];
    GetWindowTextA(console, buf, sizeof buf);
    EXPECT_STREQ(buf, "Cancelled");
    HostSetDialogFolder(nullptr, 0);
    DestroyWindow(console);
}

TEST(HostShims, SmallHelpers) {
    char* copy = HostStrDup("abc");
    EXPECT_STREQ(copy, "abc");
    HostFree(copy);
    EXPECT_EQ(HostStrDup(nullptr), nullptr);
    EXPECT_EQ(HostFileModTime("/nonexistent/file"), 0u);
    EXPECT_GT(HostFileModTime(VANTOR_SOURCE_DIR "/README.md"), 0u);
    std::string folder = HostDeviceFolder();
    EXPECT_EQ(folder.substr(folder.size() - 8), "\\Device\\");
    auto* block = static_cast<uint8_t*>(HostAllocClear(16));
    EXPECT_EQ(block[15], 0);
    HostFree(block);
    HostWaitCursor();
    EXPECT_EQ(headless::CurrentCursor(), LoadCursorA(nullptr, IDC_WAIT));
    HostArrowCursor();
    EXPECT_EQ(headless::CurrentCursor(), LoadCursorA(nullptr, IDC_ARROW));
}

std::vector<std::pair<std::string, uint32_t>> Functions(const char* text) {
    uint32_t count = 0;
    HostFunctionEntry* entries = nullptr;
    EXPECT_EQ(HostScanPragmaMarks(text, &count, &entries), 0);
    std::vector<std::pair<std::string, uint32_t>> out;
    for (uint32_t i = 0; i < count; ++i) out.emplace_back(entries[i].name, entries[i].line);
    HostFree(entries);
    return out;
}

TEST(SourceScanner, FunctionListHoldsDefinitionsAndMarksInFileOrder) {
    using L = std::vector<std::pair<std::string, uint32_t>>;
    EXPECT_EQ(Functions("void f(int);\nvoid g(int a)\n{\n}\n"), (L{{"g", 2}}));
    EXPECT_EQ(Functions("#pragma mark Tools\n#pragma mark\nint main(void) { if (x) { y(); } }\n"),
              (L{{"Tools", 1}, {" ", 2}, {"main", 3}}));
    // Comments, strings and directives hide what is in them; K&R parameter lists still count.
    EXPECT_EQ(Functions("/* f() { */\nchar *s = \"g() {\";\n// h() {\n#define M(x) { x }\nint k(a)\n int a;\n{ return a; }\n"),
              (L{{"k", 5}}));
    // A CR LF text counts lines like an LF one; continued directive lines count too.
    EXPECT_EQ(Functions("#define A \\\r\n  1\r\nstatic int\r\nz(void)\r\n{\r\n}\r\n"), (L{{"z", 4}}));
    // Names are cut to 63 characters; unterminated text ends the scan.
    std::string longName(80, 'n');
    auto l = Functions(("void " + longName + "(void) {}\n/* open").c_str());
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].first, std::string(63, 'n'));
}

TEST(SourceScanner, TokenKinds) {
    HostScanner s;
    HostScanBegin(s, "a_1 ( ) { } ; # \"s\\\"\" 'c' // x\n /* y */ + 9");
    const int want[] = {1, 2, 3, 4, 5, 6, 7, 8, 8, 0, 0, 9, 9, 10};
    for (int k : want) EXPECT_EQ(HostScanToken(s, false), k);
    EXPECT_EQ(s.line, 2u);
    HostScanBegin(s, "\"open");
    EXPECT_EQ(HostScanToken(s, false), 10);
}

TEST(SourceScanner, ManyEntriesGrowTheTable) {
    std::string text;
    for (int i = 0; i < 250; ++i) text += "void f" + std::to_string(i) + "(void) {}\n";
    auto l = Functions(text.c_str());
    ASSERT_EQ(l.size(), 250u);
    EXPECT_EQ(l[249].first, "f249");
    EXPECT_EQ(l[249].second, 250u);
}

}  // namespace
