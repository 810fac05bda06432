// Window and bitmap traps from 68K code against the stand-in OS's system slots: window handles as
// 68K window images and back, the screen-mode values that each operation writes, bitmap shadows,
// raw 68K bitmaps answered in place or translated for a drawing call.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/KezDraw.h"
#include "common/module/KezSlots.h"
#include "common/module/NativeUi.h"
#include "common/module/SystemSlots.h"
#include "morvel/traps/BitmapGlue.h"
#include "morvel/traps/WindowGlue.h"

namespace morvel::test {
namespace {

using vantor::NativeBitmap;
using vantor::NativeWindow;
using vantor::os::Library;
using vantor::os::SlotCall;
namespace slot = vantor::sysslot;

std::string Hex(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%X", v);
    return b;
}
template <typename T = uint8_t>
T* Ptr(uint32_t p) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(p));
}

class WindowBitmapGlueTest : public TrapGlueTest {
  protected:
    void SetUp() override {
        TrapGlueTest::SetUp();
        window_ = NativeWindow{};
        window_.displayAddress = 0x12345678;
        window_.bounds = {4, 8, 100, 50};
        window_.frameType = 0x00C1;  // native order: corner 0xC1 in the low byte... see the test
        window_.bitmap = reinterpret_cast<void*>(0xB17B17);
        vantor::os::OnCall(Library::System, slot::WinScreenMode, [this](const SlotCall& c) {
            modes_.push_back(c);
            if (c.args[1]) *Ptr<uint32_t>(c.args[1]) = 160;
            if (c.args[2]) *Ptr<uint32_t>(c.args[2]) = 160;
            if (c.args[3]) *Ptr<uint32_t>(c.args[3]) = 16;
            if (c.args[4]) *Ptr<uint8_t>(c.args[4]) = 1;
            return 0u;
        });
    }
    void TearDown() override {
        WindowShadowsFreeAll(&ctx_.state);
        BitmapShadowsFreeAll(&ctx_.state);
        TrapGlueTest::TearDown();
    }
    uint32_t D(int n) const { return ctx_.state.D[n]; }
    NativeWindow window_{};
    std::vector<SlotCall> modes_;
};

