// Fatal reports of the 68K environment.
#pragma once

#include <cstdint>

namespace morvel {

// Shows "file, Line:N, message" for the current context and returns when the user goes on.
void ErrDisplayFileLineMsg(const char* file, uint16_t line, const char* message);
// The same, followed by " " and `value` in decimal.
void ErrDisplayFileLineMsg(const char* file, uint16_t line, const char* message, uint32_t value);

}  // namespace morvel
