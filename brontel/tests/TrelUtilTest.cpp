// Argument lists of command payloads, log traces and status lines against the stand-in OS.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "brontel/TrelUtil.h"
#include "common/module/ModuleGlue.h"
#include "common/module/ProgramModule.h"
#include "common/module/SystemSlots.h"
#include "standin/os/StandinTest.h"

VANTOR_PROGRAM_AS_MODULE("Brn_")

namespace brontel {
namespace {

using vantor::os::Library;
namespace slot = vantor::sysslot;

class TrelUtilTest : public vantor::os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        vantor::glue::SetSystemTable(vantor::os::SystemTable());
        vantor::os::OnCall(Library::System, slot::DlkSetLogEntry, [this](const vantor::os::SlotCall& c) {
            log_.emplace_back(reinterpret_cast<const char*>(c.args[0]), c.args[1] & 0xFFFF);
            EXPECT_EQ(c.args[2] & 0xFF, 1u);  // appended
            return 0u;
        });
    }
    std::vector<std::string> Reports() const {
        std::vector<std::string> out;
        for (const auto& r : vantor::os::ErrorReports()) {
            EXPECT_EQ(r.file, "Libraries/TrelUtil/Src/TrelUtil");
            out.push_back(r.message);
        }
        return out;
    }
    std::vector<std::string> log_;
};

// Items (tag, data) one after the other, odd data padded.
std::vector<uint8_t> List(const std::vector<std::pair<uint16_t, std::string>>& items) {
    std::vector<uint8_t> out;
    for (const auto& [tag, data] : items) {
        uint8_t header[kArgHeaderSize];
        EXPECT_EQ(TrelUtilArgHeaderPut(header, tag, static_cast<uint32_t>(data.size())), kArgHeaderSize);
        out.insert(out.end(), header, header + kArgHeaderSize);
        out.insert(out.end(), data.begin(), data.end());
        if (data.size() & 1) out.push_back(0);
    }
    return out;
}

TEST_F(TrelUtilTest, ArgumentListsAreWalkedWithinTheirLength) {
    const std::vector<uint8_t> list = List({{0x21, "abc"}, {0x20, "sixsix"}});
    ASSERT_EQ(list.size(), 22u);
    EXPECT_EQ(list[10], 0x00);  // the second header starts at 10 (6 + 3 raised to 4)
    EXPECT_EQ(list[11], 0x20);
    const uint8_t* data;
    uint32_t length;
    ASSERT_TRUE(TrelUtilArgListParse(list.data(), 22, 2, 0x20, &data, &length));
    EXPECT_EQ(data, list.data() + 16);
    EXPECT_EQ(length, 6u);
    ASSERT_TRUE(TrelUtilArgListParse(list.data(), 22, 2, 0x21, &data, &length));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), length), "abc");
    // Absent after the items walked: sound, nothing found.
    EXPECT_TRUE(TrelUtilArgListParse(list.data(), 22, 2, 0x99, &data, &length));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_TRUE(TrelUtilArgListParse(list.data(), 22, 1, 0x20, &data, &length));  // only the first walked
    EXPECT_EQ(data, nullptr);
    EXPECT_TRUE(TrelUtilArgListParse(list.data(), 22, 0, 0x21, &data, &length));
    EXPECT_TRUE(Reports().empty());

    // Unsound: more items than the list holds, data past the end, a length that would wrap.
    struct Bad {
        std::vector<uint8_t> list;
        uint32_t count;
        uint16_t wanted;
    } bad[] = {
        {list, 3, 0x99},
        {std::vector<uint8_t>(list.begin(), list.end() - 1), 2, 0x20},
        {std::vector<uint8_t>(list.begin(), list.end() - 1), 2, 0x99},
        {{0x00, 0x21, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x20, 0, 0, 0, 0}, 2, 0x20},
        {{0x00, 0x21, 0x00}, 1, 0x21},
    };
    for (const Bad& b : bad) {
        data = b.list.data();
        length = 7;
        EXPECT_FALSE(TrelUtilArgListParse(b.list.data(), static_cast<uint32_t>(b.list.size()), b.count, b.wanted,
                                          &data, &length));
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(length, 0u);
    }
    EXPECT_FALSE(TrelUtilArgListParse(nullptr, 0, 1, 0x20, &data, &length));
    EXPECT_EQ(Reports(), std::vector<std::string>(6, "bad TREL Util arg list"));
}

TEST_F(TrelUtilTest, TracesGoToTheDesktopLinkLogAndLongOnesAreReported) {
    TrelUtilSyncLogTrace("connect %d to %s", 7, "host");
    TrelUtilLogString("plain");
    TrelUtilLogString(nullptr);
    TrelUtilSyncLogTrace(nullptr);
    TrelUtilSyncLogTrace("%s", std::string(120, 'x').c_str());  // cut at the buffer, reported
    ASSERT_EQ(log_.size(), 3u);
    EXPECT_EQ(log_[0], "connect 7 to host");
    EXPECT_EQ(log_[1], "plain");
    EXPECT_EQ(log_[2], std::string(95, 'x'));
    EXPECT_EQ(Reports(), (std::vector<std::string>{"null arg", "NULL string passed", "TrelUtilSyncLogTrace buf overflow"}));
}

TEST_F(TrelUtilTest, StatusLinesDrawLabelAndHexValueThenMoveDown) {
    std::vector<std::string> drawn;
    std::vector<uint32_t> fonts;
    vantor::os::OnCall(Library::System, slot::FntCharsWidth, [](const vantor::os::SlotCall&) { return 30u; });
    vantor::os::OnCall(Library::System, slot::FntSetFont, [&](const vantor::os::SlotCall& c) {
        fonts.push_back(c.args[0] & 0xFF);
        return 2u;  // the font that was set before
    });
    vantor::os::OnCall(Library::System, slot::StrIToH, [](const vantor::os::SlotCall& c) {
        std::snprintf(reinterpret_cast<char*>(c.args[0]), 9, "%08X", c.args[1]);
        return c.args[0];
    });
    vantor::os::OnCall(Library::System, slot::WinDrawChars, [&](const vantor::os::SlotCall& c) {
        drawn.push_back(std::string(reinterpret_cast<const char*>(c.args[0]), c.args[1] & 0xFFFF) + "@" +
                        std::to_string(static_cast<int16_t>(c.args[2])) + "," +
                        std::to_string(static_cast<int16_t>(c.args[3])));
        return 0u;
    });
    int16_t y = 20;
    BrontelStatusLines("Sent:", 0x1234ABCD, &y);
    EXPECT_EQ(y, 29);
    EXPECT_EQ(drawn, (std::vector<std::string>{"Sent:@0,20", "1234ABCD@30,20"}));
    EXPECT_EQ(fonts, (std::vector<uint32_t>{0, 2}));
    BrontelStatusLines("x", 1, nullptr);
    EXPECT_EQ(Reports(), std::vector<std::string>{"null arg"});
}

}  // namespace
}  // namespace brontel
