// The screen manager through Kez's slots over the display: the screen bitmap it lays out, the
// batching of changed areas into the display's dirty rectangle, nested locked updates, depth
// changes and the colour translation tables.
#include <gtest/gtest.h>

#include <cstring>

#include "kez/src/HALDisplay.h"
#include "kez/src/HALScreenMgr.h"
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

}  // namespace
}  // namespace kez::testing
