#include "morvel/traps/MorvelError.h"

#include <cstdio>
#include <cstring>

#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/nub/DebuggerNub.h"

namespace morvel {
namespace {

// The choices of the OS fatal alert.
constexpr uint16_t kFatalReset = 0;
constexpr uint16_t kFatalDebug68K = 2;

void Show(const char* file, uint16_t line, const char* message, const uint32_t* value) {
    EmulState* s = GetCurrentContext();
    if (!s) {
        // Without a context there is nowhere to stop: the OS display gets the report itself.
        vantor::sys::ErrDisplayFileLineMsg("MorvelError", 91, "ErrDisplayFileLineMsg can't get emulStateP");
        vantor::sys::ErrDisplayFileLineMsg(file, line, message);
        return;
    }
    char text[400];
    int n = std::snprintf(text, sizeof text, "%s, Line:%u, %s", file, static_cast<unsigned>(line), message);
    if (value && n >= 0 && n < static_cast<int>(sizeof text))
        std::snprintf(text + n, sizeof text - n, " %lu", static_cast<unsigned long>(*value));
    if (s->nub) {
        DbgSendMessage(s, text);
        MorvelEnterNub(s, kNubVectorBreak);
        return;
    }
    uint16_t choice = UiImport().Call<uint16_t(const char*)>(vantor::uislot::SysFatalAlert, text);
    if (choice == kFatalReset) vantor::sys::SysReset();
    else if (choice == kFatalDebug68K) MorvelEnterNub(s, kNubVectorBreak);
    else vantor::sys::SysEnterDebugger();
    // The OS may ask for the events that piled up behind the alert to be drained.
    auto* globals = static_cast<const uint8_t*>(vantor::sys::SysGetGlobals());
    uint16_t flags = 0;
    if (globals) std::memcpy(&flags, globals + vantor::kOsGlobalsFlagWord, sizeof flags);
    if (flags & vantor::kOsFlagDrainAfterFatal) {
        vantor::SysEventType event{};
        int bound = 4096;  // events that keep coming must not hold the report for ever
        do vantor::sys::EvtGetEvent(&event, 0);
        while (event.eType != 0 && --bound > 0);
    }
}

}  // namespace

void ErrDisplayFileLineMsg(const char* file, uint16_t line, const char* message) {
    Show(file ? file : "", line, message ? message : "", nullptr);
}

void ErrDisplayFileLineMsg(const char* file, uint16_t line, const char* message, uint32_t value) {
    Show(file ? file : "", line, message ? message : "", &value);
}

}  // namespace morvel
