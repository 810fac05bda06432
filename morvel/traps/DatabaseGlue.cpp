#include "morvel/traps/DatabaseGlue.h"
#include "morvel/traps/ResourceTranslate.h"

#include <cstring>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/ModuleGlue.h"
#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;

using Handle = void*;
using CompareProc = int16_t (*)(void*, void*, int16_t, void*, void*, void*);

constexpr uint16_t kErrReadOnly = 0x0201;  // database changes refused while the reserve is given up
constexpr uint16_t kModeReadWrite = 3;
constexpr uint32_t kCompareArgBytes = 22;

Handle H(const EmulState* s, uint32_t offset) { return Ptr(GetArgUInt32(s, offset)); }
void Err(EmulState* s, uint16_t err) { SetResultD0UInt16(s, err); }
void A0(EmulState* s, const void* p) { SetResultA0(s, Addr(p)); }

// ---- the write guard ----

enum class Refusal { Error, Pointer };

// True when database changes are refused: the last error of the application's task record is set
// and the handler's result answered (error 0x0201 or a null pointer).
bool Refused(EmulState* s, Refusal answer) {
    const EmulState* global = s->global ? s->global : s;
    if (!(global->flags & kFlagReserveReleased)) return false;
    if (auto* record = static_cast<uint8_t*>(sys::SysGetTaskRecord())) {
        const uint16_t err = kErrReadOnly;
        std::memcpy(record + vantor::kTaskRecordLastError, &err, 2);
    }
    if (answer == Refusal::Pointer) SetResultA0(s, 0);
    else Err(s, kErrReadOnly);
    return true;
}

// A one-byte out-parameter behind a 68K pointer.
struct Out8 {
    uint32_t p;
    uint8_t value = 0;
    explicit Out8(uint32_t pointer) : p(pointer) {}
    uint8_t* Native() { return p ? &value : nullptr; }
    void WriteBack() const {
        if (p) Write68KInt8(p, 0, value);
    }
};

// ---- databases ----

void TrapDmCreateDatabase(EmulState* s, uint16_t) {
    if (Refused(s, Refusal::Error)) return;
    Err(s, SysCall<uint16_t(uint16_t, const char*, uint32_t, uint32_t, uint8_t)>(
               slot::DmCreateDatabase, U16(s, 0), Str(GetArgPtr(s, 2)), GetArgUInt32(s, 6), GetArgUInt32(s, 10),
               U8(s, 14)));
}
void TrapDmDeleteDatabase(EmulState* s, uint16_t) {
    Err(s, SysCall<uint16_t(uint16_t, uint32_t)>(slot::DmDeleteDatabase, U16(s, 0), GetArgUInt32(s, 2)));
}
void TrapDmNumDatabases(EmulState* s, uint16_t) {
    Err(s, SysCall<uint16_t(uint16_t)>(slot::DmNumDatabases, U16(s, 0)));
}
void TrapDmGetDatabase(EmulState* s, uint16_t) {
    SetResultD0UInt32(s, SysCall<uint32_t(uint16_t, uint16_t)>(slot::DmGetDatabase, U16(s, 0), U16(s, 2)));
}
void TrapDmFindDatabase(EmulState* s, uint16_t) {
    SetResultD0UInt32(s, SysCall<uint32_t(uint16_t, const char*)>(slot::DmFindDatabase, U16(s, 0),
                                                                   Str(GetArgPtr(s, 2))));
}

// DmDatabaseInfo and DmSetDatabaseInfo: (cardNo, dbID, name, attributes, version, creation,
// modification and backup dates, modification number, app info, sort info, type, creator).
using DatabaseInfoSignature = uint16_t(uint16_t, uint32_t, char*, uint16_t*, uint16_t*, uint32_t*, uint32_t*, uint32_t*,
                                  uint32_t*, uint32_t*, uint32_t*, uint32_t*, uint32_t*);
