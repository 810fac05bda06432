// The 68K variable arguments of formatted print rebuilt natively. Input: a format (up to the first
// zero byte), then the 68K argument block. The native array has exactly the entries the format may
// consume, so that the sanitizer sees any write beyond them.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/module/ModuleGlue.h"
#include "morvel/traps/StringGlue.h"
#include "standin/os/StandinOs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (vantor::glue::SetSystemTable(vantor::os::SystemTable()), true);
    (void)ready;
    const uint8_t* end = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t formatLength = end ? static_cast<size_t>(end - data) : size;
    const std::string format(reinterpret_cast<const char*>(data), formatLength);
    const uint32_t entries = morvel::FormatArgEntries(format.c_str());
    // Every value takes at most 4 bytes of the block: give it that much, the input's bytes first.
    std::vector<uint32_t> block(entries + 1, 0);
    const size_t rest = size - formatLength - (end ? 1 : 0);
    std::memcpy(block.data(), data + size - rest, rest < block.size() * 4 ? rest : block.size() * 4);
    std::vector<uint32_t> native(entries);
    morvel::StrVPrintFImpl(format.c_str(), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block.data())),
                           native.data());
    return 0;
}
