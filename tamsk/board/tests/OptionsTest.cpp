#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/tests/TestFiles.h"

namespace tamsk {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Runs the power-on start with these arguments (the program path first) and this options file.
int32_t Start(const TempDir& dir, std::vector<std::string> args, const std::string* file = nullptr) {
    args.insert(args.begin(), dir / "tamsk");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    OptSetCommandLine(int(argv.size()), argv.data());
    OptSetFilePath(dir / "tamsk.ini");
    if (file) WriteFile(dir / "tamsk.ini", *file);
    return OptStart(kRunPowerOn);
}

const char* const kDefaultFile =
    "ROM=system.aei\r\nState=\r\nCornerX=0\r\nCornerY=0\r\nDisplayWidth=240\r\n"
    "DisplayHeight=320\r\nDumpMips=true\r\nTimeRatio=10\r\nRefreshRate=50\r\nRxFIFO=4096\r\n"
    "TxFIFO=4096\r\nEnableIdle=false\r\nSerialPort=localhost:2000\r\nAlwaysOnTop=false\r\n"
    "EnableConsole=false\r\nSkinName=\r\nHasSkin=false\r\nEthernetAdapter=\r\nMAC=\r\n"
    "EnableEthernet=true\r\nTimeLimit=0\r\nSensorialIsolation=false\r\n"
    "DeviceIPAddr=192.168.1.101\r\nAutoSaveInterval=0\r\nAutoSavePath=\r\n";

TEST(Options, DefaultsWrittenAsTheFileExpects) {
    TempDir dir;
    EXPECT_EQ(Start(dir, {}), kRunPowerOn);
    OptWriteFile();
    EXPECT_EQ(ReadFile(dir / "tamsk.ini"), kDefaultFile);
}

TEST(Options, CommandLineOverFileOverDefaults) {
    TempDir dir;
    std::string file = kDefaultFile;
    file.replace(file.find("TimeRatio=10"), 12, "TimeRatio=15");
    file.replace(file.find("RefreshRate=50"), 14, "RefreshRate=25");
    file.replace(file.find("SerialPort=localhost:2000"), 25, "SerialPort=127.0.0.1:3000");
    file.replace(file.find("EnableIdle=false"), 16, "EnableIdle=true");
    Start(dir, {"-TimeRatio:20", "-TimeLimit:60", "-SerialPort:host:9", "-DumpMips:false junk"},
          &file);
    EXPECT_EQ(Opt.TimeRatio, 20);              // command line
    EXPECT_EQ(Opt.RefreshRate, 25);            // file
    EXPECT_EQ(Opt.EnableIdle, 1);              // file
    EXPECT_EQ(Opt.DumpMips, 0);                // first word of the value
    EXPECT_EQ(Opt.TimeLimit, 60);
    EXPECT_STREQ(Opt.SerialPort, "host:9");
    EXPECT_EQ(Opt.DisplayWidth, 240);          // default

    // TimeRatio has no keep-file-value flag: its new value reaches the file. TimeLimit and
    // SerialPort keep the file's value.
    OptWriteFile();
    const std::string written = ReadFile(dir / "tamsk.ini");
    EXPECT_NE(written.find("TimeRatio=20\r\n"), std::string::npos);
    EXPECT_NE(written.find("TimeLimit=0\r\n"), std::string::npos);
    EXPECT_NE(written.find("SerialPort=127.0.0.1:3000\r\n"), std::string::npos);
    EXPECT_NE(written.find("DumpMips=false\r\n"), std::string::npos);
}

TEST(Options, FileIsReadByPosition) {
    TempDir dir;
    // Line 1 is TimeRatio (row 1 is ROM): every row reads the line at its own position, so the
    // misplaced lines change nothing; a boolean row with another key keeps its value.
    const std::string file =
        "TimeRatio=99\r\nState=\r\nCornerX=7\r\nCornerY=-3\r\nDisplayWidth=x\r\n"
        "DisplayHeight=320\r\nEnableIdle=true\r\nDumpMips=true\r\n";
    Start(dir, {}, &file);
    EXPECT_STREQ(Opt.ROM, "system.aei");
    EXPECT_EQ(Opt.TimeRatio, 10);
    EXPECT_EQ(Opt.CornerX, 7);
    EXPECT_EQ(Opt.CornerY, -3);
    EXPECT_EQ(Opt.DisplayWidth, 240);  // not a number
    EXPECT_EQ(Opt.DumpMips, 1);        // line 7 names EnableIdle
    EXPECT_EQ(Opt.EnableIdle, 0);      // line 8 names DumpMips
}

TEST(Options, LinesEndingInLineFeedOnlyAndLongValues) {
    TempDir dir;
    const std::string longText(300, 'r');
    const std::string file = "ROM=" + longText + "\nState=s.aes\n";
    EXPECT_EQ(Start(dir, {}, &file), kRunPowerOnRestore);
    EXPECT_EQ(std::string(Opt.ROM), longText.substr(0, 259));
    EXPECT_STREQ(Opt.State, "s.aes");
}

// A ROM path given relative on the command line is kept absolute.
std::string FromHere(const char* name) { return std::filesystem::current_path() / name; }

TEST(Options, LoneFileArgumentByKind) {
    struct Case {
        const char* arg;
        int32_t code;
        const char* rom;
        const char* state;
    } cases[] = {
        {"saved.AES", kRunPowerOnRestore, "system.aei", "saved.AES"},
        {"saved.session", kRunPowerOnRestore, "system.aei", "saved.session"},
        {"image.widebin", kRunPowerOn, nullptr, ""},
        {"list.aei", kRunPowerOn, nullptr, ""},
        {"notes.txt", kRunPowerOn, "system.aei", ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        SCOPED_TRACE(c.arg);
        EXPECT_EQ(Start(dir, {c.arg}), c.code);
        EXPECT_EQ(Opt.ROM, c.rom ? std::string(c.rom) : FromHere(c.arg));
        EXPECT_STREQ(Opt.State, c.state);
    }
}

TEST(Options, OptionNamePrefixIsAcceptedButSetsNothing) {
    TempDir dir;
    Start(dir, {"-ROMfile:x", "plain", "-ROM:y.bin"});
    EXPECT_EQ(Opt.ROM, FromHere("y.bin"));
    Start(dir, {"-ROM:/roms/y.bin"});
    EXPECT_STREQ(Opt.ROM, "/roms/y.bin");
    Start(dir, {"-ROMfile:x"});
    EXPECT_STREQ(Opt.ROM, "system.aei");
}

using OptionsDeathTest = ::testing::Test;

TEST_F(OptionsDeathTest, HelpAndRefusalsEndThroughTheFatalBox) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    const auto fatal = ::testing::ExitedWithCode(kFatalExitCode & 0xFF);
    EXPECT_EXIT(Start(dir, {"-?"}), fatal,
                "Unexpected condition: Known command line options:\n\nROM \\(default: system.aei\\)\n"
                "State \\(default: \\)\nCornerX \\(default: 0\\)");
    EXPECT_EXIT(Start(dir, {"--help"}), fatal, "AutoSavePath \\(default: \\)");
    EXPECT_EXIT(Start(dir, {"-TimeRatio:5", "-Bogus:1", "-x"}), fatal,
                "Unrecognized options: -Bogus:1 -x \n\nPlease refer to the emulator's documentation");
    for (const char* bad : {"-TimeRatio:0", "-RefreshRate:-5", "-RxFIFO:0", "-TxFIFO:0"})
        EXPECT_EXIT(Start(dir, {bad}), fatal, "must be 1 or more") << bad;
}

}  // namespace
}  // namespace tamsk