void DatabaseInfoCall(EmulState* s, uint16_t slotNumber, bool writeBack) {
    InOut16 attributes(GetArgPtr(s, 10)), version(GetArgPtr(s, 14));
    InOut32 words[8] = {InOut32(GetArgPtr(s, 18)), InOut32(GetArgPtr(s, 22)), InOut32(GetArgPtr(s, 26)),
                        InOut32(GetArgPtr(s, 30)), InOut32(GetArgPtr(s, 34)), InOut32(GetArgPtr(s, 38)),
                        InOut32(GetArgPtr(s, 42)), InOut32(GetArgPtr(s, 46))};
    const uint16_t err = SysCall<DatabaseInfoSignature>(
        slotNumber, U16(s, 0), GetArgUInt32(s, 2), Str(GetArgPtr(s, 6)), attributes.Native(), version.Native(),
        words[0].Native(), words[1].Native(), words[2].Native(), words[3].Native(), words[4].Native(),
        words[5].Native(), words[6].Native(), words[7].Native());
    if (writeBack) {
        attributes.WriteBack();
        version.WriteBack();
        for (const InOut32& w : words) w.WriteBack();
    }
    Err(s, err);
}
void TrapDmDatabaseInfo(EmulState* s, uint16_t) { DatabaseInfoCall(s, slot::DmDatabaseInfo, true); }
void TrapDmSetDatabaseInfo(EmulState* s, uint16_t) { DatabaseInfoCall(s, slot::DmSetDatabaseInfo, false); }

void TrapDmDatabaseSize(EmulState* s, uint16_t) {
    InOut32 records(GetArgPtr(s, 6)), total(GetArgPtr(s, 10)), data(GetArgPtr(s, 14));
    const uint16_t err = SysCall<uint16_t(uint16_t, uint32_t, uint32_t*, uint32_t*, uint32_t*)>(
        slot::DmDatabaseSize, U16(s, 0), GetArgUInt32(s, 2), records.Native(), total.Native(), data.Native());
    if (err == 0) {
        records.WriteBack();
        total.WriteBack();
        data.WriteBack();
    }
    Err(s, err);
}
// DmOpenDatabase and DmOpenDBNoOverlay: (cardNo, dbID, mode).
void OpenCall(EmulState* s, uint16_t slotNumber) {
    SetResultA0(s, SysCall<uint32_t(uint16_t, uint32_t, uint16_t)>(slotNumber, U16(s, 0), GetArgUInt32(s, 2),
                                                                    U16(s, 6)));
}
void TrapDmOpenDatabase(EmulState* s, uint16_t) { OpenCall(s, slot::DmOpenDatabase); }
void TrapDmOpenDBNoOverlay(EmulState* s, uint16_t) { OpenCall(s, slot::DmOpenDBNoOverlay); }

// The calls that take one 32-bit value (a database reference or a handle) and answer a 16-bit
// value (an error or a count) or a pointer.
template <uint16_t Slot>
void Word16Of32(EmulState* s, uint16_t) {
    Err(s, SysCall<uint16_t(uint32_t)>(Slot, GetArgUInt32(s, 0)));
}
template <uint16_t Slot>
void PointerOf32(EmulState* s, uint16_t) {
    SetResultA0(s, SysCall<uint32_t(uint32_t)>(Slot, GetArgUInt32(s, 0)));
}
// The calls that take a database reference and a 16-bit value (an index or a category).
template <uint16_t Slot>
void Word16OfRef16(EmulState* s, uint16_t) {
    Err(s, SysCall<uint16_t(uint32_t, uint16_t)>(Slot, GetArgUInt32(s, 0), U16(s, 4)));
}
template <uint16_t Slot>
void PointerOfRef16(EmulState* s, uint16_t) {
    SetResultA0(s, SysCall<uint32_t(uint32_t, uint16_t)>(Slot, GetArgUInt32(s, 0), U16(s, 4)));
}

void TrapDmOpenDatabaseInfo(EmulState* s, uint16_t) {
    InOut32 dbID(GetArgPtr(s, 4));
    InOut16 openCount(GetArgPtr(s, 8)), mode(GetArgPtr(s, 12)), cardNo(GetArgPtr(s, 16));
    Out8 resDB(GetArgPtr(s, 20));
    const uint16_t err = SysCall<uint16_t(uint32_t, uint32_t*, uint16_t*, uint16_t*, uint16_t*, uint8_t*)>(
        slot::DmOpenDatabaseInfo, GetArgUInt32(s, 0), dbID.Native(), openCount.Native(), mode.Native(),
        cardNo.Native(), resDB.Native());
    dbID.WriteBack();
    openCount.WriteBack();
    mode.WriteBack();
    cardNo.WriteBack();
    resDB.WriteBack();
    Err(s, err);
}
void TrapDmGetLastErr(EmulState* s, uint16_t) { Err(s, SysCall<uint16_t()>(slot::DmGetLastErr)); }

