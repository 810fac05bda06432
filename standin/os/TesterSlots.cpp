// What the random UI-event tester asks of the OS: the screen's physical size (system slot 809)
// and display extent (732), the active window (729: none; its bounds, 742), the font's line
// height (258), the silkscreen buttons (172: none), the device's characters (607 valid, 621 next
// character, 614 bounds of a character), the application switch (574) and the event loop's
// wake-up (186). Sizes come from Kez's display. The character slots serve 68K callers too.
#include <atomic>
#include <cstring>

#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

std::atomic<uint32_t> gWakeups{0};
std::atomic<uint32_t> gLastSwitch{0};

uint32_t Attribute(uint16_t attribute) {
    uint32_t value = 0;
    if (KezTable())
        reinterpret_cast<kezsig::HALDisplayGetAttributes*>(KezTable()[kezslot::HALDisplayGetAttributes])(attribute,
                                                                                                          &value);
    return value;
}

// Attribute 0 width, 1 height of the screen in pixels.
uint16_t StandinPhysicalSize(uint16_t attribute, uint32_t* value) {
    if (!value || attribute > 1) return sysErrParamErr;
    *value = Attribute(attribute == 0 ? 4 : 5);
    return 0;
}

// The square part of the screen, as the OS's windows see it.
void StandinWinGetDisplayExtent(int16_t* x, int16_t* y) {
    auto width = static_cast<int16_t>(Attribute(4));
    if (x) *x = width;
    if (y) *y = width;
}

void* StandinWinGetActiveWindow() { return nullptr; }

void StandinWinGetBounds(void*, int16_t* bounds) {
    if (bounds) std::memset(bounds, 0, 8);
}

int16_t StandinFntLineHeight() { return 11; }

const void* StandinEvtGetSilkscreenAreaList(uint16_t* count) {
    if (count) *count = 0;
    return nullptr;
}

uint8_t StandinTxtCharIsValid(uint8_t c) { return c >= 32 && c != 127; }

// One byte is one character.
uint16_t StandinTxtGetNextChar(const char* text, uint32_t offset, uint16_t* c) {
    if (!text) return 0;
    if (c) *c = static_cast<uint8_t>(text[offset]);
    return 1;
}

// The character at `offset` and the offsets where it starts and ends (either out pointer may be
// null); one byte is one character.
uint16_t StandinTxtCharBounds(const char* text, uint32_t offset, uint32_t* start, uint32_t* end) {
    if (start) *start = offset;
    if (end) *end = offset + 1;
    return text ? static_cast<uint8_t>(text[offset]) : 0;
}

uint16_t StandinSysUIAppSwitch(uint16_t, uint32_t dbID, uint16_t, void*) {
    gLastSwitch = dbID;
    return 0;
}

uint16_t StandinEvtWakeup() {
    ++gWakeups;
    return 0;
}

VANTOR_OS_LIBRARY_SLOT(System, sysslot::HighDensitySel14, StandinPhysicalSize)
VANTOR_OS_LIBRARY_SLOT(System, sysslot::WinGetDisplayExtent, StandinWinGetDisplayExtent)
VANTOR_OS_LIBRARY_SLOT(System, sysslot::WinGetActiveWindow, StandinWinGetActiveWindow)
VANTOR_OS_LIBRARY_SLOT(System, sysslot::WinGetBounds, StandinWinGetBounds)
VANTOR_OS_LIBRARY_SLOT(System, sysslot::FntLineHeight, StandinFntLineHeight)
VANTOR_OS_LIBRARY_SLOT(System, sysslot::EvtGetSilkscreenAreaList, StandinEvtGetSilkscreenAreaList)
VANTOR_OS_LIBRARY_SLOT(System, sysslot::IntlSel1, StandinTxtCharIsValid)
VANTOR_OS_LIBRARY_SLOT(System, sysslot::IntlSel6, StandinTxtGetNextChar)
VANTOR_OS_LIBRARY_SLOT(System, sysslot::IntlSel9, StandinTxtCharBounds)
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SysUIAppSwitch, StandinSysUIAppSwitch)
VANTOR_OS_LIBRARY_SLOT(System, sysslot::EvtWakeup, StandinEvtWakeup)

}  // namespace

uint32_t EventLoopWakeups() { return gWakeups; }
uint32_t LastAppSwitch() { return gLastSwitch; }

}  // namespace vantor::os
