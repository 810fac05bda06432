#include "morvel/traps/MorvelError.h"

#include <cstdio>

#include "morvel/glue/MorvelOs.h"

namespace morvel {

void ErrDisplayFileLineMsg(const char* file, uint16_t line, const char* message) {
    if (!SysTableBound()) {
        std::fprintf(stderr, "%s, Line:%u, %s\n", file, static_cast<unsigned>(line), message);
        return;
    }
    SysSlot<SysErrDisplayFileLineMsgFn>(kSysErrDisplayFileLineMsg)(file, line, message);
}

}  // namespace morvel
