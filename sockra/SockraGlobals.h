// The library's globals: the record the library global points to (the small record between install
// and open, the open record while open), the per-socket tables and the event wake-up pipe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/SockraLib.h"

namespace sockra {

constexpr uint8_t kFlagClosePending = 0x01;
constexpr uint8_t kFlagSmallRecord = 0x02;

// The fields both records start with.
struct SockraGlobalsHeader {
    uint32_t mutex;  // KAL mutex id
    uint8_t openCount;
    uint8_t flags;
    uint16_t zero;
};
using SockraSmallRecord = SockraGlobalsHeader;
static_assert(sizeof(SockraSmallRecord) == 8);

struct SockraOpenRecord;
using SockraTraceCallback = void (*)(SockraOpenRecord*, uint32_t kind, uint32_t code, uint32_t err, uint32_t);

// A request posted to a network task's mailbox.
struct SockraCmdPB {
    SockraCmdPB* nextP;  // all ones while checked out
    uint8_t useCount;
    uint8_t done;
    uint32_t taskID;
    uint32_t seq;
    uint32_t kind;
    uint16_t result;
    uint32_t args[4];
};

constexpr int kAttachedRowSize = 24;
constexpr int kAttachedRows = 4;

struct SockraOpenRecord {
    SockraGlobalsHeader h;
    SockraSmallRecord* smallP;  // restored as the library global at close
    uint32_t traceFlags;
    SockraTraceCallback traceCallback;
    uint32_t interfaceValues[2];  // settings 0x1004 and 0x1005
    uint16_t interfaceCount;      // how many of them are known
    uint16_t pad;
    void* hostTableP;  // parsed host table (setting 8), freed at close
    void* traceBufP;   // trace buffer, freed at close
    // Command blocks: free list, blocks checked out, next sequence number, network task's mailbox.
    SockraCmdPB* cmdFreeP;
    uint32_t cmdCheckedOut;
    uint32_t cmdNextSeq;
    uint32_t cmdMailbox;
    // Attached interfaces: a count, then rows {u32 creator, u16 instance, ..., u32 interface at 16}.
    uint16_t attachedCount;
    uint8_t attachedRows[kAttachedRows][kAttachedRowSize];
    uint8_t reserved[736 - 58 - kAttachedRows * kAttachedRowSize];
};
static_assert(sizeof(SockraOpenRecord) == 736 && offsetof(SockraOpenRecord, attachedRows) == 58);

// The per-socket tables, index = NetSocketRef - 1, allocated by open with gMaxSockets entries.
struct SockraTables {
    int32_t* sockets;         // host descriptor, -1 when free
    uint32_t* blocking;       // 1 = blocking
    int32_t (*exitPipes)[2];  // monitor pipes: read end, write end; 0 = none
    int32_t (*exitAckPipes)[2];
    int32_t (*primePipes)[2];
    uint32_t* monitorTasks;  // 0 = no monitor
    uint32_t* notifyValues;
};

extern SockraGlobalsHeader* gSockraGlobalsP;  // the library global
extern SockraTables gSockra;
extern uint16_t gSockraMaxSockets;  // table size while open
extern int32_t gSockraWakeupPipe[2];
extern uint8_t gSockraInterfaceUp;

inline SockraOpenRecord* SockraOpenRecordP() {
    SockraGlobalsHeader* g = gSockraGlobalsP;
    return (g && !(g->flags & kFlagSmallRecord)) ? reinterpret_cast<SockraOpenRecord*>(g) : nullptr;
}

// The host descriptor of a reference in use, or -1 (with *errP = 0x1204) for a reference outside
// 1..gSockraMaxSockets, a free entry or a closed library.
int SockraSocketFd(NetSocketRef ref, vantor::Status* errP);

}  // namespace sockra
