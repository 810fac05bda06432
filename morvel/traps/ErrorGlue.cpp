#include "morvel/traps/ErrorGlue.h"

#include "common/BigEndian.h"
#include "common/module/SystemCalls.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/traps/MorvelError.h"

namespace morvel {
namespace {

constexpr uint32_t kNodeBuffer = 4, kNodeError = 52;

uint32_t ListHead(const EmulState* s) { return vantor::ReadBE32(&s->exceptionList); }

// Depth (0 = oldest node) of the node whose buffer is `buffer`, or -1.
int FindBuffer(const EmulState* s, uint32_t buffer) {
    int index = -1, count = 0;
    for (uint32_t node = ListHead(s); node && count < 4096; node = Read68KUInt32(node, 0), ++count)
        if (node + kNodeBuffer == buffer) index = count;
    return index < 0 ? -1 : count - 1 - index;
}

void PushFrame(EmulState* s) {
    auto* f = static_cast<TryFrame*>(vantor::sys::MemPtrNew(sizeof(TryFrame)));
    if (!f) return;
    *f = TryFrame{s->tryFrames, nullptr, 0, 0};
    s->tryFrames = f;
    ++s->tryCount;
}
void PopFrame(EmulState* s) {
    TryFrame* f = s->tryFrames;
    s->tryFrames = f->below;
    --s->tryCount;
    vantor::sys::MemChunkFree(f);
}

void TrapErrSetJump(EmulState* s, uint16_t) {
    uint32_t buffer = GetArgPtr(s, 0);
    int depth = s->directError ? -1 : FindBuffer(s, buffer);
    TryFrame* frame = nullptr;
    if (depth >= 0) {
        uint32_t want = static_cast<uint32_t>(depth) + 1;
        while (s->tryCount > want) PopFrame(s);
        while (s->tryCount < want) {
            uint32_t before = s->tryCount;
            PushFrame(s);
            if (s->tryCount == before) {
                SetResultD0UInt16(s, 1);
                return;
            }
        }
        frame = s->tryFrames;
    }
    for (int i = 0; i < 5; ++i) Write68KUInt32(buffer, i * 4u, s->D[3 + i]);
    Write68KUInt32(buffer, 20, s->PC);
    Write68KUInt32(buffer, 24, frame ? static_cast<uint32_t>(reinterpret_cast<uintptr_t>(frame)) : s->A[2]);
    for (int i = 0; i < 5; ++i) Write68KUInt32(buffer, 28 + i * 4u, s->A[3 + i]);
    SetResultD0UInt32(s, 0);
    if (frame) {
        frame->savedA2 = s->A[2];
        s->flags |= kFlagRearmTry;
    }
}

void TrapErrLongJump(EmulState* s, uint16_t) {
    uint32_t buffer = GetArgPtr(s, 0);
    int16_t result = static_cast<int16_t>(GetArgUInt16(s, 4));
    if (result == 0) {
        ErrDisplayFileLineMsg("MorvelError", 140, "Zero result passed to PrvErrLongJump");
        result = 1;
    }
    PrvErrLongJump(s, buffer, result);
}

void TrapErrThrow(EmulState* s, uint16_t) {
    uint32_t error = static_cast<uint16_t>(GetArgUInt16(s, 0));
    uint32_t node = ListHead(s);
    if (!node) {
        vantor::sys::ErrDisplayFileLineMsg("MorvelError", 171, "ErrThrow called without a pending ErrTry");
        return;
    }
    Write68KUInt32(node, kNodeError, error);
    PrvErrLongJump(s, node + kNodeBuffer, 1);
}

void TrapErrExceptionList(EmulState* s, uint16_t) {
    SetResultA0(s, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&s->exceptionList)));
}

const char* Text(uint32_t p) { return reinterpret_cast<const char*>(static_cast<uintptr_t>(p)); }

void TrapErrDisplayFileLineMsg(EmulState* s, uint16_t) {
    const char* file = Text(GetArgPtr(s, 0));
    auto line = static_cast<uint16_t>(GetArgUInt16(s, 4));
    const char* message = Text(GetArgPtr(s, 6));
    if (s->directError) vantor::sys::ErrDisplayFileLineMsg(file ? file : "", line, message ? message : "");
    else ErrDisplayFileLineMsg(file, line, message);
}

void TrapErrAlertCustom(EmulState* s, uint16_t) {
    auto code = static_cast<uint16_t>(GetArgUInt16(s, 0));
    SetResultD0UInt16(s, vantor::sys::ErrAlertCustom(code, Text(GetArgPtr(s, 2)), Text(GetArgPtr(s, 6)),
                                                     Text(GetArgPtr(s, 10))));
}

}  // namespace

void PrvErrLongJump(EmulState* s, uint32_t buffer, int16_t result) {
    bool inList = !s->directError && FindBuffer(s, buffer) >= 0;
    for (int i = 0; i < 5; ++i) s->D[3 + i] = Read68KUInt32(buffer, i * 4u);
    s->PC = Read68KUInt32(buffer, 20);
    s->A[2] = Read68KUInt32(buffer, 24);
    for (int i = 0; i < 5; ++i) s->A[3 + i] = Read68KUInt32(buffer, 28 + i * 4u);
    s->D[0] = static_cast<uint16_t>(result);
    if (!inList) return;
    // The A2 slot names the native frame; only a frame of this context is trusted.
    TryFrame* frame = nullptr;
    for (TryFrame* f = s->tryFrames; f; f = f->below)
        if (static_cast<uint32_t>(reinterpret_cast<uintptr_t>(f)) == s->A[2]) frame = f;
    if (!frame) return;
    s->A[2] = frame->savedA2;
    for (RunFrame* r = s->jumpChain; r; r = r->prev)
        if (r == frame->run && r->depth == frame->depth) throw RunUnwind{r, 0, true};
    // The run that set the jump point has ended: go on in the current run from the buffer.
}

void TryFrameRearm(EmulState* s) {
    if (!s->tryFrames) return;
    s->tryFrames->run = s->jumpChain;
    s->tryFrames->depth = s->runDepth;
}

void TryFramesFree(EmulState* s) {
    while (s->tryFrames) PopFrame(s);
}

void ErrorGlueInstall(TrapHandler* t) {
    t[0x084] = TrapErrDisplayFileLineMsg;
    t[0x085] = TrapErrSetJump;
    t[0x086] = TrapErrLongJump;
    t[0x087] = TrapErrThrow;
    t[0x088] = TrapErrExceptionList;
    t[0x365] = TrapErrAlertCustom;
}

}  // namespace morvel
