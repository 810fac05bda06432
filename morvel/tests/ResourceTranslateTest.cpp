// Translation of 68K UI resources into the native layouts the UI library reads: the type map,
// forms and their objects, menu bars, integers and alerts, and the database side (a translation
// replaces an older one; a form's menu bar is translated with it and a missing one fails it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/SystemCalls.h"
#include "morvel/traps/ResourceTranslate.h"
#include "standin/os/DatabaseStore.h"

namespace morvel::test {
namespace {

using vantor::FourCC;
namespace sys = vantor::sys;

// Big-endian bytes as a 68K resource holds them.
struct Be {
    std::vector<uint8_t> b;
    Be& W(uint16_t v) {
        return b.push_back(static_cast<uint8_t>(v >> 8)), b.push_back(static_cast<uint8_t>(v)), *this;
    }
    Be& L(uint32_t v) { return W(static_cast<uint16_t>(v >> 16)).W(static_cast<uint16_t>(v)); }
    Be& B(uint8_t v) { return b.push_back(v), *this; }
    Be& S(const char* text) {
        b.insert(b.end(), text, text + std::strlen(text) + 1);
        return *this;
    }
    Be& Pad(size_t to) { return b.resize(to, 0), *this; }
};

uint16_t N16(const std::vector<uint8_t>& b, size_t at) {
    uint16_t v;
    std::memcpy(&v, &b.at(at + 1) - 1, 2);
    return v;
}
uint32_t N32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, &b.at(at + 3) - 3, 4);
    return v;
}

// A form of the given objects (kind, 68K record) with a menu ID.
std::vector<uint8_t> Form(const std::vector<std::pair<uint8_t, std::vector<uint8_t>>>& objects,
                          uint16_t menu = 0) {
    Be f;
    f.Pad(8).W(0x0800).W(0).W(0).W(160).W(160).Pad(40).W(1000).L(0x80000000u).Pad(56).W(7).W(8).W(menu);
    f.W(static_cast<uint16_t>(objects.size())).Pad(68);
    uint32_t at = static_cast<uint32_t>(68 + 6 * objects.size());
    for (const auto& [kind, record] : objects) {
        f.B(kind).B(0).L(at);
        at += static_cast<uint32_t>((record.size() + 1) & ~size_t{1});
    }
    for (const auto& [kind, record] : objects) {
        f.b.insert(f.b.end(), record.begin(), record.end());
        if (record.size() % 2) f.B(0);
    }
    return f.b;
}

std::vector<uint8_t> Label(const char* text) {
    return Be().W(5).W(10).W(20).W(0x8000).B(1).B(0).L(0).S(text).b;
}

class ResourceTranslateTest : public MorvelTest {};

TEST_F(ResourceTranslateTest, TypesMapToTheirNativeTypesAndOthersToThemselves) {
    const struct {
        char from[5];
        char to[5];
    } cases[] = {{"tFRM", "afrm"}, {"Talt", "aalt"}, {"MBAR", "amnu"}, {"Tbmp", "abmp"}, {"NFNT", "afnt"},
                 {"nfnt", "afnx"}, {"tint", "aint"}, {"DLST", "adwd"}, {"feat", "feat"}, {"libr", "libr"}};
    for (const auto& c : cases) EXPECT_EQ(RsrcMapType(FourCC(c.from)), FourCC(c.to)) << c.from;
}

// A form's header, a label (texts padded to four bytes with their terminator), a field and a text
// button land at the native offsets with their attribute words in native bit order.
TEST_F(ResourceTranslateTest, AFormBecomesItsNativeRecords) {
    Be field;
    field.W(1001).W(44).W(28).W(100).W(12).W(0xF040).L(0).Pad(28).W(20).Pad(38).B(0).B(1);
    Be button;
    button.W(1002).W(60).W(100).W(40).W(14).L(0).W(0xE100).B(0).B(0).B(0).B(0).S("OK");
    const std::vector<uint8_t> form = Form({{8, Label("abc")},
                                            {8, Label("abcd")},
                                            {0, field.b},
                                            {1, button.b},
                                            {9, Be().W(0).W(0).W(160).W(15).L(0).S("T").b}});
    std::vector<uint8_t> n;
    ASSERT_EQ(RsrcTranslateImage(FourCC("tFRM"), form.data(), static_cast<uint32_t>(form.size()), &n), 0);
    EXPECT_EQ(N16(n, 52), 1000);    // form ID
    EXPECT_EQ(N16(n, 12), 160);     // window bounds' width
    EXPECT_EQ(N16(n, 40), 0x0001);  // form attributes: the first 68K bit is native bit 0
    EXPECT_EQ(N16(n, 56), 7);
    EXPECT_EQ(N16(n, 58), 8);
    EXPECT_EQ(N16(n, 62), 5);
    // Object entries: offsets from the resource's start, each record right after the previous.
    const uint32_t first = 68 + 8 * 5;
    const uint32_t sizes[] = {16 + 4, 16 + 8, 40, 20 + 4, 12 + 4};
    uint32_t at = first;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(N32(n, 68 + 8 * i), at) << i;
        at += sizes[i];
    }
    EXPECT_EQ(n.size(), at);
    EXPECT_EQ(n[68 + 4], 8);
    EXPECT_EQ(N16(n, first + 8), 5);        // label ID
    EXPECT_EQ(N16(n, first + 0), 10);       // label x
    EXPECT_EQ(N16(n, first + 10), 0x0001);  // usable
    EXPECT_STREQ(reinterpret_cast<const char*>(&n[first + 16]), "abc");
    const uint32_t f = first + 20 + 24;
    EXPECT_EQ(N16(n, f + 8), 1001);
    EXPECT_EQ(N16(n, f + 0), 44);
    EXPECT_EQ(N16(n, f + 10), 0x010F);  // usable, visible, editable, single line, grey underline
    EXPECT_EQ(N16(n, f + 28), 20);
    EXPECT_EQ(n[f + 39], 1);
    const uint32_t b = f + 40;
    EXPECT_EQ(N16(n, b), 1002);
    EXPECT_EQ(N16(n, b + 2), 0x0027);  // usable, enabled, visible, frame 1
    EXPECT_EQ(N16(n, b + 8), 40);
    EXPECT_STREQ(reinterpret_cast<const char*>(&n[b + 20]), "OK");
    EXPECT_STREQ(reinterpret_cast<const char*>(&n[b + 24 + 12]), "T");
    EXPECT_TRUE(Reports().empty());
}

