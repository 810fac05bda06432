// The options file: read by position, validated, and written back.
#include <cstdint>
#include <cstring>

#include "fuzz/tamsk/FuzzSupport.h"
#include "tamsk/board/Options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamsk;
    fuzz::CatchFatal();
    OptSetFilePath(fuzz::ScratchFile(data, size));
    OptLoadDefaults();
    OptReadFile();
    for (const OptionRow& row : OptionTable)
        if (row.type == OptionType::Text && std::memchr(row.value, 0, kOptionTextSize) == nullptr)
            __builtin_trap();  // every text stays terminated
    try {
        OptValidate();
    } catch (const fuzz::Fatal&) {
    }
    OptWriteFile();
    return 0;
}
