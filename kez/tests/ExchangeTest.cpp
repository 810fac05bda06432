// PIM data exchange through record files in /tmp.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
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


// The infrared exchange spools each beamed object to a new file under /tmp.
struct IrSocket {
    uint8_t head[12];
    uint32_t count;
    uint8_t middle[36];
    const char* description;
    const char* type;
    const char* name;
};
static_assert(sizeof(IrSocket) == 64);

using PutProc = uint16_t(IrSocket*);
using SendProc = uint32_t(IrSocket*, const void*, uint32_t, uint16_t*);
using DisconnectProc = uint16_t(IrSocket*, uint16_t);

std::string LatestSpool() {
    FILE* pipe = popen("ls -t /tmp/IrExgLibTmp.* 2>/dev/null | head -1", "r");
    char line[256] = {};
    if (pipe) {
        if (!fgets(line, sizeof line, pipe)) line[0] = '\0';
        pclose(pipe);
    }
    std::string path(line);
    if (!path.empty() && path.back() == '\n') path.pop_back();
    return path;
}

class Infrared : public Exchange {
protected:
    void SetUp() override {
        Exchange::SetUp();
        KezBootConfig config{};
        config.traceMask[0xFF / 8] |= 0x80 >> (0xFF % 8);
        KezGlobalsInit(&config, nullptr);
    }
    void TearDown() override {
        Slot<uint16_t()>(kezslot::PALExgIrLibClose)();
        Exchange::TearDown();
    }
};

TEST_F(Infrared, ObjectsAreSpooledAndSendErrorsAreNoByteCounts) {
    IrSocket socket{};
    socket.count = 1;
    socket.name = "_beam:card.vcf";
    uint16_t error = 0;
    // Before anything is open or put, sending answers no bytes and says why.
    EXPECT_EQ(Slot<SendProc>(kezslot::PALExgIrLibSend)(&socket, "x", 1, &error), 0u);
    EXPECT_EQ(error, 0x1502);
    EXPECT_EQ(Slot<PutProc>(kezslot::PALExgIrLibPut)(&socket), 0x1502);
    ASSERT_EQ(Slot<uint16_t()>(kezslot::PALExgIrLibOpen)(), 0);
    EXPECT_EQ(Slot<uint16_t()>(kezslot::PALExgIrLibOpen)(), 0x1502);
    EXPECT_EQ(Slot<SendProc>(kezslot::PALExgIrLibSend)(&socket, "x", 1, &error), 0u);
    EXPECT_EQ(error, 0x1507);
    EXPECT_EQ(Slot<PutProc>(kezslot::PALExgIrLibPut)(nullptr), 0x150E);

    ::testing::internal::CaptureStdout();
    ASSERT_EQ(Slot<PutProc>(kezslot::PALExgIrLibPut)(&socket), 0);
    std::string spool = LatestSpool();
    EXPECT_EQ(Slot<SendProc>(kezslot::PALExgIrLibSend)(&socket, "BEGIN:VCARD", 11, &error), 11u);
    EXPECT_EQ(error, 0);
    // A second put of an exchange whose first socket said one object: a warning, a clean close.
    IrSocket second = socket;
    second.name = "photo.jpg";
    second.type = "image/jpeg";
    ASSERT_EQ(Slot<PutProc>(kezslot::PALExgIrLibPut)(&second), 0);
    EXPECT_EQ(Slot<DisconnectProc>(kezslot::PALExgIrLibDisconnect)(&socket, 0), 0);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("PrvPALExgIrParseRequest(): Name=[card.vcf], Type=[.vcf]"), std::string::npos) << out;
    EXPECT_NE(out.find("PrvPALExgIrParseRequest(): Name=[photo.jpg], Type=[image/jpeg]"), std::string::npos) << out;
    EXPECT_NE(out.find("object count [1] != num object [2]"), std::string::npos) << out;
    EXPECT_NE(out.find("SPOOLING -> CLOSED"), std::string::npos) << out;
    std::ifstream in(spool);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "BEGIN:VCARD") << spool;
    struct stat status {};
    ASSERT_EQ(lstat(spool.c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode));
    std::system("rm -f /tmp/IrExgLibTmp.*");

    // A type with a space or of 80 characters is not taken; a name without text fails.
    ::testing::internal::CaptureStdout();
    IrSocket odd{};
    odd.name = "x:a.b";
    odd.type = "text/plain x";
    EXPECT_EQ(Slot<PutProc>(kezslot::PALExgIrLibPut)(&odd), 0);
    std::string longType = "a/" + std::string(78, 'b');
    odd.type = longType.c_str();
    EXPECT_EQ(Slot<PutProc>(kezslot::PALExgIrLibPut)(&odd), 0);
    odd.name = "scheme:";
    EXPECT_EQ(Slot<PutProc>(kezslot::PALExgIrLibPut)(&odd), 0x150E);
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("Type=[text/plain x]"), std::string::npos) << out;
    EXPECT_NE(out.find("Name=[a.b], Type=[.b]"), std::string::npos) << out;
    std::system("rm -f /tmp/IrExgLibTmp.*");
}

}  // namespace
}  // namespace kez::testing