void TrapDmOpenDatabaseByTypeCreator(EmulState* s, uint16_t) {
    SetResultA0(s, SysCall<uint32_t(uint32_t, uint32_t, uint16_t)>(slot::DmOpenDatabaseByTypeCreator,
                                                                    GetArgUInt32(s, 0), GetArgUInt32(s, 4),
                                                                    U16(s, 8)));
}
void TrapDmGetNextDatabaseByTypeCreator(EmulState* s, uint16_t) {
    const uint32_t stateP = GetArgPtr(s, 2);
    uint8_t state[32] = {};
    if (stateP) std::memcpy(state, Ptr(stateP), sizeof state);
    InOut16 cardNo(GetArgPtr(s, 16));
    InOut32 dbID(GetArgPtr(s, 20));
    const uint16_t err = SysCall<uint16_t(uint8_t, void*, uint32_t, uint32_t, uint8_t, uint16_t*, uint32_t*)>(
        slot::DmGetNextDatabaseByTypeCreator, U8(s, 0), stateP ? state : nullptr, GetArgUInt32(s, 6),
        GetArgUInt32(s, 10), U8(s, 14), cardNo.Native(), dbID.Native());
    if (stateP) std::memcpy(Ptr(stateP), state, sizeof state);
    cardNo.WriteBack();
    dbID.WriteBack();
    Err(s, err);
}
void TrapDmDatabaseProtect(EmulState* s, uint16_t) {
    Err(s, SysCall<uint16_t(uint16_t, uint32_t, uint8_t)>(slot::DmDatabaseProtect, U16(s, 0), GetArgUInt32(s, 2),
                                                           U8(s, 6)));
}
void TrapDmGetDatabaseLockState(EmulState* s, uint16_t) {
    Out8 highest(GetArgPtr(s, 4));
    InOut32 count(GetArgPtr(s, 8)), busy(GetArgPtr(s, 12));
    SysCall<void(uint32_t, uint8_t*, uint32_t*, uint32_t*)>(slot::DmGetDatabaseLockState, GetArgUInt32(s, 0),
                                                            highest.Native(), count.Native(), busy.Native());
    highest.WriteBack();
    count.WriteBack();
    busy.WriteBack();
}
// (type, creator, cardNo out, dbID out).
void TrapDmFindDatabaseWithTypeCreator(EmulState* s, uint16_t) {
    InOut16 cardNo(GetArgPtr(s, 8));
    InOut32 dbID(GetArgPtr(s, 12));
    const uint16_t err = SysCall<uint16_t(uint32_t, uint32_t, uint16_t*, uint32_t*)>(
        slot::DmFindDatabaseWithTypeCreator, GetArgUInt32(s, 0), GetArgUInt32(s, 4), cardNo.Native(),
        dbID.Native());
    cardNo.WriteBack();
    dbID.WriteBack();
    Err(s, err);
}
void TrapDmCreateDatabaseFromImage(EmulState* s, uint16_t) {
    if (Refused(s, Refusal::Error)) return;
    Err(s, SysCall<uint16_t(void*)>(slot::DmCreateDatabaseFromImage, H(s, 0)));
}
void TrapDmGetAppInfoID(EmulState* s, uint16_t) {
    SetResultD0UInt32(s, SysCall<uint32_t(uint32_t)>(slot::DmGetAppInfoID, GetArgUInt32(s, 0)));
}

// ---- records ----

