// The debugger services table and the link's minimal services (see DebuggerServices.h).
#include "quillwatch/link/DebuggerServices.h"

#include "common/DebuggerPackets.h"
#include "common/FourCC.h"
#include "common/SerialLinkPacket.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/RemoteStubs.h"
#include "quillwatch/link/SerialLinkMgr.h"

namespace quillwatch {

namespace {

bool gUserAbort = false;
bool gAttached = false;

void PrvSetUserAbort(bool abort) { gUserAbort = abort; }
bool PrvUserAbort() { return gUserAbort; }
bool PrvIsAttached() { return gAttached; }

}  // namespace

void DbgSendRemoteEvent(uint16_t character, int32_t keyCode, uint16_t modifiers, bool byCall) {
    if (byCall) {
        ErrTry([&] { EvtEnqueueKey(character, static_cast<uint16_t>(keyCode), modifiers); });
        return;
    }
    vantor::DbgRemoteEventBodyType body{};
    body.command = vantor::sysPktRemoteEvtCmd;
    body.keyPress = 1;
    body.modifiers = modifiers;
    body.chr = character;
    vantor::SwapRemoteEventBody(&body);
    vantor::SlkPktHeaderType header{};
    header.dest = header.src = vantor::slkSocketRemoteUI;
    SlkBodyPart parts[] = {{sizeof body, &body}, {0, nullptr}};
    if (SlkSendPacket(&header, parts) != 0)
        ErrDisplayFileLineMsg("DebuggerModule", __LINE__, "Error sending remote event");
}

bool DbgAskNewRemoteOS() {
    uint32_t value = 0;
    vantor::Status err = 0;
    if (ErrTry([&] { err = FtrGet(vantor::FourCC("psys"), 1, &value); }) != 0 || err != 0) return false;
    return value >= 0x05000000;
}

namespace {

const DbgServices kMinimalServices = {PrvSetUserAbort, PrvUserAbort, PrvIsAttached, DbgAskNewRemoteOS};
const DbgServices* gServices = &kMinimalServices;

}  // namespace

void DbgSetServices(const DbgServices* services) { gServices = services ? services : &kMinimalServices; }

void DbgMinimalSetAttached(bool attached) { gAttached = attached; }

void DbgSetUserAbort(bool abort) { gServices->setUserAbort(abort); }
bool DbgUserAbort() { return gServices->userAbort(); }
bool DbgIsAttached() { return gServices->isAttached(); }
bool DbgIsNewRemoteOS() { return gServices->isNewRemoteOS(); }

}  // namespace quillwatch
