// The DMA controller driven through the board's device tables: descriptor chains and single moves,
// their timing in emulated ticks, status bits and interrupt, stops, the mover's address windows,
// UART receive requests, and the session chunk.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tamsk/board/Board.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/board/tests/TestFiles.h"
#include "tamsk/devices/ClockManager.h"
#include "tamsk/devices/Dma.h"
#include "tamsk/devices/Ethernet.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/Uart.h"
#include "tamsk/devices/UartState.h"
#include "tamsk/devices/tests/BoardTestSupport.h"
#include "tamsk/devices/tests/UartTestSupport.h"
#include "tamsk/board/HostThreads.h"

namespace tamsk {
namespace {

using test::Deliver;

constexpr uint32_t kRun = 1u << 31, kNoFetch = 1u << 30, kStopIrq = 1u << 29, kShortIrq = 1u << 28;
constexpr uint32_t kIncS = 1u << 31, kIncT = 1u << 30, kStartIrq = 1u << 22, kEndIrq = 1u << 21;
constexpr uint32_t kByte = 1u << 14, kHalf = 2u << 14, kWord = 3u << 14;
constexpr uint32_t kInterruptWord = 0x400000F0;

uint32_t Control(unsigned n) { return DeviceRead(kDmaBase + 4 * n); }
void SetControl(unsigned n, uint32_t v) { DeviceWrite(kDmaBase + 4 * n, v); }
void SetChannel(unsigned n, uint32_t descriptor, uint32_t source, uint32_t target, uint32_t command) {
    if (descriptor) DeviceWrite(kDmaBase + 0x200 + 16 * n, descriptor);
    DeviceWrite(kDmaBase + 0x204 + 16 * n, source);
    DeviceWrite(kDmaBase + 0x208 + 16 * n, target);
    DeviceWrite(kDmaBase + 0x20C + 16 * n, command);
}

uint8_t* Host(uint32_t physical) { return reinterpret_cast<uint8_t*>(MemHostPointer(physical)); }
uint32_t Word(uint32_t physical) { return ChunkGet32(Host(physical)); }
void PutDescriptor(uint32_t at, uint32_t next, uint32_t source, uint32_t target, uint32_t command) {
    ChunkPut32(Host(at), next);
    ChunkPut32(Host(at + 4), source);
    ChunkPut32(Host(at + 8), target);
    ChunkPut32(Host(at + 12), command);
}
void Fill(uint32_t at, uint32_t n, uint8_t seed) {
    for (uint32_t i = 0; i < n; ++i) Host(at)[i] = uint8_t(seed + i * 7);
}

void Ticks(uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) TimingTick();
}

bool DmaRaised() { return Intc.rawPending[0] >> kIrqDma & 1; }

class DmaFixture : public test::BoardDeviceTest {
protected:
    void BeforeReset() override {
        std::memset(MemSram, 0, kSramSize);
        std::memset(MemDram, 0, 0x100000);
    }
};

TEST_F(DmaFixture, DescriptorChainMovesMemoryToMemoryOnTime) {
    // Two descriptors in DRAM: 64 bytes word-wide into SRAM, then 13 bytes byte-wide in DRAM.
    PutDescriptor(0x80001000, 0x80001010, 0x80010000, 0x5C001000, kIncS | kIncT | kWord | 64);
    PutDescriptor(0x80001010, 0x80001021, 0x80020001, 0x80030003, kIncS | kIncT | kByte | kEndIrq | 13);
    Fill(0x80010000, 64, 1);
    Fill(0x80020001, 13, 100);
    SetChannel(5, 0x80001000, 0, 0, 0);
    SetControl(5, kRun | kStopIrq);
    EXPECT_EQ(Control(5), kRun | kStopIrq);

    Ticks(1);  // start step: no start interrupt asked for
    EXPECT_EQ(DeviceRead(kInterruptWord), 0u);
    EXPECT_EQ(Host(0x5C001000)[0], 0);
    Ticks(1);  // T = 1: the data moves two ticks after the start
    EXPECT_EQ(std::memcmp(Host(0x5C001000), Host(0x80010000), 64), 0);
    EXPECT_EQ(std::memcmp(Host(0x80030003), Host(0x80020001), 13), 0);
    EXPECT_EQ(Host(0x80030003)[13], 0);
    EXPECT_EQ(Control(5), kRun | kStopIrq);
    // The descriptors in memory advanced by the bytes moved, with nothing left.
    EXPECT_EQ(Word(0x80001004), 0x80010040u);
    EXPECT_EQ(Word(0x80001008), 0x5C001040u);
    EXPECT_EQ(Word(0x8000100C), kIncS | kIncT | kWord);
    EXPECT_EQ(Word(0x80001014), 0x8002000Eu);
    EXPECT_EQ(Word(0x8000101C), kIncS | kIncT | kByte | kEndIrq);
    // The channel holds the last descriptor as fetched and the chain's end.
    EXPECT_EQ(DeviceRead(kDmaBase + 0x200 + 16 * 5), 0x80001021u);
    EXPECT_EQ(DeviceRead(kDmaBase + 0x204 + 16 * 5), 0x80020001u);
    EXPECT_EQ(DeviceRead(kDmaBase + 0x20C + 16 * 5), kIncS | kIncT | kByte | kEndIrq | 13);
    EXPECT_FALSE(DmaRaised());

    Ticks(1);  // completion: stopped, end interrupt
    EXPECT_EQ(Control(5), kStopIrq | 1u << 3 | 1u << 2);
    EXPECT_EQ(DeviceRead(kInterruptWord), 1u << 5);
    EXPECT_TRUE(DmaRaised());

    // The stop interrupt enable written alone leaves the interrupt; any other write clears it.
    SetControl(5, kStopIrq);
    EXPECT_EQ(DeviceRead(kInterruptWord), 1u << 5);
    EXPECT_EQ(Control(5), kStopIrq | 1u << 3);
    SetControl(5, 0);
    EXPECT_EQ(DeviceRead(kInterruptWord), 0u);
    EXPECT_FALSE(DmaRaised());
}

TEST_F(DmaFixture, TransferTimeGrowsWithLengthAndPacedRequests) {
    struct Case {
        const char* what;
        uint32_t control, command, descriptors, map6;
        uint32_t moveTick;  // the transfer runs this many ticks after the start
    } cases[] = {
        {"16 bytes", 0, kIncS | kIncT | kWord | 16, 1, 0, 2},
        {"two descriptors of 6000", 0, kIncS | kIncT | kWord | 6000, 2, 0, 3 + 1},
        {"paced by request line 6", 0, kIncS | kIncT | kWord | 16, 1, 0x80 | 7, 3002},
        {"no descriptor fetch, 8188 bytes", kNoFetch, kIncS | kIncT | kWord | 8188, 0, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DmaReset(kRunPowerOn);
        std::memset(MemDram, 0, 0x100000);
        DeviceWrite(kDmaBase + 0x118, c.map6);
        if (c.descriptors) {
            PutDescriptor(0x5C000000, c.descriptors == 2 ? 0x5C000010 : 1, 0x5C010000, 0x80000000, c.command);
            if (c.descriptors == 2) PutDescriptor(0x5C000010, 1, 0x5C020000, 0x80010000, c.command);
            SetChannel(7, 0x5C000000, 0, 0, 0);
        } else {
            SetControl(7, kNoFetch);
            SetChannel(7, 0, 0x5C010000, 0x80000000, c.command);
        }
        Host(0x5C010000)[0] = 0xA5;
        SetControl(7, kRun | c.control);
        Ticks(c.moveTick - 1);
        EXPECT_EQ(MemDram[0], 0) << "moved early";
        EXPECT_NE(Control(7) & kRun, 0u);
        Ticks(1);
        EXPECT_EQ(MemDram[0], 0xA5) << "not moved on time";
        EXPECT_NE(Control(7) & kRun, 0u);
        Ticks(1);
        EXPECT_EQ(Control(7) & (kRun | 1u << 3), 1u << 3) << "completion follows one tick later";
    }
}

TEST_F(DmaFixture, SingleMoveWithoutDescriptorFetch) {
    Fill(0x5C002000, 32, 9);
    SetControl(3, kNoFetch);
    SetChannel(3, 0, 0x5C002000, 0x80004000, kIncS | kIncT | kHalf | kStartIrq | kEndIrq | 30);
    SetControl(3, kRun | kNoFetch);
    Ticks(1);
    EXPECT_EQ(Control(3), kRun | kNoFetch | 1u << 1);  // start interrupt
    EXPECT_EQ(DeviceRead(kInterruptWord), 1u << 3);
    EXPECT_TRUE(DmaRaised());
    Ticks(2);
    EXPECT_EQ(std::memcmp(Host(0x80004000), Host(0x5C002000), 30), 0);
    EXPECT_EQ(Host(0x80004000)[30], 0);
    EXPECT_EQ(DeviceRead(kDmaBase + 0x204 + 16 * 3), 0x5C00201Eu);
    EXPECT_EQ(DeviceRead(kDmaBase + 0x208 + 16 * 3), 0x8000401Eu);
    EXPECT_EQ(DeviceRead(kDmaBase + 0x20C + 16 * 3), kIncS | kIncT | kHalf | kStartIrq | kEndIrq);
    EXPECT_EQ(Control(3), kNoFetch | 1u << 3 | 1u << 2 | 1u << 1);

    // A fixed source (a device register) and an incrementing target.
    DeviceWrite(kDmaBase + 0x100, 0x1234);
    SetChannel(3, 0, kDmaBase + 0x100, 0x80005000, kIncT | kWord | 8);
    SetControl(3, kRun | kNoFetch);
    Ticks(3);
    EXPECT_EQ(Word(0x80005000), 0x1234u);
    EXPECT_EQ(Word(0x80005004), 0x1234u);
}

TEST_F(DmaFixture, StoppingCancelsThePendingTransfer) {
    Fill(0x5C003000, 16, 3);
    PutDescriptor(0x5C000100, 1, 0x5C003000, 0x80006000, kIncS | kIncT | kWord | kStartIrq | 16);
    SetChannel(9, 0x5C000100, 0, 0, 0);
    SetControl(9, kRun);
    SetControl(9, 0);
    EXPECT_EQ(Control(9), 1u << 3);
    Ticks(5);
    EXPECT_EQ(Word(0x80006000), 0u);
    EXPECT_EQ(DeviceRead(kInterruptWord), 0u);
    EXPECT_FALSE(EvtIsScheduled(DmaTransfer, 9));
}

TEST_F(DmaFixture, MoverWindows) {
    // Word reads of flash give 0; half-word reads give its contents; the static window reads 0
    // and drops writes.
    ChunkPut32(MemNor + 0x1000, 0xCAFEF00D);
    struct Case {
        const char* what;
        uint32_t source, target, width;
        uint32_t expected;
    } cases[] = {
        {"word from flash", 0x00001000, 0x80007000, kWord, 0},
        {"half-words from flash", 0x00001000, 0x80007000, kHalf, 0xCAFEF00D},
        {"half-words from the static window", 0x10000000, 0x80007000, kHalf, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChunkPut32(Host(0x80007000), 0xFFFFFFFF);
        SetControl(1, kNoFetch);
        SetChannel(1, 0, c.source, c.target, kIncS | kIncT | c.width | 4);
        SetControl(1, kRun | kNoFetch);
        Ticks(3);
        EXPECT_EQ(Word(0x80007000), c.expected);
        EXPECT_EQ(Control(1) & 1, 0u) << "a full move";
    }
    SetChannel(1, 0, 0x80007000, 0x10000000, kIncS | kIncT | kHalf | 4);
    SetControl(1, kRun | kNoFetch);
    Ticks(3);
    EXPECT_EQ(Control(1) & 1, 0u) << "static window writes are dropped, not errors";
}

TEST_F(DmaFixture, AddressesOutsideEveryAreaEndTheMoveAsShort) {
    struct Case {
        const char* what;
        uint32_t source, target, command, left;
    } cases[] = {
        {"source with nothing behind it", 0x20000000, 0x80008000, kIncS | kIncT | kByte | 8, 8},
        {"target past the end of SRAM", 0x80009000, 0x5C0BFFF8, kIncS | kIncT | kWord | 16, 8},
        {"byte from a device other than the FFUART", 0x40D00000, 0x80008000, kByte | 3, 3},
        {"word into DRAM's unmapped tail", 0x80009000, 0x88000000, kIncS | kIncT | kWord | 4, 4},
    };
    Fill(0x80009000, 16, 50);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DmaReset(kRunPowerOn);
        IntcReset(kRunPowerOn);
        PutDescriptor(0x80000200, 1, c.source, c.target, c.command);
        SetChannel(2, 0x80000200, 0, 0, 0);
        SetControl(2, kRun | kShortIrq);
        Ticks(2);
        EXPECT_EQ(Control(2) & 0xF, 1u << 3 | 1u) << "short move, stopped";
        EXPECT_EQ(Word(0x8000020C) & 0x1FFF, c.left);
        EXPECT_EQ(DeviceRead(kInterruptWord), 1u << 2);
        EXPECT_TRUE(DmaRaised());
    }
    // What moved before the miss stays moved.
    EXPECT_EQ(std::memcmp(Host(0x5C0BFFF8), Host(0x80009000), 8), 0);

    // A descriptor that no memory holds ends the walk the same way.
    DmaReset(kRunPowerOn);
    SetChannel(4, 0x30000000, 0, 0, 0);
    SetControl(4, kRun);
    Ticks(3);
    EXPECT_EQ(Control(4) & 0xF, 1u << 3 | 1u);
}

TEST_F(DmaFixture, MovesIntoAndOutOfTheEthernetWindowReachTheController) {
    // Bank 2, an allocated slot, the pointer at its start moving on with each access.
    EthWrite(0x1400030E, 2, 2);
    EthWrite(0x14000300, 1 << 5, 2);
    ASSERT_EQ(EthRead(0x14000303, 1), 0u);
    EthWrite(0x14000302, 0, 1);
    EthWrite(0x14000306, 1u << 14, 2);
    Fill(0x80009000, 16, 70);
    PutDescriptor(0x80000200, 1, 0x80009000, 0x14000308, kIncS | kWord | 16);  // the data port
    SetChannel(2, 0x80000200, 0, 0, 0);
    SetControl(2, kRun);
    Ticks(3);
    EXPECT_EQ(Control(2) & 0xF, 1u << 3) << "stopped, not short";
    EXPECT_EQ(std::memcmp(Eth.memory[0], Host(0x80009000), 16), 0);
    // And back out of it into DRAM.
    EthWrite(0x14000306, 1u << 14, 2);
    PutDescriptor(0x80000200, 1, 0x14000308, 0x8000A000, kIncT | kWord | 16);
    SetChannel(2, 0x80000200, 0, 0, 0);
    SetControl(2, kRun);
    Ticks(3);
    EXPECT_EQ(std::memcmp(Host(0x8000A000), Host(0x80009000), 16), 0);
}

TEST_F(DmaFixture, FatalMisuse) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto fatal = ::testing::ExitedWithCode(kFatalExitCode & 0xFF);
    EXPECT_EXIT(
        {
            SetControl(0, kNoFetch);
            SetChannel(0, 0x80000000, 0, 0, 0);
        },
        fatal, "Unimplemented DMA operation");
    EXPECT_EXIT(DmaPeripheralRequest(kDmaBase + 0x1100 + 4 * 36), fatal, "Invalid DMA operation");
    EXPECT_EXIT(
        {
            SetControl(0, kNoFetch);
            SetChannel(0, 0, 0x80000002, 0x80001000, kIncS | kIncT | kWord | 4);
            SetControl(0, kRun | kNoFetch);
            Ticks(3);
        },
        fatal, "Unaligned source or destination of DMA transfer");
}

TEST_F(DmaFixture, UartReceiveRequestsDrainTheSerialPort) {
    // Request line 6 (FFUART receive) names channel 11; the UART asks for DMA in FIFO mode.
    DeviceWrite(kDmaRequestFfuartRx, 0x80 | 11);
    PutDescriptor(0x80000300, 1, 0x40100000, 0x8000A000, kIncT | kByte | kEndIrq | 64);
    SetChannel(11, 0x80000300, 0, 0, 0);
    SetControl(11, kShortIrq);  // not running: the request starts it
    DeviceWrite(0x40100008, 0x01);  // FIFOs on
    DeviceWrite(0x40100004, 0xC0);  // unit enable, DMA requests
    Deliver(0, "0123456789");
    CpuServicePending();
    EXPECT_TRUE(EvtIsScheduled(DmaTransfer, 11));

    Ticks(3001);
    EXPECT_EQ(Host(0x8000A000)[0], 0);
    Ticks(1);
    // Ten bytes waited: they moved, and the read that found none ended the move.
    EXPECT_EQ(std::string(reinterpret_cast<char*>(Host(0x8000A000)), 11), std::string("0123456789") + '\0');
    EXPECT_EQ(Word(0x8000030C) & 0x1FFF, 54u);
    EXPECT_EQ(Control(11) & 0xF, 1u << 3 | 1u);
    EXPECT_EQ(DeviceRead(kInterruptWord), 1u << 11);
    Ticks(1);
    EXPECT_EQ(Control(11) & (1u << 2), 1u << 2);

    // Without the valid bit, a request starts nothing.
    DeviceWrite(kDmaRequestFfuartRx, 11);
    Deliver(0, "x");
    CpuServicePending();
    EXPECT_FALSE(EvtIsScheduled(DmaTransfer, 11));
}

TEST_F(DmaFixture, SessionKeepsRegistersAndPendingTransfers) {
    test::TempDir dir;
    SessSetPath((dir / "d.aes").c_str());
    DeviceWrite(kDmaBase + 0x100, 0x85);
    DeviceWrite(kDmaBase + 0x118C, 0x9F);  // request-map entry 99
    PutDescriptor(0x80000400, 1, 0x80000500, 0x80000600, kIncS | kIncT | kWord | 4);
    ChunkPut32(Host(0x80000500), 0x600DF00D);
    SetChannel(6, 0x80000400, 0x11, 0x22, 0x33);
    SetControl(6, kRun | kStopIrq);
    DmaStopMove();
    SessTruncate();
    DmaSave(kRunSave);
    ClockSave(kRunSave);  // the pending events, by identifier
    ASSERT_TRUE(SessFinishSave());

    uint8_t image[kDmaChunkSize];
    ASSERT_TRUE(SessReadChunk(FourCC(">dma"), image, sizeof image));
    EXPECT_EQ(ChunkGet32(image + 4 + 4 * 6), kRun | kStopIrq);
    EXPECT_EQ(ChunkGet32(image + 132), 0x85u);
    EXPECT_EQ(ChunkGet32(image + 132 + 4 * 99), 0x9Fu);
    EXPECT_EQ(ChunkGet32(image + 532 + 4 * 6), 0x80000400u);
    EXPECT_EQ(ChunkGet32(image + 660 + 4 * 6), 0x11u);
    EXPECT_EQ(ChunkGet32(image + 788 + 4 * 6), 0x22u);
    EXPECT_EQ(ChunkGet32(image + 916 + 4 * 6), 0x33u);
    EXPECT_EQ(ChunkGet32(image + 1044), 1u);

    ClockReset(kRunSoftReset);
    DmaReset(kRunSoftReset);
    EXPECT_EQ(Control(6), 0u);
    EXPECT_FALSE(EvtIsScheduled(DmaTransfer, 6));
    ClockReset(kRunLoad);
    DmaReset(kRunLoad);
    EXPECT_EQ(Control(6), kRun | kStopIrq);
    EXPECT_EQ(DeviceRead(kDmaBase + 0x118C), 0x9Fu);
    EXPECT_TRUE(EvtIsScheduled(DmaTransfer, 6));
    Ticks(3);
    EXPECT_EQ(Word(0x80000600), 0x600DF00Du);
    EXPECT_EQ(Control(6), kStopIrq | 1u << 3);

    // A session without the chunk powers the controller on.
    SessSetPath((dir / "missing.aes").c_str());
    DmaReset(kRunLoad);
    EXPECT_EQ(DeviceRead(kDmaBase + 0x118C), 0u);
}

}  // namespace
}  // namespace tamsk
