// Text length, copy and compare (system slots 486, 482, 492, 480).
#include <cstring>

#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

uint16_t StandinStrLen(const char* text) {
    return text ? static_cast<uint16_t>(std::strlen(text)) : 0;
}
VANTOR_OS_SLOT(StrLen, StandinStrLen)

char* StandinStrCopy(char* destination, const char* source) {
    if (destination && source) std::strcpy(destination, source);
    return destination;
}
VANTOR_OS_SLOT(StrCopy, StandinStrCopy)

// Copies at most `count` characters; a shorter source is terminated (and the rest zero-filled).
char* StandinStrNCopy(char* destination, const char* source, int16_t count) {
    if (destination && source && count > 0) std::strncpy(destination, source, static_cast<size_t>(count));
    return destination;
}
VANTOR_OS_SLOT(StrNCopy, StandinStrNCopy)

int16_t StandinStrCompare(const char* a, const char* b) {
    int c = std::strcmp(a ? a : "", b ? b : "");
    return static_cast<int16_t>(c < 0 ? -1 : c > 0 ? 1 : 0);
}
VANTOR_OS_SLOT(StrCompare, StandinStrCompare)

}  // namespace
}  // namespace vantor::os
