// The device window of kez-host: a GTK window with a drawing area of the configured frame size,
// handed to Kez's painter, whose mouse, key and expose events go to Kez.
#pragma once

#include <cstdint>

#include "common/module/KezBootConfig.h"

namespace vantor {

class HostWindow {
public:
    HostWindow(void* kez, const KezBootConfig& config);
    ~HostWindow();
    // Runs the window's main loop on this thread until `waitForExit` (run on another thread)
    // returns, and answers its exit type. Closing the window asks Kez to quit.
    int32_t Run(int32_t (*waitForExit)());

private:
    void* kez_;
    const KezBootConfig& config_;
    struct Widgets;
    Widgets* widgets_;
};

}  // namespace vantor
