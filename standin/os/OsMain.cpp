// The stand-in OS main: what the OS does on Kez's 'main' task, reduced to what boots, installs the
// autoloaded databases and modules, takes input and shuts down.
#include <strings.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "common/FourCC.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

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

constexpr uint16_t kAutoOffCharacter = 0x0114;

// One line per event the loop takes, so that a test of the running program sees them in order.
void TraceEvent(uint16_t type, int16_t x, int16_t y, uint16_t character) {
    auto trace = reinterpret_cast<syssig::SysTrace*>(SystemTable()[sysslot::SysTrace]);
    if (type == kPenDownEvent || type == kPenUpEvent)
        trace(0x0100, "OS main: event pen %s %d %d", type == kPenDownEvent ? "down" : "up", x, y);
    else if (type == kKeyDownEvent)
        trace(0x0100, "OS main: event key 0x%X", character);
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

// Imports the database files of Kez's autoload directory, then installs the modules that came as
// databases: a database whose name ends in ".dll" names a module library, which Kez's loader
// loads by that name (its launch code runs) and the binder then offers by the database's type
// and creator.
void InstallAutoloadedModules() {
    using ImportProc = void(uint16_t (*)(const void*, uint32_t, uint32_t*));
    Kez<ImportProc>(kezslot::HALImportAutoloadFiles, &CreateDatabaseFromImage);
    std::vector<DatabaseEntry> modules;
    FindDatabaseID([&](const DatabaseEntry& db) {
        if (db.name.size() > 4 && strcasecmp(db.name.c_str() + db.name.size() - 4, ".dll") == 0) modules.push_back(db);
        return false;
    });
    for (const DatabaseEntry& db : modules) {
        // The loader keeps the name it was given for as long as the module stays loaded.
        static std::deque<std::string> names;
        const std::string& name = names.emplace_back(db.name);
        RALLoadDescriptor descriptor{};
        descriptor.words[3] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(name.c_str()));
        // Asking for the entry runs the module's load code, as an installed library's install does
        // (the network library creates its globals there).
        uint32_t refNum = 0, entry = 0;
        uint16_t err = Kez<kezsig::RALLoadModule>(kezslot::RALLoadModule, &descriptor, 0u, &entry, &refNum);
        char line[128];
        if (err) {
            std::snprintf(line, sizeof line, "cannot install %s (error 0x%X)", name.c_str(), err);
        } else {
            RegisterLoadedModule(db.type, db.creator, refNum);
            std::snprintf(line, sizeof line, "installed %s (reference %u)", name.c_str(), refNum);
        }
        Trace(line);
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
    // The system's version (5.0), which libraries check when they install.
    reinterpret_cast<syssig::FtrSet*>(SystemTable()[sysslot::FtrSet])(FourCC("psys"), 1, 0x05000000);
    InstallAutoloadedModules();
    Kez<uint16_t()>(kezslot::HALSoundInitialize);
    if (options.holdBeforeStage5) {
        Trace("holding before stage 5");
        for (;;) Kez<kezsig::KALTaskDelay>(kezslot::KALTaskDelay, 1000);
    }
    Kez<kezsig::HALSetInitStage>(kezslot::HALSetInitStage, 5u);
    Trace("up");
    if (options.drawTestPicture) DrawTestPicture();
    if (options.autoOffSeconds)
        Kez<kezsig::HALPowerSetAutoOffTime>(kezslot::HALPowerSetAutoOffTime, options.autoOffSeconds);
    if (boot == 1 && options.resetOnFirstBoot)
        Kez<kezsig::HALReset>(kezslot::HALReset, static_cast<uint8_t>(options.resetOnFirstBoot == 2));

    // The quit time runs from here, whether the OS waits in its own loop or an application runs.
    std::mutex timerMutex;
    std::condition_variable timerStop;
    bool ended = false;
    std::atomic<bool> quitAsked{false};
    auto askQuit = [&] {
        if (quitAsked.exchange(true)) return;
        Trace("quitting");
        Kez<kezsig::HALQuit>(kezslot::HALQuit, uint8_t{0});
    };
    std::thread timer;
    if (options.quitAfterMs) {
        // The quit waits for this task to reach stage 7, so it is asked without the timer's lock.
        timer = std::thread([&] {
            {
                std::unique_lock lock(timerMutex);
                if (timerStop.wait_for(lock, std::chrono::milliseconds(options.quitAfterMs), [&] { return ended; }))
                    return;
            }
            askQuit();
        });
    }
    // Stops and joins the timer however this task ends: when an application does not stop in
    // time, the shutdown cancels the task, and the unwinding must not meet a joinable thread.
    struct TimerEnd {
        std::thread& timer;
        std::mutex& mutex;
        std::condition_variable& stop;
        bool& ended;
        void Finish() {
            {
                std::lock_guard lock(mutex);
                ended = true;
            }
            stop.notify_all();
            if (timer.joinable()) timer.join();
        }
        ~TimerEnd() { Finish(); }
    } timerEnd{timer, timerMutex, timerStop, ended};
    if (!options.launchApp.empty()) LaunchApplication(options.launchApp.c_str());

    auto* getEvent = reinterpret_cast<syssig::EvtGetEvent*>(SystemTable()[sysslot::EvtGetEvent]);
    using HooksProc = void(uint32_t*, uint32_t*, uint32_t*);
    for (;;) {
        SysEventType event{};
        getEvent(&event, 50);
        // Without an event of its own the loop asks the random UI-event tester's step hook, when
        // one is set, for the next.
        if (event.eType == 0) {
            uint32_t step = 0;
            Kez<HooksProc>(kezslot::HALSettingsGetScreenExtra, &step, nullptr, nullptr);
            if (step) reinterpret_cast<void (*)()>(static_cast<uintptr_t>(step))();
            continue;
        }
        uint16_t character;
        std::memcpy(&character, event.data, 2);
        if (event.eType == kKeyDownEvent && character == kShutdownCharacter) break;
        TraceEvent(event.eType, event.screenX, event.screenY, character);
        // The auto-off key puts the device to sleep until a pen or key event.
        if (event.eType == kKeyDownEvent && character == kAutoOffCharacter) {
            Trace("auto-off: sleeping");
            Kez<kezsig::HALPowerSleep>(kezslot::HALPowerSleep);
            Trace("awake");
        }
    }
    // Stage 7 comes before the timer's join: a quit the timer asked waits for the stage.
    Trace("shutting down");
    Kez<kezsig::HALSetInitStage>(kezslot::HALSetInitStage, 7u);
    timerEnd.Finish();
}

}  // namespace vantor::os
