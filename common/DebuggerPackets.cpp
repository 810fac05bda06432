#include "common/DebuggerPackets.h"

#include <initializer_list>

#include "common/BigEndian.h"

namespace vantor {

namespace {

// Converts fields of one buffer, each only when it lies wholly inside the buffer.
class Swapper {
public:
    Swapper(void* p, size_t size) : p_(static_cast<uint8_t*>(p)), size_(size) {}
    Swapper& W(size_t off) {
        if (off + 2 <= size_) SwapInPlace16(p_ + off);
        return *this;
    }
    Swapper& L(size_t off) {
        if (off + 4 <= size_) SwapInPlace32(p_ + off);
        return *this;
    }
    Swapper& Regs(size_t off) {
        for (size_t i = 0; i < 18; ++i) L(off + 4 * i);
        return W(off + 72);
    }
    uint8_t* p() const { return p_; }
    size_t size() const { return size_; }

private:
    uint8_t* p_;
    size_t size_;
};

}  // namespace

void SwapEmptyBody(void*, size_t) {}

void SwapRegisters(void* regs, size_t size) { Swapper(regs, size).Regs(0); }

void SwapStateResponse(void* body, size_t size) {
    Swapper s(body, size);
    s.W(4).Regs(6);
    for (size_t i = 0; i < 15; ++i) s.W(80 + 2 * i);
    for (size_t i = 0; i < dbgBreakpointCount; ++i) s.L(110 + 6 * i);
    s.L(146).L(150);
}

void SwapMemRequest(void* body, size_t size) { Swapper(body, size).L(2).W(6); }
void SwapAddressBody(void* body, size_t size) { Swapper(body, size).L(2); }
void SwapRtnNameResponse(void* body, size_t size) { Swapper(body, size).L(2).L(6).L(10); }
void SwapWriteRegsRequest(void* body, size_t size) { Swapper(body, size).Regs(2); }
void SwapContinueRequest(void* body, size_t size) { Swapper(body, size).Regs(2).L(78).L(82).L(86); }
void SwapRpcBody(void* body, size_t size) { Swapper(body, size).W(2).L(4).L(8).W(12); }
void SwapRpc2Body(void* body, size_t size) { Swapper(body, size).W(2).L(4).L(8).L(12).L(20); }
void SwapSerialSettingsRequest(void* body, size_t size) { Swapper(body, size).L(4).L(8); }
void SwapSerialSettingsResponse(void* body, size_t size) { Swapper(body, size).L(2).L(6); }
void SwapTesterRequest(void* body, size_t size) { Swapper(body, size).W(2); }
void SwapFindRequest(void* body, size_t size) { Swapper(body, size).L(2).L(6).W(10); }
void SwapChecksumBody(void* body, size_t size) { Swapper(body, size).L(2).W(6).W(8).W(10); }
void SwapFlashBody(void* body, size_t size) {
    Swapper(body, size).W(2).L(4).L(8).L(12).L(16).W(20).L(28);
}
void SwapRemoteEventBody(void* body, size_t size) { Swapper(body, size).W(4).W(6).W(10).W(12).W(14); }
void SwapWord(void* p) { SwapInPlace16(p); }
void SwapLong(void* p) { SwapInPlace32(p); }

void SwapPacketBody(void* body, size_t size) {
    if (size == 0) return;
    switch (*static_cast<const uint8_t*>(body)) {
        case dbgPktReadMem:
        case dbgPktWriteMem: SwapMemRequest(body, size); break;
        case dbgPktRtnName:
        case dbgPktFind | dbgReplyFlag: SwapAddressBody(body, size); break;
        case dbgPktWriteRegs: SwapWriteRegsRequest(body, size); break;
        case dbgPktContinue: SwapContinueRequest(body, size); break;
        case dbgPktRemoteCall:
        case dbgPktRemoteCall | dbgReplyFlag: SwapRpcBody(body, size); break;
        case dbgPktRemoteCall2:
        case dbgPktRemoteCall2 | dbgReplyFlag: SwapRpc2Body(body, size); break;
        case dbgPktSerialSettings: SwapSerialSettingsRequest(body, size); break;
        case dbgPktSerialSettings | dbgReplyFlag: SwapSerialSettingsResponse(body, size); break;
        case dbgPktTesterRequest: SwapTesterRequest(body, size); break;
        case dbgPktFind: SwapFindRequest(body, size); break;
        case sysPktChecksumCmd:
        case sysPktChecksumCmd | dbgReplyFlag: SwapChecksumBody(body, size); break;
        case dbgPktFlash:
        case dbgPktFlash | dbgReplyFlag: SwapFlashBody(body, size); break;
        case dbgPktState | dbgReplyFlag: SwapStateResponse(body, size); break;
        case dbgPktRtnName | dbgReplyFlag: SwapRtnNameResponse(body, size); break;
        default: break;
    }
}

void SwapRect(void* rect, size_t size) { Swapper(rect, size).W(0).W(2).W(4).W(6); }

void SwapFieldAttributes(void* attr, size_t size) {
    // The device allocates bit-fields from the most significant bit: exchanging the bytes and then
    // reversing all 16 bits reverses the bit order within each byte.
    static constexpr uint8_t kNibble[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    if (size < 2) return;
    auto* b = static_cast<uint8_t*>(attr);
    uint16_t w = Swap16(static_cast<uint16_t>(b[0] | (b[1] << 8)));
    uint16_t r = 0;
    for (int n = 0; n < 4; ++n) r = static_cast<uint16_t>((r << 4) | kNibble[(w >> (4 * n)) & 0xF]);
    b[0] = static_cast<uint8_t>(r);
    b[1] = static_cast<uint8_t>(r >> 8);
}

void SwapKernelInfo(void* info, size_t size) {
    Swapper s(info, size);
    s.L(6);
    if (size < 6) return;
    // The kind word is not converted: it stays in device order in both directions.
    switch (ReadBE16(s.p() + 4)) {
        case 0:
        case 1:
            for (size_t off : {10, 14, 18, 22, 26, 30}) s.L(off);
            s.W(34).W(36).W(38);
            for (size_t off : {40, 44, 48, 52, 56, 60}) s.L(off);
            break;
        case 2: s.L(10).L(14).L(18).W(22).W(24).W(26).L(28); break;
        case 3:
            for (size_t off : {10, 14, 18, 22, 26, 30}) s.L(off);
            break;
        default: break;
    }
}

void SwapDmSearchState(void* state, size_t size) {
    Swapper s(state, size);
    for (size_t off = 0; off < 32; off += 4) s.L(off);
}

void SwapDatabaseHeader(void* header, size_t size) {
    Swapper s(header, size);
    s.W(32).W(34);
    for (size_t off = 36; off <= 72; off += 4) s.L(off);
    s.W(76);
}

void SwapAppInfo(void* info, size_t size) {
    Swapper s(info, size);
    s.W(0).L(2).W(6).L(8).L(12).L(16).L(20).L(24).W(28).L(30).W(34);
    for (size_t off = 36; off <= 56; off += 4) s.L(off);
}

void SwapCardHeader(void* header, size_t size) {
    Swapper s(header, size);
    s.L(0).L(4).L(8).W(12).W(14).L(82).W(86);
    for (size_t off = 88; off <= 108; off += 4) s.L(off);
    s.W(112);
}

void SwapDeviceRecord(DbgRecordLayout layout, void* record, size_t size) {
    Swapper s(record, size);
    using R = DbgRecordLayout;
    switch (layout) {
        case R::L0_W4_L6: s.L(0).W(4).L(6); break;
        case R::L0_W4_L8: s.L(0).W(4).L(8); break;
        case R::W0_L4_L8_W12_L16: s.W(0).L(4).L(8).W(12).L(16); break;
        case R::W0_L2_W6_L8: s.W(0).L(2).W(6).L(8); break;
        case R::W0_W2_W4_W6: s.W(0).W(2).W(4).W(6); break;
        case R::W0_W4: s.W(0).W(4); break;
        case R::W0_L4: s.W(0).L(4); break;
        case R::W0_W2: s.W(0).W(2); break;
        case R::L0_W4: s.L(0).W(4); break;
        case R::L0_L4_L8_W12: s.L(0).L(4).L(8).W(12); break;
        case R::L0_W4_L6_L12_L16_L20_W24_W26_L28_L32:
            s.L(0).W(4).L(6).L(12).L(16).L(20).W(24).W(26).L(28).L(32);
            break;
        case R::L0_W4_L6_L10: s.L(0).W(4).L(6).L(10); break;
        case R::L0_L4_L8_L12: s.L(0).L(4).L(8).L(12); break;
    }
}

void SwapPackedPairFromDevice(void* entry, size_t size) {
    if (size < 8) return;
    auto* b = static_cast<uint8_t*>(entry);
    uint32_t first = (uint32_t{static_cast<uint8_t>(b[0] & ~0x30)} << 24) | (ReadBE32(b) & 0x00FFFFFFu);
    uint32_t second = ReadBE32(b + 4);
    std::memcpy(b, &first, 4);
    std::memcpy(b + 4, &second, 4);
}

void SwapCountedListFromDevice(void* list, size_t size) {
    Swapper s(list, size);
    s.L(0).W(4);
    if (size < 6) return;
    uint16_t count;
    std::memcpy(&count, s.p() + 4, 2);
    for (size_t i = 0; i < count && 8 + 4 * i + 4 <= size; ++i) s.L(8 + 4 * i);
}

}  // namespace vantor