void TrapDmRecordInfo(EmulState* s, uint16_t) {
    InOut16 attributes(GetArgPtr(s, 6));
    InOut32 uniqueID(GetArgPtr(s, 10)), chunk(GetArgPtr(s, 14));
    const uint16_t err = SysCall<uint16_t(uint32_t, uint16_t, uint16_t*, uint32_t*, uint32_t*)>(
        slot::DmRecordInfo, GetArgUInt32(s, 0), U16(s, 4), attributes.Native(), uniqueID.Native(), chunk.Native());
    if (err == 0) {
        attributes.WriteBack();
        uniqueID.WriteBack();
        chunk.WriteBack();
    }
    Err(s, err);
}
void TrapDmSetRecordInfo(EmulState* s, uint16_t) {
    InOut16 attributes(GetArgPtr(s, 6));
    InOut32 uniqueID(GetArgPtr(s, 10));
    Err(s, SysCall<uint16_t(uint32_t, uint16_t, uint16_t*, uint32_t*)>(
               slot::DmSetRecordInfo, GetArgUInt32(s, 0), U16(s, 4), attributes.Native(), uniqueID.Native()));
}
void TrapDmAttachRecord(EmulState* s, uint16_t) {
    if (Refused(s, Refusal::Error)) return;
    InOut16 at(GetArgPtr(s, 4));
    InOut32 old(GetArgPtr(s, 12));
    const uint16_t err = SysCall<uint16_t(uint32_t, uint16_t*, Handle, uint32_t*)>(
        slot::DmAttachRecord, GetArgUInt32(s, 0), at.Native(), H(s, 8), old.Native());
    at.WriteBack();
    old.WriteBack();
    Err(s, err);
}
void TrapDmDetachRecord(EmulState* s, uint16_t) {
    InOut32 old(GetArgPtr(s, 6));
    const uint16_t err = SysCall<uint16_t(uint32_t, uint16_t, uint32_t*)>(slot::DmDetachRecord, GetArgUInt32(s, 0),
                                                                          U16(s, 4), old.Native());
    old.WriteBack();
    Err(s, err);
}
void TrapDmMoveRecord(EmulState* s, uint16_t) {
    if (Refused(s, Refusal::Error)) return;
    Err(s, SysCall<uint16_t(uint32_t, uint16_t, uint16_t)>(slot::DmMoveRecord, GetArgUInt32(s, 0), U16(s, 4),
                                                            U16(s, 6)));
}
void TrapDmNewRecord(EmulState* s, uint16_t) {
    if (Refused(s, Refusal::Pointer)) return;
    InOut16 at(GetArgPtr(s, 4));
    const Handle h = SysCall<Handle(uint32_t, uint16_t*, uint32_t)>(slot::DmNewRecord, GetArgUInt32(s, 0),
                                                                    at.Native(), GetArgUInt32(s, 8));
    at.WriteBack();
    A0(s, h);
}
void TrapDmNewHandle(EmulState* s, uint16_t) {
    if (Refused(s, Refusal::Pointer)) return;
    A0(s, SysCall<Handle(uint32_t, uint32_t)>(slot::DmNewHandle, GetArgUInt32(s, 0), GetArgUInt32(s, 4)));
}
void TrapDmResizeRecord(EmulState* s, uint16_t) {
    if (Refused(s, Refusal::Pointer)) return;
    A0(s, SysCall<Handle(uint32_t, uint16_t, uint32_t)>(slot::DmResizeRecord, GetArgUInt32(s, 0), U16(s, 4),
                                                        GetArgUInt32(s, 6)));
}
void TrapDmReleaseRecord(EmulState* s, uint16_t) {
    Err(s, SysCall<uint16_t(uint32_t, uint16_t, uint8_t)>(slot::DmReleaseRecord, GetArgUInt32(s, 0), U16(s, 4),
                                                           U8(s, 6)));
}
void TrapDmWrite(EmulState* s, uint16_t) {
    Err(s, SysCall<uint16_t(void*, uint32_t, const void*, uint32_t)>(slot::DmWrite, H(s, 0), GetArgUInt32(s, 4),
                                                                      H(s, 8), GetArgUInt32(s, 12)));
}
void TrapDmStrCopy(EmulState* s, uint16_t) {
    Err(s, SysCall<uint16_t(void*, uint32_t, const char*)>(slot::DmStrCopy, H(s, 0), GetArgUInt32(s, 4),
                                                            Str(GetArgPtr(s, 8))));
}
void TrapDmWriteCheck(EmulState* s, uint16_t) {
    Err(s, SysCall<uint16_t(void*, uint32_t, uint32_t)>(slot::DmWriteCheck, H(s, 0), GetArgUInt32(s, 4),
                                                         GetArgUInt32(s, 8)));
}
void TrapDmSet(EmulState* s, uint16_t) {
    Err(s, SysCall<uint16_t(void*, uint32_t, uint32_t, uint8_t)>(slot::DmSet, H(s, 0), GetArgUInt32(s, 4),
                                                                  GetArgUInt32(s, 8), U8(s, 12)));
}
void TrapDmFindRecordByID(EmulState* s, uint16_t) {
    InOut16 index(GetArgPtr(s, 8));
    const uint16_t err = SysCall<uint16_t(uint32_t, uint32_t, uint16_t*)>(slot::DmFindRecordByID, GetArgUInt32(s, 0),
                                                                          GetArgUInt32(s, 4), index.Native());
    index.WriteBack();
    Err(s, err);
}
void TrapDmSearchRecord(EmulState* s, uint16_t) {
    InOut32 db(GetArgPtr(s, 4));
    const uint16_t index =
        SysCall<uint16_t(Handle, uint32_t*)>(slot::DmSearchRecord, H(s, 0), db.Native());
    db.WriteBack();
    Err(s, index);
}

