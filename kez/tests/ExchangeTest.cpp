// PIM data exchange through record files in /tmp.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include "kez/tests/KezTestSupport.h"

namespace kez::testing {
namespace {

template <typename Sig>
Sig* Slot(uint16_t slot) {
    return reinterpret_cast<Sig*>(ExportTable()[slot]);
}

using ReadProc = uint16_t(uint32_t, uint32_t, uint16_t*, uint32_t*, char*, uint32_t*);
using WriteProc = uint16_t(uint32_t, uint32_t, uint16_t*, uint32_t*, const char*);
using DeleteProc = uint16_t(uint32_t, uint16_t*, uint32_t*);
using CountProc = uint16_t(uint32_t, uint32_t, uint32_t*);

std::string Path(uint32_t app, uint32_t index, uint32_t id) {
    return "/tmp/PIMAPP_" + std::to_string(app) + "_" + std::to_string(index) + "_" + std::to_string(id) + ".txt";
}

class Exchange : public os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        PrvPatchSystemDispatchTable(os::SystemTable());
        __SetMyDispatchTable();
        Clean();
    }
    void TearDown() override {
        Clean();
        StandinTest::TearDown();
    }
    static void Clean() { std::system("rm -f /tmp/PIMAPP_7_* /tmp/PIMAPP_71_*"); }
};

TEST_F(Exchange, RecordsAreWrittenReadCountedAndDeleted) {
    uint16_t index = 3;
    uint32_t id = 0;
    ASSERT_EQ(Slot<WriteProc>(kezslot::PALPimExchangeWrite)(7, 0, &index, &id, "Ann Smith"), 0);
    EXPECT_EQ(id, 458755u);  // 7 * 65536 + 3
    std::ifstream in(Path(7, 3, 458755), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, std::string("Ann Smith", 10));  // with its terminating zero

    index = 0xFFFF;
    id = 7 * 65536 + 3;
    char buffer[4096];
    std::memset(buffer, 'x', sizeof buffer);
    uint32_t out = 9;
    ASSERT_EQ(Slot<ReadProc>(kezslot::PALPimExchangeRead)(7, 0, &index, &id, buffer, &out), 0);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(out, 0u);
    EXPECT_STREQ(buffer, "Ann Smith");

    // Application 71 and other names are not counted for application 7.
    std::ofstream(Path(71, 1, 71 * 65536 + 1)) << "x";
    std::ofstream("/tmp/PIMAPP_7_9_9.dat") << "x";
    uint32_t count = 0;
    EXPECT_EQ(Slot<CountProc>(kezslot::PALPimExchangeCount)(7, 0, &count), 0);
    EXPECT_EQ(count, 1u);

    index = 3;
    id = 0;
    EXPECT_EQ(Slot<DeleteProc>(kezslot::PALPimExchangeDelete)(7, &index, &id), 0);
    EXPECT_EQ(access(Path(7, 3, 458755).c_str(), F_OK), -1);
    EXPECT_EQ(Slot<DeleteProc>(kezslot::PALPimExchangeDelete)(7, &index, &id), 0xFFFF);
    EXPECT_EQ(Slot<ReadProc>(kezslot::PALPimExchangeRead)(7, 0, &index, &id, buffer, nullptr), 0xFFFF);
    unlink("/tmp/PIMAPP_7_9_9.dat");

    uint32_t categories = 0;
    const uint32_t* ids = nullptr;
    const char* const* names = nullptr;
    using CategoriesProc = uint16_t(uint32_t, uint32_t*, const uint32_t**, const char* const**);
    EXPECT_EQ(Slot<CategoriesProc>(kezslot::PALPimGetCategories)(7, &categories, &ids, &names), 0);
    ASSERT_EQ(categories, 4u);
    EXPECT_EQ(ids[3], 12u);
    EXPECT_STREQ(names[1], "Business");
}

TEST_F(Exchange, RecordFilesAreNeitherFollowedThroughLinksNorReadUnterminated) {
    std::string target = "/tmp/kez-exchange-target-" + std::to_string(getpid());
    std::ofstream(target) << "keep";
    std::string link = Path(7, 1, 7 * 65536 + 1);
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    uint16_t index = 1;
    uint32_t id = 0;
    char buffer[4096];
    EXPECT_EQ(Slot<WriteProc>(kezslot::PALPimExchangeWrite)(7, 0, &index, &id, "overwrite"), 0xFFFF);
    EXPECT_EQ(Slot<ReadProc>(kezslot::PALPimExchangeRead)(7, 0, &index, &id, buffer, nullptr), 0xFFFF);
    std::ifstream in(target);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "keep");
    unlink(link.c_str());
    unlink(target.c_str());

    // A file of 5000 bytes without a zero reads as 4095 bytes and a terminator.
    index = 2;
    id = 0;
    std::ofstream(Path(7, 2, 7 * 65536 + 2)) << std::string(5000, 'a');
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(Slot<ReadProc>(kezslot::PALPimExchangeRead)(7, 0, &index, &id, buffer, nullptr), 0);
    EXPECT_EQ(std::strlen(buffer), 4095u);
}

}  // namespace
}  // namespace kez::testing
