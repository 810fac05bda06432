// 68K programs assembled by the m68k cross assembler and run by Morvel's interpreter call the real
// libSockra.so, loaded by Kez's module loader when the program finds "Sockra.lib": they resolve
// "localhost", connect to a server the test runs on loopback, exchange data, wait with select and
// close; a second program sees a refused connection as the library's error.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/BigEndian.h"
#include "common/SockraLib.h"
#include "common/module/SystemCalls.h"
#include "kez/src/RAL.h"
#include "kez/tests/KezTestSupport.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelExports.h"
#include "morvel/tests/M68kTestKit.h"
#include "morvel/traps/Libraries.h"
#include "morvel/traps/TrapTable.h"
#include "morvel/launch/AppLaunch.h"
#include "sockra/Sockra.h"
#include "sockra/SockraScript.h"
#include "sockra/tests/ModemPty.h"
#include "standin/os/StandinOs.h"

extern "C" uint32_t PrvRALSetExePath(const char* path);
extern "C" void PrvRALPatchHandles(void* kezHandle, void* systemHandle);

namespace {

using namespace vantor;

class SockraGlue : public kez::testing::KezKernelTest {
protected:
    void SetUp() override {
        KezKernelTest::SetUp();
        PrvRALSetExePath(VANTOR_BIN_DIR "/");
        PrvRALPatchHandles(nullptr, dlopen(nullptr, RTLD_NOW));
        kez::PrvRALInitialize();
        os::RegisterTable(kKezType, kKezCreator, kez::ExportTable(), kKezSlots);
        os::RegisterTable(kA68kType, kA68kCreator, morvel::MorvelExportTable(), kA68kSlots);
        vantor::sys::FtrSet(FourCC("psys"), 1, 0x05000000);
        ASSERT_EQ(morvel::TrapTableCreate(&ctx_.state), 0);
        // The library's module database: its name is the module's file name for the loader.
        os::AddDatabase("libSockra.dll", FourCC("libr"), FourCC("sokr"), 1);
    }
    void TearDown() override {
        uint16_t ref = 0;
        if (morvel::LibFind(&ctx_.state, "Sockra.lib", &ref) == 0) {
            EXPECT_EQ(morvel::LibRemove(&ctx_.state, ref), 0);
        }
        morvel::LibTableFree(&ctx_.state);
        kez::PrvRALDispose();
        os::UnregisterModule(kA68kType, kA68kCreator);
        os::UnregisterModule(kKezType, kKezCreator);
        KezKernelTest::TearDown();
    }
    // Runs the program; its label `data` names 1024 zeroed bytes after the code, where `port`
    // is stored first (big-endian).
    void Run(const std::string& source, uint16_t port, uint16_t ref = 0) {
        code_ = morvel::test::Assemble(source + "\n        .even\ndata:\n");
        data_ = code_.size();
        code_.resize(code_.size() + 1024, 0);
        WriteBE16(Data(), port);
        WriteBE16(Data() + 2, ref);
        ASSERT_EQ(morvel::Call68KCode(&ctx_.state, morvel::test::Addr(code_.data()), 0), 0);
    }
    uint8_t* Data() { return code_.data() + data_; }

    morvel::test::TestContext ctx_;
    std::vector<uint8_t> code_;
    size_t data_ = 0;
};

// Data layout: 0 port, 2 library ref, 4 error, 6 interface errors, 8 socket, 12 read mask,
// 16 socket address (16), 32 receive buffer (64), 96 host information buffer (568).
// D6 holds the step, D5 the status of a failed step.
const char kFindAndOpen[] = R"(
        lea     data(%pc),%a3
        moveq   #1,%d6
        pea     2(%a3)
        pea     libname(%pc)
        trap    #15
        .short  0xA0BA                  | SysLibFind
        addq.l  #8,%sp
        tst.w   %d0
        bne     fail
        move.w  2(%a3),%d7

        moveq   #2,%d6
        pea     6(%a3)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA801                  | SockraOpen
        addq.l  #6,%sp
        tst.w   %d0
        bne     fail

        moveq   #3,%d6
        pea     4(%a3)
        move.l  #300,-(%sp)
        pea     96(%a3)
        pea     hostname(%pc)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA81B                  | SockraGetHostByName
        lea     18(%sp),%sp
        move.w  4(%a3),%d0
        cmpa.l  #0,%a0
        beq     fail

