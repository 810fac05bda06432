// The signatures of Kez's export slots (vantor::kezsig::<Name>): Kez implements each slot with
// exactly this signature, and a module calls it through its import of Kez, for example
//   gKez.Call<kezsig::KALMutexReserve>(kezslot::KALMutexReserve, id, -1);
// Add a line here when a slot of KezSlots.h gets an implementation.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "common/module/KezDraw.h"
#include "common/module/KezInterface.h"

namespace vantor {
using KezEventHandler = uint16_t (*)(void* record);

// Records of the event queue: a pen position in screen coordinates ((0xFFFF, 0xFFFF): pen up) and
// a key event.
struct KezPenEventRecord {
    uint16_t x;
    uint16_t y;
};
struct KezKeyEventRecord {
    uint16_t character;
    uint16_t keyCode;
    uint16_t modifiers;
    uint16_t reserved;
};
static_assert(sizeof(KezKeyEventRecord) == 8);

struct KezLocale {
    uint16_t language;
    uint16_t country;
};

// The memory areas (slot 70): a count and a pointer to the descriptors.
struct KezMemoryArea {
    uint8_t kind;  // 0 ROM, 1 dynamic heap, 2 storage heap
    uint32_t base;
    uint32_t size;
};
static_assert(sizeof(KezMemoryArea) == 12);
struct KezMemoryAreas {
    uint32_t count;
    KezMemoryArea* areas;
};
using KezTimerCallback = void (*)(uint32_t argument);
}  // namespace vantor

