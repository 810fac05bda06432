// Native direct calls: native code objects that 68K applications load call the OS through three
// tables of code addresses reached from R9 (Kez, System, UI), with a runtime record per open call
// that gives the native code its own 16 KB stack. The shims and trampolines are ARM code and exist
// in the ARM build only; the i386 build keeps the tables (holding the OS entries themselves), the
// record and the reporter, and its trampolines call host functions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/module/SystemCalls.h"

namespace morvel::directcall {

constexpr uint32_t kKezEntries = 256, kSystemEntries = 1024, kUiEntries = 400;
enum class Table : uint8_t { Kez, System, Ui };
// The R9 offset of each table's pointer, as the caller's stub loads it.
constexpr uint32_t kKezOffset = 4, kSystemOffset = 8, kUiOffset = 12;

// The 68-byte runtime record; R9 holds record + 64 (the address of r9Word).
struct LumetRuntimeRecord {
    uint32_t previous;
    uint32_t stackBlock;
    uint32_t savedReturn;
    uint32_t hostRegs[7];  // r4-r8, r10, r11
    uint32_t nativeSP;
    uint32_t hostSP;
    uint32_t reserved;
    uint32_t uiTable;
    uint32_t systemTable;
    uint32_t kezTable;
    uint32_t r9Word;
};
static_assert(sizeof(LumetRuntimeRecord) == 68);
static_assert(offsetof(LumetRuntimeRecord, r9Word) == 64 && offsetof(LumetRuntimeRecord, nativeSP) == 40 &&
              offsetof(LumetRuntimeRecord, hostSP) == 44 && offsetof(LumetRuntimeRecord, uiTable) == 52);

constexpr uint32_t kStackBytes = 0x4000, kStackBlockBytes = 0x4004;
constexpr uint32_t kBottomMarker = 0x726E695F;  // "_inr" in memory order
constexpr uint32_t kTopMarker = 0xFFFFFFFF;

// What a filled entry runs: the target and the number of argument words the native caller left on
// its stack beyond the four register arguments (0: the plain shim). The ARM shims read this record
// at offsets 0 and 4.
struct EntryTarget {
    uint32_t function;
    uint32_t stackWords;
};

// Fills the tables once per process (thread-safe); resolves the targets through the system table
// and the Kez and UI imports.
void LumetDirectCallTablesFill();
// A table's code addresses (filled first).
const uint32_t* LumetDirectCallTable(Table table);
// The target of a filled entry, or null for an entry without a shim. Entry 493 of the System table
// holds the OS entry itself (no shim, no stack switch); its target is reported all the same.
const EntryTarget* LumetEntryTarget(Table table, uint16_t id);
// Number of filled entries of a table.
uint32_t LumetFilledEntries(Table table);

// Opens a direct call for the calling task and answers its R9 value; 0 after a reported failure.
uint32_t PrvLumetDirectCallInitARM();
// Closes the innermost record of the calling task, reporting a damaged stack marker.
void PrvLumetDirectCallCloseARM();
// The calling task's record + 64, or 0 with no open call.
extern "C" uint32_t LumetCurrentR9();

// Enter native code on the record's stack (R9 = r9) and answer its result.
extern "C" uint32_t LumetCallNative3(uint32_t a0, uint32_t a1, uint32_t a2, uint32_t entry, uint32_t r9);
extern "C" uint32_t LumetCallNative1(uint32_t a0, uint32_t entry, uint32_t r9);
// Open, enter and close in one; 0 when no call could be opened.
uint32_t LumetRunNative3(uint32_t entry, uint32_t a0, uint32_t a1, uint32_t a2);
uint32_t LumetRunNative1(uint32_t entry, uint32_t a0);

// The call-back into 68K code that native code gets (as the address LumetCall68KAddress()): runs
// the routine set here with its four arguments on the host stack.
using Call68KProc = uint32_t (*)(void* state, uint32_t t, const void* arguments, uint32_t sizeAndFlags);
void LumetSetCall68K(Call68KProc proc);
uint32_t LumetCall68KAddress();

// The report of a call through an entry without a shim; `ret` is the shim's return address.
extern "C" void PrvLumetUnimplementedSysCall(uint32_t ret);

// Bridges.
void FrmSetEventHandlerDirectImpl(void* form, uint32_t handler);
uint8_t PrvLumetFormEventHandler(vantor::SysEventType* event);
void LumetRemoveFormHandler(uint16_t formId);
uint32_t SysNotifyRegisterDirectImpl(uint32_t dbID, uint32_t notifyType, uint32_t proc, uint32_t priority,
                                     uint32_t userData);
uint32_t SysNotifyUnregisterDirectImpl(uint32_t dbID, uint32_t notifyType, uint32_t priority);
uint16_t PrvLumetNotifyProc(vantor::SysNotifyParamType* params);
uint32_t LumetTimerCreate(uint32_t* timerId, uint32_t tag, uint32_t callback, uint32_t argument);
uint32_t LumetTimerDelete(uint32_t timerId);
void LumetTimerBridge(uint32_t block);

// Reports a failure of this module through system slot 159.
void LumetFatal(const char* source, uint16_t line, const char* message);

}  // namespace morvel::directcall
