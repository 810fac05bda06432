// The stand-in UI library's forms built from native form resources: their objects and queries,
// keys in fields, taps on buttons, labels, and tables with their items and draw callbacks. No Kez
// is loaded, so nothing is painted; the callbacks run all the same.
#include <cstring>
#include <string>
#include <vector>

#include "common/FourCC.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "standin/os/StandinTest.h"

namespace vantor::os {
namespace {

namespace ui = uislot;

template <typename Sig, typename... A>
auto Ui(uint16_t slot, A... args) {
    return reinterpret_cast<Sig*>(LibraryTable(Library::Ui)[slot])(args...);
}
template <typename Sig, typename... A>
auto Sys(uint16_t slot, A... args) {
    return reinterpret_cast<Sig*>(SystemTable()[slot])(args...);
}

// Native (little-endian) bytes as the resource translation writes them.
struct Le {
    std::vector<uint8_t> b;
    Le& At(size_t offset) { return b.resize(std::max(b.size(), offset), 0), *this; }
    Le& W(size_t offset, uint16_t v) {
        At(offset + 2);
        std::memcpy(&b[offset], &v, 2);
        return *this;
    }
    Le& L(size_t offset, uint32_t v) {
        At(offset + 4);
        std::memcpy(&b[offset], &v, 4);
        return *this;
    }
    Le& S(size_t offset, const char* text) {
        At(offset + std::strlen(text) + 1);
        std::memcpy(&b[offset], text, std::strlen(text));
        return *this;
    }
};

// A label "Name:" (1003), a field of at most 4 characters (1001), a button "OK" (1002) and a
// table (1004) of two columns and three rows.
std::vector<uint8_t> FormResource() {
    Le f;
    f.W(8, 0).W(10, 0).W(12, 160).W(14, 160).W(52, 1000).W(62, 4);
    const uint32_t label = 68 + 8 * 4, field = label + 24, button = field + 40, table = button + 24;
    const uint8_t kinds[] = {8, 0, 1, 3};
    const uint32_t offsets[] = {label, field, button, table};
    for (int i = 0; i < 4; ++i) f.L(68 + 8 * i, offsets[i]).At(68 + 8 * i + 5).b[68 + 8 * i + 4] = kinds[i];
    f.W(label, 8).W(label + 2, 30).W(label + 8, 1003).W(label + 10, 1).S(label + 16, "Name:").At(field);
    f.W(field, 44)
        .W(field + 2, 28)
        .W(field + 4, 100)
        .W(field + 6, 12)
        .W(field + 8, 1001)
        .W(field + 10, 0x0107);
    f.W(field + 28, 4).At(button);
    f.W(button, 1002)
        .W(button + 2, 0x0007)
        .W(button + 4, 60)
        .W(button + 6, 100)
        .W(button + 8, 40)
        .W(button + 10, 14);
    f.S(button + 20, "OK").At(table);
    f.W(table, 1004).W(table + 4, 8).W(table + 6, 50).W(table + 8, 144).W(table + 10, 36).W(table + 12, 2);
    f.W(table + 14, 3).W(table + 76, 60).W(table + 78, 4).W(table + 96, 40);
    const uint32_t rows = table + 76 + 40;
    for (int r = 0; r < 3; ++r)
        f.W(rows + 12 * r, static_cast<uint16_t>(r)).W(rows + 12 * r + 2, 11).W(rows + 12 * r + 8, 0x8080);
    f.At(rows + 36 + 8 * 6);
    return f.b;
}

class UiFormTest : public StandinTest {
  protected:
    void SetUp() override {
        StandinTest::SetUp();
        ASSERT_EQ(Sys<syssig::DmCreateDatabaseNamed>(sysslot::DmCreateDatabaseNamed, uint16_t{0}, "UI Test",
                                                     FourCC("test"), FourCC("rsrc"), uint8_t{1}),
                  0);
        const uint32_t id = Sys<syssig::DmFindDatabaseByNameCreatorType>(
            sysslot::DmFindDatabaseByNameCreatorType, "UI Test", FourCC("test"), FourCC("rsrc"));
        db_ = Sys<syssig::DmOpenDatabaseByID>(sysslot::DmOpenDatabaseByID, id, uint16_t{3});
        Add(1000, FormResource());
    }
    void TearDown() override {
        Ui<void()>(ui::FrmCloseAllForms);
        StandinTest::TearDown();
    }
    void Add(uint16_t id, const std::vector<uint8_t>& bytes, uint32_t type = FourCC("afrm")) {
        void* h = Sys<syssig::DmNewResource>(sysslot::DmNewResource, db_, type, id,
                                             static_cast<uint32_t>(bytes.size()));
        void* p = Sys<syssig::MemHandleLock>(sysslot::MemHandleLock, h);
        Sys<syssig::DmWrite>(sysslot::DmWrite, p, 0u, static_cast<const void*>(bytes.data()),
                             static_cast<uint32_t>(bytes.size()));
        Sys<syssig::MemHandleUnlock>(sysslot::MemHandleUnlock, h);
    }
    // The events queued so far, of one type.
    static std::vector<SysEventType> Queued(uint16_t type) {
        std::vector<SysEventType> found;
        for (SysEventType e{}; PendingEvents() > 0;) {
            Sys<syssig::EvtGetEvent>(sysslot::EvtGetEvent, &e, int32_t{0});
            if (e.eType == type) found.push_back(e);
        }
        return found;
    }
    static void Dispatch(uint16_t type, uint16_t character, int16_t x = 0, int16_t y = 0) {
        SysEventType e{};
        e.eType = type;
        e.screenX = x;
        e.screenY = y;
        std::memcpy(e.data, &character, 2);
        Ui<uint8_t(SysEventType*)>(ui::UiEntry132, &e);
    }
    uint32_t db_ = 0;
};

TEST_F(UiFormTest, AFormIsBuiltFromItsResourceAndAnswersForItsObjects) {
    void* form = Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1000});
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::FrmGetNumberOfObjects, form), 4);
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::FrmGetFormId, form), 1000);
    const struct {
        uint16_t id, index, kind;
    } objects[] = {{1003, 0, 8}, {1001, 1, 0}, {1002, 2, 1}, {1004, 3, 3}, {999, 0xFFFF, 0xFFFF}};
    for (const auto& o : objects) {
        EXPECT_EQ(Ui<uint16_t(void*, uint16_t)>(ui::FrmGetObjectIndex, form, o.id), o.index) << o.id;
        EXPECT_EQ(Ui<uint16_t(void*, uint16_t)>(ui::FrmGetObjectType, form, o.index), o.kind) << o.id;
    }
    EXPECT_STREQ(Ui<const char*(void*, uint16_t)>(ui::FrmGetLabel, form, uint16_t{1003}), "Name:");
    Ui<void(void*, uint16_t, const char*)>(ui::UiEntry127, form, uint16_t{1003}, "Your name:");
    EXPECT_STREQ(Ui<const char*(void*, uint16_t)>(ui::FrmGetLabel, form, uint16_t{1003}), "Your name:");
    EXPECT_EQ(Ui<void*(uint16_t)>(ui::FrmGetFormPtr, uint16_t{1000}), form);
    // A resource whose object list runs past its end is no form.
    std::vector<uint8_t> cut = FormResource();
    cut.resize(80);
    Add(1001, cut);
    EXPECT_EQ(Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1001}), nullptr);
    EXPECT_EQ(Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1002}), nullptr);  // no resource
}

