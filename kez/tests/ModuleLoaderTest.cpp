// The module loader against real modules built with the glue, run against the stand-in OS.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/module/GlueTestModule.h"
#include "common/module/SystemCalls.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"
#include "kez/src/RAL.h"
#include "standin/os/StandinTest.h"

extern "C" uint32_t PrvRALSetExePath(const char* path);
extern "C" void PrvRALPatchHandles(void* kezHandle, void* systemHandle);
extern "C" void PrvPatchSystemDispatchTable(vantor::SystemDispatchTable table);

namespace kez {
namespace {

using namespace vantor;

std::string ModulePath(const char* file) { return std::string(VANTOR_BIN_DIR) + "/" + file; }

bool IsOpen(const char* file) {
    void* handle = dlopen(ModulePath(file).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

class ModuleLoader : public os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        systemHandle_ = dlopen(nullptr, RTLD_NOW);
        PrvPatchSystemDispatchTable(os::SystemTable());
        PrvRALSetExePath(VANTOR_BIN_DIR "/");
        PrvRALPatchHandles(nullptr, systemHandle_);
        std::memset(gKez.config.traceMask, 0, sizeof gKez.config.traceMask);
        PrvRALInitialize();
        // Modules that import Kez bind to this Kez.
        os::RegisterTable(kKezType, kKezCreator, ExportTable(), kKezSlots);
    }
    void TearDown() override {
        PrvRALDispose();
        os::UnregisterModule(kKezType, kKezCreator);
        os::UnregisterModule(kGlueTestType, FourCC("tstA"));
        StandinTest::TearDown();
    }

    static RALLoadDescriptor Descriptor(const char* name) {
        RALLoadDescriptor d{};
        d.words[0] = 11;
        d.words[3] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(name));
        d.words[4] = 44;
        return d;
    }
    uint16_t Load(const char* name, uint32_t* refNum, uint32_t* entry = nullptr, uint32_t arg = 0) {
        RALLoadDescriptor d = Descriptor(name);
        return KEZ_CALL(RALLoadModule, &d, arg, entry, refNum);
    }
    uint16_t Unload(uint32_t refNum) { return KEZ_CALL(RALUnloadModule, refNum, nullptr, nullptr); }
    // Calls export slot `slot` of a loaded module.
    template <typename Sig>
    Sig* Slot(uint32_t refNum, uint16_t slot) {
        uint32_t entry = 0;
        EXPECT_EQ(KEZ_CALL(RALGetEntryAddresses, refNum, slot, slot, &entry), 0);
        return reinterpret_cast<Sig*>(static_cast<uintptr_t>(entry));
    }
    static int Count(const char* line) {
        int n = 0;
        for (const std::string& l : os::TraceLines()) n += l == line;
        return n;
    }

