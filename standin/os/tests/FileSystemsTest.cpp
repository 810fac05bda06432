// The expansion and file-system managers against a small file-system library of the test's own:
// volumes follow the cards in the slots, every call reaches the library that owns the volume or
// file, made-up references never reach a library, and a library may call back while it unmounts.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/FsLibCalls.h"
#include "common/module/SystemCalls.h"
#include "standin/os/CardSlots.h"
#include "standin/os/FileSystems.h"
#include "standin/os/StandinTest.h"

namespace vantor::os {
namespace {

namespace fs = fslibslot;

// The test's library: volumes by number, files by reference, and a log of what it was asked.
struct FakeLib {
    int opens = 0, closes = 0;
    std::map<uint16_t, uint16_t> volumes;  // volume number -> slot
    std::map<uint32_t, std::string> files;  // reference -> path
    std::vector<std::string> log;
    uint32_t nextRef = 0x100;
    uint32_t mediaType = FourCC("sdig");
    bool closeFilesOnUnmount = false;
};
FakeLib* gLib = nullptr;

uint16_t LibOpen() {
    ++gLib->opens;
    return 0;
}
uint16_t LibClose() {
    ++gLib->closes;
    return 0;
}
uint16_t Mount(uint32_t params) {
    const auto* p = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(params));
    const uint16_t vol = ReadBE16(p), slot = ReadBE16(p + 10);
    gLib->log.push_back("mount " + std::to_string(vol) + " slot " + std::to_string(slot) + " lib " +
                        std::to_string(ReadBE16(p + 8)) + (ReadBE32(p + 4) == FourCC("libs") ? " libs" : " ?"));
    gLib->volumes[vol] = slot;
    return 0;
}
uint16_t Unmount(uint16_t vol) {
    gLib->log.push_back("unmount " + std::to_string(vol));
    if (!gLib->volumes.erase(vol)) return 0x2A09;
    // As the host library does: the OS is asked to close what is still open on the volume.
    if (gLib->closeFilesOnUnmount) {
        const auto files = gLib->files;
        for (const auto& [ref, path] : files) Sys<uint16_t(uint32_t)>(sysslot::FileSystemSel4, ref);
    }
    return 0;
}
uint16_t Create(uint16_t vol, const char* path) {
    gLib->log.push_back("create " + std::to_string(vol) + " " + path);
    return gLib->volumes.count(vol) ? 0 : 0x2A09;
}
uint16_t Open(uint16_t vol, const char* path, uint16_t mode, uint32_t* ref) {
    gLib->log.push_back("open " + std::to_string(vol) + " " + path + " " + std::to_string(mode));
    *ref = gLib->nextRef++;
    gLib->files[*ref] = path;
    return 0;
}
uint16_t Close(uint32_t ref) {
    gLib->log.push_back("close " + gLib->files[ref]);
    gLib->files.erase(ref);
    return 0;
}
uint16_t Read(uint32_t ref, uint32_t count, void* buffer, uint32_t offset, uint8_t storage, uint32_t* read) {
    gLib->log.push_back("read " + gLib->files[ref] + " " + std::to_string(count) + " at " + std::to_string(offset) +
                        (storage ? " storage" : " plain"));
    std::memset(static_cast<uint8_t*>(buffer) + offset, 'r', count);
    if (read) *read = count;
    return 0;
}
uint16_t Write(uint32_t ref, uint32_t count, const void* data, uint32_t* written) {
    gLib->log.push_back("write " + gLib->files[ref] + " " + std::string(static_cast<const char*>(data), count));
    if (written) *written = count;
    return 0;
}
uint16_t Size(uint16_t, uint32_t* used, uint32_t* total) {
    *used = 10;
    *total = 100;
    return 0;
}
uint16_t Info(uint16_t, void* info) {
    std::memset(info, 0, 28);
    std::memcpy(static_cast<uint8_t*>(info) + 20, &gLib->mediaType, 4);
    return 0;
}

class FileSystemsTest : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        gLib = &lib_;
        table_[fs::FSLibOpen] = reinterpret_cast<ModuleProc>(&LibOpen);
        table_[fs::FSLibClose] = reinterpret_cast<ModuleProc>(&LibClose);
        table_[fs::FSVolumeMount] = reinterpret_cast<ModuleProc>(&Mount);
        table_[fs::FSVolumeUnmount] = reinterpret_cast<ModuleProc>(&Unmount);
        table_[fs::FSFileCreate] = reinterpret_cast<ModuleProc>(&Create);
        table_[fs::FSFileOpen] = reinterpret_cast<ModuleProc>(&Open);
        table_[fs::FSFileClose] = reinterpret_cast<ModuleProc>(&Close);
        table_[fs::FSFileRead] = reinterpret_cast<ModuleProc>(&Read);
        table_[fs::FSFileWrite] = reinterpret_cast<ModuleProc>(&Write);
        table_[fs::FSVolumeSize] = reinterpret_cast<ModuleProc>(&Size);
        table_[fs::FSVolumeInfo] = reinterpret_cast<ModuleProc>(&Info);
        RegisterTable(FourCC("libf"), FourCC("test"), table_, fs::kSlotCount);
        CardSlotAttach(2, {"/tmp/two", false, 0, 0});
        CardSlotAttach(5, {"/tmp/five", true, 0, 0});
    }
    void TearDown() override {
        UnregisterModule(FourCC("libf"), FourCC("test"));
        StandinTest::TearDown();
        gLib = nullptr;
    }
    // Every volume, by the enumeration an application runs, and the status that ends it.
    std::vector<uint16_t> Enumerate(uint16_t* end = nullptr) {
        std::vector<uint16_t> volumes;
        uint32_t iterator = 0;
        for (int guard = 0; guard < 20 && iterator != 0xFFFFFFFF; ++guard) {
            uint16_t vol = 0;
            uint16_t err = Sys<uint16_t(uint16_t*, uint32_t*)>(sysslot::FileSystemSel27, &vol, &iterator);
            if (err) {
                if (end) *end = err;
                return volumes;
            }
            volumes.push_back(vol);
        }
        if (end) *end = 0;
        return volumes;
    }
    uint32_t OpenFile(uint16_t vol, const char* path) {
        uint32_t ref = 0;
        EXPECT_EQ((Sys<uint16_t(uint16_t, const char*, uint16_t, uint32_t*)>(sysslot::FileSystemSel3, vol, path,
                                                                              uint16_t{7}, &ref)),
                  0);
        return ref;
    }
    FakeLib lib_;
    ModuleProc table_[fs::kSlotCount] = {};
};

