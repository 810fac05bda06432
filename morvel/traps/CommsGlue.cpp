#include "morvel/traps/CommsGlue.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/ContextGate.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/Libraries.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;
namespace kez = vantor::kezslot;
namespace kezsig = vantor::kezsig;

constexpr const char* kFile = "Comms68K";
constexpr uint16_t kErrNoMemory = 0x0504;
constexpr uint16_t kErrWakeupNoMemory = 0x0303;
constexpr uint16_t kErrSlkListenerRefused = 0x040B;
constexpr uint16_t kErrDlkUnsupported = 0x0E01;
constexpr uint16_t kErrDlkNoServer = 0x0E03;
constexpr uint16_t kErrSlkAlreadyOpen = 0x040C;
constexpr uint16_t kErrSlkTimeout = 0x0404;
constexpr uint16_t kErrSlkWouldBlock = 0x040F;
constexpr uint16_t kErrSerPortNotFound = 0x0307;


EmulState* TopLevel(EmulState* s) {
    while (s && s->parent) s = s->parent;
    return s;
}

// A 68K time-out in system ticks, as the OS counts them.
int32_t Ticks(const EmulState* s, uint32_t offset) {
    return GetArgTicks(s, offset);
}

// ---- serial library references ----

// A reference of the serial manager passes as it is; another is a 68K serial library, asked for
// its port by its library call 0xA816 (reference, 0x0100, address of the result word).
uint16_t SerialRefToPort(EmulState* s, uint16_t ref) {
    if ((ref >> 8) == 0xC0) return ref;
    uint8_t result[2] = {};
    // The arguments go below A7 as a 68K caller pushes them; the call takes A7 over them and back.
    Write68KUInt16(s->A[7] - 8, 0, ref);
    Write68KUInt16(s->A[7] - 6, 0, 0x0100);
    Write68KUInt32(s->A[7] - 4, 0, Addr(result));
    const uint8_t called = LibCallEntry(s, ref, 0xA816, 8);
    if (called && (s->D[0] & 0xFF) == 0) return Read68KUInt16(Addr(result), 0);
    return ref;
}

// ---- the serial link ----

constexpr uint32_t kHeaderBytes = 10;
constexpr uint32_t kBodyMax = 272;

struct NativeWriteEntry {
    uint16_t size;
    uint16_t pad;
    const void* data;
};
static_assert(sizeof(NativeWriteEntry) == 8);

// A 68K write list: 6-byte entries, ending with size 0. At most this many are taken.
constexpr uint32_t kMaxWriteEntries = 64;

uint16_t SendPacket(const uint8_t* header, const NativeWriteEntry* list) {
    return SysCall<uint16_t(const void*, const NativeWriteEntry*)>(slot::SlkSendPacket, header, list);
}

void TrapSlkSendPacket(EmulState* s, uint16_t) {
    const uint32_t header = GetArgPtr(s, 0), list = GetArgPtr(s, 4);
    uint32_t count = 1;
    while (list && count <= kMaxWriteEntries && Read68KUInt16(list, 6 * (count - 1)) != 0) ++count;
    auto* native = static_cast<NativeWriteEntry*>(sys::MemPtrNew(count * sizeof(NativeWriteEntry)));
    if (!native) {
        SetResultD0UInt16(s, kErrNoMemory);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const bool last = i + 1 == count;
        native[i].size = last || !list ? 0 : Read68KUInt16(list, 6 * i);
        native[i].pad = 0;
        native[i].data = last || !list ? nullptr : Ptr(Read68KUInt32(list, 6 * i + 2));
    }
    uint8_t h[kHeaderBytes] = {};
    if (header) std::memcpy(h, Ptr(header), kHeaderBytes);
    const uint16_t err = SendPacket(h, native);
    sys::MemChunkFree(native);
    SetResultD0UInt16(s, err);
}

uint16_t ReceivePacket(uint16_t socket, uint8_t others, void* header, void* body, uint16_t size,
                       int32_t timeout) {
    return SysCall<uint16_t(uint16_t, uint8_t, void*, void*, uint16_t, int32_t)>(
        slot::SlkReceivePacket, socket, others, header, body, size, timeout);
}

void TrapSlkReceivePacket(EmulState* s, uint16_t) {
    uint8_t header[kHeaderBytes] = {};
    const uint32_t headerP = GetArgPtr(s, 4);
    const uint16_t err = ReceivePacket(U16(s, 0), U8(s, 2), header, P(s, 8), U16(s, 12), Ticks(s, 14));
    if (headerP) std::memcpy(Ptr(headerP), header, kHeaderBytes);
    SetResultD0UInt16(s, err);
}

void TrapSlkOpenSocket(EmulState* s, uint16_t) {
    const uint16_t port = SerialRefToPort(s, U16(s, 0));
    InOut16 socket(GetArgPtr(s, 2));
    SetResultD0UInt16(s, SysCall<uint16_t(uint16_t, uint16_t*, uint8_t)>(slot::SlkOpenSocket, port,
                                                                         socket.Native(), U8(s, 6)));
    socket.WriteBack();
}
void TrapSlkSocketRefNum(EmulState* s, uint16_t) {
    InOut16 ref(GetArgPtr(s, 2));
    SetResultD0UInt16(s,
                      SysCall<uint16_t(uint16_t, uint16_t*)>(slot::SlkSocketRefNum, U16(s, 0), ref.Native()));
    ref.WriteBack();
}
void TrapSlkSocketSetTimeout(EmulState* s, uint16_t) {
    SetResultD0UInt16(
        s, SysCall<uint16_t(uint16_t, int32_t)>(slot::SlkSocketSetTimeout, U16(s, 0), Ticks(s, 2)));
}
void TrapSlkFlushSocket(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(uint16_t, int32_t)>(slot::SlkFlushSocket, U16(s, 0), Ticks(s, 2)));
}
void TrapSlkCloseSocket(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(uint16_t)>(slot::SlkCloseSocket, U16(s, 0)));
}
void TrapSlkOpen(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t()>(slot::SlkOpen));
}
void TrapSlkClose(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t()>(slot::SlkClose));
}
void TrapSlkSetSocketListener(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, kErrSlkListenerRefused);
}