// ---- categories ----

void TrapDmQueryNextInCategory(EmulState* s, uint16_t) {
    InOut16 index(GetArgPtr(s, 4));
    const Handle h = SysCall<Handle(uint32_t, uint16_t*, uint16_t)>(slot::DmQueryNextInCategory,
                                                                    GetArgUInt32(s, 0), index.Native(), U16(s, 8));
    index.WriteBack();
    A0(s, h);
}
void TrapDmPositionInCategory(EmulState* s, uint16_t) {
    Err(s, SysCall<uint16_t(uint32_t, uint16_t, uint16_t)>(slot::DmPositionInCategory, GetArgUInt32(s, 0),
                                                            U16(s, 4), U16(s, 6)));
}
void TrapDmSeekRecordInCategory(EmulState* s, uint16_t) {
    InOut16 index(GetArgPtr(s, 4));
    const uint16_t err = SysCall<uint16_t(uint32_t, uint16_t*, uint16_t, int16_t, uint16_t)>(
        slot::DmSeekRecordInCategory, GetArgUInt32(s, 0), index.Native(), U16(s, 8),
        static_cast<int16_t>(U16(s, 10)), U16(s, 12));
    index.WriteBack();
    Err(s, err);
}
void TrapDmMoveCategory(EmulState* s, uint16_t) {
    if (Refused(s, Refusal::Error)) return;
    Err(s, SysCall<uint16_t(uint32_t, uint16_t, uint16_t, uint8_t)>(slot::DmMoveCategory, GetArgUInt32(s, 0),
                                                                     U16(s, 4), U16(s, 6), U8(s, 8)));
}

// ---- resources ----

// DmGetResource and DmGet1Resource: (type, id).
template <uint16_t Slot>
void ResourceByTypeAndID(EmulState* s, uint16_t) {
    A0(s, SysCall<Handle(uint32_t, uint16_t)>(Slot, GetArgUInt32(s, 0), U16(s, 4)));
}
void TrapDmResizeResource(EmulState* s, uint16_t) {
    if (Refused(s, Refusal::Pointer)) return;
    A0(s, sys::DmResizeResource(H(s, 0), GetArgUInt32(s, 4)));
}
void TrapDmFindResourceType(EmulState* s, uint16_t) {
    Err(s, SysCall<uint16_t(uint32_t, uint32_t, uint16_t)>(slot::DmFindResourceType, GetArgUInt32(s, 0),
                                                            GetArgUInt32(s, 4), U16(s, 8)));
}
void TrapDmFindResource(EmulState* s, uint16_t) {
    Err(s, sys::DmFindResource(GetArgUInt32(s, 0), GetArgUInt32(s, 4), U16(s, 8), H(s, 10)));
}
void TrapDmSearchResource(EmulState* s, uint16_t) {
    InOut32 db(GetArgPtr(s, 10));
    const uint16_t index = SysCall<uint16_t(uint32_t, uint16_t, Handle, uint32_t*)>(
        slot::DmSearchResource, GetArgUInt32(s, 0), U16(s, 4), H(s, 6), db.Native());
    db.WriteBack();
    Err(s, index);
}
void TrapDmResourceInfo(EmulState* s, uint16_t) {
    InOut32 type(GetArgPtr(s, 6)), chunk(GetArgPtr(s, 14));
    InOut16 id(GetArgPtr(s, 10));
    const uint16_t err =
        sys::DmResourceInfo(GetArgUInt32(s, 0), U16(s, 4), type.Native(), id.Native(), chunk.Native());
    if (err == 0) {
        type.WriteBack();
        id.WriteBack();
        chunk.WriteBack();
    }
    Err(s, err);
}
void TrapDmSetResourceInfo(EmulState* s, uint16_t) {
    InOut32 type(GetArgPtr(s, 6));
    InOut16 id(GetArgPtr(s, 10));
    Err(s, SysCall<uint16_t(uint32_t, uint16_t, uint32_t*, uint16_t*)>(slot::DmSetResourceInfo, GetArgUInt32(s, 0),
                                                                        U16(s, 4), type.Native(), id.Native()));
}
void TrapDmAttachResource(EmulState* s, uint16_t) {
    if (Refused(s, Refusal::Error)) return;
    Err(s, SysCall<uint16_t(uint32_t, Handle, uint32_t, uint16_t)>(slot::DmAttachResource, GetArgUInt32(s, 0),
                                                                    H(s, 4), GetArgUInt32(s, 8), U16(s, 12)));
}
void TrapDmNewResource(EmulState* s, uint16_t) {
    if (Refused(s, Refusal::Pointer)) return;
    A0(s, sys::DmNewResource(GetArgUInt32(s, 0), GetArgUInt32(s, 4), U16(s, 8), GetArgUInt32(s, 10)));
}