    void* systemHandle_ = nullptr;
};

TEST_F(ModuleLoader, LoadsDllNameAsSoAndCallsTheGlueInOrder) {
    static const char kName[] = "GlueTestModuleA.dll";
    uint32_t refNum = 99, entry = 0;
    ASSERT_EQ(Load(kName, &refNum, &entry), 0);
    EXPECT_EQ(refNum, 0u);  // the first module after initialisation
    EXPECT_NE(entry, 0u);
    EXPECT_TRUE(IsOpen("GlueTestModuleA.so"));
    // The module got its reference number and the system table before its 0x7FFE.
    EXPECT_EQ(Slot<uint32_t()>(refNum, kGlueTestRefNum)(), 0u);
    void* p = Slot<void*(uint32_t)>(refNum, kGlueTestSysAlloc)(8);
    EXPECT_NE(p, nullptr);
    os::ChunkInfo info;
    EXPECT_TRUE(os::GetChunkInfo(p, &info));
    EXPECT_EQ(Count("tstA launch 0x7FFE"), 1);

    // Without an entry out-value the entry is not called at load.
    static const char kOther[] = "GlueTestModuleA.dll";  // equal text, another pointer
    uint32_t second = 0;
    ASSERT_EQ(Load(kOther, &second), 0);
    EXPECT_EQ(second, 1u);
    EXPECT_EQ(Count("tstA launch 0x7FFE"), 1);
    EXPECT_EQ(Unload(second), 0);
    EXPECT_EQ(Count("tstA launch 0x7FFF"), 1);
    EXPECT_EQ(Unload(refNum), 0);
}

TEST_F(ModuleLoader, CountsUsesAndClosesOnTheLastUnload) {
    static const char kName[] = "GlueTestModuleA.dll";
    uint32_t first = 0, again = 0;
    ASSERT_EQ(Load(kName, &first, nullptr, 5), 0);
    ASSERT_EQ(Load(kName, &again, nullptr, 6), 0);
    EXPECT_EQ(again, first);

    uint32_t words[5] = {}, argument = 1;
    EXPECT_EQ(KEZ_CALL(RALUnloadModule, first, words, &argument), 0);
    EXPECT_EQ(argument, 0u);  // still in use
    EXPECT_EQ(words[0], 11u);
    EXPECT_EQ(Count("tstA launch 0x7FFF"), 0);
    EXPECT_TRUE(IsOpen("GlueTestModuleA.so"));

    EXPECT_EQ(KEZ_CALL(RALUnloadModule, first, words, &argument), 0);
    EXPECT_EQ(argument, 5u);  // the first load's argument
    EXPECT_EQ(Count("tstA launch 0x7FFF"), 1);
    EXPECT_FALSE(IsOpen("GlueTestModuleA.so"));
    EXPECT_EQ(Unload(first), 0xFFFF);
}

TEST_F(ModuleLoader, ModuleWithoutEntryPointLoadsAndUnloadsCompletely) {
    static const char kName[] = "GlueTestModuleB.dll";
    uint32_t refNum = 0, entry = 1;
    EXPECT_EQ(Load(kName, &refNum, &entry), 0xFFFF);
    EXPECT_EQ(entry, 0u);
    EXPECT_TRUE(IsOpen("GlueTestModuleB.so"));  // loaded and counted all the same
    EXPECT_EQ(Slot<uint32_t(uint32_t)>(refNum, kGlueTestEcho)(3), 7u);

    RALLoadDescriptor d = Descriptor(kName);
    uint32_t info[4];
    ASSERT_EQ(KEZ_CALL(RALGetModuleInfo, &d, info), 0);
    EXPECT_EQ(info[0], refNum);
    EXPECT_EQ(info[2], 1u);
    EXPECT_EQ(info[3], kGlueTestSlots);

    // The unload reports the missing entry but still frees the record and closes the file.
    EXPECT_EQ(Unload(refNum), 0xFFFF);
    EXPECT_FALSE(IsOpen("GlueTestModuleB.so"));
    ASSERT_EQ(KEZ_CALL(RALGetModuleInfo, &d, info), 0);
    EXPECT_EQ(info[0], 0xFFFFFFFFu);
    EXPECT_EQ(info[1], 4u);
}

TEST_F(ModuleLoader, ImportBindsThroughSlot543OnFirstCallOnly) {
    static const char kA[] = "GlueTestModuleA.dll", kB[] = "GlueTestModuleB.dll";
    uint32_t a = 0, b = 0;
    ASSERT_EQ(Load(kA, &a), 0);
    ASSERT_EQ(Load(kB, &b), 0);
    os::RegisterLoadedModule(kGlueTestType, FourCC("tstA"), a);

    auto* callA = Slot<uint32_t(uint32_t)>(b, kGlueTestCallModuleA);
    EXPECT_EQ(callA(10), 21u);
    EXPECT_EQ(callA(1), 3u);
    std::vector<os::BindRecord> binds = os::BindRecords();
    ASSERT_EQ(binds.size(), 1u);
    EXPECT_EQ(binds[0].creator, FourCC("tstA"));
    EXPECT_EQ(binds[0].refNum, b);  // the importer's reference number
    EXPECT_TRUE(binds[0].bound);

    // B's import was recorded: A loses a use when B goes (B has no entry point, hence 0xFFFF),
    // and is then closed by slot 169.
    EXPECT_EQ(Unload(b), 0xFFFF);
    uint32_t unused = 0;
    EXPECT_EQ(KEZ_CALL(RALUnloadUnusedModule, &unused, nullptr, nullptr), 0);
    EXPECT_EQ(unused, a);
    EXPECT_FALSE(IsOpen("GlueTestModuleA.so"));
    EXPECT_EQ(KEZ_CALL(RALUnloadUnusedModule, &unused, nullptr, nullptr), 1);
}

TEST_F(ModuleLoader, UseCountsNeverWrapAndFreedModulesLeaveNoLinks) {
    static const char kA[] = "GlueTestModuleA.dll", kB[] = "GlueTestModuleB.dll";
    uint32_t a = 0, b = 0, table = 0;
    ASSERT_EQ(Load(kA, &a), 0);
    ASSERT_EQ(Load(kB, &b), 0);
    // Two imports of A by B, one use of A: unloading B must leave A at 0 uses, not 65535.
    ASSERT_EQ(KEZ_CALL(RALImportModule, a, b, &table), 0);
    EXPECT_NE(table, 0u);
    ASSERT_EQ(KEZ_CALL(RALImportModule, a, b, &table), 0);
    EXPECT_EQ(KEZ_CALL(RALImportModule, a, 77, &table), 0xFFFF);
    EXPECT_EQ(table, 0u);
    EXPECT_EQ(Unload(b), 0xFFFF);  // B has no entry point
    uint32_t unused = 0;
    EXPECT_EQ(KEZ_CALL(RALUnloadUnusedModule, &unused, nullptr, nullptr), 0);
    EXPECT_EQ(unused, a);

    // A freed while B still lists it: unloading B later must not touch A's record.
    ASSERT_EQ(Load(kA, &a), 0);
    ASSERT_EQ(Load(kB, &b), 0);
    ASSERT_EQ(KEZ_CALL(RALImportModule, a, b, &table), 0);
    EXPECT_EQ(Unload(a), 0);
    EXPECT_EQ(Unload(b), 0xFFFF);
    EXPECT_EQ(KEZ_CALL(RALUnloadUnusedModule, &unused, nullptr, nullptr), 1);
}

TEST_F(ModuleLoader, MissingFileFailsAndIsTraced) {
    gKez.config.traceMask[0x1F] = 0x01;  // zone 0xFF
    gKez.traceLineStart = true;
    ::testing::internal::CaptureStdout();
    static const char kName[] = "NoSuchModule.dll";
    uint32_t refNum = 0;
    EXPECT_EQ(Load(kName, &refNum), 0xFFFF);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("PrvSafeLoadLibrary(): loading [NoSuchModule.dll]"), std::string::npos);
    EXPECT_NE(out.find("PrvSafeLoadLibrary(): Can't load [NoSuchModule.dll] - "), std::string::npos);
    EXPECT_NE(out.find("PrvSafeLoadLibrary(): [" VANTOR_BIN_DIR "/NoSuchModule.so]"), std::string::npos);
    // The next module still gets the next number from the counter.
    static const char kA[] = "GlueTestModuleA.dll";
    ASSERT_EQ(Load(kA, &refNum), 0);
    EXPECT_EQ(refNum, 0u);
    Unload(refNum);
}

