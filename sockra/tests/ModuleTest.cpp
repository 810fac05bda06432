// libSockra.so loaded by Kez's module loader and bound to Kez's export table, against the stand-in
// OS: install, open and close, settings that survive them, the socket monitor, and select woken by
// an event that Kez posts.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "common/BigEndian.h"
#include "common/SockraLib.h"
#include "common/module/SystemCalls.h"
#include "kez/src/RAL.h"
#include "sockra/Sockra.h"
#include "sockra/SockraScript.h"
#include "sockra/tests/ModemPty.h"
#include "standin/os/SerialPorts.h"
#include "kez/tests/KezTestSupport.h"

extern "C" uint32_t PrvRALSetExePath(const char* path);
extern "C" void PrvRALPatchHandles(void* kezHandle, void* systemHandle);

namespace {

using namespace vantor;
using namespace sockra;
using kez::testing::Eventually;

class SockraModule : public kez::testing::KezKernelTest {
protected:
    void SetUp() override {
        KezKernelTest::SetUp();
        PrvRALSetExePath(VANTOR_BIN_DIR "/");
        PrvRALPatchHandles(nullptr, dlopen(nullptr, RTLD_NOW));
        kez::PrvRALInitialize();
        // Sockra's import of Kez binds to this Kez.
        os::RegisterTable(kKezType, kKezCreator, kez::ExportTable(), kKezSlots);
    }
    void TearDown() override {
        if (loaded_) {
            EXPECT_EQ(KEZ_CALL(RALUnloadModule, refNum_, nullptr, nullptr), 0);
        }
        kez::PrvRALDispose();
        os::UnregisterModule(kKezType, kKezCreator);
        KezKernelTest::TearDown();
    }

    // Loads the module, asking for its entry address so that its install runs (0x7FFE).
    void Load(uint32_t systemVersion = 0x05000000) {
        if (systemVersion) sys::FtrSet(FourCC("psys"), 1, systemVersion);
        RALLoadDescriptor d{};
        d.words[3] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kName));
        uint32_t entry = 0;
        ASSERT_EQ(KEZ_CALL(RALLoadModule, &d, 0, &entry, &refNum_), 0);
        loaded_ = true;
        ASSERT_EQ(KEZ_CALL(RALGetEntryAddresses, refNum_, 0, kSockraSlotCount - 1, table_), 0);
    }
    // Export slot `slot` of the loaded module with the signature Sig.
    template <typename Sig>
    Sig* Slot(uint16_t slot) {
        return reinterpret_cast<Sig*>(static_cast<uintptr_t>(table_[slot]));
    }
    Status Open(uint16_t* ifErrs) { return Slot<Status(uint16_t*)>(kSlotOpen)(ifErrs); }
    Status Close() { return Slot<Status(uint16_t)>(kSlotClose)(0); }
    uint16_t OpenCount() {
        uint16_t n = 0xFFFF;
        Slot<Status(uint16_t*)>(kSlotOpenCount)(&n);
        return n;
    }

    static constexpr char kName[] = "libSockra.dll";  // opened as libSockra.so
    uint32_t refNum_ = 0;
    bool loaded_ = false;
    uint32_t table_[kSockraSlotCount] = {};
};

TEST_F(SockraModule, LoadsAndInstalls) {
    Load();
    uint32_t info[4] = {};
    RALLoadDescriptor d{};
    d.words[3] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kName));
    ASSERT_EQ(KEZ_CALL(RALGetModuleInfo, &d, info), 0);
    EXPECT_EQ(info[0], refNum_);
    EXPECT_EQ(info[2], 1u);   // version
    EXPECT_EQ(info[3], 69u);  // export slots
    for (uint32_t entry : table_) EXPECT_NE(entry, 0u);
    uint32_t version = 0;
    EXPECT_EQ(sys::FtrGet(FourCC("sokr"), 0, &version), 0);
    EXPECT_EQ(version, 0x03200000u);
    SysDmSearchState state{};
    uint32_t db = 0;
    EXPECT_EQ(sys::DmFindNewestDatabase(1, FourCC("rsrc"), FourCC("sokr"), 1, &state, &db), 0);
    sys::DmCloseDatabase(db);
}

