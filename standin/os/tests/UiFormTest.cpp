// The stand-in UI library's forms built from native form resources: their objects and queries,
// keys in fields, taps on buttons, labels, tables with their items and draw callbacks, alerts and
// menu bars. No Kez is loaded, so nothing is painted; the callbacks run all the same.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/ResourceDb.h"
#include "common/module/NativeUi.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/StandinTest.h"

namespace vantor::os {
namespace {

namespace ui = uislot;

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

// Copy, cut and paste go through the clipboard within the field's maximum (4); a change notice is
// queued; texts wrap at the last space that fits, or where the line is full.
TEST_F(UiFormTest, FieldsCopyCutPasteAndMeasureTheirText) {
    void* form = Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1000});
    Ui<void(void*)>(ui::FrmSetActiveForm, form);
    void* field = Ui<void*(void*, uint16_t)>(ui::UiEntry154, form, uint16_t{1});
    for (uint16_t c : {uint16_t{'a'}, uint16_t{'b'}}) Dispatch(4, c);
    Ui<void(void*, uint16_t, uint16_t)>(ui::FldSetSelection, field, uint16_t{0}, uint16_t{1});
    Ui<void(void*)>(ui::FldCopy, field);
    Ui<void(void*, uint16_t, uint16_t)>(ui::FldSetSelection, field, uint16_t{2}, uint16_t{2});
    Ui<void(void*)>(ui::FldPaste, field);
    EXPECT_STREQ(Ui<const char*(void*)>(ui::FldGetTextPtr, field), "aba");
    Ui<void(void*, uint16_t, uint16_t)>(ui::FldSetSelection, field, uint16_t{1}, uint16_t{3});
    Ui<void(void*)>(ui::FldCut, field);
    EXPECT_STREQ(Ui<const char*(void*)>(ui::FldGetTextPtr, field), "a");
    Ui<void(void*)>(ui::FldPaste, field);
    Ui<void(void*)>(ui::FldPaste, field);
    EXPECT_STREQ(Ui<const char*(void*)>(ui::FldGetTextPtr, field), "abab");  // the maximum holds
    uint16_t length = 0;
    void* item = Ui<void*(uint8_t, uint16_t*)>(ui::ClipboardGetItem, uint8_t{0}, &length);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(Sys<void*(void*)>(sysslot::MemHandleLock, item)), length), "ba");
    Sys<uint16_t(void*)>(sysslot::MemHandleUnlock, item);
    Queued(0);
    Ui<void(void*)>(ui::FldSendChangeNotification, field);
    EXPECT_EQ(Queued(17).size(), 1u);

    const struct {
        const char* text;
        int16_t width;
        uint16_t first, lines;
    } cases[] = {{"hello world", 40, 6, 2}, {"abcdefghij", 24, 4, 3}, {"ab\ncd", 100, 3, 2}, {"", 40, 0, 1},
                 {"one two", 100, 7, 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(Ui<uint16_t(const char*, int16_t)>(ui::FldWordWrap, c.text, c.width), c.first) << c.text;
        EXPECT_EQ(Ui<uint16_t(const char*, int16_t)>(ui::FldCalcFieldHeight, c.text, c.width), c.lines) << c.text;
    }
}