TEST_F(FileSystemsTest, VolumesFollowTheCardsInTheSlots) {
    // The library is installed and opened once, and each card mounted with a record in 68K layout.
    EXPECT_EQ(Enumerate(), (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(lib_.opens, 1);
    EXPECT_EQ(lib_.log, (std::vector<std::string>{"mount 1 slot 2 lib 1 libs", "mount 2 slot 5 lib 1 libs"}));
    // An iterator at its end, or past the volumes, ends the enumeration.
    uint16_t vol = 9;
    uint32_t iterator = 0xFFFFFFFF;
    EXPECT_EQ((Sys<uint16_t(uint16_t*, uint32_t*)>(sysslot::FileSystemSel27, &vol, &iterator)), 0x290D);
    iterator = 7;
    EXPECT_EQ((Sys<uint16_t(uint16_t*, uint32_t*)>(sysslot::FileSystemSel27, &vol, &iterator)), 0x290D);
    EXPECT_EQ(vol, 0);

    // A card taken out of its slot: its volume goes; another put in gets a new number.
    CardSlotDetach(2);
    CardSlotAttach(3, {"/tmp/three", false, 0, 0});
    EXPECT_EQ(Enumerate(), (std::vector<uint16_t>{2, 3}));
    EXPECT_EQ(lib_.log.at(2), "unmount 1");
    EXPECT_EQ(lib_.log.at(3), "mount 3 slot 3 lib 1 libs");

    // An unmount on request holds the card out until it is inserted again.
    EXPECT_EQ(Sys<uint16_t(uint16_t)>(sysslot::FileSystemSel26, uint16_t{3}), 0);
    EXPECT_EQ(Sys<uint16_t(uint16_t)>(sysslot::FileSystemSel26, uint16_t{3}), 0x2A09);
    EXPECT_EQ(Enumerate(), (std::vector<uint16_t>{2}));
    EXPECT_EQ(Sys<uint16_t(uint16_t)>(sysslot::ExpansionSel6, uint16_t{3}), 0);
    EXPECT_EQ(MountedVolumes(), (std::vector<uint16_t>{2, 4}));

    // No card at all: the enumeration is empty from the start.
    CardSlotDetach(3);
    CardSlotDetach(5);
    uint16_t end = 0;
    EXPECT_TRUE(Enumerate(&end).empty());
    EXPECT_EQ(end, 0x290D);
}

TEST_F(FileSystemsTest, CallsReachTheLibraryThatOwnsTheVolumeOrTheFile) {
    ASSERT_EQ(Enumerate().size(), 2u);
    lib_.log.clear();
    EXPECT_EQ((Sys<uint16_t(uint16_t, const char*)>(sysslot::FileSystemSel2, uint16_t{1}, "/a.txt")), 0);
    const uint32_t ref = OpenFile(1, "/a.txt");
    uint32_t count = 0;
    EXPECT_EQ((Sys<uint16_t(uint32_t, uint32_t, const void*, uint32_t*)>(sysslot::FileSystemSel7, ref, 5u, "hello",
                                                                         &count)),
              0);
    EXPECT_EQ(count, 5u);
    char buffer[8] = {};
    EXPECT_EQ((Sys<uint16_t(uint32_t, uint32_t, void*, uint32_t*)>(sysslot::FileSystemSel6, ref, 3u, buffer,
                                                                   nullptr)),
              0);
    EXPECT_EQ((Sys<uint16_t(uint32_t, uint32_t, void*, uint32_t, uint32_t*)>(sysslot::FileSystemSel5, ref, 2u,
                                                                             buffer, 3u, &count)),
              0);
    EXPECT_STREQ(buffer, "rrrrr");
    EXPECT_EQ(Sys<uint16_t(uint32_t)>(sysslot::FileSystemSel4, ref), 0);
    EXPECT_EQ(lib_.log, (std::vector<std::string>{"create 1 /a.txt", "open 1 /a.txt 7", "write /a.txt hello",
                                                  "read /a.txt 3 at 0 plain", "read /a.txt 2 at 3 storage",
                                                  "close /a.txt"}));

    // A closed, made-up or null reference, and an unknown volume, never reach the library.
    lib_.log.clear();
    struct Case {
        uint16_t status;
        uint16_t expected;
    };
    const Case cases[] = {
        {Sys<uint16_t(uint32_t)>(sysslot::FileSystemSel4, ref), 0x2A03},
        {Sys<uint16_t(uint32_t)>(sysslot::FileSystemSel4, 0u), 0x2A03},
        {Sys<uint16_t(uint32_t, uint32_t, const void*, uint32_t*)>(sysslot::FileSystemSel7, 0xDEAD0000u, 1u, "x",
                                                                   nullptr),
         0x2A03},
        {Sys<uint16_t(uint32_t)>(sysslot::FileSystemSel11, ref), 0x2A03},
        {Sys<uint16_t(uint16_t, const char*)>(sysslot::FileSystemSel2, uint16_t{9}, "/b"), 0x2A09},
        {Sys<uint16_t(uint16_t, const char*)>(sysslot::FileSystemSel19, uint16_t{0}, "/d"), 0x2A09},
        {Sys<uint16_t(uint16_t, const char*, uint16_t, uint32_t*)>(sysslot::FileSystemSel3, uint16_t{1}, "/a.txt",
                                                                   uint16_t{2}, nullptr),
         0x0502},
        {Sys<uint16_t(uint16_t*, uint32_t*)>(sysslot::FileSystemSel27, nullptr, nullptr), 0x0502},
    };
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].status, cases[i].expected) << "case " << i;
    EXPECT_TRUE(lib_.log.empty());

    // A caller may ask for one of the two sizes.
    uint32_t total = 0;
    EXPECT_EQ((Sys<uint16_t(uint16_t, uint32_t*, uint32_t*)>(sysslot::FileSystemSel31, uint16_t{2}, nullptr, &total)),
              0);
    EXPECT_EQ(total, 100u);
}

