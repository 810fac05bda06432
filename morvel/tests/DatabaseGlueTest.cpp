// Database manager traps from 68K code against the stand-in OS: out-parameters written back
// big-endian (and when not), the refusal of changes while the storage reserve is given up, sorts
// that call back into a 68K compare function, the 68K database lists, and resource removal that
// also drops the resource's translation from the resource cache.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "common/module/SystemSlots.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/traps/DatabaseGlue.h"
#include "standin/os/DatabaseStore.h"

namespace morvel::test {
namespace {

using vantor::FourCC;
using vantor::os::Library;
using vantor::os::SlotCall;
namespace slot = vantor::sysslot;

template <typename T>
T* At(uint32_t word) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(word));
}

class DatabaseGlueTest : public TrapGlueTest {
protected:
    uint32_t D(int n) const { return ctx_.state.D[n]; }
    uint16_t LastError() {
        uint16_t err;
        std::memcpy(&err, static_cast<uint8_t*>(vantor::sys::SysGetTaskRecord()) + vantor::kTaskRecordLastError, 2);
        return err;
    }
};

std::string Trap(int trap, int popBytes) {
    return " trap #15\n .short " + std::to_string(trap) + "\n lea " + std::to_string(popBytes) + "(%sp),%sp\n";
}

TEST_F(DatabaseGlueTest, ChangesAreRefusedWhileTheReserveIsGivenUp) {
    // DmNewRecord(0x5000, data, 16) with the index 5 in data; DmCreateDatabase(0, data, 'crea', 'type', 0).
    const std::string calls = " lea data(%pc),%a2\n move.w #5,(%a2)\n move.l #0x12345678,%a0\n"
                              " pea 16\n pea data(%pc)\n pea 0x5000\n" +
                              Trap(0xA055, 12) +
                              " move.l %a0,%d3\n clr.w -(%sp)\n pea 0x74797065\n pea 0x63726561\n pea data(%pc)\n"
                              " clr.w -(%sp)\n" +
                              Trap(0xA041, 16) + " move.l %d0,%d4\n rts\n";
    ctx_.state.flags |= kFlagReserveReleased;
    ASSERT_EQ(Run(calls), 0);  // any OS call would fail the test
    EXPECT_EQ(D(3), 0u);
    EXPECT_EQ(D(4), 0x0201u);
    EXPECT_EQ(LastError(), 0x0201);
    EXPECT_EQ(vantor::ReadBE16(Data()), 5);

    // Allowed again: the index goes in and out big-endian, the handle comes back in A0.
    ctx_.state.flags &= static_cast<uint8_t>(~kFlagReserveReleased);
    vantor::os::OnCall(Library::System, slot::DmNewRecord, [](const SlotCall& c) {
        EXPECT_EQ(c.args[0], 0x5000u);
        EXPECT_EQ(*At<uint16_t>(c.args[1]), 5);
        EXPECT_EQ(c.args[2], 16u);
        *At<uint16_t>(c.args[1]) = 9;
        return 0xABCD0u;
    });
    vantor::os::OnCall(Library::System, slot::DmCreateDatabase, [](const SlotCall& c) {
        EXPECT_EQ(c.args[2], FourCC("crea"));
        EXPECT_EQ(c.args[3], FourCC("type"));
        return 0x0219u;
    });
    ASSERT_EQ(Run(calls), 0);
    EXPECT_EQ(D(3), 0xABCD0u);
    EXPECT_EQ(D(4), 0x0219u);
    EXPECT_EQ(vantor::ReadBE16(Data()), 9);
}

// DmDatabaseInfo(7, 0x42, null name, ...) with its ten value pointers: with `present` they point
// into data (attributes at 0, version at 2, then the 32-bit values at 4, 8, ...), else they are null.
std::string DatabaseInfoCall(bool present) {
    std::string s;
    for (int p = 9; p >= 0; --p) {
        const int offset = p < 2 ? 2 * p : 4 * (p - 1);
        s += present ? " pea data+" + std::to_string(offset) + "(%pc)\n" : " clr.l -(%sp)\n";
    }
    return s + " clr.l -(%sp)\n pea 0x42\n move.w #7,-(%sp)\n" + Trap(0xA046, 50) + " move.l %d0,%d3\n rts\n";
}