// A field 10 characters wide and 3 lines high holding 4 lines: it scrolls by lines no further than
// its text goes, keeps its scroll position within the text as the text or bounds change, undoes
// its last edit once, and a field of dynamic size asks for the lines its text needs.
TEST_F(UiFormTest, FieldsScrollWithinTheirTextUndoTheLastEditAndAskForTheirHeight) {
    void* form = Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1000});
    void* field = Ui<void*(void*, uint16_t)>(ui::UiEntry154, form, uint16_t{1});
    const int16_t bounds[] = {0, 0, 60, 33};
    Ui<void(void*, const int16_t*)>(ui::FldSetBounds, field, bounds);
    const uint16_t attributes = 0x0025;  // usable, editable, dynamic size
    Ui<void(void*, const uint16_t*)>(ui::FldSetAttributes, field, &attributes);
    Ui<void(void*, uint16_t)>(ui::FldSetMaxChars, field, uint16_t{0});
    const char text[] = "0123456789abcdefghijABCDEFGHIJxyz";
    ASSERT_EQ(Ui<uint8_t(void*, const char*, uint16_t)>(ui::FldInsert, field, text, uint16_t{33}), 1);

    using Op = void (*)(void*, uint16_t);
    const Op down = [](void* f, uint16_t n) { Ui<void(void*, uint16_t, uint8_t)>(ui::FldScrollField, f, n, 1); };
    const Op up = [](void* f, uint16_t n) { Ui<void(void*, uint16_t, uint8_t)>(ui::FldScrollField, f, n, 0); };
    const Op to = [](void* f, uint16_t p) { Ui<void(void*, uint16_t)>(ui::FldSetScrollPosition, f, p); };
    const Op sideways = [](void* f, uint16_t n) { Ui<void(void*, uint16_t, uint8_t)>(ui::FldScrollField, f, n, 7); };
    const struct {
        const char* what;
        Op op;
        uint16_t arg, position;
        uint8_t canUp, canDown;
    } scrolls[] = {{"down past the end", down, 5, 10, 1, 0},  {"up", up, 1, 0, 0, 1},
                   {"up at the top", up, 3, 0, 0, 1},          {"to the last line", to, 31, 10, 1, 0},
                   {"to the first line", to, 5, 0, 0, 1},      {"no direction", sideways, 1, 0, 0, 1}};
    for (const auto& c : scrolls) {
        c.op(field, c.arg);
        EXPECT_EQ(Ui<uint16_t(void*)>(ui::FldGetScrollPosition, field), c.position) << c.what;
        EXPECT_EQ(Ui<uint8_t(void*, uint8_t)>(ui::FldScrollable, field, uint8_t{0}), c.canUp) << c.what;
        EXPECT_EQ(Ui<uint8_t(void*, uint8_t)>(ui::FldScrollable, field, uint8_t{1}), c.canDown) << c.what;
    }
    down(field, 1);
    uint16_t values[3] = {};
    Ui<void(void*, uint16_t*, uint16_t*, uint16_t*)>(ui::FldGetScrollValues, field, &values[0], &values[1],
                                                     &values[2]);
    EXPECT_EQ(std::vector<uint16_t>(values, values + 3), (std::vector<uint16_t>{1, 4, 3}));
    Ui<void(void*, uint16_t*, uint16_t*, uint16_t*)>(ui::FldGetScrollValues, field, nullptr, nullptr, nullptr);
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::FldGetNumberOfBlankLines, field), 0);

    // Dynamic size: 4 lines wanted, the insertion point at the end.
    Queued(0);
    EXPECT_EQ(Ui<uint8_t(void*)>(ui::FldMakeFullyVisible, field), 1);
    const std::vector<SysEventType> grown = Queued(16);
    ASSERT_EQ(grown.size(), 1u);
    int16_t height = 0;
    uint16_t at = 0;
    std::memcpy(&height, grown[0].data + 8, 2);
    std::memcpy(&at, grown[0].data + 10, 2);
    EXPECT_EQ(std::pair(height, at), std::pair(int16_t{44}, uint16_t{33}));
    Ui<void(void*, uint8_t)>(ui::FldSetMaxVisibleLines, field, uint8_t{3});
    EXPECT_EQ(Ui<uint8_t(void*)>(ui::FldMakeFullyVisible, field), 0);  // no more lines than its maximum

    // A taller field shows the whole text from its first line.
    const int16_t taller[] = {0, 0, 60, 99};
    Ui<void(void*, const int16_t*)>(ui::FldSetBounds, field, taller);
    Ui<void(void*, uint8_t)>(ui::FldRecalculateField, field, uint8_t{0});
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::FldGetScrollPosition, field), 0);
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::FldGetNumberOfBlankLines, field), 9 - 4);

    // Undo takes back the last edit, once.
    Ui<void(void*, uint16_t, uint16_t)>(ui::FldDelete, field, uint16_t{2}, uint16_t{33});
    EXPECT_STREQ(Ui<const char*(void*)>(ui::FldGetTextPtr, field), "01");
    Ui<void(void*)>(ui::FldUndo, field);
    EXPECT_STREQ(Ui<const char*(void*)>(ui::FldGetTextPtr, field), text);
    Ui<void(void*)>(ui::FldUndo, field);
    EXPECT_STREQ(Ui<const char*(void*)>(ui::FldGetTextPtr, field), text);

    Ui<void(void*, uint16_t)>(ui::FldSetTextAllocatedSize, field, uint16_t{64});
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::FldGetTextAllocatedSize, field), 64);
    Ui<void(void*)>(ui::FldCompactText, field);
    EXPECT_STREQ(Ui<const char*(void*)>(ui::FldGetTextPtr, field), text);
    // Freeing the field's memory leaves it empty and with nothing to undo.
    Ui<void(void*)>(ui::FldFreeMemory, field);
    EXPECT_EQ(Ui<const char*(void*)>(ui::FldGetTextPtr, field), nullptr);
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::FldGetInsPtPosition, field), 0);
    Ui<void(void*)>(ui::FldUndo, field);
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::FldGetTextLength, field), 0);
    // A text pointer the application set stays with the field.
    char own[] = "kept";
    Ui<void(void*, char*)>(ui::FldSetTextPtr, field, own);
    Ui<void(void*)>(ui::FldFreeMemory, field);
    EXPECT_STREQ(Ui<const char*(void*)>(ui::FldGetTextPtr, field), "kept");

    // A pointer to no field changes and answers nothing.
    int not_a_field[16] = {};
    void* bad = not_a_field;
    down(bad, 1);
    Ui<void(void*)>(ui::FldUndo, bad);
    Ui<void(void*, uint16_t, uint16_t)>(ui::FldSendHeightChangeNotification, bad, uint16_t{0}, uint16_t{2});
    EXPECT_EQ(Ui<uint8_t(void*)>(ui::FldMakeFullyVisible, bad), 0);
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::FldGetNumberOfBlankLines, bad), 0);
    EXPECT_TRUE(Queued(16).empty());
}

// Typing marks the form modified until it is marked unmodified; a dialog takes events until its
// button is tapped; an update request is queued for the application; returning from a popped-up
// form deletes it and asks the form returned to to draw itself.
TEST_F(UiFormTest, DialogsUpdatesAndReturnsFromPoppedUpForms) {
    void* form = Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1000});
    Ui<void(void*)>(ui::FrmSetActiveForm, form);
    EXPECT_EQ(Ui<uint8_t(void*)>(ui::FrmGetUserModifiedState, form), 0);
    Dispatch(4, 'a');
    EXPECT_EQ(Ui<uint8_t(void*)>(ui::FrmGetUserModifiedState, form), 1);
    Ui<void(void*)>(ui::FrmSetNotUserModified, form);
    EXPECT_EQ(Ui<uint8_t(void*)>(ui::FrmGetUserModifiedState, form), 0);
    Queued(0);

    std::vector<uint8_t> popup = FormResource();
    popup[52] = 0xED;  // form 1005
    popup[53] = 0x03;
    Add(1005, popup);
    void* dialog = Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1005});
    EXPECT_EQ(Ui<uint8_t(void*)>(ui::FrmVisible, dialog), 0);
    for (int16_t x : {30, 70}) {  // beside the button, then on it
        SysEventType pen{};
        pen.eType = 1;
        pen.screenX = x;
        pen.screenY = 105;
        Sys<syssig::EvtAddEventToQueue>(sysslot::EvtAddEventToQueue, static_cast<const SysEventType*>(&pen));
    }
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::FrmDoDialog, dialog), 1002);
    EXPECT_EQ(Ui<uint8_t(void*)>(ui::FrmVisible, dialog), 1);
    EXPECT_EQ(Ui<void*()>(ui::FrmGetActiveForm), form);

    Ui<void(uint16_t, uint16_t)>(ui::FrmUpdateForm, uint16_t{1000}, uint16_t{5});
    std::vector<SysEventType> updates = Queued(26);
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].data[0] | updates[0].data[1] << 8, 1000);
    EXPECT_EQ(updates[0].data[2] | updates[0].data[3] << 8, 5);

    Ui<void(void*)>(ui::FrmSetActiveForm, dialog);
    Ui<void(uint16_t)>(ui::FrmReturnToForm, uint16_t{1000});
    EXPECT_EQ(Ui<uint8_t(void*)>(ui::FrmValidatePtr, dialog), 0);
    EXPECT_EQ(Ui<void*()>(ui::FrmGetActiveForm), form);
    updates = Queued(26);
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].data[0] | updates[0].data[1] << 8, 1000);
}

