// The preferences record "Quillwatch.prefs": 2400 bytes, little-endian, in the current folder.
// Kept in memory as host records; read and written field by field, so the file's layout does not
// depend on the host's packing or byte order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillwatch {

constexpr size_t kPrefsSize = 2400;
constexpr char kPrefsFileName[] = "Quillwatch.prefs";

// The text font (60 bytes in the file).
struct PrefsFont {
    int32_t height, width, escapement, orientation, weight;
    uint8_t italic, underline, strikeOut, charSet, outPrecision, clipPrecision, quality, pitchAndFamily;
    char faceName[32];  // always terminated in memory
};

// A window placement (44 bytes in the file).
struct PrefsPlacement {
    uint32_t length, flags, showCmd;
    int32_t minX, minY, maxX, maxY;
    int32_t left, top, right, bottom;
};

constexpr int kPrefsWindows = 5;
// Which stored placement each window uses.
enum PrefsWindow : int { prefsDebugger = 0, prefsConsole = 1, prefsSource = 2, prefsRegisters = 3, prefsRemoteUI = 4 };

struct QuillwatchPrefs {
    PrefsFont font;
    PrefsPlacement frame;
    PrefsPlacement windows[kPrefsWindows];
    uint32_t linkCommand;  // 40022-40025 COM 1-4, 40026 Emulator, 40027 USB
    uint32_t serialPort;
    uint32_t baud;
    uint32_t baudCommand;  // 40014-40021
    uint8_t handshake;
    uint32_t host;         // the emulator link's IPv4 address, host byte order
    char folder[kPrefsSize - 352];  // the file dialogs' folder; always terminated in memory
};

// The defaults for a desktop of the given width and height.
void PrefsDefaults(QuillwatchPrefs* prefs, int desktopWidth, int desktopHeight);
// Reads a record from bytes: false (and the defaults) when it is shorter than 2400 bytes or its
// size field is not 2400. Texts are terminated whatever the bytes hold.
bool PrefsDecode(const uint8_t* bytes, size_t size, QuillwatchPrefs* prefs, int desktopWidth, int desktopHeight);
void PrefsEncode(const QuillwatchPrefs& prefs, uint8_t out[kPrefsSize]);
// The file in the current folder; a missing or damaged file gives the defaults.
bool PrefsRead(const char* path, QuillwatchPrefs* prefs, int desktopWidth, int desktopHeight);
bool PrefsWrite(const char* path, const QuillwatchPrefs& prefs);

}  // namespace quillwatch
