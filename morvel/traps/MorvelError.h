// Fatal reports of the 68K environment.
#pragma once

#include <cstdint>

namespace morvel {

// Shows "file, Line:N, message" and returns when the user chooses to go on.
void ErrDisplayFileLineMsg(const char* file, uint16_t line, const char* message);

}  // namespace morvel
