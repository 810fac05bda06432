// Character search and the formatter of formatted print (system slots 479 and 496). The formatter
// takes its values as an array of 32-bit entries, one per value that the format consumes.
#include <cstdio>
#include <cstring>
#include <string>

#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

const char* StandinStrChr(const char* text, uint16_t c) {
    return text ? std::strchr(text, static_cast<char>(c)) : nullptr;
}
VANTOR_OS_SLOT(StrChr, StandinStrChr)

// Appends one formatted value, however wide the field.
template <typename T>
void Append(std::string& out, const std::string& spec, T value) {
    const int n = std::snprintf(nullptr, 0, spec.c_str(), value);
    if (n <= 0) return;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(n) + 1);
    std::snprintf(&out[at], static_cast<size_t>(n) + 1, spec.c_str(), value);
    out.resize(at + static_cast<size_t>(n));
}

// Supports flags, width (a '*' takes an entry), precision, the size letters h and l, and the
// conversions d i u o x X c s and %%. The result is the length of the text written.
int16_t StandinStrPrintF(char* destination, const char* format, const uint32_t* args) {
    if (!destination || !format) return 0;
    std::string out;
    for (const char* c = format; *c;) {
        if (*c != '%') {
            out += *c++;
            continue;
        }
        std::string spec = "%";
        ++c;
        while (*c && std::strchr("+ -0#", *c)) spec += *c++;
        if (*c == '*') {
            spec += std::to_string(static_cast<int32_t>(*args++));
            ++c;
        }
        while (*c >= '0' && *c <= '9') spec += *c++;
        if (*c == '.') {
            spec += *c++;
            while (*c >= '0' && *c <= '9') spec += *c++;
        }
        const bool half = *c == 'h';
        if (*c == 'h' || *c == 'l' || *c == 'L') ++c;
        const char conversion = *c;
        if (!conversion) break;
        ++c;
        switch (conversion) {
            case 'd':
            case 'i': {
                const uint32_t v = *args++;
                Append(out, spec + 'd', half ? static_cast<int>(static_cast<int16_t>(v)) : static_cast<int>(v));
                break;
            }
            case 'u':
            case 'o':
            case 'x':
            case 'X': {
                const uint32_t v = *args++;
                Append(out, spec + conversion, half ? v & 0xFFFF : v);
                break;
            }
            case 'c':
            case 'C': Append(out, spec + 'c', static_cast<int>(*args++ & 0xFF)); break;
            case 's': {
                const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(*args++));
                Append(out, spec + 's', text ? text : "");
                break;
            }
            default: out += conversion; break;  // "%%" and what is not a conversion
        }
    }
    std::memcpy(destination, out.c_str(), out.size() + 1);
    return static_cast<int16_t>(out.size());
}
VANTOR_OS_SLOT(StrPrintF, StandinStrPrintF)

}  // namespace
}  // namespace vantor::os