TEST_F(FileSystemsTest, ALibraryThatClosesFilesWhileItUnmountsLeavesNoStaleReference) {
    lib_.closeFilesOnUnmount = true;
    ASSERT_EQ(Enumerate().size(), 2u);
    const uint32_t a = OpenFile(1, "/a"), b = OpenFile(1, "/b");
    CardSlotDetach(2);
    ASSERT_EQ(Enumerate(), (std::vector<uint16_t>{2}));
    EXPECT_TRUE(lib_.files.empty());
    EXPECT_EQ(Sys<uint16_t(uint32_t)>(sysslot::FileSystemSel11, a), 0x2A03);
    EXPECT_EQ(Sys<uint16_t(uint32_t)>(sysslot::FileSystemSel11, b), 0x2A03);

    // Removing the library unmounts the rest and closes it.
    uint16_t ref = 0;
    ASSERT_EQ((Sys<uint16_t(uint32_t, uint16_t*)>(sysslot::FileSystemSel32, FourCC("test"), &ref)), 0);
    EXPECT_EQ(lib_.opens, 1);
    EXPECT_EQ(Sys<uint16_t(uint16_t)>(sysslot::FileSystemSel33, ref), 0);
    EXPECT_EQ(lib_.closes, 1);
    EXPECT_TRUE(lib_.volumes.empty());
    EXPECT_TRUE(MountedVolumes().empty());
    EXPECT_EQ(Sys<uint16_t(uint16_t)>(sysslot::FileSystemSel33, ref), 0x050A);
    EXPECT_EQ((Sys<uint16_t(uint32_t, uint16_t*)>(sysslot::FileSystemSel32, FourCC("none"), &ref)), 0x050A);
}

