// The services that Boot starts and Shutdown stops, besides the kernel layer (KAL.h), the event
// queue (HALEvent.h) and memory (HALMemory.h): power, keys, the platform layer, the random UI-event
// tester, the virtual mouse and the remote-access server.
#pragma once

#include <cstdint>

typedef struct _GdkEventKey GdkEventKey;

namespace kez {

void PrvHALInfoInitialize();
void PrvHALPowerInitialize();       // power mode 1
void PrvHALAutoOffInitialize();
void PrvHALLedVibratorInitialize();
void PrvHALLedVibratorOff();
void PrvPALInitialize();
void PrvPALDispose();
void PrvHALTesterInitialize();
void PrvHALTesterDispose();
// The virtual mouse: starts its pointer thread when the configuration enables it; stops it.
uint16_t PrvHALVirtualMouseStart();
uint16_t PrvHALVirtualMouseStop();
void PrvHALSoundDispose();
void PrvPALExgIrCloseDialogs();

// The remote-access server.
void PrvGRASServerStart();
void PrvGRASServerStop();
bool PrvGRASServerIsRunning();

// The sleep flag of the power layer and the display-off flag of the random UI-event tester, which
// the painter shows as overlays.
bool PrvHALPowerIsSleeping();
// Wakes a task sleeping in HALPowerSleep (a pen, key or alarm event was posted).
void PrvHALPowerWake();
void PrvHALPowerSetSleeping(bool sleeping);
// The tester's display is off while it runs.
bool PrvHALTesterDisplayOff();
void PrvHALTesterSetDisplayOff(bool off);
// For tests: the tester's state (1 running) without a start.
void PrvHALTesterSetState(uint8_t state);

// Offers a key (with its hard-key mask) to the virtual mouse; true when it takes it.
bool PrvHALVirtualMouseHandleKey(GdkEventKey* event, uint32_t mask);
// Raises the debug break.
void PrvHALDebugBreak();
// Settings: forgets the serial number read for the previous configuration.
void PrvHALSettingsInitialize();

}  // namespace kez
