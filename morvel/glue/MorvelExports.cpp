// The export table: 58 slots through which other modules read and write the arguments, memory and
// results of 68K callers, call 68K code and reach 68K libraries. Each slot is a thin wrapper of a
// routine of the environment, with the signature of common/module/A68kCalls.h.
#include "morvel/glue/MorvelExports.h"

#include <type_traits>
#include <vector>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/A68kCalls.h"
#include "common/module/A68kSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/ExgSocket.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/launch/AppLaunch.h"
#include "morvel/nub/DebuggerNub.h"
#include "common/module/UiSlots.h"
#include "morvel/directcall/DirectCall.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/CommsGlue.h"
#include "morvel/traps/EventGlue.h"
#include "morvel/traps/FormGlue.h"
#include "morvel/traps/ResourceTranslate.h"
#include "morvel/traps/StringGlue.h"
#include "morvel/traps/Libraries.h"
#include "morvel/traps/Thunks.h"
#include "morvel/traps/TrapTable.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {

using trapglue::Addr;
namespace {

EmulState* S(void* context) { return static_cast<EmulState*>(context); }
uint32_t Arg(void* c, uint16_t offset) { return S(c)->A[7] + offset; }

int32_t XGetArgInt8(void* c, uint16_t o) { return GetArgInt8(S(c), o); }
int32_t XGetArgInt16(void* c, uint16_t o) { return GetArgUInt16(S(c), o); }
uint32_t XGetArgUInt32(void* c, uint16_t o) { return GetArgUInt32(S(c), o); }
uint16_t XRecordToNativeAtArg(void* c, uint16_t o, void* native, const uint8_t* layout) {
    return RecordToNative(native, Arg(c, o), layout);
}
// A printf-style format's 68K arguments as 32-bit native entries, one per value; a block too small
// for every entry the format may take is left alone (0x0502).
uint16_t XConvertFormatArgs(void*, uint32_t args68K, const char* format, uint32_t* block, uint32_t blockSize) {
    if (!format || !block) return 0x0502;
    if (FormatArgEntries(format) > blockSize / 4) return 0x0502;
    StrVPrintFImpl(format, args68K, block);
    return 0;
}
uint16_t XConvertFormatArgsAtArg(void* c, uint16_t o, const char* format, uint32_t* block, uint32_t blockSize) {
    return XConvertFormatArgs(c, Arg(c, o), format, block, blockSize);
}
void XSetArgInt8(void* c, int32_t o, int8_t v) { SetArgInt8(S(c), static_cast<uint32_t>(o), v); }
void XSetArgInt16(void* c, int32_t o, uint16_t v) { SetArgUInt16(S(c), static_cast<uint32_t>(o), v); }
void XSetArgUInt32(void* c, int32_t o, uint32_t v) { SetArgUInt32(S(c), static_cast<uint32_t>(o), v); }
uint16_t XRecordTo68KAtArg(void* c, uint16_t o, const void* native, const uint8_t* layout) {
    return RecordTo68K(native, Arg(c, o), layout);
}
int32_t XReadInt8(void*, uint32_t p, uint32_t o) { return static_cast<int8_t>(Read68KInt8(p, o)); }
int32_t XReadInt16(void*, uint32_t p, uint32_t o) { return static_cast<int16_t>(Read68KUInt16(p, o)); }
uint32_t XReadUInt32(void*, uint32_t p, uint32_t o) { return Read68KUInt32(p, o); }
uint16_t XRecordToNative(void*, void* native, uint32_t p, const uint8_t* layout) {
    return RecordToNative(native, p, layout);
}
void XWriteInt8(void*, uint32_t p, uint32_t o, int8_t v) { Write68KInt8(p, o, static_cast<uint8_t>(v)); }
void XWriteInt16(void*, uint32_t p, uint32_t o, uint16_t v) { Write68KUInt16(p, o, v); }
void XWriteUInt32(void*, uint32_t p, uint32_t o, uint32_t v) { Write68KUInt32(p, o, v); }
uint16_t XRecordTo68K(void*, const void* native, uint32_t p, const uint8_t* layout) {
    return RecordTo68K(native, p, layout);
}
void XSetResultInt8(void* c, uint32_t v) { SetResultD0UInt8(S(c), static_cast<uint8_t>(v)); }
void XSetResultInt16(void* c, uint32_t v) { SetResultD0UInt16(S(c), static_cast<uint16_t>(v)); }
void XSetResultUInt32(void* c, uint32_t v) { SetResultD0UInt32(S(c), v); }
void XSetResultPtr(void* c, uint32_t p) { SetResultA0(S(c), p); }
int32_t XGetResultInt8(void* c) { return GetResultD0Int8(S(c)); }
int32_t XGetResultInt16(void* c) { return GetResultD0Int16(S(c)); }
uint32_t XGetResultUInt32(void* c) { return GetResultD0UInt32(S(c)); }
uint32_t XGetResultPtr(void* c) { return GetResultA0(S(c)); }
void XConvertBitfield16(void*, uint16_t* word, const uint8_t* widths) { ConvertBitfield16(word, widths); }
void* XGetCurrentContext() { return GetCurrentContext(); }
void* XGetGlobalContext() {
    uint32_t value = 0;
    return vantor::sys::FtrGet(vantor::FourCC("a68k"), 0, &value) == 0
               ? reinterpret_cast<void*>(static_cast<uintptr_t>(value))
               : nullptr;
}
uint16_t XCall68K(void* c, uint32_t address, uint32_t argBytes) { return Call68KCode(S(c), address, argBytes); }
uint32_t XCallLibEntry(void* c, uint16_t refNum, uint16_t trap, uint32_t argBytes) {
    return LibCallEntry(S(c), refNum, trap, argBytes);
}
uint16_t XLibFind(void* c, const char* name, uint16_t* refNum) {
    uint16_t ref;
    uint16_t err = LibFind(S(c), name, &ref);
    if (refNum) *refNum = ref;
    return err;
}
uint16_t XLibLoad(void* c, uint32_t type, uint32_t creator, uint16_t* refNum) {
    uint16_t ref;
    uint16_t err = LibLoad68K(S(c), type, creator, &ref);
    if (refNum) *refNum = ref;
    return err;
}
uint16_t XLibInstall(void* c, vantor::A68kLibEntry install, uint16_t* refNum) {
    uint16_t ref;
    uint16_t err = LibInstallEntry(S(c), Addr(reinterpret_cast<const void*>(install)), true, &ref);
    if (refNum) *refNum = ref;
    return err;
}
uint16_t XLibRemove(void* c, uint16_t refNum) { return LibRemove(S(c), refNum); }
uint32_t XLibGetGlobals(void* c, uint16_t refNum) {
    const vantor::A68kLibTableEntry* e = LibTableEntry(S(c), refNum);
    if (!e) return 0xFFFFFFFFu;
    // A 68K library keeps its globals word big-endian.
    return e->moduleRef == vantor::kA68kLibKind68K ? vantor::ReadBE32(&e->globals) : e->globals;
}
uint32_t XNativeThunkNew(void* c, void* function, uint32_t withArgument, uint32_t argument) {
    return NativeThunkNew(S(c), Addr(function), withArgument != 0, argument);
}
void XNativeThunkRelease(void* c, void* function) { NativeThunkRelease(S(c), Addr(function)); }
uint32_t XNativeThunkGetInfo(void* c, uint32_t address, void** function, uint32_t* argument) {
    uint32_t f = 0;
    uint32_t kind = NativeThunkGetInfo(S(c), address, &f, argument);
    if (function) *function = reinterpret_cast<void*>(static_cast<uintptr_t>(f));
    return kind;
}
uint16_t XGetTrapAddress(void* c, uint16_t index, void** handler) {
    TrapHandler h = nullptr;
    uint16_t err = A68kGetTrapAddress(S(c), index, &h);
    if (!err && handler) *handler = reinterpret_cast<void*>(h);
    return err;
}
uint16_t XSetTrapAddress(void* c, uint16_t index, void* handler) {
    return A68kSetTrapAddress(S(c), index, reinterpret_cast<TrapHandler>(handler));
}
// Breaks into the calling task's application; nothing happens without one.
void XDbgBreak() {
    EmulState* s = GetTaskContext();
    if (s && s != GetGlobalContext()) MorvelEnterNub(s, kNubVectorBreak);
}
// Starts the console task on the console port once; its arguments name nothing more.
uint16_t XLaunchConsole(const void*) { return ConsoleLaunch(); }
// A native form is gone: its 68K shadow and its native event-handler entry go with it.
void XFormDeleted(void* form) {
    if (!form) return;
    FormShadowForget(GetCurrentContext(), form);
    directcall::LumetRemoveFormHandler(UiImport().Call<uint16_t(void*)>(vantor::uislot::FrmGetFormId, form));
}
// A 68K resource image of the given type in native layout, in a chunk of the OS heap that the
// caller frees (MemChunkFree); 0x0219 for a type without translation, and no chunk on any error.
uint16_t XTranslateResource(void*, uint32_t type68K, const void* image, uint32_t size, void** native,
                            uint32_t* nativeSize) {
    if (!native || !nativeSize) return kRsrcErrParam;
    *native = nullptr;
    *nativeSize = 0;
    std::vector<uint8_t> translated;
    if (uint16_t err = RsrcTranslateImage(type68K, static_cast<const uint8_t*>(image), size, &translated)) return err;
    void* chunk = vantor::sys::MemPtrNew(static_cast<uint32_t>(translated.size() ? translated.size() : 1));
    if (!chunk) return kRsrcErrNoMemory;
    if (!translated.empty()) __builtin_memcpy(chunk, translated.data(), translated.size());
    *native = chunk;
    *nativeSize = static_cast<uint32_t>(translated.size());
    return 0;
}
uint32_t XIsRunning() {
    EmulState* s = GetCurrentContext();
    return s && s->PC != 0 ? 1 : 0;
}
void* XRequestStop() {
    EmulState* s = GetCurrentContext();
    if (s && s != GetGlobalContext()) s->flags |= kFlagStopRequest;
    return s;
}
void XSleepNotify(const void* notification) {
    EmulState* s = GetCurrentContext();
    if (!s || !notification) return;
    uint32_t type;
    __builtin_memcpy(&type, notification, sizeof type);
    LibSleepWake(s, type == vantor::FourCC("slp!"));
}
void XExgSocketToNative(void*, void* native, uint32_t socket68K) {
    ExgSocketToNative(reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(socket68K)), static_cast<uint8_t*>(native));
}
void XExgSocketTo68K(void*, const void* native, uint32_t socket68K) {
    ExgSocketTo68K(static_cast<const uint8_t*>(native), reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(socket68K)));
}
void XEventToNative(void* c, vantor::SysEventType* native, uint32_t event68K) { EventToARM(S(c), native, event68K); }
void XEventTo68K(void* c, const vantor::SysEventType* native, uint32_t event68K) { EventTo68K(S(c), native, event68K); }
uint16_t XContextNew(const void* taskArguments, void** context) {
    EmulState* s = nullptr;
    uint16_t err = A68kContextNew(taskArguments, &s);
    if (context) *context = s;
    return err;
}
uint16_t XContextDelete(void* c) { return A68kContextDelete(S(c)); }
uint32_t XGetArgPtr(void* c, uint16_t o) { return GetArgPtr(S(c), o); }
uint16_t XSetCurrentContext(void* c) {
    SetCurrentContext(S(c));
    return 0;
}

