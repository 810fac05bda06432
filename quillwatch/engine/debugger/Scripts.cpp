// Script files.
#include "quillwatch/engine/debugger/Scripts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/link/HostShims.h"

namespace quillwatch {

namespace {

// "::scripts:init" names "../scripts/init".
std::string PrvScriptPath(const char* name) {
    std::string path;
    const char* p = name;
    if (*p == ':') {
        ++p;
        while (*p == ':') {
            path += "../";
            ++p;
        }
    }
    for (; *p; ++p) path += *p == ':' ? '/' : *p;
    return path;
}

}  // namespace

uint16_t CmdRunScript(DbgContextType* ctx, const char* name) {
    std::string path = PrvScriptPath(name);
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        DbgPrintf(ctx, "CmdRunScript: error opening file %s\n", path.c_str());
        return 1;
    }
    HostWaitCursor();
    uint16_t status = 0;
    char* line = nullptr;
    size_t capacity = 0;
    // Whole lines are read, so a line over 256 characters reaches the line runner whole and is
    // refused there instead of running as pieces.
    for (unsigned count = 1; getline(&line, &capacity, file) >= 0; ++count) {
        line[std::strcspn(line, "\n")] = '\0';
        if (line[std::strspn(line, " \t\r\v\f")] != '\0') status |= DbgExecuteLine(ctx, line, 0);
        if (count % 16 == 0) HostPumpMessages(0);
    }
    std::free(line);
    std::fclose(file);
    HostArrowCursor();
    return status;
}

}  // namespace quillwatch
