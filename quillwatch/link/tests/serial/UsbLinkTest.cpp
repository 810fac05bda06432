// The USB transport over the USB port library stand-in (build/bin/Dravix.so), whose devices are
// Unix sockets in a folder: socat joins such a socket to the Python device simulator, and killing
// socat and removing the socket unplugs the device.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../support/DevSim.h"
#include "common/DebuggerPackets.h"
#include "quillwatch/link/LinkSelector.h"
#include "quillwatch/link/SerialLinkMgr.h"
#include "quillwatch/link/UsbTransport.h"
#include "standin/win32/KernelObjects.h"
#include "standin/win32/Library.h"
#include "standin/win32/WindowManager.h"

namespace {

using namespace vantor;
using namespace quillwatch;
using quillwatch::test::DevSim;
using quillwatch::test::PatternByte;
using quillwatch::test::Socat;
using quillwatch::test::TempDir;

Status ReadBlock(uint32_t address, uint16_t count, std::vector<uint8_t>& out) {
    DbgMemRequestType req{dbgPktReadMem, 0, address, count};
    SwapPacketBody(&req, sizeof req);
    SlkPktHeaderType h{};
    SlkBodyPart parts[] = {{sizeof req, &req}, {0, nullptr}};
    if (Status err = SlkSendPacket(&h, parts)) return err;
    uint8_t body[272];
    SlkPktHeaderType reply;
    if (Status err = SlkReceivePacket(0, false, &reply, body, sizeof body, 2000)) return err;
    SwapPacketBody(body, reply.bodySize);
    if (body[0] != (dbgPktReadMem | dbgReplyFlag) || reply.transId != h.transId || reply.bodySize != count + 2)
        return slkErrResponse;
    out.insert(out.end(), body + 2, body + 2 + count);
    return 0;
}

void ExpectMemoryRead() {
    quillwatch::test::ResetSockets();
    std::vector<uint8_t> got;
    ASSERT_EQ(ReadBlock(0x10020, 200, got), 0);
    ASSERT_EQ(got.size(), 200u);
    for (uint32_t i = 0; i < 200; ++i) ASSERT_EQ(got[i], PatternByte(0x10020 + i)) << i;
}

// Dispatches window messages (the device-change notifications) until the condition holds; false
// when it still does not after many rounds.
bool PumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 1000; ++i) {
        win32::MSG msg;
        while (win32::PeekMessageA(&msg, nullptr, 0, 0, win32::PM_REMOVE)) win32::DispatchMessageA(&msg);
        if (done()) return true;
        win32::Sleep(10);
    }
    return false;
}

class UsbLink : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("DRAVIX_DEVICE_DIR", devices.path().c_str(), 1);
        win32::SetDllDirectoryA(VANTOR_BIN_DIR);
        LinkSetTransport(linkUsb, nullptr);
        ASSERT_EQ(LinkSetKind(linkUsb), 0);
    }
    void TearDown() override {
        LinkClose(0);
        win32::SetDllDirectoryA(nullptr);
        unsetenv("DRAVIX_DEVICE_DIR");
    }
    std::unique_ptr<Socat> PlugIn(const std::string& port) {
        const std::string path = devices.path() + "/" + port;
        return std::make_unique<Socat>("UNIX-LISTEN:" + path, "TCP:127.0.0.1:" + std::to_string(sim.port()), path);
    }
    void Unplug(std::unique_ptr<Socat>& device, const std::string& port) {
        device.reset();
        unlink((devices.path() + "/" + port).c_str());
    }
    TempDir devices;
    DevSim sim{{"--pattern", "0x10000:0x1000"}};
};

TEST_F(UsbLink, DeviceArrivesLeavesAndComesBack) {
    // No device yet: the open succeeds, and sends and receives fail at once.
    ASSERT_EQ(LinkOpen(0, 0, 0, false), 0);
    EXPECT_FALSE(HostUsbPortIsOpen());
    Status st = 0;
    EXPECT_EQ(LinkSend(0, "x", 1, &st), 0u);
    EXPECT_EQ(st, serErrLine);
    uint8_t b;
    EXPECT_EQ(LinkReceive(0, &b, 1, 10, &st), 0u);
    EXPECT_NE(st, 0);

    // Plugged in: the arrival notification opens the port.
    auto device = PlugIn("usb0");
    ASSERT_TRUE(PumpUntil(HostUsbPortIsOpen));
    ExpectMemoryRead();

    // Unplugged: the removal notification closes the port.
    Unplug(device, "usb0");
    ASSERT_TRUE(PumpUntil([] { return !HostUsbPortIsOpen(); }));

    // Plugged in again while no message is dispatched: the wait finds no port, and the link
    // selector reopens the link once, which finds the device among the attached ones.
    device = PlugIn("usb0");
    EXPECT_EQ(LinkReceiveWait(0, 1, 20), serErrTimeout);  // reopened; the device has nothing to say
    EXPECT_TRUE(HostUsbPortIsOpen());
    ExpectMemoryRead();
}

TEST_F(UsbLink, AttachedDeviceIsOpenedAtOnceAndShortReceivesKeepTheirBytes) {
    // A device of the test's own: it sends 4 bytes and then nothing.
    const std::string path = devices.path() + "/usb1";
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strcpy(a.sun_path, path.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(listener, 1), 0);

    ASSERT_EQ(LinkOpen(0, 0, 0, false), 0);
    ASSERT_TRUE(HostUsbPortIsOpen());
    int device = accept(listener, nullptr, nullptr);
    ASSERT_GE(device, 0);
    ASSERT_EQ(write(device, "\x01\x02\x03\x04", 4), 4);
    uint8_t buf[10] = {};
    Status st = 0;
    EXPECT_EQ(LinkReceive(0, buf, 10, 10, &st), 4u);
    EXPECT_EQ(st, serErrTimeout);
    EXPECT_EQ(buf[3], 4);
    // The device goes away: the next wait reports the line, reopens, and finds the device still
    // listed but no longer answering; the reopen happens once.
    close(device);
    close(listener);
    EXPECT_EQ(LinkReceiveWait(0, 1, 10), serErrLine);
    unlink(path.c_str());
}

TEST_F(UsbLink, MissingLibraryFailsTheOpen) {
    TempDir empty;
    win32::SetDllDirectoryA(empty.path().c_str());
    EXPECT_EQ(LinkOpen(0, 0, 0, false), serErrTcp);
    EXPECT_EQ(HostUsbMapStatus(0), 0);
    EXPECT_EQ(HostUsbMapStatus(2), 5);
    EXPECT_EQ(HostUsbMapStatus(3), 5);
    EXPECT_EQ(HostUsbMapStatus(4), 9);
    EXPECT_EQ(HostUsbMapStatus(5), 6);
    EXPECT_EQ(HostUsbMapStatus(7), 11);
}

}  // namespace
