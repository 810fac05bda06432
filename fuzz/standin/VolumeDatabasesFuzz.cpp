// Database files on a volume as the OS reads them: the input is a file of a mounted volume whose
// header (system slot 665) and resources (664) are read and which is imported (682). A file that
// imports must describe a database that exports (658) again.
#include <cstdint>
#include <cstdlib>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/ResourceDb.h"
#include "standin/os/StandinOs.h"
#include "standin/os/tests/MemoryFileSystem.h"

namespace {

using namespace vantor;

template <typename Sig, typename... A>
auto Sys(uint16_t slot, A... args) {
    return reinterpret_cast<Sig*>(os::SystemTable()[slot])(args...);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    os::CaptureOutput(true);
    os::MemoryFileSystem fs;
    uint16_t volume = fs.Install(1);
    if (volume == 0) std::abort();
    fs.files["/f.vrx"].assign(data, data + size);
    uint32_t ref = 0;
    if (Sys<uint16_t(uint16_t, const char*, uint16_t, uint32_t*)>(sysslot::FileSystemSel3, volume, "/f.vrx",
                                                                  uint16_t{2}, &ref) != 0)
        std::abort();
    char name[32];
    uint16_t count = 0;
    using FileDBInfo = uint16_t(uint32_t, char*, uint16_t*, uint16_t*, uint32_t*, uint32_t*, uint32_t*, uint32_t*,
                                void**, void**, uint32_t*, uint32_t*, uint16_t*);
    Sys<FileDBInfo>(sysslot::FileSystemSel37, ref, name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                    nullptr, nullptr, nullptr, nullptr, &count);
    // The first resource that the file names, if it names one inside the input.
    uint32_t type = size >= 88 ? ReadBE32(data + 78) : FourCC("tAIN");
    uint16_t id = size >= 88 ? ReadBE16(data + 82) : 0;
    void* handle = nullptr;
    if (Sys<uint16_t(uint32_t, uint32_t, uint16_t, void**)>(sysslot::FileSystemSel36, ref, type, id, &handle) == 0)
        Sys<syssig::MemHandleFree>(sysslot::MemHandleFree, handle);
    Sys<uint16_t(uint32_t)>(sysslot::FileSystemSel4, ref);
    uint32_t dbID = 0;
    if (Sys<uint16_t(uint16_t, const char*, uint32_t*)>(sysslot::VFSImportDatabaseFromFile, volume, "/f.vrx",
                                                        &dbID) == 0 &&
        Sys<uint16_t(uint16_t, const char*, uint16_t, uint32_t)>(sysslot::FileSystemSel35, volume, "/g.vrx",
                                                                 uint16_t{0}, dbID) != 0)
        std::abort();
    fs.Uninstall();
    os::Reset();
    return 0;
}
