// The screen manager through Kez's slots over the display: the screen bitmap it lays out, the
// batching of changed areas into the display's dirty rectangle, nested locked updates, depth
// changes and the colour translation tables.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kez/src/HALDisplay.h"
#include "kez/src/HALScreenMgr.h"
#include "common/module/SystemCalls.h"
#include "kez/tests/KezTestSupport.h"

namespace kez::testing {
namespace {

class ScreenMgr : public os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        PrvPatchSystemDispatchTable(os::SystemTable());
        __SetMyDispatchTable();
        config_.screenWidth = 160;
        config_.screenHeight = 220;
        config_.windowWidth = 160;
        config_.windowHeight = 220;
        config_.screenDepth = 8;
        KezGlobalsInit(&config_, nullptr);
        ASSERT_EQ(KEZ_CALL(HALDisplayInitialize), 0);
        ASSERT_EQ(KEZ_CALL(HALScreenInit, 0, 0, nullptr), 0);
        table_.count = 256;
        for (int i = 0; i < 256; ++i) table_.entries[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0, 0};
        ASSERT_EQ(KEZ_CALL(HALScreenMgrInitialize, &record_, reinterpret_cast<HALColorTable*>(&table_)), 0);
        r_ = static_cast<ScreenMgrRecord*>(record_);
    }
    void TearDown() override {
        KEZ_CALL(HALDisplayDispose);
        StandinTest::TearDown();
    }
    static void Dirty(int16_t out[4]) { HALDisplayDirtyRect(out); }
    static void ClearDirty() {
        // The painter is not running: read and forget the display's dirty rectangle.
        int16_t d[4];
        HALDisplayDirtyRect(d);
        PrvHALDisplayResetDirtyRect();
    }

    struct {
        uint16_t count, reserved;
        HALColorEntry entries[256];
    } table_{};
    KezBootConfig config_{};
    void* record_ = nullptr;
    ScreenMgrRecord* r_ = nullptr;
};

TEST_F(ScreenMgr, InitialisationLaysOutTheScreenBitmap) {
    EXPECT_EQ(r_->width, 160);
    EXPECT_EQ(r_->height, 220);
    EXPECT_EQ(r_->rowBytes, 160);
    EXPECT_EQ(r_->depth, 8);
    EXPECT_EQ(r_->version, 0x83);
    EXPECT_EQ(r_->headerSize, 24);
    EXPECT_EQ(r_->flags, kBitmapHasColorTable | kBitmapIsScreen | kBitmapIndirect);
    EXPECT_EQ(r_->colorCount, 256);
    EXPECT_EQ(r_->colors[7].red, 7);
    uint32_t frame = 0;
    KEZ_CALL(HALDisplayGetAttributes, 16, &frame);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(r_->current), frame);
    EXPECT_EQ(r_->pixelAddress, frame);
    EXPECT_EQ(r_->active, 1);
    EXPECT_EQ(KEZ_CALL(HALScreenMgrIsIdle), 1);
    EXPECT_EQ(static_cast<void*>(KEZ_CALL(HALScreenMgrGetColorTable)), static_cast<void*>(&r_->colorCount));
    EXPECT_EQ(HALDisplayColourMap()[7], 0x070000u);  // the table went to the display's palette
}

TEST_F(ScreenMgr, ChangedAreasReachTheDisplaysDirtyRectangle) {
    ClearDirty();
    int16_t d[4];
    // Zero width: only the tick starts, nothing widens.
    EXPECT_EQ(KEZ_CALL(HALScreenMgrInvalidateRect, 5, 5, 0, 10), 0);
    Dirty(d);
    EXPECT_TRUE(d[2] < d[0] || d[3] < d[1]);
    EXPECT_EQ(KEZ_CALL(HALScreenMgrInvalidateRect, 5, 6, 10, 20), 0);
    Dirty(d);
    EXPECT_EQ(d[0], 5);
    EXPECT_EQ(d[1], 6);
    EXPECT_EQ(d[2], 15);
    EXPECT_EQ(d[3], 26);
    // The manager's own rectangle is empty again after the flush.
    EXPECT_GE(r_->dirty[0], r_->dirty[2]);
    // A draw on the screen bitmap reports its area.
    ClearDirty();
    HALBitmap screen{};
    PrvScreenMgrDrawingBitmap(&screen);
    HALDrawAttributes a{};
    a.foreIndex = 3;
    HALDrawState state{{0, 0, 160, 220}, &a, &screen};
    HALRect rect{20, 30, 4, 5};
    KEZ_CALL(HALDrawRectangle, &state, &rect, 0, 0);
    Dirty(d);
    EXPECT_EQ(d[0], 20);
    EXPECT_EQ(d[3], 35);
    EXPECT_EQ(r_->current[31 * 160 + 21], 3);
}

