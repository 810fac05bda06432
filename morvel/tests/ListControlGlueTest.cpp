// List, category and control traps from 68K code against the stand-in OS's UI library slots: the
// 68K images of lists and controls in a form, item arrays handed over in native order, the list
// lent to an application's own list records, and the trampoline that runs a 68K list-draw callback.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/NativeUi.h"
#include "common/module/UiSlots.h"
#include "morvel/traps/FormGlue.h"
#include "morvel/traps/ListGlue.h"
#include "morvel/traps/WindowGlue.h"

namespace morvel::test {
namespace {

using vantor::NativeControl;
using vantor::NativeList;
using vantor::os::Library;
using vantor::os::SlotCall;
namespace ui = vantor::uislot;

std::string Hex(uint32_t v) { return "0x" + [&] { char b[16]; std::snprintf(b, sizeof b, "%X", v); return std::string(b); }(); }

// A form of three objects: a list, a text button and a graphic button.
class ListControlGlueTest : public TrapGlueTest {
  protected:
    void SetUp() override {
        TrapGlueTest::SetUp();
        // Memory the application owns: item arrays and its own list records live here.
        heap_.assign(256, 0);
        ctx_.state.regions[0] = {Addr(heap_.data()), static_cast<uint32_t>(heap_.size())};
        list_ = NativeList{};
        list_.id = 2000;
        list_.attr = vantor::kListUsable;
        list_.bounds = {10, 20, 60, 44};
        list_.currentItem = -1;
        list_.font = 1;
        button_ = NativeControl{};
        button_.id = 3000;
        button_.bounds = {5, 140, 40, 12};
        button_.text = const_cast<char*>("OK");
        button_.attr = vantor::kControlUsable;
        button_.font = 1;
        graphic_ = button_;
        graphic_.id = 3001;
        graphic_.graphic = {7, 8};
        graphic_.attr = vantor::kControlUsable | vantor::kControlGraphic;
        const uint32_t form = Addr(form_);
        vantor::os::OnCall(Library::Ui, ui::FrmInitForm, [form](const SlotCall&) { return form; });
        vantor::os::OnCall(Library::Ui, ui::FrmGetNumberOfObjects, [](const SlotCall&) { return 3u; });
        vantor::os::OnCall(Library::Ui, ui::FrmGetFormId, [](const SlotCall&) { return 1000u; });
        vantor::os::OnCall(Library::Ui, 154, [this](const SlotCall& c) { return Object(c.args[1] & 0xFFFF); });
        vantor::os::OnCall(Library::Ui, ui::FrmGetObjectType,
                           [](const SlotCall& c) { return (c.args[1] & 0xFFFF) == 0 ? 2u : 1u; });
        vantor::os::OnCall(Library::Ui, ui::FrmGetObjectId,
                           [this](const SlotCall& c) { return uint32_t{*Ptr<uint16_t>(Object(c.args[1] & 0xFFFF))}; });
        // The UI library's list calls, as far as these tests need them.
        vantor::os::OnCall(Library::Ui, 230, [this](const SlotCall& c) {  // LstSetListChoices
            choices_.push_back(c);
            auto* l = Ptr<NativeList>(c.args[0]);
            l->itemsText = Ptr<char*>(c.args[1]);
            l->numItems = static_cast<int16_t>(c.args[2]);
            return 0u;
        });
        vantor::os::OnCall(Library::Ui, 232, [](const SlotCall& c) {  // LstSetSelection
            auto* l = Ptr<NativeList>(c.args[0]);
            l->currentItem = static_cast<int16_t>(c.args[1]);
            l->topItem = l->currentItem > 0 ? static_cast<int16_t>(l->currentItem - 1) : 0;
            return 0u;
        });
        vantor::os::OnCall(Library::Ui, 219, [](const SlotCall& c) {  // LstGetSelection
            return static_cast<uint32_t>(static_cast<uint16_t>(Ptr<NativeList>(c.args[0])->currentItem));
        });
    }
    void TearDown() override {
        FormShadowFreeAll(&ctx_.state);
        ListGlueFree(&ctx_.state);
        TrapGlueTest::TearDown();
    }
    uint32_t Object(uint32_t index) {
        return index == 0 ? Addr(&list_) : index == 1 ? Addr(&button_) : Addr(&graphic_);
    }
    template <typename T = uint8_t>
    static T* Ptr(uint32_t p) {
        return reinterpret_cast<T*>(static_cast<uintptr_t>(p));
    }
    uint32_t D(int n) const { return ctx_.state.D[n]; }
    uint32_t HeapAt(uint32_t offset) { return Addr(heap_.data()) + offset; }
    // 68K source: the form in D3, object `index`'s image into `reg`.
    static std::string FormAndObject(int index, const char* reg) {
        return " move.w #1000,-(%sp)\n trap #15\n .short 0xA16F\n addq.l #2,%sp\n move.l %a0,%d3\n"
               " move.w #" + std::to_string(index) + ",-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA183\n"
               " addq.l #6,%sp\n move.l %a0," + reg + "\n";
    }
    // Items of the application: a 68K array of pointers to its strings.
    void PutItems(uint32_t at, const std::vector<const char*>& items) {
        for (size_t i = 0; i < items.size(); ++i) vantor::WriteBE32(heap_.data() + at + 4 * i, Addr(items[i]));
    }

