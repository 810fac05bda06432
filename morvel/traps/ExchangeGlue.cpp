#include "morvel/traps/ExchangeGlue.h"

#include <cstring>
#include <initializer_list>

#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/ExgSocket.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/StringGlue.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;

constexpr const char* kFile = "Exg68K";
constexpr uint16_t kSlotImcReadWhiteSpace = 286;
constexpr uint16_t kRegCreatorID = 0xFFFB;  // registry kind: the type is a 4-byte creator code
constexpr uint32_t kUdaLocalArgEntries = 2;

using ReadWriteBridge = uint16_t (*)(void*, uint32_t*, void*);
using DeleteBridge = uint8_t (*)(const char*, uint16_t, uint32_t, void*);
using GetCharBridge = uint16_t (*)(uint32_t);
using PutCharBridge = void (*)(uint32_t, uint32_t);

uint8_t* Bytes(uint32_t p) { return static_cast<uint8_t*>(Ptr(p)); }
uint16_t Arg16(const EmulState* s, uint32_t offset) { return static_cast<uint16_t>(GetArgUInt16(s, offset)); }
uint8_t Arg8(const EmulState* s, uint32_t offset) { return static_cast<uint8_t>(GetArgInt8(s, offset)); }

// A 68K exchange socket as the OS sees it: converted in on construction (null stays null), out
// again by WriteBack.
class Socket {
public:
    explicit Socket(uint32_t socket68K) : p_(socket68K) {
        if (p_) ExgSocketToNative(Bytes(p_), native_);
    }
    void* Native() { return p_ ? native_ : nullptr; }
    void WriteBack() const {
        if (p_) ExgSocketTo68K(native_, Bytes(p_));
    }

private:
    uint32_t p_;
    alignas(4) uint8_t native_[kExgSocketNativeSize] = {};
};

// The type argument of a registry call: the 68K text itself, or for the creator-code kind a native
// buffer holding the code followed by a zero word.
class TypeArg {
public:
    TypeArg(uint16_t kind, uint32_t p) : text_(Str(p)) {
        if (kind == kRegCreatorID && p) {
            creator_[0] = Read68KUInt32(p, 0);
            text_ = reinterpret_cast<const char*>(creator_);
        }
    }
    const char* Native() const { return text_; }

private:
    uint32_t creator_[2] = {0, 0};
    const char* text_;
};

// Leaves 68K procedures just below the current arguments (first lowest) for the callbacks to find
// at argument offsets 0, 4, ..., and moves the argument pointer down over them until destroyed.
class PushedProcedures {
public:
    PushedProcedures(EmulState* s, std::initializer_list<uint32_t> procedures)
        : s_(s), bytes_(4 * static_cast<uint32_t>(procedures.size())) {
        s_->A[7] -= bytes_;
        uint32_t at = 0;
        for (uint32_t p : procedures) {
            SetArgUInt32(s_, at, p);
            at += 4;
        }
    }
    ~PushedProcedures() { s_->A[7] += bytes_; }
    PushedProcedures(const PushedProcedures&) = delete;
    PushedProcedures& operator=(const PushedProcedures&) = delete;

private:
    EmulState* s_;
    uint32_t bytes_;
};

// Runs the 68K procedure left at argument offset `procedureAt` with `count` 32-bit values below
// the argument pointer, first value lowest.
void CallProcedure(EmulState* s, uint32_t procedureAt, const uint32_t* values, uint32_t count) {
    const uint32_t procedure = GetArgUInt32(s, procedureAt);
    const uint32_t below = s->A[7] - 4 * count;
    for (uint32_t i = 0; i < count; ++i) Write68KUInt32(below, 4 * i, values[i]);
    Call68KCode(s, procedure, 4 * count);
}

// ---- socket calls ----

// (socket) -> error: ExgConnect, ExgPut, ExgGet, ExgRequest, ExgAccept, ExgNotifyReceiveV35.
template <uint16_t Slot>
void SocketCall(EmulState* s, uint16_t) {
    Socket socket(GetArgPtr(s, 0));
    const uint16_t err = SysCall<uint16_t(void*)>(Slot, socket.Native());
    socket.WriteBack();
    SetResultD0UInt16(s, err);
}
// (socket, 16-bit value) -> error: ExgDisconnect, ExgNotifyReceive, ExgNotifyGoto.
template <uint16_t Slot>
void SocketWordCall(EmulState* s, uint16_t) {
    Socket socket(GetArgPtr(s, 0));
    const uint16_t err = SysCall<uint16_t(void*, uint16_t)>(Slot, socket.Native(), Arg16(s, 4));
    socket.WriteBack();
    SetResultD0UInt16(s, err);
}

