// Field and table traps from 68K code against scripted UI-library slots: the objects' 68K images,
// the usable bit kept in step, out-values, the per-column procedures of tables and the trampolines
// through which the UI library runs them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/UiSlots.h"
#include "morvel/traps/EventGlue.h"
#include "morvel/traps/FieldGlue.h"
#include "morvel/traps/FormGlue.h"
#include "morvel/traps/TableGlue.h"

namespace morvel::test {
namespace {

using vantor::os::Library;
using vantor::os::SlotCall;
namespace ui = vantor::uislot;

// A form whose objects are a field (index 0) and a table of two columns and three rows (index 1).
class TableFieldGlueTest : public TrapGlueTest {
  protected:
    void SetUp() override {
        TrapGlueTest::SetUp();
        using vantor::os::OnCall;
        OnCall(Library::Ui, ui::FrmInitForm, [this](const SlotCall&) { return Addr(form_); });
        OnCall(Library::Ui, ui::FrmGetNumberOfObjects, [](const SlotCall&) { return 2u; });
        OnCall(Library::Ui, ui::FrmGetFormId, [](const SlotCall&) { return 1000u; });
        OnCall(Library::Ui, 154, [this](const SlotCall& c) { return Addr(c.args[1] & 1 ? table_ : field_); });
        OnCall(Library::Ui, ui::FrmGetObjectType,
               [](const SlotCall& c) { return (c.args[1] & 1) ? 3u : 0u; });
        OnCall(Library::Ui, ui::FrmGetObjectId, [](const SlotCall& c) { return 500 + (c.args[1] & 0xFFFF); });
        OnCall(Library::Ui, ui::FldGetBounds, [](const SlotCall& c) {
            const int16_t r[4] = {10, 20, 100, 12};
            return std::memcpy(reinterpret_cast<void*>(c.args[1]), r, 8), 0u;
        });
        OnCall(Library::Ui, ui::FldGetAttributes, [this](const SlotCall& c) {
            return std::memcpy(reinterpret_cast<void*>(c.args[1]), &fieldAttributes_, 2), 0u;
        });
        OnCall(Library::Ui, ui::FldGetTextLength, [](const SlotCall&) { return 5u; });
        OnCall(Library::Ui, ui::FldSetUsable,
               [this](const SlotCall& c) { return usable_.push_back(c.args[1] & 0xFF), 0u; });
        OnCall(Library::Ui, ui::FldGetSelection, [](const SlotCall& c) {
            const uint16_t start = 3, end = 7;
            if (c.args[1]) std::memcpy(reinterpret_cast<void*>(c.args[1]), &start, 2);
            if (c.args[2]) std::memcpy(reinterpret_cast<void*>(c.args[2]), &end, 2);
            return 0u;
        });
        OnCall(Library::Ui, ui::TblGetNumberOfColumns, [](const SlotCall&) { return 2u; });
        OnCall(Library::Ui, ui::TblGetNumberOfRows, [](const SlotCall&) { return 3u; });
        OnCall(Library::Ui, ui::TblGetTopRow, [](const SlotCall&) { return 1u; });
        OnCall(Library::Ui, ui::TblGetBounds, [](const SlotCall& c) {
            const int16_t r[4] = {0, 40, 150, 60};
            return std::memcpy(reinterpret_cast<void*>(c.args[1]), r, 8), 0u;
        });
        OnCall(Library::Ui, ui::TblSetBounds, [](const SlotCall&) { return 0u; });
        for (uint16_t slot :
             {ui::TblSetCustomDrawProcedure, ui::TblSetLoadDataProcedure, ui::TblSetSaveDataProcedure})
            OnCall(Library::Ui, slot, [this](const SlotCall& c) { return procedures_.push_back(c), 0u; });
        OnCall(Library::Ui, ui::FrmDrawForm, [](const SlotCall&) { return 0u; });
        OnCall(Library::Ui, ui::FrmGetActiveForm, [this](const SlotCall&) { return Addr(form_); });
    }
    void TearDown() override {
        FormShadowFreeAll(&ctx_.state);
        TrapGlueTest::TearDown();
    }
    uint32_t D(int n) const { return ctx_.state.D[n]; }
    // 68K code that makes the form (D3), its field's image (D4) and its table's image (D5).
    static std::string Objects() {
        return " move.w #1000,-(%sp)\n trap #15\n .short 0xA16F\n addq.l #2,%sp\n move.l %a0,%d3\n"
               " clr.w -(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA183\n addq.l #6,%sp\n move.l "
               "%a0,%d4\n"
               " move.w #1,-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short 0xA183\n addq.l #6,%sp\n move.l "
               "%a0,%d5\n";
    }
    uint8_t form_[64] = {}, field_[64] = {}, table_[64] = {};
    uint16_t fieldAttributes_ = 0x010F;  // usable, visible, editable, single line, grey underline
    std::vector<uint32_t> usable_;
    std::vector<SlotCall> procedures_;
};

TEST_F(TableFieldGlueTest, FieldImagesKeepTheirUsableBitInStepAndOutValuesSkipNullPointers) {
    ASSERT_EQ(Run(Objects() +
                  // FldGetAttributes (field, out), FldSetUsable (field, false), FrmDrawForm (form),
                  // FldGetSelection (field, null, out)
                  " pea data(%pc)\n move.l %d4,-(%sp)\n trap #15\n .short 0xA14F\n addq.l #8,%sp\n"
                  " clr.w -(%sp)\n move.l %d4,-(%sp)\n trap #15\n .short 0xA15C\n addq.l #6,%sp\n"
                  " move.l %d3,-(%sp)\n trap #15\n .short 0xA171\n addq.l #4,%sp\n"
                  " pea data+2(%pc)\n clr.l -(%sp)\n move.l %d4,-(%sp)\n trap #15\n .short 0xA13A\n"
                  " lea 12(%sp),%sp\n rts\n"),
              0);
    const auto* image = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(D(4)));
    EXPECT_EQ(vantor::ReadBE16(image), 500);
    EXPECT_EQ(vantor::ReadBE16(image + kFieldImageBounds + 4), 100);
    EXPECT_EQ(vantor::ReadBE16(image + kFieldImageTextLength), 5);
    EXPECT_EQ(vantor::ReadBE16(Data()), 0xF040);  // the native word back in 68K bit order
    EXPECT_EQ(vantor::ReadBE16(Data() + 2), 7);
    // Made unusable, the image says so, and drawing the form keeps the field unusable.
    EXPECT_EQ(vantor::ReadBE16(image + kFieldImageAttributes) & 0x8000, 0);
    EXPECT_EQ(usable_, (std::vector<uint32_t>{0, 0}));
    EXPECT_TRUE(Reports().empty());

