// Login scripts: each command kind over a real line (a socket pair as the serial port), the escapes,
// the address wait, time-outs and cancelling, malformed scripts, plug-ins, and one login over a
// pty pair against a modem that answers from its own thread.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/module/KezSlots.h"
#include "common/module/ModuleInterface.h"
#include "sockra/Sockra.h"
#include "sockra/SockraOS.h"
#include "sockra/SockraScript.h"
#include "sockra/tests/ModemPty.h"
#include "sockra/tests/SockraTest.h"
#include "standin/os/SerialPorts.h"

using namespace sockra;
using vantor::os::Library;

namespace {

constexpr uint16_t kPort = 3;
constexpr uint32_t kPPP = vantor::FourCC("ppp_");

// What the run reaches: interface settings, the caller's callbacks and Kez's task delays.
std::map<uint16_t, std::string> gSettings;
std::map<std::string, std::string> gSubst;  // word -> answer of the substitution callback
std::vector<std::pair<uint16_t, std::string>> gSteps;
std::vector<std::string> gSubstWords;
std::vector<std::string> gSubstExtras;
std::vector<int32_t> gDelays;
int gCancelAfter = -1;  // the cancel check answers 1 from this call on (-1: never)
int gCancelCalls = 0;
uint32_t gStoredAddr = 0;

Status FakeGet(uint32_t, uint16_t, uint16_t setting, void* valueP, uint16_t* lenP) {
    auto it = gSettings.find(setting);
    if (it == gSettings.end()) return netErrPrefNotFound;
    // As the preferences do: the part that fits, 0x120D when that is not all, and the full size.
    size_t n = std::min<size_t>(*lenP, it->second.size());
    memcpy(valueP, it->second.data(), n);
    *lenP = static_cast<uint16_t>(it->second.size());
    return n < it->second.size() ? netErrBufTooSmall : 0;
}
Status FakeSet(uint32_t, uint16_t, uint16_t setting, const void* valueP, uint16_t len) {
    if (setting != 0x1002 || len != 4) return netErrUnknownSetting;
    memcpy(&gStoredAddr, valueP, 4);
    return 0;
}
Status RecordStatus(void*, uint32_t zero, uint16_t step, const char* text) {
    EXPECT_EQ(zero, 0u);
    gSteps.emplace_back(step, text);
    return 0;
}
uint8_t Cancel(void*) { return gCancelAfter >= 0 && gCancelCalls++ >= gCancelAfter; }
Status Subst(void*, const char* word, char* value, const char* extra) {
    gSubstWords.push_back(word);
    if (extra) gSubstExtras.push_back(extra);
    auto it = gSubst.find(extra ? "prompt" : word);
    if (it == gSubst.end()) return netErrPrefNotFound;
    std::string v = extra ? it->second + "[" + word + "]" : it->second;
    snprintf(value, 64, "%s", v.c_str());
    return 0;
}

// Kez's task calls: delays and waits are recorded, not slept.
uint16_t FakeTaskDelay(int32_t ms) {
    gDelays.push_back(ms);
    return 0;
}
uint16_t FakeTaskWait(int32_t ms) {
    gDelays.push_back(-ms);
    return 0;
}
vantor::ModuleProc gKezTable[vantor::kKezSlots];

std::string Settings(uint32_t seconds) { return std::string(reinterpret_cast<const char*>(&seconds), 4); }

class Script : public test::SockraTest {
protected:
    void SetUp() override {
        SockraTest::SetUp();
        gKezTable[vantor::kezslot::KALTaskDelay] = reinterpret_cast<vantor::ModuleProc>(FakeTaskDelay);
        gKezTable[vantor::kezslot::KALTaskWait] = reinterpret_cast<vantor::ModuleProc>(FakeTaskWait);
        os::gKez.SetTable(gKezTable);
        vantor::os::ScriptResult(Library::System, vantor::sysslot::EvtResetAutoOffTimer, 0);
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, line_), 0);
        fcntl(line_[1], F_SETFL, O_NONBLOCK);
        ASSERT_TRUE(vantor::os::SerialPortAttach(kPort, line_[0]));
        gSettings = {{16, Settings(1)}};
        gSubst.clear();
        gSteps.clear();
        gSubstWords.clear();
        gSubstExtras.clear();
        gDelays.clear();
        gCancelAfter = -1;
        gCancelCalls = 0;
        gStoredAddr = 0;
    }
    void TearDown() override {
        vantor::os::SerialPortDetach(kPort);
        close(line_[0]);
        close(line_[1]);
        SockraTest::TearDown();
    }
    // Runs a script (its bytes as stored, NULs included) with `answer` waiting on the line.
    Status Run(const std::string& script, const std::string& answer = "") {
        gSettings[14] = script;
        if (!answer.empty()) {
            EXPECT_EQ(write(line_[1], answer.data(), answer.size()), ssize_t(answer.size()));
        }
        return SockraScriptRun(kPPP, 1, kPort, this, RecordStatus, Cancel, Subst, FakeGet, FakeSet);
    }
    // What the run sent on the line.
    std::string Sent() {
        std::string out;
        char buf[512];
        ssize_t n;
        while ((n = read(line_[1], buf, sizeof buf)) > 0) out.append(buf, n);
        return out;
    }
    int line_[2] = {-1, -1};
};