void TrapExgControl(EmulState* s, uint16_t) {
    Socket socket(GetArgPtr(s, 0));
    const uint16_t err = SysCall<uint16_t(void*, uint16_t, uint32_t, void*)>(
        slot::ExgControl, socket.Native(), Arg16(s, 4), GetArgUInt32(s, 6), Ptr(GetArgPtr(s, 10)));
    socket.WriteBack();
    SetResultD0UInt16(s, err);
}

void TrapExgGetTargetApplication(EmulState* s, uint16_t) {
    Socket socket(GetArgPtr(s, 0));
    InOut32 creator(GetArgPtr(s, 6));
    const uint16_t err = SysCall<uint16_t(void*, uint8_t, uint32_t*, char*, uint32_t)>(
        slot::ExgGetTargetApplication, socket.Native(), Arg8(s, 4), creator.Native(), Str(GetArgPtr(s, 10)),
        GetArgUInt32(s, 14));
    socket.WriteBack();
    creator.WriteBack();
    SetResultD0UInt16(s, err);
}

// ExgSend and ExgReceive: (socket, buffer, size, error pointer) -> count. Receive converts the
// socket in only.
void Transfer(EmulState* s, uint16_t slotNumber, bool socketBack) {
    Socket socket(GetArgPtr(s, 0));
    InOut16 err(GetArgPtr(s, 12));
    const uint32_t count = SysCall<uint32_t(void*, void*, uint32_t, uint16_t*)>(
        slotNumber, socket.Native(), Ptr(GetArgPtr(s, 4)), GetArgUInt32(s, 8), err.Native());
    if (socketBack) socket.WriteBack();
    err.WriteBack();
    SetResultD0UInt32(s, count);
}
void TrapExgSend(EmulState* s, uint16_t) { Transfer(s, slot::ExgSend, true); }
void TrapExgReceive(EmulState* s, uint16_t) { Transfer(s, slot::ExgReceive, false); }

// The dialog information record: version, database, category index (68K at 0, 2 and 6).
struct DialogInfo {
    uint16_t version;
    uint32_t db;
    uint16_t categoryIndex;
};

void TrapExgDoDialog(EmulState* s, uint16_t) {
    Socket socket(GetArgPtr(s, 0));
    const uint32_t infoP = GetArgPtr(s, 4);
    InOut16 err(GetArgPtr(s, 8));
    DialogInfo info{};
    if (infoP) {
        info.version = Read68KUInt16(infoP, 0);
        info.db = Read68KUInt32(infoP, 2);
    }
    const uint8_t chosen = SysCall<uint8_t(void*, DialogInfo*, uint16_t*)>(
        slot::ExgDoDialog, socket.Native(), infoP ? &info : nullptr, err.Native());
    socket.WriteBack();
    if (infoP) Write68KUInt16(infoP, 6, info.categoryIndex);
    err.WriteBack();
    SetResultD0UInt8(s, chosen);
}

// The preview information record; its socket pointer (native 4, 68K 2) is followed.
constexpr uint8_t kPreviewLayout[] = {0x12, 0x14, 0x42, 0x24, 0x22, 0};
constexpr uint32_t kPreviewNativeSize = 28;
constexpr uint32_t kPreviewSocketNative = 4, kPreviewSocket68K = 2;

void TrapExgNotifyPreview(EmulState* s, uint16_t) {
    const uint32_t infoP = GetArgPtr(s, 0);
    if (!infoP) {
        SysCall<void(void*)>(slot::ExgNotifyPreview, nullptr);
        return;
    }
    alignas(4) uint8_t info[kPreviewNativeSize] = {};
    RecordToNative(info, infoP, kPreviewLayout);
    const uint32_t socket68K = Read68KUInt32(infoP, kPreviewSocket68K);
    Socket socket(socket68K);
    const uint32_t nativeSocket = Addr(socket.Native());
    std::memcpy(info + kPreviewSocketNative, &nativeSocket, 4);
    SysCall<void(void*)>(slot::ExgNotifyPreview, info);
    socket.WriteBack();
    RecordTo68K(info, infoP, kPreviewLayout);
    Write68KUInt32(infoP, kPreviewSocket68K, socket68K);
}