TEST_F(DatabaseGlueTest, DatabaseInfoPassesNullPointersAndWritesValuesBigEndian) {
    int calls = 0;
    vantor::os::OnCall(Library::System, slot::DmDatabaseInfo, [&](const SlotCall& c) {
        ++calls;
        EXPECT_EQ(c.args[0] & 0xFFFF, 7u);
        EXPECT_EQ(c.args[1], 0x42u);
        EXPECT_EQ(c.args[2], 0u);  // the name
        for (int i = 3; i < 10; ++i) {
            if (c.args[i] == 0) continue;
            if (i == 3) *At<uint16_t>(c.args[3]) = 0x0102;
            else if (i == 4) *At<uint16_t>(c.args[4]) = 3;
            else *At<uint32_t>(c.args[i]) = 0x0A0B0C00u + static_cast<uint32_t>(i);
        }
        return 0u;
    });
    ASSERT_EQ(Run(DatabaseInfoCall(false)), 0);
    auto all = vantor::os::CallsOf(Library::System, slot::DmDatabaseInfo);
    ASSERT_EQ(all.size(), 1u);
    for (int i = 3; i < 10; ++i) EXPECT_EQ(all[0].args[i], 0u) << i;
    for (int i = 0; i < 64; ++i) ASSERT_EQ(Data()[i], 0) << i;

    ASSERT_EQ(Run(DatabaseInfoCall(true)), 0);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(vantor::ReadBE16(Data()), 0x0102);
    EXPECT_EQ(vantor::ReadBE16(Data() + 2), 3);
    for (int i = 5; i < 10; ++i) EXPECT_EQ(vantor::ReadBE32(Data() + 4 * (i - 4)), 0x0A0B0C00u + i) << i;
}

TEST_F(DatabaseGlueTest, RecordInfoWritesItsValuesOnlyWhenTheOsSucceeds) {
    for (uint32_t result : {0x0205u, 0u}) {
        vantor::os::OnCall(Library::System, slot::DmRecordInfo, [&](const SlotCall& c) {
            EXPECT_EQ(c.args[0], 0x5000u);
            EXPECT_EQ(c.args[1] & 0xFFFF, 3u);
            *At<uint16_t>(c.args[2]) = 0x4080;
            *At<uint32_t>(c.args[3]) = 0x00ABCDEF;
            *At<uint32_t>(c.args[4]) = 0x12345678;
            return result;
        });
        ASSERT_EQ(Run(" lea data(%pc),%a2\n move.l #0xEEEEEEEE,%d1\n move.l %d1,(%a2)+\n move.l %d1,(%a2)+\n"
                      " move.l %d1,(%a2)+\n pea data+8(%pc)\n pea data+4(%pc)\n pea data(%pc)\n move.w #3,-(%sp)\n"
                      " pea 0x5000\n" +
                      Trap(0xA050, 18) + " move.l %d0,%d3\n rts\n"),
                  0);
        EXPECT_EQ(D(3), result);
        if (result) {
            for (int i = 0; i < 12; ++i) EXPECT_EQ(Data()[i], 0xEE) << i;
        } else {
            EXPECT_EQ(vantor::ReadBE16(Data()), 0x4080);
            EXPECT_EQ(vantor::ReadBE32(Data() + 4), 0x00ABCDEFu);
            EXPECT_EQ(vantor::ReadBE32(Data() + 8), 0x12345678u);
        }
    }
}

