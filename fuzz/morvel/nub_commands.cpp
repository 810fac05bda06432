// Debugger packets reaching the nub while a context is stopped. Input: the packet body (up to the
// nub's 272-byte buffer). Memory writes and remote trap calls are left out: they do what the
// debugger asks anywhere in memory. Reads, finds and routine lookups see the stand-in's heaps.
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"
#include "morvel/cpu/EmulState.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/nub/DebuggerNub.h"
#include "standin/os/StandinOs.h"

namespace {

vantor::KezMemoryAreas gNoAreas{0, nullptr};
vantor::KezMemoryAreas* GetAreas() { return &gNoAreas; }
uint32_t AreaSize(uint32_t address, uint8_t) {
    return vantor::os::HeapAreaSize(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)));
}
uint8_t IsProtected() { return 1; }
void Nothing(uint32_t) {}

morvel::EmulState* Setup() {
    vantor::glue::SetSystemTable(vantor::os::SystemTable());
    static std::vector<vantor::ModuleProc> kez(vantor::kKezSlots, nullptr);
    kez[vantor::kezslot::HALMemoryGetAreas] = reinterpret_cast<vantor::ModuleProc>(&GetAreas);
    kez[vantor::kezslot::HALMemoryGetAreaSize] = reinterpret_cast<vantor::ModuleProc>(&AreaSize);
    kez[vantor::kezslot::HALMemoryIsProtected] = reinterpret_cast<vantor::ModuleProc>(&IsProtected);
    kez[vantor::kezslot::KALNullEntry151] = reinterpret_cast<vantor::ModuleProc>(&Nothing);
    vantor::os::RegisterTable(vantor::kKezType, vantor::kKezCreator, kez.data(), vantor::kKezSlots);
    vantor::os::CaptureOutput(true);
    static morvel::EmulState state{};
    static std::vector<uint8_t> stack(4096);
    state.global = &state;
    state.A[7] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(stack.data() + stack.size() - 64));
    auto* code = static_cast<uint8_t*>(vantor::sys::MemPtrNew(64));
    std::memset(code, 0x4E, 64);
    state.PC = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(code + 8));
    morvel::SetGlobalContext(&state);
    morvel::PrvVerifyDbgGlobals(&state);
    return &state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static morvel::EmulState* s = Setup();
    if (size == 0 || size > morvel::kNubBufferSize) return 0;
    if (data[0] == 2 || data[0] == 10) return 0;
    auto* n = static_cast<morvel::NubState*>(s->nub);
    std::memset(n->buffer, 0, morvel::kNubBufferSize);
    std::memcpy(n->buffer, data, size);
    vantor::SlkPktHeaderType header{};
    header.bodySize = static_cast<uint16_t>(size);
    uint32_t pc = s->PC, a7 = s->A[7];
    morvel::PrvHandleCommands68K(s, &header, n->buffer);
    s->PC = pc;  // the next input starts from the same stop
    s->A[7] = a7;
    for (auto& b : n->bp) b.installed = 0;
    vantor::os::ClearCalls();
    return 0;
}
