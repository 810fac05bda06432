// A small module built with the glue, for the tests of the stand-in OS and of the module loader.
// Its creator comes from GLUE_TEST_CREATOR; its type is 'test'. Every launch code it receives is
// reported through the OS message entry (system slot 61) as "<creator> launch 0x<code>".
#include <cstdio>

#include "common/module/GlueTestModule.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"

using namespace vantor;

namespace {

constexpr uint32_t kCreator = FourCC(GLUE_TEST_CREATOR);

glue::ModuleImport gUi(kUiLibType, kUiLibCreator, kUiLibVersion, kUiLibSlots);
glue::ModuleImport gModuleA(kGlueTestType, FourCC("tstA"), 1, kGlueTestSlots);

uint32_t Echo(uint32_t x) { return x * 2 + 1; }
void* SysAlloc(uint32_t size) { return sys::MemPtrNew(size); }
uint32_t CallUi(uint32_t a, uint32_t b, uint32_t c) {
    return gUi.Call<uint32_t(uint32_t, uint32_t, uint32_t)>(kGlueTestUiSlot, a, b, c);
}
uint32_t UiBound() { return gUi.IsBound(); }
uint32_t CallModuleA(uint32_t x) {
    return gModuleA.Call<uint32_t(uint32_t)>(kGlueTestEcho, x);
}
uint32_t RefNum() { return glue::RefNum(); }
void Trace(const char* text) { sys::SysTrace(0x1234, "%s %s", GLUE_TEST_CREATOR, text); }

ModuleProc gExports[kGlueTestSlots] = {
    reinterpret_cast<ModuleProc>(&Echo),     reinterpret_cast<ModuleProc>(&SysAlloc),
    reinterpret_cast<ModuleProc>(&CallUi),   reinterpret_cast<ModuleProc>(&UiBound),
    reinterpret_cast<ModuleProc>(&CallModuleA), reinterpret_cast<ModuleProc>(&RefNum),
    reinterpret_cast<ModuleProc>(&Trace),
};

const ModuleInfoRecord gInfo = MakeModuleInfo(kGlueTestType, kCreator, 1, kGlueTestSlots);

uint32_t Launch(uint16_t code, void* /*param*/, uint16_t /*flags*/) {
    char text[40];
    std::snprintf(text, sizeof text, "%s launch 0x%04X", GLUE_TEST_CREATOR, code);
    sys::SysDebugMessage(text);
    return 0;
}

}  // namespace

VANTOR_MODULE(gInfo, gExports, Launch)
