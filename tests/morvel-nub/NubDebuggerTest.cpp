// Quillwatch's debugger engine against Morvel's debugger nub, end to end: morvel-run runs the 68K
// debug application with the nub's link listening on a TCP port; the engine connects, takes the
// stop at the application's TRAP #0, reads registers and memory, writes memory, and then (over the
// engine's link) sets a breakpoint, continues to it, single-steps and lets the application finish.
// The application answers the written value plus one.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/BigEndian.h"
#include "common/DebuggerPackets.h"
#include "common/SerialLinkPacket.h"
#include "quillwatch/engine/lang/DbgContext.h"
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

// Offsets in tests/app/DebugApp.s (morvel/tests/app).
constexpr uint32_t kTrapOffset = 6, kTargetOffset = 0x0E, kValueOffset = 0x16;

// morvel-run with the debug application; its standard output is read line by line.
class MorvelRun {
public:
    MorvelRun() {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            execl(MORVEL_RUN, MORVEL_RUN, "--debug-port", "0", MORVEL_DEBUG_APP ".vrx", nullptr);
            _exit(127);
        }
        close(out[1]);
        file_ = fdopen(out[0], "r");
    }
    ~MorvelRun() {
        if (pid_ > 0 && !waited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (file_) fclose(file_);
    }
    std::string Line() {
        char line[256];
        return file_ && fgets(line, sizeof line, file_) ? std::string(line) : std::string();
    }
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        waited_ = true;
        return status;
    }

private:
    pid_t pid_ = -1;
    FILE* file_ = nullptr;
    bool waited_ = false;
};

HWND NewEdit(const char* title) {
    return win32::CreateWindowExA(0, win32::RICHEDIT_CLASSA, title, 0, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                                  nullptr);
}

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", v);
    return text;
}

class NubDebuggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string line = run_.Line();
        ASSERT_EQ(line.rfind("debugger port ", 0), 0u) << line;
        uint16_t port = static_cast<uint16_t>(std::stoul(line.substr(14)));
        debugger_ = NewEdit("Debugger");
        console_ = NewEdit("Console");
        registers_ = NewEdit("CPU Registers");
        HostSetConsole(console_);
        ctx_ = DebuggerInit(debugger_, console_, 0, registers_);
        ASSERT_NE(ctx_, nullptr);
        HostTcpSetAddress(0x7F000001, port);
        ASSERT_EQ(PrvSetupLink(linkTcp, 0, 57600, false, false), 0);
    }
    void TearDown() override {
        if (ctx_) {
            module_closeModule(ctx_, kModuleDebugger);
            DbgFreeBuffer(ctx_);
            gDbgContext = nullptr;
        }
        for (HWND w : {debugger_, console_, registers_}) win32::DestroyWindow(w);
        gDbgWindows = DbgWindows{};
        HostSetConsole(nullptr);
    }
    std::string Run(const std::string& line) {
        win32::SetWindowTextA(debugger_, "");
        status_ = DbgExecuteLine(ctx_, line.c_str(), 0);
        return WindowText(debugger_);
    }

    // A request on the debugger's socket and its reply (host order bodies are built here).
    void Send(const uint8_t* body, uint16_t size) {
        vantor::SlkPktHeaderType header{};
        header.dest = header.src = vantor::slkSocketDebugger;
        SlkBodyPart parts[] = {{size, body}, {0, nullptr}};
        ASSERT_EQ(SlkSendPacket(&header, parts), 0);
    }
    // The next packet on the debugger's socket.
    uint16_t Receive(uint8_t* body) {
        vantor::SlkPktHeaderType header{};
        return SlkReceivePacket(vantor::slkSocketDebugger, false, &header, body, vantor::slkMaxBodySize, 20000);
    }
    // Continues from the registers of the last stop, with PC and the trace bit as given.
    void Continue(uint32_t pc, bool trace) {
        uint8_t body[90] = {vantor::dbgPktContinue, 0};
        std::memcpy(body + 2, stop_ + 6, 74);
        vantor::WriteBE32(body + 2 + 68, pc);
        uint16_t sr = vantor::ReadBE16(stop_ + 6 + 72);
        vantor::WriteBE16(body + 2 + 72, static_cast<uint16_t>(trace ? sr | 0x8000 : sr & ~0x8000));
        Send(body, sizeof body);
    }
    // Waits for the state report of the next stop.
    void NextStop() {
        ASSERT_EQ(Receive(stop_), 0);
        ASSERT_EQ(stop_[0], 0x80);
    }
    uint32_t StopPC() const { return vantor::ReadBE32(stop_ + 6 + 68); }
    uint32_t StopD(int n) const { return vantor::ReadBE32(stop_ + 6 + 4 * n); }
    uint16_t StopVector() const { return vantor::ReadBE16(stop_ + 4); }

    MorvelRun run_;
    HWND debugger_ = nullptr, console_ = nullptr, registers_ = nullptr;
    DbgContextType* ctx_ = nullptr;
    uint16_t status_ = 0;
    uint8_t stop_[vantor::slkMaxBodySize] = {};
};

