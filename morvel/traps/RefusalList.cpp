#include "morvel/traps/RefusalList.h"

#include <algorithm>

#include "common/BigEndian.h"
#include "common/module/SystemCalls.h"

namespace morvel {

bool RefusalListLoad(EmulState* g, const uint8_t* image, uint32_t size) {
    RefusalListFree(g);
    if (!image || size < 4) return true;
    // The word count may claim more than the resource holds: take what is there.
    uint32_t words = std::min<uint32_t>(vantor::ReadBE16(image + 2), (size - 4) / 4);
    uint32_t count = words * 4 / sizeof(RefusalRecord);
    if (count == 0) return true;
    auto* records = static_cast<RefusalRecord*>(vantor::sys::MemPtrNew(count * sizeof(RefusalRecord)));
    if (!records) return false;
    vantor::sys::MemPtrSetOwner(records, 0);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* r = image + 4 + i * sizeof(RefusalRecord);
        records[i] = {vantor::ReadBE32(r), vantor::ReadBE32(r + 4), vantor::ReadBE32(r + 8)};
    }
    g->resHookCopy = records;
    g->resHookCount = count;
    return true;
}

void RefusalListFree(EmulState* g) {
    if (g->resHookCopy) vantor::sys::MemChunkFree(g->resHookCopy);
    g->resHookCopy = nullptr;
    g->resHookCount = 0;
}

bool RefusalListRefuses(const EmulState* g, uint32_t dbID) {
    if (!g || !(dbID & 0x80000000u) || g->resHookCount == 0) return false;
    uint16_t version = 0;
    uint32_t created = 0, type = 0, creator = 0;
    if (vantor::sys::DmDatabaseInfoByID(dbID, nullptr, nullptr, &version, &created, &type, &creator) != 0)
        return false;
    const auto* begin = static_cast<const RefusalRecord*>(g->resHookCopy);
    const auto* end = begin + g->resHookCount;
    const auto* r = std::lower_bound(begin, end, creator,
                                     [](const RefusalRecord& rec, uint32_t c) { return rec.creator < c; });
    for (; r != end && r->creator == creator; ++r) {
        if (r->type != type) continue;
        switch (r->limit & 3) {
            case 0:
                if (version <= (r->limit >> 16)) return true;
                break;
            case 3:
                if (created <= (r->limit & ~3u)) return true;
                break;
            default: break;
        }
    }
    return false;
}

}  // namespace morvel
