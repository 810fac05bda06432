#include "morvel/traps/HardwareGlue.h"

#include "common/module/HostControlSlots.h"
#include "common/module/KezSlots.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/StringGlue.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;
namespace kez = vantor::kezslot;
namespace host = vantor::hostslot;

constexpr const char* kFile = "Hardware68K";


template <typename Sig, typename... A>
auto Kez(uint16_t slotNumber, A... args) {
    return KezImport().Call<Sig>(slotNumber, args...);
}

vantor::glue::ModuleImport& HostImport() {
    static vantor::glue::ModuleImport import(vantor::kHostLibType, vantor::kHostLibCreator,
                                             vantor::kHostLibVersion, vantor::kHostLibSlots);
    return import;
}

// A value of `size` bytes behind a 68K pointer: 2 and 4 are converted, 1 and "none" (0) pass the
// pointer as it is.
void ReadSized(uint32_t p, uint8_t size, uint32_t* value) {
    if (!p) return;
    if (size == 4)
        *value = Read68KUInt32(p, 0);
    else if (size == 2)
        *value = Read68KUInt16(p, 0);
}
void WriteSized(uint32_t p, uint8_t size, uint32_t value) {
    if (!p) return;
    if (size == 4)
        Write68KUInt32(p, 0, value);
    else if (size == 2)
        Write68KUInt16(p, 0, static_cast<uint16_t>(value));
    else if (size == 1)
        Write68KInt8(p, 0, static_cast<uint8_t>(value));
}
bool Converted(uint8_t size) {
    return size == 2 || size == 4;
}

// ---- display, LED and vibrator attributes ----

struct DisplayAttribute {
    int8_t native;  // -1: not served
    uint8_t size;
};
constexpr DisplayAttribute kDisplayAttributes[21] = {
    {-1, 0}, {-1, 0}, {-1, 0}, {12, 2}, {11, 2}, {9, 2}, {-1, 0}, {-1, 0}, {-1, 0}, {14, 4}, {15, 4},
    {13, 2}, {-1, 0}, {16, 4}, {10, 2}, {4, 2},  {5, 2}, {6, 2},  {17, 1}, {18, 1}, {19, 1}};

void TrapHwrDisplayAttributes(EmulState* s, uint16_t) {
    const uint8_t set = U8(s, 0);
    const uint16_t attribute = U16(s, 2);
    const uint32_t valueP = GetArgPtr(s, 4);
    if (attribute >= 21 || kDisplayAttributes[attribute].native < 0) {
        SetResultD0UInt16(s, 1);
        return;
    }
    if (set) {
        ErrDisplayFileLineMsg(kFile, 200, "Calling HwrDisplayAttrs w/set");
        SetResultD0UInt16(s, 1);
        return;
    }
    const DisplayAttribute& a = kDisplayAttributes[attribute];
    uint32_t value = 0;
    const uint16_t err = Kez<uint16_t(uint8_t, uint32_t, void*)>(kez::HALDisplayGetAttributes, 0,
                                                                 static_cast<uint32_t>(a.native), &value);
    if (!err) WriteSized(valueP, a.size, value);
    SetResultD0UInt16(s, err);
}

constexpr uint8_t kLedSizes[10] = {4, 1, 2, 4, 2, 2, 0, 2, 0, 0};
constexpr uint8_t kVibratorSizes[10] = {4, 1, 2, 4, 2, 2, 2, 2, 0, 0};

