// The LCD controller: panel size and depth, frame descriptors in emulated memory, palettes, the
// periodic frame refresh (timed callback 1) and the end-of-frame interrupt (source 17). What it
// displays is described by LcdDisplay; a host window shows it through the display sink.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kLcdBase = 0x44000000;
constexpr uint32_t kLcdChunkSize = 56;
constexpr uint32_t kLcdDisplayChunkSize = 1088;

// The >lcd chunk, word for word.
struct LcdState {
    uint32_t width, height;       // panel size in pixels
    uint32_t bpp;                 // bits per pixel
    uint32_t enabled;
    uint32_t doubling;            // control 0 bit 2: every line shown twice
    uint32_t branch[2];
    uint32_t descriptor[2];       // frame descriptor addresses of channels 0 and 1
    uint32_t eofMask;             // control 0 bit 4: no end-of-frame interrupt
    uint32_t status;
    uint32_t reserved;
    uint32_t lastRepaintMs;       // host time of the last throttled repaint
    uint32_t repaintWord;         // set to 0 by every throttled repaint
};
static_assert(sizeof(LcdState) == kLcdChunkSize, "the chunk holds the controller whole");
extern LcdState Lcd;

// What the display shows (the >pld chunk carries it with a bitmap description).
struct LcdDisplay {
    uint32_t width, height, bpp;
    uint32_t shown;               // a frame is displayed
    uint32_t doubling;
    uint32_t frame;               // physical address of the displayed frame buffer
    uint32_t palette[256];        // 0x00RRGGBB
};
extern LcdDisplay LcdShown;

// The host side: repaints the window from LcdShown (any thread may call LcdFramePixels).
struct LcdDisplaySink {
    void (*repaint)();
};
void LcdSetDisplaySink(const LcdDisplaySink* sink);

uint32_t LcdRead(uint32_t physical);
void LcdWrite(uint32_t physical, uint32_t value);

// Timed callbacks: the frame refresh (id 1) and the end-of-frame check (id 6).
void LcdFrameRefresh(uint32_t argument);
void LcdEndOfFrameCheck(uint32_t argument);

// A write into the displayed frame buffer (from the core) or another change asks for a repaint.
void LcdForceRepaint();
// Repaints when asked to, or when 30 ms of host time have passed since the last repaint.
void LcdRepaintThrottle();
// The MMU was switched off: the display goes off.
void LcdSwitchOff();

// The displayed frame as 0x00RRGGBB pixels, row by row (height doubled with vertical doubling);
// false when nothing is shown or the frame is not inside one memory area.
bool LcdFramePixels(uint32_t* out, uint32_t width, uint32_t height);

// Reset or restore (>lcd, >pld) for the run code, and the end of a run (chunks on code 4, the
// display switched off on the others).
void LcdReset(int32_t code);
void LcdSave(int32_t code);

}  // namespace tamsk
