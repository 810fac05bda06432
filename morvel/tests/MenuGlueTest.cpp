// Menu traps from 68K code against the stand-in OS's UI library slots: the 68K image of a native
// menu bar, found again for the same bar and made anew for a new one.
#include <gtest/gtest.h>

#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/NativeUi.h"
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

}  // namespace
}  // namespace morvel::test
