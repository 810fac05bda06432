// Trap glue of the exchange manager, the Imc stream readers and writers and UdaMgrDispatch: the
// exchange socket converted between its two layouts around every call, and native callbacks that
// run the 68K procedures a caller hands over.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

void ExchangeGlueInstall(TrapHandler* table);

// Answer of a read or write callback when no 68K context is current.
constexpr uint16_t kErrExgNoContext = 0x150A;

// The callbacks the OS calls while ExgDBRead, ExgDBWrite or an Imc call is in progress. Each finds
// the current 68K context and the procedure the trap left in its argument area.
uint16_t ExgReadWriteBridge(void* data, uint32_t* size, void* user);
uint8_t ExgDeleteBridge(const char* name, uint16_t version, uint32_t dbID, void* user);
uint16_t ImcGetCharBridge(uint32_t stream);
void ImcPutCharBridge(uint32_t stream, uint32_t text);

}  // namespace morvel