// An alert draws its buttons and waits for a tap on one of them, whose index is the answer (a tap
// beside them is not one); an application told to stop meanwhile gets the default button and its
// stop event stays queued. An alert whose texts run past its resource answers its default button
// at once, one without its resource 0.
TEST_F(UiFormTest, AlertsAnswerTheButtonTapped) {
    Le alert;
    alert.W(0, 1).W(2, 0).W(4, 2).W(6, 1).S(8, "Title").S(14, "Hello ^1").S(23, "OK").S(26, "Cancel");
    Add(2000, alert.b, FourCC("aalt"));
    std::vector<uint8_t> open = alert.b;
    open.resize(12);
    Add(2001, open, FourCC("aalt"));
    auto post = [](uint16_t type, int16_t x, int16_t y) {
        SysEventType e{};
        e.eType = type;
        e.screenX = x;
        e.screenY = y;
        Sys<syssig::EvtAddEventToQueue>(sysslot::EvtAddEventToQueue, &e);
    };
    // The buttons lie along the bottom of the box (UI rows 142-153): "OK" from x 8, "Cancel" from 38.
    post(1, 60, 120);
    post(1, 12, 146);
    EXPECT_EQ(Ui<uint16_t(uint16_t)>(ui::UiEntry125, uint16_t{2000}), 0);
    post(1, 50, 146);
    EXPECT_EQ(Ui<uint16_t(uint16_t, const char*, const char*, const char*)>(ui::UiEntry129, uint16_t{2000},
                                                                            "you", nullptr, nullptr),
              1);
    Queued(26);  // the form updates that closing posts
    post(22, 0, 0);
    EXPECT_EQ(Ui<uint16_t(uint16_t)>(ui::UiEntry125, uint16_t{2000}), 1);
    EXPECT_EQ(Queued(22).size(), 1u);
    EXPECT_EQ(Ui<uint16_t(uint16_t)>(ui::UiEntry125, uint16_t{2001}), 1);  // its texts are cut: not shown
    EXPECT_EQ(Ui<uint16_t(uint16_t)>(ui::UiEntry125, uint16_t{2002}), 0);
}

std::vector<int> gDrawn;
void DrawCell(void*, int16_t row, int16_t column, const void*) {
    gDrawn.push_back(row * 10 + column);
}

// Rows are found by ID and data; a row inserted or removed moves the later rows' items and the
// selection with them, and removing the selected row leaves no selection.
TEST_F(UiFormTest, TableRowsComeAndGoWithTheirItemsAndTheSelection) {
    void* form = Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1000});
    void* table = Ui<void*(void*, uint16_t)>(ui::UiEntry154, form, uint16_t{3});
    auto findID = [&](uint16_t id) {
        int16_t row = -1;
        return Ui<uint8_t(void*, uint16_t, int16_t*)>(ui::TblFindRowID, table, id, &row) ? row : int16_t{-1};
    };
    auto selection = [&] {
        int16_t row = -1, column = -1;
        return Ui<uint8_t(void*, int16_t*, int16_t*)>(ui::TblGetSelection, table, &row, &column)
                   ? std::pair{row, column}
                   : std::pair{int16_t{-1}, int16_t{-1}};
    };
    Ui<void(void*, int16_t, int16_t, int16_t)>(ui::TblSetItemInt, table, int16_t{2}, int16_t{1}, int16_t{42});
    Ui<void(void*, int16_t, uint32_t)>(ui::TblSetRowData, table, int16_t{1}, uint32_t{0xABCD});
    int16_t row = -1;
    EXPECT_EQ(Ui<uint8_t(void*, uint32_t, int16_t*)>(ui::TblFindRowData, table, uint32_t{0xABCD}, &row), 1);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(Ui<uint8_t(void*, uint32_t, int16_t*)>(ui::TblFindRowData, table, uint32_t{0x1234}, &row), 0);
    EXPECT_EQ(findID(2), 2);
    EXPECT_EQ(findID(9), -1);
    EXPECT_EQ(selection(), (std::pair{int16_t{-1}, int16_t{-1}}));
    Ui<void(void*, int16_t, int16_t)>(ui::TblSetSelection, table, int16_t{2}, int16_t{1});
    Ui<void(void*, int16_t, int16_t)>(ui::TblSetSelection, table, int16_t{3}, int16_t{0});  // no such cell
    EXPECT_EQ(selection(), (std::pair{int16_t{2}, int16_t{1}}));

    Ui<void(void*, int16_t)>(ui::TblInsertRow, table, int16_t{1});
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::TblGetNumberOfRows, table), 4);
    EXPECT_EQ(findID(2), 3);
    EXPECT_EQ(Ui<int16_t(void*, int16_t, int16_t)>(ui::TblGetItemInt, table, int16_t{3}, int16_t{1}), 42);
    EXPECT_EQ(selection(), (std::pair{int16_t{3}, int16_t{1}}));
    Ui<void(void*, int16_t)>(ui::TblInsertRow, table, int16_t{9});  // past the end: nothing
    Ui<void(void*, int16_t)>(ui::TblRemoveRow, table, int16_t{3});
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::TblGetNumberOfRows, table), 3);
    EXPECT_EQ(findID(2), -1);
    EXPECT_EQ(selection(), (std::pair{int16_t{-1}, int16_t{-1}}));
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