// ---- CRC, digests and encryption ----

void TrapCrc16CalcBlock(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(const void*, uint16_t, uint16_t)>(slot::Crc16CalcBlock, P(s, 0),
                                                                            U16(s, 4), U16(s, 6)));
}
// (data, length, digest): MD4 and MD5.
template <uint16_t Slot>
void Digest(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(const void*, uint32_t, void*)>(Slot, P(s, 0), U32(s, 4), P(s, 8)));
}
void TrapEncDES(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(const void*, const void*, void*, uint8_t)>(
                             slot::EncDES, P(s, 0), P(s, 4), P(s, 8), U8(s, 12)));
}

// ---- file streams ----

void TrapFileOpen(EmulState* s, uint16_t) {
    InOut16 err(GetArgPtr(s, 18));
    void* stream = SysCall<void*(uint16_t, const char*, uint32_t, uint32_t, uint32_t, uint16_t*)>(
        slot::FileOpen, U16(s, 0), Str(GetArgPtr(s, 2)), U32(s, 6), U32(s, 10), U32(s, 14), err.Native());
    err.WriteBack();
    SetResultA0(s, Addr(stream));
}
void TrapFileClose(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(void*)>(slot::FileClose, P(s, 0)));
}
void TrapFileDelete(EmulState* s, uint16_t) {
    SetResultD0UInt16(
        s, SysCall<uint16_t(uint16_t, const char*)>(slot::FileDelete, U16(s, 0), Str(GetArgPtr(s, 2))));
}
// FileReadLow (stream, base, offset, data-store flag, object size, count, error).
void TrapFileReadLow(EmulState* s, uint16_t) {
    InOut16 err(GetArgPtr(s, 22));
    SetResultD0UInt32(s, SysCall<uint32_t(void*, void*, int32_t, uint8_t, uint32_t, uint32_t, uint16_t*)>(
                             slot::FileReadLow, P(s, 0), P(s, 4), static_cast<int32_t>(U32(s, 8)), U8(s, 12),
                             U32(s, 14), U32(s, 18), err.Native()));
    err.WriteBack();
}
// FileWrite (stream, data, object size, count, error).
void TrapFileWrite(EmulState* s, uint16_t) {
    InOut16 err(GetArgPtr(s, 16));
    SetResultD0UInt32(s, SysCall<uint32_t(void*, const void*, uint32_t, uint32_t, uint16_t*)>(
                             slot::FileWrite, P(s, 0), P(s, 4), U32(s, 8), U32(s, 12), err.Native()));
    err.WriteBack();
}
void TrapFileSeek(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(void*, int32_t, uint8_t)>(
                             slot::FileSeek, P(s, 0), static_cast<int32_t>(U32(s, 4)), U8(s, 8)));
}
void TrapFileTell(EmulState* s, uint16_t) {
    InOut32 size(GetArgPtr(s, 4));
    InOut16 err(GetArgPtr(s, 8));
    SetResultD0UInt32(s, SysCall<uint32_t(void*, uint32_t*, uint16_t*)>(slot::FileTell, P(s, 0),
                                                                        size.Native(), err.Native()));
    size.WriteBack();
    err.WriteBack();
}
void TrapFileTruncate(EmulState* s, uint16_t) {
    SetResultD0UInt16(
        s, SysCall<uint16_t(void*, int32_t)>(slot::FileTruncate, P(s, 0), static_cast<int32_t>(U32(s, 4))));
}
// FileControl (operation, stream, value pointer, length pointer holding a 32-bit length).
void TrapFileControl(EmulState* s, uint16_t) {
    const uint32_t valueP = GetArgPtr(s, 6);
    InOut32 length(GetArgPtr(s, 10));
    uint32_t value = 0;
    const uint16_t err = SysCall<uint16_t(uint8_t, void*, void*, uint32_t*)>(
        slot::FileControl, U8(s, 0), P(s, 2), valueP ? &value : nullptr, length.Native());
    if (!err && valueP) {
        if (length.value == 1)
            Write68KInt8(valueP, 0, static_cast<uint8_t>(value));
        else if (length.value == 2)
            Write68KUInt16(valueP, 0, static_cast<uint16_t>(value));
        else if (length.value == 4)
            Write68KUInt32(valueP, 0, value);
    }
    length.WriteBack();
    SetResultD0UInt16(s, err);
}

// ---- desktop link ----

const uint8_t kDlkControlLayout[] = {0x12, 0x54, 0};
constexpr uint16_t kDlkControlOp = 9;
constexpr uint16_t kDlkControlNativeBytes = 24;

