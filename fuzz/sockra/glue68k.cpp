// The library's 68K trap glue reading a 68K caller's arguments: the first input byte picks a trap
// among those whose glue decodes values, lengths, masks, records or a format; its arguments come
// from the input, each pointer argument pointing into a 68K memory area whose bytes are the rest of
// the input (an offset of 0xFFFF makes a null pointer). The area is large enough for any 16-bit
// length a caller may claim, so whatever the glue reads or writes must stay inside it. The library
// is not open: the glue's decoding and writing back run, the calls answer early.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/module/A68kSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/ModuleInterface.h"
#include "morvel/cpu/EmulState.h"
#include "morvel/glue/MorvelExports.h"
#include "sockra/Sockra.h"
#include "standin/os/StandinOs.h"


namespace {

// kTimeOut: a time-out, always 0 here (a wait would only slow the search).
enum Kind : uint8_t { kEnd, kW16, kW32, kPtr, kTimeOut };
struct Arg {
    uint8_t offset;
    Kind kind;
};
struct Trap {
    uint16_t trap;
    Arg args[9];
};

// Argument offsets as the glue reads them (the library reference at 0 is never read).
const Trap kTraps[] = {
    {0xA806, {{2, kPtr}}},                                                                             // address text
    {0xA809, {{2, kW16}, {4, kW16}, {6, kW16}, {8, kPtr}, {12, kW16}, {14, kTimeOut}, {18, kPtr}}},        // option set
    {0xA80A, {{2, kW16}, {4, kW16}, {6, kW16}, {8, kPtr}, {12, kPtr}, {16, kTimeOut}, {20, kPtr}}},       // option get
    {0xA80B, {{2, kW16}, {4, kPtr}, {8, kW16}, {10, kTimeOut}, {14, kPtr}}},                               // bind
    {0xA815, {{2, kW16}, {4, kPtr}, {8, kPtr}, {12, kPtr}, {16, kTimeOut}, {20, kPtr}}},                   // select
    {0xA81C, {{2, kW16}, {4, kPtr}, {8, kPtr}}},                                                       // setting get
    {0xA81D, {{2, kW16}, {4, kPtr}, {8, kW16}}},                                                       // setting set
    {0xA820, {{2, kW16}, {4, kPtr}, {8, kPtr}}},                                                       // interface
    {0xA821, {{2, kW32}, {6, kW16}, {8, kW16}, {10, kPtr}, {14, kPtr}}},                               // IF get
    {0xA82F, {{2, kPtr}, {6, kPtr}, {10, kPtr}, {14, kPtr}, {18, kPtr}, {22, kPtr}}},                  // trace
};

constexpr size_t kWindow = 4096;             // where pointers point
constexpr size_t kArea = kWindow + 0x20000;  // room for any 16-bit length past them

class Input {
public:
    Input(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }
    uint16_t Word() { return static_cast<uint16_t>(Byte() << 8 | Byte()); }
    const uint8_t* Rest(size_t* n) {
        *n = static_cast<size_t>(end_ - p_);
        return p_;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

morvel::EmulState* Context() {
    static morvel::EmulState* state = [] {
        vantor::os::Reset();
        vantor::glue::SetSystemTable(vantor::os::SystemTable());
        vantor::os::CaptureOutput(true);
        vantor::os::SetUnexpectedCallHandler([](const vantor::os::SlotCall&) {});
        vantor::os::RegisterTable(vantor::kA68kType, vantor::kA68kCreator, morvel::MorvelExportTable(),
                                  vantor::kA68kSlots);
        return new morvel::EmulState{};
    }();
    return state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::EmulState* s = Context();
    static std::vector<uint8_t> area(kArea);
    static std::vector<uint8_t> block(64);
    Input in(data, size);
    const Trap& trap = kTraps[in.Byte() % (sizeof kTraps / sizeof kTraps[0])];
    std::fill(block.begin(), block.end(), 0);
    for (const Arg& a : trap.args) {
        if (a.kind == kEnd) break;
        uint8_t* at = block.data() + a.offset;
        if (a.kind == kW16) {
            Put16(at, in.Word());
        } else if (a.kind == kTimeOut) {
            continue;
        } else if (a.kind == kW32) {
            Put16(at, in.Word());
            Put16(at + 2, in.Word());
        } else {
            const uint16_t offset = in.Word();
            const uint32_t p = offset == 0xFFFF ? 0
                                                : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(
                                                      area.data() + (offset % kWindow & ~1u)));
            Put16(at, static_cast<uint16_t>(p >> 16));
            Put16(at + 2, static_cast<uint16_t>(p));
        }
    }
    // The area: the rest of the input, then zeros (texts end inside it).
    size_t n;
    const uint8_t* rest = in.Rest(&n);
    std::fill(area.begin(), area.end(), 0);
    std::memcpy(area.data(), rest, n < kWindow ? n : kWindow);
    area[kWindow - 1] = 0;
    // A format's string arguments are the caller's own pointers, which the arguments here are not.
    if (trap.trap == 0xA82F) std::replace(area.begin(), area.begin() + kWindow, uint8_t{'s'}, uint8_t{'d'});
    s->A[7] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block.data()));
    sockra::SockraTrapDispatch68K(s, trap.trap);
    return 0;
}
