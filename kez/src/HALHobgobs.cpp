// The random UI-event tester: while it runs, the OS's event loop calls its step hook whenever it
// has no event of its own, and the tester answers with a pen tap, move or release, a key, typed
// text, a hard key or an application switch, drawn from a seeded generator so that a run with the
// same seed repeats. The events enter through the window's own entries (HALEventEnqueueGdk...).
#include "kez/src/HALHobgobs.h"

#include <gdk/gdk.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/FourCC.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "kez/src/HALDisplay.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"
#include "kez/src/KezServices.h"

using namespace vantor;

namespace kez {
namespace {

constexpr uint16_t kZone = 0x3500;

// Key weights by device key code (0..271).
uint16_t KeyWeight(uint32_t code) {
    switch (code) {
        case 8: return 180;
        case 9: return 120;
        case 10: return 600;
        case 11:
        case 12:
        case 28:
        case 29:
        case 30:
        case 31: return 30;
        case 32: return 300;
        case 259:
        case 261:
        case 268: return 6;
        case 262:
        case 264:
        case 266: return 30;
        case 265: return 1;
        default: break;
    }
    if (code >= 33 && code <= 63) return 6;
    if (code >= 64 && code <= 127) return 60;
    if (code >= 128 && code <= 255) return 12;
    return 0;
}

constexpr uint32_t kHardKeys[7] = {0xFF9A, 0xFF9B, 0xFF96, 0xFF97, 0xFF98, 0xFF99, 0xFF9D};

const char* const kTexts[18] = {
    "Brevity is wit.",
    "All the world is a stage, and all the men and women merely players.",
    "The quality of mercy is not strained; it droppeth as the gentle rain from heaven upon the place beneath.",
    "Now is the winter of our discontent made glorious summer.",
    "To be, or not to be, that is the question: whether it is nobler in the mind to suffer the slings and "
    "arrows of outrageous fortune, or to take arms against a sea of troubles and by opposing end them.",
    "Tomorrow, and tomorrow, and tomorrow, creeps in this petty pace from day to day, to the last syllable of "
    "recorded time; and all our yesterdays have lighted fools the way to dusty death. Out, out, brief candle! "
    "Life is but a walking shadow, a poor player that struts and frets his hour upon the stage and then is heard "
    "no more. It is a tale told by an idiot, full of sound and fury, signifying nothing.",
    "Friends, countrymen, lend me your ears.",
    "The course of true love never did run smooth.",
    "We are such stuff as dreams are made on, and our little life is rounded with a sleep.",
    "Shall I compare thee to a summer's day? Thou art more lovely and more temperate: rough winds do shake the "
    "darling buds of May, and summer's lease hath all too short a date.",
    "Once more unto the breach, dear friends, once more; or close the wall up with our dead.",
    "Some are born great, some achieve greatness, and some have greatness thrust upon them.",
    "The lady doth protest too much, methinks.",
    "Double, double toil and trouble; fire burn and cauldron bubble.",
    "If music be the food of love, play on; give me excess of it, that, surfeiting, the appetite may sicken, "
    "and so die.",
    "I wandered lonely as a cloud that floats on high over vales and hills, when all at once I saw a crowd, a "
    "host, of golden daffodils; beside the lake, beneath the trees, fluttering and dancing in the breeze. "
    "Continuous as the stars that shine and twinkle on the milky way, they stretched in never-ending line along "
    "the margin of a bay: ten thousand saw I at a glance, tossing their heads in sprightly dance. The waves "
    "beside them danced; but they out-did the sparkling waves in glee: a poet could not but be gay, in such a "
    "jocund company.",
    "Water, water, every where, nor any drop to drink.",
    "Hope is the thing with feathers that perches in the soul, and sings the tune without the words, and never "
    "stops at all.",
};

struct AppEntry {
    uint32_t dbID;
    uint32_t creator;
};

struct Tester {
    uint8_t state;  // 0 stopped, 1 running, 2 paused
    uint8_t displayOff;
    uint32_t seed, limit, count;
    uint32_t startTime, stopTime;
    uint8_t singleStep;
    uint32_t generator = 1;
    uint8_t penDown;
    int16_t penX, penY;
    uint8_t penJustReleased;
    uint8_t keyReleasePending;
    uint16_t lastKey;
    const char* text;
    char textBuffer[2048];
    uint16_t appCount;
    AppEntry* apps;
    uint32_t firstApp;
    uint32_t keyWeightTotal;
} gTester;

uint32_t Now() { return static_cast<uint32_t>(std::time(nullptr)); }

uint16_t Draw() {
    gTester.generator = gTester.generator * 140473u + 2040501u;
    return static_cast<uint16_t>((gTester.generator >> 16) & 0x7FFF);
}
uint16_t Random(uint16_t n) { return n == 0 ? 0 : static_cast<uint16_t>(Draw() % n); }

template <typename... Args>
void Trace(const char* format, Args... args) {
    sys::SysTrace(kZone, format, args...);
}

template <typename Sig, typename... Args>
auto Sys(uint16_t slot, Args... args) {
    return glue::SysCall<Sig>(slot, args...);
}
template <typename Sig, typename... Args>
auto Ui(uint16_t slot, Args... args) {
    return gUi.Call<Sig>(slot, args...);
}

struct Size {
    int32_t width, height;
    uint32_t physical[2];
};

// The screen's size in the OS's coordinates, from the physical size and the display extent.
Size ScreenSize() {
    Size s{};
    Sys<uint16_t(uint16_t, uint32_t*)>(sysslot::HighDensitySel14, uint16_t{0}, &s.physical[0]);
    Sys<uint16_t(uint16_t, uint32_t*)>(sysslot::HighDensitySel14, uint16_t{1}, &s.physical[1]);
    int16_t ex = 0, ey = 0;
    Sys<void(int16_t*, int16_t*)>(sysslot::WinGetDisplayExtent, &ex, &ey);
    if (s.physical[0] == 0 || s.physical[1] == 0) {
        s.physical[0] = static_cast<uint32_t>(ex > 0 ? ex : 1);
        s.physical[1] = static_cast<uint32_t>(ey > 0 ? ey : 1);
    }
    if (s.physical[0] > s.physical[1]) {
        s.width = static_cast<int32_t>(int64_t{ey} * s.physical[0] / s.physical[1]);
        s.height = ey;
    } else {
        s.width = ex;
        s.height = static_cast<int32_t>(int64_t{ex} * s.physical[1] / s.physical[0]);
    }
    return s;
}

uint16_t Limit16(int32_t v) { return static_cast<uint16_t>(v < 0 ? 0 : v > 0xFFFF ? 0xFFFF : v); }

void RandomScreenPoint(const Size& s, int16_t* x, int16_t* y) {
    *x = static_cast<int16_t>(Random(Limit16(s.width)));
    *y = static_cast<int16_t>(Random(Limit16(s.height)));
}

void RandomWindowPoint(const Size& s, int16_t* x, int16_t* y) {
    void* window = nullptr;
    if (Random(10) != 1) window = Sys<void*()>(sysslot::WinGetActiveWindow);
    if (!window) {
        RandomScreenPoint(s, x, y);
        return;
    }
    HALRect bounds{};
    Sys<void(void*, HALRect*)>(sysslot::WinGetBounds, window, &bounds);
    auto fatal = [](const char* message) { Ui<uint16_t(const char*)>(uislot::SysFatalAlert, message); };
    if (bounds.width > 0) {
        *x = static_cast<int16_t>(bounds.x + Random(static_cast<uint16_t>(bounds.width)));
    } else {
        *x = 0;
        fatal("Invalid window length (<=0) prevented Hobgobs pen tap generation");
    }
    if (bounds.height > 0) {
        *y = static_cast<int16_t>(bounds.y + Random(static_cast<uint16_t>(bounds.height)));
    } else {
        *y = 0;
        fatal("Invalid window height (<=0) prevented Hobgobs pen tap generation");
    }
}

// The active form when its window is the active window, else null.
void* ActiveForm() {
    void* form = Ui<void*()>(uislot::FrmGetActiveForm);
    if (!form) return nullptr;
    void* window = Ui<void*(void*)>(uislot::FrmGetWindowHandle, form);
    return window && window == Sys<void*()>(sysslot::WinGetActiveWindow) ? form : nullptr;
}

// The free room of the focused field; -1 when there is none or it is not editable.
int32_t FocusedFieldRoom() {
    void* form = ActiveForm();
    if (!form) return -1;
    uint16_t focus = Ui<uint16_t(void*)>(uislot::FrmGetFocus, form);
    if (focus == 0xFFFF) return -1;
    void* field = Ui<void*(void*, uint16_t)>(uislot::UiEntry154, form, focus);
    if (Ui<uint8_t(void*, uint16_t)>(uislot::FrmGetObjectType, form, focus) == 3)
        field = field ? Ui<void*(void*)>(uislot::TblGetCurrentField, field) : nullptr;
    if (!field) return -1;
    uint16_t attributes = 0;
    Ui<void(void*, uint16_t*)>(uislot::FldGetAttributes, field, &attributes);
    if (!(attributes & 0x0004)) return -1;
    uint16_t max = Ui<uint16_t(void*)>(uislot::FldGetMaxChars, field);
    uint16_t length = Ui<uint16_t(void*)>(uislot::FldGetTextLength, field);
    return max > length ? max - length : 0;
}

uint16_t SendPen(uint32_t type, int16_t x, int16_t y, const Size& s) {
    GdkEvent event;
    std::memset(&event, 0, sizeof event);
    event.type = static_cast<GdkEventType>(type);
    if (type != GDK_BUTTON_RELEASE) {
        KezPenEventRecord raw{
            static_cast<uint16_t>(s.width > 0 ? int64_t{x} * s.physical[0] / s.width : x),
            static_cast<uint16_t>(s.height > 0 ? int64_t{y} * s.physical[1] / s.height : y)};
        KEZ_CALL(HALPenScreenToRaw, &raw);
        if (type == GDK_MOTION_NOTIFY) {
            event.motion.x = raw.x;
            event.motion.y = raw.y;
        } else {
            event.button.x = raw.x;
            event.button.y = raw.y;
        }
    }
    return KEZ_CALL(HALEventEnqueueGdkMouseEvent, &event);
}

uint16_t SendKey(uint32_t type, uint32_t keyval) {
    GdkEventKey event;
    std::memset(&event, 0, sizeof event);
    event.type = static_cast<GdkEventType>(type);
    event.keyval = keyval;
    return KEZ_CALL(HALEventEnqueueGdkKeyEvent, &event);
}

// The host key value whose translation is the device key code: the configuration's key bindings
// first, then the keys that HALKeyTranslate gives fixed codes, then Latin-1 characters as
// themselves; 0 when no host key gives it.
uint32_t HostKeyFor(uint16_t code) {
    for (const auto& binding : gKez.config.keyBindings)
        if (binding[0] != 0 && binding[1] == code) return binding[0];
    switch (code) {
        case 8: return 0xFF08;
        case 9: return 0xFF09;
        case 10: return 0xFF0D;
        case 28: return 0xFF51;
        case 29: return 0xFF53;
        case 30: return 0xFF52;
        case 31: return 0xFF54;
        default: break;
    }
    return code >= 32 && code < 256 ? code : 0;
}

// Presses a key; its release goes out at the next call.
bool PressKey(uint16_t code, bool translate) {
    uint32_t keyval = translate ? HostKeyFor(code) : code;
    Trace("Hobgobs: Key Down (key=%hi) - translated=%d", code, static_cast<int>(keyval));
    if (keyval == 0) return false;
    gTester.keyReleasePending = 1;
    gTester.lastKey = static_cast<uint16_t>(keyval);
    return SendKey(GDK_KEY_PRESS, keyval) == 0;
}

// Types the next character of the text in progress.
void TypeNextCharacter() {
    uint16_t character = 0;
    uint16_t size = Sys<uint16_t(const char*, uint32_t, uint16_t*)>(sysslot::IntlSel6, gTester.text, uint32_t{0},
                                                                    &character);
    if (size == 0) size = 1;
    uint32_t keyval = HostKeyFor(character);
    if (keyval) {
        SendKey(GDK_KEY_PRESS, keyval);
        SendKey(GDK_KEY_RELEASE, keyval);
    }
    gTester.text += size;
    if (*gTester.text == 0) gTester.text = nullptr;
}

void SwitchTo(uint32_t dbID) {
    Sys<uint16_t(uint16_t, uint32_t, uint16_t, void*)>(sysslot::SysUIAppSwitch, uint16_t{0}, dbID, uint16_t{0},
                                                       static_cast<void*>(nullptr));
}
void Wakeup() { Sys<uint16_t()>(sysslot::EvtWakeup); }

// Where the pen goes down: an object of the active form, a silkscreen button or a random point.
void PenTarget(const Size& s, int16_t* x, int16_t* y) {
    if (Random(100) <= 1) {
        RandomWindowPoint(s, x, y);
        Trace("Hobgobs: Pen Down at random position x=%hi, y=%hi", *x, *y);
        return;
    }
    if (Random(20) == 1) {
        uint16_t count = 0;
        auto* areas = Sys<const HALRect*(uint16_t*)>(sysslot::EvtGetSilkscreenAreaList, &count);
        if (areas && count > 0) {
            const HALRect& a = areas[Random(count)];
            *x = static_cast<int16_t>(a.x + a.width / 2);
            *y = static_cast<int16_t>(a.y + a.height / 2);
            Trace("Hobgobs: Pen Down on a silkscreen button at x=%hi, y=%hi", *x, *y);
            return;
        }
    }
    void* form = ActiveForm();
    if (!form) {
        RandomWindowPoint(s, x, y);
        Trace("Hobgobs: Pen Down at random position (no form on screen) x=%hi, y=%hi", *x, *y);
        return;
    }
    uint16_t objects = Ui<uint16_t(void*)>(uislot::FrmGetNumberOfObjects, form);
    uint16_t usable[256];
    uint16_t n = 0;
    for (uint16_t i = 0; i < objects && n < 256; ++i) {
        uint8_t type = Ui<uint8_t(void*, uint16_t)>(uislot::FrmGetObjectType, form, i);
        if (type >= 4 && type <= 10) continue;
        HALRect b{};
        Ui<void(void*, uint16_t, HALRect*)>(uislot::FrmGetObjectBounds, form, i, &b);
        if (b.width >= 1 && b.height >= 1 && b.x < s.width - 1 && b.y < s.height - 1) usable[n++] = i;
    }
    if (n == 0) {
        RandomWindowPoint(s, x, y);
        Trace("Hobgobs: Pen Down at random position (no object on form) x=%hi, y=%hi", *x, *y);
        return;
    }
    uint16_t index = usable[Random(n)];
    HALRect b{};
    Ui<void(void*, uint16_t, HALRect*)>(uislot::FrmGetObjectBounds, form, index, &b);
    if (b.x < 0) b.x = 0;
    if (b.y < 0) b.y = 0;
    if (b.width > s.width - b.x - 1) b.width = static_cast<int16_t>(s.width - b.x - 1);
    if (b.height > s.height - b.y - 1) b.height = static_cast<int16_t>(s.height - b.y - 1);
    *x = static_cast<int16_t>(b.x + Random(static_cast<uint16_t>(b.width > 0 ? b.width : 0)));
    *y = static_cast<int16_t>(b.y + Random(static_cast<uint16_t>(b.height > 0 ? b.height : 0)));
    Sys<void(int16_t*, int16_t*)>(sysslot::WinWindowToDisplayPt, x, y);
    Trace("Hobgobs: Pen Down in form %hi on object %hi at x=%hi, y=%hi", Ui<uint16_t(void*)>(uislot::FrmGetFormId, form),
          Ui<uint16_t(void*, uint16_t)>(uislot::FrmGetObjectId, form, index), *x, *y);
}

// Prepares a text for the focused field (of `room` free characters); false when it is empty.
bool PrepareText(int32_t room) {
    const char* sentence = kTexts[Random(18)];
    std::strncpy(gTester.textBuffer, sentence, sizeof gTester.textBuffer - 1);
    gTester.textBuffer[sizeof gTester.textBuffer - 1] = 0;
    size_t length = std::strlen(gTester.textBuffer);
    if (length > static_cast<size_t>(room)) {
        // From the room's character offset on, each boundary may end the text.
        uint32_t at = static_cast<uint32_t>(room);
        Sys<uint16_t(const char*, uint32_t, uint32_t*, uint32_t*)>(sysslot::IntlSel9, gTester.textBuffer, at, &at,
                                                                   static_cast<uint32_t*>(nullptr));
        while (at < length) {
            if (Random(100) < 33) break;
            uint16_t c = 0;
            uint16_t size = Sys<uint16_t(const char*, uint32_t, uint16_t*)>(sysslot::IntlSel6, gTester.textBuffer,
                                                                            at, &c);
            at += size ? size : 1;
        }
        if (at < length) gTester.textBuffer[at] = 0;
    }
    if (gTester.textBuffer[0] == 0) return false;
    Trace("Hobgobs: Send chars");
    Trace("    Text: \"%s\"", gTester.textBuffer);
    gTester.text = gTester.textBuffer;
    return true;
}

bool WeightedKey() {
    if (gTester.keyWeightTotal == 0) {
        for (uint32_t code = 0; code < 272; ++code)
            if (code >= 256 || Sys<uint8_t(uint8_t)>(sysslot::IntlSel1, static_cast<uint8_t>(code)))
                gTester.keyWeightTotal += KeyWeight(code);
    }
    auto t = static_cast<uint32_t>(Random(static_cast<uint16_t>(gTester.keyWeightTotal > 0xFFFF ? 0xFFFF
                                                                                               : gTester.keyWeightTotal)));
    for (uint32_t code = 0; code < 272; ++code) {
        if (code < 256 && !Sys<uint8_t(uint8_t)>(sysslot::IntlSel1, static_cast<uint8_t>(code))) continue;
        uint32_t w = KeyWeight(code);
        if (t < w) return PressKey(static_cast<uint16_t>(code), true);
        t -= w;
    }
    return false;
}

// One event; true when one was produced.
bool OneEvent() {
    if (gTester.keyReleasePending) {
        gTester.keyReleasePending = 0;
        SendKey(GDK_KEY_RELEASE, gTester.lastKey);
    }
    Size s = ScreenSize();
    if (gTester.penDown) {
        if (Random(100) > 49) {
            gTester.penDown = 0;
            gTester.penJustReleased = 1;
            Trace("Hobgobs: Pen Up");
            return SendPen(GDK_BUTTON_RELEASE, 0, 0, s) == 0;
        }
        if (Random(100) > 4) {
            int32_t lh = Sys<int16_t()>(sysslot::FntLineHeight);
            if (lh <= 0) lh = 1;
            int32_t x = gTester.penX + Random(static_cast<uint16_t>(2 * lh)) - lh;
            int32_t y = gTester.penY + Random(static_cast<uint16_t>(2 * lh)) - lh;
            gTester.penX = static_cast<int16_t>(x < 0 ? 0 : x > s.width - 1 ? s.width - 1 : x);
            gTester.penY = static_cast<int16_t>(y < 0 ? 0 : y > s.height - 1 ? s.height - 1 : y);
        } else {
            RandomScreenPoint(s, &gTester.penX, &gTester.penY);
        }
        Trace("Hobgobs: Pen Move to x=%hi, y=%hi", gTester.penX, gTester.penY);
        return SendPen(GDK_MOTION_NOTIFY, gTester.penX, gTester.penY, s) == 0;
    }
    if (gTester.penJustReleased) {
        gTester.penJustReleased = 0;
        return true;
    }
    if (gTester.text) {
        TypeNextCharacter();
        return true;
    }
    uint16_t r = Random(100);
    int32_t room = r >= 40 ? -1 : FocusedFieldRoom();  // -1: no editable field
    if (r >= 10 && (r >= 40 || room < 0)) {
        if (r <= 69) {
            if (gTester.penDown) {
                Trace("Hobgobs: Wants Pen Down but pen is already down");
                return false;
            }
            PenTarget(s, &gTester.penX, &gTester.penY);
            gTester.penDown = 1;
            return SendPen(GDK_BUTTON_PRESS, gTester.penX, gTester.penY, s) == 0;
        }
        if (r <= 82) {
            sys::SysTracePart(kZone, "Hobgobs: App switch event chance ");
            if (Random(100) > 49) {
                Trace("(application hard key hit)");
                return PressKey(static_cast<uint16_t>(0xFFBE + Random(4)), false);
            }
            Trace("(switch to random app)");
            if (gTester.appCount >= 2) {
                uint32_t id = gTester.apps[Random(gTester.appCount)].dbID;
                if (id != 0) SwitchTo(id);
            }
            Wakeup();
            return true;
        }
        if (r <= 93) {
            Trace("(hit HardKey)");
            return PressKey(static_cast<uint16_t>(kHardKeys[Random(7)]), false);
        }
        Trace("Hobgobs: No event...");
        Wakeup();
        return false;
    }
    if (Random(100) <= 9 && room >= 0) {
        if (!PrepareText(room)) return false;
        TypeNextCharacter();
        return true;
    }
    return WeightedKey();
}

void Redraw() {
    PrvHALDisplayOnExposeEvent(0, 0, static_cast<int16_t>(gKez.config.windowWidth),
                               static_cast<int16_t>(gKez.config.windowHeight));
}

void StepHook();
uint8_t AppAllowedHook(uint32_t dbID);
void StopHook();

void SetHooks(bool step, bool allowed, bool stop) {
    auto address = [](auto f) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(f)); };
    gKez.afterConfig[0] = step ? address(&StepHook) : 0;
    gKez.afterConfig[1] = allowed ? address(&AppAllowedHook) : 0;
    gKez.afterConfig[2] = stop ? address(&StopHook) : 0;
}

