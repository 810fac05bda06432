// Form traps from 68K code against the stand-in OS's UI library slots: form shadows and their 68K
// images, native forms found again from 68K form pointers, and the trampoline that runs a form's
// 68K event handler for the UI library.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/NativeUi.h"
#include "common/module/SystemCalls.h"
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

// A form from a resource shows the default button, help and menu IDs its resource gives.
TEST_F(FormGlueTest, AResourceFormShowsItsDefaultButtonHelpAndMenuIDs) {
    namespace sys = vantor::sys;
    const uint32_t app = vantor::FourCC("appl"), creator = vantor::FourCC("test");
    ASSERT_EQ(sys::DmCreateDatabaseNamed(0, "Form App", creator, app, 1), 0);
    const uint32_t db =
        sys::DmOpenDatabaseByID(sys::DmFindDatabaseByNameCreatorType("Form App", creator, app), 3);
    std::vector<uint8_t> form(68, 0);
    const uint16_t ids[3] = {1002, 1100, 1200};  // default button, help, menu
    for (int i = 0; i < 3; ++i) vantor::WriteBE16(form.data() + kFormImageDefaultButton + 2 * i, ids[i]);
    AddResource(db, vantor::FourCC("tFRM"), 1000, form);
    ASSERT_EQ(Run(" move.w #1000,-(%sp)\n trap #15\n .short 0xA16F\n addq.l #2,%sp\n move.l %a0,%d3\n rts"),
              0);
    const auto* image = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(D(3)));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(vantor::ReadBE16(image + kFormImageDefaultButton), 1002);
    EXPECT_EQ(vantor::ReadBE16(image + kFormImageHelp), 1100);
    EXPECT_EQ(vantor::ReadBE16(image + kFormImageMenu), 1200);
    EXPECT_EQ(vantor::ReadBE16(image + kFormImageCount), 0);  // objects only through traps
    sys::DmCloseDatabase(db);
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