using std::string_literals::operator""s;

TEST_F(Script, CommandsSendWaitAndShowTheirTexts) {
    struct Case {
        std::string script, answer;
        Status result;
        std::string sent, firstShown;
        uint16_t firstStep;
    };
    gSettings[6] = "bob";
    gSettings[7] = "s3cret";
    gSubst["DBUSERID"] = "dbu";
    const Case cases[] = {
        {"s AT<cr>\0"s, "", 0, "AT\r", "AT<cr>", 7},
        {"s ^C^a^[^~\\^\\\\<lf>\0"s, "", 0, "\x03\x01\x1b~^\\\n", "^C^a^[^~^\\<lf>", 7},
        {"s $USERID/$PASSWORD/$DBUSERID/$X\0"s, "", 0, "bob/s3cret/dbu/$X", "bob/PASSWORD/dbu/$X", 7},
        {"s " + std::string(70, 'x') + "\0"s, "", 0, std::string(63, 'x'), std::string(63, 'x'), 7},
        {"w ogin:\0s u<cr>\0"s, "lologin: ", 0, "u\r", "ogin:", 9},
        {"w ogin:\0s u\0"s, "Last login", netErrTimeout, "", "ogin:", 9},
        {"a ask\0"s, "", 0, "ASKED", "ask", 7},
        {"d 2\0s x\0"s, "", 0, "x", "2", 8},
        {"d 0\0"s, "", 0, "", "0", 8},
        {"\0s never\0"s, "", 0, "", "", 0},
        {""s, "", 0, "", "", 0},
    };
    gSubst["ask"] = "ASKED";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        gSteps.clear();
        EXPECT_EQ(Run(c.script, c.answer), c.result);
        EXPECT_EQ(Sent(), c.sent);
        if (c.firstStep) {
            ASSERT_FALSE(gSteps.empty());
            EXPECT_EQ(gSteps[0], std::make_pair(c.firstStep, c.firstShown));
        } else {
            EXPECT_TRUE(gSteps.empty());
        }
        char drain[256];
        while (read(line_[1], drain, sizeof drain) > 0) {
        }
        // What the run left unread of the answer is forgotten with the line's next use.
        uint8_t b;
        uint16_t err;
        while (vantor::sys::SrmReceive(kPort, &b, 1, 0, &err) == 1) {
        }
    }
    // Sends wait a second on the task's semaphore; waits settle 62 ms; pauses go by seconds.
    EXPECT_NE(std::find(gDelays.begin(), gDelays.end(), -1000), gDelays.end());
    EXPECT_NE(std::find(gDelays.begin(), gDelays.end(), 62), gDelays.end());
    EXPECT_EQ(std::count(gDelays.begin(), gDelays.end(), 1000), 2);
}

TEST_F(Script, MalformedScriptsEndWithBadScriptAndSendNothingAfter) {
    const std::string cases[] = {
        "x abc\0s no\0"s,       // unknown letter
        "s abc"s,               // argument without its NUL
        "s\0"s,                 // no separator
        "s"s,                   // letter at the very end
        "d 99999999999\0"s,     // number past 32 bits
        "d 12a\0"s,             // not a number
        "p x\0"s,               // parity letter
        "p \0"s,                // no parity letter
    };
    for (const std::string& s : cases) {
        SCOPED_TRACE(s);
        EXPECT_EQ(Run(s), netErrBadScript);
        EXPECT_EQ(Sent(), "");
    }
    // Commands before the bad one have run.
    EXPECT_EQ(Run("s ok\0q\0"s), netErrBadScript);
    EXPECT_EQ(Sent(), "ok");
    // A script longer than the 511 bytes the run reads loses its cut last command, never more.
    std::string longScript;
    while (longScript.size() < 500) longScript += "s 0123456789\0"s;
    longScript += "s cut-off-here\0"s;
    EXPECT_EQ(Run(longScript), netErrBadScript);
    EXPECT_EQ(Sent().size(), 500 / 13 * 10 + 10);
}

