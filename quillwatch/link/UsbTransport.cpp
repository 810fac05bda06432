// The USB transport: link bytes to a device attached by USB, through the maker's USB port library
// ("Dravix.dll"), loaded by name when a USB link opens. Received bytes wait in a byte queue. The
// device's port is opened when the device arrives and closed when it leaves, following the
// device-change messages that the library sends to a hidden window of class "QuillwatchUSB".
//
// Raw statuses of the library are mapped (HostUsbMapStatus) to 5 (time-out), 6 (line), 9 or 11;
// a send reports them raw, as the link selector maps a send's status. Receives report
// serial-class statuses: serErrLine while no device port is open or when the device went away
// (which makes the link selector reopen the link once), serErrTimeout when bytes are missing.
#include "quillwatch/link/UsbTransport.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "common/FourCC.h"
#include "common/SerialLinkPacket.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/HostShims.h"
#include "standin/win32/Library.h"
#include "standin/win32/WindowManager.h"

namespace quillwatch {

using namespace vantor;
using namespace win32;

namespace {

struct UsbTimeouts {
    uint32_t readMs;
    uint32_t writeMs;
};

using RegisterFn = void* (*)(HWND window);
using UnRegisterFn = void (*)(void* handle);
using IsNotificationFn = int (*)(const void* data, uint32_t creator, char* portName, uint32_t flags);
using OpenPortFn = void* (*)(const char* portName, uint32_t creator);
using ClosePortFn = void (*)(void* port);
using ReceiveFn = uint32_t (*)(void* port, void* buffer, uint32_t size, uint32_t* received);
using SendFn = uint32_t (*)(void* port, const void* bytes, uint32_t count, uint32_t* sent);
using SetTimeoutsFn = void (*)(void* port, const UsbTimeouts* timeouts);
using GetTimeoutsFn = void (*)(void* port, UsbTimeouts* timeouts);
using GetAttachedFn = uint32_t (*)(uint32_t* count, char* buffer, uint32_t* size);
using FriendlyNameFn = uint32_t (*)(const char* portName, char* name, uint32_t size);

constexpr uint32_t kUsbReceiveChunk = 1024;
constexpr uint32_t kUsbMinTimeout = 50;
constexpr uint16_t kUsbRawLine = 6;

struct HostUsbGlobals {
    uint16_t openCount = 0;
    uint16_t port = 0;
    uint16_t refNum = 0;
    HMODULE library = nullptr;
    HWND window = nullptr;
    void* notification = nullptr;
    char portName[256] = {};
    void* portHandle = nullptr;
    uint32_t timeout = 0;
    std::deque<uint8_t> queue;
    bool deviceGone = false;  // the library reported the device gone since the port opened
    RegisterFn registerInterface = nullptr;
    UnRegisterFn unregisterInterface = nullptr;
    IsNotificationFn isNotification = nullptr;
    OpenPortFn openPort = nullptr;
    ClosePortFn closePort = nullptr;
    ReceiveFn receiveBytes = nullptr;
    SendFn sendBytes = nullptr;
    SetTimeoutsFn setTimeouts = nullptr;
    GetTimeoutsFn getTimeouts = nullptr;
    GetAttachedFn getAttachedDevices = nullptr;
    FriendlyNameFn getFriendlyName = nullptr;
};

HostUsbGlobals* gUsb = nullptr;
const uint32_t kCreatorPsys = FourCC("psys");

void Assert(int line, const char* message) {
    ErrDisplayFileLineMsg("SerLibUsbWin", static_cast<uint16_t>(line), message);
}

void Check(int line, uint16_t refNum) {
    if (!gUsb || gUsb->openCount == 0) {
        Assert(line, "must open serial manager first");
        return;
    }
    if (refNum != gUsb->refNum) Assert(line, "invalid ref num");
}

void OpenPort() {
    if (gUsb->portHandle) {
        Assert(__LINE__, "non-NULL USB port handle");
        return;
    }
    gUsb->portHandle = gUsb->openPort(gUsb->portName, kCreatorPsys);
    gUsb->deviceGone = false;
}

void ClosePort() {
    if (!gUsb->portHandle) {
        Assert(__LINE__, "NULL USB port handle");
        return;
    }
    gUsb->closePort(gUsb->portHandle);
    gUsb->portHandle = nullptr;
}

LRESULT DeviceChangeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DEVICECHANGE && gUsb && gUsb->isNotification &&
        (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
        char name[sizeof gUsb->portName] = {};
        if (gUsb->isNotification(reinterpret_cast<const void*>(lParam), kCreatorPsys, name, 0)) {
            name[sizeof name - 1] = 0;
            if (wParam == DBT_DEVICEARRIVAL) {
                std::memcpy(gUsb->portName, name, sizeof name);
                if (!gUsb->portHandle) OpenPort();
            } else if (gUsb->portHandle && std::strcmp(name, gUsb->portName) == 0) {
                // Only the device whose port is open closes it.
                ClosePort();
            }
        }
        return 1;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// Sets both time-outs, at least 50 ms, and remembers the value.
void SetTimeouts(int32_t timeoutMs) {
    uint32_t t = timeoutMs < 0 ? 0x7FFFFFFF : static_cast<uint32_t>(timeoutMs);
    if (t < kUsbMinTimeout) t = kUsbMinTimeout;
    gUsb->timeout = t;
    UsbTimeouts u{t, t};
    gUsb->setTimeouts(gUsb->portHandle, &u);
}

// Fills the queue towards count bytes (no limit for -1) until the current time-out has passed.
void FillQueue(int64_t count) {
    const uint32_t start = HostGetTicks();
    std::vector<uint8_t> chunk(kUsbReceiveChunk);
    for (;;) {
        if (count >= 0 && static_cast<int64_t>(gUsb->queue.size()) >= count) return;
        uint32_t got = 0;
        uint32_t rc = gUsb->receiveBytes(gUsb->portHandle, chunk.data(), kUsbReceiveChunk, &got);
        if (rc != 0 && rc != 3) {
            if (HostUsbMapStatus(rc) == kUsbRawLine) gUsb->deviceGone = true;
            return;
        }
        if (got == 0) return;
        if (got > kUsbReceiveChunk) got = kUsbReceiveChunk;
        gUsb->queue.insert(gUsb->queue.end(), chunk.begin(), chunk.begin() + got);
        if (HostGetTicks() - start > gUsb->timeout) return;
    }
}

template <typename Fn>
bool Resolve(Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(GetProcAddress(gUsb->library, name));
    return fn != nullptr;
}

bool LoadLibraryEntries() {
    gUsb->library = LoadLibraryA("Dravix.dll");
    if (!gUsb->library) return false;
    bool ok = Resolve(gUsb->registerInterface, "VantorUsbRegisterDeviceInterface");
    ok = Resolve(gUsb->unregisterInterface, "VantorUsbUnRegisterDeviceInterface") && ok;
    ok = Resolve(gUsb->isNotification, "VantorUsbIsVantorOSDeviceNotification") && ok;
    ok = Resolve(gUsb->openPort, "VantorUsbOpenPort") && ok;
    ok = Resolve(gUsb->closePort, "VantorUsbClosePort") && ok;
    ok = Resolve(gUsb->receiveBytes, "VantorUsbReceiveBytes") && ok;
    ok = Resolve(gUsb->sendBytes, "VantorUsbSendBytes") && ok;
    ok = Resolve(gUsb->setTimeouts, "VantorUsbSetTimeouts") && ok;
    ok = Resolve(gUsb->getTimeouts, "VantorUsbGetTimeouts") && ok;
    Resolve(gUsb->getAttachedDevices, "VantorUsbGetAttachedDevices");
    Resolve(gUsb->getFriendlyName, "VantorUsbGetDeviceFriendlyName");
    return ok;
}

bool MakeWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DeviceChangeProc;
    wc.lpszClassName = "QuillwatchUSB";
    RegisterClassA(&wc);  // already registered by an earlier open: fine
    gUsb->window = CreateWindowExA(0, "QuillwatchUSB", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!gUsb->window) return false;
    gUsb->notification = gUsb->registerInterface(gUsb->window);
    return gUsb->notification != nullptr;
}

// Opens the first attached device's port, when the library can list them.
void OpenAttachedDevice() {
    if (!gUsb->getAttachedDevices) return;
    uint32_t count = 0, size = 0;
    if (gUsb->getAttachedDevices(&count, nullptr, &size) != 8 || size == 0 || size > 0x10000) return;
    std::vector<char> names(size + 1, 0);
    if (gUsb->getAttachedDevices(&count, names.data(), &size) != 0 || count == 0) return;
    std::strncpy(gUsb->portName, names.data(), sizeof gUsb->portName - 1);
    OpenPort();
}

}  // namespace

uint16_t HostUsbMapStatus(uint32_t status) {
    switch (status) {
        case 0: return 0;
        case 2:
        case 3: return 5;
        case 4: return 9;
        case 5: return 6;
        default: return 11;
    }
}

Status HostUsbOpen(uint16_t refNum, uint16_t port) {
    if (!gUsb) {
        gUsb = new (std::nothrow) HostUsbGlobals;
        if (!gUsb) {
            Assert(__LINE__, "NULL serial manager globals");
            return serErrNoMemory;
        }
    }
    if (gUsb->openCount > 1) Assert(__LINE__, "invalid serial manager open count");
    if (gUsb->openCount == 1) {
        Assert(__LINE__, "serial manager is in use");
        return serErrInUse;
    }
    gUsb->port = port;
    gUsb->refNum = refNum;
    gUsb->openCount = 1;
    if (!LoadLibraryEntries() || !MakeWindow()) {
        HostUsbClose(refNum);
        return serErrTcp;
    }
    OpenAttachedDevice();
    return 0;
}

Status HostUsbClose(uint16_t refNum) {
    Check(__LINE__, refNum);
    if (!gUsb) return 0;
    if (gUsb->portHandle) ClosePort();
    if (gUsb->notification && gUsb->unregisterInterface) gUsb->unregisterInterface(gUsb->notification);
    gUsb->notification = nullptr;
    if (gUsb->window) DestroyWindow(gUsb->window);
    gUsb->window = nullptr;
    gUsb->registerInterface = nullptr;
    gUsb->unregisterInterface = nullptr;
    gUsb->isNotification = nullptr;
    gUsb->openPort = nullptr;
    gUsb->closePort = nullptr;
    gUsb->receiveBytes = nullptr;
    gUsb->sendBytes = nullptr;
    gUsb->setTimeouts = nullptr;
    gUsb->getTimeouts = nullptr;
    gUsb->getAttachedDevices = nullptr;
    gUsb->getFriendlyName = nullptr;
    if (gUsb->library) FreeLibrary(gUsb->library);
    gUsb->library = nullptr;
    gUsb->queue.clear();
    gUsb->openCount = 0;
    return 0;
}

Status HostUsbCheckRefNum(uint16_t refNum) {
    Check(__LINE__, refNum);
    return 0;
}

Status HostUsbClearError(uint16_t refNum) {
    Check(__LINE__, refNum);
    return 0;
}

uint32_t HostUsbSend(uint16_t refNum, const void* bytes, uint32_t count, uint16_t* status) {
    Check(__LINE__, refNum);
    *status = 0;
    if (!gUsb || !gUsb->portHandle) {
        // No device: nothing is sent, and the caller learns it at once.
        *status = kUsbRawLine;
        return 0;
    }
    SetTimeouts(1000);
    uint32_t sent = 0;
    uint32_t rc = gUsb->sendBytes(gUsb->portHandle, bytes, count, &sent);
    *status = HostUsbMapStatus(rc);
    if (*status == kUsbRawLine) gUsb->deviceGone = true;
    return sent > count ? count : sent;
}

Status HostUsbSendWait(uint16_t refNum) {
    Check(__LINE__, refNum);
    return gUsb && gUsb->portHandle ? 0 : serErrLine;
}

uint32_t HostUsbReceive(uint16_t refNum, void* buffer, uint32_t count, int32_t timeoutMs, Status* status) {
    Check(__LINE__, refNum);
    *status = 0;
    if (!gUsb || !gUsb->portHandle) {
        *status = serErrLine;
        return 0;
    }
    SetTimeouts(timeoutMs);
    FillQueue(count);
    uint32_t n = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (n < count && !gUsb->queue.empty()) {
        p[n++] = gUsb->queue.front();
        gUsb->queue.pop_front();
    }
    if (n < count) *status = gUsb->deviceGone ? serErrLine : serErrTimeout;
    return n;
}

Status HostUsbReceiveWait(uint16_t refNum, uint32_t count, int32_t timeoutMs) {
    Check(__LINE__, refNum);
    if (!gUsb || !gUsb->portHandle) return serErrLine;
    SetTimeouts(timeoutMs);
    FillQueue(count);
    if (gUsb->queue.size() >= count) return 0;
    return gUsb->deviceGone ? serErrLine : serErrTimeout;
}

void HostUsbReceiveFlush(uint16_t refNum) {
    Check(__LINE__, refNum);
    if (gUsb) gUsb->queue.clear();
}

bool HostUsbPortIsOpen() { return gUsb && gUsb->portHandle; }

namespace {

Status UsbOpen(uint16_t refNum, uint16_t port, uint32_t) { return HostUsbOpen(refNum, port); }
uint32_t UsbSend(uint16_t refNum, const void* bytes, uint32_t count, Status* status) {
    uint16_t raw = 0;
    uint32_t n = HostUsbSend(refNum, bytes, count, &raw);
    *status = LinkMapTcpError(raw);
    return n;
}
Status UsbSendWait(uint16_t refNum, int32_t) { return HostUsbSendWait(refNum); }
void UsbFlush(uint16_t refNum, int32_t) { HostUsbReceiveFlush(refNum); }

}  // namespace

extern const LinkTransport kUsbTransport = {UsbOpen,        HostUsbClose,       UsbSend,  UsbSendWait,
                                            HostUsbReceive, HostUsbReceiveWait, UsbFlush, HostUsbClearError};

}  // namespace quillwatch
