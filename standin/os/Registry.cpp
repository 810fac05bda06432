// The tables of the stand-in OS, the call log, scripted answers and the unexpected-call report.
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "common/module/CardSlotSlots.h"
#include "common/module/HostControlSlots.h"
#include "common/module/SystemSlots.h"
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

struct LibraryInfo {
    const char* name;
    uint16_t slots;
    const char* (*slotName)(uint16_t);
};
constexpr LibraryInfo kLibraries[kLibraryCount] = {
    {"system", kSystemSlotCount, SystemSlotName},
    {"UI", kUiSlotCount, UiSlotName},
    {"host-control", kHostControlSlotCount, HostControlSlotName},
    {"card-slot", kCardSlotSlotCount, CardSlotSlotName},
    {"zdim", 24, nullptr},
};

struct SlotState {
    ModuleProc generic = nullptr;
    ModuleProc builtin = nullptr;
    bool scripted = false;
    uint32_t result = 0;
    std::function<uint32_t(const SlotCall&)> callback;
};

void DefaultUnexpected(const SlotCall& call) {
    std::fprintf(stderr, "standin/os: unexpected call: %s\n", Describe(call).c_str());
    std::fflush(stderr);
    std::abort();
}

uint32_t Dispatch(Library library, uint16_t slot, const uint32_t (&args)[10]);

// One entry per library and slot, so that the entry knows which slot was called. The caller's
// argument words are read as the i386 calling convention lays them out on the stack.
template <int L, int N>
uint32_t GenericEntry(uint32_t a0, uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4, uint32_t a5,
                      uint32_t a6, uint32_t a7, uint32_t a8, uint32_t a9) {
    const uint32_t args[10] = {a0, a1, a2, a3, a4, a5, a6, a7, a8, a9};
    return Dispatch(static_cast<Library>(L), N, args);
}

template <int L, size_t... N>
void FillGeneric(std::vector<SlotState>& slots, std::index_sequence<N...>) {
    ((slots[N].generic = reinterpret_cast<ModuleProc>(&GenericEntry<L, N>)), ...);
}

class Registry {
public:
    Registry() {
        FillGeneric<0>(Resize(0), std::make_index_sequence<kSystemSlotCount>());
        FillGeneric<1>(Resize(1), std::make_index_sequence<kUiSlotCount>());
        FillGeneric<2>(Resize(2), std::make_index_sequence<kHostControlSlotCount>());
        FillGeneric<3>(Resize(3), std::make_index_sequence<kCardSlotSlotCount>());
        FillGeneric<4>(Resize(4), std::make_index_sequence<24>());
        for (int l = 0; l < kLibraryCount; ++l)
            for (size_t s = 0; s < slots_[l].size(); ++s) tables_[l][s] = slots_[l][s].generic;
    }

    std::mutex mutex;
    std::vector<SlotState> slots_[kLibraryCount];
    std::vector<ModuleProc> tables_[kLibraryCount];
    std::vector<SlotCall> log;
    std::function<void(const SlotCall&)> unexpected = DefaultUnexpected;

private:
    std::vector<SlotState>& Resize(int l) {
        slots_[l].resize(kLibraries[l].slots);
        tables_[l].resize(kLibraries[l].slots);
        return slots_[l];
    }
};

Registry& R() {
    static Registry registry;
    return registry;
}

bool Valid(Library library, uint16_t slot) {
    auto l = static_cast<int>(library);
    return l >= 0 && l < kLibraryCount && slot < kLibraries[l].slots;
}

uint32_t Dispatch(Library library, uint16_t slot, const uint32_t (&args)[10]) {
    SlotCall call{library, slot, {}};
    std::copy(std::begin(args), std::end(args), call.args);
    std::function<uint32_t(const SlotCall&)> callback;
    std::function<void(const SlotCall&)> unexpected;
    bool scripted;
    uint32_t result;
    {
        auto& r = R();
        std::lock_guard lock(r.mutex);
        r.log.push_back(call);
        const SlotState& state = r.slots_[static_cast<int>(library)][slot];
        callback = state.callback;
        scripted = state.scripted;
        result = state.result;
        if (!callback && !scripted) unexpected = r.unexpected;
    }
    if (callback) return callback(call);
    if (scripted) return result;
    unexpected(call);
    return 0;
}

}  // namespace

