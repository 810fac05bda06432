// Fixture of the library's unit tests: the library's units run against the stand-in OS, whose
// system table they reach through the module glue, as the loaded module does.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/module/ModuleGlue.h"
#include "common/module/SystemSlots.h"
#include "sockra/SockraGlobals.h"
#include "standin/os/StandinTest.h"

namespace sockra::test {

class SockraTest : public vantor::os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        vantor::glue::SetSystemTable(vantor::os::SystemTable());
        SetEventAvail(false);
    }
    static bool Traced(const std::string& line) {
        for (const auto& t : vantor::os::TraceLines()) {
            if (t == line) return true;
        }
        return false;
    }
    static size_t Reports() { return vantor::os::ErrorReports().size(); }
    // What the OS's event queue answers to "is an event available".
    static void SetEventAvail(bool avail) {
        vantor::os::ScriptResult(vantor::os::Library::System, vantor::sysslot::EvtEventAvail, avail ? 1 : 0);
    }
};

// The per-socket tables as open sets them up (interface up, every entry free), without the rest
// of open; the sockets left in them are closed after the test.
class SocketTablesTest : public SockraTest {
protected:
    explicit SocketTablesTest(uint16_t maxSockets = 31)
        : sockets_(maxSockets, -1), words_(maxSockets * 3u), pipes_(maxSockets * 6u) {}
    void SetUp() override {
        SockraTest::SetUp();
        uint16_t n = static_cast<uint16_t>(sockets_.size());
        gSockraMaxSockets = n;
        gSockra.sockets = sockets_.data();
        gSockra.blocking = &words_[0];
        gSockra.monitorTasks = &words_[n];
        gSockra.notifyValues = &words_[2u * n];
        auto* pipes = reinterpret_cast<int32_t(*)[2]>(pipes_.data());
        gSockra.exitPipes = pipes;
        gSockra.exitAckPipes = pipes + n;
        gSockra.primePipes = pipes + 2u * n;
        gSockraInterfaceUp = 1;
    }
    void TearDown() override {
        for (int32_t fd : sockets_) {
            if (fd != -1) close(fd);
        }
        gSockra = {};
        gSockraMaxSockets = 0;
        SockraTest::TearDown();
    }
    // A free TCP or UDP port on loopback (nothing listens on it).
    static uint16_t FreePort(int type) {
        int fd = socket(AF_INET, type, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        socklen_t len = sizeof sa;
        getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
        close(fd);
        return ntohs(sa.sin_port);
    }

    std::vector<int32_t> sockets_;
    std::vector<uint32_t> words_;
    std::vector<int32_t> pipes_;  // three pipes (two descriptors) per socket
};

}  // namespace sockra::test
