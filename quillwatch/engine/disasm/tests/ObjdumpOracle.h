// Comparison of the disassembler with m68k-linux-gnu-objdump, an independent disassembler.
//
// For every instruction objdump lists, our line at the same address is compared with it: length,
// mnemonic with size, operands and branch targets. Both sides are first brought to one neutral
// notation (objdump writes MIT syntax: "%a0@(16)", "#-1", absolute branch targets; our lines
// write "$0010(A0)", "#$FFFF", "*+$000E"). What is left is a difference unless an allowlist entry
// explains it; each entry says why.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace qwtest {

struct ObjdumpInsn {
    uint32_t address = 0;
    uint32_t length = 0;  // bytes, from the words objdump lists for it
    std::string mnemonic;
    std::string operands;
};

// Runs a shell command; returns false (with the exit status in out) when it fails.
bool RunCommand(const std::string& command, std::string& out);

// Parses the instruction lines of "objdump -d" output.
std::vector<ObjdumpInsn> ParseObjdump(const std::string& text);

// Disassembles raw big-endian code at an address with objdump (68040 with the 68030 MMU).
std::vector<ObjdumpInsn> ObjdumpRaw(std::span<const uint8_t> code, uint32_t address);

struct CompareStats {
    size_t compared = 0;
    std::map<std::string, size_t> allowed;  // allowlist entry -> how often it applied
    std::vector<std::string> differences;   // one report line each
};

// Compares every objdump instruction for which `wanted` holds with our line at its address.
// `code` holds the section's words from `base` on.
void CompareWithObjdump(const std::vector<ObjdumpInsn>& insns, std::span<const uint16_t> code, uint32_t base,
                        CompareStats& stats, bool (*wanted)(const ObjdumpInsn&) = nullptr);

// The report of a comparison: counts, allowlist use and the first differences.
std::string CompareReport(const CompareStats& stats, size_t maxDifferences = 40);

}  // namespace qwtest
