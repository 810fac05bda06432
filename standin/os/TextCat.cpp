// Appending text (system slot 478) and appending with a size limit (489).
#include <cstring>

#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

// Appends until the destination holds `size` - 1 characters; the result is always terminated.
char* StandinStrNCat(char* destination, const char* source, int16_t size) {
    if (!destination || !source || size <= 0) return destination;
    size_t length = std::strlen(destination);
    while (length + 1 < static_cast<size_t>(size) && *source) destination[length++] = *source++;
    if (length < static_cast<size_t>(size)) destination[length] = 0;
    return destination;
}
VANTOR_OS_SLOT(StrNCat, StandinStrNCat)

char* StandinStrCat(char* destination, const char* source) {
    if (destination && source) std::strcat(destination, source);
    return destination;
}
VANTOR_OS_SLOT(StrCat, StandinStrCat)

}  // namespace
}  // namespace vantor::os