void TrapDlkControl(EmulState* s, uint16_t) {
    const uint16_t op = U16(s, 0);
    if (op != kDlkControlOp) {
        SetResultD0UInt16(s, kErrDlkUnsupported);
        return;
    }
    const uint32_t p = GetArgPtr(s, 2);
    alignas(4) uint8_t native[kDlkControlNativeBytes] = {};
    if (p) {
        RecordToNative(native, p, kDlkControlLayout);
        std::memcpy(native, &kDlkControlNativeBytes, 2);
    }
    const uint16_t err =
        SysCall<uint16_t(uint16_t, void*, void*)>(slot::DlkControl, op, p ? native : nullptr, P(s, 6));
    if (p) RecordTo68K(native, p, kDlkControlLayout);
    SetResultD0UInt16(s, err);
}
void TrapDlkNoServer(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, kErrDlkNoServer);
}
// DlkGetSyncInfo (successful sync, last sync, sync state, name buffer, log buffer, log length).
void TrapDlkGetSyncInfo(EmulState* s, uint16_t) {
    uint32_t success = 0, last = 0;
    uint8_t state = 0;
    InOut32 logLength(GetArgPtr(s, 20));
    const uint16_t err = SysCall<uint16_t(uint32_t*, uint32_t*, uint8_t*, char*, char*, uint32_t*)>(
        slot::DlkGetSyncInfo, &success, &last, &state, Str(GetArgPtr(s, 12)), Str(GetArgPtr(s, 16)),
        logLength.Native());
    if (!err) {
        if (uint32_t p = GetArgPtr(s, 0)) Write68KUInt32(p, 0, success);
        if (uint32_t p = GetArgPtr(s, 4)) Write68KUInt32(p, 0, last);
        if (uint32_t p = GetArgPtr(s, 8)) Write68KInt8(p, 0, state);
        logLength.WriteBack();
    }
    SetResultD0UInt16(s, err);
}
void TrapDlkSetLogEntry(EmulState* s, uint16_t) {
    SysCall<void(const char*, int16_t, uint8_t)>(slot::DlkSetLogEntry, Str(GetArgPtr(s, 0)),
                                                 static_cast<int16_t>(U16(s, 4)), U8(s, 6));
}

// ---- modem ----

struct NativeModem {
    uint16_t port;
    uint16_t pad0;
    uint32_t w2, w6;
    uint16_t h10, h12, h14;
    uint8_t b16[2];
    uint8_t b18, b19;
    uint16_t pad1;
    void* cancel;
    uint32_t cancelArg;
    char text[81];
    uint8_t pad2[3];
    uint32_t w190;
    uint8_t b194, b195;
};

uint16_t MdmCancelBridge(uint32_t argument) {
    EmulState* s = GetTaskContext();
    if (!s) return 0;
    const uint32_t procedure = Read68KUInt32(s->A[7], 0);
    Write68KUInt32(s->A[7] - 4, 0, argument);
    Call68KCode(s, procedure, 4);
    return static_cast<uint16_t>(s->D[0]);
}

void ModemCall(EmulState* s, bool dial) {
    const uint32_t p = GetArgPtr(s, 0);
    if (!p) {
        SetResultD0UInt16(s, 0x0502);
        return;
    }
    NativeModem m{};
    m.port = SerialRefToPort(s, Read68KUInt16(p, 0));
    m.w2 = Read68KUInt32(p, 2);
    m.w6 = Read68KUInt32(p, 6);
    m.h10 = Read68KUInt16(p, 10);
    m.h12 = Read68KUInt16(p, 12);
    m.h14 = Read68KUInt16(p, 14);
    std::memcpy(m.b16, Ptr(p + 16), 2);
    m.b18 = Read68KInt8(p, 18);
    m.b19 = Read68KInt8(p, 19);
    const uint32_t procedure = Read68KUInt32(p, 20);
    m.cancel = procedure ? reinterpret_cast<void*>(&MdmCancelBridge) : nullptr;
    m.cancelArg = Read68KUInt32(p, 24);
    if (Read68KInt8(p, 195) == 1) {
        std::memcpy(m.text, Ptr(p + 28), sizeof m.text);
        m.text[sizeof m.text - 1] = 0;
    }
    m.w190 = Read68KUInt32(p, 190);
    m.b194 = Read68KInt8(p, 194);
    m.b195 = Read68KInt8(p, 195);
    const uint32_t a = GetArgPtr(s, 4), b = GetArgPtr(s, 8), c = GetArgPtr(s, 12);
    s->A[7] -= 4;
    Write68KUInt32(s->A[7], 0, procedure);
    const uint16_t err =
        dial ? SysCall<uint16_t(NativeModem*, void*, void*, void*)>(slot::MdmDial, &m, Ptr(a), Ptr(b), Ptr(c))
             : SysCall<uint16_t(NativeModem*)>(slot::MdmHangUp, &m);
    s->A[7] += 4;
    Write68KUInt32(p, 2, m.w2);
    Write68KUInt16(p, 14, m.h14);
    std::memcpy(Ptr(p + 16), m.b16, 2);
    Write68KInt8(p, 18, m.b18);
    Write68KUInt32(p, 190, m.w190);
    SetResultD0UInt16(s, err);
}
void TrapMdmDial(EmulState* s, uint16_t) {
    ModemCall(s, true);
}
void TrapMdmHangUp(EmulState* s, uint16_t) {
    ModemCall(s, false);
}

// ---- connection profiles ----

void TrapCncGetProfileList(EmulState* s, uint16_t) {
    uint32_t* list = nullptr;
    uint16_t count = 0;
    const uint16_t err = SysCall<uint16_t(uint32_t**, uint16_t*)>(slot::CncGetProfileList, &list, &count);
    if (!err && list)
        for (uint16_t i = 0; i < count; ++i) Write68KUInt32(Addr(&list[i]), 0, list[i]);
    if (!err) {
        if (uint32_t p = GetArgPtr(s, 0)) Write68KUInt32(p, 0, Addr(list));
        if (uint32_t p = GetArgPtr(s, 4)) Write68KUInt16(p, 0, count);
    }
    SetResultD0UInt16(s, err);
}
void TrapCncGetProfileInfo(EmulState* s, uint16_t) {
    uint32_t port = 0, speed = 0;
    uint16_t a = 0, b = 0;
    uint8_t f1 = 0, f2 = 0;
    const uint16_t err =
        SysCall<uint16_t(const char*, uint32_t*, uint32_t*, uint16_t*, uint16_t*, char*, char*, uint8_t*,
                         uint8_t*)>(slot::CncGetProfileInfo, Str(GetArgPtr(s, 0)), &port, &speed, &a, &b,
                                    Str(GetArgPtr(s, 20)), Str(GetArgPtr(s, 24)), &f1, &f2);
    if (!err) {
        if (uint32_t p = GetArgPtr(s, 4)) Write68KUInt32(p, 0, port);
        if (uint32_t p = GetArgPtr(s, 8)) Write68KUInt32(p, 0, speed);
        if (uint32_t p = GetArgPtr(s, 12)) Write68KUInt16(p, 0, a);
        if (uint32_t p = GetArgPtr(s, 16)) Write68KUInt16(p, 0, b);
        if (uint32_t p = GetArgPtr(s, 28)) Write68KInt8(p, 0, f1);
        if (uint32_t p = GetArgPtr(s, 32)) Write68KInt8(p, 0, f2);
    }
    SetResultD0UInt16(s, err);
}
void TrapCncAddProfile(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(const char*, uint32_t, uint32_t, uint16_t, uint16_t, const char*,
                                          const char*, uint8_t, uint8_t)>(
                             slot::CncAddProfile, Str(GetArgPtr(s, 0)), U32(s, 4), U32(s, 8), U16(s, 12),
                             U16(s, 14), Str(GetArgPtr(s, 16)), Str(GetArgPtr(s, 20)), U8(s, 24), U8(s, 26)));
}
void TrapCncDeleteProfile(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(const char*)>(slot::CncDeleteProfile, Str(GetArgPtr(s, 0))));
}

