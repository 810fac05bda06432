// Scroll bars of a form, driven by what 68K callers and the pen hand them. Input: the bar's native
// record (24 bytes, as a form resource holds it), then steps of 9 bytes: a step kind and 8 bytes of
// values (new values, a pen's event and point, new bounds). After every step the bar is drawn (its
// parts measured) and its value must lie within its range.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/FourCC.h"
#include "common/module/NativeUi.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "standin/os/StandinOs.h"

namespace {

using namespace vantor;

template <typename Sig, typename... A>
auto Sys(uint16_t slot, A... args) {
    return reinterpret_cast<Sig*>(os::SystemTable()[slot])(args...);
}
template <typename Sig, typename... A>
auto Ui(uint16_t slot, A... args) {
    return reinterpret_cast<Sig*>(os::LibraryTable(os::Library::Ui)[slot])(args...);
}

int16_t Word(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// A form resource of one scroll bar whose record is `record`.
void AddForm(const uint8_t* record) {
    std::vector<uint8_t> form(68 + 8 + 24, 0);
    const uint16_t id = 1, count = 1;
    const uint32_t at = 68 + 8;
    std::memcpy(&form[52], &id, 2);
    std::memcpy(&form[62], &count, 2);
    std::memcpy(&form[68], &at, 4);
    form[72] = 13;
    std::memcpy(&form[at], record, 24);
    Sys<syssig::DmCreateDatabaseNamed>(sysslot::DmCreateDatabaseNamed, uint16_t{0}, "Scroll", FourCC("test"),
                                       FourCC("rsrc"), uint8_t{1});
    const uint32_t dbID = Sys<syssig::DmFindDatabaseByNameCreatorType>(
        sysslot::DmFindDatabaseByNameCreatorType, "Scroll", FourCC("test"), FourCC("rsrc"));
    const uint32_t db = Sys<syssig::DmOpenDatabaseByID>(sysslot::DmOpenDatabaseByID, dbID, uint16_t{3});
    void* h = Sys<syssig::DmNewResource>(sysslot::DmNewResource, db, FourCC("afrm"), id,
                                         static_cast<uint32_t>(form.size()));
    void* p = Sys<syssig::MemHandleLock>(sysslot::MemHandleLock, h);
    Sys<syssig::DmWrite>(sysslot::DmWrite, p, 0u, static_cast<const void*>(form.data()),
                         static_cast<uint32_t>(form.size()));
    Sys<syssig::MemHandleUnlock>(sysslot::MemHandleUnlock, h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    os::CaptureOutput(true);
    if (size < 24) return 0;
    AddForm(data);
    void* form = Ui<void*(uint16_t)>(uislot::FrmInitForm, uint16_t{1});
    if (!form) std::abort();
    Ui<void(void*)>(uislot::FrmSetActiveForm, form);
    auto* bar =
        static_cast<NativeScrollBar*>(Ui<void*(void*, uint16_t)>(uislot::UiEntry154, form, uint16_t{0}));
    static const uint16_t kEvents[] = {1, 2, 3, 32};
    for (size_t at = 24; at + 9 <= size; at += 9) {
        const uint8_t* v = data + at + 1;
        SysEventType e{};
        e.eType = kEvents[v[0] % 4];
        e.screenX = Word(v + 2);
        e.screenY = Word(v + 4);
        void* self = bar;
        std::memcpy(e.data + 4, &self, sizeof self);
        switch (data[at] % 5) {
            case 0:
                Ui<void(void*, int16_t, int16_t, int16_t, int16_t)>(uislot::SclSetScrollBar, self, Word(v),
                                                                    Word(v + 2), Word(v + 4), Word(v + 6));
                break;
            case 1:
                Ui<uint8_t(SysEventType*)>(uislot::UiEntry132, &e);
                break;
            case 2:
                Ui<uint8_t(void*, SysEventType*)>(uislot::UiEntry261, self, &e);
                break;
            case 3: {
                const NativeUiRect r{Word(v), Word(v + 2), Word(v + 4), Word(v + 6)};
                Ui<void(void*, uint16_t, const NativeUiRect*)>(uislot::FrmSetObjectBounds, form, uint16_t{0},
                                                               &r);
                break;
            }
            default:
                Ui<void(void*, uint16_t)>(v[0] & 1 ? 187 : 162, form, uint16_t{0});  // show or hide
                break;
        }
        Ui<void(void*)>(uislot::SclDrawScrollBar, self);
        if (bar->value < bar->minValue || bar->value > bar->maxValue) std::abort();
    }
    Ui<void()>(uislot::FrmCloseAllForms);
    os::Reset();
    return 0;
}
