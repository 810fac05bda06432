#include "common/FourCC.h"

namespace vantor {

std::string FourCCToText(uint32_t code) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(code >> (24 - 8 * i));
    return s;
}

std::string FourCCToPrintable(uint32_t code) {
    std::string s = FourCCToText(code);
    for (char& c : s) {
        if (c < 0x20 || c > 0x7E) c = '.';
    }
    return s;
}

std::optional<uint32_t> FourCCFromText(std::string_view text) {
    if (text.size() != 4) return std::nullopt;
    return FourCC(text[0], text[1], text[2], text[3]);
}

}  // namespace vantor