TEST_F(Script, SettingsErrorsEndTheRun) {
    gSettings.erase(14);
    EXPECT_EQ(SockraScriptRun(kPPP, 1, kPort, this, RecordStatus, Cancel, Subst, FakeGet, FakeSet), netErrPrefNotFound);
    // A substitution word whose setting and callback both have no value.
    EXPECT_EQ(Run("s a\0s $PASSWORD\0s b\0"s), netErrPrefNotFound);
    EXPECT_EQ(Sent(), "a");
    EXPECT_EQ(gSubstWords, std::vector<std::string>{"PASSWORD"});
}

TEST_F(Script, DataBitsAndParitySetTheLineFlags) {
    auto flags = [] { return vantor::os::SerialPortFlags(kPort); };
    EXPECT_EQ(Run("b 7\0p e\0"s), 0);
    EXPECT_EQ(flags(), 0x80u | 0x06u);
    EXPECT_EQ(Run("p o\0"s), 0);
    EXPECT_EQ(flags(), 0x80u | 0x02u);
    EXPECT_EQ(Run("b 9\0p n\0"s), 0);  // anything but 7 is 8 bits
    EXPECT_EQ(flags(), 0xC0u);
    // A port the serial manager does not know ends the run with its error.
    vantor::os::SerialPortDetach(kPort);
    EXPECT_EQ(Run("b 7\0"s), vantor::os::serErrBadPort);
}

TEST_F(Script, GetIPTakesTheFirstDottedAddressOnTheLine) {
    struct Case {
        std::string answer;
        uint32_t addr;
    };
    const Case cases[] = {
        {"CONNECT 115200\r\nYour address is 10.1.2.3\r\n", 0x0A010203},
        {"ip=192.168.100.200and more", 0xC0A864C8},  // three dots and three digits end it
        {"1.2.3 then 999.1.1.1 then 172.16.0.9.", 0xAC100009},
        {"12345678901234567890 8.8.4.4 ", 0x08080404},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        gStoredAddr = 0;
        EXPECT_EQ(Run("g \0"s, c.answer), 0);
        EXPECT_EQ(gStoredAddr, c.addr);
        ASSERT_FALSE(gSteps.empty());
        EXPECT_EQ(gSteps.back(), std::make_pair(uint16_t{9}, std::string("xxx.xxx.xxx.xxx")));
        Sent();
        uint8_t b;
        uint16_t err;
        while (vantor::sys::SrmReceive(kPort, &b, 1, 0, &err) == 1) {
        }
    }
    // No address within the command time-out.
    gStoredAddr = 0;
    EXPECT_EQ(Run("g \0"s, "no address here: 1.2.3\r\n"), netErrTimeout);
    EXPECT_EQ(gStoredAddr, 0u);
}

TEST_F(Script, CancelEndsTheRunBeforeACommandAndAWaitWithUserCancel) {
    gCancelAfter = 0;  // before the first command: the run simply ends
    EXPECT_EQ(Run("s a\0"s), 0);
    EXPECT_EQ(Sent(), "");
    gCancelAfter = 1, gCancelCalls = 0;  // at the start of the wait
    EXPECT_EQ(Run("w x\0"s), netErrUserCancel);
    // During a wait without a time-out: the cancel check is asked again every second.
    gSettings[16] = Settings(0);
    gCancelAfter = 2, gCancelCalls = 0;
    EXPECT_EQ(Run("w never\0"s), netErrUserCancel);
    // A long pause is cancelled between its seconds.
    gCancelAfter = 3, gCancelCalls = 0;
    gDelays.clear();
    EXPECT_EQ(Run("d 4000000000\0"s), netErrUserCancel);
    EXPECT_LE(gDelays.size(), 3u);
}

