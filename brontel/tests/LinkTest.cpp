// libBrontel.so on top of the real libSockra.so, both loaded by Kez's module loader, against an
// independent desktop peer in Python on loopback: the setup handshake, requests and replies,
// keep-alive tickles, cancel from the OS side, a peer that leaves mid-frame and hostile lengths.
#include <arpa/inet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "brontel/Brontel.h"
#include "common/SockraLib.h"
#include "common/module/SystemCalls.h"
#include "kez/src/RAL.h"
#include "kez/tests/KezTestSupport.h"

extern "C" uint32_t PrvRALSetExePath(const char* path);
extern "C" void PrvRALPatchHandles(void* kezHandle, void* systemHandle);

namespace {

using namespace vantor;
using namespace brontel;
using kez::testing::Eventually;

std::atomic<bool> gSyncCancelled{false};
uint8_t SyncIsCancelled() { return gSyncCancelled.load() ? 1 : 0; }

// The desktop peer: a child process running the Python script, stopped at the end of the test.
class Peer {
public:
    bool Start(const std::vector<std::string>& args) {
        char pattern[] = "/tmp/brontel-peer-XXXXXX";
        int fd = mkstemp(pattern);
        if (fd < 0) return false;
        close(fd);
        log_ = pattern;
        int out[2];
        if (pipe(out) != 0) return false;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            std::vector<std::string> all = {"python3", VANTOR_SOURCE_DIR "/brontel/tests/desktop_peer.py", "--log",
                                            log_};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (auto& a : all) argv.push_back(a.data());
            argv.push_back(nullptr);
            execvp("python3", argv.data());
            _exit(127);
        }
        close(out[1]);
        std::string line;
        char c;
        for (ssize_t n; line.size() < 16 && (n = read(out[0], &c, 1)) != 0;) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || c == '\n') break;
            line += c;
        }
        close(out[0]);
        return line == "ready";
    }
    // Waits for the peer to end by itself (up to a bound), else stops it.
    void Stop() {
        if (pid_ <= 0) return;
        Eventually([this] { return waitpid(pid_, nullptr, WNOHANG) == pid_ || (kill(pid_, 0) != 0); }, 3);
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    std::string Log() const {
        std::ifstream in(log_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    ~Peer() {
        Stop();
        if (!log_.empty()) unlink(log_.c_str());
    }

private:
    pid_t pid_ = -1;
    std::string log_;
};

uint16_t FreePort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

class BrontelLink : public kez::testing::KezKernelTest {
protected:
    BrontelLink() : KezKernelTest(true) {}
    void SetUp() override {
        KezKernelTest::SetUp();
        PrvRALSetExePath(VANTOR_BIN_DIR "/");
        PrvRALPatchHandles(nullptr, dlopen(nullptr, RTLD_NOW));
        kez::PrvRALInitialize();
        os::RegisterTable(kKezType, kKezCreator, kez::ExportTable(), kKezSlots);
        kez::RegisterExport(kezslot::PALSyncIsCancelled, reinterpret_cast<ModuleProc>(&SyncIsCancelled));
        gSyncCancelled = false;
        os::ScriptResult(os::Library::System, sysslot::EvtResetAutoOffTimer, 0);
        os::ScriptResult(os::Library::System, sysslot::DlkSetLogEntry, 0);
        os::OnCall(os::Library::System, sysslot::DlkControl, [this](const os::SlotCall& c) -> uint32_t {
            return Setting(static_cast<uint16_t>(c.args[0]), static_cast<uint16_t>(c.args[1]),
                           reinterpret_cast<void*>(c.args[2]), reinterpret_cast<uint16_t*>(c.args[3]));
        });
        sys::FtrSet(FourCC("psys"), 1, 0x05000000);
        sockraRef_ = LoadModule("libSockra.dll");
        os::RegisterLoadedModule(sockra::kSockraType, sockra::kSockraCreator, sockraRef_);
        brontelRef_ = LoadModule("libBrontel.dll");
        ASSERT_EQ(KEZ_CALL(RALGetEntryAddresses, brontelRef_, 0, kBrontelSlots - 1, table_), 0);
    }
    void TearDown() override {
        if (opened_) Call<Status(uint16_t)>(1)(kRef);
        peer_.Stop();
        for (uint32_t ref : {brontelRef_, sockraRef_}) {
            if (ref) {
                EXPECT_EQ(KEZ_CALL(RALUnloadModule, ref, nullptr, nullptr), 0);
            }
        }
        os::UnregisterModule(sockra::kSockraType, sockra::kSockraCreator);
        kez::PrvRALDispose();
        os::UnregisterModule(kKezType, kKezCreator);
        KezKernelTest::TearDown();
    }
    uint32_t LoadModule(const char* name) {
        RALLoadDescriptor d{};
        d.words[3] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(name));
        uint32_t entry = 0, ref = 0;
        EXPECT_EQ(KEZ_CALL(RALLoadModule, &d, 0, &entry, &ref), 0) << name;
        return ref;
    }
    // The desktop-link settings the transport reads and writes.
    uint16_t Setting(uint16_t op, uint16_t setting, void* value, uint16_t* length) {
        if (op == kDlkSetSetting) {
            settings_[setting] = std::string(static_cast<const char*>(value), *length);
            return 0;
        }
        auto it = settings_.find(setting);
        if (it == settings_.end()) return 0x0502;
        if (value) std::memcpy(value, it->second.data(), std::min<size_t>(*length, it->second.size()));
        *length = static_cast<uint16_t>(it->second.size());
        return 0;
    }
    void SetText(uint16_t setting, const std::string& text) { settings_[setting] = text + std::string(1, '\0'); }

    template <typename Sig>
    Sig* Call(uint16_t slot) {
        return reinterpret_cast<Sig*>(static_cast<uintptr_t>(table_[slot]));
    }
    Status Open() {
        opened_ = true;
        return Call<Status(uint16_t)>(0)(kRef);
    }
    // Opens the transport and connects it to a peer started with `mode`.
    Status Connect(const std::string& mode = "setup") {
        const uint16_t port = FreePort();
        EXPECT_TRUE(peer_.Start({"--port", std::to_string(port), "--mode", mode}));
        settings_[kSettingTcpPort] = std::string(reinterpret_cast<const char*>(&port), 2);
        SetText(kSettingHostName, "!!");
        SetText(kSettingHostAddr, "127.0.0.1");
        EXPECT_EQ(Open(), 0);
        BrontelPhase1Args args{FourCC("test"), FourCC("svce"), 0};
        EXPECT_EQ(Call<Status(uint16_t, const BrontelPhase1Args*)>(7)(kRef, &args), 0);
        return Call<Status(uint16_t)>(8)(kRef);
    }
    Status Send(const std::string& payload, uint8_t id = 7) {
        BrontelSegment segment{payload.data(), static_cast<uint32_t>(payload.size()), 0};
        BrontelRequestBlock block{id, &segment, 1};
        return Call<Status(uint16_t, const BrontelRequestBlock*)>(11)(kRef, &block);
    }
    Status Receive(std::string* payload) {
        BrontelReceivedRequest r{};
        Status s = Call<Status(uint16_t, BrontelReceivedRequest*)>(10)(kRef, &r);
        if (!s && r.kind == 1) payload->assign(static_cast<const char*>(r.data), r.length);
        return s;
    }
    Status Disconnect() { return Call<Status(uint16_t, uint8_t)>(9)(kRef, 0); }

    static constexpr uint16_t kRef = 5;
    Peer peer_;
    std::map<uint16_t, std::string> settings_;
    uint32_t sockraRef_ = 0, brontelRef_ = 0;
    uint32_t table_[kBrontelSlots] = {};
    bool opened_ = false;
};

TEST_F(BrontelLink, HandshakeThenRequestsAndRepliesOverTheLink) {
    ASSERT_EQ(Connect(), 0);
    // Open control: the peer learnt the device's control socket; set limits: max request 64.
    EXPECT_EQ(Call<uint32_t(uint16_t)>(13)(kRef), 64u);
    std::string reply;
    ASSERT_EQ(Send("ping"), 0);
    ASSERT_EQ(Receive(&reply), 0);
    EXPECT_EQ(reply, "echo:ping");

    // Segments of 3 (no pad) and 2 (pad) bytes go out as 6, with one zero byte between.
    const char a[] = "abc", b[] = "de";
    BrontelSegment segments[2] = {{a, 3, 0}, {b, 2, 1}};
    EXPECT_EQ(Call<uint32_t(uint16_t, uint16_t, const BrontelSegment*)>(15)(kRef, 2, segments), 6u);
    BrontelRequestBlock block{9, segments, 2};
    ASSERT_EQ(Call<Status(uint16_t, const BrontelRequestBlock*)>(11)(kRef, &block), 0);
    ASSERT_EQ(Receive(&reply), 0);
    EXPECT_EQ(reply, std::string("echo:abc\0de", 11));

    // Larger than the maximum the host set: refused, nothing sent, the link goes on.
    EXPECT_EQ(Send(std::string(65, 'x')), trelErrTooLarge);
    ASSERT_EQ(Send("after"), 0);
    ASSERT_EQ(Receive(&reply), 0);
    EXPECT_EQ(reply, "echo:after");

    uint16_t count = 0;
    uint32_t words[3] = {};
    ASSERT_EQ(Call<Status(uint16_t, uint16_t, void*, uint16_t*)>(6)(kRef, 1, words, &count), 0);
    EXPECT_EQ(count, 1u);  // asked with 0: the count only
    count = 3;
    ASSERT_EQ(Call<Status(uint16_t, uint16_t, void*, uint16_t*)>(6)(kRef, 1, words, &count), 0);
    EXPECT_EQ(words[0], FourCC("panl"));
    EXPECT_EQ(words[1], FourCC("netw"));
    EXPECT_EQ(Call<Status(uint16_t, uint16_t, void*, uint16_t*)>(6)(kRef, 9, words, &count), trelErrParam);

    EXPECT_EQ(Disconnect(), 0);
    EXPECT_EQ(Send("late"), trelErrDisconnected);
    peer_.Stop();
    const std::string log = peer_.Log();
    EXPECT_NE(log.find("hello ok"), std::string::npos) << log;
    EXPECT_NE(log.find("open-control status 0 device ctl 127.0.0.1:"), std::string::npos) << log;
    EXPECT_NE(log.find("limits reply 93000000"), std::string::npos) << log;
    EXPECT_EQ(log.find("len 65"), std::string::npos) << log;
}

TEST_F(BrontelLink, KeepAliveTicklesGoOutWhileTheOwnerIsAwayAndComeInWhileItWaits) {
    static std::atomic<int> requests{0};
    static BrontelTickleRequest last{};
    requests = 0;
    BrontelTickleProc proc = [](BrontelTickleRequest* r) {
        last = *r;
        ++requests;
    };
    uint32_t procWord = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(proc)), context = 0x1234;
    ASSERT_EQ(Connect("setup"), 0);
    ASSERT_EQ(Call<Status(uint16_t, uint16_t, const void*, const void*)>(4)(kRef, 7, &procWord, &context), 0);
    // The timer runs while the owner is outside the transport: after 10 s it asks for a tickle.
    ASSERT_TRUE(Eventually([] { return requests.load() > 0; }, 30));
    EXPECT_EQ(last.kind, 1u);
    EXPECT_EQ(last.context, 0x1234u);
    EXPECT_EQ(last.refNum, kRef);
    ASSERT_NE(last.routine, nullptr);
    EXPECT_EQ(last.routine(0, last.block), 0);
    std::string reply;
    ASSERT_EQ(Send("TICKLES?"), 0);
    ASSERT_EQ(Receive(&reply), 0);
    EXPECT_EQ(reply, "tickles 1");

    // A tickle from the host while a frame header is awaited restarts the wait.
    ASSERT_EQ(Send("TICKLE-ME"), 0);
    ASSERT_EQ(Receive(&reply), 0);
    EXPECT_EQ(reply, "after-tickle");
    EXPECT_EQ(Disconnect(), 0);
}