TEST_F(ResourceTranslateTest, BadFormsFailWithoutReadingPastTheResource) {
    std::vector<uint8_t> n;
    // Lines, frames and rectangles have no native record: a structural error, reported.
    std::vector<uint8_t> lines = Form({{5, Be().W(0).W(0).W(10).W(10).b}});
    EXPECT_EQ(RsrcTranslateImage(FourCC("tFRM"), lines.data(), static_cast<uint32_t>(lines.size()), &n), 0);
    const std::vector<std::string> reports = Reports();
    EXPECT_EQ(std::count_if(reports.begin(), reports.end(),
                            [](const std::string& r) {
                                return r.find("Unknown form object type") != std::string::npos;
                            }),
              1);
    // An object list longer than the resource, an unterminated label, a table whose rows are missing.
    std::vector<uint8_t> cut = Form({{8, Label("abc")}});
    cut.resize(70);
    std::vector<uint8_t> open = Form({{8, Label("abc")}});
    open.pop_back();
    open.pop_back();
    std::vector<uint8_t> table = Form({{3, Be().W(1).W(0).W(0).W(100).W(50).W(0).W(3).W(9000).Pad(74).b}});
    for (const auto* image : {&cut, &open, &table})
        EXPECT_EQ(RsrcTranslateImage(FourCC("tFRM"), image->data(), static_cast<uint32_t>(image->size()), &n),
                  kRsrcErrParam);
}

TEST_F(ResourceTranslateTest, IntegersAlertsAndMenuBarsAreSwapped) {
    std::vector<uint8_t> n;
    Be integer;
    integer.L(0x12345678).S("x");
    ASSERT_EQ(
        RsrcTranslateImage(FourCC("tint"), integer.b.data(), static_cast<uint32_t>(integer.b.size()), &n), 0);
    EXPECT_EQ(N32(n, 0), 0x12345678u);
    EXPECT_EQ(n.size(), integer.b.size());
    Be alert;
    alert.W(2).W(3).W(1).W(0).S("Title").S("Text");
    ASSERT_EQ(RsrcTranslateImage(FourCC("Talt"), alert.b.data(), static_cast<uint32_t>(alert.b.size()), &n),
              0);
    EXPECT_EQ(N16(n, 0), 2);
    EXPECT_EQ(N16(n, 2), 3);
    EXPECT_STREQ(reinterpret_cast<const char*>(&n[8]), "Title");
    // One menu with one item: the native menu record is two bytes longer, so every offset grows by 2.
    Be bar;
    bar.Pad(18).W(4).W(5).Pad(26).W(1).Pad(32);
    bar.L(0).W(1).W(2).W(3).W(4).L(0).W(5).W(6).W(7).W(8).L(74).W(0x8001).L(66);
    bar.W(100).B('N').B(0x80).L(76).S("M").S("New");
    ASSERT_EQ(bar.b.size(), 80u);
    ASSERT_EQ(RsrcTranslateImage(FourCC("MBAR"), bar.b.data(), static_cast<uint32_t>(bar.b.size()), &n), 0);
    EXPECT_EQ(n.size(), 82u);
    EXPECT_EQ(N16(n, 22), 1);
    EXPECT_EQ(N16(n, 32 + 4), 1);
    EXPECT_EQ(N32(n, 32 + 24), 76u);  // title
    EXPECT_EQ(N16(n, 32 + 30), 1);    // item count without the top bit
    EXPECT_EQ(N32(n, 32 + 32), 68u);  // item list
    EXPECT_EQ(N16(n, 68), 100);
    EXPECT_EQ(n[70], 'N');
    EXPECT_EQ(n[71], 1);  // hidden
    EXPECT_EQ(N32(n, 72), 78u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&n[78]), "New");
}

