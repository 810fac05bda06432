// The debugger nub against a scripted debugger on the other end of a socket pair that the
// stand-in OS serves as the debugger's port: stops and their reports, trap breaks, the
// breakpoint-suspend toggle, commands without a reply, the A7 copies of a register write, and
// requests whose lengths or parameter lists run past the packet buffer.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <thread>
#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/SerialLinkPacket.h"
#include "common/module/KezSlots.h"
#include "common/module/A68kCalls.h"
#include "common/module/A68kSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelExports.h"
#include "morvel/nub/DebuggerNub.h"
#include "morvel/traps/TrapTable.h"
#include "standin/os/SerialPorts.h"

namespace morvel::test {
namespace {

using Bytes = std::vector<uint8_t>;

uint8_t NotProtected() { return 1; }
uint32_t NoArea(uint32_t, uint8_t) { return 0; }
void Nothing(uint32_t) {}

// The debugger's end: reads packets, hands each stop report to the script, which sends requests
// and reads their replies; the script's last request lets the application go on.
class FakeDebugger {
public:
    using Script = std::function<void(FakeDebugger&, const Bytes& stop)>;
    FakeDebugger(int fd, Script script) : fd_(fd), script_(std::move(script)) {
        thread_ = std::thread([this] {
            for (Bytes p; Receive(&p);) {
                if (!p.empty() && p[0] == 0x80) {
                    stops.push_back(p);
                    script_(*this, p);
                } else {
                    unasked.push_back(p);
                }
            }
        });
    }
    ~FakeDebugger() { Join(); }
    // Waits until the other end has closed (and the script is done).
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    void Send(const Bytes& body) {
        vantor::SlkPktHeaderType header{};
        uint8_t packet[400];
        size_t n = vantor::SlkEncodePacket(header, body.data(), body.size(), packet, sizeof packet);
        ASSERT_EQ(write(fd_, packet, n), static_cast<ssize_t>(n));
    }
    bool Receive(Bytes* body) {
        uint8_t head[10];
        if (!ReadAll(head, 10)) return false;
        body->resize(vantor::ReadBE16(head + 6));
        uint8_t crc[2];
        return ReadAll(body->data(), body->size()) && ReadAll(crc, 2);
    }
    Bytes Request(const Bytes& body) {
        Send(body);
        Bytes reply;
        Receive(&reply);
        return reply;
    }
    // Continue from a stop's registers; `pcDelta` moves PC, `trace` sets the trace bit.
    void Continue(const Bytes& stop, int32_t pcDelta = 0, bool trace = false) {
        Bytes body(90, 0);
        body[0] = 7;
        std::copy(stop.begin() + 6, stop.begin() + 80, body.begin() + 2);
        vantor::WriteBE32(&body[2 + 68], vantor::ReadBE32(&stop[6 + 68]) + pcDelta);
        if (trace) body[2 + 72] |= 0x80;
        Send(body);
    }
    std::vector<Bytes> stops, unasked;

private:
    bool ReadAll(uint8_t* p, size_t n) {
        while (n) {
            ssize_t r = read(fd_, p, n);
            if (r <= 0) return false;
            p += r;
            n -= static_cast<size_t>(r);
        }
        return true;
    }
    int fd_;
    Script script_;
    std::thread thread_;
};

uint32_t StopPC(const Bytes& stop) { return vantor::ReadBE32(&stop[6 + 68]); }
uint16_t StopVector(const Bytes& stop) { return vantor::ReadBE16(&stop[4]); }

class NubTest : public MorvelTest {
protected:
    void SetUp() override {
        MorvelTest::SetUp();
        // One table for the whole program: Morvel's import keeps it once bound.
        static std::vector<vantor::ModuleProc> kez(vantor::kKezSlots, nullptr);
        kez[vantor::kezslot::HALMemoryIsProtected] = reinterpret_cast<vantor::ModuleProc>(&NotProtected);
        kez[vantor::kezslot::HALMemoryGetAreaSize] = reinterpret_cast<vantor::ModuleProc>(&NoArea);
        kez[vantor::kezslot::KALNullEntry151] = reinterpret_cast<vantor::ModuleProc>(&Nothing);
        vantor::os::RegisterTable(vantor::kKezType, vantor::kKezCreator, kez.data(), vantor::kKezSlots);
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0);
        ASSERT_TRUE(vantor::os::SerialPortAttach(0x8002, fds_[0]));
        ASSERT_EQ(TrapTableCreate(&ctx_.state), 0);
        SetGlobalContext(&ctx_.state);
        // The code and the stack are the readable memory.
        code_.assign(256, 0);
        ctx_.state.regions[0] = {Addr(code_.data()), static_cast<uint32_t>(code_.size())};
        ctx_.state.regions[1] = {Addr(ctx_.stack.data()), static_cast<uint32_t>(ctx_.stack.size())};
    }
    void TearDown() override {
        DbgNubClose(&ctx_.state);
        SetGlobalContext(nullptr);
        vantor::os::SerialPortDetach(0x8002);
        close(fds_[0]);
        close(fds_[1]);
        vantor::os::UnregisterModule(vantor::kKezType, vantor::kKezCreator);
        MorvelTest::TearDown();
    }
    uint16_t Run(const std::string& src, FakeDebugger::Script script) {
        Bytes bytes = Assemble(src);
        std::copy(bytes.begin(), bytes.end(), code_.begin());
        FakeDebugger debugger(fds_[1], std::move(script));
        uint16_t r = Call68KCode(&ctx_.state, Addr(code_.data()), 0);
        shutdown(fds_[0], SHUT_WR);  // ends the debugger's reading
        debugger.Join();
        stops_ = debugger.stops;
        return r;
    }
    uint32_t CodeAddr() { return Addr(code_.data()); }
    TestContext ctx_;
    Bytes code_;
    std::vector<Bytes> stops_;
    int fds_[2] = {-1, -1};
};

TEST_F(NubTest, StopsReportAndGoOnWithTheDebuggersRegisters) {
    std::vector<Bytes> replies;
    ASSERT_EQ(Run("moveq #5,%d3\n trap #0\n addq.l #1,%d3\n trap #8\n rts",
                  [&](FakeDebugger& d, const Bytes& s) {
                      if (d.stops.size() == 1) {
                          replies.push_back(d.Request({5, 0}));  // registers
                          Bytes write = {6, 0};
                          write.insert(write.end(), s.begin() + 6, s.begin() + 80);
                          vantor::WriteBE32(&write[2 + 12], 40);  // D3
                          replies.push_back(d.Request(write));
                          d.Send({23, 0});                      // flash: no reply
                          replies.push_back(d.Request({0, 0}));  // so this reply comes next
                          Bytes after = d.Request({5, 0});
                          Bytes stop = s;
                          std::copy(after.begin() + 2, after.begin() + 76, stop.begin() + 6);
                          d.Continue(stop, 2);  // past the TRAP #0
                      } else {
                          d.Continue(s);
                      }
                  }),
              0);
    EXPECT_EQ(ctx_.state.D[3], 41u);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0][0], 0x85);
    EXPECT_EQ(vantor::ReadBE32(&replies[0][2 + 12]), 5u);
    EXPECT_EQ(replies[1], (Bytes{0x86, 0}));
    EXPECT_EQ(replies[2][0], 0x80);
    EXPECT_EQ(replies[2][2], 0);  // a state request's reason
    ASSERT_EQ(stops_.size(), 2u);
    EXPECT_EQ(stops_[0][2], 1);  // the first report after the state was made
    EXPECT_EQ(StopVector(stops_[0]), 0x80);
    EXPECT_EQ(StopPC(stops_[0]), CodeAddr() + 2);  // at the TRAP #0 itself
    EXPECT_EQ(stops_[1][2], 0);
    EXPECT_EQ(StopVector(stops_[1]), 0xBC);
    EXPECT_EQ(StopPC(stops_[1]), CodeAddr() + 8);  // after the TRAP #8
}

