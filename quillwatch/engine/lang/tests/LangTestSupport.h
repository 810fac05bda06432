// A debugger context with the command language and a console window, for the language's tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

class LangTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The console's text since the last clear, line ends as "\n".
    std::string Console();
    void ClearConsole();
    // Runs one line through DbgExecuteLine and returns what it wrote to the console.
    std::string Run(const std::string& line, uint8_t aliasLine = 0);
    // The tokens of one line, one word each (see the test file for the notation).
    std::vector<std::string> Scan(const std::string& line);
    // Parses one line and gives its parse stack, entries separated by blanks, or "FAIL".
    std::string Parse(const std::string& line);

    DbgContextType* ctx = nullptr;
    uint16_t status = 0;  // of the last Run
};

}  // namespace quillwatch
