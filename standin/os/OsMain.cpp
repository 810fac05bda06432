// The stand-in OS main: what the OS does on Kez's 'main' task, reduced to what boots, takes input
// and shuts down.
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>

#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

constexpr uint16_t kShutdownCharacter = 0x0140;
constexpr uint32_t kFormatted = 0xFEEDFACE;

struct OsMainState {
    std::mutex mutex;
    OsMainOptions options;
    std::vector<OsMainEvent> events;
    int boots = 0;
};

OsMainState& S() {
    static OsMainState state;
    return state;
}

template <typename Sig, typename... Args>
auto Kez(uint16_t slot, Args... args) {
    return reinterpret_cast<Sig*>(KezTable()[slot])(args...);
}

void Post(const OsMainEvent& e) {
    {
        std::lock_guard lock(S().mutex);
        S().events.push_back(e);
    }
    SysEventType event{};
    event.eType = e.type;
    event.penDown = e.type == kPenDownEvent;
    event.screenX = e.x;
    event.screenY = e.y;
    std::memcpy(event.data, &e.character, 2);
    std::memcpy(event.data + 2, &e.keyCode, 2);
    std::memcpy(event.data + 4, &e.modifiers, 2);
    reinterpret_cast<syssig::EvtAddEventToQueue*>(SystemTable()[sysslot::EvtAddEventToQueue])(&event);
}

uint16_t OnPen(void* record) {
    auto* pen = static_cast<KezPenEventRecord*>(record);
    if (!pen) return 0xFFFF;
    bool up = pen->x == 0xFFFF && pen->y == 0xFFFF;
    Post({up ? kPenUpEvent : kPenDownEvent, static_cast<int16_t>(pen->x), static_cast<int16_t>(pen->y), 0, 0, 0});
    return 0;
}

uint16_t OnKey(void* record) {
    auto* key = static_cast<KezKeyEventRecord*>(record);
    if (!key) return 0xFFFF;
    Post({kKeyDownEvent, 0, 0, key->character, key->keyCode, key->modifiers});
    return 0;
}

uint16_t OnAlarm(void*) {
    Post({kAlarmEvent, 0, 0, 0, 0, 0});
    return 0;
}

void Trace(const char* text) {
    reinterpret_cast<syssig::SysTrace*>(SystemTable()[sysslot::SysTrace])(0x0100, "OS main: %s", text);
}

// Formats the storage on a hard reset and counts the boots in its second word.
void TouchStorage(uint8_t hardReset) {
    KezMemoryAreas* areas = Kez<kezsig::HALMemoryGetAreas>(kezslot::HALMemoryGetAreas);
    for (uint32_t i = 0; areas && i < areas->count; ++i) {
        if (areas->areas[i].kind != 2) continue;
        auto* storage = reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(areas->areas[i].base));
        if (hardReset || storage[0] != kFormatted) {
            storage[0] = kFormatted;
            storage[1] = 0;
            KezLocale locale;
            if (Kez<kezsig::HALSettingsGetLocale>(kezslot::HALSettingsGetLocale, &locale) == 1) {
                std::memcpy(reinterpret_cast<uint8_t*>(storage) + 96, &locale.language, 2);
                std::memcpy(reinterpret_cast<uint8_t*>(storage) + 98, &locale.country, 2);
            }
        }
        ++storage[1];
    }
}

}  // namespace

void ResetEvents();
void DrawTestPicture();

void SetOsMainOptions(const OsMainOptions& options) {
    std::lock_guard lock(S().mutex);
    S().options = options;
    S().boots = 0;
    S().events.clear();
}

std::vector<OsMainEvent> OsMainEvents() {
    std::lock_guard lock(S().mutex);
    return S().events;
}

void StandinOsMain(uint8_t hardReset) {
    OsMainOptions options;
    int boot;
    {
        std::lock_guard lock(S().mutex);
        options = S().options;
        boot = ++S().boots;
    }
    if (!KezTable()) return;
    // A fresh event queue for each boot: the last run's shutdown key is no event of this one.
    ResetEvents();
    Trace(hardReset ? "started (hard reset)" : "started");
    Kez<kezsig::HALEventSetHandler>(kezslot::HALEventSetHandler, 0u, OnPen, nullptr);
    Kez<kezsig::HALEventSetHandler>(kezslot::HALEventSetHandler, 1u, OnKey, nullptr);
    Kez<kezsig::HALEventSetHandler>(kezslot::HALEventSetHandler, 2u, OnAlarm, nullptr);
    Kez<kezsig::HALSetInitStage>(kezslot::HALSetInitStage, 2u);
    TouchStorage(hardReset);
    if (options.holdBeforeStage5) {
        Trace("holding before stage 5");
        for (;;) Kez<kezsig::KALTaskDelay>(kezslot::KALTaskDelay, 1000);
    }
    Kez<kezsig::HALSetInitStage>(kezslot::HALSetInitStage, 5u);
    Trace("up");
    if (options.drawTestPicture) DrawTestPicture();
    if (boot == 1 && options.resetOnFirstBoot)
        Kez<kezsig::HALReset>(kezslot::HALReset, static_cast<uint8_t>(options.resetOnFirstBoot == 2));

    auto start = std::chrono::steady_clock::now();
    bool quitAsked = false;
    auto* getEvent = reinterpret_cast<syssig::EvtGetEvent*>(SystemTable()[sysslot::EvtGetEvent]);
    for (;;) {
        SysEventType event{};
        getEvent(&event, 50);
        uint16_t character;
        std::memcpy(&character, event.data, 2);
        if (event.eType == kKeyDownEvent && character == kShutdownCharacter) break;
        if (!quitAsked && options.quitAfterMs &&
            std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(options.quitAfterMs)) {
            quitAsked = true;
            Trace("quitting");
            Kez<kezsig::HALQuit>(kezslot::HALQuit, uint8_t{0});
        }
    }
    Trace("shutting down");
    Kez<kezsig::HALSetInitStage>(kezslot::HALSetInitStage, 7u);
}

}  // namespace vantor::os
