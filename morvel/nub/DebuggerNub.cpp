#include "morvel/nub/DebuggerNub.h"

#include <cctype>
#include <cstring>

#include "common/BigEndian.h"
#include "common/DebuggerPackets.h"
#include "common/module/KezSlots.h"
#include "common/module/SlkCalls.h"
#include "common/module/SystemCalls.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/TrapDispatch.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using trapglue::Addr;
using trapglue::Global;
using trapglue::Mem;
using trapglue::SysCall;
using vantor::ReadBE16;
using vantor::ReadBE32;
using vantor::SlkPktHeaderType;
using vantor::WriteBE16;
using vantor::WriteBE32;
namespace slot = vantor::sysslot;
namespace slk = vantor::slksig;

constexpr uint16_t kDebuggerSocket = vantor::slkSocketDebugger;
constexpr uint16_t kTrapWord = 0x4E40;  // TRAP #0
constexpr uint16_t kErrNoMemory = 0x0102;
constexpr uint32_t kRegisterBlockSize = 74;
constexpr uint32_t kStateBodySize = 188;
constexpr uint32_t kRoutineScanLimit = 0x10000;
constexpr uint32_t kRoutineBackLimit = 8192;

// ---- OS, Kez and memory ----

void Trace(const char* text) { vantor::sys::SysTrace(0, "%s", text); }

uint32_t Readable(const EmulState* s, uint32_t p) { return p ? ValidatePtr(s, p, true, true) : 0; }

// The write-enable steps around writes into code: when the memory is protected by default, it is
// opened for the writes and closed again afterwards.
class WriteWindow {
public:
    WriteWindow() {
        opened_ = KezImport().Call<uint8_t()>(vantor::kezslot::HALMemoryIsProtected) == 0;
        if (opened_) KezImport().Call<uint16_t(uint8_t)>(vantor::kezslot::HALMemorySetProtection, 1);
    }
    ~WriteWindow() {
        if (opened_) KezImport().Call<uint16_t(uint8_t)>(vantor::kezslot::HALMemorySetProtection, 0);
    }

private:
    bool opened_;
};

void NubSend(SlkPktHeaderType* header, const uint8_t* body, uint16_t size) {
    vantor::SlkWriteDataType list[2] = {{size, body}, {0, nullptr}};
    SysCall<slk::SlkSendPacket>(slot::SlkSendPacket, header, list);
}

// A packet to the debugger's socket that nobody asked for.
void NubSendUnasked(const uint8_t* body, uint16_t size) {
    SlkPktHeaderType header{};
    header.dest = header.src = kDebuggerSocket;
    NubSend(&header, body, size);
}

// ---- registers ----

void RegistersTo(const EmulState* s, uint8_t* block) {
    for (int i = 0; i < 8; ++i) WriteBE32(block + 4 * i, s->D[i]);
    for (int i = 0; i < 7; ++i) WriteBE32(block + 32 + 4 * i, s->A[i]);
    WriteBE32(block + 60, s->A[7]);
    WriteBE32(block + 64, s->A[7]);
    WriteBE32(block + 68, s->PC);
    WriteBE16(block + 72, static_cast<uint16_t>(s->SR));
}

// A7 is sent twice: whichever copy the debugger changed is taken (the one at 64 when both were).
void RegistersFrom(EmulState* s, const uint8_t* block) {
    for (int i = 0; i < 8; ++i) s->D[i] = ReadBE32(block + 4 * i);
    for (int i = 0; i < 7; ++i) s->A[i] = ReadBE32(block + 32 + 4 * i);
    uint32_t first = ReadBE32(block + 60), second = ReadBE32(block + 64);
    if (second != s->A[7]) s->A[7] = second;
    else if (first != s->A[7]) s->A[7] = first;
    s->PC = ReadBE32(block + 68);
    s->SR = ReadBE16(block + 72);
}

void BreakpointsTo(const NubState* n, uint8_t* block) {
    for (int i = 0; i < kNubBreakpoints; ++i) {
        WriteBE32(block + 6 * i, n->bp[i].address);
        block[6 * i + 4] = n->bp[i].enabled;
        block[6 * i + 5] = n->bp[i].installed;
    }
}

