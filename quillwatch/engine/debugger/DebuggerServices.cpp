// The debugger services through which the link half reaches the one debugger context; the
// context installs them when it is made (DebuggerInit).
#include "quillwatch/link/DebuggerServices.h"

#include "common/DebuggerPackets.h"
#include "common/FourCC.h"
#include "common/SerialLinkPacket.h"
#include "quillwatch/engine/debugger/DbgContext.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/RemoteStubs.h"
#include "quillwatch/link/SerialLinkMgr.h"

namespace quillwatch {

DbgContextType* gDbgContext = nullptr;

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

void PrvSendRemoteEvent(uint16_t character, int32_t keyCode, uint16_t modifiers, bool byCall) {
    if (byCall) {
        ErrTry([&] { EvtEnqueueKey(character, static_cast<uint16_t>(keyCode), modifiers); }, [](uint32_t) {});
        return;
    }
    vantor::DbgRemoteEventBodyType body{};
    body.command = vantor::sysPktRemoteEvtCmd;
    body.keyPress = 1;
    body.modifiers = modifiers;
    body.chr = character;
    body.keyCode = 0;
    (void)keyCode;
    vantor::SwapRemoteEventBody(&body);
    SlkPktHeaderType header{};
    header.dest = vantor::slkSocketRemoteUI;
    header.src = vantor::slkSocketRemoteUI;
    SlkBodyPart parts[] = {{sizeof body, &body}, {0, nullptr}};
    if (SlkSendPacket(&header, parts) != 0) {
        ErrDisplayFileLineMsg("..\\SrcShared\\Cmd\\DebuggerModule", 840, "Error sending remote event");
    }
}

bool PrvIsNewRemoteOS() {
    if (gDbgContext && gDbgContext->attached) return gDbgContext->newOS != 0;
    uint32_t version = 0;
    bool called = false;
    ErrTry([&] { called = FtrGet(vantor::FourCC("psys"), 1, &version) == 0; }, [](uint32_t) {});
    return called && version >= 0x05000000;
}

const DbgServices kEngineServices = {PrvSetUserAbort, PrvUserAbort, PrvIsAttached, PrvSendRemoteEvent,
                                     PrvIsNewRemoteOS};

}  // namespace

void DbgInstallServices() { DbgSetServices(&kEngineServices); }

}  // namespace quillwatch