TEST_F(DatabaseGlueTest, SearchStateIsCopiedAsIsAndByteValuesStayBytes) {
    // DmGetNextDatabaseByTypeCreator(true, data, 'type', 'crea', true, data+38, data+40), the state
    // holding the bytes 0 to 31.
    vantor::os::OnCall(Library::System, slot::DmGetNextDatabaseByTypeCreator, [](const SlotCall& c) {
        EXPECT_EQ(c.args[0] & 0xFF, 1u);
        EXPECT_EQ(c.args[2], FourCC("type"));
        EXPECT_EQ(c.args[3], FourCC("crea"));
        EXPECT_EQ(c.args[4] & 0xFF, 1u);
        auto* state = At<uint8_t>(c.args[1]);
        for (int i = 0; i < 32; ++i) EXPECT_EQ(state[i], i) << i;
        state[0] = 0xAA;
        *At<uint16_t>(c.args[5]) = 1;
        *At<uint32_t>(c.args[6]) = 0x1234;
        return 0u;
    });
    ASSERT_EQ(Run(" lea data(%pc),%a2\n moveq #31,%d1\n moveq #0,%d2\n1: move.b %d2,(%a2)+\n addq.b #1,%d2\n"
                  " dbra %d1,1b\n pea data+40(%pc)\n pea data+38(%pc)\n move.b #1,-(%sp)\n pea 0x63726561\n"
                  " pea 0x74797065\n pea data(%pc)\n move.b #1,-(%sp)\n" +
                  Trap(0xA078, 24) + " rts\n"),
              0);
    EXPECT_EQ(Data()[0], 0xAA);
    EXPECT_EQ(Data()[1], 1);
    EXPECT_EQ(vantor::ReadBE16(Data() + 38), 1);
    EXPECT_EQ(vantor::ReadBE32(Data() + 40), 0x1234u);

    // DmOpenDatabaseInfo: the resource-database flag is one byte; the byte after it stays.
    vantor::os::OnCall(Library::System, slot::DmOpenDatabaseInfo, [](const SlotCall& c) {
        *At<uint32_t>(c.args[1]) = 0x42;
        *At<uint16_t>(c.args[2]) = 2;
        *At<uint16_t>(c.args[3]) = 3;
        *At<uint16_t>(c.args[4]) = 0;
        *At<uint8_t>(c.args[5]) = 1;
        return 0u;
    });
    ASSERT_EQ(Run(" lea data+11(%pc),%a2\n move.b #0x77,(%a2)\n pea data+10(%pc)\n pea data+8(%pc)\n"
                  " pea data+6(%pc)\n pea data+4(%pc)\n pea data(%pc)\n pea 0x5000\n" +
                  Trap(0xA04C, 24) + " rts\n"),
              0);
    EXPECT_EQ(vantor::ReadBE32(Data()), 0x42u);
    EXPECT_EQ(vantor::ReadBE16(Data() + 4), 2);
    EXPECT_EQ(vantor::ReadBE16(Data() + 6), 3);
    EXPECT_EQ(Data()[10], 1);
    EXPECT_EQ(Data()[11], 0x77);
}

// The 68K compare function: copies its 22 bytes of arguments to data and answers the difference
// of the two big-endian words its records hold.
constexpr const char* kCompare =
    "compare: lea data(%pc),%a0\n lea 4(%sp),%a1\n moveq #10,%d1\n"
    "1: move.w (%a1)+,(%a0)+\n dbra %d1,1b\n"
    " move.l 4(%sp),%a0\n move.l 8(%sp),%a1\n move.w (%a0),%d0\n sub.w (%a1),%d0\n rts\n";

using Bridge = int16_t (*)(void*, void*, int16_t, void*, void*, void*);

