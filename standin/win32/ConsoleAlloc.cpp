#include "standin/win32/ConsoleAlloc.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace win32 {

namespace {
std::mutex g_consoleLock;
std::string g_title;
}  // namespace

BOOL AllocConsole() {
    std::fflush(stdout);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    return TRUE;
}

BOOL SetConsoleTitle(const char* title) {
    std::lock_guard lock(g_consoleLock);
    g_title = title ? title : "";
    return TRUE;
}

std::string GetConsoleTitleText() {
    std::lock_guard lock(g_consoleLock);
    return g_title;
}

}  // namespace win32