TEST_F(WindowBitmapGlueTest, AWindowHasOneHandleWhoseImageShowsItAndWhichGoesWithIt) {
    uint32_t draw = 0;
    std::vector<SlotCall> created, deleted;
    vantor::os::OnCall(Library::System, slot::WinCreateWindow, [&](const SlotCall& c) {
        created.push_back(c);
        *Ptr<uint16_t>(c.args[4]) = 0;
        return Addr(&window_);
    });
    vantor::os::OnCall(Library::System, slot::WinSetDrawWindow, [&](const SlotCall& c) {
        const uint32_t previous = draw;
        draw = c.args[0];
        return previous;
    });
    vantor::os::OnCall(Library::System, slot::WinGetDrawWindow, [&](const SlotCall&) { return draw; });
    vantor::os::OnCall(Library::System, slot::WinDeleteWindow, [&](const SlotCall& c) {
        if (draw == c.args[0]) draw = 0;
        return deleted.push_back(c), 0u;
    });
    // WinCreateWindow(bounds, frame, modal, focusable, &error); WinSetDrawWindow; WinGetDrawWindow.
    ASSERT_EQ(Run(" lea data(%pc),%a0\n move.l #0x00040008,8(%a0)\n move.l #0x00640032,12(%a0)\n move.w #0x7777,6(%a0)\n"
                  " pea data+6(%pc)\n move.w #0x0100,-(%sp)\n clr.w -(%sp)\n move.w #0x8302,-(%sp)\n"
                  " pea data+8(%pc)\n trap #15\n .short 0xA1F6\n lea 14(%sp),%sp\n move.l %a0,%d3\n"
                  " move.l %d3,-(%sp)\n trap #15\n .short 0xA1FD\n addq.l #4,%sp\n move.l %a0,%d4\n"
                  " trap #15\n .short 0xA1FE\n move.l %a0,%d5\n rts"),
              0);
    ASSERT_NE(D(3), 0u);
    EXPECT_EQ(D(4), 0u);     // no draw window before
    EXPECT_EQ(D(5), D(3));   // the same handle: one shadow per window
    EXPECT_EQ(vantor::ReadBE16(Data() + 6), 0);  // the error
    ASSERT_EQ(created.size(), 1u);
    // The 68K frame word 0x8302 (fields 0x83, 0, 0, 0, 2 from the top) in native bit order.
    EXPECT_EQ(created[0].args[1] & 0xFFFF, 0x8083u);
    EXPECT_EQ(created[0].args[3] & 0xFF, 1u);
    const uint8_t* image = Ptr(D(3));
    EXPECT_EQ(vantor::ReadBE16(image), 160);
    EXPECT_EQ(vantor::ReadBE32(image + 4), 0x12345678u);
    EXPECT_EQ(vantor::ReadBE16(image + 8), 0xFEFE);
    EXPECT_EQ(vantor::ReadBE16(image + 10), 4);
    EXPECT_EQ(vantor::ReadBE16(image + 16), 50);
    EXPECT_EQ(vantor::ReadBE32(image + 26), 0xB17B17u);
    EXPECT_EQ(vantor::ReadBE16(image + 30), FrameTypeTo68K(0x00C1));
    EXPECT_EQ(vantor::ReadBE32(image + 36), 0u);

    // WinSetBounds refreshes the image from the window that changed, not from the draw window.
    std::vector<SlotCall> setBounds;
    vantor::os::OnCall(Library::System, slot::WinSetBounds, [&](const SlotCall& c) {
        setBounds.push_back(c);
        std::memcpy(&Ptr<NativeWindow>(c.args[0])->bounds, Ptr(c.args[1]), 8);
        return 0u;
    });
    vantor::os::OnCall(Library::System, slot::WinGetBounds, [](const SlotCall& c) {
        std::memcpy(Ptr(c.args[1]), &Ptr<NativeWindow>(c.args[0])->bounds, 8);
        return 0u;
    });
    ASSERT_EQ(Run(" lea data(%pc),%a0\n move.l #0x00010002,(%a0)\n move.l #0x00030004,4(%a0)\n pea data(%pc)\n move.l #" + Hex(D(3)) +
                  ",-(%sp)\n trap #15\n .short 0xA300\n addq.l #8,%sp\n rts"),
              0);
    ASSERT_EQ(setBounds.size(), 1u);
    EXPECT_EQ(setBounds[0].args[0], Addr(&window_));
    EXPECT_EQ(window_.bounds.width, 3);
    EXPECT_EQ(vantor::ReadBE16(image + 10), 1);
    EXPECT_EQ(vantor::ReadBE16(image + 16), 4);

    // WinDeleteWindow frees the shadow: the old handle is then unknown, and reported.
    const std::string handle = Hex(D(3));
    ASSERT_EQ(Run(" clr.w -(%sp)\n move.l #" + handle + ",-(%sp)\n trap #15\n .short 0xA1F8\n addq.l #6,%sp\n"
                  " move.l #" + handle + ",-(%sp)\n trap #15\n .short 0xA1FD\n addq.l #4,%sp\n rts"),
              0);
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0].args[0], Addr(&window_));
    EXPECT_EQ(WindowShadowFind(&ctx_.state, &window_), nullptr);
    EXPECT_EQ(draw, 0u);  // the OS was handed a null window
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("No shadow window found"), std::string::npos) << reports[0];
}

TEST_F(WindowBitmapGlueTest, ScreenModeWritesBackOnlyWhatItsOperationReturns) {
    struct Case {
        uint8_t op;
        bool size, depth, colour;
    };
    const Case cases[] = {{0, true, true, true}, {1, true, true, true}, {3, false, false, false},
                          {4, false, true, true}, {5, false, false, true}, {2, false, false, false}};
    for (const Case& c : cases) {
        modes_.clear();
        // width, height, depth (u32 each) at data+0, +4, +8 and the colour flag at data+12, all 0x55.
        ASSERT_EQ(Run(" lea data(%pc),%a0\n moveq #0x55,%d0\n move.l %d0,(%a0)\n move.l %d0,4(%a0)\n"
                      " move.l %d0,8(%a0)\n move.b %d0,12(%a0)\n"
                      " pea 12(%a0)\n pea 8(%a0)\n pea 4(%a0)\n pea (%a0)\n move.w #" +
                      std::to_string(c.op << 8) + ",-(%sp)\n trap #15\n .short 0xA33E\n lea 18(%sp),%sp\n rts"),
                  0);
        ASSERT_EQ(modes_.size(), 1u);
        EXPECT_EQ(modes_[0].args[0] & 0xFF, c.op);
        EXPECT_EQ(vantor::ReadBE32(Data()), c.size ? 160u : 0x55u) << int{c.op};
        EXPECT_EQ(vantor::ReadBE32(Data() + 4), c.size ? 160u : 0x55u) << int{c.op};
        EXPECT_EQ(vantor::ReadBE32(Data() + 8), c.depth ? 16u : 0x55u) << int{c.op};
        EXPECT_EQ(Data()[12], c.colour ? 1 : 0x55) << int{c.op};
    }
}

