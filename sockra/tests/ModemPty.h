// A modem on the far side of a pty pair, for login tests: the near side (raw mode) is attached as a
// serial port of the stand-in OS; the modem answers each text it hears from its own thread.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/FourCC.h"
#include "common/Status.h"
#include "standin/os/SerialPorts.h"

namespace sockra::test {

// What the modem waits to hear (at the end of all it heard so far) and what it answers, in turn.
using ModemDialogue = std::vector<std::pair<std::string, std::string>>;

// A dial-up login: the modem connects, asks for the user and the password and announces the
// address 10.0.0.7.
inline ModemDialogue LoginDialogue() {
    return {
        {"AT\r", "\r\nOK\r\n"},
        {"ATDT555\r", "\r\nCONNECT 38400\r\nlogin: "},
        {"bob\r", "Password: "},
        {"s3cret\r", "\r\nWelcome. Your IP address is 10.0.0.7.\r\n"},
    };
}

using IFSettingSet = vantor::Status (*)(uint32_t creator, uint16_t instance, uint16_t setting, const void* value,
                                        uint16_t size);

// Stores a login script and what LoginDialogue's modem asks for (user "bob", password "s3cret") as
// settings of interface 'ppp_' 1, with a command time-out of 20 seconds; false when one is refused.
inline bool StoreLogin(IFSettingSet set, const std::string& script) {
    const uint32_t ppp = vantor::FourCC("ppp_"), seconds = 20;
    return set(ppp, 1, 14, script.data(), static_cast<uint16_t>(script.size())) == 0 &&
           set(ppp, 1, 16, &seconds, 4) == 0 && set(ppp, 1, 6, "bob", 3) == 0 && set(ppp, 1, 7, "s3cret", 6) == 0;
}

class ModemPty {
public:
    // Opens the pair, attaches the near side as serial port `port` and starts the modem; Ok() is
    // false when the pair could not be made.
    ModemPty(uint16_t port, ModemDialogue dialogue) : port_(port), dialogue_(std::move(dialogue)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
        if (slave_ < 0) return;
        termios t{};
        tcgetattr(slave_, &t);
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
        if (!vantor::os::SerialPortAttach(port_, slave_)) return;
        attached_ = true;
        modem_ = std::thread([this] { Answer(); });
    }
    ~ModemPty() {
        Stop();
        if (attached_) vantor::os::SerialPortDetach(port_);
        if (slave_ >= 0) close(slave_);
        if (master_ >= 0) close(master_);
    }
    ModemPty(const ModemPty&) = delete;
    ModemPty& operator=(const ModemPty&) = delete;

    bool Ok() const { return attached_; }
    // Stops the modem and answers all it heard.
    std::string Heard() {
        Stop();
        return heard_;
    }

private:
    void Stop() {
        stop_ = true;
        if (modem_.joinable()) modem_.join();
    }
    void Answer() {
        size_t next = 0;
        while (!stop_ && next < dialogue_.size()) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char buf[64];
            ssize_t n = read(master_, buf, sizeof buf);
            if (n <= 0) break;
            heard_.append(buf, static_cast<size_t>(n));
            const std::string& expect = dialogue_[next].first;
            if (heard_.size() >= expect.size() &&
                heard_.compare(heard_.size() - expect.size(), expect.size(), expect) == 0) {
                const std::string& a = dialogue_[next++].second;
                if (write(master_, a.data(), a.size()) != static_cast<ssize_t>(a.size())) break;
            }
        }
    }

    uint16_t port_;
    ModemDialogue dialogue_;
    int master_ = -1, slave_ = -1;
    bool attached_ = false;
    std::atomic<bool> stop_{false};
    std::string heard_;
    std::thread modem_;
};

}  // namespace sockra::test
