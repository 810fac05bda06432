#include "tamsk/devices/EthernetBridge.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <dlfcn.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "tamsk/board/Console.h"
#include "tamsk/board/HostThreads.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Ethernet.h"

extern char** environ;

namespace tamsk {

namespace {

// The capture library's records and entry points, as its interface defines them.
struct PcapAddr {
    PcapAddr* next;
    sockaddr* addr;
    sockaddr* netmask;
    sockaddr* broadaddr;
    sockaddr* dstaddr;
};
struct PcapIf {
    PcapIf* next;
    char* name;
    char* description;
    PcapAddr* addresses;
    uint32_t flags;
};
struct PcapPacketHeader {
    timeval ts;
    uint32_t caplen;
    uint32_t len;
};
struct Pcap;
using PcapHandler = void (*)(unsigned char* user, const PcapPacketHeader* header, const unsigned char* bytes);
constexpr uint32_t kPcapLoopback = 1;
constexpr int kPcapErrorSize = 256;
constexpr int kLoopBroken = -2;

struct PcapApi {
    int (*findalldevs)(PcapIf**, char*);
    void (*freealldevs)(PcapIf*);
    Pcap* (*open_live)(const char*, int, int, int, char*);
    void (*close)(Pcap*);
    int (*loop)(Pcap*, int, PcapHandler, unsigned char*);
    void (*breakloop)(Pcap*);
    int (*sendpacket)(Pcap*, const unsigned char*, int);
};

void* g_library;
PcapApi g_api;
Pcap* g_capture;
std::string g_adapterName;
unsigned g_thread, g_event;
bool g_monitorRunning;
std::atomic<bool> g_stopping;
bool g_forbidden;

std::mutex g_macLock;
uint8_t g_mac[6];
std::atomic<uint32_t> g_deviceAddress;

// The frame handed from the monitor to the core.
uint8_t g_frame[kEthSlotSize];
uint32_t g_frameLength;
std::atomic<bool> g_frameReady;

bool LoadApi() {
    if (g_library) return true;
    void* library = dlopen("libpcap.so.0.8", RTLD_NOW | RTLD_LOCAL);
    if (!library) library = dlopen("libpcap.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!library) return false;
    auto take = [&](const char* name) {
        void* entry = dlsym(library, name);
        if (!entry) HostFatal("Can not locate required pcap entry point: %s", name);
        return entry;
    };
    g_api.findalldevs = reinterpret_cast<decltype(g_api.findalldevs)>(take("pcap_findalldevs"));
    g_api.freealldevs = reinterpret_cast<decltype(g_api.freealldevs)>(take("pcap_freealldevs"));
    g_api.open_live = reinterpret_cast<decltype(g_api.open_live)>(take("pcap_open_live"));
    g_api.close = reinterpret_cast<decltype(g_api.close)>(take("pcap_close"));
    g_api.loop = reinterpret_cast<decltype(g_api.loop)>(take("pcap_loop"));
    g_api.breakloop = reinterpret_cast<decltype(g_api.breakloop)>(take("pcap_breakloop"));
    g_api.sendpacket = reinterpret_cast<decltype(g_api.sendpacket)>(take("pcap_sendpacket"));
    g_library = library;
    return true;
}

bool IsPseudoDevice(const std::string& name) {
    for (const char* prefix : {"dbus", "bluetooth", "usbmon", "nfqueue"})
        if (name.rfind(prefix, 0) == 0) return true;
    return name == "any" || name == "nflog";
}

std::string Dotted(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF);
    return text;
}

// Runs a program with these arguments and waits for it; its failure is ignored.
void RunQuietly(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) waitpid(pid, nullptr, 0);
    posix_spawn_file_actions_destroy(&actions);
}

// Gives the host an ARP entry and a route for the board's address on the bridged adapter,
// replacing those of the previous address.
void HostRouteToDevice(uint32_t previous) {
    const std::string adapter = g_adapterName;
    const uint32_t address = g_deviceAddress.load();
    if (adapter.empty() || address == 0 || if_nametoindex(adapter.c_str()) == 0) return;
    char mac[18];
    {
        std::lock_guard lock(g_macLock);
        std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", g_mac[0], g_mac[1], g_mac[2], g_mac[3],
                      g_mac[4], g_mac[5]);
    }
    if (previous != 0 && previous != address) {
        RunQuietly({"ip", "neigh", "del", Dotted(previous), "dev", adapter});
        RunQuietly({"ip", "route", "del", Dotted(previous) + "/32", "dev", adapter});
    }
    RunQuietly({"ip", "neigh", "replace", Dotted(address), "lladdr", mac, "dev", adapter, "nud", "permanent"});
    RunQuietly({"ip", "route", "replace", Dotted(address) + "/32", "dev", adapter});
}

