// Helpers of the Morvel tests: assembling 68K snippets, fixed-address memory, a fake system table.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/module/ModuleInterface.h"
#include "morvel/cpu/EmulState.h"
#include "morvel/traps/TrapGlue.h"
#include "standin/os/StandinTest.h"

// Morvel's module entry, in the test programs that link it.
extern "C" uint32_t ModuleEntryPoint(uint16_t launchCode, void* param, uint16_t flags);

namespace morvel::test {

// Assembles 68000 source with the cross assembler; the bytes are position independent as long as
// the source uses only relative branches. Fails the test on an assembler error.
std::vector<uint8_t> Assemble(const std::string& source);

// Runs a shell command and returns its standard output; `status` gets its exit status.
std::string RunCommand(const std::string& command, int* status = nullptr);

// A window's picture as xwd dumps it, and the pixel at (x, y) of such a dump as 0xRRGGBB
// (ZPixmap, 32 bits a pixel); -1 when the dump holds no such pixel.
std::string DumpWindow(const std::string& windowID);
int64_t DumpPixel(const std::string& dump, uint32_t x, uint32_t y);
// Whether the pixel at (x, y) is nearly black; the dialogs' dark blue (their title bars); whether
// any pixel of the rectangle [x0, x1) x [y0, y1) is nearly black.
bool DarkPixel(const std::string& dump, uint32_t x, uint32_t y);
bool DarkBluePixel(const std::string& dump, uint32_t x, uint32_t y);
bool AnyDarkPixel(const std::string& dump, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1);

// Polls `condition` every 100 ms for up to `seconds`, answering as soon as it holds.
bool Eventually(const std::function<bool()>& condition, int seconds);

// The fixed test area at 0x10000000 (the oracle places code and data at the same addresses).
constexpr uint32_t kFixedBase = 0x10000000;
constexpr uint32_t kFixedSize = 0x2000;
uint8_t* MapFixedArea();

// Tests against the stand-in OS, reached through the module glue as the module does.
class MorvelTest : public vantor::os::StandinTest {
protected:
    void SetUp() override;
    // The error reports (system slot 159) as "file:line:message".
    static std::vector<std::string> Reports();
};

// A context ready to run: zeroed, its stack in `stack`.
// It is the current context of the test's thread while it lives.
struct TestContext {
    TestContext();
    ~TestContext();
    TestContext(const TestContext&) = delete;
    TestContext& operator=(const TestContext&) = delete;
    EmulState state{};
    std::vector<uint8_t> stack;
    uint32_t StackTop() const;
};

// Trap glue tests: a context with a trap table; Run() runs 68K source whose label `data` names 64
// zeroed bytes after the code, which Data() returns.
class TrapGlueTest : public MorvelTest {
protected:
    void SetUp() override;
    uint16_t Run(const std::string& src);
    uint8_t* Data() { return code_.data() + dataOffset_; }
    const char* Text() { return reinterpret_cast<const char*>(Data()); }
    TestContext ctx_;
    std::vector<uint8_t> code_;
    size_t dataOffset_ = 0;
};

// Trap glue tests against the real Kez module: libKez.so is opened as its host program opens it
// and registered with the stand-in's binder, so that Morvel's import of 'rsrc'/'pkez' binds to it.
class RealKezTest : public TrapGlueTest {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;
    vantor::ModuleProc* KezExports();
    static inline void* kez_ = nullptr;
};

// Adds a resource to a database of the stand-in's store.
void AddResource(uint32_t dbID, uint32_t type, uint16_t id, const std::vector<uint8_t>& bytes);

// A file's whole content; empty when it cannot be read.
std::string ReadText(const std::string& path);

// Tests of a packed 68K application with a user interface, run in-process against the stand-in
// OS: Kez answers only its memory areas, and the emulator is open.
class UiAppTest : public MorvelTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Installs the packed application as the current application, its database open.
    static void InstallApp(const std::string& vrxPath);
    // Runs the installed application through Morvel's module entry as a normal launch of a UI
    // application with new globals; its answer.
    // (Inline: only the test programs that link the module entry call it.)
    static uint32_t RunApp() {
        constexpr uint16_t kLaunchNewGlobals = 0x04, kLaunchUiApp = 0x08;
        return ModuleEntryPoint(0, nullptr, kLaunchNewGlobals | kLaunchUiApp);
    }
};

// Queues an event of `type` with its first data word and its screen point.
void PostEvent(uint16_t type, uint16_t data = 0, int16_t x = 0, int16_t y = 0);

// kez-host in a folder of its own, with Morvel and the packed application in its autoload folder,
// launching `launchName` in its window on the X display, moved to (x, y) so that no other test's
// window covers it. The host is stopped and the folder removed when this goes. `window` is empty
// (and the test has failed) when the window did not show.
struct KezHostApp {
    KezHostApp(const std::string& vrxPath, const std::string& launchName, const std::string& options, int x,
               int y);
    ~KezHostApp();
    KezHostApp(const KezHostApp&) = delete;
    KezHostApp& operator=(const KezHostApp&) = delete;
    std::string Log() const { return ReadText(log); }
    // A click of the first button at (x, y) of the window.
    void Click(int x, int y) const;
    // The first button pressed at (x, y), the pointer moved through `to` with it held, then let go.
    void Drag(int x, int y, const std::vector<std::pair<int, int>>& to) const;
    // Keeps a picture of the window (as DumpWindow gave it) beside the folder; answers a note that
    // names it, followed by the host's log, for a failure message.
    std::string Keep(const std::string& picture) const;
    std::string dir, log, window;
    pid_t host = 0;
};

using trapglue::Addr;

}  // namespace morvel::test