void StepHook() {
    if (gTester.state != 1) return;
    // A bounded number of tries: a step that can never produce an event does not hang the loop.
    for (int tries = 0; tries < 1000 && !OneEvent(); ++tries) {
    }
    ++gTester.count;
    if (gTester.singleStep || (gTester.limit != 0 && gTester.count >= gTester.limit)) {
        gTester.singleStep = 0;
        HobgobPause();
    }
}

uint8_t AppAllowedHook(uint32_t dbID) {
    for (uint16_t i = 0; i < gTester.appCount; ++i)
        if (gTester.apps[i].dbID == dbID) return 1;
    return 0;
}

void StopHook() { HobgobPause(); }

// The newest application of type 'appl' with that creator, or 0.
uint32_t FindApp(uint32_t creator) {
    SysDmSearchState search{};
    uint32_t dbID = 0;
    if (sys::DmFindNewestDatabase(1, FourCC("appl"), creator, 1, &search, &dbID) != 0) return 0;
    sys::DmCloseDatabase(dbID);
    return dbID;
}

}  // namespace

void HobgobStart(uint32_t seed, uint32_t limit) {
    if (gTester.state != 0) return;
    gTester.seed = seed;
    gTester.limit = limit;
    gTester.generator = seed;
    gTester.count = 0;
    gTester.stopTime = 0;
    gTester.startTime = Now();
    gTester.singleStep = gTester.penDown = gTester.penJustReleased = 0;
    gTester.keyReleasePending = 0;
    gTester.text = nullptr;
    if (gTester.firstApp) SwitchTo(gTester.firstApp);
    gTester.state = 1;
    SetHooks(true, true, true);
    Wakeup();
    Redraw();
}