TEST_F(ScreenMgr, NestedUpdatesShareOnePageAndFlipBackAtTheLastEnd) {
    uint8_t* first = static_cast<uint8_t*>(KEZ_CALL(HALScreenMgrBeginUpdate, 0));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(r_->active, 0);
    uint8_t* second = static_cast<uint8_t*>(KEZ_CALL(HALScreenMgrBeginUpdate, 0));
    EXPECT_EQ(first, second);
    EXPECT_EQ(r_->lockDepth, 2);
    uint32_t visible = 0, displayed = 0;
    KEZ_CALL(HALDisplayGetAttributes, 14, &visible);
    KEZ_CALL(HALDisplayGetAttributes, 16, &displayed);
    EXPECT_NE(visible, displayed);  // the window shows the frozen copy
    EXPECT_EQ(KEZ_CALL(HALScreenMgrEndUpdate), 0);
    EXPECT_EQ(r_->lockDepth, 1);
    EXPECT_EQ(r_->active, 0);
    ClearDirty();
    EXPECT_EQ(KEZ_CALL(HALScreenMgrEndUpdate), 0);
    EXPECT_EQ(r_->lockDepth, 0);
    EXPECT_EQ(r_->active, 1);
    KEZ_CALL(HALDisplayGetAttributes, 16, &displayed);
    EXPECT_EQ(visible, displayed);
    int16_t d[4];
    Dirty(d);
    EXPECT_EQ(d[2], 160);  // the whole screen is flushed
    EXPECT_EQ(d[3], 220);
    EXPECT_EQ(KEZ_CALL(HALScreenMgrEndUpdate), 0);  // without an update: nothing
}

TEST_F(ScreenMgr, ModeChangesAndTranslationTables) {
    ASSERT_EQ(KEZ_CALL(HALDisplaySetAttributes, 10, 4), 0);
    ASSERT_EQ(KEZ_CALL(HALScreenMgrSetMode, 4), 0);
    EXPECT_EQ(r_->depth, 4);
    EXPECT_EQ(r_->rowBytes, 80);
    EXPECT_EQ(r_->colorCount, 16);
    uint32_t address;
    std::memcpy(&address, reinterpret_cast<uint8_t*>(r_->colors) + 16 * 4, 4);
    EXPECT_EQ(address, reinterpret_cast<uintptr_t>(r_->current));  // after the 16th entry

    // Palette changes: the busy flag, and each source depth's table mapped into the palette.
    struct Table4 {
        uint16_t count, reserved;
        HALColorEntry entries[16];
    } greys{16, 0, {}};
    for (int i = 0; i < 16; ++i) {
        auto g = static_cast<uint8_t>(255 - i * 17);
        greys.entries[i] = {static_cast<uint8_t>(i), g, g, g};
    }
    struct Table2 {
        uint16_t count, reserved;
        HALColorEntry entries[2];
    } mono{2, 0, {{0, 255, 255, 255}, {1, 0, 0, 0}}};
    const HALColorTable* tables[5] = {reinterpret_cast<HALColorTable*>(&mono), nullptr, nullptr, nullptr,
                                      reinterpret_cast<HALColorTable*>(&greys)};
    EXPECT_EQ(KEZ_CALL(HALScreenMgrSetPalette, 0, 16, 4, reinterpret_cast<HALColorTable*>(&greys), tables), 0);
    EXPECT_EQ(KEZ_CALL(HALScreenMgrIsIdle), 1);  // the first change clears it again
    ASSERT_NE(r_->translation[0], nullptr);
    EXPECT_EQ(r_->translation[0][0], 0);
    EXPECT_EQ(r_->translation[0][1], 15);
    EXPECT_EQ(KEZ_CALL(HALScreenMgrSetPalette, 0, 16, 4, nullptr, tables), 0);
    EXPECT_EQ(KEZ_CALL(HALScreenMgrIsIdle), 0);
}

