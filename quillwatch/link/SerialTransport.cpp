// Serial ports and the emulator's pipe, and USB, as the link selector reaches them. Neither port
// kind is built in this version: opening a serial port fails with serErrOpenFailed and opening
// USB with serErrTcp, as when its library cannot be loaded. The serial settings are kept and
// checked, so that a baud change can be prepared before a port opens.
#include "common/SerialLinkPacket.h"
#include "quillwatch/link/LinkSelector.h"

namespace quillwatch {

using namespace vantor;

namespace {

HostSerSettings gSettings = {57600, 0xF0, 5000};

bool BaudAllowed(uint32_t baud) {
    static const uint32_t kBauds[] = {300,   600,   1200,  2400,  4800,   9600,
                                      14400, 19200, 38400, 57600, 115200, 230400};
    for (uint32_t b : kBauds)
        if (b == baud) return true;
    return false;
}

Status Fails(uint16_t) { return serErrOpenFailed; }
Status OpenSerial(uint16_t, uint16_t, uint32_t) { return serErrOpenFailed; }
Status OpenUsb(uint16_t, uint16_t, uint32_t) { return serErrTcp; }
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

extern const LinkTransport kSerialTransport = {OpenSerial,     Fails,       SendNothing,  NotOpen,
                                               ReceiveNothing, WaitNothing, FlushNothing, ClearNothing};
extern const LinkTransport kUsbTransport = {OpenUsb,        Fails,       SendNothing,  NotOpen,
                                            ReceiveNothing, WaitNothing, FlushNothing, ClearNothing};

Status HostSerGetSettings(uint16_t, HostSerSettings* settings) {
    *settings = gSettings;
    return 0;
}

Status HostSerSetSettings(uint16_t, const HostSerSettings* settings) {
    if (!BaudAllowed(settings->baud)) return serErrInvalidParam;
    gSettings = *settings;
    return serErrLine;  // no port: the settings are kept, the line is not set
}

}  // namespace quillwatch
