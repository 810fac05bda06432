#include "morvel/traps/TimeGlue.h"

#include <mutex>

#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/ContextGate.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/IntlGlue.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;

namespace ui = vantor::uislot;

constexpr uint16_t kProcAlarmCard = 0x8000;  // AlmSetAlarm / AlmGetAlarm: dbID is a 68K procedure
constexpr uint16_t kErrAlarmNoMemory = 0x0901;

// The date-time record: seven signed 16-bit fields, second to weekday, in both worlds.
struct DateTime {
    int16_t field[7];
};
constexpr uint32_t kDateTimeFields = 7;

using ProcBridge = void (*)(uint16_t command, void* parameters);

// One procedure alarm of a context: keyed by its 68K procedure, fires once.
struct ProcAlarm {
    ProcAlarm* next;
    uint32_t key;
    uint32_t procedure;
    uint32_t reference;
    uint32_t seconds;
};

// Procedure alarms live in the application's top-level context.
EmulState* TopLevel(EmulState* s) {
    while (s && s->parent) s = s->parent;
    return s;
}
ProcAlarm*& Alarms(EmulState* s) { return *reinterpret_cast<ProcAlarm**>(&s->procAlarms); }
ProcAlarm* FindAlarm(EmulState* s, uint32_t key) {
    for (ProcAlarm* a = Alarms(s); a; a = a->next)
        if (a->key == key) return a;
    return nullptr;
}
void DropAlarm(EmulState* s, ProcAlarm* alarm) {
    for (ProcAlarm** link = &Alarms(s); *link; link = &(*link)->next) {
        if (*link == alarm) {
            *link = alarm->next;
            sys::MemChunkFree(alarm);
            return;
        }
    }
}

void ReadDateTime(DateTime* native, uint32_t p) {
    for (uint32_t i = 0; i < kDateTimeFields; ++i) native->field[i] = static_cast<int16_t>(Read68KUInt16(p, 2 * i));
}
void WriteDateTime(const DateTime* native, uint32_t p) {
    for (uint32_t i = 0; i < kDateTimeFields; ++i) Write68KUInt16(p, 2 * i, static_cast<uint16_t>(native->field[i]));
}

// ---- the alarm manager ----

void TrapAlmSetAlarm(EmulState* s, uint16_t) {
    const uint16_t card = static_cast<uint16_t>(GetArgUInt16(s, 0));
    const uint32_t dbID = GetArgUInt32(s, 2), reference = GetArgUInt32(s, 6), seconds = GetArgUInt32(s, 10);
    if (card != kProcAlarmCard) {
        SetResultD0UInt16(s, SysCall<uint16_t(uint16_t, uint32_t, uint32_t, uint32_t, uint8_t)>(
                                 slot::AlmSetAlarm, card, dbID, reference, seconds, GetArgInt8(s, 14)));
        return;
    }
    EmulState* top = TopLevel(s);
    ProcAlarm* alarm = FindAlarm(top, dbID);
    if (seconds) ContextGateClaim(s);  // the alarm may fire on another task
    if (seconds == 0) {
        if (alarm) DropAlarm(top, alarm);
    } else {
        if (!alarm) {
            alarm = static_cast<ProcAlarm*>(sys::MemPtrNew(sizeof(ProcAlarm)));
            if (!alarm) {
                SetResultD0UInt16(s, kErrAlarmNoMemory);
                return;
            }
            sys::MemPtrSetOwner(alarm, 0);
            alarm->key = dbID;
            alarm->next = Alarms(top);
            Alarms(top) = alarm;
        }
        alarm->procedure = dbID;
        alarm->reference = reference;
        alarm->seconds = seconds;
    }
    const uint16_t err = SysCall<uint16_t(uint32_t, uint32_t, uint32_t, uint8_t, ProcBridge)>(
        slot::AlmSetProcAlarm, dbID, dbID, seconds, 1, &AlmProcBridge);
    if (err && (alarm = FindAlarm(top, dbID))) DropAlarm(top, alarm);
    SetResultD0UInt16(s, err);
}

void TrapAlmGetAlarm(EmulState* s, uint16_t) {
    const uint16_t card = static_cast<uint16_t>(GetArgUInt16(s, 0));
    const uint32_t dbID = GetArgUInt32(s, 2), referenceP = GetArgPtr(s, 6);
    uint32_t reference = 0, seconds = 0;
    if (card == kProcAlarmCard) {
        if (const ProcAlarm* alarm = FindAlarm(TopLevel(s), dbID)) {
            reference = alarm->reference;
            seconds = alarm->seconds;
        }
    } else {
        seconds = SysCall<uint32_t(uint16_t, uint32_t, uint32_t*)>(slot::AlmGetAlarm, card, dbID, &reference);
    }
    if (referenceP) Write68KUInt32(referenceP, 0, reference);
    SetResultD0UInt32(s, seconds);
}