TEST_F(DatabaseGlueTest, SortsCallTheCompareFunctionAsA68KCaller) {
    // The records: big-endian words; the OS sorts their addresses with the compare function.
    std::vector<uint8_t> words = {0, 30, 0, 10, 0xFF, 0xFE, 0, 20};
    std::vector<void*> order;
    uint32_t stackAtCall = 0;
    vantor::os::OnCall(Library::System, slot::DmQuickSort, [&](const SlotCall& c) {
        EXPECT_EQ(c.args[0], 0x5000u);
        EXPECT_EQ(static_cast<int16_t>(c.args[2]), -3);
        auto bridge = reinterpret_cast<Bridge>(static_cast<uintptr_t>(c.args[1]));
        EXPECT_EQ(bridge, &DmCompareBridge);
        stackAtCall = ctx_.state.A[7];
        order = {&words[0], &words[2], &words[4], &words[6]};
        for (size_t i = 1; i < order.size(); ++i)
            for (size_t j = i; j > 0 && bridge(order[j - 1], order[j], -3, nullptr, nullptr, nullptr) > 0; --j)
                std::swap(order[j - 1], order[j]);
        // The last call, with every argument told apart.
        bridge(&words[0], &words[2], -3, At<void>(0x11111111), At<void>(0x22222222), At<void>(0x33333333));
        return 0u;
    });
    ASSERT_EQ(Run(" move.l %sp,%d4\n move.w #-3,-(%sp)\n pea compare(%pc)\n pea 0x5000\n" + Trap(0xA06F, 10) +
                  " move.l %sp,%d5\n move.l %d0,%d3\n rts\n" + kCompare),
              0);
    EXPECT_EQ(D(3), 0u);
    EXPECT_EQ(D(5), D(4));                  // the compare-function word is gone again
    EXPECT_EQ(stackAtCall, D(4) - 10 - 4);  // and was just below the arguments during the sort
    EXPECT_EQ(order, (std::vector<void*>{&words[4], &words[2], &words[6], &words[0]}));
    EXPECT_EQ(vantor::ReadBE32(Data()), Addr(&words[0]));
    EXPECT_EQ(vantor::ReadBE32(Data() + 4), Addr(&words[2]));
    EXPECT_EQ(vantor::ReadBE16(Data() + 8), 0xFFFD);
    EXPECT_EQ(vantor::ReadBE32(Data() + 10), 0x11111111u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 14), 0x22222222u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 18), 0x33333333u);

    // Without a current context the bridge answers 0.
    SetCurrentContext(nullptr);
    EXPECT_EQ(DmCompareBridge(&words[0], &words[2], 0, nullptr, nullptr, nullptr), 0);
    SetCurrentContext(&ctx_.state);
}

TEST_F(DatabaseGlueTest, SortPositionFormsPassTheirArguments) {
    static const uint8_t record[2] = {0, 25}, other[2] = {0, 20};
    struct Form {
        int trap;
        std::string pushes;  // after newRecord and dbP
        int bytes;
        uint32_t info;
    } forms[] = {
        {0xA2F2, " move.w #4,-(%sp)\n pea compare(%pc)\n pea 0x7777\n", 18, 0x7777},
        {0xA07D, " move.w #4,-(%sp)\n pea compare(%pc)\n", 14, 0},
    };
    for (const Form& f : forms) {
        vantor::os::OnCall(Library::System, slot::DmFindSortPosition, [&](const SlotCall& c) {
            EXPECT_EQ(c.args[0], 0x5000u);
            EXPECT_EQ(c.args[1], Addr(record));
            EXPECT_EQ(c.args[2], f.info);
            EXPECT_EQ(static_cast<int16_t>(c.args[4]), 4);
            auto bridge = reinterpret_cast<Bridge>(static_cast<uintptr_t>(c.args[3]));
            return bridge(At<void>(c.args[1]), const_cast<uint8_t*>(other), 4, nullptr, nullptr, nullptr) > 0 ? 6u
                                                                                                              : 2u;
        });
        ASSERT_EQ(Run(f.pushes + " pea " + std::to_string(Addr(record)) + "\n pea 0x5000\n" + Trap(f.trap, f.bytes) +
                      " move.l %d0,%d3\n rts\n" + kCompare),
                  0)
            << f.trap;
        EXPECT_EQ(D(3), 6u) << f.trap;
        EXPECT_EQ(vantor::ReadBE16(Data() + 8), 4) << f.trap;
    }
}

// A native list entry: name, creator, type, version and the dbID at 44.
void NativeEntry(uint8_t* e, const char* name, uint32_t creator, uint32_t type, uint16_t version, uint32_t dbID) {
    std::memset(e, 0x5A, 52);
    std::strcpy(reinterpret_cast<char*>(e), name);
    std::memcpy(e + 32, &creator, 4);
    std::memcpy(e + 36, &type, 4);
    std::memcpy(e + 40, &version, 2);
    std::memcpy(e + 44, &dbID, 4);
}