void SetD0(EmulState* s, uint16_t) { s->D[0] = 77; }

TEST_F(NubTest, TrapBreaksStopAtTheTrapInstruction) {
    ASSERT_EQ(A68kSetTrapAddress(&ctx_.state, 0x123, SetD0), 0);
    std::vector<Bytes> replies;
    ASSERT_EQ(Run("trap #0\n trap #15\n .short 0xA123\n rts",
                  [&](FakeDebugger& d, const Bytes& s) {
                      if (d.stops.size() == 1) {
                          replies.push_back(d.Request({17, 0, 0x01, 0x23, 0, 0, 0, 0, 0, 0, 0, 0}));
                          replies.push_back(d.Request({16, 0}));
                          d.Continue(s, 2);
                      } else {
                          d.Request({17, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
                          d.Continue(s);
                      }
                  }),
              0);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0][0], 0x91);
    EXPECT_EQ(replies[1], (Bytes{0x90, 0, 0x01, 0x23, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(stops_.size(), 2u);
    EXPECT_EQ(StopVector(stops_[1]), 0x28);
    EXPECT_EQ(StopPC(stops_[1]), CodeAddr() + 2);  // the TRAP #15
    EXPECT_EQ(ctx_.state.D[0], 77u);               // and the trap ran afterwards
}

TEST_F(NubTest, SuspendedBreakpointsStayOutOfTheCode) {
    std::vector<Bytes> toggles;
    ASSERT_EQ(Run("trap #0\n nop\n nop\n rts",
                  [&](FakeDebugger& d, const Bytes& s) {
                      Bytes set(38, 0);
                      set[0] = 12;
                      vantor::WriteBE32(&set[2], CodeAddr() + 4);
                      set[6] = 1;
                      d.Request(set);
                      toggles.push_back(d.Request({13, 0}));
                      toggles.push_back(d.Request({13, 0}));
                      toggles.push_back(d.Request({13, 0}));
                      d.Continue(s, 2);
                  }),
              0);
    ASSERT_EQ(toggles.size(), 3u);
    EXPECT_EQ(toggles[0], (Bytes{0x8D, 0, 1, 0}));
    EXPECT_EQ(toggles[1], (Bytes{0x8D, 0, 0, 0}));
    EXPECT_EQ(toggles[2], (Bytes{0x8D, 0, 1, 0}));
    EXPECT_EQ(stops_.size(), 1u);                     // the breakpoint was not installed
    EXPECT_EQ(vantor::ReadBE16(&code_[4]), 0x4E71);  // the NOP is still there
}

TEST_F(NubTest, RegisterWritesKeepTheChangedCopyOfA7) {
    std::vector<Bytes> replies;
    ASSERT_EQ(Run("trap #0\n rts",
                  [&](FakeDebugger& d, const Bytes& s) {
                      uint32_t a7 = vantor::ReadBE32(&s[6 + 60]);
                      Bytes write = {6, 0};
                      write.insert(write.end(), s.begin() + 6, s.begin() + 80);
                      vantor::WriteBE32(&write[2 + 60], a7 - 8);  // only the first copy edited
                      d.Request(write);
                      replies.push_back(d.Request({5, 0}));
                      vantor::WriteBE32(&write[2 + 60], a7 - 8);
                      vantor::WriteBE32(&write[2 + 64], a7);  // both differ now: the second wins
                      d.Request(write);
                      replies.push_back(d.Request({5, 0}));
                      d.Continue(s, 2);
                  }),
              0);
    ASSERT_EQ(replies.size(), 2u);
    uint32_t a7 = vantor::ReadBE32(&stops_[0][6 + 60]);
    EXPECT_EQ(vantor::ReadBE32(&replies[0][2 + 60]), a7 - 8);
    EXPECT_EQ(vantor::ReadBE32(&replies[0][2 + 64]), a7 - 8);
    EXPECT_EQ(vantor::ReadBE32(&replies[1][2 + 64]), a7);
}

TEST_F(NubTest, LengthsAndParameterListsStayInsideThePacketBuffer) {
    std::vector<Bytes> replies;
    ASSERT_EQ(Run("trap #0\n rts",
                  [&](FakeDebugger& d, const Bytes& s) {
                      Bytes read = {1, 0, 0, 0, 0, 0, 0xFF, 0xFF};
                      vantor::WriteBE32(&read[2], CodeAddr());
                      replies.push_back(d.Request(read));
                      Bytes write(16, 0x4E);
                      write[0] = 2;
                      write[1] = 0;
                      vantor::WriteBE32(&write[2], CodeAddr() + 128);
                      write[6] = write[7] = 0xFF;
                      replies.push_back(d.Request(write));
                      // A remote call whose 1000 parameters run far past the buffer is not made.
                      Bytes call(40, 0);
                      call[0] = 10;
                      vantor::WriteBE16(&call[2], 0xA123);
                      vantor::WriteBE32(&call[4], 0x11111111);
                      vantor::WriteBE16(&call[6], 40);
                      vantor::WriteBE16(&call[12], 1000);
                      for (size_t i = 14; i + 1 < call.size(); i += 2) call[i + 1] = 4;
                      replies.push_back(d.Request(call));
                      d.Continue(s, 2);
                  }),
              0);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0].size(), 272u);  // 270 bytes at most, after the command bytes
    EXPECT_EQ(replies[0][0], 0x81);
    EXPECT_EQ(vantor::ReadBE16(&replies[0][2]), 0x4E40);  // the code read back
    EXPECT_EQ(replies[1], (Bytes{0x82, 0}));
    EXPECT_EQ(vantor::ReadBE32(&code_[128]), 0x4E4E4E4Eu);  // the data that was sent, no more
    EXPECT_EQ(replies[2][0], 0x8A);
    EXPECT_EQ(ctx_.state.D[0], 0u);  // trap 0xA123 did not run
}

TEST_F(NubTest, ExportedBreakNeedsTheCallersOwnContext) {
    auto dbgBreak = reinterpret_cast<vantor::a68ksig::A68kDbgBreak*>(MorvelExportTable()[vantor::a68kslot::A68kDbgBreak]);
    SetCurrentContext(nullptr);  // a task without a context
    dbgBreak();
    EXPECT_EQ(ctx_.state.nub, nullptr);
    SetCurrentContext(&ctx_.state);  // the global context itself
    dbgBreak();
    EXPECT_EQ(ctx_.state.nub, nullptr);
}

}  // namespace
}  // namespace morvel::test