TEST_F(ModuleLoader, SystemNamesEntryAddressesAndModuleData) {
    static const char kSystem[] = "System.dll";
    uint32_t refNum = 0;
    ASSERT_EQ(Load(kSystem, &refNum), 0);
    EXPECT_EQ(refNum, 1024u);

    static const char kA[] = "GlueTestModuleA.dll";
    uint32_t a = 0;
    ASSERT_EQ(Load(kA, &a), 0);
    uint32_t entries[4] = {1, 1, 1, 1};
    // Slots 5 and 6 of a 7-slot table, then zeros.
    ASSERT_EQ(KEZ_CALL(RALGetEntryAddresses, a, 5, 8, entries), 0);
    EXPECT_NE(entries[0], 0u);
    EXPECT_NE(entries[1], 0u);
    EXPECT_EQ(entries[2], 0u);
    EXPECT_EQ(entries[3], 0u);
    EXPECT_EQ(KEZ_CALL(RALGetEntryAddresses, a, 7, 8, entries), 0xFFFF);
    EXPECT_EQ(KEZ_CALL(RALGetEntryAddresses, a, 5, 4, entries), 0xFFFF);
    EXPECT_EQ(KEZ_CALL(RALGetEntryAddresses, a, 0, 0xFFFFFFF0u, entries), 0xFFFF);
    ASSERT_EQ(KEZ_CALL(RALGetEntryAddresses, a, 0xFFFFFFFF, 0xFFFFFFFF, entries), 0);
    EXPECT_EQ(entries[0], static_cast<uint32_t>(reinterpret_cast<uintptr_t>(
                              dlsym(dlopen(ModulePath("GlueTestModuleA.so").c_str(), RTLD_NOW | RTLD_NOLOAD),
                                    "ModuleEntryPoint"))));
    dlclose(dlopen(ModulePath("GlueTestModuleA.so").c_str(), RTLD_NOW | RTLD_NOLOAD));

    uint32_t data = 9;
    EXPECT_EQ(KEZ_CALL(RALGetModuleData, a, &data), 0xFFFF);
    EXPECT_EQ(data, 0u);
    EXPECT_EQ(KEZ_CALL(RALCallEntry, [](uint32_t x) { return x + 1; }, 41u), 42u);
    Unload(a);
}

