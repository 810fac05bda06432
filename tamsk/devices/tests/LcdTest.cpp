// The LCD controller on the whole board: descriptors and palettes in DRAM, the frame refresh and
// its end-of-frame interrupt, the displayed pixels at several depths, and the session chunks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tamsk/board/Scheduler.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/tests/TestFiles.h"
#include "tamsk/devices/Lcd.h"
#include "tamsk/devices/tests/BoardTestSupport.h"

namespace tamsk {
namespace {

constexpr uint32_t kPaletteDesc = 0x80001000, kFrameDesc = 0x80001010;
constexpr uint32_t kPalette = 0x80002000, kFrame = 0x80010000;

void Put(uint32_t physical, uint32_t value) { ChunkPut32(reinterpret_cast<uint8_t*>(MemHostPointer(physical)), value); }
void Put16(uint32_t physical, uint16_t value) {
    ChunkPut16(reinterpret_cast<uint8_t*>(MemHostPointer(physical)), value);
}
uint8_t* At(uint32_t physical) { return reinterpret_cast<uint8_t*>(MemHostPointer(physical)); }

// Ticks until the next frame refresh has run.
void NextFrame() {
    for (uint32_t i = 0; i < kTicksPerSecond / 50 + 1; ++i) TimingTick();
}

class LcdFixture : public test::BoardDeviceTest {
protected:
    // A 4 x 2 panel at `bpp` bits, a palette load (unless 16 bits) and the frame, then enabled.
    void Panel(uint32_t bpp, uint32_t control0 = 1) {
        LcdWrite(kLcdBase + 0x04, 4 - 1);
        LcdWrite(kLcdBase + 0x08, 2 - 1);
        uint32_t code = 0;
        while ((1u << code) != bpp) ++code;
        LcdWrite(kLcdBase + 0x0C, code << 24);
        // Palette descriptor: 4 entries (8 bytes), then the frame descriptor with the EOF bit.
        Put(kPaletteDesc, kFrameDesc);
        Put(kPaletteDesc + 4, kPalette);
        Put(kPaletteDesc + 12, 1u << 26 | 8);
        Put(kFrameDesc, kFrameDesc);
        Put(kFrameDesc + 4, kFrame);
        Put(kFrameDesc + 12, 1u << 22 | (4 * 2 * bpp / 8));
        Put16(kPalette, 0xF800);      // red
        Put16(kPalette + 2, 0x07E0);  // green
        Put16(kPalette + 4, 0x001F);  // blue
        Put16(kPalette + 6, 0xFFFF);  // white
        LcdWrite(kLcdBase + 0x200, bpp == 16 ? kFrameDesc : kPaletteDesc);
        IntcWrite(kIntcBase + 0x04, 1u << kIrqLcd);
        LcdWrite(kLcdBase, control0);
    }
    std::vector<uint32_t> Pixels(uint32_t height = 2) {
        std::vector<uint32_t> out(4 * height, 0xDEADBEEF);
        EXPECT_TRUE(LcdFramePixels(out.data(), 4, height));
        return out;
    }
};

TEST_F(LcdFixture, FramesAtEveryDepthThroughTheirPalettes) {
    constexpr uint32_t R = 0xF80000, G = 0x00FC00, B = 0x0000F8, W = 0xF8FCF8;
    struct Case {
        uint32_t bpp;
        std::vector<uint8_t> bytes;
        std::vector<uint32_t> pixels;
    } cases[] = {
        {1, {0x05}, {G, R, G, R, R, R, R, R}},
        {2, {0xE4, 0x1B}, {R, G, B, W, W, B, G, R}},
        {4, {0x10, 0x32, 0x00, 0x11}, {R, G, B, W, R, R, G, G}},
        {8, {0, 1, 2, 3, 3, 2, 1, 0}, {R, G, B, W, W, B, G, R}},
        {16, {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0},
         {R, G, B, W, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bpp);
        LcdWrite(kLcdBase, 0);
        std::memcpy(At(kFrame), c.bytes.data(), c.bytes.size());
        Panel(c.bpp);
        NextFrame();
        EXPECT_EQ(Pixels(), c.pixels);
        uint32_t code = 0;
        while ((1u << code) != c.bpp) ++code;
        EXPECT_EQ(LcdRead(kLcdBase + 0x0C), code << 24);
    }
}

TEST_F(LcdFixture, EndOfFrameInterruptAndItsMask) {
    Panel(8);
    // Switching on raises source 17; the guest clears the status.
    EXPECT_TRUE(Intc.rawPending[0] & 1u << kIrqLcd);
    LcdWrite(kLcdBase + 0x38, ~0u);
    EXPECT_FALSE(Intc.rawPending[0] & 1u << kIrqLcd);
    NextFrame();
    EXPECT_EQ(LcdRead(kLcdBase + 0x38), 3u);
    EXPECT_TRUE(Intc.rawPending[0] & 1u << kIrqLcd);
    LcdWrite(kLcdBase + 0x38, 2);
    EXPECT_EQ(LcdRead(kLcdBase + 0x38), 1u);
    EXPECT_FALSE(Intc.rawPending[0] & 1u << kIrqLcd);

    // Bit 4 of control 0 masks it; vertical doubling shows every line twice.
    LcdWrite(kLcdBase, 1 | 1u << 4 | 1u << 2);
    EXPECT_EQ(LcdRead(kLcdBase), 0x15u);
    NextFrame();
    EXPECT_EQ(LcdRead(kLcdBase + 0x38), 1u);
    const std::vector<uint32_t> doubled = Pixels(4);
    EXPECT_TRUE(std::equal(doubled.begin(), doubled.begin() + 4, doubled.begin() + 4));

    // Off: no refresh stands and nothing is displayed.
    LcdWrite(kLcdBase, 0);
    EXPECT_FALSE(EvtIsScheduled(LcdFrameRefresh, 0));
    std::vector<uint32_t> none(8);
    EXPECT_FALSE(LcdFramePixels(none.data(), 4, 2));
}

TEST_F(LcdFixture, MisuseIsFatal) {
    Panel(8);
    HostSetFatalHandler([](const char* text) { throw std::string(text); });
    EXPECT_THROW(LcdWrite(kLcdBase + 0x04, 99), std::string);
    EXPECT_THROW(LcdWrite(kLcdBase + 0x08, 99), std::string);
    Put(kPaletteDesc + 12, 1u << 26 | 514);  // 257 entries
    try {
        NextFrame();
        ADD_FAILURE() << "a palette of 257 entries was taken";
    } catch (const std::string& text) {
        EXPECT_EQ(text, "Palette anomaly");
    }
    HostSetFatalHandler(nullptr);
}

TEST_F(LcdFixture, SessionChunksAtTheirOffsets) {
    Panel(8);
    LcdWrite(kLcdBase + 0x20, 0x10);  // bit 0 clear: channel 0 uses its descriptor address
    LcdWrite(kLcdBase + 0x24, 0x22);
    NextFrame();
    test::TempDir dir;
    SessSetPath((dir / "s.aes").c_str());
    SessTruncate();
    LcdSave(kRunSave);
    ASSERT_TRUE(SessFinishSave());
    uint8_t c[kLcdChunkSize];
    ASSERT_TRUE(SessReadChunk(FourCC(">lcd"), c, sizeof c));
    const uint32_t words[] = {4, 2, 8, 1, 0, 0x10, 0x22, kPaletteDesc, 0, 0, 2};
    for (unsigned i = 0; i < sizeof words / 4; ++i) EXPECT_EQ(ChunkGet32(c + 4 * i), words[i]) << i;
    uint8_t d[kLcdDisplayChunkSize];
    ASSERT_TRUE(SessReadChunk(FourCC(">pld"), d, sizeof d));
    EXPECT_EQ(ChunkGet32(d), 4u);
    EXPECT_EQ(ChunkGet32(d + 12), 1u);
    EXPECT_EQ(ChunkGet32(d + 20), kFrame - kDramBase);
    EXPECT_EQ(ChunkGet32(d + 24), 40u);                      // bitmap header size
    EXPECT_EQ(ChunkGet32(d + 32), uint32_t(-2));             // top-down rows
    EXPECT_EQ(ChunkGet32(d + 64 + 4), 0x00FC00u);            // palette entry 1: green

    // Restored into a controller that was switched off, it shows the same frame.
    LcdWrite(kLcdBase, 0);
    LcdReset(kRunLoad);
    EXPECT_EQ(LcdRead(kLcdBase + 0x04), 3u);
    EXPECT_EQ(LcdShown.frame, kFrame);
    EXPECT_EQ(Pixels().size(), 8u);
}

}  // namespace
}  // namespace tamsk