TEST_F(BrontelLink, TheOsCancelsAWaitingReceive) {
    ASSERT_EQ(Connect(), 0);
    ASSERT_EQ(Send("SILENT"), 0);
    std::thread canceller([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        gSyncCancelled = true;
    });
    std::string reply;
    EXPECT_EQ(Receive(&reply), trelErrCancelled);
    canceller.join();
    gSyncCancelled = false;
    // The owner's own cancel works the same way, and the link stays up.
    ASSERT_EQ(Call<Status(uint16_t)>(12)(kRef), 0);
    EXPECT_EQ(Receive(&reply), trelErrCancelled);
    ASSERT_EQ(Send("still"), 0);
    ASSERT_EQ(Receive(&reply), 0);
    EXPECT_EQ(reply, "echo:still");
    EXPECT_EQ(Disconnect(), 0);
}

TEST_F(BrontelLink, APeerThatLeavesMidFrameDisconnects) {
    ASSERT_EQ(Connect(), 0);
    ASSERT_EQ(Send("MIDFRAME"), 0);
    std::string reply;
    EXPECT_EQ(Receive(&reply), trelErrDisconnected);
    EXPECT_EQ(Send("more"), trelErrDisconnected);
    EXPECT_EQ(Receive(&reply), trelErrDisconnected);
    EXPECT_EQ(Disconnect(), 0);
}

