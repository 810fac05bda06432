// The board as a whole. The board owns the shape of its description and runs it; the devices
// (tamsk/devices, DevicesInstall) fill it in: which register windows the device tables get, which
// blocks reset at the start of a run and save at its end, who serves the bits of the pending word,
// which callbacks a session may name, and the OS timer that the time base drives. The board thus
// calls its devices only through this table.
#pragma once

#include <cstdint>

#include "tamsk/board/Memory.h"
#include "tamsk/board/Scheduler.h"

namespace tamsk {

// One block of the board as the run loop sees it: reset or restore at the start of a run, save
// (chunks on code 4, winding down on the others) at its end.
struct BoardUnit {
    void (*reset)(int32_t code);
    void (*save)(int32_t code);
};

// A device's registers: the handlers of the megabyte that holds `base`.
struct BoardRegisterWindow {
    uint32_t base;
    DeviceReadHandler read;   // null: reads give 0
    DeviceWriteHandler write; // null: writes are ignored
};

// A service of pending-word bits, called on the core thread with the taken word when any bit of
// `mask` is set in it.
struct PendingService {
    uint64_t mask;
    void (*serve)(uint64_t word);
};

// The OS timer as the time base drives it on every tick.
struct TickClient {
    void (*tick)();                // the counter moves on by one and the matches are compared
    void (*skip)(uint32_t n);      // the counter moves on by n, with no match met on the way
    uint32_t (*plainTicks)();      // how many coming ticks meet no armed match
    uint32_t (*ticksToNextDue)();  // ticks until the next armed match; all ones when none is
};

struct BoardDescription {
    const BoardRegisterWindow* windows;
    unsigned windowCount;
    // Reset in this order at the start of a run, saved in the reverse order at its end.
    const BoardUnit* units;
    unsigned unitCount;
    // Served in this order.
    const PendingService* services;
    unsigned serviceCount;
    // The timed callbacks by identifier; 0 and 9 are the scheduler's own.
    EvtCallback timed[kTimedCallbackCount];
    TickClient timer;
    // Once per emulated second, from the status event (the real-time clock).
    void (*second)();
    // Whether an interrupt source is active at the interrupt controller (whatever the processor's
    // masks): an idle processor wakes at once then. Null: never.
    bool (*interruptWaiting)();
};

// Installs the description (kept, not copied: it must live as long as the program). Until one is
// installed the board has no devices and an OS timer that never matches.
void BoardDescribe(const BoardDescription& board);
extern const BoardDescription* gBoard;
inline const BoardDescription& BoardDescribed() { return *gBoard; }

// Fills the device handler tables (unless code 4) and resets or restores every unit in order.
// (SessSaveAll, in Session.h, saves them in the reverse order.)
void BoardResetAll(int32_t code);

// The memory unit: areas, ROM, address translation state, page map, patch table; and its save:
// >mem and >pat, then RAM and the ROM path.
void MemResetMap(int32_t code);
void MemSetupAreas(int32_t code);
void MemSave(int32_t code);

}  // namespace tamsk
