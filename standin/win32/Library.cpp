#include "standin/win32/Library.h"

#include <dlfcn.h>

#include <cstring>
#include <string>

#include "standin/win32/KernelObjects.h"
#include "standin/win32/WindowManager.h"

namespace win32 {

namespace {

std::string gDllDirectory;

std::string HostName(const char* name) {
    std::string n = name;
    if (n.size() > 4 && strcasecmp(n.c_str() + n.size() - 4, ".dll") == 0) n.replace(n.size() - 4, 4, ".so");
    return n;
}

void* Open(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

}  // namespace

HMODULE LoadLibraryA(LPCSTR name) {
    if (!name || !*name) return nullptr;
    const std::string n = HostName(name);
    void* h = nullptr;
    if (n.find('/') != std::string::npos) {
        h = Open(n);
    } else {
        if (!gDllDirectory.empty()) h = Open(gDllDirectory + "/" + n);
        if (!h) {
            char self[4096];
            DWORD len = GetModuleFileName(nullptr, self, sizeof self);
            std::string dir(self, len);
            if (auto slash = dir.rfind('/'); slash != std::string::npos) h = Open(dir.substr(0, slash + 1) + n);
        }
        if (!h) h = Open(n);
    }
    return static_cast<HMODULE>(h);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (!module || !name) return nullptr;
    return reinterpret_cast<FARPROC>(dlsym(module, name));
}

BOOL FreeLibrary(HMODULE module) { return module && dlclose(module) == 0 ? TRUE : FALSE; }

BOOL SetDllDirectoryA(LPCSTR path) {
    gDllDirectory = path ? path : "";
    return TRUE;
}

}  // namespace win32

extern "C" int Win32StandinPostMessage(void* hwnd, unsigned message, uintptr_t wParam, intptr_t lParam) {
    return win32::PostMessageA(static_cast<win32::HWND>(hwnd), message, wParam, lParam);
}
