// KezBootConfig: the 13000-byte configuration record that Kez's host program builds and hands to
// KezGlobalsInit. Its offsets are an interface; integers are little-endian host values and texts
// are zero-terminated within their field.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

struct KezBootConfig {
    uint32_t screenWidth;       // 0
    uint32_t screenHeight;      // 4
    uint32_t screenDepth;       // 8: below 8, 8 or 16
    uint32_t storageSizeMB;     // 12: 0 takes the storage file's size
    uint32_t dynamicHeapKB;     // 16
    uint32_t windowWidth;       // 20
    uint32_t windowHeight;      // 24
    uint32_t hardwareWordA;     // 28
    uint32_t hardwareWordB;     // 32
    uint32_t deviceType;        // 36: four-character code
    uint32_t locale;            // 40: four-character code, 0 for none
    uint32_t settingA;          // 44
    uint32_t configTextLength;  // 48
    uint32_t settingB;          // 52
    uint32_t settingC;          // 56
    uint8_t traceMask[32];      // 60: bit (0x80 >> (zone % 8)) of byte zone / 8
    uint8_t unused92[260];
    uint32_t quitKey;           // 352
    uint32_t keyBindings[32][2];  // 356: (host key value, device key code)
    uint8_t unused612[2];
    uint8_t inputAreaFlag;      // 614
    uint8_t soundEnabled;       // 615
    uint8_t unused616;
    uint8_t penScaling;         // 617
    uint8_t flagA;              // 618
    uint8_t flagB;              // 619
    uint8_t virtualMouse;       // 620
    uint8_t centreVirtualMouse; // 621
    uint8_t flagC;              // 622
    char configText[41];        // 623
    char serialNumber[13];      // 664
    char romPath[4096];         // 677
    char storagePath[4096];     // 4773
    char textBuffer[4096];      // 8869
    char soundDevice[35];       // 12965
};

static_assert(sizeof(KezBootConfig) == 13000);
static_assert(offsetof(KezBootConfig, screenDepth) == 8);
static_assert(offsetof(KezBootConfig, storageSizeMB) == 12);
static_assert(offsetof(KezBootConfig, dynamicHeapKB) == 16);
static_assert(offsetof(KezBootConfig, windowWidth) == 20);
static_assert(offsetof(KezBootConfig, windowHeight) == 24);
static_assert(offsetof(KezBootConfig, hardwareWordA) == 28);
static_assert(offsetof(KezBootConfig, hardwareWordB) == 32);
static_assert(offsetof(KezBootConfig, deviceType) == 36);
static_assert(offsetof(KezBootConfig, locale) == 40);
static_assert(offsetof(KezBootConfig, settingA) == 44);
static_assert(offsetof(KezBootConfig, configTextLength) == 48);
static_assert(offsetof(KezBootConfig, settingB) == 52);
static_assert(offsetof(KezBootConfig, settingC) == 56);
static_assert(offsetof(KezBootConfig, traceMask) == 60);
static_assert(offsetof(KezBootConfig, quitKey) == 352);
static_assert(offsetof(KezBootConfig, keyBindings) == 356);
static_assert(offsetof(KezBootConfig, inputAreaFlag) == 614);
static_assert(offsetof(KezBootConfig, soundEnabled) == 615);
static_assert(offsetof(KezBootConfig, penScaling) == 617);
static_assert(offsetof(KezBootConfig, flagA) == 618);
static_assert(offsetof(KezBootConfig, flagB) == 619);
static_assert(offsetof(KezBootConfig, virtualMouse) == 620);
static_assert(offsetof(KezBootConfig, centreVirtualMouse) == 621);
static_assert(offsetof(KezBootConfig, flagC) == 622);
static_assert(offsetof(KezBootConfig, configText) == 623);
static_assert(offsetof(KezBootConfig, serialNumber) == 664);
static_assert(offsetof(KezBootConfig, romPath) == 677);
static_assert(offsetof(KezBootConfig, storagePath) == 4773);
static_assert(offsetof(KezBootConfig, textBuffer) == 8869);
static_assert(offsetof(KezBootConfig, soundDevice) == 12965);

// KezHostStatus: owned by the host program; Kez writes only `state` (2 up, 3 ended).
struct KezHostStatus {
    uint32_t word0;
    uint32_t state;
};

}  // namespace vantor
