#include "quillwatch/engine/debugger/tests/EngineTestSupport.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/SerialLinkPacket.h"
#include "quillwatch/engine/debugger/DebuggerContext.h"
#include "quillwatch/engine/lang/CommandModules.h"
#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/engine/lang/tests/WindowText.h"
#include "quillwatch/link/HostShims.h"
#include "quillwatch/link/LinkSelector.h"
#include "quillwatch/link/SerialLinkMgr.h"
#include "quillwatch/link/TcpTransport.h"
#include "standin/win32/WindowManager.h"

namespace quillwatch {

namespace {

HWND NewEdit(const char* title) {
    return win32::CreateWindowExA(0, win32::RICHEDIT_CLASSA, title, 0, 0, 0, 400, 300, nullptr, nullptr,
                                  nullptr, nullptr);
}

}  // namespace

void EngineTest::SetUp() {
    char name[] = "/tmp/qwengine-log-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    logPath = name;
    std::vector<std::string> args = SimulatorArgs();
    args.insert(args.end(), {"--log", logPath});
    sim = std::make_unique<test::DevSim>(args);

    debugger = NewEdit("Debugger");
    console = NewEdit("Console");
    registers = NewEdit("CPU Registers");
    HostSetConsole(console);
    ctx = DebuggerInit(debugger, console, 0, registers);
    ASSERT_NE(ctx, nullptr);
    HostTcpSetAddress(0x7F000001, sim->port());
    ASSERT_EQ(PrvSetupLink(linkTcp, 0, 57600, false, false), 0);
    for (HWND w : {debugger, console, registers}) Clear(w);
}

void EngineTest::TearDown() {
    if (ctx) {
        EXPECT_EQ(module_closeModule(ctx, kModuleDebugger), 0) << Debugger();
        DbgFreeBuffer(ctx);
        gDbgContext = nullptr;
    }
    for (HWND w : {debugger, console, registers}) win32::DestroyWindow(w);
    gDbgWindows = DbgWindows{};
    HostSetConsole(nullptr);
    sim.reset();
    std::remove(logPath.c_str());
}

std::string EngineTest::Text(HWND window) {
    return WindowText(window);
}

void EngineTest::Clear(HWND window) {
    win32::SetWindowTextA(window, "");
}

std::string EngineTest::Run(const std::string& line) {
    Clear(debugger);
    status = DbgExecuteLine(ctx, line.c_str(), 0);
    return Debugger();
}

void EngineTest::Control(const std::string& text, uint8_t socket) {
    std::vector<uint8_t> body = {126, 0};
    body.insert(body.end(), text.begin(), text.end());
    SlkPktHeaderType header{};
    header.dest = vantor::slkSocketDebugger;
    header.src = socket;
    SlkBodyPart parts[] = {{static_cast<uint16_t>(body.size()), body.data()}, {0, nullptr}};
    ASSERT_EQ(SlkSendPacket(&header, parts), 0);
}

void EngineTest::IdleStep() {
    DbgIdleProcess();
    usleep(10000);
}

std::vector<std::string> EngineTest::Requests() {
    std::ifstream file(logPath);
    std::stringstream all;
    all << file.rdbuf();
    std::string text = all.str();
    std::vector<std::string> lines;
    std::istringstream in(text.substr(logSeen < text.size() ? logSeen : text.size()));
    logSeen = text.size();
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace quillwatch
