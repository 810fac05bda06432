// The frames that a desktop peer sends: the setup exchange and then plain requests, read from a
// stream socket whose bytes are the input. The network library is a small stand-in that serves
// the input as the stream (and ends it when the input ends) and takes every byte sent. Input: a
// byte choosing the payload allocator's answer (bit 0: none; bits 1-2: the buffer kind), then the
// stream.
#include <cstdint>
#include <cstring>
#include <vector>

#include "brontel/BrontelInternal.h"
#include "common/module/ModuleGlue.h"
#include "common/module/ProgramModule.h"
#include "standin/os/StandinOs.h"

VANTOR_PROGRAM_AS_MODULE("Brf_")

namespace {

using namespace brontel;

const uint8_t* gData;
size_t gSize, gAt;
uint8_t gAllocKind;

int16_t Select(uint16_t, uint32_t* readMask, uint32_t* writeMask, uint32_t* exceptMask, int32_t, Status* err) {
    *err = 0;
    if (readMask) *readMask &= net::Bit(gBrontel->conSock);  // the stream is readable (or at its end)
    if (exceptMask) *exceptMask = 0;
    (void)writeMask;
    return 1;
}
int16_t Take(void* out, uint16_t len, Status* err) {
    *err = 0;
    size_t n = gSize - gAt < len ? gSize - gAt : len;
    std::memcpy(out, gData + gAt, n);
    gAt += n;
    return static_cast<int16_t>(n);
}
int16_t Receive(int16_t socket, void* buf, uint16_t len, uint16_t, void*, uint16_t*, int32_t, Status* err) {
    if (socket != gBrontel->conSock) {
        *err = sockra::netErrTimeout;
        return -1;
    }
    return Take(buf, len, err);
}
int16_t DmReceive(int16_t, void* record, uint32_t offset, uint16_t len, uint16_t, void*, uint16_t*, int32_t,
                  Status* err) {
    return Take(static_cast<uint8_t*>(record) + offset, len, err);
}
int16_t Send(int16_t, const void*, uint16_t len, uint16_t, const void*, uint16_t, int32_t, Status* err) {
    *err = 0;
    return static_cast<int16_t>(len);
}
int16_t Quiet(int16_t, void*, int16_t, int32_t, Status* err) {
    *err = 0;
    return 0;
}
int16_t SocketAddr(int16_t, void* local, int16_t*, void*, int16_t*, int32_t, Status* err) {
    *err = 0;
    if (local) std::memset(local, 0, 8);
    return 0;
}
uint16_t TimerCreate(uint32_t* id, uint32_t, vantor::KezTimerCallback, uint32_t) {
    *id = 1;
    return 0;
}
uint16_t TimerStart(uint32_t, uint32_t) { return 0; }
uint16_t TimerDelete(uint32_t) { return 0; }
uint8_t NotCancelled() { return 0; }
void* Allocate(uint32_t, uint32_t length, uint8_t* kind) {
    if ((gAllocKind & 1) || length > 65536) return nullptr;
    *kind = static_cast<uint8_t>((gAllocKind >> 1) & 3);
    return vantor::sys::MemHandleNew(length);
}

template <typename F>
vantor::ModuleProc P(F f) {
    return reinterpret_cast<vantor::ModuleProc>(f);
}

void Setup() {
    vantor::glue::SetSystemTable(vantor::os::SystemTable());
    static std::vector<vantor::ModuleProc> sockraTable(sockra::kSockraSlotCount, nullptr);
    sockraTable[sockra::kSlotSelect] = P(&Select);
    sockraTable[sockra::kSlotReceive] = P(&Receive);
    sockraTable[sockra::kSlotDmReceive] = P(&DmReceive);
    sockraTable[sockra::kSlotSend] = P(&Send);
    sockraTable[sockra::kSlotSocketBind] = P(&Quiet);
    sockraTable[sockra::kSlotSocketConnect] = P(&Quiet);
    sockraTable[sockra::kSlotSocketAddr] = P(&SocketAddr);
    static std::vector<vantor::ModuleProc> kezTable(vantor::kKezSlots, nullptr);
    kezTable[vantor::kezslot::KALTimerCreate] = P(&TimerCreate);
    kezTable[vantor::kezslot::KALTimerStart] = P(&TimerStart);
    kezTable[vantor::kezslot::KALTimerDelete] = P(&TimerDelete);
    kezTable[vantor::kezslot::PALSyncIsCancelled] = P(&NotCancelled);
    vantor::os::RegisterTable(sockra::kSockraType, sockra::kSockraCreator, sockraTable.data(),
                              sockra::kSockraSlotCount);
    vantor::os::RegisterTable(vantor::kKezType, vantor::kKezCreator, kezTable.data(), vantor::kKezSlots);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (Setup(), true);
    (void)ready;
    if (size < 1) return 0;
    vantor::os::Reset();
    vantor::os::CaptureOutput(true);
    Setup();
    using vantor::os::Library;
    for (uint16_t slot : {vantor::sysslot::EvtResetAutoOffTimer, vantor::sysslot::DlkSetLogEntry})
        vantor::os::ScriptResult(Library::System, slot, 0);
    vantor::os::ScriptResult(Library::System, vantor::sysslot::DlkControl, 1);
    gAllocKind = data[0];
    gData = data + 1;
    gSize = size - 1;
    gAt = 0;
    BrontelOpen(1);
    BrontelGlobals* g = gBrontel;
    g->conSock = 1;
    g->ctlSock = 2;
    g->disconnected = 0;
    g->commandWait = g->dataWait = 1;
    uint32_t proc = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&Allocate)), context = 0;
    BrontelOptionSet(1, 3, &proc, &context);
    BrontelHandshake();
    // Whatever the setup left of the stream is read as requests until it ends.
    g->disconnected = 0;
    for (int i = 0; i < 64 && gAt < gSize; ++i) {
        BrontelReceivedRequest request{};
        Status s = BrontelReceiveRequest(1, &request);
        if (s == 0 && request.kind != 1 && request.data) vantor::sys::MemHandleFree(request.data);
        if (s == trelErrDisconnected) break;
        g->disconnected = 0;
    }
    BrontelClose(1);
    return 0;
}