// The native type that the resource translation stores a 68K resource type under; every other
// type maps to itself.
uint32_t TranslatedResourceType(uint32_t type) { return RsrcMapType(type); }

// The application's resource cache database, open, or 0.
uint32_t ResourceCache(const EmulState* s) {
    for (; s; s = s->parent)
        if (s->resourceCache) return Addr(s->resourceCache);
    return 0;
}

// A resource that left the application's database also leaves the resource cache: its
// translation would otherwise still be found.
void DropCachedTranslation(const EmulState* s, uint32_t type, uint16_t id) {
    const uint32_t cache = ResourceCache(s);
    const uint32_t translated = TranslatedResourceType(type);
    if (!cache || translated == type) return;
    const uint16_t index = sys::DmFindResource(cache, translated, id, nullptr);
    if (index == 0xFFFF) return;
    uint32_t cacheID = 0;
    sys::DmOpenDatabaseIdentity(cache, &cacheID, nullptr, nullptr);
    const uint32_t writable = sys::DmOpenDatabaseByID(cacheID, kModeReadWrite);
    if (!writable) return;
    sys::DmRemoveResourceByIndex(writable, index);
    sys::DmCloseDatabase(writable);
}

void TrapDmDetachResource(EmulState* s, uint16_t) {
    const uint32_t db = GetArgUInt32(s, 0);
    const uint16_t index = U16(s, 4);
    uint32_t type = 0;
    uint16_t id = 0;
    sys::DmResourceInfo(db, index, &type, &id, nullptr);
    InOut32 old(GetArgPtr(s, 6));
    const uint16_t err =
        SysCall<uint16_t(uint32_t, uint16_t, uint32_t*)>(slot::DmDetachResource, db, index, old.Native());
    if (err == 0) DropCachedTranslation(s, type, id);
    old.WriteBack();
    Err(s, err);
}
void TrapDmRemoveResource(EmulState* s, uint16_t) {
    const uint32_t db = GetArgUInt32(s, 0);
    const uint16_t index = U16(s, 4);
    uint32_t type = 0;
    uint16_t id = 0;
    sys::DmResourceInfo(db, index, &type, &id, nullptr);
    const uint16_t err = sys::DmRemoveResourceByIndex(db, index);
    if (err == 0) DropCachedTranslation(s, type, id);
    Err(s, err);
}

// ---- sorts with a 68K compare function ----

// The compare function waits on the 68K stack, where the bridge finds it, for the native call.
template <typename Call>
void WithCompareFunction(EmulState* s, uint32_t compare, Call call) {
    s->A[7] -= 4;
    Write68KUInt32(s->A[7], 0, compare);
    const uint16_t result = call();
    s->A[7] += 4;
    Err(s, result);
}
// DmQuickSort and DmInsertionSort: (dbP, compare function, other).
template <uint16_t Slot>
void SortCall(EmulState* s, uint16_t) {
    const uint32_t db = GetArgUInt32(s, 0), compare = GetArgUInt32(s, 4);
    const int16_t other = static_cast<int16_t>(U16(s, 8));
    WithCompareFunction(s, compare, [&] {
        return SysCall<uint16_t(uint32_t, CompareProc, int16_t)>(Slot, db, &DmCompareBridge, other);
    });
}
void SortPositionCall(EmulState* s, uint32_t newRecordInfo, uint32_t compare, int16_t other) {
    const uint32_t db = GetArgUInt32(s, 0), newRecord = GetArgUInt32(s, 4);
    WithCompareFunction(s, compare, [&] {
        return SysCall<uint16_t(uint32_t, void*, void*, CompareProc, int16_t)>(
            slot::DmFindSortPosition, db, Ptr(newRecord), Ptr(newRecordInfo), &DmCompareBridge, other);
    });
}
void TrapDmFindSortPosition(EmulState* s, uint16_t) {
    SortPositionCall(s, GetArgUInt32(s, 8), GetArgUInt32(s, 12), static_cast<int16_t>(U16(s, 16)));
}
void TrapDmFindSortPositionV10(EmulState* s, uint16_t) {
    SortPositionCall(s, 0, GetArgUInt32(s, 8), static_cast<int16_t>(U16(s, 12)));
}

