// The LCD controller's registers, frame descriptor walk, palettes and display state.
#include "tamsk/devices/Lcd.h"

#include <cstring>

#include "standin/win32/KernelObjects.h"
#include "tamsk/board/CoreInterface.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/WordChunk.h"

namespace tamsk {

LcdState Lcd;
LcdDisplay LcdShown;

namespace {

const uint32_t kTag = FourCC(">lcd");
const uint32_t kDisplayTag = FourCC(">pld");

enum : uint32_t {
    kEnable = 1u << 0,
    kDoubling = 1u << 2,
    kEofMaskBit = 1u << 4,
    kQuickDisable = 1u << 10,
    kLengthMask = 0x1FFFFF,
    kEofInterrupt = 1u << 22,
    kPaletteLoad = 1u << 26,
    kStatusEof = 1u << 1,
};
constexpr uint32_t kRepaintMs = 30;

const LcdDisplaySink* g_sink;
bool g_forceRepaint;

struct Descriptor {
    uint32_t next, source, id, command;
};

// A 16-byte descriptor at a physical address inside one memory area.
bool ReadDescriptor(uint32_t address, Descriptor& d) {
    if (MemContiguousBytes(address) < 16) return false;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(MemHostPointer(address));
    d = {ChunkGet32(p), ChunkGet32(p + 4), ChunkGet32(p + 8), ChunkGet32(p + 12)};
    return true;
}

uint32_t FrameBytes() {
    return uint32_t(uint64_t(Lcd.width) * Lcd.height * Lcd.bpp / 8);
}

void LoadPalette(const Descriptor& d) {
    const uint32_t entries = (d.command & kLengthMask) / 2;
    if (entries > 256) HostFatal("Palette anomaly");
    if (MemContiguousBytes(d.source) < entries * 2) return;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(MemHostPointer(d.source));
    for (uint32_t i = 0; i < entries; ++i) {
        const uint32_t c = ChunkGet16(p + 2 * i);
        const uint32_t r = (c >> 11 & 0x1F) << 3, g = (c >> 5 & 0x3F) << 2, b = (c & 0x1F) << 3;
        LcdShown.palette[i] = r << 16 | g << 8 | b;
    }
}

// Walks one channel's descriptors: a palette load first, then the frame. Returns the frame's
// command (0 when there is none) and its source in `frame`.
uint32_t FetchChannel(unsigned channel, uint32_t& frame) {
    const uint32_t branch = Lcd.branch[channel];
    uint32_t address = branch & 1 ? branch & ~1u : Lcd.descriptor[channel];
    Descriptor d;
    if (!ReadDescriptor(address, d)) return 0;
    if (d.command & kPaletteLoad) {
        LoadPalette(d);
        address = d.next;
        if (!ReadDescriptor(address, d)) return 0;
    }
    frame = d.source;
    return d.command | 1u << 31;  // never 0 for a descriptor found
}

void Repaint() {
    if (g_sink && g_sink->repaint && !Opt.SensorialIsolation) g_sink->repaint();
}

void UpdateShown() {
    LcdShown.width = Lcd.width;
    LcdShown.height = Lcd.height;
    LcdShown.bpp = Lcd.bpp;
    LcdShown.doubling = Lcd.doubling;
}

uint32_t RefreshTicks() {
    return kTicksPerSecond / uint32_t(Opt.RefreshRate > 0 ? Opt.RefreshRate : 1);
}

void SetEnabled(bool on) {
    if (on == (Lcd.enabled != 0)) return;
    Lcd.enabled = on;
    EvtCancel(LcdFrameRefresh, 0);
    if (on) {
        LcdShown.shown = 1;
        IntcRaise(kIrqLcd);
        EvtSchedule(RefreshTicks(), LcdFrameRefresh, 0);
    } else {
        LcdShown.shown = 0;
        BoardCore.setFrameBufferWatch(1, 0);
    }
    g_forceRepaint = true;
    Repaint();
}

// The >pld image: the display state and a bitmap description of the frame buffer (a 40-byte
// header, then 256 colour entries, or the three colour masks of a 16-bit frame).
void DisplayImage(uint8_t c[kLcdDisplayChunkSize]) {
    std::memset(c, 0, kLcdDisplayChunkSize);
    ChunkPut32(c, LcdShown.width);
    ChunkPut32(c + 4, LcdShown.height);
    ChunkPut32(c + 8, LcdShown.bpp);
    ChunkPut32(c + 12, LcdShown.shown);
    ChunkPut32(c + 16, LcdShown.doubling);
    ChunkPut32(c + 20, LcdShown.frame >= kDramBase ? LcdShown.frame - kDramBase : LcdShown.frame);
    uint8_t* info = c + 24;
    ChunkPut32(info, 40);
    ChunkPut32(info + 4, LcdShown.width);
    ChunkPut32(info + 8, uint32_t(-int32_t(LcdShown.height)));  // top-down rows
    ChunkPut16(info + 12, 1);
    ChunkPut16(info + 14, uint16_t(LcdShown.bpp));
    ChunkPut32(info + 16, LcdShown.bpp == 16 ? 3 : 0);  // bit fields for 16 bits
    uint8_t* colours = info + 40;
    if (LcdShown.bpp == 16) {
        ChunkPut32(colours, 0xF800);
        ChunkPut32(colours + 4, 0x07E0);
        ChunkPut32(colours + 8, 0x001F);
    } else {
        for (int i = 0; i < 256; ++i) ChunkPut32(colours + 4 * i, LcdShown.palette[i]);
    }
}

void RestoreDisplay(const uint8_t c[kLcdDisplayChunkSize]) {
    LcdShown.width = ChunkGet32(c);
    LcdShown.height = ChunkGet32(c + 4);
    LcdShown.bpp = ChunkGet32(c + 8);
    LcdShown.shown = ChunkGet32(c + 12) & 1;
    LcdShown.doubling = ChunkGet32(c + 16) & 1;
    const uint32_t offset = ChunkGet32(c + 20);
    LcdShown.frame = offset < kDramSize ? kDramBase + offset : offset;
    if (LcdShown.bpp != 16)
        for (int i = 0; i < 256; ++i) LcdShown.palette[i] = ChunkGet32(c + 64 + 4 * i) & 0xFFFFFF;
}

bool Sound(const LcdState& s) {
    const bool depth = s.bpp == 1 || s.bpp == 2 || s.bpp == 4 || s.bpp == 8 || s.bpp == 16;
    return s.width >= 1 && s.width <= 1024 && s.height >= 1 && s.height <= 1024 && depth;
}

}  // namespace

void LcdSetDisplaySink(const LcdDisplaySink* sink) { g_sink = sink; }

uint32_t LcdRead(uint32_t physical) {
    switch (physical & 0xFFFFF) {
    case 0x00:
        return (Lcd.doubling ? uint32_t(kDoubling) : 0u) | (Lcd.eofMask ? uint32_t(kEofMaskBit) : 0u) |
               (Lcd.enabled ? uint32_t(kEnable) : 0u);
    case 0x04: return (Lcd.width - 1) & 0x3FF;
    case 0x08: return (Lcd.height - 1) & 0x3FF;
    case 0x0C:
        switch (Lcd.bpp) {
        case 2: return 0x1000000;
        case 4: return 0x2000000;
        case 8: return 0x3000000;
        case 16: return 0x4000000;
        }
        return 0;
    case 0x20: return Lcd.branch[0];
    case 0x24: return Lcd.branch[1];
    case 0x38: return Lcd.status | 1;
    }
    return 0;
}

void LcdWrite(uint32_t physical, uint32_t value) {
    switch (physical & 0xFFFFF) {
    case 0x00:
        Lcd.doubling = (value & kDoubling) != 0;
        Lcd.eofMask = (value & kEofMaskBit) != 0;
        UpdateShown();
        SetEnabled((value & kEnable) && !(value & kQuickDisable));
        break;
    case 0x04:
        if (Lcd.enabled) HostFatal("LCD width being updated while the LCD is enabled");
        Lcd.width = (value & 0x3FF) + 1;
        g_forceRepaint = true;
        break;
    case 0x08:
        if (Lcd.enabled) HostFatal("LCD height being updated while the LCD is enabled");
        Lcd.height = (value & 0x3FF) + 1;
        g_forceRepaint = true;
        break;
    case 0x0C:
        Lcd.bpp = 1u << (value >> 24 & 7);
        g_forceRepaint = true;
        break;
    case 0x20: Lcd.branch[0] = value; break;
    case 0x24: Lcd.branch[1] = value; break;
    case 0x38:
        Lcd.status &= ~value;
        if (Lcd.status == 0) IntcLower(kIrqLcd);
        break;
    case 0x200:
        Lcd.descriptor[0] = value;
        g_forceRepaint = true;
        break;
    case 0x210:
        Lcd.descriptor[1] = value;
        g_forceRepaint = true;
        break;
    }
}

void LcdFrameRefresh(uint32_t) {
    if (Lcd.enabled) {
        uint32_t frame0 = 0, frame1 = 0;
        const uint32_t command0 = FetchChannel(0, frame0);
        const uint32_t command1 = FetchChannel(1, frame1);
        UpdateShown();
        if (command0) {
            LcdShown.frame = frame0;
            const uint32_t bytes = FrameBytes();
            BoardCore.setFrameBufferWatch(frame0, bytes ? frame0 + bytes - 1 : frame0);
        }
        if (!Lcd.eofMask && ((command0 | command1) & kEofInterrupt)) {
            Lcd.status |= kStatusEof;
            IntcRaise(kIrqLcd);
        }
        LcdRepaintThrottle();
        EvtSchedule(RefreshTicks(), LcdFrameRefresh, 0);
    }
}

void LcdEndOfFrameCheck(uint32_t argument) {
    if (Lcd.enabled) LcdFrameRefresh(argument);
}

void LcdForceRepaint() { g_forceRepaint = true; }

void LcdRepaintThrottle() {
    const uint32_t now = win32::timeGetTime();
    if (!g_forceRepaint && now - Lcd.lastRepaintMs < kRepaintMs) return;
    Repaint();
    g_forceRepaint = false;
    Lcd.lastRepaintMs = now;
    Lcd.repaintWord = 0;
}

void LcdSwitchOff() { SetEnabled(false); }

bool LcdFramePixels(uint32_t* out, uint32_t width, uint32_t height) {
    const LcdDisplay d = LcdShown;
    if (!d.shown || d.width != width || d.height * (d.doubling ? 2 : 1) != height) return false;
    const uint32_t bytes = uint32_t(uint64_t(d.width) * d.height * d.bpp / 8);
    if (bytes == 0 || MemContiguousBytes(d.frame) < bytes) return false;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(MemHostPointer(d.frame));
    const uint32_t rowBits = d.width * d.bpp;
    for (uint32_t y = 0; y < d.height; ++y) {
        for (uint32_t x = 0; x < d.width; ++x) {
            const uint64_t bit = uint64_t(y) * rowBits + uint64_t(x) * d.bpp;
            uint32_t pixel;
            if (d.bpp == 16) {
                const uint32_t c = ChunkGet16(p + bit / 8);
                pixel = (c >> 11 & 0x1F) << 19 | (c >> 5 & 0x3F) << 10 | (c & 0x1F) << 3;
            } else {
                // Pixels below a byte are packed from the low bits up.
                const uint32_t index = p[bit / 8] >> (bit % 8) & ((1u << d.bpp) - 1);
                pixel = d.palette[index];
            }
            const uint32_t row = d.doubling ? 2 * y : y;
            out[row * width + x] = pixel;
            if (d.doubling) out[(row + 1) * width + x] = pixel;
        }
    }
    return true;
}

void LcdReset(int32_t code) {
    if (code == kRunSave) return;
    if (code == kRunLoad || code == kRunPowerOnRestore) {
        LcdState restored;
        uint8_t display[kLcdDisplayChunkSize];
        if (ChunkRestoreWords(kTag, restored) && Sound(restored)) {
            Lcd = restored;
            Lcd.enabled &= 1;
            if (SessReadChunk(kDisplayTag, display, sizeof display)) RestoreDisplay(display);
            // The refresh event comes back with the scheduler's table; the display takes the
            // restored size.
            g_forceRepaint = true;
            Repaint();
            return;
        }
    }
    EvtCancel(LcdFrameRefresh, 0);
    Lcd = {};
    Lcd.width = Lcd.height = 1;
    Lcd.bpp = 1;
    LcdShown = {};
    UpdateShown();
    g_forceRepaint = true;
}

void LcdSave(int32_t code) {
    if (code == kRunSave) {
        ChunkSaveWords(kTag, Lcd);
        uint8_t display[kLcdDisplayChunkSize];
        DisplayImage(display);
        SessWriteChunk(kDisplayTag, display, sizeof display);
        return;
    }
    LcdShown.shown = 0;
    Repaint();
}

}  // namespace tamsk
