// The Ethernet controller as guest code and the network drive it: register reads and writes of
// every size anywhere in the window, frames captured from the adapter (through the filter and
// into the controller), sends, and a restore from a chunk image. No input may reach past a slot,
// a queue or a frame.
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/devices/Ethernet.h"
#include "tamsk/devices/EthernetBridge.h"
#include "tamsk/devices/Gpio.h"
#include "tamsk/devices/Intc.h"

namespace {
size_t g_sentBytes;
void CountSent(const uint8_t* frame, uint32_t length) {
    // Touch every byte handed over: a send past the slot would be caught here.
    for (uint32_t i = 0; i < length; ++i) g_sentBytes += frame[i];
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamsk;
    static const bool ready = [] {
        OptLoadDefaults();
        Opt.EnableEthernet = 0;
        MemAllocateAreas();
        return true;
    }();
    (void)ready;
    IntcReset(kRunPowerOn);
    GpioReset(kRunPowerOn);
    EthReset(kRunPowerOn);
    EthSetSendHook(CountSent);
    const uint8_t mac[6] = {0x02, 0, 0, 0, 0, 1};
    EthBridgeSetMac(mac);
    // Records: an operation byte, then its operands.
    size_t at = 0;
    while (at + 6 <= size) {
        const uint8_t op = data[at];
        uint32_t value;
        std::memcpy(&value, data + at + 2, 4);
        const uint32_t address = kEthWindowBase + (uint32_t(data[at + 1]) << 4 | (value >> 28)) % 0x4000;
        switch (op % 5) {
            case 0: EthRead(0x14000300 + (data[at + 1] & 15), 1 << (op / 5 % 3)); break;
            case 1: EthWrite(0x14000300 + (data[at + 1] & 15), value, 1 << (op / 5 % 3)); break;
            case 2: EthRead(address, 4); break;
            case 3: {  // a captured frame of the length the record names, from the rest of the input
                const size_t length = std::min<size_t>(value % 2300, size - at - 6);
                std::vector<uint8_t> frame(data + at + 6, data + at + 6 + length);
                if (EthFilterFrame(frame.data(), uint32_t(frame.size()))) EthDeliver(frame.data(), uint32_t(frame.size()));
                at += length;
                break;
            }
            case 4: {
                std::vector<uint8_t> image(kEthChunkSize);
                EthImage(image.data());
                image[value % kEthChunkSize] = uint8_t(value >> 24);
                EthLoadImage(image.data());
                break;
            }
        }
        at += 6;
    }
    EthSetSendHook(nullptr);
    return 0;
}