// ---- database lists ----

constexpr uint32_t kListEntrySize = 52;
constexpr uint32_t kNativeDbIDOffset = 44;

// 16-byte header (width 8, height 8, rowBytes 1), then the rows.
alignas(4) const uint8_t kQuestionMark[24] = {0, 8, 0, 8, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                              0x1C, 0x22, 0x02, 0x04, 0x08, 0x08, 0x00, 0x08};

uint32_t NativeWord(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Builds the 68K list from the OS's list; true when the 68K list was made.
bool DatabaseListCall(uint32_t type, uint32_t creator, uint32_t countP, uint32_t handleP, uint8_t lookupName) {
    uint16_t count = 0;
    Handle native = nullptr;
    const uint8_t found = SysCall<uint8_t(uint32_t, uint32_t, uint16_t*, Handle*, uint8_t)>(
        slot::SysCreateDataBaseList, type, creator, &count, &native, lookupName);
    Handle list = nullptr;
    if (found && native) {
        list = count ? sys::MemHandleNew(kListEntrySize * count) : nullptr;
        if (list) {
            auto* from = static_cast<const uint8_t*>(sys::MemHandleLock(native));
            auto* to = static_cast<uint8_t*>(sys::MemHandleLock(list));
            sys::MemSet(to, static_cast<int32_t>(kListEntrySize * count), 0);
            for (uint32_t i = 0; i < count; ++i, from += kListEntrySize, to += kListEntrySize) {
                const uint32_t at = Addr(to);
                // The name stays within its 32 bytes even when the OS's is not terminated.
                std::memcpy(to, from, strnlen(reinterpret_cast<const char*>(from), 31));
                Write68KUInt32(at, 32, NativeWord(from + 32));
                Write68KUInt32(at, 36, NativeWord(from + 36));
                uint16_t version;
                std::memcpy(&version, from + 40, 2);
                Write68KUInt16(at, 40, version);
                Write68KUInt32(at, 42, NativeWord(from + kNativeDbIDOffset));
                Write68KUInt32(at, 48, Addr(kQuestionMark));
            }
            sys::MemHandleUnlock(list);
            sys::MemHandleUnlock(native);
        }
        sys::MemHandleFree(native);
    }
    if (!list) count = 0;
    if (countP) Write68KUInt16(countP, 0, count);
    if (handleP) Write68KUInt32(handleP, 0, Addr(list));
    return list != nullptr;
}
void TrapSysCreateDataBaseList(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, DatabaseListCall(GetArgUInt32(s, 0), GetArgUInt32(s, 4), GetArgPtr(s, 8), GetArgPtr(s, 12),
                                         U8(s, 16)));
}
void TrapSysCreatePanelList(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, DatabaseListCall(vantor::FourCC("panl"), 0, GetArgPtr(s, 0), GetArgPtr(s, 4), 1));
}

}  // namespace

int16_t DmCompareBridge(void* rec1, void* rec2, int16_t other, void* rec1SortInfo, void* rec2SortInfo,
                        void* appInfoH) {
    EmulState* s = GetTaskContext();
    if (!s) return 0;
    const uint32_t compare = Read68KUInt32(s->A[7], 0);
    const uint32_t sp = s->A[7];
    Write68KUInt32(sp - 4, 0, Addr(appInfoH));
    Write68KUInt32(sp - 8, 0, Addr(rec2SortInfo));
    Write68KUInt32(sp - 12, 0, Addr(rec1SortInfo));
    Write68KUInt16(sp - 14, 0, static_cast<uint16_t>(other));
    Write68KUInt32(sp - 18, 0, Addr(rec2));
    Write68KUInt32(sp - 22, 0, Addr(rec1));
    Call68KCode(s, compare, kCompareArgBytes);
    return static_cast<int16_t>(s->D[0]);
}

const uint8_t* DatabaseListIcon() { return kQuestionMark; }

