// Sockra's trace and error-report helpers and its import of Kez.
#include "sockra/SockraOS.h"

#include <cstdio>

#include "common/module/ModuleInterface.h"

namespace sockra::os {

vantor::glue::ModuleImport gKez(vantor::kKezType, vantor::kKezCreator, vantor::kKezVersion, vantor::kKezSlots);

void Trace(const char* format, ...) {
    char line[512];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    vantor::sys::SysTrace(0x1200, "%s", line);
}

void ErrReport(const char* sourcePath, uint32_t line, const char* message) {
    vantor::sys::ErrDisplayFileLineMsg(sourcePath, static_cast<uint16_t>(line), message);
}

void ErrReportStatus(const char* sourcePath, uint32_t line, Status err) {
    if (err == 0) return;
    char text[12];
    snprintf(text, sizeof text, "%u", unsigned{err});
    ErrReport(sourcePath, line, text);
}

}  // namespace sockra::os