    // A pointer that is no field's image is a fatal report, not a silent zero.
    ASSERT_EQ(Run(" pea data(%pc)\n trap #15\n .short 0xA139\n addq.l #4,%sp\n rts\n"), 0);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_NE(Reports()[0].find("Form object (field) not found"), std::string::npos);
}

// Events that name a field or a table reach 68K code with the objects' images, and come back with
// the native objects.
TEST_F(TableFieldGlueTest, EventsNamingFieldsAndTablesCarryTheirImages) {
    vantor::os::OnCall(Library::Ui, ui::FrmGetObjectIndex,
                       [](const SlotCall& c) { return (c.args[1] & 0xFFFF) - 500; });
    ASSERT_EQ(Run(Objects() + " move.l %d3,-(%sp)\n trap #15\n .short 0xA174\n addq.l #4,%sp\n rts\n"), 0);
    uint8_t record[kEventRecord68KSize];
    vantor::SysEventType event{};
    event.eType = 17;  // field changed: the field's native pointer at byte 12
    const uint32_t field = Addr(field_);
    std::memcpy(reinterpret_cast<uint8_t*>(&event) + 12, &field, 4);
    EventTo68K(&ctx_.state, &event, Addr(record));
    EXPECT_EQ(vantor::ReadBE32(record + 10), D(4));
    vantor::SysEventType back{};
    EventToARM(&ctx_.state, &back, Addr(record));
    EXPECT_EQ(std::memcmp(reinterpret_cast<uint8_t*>(&back) + 12, &field, 4), 0);

    event = {};
    event.eType = 19;  // table select: the table's ID, row and column
    const uint16_t words[] = {501, 0, 0, 0, 2, 1};
    std::memcpy(event.data, words, sizeof words);
    EventTo68K(&ctx_.state, &event, Addr(record));
    EXPECT_EQ(vantor::ReadBE32(record + 10), D(5));
    EXPECT_EQ(vantor::ReadBE16(record + 14), 2);
    EXPECT_EQ(vantor::ReadBE16(record + 16), 1);
    EXPECT_TRUE(Reports().empty());
}

// Hiding, showing and moving objects keep the images 68K code was given in step.
TEST_F(TableFieldGlueTest, HidingShowingAndMovingObjectsFollowInTheirImages) {
    auto call = [](const char* trap, int index, const std::string& more = "", int bytes = 6) {
        return more + " move.w #" + std::to_string(index) +
               ",-(%sp)\n move.l %d3,-(%sp)\n trap #15\n .short " + trap + "\n lea " + std::to_string(bytes) +
               "(%sp),%sp\n";
    };
    ASSERT_EQ(Run(Objects() + call("0xA184", 0) +
                  " move.l %d4,%a0\n lea data(%pc),%a1\n move.w 10(%a0),(%a1)\n" +   // hide the field
                  call("0xA185", 0) +                                                // show it
                  call("0xA187", 1, " move.w #8,-(%sp)\n move.w #7,-(%sp)\n", 10) +  // move the table
                  " rts\n"),
              0);
    const auto* field = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(D(4)));
    const auto* table = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(D(5)));
    EXPECT_EQ(vantor::ReadBE16(Data()) & 0x8000, 0);                     // hidden
    EXPECT_EQ(vantor::ReadBE16(field + kFieldImageAttributes), 0x8000);  // shown again
    EXPECT_EQ(vantor::ReadBE16(table + kTableImageBounds), 7);
    EXPECT_EQ(vantor::ReadBE16(table + kTableImageBounds + 2), 8);
    EXPECT_EQ(vantor::ReadBE16(table + kTableImageBounds + 4), 150);  // the size stays
    EXPECT_TRUE(Reports().empty());
}

