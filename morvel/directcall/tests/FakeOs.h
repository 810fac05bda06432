// What the direct-call tests put in place of Kez and the UI library: timers that fire on a task of
// their own when started, Kez's empty entry 173 recording its arguments, and forms with an id, an
// active form and an event handler per form. Registered with the stand-in's binder by Install().
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/ModuleInterface.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "standin/os/StandinOs.h"

namespace morvel::directcall::test {

struct FakeForm {
    uint16_t id;
};

struct FakeOs {
    static inline std::mutex lock;
    // Kez.
    static inline std::vector<std::pair<uint32_t, uint32_t>> null173;
    struct Timer {
        vantor::KezTimerCallback callback;
        uint32_t argument;
    };
    static inline std::map<uint32_t, Timer> timers;
    static inline uint32_t nextTimer = 1;
    static inline std::vector<std::thread> firing;
    // UI.
    static inline FakeForm* active = nullptr;
    static inline std::map<const void*, uint8_t (*)(vantor::SysEventType*)> handlers;
    static inline std::vector<const void*> handlerCalls;

    static uint32_t Zero() { return 0; }
    static void Null173(uint32_t a, uint32_t b) {
        std::lock_guard<std::mutex> hold(lock);
        null173.push_back({a, b});
    }
    static uint16_t TimerCreate(uint32_t* id, uint32_t, vantor::KezTimerCallback callback, uint32_t argument) {
        std::lock_guard<std::mutex> hold(lock);
        *id = nextTimer++;
        timers[*id] = {callback, argument};
        return 0;
    }
    // Fires the timer once on a thread of its own, as the OS's timer task would.
    static uint16_t TimerStart(uint32_t id, uint32_t) {
        std::lock_guard<std::mutex> hold(lock);
        auto it = timers.find(id);
        if (it == timers.end()) return vantor::kalErrBadID;
        Timer t = it->second;
        firing.emplace_back([t] { t.callback(t.argument); });
        return 0;
    }
    static uint16_t TimerGetUserData(uint32_t id, uint32_t* argument) {
        std::lock_guard<std::mutex> hold(lock);
        auto it = timers.find(id);
        if (it == timers.end()) return vantor::kalErrBadID;
        *argument = it->second.argument;
        return 0;
    }
    static uint16_t TimerDelete(uint32_t id) {
        std::lock_guard<std::mutex> hold(lock);
        return timers.erase(id) ? 0 : vantor::kalErrBadID;
    }
    static void* ActiveForm() { return active; }
    static uint16_t FormId(void* form) { return form ? static_cast<FakeForm*>(form)->id : 0; }
    static void SetEventHandler(void* form, uint8_t (*handler)(vantor::SysEventType*)) {
        std::lock_guard<std::mutex> hold(lock);
        handlers[form] = handler;
        handlerCalls.push_back(form);
    }

    static vantor::ModuleProc* KezTable() {
        static vantor::ModuleProc table[vantor::kKezSlots];
        for (auto& e : table) e = reinterpret_cast<vantor::ModuleProc>(&Zero);
        Put(table, vantor::kezslot::HALNullEntry173, &Null173);
        Put(table, vantor::kezslot::KALTimerCreate, &TimerCreate);
        Put(table, vantor::kezslot::KALTimerStart, &TimerStart);
        Put(table, vantor::kezslot::KALTimerGetUserData, &TimerGetUserData);
        Put(table, vantor::kezslot::KALTimerDelete, &TimerDelete);
        return table;
    }
    static vantor::ModuleProc* UiTable() {
        static vantor::ModuleProc table[vantor::kUiLibSlots];
        for (auto& e : table) e = reinterpret_cast<vantor::ModuleProc>(&Zero);
        Put(table, vantor::uislot::FrmGetActiveForm, &ActiveForm);
        Put(table, vantor::uislot::FrmGetFormId, &FormId);
        Put(table, vantor::uislot::FrmSetEventHandler, &SetEventHandler);
        return table;
    }
    template <typename F>
    static void Put(vantor::ModuleProc* table, uint16_t slot, F* f) {
        table[slot] = reinterpret_cast<vantor::ModuleProc>(f);
    }

    // Registers both with the binder and forgets what earlier tests left.
    static void Install() {
        JoinTimers();
        std::lock_guard<std::mutex> hold(lock);
        vantor::os::RegisterTable(vantor::kKezType, vantor::kKezCreator, KezTable(), vantor::kKezSlots);
        vantor::os::RegisterTable(vantor::kUiLibType, vantor::kUiLibCreator, UiTable(), vantor::kUiLibSlots);
        null173.clear();
        timers.clear();
        active = nullptr;
        handlers.clear();
        handlerCalls.clear();
    }
    static void JoinTimers() {
        std::vector<std::thread> threads;
        {
            std::lock_guard<std::mutex> hold(lock);
            threads.swap(firing);
        }
        for (auto& t : threads) t.join();
    }
};

}  // namespace morvel::directcall::test
