// Bytes arriving on the link: the hunt, header and body checks, the waits for replies and the
// packets kept for later must take any stream.
#include <cstddef>
#include <cstdint>

#include "quillwatch/link/SerialLinkMgr.h"
#include "quillwatch/link/tests/support/DevSim.h"

using namespace quillwatch;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = (test::UseMemoryLink(), true);
    (void)ready;
    auto& link = test::TheMemoryLink();
    link.incoming.assign(data, data + size);
    uint8_t body[272];
    uint16_t bufSize = size ? static_cast<uint16_t>(data[0] % 2 ? 272 : 16) : 272;
    for (size_t i = 0; i <= size + 2 && !link.incoming.empty(); ++i) {
        SlkPktHeaderType h;
        uint16_t socket = static_cast<uint16_t>(i % 3);
        // Plain receives, waits for a reply (keeping what is not one) and the clearing before a request.
        switch (data[i % size] / 64) {
            case 0:
            case 1:
                if (SlkReceivePacket(socket, false, &h, body, bufSize, 0) == vantor::slkErrOtherSocket)
                    SlkReceivePacket(socket, true, &h, body, bufSize, 0);
                break;
            case 2: SlkReceiveReply(socket, data[i % size], &h, body, bufSize, 0); break;
            default: SlkFlushReplies(socket); break;
        }
    }
    // The packets kept for later receives come out whole.
    for (int i = 0; i < 16; ++i) {
        SlkPktHeaderType h;
        SlkReceivePacket(static_cast<uint16_t>(i % 3), true, &h, body, bufSize, 0);
    }
    SlkFlushSocket(0, 0);
    return 0;
}