void DeviceAttributes(EmulState* s, const uint8_t* sizes, uint16_t getSlot, uint16_t setSlot) {
    const uint8_t set = U8(s, 0);
    const uint32_t attribute = U32(s, 2), valueP = GetArgPtr(s, 6);
    if (attribute > 9) {
        SetResultD0UInt16(s, 1);
        return;
    }
    const uint8_t size = sizes[attribute];
    uint32_t value = 0;
    void* pass = Converted(size) ? static_cast<void*>(&value) : Ptr(valueP);
    uint16_t err;
    if (set) {
        ReadSized(valueP, size, &value);
        err = Kez<uint16_t(uint32_t, void*)>(setSlot, attribute, pass);
    } else {
        err = Kez<uint16_t(uint32_t, void*)>(getSlot, attribute, pass);
        if (Converted(size)) WriteSized(valueP, size, value);
    }
    SetResultD0UInt16(s, err);
}
void TrapHwrLEDAttributes(EmulState* s, uint16_t) {
    DeviceAttributes(s, kLedSizes, kez::HALLedGetAttribute, kez::HALLedSetAttribute);
}
void TrapHwrVibrateAttributes(EmulState* s, uint16_t) {
    DeviceAttributes(s, kVibratorSizes, kez::HALVibratorGetAttribute, kez::HALVibratorSetAttribute);
}

void TrapHwrDisplayPalette(EmulState* s, uint16_t) {
    const uint8_t set = U8(s, 0);
    const int16_t start = static_cast<int16_t>(U16(s, 2));
    const uint16_t count = U16(s, 4);
    SetResultD0UInt16(
        s, Kez<uint16_t(int16_t, uint16_t, void*)>(
               set ? kez::HALDisplaySetPalette : kez::HALDisplayGetPalette, start, count, P(s, 6)));
}

void TrapHwrDockStatus(EmulState* s, uint16_t) {
    uint16_t status = 0;
    const uint16_t err = Kez<uint16_t(uint16_t*)>(kez::HALDockStatus, &status);
    SetResultD0UInt16(s, err ? 0 : status);
}

// ---- keys ----

// 68K key times count in units ten times coarser than the native ones.
constexpr uint16_t kKeyTimeFactor = 10;

void TrapKeyRates(EmulState* s, uint16_t) {
    const uint8_t set = U8(s, 0);
    const uint32_t p[4] = {GetArgPtr(s, 2), GetArgPtr(s, 6), GetArgPtr(s, 10), GetArgPtr(s, 14)};
    uint16_t times[3] = {};
    uint8_t queueAhead = 0;
    if (set) {
        for (int i = 0; i < 3; ++i)
            if (p[i]) times[i] = static_cast<uint16_t>(Read68KUInt16(p[i], 0) * kKeyTimeFactor);
        if (p[3]) queueAhead = Read68KInt8(p[3], 0);
    }
    const uint16_t err = SysCall<uint16_t(uint8_t, uint16_t*, uint16_t*, uint16_t*, uint8_t*)>(
        slot::KeyRates, set, p[0] ? &times[0] : nullptr, p[1] ? &times[1] : nullptr,
        p[2] ? &times[2] : nullptr, p[3] ? &queueAhead : nullptr);
    if (!set) {
        for (int i = 0; i < 3; ++i)
            if (p[i]) Write68KUInt16(p[i], 0, static_cast<uint16_t>(times[i] / kKeyTimeFactor));
        if (p[3]) Write68KInt8(p[3], 0, queueAhead);
    }
    SetResultD0UInt16(s, err);
}
void TrapKeyCurrentState(EmulState* s, uint16_t) {
    SetResultD0UInt32(s, Kez<uint32_t()>(kez::HALKeyGetState));
}
void TrapKeySetMask(EmulState* s, uint16_t) {
    SetResultD0UInt32(s, Kez<uint32_t(uint32_t)>(kez::HALKeySetMask, U32(s, 0)));
}

// ---- pens ----

void TrapPenCalibrate(EmulState* s, uint16_t) {
    NativePoint points[4] = {};
    for (int i = 0; i < 4; ++i) Read68KPoint(&points[i], GetArgPtr(s, 4 * i));
    SetResultD0UInt16(s, SysCall<uint16_t(NativePoint*, NativePoint*, NativePoint*, NativePoint*)>(
                             slot::PenCalibrate, &points[0], &points[1], &points[2], &points[3]));
}
void TrapPenResetCalibration(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t()>(slot::PenResetCalibration));
}
void PenConvert(EmulState* s, uint16_t kezSlot) {
    const uint32_t p = GetArgPtr(s, 0);
    NativePoint point{};
    Read68KPoint(&point, p);
    const uint16_t err = Kez<uint16_t(NativePoint*)>(kezSlot, &point);
    if (p) Write68KPoint(&point, p);
    SetResultD0UInt16(s, err);
}
void TrapPenRawToScreen(EmulState* s, uint16_t) {
    PenConvert(s, kez::HALPenRawToScreen);
}
void TrapPenScreenToRaw(EmulState* s, uint16_t) {
    PenConvert(s, kez::HALPenScreenToRaw);
}

