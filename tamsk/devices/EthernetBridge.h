// The bridge between the Ethernet controller and a host network adapter, through the system's
// packet-capture library (libpcap, loaded by name at run time: when it cannot be loaded the bridge
// stays off and the controller works without a network). Frames the board sends go out on the
// adapter unchanged; captured frames that concern the board are handed to the controller on the
// core thread (pending bit 10). The bridge learns the board's address from DHCP replies and gives
// the host an ARP entry and a route for it (with the "ip" program).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tamsk {

constexpr unsigned kPendingEthernetReceive = 10;

// Loads the library once and, when no capture is open, opens the chosen adapter and starts the
// thread "Ethernet Adapter Monitor". Nothing happens when the library is missing.
void EthBridgeLoad();
// End of a run: the monitor stops, the capture closes and the library is unloaded.
void EthBridgeStop();
// Test programs of the board keep host adapters out of reach: no capture is ever opened.
void EthBridgeForbid();
// A capture is open.
bool EthBridgeActive();
// The board's MAC address (frames from it are never delivered back).
void EthBridgeSetMac(const uint8_t mac[6]);
// The board's IPv4 address starts as this dotted text; with a capture open, the host route for it
// is installed.
void EthBridgeStartDevice(const char* dottedAddress);
// The board's IPv4 address (host order), 0 when none is known.
uint32_t EthDeviceAddress();

// Whether a captured frame concerns the board; a DHCP reply to the board's MAC teaches its
// address (and the host route follows when a capture is open).
bool EthFilterFrame(const uint8_t* frame, uint32_t length);

// Pending bit 10 (core thread): the captured frame goes into the controller.
void EthServeReceive();

// The adapter choice among capture devices: the index of the chosen one, -1 for none. Devices
// without a description count as described by "", and pseudo-devices (any, nflog, nfqueue,
// dbus-*, bluetooth*, usbmon*) are only taken when named exactly.
struct CaptureDevice {
    std::string name, description;
    bool loopback = false;
    std::vector<uint32_t> ipv4;  // host order, in the device's address order
    bool firstIsIpv4 = false;
};
int EthChooseAdapter(const std::vector<CaptureDevice>& devices, const std::string& wanted);

}  // namespace tamsk