TEST_F(WindowBitmapGlueTest, DrawingCallsPassTheirRecordsInNativeOrder) {
    std::vector<SlotCall> calls, pixelsAndLines;
    for (uint16_t s : {slot::WinPaintPixel, slot::WinPaintLine})
        vantor::os::OnCall(Library::System, s, [&](const SlotCall& c) { return pixelsAndLines.push_back(c), 0u; });
    for (uint16_t s : {slot::WinDrawChars, slot::WinEraseRectangle, slot::WinDrawLine, slot::WinDrawRectangleFrame})
        vantor::os::OnCall(Library::System, s, [&, s](const SlotCall& c) {
            SlotCall copy = c;
            if (s == slot::WinEraseRectangle) std::memcpy(&copy.args[5], Ptr(c.args[0]), 8);
            if (s == slot::WinDrawRectangleFrame) std::memcpy(&copy.args[5], Ptr(c.args[1]), 8);
            calls.push_back(copy);
            return 0u;
        });
    // WinPaintPixels and WinPaintLines with a count of 0 call nothing.
    ASSERT_EQ(Run(" move.w #-7,-(%sp)\n move.w #12,-(%sp)\n move.w #2,-(%sp)\n pea text(%pc)\n"
                  " trap #15\n .short 0xA220\n lea 10(%sp),%sp\n"
                  " lea data(%pc),%a0\n move.l #0x0001FFFE,(%a0)\n move.l #0x00200010,4(%a0)\n"
                  " move.w #3,-(%sp)\n pea data(%pc)\n trap #15\n .short 0xA219\n addq.l #6,%sp\n"
                  " move.l #0x00030004,-(%sp)\n move.l #0x00010002,-(%sp)\n trap #15\n .short 0xA213\n addq.l #8,%sp\n"
                  " pea data(%pc)\n move.w #0x0100,-(%sp)\n trap #15\n .short 0xA21B\n addq.l #6,%sp\n"
                  " pea data(%pc)\n clr.w -(%sp)\n trap #15\n .short 0xA386\n addq.l #6,%sp\n"
                  " pea data(%pc)\n clr.w -(%sp)\n trap #15\n .short 0xA387\n addq.l #6,%sp\n"
                  " rts\ntext: .ascii \"Hi\"\n"),
              0);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_TRUE(pixelsAndLines.empty());
    EXPECT_EQ(std::string(Ptr<char>(calls[0].args[0]), 2), "Hi");
    EXPECT_EQ(calls[0].args[1] & 0xFFFF, 2u);
    EXPECT_EQ(calls[0].args[2] & 0xFFFF, 12u);
    EXPECT_EQ(static_cast<int16_t>(calls[0].args[3]), -7);
    int16_t r[4];
    std::memcpy(r, &calls[1].args[5], 8);
    EXPECT_EQ(r[0], 1);
    EXPECT_EQ(r[1], -2);
    EXPECT_EQ(r[2], 32);
    EXPECT_EQ(r[3], 16);
    EXPECT_EQ(calls[1].args[1] & 0xFFFF, 3u);
    EXPECT_EQ(calls[2].args[0] & 0xFFFF, 1u);
    EXPECT_EQ(calls[2].args[3] & 0xFFFF, 4u);
    EXPECT_EQ(calls[3].args[0] & 0xFFFF, FrameTypeToNative(0x0100));
}

