// Test support: the Python device simulator as a child process, and an in-memory link.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "quillwatch/link/LinkSelector.h"

namespace quillwatch::test {

// Runs quillwatch/devsim/devsim.py with the given arguments and a free port.
class DevSim {
public:
    explicit DevSim(std::vector<std::string> args);
    ~DevSim();
    DevSim(const DevSim&) = delete;
    DevSim& operator=(const DevSim&) = delete;
    uint16_t port() const { return port_; }
    bool running() const { return pid_ > 0; }
    void Kill();
    // Starts again on the same port.
    void Restart();

private:
    void Start(uint16_t port);
    std::vector<std::string> args_;
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    uint16_t port_ = 0;
};

// The byte the simulator's --pattern holds at a device address.
inline uint8_t PatternByte(uint32_t a) { return static_cast<uint8_t>(a * 7 + (a >> 8)); }

// An in-memory link put in place of the TCP transport: what the link manager sends is kept in
// `sent` (each LinkSend as one chunk), what it receives is taken from `incoming`.
struct MemoryLink {
    std::deque<uint8_t> incoming;
    std::vector<std::vector<uint8_t>> sent;
    std::function<void()> onSend;   // runs inside each send, before the bytes are taken
    std::function<void()> respond;  // runs after each send: may put a reply into `incoming`
    vantor::Status sendStatus = 0;  // status of every send
    std::vector<uint8_t> SentBytes() const;
};
MemoryLink& TheMemoryLink();
// Installs a fresh memory link as the TCP transport and chooses the TCP kind.
void UseMemoryLink();
// Back to the built-in TCP transport, kind TCP.
void UseTcpLink(uint16_t port);
// A framed packet.
std::vector<uint8_t> FramePacket(uint8_t dest, uint8_t src, uint8_t transId, const std::vector<uint8_t>& body);
// Reads a text file whole ("" when missing).
std::string ReadFileText(const std::string& path);
// Closes every socket of the link manager (opening it when needed) and opens sockets 0, 1, 2.
void ResetSockets();

}  // namespace quillwatch::test
