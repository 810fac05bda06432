// The shell's command table, the dispatcher, help, scripts and the text output utilities.
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quillwatch/engine/shell/ShellInternal.h"
#include "quillwatch/link/DebuggerServices.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/HostShims.h"
#include "quillwatch/link/RemoteStubs.h"

namespace quillwatch {

uint8_t ShellAttached = 0;

namespace {

constexpr int kMaxWords = 20;
constexpr size_t kLineBuffer = 1000;
char gLine[kLineBuffer];

void ShellCmdHelp(int argc, char** argv);
void ShellCmdHobgobHelp(int argc, char** argv);

const ShellCmdEntryType kShellCmdTable[] = {
    {"\n= Heap Utilities ==============", "", nullptr},
    {"HeapList", "HL", ShellCmdHeapList},
    {"HeapDump", "HD", ShellCmdHeapDump},
    {"HT", "", ShellCmdHeapTotal},
    {"HC", "", ShellCmdHeapCompact},
    {"HChk", "", ShellCmdHeapCheck},
    {"HS", "", ShellCmdHeapScramble},
    {"HF", "", ShellCmdHeapFill},
    {"\n= Chunk Utilities =============", "", nullptr},
    {"New", "", ShellCmdNew},
    {"Free", "", ShellCmdFree},
    {"Lock", "", ShellCmdLock},
    {"Unlock", "", ShellCmdUnlock},
    {"Info", "", ShellCmdInfo},
    {"Resize", "", ShellCmdResize},
    {"SetOwner", "", ShellCmdSetOwner},
    {"\n= Database Utilities ==========", "", nullptr},
    {"Import", "", ShellCmdImport},
    {"Importall", "", ShellCmdImportAll},
    {"Export", "", ShellCmdExport},
    {"Exportall", "", ShellCmdExportAll},
    {"Create", "", ShellCmdCreate},
    {"Del", "", ShellCmdDelete},
    {"Dir", "", ShellCmdDir},
    {"Open", "", ShellCmdOpen},
    {"Close", "", ShellCmdClose},
    {"Opened", "", ShellCmdOpened},
    {"SetInfo", "", ShellCmdSetInfo},
    {"\n= Record Utilities ============", "", nullptr},
    {"AttachRecord", "", ShellCmdAttachRecord},
    {"DetachRecord", "", ShellCmdDetachRecord},
    {"AddRecord", "", ShellCmdAddRecord},
    {"DelRecord", "", ShellCmdDelRecord},
    {"ChangeRecord", "", ShellCmdChangeRecord},
    {"ListRecords", "", ShellCmdListRecords},
    {"SetRecordInfo", "", ShellCmdSetRecordInfo},
    {"MoveRecord", "", ShellCmdMoveRecord},
    {"FindRecord", "", ShellCmdFindRecord},
    {"\n= Resource  Utilities =========", "", nullptr},
    {"GetResource", "", ShellCmdGetResource},
    {"ListResources", "", ShellCmdListResources},
    {"SetResourceInfo", "", ShellCmdSetResourceInfo},
    {"AddResource", "", ShellCmdAddResource},
    {"DelResource", "", ShellCmdDelResource},
    {"ChangeResource", "", ShellCmdChangeResource},
    {"\n= Card Info ===================", "", nullptr},
    {"CardInfo", "", ShellCmdCardInfo},
    {"StoreInfo", "", ShellCmdStoreInfo},
    {"\n= System ======================", "", nullptr},
    {"Reset", "", ShellCmdReset},
    {"Ping", "", ShellCmdPing},
    {"Feature", "", ShellCmdFeature},
    {"KInfo", "", ShellCmdKernelInfo},
    {"\n= Debugging  Utilities ========", "", nullptr},
    {"DM", "", ShellCmdDisplayMem},
    {"SB", "", ShellCmdSetByte},
    {"MDebug", "", ShellCmdMemDebug},
    {"GDB", "", ShellCmdGdb},
    {"\n= Miscellaneous Utilities =====", "", nullptr},
    {"SimSync", "", ShellCmdSimSync},
    {"SysAlarmDump", "sad", ShellCmdAlarmDump},
    {"\n= Host Control=================", "", nullptr},
    {"Log", "", ShellCmdLog},
    {"Help", "", ShellCmdHelp},
};
static_assert(sizeof kShellCmdTable / sizeof kShellCmdTable[0] == 64);

const ShellCmdEntryType kHobgobCmdTable[] = {
    {"Hobgob", "hg", ShellCmdHobgob},
    {"HobgobOff", "hgo", ShellCmdHobgobOff},
    {"Help", "help", ShellCmdHobgobHelp},
};

// Case is folded by subtracting 32 from every byte from 97 up, as the device's own compare does.
bool PrvWordEquals(const char* a, const char* b) {
    return *b && ShellStrCaseCompare(a, b) == 0;
}

int PrvSplit(char* line, char** words) {
    int count = 0;
    char* p = line;
    while (count < kMaxWords) {
        while (*p == ' ' || *p == '\t') *p++ = '\0';
        if (!*p) break;
        if (*p == '"') {
            words[count++] = ++p;
            char* close = std::strchr(p, '"');
            if (!close) break;  // the word ran to the end of the line
            *close = '\0';
            p = close + 1;
            continue;
        }
        words[count++] = p;
        while (*p && *p != ' ' && *p != '\t') ++p;
        if (!*p) break;
    }
    return count;
}

int HobgobCmdExecute(int argc, char** argv) {
    for (const ShellCmdEntryType& e : kHobgobCmdTable) {
        if (PrvWordEquals(argv[0], e.name) || PrvWordEquals(argv[0], e.alias)) {
            e.handler(argc, argv);
            return 0;
        }
    }
    return 1;
}

void ShellCmdHelp(int argc, char** argv) {
    if (argc > 1) {
        char line[300];
        std::snprintf(line, sizeof line, "%s ?", argv[1]);
        ShellCmdExecute(line);
        return;
    }
    for (const ShellCmdEntryType& e : kShellCmdTable) ShellPrintf("%s\n", e.name);
    HobgobCmdExecute(argc, argv);
}

void ShellCmdHobgobHelp(int /*argc*/, char** /*argv*/) {
    ShellPrintf("\n= Hobgobs Commands =================\n");
    for (const ShellCmdEntryType& e : kHobgobCmdTable) ShellPrintf("%s\n", e.name);
}

// Runs a host text file of command lines; options -e (echo), -h <heapID> (check after each line), -c.
void ShellRunScript(char** words, int count) {
    bool echo = false, check = false, contents = false, bad = false;
    uint32_t heap = 0;
    for (int i = 1; i < count; ++i) {
        if (std::strcmp(words[i], "-h") == 0 && i + 1 < count && ShellHex(words[i + 1], &heap)) {
            check = true;
            ++i;
        } else if (std::strcmp(words[i], "-c") == 0) {
            contents = true;
        } else if (std::strcmp(words[i], "-e") == 0) {
            echo = true;
        } else {
            bad = true;
        }
    }
    if (bad) {
        ShellPrintf("Syntax: <script>  [options...] ");
        ShellPrintf("\n         -e              : Echo lines ");
        ShellPrintf("\n         -h <heapID>     : Check this heap after every line");
        ShellPrintf("\n         -c              : Check contents of every chunk  \n");
        return;
    }
    FILE* f = std::fopen(ShellHostPath(words[0]).c_str(), "r");
    if (!f) {
        ShellPrintf("\nUnknown script: %s\n", words[0]);
        return;
    }
    static int depth = 0;
    // A script that runs itself, directly or through others, would never end.
    if (depth >= 16) {
        std::fclose(f);
        ShellPrintf("\n#ERROR: scripts nested too deeply: %s\n", words[0]);
        return;
    }
    ++depth;
    char buffer[255];
    while (std::fgets(buffer, sizeof buffer, f)) {
        buffer[std::strcspn(buffer, "\r\n")] = '\0';
        if (!buffer[0]) continue;
        if (echo) ShellPrintf("%s\n", buffer);
        ShellCmdExecute(buffer);
        if (check && !ShellHeapDump(static_cast<uint16_t>(heap), 0, 0xFFFFFFFF, contents, false)) {
            ShellPrintf("\n#ERROR: Heap invalid");
            break;
        }
    }
    --depth;
    std::fclose(f);
}

}  // namespace

uint32_t ShellCmdExecute(char* line) {
    if (!line || !*line) return 0;
    char* words[kMaxWords];
    const int count = PrvSplit(line, words);
    if (count == 0) return 0;
    if (PrvWordEquals(words[0], "Exit")) return 32767;

    uint32_t thrown = ErrTry([&] {
        if (PrvWordEquals(words[0], "PowerOn")) {
            ShellCmdPowerOn(count, words);
            return;
        }
        if (PrvWordEquals(words[0], "ColdBoot")) {
            ShellCmdColdBoot(count, words);
            return;
        }
        for (const ShellCmdEntryType& e : kShellCmdTable) {
            if (!e.handler) continue;
            if (PrvWordEquals(words[0], e.name) || PrvWordEquals(words[0], e.alias)) {
                e.handler(count, words);
                return;
            }
        }
        if (HobgobCmdExecute(count, words) == 0) return;
        ShellRunScript(words, count);
    });
    if (thrown) {
        ShellPrintf("\n### Error $%08X occurred\n", thrown);
        return thrown;
    }
    return 0;
}

// ---- shared helpers ----

bool ShellWantsHelp(int argc, char** argv) {
    return argc > 1 && std::strcmp(argv[1], "?") == 0;
}

bool ShellRefuseAttached() {
    if (!DbgIsAttached()) return false;
    ShellPrintf("Sorry, this command may not be executed while the debugger is attached.\n");
    return true;
}

bool ShellDecimal(const char* word, long* value) {
    if (!word || !*word) return false;
    char* end;
    errno = 0;
    *value = std::strtol(word, &end, 10);
    return *end == '\0' && errno == 0;
}

bool ShellHex(const char* word, uint32_t* value) {
    if (!word || !isxdigit(static_cast<unsigned char>(word[0]))) return false;
    char* end;
    errno = 0;
    unsigned long v = std::strtoul(word, &end, 16);
    if (*end != '\0' || errno != 0 || v > 0xFFFFFFFFul) return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

bool ShellFourCC(const char* word, uint32_t* value) {
    if (!word || !*word || std::strlen(word) > 4) return false;
    const size_t length = std::strlen(word);
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<uint8_t>(i < length ? word[i] : ' ');
    *value = v;
    return true;
}

void ShellCheck(uint16_t err) {
    if (err) ErrThrow(err);
}

std::string ShellHostPath(const std::string& path) {
    std::string out = path;
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

// ---- text output ----

void ShellTypeToText(char out[5], uint32_t code) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(code >> (24 - 8 * i));
    out[4] = '\0';
}

int ShellStrCaseCompare(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (x >= 97) x = static_cast<unsigned char>(x - 32);
        if (y >= 97) y = static_cast<unsigned char>(y - 32);
        if (x != y) return 1;
        if (!x) return 0;
    }
}

void ShellPrintEscaped(const uint8_t* bytes, size_t count) {
    gLine[0] = '\0';
    size_t used = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t c = bytes[i];
        char piece[8];
        if (c == '\\') {
            std::strcpy(piece, "\\\\");
        } else if (c >= 0x80 || !std::isprint(c) || std::iscntrl(c)) {
            std::snprintf(piece, sizeof piece, "\\x%02X", c);
        } else {
            piece[0] = static_cast<char>(c);
            piece[1] = '\0';
        }
        const size_t n = std::strlen(piece);
        std::memcpy(gLine + used, piece, n + 1);
        used += n;
        if (used >= 990) {
            HostPrint(gLine);
            used = 0;
            gLine[0] = '\0';
        }
    }
    if (used) HostPrint(gLine);
}

void ShellPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    // Bounded: a longer text is cut at the end of the line buffer.
    std::vsnprintf(gLine, sizeof gLine, format, args);
    va_end(args);
    HostPrint(gLine);
}

uint16_t ShellEnqueueKey(uint16_t character, uint16_t keyCode, uint16_t modifiers) {
    return EvtEnqueueKey(character, keyCode, modifiers);
}

}  // namespace quillwatch