TEST_F(FileSystemsTest, DefaultFoldersPreferTheVolumesMedia) {
    using Register = uint16_t(const char*, uint32_t, const char*);
    using Get = uint16_t(uint16_t, const char*, char*, uint16_t*);
    ASSERT_EQ(Sys<Register>(sysslot::FileSystemSel22, "image/jpeg", FourCC("zibo"), "/jpegs/"), 0);
    ASSERT_EQ(Sys<Register>(sysslot::FileSystemSel22, ".jpg", FourCC("zibo"), "/jpegs/"), 0);
    ASSERT_EQ(Sys<Register>(sysslot::FileSystemSel22, "IMAGE/JPEG", FourCC("sdig"), "/sd/"), 0);
    ASSERT_EQ(Enumerate().size(), 2u);

    struct Case {
        const char* type;
        uint16_t bufLen;
        uint16_t status;
        const char* path;
        uint16_t outLen;
    };
    const Case cases[] = {
        {"image/jpeg", 32, 0, "/sd/", 5},    // the volume's media first
        {".JPG", 32, 0, "/jpegs/", 8},       // else any media, ignoring case
        {"image/jpeg", 4, 0x2A01, "", 5},    // too small: the length it needs
        {"text/plain", 32, 0x2A08, "", 32},  // nothing registered
    };
    for (const Case& c : cases) {
        char path[32] = {};
        uint16_t len = c.bufLen;
        EXPECT_EQ(Sys<Get>(sysslot::FileSystemSel21, uint16_t{1}, c.type, path, &len), c.status) << c.type;
        EXPECT_STREQ(path, c.path) << c.type;
        EXPECT_EQ(len, c.outLen) << c.type;
    }
    char path[32];
    uint16_t len = 32;
    EXPECT_EQ(Sys<Get>(sysslot::FileSystemSel21, uint16_t{1}, "image/jpeg", path, nullptr), 0x0502);
    EXPECT_EQ(Sys<Get>(sysslot::FileSystemSel21, uint16_t{77}, "image/jpeg", path, &len), 0x2A09);

    using Unregister = uint16_t(const char*, uint32_t);
    EXPECT_EQ(Sys<Unregister>(sysslot::FileSystemSel23, "image/jpeg", FourCC("sdig")), 0);
    EXPECT_EQ(Sys<Unregister>(sysslot::FileSystemSel23, "image/jpeg", FourCC("sdig")), 0x2A08);
    EXPECT_EQ(Sys<Get>(sysslot::FileSystemSel21, uint16_t{1}, "image/jpeg", path, &len), 0);
    EXPECT_STREQ(path, "/jpegs/");
}

