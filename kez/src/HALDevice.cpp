// Device attributes and debug entries (export slots 1 to 9, 15, 16, 19, 86, 87, 170, 190, 283):
// the LED and vibrator records and their attributes, the battery and dock answers, random bytes,
// the debug break, debug messages and the stack backtrace.
#include <execinfo.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>

#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"
#include "kez/src/KezServices.h"

namespace kez {
namespace {

// One LED or vibrator: capabilities (bits that say which attributes may be set), the pattern,
// four timing words (index 1 to 4; 0 unused) and the on byte.
struct Signal {
    uint32_t capabilities;
    uint32_t pattern;
    uint16_t timing[5];
    uint8_t on;
};

Signal gLed, gVibrator;
std::mutex gSignalLock;

using ShowProc = uint16_t(uint8_t on, uint32_t pattern, uint16_t a, uint16_t b, uint16_t c, uint16_t d);

// Where selectors 2 to 6 keep their value and which capability bit each needs.
struct Attribute {
    int timing;  // index into timing, or -1 for the pattern
    uint32_t bit;
};
constexpr Attribute kLedAttributes[7] = {{}, {}, {2, 0x1}, {-1, 0x2}, {4, 0x10}, {3, 0x8}, {1, 0x4}};
constexpr Attribute kVibratorAttributes[7] = {{}, {}, {1, 0x2}, {-1, 0x4}, {3, 0x10}, {2, 0x8}, {4, 0x1}};

uint16_t GetAttribute(const Signal& s, const Attribute* table, uint32_t selector, uint32_t* value) {
    if (!value || selector > 9) return 1;
    std::lock_guard lock(gSignalLock);
    switch (selector) {
    case 0: *value = s.capabilities; return 0;
    case 1: *value = s.on; return 0;
    case 7: *value = 2000; return 0;
    case 8:
    case 9: return 1;
    default: {
        const Attribute& a = table[selector];
        if (!(s.capabilities & a.bit)) return 1;
        *value = a.timing < 0 ? s.pattern : s.timing[a.timing];
        return 0;
    }
    }
}

void Show(bool led, const Signal& s) {
    if (led)
        KEZ_CALL_AS(ShowProc, PALLedShow, s.on, s.pattern, s.timing[1], s.timing[2], s.timing[3], s.timing[4]);
    else
        KEZ_CALL_AS(ShowProc, PALVibratorShake, s.on, s.pattern, s.timing[4], s.timing[1], s.timing[2],
                    s.timing[3]);
}

uint16_t SetAttribute(bool led, uint32_t selector, const void* value) {
    Signal& s = led ? gLed : gVibrator;
    const Attribute* table = led ? kLedAttributes : kVibratorAttributes;
    uint32_t last = led ? 8 : 9;
    if (selector > last || selector == 0 || selector == 7) return 1;
    if (selector == 9) return 0;
    Signal shown;
    {
        std::lock_guard lock(gSignalLock);
        if (selector == 1 || selector == 8) {
            if (selector == 1 && !value) return 1;
            s.on = selector == 1 ? *static_cast<const uint8_t*>(value) : 0;
            shown = s;
        } else {
            const Attribute& a = table[selector];
            if (!(s.capabilities & a.bit) || !value) return 1;
            if (a.timing < 0) std::memcpy(&s.pattern, value, 4);
            else std::memcpy(&s.timing[a.timing], value, 2);
            return 0;
        }
    }
    Show(led, shown);
    return 0;
}

uint16_t HALLedGetAttribute(uint32_t selector, uint32_t* value) {
    return GetAttribute(gLed, kLedAttributes, selector, value);
}
KEZ_SLOT_NAMED(HALLedGetAttribute, HALLedGetAttribute)
uint16_t HALVibratorGetAttribute(uint32_t selector, uint32_t* value) {
    return GetAttribute(gVibrator, kVibratorAttributes, selector, value);
}
KEZ_SLOT_NAMED(HALVibratorGetAttribute, HALVibratorGetAttribute)
uint16_t HALLedSetAttribute(uint32_t selector, const void* value) { return SetAttribute(true, selector, value); }
KEZ_SLOT_NAMED(HALLedSetAttribute, HALLedSetAttribute)
uint16_t HALVibratorSetAttribute(uint32_t selector, const void* value) {
    return SetAttribute(false, selector, value);
}
KEZ_SLOT_NAMED(HALVibratorSetAttribute, HALVibratorSetAttribute)

using BatteryProc = uint16_t(uint16_t*, uint16_t*, uint16_t*, uint32_t*, uint8_t*, uint8_t*, uint8_t*, uint8_t*);

uint16_t HALBatteryGetInfo(uint16_t* a, uint16_t* b, uint16_t* c, uint32_t* d, uint8_t* e, uint8_t* f, uint8_t* g,
                           uint8_t* h) {
    return KEZ_CALL_AS(BatteryProc, PALBatteryGetInfo, a, b, c, d, e, f, g, h);
}
KEZ_SLOT_NAMED(HALBatteryGetInfo, HALBatteryGetInfo)

const uint8_t kBatteryKinds[6] = {0, 1, 2, 3, 4, 5};
uint16_t HALBatteryGetKindList(const uint8_t** list) {
    if (list) *list = kBatteryKinds;
    return 0;
}
KEZ_SLOT_NAMED(HALBatteryGetKindList, HALBatteryGetKindList)

uint16_t HALBatterySetInfo() {
    KEZ_CALL(HALErrDisplay, "HALBatterySetInfo(): UNSUPPORTED", 1, nullptr, 0);
    return 0xFFFF;
}
KEZ_SLOT_NAMED(HALBatterySetInfo, HALBatterySetInfo)

uint16_t HALDockStatus(uint16_t* status) {
    uint8_t sixth = 0;
    uint16_t result = KEZ_CALL_AS(BatteryProc, PALBatteryGetInfo, nullptr, nullptr, nullptr, nullptr, nullptr, &sixth,
                                  nullptr, nullptr);
    if (status) *status = sixth ? 12 : 0;
    return result;
}
KEZ_SLOT_NAMED(HALDockStatus, HALDockStatus)

uint16_t HALNullQuery87(uint32_t* value) {
    if (value) *value = 0;
    return 0;
}
KEZ_SLOT_NAMED(HALNullQuery87, HALNullQuery87)

// ceil(bits / 8) bytes of rand() values, filled from the last byte down.
uint16_t HALRandomBytes(uint32_t bits, uint8_t* buffer) {
    if (!buffer) return 0;
    for (uint32_t i = (bits + 7) / 8; i > 0; --i) buffer[i - 1] = static_cast<uint8_t>(std::rand());
    return 0;
}
KEZ_SLOT_NAMED(HALRandomBytes, HALRandomBytes)

void HALDbgMessage(const char* text) {
    std::fprintf(stderr, "*** DBG :%s", text ? text : "");
    std::fflush(stderr);
}
KEZ_SLOT_NAMED(HALDbgMessage, HALDbgMessage)

void HALDbgBacktrace(uint32_t skip) {
    void* frames[32];
    int count = backtrace(frames, 32);
    char** symbols = backtrace_symbols(frames, count);
    if (!symbols) return;
    for (int i = static_cast<int>(skip); i >= 0 && i < count; ++i) {
        if (std::strstr(symbols[i], "libc_start") || std::strstr(symbols[i], "libpthread.so")) break;
        std::string line = "  " + std::string(symbols[i]) + "\n";
        HALDbgMessage(line.c_str());
    }
    std::free(symbols);
}
KEZ_SLOT_NAMED(HALDbgBacktrace, HALDbgBacktrace)

// Whether a SIGTRAP would reach someone: a debugger traces the process, or a handler is set.
bool TrapIsCaught() {
    struct sigaction action {};
    if (sigaction(SIGTRAP, nullptr, &action) == 0 && action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN)
        return true;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("TracerPid:", 0) == 0) return std::atoi(line.c_str() + 10) != 0;
    return false;
}

// The debug break stops in the debugger. Without one attached (nor a handler), SIGTRAP would end
// the whole OS with a core dump, so the break is then only reported.
uint32_t DbgBreak() {
    HALDbgMessage("DbgBreak invoked.\n");
    HALDbgBacktrace(1);
    if (TrapIsCaught()) raise(SIGTRAP);
    else HALDbgMessage("DbgBreak: no debugger attached, going on.\n");
    return 1;
}
KEZ_SLOT_NAMED(DbgBreak, DbgBreak)

uint32_t DeviceFiller() { return 0; }

}  // namespace

KEZ_SLOT_FILLER(15, DeviceFiller)
KEZ_SLOT_FILLER(16, DeviceFiller)
KEZ_SLOT_FILLER(170, DeviceFiller)
KEZ_SLOT_FILLER(190, DeviceFiller)

void PrvHALDebugBreak() { DbgBreak(); }

void PrvHALLedVibratorInitialize() {
    std::lock_guard lock(gSignalLock);
    gLed = {KEZ_CALL_AS(uint32_t(), PALLedGetCapabilities), 0xFFFF0000, {0, 0, 50, 3, 0}, 0};
    gVibrator = {KEZ_CALL_AS(uint32_t(), PALVibratorGetCapabilities), 0xFFFF0000, {0, 50, 3, 0, 0}, 0};
    gKez.ledOn = gKez.vibratorOn = 0;
}

void PrvHALLedVibratorOff() {
    std::lock_guard lock(gSignalLock);
    gLed.on = gVibrator.on = 0;
    gKez.ledOn = gKez.vibratorOn = 0;
}

}  // namespace kez
