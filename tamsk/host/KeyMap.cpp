#include "tamsk/host/KeyMap.h"

#include "standin/win32/PixelWindow.h"

namespace tamsk {

namespace {

struct CharacterKey {
    char character;
    int key;
};
constexpr CharacterKey kCharacterKeys[] = {
    {'!', 0x57}, {'"', 0x60}, {'&', 0x59}, {'\'', 0x5C}, {'(', 0x55}, {')', 0x56},
    {'+', 0x62}, {'\\', 0x5D}, {',', 0x61}, {'-', 0x5B}, {'.', 0x63}, {':', 0x5E},
    {';', 0x5F}, {'?', 0x5A}, {'@', 0x58},
};

struct VirtualKeyEntry {
    int virtualKey;
    int key;
};
constexpr VirtualKeyEntry kVirtualKeys[] = {
    {0x08, 0x23},             // Back
    {0x0D, 0x1D},             // Enter
    {0x10, 0x35},             // Shift
    {0x20, 0x1A},             // blank bar
    {0x21, 0x26},             // Page Up
    {0x22, 0x27},             // Page Down
    {0x24, 0x22},             // Home
    {0x25, 0x1B},             // Left
    {0x26, 0x1E},             // Up
    {0x27, 0x1C},             // Right
    {0x28, 0x1F},             // Down
    {0x2E, 0x34},             // Delete
    {win32::VK_MULTIPLY, 0x32},
    {win32::VK_DECIMAL, 0x33},
    {0x70, 0x36}, {0x71, 0x37}, {0x72, 0x38}, {0x73, 0x39}, {0x74, 0x3A},  // F1-F5
    {0x77, 0x24}, {0x78, 0x25}, {0x79, 0x20}, {0x7A, 0x21},                // F8-F11
};

// Keypad 0-9 with Num Lock off: only 2, 4, 5, 6 and 8 are keys (Down, Left, Enter, Right, Up).
constexpr int kKeypadArrows[10] = {-1, -1, 0x1F, -1, 0x1B, 0x1D, 0x1C, -1, 0x1E, -1};

constexpr uint8_t kMatrix[kKeyNumbers] = {
    // 0-25: the letters
    0, 1, 2, 5, 8, 9, 10, 13, 16, 17, 18, 21, 24, 25, 26, 29, 40, 41, 42, 45, 48, 49, 50, 53, 57, 58,
    // 26-39
    37, 23, 31, 47, 7, 15, 6, 14, 22, 54, 46, 30, 55, 63,
    // 40-49: the digits
    36, 11, 33, 12, 19, 34, 20, 27, 35, 28,
    // 50-58
    43, 44, 52, 51, 3, 32, 4, 62, 38,
    // 59-84: the letters with Shift
    0, 1, 2, 5, 8, 9, 10, 13, 16, 17, 18, 21, 24, 25, 26, 29, 40, 41, 42, 45, 48, 49, 50, 53, 57, 58,
    // 85-99: punctuation on the positions of function keys and digits
    3, 32, 4, 11, 33, 12, 19, 34, 20, 27, 35, 28, 43, 36, 44,
};

}  // namespace

int KeyMapHostToDevice(int virtualKey, int character, bool shiftToggle, bool numLock) {
    for (const CharacterKey& entry : kCharacterKeys)
        if (character != 0 && entry.character == character) return entry.key;
    for (const VirtualKeyEntry& entry : kVirtualKeys)
        if (entry.virtualKey == virtualKey) return entry.key;
    if (virtualKey >= 'A' && virtualKey <= 'Z') return virtualKey - 'A' + (shiftToggle ? 59 : 0);
    if (virtualKey >= '0' && virtualKey <= '9') return 40 + (virtualKey - '0');
    if (virtualKey >= win32::VK_NUMPAD0 && virtualKey <= win32::VK_NUMPAD0 + 9) {
        const int digit = virtualKey - win32::VK_NUMPAD0;
        return numLock ? 40 + digit : kKeypadArrows[digit];
    }
    return -1;
}

uint8_t KeyMatrixPosition(int keyNumber) {
    if (keyNumber < 0 || keyNumber >= int(kKeyNumbers)) return kNoMatrixKey;
    return kMatrix[keyNumber];
}

}  // namespace tamsk
