// For test and fuzz programs that call the OS through the module glue as a module's own code
// would: declares the program as a module of type 'test' with the given creator and no exports.
// Use once, at namespace scope, in one source file of the program.
#pragma once

#include "common/FourCC.h"
#include "common/module/ModuleGlue.h"
#include "common/module/ModuleInterface.h"

#define VANTOR_PROGRAM_AS_MODULE(creator)                                                         \
    namespace vantor_program_module {                                                             \
    const ::vantor::ModuleInfoRecord gInfo =                                                      \
        ::vantor::MakeModuleInfo(::vantor::FourCC("test"), ::vantor::FourCC(creator), 1, 0);      \
    ::vantor::ModuleProc gNoExports[1] = {};                                                      \
    inline uint32_t NoLaunch(uint16_t, void*, uint16_t) { return 0; }                             \
    }                                                                                             \
    VANTOR_MODULE(vantor_program_module::gInfo, vantor_program_module::gNoExports,                \
                  vantor_program_module::NoLaunch)
