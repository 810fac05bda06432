// ModuleEntryPoint: hands the launch code to the module's own launch handler. Kept apart from the
// rest of the glue so that a module can be built without it.
#include "common/module/ModuleGlue.h"

extern "C" VANTOR_EXPORT uint32_t ModuleEntryPoint(uint16_t launchCode, void* param, uint16_t flags) {
    // No C++ exception may leave the module.
    try {
        return vantor::glue::ModuleLaunch(launchCode, param, flags);
    } catch (...) {
        return 0xFFFF;
    }
}