struct ExportTable {
    vantor::ModuleProc slots[vantor::kA68kSlotCount] = {};
    template <typename Sig>
    void Put(uint16_t slot, Sig* function) {
        slots[slot] = reinterpret_cast<vantor::ModuleProc>(function);
    }
    ExportTable() {
#define PUT(name, function)                                                                       \
    static_assert(std::is_same_v<decltype(function), vantor::a68ksig::name>, #name);              \
    Put(vantor::a68kslot::name, &function);
        PUT(EmulatorOpen, EmulatorOpen)
        PUT(A68kGetArgInt8, XGetArgInt8)
        PUT(A68kGetArgInt16, XGetArgInt16)
        PUT(A68kGetArgUInt32, XGetArgUInt32)
        PUT(A68kConvertFormatArgsAtArg, XConvertFormatArgsAtArg)
        PUT(A68kRecordToNativeAtArg, XRecordToNativeAtArg)
        PUT(A68kSetArgInt8, XSetArgInt8)
        PUT(A68kSetArgInt16, XSetArgInt16)
        PUT(A68kSetArgUInt32, XSetArgUInt32)
        PUT(A68kRecordTo68KAtArg, XRecordTo68KAtArg)
        PUT(A68kReadInt8, XReadInt8)
        PUT(A68kReadInt16, XReadInt16)
        PUT(A68kReadUInt32, XReadUInt32)
        PUT(A68kConvertFormatArgs, XConvertFormatArgs)
        PUT(A68kRecordToNative, XRecordToNative)
        PUT(A68kWriteInt8, XWriteInt8)
        PUT(A68kWriteInt16, XWriteInt16)
        PUT(A68kWriteUInt32, XWriteUInt32)
        PUT(A68kRecordTo68K, XRecordTo68K)
        PUT(A68kSetResultInt8, XSetResultInt8)
        PUT(A68kSetResultInt16, XSetResultInt16)
        PUT(A68kSetResultUInt32, XSetResultUInt32)
        PUT(A68kSetResultPtr, XSetResultPtr)
        PUT(A68kGetResultInt8, XGetResultInt8)
        PUT(A68kGetResultInt16, XGetResultInt16)
        PUT(A68kGetResultUInt32, XGetResultUInt32)
        PUT(A68kGetResultPtr, XGetResultPtr)
        PUT(A68kConvertBitfield16, XConvertBitfield16)
        PUT(A68kGetCurrentContext, XGetCurrentContext)
        PUT(A68kGetGlobalContext, XGetGlobalContext)
        PUT(A68kCall68K, XCall68K)
        PUT(A68kCallLibEntry, XCallLibEntry)
        PUT(A68kLibFind, XLibFind)
        PUT(A68kLibLoad, XLibLoad)
        PUT(A68kLibInstall, XLibInstall)
        PUT(A68kLibRemove, XLibRemove)
        PUT(A68kLibGetGlobals, XLibGetGlobals)
        PUT(A68kExgSocketToNative, XExgSocketToNative)
        PUT(A68kExgSocketTo68K, XExgSocketTo68K)
        PUT(A68kEventToNative, XEventToNative)
        PUT(A68kEventTo68K, XEventTo68K)
        PUT(A68kNativeThunkNew, XNativeThunkNew)
        PUT(A68kNativeThunkRelease, XNativeThunkRelease)
        PUT(A68kNativeThunkGetInfo, XNativeThunkGetInfo)
        PUT(A68kGetTrapAddress, XGetTrapAddress)
        PUT(A68kSetTrapAddress, XSetTrapAddress)
        PUT(A68kDbgBreak, XDbgBreak)
        PUT(A68kLaunchConsole, XLaunchConsole)
        PUT(A68kFormDeleted, XFormDeleted)
        PUT(A68kIsRunning, XIsRunning)
        PUT(A68kRequestStop, XRequestStop)
        PUT(A68kTranslateResource, XTranslateResource)
        PUT(A68kSleepNotify, XSleepNotify)
        PUT(A68kGetArgPtr, XGetArgPtr)
        PUT(A68kGetArgPtr2, XGetArgPtr)
        PUT(A68kContextNew, XContextNew)
        PUT(A68kContextDelete, XContextDelete)
        PUT(A68kSetCurrentContext, XSetCurrentContext)
#undef PUT
    }
};

}  // namespace

vantor::ModuleProc* MorvelExportTable() {
    static ExportTable table;
    return table.slots;
}

}  // namespace morvel
