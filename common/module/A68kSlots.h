// Slot numbers of the 68K environment's export table ('libr'/'a68k', version 2, 58 entries), the
// interface through which other modules read and write the arguments, memory and results of 68K
// callers.
#pragma once

#include <cstdint>

#define VANTOR_A68K_SLOTS(X) \
    X(0, EmulatorOpen)                \
    X(1, A68kGetArgInt8)              \
    X(2, A68kGetArgInt16)             \
    X(3, A68kGetArgUInt32)            \
    X(4, A68kConvertFormatArgsAtArg)  \
    X(5, A68kRecordToNativeAtArg)     \
    X(6, A68kSetArgInt8)              \
    X(7, A68kSetArgInt16)             \
    X(8, A68kSetArgUInt32)            \
    X(9, A68kRecordTo68KAtArg)        \
    X(10, A68kReadInt8)               \
    X(11, A68kReadInt16)              \
    X(12, A68kReadUInt32)             \
    X(13, A68kConvertFormatArgs)      \
    X(14, A68kRecordToNative)         \
    X(15, A68kWriteInt8)              \
    X(16, A68kWriteInt16)             \
    X(17, A68kWriteUInt32)            \
    X(18, A68kRecordTo68K)            \
    X(19, A68kSetResultInt8)          \
    X(20, A68kSetResultInt16)         \
    X(21, A68kSetResultUInt32)        \
    X(22, A68kSetResultPtr)           \
    X(23, A68kGetResultInt8)          \
    X(24, A68kGetResultInt16)         \
    X(25, A68kGetResultUInt32)        \
    X(26, A68kGetResultPtr)           \
    X(27, A68kConvertBitfield16)      \
    X(28, A68kGetCurrentContext)      \
    X(29, A68kGetGlobalContext)       \
    X(30, A68kCall68K)                \
    X(31, A68kCallLibEntry)           \
    X(32, A68kLibFind)                \
    X(33, A68kLibLoad)                \
    X(34, A68kLibInstall)             \
    X(35, A68kLibRemove)              \
    X(36, A68kLibGetGlobals)          \
    X(37, A68kExgSocketToNative)      \
    X(38, A68kExgSocketTo68K)         \
    X(39, A68kEventToNative)          \
    X(40, A68kEventTo68K)             \
    X(41, A68kNativeThunkNew)         \
    X(42, A68kNativeThunkRelease)     \
    X(43, A68kNativeThunkGetInfo)     \
    X(44, A68kDbgBreak)               \
    X(45, A68kLaunchConsole)          \
    X(46, A68kGetTrapAddress)         \
    X(47, A68kSetTrapAddress)         \
    X(48, A68kFormDeleted)            \
    X(49, A68kIsRunning)              \
    X(50, A68kRequestStop)            \
    X(51, A68kTranslateResource)      \
    X(52, A68kSleepNotify)            \
    X(53, A68kGetArgPtr)              \
    X(54, A68kGetArgPtr2)             \
    X(55, A68kContextNew)             \
    X(56, A68kContextDelete)          \
    X(57, A68kSetCurrentContext)     

namespace vantor::a68kslot {

#define VANTOR_SLOT_CONSTANT(number, name) constexpr uint16_t name = number;
VANTOR_A68K_SLOTS(VANTOR_SLOT_CONSTANT)
#undef VANTOR_SLOT_CONSTANT

}  // namespace vantor::a68kslot

namespace vantor {

constexpr uint16_t kA68kSlotCount = 58;

// The name of a slot listed above, or null.
const char* A68kSlotName(uint16_t slot);

}  // namespace vantor