// ---- the registry ----

void TrapExgRegisterData(EmulState* s, uint16_t) {
    const uint16_t kind = Arg16(s, 4);
    TypeArg type(kind, GetArgPtr(s, 6));
    SetResultD0UInt16(s, SysCall<uint16_t(uint32_t, uint16_t, const char*)>(slot::ExgRegisterData,
                                                                             GetArgUInt32(s, 0), kind, type.Native()));
}
void TrapExgRegisterDatatype(EmulState* s, uint16_t) {
    const uint16_t kind = Arg16(s, 4);
    TypeArg type(kind, GetArgPtr(s, 6));
    SetResultD0UInt16(s, SysCall<uint16_t(uint32_t, uint16_t, const char*, const char*, uint16_t)>(
                             slot::ExgRegisterDatatype, GetArgUInt32(s, 0), kind, type.Native(),
                             Str(GetArgPtr(s, 10)), Arg16(s, 14)));
}
void TrapExgSetDefaultApplication(EmulState* s, uint16_t) {
    const uint16_t kind = Arg16(s, 4);
    TypeArg type(kind, GetArgPtr(s, 6));
    SetResultD0UInt16(s, SysCall<uint16_t(uint32_t, uint16_t, const char*)>(
                             slot::ExgSetDefaultApplication, GetArgUInt32(s, 0), kind, type.Native()));
}
void TrapExgGetDefaultApplication(EmulState* s, uint16_t) {
    InOut32 creator(GetArgPtr(s, 0));
    const uint16_t kind = Arg16(s, 4);
    TypeArg type(kind, GetArgPtr(s, 6));
    const uint16_t err = SysCall<uint16_t(uint32_t*, uint16_t, const char*)>(
        slot::ExgGetDefaultApplication, creator.Native(), kind, type.Native());
    creator.WriteBack();
    SetResultD0UInt16(s, err);
}

void TrapExgGetRegisteredApplications(EmulState* s, uint16_t) {
    const uint32_t creatorsP = GetArgPtr(s, 0), countP = GetArgPtr(s, 4), namesP = GetArgPtr(s, 8),
                   descriptionsP = GetArgPtr(s, 12);
    const uint16_t kind = Arg16(s, 16);
    TypeArg type(kind, GetArgPtr(s, 18));
    uint32_t* creators = nullptr;
    uint32_t count = 0;
    char* names = nullptr;
    char* descriptions = nullptr;
    // The count is asked for whenever the creator list is: the list is turned big-endian by it.
    const uint16_t err = SysCall<uint16_t(uint32_t**, uint32_t*, char**, char**, uint16_t, const char*)>(
        slot::ExgGetRegisteredApplications, creatorsP ? &creators : nullptr, countP || creatorsP ? &count : nullptr,
        namesP ? &names : nullptr, descriptionsP ? &descriptions : nullptr, kind, type.Native());
    if (err == 0) {
        if (creatorsP) {
            if (creators)
                for (uint32_t i = 0; i < count; ++i) Write68KUInt32(Addr(creators), 4 * i, creators[i]);
            Write68KUInt32(creatorsP, 0, Addr(creators));
        }
        if (countP) Write68KUInt32(countP, 0, count);
        if (namesP) Write68KUInt32(namesP, 0, Addr(names));
        if (descriptionsP) Write68KUInt32(descriptionsP, 0, Addr(descriptions));
    }
    SetResultD0UInt16(s, err);
}

void TrapExgGetRegisteredTypes(EmulState* s, uint16_t) {
    const uint32_t typesP = GetArgPtr(s, 0), sizeP = GetArgPtr(s, 4);
    char* types = nullptr;
    uint32_t size = 0;
    const uint16_t err = SysCall<uint16_t(char**, uint32_t*, uint16_t)>(slot::ExgGetRegisteredTypes, &types, &size,
                                                                       Arg16(s, 8));
    if (typesP) Write68KUInt32(typesP, 0, Addr(types));
    if (sizeP) Write68KUInt32(sizeP, 0, size);
    SetResultD0UInt16(s, err);
}

