// Sockra's access to the OS: the system table and the lazily bound export table of Kez.
#include "sockra/SockraOS.h"

#include <atomic>
#include <cstdio>

#include "common/FourCC.h"

namespace sockra::os {
namespace {

const Entry* gSystemTable = nullptr;
uint32_t gRefNum = 0;

// Import descriptor of Kez's export table: the first seven words of its info record, three zero
// words, 0xFFFF, 0.
struct ImportDescriptor {
    uint32_t type, creator, version, slotCount, marker[3], zero[3];
    uint16_t terminator, pad;
};
static_assert(sizeof(ImportDescriptor) == 44);

ImportDescriptor gKezImport = {vantor::FourCC("rsrc"),
                               vantor::FourCC("pkez"),
                               2,
                               kezSlotCount,
                               {vantor::FourCC("amdd"), vantor::FourCC("amdi"), vantor::FourCC("amdc")},
                               {0, 0, 0},
                               0xFFFF,
                               0};
std::atomic<const Entry*> gKezTable{nullptr};

}  // namespace

void SetSystemTable(const Entry* table) { gSystemTable = table; }
const Entry* SystemTable() { return gSystemTable; }
void SetRefNum(uint32_t refNum) { gRefNum = refNum; }

const Entry* KezTable() {
    const Entry* t = gKezTable.load(std::memory_order_acquire);
    if (t) return t;
    // Two threads binding at once both get the same table; the binder only fills the pointer.
    const Entry* bound = nullptr;
    SysCall<void>(sysImportBind, &gKezImport, gRefNum, &bound);
    gKezTable.store(bound, std::memory_order_release);
    return bound;
}

void Trace(const char* format, ...) {
    char line[512];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    reinterpret_cast<void (*)(uint16_t, const char*, ...)>(SystemTable()[sysTrace])(0x1200, "%s", line);
}

void ErrReport(const char* sourcePath, uint32_t line, const char* message) {
    SysCall<void>(sysErrReport, sourcePath, line, message);
}

void ErrReportStatus(const char* sourcePath, uint32_t line, Status err) {
    if (err == 0) return;
    char text[12];
    snprintf(text, sizeof text, "%u", unsigned{err});
    ErrReport(sourcePath, line, text);
}

}  // namespace sockra::os
