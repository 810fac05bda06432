// The global context, the launch of a real 68K application packed into a resource database, its
// globals, the resource cache, the refusal list, parameter blocks and the application traps.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/A68kCalls.h"
#include "common/module/A68kSlots.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelExports.h"
#include "morvel/launch/AppGlobals.h"
#include "morvel/launch/AppLaunch.h"
#include "morvel/launch/LaunchParams.h"
#include "morvel/tools/ResourceDb.h"
#include "morvel/traps/TrapTable.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/Notify.h"

extern "C" uint32_t ModuleEntryPoint(uint16_t launchCode, void* param, uint16_t flags);

namespace morvel::test {
namespace {

using vantor::FourCC;
using vantor::os::Library;
namespace sys = vantor::sys;

// Kez's memory areas as the test's Kez lists them.
vantor::KezMemoryArea gAreas[3] = {{0, 0x60000000, 0x100000}, {1, 0x57000000, 0x80000}, {2, 0x58000000, 0x200000}};
vantor::KezMemoryAreas gAreaList{3, gAreas};
vantor::KezMemoryAreas* AreaList() { return &gAreaList; }
vantor::ModuleProc* KezTable() {
    static std::vector<vantor::ModuleProc> table = [] {
        std::vector<vantor::ModuleProc> t(vantor::kKezSlots, nullptr);
        t[vantor::kezslot::HALMemoryGetAreas] = reinterpret_cast<vantor::ModuleProc>(&AreaList);
        return t;
    }();
    return table.data();
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Puts a resource database file into the stand-in's store, as the OS's import does.
uint32_t InstallDatabase(const std::string& path, uint32_t id = 0) {
    auto bytes = ReadFile(path);
    tools::ResourceDb db;
    std::string error;
    EXPECT_TRUE(tools::ResourceDbParse(bytes.data(), bytes.size(), &db, &error)) << error;
    uint32_t dbID = id ? vantor::os::AddDatabaseWithID(id, db.name.c_str(), db.type, db.creator, db.version)
                       : vantor::os::AddDatabase(db.name.c_str(), db.type, db.creator, db.version);
    for (const auto& r : db.resources) AddResource(dbID, r.type, r.id, r.bytes);
    return dbID;
}

// What the OS does before it calls the module: the application's database is current and open.
void MakeCurrent(uint32_t dbID) {
    vantor::os::SetCurrentAppDatabase(dbID);
    uint32_t ref = sys::DmOpenDatabaseByID(dbID, 1);
    std::memcpy(static_cast<uint8_t*>(sys::SysGetTaskRecord()) + vantor::kTaskRecordAppDbRef, &ref, 4);
}

class LaunchTest : public MorvelTest {
protected:
    void SetUp() override {
        MorvelTest::SetUp();
        vantor::os::RegisterTable(vantor::kKezType, vantor::kKezCreator, KezTable(), vantor::kKezSlots);
        vantor::os::ScriptResult(Library::System, vantor::sysslot::SysIsEmulationAllowed, 0);
        ASSERT_EQ(EmulatorOpen(), 0);
        global_ = GetGlobalContext();
    }
    void TearDown() override {
        EmulatorClose();
        vantor::os::UnregisterModule(vantor::kKezType, vantor::kKezCreator);
        MorvelTest::TearDown();
    }
    static uint32_t Feature(uint32_t creator, uint16_t number) {
        uint32_t value = 0;
        return sys::FtrGet(creator, number, &value) == 0 ? value : 0xDEADDEAD;
    }
    EmulState* global_ = nullptr;
};

TEST_F(LaunchTest, OpenPublishesTheContextTheTableAndTheReserve) {
    EXPECT_EQ(Feature(FourCC("a68k"), 0), Addr(global_));
    EXPECT_EQ(Feature(FourCC("a68k"), 1), Addr(global_->trapTable));
    EXPECT_EQ(Feature(FourCC("tolv"), 0), 4u);
    EXPECT_EQ(global_->global, global_);
    EXPECT_EQ(global_->regions[0].base, 0x57000000u);
    EXPECT_EQ(global_->regions[1].size, 0x200000u);
    EXPECT_EQ(global_->regions[2].base, 0x60000000u);
    uint32_t reserve = sys::DmFindDatabaseByNameCreatorType(kReserveName, FourCC("a68k"), FourCC("a68k"));
    ASSERT_NE(reserve, 0u);
    uint16_t index = sys::DmFindResource(reserve, FourCC("tbin"), 0, nullptr);
    ASSERT_NE(index, 0xFFFF);
    EXPECT_EQ(sys::MemHandleSize(sys::DmGetResourceIndex(reserve, index)), kReserveSize);
    EXPECT_EQ(vantor::os::OpenReferences(reserve), 0);
    EXPECT_EQ(Feature(FourCC("gdbS"), 0), 0xDEADDEADu);

    // A reserve of the wrong size is mended at the next open; the debug feature asks for 'gdbS'.
    EmulatorClose();
    EXPECT_EQ(Feature(FourCC("a68k"), 0), 0xDEADDEADu);
    sys::DmResizeResource(sys::DmGetResourceIndex(reserve, index), 100);
    sys::FtrSet(FourCC("a68k"), 2, 0x10);
    ASSERT_EQ(EmulatorOpen(), 0);
    EXPECT_EQ(sys::MemHandleSize(sys::DmGetResourceIndex(reserve, index)), kReserveSize);
    EXPECT_EQ(Feature(FourCC("gdbS"), 0), 0x12BEEF34u);

    // Released, the reserve is gone and both contexts know it; a restore brings it back.
    TestContext app;
    EXPECT_EQ(ReserveRelease(&app.state), 0);
    EXPECT_EQ(sys::DmFindResource(reserve, FourCC("tbin"), 0, nullptr), 0xFFFF);
    EXPECT_TRUE(GetGlobalContext()->flags & kFlagReserveReleased);
    EXPECT_TRUE(app.state.flags & kFlagReserveReleased);
    ReserveRestore();
    EXPECT_NE(sys::DmFindResource(reserve, FourCC("tbin"), 0, nullptr), 0xFFFF);
    EXPECT_FALSE(GetGlobalContext()->flags & kFlagReserveReleased);
}

TEST_F(LaunchTest, AFailedOpenLeavesNoFeatureNamingAFreedContext) {
    EmulatorClose();
    // No heap that is not dynamic: the trap table finds no room.
    vantor::os::ScriptResult(Library::System, vantor::sysslot::MemHeapDynamic, 1);
    EXPECT_EQ(EmulatorOpen(), 0x0102);
    EXPECT_EQ(Feature(FourCC("a68k"), 0), 0xDEADDEADu);
    EXPECT_EQ(GetGlobalContext(), nullptr);
}

TEST_F(LaunchTest, TaskContextsShareTheGlobalOne) {
    EmulState* task = nullptr;
    EXPECT_EQ(A68kContextNew(nullptr, &task), 0x0502);  // emulation not allowed
    EXPECT_EQ(task, nullptr);
    vantor::os::ScriptResult(Library::System, vantor::sysslot::SysIsEmulationAllowed, 1);
    ASSERT_EQ(A68kContextNew(nullptr, &task), 0);
    EXPECT_EQ(task->global, global_);
    EXPECT_EQ(task->A[7], vantor::ReadBE32(task->appInfo + kInfoStackEnd) + 1);
    EXPECT_EQ(task->regions[0].base, 0x57000000u);
    EXPECT_EQ(A68kContextDelete(global_), 0x0502);
    EXPECT_EQ(A68kContextDelete(task), 0);
}

// ---- the test application ----

constexpr uint16_t kEvtAppStop = 22, kEvtKeyDown = 4, kEvtPenDown = 1;

TrapHandler gGetEvent, gAppExit;
std::vector<uint8_t> gGlobalsAtFirstEvent, gGlobalsAtExit;
uint32_t gA5, gCodeBase, gStackSize, gGlobalsSize, gBelow;

void SnapshotAt(EmulState* s, std::vector<uint8_t>* out, uint32_t below) {
    const auto* base = reinterpret_cast<const uint8_t*>(s->A[5] - below);
    out->assign(base, base + gGlobalsSize);
}

void HookGetEvent(EmulState* s, uint16_t index) {
    if (gGlobalsAtFirstEvent.empty()) {
        SnapshotAt(s, &gGlobalsAtFirstEvent, gBelow);
        gA5 = s->A[5];
        gCodeBase = Addr(sys::MemHandleLock(s->codeResource));
        sys::MemHandleUnlock(s->codeResource);
        vantor::os::ChunkInfo info{};
        vantor::os::GetChunkInfo(s->appStack, &info);
        gStackSize = info.size;
    }
    gGetEvent(s, index);
}
void HookAppExit(EmulState* s, uint16_t index) {
    SnapshotAt(s, &gGlobalsAtExit, gBelow);
    gAppExit(s, index);
}

void Post(uint16_t type, uint16_t data8, int16_t x = 0, int16_t y = 0) {
    vantor::SysEventType e{};
    e.eType = type;
    e.screenX = x;
    e.screenY = y;
    std::memcpy(e.data, &data8, 2);
    sys::EvtAddEventToQueue(&e);
}

// The globals as the linked ELF file says they must be, from binutils: the bytes of .data with
// each pointer moved from the link addresses to the run's A5 and code.
std::vector<uint8_t> ExpectedGlobals(uint32_t a5, uint32_t codeBase, uint32_t* below) {
    const std::string elf = MORVEL_TEST_APP ".elf";
    std::string bin = elf + ".data.bin";
    RunCommand("m68k-linux-gnu-objcopy -O binary -j .data " + elf + " " + bin);
    std::vector<uint8_t> data = ReadFile(bin);
    std::string syms = RunCommand("m68k-linux-gnu-nm " + elf);
    auto symbol = [&](const std::string& name) {
        std::istringstream in(syms);
        std::string value, kind, n;
        while (in >> value >> kind >> n)
            if (n == name) return static_cast<uint32_t>(std::stoul(value, nullptr, 16));
        ADD_FAILURE() << "no symbol " << name;
        return 0u;
    };
    uint32_t dataStart = 0x100000, linkA5 = symbol("a5base");
    *below = linkA5 - dataStart;
    std::istringstream relocs(RunCommand("m68k-linux-gnu-readelf -rW " + elf));
    std::string line;
    int count = 0;
    while (std::getline(relocs, line)) {
        std::istringstream fields(line);
        std::string offset, info, type;
        if (!(fields >> offset >> info >> type) || type != "R_68K_32") continue;
        uint32_t pos = static_cast<uint32_t>(std::stoul(offset, nullptr, 16)) - dataStart;
        uint32_t value = vantor::ReadBE32(&data[pos]);
        vantor::WriteBE32(&data[pos], value >= dataStart ? value - linkA5 + a5 : value + codeBase);
        ++count;
    }
    EXPECT_EQ(count, 5);
    return data;
}

TEST_F(LaunchTest, TheTestApplicationRunsThroughModuleEntryPoint) {
    uint32_t app = InstallDatabase(MORVEL_TEST_APP ".vrx");
    MakeCurrent(app);
    // 'code' 0 says how big the globals are.
    void* sizes = sys::DmGet1Resource(FourCC("code"), 0);
    ASSERT_NE(sizes, nullptr);
    auto* s0 = static_cast<const uint8_t*>(sys::MemHandleLock(sizes));
    gBelow = vantor::ReadBE32(s0 + 4);
    gGlobalsSize = vantor::ReadBE32(s0) + gBelow;
    sys::MemHandleUnlock(sizes);

    gGlobalsAtFirstEvent.clear();
    gGlobalsAtExit.clear();
    ASSERT_EQ(A68kGetTrapAddress(global_, 0x11D, &gGetEvent), 0);
    ASSERT_EQ(A68kGetTrapAddress(global_, 0x090, &gAppExit), 0);
    A68kSetTrapAddress(global_, 0x11D, HookGetEvent);
    A68kSetTrapAddress(global_, 0x090, HookAppExit);

    Post(kEvtKeyDown, 'a');
    Post(kEvtPenDown, 0, 10, 20);
    Post(kEvtKeyDown, 'b');
    Post(kEvtKeyDown, 'c');
    Post(kEvtAppStop, 0);
    uint32_t result = ModuleEntryPoint(0, nullptr, kLaunchNewGlobals | kLaunchUiApp);
    EXPECT_EQ(result, uint32_t{'a' + 'b' + 'c'});
    EXPECT_EQ(vantor::os::PendingEvents(), 0u);
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(gStackSize, 8192u);

    // The globals, byte by byte, when the application first asked for an event.
    uint32_t below = 0;
    auto expected = ExpectedGlobals(gA5, gCodeBase, &below);
    EXPECT_EQ(below, gBelow);
    ASSERT_EQ(gGlobalsAtFirstEvent.size(), gGlobalsSize);
    expected.resize(gGlobalsSize, 0);
    for (size_t i = 0; i < expected.size(); ++i) {
        // The application's own checks have run by then (checks, at A5 + 12).
        if (i >= below + 12 && i < below + 16) continue;
        ASSERT_EQ(gGlobalsAtFirstEvent[i], expected[i]) << "at A5 " << static_cast<int>(i - below);
    }
    // Its checks of the relocated pointers passed, and it saw the events in its own layout.
    const uint8_t* atExit = gGlobalsAtExit.data() + below;
    EXPECT_EQ(vantor::ReadBE32(atExit + 12), 7u);  // checks
    EXPECT_EQ(vantor::ReadBE32(atExit + 0), 3u);   // keys counted
    EXPECT_EQ(vantor::ReadBE32(atExit + 8), (10u << 16) | 20u);

    // Everything the launch made is gone; the application's database is left as the OS opened it.
    EXPECT_EQ(GetTaskContext(), nullptr);
    EXPECT_EQ(vantor::os::OpenReferences(app), 1);
    A68kSetTrapAddress(global_, 0x11D, gGetEvent);
    A68kSetTrapAddress(global_, 0x090, gAppExit);
}

void HookStackSize(EmulState* s, uint16_t index) {
    vantor::os::ChunkInfo info{};
    vantor::os::GetChunkInfo(s->appStack, &info);
    gStackSize = info.size;
    gGetEvent(s, index);
}

TEST_F(LaunchTest, AnApplicationWithoutGlobalsRuns) {
    MakeCurrent(InstallDatabase(MORVEL_NOGLOBALS_APP));
    EXPECT_EQ(ModuleEntryPoint(0, nullptr, kLaunchNewGlobals), 7u);
}

// An application in C reaches its globals and functions through the offset table at A5: the
// application checks what it needs of the packing and the launch, one bit each.
TEST_F(LaunchTest, AnApplicationInCRunsBehindItsOffsetTable) {
    uint32_t app = InstallDatabase(MORVEL_C_APP ".vrx");
    uint16_t greeting = sys::DmFindResource(app, FourCC("tSTR"), 1000, nullptr);  // packed from a file
    ASSERT_NE(greeting, 0xFFFF);
    EXPECT_EQ(sys::MemHandleSize(sys::DmGetResourceIndex(app, greeting)), 21u);
    MakeCurrent(app);
    for (char c : {'x', 'y', 'z'}) Post(kEvtKeyDown, static_cast<uint16_t>(c));
    Post(kEvtAppStop, 0);
    uint32_t result = ModuleEntryPoint(0, nullptr, kLaunchNewGlobals | kLaunchUiApp);
    EXPECT_EQ(result >> 16, 0x3FFu) << std::hex << (result >> 16);
    EXPECT_EQ(result & 0xFFFF, uint32_t{'x' + 'y' + 'z'});
    EXPECT_EQ(vantor::os::PendingEvents(), 0u);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(LaunchTest, WithoutPrefTheStackHasTheDefaultSize) {
    uint32_t app = InstallDatabase(MORVEL_TEST_APP ".vrx");
    sys::DmRemoveResourceByIndex(app, sys::DmFindResource(app, FourCC("pref"), 0, nullptr));
    MakeCurrent(app);
    ASSERT_EQ(A68kGetTrapAddress(global_, 0x11D, &gGetEvent), 0);
    A68kSetTrapAddress(global_, 0x11D, HookStackSize);
    gStackSize = 0;
    Post(kEvtAppStop, 0);
    ModuleEntryPoint(0, nullptr, kLaunchNewGlobals);
    EXPECT_EQ(gStackSize, kDefaultStackSize);
    A68kSetTrapAddress(global_, 0x11D, gGetEvent);
}

TEST_F(LaunchTest, ALaunchWithoutCodeRunsNothing) {
    uint32_t empty = vantor::os::AddDatabase("Empty", FourCC("appl"), FourCC("empt"), 1);
    MakeCurrent(empty);
    EXPECT_EQ(ModuleEntryPoint(0, nullptr, 0), 0u);
    uint8_t block[kLaunchBlockSize] = {};
    EXPECT_EQ(ModuleEntryPoint(1, block, 0), 0u);  // a find record, converted and freed again
    EXPECT_EQ(ModuleEntryPoint(vantor::ModuleLaunchCodeUnload, nullptr, 0), 0u);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(LaunchTest, ResourceCacheIsNamedMadeAndEmptied) {
    struct Case {
        const char* app;
        const char* creator;
        const char* expected;
    } cases[] = {
        {"Memo", "memo", "Memo_memo_appl_a68k"},
        {"Notesmemo", "memo", "Notesmemo_appl_a68k"},
        // Names that fill the 31 characters leave no room for the suffix.
        {"A very long application name", "memo", "A very long applicati_memo_appl"},
        {"Long application name for memo", "memo", "Long application name for _appl"},
    };
    for (const Case& c : cases) {
        char name[32];
        ResourceCacheName(c.app, FourCC(c.creator[0], c.creator[1], c.creator[2], c.creator[3]), FourCC("appl"), name);
        EXPECT_STREQ(name, c.expected);
    }

    vantor::os::ScriptResult(Library::System, vantor::sysslot::SysIsEmulationAllowed, 1);
    uint32_t app = InstallDatabase(MORVEL_TEST_APP ".vrx");
    MakeCurrent(app);
    // A cache left from an earlier run holds a translation; nobody else has it open.
    ASSERT_EQ(sys::DmCreateDatabaseNamed(0, "Morvel Test_MvTs_appl_a68k", FourCC("MvTs"), FourCC("a68k"), 1), 0);
    uint32_t cache = sys::DmFindDatabaseByNameCreatorType("Morvel Test_MvTs_appl_a68k", FourCC("MvTs"), FourCC("a68k"));
    AddResource(cache, FourCC("tFRM"), 1000, {1, 2, 3});
    Post(kEvtAppStop, 0);
    EXPECT_EQ(ModuleEntryPoint(0, nullptr, kLaunchNewGlobals), 0u);
    EXPECT_EQ(sys::DmNumResources(cache), 0);
    EXPECT_EQ(vantor::os::OpenReferences(cache), 0);
    // The application's database was opened again after the cache: its new reference is the OS's.
    EXPECT_EQ(vantor::os::OpenReferences(app), 1);

    // Deleting the application deletes its cache.
    uint8_t details[48] = {};
    std::strcpy(reinterpret_cast<char*>(details + 8), "Morvel Test");
    vantor::WriteBE32(details + 40, FourCC("MvTs"));
    vantor::WriteBE32(details + 44, FourCC("appl"));
    EXPECT_EQ(vantor::os::NotifyBroadcastDirect(FourCC("dbs-"), details), 1);
    EXPECT_EQ(sys::DmFindDatabaseByNameCreatorType("Morvel Test_MvTs_appl_a68k", FourCC("MvTs"), FourCC("a68k")), 0u);
}

TEST_F(LaunchTest, TheRefusalListKeepsMatchingDatabasesFromRunning) {
    // The list: creator 'MvTs', type 'appl', versions up to 2.
    EmulatorClose();
    uint32_t system = vantor::os::AddDatabase("System", FourCC("rsrc"), FourCC("psys"), 1);
    std::vector<uint8_t> list = {0, 0, 0, 6};
    for (uint32_t word : {FourCC("MvTs"), FourCC("appl"), 0x00020000u, FourCC("MvTs"), FourCC("libr"), 0x00090000u}) {
        list.resize(list.size() + 4);
        vantor::WriteBE32(&list[list.size() - 4], word);
    }
    AddResource(system, FourCC("adwd"), 10000, list);
    sys::DmOpenDatabaseByID(system, 1);
    ASSERT_EQ(EmulatorOpen(), 0);
    sys::DmCloseDatabase(system);

    uint32_t refused = InstallDatabase(MORVEL_TEST_APP ".vrx", 0x80002000);
    MakeCurrent(refused);
    std::vector<std::string> notices;
    vantor::os::OnCall(Library::System, vantor::sysslot::ErrAlertCustom, [&](const vantor::os::SlotCall& c) {
        notices.push_back(std::to_string(c.args[0] & 0xFFFF) + (c.args[1] ? "+" : "-") +
                          reinterpret_cast<const char*>(c.args[3]));
        return 0u;
    });
    Post(kEvtAppStop, 0);
    EXPECT_EQ(ModuleEntryPoint(0, nullptr, kLaunchNewGlobals), 0u);
    EXPECT_EQ(notices, std::vector<std::string>{"13314- [Morvel Test]"});
    EXPECT_EQ(ModuleEntryPoint(1, nullptr, kLaunchNewGlobals), 0u);
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_EQ(vantor::os::PendingEvents(), 1u);  // it never ran

    // The same application with an id the list is not consulted for runs.
    uint32_t ram = InstallDatabase(MORVEL_TEST_APP ".vrx");
    MakeCurrent(ram);
    EXPECT_EQ(ModuleEntryPoint(0, nullptr, kLaunchNewGlobals), 0u);
    EXPECT_EQ(vantor::os::PendingEvents(), 0u);
}

TEST(AppGlobals, DamagedImagesStopInsideTheGlobals) {
    // 16 bytes of globals, 8 of them below A5; the four bytes after them stay untouched.
    struct Case {
        const char* what;
        std::vector<uint8_t> image;
        bool ok;
    };
    // The header and three blocks at A5 that hold nothing, then what a case appends.
    auto empty = [](std::vector<uint8_t> tail) {
        std::vector<uint8_t> image(19, 0);
        image.insert(image.end(), tail.begin(), tail.end());
        return image;
    };
    const Case cases[] = {
        {"three empty blocks", empty({}), true},
        {"a block placed before the globals", {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xF7, 0x80, 1, 0}, false},
        {"a literal running past the globals", {0, 0, 0, 0, 0, 0, 0, 4, 0x87, 1, 2, 3, 4, 5, 6, 7, 8, 0}, false},
        {"a literal running past the image", {0, 0, 0, 0, 0, 0, 0, 0, 0x85, 1, 2}, false},
        {"a block without its end", {0, 0, 0, 0, 0, 0, 0, 0, 0x41}, false},
        {"a relocation of the last word", empty({0, 0, 0, 1, 0x82}), true},
        {"a relocation beyond the globals", empty({0, 0, 0, 1, 0x84}), false},
        {"a relocation count larger than the table", empty({0x7F, 0xFF, 0xFF, 0xFF, 0x80}), false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> globals(20, 0xAA);
        bool ok = GlobalsUnpack(c.image.data(), static_cast<uint32_t>(c.image.size()), globals.data(), 16, 8, 0);
        EXPECT_EQ(ok, c.ok) << c.what;
        EXPECT_EQ(std::vector<uint8_t>(globals.begin() + 16, globals.end()), std::vector<uint8_t>(4, 0xAA)) << c.what;
    }
}

// ---- parameter blocks and the application traps ----

using LaunchParamsTest = MorvelTest;

TEST_F(LaunchParamsTest, BlocksConvertByLaunchCode) {
    // Code 52: a u32 natively, a zero u16 and the u32 on the 68K side.
    uint32_t one = 1;
    void* block = LaunchParamsTo68K(&one, nullptr, 52, 0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::memcmp(block, "\0\0\0\0\0\1", 6), 0);
    uint32_t back = 0;
    EXPECT_EQ(LaunchParamsToNative(block, &back, 52, 0), &back);
    EXPECT_EQ(back, 1u);
    LaunchParamsFree(block, &one, 52);

    // A code without conversion hands over the block itself.
    uint8_t raw[16] = {};
    EXPECT_EQ(LaunchParamsTo68K(raw, nullptr, 0, 0), raw);
    EXPECT_EQ(LaunchParamsToNative(raw, nullptr, 50, 0), raw);

    // Code 2: the native u32 at 16 is at 14 on the 68K side, and the gaps are written 0.
    uint8_t native[20];
    for (int i = 0; i < 20; ++i) native[i] = static_cast<uint8_t>(i + 1);
    auto* b68 = static_cast<uint8_t*>(LaunchParamsTo68K(native, nullptr, 2, 0));
    const uint8_t expected[20] = {2, 1, 0, 0, 8, 7, 6, 5, 10, 9, 12, 11, 14, 13, 20, 19, 18, 17, 0, 0};
    EXPECT_EQ(std::memcmp(b68, expected, 20), 0);
    uint8_t again[20] = {};
    LaunchParamsToNative(b68, again, 2, 0);
    for (int i : {0, 1, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16, 17, 18, 19}) EXPECT_EQ(again[i], native[i]) << i;
    LaunchParamsFree(b68, native, 2);

    // Code 15: a text without a terminator in its 12 bytes is cut.
    uint8_t find[36];
    std::memset(find, 'x', sizeof find);
    auto* f68 = static_cast<uint8_t*>(LaunchParamsTo68K(find, nullptr, 15, 0));
    EXPECT_EQ(strnlen(reinterpret_cast<char*>(f68 + 8), 12), 11u);
    LaunchParamsFree(f68, find, 15);
}

TEST_F(LaunchParamsTest, ExchangeSocketsKeepSixFlagsAndDropTheUncarriedWord) {
    // Code 26: the block is a socket. Flags 0xFC00 reach the OS as 0x3F and come back as 0xFC00;
    // the 68K word at 30 and the low flag bits come back 0.
    uint8_t s68[60];
    for (int i = 0; i < 60; ++i) s68[i] = static_cast<uint8_t>(0x10 + i);
    vantor::WriteBE16(s68 + 46, 0xFFFF);
    vantor::WriteBE32(s68 + 56, 0x12345678);
    auto* native = static_cast<uint8_t*>(LaunchParamsToNative(s68, nullptr, 26, 0));
    ASSERT_NE(native, nullptr);
    uint32_t flags, name, first;
    std::memcpy(&flags, native + 48, 4);
    std::memcpy(&name, native + 60, 4);
    std::memcpy(&first, native + 4, 4);
    EXPECT_EQ(flags, 0x3Fu);
    EXPECT_EQ(name, 0x12345678u);
    EXPECT_EQ(first, vantor::ReadBE32(s68 + 2));
    EXPECT_EQ(native[2] | native[3] | native[38] | native[39], 0);  // alignment bytes stay 0
    uint8_t back[60];
    std::memset(back, 0xEE, sizeof back);
    LaunchParamsTo68K(native, back, 26, 0);
    for (int i = 0; i < 60; ++i) {
        if (i == 30 || i == 31 || i == 46 || i == 47) continue;
        EXPECT_EQ(back[i], s68[i]) << i;
    }
    EXPECT_EQ(vantor::ReadBE16(back + 30), 0);
    EXPECT_EQ(vantor::ReadBE16(back + 46), 0xFC00);

    // Native modules convert sockets through export slots 37 and 38, alike.
    vantor::ModuleProc* exports = MorvelExportTable();
    uint8_t viaSlot[64];
    std::memset(viaSlot, 0xEE, sizeof viaSlot);
    reinterpret_cast<vantor::a68ksig::A68kExgSocketToNative*>(exports[vantor::a68kslot::A68kExgSocketToNative])(
        nullptr, viaSlot, Addr(s68));
    EXPECT_EQ(std::memcmp(viaSlot, native, 64), 0);
    uint8_t back2[60];
    reinterpret_cast<vantor::a68ksig::A68kExgSocketTo68K*>(exports[vantor::a68kslot::A68kExgSocketTo68K])(
        nullptr, native, Addr(back2));
    EXPECT_EQ(std::memcmp(back2, back, 60), 0);
    LaunchParamsFree(native, s68, 26);
}

TEST_F(LaunchParamsTest, BlocksThatPointToRecordsGetTheirOwnCopy) {
    // Code 27: a native block pointing to a native socket. The 68K block points to a 68K socket of
    // its own; converting back writes into the native block's socket, not over its pointer.
    uint8_t socketNative[64] = {};
    socketNative[0] = 0x34, socketNative[1] = 0x12;  // library reference 0x1234, host order
    uint8_t block[12] = {};
    const uint32_t p = Addr(socketNative);
    std::memcpy(block, &p, 4);
    std::memcpy(block + 4, "abcd", 4);
    block[8] = 7;
    auto* b68 = static_cast<uint8_t*>(LaunchParamsTo68K(block, nullptr, 27, 0));
    ASSERT_NE(b68, nullptr);
    const uint32_t own68 = vantor::ReadBE32(b68);
    ASSERT_NE(own68, 0u);
    EXPECT_NE(own68, p);
    EXPECT_EQ(vantor::ReadBE16(reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(own68))), 0x1234);
    EXPECT_EQ(std::memcmp(b68 + 4, "abcd", 4), 0);
    EXPECT_EQ(b68[8], 0);
    vantor::WriteBE16(reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(own68)), 0x4321);  // the app changes it
    LaunchParamsToNative(b68, block, 27, 0);
    uint32_t kept;
    std::memcpy(&kept, block, 4);
    EXPECT_EQ(kept, p);
    EXPECT_EQ(socketNative[0] | socketNative[1] << 8, 0x4321);
    LaunchParamsFree(b68, block, 27);

    // A block without a socket points to none.
    uint8_t empty[12] = {};
    auto* e68 = static_cast<uint8_t*>(LaunchParamsTo68K(empty, nullptr, 27, 0));
    EXPECT_EQ(vantor::ReadBE32(e68), 0u);
    LaunchParamsFree(e68, empty, 27);

    // Code 57: the layout moves the fields around the socket pointer (68K at 2, native at 4).
    uint8_t b57[32] = {};
    uint16_t u16 = 0x0102;
    std::memcpy(b57, &u16, 2);
    std::memcpy(b57 + 4, &p, 4);
    uint32_t u32 = 0xA1A2A3A4;
    std::memcpy(b57 + 16, &u32, 4);
    u16 = 0xB1B2;
    std::memcpy(b57 + 30, &u16, 2);
    auto* m68 = static_cast<uint8_t*>(LaunchParamsTo68K(b57, nullptr, 57, 0));
    EXPECT_EQ(vantor::ReadBE16(m68), 0x0102);
    EXPECT_EQ(vantor::ReadBE32(m68 + 12), 0xA1A2A3A4u);
    EXPECT_EQ(vantor::ReadBE16(m68 + 26), 0xB1B2);
    const uint32_t sock57 = vantor::ReadBE32(m68 + 2);
    ASSERT_NE(sock57, 0u);
    EXPECT_NE(sock57, p);
    EXPECT_EQ(vantor::ReadBE16(reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(sock57))), 0x4321);
    LaunchParamsToNative(m68, b57, 57, 0);
    std::memcpy(&kept, b57 + 4, 4);
    EXPECT_EQ(kept, p);
    LaunchParamsFree(m68, b57, 57);

    // Code 60, attention command 1: {4 x u16, byte, u32}.
    uint8_t params[16] = {};
    for (int i = 0; i < 4; ++i) {
        u16 = static_cast<uint16_t>(0x1000 + i);
        std::memcpy(params + 2 * i, &u16, 2);
    }
    params[8] = 0x99;
    u32 = 0xC0FFEE01;
    std::memcpy(params + 12, &u32, 4);
    uint8_t b60[12] = {};
    u16 = 1;
    std::memcpy(b60, &u16, 2);
    const uint32_t pp = Addr(params);
    std::memcpy(b60 + 8, &pp, 4);
    auto* a68 = static_cast<uint8_t*>(LaunchParamsTo68K(b60, nullptr, 60, 0));
    EXPECT_EQ(vantor::ReadBE16(a68), 1);
    const auto* p68 = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(vantor::ReadBE32(a68 + 6)));
    ASSERT_NE(p68, nullptr);
    EXPECT_EQ(vantor::ReadBE16(p68 + 6), 0x1003);
    EXPECT_EQ(p68[8], 0x99);
    EXPECT_EQ(vantor::ReadBE32(p68 + 10), 0xC0FFEE01u);  // words and longs sit at even 68K offsets
    LaunchParamsFree(a68, b60, 60);
}

TEST_F(LaunchParamsTest, FindRecordMovesItsFieldsAndClearsTheUncarriedOnes) {
    uint8_t native[308];
    for (int i = 0; i < 308; ++i) native[i] = static_cast<uint8_t>(i * 7 + 1);
    auto* f68 = static_cast<uint8_t*>(LaunchParamsTo68K(native, nullptr, 1, 0));
    ASSERT_NE(f68, nullptr);
    uint32_t v;
    std::memcpy(&v, native + 48, 4);
    EXPECT_EQ(vantor::ReadBE32(f68 + 46), v);
    EXPECT_EQ(f68[58], native[56]);
    EXPECT_EQ(f68[39] | f68[59] | f68[50] | f68[51] | f68[56] | f68[57], 0);
    EXPECT_EQ(std::memcmp(f68 + 60, native + 60, 248), 0);
    EXPECT_EQ(std::memcmp(f68 + 4, native + 4, 35), 0);
    uint8_t back[308] = {};
    LaunchParamsToNative(f68, back, 1, 0);
    // Every native byte comes back but the two cleared ones and the padding at 46-47 and 58-59.
    for (int i = 0; i < 308; ++i) {
        if (i == 39 || i == 57 || i == 46 || i == 47 || i == 58 || i == 59) continue;
        EXPECT_EQ(back[i], native[i]) << i;
    }
    EXPECT_EQ(back[39] | back[57], 0);
    LaunchParamsFree(f68, native, 1);
}

class AppTrapsTest : public MorvelTest {
protected:
    void SetUp() override {
        MorvelTest::SetUp();
        ASSERT_EQ(TrapTableCreate(&ctx_.state), 0);
    }
    uint16_t Run(const std::string& src) {
        code_ = Assemble(src);
        return Call68KCode(&ctx_.state, Addr(code_.data()), 0);
    }
    TestContext ctx_;
    std::vector<uint8_t> code_;
};

TEST_F(AppTrapsTest, AppInfoFollowsTheContextThatOwnsTheUi) {
    TestContext ui;
    vantor::WriteBE16(ui.state.appInfo + kInfoFlags, kLaunchUiApp);
    ctx_.state.parent = &ui.state;
    vantor::WriteBE32(ctx_.state.appInfo + kInfoStackBase, 0x1000);
    vantor::WriteBE32(ctx_.state.appInfo + kInfoStackEnd, 0x1FFF);
    EXPECT_EQ(Run(R"(
        lea out(%pc),%a2
        pea 4(%a2)
        pea (%a2)
        trap #15
        .short 0xA33C           | SysGetAppInfo
        addq.l #8,%sp
        move.l %a0,%d3
        pea 12(%a2)
        pea 8(%a2)
        trap #15
        .short 0xA33D           | SysGetStackInfo
        addq.l #8,%sp
        move.l #0x12345678,-(%sp)
        trap #15
        .short 0xA091           | SysSetA5
        addq.l #4,%sp
        move.l %d0,%d4
        rts
        .even
out:    .space 16
)"),
              0);
    const uint8_t* out = code_.data() + code_.size() - 16;
    EXPECT_EQ(ctx_.state.D[3], Addr(ctx_.state.appInfo));
    EXPECT_EQ(vantor::ReadBE32(out), Addr(ui.state.appInfo));
    EXPECT_EQ(vantor::ReadBE32(out + 4), Addr(ctx_.state.appInfo));
    EXPECT_EQ(vantor::ReadBE32(out + 8), 0x1000u);
    EXPECT_EQ(vantor::ReadBE32(out + 12), 0x1FFFu);
    EXPECT_EQ(ctx_.state.A[5], 0x12345678u);
    EXPECT_EQ(ctx_.state.D[4], 0u);
}

TEST_F(AppTrapsTest, LaunchAndSwitchConvertTheirBlocks) {
    // SysAppLaunch with code 52: the OS sees the native block and writes back through it.
    vantor::os::OnCall(Library::System, vantor::sysslot::SysAppLaunch, [](const vantor::os::SlotCall& c) {
        auto* native = reinterpret_cast<uint32_t*>(c.args[4]);
        EXPECT_EQ(c.args[3] & 0xFFFF, 52u);
        EXPECT_EQ(*native, 0x01020304u);
        *native = 0x0A0B0C0D;
        *reinterpret_cast<uint32_t*>(c.args[5]) = 99;
        return 0u;
    });
    // SysUIAppSwitch: the OS keeps the block it is given.
    std::vector<uint32_t> switched;
    vantor::os::OnCall(Library::System, vantor::sysslot::SysUIAppSwitchWithBlock, [&](const vantor::os::SlotCall& c) {
        switched.push_back(c.args[3]);
        return 0u;
    });
    EXPECT_EQ(Run(R"(
        lea block(%pc),%a2
        pea 20(%a2)             | out result
        move.l %a2,-(%sp)       | parameter block
        move.w #52,-(%sp)       | launch code
        clr.w -(%sp)            | launch flags
        move.l #0x1234,-(%sp)   | database id
        clr.w -(%sp)            | card
        trap #15
        .short 0xA08E           | SysAppLaunch
        lea 18(%sp),%sp
        move.l %d0,%d3
        moveq #2,%d5            | SysUIAppSwitch twice with code 52, once with code 0
loop:   move.l %a2,-(%sp)
        move.w #52,-(%sp)
        move.l #0x1234,-(%sp)
        clr.w -(%sp)
        trap #15
        .short 0xA0A7
        lea 12(%sp),%sp
        subq.w #1,%d5
        bne.s loop
        move.l %a2,-(%sp)
        clr.w -(%sp)
        move.l #0x1234,-(%sp)
        clr.w -(%sp)
        trap #15
        .short 0xA0A7
        lea 12(%sp),%sp
        rts
        .even
block:  .short 0
        .long 0x01020304
        .space 22
)"),
              0);
    uint8_t* block = code_.data() + code_.size() - 28;
    EXPECT_EQ(ctx_.state.D[3] & 0xFFFF, 0u);
    EXPECT_EQ(vantor::ReadBE32(block + 2), 0x0A0B0C0Du);
    EXPECT_EQ(vantor::ReadBE32(block + 20), 99u);
    // Code 52's native copies were handed over with owner 0; the application's block is recorded
    // once. The unconverted block of code 0 went to the OS itself and is not recorded.
    ASSERT_EQ(switched.size(), 3u);
    for (int i : {0, 1}) {
        vantor::os::ChunkInfo info{};
        ASSERT_TRUE(vantor::os::GetChunkInfo(reinterpret_cast<void*>(switched[i]), &info));
        EXPECT_EQ(info.owner, 0);
        sys::MemChunkFree(reinterpret_cast<void*>(switched[i]));
    }
    EXPECT_EQ(switched[2], Addr(block));
    int recorded = 0;
    for (TaggedNode* n = ctx_.state.taggedNodes; n; n = n->next) recorded += n->payload == block;
    EXPECT_EQ(recorded, 1);
    TaggedNodeRemove(&ctx_.state, ctx_.state.taggedNodes);  // the block is the test's own
}

}  // namespace
}  // namespace morvel::test
