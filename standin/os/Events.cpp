// The OS event queue (system slots 517 and 521): events in order, and a nil event (type 0) when
// none comes within the time-out. While an application runs, the shutdown key asks it to stop
// (an application-stop event) and is held back until it has ended. While the attention indicator
// blinks, the wait wakes for each of its phases and has it drawn on the waiting task.
#include <chrono>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "standin/os/SlotRegistration.h"
#include "standin/os/ui/UiDialog.h"

namespace vantor::os {
namespace {

constexpr uint16_t kAppStopEvent = 22;

struct EventQueue {
    std::mutex mutex;
    std::condition_variable available;
    std::deque<SysEventType> events;
    bool applicationRunning = false;
    bool shutdownHeld = false;
    SysEventType held{};
};

EventQueue& Q() {
    static EventQueue queue;
    return queue;
}

void StandinEvtAddEventToQueue(const SysEventType* event) {
    if (!event) return;
    auto& q = Q();
    std::lock_guard lock(q.mutex);
    q.events.push_back(*event);
    q.available.notify_one();
}
VANTOR_OS_SLOT(EvtAddEventToQueue, StandinEvtAddEventToQueue)

// A negative time-out waits for ever.
void StandinEvtGetEvent(SysEventType* event, int32_t timeoutTicks) {
    if (!event) return;
    auto& q = Q();
    using Clock = std::chrono::steady_clock;
    const bool forever = timeoutTicks < 0;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(forever ? 0 : int64_t{timeoutTicks} * 1000 / kTicksPerSecond);
    std::unique_lock lock(q.mutex);
    auto ready = [&] { return !q.events.empty(); };
    for (;;) {
        // The indicator takes the attention manager's lock, which is held while it queues events.
        lock.unlock();
        ui::AttnIndicatorCheckBlink();
        const int32_t blink = ui::AttnIndicatorTicksTillNextBlink();
        lock.lock();
        if (ready()) break;
        Clock::time_point until = deadline;
        if (blink >= 0) {
            const Clock::time_point next =
                Clock::now() + std::chrono::milliseconds(int64_t{blink} * 1000 / kTicksPerSecond);
            if (forever || next < until) until = next;
        } else if (forever) {
            q.available.wait(lock, ready);
            break;
        }
        q.available.wait_until(lock, until, ready);
        if (ready() || (!forever && Clock::now() >= deadline)) break;
    }
    if (q.events.empty()) {
        *event = SysEventType{};
        return;
    }
    *event = q.events.front();
    q.events.pop_front();
    uint16_t character;
    std::memcpy(&character, event->data, 2);
    if (q.applicationRunning && event->eType == kKeyDownEvent && character == kShutdownCharacter) {
        q.held = *event;
        q.shutdownHeld = true;
        *event = SysEventType{};
        event->eType = kAppStopEvent;
    }
}
VANTOR_OS_SLOT(EvtGetEvent, StandinEvtGetEvent)

}  // namespace

void ResetEvents() {
    std::lock_guard lock(Q().mutex);
    Q().events.clear();
}

void SetApplicationRunning(bool running) {
    auto& q = Q();
    std::lock_guard lock(q.mutex);
    q.applicationRunning = running;
    if (!running && q.shutdownHeld) {
        q.shutdownHeld = false;
        q.events.push_front(q.held);
        q.available.notify_one();
    }
}

size_t PendingEvents() {
    std::lock_guard lock(Q().mutex);
    return Q().events.size();
}

}  // namespace vantor::os
