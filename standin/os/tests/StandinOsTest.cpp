// The stand-in OS against a real module built with the glue, and its memory manager, trace and
// call-log API as the modules rely on them.
#include <dlfcn.h>
#include <setjmp.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "common/module/GlueTestModule.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "standin/os/StandinTest.h"

namespace vantor::os {
namespace {

template <typename Sig>
Sig* Entry(Library library, uint16_t slot) {
    return reinterpret_cast<Sig*>(LibraryTable(library)[slot]);
}
template <typename Sig>
Sig* Sys(uint16_t slot) {
    return Entry<Sig>(Library::System, slot);
}

// A glue test module opened with dlopen and handed the system table as a loader would.
class LoadedModule {
public:
    explicit LoadedModule(const char* file) {
        std::string path = std::string(VANTOR_BIN_DIR) + "/" + file;
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) return;
        reinterpret_cast<ModuleSetRefNumProc>(dlsym(handle_, "__SetRefNum"))(7);
        reinterpret_cast<ModuleSetDispatchTableSystemProc>(dlsym(handle_, "__SetDispatchTableSystem"))(
            SystemTable());
        uint32_t unused;
        table_ = static_cast<ModuleProc*>(
            reinterpret_cast<ModuleExportDispatchTableProc>(dlsym(handle_, "__ExportDispatchTable"))(
                &unused));
    }
    ~LoadedModule() {
        if (handle_) dlclose(handle_);
    }
    bool ok() const { return table_ != nullptr; }
    template <typename Sig>
    Sig* Slot(uint16_t slot) const {
        return reinterpret_cast<Sig*>(table_[slot]);
    }
    void* handle() const { return handle_; }

private:
    void* handle_ = nullptr;
    ModuleProc* table_ = nullptr;
};

using StandinOs = StandinTest;

TEST_F(StandinOs, ModuleBindsTheUiLibraryOnItsFirstCallOnly) {
    LoadedModule module("GlueTestModuleA.so");
    ASSERT_TRUE(module.ok()) << dlerror();
    ScriptResult(Library::Ui, kGlueTestUiSlot, 0xCAFE);
    EXPECT_EQ(module.Slot<uint32_t()>(kGlueTestUiBound)(), 0u);

    EXPECT_EQ(module.Slot<uint32_t(uint32_t, uint32_t, uint32_t)>(kGlueTestCallUi)(1, 2, 3), 0xCAFEu);
    EXPECT_EQ(module.Slot<uint32_t(uint32_t, uint32_t, uint32_t)>(kGlueTestCallUi)(4, 5, 6), 0xCAFEu);

    std::vector<BindRecord> binds = BindRecords();
    ASSERT_EQ(binds.size(), 1u);
    EXPECT_EQ(binds[0].creator, kUiLibCreator);
    EXPECT_EQ(binds[0].refNum, 7u);
    EXPECT_TRUE(binds[0].bound);
    // Both calls reached the slot with the caller's arguments.
    std::vector<SlotCall> calls = CallsOf(Library::Ui, kGlueTestUiSlot);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].args[0], 1u);
    EXPECT_EQ(calls[0].args[2], 3u);
    EXPECT_EQ(calls[1].args[1], 5u);
}

TEST_F(StandinOs, BindsRegisteredModulesAndRefusesUnknownOrSmallerOnes) {
    LoadedModule a("GlueTestModuleA.so");
    LoadedModule b("GlueTestModuleB.so");
    ASSERT_TRUE(a.ok() && b.ok());
    ASSERT_TRUE(RegisterModule(a.handle()));
    // Module B reaches module A's Echo through its import of 'tstA'.
    EXPECT_EQ(b.Slot<uint32_t(uint32_t)>(kGlueTestCallModuleA)(20), 41u);

    auto* bind = Sys<syssig::SysBindImport>(sysslot::SysBindImport);
    ModuleImportDescriptor unknown = MakeImportDescriptor(FourCC("test"), FourCC("none"), 1, 1);
    ModuleImportDescriptor tooBig = MakeImportDescriptor(kGlueTestType, FourCC("tstA"), 1, 99);
    void* table = nullptr;
    EXPECT_EQ(bind(&unknown, 3, &table), sysErrLibNotFound);
    EXPECT_EQ(bind(&tooBig, 3, &table), sysErrLibNotFound);
    EXPECT_EQ(table, nullptr);
    UnregisterModule(kGlueTestType, FourCC("tstA"));
}

