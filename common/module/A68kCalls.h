// The signatures of the 68K environment's export slots (vantor::a68ksig::<Name>, slot numbers in
// A68kSlots.h): Morvel implements each slot with exactly this signature, and a module that serves
// 68K callers calls it through its import of 'libr'/'a68k'. The context is Morvel's per-context
// record, opaque to the callers. Add a line here when a slot gets an implementation.
#pragma once

#include <cstdint>

#include "common/module/A68kLibrary.h"
#include "common/module/SystemCalls.h"

// X(name, result, (parameters))
#define VANTOR_A68K_CALLS(X)                                                                      \
    X(EmulatorOpen, uint16_t, ())                                                                 \
    X(A68kGetArgInt8, int32_t, (void* context, uint16_t offset))                                  \
    X(A68kGetArgInt16, int32_t, (void* context, uint16_t offset))                                 \
    X(A68kGetArgUInt32, uint32_t, (void* context, uint16_t offset))                               \
    X(A68kConvertFormatArgsAtArg, uint16_t, (void* context, uint16_t offset, const char* format,  \
                                             uint32_t* block, uint32_t blockSize))                \
    X(A68kRecordToNativeAtArg, uint16_t, (void* context, uint16_t offset, void* native,          \
                                          const uint8_t* layout))                                 \
    X(A68kSetArgInt8, void, (void* context, int32_t offset, int8_t value))                        \
    X(A68kSetArgInt16, void, (void* context, int32_t offset, uint16_t value))                     \
    X(A68kSetArgUInt32, void, (void* context, int32_t offset, uint32_t value))                    \
    X(A68kRecordTo68KAtArg, uint16_t, (void* context, uint16_t offset, const void* native,       \
                                       const uint8_t* layout))                                    \
    X(A68kReadInt8, int32_t, (void* context, uint32_t pointer, uint32_t offset))                  \
    X(A68kReadInt16, int32_t, (void* context, uint32_t pointer, uint32_t offset))                 \
    X(A68kReadUInt32, uint32_t, (void* context, uint32_t pointer, uint32_t offset))               \
    X(A68kConvertFormatArgs, uint16_t, (void* context, uint32_t args68K, const char* format,       \
                                        uint32_t* block, uint32_t blockSize))                     \
    X(A68kRecordToNative, uint16_t, (void* context, void* native, uint32_t pointer,              \
                                     const uint8_t* layout))                                      \
    X(A68kWriteInt8, void, (void* context, uint32_t pointer, uint32_t offset, int8_t value))      \
    X(A68kWriteInt16, void, (void* context, uint32_t pointer, uint32_t offset, uint16_t value))   \
    X(A68kWriteUInt32, void, (void* context, uint32_t pointer, uint32_t offset, uint32_t value))  \
    X(A68kRecordTo68K, uint16_t, (void* context, const void* native, uint32_t pointer,           \
                                  const uint8_t* layout))                                         \
    X(A68kSetResultInt8, void, (void* context, uint32_t value))                                   \
    X(A68kSetResultInt16, void, (void* context, uint32_t value))                                  \
    X(A68kSetResultUInt32, void, (void* context, uint32_t value))                                 \
    X(A68kSetResultPtr, void, (void* context, uint32_t pointer))                                  \
    X(A68kGetResultInt8, int32_t, (void* context))                                                \
    X(A68kGetResultInt16, int32_t, (void* context))                                               \
    X(A68kGetResultUInt32, uint32_t, (void* context))                                             \
    X(A68kGetResultPtr, uint32_t, (void* context))                                                \
    X(A68kConvertBitfield16, void, (void* context, uint16_t* word, const uint8_t* widths))        \
    X(A68kGetCurrentContext, void*, ())                                                           \
    X(A68kGetGlobalContext, void*, ())                                                            \
    X(A68kCall68K, uint16_t, (void* context, uint32_t address, uint32_t argBytes))                \
    X(A68kCallLibEntry, uint32_t, (void* context, uint16_t refNum, uint16_t trap,                \
                                   uint32_t argBytes))                                            \
    X(A68kLibFind, uint16_t, (void* context, const char* name, uint16_t* refNum))                 \
    X(A68kLibLoad, uint16_t, (void* context, uint32_t type, uint32_t creator, uint16_t* refNum))  \
    X(A68kLibInstall, uint16_t, (void* context, A68kLibEntry install, uint16_t* refNum))          \
    X(A68kLibRemove, uint16_t, (void* context, uint16_t refNum))                                  \
    X(A68kLibGetGlobals, uint32_t, (void* context, uint16_t refNum))                              \
    X(A68kExgSocketToNative, void, (void* context, void* native, uint32_t socket68K))             \
    X(A68kExgSocketTo68K, void, (void* context, const void* native, uint32_t socket68K))          \
    X(A68kEventToNative, void, (void* context, SysEventType* native, uint32_t event68K))          \
    X(A68kEventTo68K, void, (void* context, const SysEventType* native, uint32_t event68K))       \
    X(A68kNativeThunkNew, uint32_t, (void* context, void* function, uint32_t withArgument,       \
                                     uint32_t argument))                                          \
    X(A68kNativeThunkRelease, void, (void* context, void* function))                              \
    X(A68kNativeThunkGetInfo, uint32_t, (void* context, uint32_t address, void** function,       \
                                         uint32_t* argument))                                     \
    X(A68kGetTrapAddress, uint16_t, (void* context, uint16_t index, void** handler))              \
    X(A68kSetTrapAddress, uint16_t, (void* context, uint16_t index, void* handler))               \
    X(A68kDbgBreak, void, ())                                                                     \
    X(A68kLaunchConsole, uint16_t, (const void* arguments))                                      \
    X(A68kFormDeleted, void, (void* form))                                                        \
    X(A68kIsRunning, uint32_t, ())                                                                \
    X(A68kRequestStop, void*, ())                                                                 \
    X(A68kTranslateResource, uint16_t, (void* context, uint32_t type68K, const void* image,        \
                                         uint32_t size, void** native, uint32_t* nativeSize))    \
    X(A68kSleepNotify, void, (const void* notification))                                          \
    X(A68kGetArgPtr, uint32_t, (void* context, uint16_t offset))                                  \
    X(A68kGetArgPtr2, uint32_t, (void* context, uint16_t offset))                                 \
    X(A68kContextNew, uint16_t, (const void* taskArguments, void** context))                      \
    X(A68kContextDelete, uint16_t, (void* context))                                               \
    X(A68kSetCurrentContext, uint16_t, (void* context))

namespace vantor::a68ksig {
#define VANTOR_A68K_SIGNATURE(name, result, params) using name = result params;
VANTOR_A68K_CALLS(VANTOR_A68K_SIGNATURE)
#undef VANTOR_A68K_SIGNATURE
}  // namespace vantor::a68ksig
