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

// A socat process joining two addresses (for example a pty or a Unix socket to the simulator's
// TCP port); killed when the object goes.
class Socat {
public:
    // Starts socat with the two addresses; when waitPath is given, returns once that path exists.
    Socat(const std::string& first, const std::string& second, const std::string& waitPath = "");
    ~Socat();
    Socat(const Socat&) = delete;
    Socat& operator=(const Socat&) = delete;
    void Kill();

private:
    pid_t pid_ = -1;
};

// A fresh temporary directory, removed with what it holds when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Runs a shell command and returns its standard output.
std::string CommandOutput(const std::string& command);

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