TEST_F(StandinOs, TraceLinesAndErrorReportsAreCaptured) {
    LoadedModule module("GlueTestModuleA.so");
    ASSERT_TRUE(module.ok());
    module.Slot<void(const char*)>(kGlueTestTrace)("hello");
    Sys<syssig::SysTracePart>(sysslot::SysTracePart)(1, "%d+", 2);
    Sys<syssig::SysTrace>(sysslot::SysTrace)(1, "%s", "3");
    Sys<syssig::ErrDisplayFileLineMsg>(sysslot::ErrDisplayFileLineMsg)("Kez/Src/X", 42, "bad");

    EXPECT_EQ(TraceLines(), (std::vector<std::string>{"tstA hello", "2+3"}));
    ASSERT_EQ(ErrorReports().size(), 1u);
    EXPECT_EQ(ErrorReports()[0].file, "Kez/Src/X");
    EXPECT_EQ(ErrorReports()[0].line, 42);
    EXPECT_EQ(ErrorReports()[0].message, "bad");
}

TEST_F(StandinOs, UnexpectedSlotFailsLoudly) {
    // The default handler prints the call and ends the process.
    SetUnexpectedCallHandler(nullptr);
    EXPECT_DEATH(Sys<uint32_t(uint32_t)>(sysslot::EvtWakeupWithoutNilEvent)(5),
                 "unexpected call: system slot 187 \\(EvtWakeupWithoutNilEvent\\), argument words 0x00000005");
}

TEST_F(StandinOs, ScriptedAndCallbackSlotsLogTheirCalls) {
    ScriptResult(Library::System, sysslot::SysReset, 3);
    OnCall(Library::HostControl, 10, [](const SlotCall& call) { return call.args[0] + call.args[1]; });
    EXPECT_EQ(Sys<uint32_t(uint32_t)>(sysslot::SysReset)(9), 3u);
    EXPECT_EQ(Entry<uint32_t(uint32_t, uint32_t)>(Library::HostControl, 10)(20, 22), 42u);
    ASSERT_EQ(Calls().size(), 2u);
    EXPECT_EQ(Calls()[0].args[0], 9u);
    EXPECT_EQ(Calls()[1].library, Library::HostControl);

    // Scripting a slot with behaviour of its own replaces it until Reset.
    ScriptResult(Library::System, sysslot::MemPtrNew, 0);
    EXPECT_EQ(Sys<syssig::MemPtrNew>(sysslot::MemPtrNew)(16), nullptr);
    Reset();
    void* p = Sys<syssig::MemPtrNew>(sysslot::MemPtrNew)(16);
    EXPECT_NE(p, nullptr);
    Sys<syssig::MemChunkFree>(sysslot::MemChunkFree)(p);
}

// The memory manager, called through the table as the modules call it.
class StandinMemory : public StandinTest {
protected:
    syssig::MemPtrNew* ptrNew = Sys<syssig::MemPtrNew>(sysslot::MemPtrNew);
    syssig::MemChunkNew* chunkNew = Sys<syssig::MemChunkNew>(sysslot::MemChunkNew);
    syssig::MemChunkFree* chunkFree = Sys<syssig::MemChunkFree>(sysslot::MemChunkFree);
    syssig::MemHandleNew* handleNew = Sys<syssig::MemHandleNew>(sysslot::MemHandleNew);
    syssig::MemHandleLock* handleLock = Sys<syssig::MemHandleLock>(sysslot::MemHandleLock);
    syssig::MemHandleUnlock* handleUnlock = Sys<syssig::MemHandleUnlock>(sysslot::MemHandleUnlock);
    syssig::MemHandleResize* handleResize = Sys<syssig::MemHandleResize>(sysslot::MemHandleResize);
    syssig::MemHandleFree* handleFree = Sys<syssig::MemHandleFree>(sysslot::MemHandleFree);
    syssig::DmWrite* dmWrite = Sys<syssig::DmWrite>(sysslot::DmWrite);
};

TEST_F(StandinMemory, HeapsCountSizeAndFreeSpace) {
    EXPECT_EQ(Sys<syssig::MemHeapCount>(sysslot::MemHeapCount)(), 2);
    EXPECT_TRUE(Sys<syssig::MemHeapDynamic>(sysslot::MemHeapDynamic)(kDynamicHeapID));
    EXPECT_FALSE(Sys<syssig::MemHeapDynamic>(sysslot::MemHeapDynamic)(kStorageHeapID));
    uint32_t freeBefore, largest, freeAfter;
    auto* freeBytes = Sys<syssig::MemHeapFreeBytes>(sysslot::MemHeapFreeBytes);
    ASSERT_EQ(freeBytes(kDynamicHeapID, &freeBefore, &largest), 0);
    EXPECT_LE(largest, freeBefore);
    EXPECT_LE(freeBefore, Sys<syssig::MemHeapSize>(sysslot::MemHeapSize)(kDynamicHeapID));
    void* p = ptrNew(1000);
    ASSERT_NE(p, nullptr);
    freeBytes(kDynamicHeapID, &freeAfter, nullptr);
    EXPECT_EQ(freeBefore - freeAfter, 1000u);
    EXPECT_EQ(chunkFree(p), 0);
    freeBytes(kDynamicHeapID, &freeAfter, nullptr);
    EXPECT_EQ(freeAfter, freeBefore);
    EXPECT_EQ(ptrNew(64u << 20), nullptr);
    EXPECT_EQ(freeBytes(9, nullptr, nullptr), memErrInvalidParam);
}