// ---- databases through 68K procedures ----

void TrapExgDBRead(EmulState* s, uint16_t) {
    const uint32_t readProc = GetArgPtr(s, 0), deleteProc = GetArgPtr(s, 4), user = GetArgPtr(s, 8),
                   dbIDP = GetArgPtr(s, 12), resetP = GetArgPtr(s, 18);
    const uint16_t card = Arg16(s, 16);
    const uint8_t keepDates = Arg8(s, 22);
    uint32_t dbID = 0;
    uint8_t reset = resetP ? Read68KInt8(resetP, 0) : 0;
    uint16_t err;
    {
        PushedProcedures pushed(s, {readProc, deleteProc});
        err = SysCall<uint16_t(ReadWriteBridge, DeleteBridge, void*, uint32_t*, uint16_t, uint8_t*, uint8_t)>(
            slot::ExgDBRead, &ExgReadWriteBridge, deleteProc ? &ExgDeleteBridge : nullptr, Ptr(user), &dbID, card,
            &reset, keepDates);
    }
    if (dbIDP) Write68KUInt32(dbIDP, 0, dbID);
    if (resetP) Write68KInt8(resetP, 0, reset);
    SetResultD0UInt16(s, err);
}

void TrapExgDBWrite(EmulState* s, uint16_t) {
    const uint32_t writeProc = GetArgPtr(s, 0), user = GetArgPtr(s, 4), name = GetArgPtr(s, 8),
                   dbID = GetArgUInt32(s, 12);
    const uint16_t card = Arg16(s, 16);
    PushedProcedures pushed(s, {writeProc});
    const uint16_t err = SysCall<uint16_t(ReadWriteBridge, void*, const char*, uint32_t, uint16_t)>(
        slot::ExgDBWrite, &ExgReadWriteBridge, Ptr(user), Str(name), dbID, card);
    SetResultD0UInt16(s, err);
}

// ---- Imc stream readers and writers ----

// The readers: (stream, get-character procedure, position in/out, ...) with the procedure pushed
// for the bridge; `call` makes the OS call and returns its pointer result (or null).
template <typename F>
uint32_t ImcRead(EmulState* s, uint32_t positionAt, F call) {
    const uint32_t stream = GetArgPtr(s, 0), procedure = GetArgPtr(s, 4);
    InOut16 position(GetArgPtr(s, positionAt));
    uint32_t result;
    {
        PushedProcedures pushed(s, {procedure});
        result = call(stream, position.Native());
    }
    position.WriteBack();
    return result;
}

void TrapImcReadFieldNoSemicolon(EmulState* s, uint16_t) {
    const uint16_t maximum = Arg16(s, 12);
    SetResultA0(s, ImcRead(s, 8, [&](uint32_t stream, uint16_t* position) {
                    return Addr(SysCall<char*(uint32_t, GetCharBridge, uint16_t*, uint16_t)>(
                        slot::ImcReadFieldNoSemicolon, stream, &ImcGetCharBridge, position, maximum));
                }));
}
void TrapImcReadFieldQuotablePrintable(EmulState* s, uint16_t) {
    const uint8_t stopAt = Arg8(s, 12), quoted = Arg8(s, 14);
    const uint16_t maximum = Arg16(s, 16);
    SetResultA0(s, ImcRead(s, 8, [&](uint32_t stream, uint16_t* position) {
                    return Addr(SysCall<char*(uint32_t, GetCharBridge, uint16_t*, uint8_t, uint8_t, uint16_t)>(
                        slot::ImcReadFieldQuotablePrintable, stream, &ImcGetCharBridge, position, stopAt, quoted,
                        maximum));
                }));
}
void TrapImcReadPropertyParameter(EmulState* s, uint16_t) {
    char* name = Str(GetArgPtr(s, 12));
    char* value = Str(GetArgPtr(s, 16));
    ImcRead(s, 8, [&](uint32_t stream, uint16_t* position) {
        SysCall<void(uint32_t, GetCharBridge, uint16_t*, char*, char*)>(
            slot::ImcReadPropertyParameter, stream, &ImcGetCharBridge, position, name, value);
        return 0u;
    });
}
void TrapImcSkipAllPropertyParameters(EmulState* s, uint16_t) {
    char* identifier = Str(GetArgPtr(s, 12));
    const uint32_t flagP = GetArgPtr(s, 16);
    uint8_t flag = flagP ? Read68KInt8(flagP, 0) : 0;
    ImcRead(s, 8, [&](uint32_t stream, uint16_t* position) {
        SysCall<void(uint32_t, GetCharBridge, uint16_t*, char*, uint8_t*)>(
            slot::ImcSkipAllPropertyParameters, stream, &ImcGetCharBridge, position, identifier,
            flagP ? &flag : nullptr);
        return 0u;
    });
    if (flagP) Write68KInt8(flagP, 0, flag);
}
// (stream, procedure, character attributes, position in/out): skips blanks.
void TrapImcReadWhiteSpace(EmulState* s, uint16_t) {
    const uint16_t* attributes = static_cast<const uint16_t*>(Ptr(GetArgPtr(s, 8)));
    ImcRead(s, 12, [&](uint32_t stream, uint16_t* position) {
        SysCall<void(uint32_t, GetCharBridge, const uint16_t*, uint16_t*)>(kSlotImcReadWhiteSpace, stream,
                                                                           &ImcGetCharBridge, attributes, position);
        return 0u;
    });
}