void TrapAlmEnableNotification(EmulState* s, uint16_t) {
    SysCall<void(uint8_t)>(slot::AlmEnableNotification, static_cast<uint8_t>(GetArgInt8(s, 0)));
}

// ---- the time manager ----

// 68K programs count 100 ticks a second, the OS 1000 (the factor GetArgTicks applies to the
// time-outs they pass): the 68K tick count is the native one divided by ten, taken over a 64-bit
// count so that it runs on without a jump where the native 32-bit count wraps.
constexpr uint32_t kNativeTicksPer68KTick = 10;
constexpr uint16_t k68KTicksPerSecond = 100;

uint32_t Ticks68K(uint32_t native) {
    static std::mutex lock;
    static uint32_t last = 0, wraps = 0;
    std::lock_guard<std::mutex> hold(lock);
    if (native < last) ++wraps;
    last = native;
    return static_cast<uint32_t>(((static_cast<uint64_t>(wraps) << 32) | native) / kNativeTicksPer68KTick);
}

void TrapSysTicksPerSecond(EmulState* s, uint16_t) { SetResultD0UInt16(s, k68KTicksPerSecond); }
void TrapTimGetSeconds(EmulState* s, uint16_t) { SetResultD0UInt32(s, SysCall<uint32_t()>(slot::TimGetSeconds)); }
void TrapTimSetSeconds(EmulState* s, uint16_t) { SysCall<void(uint32_t)>(slot::TimSetSeconds, GetArgUInt32(s, 0)); }
void TrapTimGetTicks(EmulState* s, uint16_t) { SetResultD0UInt32(s, Ticks68K(sys::TimGetTicks())); }

void TrapTimSecondsToDateTime(EmulState* s, uint16_t) {
    DateTime native{};
    SysCall<void(uint32_t, DateTime*)>(slot::TimSecondsToDateTime, GetArgUInt32(s, 0), &native);
    if (uint32_t p = GetArgPtr(s, 4)) WriteDateTime(&native, p);
}
void TrapTimDateTimeToSeconds(EmulState* s, uint16_t) {
    DateTime native{};
    ReadDateTime(&native, GetArgPtr(s, 0));
    SetResultD0UInt32(s, SysCall<uint32_t(const DateTime*)>(slot::TimDateTimeToSeconds, &native));
}
void TrapTimAdjust(EmulState* s, uint16_t) {
    const uint32_t p = GetArgPtr(s, 0);
    DateTime native{};
    ReadDateTime(&native, p);
    SysCall<void(DateTime*, int32_t)>(slot::TimAdjust, &native, static_cast<int32_t>(GetArgUInt32(s, 4)));
    WriteDateTime(&native, p);
}
void TrapTimeToAscii(EmulState* s, uint16_t) {
    SysCall<void(uint8_t, uint8_t, uint8_t, char*)>(slot::TimeToAscii, static_cast<uint8_t>(GetArgInt8(s, 0)),
                                                    static_cast<uint8_t>(GetArgInt8(s, 2)),
                                                    static_cast<uint8_t>(GetArgInt8(s, 4)), Str(GetArgPtr(s, 6)));
}
void TimeZoneCall(EmulState* s, uint16_t slotNumber) {
    SetResultD0UInt32(s, SysCall<uint32_t(uint32_t, int16_t, int16_t)>(
                             slotNumber, GetArgUInt32(s, 0), static_cast<int16_t>(GetArgUInt16(s, 4)),
                             static_cast<int16_t>(GetArgUInt16(s, 6))));
}
void TrapTimTimeZoneToUTC(EmulState* s, uint16_t) { TimeZoneCall(s, slot::TimTimeZoneToUTC); }
void TrapTimUTCToTimeZone(EmulState* s, uint16_t) { TimeZoneCall(s, slot::TimUTCToTimeZone); }

// ---- dates ----

int16_t Arg16(const EmulState* s, uint32_t offset) { return static_cast<int16_t>(GetArgUInt16(s, offset)); }
uint8_t Arg8(const EmulState* s, uint32_t offset) { return static_cast<uint8_t>(GetArgInt8(s, offset)); }

void TrapDaysInMonth(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, static_cast<uint16_t>(SysCall<int16_t(int16_t, int16_t)>(slot::DaysInMonth, Arg16(s, 0),
                                                                                    Arg16(s, 2))));
}
// DayOfWeek and DayOfMonth: (month, day, year).
void MonthDayYearCall(EmulState* s, uint16_t slotNumber) {
    SetResultD0UInt16(s, static_cast<uint16_t>(SysCall<int16_t(int16_t, int16_t, int16_t)>(
                             slotNumber, Arg16(s, 0), Arg16(s, 2), Arg16(s, 4))));
}
void TrapDayOfWeek(EmulState* s, uint16_t) { MonthDayYearCall(s, slot::DayOfWeek); }
void TrapDayOfMonth(EmulState* s, uint16_t) { MonthDayYearCall(s, slot::DayOfMonth); }