// ---- routine lookup ----

bool IsEnd(uint16_t w) { return w == 0x4E75 || w == 0x4E73 || w == 0x4E74 || w == 0x4ED0; }

// The name that follows a routine's end word at `at`, when it is one; `length` gets its bytes
// (name and its length bytes).
bool NameAfter(const EmulState* s, uint32_t at, char* name, uint32_t* length) {
    if (Readable(s, at) < 2) return false;
    uint8_t b = *Mem(at);
    uint32_t n, from;
    if (b >= 0x81 && b <= 0x9F) {
        n = b - 0x80u;
        from = at + 1;
    } else if (b == 0x80) {
        n = *Mem(at + 1);
        from = at + 2;
    } else {
        return false;
    }
    if (n == 0 || n > 31 || Readable(s, from) < n) return false;
    for (uint32_t i = 0; i < n; ++i) {
        char c = static_cast<char>(*Mem(from + i));
        bool letter = std::isalpha(static_cast<unsigned char>(c)) || c == '_';
        if (!letter && !(i > 0 && std::isdigit(static_cast<unsigned char>(c)))) return false;
        if (name) name[i] = c;
    }
    if (name) name[n] = 0;
    if (length) *length = from + n - at;
    return true;
}

// The routine around `address`: 0, or 0xFFFF when none is found in readable memory.
uint16_t FindRoutine(const EmulState* s, uint32_t address, uint32_t* start, uint32_t* end, char name[32]) {
    *start = *end = 0;
    name[0] = 0;
    uint32_t at = address & ~1u;
    uint32_t readable = Readable(s, at);
    if (readable < 2) return 0xFFFF;
    uint32_t limit = readable < kRoutineScanLimit ? readable : kRoutineScanLimit;
    uint32_t e = 0;
    bool found = false;
    for (uint32_t off = 0; off + 2 <= limit; off += 2) {
        uint16_t w = ReadBE16(Mem(at + off));
        if (!IsEnd(w)) continue;
        uint32_t here = at + off;
        if (w == 0x4E75 && here >= 8 && Readable(s, here - 8) >= 2 && ReadBE16(Mem(here - 8)) == 0x0697) continue;
        e = here;
        found = true;
        break;
    }
    if (!found) return 0xFFFF;
    *end = e + 2;
    NameAfter(s, e + 2, name, nullptr);
    // Backward: a LINK, or the end of the routine before (its name skipped).
    uint32_t begin = at;
    for (uint32_t back = 2; back <= kRoutineBackLimit && at >= back; back += 2) {
        uint32_t p = at - back;
        if (Readable(s, p) < 2) break;
        uint16_t w = ReadBE16(Mem(p));
        if (w >= 0x4E50 && w <= 0x4E57) {
            begin = p;
            break;
        }
        if (IsEnd(w)) {
            uint32_t skip = 0;
            begin = p + 2;
            if (NameAfter(s, p + 2, nullptr, &skip)) begin = (p + 2 + skip + 1) & ~1u;
            break;
        }
    }
    *start = begin;
    return 0;
}

// ---- the state report ----

void StateBody(EmulState* s, NubState* n, uint8_t reason, uint8_t* body) {
    std::memset(body, 0, kStateBodySize);
    body[0] = 0x80;
    body[2] = reason;
    WriteBE16(body + 4, n->vector);
    RegistersTo(s, body + 6);
    uint32_t code = Readable(s, s->PC);
    for (uint32_t i = 0; i < 30 && i < code; ++i) body[80 + i] = *Mem(s->PC + i);
    BreakpointsTo(n, body + 110);
    uint32_t start, end;
    char name[32];
    if (FindRoutine(s, s->PC, &start, &end, name) == 0) {
        WriteBE32(body + 146, start);
        WriteBE32(body + 150, end);
        std::memcpy(body + 154, name, 32);
    }
}

// ---- breakpoints ----

