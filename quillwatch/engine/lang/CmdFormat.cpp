// Output routines of the debugger commands.
#include "quillwatch/engine/lang/CmdFormat.h"

#include <cstdio>
#include <string>

namespace quillwatch {

char CmdPrintableChar(char c) {
    return (c >= 0x20 && c <= 0x7E) ? c : '.';
}

void CmdFormatValue(char* buffer, uint32_t value, uint16_t size, bool withAddress) {
    int n = 0;
    if (withAddress) n += std::snprintf(buffer, 64, "$%08x  ", value);
    const auto s = static_cast<int32_t>(value);
    int bytes = 4;
    if (size == 1) {
        n += std::snprintf(buffer + n, 64 - n, "$%02x  #%u  #%d  '", value, value, s);
        bytes = 1;
    } else if (size == 2) {
        n += std::snprintf(buffer + n, 64 - n, "$%04x  #%u  #%d  '", value, value, s);
        bytes = 2;
    } else {
        n += std::snprintf(buffer + n, 64 - n, "$%08x  #%u  #%d  '", value, value, s);
    }
    for (int i = bytes - 1; i >= 0; --i) buffer[n++] = CmdPrintableChar(static_cast<char>(value >> (8 * i)));
    buffer[n++] = '\'';
    buffer[n] = '\0';
}

void CmdFormatAddress(uint32_t value, char* buffer) {
    std::snprintf(buffer, 16, "$%08x  ", value);
}

void CmdHexDump(DbgContextType* ctx, uint32_t address, const uint8_t* bytes, uint32_t count) {
    for (uint32_t offset = 0; offset < count; offset += 16) {
        uint32_t n = count - offset < 16 ? count - offset : 16;
        char line[128];
        int len = std::snprintf(line, sizeof line, "%08X: ", address + offset);
        for (uint32_t i = 0; i < 16; ++i) {
            len += i < n ? std::snprintf(line + len, sizeof line - len, "%02X ", bytes[offset + i])
                         : std::snprintf(line + len, sizeof line - len, "   ");
            if (i == 7) len += std::snprintf(line + len, sizeof line - len, "  ");
        }
        len += std::snprintf(line + len, sizeof line - len, "     \"");
        for (uint32_t i = 0; i < n; ++i) line[len++] = CmdPrintableChar(static_cast<char>(bytes[offset + i]));
        std::snprintf(line + len, sizeof line - len, "\"\n");
        DbgPrint(ctx, line);
    }
}

}  // namespace quillwatch