// ---- memory, ROM tokens and the rest ----

void TrapHwrMemWritable(EmulState* s, uint16_t) {
    const uint32_t address = U32(s, 0);
    uint32_t answer;
    if (address == 0xFFFFFFFFu)
        answer = s->regions[0].base;
    else if (address == 0xFFFFFFFEu)
        answer = s->regions[1].base;
    else
        answer = ValidatePtr(s, address, true, true);
    SetResultD0UInt32(s, answer);
}
void TrapHwrMemReadable(EmulState* s, uint16_t) {
    const uint32_t address = U32(s, 0);
    uint32_t answer;
    if (address == 0xFFFFFFFFu)
        answer = s->regions[2].base;
    else if (address == 0xFFFFFFFEu)
        answer = static_cast<uint32_t>(-16);
    else if (address == static_cast<uint32_t>(-16))
        answer = 8;
    else
        answer = ValidatePtr(s, address, false, true);
    SetResultD0UInt32(s, answer);
}
void TrapHwrGetROMToken(EmulState* s, uint16_t) {
    const uint32_t dataP = GetArgPtr(s, 6), sizeP = GetArgPtr(s, 10);
    uint32_t data = 0;
    uint16_t size = 0;
    const uint16_t err = SysCall<uint16_t(uint16_t, uint32_t, uint32_t*, uint16_t*)>(
        slot::HwrGetROMToken, U16(s, 0), U32(s, 2), dataP ? &data : nullptr, sizeP ? &size : nullptr);
    if (dataP) Write68KUInt32(dataP, 0, data);
    if (sizeP) Write68KUInt16(sizeP, 0, size);
    SetResultD0UInt16(s, err);
}
void TrapHwrDelay(EmulState* s, uint16_t) {
    Kez<void(uint32_t)>(kez::HALDelay, U32(s, 0));
}
void TrapHwrEnableDataWrites(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, 1);
}
void TrapHwrDisableDataWrites(EmulState*, uint16_t) {}
void TrapHALRedrawInputArea(EmulState* s, uint16_t) {
    const uint32_t p = GetArgPtr(s, 0);
    NativeRect r{};
    if (p) Read68KRect(&r, p);
    SetResultD0UInt16(
        s, Kez<uint16_t(NativeRect*, uint8_t)>(kez::HALRedrawInputArea, p ? &r : nullptr, U8(s, 4)));
}
void TrapHostEmpty(EmulState* s, uint16_t) {
    Kez<void(void*, uint32_t)>(kez::HALNullEntry173, P(s, 0), U32(s, 4));
}

// ---- HostControl ----

template <typename Sig, typename... A>
uint32_t Host(uint16_t slotNumber, A... args) {
    return static_cast<uint32_t>(HostImport().Call<Sig>(slotNumber, args...));
}

uint32_t HostTrace(EmulState* s, uint16_t selector) {
    const uint16_t module = U16(s, 2);
    const char* format = Str(GetArgPtr(s, 4));
    // 2306/2307: the values follow the format; 2308/2309: a pointer to them.
    const uint32_t values = selector <= 2307 ? s->A[7] + 8 : GetArgPtr(s, 8);
    FormatArgs<16> args(format, values);
    if (!args.Ok()) return 0;
    const uint16_t target = (selector & 1) == 0 ? slot::SysTraceArgs : slot::SysTracePartArgs;
    SysCall<void(uint16_t, const char*, uint32_t*)>(target, module, format, args.Native());
    return 0;
}

