// The module's face: its info record ('trel'/'brtl', version 1) and its 18 exported entries in slot
// order. Every launch code answers 0.
#include "brontel/Brontel.h"
#include "common/module/ModuleGlue.h"

namespace brontel {
namespace {

template <typename F>
vantor::ModuleProc E(F f) {
    return reinterpret_cast<vantor::ModuleProc>(f);
}

vantor::ModuleProc gExports[vantor::kBrontelSlots] = {
    E(BrontelOpen),           E(BrontelClose),          E(BrontelSleep),          E(BrontelWake),
    E(BrontelOptionSet),      E(BrontelOptionGet),      E(BrontelControl),        E(BrontelConnectPhase1),
    E(BrontelConnectPhase2),  E(BrontelDisconnect),     E(BrontelReceiveRequest), E(BrontelSendRequest),
    E(BrontelCancel),         E(BrontelQueryValue),     E(BrontelGetVersion),     E(BrontelSegmentSize),
    E(BrontelReceiveStream),  E(BrontelSendStream),
};

const vantor::ModuleInfoRecord gInfo = vantor::MakeModuleInfo(vantor::kBrontelType, vantor::kBrontelCreator,
                                                               vantor::kBrontelVersion, vantor::kBrontelSlots);

}  // namespace

vantor::ModuleProc* BrontelExportTable() { return gExports; }
uint32_t BrontelModuleEntry(uint16_t, void*, uint16_t) { return 0; }

}  // namespace brontel

VANTOR_MODULE(brontel::gInfo, brontel::BrontelExportTable(), brontel::BrontelModuleEntry)
