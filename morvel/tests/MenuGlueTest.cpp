// Menu, clipboard and find traps from 68K code against the stand-in OS's UI library slots: the 68K
// image of a native menu bar, found again for the same bar and made anew for a new one; clipboard
// items taken from the application's memory and handed back as a handle; the find-parameter
// record in the native layout and back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/NativeUi.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "morvel/traps/MenuGlue.h"

namespace morvel::test {
namespace {

using vantor::NativeMenuBar;
using vantor::NativeMenuItem;
using vantor::NativeMenuPull;
using vantor::os::Library;
using vantor::os::SlotCall;

const uint8_t* At(uint32_t p) { return reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(p)); }

class MenuGlueTest : public TrapGlueTest {
  protected:
    void SetUp() override {
        TrapGlueTest::SetUp();
        for (int i = 0; i < 3; ++i) first_[i] = {static_cast<uint16_t>(1000 + i), static_cast<char>('A' + i), 0, names_[i]};
        first_[2].attr = vantor::kMenuItemHidden;
        for (int i = 0; i < 2; ++i) second_[i] = {static_cast<uint16_t>(2000 + i), 0, 0, names_[3 + i]};
        menus_[0] = NativeMenuPull{};
        menus_[0].title = titles_[0];
        menus_[0].numItems = 3;
        menus_[0].items = first_;
        menus_[0].bounds = {1, 2, 3, 4};
        menus_[1] = NativeMenuPull{};
        menus_[1].title = titles_[1];
        menus_[1].numItems = 2;
        menus_[1].items = second_;
        menus_[1].attr = vantor::kMenuHidden;
        bar_ = NativeMenuBar{};
        bar_.numMenus = 2;
        bar_.menus = menus_;
        bar_.curMenu = 1;
        bar_.attr = vantor::kMenuBarVisible;
        const uint32_t bar = reinterpret_cast<uintptr_t>(&bar_);
        vantor::os::OnCall(Library::Ui, 245, [bar](const SlotCall&) { return bar; });  // MenuInit
        vantor::os::OnCall(Library::Ui, 242, [bar](const SlotCall&) { return bar; });  // MenuGetActiveMenu
    }
    void TearDown() override {
        MenuShadowsFreeAll(&ctx_.state);
        TrapGlueTest::TearDown();
    }
    char* names_[5] = {const_cast<char*>("New"), const_cast<char*>("Open"), const_cast<char*>("Hide"),
                       const_cast<char*>("Cut"), const_cast<char*>("Copy")};
    char* titles_[2] = {const_cast<char*>("File"), const_cast<char*>("Edit")};
    NativeMenuItem first_[3]{}, second_[2]{};
    NativeMenuPull menus_[2]{};
    NativeMenuBar bar_{};
};

TEST_F(MenuGlueTest, AMenuBarIsShownAsItsImageOfMenusAndItems) {
    std::vector<SlotCall> drawn, disposed;
    vantor::os::OnCall(Library::Ui, 239, [&](const SlotCall& c) { return drawn.push_back(c), 0u; });
    vantor::os::OnCall(Library::Ui, 238, [&](const SlotCall& c) { return disposed.push_back(c), 0u; });
    ASSERT_EQ(Run(" move.w #1000,-(%sp)\n trap #15\n .short 0xA1BD\n addq.l #2,%sp\n move.l %a0,%d3\n"
                  " move.l %d3,%a0\n move.w #0x7777,22(%a0)\n"  // a mark in a word the image leaves alone
                  " trap #15\n .short 0xA1C2\n move.l %a0,%d4\n trap #15\n .short 0xA1C2\n move.l %a0,%d5\n"
                  " move.l %d5,%a0\n lea data(%pc),%a1\n move.w 22(%a0),(%a1)\n"
                  " move.w #1000,-(%sp)\n trap #15\n .short 0xA1BD\n addq.l #2,%sp\n move.l %a0,%d6\n"
                  " move.l %d6,-(%sp)\n trap #15\n .short 0xA1C0\n addq.l #4,%sp\n"
                  " move.l %d6,-(%sp)\n trap #15\n .short 0xA1BE\n addq.l #4,%sp\n rts"),
              0);
    const uint32_t d3 = ctx_.state.D[3], d4 = ctx_.state.D[4], d5 = ctx_.state.D[5], d6 = ctx_.state.D[6];
    ASSERT_NE(d3, 0u);
    EXPECT_EQ(d4, d3);  // the active bar's shadow is found again
    EXPECT_EQ(d5, d3);
    EXPECT_EQ(vantor::ReadBE16(Data()), 0x7777);
    // MenuInit of the same bar builds a new image.
    const uint8_t* image = At(d6);
    EXPECT_EQ(vantor::ReadBE16(image + 22), 0xFEFE);
    const auto* shadow = reinterpret_cast<const MenuShadow*>(image - 16);
    EXPECT_EQ(shadow->size, 48 + 2 * 34 + 5 * 8);
    EXPECT_EQ(vantor::ReadBE16(image + 16), 0x8000);
    EXPECT_EQ(vantor::ReadBE16(image + 18), 1);
    EXPECT_EQ(vantor::ReadBE16(image + 26), 2);
    const uint32_t menu0 = vantor::ReadBE32(image + 28);
    EXPECT_EQ(menu0, d6 + 32);
    const uint8_t* m0 = At(menu0);
    const uint8_t* m1 = m0 + 34;
    EXPECT_EQ(vantor::ReadBE16(m0 + 4), 1);
    EXPECT_EQ(vantor::ReadBE32(m0 + 24), reinterpret_cast<uintptr_t>(titles_[0]));
    EXPECT_EQ(vantor::ReadBE16(m0 + 28), 3);
    EXPECT_EQ(vantor::ReadBE16(m1 + 28), 0x8002);  // a hidden menu of two items
    EXPECT_EQ(vantor::ReadBE32(m1 + 30), vantor::ReadBE32(m0 + 30) + 24);
    const uint8_t* items = At(vantor::ReadBE32(m0 + 30));
    EXPECT_EQ(vantor::ReadBE16(items + 8), 1001);
    EXPECT_EQ(items[8 + 2], 'B');
    EXPECT_EQ(items[16 + 3], 0x80);  // the hidden item
    EXPECT_EQ(vantor::ReadBE32(items + 24 + 4), reinterpret_cast<uintptr_t>(names_[3]));
    // The image reaches the UI library as its native bar; MenuDispose drops its shadow.
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].args[0], reinterpret_cast<uintptr_t>(&bar_));
    ASSERT_EQ(disposed.size(), 1u);
    EXPECT_EQ(MenuNativeOf(&ctx_.state, d6), nullptr);
    EXPECT_TRUE(Reports().empty());
}