// Rows marked invalid stay so until the table is drawn; masks are per row, and a masked row's cells
// in a masked column are drawn without their content; the table's other settings take a column or
// row in the table and ignore any other, as grabbing the focus does.
TEST_F(UiFormTest, TableRowsAreInvalidUntilDrawnAndKeepTheirMasks) {
    void* form = Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1000});
    void* table = Ui<void*(void*, uint16_t)>(ui::UiEntry154, form, uint16_t{3});
    auto flags = [&](uint16_t slot) {
        std::vector<uint8_t> v;
        for (int16_t row = -1; row <= 3; ++row) v.push_back(Ui<uint8_t(void*, int16_t)>(slot, table, row));
        return v;
    };
    Ui<void(void*)>(ui::FrmDrawForm, form);
    EXPECT_EQ(flags(ui::TblRowInvalid), (std::vector<uint8_t>{0, 0, 0, 0, 0}));
    Ui<void(void*, int16_t)>(ui::TblMarkRowInvalid, table, int16_t{1});
    Ui<void(void*, int16_t)>(ui::TblMarkRowInvalid, table, int16_t{7});
    EXPECT_EQ(flags(ui::TblRowInvalid), (std::vector<uint8_t>{0, 0, 1, 0, 0}));
    Ui<void(void*)>(ui::TblMarkTableInvalid, table);
    EXPECT_EQ(flags(ui::TblRowInvalid), (std::vector<uint8_t>{0, 1, 1, 1, 0}));
    Ui<void(void*)>(ui::TblRedrawTable, table);
    EXPECT_EQ(flags(ui::TblRowInvalid), (std::vector<uint8_t>{0, 0, 0, 0, 0}));

    for (int16_t row : {int16_t{0}, int16_t{2}, int16_t{3}, int16_t{-1}})
        Ui<void(void*, int16_t, uint8_t)>(ui::TblSetRowMasked, table, row, uint8_t{1});
    Ui<void(void*, int16_t, uint8_t)>(ui::TblSetRowMasked, table, int16_t{0}, uint8_t{0});
    EXPECT_EQ(flags(ui::TblRowMasked), (std::vector<uint8_t>{0, 0, 0, 1, 0}));
    for (int16_t row = 0; row < 3; ++row)
        Ui<void(void*, int16_t, int16_t, uint8_t)>(ui::TblSetItemStyle, table, row, int16_t{0}, uint8_t{1});
    Ui<void(void*, int16_t, void*)>(ui::TblSetCustomDrawProcedure, table, int16_t{0},
                                    reinterpret_cast<void*>(&DrawCell));
    gDrawn.clear();
    Ui<void(void*)>(ui::TblDrawTable, table);
    EXPECT_EQ(gDrawn, (std::vector<int>{0, 10, 20}));  // the row's mask alone hides nothing

    for (uint16_t slot : {ui::TblSetColumnMasked, ui::TblSetColumnEditIndicator, ui::TblSetRowStaticHeight})
        for (int16_t index : {int16_t{0}, int16_t{1}, int16_t{-1}, int16_t{9}})
            Ui<void(void*, int16_t, uint8_t)>(slot, table, index, uint8_t{1});
    gDrawn.clear();
    Ui<void(void*)>(ui::TblDrawTable, table);
    EXPECT_EQ(gDrawn, (std::vector<int>{0, 10}));
    Ui<void(void*, uint8_t)>(ui::TblHasScrollBar, table, uint8_t{1});
    auto selection = [&] {
        int16_t row = -1, column = -1;
        Ui<uint8_t(void*, int16_t*, int16_t*)>(ui::TblGetSelection, table, &row, &column);
        return std::pair{row, column};
    };
    Ui<void(void*, int16_t, int16_t)>(ui::TblGrabFocus, table, int16_t{2}, int16_t{1});
    Ui<void(void*, int16_t, int16_t)>(ui::TblGrabFocus, table, int16_t{2}, int16_t{5});
    EXPECT_EQ(selection(), (std::pair{int16_t{2}, int16_t{1}}));
    Ui<void(void*)>(ui::TblReleaseFocus, table);
    EXPECT_EQ(selection(), (std::pair{int16_t{2}, int16_t{1}}));
    EXPECT_EQ(Ui<uint16_t(void*)>(ui::TblGetNumberOfColumns, table), 2);

    int not_a_table[16] = {};
    table = not_a_table;
    EXPECT_EQ(flags(ui::TblRowInvalid), (std::vector<uint8_t>{0, 0, 0, 0, 0}));
    Ui<void(void*, int16_t, uint8_t)>(ui::TblSetRowMasked, table, int16_t{0}, uint8_t{1});
    Ui<void(void*, uint8_t)>(ui::TblHasScrollBar, table, uint8_t{1});
    Ui<void(void*, int16_t, int16_t)>(ui::TblGrabFocus, table, int16_t{0}, int16_t{0});
    EXPECT_EQ(flags(ui::TblRowMasked), (std::vector<uint8_t>{0, 0, 0, 0, 0}));
}

// A bar of "File" (Open 2001, Close 2002) and "Edit" (Undo 2101 hidden, Copy 2102, Paste 2103),
// laid out as the resource translation writes it: host order, offsets within the resource.
std::vector<uint8_t> MenuResource() {
    std::vector<uint8_t> b(32 + 2 * 36 + 5 * 8, 0);
    auto w = [&b](size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); };
    auto l = [&b](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
    auto text = [&b](const char* t) {
        const uint32_t at = static_cast<uint32_t>(b.size());
        b.insert(b.end(), t, t + std::strlen(t) + 1);
        return at;
    };
    w(22, 2);
    const uint32_t items = 32 + 2 * 36;
    const char* titles[] = {"File", "Edit"};
    const uint16_t counts[] = {2, 3};
    for (int m = 0; m < 2; ++m) {
        const size_t rec = 32 + 36 * m;
        l(rec + 24, text(titles[m]));
        w(rec + 30, counts[m]);
        l(rec + 32, items + (m ? 16 : 0));
    }
    const struct {
        uint16_t id;
        const char* text;
        uint8_t attr;
    } all[] = {{2001, "Open", 0}, {2002, "Close", 0}, {2101, "Undo", 1}, {2102, "Copy", 0}, {2103, "Paste", 0}};
    for (int i = 0; i < 5; ++i) {
        w(items + 8 * i, all[i].id);
        b[items + 8 * i + 3] = all[i].attr;
        l(items + 8 * i + 4, text(all[i].text));
    }
    return b;
}