constexpr uint16_t kParamRaw = 0x4000;
void CncProfileGet(EmulState* s) {
    const uint16_t param = U16(s, 4);
    const uint32_t buffer = GetArgPtr(s, 6);
    InOut16 size(GetArgPtr(s, 10));
    const uint16_t err = SysCall<uint16_t(uint32_t, uint16_t, void*, uint16_t*)>(
        slot::CncMgrSel1, U32(s, 0), param, Ptr(buffer), size.Native());
    if (!err && !(param & kParamRaw) && buffer) {
        if (size.value == 2) {
            uint16_t v;
            std::memcpy(&v, Ptr(buffer), 2);
            Write68KUInt16(buffer, 0, v);
        } else if (size.value == 4) {
            uint32_t v;
            std::memcpy(&v, Ptr(buffer), 4);
            Write68KUInt32(buffer, 0, v);
        }
    }
    size.WriteBack();
    SetResultD0UInt16(s, err);
}
void CncProfileSet(EmulState* s) {
    const uint16_t param = U16(s, 4);
    const uint32_t buffer = GetArgPtr(s, 6);
    const uint16_t size = U16(s, 10);
    uint32_t value = 0;
    void* pass = Ptr(buffer);
    if (buffer && !(param & kParamRaw)) {
        const uint16_t kind = param & 0x7800;
        if (kind == 0x1800) {
            value = Read68KUInt32(buffer, 0);
            pass = &value;
        } else if (kind == 0x1000) {
            value = Read68KUInt16(buffer, 0);
            pass = &value;
        } else if (kind == 0 && (param & 0x7FF) == 0x7FF) {
            if (size != 4) ErrDisplayFileLineMsg(kFile, 585, "Returning a UInt32, byte size must be 4.");
            value = Read68KUInt32(buffer, 0);
            pass = &value;
        } else if (kind == 0 && size != 1) {
            ErrDisplayFileLineMsg(kFile, 581, "Returning a boolean, byte size must be 1.");
        }
    }
    SetResultD0UInt16(s, SysCall<uint16_t(uint32_t, uint16_t, void*, uint16_t)>(slot::CncMgrSel2, U32(s, 0),
                                                                                param, pass, size));
}

void TrapCncMgrDispatch(EmulState* s, uint16_t) {
    const uint16_t selector = static_cast<uint16_t>(s->D[2]);
    using U16Call = uint16_t();
    switch (selector) {
        case 0:
            SetResultD0UInt16(s, SysCall<U16Call>(slot::CncMgrSel0));
            break;
        case 1:
            CncProfileGet(s);
            break;
        case 2:
            CncProfileSet(s);
            break;
        case 3:
        case 6: {
            InOut32 out(GetArgPtr(s, 0));
            SetResultD0UInt16(s, SysCall<uint16_t(uint32_t*)>(
                                     selector == 3 ? slot::CncMgrSel3 : slot::CncMgrSel6, out.Native()));
            out.WriteBack();
            break;
        }
        case 4:
        case 7:
        case 13: {
            const uint16_t target = selector == 4   ? slot::CncMgrSel4
                                    : selector == 7 ? slot::CncMgrSel7
                                                    : slot::CncMgrSel13;
            SetResultD0UInt16(s, SysCall<uint16_t(uint32_t)>(target, U32(s, 0)));
            break;
        }
        case 5: {
            InOut32 io(GetArgPtr(s, 4));
            SetResultD0UInt16(s, SysCall<uint16_t(void*, uint32_t*)>(slot::CncMgrSel5, P(s, 0), io.Native()));
            io.WriteBack();
            break;
        }
        case 8: {
            InOut32 out(GetArgPtr(s, 2));
            SetResultD0UInt16(
                s, SysCall<uint16_t(uint16_t, uint32_t*)>(slot::CncMgrSel8, U16(s, 0), out.Native()));
            out.WriteBack();
            break;
        }
        case 9: {
            InOut16 io(GetArgPtr(s, 4));
            SetResultD0UInt16(
                s, SysCall<uint16_t(uint32_t, uint16_t*)>(slot::CncMgrSel9, U32(s, 0), io.Native()));
            io.WriteBack();
            break;
        }
        case 10: {
            InOut16 out(GetArgPtr(s, 0));
            SetResultD0UInt16(s, SysCall<uint16_t(uint16_t*)>(slot::CncMgrSel10, out.Native()));
            out.WriteBack();
            break;
        }
        case 11:
            SetResultD0UInt16(s, SysCall<U16Call>(slot::CncMgrSel11));
            break;
        case 12:
            SetResultD0UInt16(s, SysCall<U16Call>(slot::CncMgrSel12));
            break;
        case 14: {
            InOut32 out(GetArgPtr(s, 4));
            SetResultD0UInt16(
                s, SysCall<uint16_t(uint32_t, uint32_t*)>(slot::CncMgrSel14, U32(s, 0), out.Native()));
            out.WriteBack();
            break;
        }
        case 15:
            SysCall<U16Call>(slot::CncMgrSel15);
            break;
        case 16:
            SysCall<U16Call>(slot::CncMgrSel16);
            break;
        default:
            ErrDisplayFileLineMsg(kFile, 1169, "Unknown CncProfileDispatch request:", selector);
            break;
    }
}