// A form built at run time: a removal moves the later objects down an index and the focus with
// its object (none when the focused one goes); a bad index or a pointer to no form changes nothing.
TEST_F(UiFormTest, RemovingObjectsOfABuiltFormMovesTheFocusWithItsObject) {
    void* form =
        Ui<void*(uint16_t, const char*, int16_t, int16_t, int16_t, int16_t, uint8_t, uint16_t, uint16_t,
                 uint16_t)>(ui::UiEntry165, uint16_t{4000}, nullptr, int16_t{0}, int16_t{0}, int16_t{160},
                            int16_t{160}, uint8_t{0}, uint16_t{0}, uint16_t{0}, uint16_t{0});
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::FrmGetNumberOfObjects, form), 0);  // no title, no objects
    using NewField = void*(void**, uint16_t, int16_t, int16_t, int16_t, int16_t, uint8_t, uint32_t, uint8_t,
                           uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t);
    for (uint16_t id : {4001, 4002, 4003})
        ASSERT_NE(Ui<NewField>(ui::FldNewField, &form, id, int16_t(10), int16_t(id - 3990), int16_t{50},
                               int16_t{11}, uint8_t{0}, uint32_t{8}, uint8_t{1}, uint8_t{0}, uint8_t{1},
                               uint8_t{0}, uint8_t{0}, uint8_t{0}, uint8_t{0}, uint8_t{0}),
                  nullptr);
    auto remove = [&](void** formPP, uint16_t index) {
        return Ui<uint16_t(void**, uint16_t)>(ui::UiEntry171, formPP, index);
    };
    auto focus = [&] { return Ui<uint16_t(void*)>(ui::FrmGetFocus, form); };
    Ui<void(void*, uint16_t)>(ui::FrmSetFocus, form, uint16_t{2});
    EXPECT_EQ(remove(&form, 0), 0);
    EXPECT_EQ(focus(), 1);
    EXPECT_EQ(Ui<uint16_t(void*, uint16_t)>(ui::FrmGetObjectIndex, form, uint16_t{4003}), 1);
    EXPECT_NE(remove(&form, 2), 0);  // beyond the objects
    void* none = &form;
    EXPECT_NE(remove(&none, 0), 0);  // no form there
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::FrmGetNumberOfObjects, form), 2);
    EXPECT_EQ(remove(&form, 1), 0);
    EXPECT_EQ(focus(), 0xFFFF);
    // Keys go to the field that is left, typed into it as into a resource's field.
    Ui<void(void*)>(ui::FrmSetActiveForm, form);
    Dispatch(4, 'k');
    void* field = Ui<void*(void*, uint16_t)>(ui::UiEntry154, form, uint16_t{0});
    EXPECT_STREQ(Ui<const char*(void*)>(ui::FldGetTextPtr, field), "k");
    Ui<void(void*)>(ui::FrmDeleteForm, form);
}

