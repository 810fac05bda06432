// The command line: arguments are the input's lines.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/tamsk/FuzzSupport.h"
#include "tamsk/board/Options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamsk;
    fuzz::CatchFatal();
    std::vector<std::string> args{"tamsk"};
    std::string current;
    for (size_t i = 0; i < size && args.size() < 64; ++i) {
        if (data[i] == '\n') {
            args.push_back(current);
            current.clear();
        } else {
            current += char(data[i]);
        }
    }
    args.push_back(current);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    OptSetCommandLine(int(argv.size()), argv.data());
    OptLoadDefaults();
    try {
        OptParseCommandLine();
        OptValidate();
    } catch (const fuzz::Fatal&) {
    }
    return 0;
}
