// The services that Boot starts and Shutdown stops, besides the kernel layer (KAL.h), the event
// queue (HALEvent.h) and memory (HALMemory.h). Those of Parts not built yet are inert seams here,
// so that Boot and Shutdown already follow their fixed order.
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
void PrvHALVirtualMouseInitialize();
void PrvHALVirtualMouseStop();
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
bool PrvHALTesterDisplayOff();
void PrvHALTesterSetDisplayOff(bool off);

// Offers a key to the virtual mouse; true when it takes it.
bool PrvHALVirtualMouseKey(GdkEventKey* event, uint32_t mask);
// Raises the debug break.
void PrvHALDebugBreak();
// Settings: forgets the serial number read for the previous configuration.
void PrvHALSettingsInitialize();

}  // namespace kez
