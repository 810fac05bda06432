// The event queue's side in Kez (export slots 22, 23, 281, 234 to 237): the OS's handler per event
// kind, the wake-up pipe, and the window's mouse and keyboard turned into pen and key events.
#include "kez/src/HALEvent.h"

#include <fcntl.h>
#include <gdk/gdk.h>
#include <unistd.h>

#include <cctype>
#include <cstring>

#include "common/FourCC.h"
#include "common/module/SystemCalls.h"
#include "kez/src/KezBoot.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"
#include "kez/src/KezServices.h"

using namespace vantor;

namespace kez {
namespace {

constexpr uint32_t kEventKinds = 8;
constexpr uint16_t kCommandBit = 0x0008;
constexpr uint16_t kRepeatBit = 0x0040;

KezEventHandler gHandlers[kEventKinds];
KezPenEventRecord gLastPen{0xFFFF, 0xFFFF};
uint32_t gHardKeys;
uint32_t gLastActivity;

// Multi-tap entry of phone keypads.
struct MultiTap {
    uint32_t lastTick;
    int lastKey = -1;
    int index;
    int mode;  // 0 lower case, 1 upper case for the next letter, 2 upper case, 3 digits
    bool latch;
} gTap;

const char* const kTapLetters[12] = {" 0", ".,?!'\"1", "abc2", "def3", "ghi4", "jkl5",
                                     "mno6", "pqrs7",   "tuv8", "wxyz9", "#\n",  "*+-/&_"};

uint16_t HALEventPost(uint32_t kind, void* record) {
    if (kind <= 2) gLastActivity = KEZ_CALL(HALTimeGetTicks);
    if (kind <= 1) gKez.eventPending = 1;
    if (kind <= 2) PrvHALPowerWake();
    if (kind >= kEventKinds) return 0xFFFF;
    pthread_mutex_lock(&gKez.eventLock);
    KezEventHandler handler = gHandlers[kind];
    uint16_t status = handler ? handler(record) : 0xFFFF;
    pthread_mutex_unlock(&gKez.eventLock);
    // The wake-up comes after the handler has queued the event: a select woken by it then finds
    // the event there, instead of waking to an empty queue and answering as if it had timed out.
    if (kind <= 1) {
        int readEnd = gKez.wakeupPipe[0], writeEnd = gKez.wakeupPipe[1];
        if (readEnd >= 0 && writeEnd >= 0) {
            char drain[16];
            while (read(readEnd, drain, sizeof drain) > 0) {
            }
            char wake = static_cast<char>('A' + kind);
            [[maybe_unused]] ssize_t written = write(writeEnd, &wake, 1);
        }
    }
    return status;
}
KEZ_SLOT(HALEventPost, HALEventPost)

uint16_t HALEventSetHandler(uint32_t kind, KezEventHandler handler, KezEventHandler* oldHandler) {
    if (kind >= kEventKinds) return 0xFFFF;
    if (oldHandler) *oldHandler = gHandlers[kind];
    gHandlers[kind] = handler;
    return 0;
}
KEZ_SLOT(HALEventSetHandler, HALEventSetHandler)

void HALEventSetWakeupPipe(const int32_t* descriptors) {
    gKez.wakeupPipe[0] = descriptors ? descriptors[0] : -1;
    gKez.wakeupPipe[1] = descriptors ? descriptors[1] : -1;
}
KEZ_SLOT(HALEventSetWakeupPipe, HALEventSetWakeupPipe)

// Clamps a window coordinate into [0, limit) and scales it when pen scaling is on.
uint16_t PenCoordinate(double value, uint32_t limit) {
    // Truncated to 16 bits as the window gives it, without overflowing the conversion.
    int32_t v = value >= -32768.0 && value < 32768.0 ? static_cast<int16_t>(value) : (value < 0 ? -1 : 32767);
    if (v < 0) v = 0;
    if (limit > 0 && static_cast<uint32_t>(v) >= limit) v = static_cast<int32_t>(limit) - 1;
    if (gKez.config.penScaling)
        v = gKez.config.screenWidth <= gKez.config.windowWidth ? v * 2 / 3 : v * 4 / 3;
    return static_cast<uint16_t>(v);
}

uint16_t PrvHALEventEnqueueGdkMouseEvent(void* raw) {
    auto* event = static_cast<GdkEvent*>(raw);
    if (!event) return 0xFFFF;
    KezPenEventRecord pen;
    switch (event->type) {
        case GDK_MOTION_NOTIFY:
            pen = {PenCoordinate(event->motion.x, gKez.config.windowWidth),
                   PenCoordinate(event->motion.y, gKez.config.windowHeight)};
            break;
        case GDK_BUTTON_PRESS:
            pen = {PenCoordinate(event->button.x, gKez.config.windowWidth),
                   PenCoordinate(event->button.y, gKez.config.windowHeight)};
            break;
        case GDK_BUTTON_RELEASE:
            pen = {0xFFFF, 0xFFFF};
            break;
        default:
            return 0xFFFF;
    }
    gLastPen = pen;
    return KEZ_CALL(HALEventPost, 0, &gLastPen);
}
KEZ_SLOT(HALEventEnqueueGdkMouseEvent, PrvHALEventEnqueueGdkMouseEvent)

uint16_t MultiTapLetter(int key, uint32_t type) {
    uint32_t now = KEZ_CALL(HALTimeGetTicks);
    uint32_t second = sys::SysTicksPerSecond();
    bool newCycle = now - gTap.lastTick > second || key != gTap.lastKey || gTap.mode == 3;
    gTap.lastTick = now;
    gTap.lastKey = key;
    const char* letters = kTapLetters[key];
    int count = static_cast<int>(std::strlen(letters));
    if (newCycle) {
        gTap.index = 0;
        if (gTap.mode == 1 && !gTap.latch) gTap.mode = 0;
        gTap.latch = false;
    } else if (type == GDK_KEY_PRESS) {
        KezKeyEventRecord erase{8, 0, 0, 0};
        KEZ_CALL(HALEventPost, 1, &erase);
    } else {
        gTap.index = gTap.index == 0 ? count - 1 : gTap.index - 1;
    }
    if (gTap.index >= count) gTap.index = 0;
    uint16_t letter;
    if (gTap.mode == 3) {
        letter = key < 10 ? static_cast<uint16_t>('0' + key) : key == 10 ? '#' : '*';
    } else {
        auto c = static_cast<unsigned char>(letters[gTap.index]);
        letter = gTap.mode == 1 || gTap.mode == 2 ? static_cast<uint16_t>(std::toupper(c)) : c;
    }
    ++gTap.index;
    return letter > 255 ? 0 : letter;
}

uint16_t HALKeyTranslate(uint32_t key, uint32_t type) {
    for (const auto& binding : gKez.config.keyBindings)
        if (binding[0] == key && binding[0] != 0) return static_cast<uint16_t>(binding[1]);
    if (gKez.config.quitKey != 0 && key == gKez.config.quitKey) {
        PrvKezExitRequest(3, 1);
        return 0;
    }
    uint32_t device = gKez.config.deviceType;
    if (device == FourCC("haie") || device == FourCC("redp")) {
        if (key >= '0' && key <= '9') return MultiTapLetter(static_cast<int>(key - '0'), type);
        if (key >= 0xFFB0 && key <= 0xFFB9) return MultiTapLetter(static_cast<int>(key - 0xFFB0), type);
        if (key == '#') return MultiTapLetter(10, type);
        if (key == '*') return MultiTapLetter(11, type);
    }
    switch (key) {
        case 0xFF52: return 30;
        case 0xFF54: return 31;
        case 0xFF51: return 28;
        case 0xFF53: return 29;
        case 0xFF0D:
        case 0xFF8D: return 10;
        case 0xFF08: return 8;
        case 0xFF09: return 9;
        case 0xFFE1:
        case 0x5005:
            // The case mode steps on the press only: a release would step it a second time.
            if (type != GDK_KEY_PRESS) return 0;
            if (!gTap.latch && gTap.mode == 1) {
                gTap.latch = true;
            } else {
                gTap.mode = (gTap.mode + 1) % 4;
                if (gTap.mode == 1) gTap.latch = true;
            }
            return 0;
        default: break;
    }
    if (key >= 0xFFB0 && key <= 0xFFB9) return static_cast<uint16_t>('0' + key - 0xFFB0);
    return key < 256 ? static_cast<uint16_t>(key) : 0;
}
KEZ_SLOT(HALKeyTranslate, HALKeyTranslate)

uint32_t HALKeyCodeToMask(uint16_t character) {
    switch (character) {
        case 520: return 0x1;
        case 11:
        case 306: return 0x2;
        case 12:
        case 307: return 0x4;
        case 516: return 0x8;
        case 517: return 0x10;
        case 518: return 0x20;
        case 519: return 0x40;
        case 308: return 0x01040000;
        case 309: return 0x02080000;
        case 310: return 0x04100000;
        default: return 0;
    }
}
KEZ_SLOT(HALKeyCodeToMask, HALKeyCodeToMask)

uint16_t PrvHALEventEnqueueGdkKeyEvent(void* raw) {
    auto* event = static_cast<GdkEventKey*>(raw);
    if (!event) return 0xFFFF;
    uint16_t character = KEZ_CALL(HALKeyTranslate, event->keyval, static_cast<uint32_t>(event->type));
    uint32_t mask = KEZ_CALL(HALKeyCodeToMask, character);
    if (event->type == GDK_KEY_PRESS) {
        const char* name = gdk_keyval_name(event->keyval);
        KEZ_CALL(HALTrace, 0xF100, "GDK_KEY_PRESS: keyCode=0x%x state=0x%x name=GDK_%s halvern=0x%hx",
                 event->keyval, event->state, name ? name : "", character);
    } else {
        KEZ_CALL(HALTrace, 0xF100, "GDK_KEY_RELEASE: keyCode=0x%x", event->keyval);
    }
    if (PrvHALVirtualMouseHandleKey(event, mask)) return 0;
    if (character == 0) return 0xFFFF;
    if (event->type == GDK_KEY_PRESS) {
        KezKeyEventRecord key{character, 0, 0, 0};
        guint state = event->state;
        if (character == 'B' || character == 'b') {
            if ((state & GDK_SHIFT_MASK) && (state & GDK_CONTROL_MASK)) {
                key.character = 0x0102;
                key.modifiers |= kCommandBit;
                KEZ_CALL(HALTrace, 0xF000, "HALEventEnqueueGdkKeyEvent(): CTRL-SHIFT-B: 68K Debug Break");
            } else if ((state & GDK_CONTROL_MASK) && (state & GDK_MOD1_MASK)) {
                KEZ_CALL(HALTrace, 0xF000, "HALEventEnqueueGdkKeyEvent(): CTRL-ALT-B: Debug Break");
                PrvHALDebugBreak();
                return 0xFFFF;
            }
        }
        if (key.character == 11 || key.character == 12 || (key.character >= 256 && key.character <= 0x7FFF))
            key.modifiers |= kCommandBit;
        if (gKez.keyDown) key.modifiers |= kRepeatBit;
        if (state & GDK_SHIFT_MASK) key.modifiers |= 0x0001;
        if (state & GDK_LOCK_MASK) key.modifiers |= 0x0002;
        if (state & GDK_CONTROL_MASK) key.modifiers |= 0x0020;
        if (state & GDK_MOD1_MASK) key.modifiers |= 0x0010;
        if (state & GDK_MOD2_MASK) key.modifiers |= 0x0004;
        gKez.keyDown = 1;
        gHardKeys |= mask;
        return KEZ_CALL(HALEventPost, 1, &key);
    }
    if (event->type == GDK_KEY_RELEASE) {
        gKez.keyDown = 0;
        gHardKeys &= ~mask;
    }
    return 0xFFFF;
}
KEZ_SLOT(HALEventEnqueueGdkKeyEvent, PrvHALEventEnqueueGdkKeyEvent)

}  // namespace

void PrvHALEventClearHandlers() {
    for (KezEventHandler& handler : gHandlers) handler = nullptr;
}

void PrvHALEventInitializePen() { gLastPen = {0xFFFF, 0xFFFF}; }

void PrvHALEventInitializeKeys() {
    gHardKeys = 0;
    gKez.keyDown = 0;
    gTap = MultiTap{};
}

uint32_t HALEventLastActivity() { return gLastActivity; }
void HALEventSetLastActivity(uint32_t tick) { gLastActivity = tick; }
uint32_t HALEventHardKeys() { return gHardKeys; }
KezPenEventRecord HALEventLastPen() { return gLastPen; }
void HALEventSetLastPen(KezPenEventRecord pen) { gLastPen = pen; }

}  // namespace kez

// The host program's calls go through Kez's own table, so a patched slot also takes them.
extern "C" VANTOR_EXPORT uint16_t HALEventEnqueueGdkMouseEvent(GdkEvent* event) {
    return KEZ_CALL(HALEventEnqueueGdkMouseEvent, event);
}

extern "C" VANTOR_EXPORT uint16_t HALEventEnqueueGdkKeyEvent(GdkEventKey* event) {
    return KEZ_CALL(HALEventEnqueueGdkKeyEvent, event);
}