void RemoveBreakpoints(NubState* n) {
    WriteWindow open;
    for (auto& b : n->bp) {
        if (!b.enabled || !b.installed) continue;
        WriteBE16(Mem(b.address), n->savedWords[&b - n->bp]);
        b.installed = 0;
    }
}

void InstallBreakpoints(EmulState* s, NubState* n) {
    WriteWindow open;
    for (auto& b : n->bp) {
        if (!b.enabled || !b.address || (b.address & 1) || Readable(s, b.address) < 2) continue;
        n->savedWords[&b - n->bp] = ReadBE16(Mem(b.address));
        WriteBE16(Mem(b.address), kTrapWord);
        b.installed = 1;
    }
}

// ---- memory commands ----

// The readable part of [address, address + length): its start and length.
void ReadablePart(const EmulState* s, uint32_t address, uint32_t length, uint32_t* from, uint32_t* count) {
    uint32_t skip = 0;
    while (skip < length && Readable(s, address + skip) == 0) ++skip;
    uint32_t readable = skip < length ? Readable(s, address + skip) : 0;
    *from = address + skip;
    *count = readable < length - skip ? readable : length - skip;
}

void ReadMemory(EmulState* s, uint8_t* body, uint16_t* size) {
    uint32_t address = ReadBE32(body + 2);
    uint32_t length = ReadBE16(body + 6);
    if (length > kNubBufferSize - 2) length = kNubBufferSize - 2;  // the reply must fit the buffer
    *size = static_cast<uint16_t>(length + 2);
    if (address == 0) return;
    uint8_t* out = body + 2;
    std::memset(out, 0, length);
    // Low addresses read the context record itself.
    for (uint32_t i = 0; i < length && address + i >= address && address + i < sizeof(EmulState); ++i)
        out[i] = reinterpret_cast<const uint8_t*>(s)[address + i];
    uint32_t from, count;
    ReadablePart(s, address, length, &from, &count);
    if (count) std::memmove(out + (from - address), Mem(from), count);
}

void WriteMemory(EmulState* s, uint8_t* body) {
    uint32_t address = ReadBE32(body + 2);
    uint32_t length = ReadBE16(body + 6);
    if (length > kNubBufferSize - 8) length = kNubBufferSize - 8;  // data lies in the buffer
    uint32_t from, count;
    ReadablePart(s, address, length, &from, &count);
    if (count) {
        KezImport().Call<void(uint32_t)>(vantor::kezslot::KALNullEntry151, 0);
        {
            WriteWindow open;
            std::memmove(Mem(from), body + 8 + (from - address), count);
        }
        KezImport().Call<void(uint32_t)>(vantor::kezslot::KALNullEntry151, 1);
    }
}

// Remote procedure call: parameters from the last argument to the first, pushed in that order.
// Every parameter must lie inside the buffer; a call whose list runs out of it is not made (D0 and
// A0 go back as sent).
void RemoteCall(EmulState* s, uint8_t* body, uint16_t* size) {
    uint16_t trap = ReadBE16(body + 2);
    uint16_t count = ReadBE16(body + 12);
    uint32_t saveD0 = s->D[0], saveA0 = s->A[0], saveA7 = s->A[7];
    bool ok = true;
    uint32_t at = 14;
    for (uint16_t i = 0; i < count && ok; ++i) {
        if (at + 2 > kNubBufferSize) {
            ok = false;
            break;
        }
        uint8_t byRef = body[at], n = body[at + 1];
        uint32_t data = at + 2;
        if (data + n > kNubBufferSize) {
            ok = false;
            break;
        }
        if (byRef) {
            s->A[7] -= 4;
            WriteBE32(Mem(s->A[7]), Addr(body + data));
        } else if (n == 1) {
            s->A[7] -= 2;
            WriteBE16(Mem(s->A[7]), static_cast<uint16_t>(body[data] << 8));
        } else if (n == 2) {
            s->A[7] -= 2;
            WriteBE16(Mem(s->A[7]), ReadBE16(body + data));
        } else {
            s->A[7] -= 4;
            WriteBE32(Mem(s->A[7]), n >= 4 ? ReadBE32(body + data) : 0);
        }
        at = data + n + (n & 1);
    }
    if (ok) {
        TrapDispatch(s, trap);
        WriteBE32(body + 4, s->D[0]);
        WriteBE32(body + 8, s->A[0]);
    }
    s->D[0] = saveD0;
    s->A[0] = saveA0;
    s->A[7] = saveA7;
    uint32_t length = ReadBE16(body + 6);
    *size = static_cast<uint16_t>(length > kNubBufferSize ? kNubBufferSize : length < 14 ? 14 : length);
}

