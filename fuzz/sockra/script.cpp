// A login script and what the line answers, both from the input, run against fake callbacks, a
// fake serial port that replays the answer and a clock that moves a second per receive. The first
// byte picks the command time-out and which settings exist, the next two the script's length.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/module/KezSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"
#include "sockra/SockraOS.h"
#include "sockra/SockraScript.h"
#include "standin/os/StandinOs.h"

namespace {

using vantor::os::Library;

const uint8_t* gScript;
size_t gScriptLen;
const uint8_t* gLine;
size_t gLineLen, gLinePos;
uint8_t gFlags;
uint32_t gTicks;
int gCancels;

uint32_t FakeTicks() { return ++gTicks; }
uint16_t FakeResetAutoOff() { return 0; }
void FakeTrace(uint16_t, const char*, ...) {}
uint16_t FakeClearErr(uint16_t) { return 0; }
uint16_t FakeControl(uint16_t, uint16_t, void* valueP, uint16_t* lenP) {
    if (!valueP || !lenP || *lenP < 4) abort();
    return 0;
}
uint32_t FakeReceive(uint16_t, void* bufP, uint32_t count, int32_t, uint16_t* errP) {
    uint32_t n = 0;
    while (n < count && gLinePos < gLineLen) static_cast<uint8_t*>(bufP)[n++] = gLine[gLinePos++];
    if (n < count) gTicks += 1000;
    *errP = n < count ? 0x0305 : 0;
    return n;
}
uint32_t FakeSend(uint16_t, const void* bufP, uint32_t count, uint16_t* errP) {
    // Touch every byte, so that a send past its buffer is caught.
    volatile uint8_t sum = 0;
    for (uint32_t i = 0; i < count; ++i) sum = sum + static_cast<const uint8_t*>(bufP)[i];
    *errP = 0;
    return count;
}
uint16_t FakePortSetUp(void*) { return 0; }
uint32_t FakeFindByName(uint16_t, const char* name) { return strlen(name) < 16 && name[0] ? 1 : 0; }
uint16_t FakeInfo(uint32_t, char*, uint16_t*, uint16_t*, uint32_t*, uint32_t* type, uint32_t*) {
    *type = sockra::kScriptPluginType;
    return 0;
}
uint16_t FakeLaunch(uint32_t, uint16_t, void* params, uint32_t* result) {
    auto* pb = static_cast<sockra::SockraScriptPluginParams*>(params);
    char buf[64] = {};
    for (uint16_t sel = 0; sel <= 10; ++sel) {
        uint16_t size = static_cast<uint16_t>(sel == 2 ? strnlen(pb->send, sizeof pb->send) : sizeof buf);
        uint16_t timeout = 1;
        buf[63] = 0;  // the log selector takes a text
        pb->selector(pb->handle, sel, sel == 8 ? nullptr : buf, &size, &timeout, 0x100);
    }
    *result = 0;
    return 0;
}

uint16_t FakeDelay(int32_t) { return 0; }
vantor::ModuleProc gKezTable[vantor::kKezSlots];

vantor::Status Get(uint32_t, uint16_t, uint16_t setting, void* valueP, uint16_t* lenP) {
    const uint8_t* v = nullptr;
    size_t n = 0;
    uint32_t seconds = gFlags & 3;
    static const char kValue[] = "a-value-of-seventy-characters-that-is-longer-than-any-text-can-hold--";
    if (setting == 14) v = gScript, n = gScriptLen;
    else if (setting == 16) v = reinterpret_cast<const uint8_t*>(&seconds), n = 4;
    else if (setting >= 6 && setting <= 9 && (gFlags & (4 << (setting - 6))))
        v = reinterpret_cast<const uint8_t*>(kValue), n = sizeof kValue - 1;
    if (!v) return 0x121A;
    size_t k = n < *lenP ? n : *lenP;
    memcpy(valueP, v, k);
    *lenP = static_cast<uint16_t>(n);
    return k < n ? 0x120D : 0;
}
vantor::Status Set(uint32_t, uint16_t, uint16_t, const void*, uint16_t) { return 0; }
vantor::Status Status(void*, uint32_t, uint16_t, const char* text) { return strlen(text) > 63 ? (abort(), 0) : 0; }
uint8_t Cancel(void*) { return ++gCancels > 64; }
vantor::Status Subst(void*, const char* word, char* value, const char*) {
    if (gFlags & 0x40) return 0x121A;
    // An answer that fills the whole 64-byte block.
    memset(value, 'v', 63);
    value[63] = 0;
    value[0] = word[0];
    return 0;
}

void SetUp() {
    using namespace vantor::sysslot;
    vantor::glue::SetSystemTable(vantor::os::SystemTable());
    auto install = [](uint16_t slot, auto f) {
        vantor::os::InstallEntry(Library::System, slot, reinterpret_cast<vantor::ModuleProc>(f));
    };
    install(TimGetTicks, FakeTicks);
    install(EvtResetAutoOffTimer, FakeResetAutoOff);
    install(SysTrace, FakeTrace);
    install(SrmClearErr, FakeClearErr);
    install(SrmControl, FakeControl);
    install(SrmReceive, FakeReceive);
    install(SrmSend, FakeSend);
    install(300, FakePortSetUp);
    install(DmFindDatabaseByName, FakeFindByName);
    install(DmDatabaseInfoByID, FakeInfo);
    install(SysAppLaunchPlugin, FakeLaunch);
    gKezTable[vantor::kezslot::KALTaskDelay] = reinterpret_cast<vantor::ModuleProc>(FakeDelay);
    gKezTable[vantor::kezslot::KALTaskWait] = reinterpret_cast<vantor::ModuleProc>(FakeDelay);
    sockra::os::gKez.SetTable(gKezTable);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = (SetUp(), true);
    (void)ready;
    if (size < 3) return 0;
    gFlags = data[0];
    size_t len = (data[1] | data[2] << 8) % 600;
    if (len > size - 3) len = size - 3;
    gScript = data + 3;
    gScriptLen = len;
    gLine = data + 3 + len;
    gLineLen = size - 3 - len;
    gLinePos = 0;
    gCancels = 0;
    sockra::SockraScriptRun(0x7070705F, 1, 1, nullptr, (gFlags & 0x80) ? nullptr : Status, Cancel, Subst, Get, Set);
    return 0;
}
