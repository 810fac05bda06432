// Remote-call replies from a device: whatever body comes back framed for the request, the reply
// checks and the copying of results into the caller's variables must stay in bounds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/RemoteStubs.h"
#include "quillwatch/link/tests/support/DevSim.h"

using namespace quillwatch;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = (test::UseMemoryLink(), true);
    (void)ready;
    auto& link = test::TheMemoryLink();
    const std::vector<uint8_t> reply(data, data + size);
    link.respond = [&] {
        uint8_t transId = link.sent.back()[8];
        link.sent.clear();
        auto frame = test::FramePacket(1, 1, transId, reply);
        link.incoming.assign(frame.begin(), frame.end());
    };
    char name[32], manuf[32];
    uint8_t record[64];
    uint16_t w = 0;
    uint32_t l = 0;
    ErrTry([&] { MemCardInfo(0, name, manuf, &w, &l, &l, &l, &l); });
    ErrTry([&] { SysKernelInfo(record); });
    ErrTry([&] { DmGetNextDatabaseByTypeCreator(1, record, 1, 2, 0, &w, &l); });
    ErrTry([&] { DmStrCopy(1, 2, "text"); });
    ErrTry([&] { FldGetAttributes(1, record); });
    link.respond = nullptr;
    link.incoming.clear();
    return 0;
}