// Find: the range is at most the 5000 bytes the debugger asks for at once, so that a request
// cannot hold the application for ever; matches are sought inside each readable span.
constexpr uint32_t kFindRange = 5000;

void Find(EmulState* s, uint8_t* body) {
    uint32_t first = ReadBE32(body + 2), last = ReadBE32(body + 6);
    uint32_t length = ReadBE16(body + 10);
    bool fold = body[12] != 0;
    if (length > kNubBufferSize - 14) length = kNubBufferSize - 14;
    if (last < first || last - first >= kFindRange) last = first + (kFindRange - 1) < first ? 0xFFFFFFFFu : first + (kFindRange - 1);
    uint8_t pattern[kNubBufferSize];
    std::memcpy(pattern, body + 14, length);
    auto same = [&](uint8_t a, uint8_t b) { return fold ? std::tolower(a) == std::tolower(b) : a == b; };
    uint32_t found = 0;
    bool hit = false;
    uint64_t p = first;
    while (length && !hit && p <= last) {
        uint32_t readable = Readable(s, static_cast<uint32_t>(p));
        if (readable == 0) {
            ++p;
            continue;
        }
        uint64_t end = p + readable;  // one past the readable span
        for (uint64_t q = p; q <= last && q + length <= end && !hit; ++q) {
            uint32_t i = 0;
            while (i < length && same(*Mem(static_cast<uint32_t>(q + i)), pattern[i])) ++i;
            if (i == length) {
                found = static_cast<uint32_t>(q);
                hit = true;
            }
        }
        p = end;
    }
    body[0] = 0x93;
    WriteBE32(body + 2, found);
    body[6] = hit ? 1 : 0;
    body[7] = 0;
}

// ---- the wait loop ----

void WaitLoop(EmulState* s, NubState* n) {
    EmulState* g = GetGlobalContext();
    if (!g) return;
    uint8_t* buffer;
    bool own = !n->bufferInUse && n->buffer;
    if (own) {
        n->bufferInUse = 1;
        buffer = n->buffer;
    } else {
        buffer = static_cast<uint8_t*>(vantor::sys::MemPtrNew(kNubBufferSize));
        if (!buffer) return;
    }
    if (!n->portOpen) {
        uint16_t port = 0;
        if (SysCall<slk::SlkSocketRefNum>(slot::SlkSocketRefNum, vantor::slkSocketConsole, &port) != 0) {
            // A port that does not open is not reported to the application; the stop goes on.
            SysCall<slk::SrmOpen>(slot::SrmOpen, vantor::kDebuggerSerialPort, 57600u, &port);
        }
        if (SysCall<slk::SlkOpen>(slot::SlkOpen) == vantor::slkErrInUse) SysCall<slk::SlkClose>(slot::SlkClose);
        uint16_t socket = kDebuggerSocket;
        SysCall<slk::SlkOpenSocket>(slot::SlkOpenSocket, port, &socket, uint8_t{1});
        n->portOpen = 1;
        if (!g->consoleTask) SysCall<slk::SlkFlushSocket>(slot::SlkFlushSocket, kDebuggerSocket, 125);
    }
    RemoveBreakpoints(n);
    bool report = !(n->stepOver && n->vector == kNubVectorTrace);
    if (!report) {
        s->SR &= ~kSrTrace1;
    } else {
        if (s->PC == n->bp[5].address) {
            n->bp[5].address = 0;
            n->bp[5].enabled = 0;
        }
        StateBody(s, n, n->firstStop, buffer);
        NubSendUnasked(buffer, kStateBodySize);
        n->firstStop = 0;
        g->nubStopped = 1;
        while (g->nubStopped) {
            SlkPktHeaderType header{};
            uint16_t err = SysCall<slk::SlkReceivePacket>(slot::SlkReceivePacket, kDebuggerSocket, uint8_t{0}, &header,
                                                          buffer, kNubBufferSize, -1);
            if (err == 0) {
                if (!g->nubStopped) continue;
                if (buffer[0] == vantor::dbgPktContinue) g->nubStopped = 0;
                PrvHandleCommands68K(s, &header, buffer);
            } else if (err == vantor::slkErrTimeout) {
                // The link is gone: the application goes on, past a TRAP #0 of its own code.
                g->nubStopped = 0;
                if (Readable(s, s->PC) >= 2 && ReadBE16(Mem(s->PC)) == kTrapWord) s->PC += 2;
            } else if (err == vantor::slkErrOtherSocket) {
                KezImport().Call<uint16_t(int32_t)>(vantor::kezslot::KALTaskDelay, 1);
            }
        }
    }
    n->traceBreakpoints = n->unreadableBreakpoint = n->stepOver = 0;
    if (!(s->SR & kSrTrace1)) {
        for (auto& b : n->bp) {
            b.installed = 0;
            if (!b.enabled || !b.address) continue;
            if (b.address == s->PC) n->stepOver = 1;
            if (Readable(s, b.address) == 0) n->unreadableBreakpoint = 1;
        }
        if (n->unreadableBreakpoint || n->watchFlag || n->stepOver) s->SR |= kSrTrace1;
        if (n->stepOver) n->unreadableBreakpoint = 0;
        if (n->unreadableBreakpoint || n->watchFlag) n->traceBreakpoints = 1;
        if (!(s->SR & kSrTrace1) && !n->breakpointSuspend) InstallBreakpoints(s, n);
    }
    n->resumePC = s->PC;
    if (own) n->bufferInUse = 0;
    else vantor::sys::MemChunkFree(buffer);
}

