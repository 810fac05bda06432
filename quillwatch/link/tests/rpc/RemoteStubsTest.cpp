// Every remote OS call stub against the device simulator's decoding of the call it receives.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "../support/DevSim.h"
#include "common/FourCC.h"
#include "common/SerialLinkPacket.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/RemoteStubs.h"
#include "quillwatch/link/DebuggerServices.h"

namespace {

using namespace quillwatch;
using quillwatch::test::DevSim;
using quillwatch::test::ReadFileText;

// Arguments by their position k (1 = the OS function's first argument): a by-value argument is k,
// a by-reference integer holds k, a buffer is filled with the byte k.
std::vector<std::vector<uint8_t>> gBuffers;
template <typename T>
T* Ref(uint32_t k) {
    gBuffers.emplace_back(sizeof(T));
    T v = static_cast<T>(k);
    std::memcpy(gBuffers.back().data(), &v, sizeof(T));
    return reinterpret_cast<T*>(gBuffers.back().data());
}
char* Buf(uint32_t k) {
    gBuffers.emplace_back(64, static_cast<uint8_t>(k));
    return reinterpret_cast<char*>(gBuffers.back().data());
}
auto R1 = Ref<uint8_t>;
auto R2 = Ref<uint16_t>;
auto R4 = Ref<uint32_t>;
auto RS = Ref<int16_t>;

struct StubCase {
    const char* name;
    uint16_t trap;
    // Parameters as the device must see them, last argument first: "v" or "r" and the size; "n"
    // is an input name (the text "nm", zero-filled to 32 bytes), "s" the text "abcde", "f2" a field
    // attribute word (its bits reversed within each byte on the way).
    const char* sent;
    char result;  // 'w' D0 low word, 'l' D0, 'a' A0, '-' nothing, '0' no reply awaited
    std::function<uint64_t()> call;
};

#define CALL(expr) [] { return static_cast<uint64_t>(expr); }
#define VOID(expr) [] { expr; return uint64_t{0}; }

// The table of the device OS interface, typed apart from the stubs' own table.
const std::vector<StubCase>& Cases() {
    static const std::vector<StubCase> cases = {
        {"SysColdBoot", 0xA08B, "v4 v4 v4 v4 v4", '0', VOID(SysColdBoot(1, 2, 3, 4, 5))},
        {"SysReset", 0xA08C, "", '0', VOID(SysReset())},
        {"SysKernelInfo", 0xA0BD, "r64", 'w', CALL(SysKernelInfo(Buf(1)))},
        {"FtrUnregister", 0xA27A, "v2 v4", 'w', CALL(FtrUnregister(1, 2))},
        {"FtrGet", 0xA27B, "r4 v2 v4", 'w', CALL(FtrGet(1, 2, R4(3)))},
        {"FtrSet", 0xA27C, "v4 v2 v4", 'w', CALL(FtrSet(1, 2, 3))},
        {"FtrGetByIndex", 0xA27D, "r4 r2 r4 v1 v2", 'w', CALL(FtrGetByIndex(1, 2, R4(3), R2(4), R4(5)))},
        {"HwrMemWritable", 0xA23D, "v4", 'l', CALL(HwrMemWritable(1))},
        {"HwrMemReadable", 0xA23E, "v4", 'l', CALL(HwrMemReadable(1))},
        {"MemNumCards", 0xA03A, "", 'w', CALL(MemNumCards())},
        {"MemCardInfo", 0xA004, "r4 r4 r4 r4 r2 r32 r32 v2", 'w', CALL(MemCardInfo(1, Buf(2), Buf(3), R2(4), R4(5), R4(6), R4(7), R4(8)))},
        {"MemStoreInfo", 0xA005, "r4 r4 r4 r4 r4 r4 r32 r2 r2 v2 v2", 'w',
         CALL(MemStoreInfo(1, 2, R2(3), R2(4), Buf(5), R4(6), R4(7), R4(8), R4(9), R4(10), R4(11)))},
        {"MemNumHeaps", 0xA007, "v2", 'w', CALL(MemNumHeaps(1))},
        {"MemHeapID", 0xA009, "v2 v2", 'w', CALL(MemHeapID(1, 2))},
        {"MemHeapDynamic", 0xA03E, "v2", 'w', CALL(MemHeapDynamic(1))},
        {"MemHeapPtr", 0xA00A, "v2", 'a', CALL(MemHeapPtr(1))},
        {"MemHeapFreeBytes", 0xA00B, "r4 r4 v2", 'w', CALL(MemHeapFreeBytes(1, R4(2), R4(3)))},
        {"MemHeapSize", 0xA00C, "v2", 'l', CALL(MemHeapSize(1))},
        {"MemHeapFlags", 0xA00D, "v2", 'w', CALL(MemHeapFlags(1))},
        {"MemHeapCompact", 0xA00E, "v2", 'w', CALL(MemHeapCompact(1))},
        {"MemChunkNew", 0xA011, "v2 v4 v2", 'a', CALL(MemChunkNew(1, 2, 3))},
        {"MemChunkFree", 0xA012, "v4", 'w', CALL(MemChunkFree(1))},
        {"MemPtrRecoverHandle", 0xA014, "v4", 'a', CALL(MemPtrRecoverHandle(1))},
        {"MemPtrFlags", 0xA015, "v4", 'w', CALL(MemPtrFlags(1))},
        {"MemPtrSize", 0xA016, "v4", 'l', CALL(MemPtrSize(1))},
        {"MemPtrOwner", 0xA017, "v4", 'w', CALL(MemPtrOwner(1))},
        {"MemPtrHeapID", 0xA018, "v4", 'w', CALL(MemPtrHeapID(1))},
        {"MemPtrSetOwner", 0xA01B, "v2 v4", 'w', CALL(MemPtrSetOwner(1, 2))},
        {"MemPtrResize", 0xA01C, "v4 v4", 'w', CALL(MemPtrResize(1, 2))},
        {"MemPtrUnlock", 0xA035, "v4", 'w', CALL(MemPtrUnlock(1))},
        {"MemHandleLockCount", 0xA01F, "v4", 'w', CALL(MemHandleLockCount(1))},
        {"MemHandleSize", 0xA02D, "v4", 'l', CALL(MemHandleSize(1))},
        {"MemHandleFlags", 0xA02C, "v4", 'w', CALL(MemHandleFlags(1))},
        {"MemHandleOwner", 0xA02E, "v4", 'w', CALL(MemHandleOwner(1))},
        {"MemHandleHeapID", 0xA02F, "v4", 'w', CALL(MemHandleHeapID(1))},
        {"MemHandleToLocalID", 0xA020, "v4", 'l', CALL(MemHandleToLocalID(1))},
        {"MemHandleLock", 0xA021, "v4", 'a', CALL(MemHandleLock(1))},
        {"MemHandleUnlock", 0xA022, "v4", 'w', CALL(MemHandleUnlock(1))},
        {"MemLocalIDToGlobal", 0xA023, "v2 v4", 'a', CALL(MemLocalIDToGlobal(1, 2))},
        {"MemLocalIDKind", 0xA024, "v4", 'w', CALL(MemLocalIDKind(1))},
        {"MemLocalIDToPtr", 0xA025, "v2 v4", 'a', CALL(MemLocalIDToPtr(1, 2))},
        {"MemLocalIDToLockedPtr", 0xA036, "v2 v4", 'a', CALL(MemLocalIDToLockedPtr(1, 2))},
        {"MemHeapScramble", 0xA038, "v2", 'w', CALL(MemHeapScramble(1))},
        {"MemSetDebugMode", 0xA037, "v2", 'w', CALL(MemSetDebugMode(1))},
        {"MemDebugMode", 0xA03B, "", 'w', CALL(MemDebugMode())},
        {"DmCreateDatabase", 0xA041, "v1 v4 v4 n v2", 'w', CALL(DmCreateDatabase(1, "nm", 3, 4, 5))},
        {"DmDeleteDatabase", 0xA042, "v4 v2", 'w', CALL(DmDeleteDatabase(1, 2))},
        {"DmNumDatabases", 0xA043, "v2", 'w', CALL(DmNumDatabases(1))},
        {"DmGetDatabase", 0xA044, "v2 v2", 'l', CALL(DmGetDatabase(1, 2))},
        {"DmGetNextDatabaseByTypeCreator", 0xA078, "r4 r2 v1 v4 v4 r32 v1", 'w',
         CALL(DmGetNextDatabaseByTypeCreator(1, Buf(2), 3, 4, 5, R2(6), R4(7)))},
        {"DmFindDatabase", 0xA045, "n v2", 'l', CALL(DmFindDatabase(1, "nm"))},
        {"DmDatabaseInfo", 0xA046, "r4 r4 r4 r4 r4 r4 r4 r4 r2 r2 r32 v4 v2", 'w',
         CALL(DmDatabaseInfo(1, 2, Buf(3), R2(4), R2(5), R4(6), R4(7), R4(8), R4(9), R4(10), R4(11), R4(12), R4(13)))},
        {"DmSetDatabaseInfo", 0xA047, "r4 r4 r4 r4 r4 r4 r4 r4 r2 r2 n v4 v2", 'w',
         CALL(DmSetDatabaseInfo(1, 2, "nm", R2(4), R2(5), R4(6), R4(7), R4(8), R4(9), R4(10), R4(11), R4(12), R4(13)))},
        {"DmDatabaseSize", 0xA048, "r4 r4 r4 v4 v2", 'w', CALL(DmDatabaseSize(1, 2, R4(3), R4(4), R4(5)))},
        {"DmOpenDatabase", 0xA049, "v2 v4 v2", 'a', CALL(DmOpenDatabase(1, 2, 3))},
        {"DmCloseDatabase", 0xA04A, "v4", 'w', CALL(DmCloseDatabase(1))},
        {"DmNextOpenDatabase", 0xA04B, "v4", 'a', CALL(DmNextOpenDatabase(1))},
        {"DmOpenDatabaseInfo", 0xA04C, "r1 r2 r2 r2 r4 v4", 'w', CALL(DmOpenDatabaseInfo(1, R4(2), R2(3), R2(4), R2(5), R1(6)))},
        {"DmGetLastErr", 0xA04E, "", 'w', CALL(DmGetLastErr())},
        {"DmNumRecords", 0xA04F, "v4", 'w', CALL(DmNumRecords(1))},
        {"DmRecordInfo", 0xA050, "r4 r4 r2 v2 v4", 'w', CALL(DmRecordInfo(1, 2, R2(3), R4(4), R4(5)))},
        {"DmSetRecordInfo", 0xA051, "r4 r2 v2 v4", 'w', CALL(DmSetRecordInfo(1, 2, R2(3), R4(4)))},
        {"DmMoveRecord", 0xA054, "v2 v2 v4", 'w', CALL(DmMoveRecord(1, 2, 3))},
        {"DmNewRecord", 0xA055, "v4 r2 v4", 'a', CALL(DmNewRecord(1, R2(2), 3))},
        {"DmRemoveRecord", 0xA056, "v2 v4", 'w', CALL(DmRemoveRecord(1, 2))},
        {"DmDeleteRecord", 0xA057, "v2 v4", 'w', CALL(DmDeleteRecord(1, 2))},
        {"DmNewHandle", 0xA059, "v4 v4", 'a', CALL(DmNewHandle(1, 2))},
        {"DmStrCopy", 0xA077, "s v4 v4", 'w', CALL(DmStrCopy(1, 2, "abcde"))},
        {"DmFindRecordByID", 0xA07B, "r2 v4 v4", 'w', CALL(DmFindRecordByID(1, 2, R2(3)))},
        {"DmQueryRecord", 0xA05B, "v2 v4", 'a', CALL(DmQueryRecord(1, 2))},
        {"DmResizeRecord", 0xA05D, "v4 v2 v4", 'a', CALL(DmResizeRecord(1, 2, 3))},
        {"DmReleaseRecord", 0xA05E, "v1 v2 v4", 'w', CALL(DmReleaseRecord(1, 2, 3))},
        {"DmGetResource", 0xA05F, "v2 v4", 'a', CALL(DmGetResource(1, 2))},
        {"DmReleaseResource", 0xA061, "v4", 'w', CALL(DmReleaseResource(1))},
        {"DmResizeResource", 0xA062, "v4 v4", 'a', CALL(DmResizeResource(1, 2))},
        {"DmFindResource", 0xA065, "v4 v2 v4 v4", 'w', CALL(DmFindResource(1, 2, 3, 4))},
        {"DmNumResources", 0xA067, "v4", 'w', CALL(DmNumResources(1))},
        {"DmResourceInfo", 0xA068, "r4 r2 r4 v2 v4", 'w', CALL(DmResourceInfo(1, 2, R4(3), R2(4), R4(5)))},
        {"DmSetResourceInfo", 0xA069, "r2 r4 v2 v4", 'w', CALL(DmSetResourceInfo(1, 2, R4(3), R2(4)))},
        {"DmAttachResource", 0xA06A, "v2 v4 v4 v4", 'w', CALL(DmAttachResource(1, 2, 3, 4))},
        {"DmNewResource", 0xA06C, "v4 v2 v4 v4", 'a', CALL(DmNewResource(1, 2, 3, 4))},
        {"DmRemoveResource", 0xA06D, "v2 v4", 'w', CALL(DmRemoveResource(1, 2))},
        {"DmGetResourceIndex", 0xA06E, "v2 v4", 'a', CALL(DmGetResourceIndex(1, 2))},
        {"EvtEnqueueKey", 0xA12D, "v2 v2 v2", 'w', CALL(EvtEnqueueKey(1, 2, 3))},
        {"FrmGetActiveForm", 0xA173, "", 'a', CALL(FrmGetActiveForm())},
        {"FrmGetWindowHandle", 0xA17C, "v4", 'a', CALL(FrmGetWindowHandle(1))},
        {"FrmGetTitle", 0xA190, "v4", 'a', CALL(FrmGetTitle(1))},
        {"FrmGetFormId", 0xA17D, "v4", 'w', CALL(FrmGetFormId(1))},
        {"FrmGetFocus", 0xA178, "v4", 'w', CALL(FrmGetFocus(1))},
        {"FrmGetObjectType", 0xA182, "v2 v4", 'w', CALL(FrmGetObjectType(1, 2))},
        {"FrmGetObjectPtr", 0xA183, "v2 v4", 'a', CALL(FrmGetObjectPtr(1, 2))},
        {"FrmGetObjectBounds", 0xA199, "r8 v2 v4", '-', VOID(FrmGetObjectBounds(1, 2, Buf(3)))},
        {"FrmGetNumberOfObjects", 0xA17F, "v4", 'w', CALL(FrmGetNumberOfObjects(1))},
        {"FldGetAttributes", 0xA14F, "f2 v4", '-', VOID(FldGetAttributes(1, Buf(2)))},
        {"TblGetCurrentField", 0xA1E9, "v4", 'a', CALL(TblGetCurrentField(1))},
        {"WinGetActiveWindow", 0xA1FF, "", 'a', CALL(WinGetActiveWindow())},
        {"WinSetDrawWindow", 0xA1FD, "v4", 'a', CALL(WinSetDrawWindow(1))},
        {"WinGetWindowExtent", 0xA20C, "r2 r2", '-', VOID(WinGetWindowExtent(RS(1), RS(2)))},
        {"WinWindowToDisplayPt", 0xA20E, "r2 r2", '-', VOID(WinWindowToDisplayPt(RS(1), RS(2)))},
        {"WinGetDrawWindowBounds", 0xA228, "r8", '-', VOID(WinGetDrawWindowBounds(Buf(1)))},
        {"SysGetAppInfo", 0xA33C, "r4 r4", 'a', CALL(SysGetAppInfo(R4(1), R4(2)))},
        {"DmAttachRecord", 0xA052, "r4 v4 r2 v4", 'w', CALL(DmAttachRecord(1, R2(2), 3, R4(4)))},
        {"DmDetachRecord", 0xA053, "r4 v2 v4", 'w', CALL(DmDetachRecord(1, 2, R4(3)))},
    };
    return cases;
}

std::string Hex(uint32_t v, int bytes) {
    char b[16];
    std::snprintf(b, sizeof b, "%0*x", bytes * 2, v);
    return b;
}

// The log line the simulator must write for a case.
std::string ExpectedLine(const StubCase& c) {
    std::vector<std::string> params;
    std::istringstream in(c.sent);
    for (std::string p; in >> p;) params.push_back(p);
    char trap[8];
    std::snprintf(trap, sizeof trap, "%04X", c.trap);
    std::string line = std::string("rpc ") + trap;
    for (size_t i = 0; i < params.size(); ++i) {
        const uint32_t k = static_cast<uint32_t>(params.size() - i);  // position of the argument
        const std::string& p = params[i];
        std::string data;
        if (p == "n") {
            data = "r32:" + std::string("6e6d") + std::string(60, '0');
        } else if (p == "f2") {
            uint8_t rev = 0;
            for (int b = 0; b < 8; ++b) rev = static_cast<uint8_t>(rev | (((k >> b) & 1) << (7 - b)));
            data = "r2:" + Hex(rev, 1) + Hex(rev, 1);
        } else if (p == "s") {
            data = "r6:616263646500";
        } else {
            int size = std::stoi(p.substr(1));
            if (size <= 4) {
                data = p + ":" + Hex(k, size);
            } else {
                data = p + ":";
                for (int b = 0; b < size; ++b) data += Hex(k, 1);
            }
        }
        line += " " + data;
    }
    return line;
}

TEST(RemoteStubs, EveryStubSendsItsTrapAndParametersInOrder) {
    std::string log = testing::TempDir() + "stubs-" + std::to_string(getpid()) + ".log";
    std::string script = testing::TempDir() + "stubs.json";
    std::remove(log.c_str());
    {
        FILE* f = std::fopen(script.c_str(), "w");
        std::fputs("{\"handlers\": false, \"default\": {\"d0\": 305419896, \"a0\": 2596069104}}", f);
        std::fclose(f);
    }
    DevSim sim({"--log", log, "--script", script});
    quillwatch::test::UseTcpLink(sim.port());
    DbgMinimalSetAttached(false);

    size_t seen = 0;
    for (const StubCase& c : Cases()) {
        gBuffers.clear();
        uint64_t result = 0;
        uint32_t thrown = ErrTry([&] { result = c.call(); });
        ASSERT_EQ(thrown, 0u) << c.name;
        // The simulator logs before it answers; calls without a reply may still be on their way.
        std::string text;
        for (int i = 0; i < 200; ++i) {
            text = ReadFileText(log);
            if (std::count(text.begin(), text.end(), '\n') > static_cast<long>(seen)) break;
            usleep(10000);
        }
        std::istringstream lines(text);
        std::string line;
        for (size_t i = 0; i <= seen; ++i) std::getline(lines, line);
        ++seen;
        EXPECT_EQ(line, ExpectedLine(c)) << c.name;
        switch (c.result) {
            case 'w': EXPECT_EQ(result, 0x5678u) << c.name; break;
            case 'l': EXPECT_EQ(result, 0x12345678u) << c.name; break;
            case 'a': EXPECT_EQ(result, 0x9ABCDEF0u) << c.name; break;
            default: EXPECT_EQ(result, 0u) << c.name; break;
        }
    }
    EXPECT_EQ(Cases().size(), 103u);  // the whole interface
}

TEST(RemoteStubs, ScriptedCallsReturnDeviceValuesInHostOrder) {
    std::string script = testing::TempDir() + "scripted.json";
    {
        FILE* f = std::fopen(script.c_str(), "w");
        std::fputs(R"({"features": {"psys:1": 83951616},
            "cards": [{"name": "Internal", "manuf": "Maker", "version": 3, "ramSize": 65536,
                       "heaps": [{"id": 0, "ptr": 4096, "size": 32768, "free": 100, "max": 80}]}],
            "databases": [{"card": 0, "name": "MemoDB", "id": 4660, "type": "DATA", "creator": "memo", "version": 2}]})",
                   f);
        std::fclose(f);
    }
    DevSim sim({"--script", script});
    quillwatch::test::UseTcpLink(sim.port());

    uint32_t value = 0;
    EXPECT_EQ(FtrGet(vantor::FourCC("psys"), 1, &value), 0);
    EXPECT_EQ(value, 0x05010000u);
    EXPECT_TRUE(DbgIsNewRemoteOS());
    EXPECT_EQ(FtrGet(vantor::FourCC("psys"), 2, &value), 0x0C02);
    EXPECT_EQ(FtrGet(vantor::FourCC("psys"), 1, nullptr), 0);  // an empty out-argument is skipped

    char name[32], manuf[32];
    uint16_t version = 0;
    uint32_t ram = 0;
    EXPECT_EQ(MemNumCards(), 1);
    EXPECT_EQ(MemCardInfo(0, name, manuf, &version, nullptr, nullptr, &ram, nullptr), 0);
    EXPECT_STREQ(name, "Internal");
    EXPECT_STREQ(manuf, "Maker");
    EXPECT_EQ(version, 3);
    EXPECT_EQ(ram, 65536u);
    EXPECT_EQ(MemHeapPtr(MemHeapID(0, 0)), 4096u);
    uint32_t freeBytes = 0, maxBytes = 0;
    EXPECT_EQ(MemHeapFreeBytes(0, &freeBytes, &maxBytes), 0);
    EXPECT_EQ(freeBytes, 100u);
    EXPECT_EQ(maxBytes, 80u);

    uint32_t id = DmFindDatabase(0, "MemoDB");
    EXPECT_EQ(id, 4660u);
    uint32_t type = 0, creator = 0;
    uint16_t dbVersion = 0;
    char dbName[32];
    EXPECT_EQ(DmDatabaseInfo(0, id, dbName, nullptr, &dbVersion, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, &type, &creator),
              0);
    EXPECT_STREQ(dbName, "MemoDB");
    EXPECT_EQ(type, vantor::FourCC("DATA"));
    EXPECT_EQ(creator, vantor::FourCC("memo"));
    EXPECT_EQ(dbVersion, 2);
    EXPECT_EQ(DmFindDatabase(0, "Nothing"), 0u);
    EXPECT_EQ(DmGetLastErr(), 0x0205);
}

TEST(RemoteStubs, LinkFailuresAreThrown) {
    quillwatch::test::UseMemoryLink();
    quillwatch::test::TheMemoryLink().sendStatus = vantor::serErrLine;
    uint32_t value;
    uint32_t thrown = ErrTry([&] { FtrGet(1, 2, &value); });
    EXPECT_EQ(thrown, vantor::serErrLine);
    EXPECT_FALSE(DbgIsNewRemoteOS());
}

}  // namespace