// A raw 68K bitmap: version 2, 16 x 2, one bit deep, with a 2-entry colour table.
std::vector<uint8_t> RawBitmap() {
    std::vector<uint8_t> b(16 + 10 + 4, 0);
    vantor::WriteBE16(&b[0], 16);
    vantor::WriteBE16(&b[2], 2);
    vantor::WriteBE16(&b[4], 2);
    vantor::WriteBE16(&b[6], 0x4000);
    b[8] = 1;
    b[9] = 2;
    vantor::WriteBE16(&b[16], 2);
    const uint8_t entries[8] = {0, 255, 255, 255, 1, 0, 0, 0};
    std::memcpy(&b[18], entries, 8);
    b[26] = 0xF0;
    b[27] = 0x0F;
    b[28] = 0xAA;
    b[29] = 0x55;
    return b;
}

TEST_F(WindowBitmapGlueTest, RawBitmapsAreReadInPlaceAndTranslatedForDrawing) {
    // The application's memory: its raw bitmap, and a bitmap resource translated into the native
    // layout after it.
    std::vector<uint8_t> raw = RawBitmap();
    const size_t at = raw.size() + 2;
    raw.resize(at + sizeof(NativeBitmap), 0);
    ctx_.state.regions[0] = {Addr(raw.data()), static_cast<uint32_t>(raw.size())};
    NativeBitmap& translated = *reinterpret_cast<NativeBitmap*>(raw.data() + at);
    translated.width = 5;
    translated.version = 0x82;
    std::vector<SlotCall> dims;
    vantor::os::OnCall(Library::System, slot::BmpGetDimensions, [&](const SlotCall& c) {
        dims.push_back(c);
        *Ptr<int16_t>(c.args[1]) = 5;
        return 0u;
    });
    std::vector<NativeBitmap> drawn;
    std::vector<uint16_t> drawnTable;
    std::vector<uint32_t> drawnBits;
    vantor::os::OnCall(Library::System, slot::WinDrawBitmap, [&](const SlotCall& c) {
        const NativeBitmap* b = Ptr<NativeBitmap>(c.args[0]);
        drawn.push_back(*b);
        const uint8_t* after = Ptr(c.args[0]) + sizeof(NativeBitmap);
        uint16_t count;
        std::memcpy(&count, after, 2);
        drawnTable.push_back(count);
        uint32_t bits;
        std::memcpy(&bits, after + 2 + 4 * count, 4);
        drawnBits.push_back(bits);
        return 0u;
    });
    auto dimensions = [](uint32_t bitmap, int at) {
        return " pea data+" + std::to_string(at + 4) + "(%pc)\n pea data+" + std::to_string(at + 2) +
               "(%pc)\n pea data+" + std::to_string(at) + "(%pc)\n move.l #" + Hex(bitmap) +
               ",-(%sp)\n trap #15\n .short 0xA44E\n lea 16(%sp),%sp\n";
    };
    ASSERT_EQ(Run(dimensions(Addr(raw.data()), 0) + dimensions(Addr(&translated), 8) +
                  " move.l #0x00030004,-(%sp)\n move.l #" + Hex(Addr(raw.data())) +
                  ",-(%sp)\n trap #15\n .short 0xA226\n addq.l #8,%sp\n"
                  " move.l #" + Hex(Addr(raw.data())) + ",-(%sp)\n trap #15\n .short 0xA3DE\n addq.l #4,%sp\n"
                  " move.l %d0,%d3\n rts"),
              0);
    // The raw bitmap is answered from its header; the translated resource goes to the OS.
    EXPECT_EQ(vantor::ReadBE16(Data()), 16);
    EXPECT_EQ(vantor::ReadBE16(Data() + 2), 2);
    EXPECT_EQ(vantor::ReadBE16(Data() + 4), 2);
    ASSERT_EQ(dims.size(), 1u);
    EXPECT_EQ(dims[0].args[0], Addr(&translated));
    EXPECT_EQ(vantor::ReadBE16(Data() + 8), 5);
    // Drawing hands the OS a native bitmap: its colour table in host order and a pointer to the
    // 68K bits.
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].width, 16);
    EXPECT_EQ(drawn[0].height, 2);
    EXPECT_EQ(drawn[0].rowBytes, 2);
    EXPECT_EQ(drawn[0].pixelSize, 1);
    EXPECT_EQ(drawn[0].version, 0x82);
    EXPECT_EQ(drawn[0].flags, vantor::kNativeBmpHasColorTable | vantor::kNativeBmpIndirect);
    EXPECT_EQ(drawnTable, std::vector<uint16_t>{2});
    EXPECT_EQ(drawnBits, std::vector<uint32_t>{Addr(raw.data() + 26)});
    // BmpDelete of a bitmap without a shadow deletes nothing.
    EXPECT_EQ(D(3) & 0xFFFF, 0x0502u);
}