void OnPacket(unsigned char*, const PcapPacketHeader* header, const unsigned char* bytes) {
    if (!EthFilterFrame(bytes, header->caplen)) return;
    std::memcpy(g_frame, bytes, header->caplen);
    g_frameLength = header->caplen;
    g_frameReady = true;
    CpuRequestAttention(kPendingEthernetReceive);
    // Waits until the core has taken the frame (or the run ends).
    while (g_frameReady.load() && !g_stopping.load()) win32::WaitForSingleObject(HostEvent(g_event), 100);
}

win32::DWORD AdapterMonitor(void*) {
    HostSetThreadName("Ethernet Adapter Monitor");
    while (!g_stopping.load() && g_api.loop(g_capture, -1, OnPacket, nullptr) != kLoopBroken) {
    }
    return 0;
}

void SendFrame(const uint8_t* frame, uint32_t length) {
    if (g_capture) g_api.sendpacket(g_capture, frame, int(length));
}

bool SameMac(const uint8_t* a) {
    std::lock_guard lock(g_macLock);
    return std::memcmp(a, g_mac, 6) == 0;
}

uint32_t Get32Big(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

std::vector<CaptureDevice> ListDevices(PcapIf* list) {
    std::vector<CaptureDevice> devices;
    for (PcapIf* d = list; d; d = d->next) {
        CaptureDevice device;
        device.name = d->name ? d->name : "";
        device.description = d->description ? d->description : "";
        device.loopback = d->flags & kPcapLoopback;
        for (PcapAddr* a = d->addresses; a; a = a->next) {
            if (!a->addr) continue;
            if (a->addr->sa_family == AF_INET) {
                if (a == d->addresses) device.firstIsIpv4 = true;
                device.ipv4.push_back(ntohl(reinterpret_cast<sockaddr_in*>(a->addr)->sin_addr.s_addr));
            }
        }
        devices.push_back(device);
    }
    return devices;
}

}  // namespace

int EthChooseAdapter(const std::vector<CaptureDevice>& devices, const std::string& wanted) {
    using Rule = bool (*)(const CaptureDevice&, const std::string&);
    const Rule rules[] = {
        [](const CaptureDevice& d, const std::string& w) { return !w.empty() && d.name == w; },
        [](const CaptureDevice& d, const std::string& w) {
            return !w.empty() && !IsPseudoDevice(d.name) && d.description.find(w) != std::string::npos;
        },
        [](const CaptureDevice& d, const std::string&) {
            return d.name.size() == 4 && d.name.rfind("tap", 0) == 0 && d.name[3] >= '0' && d.name[3] <= '9';
        },
        [](const CaptureDevice& d, const std::string&) {
            for (uint32_t a : d.ipv4)
                if (a == 0xC0A80165) return !IsPseudoDevice(d.name);  // 192.168.1.101
            return false;
        },
        [](const CaptureDevice& d, const std::string&) {
            for (uint32_t a : d.ipv4)
                if (a != 0) return !IsPseudoDevice(d.name);
            return false;
        },
        [](const CaptureDevice& d, const std::string&) { return d.firstIsIpv4 && !IsPseudoDevice(d.name); },
        [](const CaptureDevice& d, const std::string&) { return d.loopback && !IsPseudoDevice(d.name); },
    };
    for (Rule rule : rules)
        for (size_t i = 0; i < devices.size(); ++i)
            if (rule(devices[i], wanted)) return int(i);
    return -1;
}

void EthBridgeForbid() { g_forbidden = true; }