TEST_F(NubDebuggerTest, DebugsAnApplicationFromItsFirstStopToItsEnd) {
    // The application stops at its TRAP #0 and reports unasked; the engine takes the report.
    for (int i = 0; i < 2000 && !ctx_->attached; ++i) {
        DbgIdleProcess();
        usleep(10000);
    }
    ASSERT_EQ(ctx_->attached, 1) << WindowText(debugger_);
    // On a first stop the engine and the nub flush the link for each other (the device was reset);
    // a request sent meanwhile may be flushed away, so the state request is repeated until answered.
    std::string att;
    for (int i = 0; i < 5; ++i) {
        att = Run("att");
        if (status_ == 0) break;
    }
    ASSERT_EQ(status_, 0) << att;
    EXPECT_NE(att.find("Remote stopped"), std::string::npos) << att;
    uint32_t base = ctx_->regs.pc - kTrapOffset;
    uint32_t value = base + kValueOffset, target = base + kTargetOffset;
    EXPECT_EQ(ctx_->regs.a[0], value);

    std::string regs = Run("reg");
    EXPECT_EQ(status_, 0) << regs;
    EXPECT_NE(regs.find(Hex(value)), std::string::npos) << regs;  // A0 points at the value

    EXPECT_NE(Run("dm " + Hex(value) + " 4").find("11 11 11 11"), std::string::npos);
    Run("sl " + Hex(value) + " 12345678");
    EXPECT_EQ(status_, 0);
    EXPECT_NE(Run("dm " + Hex(value) + " 4").find("12 34 56 78"), std::string::npos) << WindowText(debugger_);

    // A trap break set and cleared by its number: the nub keeps only the trap's index, which the
    // engine matches.
    std::string trap = Run("atb A348");
    EXPECT_NE(trap.find("A-trap set on"), std::string::npos) << trap;
    trap = Run("atc A348");
    EXPECT_NE(trap.find("Cleared"), std::string::npos) << trap;
    trap = Run("atd");
    EXPECT_NE(trap.find("There are no A-Traps currently set"), std::string::npos) << trap;

    // A breakpoint at `target`; continue past the TRAP #0 to it.
    {
        SCOPED_TRACE("breakpoint");
        uint8_t state[2] = {vantor::dbgPktState, 0};
        Send(state, 2);
        NextStop();
        uint8_t set[2 + 36] = {vantor::dbgPktSetBreakpoints, 0};
        vantor::WriteBE32(set + 2, target);
        set[6] = 1;
        Send(set, sizeof set);
        uint8_t reply[vantor::slkMaxBodySize];
        ASSERT_EQ(Receive(reply), 0);
        EXPECT_EQ(reply[0], 0x8C);
        Continue(StopPC() + 2, false);
        NextStop();
        EXPECT_EQ(StopVector(), 0x80);
        EXPECT_EQ(StopPC(), target);
        EXPECT_EQ(StopD(1), 0x12345679u);
    }
    // One step runs the one instruction at the breakpoint (whose word is back in the code).
    {
        SCOPED_TRACE("step");
        Continue(StopPC(), true);
        NextStop();
        EXPECT_EQ(StopVector(), 0x24);
        EXPECT_EQ(StopPC(), target + 2);
        EXPECT_EQ(StopD(0), 0x12345679u);
    }
    // The engine sees the same stop.
    att = Run("att");
    EXPECT_EQ(ctx_->regs.pc, target + 2) << att;

    // Clear the breakpoint and let the application finish.
    uint8_t clear[2 + 36] = {vantor::dbgPktSetBreakpoints, 0};
    Send(clear, sizeof clear);
    uint8_t reply[vantor::slkMaxBodySize];
    ASSERT_EQ(Receive(reply), 0);
    Continue(StopPC(), false);
    EXPECT_EQ(run_.Line(), "result 305419897 (0x12345679)\n");
    int status = run_.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace quillwatch