uint32_t HostControlCall(EmulState* s, uint16_t selector) {
    auto u = [s](uint32_t offset) { return U32(s, offset); };
    auto p = [s](uint32_t offset) { return P(s, offset); };
    if (selector <= 255 || selector == 1024) return Host<uint32_t(uint16_t)>(host::HostEntry60, selector);
    switch (selector) {
        case 256:
            return Host<uint32_t()>(host::HostEntry1);
        case 257:
            return Host<uint32_t()>(host::HostEntry2);
        case 258:
            return Host<uint32_t()>(host::HostEntry3);
        case 259:
            return Host<uint32_t(uint32_t)>(host::HostEntry4, u(2));
        case 512:
            return Host<uint32_t(uint32_t, uint32_t)>(host::HostEntry7, u(2), u(6));
        case 513:
            return Host<uint32_t()>(host::HostEntry8);
        case 514:
            return Host<uint32_t()>(host::HostEntry9);
        case 515:
            return Host<uint32_t(void*)>(host::HostEntry10, p(2));
        case 516:
            return Host<uint32_t()>(host::HostEntry11);
        case 768:
            return Host<uint32_t()>(host::HostEntry13);
        case 769:
            return Host<uint32_t(uint32_t)>(host::HostEntry14, u(2));
        case 770:
            return Host<uint32_t(uint32_t)>(host::HostEntry15, u(2));
        case 771:
            return Host<uint32_t(uint32_t)>(host::HostEntry16, u(2));
        case 773:
            return Host<uint32_t(uint32_t)>(host::HostEntry18, u(2));
        case 775:
            return Host<uint32_t(void*, uint32_t, uint32_t)>(host::HostEntry20, p(2), u(6), u(10));
        case 776:
            return Host<uint32_t(void*, void*)>(host::HostEntry21, p(2), p(6));
        case 777: {
            const char* format = Str(GetArgPtr(s, 6));
            FormatArgs<16> args(format, s->A[7] + 10);
            if (!args.Ok()) return 0;
            return Host<uint32_t(uint32_t, const char*, uint32_t*)>(host::HostEntry40, u(2), format,
                                                                    args.Native());
        }
        case 778:
            return Host<uint32_t(uint32_t, uint32_t)>(host::HostEntry23, u(2), u(6));
        case 779:
            return Host<uint32_t(void*, uint32_t)>(host::HostEntry24, p(2), u(6));
        case 780:
            return Host<uint32_t(void*, uint32_t, uint32_t, uint32_t)>(host::HostEntry25, p(2), u(6), u(10),
                                                                       u(14));
        case 781:
            return Host<uint32_t(void*)>(host::HostEntry26, p(2));
        case 782:
            return Host<uint32_t(void*, void*)>(host::HostEntry27, p(2), p(6));
        case 785:
            return Host<uint32_t(uint32_t, uint32_t, uint32_t)>(host::HostEntry30, u(2), u(6), u(10));
        case 787:
            return Host<uint32_t(uint32_t)>(host::HostEntry32, u(2));
        case 788:
            return Host<uint32_t(void*, uint32_t, uint32_t, uint32_t)>(host::HostEntry33, p(2), u(6), u(10),
                                                                       u(14));
        case 791:
            return Host<uint32_t(void*)>(host::HostEntry36, p(2));
        case 792:
            return Host<uint32_t(uint32_t)>(host::HostEntry37, u(2));
        case 794:
            Host<uint32_t(uint32_t)>(host::HostEntry39, u(2));
            return 0;
        case 896:
            return Host<uint32_t(void*)>(host::HostEntry50, p(2));
        case 897:
            return Host<uint32_t(void*)>(host::HostEntry51, p(2));
        case 899:
            return Host<uint32_t(void*)>(host::HostEntry52, p(2));
        case 916:
            return Host<uint32_t(void*)>(host::HostEntry53, p(2));
        case 935:
            return Host<uint32_t(void*, uint32_t)>(host::HostEntry54, p(2), u(6));
        case 938:
            return Host<uint32_t(void*)>(host::HostEntry55, p(2));
        case 939: {
            const uint32_t record = GetArgPtr(s, 6);
            const uint32_t result = Host<uint32_t(void*, void*)>(host::HostEntry56, p(2), Ptr(record));
            if (record)
                for (uint32_t i = 0; i < 14; ++i) {
                    uint32_t word;
                    __builtin_memcpy(&word, Ptr(record + 4 * i), 4);
                    Write68KUInt32(record, 4 * i, word);
                }
            return result;
        }
        case 942:
            return Host<uint32_t(void*, void*)>(host::HostEntry57, p(2), p(6));
        case 943:
            return Host<uint32_t(void*, void*)>(host::HostEntry58, p(2), p(6));
        case 944:
            return Host<uint32_t(void*, uint32_t)>(host::HostEntry59, p(2), u(6));
        case 1280:
            return Host<uint32_t(void*)>(host::HostEntry65, p(2));
        case 1281:
            return Host<uint32_t(void*, void*)>(host::HostEntry66, p(2), p(10));
        case 1537:
            Host<uint32_t(void*, void*)>(host::HostEntry82, p(2), p(6));
            return 0;
        case 2051:
            return Host<uint32_t()>(host::HostEntry88);
        case 2052:
            return Host<uint32_t(uint32_t)>(host::HostEntry89, u(2));
        case 2053: {
            uint32_t out = 0;
            const uint32_t result = Host<uint32_t(uint32_t, uint32_t*)>(host::HostEntry90, u(2), &out);
            if (uint32_t outP = GetArgPtr(s, 6)) Write68KUInt32(outP, 0, out);
            return result;
        }
        case 2054:
            return Host<uint32_t()>(host::HostEntry91);
        case 2304:
        case 2305:
            return 0;
        case 2306:
        case 2307:
        case 2308:
        case 2309:
            return HostTrace(s, selector);
        case 2310:
            SysCall<void(uint16_t, const void*, uint32_t)>(slot::SysTraceBinary, U16(s, 2), p(4), u(8));
            return 0;
        case 2560:
            return Host<uint32_t()>(host::HostEntry99);
        case 2561:
            return Host<uint32_t(uint32_t)>(host::HostEntry100, u(2));
        case 2562:
            return Host<uint32_t(uint32_t)>(host::HostEntry101, u(2));
        default:
            return Host<uint32_t(uint16_t, EmulState*)>(host::HostEntry113, selector, s);
    }
}

