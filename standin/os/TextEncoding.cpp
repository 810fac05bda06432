// The OS's text-encoding converter (system slot 617), between the host's encoding (6, UTF-8) and
// the device's (3, Latin-1): (new conversion, state, source, in/out source bytes, source encoding,
// destination or null, in/out destination bytes, destination encoding, substitution text and its
// length). With a null destination it only counts the bytes the conversion needs. A character the
// destination cannot hold becomes the substitution text.
#include <cstring>
#include <string>

#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

constexpr uint8_t kUtf8 = 6, kLatin1 = 3;
constexpr uint16_t txtErrUnknownEncoding = 0x3A02;
constexpr uint16_t txtErrNoCharMapping = 0x3A01;

// Decodes one UTF-8 character at `s` (n bytes left); answers its length, 1 for a bad byte.
size_t DecodeUtf8(const uint8_t* s, size_t n, uint32_t* code) {
    uint8_t c = s[0];
    size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || length > n) {
        *code = 0xFFFFFFFF;
        return 1;
    }
    uint32_t value = length == 1 ? c : c & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            *code = 0xFFFFFFFF;
            return 1;
        }
        value = value << 6 | (s[i] & 0x3F);
    }
    *code = value;
    return length;
}

uint16_t StandinTxtConvertEncoding(uint8_t, void*, const char* source, uint16_t* sourceBytes, uint8_t from,
                                   char* destination, uint16_t* destinationBytes, uint8_t to,
                                   const char* substitution, uint16_t substitutionLength) {
    if (!sourceBytes || !destinationBytes) return sysErrParamErr;
    if ((from != kUtf8 && from != kLatin1) || (to != kUtf8 && to != kLatin1)) return txtErrUnknownEncoding;
    const auto* s = reinterpret_cast<const uint8_t*>(source ? source : "");
    size_t n = source ? *sourceBytes : 0;
    std::string out;
    bool unmapped = false;
    for (size_t at = 0; at < n;) {
        uint32_t code;
        if (from == kUtf8) {
            at += DecodeUtf8(s + at, n - at, &code);
        } else {
            code = s[at++];
        }
        if (to == kLatin1) {
            if (code <= 0xFF) out.push_back(static_cast<char>(code));
            else {
                unmapped = true;
                if (substitution) out.append(substitution, substitutionLength);
            }
        } else if (code == 0xFFFFFFFF) {
            unmapped = true;
            if (substitution) out.append(substitution, substitutionLength);
        } else if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | code >> 6));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | code >> 12));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    if (out.size() > 0xFFFF) out.resize(0xFFFF);
    if (destination) {
        size_t copied = out.size() < *destinationBytes ? out.size() : *destinationBytes;
        std::memcpy(destination, out.data(), copied);
        *destinationBytes = static_cast<uint16_t>(copied);
    } else {
        *destinationBytes = static_cast<uint16_t>(out.size());
    }
    return unmapped && substitutionLength == 0 ? txtErrNoCharMapping : 0;
}
VANTOR_OS_LIBRARY_SLOT(System, 617, StandinTxtConvertEncoding)

}  // namespace
}  // namespace vantor::os
