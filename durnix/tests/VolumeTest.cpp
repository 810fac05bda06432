// The library's operations on a real temporary folder: what the host sees after each one is
// checked with the host's own calls.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "DurnixTestKit.h"
#include "common/FourCC.h"
#include "common/module/SystemCalls.h"
#include "common/module/SystemSlots.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/StandinOs.h"

namespace durnix::test {
namespace {

namespace fs = std::filesystem;
using vantor::FourCC;
using vantor::os::Library;
namespace sysslot = vantor::sysslot;

off_t HostSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

TEST_F(VolumeTest, OpenAndCloseCountUsesAndRegisterTheDefaultFolders) {
    auto registrations = vantor::os::CallsOf(Library::System, sysslot::FileSystemSel22);
    ASSERT_EQ(registrations.size(), 6u);
    const char* expected[][2] = {{"image/jpeg", "/jpegs/"}, {".jpeg", "/jpegs/"},      {".jpg", "/jpegs/"},
                                 {"image/tiff", "/pictures/"}, {".tiff", "/pictures/"}, {".tif", "/pictures/"}};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_STREQ(reinterpret_cast<const char*>(registrations[i].args[0]), expected[i][0]);
        EXPECT_EQ(registrations[i].args[1], FourCC("zibo"));
        EXPECT_STREQ(reinterpret_cast<const char*>(registrations[i].args[2]), expected[i][1]);
    }
    uint32_t value = 0;
    EXPECT_EQ(vantor::sys::FtrGet(FourCC("expn"), 0, &value), 0);
    EXPECT_EQ(value, 200u);

    // A second open only counts; its close only decrements.
    EXPECT_EQ(FSLibOpen(), 0);
    EXPECT_EQ(FSLibClose(), 0);
    EXPECT_TRUE(vantor::os::CallsOf(Library::System, sysslot::FileSystemSel23).empty());
    uint32_t version = FSLibAPIVersion();
    EXPECT_EQ(version, 2u);

    // The last close asks the OS to unmount the volume and closes what is still open, and drops
    // the current application's notification.
    uint32_t app = vantor::os::AddDatabase("App", FourCC("appl"), FourCC("tApp"), 1);
    vantor::os::SetCurrentAppDatabase(app);
    FileRef ref = 0;
    Write(root_ + "/a", "x");
    ASSERT_EQ(FSFileOpen(kVol, "/a", kModeRead, &ref), 0);
    EXPECT_EQ(FSLibClose(), 0);
    auto unmounts = vantor::os::CallsOf(Library::System, sysslot::FileSystemSel26);
    ASSERT_EQ(unmounts.size(), 1u);
    EXPECT_EQ(unmounts[0].args[0] & 0xFFFF, kVol);
    EXPECT_EQ(vantor::os::CallsOf(Library::System, sysslot::FileSystemSel23).size(), 6u);
    auto notify = vantor::os::CallsOf(Library::System, sysslot::SysNotifyUnregisterDirect);
    ASSERT_EQ(notify.size(), 1u);
    EXPECT_EQ(notify[0].args[0], app);
    EXPECT_EQ(notify[0].args[1], FourCC("rstf"));
    EXPECT_NE(vantor::sys::FtrGet(FourCC("expn"), 0, &value), 0);

