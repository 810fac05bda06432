// Application icons of the remote-access server: the input is a bitmap family in the OS's native
// layout, as the 68K environment translates an application's icon resource (its headers, colour
// tables, chains and compressed streams come from a database), held in a buffer of exactly its
// size. A family that converts must give an XPM image whose offsets all point into it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/module/KezBootConfig.h"
#include "kez/src/GRASServer.h"
#include "standin/os/StandinOs.h"

extern "C" void KezGlobalsInit(const vantor::KezBootConfig* config, vantor::KezHostStatus* status);
extern "C" void PrvPatchSystemDispatchTable(vantor::SystemDispatchTable table);
extern "C" void __SetMyDispatchTable();

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        vantor::os::CaptureOutput(true);
        PrvPatchSystemDispatchTable(vantor::os::SystemTable());
        __SetMyDispatchTable();
        static vantor::KezBootConfig config{};
        KezGlobalsInit(&config, nullptr);
        return true;
    }();
    (void)ready;
    if (size > 65536) return 0;
    std::vector<uint8_t> family(data, data + size);
    std::vector<uint8_t> xpm;
    if (kez::PrvGRASIconToXPM(family.empty() ? nullptr : family.data(), static_cast<uint32_t>(size), &xpm) == 0) {
        // The values line, 256 colours and 32 rows.
        for (uint32_t i = 0; i < 1 + 256 + 32; ++i) {
            uint32_t offset;
            std::memcpy(&offset, xpm.data() + 4 * i, 4);
            if (offset >= xpm.size() || !std::memchr(xpm.data() + offset, 0, xpm.size() - offset)) std::abort();
        }
    }
    vantor::os::Reset();
    vantor::os::CaptureOutput(true);
    return 0;
}
