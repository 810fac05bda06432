// Notifications of the stand-in OS: callbacks registered directly (system slot 551), and their
// broadcast by a test.
#pragma once

#include <cstdint>

namespace vantor::os {

// Calls every callback registered for `type` with the details record; returns how many were called.
int NotifyBroadcastDirect(uint32_t type, void* details);

}  // namespace vantor::os