        moveq   #4,%d6
        pea     4(%a3)
        move.l  #300,-(%sp)
        move.w  #0,-(%sp)               | protocol
        move.b  #1,-(%sp)               | type: stream (a byte argument, in its word's first byte)
        move.b  #2,-(%sp)               | domain: INET
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA807                  | SockraSocketOpen: INET, stream
        lea     16(%sp),%sp
        tst.w   %d0
        bmi     failerr
        move.w  %d0,8(%a3)

        moveq   #5,%d6
        move.w  #2,16(%a3)              | family INET
        move.w  0(%a3),18(%a3)          | port, network order
        movea.l 96+12(%a3),%a0          | the host entry's address list
        movea.l (%a0),%a0
        move.l  (%a0),20(%a3)           | its first address
        pea     4(%a3)
        move.l  #300,-(%sp)
        move.w  #8,-(%sp)
        pea     16(%a3)
        move.w  8(%a3),-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA80C                  | SockraSocketConnect
        lea     18(%sp),%sp
        tst.w   %d0
        bmi     failerr
)";

const char kExchange[] = R"(
        moveq   #6,%d6
        pea     4(%a3)
        move.l  #300,-(%sp)
        move.w  #0,-(%sp)
        clr.l   -(%sp)
        move.w  #0,-(%sp)
        move.w  #12,-(%sp)
        pea     message(%pc)
        move.w  8(%a3),-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA811                  | SockraSend
        lea     26(%sp),%sp
        cmp.w   #12,%d0
        bne     failerr

        moveq   #7,%d6
        moveq   #0,%d0
        move.w  8(%a3),%d1
        bset    %d1,%d0
        move.l  %d0,12(%a3)
        pea     4(%a3)
        move.l  #500,-(%sp)             | 5 seconds
        clr.l   -(%sp)
        clr.l   -(%sp)
        pea     12(%a3)
        move.w  8(%a3),%d1
        addq.w  #1,%d1
        move.w  %d1,-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA815                  | SockraSelect, read mask
        lea     24(%sp),%sp
        cmp.w   #1,%d0
        bne     failerr

        moveq   #8,%d6
        pea     4(%a3)
        move.l  #300,-(%sp)
        clr.l   -(%sp)
        clr.l   -(%sp)
        move.w  #0,-(%sp)
        move.w  #64,-(%sp)
        pea     32(%a3)
        move.w  8(%a3),-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA813                  | SockraReceive
        lea     28(%sp),%sp
        tst.w   %d0
        ble     failerr

        moveq   #9,%d6
        pea     4(%a3)
        move.l  #300,-(%sp)
        move.w  8(%a3),-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA808                  | SockraSocketClose
        lea     12(%sp),%sp
        tst.w   %d0
        bne     failerr

        moveq   #10,%d6
        move.w  #1,-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA802                  | SockraClose
        addq.l  #4,%sp
        moveq   #0,%d0
        bra     fail
)";

const char kEnd[] = R"(
failerr: move.w 4(%a3),%d0
fail:   move.w  %d0,%d5
        rts
libname: .asciz "Sockra.lib"
hostname: .asciz "localhost"
message: .ascii "hello, 68K!\n"
)";

TEST_F(SockraGlue, AProgramResolvesConnectsExchangesWaitsAndCloses) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof any;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&any), &len), 0);
    std::string received;
    std::thread server([listener, &received] {
        int c = accept(listener, nullptr, nullptr);
        timeval limit{10, 0};
        if (c >= 0) setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        char buf[64];
        ssize_t n = c >= 0 ? recv(c, buf, sizeof buf, 0) : -1;
        if (n > 0) {
            received.assign(buf, static_cast<size_t>(n));
            send(c, "ack from host", 13, MSG_NOSIGNAL);
        }
        if (c >= 0) {
            char rest;
            recv(c, &rest, 1, 0);  // until the program closes
            close(c);
        }
    });
    Run(std::string(kFindAndOpen) + kExchange + kEnd, ntohs(any.sin_port));
    shutdown(listener, SHUT_RDWR);  // a program that never connected leaves the server waiting
    server.join();
    close(listener);
    EXPECT_EQ(ctx_.state.D[5] & 0xFFFF, 0u) << "step " << ctx_.state.D[6] << std::hex << " error "
                                            << ReadBE16(Data() + 4);
    EXPECT_EQ(ctx_.state.D[6], 10u);
    EXPECT_EQ(received, "hello, 68K!\n");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Data() + 32)), "ack from host");
    // The host entry as the 68K program sees it: big-endian pointers into its own buffer.
    const uint32_t buffer = morvel::test::Addr(Data() + 96);
    EXPECT_EQ(ReadBE32(Data() + 96), buffer + 16);
    EXPECT_STREQ(reinterpret_cast<const char*>(Data() + 96 + 16), "localhost");
    EXPECT_EQ(ReadBE16(Data() + 96 + 10), 4u);  // address length
}

