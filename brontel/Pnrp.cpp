// Host discovery: a datagram to the desktop's discovery port, answered with the desktop's address
// and mask, tried at the configured address, its broadcast, by name, and at ever wider host parts.
#include <arpa/inet.h>

#include <cstring>

#include "brontel/BrontelInternal.h"
#include "brontel/TrelUtil.h"
#include "common/BigEndian.h"

namespace brontel {
namespace {

namespace sys = vantor::sys;

constexpr uint32_t kPacketSize = 268;
constexpr size_t kMaxName = 255;

bool PnrpExchange(int16_t socket, uint32_t address, uint32_t mask, PnrpTarget* target) {
    auto* buffer = static_cast<uint8_t*>(sys::MemPtrNew(kPacketSize));
    if (!buffer) return false;
    // Addresses and masks are in network order, so the broadcast of a try is a plain bit operation.
    const uint32_t destination = mask ? (address | ~mask) : address;
    const uint32_t maskField = mask ? mask : target->mask;
    std::memset(buffer, 0, kPacketSize);
    buffer[0] = 0xFA;
    buffer[1] = 0xDE;
    buffer[2] = 1;
    std::memcpy(buffer + 4, &destination, 4);
    std::memcpy(buffer + 8, &maskField, 4);
    size_t nameLength = target->name ? strnlen(target->name, kMaxName) : 0;
    if (nameLength) std::memcpy(buffer + 12, target->name, nameLength);
    buffer[12 + nameLength] = 0;
    const uint16_t length = static_cast<uint16_t>(13 + nameLength);
    sockra::NetSocketAddrINType to{sockra::netSocketAddrINET, 0, destination};
    vantor::WriteBE16(&to.port, kDiscoveryPort);
    for (int i = 0; i < 3; ++i) {
        Status err = 0;
        if (net::Send(socket, buffer, length, 0, &to, sizeof to, Ticks(5), &err) != length)
            BRONTEL_TRACE("PNRP Send Error %x\n", err);
    }
    sockra::NetSocketAddrINType from{};
    uint16_t fromLength = sizeof from;
    Status err = 0;
    int16_t n = net::Receive(socket, buffer, kPacketSize, 0, &from, &fromLength, Ticks(5), &err);
    if (err) BRONTEL_TRACE("PNRP Receive Error %x\n", err);
    bool found = false;
    if (n > 12 && buffer[0] == 0xFA && buffer[1] == 0xDE && buffer[2] == 2) {
        std::memcpy(&target->address, buffer + 4, 4);
        std::memcpy(&target->mask, buffer + 8, 4);
        found = true;
    }
    sys::MemChunkFree(buffer);
    return found;
}

bool PnrpLookupName(PnrpTarget* target) {
    auto* entry = static_cast<sockra::NetHostInfoBufType*>(sys::MemPtrNew(sizeof(sockra::NetHostInfoBufType)));
    if (!entry) return false;
    Status err = 0;
    bool found = false;
    sockra::NetHostInfoBufType* info = net::GetHostByName(target->name, entry, Ticks(30), &err);
    if (!err && info && info->hostInfo.addrListP && info->hostInfo.addrListP[0]) {
        std::memcpy(&target->address, info->hostInfo.addrListP[0], 4);
        found = true;
    }
    sys::MemChunkFree(entry);
    return found;
}

}  // namespace

bool PnrpDiscover(PnrpTarget* target, bool (*cancel)(void*), void* context) {
    if (!target->name || !target->name[0]) return false;
    if (!target->address) return PnrpLookupName(target);
    Status err = 0;
    int16_t socket = net::SocketOpen(sockra::netSocketAddrINET, 2, 0, Ticks(30), &err);
    if (err || socket < 0) {
        BRONTEL_TRACE("PNRP Open Error\n");
        return false;
    }
    bool found = false;
    const uint32_t address = target->address, mask = target->mask;
    sockra::NetSocketAddrINType any{sockra::netSocketAddrINET, 0, 0};
    if (net::SocketBind(socket, &any, sizeof any, Ticks(30), &err) < 0) {
        BRONTEL_TRACE("PNRP Bind Error\n");
    } else {
        BRONTEL_TRACE("PNRP 1\n");
        found = PnrpExchange(socket, address, 0, target);
        bool stop = found;
        if (!stop && mask) {
            BRONTEL_TRACE("PNRP 2\n");
            found = PnrpExchange(socket, address, mask, target);
            stop = found || cancel(context);
        }
        if (!stop) {
            BRONTEL_TRACE("PNRP 3\n");
            found = PnrpLookupName(target);
            stop = found || cancel(context);
        }
        if (!stop && !mask) {
            BRONTEL_TRACE("PNRP 4\n");
            // The host parts are integers of the host: converted to network order before they are
            // combined with the address, so that they cover its last octet.
            for (uint32_t v = 255; v >= 15 && !found; v /= 2) {
                found = PnrpExchange(socket, address, htonl(~v), target);
                if (!found && cancel(context)) break;
            }
        }
    }
    net::SocketClose(socket, Ticks(30), &err);
    return found;
}

}  // namespace brontel
