// The first UART reached over TCP by ROMs running on the emulated board: the emulator connects to
// a listening peer, or listens itself when there is none; peers may come and go.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "tamsk/host/tests/ProgramRunner.h"
#include "tamsk/board/tests/TestPorts.h"

namespace tamsk::test {
namespace {

bool Listening(uint16_t port) {
    return system(("ss -ltnH 'sport = :" + std::to_string(port) + "' | grep -q LISTEN").c_str()) == 0;
}

bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
    for (int waited = 0; waited < ms; waited += 10) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// socat in the background; `Wait` returns its exit status.
struct Socat {
    explicit Socat(const std::string& args) {
        pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", ("exec socat " + args).c_str(), nullptr);
            _exit(127);
        }
    }
    ~Socat() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    int Wait(int ms = 20000) {
        int status = -1;
        WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, ms);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t pid;
};

class ProgramUart : public ::testing::Test {
protected:
    std::string EchoRom() { return board.RomList("echo.aei", {"SRAM:5C020000:echo.bin"}); }
    Program board;
    const uint16_t port = FreePort();
    const std::string address = "127.0.0.1:" + std::to_string(port);
};

TEST_F(ProgramUart, PrintsToAListenerThatWasThereFirst) {
    Socat listener("-u TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr OPEN:" +
                   (board.dir / "received") + ",creat");
    ASSERT_TRUE(WaitFor([&] { return Listening(port); }));
    const Outcome o = board.Run({"-ROM:" + EchoRom(), "-SerialPort:" + address, "-TimeLimit:1"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(listener.Wait(), 0);
    EXPECT_EQ(ReadFile(board.dir / "received"), "UART ready\n");
}

TEST_F(ProgramUart, ListensWhenNobodyIsThereAndEchoesToClientsThatComeAndGo) {
    board.Start({"-ROM:" + EchoRom(), "-SerialPort:" + address});
    ASSERT_TRUE(WaitFor([&] { return Listening(port); }));
    for (int client = 0; client < 3; ++client) {
        SCOPED_TRACE(client);
        const std::string in = board.dir / ("in" + std::to_string(client));
        const std::string out = board.dir / ("out" + std::to_string(client));
        const std::string text = "client " + std::to_string(client) + " says hello\n";
        WriteFile(in, text);
        // Each client sends its line and keeps listening a moment for the echo.
        Socat peer("-t 1 TCP:" + address + ",retry=100,interval=0.05,shut-none OPEN:" + in +
                   "!!OPEN:" + out + ",creat");
        EXPECT_EQ(peer.Wait(), 0);
        // The banner was printed before anyone connected: the first client gets it first.
        EXPECT_EQ(ReadFile(out), client == 0 ? "UART ready\n" + text : text);
        // The emulator listens again for the next one.
        ASSERT_TRUE(WaitFor([&] { return Listening(port); }));
    }
    board.Stop();
}

TEST_F(ProgramUart, ABridgeWithoutAnAddressIsOff) {
    const Outcome o = board.Run({"-ROM:" + EchoRom(), "-SerialPort:nowhere", "-TimeLimit:1"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
}

}  // namespace
}  // namespace tamsk::test
