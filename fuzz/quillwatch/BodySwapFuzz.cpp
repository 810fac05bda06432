// Bodies and records received from a device: every converter must stay inside the buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/DebuggerPackets.h"

using namespace vantor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that the sanitizer sees any access past the end.
    std::vector<uint8_t> b(data, data + size);
    SwapPacketBody(b.data(), b.size());
    SwapRegisters(b.data(), b.size());
    SwapRemoteEventBody(b.data(), b.size());
    SwapRect(b.data(), b.size());
    SwapFieldAttributes(b.data(), b.size());
    SwapKernelInfo(b.data(), b.size());
    SwapDmSearchState(b.data(), b.size());
    SwapDatabaseHeader(b.data(), b.size());
    SwapAppInfo(b.data(), b.size());
    SwapCardHeader(b.data(), b.size());
    for (int l = 0; l <= static_cast<int>(DbgRecordLayout::L0_L4_L8_L12); ++l)
        SwapDeviceRecord(static_cast<DbgRecordLayout>(l), b.data(), b.size());
    SwapPackedPairFromDevice(b.data(), b.size());
    SwapCountedListFromDevice(b.data(), b.size());
    return 0;
}