// ---- the serial manager ----

// Control values by length: 1 byte, 16-bit or 32-bit big-endian.
uint32_t ReadByLength(uint32_t p, uint16_t length) {
    if (!p) return 0;
    if (length == 1) return Read68KInt8(p, 0);
    if (length == 2) return Read68KUInt16(p, 0);
    return Read68KUInt32(p, 0);
}
void WriteByLength(uint32_t p, uint16_t length, uint32_t value) {
    if (!p) return;
    if (length == 1)
        Write68KInt8(p, 0, static_cast<uint8_t>(value));
    else if (length == 2)
        Write68KUInt16(p, 0, static_cast<uint16_t>(value));
    else if (length == 4)
        Write68KUInt32(p, 0, value);
}

constexpr uint16_t kCtlSetTimeout = 5, kCtlGetTimeout = 6;

void SerialControl(EmulState* s) {
    const uint16_t op = U16(s, 2);
    const uint32_t valueP = GetArgPtr(s, 4), lengthP = GetArgPtr(s, 8);
    uint16_t length = lengthP ? Read68KUInt16(lengthP, 0) : 0;
    if (op >= 1 && op <= 6) length = 4;
    uint32_t value = ReadByLength(valueP, length);
    if (op == kCtlSetTimeout && length == 4) {
        const int32_t t = static_cast<int32_t>(value);
        if (t > 0) value = static_cast<uint32_t>(t > INT32_MAX / 10 ? INT32_MAX : t * 10);
    }
    const uint16_t err = SysCall<uint16_t(uint16_t, uint16_t, void*, uint16_t*)>(
        slot::SrmControl, U16(s, 0), op, valueP ? &value : nullptr, lengthP ? &length : nullptr);
    if (op == kCtlGetTimeout && length == 4) {
        const int32_t t = static_cast<int32_t>(value);
        if (t > 0) value = static_cast<uint32_t>(t / 10);
    }
    if (lengthP) Write68KUInt16(lengthP, 0, length);
    WriteByLength(valueP, length, value);
    SetResultD0UInt16(s, err);
}
void SerialControlByLength(EmulState* s) {
    const uint32_t valueP = GetArgPtr(s, 8), lengthP = GetArgPtr(s, 12);
    uint16_t length = lengthP ? Read68KUInt16(lengthP, 0) : 0;
    uint32_t value = ReadByLength(valueP, length);
    const uint16_t err = SysCall<uint16_t(uint16_t, uint16_t, uint32_t, void*, uint16_t*)>(
        slot::SerialSel26, U16(s, 0), U16(s, 2), U32(s, 4), valueP ? &value : nullptr,
        lengthP ? &length : nullptr);
    if (lengthP) Write68KUInt16(lengthP, 0, length);
    WriteByLength(valueP, length, value);
    SetResultD0UInt16(s, err);
}

// The serial configuration record: three 32-bit fields and one 16-bit field.
const uint8_t kSerialConfigLayout[] = {0x34, 0x12, 0};
void SerialOpenConfigured(EmulState* s, uint16_t slotNumber) {
    const uint32_t config = GetArgPtr(s, 4);
    alignas(4) uint8_t native[16] = {};
    if (config) RecordToNative(native, config, kSerialConfigLayout);
    InOut16 portID(GetArgPtr(s, 10));
    const uint16_t err = SysCall<uint16_t(uint32_t, void*, uint16_t, uint16_t*)>(
        slotNumber, U32(s, 0), config ? native : nullptr, U16(s, 8), portID.Native());
    if (config) RecordTo68K(native, config, kSerialConfigLayout);
    portID.WriteBack();
    SetResultD0UInt16(s, err);
}

// ---- serial wake-up handlers ----

struct WakeupTask;
struct WakeupEntry {
    WakeupEntry* next;
    WakeupTask* task;
    uint16_t port;
    uint32_t procedure;
    uint32_t refCon;
    uint8_t pending;
};
// The list and its task belong to the application's top-level context; the OS's wake-up call
// only marks an entry and signals the semaphore.
struct WakeupTask {
    WakeupEntry* head;
    uint32_t task, mutex, semaphore;
    EmulState* owner;
};

template <typename Sig, typename... A>
auto Kez(uint16_t slotNumber, A... args) {
    return KezImport().Call<Sig>(slotNumber, args...);
}

WakeupTask*& TaskOf(EmulState* top) {
    return *reinterpret_cast<WakeupTask**>(&top->serialWakeups);
}

void WakeupTaskMain(uint32_t argument) {
    auto* w = reinterpret_cast<WakeupTask*>(static_cast<uintptr_t>(argument));
    SetCurrentContext(w->owner);
    for (;;) {
        if (Kez<kezsig::KALSemaphoreWait>(kez::KALSemaphoreWait, w->semaphore, -1)) return;
        Kez<kezsig::KALMutexReserve>(kez::KALMutexReserve, w->mutex, -1);
        for (WakeupEntry* e = w->head; e; e = e->next) {
            if (!e->pending) continue;
            {
                ContextGateHold hold(w->owner);
                Write68KUInt32(w->owner->A[7] - 4, 0, e->refCon);
                Call68KCode(w->owner, e->procedure, 4);
            }
            e->pending = 0;
        }
        Kez<kezsig::KALMutexRelease>(kez::KALMutexRelease, w->mutex);
    }
}

constexpr uint32_t kWakeupTaskTag = 0x53524D57;  // 'SRMW'