void TrapDateSecondsToDate(EmulState* s, uint16_t) {
    DateTime native{};
    SysCall<void(uint32_t, DateTime*)>(slot::TimSecondsToDateTime, GetArgUInt32(s, 0), &native);
    const int16_t* f = native.field;
    const uint16_t packed = static_cast<uint16_t>((f[5] - 1904) << 9 | (f[4] & 0xF) << 5 | (f[3] & 0x1F));
    if (uint32_t p = GetArgPtr(s, 4)) Write68KUInt16(p, 0, packed);
}
void TrapDateDaysToDate(EmulState* s, uint16_t) {
    InOut16 date(GetArgPtr(s, 4));
    SysCall<void(uint32_t, uint16_t*)>(slot::DateDaysToDate, GetArgUInt32(s, 0), date.Native());
    date.WriteBack();
}
void TrapDateToDays(EmulState* s, uint16_t) {
    SetResultD0UInt32(s, SysCall<uint32_t(uint16_t)>(slot::DateToDays, static_cast<uint16_t>(GetArgUInt16(s, 0))));
}
void TrapDateAdjust(EmulState* s, uint16_t) {
    InOut16 date(GetArgPtr(s, 0));
    SysCall<void(uint16_t*, int32_t)>(slot::DateAdjust, date.Native(), static_cast<int32_t>(GetArgUInt32(s, 4)));
    date.WriteBack();
}
// DateToAscii and DateToDOWDMFormat: (month, day, year, format, string).
void DateTextCall(EmulState* s, uint16_t slotNumber) {
    SysCall<void(uint8_t, uint8_t, uint16_t, uint8_t, char*)>(slotNumber, Arg8(s, 0), Arg8(s, 2),
                                                              static_cast<uint16_t>(GetArgUInt16(s, 4)), Arg8(s, 6),
                                                              Str(GetArgPtr(s, 8)));
}
void TrapDateToAscii(EmulState* s, uint16_t) { DateTextCall(s, slot::DateToAscii); }
void TrapDateToDOWDMFormat(EmulState* s, uint16_t) { DateTextCall(s, slot::DateToDOWDMFormat); }
void TrapDateTemplateToAscii(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(const char*, uint8_t, uint8_t, uint16_t, char*, int16_t)>(
                             slot::DateTemplateToAscii, Str(GetArgPtr(s, 0)), Arg8(s, 4), Arg8(s, 6),
                             static_cast<uint16_t>(GetArgUInt16(s, 8)), Str(GetArgPtr(s, 10)), Arg16(s, 14)));
}

// ---- the pickers of the UI library ----

// SelectDay (selection kind first) and SelectDayV10 (kind 0): month, day and year in/out.
void SelectDayCall(EmulState* s, uint8_t kind, uint32_t at) {
    InOut16 month(GetArgPtr(s, at)), day(GetArgPtr(s, at + 4)), year(GetArgPtr(s, at + 8));
    const uint8_t chosen = UiImport().Call<uint8_t(uint8_t, int16_t*, int16_t*, int16_t*, const char*)>(
        ui::SelectDay, kind, month.Native<int16_t>(), day.Native<int16_t>(), year.Native<int16_t>(),
        Str(GetArgPtr(s, at + 12)));
    month.WriteBack();
    day.WriteBack();
    year.WriteBack();
    SetResultD0UInt8(s, chosen);
}
void TrapSelectDay(EmulState* s, uint16_t) { SelectDayCall(s, Arg8(s, 0), 2); }
void TrapSelectDayV10(EmulState* s, uint16_t) { SelectDayCall(s, 0, 0); }

void SelectTimeCall(EmulState* s, int16_t endOfDay, int16_t startOfDisplay) {
    InOut16 start(GetArgPtr(s, 0)), end(GetArgPtr(s, 4));
    const uint8_t chosen =
        UiImport().Call<uint8_t(uint16_t*, uint16_t*, uint8_t, const char*, int16_t, int16_t, int16_t)>(
            ui::SelectTime, start.Native(), end.Native(), Arg8(s, 8), Str(GetArgPtr(s, 10)), Arg16(s, 14), endOfDay,
            startOfDisplay);
    start.WriteBack();
    end.WriteBack();
    SetResultD0UInt8(s, chosen);
}
void TrapSelectTime(EmulState* s, uint16_t) { SelectTimeCall(s, Arg16(s, 16), Arg16(s, 18)); }
void TrapSelectTimeV33(EmulState* s, uint16_t) { SelectTimeCall(s, -1, Arg16(s, 14)); }