TEST_F(UiFormTest, KeysEditTheFieldWithinItsMaximumAndATapOnTheButtonSelectsIt) {
    void* form = Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1000});
    Ui<void(void*)>(ui::FrmSetActiveForm, form);
    for (uint16_t c : {uint16_t{'a'}, uint16_t{'b'}, uint16_t{8}, uint16_t{'c'}, uint16_t{'x'}, uint16_t{'y'},
                       uint16_t{'z'}})
        Dispatch(4, c);
    void* field = Ui<void*(void*, uint16_t)>(ui::UiEntry154, form, uint16_t{1});
    EXPECT_STREQ(Ui<const char*(void*)>(ui::FldGetTextPtr, field), "acxy");
    EXPECT_EQ(Queued(17).size(), 5u);  // a field-changed event per character taken
    Dispatch(1, 0, 30, 105);           // beside the button
    Dispatch(1, 0, 70, 105);           // on it
    const std::vector<SysEventType> selected = Queued(9);
    ASSERT_EQ(selected.size(), 1u);
    uint16_t id;
    uint32_t control;
    std::memcpy(&id, selected[0].data, 2);
    std::memcpy(&control, selected[0].data + 4, 4);
    EXPECT_EQ(id, 1002);
    EXPECT_EQ(control, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(
                           Ui<void*(void*, uint16_t)>(ui::UiEntry154, form, uint16_t{2}))));
    // Pointers that are no field are none.
    uint8_t other[64] = {};
    EXPECT_EQ(Ui<const char*(void*)>(ui::FldGetTextPtr, static_cast<void*>(other)), nullptr);
}

