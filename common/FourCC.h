// Four-character codes: module, database and feature types and creators, task names, chunk tags.
// The first character is the high byte of the 32-bit value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantor {

constexpr uint32_t FourCC(char a, char b, char c, char d) {
    return (uint32_t{static_cast<uint8_t>(a)} << 24) | (uint32_t{static_cast<uint8_t>(b)} << 16) |
           (uint32_t{static_cast<uint8_t>(c)} << 8) | uint32_t{static_cast<uint8_t>(d)};
}
// FourCC("pkez"): the literal must have exactly four characters.
template <size_t N>
constexpr uint32_t FourCC(const char (&s)[N]) {
    static_assert(N == 5, "a four-character code has four characters");
    return FourCC(s[0], s[1], s[2], s[3]);
}

// The code's four characters, high byte first (bytes are taken as they are, NUL included).
std::string FourCCToText(uint32_t code);
// The same, with bytes outside printable ASCII shown as '.', for messages and listings.
std::string FourCCToPrintable(uint32_t code);
// The code of a text of exactly four characters; nothing for any other length.
std::optional<uint32_t> FourCCFromText(std::string_view text);

}  // namespace vantor
