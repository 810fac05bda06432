// Login scripts: a script (interface setting 14) is read command by command and run over a serial
// port of the OS's serial manager: texts are sent and waited for, the line's data bits and parity
// set, the address that the far side announces is stored, and plug-ins get steps of their own.
#include "sockra/SockraScript.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/SockraLib.h"
#include "sockra/Sockra.h"
#include "sockra/SockraOS.h"

namespace sockra {
namespace {

constexpr const char* kSourcePath = "Libraries/Net/Src/SockraScript";
constexpr size_t kScriptMax = 511;  // bytes of a script, and of the exchange log
constexpr size_t kLogSize = 512;
constexpr uint16_t kSettingUserID = 6, kSettingPassword = 7, kSettingDBUserID = 8, kSettingDBPassword = 9;
constexpr uint16_t kSettingScript = 14, kSettingCmdTimeout = 16, kSettingIPAddr = 0x1002;
constexpr uint16_t kStepSend = 7, kStepPause = 8, kStepWait = 9, kStepAnswer = 10, kStepConnect = 11;
constexpr int32_t kSendSettleMs = 1000;
constexpr int32_t kWaitSettleMs = 62;
constexpr int32_t kReceiveWait = 1000;
constexpr uint32_t kCancelEvery = 1000;  // ticks between cancel checks while waiting
constexpr uint16_t kSysSlotPortSetUp = 300;  // sets a port up for an incoming modem call (204 bytes)
constexpr uint16_t kSrmCtlSetFlags = 3, kSrmCtlGetFlags = 4;
constexpr size_t kCaptureMax = 99;

// ---- the reader ----

// Appends to a bounded text of kScriptTextMax characters; answers false when it is full.
bool PrvAppend(char* text, size_t* len, const char* add, size_t n) {
    size_t room = kScriptTextMax - *len;
    size_t k = n < room ? n : room;
    memcpy(text + *len, add, k);
    *len += k;
    text[*len] = 0;
    return k == n;
}

struct Substitution {
    const char* word;
    uint16_t setting;
    bool showValue;
};
// Longer words first, so that $DBUSERID is not read as $D followed by text.
const Substitution kWords[] = {
    {"DBPASSWORD", kSettingDBPassword, false},
    {"DBUSERID", kSettingDBUserID, true},
    {"PASSWORD", kSettingPassword, false},
    {"USERID", kSettingUserID, true},
};

// The value of a substitution word: its interface setting, else the caller's substitution.
Status PrvWordValue(SockraScriptReader* r, const Substitution& w, char* value, size_t* len) {
    uint8_t buf[257] = {};
    uint16_t n = 256;
    Status err = r->settingGet ? r->settingGet(r->creator, r->instance, w.setting, buf, &n) : netErrPrefNotFound;
    if (err == netErrPrefNotFound) {
        if (!r->subst) return err;
        char out[kScriptTextMax + 1] = {};
        err = r->subst(r->context, w.word, out, nullptr);
        if (err) return err;
        out[kScriptTextMax] = 0;
        *len = strlen(out);
        memcpy(value, out, *len + 1);
        return 0;
    }
    if (err) return err;
    size_t k = n < 256 ? n : 256;
    const void* nul = memchr(buf, 0, k);
    if (nul) k = static_cast<size_t>(static_cast<const uint8_t*>(nul) - buf);
    if (k > kScriptTextMax) k = kScriptTextMax;
    memcpy(value, buf, k);
    value[k] = 0;
    *len = k;
    return 0;
}

// Expands the escapes of a text argument into the send and display texts; what does not fit in
// the send text is skipped.
Status PrvExpand(SockraScriptReader* r, const uint8_t* arg, size_t argLen, SockraScriptCmd* cmd) {
    size_t sendLen = 0, shownLen = 0;
    size_t i = 0;
    while (i < argLen && sendLen < kScriptTextMax) {
        char c = static_cast<char>(arg[i]);
        char send[kScriptTextMax + 1];
        const char* shown = nullptr;
        size_t n = 1, shownN = 0, used = 1;
        send[0] = c;
        if (c == '$') {
            for (const Substitution& w : kWords) {
                size_t wl = strlen(w.word);
                if (argLen - i - 1 < wl || memcmp(arg + i + 1, w.word, wl) != 0) continue;
                Status err = PrvWordValue(r, w, send, &n);
                if (err) return err;
                shown = w.showValue ? send : w.word;
                shownN = w.showValue ? n : wl;
                used = 1 + wl;
                break;
            }
        } else if ((c == '\\' || c == '^') && i + 1 < argLen) {
            uint8_t e = arg[i + 1];
            send[0] = static_cast<char>(e);
            if (c == '^') {
                if (e >= 64 && e <= 95) send[0] = static_cast<char>(e - 64);
                else if (e >= 97 && e <= 122) send[0] = static_cast<char>(e - 96);
            }
            shown = reinterpret_cast<const char*>(arg + i + (c == '\\' ? 1 : 0));
            shownN = c == '\\' ? 1 : 2;
            used = 2;
        } else if (c == '<' && argLen - i >= 4 &&
                   (memcmp(arg + i, "<cr>", 4) == 0 || memcmp(arg + i, "<lf>", 4) == 0)) {
            send[0] = arg[i + 1] == 'c' ? 13 : 10;
            used = 4;
        }
        if (!shown) {
            shown = reinterpret_cast<const char*>(arg + i);
            shownN = used;
        }
        PrvAppend(cmd->send, &sendLen, send, n);
        PrvAppend(cmd->display, &shownLen, shown, shownN);
        i += used;
    }
    cmd->sendLen = static_cast<uint16_t>(sendLen);
    return 0;
}

// A decimal argument: digits only (empty is 0), at most 32 bits.
Status PrvDecimal(const uint8_t* arg, size_t len, uint32_t* value) {
    uint64_t v = 0;
    for (size_t i = 0; i < len; ++i) {
        if (arg[i] < '0' || arg[i] > '9') return netErrBadScript;
        v = v * 10 + (arg[i] - '0');
        if (v > 0xFFFFFFFFu) return netErrBadScript;
    }
    *value = static_cast<uint32_t>(v);
    return 0;
}

void PrvShowRaw(SockraScriptCmd* cmd, const uint8_t* arg, size_t len) {
    size_t n = 0;
    PrvAppend(cmd->display, &n, reinterpret_cast<const char*>(arg), len);
}

// ---- the run ----

struct Run {
    uint16_t port;
    uint32_t creator;
    uint16_t instance;
    void* context;
    ScriptStatusProc status;
    ScriptCancelProc cancel;
    ScriptSubstProc subst;
    ScriptIFSettingSet settingSet;
    char* log;
    int32_t timeout;  // command time-out in milliseconds, negative for none
};

bool PrvCancelled(void* context, ScriptCancelProc cancel) { return cancel && cancel(context) != 0; }

void PrvLog(char* log, const char* text, size_t n) {
    if (!log) return;
    size_t len = strnlen(log, kScriptMax);
    size_t k = n < kScriptMax - len ? n : kScriptMax - len;
    memcpy(log + len, text, k);
    log[len + k] = 0;
}
void PrvLog(char* log, const char* text) { PrvLog(log, text, strlen(text)); }

void PrvLogByte(char* log, uint8_t b) {
    char text[8];
    if (b == 13) strcpy(text, "\\r");
    else if (b == 10) strcpy(text, "\\n");
    else if (b < 32) snprintf(text, sizeof text, "\\x%02X", b);
    else text[0] = static_cast<char>(b), text[1] = 0;
    PrvLog(log, text);
}

Status PrvSend(Run& r, const char* data, size_t len, const char* shown) {
    Status err = 0;
    os::SrmSend(r.port, data, static_cast<uint32_t>(len), &err);
    if (err) return err;
    os::KALTaskWait(kSendSettleMs);
    PrvLog(r.log, "\nS: ");
    PrvLog(r.log, shown);
    return 0;
}

enum class WaitFor { Text, Address, Prompt };

struct WaitState {
    WaitFor mode;
    const char* text;
    size_t textLen;
    size_t matched = 0;
    // Address: the candidate of digits and dots.
    char candidate[16] = {};
    size_t candLen = 0, dots = 0, tail = 0;
    uint32_t address = 0;
    // Prompt: the rest of the line after the prompt, its last kCaptureMax characters.
    char* capture = nullptr;
    size_t capLen = 0;
    bool capturing = false;
};

// One received byte; answers true when the wait is over.
bool PrvWaitByte(WaitState& w, uint8_t b) {
    if (w.capturing) {
        if (w.capLen == kCaptureMax) memmove(w.capture, w.capture + 1, --w.capLen);
        w.capture[w.capLen++] = (b < 32 && b != 10) ? ' ' : static_cast<char>(b);
        w.capture[w.capLen] = 0;
        return false;
    }
    if (w.mode == WaitFor::Address) {
        bool digit = b >= '0' && b <= '9', dot = b == '.';
        bool end = !(digit || dot);
        // A fourth dot (an address that ends a sentence) ends the candidate before it.
        if (dot && w.dots == 3) end = true;
        if (!end) {
            w.candidate[w.candLen++] = static_cast<char>(b);
            w.dots += dot;
            w.tail = dot ? 0 : w.tail + 1;
            end = w.candLen == 15 || (w.dots == 3 && w.tail == 3);
        }
        if (end) {
            w.candidate[w.candLen] = 0;
            // Only a dotted address counts: a bare number such as a baud rate is not one.
            if (w.dots == 3) {
                NetIPAddr a = SockraAddrAToIN(w.candidate);
                if (a != INADDR_NONE) {
                    w.address = ntohl(a);
                    return true;
                }
            }
            w.candLen = w.dots = w.tail = 0;
        }
        return false;
    }
    if (b == static_cast<uint8_t>(w.text[w.matched])) {
        ++w.matched;
    } else {
        w.matched = b == static_cast<uint8_t>(w.text[0]) ? 1 : 0;
    }
    if (w.matched < w.textLen) return false;
    if (w.mode == WaitFor::Text) return true;
    w.capturing = true;
    return false;
}

// Waits for a text, an address or a prompt and the rest of its line within `timeout` ms
// (negative: no limit).
Status PrvWait(Run& r, WaitState& w, int32_t timeout) {
    if (PrvCancelled(r.context, r.cancel)) return netErrUserCancel;
    uint32_t now = os::TimGetTicks();
    uint32_t deadline = now + static_cast<uint32_t>(timeout);
    uint32_t lastCheck = now;
    PrvLog(r.log, "\nR: ");
    if (w.mode != WaitFor::Address && w.textLen == 0) {
        if (w.mode == WaitFor::Text) return 0;
        w.capturing = true;
    }
    for (;;) {
        now = os::TimGetTicks();
        if (timeout >= 0 && static_cast<int32_t>(now - deadline) >= 0) return netErrTimeout;
        os::EvtResetAutoOffTimer();
        uint8_t b = 0;
        Status err = 0;
        uint32_t n = os::SrmReceive(r.port, &b, 1, kReceiveWait, &err);
        now = os::TimGetTicks();
        if (now - lastCheck > kCancelEvery) {
            lastCheck = now;
            if (PrvCancelled(r.context, r.cancel)) return netErrUserCancel;
        }
        if (err || n != 1) {
            if (w.capturing) return 0;  // the line has been quiet for a second
            os::SrmClearErr(r.port);
            continue;
        }
        b &= 0x7F;
        PrvLogByte(r.log, b);
        if (PrvWaitByte(w, b)) return 0;
    }
}

Status PrvWaitText(Run& r, const char* text, size_t len, int32_t timeout) {
    WaitState w{WaitFor::Text, text, len};
    return PrvWait(r, w, timeout);
}

Status PrvLineFlags(Run& r, uint32_t clear, uint32_t set) {
    uint32_t flags = 0;
    uint16_t len = 4;
    Status err = os::SrmControl(r.port, kSrmCtlGetFlags, &flags, &len);
    if (err) return err;
    flags = (flags & ~clear) | set;
    len = 4;
    return os::SrmControl(r.port, kSrmCtlSetFlags, &flags, &len);
}

Status PrvDataBits(Run& r, uint32_t bits) {
    if (bits < 5 || bits > 8) return netErrBadScript;
    return PrvLineFlags(r, 0xC0, (bits - 5) << 6);
}

Status PrvParity(Run& r, uint32_t letter) {
    switch (letter) {
    case 'n': return PrvLineFlags(r, 0x02, 0);
    case 'e': return PrvLineFlags(r, 0, 0x06);
    case 'o': return PrvLineFlags(r, 0x04, 0x02);
    default: return netErrBadScript;
    }
}

Status PrvGetIP(Run& r) {
    WaitState w{WaitFor::Address, nullptr, 0};
    Status err = PrvWait(r, w, r.timeout);
    if (err) return err;
    if (!r.settingSet) return 0;
    return r.settingSet(r.creator, r.instance, kSettingIPAddr, &w.address, 4);
}

Status PrvAnswer(Run& r, const SockraScriptCmd& cmd) {
    int32_t timeout = cmd.value == 0 ? -1 : (cmd.value > 0x7FFFFFFF / 1000 ? 0x7FFFFFFF : cmd.value * 1000);
    uint8_t setUp[204] = {};
    uint32_t baud = 500000, t = static_cast<uint32_t>(timeout);
    uint16_t all = 0xFFFF;
    memcpy(setUp, &r.port, 2);
    memcpy(setUp + 4, &baud, 4);
    memcpy(setUp + 8, &all, 2);
    memcpy(setUp + 12, &t, 4);
    Status err = os::SysCall<Status(void*)>(kSysSlotPortSetUp, static_cast<void*>(setUp));
    if (err) return err;
    if (r.status) r.status(r.context, 0, kStepConnect, cmd.display);
    err = PrvSend(r, "ATS0=1\r", 7, "ATS0=1<cr>");
    return err ? err : PrvWaitText(r, "CONNECT", 7, timeout);
}

Status PrvCallerText(Run& r, const SockraScriptCmd& cmd) {
    if (!r.subst) return netErrParamErr;
    char out[kScriptTextMax + 1] = {};
    Status err = r.subst(r.context, cmd.send, out, nullptr);
    if (err) return err;
    out[kScriptTextMax] = 0;
    return PrvSend(r, out, strlen(out), cmd.display);
}

Status PrvPromptSend(Run& r, const SockraScriptCmd& cmd) {
    char* prompt = static_cast<char*>(os::MemPtrNew(64));
    char* templ = static_cast<char*>(os::MemPtrNew(24));
    char* capture = static_cast<char*>(os::MemPtrNew(kCaptureMax + 2));
    Status err = 0;
    if (!prompt || !templ || !capture) err = netErrOutOfMemory;
    if (!err) {
        const char* bar = static_cast<const char*>(memchr(cmd.send, '|', cmd.sendLen));
        size_t promptLen = bar ? static_cast<size_t>(bar - cmd.send) : cmd.sendLen;
        size_t templLen = bar ? cmd.sendLen - promptLen - 1 : 0;
        if (templLen > 23) templLen = 23;
        memcpy(prompt, cmd.send, promptLen);
        prompt[promptLen] = 0;
        memcpy(templ, bar ? bar + 1 : "", templLen);
        templ[templLen] = 0;
        capture[0] = 0;
        if (r.status) r.status(r.context, 0, kStepWait, prompt);
        if (PrvCancelled(r.context, r.cancel)) err = netErrUserCancel;
        if (!err) {
            os::KALTaskDelay(kWaitSettleMs);
            WaitState w{WaitFor::Prompt, prompt, strnlen(prompt, promptLen)};
            w.capture = capture;
            err = PrvWait(r, w, r.timeout);
        }
        if (!err && PrvCancelled(r.context, r.cancel)) err = netErrUserCancel;
        char out[kScriptTextMax + 1] = {};
        if (!err) err = r.subst ? r.subst(r.context, capture, out, templ) : netErrParamErr;
        out[kScriptTextMax] = 0;
        if (!err) err = PrvSend(r, out, strlen(out), out);
    }
    if (prompt) os::MemPtrFree(prompt);
    if (templ) os::MemPtrFree(templ);
    if (capture) os::MemPtrFree(capture);
    return err;
}

// The run handles of the plug-ins running now (runs of several tasks may overlap).
std::mutex gLiveLock;
std::vector<const SockraScriptHandle*> gLive;

Status PrvPlugin(Run& r, const SockraScriptCmd& cmd) {
    uint32_t dbID = os::DmFindDatabaseByName(0, cmd.pluginName);
    uint32_t type = 0;
    if (!dbID || os::DmDatabaseInfoByID(dbID, nullptr, nullptr, nullptr, nullptr, &type, nullptr) != 0 ||
        type != kScriptPluginType)
        return 0;
    // A 68K plug-in calls the selector through a thunk of the 68K environment; the launch hands it
    // the parameter block in its own byte order.
    const bool is68K = ScriptPluginIs68K(dbID);
    const uint32_t thunk = is68K ? ScriptSelectorThunk68K() : 0;
    if (is68K && !thunk) return netErrOutOfMemory;
    auto* h = static_cast<SockraScriptHandle*>(os::MemPtrNew(sizeof(SockraScriptHandle)));
    auto* pb = static_cast<SockraScriptPluginParams*>(os::MemPtrNew(sizeof(SockraScriptPluginParams)));
    Status err = netErrOutOfMemory;
    if (h && pb) {
        *h = {r.port, r.instance, r.creator, r.context, gSockraGlobalsP, r.status, r.cancel, r.subst, nullptr,
              r.timeout < 0 ? 0u : static_cast<uint32_t>(r.timeout), r.log};
        memset(pb, 0, sizeof *pb);
        memcpy(pb->arg, cmd.pluginArg, sizeof pb->arg);
        memcpy(pb->send, cmd.send, cmd.sendLen);
        pb->handle = h;
        pb->selector = ScriptPluginSelector;
        if (is68K) memcpy(&pb->selector, &thunk, sizeof thunk);
        uint32_t result = 0;
        {
            std::lock_guard<std::mutex> lock(gLiveLock);
            gLive.push_back(h);
        }
        err = os::SysAppLaunchPlugin(dbID, kScriptPluginLaunchCode, pb, &result);
        {
            std::lock_guard<std::mutex> lock(gLiveLock);
            gLive.erase(std::find(gLive.begin(), gLive.end(), h));
        }
        if (!err) err = static_cast<Status>(result);
    }
    if (is68K) ScriptSelectorThunkRelease68K();
    if (h) os::MemPtrFree(h);
    if (pb) os::MemPtrFree(pb);
    return err;
}

uint16_t PrvStep(uint32_t kind) {
    switch (kind) {
    case kScriptWait:
    case kScriptGetIP:
        return kStepWait;
    case kScriptDelay:
    case kScriptDataBits:
    case kScriptParity:
        return kStepPause;
    case kScriptAnswer:
        return kStepAnswer;
    default:
        return kStepSend;
    }
}

Status PrvCommand(Run& r, const SockraScriptCmd& cmd) {
    switch (cmd.kind) {
    case kScriptSend:
        return PrvSend(r, cmd.send, cmd.sendLen, cmd.display);
    case kScriptWait:
        os::KALTaskDelay(kWaitSettleMs);
        return PrvWaitText(r, cmd.send, cmd.sendLen, r.timeout);
    case kScriptDelay:
        // In slices of a second, so that a long pause can be cancelled.
        for (uint32_t s = 0; s < cmd.value; ++s) {
            if (s && PrvCancelled(r.context, r.cancel)) return netErrUserCancel;
            os::KALTaskDelay(1000);
        }
        return 0;
    case kScriptDataBits: return PrvDataBits(r, cmd.value);
    case kScriptParity: return PrvParity(r, cmd.value);
    case kScriptGetIP: return PrvGetIP(r);
    case kScriptAnswer: return PrvAnswer(r, cmd);
    case kScriptCallerText: return PrvCallerText(r, cmd);
    case kScriptPromptSend: return PrvPromptSend(r, cmd);
    case kScriptPlugin: return PrvPlugin(r, cmd);
    default: return netErrBadScript;
    }
}

// Callers whose callbacks take a 32-bit value first.
struct DefaultCallbacks {
    uint32_t value;
    ScriptStatusFn status;
    ScriptCancelFn cancel;
    ScriptSubstFn subst;
};
Status PrvDefaultStatus(void* c, uint32_t zero, uint16_t step, const char* text) {
    auto* d = static_cast<DefaultCallbacks*>(c);
    return d->status ? d->status(d->value, zero, step, text) : 0;
}
uint8_t PrvDefaultCancel(void* c) {
    auto* d = static_cast<DefaultCallbacks*>(c);
    return d->cancel ? d->cancel(d->value) : 0;
}
Status PrvDefaultSubst(void* c, const char* word, char* value, const char* extra) {
    auto* d = static_cast<DefaultCallbacks*>(c);
    return d->subst ? d->subst(d->value, word, value, extra) : netErrPrefNotFound;
}

}  // namespace

Status SockraScriptNextCmd(SockraScriptReader* r, SockraScriptCmd* cmd) {
    memset(cmd, 0, sizeof *cmd);
    const uint8_t* s = r->script;
    size_t pos = r->pos;
    if (pos >= r->length || s[pos] == 0) return 0;  // kind 0: the end
    // A letter, a separator and an argument ended by a NUL inside the script.
    if (pos + 2 > r->length || s[pos + 1] == 0) return netErrBadScript;
    const void* nul = memchr(s + pos + 2, 0, r->length - pos - 2);
    if (!nul) return netErrBadScript;
    size_t end = static_cast<size_t>(static_cast<const uint8_t*>(nul) - s);
    size_t start = pos + 2;
    switch (s[pos]) {
    case 's':
        if (s[pos + 1] == 'f') {
            cmd->kind = kScriptPromptSend;
            start = pos + 1 + 6 < end ? pos + 1 + 6 : end;
        } else if (s[pos + 1] == 'p') {
            // "sp", a separator, then the argument.
            cmd->kind = kScriptPlugin;
            start = pos + 3 < end ? pos + 3 : end;
        } else {
            cmd->kind = kScriptSend;
        }
        break;
    case 'w': cmd->kind = kScriptWait; break;
    case 'd': cmd->kind = kScriptDelay; break;
    case 'b': cmd->kind = kScriptDataBits; break;
    case 'p': cmd->kind = kScriptParity; break;
    case 'g': cmd->kind = kScriptGetIP; break;
    case 'c': cmd->kind = kScriptAnswer; break;
    case 'a': cmd->kind = kScriptCallerText; break;
    default: return netErrBadScript;
    }
    r->pos = end + 1;
    const uint8_t* arg = s + start;
    size_t len = end - start;
    Status err = 0;
    switch (cmd->kind) {
    case kScriptDelay:
    case kScriptAnswer:
        err = PrvDecimal(arg, len, &cmd->value);
        PrvShowRaw(cmd, arg, len);
        break;
    case kScriptDataBits:
        cmd->value = (len == 1 && arg[0] == '7') ? 7 : 8;
        PrvShowRaw(cmd, arg, len);
        break;
    case kScriptParity:
        cmd->value = len ? arg[0] : 0;
        PrvShowRaw(cmd, arg, len);
        break;
    case kScriptGetIP:
        strcpy(cmd->display, "xxx.xxx.xxx.xxx");
        break;
    default:
        err = PrvExpand(r, arg, len, cmd);
        break;
    }
    if (!err && cmd->kind == kScriptPlugin) {
        // "name:argument", each part cut to 15 characters.
        const char* colon = static_cast<const char*>(memchr(cmd->send, ':', cmd->sendLen));
        size_t nameLen = colon ? static_cast<size_t>(colon - cmd->send) : cmd->sendLen;
        size_t argLen = colon ? cmd->sendLen - nameLen - 1 : 0;
        memcpy(cmd->pluginName, cmd->send, nameLen < 15 ? nameLen : 15);
        memcpy(cmd->pluginArg, colon ? colon + 1 : "", argLen < 15 ? argLen : 15);
    }
    return err;
}

Status SockraScriptRun(uint32_t creator, uint16_t instance, uint16_t serialPort, void* context,
                       ScriptStatusProc status, ScriptCancelProc cancel, ScriptSubstProc subst,
                       ScriptIFSettingGet settingGet, ScriptIFSettingSet settingSet) {
    Run r{serialPort, creator, instance, context, status, cancel, subst, settingSet, nullptr, -1};
    r.log = static_cast<char*>(os::MemPtrNew(kLogSize));
    if (r.log) r.log[0] = 0;
    uint8_t script[kScriptMax + 1] = {};
    uint16_t len = kScriptMax;
    Status err = settingGet(creator, instance, kSettingScript, script, &len);
    if (err == netErrBufTooSmall) err = 0, len = kScriptMax;  // a longer script is read cut
    uint32_t seconds = 0;
    uint16_t tlen = 4;
    if (!err) {
        err = settingGet(creator, instance, kSettingCmdTimeout, &seconds, &tlen);
        if (err == netErrPrefNotFound) err = 0, seconds = 0;  // no time-out set: no limit
    }
    if (!err && seconds) r.timeout = seconds > 0x7FFFFFFF / 1000 ? 0x7FFFFFFF : static_cast<int32_t>(seconds * 1000);
    SockraScriptReader reader{script, len < kScriptMax ? len : kScriptMax, 0, creator, instance, settingGet, context,
                              subst};
    while (!err) {
        SockraScriptCmd cmd;
        err = SockraScriptNextCmd(&reader, &cmd);
        if (err || cmd.kind == kScriptEnd) break;
        if (status) status(context, 0, PrvStep(cmd.kind), cmd.display);
        if (PrvCancelled(context, cancel)) break;
        err = PrvCommand(r, cmd);
    }
    if (r.log) os::MemPtrFree(r.log);
    return err;
}

bool ScriptHandleLive(const SockraScriptHandle* h) {
    std::lock_guard<std::mutex> lock(gLiveLock);
    return h && std::find(gLive.begin(), gLive.end(), h) != gLive.end();
}

Status ScriptPluginSelector(SockraScriptHandle* h, uint16_t selector, void* bufferP, uint16_t* sizeP,
                            uint16_t* timeoutP, uint32_t procAddr) {
    if (selector > 9) return netErrScriptSelector;
    if (selector == 0) return 0;
    const char* missing = nullptr;
    if (!h) missing = "Null handle arg passed to ScriptPluginSelector function";
    else if (selector != 8 && !bufferP) missing = "Null bufferP arg passed to ScriptPluginSelector function";
    else if (selector != 8 && selector != 7 && !sizeP) missing = "Null sizeP arg passed to ScriptPluginSelector function";
    else if (selector == 1 && !timeoutP) missing = "Null timeout arg passed to ScriptPluginSelector function";
    else if (selector == 8 && !procAddr) missing = "Null procAddr arg passed to ScriptPluginSelector function";
    if (missing) {
        os::ErrReport(kSourcePath, __LINE__, missing);
        return netErrParamErr;
    }
    auto cancelled = [h] { return PrvCancelled(h->context, h->cancel); };
    // Copies a text into the plug-in's buffer, bounded by its size (and 63 characters).
    auto copyOut = [&](const char* text) {
        if (*sizeP == 0) return netErrBufTooSmall;
        size_t n = strnlen(text, kScriptTextMax);
        if (n > *sizeP - 1u) n = *sizeP - 1u;
        memcpy(bufferP, text, n);
        static_cast<char*>(bufferP)[n] = 0;
        *sizeP = static_cast<uint16_t>(n + 1);
        return Status{0};
    };
    switch (selector) {
    case 1: {
        if (cancelled()) return netErrUserCancel;
        Status err = 0;
        uint32_t n = os::SrmReceive(h->serialPort, bufferP, *sizeP, static_cast<int32_t>(*timeoutP) * 1000, &err);
        if (cancelled()) return netErrUserCancel;
        *sizeP = static_cast<uint16_t>(n);
        if (err) {
            os::SrmClearErr(h->serialPort);
            return netErrTimeout;
        }
        return 0;
    }
    case 2: {
        if (cancelled()) return netErrUserCancel;
        Status err = 0;
        os::SrmSend(h->serialPort, bufferP, *sizeP, &err);
        if (err) return err;
        os::KALTaskWait(kSendSettleMs);
        return 0;
    }
    case 3:
    case 4: {
        char value[kScriptTextMax + 1] = {};
        uint16_t setting = selector == 3 ? kSettingUserID : kSettingPassword;
        uint16_t n = kScriptTextMax;
        Status err = SockraIFSettingGet(h->creator, h->instance, setting, value, &n);
        if (err) {
            memset(value, 0, sizeof value);
            err = h->subst ? h->subst(h->context, selector == 3 ? "USERID" : "PASSWORD", value, nullptr)
                           : netErrPrefNotFound;
            if (err) return err;
        }
        value[kScriptTextMax] = 0;
        return copyOut(value);
    }
    case 5:
        *static_cast<uint8_t*>(bufferP) = h->cancel ? h->cancel(h->context) : 0;
        *sizeP = 1;
        return 0;
    case 6: {
        if (cancelled()) return netErrUserCancel;
        char* block = static_cast<char*>(os::MemPtrNew(32));
        if (!block) return netErrOutOfMemory;
        memset(block, 0, 32);
        // The prompt is the plug-in's buffer, taken as a text of at most its size.
        char prompt[kScriptTextMax + 1] = {};
        memcpy(prompt, bufferP, *sizeP < kScriptTextMax ? *sizeP : kScriptTextMax);
        Status err = h->subst ? h->subst(h->context, prompt, block, nullptr) : netErrParamErr;
        block[31] = 0;
        if (!err) err = copyOut(block);
        os::MemPtrFree(block);
        return err;
    }
    case 7:
        if (cancelled()) return netErrUserCancel;
        PrvLog(h->log, static_cast<const char*>(bufferP), strnlen(static_cast<const char*>(bufferP), kScriptMax));
        return 0;
    case 8:
        return h->proc ? h->proc(h->context, procAddr) : netErrScriptSelector;
    case 9:
        if (*sizeP < 2) return netErrBufTooSmall;
        memcpy(bufferP, &h->serialPort, 2);
        *sizeP = 2;
        return 0;
    }
    return 0;
}

}  // namespace sockra

extern "C" vantor::Status SockraScriptExecute(uint32_t creator, uint16_t instance, uint16_t serialPort, void* context,
                                              sockra::ScriptStatusProc status, sockra::ScriptCancelProc cancel,
                                              sockra::ScriptSubstProc subst) {
    sockra::os::Trace("Sockra: SockraScriptExecute");
    return sockra::SockraScriptRun(creator, instance, serialPort, context, status, cancel, subst, SockraIFSettingGet,
                                   SockraIFSettingSet);
}

extern "C" vantor::Status SockraScriptExecuteDefault(uint32_t creator, uint16_t instance, uint16_t serialPort,
                                                     uint32_t value, sockra::ScriptStatusFn status,
                                                     sockra::ScriptCancelFn cancel, sockra::ScriptSubstFn subst) {
    sockra::os::Trace("Sockra: SockraScriptExecuteDefault");
    sockra::DefaultCallbacks callbacks{value, status, cancel, subst};
    return SockraScriptExecute(creator, instance, serialPort, &callbacks, sockra::PrvDefaultStatus,
                               sockra::PrvDefaultCancel, sockra::PrvDefaultSubst);
}