TEST_F(SockraModule, InstallOnATooOldSystemCreatesNothing) {
    Load(0x01000000);
    uint32_t version = 0;
    EXPECT_NE(sys::FtrGet(FourCC("sokr"), 0, &version), 0);
    uint16_t ifErrs = 0;
    EXPECT_EQ(Open(&ifErrs), 0x1202);  // not installed
}

TEST_F(SockraModule, OpenCountsUsesAndCloseTearsDown) {
    Load();
    // What Kez answers for the host's network connection becomes the interface error.
    auto netConnect = reinterpret_cast<uint16_t (*)()>(kez::ExportTable()[kezslot::PALNetConnect]);
    uint16_t ifErrs = 0xAAAA;
    ASSERT_EQ(Open(&ifErrs), 0);
    EXPECT_EQ(ifErrs, netConnect());
    EXPECT_EQ(OpenCount(), 1);
    EXPECT_GE(kez::gKez.wakeupPipe[0], 0);  // handed to Kez
    EXPECT_EQ(Open(&ifErrs), 0x1201);
    EXPECT_EQ(OpenCount(), 2);
    // Another configuration while open: _RAMCTP (index 5) is not the active one.
    EXPECT_EQ(Slot<Status(uint16_t, uint32_t, uint16_t*)>(kSlotOpenConfig)(5, 0, &ifErrs), 0x127A);
    EXPECT_EQ(OpenCount(), 2);
    EXPECT_EQ(Close(), 0x1203);
    EXPECT_EQ(OpenCount(), 1);
    EXPECT_EQ(Close(), 0);
    EXPECT_EQ(OpenCount(), 0);
    EXPECT_EQ(kez::gKez.wakeupPipe[0], -1);  // cleared in Kez
    EXPECT_EQ(Close(), 0x1202);
    // A command block posted on an open library: none exist on this host.
    ASSERT_EQ(Open(&ifErrs), 0);
    EXPECT_EQ(Slot<Status(uint32_t, uint16_t, uint32_t)>(kSlotIFMediaUp)(1, 2, 3), 0x1215);
    EXPECT_EQ(os::ErrorReports().back().message, "Out of Cmd Blocks");
    EXPECT_EQ(Close(), 0);
}

// Through the loaded module: the library opens with its interface up (Kez reports the host as
// connected), and a TCP exchange with a loopback echo peer goes through its export slots.
TEST_F(SockraModule, TcpExchangeThroughTheModuleWithTheInterfaceUp) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof any;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&any), &len), 0);
    std::thread echo([listener] {
        int c = accept(listener, nullptr, nullptr);
        char buf[256];
        for (ssize_t n; c >= 0 && (n = recv(c, buf, sizeof buf, 0)) > 0;) send(c, buf, n, MSG_NOSIGNAL);
        if (c >= 0) close(c);
    });

    Load();
    uint16_t ifErrs = 0xAAAA;
    ASSERT_EQ(Open(&ifErrs), 0);
    EXPECT_EQ(ifErrs, 0);  // interface up
    Status err = 0xAAAA;
    NetSocketRef s = Slot<decltype(SockraSocketOpen)>(kSlotSocketOpen)(2, 1, 0, -1, &err);
    ASSERT_GT(s, 0) << std::hex << err;
    // The library's INET address: family, then port and address in network order.
    uint8_t peer[16] = {};
    peer[0] = 2;
    memcpy(peer + 2, &any.sin_port, 2);
    memcpy(peer + 4, &any.sin_addr.s_addr, 4);
    auto* peerAddr = reinterpret_cast<const NetSocketAddrType*>(peer);
    ASSERT_EQ(Slot<decltype(SockraSocketConnect)>(kSlotSocketConnect)(s, peerAddr, 8, -1, &err), 0)
        << std::hex << err;
    const char msg[] = "through the module";
    EXPECT_EQ(Slot<decltype(SockraSend)>(kSlotSend)(s, msg, sizeof msg, 0, nullptr, 0, -1, &err),
              static_cast<int16_t>(sizeof msg));
    char buf[64] = {};
    int got = 0;
    while (got < static_cast<int>(sizeof msg)) {
        int16_t n = Slot<decltype(SockraReceive)>(kSlotReceive)(s, buf + got, sizeof buf - got, 0, nullptr,
                                                               nullptr, 2000, &err);
        ASSERT_GT(n, 0) << std::hex << err;
        got += n;
    }
    EXPECT_STREQ(buf, msg);
    EXPECT_EQ(Slot<decltype(SockraSocketClose)>(kSlotSocketClose)(s, -1, &err), 0);
    echo.join();
    close(listener);
    EXPECT_EQ(Close(), 0);
}