// Text added and appended comes back through its handle; an item whose bytes run past the
// application's memory is not taken.
TEST_F(MenuGlueTest, TheClipboardKeepsTextFromTheApplicationsMemory) {
    std::vector<uint8_t> memory(16, 0);
    std::memcpy(memory.data(), "Hello World", 11);
    ctx_.state.regions[0] = {Addr(memory.data()), static_cast<uint32_t>(memory.size())};
    auto put = [&](uint16_t trap, int offset, int length) {
        return " move.w #" + std::to_string(length) + ",-(%sp)\n move.l #" +
               std::to_string(Addr(memory.data()) + offset) + ",-(%sp)\n clr.w -(%sp)\n trap #15\n .short " +
               std::to_string(trap) + "\n lea 8(%sp),%sp\n";
    };
    const std::string get = " pea data(%pc)\n clr.w -(%sp)\n trap #15\n .short 0xA10C\n addq.l #6,%sp\n";
    ASSERT_EQ(Run(put(0xA10A, 0, 5) + put(0xA370, 5, 6) + get + " move.l %a0,%d3\n" + put(0xA370, 8, 9) +
                  " move.l %d0,%d4\n" + put(0xA10A, 4, 40) + get + " move.l %a0,%d5\n rts"),
              0);
    ASSERT_NE(ctx_.state.D[3], 0u);
    EXPECT_EQ(ctx_.state.D[5], ctx_.state.D[3]);
    EXPECT_EQ(vantor::ReadBE16(Data()), 11);  // the text as it stood: the bad items were not taken
    void* handle = reinterpret_cast<void*>(static_cast<uintptr_t>(ctx_.state.D[3]));
    const char* held = static_cast<const char*>(vantor::sys::MemHandleLock(handle));
    EXPECT_EQ(std::string(held, 11), "Hello World");
    vantor::sys::MemHandleUnlock(handle);
    EXPECT_EQ(ctx_.state.D[4] & 0xFFFF, 0x0502u);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// A bitmap item is the application's 68K bitmap gathered into one: header, colour table and the
// bits its pointer names, inline. A bitmap whose bits run past the application's memory is not
// taken.
TEST_F(MenuGlueTest, ABitmapGoesToTheClipboardAsOneSelfContainedBitmap) {
    std::vector<uint8_t> memory(64, 0);
    uint8_t* m = memory.data();
    const uint8_t header[16] = {0, 16, 0, 2, 0, 2, 0x50, 0x00, 1, 2, 0, 0, 0, 0, 0, 0};
    std::memcpy(m, header, 16);
    vantor::WriteBE16(m + 16, 2);
    for (int i = 0; i < 8; ++i) m[18 + i] = static_cast<uint8_t>(0x10 + i);
    const uint8_t bits[4] = {0xAA, 0x55, 0xF0, 0x0F};
    std::memcpy(m + 30, bits, 4);
    std::memcpy(m + 34, m, 26);  // the same bitmap at 34, its bits pointer (at 60) set below
    ctx_.state.regions[0] = {Addr(m), static_cast<uint32_t>(memory.size())};
    vantor::WriteBE32(m + 26, Addr(m + 30));
    vantor::WriteBE32(m + 60, Addr(m + 62));  // two bytes of its four lie in the memory
    auto add = [&](uint32_t bitmap) {
        return " move.w #26,-(%sp)\n move.l #" + std::to_string(bitmap) +
               ",-(%sp)\n move.w #0x0200,-(%sp)\n trap #15\n .short 0xA10A\n lea 8(%sp),%sp\n";
    };
    const std::string get = " pea data(%pc)\n move.w #0x0200,-(%sp)\n trap #15\n .short 0xA10C\n addq.l #6,%sp\n";
    ASSERT_EQ(Run(add(Addr(m)) + add(Addr(m + 34)) + get + " move.l %a0,%d3\n rts"), 0);
    ASSERT_NE(ctx_.state.D[3], 0u);
    ASSERT_EQ(vantor::ReadBE16(Data()), 30);
    void* handle = reinterpret_cast<void*>(static_cast<uintptr_t>(ctx_.state.D[3]));
    const auto* held = static_cast<const uint8_t*>(vantor::sys::MemHandleLock(handle));
    std::vector<uint8_t> expected(header, header + 16);
    expected[6] = 0x40;  // the bits are inline now
    expected.insert(expected.end(), m + 16, m + 26);
    expected.insert(expected.end(), bits, bits + 4);
    EXPECT_EQ(std::vector<uint8_t>(held, held + 30), expected);
    vantor::sys::MemHandleUnlock(handle);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// A bitmap the OS made (BmpCreate, 16 x 3) goes to the clipboard as one self-contained 68K bitmap
// built from the OS's answers about it: its 68K header, its colour table (count big-endian) when
// it has one, then the bits the application wrote through BmpGetBits.
TEST_F(MenuGlueTest, ABitmapTheOsMadeGoesToTheClipboardAsOneSelfContained68KBitmap) {
    std::vector<uint8_t> memory(12, 0);  // a colour table of two entries, white and black
    const uint8_t table[10] = {0, 2, 0, 255, 255, 255, 1, 0, 0, 0};
    std::memcpy(memory.data(), table, sizeof table);
    ctx_.state.regions[0] = {Addr(memory.data()), static_cast<uint32_t>(memory.size())};
    struct Case {
        uint8_t depth;
        bool withTable;
        uint16_t rowBytes, flags;
    } cases[] = {{1, false, 2, 0}, {8, true, 16, 0x4000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        const uint32_t bits = 3u * c.rowBytes;
        // BmpCreate (16, 3, depth, table, &error at data+0); the bits counted down from bits - 1;
        // ClipboardAddItem (bitmap, it, 1); ClipboardGetItem (bitmap, &length at data+2); BmpDelete.
        ASSERT_EQ(Run(" pea data(%pc)\n move.l #" + std::to_string(c.withTable ? Addr(memory.data()) : 0) +
                      ",-(%sp)\n move.w #" + std::to_string(c.depth << 8) +
                      ",-(%sp)\n move.w #3,-(%sp)\n move.w #16,-(%sp)\n trap #15\n .short 0xA3DD\n"
                      " lea 14(%sp),%sp\n move.l %a0,%d3\n move.l %d3,-(%sp)\n trap #15\n .short 0xA376\n"
                      " addq.l #4,%sp\n move.w #" + std::to_string(bits - 1) +
                      ",%d0\n1: move.b %d0,(%a0)+\n dbra %d0,1b\n move.w #1,-(%sp)\n move.l %d3,-(%sp)\n"
                      " move.w #0x0200,-(%sp)\n trap #15\n .short 0xA10A\n lea 8(%sp),%sp\n pea data+2(%pc)\n"
                      " move.w #0x0200,-(%sp)\n trap #15\n .short 0xA10C\n addq.l #6,%sp\n move.l %a0,%d4\n"
                      " move.l %d3,-(%sp)\n trap #15\n .short 0xA3DE\n addq.l #4,%sp\n rts"),
                  0);
        EXPECT_EQ(vantor::ReadBE16(Data()), 0);
        std::vector<uint8_t> expected(16, 0);
        vantor::WriteBE16(&expected[0], 16);
        vantor::WriteBE16(&expected[2], 3);
        vantor::WriteBE16(&expected[4], c.rowBytes);
        vantor::WriteBE16(&expected[6], c.flags);
        expected[8] = c.depth;
        expected[9] = 2;
        if (c.withTable) expected.insert(expected.end(), table, table + sizeof table);
        for (uint32_t i = 0; i < bits; ++i) expected.push_back(static_cast<uint8_t>(bits - 1 - i));
        ASSERT_EQ(vantor::ReadBE16(Data() + 2), expected.size());
        void* handle = reinterpret_cast<void*>(static_cast<uintptr_t>(ctx_.state.D[4]));
        const auto* held = static_cast<const uint8_t*>(vantor::sys::MemHandleLock(handle));
        EXPECT_EQ(std::vector<uint8_t>(held, held + expected.size()), expected);
        vantor::sys::MemHandleUnlock(handle);
    }
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// The find-parameter record reaches the UI library in the native layout and its changes come
// back; the fields that have no native place come back 0. A record that runs past the
// application's memory is not handed on.
TEST_F(MenuGlueTest, FindParametersTravelInTheNativeLayoutAndBack) {
    std::vector<uint8_t> memory(308 + 100, 0);
    uint8_t* rec = memory.data();
    for (size_t i = 0; i < 308; ++i) rec[i] = static_cast<uint8_t>(i * 7 + 1);
    vantor::WriteBE16(rec, 0x1234);
    vantor::WriteBE32(rec + 46, 0xA1B2C3D4);
    ctx_.state.regions[0] = {Addr(memory.data()), static_cast<uint32_t>(memory.size())};
    std::vector<uint8_t> seen;
    vantor::os::OnCall(Library::Ui, vantor::uislot::FindDrawHeader, [&](const SlotCall& c) {
        uint8_t* n = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(c.args[0]));
        seen.assign(n, n + 308);
        const uint32_t changed = 0x01020304;
        std::memcpy(n + 48, &changed, 4);
        n[56] = 0x99;
        return 1u;
    });
    auto header = [&](uint32_t record) {
        return " pea 0\n move.l #" + std::to_string(record) +
               ",-(%sp)\n trap #15\n .short 0xA26D\n addq.l #8,%sp\n";
    };
    ASSERT_EQ(Run(header(Addr(rec)) + " move.l %d0,%d3\n moveq #7,%d0\n" + header(Addr(rec) + 200) +
                  " move.l %d0,%d4\n rts"),
              0);
    ASSERT_EQ(seen.size(), 308u);
    uint16_t first;
    uint32_t word;
    std::memcpy(&first, seen.data(), 2);
    std::memcpy(&word, seen.data() + 48, 4);
    EXPECT_EQ(first, 0x1234);
    EXPECT_EQ(word, 0xA1B2C3D4u);
    EXPECT_EQ(seen[56], static_cast<uint8_t>(58 * 7 + 1));
    EXPECT_EQ(seen[39], 0);
    EXPECT_EQ(seen[57], 0);
    EXPECT_EQ(seen[100], static_cast<uint8_t>(100 * 7 + 1));
    EXPECT_EQ(ctx_.state.D[3] & 0xFF, 1u);
    EXPECT_EQ(vantor::ReadBE32(rec + 46), 0x01020304u);
    EXPECT_EQ(rec[58], 0x99);
    EXPECT_EQ(vantor::ReadBE16(rec + 50), 0);
    EXPECT_EQ(vantor::ReadBE16(rec + 56), 0);
    EXPECT_EQ(rec[39], 0);
    EXPECT_EQ(rec[59], 0);
    EXPECT_EQ(rec[100], static_cast<uint8_t>(100 * 7 + 1));
    EXPECT_EQ(ctx_.state.D[4] & 0xFF, 0u);  // the second record runs past the memory
}

// ResLoadConstant answers the UI library's 32-bit value in D0.
TEST_F(MenuGlueTest, AnIntegerConstantComesBackWhole) {
    std::vector<uint32_t> ids;
    vantor::os::OnCall(Library::Ui, vantor::uislot::UiEntry256, [&](const SlotCall& c) {
        ids.push_back(c.args[0] & 0xFFFF);
        return 0x89ABCDEFu;
    });
    ASSERT_EQ(Run(" move.w #4000,-(%sp)\n trap #15\n .short 0xA3B2\n addq.l #2,%sp\n move.l %d0,%d3\n rts"), 0);
    EXPECT_EQ(ids, std::vector<uint32_t>{4000});
    EXPECT_EQ(ctx_.state.D[3], 0x89ABCDEFu);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

}  // namespace
}  // namespace morvel::test