TEST_F(SockraGlue, ARefusedConnectionReachesTheProgramAsTheLibrarysError) {
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof any;
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&any), &len), 0);
    close(probe);  // nobody listens on that port now
    Run(std::string(kFindAndOpen) + "        moveq #0,%d0\n        moveq #99,%d6\n        bra fail\n" + kEnd,
        ntohs(any.sin_port));
    EXPECT_EQ(ctx_.state.D[6], 5u);
    EXPECT_EQ(ctx_.state.D[5] & 0xFFFF, sockra::netErrSocketClosedByRemote) << std::hex << ctx_.state.D[5];
    EXPECT_EQ(ReadBE16(Data() + 4), sockra::netErrSocketClosedByRemote);
}

TEST_F(SockraGlue, TheEntryNamesTheLibraryAndRefusesTrapsItDoesNotServe) {
    uint16_t ref = 0;
    ASSERT_EQ(morvel::LibFind(&ctx_.state, "Sockra.lib", &ref), 0);
    A68kLibTableEntry* e = morvel::LibTableEntry(&ctx_.state, ref);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(e->name)), "Sockra.lib");
    auto entry = reinterpret_cast<A68kLibEntry>(static_cast<uintptr_t>(e->dispatch));
    for (uint16_t trap : {0xA816, 0xA819, 0xA825, 0xA826, 0xA82C, 0xA82D, 0xA844})
        EXPECT_EQ(entry(&ctx_.state, e, trap), 0x0505) << std::hex << trap;
    EXPECT_EQ(entry(&ctx_.state, e, 1), 0);
}

// The address traps: the 68K program holds an address as a big-endian number.
TEST_F(SockraGlue, AddressTrapsTakeAndGiveTheAddressAsA68KNumber) {
    uint16_t ref = 0;
    ASSERT_EQ(morvel::LibFind(&ctx_.state, "Sockra.lib", &ref), 0);
    Run(R"(
        lea     data(%pc),%a3
        pea     64(%a3)
        move.l  #0xC0A80001,-(%sp)
        move.w  2(%a3),-(%sp)
        trap    #15
        .short  0xA805                  | SockraAddrINToA
        lea     10(%sp),%sp
        move.l  %a0,8(%a3)
        pea     dotted(%pc)
        move.w  2(%a3),-(%sp)
        trap    #15
        .short  0xA806                  | SockraAddrAToIN
        addq.l  #6,%sp
        move.l  %d0,12(%a3)
        rts
dotted: .asciz  "10.1.2.3"
        .even
)",
        0, ref);
    EXPECT_STREQ(reinterpret_cast<const char*>(Data() + 64), "192.168.0.1");
    EXPECT_EQ(ReadBE32(Data() + 8), morvel::test::Addr(Data() + 64));
    EXPECT_EQ(ReadBE32(Data() + 12), 0x0A010203u);
}

}  // namespace

namespace {

// The trace trap formats with a bound: a text longer than 62 characters is reported, not written
// past the buffer.
TEST_F(SockraGlue, ATraceTooLongIsReportedAndCut) {
    uint16_t ref = 0;
    ASSERT_EQ(morvel::LibFind(&ctx_.state, "Sockra.lib", &ref), 0);
    Run(R"(
        lea     data(%pc),%a3
        pea     format(%pc)
        move.w  2(%a3),-(%sp)
        trap    #15
        .short  0xA82F                  | trace with format
        addq.l  #6,%sp
        rts
format: .asciz  "a trace line of seventy characters, which is more than sixty-two...."
        .even
)",
        0, ref);
    EXPECT_EQ(ctx_.state.D[0] & 0xFFFF, 0u);
    bool reported = false;
    for (const auto& r : os::ErrorReports()) reported |= r.message == "trace msg too big";
    EXPECT_TRUE(reported);
}

