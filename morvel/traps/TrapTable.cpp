#include "morvel/traps/TrapTable.h"

#include <cstdio>
#include <cstring>

#include "common/module/SystemCalls.h"
#include "morvel/launch/AppLaunch.h"
#include "morvel/nub/DebuggerNub.h"
#include "morvel/traps/CommsGlue.h"
#include "morvel/traps/DatabaseGlue.h"
#include "morvel/traps/ErrorGlue.h"
#include "morvel/traps/EventGlue.h"
#include "morvel/traps/ExchangeGlue.h"
#include "morvel/traps/ExpansionGlue.h"
#include "morvel/traps/FloatGlue.h"
#include "morvel/traps/FieldGlue.h"
#include "morvel/traps/FormGlue.h"
#include "morvel/traps/HardwareGlue.h"
#include "morvel/traps/InputGlue.h"
#include "morvel/traps/IntlGlue.h"
#include "morvel/traps/Libraries.h"
#include "morvel/traps/MemoryGlue.h"
#include "morvel/traps/NativeCalls.h"
#include "morvel/traps/StringGlue.h"
#include "morvel/traps/SystemGlue.h"
#include "morvel/traps/TimeGlue.h"
#include "morvel/traps/TrapDispatch.h"
#include "morvel/traps/UiServiceGlue.h"