bool RegisterBuiltin(Library library, uint16_t slot, ModuleProc entry) {
    if (!Valid(library, slot)) return false;
    auto& r = R();
    std::lock_guard lock(r.mutex);
    auto l = static_cast<int>(library);
    r.slots_[l][slot].builtin = entry;
    r.tables_[l][slot] = entry;
    return true;
}

SystemDispatchTable SystemTable() { return R().tables_[0].data(); }
ModuleProc* LibraryTable(Library library) { return R().tables_[static_cast<int>(library)].data(); }
uint16_t LibrarySlotCount(Library library) { return kLibraries[static_cast<int>(library)].slots; }
const char* LibraryName(Library library) { return kLibraries[static_cast<int>(library)].name; }

std::string Describe(const SlotCall& call) {
    const LibraryInfo& lib = kLibraries[static_cast<int>(call.library)];
    const char* name = lib.slotName ? lib.slotName(call.slot) : nullptr;
    char text[256];
    int n = std::snprintf(text, sizeof text, "%s slot %u (%s), argument words", lib.name, call.slot,
                          name ? name : "unnamed");
    for (int i = 0; i < 4 && n > 0 && n < static_cast<int>(sizeof text); ++i)
        n += std::snprintf(text + n, sizeof text - n, " 0x%08X", call.args[i]);
    return text;
}

void ScriptResult(Library library, uint16_t slot, uint32_t result) {
    if (!Valid(library, slot)) return;
    auto& r = R();
    std::lock_guard lock(r.mutex);
    auto l = static_cast<int>(library);
    SlotState& state = r.slots_[l][slot];
    state.scripted = true;
    state.result = result;
    r.tables_[l][slot] = state.generic;
}

void OnCall(Library library, uint16_t slot, std::function<uint32_t(const SlotCall&)> callback) {
    if (!Valid(library, slot)) return;
    auto& r = R();
    std::lock_guard lock(r.mutex);
    auto l = static_cast<int>(library);
    SlotState& state = r.slots_[l][slot];
    state.callback = std::move(callback);
    r.tables_[l][slot] = state.generic;
}

void InstallEntry(Library library, uint16_t slot, ModuleProc entry) {
    if (!Valid(library, slot)) return;
    auto& r = R();
    std::lock_guard lock(r.mutex);
    r.tables_[static_cast<int>(library)][slot] = entry;
}

std::vector<SlotCall> Calls() {
    auto& r = R();
    std::lock_guard lock(r.mutex);
    return r.log;
}

std::vector<SlotCall> CallsOf(Library library, uint16_t slot) {
    std::vector<SlotCall> calls;
    for (const SlotCall& call : Calls())
        if (call.library == library && call.slot == slot) calls.push_back(call);
    return calls;
}

void ClearCalls() {
    auto& r = R();
    std::lock_guard lock(r.mutex);
    r.log.clear();
}

void SetUnexpectedCallHandler(std::function<void(const SlotCall&)> handler) {
    auto& r = R();
    std::lock_guard lock(r.mutex);
    r.unexpected = handler ? std::move(handler) : DefaultUnexpected;
}

// Resets the state of the other files of the stand-in.
void ResetTrace();
void ResetBinder();
void ResetFeatures();
void ResetEvents();
void ResetDatabases();
void ResetResources();
void ResetOsGlobals();
void ResetNotify();
void ResetCardSlots();
void ResetFileSystems();
void ResetHostVolumes();
void ResetClipboard();
void ResetAttention();
void SetCurrentAppDatabase(uint32_t id);

void Reset() {
    {
        auto& r = R();
        std::lock_guard lock(r.mutex);
        for (int l = 0; l < kLibraryCount; ++l) {
            for (size_t s = 0; s < r.slots_[l].size(); ++s) {
                SlotState& state = r.slots_[l][s];
                state.scripted = false;
                state.callback = nullptr;
                r.tables_[l][s] = state.builtin ? state.builtin : state.generic;
            }
        }
        r.log.clear();
        r.unexpected = DefaultUnexpected;
    }
    ResetTrace();
    ResetBinder();
    ResetFeatures();
    ResetEvents();
    ResetDatabases();
    ResetResources();
    ResetOsGlobals();
    ResetNotify();
    ResetCardSlots();
    ResetFileSystems();
    ResetHostVolumes();
    ResetClipboard();
    ResetAttention();
    SetCurrentAppDatabase(0);
}

}  // namespace vantor::os