TEST_F(ModuleLoader, PatchReplacesAnEntryAndDisposeRestoresKezsTable) {
    static const char kA[] = "GlueTestModuleA.dll";
    uint32_t a = 0, old = 0;
    ASSERT_EQ(Load(kA, &a), 0);
    auto replacement = +[](uint32_t x) -> uint32_t { return x + 100; };
    ASSERT_EQ(KEZ_CALL(RALPatchEntry, a, kGlueTestEcho,
                       static_cast<uint32_t>(reinterpret_cast<uintptr_t>(replacement)), &old),
              0);
    EXPECT_NE(old, 0u);
    EXPECT_EQ(Slot<uint32_t(uint32_t)>(a, kGlueTestEcho)(1), 101u);
    EXPECT_EQ(KEZ_CALL(RALPatchEntry, a, kGlueTestSlots, 0, &old), 0xFFFF);
    EXPECT_EQ(old, 0u);

    // A replaced entry of Kez's own table redirects Kez's internal calls until dispose.
    ModuleProc original = ExportTable()[kezslot::HALTimeGetTicks];
    ExportTable()[kezslot::HALTimeGetTicks] = reinterpret_cast<ModuleProc>(+[]() -> uint32_t { return 7; });
    EXPECT_EQ(KEZ_CALL(HALTimeGetTicks), 7u);
    PrvRALDispose();
    EXPECT_EQ(ExportTable()[kezslot::HALTimeGetTicks], original);
    PrvRALInitialize();
}

TEST(KezExports, LibraryExportsExactlyTheInterfaceNames) {
    std::string command = "nm -D --defined-only " VANTOR_BIN_DIR "/libKez.so | awk '{print $3}' | sort";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string names;
    char line[256];
    while (std::fgets(line, sizeof line, pipe)) names += line;
    pclose(pipe);
    for (const char* name : {"ModuleEntryPoint\n", "__ExportDispatchTable\n", "__ExportModuleInfo\n",
                             "__SetDispatchTableSystem\n", "__SetMyDispatchTable\n", "__SetRefNum\n",
                             "PrvRALSetExePath\n", "PrvRALPatchHandles\n",
                             "PrvPatchSystemDispatchTable\n"})
        EXPECT_NE(names.find(name), std::string::npos) << name;
    // Nothing else than C names of the interface: no C++ symbol leaks out of the module.
    EXPECT_EQ(names.find("_Z"), std::string::npos) << names;
}

}  // namespace
}  // namespace kez
