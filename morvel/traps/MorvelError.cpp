#include "morvel/traps/MorvelError.h"

#include "common/module/SystemCalls.h"

namespace morvel {

void ErrDisplayFileLineMsg(const char* file, uint16_t line, const char* message) {
    vantor::sys::ErrDisplayFileLineMsg(file, line, message);
}

}  // namespace morvel
