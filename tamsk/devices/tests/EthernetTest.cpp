// The Ethernet controller as the board's software sees it (registers, slots, queues, interrupts
// on GPIO line 9, its session chunk) and the bridge's choices that need no adapter: which frames
// concern the board, what a DHCP reply teaches, which capture device is taken.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tamsk/board/Options.h"
#include "tamsk/board/Session.h"
#include "tamsk/devices/Ethernet.h"
#include "tamsk/devices/EthernetBridge.h"
#include "tamsk/devices/Gpio.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/tests/BoardTestSupport.h"

namespace tamsk {
namespace {

constexpr uint32_t kBlock = 0x14000300;
constexpr uint32_t kBank = kBlock + 14;

std::vector<std::vector<uint8_t>> g_sent;
void Capture(const uint8_t* frame, uint32_t length) { g_sent.emplace_back(frame, frame + length); }

uint32_t Reg16(unsigned bank, uint32_t offset) {
    EthWrite(kBank, bank, 2);
    return EthRead(kBlock + offset, 2);
}
void SetReg16(unsigned bank, uint32_t offset, uint32_t value) {
    EthWrite(kBank, bank, 2);
    EthWrite(kBlock + offset, value, 2);
}

class EthernetFixture : public test::BoardDeviceTest {
protected:
    void SetUp() override {
        test::BoardDeviceTest::SetUp();
        g_sent.clear();
        EthSetSendHook(Capture);
    }
    void TearDown() override {
        EthSetSendHook(nullptr);
        test::BoardDeviceTest::TearDown();
    }
    // Allocates a slot; its packet number.
    uint32_t Allocate() {
        SetReg16(2, 0, 1 << 5);
        return EthRead(kBlock + 3, 1);
    }
    // Writes a slot through the data port from its start, 16 bits at a time.
    void WriteSlot(uint32_t packet, const std::vector<uint8_t>& bytes) {
        EthWrite(kBlock + 2, packet, 1);
        EthWrite(kBlock + 6, 1u << 14, 2);
        for (size_t i = 0; i < bytes.size(); i += 2)
            EthWrite(kBlock + 8, bytes[i] | uint32_t(i + 1 < bytes.size() ? bytes[i + 1] : 0) << 8, 2);
    }
};

TEST_F(EthernetFixture, RegistersResetBanksAndTheirBlock) {
    EXPECT_EQ(EthRegisterBase(), kBlock);
    EXPECT_EQ(EthRead(kBank, 2), 0x3300u);
    struct Case {
        unsigned bank;
        uint32_t offset, value;
    } resets[] = {{1, 0, 0xA0B1}, {1, 2, 0x1801}, {1, 12, 0x1210}, {3, 8, 0x3330},
                  {3, 10, 0x3500}, {3, 12, 0x001F}, {0, 2, 0}, {0, 8, 64 << 8 | 64}, {2, 4, 0x8080}};
    for (const Case& c : resets) EXPECT_EQ(Reg16(c.bank, c.offset), c.value) << c.bank << " " << c.offset;
    EXPECT_EQ(EthRead(kBank, 2), 0x3302u);
    EXPECT_EQ(EthRead(kBank + 1, 1), 0x33u);

    // Banks 0, 1 and 3 store what is written (the link status and memory information excepted);
    // bank numbers above 3 read 0 and store nothing.
    SetReg16(0, 4, 0x0100);
    EXPECT_EQ(Reg16(0, 4), 0x0100u);
    SetReg16(0, 2, 0xFFFF);
    EXPECT_EQ(Reg16(0, 2), 0u);
    SetReg16(3, 0, 0x1234);
    EXPECT_EQ(Eth.multicast[0], 0x34);
    SetReg16(5, 0, 0x1234);
    EXPECT_EQ(Reg16(5, 0), 0u);
    // Around the block the window reads 0 and ignores writes, at every size.
    for (int size : {1, 2, 4}) {
        EXPECT_EQ(EthRead(0x14000000, size), 0u);
        EthWrite(0x14000310, 0xFFFFFFFF, size);
    }
    // The base register moves the block.
    SetReg16(1, 2, 0x1801 | 0x2000 | (0x40 << 3));
    EXPECT_EQ(EthRegisterBase(), 0x14002340u);  // bits 8-12 to 5-9, bits 13-15 kept
    EXPECT_EQ(EthRead(kBlock, 2), 0u);
}

TEST_F(EthernetFixture, SendingTakesTheFrameFromItsSlotBoundedByTheSlot) {
    SetReg16(2, 12, 0);
    EthWrite(kBlock + 13, kEthIntSent, 1);  // the sent interrupt unmasked
    SetReg16(0, 0, 1);                       // sending on
    EthWrite(kBank, 2, 2);
    const uint32_t packet = Allocate();
    ASSERT_EQ(packet, 0u);
    EXPECT_TRUE(EthRead(kBlock + 12, 1) & kEthIntAllocated);

    // A 61-byte frame: the odd byte stands before the control byte (bit 5).
    std::vector<uint8_t> frame(61);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i + 1);
    std::vector<uint8_t> slot = {0, 0, uint8_t(60 + kEthFraming), 0};
    slot.insert(slot.end(), frame.begin(), frame.end());
    slot.push_back(0x20);
    WriteSlot(packet, slot);
    EthWrite(kBlock, 6 << 5, 2);  // send
    ASSERT_EQ(g_sent.size(), 1u);
    EXPECT_EQ(g_sent[0], frame);
    EXPECT_EQ(EthRead(kBlock + 4, 1), packet);  // transmit-done queue
    EXPECT_TRUE(Gpio.level >> kEthGpioLine & 1);
    EXPECT_TRUE(Intc.rawPending[0] >> kIrqGpio & 1);

