// Host keys to the board's keypad: a host key becomes an emulated key number, and the key number
// a position in the keypad's 8 x 8 matrix.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr unsigned kKeyNumbers = 100;
constexpr uint8_t kNoMatrixKey = 255;

// The emulated key number of a host key (-1 for none): the character the key types without
// modifiers decides first, then its virtual key. shiftToggle: the Shift key's toggle state
// (letters give 59-84 instead of 0-25); numLock: keypad digits give digits, else keypad 2, 4, 5,
// 6 and 8 give Down, Left, Enter, Right and Up.
int KeyMapHostToDevice(int virtualKey, int character, bool shiftToggle, bool numLock);

// The matrix position (row * 8 + column) of a key number, kNoMatrixKey for none.
uint8_t KeyMatrixPosition(int keyNumber);

}  // namespace tamsk