void EthBridgeLoad() {
    if (g_forbidden || !LoadApi() || g_capture) return;
    char error[kPcapErrorSize] = {};
    PcapIf* list = nullptr;
    int chosen = -1;
    std::vector<CaptureDevice> devices;
    if (g_api.findalldevs(&list, error) == 0) {
        devices = ListDevices(list);
        chosen = EthChooseAdapter(devices, Opt.EthernetAdapter);
    }
    if (list) g_api.freealldevs(list);
    if (chosen < 0) HostFatal("Could not connect to ethernet adapter. This may require administrative privileges");
    const CaptureDevice& device = devices[size_t(chosen)];
    char line[600];
    if (!device.description.empty())
        std::snprintf(line, sizeof line, "Selected network interface: %s (%s)\n", device.name.c_str(),
                      device.description.c_str());
    else
        std::snprintf(line, sizeof line, "Selected network interface: %s\n", device.name.c_str());
    ConsolePrint(line);
    g_capture = g_api.open_live(device.name.c_str(), 65536, 1, 1, error);
    if (!g_capture) {
        // Without the right to capture, the board runs on without a network.
        std::fprintf(stderr, "Could not connect to ethernet adapter. This may require administrative privileges\n%s\n",
                     error);
        return;
    }
    g_adapterName = device.name;
    EthSetSendHook(SendFrame);
    g_stopping = false;
    g_frameReady = false;
    g_event = HostCreateEvent();
    g_thread = HostCreateThread(AdapterMonitor, nullptr);
    g_monitorRunning = true;
}

void EthBridgeStop() {
    if (g_monitorRunning) {
        g_stopping = true;
        g_api.breakloop(g_capture);
        win32::SetEvent(HostEvent(g_event));
        win32::WaitForSingleObject(HostThread(g_thread), win32::INFINITE);
        HostFreeThread(g_thread);
        HostFreeEvent(g_event);
        g_monitorRunning = false;
    }
    if (g_capture) {
        g_api.close(g_capture);
        g_capture = nullptr;
    }
    EthSetSendHook(nullptr);
    if (g_library) {
        dlclose(g_library);
        g_library = nullptr;
    }
}

bool EthBridgeActive() { return g_capture != nullptr; }

void EthBridgeSetMac(const uint8_t mac[6]) {
    std::lock_guard lock(g_macLock);
    std::memcpy(g_mac, mac, 6);
}

void EthBridgeStartDevice(const char* dottedAddress) {
    in_addr address{};
    g_deviceAddress = dottedAddress && inet_aton(dottedAddress, &address) ? ntohl(address.s_addr) : 0;
    EvtSetDeviceAddressSource(EthDeviceAddress);
    if (g_capture) HostRouteToDevice(0);
}

uint32_t EthDeviceAddress() { return g_deviceAddress.load(); }

bool EthFilterFrame(const uint8_t* frame, uint32_t length) {
    if (!frame || length > kEthSlotSize || length < 14) return false;
    if (SameMac(frame + 6)) return false;  // the board's own frames
    if (SameMac(frame)) return true;
    const uint16_t type = uint16_t(frame[12] << 8 | frame[13]);
    static const uint8_t kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    if (std::memcmp(frame, kBroadcast, 6) == 0) {
        // A DHCP reply (UDP from port 67 to 68) for the board's MAC teaches its address.
        if (length >= 76 && type == 0x0800 && frame[23] == 17 && Get32Big(frame + 34) == (67u << 16 | 68u) &&
            SameMac(frame + 70)) {
            const uint32_t offered = Get32Big(frame + 58);
            const uint32_t previous = g_deviceAddress.exchange(offered);
            if (offered != previous && g_capture) HostRouteToDevice(previous);
        }
        return true;
    }
    if (type == 0x0800) return length >= 34 && Get32Big(frame + 30) == g_deviceAddress.load();
    if (type == 0x0806) {
        if (g_deviceAddress.load() == 0) return true;
        return length >= 42 && Get32Big(frame + 38) == g_deviceAddress.load();
    }
    return false;
}

void EthServeReceive() {
    if (!g_frameReady.load()) return;
    EthDeliver(g_frame, g_frameLength);
    g_frameReady = false;
    if (g_monitorRunning) win32::SetEvent(HostEvent(g_event));
}

}  // namespace tamsk
