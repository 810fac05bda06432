// A configuration list as read from "Net Prefs": any 584 bytes; every index is followed.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sockra/SockraPrefs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sockra::NetConfigList list;
    memset(&list, 0, sizeof list);
    memcpy(&list, data, size < sizeof list ? size : sizeof list);
    for (uint32_t i = 0; i <= 17; ++i) {
        uint16_t index = i == 17 ? 0xFFFF : static_cast<uint16_t>(i);
        uint16_t r = 0x1234;
        if (sockra::NetConfigFollowAlias(&list, index, &r) == 0 && r != 0xFFFF &&
            (r >= 16 || sockra::NetConfigIsAlias(list.entries[r]) || sockra::NetConfigIsFree(list.entries[r])))
            abort();
    }
    return 0;
}