// An alert answers its default button without waiting (the stand-in takes no taps on alerts); an
// alert without its resource, or whose texts run past it, answers 0.
TEST_F(UiFormTest, AlertsAnswerTheirDefaultButton) {
    Le alert;
    alert.W(0, 1).W(2, 0).W(4, 2).W(6, 1).S(8, "Title").S(14, "Hello ^1").S(23, "OK").S(26, "Cancel");
    Add(2000, alert.b, FourCC("aalt"));
    std::vector<uint8_t> open = alert.b;
    open.resize(12);
    Add(2001, open, FourCC("aalt"));
    EXPECT_EQ(Ui<uint16_t(uint16_t)>(ui::UiEntry125, uint16_t{2000}), 1);
    EXPECT_EQ(Ui<uint16_t(uint16_t, const char*, const char*, const char*)>(ui::UiEntry129, uint16_t{2000},
                                                                            "you", nullptr, nullptr),
              1);
    EXPECT_EQ(Ui<uint16_t(uint16_t)>(ui::UiEntry125, uint16_t{2001}), 1);  // its texts are cut: not drawn
    EXPECT_EQ(Ui<uint16_t(uint16_t)>(ui::UiEntry125, uint16_t{2002}), 0);
}

std::vector<int> gDrawn;
void DrawCell(void*, int16_t row, int16_t column, const void*) {
    gDrawn.push_back(row * 10 + column);
}

TEST_F(UiFormTest, TablesKeepTheirItemsAndDrawCustomItemsThroughTheirColumnsCallback) {
    void* form = Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1000});
    void* table = Ui<void*(void*, uint16_t)>(ui::UiEntry154, form, uint16_t{3});
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::TblGetNumberOfColumns, table), 2);
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::TblGetNumberOfRows, table), 3);
    Ui<void(void*, int16_t, int16_t, int16_t)>(ui::TblSetItemInt, table, int16_t{1}, int16_t{1}, int16_t{42});
    EXPECT_EQ(Ui<int16_t(void*, int16_t, int16_t)>(ui::TblGetItemInt, table, int16_t{1}, int16_t{1}), 42);
    EXPECT_EQ(Ui<int16_t(void*, int16_t, int16_t)>(ui::TblGetItemInt, table, int16_t{3}, int16_t{1}), 0);
    int16_t r[4] = {};
    Ui<void(void*, int16_t, int16_t, int16_t*)>(ui::TblGetItemBounds, table, int16_t{1}, int16_t{1}, r);
    EXPECT_EQ(r[0], 8 + 60 + 4);
    EXPECT_EQ(r[1], 50 + 11);
    EXPECT_EQ(r[2], 40);
    for (int16_t row = 0; row < 3; ++row)
        Ui<void(void*, int16_t, int16_t, uint8_t)>(ui::TblSetItemStyle, table, row, int16_t{0}, uint8_t{1});
    Ui<void(void*, int16_t, void*)>(ui::TblSetCustomDrawProcedure, table, int16_t{0},
                                    reinterpret_cast<void*>(&DrawCell));
    Ui<void(void*, int16_t, uint8_t)>(ui::TblSetRowUsable, table, int16_t{2}, uint8_t{0});
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::TblGetLastUsableRow, table), 1);
    gDrawn.clear();
    Ui<void(void*)>(ui::FrmDrawForm, form);
    EXPECT_EQ(gDrawn, (std::vector<int>{0, 10}));
}

}  // namespace
}  // namespace vantor::os
