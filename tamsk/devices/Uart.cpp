#include "tamsk/devices/Uart.h"

namespace tamsk {

uint32_t UartRead(uint32_t) { return 0; }
void UartWrite(uint32_t, uint32_t) {}
void UartService(unsigned) {}
void UartTransmitPacing(uint32_t) {}
void UartWake(uint32_t) {}
void UartSetup(int32_t) {}
void UartSave(int32_t) {}

}  // namespace tamsk
