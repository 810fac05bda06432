// morvel-run: runs a packed 68K application (.vrx) in Morvel on the stand-in OS and prints what it
// answered. With --debug-port the debugger nub's link waits for the debugger on 127.0.0.1:PORT
// from the application's first stop (TRAP #0, TRAP #8, a fatal report).
//
//   morvel-run [--debug-port PORT] app.vrx
//
// The host abstraction's memory queries are answered from the stand-in's heaps.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/FourCC.h"
#include "common/ReadFile.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "morvel/glue/MorvelExports.h"
#include "morvel/launch/AppLaunch.h"
#include "common/ResourceDb.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/SerialLink.h"
#include "standin/os/StandinOs.h"

extern "C" uint32_t ModuleEntryPoint(uint16_t launchCode, void* param, uint16_t flags);

namespace {

namespace sys = vantor::sys;

constexpr char kUsage[] = "usage: morvel-run [--debug-port PORT] app.vrx";
constexpr char kHelp[] =
    "Runs a 68K application packed by morvel-pack in Morvel and prints its result (D0).\n"
    "  --debug-port PORT  the debugger nub waits for the debugger on 127.0.0.1:PORT (0: any free\n"
    "                     port) at the application's first stop; the port is printed first\n"
    "Without --debug-port, VANTOR_DEBUGGER_LINK (tcp-listen:PORT, tcp:HOST:PORT or a device\n"
    "path) names the debugger's link.\n";

[[noreturn]] void Die(const std::string& message) {
    std::fprintf(stderr, "morvel-run: %s\n", message.c_str());
    std::exit(1);
}

// ---- the host abstraction's answers ----

vantor::KezMemoryAreas gNoAreas{0, nullptr};
vantor::KezMemoryAreas* GetAreas() { return &gNoAreas; }
uint32_t AreaSize(uint32_t address, uint8_t) {
    return vantor::os::HeapAreaSize(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)));
}
uint8_t IsProtected() { return 0; }
uint16_t SetProtection(uint8_t open) { return vantor::os::StorageSetWritable(open != 0) ? 0 : 1; }
void Nothing(uint32_t) {}
// Tasks (the console's) are the stand-in's threads, started here.
uint16_t TaskStart(uint32_t task, uint32_t argument) { return vantor::os::StartTask(task, argument) ? 0 : 1; }
uint16_t TaskDelay(int32_t milliseconds) {
    if (milliseconds > 0) usleep(static_cast<useconds_t>(milliseconds) * 1000);
    return 0;
}

vantor::ModuleProc* KezTable() {
    static std::vector<vantor::ModuleProc> table = [] {
        std::vector<vantor::ModuleProc> t(vantor::kKezSlots, nullptr);
        auto put = [&](uint16_t slot, auto* function) { t[slot] = reinterpret_cast<vantor::ModuleProc>(function); };
        put(vantor::kezslot::HALMemoryGetAreas, &GetAreas);
        put(vantor::kezslot::HALMemoryGetAreaSize, &AreaSize);
        put(vantor::kezslot::HALMemoryIsProtected, &IsProtected);
        put(vantor::kezslot::HALMemorySetProtection, &SetProtection);
        put(vantor::kezslot::KALNullEntry151, &Nothing);
        put(vantor::kezslot::HALNullEntry173, &Nothing);
        put(vantor::kezslot::KALTaskDelay, &TaskDelay);
        put(vantor::kezslot::KALTaskStart, &TaskStart);
        return t;
    }();
    return table.data();
}

uint32_t Install(const std::string& path) {
    std::string bytes;
    if (!vantor::ReadWholeFile(path, &bytes)) Die("cannot read " + path);
    vantor::ResourceDb db;
    std::string error;
    if (!vantor::ResourceDbParse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &db, &error))
        Die(path + ": " + error);
    uint32_t id = vantor::os::AddDatabase(db.name.c_str(), db.type, db.creator, db.version);
    for (const auto& r : db.resources) {
        void* h = sys::DmNewResource(id, r.type, r.id, static_cast<uint32_t>(r.bytes.size()));
        if (!h) Die(path + ": no memory for its resources");
        if (!r.bytes.empty()) std::memcpy(sys::MemHandleLock(h), r.bytes.data(), r.bytes.size());
        sys::MemHandleUnlock(h);
    }
    return id;
}

}  // namespace

int main(int argc, char** argv) {
    std::string app;
    long debugPort = -1;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::printf("%s\n%s", kUsage, kHelp);
            return 0;
        }
        if (a == "--debug-port") {
            if (i + 1 >= argc) Die("--debug-port needs a port number");
            char* end = nullptr;
            debugPort = std::strtol(argv[++i], &end, 10);
            if (!*argv[i] || *end || debugPort < 0 || debugPort > 0xFFFF)
                Die(std::string("--debug-port needs a port number, not ") + argv[i]);
        } else if (a.size() > 1 && a[0] == '-') {
            Die("unknown option " + a + "\n" + kUsage);
        } else if (app.empty()) {
            app = a;
        } else {
            Die(kUsage);
        }
    }
    if (app.empty()) Die(kUsage);

    vantor::glue::SetSystemTable(vantor::os::SystemTable());
    vantor::os::RegisterTable(vantor::kKezType, vantor::kKezCreator, KezTable(), vantor::kKezSlots);
    // No resource cache: the stand-in has no translation for 68K UI resources.
    vantor::os::ScriptResult(vantor::os::Library::System, vantor::sysslot::SysIsEmulationAllowed, 0);
    vantor::os::CaptureOutput(false);
    if (debugPort >= 0) {
        uint16_t port = vantor::os::DebuggerLinkListen(static_cast<uint16_t>(debugPort));
        if (!port) Die("cannot listen on port " + std::to_string(debugPort));
        std::printf("debugger port %u\n", port);
        std::fflush(stdout);
    }

    uint32_t id = Install(app);
    vantor::os::SetCurrentAppDatabase(id);
    uint32_t ref = sys::DmOpenDatabaseByID(id, 1);
    std::memcpy(static_cast<uint8_t*>(sys::SysGetTaskRecord()) + vantor::kTaskRecordAppDbRef, &ref, 4);
    if (morvel::EmulatorOpen() != 0) Die("the 68K environment did not open");
    uint32_t result = ModuleEntryPoint(0, nullptr, morvel::kLaunchNewGlobals);
    morvel::EmulatorClose();
    std::printf("result %lu (0x%lx)\n", static_cast<unsigned long>(result), static_cast<unsigned long>(result));
    return 0;
}