TEST_F(FileSystemsTest, TheExpansionManagerShowsTheHostFolderSlots) {
    using Enum = uint16_t(uint16_t*, uint32_t*);
    std::vector<uint16_t> slots;
    uint32_t iterator = 0;
    uint16_t slot = 0;
    while (Sys<Enum>(sysslot::ExpansionSel10, &slot, &iterator) == 0) slots.push_back(slot);
    EXPECT_EQ(slots, (std::vector<uint16_t>{2, 5}));
    EXPECT_EQ(iterator, 0xFFFFFFFFu);

    EXPECT_EQ(Sys<uint16_t(uint16_t)>(sysslot::ExpansionSel8, uint16_t{5}), 0);
    EXPECT_EQ(Sys<uint16_t(uint16_t)>(sysslot::ExpansionSel8, uint16_t{4}), 0x2904);
    uint16_t lib = 0;
    EXPECT_EQ((Sys<uint16_t(uint16_t, uint16_t*)>(sysslot::ExpansionSel3, uint16_t{2}, &lib)), 0);
    EXPECT_EQ(lib, kCardSlotLibRefNum);
    EXPECT_EQ((Sys<uint16_t(uint16_t, uint16_t*)>(sysslot::ExpansionSel3, uint16_t{4}, &lib)), 0x2904);
    EXPECT_EQ((Sys<uint16_t(uint32_t, uint16_t*)>(sysslot::ExpansionSel1, FourCC("yhov"), nullptr)), 0);
    EXPECT_EQ((Sys<uint16_t(uint32_t, uint16_t*)>(sysslot::ExpansionSel1, FourCC("none"), &lib)), 0x050A);
    EXPECT_EQ((Sys<uint16_t(uint16_t, uint32_t*)>(sysslot::ExpansionSel11, uint16_t{2}, nullptr)), 0x2901);

    uint8_t info[132];
    std::memset(info, 0xAA, sizeof info);
    ASSERT_EQ((Sys<uint16_t(uint16_t, uint8_t*)>(sysslot::ExpansionSel9, uint16_t{5}, info)), 0);
    uint32_t capabilities;
    std::memcpy(&capabilities, info, 4);
    EXPECT_EQ(capabilities, 3u);  // storage, read-only
    EXPECT_STREQ(reinterpret_cast<char*>(info + 100), "Slot 5");
    EXPECT_EQ(info[131], 0);

    // Only a host folder's file-system type serves these cards.
    using Check = uint8_t(uint16_t, uint16_t, uint32_t);
    EXPECT_EQ(Sys<Check>(sysslot::ExpCardCheck, kCardSlotLibRefNum, uint16_t{2}, FourCC("qel_")), 1);
    EXPECT_EQ(Sys<Check>(sysslot::ExpCardCheck, kCardSlotLibRefNum, uint16_t{2}, FourCC("fatf")), 0);
    EXPECT_EQ(Sys<Check>(sysslot::ExpCardCheck, kCardSlotLibRefNum, uint16_t{4}, FourCC("qel_")), 0);

    // A removed card's volume goes and stays away until the card is inserted again.
    ASSERT_EQ(MountedVolumes().size(), 0u);
    Enumerate();
    ASSERT_EQ(MountedVolumes(), (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(Sys<uint16_t(uint16_t)>(sysslot::ExpansionSel7, uint16_t{2}), 0);
    Enumerate();
    EXPECT_EQ(MountedVolumes(), (std::vector<uint16_t>{2}));
    EXPECT_EQ(Sys<uint16_t(uint16_t)>(sysslot::ExpansionSel6, uint16_t{2}), 0);
    EXPECT_EQ(MountedVolumes(), (std::vector<uint16_t>{2, 3}));
    EXPECT_EQ(Sys<uint16_t(uint16_t)>(sysslot::ExpansionSel6, uint16_t{4}), 0x2904);
}

}  // namespace
}  // namespace vantor::os