TEST_F(ScreenMgr, StatusBarButtonsUpToTwenty) {
    uint8_t bitmap[4], selected[4];
    uint16_t icon = 7;
    EXPECT_EQ(KEZ_CALL(HALStatusBarGetIconID, 1, &icon), 0);  // no such button
    EXPECT_EQ(icon, 0);
    EXPECT_EQ(KEZ_CALL(HALStatusBarAddButton, 1, nullptr, nullptr), 0x0502);
    for (uint16_t id = 1; id <= 20; ++id) EXPECT_EQ(KEZ_CALL(HALStatusBarAddButton, id, bitmap, nullptr), 0);
    EXPECT_EQ(KEZ_CALL(HALStatusBarAddButton, 5, bitmap, selected), 0);  // an existing one: replaced
    EXPECT_EQ(KEZ_CALL(HALStatusBarAddButton, 21, bitmap, nullptr), 0xFFFF);
    EXPECT_EQ(KEZ_CALL(HALStatusBarGetIconID, 5, &icon), 1);
    EXPECT_EQ(icon, 0xFFFF);  // given directly, at 72 dpi
    EXPECT_EQ(KEZ_CALL(HALStatusBarGetIconID, 5, nullptr), 0);
    auto reports = os::ErrorReports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].message, "NULL bitmapP passed to Status bar");
    EXPECT_EQ(reports[1].message, "overrun max num buttons in Status bar");
    EXPECT_EQ(reports[2].message, "invalid pointer to icon bitmap ID");
    EXPECT_EQ(reports[2].file, "Kez/Common/Hardware/Src/HALScreenMgr");
}

// An OS version-3 bitmap (24-byte header, no colour table) of one colour, and families of them.
std::vector<uint8_t> OsBitmap(uint16_t width, uint16_t height, uint8_t depth, uint8_t index) {
    uint16_t rowBytes = static_cast<uint16_t>(((width * depth + 15) / 16) * 2);
    std::vector<uint8_t> b(24 + size_t{rowBytes} * height, 0);
    std::memcpy(&b[0], &width, 2);
    std::memcpy(&b[2], &height, 2);
    std::memcpy(&b[4], &rowBytes, 2);
    b[8] = depth;
    b[9] = 3;
    b[10] = 24;
    uint16_t density = 72;
    std::memcpy(&b[14], &density, 2);
    uint8_t fill = index;
    for (uint8_t bits = depth; bits < 8; bits = static_cast<uint8_t>(bits * 2))
        fill = static_cast<uint8_t>(fill | (fill << bits));
    std::memset(&b[24], fill, b.size() - 24);
    return b;
}
std::vector<uint8_t> Family(const std::vector<std::vector<uint8_t>>& members) {
    std::vector<uint8_t> all;
    for (size_t i = 0; i < members.size(); ++i) {
        size_t at = all.size();
        all.insert(all.end(), members[i].begin(), members[i].end());
        uint32_t next = i + 1 < members.size() ? static_cast<uint32_t>(members[i].size()) : 0;
        std::memcpy(&all[at + 20], &next, 4);
    }
    return all;
}

uint16_t MarkHandled(SysNotifyParamType* notify) {
    notify->handled = 1;
    return 0;
}

class InputArea : public ScreenMgr {
protected:
    uint8_t Pixel(int x, int y) const { return r_->current[y * r_->rowBytes + x]; }
    void Register(std::vector<uint8_t>& family, uint16_t attribute = 33) {
        auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(family.data()));
        ASSERT_EQ(KEZ_CALL(HALDisplaySetAttributes, attribute, address), 0);
    }
};

