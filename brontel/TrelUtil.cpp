#include "brontel/TrelUtil.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/BigEndian.h"
#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"

namespace brontel {
namespace {

namespace sys = vantor::sys;
namespace slot = vantor::sysslot;
using vantor::glue::SysCall;

constexpr const char* kSource = "Libraries/TrelUtil/Src/TrelUtil";
constexpr size_t kMaxFormat = 50;
constexpr size_t kTraceBuffer = 96;
constexpr size_t kMaxTrace = 75;

void Report(uint16_t line, const char* message) { sys::ErrDisplayFileLineMsg(kSource, line, message); }

void AppendToLog(const char* text, size_t length) {
    SysCall<void(const void*, uint16_t, uint8_t)>(slot::DlkSetLogEntry, text, static_cast<uint16_t>(length), 1);
}

}  // namespace

void TrelUtilSyncLogTrace(const char* format, ...) {
    if (!format) {
        Report(__LINE__, "NULL string passed");
        return;
    }
    if (std::strlen(format) > kMaxFormat) Report(__LINE__, "TrelUtilSyncLogTrace fmt str too big");
    // The text is formatted into a buffer of its own size: a longer result is cut, never written
    // past it, and reported.
    char text[kTraceBuffer];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) return;
    if (static_cast<size_t>(n) > kMaxTrace) Report(__LINE__, "TrelUtilSyncLogTrace buf overflow");
    AppendToLog(text, std::strlen(text));
}

void TrelUtilLogString(const char* text) {
    if (!text) {
        Report(__LINE__, "null arg");
        return;
    }
    AppendToLog(text, std::strlen(text));
}

uint32_t TrelUtilArgHeaderPut(uint8_t* out, uint16_t tag, uint32_t length) {
    vantor::WriteBE16(out, tag);
    vantor::WriteBE32(out + 2, length);
    return kArgHeaderSize;
}

bool TrelUtilArgListParse(const uint8_t* list, uint32_t listLength, uint32_t count, uint16_t wanted,
                          const uint8_t** data, uint32_t* length) {
    *data = nullptr;
    *length = 0;
    bool sound = list != nullptr;
    if (sound && count > 0) {
        // Offsets in 64 bits: a hostile length can neither wrap nor run the walk backwards.
        uint64_t at = 0;
        for (uint32_t i = 0; i < count; ++i) {
            if (at + kArgHeaderSize > listLength) {
                sound = false;
                break;
            }
            const uint16_t tag = vantor::ReadBE16(list + at);
            const uint64_t n = vantor::ReadBE32(list + at + 2);
            if (tag == wanted) {
                sound = at + kArgHeaderSize + n <= listLength;
                if (sound) {
                    *data = list + at + kArgHeaderSize;
                    *length = static_cast<uint32_t>(n);
                }
                break;
            }
            // An item whose data runs past the list makes the list unsound even when it is the last.
            if (at + kArgHeaderSize + n > listLength) {
                sound = false;
                break;
            }
            at += kArgHeaderSize + n + (n & 1);
        }
    }
    if (!sound) {
        Report(__LINE__, "bad TREL Util arg list");
        *data = nullptr;
        *length = 0;
    }
    return sound;
}

void BrontelStatusLines(const char* label, uint32_t value, int16_t* y) {
    if (!y) {
        Report(__LINE__, "null arg");
        return;
    }
    const int16_t labelLength = static_cast<int16_t>(label ? std::strlen(label) : 0);
    const int16_t width =
        SysCall<int16_t(const char*, int16_t)>(slot::FntCharsWidth, label ? label : "", labelLength);
    const uint8_t oldFont = SysCall<uint8_t(uint8_t)>(slot::FntSetFont, 0);
    SysCall<void(const char*, int16_t, int16_t, int16_t)>(slot::WinDrawChars, label ? label : "", labelLength, 0,
                                                         *y);
    char digits[12];
    SysCall<char*(char*, uint32_t)>(slot::StrIToH, digits, value);
    SysCall<void(const char*, int16_t, int16_t, int16_t)>(slot::WinDrawChars, digits, 8, width, *y);
    SysCall<uint8_t(uint8_t)>(slot::FntSetFont, oldFont);
    *y = static_cast<int16_t>(*y + 9);
}

}  // namespace brontel
