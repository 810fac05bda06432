// Every stub is one entry of the table below (trap, parameters in the order sent, which is the
// OS function's last argument first, result, whether it clears the remote-memory cache) and one
// line that hands the table entry and its arguments to RpcCallStub.
#include "quillwatch/link/RemoteStubs.h"

#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "common/BigEndian.h"
#include "common/DebuggerPackets.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/HostShims.h"
#include "quillwatch/link/RemoteCall.h"
#include "quillwatch/link/RemoteMemory.h"

namespace quillwatch {

using namespace vantor;

namespace {

// How a parameter is sent: by value (V), by reference (R) as an integer of 1, 2 or 4 bytes, as a
// 32-byte name, a zero-terminated text, or a record with its own converter.
enum RpcParamKind : uint8_t { V1, V2, V4, R1, R2, R4, RName, RText, RKernelInfo, RSearchState, RRect, RFieldAttr };
enum RpcResultKind : uint8_t { kNone, kNoReply, kD0w, kD0l, kA0 };
constexpr bool kClears = true;
constexpr bool kKeeps = false;

struct RpcStubEntry {
    const char* name;
    uint16_t trap;
    RpcResultKind result;
    bool clearsCache;
    uint8_t count = 0;
    RpcParamKind params[13] = {};
    constexpr RpcStubEntry(const char* n, uint16_t t, std::initializer_list<RpcParamKind> p, RpcResultKind r, bool c)
        : name(n), trap(t), result(r), clearsCache(c) {
        for (RpcParamKind k : p) params[count++] = k;
    }
};

// One argument of a stub, in host form.
struct RpcArg {
    uint32_t value = 0;
    void* out = nullptr;       // a host variable or buffer that receives the device's data
    const void* in = nullptr;  // what is sent for a by-reference parameter
    bool isPointer = false;
    template <typename T>
        requires std::is_integral_v<T>
    RpcArg(T v) : value(static_cast<uint32_t>(v)) {}
    template <typename T>
    RpcArg(T* p) : out(p), in(p), isPointer(true) {}
    template <typename T>
    RpcArg(const T* p) : in(p), isPointer(true) {}
};

size_t ParamSize(RpcParamKind k) {
    switch (k) {
        case V1: case R1: return 1;
        case V2: case R2: case RFieldAttr: return 2;
        case V4: case R4: return 4;
        case RRect: return 8;
        case RName: case RSearchState: return 32;
        case RKernelInfo: return 64;
        case RText: return 0;
    }
    return 0;
}

void ToDevice(RpcParamKind k, uint8_t* p) {
    if (k == RKernelInfo) SwapKernelInfo(p, 64);
    if (k == RSearchState) SwapDmSearchState(p, 32);
    if (k == RRect) SwapRect(p, 8);
    if (k == RFieldAttr) SwapFieldAttributes(p, 2);
}

uint32_t RpcCallStub(const RpcStubEntry& entry, std::initializer_list<RpcArg> osOrder) {
    if (osOrder.size() != entry.count) ErrThrow(errGenericFailure);
    SlkPktHeaderType header;
    uint8_t body[rpcBodyLimit];
    if (Status err = RpcInitRequest(&header, HostLinkSocket(), body, entry.trap)) ErrThrow(err);
    if (entry.clearsCache) RemoteCacheClear();

    uint8_t* placed[13] = {};
    for (uint8_t i = 0; i < entry.count; ++i) {
        const RpcParamKind kind = entry.params[i];
        const RpcArg& arg = osOrder.begin()[entry.count - 1 - i];  // sent last argument first
        const bool byRef = kind >= R1;
        if (byRef != arg.isPointer) ErrThrow(errGenericFailure);
        uint8_t scratch[64] = {};
        const void* data = scratch;
        int16_t size = static_cast<int16_t>(ParamSize(kind));
        if (!byRef) {
            if (kind == V1) scratch[0] = static_cast<uint8_t>(arg.value);
            if (kind == V2) {
                uint16_t v = static_cast<uint16_t>(arg.value);
                std::memcpy(scratch, &v, 2);
            }
            if (kind == V4) std::memcpy(scratch, &arg.value, 4);
        } else if (!arg.in) {
            data = nullptr;
        } else if (kind == RText) {
            data = arg.in;
            size_t n = std::strlen(static_cast<const char*>(arg.in)) + 1;
            size = static_cast<int16_t>(n < rpcBodyLimit ? n : rpcBodyLimit);
        } else if (kind == RName && !arg.out) {
            // An input name may be a shorter text: send it zero-filled to 32 bytes.
            std::strncpy(reinterpret_cast<char*>(scratch), static_cast<const char*>(arg.in), 31);
        } else {
            std::memcpy(scratch, arg.in, ParamSize(kind));
            ToDevice(kind, scratch);
        }
        placed[i] = RpcAddParam(body, data, size, byRef);
        if (!placed[i]) ErrThrow(slkErrBodyLimit);
    }

    const bool noWait = entry.result == kNoReply;
    if (Status err = RpcExecute(&header, body, noWait)) ErrThrow(err);
    if (noWait) return 0;

    for (uint8_t i = 0; i < entry.count; ++i) {
        const RpcParamKind kind = entry.params[i];
        void* out = osOrder.begin()[entry.count - 1 - i].out;
        if (kind < R1 || kind == RText || !out) continue;
        const uint8_t* p = placed[i];
        if (kind == R2) {
            uint16_t v = ReadBE16(p);
            std::memcpy(out, &v, 2);
        } else if (kind == R4) {
            uint32_t v = ReadBE32(p);
            std::memcpy(out, &v, 4);
        } else {
            std::memcpy(out, p, ParamSize(kind));
            ToDevice(kind, static_cast<uint8_t*>(out));  // each converter is its own inverse
        }
    }
    const RpcBodyHeadType head = RpcHead(body);
    switch (entry.result) {
        case kD0w: return head.d0 & 0xFFFF;
        case kD0l: return head.d0;
        case kA0: return head.a0;
        default: return 0;
    }
}

template <typename... A>
uint16_t W(const RpcStubEntry& s, A... a) {
    return static_cast<uint16_t>(RpcCallStub(s, {RpcArg(a)...}));
}
template <typename... A>
uint32_t L(const RpcStubEntry& s, A... a) {
    return RpcCallStub(s, {RpcArg(a)...});
}

// clang-format off
constexpr RpcStubEntry kSysColdBoot{"SysColdBoot", 0xA08B, {V4, V4, V4, V4, V4}, kNoReply, kClears};
constexpr RpcStubEntry kSysReset{"SysReset", 0xA08C, {}, kNoReply, kClears};
constexpr RpcStubEntry kSysKernelInfo{"SysKernelInfo", 0xA0BD, {RKernelInfo}, kD0w, kClears};
constexpr RpcStubEntry kFtrUnregister{"FtrUnregister", 0xA27A, {V2, V4}, kD0w, kClears};
constexpr RpcStubEntry kFtrGet{"FtrGet", 0xA27B, {R4, V2, V4}, kD0w, kClears};
constexpr RpcStubEntry kFtrSet{"FtrSet", 0xA27C, {V4, V2, V4}, kD0w, kClears};
constexpr RpcStubEntry kFtrGetByIndex{"FtrGetByIndex", 0xA27D, {R4, R2, R4, V1, V2}, kD0w, kClears};
constexpr RpcStubEntry kHwrMemWritable{"HwrMemWritable", 0xA23D, {V4}, kD0l, kClears};
constexpr RpcStubEntry kHwrMemReadable{"HwrMemReadable", 0xA23E, {V4}, kD0l, kClears};
constexpr RpcStubEntry kMemNumCards{"MemNumCards", 0xA03A, {}, kD0w, kClears};
constexpr RpcStubEntry kMemCardInfo{"MemCardInfo", 0xA004, {R4, R4, R4, R4, R2, RName, RName, V2}, kD0w, kKeeps};
constexpr RpcStubEntry kMemStoreInfo{"MemStoreInfo", 0xA005, {R4, R4, R4, R4, R4, R4, RName, R2, R2, V2, V2}, kD0w, kKeeps};
constexpr RpcStubEntry kMemNumHeaps{"MemNumHeaps", 0xA007, {V2}, kD0w, kKeeps};
constexpr RpcStubEntry kMemHeapID{"MemHeapID", 0xA009, {V2, V2}, kD0w, kKeeps};
constexpr RpcStubEntry kMemHeapDynamic{"MemHeapDynamic", 0xA03E, {V2}, kD0w, kKeeps};
constexpr RpcStubEntry kMemHeapPtr{"MemHeapPtr", 0xA00A, {V2}, kA0, kKeeps};
constexpr RpcStubEntry kMemHeapFreeBytes{"MemHeapFreeBytes", 0xA00B, {R4, R4, V2}, kD0w, kKeeps};
constexpr RpcStubEntry kMemHeapSize{"MemHeapSize", 0xA00C, {V2}, kD0l, kKeeps};
constexpr RpcStubEntry kMemHeapFlags{"MemHeapFlags", 0xA00D, {V2}, kD0w, kKeeps};
constexpr RpcStubEntry kMemHeapCompact{"MemHeapCompact", 0xA00E, {V2}, kD0w, kClears};
constexpr RpcStubEntry kMemChunkNew{"MemChunkNew", 0xA011, {V2, V4, V2}, kA0, kClears};
constexpr RpcStubEntry kMemChunkFree{"MemChunkFree", 0xA012, {V4}, kD0w, kClears};
constexpr RpcStubEntry kMemPtrRecoverHandle{"MemPtrRecoverHandle", 0xA014, {V4}, kA0, kKeeps};
constexpr RpcStubEntry kMemPtrFlags{"MemPtrFlags", 0xA015, {V4}, kD0w, kKeeps};
constexpr RpcStubEntry kMemPtrSize{"MemPtrSize", 0xA016, {V4}, kD0l, kKeeps};
constexpr RpcStubEntry kMemPtrOwner{"MemPtrOwner", 0xA017, {V4}, kD0w, kKeeps};
constexpr RpcStubEntry kMemPtrHeapID{"MemPtrHeapID", 0xA018, {V4}, kD0w, kKeeps};
constexpr RpcStubEntry kMemPtrSetOwner{"MemPtrSetOwner", 0xA01B, {V2, V4}, kD0w, kClears};
constexpr RpcStubEntry kMemPtrResize{"MemPtrResize", 0xA01C, {V4, V4}, kD0w, kClears};
constexpr RpcStubEntry kMemPtrUnlock{"MemPtrUnlock", 0xA035, {V4}, kD0w, kClears};
constexpr RpcStubEntry kMemHandleLockCount{"MemHandleLockCount", 0xA01F, {V4}, kD0w, kKeeps};
constexpr RpcStubEntry kMemHandleSize{"MemHandleSize", 0xA02D, {V4}, kD0l, kKeeps};
constexpr RpcStubEntry kMemHandleFlags{"MemHandleFlags", 0xA02C, {V4}, kD0w, kKeeps};
constexpr RpcStubEntry kMemHandleOwner{"MemHandleOwner", 0xA02E, {V4}, kD0w, kKeeps};
constexpr RpcStubEntry kMemHandleHeapID{"MemHandleHeapID", 0xA02F, {V4}, kD0w, kKeeps};
constexpr RpcStubEntry kMemHandleToLocalID{"MemHandleToLocalID", 0xA020, {V4}, kD0l, kKeeps};
constexpr RpcStubEntry kMemHandleLock{"MemHandleLock", 0xA021, {V4}, kA0, kClears};
constexpr RpcStubEntry kMemHandleUnlock{"MemHandleUnlock", 0xA022, {V4}, kD0w, kClears};
constexpr RpcStubEntry kMemLocalIDToGlobal{"MemLocalIDToGlobal", 0xA023, {V2, V4}, kA0, kKeeps};
constexpr RpcStubEntry kMemLocalIDKind{"MemLocalIDKind", 0xA024, {V4}, kD0w, kKeeps};
constexpr RpcStubEntry kMemLocalIDToPtr{"MemLocalIDToPtr", 0xA025, {V2, V4}, kA0, kKeeps};
constexpr RpcStubEntry kMemLocalIDToLockedPtr{"MemLocalIDToLockedPtr", 0xA036, {V2, V4}, kA0, kKeeps};
constexpr RpcStubEntry kMemHeapScramble{"MemHeapScramble", 0xA038, {V2}, kD0w, kClears};
constexpr RpcStubEntry kMemSetDebugMode{"MemSetDebugMode", 0xA037, {V2}, kD0w, kClears};
constexpr RpcStubEntry kMemDebugMode{"MemDebugMode", 0xA03B, {}, kD0w, kKeeps};
constexpr RpcStubEntry kDmCreateDatabase{"DmCreateDatabase", 0xA041, {V1, V4, V4, RName, V2}, kD0w, kClears};
constexpr RpcStubEntry kDmDeleteDatabase{"DmDeleteDatabase", 0xA042, {V4, V2}, kD0w, kClears};
constexpr RpcStubEntry kDmNumDatabases{"DmNumDatabases", 0xA043, {V2}, kD0w, kKeeps};
constexpr RpcStubEntry kDmGetDatabase{"DmGetDatabase", 0xA044, {V2, V2}, kD0l, kKeeps};
constexpr RpcStubEntry kDmGetNextDatabaseByTypeCreator{"DmGetNextDatabaseByTypeCreator", 0xA078, {R4, R2, V1, V4, V4, RSearchState, V1}, kD0w, kKeeps};
constexpr RpcStubEntry kDmFindDatabase{"DmFindDatabase", 0xA045, {RName, V2}, kD0l, kKeeps};
constexpr RpcStubEntry kDmDatabaseInfo{"DmDatabaseInfo", 0xA046, {R4, R4, R4, R4, R4, R4, R4, R4, R2, R2, RName, V4, V2}, kD0w, kKeeps};
constexpr RpcStubEntry kDmSetDatabaseInfo{"DmSetDatabaseInfo", 0xA047, {R4, R4, R4, R4, R4, R4, R4, R4, R2, R2, RName, V4, V2}, kD0w, kClears};
constexpr RpcStubEntry kDmDatabaseSize{"DmDatabaseSize", 0xA048, {R4, R4, R4, V4, V2}, kD0w, kKeeps};
constexpr RpcStubEntry kDmOpenDatabase{"DmOpenDatabase", 0xA049, {V2, V4, V2}, kA0, kClears};
constexpr RpcStubEntry kDmCloseDatabase{"DmCloseDatabase", 0xA04A, {V4}, kD0w, kClears};
constexpr RpcStubEntry kDmNextOpenDatabase{"DmNextOpenDatabase", 0xA04B, {V4}, kA0, kClears};
constexpr RpcStubEntry kDmOpenDatabaseInfo{"DmOpenDatabaseInfo", 0xA04C, {R1, R2, R2, R2, R4, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmGetLastErr{"DmGetLastErr", 0xA04E, {}, kD0w, kKeeps};
constexpr RpcStubEntry kDmNumRecords{"DmNumRecords", 0xA04F, {V4}, kD0w, kClears};
constexpr RpcStubEntry kDmRecordInfo{"DmRecordInfo", 0xA050, {R4, R4, R2, V2, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmSetRecordInfo{"DmSetRecordInfo", 0xA051, {R4, R2, V2, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmMoveRecord{"DmMoveRecord", 0xA054, {V2, V2, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmNewRecord{"DmNewRecord", 0xA055, {V4, R2, V4}, kA0, kClears};
constexpr RpcStubEntry kDmRemoveRecord{"DmRemoveRecord", 0xA056, {V2, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmDeleteRecord{"DmDeleteRecord", 0xA057, {V2, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmNewHandle{"DmNewHandle", 0xA059, {V4, V4}, kA0, kClears};
constexpr RpcStubEntry kDmStrCopy{"DmStrCopy", 0xA077, {RText, V4, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmFindRecordByID{"DmFindRecordByID", 0xA07B, {R2, V4, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmQueryRecord{"DmQueryRecord", 0xA05B, {V2, V4}, kA0, kClears};
constexpr RpcStubEntry kDmResizeRecord{"DmResizeRecord", 0xA05D, {V4, V2, V4}, kA0, kClears};
constexpr RpcStubEntry kDmReleaseRecord{"DmReleaseRecord", 0xA05E, {V1, V2, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmGetResource{"DmGetResource", 0xA05F, {V2, V4}, kA0, kClears};
constexpr RpcStubEntry kDmReleaseResource{"DmReleaseResource", 0xA061, {V4}, kD0w, kClears};
constexpr RpcStubEntry kDmResizeResource{"DmResizeResource", 0xA062, {V4, V4}, kA0, kClears};
constexpr RpcStubEntry kDmFindResource{"DmFindResource", 0xA065, {V4, V2, V4, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmNumResources{"DmNumResources", 0xA067, {V4}, kD0w, kClears};
constexpr RpcStubEntry kDmResourceInfo{"DmResourceInfo", 0xA068, {R4, R2, R4, V2, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmSetResourceInfo{"DmSetResourceInfo", 0xA069, {R2, R4, V2, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmAttachResource{"DmAttachResource", 0xA06A, {V2, V4, V4, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmNewResource{"DmNewResource", 0xA06C, {V4, V2, V4, V4}, kA0, kClears};
constexpr RpcStubEntry kDmRemoveResource{"DmRemoveResource", 0xA06D, {V2, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmGetResourceIndex{"DmGetResourceIndex", 0xA06E, {V2, V4}, kA0, kClears};
constexpr RpcStubEntry kEvtEnqueueKey{"EvtEnqueueKey", 0xA12D, {V2, V2, V2}, kD0w, kClears};
constexpr RpcStubEntry kFrmGetActiveForm{"FrmGetActiveForm", 0xA173, {}, kA0, kClears};
constexpr RpcStubEntry kFrmGetWindowHandle{"FrmGetWindowHandle", 0xA17C, {V4}, kA0, kClears};
constexpr RpcStubEntry kFrmGetTitle{"FrmGetTitle", 0xA190, {V4}, kA0, kClears};
constexpr RpcStubEntry kFrmGetFormId{"FrmGetFormId", 0xA17D, {V4}, kD0w, kClears};
constexpr RpcStubEntry kFrmGetFocus{"FrmGetFocus", 0xA178, {V4}, kD0w, kClears};
constexpr RpcStubEntry kFrmGetObjectType{"FrmGetObjectType", 0xA182, {V2, V4}, kD0w, kClears};
constexpr RpcStubEntry kFrmGetObjectPtr{"FrmGetObjectPtr", 0xA183, {V2, V4}, kA0, kClears};
constexpr RpcStubEntry kFrmGetObjectBounds{"FrmGetObjectBounds", 0xA199, {RRect, V2, V4}, kNone, kClears};
constexpr RpcStubEntry kFrmGetNumberOfObjects{"FrmGetNumberOfObjects", 0xA17F, {V4}, kD0w, kClears};
constexpr RpcStubEntry kFldGetAttributes{"FldGetAttributes", 0xA14F, {RFieldAttr, V4}, kNone, kClears};
constexpr RpcStubEntry kTblGetCurrentField{"TblGetCurrentField", 0xA1E9, {V4}, kA0, kClears};
constexpr RpcStubEntry kWinGetActiveWindow{"WinGetActiveWindow", 0xA1FF, {}, kA0, kClears};
constexpr RpcStubEntry kWinSetDrawWindow{"WinSetDrawWindow", 0xA1FD, {V4}, kA0, kClears};
constexpr RpcStubEntry kWinGetWindowExtent{"WinGetWindowExtent", 0xA20C, {R2, R2}, kNone, kClears};
constexpr RpcStubEntry kWinWindowToDisplayPt{"WinWindowToDisplayPt", 0xA20E, {R2, R2}, kNone, kClears};
constexpr RpcStubEntry kWinGetDrawWindowBounds{"WinGetDrawWindowBounds", 0xA228, {RRect}, kNone, kClears};
constexpr RpcStubEntry kSysGetAppInfo{"SysGetAppInfo", 0xA33C, {R4, R4}, kA0, kClears};
constexpr RpcStubEntry kDmAttachRecord{"DmAttachRecord", 0xA052, {R4, V4, R2, V4}, kD0w, kClears};
constexpr RpcStubEntry kDmDetachRecord{"DmDetachRecord", 0xA053, {R4, V2, V4}, kD0w, kClears};
// clang-format on

}  // namespace

// clang-format off
void SysColdBoot(uint32_t card0P, uint32_t card0Size, uint32_t card1P, uint32_t card1Size, uint32_t sysCardHeaderOffset) { L(kSysColdBoot, card0P, card0Size, card1P, card1Size, sysCardHeaderOffset); }
void SysReset() { L(kSysReset); }
Status SysKernelInfo(void* info64) { return W(kSysKernelInfo, info64); }
Status FtrUnregister(uint32_t creator, uint16_t featureNum) { return W(kFtrUnregister, creator, featureNum); }
Status FtrGet(uint32_t creator, uint16_t featureNum, uint32_t* valueP) { return W(kFtrGet, creator, featureNum, valueP); }
Status FtrSet(uint32_t creator, uint16_t featureNum, uint32_t newValue) { return W(kFtrSet, creator, featureNum, newValue); }
Status FtrGetByIndex(uint16_t index, uint8_t romTable, uint32_t* creatorP, uint16_t* numP, uint32_t* valueP) { return W(kFtrGetByIndex, index, romTable, creatorP, numP, valueP); }
uint32_t HwrMemWritable(uint32_t address) { return L(kHwrMemWritable, address); }
uint32_t HwrMemReadable(uint32_t address) { return L(kHwrMemReadable, address); }
uint16_t MemNumCards() { return W(kMemNumCards); }
Status MemCardInfo(uint16_t cardNo, char* cardName32, char* manufName32, uint16_t* versionP, uint32_t* crDateP, uint32_t* romSizeP, uint32_t* ramSizeP, uint32_t* freeBytesP) { return W(kMemCardInfo, cardNo, cardName32, manufName32, versionP, crDateP, romSizeP, ramSizeP, freeBytesP); }
Status MemStoreInfo(uint16_t cardNo, uint16_t storeNumber, uint16_t* versionP, uint16_t* flagsP, char* name32, uint32_t* crDateP, uint32_t* bckUpDateP, uint32_t* heapListOffsetP, uint32_t* initCodeOffset1P, uint32_t* initCodeOffset2P, uint32_t* databaseDirIDP) { return W(kMemStoreInfo, cardNo, storeNumber, versionP, flagsP, name32, crDateP, bckUpDateP, heapListOffsetP, initCodeOffset1P, initCodeOffset2P, databaseDirIDP); }
uint16_t MemNumHeaps(uint16_t cardNo) { return W(kMemNumHeaps, cardNo); }
uint16_t MemHeapID(uint16_t cardNo, uint16_t heapIndex) { return W(kMemHeapID, cardNo, heapIndex); }
uint16_t MemHeapDynamic(uint16_t heapID) { return W(kMemHeapDynamic, heapID); }
uint32_t MemHeapPtr(uint16_t heapID) { return L(kMemHeapPtr, heapID); }
Status MemHeapFreeBytes(uint16_t heapID, uint32_t* freeP, uint32_t* maxP) { return W(kMemHeapFreeBytes, heapID, freeP, maxP); }
uint32_t MemHeapSize(uint16_t heapID) { return L(kMemHeapSize, heapID); }
uint16_t MemHeapFlags(uint16_t heapID) { return W(kMemHeapFlags, heapID); }
Status MemHeapCompact(uint16_t heapID) { return W(kMemHeapCompact, heapID); }
uint32_t MemChunkNew(uint16_t heapID, uint32_t size, uint16_t attr) { return L(kMemChunkNew, heapID, size, attr); }
Status MemChunkFree(uint32_t chunkDataP) { return W(kMemChunkFree, chunkDataP); }
uint32_t MemPtrRecoverHandle(uint32_t p) { return L(kMemPtrRecoverHandle, p); }
uint16_t MemPtrFlags(uint32_t p) { return W(kMemPtrFlags, p); }
uint32_t MemPtrSize(uint32_t p) { return L(kMemPtrSize, p); }
uint16_t MemPtrOwner(uint32_t p) { return W(kMemPtrOwner, p); }
uint16_t MemPtrHeapID(uint32_t p) { return W(kMemPtrHeapID, p); }
Status MemPtrSetOwner(uint32_t p, uint16_t owner) { return W(kMemPtrSetOwner, p, owner); }
Status MemPtrResize(uint32_t p, uint32_t newSize) { return W(kMemPtrResize, p, newSize); }
Status MemPtrUnlock(uint32_t p) { return W(kMemPtrUnlock, p); }
uint16_t MemHandleLockCount(uint32_t h) { return W(kMemHandleLockCount, h); }
uint32_t MemHandleSize(uint32_t h) { return L(kMemHandleSize, h); }
uint16_t MemHandleFlags(uint32_t h) { return W(kMemHandleFlags, h); }
uint16_t MemHandleOwner(uint32_t h) { return W(kMemHandleOwner, h); }
uint16_t MemHandleHeapID(uint32_t h) { return W(kMemHandleHeapID, h); }
uint32_t MemHandleToLocalID(uint32_t h) { return L(kMemHandleToLocalID, h); }
uint32_t MemHandleLock(uint32_t h) { return L(kMemHandleLock, h); }
Status MemHandleUnlock(uint32_t h) { return W(kMemHandleUnlock, h); }
uint32_t MemLocalIDToGlobal(uint32_t local, uint16_t cardNo) { return L(kMemLocalIDToGlobal, local, cardNo); }
uint16_t MemLocalIDKind(uint32_t local) { return W(kMemLocalIDKind, local); }
uint32_t MemLocalIDToPtr(uint32_t local, uint16_t cardNo) { return L(kMemLocalIDToPtr, local, cardNo); }
uint32_t MemLocalIDToLockedPtr(uint32_t local, uint16_t cardNo) { return L(kMemLocalIDToLockedPtr, local, cardNo); }
Status MemHeapScramble(uint16_t heapID) { return W(kMemHeapScramble, heapID); }
Status MemSetDebugMode(uint16_t flags) { return W(kMemSetDebugMode, flags); }
uint16_t MemDebugMode() { return W(kMemDebugMode); }
Status DmCreateDatabase(uint16_t cardNo, const char* name, uint32_t creator, uint32_t type, uint8_t resDB) { return W(kDmCreateDatabase, cardNo, name, creator, type, resDB); }
Status DmDeleteDatabase(uint16_t cardNo, uint32_t dbID) { return W(kDmDeleteDatabase, cardNo, dbID); }
uint16_t DmNumDatabases(uint16_t cardNo) { return W(kDmNumDatabases, cardNo); }
uint32_t DmGetDatabase(uint16_t cardNo, uint16_t index) { return L(kDmGetDatabase, cardNo, index); }
Status DmGetNextDatabaseByTypeCreator(uint8_t newSearch, void* stateInfo32, uint32_t type, uint32_t creator, uint8_t onlyLatestVers, uint16_t* cardNoP, uint32_t* dbIDP) { return W(kDmGetNextDatabaseByTypeCreator, newSearch, stateInfo32, type, creator, onlyLatestVers, cardNoP, dbIDP); }
uint32_t DmFindDatabase(uint16_t cardNo, const char* name) { return L(kDmFindDatabase, cardNo, name); }
Status DmDatabaseInfo(uint16_t cardNo, uint32_t dbID, char* name32, uint16_t* attributesP, uint16_t* versionP, uint32_t* crDateP, uint32_t* modDateP, uint32_t* bckUpDateP, uint32_t* modNumP, uint32_t* appInfoIDP, uint32_t* sortInfoIDP, uint32_t* typeP, uint32_t* creatorP) { return W(kDmDatabaseInfo, cardNo, dbID, name32, attributesP, versionP, crDateP, modDateP, bckUpDateP, modNumP, appInfoIDP, sortInfoIDP, typeP, creatorP); }
Status DmSetDatabaseInfo(uint16_t cardNo, uint32_t dbID, const char* name, uint16_t* attributesP, uint16_t* versionP, uint32_t* crDateP, uint32_t* modDateP, uint32_t* bckUpDateP, uint32_t* modNumP, uint32_t* appInfoIDP, uint32_t* sortInfoIDP, uint32_t* typeP, uint32_t* creatorP) { return W(kDmSetDatabaseInfo, cardNo, dbID, name, attributesP, versionP, crDateP, modDateP, bckUpDateP, modNumP, appInfoIDP, sortInfoIDP, typeP, creatorP); }
Status DmDatabaseSize(uint16_t cardNo, uint32_t dbID, uint32_t* numRecordsP, uint32_t* totalBytesP, uint32_t* dataBytesP) { return W(kDmDatabaseSize, cardNo, dbID, numRecordsP, totalBytesP, dataBytesP); }
uint32_t DmOpenDatabase(uint16_t cardNo, uint32_t dbID, uint16_t mode) { return L(kDmOpenDatabase, cardNo, dbID, mode); }
Status DmCloseDatabase(uint32_t dbP) { return W(kDmCloseDatabase, dbP); }
uint32_t DmNextOpenDatabase(uint32_t currentP) { return L(kDmNextOpenDatabase, currentP); }
Status DmOpenDatabaseInfo(uint32_t dbP, uint32_t* dbIDP, uint16_t* openCountP, uint16_t* modeP, uint16_t* cardNoP, uint8_t* resDBP) { return W(kDmOpenDatabaseInfo, dbP, dbIDP, openCountP, modeP, cardNoP, resDBP); }
Status DmGetLastErr() { return W(kDmGetLastErr); }
uint16_t DmNumRecords(uint32_t dbP) { return W(kDmNumRecords, dbP); }
Status DmRecordInfo(uint32_t dbP, uint16_t index, uint16_t* attrP, uint32_t* uniqueIDP, uint32_t* chunkIDP) { return W(kDmRecordInfo, dbP, index, attrP, uniqueIDP, chunkIDP); }
Status DmSetRecordInfo(uint32_t dbP, uint16_t index, uint16_t* attrP, uint32_t* uniqueIDP) { return W(kDmSetRecordInfo, dbP, index, attrP, uniqueIDP); }
Status DmMoveRecord(uint32_t dbP, uint16_t from, uint16_t to) { return W(kDmMoveRecord, dbP, from, to); }
uint32_t DmNewRecord(uint32_t dbP, uint16_t* atP, uint32_t size) { return L(kDmNewRecord, dbP, atP, size); }
Status DmRemoveRecord(uint32_t dbP, uint16_t index) { return W(kDmRemoveRecord, dbP, index); }
Status DmDeleteRecord(uint32_t dbP, uint16_t index) { return W(kDmDeleteRecord, dbP, index); }
uint32_t DmNewHandle(uint32_t dbP, uint32_t size) { return L(kDmNewHandle, dbP, size); }
Status DmStrCopy(uint32_t recordP, uint32_t offset, const char* text) { return W(kDmStrCopy, recordP, offset, text); }
Status DmFindRecordByID(uint32_t dbP, uint32_t uniqueID, uint16_t* indexP) { return W(kDmFindRecordByID, dbP, uniqueID, indexP); }
uint32_t DmQueryRecord(uint32_t dbP, uint16_t index) { return L(kDmQueryRecord, dbP, index); }
uint32_t DmResizeRecord(uint32_t dbP, uint16_t index, uint32_t newSize) { return L(kDmResizeRecord, dbP, index, newSize); }
Status DmReleaseRecord(uint32_t dbP, uint16_t index, uint8_t dirty) { return W(kDmReleaseRecord, dbP, index, dirty); }
uint32_t DmGetResource(uint32_t type, uint16_t resID) { return L(kDmGetResource, type, resID); }
Status DmReleaseResource(uint32_t resourceH) { return W(kDmReleaseResource, resourceH); }
uint32_t DmResizeResource(uint32_t resourceH, uint32_t newSize) { return L(kDmResizeResource, resourceH, newSize); }
uint16_t DmFindResource(uint32_t dbP, uint32_t resType, uint16_t resID, uint32_t resH) { return W(kDmFindResource, dbP, resType, resID, resH); }
uint16_t DmNumResources(uint32_t dbP) { return W(kDmNumResources, dbP); }
Status DmResourceInfo(uint32_t dbP, uint16_t index, uint32_t* resTypeP, uint16_t* resIDP, uint32_t* chunkLocalIDP) { return W(kDmResourceInfo, dbP, index, resTypeP, resIDP, chunkLocalIDP); }
Status DmSetResourceInfo(uint32_t dbP, uint16_t index, uint32_t* resTypeP, uint16_t* resIDP) { return W(kDmSetResourceInfo, dbP, index, resTypeP, resIDP); }
Status DmAttachResource(uint32_t dbP, uint32_t newH, uint32_t resType, uint16_t resID) { return W(kDmAttachResource, dbP, newH, resType, resID); }
uint32_t DmNewResource(uint32_t dbP, uint32_t resType, uint16_t resID, uint32_t size) { return L(kDmNewResource, dbP, resType, resID, size); }
Status DmRemoveResource(uint32_t dbP, uint16_t index) { return W(kDmRemoveResource, dbP, index); }
uint32_t DmGetResourceIndex(uint32_t dbP, uint16_t index) { return L(kDmGetResourceIndex, dbP, index); }
Status EvtEnqueueKey(uint16_t ascii, uint16_t keycode, uint16_t modifiers) { return W(kEvtEnqueueKey, ascii, keycode, modifiers); }
uint32_t FrmGetActiveForm() { return L(kFrmGetActiveForm); }
uint32_t FrmGetWindowHandle(uint32_t formP) { return L(kFrmGetWindowHandle, formP); }
uint32_t FrmGetTitle(uint32_t formP) { return L(kFrmGetTitle, formP); }
uint16_t FrmGetFormId(uint32_t formP) { return W(kFrmGetFormId, formP); }
uint16_t FrmGetFocus(uint32_t formP) { return W(kFrmGetFocus, formP); }
uint16_t FrmGetObjectType(uint32_t formP, uint16_t objIndex) { return W(kFrmGetObjectType, formP, objIndex); }
uint32_t FrmGetObjectPtr(uint32_t formP, uint16_t objIndex) { return L(kFrmGetObjectPtr, formP, objIndex); }
void FrmGetObjectBounds(uint32_t formP, uint16_t objIndex, void* rect8) { L(kFrmGetObjectBounds, formP, objIndex, rect8); }
uint16_t FrmGetNumberOfObjects(uint32_t formP) { return W(kFrmGetNumberOfObjects, formP); }
void FldGetAttributes(uint32_t fldP, void* attr2) { L(kFldGetAttributes, fldP, attr2); }
uint32_t TblGetCurrentField(uint32_t tableP) { return L(kTblGetCurrentField, tableP); }
uint32_t WinGetActiveWindow() { return L(kWinGetActiveWindow); }
uint32_t WinSetDrawWindow(uint32_t winHandle) { return L(kWinSetDrawWindow, winHandle); }
void WinGetWindowExtent(int16_t* extentX, int16_t* extentY) { L(kWinGetWindowExtent, extentX, extentY); }
void WinWindowToDisplayPt(int16_t* extentX, int16_t* extentY) { L(kWinWindowToDisplayPt, extentX, extentY); }
void WinGetDrawWindowBounds(void* rect8) { L(kWinGetDrawWindowBounds, rect8); }
uint32_t SysGetAppInfo(uint32_t* rootAppPP, uint32_t* actionCodeAppPP) { return L(kSysGetAppInfo, rootAppPP, actionCodeAppPP); }
Status DmAttachRecord(uint32_t dbP, uint16_t* atP, uint32_t newH, uint32_t* oldHP) { return W(kDmAttachRecord, dbP, atP, newH, oldHP); }
Status DmDetachRecord(uint32_t dbP, uint16_t index, uint32_t* oldHP) { return W(kDmDetachRecord, dbP, index, oldHP); }
// clang-format on

}  // namespace quillwatch