TEST_F(BrontelLink, AHostileLengthIsDrainedAsFarAsThePeerSendsAndEndsTheLink) {
    ASSERT_EQ(Connect(), 0);
    ASSERT_EQ(Send("HOSTILE"), 0);
    std::string reply;
    EXPECT_EQ(Receive(&reply), trelErrDisconnected);
    EXPECT_EQ(Disconnect(), 0);
}

TEST_F(BrontelLink, APayloadNobodyTakesIsDroppedAndAnswered) {
    ASSERT_EQ(Connect(), 0);
    ASSERT_EQ(Send("BIG"), 0);
    std::string reply;
    // Without an allocator the 3000 bytes are read and dropped, the peer gets the memory-error
    // notice, and the receive goes on to the next frame.
    ASSERT_EQ(Receive(&reply), 0);
    EXPECT_EQ(reply, "after-big");
    ASSERT_EQ(Send("KIND4"), 0);
    EXPECT_EQ(Receive(&reply), trelErrDisconnected);
    EXPECT_EQ(Disconnect(), 0);
    peer_.Stop();
    EXPECT_NE(peer_.Log().find("notice 280700000000"), std::string::npos) << peer_.Log();
}

TEST_F(BrontelLink, TheHostCanEndTheSetup) {
    EXPECT_EQ(Connect("end-setup"), trelErrSetupEnded);
    EXPECT_EQ(Send("x"), trelErrDisconnected);
    peer_.Stop();
    EXPECT_NE(peer_.Log().find("end-setup reply 91000000"), std::string::npos) << peer_.Log();
}