void NubEntryPoint(EmulState* s, uint16_t vector) { DbgEnterWithVector(s, vector); }

void TrapDbgMessage(EmulState* s, uint16_t) {
    uint32_t text = GetArgPtr(s, 0);
    char copy[kNubBufferSize - 1];
    uint32_t readable = Readable(s, text);
    uint32_t n = 0;
    while (n < readable && n < sizeof copy - 1 && *Mem(text + n)) {
        copy[n] = static_cast<char>(*Mem(text + n));
        ++n;
    }
    copy[n] = 0;
    DbgSendMessage(s, copy);
}

}  // namespace

NubState* PrvVerifyDbgGlobals(EmulState* s) {
    if (s->nub) return static_cast<NubState*>(s->nub);
    auto* n = static_cast<NubState*>(vantor::sys::MemPtrNew(sizeof(NubState)));
    auto* buffer = static_cast<uint8_t*>(vantor::sys::MemPtrNew(kNubBufferSize));
    if (!n || !buffer) {
        if (n) vantor::sys::MemChunkFree(n);
        if (buffer) vantor::sys::MemChunkFree(buffer);
        return nullptr;
    }
    vantor::sys::MemPtrSetOwner(n, 0);
    vantor::sys::MemPtrSetOwner(buffer, 0);
    std::memset(n, 0, sizeof *n);
    std::memset(buffer, 0, kNubBufferSize);
    n->buffer = buffer;
    n->firstStop = 1;
    s->nub = n;
    return n;
}

uint8_t DbgEnterWithVector(EmulState* s, uint16_t vector) {
    NubState* n = PrvVerifyDbgGlobals(s);
    if (!n) return 1;
    uint32_t pc = s->PC;
    if (vector == kNubVectorBreakpoint) s->PC -= 2;
    uint16_t previous = n->vector;
    n->vector = vector;
    if (vector == kNubVectorTrace) {
        // The entry before the first instruction at a stop's own PC belongs to that stop. (The
        // interpreter makes none after TRAP #0 and TRAP #8, so a single step runs one instruction.)
        bool afterStop = previous == kNubVectorBreakpoint || previous == kNubVectorBreak || previous == kNubVectorTrapBreak;
        if (afterStop && s->PC == n->resumePC) return 1;
        if (n->traceBreakpoints) {
            bool stop = false;
            if (n->watchFlag && Readable(s, n->watchAddress) >= 4 && ReadBE32(Mem(n->watchAddress)) != n->watchValue)
                stop = true;
            else if (!n->unreadableBreakpoint)
                return 1;
            for (const auto& b : n->bp)
                if (!stop && b.enabled && b.address == s->PC) stop = true;
            if (!stop) return 1;
        }
    }
    WaitLoop(s, n);
    return s->PC == pc ? 1 : 0;
}