// Hands a pen-down at (x, y) to a menu bar's event handling; its answer.
uint8_t MenuPen(void* bar, int16_t x, int16_t y) {
    SysEventType e{};
    e.eType = 1;
    e.screenX = x;
    e.screenY = y;
    uint16_t error = 0xFFFF;
    const uint8_t taken = Ui<uint8_t(void*, SysEventType*, uint16_t*)>(ui::UiEntry243, bar, &e, &error);
    EXPECT_EQ(error, 0);
    return taken;
}
// The item IDs of the menu events queued.
std::vector<uint16_t> MenuChoices(const std::vector<SysEventType>& events) {
    std::vector<uint16_t> ids;
    for (const SysEventType& e : events) ids.push_back(static_cast<uint16_t>(e.data[0] | e.data[1] << 8));
    return ids;
}

TEST_F(UiFormTest, APenOnTheTopLinePullsTheActiveBarDownAndATapOnAnItemPostsItsID) {
    Add(1000, MenuResource(), FourCC("amnu"));
    auto* bar = Ui<NativeMenuBar*(uint16_t)>(ui::UiEntry245, uint16_t{1000});
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(Ui<NativeMenuBar*(uint16_t)>(ui::UiEntry245, uint16_t{1001}), nullptr);  // no such resource
    // The records the 68K glue reads: titles side by side, each menu below its title.
    ASSERT_EQ(bar->numMenus, 2);
    EXPECT_STREQ(bar->menus[1].title, "Edit");
    EXPECT_EQ(bar->menus[1].numItems, 3);
    EXPECT_EQ(bar->menus[1].items[2].itemId, 2103);
    EXPECT_STREQ(bar->menus[1].items[2].text, "Paste");
    EXPECT_EQ(bar->menus[1].items[0].attr, kMenuItemHidden);
    EXPECT_EQ(bar->menus[1].titleBounds.x, bar->menus[0].titleBounds.width);
    EXPECT_EQ(bar->menus[1].bounds.y, 13);

    EXPECT_EQ(Ui<void*(void*)>(ui::UiEntry246, static_cast<void*>(bar)), nullptr);
    EXPECT_EQ(Ui<void*()>(ui::MenuGetActiveMenu), bar);
    EXPECT_EQ(MenuPen(nullptr, 40, 100), 0);  // closed: only the top line opens it
    EXPECT_EQ(MenuPen(nullptr, 40, 5), 1);
    EXPECT_NE(bar->attr & kMenuBarVisible, 0);
    // On the second title, then on the second row of its menu: Undo is hidden, so that is Paste.
    const int16_t x = static_cast<int16_t>(bar->menus[1].titleBounds.x + 4);
    EXPECT_EQ(MenuPen(nullptr, x, 5), 1);
    EXPECT_EQ(bar->curMenu, 1);
    EXPECT_EQ(MenuPen(nullptr, x, static_cast<int16_t>(13 + 2 + 11 + 5)), 1);
    EXPECT_EQ(MenuChoices(Queued(21)), std::vector<uint16_t>{2103});
    EXPECT_EQ(bar->attr & kMenuBarVisible, 0);
    // Opened again, a tap beside the menu closes it without a choice.
    EXPECT_EQ(MenuPen(bar, 40, 5), 1);
    EXPECT_EQ(MenuPen(bar, 150, 150), 1);
    EXPECT_TRUE(MenuChoices(Queued(21)).empty());
    EXPECT_EQ(MenuPen(bar, 150, 150), 0);

    Ui<void(void*)>(ui::MenuDispose, static_cast<void*>(bar));
    EXPECT_EQ(Ui<void*()>(ui::MenuGetActiveMenu), nullptr);
    EXPECT_EQ(MenuPen(nullptr, 40, 5), 0);
}

// A form of one scroll bar (1301, usable, at 150, 20, 7 x 100; value 0 of 0-10, page 5) and a
// button (1302) beside it.
std::vector<uint8_t> ScrollBarForm() {
    Le f;
    f.W(8, 0).W(10, 0).W(12, 160).W(14, 160).W(52, 1300).W(62, 2);
    const uint32_t bar = 68 + 8 * 2, button = bar + 24;
    f.L(68, bar).At(72 + 1).b[72] = 13;
    f.L(76, button).At(80 + 1).b[80] = 1;
    f.W(bar, 150).W(bar + 2, 20).W(bar + 4, 7).W(bar + 6, 100).W(bar + 8, 1301).W(bar + 10, kScrollBarUsable);
    f.W(bar + 12, 0).W(bar + 14, 0).W(bar + 16, 10).W(bar + 18, 5).At(button);
    f.W(button, 1302).W(button + 2, 0x0007).W(button + 4, 10).W(button + 6, 10).W(button + 8, 40).W(button + 10, 14);
    f.S(button + 20, "OK");
    return f.b;
}

// A scroll bar's events as the application hears them: (type, value, new value).
struct SclEvent {
    uint16_t type;
    int16_t value, newValue;
    bool operator==(const SclEvent&) const = default;
};
void PrintTo(const SclEvent& e, std::ostream* out) { *out << e.type << ":" << e.value << "->" << e.newValue; }

