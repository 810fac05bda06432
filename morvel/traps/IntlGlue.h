// Trap glue of the international and text-services managers: character attributes, number
// separators and the selector traps of the locale, overlay, international text and text-services
// managers. Also the conversion of the locale record that other glue uses.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

// The locale record: 16-bit language and country; big-endian in 68K memory.
struct Locale {
    uint16_t language;
    uint16_t country;
};
static_assert(sizeof(Locale) == 4);

// Both do nothing for a null 68K pointer.
void LocaleToNative(Locale* native, uint32_t p68k);
void LocaleTo68K(const Locale* native, uint32_t p68k);

// A text-service code as a 68K caller writes it: a string of four characters (the first is the
// code's high byte), or an empty string for 0. False for any other length; reads stop at the first
// zero byte and never go beyond the fifth byte.
bool TsmCodeFromString(const char* text, uint32_t* code);

void IntlGlueInstall(TrapHandler* table);

}  // namespace morvel