TEST_F(StandinMemory, ChunksAreZeroedOwnedAndFreedOnce) {
    auto* p = static_cast<uint8_t*>(ptrNew(40));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::count(p, p + 40, 0), 40);
    ChunkInfo info;
    ASSERT_TRUE(GetChunkInfo(p, &info));
    EXPECT_EQ(info.heapID, kDynamicHeapID);
    EXPECT_EQ(info.size, 40u);
    EXPECT_EQ(Sys<syssig::MemPtrSetOwner>(sysslot::MemPtrSetOwner)(p, 0), 0);
    GetChunkInfo(p, &info);
    EXPECT_EQ(info.owner, 0);
    EXPECT_EQ(Sys<syssig::MemPtrSetOwner>(sysslot::MemPtrSetOwner)(p, 16), memErrInvalidParam);
    EXPECT_EQ(Sys<syssig::MemPtrSize>(sysslot::MemPtrSize)(p), 40u);

    EXPECT_EQ(chunkFree(p + 8), memErrInvalidParam);  // not the start of a chunk
    EXPECT_EQ(chunkFree(p), 0);
    EXPECT_EQ(chunkFree(p), memErrInvalidParam);  // freed already
    int local;
    EXPECT_EQ(chunkFree(&local), memErrInvalidParam);
}

TEST_F(StandinMemory, HandlesLockMoveOnlyWhenUnlockedAndFree) {
    void* h = handleNew(16);
    ASSERT_NE(h, nullptr);
    void* blocker = ptrNew(16);  // right after the handle's chunk: growing must move it
    auto* p = static_cast<char*>(handleLock(h));
    ASSERT_NE(p, nullptr);
    std::strcpy(p, "kept");
    EXPECT_EQ(Sys<syssig::MemHandleLockCount>(sysslot::MemHandleLockCount)(h), 1);
    EXPECT_EQ(Sys<syssig::MemPtrRecoverHandle>(sysslot::MemPtrRecoverHandle)(p), h);

    EXPECT_EQ(handleResize(h, 4096), memErrChunkLocked);
    EXPECT_EQ(handleUnlock(h), 0);
    EXPECT_EQ(handleUnlock(h), memErrChunkNotLocked);
    ASSERT_EQ(handleResize(h, 4096), 0);
    EXPECT_EQ(Sys<syssig::MemHandleSize>(sysslot::MemHandleSize)(h), 4096u);
    auto* moved = static_cast<char*>(handleLock(h));
    EXPECT_NE(moved, p);
    EXPECT_STREQ(moved, "kept");
    EXPECT_EQ(Sys<syssig::MemPtrUnlock>(sysslot::MemPtrUnlock)(moved), 0);

    EXPECT_EQ(handleFree(h), 0);
    EXPECT_EQ(handleFree(h), memErrInvalidParam);
    EXPECT_EQ(handleLock(h), nullptr);
    EXPECT_EQ(handleLock(blocker), nullptr);  // a pointer is no handle
    chunkFree(blocker);
}

TEST_F(StandinMemory, StorageIsWrittenOnlyThroughDmWriteWithinTheChunk) {
    auto* record = static_cast<uint8_t*>(chunkNew(kStorageHeapID, 8, 3));
    ASSERT_NE(record, nullptr);
    const char data[] = "ABCDEFGH";
    EXPECT_EQ(dmWrite(record, 2, data, 6), 0);
    EXPECT_EQ(std::memcmp(record + 2, "ABCDEF", 6), 0);
    EXPECT_EQ(dmWrite(record + 4, 2, data, 2), 0);  // inside the chunk, from an inner pointer
    EXPECT_EQ(record[6], 'A');
    EXPECT_EQ(dmWrite(record, 2, data, 7), dmErrWriteOutOfBounds);
    EXPECT_EQ(dmWrite(record, 0xFFFFFFF0u, data, 0x20), dmErrWriteOutOfBounds);
    int local;
    EXPECT_EQ(dmWrite(&local, 0, data, 1), dmErrNotValidRecord);
    EXPECT_EQ(record[0], 0);
    // A direct write faults.
    EXPECT_DEATH(record[0] = 1, "");
    EXPECT_EQ(chunkFree(record), 0);
}