    // A byte count past the slot sends no more than the slot holds.
    const uint32_t second = Allocate();
    WriteSlot(second, {0, 0, 0xFF, 0xFF});
    EthWrite(kBlock + 2, second, 1);
    EthWrite(kBlock, 6 << 5, 2);
    ASSERT_EQ(g_sent.size(), 2u);
    EXPECT_LE(g_sent[1].size(), kEthMaxFrame + 1);

    // With sending off nothing leaves; every slot taken: the allocation fails.
    SetReg16(0, 0, 0);
    EthWrite(kBank, 2, 2);
    EthWrite(kBlock, 6 << 5, 2);
    EXPECT_EQ(g_sent.size(), 2u);
    while (EthRead(kBlock + 3, 1) != 0x80) Allocate();
    EXPECT_EQ(Reg16(0, 8) >> 8, 0u);
}

TEST_F(EthernetFixture, ReceivedFramesQueueInSlotsAndOversizeOnesAreRefused) {
    std::vector<uint8_t> frame(61, 0xAB);
    EXPECT_FALSE(EthDeliver(frame.data(), uint32_t(frame.size())));  // receiving off
    SetReg16(0, 4, 1 << 8);
    SetReg16(2, 12, kEthIntOverrun);  // acknowledged
    EthWrite(kBlock + 13, kEthIntReceived, 1);
    ASSERT_TRUE(EthDeliver(frame.data(), uint32_t(frame.size())));
    EXPECT_EQ(EthRead(kBlock + 12, 1) & (kEthIntReceived | kEthIntOverrun), kEthIntReceived);
    EXPECT_TRUE(Gpio.level >> kEthGpioLine & 1);
    const uint32_t slot = EthRead(kBlock + 5, 1);
    EXPECT_LT(slot, 64u);
    // Read back from the receive queue's first slot: status (odd), count, frame, odd byte, control.
    EthWrite(kBlock + 6, 1u << 15 | 1u << 14, 2);
    EXPECT_EQ(EthRead(kBlock + 8, 4), (60u + kEthFraming) << 16 | 0x1000);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(EthRead(kBlock + 8, 4), 0xABABABABu);
    EXPECT_EQ(EthRead(kBlock + 8, 2), 0x20ABu);
    EthWrite(kBlock, 4 << 5, 2);  // drop and free
    EXPECT_EQ(EthRead(kBlock + 5, 1), 0x80u);

    struct Case {
        uint32_t length;
        bool taken;
    } sizes[] = {{kEthMaxFrame, true}, {kEthMaxFrame + 1, false}, {2048, false}, {0, false}};
    std::vector<uint8_t> big(4096, 1);
    for (const Case& c : sizes) EXPECT_EQ(EthDeliver(big.data(), c.length), c.taken) << c.length;
    EXPECT_TRUE(EthRead(kBlock + 12, 1) & kEthIntOverrun);
    while (EthDeliver(frame.data(), 60)) {
    }
    EXPECT_EQ(Reg16(0, 8) >> 8, 0u);  // every slot holds a frame now
}

TEST_F(EthernetFixture, MacOptionAndSessionChunk) {
    struct Case {
        const char* text;
        uint8_t mac[6];
    } cases[] = {{"00:11:22:aa:BB:cc", {0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC}},
                 {"0z:11", {0x00, 0x11, 0, 0, 0, 0}},
                 {"12-34-56-78-9A-BC", {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}}};
    for (const Case& c : cases) {
        uint8_t mac[6];
        EthParseMac(c.text, mac);
        EXPECT_EQ(std::memcmp(mac, c.mac, 6), 0) << c.text;
    }
    uint8_t mac[6];
    EthParseMac("", mac);
    EXPECT_EQ(mac[0] << 16 | mac[1] << 8 | mac[2], 0x000E20);

    SetReg16(0, 4, 1 << 8);
    const uint8_t frame[20] = {1, 2, 3};
    ASSERT_TRUE(EthDeliver(frame, sizeof frame));
    std::vector<uint8_t> image(kEthChunkSize);
    EthImage(image.data());
    EXPECT_EQ(image[16], 0xB1);  // bank 1's configuration word, little-endian
    EXPECT_EQ(image[17], 0xA0);
    EXPECT_EQ(image[64 + 4], 1);  // slot 0's frame after status and count
    Eth = EthernetState{};
    ASSERT_TRUE(EthLoadImage(image.data()));
    EXPECT_EQ(Eth.reg[1][0], 0xA0B1);
    EXPECT_EQ(Eth.rxCount, 1u);
    EXPECT_EQ(Eth.slotUsed[0], 1);
    EXPECT_EQ(Eth.memory[0][4], 1);
    EXPECT_EQ(Eth.reg[0][2], 1 << 8);
    // A saved receive queue longer than the slots is refused.
    image[64 + 131072 + 16 + 24 + 128] = 65;
    EXPECT_FALSE(EthLoadImage(image.data()));
}

// A frame of `length` bytes: destination, source, type, and the given bytes from offset 14.
std::vector<uint8_t> Frame(const uint8_t* to, const uint8_t* from, uint16_t type, size_t length) {
    std::vector<uint8_t> f(length);
    std::memcpy(f.data(), to, 6);
    std::memcpy(f.data() + 6, from, 6);
    f[12] = uint8_t(type >> 8);
    f[13] = uint8_t(type);
    return f;
}
void Put32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}
std::vector<uint8_t> DhcpReply(const uint8_t* from, const uint8_t* client, uint32_t offered) {
    static const uint8_t broadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::vector<uint8_t> f = Frame(broadcast, from, 0x0800, 342);
    f[23] = 17;
    Put32(f, 34, 67u << 16 | 68);
    Put32(f, 58, offered);
    std::memcpy(f.data() + 70, client, 6);
    return f;
}

