// The library's export table: its 69 entries in slot order (alphabetical order of the call names).
#include "common/module/ModuleGlue.h"
#include "sockra/Sockra.h"
#include "sockra/SockraScript.h"

namespace sockra {
namespace {

template <typename F>
SockraEntry E(F f) {
    return reinterpret_cast<SockraEntry>(f);
}

SockraEntry gExports[kSockraSlotCount] = {
    E(SockraAddrAToIN),          E(SockraAddrINToA),        E(SockraBitGetFixed),
    E(SockraBitGetIntV),         E(SockraBitGetUIntV),      E(SockraBitMove),
    E(SockraBitPutFixed),        E(SockraBitPutIntV),       E(SockraBitPutUIntV),
    E(SockraClose),              E(SockraConfigAliasGet),   E(SockraConfigAliasSet),
    E(SockraConfigDelete),       E(SockraConfigIndexFromName), E(SockraConfigList),
    E(SockraConfigMakeActive),   E(SockraConfigRename),     E(SockraConfigSave),
    E(SockraConnectionRefresh),  E(SockraDmReceive),        E(SockraDrvrWake),
    E(SockraFinishCloseWait),    E(SockraGetHostByAddr),    E(SockraGetHostByName),
    E(SockraGetMailExchangeByName), E(SockraGetServByName), E(SockraHandlePowerOff),
    E(SockraIFAttach),           E(SockraIFDetach),         E(SockraIFDown),
    E(SockraIFGet),              E(SockraIFMediaDown),      E(SockraIFMediaUp),
    E(SockraIFSettingGet),       E(SockraIFSettingSet),     E(SockraIFUp),
    E(SockraInterfacePtr),       E(SockraMaster),           E(SockraOpen),
    E(SockraOpenConfig),         E(SockraOpenCount),        E(SockraOpenIfCloseWait),
    E(SockraPrefsAppend),        E(SockraPrefsGet),         E(SockraPrefsSet),
    E(SockraReceive),            E(SockraReceivePB),        E(SockraScriptExecute),
    E(SockraScriptExecuteDefault),  E(SockraSelect),           E(SockraSend),
    E(SockraSendPB),             E(SockraSettingGet),       E(SockraSettingSet),
    E(SockraSleep),              E(SockraSocketAccept),     E(SockraSocketAddr),
    E(SockraSocketBind),         E(SockraSocketClose),      E(SockraSocketConnect),
    E(SockraSocketListen),       E(SockraSocketOpen),       E(SockraSocketOptionGet),
    E(SockraSocketOptionSet),    E(SockraSocketShutdown),   E(SockraTracePrintF),
    E(SockraTracePutS),          E(SockraWake),             E(SockraTuningValueGet),
};

}  // namespace

const vantor::ModuleInfoRecord gInfo = vantor::MakeModuleInfo(kSockraType, kSockraCreator, kSockraVersion, kSockraSlotCount);

SockraEntry* SockraExportTable() { return gExports; }

}  // namespace sockra

VANTOR_MODULE(sockra::gInfo, sockra::gExports, sockra::SockraLaunch)
