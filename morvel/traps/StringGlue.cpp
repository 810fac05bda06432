#include "morvel/traps/StringGlue.h"

#include <cstring>

#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;

constexpr uint32_t kLocalArgEntries = 5;

int16_t Arg16(const EmulState* s, uint32_t offset) { return static_cast<int16_t>(GetArgUInt16(s, offset)); }

// ---- plain forwards ----

// (string, string) -> string in A0: StrCopy, StrCat, StrStr.
template <uint16_t Slot>
void TwoStringsToA0(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(SysCall<char*(char*, const char*)>(Slot, Str(GetArgPtr(s, 0)), Str(GetArgPtr(s, 4)))));
}
// (string, string, signed 16-bit count) -> string in A0: StrNCopy, StrNCat.
template <uint16_t Slot>
void TwoStringsCountToA0(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(SysCall<char*(char*, const char*, int16_t)>(Slot, Str(GetArgPtr(s, 0)),
                                                                    Str(GetArgPtr(s, 4)), Arg16(s, 8))));
}
// (string, string) -> 16-bit result: the comparisons.
template <uint16_t Slot>
void Compare(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, static_cast<uint16_t>(SysCall<int16_t(const char*, const char*)>(
                             Slot, Str(GetArgPtr(s, 0)), Str(GetArgPtr(s, 4)))));
}
// (string, string, 32-bit length) -> 16-bit result: the bounded comparisons.
template <uint16_t Slot>
void CompareN(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, static_cast<uint16_t>(SysCall<int16_t(const char*, const char*, uint32_t)>(
                             Slot, Str(GetArgPtr(s, 0)), Str(GetArgPtr(s, 4)), GetArgUInt32(s, 8))));
}
// (string, 32-bit value) -> string in A0: StrIToA, StrIToH.
template <uint16_t Slot>
void NumberToText(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(SysCall<char*(char*, int32_t)>(Slot, Str(GetArgPtr(s, 0)),
                                                      static_cast<int32_t>(GetArgUInt32(s, 4)))));
}
// (string, two separator characters) -> string in A0: StrLocalizeNumber, StrDelocalizeNumber.
template <uint16_t Slot>
void LocalizeNumber(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(SysCall<char*(char*, char, char)>(Slot, Str(GetArgPtr(s, 0)), GetArgInt8(s, 4),
                                                         GetArgInt8(s, 6))));
}

void TrapStrLen(EmulState* s, uint16_t) { SetResultD0UInt16(s, sys::StrLen(Str(GetArgPtr(s, 0)))); }
void TrapStrToLower(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(SysCall<char*(char*, const char*)>(slot::StrToLower, Str(GetArgPtr(s, 0)),
                                                          Str(GetArgPtr(s, 4)))));
}
void TrapStrChr(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(sys::StrChr(Str(GetArgPtr(s, 0)), static_cast<uint16_t>(GetArgUInt16(s, 4)))));
}
void TrapStrAToI(EmulState* s, uint16_t) {
    SetResultD0UInt32(s, static_cast<uint32_t>(SysCall<int32_t(const char*)>(slot::StrAToI, Str(GetArgPtr(s, 0)))));
}
void TrapSysGetOSVersionString(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(SysCall<char*()>(slot::SysGetOSVersionString)));
}
void TrapSysCopyStringResource(EmulState* s, uint16_t) {
    SysCall<void(char*, int16_t)>(slot::SysCopyStringResource, Str(GetArgPtr(s, 0)), Arg16(s, 4));
}
void TrapSysStringByIndex(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(SysCall<char*(uint16_t, uint16_t, char*, uint16_t)>(
                       slot::SysStringByIndex, static_cast<uint16_t>(GetArgUInt16(s, 0)),
                       static_cast<uint16_t>(GetArgUInt16(s, 2)), Str(GetArgPtr(s, 4)),
                       static_cast<uint16_t>(GetArgUInt16(s, 8)))));
}
void TrapSysErrString(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(SysCall<char*(uint16_t, char*, uint16_t)>(slot::SysErrString,
                                                                 static_cast<uint16_t>(GetArgUInt16(s, 0)),
                                                                 Str(GetArgPtr(s, 2)),
                                                                 static_cast<uint16_t>(GetArgUInt16(s, 6)))));
}

// ---- formatted print ----

