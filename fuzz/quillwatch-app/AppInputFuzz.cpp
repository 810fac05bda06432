// The debugger program's outside input: the preferences file (any bytes, any length) and the
// command line (the input's lines as arguments). Decoding must stay in bounds, terminate every
// text, and encode back to a record that decodes to the same values.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "quillwatch/app/App.h"
#include "quillwatch/app/Prefs.h"

using namespace quillwatch;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QuillwatchPrefs p;
    PrefsDecode(data, size, &p, 1280, 1024);
    if (std::strlen(p.font.faceName) >= sizeof p.font.faceName || std::strlen(p.folder) >= sizeof p.folder)
        __builtin_trap();
    uint8_t bytes[kPrefsSize];
    PrefsEncode(p, bytes);
    QuillwatchPrefs again;
    if (!PrefsDecode(bytes, sizeof bytes, &again, 1280, 1024) || again.host != p.host ||
        again.linkCommand != p.linkCommand || std::strcmp(again.folder, p.folder) != 0)
        __builtin_trap();

    // Arguments: the input split at line ends; host names are left out, so nothing is looked up.
    std::vector<std::string> args = {"quillwatch"};
    std::string cur;
    for (size_t i = 0; i < size && args.size() < 16; ++i) {
        if (data[i] == '\n') {
            args.push_back(cur);
            cur.clear();
        } else if (data[i] != 0) {
            cur += static_cast<char>(data[i]);
        }
    }
    args.push_back(cur);
    std::vector<const char*> argv;
    for (auto& a : args) {
        if (a.empty() || a[0] != '-') {
            const size_t colon = a.rfind(':');
            a = "1.2.3.4" + (colon == std::string::npos ? std::string() : a.substr(colon));
        }
        argv.push_back(a.c_str());
    }
    QuillwatchOptions o;
    ParseOptions(static_cast<int>(argv.size()), argv.data(), &o);
    return 0;
}
