// The event scheduler: all time-driven device behaviour runs from one table of future events,
// sorted by due tick, on the core thread. Emulated time is the tick counter of Timing.h.
#pragma once

#include <cstdint>
#include <string>

namespace tamsk {

using EvtCallback = void (*)(uint32_t argument);

struct FutureEvent {
    uint64_t due;
    EvtCallback callback;
    uint32_t argument;
};
constexpr unsigned kFutureEventCapacity = 1024;
extern FutureEvent FutureEventTable[kFutureEventCapacity];
extern uint32_t FutureEventCount;

// Schedules callback(argument) `delay` ticks from now; among equal due times the newest runs
// first. A delay of 0 is due now: it runs at the next tick.
void EvtSchedule(uint32_t delay, EvtCallback callback, uint32_t argument);
// Removes every entry with this callback and argument.
void EvtCancel(EvtCallback callback, uint32_t argument);
// Moves the pending UART transmit event with this argument to `delay` ticks from now.
void EvtAdvance(uint32_t delay, uint32_t argument);
// True when an entry with this callback and argument is in the table.
bool EvtIsScheduled(EvtCallback callback, uint32_t argument);

// The timed callbacks a session may name, by identifier: 0 and 9 are the scheduler's own, the
// others the devices' (BoardDescription::timed); null where no device is installed.
constexpr unsigned kTimedCallbackCount = 10;
EvtCallback EvtTimedCallback(uint32_t id);
// The identifier of a callback; fatal "Unidentified callback passed" when it has none.
uint32_t EvtCallbackId(EvtCallback callback);
// The callback of an identifier; fatal "Unexpected callback identifier" when there is none.
EvtCallback EvtCallbackFromId(uint32_t id);

// Power-on and resets: empty table, tick counter 0, the status event 3,250,000 ticks ahead.
void EvtReset();
// Sets the countdown from the head entry (after a restore).
void EvtSetCountdownFromHead();

// The once-a-second status event (callback 0) and the host-time event (callback 9).
void EvtStatusTick(uint32_t argument);
void EvtHostThreadTime(uint32_t argument);

// The status line shown in the display window's title, and its parts.
const std::string& EvtStatusLine();
// Called on the core thread with every new status line (the display window shows it).
using EvtStatusSink = void (*)(const std::string& line);
void EvtSetStatusSink(EvtStatusSink sink);
// Where the status line takes the board's IPv4 address (host order); null: the DeviceIPAddr option.
void EvtSetDeviceAddressSource(uint32_t (*source)());
std::string EvtFormatRate(uint64_t instructions, uint32_t hostMilliseconds, uint32_t runSeconds,
                          uint32_t ipAddress);

}  // namespace tamsk