// The scroll arrows' images show them (usable bit 15 of the attribute word at 14) while either
// direction scrolls.
TEST_F(FormGlueTest, ScrollArrowImagesFollowWhetherEitherDirectionScrolls) {
    static vantor::NativeControl arrows[2];
    static const char label[] = "^";
    for (auto& a : arrows) a = vantor::NativeControl{}, a.text = const_cast<char*>(label);
    vantor::os::OnCall(Library::Ui, 154,
                       [](const SlotCall& c) { return Addr(&arrows[(c.args[1] & 0xFFFF) % 2]); });
    vantor::os::OnCall(Library::Ui, ui::FrmGetObjectType, [](const SlotCall&) { return 1u; });
    vantor::os::OnCall(Library::Ui, ui::FrmGetObjectId,
                       [](const SlotCall& c) { return 500 + (c.args[1] & 0xFFFF); });
    std::vector<SlotCall> updates;
    vantor::os::OnCall(Library::Ui, ui::FrmUpdateScrollers,
                       [&](const SlotCall& c) { return updates.push_back(c), 0u; });
    const std::string objects =
        " move.w #0,-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA183\n addq.l #6,%sp\n"
        " move.l %a0,%d4\n move.w #1,-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA183\n"
        " addq.l #6,%sp\n move.l %a0,%d5\n";
    ASSERT_EQ(Run(" move.w #1000,-(%sp)\n trap #15\n .short 0xA16F\n addq.l #2,%sp\n move.l %a0,%d3\n" +
                  objects + " rts"),
              0);
    struct Case {
        int up, down;
        bool shown;
    };
    for (Case c : {Case{1, 0, true}, Case{0, 0, false}, Case{0, 1, true}, Case{1, 1, true}}) {
        SCOPED_TRACE(c.up * 2 + c.down);
        ASSERT_EQ(Run(" move.w #" + std::to_string(c.down << 8) + ",-(%sp)\n move.w #" +
                      std::to_string(c.up << 8) + ",-(%sp)\n move.w #1,-(%sp)\n clr.w -(%sp)\n move.l #" +
                      std::to_string(D(3)) + ",-(%sp)\n trap #15\n .short 0xA196\n lea 12(%sp),%sp\n rts"),
                  0);
        for (uint32_t image : {D(4), D(5)})
            EXPECT_EQ(vantor::ReadBE16(reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(image)) + 14) &
                          0x8000,
                      c.shown ? 0x8000 : 0);
        ASSERT_FALSE(updates.empty());
        EXPECT_EQ(updates.back().args[0], Addr(native_));
        EXPECT_EQ(updates.back().args[3] & 0xFF, uint32_t(c.up));
        EXPECT_EQ(updates.back().args[4] & 0xFF, uint32_t(c.down));
    }
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// A custom-response alert runs the 68K checker for each entry the UI library checks: the checker
// (at data+48) stores the button and the entry's first character and accepts entries that start
// with 'y'. Without a checker the UI library is given none.
TEST_F(FormGlueTest, CustomResponseAlertsRunTheir68KChecker) {
    std::vector<uint8_t> verdicts;
    std::vector<SlotCall> alerts;
    vantor::os::OnCall(Library::Ui, ui::UiEntry130, [&](const SlotCall& c) {
        alerts.push_back(c);
        if (c.args[6]) {
            auto checker = reinterpret_cast<uint8_t (*)(int16_t, const char*)>(c.args[6]);
            verdicts.push_back(checker(2, "no"));
            verdicts.push_back(checker(1, "yes"));
        }
        return 1u;
    });
    const std::string alert =
        " pea checker(%pc)\n move.w #16,-(%sp)\n pea data(%pc)\n clr.l -(%sp)\n clr.l -(%sp)\n"
        " pea text(%pc)\n move.w #1200,-(%sp)\n trap #15\n .short 0xA3D3\n lea 24(%sp),%sp\n";
    const std::string checker =
        "checker: lea data+48(%pc),%a1\n move.w 4(%sp),(%a1)+\n move.l 6(%sp),%a0\n move.b (%a0),(%a1)\n"
        " moveq #0,%d0\n cmp.b #'y',(%a0)\n bne.s 1f\n moveq #1,%d0\n1: rts\n"
        "text: .asciz \"Name?\"\n .even\n";
    ASSERT_EQ(
        Run(alert + " move.w %d0,%d3\n" +
            // the same alert without a checker
            " clr.l -(%sp)\n move.w #16,-(%sp)\n pea data(%pc)\n clr.l -(%sp)\n clr.l -(%sp)\n"
            " pea text(%pc)\n move.w #1200,-(%sp)\n trap #15\n .short 0xA3D3\n lea 24(%sp),%sp\n rts\n" +
            checker),
        0);
    EXPECT_EQ(D(3) & 0xFFFF, 1u);
    EXPECT_EQ(verdicts, (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(vantor::ReadBE16(Data() + 48), 1);  // the last entry checked
    EXPECT_EQ(Data()[50], 'y');
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[0].args[0] & 0xFFFF, 1200u);
    EXPECT_STREQ(reinterpret_cast<const char*>(alerts[0].args[1]), "Name?");
    EXPECT_EQ(alerts[0].args[4], Addr(Data()));
    EXPECT_EQ(alerts[0].args[5] & 0xFFFF, 16u);
    EXPECT_EQ(alerts[1].args[6], 0u);
    // Outside an alert there is no checker to run: the entry is accepted.
    EXPECT_EQ(ResponseCallbackTrampoline(1, "x"), 1);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// ---- forms built at run time, against the stand-in UI library itself ----

// 68K calls of the form traps; the form pointer variable is at data+0 (%a2), its value in %d3.
std::string FrmNewLabelAsm(int id, const char* text, const char* result) {
    return " clr.w -(%sp)\n move.w #2,-(%sp)\n move.w #1,-(%sp)\n pea " + std::string(text) +
           "(%pc)\n move.w #" + std::to_string(id) +
           ",-(%sp)\n move.l %a2,-(%sp)\n trap #15\n .short 0xA32F\n lea 16(%sp),%sp\n"
           " move.l %a0," +
           result + "\n";
}
std::string FrmGetObjectPtrAsm(int index, const char* result) {
    return " move.w #" + std::to_string(index) +
           ",-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA183\n"
           " addq.l #6,%sp\n move.l %a0," +
           result + "\n";
}
std::string FrmRemoveObjectAsm(const char* formAddress, int index, const char* result) {
    return " move.w #" + std::to_string(index) + ",-(%sp)\n pea " + formAddress +
           "\n trap #15\n .short 0xA345\n addq.l #6,%sp\n move.w %d0," + result + "\n";
}

// The forms these tests make live in the stand-in UI library: each test closes them, with the
// objects they hold.
class RunTimeFormTest : public TrapGlueTest {
  protected:
    void TearDown() override {
        FormShadowFreeAll(&ctx_.state);
        reinterpret_cast<void (*)()>(vantor::os::LibraryTable(Library::Ui)[ui::FrmCloseAllForms])();
        TrapGlueTest::TearDown();
    }
};

// A form and its objects made by 68K code: the title, a label, a gadget and a second label; the
// first label is removed. The later objects keep their 68K pointers at their new indexes, and a
// removal with a bad index or through a pointer that is no form changes nothing.
TEST_F(RunTimeFormTest, ObjectsAddedAndRemovedKeepTheShadowsInStep) {
    const std::string src =
        " lea data(%pc),%a2\n"
        " clr.w -(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n move.w #160,-(%sp)\n move.w "
        "#160,-(%sp)\n"
        " clr.w -(%sp)\n clr.w -(%sp)\n pea title(%pc)\n move.w #2000,-(%sp)\n trap #15\n .short 0xA32B\n"
        " lea 22(%sp),%sp\n move.l %a0,%d3\n move.l %a0,(%a2)\n" +
        FrmNewLabelAsm(1, "textA", "%d4") +
        // FrmNewGadget (form address, ID 2, 10, 20, 30 x 40)
        " move.w #40,-(%sp)\n move.w #30,-(%sp)\n move.w #20,-(%sp)\n move.w #10,-(%sp)\n move.w #2,-(%sp)\n"
        " move.l %a2,-(%sp)\n trap #15\n .short 0xA331\n lea 14(%sp),%sp\n move.l %a0,%d5\n" +
        FrmNewLabelAsm(3, "textC", "%d6") + FrmGetObjectPtrAsm(3, "4(%a2)") +
        FrmRemoveObjectAsm("data(%pc)", 1, "8(%a2)") + FrmGetObjectPtrAsm(1, "10(%a2)") +
        FrmGetObjectPtrAsm(2, "14(%a2)") +
        // FrmGetObjectIndexFromPtr (form, the second label), FrmGetNumberOfObjects (form)
        " move.l %d6,-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA454\n addq.l #8,%sp\n move.w "
        "%d0,18(%a2)\n"
        " move.l %d3,-(%sp)\n trap #15\n .short 0xA17F\n addq.l #4,%sp\n move.w %d0,20(%a2)\n" +
        FrmRemoveObjectAsm("data(%pc)", 3, "22(%a2)") + FrmRemoveObjectAsm("data+4(%pc)", 0, "24(%a2)") +
        // FrmSetTitle (form, "New"); the title object's image
        " pea newTitle(%pc)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA191\n addq.l #8,%sp\n" +
        FrmGetObjectPtrAsm(0, "26(%a2)") +
        " rts\n"
        "title: .asciz \"T\"\ntextA: .asciz \"A\"\ntextC: .asciz \"C\"\nnewTitle: .asciz \"New\"\n .even\n";
    ASSERT_EQ(Run(src), 0);
    const uint8_t* d = Data();
    const uint32_t gadget = ctx_.state.D[5], second = ctx_.state.D[6];
    ASSERT_NE(ctx_.state.D[3], 0u);
    ASSERT_NE(ctx_.state.D[4], 0u);
    ASSERT_NE(gadget, 0u);
    ASSERT_NE(second, 0u);
    EXPECT_EQ(vantor::ReadBE32(d + 4), second);  // the new object's image is the one at its index
    EXPECT_EQ(vantor::ReadBE16(d + 8), 0u);
    EXPECT_EQ(vantor::ReadBE32(d + 10), gadget);  // index 1 after the removal
    EXPECT_EQ(vantor::ReadBE32(d + 14), second);
    EXPECT_EQ(vantor::ReadBE16(d + 18), 2u);
    EXPECT_EQ(vantor::ReadBE16(d + 20), 3u);
    EXPECT_NE(vantor::ReadBE16(d + 22), 0u);       // no object at index 3
    EXPECT_EQ(vantor::ReadBE16(d + 24), 0x0103u);  // a pointer that is no form's
    // The images: the gadget's bounds, the second label's text, the title's new text.
    const auto* g = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(gadget));
    EXPECT_EQ(vantor::ReadBE16(g), 2u);
    EXPECT_EQ(std::vector<uint16_t>({vantor::ReadBE16(g + 4), vantor::ReadBE16(g + 6),
                                     vantor::ReadBE16(g + 8), vantor::ReadBE16(g + 10)}),
              std::vector<uint16_t>({10, 20, 30, 40}));
    const auto* label = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(second));
    EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(vantor::ReadBE32(label + 10))), "C");
    const auto* title = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(vantor::ReadBE32(d + 26)));
    ASSERT_NE(title, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(vantor::ReadBE32(title + 8))), "New");
    const uint32_t form = ctx_.state.D[3];
    ASSERT_EQ(
        Run(" move.l #" + std::to_string(form) + ",-(%sp)\n trap #15\n .short 0xA170\n addq.l #4,%sp\n rts"),
        0);
    EXPECT_EQ(FormNativeOf(&ctx_.state, form), nullptr);  // the deleted form's shadow went with it
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// A field made in a form without objects is its object 0, and its image is the one at that index.
TEST_F(RunTimeFormTest, AFieldMadeInAnEmptyFormIsItsFirstObject) {
    // FrmNewForm without a title; FldNewField (form address, ID 7, 10, 20, 80 x 12, font 0, 16
    // characters, editable, underlined, single line, the rest false).
    ASSERT_EQ(Run(" lea data(%pc),%a2\n clr.w -(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n"
                  " move.w #160,-(%sp)\n move.w #160,-(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n clr.l -(%sp)\n"
                  " move.w #3100,-(%sp)\n trap #15\n .short 0xA32B\n lea 22(%sp),%sp\n move.l %a0,%d3\n"
                  " move.l %a0,(%a2)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA17F\n addq.l #4,%sp\n"
                  " move.w %d0,%d6\n moveq #4,%d0\n1: clr.w -(%sp)\n dbra %d0,1b\n move.w #0x0100,-(%sp)\n"
                  " move.w #0x0100,-(%sp)\n move.w #0x0100,-(%sp)\n move.l #16,-(%sp)\n clr.w -(%sp)\n"
                  " move.w #12,-(%sp)\n move.w #80,-(%sp)\n move.w #20,-(%sp)\n move.w #10,-(%sp)\n"
                  " move.w #7,-(%sp)\n move.l %a2,-(%sp)\n trap #15\n .short 0xA32D\n lea 36(%sp),%sp\n"
                  " move.l %a0,%d4\n" +
                  FrmGetObjectPtrAsm(0, "%d5") + " rts"),
              0);
    EXPECT_EQ(ctx_.state.D[6] & 0xFFFF, 0u);
    ASSERT_NE(ctx_.state.D[4], 0u);
    EXPECT_EQ(ctx_.state.D[5], ctx_.state.D[4]);
    const auto* image = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(ctx_.state.D[4]));
    EXPECT_EQ(vantor::ReadBE16(image), 7u);
    EXPECT_EQ(vantor::ReadBE16(image + 2), 10u);
    EXPECT_EQ(vantor::ReadBE16(image + 6), 80u);
    EXPECT_EQ(vantor::ReadBE16(image + 10) & 0x8000, 0x8000);  // usable
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// A gadget's 68K handler sees the gadget as the UI library has it, and what it writes into the
// gadget's image reaches the gadget: here new attributes (usable and visible), new data and a
// handler word of 0, which takes the handler away. The handler counts its calls at data+40 and
// keeps the attributes it was shown at data+44.
TEST_F(RunTimeFormTest, WhatAGadgetHandlerWritesInItsImageReachesTheGadget) {
    ASSERT_EQ(Run(" lea data(%pc),%a2\n clr.w -(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n"
                  " move.w #160,-(%sp)\n move.w #160,-(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n clr.l -(%sp)\n"
                  " move.w #3200,-(%sp)\n trap #15\n .short 0xA32B\n lea 22(%sp),%sp\n move.l %a0,%d3\n"
                  " move.l %a0,(%a2)\n move.l %a0,-(%sp)\n trap #15\n .short 0xA174\n addq.l #4,%sp\n"
                  " move.w #40,-(%sp)\n move.w #30,-(%sp)\n move.w #20,-(%sp)\n move.w #10,-(%sp)\n"
                  " move.w #9,-(%sp)\n move.l %a2,-(%sp)\n trap #15\n .short 0xA331\n lea 14(%sp),%sp\n"
                  " move.l %a0,%d4\n pea gadget(%pc)\n clr.w -(%sp)\n move.l %d3,-(%sp)\n trap #15\n"
                  " .short 0xA3D8\n lea 10(%sp),%sp\n rts\n"
                  "gadget: lea data+40(%pc),%a1\n addq.w #1,(%a1)\n move.l 4(%sp),%a0\n"
                  " move.w 8(%a0),2(%a1)\n move.w 2(%a0),4(%a1)\n move.w #0xA000,2(%a0)\n"
                  " move.l #0xBEEF,12(%a0)\n clr.l 16(%a0)\n moveq #1,%d0\n rts\n"),
              0);
    void* form = FormNativeOf(&ctx_.state, ctx_.state.D[3]);
    ASSERT_NE(form, nullptr);
    auto ui = vantor::os::LibraryTable(Library::Ui);
    void* gadget = reinterpret_cast<void* (*)(void*, uint16_t)>(ui[154])(form, 0);
    ASSERT_NE(gadget, nullptr);
    EXPECT_EQ(GadgetHandlerTrampoline(gadget, 0, nullptr), 1);
    EXPECT_EQ(vantor::ReadBE16(Data() + 40), 1);
    EXPECT_EQ(vantor::ReadBE16(Data() + 42), 30);  // the handler saw the gadget's width
    EXPECT_EQ(vantor::ReadBE16(Data() + 44), 0x8000);  // and its usable bit, at the top
    EXPECT_EQ(static_cast<vantor::NativeFormGadget*>(gadget)->attr, 0x0005);
    EXPECT_EQ(Addr(reinterpret_cast<void* (*)(void*, uint16_t)>(ui[ui::FrmGetGadgetData])(form, 0)), 0xBEEFu);
    EXPECT_EQ(GadgetHandlerTrampoline(gadget, 0, nullptr), 0);  // no handler any more
    EXPECT_EQ(vantor::ReadBE16(Data() + 40), 1);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// What 68K code writes into the images reaches the native form when it is drawn: the help ID, a
// label's and a bitmap's usable bit, both ways. A label's image shows its font.
TEST_F(RunTimeFormTest, FormDrawingTakesTheHelpIDAndUsableBitsFromTheImages) {
    // FrmNewForm without a title; FrmNewLabel (ID 4, "L", 10, 20, font 3); FrmNewBitmap (ID 5,
    // bitmap 1200, 50, 60).
    ASSERT_EQ(Run(" lea data(%pc),%a2\n clr.w -(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n"
                  " move.w #160,-(%sp)\n move.w #160,-(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n clr.l -(%sp)\n"
                  " move.w #3300,-(%sp)\n trap #15\n .short 0xA32B\n lea 22(%sp),%sp\n move.l %a0,%d3\n"
                  " move.l %a0,(%a2)\n move.w #0x0300,-(%sp)\n move.w #20,-(%sp)\n move.w #10,-(%sp)\n"
                  " pea text(%pc)\n move.w #4,-(%sp)\n move.l %a2,-(%sp)\n trap #15\n .short 0xA32F\n"
                  " lea 16(%sp),%sp\n move.l %a0,%d4\n move.w #60,-(%sp)\n move.w #50,-(%sp)\n"
                  " move.w #1200,-(%sp)\n move.w #5,-(%sp)\n move.l %a2,-(%sp)\n trap #15\n .short 0xA330\n"
                  " lea 12(%sp),%sp\n move.l %a0,%d5\n rts\n"
                  "text: .asciz \"L\"\n .even\n"),
              0);
    const uint32_t form = ctx_.state.D[3], label = ctx_.state.D[4], bitmap = ctx_.state.D[5];
    ASSERT_NE(label, 0u);
    ASSERT_NE(bitmap, 0u);
    const auto* labelImage = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(label));
    EXPECT_EQ(labelImage[8], 3u);
    EXPECT_EQ(vantor::ReadBE16(labelImage + 6), 0x8000);
    EXPECT_EQ(vantor::ReadBE16(reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(bitmap))), 0x8000);
    auto* native = static_cast<vantor::NativeForm*>(FormNativeOf(&ctx_.state, form));
    ASSERT_NE(native, nullptr);
    auto ui = vantor::os::LibraryTable(Library::Ui);
    auto objectPtr = reinterpret_cast<void* (*)(void*, uint16_t)>(ui[154]);
    auto* nativeLabel = static_cast<vantor::NativeFormLabel*>(objectPtr(native, 0));
    auto* nativeBitmap = static_cast<vantor::NativeFormBitmap*>(objectPtr(native, 1));
    struct Case {
        uint16_t help, usable;
    };
    for (Case c : {Case{77, 0}, Case{78, 0x8000}}) {
        ASSERT_EQ(Run(" move.l #" + std::to_string(form) + ",%a0\n move.w #" + std::to_string(c.help) +
                      ",58(%a0)\n move.l #" + std::to_string(label) + ",%a1\n move.w #" +
                      std::to_string(c.usable) + ",6(%a1)\n move.l #" + std::to_string(bitmap) +
                      ",%a1\n move.w #" + std::to_string(c.usable) +
                      ",(%a1)\n move.l %a0,-(%sp)\n trap #15\n .short 0xA171\n addq.l #4,%sp\n rts"),
                  0);
        EXPECT_EQ(native->helpRscId, c.help);
        EXPECT_EQ(nativeLabel->attr & 1, c.usable ? 1 : 0) << c.help;
        EXPECT_EQ(nativeBitmap->attr & 1, c.usable ? 1 : 0) << c.help;
        EXPECT_EQ(nativeBitmap->rscId, 1200);
    }
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// AccessorDispatch on form objects from 68K code: the usable bit of a label, a bitmap, a gadget and
// a field as their native objects hold it (0 for an address that is no object), and a label's font read
// and set by ID (0 and no change for an ID that is no label).
TEST_F(RunTimeFormTest, AccessorsReadUsableBitsAndLabelFontsFromNativeObjects) {
    // FrmNewForm; FrmNewLabel (ID 4, "L", font 3); FrmNewBitmap (ID 5); FrmNewGadget (ID 6);
    // FldNewField (ID 7).
    ASSERT_EQ(Run(" lea data(%pc),%a2\n clr.w -(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n"
                  " move.w #160,-(%sp)\n move.w #160,-(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n clr.l -(%sp)\n"
                  " move.w #3500,-(%sp)\n trap #15\n .short 0xA32B\n lea 22(%sp),%sp\n move.l %a0,%d3\n"
                  " move.l %a0,(%a2)\n move.w #0x0300,-(%sp)\n move.w #20,-(%sp)\n move.w #10,-(%sp)\n"
                  " pea text(%pc)\n move.w #4,-(%sp)\n move.l %a2,-(%sp)\n trap #15\n .short 0xA32F\n"
                  " lea 16(%sp),%sp\n move.l %a0,%d4\n move.w #60,-(%sp)\n move.w #50,-(%sp)\n"
                  " move.w #1200,-(%sp)\n move.w #5,-(%sp)\n move.l %a2,-(%sp)\n trap #15\n .short 0xA330\n"
                  " lea 12(%sp),%sp\n move.l %a0,%d5\n move.w #8,-(%sp)\n move.w #8,-(%sp)\n"
                  " move.w #70,-(%sp)\n move.w #70,-(%sp)\n move.w #6,-(%sp)\n move.l %a2,-(%sp)\n"
                  " trap #15\n .short 0xA331\n lea 14(%sp),%sp\n move.l %a0,%d6\n"
                  // FldNewField (ID 7, 10, 90, 80 x 12, font 0, 16 characters, editable, the rest false)
                  " moveq #4,%d0\n1: clr.w -(%sp)\n dbra %d0,1b\n clr.w -(%sp)\n clr.w -(%sp)\n"
                  " move.w #0x0100,-(%sp)\n move.l #16,-(%sp)\n clr.w -(%sp)\n move.w #12,-(%sp)\n"
                  " move.w #80,-(%sp)\n move.w #90,-(%sp)\n move.w #10,-(%sp)\n move.w #7,-(%sp)\n"
                  " move.l %a2,-(%sp)\n trap #15\n .short 0xA32D\n lea 36(%sp),%sp\n move.l %a0,%d7\n rts\n"
                  "text: .asciz \"L\"\n .even\n"),
              0);
    const uint32_t form = ctx_.state.D[3], label = ctx_.state.D[4], bitmap = ctx_.state.D[5],
                   gadget = ctx_.state.D[6], field = ctx_.state.D[7];
    ASSERT_NE(field, 0u);
    ASSERT_NE(label, 0u);
    ASSERT_NE(bitmap, 0u);
    ASSERT_NE(gadget, 0u);
    void* native = FormNativeOf(&ctx_.state, form);
    ASSERT_NE(native, nullptr);
    auto objectPtr = reinterpret_cast<void* (*)(void*, uint16_t)>(vantor::os::LibraryTable(Library::Ui)[154]);
    auto* nativeLabel = static_cast<vantor::NativeFormLabel*>(objectPtr(native, 0));
    auto* nativeBitmap = static_cast<vantor::NativeFormBitmap*>(objectPtr(native, 1));
    auto* nativeGadget = static_cast<vantor::NativeFormGadget*>(objectPtr(native, 2));
    // AccessorDispatch selector 2 with one object pointer: D0 as a byte.
    auto usable = [&](uint32_t object) {
        EXPECT_EQ(Run(" move.l #" + std::to_string(object) +
                      ",-(%sp)\n moveq #2,%d2\n moveq #-1,%d0\n trap #15\n .short 0xA3F4\n addq.l #4,%sp\n rts"),
                  0);
        return ctx_.state.D[0] & 0xFF;
    };
    EXPECT_EQ(usable(label), 1u);
    EXPECT_EQ(usable(bitmap), 1u);
    EXPECT_EQ(usable(gadget), 1u);
    EXPECT_EQ(usable(field), 1u);
    // FldSetUsable (field, false) makes the native field unusable.
    ASSERT_EQ(Run(" clr.w -(%sp)\n move.l #" + std::to_string(field) +
                  ",-(%sp)\n trap #15\n .short 0xA15C\n addq.l #6,%sp\n rts"),
              0);
    EXPECT_EQ(usable(field), 0u);
    nativeLabel->attr = 0x0002;
    nativeBitmap->attr = 0;
    nativeGadget->attr = 0x0004;  // visible, not usable
    EXPECT_EQ(usable(label), 0u);
    EXPECT_EQ(usable(bitmap), 0u);
    EXPECT_EQ(usable(gadget), 0u);
    EXPECT_EQ(usable(Addr(Data())), 0u);  // no object: nothing is read from it
    EXPECT_EQ(usable(0), 0u);

    // Selectors 16 (form, ID) and 17 (form, ID, font); D0 of each call goes to data+0.
    auto font = [&](uint16_t selector, uint16_t id, uint8_t value) {
        EXPECT_EQ(Run(" move.w #" + std::to_string(value << 8) + ",-(%sp)\n move.w #" + std::to_string(id) +
                      ",-(%sp)\n move.l #" + std::to_string(form) + ",-(%sp)\n moveq #" +
                      std::to_string(selector) + ",%d2\n moveq #-1,%d0\n trap #15\n .short 0xA3F4\n"
                      " addq.l #8,%sp\n rts"),
                  0);
        return ctx_.state.D[0] & 0xFF;
    };
    const auto* labelImage = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(label));
    EXPECT_EQ(font(16, 4, 0), 3u);
    font(17, 4, 2);
    EXPECT_EQ(nativeLabel->fontID, 2);
    EXPECT_EQ(labelImage[8], 2u);
    EXPECT_EQ(font(16, 4, 0), 2u);
    const uint16_t bitmapWord = nativeBitmap->rscId;
    for (uint16_t id : {5, 6, 99}) {  // a bitmap, a gadget, no object
        EXPECT_EQ(font(16, id, 0), 0u) << id;
        font(17, id, 7);
        EXPECT_EQ(nativeBitmap->rscId, bitmapWord) << id;
        EXPECT_EQ(nativeGadget->id, 6) << id;
    }
    EXPECT_EQ(nativeLabel->fontID, 2);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// A database holding a native form resource ('afrm', as the resource translation writes it) of
