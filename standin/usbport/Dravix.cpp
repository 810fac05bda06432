// The USB port library with its eleven entry points, whose devices are local sockets.
//
// A device is attached while a Unix stream socket named after its port ("usb0", ...) exists in the
// device folder ($DRAVIX_DEVICE_DIR, else "Dravix" in $XDG_RUNTIME_DIR, else /tmp/Dravix-<uid>) and
// accepts a connection; the bytes of the connection are the device's USB pipe. A registered window
// gets WM_DEVICECHANGE with DBT_DEVICEARRIVAL when a socket appears and DBT_DEVICEREMOVECOMPLETE
// when it goes; a watcher thread scans the folder every 50 ms. Messages are posted through the
// program's Win32StandinPostMessage entry point.
//
// Statuses: 0 done, 2 time-out, 3 partial transfer, 4 bad argument, 5 device gone.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kCreatorPsys = 0x70737973;  // 'psys'
constexpr uint32_t kNotificationMagic = 0x44525658;
constexpr uintptr_t kArrival = 0x8000;
constexpr uintptr_t kRemoveComplete = 0x8004;
constexpr unsigned kDeviceChange = 0x0219;

constexpr uint32_t usbOk = 0, usbTimeout = 2, usbPartial = 3, usbBadArgument = 4, usbGone = 5,
                   usbMoreData = 8;

struct UsbTimeouts {
    uint32_t readMs;
    uint32_t writeMs;
};

struct UsbPort {
    int fd = -1;
    UsbTimeouts timeouts = {1000, 1000};
};

// What a device-change message's lParam points at; kept by the registration until it ends.
struct UsbNotification {
    uint32_t magic;
    uint32_t creator;
    char portName[64];
};

using PostFn = int (*)(void*, unsigned, uintptr_t, intptr_t);

struct Registration {
    void* window = nullptr;
    PostFn post = nullptr;
    std::thread watcher;
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::deque<UsbNotification> notifications;
};

std::string DeviceDir() {
    if (const char* d = std::getenv("DRAVIX_DEVICE_DIR"); d && *d) return d;
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run) return std::string(run) + "/Dravix";
    return "/tmp/Dravix-" + std::to_string(getuid());
}

