// The platform layer's network connection: a desktop host is always connected, so connecting only
// traces and succeeds, and disconnecting only traces.
#include "kez/src/KezModule.h"

namespace kez {
namespace {

uint16_t PALNetConnect() {
    KEZ_CALL(HALTrace, 0xF400, "PALNetConnect()");
    return 0;
}
KEZ_SLOT(PALNetConnect, PALNetConnect)

void PALNetDisconnect() { KEZ_CALL(HALTrace, 0xF400, "PALNetDisconnect()"); }
KEZ_SLOT(PALNetDisconnect, PALNetDisconnect)

}  // namespace
}  // namespace kez
