// The library's imports and its trace and error-report helpers.
#include "durnix/DurnixOS.h"

#include <cstdarg>
#include <cstdio>

#include "common/module/ModuleInterface.h"
#include "durnix/DurnixTypes.h"

namespace durnix::os {

vantor::glue::ModuleImport gA68k(vantor::kA68kType, vantor::kA68kCreator, vantor::kA68kVersion, vantor::kA68kSlots);
vantor::glue::ModuleImport gCardSlot(vantor::kCardSlotLibType, vantor::kCardSlotLibCreator,
                                     vantor::kCardSlotLibVersion, vantor::kCardSlotLibSlots);
vantor::glue::ModuleImport gKez(vantor::kKezType, vantor::kKezCreator, vantor::kKezVersion, vantor::kKezSlots);

void Trace(const char* format, ...) {
    char line[512];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    vantor::sys::SysTrace(kTraceCategory, "%s", line);
}

void Report(uint16_t line, const char* message) {
    vantor::sys::ErrDisplayFileLineMsg("Kez/Linux/Drivers/DurnixNew/Src/DurnixLib", line, message);
}

}  // namespace durnix::os
