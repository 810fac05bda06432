// The random UI-event tester's commands, status and application list, as the remote-access
// operations drive them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kez {

// The tester's status (20 bytes, host order): state (0 stopped, 1 running, 2 paused), events
// produced, elapsed seconds, seed and event limit.
struct HobgobStatus {
    uint32_t state;
    uint32_t count;
    uint32_t elapsed;
    uint32_t seed;
    uint32_t limit;
};
static_assert(sizeof(HobgobStatus) == 20);

void HobgobStart(uint32_t seed, uint32_t limit);  // only when stopped
void HobgobStop();
void HobgobPause();   // only when running
void HobgobResume();  // only when paused
void HobgobStep();    // resumes for one event
void HobgobSetDisplayOff(uint8_t off);
void HobgobGetStatus(HobgobStatus* status);
// Replaces the application list: each creator's newest 'appl' database; `firstCreator` names the
// application a start switches to (0: none).
void HobgobSetAppList(uint16_t count, const uint32_t* creators, uint32_t firstCreator);
// The list's creators (allocated with malloc; the caller frees them) and its first creator; false
// when the list is empty.
bool HobgobGetAppList(uint16_t* count, uint32_t** creators, uint32_t* first);

}  // namespace kez
