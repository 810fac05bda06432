// The USB transport (not built yet): opening it fails as when its library cannot be loaded.
#include "common/SerialLinkPacket.h"
#include "quillwatch/link/LinkSelector.h"

namespace quillwatch {

using namespace vantor;

namespace {

Status OpenUsb(uint16_t, uint16_t, uint32_t) { return serErrTcp; }
Status Fails(uint16_t) { return serErrOpenFailed; }
uint32_t SendNothing(uint16_t, const void*, uint32_t, Status* status) {
    *status = serErrLine;
    return 0;
}
Status NotOpen(uint16_t, int32_t) { return serErrLine; }
uint32_t ReceiveNothing(uint16_t, void*, uint32_t, int32_t, Status* status) {
    *status = serErrTimeout;
    return 0;
}
Status WaitNothing(uint16_t, uint32_t, int32_t) { return serErrTimeout; }
void FlushNothing(uint16_t, int32_t) {}
Status ClearNothing(uint16_t) { return 0; }

}  // namespace

extern const LinkTransport kUsbTransport = {OpenUsb,        Fails,       SendNothing,  NotOpen,
                                            ReceiveNothing, WaitNothing, FlushNothing, ClearNothing};

}  // namespace quillwatch
