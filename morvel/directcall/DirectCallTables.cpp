// The three direct-call tables: every entry starts at the default shim (the reporter); the 211
// entries below get a shim that switches to the host stack and calls their OS entry.
#include <sys/mman.h>

#include <cstring>
#include <mutex>

#include "common/module/KezSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/UiSlots.h"
#include "morvel/directcall/DirectCall.h"
#include "morvel/glue/MorvelOs.h"

#if defined(__arm__)
extern "C" void LumetPlainShim();
extern "C" void LumetStackShim();
extern "C" void LumetDefaultShim();
#endif

namespace morvel::directcall {
namespace {

inline uint32_t Addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
template <typename F>
uint32_t FnAddr(F* f) {
    return Addr(reinterpret_cast<const void*>(f));
}

// How an entry reaches its target.
enum class Kind : uint8_t {
    Forward,  // the same slot of the table's library
    Narrow,   // the same, first argument reduced to 8 bits
    Direct,   // the OS entry itself, no shim
    Bridge,   // a routine of this module
};
struct Entry {
    uint16_t id;
    uint8_t stackWords;
    Kind kind = Kind::Forward;
    uint16_t slot = 0xFFFF;  // the library slot when it differs from id
};

constexpr Entry kSystem[] = {
    {20, 1}, {21, 0}, {23, 0}, {24, 0}, {25, 0}, {69, 0}, {70, 0}, {71, 0}, {72, 0}, {74, 1}, {75, 8},
    {76, 9}, {77, 0}, {82, 0}, {87, 0}, {88, 0}, {92, 0}, {102, 2}, {105, 0}, {106, 0}, {112, 0},
    {113, 0}, {114, 0}, {119, 0}, {121, 0}, {122, 0}, {123, 0}, {125, 2}, {126, 0}, {127, 0}, {132, 0},
    {134, 1}, {135, 0}, {136, 0}, {138, 0}, {147, 0}, {149, 9}, {152, 0}, {153, 0}, {158, 0}, {165, 0},
    {166, 0}, {168, 0}, {170, 0}, {171, 0}, {179, 0}, {182, 0}, {229, 0}, {230, 0}, {231, 0}, {233, 1},
    {235, 3}, {236, 0}, {237, 0}, {239, 1}, {248, 0}, {249, 0}, {250, 0}, {251, 0}, {253, 0}, {260, 0},
    {265, 0}, {268, 0}, {269, 0}, {271, 0}, {272, 0}, {291, 0}, {292, 1}, {293, 0}, {302, 0}, {303, 0},
    {311, 0}, {312, 0}, {313, 0}, {315, 0}, {319, 0}, {320, 0}, {321, 0}, {322, 0}, {325, 0}, {326, 0},
    {328, 0}, {329, 0}, {332, 0}, {340, 0}, {342, 0}, {344, 0}, {352, 0}, {353, 0}, {354, 0}, {358, 0},
    {359, 0}, {361, 0}, {362, 0, Kind::Narrow}, {363, 0, Kind::Narrow}, {364, 0}, {380, 1}, {382, 0},
    {386, 2}, {388, 0}, {476, 0}, {477, 0}, {478, 0}, {479, 0}, {480, 0}, {482, 0}, {484, 0}, {486, 0},
    {488, 0}, {489, 0}, {490, 0}, {492, 0}, {493, 0, Kind::Direct}, {494, 0}, {495, 0}, {496, 0},
    {512, 0}, {513, 0}, {518, 0}, {519, 0}, {521, 0}, {525, 0}, {527, 0}, {529, 0}, {531, 0},
    {551, 1, Kind::Bridge}, {553, 0, Kind::Bridge}, {558, 0}, {562, 0}, {570, 0}, {573, 0}, {585, 0},
    {586, 0}, {587, 0}, {608, 2}, {655, 0}, {656, 0}, {661, 0}, {662, 0}, {666, 0}, {667, 0}, {668, 0},
    {669, 0}, {670, 0}, {671, 0}, {675, 0}, {678, 0}, {679, 0}, {680, 0}, {691, 0}, {693, 0}, {694, 0},
    {697, 0}, {701, 2}, {703, 0}, {705, 0}, {708, 0}, {714, 0}, {730, 0}, {732, 0}, {733, 0}, {734, 0},
    {742, 0}, {756, 0}, {761, 0}, {764, 0}, {765, 0}, {773, 1}, {781, 0}, {782, 0}, {784, 0}, {788, 0},
    {790, 0}, {794, 0}, {802, 0}, {803, 0}, {806, 0}, {809, 0}, {835, 4}, {836, 0}, {837, 0}, {839, 0},
    {840, 0}, {841, 0}, {852, 5}, {881, 0}, {883, 0}, {896, 3}, {906, 0}, {1023, 0, Kind::Forward, 914},
};
static_assert(std::size(kSystem) == 190);

constexpr Entry kUi[] = {
    {126, 0}, {129, 0}, {132, 0}, {134, 0}, {137, 0}, {143, 0}, {158, 0},
    {159, 0}, {163, 0}, {174, 0}, {178, 0, Kind::Bridge}, {348, 0}, {349, 0},
};
static_assert(std::size(kUi) == 13);

constexpr Entry kKez[] = {
    {83, 0, Kind::Narrow, 72}, {96, 0, Kind::Forward, 85},   {127, 0, Kind::Forward, 116},
    {129, 0, Kind::Forward, 118}, {169, 0, Kind::Bridge},     {170, 0, Kind::Bridge},
    {171, 0, Kind::Forward, 158}, {186, 0, Kind::Forward, 173},
};
static_assert(std::size(kKez) == 8);

// The entries that reduce their first argument to 8 bits and pass the rest on.
using Forward4 = uint32_t (*)(uint32_t, uint32_t, uint32_t, uint32_t);
uint32_t gNarrowTarget[3];
template <int I>
uint32_t NarrowFirst(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return reinterpret_cast<Forward4>(static_cast<uintptr_t>(gNarrowTarget[I]))(a & 0xFF, b, c, d);
}

uint32_t BridgeOf(Table table, uint16_t id) {
    if (table == Table::System && id == 551) return FnAddr(&SysNotifyRegisterDirectImpl);
    if (table == Table::System && id == 553) return FnAddr(&SysNotifyUnregisterDirectImpl);
    if (table == Table::Ui) return FnAddr(&FrmSetEventHandlerDirectImpl);
    return id == 169 ? FnAddr(&LumetTimerCreate) : FnAddr(&LumetTimerDelete);
}

struct Tables {
    uint32_t kez[kKezEntries];
    uint32_t system[kSystemEntries];
    uint32_t ui[kUiEntries];
    EntryTarget targets[std::size(kSystem) + std::size(kUi) + std::size(kKez)];
    // Which target each entry has (index + 1; 0 for none).
    uint16_t kezTarget[kKezEntries], systemTarget[kSystemEntries], uiTarget[kUiEntries];
};
Tables gTables;
std::once_flag gFilled;

#if defined(__arm__)
// Each filled entry's code: two loads that put the entry's target record in ip and jump to its
// shim, followed by the two words they load.
constexpr uint32_t kStubWords = 4;
uint32_t* gStubs;
uint32_t MakeStub(size_t index, const EntryTarget* target) {
    uint32_t* stub = gStubs + index * kStubWords;
    stub[0] = 0xE59FC000;  // ldr ip, [pc, #0]: the word at +8
    stub[1] = 0xE59FF000;  // ldr pc, [pc, #0]: the word at +12
    stub[2] = Addr(target);
    stub[3] = target->stackWords ? FnAddr(&LumetStackShim) : FnAddr(&LumetPlainShim);
    return Addr(stub);
}
#endif

void Fill() {
    Tables& t = gTables;
#if defined(__arm__)
    const uint32_t standard = FnAddr(&LumetDefaultShim);
    const size_t stubBytes = std::size(t.targets) * kStubWords * 4;
    void* code = mmap(nullptr, stubBytes, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (code == MAP_FAILED) {
        LumetFatal("LumetDirectCallARM", 218, "PrvLumetDirectCallInitARM(): Out of memory");
        code = nullptr;
    }
    gStubs = static_cast<uint32_t*>(code);
#else
    // Nothing calls the tables on this host; entries without a shim hold 0.
    const uint32_t standard = 0;
#endif
    for (auto& e : t.kez) e = standard;
    for (auto& e : t.system) e = standard;
    for (auto& e : t.ui) e = standard;

    vantor::SystemDispatchTable sys = vantor::glue::SystemTable();
    vantor::ModuleProc* kez = KezImport().Table();
    vantor::ModuleProc* ui = UiImport().Table();
    size_t next = 0;
    auto fill = [&](Table table, const Entry* entries, size_t count, uint32_t* codes, uint16_t* which,
                    vantor::ModuleProc* library) {
        for (size_t i = 0; i < count; ++i) {
            const Entry& e = entries[i];
            const uint16_t slot = e.slot == 0xFFFF ? e.id : e.slot;
            uint32_t target = FnAddr(library[slot]);
            if (e.kind == Kind::Bridge) target = BridgeOf(table, e.id);
            if (e.kind == Kind::Narrow) {
                const int n = table == Table::Kez ? 2 : e.id - 362;
                gNarrowTarget[n] = target;
                target = n == 0 ? FnAddr(&NarrowFirst<0>) : n == 1 ? FnAddr(&NarrowFirst<1>) : FnAddr(&NarrowFirst<2>);
            }
            EntryTarget& d = t.targets[next];
            d = {target, e.stackWords};
            which[e.id] = static_cast<uint16_t>(next + 1);
#if defined(__arm__)
            codes[e.id] = e.kind == Kind::Direct ? target : gStubs ? MakeStub(next, &d) : standard;
#else
            codes[e.id] = target;
#endif
            ++next;
        }
    };
    fill(Table::System, kSystem, std::size(kSystem), t.system, t.systemTarget,
         reinterpret_cast<vantor::ModuleProc*>(sys));
    fill(Table::Ui, kUi, std::size(kUi), t.ui, t.uiTarget, ui);
    fill(Table::Kez, kKez, std::size(kKez), t.kez, t.kezTarget, kez);
#if defined(__arm__)
    if (gStubs) __builtin___clear_cache(reinterpret_cast<char*>(gStubs), reinterpret_cast<char*>(gStubs) + stubBytes);
#endif
}

}  // namespace

void LumetDirectCallTablesFill() { std::call_once(gFilled, Fill); }

const uint32_t* LumetDirectCallTable(Table table) {
    LumetDirectCallTablesFill();
    switch (table) {
    case Table::Kez: return gTables.kez;
    case Table::System: return gTables.system;
    default: return gTables.ui;
    }
}

const EntryTarget* LumetEntryTarget(Table table, uint16_t id) {
    LumetDirectCallTablesFill();
    const uint16_t* which = table == Table::Kez ? gTables.kezTarget
                            : table == Table::System ? gTables.systemTarget : gTables.uiTarget;
    const uint32_t count = table == Table::Kez ? kKezEntries : table == Table::System ? kSystemEntries : kUiEntries;
    if (id >= count || !which[id]) return nullptr;
    return &gTables.targets[which[id] - 1];
}

uint32_t LumetFilledEntries(Table table) {
    return table == Table::Kez ? std::size(kKez) : table == Table::System ? std::size(kSystem) : std::size(kUi);
}

}  // namespace morvel::directcall