void DatabaseGlueInstall(TrapHandler* t) {
    t[0x041] = TrapDmCreateDatabase;
    t[0x042] = TrapDmDeleteDatabase;
    t[0x043] = TrapDmNumDatabases;
    t[0x044] = TrapDmGetDatabase;
    t[0x045] = TrapDmFindDatabase;
    t[0x046] = TrapDmDatabaseInfo;
    t[0x047] = TrapDmSetDatabaseInfo;
    t[0x048] = TrapDmDatabaseSize;
    t[0x049] = TrapDmOpenDatabase;
    t[0x04A] = Word16Of32<slot::DmCloseDatabase>;
    t[0x04B] = PointerOf32<slot::DmNextOpenDatabase>;
    t[0x04C] = TrapDmOpenDatabaseInfo;
    t[0x04D] = Word16Of32<slot::DmResetRecordStates>;
    t[0x04E] = TrapDmGetLastErr;
    t[0x04F] = Word16Of32<slot::DmNumRecords>;
    t[0x050] = TrapDmRecordInfo;
    t[0x051] = TrapDmSetRecordInfo;
    t[0x052] = TrapDmAttachRecord;
    t[0x053] = TrapDmDetachRecord;
    t[0x054] = TrapDmMoveRecord;
    t[0x055] = TrapDmNewRecord;
    t[0x056] = Word16OfRef16<slot::DmRemoveRecord>;
    t[0x057] = Word16OfRef16<slot::DmDeleteRecord>;
    t[0x058] = Word16OfRef16<slot::DmArchiveRecord>;
    t[0x059] = TrapDmNewHandle;
    t[0x05A] = Word16Of32<slot::DmRemoveSecretRecords>;
    t[0x05B] = PointerOfRef16<slot::DmQueryRecord>;
    t[0x05C] = PointerOfRef16<slot::DmGetRecord>;
    t[0x05D] = TrapDmResizeRecord;
    t[0x05E] = TrapDmReleaseRecord;
    t[0x05F] = ResourceByTypeAndID<slot::DmGetResource>;
    t[0x060] = ResourceByTypeAndID<slot::DmGet1Resource>;
    t[0x061] = Word16Of32<slot::DmReleaseResource>;
    t[0x062] = TrapDmResizeResource;
    t[0x063] = PointerOf32<slot::DmNextOpenResDatabase>;
    t[0x064] = TrapDmFindResourceType;
    t[0x065] = TrapDmFindResource;
    t[0x066] = TrapDmSearchResource;
    t[0x067] = Word16Of32<slot::DmNumResources>;
    t[0x068] = TrapDmResourceInfo;
    t[0x069] = TrapDmSetResourceInfo;
    t[0x06A] = TrapDmAttachResource;
    t[0x06B] = TrapDmDetachResource;
    t[0x06C] = TrapDmNewResource;
    t[0x06D] = TrapDmRemoveResource;
    t[0x06E] = PointerOfRef16<slot::DmGetResourceIndex>;
    t[0x06F] = SortCall<slot::DmQuickSort>;
    t[0x070] = TrapDmQueryNextInCategory;
    t[0x071] = Word16OfRef16<slot::DmNumRecordsInCategory>;
    t[0x072] = TrapDmPositionInCategory;
    t[0x073] = TrapDmSeekRecordInCategory;
    t[0x074] = TrapDmMoveCategory;
    t[0x075] = TrapDmOpenDatabaseByTypeCreator;
    t[0x076] = TrapDmWrite;
    t[0x077] = TrapDmStrCopy;
    t[0x078] = TrapDmGetNextDatabaseByTypeCreator;
    t[0x079] = TrapDmWriteCheck;
    t[0x07B] = TrapDmFindRecordByID;
    t[0x07C] = TrapDmGetAppInfoID;
    t[0x07D] = TrapDmFindSortPositionV10;
    t[0x07E] = TrapDmSet;
    t[0x07F] = TrapDmCreateDatabaseFromImage;
    t[0x2B2] = TrapDmSearchRecord;
    t[0x2B4] = SortCall<slot::DmInsertionSort>;
    t[0x2C7] = Word16OfRef16<slot::DmDeleteCategory>;
    t[0x2DB] = TrapSysCreateDataBaseList;
    t[0x2DC] = TrapSysCreatePanelList;
    t[0x2EB] = TrapDmDatabaseProtect;
    t[0x2F2] = TrapDmFindSortPosition;
    t[0x369] = TrapDmGetDatabaseLockState;
    t[0x3B0] = TrapDmOpenDBNoOverlay;
    t[0x40D] = TrapDmFindDatabaseWithTypeCreator;
}

}  // namespace morvel