WakeupTask* WakeupTaskStart(EmulState* top) {
    if (WakeupTask* w = TaskOf(top)) return w;
    auto* w = static_cast<WakeupTask*>(sys::MemPtrNew(sizeof(WakeupTask)));
    if (!w) return nullptr;
    sys::MemPtrSetOwner(w, 0);
    *w = {nullptr, 0, 0, 0, top};
    bool ok = !Kez<kezsig::KALMutexCreate>(kez::KALMutexCreate, &w->mutex, 0);
    ok = ok && !Kez<kezsig::KALSemaphoreCreate>(kez::KALSemaphoreCreate, &w->semaphore, 0, 0);
    ok = ok && !SysCall<vantor::syssig::SysTaskCreate>(slot::SysTaskCreate, kWakeupTaskTag, &WakeupTaskMain,
                                                       4096u, static_cast<uint16_t>(20), &w->task);
    ok = ok && !Kez<kezsig::KALTaskStart>(kez::KALTaskStart, w->task, Addr(w));
    if (!ok) {
        if (w->mutex) Kez<kezsig::KALMutexDelete>(kez::KALMutexDelete, w->mutex);
        if (w->semaphore) Kez<kezsig::KALSemaphoreDelete>(kez::KALSemaphoreDelete, w->semaphore);
        if (w->task) Kez<kezsig::KALTaskDelete>(kez::KALTaskDelete, w->task);
        sys::MemChunkFree(w);
        return nullptr;
    }
    TaskOf(top) = w;
    return w;
}

void SerialSetWakeup(EmulState* s) {
    const uint16_t port = U16(s, 0);
    const uint32_t procedure = GetArgPtr(s, 2), refCon = U32(s, 6);
    using SetHandler = uint16_t(uint16_t, void*, void*);
    EmulState* top = TopLevel(s);
    WakeupTask* w = TaskOf(top);
    WakeupEntry* entry = nullptr;
    for (WakeupEntry* e = w ? w->head : nullptr; e; e = e->next)
        if (e->port == port) entry = e;
    auto unlink = [&](WakeupEntry* gone) {
        Kez<kezsig::KALMutexReserve>(kez::KALMutexReserve, w->mutex, -1);
        for (WakeupEntry** link = &w->head; *link; link = &(*link)->next)
            if (*link == gone) {
                *link = gone->next;
                break;
            }
        Kez<kezsig::KALMutexRelease>(kez::KALMutexRelease, w->mutex);
        sys::MemChunkFree(gone);
    };
    if (!procedure) {
        const uint16_t err = SysCall<SetHandler>(slot::SerialSel22, port, nullptr, nullptr);
        if (!err && entry) unlink(entry);
        SetResultD0UInt16(s, err);
        return;
    }
    ContextGateClaim(s);  // the wake-up task runs 68K code on this context from now on
    if (!w) w = WakeupTaskStart(top);
    if (!w) {
        SetResultD0UInt16(s, kErrWakeupNoMemory);
        return;
    }
    const bool fresh = !entry;
    if (fresh) {
        entry = static_cast<WakeupEntry*>(sys::MemPtrNew(sizeof(WakeupEntry)));
        if (!entry) {
            SetResultD0UInt16(s, kErrWakeupNoMemory);
            return;
        }
        std::memset(entry, 0xFE, sizeof *entry);
        sys::MemPtrSetOwner(entry, 0);
        entry->port = port;
        entry->task = w;
    }
    Kez<kezsig::KALMutexReserve>(kez::KALMutexReserve, w->mutex, -1);
    entry->pending = 0;
    entry->procedure = procedure;
    entry->refCon = refCon;
    if (fresh) {
        entry->next = w->head;
        w->head = entry;
    }
    Kez<kezsig::KALMutexRelease>(kez::KALMutexRelease, w->mutex);
    const uint16_t err =
        SysCall<SetHandler>(slot::SerialSel22, port, reinterpret_cast<void*>(&SerialWakeupNative), entry);
    if (err) unlink(entry);
    SetResultD0UInt16(s, err);
}