TEST_F(BrontelLink, AnEmptyRequestDuringTheSetupIsAnsweredAsUnknown) {
    ASSERT_EQ(Connect("bad-setup"), 0);
    EXPECT_EQ(Disconnect(), 0);
    peer_.Stop();
    EXPECT_NE(peer_.Log().find("empty reply 8000020000000000"), std::string::npos) << peer_.Log();
}

TEST_F(BrontelLink, WithoutHostNameOrAddressNothingConnects) {
    ASSERT_EQ(Open(), 0);
    BrontelPhase1Args args{FourCC("test"), FourCC("svce"), 0};
    ASSERT_EQ(Call<Status(uint16_t, const BrontelPhase1Args*)>(7)(kRef, &args), 0);
    EXPECT_EQ(Call<Status(uint16_t)>(8)(kRef), trelErrNoHost);
    SetText(kSettingHostName, "!!");
    EXPECT_EQ(Call<Status(uint16_t)>(8)(kRef), trelErrDisconnected);  // the failure undid phase 1
    // Options: 5 is no option; the command wait reads back.
    uint16_t wait = 0;
    EXPECT_EQ(Call<Status(uint16_t, uint16_t, void*, void*)>(5)(kRef, 5, &wait, nullptr), trelErrParam);
    ASSERT_EQ(Call<Status(uint16_t, uint16_t, void*, void*)>(5)(kRef, 4, &wait, nullptr), 0);
    EXPECT_EQ(wait, 60u);
    EXPECT_EQ(Call<uint32_t(uint16_t)>(13)(kRef), 0xFFFFFFFFu);
    EXPECT_EQ(Call<uint32_t(uint16_t)>(14)(kRef), 0x01000000u);
}

