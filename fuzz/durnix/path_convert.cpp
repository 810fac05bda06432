// Device paths converted against a small host tree. Input: a flags byte (bit 0: create, bit 1: a
// FAT volume), then the device path. Every result must lie inside the volume's root.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/module/ModuleGlue.h"
#include "common/module/ProgramModule.h"
#include "durnix/PathConvert.h"
#include "standin/os/StandinOs.h"

namespace {

// A temporary tree: top/card (the root) with Apps/Launcher/x.vrx, a sibling top/card2 and a link
// from the root out to it.
std::string MakeTree() {
    char pattern[] = "/tmp/durnix-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    const std::string top = pattern;
    for (const char* d : {"/card", "/card/Apps", "/card/Apps/Launcher", "/card2"}) mkdir((top + d).c_str(), 0700);
    if (FILE* f = std::fopen((top + "/card/Apps/Launcher/x.vrx").c_str(), "w")) std::fclose(f);
    if (symlink((top + "/card2").c_str(), (top + "/card/out").c_str()) != 0) std::abort();
    static std::string gTop = top;
    std::atexit([] { std::filesystem::remove_all(gTop); });
    return top + "/card";
}
}  // namespace
VANTOR_PROGRAM_AS_MODULE("Dnx_")

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string root = [] {
        vantor::glue::SetSystemTable(vantor::os::SystemTable());
        vantor::os::CaptureOutput(true);
        return MakeTree();
    }();
    if (size < 1) return 0;
    vantor::os::Reset();  // forget the traces of the last input
    vantor::os::CaptureOutput(true);
    durnix::DurnixGlobals globals{};
    globals.separator = '/';
    durnix::DurnixVolume volume{};
    std::snprintf(volume.root, sizeof volume.root, "%s", root.c_str());
    volume.fsMagic = (data[0] & 2) ? durnix::kFsMagicMsDos : 0;
    const std::string path(reinterpret_cast<const char*>(data + 1), strnlen(reinterpret_cast<const char*>(data + 1), size - 1));
    char* result = durnix::PrvFSPathConvert(&globals, &volume, path.c_str(), data[0] & 1);
    if (result) {
        const size_t n = root.size();
        if (std::strncmp(result, root.c_str(), n) != 0 || (result[n] != 0 && result[n] != '/')) std::abort();
        std::free(result);
    }
    return 0;
}