TEST_F(DatabaseGlueTest, DatabaseListsAreBuiltInThe68KLayout) {
    const std::string createList = " lea data(%pc),%a2\n move.l #-1,(%a2)+\n move.l #-1,(%a2)\n move.b #1,-(%sp)\n"
                                   " pea data+2(%pc)\n pea data(%pc)\n pea 0x6d656d6f\n pea 0x61707073\n" +
                                   Trap(0xA2DB, 18) + " move.l %d0,%d3\n rts\n";
    // No match.
    vantor::os::OnCall(Library::System, slot::SysCreateDataBaseList, [](const SlotCall& c) {
        EXPECT_EQ(c.args[0], FourCC("apps"));
        EXPECT_EQ(c.args[1], FourCC("memo"));
        EXPECT_EQ(c.args[4] & 0xFF, 1u);
        return 0u;
    });
    ASSERT_EQ(Run(createList), 0);
    EXPECT_EQ(D(3) & 0xFF, 0u);
    EXPECT_EQ(vantor::ReadBE16(Data()), 0);
    EXPECT_EQ(vantor::ReadBE32(Data() + 2), 0u);

    // Two matches, asked for as the panel list.
    vantor::os::OnCall(Library::System, slot::SysCreateDataBaseList, [](const SlotCall& c) {
        EXPECT_EQ(c.args[0], FourCC("panl"));
        EXPECT_EQ(c.args[1], 0u);
        EXPECT_EQ(c.args[4] & 0xFF, 1u);
        void* h = vantor::sys::MemHandleNew(2 * 52);
        auto* e = static_cast<uint8_t*>(vantor::sys::MemHandleLock(h));
        NativeEntry(e, "Buttons", FourCC("butn"), FourCC("panl"), 3, 0x8000123);
        NativeEntry(e + 52, "Digitizer", FourCC("digi"), FourCC("panl"), 0x0102, 0x44);
        vantor::sys::MemHandleUnlock(h);
        *At<uint16_t>(c.args[2]) = 2;
        *At<void*>(c.args[3]) = h;
        return 1u;
    });
    ASSERT_EQ(Run(" pea data+2(%pc)\n pea data(%pc)\n" + Trap(0xA2DC, 8) + " move.l %d0,%d3\n rts\n"), 0);
    EXPECT_EQ(D(3) & 0xFF, 1u);
    ASSERT_EQ(vantor::ReadBE16(Data()), 2);
    void* list = At<void>(vantor::ReadBE32(Data() + 2));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(vantor::sys::MemHandleSize(list), 104u);
    const auto* e = static_cast<const uint8_t*>(vantor::sys::MemHandleLock(list));
    EXPECT_STREQ(reinterpret_cast<const char*>(e), "Buttons");
    EXPECT_EQ(e[31], 0);
    EXPECT_EQ(vantor::ReadBE32(e + 32), FourCC("butn"));
    EXPECT_EQ(vantor::ReadBE32(e + 36), FourCC("panl"));
    EXPECT_EQ(vantor::ReadBE16(e + 40), 3);
    EXPECT_EQ(vantor::ReadBE32(e + 42), 0x8000123u);
    EXPECT_EQ(vantor::ReadBE16(e + 46), 0);
    EXPECT_EQ(vantor::ReadBE32(e + 48), Addr(DatabaseListIcon()));
    EXPECT_STREQ(reinterpret_cast<const char*>(e + 52), "Digitizer");
    EXPECT_EQ(vantor::ReadBE16(e + 52 + 40), 0x0102);
    EXPECT_EQ(vantor::ReadBE32(e + 52 + 42), 0x44u);
    EXPECT_EQ(vantor::ReadBE32(e + 52 + 48), Addr(DatabaseListIcon()));
    vantor::sys::MemHandleUnlock(list);
    vantor::sys::MemHandleFree(list);
}