void TrapSerialDispatch(EmulState* s, uint16_t) {
    const uint16_t selector = static_cast<uint16_t>(s->D[2]);
    using R16 = uint16_t;
    switch (selector) {
        case 1:
        case 2: {
            InOut16 out(GetArgPtr(s, 8));
            SetResultD0UInt16(
                s, SysCall<R16(uint32_t, uint32_t, uint16_t*)>(
                       selector == 1 ? slot::SrmOpen : slot::SerialSel2, U32(s, 0), U32(s, 4), out.Native()));
            out.WriteBack();
            break;
        }
        case 3:
            SetResultD0UInt16(s, SysCall<R16(uint16_t)>(slot::SrmClose, U16(s, 0)));
            break;
        case 4:
            SetResultD0UInt16(s, SysCall<R16()>(slot::SerialSel4));
            break;
        case 5:
            SetResultD0UInt16(s, SysCall<R16()>(slot::SerialSel5));
            break;
        case 6: {
            InOut16 out(GetArgPtr(s, 0));
            SetResultD0UInt16(s, SysCall<R16(uint16_t*)>(slot::SerialSel6, out.Native()));
            out.WriteBack();
            break;
        }
        case 7: {
            uint32_t fields[5] = {};
            const uint32_t p = GetArgPtr(s, 4);
            SetResultD0UInt16(s, SysCall<R16(uint32_t, uint32_t*)>(slot::SerialSel7, U32(s, 0), fields));
            if (p)
                for (int i = 0; i < 5; ++i) Write68KUInt32(p, 4 * i, fields[i]);
            break;
        }
        case 8: {
            InOut32 flags(GetArgPtr(s, 2));
            InOut16 err(GetArgPtr(s, 6));
            SetResultD0UInt16(s, SysCall<R16(uint16_t, uint32_t*, uint16_t*)>(slot::SerialSel8, U16(s, 0),
                                                                              flags.Native(), err.Native()));
            flags.WriteBack();
            err.WriteBack();
            break;
        }
        case 9:
            SetResultD0UInt16(s, SysCall<R16(uint16_t)>(slot::SrmClearErr, U16(s, 0)));
            break;
        case 10:
            SerialControl(s);
            break;
        case 11: {
            InOut16 err(GetArgPtr(s, 10));
            SetResultD0UInt32(s, SysCall<uint32_t(uint16_t, const void*, uint32_t, uint16_t*)>(
                                     slot::SrmSend, U16(s, 0), P(s, 2), U32(s, 6), err.Native()));
            err.WriteBack();
            break;
        }
        case 12:
            SetResultD0UInt16(s, SysCall<R16(uint16_t)>(slot::SerialSel12, U16(s, 0)));
            break;
        case 13: {
            InOut32 out(GetArgPtr(s, 2));
            SetResultD0UInt16(s,
                              SysCall<R16(uint16_t, uint32_t*)>(slot::SerialSel13, U16(s, 0), out.Native()));
            out.WriteBack();
            break;
        }
        case 14:
            SetResultD0UInt16(s, SysCall<R16(uint16_t)>(slot::SerialSel14, U16(s, 0)));
            break;
        case 15: {
            InOut16 err(GetArgPtr(s, 14));
            const int32_t timeout = Ticks(s, 10);
            ContextGateOpen open(s);
            SetResultD0UInt32(s, SysCall<uint32_t(uint16_t, void*, uint32_t, int32_t, uint16_t*)>(
                                     slot::SrmReceive, U16(s, 0), P(s, 2), U32(s, 6), timeout, err.Native()));
            err.WriteBack();
            break;
        }
        case 16: {
            const int32_t timeout = Ticks(s, 6);
            ContextGateOpen open(s);
            SetResultD0UInt16(s, SysCall<R16(uint16_t, uint32_t, int32_t)>(slot::SerialSel16, U16(s, 0),
                                                                           U32(s, 2), timeout));
            break;
        }
        case 17: {
            InOut32 out(GetArgPtr(s, 2));
            SetResultD0UInt16(s,
                              SysCall<R16(uint16_t, uint32_t*)>(slot::SerialSel17, U16(s, 0), out.Native()));
            out.WriteBack();
            break;
        }
        case 18: {
            const int32_t timeout = Ticks(s, 2);
            ContextGateOpen open(s);
            SetResultD0UInt16(s, SysCall<R16(uint16_t, int32_t)>(slot::SrmSel18, U16(s, 0), timeout));
            break;
        }
        case 19: {
            const uint16_t size = U16(s, 6);
            SetResultD0UInt16(s, SysCall<R16(uint16_t, void*, uint16_t)>(slot::SerialSel19, U16(s, 0),
                                                                         size ? P(s, 2) : nullptr, size));
            break;
        }
        case 20: {
            InOut32 a(GetArgPtr(s, 2)), b(GetArgPtr(s, 6));
            SetResultD0UInt16(s, SysCall<R16(uint16_t, uint32_t*, uint32_t*)>(slot::SerialSel20, U16(s, 0),
                                                                              a.Native(), b.Native()));
            a.WriteBack();
            b.WriteBack();
            break;
        }
        case 21:
            SetResultD0UInt16(s, SysCall<R16(uint16_t, uint32_t)>(slot::SerialSel21, U16(s, 0), U32(s, 2)));
            break;
        case 22:
            SerialSetWakeup(s);
            break;
        case 23:
            SetResultD0UInt16(s, SysCall<R16(uint16_t, uint16_t)>(slot::SerialSel23, U16(s, 0), U16(s, 2)));
            break;
        case 24:
            SerialOpenConfigured(s, slot::SerialSel24);
            break;
        case 25:
            SerialOpenConfigured(s, slot::SerialSel25);
            break;
        case 26:
            SerialControlByLength(s);
            break;
        default:
            ErrDisplayFileLineMsg(kFile, 4170, "Unknown SerialDispatch request:", selector);
            break;
    }
}

// ---- the console ----

constexpr uint8_t kConsoleSocket = 1;
constexpr uint8_t kConsoleMarker = 0x7F;
constexpr uint16_t kConsolePort = 0x8002;
constexpr uint32_t kConsoleSpeed = 57600;
constexpr uint32_t kConsoleTag = 0x434F4E53;  // 'CONS'
constexpr uint32_t kConsoleText = 271;
constexpr int32_t kBackoffMaxMs = 100;

void ConsoleTaskMain(uint32_t port) {
    const auto* globals = static_cast<const uint32_t*>(SysCall<void*()>(slot::SysGetGlobals));
    SysCall<void(uint32_t, uint32_t)>(slot::SysTaskSetup, globals ? globals[3] : 0, 0);
    char command[kConsoleText + 1];
    for (;;) {
        ConsoleSend("\nReady...\n");
        SysCall<uint16_t(uint16_t, int32_t)>(slot::SrmSel18, static_cast<uint16_t>(port), 250);
        for (;;) {
            if (ConsoleReceive(command, -1)) break;
            if (command[0]) ConsoleSend(command);
        }
    }
}

}  // namespace

uint16_t ConsoleSend(const char* text) {
    const uint8_t head[2] = {kConsoleMarker, 0};
    const size_t length = std::strlen(text);
    const NativeWriteEntry list[3] = {
        {2, 0, head},
        {static_cast<uint16_t>(std::min<size_t>(length + 1, kConsoleText)), 0, text},
        {0, 0, nullptr}};
    uint8_t header[kHeaderBytes] = {};
    header[3] = kConsoleSocket;  // destination
    header[4] = kConsoleSocket;  // source
    return SendPacket(header, list);
}

