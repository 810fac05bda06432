// The stand-in UI library's clipboard (UI slots 38-40): one item per format (text, ink, bitmap),
// each held in a movable chunk of the system's (owner 0) that the get call hands out. Adding
// replaces a format's item; appending adds to the text item only. An item longer than the
// clipboard holds is not taken.
#include <cstdint>
#include <cstring>
#include <mutex>

#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os::ui {
namespace {

// The system slot `number` as a function of signature Sig.
template <typename Sig>
Sig* Slot(uint16_t number) {
    return reinterpret_cast<Sig*>(SystemTable()[number]);
}

constexpr uint8_t kFormats = 3, kText = 0;
constexpr uint32_t kMostBytes = 0xFFFF;
constexpr uint16_t kErrParam = 0x0502;

struct Clipboard {
    std::mutex mutex;
    void* items[kFormats] = {};
    uint32_t lengths[kFormats] = {};
};
Clipboard& C() {
    static Clipboard c;
    return c;
}

// Puts `length` bytes after the first `keep` of the format's item.
uint16_t Put(uint8_t format, const void* data, uint16_t length, uint32_t keep) {
    if (format >= kFormats || (length && !data) || keep + length > kMostBytes) return kErrParam;
    std::lock_guard lock(C().mutex);
    void*& handle = C().items[format];
    const uint32_t size = keep + length;
    if (!handle) {
        handle = Slot<syssig::MemHandleNew>(sysslot::MemHandleNew)(size ? size : 1u);
        if (!handle) return kErrParam;
        Slot<syssig::MemHandleSetOwner>(sysslot::MemHandleSetOwner)(handle, uint16_t{0});
    } else if (uint16_t err = Slot<syssig::MemHandleResize>(sysslot::MemHandleResize)(handle, size ? size : 1u)) {
        return err;
    }
    if (length) {
        auto* p = static_cast<uint8_t*>(Slot<syssig::MemHandleLock>(sysslot::MemHandleLock)(handle));
        std::memcpy(p + keep, data, length);
        Slot<syssig::MemHandleUnlock>(sysslot::MemHandleUnlock)(handle);
    }
    C().lengths[format] = size;
    return 0;
}

void StandinClipboardAddItem(uint8_t format, const void* data, uint16_t length) { Put(format, data, length, 0); }
VANTOR_OS_LIBRARY_SLOT(Ui, 38, StandinClipboardAddItem)

uint16_t StandinClipboardAppendItem(uint8_t format, const void* data, uint16_t length) {
    if (format != kText) return kErrParam;
    uint32_t keep;
    {
        std::lock_guard lock(C().mutex);
        keep = C().lengths[kText];
    }
    return Put(kText, data, length, keep);
}
VANTOR_OS_LIBRARY_SLOT(Ui, 39, StandinClipboardAppendItem)

void* StandinClipboardGetItem(uint8_t format, uint16_t* length) {
    std::lock_guard lock(C().mutex);
    const bool known = format < kFormats && C().items[format];
    if (length) *length = known ? static_cast<uint16_t>(C().lengths[format]) : 0;
    return known ? C().items[format] : nullptr;
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::ClipboardGetItem, StandinClipboardGetItem)

}  // namespace
}  // namespace vantor::os::ui

namespace vantor::os {

// The items' chunks go with the memory the stand-in resets.
void ResetClipboard() {
    ui::Clipboard& c = ui::C();
    std::lock_guard lock(c.mutex);
    for (uint8_t f = 0; f < ui::kFormats; ++f) c.items[f] = nullptr, c.lengths[f] = 0;
}

}  // namespace vantor::os