TEST_F(Script, PromptAndSendCapturesTheRestOfTheLine) {
    gSubst["prompt"] = "R";
    // The text starts six bytes after the f: "Pin?" is the prompt, "T%s" the template.
    EXPECT_EQ(Run("sf.....Pin?|T%s\0"s, "Enter Pin? 12\x01" "34\r\n"), 0);
    ASSERT_EQ(gSubstWords.size(), 1u);
    EXPECT_EQ(gSubstWords[0], " 12 34 \n");
    EXPECT_EQ(gSubstExtras, std::vector<std::string>{"T%s"});
    EXPECT_EQ(Sent(), "R[ 12 34 \n]");
    ASSERT_EQ(gSteps.size(), 2u);
    EXPECT_EQ(gSteps[1], std::make_pair(uint16_t{9}, std::string("Pin?")));
    // The capture keeps the last 99 characters of a long line.
    gSubstWords.clear();
    EXPECT_EQ(Run("sf.....?|\0"s, "?" + std::string(150, 'a') + "END"), 0);
    ASSERT_EQ(gSubstWords.size(), 1u);
    EXPECT_EQ(gSubstWords[0], std::string(96, 'a') + "END");
    Sent();
}

TEST_F(Script, AnswerSetsThePortUpAndWaitsForConnect) {
    std::vector<uint8_t> setUp;
    vantor::os::OnCall(Library::System, 300, [&](const vantor::os::SlotCall& c) {
        auto* rec = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(c.args[0]));
        setUp.assign(rec, rec + 204);
        return 0u;
    });
    EXPECT_EQ(Run("c 5\0"s, "RING\r\nCONNECT 9600\r\n"), 0);
    EXPECT_EQ(Sent(), "ATS0=1\r");
    ASSERT_EQ(setUp.size(), 204u);
    uint16_t port;
    uint32_t baud, timeout;
    memcpy(&port, &setUp[0], 2);
    memcpy(&baud, &setUp[4], 4);
    memcpy(&timeout, &setUp[12], 4);
    EXPECT_EQ(port, kPort);
    EXPECT_EQ(baud, 500000u);
    EXPECT_EQ(timeout, 5000u);
    ASSERT_EQ(gSteps.size(), 2u);
    EXPECT_EQ(gSteps[0].first, 10);
    EXPECT_EQ(gSteps[1].first, 11);
}

// An interface driver that stores nothing: every setting it is asked for is absent.
uint32_t EmptyDriver(uint16_t selector, void*, uint16_t) {
    return selector == kNetIFDriverSettingGet ? netErrPrefNotFound : 0;
}

// Installs EmptyDriver as the code of the 'ppp_' interface's driver database.
void InstallEmptyDriver() {
    vantor::os::AddDatabase("libSockraIF.dll", kNetIFDriverType, kPPP, 1);
    vantor::os::OnCall(Library::System, vantor::sysslot::SysCodeOpen, [](const vantor::os::SlotCall& c) {
        *reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(c.args[1])) = 1;
        return 0u;
    });
    vantor::os::OnCall(Library::System, vantor::sysslot::SysCodeLoad, [](const vantor::os::SlotCall& c) {
        *reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(c.args[1])) =
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&EmptyDriver));
        return 0u;
    });
}