// A plain font keeps its header, image and location table; the offset-width table is not carried,
// so its location word is 0. A font whose tables lie beyond the resource is refused.
TEST_F(ResourceTranslateTest, APlainFontDropsTheLocationOfItsOffsetWidthTable) {
    Be font;
    font.W(0x9000).W('A').W('B').W(5).W(0).W(0).W(5).W(2).W(20).W(2).W(0).W(0).W(1);  // 26-byte header
    font.W(0xF800).W(0x8800).W(0).W(5).W(10).W(15);  // image (one row word, two rows), locations
    font.W(0x0105).W(0x0105).W(0x0105).W(0xFFFF);    // the offset-width table
    std::vector<uint8_t> n;
    ASSERT_EQ(RsrcTranslateImage(FourCC("NFNT"), font.b.data(), static_cast<uint32_t>(font.b.size()), &n), 0);
    EXPECT_EQ(n.size(), 26u + 2 * (2 + 4));
    EXPECT_EQ(N16(n, 2), 'A');
    EXPECT_EQ(N16(n, 16), 0);  // the offset-width table's location
    EXPECT_EQ(N16(n, 14), 2);
    EXPECT_EQ(n[26], 0xF8);  // the image as it is
    EXPECT_EQ(N16(n, 30 + 2), 5);
    EXPECT_EQ(N16(n, 30 + 6), 15);
    EXPECT_EQ(RsrcTranslateImage(FourCC("NFNT"), font.b.data(), 30, &n), kRsrcErrParam);
}

class ResourceDatabases : public MorvelTest {
  protected:
    void SetUp() override {
        MorvelTest::SetUp();
        source_ = Db("App");
        cache_ = Db("Cache");
    }
    static uint32_t Db(const char* name) {
        EXPECT_EQ(sys::DmCreateDatabaseNamed(0, name, FourCC("test"), FourCC("appl"), 1), 0);
        const uint32_t id = sys::DmFindDatabaseByNameCreatorType(name, FourCC("test"), FourCC("appl"));
        return sys::DmOpenDatabaseByID(id, 3);
    }
    void Add(uint32_t type, uint16_t id, const std::vector<uint8_t>& bytes) {
        AddResource(source_, type, id, bytes);
    }
    int Count(uint32_t db, uint32_t type) {
        int n = 0;
        for (uint16_t i = 0; i < sys::DmNumResources(db); ++i) {
            uint32_t t = 0;
            sys::DmResourceInfo(db, i, &t, nullptr, nullptr);
            n += t == type;
        }
        return n;
    }
    uint32_t source_ = 0, cache_ = 0;
};

TEST_F(ResourceDatabases, TranslationsReplaceOlderOnesAndFormsBringTheirMenuBar) {
    Add(FourCC("tFRM"), 1000, Form({{8, Label("abc")}}));
    Add(FourCC("tFRM"), 1001, Form({{8, Label("abc")}}, 2000));
    Add(FourCC("tFRM"), 1002, Form({{8, Label("abc")}}, 3000));
    Be bar;
    bar.Pad(26).W(0).Pad(32);
    Add(FourCC("MBAR"), 2000, bar.b);
    Add(FourCC("feat"), 1, {1, 2, 3, 4});
    EXPECT_EQ(RsrcTranslateByID(source_, cache_, FourCC("tFRM"), 1000), 0);
    EXPECT_EQ(RsrcTranslateByID(source_, cache_, FourCC("tFRM"), 1000), 0);
    EXPECT_EQ(Count(cache_, FourCC("afrm")), 1);  // translated twice, held once
    EXPECT_EQ(Count(cache_, FourCC("amnu")), 0);  // no menu ID, no menu bar
    EXPECT_EQ(RsrcTranslateByID(source_, cache_, FourCC("tFRM"), 1001), 0);
    EXPECT_EQ(Count(cache_, FourCC("amnu")), 1);
    EXPECT_NE(RsrcTranslateByID(source_, cache_, FourCC("tFRM"), 1002), 0);  // its menu bar is missing
    EXPECT_EQ(Count(cache_, FourCC("afrm")), 2);
    EXPECT_EQ(RsrcTranslateIndexed(source_, cache_, sys::DmFindResource(source_, FourCC("feat"), 1, nullptr)),
              kRsrcErrNothingToDo);
    EXPECT_EQ(Count(cache_, FourCC("feat")), 0);
    // A database that holds no resources is neither a source nor a destination.
    vantor::os::WithDatabase(cache_, [](vantor::os::DatabaseEntry& db) { db.attributes &= ~0x0001; });
    EXPECT_EQ(RsrcTranslateByID(source_, cache_, FourCC("tFRM"), 1000), kRsrcErrNotResourceDb);
}

}  // namespace
}  // namespace morvel::test
