// Database files as the autoload directory and the remote-access server meet them: the input is
// written to a file and imported, so that the size checks, the mapping, the header and entry-list
// checks and the OS's create service all see it. A file that passes must describe a database
// whose every entry offset lies inside it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/module/KezBootConfig.h"
#include "kez/src/HALImport.h"
#include "standin/os/StandinOs.h"

extern "C" void KezGlobalsInit(const vantor::KezBootConfig* config, vantor::KezHostStatus* status);
extern "C" void PrvPatchSystemDispatchTable(vantor::SystemDispatchTable table);
extern "C" void __SetMyDispatchTable();

namespace {

int gFile = -1;
std::string gPath;

void SetUp() {
    vantor::os::CaptureOutput(true);
    PrvPatchSystemDispatchTable(vantor::os::SystemTable());
    __SetMyDispatchTable();
    static vantor::KezBootConfig config{};
    KezGlobalsInit(&config, nullptr);
    gFile = memfd_create("kez-import-fuzz", 0);
    if (gFile < 0) std::abort();
    gPath = "/proc/self/fd/" + std::to_string(gFile);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (gFile < 0) SetUp();
    if (ftruncate(gFile, 0) != 0 || pwrite(gFile, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    bool valid = kez::PrvCheckDB(data, static_cast<uint32_t>(size));
    uint32_t id = 0;
    uint16_t status = kez::HALImportFile(gPath.c_str(), 1, vantor::os::CreateDatabaseFromImage, &id);
    if (status == 0 && (!valid || id == 0)) std::abort();
    vantor::os::Reset();
    vantor::os::CaptureOutput(true);
    return 0;
}
