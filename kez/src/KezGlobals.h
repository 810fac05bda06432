// KezGlobals: the state of Kez, one static record, set up by KezGlobalsInit. Each service owns a
// group of fields; the services' own files hold the rest of their state.
#pragma once

#include <cstdint>

#include "common/module/KezBootConfig.h"

namespace kez {

struct KezGlobals {
    vantor::KezBootConfig config;  // copied by KezGlobalsInit
    uint32_t afterConfig[3];       // read by slot 208, set by the random UI-event tester
    vantor::KezHostStatus* hostStatus;
    bool traceLineStart;  // the next trace output begins a line
};

extern KezGlobals gKez;

}  // namespace kez
