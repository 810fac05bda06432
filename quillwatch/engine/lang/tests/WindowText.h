// What a text window shows, with its line ends (CR LF) read as "\n".
#pragma once

#include <string>

#include "standin/win32/WindowManager.h"

namespace quillwatch {

inline std::string WindowText(win32::HWND window) {
    int n = win32::GetWindowTextLengthA(window);
    std::string raw(static_cast<size_t>(n) + 1, '\0');
    win32::GetWindowTextA(window, raw.data(), n + 1);
    raw.resize(static_cast<size_t>(n));
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        text += raw[i];
    }
    return text;
}

}  // namespace quillwatch