TEST_F(InputArea, TheChosenMemberIsDrawnAtTheBottomWithTheButtonsInUse) {
    // Depth 1, 8 and 16 members: the 8-bit one is drawn; it is half the 60-row area high.
    auto family = Family({OsBitmap(160, 30, 1, 1), OsBitmap(160, 30, 8, 5), OsBitmap(160, 30, 16, 0)});
    Register(family);
    auto button = OsBitmap(8, 8, 8, 9), selected = OsBitmap(8, 8, 8, 11);
    ASSERT_EQ(KEZ_CALL(HALStatusBarAddButton, 3, button.data(), selected.data()), 0);
    ASSERT_EQ(KEZ_CALL(HALStatusBarAddButton, 4, button.data(), nullptr), 0);
    os::SetStatusBarLayout({{4, 200, 8, 8, 3}, {150, 150, 8, 8, 4}});  // the second lies above the area
    ASSERT_EQ(KEZ_CALL(HALStatusBarLayout), 0);
    ASSERT_EQ(KEZ_CALL(HALRedrawInputArea, nullptr, 0), 0);
    EXPECT_EQ(Pixel(0, 160), 0);   // the upper half of the area keeps what it had
    EXPECT_EQ(Pixel(80, 189), 0);
    EXPECT_EQ(Pixel(80, 190), 5);  // the picture, bottom-aligned
    EXPECT_EQ(Pixel(159, 219), 5);
    EXPECT_EQ(Pixel(4, 200), 9);   // the button in use, at its bounds
    EXPECT_EQ(Pixel(11, 207), 9);
    EXPECT_EQ(Pixel(12, 207), 5);
    EXPECT_EQ(Pixel(150, 150), 0);  // not inside the area: not drawn

    // A selected redraw of the button's rectangle (bounds relative to the area) uses the selected
    // pictures and leaves the rest of the area alone.
    auto selectedFamily = Family({OsBitmap(160, 60, 8, 6)});
    Register(selectedFamily, 34);
    r_->current[219 * r_->rowBytes + 100] = 77;
    HALRect bounds{4, 40, 8, 8};
    ASSERT_EQ(KEZ_CALL(HALRedrawInputArea, &bounds, 1), 0);
    EXPECT_EQ(Pixel(4, 200), 11);
    EXPECT_EQ(Pixel(100, 219), 77);
    EXPECT_TRUE(os::ErrorReports().empty());
    os::SetStatusBarLayout({});
}

TEST_F(InputArea, ANotificationHandlerMayDrawItAndErrorsAreReported) {
    auto family = Family({OsBitmap(160, 60, 8, 5)});
    // Nothing registered yet.
    EXPECT_EQ(KEZ_CALL(HALRedrawInputArea, nullptr, 0), 0x0502);
    EXPECT_EQ(KEZ_CALL(HALRedrawInputArea, nullptr, 1), 0xFFFF);
    Register(family);
    auto registerDirect = reinterpret_cast<syssig::SysNotifyRegisterDirect*>(os::SystemTable()[sysslot::SysNotifyRegisterDirect]);
    ASSERT_EQ(registerDirect(0, FourCC("iaad"), MarkHandled, 0, nullptr), 0);
    ASSERT_EQ(KEZ_CALL(HALRedrawInputArea, nullptr, 0), 0);
    EXPECT_EQ(Pixel(0, 219), 0);  // handled: Kez draws nothing
    auto reports = os::ErrorReports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].message, "input area bitmap not registered");
    EXPECT_EQ(reports[1].message, "Needs bounds for selected state");
}

// A resource database of the device, with 'abmp' resources whose first byte tells them apart.
class StatusBarIcons : public ScreenMgr {
protected:
    void AddIcons(std::initializer_list<uint16_t> ids) {
        auto create = reinterpret_cast<syssig::DmCreateDatabaseNamed*>(os::SystemTable()[sysslot::DmCreateDatabaseNamed]);
        ASSERT_EQ(create(0, "DeviceResources", FourCC("pdvc"), FourCC("rsrc"), 1), 0);
        uint32_t db = sys::DmOpenDatabaseByTypeCreator(FourCC("rsrc"), FourCC("pdvc"), 1);
        ASSERT_NE(db, 0u);
        for (uint16_t id : ids) {
            void* h = sys::DmNewResource(db, FourCC("abmp"), id, 4);
            ASSERT_NE(h, nullptr);
            auto* p = static_cast<uint16_t*>(sys::MemHandleLock(h));
            p[0] = id;
            sys::MemHandleUnlock(h);
        }
    }
    static uint16_t IconOf(void* bitmap) { return bitmap ? *static_cast<uint16_t*>(bitmap) : 0; }
};