uint8_t DbgTrapBreakCheck(EmulState* s, uint16_t trapIndex) {
    NubState* n = PrvVerifyDbgGlobals(s);
    if (!n) return 1;
    bool hit = false;
    for (uint16_t t : n->trapBreaks)
        if (t && t == (trapIndex & 0x0FFF)) hit = true;
    if (!hit) return 1;
    uint32_t pc = s->PC;
    s->PC -= 4;
    uint8_t answer = DbgEnterWithVector(s, kNubVectorTrapBreak);
    if (answer) s->PC = pc;
    return answer;
}

void DbgNubClose(EmulState* s) {
    if (auto* n = static_cast<NubState*>(s->nub)) {
        if (n->buffer) vantor::sys::MemChunkFree(n->buffer);
        vantor::sys::MemChunkFree(n);
        s->nub = nullptr;
    }
    uint16_t port = 0, console = 0;
    if (SysCall<slk::SlkSocketRefNum>(slot::SlkSocketRefNum, kDebuggerSocket, &port) == 0) {
        SysCall<slk::SlkCloseSocket>(slot::SlkCloseSocket, kDebuggerSocket);
        if (SysCall<slk::SlkSocketRefNum>(slot::SlkSocketRefNum, vantor::slkSocketConsole, &console) != 0)
            SysCall<slk::SrmClose>(slot::SrmClose, port);
        SysCall<slk::SlkClose>(slot::SlkClose);
    }
}

uint16_t PrvHandleCommands68K(EmulState* s, SlkPktHeaderType* header, uint8_t* body) {
    if (header->type != 0) return vantor::slkErrPacketType;
    auto* n = static_cast<NubState*>(s->nub);
    if (!n) return 0;
    uint8_t command = body[0];
    uint16_t size = 0;
    switch (command) {
        case vantor::dbgPktState:
            StateBody(s, n, 0, body);
            size = kStateBodySize;
            break;
        case vantor::dbgPktRtnName: {
            uint32_t address = ReadBE32(body + 2), start, end;
            char name[32];
            FindRoutine(s, address, &start, &end, name);
            WriteBE32(body + 6, start);
            WriteBE32(body + 10, end);
            std::memcpy(body + 14, name, 32);
            size = 46;
            break;
        }
        case vantor::dbgPktReadRegs:
            RegistersTo(s, body + 2);
            size = 2 + kRegisterBlockSize;
            break;
        case vantor::dbgPktWriteRegs:
            RegistersFrom(s, body + 2);
            size = 2;
            break;
        case vantor::dbgPktContinue:
            RegistersFrom(s, body + 2);
            n->watchFlag = body[76];
            n->watchAddress = ReadBE32(body + 78);
            n->watchValue = ReadBE32(body + 86);
            return 0;
        case vantor::dbgPktGetBreakpoints:
            BreakpointsTo(n, body + 2);
            size = 2 + 6 * kNubBreakpoints;
            break;
        case vantor::dbgPktSetBreakpoints:
            for (int i = 0; i < kNubBreakpoints; ++i) {
                n->bp[i].address = ReadBE32(body + 2 + 6 * i);
                n->bp[i].enabled = body[2 + 6 * i + 4];
                n->bp[i].installed = 0;  // they are out of the code while stopped
            }
            size = 2;
            break;
        case vantor::dbgPktToggleDbgBreaks:
            n->breakpointSuspend = !n->breakpointSuspend;
            body[2] = n->breakpointSuspend;
            body[3] = 0;
            size = 4;
            break;
        case vantor::dbgPktGetTrapBreaks:
        case vantor::dbgPktGetTrapConditions: {
            const uint16_t* words = command == vantor::dbgPktGetTrapBreaks ? n->trapBreaks : n->trapConditionals;
            for (int i = 0; i < kNubTrapBreaks; ++i) WriteBE16(body + 2 + 2 * i, words[i]);
            size = 12;
            break;
        }
        case vantor::dbgPktSetTrapBreaks:
            n->trapBreakCount = 0;
            for (int i = 0; i < kNubTrapBreaks; ++i) {
                n->trapBreaks[i] = ReadBE16(body + 2 + 2 * i) & 0x0FFF;
                if (n->trapBreaks[i]) ++n->trapBreakCount;
            }
            size = 2;
            break;
        case vantor::dbgPktSetTrapConditions:
            for (int i = 0; i < kNubTrapBreaks; ++i) n->trapConditionals[i] = ReadBE16(body + 2 + 2 * i);
            size = 2;
            break;
        case vantor::sysPktChecksumCmd:
            Trace("PrvHandleCommands68K: Not entirely implemented sysPktChecksumCmd");
            size = 2;
            break;
        case vantor::dbgPktFlash:
            Trace("Flashing is not supported while running in Tolv.\n");
            return 0;
        case vantor::dbgPktMessage:
            SysCall<slk::SlkFlushSocket>(slot::SlkFlushSocket, kDebuggerSocket, 125);
            return 0;
        default:
            MorvelSysPktDefaultResponse(s, header, body);
            return 0;
    }
    body[0] = static_cast<uint8_t>(command | vantor::dbgReplyFlag);
    NubSend(header, body, size);
    return 0;
}