TEST_F(SockraModule, SettingsSurviveCloseAndOpen) {
    Load();
    uint16_t ifErrs;
    ASSERT_EQ(Open(&ifErrs), 0);
    auto set = Slot<Status(uint16_t, const void*, uint16_t)>(kSlotSettingSet);
    auto get = Slot<Status(uint16_t, void*, uint16_t*)>(kSlotSettingGet);
    uint32_t v = 1234;
    ASSERT_EQ(set(9, &v, 4), 0);
    ASSERT_EQ(Close(), 0);
    ASSERT_EQ(Open(&ifErrs), 0);
    v = 0;
    uint16_t len = 4;
    ASSERT_EQ(get(9, &v, &len), 0);
    EXPECT_EQ(v, 1234u);
    // Opening the .Default alias leaves the active configuration as it is.
    uint16_t count = 16;
    char names[16][32];
    ASSERT_EQ(Slot<Status(char(*)[32], uint16_t*)>(kSlotConfigList)(names, &count), 0);
    EXPECT_EQ(count, 6);
    EXPECT_EQ(Close(), 0);
}

// The host interface's driver ('neti'/'ppp_', libSockraIF.so) is found through its database and
// loaded through the OS's code entries: it keeps the settings the library hands it. Settings
// 0x1004 and 0x1005 name the interfaces the open found: one here.
TEST_F(SockraModule, InterfaceSettingsGoToTheInterfacesDriver) {
    Load();
    uint16_t ifErrs;
    ASSERT_EQ(Open(&ifErrs), 0);
    auto ifSet = Slot<Status(uint32_t, uint16_t, uint16_t, const void*, uint16_t)>(kSlotIFSettingSet);
    auto ifGet = Slot<Status(uint32_t, uint16_t, uint16_t, void*, uint16_t*)>(kSlotIFSettingGet);
    const uint32_t ppp = FourCC("ppp_");
    char value[16] = {};
    uint16_t len = sizeof value;

    // No driver installed: no such interface, reported.
    EXPECT_EQ(ifGet(ppp, 1, 6, value, &len), 0x121C);
    EXPECT_EQ(ifSet(ppp, 1, 6, "alice", 5), 0x121C);
    EXPECT_EQ(os::ErrorReports().back().message, "Error in IFSettingSet");
    ASSERT_EQ(Close(), 0);

    os::AddDatabase("libSockraIF.dll", FourCC("neti"), ppp, 1);
    ASSERT_EQ(Open(&ifErrs), 0);
    const size_t reports = os::ErrorReports().size();
    ASSERT_EQ(ifSet(ppp, 1, 6, "alice", 5), 0);
    struct Case {
        uint16_t setting;
        uint16_t room;
        Status status;
        uint16_t len;
        const char* value;
    };
    const Case cases[] = {
        {6, 16, 0, 5, "alice"},
        {6, 3, 0x120D, 5, ""},       // too little room: the size it needs
        {14, 16, 0x121A, 16, ""},    // a login script never stored
        {1, 16, 0, 1, "\x01"},       // the library answers the up flag itself
    };
    for (const Case& c : cases) {
        std::memset(value, 0, sizeof value);
        len = c.room;
        EXPECT_EQ(ifGet(ppp, 1, c.setting, value, &len), c.status) << c.setting;
        EXPECT_EQ(len, c.len) << c.setting;
        EXPECT_STREQ(value, c.value) << c.setting;
    }
    EXPECT_EQ(os::ErrorReports().size(), reports);  // none of these is a failure
    // A size of 0 forgets the setting.
    ASSERT_EQ(ifSet(ppp, 1, 6, "", 0), 0);
    len = sizeof value;
    EXPECT_EQ(ifGet(ppp, 1, 6, value, &len), 0x121A);

    auto get = Slot<Status(uint16_t, void*, uint16_t*)>(kSlotSettingGet);
    uint32_t first = 0, second = 1;
    len = 4;
    ASSERT_EQ(get(0x1004, &first, &len), 0);
    len = 4;
    ASSERT_EQ(get(0x1005, &second, &len), 0);
    EXPECT_EQ(first, ppp);
    EXPECT_EQ(second, 0u);
    EXPECT_EQ(Close(), 0);
}