// Discovery inside a network namespace of the test's own, with only its loopback up: the
// datagrams, broadcasts included, never leave the process's namespace.
class BrontelDiscovery : public BrontelLink {
protected:
    static bool Isolate() {
        if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0) return false;
        int s = socket(AF_INET, SOCK_DGRAM, 0);
        ifreq ifr{};
        std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
        bool up = s >= 0 && ioctl(s, SIOCGIFFLAGS, &ifr) == 0 && (ifr.ifr_flags |= IFF_UP, ioctl(s, SIOCSIFFLAGS, &ifr) == 0);
        if (s >= 0) close(s);
        return up;
    }
    void SetUp() override {
        static const bool isolated = Isolate();
        if (!isolated) GTEST_SKIP() << "no network namespace of our own (needs root)";
        BrontelLink::SetUp();
    }
    // The requests the discovery peer saw: "address mask" per datagram.
    static std::vector<std::string> Requests(const std::string& log, size_t* longest = nullptr) {
        std::vector<std::string> out;
        std::istringstream in(log);
        for (std::string word, address, mask, name, lenWord; in >> word;) {
            if (word != "request") continue;
            size_t length = 0;
            in >> address >> word >> mask >> word >> name >> lenWord >> length;
            out.push_back(address + " " + mask);
            if (longest && length > *longest) *longest = length;
        }
        return out;
    }
    Peer discovery_;
};

TEST_F(BrontelDiscovery, TheBroadcastOfTheConfiguredMaskFindsTheHost) {
    ASSERT_TRUE(discovery_.Start({"--discovery", "127.0.0.255"}));
    const uint16_t port = FreePort();
    ASSERT_TRUE(peer_.Start({"--port", std::to_string(port)}));
    settings_[kSettingTcpPort] = std::string(reinterpret_cast<const char*>(&port), 2);
    SetText(kSettingHostName, std::string(300, 'd'));
    SetText(kSettingHostAddr, "127.0.0.5");
    SetText(kSettingHostMask, "255.255.255.0");
    ASSERT_EQ(Open(), 0);
    BrontelPhase1Args args{FourCC("test"), FourCC("svce"), 0};
    ASSERT_EQ(Call<Status(uint16_t, const BrontelPhase1Args*)>(7)(kRef, &args), 0);
    // The answer names 127.0.0.1, where the desktop listens.
    EXPECT_EQ(Call<Status(uint16_t)>(8)(kRef), 0);
    EXPECT_EQ(settings_[kSettingFoundAddr], std::string("127.0.0.1\0", 10));
    EXPECT_EQ(settings_[kSettingFoundMask], std::string("255.0.0.0\0", 10));
    EXPECT_EQ(Disconnect(), 0);
    discovery_.Stop();
    size_t longest = 0;
    const auto requests = Requests(discovery_.Log(), &longest);
    const std::vector<std::string> expected = {"127.0.0.5 ffffff00",   "127.0.0.5 ffffff00",   "127.0.0.5 ffffff00",
                                               "127.0.0.255 ffffff00", "127.0.0.255 ffffff00", "127.0.0.255 ffffff00"};
    EXPECT_EQ(requests, expected) << discovery_.Log();
    EXPECT_EQ(longest, 268u);  // the name cut to 255 bytes and its NUL
}

TEST_F(BrontelDiscovery, WithoutAMaskTheHostPartsWidenFromTheLastOctet) {
    ASSERT_TRUE(discovery_.Start({"--discovery", "127.0.0.15"}));
    SetText(kSettingHostName, "desktop.invalid");
    SetText(kSettingHostAddr, "127.0.0.5");
    ASSERT_EQ(Open(), 0);
    BrontelPhase1Args args{FourCC("test"), FourCC("svce"), 0};
    ASSERT_EQ(Call<Status(uint16_t, const BrontelPhase1Args*)>(7)(kRef, &args), 0);
    // Found at the fifth host part; nobody listens for the link there, so the connect fails.
    EXPECT_EQ(Call<Status(uint16_t)>(8)(kRef), trelErrDisconnected);
    EXPECT_EQ(settings_[kSettingFoundAddr], std::string("127.0.0.1\0", 10));
    discovery_.Stop();
    std::vector<std::string> distinct;
    for (const auto& r : Requests(discovery_.Log()))
        if (distinct.empty() || distinct.back() != r) distinct.push_back(r);
    const std::vector<std::string> expected = {"127.0.0.5 00000000",  "127.0.0.255 ffffff00", "127.0.0.127 ffffff80",
                                               "127.0.0.63 ffffffc0", "127.0.0.31 ffffffe0",  "127.0.0.15 fffffff0"};
    EXPECT_EQ(distinct, expected) << discovery_.Log();
}

}  // namespace
