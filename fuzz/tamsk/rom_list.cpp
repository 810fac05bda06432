// ROM lists: items parsed from the text, and their paths made relative to the list's folder.
#include <cstdint>
#include <cstring>
#include <string>

#include "tamsk/board/Rom.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamsk;
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t pos = 0, last = 0;
    RomListItem item;
    while (RomParseListItem(text, &pos, &item)) {
        if (pos <= last && last != 0) __builtin_trap();  // always moves on
        last = pos;
        if (std::strlen(item.area) > 4 || std::strlen(item.path) > 259) __builtin_trap();
        RomItemPath("roms/list.aei", item.path);
    }
    if (pos > text.size()) __builtin_trap();
    RomFileKind(text.c_str());
    return 0;
}
