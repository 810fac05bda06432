// The test ROM boots on the emulated board from its ROM list and prints the expected lines; the
// same ROM on qemu's mainstone machine (the board's real-hardware sibling) prints the same lines,
// a cross-check of exceptions, MMU faults, coprocessor 15 and interrupts.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string Capture(const std::string& command) {
    std::string out;
    FILE* f = popen(command.c_str(), "r");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    pclose(f);
    return out;
}

std::string Expected() {
    std::ifstream in(VANTOR_SOURCE_DIR "/tamsk/roms/testrom.expected");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const std::string kBin = VANTOR_BIN_DIR;

TEST(TestRom, BootsOnTheBoardAndPrintsItsChecks) {
    const std::string out = Capture("timeout 60 " + kBin + "/tamsk -ROM:" + kBin +
                                    "/roms/testrom.aei -EnableConsole:true -TimeLimit:2 -SerialPort:none");
    EXPECT_EQ(out, Expected());
}

TEST(TestRom, PrintsTheSameOnQemuMainstone) {
    const std::string out = Capture("timeout 60 qemu-system-arm -M mainstone -display none -monitor none -serial null "
                                    "-chardev stdio,id=sh -semihosting-config enable=on,chardev=sh -kernel " +
                                    kBin + "/roms/testrom.elf </dev/null");
    EXPECT_EQ(out, Expected());
}

}  // namespace
