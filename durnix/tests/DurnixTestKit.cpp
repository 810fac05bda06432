#include "DurnixTestKit.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/A68kSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/SystemSlots.h"
#include "standin/os/CardSlots.h"

namespace durnix::test {
namespace {

using vantor::os::Library;
namespace sysslot = vantor::sysslot;

int gContextMarker;

void* CurrentContext() {
    ++A68kContextCalls().current;
    return &gContextMarker;
}
void* GlobalContext() {
    ++A68kContextCalls().global;
    return nullptr;
}
// The mount record's conversion: the one layout the library passes, from the current context.
uint16_t RecordToNative(void* context, void* native, uint32_t p, const uint8_t* layout) {
    if (context != &gContextMarker || std::memcmp(layout, kMountParamsLayout, sizeof kMountParamsLayout) != 0)
        return errBadArgument;
    const auto* in = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(p));
    auto* out = static_cast<DurnixMountParams*>(native);
    out->volRefNum = vantor::ReadBE16(in);
    out->reserved = vantor::ReadBE16(in + 2);
    out->mountClass = vantor::ReadBE32(in + 4);
    out->slotLibRefNum = vantor::ReadBE16(in + 8);
    out->slotRefNum = vantor::ReadBE16(in + 10);
    return 0;
}

vantor::ModuleProc* A68kTable() {
    static std::vector<vantor::ModuleProc> table = [] {
        std::vector<vantor::ModuleProc> t(vantor::kA68kSlotCount, nullptr);
        t[vantor::a68kslot::A68kGetCurrentContext] = reinterpret_cast<vantor::ModuleProc>(&CurrentContext);
        t[vantor::a68kslot::A68kGetGlobalContext] = reinterpret_cast<vantor::ModuleProc>(&GlobalContext);
        t[vantor::a68kslot::A68kRecordToNative] = reinterpret_cast<vantor::ModuleProc>(&RecordToNative);
        return t;
    }();
    return table.data();
}

}  // namespace

ContextCalls& A68kContextCalls() {
    static ContextCalls calls;
    return calls;
}

MountRecord68K::MountRecord68K(uint16_t volRefNum, uint32_t mountClass, uint16_t slotLibRefNum,
                               uint16_t slotRefNum) {
    vantor::WriteBE16(bytes, volRefNum);
    vantor::WriteBE16(bytes + 2, 0);
    vantor::WriteBE32(bytes + 4, mountClass);
    vantor::WriteBE16(bytes + 8, slotLibRefNum);
    vantor::WriteBE16(bytes + 10, slotRefNum);
}

void VolumeTest::SetUp() {
    StandinTest::SetUp();
    vantor::glue::SetSystemTable(vantor::os::SystemTable());
    vantor::os::RegisterTable(vantor::kA68kType, vantor::kA68kCreator, A68kTable(), vantor::kA68kSlotCount);
    A68kContextCalls() = {};
    // The OS's side of the library's calls: default folders, notifications, the card check, and
    // the file and volume closes that the OS does through its file-system manager.
    for (uint16_t slot : {sysslot::FileSystemSel22, sysslot::FileSystemSel23, sysslot::SysNotifyUnregisterDirect,
                          sysslot::FileSystemSel4, sysslot::FileSystemSel26})
        vantor::os::ScriptResult(Library::System, slot, 0);
    vantor::os::ScriptResult(Library::System, sysslot::ExpCardCheck, 1);
    char pattern[] = "/tmp/durnix-volume-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    top_ = pattern;
    root_ = top_ + "/card";
    std::filesystem::create_directories(root_);
    ASSERT_EQ(FSLibOpen(), 0);
    ASSERT_EQ(Mount(kVol, kSlot, root_), 0);
}

void VolumeTest::TearDown() {
    while (DurnixGlobalsGet()->openCount) FSLibClose();
    std::filesystem::permissions(top_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    std::filesystem::remove_all(top_);
    vantor::os::UnregisterModule(vantor::kA68kType, vantor::kA68kCreator);
    StandinTest::TearDown();
}

Status VolumeTest::Mount(uint16_t vol, uint16_t slot, const std::string& root, bool readOnly) {
    vantor::os::CardSlotFolder folder;
    folder.root = root;
    folder.readOnly = readOnly;
    vantor::os::CardSlotAttach(slot, folder);
    MountRecord68K record(vol, vantor::FourCC("libs"), kSlotLib, slot);
    return FSVolumeMount(record.Address());
}

std::string VolumeTest::Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void VolumeTest::Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

FileRef VolumeTest::Open(const char* path, uint16_t mode) {
    FileRef ref = 0;
    EXPECT_EQ(FSFileOpen(kVol, path, mode, &ref), 0) << path;
    return ref;
}

}  // namespace durnix::test