    // Closed: every operation says so, and a further close is refused.
    uint32_t size = 0;
    EXPECT_EQ(FSFileSize(ref, &size), errNotOpen);
    EXPECT_EQ(FSFileCreate(kVol, "/b"), errNotOpen);
    EXPECT_EQ(FSLibClose(), errNotOpen);
    EXPECT_EQ(DurnixGlobalsGet()->openCount, 0u);
}

TEST_F(VolumeTest, MountReadsTheCallersRecordThroughTheCurrentContext) {
    EXPECT_GE(A68kContextCalls().current, 1);
    EXPECT_EQ(A68kContextCalls().global, 0);
    EXPECT_STREQ(DurnixGlobalsGet()->volumes[0].root, root_.c_str());

    MountRecord68K wrongClass(2, FourCC("libx"), kSlotLib, kSlot);
    EXPECT_EQ(FSVolumeMount(wrongClass.Address()), errBadParam);
    vantor::os::ScriptResult(Library::System, sysslot::ExpCardCheck, 0);
    EXPECT_EQ(Mount(2, 4, root_), errWrongCard);
    vantor::os::ScriptResult(Library::System, sysslot::ExpCardCheck, 1);
    EXPECT_EQ(Mount(kVol, 4, root_), errBadArgument);  // that number is mounted already

    // A root with a trailing separator loses it; a slot without a folder leaves its entry free.
    fs::create_directories(top_ + "/other");
    EXPECT_EQ(Mount(2, 4, top_ + "/other/"), 0);
    EXPECT_STREQ(DurnixGlobalsGet()->volumes[1].root, (top_ + "/other").c_str());
    MountRecord68K noFolder(3, FourCC("libs"), kSlotLib, 9);
    EXPECT_NE(FSVolumeMount(noFolder.Address()), 0);
    EXPECT_EQ(DurnixGlobalsGet()->volumes[2].volRefNum, 0);

    // Eight volumes at most.
    for (uint16_t vol = 3; vol <= 8; ++vol) EXPECT_EQ(Mount(vol, 4, root_), 0);
    EXPECT_EQ(Mount(9, 4, root_), errNoMemoryOrSlot);
    EXPECT_EQ(FSVolumeUnmount(5), 0);
    EXPECT_EQ(Mount(9, 4, root_), 0);
    EXPECT_EQ(FSVolumeUnmount(77), errNoSuchVolume);
}

TEST_F(VolumeTest, FilesAreCreatedWrittenAndReadBackOnTheHost) {
    ASSERT_EQ(FSFileCreate(kVol, "/Memo.txt"), 0);
    struct stat st;
    ASSERT_EQ(stat((root_ + "/Memo.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);

    FileRef ref = Open("/memo.TXT", 0x07);  // the host's spelling is found
    uint32_t n = 0;
    ASSERT_EQ(FSFileWrite(ref, 11, "hello world", &n), 0);
    EXPECT_EQ(n, 11u);
    EXPECT_EQ(Contents(root_ + "/Memo.txt"), "hello world");  // written through at once
    ASSERT_EQ(FSFileSeek(ref, 0, 6), 0);
    char buffer[16] = {};
    ASSERT_EQ(FSFileRead(ref, 5, buffer, 0, 0, &n), 0);
    EXPECT_EQ(n, 5u);
    EXPECT_STREQ(buffer, "world");
    EXPECT_EQ(FSFileClose(ref), 0);
    EXPECT_EQ(FSFileClose(ref), errBadArgument);  // a closed reference is no longer followed

    // Creating an existing file leaves it untouched.
    EXPECT_EQ(FSFileCreate(kVol, "/memo.txt"), errFileExists);
    EXPECT_EQ(Contents(root_ + "/Memo.txt"), "hello world");
    EXPECT_EQ(FSFileCreate(kVol, "/missing/new"), errPathNotFound);

    // Write only (0x05) empties the file; read and write (0x07) needs an existing one.
    FileRef missing = 0;
    EXPECT_EQ(FSFileOpen(kVol, "/nothing", 0x07, &missing), errPathNotFound);
    ref = Open("/Memo.txt", 0x05);
    EXPECT_EQ(HostSize(root_ + "/Memo.txt"), 0);
    EXPECT_EQ(FSFileRead(ref, 1, buffer, 0, 0, &n), errPermission);
    EXPECT_EQ(FSFileClose(ref), 0);
}

TEST_F(VolumeTest, ModesThatAskNeitherReadNorWriteAreRefusedAndTruncateNothing) {
    Write(root_ + "/keep", "contents");
    for (uint16_t mode : {0x00, 0x01, 0x04}) {
        FileRef ref = 0;
        EXPECT_EQ(FSFileOpen(kVol, "/keep", mode, &ref), errBadArgument) << mode;
        EXPECT_EQ(ref, 0u);
    }
    EXPECT_EQ(Contents(root_ + "/keep"), "contents");

    // A read-only volume refuses every change and still reads.
    fs::create_directories(top_ + "/ro");
    Write(top_ + "/ro/file", "ro");
    ASSERT_EQ(Mount(2, 4, top_ + "/ro", true), 0);
    FileRef ref = 0;
    EXPECT_EQ(FSFileOpen(2, "/file", 0x07, &ref), errVolumeReadOnly);
    EXPECT_EQ(FSFileOpen(2, "/file", 0x05, &ref), errVolumeReadOnly);
    EXPECT_EQ(FSFileOpen(2, "/file", 0x01, &ref), errBadArgument);
    EXPECT_EQ(FSFileCreate(2, "/new"), errVolumeReadOnly);
    EXPECT_EQ(FSFileDelete(2, "/file"), errVolumeReadOnly);
    EXPECT_EQ(FSFileRename(2, "/file", "other"), errVolumeReadOnly);
    EXPECT_EQ(FSDirCreate(2, "/dir"), errVolumeReadOnly);
    EXPECT_EQ(FSVolumeSetLabel(2, "x"), errVolumeReadOnly);
    ASSERT_EQ(FSFileOpen(2, "/file", kModeRead, &ref), 0);
    EXPECT_EQ(FSFileSetDate(ref, 2, 0), errVolumeReadOnly);
    EXPECT_EQ(FSFileSetAttributes(ref, kAttrReadOnly), errVolumeReadOnly);
    EXPECT_EQ(Contents(top_ + "/ro/file"), "ro");
    EXPECT_TRUE(fs::exists(top_ + "/ro/file"));
    EXPECT_FALSE(fs::exists(top_ + "/ro/new"));
}

TEST_F(VolumeTest, ReadsRunInChunksAndStopAtTheEnd) {
    std::string data(1300, 0);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    Write(root_ + "/big", data);
    FileRef ref = Open("/big", kModeRead);
    std::string got(1400, '\xEE');
    uint32_t n = 0;
    ASSERT_EQ(FSFileRead(ref, 1300, got.data(), 0, 0, &n), 0);
    EXPECT_EQ(n, 1300u);
    EXPECT_EQ(got.substr(0, 1300), data);
    EXPECT_EQ(FSFileEOF(ref), 0);

    // Past the end: the bytes that were there, counted, then the end.
    ASSERT_EQ(FSFileSeek(ref, 0, 1000), 0);
    got.assign(1400, '\xEE');
    EXPECT_EQ(FSFileRead(ref, 600, got.data(), 100, 0, &n), errEndOfFile);
    EXPECT_EQ(n, 300u);
    EXPECT_EQ(got.substr(100, 300), data.substr(1000));
    EXPECT_EQ(got[400], '\xEE');
    EXPECT_EQ(FSFileEOF(ref), errEndOfFile);
    EXPECT_EQ(FSFileRead(ref, 10, got.data(), 0, 0, nullptr), errEndOfFile);

    // Into storage memory: through the storage write, which refuses plain writes there.
    void* chunk = vantor::sys::MemChunkNew(vantor::os::kStorageHeapID, 64, 0);
    ASSERT_NE(chunk, nullptr);
    ASSERT_EQ(FSFileSeek(ref, 0, 0), 0);
    ASSERT_EQ(FSFileRead(ref, 32, chunk, 16, 1, &n), 0);
    EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(chunk) + 16, data.data(), 32), 0);
    vantor::sys::MemChunkFree(chunk);
    EXPECT_EQ(FSFileClose(ref), 0);
}

TEST_F(VolumeTest, ReadsAndWritesAlternateOnOneStream) {
    Write(root_ + "/mix", "abcdefgh");
    FileRef ref = Open("/mix", 0x07);
    char buffer[8] = {};
    uint32_t n = 0;
    ASSERT_EQ(FSFileRead(ref, 2, buffer, 0, 0, &n), 0);
    ASSERT_EQ(FSFileWrite(ref, 2, "XY", &n), 0);
    ASSERT_EQ(FSFileRead(ref, 2, buffer, 0, 0, &n), 0);
    EXPECT_EQ(std::string(buffer, 2), "ef");
    ASSERT_EQ(FSFileWrite(ref, 1, "Z", &n), 0);
    EXPECT_EQ(Contents(root_ + "/mix"), "abXYefZh");
    uint32_t position = 0;
    ASSERT_EQ(FSFileTell(ref, &position), 0);
    EXPECT_EQ(position, 7u);
    EXPECT_EQ(FSFileSeek(ref, 3, 0), errBadArgument);
    EXPECT_EQ(FSFileClose(ref), 0);
}

TEST_F(VolumeTest, ResizeTruncatesOrExtendsWithZerosAndKeepsThePosition) {
    FileRef ref = 0;
    ASSERT_EQ(FSFileCreate(kVol, "/r"), 0);
    ref = Open("/r", 0x07);
    uint32_t n = 0, size = 0, position = 0;
    ASSERT_EQ(FSFileWrite(ref, 10, "0123456789", &n), 0);
    ASSERT_EQ(FSFileSeek(ref, 0, 8), 0);
    ASSERT_EQ(FSFileResize(ref, 5), 0);
    EXPECT_EQ(Contents(root_ + "/r"), "01234");
    ASSERT_EQ(FSFileTell(ref, &position), 0);
    EXPECT_EQ(position, 8u);

    ASSERT_EQ(FSFileResize(ref, 3000), 0);
    EXPECT_EQ(Contents(root_ + "/r"), "01234" + std::string(2995, '\0'));
    ASSERT_EQ(FSFileSize(ref, &size), 0);
    EXPECT_EQ(size, 3000u);
    ASSERT_EQ(FSFileTell(ref, &position), 0);
    EXPECT_EQ(position, 8u);
    EXPECT_EQ(FSFileResize(ref, 3000), 0);
    EXPECT_EQ(FSFileClose(ref), 0);

    ref = Open("/r", kModeRead);
    EXPECT_EQ(FSFileResize(ref, 1), errPermission);
    EXPECT_EQ(HostSize(root_ + "/r"), 3000);
    EXPECT_EQ(FSFileClose(ref), 0);
}

TEST_F(VolumeTest, RenameStaysInItsDirectory) {
    fs::create_directories(root_ + "/Dir");
    Write(root_ + "/Dir/old", "1");
    EXPECT_EQ(FSFileRename(kVol, "/dir/OLD", "New"), 0);
    EXPECT_EQ(Contents(root_ + "/Dir/New"), "1");
    EXPECT_FALSE(fs::exists(root_ + "/Dir/old"));

    for (const char* bad : {"../x", "a/b", "a\\b", "c:d", ".", "..", ""}) {
        EXPECT_EQ(FSFileRename(kVol, "/Dir/New", bad), errBadName) << bad;
        EXPECT_TRUE(fs::exists(root_ + "/Dir/New")) << bad;
    }
    EXPECT_EQ(FSFileRename(kVol, "/Dir/gone", "x"), errPathNotFound);
    EXPECT_EQ(FSFileRename(kVol, "/", "x"), errPermission);
    EXPECT_EQ(FSFileRename(kVol, "Dir", "Top"), 0);  // a name without a leading separator
    EXPECT_TRUE(fs::exists(root_ + "/Top/New"));
}

TEST_F(VolumeTest, DeleteRemovesFilesAndEmptyDirectories) {
    fs::create_directories(root_ + "/full");
    fs::create_directories(root_ + "/empty");
    Write(root_ + "/full/f", "");
    EXPECT_EQ(FSFileDelete(kVol, "/full"), errDirNotEmpty);
    EXPECT_EQ(FSFileDelete(kVol, "/Full/F"), 0);
    EXPECT_EQ(FSFileDelete(kVol, "/full"), 0);
    EXPECT_EQ(FSFileDelete(kVol, "/EMPTY"), 0);
    EXPECT_EQ(FSFileDelete(kVol, "/empty"), errPathNotFound);
    EXPECT_EQ(FSFileDelete(kVol, "/"), errPermission);
    EXPECT_TRUE(fs::exists(root_));
    EXPECT_EQ(FSDirCreate(kVol, "/made/"), 0);
    EXPECT_TRUE(fs::is_directory(root_ + "/made"));
    EXPECT_EQ(FSDirCreate(kVol, "/made"), errFileExists);
    EXPECT_EQ(FSDirCreate(kVol, "/no/such"), errBadName);
}

TEST_F(VolumeTest, EnumerationListsEachEntryOnceThenEnds) {
    fs::create_directories(root_ + "/d/sub");
    Write(root_ + "/d/file", "");
    FileRef dir = Open("/d", kModeRead);
    uint32_t attributes = 0;
    ASSERT_EQ(FSFileGetAttributes(dir, &attributes), 0);
    EXPECT_TRUE(attributes & kAttrDirectory);
    char name[32];
    DurnixDirEntryInfo info{0, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(name)), sizeof name};
    uint32_t iterator = 0;
    std::map<std::string, uint32_t> seen;
    Status s;
    while ((s = FSDirEntryEnumerate(dir, &iterator, &info)) == 0) seen[name] = info.attributes;
    EXPECT_EQ(s, errNoMoreEntries);
    EXPECT_EQ(iterator, 0xFFFFFFFFu);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen["file"], 0u);
    EXPECT_EQ(seen["sub"], kAttrDirectory);
    EXPECT_EQ(FSDirEntryEnumerate(dir, &iterator, &info), errNoMoreEntries);

