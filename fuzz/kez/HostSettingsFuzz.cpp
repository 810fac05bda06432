// kez-host's settings: the input is a settings file (first byte even) or a command line whose
// arguments are separated by NUL bytes (first byte odd). Every accepted configuration keeps its
// paths and texts terminated within their fields.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "standin/os/host/HostSettings.h"

using namespace vantor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    HostSettings settings;
    std::string error;
    bool ok;
    if ((data[0] & 1) == 0) {
        ok = ParseHostSettingsText(text, "fuzz", &settings, &error);
    } else {
        std::vector<std::string> arguments{"kez-host"};
        size_t at = 0;
        while (at <= text.size()) {
            size_t end = text.find('\0', at);
            if (end == std::string::npos) end = text.size();
            arguments.push_back(text.substr(at, end - at));
            at = end + 1;
        }
        std::vector<char*> argv;
        for (std::string& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        ok = ParseHostCommandLine(static_cast<int>(arguments.size()), argv.data(), &settings, &error);
    }
    if (ok) {
        const KezBootConfig& c = settings.config;
        if (!std::memchr(c.romPath, 0, sizeof c.romPath) || !std::memchr(c.storagePath, 0, sizeof c.storagePath))
            std::abort();
    } else if (error.empty()) {
        std::abort();  // a refusal always says why
    }
    return 0;
}
