// Generates the differential test programs: each case loads every register and the flags from a
// table, runs a generated body of ARM or Thumb instructions, and stores the registers and the CPSR.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace diff {

// Fixed addresses of the generated programs.
constexpr uint32_t kCodeBase = 0x8000;
constexpr uint32_t kDataBase = 0x200000;  // results, then the scratch memory
constexpr uint32_t kScratchSize = 0x10000;

struct Program {
    std::string source;                   // assembly text
    std::vector<std::string> bodies;      // each case's body, for reports
    uint32_t results;                     // address of the result table (16 words a case)
    uint32_t scratch;                     // address of the scratch memory
};

Program Generate(bool thumb, int cases, uint64_t seed);

}  // namespace diff