// A format with more conversions than a few: its 68K arguments are all converted (the text of
// eight ten-digit numbers is too long for a trace line, which the report shows), and one with
// more than the conversion block holds formats with zeros instead of reading past it.
TEST_F(SockraGlue, ATraceFormatsEveryArgumentItsFormatTakes) {
    uint16_t ref = 0;
    ASSERT_EQ(morvel::LibFind(&ctx_.state, "Sockra.lib", &ref), 0);
    Run(R"(
        lea     data(%pc),%a3
        moveq   #7,%d1
push:   move.l  #1000000000,-(%sp)
        dbra    %d1,push
        pea     format(%pc)
        move.w  2(%a3),-(%sp)
        trap    #15
        .short  0xA82F                  | trace with format
        lea     38(%sp),%sp
        move.w  %d0,4(%a3)
        pea     many(%pc)
        move.w  2(%a3),-(%sp)
        trap    #15
        .short  0xA82F                  | more conversions than the block holds
        addq.l  #6,%sp
        rts
format: .asciz  "%ld %ld %ld %ld %ld %ld %ld %ld"
many:   .asciz  "%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d"
        .even
)",
        0, ref);
    EXPECT_EQ(ReadBE16(Data() + 4), 0u);
    EXPECT_EQ(ctx_.state.D[0] & 0xFFFF, 0u);
    int reports = 0;
    for (const auto& r : os::ErrorReports()) reports += r.message == "trace msg too big";
    EXPECT_EQ(reports, 2);  // the eight numbers; sixty-six zeros
}

// A script plug-in in 68K code: with the argument "u" it asks the run for the user id, with "p"
// for the password, through the selector its parameter block holds (a thunk of the 68K
// environment), and sends the answer ended by a CR; after the password it receives the next four
// bytes of the line: the blank left after the prompt "word:", then CR, LF, "W" (else it answers
// 0x1220). With "x" it asks for the user id with a handle that is no run's and answers what it gets.
const char kLoginPlugin[] = R"(
        link.w  %a6,#-84                | -64 buffer, -66 size, -68 time-out, -72 handle, -76 selector
        pea     -84(%a6)
        pea     -80(%a6)
        trap    #15
        .short  0xA33C                  | SysGetAppInfo: A0 = this launch's block
        addq.l  #8,%sp
        movea.l 2(%a0),%a2              | the parameter block
        move.l  80(%a2),-72(%a6)
        move.l  84(%a2),-76(%a6)
        cmp.b   #'x',(%a2)              | "x": a handle of no run
        bne.s   2f
        move.l  #0x12345678,-72(%a6)
2:
        moveq   #3,%d0                  | the user id
        cmp.b   #'p',(%a2)
        bne.s   1f
        moveq   #4,%d0                  | the password
1:      move.w  #64,-66(%a6)
        bsr     call
        tst.w   %d0
        bne     done
        lea     -64(%a6),%a0
        move.w  -66(%a6),%d1            | the text and its NUL: the NUL becomes a CR
        move.b  #13,-1(%a0,%d1.w)
        moveq   #2,%d0                  | send
        bsr     call
        tst.w   %d0
        bne     done
        cmp.b   #'p',(%a2)
        bne     done
        move.w  #4,-66(%a6)
        move.w  #5,-68(%a6)
        moveq   #1,%d0                  | receive 4 bytes within 5 seconds
        bsr     call
        tst.w   %d0
        bne     done
        cmp.w   #4,-66(%a6)
        bne     bad
        cmp.l   #0x200D0A57,-64(%a6)
        beq     done
bad:    move.w  #0x1220,%d0
done:   unlk    %a6
        rts
| Calls the run's selector D0 with the buffer, size and time-out of the frame.
call:   clr.l   -(%sp)                  | procedure address
        pea     -68(%a6)
        pea     -66(%a6)
        pea     -64(%a6)
        move.w  %d0,-(%sp)
        move.l  -72(%a6),-(%sp)
        movea.l -76(%a6),%a0
        jsr     (%a0)
        lea     22(%sp),%sp
        rts
)";

