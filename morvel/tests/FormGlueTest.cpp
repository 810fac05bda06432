// Form traps from 68K code against the stand-in OS's UI library slots: form shadows and their 68K
// images, native forms found again from 68K form pointers, and the trampoline that runs a form's
// 68K event handler for the UI library.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/UiSlots.h"
#include "morvel/traps/FormGlue.h"

namespace morvel::test {
namespace {

using vantor::os::Library;
using vantor::os::SlotCall;
namespace ui = vantor::uislot;

class FormGlueTest : public TrapGlueTest {
  protected:
    void SetUp() override {
        TrapGlueTest::SetUp();
        const uint32_t form = Addr(native_);
        vantor::os::OnCall(Library::Ui, ui::FrmInitForm, [form](const SlotCall&) { return form; });
        vantor::os::OnCall(Library::Ui, ui::FrmGetNumberOfObjects, [](const SlotCall&) { return 3u; });
        vantor::os::OnCall(Library::Ui, ui::FrmGetFormId, [](const SlotCall&) { return 1000u; });
        vantor::os::OnCall(Library::Ui, ui::FrmGetActiveForm, [this](const SlotCall&) { return active_; });
        vantor::os::OnCall(Library::Ui, ui::FrmSetActiveForm,
                           [this](const SlotCall& c) { return active_ = c.args[0]; });
        vantor::os::OnCall(Library::Ui, ui::FrmSetEventHandler, [this](const SlotCall& c) {
            handlers_.push_back(c);
            return 0u;
        });
        vantor::os::OnCall(Library::Ui, ui::FrmDrawForm, [this](const SlotCall& c) {
            drawn_.push_back(c.args[0]);
            return 0u;
        });
    }
    void TearDown() override {
        FormShadowFreeAll(&ctx_.state);
        TrapGlueTest::TearDown();
    }
    uint32_t D(int n) const { return ctx_.state.D[n]; }
    uint8_t native_[64] = {};
    uint32_t active_ = 0;
    std::vector<SlotCall> handlers_;
    std::vector<uint32_t> drawn_;
};

// The handler stores the event's type and first data word and takes the event.
constexpr const char* kHandler =
    "handler: move.l 4(%sp),%a0\n lea data+32(%pc),%a1\n move.w (%a0),(%a1)+\n move.w 8(%a0),(%a1)\n"
    " moveq #1,%d0\n rts\n";

TEST_F(FormGlueTest, FormsAreShownAsTheirShadowImagesAndRunTheir68KHandlers) {
    ASSERT_EQ(Run(" move.w #1000,-(%sp)\n trap #15\n .short 0xA16F\n addq.l #2,%sp\n move.l %a0,%d3\n"
                  " move.l %a0,-(%sp)\n trap #15\n .short 0xA174\n"  // FrmSetActiveForm
                  " trap #15\n .short 0xA173\n move.l %a0,%d4\n"     // FrmGetActiveForm
                  " pea handler(%pc)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA19F\n addq.l #8,%sp\n"
                  " trap #15\n .short 0xA171\n addq.l #4,%sp\n rts\n" +  // FrmDrawForm
                  std::string(kHandler)),
              0);
    ASSERT_NE(D(3), 0u);
    EXPECT_EQ(D(4), D(3));  // the same image: the shadow is found, not built again
    const auto* image = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(D(3)));
    EXPECT_EQ(vantor::ReadBE16(image + kFormImageFormID), 1000);
    EXPECT_EQ(vantor::ReadBE16(image + kFormImageFocus), 0xFFFF);
    EXPECT_EQ(vantor::ReadBE16(image + kFormImageCount), 0);  // objects only through traps
    EXPECT_NE(vantor::ReadBE32(image + kFormImageHandler), 0u);
    EXPECT_EQ(active_, Addr(native_));  // 68K form pointers reach the UI library as native forms
    ASSERT_EQ(handlers_.size(), 1u);
    EXPECT_EQ(handlers_[0].args[0], Addr(native_));
    EXPECT_EQ(handlers_[0].args[1], Addr(reinterpret_cast<void*>(&FormEventTrampoline)));
    EXPECT_EQ(drawn_, std::vector<uint32_t>{Addr(native_)});

    // The UI library hands the active form an event: the 68K handler sees it in its own layout.
    vantor::SysEventType event{};
    event.eType = 4;
    const uint16_t chr = 'x';
    std::memcpy(event.data, &chr, 2);
    EXPECT_EQ(FormEventTrampoline(&event), 1);
    EXPECT_EQ(vantor::ReadBE16(Data() + 32), 4);
    EXPECT_EQ(vantor::ReadBE16(Data() + 34), 'x');

    // Deleting the form drops its shadow: its image is no longer a form.
    vantor::os::OnCall(Library::Ui, ui::FrmDeleteForm, [](const SlotCall&) { return 0u; });
    ASSERT_EQ(
        Run(" move.l #" + std::to_string(D(3)) + ",-(%sp)\n trap #15\n .short 0xA170\n addq.l #4,%sp\n rts"),
        0);
    EXPECT_EQ(FormNativeOf(&ctx_.state, D(3)), nullptr);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(FormGlueTest, AnEventForAFormWithoutAHandlerIsReported) {
    ASSERT_EQ(Run(" move.w #1000,-(%sp)\n trap #15\n .short 0xA16F\n addq.l #2,%sp\n"
                  " move.l %a0,-(%sp)\n trap #15\n .short 0xA174\n addq.l #4,%sp\n rts"),
              0);
    vantor::SysEventType event{};
    event.eType = 4;
    EXPECT_EQ(FormEventTrampoline(&event), 0);
    active_ = 0;
    EXPECT_EQ(FormEventTrampoline(&event), 0);
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[0].find("No form event handler"), std::string::npos) << reports[0];
    EXPECT_NE(reports[1].find("No current form"), std::string::npos) << reports[1];
}

}  // namespace
}  // namespace morvel::test
