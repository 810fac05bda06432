// Databases to and from files on a volume, against a file-system library whose files are byte
// strings (MemoryFileSystem.h): an export imports back whole, the header and resources of a
// database file are read from it, and a damaged file is refused by every call without adding a
// database.
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/ResourceDb.h"
#include "common/module/SystemCalls.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/StandinTest.h"
#include "standin/os/tests/MemoryFileSystem.h"

namespace vantor::os {
namespace {

using Bytes = std::vector<uint8_t>;

class VolumeDatabasesTest : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        volume_ = fs_.Install(3);
        ASSERT_NE(volume_, 0);
    }
    void TearDown() override {
        fs_.Uninstall();
        StandinTest::TearDown();
    }
    uint16_t Import(const char* path, uint32_t* id) {
        return Sys<uint16_t(uint16_t, const char*, uint32_t*)>(sysslot::VFSImportDatabaseFromFile, volume_,
                                                               path, id);
    }
    uint32_t OpenFile(const char* path) {
        uint32_t ref = 0;
        EXPECT_EQ((Sys<uint16_t(uint16_t, const char*, uint16_t, uint32_t*)>(sysslot::FileSystemSel3, volume_,
                                                                             path, uint16_t{2}, &ref)),
                  0);
        return ref;
    }
    uint16_t Info(uint32_t ref, char* name, uint32_t* type, uint32_t* creator, uint16_t* count) {
        using FileDBInfo = uint16_t(uint32_t, char*, uint16_t*, uint16_t*, uint32_t*, uint32_t*, uint32_t*,
                                    uint32_t*, void**, void**, uint32_t*, uint32_t*, uint16_t*);
        return Sys<FileDBInfo>(sysslot::FileSystemSel37, ref, name, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, type, creator, count);
    }
    uint16_t GetResource(uint32_t ref, uint32_t type, uint16_t id, void** handle) {
        return Sys<uint16_t(uint32_t, uint32_t, uint16_t, void**)>(sysslot::FileSystemSel36, ref, type, id,
                                                                   handle);
    }
    MemoryFileSystem fs_;
    uint16_t volume_ = 0;
};

TEST_F(VolumeDatabasesTest, AnExportedDatabaseReadsAndImportsBackWhole) {
    auto create =
        reinterpret_cast<syssig::DmCreateDatabaseNamed*>(SystemTable()[sysslot::DmCreateDatabaseNamed]);
    ASSERT_EQ(create(0, "Clock", FourCC("clok"), FourCC("appl"), 1), 0);
    uint32_t id = Sys<syssig::DmFindDatabaseByNameCreatorType>(sysslot::DmFindDatabaseByNameCreatorType,
                                                               "Clock", FourCC("clok"), FourCC("appl"));
    for (auto [type, rid, text] :
         {std::tuple{FourCC("tAIN"), 1000, "Clock Face"}, std::tuple{FourCC("code"), 1, "x"}}) {
        void* h = Sys<syssig::DmNewResource>(sysslot::DmNewResource, id, type, static_cast<uint16_t>(rid),
                                             static_cast<uint32_t>(std::strlen(text) + 1));
        std::strcpy(static_cast<char*>(Sys<syssig::MemHandleLock>(sysslot::MemHandleLock, h)), text);
        Sys<syssig::MemHandleUnlock>(sysslot::MemHandleUnlock, h);
    }
    using Export = uint16_t(uint16_t, const char*, uint16_t, uint32_t);
    ASSERT_EQ(Sys<Export>(sysslot::FileSystemSel35, volume_, "/Clock.vrx", uint16_t{0}, id), 0);
    const Bytes written = fs_.files["/Clock.vrx"];
    ResourceDb parsed;
    ASSERT_TRUE(ResourceDbParse(written.data(), written.size(), &parsed, nullptr));
    EXPECT_EQ(parsed.name, "Clock");
    EXPECT_EQ(parsed.creator, FourCC("clok"));
    ASSERT_EQ(parsed.resources.size(), 2u);
    EXPECT_STREQ(reinterpret_cast<const char*>(parsed.resources[0].bytes.data()), "Clock Face");
    // An existing file is not overwritten; an unknown database writes nothing.
    EXPECT_EQ(Sys<Export>(sysslot::FileSystemSel35, volume_, "/Clock.vrx", uint16_t{0}, id), 0x2A06);
    EXPECT_EQ(fs_.files["/Clock.vrx"], written);
    EXPECT_NE(Sys<Export>(sysslot::FileSystemSel35, volume_, "/None.vrx", uint16_t{0}, 0x1234u), 0);
    EXPECT_EQ(fs_.files.count("/None.vrx"), 0u);

    // The file's header and one of its resources, read wherever the file stands.
    uint32_t ref = OpenFile("/Clock.vrx");
    uint32_t type = 0, creator = 0;
    uint16_t count = 0;
    char name[32] = {};
    uint32_t position = 0;
    EXPECT_EQ((Sys<uint16_t(uint32_t, uint32_t, void*, uint32_t*)>(sysslot::FileSystemSel6, ref, 5u, name,
                                                                   &position)),
              0);
    ASSERT_EQ(Info(ref, name, &type, &creator, &count), 0);
    EXPECT_STREQ(name, "Clock");
    EXPECT_EQ(type, FourCC("appl"));
    EXPECT_EQ(count, 2);
    void* handle = nullptr;
    ASSERT_EQ(GetResource(ref, FourCC("tAIN"), 1000, &handle), 0);
    EXPECT_STREQ(static_cast<const char*>(Sys<syssig::MemHandleLock>(sysslot::MemHandleLock, handle)),
                 "Clock Face");
    Sys<syssig::MemHandleUnlock>(sysslot::MemHandleUnlock, handle);
    Sys<syssig::MemHandleFree>(sysslot::MemHandleFree, handle);
    EXPECT_EQ(GetResource(ref, FourCC("tAIN"), 1001, &handle), 0x0210);
    EXPECT_EQ(handle, nullptr);
    Sys<uint16_t(uint32_t)>(sysslot::FileSystemSel4, ref);

    // Imported while the database is there: 0x0219 with its id. Once it is gone: a new database with
    // the resources of the file.
    uint32_t again = 0;
    EXPECT_EQ(Import("/Clock.vrx", &again), 0x0219);
    EXPECT_EQ(again, id);
    ASSERT_EQ(Sys<syssig::DmDeleteDatabaseByID>(sysslot::DmDeleteDatabaseByID, id), 0);
    uint16_t cardNo = 7;
    ASSERT_EQ((Sys<uint16_t(uint16_t, const char*, uint16_t*, uint32_t*)>(sysslot::FileSystemSel34, volume_,
                                                                          "/Clock.vrx", &cardNo, &again)),
              0);
    EXPECT_EQ(cardNo, 0);
    uint32_t ref2 = Sys<syssig::DmOpenDatabaseByID>(sysslot::DmOpenDatabaseByID, again, 1);
    void* text = Sys<syssig::DmGetResource>(sysslot::DmGetResource, FourCC("tAIN"), 1000);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(static_cast<const char*>(Sys<syssig::MemHandleLock>(sysslot::MemHandleLock, text)),
                 "Clock Face");
    Sys<syssig::MemHandleUnlock>(sysslot::MemHandleUnlock, text);
    Sys<syssig::DmReleaseResource>(sysslot::DmReleaseResource, text);
    Sys<syssig::DmCloseDatabase>(sysslot::DmCloseDatabase, ref2);
}