TEST_F(StatusBarIcons, IconsFollowTheDensityAndTheButtonsState) {
    AddIcons({5, 105, 505, 1005, 1105, 11005, 11505});
    struct Case {
        uint32_t density;
        bool existing;
        uint16_t normal, selected;
    } cases[] = {
        {72, false, 5, 105},        // a new button's selected icon is id + 100
        {72, true, 5, 505},         // an existing one's id + 500
        {108, false, 1005, 1105},
        {144, true, 11005, 11505},
        {144, false, 11005, 11005},  // no 11105: the normal icon stands for it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.density);
        PrvStatusBarReset();
        gKez.displayDensity = c.density;
        if (c.existing) {
            uint8_t given[4];
            ASSERT_EQ(KEZ_CALL(HALStatusBarAddButton, 7, given, nullptr), 0);
        }
        ASSERT_EQ(KEZ_CALL(HALStatusBarSetIcon, 7, 5), 0);
        void* normal = nullptr;
        void* selected = nullptr;
        ASSERT_TRUE(PrvStatusBarBitmaps(7, &normal, &selected));
        EXPECT_EQ(IconOf(normal), c.normal);
        EXPECT_EQ(IconOf(selected), c.selected);
        uint16_t icon = 0;
        EXPECT_EQ(KEZ_CALL(HALStatusBarGetIconID, 7, &icon), 1);
        EXPECT_EQ(icon, 5);
    }
    // A missing icon leaves none and is reported; icon 0 clears them.
    gKez.displayDensity = 72;
    EXPECT_EQ(KEZ_CALL(HALStatusBarSetIcon, 7, 6), 0);
    void* normal = this;
    ASSERT_TRUE(PrvStatusBarBitmaps(7, &normal, nullptr));
    EXPECT_EQ(normal, nullptr);
    auto reports = os::ErrorReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].message, "Status bar icon bitmap not found");
}

TEST_F(StatusBarIcons, LayoutScalesTheSystemsBoundsAndRefusesTheTwentyFirstButton) {
    struct Case {
        uint32_t density;
        StatusBarLayoutEntry entry;
        HALRect expected;
    } cases[] = {
        {72, {10, 3, 5, 7, 1}, {10, 3, 5, 7}},
        {108, {10, 3, 5, 7, 1}, {15, 5, 8, 10}},  // 4.5 rounds up to 5; 22.5 to 23
        {108, {-3, 0, 5, 2, 1}, {-4, 0, 7, 3}},   // -4.5 truncates toward zero
        {144, {10, 3, 5, 7, 1}, {20, 6, 10, 14}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.density);
        gKez.displayDensity = c.density;
        os::SetStatusBarLayout({c.entry});
        ASSERT_EQ(KEZ_CALL(HALStatusBarLayout), 0);
        HALRect bounds{};
        uint8_t inUse = 0;
        ASSERT_TRUE(PrvStatusBarButton(1, &bounds, &inUse));
        EXPECT_EQ(inUse, 1);
        EXPECT_EQ(bounds.x, c.expected.x);
        EXPECT_EQ(bounds.y, c.expected.y);
        EXPECT_EQ(bounds.width, c.expected.width);
        EXPECT_EQ(bounds.height, c.expected.height);
    }
    gKez.displayDensity = 72;
    std::vector<StatusBarLayoutEntry> many;
    for (uint16_t id = 1; id <= 21; ++id) many.push_back({0, 0, 1, 1, id});
    os::SetStatusBarLayout(many);
    EXPECT_EQ(KEZ_CALL(HALStatusBarLayout), 0xFFFF);
    gKez.displayDensity = 96;  // no scale factor
    EXPECT_EQ(KEZ_CALL(HALStatusBarLayout), 0xFFFF);
    gKez.displayDensity = 72;
    os::SetStatusBarLayout({});
    auto reports = os::ErrorReports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].message, "overrun max num buttons in Status bar");
    EXPECT_EQ(reports[1].message, "unknown scaling factor");
}

}  // namespace
}  // namespace kez::testing
