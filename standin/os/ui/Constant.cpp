// The stand-in UI library's integer constants (UI slot 256): the 32-bit value of a native integer
// resource ('aint', host order, as the resource translation writes it); 0 when there is none.
#include <cstdint>
#include <cstring>

#include "common/FourCC.h"
#include "common/module/SystemCalls.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os::ui {
namespace {

uint32_t StandinResLoadConstant(uint16_t id) {
    const auto* table = SystemTable();
    void* handle = reinterpret_cast<syssig::DmGetResource*>(table[sysslot::DmGetResource])(FourCC("aint"), id);
    if (!handle) return 0;
    uint32_t value = 0;
    const void* p = reinterpret_cast<syssig::MemHandleLock*>(table[sysslot::MemHandleLock])(handle);
    if (p && reinterpret_cast<syssig::MemHandleSize*>(table[sysslot::MemHandleSize])(handle) >= 4)
        std::memcpy(&value, p, 4);
    if (p) reinterpret_cast<syssig::MemHandleUnlock*>(table[sysslot::MemHandleUnlock])(handle);
    return value;
}
VANTOR_OS_LIBRARY_SLOT(Ui, 256, StandinResLoadConstant)

}  // namespace
}  // namespace vantor::os::ui