// The arrows step by one and the track by a page, within the range; the thumb follows the pen that
// holds it (the device reports a moving pen as further pens down) until the pen goes up. The
// application hears of the pen entering, of each change and of the pen leaving, in that order,
// even where the pen was up before it took the first of them. Values set are kept in their range.
TEST_F(UiFormTest, AScrollBarFollowsThePenAndTellsTheApplication) {
    Add(1300, ScrollBarForm());
    void* form = Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1300});
    ASSERT_NE(form, nullptr);
    Ui<void(void*)>(ui::FrmSetActiveForm, form);
    auto* bar = static_cast<NativeScrollBar*>(Ui<void*(void*, uint16_t)>(ui::UiEntry154, form, uint16_t{0}));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(Ui<uint16_t(void*, uint16_t)>(ui::FrmGetObjectIndex, form, uint16_t{1301}), 0);
    auto events = [bar] {
        std::vector<SclEvent> seen;
        for (SysEventType e{}; PendingEvents() > 0;) {
            Sys<syssig::EvtGetEvent>(sysslot::EvtGetEvent, &e, int32_t{0});
            if (e.eType < 32 || e.eType > 34) continue;
            uint16_t id;
            void* object;
            int16_t value, newValue;
            std::memcpy(&id, e.data, 2);
            std::memcpy(&object, e.data + 4, 4);
            std::memcpy(&value, e.data + 8, 2);
            std::memcpy(&newValue, e.data + 10, 2);
            EXPECT_EQ(id, 1301);
            EXPECT_EQ(object, static_cast<void*>(bar));
            seen.push_back(e.eType == 32 ? SclEvent{32, 0, 0} : SclEvent{e.eType, value, newValue});
        }
        return seen;
    };
    // The thumb is 28 high on the 86 of the track (27-112): at 27 for 0, at 56 for 5, at 85 for 10.
    struct Case {
        const char* what;
        int16_t start;
        std::vector<int16_t> moves;  // pens down while the pen is held
        int16_t value;
        std::vector<SclEvent> heard;
    };
    const Case cases[] = {
        {"up arrow at the start", 22, {}, 0, {{32, 0, 0}, {33, 0, 0}}},
        {"down arrow", 116, {}, 1, {{32, 0, 0}, {34, 0, 1}, {33, 0, 1}}},
        {"track below the thumb", 100, {}, 6, {{32, 0, 0}, {34, 1, 6}, {33, 1, 6}}},
        {"track above the thumb", 30, {}, 1, {{32, 0, 0}, {34, 6, 1}, {33, 6, 1}}},
        {"thumb dragged down and past the end", 35, {59, 200}, 10,
         {{32, 0, 0}, {34, 1, 5}, {34, 5, 10}, {33, 1, 10}}},
        {"thumb dragged back up", 90, {60, 60, -5}, 0, {{32, 0, 0}, {34, 10, 5}, {34, 5, 0}, {33, 10, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Dispatch(1, 0, 153, c.start);
        for (int16_t y : c.moves) Dispatch(1, 0, 153, y);
        Dispatch(2, 0, -1, -1);
        EXPECT_EQ(bar->value, c.value);
        EXPECT_EQ(events(), c.heard);
        EXPECT_EQ(bar->attr & kScrollBarRegionMask, 0);  // let go
    }
    // The button beside it is still the pen's; a pen up with no bar held is nobody's.
    Dispatch(1, 0, 20, 15);
    EXPECT_EQ(Queued(9).size(), 1u);
    Dispatch(2, 0, -1, -1);
    EXPECT_TRUE(events().empty());
    // While the bar holds the pen, the pen's events are the bar's before the form's handler sees
    // them (this handler would take every pen up). A pen down away from a bar held by an arrow is a
    // new pen: the bar lets go of the old one first.
    static int handled;
    handled = 0;
    Ui<void(void*, uint8_t (*)(SysEventType*))>(ui::FrmSetEventHandler, form, [](SysEventType* e) -> uint8_t {
        ++handled;
        return e->eType == 2;
    });
    Dispatch(1, 0, 153, 22);
    Dispatch(2, 0, -1, -1);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(events(), (std::vector<SclEvent>{{32, 0, 0}, {33, 0, 0}}));
    Dispatch(1, 0, 153, 116);
    Dispatch(1, 0, 20, 15);
    EXPECT_EQ(bar->attr & kScrollBarRegionMask, 0);
    std::vector<SclEvent> heard;
    size_t selected = 0;
    for (SysEventType e{}; PendingEvents() > 0;) {
        Sys<syssig::EvtGetEvent>(sysslot::EvtGetEvent, &e, int32_t{0});
        if (e.eType == 9) ++selected;
        if (e.eType >= 32 && e.eType <= 34) heard.push_back(SclEvent{e.eType, 0, 0});
    }
    EXPECT_EQ(heard, (std::vector<SclEvent>{{32, 0, 0}, {34, 0, 0}, {33, 0, 0}}));
    EXPECT_EQ(selected, 1u);
    Ui<void(void*, void*)>(ui::FrmSetEventHandler, form, nullptr);
    Dispatch(2, 0, -1, -1);
    Ui<void(void*, int16_t, int16_t, int16_t, int16_t)>(ui::SclSetScrollBar, static_cast<void*>(bar), int16_t{0},
                                                         int16_t{0}, int16_t{10}, int16_t{5});

    // Values are kept in their range; an unusable bar or one with nothing to scroll takes no pen.
    auto set = [&](int16_t value, int16_t min, int16_t max, int16_t page) {
        Ui<void(void*, int16_t, int16_t, int16_t, int16_t)>(ui::SclSetScrollBar, static_cast<void*>(bar), value, min,
                                                             max, page);
        int16_t got[4] = {};
        Ui<void(void*, int16_t*, int16_t*, int16_t*, int16_t*)>(ui::SclGetScrollBar, static_cast<void*>(bar), &got[0],
                                                                &got[1], &got[2], &got[3]);
        return std::vector<int16_t>(got, got + 4);
    };
    EXPECT_EQ(set(20, 0, 10, 5), (std::vector<int16_t>{10, 0, 10, 5}));
    EXPECT_EQ(set(-32768, -5, 32767, -1), (std::vector<int16_t>{-5, -5, 32767, 0}));
    EXPECT_EQ(set(3, 4, 2, 1), (std::vector<int16_t>{4, 4, 4, 1}));
    Dispatch(1, 0, 153, 116);
    EXPECT_TRUE(events().empty());
    set(0, 0, 10, 5);
    Ui<void(void*, uint16_t)>(162, form, uint16_t{0});  // FrmHideObject
    EXPECT_EQ(bar->attr & kScrollBarUsable, 0);
    Dispatch(1, 0, 153, 116);
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(bar->value, 0);
    // Only scroll bars of open forms are touched.
    NativeScrollBar loose{};
    loose.maxValue = 3;
    set(0, 0, 10, 5);
    Ui<void(void*, int16_t, int16_t, int16_t, int16_t)>(ui::SclSetScrollBar, static_cast<void*>(&loose), int16_t{2},
                                                         int16_t{0}, int16_t{9}, int16_t{1});
    EXPECT_EQ(loose.maxValue, 3);
    SysEventType pen{};
    pen.eType = 1;
    EXPECT_EQ(Ui<uint8_t(void*, SysEventType*)>(ui::UiEntry261, static_cast<void*>(&loose), &pen), 0);
}

// The bitmaps the OS makes for applications: version 2, rows of whole words, the colour table given
// right after the header and the bits (white) after it, as their queries answer; sizes, depths or
// tables that make no bitmap are refused.
TEST_F(UiFormTest, BitmapsTheOsMakesAnswerTheirPartsAndSizes) {
    uint8_t table[2 + 4 * 2] = {2, 0, 0, 255, 255, 255, 1, 0, 0, 0};
    struct Case {
        int16_t width, height;
        uint8_t depth;
        const uint8_t* table;
        uint16_t rowBytes;
        uint32_t header;
    } cases[] = {{16, 3, 1, nullptr, 2, 16}, {5, 2, 8, table, 6, 26}, {17, 1, 16, table, 34, 26}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        uint16_t err = 1;
        auto* b = Sys<NativeBitmap*(int16_t, int16_t, uint8_t, const uint8_t*, uint16_t*)>(
            sysslot::BmpCreate, c.width, c.height, c.depth, c.table, &err);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(err, 0);
        int16_t width = 0, height = 0;
        uint16_t rowBytes = 0;
        Sys<void(NativeBitmap*, int16_t*, int16_t*, uint16_t*)>(sysslot::BmpGetDimensions, b, &width, &height,
                                                                 &rowBytes);
        EXPECT_EQ(std::vector<int>({width, height, rowBytes}), std::vector<int>({c.width, c.height, c.rowBytes}));
        uint32_t bits = 0, header = 0;
        Sys<void(NativeBitmap*, uint32_t*, uint32_t*)>(sysslot::BmpGetSizes, b, &bits, &header);
        EXPECT_EQ(bits, uint32_t{c.rowBytes} * c.height);
        EXPECT_EQ(header, c.header);
        EXPECT_EQ(Sys<uint32_t(NativeBitmap*)>(sysslot::BmpSize, b), header + bits);
        EXPECT_EQ(Sys<uint32_t(NativeBitmap*)>(sysslot::BmpBitsSize, b), bits);
        const auto* p = reinterpret_cast<const uint8_t*>(b);
        EXPECT_EQ(Sys<const uint8_t*(NativeBitmap*)>(sysslot::BmpGetBits, b), p + header);
        EXPECT_EQ(std::vector<uint8_t>(p + header, p + header + bits), std::vector<uint8_t>(bits, 0));
        EXPECT_EQ(Sys<uint16_t(NativeBitmap*)>(sysslot::BmpColortableSize, b), c.table ? 10 : 0);
        const uint8_t* held = Sys<const uint8_t*(NativeBitmap*)>(sysslot::BmpGetColortable, b);
        if (c.table)
            EXPECT_EQ(std::vector<uint8_t>(held, held + 10), std::vector<uint8_t>(table, table + 10));
        else
            EXPECT_EQ(held, nullptr);
        EXPECT_EQ(Sys<uint8_t(NativeBitmap*)>(sysslot::BmpGetBitDepth, b), c.depth);
        EXPECT_EQ(Sys<uint8_t(NativeBitmap*)>(sysslot::BmpGetVersion, b), 2);
        EXPECT_EQ(Sys<uint8_t(NativeBitmap*)>(sysslot::BmpGetCompressionType, b), 0xFF);
        uint32_t transparent = 7;
        EXPECT_EQ(Sys<uint8_t(NativeBitmap*, uint32_t*)>(sysslot::BmpGetTransparentValue, b, &transparent), 0);
        EXPECT_EQ(Sys<uint16_t(NativeBitmap*)>(sysslot::BmpDelete, b), 0);
    }
    table[0] = 1;  // 257 entries
    table[1] = 1;
    struct Bad {
        int16_t width, height;
        uint8_t depth;
        const uint8_t* table;
    } bad[] = {{0, 3, 1, nullptr}, {16, -1, 1, nullptr}, {16, 3, 3, nullptr}, {16, 3, 32, nullptr}, {16, 3, 8, table}};
    for (const Bad& c : bad) {
        uint16_t err = 0;
        EXPECT_EQ((Sys<NativeBitmap*(int16_t, int16_t, uint8_t, const uint8_t*, uint16_t*)>(
                      sysslot::BmpCreate, c.width, c.height, c.depth, c.table, &err)),
                  nullptr);
        EXPECT_EQ(err, sysErrParamErr);
    }
}

// A pen on a list's rows chooses the row under it and posts a list-select event; the frame's top
// line and the space below the last item choose nothing.
TEST_F(UiFormTest, APenOnAListChoosesTheRowUnderItOnly) {
    char one[] = "one", two[] = "two";
    char* texts[] = {one, two};
    NativeList list{};
    list.id = 7;
    list.attr = kListUsable;
    list.bounds = {10, 10, 40, 1 + 3 * 11 + 1};  // room for three rows, two items
    list.itemsText = texts;
    list.numItems = 2;
    list.currentItem = -1;
    auto pen = [&](int16_t y) {
        SysEventType e{};
        e.eType = 1;
        e.screenX = 20;
        e.screenY = y;
        return Ui<uint8_t(NativeList*, const SysEventType*)>(ui::LstHandleEvent, &list, &e);
    };
    struct Case {
        int16_t y;
        uint8_t taken;
        int16_t chosen;
    } cases[] = {{10, 0, -1}, {11, 1, 0}, {22, 1, 1}, {21, 1, 0}, {33, 0, 0}, {44, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.y);
        EXPECT_EQ(pen(c.y), c.taken);
        EXPECT_EQ(list.currentItem, c.chosen);
        EXPECT_EQ(Queued(12).size(), c.taken ? 1u : 0u);
    }
}

// A category list holds the names of the database's application-info block, which its file image
// brings (between the resource list and the first resource); a block the header places anywhere
// else is not taken, and the database has "Unfiled" alone.
TEST_F(UiFormTest, ACategoryListNamesTheCategoriesOfItsDatabasesAppInfoBlock) {
    ResourceDb db;
    db.name = "Category Test";
    db.type = FourCC("appl");
    db.creator = FourCC("CtTs");
    db.resources.push_back({FourCC("tSTR"), 1, {'h', 'i', 0, 0}});
    const std::vector<uint8_t> plain = ResourceDbWrite(db);
    const uint32_t list = kResDbHeaderSize + kResDbEntrySize + 2;
    std::vector<uint8_t> block(2 + 16 * 16 + 20, 0);
    std::memcpy(&block[2], "Unfiled", 7);
    std::memcpy(&block[2 + 2 * 16], "Travel", 6);  // category 1 unused
    std::vector<uint8_t> image(plain.begin(), plain.begin() + list);
    image.insert(image.end(), block.begin(), block.end());
    image.insert(image.end(), plain.begin() + list, plain.end());
    WriteBE32(&image[kResDbHeaderSize + 6], static_cast<uint32_t>(list + block.size()));
    struct Case {
        uint32_t appInfo;  // the header's offset of the block
        std::vector<std::string> names;
    } cases[] = {{list, {"All", "Unfiled", "Travel"}},
                 {0, {"All", "Unfiled"}},
                 {kResDbHeaderSize, {"All", "Unfiled"}},  // inside the resource list
                 {static_cast<uint32_t>(image.size()), {"All", "Unfiled"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.appInfo);
        WriteBE32(&image[52], c.appInfo);
        uint32_t id = 0;
        ASSERT_EQ(CreateDatabaseFromImage(image.data(), static_cast<uint32_t>(image.size()), &id), 0);
        NativeList native{};
        void* ref = reinterpret_cast<void*>(static_cast<uintptr_t>(id));
        Ui<void(void*, NativeList*, uint16_t, uint8_t, uint8_t, uint8_t, uint32_t, uint8_t)>(
            22, ref, &native, uint16_t{2}, uint8_t{1}, uint8_t{1}, uint8_t{1}, uint32_t{0}, uint8_t{0});
        std::vector<std::string> names;
        for (int16_t i = 0; i < native.numItems; ++i) names.emplace_back(native.itemsText[i]);
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(native.currentItem, c.names.size() == 3 ? 2 : 1);  // category 2, else the first
        Ui<void(void*, NativeList*, uint8_t, uint32_t)>(28, ref, &native, uint8_t{1}, uint32_t{0});
        RemoveDatabase(id);
    }
}

// An integer constant is the value of its native resource; 0 without one.
TEST_F(UiFormTest, AnIntegerConstantIsItsResourcesValue) {
    Le constant;
    constant.L(0, 0x12345678);
    Add(3000, constant.b, FourCC("aint"));
    EXPECT_EQ(Ui<uint32_t(uint16_t)>(ui::UiEntry256, uint16_t{3000}), 0x12345678u);
    EXPECT_EQ(Ui<uint32_t(uint16_t)>(ui::UiEntry256, uint16_t{3001}), 0u);
}

// Saving all forms gives each open form's handler a save event, oldest form first, with that form
// active meanwhile; a form that an earlier handler deleted is not called, and the active form is
// the same afterwards.
std::vector<std::pair<uint16_t, void*>> saves;  // event type, active form
void* deleteOnSave = nullptr;
uint8_t SaveHandler(SysEventType* event) {
    saves.emplace_back(event->eType, Ui<void*()>(ui::FrmGetActiveForm));
    if (deleteOnSave) Ui<void(void*)>(ui::FrmDeleteForm, std::exchange(deleteOnSave, nullptr));
    return 1;
}

TEST_F(UiFormTest, SavingAllFormsSendsEachOpenFormASaveEventWithTheFormActive) {
    std::vector<uint8_t> second = FormResource();
    second[52] = 0xED;  // form 1005
    second[53] = 0x03;
    Add(1005, second);
    void* first = Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1000});
    void* other = Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1005});
    void* bare = Ui<void*(uint16_t)>(ui::FrmInitForm, uint16_t{1000});  // no handler: not called
    ASSERT_TRUE(first && other && bare);
    for (void* f : {first, other}) Ui<void(void*, void*)>(ui::FrmSetEventHandler, f, reinterpret_cast<void*>(&SaveHandler));
    Ui<void(void*)>(ui::FrmSetActiveForm, other);
    saves.clear();
    Ui<void()>(ui::FrmSaveAllForms);
    constexpr uint16_t kFrmSave = 27;
    EXPECT_EQ(saves, (std::vector<std::pair<uint16_t, void*>>{{kFrmSave, first}, {kFrmSave, other}}));
    EXPECT_EQ(Ui<void*()>(ui::FrmGetActiveForm), other);

    saves.clear();
    deleteOnSave = other;
    Ui<void()>(ui::FrmSaveAllForms);
    EXPECT_EQ(saves, (std::vector<std::pair<uint16_t, void*>>{{kFrmSave, first}}));
    EXPECT_EQ(Ui<uint8_t(void*)>(ui::FrmValidatePtr, other), 0);
    EXPECT_EQ(Ui<void*()>(ui::FrmGetActiveForm), nullptr);
}

}  // namespace
}  // namespace vantor::os
