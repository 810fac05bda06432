// Options: the table, the options file and the command line.
#include "tamsk/board/Options.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "standin/win32/KernelObjects.h"
#include "tamsk/board/Rom.h"
#include "tamsk/board/RunLoop.h"

namespace tamsk {

OptionValues Opt;

#define TEXT(n, d, keep) {#n, d, OptionType::Text, Opt.n, keep}
#define INT(n, d, keep) {#n, d, OptionType::Integer, &Opt.n, keep}
#define BOOL(n, d, keep) {#n, d, OptionType::Boolean, &Opt.n, keep}
const OptionRow OptionTable[kOptionCount] = {
    TEXT(ROM, "system.aei", false),
    TEXT(State, "", true),
    INT(CornerX, "0", false),
    INT(CornerY, "0", false),
    INT(DisplayWidth, "240", false),
    INT(DisplayHeight, "320", false),
    BOOL(DumpMips, "true", false),
    INT(TimeRatio, "10", false),
    INT(RefreshRate, "50", false),
    INT(RxFIFO, "4096", false),
    INT(TxFIFO, "4096", false),
    BOOL(EnableIdle, "false", false),
    TEXT(SerialPort, "localhost:2000", true),
    BOOL(AlwaysOnTop, "false", false),
    BOOL(EnableConsole, "false", false),
    TEXT(SkinName, "", false),
    BOOL(HasSkin, "false", false),
    TEXT(EthernetAdapter, "", false),
    TEXT(MAC, "", false),
    BOOL(EnableEthernet, "true", false),
    INT(TimeLimit, "0", true),
    BOOL(SensorialIsolation, "false", true),
    TEXT(DeviceIPAddr, "192.168.1.101", false),
    INT(AutoSaveInterval, "0", false),
    TEXT(AutoSavePath, "", false),
};
#undef TEXT
#undef INT
#undef BOOL

namespace {

std::vector<std::string> g_args;  // argv, the program path first
std::string g_filePath;

// The value each keep-file-value row had after the file was read: what the file gets back.
struct SavedFileValue {
    char text[kOptionTextSize];
    int32_t number;
};
SavedFileValue g_saved[kOptionCount];
bool g_savedValid = false;

char* TextOf(const OptionRow& row) { return static_cast<char*>(row.value); }
int32_t* NumberOf(const OptionRow& row) { return static_cast<int32_t*>(row.value); }

// A decimal integer as "%d" reads it: leading blanks, a sign, digits. False when there is none or
// it does not fit.
bool ParseDecimal(const char* s, int32_t* out) {
    while (*s == ' ' || *s == '\t') ++s;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s, &end, 10);
    if (end == s || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
    *out = static_cast<int32_t>(v);
    return true;
}

// The first blank-delimited word, at most 7 characters, as "%7s" reads it.
std::string FirstWord(const char* s) {
    while (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n') ++s;
    std::string word;
    while (*s && *s != ' ' && *s != '\t' && *s != '\r' && *s != '\n' && word.size() < 7)
        word += *s++;
    return word;
}

// Text up to a carriage return or line feed, at most 259 characters.
std::string TextValue(const char* s) {
    std::string text;
    while (*s && *s != '\r' && *s != '\n' && text.size() < kOptionTextSize - 1) text += *s++;
    return text;
}

// The command line's value of an option that is not what its type reads is reported on standard
// error, naming the option: a mistyped value would otherwise pass unnoticed (a time limit that is
// never reached, a console that stays off).
void WarnValue(const char* name, const char* value, const char* expected, const char* outcome) {
    std::fprintf(stderr, "tamsk: option %s: \"%s\" is not %s; %s\n", name, value, expected, outcome);
}

// A relative ROM path is made absolute against the current folder, so that the options file
// names the same file whichever folder the program starts from next (unless it would not fit).
void MakeRomPathAbsolute() {
    if (Opt.ROM[0] == '\0' || Opt.ROM[0] == '/') return;
    char folder[4096];
    if (!getcwd(folder, sizeof folder)) return;
    const std::string path = std::string(folder) + "/" + Opt.ROM;
    if (path.size() < kOptionTextSize) OptSetText(Opt.ROM, path.c_str());
}

void ProgramFolderPath() {
    char exe[4096];
    const win32::DWORD n = win32::GetModuleFileName(nullptr, exe, sizeof exe);
    std::string path(exe, n);
    const size_t slash = path.find_last_of("/\\");
    g_filePath = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "tamsk.ini";
}

}  // namespace

void OptSetText(char* option, const char* text) {
    std::snprintf(option, kOptionTextSize, "%s", text ? text : "");
}

void OptSetCommandLine(int argc, char** argv) {
    g_args.assign(argv, argv + argc);
}

void OptSetFilePath(const std::string& path) { g_filePath = path; }
const std::string& OptFilePath() { return g_filePath; }

void OptLoadDefaults() {
    for (const OptionRow& row : OptionTable) {
        switch (row.type) {
        case OptionType::Text: OptSetText(TextOf(row), row.defaultText); break;
        case OptionType::Integer: *NumberOf(row) = std::atoi(row.defaultText); break;
        case OptionType::Boolean: *NumberOf(row) = std::strcmp(row.defaultText, "true") == 0; break;
        }
    }
}

void OptReadFile() {
    FILE* file = std::fopen(g_filePath.c_str(), "rb");
    if (!file) return;
    // Row n reads line n; a line whose key is not the row's name leaves the row as it is.
    std::string line;
    for (const OptionRow& row : OptionTable) {
        line.clear();
        int c;
        while ((c = std::fgetc(file)) != EOF && c != '\n') line += static_cast<char>(c);
        if (line.empty() && c == EOF) break;
        const size_t nameLength = std::strlen(row.name);
        if (line.compare(0, nameLength, row.name) != 0 || line.size() <= nameLength ||
            line[nameLength] != '=')
            continue;
        const char* value = line.c_str() + nameLength + 1;
        switch (row.type) {
        case OptionType::Text: {
            const std::string text = TextValue(value);
            if (!text.empty()) OptSetText(TextOf(row), text.c_str());
            break;
        }
        case OptionType::Integer: ParseDecimal(value, NumberOf(row)); break;
        case OptionType::Boolean: {
            const std::string word = FirstWord(value);
            if (!word.empty()) *NumberOf(row) = word == "true";
            break;
        }
        }
    }
    std::fclose(file);
}

void OptWriteFile() {
    FILE* file = std::fopen(g_filePath.c_str(), "wb");
    if (!file) return;
    for (unsigned i = 0; i < kOptionCount; ++i) {
        const OptionRow& row = OptionTable[i];
        const bool fromFile = row.keepFileValue && g_savedValid;
        if (row.type == OptionType::Text) {
            std::fprintf(file, "%s=%s\r\n", row.name, fromFile ? g_saved[i].text : TextOf(row));
        } else {
            const int32_t v = fromFile ? g_saved[i].number : *NumberOf(row);
            if (row.type == OptionType::Integer)
                std::fprintf(file, "%s=%d\r\n", row.name, v);
            else
                std::fprintf(file, "%s=%s\r\n", row.name, v ? "true" : "false");
        }
    }
    std::fclose(file);
}

bool OptFindArgument(const char* name, char* out) {
    // A lone file named first: a ROM image or list becomes the ROM, a session the State.
    if (g_args.size() >= 2 && !g_args[1].empty() && g_args[1][0] != '-') {
        const int kind = RomFileKind(g_args[1].c_str());
        if ((std::strcmp(name, "ROM") == 0 && (kind == kFileRawImage || kind == kFileRomList)) ||
            (std::strcmp(name, "State") == 0 && kind == kFileSession)) {
            OptSetText(out, g_args[1].c_str());
            return true;
        }
    }
    const std::string prefix = std::string("-") + name + ":";
    for (const std::string& arg : g_args) {
        if (arg.compare(0, prefix.size(), prefix) == 0) {
            OptSetText(out, arg.c_str() + prefix.size());
            return true;
        }
    }
    return false;
}

void OptPrintHelp() {
    static const char* const kHelp[] = {"?", "-?", "help", "-help", "--help", "-h", "--h"};
    if (g_args.size() >= 2) {
        for (const char* h : kHelp) {
            if (g_args[1] == h) {
                std::string text = "Known command line options:\n\n";
                for (const OptionRow& row : OptionTable)
                    text += std::string(row.name) + " (default: " + row.defaultText + ")\n";
                HostFatal("%s", text.c_str());
            }
        }
    }
    std::string unknown;
    for (size_t i = 1; i < g_args.size(); ++i) {
        const std::string& arg = g_args[i];
        if (arg.empty() || arg[0] != '-') continue;
        bool known = false;
        for (const OptionRow& row : OptionTable)
            known = known || arg.compare(1, std::strlen(row.name), row.name) == 0;
        if (!known) unknown += arg + " ";
    }
    if (!unknown.empty())
        HostFatal("Unrecognized options: %s\n\nPlease refer to the emulator's documentation\n",
                  unknown.c_str());
}

void OptParseCommandLine() {
    OptPrintHelp();
    char value[kOptionTextSize];
    for (const OptionRow& row : OptionTable) {
        if (!OptFindArgument(row.name, value)) continue;
        switch (row.type) {
        case OptionType::Text:
            OptSetText(TextOf(row), TextValue(value).c_str());
            if (row.value == Opt.ROM) MakeRomPathAbsolute();
            break;
        case OptionType::Integer: {
            const int32_t before = *NumberOf(row);
            if (!ParseDecimal(value, NumberOf(row))) {
                const std::string outcome = "the option keeps " + std::to_string(before);
                WarnValue(row.name, value, "a whole number", outcome.c_str());
            } else if (!OptIsWholeNumber(value)) {
                const std::string outcome = "taken as " + std::to_string(*NumberOf(row));
                WarnValue(row.name, value, "a whole number", outcome.c_str());
            }
            break;
        }
        case OptionType::Boolean: {
            const std::string word = FirstWord(value);
            *NumberOf(row) = word == "true";
            if (word != "true" && word != "false")
                WarnValue(row.name, value, "true or false", "taken as false");
            break;
        }
        }
    }
}

bool OptIsWholeNumber(const char* text) {
    int32_t ignored;
    if (!ParseDecimal(text, &ignored)) return false;
    const char* s = text;
    while (*s == ' ' || *s == '\t') ++s;
    if (*s == '+' || *s == '-') ++s;
    while (*s >= '0' && *s <= '9') ++s;
    while (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n') ++s;
    return *s == '\0';
}

void OptValidate() {
    // Each of these divides by its value or sizes a buffer with it.
    const struct {
        const char* name;
        int32_t value;
    } positive[] = {{"TimeRatio", Opt.TimeRatio},
                    {"RefreshRate", Opt.RefreshRate},
                    {"RxFIFO", Opt.RxFIFO},
                    {"TxFIFO", Opt.TxFIFO}};
    for (const auto& option : positive)
        if (option.value < 1)
            HostFatal("Option %s is %d, but it must be 1 or more.\n\nPlease correct it on the "
                      "command line or in %s",
                      option.name, option.value, g_filePath.c_str());
}

int32_t OptStart(int32_t code) {
    if (g_filePath.empty()) ProgramFolderPath();
    if (code != kRunPowerOn) return code;
    OptLoadDefaults();
    OptReadFile();
    for (unsigned i = 0; i < kOptionCount; ++i) {
        const OptionRow& row = OptionTable[i];
        if (!row.keepFileValue) continue;
        if (row.type == OptionType::Text)
            std::memcpy(g_saved[i].text, TextOf(row), kOptionTextSize);
        else
            g_saved[i].number = *NumberOf(row);
    }
    g_savedValid = true;
    OptParseCommandLine();
    OptValidate();
    return Opt.State[0] ? kRunPowerOnRestore : kRunPowerOn;
}

}  // namespace tamsk
