// The services table of the command language (see LangServices.h) and its language-alone entries.
#include "quillwatch/engine/lang/LangServices.h"

namespace quillwatch {

namespace {

uint16_t PrvNoReadRemoteMem(uint32_t, void*, DbgContextType* ctx, uint32_t) {
    DbgPrint(ctx, "Error: no device access.\n");
    return 1;
}

uint16_t PrvNoWriteRemoteRegisters(DbgContextType* ctx, const DbgRegisterBlock*) {
    DbgPrint(ctx, "Error: no device access.\n");
    return 1;
}

void PrvNoRefresh(DbgContextType*) {}
int PrvNoRoutine(DbgContextType*, uint32_t) { return -1; }
void PrvNoForget(DbgContextType*, uint16_t, uint16_t) {}

const LangServices kAloneServices = {nullptr,
                                     nullptr,
                                     nullptr,
                                     nullptr,
                                     PrvNoReadRemoteMem,
                                     PrvNoWriteRemoteRegisters,
                                     PrvNoRefresh,
                                     PrvNoRoutine,
                                     PrvNoForget};
const LangServices* gLangServices = &kAloneServices;

}  // namespace

void LangSetServices(const LangServices* services) { gLangServices = services ? services : &kAloneServices; }

const LangServices& LangGetServices() { return *gLangServices; }

}  // namespace quillwatch
