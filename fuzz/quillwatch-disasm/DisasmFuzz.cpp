// Lists arbitrary bytes as 68K code, the way the instruction-list command steps through memory.
// Input: one flag byte (bit 0 SymbolsOn, bit 1 the PC at the first instruction), the 32-bit
// address of the code, then the code bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "quillwatch/engine/disasm/Disassembler.h"

namespace {

class Names : public quillwatch::DisasmLookup {
  public:
    bool RoutineAt(uint32_t address, std::string& name, int32_t& offset) override {
        if (address & 3) return false;
        name = "Routine";
        offset = static_cast<int32_t>(address & 0x1F) - 16;
        return true;
    }
    bool NameByTrap(uint16_t trap, uint16_t, std::string& name) override {
        if (trap & 1) return false;
        name = "Trap";
        return true;
    }
    uint32_t TrapAddress(uint16_t trap, std::string* name) override {
        if (name) *name = "Device";
        return trap * 4u;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    Names names;
    quillwatch::DisasmContext ctx;
    ctx.symbolsOn = data[0] & 1;
    uint32_t address =
        (uint32_t{data[1]} << 24) | (uint32_t{data[2]} << 16) | (uint32_t{data[3]} << 8) | data[4];
    address &= ~1u;
    ctx.pc = (data[0] & 2) ? address : address ^ 0x80000000u;
    ctx.d0 = address + 0x100;
    ctx.d2 = data[0];
    ctx.routineStart = address;
    ctx.routineEnd = address + 0x40;
    ctx.routineName = "Listed";
    ctx.lookup = &names;
    std::vector<uint16_t> words = quillwatch::DisasmWordsFromBytes({data + 5, size - 5});

    size_t index = 0;
    while (index < words.size()) {
        quillwatch::DisasmResult r = quillwatch::DisassembleLine(ctx, address, words, index);
        quillwatch::DisasmRecord record = quillwatch::DisasmRoutineNameRecord(words, index);
        if (r.nextIndex <= index || r.nextIndex > words.size() || r.text.size() < 75 || (record.bytes & 1)) {
            __builtin_trap();  // no progress, or a line or record out of shape
        }
        address = r.nextAddress;
        index = r.nextIndex;
    }
    return 0;
}