Status NoStatus(void*, uint32_t, uint16_t, const char*) { return 0; }
uint8_t NoCancel(void*) { return 0; }
Status NoSubst(void*, const char*, char*, const char*) { return sockra::netErrPrefNotFound; }

// A login through slot 47 whose user id and password steps are a 68K plug-in's, launched through
// the OS as the 68K environment runs plug-ins; a modem answers on the far side of a pty pair.
TEST_F(SockraGlue, ALoginScriptRunsA68KPluginThatTalksToTheModemThroughTheRun) {
    using namespace std::string_literals;
    os::AddDatabase("libSockraIF.dll", FourCC("neti"), FourCC("ppp_"), 1);
    const uint32_t plugin = os::AddDatabase("Login68K", FourCC("scpt"), FourCC("Tst1"), 1);
    morvel::test::AddResource(plugin, FourCC("code"), 1, morvel::test::Assemble(kLoginPlugin));
    os::ScriptResult(os::Library::System, sysslot::SysIsEmulationAllowed, 0);
    ASSERT_EQ(morvel::EmulatorOpen(), 0);
    os::SetEmulatorEntry(&morvel::ModuleLaunchEntry);  // Morvel is linked in here

    // The library as the OS loads it, opened with its interface's driver.
    RALLoadDescriptor d{};
    d.words[3] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>("libSockra.dll"));
    uint32_t entry = 0, ref = 0, table[sockra::kSockraSlotCount] = {};
    ASSERT_EQ(KEZ_CALL(RALLoadModule, &d, 0, &entry, &ref), 0);
    ASSERT_EQ(KEZ_CALL(RALGetEntryAddresses, ref, 0, sockra::kSockraSlotCount - 1, table), 0);
    auto slot = [&](uint16_t n) { return reinterpret_cast<void*>(static_cast<uintptr_t>(table[n])); };
    uint16_t ifErrs = 0;
    ASSERT_EQ(reinterpret_cast<Status (*)(uint16_t*)>(slot(sockra::kSlotOpen))(&ifErrs), 0);
    auto ifSet = reinterpret_cast<Status (*)(uint32_t, uint16_t, uint16_t, const void*, uint16_t)>(
        slot(sockra::kSlotIFSettingSet));
    const uint32_t ppp = FourCC("ppp_");
    const std::string script = "s AT<cr>\0w OK\0s ATDT555<cr>\0w CONNECT\0w ogin:\0sp Login68K:u\0w word:\0"
                               "sp Login68K:p\0g \0\0"s;
    ASSERT_TRUE(sockra::test::StoreLogin(ifSet, script));

    constexpr uint16_t kPort = 5;
    sockra::test::ModemPty modem(kPort, sockra::test::LoginDialogue());
    ASSERT_TRUE(modem.Ok());
    // 0 only once the last step has read the address that the modem announces.
    EXPECT_EQ(reinterpret_cast<decltype(&SockraScriptExecute)>(slot(sockra::kSlotScriptExecute))(
                  ppp, 1, kPort, nullptr, NoStatus, NoCancel, NoSubst),
              0);
    EXPECT_EQ(modem.Heard(), "AT\rATDT555\rbob\rs3cret\r");
    // A handle that is not the running plug-in's is refused as a missing one.
    ASSERT_TRUE(sockra::test::StoreLogin(ifSet, "sp Login68K:x\0\0"s));
    EXPECT_EQ(reinterpret_cast<decltype(&SockraScriptExecute)>(slot(sockra::kSlotScriptExecute))(
                  ppp, 1, kPort, nullptr, NoStatus, NoCancel, NoSubst),
              sockra::netErrParamErr);
    EXPECT_EQ(os::ErrorReports().back().message, "Null handle arg passed to ScriptPluginSelector function");
    EXPECT_EQ(reinterpret_cast<Status (*)(uint16_t)>(slot(sockra::kSlotClose))(0), 0);
    EXPECT_EQ(KEZ_CALL(RALUnloadModule, ref, nullptr, nullptr), 0);
    os::SetEmulatorEntry(nullptr);
    morvel::EmulatorClose();
}

}  // namespace