void HobgobPause() {
    if (gTester.state != 1) return;
    gTester.stopTime = Now();
    SetHooks(false, true, false);
    gTester.state = 2;
    Redraw();
}

void HobgobResume() {
    if (gTester.state != 2) return;
    gTester.startTime += Now() - gTester.stopTime;
    SetHooks(true, true, true);
    gTester.state = 1;
    Wakeup();
    Redraw();
}

void HobgobStep() {
    gTester.singleStep = 1;
    HobgobResume();
}

void HobgobStop() {
    if (gTester.state == 0) return;
    SetHooks(false, false, false);
    gTester.state = 0;
    gTester.stopTime = Now();
    Redraw();
}

void HobgobSetDisplayOff(uint8_t off) {
    gTester.displayOff = off ? 1 : 0;
    Redraw();
}

void HobgobGetStatus(HobgobStatus* status) {
    if (!status) return;
    status->state = gTester.state;
    status->count = gTester.count;
    status->elapsed = gTester.state == 1 ? Now() - gTester.startTime : gTester.stopTime - gTester.startTime;
    status->seed = gTester.seed;
    status->limit = gTester.limit;
}

void HobgobSetAppList(uint16_t count, const uint32_t* creators, uint32_t firstCreator) {
    std::free(gTester.apps);
    gTester.apps = nullptr;
    gTester.appCount = 0;
    if (count > 0 && creators) {
        gTester.apps = static_cast<AppEntry*>(std::calloc(count, sizeof(AppEntry)));
        if (gTester.apps) {
            gTester.appCount = count;
            for (uint16_t i = 0; i < count; ++i) gTester.apps[i] = {FindApp(creators[i]), creators[i]};
        }
    }
    gTester.firstApp = firstCreator ? FindApp(firstCreator) : 0;
}

bool HobgobGetAppList(uint16_t* count, uint32_t** list, uint32_t* first) {
    if (gTester.appCount == 0) return false;
    auto* creators = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * gTester.appCount));
    if (!creators) return false;
    for (uint16_t i = 0; i < gTester.appCount; ++i) creators[i] = gTester.apps[i].creator;
    if (count) *count = gTester.appCount;
    if (list) *list = creators;
    else std::free(creators);
    if (first) *first = gTester.apps[0].creator;
    return true;
}

bool PrvHALTesterDisplayOff() { return gTester.state == 1 && gTester.displayOff; }
void PrvHALTesterSetDisplayOff(bool off) { gTester.displayOff = off ? 1 : 0; }
void PrvHALTesterSetState(uint8_t state) { gTester.state = state; }

void PrvHALTesterInitialize() {
    gTester.state = 0;
    SetHooks(false, false, false);
}
void PrvHALTesterDispose() {}

}  // namespace kez
