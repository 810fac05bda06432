// The desktop-link transport over TCP: its records, status codes, exported entries and the
// internal steps that the tests reach.
#pragma once

#include <cstdint>

#include "common/Status.h"
#include "common/module/ModuleInterface.h"

namespace brontel {

using vantor::Status;

// Status codes of class 0x13.
constexpr Status trelErrTimeout = 0x1301;
constexpr Status trelErrParam = 0x1302;
constexpr Status trelErrMemory = 0x1304;
constexpr Status trelErrCancelled = 0x1305;
constexpr Status trelErrTooLarge = 0x1306;
constexpr Status trelErrDisconnected = 0x1307;
constexpr Status trelErrOpen = 0x130A;
constexpr Status trelErrInterfaces = 0x130B;
constexpr Status trelErrSetupEnded = 0x130C;
constexpr Status trelErrNoHost = 0x130E;
constexpr Status trelErrBadFrame = 0x130F;

constexpr uint16_t kDefaultTcpPort = 14238;
constexpr uint16_t kDiscoveryPort = 14237;
constexpr uint32_t kFixedBufferSize = 2048;
constexpr uint32_t kKeepAliveMs = 10000;

// Desktop-link settings the transport reads and writes (system slot 63, `DlkControl`).
constexpr uint16_t kDlkGetSetting = 1, kDlkSetSetting = 2;
constexpr uint16_t kSettingHostName = 1, kSettingTcpPort = 7, kSettingHostAddr = 10, kSettingFoundAddr = 11,
                   kSettingHostMask = 12, kSettingFoundMask = 13;

struct BrontelPhase1Args {
    uint32_t serviceCreator;
    uint32_t serviceType;
    uint32_t serviceValue;  // 0: keep the current default service
};

struct BrontelSegment {
    const void* data;
    uint32_t length;
    uint8_t pad;  // one zero byte first when the running offset is odd
};

struct BrontelRequestBlock {
    uint16_t requestId;
    const BrontelSegment* segments;
    uint16_t count;
};

struct BrontelReceivedRequest {
    uint16_t requestId;
    uint32_t length;
    void* data;    // the fixed buffer (kind 1) or the allocator's handle
    uint8_t kind;  // 1 fixed buffer; 3 handle filled by record receive; other: handle
};

using BrontelProducer = Status (*)(void* context, void* buffer, uint32_t length, uint32_t* produced);
using BrontelConsumer = Status (*)(void* context, const void* buffer, uint32_t count, uint32_t* word);

struct BrontelStreamOut {
    void* context;
    BrontelProducer producer;
    uint32_t total;
    const BrontelRequestBlock* block;
};

struct BrontelStreamIn {
    void* context;
    BrontelConsumer consumer;
    uint32_t length;
    uint32_t unused;
    const BrontelRequestBlock* block;
    uint16_t requestId;
};

// The owner's callbacks (options 1, 3 and 7).
using BrontelIdleProc = void (*)(uint32_t context);
using BrontelAllocProc = void* (*)(uint32_t context, uint32_t length, uint8_t* kind);
// The block handed to the owner when a tickle is due, and the routine it calls back.
struct BrontelTickleBlock {
    uint32_t kind;  // always 1
    uint32_t zero;
    void* globals;
    uint8_t requestId;  // 255
};
using BrontelTickleRoutine = Status (*)(uint32_t anything, BrontelTickleBlock* block);
struct BrontelTickleRequest {
    uint32_t kind;  // 1: please run the routine; 0: withdraw the earlier request
    uint32_t context;
    uint32_t refNum;
    BrontelTickleBlock* block;
    BrontelTickleRoutine routine;
};
using BrontelTickleProc = void (*)(BrontelTickleRequest* request);

// Host discovery record.
struct PnrpTarget {
    uint32_t address;  // network order; 0 = none
    uint32_t mask;
    const char* name;
};

// Exported entries (slot order).
Status BrontelOpen(uint16_t refNum);
Status BrontelClose(uint16_t refNum);
Status BrontelSleep(uint16_t refNum);
Status BrontelWake(uint16_t refNum);
Status BrontelOptionSet(uint16_t refNum, uint16_t option, const void* value, const void* value2);
Status BrontelOptionGet(uint16_t refNum, uint16_t option, void* value, void* value2);
Status BrontelControl(uint16_t refNum, uint16_t id, void* record, uint16_t* inOut);
Status BrontelConnectPhase1(uint16_t refNum, const BrontelPhase1Args* args);
Status BrontelConnectPhase2(uint16_t refNum);
Status BrontelDisconnect(uint16_t refNum, uint8_t unused);
Status BrontelReceiveRequest(uint16_t refNum, BrontelReceivedRequest* out);
Status BrontelSendRequest(uint16_t refNum, const BrontelRequestBlock* block);
Status BrontelCancel(uint16_t refNum);
uint32_t BrontelQueryValue(uint16_t refNum);
uint32_t BrontelGetVersion(uint16_t refNum);
uint32_t BrontelSegmentSize(uint16_t refNum, uint16_t count, const BrontelSegment* segments);
Status BrontelReceiveStream(uint16_t refNum, BrontelStreamIn* stream);
Status BrontelSendStream(uint16_t refNum, BrontelStreamOut* stream);

vantor::ModuleProc* BrontelExportTable();
uint32_t BrontelModuleEntry(uint16_t launchCode, void* param, uint16_t flags);

// Internal steps.
Status BrontelSendTickle(uint32_t anything, BrontelTickleBlock* block);
bool BrontelCheckCancel(void* globals);
void BrontelKeepAliveHold(bool release);
Status BrontelHandshake();
bool PnrpDiscover(PnrpTarget* target, bool (*cancel)(void*), void* context);

// Counters of the status display, and the maximum request size.
struct BrontelCounters {
    uint16_t ticklesSent, ticklesReceived, commandsReceived, memoryErrors;
};
BrontelCounters BrontelCountersGet();

}  // namespace brontel
