// The library's utility layer: the library lock, trace names and trace-callback events, the trace
// entry points, and the pool of command blocks posted to a network task's mailbox.
#include "sockra/Sockra.h"
#include "sockra/SockraGlobals.h"
#include "sockra/SockraOS.h"

namespace sockra {
namespace {

constexpr const char* kSourcePath = "Libraries/Net/Src/SockraUtils";

struct TraceName {
    uint8_t code;
    const char* name;
};
constexpr TraceName kTraceNames[] = {
    {2, "Open"}, {88, "Open"}, {3, "Close"}, {89, "Close"}, {4, "Sleep"}, {5, "Wake"}, {6, "AddrAToIN"},
    {7, "AddrINToA"}, {8, "SocketOpen"}, {90, "SocketOpen"}, {9, "SocketClose"}, {92, "SocketClose"},
    {10, "SocketOptionSet"}, {98, "SocketOptionSet"}, {11, "SocketOptionGet"}, {99, "SocketOptionGet"},
    {12, "SocketBind"}, {93, "SocketBind"}, {13, "SocketConnect"}, {94, "SocketConnect"}, {14, "SocketListen"},
    {95, "SocketListen"}, {15, "SocketAccept"}, {96, "SocketAccept"}, {17, "SocketShutdown"},
    {91, "SocketShutdown"}, {18, "SendPB"}, {100, "SendPB"}, {19, "Send"}, {20, "ReceivePB"}, {21, "Receive"},
    {22, "DmReceive"}, {23, "SettingGet"}, {56, "SettingGet"}, {24, "SettingSet"}, {57, "SettingSet"},
    {25, "IFGet"}, {26, "IFAttach"}, {101, "IFAttach"}, {27, "IFDetach"}, {102, "IFDetach"}, {28, "IFUp"},
    {103, "IFUp"}, {29, "IFDown"}, {104, "IFDown"}, {30, "IFSettingGet"}, {54, "IFSettingGet"},
    {31, "IFSettingSet"}, {55, "IFSettingSet"}, {32, "Select"}, {33, "GetHostByName"}, {84, "GetHostByName"},
    {35, "GetHostByAddr"}, {86, "GetHostByAddr"}, {36, "GetServByName"}, {37, "Master"}, {105, "Master"},
    {38, "Trace"}, {39, "DrvrWake"}, {81, "DrvrWake"}, {40, "IFMediaUp"}, {41, "InterfacePtr"},
    {42, "PrefsGet"}, {43, "PrefsSet"}, {44, "ScriptExecute"}, {47, "TaskMain"}, {48, "CmdPBCheckout"},
    {49, "CmdPBCheckin"}, {50, "IFGetCodePtr"}, {51, "IFGetFromPrefs"}, {52, "IFAttachToPrefs"},
    {53, "IFDetachFromPrefs"}, {60, "LibReceivePB"}, {61, "LibSendPB"}, {62, "RcvDequeue"},
    {63, "ScriptNextCmd"}, {64, "ParseHostTable"}, {65, "IFTraceMsg"}, {66, "CalcTCPReceiveWindow"},
    {67, "EnqueuePktInSocket"}, {68, "UDPReceiveHandler"}, {69, "DUReceiveHandler"}, {70, "TCPOpenUpcall"},
    {71, "TCPReceiveUpcall"}, {72, "TCPTransmitUpcall"}, {73, "TCPRemoteCloseUpcall"}, {74, "TCPClosedUpcall"},
    {75, "TCPUrgentUpcall"}, {76, "TCPTimeoutUpcall"}, {77, "DNSNameToAddressHandler"},
    {79, "DNSAddressToNameHandler"}, {80, "DNSErrorHandler"}, {82, "DNSAbort"}, {83, "TimerProc"},
    {87, "UpdateTCPRcvWindow"}, {97, "SocketAddr"},
};

void PrvTraceEvent(uint32_t kind, uint32_t code, Status err, uint32_t flag) {
    SockraOpenRecord* g = SockraOpenRecordP();
    if (g && g->traceCallback && (g->traceFlags & flag)) g->traceCallback(g, kind, code, err, 0);
}

Status PrvPost(uint32_t kind, uint32_t traceCode, const uint32_t* args, int count) {
    SockraOpenRecord* g = SockraOpenRecordP();
    SockraCmdPB* pb = g ? CmdPBCheckout(g, 1) : nullptr;
    if (!pb) {
        if (!g) os::ErrReport(kSourcePath, __LINE__, "Out of Cmd Blocks");
        return netErrOutOfCmdBlocks;
    }
    pb->kind = kind;
    for (int i = 0; i < count; ++i) pb->args[i] = args[i];
    Status err = os::KALMailboxSend(g->cmdMailbox, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pb)));
    if (err) {
        os::ErrReport(kSourcePath, __LINE__, "Error sending");
        SockraTraceError(traceCode, err);
    }
    return err;
}

}  // namespace