// A database image with `resources` entries whose offsets are `offsets`, and `tail` bytes after.
Bytes Image(const char* name, uint16_t attributes, uint16_t resources, std::vector<uint32_t> offsets,
            size_t tail) {
    Bytes image(78 + 10 * offsets.size() + tail, 0);
    std::memcpy(image.data(), name, std::min<size_t>(std::strlen(name), 32));
    WriteBE16(&image[32], attributes);
    std::memcpy(&image[60], "DATAtest", 8);
    WriteBE16(&image[76], resources);
    for (size_t i = 0; i < offsets.size(); ++i) {
        std::memcpy(&image[78 + 10 * i], "tAIN", 4);
        WriteBE32(&image[78 + 10 * i + 6], offsets[i]);
    }
    return image;
}

TEST_F(VolumeDatabasesTest, DamagedFilesAreRefusedAndAddNothing) {
    struct Case {
        const char* what;
        Bytes image;
        bool headerReads;
    } cases[] = {
        {"shorter than a header", Bytes(40, 'a'), false},
        {"a name without its end", Image("0123456789012345678901234567890123", 1, 0, {}, 2), false},
        {"no name", Image("", 1, 0, {}, 2), false},
        {"a resource list past the end", Image("Past", 1, 40, {}, 2), true},
        {"a resource past the end", Image("Far", 1, 1, {0xFFFFFF00u}, 4), true},
        {"resources out of order", Image("Order", 1, 2, {100, 92}, 20), true},
        {"a record database", Image("Records", 0, 0, {}, 2), true},
    };
    const size_t databases = DatabaseCount();
    for (const Case& c : cases) {
        fs_.files["/bad.vrx"] = c.image;
        uint32_t ref = OpenFile("/bad.vrx");
        char name[32];
        uint32_t type = 0;
        EXPECT_EQ(Info(ref, name, &type, nullptr, nullptr) == 0, c.headerReads) << c.what;
        void* handle = reinterpret_cast<void*>(1);
        EXPECT_NE(GetResource(ref, FourCC("tAIN"), 0, &handle), 0) << c.what;
        EXPECT_EQ(handle, nullptr) << c.what;
        Sys<uint16_t(uint32_t)>(sysslot::FileSystemSel4, ref);
        uint32_t id = 5;
        uint16_t err = Import("/bad.vrx", &id);
        // A record database brings no resources and imports; everything else is refused.
        if (c.image.size() >= 78 && ReadBE16(&c.image[32]) == 0) {
            EXPECT_EQ(err, 0) << c.what;
            Sys<syssig::DmDeleteDatabaseByID>(sysslot::DmDeleteDatabaseByID, id);
        } else {
            EXPECT_EQ(err, 0x0209) << c.what;
            EXPECT_EQ(id, 0u) << c.what;
        }
        EXPECT_EQ(DatabaseCount(), databases) << c.what;
    }
    uint32_t id = 0;
    EXPECT_EQ(Import("/missing.vrx", &id), 0x2A08);
}

}  // namespace
}  // namespace vantor::os