// The draw procedure stores (table, row, column, bounds' left and top) at data; the load procedure
// leaves its out-buffers untouched and answers 0x55.
constexpr const char* kProcedures =
    "draw: lea data(%pc),%a1\n move.l 4(%sp),(%a1)+\n move.w 8(%sp),(%a1)+\n move.w 10(%sp),(%a1)+\n"
    " move.l 12(%sp),%a0\n move.l (%a0),(%a1)\n rts\n"
    "load: moveq #0x55,%d0\n rts\n";

// A custom phone lookup hands the UI library its parameters in native order and takes back what
// the lookup wrote: the 12-character lookup string, the four field bytes and the words around them.
TEST_F(TableFieldGlueTest, PhoneLookupParametersGoBothWays) {
    struct Native {
        uint32_t title, paste;
        char lookup[12];
        uint8_t fields[4];
        uint32_t format, result, unique;
    };
    Native seen{};
    uint32_t flag = 0, field = 0;
    vantor::os::OnCall(Library::Ui, ui::PhoneNumberLookupCustom, [&](const SlotCall& c) {
        auto* p = reinterpret_cast<Native*>(c.args[1]);
        seen = *p;
        field = c.args[0];
        flag = c.args[2] & 0xFF;
        std::memcpy(p->lookup, "555-0100", 9);
        p->result = 0xABCD1234;
        p->fields[3] = 0;
        return 0u;
    });
    // The record at data: title 0x11111111, paste text 0x22222222, "Smithsonian!" (12 characters,
    // no end), fields 1 2 3 4, format 0x33333333, result 0, unique ID 0x44444444.
    ASSERT_EQ(Run(Objects() +
                  " lea data(%pc),%a0\n move.l #0x11111111,(%a0)+\n move.l #0x22222222,(%a0)+\n"
                  " move.l #0x536D6974,(%a0)+\n move.l #0x68736F6E,(%a0)+\n move.l #0x69616E21,(%a0)+\n"
                  " move.l #0x01020304,(%a0)+\n move.l #0x33333333,(%a0)+\n clr.l (%a0)+\n"
                  " move.l #0x44444444,(%a0)+\n"
                  " move.w #0x0100,-(%sp)\n pea data(%pc)\n move.l %d4,-(%sp)\n trap #15\n .short 0xA413\n"
                  " lea 10(%sp),%sp\n rts\n"),
              0);
    EXPECT_EQ(field, Addr(field_));
    EXPECT_EQ(flag, 1u);
    EXPECT_EQ(seen.title, 0x11111111u);
    EXPECT_EQ(seen.paste, 0x22222222u);
    EXPECT_EQ(std::string(seen.lookup, 12), "Smithsonian!");
    EXPECT_EQ(std::vector<uint8_t>(seen.fields, seen.fields + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(seen.format, 0x33333333u);
    EXPECT_EQ(seen.unique, 0x44444444u);
    const uint8_t* d = Data();
    EXPECT_STREQ(reinterpret_cast<const char*>(d + 8), "555-0100");
    EXPECT_EQ(std::vector<uint8_t>(d + 20, d + 24), (std::vector<uint8_t>{1, 2, 3, 0}));
    EXPECT_EQ(vantor::ReadBE32(d + 28), 0xABCD1234u);
    EXPECT_EQ(vantor::ReadBE32(d + 32), 0x44444444u);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

TEST_F(TableFieldGlueTest, TableProceduresArePerColumnAndRunThroughTheTrampolines) {
    auto set = [](const char* trap, int column, const char* procedure) {
        return std::string(" pea ") + procedure + "\n move.w #" + std::to_string(column) +
               ",-(%sp)\n move.l %d5,-(%sp)\n trap #15\n .short " + trap + "\n lea 10(%sp),%sp\n";
    };
    ASSERT_EQ(Run(Objects() + set("0xA1D5", 1, "draw(%pc)") + set("0xA1D5", 2, "draw(%pc)") +
                  set("0xA1D8", 0, "load(%pc)") + set("0xA1D9", 0, "0") + " rts\n" + kProcedures),
              0);
    const auto* image = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(D(5)));
    EXPECT_EQ(vantor::ReadBE16(image), 501);
    EXPECT_EQ(vantor::ReadBE16(image + kTableImageBounds + 2), 40);
    EXPECT_EQ(vantor::ReadBE16(image + kTableImageColumns), 2);
    EXPECT_EQ(vantor::ReadBE16(image + kTableImageRows), 3);
    EXPECT_EQ(vantor::ReadBE16(image + kTableImageTopRow), 1);
    // Column 2 is beyond the table's columns: no slot, no callback. A null procedure clears one.
    ASSERT_EQ(procedures_.size(), 3u);
    EXPECT_EQ(procedures_[0].args[1] & 0xFFFF, 1u);
    EXPECT_EQ(procedures_[0].args[2], Addr(reinterpret_cast<void*>(&TableDrawTrampoline)));
    EXPECT_EQ(procedures_[1].args[2], Addr(reinterpret_cast<void*>(&TableLoadTrampoline)));
    EXPECT_EQ(procedures_[2].args[2], 0u);

    const NativeRect bounds{{12, 34}, {56, 11}};
    TableDrawTrampoline(table_, 2, 1, &bounds);
    EXPECT_EQ(vantor::ReadBE32(Data()), D(5));
    EXPECT_EQ(vantor::ReadBE16(Data() + 4), 2);
    EXPECT_EQ(vantor::ReadBE16(Data() + 6), 1);
    EXPECT_EQ(vantor::ReadBE16(Data() + 8), 12);
    EXPECT_EQ(vantor::ReadBE16(Data() + 10), 34);
    std::memset(Data(), 0, 12);
    TableDrawTrampoline(table_, 2, 0, &bounds);  // a column without a procedure: no call
    EXPECT_EQ(vantor::ReadBE32(Data()), 0u);

    void* handle = reinterpret_cast<void*>(1);
    int16_t offset = 9, size = 9;
    EXPECT_EQ(TableLoadTrampoline(table_, 0, 0, 1, &handle, &offset, &size, nullptr), 0x55);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(TableSaveTrampoline(table_, 0, 0), 0);  // no save procedure
    EXPECT_TRUE(Reports().empty());
}

}  // namespace
}  // namespace morvel::test