TEST(EthernetBridge, FramesThatConcernTheBoardAndWhatDhcpTeaches) {
    const uint8_t board[6] = {0x02, 0, 0, 0, 0, 1}, other[6] = {0x02, 0, 0, 0, 0, 2},
                  server[6] = {0x02, 0, 0, 0, 0, 3}, broadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EthBridgeSetMac(board);
    EthBridgeStartDevice("");
    EXPECT_EQ(EthDeviceAddress(), 0u);

    auto arp = [&](const uint8_t* to, uint32_t target) {
        std::vector<uint8_t> f = Frame(to, server, 0x0806, 42);
        Put32(f, 38, target);
        return f;
    };
    auto ipv4 = [&](const uint8_t* to, uint32_t address) {
        std::vector<uint8_t> f = Frame(to, server, 0x0800, 60);
        Put32(f, 30, address);
        return f;
    };
    EXPECT_TRUE(EthFilterFrame(arp(other, 0x0A000001).data(), 42)) << "no address yet: every ARP frame";
    EXPECT_TRUE(EthFilterFrame(DhcpReply(server, other, 0x0A000063).data(), 342)) << "another client's reply";
    EXPECT_EQ(EthDeviceAddress(), 0u);
    EXPECT_TRUE(EthFilterFrame(DhcpReply(server, board, 0x0A000007).data(), 342));
    EXPECT_EQ(EthDeviceAddress(), 0x0A000007u);

    struct Case {
        const char* what;
        std::vector<uint8_t> frame;
        bool accepted;
    } cases[] = {
        {"the board's own frame captured back", Frame(broadcast, board, 0x0800, 60), false},
        {"to the board's MAC", Frame(board, server, 0x86DD, 60), true},
        {"broadcast", Frame(broadcast, server, 0x86DD, 60), true},
        {"short broadcast IPv4", Frame(broadcast, server, 0x0800, 24), true},
        {"IPv4 for the board's address, another MAC", ipv4(other, 0x0A000007), true},
        {"IPv4 for another address", ipv4(other, 0x0A000008), false},
        {"ARP for the board's address", arp(other, 0x0A000007), true},
        {"ARP for another address", arp(other, 0x0A000009), false},
        {"ARP cut short", Frame(other, server, 0x0806, 30), false},
        {"IPv4 cut short", Frame(other, server, 0x0800, 20), false},
        {"other types", Frame(other, server, 0x86DD, 60), false},
        {"shorter than a header", Frame(board, server, 0x0800, 14), true},
        {"longer than 2048 bytes", Frame(board, server, 0x0800, 2049), false},
    };
    for (const Case& c : cases) {
        // Each frame in a buffer of its own size, so that reading past it is caught.
        const std::vector<uint8_t> copy = c.frame;
        EXPECT_EQ(EthFilterFrame(copy.data(), uint32_t(copy.size())), c.accepted) << c.what;
    }
    EXPECT_FALSE(EthFilterFrame(nullptr, 0));
    EXPECT_FALSE(EthFilterFrame(board, 6));
}