uint16_t ConsoleReceive(char* buffer, int32_t timeout) {
    uint8_t header[kHeaderBytes];
    uint8_t body[kBodyMax];
    int32_t pause = 1;
    for (;;) {
        const uint16_t err = ReceivePacket(kConsoleSocket, 0, header, body, sizeof body, timeout);
        if (err == kErrSlkTimeout && timeout != -1) return err;
        if (err) {
            // A link that keeps failing is retried with a growing pause rather than at full speed.
            Kez<kezsig::KALTaskDelay>(kez::KALTaskDelay, err == kErrSlkWouldBlock ? 1 : pause);
            if (err != kErrSlkWouldBlock) pause = std::min(pause * 2, kBackoffMaxMs);
            continue;
        }
        pause = 1;
        if (body[0] != kConsoleMarker) {
            SysCall<void(void*, void*)>(slot::SlkSysPktDefaultResponse, header, body);
            continue;
        }
        uint32_t size = static_cast<uint32_t>(header[6]) << 8 | header[7];
        size = std::min<uint32_t>(size, kConsoleText);
        body[size] = 0;
        const uint32_t text = size > 2 ? size - 2 : 0;
        std::memcpy(buffer, body + 2, text);
        buffer[text] = 0;
        return 0;
    }
}

uint16_t ConsoleLaunch() {
    EmulState* global = GetGlobalContext();
    if (!global || global->consoleTask) return 0;
    uint16_t ref = 0;
    const bool haveLink = !SysCall<uint16_t(uint16_t, uint16_t*)>(slot::SlkSocketRefNum, 0, &ref) && ref;
    uint16_t port = ref;
    if (!haveLink) {
        const uint16_t err = SysCall<uint16_t(uint32_t, uint32_t, uint16_t*)>(slot::SrmOpen, kConsolePort,
                                                                              kConsoleSpeed, &port);
        if (err == kErrSerPortNotFound) {
            // The module's debug trace discards the text.
        }
        if (err) return err;
    }
    if (SysCall<uint16_t()>(slot::SlkOpen) == kErrSlkAlreadyOpen) SysCall<uint16_t()>(slot::SlkClose);
    uint16_t socket = kConsoleSocket;
    SysCall<uint16_t(uint16_t, uint16_t*, uint8_t)>(slot::SlkOpenSocket, port, &socket, 1);
    uint32_t task = 0;
    const uint16_t err = SysCall<vantor::syssig::SysTaskCreate>(
        slot::SysTaskCreate, kConsoleTag, &ConsoleTaskMain, 0xA00u, static_cast<uint16_t>(0x63), &task);
    if (err) {
        SysCall<uint16_t(uint16_t)>(slot::SlkCloseSocket, socket);
        SysCall<uint16_t()>(slot::SlkClose);
        if (!haveLink) SysCall<uint16_t(uint16_t)>(slot::SrmClose, port);
        return err;
    }
    global->consoleTask = task;
    if (Kez<kezsig::KALTaskStart>(kez::KALTaskStart, task, static_cast<uint32_t>(port)))
        global->consoleTask = 0;
    return 0;
}

void SerialWakeupNative(void* entry) {
    auto* e = static_cast<WakeupEntry*>(entry);
    if (!e || !e->task) return;
    e->pending = 1;
    Kez<kezsig::KALSemaphoreSignal>(kez::KALSemaphoreSignal, e->task->semaphore);
}

void CommsGlueFree(EmulState* s) {
    WakeupTask* w = TaskOf(s);
    if (!w) return;
    Kez<kezsig::KALTaskDelete>(kez::KALTaskDelete, w->task);
    Kez<kezsig::KALSemaphoreDelete>(kez::KALSemaphoreDelete, w->semaphore);
    Kez<kezsig::KALMutexDelete>(kez::KALMutexDelete, w->mutex);
    while (WakeupEntry* e = w->head) {
        w->head = e->next;
        sys::MemChunkFree(e);
    }
    sys::MemChunkFree(w);
    TaskOf(s) = nullptr;
}

void CommsGlueInstall(TrapHandler* t) {
    t[0x0D1] = TrapSlkOpen;
    t[0x0D2] = TrapSlkClose;
    t[0x0D3] = TrapSlkOpenSocket;
    t[0x0D4] = TrapSlkCloseSocket;
    t[0x0D5] = TrapSlkSocketRefNum;
    t[0x0D6] = TrapSlkSocketSetTimeout;
    t[0x0D7] = TrapSlkFlushSocket;
    t[0x0D8] = TrapSlkSetSocketListener;
    t[0x0D9] = TrapSlkSendPacket;
    t[0x0DA] = TrapSlkReceivePacket;
    t[0x259] = TrapCrc16CalcBlock;
    t[0x2A7] = TrapDlkControl;
    t[0x2A8] = TrapDlkNoServer;
    t[0x2A9] = TrapDlkGetSyncInfo;
    t[0x2AA] = TrapDlkSetLogEntry;
    t[0x2B0] = TrapMdmDial;
    t[0x2B1] = TrapMdmHangUp;
    t[0x2DD] = TrapDlkNoServer;
    t[0x2F1] = Digest<slot::EncDigestMD5>;
    t[0x2FD] = Digest<slot::EncDigestMD4>;
    t[0x2FE] = TrapEncDES;
    t[0x332] = TrapFileOpen;
    t[0x333] = TrapFileClose;
    t[0x334] = TrapFileDelete;
    t[0x335] = TrapFileReadLow;
    t[0x336] = TrapFileWrite;
    t[0x337] = TrapFileSeek;
    t[0x338] = TrapFileTell;
    t[0x339] = TrapFileTruncate;
    t[0x33A] = TrapFileControl;
    t[0x367] = TrapSerialDispatch;
    t[0x36A] = TrapCncGetProfileList;
    t[0x36B] = TrapCncGetProfileInfo;
    t[0x36C] = TrapCncAddProfile;
    t[0x36D] = TrapCncDeleteProfile;
    t[0x3F0] = TrapCncMgrDispatch;
}

}  // namespace morvel