TEST_F(DatabaseGlueTest, AListThatCannotBeCopiedIsFreedAndReportedAsNone) {
    std::vector<uint32_t> freed;
    vantor::os::OnCall(Library::System, slot::SysCreateDataBaseList, [](const SlotCall& c) {
        *At<uint16_t>(c.args[2]) = 3;
        *At<uint32_t>(c.args[3]) = 0x1234;
        return 1u;
    });
    vantor::os::OnCall(Library::System, slot::MemHandleNew, [](const SlotCall&) { return 0u; });
    vantor::os::OnCall(Library::System, slot::MemHandleFree, [&](const SlotCall& c) {
        freed.push_back(c.args[0]);
        return 0u;
    });
    ASSERT_EQ(Run(" lea data(%pc),%a2\n move.l #-1,(%a2)+\n move.l #-1,(%a2)\n pea data+2(%pc)\n pea data(%pc)\n" +
                  Trap(0xA2DC, 8) + " move.l %d0,%d3\n rts\n"),
              0);
    EXPECT_EQ(D(3) & 0xFF, 0u);
    EXPECT_EQ(vantor::ReadBE16(Data()), 0);
    EXPECT_EQ(vantor::ReadBE32(Data() + 2), 0u);
    EXPECT_EQ(freed, (std::vector<uint32_t>{0x1234}));
}

TEST_F(DatabaseGlueTest, RemovedResourcesLeaveTheResourceCacheToo) {
    const uint32_t app = vantor::os::AddDatabase("Memo", FourCC("appl"), FourCC("memo"), 1);
    const uint32_t cache = vantor::os::AddDatabase("Memo cache", FourCC("a68c"), FourCC("memo"), 1);
    AddResource(app, FourCC("tFRM"), 1000, {1, 2});
    AddResource(app, FourCC("tSTR"), 1000, {3});
    AddResource(cache, FourCC("afrm"), 1000, {4});
    AddResource(cache, FourCC("tSTR"), 1000, {5});
    const uint32_t appRef = vantor::sys::DmOpenDatabaseByID(app, 3);
    const uint32_t cacheRef = vantor::sys::DmOpenDatabaseByID(cache, 1);
    ctx_.state.resourceCache = At<void>(cacheRef);
    auto openReferences = [](uint32_t id) {
        int n = -1;
        vantor::os::WithDatabase(id, [&](vantor::os::DatabaseEntry& db) { n = db.openReferences; });
        return n;
    };
    const int cacheOpen = openReferences(cache);

    // DmRemoveResource(app, index): the form's translation goes; a type without one leaves the cache alone.
    auto remove = [&](uint32_t type) {
        const uint16_t index = vantor::sys::DmFindResource(appRef, type, 1000, nullptr);
        EXPECT_NE(index, 0xFFFF);
        return Run(" move.w #" + std::to_string(index) + ",-(%sp)\n pea " + std::to_string(appRef) + "\n" +
                   Trap(0xA06D, 6) + " move.l %d0,%d3\n rts\n");
    };
    ASSERT_EQ(remove(FourCC("tFRM")), 0);
    EXPECT_EQ(D(3), 0u);
    EXPECT_EQ(vantor::sys::DmFindResource(appRef, FourCC("tFRM"), 1000, nullptr), 0xFFFF);
    EXPECT_EQ(vantor::sys::DmFindResource(cacheRef, FourCC("afrm"), 1000, nullptr), 0xFFFF);
    EXPECT_EQ(openReferences(cache), cacheOpen);
    ASSERT_EQ(remove(FourCC("tSTR")), 0);
    EXPECT_NE(vantor::sys::DmFindResource(cacheRef, FourCC("tSTR"), 1000, nullptr), 0xFFFF);

    // DmDetachResource writes the handle whatever the OS answers.
    vantor::os::OnCall(Library::System, slot::DmDetachResource, [](const SlotCall& c) {
        *At<uint32_t>(c.args[2]) = 0xCAFE0;
        return 0x0204u;
    });
    ASSERT_EQ(Run(" pea data(%pc)\n clr.w -(%sp)\n pea " + std::to_string(appRef) + "\n" + Trap(0xA06B, 10) +
                  " move.l %d0,%d3\n rts\n"),
              0);
    EXPECT_EQ(D(3), 0x0204u);
    EXPECT_EQ(vantor::ReadBE32(Data()), 0xCAFE0u);
    ctx_.state.resourceCache = nullptr;
    vantor::sys::DmCloseDatabase(cacheRef);
    vantor::sys::DmCloseDatabase(appRef);
}

}  // namespace
}  // namespace morvel::test
