// The emulator's 25 options: built-in defaults, then tamsk.ini beside the program, then
// "-Name:value" arguments. The file is rewritten after the start and at the end of every run.
#pragma once

#include <cstdint>
#include <string>

namespace tamsk {

constexpr unsigned kOptionTextSize = 260;  // 259 characters and the terminator
constexpr unsigned kOptionCount = 25;

struct OptionValues {
    char ROM[kOptionTextSize];
    char State[kOptionTextSize];
    int32_t CornerX;
    int32_t CornerY;
    int32_t DisplayWidth;
    int32_t DisplayHeight;
    int32_t DumpMips;
    int32_t TimeRatio;
    int32_t RefreshRate;
    int32_t RxFIFO;
    int32_t TxFIFO;
    int32_t EnableIdle;
    char SerialPort[kOptionTextSize];
    int32_t AlwaysOnTop;
    int32_t EnableConsole;
    char SkinName[kOptionTextSize];
    int32_t HasSkin;
    char EthernetAdapter[kOptionTextSize];
    char MAC[kOptionTextSize];
    int32_t EnableEthernet;
    int32_t TimeLimit;
    int32_t SensorialIsolation;
    char DeviceIPAddr[kOptionTextSize];
    int32_t AutoSaveInterval;
    char AutoSavePath[kOptionTextSize];
};
extern OptionValues Opt;

enum class OptionType { Text = 0, Integer = 1, Boolean = 2 };
struct OptionRow {
    const char* name;
    const char* defaultText;
    OptionType type;
    void* value;     // char[260] or int32_t
    bool keepFileValue;
};
// The table, in its fixed order.
extern const OptionRow OptionTable[kOptionCount];

// The program's arguments (argv[0] is the program path). Kept for OptFindArgument.
void OptSetCommandLine(int argc, char** argv);
// The options file path (default: the program's folder followed by "tamsk.ini").
void OptSetFilePath(const std::string& path);
const std::string& OptFilePath();

// Start of a run: on code 0 reads defaults, file and command line; returns 6 when State is set.
int32_t OptStart(int32_t code);
void OptLoadDefaults();
void OptReadFile();
void OptWriteFile();
// Values that their option's type does not read (an integer that is not a number, a boolean
// that is neither true nor false) are reported on standard error with the option's name; a
// relative ROM path is made absolute.
void OptParseCommandLine();
// Finds the argument for option `name`; copies at most 259 characters into out (260 bytes).
bool OptFindArgument(const char* name, char* out);
// Help request and unrecognized options end the program through the fatal message box.
void OptPrintHelp();
// True when text is a decimal whole number that fits 32 bits, with nothing after it but blanks.
bool OptIsWholeNumber(const char* text);
// Refuses option values that cannot work (fatal, naming the option).
void OptValidate();

// Copies text into an option's buffer, cut to 259 characters.
void OptSetText(char* option, const char* text);

}  // namespace tamsk
