// One thread at a time runs 68K code on a context.
//
// A context's registers and stack are one machine: the application's task runs it, and native
// callbacks that the OS makes from other tasks (the serial wake-up task, alarm and sound-stream
// bridges) would run 68K code on the same registers at the same time. The gate serialises them:
// the thread that holds it may run the context; the application's task holds it from the moment
// it hands a callback to the OS and lets go of it only while it waits inside a blocking OS call.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

// Takes the gate of `s` for the calling thread (nested takes by the holder only count).
void ContextGateEnter(EmulState* s);
void ContextGateLeave(EmulState* s);
// Makes the calling thread the holder (used by the task that owns the context, once).
void ContextGateClaim(EmulState* s);

// The context ends: whoever held its gate holds it no longer.
void ContextGateReset(EmulState* s);

// Holds the gate for one callback run.
class ContextGateHold {
public:
    explicit ContextGateHold(EmulState* s) : s_(s) { ContextGateEnter(s_); }
    ~ContextGateHold() { ContextGateLeave(s_); }
    ContextGateHold(const ContextGateHold&) = delete;
    ContextGateHold& operator=(const ContextGateHold&) = delete;

private:
    EmulState* s_;
};

// Lets callbacks of other threads in while the holder waits in a blocking OS call: the gate is
// given up (with its whole nesting) when the holder is the calling thread, and taken back after.
class ContextGateOpen {
public:
    explicit ContextGateOpen(EmulState* s);
    ~ContextGateOpen();
    ContextGateOpen(const ContextGateOpen&) = delete;
    ContextGateOpen& operator=(const ContextGateOpen&) = delete;

private:
    EmulState* s_;
    uint32_t depth_;
};

}  // namespace morvel
