#include "DevSim.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <termios.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "common/SerialLinkPacket.h"
#include "quillwatch/link/SerialLinkMgr.h"
#include "quillwatch/link/TcpTransport.h"

extern char** environ;

namespace quillwatch::test {

using namespace vantor;

DevSim::DevSim(std::vector<std::string> args) : args_(std::move(args)) { Start(0); }

DevSim::~DevSim() { Kill(); }

void DevSim::Start(uint16_t port) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> argv = {"/usr/bin/python3", VANTOR_SOURCE_DIR "/quillwatch/devsim/devsim.py",
                                     "--port", std::to_string(port)};
    argv.insert(argv.end(), args_.begin(), args_.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    int rc = posix_spawn(&pid_, cargv[0], &fa, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    close(out[1]);
    stdinFd_ = in[1];
    if (rc != 0) {
        close(out[0]);
        pid_ = -1;
        throw std::runtime_error("cannot start the device simulator");
    }
    // The first line is "PORT <n>".
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    char c;
    while (line.find('\n') == std::string::npos && poll(&p, 1, 20000) > 0 && read(out[0], &c, 1) == 1) line += c;
    close(out[0]);
    if (std::sscanf(line.c_str(), "PORT %hu", &port_) != 1) {
        Kill();
        throw std::runtime_error("device simulator did not start: " + line);
    }
}

void DevSim::Kill() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (stdinFd_ >= 0) close(stdinFd_);
    stdinFd_ = -1;
}

void DevSim::Restart() {
    Kill();
    Start(port_);
}

Socat::Socat(const std::string& first, const std::string& second, const std::string& waitPath) {
    std::vector<std::string> argv = {"/usr/bin/socat", first, second};
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    if (posix_spawn(&pid_, cargv[0], nullptr, nullptr, cargv.data(), environ) != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start socat");
    }
    // Polls for the path socat makes; a socat that ended gives up at once.
    for (int i = 0; !waitPath.empty() && access(waitPath.c_str(), F_OK) != 0; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("socat ended before making " + waitPath);
        }
        if (i > 2000) throw std::runtime_error("socat did not make " + waitPath);
        usleep(10000);
    }
    // A raw pty: socat sets the line up after it has made the link, and a test that set the line
    // before that would see its settings undone; wait until the line is raw.
    if (!waitPath.empty() && first.rfind("PTY,", 0) == 0 && first.find("raw") != std::string::npos) {
        for (int i = 0;; ++i) {
            bool raw = false;
            int fd = open(waitPath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
            if (fd >= 0) {
                termios t{};
                raw = tcgetattr(fd, &t) == 0 && !(t.c_lflag & ICANON);
                close(fd);
            }
            if (raw) break;
            if (i > 2000) throw std::runtime_error("socat did not set up " + waitPath);
            usleep(10000);
        }
    }
}

Socat::~Socat() { Kill(); }

void Socat::Kill() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/qwtestXXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
    path_ = tmpl;
}

TempDir::~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }

std::string CommandOutput(const std::string& command) {
    std::string out;
    if (FILE* f = popen(command.c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        pclose(f);
    }
    return out;
}

std::vector<uint8_t> MemoryLink::SentBytes() const {
    std::vector<uint8_t> all;
    for (auto& chunk : sent) all.insert(all.end(), chunk.begin(), chunk.end());
    return all;
}

MemoryLink& TheMemoryLink() {
    static MemoryLink link;
    return link;
}

namespace {

Status MemOpen(uint16_t, uint16_t, uint32_t) { return 0; }
Status MemClose(uint16_t) { return 0; }
uint32_t MemSend(uint16_t, const void* bytes, uint32_t count, Status* status) {
    auto& l = TheMemoryLink();
    if (l.onSend) l.onSend();
    *status = l.sendStatus;
    if (l.sendStatus) return 0;
    const auto* p = static_cast<const uint8_t*>(bytes);
    l.sent.emplace_back(p, p + count);
    if (l.respond) l.respond();
    return count;
}
Status MemSendWait(uint16_t, int32_t) { return 0; }
uint32_t MemReceive(uint16_t, void* buffer, uint32_t count, int32_t, Status* status) {
    auto& in = TheMemoryLink().incoming;
    uint32_t n = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (n < count && !in.empty()) {
        p[n++] = in.front();
        in.pop_front();
    }
    *status = n < count ? serErrTimeout : 0;
    return n;
}
Status MemReceiveWait(uint16_t, uint32_t, int32_t) { return TheMemoryLink().incoming.empty() ? serErrTimeout : 0; }
void MemFlush(uint16_t, int32_t) { TheMemoryLink().incoming.clear(); }
Status MemClearError(uint16_t) { return 0; }

const LinkTransport kMemoryTransport = {MemOpen,    MemClose,       MemSend,  MemSendWait,
                                        MemReceive, MemReceiveWait, MemFlush, MemClearError};

}  // namespace

std::vector<uint8_t> FramePacket(uint8_t dest, uint8_t src, uint8_t transId, const std::vector<uint8_t>& body) {
    SlkPktHeaderType h{};
    h.dest = dest;
    h.src = src;
    h.transId = transId;
    std::vector<uint8_t> out(body.size() + slkPktHeaderSize + slkPktFooterSize);
    out.resize(SlkEncodePacket(h, body.data(), body.size(), out.data(), out.size()));
    return out;
}

std::string ReadFileText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void UseMemoryLink() {
    TheMemoryLink() = MemoryLink{};
    LinkSetTransport(linkTcp, &kMemoryTransport);
    LinkSetKind(linkTcp);
    ResetSockets();
}

void UseTcpLink(uint16_t port) {
    LinkSetTransport(linkTcp, nullptr);
    LinkSetKind(linkTcp);
    LinkClose(0);
    HostTcpSetAddress(0x7F000001, port);
    LinkOpen(0, 0, 0, false);
    ResetSockets();
}

void ResetSockets() {
    SlkOpen();
    for (uint16_t s = 0; s < slkSocketCount; ++s) SlkCloseSocket(s);
    for (uint16_t s : {1, 0, 2}) {
        uint16_t id = s;
        SlkOpenSocket(0, &id, true);
    }
}

}  // namespace quillwatch::test
