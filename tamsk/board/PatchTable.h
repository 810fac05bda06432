// The patch table: instructions of the ROM replaced by breakpoints, each with the word it
// replaced. The reset vector (physical 0) is always patched at the start of a run, so that a jump
// to it runs the saved word once and soft-resets the board the next time.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kPatchBreakpoint = 0xE1200070;  // BKPT #0
constexpr unsigned kPatchEntries = 64;
constexpr uint32_t kPatchChunkSize = 2316;

// A handler gets the address, the core's register file and the entry's data, and returns the
// instruction to execute (0: the entry's saved value).
using PatchHandler = uint32_t (*)(uint32_t address, void* registers, uint8_t* data);

struct PatchEntry {
    uint32_t address;  // physical
    uint32_t value;    // the replaced word or halfword
    uint32_t halfword; // non-zero: 16 bits
    PatchHandler handler;
    uint8_t data[20];
};
struct PatchTableState {
    uint32_t count;
    uint32_t resetWord;   // the word the breakpoint at physical 0 replaced
    bool resetWordSaved;  // kept apart from the word: a reset vector of 0 is restored too
    uint32_t state;
    PatchEntry entries[kPatchEntries];
};
extern PatchTableState PatchTable;

// Times the planted reset-vector breakpoint was reached in this run (the core's breakpoint hook
// counts); every run except a save starts it at 0.
extern uint32_t ResetTrapCount;

// The breakpoint hook for a breakpoint at physical 0: the first time in a run gives the saved
// reset-vector word to execute (true); any later time requests a soft reset (false: the core then
// executes nothing and the run ends at the next instruction boundary).
bool PatchResetVectorTrap(uint32_t* instruction);
// The patch entry at `address`: the instruction to execute in place of the breakpoint.
bool PatchLookup(uint32_t address, void* registers, uint32_t* instruction);

// Start of a run (after the areas are set up): restore >pat on codes 5 and 6 when `restore`,
// else plant the reset-vector breakpoint. Code 4 keeps everything.
void PatchStart(int32_t code, bool restore);
// End of a run other than a save: the replaced words go back and the table is emptied.
void PatchEnd(int32_t code);
// Writes >pat on code 4.
void PatchSave(int32_t code);

}  // namespace tamsk