void MorvelSysPktDefaultResponse(EmulState* s, SlkPktHeaderType* header, uint8_t* body) {
    uint8_t command = body[0];
    uint16_t size = 0;
    switch (command) {
        case vantor::dbgPktState:
            // While the application runs: break into it.
            if (vantor::sys::SysIsEmulationAllowed()) {
                if (EmulState* c = GetCurrentContext(); c && c != GetGlobalContext()) MorvelEnterNub(c, kNubVectorBreak);
            } else {
                SysCall<uint16_t(uint16_t, uint16_t, uint16_t)>(slot::EvtEnqueueKey, 0x0102, 0, 0x0008);
            }
            return;
        case vantor::dbgPktReadMem:
            ReadMemory(s, body, &size);
            break;
        case vantor::dbgPktWriteMem:
            WriteMemory(s, body);
            size = 2;
            break;
        case vantor::dbgPktRemoteCall:
            RemoteCall(s, body, &size);
            break;
        case vantor::dbgPktFind:
            Find(s, body);
            NubSend(header, body, 8);
            return;
        case vantor::sysPktRemoteEvtCmd:
            Trace("MorvelSysPktDefaultResponse: Unimplemented sysPktRemoteEvtCmd\n");
            return;
        default:
            SysCall<slk::SlkSysPktDefaultResponse>(slot::SlkSysPktDefaultResponse, header, body);
            return;
    }
    body[0] = static_cast<uint8_t>(command | vantor::dbgReplyFlag);
    NubSend(header, body, size);
}

void DbgSendMessage(EmulState*, const char* text) {
    uint8_t body[kNubBufferSize];
    size_t n = std::strlen(text);
    if (n > kNubBufferSize - 2) n = kNubBufferSize - 2;
    body[0] = vantor::dbgPktMessage;
    std::memcpy(body + 1, text, n);
    body[1 + n] = 0;
    Trace(text);
    uint16_t port;
    if (SysCall<slk::SlkSocketRefNum>(slot::SlkSocketRefNum, kDebuggerSocket, &port) == 0)
        NubSendUnasked(body, static_cast<uint16_t>(n + 2));
}

void DbgNubInstall(TrapHandler* table) {
    MorvelSetNubEntry(NubEntryPoint);
    table[0x080] = TrapDbgMessage;
    table[0x081] = TrapDbgMessage;
}

}  // namespace morvel
