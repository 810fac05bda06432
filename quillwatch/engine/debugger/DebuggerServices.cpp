// The debugger services through which the link half reaches the one debugger context, and those
// through which the command language reaches the debugger module and the device; the context
// installs both when it is made (DebuggerInit).
#include "quillwatch/link/DebuggerServices.h"

#include "quillwatch/engine/debugger/DebuggerContext.h"
#include "quillwatch/engine/debugger/DebuggerModule.h"
#include "quillwatch/engine/debugger/RemoteCommands.h"
#include "quillwatch/engine/debugger/RunControl.h"
#include "quillwatch/engine/debugger/Templates.h"
#include "quillwatch/engine/lang/LangServices.h"

namespace quillwatch {

DbgContextType* gDbgContext = nullptr;
DbgWindows gDbgWindows{};

namespace {

void PrvSetUserAbort(bool abort) {
    if (gDbgContext) gDbgContext->userAbort = abort ? 1 : 0;
}

bool PrvUserAbort() {
    return gDbgContext && gDbgContext->userAbort;
}

bool PrvIsAttached() {
    return gDbgContext && gDbgContext->attached;
}

bool PrvIsNewRemoteOS() {
    if (gDbgContext && gDbgContext->attached) return gDbgContext->newOS != 0;
    return DbgAskNewRemoteOS();
}

const DbgServices kEngineServices = {PrvSetUserAbort, PrvUserAbort, PrvIsAttached, PrvIsNewRemoteOS};

const LangServices kLanguageServices = {DbgModuleInit,
                                        DbgModuleClose,
                                        DbgModuleExecuteCommand,
                                        DbgModuleVarChanged,
                                        CmdReadRemoteMem,
                                        CmdWriteRemoteRegisters,
                                        CmdRefreshRegisterWindow,
                                        CmdUpdateRoutine,
                                        TmtForget};

}  // namespace

void DbgInstallServices() {
    DbgSetServices(&kEngineServices);
    DbgInstallLanguageServices();
}

void DbgInstallLanguageServices() { LangSetServices(&kLanguageServices); }

}  // namespace quillwatch
