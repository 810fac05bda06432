// Morvel against the real Kez module: libKez.so is opened as its host program opens it, the
// stand-in's binder (system slot 543) binds Morvel's import of 'rsrc'/'pkez' to it, and Kez's
// module loader loads a native library that a 68K program finds with SysLibFind.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "M68kTestKit.h"
#include "common/FourCC.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/ModuleGlue.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelExports.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/Libraries.h"
#include "morvel/traps/TrapTable.h"

namespace morvel::test {
namespace {

using vantor::FourCC;

template <typename T>
T Symbol(void* handle, const char* name) {
    return reinterpret_cast<T>(dlsym(handle, name));
}

TEST_F(RealKezTest, MorvelBindsKezThroughTheSystemBinder) {
    bool boundBefore = KezImport().IsBound();
    uint32_t task = 0;
    // A call of Kez through Morvel's import reaches the real Kez: the test thread is no Kez task.
    EXPECT_EQ(KezImport().Call<vantor::kezsig::KALTaskGetCurrentID>(vantor::kezslot::KALTaskGetCurrentID, &task),
              vantor::kalErrBadID);
    EXPECT_EQ(KezImport().Table(), KezExports());
    if (!boundBefore) {
        auto records = vantor::os::BindRecords();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].creator, vantor::kKezCreator);
        EXPECT_EQ(records[0].refNum, vantor::glue::RefNum());
        EXPECT_TRUE(records[0].bound);
    }
}

TEST_F(RealKezTest, FindLoadsANativeLibraryThroughKezsLoader) {
    // The module database: its name is the module's file name for the loader.
    vantor::os::AddDatabase("MorvelTestLib.dll", FourCC("libr"), FourCC("scrv"), 1);
    auto code = Assemble(R"(
        lea ref(%pc),%a2
        move.l %a2,-(%sp)
        pea name(%pc)
        trap #15
        .short 0xA0BA           | SysLibFind
        addq.l #8,%sp
        move.w %d0,%d6
        move.w #14,-(%sp)
        move.w (%a2),-(%sp)
        trap #15
        .short 0xA805           | served natively: three times the parameter
        addq.l #4,%sp
        move.l %d0,%d7
        rts
ref:    .short 0
name:   .asciz "Shortcuts Library"
        .even
)");
    EXPECT_EQ(Call68KCode(&ctx_.state, Addr(code.data()), 0), 0);
    EXPECT_EQ(ctx_.state.D[6] & 0xFFFF, 0u);
    EXPECT_EQ(ctx_.state.D[7], 42u);

    void* lib = dlopen(VANTOR_BIN_DIR "/MorvelTestLib.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    const uint32_t* calls = Symbol<const uint32_t* (*)()>(lib, "MorvelTestLibCalls")();
    dlclose(lib);
    EXPECT_EQ(calls[0], 1u);
    EXPECT_EQ(calls[2], 1u);

    // Found again by name; the second load of the same module is given back at once.
    uint16_t ref = 0, again = 0;
    ASSERT_EQ(LibFind(&ctx_.state, "Shortcuts Library", &ref), 0);
    ASSERT_EQ(LibLoadNative(&ctx_.state, FourCC("libr"), FourCC("scrv"), &again), 0);
    EXPECT_EQ(again, ref);
    EXPECT_EQ(LibTableEntry(&ctx_.state, ref)->installCount, 2u);
    EXPECT_EQ(LibRemove(&ctx_.state, ref), 0);
    EXPECT_EQ(calls[1], 0u);
    EXPECT_EQ(LibRemove(&ctx_.state, ref), 0);
    // Closed once, then the module is unloaded.
    auto lines = vantor::os::TraceLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "MorvelTestLib closed"), 1);
    EXPECT_EQ(dlopen(VANTOR_BIN_DIR "/MorvelTestLib.so", RTLD_NOW | RTLD_NOLOAD), nullptr);
    LibTableFree(&ctx_.state);
}

}  // namespace
}  // namespace morvel::test