    // A name buffer too small gets what fits and the status; a buffer of size 0 is refused.
    iterator = 0;
    info.nameBufSize = 3;
    EXPECT_EQ(FSDirEntryEnumerate(dir, &iterator, &info), errBufferTooSmall);
    EXPECT_EQ(std::strlen(name), 2u);
    info.nameBufSize = 0;
    EXPECT_EQ(FSDirEntryEnumerate(dir, &iterator, &info), errBadArgument);
    info.nameP = 0;  // no buffer: attributes only
    EXPECT_EQ(FSDirEntryEnumerate(dir, &iterator, &info), 0);

    FileRef file = Open("/d/file", kModeRead);
    EXPECT_EQ(FSDirEntryEnumerate(file, &iterator, &info), errNotDirectory);
    uint32_t size = 0;
    EXPECT_EQ(FSFileSize(dir, &size), errIsDirectory);
    EXPECT_EQ(FSFileClose(file), 0);
    EXPECT_EQ(FSFileClose(dir), 0);
}

TEST_F(VolumeTest, AttributesAndDatesFollowTheHost) {
    Write(root_ + "/f", "x");
    FileRef ref = Open("/f", 0x07);
    uint32_t attributes = 0xFF;
    ASSERT_EQ(FSFileGetAttributes(ref, &attributes), 0);
    EXPECT_EQ(attributes, 0u);
    EXPECT_EQ(FSFileSetAttributes(ref, kAttrVolumeLabel), errBadArgument);
    EXPECT_EQ(FSFileSetAttributes(ref, kAttrHidden), errBadArgument);  // not a FAT volume
    EXPECT_EQ(FSFileSetAttributes(ref, 0), 0);
    ASSERT_EQ(FSFileSetAttributes(ref, kAttrReadOnly), 0);
    struct stat st;
    ASSERT_EQ(stat((root_ + "/f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IWUSR, 0u);
    ASSERT_EQ(FSFileSetAttributes(ref, 0), 0);
    ASSERT_EQ(stat((root_ + "/f").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);

    // Dates: OS seconds are host seconds + 2082844800, both ways, with 32-bit wrap-around.
    uint32_t date = 0;
    ASSERT_EQ(FSFileGetDate(ref, 2, &date), 0);
    EXPECT_EQ(date, static_cast<uint32_t>(st.st_mtime) + 2082844800u);
    EXPECT_EQ(FSFileGetDate(ref, 4, &date), errBadParam);
    ASSERT_EQ(FSFileSetDate(ref, 2, 0), 0);
    ASSERT_EQ(stat((root_ + "/f").c_str(), &st), 0);
    EXPECT_EQ(static_cast<int64_t>(st.st_mtime), -2082844800LL);
    ASSERT_EQ(FSFileSetDate(ref, 3, 2082844800u + 1000), 0);
    ASSERT_EQ(stat((root_ + "/f").c_str(), &st), 0);
    EXPECT_EQ(st.st_atime, 1000);
    EXPECT_EQ(static_cast<int64_t>(st.st_mtime), -2082844800LL);
    EXPECT_EQ(FSFileSetDate(ref, 0, 0), errBadParam);
    EXPECT_EQ(FSFileClose(ref), 0);

    // A file that the host does not let this user write reads as read-only.
    ASSERT_EQ(chmod((root_ + "/f").c_str(), 0444), 0);
    ref = Open("/f", kModeRead);
    ASSERT_EQ(FSFileGetAttributes(ref, &attributes), 0);
    EXPECT_EQ(attributes, kAttrReadOnly);
    EXPECT_EQ(FSFileClose(ref), 0);
}

TEST_F(VolumeTest, VolumeInformationLabelAndSize) {
    DurnixVolumeInfo info{};
    ASSERT_EQ(FSVolumeInfo(kVol, &info), 0);
    EXPECT_EQ(info.attributes, 1u);
    EXPECT_EQ(info.fsType, FourCC("qel_"));
    EXPECT_EQ(info.fsCreator, FourCC("drnx"));
    EXPECT_EQ(info.mountClass, FourCC("libs"));
    EXPECT_EQ(info.slotLibRefNum, kSlotLib);
    EXPECT_EQ(info.slotRefNum, kSlot);
    EXPECT_EQ(info.mediaType, FourCC("sdig"));
    uint32_t type = 0;
    EXPECT_EQ(FSFilesystemType(&type), 0);
    EXPECT_EQ(type, FourCC("qel_"));

    char label[16];
    ASSERT_EQ(FSVolumeGetLabel(kVol, label, sizeof label), 0);
    EXPECT_STREQ(label, "Slot3");
    ASSERT_EQ(FSVolumeGetLabel(kVol, label, 4), 0);
    EXPECT_STREQ(label, "S3");
    EXPECT_EQ(FSVolumeGetLabel(kVol, label, 2), errBadArgument);
    ASSERT_EQ(Mount(2, 120, root_), 0);
    ASSERT_EQ(FSVolumeGetLabel(2, label, sizeof label), 0);
    EXPECT_STREQ(label, "Slot??");
    EXPECT_EQ(FSVolumeSetLabel(kVol, "x"), errNotImplemented);
    EXPECT_EQ(FSVolumeFormat(0), errBadParam);
    EXPECT_EQ(FSCustomControl(0, 0, nullptr, nullptr), errBadParam);

    // Used space is what the files under the root take on the host.
    fs::create_directories(root_ + "/a/b");
    Write(root_ + "/a/b/f", std::string(10000, 'x'));
    uint32_t used = 0, total = 0;
    ASSERT_EQ(FSVolumeSize(kVol, &used, &total), 0);
    struct stat st;
    ASSERT_EQ(stat((root_ + "/a/b/f").c_str(), &st), 0);
    EXPECT_GE(used, static_cast<uint32_t>(st.st_blocks * 512));
    EXPECT_GE(total, used);
    EXPECT_EQ(FSVolumeSize(kVol, &used, nullptr), errBadArgument);
}

TEST_F(VolumeTest, UnmountClosesTheVolumesFiles) {
    Write(root_ + "/a", "1");
    Write(root_ + "/b", "2");
    FileRef a = Open("/a", kModeRead), b = Open("/b", kModeRead);
    ASSERT_EQ(FSVolumeUnmount(kVol), 0);
    auto closes = vantor::os::CallsOf(Library::System, sysslot::FileSystemSel4);
    ASSERT_EQ(closes.size(), 2u);
    EXPECT_EQ(closes[0].args[0], b);  // the list's head is the newest
    EXPECT_EQ(closes[1].args[0], a);
    uint32_t size;
    EXPECT_EQ(FSFileSize(a, &size), errBadArgument);
    EXPECT_EQ(FSFileCreate(kVol, "/c"), errNoSuchVolume);
    EXPECT_EQ(FSFileCreate(0, "/c"), errNoSuchVolume);
}

TEST(DurnixErrnoMapTest, HostErrorsBecomeTheLibrarysStatuses) {
    const std::pair<int, Status> table[] = {
        {0, 0},           {EPERM, 0x2A05},  {EACCES, 0x2A05},  {ENOENT, 0x2A08},       {ENOMEM, 0x0102},
        {EEXIST, 0x2A06}, {ENOTDIR, 0x2A11}, {EISDIR, 0x2A12}, {EINVAL, 0x0502},       {ENFILE, 0x2A0F},
        {EMFILE, 0x2A0F}, {ENOSPC, 0x2A0F}, {EROFS, 0x2907},   {ENAMETOOLONG, 0x2A0E}, {ENOTEMPTY, 0x2A0D},
        {EIO, 0x2A02},    {ELOOP, 0x2A02},
    };
    for (auto [err, status] : table) EXPECT_EQ(DurnixErrnoMap(err), status) << err;
}

}  // namespace
}  // namespace durnix::test