// that ID and objects (kind, native record); the database stays open.
uint32_t AddNativeForm(uint16_t formID, const std::vector<std::pair<uint8_t, std::vector<uint8_t>>>& objects) {
    namespace sys = vantor::sys;
    const uint32_t app = vantor::FourCC("appl"), creator = vantor::FourCC("test");
    EXPECT_EQ(sys::DmCreateDatabaseNamed(0, "Native Form App", creator, app, 1), 0);
    const uint32_t db =
        sys::DmOpenDatabaseByID(sys::DmFindDatabaseByNameCreatorType("Native Form App", creator, app), 3);
    std::vector<uint8_t> form(68 + 8 * objects.size(), 0);
    const auto count = static_cast<uint16_t>(objects.size());
    std::memcpy(&form[52], &formID, 2);
    std::memcpy(&form[62], &count, 2);
    for (size_t i = 0; i < objects.size(); ++i) {
        const auto at = static_cast<uint32_t>(form.size());
        std::memcpy(&form[68 + 8 * i], &at, 4);
        form[68 + 8 * i + 4] = objects[i].first;
        form.insert(form.end(), objects[i].second.begin(), objects[i].second.end());
    }
    AddResource(db, vantor::FourCC("afrm"), formID, form);
    return db;
}

// A popup trigger pair of a form from its native resource shows its control and list IDs.
TEST_F(RunTimeFormTest, APopupTriggerPairShowsItsControlAndList) {
    const uint32_t db = AddNativeForm(3400, {{10, {31, 0, 32, 0}}});  // control 31, list 32
    ASSERT_EQ(Run(" move.w #3400,-(%sp)\n trap #15\n .short 0xA16F\n addq.l #2,%sp\n move.l %a0,%d3\n" +
                  FrmGetObjectPtrAsm(0, "%d4") + " rts"),
              0);
    ASSERT_NE(ctx_.state.D[4], 0u);
    const auto* image = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(ctx_.state.D[4]));
    EXPECT_EQ(vantor::ReadBE16(image), 31);
    EXPECT_EQ(vantor::ReadBE16(image + 2), 32);
    vantor::sys::DmCloseDatabase(db);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// A table of a form from its native resource (two columns, usable): AccessorDispatch answers its
