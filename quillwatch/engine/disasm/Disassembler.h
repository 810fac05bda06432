// The 68K disassembler: one instruction of device code becomes one listing line.
//
// It decodes the 68000 instruction set with the 68020 addressing modes, bit fields, MOVEC, EXTB,
// the 68030 PMOVE and the 68040 PFLUSH, CINV, CPUSH and MOVE16. Code comes as host-order
// instruction words from a bounded buffer; nothing is read outside it. Names of routines and
// system calls come from the rest of the debugger through DisasmLookup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillwatch {

// What the disassembler asks of the rest of the debugger. Every answer defaults to "not known",
// so a listing without a device or a function table still works.
class DisasmLookup {
  public:
    virtual ~DisasmLookup() = default;
    // The routine that holds an address: its name and the address's offset from its start.
    virtual bool RoutineAt(uint32_t /*address*/, std::string& /*name*/, int32_t& /*offset*/) { return false; }
    // The function table's name for a system trap (low 12 bits of the trap word) and a dispatch
    // selector (0xFFFF: any).
    virtual bool NameByTrap(uint16_t /*trap*/, uint16_t /*selector*/, std::string& /*name*/) { return false; }
    // The routine address of a trap word from the device's trap tables, or 0; when name is given,
    // also the name the device gives the routine.
    virtual uint32_t TrapAddress(uint16_t /*trap*/, std::string* /*name*/) { return 0; }
};

// The debugger state that a line depends on.
struct DisasmContext {
    uint32_t pc = 0;  // registers of the stopped device
    uint32_t d0 = 0;
    uint32_t d2 = 0;
    bool symbolsOn = false;
    // The current routine [routineStart, routineEnd) and its name ("" for none).
    uint32_t routineStart = 0;
    uint32_t routineEnd = 0;
    std::string_view routineName;
    // The remembered computed call (PEA, PEA, ADDI.L #n,(A7), RTS): the address of its RTS and the
    // routine it calls. Written only by the disassembler; a return point of 0 means none.
    uint32_t callReturnPoint = 0;
    uint32_t callTarget = 0;
    DisasmLookup* lookup = nullptr;
};

struct DisasmResult {
    std::string text;      // the listing line, without a line end
    std::string mnemonic;  // the line's fields, as they appear in it
    std::string operands;
    std::string comment;
    uint32_t nextAddress;  // address of the next instruction
    size_t nextIndex;      // index of the next instruction's word, at most words.size()
    // False when the buffer ended before the instruction (or the routine-name record after it)
    // did: missing words were read as 0 and the caller should read more code at the line's
    // address when it can.
    bool complete;
};

// Disassembles the instruction at words[index], whose device address is `address`. Words before
// index are the code in front of it (a system call looks at the word before the TRAP).
DisasmResult DisassembleLine(DisasmContext& ctx, uint32_t address, std::span<const uint16_t> words,
                             size_t index = 0);

// The routine-name record that may follow a routine's last instruction, starting at words[index].
struct DisasmRecord {
    uint32_t bytes;  // bytes the record occupies (0: no record), always even
    bool complete;   // false when the buffer ended inside the record's head
};
DisasmRecord DisasmRoutineNameRecord(std::span<const uint16_t> words, size_t index);

// Big-endian code bytes as host-order words (a trailing odd byte is dropped).
std::vector<uint16_t> DisasmWordsFromBytes(std::span<const uint8_t> bytes);

}  // namespace quillwatch