// Formats through the OS with the arguments rebuilt natively. Without memory for an array larger
// than the local one, nothing is formatted: the destination gets an empty text and D0 is 0.
void PrintF(EmulState* s, uint32_t args68K) {
    char* destination = Str(GetArgPtr(s, 0));
    const char* format = Str(GetArgPtr(s, 4));
    FormatArgs<kLocalArgEntries> args(format, args68K);
    if (!args.Ok()) {
        if (destination) *destination = 0;
        SetResultD0UInt16(s, 0);
        return;
    }
    SetResultD0UInt16(s, static_cast<uint16_t>(sys::StrPrintF(destination, format, args.Native())));
}
// StrPrintF: the variable arguments follow the format pointer in the argument block.
void TrapStrPrintF(EmulState* s, uint16_t) { PrintF(s, s->A[7] + 8); }
// StrVPrintF: a pointer to them.
void TrapStrVPrintF(EmulState* s, uint16_t) { PrintF(s, GetArgPtr(s, 8)); }

void TrapSysFormPointerArrayToStrings(EmulState* s, uint16_t) {
    uint32_t text = GetArgPtr(s, 0);
    const int16_t count = Arg16(s, 4);
    void* handle = sys::MemHandleNew(count > 0 ? static_cast<uint32_t>(count) * 4 : 0);
    if (handle && count > 0) {
        const uint32_t array = Addr(sys::MemHandleLock(handle));
        for (int16_t i = 0; i < count; ++i) {
            Write68KUInt32(array, 4u * static_cast<uint32_t>(i), text);
            text += static_cast<uint32_t>(std::strlen(Str(text))) + 1;
        }
        sys::MemHandleUnlock(handle);
    }
    SetResultA0(s, Addr(handle));
}

}  // namespace

uint32_t FormatArgEntries(const char* format) {
    uint32_t percents = 0, stars = 0;
    for (const char* c = format; *c; ++c) {
        percents += *c == '%';
        stars += *c == '*';
    }
    return percents + (stars < percents ? stars : percents);
}

void StrVPrintFImpl(const char* format, uint32_t args, uint32_t* native) {
    const char* c = format;
    while (*c) {
        c = sys::StrChr(c, '%');
        if (!c || !c[1]) return;
        ++c;
        while (*c && std::strchr("+ -0#", *c)) ++c;
        if (*c == '*') {
            *native++ = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(Read68KUInt16(args, 0))));
            args += 2;
            ++c;
        } else {
            while (*c >= '0' && *c <= '9') ++c;
        }
        uint32_t size = 2;
        if (*c == 'h') {
            ++c;
        } else if (*c == 'l' || *c == 'L') {
            size = 4;
            ++c;
        }
        bool isSigned = false;
        switch (*c) {
            case 'd':
            case 'i': isSigned = true; break;
            case 'u':
            case 'o':
            case 'x':
            case 'X': break;
            case 'c':
            case 'C': size = 2; break;
            case 's': size = 4; break;
            default: size = 0; break;
        }
        if (*c) ++c;
        if (size == 2) {
            const uint16_t v = Read68KUInt16(args, 0);
            *native++ = isSigned ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(v))) : v;
        } else if (size == 4) {
            *native++ = Read68KUInt32(args, 0);
        }
        args += size;
    }
}

void StringGlueInstall(TrapHandler* t) {
    t[0x0C5] = TwoStringsToA0<slot::StrCopy>;
    t[0x2CE] = TwoStringsCountToA0<slot::StrNCopy>;
    t[0x0C6] = TwoStringsToA0<slot::StrCat>;
    t[0x2D6] = TwoStringsCountToA0<slot::StrNCat>;
    t[0x0C7] = TrapStrLen;
    t[0x0C8] = Compare<slot::StrCompare>;
    t[0x3F3] = Compare<slot::StrCompareAscii>;
    t[0x0CA] = Compare<slot::StrCaselessCompare>;
    t[0x2ED] = CompareN<slot::StrNCompare>;
    t[0x410] = CompareN<slot::StrNCompareAscii>;
    t[0x2EE] = CompareN<slot::StrNCaselessCompare>;
    t[0x0CF] = TrapStrToLower;
    t[0x0C9] = NumberToText<slot::StrIToA>;
    t[0x0CB] = NumberToText<slot::StrIToH>;
    t[0x2F7] = LocalizeNumber<slot::StrLocalizeNumber>;
    t[0x2F8] = LocalizeNumber<slot::StrDelocalizeNumber>;
    t[0x0CC] = TrapStrChr;
    t[0x0CD] = TwoStringsToA0<slot::StrStr>;
    t[0x0CE] = TrapStrAToI;
    t[0x2DE] = TrapStrPrintF;
    t[0x2DF] = TrapStrVPrintF;
    t[0x323] = TrapSysGetOSVersionString;
    t[0x0BC] = TrapSysCopyStringResource;
    t[0x0C1] = TrapSysFormPointerArrayToStrings;
    t[0x2F5] = TrapSysStringByIndex;
    t[0x2F4] = TrapSysErrString;
}

}  // namespace morvel