// usable bit and, after TblSetColumnMasked, which of its columns is masked; columns outside the
// table and pointers that are no table answer 0.
TEST_F(RunTimeFormTest, AccessorsReadATablesUsableBitAndMaskedColumns) {
    std::vector<uint8_t> table(76 + 2 * 20, 0);
    const uint16_t head[8] = {51, vantor::kTableUsable, 0, 0, 100, 40, 2, 0};  // ID, attributes, bounds, 2 x 0
    std::memcpy(table.data(), head, sizeof head);
    table[76] = table[96] = 50;  // column widths
    const uint32_t db = AddNativeForm(3600, {{3, table}});
    // An AccessorDispatch call with the table (D4) and a word; D0 as a byte goes to data+N.
    auto accessor = [](int selector, int word, int at) {
        return " move.w #" + std::to_string(word) + ",-(%sp)\n move.l %d4,-(%sp)\n moveq #" +
               std::to_string(selector) + ",%d2\n moveq #-1,%d0\n trap #15\n .short 0xA3F4\n addq.l #6,%sp\n" +
               " lea data+" + std::to_string(at) + "(%pc),%a0\n move.b %d0,(%a0)\n";
    };
    // TblSetColumnMasked (table, column 1, true), then the accessors; last one with a non-table.
    ASSERT_EQ(Run(" move.w #3600,-(%sp)\n trap #15\n .short 0xA16F\n addq.l #2,%sp\n move.l %a0,%d3\n" +
                  FrmGetObjectPtrAsm(0, "%d4") + accessor(2, 0, 0) +
                  " move.w #0x0100,-(%sp)\n move.w #1,-(%sp)\n move.l %d4,-(%sp)\n trap #15\n .short 0xA3D0\n"
                  " addq.l #8,%sp\n" +
                  accessor(23, 0, 1) + accessor(23, 1, 2) + accessor(23, 2, 3) + accessor(23, 0xFFFF, 4) +
                  " lea data+8(%pc),%a0\n move.l %d4,(%a0)\n lea data+16(%pc),%a0\n move.l %a0,%d4\n" +
                  accessor(23, 1, 5) + accessor(2, 0, 6) +
                  " rts"),
              0);
    ASSERT_NE(ctx_.state.D[3], 0u);
    EXPECT_EQ(std::vector<uint8_t>(Data(), Data() + 7), std::vector<uint8_t>({1, 0, 1, 0, 0, 0, 0}));
    auto* native = static_cast<vantor::NativeTable*>(
        reinterpret_cast<void* (*)(void*, uint16_t)>(vantor::os::LibraryTable(Library::Ui)[154])(
            FormNativeOf(&ctx_.state, ctx_.state.D[3]), 0));
    ASSERT_NE(native, nullptr);
    native->attr = 0;
    ASSERT_EQ(Run(" move.l #" + std::to_string(vantor::ReadBE32(Data() + 8)) + ",%d4\n" + accessor(2, 0, 0) +
                  " rts"),
              0);
    EXPECT_EQ(Data()[0], 0);
    vantor::sys::DmCloseDatabase(db);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// A scroll bar of a form from its native resource (61, usable, at 150, 20, 7 x 100; 0 of 0-10,
// page 5) beside a popup pair: its image shows its bounds and ID, AccessorDispatch 2 reads its
// usable bit from the native bar, its values travel both ways, and a pen on its down arrow handed
// to SclHandleEvent moves it and reaches 68K code as a scroll-bar event naming its image. A
// scroll-bar call with the form's pointer or the popup's is reported and changes nothing.
TEST_F(RunTimeFormTest, AScrollBarIsANativeObjectThatTakesValuesAndThePen) {
    const uint16_t bar[12] = {150, 20, 7, 100, 61, vantor::kScrollBarUsable, 0, 0, 10, 5, 0, 0};
    std::vector<uint8_t> record(24);
    std::memcpy(record.data(), bar, 24);
    const uint32_t db = AddNativeForm(3700, {{13, record}, {10, {31, 0, 32, 0}}});
    const std::string accessor =
        " move.l %d4,-(%sp)\n moveq #2,%d2\n moveq #-1,%d0\n trap #15\n .short 0xA3F4\n addq.l #4,%sp\n"
        " lea data(%pc),%a0\n move.b %d0,(%a0)\n";
    auto set = [](const char* object) {  // SclSetScrollBar (object, 3, 0, 20, 4)
        return std::string(" move.w #4,-(%sp)\n move.w #20,-(%sp)\n clr.w -(%sp)\n move.w #3,-(%sp)\n move.l ") +
               object + ",-(%sp)\n trap #15\n .short 0xA2B6\n lea 12(%sp),%sp\n";
    };
    ASSERT_EQ(Run(" move.w #3700,-(%sp)\n trap #15\n .short 0xA16F\n addq.l #2,%sp\n move.l %a0,%d3\n"
                  " move.l %d3,-(%sp)\n trap #15\n .short 0xA174\n addq.l #4,%sp\n" +
                  FrmGetObjectPtrAsm(0, "%d4") + FrmGetObjectPtrAsm(1, "%d5") + accessor + set("%d4") + set("%d5") +
                  set("%d3") +
                  // SclGetScrollBar into data+2 on; SclHandleEvent with the pen, its answer at data+10
                  " pea data+8(%pc)\n pea data+6(%pc)\n pea data+4(%pc)\n pea data+2(%pc)\n move.l %d4,-(%sp)\n"
                  " trap #15\n .short 0xA2E7\n lea 20(%sp),%sp\n pea pen(%pc)\n move.l %d4,-(%sp)\n trap #15\n"
                  " .short 0xA2B8\n addq.l #8,%sp\n lea data+10(%pc),%a0\n move.b %d0,(%a0)\n rts\n"
                  "pen: .short 1\n .byte 1,1\n .short 153,116\n .fill 16,1,0\n"),
              0);
    const uint32_t form = ctx_.state.D[3], image = ctx_.state.D[4];
    ASSERT_NE(image, 0u);
    EXPECT_EQ(Data()[0], 1);
    EXPECT_EQ(std::vector<uint16_t>({vantor::ReadBE16(Data() + 2), vantor::ReadBE16(Data() + 4),
                                     vantor::ReadBE16(Data() + 6), vantor::ReadBE16(Data() + 8)}),
              std::vector<uint16_t>({3, 0, 20, 4}));
    EXPECT_EQ(Data()[10], 1);
    const auto* bytes = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(image));
    EXPECT_EQ(std::vector<uint16_t>({vantor::ReadBE16(bytes), vantor::ReadBE16(bytes + 2), vantor::ReadBE16(bytes + 4),
                                     vantor::ReadBE16(bytes + 6), vantor::ReadBE16(bytes + 8),
                                     vantor::ReadBE16(bytes + 10)}),
              std::vector<uint16_t>({150, 20, 7, 100, 61, 0}));
    auto* native = static_cast<vantor::NativeScrollBar*>(
        reinterpret_cast<void* (*)(void*, uint16_t)>(vantor::os::LibraryTable(Library::Ui)[154])(
            FormNativeOf(&ctx_.state, form), 0));
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(native->value, 4);  // one down from 3
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 2u) << ::testing::PrintToString(reports);
    for (const std::string& r : reports) EXPECT_NE(r.find("Form object not found"), std::string::npos) << r;

    // The events the pen brought, as 68K code gets them: the entry, then the change from 3 to 4.
    const std::string get = " clr.l -(%sp)\n pea data(%pc)\n trap #15\n .short 0xA11D\n addq.l #8,%sp\n";
    ASSERT_EQ(Run(get + get + " rts"), 0);
    EXPECT_EQ(vantor::ReadBE16(Data()), 34);
    EXPECT_EQ(vantor::ReadBE16(Data() + 8), 61);
    EXPECT_EQ(vantor::ReadBE32(Data() + 10), image);
    EXPECT_EQ(vantor::ReadBE16(Data() + 14), 3);
    EXPECT_EQ(vantor::ReadBE16(Data() + 16), 4);

    // Hidden (FrmHideObject), its native bar is no longer usable.
    ASSERT_EQ(Run(" clr.w -(%sp)\n move.l #" + std::to_string(form) + ",-(%sp)\n trap #15\n .short 0xA184\n"
                  " addq.l #6,%sp\n move.l #" + std::to_string(image) + ",%d4\n" + accessor + " rts"),
              0);
    EXPECT_EQ(Data()[0], 0);
    EXPECT_EQ(native->attr & vantor::kScrollBarUsable, 0);
    vantor::sys::DmCloseDatabase(db);
}