namespace morvel {
namespace {

constexpr uint16_t kStringListUnimplemented = 10052;
constexpr uint16_t kEventAppStop = 22;

void DefaultReport0505(EmulState* s, uint16_t index) {
    ReportUnimplementedTrap(s, kErrUnimplemented, 0, index);
    s->D[0] = (s->D[0] & 0xFFFF0000u) | kErrUnimplemented;
}
void DefaultReportD0W(EmulState* s, uint16_t index) {
    ReportUnimplementedTrap(s, kErrUnimplemented, 0, index);
    s->D[0] &= 0xFFFF0000u;
}
void DefaultReportD0L(EmulState* s, uint16_t index) {
    ReportUnimplementedTrap(s, kErrUnimplemented, 0, index);
    s->D[0] = 0;
}
void DefaultReportA0(EmulState* s, uint16_t index) {
    ReportUnimplementedTrap(s, kErrUnimplemented, 0, index);
    s->A[0] = 0;
}
void DefaultQuietD0(EmulState* s, uint16_t) { s->D[0] &= 0xFFFF0000u; }
void DefaultQuiet(EmulState*, uint16_t) {}

}  // namespace

void TrapDefaultReport(EmulState* s, uint16_t index) { ReportUnimplementedTrap(s, kErrUnimplemented, 0, index); }

bool IsDefaultTrapHandler(TrapHandler h) {
    return h == TrapDefaultReport || h == DefaultReport0505 || h == DefaultReportD0W || h == DefaultReportD0L ||
           h == DefaultReportA0;
}

void TrapTableInit(TrapHandler* table) {
    // The named defaults, at the indexes the OS's trap list gives those routines.
    // SysNewOwnerID, HwrPluggedIn, DayHandleEvent, HwrLCDGetDepthV33, HwrLCDContrastV33, KeyBootKeys,
    // DbgSerDrvStatus, AttnHandleEvent, AttnEffectOfEvent, and index 1100.
    for (uint16_t index : {0x0A3, 0x258, 0x25D, 0x33F, 0x34A, 0x3B6, 0x3BA, 0x42B, 0x42C, 1100})
        table[index] = DefaultReportD0W;
    // SysTaskID, TimSetAlarm, TimGetAlarm, AttnIndicatorTicksTillNextBlink.
    for (uint16_t index : {0x09E, 0x0F9, 0x0FA, 0x423}) table[index] = DefaultReportD0L;
    // DbgGetMessage, SysTaskUserInfoPtr, ResLoadForm, DmOpenDBWithLocale.
    for (uint16_t index : {0x082, 0x09F, 0x277, 0x3B1}) table[index] = DefaultReportA0;
    // TimSleep, TimWake, HwrTimerSleep, HwrTimerWake, PenSleep, PenWake, KeySleep, KeyWake.
    for (uint16_t index : {0x0FF, 0x100, 0x24E, 0x24F, 0x275, 0x276, 0x2A5, 0x2A6}) table[index] = DefaultQuietD0;
    // SysDisableInts, SysRestoreStatus, SerReceiveISP, TimHandleInterrupt, KeyResetDoubleTap.
    for (uint16_t index : {0x0A5, 0x0A6, 0x0D0, 0x0FB, 0x2A3}) table[index] = DefaultQuiet;
    ErrorGlueInstall(table);
    MemoryGlueInstall(table);
    DbgNubInstall(table);
    NativeCallsInstall(table);
    LibraryGlueInstall(table);
    AppGlueInstall(table);
    EventGlueInstall(table);
    TimeGlueInstall(table);
    StringGlueInstall(table);
    IntlGlueInstall(table);
    DatabaseGlueInstall(table);
    FloatGlueInstall(table);
    ExchangeGlueInstall(table);
    SystemGlueInstall(table);
    CommsGlueInstall(table);
    HardwareGlueInstall(table);
    InputGlueInstall(table);
    ExpansionGlueInstall(table);
    FormGlueInstall(table);
    FieldGlueInstall(table);
    UiServiceGlueInstall(table);
}

uint16_t TrapTableCreate(EmulState* global) {
    auto* block = static_cast<TrapHandler*>(vantor::sys::MemPtrNew(kTrapTableBytes));
    if (!block) return kErrNoTableRoom;
    for (uint32_t i = 0; i < kTrapCount; ++i) block[i] = TrapDefaultReport;
    TrapTableInit(block);
    void* chunk = nullptr;
    uint16_t heaps = vantor::sys::MemHeapCount();
    for (uint16_t heap = 0; heap < heaps && !chunk; ++heap) {
        if (vantor::sys::MemHeapDynamic(heap)) continue;
        chunk = vantor::sys::MemChunkNew(heap, kTrapTableBytes, 3);
    }
    uint16_t err = kErrNoTableRoom;
    if (chunk) {
        err = vantor::sys::DmWrite(chunk, 0, block, kTrapTableBytes);
        global->trapTable = static_cast<TrapHandler*>(chunk);
    }
    vantor::sys::MemChunkFree(block);
    return err;
}

uint16_t A68kGetTrapAddress(EmulState* s, uint16_t index, TrapHandler* out) {
    if (index >= kTrapCount) return kErrBadTrapIndex;
    *out = (s->global ? s->global : s)->trapTable[index];
    return 0;
}

uint16_t A68kSetTrapAddress(EmulState* s, uint16_t index, TrapHandler handler) {
    if (index >= kTrapCount) return kErrBadTrapIndex;
    TrapHandler* table = (s->global ? s->global : s)->trapTable;
    return vantor::sys::DmWrite(table, index * 4u, &handler, 4);
}

void ReportUnimplementedTrap(EmulState* s, uint16_t errorCode, int32_t first, uint16_t trapIndex) {
    if (s->unimplementedReported) return;
    auto* text = static_cast<char*>(vantor::sys::MemPtrNew(160));
    if (text) {
        text[0] = 0;
        vantor::sys::SysStringByIndex(kStringListUnimplemented, 1, text, 160);
        text[159] = 0;
        char pair[32];
        std::snprintf(pair, sizeof pair, " (%d, %d)", static_cast<int>(first), static_cast<int>(trapIndex));
        vantor::sys::ErrAlertCustom(errorCode ? errorCode : 0x3401, text, nullptr, pair);
        vantor::sys::MemChunkFree(text);
    }
    vantor::SysEventType stop{};
    stop.eType = kEventAppStop;
    vantor::sys::EvtAddEventToQueue(&stop);
    s->unimplementedReported = 1;
}

}  // namespace morvel
