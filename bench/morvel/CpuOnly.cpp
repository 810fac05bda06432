// What the interpreter calls outside itself, for the x86-64 build of the benchmark: the kernels
// make no trap, and a report only needs to be seen.
#include <cstdio>

#include "morvel/traps/MorvelError.h"
#include "morvel/traps/TrapDispatch.h"

namespace morvel {

uint8_t TrapDispatch(EmulState*, uint16_t) { return 0; }

void ErrDisplayFileLineMsg(const char* file, uint16_t line, const char* message) {
    std::fprintf(stderr, "%s, Line:%u, %s\n", file, static_cast<unsigned>(line), message);
}
void ErrDisplayFileLineMsg(const char* file, uint16_t line, const char* message, uint32_t value) {
    std::fprintf(stderr, "%s, Line:%u, %s %u\n", file, static_cast<unsigned>(line), message, value);
}

}  // namespace morvel
