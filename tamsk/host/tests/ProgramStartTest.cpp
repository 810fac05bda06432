// The program from its command line: help, refusals and fatal conditions end with exit code 0xDEAD
// (173 as Linux reports it) and their message; a time limit ends it with 0; the console prints.
#include <gtest/gtest.h>

#include "tamsk/host/tests/ProgramRunner.h"

namespace tamsk::test {
namespace {

constexpr int kFatal = 0xDEAD & 0xFF;

TEST(Program, FatalPathsExitWithTheirMessage) {
    Program p;
    const std::string missingItem = p.dir / "missing-item.aei";
    WriteFile(missingItem, "SRAM:5C020000:" + (p.dir / "nothing.bin") + "\n");
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"-?"}, "Unexpected condition: Known command line options:\n\nROM (default: system.aei)\n"},
        {{"-Bogus:1"}, "Unexpected condition: Unrecognized options: -Bogus:1 \n"},
        {{"-TimeRatio:0"}, "Option TimeRatio is 0, but it must be 1 or more."},
        {{"-ROM:" + (p.dir / "none.aei")},
         "Unexpected condition: ROM file not found\n" + (p.dir / "none.aei") + "\n"},
        {{"-ROM:" + missingItem}, "nothing.bin could not be opened\n"},
    };
    for (const auto& c : cases) {
        const Outcome o = p.Run(c.args);
        EXPECT_EQ(o.exitCode, kFatal) << c.args[0];
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.args[0] << ": " << o.err;
    }
}

TEST(Program, TimeLimitEndsTheRunAndTheConsolePrints) {
    Program p;
    const std::string rom = p.RomList("semihost.aei", {"NOR:0:vectors.bin", "SRAM:5C020000:semihost.bin"});
    Outcome o = p.Run({"-ROM:" + rom, "-EnableConsole:true", "-TimeLimit:2", "-SerialPort:none"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    // Four lines per emulated second; the last one may race the end.
    EXPECT_EQ(o.out.substr(0, 98),
              "tick 00000000\ntick 00000001\ntick 00000002\ntick 00000003\ntick 00000004\n"
              "tick 00000005\ntick 00000006\n");
    // The options file: written with the command line's values, but TimeLimit and SerialPort keep
    // the file's values.
    const std::string ini = ReadFile(p.dir / "tamsk.ini");
    EXPECT_NE(ini.find("ROM=" + rom + "\r\n"), std::string::npos);
    EXPECT_NE(ini.find("EnableConsole=true\r\n"), std::string::npos);
    EXPECT_NE(ini.find("TimeLimit=0\r\n"), std::string::npos);
    EXPECT_NE(ini.find("SerialPort=localhost:2000\r\n"), std::string::npos);

    // Without the console the board prints nothing; the options file's EnableConsole is false now.
    WriteFile(p.dir / "tamsk.ini", "");
    o = p.Run({"-ROM:" + rom, "-TimeLimit:1", "-SerialPort:none"});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.out, "");
}

TEST(Program, AnIdleGuestsEmulatedTimeTakesNoHostTime) {
    // The test ROM ends in an idle loop: without EnableIdle every idle moves time on to the next
    // event at once, so a day of emulated time passes well within the wait (hours otherwise), and
    // the ROM prints what it prints in two emulated seconds.
    Program p;
    const std::vector<std::string> args = {"-ROM:" VANTOR_BIN_DIR "/roms/testrom.aei", "-EnableConsole:true",
                                           "-SerialPort:none"};
    std::vector<std::string> day = args, twoSeconds = args;
    day.push_back("-TimeLimit:86400");
    twoSeconds.push_back("-TimeLimit:2");
    const Outcome o = p.Run(day), expected = p.Run(twoSeconds);
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(expected.exitCode, 0) << expected.err;
    EXPECT_EQ(o.out, expected.out);
}

TEST(Program, StopSignalsEndTheRunCleanly) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        Program p;
        const std::string rom =
            p.RomList("semihost.aei", {"NOR:0:vectors.bin", "SRAM:5C020000:semihost.bin"});
        p.Start({"-ROM:" + rom, "-EnableConsole:true", "-SerialPort:none", "-TimeRatio:20"});
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (p.OutputSoFar().find("tick 00000001\n") == std::string::npos &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        p.Signal(signal);
        const Outcome o = p.Wait();
        EXPECT_EQ(o.exitCode, 0) << o.err;
        EXPECT_NE(o.out.find("\n---- <shutdown> ---\n"), std::string::npos) << o.out;
        EXPECT_NE(ReadFile(p.dir / "tamsk.ini").find("TimeRatio=20\r\n"), std::string::npos);
    }
}

TEST(Program, ValuesItCannotReadAreReportedAndARelativeRomIsStoredWhole) {
    Program p;
    p.RomList("semihost.aei", {"NOR:0:vectors.bin", "SRAM:5C020000:semihost.bin"});
    // The program runs in its own folder: the ROM is named relative to it.
    const Outcome o = p.Run({"-ROM:semihost.aei", "-TimeLimit:1s", "-EnableConsole:yes",
                             "-TimeRatio:fast", "-SerialPort:none"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(o.err.find("option TimeLimit: \"1s\" is not a whole number; taken as 1\n"),
              std::string::npos) << o.err;
    EXPECT_NE(o.err.find("option EnableConsole: \"yes\" is not true or false; taken as false\n"),
              std::string::npos) << o.err;
    EXPECT_NE(o.err.find("option TimeRatio: \"fast\" is not a whole number; the option keeps 10\n"),
              std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");  // the console stayed off
    const std::string ini = ReadFile(p.dir / "tamsk.ini");
    EXPECT_NE(ini.find("ROM=" + (p.dir / "semihost.aei") + "\r\n"), std::string::npos) << ini;
}

}  // namespace
}  // namespace tamsk::test