Status LoginStatus(void*, uint32_t, uint16_t, const char*) { return 0; }
uint8_t LoginCancel(void*) { return 0; }
Status LoginSubst(void*, const char*, char*, const char*) { return netErrPrefNotFound; }

// A dial-up login through slot 47: the script, the user id, the password and the time-out are the
// interface's settings, kept by its driver; a modem answers on the far side of a pty pair.
TEST_F(SockraModule, ALoginScriptRunsThroughItsExportOverAPtyPair) {
    os::AddDatabase("libSockraIF.dll", FourCC("neti"), FourCC("ppp_"), 1);
    Load();
    uint16_t ifErrs;
    ASSERT_EQ(Open(&ifErrs), 0);
    auto ifSet = Slot<Status(uint32_t, uint16_t, uint16_t, const void*, uint16_t)>(kSlotIFSettingSet);
    const uint32_t ppp = FourCC("ppp_");
    using namespace std::string_literals;
    const std::string script = "s AT<cr>\0w OK\0s ATDT555<cr>\0w CONNECT\0w ogin:\0s $USERID<cr>\0w word:\0"
                               "s $PASSWORD<cr>\0b 7\0p e\0g \0\0"s;
    ASSERT_TRUE(sockra::test::StoreLogin(ifSet, script));

    constexpr uint16_t kPort = 4;
    sockra::test::ModemPty modem(kPort, sockra::test::LoginDialogue());
    ASSERT_TRUE(modem.Ok());
    auto execute = Slot<decltype(SockraScriptExecute)>(kSlotScriptExecute);
    Status err = execute(ppp, 1, kPort, this, LoginStatus, LoginCancel, LoginSubst);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(modem.Heard(), "AT\rATDT555\rbob\rs3cret\r");
    EXPECT_EQ(os::SerialPortFlags(kPort), 0x80u | 0x06u);  // 7 bits, even parity
    EXPECT_EQ(Close(), 0);
}

TEST_F(SockraModule, BadReferencesAreRefused) {
    Load();
    uint16_t ifErrs;
    ASSERT_EQ(Open(&ifErrs), 0);
    auto open = Slot<NetSocketRef(uint8_t, uint8_t, int16_t, int32_t, Status*)>(kSlotSocketOpen);
    auto close = Slot<int16_t(NetSocketRef, int32_t, Status*)>(kSlotSocketClose);
    Status err = 0;
    NetSocketRef s = open(2, 2, 0, -1, &err);
    ASSERT_EQ(s, 1);
    ASSERT_EQ(close(s, -1, &err), 0);
    for (NetSocketRef ref : {0, -1, 32, 1}) {
        err = 0;
        EXPECT_EQ(close(ref, -1, &err), -1) << ref;
        EXPECT_EQ(err, 0x1204) << ref;
    }
    EXPECT_EQ(Close(), 0);
}

// Events that the OS's handler queued: what slot 519 answers.
std::atomic<int> gQueued{0};
uint16_t QueueKey(void*) {
    ++gQueued;
    return 0;
}

TEST_F(SockraModule, SelectWakesForAnEventThatKezPosts) {
    Load();
    uint16_t ifErrs;
    ASSERT_EQ(Open(&ifErrs), 0);
    gQueued = 0;
    ASSERT_EQ(KEZ_CALL(HALEventSetHandler, 1, &QueueKey, nullptr), 0);
    os::OnCall(os::Library::System, sysslot::EvtEventAvail, [](const os::SlotCall&) { return gQueued > 0; });
    std::thread poster([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        KezKeyEventRecord key{'a', 0, 0, 0};
        KEZ_CALL(HALEventPost, 1, &key);
    });
    auto select = Slot<int16_t(uint16_t, uint32_t*, uint32_t*, uint32_t*, int32_t, Status*)>(kSlotSelect);
    uint32_t rd = 1;
    Status err = 0xAAAA;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(select(0, &rd, nullptr, nullptr, 60000, &err), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(30));  // not the time-out
    poster.join();
    EXPECT_EQ(rd, 1u);
    EXPECT_EQ(err, 0);
    KEZ_CALL(HALEventSetHandler, 1, nullptr, nullptr);
    EXPECT_EQ(Close(), 0);
}