void TrapImcWriteQuotedPrintable(EmulState* s, uint16_t) {
    const uint32_t stream = GetArgPtr(s, 0), procedure = GetArgPtr(s, 4);
    const char* text = Str(GetArgPtr(s, 8));
    const uint16_t start = Arg16(s, 12), end = Arg16(s, 14), lineLength = Arg16(s, 16);
    const uint8_t alwaysQuote = Arg8(s, 18);
    PushedProcedures pushed(s, {procedure});
    SysCall<void(uint32_t, PutCharBridge, const char*, uint16_t, uint16_t, uint16_t, uint8_t)>(
        slot::ImcWriteQuotedPrintable, stream, &ImcPutCharBridge, text, start, end, lineLength, alwaysQuote);
}
void TrapImcWriteNoSemicolon(EmulState* s, uint16_t) {
    const uint32_t stream = GetArgPtr(s, 0), procedure = GetArgPtr(s, 4);
    const char* text = Str(GetArgPtr(s, 8));
    PushedProcedures pushed(s, {procedure});
    SysCall<void(uint32_t, PutCharBridge, const char*)>(slot::ImcWriteNoSemicolon, stream, &ImcPutCharBridge, text);
}
void TrapImcStringIsAscii(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, SysCall<uint8_t(const char*)>(slot::ImcStringIsAscii, Str(GetArgPtr(s, 0))));
}

// ---- UdaMgrDispatch ----

// Selector 0: a native scratch record in place of the first argument, a 16-bit value and a format
// with its 68K variable arguments rebuilt natively. A format needing more entries than the local
// array gets an allocated one; without memory for it nothing is called and D0 is 0.
void UdaFormat(EmulState* s) {
    alignas(4) uint8_t scratch[12] = {};
    const uint16_t value = Arg16(s, 4);
    const char* format = Str(GetArgPtr(s, 6));
    FormatArgs<kUdaLocalArgEntries> args(format, s->A[7] + 10);
    if (!args.Ok()) {
        SetResultD0UInt16(s, 0);
        return;
    }
    SetResultD0UInt16(s, SysCall<uint16_t(void*, uint16_t, const char*, uint32_t*)>(slot::UdaSel0, scratch, value,
                                                                                   format, args.Native()));
}

void TrapUdaMgrDispatch(EmulState* s, uint16_t) {
    const uint16_t selector = static_cast<uint16_t>(s->D[2]);
    switch (selector) {
        case 0: UdaFormat(s); break;
        case 1: {
            void* object =
                SysCall<void*(uint32_t, uint16_t)>(slot::UdaSel1, GetArgUInt32(s, 0), Arg16(s, 4));
            SetResultA0(s, Addr(SysCall<void*(EmulState*, void*)>(slot::UdaWrapObject, s, object)));
            break;
        }
        case 11: {
            void* pointer = Ptr(GetArgPtr(s, 0));
            void* object = SysCall<void*(void*)>(slot::UdaSel11, pointer);
            SetResultA0(s, Addr(SysCall<void*(EmulState*, void*, void*)>(slot::UdaWrapObjectPointer, s, object,
                                                                         pointer)));
            break;
        }
        case 12: {
            void* object =
                SysCall<void*(uint32_t, uint16_t)>(slot::UdaSel12, GetArgUInt32(s, 0), Arg16(s, 4));
            SetResultA0(s, Addr(SysCall<void*(EmulState*, void*)>(slot::UdaWrapObjectValue, s, object)));
            break;
        }
        default: ErrDisplayFileLineMsg(kFile, 1120, "Unknown UdaMgrDispatch request:", selector); break;
    }
}

}  // namespace

