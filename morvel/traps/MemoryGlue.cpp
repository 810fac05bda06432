#include "morvel/traps/MemoryGlue.h"

#include "common/module/SystemCalls.h"
#include "morvel/glue/MorvelCommon.h"

namespace morvel {
namespace {

void* Ptr(uint32_t v) { return reinterpret_cast<void*>(static_cast<uintptr_t>(v)); }
uint32_t Addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

void TrapMemChunkFree(EmulState* s, uint16_t) { SetResultD0UInt16(s, vantor::sys::MemChunkFree(Ptr(GetArgPtr(s, 0)))); }
void TrapMemPtrNew(EmulState* s, uint16_t) { SetResultA0(s, Addr(vantor::sys::MemPtrNew(GetArgUInt32(s, 0)))); }
void TrapMemPtrSize(EmulState* s, uint16_t) { SetResultD0UInt32(s, vantor::sys::MemPtrSize(Ptr(GetArgPtr(s, 0)))); }
void TrapMemHandleNew(EmulState* s, uint16_t) { SetResultA0(s, Addr(vantor::sys::MemHandleNew(GetArgUInt32(s, 0)))); }
void TrapMemHandleLock(EmulState* s, uint16_t) { SetResultA0(s, Addr(vantor::sys::MemHandleLock(Ptr(GetArgPtr(s, 0))))); }
void TrapMemHandleUnlock(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, vantor::sys::MemHandleUnlock(Ptr(GetArgPtr(s, 0))));
}
void TrapMemHandleFree(EmulState* s, uint16_t) { SetResultD0UInt16(s, vantor::sys::MemHandleFree(Ptr(GetArgPtr(s, 0)))); }
void TrapMemHandleSize(EmulState* s, uint16_t) {
    SetResultD0UInt32(s, vantor::sys::MemHandleSize(Ptr(GetArgPtr(s, 0))));
}
void TrapMemMove(EmulState* s, uint16_t) {
    int32_t n = static_cast<int32_t>(GetArgUInt32(s, 8));
    SetResultD0UInt16(s, n == 0 ? 0 : vantor::sys::MemMove(Ptr(GetArgPtr(s, 0)), Ptr(GetArgPtr(s, 4)), n));
}
void TrapMemSet(EmulState* s, uint16_t) {
    int32_t n = static_cast<int32_t>(GetArgUInt32(s, 4));
    SetResultD0UInt16(s, n == 0 ? 0 : vantor::sys::MemSet(Ptr(GetArgPtr(s, 0)), n, static_cast<uint8_t>(GetArgInt8(s, 8))));
}

}  // namespace

void MemoryGlueInstall(TrapHandler* t) {
    t[0x012] = TrapMemChunkFree;
    t[0x013] = TrapMemPtrNew;
    t[0x016] = TrapMemPtrSize;
    t[0x01E] = TrapMemHandleNew;
    t[0x021] = TrapMemHandleLock;
    t[0x022] = TrapMemHandleUnlock;
    t[0x02B] = TrapMemHandleFree;
    t[0x02D] = TrapMemHandleSize;
    t[0x026] = TrapMemMove;
    t[0x027] = TrapMemSet;
}

}  // namespace morvel
