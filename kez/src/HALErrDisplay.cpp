// The OS's error dialog (export slot 21).
#include <cstdio>
#include <cstdlib>

#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"

namespace kez {
namespace {

// Without a main window there is nobody to ask: the message goes to standard error and the
// process ends at once.
uint32_t HALErrDisplay(const char* message, uint8_t /*flagA*/, uint32_t* /*answer*/, uint8_t /*flagB*/) {
    if (!message) message = "";
    KEZ_CALL(HALTrace, 0xF100, "HALErrDisplay: [%s]", message);
    std::fprintf(stderr, "HALErrDisplay: [%s]\n", message);
    std::fflush(stderr);
    std::abort();
}
KEZ_SLOT(HALErrDisplay, HALErrDisplay)

}  // namespace
}  // namespace kez