TEST(StandinOsState, FeaturesTicksEventsDatabasesAndTasks) {
    Reset();
    uint32_t value = 0;
    auto* ftrGet = Sys<syssig::FtrGet>(sysslot::FtrGet);
    EXPECT_EQ(ftrGet(FourCC("psys"), 1, &value), ftrErrNoSuchFeature);
    EXPECT_EQ(Sys<syssig::FtrSet>(sysslot::FtrSet)(FourCC("psys"), 1, 0x05000000), 0);
    EXPECT_EQ(ftrGet(FourCC("psys"), 1, &value), 0);
    EXPECT_EQ(value, 0x05000000u);

    EXPECT_EQ(Sys<syssig::SysTicksPerSecond>(sysslot::SysTicksPerSecond)(), kTicksPerSecond);
    uint32_t t0 = Sys<syssig::TimGetTicks>(sysslot::TimGetTicks)();
    Sys<syssig::SysTaskSleep>(sysslot::SysTaskSleep)(20);
    EXPECT_GE(Sys<syssig::TimGetTicks>(sysslot::TimGetTicks)() - t0, 20u);

    SysEventType event{};
    event.eType = 4;
    Sys<syssig::EvtAddEventToQueue>(sysslot::EvtAddEventToQueue)(&event);
    SysEventType got{};
    got.eType = 99;
    Sys<syssig::EvtGetEvent>(sysslot::EvtGetEvent)(&got, 0);
    EXPECT_EQ(got.eType, 4);
    Sys<syssig::EvtGetEvent>(sysslot::EvtGetEvent)(&got, 10);
    EXPECT_EQ(got.eType, 0);  // nil event after the time-out

    // While an application runs, the shutdown key stops it first and comes back when it has ended.
    SysEventType shutdown{};
    shutdown.eType = kKeyDownEvent;
    std::memcpy(shutdown.data, &kShutdownCharacter, 2);
    SetApplicationRunning(true);
    Sys<syssig::EvtAddEventToQueue>(sysslot::EvtAddEventToQueue)(&shutdown);
    Sys<syssig::EvtGetEvent>(sysslot::EvtGetEvent)(&got, 0);
    EXPECT_EQ(got.eType, 22);  // application stop
    EXPECT_EQ(PendingEvents(), 0u);
    SetApplicationRunning(false);
    Sys<syssig::EvtGetEvent>(sysslot::EvtGetEvent)(&got, 0);
    uint16_t character = 0;
    std::memcpy(&character, got.data, 2);
    EXPECT_EQ(got.eType, kKeyDownEvent);
    EXPECT_EQ(character, kShutdownCharacter);

    uint32_t old = AddDatabase("Net Prefs", FourCC("rsrc"), FourCC("sokr"), 1);
    uint32_t newer = AddDatabase("Net Prefs", FourCC("rsrc"), FourCC("sokr"), 2);
    SysDmSearchState state{};
    uint32_t ref = 0;
    auto* find = Sys<syssig::DmFindNewestDatabase>(sysslot::DmFindNewestDatabase);
    EXPECT_EQ(find(1, FourCC("rsrc"), FourCC("sokr"), 1, &state, &ref), 0);
    EXPECT_EQ(ref, newer);
    EXPECT_EQ(find(0, FourCC("rsrc"), FourCC("sokr"), 1, &state, &ref), dmErrCantFind);
    EXPECT_EQ(OpenReferences(newer), 1);
    EXPECT_EQ(OpenReferences(old), 0);
    EXPECT_EQ(Sys<syssig::DmCloseDatabase>(sysslot::DmCloseDatabase)(ref), 0);
    EXPECT_EQ(OpenReferences(newer), 0);

    // Without Kez, a task runs once the test starts it, with its argument.
    static std::atomic<uint32_t> seen{0};
    uint32_t task = 0;
    ASSERT_EQ(Sys<syssig::SysTaskCreate>(sysslot::SysTaskCreate)(
                  FourCC("test"), [](uint32_t arg) { seen = arg; }, 4096, 100, &task),
              0);
    Sys<syssig::SysTaskSleep>(sysslot::SysTaskSleep)(10);
    EXPECT_EQ(seen.load(), 0u);
    EXPECT_TRUE(StartTask(task, 77));
    for (int i = 0; i < 500 && seen.load() == 0; ++i) std::this_thread::yield();
    for (int i = 0; i < 100 && seen.load() == 0; ++i) Sys<syssig::SysTaskSleep>(sysslot::SysTaskSleep)(10);
    EXPECT_EQ(seen.load(), 77u);
    Reset();
}

}  // namespace
}  // namespace vantor::os