// Malformed raw bitmaps, each at the very end of the memory the application owns: nothing is read
// beyond it (the sanitizer watches), the queries answer nothing and nothing is drawn.
TEST_F(WindowBitmapGlueTest, ARawBitmapThatDoesNotLieWholeInMemoryIsRefused) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool headerReadable;  // the header alone answers the dimension queries
    };
    auto header = [](uint16_t width, uint16_t height, uint16_t rowBytes, uint16_t flags, uint8_t depth,
                     uint8_t version, size_t size) {
        std::vector<uint8_t> b(size, 0);
        vantor::WriteBE16(&b[0], width);
        vantor::WriteBE16(&b[2], height);
        vantor::WriteBE16(&b[4], rowBytes);
        vantor::WriteBE16(&b[6], flags);
        b[8] = depth;
        b[9] = version;
        return b;
    };
    std::vector<Case> cases;
    std::vector<uint8_t> cut = header(16, 2, 2, 0, 1, 2, 16);
    cut.resize(12);
    cases.push_back({"a header cut short", cut, false});
    cases.push_back({"a version-3 header cut short", header(16, 2, 2, 0, 1, 3, 20), false});
    cases.push_back({"an unknown version", header(16, 2, 2, 0, 1, 9, 20), false});
    std::vector<uint8_t> table = header(16, 2, 2, 0x4000, 1, 2, 16 + 2 + 8 + 4);
    vantor::WriteBE16(&table[16], 0x100);  // 256 entries in room for 2
    cases.push_back({"a colour table longer than the memory", table, false});
    cases.push_back({"bits beyond the memory", header(16, 40, 2, 0, 1, 2, 16 + 4), false});
    std::vector<uint8_t> packed = header(16, 2, 2, 0x8000, 1, 2, 16 + 6);
    vantor::WriteBE16(&packed[16], 0x4000);  // compressed size far beyond the memory
    cases.push_back({"compressed data beyond the memory", packed, false});
    std::vector<uint8_t> indirect = header(16, 2, 2, 0x1000, 1, 2, 16 + 4);
    vantor::WriteBE32(&indirect[16], 0x100);  // bits nowhere the application owns
    cases.push_back({"indirect bits outside the memory", indirect, false});
    std::vector<uint8_t> v3 = header(16, 2, 2, 0x4200, 1, 3, 24 + 4);
    vantor::WriteBE32(&v3[24], 0x100);
    cases.push_back({"an indirect colour table outside the memory", v3, false});
    cases.push_back({"rows narrower than the width", header(64, 2, 2, 0, 1, 2, 16 + 4), true});
    cases.push_back({"a depth the screen does not know", header(16, 2, 6, 0, 3, 2, 16 + 12), true});

    int drawn = 0;
    vantor::os::OnCall(Library::System, slot::WinDrawBitmap, [&](const SlotCall&) { return ++drawn, 0u; });
    // Kez knows no memory beyond the context's regions.
    static uint32_t (*noArea)(uint32_t, uint8_t) = [](uint32_t, uint8_t) { return 0u; };
    static std::vector<vantor::ModuleProc> kez(vantor::kKezSlots, nullptr);
    kez[vantor::kezslot::HALMemoryGetAreaSize] = reinterpret_cast<vantor::ModuleProc>(noArea);
    vantor::os::RegisterTable(vantor::kKezType, vantor::kKezCreator, kez.data(), vantor::kKezSlots);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> memory = c.bytes;
        ctx_.state.regions[0] = {Addr(memory.data()), static_cast<uint32_t>(memory.size())};
        const std::string b = Hex(Addr(memory.data()));
        ASSERT_EQ(Run(" lea data(%pc),%a2\n move.l #0x77777777,(%a2)\n move.l #0x77777777,4(%a2)\n"
                      " pea 4(%a2)\n pea 2(%a2)\n pea (%a2)\n move.l #" + b + ",-(%sp)\n"
                      " trap #15\n .short 0xA44E\n lea 16(%sp),%sp\n"
                      " move.l #" + b + ",-(%sp)\n trap #15\n .short 0xA3E1\n move.l %d0,%d3\n"
                      " trap #15\n .short 0xA376\n move.l %a0,%d4\n"
                      " trap #15\n .short 0xA3E0\n move.l %a0,%d5\n addq.l #4,%sp\n"
                      " move.l #0x00030004,-(%sp)\n move.l #" + b + ",-(%sp)\n trap #15\n .short 0xA226\n"
                      " addq.l #8,%sp\n rts"),
                  0);
        EXPECT_EQ(vantor::ReadBE16(Data()), c.headerReadable ? vantor::ReadBE16(memory.data()) : 0x7777);
        EXPECT_EQ(D(3), c.headerReadable ? D(3) : 0u);
        EXPECT_EQ(D(4), c.headerReadable ? D(4) : 0u);
        EXPECT_EQ(D(5), 0u);
        EXPECT_EQ(drawn, 0);
    }
    // A colour table beyond the memory is refused before the OS makes a bitmap.
    std::vector<uint8_t> memory(6, 0);
    vantor::WriteBE16(&memory[0], 3);
    ctx_.state.regions[0] = {Addr(memory.data()), static_cast<uint32_t>(memory.size())};
    ASSERT_EQ(Run(" pea data(%pc)\n move.l #" + Hex(Addr(memory.data())) +
                  ",-(%sp)\n move.w #0x0100,-(%sp)\n move.l #0x0010000A,-(%sp)\n"
                  " trap #15\n .short 0xA3DD\n lea 14(%sp),%sp\n move.l %a0,%d3\n rts"),
              0);
    EXPECT_EQ(D(3), 0u);
    EXPECT_EQ(vantor::ReadBE16(Data()), 0x0502);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
    vantor::os::UnregisterModule(vantor::kKezType, vantor::kKezCreator);
}