bool ValidName(const char* name) {
    if (!name || !*name || std::strlen(name) >= sizeof(UsbNotification::portName)) return false;
    return std::strchr(name, '/') == nullptr && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

// The ports whose sockets are in the device folder, in name order.
std::set<std::string> Devices() {
    std::set<std::string> out;
    const std::string dir = DeviceDir();
    DIR* d = opendir(dir.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        if (!ValidName(e->d_name)) continue;
        struct stat st;
        if (stat((dir + "/" + e->d_name).c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) out.insert(e->d_name);
    }
    closedir(d);
    return out;
}

void Notify(Registration* r, uintptr_t event, const std::string& port) {
    UsbNotification* n;
    {
        std::lock_guard<std::mutex> g(r->lock);
        r->notifications.push_back(UsbNotification{kNotificationMagic, kCreatorPsys, {}});
        n = &r->notifications.back();
        std::strncpy(n->portName, port.c_str(), sizeof n->portName - 1);
    }
    r->post(r->window, kDeviceChange, event, reinterpret_cast<intptr_t>(n));
}

void Watch(Registration* r) {
    std::set<std::string> known = Devices();
    while (!r->stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::set<std::string> now = Devices();
        for (const auto& p : now)
            if (!known.count(p)) Notify(r, kArrival, p);
        for (const auto& p : known)
            if (!now.count(p)) Notify(r, kRemoveComplete, p);
        known = std::move(now);
    }
}

int PollFd(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int rc;
    do rc = poll(&p, 1, timeoutMs);
    while (rc < 0 && errno == EINTR);
    return rc;
}

}  // namespace

extern "C" {

void* VantorUsbRegisterDeviceInterface(void* window) {
    auto post = reinterpret_cast<PostFn>(dlsym(RTLD_DEFAULT, "Win32StandinPostMessage"));
    if (!window || !post) return nullptr;
    auto* r = new Registration;
    r->window = window;
    r->post = post;
    r->watcher = std::thread(Watch, r);
    return r;
}

void VantorUsbUnRegisterDeviceInterface(void* handle) {
    auto* r = static_cast<Registration*>(handle);
    if (!r) return;
    r->stop = true;
    r->watcher.join();
    delete r;
}

int VantorUsbIsVantorOSDeviceNotification(const void* data, uint32_t creator, char* portName, uint32_t) {
    const auto* n = static_cast<const UsbNotification*>(data);
    if (!n || n->magic != kNotificationMagic || n->creator != creator) return 0;
    if (portName) std::strcpy(portName, n->portName);
    return 1;
}

void* VantorUsbOpenPort(const char* portName, uint32_t creator) {
    if (creator != kCreatorPsys || !ValidName(portName)) return nullptr;
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const std::string path = DeviceDir() + "/" + portName;
    if (path.size() >= sizeof a.sun_path) return nullptr;
    std::strcpy(a.sun_path, path.c_str());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    auto* port = new UsbPort;
    port->fd = fd;
    return port;
}

void VantorUsbClosePort(void* handle) {
    auto* port = static_cast<UsbPort*>(handle);
    if (!port) return;
    close(port->fd);
    delete port;
}

// Waits up to the read time-out for bytes and takes what is there (up to size).
uint32_t VantorUsbReceiveBytes(void* handle, void* buffer, uint32_t size, uint32_t* received) {
    auto* port = static_cast<UsbPort*>(handle);
    if (received) *received = 0;
    if (!port || !buffer || !received) return usbBadArgument;
    if (size == 0) return usbOk;
    if (PollFd(port->fd, POLLIN, static_cast<int>(port->timeouts.readMs)) <= 0) return usbTimeout;
    ssize_t n = recv(port->fd, buffer, size, MSG_DONTWAIT);
    if (n > 0) {
        *received = static_cast<uint32_t>(n);
        return usbOk;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return usbTimeout;
    return usbGone;
}

uint32_t VantorUsbSendBytes(void* handle, const void* bytes, uint32_t count, uint32_t* sent) {
    auto* port = static_cast<UsbPort*>(handle);
    if (sent) *sent = 0;
    if (!port || (!bytes && count) || !sent) return usbBadArgument;
    const auto* p = static_cast<const uint8_t*>(bytes);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(port->timeouts.writeMs);
    while (*sent < count) {
        ssize_t n = send(port->fd, p + *sent, count - *sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            *sent += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() > 0 && PollFd(port->fd, POLLOUT, static_cast<int>(left.count())) > 0) continue;
            return *sent ? usbPartial : usbTimeout;
        }
        return usbGone;
    }
    return usbOk;
}

void VantorUsbSetTimeouts(void* handle, const UsbTimeouts* timeouts) {
    if (auto* port = static_cast<UsbPort*>(handle); port && timeouts) port->timeouts = *timeouts;
}

void VantorUsbGetTimeouts(void* handle, UsbTimeouts* timeouts) {
    if (auto* port = static_cast<UsbPort*>(handle); port && timeouts) *timeouts = port->timeouts;
}

// Without a buffer: 8 and the size needed when devices are attached, else 0 and a count of 0. With
// a buffer of *size bytes: the port names, each zero-terminated, first name first; 4 when they do
// not fit.
uint32_t VantorUsbGetAttachedDevices(uint32_t* count, char* buffer, uint32_t* size) {
    if (!count || !size) return usbBadArgument;
    std::set<std::string> devices = Devices();
    uint32_t needed = 0;
    for (const auto& d : devices) needed += static_cast<uint32_t>(d.size() + 1);
    *count = static_cast<uint32_t>(devices.size());
    if (!buffer) {
        *size = needed;
        return devices.empty() ? usbOk : usbMoreData;
    }
    if (*size < needed) return usbBadArgument;
    char* p = buffer;
    for (const auto& d : devices) {
        std::memcpy(p, d.c_str(), d.size() + 1);
        p += d.size() + 1;
    }
    *size = needed;
    return usbOk;
}

uint32_t VantorUsbGetDeviceFriendlyName(const char* portName, char* name, uint32_t size) {
    if (!ValidName(portName) || !name || size == 0) return usbBadArgument;
    std::string friendly = std::string("Vantor OS device (") + portName + ")";
    std::strncpy(name, friendly.c_str(), size - 1);
    name[size - 1] = 0;
    return usbOk;
}

}  // extern "C"
