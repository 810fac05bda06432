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

// The gadget handler records each call: (image, command, parameter) in turn at data+40.
constexpr const char* kGadgetHandler =
    "gadget: lea data+40(%pc),%a1\n move.w (%a1),%d0\n addq.w #1,(%a1)\n mulu.w #10,%d0\n lea "
    "2(%a1,%d0.w),%a1\n"
    " move.l 4(%sp),(%a1)+\n move.w 8(%sp),(%a1)+\n move.l 10(%sp),(%a1)\n moveq #1,%d0\n rts\n";

TEST_F(FormGlueTest, ObjectShadowsAreMadeOnceAndGadgetCallsActOnGadgetsOnly) {
    static uint8_t objects[3][16];
    static const char label[] = "Name:";
    const uint16_t kinds[3] = {8, 12, 0};
    vantor::os::OnCall(Library::Ui, 154, [](const SlotCall& c) { return Addr(objects[c.args[1] & 0xFFFF]); });
    vantor::os::OnCall(Library::Ui, ui::FrmGetObjectType,
                       [kinds](const SlotCall& c) { return uint32_t{kinds[c.args[1] & 0xFFFF]}; });
    vantor::os::OnCall(Library::Ui, ui::FrmGetObjectId,
                       [](const SlotCall& c) { return 100 + (c.args[1] & 0xFFFF); });
    vantor::os::OnCall(Library::Ui, ui::FrmGetObjectPosition, [](const SlotCall& c) {
        *reinterpret_cast<int16_t*>(c.args[2]) = 5;
        *reinterpret_cast<int16_t*>(c.args[3]) = 6;
        return 0u;
    });
    vantor::os::OnCall(Library::Ui, ui::FrmGetLabel, [](const SlotCall&) { return Addr(label); });
    vantor::os::OnCall(Library::Ui, ui::FrmGetObjectBounds, [](const SlotCall& c) {
        const int16_t r[4] = {1, 2, 30, 40};
        std::memcpy(reinterpret_cast<void*>(c.args[2]), r, 8);
        return 0u;
    });
    vantor::os::OnCall(Library::Ui, ui::FrmGetGadgetData, [](const SlotCall&) { return 0x1234u; });
    std::vector<SlotCall> handlers, data;
    vantor::os::OnCall(Library::Ui, 181, [&](const SlotCall& c) { return handlers.push_back(c), 0u; });
    vantor::os::OnCall(Library::Ui, ui::FrmSetGadgetData,
                       [&](const SlotCall& c) { return data.push_back(c), 0u; });
    vantor::os::OnCall(Library::Ui, ui::FrmDeleteForm, [](const SlotCall&) { return 0u; });

    auto objectPtr = [](int index, const char* reg) {
        return " move.w #" + std::to_string(index) +
               ",-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA183\n"
               " addq.l #6,%sp\n move.l %a0," +
               reg + "\n";
    };
    auto setHandler = [](int index) {
        return " pea gadget(%pc)\n move.w #" + std::to_string(index) +
               ",-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA3D8\n lea 10(%sp),%sp\n";
    };
    auto setData = [](int index) {
        return " move.l #0xDA7A,-(%sp)\n move.w #" + std::to_string(index) +
               ",-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA1A4\n lea 10(%sp),%sp\n";
    };
    ASSERT_EQ(Run(" move.w #1000,-(%sp)\n trap #15\n .short 0xA16F\n addq.l #2,%sp\n move.l %a0,%d3\n" +
                  objectPtr(0, "%d4") + objectPtr(0, "%d5") + objectPtr(1, "%d6") + objectPtr(2, "%d7") +
                  objectPtr(3, "%a2") + setHandler(1) + setHandler(2) + setData(1) + setData(2) + " rts\n" +
                  kGadgetHandler),
              0);
    ASSERT_NE(D(4), 0u);
    EXPECT_EQ(D(5), D(4));           // one shadow per object
    EXPECT_EQ(ctx_.state.A[2], 0u);  // beyond the form's objects
    const auto* labelImage = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(D(4)));
    EXPECT_EQ(vantor::ReadBE16(labelImage), 100);
    EXPECT_EQ(vantor::ReadBE16(labelImage + 2), 5);
    EXPECT_EQ(vantor::ReadBE16(labelImage + 4), 6);
    EXPECT_EQ(vantor::ReadBE32(labelImage + 10), Addr(label));
    const auto* gadgetImage = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(D(6)));
    EXPECT_EQ(vantor::ReadBE16(gadgetImage), 101);
    EXPECT_EQ(vantor::ReadBE16(gadgetImage + 8), 30);
    EXPECT_EQ(vantor::ReadBE32(gadgetImage + kGadgetImageData), 0xDA7Au);
    EXPECT_NE(vantor::ReadBE32(gadgetImage + kGadgetImageHandler), 0u);
    // The field's image is the field glue's: no gadget word was written into it (its text word
    // names no text, and the bytes where a gadget keeps its handler stay unwritten).
    const auto* fieldImage = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(D(7)));
    EXPECT_EQ(vantor::ReadBE16(fieldImage), 102);
    EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(vantor::ReadBE32(fieldImage + 12))),
                 "Direct access to field->text no allowed");
    for (int i = 16; i < 24; ++i) EXPECT_EQ(fieldImage[i], 0xFE) << i;
    ASSERT_EQ(handlers.size(), 1u);
    EXPECT_EQ(handlers[0].args[2], Addr(reinterpret_cast<void*>(&GadgetHandlerTrampoline)));
    EXPECT_EQ(data.size(), 2u);  // the UI library is still told; only the image of a gadget follows

    // The UI library calls the gadget; deleting the form calls it once more with command 3.
    active_ = Addr(native_);
    EXPECT_EQ(GadgetHandlerTrampoline(objects[1], 1, reinterpret_cast<void*>(0x77)), 1);
    EXPECT_EQ(GadgetHandlerTrampoline(objects[2], 1, nullptr), 0);  // no gadget of a form
    FormShadowForget(&ctx_.state, native_);
    ASSERT_EQ(vantor::ReadBE16(Data() + 40), 2);
    EXPECT_EQ(vantor::ReadBE32(Data() + 42), D(6));
    EXPECT_EQ(vantor::ReadBE16(Data() + 46), 1);
    EXPECT_EQ(vantor::ReadBE32(Data() + 48), 0x77u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 52), D(6));
    EXPECT_EQ(vantor::ReadBE16(Data() + 56), 3);
    EXPECT_EQ(vantor::ReadBE32(Data() + 58), 0u);
    EXPECT_EQ(FormNativeOf(&ctx_.state, D(3)), nullptr);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(FormGlueTest, UiServicesForwardAndScrollBarsMustBeFormObjects) {
    vantor::os::OnCall(Library::Ui, 201, [](const SlotCall& c) {  // InsPtGetLocation
        *reinterpret_cast<int16_t*>(c.args[0]) = 12;
        *reinterpret_cast<int16_t*>(c.args[1]) = -3;
        return 0u;
    });
    std::vector<SlotCall> shown;
    vantor::os::OnCall(Library::Ui, 248,
                       [&](const SlotCall& c) { return shown.push_back(c), 1u; });  // MenuShowItem
    ASSERT_EQ(Run(" pea data+2(%pc)\n pea data(%pc)\n trap #15\n .short 0xA1AA\n addq.l #8,%sp\n"
                  " move.w #1501,-(%sp)\n trap #15\n .short 0xA3D5\n addq.l #2,%sp\n move.l %d0,%d3\n"
                  " pea data+8(%pc)\n trap #15\n .short 0xA2B7\n addq.l #4,%sp\n rts"),
              0);
    EXPECT_EQ(vantor::ReadBE16(Data()), 12);
    EXPECT_EQ(static_cast<int16_t>(vantor::ReadBE16(Data() + 2)), -3);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].args[0] & 0xFFFF, 1501u);
    EXPECT_EQ(D(3) & 0xFF, 1u);
    // A scroll-bar call with a pointer that is no form object reaches nothing and is reported.
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("Form object not found"), std::string::npos) << reports[0];
}

}  // namespace
}  // namespace morvel::test