TEST_F(WindowBitmapGlueTest, BitmapsTheOsMakesAreShownAsShadowHeaders) {
    NativeBitmap made{};
    made.width = 20;
    made.height = 10;
    made.rowBytes = 20;
    made.pixelSize = 8;
    made.version = 0x82;
    made.flags = vantor::kNativeBmpHasTransparency;
    made.transparentIndex = 9;
    struct {
        uint16_t count = 1;
        uint8_t entry[4] = {3, 4, 5, 6};
    } table;
    std::vector<SlotCall> deleted;
    vantor::os::OnCall(Library::System, slot::BmpCreate, [&](const SlotCall& c) {
        *Ptr<uint16_t>(c.args[4]) = 0;
        return Addr(&made);
    });
    vantor::os::OnCall(Library::System, slot::BmpGetColortable, [&](const SlotCall&) { return Addr(&table); });
    vantor::os::OnCall(Library::System, slot::BmpDelete, [&](const SlotCall& c) { return deleted.push_back(c), 0u; });
    const std::string colortable = " move.l %d3,-(%sp)\n trap #15\n .short 0xA3E0\n addq.l #4,%sp\n";
    ASSERT_EQ(Run(" pea data(%pc)\n clr.l -(%sp)\n move.w #0x0800,-(%sp)\n move.l #0x0014000A,-(%sp)\n"
                  " trap #15\n .short 0xA3DD\n lea 14(%sp),%sp\n move.l %a0,%d3\n" +
                  colortable + " move.l %a0,%d4\n" + colortable + " move.l %a0,%d5\n"
                  " move.l %d3,-(%sp)\n trap #15\n .short 0xA3DE\n addq.l #4,%sp\n move.l %d0,%d6\n rts"),
              0);
    const uint8_t* image = Ptr(D(3));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(vantor::ReadBE16(image), 20);
    EXPECT_EQ(vantor::ReadBE16(image + 6), 0x2000);
    EXPECT_EQ(image[8], 8);
    EXPECT_EQ(image[12], 9);
    EXPECT_NE(D(4), 0u);
    EXPECT_EQ(D(5), D(4));  // one copy per bitmap
    EXPECT_EQ(vantor::ReadBE16(Ptr(D(4))), 1);
    EXPECT_EQ(Ptr(D(4))[2 + 1], 4);  // the entries as they are
    EXPECT_EQ(D(6) & 0xFFFF, 0u);
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0].args[0], Addr(&made));
    EXPECT_EQ(BitmapShadowFindNative(&ctx_.state, &made), nullptr);
}

}  // namespace
}  // namespace morvel::test
