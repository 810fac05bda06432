// The matrix keypad (8 rows by 8 columns) with its rotary encoder. Host key changes mark keys
// pressed or released and ask the core thread for a scan (pending bit 4); the scan fills the
// result registers and raises interrupt source 4. The host wheel moves the rotary count.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kKeypadBase = 0x41500000;
constexpr unsigned kKeypadRows = 8, kKeypadColumns = 8;
constexpr unsigned kKeypadKeys = kKeypadRows * kKeypadColumns;

// The >key chunk, word for word (296 bytes).
struct KeypadState {
    uint32_t control;
    uint32_t spare;
    uint32_t directKeys;
    uint32_t scanResult;
    uint32_t key[kKeypadKeys];  // key number row * 8 + column; 1 = pressed
    uint32_t rotaryCount;       // signed: may run past 0..255 between reads
    uint32_t lastReadCount;
    uint32_t multiKey[4];
};
static_assert(sizeof(KeypadState) == 296, "the chunk holds the keypad whole");
extern KeypadState Keypad;

// Register access (device handlers of the 0x41500000 megabyte).
uint32_t KeypadRead(uint32_t physical);
void KeypadWrite(uint32_t physical, uint32_t value);

// Host side (any thread): a key at matrix position row * 8 + column goes down or up; the scan
// follows on the core thread. Ignored with SensorialIsolation or a position past the matrix.
void KeypadHostKey(unsigned position, bool pressed);
// Host side: a wheel movement (120 per step) moves the rotary count by whole steps.
void KeypadHostWheel(int32_t delta);

// The scan (core thread, pending bit 4).
void KeypadScan();

// Reset or restore (>key) for the run code, and the save of >key on code 4.
void KeypadReset(int32_t code);
void KeypadSave(int32_t code);

}  // namespace tamsk