uint16_t ExgReadWriteBridge(void* data, uint32_t* size, void* user) {
    EmulState* s = GetCurrentContext();
    if (!s) return kErrExgNoContext;
    // The procedure gets a big-endian copy of the size, read back afterwards.
    uint8_t size68K[4];
    Write68KUInt32(Addr(size68K), 0, size ? *size : 0);
    const uint32_t values[3] = {Addr(data), size ? Addr(size68K) : 0, Addr(user)};
    CallProcedure(s, 0, values, 3);
    if (size) *size = Read68KUInt32(Addr(size68K), 0);
    return static_cast<uint16_t>(GetResultD0UInt32(s));
}

uint8_t ExgDeleteBridge(const char* name, uint16_t version, uint32_t dbID, void* user) {
    EmulState* s = GetCurrentContext();
    if (!s) return 0;
    // Version and card number 0 share one 32-bit slot.
    const uint32_t values[4] = {Addr(name), static_cast<uint32_t>(version) << 16, dbID, Addr(user)};
    CallProcedure(s, 4, values, 4);
    return static_cast<uint8_t>(GetResultD0UInt32(s));
}

uint16_t ImcGetCharBridge(uint32_t stream) {
    EmulState* s = GetCurrentContext();
    if (!s) return 0;
    CallProcedure(s, 0, &stream, 1);
    return static_cast<uint16_t>(GetResultD0UInt32(s));
}

void ImcPutCharBridge(uint32_t stream, uint32_t text) {
    EmulState* s = GetCurrentContext();
    if (!s) return;
    const uint32_t values[2] = {stream, text};
    CallProcedure(s, 0, values, 2);
}

void ExchangeGlueInstall(TrapHandler* t) {
    t[0x308] = SocketCall<slot::ExgConnect>;
    t[0x309] = SocketCall<slot::ExgPut>;
    t[0x30A] = SocketCall<slot::ExgGet>;
    t[0x402] = SocketCall<slot::ExgRequest>;
    t[0x30B] = SocketCall<slot::ExgAccept>;
    t[0x310] = SocketCall<slot::ExgNotifyReceiveV35>;
    t[0x30C] = SocketWordCall<slot::ExgDisconnect>;
    t[0x400] = SocketWordCall<slot::ExgNotifyReceive>;
    t[0x401] = SocketWordCall<slot::ExgNotifyGoto>;
    t[0x409] = TrapExgControl;
    t[0x405] = TrapExgGetTargetApplication;
    t[0x30D] = TrapExgSend;
    t[0x30E] = TrapExgReceive;
    t[0x3E6] = TrapExgDoDialog;
    t[0x408] = TrapExgNotifyPreview;
    t[0x30F] = TrapExgRegisterData;
    t[0x3FF] = TrapExgRegisterDatatype;
    t[0x403] = TrapExgSetDefaultApplication;
    t[0x404] = TrapExgGetDefaultApplication;
    t[0x406] = TrapExgGetRegisteredApplications;
    t[0x407] = TrapExgGetRegisteredTypes;
    t[0x342] = TrapExgDBRead;
    t[0x343] = TrapExgDBWrite;
    t[0x316] = TrapImcReadFieldNoSemicolon;
    t[0x317] = TrapImcReadFieldQuotablePrintable;
    t[0x318] = TrapImcReadPropertyParameter;
    t[0x319] = TrapImcSkipAllPropertyParameters;
    t[0x31A] = TrapImcReadWhiteSpace;
    t[0x31B] = TrapImcWriteQuotedPrintable;
    t[0x31C] = TrapImcWriteNoSemicolon;
    t[0x31D] = TrapImcStringIsAscii;
    t[0x449] = TrapUdaMgrDispatch;
}

}  // namespace morvel