// X(name, result, (parameters))
#define VANTOR_KEZ_CALLS(X)                                                                       \
    X(KezGetGlobals, void**, ())                                                                  \
    X(HALDelay, void, (uint32_t microseconds))                                                    \
    X(HALErrDisplay, uint32_t, (const char* message, uint8_t flagA, uint32_t* answer,            \
                                uint8_t flagB))                                                  \
    X(HALFloatAddF64, double, (double a, double b))                                               \
    X(HALFloatAddF32, float, (float a, float b))                                                  \
    X(HALFloatEqF64, int32_t, (double a, double b))                                               \
    X(HALFloatLtF64, int32_t, (double a, double b))                                               \
    X(HALFloatEqF32, int32_t, (float a, float b))                                                 \
    X(HALFloatLtF32, int32_t, (float a, float b))                                                 \
    X(HALFloatDivF64, double, (double a, double b))                                               \
    X(HALFloatDivF32, float, (float a, float b))                                                  \
    X(HALFloatF64ToF32, float, (double value))                                                    \
    X(HALFloatF64ToI32, int32_t, (double value))                                                  \
    X(HALFloatF64ToF64, double, (double value))                                                   \
    X(HALFloatF64ToU32, uint32_t, (double value))                                                 \
    X(HALFloatF64ToI64, int64_t, (double value))                                                  \
    X(HALFloatF64ToU64, uint64_t, (double value))                                                 \
    X(HALFloatF32ToF64, double, (float value))                                                    \
    X(HALFloatF32ToI32, int32_t, (float value))                                                   \
    X(HALFloatF32ToF32, float, (float value))                                                     \
    X(HALFloatF32ToU32, uint32_t, (float value))                                                  \
    X(HALFloatF32ToI64, int64_t, (float value))                                                   \
    X(HALFloatF32ToU64, uint64_t, (float value))                                                  \
    X(HALFloatI32ToF32, float, (int32_t value))                                                   \
    X(HALFloatI32ToF64, double, (int32_t value))                                                  \
    X(HALFloatExtToF64, double, (long double value))                                              \
    X(HALFloatExtToF32, float, (long double value))                                               \
    X(HALFloatI64ToF32, float, (int64_t value))                                                   \
    X(HALFloatI64ToF64, double, (int64_t value))                                                  \
    X(HALFloatMulF64, double, (double a, double b))                                               \
    X(HALFloatMulF32, float, (float a, float b))                                                  \
    X(HALFloatNegF64, double, (double value))                                                     \
    X(HALFloatNegF32, float, (float value))                                                       \
    X(HALFloatSubF64, double, (double a, double b))                                               \
    X(HALFloatSubF32, float, (float a, float b))                                                  \
    X(HALFloatU32ToF32, float, (uint32_t value))                                                  \
    X(HALFloatU32ToF64, double, (uint32_t value))                                                 \
    X(HALFloatU64ToF64, double, (uint64_t value))                                                 \
    X(HALFloatU64ToF32, float, (uint64_t value))                                                  \
    X(HALEventPost, uint16_t, (uint32_t kind, void* record))                                      \
    X(HALEventSetHandler, uint16_t, (uint32_t kind, KezEventHandler handler,                     \
                                     KezEventHandler* oldHandler))                               \
    X(HALEventSetWakeupPipe, void, (const int32_t* descriptors))                                  \
    X(HALEventEnqueueGdkMouseEvent, uint16_t, (void* gdkEvent))                                   \
    X(HALEventEnqueueGdkKeyEvent, uint16_t, (void* gdkKeyEvent))                                  \
    X(HALKeyTranslate, uint16_t, (uint32_t keyValue, uint32_t eventType))                         \
    X(HALKeyCodeToMask, uint32_t, (uint16_t character))                                           \
    X(HALSettingsGetLocale, uint32_t, (KezLocale* locale))                                        \
    X(HALSettingsGetDeviceType, uint32_t, ())                                                     \
    X(HALMemoryGetAreas, KezMemoryAreas*, ())                                                     \
    X(HALMemoryIsProtected, uint8_t, ())                                                          \
    X(HALMemorySetProtection, uint16_t, (uint8_t on))                                             \
    X(HALMemoryCheckStackRange, uint8_t, (const void* address, uint32_t length, uint8_t unused))  \
    X(HALMemoryGetAreaSize, uint32_t, (uint32_t a, uint32_t b))                                   \
    X(HALSetInitStage, void, (uint32_t stage))                                                    \
    X(HALDisplayInitialize, uint16_t, ())                                                         \
    X(HALDisplayDispose, uint16_t, ())                                                            \
    X(HALDisplayGetAttributes, uint16_t, (uint16_t attribute, void* value))                       \
    X(HALDisplaySetAttributes, uint16_t, (uint16_t attribute, uint32_t value))                    \
    X(HALDisplayGetPalette, uint16_t, (uint16_t start, uint16_t count, uint8_t* entries))         \
    X(HALDisplaySetPalette, uint16_t, (uint16_t start, uint16_t count, const uint8_t* entries))   \
    X(HALDisplayLock, void*, (void* screenManager, uint8_t* wasLocked))                           \
    X(HALDisplayUnlock, uint16_t, (void* screenManager))                                          \
    X(HALScreenInit, uint16_t, (uint16_t x, uint16_t y, const void* bitmap))                      \
    X(HALDisplayHideWindow, uint16_t, ())                                                         \
    X(HALDisplayShowWindow, uint16_t, ())                                                         \
    X(HALDisplayPainterStart, uint16_t, (void** gtkObjects))                                      \
    X(HALDisplaySetStartGUICallback, void, (void (*callback)()))                                  \
    X(HALDisplaySetExtentState, void, (uint16_t state))                                           \
    X(HALDisplayAddDirtyRect, uint16_t, (const int16_t* rect, uint8_t force))                     \
    X(HALDrawResetState, void, ())                                                                \
    X(HALColorRGBToIndex, uint16_t, (uint16_t count, HALColorEntry* entries,                     \
                                     const HALColorTable* table))                                \
    X(HALDrawGetPixel, uint32_t, (const HALBitmap* bitmap, uint16_t x, uint16_t y,               \
                                  uint8_t asIndex))                                              \
    X(HALDrawLine, void, (HALDrawState* state, int16_t x1, int16_t y1, int16_t x2, int16_t y2,   \
                          uint16_t penSize))                                                     \
    X(HALDrawRectangle, uint16_t, (HALDrawState* state, const HALRect* rect,                     \
                                   uint16_t cornerRadius, uint16_t frameWidth))                  \
    X(HALDrawPixels, void, (HALDrawState* state, uint16_t count, const int16_t* points,          \
                            uint16_t size))                                                      \
    X(HALDrawGetNextDensity, uint16_t, (uint16_t* density))                                      \
    X(HALDrawBitmap, uint16_t, (HALDrawState* state, HALBitmap* source, const HALRect* target,   \
                                int16_t originX, int16_t originY))                               \
    X(HALDrawChars, void, (HALDrawState* state, int16_t x, int16_t y, const uint8_t* chars,      \
                           int16_t length, const void* font, const void* fontMap,                \
                           HALDrawCharsCallback callback))                                       \
    X(HALScreenMgrIsIdle, uint16_t, ())                                                          \
    X(HALScreenMgrInvalidateRect, uint16_t, (int16_t x, int16_t y, int16_t width,                \
                                             int16_t height))                                    \
    X(HALScreenMgrGetColorTable, HALColorTable*, ())                                             \
    X(HALScreenMgrInitialize, uint16_t, (void** record, const HALColorTable* colorTable))        \
    X(HALScreenMgrBeginUpdate, void*, (uint8_t mode))                                            \
    X(HALScreenMgrSetPalette, uint16_t, (uint16_t first, uint16_t count, uint16_t depth,         \
                                         const HALColorTable* searchTable,                       \
                                         const HALColorTable* const* tables))                    \
    X(HALScreenMgrUpdateTimer, uint16_t, (uint32_t unused))                                      \
    X(HALScreenMgrEndUpdate, uint16_t, ())                                                       \
    X(HALScreenMgrSetMode, uint16_t, (uint16_t depth))                                           \
    X(HALRedrawInputArea, uint16_t, (const HALRect* bounds, uint8_t selected))                   \
    X(HALStatusBarSetIcon, uint16_t, (uint16_t buttonID, uint16_t iconID))                       \
    X(HALStatusBarAddButton, uint16_t, (uint16_t buttonID, void* bitmap, void* selectedBitmap))  \
    X(HALStatusBarLayout, uint16_t, ())                                                          \
    X(HALStatusBarGetIconID, uint16_t, (uint16_t buttonID, uint16_t* iconID))                    \
    X(HALVirtualMouseToggle, uint16_t, ())                                                       \
    X(HALVirtualMouseIsActive, uint16_t, ())                                                     \
    X(HALPowerSetMode, uint16_t, (uint16_t mode))                                                \
    X(HALPowerGetMode, uint16_t, ())                                                             \
    X(HALKeyGetRate, uint16_t, (uint16_t* initialDelay, uint16_t* period, uint8_t* flag))        \
    X(HALKeySetRate, uint16_t, (uint16_t initialDelay, uint16_t period, uint8_t flag))           \
    X(HALKeySetMask, uint32_t, (uint32_t mask))                                                  \
    X(HALKeyGetState, uint32_t, ())                                                              \
    X(HALKeyClearState, uint16_t, ())                                                            \
    X(HALEventGetFlags, uint16_t, (uint16_t* flags))                                             \
    X(HALEventSetFlags, uint16_t, (uint16_t flags))                                              \
    X(HALPenGetPosition, uint16_t, (KezPenEventRecord* position))                                \
    X(HALPenRawToScreen, uint16_t, (KezPenEventRecord* point))                                   \
    X(HALPenScreenToRaw, uint16_t, (KezPenEventRecord* point))                                   \
    X(HALPowerSetAutoOffTime, uint16_t, (uint16_t seconds))                                      \
    X(HALPowerGetAutoOffTime, uint16_t, ())                                                      \
    X(HALPowerSetLastActivity, uint16_t, (uint32_t tick))                                        \
    X(HALPowerGetLastActivity, uint32_t, ())                                                     \
    X(HALPowerSleep, uint16_t, ())                                                               \
    X(PALWaitForStart, void, ())                                                                  \
    X(PALNetConnect, uint16_t, ())                                                                \
    X(PALNetDisconnect, void, ())                                                                 \
    X(HALWaitForInitStage, uint32_t, (uint32_t stage))                                            \
    X(HALReset, void, (uint8_t hard))                                                             \
    X(HALQuit, void, (uint8_t flag))                                                              \
    X(HALTimeGetAlarm, uint16_t, (uint32_t* seconds))                                             \
    X(HALTimeGetSeconds, uint32_t, ())                                                            \
    X(HALTimeGetTicks, uint32_t, ())                                                              \
    X(HALTimeGetClockResolution, uint32_t, ())                                                    \
    X(HALTimeSetAlarm, uint16_t, (uint32_t seconds))                                              \
    X(HALTimeSetSeconds, uint16_t, (uint32_t seconds))                                            \
    X(HALTracePart, void, (uint16_t zone, const char* format, ...))                               \
    X(HALTrace, void, (uint16_t zone, const char* format, ...))                                   \
    X(HALTracePartV, void, (uint16_t zone, const char* format, va_list args))                     \
    X(HALTraceV, void, (uint16_t zone, const char* format, va_list args))                         \
    X(HALTraceHexDump, void, (uint16_t zone, const void* data, int32_t length))                   \
    X(KALTaskCreate, uint16_t, (uint32_t* taskID, const KALTaskCreationRecord* record))           \
    X(KALTaskStart, uint16_t, (uint32_t taskID, uint32_t argument))                               \
    X(KALTaskDelete, uint16_t, (uint32_t taskID))                                                 \
    X(KALTaskGetCurrentID, uint16_t, (uint32_t* taskID))                                          \
    X(KALTaskGetInfo, uint16_t, (uint32_t taskID, KALTaskInfo* info))                             \
    X(KALTaskDelay, uint16_t, (int32_t milliseconds))                                             \
    X(KALTaskWait, uint16_t, (int32_t timeout))                                                   \
    X(KALTaskWake, uint16_t, (uint32_t taskID))                                                   \
    X(KALTaskCheckCurrent, uint16_t, ())                                                          \
    X(KALMutexCreate, uint16_t, (uint32_t* id, uint32_t attribute))                               \
    X(KALMutexDelete, uint16_t, (uint32_t id))                                                    \
    X(KALMutexRelease, uint16_t, (uint32_t id))                                                   \
    X(KALMutexReserve, uint16_t, (uint32_t id, int32_t timeout))                                  \
    X(KALMutexGetInfo, uint16_t, (uint32_t id, void* info))                                       \
    X(KALSemaphoreCreate, uint16_t, (uint32_t* id, uint32_t attribute, uint32_t initialCount))    \
    X(KALSemaphoreDelete, uint16_t, (uint32_t id))                                                \
    X(KALSemaphoreSignal, uint16_t, (uint32_t id))                                                \
    X(KALSemaphoreWait, uint16_t, (uint32_t id, int32_t timeout))                                 \
    X(KALSemaphoreGetInfo, uint16_t, (uint32_t id, void* info))                                   \
    X(KALEventGroupCreate, uint16_t, (uint32_t* id, uint32_t attribute, uint32_t bits))           \
    X(KALEventGroupDelete, uint16_t, (uint32_t id))                                               \
    X(KALEventGroupClear, uint16_t, (uint32_t id, uint32_t bits))                                 \
    X(KALEventGroupGetValue, uint16_t, (uint32_t id, uint32_t* bits))                             \
    X(KALEventGroupSignal, uint16_t, (uint32_t id, uint32_t bits))                                \
    X(KALEventGroupWait, uint16_t, (uint32_t id, const KALEventGroupRequest* request,            \
                                    uint32_t* bits))                                             \
    X(KALEventGroupRead, uint16_t, ())                                                            \
    X(KALMailboxCreate, uint16_t, (uint32_t* id, uint32_t attribute, uint32_t capacity))          \
    X(KALMailboxDelete, uint16_t, (uint32_t id))                                                  \
    X(KALMailboxSend, uint16_t, (uint32_t id, uint32_t message))                                  \
    X(KALMailboxReceive, uint16_t, (uint32_t id, uint32_t* message, int32_t timeout))             \
    X(KALMailboxGetInfo, uint16_t, (uint32_t id))                                                 \
    X(KALTimerCreate, uint16_t, (uint32_t* id, uint32_t tag, KezTimerCallback callback,           \
                                 uint32_t argument))                                             \
    X(KALTimerDelete, uint16_t, (uint32_t id))                                                    \
    X(KALTimerStart, uint16_t, (uint32_t id, uint32_t milliseconds))                              \
    X(KALTimerGetUserData, uint16_t, (uint32_t id, uint32_t* argument))                           \
    X(RALCallEntry, uint32_t, (uint32_t(*function)(uint32_t), uint32_t argument))                 \
    X(RALGetEntryAddresses, uint16_t, (uint32_t refNum, uint32_t first, uint32_t last,           \
                                       uint32_t* entries))                                       \
    X(RALGetModuleInfo, uint16_t, (const RALLoadDescriptor* descriptor, uint32_t* info))          \
    X(RALGetModuleData, uint16_t, (uint32_t refNum, uint32_t* data))                              \
    X(RALImportModule, uint16_t, (uint32_t libraryRefNum, uint32_t importerRefNum,               \
                                  uint32_t* table))                                              \
    X(RALLoadModule, uint16_t, (const RALLoadDescriptor* descriptor, uint32_t argument,          \
                                uint32_t* entry, uint32_t* refNum))                              \
    X(RALPatchEntry, uint16_t, (uint32_t refNum, uint32_t slot, uint32_t entry,                  \
                                uint32_t* oldEntry))                                             \
    X(RALUnloadModule, uint16_t, (uint32_t refNum, uint32_t* descriptorWords,                    \
                                  uint32_t* argument))                                           \
    X(RALUnloadUnusedModule, uint16_t, (uint32_t* refNum, uint32_t* descriptorWords,             \
                                        uint32_t* argument))

namespace vantor::kezsig {
#define VANTOR_KEZ_SIGNATURE(name, result, params) using name = result params;
VANTOR_KEZ_CALLS(VANTOR_KEZ_SIGNATURE)
#undef VANTOR_KEZ_SIGNATURE
}  // namespace vantor::kezsig
