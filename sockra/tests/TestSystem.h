// A system dispatch table for tests of the library's units: trace lines and error reports are
// captured, memory comes from the C heap, features and the event flag are scripted, and any other
// slot fails the test with its number.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sockra::test {

struct TestSystem {
    // Installs the table as the library's system table and clears what was captured.
    static void Install();
    static std::vector<std::string> Traces();
    static std::vector<std::string> Reports();
    static void ClearCaptures();
    static bool Traced(const std::string& line);
    static void SetEventAvail(bool avail);
    static void SetFeature(uint32_t creator, uint16_t number, uint32_t value);
};

}  // namespace sockra::test
