// The preferences database "Net Prefs": resources, settings, configurations and interfaces, on the
// stand-in OS's resource store.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/FourCC.h"
#include "sockra/Sockra.h"
#include "sockra/SockraPrefs.h"
#include "sockra/tests/SockraTest.h"

using namespace sockra;
using sockra::test::SockraTest;
using vantor::FourCC;

namespace {

class Prefs : public SockraTest {};

TEST_F(Prefs, ResourcesGetSetAndAppend) {
    const uint32_t type = FourCC("test");
    char buf[16] = {};
    uint16_t size = sizeof buf;
    EXPECT_EQ(SockraPrefsGet(type, 9, buf, &size), 0x121A);
    EXPECT_EQ(size, 0);
    ASSERT_EQ(SockraPrefsSet(type, 9, "hello", 5), 0);
    size = 3;
    EXPECT_EQ(SockraPrefsGet(type, 9, buf, &size), 0x120D);  // the caller's size was smaller
    EXPECT_EQ(size, 5);
    EXPECT_EQ(std::string(buf, 3), "hel");
    size = 0;
    EXPECT_EQ(SockraPrefsGet(type, 9, nullptr, &size), 0);  // the size only
    EXPECT_EQ(size, 5);
    ASSERT_EQ(SockraPrefsSet(type, 9, "abcdefgh", 8), 0);  // resized
    size = sizeof buf;
    EXPECT_EQ(SockraPrefsGet(type, 9, buf, &size), 0);
    EXPECT_EQ(std::string(buf, size), "abcdefgh");
    // Append grows to the maximum and cuts the data to the room gained.
    ASSERT_EQ(SockraPrefsAppend(type, 9, "XYZ", 3, 10), 0);
    size = sizeof buf;
    SockraPrefsGet(type, 9, buf, &size);
    EXPECT_EQ(std::string(buf, size), "abcdefghXY");
    ASSERT_EQ(SockraPrefsAppend(type, 9, "Q", 1, 10), 0);  // already at the maximum
    size = sizeof buf;
    SockraPrefsGet(type, 9, buf, &size);
    EXPECT_EQ(std::string(buf, size), "abcdefghXY");
    ASSERT_EQ(SockraPrefsAppend(type, 10, "new", 3, 10), 0);  // absent: created with the data
    ASSERT_EQ(SockraPrefsSet(type, 9, nullptr, 0), 0);      // size 0 removes
    size = sizeof buf;
    EXPECT_EQ(SockraPrefsGet(type, 9, buf, &size), 0x121A);
}

TEST_F(Prefs, SettingsAndTheirDefaults) {
    uint32_t v = 0xAAAAAAAA;
    uint16_t len = 4;
    EXPECT_EQ(SockraSettingGet(1, &v, &len), 0);  // a missing record counts as the default one
    EXPECT_EQ(v, 0u);
    len = 2;
    EXPECT_EQ(SockraSettingGet(1, &v, &len), 0x120D);
    uint32_t nine = 30000;
    ASSERT_EQ(SockraSettingSet(9, &nine, 4), 0);
    len = 4;
    EXPECT_EQ(SockraSettingGet(9, &v, &len), 0);
    EXPECT_EQ(v, 30000u);
    len = 4;
    EXPECT_EQ(SockraSettingGet(0x1001, &v, &len), 0);  // the trace record's default
    EXPECT_EQ(v, 2048u);
    uint8_t wrap = 0;
    len = 1;
    EXPECT_EQ(SockraSettingGet(0x1003, &wrap, &len), 0);
    EXPECT_EQ(wrap, 1);
    // Whole-resource settings, with their limits.
    std::string user = "someone";
    ASSERT_EQ(SockraSettingSet(6, user.data(), static_cast<uint16_t>(user.size())), 0);
    char text[80] = {};
    len = sizeof text;
    EXPECT_EQ(SockraSettingGet(6, text, &len), 0);
    EXPECT_EQ(std::string(text, len), user);
    std::vector<char> tooLong(65, 'x');
    EXPECT_NE(SockraSettingSet(6, tooLong.data(), 65), 0);
    EXPECT_EQ(SockraSettingGet(0x4242, &v, &len), 0x1218);
    // Setting 0 resets: the general record is gone again.
    ASSERT_EQ(SockraSettingSet(0, nullptr, 0), 0);
    len = 4;
    EXPECT_EQ(SockraSettingGet(9, &v, &len), 0);
    EXPECT_EQ(v, 0u);
}

TEST_F(Prefs, ConfigurationsOnAFreshStore) {
    char names[16][32];
    uint16_t count = 16;
    ASSERT_EQ(SockraConfigList(names, &count), 0);
    ASSERT_EQ(count, 6);
    EXPECT_STREQ(names[0], ".Default");
    EXPECT_STREQ(names[5], "_RAMCTP");
    uint16_t len = 0;
    EXPECT_EQ(SockraSettingGet(0x1006, nullptr, &len), 0);  // the default list was written
    EXPECT_EQ(len, 584);

    uint16_t index = 0, target = 0;
    uint8_t another = 9;
    ASSERT_EQ(SockraConfigIndexFromName(".CTPWireless", &index), 0);
    EXPECT_EQ(index, 4);
    ASSERT_EQ(SockraConfigAliasGet(4, &target, &another), 0);
    EXPECT_EQ(target, 5);
    EXPECT_EQ(another, 0);
    EXPECT_EQ(SockraConfigIndexFromName("absent", &index), 0x1273);
    EXPECT_EQ(SockraConfigSave("_Mine"), 0x1276);
    EXPECT_EQ(SockraConfigSave(".Mine"), 0x1276);

    // A saved configuration keeps the live settings and brings them back when made active.
    uint32_t v = 111;
    ASSERT_EQ(SockraSettingSet(1, &v, 4), 0);
    ASSERT_EQ(SockraConfigSave("Home"), 0);
    ASSERT_EQ(SockraConfigIndexFromName("Home", &index), 0);
    EXPECT_EQ(index, 6);
    v = 222;
    ASSERT_EQ(SockraSettingSet(1, &v, 4), 0);
    ASSERT_EQ(SockraConfigMakeActive(index), 0);
    len = 4;
    ASSERT_EQ(SockraSettingGet(1, &v, &len), 0);
    EXPECT_EQ(v, 111u);
    // Aliases: set, refused on a non-alias, and deletion rules.
    ASSERT_EQ(SockraConfigAliasSet(0, index), 0);
    ASSERT_EQ(SockraConfigAliasGet(0, &target, &another), 0);
    EXPECT_EQ(target, index);
    EXPECT_EQ(SockraConfigAliasSet(index, 0), 0x1277);
    EXPECT_EQ(SockraConfigDelete(0), 0x1274);
    EXPECT_EQ(SockraConfigRename(5, "Other"), 0x1274);
    ASSERT_EQ(SockraConfigRename(index, "Away"), 0);
    ASSERT_EQ(SockraConfigDelete(index), 0);
    count = 16;
    ASSERT_EQ(SockraConfigList(names, &count), 0);
    EXPECT_EQ(count, 6);
    // The built-in one gets its values when made active.
    ASSERT_EQ(SockraConfigMakeActive(4), 0);  // through .CTPWireless to _RAMCTP
    len = 4;
    ASSERT_EQ(SockraSettingGet(9, &v, &len), 0);
    EXPECT_EQ(v, 30000u);
}

TEST_F(Prefs, Interfaces) {
    uint32_t creator = 0;
    uint16_t instance = 0;
    EXPECT_EQ(SockraIFGet(0, &creator, &instance), 0);
    EXPECT_EQ(creator, FourCC("ppp_"));
    EXPECT_EQ(instance, 1);
    EXPECT_EQ(SockraIFGet(1, &creator, &instance), 0x121C);
    EXPECT_EQ(SockraIFAttach(FourCC("loop"), 0, 0), 0);
    EXPECT_EQ(Reports(), 0u);
    EXPECT_EQ(SockraIFAttach(FourCC("abcd"), 0, 0), 0);  // reported, still 0
    EXPECT_EQ(vantor::os::ErrorReports().back().message, "SockraIFAttach(creator = abcd)");
    uint8_t up = 0;
    uint16_t len = 1;
    EXPECT_EQ(SockraIFSettingGet(FourCC("ppp_"), 1, 1, &up, &len), 0);
    EXPECT_EQ(up, 1);
    len = 0;
    EXPECT_EQ(SockraIFSettingGet(FourCC("ppp_"), 1, 1, &up, &len), 0x120D);
    // Not open: the interface cannot come up.
    EXPECT_EQ(SockraIFUp(FourCC("ppp_"), 1), 0x1202);
    void* ifP = &up;
    EXPECT_EQ(SockraInterfacePtr(FourCC("ppp_"), 1, &ifP), 0x121C);
    EXPECT_EQ(ifP, nullptr);
    EXPECT_EQ(SockraTuningValueGet(), 24u);
}

}  // namespace