// Broadcasts that the monitor sent: notification type and the details in device byte order.
struct Broadcast {
    uint32_t type, broadcaster;
    uint16_t ref;
    uint32_t kind;
};
std::mutex gBroadcastLock;
std::vector<Broadcast> gBroadcasts;

TEST_F(SockraModule, MonitorNotifiesOncePerArm) {
    Load();
    uint16_t ifErrs;
    ASSERT_EQ(Open(&ifErrs), 0);
    gBroadcasts.clear();
    os::OnCall(os::Library::System, sysslot::SysNotifyBroadcastDeferred, [](const os::SlotCall& call) {
        const auto* p = reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(call.args[0]));
        const auto* details = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(p[2]));
        std::lock_guard lock(gBroadcastLock);
        gBroadcasts.push_back({p[0], p[1], ReadBE16(details), ReadBE32(details + 2)});
        return 0u;
    });
    auto count = [] {
        std::lock_guard lock(gBroadcastLock);
        return gBroadcasts.size();
    };
    auto open = Slot<NetSocketRef(uint8_t, uint8_t, int16_t, int32_t, Status*)>(kSlotSocketOpen);
    auto setOpt = Slot<int16_t(NetSocketRef, uint16_t, uint16_t, void*, uint16_t, int32_t, Status*)>(
        kSlotSocketOptionSet);
    Status err;
    NetSocketRef s = open(2, 2, 0, -1, &err);
    ASSERT_GE(s, 1);
    // A datagram sent from the socket binds it (binding through the library needs the interface up).
    int peer = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in peerAddr{};
    peerAddr.sin_family = AF_INET;
    peerAddr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(peer, reinterpret_cast<sockaddr*>(&peerAddr), sizeof peerAddr), 0);
    socklen_t len = sizeof peerAddr;
    getsockname(peer, reinterpret_cast<sockaddr*>(&peerAddr), &len);
    NetSocketAddrINType dest{2, peerAddr.sin_port, peerAddr.sin_addr.s_addr};
    auto sendTo = Slot<int16_t(NetSocketRef, const void*, uint16_t, uint16_t, const NetSocketAddrINType*, uint16_t,
                               int32_t, Status*)>(kSlotSend);
    ASSERT_EQ(sendTo(s, "x", 1, 0, &dest, 8, -1, &err), 1);
    union {
        NetSocketAddrType raw;
        NetSocketAddrINType in;
    } local{};
    int16_t localLen = 16;
    ASSERT_EQ(Slot<int16_t(NetSocketRef, NetSocketAddrType*, int16_t*, NetSocketAddrType*, int16_t*, int32_t,
                           Status*)>(kSlotSocketAddr)(s, &local.raw, &localLen, nullptr, nullptr, -1, &err),
              0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = local.in.port;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto send = [&] { sendto(peer, "x", 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to); };

    NetNotifyRequestType request{2, 1, FourCC("data")};
    NetNotifyRequestType* requestP = &request;
    ASSERT_EQ(setOpt(s, 0xFFFF, 0x2003, &requestP, 4, -1, &err), 0);  // starts the monitor, unarmed
    send();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(count(), 0u);
    ASSERT_EQ(setOpt(s, 0xFFFF, 0x2003, &requestP, 4, -1, &err), 0);  // arms it
    ASSERT_TRUE(Eventually([&] { return count() == 1; }));
    send();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(count(), 1u);  // one broadcast per arm
    ASSERT_EQ(setOpt(s, 0xFFFF, 0x2003, &requestP, 4, -1, &err), 0);
    ASSERT_TRUE(Eventually([&] { return count() == 2; }));
    {
        std::lock_guard lock(gBroadcastLock);
        EXPECT_EQ(gBroadcasts[0].type, FourCC("data"));
        EXPECT_EQ(gBroadcasts[0].broadcaster, FourCC("sokr"));
        EXPECT_EQ(gBroadcasts[0].ref, static_cast<uint16_t>(s));
        EXPECT_EQ(gBroadcasts[0].kind, 2u);
    }
    // A null request stops the monitor; closing the socket and the library stops the rest.
    NetNotifyRequestType* none = nullptr;
    EXPECT_EQ(setOpt(s, 0xFFFF, 0x2003, &none, 4, -1, &err), 0);
    ASSERT_EQ(setOpt(s, 0xFFFF, 0x2003, &requestP, 4, -1, &err), 0);
    close(peer);
    EXPECT_EQ(Close(), 0);
}

}  // namespace