TEST(EthernetBridge, AdapterChoice) {
    auto device = [](const char* name, const char* description, std::vector<uint32_t> ipv4, bool loopback = false) {
        CaptureDevice d;
        d.name = name;
        d.description = description;
        d.ipv4 = ipv4;
        d.firstIsIpv4 = !ipv4.empty();
        d.loopback = loopback;
        return d;
    };
    const std::vector<CaptureDevice> devices = {
        device("any", "Pseudo-device that captures on all interfaces", {0x0A000001}),
        device("nflog", "Linux netfilter log (NFLOG) interface", {}),
        device("veth0", "", {}),
        device("eth0", "", {0xC0A80105}),
        device("wlan0", "Intel wireless", {0xC0A80165}),
        device("lo", "", {0x7F000001}, true),
        device("tap3", "", {}),
    };
    struct Case {
        const char* wanted;
        int chosen;
    } cases[] = {
        {"veth0", 2},      // by name, without a description
        {"any", 0},        // a pseudo-device named exactly
        {"Intel", 4},      // by description
        {"capture", 6},    // only a pseudo-device's description holds it: the next rule, tap3
        {"", 6},           // tap and a digit
    };
    for (const Case& c : cases) EXPECT_EQ(EthChooseAdapter(devices, c.wanted), c.chosen) << c.wanted;

    std::vector<CaptureDevice> noTap(devices.begin(), devices.end() - 1);
    EXPECT_EQ(EthChooseAdapter(noTap, ""), 4) << "the address 192.168.1.101";
    noTap.erase(noTap.begin() + 4);
    EXPECT_EQ(EthChooseAdapter(noTap, ""), 3) << "the first with an address, pseudo-devices skipped";
    EXPECT_EQ(EthChooseAdapter({devices[0], devices[1], devices[2]}, ""), -1);
    EXPECT_EQ(EthChooseAdapter({devices[2], devices[5]}, ""), 1) << "the loopback device's address";
}

}  // namespace
}  // namespace tamsk