void TrapHostControl(EmulState* s, uint16_t) {
    const uint32_t result = HostControlCall(s, U16(s, 0));
    SetResultD0UInt32(s, result);
    SetResultA0(s, result);
}

}  // namespace

void HardwareGlueInstall(TrapHandler* t) {
    t[0x24A] = TrapHwrEnableDataWrites;
    t[0x24B] = TrapHwrDisableDataWrites;
    t[0x23D] = TrapHwrMemWritable;
    t[0x23E] = TrapHwrMemReadable;
    t[0x372] = TrapHwrDisplayAttributes;
    t[0x433] = TrapHwrLEDAttributes;
    t[0x434] = TrapHwrVibrateAttributes;
    t[0x34D] = TrapHwrDockStatus;
    t[0x374] = TrapHwrDisplayPalette;
    t[0x2A4] = TrapKeyRates;
    t[0x2A2] = TrapKeyCurrentState;
    t[0x2CF] = TrapKeySetMask;
    t[0x274] = TrapPenResetCalibration;
    t[0x271] = TrapPenCalibrate;
    t[0x272] = TrapPenRawToScreen;
    t[0x273] = TrapPenScreenToRaw;
    t[0x340] = TrapHwrGetROMToken;
    t[0x249] = TrapHwrDelay;
    t[0x46C] = TrapHALRedrawInputArea;
    t[0x478] = TrapHostEmpty;
    t[0x344] = TrapHostControl;
}

}  // namespace morvel