void TrapSelectOneTime(EmulState* s, uint16_t) {
    InOut16 hour(GetArgPtr(s, 0)), minute(GetArgPtr(s, 4));
    const uint8_t chosen = UiImport().Call<uint8_t(int16_t*, int16_t*, const char*)>(
        ui::SelectOneTime, hour.Native<int16_t>(), minute.Native<int16_t>(), Str(GetArgPtr(s, 8)));
    hour.WriteBack();
    minute.WriteBack();
    SetResultD0UInt8(s, chosen);
}

void TrapSelectTimeZone(EmulState* s, uint16_t) {
    InOut16 zone(GetArgPtr(s, 0));
    const uint32_t localeP = GetArgPtr(s, 4);
    Locale locale{};
    LocaleToNative(&locale, localeP);
    const uint8_t chosen = UiImport().Call<uint8_t(int16_t*, Locale*, const char*, uint8_t, uint8_t)>(
        ui::SelectTimeZone, zone.Native<int16_t>(), localeP ? &locale : nullptr, Str(GetArgPtr(s, 8)), Arg8(s, 12),
        Arg8(s, 14));
    zone.WriteBack();
    LocaleTo68K(&locale, localeP);
    SetResultD0UInt8(s, chosen);
}
void TrapTimeZoneToAscii(EmulState* s, uint16_t) {
    const uint32_t localeP = GetArgPtr(s, 2);
    Locale locale{};
    LocaleToNative(&locale, localeP);
    UiImport().Call<void(int16_t, const Locale*, char*)>(ui::TimeZoneToAscii, Arg16(s, 0),
                                                         localeP ? &locale : nullptr, Str(GetArgPtr(s, 6)));
}

}  // namespace

void AlmProcBridge(uint16_t command, void* parameters) {
    EmulState* s = GetTaskContext();
    if (!s || !parameters) return;
    EmulState* top = TopLevel(s);
    uint32_t key;
    __builtin_memcpy(&key, parameters, 4);
    ProcAlarm* alarm = FindAlarm(top, key);
    if (!alarm) return;
    // What the 68K procedure sees: reference, alarm seconds, then the purge flag and the byte after
    // it from the native parameters. A procedure alarm fires once.
    uint8_t buffer[10];
    Write68KUInt32(Addr(buffer), 0, alarm->reference);
    Write68KUInt32(Addr(buffer), 4, alarm->seconds);
    buffer[8] = static_cast<const uint8_t*>(parameters)[8];
    buffer[9] = static_cast<const uint8_t*>(parameters)[9];
    const uint32_t procedure = alarm->procedure;
    DropAlarm(top, alarm);
    // The arguments go just below A7, command lowest; the call takes A7 down over them.
    ContextGateHold hold(s);
    Write68KUInt16(s->A[7] - 6, 0, command);
    Write68KUInt32(s->A[7] - 4, 0, Addr(buffer));
    Call68KCode(s, procedure, 6);
}

void ProcAlarmsFree(EmulState* s) {
    while (ProcAlarm* alarm = Alarms(s)) DropAlarm(s, alarm);
}

void TimeGlueInstall(TrapHandler* t) {
    t[0x238] = TrapAlmSetAlarm;
    t[0x239] = TrapAlmGetAlarm;
    t[0x23B] = TrapAlmEnableNotification;
    t[0x2E9] = TrapSysTicksPerSecond;
    t[0x0F5] = TrapTimGetSeconds;
    t[0x0F6] = TrapTimSetSeconds;
    t[0x0F7] = TrapTimGetTicks;
    t[0x0FC] = TrapTimSecondsToDateTime;
    t[0x0FD] = TrapTimDateTimeToSeconds;
    t[0x0FE] = TrapTimAdjust;
    t[0x268] = TrapTimeToAscii;
    t[0x411] = TrapTimTimeZoneToUTC;
    t[0x412] = TrapTimUTCToTimeZone;
    t[0x260] = TrapDaysInMonth;
    t[0x25F] = TrapDayOfWeek;
    t[0x261] = TrapDayOfMonth;
    t[0x265] = TrapDateSecondsToDate;
    t[0x262] = TrapDateDaysToDate;
    t[0x263] = TrapDateToDays;
    t[0x264] = TrapDateAdjust;
    t[0x266] = TrapDateToAscii;
    t[0x267] = TrapDateToDOWDMFormat;
    t[0x3CD] = TrapDateTemplateToAscii;
    t[0x2D0] = TrapSelectDay;
    t[0x25A] = TrapSelectDayV10;
    t[0x3C6] = TrapSelectTime;
    t[0x25B] = TrapSelectTimeV33;
    t[0x34F] = TrapSelectOneTime;
    t[0x40E] = TrapSelectTimeZone;
    t[0x40F] = TrapTimeZoneToAscii;
}

}  // namespace morvel
