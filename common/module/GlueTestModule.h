// The export slots of the glue test modules (common/module/tests/GlueTestModule.cpp).
#pragma once

#include <cstdint>

#include "common/FourCC.h"

namespace vantor {

constexpr uint32_t kGlueTestType = FourCC("test");
constexpr uint32_t kGlueTestSlots = 7;
constexpr uint16_t kGlueTestEcho = 0;         // u32 (u32 x): 2x + 1
constexpr uint16_t kGlueTestSysAlloc = 1;     // void* (u32 size): system slot 353
constexpr uint16_t kGlueTestCallUi = 2;       // u32 (u32, u32, u32): UI slot kGlueTestUiSlot
constexpr uint16_t kGlueTestUiBound = 3;      // u32 (): whether the UI import is bound
constexpr uint16_t kGlueTestCallModuleA = 4;  // u32 (u32 x): Echo of module 'tstA' via an import
constexpr uint16_t kGlueTestRefNum = 5;       // u32 (): the reference number the loader gave
constexpr uint16_t kGlueTestTrace = 6;        // void (const char*): a trace line, system slot 278
constexpr uint16_t kGlueTestUiSlot = 7;

}  // namespace vantor