    uint8_t form_[64] = {};
    NativeList list_{};
    NativeControl button_{}, graphic_{};
    std::vector<uint8_t> heap_;
    std::vector<SlotCall> choices_;
};

TEST_F(ListControlGlueTest, AFormListShowsItsStateAndTakesItemsInNativeOrder) {
    static const char* const kItems[] = {"Red", "Green", "Blue"};
    PutItems(0, {kItems[0], kItems[1], kItems[2]});
    ASSERT_EQ(Run(FormAndObject(0, "%d4") +
                  " move.w #3,-(%sp)\n move.l #" + Hex(HeapAt(0)) + ",-(%sp)\n move.l %d4,-(%sp)\n"
                  " trap #15\n .short 0xA1B8\n lea 10(%sp),%sp\n"
                  " move.w #2,-(%sp)\n move.l %d4,-(%sp)\n trap #15\n .short 0xA1B7\n addq.l #6,%sp\n"
                  " move.l %d4,-(%sp)\n trap #15\n .short 0xA1B3\n addq.l #4,%sp\n move.l %d0,%d5\n rts"),
              0);
    const uint8_t* image = Ptr(D(4));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(vantor::ReadBE16(image), 2000);
    EXPECT_EQ(vantor::ReadBE16(image + 2), 10);
    EXPECT_EQ(vantor::ReadBE16(image + 8), 44);
    EXPECT_EQ(vantor::ReadBE16(image + 10), 0x8000);  // usable
    EXPECT_EQ(image[22], 1);                            // font
    EXPECT_EQ(vantor::ReadBE32(image + 12), HeapAt(0));  // the application's own array
    EXPECT_EQ(vantor::ReadBE16(image + 16), 3);
    EXPECT_EQ(vantor::ReadBE16(image + 18), 2);  // current item, back from the native list
    EXPECT_EQ(vantor::ReadBE16(image + 20), 1);  // top item
    EXPECT_EQ(D(5) & 0xFFFF, 2u);
    ASSERT_EQ(choices_.size(), 1u);
    EXPECT_EQ(choices_[0].args[0], Addr(&list_));
    ASSERT_NE(list_.itemsText, nullptr);
    EXPECT_NE(Addr(list_.itemsText), HeapAt(0));  // a native copy
    for (int i = 0; i < 3; ++i) EXPECT_STREQ(list_.itemsText[i], kItems[i]);

    // What 68K code writes into the image reaches the native list when the form is drawn.
    std::vector<uint32_t> drawn;
    vantor::os::OnCall(Library::Ui, ui::FrmDrawForm, [&](const SlotCall& c) { return drawn.push_back(c.args[0]), 0u; });
    vantor::os::OnCall(Library::Ui, 57, [](const SlotCall&) { return 0u; });  // CtlSetUsable of the buttons
    ASSERT_EQ(Run(" move.l #" + Hex(D(4)) + ",%a0\n move.w #33,2(%a0)\n move.w #0x8400,10(%a0)\n"
                  " move.l #" + Hex(D(3)) + ",-(%sp)\n trap #15\n .short 0xA171\n addq.l #4,%sp\n rts"),
              0);
    EXPECT_EQ(drawn, std::vector<uint32_t>{Addr(form_)});
    EXPECT_EQ(list_.bounds.x, 33);
    EXPECT_EQ(list_.attr & (vantor::kListUsable | vantor::kListSearch), vantor::kListUsable | vantor::kListSearch);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(ListControlGlueTest, AnItemArrayThatIsNotWholeInTheApplicationsMemoryInstallsNoItems) {
    struct Case {
        const char* what;
        uint32_t array;
        int16_t count;
    };
    const Case cases[] = {
        {"odd address", HeapAt(1), 2},
        {"beyond its memory", HeapAt(248), 3},  // 8 bytes left, 12 needed
        {"null", 0, 2},
        {"negative count", HeapAt(0), -1},
    };
    for (const Case& c : cases) {
        choices_.clear();
        ASSERT_EQ(Run(FormAndObject(0, "%d4") + " move.w #" + std::to_string(static_cast<uint16_t>(c.count)) +
                      ",-(%sp)\n move.l #" + Hex(c.array) + ",-(%sp)\n move.l %d4,-(%sp)\n"
                      " trap #15\n .short 0xA1B8\n lea 10(%sp),%sp\n rts"),
                  0)
            << c.what;
        ASSERT_EQ(choices_.size(), 1u) << c.what;
        EXPECT_EQ(choices_[0].args[1], 0u) << c.what;
        EXPECT_EQ(choices_[0].args[2] & 0xFFFF, 0u) << c.what;
        EXPECT_EQ(vantor::ReadBE16(Ptr(D(4)) + 16), 0) << c.what;
    }
    EXPECT_TRUE(Reports().empty());
}

// The callback records D3, its item number, the bounds it is given and the item array at data+0.
constexpr const char* kDrawCallback =
    "draw: lea data(%pc),%a1\n move.l %d3,(%a1)+\n move.w 4(%sp),(%a1)+\n move.l 6(%sp),%a0\n"
    " move.l (%a0)+,(%a1)+\n move.l (%a0),(%a1)+\n move.l 10(%sp),(%a1)\n rts\n";

TEST_F(ListControlGlueTest, ListsOfTheApplicationShareTheLentListAndRunTheir68KDrawCallback) {
    static const char* const kItems[] = {"One", "Two"};
    PutItems(0, {kItems[0], kItems[1]});
    // Two list records of the application's own, IDs 41 and 42.
    vantor::WriteBE16(heap_.data() + 64, 41);
    vantor::WriteBE16(heap_.data() + 128, 42);
    std::vector<uint32_t> drawFunctions;
    vantor::os::OnCall(Library::Ui, 228, [&](const SlotCall& c) {  // LstSetDrawFunction
        drawFunctions.push_back(c.args[1]);
        Ptr<NativeList>(c.args[0])->drawItemsCallback = reinterpret_cast<vantor::NativeListDrawFunc>(c.args[1]);
        return 0u;
    });
    std::vector<uint16_t> ids;
    vantor::os::OnCall(Library::Ui, 230, [&](const SlotCall& c) {
        choices_.push_back(c);
        auto* l = Ptr<NativeList>(c.args[0]);
        ids.push_back(l->id);
        l->itemsText = Ptr<char*>(c.args[1]);
        l->numItems = static_cast<int16_t>(c.args[2]);
        return 0u;
    });
    auto setChoices = [&](uint32_t list) {
        return " move.w #2,-(%sp)\n move.l #" + Hex(HeapAt(0)) + ",-(%sp)\n move.l #" + Hex(list) +
               ",-(%sp)\n trap #15\n .short 0xA1B8\n lea 10(%sp),%sp\n";
    };
    ASSERT_EQ(Run(setChoices(HeapAt(64)) + setChoices(HeapAt(128)) + " pea draw(%pc)\n move.l #" + Hex(HeapAt(128)) +
                  ",-(%sp)\n trap #15\n .short 0xA1B0\n addq.l #8,%sp\n rts\n" + kDrawCallback),
              0);
    ASSERT_EQ(choices_.size(), 2u);
    EXPECT_EQ(choices_[0].args[0], choices_[1].args[0]);  // one native list lent to both
    EXPECT_EQ(ids, (std::vector<uint16_t>{41, 42}));
    EXPECT_NE(choices_[1].args[1], 0u);
    EXPECT_EQ(vantor::ReadBE16(heap_.data() + 128 + 16), 2);  // the application's record follows
    // The lent list takes the record's own draw callback again (none yet), then the trampoline.
    EXPECT_EQ(drawFunctions, (std::vector<uint32_t>{0, Addr(reinterpret_cast<void*>(&ListDrawTrampoline))}));
    EXPECT_NE(vantor::ReadBE32(heap_.data() + 128 + 28), 0u);

    // The UI library draws item 1: the 68K callback runs with D3 = 1, and D3 comes back after.
    auto* native = Ptr<NativeList>(choices_[1].args[0]);
    ctx_.state.D[3] = 0xCAFEF00D;
    vantor::NativeUiRect bounds{11, 22, 33, 44};
    ListDrawTrampoline(1, &bounds, native->itemsText, native);
    EXPECT_EQ(ctx_.state.D[3], 0xCAFEF00Du);
    EXPECT_EQ(vantor::ReadBE32(Data()), 1u);
    EXPECT_EQ(vantor::ReadBE16(Data() + 4), 1);
    EXPECT_EQ(vantor::ReadBE16(Data() + 6), 11);
    EXPECT_EQ(vantor::ReadBE16(Data() + 12), 44);
    EXPECT_EQ(vantor::ReadBE32(Data() + 14), HeapAt(0));  // the application's own item array
    EXPECT_TRUE(Reports().empty());
}

TEST_F(ListControlGlueTest, ControlImagesFollowTheirNativeControls) {
    vantor::os::OnCall(Library::Ui, 55, [](const SlotCall& c) {  // CtlSetLabel
        Ptr<NativeControl>(c.args[0])->text = Ptr<char>(c.args[1]);
        return 0u;
    });
    vantor::os::OnCall(Library::Ui, 44, [](const SlotCall& c) { return Addr(Ptr<NativeControl>(c.args[0])->text); });
    vantor::os::OnCall(Library::Ui, 48, [](const SlotCall&) { return 0u; });  // CtlHideControl
    vantor::os::OnCall(Library::Ui, 45, [](const SlotCall& c) {               // CtlGetSliderValues
        for (int i = 0; i < 4; ++i) *Ptr<uint16_t>(c.args[1 + i]) = static_cast<uint16_t>(10 + i);
        return 0u;
    });
    std::memset(heap_.data(), 0xAA, 16);
    const std::string hide = " move.l %d4,-(%sp)\n trap #15\n .short 0xA10F\n addq.l #4,%sp\n";
    ASSERT_EQ(Run(FormAndObject(1, "%d4") +
                  " move.w #2,-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA183\n addq.l #6,%sp\n"
                  " move.l %a0,%d5\n"
                  " pea label(%pc)\n move.l %d4,-(%sp)\n trap #15\n .short 0xA114\n addq.l #8,%sp\n" + hide +
                  " move.l #" + Hex(HeapAt(6)) + ",-(%sp)\n clr.l -(%sp)\n move.l #" + Hex(HeapAt(2)) +
                  ",-(%sp)\n clr.l -(%sp)\n move.l %d4,-(%sp)\n trap #15\n .short 0xA3DA\n lea 20(%sp),%sp\n"
                  " rts\nlabel: .asciz \"Done\"\n"),
              0);
    const uint8_t* text = Ptr(D(4));
    const uint8_t* graphic = Ptr(D(5));
    EXPECT_EQ(vantor::ReadBE16(text), 3000);
    EXPECT_EQ(vantor::ReadBE16(text + 2), 5);
    EXPECT_EQ(vantor::ReadBE16(text + 4), 140);
    // The label pointer follows CtlSetLabel; CtlHideControl cleared the usable bit.
    EXPECT_STREQ(Ptr<char>(vantor::ReadBE32(text + 10)), "Done");
    EXPECT_EQ(vantor::ReadBE16(text + 14), 0);
    EXPECT_EQ(text[17], 1);
    // A graphic control has no label pointer in its image.
    EXPECT_EQ(vantor::ReadBE16(graphic), 3001);
    EXPECT_EQ(vantor::ReadBE32(graphic + 10), 0xFEFEFEFEu);
    EXPECT_EQ(vantor::ReadBE16(graphic + 14), 0x8000);
    // Slider values go only where the out-pointers are not null.
    EXPECT_EQ(vantor::ReadBE16(heap_.data() + 2), 11);
    EXPECT_EQ(vantor::ReadBE16(heap_.data() + 6), 13);
    EXPECT_EQ(heap_[0], 0xAA);
    EXPECT_EQ(heap_[4], 0xAA);
    EXPECT_EQ(heap_[8], 0xAA);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(ListControlGlueTest, ACategoryListIsShownToTheApplicationAsA68KItemArray) {
    static char* names[] = {const_cast<char*>("All"), const_cast<char*>("Business"), const_cast<char*>("Personal")};
    std::vector<SlotCall> created, freed;
    vantor::os::OnCall(Library::Ui, 22, [&](const SlotCall& c) {  // CategoryCreateList
        created.push_back(c);
        auto* l = Ptr<NativeList>(c.args[1]);
        l->itemsText = names;
        l->numItems = 3;
        l->currentItem = 1;
        return 0u;
    });
    vantor::os::OnCall(Library::Ui, 28, [&](const SlotCall& c) { return freed.push_back(c), 0u; });
    vantor::os::OnCall(Library::Ui, 219, [](const SlotCall&) { return 1u; });
    ASSERT_EQ(Run(FormAndObject(0, "%d4") +
                  // CategoryCreateListV10(db, list, current 1, show-all 1)
                  " move.w #0x0100,-(%sp)\n move.w #1,-(%sp)\n move.l %d4,-(%sp)\n move.l #0xDB,-(%sp)\n"
                  " trap #15\n .short 0xA101\n lea 12(%sp),%sp\n"
                  " move.l %d4,%a0\n move.l 12(%a0),%a1\n move.l 4(%a1),%d5\n"
                  // CategoryFreeListV10(db, list)
                  " move.l %d4,-(%sp)\n move.l #0xDB,-(%sp)\n trap #15\n .short 0xA102\n addq.l #8,%sp\n rts"),
              0);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0].args[0], 0xDBu);
    EXPECT_EQ(created[0].args[1], Addr(&list_));
    EXPECT_EQ(created[0].args[6], 10000u);  // the V10 form's editing string
    EXPECT_STREQ(Ptr<char>(D(5)), "Business");  // 68K code read the second item of a big-endian array
    ASSERT_EQ(freed.size(), 1u);
    EXPECT_EQ(freed[0].args[2] & 0xFF, 1u);  // the show-all flag kept from the creation
    EXPECT_EQ(vantor::ReadBE32(Ptr(D(4)) + 12), 0u);
    EXPECT_TRUE(Reports().empty());
}

// AccessorDispatch hands each selector to the glue of the record it names: a list's font, a
// control's style, object IDs, the form's default button, a window's frame type and a raw bitmap's
// compression type.
TEST_F(ListControlGlueTest, AccessorDispatchReachesTheRecordOfEachSelector) {
    button_.style = 2;
    std::vector<uint8_t> raw(16 + 4, 0);  // version 2, 16 x 2, one bit deep, not compressed
    raw[1] = 16, raw[3] = 2, raw[5] = 2, raw[8] = 1, raw[9] = 2;
    std::memcpy(heap_.data() + 64, raw.data(), raw.size());
    struct Call {
        const char* what;
        uint16_t selector;
        std::string args;  // pushed before the call; popped by `bytes`
        int bytes;
        uint16_t want;  // D0's low word afterwards; 0xFFFF: not checked
    };
    const std::vector<Call> calls = {
        {"list font", 19, " move.l %d4,-(%sp)\n", 4, 1},
        {"set the list font", 20, " move.w #0x0300,-(%sp)\n move.l %d4,-(%sp)\n", 6, 0xFFFF},
        {"list font again", 19, " move.l %d4,-(%sp)\n", 4, 3},
        {"control style", 0, " move.l %d5,-(%sp)\n", 4, 2},
        {"list ID", 26, " move.l %d4,-(%sp)\n", 4, 2000},
        {"control ID", 26, " move.l %d5,-(%sp)\n", 4, 3000},
        {"set the default button", 12, " move.w #3000,-(%sp)\n move.l %d3,-(%sp)\n", 6, 0xFFFF},
        {"default button", 11, " move.l %d3,-(%sp)\n", 4, 3000},
        {"set the frame type", 25, " move.w #0x0100,-(%sp)\n move.l %d3,-(%sp)\n", 6, 0xFFFF},
        {"frame type", 24, " move.l %d3,-(%sp)\n", 4, 0x0100},
        {"compression type", 3, " move.l #" + Hex(HeapAt(64)) + ",-(%sp)\n", 4, 0xFF},
    };
    std::string src = FormAndObject(0, "%d4") +
                      " move.w #1,-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA183\n addq.l #6,%sp\n"
                      " move.l %a0,%d5\n lea data(%pc),%a2\n";
    for (const Call& c : calls)
        src += c.args + " moveq #0,%d0\n move.w #" + std::to_string(c.selector) +
               ",%d2\n trap #15\n .short 0xA3F4\n lea " +
               std::to_string(c.bytes) + "(%sp),%sp\n move.w %d0,(%a2)+\n";
    ASSERT_EQ(Run(src + " rts"), 0);
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].want != 0xFFFF) {
            EXPECT_EQ(vantor::ReadBE16(Data() + 2 * i), calls[i].want) << calls[i].what;
        }
    }
    EXPECT_EQ(list_.font, 3);
    EXPECT_EQ(reinterpret_cast<vantor::NativeWindow*>(form_)->frameType, FrameTypeToNative(0x0100));
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

}  // namespace
}  // namespace morvel::test