Status SockraLock(SockraGlobalsHeader** globalsPP, int32_t timeout) {
    SockraGlobalsHeader* g = gSockraGlobalsP;
    if (!g) return netErrNotOpen;
    Status err = os::KALMutexReserve(g->mutex, timeout);
    if (globalsPP) *globalsPP = gSockraGlobalsP;
    return err;
}

void SockraUnlock(SockraGlobalsHeader* globalsP) {
    if (globalsP) os::KALMutexRelease(globalsP->mutex);
}

const char* SockraTraceName(uint32_t code) {
    if (code == 0) return "";
    for (const auto& t : kTraceNames) {
        if (t.code == code) return t.name;
    }
    return "Unknown";
}

void SockraTraceEnter(uint32_t code) { PrvTraceEvent(1, code, 0, 0x8); }
void SockraTraceExit(uint32_t code) { PrvTraceEvent(2, code, 0, 0x8); }
void SockraTraceError(uint32_t code, Status err) { PrvTraceEvent(3, code, err, 0x1); }

SockraCmdPB* CmdPBCheckout(SockraOpenRecord* g, uint8_t noWait) {
    os::SysCriticalEnter();
    SockraCmdPB* pb = g->cmdFreeP;
    if (!pb) {
        os::SysCriticalLeave();
        os::ErrReport(kSourcePath, __LINE__, "Out of Cmd Blocks");
        SockraTraceError(48, netErrOutOfCmdBlocks);
        return nullptr;
    }
    g->cmdFreeP = pb->nextP;
    pb->useCount = 2;
    pb->seq = g->cmdNextSeq++;
    pb->taskID = 0;
    if (noWait) {
        pb->useCount = 1;
    } else {
        os::KALTaskGetCurrentID(&pb->taskID);
    }
    pb->done = 0;
    pb->result = netErrTimeout;
    pb->nextP = reinterpret_cast<SockraCmdPB*>(~uintptr_t{0});
    ++g->cmdCheckedOut;
    os::SysCriticalLeave();
    return pb;
}

void CmdPBCheckin(SockraOpenRecord* g, SockraCmdPB* pb) {
    if (pb->useCount == 0) {
        os::ErrReport(kSourcePath, __LINE__, "Already checked in");
        SockraTraceError(49, netErrAlreadyCheckedIn);
        return;
    }
    if (--pb->useCount != 0) return;
    if (!pb->done) SockraTraceError(49, netErrNotCompleted);
    os::SysCriticalEnter();
    pb->nextP = g->cmdFreeP;
    g->cmdFreeP = pb;
    --g->cmdCheckedOut;
    os::SysCriticalLeave();
}

}  // namespace sockra

using namespace sockra;

extern "C" Status SockraTracePrintF(const char*, ...) {
    os::Trace("Sockra: SockraTracePrintF");
    return 0;
}

extern "C" Status SockraTracePutS(const char*) {
    os::Trace("Sockra: SockraTracePutS");
    return 0;
}

extern "C" Status SockraDrvrWake(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t args[] = {a, b, c, d};
    return PrvPost(1, 39, args, 4);
}

extern "C" Status SockraIFMediaUp(uint32_t a, uint16_t b, uint32_t c) {
    const uint32_t args[] = {a, b, c};
    return PrvPost(2, 40, args, 3);
}

extern "C" Status SockraIFMediaDown(uint32_t a, uint16_t b) {
    const uint32_t args[] = {a, b};
    return PrvPost(26, 40, args, 2);
}
