// The debugger engine attached over real TCP to the device simulator, with its three windows.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "quillwatch/engine/lang/DbgContext.h"
#include "quillwatch/link/tests/support/DevSim.h"

namespace quillwatch {

class EngineTest : public ::testing::Test {
  protected:
    // Simulator arguments beyond the port and the request log; memory 0-0x20000 holds the pattern.
    virtual std::vector<std::string> SimulatorArgs() { return {"--pattern", "0x0:0x20000"}; }
    void SetUp() override;
    void TearDown() override;

    // A window's text, line ends as "\n".
    static std::string Text(HWND window);
    static void Clear(HWND window);
    std::string Debugger() { return Text(debugger); }
    // Runs one line and returns what it wrote to the Debugger window.
    std::string Run(const std::string& line);
    // Sends a control command to the simulator from the socket; its answer comes to that socket.
    void Control(const std::string& text, uint8_t socket = 0);
    // Runs the idle step, as the frame's timer does, until the condition holds (at most 2 s).
    template <typename Condition>
    void IdleUntil(Condition done) {
        for (int i = 0; i < 200 && !done(); ++i) IdleStep();
    }
    void IdleStep();
    // The simulator's request log since the last call, one request a line.
    std::vector<std::string> Requests();

    std::unique_ptr<test::DevSim> sim;
    std::string logPath;
    size_t logSeen = 0;
    HWND debugger = nullptr, console = nullptr, registers = nullptr;
    DbgContextType* ctx = nullptr;
    uint16_t status = 0;  // of the last Run
};

}  // namespace quillwatch