// Two push buttons of group 1 (41 at index 0, 42 at index 1): selecting 42 in the group turns it
// on and 41 off, and a control's value follows; the group number travels as a byte. Results land
// at data+32 on.
TEST_F(RunTimeFormTest, ControlValuesAndGroupSelectionsReachTheForm) {
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> objects;
    for (uint8_t i = 0; i < 2; ++i) {
        // ID, attributes (usable, enabled, visible), bounds, push button (16), group 1 (18), label "A"
        std::vector<uint8_t> control(24, 0);
        const uint16_t words[] = {static_cast<uint16_t>(41 + i), 0x0007, static_cast<uint16_t>(10 + 30 * i), 10,
                                  24, 12};
        std::memcpy(control.data(), words, sizeof words);
        control[16] = 1;
        control[18] = 1;
        control[20] = 'A';
        objects.emplace_back(1, control);
    }
    const uint32_t db = AddNativeForm(3500, objects);
    ASSERT_EQ(Run(" lea data(%pc),%a2\n move.w #3500,-(%sp)\n trap #15\n .short 0xA16F\n addq.l #2,%sp\n"
                  " move.l %a0,%d3\n"
                  // FrmSetControlGroupSelection (form, group 1, 42); FrmGetControlGroupSelection (form, 1)
                  " move.w #42,-(%sp)\n move.w #0x0100,-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA18B\n"
                  " addq.l #8,%sp\n move.w #0x0100,-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA18A\n"
                  " addq.l #6,%sp\n move.w %d0,32(%a2)\n"
                  // FrmGetControlValue of both, FrmSetControlValue (form, 0, 1), its value again
                  " clr.w -(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA188\n addq.l #6,%sp\n"
                  " move.w %d0,34(%a2)\n move.w #1,-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA188\n"
                  " addq.l #6,%sp\n move.w %d0,36(%a2)\n move.w #1,-(%sp)\n clr.w -(%sp)\n move.l %d3,-(%sp)\n"
                  " trap #15\n .short 0xA189\n addq.l #8,%sp\n clr.w -(%sp)\n move.l %d3,-(%sp)\n trap #15\n"
                  " .short 0xA188\n addq.l #6,%sp\n move.w %d0,38(%a2)\n rts"),
              0);
    EXPECT_EQ(vantor::ReadBE16(Data() + 32), 1);  // index of 42
    EXPECT_EQ(vantor::ReadBE16(Data() + 34), 0);
    EXPECT_EQ(vantor::ReadBE16(Data() + 36), 1);
    EXPECT_EQ(vantor::ReadBE16(Data() + 38), 1);
    vantor::sys::DmCloseDatabase(db);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// A form is its window: the window part of the form's image shows the form's bounds, and the
// form's window handle is the form's image. The image shows the default button, help and menu IDs
// the form was made with.
TEST_F(RunTimeFormTest, AFormsWindowIsTheFormItself) {
    ASSERT_EQ(
        Run(" move.w #7,-(%sp)\n move.w #6,-(%sp)\n move.w #5,-(%sp)\n clr.w -(%sp)\n move.w #80,-(%sp)\n"
            " move.w #100,-(%sp)\n move.w #20,-(%sp)\n move.w #10,-(%sp)\n clr.l -(%sp)\n"
            " move.w #3300,-(%sp)\n trap #15\n .short 0xA32B\n lea 22(%sp),%sp\n move.l %a0,%d3\n"
            " move.l %a0,-(%sp)\n trap #15\n .short 0xA17C\n addq.l #4,%sp\n move.l %a0,%d4\n"
            " move.l %d3,-(%sp)\n trap #15\n .short 0xA170\n addq.l #4,%sp\n rts"),
        0);
    ASSERT_NE(ctx_.state.D[3], 0u);
    EXPECT_EQ(ctx_.state.D[4], ctx_.state.D[3]);
    const auto* image = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(ctx_.state.D[3]));
    EXPECT_EQ(std::vector<uint16_t>({vantor::ReadBE16(image + 10), vantor::ReadBE16(image + 12),
                                     vantor::ReadBE16(image + 14), vantor::ReadBE16(image + 16)}),
              std::vector<uint16_t>({10, 20, 100, 80}));
    EXPECT_EQ(vantor::ReadBE16(image + kFormImageDefaultButton), 5);
    EXPECT_EQ(vantor::ReadBE16(image + kFormImageHelp), 6);
    EXPECT_EQ(vantor::ReadBE16(image + kFormImageMenu), 7);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// The active form saved into a 68K record comes back when the record is restored, after another
// form was made active.
TEST_F(RunTimeFormTest, TheActiveFormStateComesBackFromItsRecord) {
    auto newForm = [](int id, const char* result) {
        return " clr.w -(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n move.w #160,-(%sp)\n"
               " move.w #160,-(%sp)\n clr.w -(%sp)\n clr.w -(%sp)\n clr.l -(%sp)\n move.w #" +
               std::to_string(id) + ",-(%sp)\n trap #15\n .short 0xA32B\n lea 22(%sp),%sp\n move.l %a0," +
               result + "\n move.l %a0,-(%sp)\n trap #15\n .short 0xA174\n addq.l #4,%sp\n";
    };
    auto activeState = [](int save) {
        return " move.w #" + std::to_string(save << 8) +
               ",-(%sp)\n pea data(%pc)\n trap #15\n .short 0xA33B\n addq.l #6,%sp\n";
    };
    ASSERT_EQ(Run(newForm(3000, "%d3") + activeState(1) + " move.w %d0,%d6\n" + newForm(3001, "%d4") +
                  activeState(0) + " move.w %d0,%d7\n trap #15\n .short 0xA173\n move.l %a0,%d5\n rts"),
              0);
    ASSERT_NE(ctx_.state.D[3], 0u);
    ASSERT_NE(ctx_.state.D[4], ctx_.state.D[3]);
    EXPECT_EQ(ctx_.state.D[6] & 0xFFFF, 0u);
    EXPECT_EQ(ctx_.state.D[7] & 0xFFFF, 0u);
    EXPECT_EQ(ctx_.state.D[5], ctx_.state.D[3]);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// Removal answers the UI library's error; a success that moved the form or names an index the
// shadow does not hold is reported, and the shadow keeps its objects for an index it does not hold.
TEST_F(FormGlueTest, RemovalThatTheShadowCannotFollowIsReported) {
    struct Case {
        uint16_t index, error;
        bool moves;
        const char* report;  // null: none
        uint32_t countAfter;
    };
    const Case cases[] = {
        {1, 0x0505, false, nullptr, 3},
        {1, 0, false, nullptr, 2},
        {5, 0, false, "Index out of range", 3},
        {1, 0, true, "Form shouldn't move", 2},
    };
    static uint8_t moved[64];
    vantor::os::OnCall(Library::Ui, 154, [](const SlotCall&) { return 0u; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        SCOPED_TRACE(c.error);
        vantor::os::OnCall(Library::Ui, ui::UiEntry171, [&c](const SlotCall& call) {
            if (c.moves) *reinterpret_cast<uint32_t*>(call.args[0]) = Addr(moved);
            return uint32_t{c.error};
        });
        const size_t before = Reports().size();
        ASSERT_EQ(Run(" move.w #1000,-(%sp)\n trap #15\n .short 0xA16F\n addq.l #2,%sp\n move.l %a0,%d3\n"
                      " lea data(%pc),%a2\n move.l %a0,(%a2)\n" +
                      FrmRemoveObjectAsm("data(%pc)", c.index, "%d4") + " rts"),
                  0);
        FormShadow* shadow = FormShadowFind68K(&ctx_.state, D(3));
        ASSERT_NE(shadow, nullptr);
        EXPECT_EQ(D(4) & 0xFFFF, c.error);
        EXPECT_EQ(shadow->objectCount, c.countAfter);
        const auto reports = Reports();
        if (c.report) {
            ASSERT_EQ(reports.size(), before + 1);
            EXPECT_NE(reports.back().find(c.report), std::string::npos) << reports.back();
        } else {
            EXPECT_EQ(reports.size(), before);
        }
    }
}

}  // namespace
}  // namespace morvel::test