// A plug-in launched by the run: it calls back through the selector in its parameter block.
TEST_F(Script, PluginStepsCallBackThroughTheSelector) {
    // The user id is not among the interface's settings: the substitution callback gives it.
    InstallEmptyDriver();
    uint32_t dbID = vantor::os::AddDatabase("Dialer", kScriptPluginType, vantor::FourCC("test"), 1);
    vantor::os::AddDatabase("NotAPlugin", vantor::FourCC("appl"), vantor::FourCC("test"), 1);
    vantor::os::OnCall(Library::System, vantor::sysslot::DmFindDatabaseByName, [&](const vantor::os::SlotCall& c) {
        std::string name = reinterpret_cast<const char*>(static_cast<uintptr_t>(c.args[1]));
        return name == "Dialer" ? dbID : name == "NotAPlugin" ? dbID + 1 : 0u;
    });
    std::vector<Status> results;
    std::string arg, sendText, userID, received;
    uint16_t portSeen = 0;
    gSubst["USERID"] = "bob";
    vantor::os::OnCall(Library::System, vantor::sysslot::SysAppLaunchPlugin, [&](const vantor::os::SlotCall& c) {
        EXPECT_EQ(c.args[0], dbID);
        EXPECT_EQ(c.args[1], kScriptPluginLaunchCode);
        auto* pb = reinterpret_cast<SockraScriptPluginParams*>(static_cast<uintptr_t>(c.args[2]));
        arg = pb->arg;
        sendText = pb->send;
        auto sel = pb->selector;
        SockraScriptHandle* h = pb->handle;
        char buf[64] = "hi";
        uint16_t size = 2, timeout = 1;
        results.push_back(sel(h, 2, buf, &size, nullptr, 0));
        size = sizeof buf;
        results.push_back(sel(h, 3, buf, &size, nullptr, 0));
        userID.assign(buf, size);
        size = 4;
        results.push_back(sel(h, 1, buf, &size, &timeout, 0));
        received.assign(buf, size);
        size = 2;
        results.push_back(sel(h, 9, &portSeen, &size, nullptr, 0));
        results.push_back(sel(h, 7, const_cast<char*>("plug-in line"), nullptr, nullptr, 0));
        results.push_back(sel(h, 8, nullptr, nullptr, nullptr, 0x1234));  // the caller gave no procedure
        results.push_back(sel(h, 10, buf, &size, nullptr, 0));
        results.push_back(sel(nullptr, 2, buf, &size, nullptr, 0));
        size = 2;
        results.push_back(sel(h, 3, buf, &size, nullptr, 0));  // cut to the plug-in's buffer
        EXPECT_STREQ(buf, "b");
        return 0u;
    });
    EXPECT_EQ(Run("sp Dialer:fast mode and more\0sp NotAPlugin:x\0sp Missing:\0"s, "ABCD"), 0);
    EXPECT_EQ(arg, "fast mode and m");
    EXPECT_EQ(sendText, "Dialer:fast mode and more");
    EXPECT_EQ(results, (std::vector<Status>{0, 0, 0, 0, 0, netErrScriptSelector, netErrScriptSelector,
                                            netErrParamErr, 0}));
    EXPECT_EQ(userID, std::string("bob\0", 4));
    EXPECT_EQ(received, "ABCD");
    EXPECT_EQ(portSeen, kPort);
    EXPECT_EQ(Sent(), "hi");
    EXPECT_EQ(vantor::os::CallsOf(Library::System, vantor::sysslot::SysAppLaunchPlugin).size(), 1u);
    ASSERT_EQ(Reports(), 1u);
    EXPECT_EQ(vantor::os::ErrorReports()[0].message, "Null handle arg passed to ScriptPluginSelector function");
}

// The exports read the script from the interface's settings; without the interface's driver the
// run ends with "no such interface" before anything is sent.
TEST_F(Script, ExportsReadTheInterfaceSettings) {
    auto* table = SockraExportTable();
    auto execute = reinterpret_cast<decltype(&SockraScriptExecute)>(table[kSlotScriptExecute]);
    auto executeDefault = reinterpret_cast<decltype(&SockraScriptExecuteDefault)>(table[kSlotScriptExecuteDefault]);
    EXPECT_EQ(execute(kPPP, 1, kPort, this, RecordStatus, Cancel, Subst), netErrInterfaceNotFound);
    EXPECT_EQ(executeDefault(kPPP, 1, kPort, 7, nullptr, nullptr, nullptr), netErrInterfaceNotFound);
    EXPECT_EQ(Sent(), "");
    EXPECT_TRUE(Traced("Sockra: SockraScriptExecute"));
}

// A dial-up login over a pty pair: the modem on the far side answers from its own thread.
TEST_F(Script, LoginOverAPtyPair) {
    sockra::test::ModemPty modem(kPort, sockra::test::LoginDialogue());
    ASSERT_TRUE(modem.Ok());
    gSettings[6] = "bob";
    gSettings[7] = "s3cret";
    gSettings[16] = Settings(5);
    gSettings[14] = "s AT<cr>\0w OK\0s ATDT555<cr>\0w CONNECT\0w ogin:\0s $USERID<cr>\0w word:\0"
                    "s $PASSWORD<cr>\0b 7\0p e\0g \0"s;
    Status err = SockraScriptRun(kPPP, 1, kPort, this, RecordStatus, Cancel, Subst, FakeGet, FakeSet);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(modem.Heard(), "AT\rATDT555\rbob\rs3cret\r");
    EXPECT_EQ(gStoredAddr, 0x0A000007u);
    // The line is now 7 bits with even parity.
    EXPECT_EQ(vantor::os::SerialPortFlags(kPort), 0x80u | 0x06u);
    // The password is shown as its word.
    bool shownWord = false;
    for (const auto& s : gSteps) shownWord |= s.second == "PASSWORD<cr>";
    EXPECT_TRUE(shownWord);
}

}  // namespace
